#pragma once
#include <string>
#include <vector>

namespace tallymere {

// Where the names of installed software are read; the defaults are the running system.
struct InstalledNameSources {
    std::string dpkgStatus = "/var/lib/dpkg/status";
    std::string path;                      // a PATH value; empty means this process's PATH
    std::vector<std::string> flatpakApps;  // folders whose subfolders are Flatpak IDs; empty means the system's
    std::string snapRoot = "/snap";
};

namespace InstalledNames {

// The names of installed software, so that the settings of a program still installed are never
// taken for leftovers of a removed one: packages dpkg reports as installed, program files in the
// PATH folders, Flatpak application IDs (user and system installations) and Snap names. Unreadable
// sources add nothing. Blocking; call it off the GUI thread.
std::vector<std::string> read(const InstalledNameSources& sources = {});

// Package names of dpkg status text whose Status line ends in "installed".
std::vector<std::string> parseDpkgStatus(const std::string& text);

} // namespace InstalledNames

} // namespace tallymere
