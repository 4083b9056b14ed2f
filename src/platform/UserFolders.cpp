#include "platform/UserFolders.h"

#include <pwd.h>
#include <unistd.h>

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

} // namespace

std::string home() {
    std::string fromEnvironment = absoluteVariable("HOME");
    if (!fromEnvironment.empty()) return fromEnvironment;
    return homeFromPasswordDatabase();
}

std::string dataHome() {
    std::string fromEnvironment = absoluteVariable("XDG_DATA_HOME");
    if (!fromEnvironment.empty()) return fromEnvironment;
    const std::string folder = home();
    if (folder.empty()) return {};
    return (folder == "/" ? std::string() : folder) + "/.local/share";
}

} // namespace tallymere::UserFolders
