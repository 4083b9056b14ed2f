#pragma once
#include "views/explore/table/TableRows.h"

#include <algorithm>
#include <array>

namespace tallymere::TableColumns {

// The horizontal places of the table's cells, shared by the header and the rows so that titles and
// values line up: the row inset, then Name (all the width the others leave), Size, Items, Kind and
// Modified, each followed by a gap, then the slot of the queue toggle.
inline constexpr double inset = 14;
inline constexpr double gap = 8;
inline constexpr double toggleWidth = 34;
inline constexpr std::array<double, 5> fixedWidths = {0, 92, 78, 104, 128}; // Name is flexible
// In a narrow table the fixed columns give up width, down to these, before Name goes below its
// least: each still holds its longest usual text ("1000.0 GB", "9,999,999", "Cache & Log", "59
// seconds ago") and its title with the sort chevron, so a folder of millions of files shows its
// count whole. Name never goes below nameLeast.
inline constexpr double nameLeast = 120;
inline constexpr std::array<double, 5> leastWidths = {nameLeast, 56, 54, 62, 78};

struct Span {
    double left = 0;
    double width = 0;
    double right() const { return left + width; }
};

// The narrowest row that keeps every column at its least width: the window's smallest workspace
// column, less a scroll bar, is at least this wide.
inline constexpr double leastRowWidth() {
    double total = 2 * inset + toggleWidth + 5 * gap;
    for (double w : leastWidths) total += w;
    return total;
}

// Spans of the five columns in header order, then the toggle slot, for a row `width` wide. Name
// takes what the others leave; when that is less than nameLeast, the fixed columns narrow in
// proportion to what each can give, down to their least widths. A row narrower than
// leastRowWidth() keeps the least widths and is cut at its trailing edge.
inline std::array<Span, 6> spans(double width) {
    double preferred = 0, slack = 0;
    for (std::size_t i = 1; i < 5; ++i) {
        preferred += fixedWidths[i];
        slack += fixedWidths[i] - leastWidths[i];
    }
    const double nameRoom = width - 2 * inset - toggleWidth - 5 * gap - preferred;
    // 0 keeps the preferred widths, 1 the least ones.
    const double give = nameRoom >= nameLeast ? 0 : std::min((nameLeast - nameRoom) / slack, 1.0);
    std::array<double, 5> widths{};
    for (std::size_t i = 1; i < 5; ++i) widths[i] = fixedWidths[i] - give * (fixedWidths[i] - leastWidths[i]);
    const double fixed = widths[1] + widths[2] + widths[3] + widths[4];
    widths[0] = std::max(width - 2 * inset - toggleWidth - 5 * gap - fixed, nameLeast);

    std::array<Span, 6> out{};
    double left = inset;
    for (std::size_t i = 0; i < 5; ++i) {
        out[i] = {left, widths[i]};
        left += widths[i] + gap;
    }
    out[5] = {left, toggleWidth};
    return out;
}

// Values and titles of Size and Items sit at the trailing edge of their cells, the others leading.
inline bool isTrailing(TableColumn column) { return column == TableColumn::size || column == TableColumn::items; }

} // namespace tallymere::TableColumns
