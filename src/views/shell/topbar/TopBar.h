#pragma once
#include "state/WorkspaceTab.h"
#include "views/components/ThemedWidget.h"

#include <QRectF>

#include <vector>

class QVariantAnimation;

namespace tallymere {

class AppState;
class Breadcrumb;
class FilterField;
class IconToggle;
class KeyStop;
class ThemeMenuButton;

// The strip across the top of the window: the tab rail at the left, then on the explore tab with a
// tree a short divider and the breadcrumb of the focus; at the right the name filter (explore tab)
// and the trailing controls: the labels and size-mode toggles (explore tab), the theme menu
// (always) and the inspector toggle (explore and duplicates tabs). The inspector flag belongs to the window: the bar shows it
// and asks for a flip with inspectorToggled().
//
// The tabs are one stop of Tab, ringed round the whole row; Left and Right, Home and End then
// choose the tab before or after, the first or the last, as a click on it does.
class TopBar : public ThemedWidget {
    Q_OBJECT
public:
    explicit TopBar(AppState& state, QWidget* parent = nullptr);

    // The window's inspector flag, shown by the inspector toggle.
    void setInspectorShown(bool shown);

    // The tab buttons as laid out now (each whole rectangle takes the click).
    QRectF tabRect(WorkspaceTab tab) const;
    // How lit a tab's capsule is now, 0 to 1 (mid-animation included).
    double tabLit(WorkspaceTab tab) const;
    void finishAnimations();

    Breadcrumb* breadcrumb() const { return m_breadcrumb; }
    FilterField* filterField() const { return m_filter; }
    // The divider before the breadcrumb; empty while the breadcrumb is hidden.
    QRectF dividerRect() const { return m_divider; }
    IconToggle* labelsToggle() const { return m_labels; }
    IconToggle* sizeModeToggle() const { return m_sizeMode; }
    ThemeMenuButton* themeMenu() const { return m_themeMenu; }
    IconToggle* inspectorToggle() const { return m_inspector; }
    // The keyboard's stop of the tabs.
    KeyStop* tabStop() const { return m_tabStop; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

signals:
    void inspectorToggled();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void themeChanged() override { relayout(); }

private:
    void refresh();
    void relayout();
    void followTab();
    bool tabKey(QKeyEvent* event);

    AppState& m_state;
    std::vector<QRectF> m_tabRects;
    WorkspaceTab m_fromTab;
    WorkspaceTab m_toTab;
    double m_tabProgress = 1;
    int m_pressedTab = -1;
    QVariantAnimation* m_tabAnimation;
    KeyStop* m_tabStop;
    QRectF m_divider;
    Breadcrumb* m_breadcrumb;
    FilterField* m_filter;
    IconToggle* m_labels;
    IconToggle* m_sizeMode;
    ThemeMenuButton* m_themeMenu;
    IconToggle* m_inspector;
};

} // namespace tallymere
