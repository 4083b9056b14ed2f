#include "views/shell/VisualizationFactory.h"

#include "state/AppState.h"
#include "views/components/ThemedWidget.h"
#include "views/explore/bars/BarsView.h"
#include "views/explore/agemap/CalendarView.h"
#include "views/explore/folders/FoldersView.h"
#include "views/explore/table/TableView.h"
#include "views/viz/IcicleView.h"
#include "views/viz/MindMapView.h"
#include "views/viz/PackView.h"
#include "views/viz/SunburstView.h"
#include "views/viz/TreemapView.h"

namespace tallymere {

QWidget* makeVisualization(VizMode mode, AppState& state, QWidget* parent) {
    switch (mode) {
    case VizMode::treemap: return new TreemapView(state, parent);
    case VizMode::folders: return new FoldersView(state, parent);
    case VizMode::sunburst: return new SunburstView(state, parent);
    case VizMode::table: return new TableView(state, parent);
    case VizMode::icicle: return new IcicleView(state, parent);
    case VizMode::pack: return new PackView(state, parent);
    case VizMode::mindmap: return new MindMapView(state, parent);
    case VizMode::bars: return new BarsView(state, parent);
    case VizMode::calendar: return new CalendarView(state, parent);
    }
    return new ThemedWidget(parent);
}

} // namespace tallymere
