#include "views/components/controls/FocusRing.h"

#include "views/components/canvas/ShapePaint.h"

#include <QPainter>

#include <algorithm>

namespace tallymere::FocusRing {

QColor color(const Theme& theme) { return ShapePaint::withOpacity(theme.accent, opacity); }

bool shownOnFocus(Qt::FocusReason reason, bool shownBefore) {
    switch (reason) {
    case Qt::MouseFocusReason: return false;
    case Qt::ActiveWindowFocusReason:
    case Qt::PopupFocusReason: return shownBefore;
    default: return true;
    }
}

void paint(QPainter& painter, const QRectF& rect, double radius, const Theme& theme) {
    if (rect.width() < 2 * width || rect.height() < 2 * width) return;
    // A pen centred half its width in keeps the whole ring inside the shape.
    const QRectF inner = rect.adjusted(width / 2, width / 2, -width / 2, -width / 2);
    const double r = std::clamp(radius - width / 2, 0.0, ShapePaint::capsuleRadius(inner));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(color(theme), width));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(inner, r, r);
    painter.restore();
}

} // namespace tallymere::FocusRing
