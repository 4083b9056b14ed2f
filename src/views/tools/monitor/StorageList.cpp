#include "views/tools/monitor/StorageList.h"

#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tallymere {

namespace {
constexpr double nameGap = 8; // the least room left between the name and the usage text
}

StorageList::StorageList(QWidget* parent) : ThemedWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QFont StorageList::nameFont() { return Typography::font(11, QFont::Medium); }
QFont StorageList::usageFont() { return Typography::font(10, QFont::Normal); }

double StorageList::lineHeight() {
    return std::max(QFontMetricsF(nameFont()).height(), QFontMetricsF(usageFont()).height());
}

QRectF StorageList::barRect(std::size_t index, double width) {
    const double row = lineHeight() + lineSpacing + barHeight;
    const double top = double(index) * (row + rowSpacing) + lineHeight() + lineSpacing;
    return {0, top, width, barHeight};
}

void StorageList::setVolumes(const std::vector<VolumeInfo>& volumes) {
    std::vector<MonitorText::StorageRow> rows;
    const std::size_t count = std::min(volumes.size(), MonitorText::maxVolumes);
    for (std::size_t i = 0; i < count; ++i) rows.push_back(MonitorText::storageRow(volumes[i]));
    const bool resized = rows.size() != m_rows.size();
    m_rows = std::move(rows);
    if (resized) updateGeometry();
    update();
}

QSize StorageList::sizeHint() const {
    if (m_rows.empty()) return {120, 0};
    const double row = lineHeight() + lineSpacing + barHeight;
    const double height = double(m_rows.size()) * row + double(m_rows.size() - 1) * rowSpacing;
    return {120, int(std::ceil(height))};
}

void StorageList::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const Theme& t = theme();
    const QFont name = nameFont();
    const QFont usage = usageFont();
    const QFontMetricsF nameMetrics(name);
    const QFontMetricsF usageMetrics(usage);
    const double line = lineHeight();
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const MonitorText::StorageRow& row = m_rows[i];
        const QRectF bar = barRect(i, width());
        const QRectF text(0, bar.top() - lineSpacing - line, width(), line);
        const double usageWidth = std::min(usageMetrics.horizontalAdvance(row.usage), text.width());
        painter.setFont(usage);
        painter.setPen(t.textTertiary);
        painter.drawText(QRectF(text.right() - usageWidth, text.top(), usageWidth, line),
                         Qt::AlignRight | Qt::AlignVCenter, row.usage);
        const double nameRoom = std::max(text.width() - usageWidth - nameGap, 0.0);
        painter.setFont(name);
        painter.setPen(t.text);
        painter.drawText(QRectF(text.left(), text.top(), nameRoom, line), Qt::AlignLeft | Qt::AlignVCenter,
                         nameMetrics.elidedText(row.name, Qt::ElideRight, nameRoom));
        ShapePaint::fillRounded(painter, bar, ShapePaint::capsuleRadius(bar), t.surfaceRaised);
        const QRectF fill(bar.left(), bar.top(), bar.width() * std::clamp(row.fraction, 0.0, 1.0), bar.height());
        if (fill.width() > 0)
            ShapePaint::fillRounded(painter, fill, ShapePaint::capsuleRadius(bar),
                                    row.isNearlyFull ? t.danger : t.accentSecondary);
    }
}

} // namespace tallymere
