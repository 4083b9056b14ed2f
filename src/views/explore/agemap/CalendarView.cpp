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
    // Least heights never depend on whether the page scrolls, so sizing it settles at once.
    m_scroll = ListScroll::make(m_page, this, ListScroll::Bar::beside);
    m_scroll->setWidgetResizable(false);
    m_page->installEventFilter(this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_scroll);
    arrange(true, false);

    for (auto signal : {&AppState::focusChanged, &AppState::displayRootChanged, &AppState::useAllocatedSizeChanged})
        connect(&m_state, signal, this, &CalendarView::rebuild);
    rebuild();
}

int CalendarView::sideBySideWidth() const {
    const int left = std::max(m_bucketPanel->minimumSizeHint().width(), m_heatMapPanel->minimumSizeHint().width());
    return 2 * outerPadding + left + columnSpacing + StalePanel::panelWidth;
}

void CalendarView::arrange(bool sideBySide, bool wholeList) {
    if (m_grid->count() > 0 && sideBySide == m_sideBySide && wholeList == m_wholeList) return;
    m_sideBySide = sideBySide;
    m_wholeList = wholeList;
    m_stalePanel->setListWhole(wholeList);
    for (QWidget* panel : {static_cast<QWidget*>(m_bucketPanel), static_cast<QWidget*>(m_heatMapPanel),
                           static_cast<QWidget*>(m_stalePanel)})
        m_grid->removeWidget(panel);
    m_grid->addWidget(m_bucketPanel, 0, 0);
    m_grid->addWidget(m_heatMapPanel, 1, 0);
    if (sideBySide) {
        // The big-and-untouched panel stands beside the column, 330 wide, as tall as the view; on a
        // scrolling page, as tall as its whole list, the column keeping its own height above an
        // empty row.
        m_grid->addWidget(m_stalePanel, 0, 1, wholeList ? 3 : 2, 1);
        m_stalePanel->setFixedWidth(StalePanel::panelWidth);
    } else {
        // Too narrow for both: it moves under the month grid and takes the column's width.
        m_grid->addWidget(m_stalePanel, 2, 0);
        m_stalePanel->setMinimumWidth(0);
        m_stalePanel->setMaximumWidth(QWIDGETSIZE_MAX);
    }
    // The room the view has beyond the least heights goes to the month grid (and the list under it);
    // the room a scrolling page has beyond them is the whole list's, however it stands.
    m_grid->setRowStretch(1, wholeList ? 0 : 1);
    m_grid->setRowStretch(2, wholeList || !sideBySide ? 1 : 0);
}

void CalendarView::resizeEvent(QResizeEvent* event) {
    arrange(event->size().width() >= sideBySideWidth(), m_wholeList);
    ThemedWidget::resizeEvent(event);
    fitPage();
}

void CalendarView::fitPage() {
    // The scroll area has no frame: without a bar its viewport is the whole area.
    const QSize room = m_scroll->size();
    const int least = m_page->minimumSizeHint().height();
    const bool scrolls = least > room.height();
    arrange(m_sideBySide, scrolls);
    int height = room.height();
    if (scrolls) {
        const int extra = m_stalePanel->wholeListExtra();
        height = m_sideBySide ? std::max(least, m_stalePanel->minimumSizeHint().height() + extra + 2 * outerPadding)
                              : least + extra;
    }
    const int width = room.width() - (scrolls ? ThemedScrollBar::thickness : 0);
    const QSize size(std::max(width, 0), height);
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
