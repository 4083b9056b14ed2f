#pragma once
#include <QRect>
#include <QRectF>

class QWidget;

namespace tallymere::RepaintArea {

// The part of `widget` (its logical coordinates, whole points) to repaint so that every device
// pixel `drawn` touches is painted again, anti-aliased edges included. At a whole pixel ratio that
// is the rectangle round `drawn`; at one that is not (a desktop scaled to 125% or 150%) a point's
// edge falls inside a device pixel, which the window would leave out of a repaint of that
// rectangle: a point more on every side takes it in.
QRect around(const QWidget& widget, const QRectF& drawn);

// Asks `widget` to repaint around(widget, drawn).
void update(QWidget& widget, const QRectF& drawn);

} // namespace tallymere::RepaintArea
