#include "views/components/controls/SliderKeys.h"

#include <Qt>

#include <algorithm>

namespace tallymere::SliderKeys {

std::optional<double> target(int key, double value, double minimum, double maximum, Steps steps) {
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Down: value -= steps.small; break;
    case Qt::Key_Right:
    case Qt::Key_Up: value += steps.small; break;
    case Qt::Key_PageDown:
        if (steps.page <= 0) return std::nullopt;
        value -= steps.page;
        break;
    case Qt::Key_PageUp:
        if (steps.page <= 0) return std::nullopt;
        value += steps.page;
        break;
    case Qt::Key_Home: value = minimum; break;
    case Qt::Key_End: value = maximum; break;
    default: return std::nullopt;
    }
    return std::clamp(value, minimum, maximum);
}

} // namespace tallymere::SliderKeys
