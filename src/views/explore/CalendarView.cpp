#include "views/explore/CalendarView.h"

#include "layout/MonthCalendar.h"
#include "views/explore/AgeBucketPanel.h"
#include "views/explore/HeatMapGrid.h"
#include "views/explore/HeatMapPanel.h"
#include "views/explore/StalePanel.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tallymere {

namespace {
double systemClock() { return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0; }
} // namespace

CalendarView::CalendarView(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_clock(systemClock), m_bucketPanel(new AgeBucketPanel),
      m_heatMapPanel(new HeatMapPanel), m_stalePanel(new StalePanel(state)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(outerPadding, outerPadding, outerPadding, outerPadding);
    row->setSpacing(columnSpacing);
    auto* column = new QVBoxLayout;
    column->setSpacing(panelSpacing);
    column->addWidget(m_bucketPanel);
    column->addWidget(m_heatMapPanel, 1);
    row->addLayout(column, 1);
    row->addWidget(m_stalePanel);

    for (auto signal : {&AppState::focusChanged, &AppState::displayRootChanged, &AppState::useAllocatedSizeChanged})
        connect(&m_state, signal, this, &CalendarView::rebuild);
    rebuild();
}

void CalendarView::setClock(std::function<double()> clock) {
    m_clock = clock ? std::move(clock) : systemClock;
    rebuild();
}

void CalendarView::rebuild() {
    ++m_rebuilds;
    AppState::NodePtr shown = m_state.focus() ? m_state.focus() : m_state.displayRoot();
    if (!shown) {
        // Nothing to show: every list empties; the busiest month keeps its value.
        m_buckets.clear();
        m_stale.clear();
        m_heatMapPanel->grid()->clear();
    } else {
        const AgeMapModel::AgeMap map =
            AgeMapModel::build(*shown, {m_state.useAllocatedSize(), m_clock()}, MonthCalendar::local());
        m_buckets.assign(map.buckets.begin(), map.buckets.end());
        m_stale = map.stale;
        m_heatMapPanel->grid()->setMap(map);
    }
    m_bucketPanel->setBuckets(m_buckets);
    m_stalePanel->setNodes(shown, m_stale);
}

} // namespace tallymere
