#include "views/components/canvas/TintCache.h"

#include "views/components/canvas/ParallelBands.h"
#include "views/components/canvas/PixelCopy.h"
#include "views/components/canvas/TileRaster.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tallymere {

namespace {

// Pixels of a patch that one thread of the pool copies and tints.
constexpr std::size_t largePatch = 200'000;

} // namespace

const QImage& TintCache::patch(const QImage& picture, int pictureRevision, const QRectF& shape, double radius,
                               const QColor& tint, const QRect& part, const std::atomic<bool>* stop) {
    const qreal ratio = picture.devicePixelRatio();
    if (shape == m_shape && part == m_part && radius == m_radius && tint == m_tint && pictureRevision == m_revision &&
        ratio == m_ratio && !m_image.isNull())
        return m_image;
    m_shape = shape;
    m_part = part;
    m_radius = radius;
    m_tint = tint;
    m_revision = pictureRevision;
    m_ratio = ratio;
    m_area = shape.toAlignedRect().adjusted(-1, -1, 1, 1);
    if (part.isValid()) m_area &= part;
    const QRect source(QPoint(int(std::lround(m_area.x() * ratio)), int(std::lround(m_area.y() * ratio))),
                       QSize(int(std::lround(m_area.width() * ratio)), int(std::lround(m_area.height() * ratio))));
    m_origin = QPointF(source.topLeft()) / ratio;
    // Into pixels kept from patch to patch: a fresh image as large as the picture costs more in
    // the system's first touch of its pages than the copy and the tint together.
    const QRect within = source & picture.rect();
    const std::size_t pixels = std::size_t(std::max(source.width(), 0)) * std::size_t(std::max(source.height(), 0));
    // Left as they come (not cleared), so that the system's first touch of new pages falls to the
    // bands below, on several threads.
    if (m_capacity < pixels) {
        m_pixels.reset(new std::uint32_t[pixels]);
        m_capacity = pixels;
    }
    m_image = QImage(reinterpret_cast<uchar*>(m_pixels.get()), source.width(), source.height(),
                     qsizetype(source.width()) * 4, picture.format());
    m_withinPicture = within == source;
    if (!m_withinPicture) m_image.fill(0);
    m_image.setDevicePixelRatio(ratio);
    const TileRaster whole(m_image, ratio, -QPointF(m_area.topLeft()) * ratio);
    uchar* const bits = m_image.bits();
    const qsizetype stride = m_image.bytesPerLine();
    // Each band of rows copies and tints its own rows: a patch as large as most of the picture is
    // made by several threads, a small one by this thread alone. The bands are cut finer, so that a
    // stop waits for little more than the pieces under way.
    const int bands = int(std::clamp<std::size_t>(pixels / largePatch, 1, 8));
    ParallelBands::run(m_image.height(), bands, [&](int top, int bottom) {
        if (stop && stop->load(std::memory_order_relaxed)) return;
        for (int y = std::max(within.top(), top + source.top()); y <= within.bottom() && y < bottom + source.top(); ++y)
            std::memcpy(bits + (y - source.top()) * stride + qsizetype(within.left() - source.left()) * 4,
                        picture.constScanLine(y) + qsizetype(within.left()) * 4, std::size_t(within.width()) * 4);
        TileRaster(whole, top, bottom).fill(shape, radius, tint);
    }, 4);
    if (stop && stop->load()) m_revision = -1;
    return m_image;
}

