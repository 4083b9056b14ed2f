#pragma once

#include <algorithm>
#include <cmath>

namespace tallymere {

// Canvas coordinates in logical pixels: origin at the top-left corner, x to the right, y downwards.
struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// An axis-aligned rectangle given by its top-left corner and its extent. A rectangle built by the
// layouts never has a negative width or height.
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    double midX() const { return x + width * 0.5; }
    double midY() const { return y + height * 0.5; }

    // Half-open: the left and top edges belong to the rectangle, the right and bottom edges do not,
    // so a point on the edge shared by two neighbours belongs to exactly one of them.
    bool contains(Point p) const { return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY(); }

    // The same area with a non-negative width and height.
    Rect standardized() const {
        Rect r = *this;
        if (r.width < 0) {
            r.x += r.width;
            r.width = -r.width;
        }
        if (r.height < 0) {
            r.y += r.height;
            r.height = -r.height;
        }
        return r;
    }

    bool isFinite() const {
        return std::isfinite(x) && std::isfinite(y) && std::isfinite(width) && std::isfinite(height);
    }

    friend bool operator==(const Rect&, const Rect&) = default;
};

// Radial angles run in radians from twelve o'clock, growing clockwise on screen: the point at angle
// `angle` and distance `radius` from `center`.
inline Point pointAtAngle(Point center, double radius, double angle) {
    return {center.x + radius * std::sin(angle), center.y - radius * std::cos(angle)};
}

} // namespace tallymere
