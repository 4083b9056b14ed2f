#include "views/tools/monitor/MemoryBar.h"

#include "views/components/canvas/ShapePaint.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace tallymere {

MemoryBar::MemoryBar(QWidget* parent) : ThemedWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(int(barHeight));
}

void MemoryBar::setFigures(const MonitorFigures& figures) {
    if (figures.memoryUsed == m_figures.memoryUsed && figures.memoryTotal == m_figures.memoryTotal &&
        figures.memoryWired == m_figures.memoryWired && figures.memoryCompressed == m_figures.memoryCompressed &&
        figures.memoryCached == m_figures.memoryCached)
        return;
    m_figures.memoryUsed = figures.memoryUsed;
    m_figures.memoryTotal = figures.memoryTotal;
    m_figures.memoryWired = figures.memoryWired;
    m_figures.memoryCompressed = figures.memoryCompressed;
    m_figures.memoryCached = figures.memoryCached;
    update();
}

std::array<double, 4> MemoryBar::pieceWidths(const MonitorFigures& f, double width) {
    const double total = std::max(double(f.memoryTotal), 1.0);
    const double rest = double(f.memoryUsed) - (double(f.memoryWired) + double(f.memoryCompressed));
    auto piece = [&](double bytes) {
        const double w = width * bytes / total;
        return std::isfinite(w) ? std::max(w, 0.0) : 0.0;
    };
    return {piece(double(f.memoryWired)), piece(rest), piece(double(f.memoryCompressed)), piece(double(f.memoryCached))};
}

void MemoryBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF bar(0, (height() - barHeight) / 2, width(), barHeight);
    QPainterPath capsule;
    const double radius = ShapePaint::capsuleRadius(bar);
    capsule.addRoundedRect(bar, radius, radius);
    painter.setClipPath(capsule);
    const Theme& t = theme();
    const std::array<QColor, 4> colors = {t.danger, t.ramp[4], t.warning, ShapePaint::withOpacity(t.textTertiary, 0.5)};
    const auto widths = pieceWidths(m_figures, bar.width());
    double x = bar.left();
    for (std::size_t i = 0; i < widths.size() && x < bar.right(); ++i) {
        if (widths[i] > 0) painter.fillRect(QRectF(x, bar.top(), widths[i], bar.height()), colors[i]);
        x += widths[i] + gap;
    }
}

} // namespace tallymere
