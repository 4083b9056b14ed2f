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

} // namespace

void draw(QPainter& painter, QPointF at, const QImage& image, QRect source, bool opaque) {
    const QRect part = source.isValid() ? source & image.rect() : image.rect();
    if (part.isEmpty()) return;
    const qreal ratio = image.devicePixelRatio();
    if (ratio != std::floor(ratio)) {
        // Points are not whole pixels here: the painter's own way.
        if (source.isValid()) painter.drawImage(QRectF(at, QSizeF(part.size()) / ratio), image, QRectF(part));
        else painter.drawImage(at, image);
        return;
    }
    // The same pixels seen at ratio 1 (a view that shares them, no copy), drawn through a painter
    // whose scale by the image's ratio is undone, so that the copy is a plain translation.
    const bool asOpaque = opaque && image.format() == QImage::Format_ARGB32_Premultiplied;
    const QImage pixels(image.constScanLine(part.top()) + qsizetype(part.left()) * (image.depth() / 8), part.width(),
                        part.height(), image.bytesPerLine(), asOpaque ? QImage::Format_RGB32 : image.format());
    painter.save();
    painter.translate(at);
    painter.scale(1 / ratio, 1 / ratio);
    painter.drawImage(QPointF(0, 0), pixels);
    painter.restore();
}

std::optional<Target> target(QPainter& painter, qreal ratio) {
    QPaintEngine* engine = painter.paintEngine();
    QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
    if (!device || device->devType() != QInternal::Image || painter.hasClipping()) return std::nullopt;
    auto* image = static_cast<QImage*>(device);
    const QImage::Format format = image->format();
    if (format != QImage::Format_ARGB32_Premultiplied && format != QImage::Format_RGB32) return std::nullopt;
    const QTransform t = painter.deviceTransform();
    if (t.type() > QTransform::TxScale || t.m11() != ratio || t.m22() != ratio || t.dx() != std::floor(t.dx()) ||
        t.dy() != std::floor(t.dy()))
        return std::nullopt;
    Target found{image, QPoint(int(t.dx()), int(t.dy())), engine->systemClip()};
    // None set means the whole device.
    if (found.exposed.isEmpty()) found.exposed = QRegion(image->rect());
    found.exposed &= QRegion(image->rect());
    return found;
}

bool toDevice(QPainter& painter, const QImage& picture, const QRect& within, const QRegion& except, QPoint at) {
    // The picture is opaque: its pixels read the same as opaque RGB32 ones.
    if (picture.format() != QImage::Format_ARGB32_Premultiplied) return false;
    const qreal ratio = picture.devicePixelRatio();
    const std::optional<Target> device = target(painter, ratio);
    if (!device) return false;
    const bool whole = ratio == std::floor(ratio);
    if (!at.isNull() && !whole) return false;
    const QPoint origin = device->origin;
    const QPoint shift = origin + at * int(ratio);
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
