#include "views/components/TintCache.h"

#include "views/components/TileRaster.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tallymere {

const QImage& TintCache::patch(const QImage& picture, int pictureRevision, const QRectF& shape, double radius,
                               const QColor& tint) {
    const qreal ratio = picture.devicePixelRatio();
    if (shape == m_shape && radius == m_radius && tint == m_tint && pictureRevision == m_revision &&
        ratio == m_ratio && !m_image.isNull())
        return m_image;
    m_shape = shape;
    m_radius = radius;
    m_tint = tint;
    m_revision = pictureRevision;
    m_ratio = ratio;
    m_area = shape.toAlignedRect().adjusted(-1, -1, 1, 1);
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

} // namespace tallymere
