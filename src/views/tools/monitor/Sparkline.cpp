#include "views/tools/monitor/Sparkline.h"

#include "views/components/canvas/ShapePaint.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tallymere {

Sparkline::Sparkline(MonitorText::ColorPick tint, bool filled, QWidget* parent)
    : ThemedWidget(parent), m_tint(tint), m_filled(filled) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Sparkline::setValues(std::vector<double> values) {
    if (values == m_values) return;
    m_values = std::move(values);
    update();
}

QPainterPath Sparkline::linePath(const std::vector<double>& values, QSizeF size) {
    QPainterPath path;
    const std::size_t n = values.size();
    if (n < 2) return path;
    const double step = size.width() / double(n - 1);
    for (std::size_t i = 0; i < n; ++i) {
        // Clamped, and a stray NaN lies on the bottom edge rather than nowhere.
        const double v = std::isfinite(values[i]) ? std::clamp(values[i], 0.0, 1.0) : 0.0;
        const QPointF point(step * double(i), size.height() - size.height() * v);
        if (i == 0) path.moveTo(point);
        else path.lineTo(point);
    }
    return path;
}

void Sparkline::paintEvent(QPaintEvent*) {
    const QSizeF canvas(size());
    const QPainterPath line = linePath(m_values, canvas);
    if (line.isEmpty()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QColor tint = tintColor();
    if (m_filled) {
        QPainterPath area = line;
        area.lineTo(canvas.width(), canvas.height());
        area.lineTo(0, canvas.height());
        area.closeSubpath();
        area.setFillRule(Qt::WindingFill);
        QLinearGradient gradient(QPointF(0, 0), QPointF(0, canvas.height()));
        gradient.setColorAt(0, ShapePaint::withOpacity(tint, 0.26));
        gradient.setColorAt(1, ShapePaint::withOpacity(tint, 0.02));
        painter.fillPath(area, gradient);
    }
    QPen pen(tint, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    pen.setMiterLimit(10);
    painter.strokePath(line, pen);
}

} // namespace tallymere
