#pragma once
#include "layout/LayoutRecords.h"
#include "style/Theme.h"
#include "views/components/canvas/KeptStroke.h"
#include "views/viz/VizText.h"

#include <QColor>
#include <QPen>

#include <array>
#include <optional>
#include <span>
#include <vector>

class QPainter;

namespace tallymere {

// The drawing of the circle pack, in the coordinates the circles were laid out in.
namespace PackCanvas {

// Most labels one drawing writes.
inline constexpr int maxLabels = 120;

// The bubbles in array order (parents first, so children paint over them), then, with
// `showLabels`, the labels of the larger bubbles, first come first served where they would
// overlap. Returns the labels drawn, in drawing order. With a `backdrop`, the whole device is
// first laid with that colour (by each band of rows for itself, where the bubbles are written
// straight into the pixels), for a picture that holds nothing yet.
std::vector<CanvasLabel> paint(QPainter& painter, std::span<const LayoutCircle> circles, const Theme& theme, bool showLabels,
          ColorMode colorMode, std::optional<QColor> backdrop = std::nullopt);

// The selection ring and, over it, the hover ring of the highlight layer. Null draws nothing.
// `hoverTinted` leaves out the hover fill, which the caller laid on the picture already. Where the
// caller keeps the rings (`rings`: the selection's, then the hover's), a ring that stays the same is
// laid from its kept pixels.
void paintHighlight(QPainter& painter, const LayoutCircle* hovered, const LayoutCircle* selected,
                    const Theme& theme, bool hoverTinted = false, std::array<KeptStroke, 2>* rings = nullptr);

// The hover fill: ink at 0.12 over the bubble.
QColor hoverFill(const Theme& theme);
// The hover ring's pen.
QPen hoverRing(const Theme& theme);
// The width of the selection ring's pen.
constexpr double selectionPenWidth = 2;

} // namespace PackCanvas
} // namespace tallymere
