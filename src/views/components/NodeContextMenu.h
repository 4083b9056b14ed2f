#pragma once
#include "state/AppState.h"

#include <QString>

class QMenu;
class QWidget;

namespace tallymere {

// The one context menu of a file-tree node, used by every canvas, list and row: "Open", "Reveal in
// Finder", "Quick Look", a divider, "Focus Here" (only for a folder or package with children),
// "Copy Path", a divider, then "Add to Cleanup" or "Remove from Cleanup" as the queue stands when
// the menu is built. Every action holds the node (and so its whole tree) until the menu is gone,
// and acts through the store and its desktop.
namespace NodeContextMenu {

inline const QString openTitle = QStringLiteral("Open");
inline const QString revealTitle = QStringLiteral("Reveal in Finder");
inline const QString quickLookTitle = QStringLiteral("Quick Look");
inline const QString focusTitle = QStringLiteral("Focus Here");
inline const QString copyTitle = QStringLiteral("Copy Path");
inline const QString addTitle = QStringLiteral("Add to Cleanup");
inline const QString removeTitle = QStringLiteral("Remove from Cleanup");

// Appends the items for `node` to `menu`; a null node adds nothing.
void populate(QMenu& menu, AppState& state, const AppState::NodePtr& node);

// A new menu holding the items, owned by `parent` and deleted when it closes; null for a null node.
QMenu* create(AppState& state, const AppState::NodePtr& node, QWidget* parent);

// The node the canvases build their menu for: the hovered node, else the selection; null for none.
AppState::NodePtr menuTarget(const AppState& state);

// Copies the node's path as text. A path that is not valid UTF-8 is copied with U+FFFD in place of
// the bytes it cannot show, and a banner says that the copied text is not the exact path.
void copyPath(AppState& state, const FileNode& node);

} // namespace NodeContextMenu

} // namespace tallymere
