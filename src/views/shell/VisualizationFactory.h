#pragma once
#include "state/VizMode.h"

class QWidget;

namespace tallymere {

class AppState;

// The one place that makes the view of a visualisation mode, fresh, owned by `parent`. A mode whose
// view the program does not have yet gets an empty themed area.
QWidget* makeVisualization(VizMode mode, AppState& state, QWidget* parent);

} // namespace tallymere
