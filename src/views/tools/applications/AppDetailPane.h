#pragma once
#include "views/components/ThemedWidget.h"
#include "services/InstalledApp.h"

#include <functional>
#include <optional>

class QScrollArea;
class QStackedWidget;

namespace tallymere {

class AppDetailHeader;
class LeftoverRow;
class UninstallButton;

// The right-hand side of the applications tab. Without an app, the empty state; with one, a
// scrolling column (18 around, 16 apart) of its header (icon, name, chips, identity and, for an
// app of the user's own, "Uninstall Completely"), its footprint panel (bar and legend) and its
// associated files. It shows the record it was given, as it was when picked.
class AppDetailPane : public ThemedWidget {
    Q_OBJECT
public:
    struct Actions {
        std::function<void(const InstalledApp&)> uninstall; // asks first, then uninstalls
        std::function<void(const std::string&)> reveal;
    };
    explicit AppDetailPane(Actions actions, QWidget* parent = nullptr);

    void setApp(const std::optional<InstalledApp>& app);
    const std::optional<InstalledApp>& app() const { return m_app; }
    bool isShowingEmptyState() const;
    // The pane's parts for the app shown; null without one (the button also for a system app).
    UninstallButton* uninstallButton() const { return m_uninstall; }
    AppDetailHeader* header() const { return m_header; }
    QWidget* footprintPanel() const { return m_footprint; }
    QWidget* leftoversPanel() const { return m_leftovers; }
    QWidget* content() const { return m_content; }
    QScrollArea* scrollArea() const { return m_scroll; }
    std::vector<LeftoverRow*> leftoverRows() const;

protected:
    void themeChanged() override;

private:
    void rebuild();
    QWidget* footprint(const InstalledApp& app);
    QWidget* leftovers(const InstalledApp& app);

    Actions m_actions;
    std::optional<InstalledApp> m_app;
    QStackedWidget* m_stack;
    QScrollArea* m_scroll;
    QWidget* m_content = nullptr;
    UninstallButton* m_uninstall = nullptr;
    AppDetailHeader* m_header = nullptr;
    QWidget* m_footprint = nullptr;
    QWidget* m_leftovers = nullptr;
};

} // namespace tallymere
