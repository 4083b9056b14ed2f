#pragma once
#include <QPainterPath>
#include <QRectF>

namespace tallymere {

// The outline of a paper folder with its tab on the upper left. In a rectangle too small for a tab
// (width 40 or less, or height not above tabHeight + 20) it is a plain rounded rectangle with the
// unclamped radius. Coordinates grow downwards.
struct FolderShape {
    double tabHeight = 15;      // how far the body's top edge lies below the top of the tab
    double tabWidthRatio = 0.46; // the tab's share of the width, before clamping
    double radius = 14;         // the corner radius asked for; the folder clamps it to height / 5
    double insetAmount = 0;     // drawn this far inside the given rectangle on every side

    // One closed outline: four rounded corners as quadratic curves, the tab's slope a cubic curve
    // meeting both horizontal edges tangentially.
    QPainterPath path(const QRectF& rect) const;

    // A copy drawn `amount` further inside; a border stroked on the inset shape by half its width
    // stays wholly inside the silhouette.
    FolderShape inset(double amount) const;

    friend bool operator==(const FolderShape&, const FolderShape&) = default;
};

} // namespace tallymere
