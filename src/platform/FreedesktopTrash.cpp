#include "platform/FreedesktopTrash.h"
#include "platform/OwnedFd.h"

#include "base/InodeTag.h"
#include "base/PathText.h"
#include "base/Utf8.h"
#include "platform/MountTable.h"
#include "platform/OwnPlace.h"
#include "platform/PhysicalPath.h"
#include "platform/Places.h"
#include "platform/UserFolders.h"
#include "platform/PathGate.h"
#include "platform/gate/GateHelpers.h"
#include "platform/gate/GateOps.h"
#include "platform/gate/MountPlace.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <optional>
#include <vector>
#include <system_error>
#include <utility>

namespace tallymere::FreedesktopTrash {
namespace {

std::string systemMessage(int error) {
    return std::generic_category().message(error);
}

Result failure(std::string message) {
    return {.moved = false, .error = std::move(message)};
}

std::string homeTrashFolder() {
    const std::string dataHome = UserFolders::dataHome();
    if (dataHome.empty()) return {};
    return dataHome + "/Trash";
}

constexpr int folderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The real folder `name` inside `parent`, created with mode 0700 when missing; never a link to
// one. Sets `error` (the errno) and returns an empty descriptor on failure.
OwnedFd ensureFolderAt(int parent, const char* name, int& error) {
    if (mkdirat(parent, name, 0700) != 0 && errno != EEXIST) {
        error = errno;
        return OwnedFd();
    }
    OwnedFd folder(openat(parent, name, folderFlags));
    // A link where the folder should be reads as "not a folder", whichever way the kernel says it.
    if (!folder) error = errno == ELOOP ? ENOTDIR : errno;
    return folder;
}

// Every missing folder from the top down, like mkdir -p.
int ensureFolders(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
    if (path != "/" && errno == ENOENT) {
        if (const int error = ensureFolders(PathText::parent(path))) return error;
    }
    if (mkdir(path.c_str(), 0700) == 0) return 0;
    if (errno != EEXIST) return errno;
    if (lstat(path.c_str(), &info) != 0) return errno;
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

// How opening a folder without links ended.
enum class Reached { folder, link, failed };

// A folder on the way to an item, as it was when the walk held it.
struct WalkedFolder {
    dev_t device = 0;
    ino_t inode = 0;
    std::uint64_t mount = 0; // the kernel's number of its mount; 0 when not known
    std::string name;        // its name in the folder before; empty for "/"
};

std::uint64_t mountIdOf(int fd);

// Opens the folder at an absolute path one component at a time from "/", each relative to the one
// before and none through a symbolic link, so the descriptor is the folder the path names now
// with no link anywhere on the way: a link in the chain gives Reached::link, anything else that
// stops the walk Reached::failed with `error` set. Each step holds the folder it checked, so a
// component swapped after its check is never entered. Each folder walked, "/" first, is added to
// `walked` when given.
Reached openFolderWithoutLinks(const std::string& path, OwnedFd& out, int& error,
                               std::vector<WalkedFolder>* walked = nullptr) {
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

// Whether `path` is `folder` or lies inside it (a "/" boundary: "/a/bc" is not inside "/a/b").
bool isAtOrInside(const std::string& path, const std::string& folder) {
    if (folder == "/") return true;
    return path == folder || (path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/');
}

// The mount point holding a physical path: the longest mount point at or above it; the last of
// equal ones, which is mounted over the others. Empty when the table is empty.
std::string mountPointOf(const std::string& path, const std::vector<MountEntry>& mounts) {
    std::string best;
    for (const MountEntry& mount : mounts)
        if (isAtOrInside(path, mount.mountPoint) && mount.mountPoint.size() >= best.size()) best = mount.mountPoint;
    return best;
}

// Without a mount table: the highest folder above `folder` (itself included) on the same device.
std::string topFolderByDevice(const std::string& folder, dev_t device) {
    std::string top = folder;
    while (top != "/") {
        const std::string up = PathText::parent(top);
        struct stat info {};
        if (stat(up.c_str(), &info) != 0 || info.st_dev != device) break;
        top = up;
    }
    return top;
}

std::string joined(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// The kernel's number of the mount an open item lies on; 0 where the kernel does not tell it.
std::uint64_t mountIdOf(int fd) {
    struct statx info {};
    if (statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &info) != 0 || !(info.stx_mask & STATX_MNT_ID))
        return 0;
    return info.stx_mnt_id;
}

// The file system and mount of the item's folder, as checked: only a Trash on both can take the
// item by a rename.
struct ItemPlace {
    dev_t device = 0;
    std::uint64_t mount = 0; // 0 when not known
    std::string name;        // the item's name, for the reason
};

// Why the open folder cannot hold the item's Trash, empty when it can: another mount or file
// system was swapped in at its path (a mount made there, a subvolume, a bind mount) since the
// item's place was looked up. The Trash is then not made, nor its info written, on it.
std::string whyElsewhere(int folder, const std::string& path, const ItemPlace& item) {
    struct stat info {};
    if (fstat(folder, &info) != 0) return "The Trash folder " + path + " could not be used: " + systemMessage(errno);
    const std::uint64_t mount = item.mount ? mountIdOf(folder) : 0;
    if (info.st_dev == item.device && (!item.mount || mount == 0 || mount == item.mount)) return {};
    return "The Trash folder " + path + " is not on the file system that holds " + repairUtf8(item.name);
}

struct TrashFolder {
    std::string folder;  // holds files/ and info/
    std::string topdir;  // empty for the home Trash; else what Path= is relative to
    OwnedFd handle;   // the folder itself, as checked
};

// The Trash of a device's top folder: $topdir/.Trash/$uid when $topdir/.Trash is a real, sticky
// folder (a link or a non-sticky folder could let another user see or swap the files), else
// $topdir/.Trash-$uid, which must be our own real folder. Every check is made on the descriptor
// that is then used, so nothing can be swapped in between.
std::optional<TrashFolder> topdirTrash(const std::string& topdir, const ItemPlace& item, std::string& error) {
    const uid_t uid = getuid();
    const std::string uidText = std::to_string(uid);
    OwnedFd top;
    int openError = 0;
    switch (openFolderWithoutLinks(topdir, top, openError)) {
    case Reached::link: openError = ELOOP; [[fallthrough]];
    case Reached::failed:
        error = "The Trash folder of " + topdir + " could not be opened: " + systemMessage(openError);
        return std::nullopt;
    case Reached::folder: break;
    }
    // The top folder was found by its path in the mount table; what the path leads to now is
    // looked at before anything is made there.
    if (error = whyElsewhere(top.get(), topdir, item); !error.empty()) return std::nullopt;
    if (OwnedFd shared(openat(top.get(), ".Trash", folderFlags)); shared) {
        struct stat info {};
        if (fstat(shared.get(), &info) == 0 && (info.st_mode & S_ISVTX)) {
            int ignored = 0;
            OwnedFd own = ensureFolderAt(shared.get(), uidText.c_str(), ignored);
            struct stat ownInfo {};
            if (own && fstat(own.get(), &ownInfo) == 0 && ownInfo.st_uid == uid)
                return TrashFolder{joined(topdir, ".Trash/" + uidText), topdir, std::move(own)};
        }
    }
    const std::string personal = joined(topdir, ".Trash-" + uidText);
    int failed = 0;
    OwnedFd folder = ensureFolderAt(top.get(), (".Trash-" + uidText).c_str(), failed);
    if (!folder) {
        error = "The Trash folder " + personal + " could not be created: " + systemMessage(failed);
        return std::nullopt;
    }
    struct stat info {};
    if (fstat(folder.get(), &info) != 0 || info.st_uid != uid) {
        error = "The Trash folder " + personal + " belongs to another user";
        return std::nullopt;
    }
    return TrashFolder{personal, topdir, std::move(folder)};
}

constexpr std::size_t nameMax = NAME_MAX;
constexpr std::size_t infoSuffix = sizeof(".trashinfo") - 1;

// The longest start of `name` that, followed by `reserve` more bytes and the info file's suffix,
// still fits a directory entry, cut at a character boundary. `reserve` stays well below the limit.
std::string fittingName(const std::string& name, std::size_t reserve) {
    if (name.size() + reserve + infoSuffix <= nameMax) return name;
    std::size_t length = nameMax - reserve - infoSuffix;
    while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) --length;
    return name.substr(0, length);
}

// "report.pdf" -> "report.2.pdf". A dot file, a name without an extension, or one whose extension
// leaves no room for the number gets ".2" appended instead.
std::string numberedName(const std::string& name, int number) {
    const std::string suffix = "." + std::to_string(number);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || name.size() - dot + suffix.size() + infoSuffix >= nameMax)
        return fittingName(name, suffix.size()) + suffix;
    const std::string extension = name.substr(dot);
    const std::string stem = name.substr(0, dot);
    return fittingName(stem, suffix.size() + extension.size()) + suffix + extension;
}

std::string deletionDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return std::string(text, length);
}

bool writeAll(int fd, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = write(fd, text.data() + written, text.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// Moves without ever replacing an entry that appeared meanwhile; file systems without that option
// fall back to a plain rename after the caller's existence check.
int moveNoReplace(int fromFolder, const std::string& from, int toFolder, const std::string& to) {
    if (renameat2(fromFolder, from.c_str(), toFolder, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    struct stat info {};
    if (fstatat(toFolder, to.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
    return renameat(fromFolder, from.c_str(), toFolder, to.c_str()) == 0 ? 0 : errno;
}

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

// Whether the entry `name` in `folder` is still the item described, by kind, inode and birth time.
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

Result moveChecked(const std::string& requested, const PlaceRegistry& places, const Identity* expected);

} // namespace

std::string encodePath(const std::string& path) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (unsigned char c : path) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '_' || c == '.' || c == '~' || c == '/';
        if (plain) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0x0F]);
        }
    }
    return out;
}

namespace {

std::string encoded(const Identity& identity) {
    return std::to_string(static_cast<int>(identity.kind)) + " " + std::to_string(identity.inodeTag) + " " +
           std::to_string(identity.created);
}

std::optional<Identity> decoded(const std::string& text) {
    int kind = 0;
    unsigned tag = 0;
    long long created = 0;
    if (std::sscanf(text.c_str(), "%d %u %lld", &kind, &tag, &created) != 3 || kind < 0 || kind > 2 || tag > 255)
        return std::nullopt;
    return Identity{.kind = static_cast<Identity::Kind>(kind), .inodeTag = static_cast<std::uint8_t>(tag), .created = created};
}

gate::Request requestFor(gate::Op op, const std::string& path, const Identity* expected) {
    gate::Request request;
    request.op = op;
    request.texts.push_back(path);
    request.texts.push_back(expected ? encoded(*expected) : std::string());
    return request;
}

// The words for a call the gate could not get made: its file system did not answer.
std::string gateMessage(const gate::Reply& reply) { return PathGate::message(reply.error); }

// Made here where the item's way passes only mounts that answer (the move follows no link, so its
// text tells which); else made by a gate helper, which is handed the places written out.
Result moveThroughGate(const std::string& path, const PlaceRegistry& places, const Identity* expected) {
    const std::string absolute = PathText::standardized(path);
    if (gate::makesCallsDirectly() || absolute.empty() || gate::unansweringMountOnTheWay(absolute).empty())
        return moveChecked(path, places, expected);
    gate::provideTrashCalls();
    gate::Request request = requestFor(gate::Op::moveToTrash, path, expected);
    request.texts.push_back(Places::written(places));
    const gate::Reply reply = gate::call(std::move(request));
    if (reply.error) return failure(gateMessage(reply));
    if (reply.texts.size() != 2) return failure(systemMessage(EIO));
    return {.moved = reply.texts[0] == "moved", .error = reply.texts[1]};
}

std::optional<std::string> whyChangedHere(const std::string& path, const Identity& expected);

} // namespace

Result moveToTrash(const std::string& path) {
    return moveThroughGate(path, Places::lookAt(Places::Sources::current()), nullptr);
}

Result moveToTrash(const std::string& path, const Identity& expected) {
    return moveThroughGate(path, Places::lookAt(Places::Sources::current()), &expected);
}

Result moveToTrash(const std::string& path, const PlaceRegistry& places, const Identity* expected) {
    return moveThroughGate(path, places, expected);
}

std::optional<std::string> whyChanged(const std::string& path, const Identity& expected) {
    gate::provideTrashCalls();
    const gate::Reply reply = gate::call(requestFor(gate::Op::whyChanged, path, &expected));
    if (reply.error) return gateMessage(reply);
    if (reply.texts.empty()) return std::nullopt;
    return reply.texts.front();
}

namespace {

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

// The chosen item as looked at: its folder, reached without a link and held open, its name there,
// and where it lies.
struct CheckedItem {
    OwnedFd folder;
    std::string name;
    std::string path;       // as asked, in one spelling (repeated and trailing slashes dropped)
    std::string realParent; // the physical path of its folder
    std::string realPath;   // the physical path of the item
    dev_t device = 0;       // of its folder
    ItemPlace place;
    std::vector<WalkedFolder> walked; // "/" and every folder on the way, the item's own folder last
    struct stat info {};              // the item itself, not followed
};

// Looks the item at an absolute path up without following a single link, so it is renamed
// relative to that very folder: a folder swapped for a link after the scan would otherwise send a
// same-named item the user never chose to the Trash. Why it cannot be moved; empty when it can.
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

bool isTrashEntry(const Place& place) { return place.kind == Place::Kind::trash && !place.holds; }

// Why the item cannot go to the Trash for what it, or a folder on its way, is among `places`, from
// the identities the walk held: it is a Trash or lies in one (a folder of a Trash's identity, or of
// a Trash's name at a volume's top), it is the root or home folder, a shared folder of the desktop
// or a mount point, or it holds one. Empty when none.
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
    return {};
}

// Which Trash takes the item: the home Trash when it lies on the item's mount, else the Trash of
// the top folder of the item's mount.
struct TrashChoice {
    std::string itemTop;  // the top folder of the item's mount
    std::string home;     // the home Trash as the environment names it; empty without a data folder
    std::string realHome; // its physical path
    bool useHome = false;
};

// Renames never cross a mount, also between two mounts of one file system (a bind mount), so the
// Trash is chosen by mount point; the device decides only without a mount table.
void chooseTrash(const CheckedItem& item, TrashChoice& choice) {
    const auto mountTable = MountTable::current();
    const std::vector<MountEntry>& mounts = *mountTable;
    choice.itemTop = mounts.empty() ? topFolderByDevice(item.realParent, item.device) : mountPointOf(item.realParent, mounts);
    choice.home = homeTrashFolder();
    choice.realHome = choice.home.empty() ? std::string() : physicalPath(choice.home);
    // The home Trash is looked at only where the mount table puts it on the item's own mount: on
    // another it cannot take the item, and that mount may be one that stopped answering.
    const bool homeOnItsMount = mounts.empty() || (!choice.realHome.empty() && mountPointOf(choice.realHome, mounts) == choice.itemTop);
    if (!choice.realHome.empty() && homeOnItsMount) {
        struct stat homeInfo {};
        std::string nearest = choice.realHome;
        while (stat(nearest.c_str(), &homeInfo) != 0 && nearest != "/") nearest = PathText::parent(nearest);
        const std::string homeTop = mounts.empty() ? topFolderByDevice(nearest, homeInfo.st_dev) : choice.itemTop;
        choice.useHome = homeInfo.st_dev == item.device && homeTop == choice.itemTop;
    }
}

// The home Trash, made where missing. Another user's Trash (root started with a user's HOME) is
// not ours to make or fill: its owner could neither write to folders made by us nor empty what we
// put there.
std::optional<TrashFolder> homeTrash(const TrashChoice& choice, const ItemPlace& item, std::string& error) {
    const std::string& home = choice.home;
    if (const std::string foreign = OwnPlace::whyNotOwn(home); !foreign.empty()) {
        error = "The Trash folder " + home + " cannot be used: " + foreign;
        return std::nullopt;
    }
    const int made = ensureFolders(choice.realHome);
    TrashFolder trash{.folder = choice.realHome, .topdir = {},
                      .handle = OwnedFd(made ? -1 : open(choice.realHome.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC))};
    if (!trash.handle) {
        error = "The Trash folder " + home + " could not be created: " + systemMessage(made ? made : errno);
        return std::nullopt;
    }
    struct stat trashInfo {};
    if (fstat(trash.handle.get(), &trashInfo) != 0 || trashInfo.st_uid != getuid()) {
        error = "The Trash folder " + home + " cannot be used: it belongs to another user";
        return std::nullopt;
    }
    if (error = whyElsewhere(trash.handle.get(), home, item); !error.empty()) return std::nullopt;
    return trash;
}

// The .trashinfo text. Path= is absolute in the home Trash and relative to the top folder
// elsewhere, so a disk mounted at another place still restores to the right folder.
std::string infoText(const std::string& realPath, const TrashFolder& trash) {
    std::string recorded = realPath;
    if (!trash.topdir.empty())
        recorded = trash.topdir == "/" ? realPath.substr(1) : realPath.substr(trash.topdir.size() + 1);
    return "[Trash Info]\nPath=" + encodePath(recorded) + "\nDeletionDate=" + deletionDate() + "\n";
}

// Claims a free name in the Trash with its info file, then renames the item to it. A name taken
// in files/ or info/ (by a leftover, or by another program trashing at once) moves on to the next.
Result renameInto(const CheckedItem& item, const Identity* expected, int filesFolder, int infoFolder,
                  const std::string& info) {
    const std::string& name = item.name;
    const int parentFolder = item.folder.get();
    constexpr int maxAttempts = 100000;
    const std::string baseName = fittingName(name, 0);
    for (int attempt = 1; attempt <= maxAttempts; ++attempt) {
        const std::string trashedName = attempt == 1 ? baseName : numberedName(name, attempt);
        const std::string infoName = trashedName + ".trashinfo";
        // Claiming the info file first reserves the name against other programs trashing at once.
        const int fd = openat(infoFolder, infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return failure(systemMessage(errno));
        }
        struct stat existing {};
        if (fstatat(filesFolder, trashedName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
            // A leftover without its info file: keep it, take the next name.
            close(fd);
            unlinkat(infoFolder, infoName.c_str(), 0);
            continue;
        }
        const bool written = writeAll(fd, info);
        const int writeError = errno;
        if (close(fd) != 0 || !written) {
            unlinkat(infoFolder, infoName.c_str(), 0);
            return failure(systemMessage(written ? errno : writeError));
        }
        // Looked at again at the last moment: finding and preparing the Trash took a while.
        if (expected && !isSameItem(parentFolder, name, *expected)) {
            unlinkat(infoFolder, infoName.c_str(), 0);
            return failure(repairUtf8(name) + " changed since the scan");
        }
        if (const int error = moveNoReplace(parentFolder, name, filesFolder, trashedName)) {
            unlinkat(infoFolder, infoName.c_str(), 0);
            if (error == EEXIST) continue;
            return failure(systemMessage(error));
        }
        // A rename cannot be made on condition of what it moves, and the name may have been handed
        // to another item between that look and the rename. What was moved is checked where it now
        // lies, where nobody else renames it, and anything other than the chosen item goes back.
        if (expected && !isSameItem(filesFolder, trashedName, *expected)) {
            if (moveNoReplace(filesFolder, trashedName, parentFolder, name) == 0) {
                unlinkat(infoFolder, infoName.c_str(), 0);
                return failure(repairUtf8(name) + " changed since the scan");
            }
            // Its name was taken once more meanwhile: it stays in the Trash with its info, where the
            // desktop can put it back.
            return failure(repairUtf8(name) + " changed since the scan; the item that had its name is in the Trash");
        }
        return {.moved = true, .error = {}};
    }
    return failure(systemMessage(EEXIST));
}

Result moveChecked(const std::string& requested, const PlaceRegistry& places, const Identity* expected) {
    CheckedItem item;
    if (std::string why = checkItem(requested, expected, item); !why.empty()) return failure(std::move(why));
    // Moving a Trash's info folder into its files/ would lose where every thrown item came from, a
    // folder with a volume mounted below it would take the volume along, and the rest hold what
    // every program of the session keeps.
    if (std::string why = whyPlace(item, places); !why.empty()) return failure(std::move(why));
    TrashChoice choice;
    chooseTrash(item, choice);
    std::string error;
    std::optional<TrashFolder> trash =
        choice.useHome ? homeTrash(choice, item.place, error) : topdirTrash(choice.itemTop, item.place, error);
    if (!trash) return failure(std::move(error));
    int folderError = 0;
    const OwnedFd filesFolder = ensureFolderAt(trash->handle.get(), "files", folderError);
    if (!filesFolder)
        return failure("The Trash folder " + trash->folder + "/files could not be created: " + systemMessage(folderError));
    const OwnedFd infoFolder = ensureFolderAt(trash->handle.get(), "info", folderError);
    if (!infoFolder)
        return failure("The Trash folder " + trash->folder + "/info could not be created: " + systemMessage(folderError));
    return renameInto(item, expected, filesFolder.get(), infoFolder.get(), infoText(item.realPath, *trash));
}

} // namespace

} // namespace tallymere::FreedesktopTrash

namespace tallymere::gate {

namespace {

Reply moveToTrashHere(const Request& request) {
    using namespace FreedesktopTrash;
    Reply reply;
    std::optional<Identity> expected;
    std::optional<PlaceRegistry> places;
    if (request.texts.size() != 3 || (!request.texts[1].empty() && !(expected = decoded(request.texts[1]))) ||
        !(places = Places::readBack(request.texts[2]))) {
        reply.error = EINVAL;
        return reply;
    }
    const Result result = moveChecked(request.texts[0], *places, expected ? &*expected : nullptr);
    reply.texts = {result.moved ? "moved" : "stayed", result.error};
    return reply;
}

Reply whyChangedHere(const Request& request) {
    using namespace FreedesktopTrash;
    Reply reply;
    std::optional<Identity> expected;
    if (request.texts.size() < 2 || !(expected = decoded(request.texts[1]))) {
        reply.error = EINVAL;
        return reply;
    }
    if (std::optional<std::string> why = FreedesktopTrash::whyChangedHere(request.texts[0], *expected))
        reply.texts.push_back(std::move(*why));
    return reply;
}

} // namespace

void provideTrashCalls() {
    provide(Op::moveToTrash, &moveToTrashHere);
    provide(Op::whyChanged, &whyChangedHere);
}

} // namespace tallymere::gate
