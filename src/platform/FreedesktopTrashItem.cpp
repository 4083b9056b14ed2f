// The item to move as looked at: the walk to it without a link, the checks of it against the
// places by identity, and whether it is still the item chosen.
#include "platform/FreedesktopTrashParts.h"

#include "base/InodeTag.h"
#include "base/PathText.h"
#include "base/Utf8.h"
#include "platform/MountTable.h"
#include "platform/Places.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tallymere::FreedesktopTrash {
namespace {

// Whether the file system holding `folder` keeps an item's inode number for as long as the item
// exists. FAT and exFAT number an item anew each time it is read from the disk (after the kernel
// let go of it, or the stick was plugged in again), and FUSE and SMB mounts may too: there the
// number says nothing, and kind and birth time are what tells another item apart.
bool hasLastingInodeNumbers(int folder) {
    struct statfs info {};
    if (fstatfs(folder, &info) != 0) return false;
    switch (static_cast<unsigned long>(info.f_type)) {
    case MSDOS_SUPER_MAGIC:
    case EXFAT_SUPER_MAGIC:
    case FUSE_SUPER_MAGIC:
    case CIFS_SUPER_MAGIC:
    case 0xFE534D42ul: // SMB2
        return false;
    default:
        return true;
    }
}

bool isTrashEntry(const Place& place) { return place.kind == Place::Kind::trash && !place.holds; }

} // namespace

std::uint64_t mountIdOf(int fd) {
    struct statx info {};
    if (statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &info) != 0 || !(info.stx_mask & STATX_MNT_ID))
        return 0;
    return info.stx_mnt_id;
}

