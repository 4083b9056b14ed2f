#pragma once
#include <QIcon>

namespace tallymere::AppIcon {

// The application's icon (the file the install puts into the desktop's icon theme), drawn at the
// sizes window managers and task switchers ask for. Null only when the drawing is missing.
QIcon make();

} // namespace tallymere::AppIcon
