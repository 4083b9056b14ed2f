#include "style/KeptFill.h"

#include "style/PixelSums.h"

#include <QHash>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>

#include <cmath>
#include <memory>
#include <mutex>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <optional>
#include <vector>

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

// A shape's coverage alone (0...255 a pixel, as a fill in opaque white leaves it), with the span of
// each row that it covers wholly.
struct Coverage {
    int width = 0, height = 0;
    QPoint offset; // as Kept's
    std::vector<uchar> alpha;
    std::vector<std::pair<int, int>> whole; // by row: [from, to) of the pixels covered wholly
    std::vector<std::pair<int, int>> any;   // by row: [from, to) of the pixels covered at all
};

struct Store {
    QHash<Key, Kept> pictures;
    qsizetype bytes = 0;
    Counts counts;
};

// Coverages are shared by every thread: the bands of one picture are drawn by whichever thread
// comes free, and a thread meeting a shape another has kept would otherwise rasterise it again.
struct Coverages {
    std::mutex lock;
    QHash<Key, std::shared_ptr<const Coverage>> kept;
    qsizetype bytes = 0;
};

Coverages& coverages() {
    static Coverages c;
    return c;
}

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

// Where a kept picture of a shape lands on the painter's device: the device place of the anchor
// and the picture's box of whole device pixels. None where the picture could differ from direct
// drawing.
struct Place {
    QTransform toDevice;
    QPointF at;
    int left = 0, top = 0, right = 0, bottom = 0;
};

std::optional<Place> placeOf(const QPainter& painter, QPointF anchor, const QRectF& bounds) {
    const QTransform toDevice = painter.deviceTransform();
    const double scale = toDevice.m11();
    if (!painter.paintEngine() || painter.paintEngine()->type() != QPaintEngine::Raster ||
        toDevice.type() > QTransform::TxScale || scale != toDevice.m22() || !(scale > 0) ||
        painter.opacity() != 1.0 || painter.compositionMode() != QPainter::CompositionMode_SourceOver ||
        painter.hasClipping() || !blendsAlike(painter))
        return std::nullopt;
    const QRectF area = toDevice.mapRect(bounds);
    if (!(area.width() > 0 && area.height() > 0) || area.width() * area.height() > largestPicture) return std::nullopt;
    Place place{toDevice, toDevice.map(anchor)};
    place.left = int(std::floor(area.left())) - 1;
    place.top = int(std::floor(area.top())) - 1;
    place.right = int(std::ceil(area.right())) + 1;
    place.bottom = int(std::ceil(area.bottom())) + 1;
    return place;
}

