#pragma once
#include "style/Theme.h"

#include <QRect>
#include <QWidget>

#include <optional>

class QVariantAnimation;

namespace tallymere {

class AppState;
class BannerView;
class CleanupBar;
class SidebarView;
class TopBar;
class WorkspaceView;

// The main window's content, composed from the one store: the top bar over a row of the sidebar
// (272 wide), the workspace column (all the width left) and the inspector (306 wide, on the explore
// and duplicates tabs while a tree is shown and the user has not hidden it), with the cleanup bar
// at the foot while the queue holds anything. The current banner floats over the foot of the
// workspace column, 14 above its lower edge, at most 620 wide. Never smaller than 1060 by 660.
//
// It builds the theme of AppState::themeID() and hands it to every component below it, so a theme
// change recolours the whole window at once. Panes come and go with their animations: the
// inspector slides in from the right (0.2 s ease-out, on a toggle or a tab change), the cleanup bar
// rises with a fade on a spring (response 0.34 s, damping 0.86), a banner rises with a fade
// (0.25 s ease-out) and sinks the same way when dismissed.
class RootView : public QWidget {
    Q_OBJECT
public:
    static constexpr int minimumWidth = 1060;
    static constexpr int minimumHeight = 660;
    static constexpr int sidebarWidth = 272;
    static constexpr int inspectorWidth = 306;
    static constexpr int bannerMargin = 14;

    explicit RootView(AppState& state, QWidget* parent = nullptr);

    const Theme& theme() const { return m_theme; }

    // The user's wish to see the inspector: starts true, flipped by the top bar, never stored.
    bool showInspector() const { return m_showInspector; }
    void setShowInspector(bool show);
    // Whether the inspector belongs on screen at all: a tree is shown on the explore or duplicates tab.
    bool inspectorApplies() const;

    TopBar* topBar() const { return m_topBar; }
    SidebarView* sidebar() const { return m_sidebar; }
    WorkspaceView* workspace() const { return m_workspace; }
    QWidget* inspector() const { return m_inspector; }
    CleanupBar* cleanupBar() const { return m_cleanupBar; }
    // The banner's widget; hidden while there is no banner.
    BannerView* bannerView() const { return m_banner; }

    // Where the workspace column is, in this widget's coordinates.
    QRect columnRect() const;
    // Where the banner's card is now, in this widget's coordinates; empty without a banner.
    QRect bannerRect() const;

    // Ends every running pane animation at its final state.
    void finishAnimations();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Tab walks the panes in reading order: the top bar, the sidebar, the workspace, the
    // inspector, the cleanup bar.
    bool focusNextPrevChild(bool next) override;

private:
    void applyTheme();
    void relayout();
    void followInspector(bool animated);
    void followQueue();
    void followBanner();

    AppState& m_state;
    Theme m_theme;
    bool m_showInspector = true;

    TopBar* m_topBar;
    SidebarView* m_sidebar;
    QWidget* m_column;
    WorkspaceView* m_workspace;
    BannerView* m_banner;
    QWidget* m_inspector;
    CleanupBar* m_cleanupBar;

    // How far each pane is in: 0 gone, 1 fully in (the spring may pass 1 for a moment).
    double m_inspectorIn = 0;
    double m_barIn = 0;
    double m_bannerIn = 0;
    QVariantAnimation* m_inspectorAnimation;
    QVariantAnimation* m_barAnimation;
    QVariantAnimation* m_bannerAnimation;
};

} // namespace tallymere
