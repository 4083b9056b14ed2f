#include "platform/FreedesktopTrash.h"
#include "platform/FreedesktopTrashParts.h"

#include "base/PathText.h"
#include "platform/RegularFile.h"
#include "base/Utf8.h"
#include "platform/MountTable.h"
#include "platform/OwnPlace.h"
#include "platform/PhysicalPath.h"
#include "platform/UserFolders.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tallymere::FreedesktopTrash {
namespace {

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

using PathText::isAtOrInside;

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

using RegularFile::writeAll;

// Moves without ever replacing an entry that appeared meanwhile; file systems without that option
// fall back to a plain rename after the caller's existence check.
int moveNoReplace(int fromFolder, const std::string& from, int toFolder, const std::string& to) {
    if (renameat2(fromFolder, from.c_str(), toFolder, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    struct stat info {};
    if (fstatat(toFolder, to.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
    return renameat(fromFolder, from.c_str(), toFolder, to.c_str()) == 0 ? 0 : errno;
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

} // namespace tallymere::FreedesktopTrash
