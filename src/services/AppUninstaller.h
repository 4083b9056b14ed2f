#pragma once
#include "platform/DesktopEntries.h"
#include "services/InstalledApp.h"
#include "services/TrashService.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tallymere {

// A folder whose first-level entries are support items, with the label shown for them.
struct SupportRoot {
    std::string path; // its real path (links resolved)
    std::string kind;
    friend bool operator==(const SupportRoot&, const SupportRoot&) = default;
};

// The XDG base folders as the environment gives them; empty means not given.
struct XdgHomes {
    std::string data, cache, config, state;
};

// What discovery reads; system() is the running desktop, tests point every item at a fake home.
struct AppSources {
    std::string home;
    std::string dataHome; // the user's data folder; its "applications" holds the user's launchers
    std::vector<SupportRoot> supportRoots;
    std::vector<std::string> userFolders; // documents, pictures, ...: never moved, never a root
    // The system's data and configuration folders ($XDG_DATA_DIRS, /etc, /etc/xdg): a folder of the
    // user's named like any of their entries (without case) is shared with what the system
    // installed there, never a leftover.
    std::vector<std::string> systemFolders;
    std::function<std::vector<DesktopEntry>()> entries;
    std::function<std::vector<std::string>()> installedNames;
    // The places the check before a move compares with, as the caller keeps them; null: looked at
    // by the check itself, which can take the gate's bound for each mount that does not answer, so
    // a caller on the window's thread gives them.
    std::shared_ptr<const PlaceRegistry> places;

    // The user's folders from $HOME, the XDG base-directory variables and "user-dirs.dirs"; the
    // system's folders from $XDG_DATA_DIRS (UserFolders::systemDataFolders()), /etc, /etc/xdg.
    static AppSources system();
    // The support roots of a home: data, cache, config and state folders, Flatpak and Snap
    // containers, autostart and user services. A root counts only when its real path lies
    // strictly inside the real home, is none of the user's named folders, holds none of them and
    // is no parent of another root; a given XDG folder that fails falls back to its default
    // (~/.config, ...), and a default that fails is left out. Real paths.
    static std::vector<SupportRoot> supportRootsFor(const std::string& home, const XdgHomes& given = {},
                                                    const std::vector<std::string>& userFolders = {});
};

struct AppInventory {
    std::vector<InstalledApp> apps;     // largest footprint (bundle plus leftovers) first
    std::vector<LeftoverItem> orphans;  // largest first
    std::shared_ptr<const PlaceRegistry> places; // what the check was made against; never null
};

namespace AppUninstaller {

// Orphans smaller than this are not worth listing.
inline constexpr std::int64_t orphanMinimum = 2'000'000;
// How many sizes are measured at once (each measure is a scan with threads of its own).
inline constexpr int measureConcurrency = 4;

// The whole discovery: the apps with their sizes and leftovers, and the orphans. Blocks while
// every bundle and support item is measured; call it off the GUI thread. Never fails: what
// cannot be read contributes nothing. Only what would pass the check made before a move is
// offered: an app whose bundle would fail it is a system app, and a support item that would fail
// it is nobody's leftover and no orphan.
AppInventory scan(const AppSources& sources);

// Bytes on disk of a file or folder tree, hidden entries included; 0 when it cannot be read.
std::int64_t directorySize(const std::string& path);

// Index items whose names point at the app: its reverse-DNS identifier in the name, the
// identifier's last word (four characters or more) in a name holding "com", or the app's name
// (five characters or more) as the whole name. Index order.
std::vector<LeftoverItem> match(const InstalledApp& app, const std::vector<LeftoverItem>& index);

// Items of the desktop (its folders, fonts, wallpapers, themes, icons, keyrings, password stores
// and wallets), of other vendors' shared data, of container and virtual-machine stores, and the
// folders of an installation prefix (bin, lib, share, ...): never anyone's leftovers. Names are
// compared without case.
bool isProtected(std::string_view path);

// What a removal did. A path the check before the move refused is not handed to the Trash: it is
// listed in `refused` and in the outcome's `failed` with the text refusalText() gives; one gone
// since it was listed is only in `failed`, with the system's reason.
struct Removal {
    TrashService::Outcome outcome;
    std::vector<std::string> refused;
    bool bundleMoved = false; // uninstall only: the bundle went, so the rest was tried
};
// Moves the paths with their sizes to the Trash, against the places the check was made with.
using Trasher = std::function<TrashService::Outcome(const std::vector<std::string>&,
                                                    const std::unordered_map<std::string, std::int64_t>&,
                                                    const PlaceRegistry&)>;

// "Could not remove NAME: it is not this app's own", NAME the path's last component (raw bytes).
std::string refusalText(const std::string& path);

// Moves the app to the Trash: its bundle first and, only once that has moved, its desktop file
// and leftovers, one at a time. Just before each move the path is checked against the desktop as
// it is then (sources read afresh): its real path lies inside the real home and is the path that
// was listed, it is the user's, it is no support root, default base folder (~/.local/share,
// ~/.config, ~/.cache, ~/.local/state), named folder or the home and holds none, nor the desktop's
// Trash, launchers or icons, it is no place (Places: a Trash, a shared folder, a mount point; the
// sources' places, else looked at once for the whole removal) and holds none, it holds no other
// app's program or launcher, a leftover is not protected nor named like an entry of a system
// folder, and a bundle folder is still the program's own folder. A system app is never moved (an
// empty result). Synchronous.
Removal uninstall(const InstalledApp& app, const AppSources& sources, const Trasher& trash);
// Moves one orphan to the Trash after the same check (it may hold no app's program or launcher).
Removal removeOrphan(const LeftoverItem& item, const AppSources& sources, const Trasher& trash);
// The paths uninstall() hands to the Trash, in order: bundle, desktop file, leftovers.
std::vector<std::string> uninstallPaths(const InstalledApp& app);

} // namespace AppUninstaller

} // namespace tallymere
