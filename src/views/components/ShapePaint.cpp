#include "views/components/ShapePaint.h"

#include <QPainter>
#include <QPainterPath>

namespace tallymere::ShapePaint {

QColor withOpacity(const QColor& color, double opacity) {
    QColor result = color;
    result.setAlphaF(float(std::clamp(color.alphaF() * opacity, 0.0, 1.0)));
    return result;
}

void fillRounded(QPainter& painter, const QRectF& rect, double radius, const QColor& fill) {
    if (rect.isEmpty() || fill.alpha() == 0) return;
    const double r = std::clamp(radius, 0.0, capsuleRadius(rect));
    QPainterPath path;
    path.addRoundedRect(rect, r, r);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillPath(path, fill);
    painter.restore();
}

void strokeInside(QPainter& painter, const QRectF& rect, double radius, const QColor& stroke) {
    if (rect.width() < 1 || rect.height() < 1 || stroke.alpha() == 0) return;
    // A 1-pixel pen centred half a pixel in keeps the whole line inside the shape.
    const QRectF inner = rect.adjusted(0.5, 0.5, -0.5, -0.5);
    const double r = std::clamp(radius - 0.5, 0.0, capsuleRadius(inner));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(stroke, 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(inner, r, r);
    painter.restore();
}

} // namespace tallymere::ShapePaint
