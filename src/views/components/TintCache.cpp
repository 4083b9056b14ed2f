#include "views/components/TintCache.h"

#include "views/components/TileRaster.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tallymere {

const QImage& TintCache::patch(const QImage& picture, int pictureRevision, const QRectF& shape, double radius,
                               const QColor& tint, const QRect& part) {
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
    // Into pixels kept from patch to patch: a fresh image as large as the picture costs more in
    // the system's first touch of its pages than the copy and the tint together.
    const QRect within = source & picture.rect();
    const std::size_t pixels = std::size_t(std::max(source.width(), 0)) * std::size_t(std::max(source.height(), 0));
    if (m_pixels.size() < pixels) m_pixels.resize(pixels);
    m_image = QImage(reinterpret_cast<uchar*>(m_pixels.data()), source.width(), source.height(),
                     qsizetype(source.width()) * 4, picture.format());
    if (within != source) m_image.fill(0);
    for (int y = within.top(); y <= within.bottom(); ++y)
        std::memcpy(m_image.scanLine(y - source.top()) + qsizetype(within.left() - source.left()) * 4,
                    picture.constScanLine(y) + qsizetype(within.left()) * 4, std::size_t(within.width()) * 4);
    m_image.setDevicePixelRatio(ratio);
    TileRaster(m_image, ratio, -QPointF(m_area.topLeft()) * ratio).fill(shape, radius, tint);
    return m_image;
}

void TintCache::paint(QPainter& painter, const QImage& picture, int pictureRevision, const QRectF& shape,
                      double radius, const QColor& tint) {
    // The inside every pixel of which the shape covers whole, in whole logical points: a point
    // past the corners' arcs and the edges' anti-aliasing.
    const double inset = std::max(radius, 0.0) + 1;
    const QRect inside(QPoint(int(std::ceil(shape.left() + inset)), int(std::ceil(shape.top() + inset))),
                       QPoint(int(std::floor(shape.right() - inset)) - 1, int(std::floor(shape.bottom() - inset)) - 1));
    const qreal ratio = picture.devicePixelRatio();
    // Worth it only for a shape that covers much of the picture (the band's tall patches cost about
    // a millisecond whatever their shape's size), and only where whole points are whole pixels, so
    // that the band's patches and the fill meet without a seam.
    const QSizeF whole = picture.deviceIndependentSize();
    const bool banded = ratio == std::floor(ratio) && inside.width() > 0 && inside.height() > 0 &&
                        double(inside.width()) * inside.height() >= 0.25 * whole.width() * whole.height();
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (!banded) {
        const QImage& image = patch(picture, pictureRevision, shape, radius, tint);
        painter.drawImage(QPointF(m_area.topLeft()), image);
        painter.restore();
        return;
    }
    const QRect area = shape.toAlignedRect().adjusted(-1, -1, 1, 1);
    const std::array<QRect, 4> parts = {
        QRect(QPoint(area.left(), area.top()), QPoint(area.right(), inside.top() - 1)),
        QRect(QPoint(area.left(), inside.bottom() + 1), QPoint(area.right(), area.bottom())),
        QRect(QPoint(area.left(), inside.top()), QPoint(inside.left() - 1, inside.bottom())),
        QRect(QPoint(inside.right() + 1, inside.top()), QPoint(area.right(), inside.bottom())),
    };
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (!m_band[i]) m_band[i] = std::make_unique<TintCache>();
        const QImage& image = m_band[i]->patch(picture, pictureRevision, shape, radius, tint, parts[i]);
        painter.drawImage(QPointF(m_band[i]->area().topLeft()), image);
    }
    // The same integer blend as the patch's inside: the picture under it is already painted.
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.fillRect(inside, tint);
    painter.restore();
}

} // namespace tallymere
