#pragma once
#include "platform/DesktopEntries.h"
#include "services/InstalledApp.h"
#include "services/TrashService.h"

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tallymere {

// A folder whose first-level entries are support items, with the label shown for them.
struct SupportRoot {
    std::string path;
    std::string kind;
    friend bool operator==(const SupportRoot&, const SupportRoot&) = default;
};

// What discovery reads; system() is the running desktop, tests point every item at a fake home.
struct AppSources {
    std::string home;
    std::string dataHome; // the user's data folder; its "applications" holds the user's launchers
    std::vector<SupportRoot> supportRoots;
    std::function<std::vector<DesktopEntry>()> entries;
    std::function<std::vector<std::string>()> installedNames;

    // The user's folders from $HOME and the XDG base-directory variables.
    static AppSources system();
    // The support roots of a home: data, cache, config and state folders (XDG values when given
    // as absolute paths), Flatpak and Snap containers, autostart and user services.
    static std::vector<SupportRoot> supportRootsFor(const std::string& home, const std::string& dataHome = {},
                                                    const std::string& cacheHome = {},
                                                    const std::string& configHome = {},
                                                    const std::string& stateHome = {});
};

struct AppInventory {
    std::vector<InstalledApp> apps;     // largest footprint (bundle plus leftovers) first
    std::vector<LeftoverItem> orphans;  // largest first
};

namespace AppUninstaller {

// Orphans smaller than this are not worth listing.
inline constexpr std::int64_t orphanMinimum = 2'000'000;
// How many sizes are measured at once (each measure is a scan with threads of its own).
inline constexpr int measureConcurrency = 4;

// The whole discovery: the apps with their sizes and leftovers, and the orphans. Blocks while
// every bundle and support item is measured; call it off the GUI thread. Never fails: what
// cannot be read contributes nothing.
AppInventory scan(const AppSources& sources);

// Bytes on disk of a file or folder tree, hidden entries included; 0 when it cannot be read.
std::int64_t directorySize(const std::string& path);

// The app a desktop entry launches, before measuring (size 0, no leftovers).
InstalledApp describe(const DesktopEntry& entry, const AppSources& sources);

// Index items whose names point at the app: its reverse-DNS identifier in the name, the
// identifier's last word (four characters or more) in a name holding "com", or the app's name
// (five characters or more) as the whole name. Index order.
std::vector<LeftoverItem> match(const InstalledApp& app, const std::vector<LeftoverItem>& index);

// Items of the desktop and of other vendors' shared data that are never anyone's leftovers.
bool isProtected(std::string_view path);

// Moves the app to the Trash: its bundle first and, only once that has moved, its desktop file
// and leftovers. A system app is never moved (an empty outcome). Synchronous.
using Trasher = std::function<TrashService::Outcome(const std::vector<std::string>&,
                                                    const std::unordered_map<std::string, std::int64_t>&)>;
struct Uninstall {
    TrashService::Outcome outcome;
    bool bundleMoved = false;
};
Uninstall uninstall(const InstalledApp& app, const Trasher& trash);
// The paths uninstall() hands to the Trash, in order: bundle, desktop file, leftovers.
std::vector<std::string> uninstallPaths(const InstalledApp& app);

} // namespace AppUninstaller

} // namespace tallymere
