#include "views/explore/folders/CardGrid.h"

#include <algorithm>
#include <cmath>

namespace tallymere {

int CardGrid::columnCount(double available) const {
    return std::max(1, static_cast<int>(std::floor((available + spacing) / (minimum + spacing))));
}

double CardGrid::columnWidth(double available) const {
    const int n = columnCount(available);
    const double width = (available - spacing * (n - 1)) / n;
    // A width narrower than one minimum column still gets the one column, as narrow as the room.
    return std::min(maximum, std::max(width, 0.0));
}

std::vector<QRectF> CardGrid::cells(int count, double left, double top, double available, double cardHeight) const {
    std::vector<QRectF> rects;
    if (count <= 0) return rects;
    rects.reserve(static_cast<std::size_t>(count));
    const int n = columnCount(available);
    const double width = columnWidth(available);
    const double block = n * width + (n - 1) * spacing;
    const double start = left + std::max(0.0, (available - block) / 2);
    for (int i = 0; i < count; ++i) {
        const int row = i / n, column = i % n;
        rects.emplace_back(start + column * (width + spacing), top + row * (cardHeight + spacing), width, cardHeight);
    }
    return rects;
}

double CardGrid::height(int count, double available, double cardHeight) const {
    if (count <= 0) return 0;
    const int rows = (count + columnCount(available) - 1) / columnCount(available);
    return rows * cardHeight + (rows - 1) * spacing;
}

} // namespace tallymere
