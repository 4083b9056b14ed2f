#pragma once
#include <QPointF>
#include <QRect>
#include <QRegion>

class QImage;
class QPainter;

namespace tallymere::PixelCopy {

// Draws the part `source` (in the image's own pixels; an invalid rectangle for the whole image)
// of `image`, at its pixel ratio, with that part's top-left corner at the logical point `at`,
// pixel for pixel, in the painter's composition mode. `at` must fall on a whole device pixel and
// the painter must scale by the image's ratio and no more (a window's painter at its ratio).
// `opaque` promises that every pixel of the part is opaque. At a ratio that is not a whole number
// the painter draws the part its own way.
//
// The painter is told the copy is one to one: an image at ratio 2 drawn through a painter that
// scales by 2 otherwise goes the painter's way for scaled images, which samples every pixel
// through the transform under a clip of more than one rectangle. An opaque part is seen as
// having no alpha at all, which a window's own pixels (without alpha) take by a plain copy.
void draw(QPainter& painter, QPointF at, const QImage& image, QRect source = QRect(), bool opaque = false);

// Copies the exposed part of `picture` (opaque, its top-left corner at the logical point `at`, whole
// points at a whole pixel ratio; by default the painter's origin) straight into the
// image the painter paints on, rows spread over the thread pool, where that is plainly the same as
// the painter's copy: the painter would copy a whole picture at twice the pixel ratio on the
// window's thread alone, a few milliseconds of every frame. A valid `within` limits the copy to
// that part, and it leaves out `except` (both in the painter's logical coordinates, whole points,
// at a whole pixel ratio). Returns false, having copied nothing, where it is not plainly the same:
// another kind of device, a layout of pixels other than the picture's, a clip of the painter's own,
// a transform other than the pixel ratio and a shift by whole pixels, or too little to copy.
bool toDevice(QPainter& painter, const QImage& picture, const QRect& within = QRect(), const QRegion& except = {},
              QPoint at = QPoint());

} // namespace tallymere::PixelCopy
