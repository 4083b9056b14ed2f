#include "views/components/canvas/HighlightOverlay.h"

#include "views/components/canvas/OutlineStroke.h"
#include "views/components/canvas/ShapePaint.h"

#include <QPainter>
#include <QPainterPath>

namespace tallymere {

namespace {

QRectF grown(const QRectF& rect, double grow) { return rect.adjusted(-grow, -grow, grow, grow); }

QPainterPath rounded(const QRectF& rect, double grow, double radius) {
    QPainterPath path;
    path.addRoundedRect(grown(rect, grow), radius, radius);
    return path;
}

} // namespace

QColor HighlightOverlay::ink(const Theme& theme) { return theme.isDark ? QColor(255, 255, 255) : QColor(18, 17, 16); }

void HighlightOverlay::paint(QPainter& painter) const {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    // A mark as large as the canvas has an outline thousands of pixels long: laid from a small
    // stroke's pieces, it costs a fraction of the painter's stroke.
    OutlineStroke outline;
    for (const QRectF& rect : queued) {
        painter.fillPath(rounded(rect, 0.5, 4), ShapePaint::withOpacity(theme.danger, 0.28));
        outline.stroke(painter, grown(rect, 0.5), 4, QPen(theme.danger, 1.4));
    }
    const QColor ink = HighlightOverlay::ink(theme);
    if (selected) outline.stroke(painter, grown(*selected, 1), 5, QPen(ink, 2));
    if (hovered) {
        if (!hoverTinted) painter.fillPath(rounded(*hovered, 0.5, 4), ShapePaint::withOpacity(ink, 0.1));
        (hoverOutline ? *hoverOutline : outline)
            .stroke(painter, grown(*hovered, 0.5), 4, QPen(ShapePaint::withOpacity(ink, 0.75), 1.4));
    }
    painter.restore();
}

} // namespace tallymere
