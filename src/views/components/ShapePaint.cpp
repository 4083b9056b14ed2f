#include "views/components/ShapePaint.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

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

QPolygonF roundedPolygon(const QRectF& rect, double radius) {
    const double r = std::clamp(radius, 0.0, capsuleRadius(rect));
    if (r <= 0.05) return QPolygonF(rect);
    // About one point per pixel of corner keeps the outline within a fifth of a pixel of the arc.
    const int steps = std::clamp(int(std::ceil(r * 1.2)), 2, 12);
    QPolygonF polygon;
    polygon.reserve(4 * (steps + 1));
    const QPointF centres[4] = {{rect.right() - r, rect.top() + r}, {rect.right() - r, rect.bottom() - r},
                                {rect.left() + r, rect.bottom() - r}, {rect.left() + r, rect.top() + r}};
    for (int corner = 0; corner < 4; ++corner) {
        // Clockwise on screen from the top-right corner, starting at twelve o'clock of each arc.
        const double start = -std::numbers::pi / 2 + corner * std::numbers::pi / 2;
        for (int i = 0; i <= steps; ++i) {
            const double a = start + (std::numbers::pi / 2) * i / steps;
            polygon << QPointF(centres[corner].x() + r * std::cos(a), centres[corner].y() + r * std::sin(a));
        }
    }
    return polygon;
}

} // namespace tallymere::ShapePaint
