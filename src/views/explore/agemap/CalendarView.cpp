#include "views/explore/agemap/CalendarView.h"

#include "layout/MonthCalendar.h"
#include "views/components/controls/ListScroll.h"
#include "views/components/controls/ThemedScrollBar.h"
#include "views/explore/agemap/AgeBucketPanel.h"
#include "views/explore/agemap/HeatMapGrid.h"
#include "views/explore/agemap/HeatMapPanel.h"
#include "views/explore/agemap/StalePanel.h"

#include <QDateTime>

#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <QGridLayout>
#include <QResizeEvent>
#include <QScrollArea>
#include <QVBoxLayout>

namespace tallymere {

namespace {
double systemClock() { return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0; }

// What the local time zone is made of: the TZ variable and the system's zone file.
std::string zoneKey() {
    const char* tz = std::getenv("TZ");
    std::string key = tz ? std::string("TZ=") + tz : std::string("-");
    struct stat info {};
    if (::stat("/etc/localtime", &info) == 0)
        key += ' ' + std::to_string(info.st_ino) + ' ' + std::to_string(info.st_size) + ' ' +
               std::to_string(info.st_mtim.tv_sec) + '.' + std::to_string(info.st_mtim.tv_nsec);
    return key;
}

// The local month table takes some 1,300 time-zone conversions to make, several milliseconds on
// every rebuild; the zone seldom changes while the program runs, so the table is made again only
// when it has.
// `generation` tells one table from the one made after it.
const MonthCalendar& localCalendar(std::uint64_t& generation) {
    static std::optional<MonthCalendar> calendar;
    static std::string zone;
    static std::uint64_t made = 0;
    std::string key = zoneKey();
    if (!calendar || key != zone) {
        calendar = MonthCalendar::local();
        zone = std::move(key);
        ++made;
    }
    generation = made;
    return *calendar;
}

// The maps made last, for the views and folders shown next: switching back to the Age Map, or
// going back up to a folder just shown, shows the same folder again, and a walk of a whole large
// tree takes several frames. A map is reused only while it is exactly what a new walk would give:
// the same folder of the same tree (a tree is never changed once shown; a new scan or filter makes
// a new one), the same sizes and time zone, and a clock that has not reached the first moment any
// file changes its age bucket or becomes stale.
struct KeptMap {
    std::weak_ptr<const FileNode> node;
    bool useAllocated = false;
    std::uint64_t calendar = 0;
    double madeAt = 0;
    AgeMapModel::AgeMap map;
};

// Most recently used first.
std::deque<KeptMap>& keptMaps() {
    static std::deque<KeptMap> kept;
    return kept;
}

constexpr std::size_t keptLimit = 8;
// A second's margin before the map's own bound keeps clear of rounding in the age arithmetic.
constexpr double steadyMargin = 1;

AgeMapModel::AgeMap ageMap(const AppState::NodePtr& shown, bool useAllocated, double now) {
    std::uint64_t generation = 0;
    const MonthCalendar& calendar = localCalendar(generation);
    std::deque<KeptMap>& kept = keptMaps();
    // Maps of trees that are gone go with them.
    std::erase_if(kept, [](const KeptMap& entry) { return entry.node.expired(); });
    for (auto entry = kept.begin(); entry != kept.end(); ++entry) {
        if (entry->node.lock().get() != shown.get() || entry->useAllocated != useAllocated ||
            entry->calendar != generation || now < entry->madeAt || now >= entry->map.steadyUntil - steadyMargin)
            continue;
        KeptMap found = std::move(*entry);
        kept.erase(entry);
        kept.push_front(std::move(found));
        return kept.front().map;
    }
    AgeMapModel::AgeMap map = AgeMapModel::build(*shown, {useAllocated, now}, calendar);
    kept.push_front({shown, useAllocated, generation, now, map});
    if (kept.size() > keptLimit) kept.pop_back();
    return map;
}
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
        const AgeMapModel::AgeMap map = ageMap(shown, m_state.useAllocatedSize(), m_clock());
        m_buckets.assign(map.buckets.begin(), map.buckets.end());
        m_stale = map.stale;
        m_heatMapPanel->grid()->setMap(map);
    }
    m_bucketPanel->setBuckets(m_buckets);
    m_stalePanel->setNodes(shown, m_stale);
}

} // namespace tallymere
