#include "views/components/canvas/ShapePaint.h"

#include "style/KeptFill.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace tallymere::ShapePaint {

QColor withOpacity(const QColor& color, double opacity) {
    QColor result = color;
    result.setAlphaF(float(std::clamp(color.alphaF() * opacity, 0.0, 1.0)));
    return result;
}

// Tags of the shapes kept as pictures (see KeptFill).
constexpr std::uint64_t roundedFill = 1ull << 32, roundedStroke = 2ull << 32;

void fillRounded(QPainter& painter, const QRectF& rect, double radius, const QColor& fill) {
    if (rect.isEmpty() || fill.alpha() == 0) return;
    const double r = std::clamp(radius, 0.0, capsuleRadius(rect));
    KeptFill::paint(painter, {roundedFill, rect.width(), rect.height(), r, 0, fill.rgba64()}, rect.topLeft(),
                    rect.adjusted(-1, -1, 1, 1), [&](QPainter& p) {
                        QPainterPath path;
                        path.addRoundedRect(rect, r, r);
                        p.setRenderHint(QPainter::Antialiasing, true);
                        p.fillPath(path, fill);
                    });
}

void fillRoundedTinted(QPainter& painter, const QRectF& rect, double radius, const QColor& fill) {
    if (rect.isEmpty() || fill.alpha() == 0) return;
    const double r = std::clamp(radius, 0.0, capsuleRadius(rect));
    KeptFill::paintTinted(painter, {roundedFill, rect.width(), rect.height(), r, 0, 0}, rect.topLeft(),
                          rect.adjusted(-1, -1, 1, 1), fill, [&](QPainter& p, const QColor& colour) {
                              QPainterPath path;
                              path.addRoundedRect(rect, r, r);
                              p.setRenderHint(QPainter::Antialiasing, true);
                              p.fillPath(path, colour);
                          });
}

void strokeInside(QPainter& painter, const QRectF& rect, double radius, const QColor& stroke) {
    if (rect.width() < 1 || rect.height() < 1 || stroke.alpha() == 0) return;
    // A 1-pixel pen centred half a pixel in keeps the whole line inside the shape.
    const QRectF inner = rect.adjusted(0.5, 0.5, -0.5, -0.5);
    const double r = std::clamp(radius - 0.5, 0.0, capsuleRadius(inner));
    const auto draw = [&](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(stroke, 1.0));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(inner, r, r);
    };
    // A line no wider than a device pixel is drawn by the engine's own line drawer, which blends
    // differently from a fill: only wider lines, filled as outlines, are kept as pictures.
    if (!(painter.deviceTransform().m11() > 1)) {
        painter.save();
        draw(painter);
        painter.restore();
        return;
    }
    KeptFill::paint(painter, {roundedStroke, rect.width(), rect.height(), r, 0, stroke.rgba64()}, rect.topLeft(),
                    rect.adjusted(-1, -1, 1, 1), draw);
}

} // namespace tallymere::ShapePaint
