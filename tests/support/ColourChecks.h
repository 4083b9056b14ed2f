#pragma once
// Colour checks for tests that look at the pixels a view painted: colours compared channel by
// channel with a tolerance, since a blend drawn into an 8-bit image can round differently by a step.
#include "style/Theme.h"

#include <QColor>
#include <QImage>
#include <QRect>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace tallymere::test {

// The largest difference of the two colours' red, green and blue.
inline int distance(const QColor& a, const QColor& b) {
    const QColor x = a.toRgb(), y = b.toRgb();
    return std::max({std::abs(x.red() - y.red()), std::abs(x.green() - y.green()), std::abs(x.blue() - y.blue())});
}

// `top`, taken as opaque, at `opacity` over `below`, as a translucent fill shows.
inline QColor over(const QColor& top, double opacity, const QColor& below) {
    return ColorRules::mix(below, QColor(top.red(), top.green(), top.blue()), opacity);
}

// Whether a drawn colour is the expected one, within two steps a channel.
inline ::testing::AssertionResult looksLike(const QColor& drawn, const QColor& expected) {
    if (distance(drawn, expected) <= 2) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << drawn.toRgb().name().toStdString() << " is not "
                                         << expected.toRgb().name().toStdString();
}

// Whether any pixel of `area` in the image is within `tolerance` of `color`.
inline bool anyPixelNear(const QImage& image, const QRect& area, const QColor& color, int tolerance = 6) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.rect().contains(x, y) && distance(image.pixelColor(x, y), color) <= tolerance) return true;
    return false;
}

} // namespace tallymere::test
