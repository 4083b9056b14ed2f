#include "platform/gate/MountPlace.h"

#include "base/PathText.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace tallymere::gate {
namespace {

// The most links one path may pass through, as the kernel allows.
constexpr int mostLinks = 40;

// For each mount point, whether its topmost mount may not answer; looked up once per name on a
// path's way, where a walk of the table would cost a comparison per mount.
struct MountIndex {
    std::shared_ptr<const std::vector<MountEntry>> table;
    std::unordered_map<std::string, bool> mayNotAnswer;
    bool anyMayNotAnswer = false;
};

MountIndex indexOf(std::shared_ptr<const std::vector<MountEntry>> table) {
    MountIndex index;
    // A later line mounted at the same place covers the earlier ones.
    for (const MountEntry& mount : *table) index.mayNotAnswer[mount.mountPoint] = MountTable::mayNotAnswer(mount.fsType);
    for (const auto& [point, doubtful] : index.mayNotAnswer) index.anyMayNotAnswer |= doubtful;
    index.table = std::move(table);
    return index;
}

std::shared_ptr<const MountIndex> currentIndex() {
    static std::mutex lock;
    static std::shared_ptr<const MountIndex> cached;
    auto table = MountTable::current();
    std::lock_guard guard(lock);
    if (!cached || cached->table != table) cached = std::make_shared<const MountIndex>(indexOf(std::move(table)));
    return cached;
}

bool isUnansweringMount(const MountIndex& index, const std::string& point) {
    const auto found = index.mayNotAnswer.find(point);
    return found != index.mayNotAnswer.end() && found->second;
}

// The deepest mount on the way to an absolute, link-free path that may not answer; empty for none.
std::string unansweringOnTheWay(const MountIndex& index, std::string_view path) {
    if (!index.anyMayNotAnswer) return {};
    std::string found = isUnansweringMount(index, "/") ? "/" : "";
    std::string prefix;
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) {
            prefix.append("/").append(path.substr(start, end - start));
            if (isUnansweringMount(index, prefix)) found = prefix;
        }
        start = end + 1;
    }
    return found;
}

using PathText::joined;

std::deque<std::string> componentsOf(std::string_view path) {
    std::deque<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start && path.substr(start, end - start) != ".") parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

Place failed(int error) {
    Place place;
    place.error = error;
    return place;
}

Place forHelper(std::string path, std::string mountPoint) {
    Place place;
    place.needsHelper = true;
    place.path = std::move(path);
    place.mountPoint = std::move(mountPoint);
    return place;
}

