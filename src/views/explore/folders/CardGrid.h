#pragma once
#include <QRectF>

#include <vector>

namespace tallymere {

// An adaptive grid of equal cards: as many columns as fit at the minimum width, each as wide as the
// room allows up to the maximum, the block of columns centred in the width offered.
struct CardGrid {
    double minimum = 0;
    double maximum = 0;
    double spacing = 0; // between columns and between rows

    int columnCount(double available) const;
    double columnWidth(double available) const;

    // The rectangles of `count` cards of height `cardHeight`, row by row, from (`left`, `top`) in
    // a width of `available`.
    std::vector<QRectF> cells(int count, double left, double top, double available, double cardHeight) const;

    // The height `count` cards take; 0 for none.
    double height(int count, double available, double cardHeight) const;
};

} // namespace tallymere
