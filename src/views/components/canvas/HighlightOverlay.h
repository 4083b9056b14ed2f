#pragma once
#include "style/Theme.h"

#include <QColor>
#include <QRectF>

#include <optional>
#include <vector>

class QPainter;

namespace tallymere {

class OutlineStroke;

// The marks the rectangle canvases paint over their cached picture: the queued tiles, the selected
// tile and the hovered tile, in that order so the hovered outline lies on top. Painting it never
// touches the picture below, so pointer movement repaints only these marks.
struct HighlightOverlay {
    std::optional<QRectF> hovered; // none draws no hover mark
    std::optional<QRectF> selected;
    std::vector<QRectF> queued;
    Theme theme;
    // The hover fill is already on the canvas beneath (a canvas that caches it): only its outline is
    // drawn.
    bool hoverTinted = false;
    // Where the hover outline's pieces are kept from paint to paint (the canvas's); null strokes it
    // afresh.
    OutlineStroke* hoverOutline = nullptr;

    // Queued: grown by 0.5, radius 4, danger at 0.28 over a 1.4 danger outline. Selected: grown by 1,
    // radius 5, a 2-wide ink outline. Hovered: grown by 0.5, radius 4, ink at 0.1 under a 1.4 ink
    // outline at 0.75.
    void paint(QPainter& painter) const;

    // The ink of hover and selection marks: near-black on light themes, white on dark ones.
    static QColor ink(const Theme& theme);
};

} // namespace tallymere
