#pragma once
#include <array>
#include <optional>
#include <string_view>

namespace tallymere {

// The five palettes, in the order of the theme menu and the Settings picker. Raw values are stored
// in the defaults under "themeID".
enum class ThemeID { paper, linen, sage, mist, slate };

// The three ways of colouring nodes; raw values stored under "colorMode".
enum class ColorMode { type, branch, age };

namespace ThemeIDs {
inline constexpr std::array<ThemeID, 5> all = {ThemeID::paper, ThemeID::linen, ThemeID::sage, ThemeID::mist,
                                                ThemeID::slate};
constexpr std::string_view rawValue(ThemeID id) {
    switch (id) {
    case ThemeID::paper: return "paper";
    case ThemeID::linen: return "linen";
    case ThemeID::sage: return "sage";
    case ThemeID::mist: return "mist";
    case ThemeID::slate: return "slate";
    }
    return "paper";
}
constexpr std::string_view title(ThemeID id) {
    switch (id) {
    case ThemeID::paper: return "Paper";
    case ThemeID::linen: return "Linen";
    case ThemeID::sage: return "Sage";
    case ThemeID::mist: return "Mist";
    case ThemeID::slate: return "Slate";
    }
    return "Paper";
}
// Exact, case-sensitive match of a raw value.
constexpr std::optional<ThemeID> fromRaw(std::string_view raw) {
    for (ThemeID id : all)
        if (rawValue(id) == raw) return id;
    return std::nullopt;
}
} // namespace ThemeIDs

namespace ColorModes {
inline constexpr std::array<ColorMode, 3> all = {ColorMode::type, ColorMode::branch, ColorMode::age};
constexpr std::string_view rawValue(ColorMode mode) {
    switch (mode) {
    case ColorMode::type: return "type";
    case ColorMode::branch: return "branch";
    case ColorMode::age: return "age";
    }
    return "type";
}
constexpr std::string_view title(ColorMode mode) {
    switch (mode) {
    case ColorMode::type: return "By type";
    case ColorMode::branch: return "By folder";
    case ColorMode::age: return "By age";
    }
    return "By type";
}
constexpr std::string_view symbol(ColorMode mode) {
    switch (mode) {
    case ColorMode::type: return "square.on.circle";
    case ColorMode::branch: return "folder";
    case ColorMode::age: return "clock";
    }
    return "square.on.circle";
}
constexpr std::optional<ColorMode> fromRaw(std::string_view raw) {
    for (ColorMode mode : all)
        if (rawValue(mode) == raw) return mode;
    return std::nullopt;
}
} // namespace ColorModes

} // namespace tallymere
