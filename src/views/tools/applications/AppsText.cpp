#include "views/tools/applications/AppsText.h"

#include "base/PathText.h"
#include "style/DisplayText.h"
#include "views/components/TextDraw.h"

namespace tallymere::AppsText {

std::vector<const InstalledApp*> filtered(const std::vector<InstalledApp>& apps, const QString& query, bool showSystem) {
    std::vector<const InstalledApp*> shown;
    for (const InstalledApp& app : apps) {
        if (app.isSystem && !showSystem) continue;
        if (!query.isEmpty() && !QString::fromStdString(app.name).contains(query, Qt::CaseInsensitive)) continue;
        shown.push_back(&app);
    }
    return shown;
}

std::int64_t sizeOf(const std::vector<LeftoverItem>& items) {
    std::int64_t total = 0;
    for (const LeftoverItem& item : items) total += item.size;
    return total;
}

std::int64_t leftoverTotal(const InstalledApp& app) { return sizeOf(app.leftovers); }

std::int64_t footprintTotal(const InstalledApp& app) { return app.size + leftoverTotal(app); }

QString leafText(const std::string& path) {
    std::string_view trimmed(path);
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.remove_suffix(1);
    const auto slash = trimmed.find_last_of('/');
    return TextDraw::oneLine(slash == std::string_view::npos ? trimmed : trimmed.substr(slash + 1));
}

QString rowCaption(const InstalledApp& app) {
    const std::int64_t leftovers = leftoverTotal(app);
    if (leftovers > 0) return '+' + DisplayText::sizeText(leftovers) + QStringLiteral(" leftovers");
    return 'v' + TextDraw::oneLine(app.version);
}

Confirmation confirmation(const InstalledApp& app) {
    const std::vector<std::string> moved = AppUninstaller::uninstallPaths(app);
    // Everything that moves besides the app is a support file, its launcher too: the message's count
    // and the button's are of the same paths.
    const auto items = qlonglong(moved.size());
    const auto files = items - 1;
    QStringList paths;
    for (const std::string& path : moved) paths.push_back(TextDraw::oneLine(path));
    return Confirmation{
        .title = QStringLiteral("Uninstall ") + TextDraw::oneLine(app.name) + '?',
        .action = QStringLiteral("Move ") + QString::number(items) + QStringLiteral(" items to Trash"),
        .message = QStringLiteral("Removes the app and ") + QString::number(files) + QStringLiteral(" support file") +
                   (files == 1 ? QString() : QStringLiteral("s")) + QStringLiteral(", freeing ") +
                   DisplayText::sizeText(footprintTotal(app)) + QStringLiteral(". Everything goes to the Trash."),
        .paths = paths};
}

namespace {

// The first item that stayed, with why: the system's message alone would not say which one.
QString firstFailure(const TrashService::Outcome& outcome) {
    const auto& [path, reason] = outcome.failed.front();
    return QString::fromStdString(PathText::namedReason(path, reason));
}

} // namespace

AppState::Banner uninstallBanner(const InstalledApp& app, const AppUninstaller::Removal& result) {
    const auto& outcome = result.outcome;
    const QString name = TextDraw::oneLine(app.name);
    if (!result.bundleMoved) {
        const QString reason = outcome.failed.empty() ? QStringLiteral("The app was not moved.") : firstFailure(outcome);
        return AppState::Banner::make(AppState::Banner::Kind::warning, QStringLiteral("Could not uninstall ") + name, reason);
    }
    if (!outcome.failed.empty()) {
        const auto count = qlonglong(outcome.failed.size());
        return AppState::Banner::make(AppState::Banner::Kind::warning,
                                      QStringLiteral("Uninstalled with ") + QString::number(count) +
                                          QStringLiteral(" issue") + (count == 1 ? QString() : QStringLiteral("s")),
                                      firstFailure(outcome));
    }
    return AppState::Banner::make(AppState::Banner::Kind::success, name + QStringLiteral(" uninstalled"),
                                  QString::number(qlonglong(outcome.trashed.size())) +
                                      QStringLiteral(" items moved to Trash, ") + DisplayText::sizeText(outcome.freed) +
                                      QStringLiteral(" freed."));
}

AppState::Banner orphanBanner(const LeftoverItem& item, const AppUninstaller::Removal& result) {
    const TrashService::Outcome& outcome = result.outcome;
    if (!result.refused.empty())
        return AppState::Banner::make(AppState::Banner::Kind::warning, TextDraw::oneLine(AppUninstaller::refusalText(item.path)),
                                      TextDraw::oneLine(item.path));
    if (!outcome.failed.empty())
        return AppState::Banner::make(AppState::Banner::Kind::warning, QStringLiteral("Could not remove ") + leafText(item.path),
                                      TextDraw::oneLine(outcome.failed.front().second));
    return AppState::Banner::make(AppState::Banner::Kind::success, QStringLiteral("Removed ") + leafText(item.path),
                                  DisplayText::sizeText(item.size) + QStringLiteral(" moved to Trash."));
}

} // namespace tallymere::AppsText
