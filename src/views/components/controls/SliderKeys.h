#pragma once
#include <optional>

namespace tallymere::SliderKeys {

// How far a key moves a slider: `small` for an arrow, `page` for Page Up and Page Down (0 leaves
// those keys to others).
struct Steps {
    double small = 1;
    double page = 0;
};

// The value key `key` (a Qt::Key) moves a slider to from `value`, held within [minimum, maximum]:
// Left and Down a small step down, Right and Up one up, Page Down and Page Up a page, Home and End
// the bounds. None for a key that is not the slider's, which the caller passes on.
std::optional<double> target(int key, double value, double minimum, double maximum, Steps steps);

} // namespace tallymere::SliderKeys
