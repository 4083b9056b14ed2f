#include "layout/PercentText.h"

#include <charconv>

namespace tallymere {

std::string percentText(double share) {
    if (share > 0 && share < 0.001) return "<0.1%";
    char buffer[512];
    // The buffer holds any finite double in fixed notation with one decimal.
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, share * 100, std::chars_format::fixed, 1);
    if (result.ec != std::errc()) return "0.0%";
    return std::string(buffer, result.ptr) + "%";
}

} // namespace tallymere
