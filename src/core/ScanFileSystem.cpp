#include "core/ScanFileSystem.h"

#include "base/PathText.h"
#include "platform/PathGate.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>

namespace tallymere::ScanFileSystem {

namespace {

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;
// A stretch of a long path opened at once, well below PATH_MAX.
constexpr std::size_t longPathStretch = 2048;

bool examineWithFstatat(int dirFd, const char* name, EntryInfo& info) {
    struct stat st;
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    info = entryInfoOf(st);
    return true;
}

long openat2(int dirFd, const char* path, std::uint64_t resolve) {
    open_how how{};
    how.flags = folderFlags;
    how.resolve = resolve;
    return ::syscall(SYS_openat2, dirFd, path, &how, sizeof how);
}

// openat2 refuses every symbolic link on the way; plain openat (older kernels) only the last one.
// Tried first without passing into another mount, which the kernel tells apart at no cost, so only
// a mount point sets `crossed`.
int openOne(int dirFd, const char* path, Capabilities& capabilities, bool& crossed) {
    crossed = false;
    if (!capabilities.noOpenat2.load(std::memory_order_relaxed)) {
        long fd = openat2(dirFd, path, RESOLVE_NO_SYMLINKS | RESOLVE_NO_XDEV);
        if (fd < 0 && errno == EXDEV) {
            crossed = true;
            fd = openat2(dirFd, path, RESOLVE_NO_SYMLINKS);
        }
        if (fd >= 0) return static_cast<int>(fd);
        // A kernel or sandbox without openat2 answers ENOSYS (some sandboxes EPERM).
        if (errno != ENOSYS && errno != EPERM) return -1;
        capabilities.noOpenat2.store(true, std::memory_order_relaxed);
    }
    crossed = true;
    return ::openat(dirFd, path, folderFlags);
}

} // namespace

bool examine(int dirFd, const char* name, EntryInfo& info, Capabilities& capabilities) {
    if (capabilities.noStatx.load(std::memory_order_relaxed)) return examineWithFstatat(dirFd, name, info);
    struct statx sx;
    constexpr unsigned mask =
        STATX_TYPE | STATX_NLINK | STATX_INO | STATX_SIZE | STATX_BLOCKS | STATX_MTIME | STATX_BTIME;
    if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, mask, &sx) != 0) {
        if (errno != ENOSYS) return false;
        capabilities.noStatx.store(true, std::memory_order_relaxed);
        return examineWithFstatat(dirFd, name, info);
    }
    info.type = sx.stx_mode & S_IFMT;
    info.links = sx.stx_nlink;
    info.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    info.inode = sx.stx_ino;
    info.size = static_cast<std::int64_t>(sx.stx_size);
    info.allocated = static_cast<std::int64_t>(sx.stx_blocks) * 512;
    info.modified = static_cast<double>(sx.stx_mtime.tv_sec);
    info.created = (sx.stx_mask & STATX_BTIME) ? static_cast<double>(sx.stx_btime.tv_sec) : 0.0;
    return true;
}

int openChild(int dirFd, const char* name, Capabilities& capabilities, bool& crossed) {
    return openOne(dirFd, name, capabilities, crossed);
}

bool isVirtualOrNetworkNow(dev_t device) {
    for (const MountEntry& mount : *MountTable::current())
        if (static_cast<dev_t>(MountTable::deviceOf(mount)) == device && MountTable::isVirtualOrNetwork(mount.fsType))
            return true;
    return false;
}

int openFolder(int rootFd, std::string_view relative, Capabilities& capabilities, bool& crossed) {
    crossed = false;
    if (relative.empty()) return ::openat(rootFd, ".", folderFlags);
    if (relative.size() < PATH_MAX) return openOne(rootFd, std::string(relative).c_str(), capabilities, crossed);
    crossed = true;

    // Too long for one call: open it a stretch of whole names at a time, each relative to the last.
    int current = rootFd;
    std::size_t start = 0;
    while (start < relative.size()) {
        std::size_t end = relative.size();
        if (end - start > longPathStretch) {
            end = relative.rfind('/', start + longPathStretch);
            if (end == std::string_view::npos || end <= start) end = relative.find('/', start);
            if (end == std::string_view::npos) end = relative.size();
        }
        const std::string stretch(relative.substr(start, end - start));
        bool ignored = false;
        const int next = openOne(current, stretch.c_str(), capabilities, ignored);
        const int savedErrno = errno;
        if (current != rootFd) ::close(current);
        if (next < 0) {
            errno = savedErrno;
            return -1;
        }
        current = next;
        start = end + 1;
    }
    return current;
}

