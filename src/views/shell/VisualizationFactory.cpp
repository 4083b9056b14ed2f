#include "views/shell/VisualizationFactory.h"

#include "state/AppState.h"
#include "views/components/ThemedWidget.h"

namespace tallymere {

QWidget* makeVisualization(VizMode mode, AppState& state, QWidget* parent) {
    (void)state;
    switch (mode) {
    case VizMode::treemap:
    case VizMode::folders:
    case VizMode::sunburst:
    case VizMode::icicle:
    case VizMode::pack:
    case VizMode::mindmap:
    case VizMode::bars:
    case VizMode::calendar:
    case VizMode::table: break;
    }
    return new ThemedWidget(parent);
}

} // namespace tallymere
