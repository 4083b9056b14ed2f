#pragma once
#include "services/InstalledApp.h"
#include "style/Theme.h"

#include <QIcon>
#include <QRectF>

class QPainter;
class QWidget;

namespace tallymere::AppIcon {

// The launcher's icon from the desktop's icon theme by its icon name, or from the image file an
// absolute icon path names. Such a file is looked up and decoded off the window's thread (it may
// lie on a mount that never answers; a picture may take minutes), no larger than any row shows
// it: until it has been, the icon is null, and `repaint`, when given, is repainted once it has. A
// file that holds no picture, or takes longer than the decoder's limit, gives a null icon until
// it is looked at again (lookAgain). A null icon also when the theme has none.
QIcon of(const InstalledApp& app, QWidget* repaint = nullptr);

// Whether the icon's file is still being looked up or decoded.
bool isDecoding(const InstalledApp& app);

// Every icon file is looked at again when next asked for, for a list read anew: a file changed
// or replaced since is decoded afresh, its former icon shown until then.
void lookAgain();

// Draws the icon stretched into `box`; without one (also while it is decoded), the generic app
// symbol in textSecondary. `repaint` is the widget painted, repainted when the icon arrives.
void paint(QPainter& painter, const QRectF& box, const InstalledApp& app, const Theme& theme, QWidget* repaint);

} // namespace tallymere::AppIcon
