#include "platform/OwnPlace.h"

#include "base/PathText.h"

#include <sys/stat.h>
#include <unistd.h>

namespace tallymere::OwnPlace {

std::string whyNotOwn(const std::string& written) {
    if (written.empty() || written.front() != '/') return written + " is not an absolute path";
    const std::string path = PathText::standardized(written);
    const uid_t uid = getuid();
    // Component by component as written, so each link on the way is seen before it is followed.
    std::string reached = "/";
    std::size_t start = 1;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string next = (reached == "/" ? "/" : reached + "/") + path.substr(start, end - start);
        struct stat info {};
        if (lstat(next.c_str(), &info) != 0) break;
        if (S_ISLNK(info.st_mode) && info.st_uid != uid && info.st_uid != 0)
            return next + " is a link of another user";
        reached = next;
        start = end + 1;
    }
    struct stat info {};
    if (stat(reached.c_str(), &info) != 0) return {}; // nothing there to belong to anyone: the write says why
    if (info.st_uid != uid) return reached + " belongs to another user";
    return {};
}

} // namespace tallymere::OwnPlace
