#pragma once
// The treemap's hover mark drawn the plain way, for tests that check the window's kept and copied
// pixels against it.
#include "views/components/canvas/ShapePaint.h"
#include "views/components/canvas/TintCache.h"
#include "views/viz/TreemapView.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace tallymere::test {

// `picture` with the tile at `tile` (as rectOf() gives it) hovered: the whole grown shape's tinted
// patch, then the outline stroked by the painter, in the theme's highlight `ink`.
inline QImage treemapHoverDrawnPlainly(const QImage& picture, const QRectF& tile, const QColor& ink) {
    const QRectF shape = tile.adjusted(-0.5, -0.5, 0.5, 0.5).translated(TreemapView::inset, TreemapView::inset);
    TintCache patch;
    const QImage tinted = patch.patch(picture, 1, shape, 4, ShapePaint::withOpacity(ink, 0.1)).copy();
    QImage expected = picture.copy();
    QPainter painter(&expected);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPointF(patch.area().topLeft()), tinted);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setRenderHint(QPainter::Antialiasing, true);
    QPainterPath outline;
    outline.addRoundedRect(shape, 4, 4);
    painter.strokePath(outline, QPen(ShapePaint::withOpacity(ink, 0.75), 1.4));
    painter.end();
    return expected;
}

} // namespace tallymere::test