namespace {

// The inside every pixel of which the shape covers whole, in whole logical points: a point past
// the corners' arcs and the edges' anti-aliasing.
QRect insideOf(const QRectF& shape, double radius) {
    const double inset = std::max(radius, 0.0) + 1;
    return {QPoint(int(std::ceil(shape.left() + inset)), int(std::ceil(shape.top() + inset))),
            QPoint(int(std::floor(shape.right() - inset)) - 1, int(std::floor(shape.bottom() - inset)) - 1)};
}

// Where a shape's mark goes: every pixel its fill's anti-aliasing reaches.
QRect areaOf(const QRectF& shape) { return shape.toAlignedRect().adjusted(-1, -1, 1, 1); }

bool isWholeRatio(const QImage& picture) {
    const qreal ratio = picture.devicePixelRatio();
    return !picture.isNull() && ratio == std::floor(ratio);
}

bool isInPicture(const QImage& picture, const QRect& logical) {
    return QRectF(QPointF(0, 0), picture.deviceIndependentSize()).contains(QRectF(logical));
}

QRect pixelsOf(const QRect& logical, qreal ratio) {
    return {QPoint(int(std::lround(logical.x() * ratio)), int(std::lround(logical.y() * ratio))),
            QSize(int(std::lround(logical.width() * ratio)), int(std::lround(logical.height() * ratio)))};
}

// Copies the part `logical` of an opaque image at its own place.
void copyPart(QPainter& painter, const QImage& image, const QRect& logical) {
    if (!PixelCopy::toDevice(painter, image, logical))
        PixelCopy::draw(painter, QPointF(logical.topLeft()), image, pixelsOf(logical, image.devicePixelRatio()), true);
}

// Lays a patch at its place (its first pixel at `origin`): straight into the window's pixels where
// it is opaque.
void lay(QPainter& painter, const QImage& patch, QPointF origin, bool opaque) {
    if (!opaque || !PixelCopy::toDevice(painter, patch, QRect(), {}, origin))
        PixelCopy::draw(painter, origin, patch, QRect(), opaque);
}

// Lays `mark` straight into the image `painter` paints on, over the picture's own pixels copied
// there first, a band of rows at a time while it is in the cache, on this thread and the pool:
// the same pixels as the tinted picture's copy, made without a whole tinted picture first. Only
// where the painter takes the picture pixel for pixel, the whole picture lies within the image
// and the mark's `area` is all exposed; returns whether it was laid.
bool layStraight(QPainter& painter, const QImage& picture, const TintedPicture::Mark& mark, const QRect& area) {
    const qreal ratio = picture.devicePixelRatio();
    const auto target = PixelCopy::target(painter, ratio);
    if (!target) return false;
    const int scale = int(ratio);
    const QRect pixels = QRect(area.topLeft() * scale, area.size() * scale) & picture.rect();
    const QRect placed(target->origin, picture.size());
    if (!target->image->rect().contains(placed) || !(QRegion(pixels.translated(target->origin)) - target->exposed).isEmpty())
        return false;
    // The window's pixels under the picture, seen as an image of the picture's own size and layout
    // (opaque pixels read the same either way), so that the mark is laid by the very sums that
    // lay it on the tinted picture.
    const qsizetype stride = target->image->bytesPerLine();
    uchar* const bits = target->image->bits() + qsizetype(placed.top()) * stride + qsizetype(placed.left()) * 4;
    QImage under(bits, picture.width(), picture.height(), stride, QImage::Format_ARGB32_Premultiplied);
    // Made here: making a raster touches the image, which only this thread may do.
    const TileRaster whole(under, ratio, QPointF());
    ParallelBands::share(pixels.height(), 64, [&](int top, int bottom) {
        for (int y = pixels.top() + top; y < pixels.top() + bottom; ++y)
            std::memcpy(bits + y * stride + qsizetype(pixels.left()) * 4,
                        picture.constScanLine(y) + qsizetype(pixels.left()) * 4, std::size_t(pixels.width()) * 4);
        TileRaster(whole, pixels.top() + top, pixels.top() + bottom).fill(mark.shape, mark.radius, mark.tint);
    });
    return true;
}

} // namespace

bool TintCache::isLarge(const QImage& picture, const QRectF& shape, double radius) {
    const QRect inside = insideOf(shape, radius);
    const QSizeF whole = picture.deviceIndependentSize();
    return isWholeRatio(picture) && inside.width() > 0 && inside.height() > 0 &&
           double(inside.width()) * inside.height() >= 0.25 * whole.width() * whole.height() &&
           isInPicture(picture, inside);
}

QRect TintCache::cover(const QImage& picture, const QRectF& shape) {
    const QRect area = areaOf(shape);
    return isWholeRatio(picture) && isInPicture(picture, area) ? area : QRect();
}

void TintCache::paint(QPainter& painter, const QImage& picture, int pictureRevision, const QRectF& shape,
                      double radius, const QColor& tint) {
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const TintedPicture::Mark mark{pictureRevision, shape, radius, tint};
    const QRect area = areaOf(shape);
    const TintedPicture::Mark& made = m_tinted.mark();
    const bool remade = m_remake && m_remakeMark == mark;
    if ((made == mark || remade) && !cover(picture, shape).isEmpty()) {
        // The largest shape: the tinted picture holds its whole mark. While it is still being made,
        // as for a hover right after a new picture, the mark is laid straight into the window
        // instead (which costs about what making the rest of it would, without the copy after):
        // the pool's threads stop making it, to lay this with the window's thread, and the caller
        // has it made again once the paint is done.
        if (!m_tinted.isMade() || made != mark) {
            m_tinted.stop();
            if (layStraight(painter, picture, mark, area)) {
                m_remake = true;
                m_remakeMark = mark;
                painter.restore();
                return;
            }
        }
        m_remake = false;
        copyPart(painter, m_tinted.image(picture, mark), area);
        painter.restore();
        return;
    }
    const QRect inside = insideOf(shape, radius);
    const bool banded = made.revision == pictureRevision && made.tint == tint && isLarge(picture, shape, radius) &&
                        insideOf(made.shape, made.radius).contains(inside);
    if (!banded) {
        const QImage& image = patch(picture, pictureRevision, shape, radius, tint);
        lay(painter, image, m_origin, m_withinPicture);
        painter.restore();
        return;
    }
    // A large shape within the largest: its inside is the tinted picture's, its outline band patches.
    const std::array<QRect, 4> parts = {
        QRect(QPoint(area.left(), area.top()), QPoint(area.right(), inside.top() - 1)),
        QRect(QPoint(area.left(), inside.bottom() + 1), QPoint(area.right(), area.bottom())),
        QRect(QPoint(area.left(), inside.top()), QPoint(inside.left() - 1, inside.bottom())),
        QRect(QPoint(inside.right() + 1, inside.top()), QPoint(area.right(), inside.bottom())),
    };
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (!m_band[i]) m_band[i] = std::make_unique<TintCache>();
        const QImage& image = m_band[i]->patch(picture, pictureRevision, shape, radius, tint, parts[i]);
        lay(painter, image, m_band[i]->origin(), m_band[i]->m_withinPicture);
    }
    copyPart(painter, m_tinted.image(picture, made), inside);
    painter.restore();
}

} // namespace tallymere
