#include "views/components/canvas/PixelCopy.h"

#include "views/components/canvas/ParallelBands.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainter>

#include <cmath>
#include <cstring>
#include <vector>

namespace tallymere::PixelCopy {

namespace {

// Below this many pixels a copy is not worth handing to other threads.
constexpr qint64 parallelCopyPixels = 256 * 1024;

// The device pixel an image drawn at the painter's origin starts at, for a painter whose transform
// is the pixel `ratio` and a shift: at a whole ratio only where the shift is by whole pixels, at a
// ratio that is not (where a logical point's edge falls inside a pixel) the pixel nearest the shift.
std::optional<QPoint> originPixel(const QTransform& t, qreal ratio) {
    if (t.type() > QTransform::TxScale || t.m11() != ratio || t.m22() != ratio) return std::nullopt;
    if (ratio == std::floor(ratio)) {
        if (t.dx() != std::floor(t.dx()) || t.dy() != std::floor(t.dy())) return std::nullopt;
        return QPoint(int(t.dx()), int(t.dy()));
    }
    return QPoint(qRound(t.dx()), qRound(t.dy()));
}

// The device pixel `at` (logical, from the painter's origin) falls on along the image's own pixel
// grid laid from originPixel().
QPoint gridPixel(QPoint origin, QPointF at, qreal ratio) {
    return origin + QPoint(qRound(at.x() * ratio), qRound(at.y() * ratio));
}

} // namespace

void draw(QPainter& painter, QPointF at, const QImage& image, QRect source, bool opaque) {
    const QRect part = source.isValid() ? source & image.rect() : image.rect();
    if (part.isEmpty()) return;
    const qreal ratio = image.devicePixelRatio();
    const bool whole = ratio == std::floor(ratio);
    // The same pixels seen at ratio 1 (a view that shares them, no copy).
    const bool asOpaque = opaque && image.format() == QImage::Format_ARGB32_Premultiplied;
    const QImage pixels(image.constScanLine(part.top()) + qsizetype(part.left()) * (image.depth() / 8), part.width(),
                        part.height(), image.bytesPerLine(), asOpaque ? QImage::Format_RGB32 : image.format());
    if (!whole) {
        const QTransform device = painter.deviceTransform();
        const std::optional<QPoint> origin = originPixel(device, ratio);
        if (!origin) {
            if (source.isValid()) painter.drawImage(QRectF(at, QSizeF(part.size()) / ratio), image, QRectF(part));
            else painter.drawImage(at, image);
            return;
        }
        // Points are not whole pixels here. The painter would lay the part at a point inside a
        // pixel, and which pixels its first and last rows and columns take depends on its clip:
        // a part repainted alone and the same part within a whole window would differ. It is laid
        // on whole device pixels instead, on the grid of the picture it comes from, through a
        // transform that is a shift by whole pixels.
        const QPoint pixel = gridPixel(*origin, at, ratio);
        const QTransform world = painter.worldTransform();
        const QTransform rest = world.inverted() * device; // what the painter adds after its world
        painter.save();
        painter.setWorldTransform(QTransform::fromTranslate(pixel.x(), pixel.y()) * rest.inverted());
        painter.drawImage(QPointF(0, 0), pixels);
        painter.restore();
        return;
    }
    // Drawn through a painter whose scale by the image's ratio is undone, so that the copy is a
    // plain translation.
    painter.save();
    painter.translate(at);
    painter.scale(1 / ratio, 1 / ratio);
    painter.drawImage(QPointF(0, 0), pixels);
    painter.restore();
}

namespace {

// target(), at a ratio that is not whole also for a shift that is not by whole pixels.
std::optional<Target> locate(QPainter& painter, qreal ratio) {
    QPaintEngine* engine = painter.paintEngine();
    QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
    if (!device || device->devType() != QInternal::Image || painter.hasClipping()) return std::nullopt;
    auto* image = static_cast<QImage*>(device);
    const QImage::Format format = image->format();
    if (format != QImage::Format_ARGB32_Premultiplied && format != QImage::Format_RGB32) return std::nullopt;
    const std::optional<QPoint> origin = originPixel(painter.deviceTransform(), ratio);
    if (!origin) return std::nullopt;
    Target found{image, *origin, engine->systemClip()};
    // None set means the whole device.
    if (found.exposed.isEmpty()) found.exposed = QRegion(image->rect());
    found.exposed &= QRegion(image->rect());
    return found;
}

} // namespace

std::optional<Target> target(QPainter& painter, qreal ratio) {
    const QTransform t = painter.deviceTransform();
    if (t.dx() != std::floor(t.dx()) || t.dy() != std::floor(t.dy())) return std::nullopt;
    return locate(painter, ratio);
}

bool toDevice(QPainter& painter, const QImage& picture, const QRect& within, const QRegion& except, QPointF at) {
    // The picture is opaque: its pixels read the same as opaque RGB32 ones.
    if (picture.format() != QImage::Format_ARGB32_Premultiplied) return false;
    const qreal ratio = picture.devicePixelRatio();
    const std::optional<Target> device = locate(painter, ratio);
    if (!device) return false;
    const bool whole = ratio == std::floor(ratio);
    const QPoint origin = device->origin;
    const QPoint shift = gridPixel(origin, at, ratio);
    QRegion exposed = device->exposed & QRegion(QRect(shift, picture.size()));
    if (within.isValid() || !except.isEmpty()) {
        if (!whole) return false;
        const int scale = int(ratio);
        auto pixelsOf = [&](const QRect& r) { return QRect(origin + r.topLeft() * scale, r.size() * scale); };
        if (within.isValid()) exposed &= pixelsOf(within);
        for (const QRect& r : except) exposed -= pixelsOf(r);
    }
    qint64 pixels = 0;
    for (const QRect& r : exposed) pixels += qint64(r.width()) * r.height();
    if (pixels == 0) return true;
    uchar* to = device->image->bits();
    const uchar* from = picture.constBits();
    const qsizetype toStride = device->image->bytesPerLine(), fromStride = picture.bytesPerLine();
    const std::vector<QRect> rects(exposed.begin(), exposed.end());
    const QRect bounds = exposed.boundingRect();
    // A small copy is not worth handing to other threads, but is still made here: the painter's
    // own copy would cover the whole exposed region, `except` included. A large one the window's
    // thread makes too: it would only wait otherwise, for threads a busy machine may start late.
    ParallelBands::share(bounds.height(), pixels < parallelCopyPixels ? 1 : 16, [&](int top, int bottom) {
        for (const QRect& r : rects) {
            const int y0 = std::max(r.top(), bounds.top() + top), y1 = std::min(r.bottom() + 1, bounds.top() + bottom);
            for (int y = y0; y < y1; ++y)
                std::memcpy(to + y * toStride + qsizetype(r.left()) * 4,
                            from + (y - shift.y()) * fromStride + qsizetype(r.left() - shift.x()) * 4,
                            std::size_t(r.width()) * 4);
        }
    });
    return true;
}

} // namespace tallymere::PixelCopy
