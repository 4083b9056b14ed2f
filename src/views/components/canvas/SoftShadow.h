#pragma once
#include <QColor>
#include <QImage>
#include <QRectF>

#include <algorithm>
#include <cmath>

class QPainter;

namespace tallymere {

// A blurred drop shadow under a rounded rectangle, for floating cards. The blurred picture is kept
// and only made again when the size, corner, colour, blur or pixel ratio changes.
class SoftShadow {
public:
    // `blur` is the shadow's radius in logical pixels; `offset` moves it (y grows downwards).
    SoftShadow(QColor color, double blur, QPointF offset) : m_color(color), m_blur(blur), m_offset(offset) {}

    // How far the shadow reaches outside the rectangle on any side.
    double reach() const { return m_blur + std::max(std::abs(m_offset.x()), std::abs(m_offset.y())); }

    void paint(QPainter& painter, const QRectF& rect, double cornerRadius);

private:
    QColor m_color;
    double m_blur;
    QPointF m_offset;
    QImage m_image;
    QSizeF m_forSize;
    double m_forCorner = -1;
};

} // namespace tallymere