Boundaries boundaries(const std::vector<MountEntry>& mounts, std::string_view rootPath, dev_t rootDevice) {
    Boundaries result;
    const std::string prefix = rootPath == "/" ? std::string("/") : std::string(rootPath) + "/";
    for (const MountEntry& mount : mounts) {
        if (!MountTable::isVirtualOrNetwork(mount.fsType)) continue;
        const dev_t device = static_cast<dev_t>(MountTable::deviceOf(mount));
        if (device == rootDevice) continue;
        result.devices.insert(device);
        if (mount.mountPoint.size() > prefix.size() && mount.mountPoint.starts_with(prefix))
            result.mountPoints.insert(mount.mountPoint);
    }
    return result;
}

MountPoints lookAtMountPoints(const std::vector<MountEntry>& mounts, std::string_view rootPath,
                              const Boundaries& boundaries, const std::unordered_set<std::string>& excludedPaths) {
    MountPoints result;
    const std::string prefix = rootPath == "/" ? std::string("/") : std::string(rootPath) + "/";
    // At or below a path the scan never enters: never met, so never looked at.
    const auto isLeftOut = [&](const std::string& mountPoint) {
        for (std::size_t end = mountPoint.find('/', prefix.size()); ; end = mountPoint.find('/', end + 1)) {
            const std::string_view upTo = std::string_view(mountPoint).substr(0, end);
            if (boundaries.mountPoints.contains(upTo) || excludedPaths.contains(std::string(upTo))) return true;
            if (end == std::string::npos) return false;
        }
    };
    std::vector<std::string> mountPoints;
    for (const MountEntry& mount : mounts) {
        if (mount.mountPoint.size() <= prefix.size() || !mount.mountPoint.starts_with(prefix)) continue;
        if (boundaries.devices.contains(static_cast<dev_t>(MountTable::deviceOf(mount))) || isLeftOut(mount.mountPoint))
            continue;
        if (std::find(mountPoints.begin(), mountPoints.end(), mount.mountPoint) == mountPoints.end())
            mountPoints.push_back(mount.mountPoint);
    }
    if (mountPoints.empty()) return result;

    const std::vector<PathGate::Status> looks = PathGate::lstatEach(mountPoints);
    for (std::size_t i = 0; i < mountPoints.size(); ++i) {
        if (looks[i].error == PathGate::notAnswering) result.unanswered.insert(mountPoints[i]);
        else if (looks[i].error == 0 && S_ISREG(looks[i].info.st_mode))
            result.files.emplace_back(looks[i].info.st_dev, looks[i].info.st_ino);
        else if (looks[i].error == 0 && S_ISDIR(looks[i].info.st_mode) && PathGate::needsHelper(mountPoints[i]))
            result.remote.emplace_back(mountPoints[i], entryInfoOf(looks[i].info));
    }
    return result;
}

EntryInfo entryInfoOf(const struct stat& st) {
    EntryInfo info;
    info.type = st.st_mode & S_IFMT;
    info.links = st.st_nlink;
    info.device = st.st_dev;
    info.inode = st.st_ino;
    info.size = st.st_size;
    info.allocated = static_cast<std::int64_t>(st.st_blocks) * 512;
    info.modified = static_cast<double>(st.st_mtim.tv_sec);
    return info;
}

RepeatedMounts repeatedMounts(const std::vector<MountEntry>& mounts) {
    RepeatedMounts result;
    result.everyDevice = mounts.empty();
    for (const MountEntry& mount : mounts) {
        // The scan never enters these, so they cannot be met twice.
        if (MountTable::isVirtualOrNetwork(mount.fsType)) continue;
        const dev_t device = static_cast<dev_t>(MountTable::deviceOf(mount));
        if (std::find(result.listed.begin(), result.listed.end(), device) == result.listed.end())
            result.listed.push_back(device);
        else if (std::find(result.repeated.begin(), result.repeated.end(), device) == result.repeated.end())
            result.repeated.push_back(device);
    }
    return result;
}

} // namespace tallymere::ScanFileSystem
