#include "platform/UserFolders.h"

#include "platform/PathGate.h"
#include "platform/PhysicalPath.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

namespace tallymere::UserFolders {
namespace {

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string absoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    if (!value || value[0] != '/') return {};
    return withoutTrailingSlashes(value);
}

std::string homeFromPasswordDatabase() {
    long bufferSize = sysconf(_SC_GETPW_R_SIZE_MAX);
    if (bufferSize <= 0) bufferSize = 16384;
    std::vector<char> buffer(static_cast<std::size_t>(bufferSize));
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir ||
        found->pw_dir[0] != '/')
        return {};
    return withoutTrailingSlashes(found->pw_dir);
}

// The first 64 KiB of a regular file; nothing for a pipe or a device, which could keep a reader
// waiting or reading forever, nor for a file on a mount that does not answer within the gate's bound.
std::string readSmallFile(const std::string& path) {
    PathGate::Text read = PathGate::readFile(path, 0, 1 << 16);
    return read.error ? std::string() : std::move(read.text);
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

} // namespace

std::string home() {
    // "/" is nobody's home of their own (a service's environment gives it): taken as one, settings,
    // the Trash and snapshots would be made in the system's root folder.
    std::string fromEnvironment = absoluteVariable("HOME");
    if (!fromEnvironment.empty() && fromEnvironment != "/") return fromEnvironment;
    return homeFromPasswordDatabase();
}

std::string physicalHome() {
    // Labels ask for every crumb and header they draw: resolve once per home the environment names.
    thread_local std::string written, physical;
    std::string folder = home();
    if (folder != written || physical.empty()) {
        physical = physicalPath(folder);
        if (physical.empty()) physical = folder;
        written = std::move(folder);
    }
    return physical;
}

bool isHome(const std::string& path) {
    if (path.empty()) return false;
    const std::string folder = home();
    return path == folder || (!folder.empty() && path == physicalHome());
}

namespace {

// The folder an XDG variable names when it is an absolute path, else its default below the home.
// "/" is no one's data or configuration folder, as it is no one's home.
std::string baseFolder(const char* variable, const char* belowHome) {
    std::string fromEnvironment = absoluteVariable(variable);
    if (!fromEnvironment.empty() && fromEnvironment != "/") return fromEnvironment;
    const std::string folder = home();
    if (folder.empty()) return {};
    return (folder == "/" ? std::string() : folder) + belowHome;
}

} // namespace

std::string dataHome() { return baseFolder("XDG_DATA_HOME", "/.local/share"); }

std::string configHome() { return baseFolder("XDG_CONFIG_HOME", "/.config"); }

std::vector<std::string> systemDataFolders() {
    std::vector<std::string> folders;
    const char* value = std::getenv("XDG_DATA_DIRS");
    const std::string_view list = value ? value : "";
    for (std::size_t start = 0; start < list.size();) {
        const std::size_t end = std::min(list.find(':', start), list.size());
        if (end > start && list[start] == '/') folders.emplace_back(list.substr(start, end - start));
        start = end + 1;
    }
    if (folders.empty()) folders = {"/usr/local/share", "/usr/share"};
    return folders;
}

std::vector<std::string> parseNamedFolders(std::string_view text, const std::string& home) {
    std::vector<std::string> folders;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const auto equals = line.find('=');
        if (line.empty() || line.front() == '#' || equals == std::string_view::npos) continue;
        const std::string_view key = trimmed(line.substr(0, equals));
        if (!key.starts_with("XDG_") || !key.ends_with("_DIR")) continue;
        std::string_view value = trimmed(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        std::string path;
        if (value.starts_with("$HOME")) path = home + std::string(value.substr(5));
        else if (value.starts_with('/')) path = std::string(value);
        else continue;
        path = withoutTrailingSlashes(path);
        if (path != withoutTrailingSlashes(home)) folders.push_back(std::move(path));
    }
    return folders;
}

std::vector<std::string> namedFolders() {
    const std::string folder = home();
    if (folder.empty()) return {};
    std::vector<std::string> folders;
    constexpr std::array<const char*, 8> usual = {"Desktop", "Documents", "Downloads", "Music",
                                                  "Pictures", "Public", "Templates", "Videos"};
    for (const char* name : usual) folders.push_back(folder + '/' + name);
    std::vector<std::string> files{folder + "/.config/user-dirs.dirs"};
    if (const std::string config = absoluteVariable("XDG_CONFIG_HOME"); !config.empty())
        files.insert(files.begin(), config + "/user-dirs.dirs");
    for (const std::string& file : files)
        for (std::string& named : parseNamedFolders(readSmallFile(file), folder))
            if (std::find(folders.begin(), folders.end(), named) == folders.end()) folders.push_back(std::move(named));
    return folders;
}

} // namespace tallymere::UserFolders
