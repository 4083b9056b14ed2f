#include "style/Motion.h"

#include <QPointF>

#include <cmath>
#include <numbers>

namespace tallymere::Motion {

namespace {

constexpr double defaultResponse = 0.32;
constexpr double defaultDamping = 0.82;

double springCurve(qreal progress) {
    if (progress >= 1.0) return 1.0;
    return springPosition(progress * springDurationMs / 1000.0, defaultResponse, defaultDamping);
}

} // namespace

double springPosition(double seconds, double response, double damping) {
    if (!(seconds > 0)) return 0.0;
    // Underdamped mass-spring from rest at 0 toward 1: response is the undamped period.
    const double omega = 2.0 * std::numbers::pi / response;
    const double decay = damping * omega;
    const double omegaD = omega * std::sqrt(1.0 - damping * damping);
    return 1.0 - std::exp(-decay * seconds) * (std::cos(omegaD * seconds) + decay / omegaD * std::sin(omegaD * seconds));
}

int springSettleMs(double response, double damping) {
    // The deviation from 1 never exceeds the envelope exp(-decay t) (1 + decay / omegaD).
    const double omega = 2.0 * std::numbers::pi / response;
    const double decay = damping * omega;
    const double omegaD = omega * std::sqrt(1.0 - damping * damping);
    const double seconds = std::log((1.0 + decay / omegaD) / 1e-4) / decay;
    return static_cast<int>(std::ceil(seconds * 1000.0));
}

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
