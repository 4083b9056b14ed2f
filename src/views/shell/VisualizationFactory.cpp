#include "views/shell/VisualizationFactory.h"

#include "state/AppState.h"
#include "views/components/ThemedWidget.h"
#include "views/explore/FoldersView.h"
#include "views/explore/TableView.h"

namespace tallymere {

QWidget* makeVisualization(VizMode mode, AppState& state, QWidget* parent) {
    (void)state;
    switch (mode) {
    case VizMode::folders: return new FoldersView(state, parent);
    case VizMode::table: return new TableView(state, parent);
    case VizMode::treemap:
    case VizMode::sunburst:
    case VizMode::icicle:
    case VizMode::pack:
    case VizMode::mindmap:
    case VizMode::bars:
    case VizMode::calendar: break;
    }
    return new ThemedWidget(parent);
}

} // namespace tallymere
