#include "views/viz/IcicleCanvas.h"

#include "style/Typography.h"
#include "views/viz/VizText.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <optional>

namespace tallymere::IcicleCanvas {

namespace {

QRectF toQt(const Rect& r) { return {r.x, r.y, r.width, r.height}; }

void paintBar(QPainter& painter, const LayoutTile& tile, const Theme& theme, ColorMode mode) {
    const QColor c = theme.nodeColor(*tile.node, tile.depth, tile.tint, mode);
    // Inset at the sides only, so neighbours part by a hairline while rows keep their gap.
    const QRectF shape = toQt(tile.rect).adjusted(0.4, 0, -0.4, 0);
    const double radius = std::min(0.3 * tile.rect.width, 3.0);
    QLinearGradient gradient(shape.topLeft(), shape.bottomLeft());
    gradient.setColorAt(0, ColorRules::mix(c, Qt::white, theme.isDark ? 0.14 : 0.09));
    gradient.setColorAt(1, c);
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawRoundedRect(shape, radius, radius);
}

// The name, when it fits whole.
std::optional<CanvasLabel> paintLabel(QPainter& painter, const LayoutTile& tile) {
    const QString text = VizText::name(*tile.node);
    const QFont font = Typography::font(std::clamp(0.42 * tile.rect.height, 9.0, 11.5), QFont::Medium);
    const QFontMetricsF metrics(font);
    const double width = metrics.horizontalAdvance(text);
    const double room = tile.rect.width - 8;
    if (width > room) return std::nullopt;
    painter.setFont(font);
    painter.setPen(QColor(26, 25, 22, int(std::lround(0.88 * 255))));
    const double height = metrics.height();
    const QRectF box(tile.rect.x + 5, tile.rect.midY() - height / 2, width + 2, height);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, text);
    return CanvasLabel{text, box};
}

} // namespace

std::vector<CanvasLabel> paint(QPainter& painter, std::span<const LayoutTile> tiles, const Theme& theme,
                               bool showLabels, ColorMode colorMode) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    int budget = labelBudget;
    std::vector<CanvasLabel> labels;
    for (const LayoutTile& tile : tiles) {
        if (!tile.node || !(tile.rect.width > 0.6) || !tile.rect.isFinite()) continue;
        paintBar(painter, tile, theme, colorMode);
        if (showLabels && budget >= 1 && tile.rect.width > 52) {
            --budget; // spent whether or not the name fits
            if (auto label = paintLabel(painter, tile)) labels.push_back(std::move(*label));
        }
    }
    painter.restore();
    return labels;
}

} // namespace tallymere::IcicleCanvas
