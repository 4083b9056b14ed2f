#include "platform/FreedesktopTrash.h"

#include "base/PathText.h"
#include "platform/MountTable.h"
#include "platform/UserFolders.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <optional>
#include <vector>
#include <system_error>

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

// A folder that exists as a real folder (not a link to one), created with mode 0700 when missing.
// Returns 0 or the errno of the failure.
int ensureFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0700) == 0) return 0;
    if (errno != EEXIST) return errno;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return errno;
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

// Every missing folder from the top down, like mkdir -p.
int ensureFolders(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
    if (path != "/" && errno == ENOENT) {
        if (const int error = ensureFolders(PathText::parent(path))) return error;
    }
    return ensureFolder(path);
}

// A path with every link in its existing part resolved: the real path of the nearest existing
// folder at or above it, followed by the components that do not exist yet. Empty when even "/"
// cannot be resolved.
std::string physicalPath(const std::string& path) {
    std::string existing = path;
    std::string rest;
    for (;;) {
        if (char* resolved = realpath(existing.c_str(), nullptr)) {
            std::string real = resolved;
            free(resolved);
            if (rest.empty()) return real;
            return real == "/" ? rest : real + rest;
        }
        if (existing == "/") return {};
        const std::size_t slash = existing.rfind('/');
        rest = existing.substr(slash) + rest;
        existing = PathText::parent(existing);
    }
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

struct TrashFolder {
    std::string folder;  // holds files/ and info/
    std::string topdir;  // empty for the home Trash; else what Path= is relative to
};

// The Trash of a device's top folder: $topdir/.Trash/$uid when $topdir/.Trash is a real, sticky
// folder (a link or a non-sticky folder could let another user see or swap the files), else
// $topdir/.Trash-$uid, which must be our own real folder.
std::optional<TrashFolder> topdirTrash(const std::string& topdir, std::string& error) {
    const std::string uid = std::to_string(getuid());
    const std::string shared = joined(topdir, ".Trash");
    struct stat info {};
    if (lstat(shared.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX)) {
        const std::string own = shared + "/" + uid;
        struct stat ownInfo {};
        if (ensureFolder(own) == 0 && lstat(own.c_str(), &ownInfo) == 0 && S_ISDIR(ownInfo.st_mode) &&
            ownInfo.st_uid == getuid())
            return TrashFolder{own, topdir};
    }
    const std::string personal = joined(topdir, ".Trash-" + uid);
    if (const int failed = ensureFolder(personal)) {
        error = "The Trash folder " + personal + " could not be created: " + systemMessage(failed);
        return std::nullopt;
    }
    struct stat personalInfo {};
    if (lstat(personal.c_str(), &personalInfo) != 0 || personalInfo.st_uid != getuid()) {
        error = "The Trash folder " + personal + " belongs to another user";
        return std::nullopt;
    }
    return TrashFolder{personal, topdir};
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
int moveNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    struct stat info {};
    if (lstat(to.c_str(), &info) == 0) return EEXIST;
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
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

Result moveToTrash(const std::string& requested) {
    if (requested.empty() || requested.front() != '/') return failure("Only an absolute path can be moved to the Trash");
    // One spelling per item: repeated and trailing slashes dropped.
    std::string path;
    for (char c : requested)
        if (c != '/' || path.empty() || path.back() != '/') path.push_back(c);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path == "/") return failure("The root folder cannot be moved to the Trash");
    const std::string name = path.substr(path.rfind('/') + 1);
    if (name == "." || name == "..") return failure("The path must name an item, not . or ..");

    struct stat item {};
    if (lstat(path.c_str(), &item) != 0) return failure(systemMessage(errno));
    // The folder that holds the entry decides the file system the move happens on. Its real path
    // (links and ".." resolved) is what the Trash records and compares: the lexical path of
    // "a/link/../b" names another file when read back.
    const std::string parent = PathText::parent(path);
    struct stat parentInfo {};
    if (stat(parent.c_str(), &parentInfo) != 0) return failure(systemMessage(errno));
    const std::string realParent = physicalPath(parent);
    if (realParent.empty()) return failure(systemMessage(errno ? errno : ENOENT));
    const std::string realPath = joined(realParent, name);
    if (realPath == "/") return failure("The root folder cannot be moved to the Trash");

    // Renames never cross a mount, also between two mounts of one file system (a bind mount), so
    // the Trash is chosen by mount point; the device decides only without a mount table.
    const std::vector<MountEntry> mounts = MountTable::read();
    const std::string itemTop =
        mounts.empty() ? topFolderByDevice(realParent, parentInfo.st_dev) : mountPointOf(realParent, mounts);
    const std::string home = homeTrashFolder();
    const std::string realHome = home.empty() ? std::string() : physicalPath(home);
    bool useHome = false;
    if (!realHome.empty()) {
        struct stat homeInfo {};
        std::string nearest = realHome;
        while (stat(nearest.c_str(), &homeInfo) != 0 && nearest != "/") nearest = PathText::parent(nearest);
        const std::string homeTop =
            mounts.empty() ? topFolderByDevice(nearest, homeInfo.st_dev) : mountPointOf(realHome, mounts);
        useHome = homeInfo.st_dev == parentInfo.st_dev && homeTop == itemTop;
    }

    // Never the Trash itself, what it holds, or a folder that holds it: moving the info folder into
    // files/ would lose where every trashed item came from.
    const std::string uid = std::to_string(getuid());
    std::vector<std::string> trashFolders;
    if (!realHome.empty()) trashFolders.push_back(realHome);
    trashFolders.push_back(joined(itemTop, ".Trash"));
    trashFolders.push_back(joined(itemTop, ".Trash-" + uid));
    for (const std::string& folder : trashFolders) {
        if (realPath == folder) return failure(path + " is the Trash");
        if (isAtOrInside(realPath, folder)) return failure(path + " is in the Trash");
    }
    const std::string realUserHome = physicalPath(UserFolders::home());
    for (const std::string& folder : trashFolders) {
        if (!isAtOrInside(folder, realPath)) continue;
        if (realPath == realUserHome) return failure("The home folder holds the Trash");
        return failure(path + " holds the Trash");
    }

    TrashFolder trash;
    if (useHome) {
        if (const int error = ensureFolders(realHome))
            return failure("The Trash folder " + home + " could not be created: " + systemMessage(error));
        trash.folder = realHome;
    } else {
        std::string error;
        const auto found = topdirTrash(itemTop, error);
        if (!found) return failure(error);
        trash = *found;
    }
    const std::string filesFolder = trash.folder + "/files";
    const std::string infoFolder = trash.folder + "/info";
    for (const std::string& folder : {filesFolder, infoFolder})
        if (const int error = ensureFolder(folder))
            return failure("The Trash folder " + folder + " could not be created: " + systemMessage(error));

    // Path= is absolute in the home Trash and relative to the top folder elsewhere, so a disk
    // mounted at another place still restores to the right folder.
    std::string recorded = realPath;
    if (!trash.topdir.empty())
        recorded = trash.topdir == "/" ? realPath.substr(1) : realPath.substr(trash.topdir.size() + 1);
    const std::string info = "[Trash Info]\nPath=" + encodePath(recorded) + "\nDeletionDate=" + deletionDate() + "\n";

    constexpr int maxAttempts = 100000;
    const std::string baseName = fittingName(name, 0);
    for (int attempt = 1; attempt <= maxAttempts; ++attempt) {
        const std::string trashedName = attempt == 1 ? baseName : numberedName(name, attempt);
        const std::string infoPath = infoFolder + "/" + trashedName + ".trashinfo";
        const std::string target = filesFolder + "/" + trashedName;
        // Claiming the info file first reserves the name against other programs trashing at once.
        const int fd = open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return failure(systemMessage(errno));
        }
        struct stat existing {};
        if (lstat(target.c_str(), &existing) == 0) {
            // A leftover without its info file: keep it, take the next name.
            close(fd);
            unlink(infoPath.c_str());
            continue;
        }
        const bool written = writeAll(fd, info);
        const int writeError = errno;
        if (close(fd) != 0 || !written) {
            unlink(infoPath.c_str());
            return failure(systemMessage(written ? errno : writeError));
        }
        if (const int error = moveNoReplace(realPath, target)) {
            unlink(infoPath.c_str());
            if (error == EEXIST) continue;
            return failure(systemMessage(error));
        }
        return {.moved = true, .error = {}};
    }
    return failure(systemMessage(EEXIST));
}

} // namespace tallymere::FreedesktopTrash