Reached openFolderWithoutLinks(const std::string& path, OwnedFd& out, int& error,
                               std::vector<WalkedFolder>* walked) {
    OwnedFd folder(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat top {};
    if (!folder || (walked && fstat(folder.get(), &top) != 0)) {
        error = errno;
        return Reached::failed;
    }
    if (walked) walked->push_back({top.st_dev, top.st_ino, mountIdOf(folder.get()), {}});
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) {
            const std::string component = path.substr(start, end - start);
            // O_PATH with O_NOFOLLOW opens a link itself rather than failing, so fstat can tell it apart.
            OwnedFd next(openat(folder.get(), component.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
            if (!next) {
                error = errno;
                return Reached::failed;
            }
            struct stat info {};
            if (fstat(next.get(), &info) != 0) {
                error = errno;
                return Reached::failed;
            }
            if (S_ISLNK(info.st_mode)) return Reached::link;
            if (!S_ISDIR(info.st_mode)) {
                error = ENOTDIR;
                return Reached::failed;
            }
            if (walked) walked->push_back({info.st_dev, info.st_ino, mountIdOf(next.get()), component});
            folder = std::move(next);
        }
        start = end + 1;
    }
    out = std::move(folder);
    return Reached::folder;
}

bool isSameItem(int folder, const std::string& name, const Identity& expected) {
    struct statx now {};
    if (statx(folder, name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_TYPE | STATX_INO | STATX_BTIME, &now) != 0)
        return errno == ENOSYS; // nothing to compare with on a kernel without statx: the move decides
    const mode_t type = now.stx_mode & S_IFMT;
    const bool sameKind = (expected.kind == Identity::Kind::folder && type == S_IFDIR) ||
                          (expected.kind == Identity::Kind::link && type == S_IFLNK) ||
                          (expected.kind == Identity::Kind::file && type == S_IFREG);
    if (!sameKind || (hasLastingInodeNumbers(folder) && inodeTag(now.stx_ino) != expected.inodeTag)) return false;
    const bool bornKnown = (now.stx_mask & STATX_BTIME) && expected.created != 0;
    return !bornKnown || now.stx_btime.tv_sec == expected.created;
}

std::optional<std::string> whyChangedHere(const std::string& path, const Identity& expected) {
    if (path.empty() || path.front() != '/') return systemMessage(EINVAL);
    if (path == "/") return std::nullopt; // nothing can take the root's name
    const std::string name = PathText::lastComponent(path);
    OwnedFd parentFolder;
    int walkError = 0;
    switch (openFolderWithoutLinks(PathText::parent(path), parentFolder, walkError)) {
    case Reached::link: return repairUtf8(name) + " changed since the scan";
    case Reached::failed: return systemMessage(walkError);
    case Reached::folder: break;
    }
    struct stat item {};
    if (fstatat(parentFolder.get(), name.c_str(), &item, AT_SYMLINK_NOFOLLOW) != 0) return systemMessage(errno);
    if (!isSameItem(parentFolder.get(), name, expected)) return repairUtf8(name) + " changed since the scan";
    return std::nullopt;
}

std::string checkItem(const std::string& requested, const Identity* expected, CheckedItem& item) {
    if (requested.empty() || requested.front() != '/') return "Only an absolute path can be moved to the Trash";
    std::string& path = item.path;
    for (char c : requested)
        if (c != '/' || path.empty() || path.back() != '/') path.push_back(c);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path == "/") return "The root folder cannot be moved to the Trash";
    item.name = path.substr(path.rfind('/') + 1);
    const std::string& name = item.name;
    if (name == "." || name == "..") return "The path must name an item, not . or ..";

    const std::string parent = PathText::parent(path);
    int walkError = 0;
    switch (openFolderWithoutLinks(parent, item.folder, walkError, &item.walked)) {
    case Reached::link: return repairUtf8(name) + " changed since the scan";
    case Reached::failed: return systemMessage(walkError);
    case Reached::folder: break;
    }
    struct stat& info = item.info;
    if (fstatat(item.folder.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return systemMessage(errno);
    if (expected && !isSameItem(item.folder.get(), name, *expected)) return repairUtf8(name) + " changed since the scan";
    struct stat parentInfo {};
    if (fstat(item.folder.get(), &parentInfo) != 0) return systemMessage(errno);
    item.device = parentInfo.st_dev;
    item.place = ItemPlace{.device = parentInfo.st_dev, .mount = mountIdOf(item.folder.get()), .name = name};
    // With no link on the way, the path read as text is the physical path ("a/b/.." is "a"), so it
    // is what the Trash records and compares.
    item.realParent = PathText::standardized(parent);
    item.realPath = joined(item.realParent, name);
    if (item.realPath == "/") return "The root folder cannot be moved to the Trash";
    return {};
}

std::string whyPlace(const CheckedItem& item, const PlaceRegistry& places) {
    bool aboveIsTop = false; // the folder before is "/", a mount's top or another place
    const WalkedFolder* before = nullptr;
    for (const WalkedFolder& folder : item.walked) {
        const std::span<const Place> found = places.at(folder.device, folder.inode);
        if (std::any_of(found.begin(), found.end(), isTrashEntry) || (aboveIsTop && Places::isTopTrashName(folder.name)))
            return Places::inTrashReason(item.path);
        const bool mountTop = !before || (folder.mount && before->mount && folder.mount != before->mount);
        aboveIsTop = mountTop || std::any_of(found.begin(), found.end(), [](const Place& p) { return !p.holds; });
        before = &folder;
    }
    const bool isFolder = S_ISDIR(item.info.st_mode);
    if (isFolder && aboveIsTop && Places::isTopTrashName(item.name)) return Places::reason({}, item.path);
    if (const Place* place = Places::first(places.at(item.info.st_dev, item.info.st_ino)))
        return Places::reason(*place, item.path);
    // A mount made since the places were looked at: its mount differs from its folder's.
    struct statx own {};
    if (isFolder && before && before->mount &&
        statx(item.folder.get(), item.name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_MNT_ID, &own) == 0 &&
        (own.stx_mask & STATX_MNT_ID) && own.stx_mnt_id != before->mount)
        return Places::reason({.kind = Place::Kind::mountPoint}, item.path);
    // A volume mounted below it since then (a stick, an automount during a long emptying) would go
    // into the Trash with it: the mount table of this moment, by the item's physical path.
    if (const std::string mount = MountTable::mountPointAtOrBelow(item.realPath); !mount.empty())
        return Places::reason({.kind = Place::Kind::mountPoint, .holds = mount != item.realPath, .path = mount}, item.path);
    return {};
}

} // namespace tallymere::FreedesktopTrash
