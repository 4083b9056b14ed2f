#include "views/components/TintCache.h"

#include "views/components/TileRaster.h"

#include <cmath>

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
    m_image = picture.copy(source);
    m_image.setDevicePixelRatio(ratio);
    TileRaster(m_image, ratio, -QPointF(m_area.topLeft()) * ratio).fill(shape, radius, tint);
    return m_image;
}

} // namespace tallymere
