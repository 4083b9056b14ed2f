#pragma once
#include <QColor>
#include <QPointF>
#include <QRectF>

#include <cstdint>
#include <functional>

class QPainter;

namespace tallymere::KeptFill {

// A small shape drawn in one solid colour (a symbol's outline, a rounded cell, a capsule) costs its
// anti-aliased rasterisation on every paint, and a window paints the same shapes at the same places
// frame after frame. Here a shape is drawn once into a picture of its own coverage and copied from
// then on, which the raster engine blends exactly as it blends the shape drawn directly (a solid
// fill writes colour times coverage over the pixels; the picture holds colour times coverage and
// is written over the pixels the same way).
//
// `shape` names the shape and `anchor` (in the painter's logical coordinates) its place: two calls
// with equal shapes at the same place on the device must draw the same figure. `bounds` holds
// every pixel the shape touches, in logical coordinates. `draw` paints the shape on the given
// painter in the painter's logical coordinates, in one pass of one solid colour (a fill, or a line
// wider than a device pixel, which the engine fills as an outline; not both); it may change the
// painter's pen, brush and hints.
//
// Where the picture could differ from direct drawing (another engine than the raster one, a turned
// or uneven transform, an opacity or composition mode, a clip the painter set itself, a device the
// blend differs on), `draw` runs on the painter itself. Kept pictures are per thread and forgotten all at once when many have
// gathered.
struct Shape {
    std::uint64_t kind = 0; // a caller's own tag (which family of shapes)
    double a = 0, b = 0, c = 0, d = 0; // the shape's own measures (size, radius, weight…)
    std::uint64_t color = 0;           // the one colour, as QColor::rgba64()
    friend bool operator==(const Shape&, const Shape&) = default;
};

void paint(QPainter& painter, const Shape& shape, QPointF anchor, const QRectF& bounds,
           const std::function<void(QPainter&)>& draw);

// The same pixels as paint() with a `draw` that fills the shape in `color`, for shapes drawn in a
// new colour on every frame (cells tinted by a value): what is kept is the shape's coverage alone,
// laid in the colour by the engine's own sums, so a new colour rasterises nothing, and the pixels
// inside the shape are laid as runs. `draw(painter, colour)` fills the shape in the colour given;
// `shape.color` is ignored. Where the painter does not paint into a picture of premultiplied 32-bit
// pixels, this is paint().
void paintTinted(QPainter& painter, const Shape& shape, QPointF anchor, const QRectF& bounds, const QColor& color,
                 const std::function<void(QPainter&, const QColor&)>& draw);

// How many shapes were copied from kept pictures and how many were drawn into new ones, on this
// thread since it started: for tests that prove the pictures are used.
struct Counts {
    std::int64_t copied = 0, kept = 0, direct = 0;
    std::int64_t tinted = 0, covered = 0; // shapes laid by paintTinted(), and coverages it made
};
Counts counts();

} // namespace tallymere::KeptFill
