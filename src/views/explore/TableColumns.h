#pragma once
#include "views/explore/TableRows.h"

#include <array>

namespace tallymere::TableColumns {

// The horizontal places of the table's cells, shared by the header and the rows so that titles and
// values line up: the row inset, then Name (all the width the others leave), Size, Items, Kind and
// Modified, each followed by a gap, then the slot of the queue toggle.
inline constexpr double inset = 14;
inline constexpr double gap = 8;
inline constexpr double toggleWidth = 34;
inline constexpr std::array<double, 5> fixedWidths = {0, 92, 78, 104, 128}; // Name is flexible

struct Span {
    double left = 0;
    double width = 0;
    double right() const { return left + width; }
};

// Spans of the five columns in header order, then the toggle slot, for a row `width` wide.
inline std::array<Span, 6> spans(double width) {
    std::array<Span, 6> out{};
    double right = width - inset;
    out[5] = {right - toggleWidth, toggleWidth};
    right -= toggleWidth;
    for (int i = 4; i >= 1; --i) {
        right -= gap;
        out[static_cast<std::size_t>(i)] = {right - fixedWidths[static_cast<std::size_t>(i)],
                                            fixedWidths[static_cast<std::size_t>(i)]};
        right -= fixedWidths[static_cast<std::size_t>(i)];
    }
    right -= gap;
    out[0] = {inset, right > inset ? right - inset : 0};
    return out;
}

// Values and titles of Size and Items sit at the trailing edge of their cells, the others leading.
inline bool isTrailing(TableColumn column) { return column == TableColumn::size || column == TableColumn::items; }

} // namespace tallymere::TableColumns
