#pragma once
#include "services/InstalledApp.h"
#include "style/Theme.h"

#include <QIcon>
#include <QRectF>

class QPainter;

namespace tallymere::AppIcon {

// The launcher's icon from the desktop's icon theme by its icon name (or the image file an
// absolute icon path names); a null icon when the theme has none.
QIcon of(const InstalledApp& app);

// Draws the icon stretched into `box`; without one, the generic app symbol in textSecondary.
void paint(QPainter& painter, const QRectF& box, const InstalledApp& app, const Theme& theme);

} // namespace tallymere::AppIcon
