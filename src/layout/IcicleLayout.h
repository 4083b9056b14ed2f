#pragma once
#include "core/FileNode.h"
#include "layout/Geometry.h"
#include "layout/LayoutRecords.h"

#include <vector>

namespace tallymere::IcicleLayout {

struct Options {
    int maxDepth = 10;        // deepest row emitted, the start node's row being 0
    double rowHeight = 27;    // distance from one row's top to the next
    double gap = 1.0;         // empty band at the bottom of each row
    double minWidth = 0.7;    // a node narrower than this gets no tile, nor does its subtree
    bool useAllocated = true; // size key: allocated bytes when true, logical size otherwise
    int maxTiles = 40000;     // most tiles one layout emits
    friend bool operator==(const Options&, const Options&) = default;
};

// Rows of tiles for the subtree under `root`: the start node spans the whole width of `area` in row 0
// and each node's children lie side by side in the row below it, as wide as their share of its size,
// largest first. Pre-order, at most `maxTiles` tiles. A row that would start at or below the bottom
// of `area` is not emitted and the last row is cut to the space left. An area not wider than 1, or
// not finite, gives an empty array. Works without recursion.
std::vector<LayoutTile> layout(const FileNode& root, Rect area, const Options& options);

} // namespace tallymere::IcicleLayout
