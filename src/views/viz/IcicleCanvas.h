#pragma once
#include "layout/LayoutRecords.h"
#include "style/Theme.h"
#include "views/viz/VizText.h"

#include <span>
#include <vector>

class QPainter;

namespace tallymere {

// The drawing of the icicle, in the coordinates the tiles were laid out in.
namespace IcicleCanvas {

// Most label attempts one drawing makes.
inline constexpr int labelBudget = 220;

// Every bar wider than 0.6 in array order, light at the top and plain at the bottom, and, with
// `showLabels`, the names of bars wider than 52 where the whole name fits (never shortened).
// Returns the labels drawn, in drawing order.
std::vector<CanvasLabel> paint(QPainter& painter, std::span<const LayoutTile> tiles, const Theme& theme,
                               bool showLabels, ColorMode colorMode);

} // namespace IcicleCanvas
} // namespace tallymere
