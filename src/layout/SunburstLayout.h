#pragma once
#include "core/FileNode.h"
#include "layout/LayoutRecords.h"

#include <vector>

namespace tallymere::SunburstLayout {

struct Options {
    int maxDepth = 7;                   // number of rings outside the central disc
    double innerRadiusFraction = 0.17;  // radius of the central disc as a fraction of the outer radius
    double ringGap = 1.5;               // empty band between neighbouring rings
    double minSweep = 0.0016;           // a child with a smaller angle (radians) gets no arc
    bool useAllocated = true;           // size key: allocated bytes when true, logical size otherwise
    int maxArcs = 20000;                // arc count at which no further node starts its children
    friend bool operator==(const Options&, const Options&) = default;
};

// Concentric rings around a central disc for the subtree under `root`, `radius` being the outer
// radius: the central disc first, then every arc followed by its subtree's arcs, siblings largest
// first. Each child's sweep is its share of its parent's sweep; a child too narrow for an arc leaves
// an empty wedge. The cap is tested before a node starts its children, so the siblings of a running
// ring may take the count a little past `maxArcs`. A radius of 4 or less, or not finite, gives an
// empty array. Works without recursion.
std::vector<LayoutArc> layout(const FileNode& root, double radius, const Options& options);

} // namespace tallymere::SunburstLayout
