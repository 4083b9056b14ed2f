#include "platform/TrashPlaces.h"

#include "base/PathText.h"
#include "platform/MountTable.h"
#include "platform/PhysicalPath.h"
#include "platform/UserFolders.h"

#include <pwd.h>

#include <algorithm>
#include <array>

namespace tallymere::TrashPlaces {

using PathText::isInside;

namespace {

constexpr std::size_t maxAccounts = 4096;

// The home folders of the password database's accounts, bounded: a directory service may list
// hundreds of thousands.
std::vector<std::string> accountHomes() {
    std::vector<std::string> homes;
    std::array<char, 16384> buffer{};
    passwd entry{};
    passwd* found = nullptr;
    setpwent();
    while (homes.size() < maxAccounts && getpwent_r(&entry, buffer.data(), buffer.size(), &found) == 0 && found)
        if (found->pw_dir) homes.emplace_back(found->pw_dir);
    endpwent();
    return homes;
}

// Whether resolving `path` would ask a file system that may never answer: a network one, or any
// FUSE one (its server can stop). Homes on network folders are common where accounts come from a
// directory service, and the places are read on the window's thread when an item is staged.
bool mayNotAnswer(const std::string& path, const std::vector<MountEntry>& mounts) {
    return std::any_of(mounts.begin(), mounts.end(), [&](const MountEntry& mount) {
        const bool doubtful = MountTable::isVirtualOrNetwork(mount.fsType) || mount.fsType.starts_with("fuse");
        return doubtful && (path == mount.mountPoint || isInside(path, mount.mountPoint));
    });
}

} // namespace

std::vector<std::string> accountTrashesOf(const std::vector<std::string>& homes, const std::vector<MountEntry>& mounts) {
    std::vector<std::string> trashes;
    for (const std::string& written : homes) {
        if (trashes.size() >= maxAccounts) break;
        if (written.empty() || written.front() != '/') continue;
        const std::string home = PathText::standardized(written);
        if (home == "/") continue;
        const std::string parent = PathText::parent(home);
        const std::string folder = mayNotAnswer(parent, mounts) ? parent : physicalPath(parent);
        if (folder.empty()) continue;
        const std::string trash = (folder == "/" ? "" : folder) + "/" + PathText::lastComponent(home) + "/.local/share/Trash";
        if (std::find(trashes.begin(), trashes.end(), trash) == trashes.end()) trashes.push_back(trash);
    }
    return trashes;
}

Places current() {
    Places places;
    if (const std::string data = UserFolders::dataHome(); !data.empty()) places.homeTrash = physicalPath(data + "/Trash");
    if (const std::string home = UserFolders::home(); !home.empty()) places.home = physicalPath(home);
    const auto mountTable = MountTable::current();
    const std::vector<MountEntry>& mounts = *mountTable;
    for (const MountEntry& mount : mounts)
        if (std::find(places.tops.begin(), places.tops.end(), mount.mountPoint) == places.tops.end())
            places.tops.push_back(mount.mountPoint);
    if (std::find(places.tops.begin(), places.tops.end(), "/") == places.tops.end()) places.tops.emplace_back("/");
    static const std::vector<std::string> accounts = accountTrashesOf(accountHomes(), mounts);
    places.accountTrashes = accounts;
    return places;
}

bool isTopTrashName(std::string_view name) {
    if (name == ".Trash") return true;
    constexpr std::string_view prefix = ".Trash-";
    if (!name.starts_with(prefix) || name.size() == prefix.size()) return false;
    return std::all_of(name.begin() + prefix.size(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string trashOf(const Places& places, std::string_view path) {
    if (!places.homeTrash.empty() && (path == places.homeTrash || isInside(path, places.homeTrash)))
        return places.homeTrash;
    for (const std::string& trash : places.accountTrashes)
        if (path == trash || isInside(path, trash)) return trash;
    for (const std::string& top : places.tops) {
        if (!isInside(path, top)) continue;
        const std::size_t start = top == "/" ? 1 : top.size() + 1;
        const std::string_view first = path.substr(start, path.find('/', start) - start);
        if (isTopTrashName(first)) return std::string(path.substr(0, start + first.size()));
    }
    return {};
}

std::string whyRefused(const Places& places, std::string_view path, std::string_view shown) {
    if (const std::string trash = trashOf(places, path); !trash.empty())
        return std::string(shown) + (trash == path ? " is the Trash" : " is in the Trash");
    // Moving the folder that holds the home Trash would carry its record of where every item came
    // from into itself.
    if (!places.homeTrash.empty() && isInside(places.homeTrash, path)) {
        if (!places.home.empty() && path == places.home) return "The home folder holds the Trash";
        return std::string(shown) + " holds the Trash";
    }
    // A rename carries every volume mounted below a folder along with it: in the Trash, emptying it
    // would delete what that volume holds.
    for (const std::string& top : places.tops)
        if (isInside(top, path)) return std::string(shown) + " holds a mounted volume (" + top + ")";
    return {};
}

} // namespace tallymere::TrashPlaces
