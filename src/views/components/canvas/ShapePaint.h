#pragma once
#include <QColor>
#include <QRectF>

#include <algorithm>

class QPainter;

namespace tallymere::ShapePaint {

// Colour at an opacity, multiplying any opacity it already has.
QColor withOpacity(const QColor& color, double opacity);

// A rounded rectangle filled with `fill`; a radius above half the short side makes a capsule.
void fillRounded(QPainter& painter, const QRectF& rect, double radius, const QColor& fill);
// The same pixels, for shapes whose colour changes from frame to frame (cells tinted by a value):
// on a picture, only the shape's coverage is kept, so a new colour rasterises nothing.
void fillRoundedTinted(QPainter& painter, const QRectF& rect, double radius, const QColor& fill);

// A one-pixel border drawn inside the edge of the same rounded rectangle, so the shape's outer
// size is what the caller gave. Nothing is drawn for a fully transparent colour.
void strokeInside(QPainter& painter, const QRectF& rect, double radius, const QColor& stroke);

// The radius that rounds both short ends of `rect` fully.
inline double capsuleRadius(const QRectF& rect) { return std::min(rect.width(), rect.height()) / 2.0; }

} // namespace tallymere::ShapePaint
