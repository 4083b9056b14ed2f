#pragma once
#include "core/FileNode.h"
#include "layout/Geometry.h"
#include "layout/LayoutRecords.h"

#include <vector>

namespace tallymere::TreemapLayout {

struct Options {
    int maxDepth = 7;           // a tile at this depth is always a leaf; shallower tiles may be parents
    double minTile = 3.0;       // a rectangle narrower or lower than this gets no tile
    double padding = 3.0;       // inset of the start node's content area, shrinking with depth
    double headerHeight = 16.0; // label band of a parent below the start node, before the 22 % cap
    double minParent = 24.0;    // a tile can be a parent only when both its sides exceed this
    int maxTiles = 22000;       // most tiles one layout emits
    bool useAllocated = true;   // size key: allocated bytes when true, logical size otherwise
    friend bool operator==(const Options&, const Options&) = default;
};

// A nested squarified treemap of the subtree under `root`, filling `area`: one tile per drawn node,
// in pre-order, siblings largest first, at most `maxTiles` of them. Nothing inside a package is laid
// out; children of size 0 get no tile. A rectangle 1 or less wide or high, or not finite,
// gives an empty array. Works without recursion, so any depth of tree is safe.
std::vector<LayoutTile> layout(const FileNode& root, Rect area, const Options& options);

} // namespace tallymere::TreemapLayout
