#pragma once
#include <optional>
#include <string>
#include <vector>

namespace tallymere {

// One launcher of the desktop: a desktop entry of type Application that is shown in menus (neither
// Hidden nor NoDisplay), as the desktop's own library resolves it (file IDs, data-folder order,
// a user's entry shadowing a system one of the same ID).
struct DesktopEntry {
    std::string id;              // the desktop-file ID, "org.gnome.Calculator.desktop"
    std::string filePath;        // the .desktop file
    std::string name;            // Name, localised for the user's language
    std::string iconName;        // Icon: a theme icon name or an absolute image path; may be empty
    std::string program;         // TryExec, else the program of Exec (as written: a path or a bare name)
    std::string appImageVersion; // X-AppImage-Version, empty without it
    friend bool operator==(const DesktopEntry&, const DesktopEntry&) = default;
};

namespace DesktopEntries {

// Every shown application entry of the XDG data folders ($XDG_DATA_HOME, $XDG_DATA_DIRS), in the
// library's order. Thread-safe; the library watches the folders, so a later call sees changes.
std::vector<DesktopEntry> list();

// One launcher file read as list() reads it, under the given desktop-file ID, without the
// library's process-wide cache of the data folders; nothing when it is not a shown application.
std::optional<DesktopEntry> read(const std::string& filePath, const std::string& id);

// The program's full path: an absolute name as it is, a bare name looked up on PATH; empty when
// it cannot be found.
std::string resolveProgram(const std::string& program);

// The newest release version an AppStream file gives for the desktop ID, looked up in the
// "metainfo" and "appdata" folders beside the entry's "applications" folder; empty when none.
std::string appStreamVersion(const std::string& desktopFilePath, const std::string& desktopId);

} // namespace DesktopEntries

} // namespace tallymere
