#pragma once
#include "state/WorkspaceTab.h"

class QWidget;

namespace tallymere {

class AppState;

// The view of a tool tab (duplicates, applications, monitor, snapshots), made afresh each time the
// workspace shows the tab; the workspace deletes it when the tab goes. The explore tab has no tool
// view: asking for it gives an empty pane.
QWidget* makeToolTab(WorkspaceTab tab, AppState& state, QWidget* parent);

} // namespace tallymere
