#pragma once
#include "core/FileNode.h"
#include "layout/Geometry.h"
#include "layout/LayoutRecords.h"

#include <vector>

namespace tallymere::MindMapLayout {

struct Options {
    int maxDepth = 3;                   // rings below the centre; deeper nodes are not expanded
    std::vector<int> branching{8, 6, 5, 4}; // most children kept for a node, by the node's depth;
                                        // depths past the end use the last entry
    double minShare = 0.012;            // smallest fraction of its siblings' total a child needs
    double centerRadius = 62;           // inner boundary of the first ring; the centre disc is 0.62 of it
    double minNodeRadius = 7;           // bounds of a disc's radius before the depth fade
    double maxNodeRadius = 30;
    bool useAllocated = true;           // size key: allocated bytes when true, logical size otherwise
    friend bool operator==(const Options&, const Options&) = default;
};

// A radial mind map of the subtree under `root`, centred in `area`: the start node as a disc in the
// middle, its largest children on a ring around it, theirs on the next ring. Angular spans follow
// leaf counts, disc radii the share of the centre node's bytes. Nodes in pre-order with the centre
// first; edge k leads to node k + 1. Empty when the area is too small for one ring or not finite.
// An empty `branching` keeps no children. Works without recursion.
GraphLayout layout(const FileNode& root, Rect area, const Options& options);

} // namespace tallymere::MindMapLayout
