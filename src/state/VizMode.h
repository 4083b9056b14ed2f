#pragma once
#include <array>
#include <optional>
#include <string_view>

namespace tallymere {

// The visualisation shown in the explore tab. The order is the order of menus and selectors; raw
// values are stored in the defaults under "vizMode".
enum class VizMode { treemap, folders, sunburst, icicle, pack, mindmap, bars, calendar, table };

namespace VizModes {

inline constexpr std::array<VizMode, 9> all = {VizMode::treemap, VizMode::folders, VizMode::sunburst,
                                               VizMode::icicle,  VizMode::pack,    VizMode::mindmap,
                                               VizMode::bars,    VizMode::calendar, VizMode::table};

constexpr std::string_view rawValue(VizMode mode) {
    switch (mode) {
    case VizMode::treemap: return "treemap";
    case VizMode::folders: return "folders";
    case VizMode::sunburst: return "sunburst";
    case VizMode::icicle: return "icicle";
    case VizMode::pack: return "pack";
    case VizMode::mindmap: return "mindmap";
    case VizMode::bars: return "bars";
    case VizMode::calendar: return "calendar";
    case VizMode::table: return "table";
    }
    return "treemap";
}

// The display title, shared by the View menu and the window's selector.
constexpr std::string_view title(VizMode mode) {
    switch (mode) {
    case VizMode::treemap: return "Treemap";
    case VizMode::folders: return "Folders";
    case VizMode::sunburst: return "Sunburst";
    case VizMode::icicle: return "Flame";
    case VizMode::pack: return "Bubbles";
    case VizMode::mindmap: return "Mind Map";
    case VizMode::bars: return "Top Sizes";
    case VizMode::calendar: return "Age Map";
    case VizMode::table: return "Table";
    }
    return "Treemap";
}

// The symbol name the views resolve to an icon glyph.
constexpr std::string_view symbol(VizMode mode) {
    switch (mode) {
    case VizMode::treemap: return "square.grid.2x2.fill";
    case VizMode::folders: return "folder.fill";
    case VizMode::sunburst: return "circle.circle.fill";
    case VizMode::icicle: return "chart.bar.doc.horizontal.fill";
    case VizMode::pack: return "circle.hexagongrid.fill";
    case VizMode::mindmap: return "point.3.connected.trianglepath.dotted";
    case VizMode::bars: return "chart.bar.fill";
    case VizMode::calendar: return "calendar";
    case VizMode::table: return "list.bullet.rectangle";
    }
    return "square.grid.2x2.fill";
}

// Exact, case-sensitive match of a raw value; anything else gives none.
constexpr std::optional<VizMode> fromRaw(std::string_view raw) {
    for (VizMode mode : all)
        if (rawValue(mode) == raw) return mode;
    return std::nullopt;
}

} // namespace VizModes

} // namespace tallymere
