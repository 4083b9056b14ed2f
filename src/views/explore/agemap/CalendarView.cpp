#include "views/explore/agemap/CalendarView.h"

#include "views/components/controls/ListScroll.h"
#include "views/components/controls/ThemedScrollBar.h"
#include "views/explore/agemap/AgeBucketPanel.h"
#include "views/explore/agemap/AgeMapStore.h"
#include "views/explore/agemap/HeatMapGrid.h"
#include "views/explore/agemap/HeatMapPanel.h"
#include "views/explore/agemap/StalePanel.h"

#include <QDateTime>
#include <QGridLayout>
#include <QResizeEvent>
#include <QScrollArea>
#include <QVBoxLayout>

namespace tallymere {

namespace {
double systemClock() { return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0; }
} // namespace

CalendarView::CalendarView(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_clock(systemClock), m_bucketPanel(new AgeBucketPanel),
      m_heatMapPanel(new HeatMapPanel), m_stalePanel(new StalePanel(state)) {
    m_page = new QWidget;
    m_grid = new QGridLayout(m_page);
    m_grid->setContentsMargins(outerPadding, outerPadding, outerPadding, outerPadding);
    m_grid->setHorizontalSpacing(columnSpacing);
    m_grid->setVerticalSpacing(panelSpacing);
    m_grid->setColumnStretch(0, 1);
    // The panels fill the view; only a view too short for their least heights scrolls. The page is
    // sized here rather than by the scroll area, which would give it the heights the panels prefer
    // (a wrapping text among them makes it ask the page for its preferred height at the width).
    m_scroll = ListScroll::make(m_page, this, ListScroll::Bar::beside);
    m_scroll->setWidgetResizable(false);
    m_page->installEventFilter(this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_scroll);
    arrange(true);

    for (auto signal : {&AppState::focusChanged, &AppState::displayRootChanged, &AppState::useAllocatedSizeChanged})
        connect(&m_state, signal, this, &CalendarView::rebuild);
    rebuild();
}

int CalendarView::sideBySideWidth() const {
    const int left = std::max(m_bucketPanel->minimumSizeHint().width(), m_heatMapPanel->minimumSizeHint().width());
    return 2 * outerPadding + left + columnSpacing + StalePanel::panelWidth;
}

void CalendarView::arrange(bool sideBySide) {
    if (m_grid->count() > 0 && sideBySide == m_sideBySide) return;
    m_sideBySide = sideBySide;
    for (QWidget* panel : {static_cast<QWidget*>(m_bucketPanel), static_cast<QWidget*>(m_heatMapPanel),
                           static_cast<QWidget*>(m_stalePanel)})
        m_grid->removeWidget(panel);
    m_grid->addWidget(m_bucketPanel, 0, 0);
    m_grid->addWidget(m_heatMapPanel, 1, 0);
    if (sideBySide) {
        // The big-and-untouched panel stands beside the column, 330 wide, as tall as the view.
        m_grid->addWidget(m_stalePanel, 0, 1, 2, 1);
        m_stalePanel->setFixedWidth(StalePanel::panelWidth);
        m_grid->setRowStretch(1, 1);
        m_grid->setRowStretch(2, 0);
    } else {
        // Too narrow for both: it moves under the month grid and takes the column's width.
        m_grid->addWidget(m_stalePanel, 2, 0);
        m_stalePanel->setMinimumWidth(0);
        m_stalePanel->setMaximumWidth(QWIDGETSIZE_MAX);
        m_grid->setRowStretch(1, 1);
        m_grid->setRowStretch(2, 1);
    }
}

void CalendarView::resizeEvent(QResizeEvent* event) {
    arrange(event->size().width() >= sideBySideWidth());
    ThemedWidget::resizeEvent(event);
    fitPage();
}

void CalendarView::fitPage() {
    // The scroll area has no frame: without a bar its viewport is the whole area.
    const QSize room = m_scroll->size();
    const int least = m_page->minimumSizeHint().height();
    const int width = room.width() - (least > room.height() ? ThemedScrollBar::thickness : 0);
    const QSize size(std::max(width, 0), std::max(room.height(), least));
    if (m_page->size() != size) m_page->resize(size);
}

bool CalendarView::eventFilter(QObject* watched, QEvent* event) {
    // The panels' least heights change with what they show.
    if (watched == m_page && event->type() == QEvent::LayoutRequest) fitPage();
    return ThemedWidget::eventFilter(watched, event);
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
        const double now = m_clock();
        const AgeMapModel::AgeMap map = AgeMapStore::mapOf(shown, m_state.useAllocatedSize(), now);
        AgeMapStore::prefetchAround(shown, m_state.useAllocatedSize(), now);
        m_buckets.assign(map.buckets.begin(), map.buckets.end());
        m_stale = map.stale;
        m_heatMapPanel->grid()->setMap(map);
    }
    m_bucketPanel->setBuckets(m_buckets);
    m_stalePanel->setNodes(shown, m_stale);
}

} // namespace tallymere
