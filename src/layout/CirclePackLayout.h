#pragma once
#include "core/FileNode.h"
#include "layout/Geometry.h"
#include "layout/LayoutRecords.h"

#include <optional>
#include <span>
#include <vector>

namespace tallymere::CirclePackLayout {

struct Options {
    int maxDepth = 5;         // deepest depth that receives circles, the start node being 0
    double minRadius = 2.2;   // smallest radius emitted
    double padding = 2.5;     // margin between a parent's rim and its packed children
    bool useAllocated = true; // size key: allocated bytes when true, logical size otherwise
    int maxCircles = 12000;   // cap on the records; the start node is always emitted
    double minShare = 0.0015; // smallest share of the parent's bytes a child needs to be packed
    friend bool operator==(const Options&, const Options&) = default;
};

// Nested circles for the subtree under `root`: the start node fills the centre of `area`, each
// sibling group is packed front-chain style, enclosed by its smallest enclosing circle and scaled
// into its parent with the padding as margin. Circle areas follow bytes. Pre-order, siblings largest
// first. A smaller side of 24 or less, or a rectangle that is not finite, gives an empty array.
// The enclosing step shuffles with the system's random source; apart from rounding the result does
// not depend on it. Works without recursion.
std::vector<LayoutCircle> layout(const FileNode& root, Rect area, const Options& options);

// The packing steps, exposed for testing the geometry on its own.
struct Circle {
    double x = 0;
    double y = 0;
    double r = 0;
    friend bool operator==(const Circle&, const Circle&) = default;
};

// Places the circles, in order, so that no two overlap: each new circle touches two of the front
// chain. Only x and y change.
void packSiblings(std::span<Circle> circles);

// The smallest circle enclosing all of them; none for an empty group. `randomSeed` drives the
// shuffle of the incremental construction.
std::optional<Circle> enclose(std::span<const Circle> circles, unsigned long long randomSeed);

} // namespace tallymere::CirclePackLayout
