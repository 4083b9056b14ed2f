#include "platform/InstalledNames.h"

#include "platform/PathGate.h"
#include "platform/ProcReader.h"

#include <sys/stat.h>

#include <cstdlib>
#include <iterator>
#include <string_view>

namespace tallymere::InstalledNames {

namespace {

// Through the gate: a folder of PATH, or a home, on a mount whose server stopped answering gives
// nothing within the gate's bound, instead of holding the discovery.
void listFolder(const std::string& folder, std::vector<std::string>& out, bool foldersOnly) {
    std::vector<std::string> names = PathGate::list(folder).names;
    if (!foldersOnly) {
        out.insert(out.end(), std::make_move_iterator(names.begin()), std::make_move_iterator(names.end()));
        return;
    }
    std::vector<std::string> paths;
    for (const std::string& name : names) paths.push_back(folder + '/' + name);
    const std::vector<PathGate::Status> kinds = PathGate::lstatEach(paths);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const mode_t mode = kinds[i].info.st_mode;
        if (kinds[i].error || S_ISDIR(mode) || S_ISLNK(mode)) out.push_back(std::move(names[i]));
    }
}

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    return home && *home == '/' ? std::string(home) : std::string();
}

} // namespace

std::vector<std::string> parseDpkgStatus(const std::string& text) {
    std::vector<std::string> names;
    std::string package;
    bool installed = false;
    auto flush = [&] {
        if (!package.empty() && installed) names.push_back(package);
        package.clear();
        installed = false;
    };
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto end = std::min(text.find('\n', start), text.size());
        const std::string_view line(text.data() + start, end - start);
        if (line.empty()) flush();
        else if (line.starts_with("Package: ")) package = std::string(line.substr(9));
        else if (line.starts_with("Status: ")) installed = line.ends_with(" installed");
        start = end + 1;
    }
    flush();
    return names;
}

std::vector<std::string> read(const InstalledNameSources& sources) {
    std::vector<std::string> names;
    std::string status;
    if (ProcReader::readFile(sources.dpkgStatus.c_str(), status, 256u << 20)) names = parseDpkgStatus(status);

    const char* envPath = std::getenv("PATH");
    const std::string path = !sources.path.empty() ? sources.path : envPath ? std::string(envPath) : std::string();
    std::size_t start = 0;
    while (start <= path.size()) {
        const auto end = std::min(path.find(':', start), path.size());
        const std::string folder = path.substr(start, end - start);
        if (!folder.empty() && folder.front() == '/') listFolder(folder, names, false);
        start = end + 1;
    }

    std::vector<std::string> flatpak = sources.flatpakApps;
    if (flatpak.empty()) {
        flatpak.push_back("/var/lib/flatpak/app");
        if (const std::string home = homeFolder(); !home.empty()) flatpak.push_back(home + "/.local/share/flatpak/app");
    }
    for (const std::string& folder : flatpak) listFolder(folder, names, true);
    listFolder(sources.snapRoot, names, true);
    return names;
}

} // namespace tallymere::InstalledNames
