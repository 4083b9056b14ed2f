#pragma once
#include "style/Theme.h"

#include <QColor>
#include <Qt>
#include <QRectF>

class QPainter;

namespace tallymere::FocusRing {

// The mark of the control that holds the keyboard: the accent at 0.45, the colour the name
// filter's border takes while it is being typed in, as a ring 2 wide.
inline constexpr double width = 2;
inline constexpr double opacity = 0.45;
QColor color(const Theme& theme);

// Whether a control that just took the keyboard for `reason` shows its ring: not when a click gave
// it (the pointer already says where the user is), yes for Tab and the other keyboard ways in; the
// window coming back to the front or a menu closing keeps what was shown before.
bool shownOnFocus(Qt::FocusReason reason, bool shownBefore);

// The ring drawn inside the edge of a rounded rectangle, so the shape keeps its outer size.
void paint(QPainter& painter, const QRectF& rect, double radius, const Theme& theme);

} // namespace tallymere::FocusRing
