#pragma once
#include "state/WorkspaceTab.h"
#include "views/components/ThemedWidget.h"

#include <QString>

class QVariantAnimation;

namespace tallymere {

class AppState;
class FileNode;
class PageHeader;
class VizRail;

// The centre pane: the content of the current tab. On the explore tab the scanning screen while a
// scan runs, else the explore page (header, visualisation rail, a divider and the visualisation
// host) when a tree is displayed, else the welcome screen; on the tool tabs the tool's own view.
// A screen is made afresh whenever the shown screen changes and deleted when it goes, so each
// starts with its own defaults (a new scan restarts the scanning screen's sweep, a tool tab
// returns as new). A change of tab fades the new content in over 0.2 s (ease-out).
class WorkspaceView : public ThemedWidget {
    Q_OBJECT
public:
    enum class Screen { welcome, scanning, explore, tool };

    explicit WorkspaceView(AppState& state, QWidget* parent = nullptr);

    // The page title of a node: its own name below the top of its tree; for the top "Macintosh HD"
    // for "/", "Home" for the home folder, else the path's last component. One line of plain text.
    static QString headerTitle(const FileNode& node);

    Screen screen() const { return m_screen; }
    WorkspaceTab shownTab() const { return m_tab; }
    // The widget of the current screen (the explore page's container on the explore page).
    QWidget* content() const { return m_content; }
    // Parts of the explore page; null on other screens.
    PageHeader* pageHeader() const { return m_header; }
    VizRail* vizRail() const { return m_rail; }
    QWidget* visualizationHost() const { return m_host; }

    // How far the fade of a new tab's content has come, 0 to 1 (1 at rest).
    double fadeProgress() const { return m_fadeProgress; }
    void finishAnimations();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void follow();
    void build(Screen screen, WorkspaceTab tab);
    void layoutPage();

    AppState& m_state;
    Screen m_screen = Screen::welcome;
    WorkspaceTab m_tab = WorkspaceTab::explore;
    QWidget* m_content = nullptr;
    PageHeader* m_header = nullptr;
    VizRail* m_rail = nullptr;
    QWidget* m_host = nullptr;
    QWidget* m_veil;
    QVariantAnimation* m_fade;
    double m_fadeProgress = 1;
};

} // namespace tallymere
