#include "platform/OwnPlace.h"

#include "base/PathText.h"
#include "platform/PathGate.h"
#include "platform/UserFolders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tallymere::OwnPlace {
namespace {

using PathText::isAtOrInside;

// Why nothing is to be made below the home folder: it is not there, or is no folder. A home not
// mounted yet, or a HOME naming a folder that is gone, is not made again by making what lies
// below it: what would be made there would be hidden once the home is mounted over it, or left
// with the system's owner where no home belongs.
std::string whyNoHome(const std::string& path) {
    const std::string home = PathText::standardized(UserFolders::home());
    if (home.empty() || home == "/" || !isAtOrInside(path, home)) return {};
    const PathGate::Status look = PathGate::stat(home);
    if (look.error == PathGate::notAnswering) return "the home folder " + home + " does not answer";
    if (look.error != 0)
        return look.error == ENOENT || look.error == ENOTDIR ? "the home folder " + home + " does not exist" : std::string();
    return S_ISDIR(look.info.st_mode) ? std::string() : "the home folder " + home + " is not a folder";
}

} // namespace

std::string whyNotOwn(const std::string& written) {
    if (written.empty() || written.front() != '/') return written + " is not an absolute path";
    const std::string path = PathText::standardized(written);
    if (std::string missing = whyNoHome(path); !missing.empty()) return missing;
    const uid_t uid = getuid();
    // Component by component as written, so each link on the way is seen before it is followed.
    std::string reached = "/";
    std::size_t start = 1;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string next = (reached == "/" ? "/" : reached + "/") + path.substr(start, end - start);
        const PathGate::Status look = PathGate::lstat(next);
        if (look.error == PathGate::notAnswering) return next + " does not answer";
        if (look.error != 0) break;
        if (S_ISLNK(look.info.st_mode) && look.info.st_uid != uid && look.info.st_uid != 0)
            return next + " is a link of another user";
        reached = next;
        start = end + 1;
    }
    const PathGate::Status look = PathGate::stat(reached);
    if (look.error == PathGate::notAnswering) return reached + " does not answer";
    if (look.error != 0) return {}; // nothing there to belong to anyone: the write says why
    if (look.info.st_uid != uid) return reached + " belongs to another user";
    return {};
}

} // namespace tallymere::OwnPlace
