#pragma once
#include <QEasingCurve>

namespace tallymere::Motion {

// The standard ease-out timing curve: a cubic Bézier from (0, 0) to (1, 1) with control points
// (0, 0) and (0.58, 1).
QEasingCurve easeOut();

// An underdamped spring (response 0.32 s, damping fraction 0.82) as an easing curve over
// springDurationMs, by which time it has settled to within a ten-thousandth. It overshoots the
// end value by about one percent before settling.
inline constexpr int springDurationMs = 620;
QEasingCurve spring();

} // namespace tallymere::Motion
