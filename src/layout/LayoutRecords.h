#pragma once
#include "core/FileNode.h"
#include "layout/Geometry.h"

#include <span>
#include <vector>

namespace tallymere {

// The records a layout engine hands to a canvas. Every layout returns a flat array in depth-first
// pre-order: the start node's record first, each record followed by its whole subtree before its
// next sibling, siblings largest first. A node has at most one record in one array. `depth` counts
// levels of the drawing (0 for the start node), not FileNode::depth.
//
// `tint` is the branch number: 0 for the start node, for a depth-1 record the position of its node
// in the layout's own largest-first order of the start node's children, and for deeper records the
// number of their depth-1 ancestor. The numbers need not be consecutive.
//
// Records point into the tree they were laid out from; whoever holds them keeps that tree alive.

// One rectangle of the treemap or of the icicle.
struct LayoutTile {
    const FileNode* node = nullptr;
    Rect rect;
    int depth = 0;
    // Drawn as a container: in the treemap, the tile was subdivided; in the icicle, the node is not a
    // package and has a non-empty child list.
    bool hasChildren = false;
    // Label band the treemap keeps at the top of a subdivided tile below the start node; 0 otherwise.
    double headerHeight = 0;
    int tint = 0;
    friend bool operator==(const LayoutTile&, const LayoutTile&) = default;
};

// One ring segment of the sunburst. Angles in radians, 0 at twelve o'clock, growing clockwise;
// endAngle > startAngle. The start node is a full disc (0 to 2π, inner radius 0).
struct LayoutArc {
    const FileNode* node = nullptr;
    double startAngle = 0;
    double endAngle = 0;
    double innerRadius = 0;
    double outerRadius = 0;
    int depth = 0;
    int tint = 0;
    friend bool operator==(const LayoutArc&, const LayoutArc&) = default;
};

// One circle of the circle pack.
struct LayoutCircle {
    const FileNode* node = nullptr;
    Point center;
    double radius = 0;
    int depth = 0;
    // Drawn as a container, with its children packed inside.
    bool hasChildren = false;
    int tint = 0;
    friend bool operator==(const LayoutCircle&, const LayoutCircle&) = default;
};

// One disc of the mind map. `angle` is the direction from the map's centre in radians, 0 along +x,
// growing clockwise on screen; 0 for the centre node.
struct GraphNode {
    const FileNode* node = nullptr;
    Point position;
    double radius = 0;
    int depth = 0;
    double angle = 0;
    // No discs of its own below it.
    bool isLeafCluster = false;
    int tint = 0;
    friend bool operator==(const GraphNode&, const GraphNode&) = default;
};

// One link of the mind map, from a parent disc to a child disc. `depth` is the parent's, `tint` the
// child's.
struct GraphEdge {
    Point from;
    Point to;
    double fromRadius = 0;
    double toRadius = 0;
    int depth = 0;
    int tint = 0;
    friend bool operator==(const GraphEdge&, const GraphEdge&) = default;
};

// The mind map: nodes in pre-order, the centre first; edge k leads to node k + 1.
struct GraphLayout {
    std::vector<GraphNode> nodes;
    std::vector<GraphEdge> edges;
    friend bool operator==(const GraphLayout&, const GraphLayout&) = default;
};

// The first record in array order that depicts `node` (by identity), or null. A node cut off by
// size, depth or a cap has no record, and so no highlight.
template <class Record>
const Record* recordFor(std::span<const Record> records, const FileNode* node) {
    if (!node) return nullptr;
    for (const Record& record : records)
        if (record.node == node) return &record;
    return nullptr;
}

template <class Record>
const Record* recordFor(const std::vector<Record>& records, const FileNode* node) {
    return recordFor(std::span<const Record>(records), node);
}

} // namespace tallymere
