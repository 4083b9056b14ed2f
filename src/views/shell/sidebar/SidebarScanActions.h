#pragma once
#include "views/components/ThemedWidget.h"

#include <vector>

class QMenu;
class QVBoxLayout;

namespace tallymere {

class AppState;
class ActionButton;
class ClickableWidget;
class SectionLabel;

// The sidebar's first section: where scans start. "Scan Full Mac" (or "Stop Scan" while a scan
// runs), "Home" and "Folder…", the "Other volumes" menu when more than one volume is mounted, and
// the three newest recent targets (hidden while scanning). Every action is one call on the store,
// which ignores a scan request while another scan runs.
class SidebarScanActions : public ThemedWidget {
    Q_OBJECT
public:
    static constexpr int shownRecents = 3;

    explicit SidebarScanActions(AppState& state, QWidget* parent = nullptr);

    ActionButton* primaryButton() const { return m_primary; }
    // Hidden unless more than one volume is mounted.
    ClickableWidget* volumeButton() const { return m_volumes; }
    // The menu "Other volumes" opens: one item per volume, "name — size"; made afresh each time.
    QMenu* buildVolumeMenu();
    // The recent rows shown now (none while scanning), newest first.
    const std::vector<ClickableWidget*>& recentRows() const { return m_recentRows; }

private:
    void refresh();
    void rebuildRecents();

    AppState& m_state;
    ActionButton* m_primary;
    ActionButton* m_home;
    ActionButton* m_folder;
    ClickableWidget* m_volumes;
    QWidget* m_recents;
    QVBoxLayout* m_recentsLayout;
    SectionLabel* m_recentLabel;
    std::vector<ClickableWidget*> m_recentRows;
};

} // namespace tallymere
