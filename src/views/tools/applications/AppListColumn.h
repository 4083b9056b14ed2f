#pragma once
#include "views/components/ThemedWidget.h"
#include "services/InstalledApp.h"

#include <functional>
#include <optional>
#include <vector>

class QScrollArea;
class QStackedWidget;
class QVBoxLayout;

namespace tallymere {

class AppRow;
class AppSearchField;
class IconToggle;
class OrphanRow;
class SectionLabel;

// The applications tab's left column, 340 wide on the background colour: a header (padded 10,
// spacing 8) of the search field, the system-apps toggle and the rescan toggle; below it either
// the loading note or the scrolling list: one row per shown app (1 apart) and the leftovers of
// removed apps (their total in the heading, the first 40 rows). It shows what it is given and
// reports the user's actions; the tab holds the state.
//
// By keyboard: the search field, the two toggles, then the apps as one stop of Tab and the
// leftovers as another, each walked by the arrows. Down from the search field goes into the apps,
// at the selected one or the first; the selection follows the keyboard through them. A leftover
// that leaves the list while it holds the keyboard hands it to the next leftover.
class AppListColumn : public ThemedWidget {
    Q_OBJECT
public:
    static constexpr int columnWidth = 340;

    struct Actions {
        std::function<void(const InstalledApp&)> select;
        std::function<void(const LeftoverItem&)> stage;
        std::function<void(const std::string&)> reveal;
        std::function<void(const std::string&)> copyPath;
        std::function<void()> toggleSystem;
        std::function<void()> rescan;
        std::function<void(const QString&)> queryChanged;
        // Return on an app: the keyboard goes on into its detail.
        std::function<void()> enterDetail;
    };
    explicit AppListColumn(Actions actions, QWidget* parent = nullptr);

    // Rebuilds the rows; the filter and selection are applied to them afresh.
    void setApps(const std::vector<InstalledApp>& apps);
    void setOrphans(const std::vector<LeftoverItem>& orphans);
    void setFilter(const QString& query, bool showSystem);
    void setSelectedPath(const std::optional<std::string>& path);
    void setLoading(bool loading);

    bool isShowingProgress() const;
    std::vector<AppRow*> visibleRows() const;
    const std::vector<OrphanRow*>& orphanRows() const { return m_orphanRows; }
    SectionLabel* orphanLabel() const { return m_orphanLabel; }
    AppSearchField* searchField() const { return m_search; }
    IconToggle* systemToggle() const { return m_systemToggle; }

protected:
    void paintEvent(QPaintEvent* event) override;

    // Gives the keyboard to the selected app's row, else the first shown; false with none shown.
    bool focusApps();

private:
    void applyFilter();

    Actions m_actions;
    AppSearchField* m_search;
    IconToggle* m_systemToggle;
    IconToggle* m_rescanToggle;
    QStackedWidget* m_stack;
    QScrollArea* m_scroll;
    QWidget* m_appRows;
    QVBoxLayout* m_rowsLayout;
    QWidget* m_orphanSection;
    QVBoxLayout* m_orphanLayout;
    SectionLabel* m_orphanLabel;
    std::vector<AppRow*> m_rows;
    std::vector<OrphanRow*> m_orphanRows;
    std::vector<InstalledApp> m_apps;
    QString m_query;
    bool m_showSystem = false;
    std::optional<std::string> m_selected;
};

} // namespace tallymere
