#pragma once
#include "style/Theme.h"

#include <QColor>
#include <QRectF>

class QPainter;

namespace tallymere::FocusRing {

// The mark of the control that holds the keyboard: the accent at 0.45, the colour the name
// filter's border takes while it is being typed in, as a ring 2 wide.
inline constexpr double width = 2;
inline constexpr double opacity = 0.45;
QColor color(const Theme& theme);

// The ring drawn inside the edge of a rounded rectangle, so the shape keeps its outer size.
void paint(QPainter& painter, const QRectF& rect, double radius, const Theme& theme);

} // namespace tallymere::FocusRing
