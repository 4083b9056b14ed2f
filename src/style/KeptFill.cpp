#include "style/KeptFill.h"

#include <QHash>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>

#include <cmath>

namespace tallymere::KeptFill {

namespace {

// Shapes larger than this (device pixels) are drawn directly: a large fill is mostly whole pixels,
// which the engine writes about as fast as a copy, and long shapes of many lengths (a list's bars)
// would crowd out the small ones that come back every frame.
constexpr qint64 largestPicture = 128 * 128;
constexpr qsizetype keptBytes = 24 << 20;

struct Key {
    Shape shape;
    double scale = 1;
    double x = 0, y = 0; // the anchor's place on the device
    friend bool operator==(const Key&, const Key&) = default;
    friend size_t qHash(const Key& key, size_t seed) {
        const Shape& s = key.shape;
        return qHashMulti(seed, s.kind, s.a, s.b, s.c, s.d, s.color, key.scale, key.x, key.y);
    }
};

struct Kept {
    QImage picture;
    QPoint offset; // of the picture's top-left from the whole device pixel the anchor lies in
};

struct Store {
    QHash<Key, Kept> pictures;
    qsizetype bytes = 0;
    Counts counts;
};

Store& store() {
    thread_local Store s;
    return s;
}

// Where a blend of colour times coverage equals the engine's own blend of a solid fill: its
// 32-bit premultiplied and opaque formats. A widget paints into such a backing store.
bool blendsAlike(const QPainter& painter) {
    const QPaintDevice* device = painter.device();
    if (!device) return false;
    if (device->devType() == QInternal::Widget) return true;
    if (device->devType() != QInternal::Image) return false;
    const QImage::Format format = static_cast<const QImage*>(device)->format();
    return format == QImage::Format_ARGB32_Premultiplied || format == QImage::Format_RGB32;
}

bool isWhole(double value) { return value == std::floor(value) && std::abs(value) < (1 << 30); }

} // namespace

void paint(QPainter& painter, const Shape& shape, QPointF anchor, const QRectF& bounds,
           const std::function<void(QPainter&)>& draw) {
    Store& s = store();
    const auto direct = [&] {
        ++s.counts.direct;
        painter.save();
        draw(painter);
        painter.restore();
    };
    const QTransform toDevice = painter.deviceTransform();
    const double scale = toDevice.m11();
    if (!painter.paintEngine() || painter.paintEngine()->type() != QPaintEngine::Raster ||
        toDevice.type() > QTransform::TxScale || scale != toDevice.m22() || !(scale > 0) ||
        painter.opacity() != 1.0 || painter.compositionMode() != QPainter::CompositionMode_SourceOver ||
        painter.hasClipping() || !blendsAlike(painter))
        return direct();
    const QRectF area = toDevice.mapRect(bounds);
    if (!(area.width() > 0 && area.height() > 0) || area.width() * area.height() > largestPicture) return direct();

    const QPointF at = toDevice.map(anchor);
    const double wholeX = std::floor(at.x()), wholeY = std::floor(at.y());
    // Keyed by the exact place on the device, not by the place within a pixel: the rasteriser
    // splits curves where they lie, so a shape moved by whole pixels can round an edge pixel the
    // other way. A window paints its shapes at the same places frame after frame.
    const Key key{shape, scale, at.x(), at.y()};
    const Kept* kept = nullptr;
    if (auto found = s.pictures.constFind(key); found != s.pictures.constEnd()) kept = &*found;
    else {
        const int left = int(std::floor(area.left())) - 1, top = int(std::floor(area.top())) - 1;
        const int right = int(std::ceil(area.right())) + 1, bottom = int(std::ceil(area.bottom())) + 1;
        QImage picture(right - left, bottom - top, QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
        {
            // The shape lands on the same place within a pixel as on the painter's device.
            QPainter into(&picture);
            into.setRenderHints(painter.renderHints());
            into.setTransform(QTransform(scale, 0, 0, scale, toDevice.dx() - left, toDevice.dy() - top));
            draw(into);
        }
        if (s.bytes + picture.sizeInBytes() > keptBytes) {
            s.pictures.clear();
            s.bytes = 0;
        }
        ++s.counts.kept;
        s.bytes += picture.sizeInBytes();
        const QPoint offset(left - int(wholeX), top - int(wholeY));
        kept = &*s.pictures.insert(key, Kept{std::move(picture), offset});
    }

    // Copied at an identity transform to whole device pixels; where the painter cannot be brought
    // to one exactly, the shape is drawn as it stands.
    painter.save();
    painter.resetTransform();
    const QTransform rest = painter.deviceTransform();
    painter.setWorldTransform(QTransform(1 / rest.m11(), 0, 0, 1 / rest.m22(), -rest.dx() / rest.m11(),
                                         -rest.dy() / rest.m22()));
    const QTransform unit = painter.deviceTransform();
    const bool exact = rest.type() <= QTransform::TxScale && unit.m11() == 1 && unit.m22() == 1 && unit.m12() == 0 &&
                       unit.m21() == 0 && unit.dx() == 0 && unit.dy() == 0 && isWhole(wholeX) && isWhole(wholeY);
    if (exact) {
        ++s.counts.copied;
        painter.drawImage(QPointF(wholeX + kept->offset.x(), wholeY + kept->offset.y()), kept->picture);
    }
    painter.restore();
    if (!exact) direct();
}

Counts counts() { return store().counts; }

} // namespace tallymere::KeptFill
