#pragma once
#include "layout/LayoutRecords.h"
#include "style/Theme.h"
#include "views/viz/VizText.h"

#include <QRectF>

#include <vector>

class QPainter;

namespace tallymere {

// The drawing of the mind map, in the coordinates the map was laid out in.
namespace MindMapCanvas {

// Edges, then discs in layout order (a parent before its subtree), then, with `showLabels`, one
// label per disc beside it, first come first served where label boxes would overlap; the centre's
// label is always drawn. Subtitles give each node's size in the size mode. Returns the labels
// drawn, by their titles, the centre's first.
std::vector<CanvasLabel> paint(QPainter& painter, const GraphLayout& graph, const Theme& theme, bool showLabels,
                          bool useAllocated, ColorMode colorMode);

// The selection ring and the hover ring, a little outside the disc's rim. Null draws nothing.
void paintHighlight(QPainter& painter, const GraphNode* hovered, const GraphNode* selected, const Theme& theme);

} // namespace MindMapCanvas
} // namespace tallymere
