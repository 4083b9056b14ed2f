#pragma once
#include "base/PathText.h"
#include "platform/Places.h"
#include "services/AppUninstaller.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// What makes a file or folder one application's own: the bundle a program under the home belongs
// to, and the check made before anything is moved. Shared by discovery and removal.
namespace tallymere::AppOwnership {

std::string_view leaf(std::string_view path);
using PathText::isAtOrInside;
using PathText::isInside;
std::string lowerAscii(std::string_view text);
// The path with every link resolved; empty when it cannot be resolved (missing, unreadable, or
// on a file system that does not answer).
std::string realPath(const std::string& path);
// The real path of the nearest existing folder at or above the path, followed by the components
// that do not exist yet; empty when even that fails.
std::string physicalPath(const std::string& path);

// The bundle of a program file under the home (both real paths): the first folder below one of
// the home's program folders (~/Applications, ~/opt, ~/.local/opt, ...) when that folder is this
// program's own, else the program file itself. The folder is not the program's own when it is a
// prefix folder (bin, lib, libexec, sbin, share) or holds one anywhere inside, when it holds any
// of `others` (other launchers' programs and launcher files), or when it holds another executable
// file or AppImage anywhere inside (shared libraries aside).
std::string bundleOf(const std::string& program, const std::string& home, const std::vector<std::string>& others);

// A launcher as the check sees it.
struct Launcher {
    std::string file;    // the desktop file's real path
    std::string program; // the real path of the program it runs; empty when not found
};

// What the check compares against, gathered at one moment.
struct Guard {
    std::string home;               // real path; empty or "/" lets nothing through
    // Support roots, the user's named folders, the base folders' defaults (~/.local/share,
    // ~/.config, ~/.cache, ~/.local/state) and the desktop's Trash, launchers and icons (real paths).
    std::vector<std::string> fixed;
    std::vector<Launcher> launchers; // one for each entry given to from(), in its order
    // The names of the system folders' entries, in lower case, sorted.
    std::vector<std::string> systemNames;
    // The places as they were (the sources', else looked at now): what is one, or holds one, is never
    // moved. Never null.
    std::shared_ptr<const PlaceRegistry> places;

    static Guard from(const AppSources& sources, const std::vector<DesktopEntry>& entries);
};

enum class Role { bundle, launcher, supportItem };

// Whether the item at `path` may be moved now as `owner`'s bundle, launcher or support item
// (owner null: an orphan, nobody's). Its parent is resolved now and the item itself is not
// followed; the path must already be that physical path, lie strictly inside the home, belong to
// the user, be and hold no fixed folder, and hold no launcher file or program other than the
// owner's. It must be no place and hold none (by its identity), nor be a mount point. A support
// item must not be protected nor named like a system folder's entry; a bundle must still be what
// bundleOf() gives for the owner's program.
bool allows(const Guard& guard, const std::string& path, Role role, const InstalledApp* owner);
// The same for an entry of a folder whose real path the caller resolved a moment ago (a support
// root while it is being listed), which spares resolving it once for every entry.
bool allowsIn(const Guard& guard, const std::string& realFolder, std::string_view name, Role role, const InstalledApp* owner);

} // namespace tallymere::AppOwnership
