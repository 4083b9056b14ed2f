#pragma once
#include <limits>
#include "layout/LayoutRecords.h"
#include "style/Theme.h"
#include "views/components/canvas/KeptStroke.h"
#include "views/viz/VizText.h"

#include <QColor>
#include <QFont>
#include <QPen>
#include <QRectF>
#include <QString>

#include <array>
#include <vector>

class QPainter;

namespace tallymere {

// The drawing of the mind map, in the coordinates the map was laid out in.
namespace MindMapCanvas {

// One text of a placed label: where it is written, aligned how, in which font and ink.
struct LabelText {
    QString text;
    QRectF rect;
    int flags = 0;
    QFont font;
    QColor ink;
};

// A label placed beside its disc: the box it claims against the others and its two texts.
struct PlacedLabel {
    CanvasLabel label;
    LabelText title, subtitle;
    bool centre = false; // written inside the centre's disc
};

// With `showLabels`, one label per disc beside it, first come first served where label boxes
// would overlap; the centre's label is always placed. Subtitles give each node's size in the size
// mode. The centre's label comes first. Placing measures every text, so a picture drawn in parts
// places its labels once and hands the result to every part. A label that would run past a side of
// a canvas `width` wide ends in an ellipsis at the side instead, or is left out where not even a
// few letters and its size would fit.
std::vector<PlacedLabel> placeLabels(const GraphLayout& graph, const Theme& theme, bool showLabels, bool useAllocated,
                                     double width = std::numeric_limits<double>::infinity());

// The shapes of the map that reach rows `top` to `bottom` (the layout's coordinates) of a painter
// clipped to them: edges, then discs in layout order (a parent before its subtree). Whatever cannot
// reach those rows is left out, so each band of a picture drawn in bands costs about its share; the
// pixels in the rows are those of the whole map's shapes.
void paintRows(QPainter& painter, const GraphLayout& graph, const Theme& theme, ColorMode colorMode, double top,
               double bottom);

// The placed labels, over the shapes.
void paintLabels(QPainter& painter, const std::vector<PlacedLabel>& labels);

// The whole map: paintRows() over every row, then the labels placeLabels() gives. Returns the
// labels drawn, by their titles, the centre's first.
std::vector<CanvasLabel> paint(QPainter& painter, const GraphLayout& graph, const Theme& theme, bool showLabels,
                          bool useAllocated, ColorMode colorMode,
                          double width = std::numeric_limits<double>::infinity());

// Where the texts of the labels beside the discs lay ink, each box grown by a point: the rings
// leave these clear. The centre's label, inside its disc, is left out.
std::vector<QRectF> labelInk(const std::vector<PlacedLabel>& labels);

// The ellipse and pen of the hover ring of `node`'s disc.
QRectF hoverRingRect(const GraphNode& node);
QPen hoverRingPen(const Theme& theme);

// The selection ring and the hover ring, a little outside the disc's rim. Null draws nothing.
// With `rings` (the selection's, then the hover's), a large ring is laid from the pixels kept there
// (see KeptStroke), the same as the painter's stroke. A ring passes behind the areas of `clear`
// (labelInk()), leaving them as they were.
void paintHighlight(QPainter& painter, const GraphNode* hovered, const GraphNode* selected, const Theme& theme,
                    std::array<KeptStroke, 2>* rings = nullptr, const std::vector<QRectF>& clear = {});

} // namespace MindMapCanvas
} // namespace tallymere