// One name at a time from "/", each link read and spliced into the way, until the way ends or
// enters a mount that may not answer.
Place walk(const MountIndex& index, std::deque<std::string> rest, Reach reach) {
    std::string resolved = "/";
    if (isUnansweringMount(index, "/")) {
        std::string path = "/";
        for (const std::string& part : rest) path = joined(path, part);
        return forHelper(path, "/");
    }
    OwnedFd folder(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder) return failed(errno);
    int links = 0;
    while (!rest.empty()) {
        const std::string name = std::move(rest.front());
        rest.pop_front();
        const bool last = rest.empty();
        if (name == "..") {
            // The folder above a physical path is its parent by text; ".." is never a link.
            OwnedFd up(::openat(folder.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
            if (!up) return failed(errno);
            folder = std::move(up);
            resolved = PathText::parent(resolved);
            continue;
        }
        const std::string candidate = joined(resolved, name);
        if (isUnansweringMount(index, candidate)) {
            std::string path = candidate;
            for (const std::string& part : rest) path = joined(path, part);
            return forHelper(path, candidate);
        }
        if (last && reach == Reach::folder) {
            Place place;
            place.handle = std::move(folder);
            place.name = name;
            place.path = candidate;
            return place;
        }
        OwnedFd next(::openat(folder.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (!next) return failed(errno);
        struct stat info {};
        if (::fstatat(next.get(), "", &info, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) != 0) return failed(errno);
        if (last && reach == Reach::itemItself) {
            Place place;
            place.handle = std::move(next);
            place.path = candidate;
            place.info = info;
            place.hasInfo = true;
            return place;
        }
        if (S_ISLNK(info.st_mode)) {
            if (++links > mostLinks) return failed(ELOOP);
            char target[PATH_MAX];
            const ssize_t length = ::readlinkat(next.get(), "", target, sizeof target);
            if (length < 0) return failed(errno);
            const std::string_view written(target, static_cast<std::size_t>(length));
            std::deque<std::string> spliced = componentsOf(written);
            rest.insert(rest.begin(), spliced.begin(), spliced.end());
            if (!written.empty() && written.front() == '/') {
                folder = OwnedFd(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
                if (!folder) return failed(errno);
                resolved.assign(1, '/');
            }
            continue;
        }
        if (!last && !S_ISDIR(info.st_mode)) return failed(ENOTDIR);
        folder = std::move(next);
        resolved = candidate;
    }
    Place place;
    place.handle = std::move(folder);
    place.path = resolved;
    if (reach == Reach::folder) {
        // The way ended on a folder reached through "..", or on "/": the item is that folder itself.
        OwnedFd above(::openat(place.handle.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!above) return failed(errno);
        place.name = resolved == "/" ? "." : PathText::lastComponent(resolved);
        if (resolved != "/") place.handle = std::move(above);
    }
    return place;
}

long openWithoutLinks(const std::string& path) {
    open_how how{};
    how.flags = O_PATH | O_NOFOLLOW | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS;
    return ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
}

} // namespace

std::string unansweringMountOnTheWay(const std::vector<MountEntry>& mounts, std::string_view absolutePath) {
    return unansweringOnTheWay(indexOf(std::make_shared<const std::vector<MountEntry>>(mounts)), absolutePath);
}

std::string unansweringMountOnTheWay(std::string_view absolutePath) {
    return unansweringOnTheWay(*currentIndex(), absolutePath);
}

Place locate(const std::string& path, Reach reach) {
    if (path.empty()) return failed(ENOENT);
    std::string absolute = path;
    if (path.front() != '/') {
        char working[PATH_MAX];
        if (!::getcwd(working, sizeof working)) return failed(errno);
        absolute = joined(working, path);
    }
    const std::shared_ptr<const MountIndex> index = currentIndex();
    std::deque<std::string> parts = componentsOf(absolute);
    bool hasUp = false;
    for (const std::string& part : parts) hasUp |= part == "..";
    if (hasUp || parts.empty()) return walk(*index, std::move(parts), reach);

    // The common case, in one call: a way with no link on it that passes only through mounts that
    // answer. The kernel refuses every link on the way rather than following it, and opens a link
    // at the end as itself.
    std::string text;
    text.reserve(absolute.size());
    for (const std::string& part : parts) text.append("/").append(part);
    if (std::string mount = unansweringOnTheWay(*index, text); !mount.empty()) return forHelper(text, std::move(mount));
    const long fd = openWithoutLinks(reach == Reach::folder ? PathText::parent(text) : text);
    if (fd < 0) {
        // A path longer than the kernel takes at once is followed one name at a time.
        if (errno == ELOOP || errno == ENOSYS || errno == EPERM || errno == EXDEV || errno == ENAMETOOLONG)
            return walk(*index, std::move(parts), reach);
        return failed(errno);
    }
    Place place;
    place.handle = OwnedFd(static_cast<int>(fd));
    if (::fstatat(place.handle.get(), "", &place.info, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) != 0) return failed(errno);
    const bool linkToFollow = S_ISLNK(place.info.st_mode) && reach != Reach::itemItself;
    if (linkToFollow) return walk(*index, std::move(parts), reach);
    place.path = text;
    if (reach == Reach::folder) place.name = parts.back();
    else place.hasInfo = true;
    return place;
}

} // namespace tallymere::gate
