#include "views/components/HighlightOverlay.h"

#include "views/components/ShapePaint.h"

#include <QPainter>
#include <QPainterPath>

namespace tallymere {

namespace {

QPainterPath rounded(const QRectF& rect, double grow, double radius) {
    QPainterPath path;
    path.addRoundedRect(rect.adjusted(-grow, -grow, grow, grow), radius, radius);
    return path;
}

} // namespace

QColor HighlightOverlay::ink(const Theme& theme) { return theme.isDark ? QColor(255, 255, 255) : QColor(18, 17, 16); }

void HighlightOverlay::paint(QPainter& painter) const {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (const QRectF& rect : queued) {
        const QPainterPath path = rounded(rect, 0.5, 4);
        painter.fillPath(path, ShapePaint::withOpacity(theme.danger, 0.28));
        painter.strokePath(path, QPen(theme.danger, 1.4));
    }
    const QColor ink = HighlightOverlay::ink(theme);
    if (selected) painter.strokePath(rounded(*selected, 1, 5), QPen(ink, 2));
    if (hovered) {
        const QPainterPath path = rounded(*hovered, 0.5, 4);
        if (!hoverTinted) painter.fillPath(path, ShapePaint::withOpacity(ink, 0.1));
        painter.strokePath(path, QPen(ShapePaint::withOpacity(ink, 0.75), 1.4));
    }
    painter.restore();
}

} // namespace tallymere
