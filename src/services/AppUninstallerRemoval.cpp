#include "services/AppUninstaller.h"

#include "platform/PathGate.h"
#include "services/AppUninstallerOwnership.h"

#include <algorithm>
#include <sys/stat.h>

namespace tallymere::AppUninstaller {

namespace {

using AppOwnership::Role;

// The desktop as it is now: launchers read afresh, roots and named folders as the sources give.
AppOwnership::Guard guardNow(const AppSources& sources) {
    std::vector<DesktopEntry> entries = sources.entries ? sources.entries() : std::vector<DesktopEntry>{};
    return AppOwnership::Guard::from(sources, entries);
}

// Checks one path and, only when it passes, hands it alone to the Trash: the check is made at the
// moment of the move, not once for the whole list.
void checkAndMove(const std::string& path, Role role, const InstalledApp* owner, const AppOwnership::Guard& guard,
                  const std::unordered_map<std::string, std::int64_t>& sizes, const Trasher& trash, Removal& removal) {
    // An item gone since it was listed (or out of reach) is no one else's: the system says why,
    // or that its file system does not answer, within the gate's bound.
    if (const int error = PathGate::lstat(path).error) {
        removal.outcome.failed.emplace_back(path, PathGate::message(error));
        return;
    }
    if (!AppOwnership::allows(guard, path, role, owner)) {
        removal.refused.push_back(path);
        removal.outcome.failed.emplace_back(path, refusalText(path));
        return;
    }
    const TrashService::Outcome moved = trash({path}, sizes, *guard.places);
    removal.outcome.trashed.insert(removal.outcome.trashed.end(), moved.trashed.begin(), moved.trashed.end());
    removal.outcome.failed.insert(removal.outcome.failed.end(), moved.failed.begin(), moved.failed.end());
    removal.outcome.freed += moved.freed;
}

} // namespace

std::string refusalText(const std::string& path) {
    return "Could not remove " + std::string(AppOwnership::leaf(path)) + ": it is not this app's own";
}

std::vector<std::string> uninstallPaths(const InstalledApp& app) {
    std::vector<std::string> paths{app.path};
    if (!app.desktopFile.empty() && !AppOwnership::isAtOrInside(app.desktopFile, app.path)) paths.push_back(app.desktopFile);
    for (const LeftoverItem& item : app.leftovers)
        if (!AppOwnership::isAtOrInside(item.path, app.path) &&
            std::find(paths.begin(), paths.end(), item.path) == paths.end())
            paths.push_back(item.path);
    return paths;
}

Removal uninstall(const InstalledApp& app, const AppSources& sources, const Trasher& trash) {
    Removal removal;
    if (app.isSystem || app.path.empty() || !trash) return removal;
    std::unordered_map<std::string, std::int64_t> sizes{{app.path, app.size}};
    for (const LeftoverItem& item : app.leftovers) sizes[item.path] = item.size;
    if (!app.desktopFile.empty())
        if (const PathGate::Status launcher = PathGate::lstat(app.desktopFile); launcher.error == 0)
            sizes.emplace(app.desktopFile, std::int64_t(launcher.info.st_blocks) * 512);
    const std::vector<std::string> paths = uninstallPaths(app);
    const AppOwnership::Guard guard = guardNow(sources);
    // The bundle alone first: when it cannot move, the app still runs and keeps its data.
    checkAndMove(paths.front(), Role::bundle, &app, guard, sizes, trash, removal);
    removal.bundleMoved = removal.outcome.failed.empty() && !removal.outcome.trashed.empty();
    if (!removal.bundleMoved) return removal;
    for (std::size_t i = 1; i < paths.size(); ++i)
        checkAndMove(paths[i], paths[i] == app.desktopFile ? Role::launcher : Role::supportItem, &app, guard, sizes, trash,
                     removal);
    return removal;
}

Removal removeOrphan(const LeftoverItem& item, const AppSources& sources, const Trasher& trash) {
    Removal removal;
    if (!trash) return removal;
    checkAndMove(item.path, Role::supportItem, nullptr, guardNow(sources), {{item.path, item.size}}, trash, removal);
    return removal;
}

} // namespace tallymere::AppUninstaller
