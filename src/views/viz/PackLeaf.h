#pragma once
#include <QColor>
#include <QImage>
#include <QPointF>

#include <algorithm>
#include <cmath>

// A leaf bubble of the circle pack written straight into the picture's pixels: the painter would
// fill its shine's gradient and its rim's rings span by span, several times the cost of the whole
// rest of the picture.
namespace tallymere::PackLeaf {

// The colours of a leaf, blended onto the flat colour beneath it.
struct Colors {
    QColor outerRim; // the rim's outer half
    QColor innerRim; // the rim's inner half, over the leaf
    QColor flat;     // the leaf before its shine
    QColor color;    // the leaf's own colour, which the shine lifts towards white
};

// The pixels a disc reaches on one row, [left, right), and among them [solidLeft, solidRight), those
// wholly inside its rim, which draw() writes without reading what lay there; `reaches` is false
// for a row the disc does not reach.
struct RowSpan {
    bool reaches = false;
    int left = 0, right = 0, solidLeft = 0, solidRight = 0;
};

// `extent` is how far from the centre the disc's pixels reach, `solidSquared` the square of how far
// its wholly inside pixels do.
inline RowSpan rowSpan(QPointF center, double extent, double solidSquared, int y, int width) {
    RowSpan span;
    const double cy = y + 0.5 - center.y();
    const double across = extent * extent - cy * cy;
    if (across <= 0) return span;
    const double half = std::sqrt(across);
    span.left = std::max(int(std::floor(center.x() - half)), 0);
    span.right = std::min(int(std::ceil(center.x() + half)), width);
    if (span.right <= span.left) return span;
    span.reaches = true;
    span.solidLeft = span.solidRight = span.right;
    if (const double solidAcross = solidSquared - cy * cy; solidAcross > 0) {
        const double solidHalf = std::sqrt(solidAcross);
        span.solidLeft = std::clamp(int(std::ceil(center.x() - solidHalf - 0.5)), span.left, span.right);
        span.solidRight = std::clamp(int(std::floor(center.x() + solidHalf - 0.5)) + 1, span.solidLeft, span.right);
    }
    return span;
}

// Draws a leaf's rows [rowFrom, rowTo) into `image` (32-bit premultiplied, not shared): a disc of
// `colors.flat` with a rim of `rim` along its edge (none at zero) and the radial shine, lifted
// towards white by `strength` and fading out from a point up and left of the centre; the rim's
// inner half shows `showThrough` of the shine. The inside is written without reading it back, and
// only the pixels along the edge are blended with what lies beneath, as the painter's
// antialiasing would.
void draw(QImage& image, QPointF center, double radius, double rim, double showThrough, const Colors& colors,
          double strength, int rowFrom, int rowTo);

} // namespace tallymere::PackLeaf
