#pragma once
#include "services/LeftoverItem.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tallymere {

// An application the desktop launches. Identified by `path`.
//
// For an app the user installed by themselves (an AppImage or another program under the home
// folder, launched by an entry in the user's own applications folder), `path` is its bundle: the
// program folder when that folder is this one program's own, else the program file. Uninstalling
// moves it, its desktop file and its leftovers to the Trash. Any other app (packaged, Flatpak,
// Snap, or one whose files are not the user's own) is a system app: `path` is its desktop file,
// shown but never moved.
struct InstalledApp {
    std::string name;        // the launcher's name
    std::string path;        // the bundle (raw bytes)
    std::string bundleID;    // the desktop-file ID without ".desktop" when it is reverse-DNS, else ""
    std::string version;     // "—" when unknown
    std::int64_t size = 0;   // bytes on disk of the bundle
    std::optional<double> lastUsed; // seconds since 1970: the program's access, else modification time
    bool isSystem = true;
    std::vector<LeftoverItem> leftovers; // largest first
    std::string desktopFile; // the launcher's .desktop file
    std::string iconName;    // a theme icon name or an image path; may be empty
    std::string program;     // the real path of the program the launcher runs; empty when not found

    const std::string& id() const { return path; }
    friend bool operator==(const InstalledApp&, const InstalledApp&) = default;
};

} // namespace tallymere
