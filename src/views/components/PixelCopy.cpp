#include "views/components/PixelCopy.h"

#include "views/components/ParallelBands.h"

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

bool toDevice(QPainter& painter, const QImage& picture, const QRect& within, const QRegion& except, QPoint at) {
    QPaintEngine* engine = painter.paintEngine();
    QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
    if (!device || device->devType() != QInternal::Image || painter.hasClipping()) return false;
    auto* target = static_cast<QImage*>(device);
    const QImage::Format format = target->format();
    // The picture is opaque: its pixels read the same as opaque RGB32 ones.
    if (picture.format() != QImage::Format_ARGB32_Premultiplied ||
        (format != QImage::Format_ARGB32_Premultiplied && format != QImage::Format_RGB32))
        return false;
    const QTransform t = painter.deviceTransform();
    const qreal ratio = picture.devicePixelRatio();
    if (t.type() > QTransform::TxScale || t.m11() != ratio || t.m22() != ratio || t.dx() != std::floor(t.dx()) ||
        t.dy() != std::floor(t.dy()))
        return false;
    const bool whole = ratio == std::floor(ratio);
    if (!at.isNull() && !whole) return false;
    const QPoint origin(int(t.dx()), int(t.dy()));
    const QPoint shift = origin + at * int(ratio);
    // The exposed region in the device's pixels; none set means the whole device.
    QRegion exposed = engine->systemClip();
    if (exposed.isEmpty()) exposed = QRegion(target->rect());
    exposed &= QRegion(QRect(shift, picture.size()) & target->rect());
    if (within.isValid() || !except.isEmpty()) {
        if (!whole) return false;
        const int scale = int(ratio);
        auto pixelsOf = [&](const QRect& r) { return QRect(origin + r.topLeft() * scale, r.size() * scale); };
        if (within.isValid()) exposed &= pixelsOf(within);
        for (const QRect& r : except) exposed -= pixelsOf(r);
    }
    qint64 pixels = 0;
    for (const QRect& r : exposed) pixels += qint64(r.width()) * r.height();
    if (pixels < parallelCopyPixels) return false;
    uchar* to = target->bits();
    const uchar* from = picture.constBits();
    const qsizetype toStride = target->bytesPerLine(), fromStride = picture.bytesPerLine();
    const std::vector<QRect> rects(exposed.begin(), exposed.end());
    const QRect bounds = exposed.boundingRect();
    ParallelBands::run(bounds.height(), 8, [&](int top, int bottom) {
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