// A new picture of the shape: the same place within a pixel as on the painter's device.
QImage pictureAt(const QPainter& painter, const Place& place, const std::function<void(QPainter&)>& draw) {
    QImage picture(place.right - place.left, place.bottom - place.top, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter into(&picture);
    into.setRenderHints(painter.renderHints());
    const double scale = place.toDevice.m11();
    into.setTransform(
        QTransform(scale, 0, 0, scale, place.toDevice.dx() - place.left, place.toDevice.dy() - place.top));
    draw(into);
    return picture;
}

void keepRoomFor(Store& s, qsizetype bytes) {
    if (s.bytes + bytes <= keptBytes) return;
    s.pictures.clear();
    s.bytes = 0;
}

// Brings the painter to an identity transform on the device (the caller saves and restores it)
// and says whether a picture copied there lands on the device's own pixels, the anchor's pixel at
// a whole place: paint() copies only then.
bool toDevicePixels(QPainter& painter, QPointF at) {
    painter.resetTransform();
    const QTransform rest = painter.deviceTransform();
    painter.setWorldTransform(QTransform(1 / rest.m11(), 0, 0, 1 / rest.m22(), -rest.dx() / rest.m11(),
                                         -rest.dy() / rest.m22()));
    const QTransform unit = painter.deviceTransform();
    return rest.type() <= QTransform::TxScale && unit.m11() == 1 && unit.m22() == 1 && unit.m12() == 0 &&
           unit.m21() == 0 && unit.dx() == 0 && unit.dy() == 0 && isWhole(std::floor(at.x())) &&
           isWhole(std::floor(at.y()));
}

bool landsOnWholePixels(QPainter& painter, QPointF at) {
    painter.save();
    const bool exact = toDevicePixels(painter, at);
    painter.restore();
    return exact;
}

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
    const std::optional<Place> place = placeOf(painter, anchor, bounds);
    if (!place) return direct();
    const QPointF at = place->at;
    const double wholeX = std::floor(at.x()), wholeY = std::floor(at.y());
    // Keyed by the exact place on the device, not by the place within a pixel: the rasteriser
    // splits curves where they lie, so a shape moved by whole pixels can round an edge pixel the
    // other way. A window paints its shapes at the same places frame after frame.
    const Key key{shape, place->toDevice.m11(), at.x(), at.y()};
    const Kept* kept = nullptr;
    if (auto found = s.pictures.constFind(key); found != s.pictures.constEnd()) kept = &*found;
    else {
        QImage picture = pictureAt(painter, *place, draw);
        keepRoomFor(s, picture.sizeInBytes());
        ++s.counts.kept;
        s.bytes += picture.sizeInBytes();
        const QPoint offset(place->left - int(wholeX), place->top - int(wholeY));
        kept = &*s.pictures.insert(key, Kept{std::move(picture), offset});
    }

    // Copied at an identity transform to whole device pixels; where the painter cannot be brought
    // to one exactly, the shape is drawn as it stands.
    painter.save();
    const bool exact = toDevicePixels(painter, at);
    if (exact) {
        ++s.counts.copied;
        painter.drawImage(QPointF(wholeX + kept->offset.x(), wholeY + kept->offset.y()), kept->picture);
    }
    painter.restore();
    if (!exact) direct();
}

