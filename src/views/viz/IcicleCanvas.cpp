#include "views/viz/IcicleCanvas.h"

#include "style/Typography.h"
#include "views/components/canvas/TileRaster.h"
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

// The image under the painter when bars may be written straight into its pixels: an unshared image
// in the premultiplied layout, drawn at a uniform scale and a shift, with no clipping to honour.
QImage* directPixels(QPainter& painter) {
    QPaintDevice* device = painter.device();
    if (!device || device->devType() != QInternal::Image || painter.hasClipping() ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver)
        return nullptr;
    const QTransform t = painter.deviceTransform();
    if (t.type() > QTransform::TxScale || t.m11() != t.m22() || !(t.m11() > 0)) return nullptr;
    auto* image = static_cast<QImage*>(device);
    return image->format() == QImage::Format_ARGB32_Premultiplied && image->isDetached() ? image : nullptr;
}

// Draws one bar, into `raster` when there is one: a general painter's rounded rectangle with a
// gradient costs tens of thousands of instructions, most of it in setting the shape up.
void paintBar(QPainter& painter, TileRaster* raster, const LayoutTile& tile, const Theme& theme, ColorMode mode) {
    const QColor c = theme.nodeColor(*tile.node, tile.depth, tile.tint, mode);
    // Inset at the sides only, so neighbours part by a hairline while rows keep their gap.
    const QRectF shape = toQt(tile.rect).adjusted(0.4, 0, -0.4, 0);
    const double radius = std::min(0.3 * tile.rect.width, 3.0);
    const QColor top = ColorRules::mix(c, Qt::white, theme.isDark ? 0.14 : 0.09);
    if (raster) {
        raster->fillVerticalGradient(shape, radius, top, c);
        return;
    }
    QLinearGradient gradient(shape.topLeft(), shape.bottomLeft());
    gradient.setColorAt(0, top);
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
    std::optional<TileRaster> raster;
    if (QImage* image = directPixels(painter)) {
        const QTransform t = painter.deviceTransform();
        raster.emplace(*image, t.m11(), QPointF(t.dx(), t.dy()));
    }
    auto drawn = [](const LayoutTile& tile) { return tile.node && tile.rect.width > 0.6 && tile.rect.isFinite(); };
    // Every bar before any name: a name lies within its own bar, so none is covered either way.
    for (const LayoutTile& tile : tiles)
        if (drawn(tile)) paintBar(painter, raster ? &*raster : nullptr, tile, theme, colorMode);
    int budget = labelBudget;
    std::vector<CanvasLabel> labels;
    for (const LayoutTile& tile : tiles) {
        if (!drawn(tile)) continue;
        if (showLabels && budget >= 1 && tile.rect.width > 52) {
            --budget; // spent whether or not the name fits
            if (auto label = paintLabel(painter, tile)) labels.push_back(std::move(*label));
        }
    }
    painter.restore();
    return labels;
}

} // namespace tallymere::IcicleCanvas
