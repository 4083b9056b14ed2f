#pragma once
#include <QIcon>
#include <QString>

namespace tallymere::FileIcon {

// The desktop icon theme's picture of an item, looked up from its name alone: a folder gets the
// theme's "folder" icon, anything else the icon of the MIME type its name suggests (then that
// type's generic icon). The item is never opened or examined, so a FIFO or a slow network file
// costs nothing. A null icon when the theme has no picture (as offscreen, with no theme at all):
// callers draw their own symbol instead.
QIcon themed(const QString& displayName, bool isFolder);

// The MIME type's description of a name ("PNG image"), or the type's name when it has none.
QString kind(const QString& displayName);

} // namespace tallymere::FileIcon
