#include "views/tools/applications/ApplicationsView.h"

#include "base/Utf8.h"
#include "state/AppState.h"
#include "views/components/BackgroundTask.h"
#include "views/components/FocusChain.h"
#include "views/tools/applications/AppDetailPane.h"
#include "views/tools/applications/AppIcon.h"
#include "views/tools/applications/UninstallButton.h"
#include "views/tools/applications/AppListColumn.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>

namespace tallymere {

namespace {

// The one-pixel line between list and detail.
class Divider : public ThemedWidget {
public:
    Divider() { setFixedWidth(1); }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), theme().stroke); }
};

bool askWithDialog(const AppsText::Confirmation& text, QWidget* parent) {
    const std::unique_ptr<QMessageBox> box = ApplicationsView::confirmationBox(text, parent);
    box->exec();
    return box->clickedButton() && box->buttonRole(box->clickedButton()) == QMessageBox::DestructiveRole;
}

} // namespace

std::unique_ptr<QMessageBox> ApplicationsView::confirmationBox(const AppsText::Confirmation& text, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(text.title);
    box->setText(text.title);
    box->setInformativeText(text.message);
    // The title holds the app's name as its launcher gives it: shown as written, never as markup.
    box->setTextFormat(Qt::PlainText);
    for (QLabel* label : box->findChildren<QLabel*>()) label->setTextFormat(Qt::PlainText);
    // Exactly what will go, so nothing leaves that the user did not see named.
    box->setDetailedText(text.paths.join('\n'));
    box->addButton(text.action, QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    return box;
}

ApplicationsView::Services ApplicationsView::systemServices() {
    return Services{.sources = [] { return AppSources::system(); },
                    .trash = [](const std::vector<std::string>& paths,
                                const std::unordered_map<std::string, std::int64_t>& sizes,
                                const PlaceRegistry& places) { return TrashService::trash(paths, sizes, places); },
                    .confirm = askWithDialog};
}

ApplicationsView::ApplicationsView(AppState& state, QWidget* parent) : ApplicationsView(state, systemServices(), parent) {}

ApplicationsView::ApplicationsView(AppState& state, Services services, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_services(std::move(services)) {
    m_list = new AppListColumn({.select = [this](const InstalledApp& app) { select(app); },
                                .stage = [this](const LeftoverItem& item) { stageLeftover(item); },
                                .reveal = [this](const std::string& path) { TrashService::revealInFinder(m_state.desktop(), {path}); },
                                .copyPath = [this](const std::string& path) { m_state.desktop().copyText(repairUtf8(path)); },
                                .toggleSystem = [this] { setShowSystem(!m_showSystem); },
                                .rescan = [this] { load(); },
                                .queryChanged = [this](const QString& query) { setQuery(query); },
                                .enterDetail = [this] { enterDetail(); }});
    m_detail = new AppDetailPane(
        {.uninstall = [this](const InstalledApp& app) { requestUninstall(app); },
         .reveal = [this](const std::string& path) { TrashService::revealInFinder(m_state.desktop(), {path}); }});
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(m_list);
    row->addWidget(new Divider);
    row->addWidget(m_detail, 1);
}

void ApplicationsView::showEvent(QShowEvent* event) {
    ThemedWidget::showEvent(event);
    if (m_apps.empty() && !m_loading) load();
}

void ApplicationsView::setLoading(bool loading) {
    m_loading = loading;
    m_list->setLoading(loading);
}

void ApplicationsView::load() {
    if (!m_services.sources) return;
    const std::uint64_t generation = ++m_generation;
    setLoading(true);
    // Read here and handed over as values: the environment is only ever changed on this thread.
    // Without the store's places the listing looks at them itself, on its worker.
    AppSources sources = m_services.sources();
    if (!sources.places) sources.places = m_state.places();
    BackgroundTask::run(this, [sources = std::move(sources)] { return AppUninstaller::scan(sources); },
                        [this, generation](AppInventory inventory) {
        // A later load (a rescan, the reload after an uninstall) owns the list now.
        if (generation != m_generation) return;
        m_apps = std::move(inventory.apps);
        m_orphans = std::move(inventory.orphans);
        m_places = std::move(inventory.places);
        AppIcon::lookAgain();
        m_list->setApps(m_apps);
        m_list->setOrphans(m_orphans);
        setLoading(false);
    });
}

AppSources ApplicationsView::sourcesNow() const {
    AppSources sources = m_services.sources();
    // An app or an orphan is only ever shown from a listing, so one of the two is there to move it.
    if (!sources.places) sources.places = m_state.places() ? m_state.places() : m_places;
    return sources;
}

void ApplicationsView::enterDetail() {
    // "Uninstall Completely" when the app has it, else the detail's first control.
    QWidget* target = m_detail->uninstallButton();
    if (!target || !target->isVisibleTo(this)) {
        const std::vector<QWidget*> stops = FocusChain::stops(m_detail);
        target = stops.empty() ? nullptr : stops.front();
    }
    if (!target) return;
    target->setFocus(Qt::TabFocusReason);
    FocusChain::bringIntoView(target);
}

void ApplicationsView::select(const InstalledApp& app) {
    m_selected = app;
    m_list->setSelectedPath(app.path);
    m_detail->setApp(app);
}

void ApplicationsView::setQuery(const QString& query) {
    m_query = query;
    m_list->setFilter(m_query, m_showSystem);
}

void ApplicationsView::setShowSystem(bool show) {
    m_showSystem = show;
    m_list->setFilter(m_query, m_showSystem);
}

void ApplicationsView::stageLeftover(const LeftoverItem& item) {
    if (!m_services.trash || !m_services.sources) return;
    const AppUninstaller::Removal removal = AppUninstaller::removeOrphan(item, sourcesNow(), m_services.trash);
    if (removal.outcome.failed.empty()) {
        std::erase_if(m_orphans, [&](const LeftoverItem& o) { return o.id == item.id; });
        m_list->setOrphans(m_orphans);
    }
    m_state.setBanner(AppsText::orphanBanner(item, removal));
}

void ApplicationsView::requestUninstall(const InstalledApp& app) {
    if (app.isSystem) return;
    if (m_services.confirm && m_services.confirm(AppsText::confirmation(app), this)) uninstall(app);
}

void ApplicationsView::uninstall(const InstalledApp& app) {
    if (app.isSystem || !m_services.trash || !m_services.sources) return;
    const AppUninstaller::Removal result = AppUninstaller::uninstall(app, sourcesNow(), m_services.trash);
    m_state.setBanner(AppsText::uninstallBanner(app, result));
    m_selected.reset();
    m_list->setSelectedPath(std::nullopt);
    m_detail->setApp(std::nullopt);
    load();
}

} // namespace tallymere
