#include "views/explore/folders/FolderShape.h"

#include <algorithm>

namespace tallymere {

QPainterPath FolderShape::path(const QRectF& rect) const {
    const QRectF r = rect.adjusted(insetAmount, insetAmount, -insetAmount, -insetAmount);
    QPainterPath path;
    if (r.width() <= 40 || tabHeight + 20 >= r.height()) {
        path.addRoundedRect(r, radius, radius);
        return path;
    }
    const double minX = r.left(), maxX = r.right(), minY = r.top(), maxY = r.bottom();
    const double rr = std::min(r.height() / 5, radius);
    // The second clamp wins when both apply: a narrow folder keeps room right of the tab.
    const double tab = std::min(std::max(tabWidthRatio * r.width(), 3 * rr + 16), r.width() - rr - 32);
    const double top = minY + tabHeight;

    path.moveTo(minX, maxY - rr);
    path.lineTo(minX, minY + rr);
    path.quadTo(minX, minY, minX + rr, minY);
    path.lineTo(minX + tab - 6.4, minY);
    path.cubicTo(minX + tab + 5.6, minY, minX + tab + 3.2, top, minX + tab + 16, top);
    path.lineTo(maxX - rr, top);
    path.quadTo(maxX, top, maxX, top + rr);
    path.lineTo(maxX, maxY - rr);
    path.quadTo(maxX, maxY, maxX - rr, maxY);
    path.lineTo(minX + rr, maxY);
    path.quadTo(minX, maxY, minX, maxY - rr);
    path.closeSubpath();
    return path;
}

FolderShape FolderShape::inset(double amount) const {
    FolderShape copy = *this;
    copy.insetAmount += amount;
    return copy;
}

} // namespace tallymere
