#pragma once
#include "layout/AgeMapModel.h"
#include "state/AppState.h"
#include "views/components/ThemedWidget.h"

#include <functional>
#include <vector>

class QGridLayout;
class QScrollArea;

namespace tallymere {

class AgeBucketPanel;
class HeatMapPanel;
class StalePanel;

// The Age Map: when the bytes under the displayed node (the focus, else the displayed tree) were
// last modified. On the left the age buckets over the month heat map; on the right, 330 wide, the
// big files nobody touched for a year; in a view too narrow for both columns that panel moves
// under the month grid. The year rows keep their heights at every size: a view too short for the
// panels' least heights scrolls as one page, and the big files' list then lays out whole, so no
// list scrolls inside the scrolling page. Months are Gregorian months of the local time zone.
//
// Everything shown is derived in one pass when the view is made and again only when the focus,
// the displayed tree or the size mode changes to a different value; changes inside the tree or of
// the queue do not refresh it, so staged items stay listed. The larger folders inside the one shown,
// and its parent, are walked ahead on a thread of idle priority (see AgeMapStore).
class CalendarView : public ThemedWidget {
    Q_OBJECT
public:
    explicit CalendarView(AppState& state, QWidget* parent = nullptr);

    // The clock the ages are measured against, seconds since 1970; the system clock by default.
    // Setting it derives everything again.
    void setClock(std::function<double()> clock);

    // The state of the last rebuild.
    const std::vector<AgeMapModel::Bucket>& buckets() const { return m_buckets; }
    const std::vector<const FileNode*>& stale() const { return m_stale; }
    int rebuildCount() const { return m_rebuilds; }

    AgeBucketPanel* bucketPanel() const { return m_bucketPanel; }
    HeatMapPanel* heatMapPanel() const { return m_heatMapPanel; }
    StalePanel* stalePanel() const { return m_stalePanel; }
    QScrollArea* scrollArea() const { return m_scroll; }
    // Whether the big-and-untouched panel stands beside the column (else under it).
    bool isSideBySide() const { return m_sideBySide; }
    // The least width at which the panel stands beside the column.
    int sideBySideWidth() const;

    static constexpr int outerPadding = 14;
    static constexpr int columnSpacing = 14;
    static constexpr int panelSpacing = 12;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void rebuild();
    void arrange(bool sideBySide, bool wholeList);
    void fitPage();

    AppState& m_state;
    std::function<double()> m_clock;
    std::vector<AgeMapModel::Bucket> m_buckets;
    std::vector<const FileNode*> m_stale;
    int m_rebuilds = 0;
    AgeBucketPanel* m_bucketPanel;
    HeatMapPanel* m_heatMapPanel;
    StalePanel* m_stalePanel;
    QWidget* m_page;
    QGridLayout* m_grid;
    QScrollArea* m_scroll;
    bool m_sideBySide = true;
    bool m_wholeList = false;
};

} // namespace tallymere
