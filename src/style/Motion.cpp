#include "style/Motion.h"

#include <QPointF>

#include <cmath>
#include <numbers>

namespace tallymere::Motion {

namespace {

constexpr double response = 0.32;
constexpr double damping = 0.82;

// The spring's position at `seconds` after release from 0 toward 1.
double springPosition(double seconds) {
    if (seconds <= 0) return 0.0;
    // Underdamped mass-spring from rest at 0 toward 1: response is the undamped period.
    const double omega = 2.0 * std::numbers::pi / response;
    const double decay = damping * omega;
    const double omegaD = omega * std::sqrt(1.0 - damping * damping);
    return 1.0 - std::exp(-decay * seconds) * (std::cos(omegaD * seconds) + decay / omegaD * std::sin(omegaD * seconds));
}

double springCurve(qreal progress) {
    if (progress >= 1.0) return 1.0;
    return springPosition(progress * springDurationMs / 1000.0);
}

} // namespace

QEasingCurve easeOut() {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.0, 0.0), QPointF(0.58, 1.0), QPointF(1.0, 1.0));
    return curve;
}

QEasingCurve spring() {
    QEasingCurve curve;
    curve.setCustomType(&springCurve);
    return curve;
}

} // namespace tallymere::Motion
