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

// The position at `seconds` of an underdamped spring released from rest at 0 toward 1, with the
// given response (its undamped period in seconds) and damping fraction (0 < damping < 1). 0 at or
// before the release; it overshoots 1 a little before settling there.
double springPosition(double seconds, double response, double damping);

// Milliseconds after which that spring stays within a ten-thousandth of 1.
int springSettleMs(double response, double damping);

} // namespace tallymere::Motion
