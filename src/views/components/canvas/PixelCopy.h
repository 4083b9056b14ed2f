#pragma once
#include <QPointF>
#include <QRect>
#include <QRegion>

#include <optional>

class QImage;
class QPainter;

namespace tallymere::PixelCopy {

// Draws the part `source` (in the image's own pixels; an invalid rectangle for the whole image)
// of `image`, at its pixel ratio, with that part's top-left corner at the logical point `at`,
// pixel for pixel, in the painter's composition mode. The painter must scale by the image's ratio
// and no more (a window's painter at its ratio). At a whole ratio `at` must fall on a whole device
// pixel. At one that is not, the part lands on the whole device pixels of the image's own grid
// laid from the painter's origin (the pixel nearest the origin, moved by `at` times the ratio,
// rounded): a part of a picture lands on the very pixels the whole picture drawn at the origin
// puts it on. `opaque` promises that every pixel of the part is opaque.
//
// The painter is told the copy is one to one: an image at ratio 2 drawn through a painter that
// scales by 2 otherwise goes the painter's way for scaled images, which samples every pixel
// through the transform under a clip of more than one rectangle. An opaque part is seen as
// having no alpha at all, which a window's own pixels (without alpha) take by a plain copy.
void draw(QPainter& painter, QPointF at, const QImage& image, QRect source = QRect(), bool opaque = false);

// The image a painter paints on, where its pixels may be written straight for the painter: an
// image in an opaque-compatible 32-bit layout, no clip of the painter's own, and a transform that is
// the pixel `ratio` and a shift by whole pixels. `origin` is the device pixel of the logical origin,
// `exposed` the device pixels the paint may touch. Nothing for any other painter.
struct Target {
    QImage* image = nullptr;
    QPoint origin;
    QRegion exposed;
};
std::optional<Target> target(QPainter& painter, qreal ratio);

// Copies the exposed part of `picture` (opaque, its top-left corner at the logical point `at`,
// whole points at a whole pixel ratio, placed on the grid draw() lays at a ratio that is not; by
// default the painter's origin) straight into the image the painter paints on, rows of a large
// copy spread over the thread pool and the calling thread, where that is plainly the same as the
// painter's copy: the painter would copy a whole picture at twice the pixel ratio on the window's
// thread alone, a few milliseconds of every frame. A valid `within` limits the copy to that part,
// and it leaves out `except` (both in the painter's logical coordinates, whole points, at a whole
// pixel ratio only), however little is left. Returns false, having copied nothing, where it is not
// plainly the same: another kind of device, a layout of pixels other than the picture's, a clip
// of the painter's own, or a transform other than the pixel ratio and a shift (by whole pixels, at
// a whole ratio).
bool toDevice(QPainter& painter, const QImage& picture, const QRect& within = QRect(), const QRegion& except = {},
              QPointF at = QPointF());

} // namespace tallymere::PixelCopy
