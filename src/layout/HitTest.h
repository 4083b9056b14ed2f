#pragma once
#include "core/FileNode.h"
#include "layout/Geometry.h"
#include "layout/LayoutRecords.h"

#include <span>

namespace tallymere::HitTest {

// The functions the canvases hand to their pointer handling: the node drawn at a point of the canvas
// the records were laid out for, or null. They scan the flat record arrays, so they are cheap enough
// for every pointer movement. An empty array hits nothing.

// Treemap and icicle: the last tile in array order whose rectangle holds the point, the left and top
// edges included and the right and bottom edges excluded. In pre-order that is the deepest tile, and
// the start node's tile counts.
const FileNode* tileAt(std::span<const LayoutTile> tiles, Point point);

// Sunburst around `center`: the last arc of depth 1 or more (the central disc never hits) whose ring
// holds the point, both radii and both angles included; an arc may cross twelve o'clock. On an edge
// shared by two siblings the later one wins.
const FileNode* arcAt(std::span<const LayoutArc> arcs, Point center, Point point);

// Circle pack: among the circles of depth 1 or more holding the point (rim included), the deepest;
// among equal depths the first in array order. The start node's circle never hits.
const FileNode* circleAt(std::span<const LayoutCircle> circles, Point point);

// Mind map: the deepest disc within `slop` of the point (rim grown by `slop`); among equally deep
// ones the first in layout order.
const FileNode* graphNodeAt(const GraphLayout& graph, Point point, double slop = 5);

} // namespace tallymere::HitTest