void paintTinted(QPainter& painter, const Shape& shape, QPointF anchor, const QRectF& bounds, const QColor& color,
                 const std::function<void(QPainter&, const QColor&)>& draw) {
    Shape coloured = shape;
    coloured.color = color.rgba64();
    const auto inColour = [&](QPainter& p) { draw(p, color); };
    QPaintDevice* device = painter.device();
    QImage* image = device && device->devType() == QInternal::Image ? static_cast<QImage*>(device) : nullptr;
    const std::optional<Place> place = image && image->format() == QImage::Format_ARGB32_Premultiplied
                                           ? placeOf(painter, anchor, bounds)
                                           : std::nullopt;
    if (!place || !landsOnWholePixels(painter, place->at)) return paint(painter, coloured, anchor, bounds, inColour);
    Store& s = store();
    Shape plain = shape;
    plain.color = 0;
    const Key key{plain, place->toDevice.m11(), place->at.x(), place->at.y()};
    Coverages& shared = coverages();
    std::shared_ptr<const Coverage> coverage;
    {
        std::lock_guard guard(shared.lock);
        if (auto found = shared.kept.constFind(key); found != shared.kept.constEnd()) coverage = *found;
    }
    if (!coverage) {
        ++s.counts.covered;
        const QImage picture = pictureAt(painter, *place, [&](QPainter& p) { draw(p, QColor(Qt::white)); });
        auto made = std::make_shared<Coverage>();
        made->width = picture.width();
        made->height = picture.height();
        made->offset = QPoint(place->left, place->top) -
                       QPoint(int(std::floor(place->at.x())), int(std::floor(place->at.y())));
        made->alpha.resize(std::size_t(made->width) * std::size_t(made->height));
        made->whole.resize(std::size_t(made->height));
        made->any.resize(std::size_t(made->height));
        for (int y = 0; y < made->height; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
            uchar* to = made->alpha.data() + std::size_t(y) * std::size_t(made->width);
            int from = made->width, first = made->width, last = 0;
            for (int x = 0; x < made->width; ++x) {
                to[x] = uchar(qAlpha(line[x]));
                if (to[x] == 255 && from == made->width) from = x;
                if (to[x] != 0) {
                    first = std::min(first, x);
                    last = x + 1;
                }
            }
            // The first stretch of whole pixels; any other is laid pixel by pixel.
            int stop = from;
            while (stop < made->width && to[stop] == 255) ++stop;
            made->whole[std::size_t(y)] = {from, stop};
            made->any[std::size_t(y)] = {std::min(first, last), last};
        }
        const qsizetype bytes =
            qsizetype(made->alpha.size()) + qsizetype(2 * made->whole.size() * sizeof(made->whole[0]));
        std::lock_guard guard(shared.lock);
        if (shared.bytes + bytes > keptBytes) {
            shared.kept.clear();
            shared.bytes = 0;
        }
        shared.bytes += bytes;
        shared.kept.insert(key, made);
        coverage = std::move(made);
    }
    ++s.counts.tinted;

    // Laid as the engine lays the kept picture of the shape in this colour: that picture holds the
    // colour times the coverage (its sums for a solid fill over nothing), copied over the pixels.
    const QRgb colour = qPremultiply(color.rgba64()).toArgb32();
    const int left = int(std::floor(place->at.x())) + coverage->offset.x();
    const int top = int(std::floor(place->at.y())) + coverage->offset.y();
    const int fromX = std::max(left, 0), toX = std::min(left + coverage->width, image->width());
    if (fromX >= toX) return;
    auto* bits = const_cast<uchar*>(image->constBits());
    const qsizetype stride = image->bytesPerLine();
    const std::uint32_t keep = 255u - qAlpha(colour);
    const int fromY = std::max(top, 0), toY = std::min(top + coverage->height, image->height());
    // The pixels wholly inside are most of a shape and mostly lie on one colour: each new one is
    // worked out once.
    std::uint32_t lastUnder = 0, lastOut = colour;
    for (int y = fromY; y < toY; ++y) {
        auto* line = reinterpret_cast<std::uint32_t*>(bits + qsizetype(y) * stride);
        const uchar* alpha = coverage->alpha.data() + std::size_t(y - top) * std::size_t(coverage->width);
        const auto [wholeFrom, wholeTo] = coverage->whole[std::size_t(y - top)];
        const auto [anyFrom, anyTo] = coverage->any[std::size_t(y - top)];
        const int rowFrom = std::max(fromX, left + anyFrom), rowTo = std::min(toX, left + anyTo);
        const int runFrom = std::clamp(left + wholeFrom, rowFrom, std::max(rowFrom, rowTo));
        const int runTo = std::clamp(left + wholeTo, runFrom, std::max(runFrom, rowTo));
        const auto edge = [&](int from, int to) {
            for (int x = from; x < to; ++x)
                if (const uchar a = alpha[x - left]; a != 0) line[x] = sourceOverPixel(scaledPixel(colour, a), line[x]);
        };
        edge(rowFrom, runFrom);
        int x = runFrom;
        while (x < runTo) {
            const std::uint32_t under = line[x];
            if (under != lastUnder) {
                lastUnder = under;
                lastOut = colour + scaledPixel(under, keep);
            }
            line[x++] = lastOut;
#if defined(__SSE2__)
            // Then four at a time while the pixels beneath stay the same.
            const __m128i same = _mm_set1_epi32(int(lastUnder)), out = _mm_set1_epi32(int(lastOut));
            for (; x + 4 <= runTo; x += 4) {
                auto* at = reinterpret_cast<__m128i*>(line + x);
                if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_loadu_si128(at), same)) != 0xffff) break;
                _mm_storeu_si128(at, out);
            }
#endif
        }
        edge(runTo, rowTo);
    }
}

Counts counts() { return store().counts; }

} // namespace tallymere::KeptFill
