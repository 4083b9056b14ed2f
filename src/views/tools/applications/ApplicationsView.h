#pragma once
#include "views/components/ThemedWidget.h"
#include "views/tools/applications/AppsText.h"
#include "services/AppUninstaller.h"

#include <functional>
#include <memory>
#include <optional>

class QMessageBox;

namespace tallymere {

class AppDetailPane;
class AppListColumn;
class AppState;

// The applications tab: the app list with its search, system toggle, rescan and orphans on the
// left (340 wide), a divider, and the selected app's detail on the right. It loads on a worker
// when first shown without apps; only the latest load's result is shown. It moves an orphan, or
// an app of the user's own with its launcher and leftovers (after asking), to the Trash itself and
// reports the outcome in the store's banner. Its state is its own and starts afresh with each view.
// By keyboard: the list column's controls, then the detail's; Return on an app goes straight to
// its detail.
class ApplicationsView : public ThemedWidget {
    Q_OBJECT
public:
    // What the tab does with the outside world; systemServices() is the real one, tests pass fakes.
    struct Services {
        // The desktop to read, called on the GUI thread: once for each load (the worker is handed
        // the values), and again just before each move so that what is moved is checked against
        // the desktop as it is then.
        std::function<AppSources()> sources;
        AppUninstaller::Trasher trash;
        std::function<bool(const AppsText::Confirmation&, QWidget* parent)> confirm;
    };
    static Services systemServices();
    // The dialog systemServices() asks with, its buttons "Cancel" (the default) and the action.
    static std::unique_ptr<QMessageBox> confirmationBox(const AppsText::Confirmation& text, QWidget* parent);

    explicit ApplicationsView(AppState& state, QWidget* parent = nullptr);
    ApplicationsView(AppState& state, Services services, QWidget* parent = nullptr);

    // Starts a fresh discovery; a load already running is superseded.
    void load();
    void select(const InstalledApp& app);
    void setQuery(const QString& query);
    void setShowSystem(bool show);
    // Moves one orphan to the Trash after checking it is still nobody's; it leaves the list once
    // it has moved.
    void stageLeftover(const LeftoverItem& item);
    // Asks, then uninstalls.
    void requestUninstall(const InstalledApp& app);
    // Moves the app to the Trash, posts the outcome, clears the selection and loads again.
    void uninstall(const InstalledApp& app);

    const std::vector<InstalledApp>& apps() const { return m_apps; }
    const std::vector<LeftoverItem>& orphans() const { return m_orphans; }
    bool isLoading() const { return m_loading; }
    const std::optional<InstalledApp>& selected() const { return m_selected; }
    const QString& query() const { return m_query; }
    bool showSystem() const { return m_showSystem; }
    AppListColumn* list() const { return m_list; }
    AppDetailPane* detail() const { return m_detail; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setLoading(bool loading);
    // Gives the keyboard to the selected app's detail, at "Uninstall Completely" where it has one.
    void enterDetail();
    // The desktop as the services give it now, with the places to check against: the store's, else
    // those of the last listing; never looked at on this thread.
    AppSources sourcesNow() const;

    AppState& m_state;
    Services m_services;
    AppListColumn* m_list;
    AppDetailPane* m_detail;
    std::vector<InstalledApp> m_apps;
    std::vector<LeftoverItem> m_orphans;
    std::shared_ptr<const PlaceRegistry> m_places; // those the last listing was checked against
    bool m_loading = false;
    std::uint64_t m_generation = 0;
    std::optional<InstalledApp> m_selected;
    QString m_query;
    bool m_showSystem = false;
};

} // namespace tallymere
