#include "platform/Places.h"

#include "base/PathText.h"
#include "platform/PathGate.h"
#include "platform/UserFolders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <array>
#include <cstdlib>
#include <set>
#include <tuple>

namespace tallymere {

namespace {

bool isEarlier(const Place& a, const Place& b) {
    return std::tie(a.device, a.inode) < std::tie(b.device, b.inode);
}

} // namespace

std::span<const Place> PlaceRegistry::at(std::uint64_t device, std::uint64_t inode) const {
    const Place key{.device = device, .inode = inode};
    const auto [first, last] = std::equal_range(places.begin(), places.end(), key, isEarlier);
    return {first, last};
}

namespace Places {

namespace {

constexpr std::size_t maxAccounts = 4096;
// Deeper than any real folder chain; a guard against a path that never reaches the top.
constexpr int maxLevels = 512;

using PathText::joined;

bool isFolder(const PathGate::Status& status) { return status.error == 0 && S_ISDIR(status.info.st_mode); }

// A place to look at: followed when written by the user (a link in it stands for its target), not
// where the path is the kernel's own (a mount point) or the name itself must be the folder.
struct Target {
    std::string path;
    Place::Kind kind;
};

// The walk from a place up to "/": by ".." from a place the user wrote, so each step is the
// physical folder above whatever the links led to; by text from a mount point, whose path the
// mount table gives as the kernel resolved it (".." from it would first enter the mounted file
// system, which may be a server that no longer answers).
struct Climb {
    std::string next;
    bool byText = false;
    Place::Kind kind = Place::Kind::trash;
    std::string placePath;
    std::uint64_t device = 0, inode = 0; // of the last folder reached
};

void addTarget(std::vector<Target>& targets, std::string path, Place::Kind kind) {
    if (path.empty() || path.front() != '/') return;
    const bool known = std::any_of(targets.begin(), targets.end(),
                                   [&](const Target& t) { return t.kind == kind && t.path == path; });
    if (!known) targets.push_back({std::move(path), kind});
}

// How a place's path is looked at, and how the folders above it are found.
enum class Look {
    followed,    // written by the user: a link in it stands for its target; climbed by ".."
    itemItself,  // a link at its end is no place (an account's Trash); climbed by ".."
    byMountTable // the kernel's own path (a mount point, a Trash at its top): not followed, climbed
                 // by text, since ".." from a mount point would first enter the mounted file system
};

// Looks at `targets` and adds each folder found, with a climb from it.
void lookAtTargets(const std::vector<Target>& targets, Look look, PlaceRegistry& registry, std::vector<Climb>& climbs) {
    std::vector<std::string> paths;
    for (const Target& target : targets) paths.push_back(target.path);
    const std::vector<PathGate::Status> found = look == Look::followed ? PathGate::statEach(paths) : PathGate::lstatEach(paths);
    const bool byText = look == Look::byMountTable;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const Target& target = targets[i];
        // A mount point that does not answer is still held by the folders above it, known by text.
        if (found[i].error == PathGate::notAnswering && byText && target.path != "/")
            climbs.push_back({.next = PathText::parent(target.path), .byText = true, .kind = target.kind,
                              .placePath = target.path});
        if (!isFolder(found[i])) continue;
        const struct stat& info = found[i].info;
        registry.places.push_back({.device = info.st_dev, .inode = info.st_ino, .kind = target.kind, .holds = false,
                                   .path = target.path});
        if (target.path == "/") continue;
        climbs.push_back({.next = byText ? PathText::parent(target.path) : target.path + "/..", .byText = byText,
                          .kind = target.kind, .placePath = target.path, .device = info.st_dev, .inode = info.st_ino});
    }
}

// Climbs every chain one folder at a time, all chains of one step looked at together. A folder met
// already as holding a place of that kind ends the climb: what lies above it is known.
void climbAll(std::vector<Climb> climbs, PlaceRegistry& registry) {
    std::set<std::tuple<std::uint64_t, std::uint64_t, Place::Kind>> holders;
    for (int level = 0; level < maxLevels && !climbs.empty(); ++level) {
        // Mount points share the folders above them: each is looked at once.
        std::set<std::pair<std::string, Place::Kind>> asked;
        std::erase_if(climbs, [&](const Climb& climb) {
            return climb.byText && !asked.emplace(climb.next, climb.kind).second;
        });
        std::vector<std::string> paths;
        for (const Climb& climb : climbs) paths.push_back(climb.next);
        const std::vector<PathGate::Status> found = PathGate::lstatEach(paths);
        std::vector<Climb> going;
        for (std::size_t i = 0; i < climbs.size(); ++i) {
            Climb& climb = climbs[i];
            if (!isFolder(found[i])) continue;
            const std::uint64_t device = found[i].info.st_dev, inode = found[i].info.st_ino;
            if (device == climb.device && inode == climb.inode) continue; // ".." of "/" is "/"
            if (!holders.emplace(device, inode, climb.kind).second) continue;
            registry.places.push_back(
                {.device = device, .inode = inode, .kind = climb.kind, .holds = true, .path = climb.placePath});
            if (climb.byText && climb.next == "/") continue;
            if (!climb.byText && climb.next.size() > 3500) continue;
            climb.next = climb.byText ? PathText::parent(climb.next) : climb.next + "/..";
            climb.device = device;
            climb.inode = inode;
            going.push_back(std::move(climb));
        }
        climbs = std::move(going);
    }
}

// The order of the reasons: a Trash first, then what the item is before what it holds.
int rank(const Place& place) {
    switch (place.kind) {
    case Place::Kind::trash: return place.holds ? 3 : 0;
    case Place::Kind::root: return 1;
    case Place::Kind::home: return place.holds ? 5 : 2;
    case Place::Kind::shared: return place.holds ? 7 : 4;
    case Place::Kind::mountPoint: return place.holds ? 8 : 6;
    }
    return 9;
}

} // namespace

Sources Sources::current() {
    return completed(environment());
}

Sources Sources::completed(Sources environment) {
    environment.accountHomes = Places::accountHomes();
    environment.mounts = *MountTable::current();
    return environment;
}

Sources Sources::environment() {
    Sources sources;
    sources.home = UserFolders::home();
    sources.dataHome = UserFolders::dataHome();
    for (const char* variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        if (const char* value = std::getenv(variable); value && value[0] == '/') sources.sharedFolders.emplace_back(value);
    // The defaults too, whatever the environment says: other programs of the session may not share it.
    if (!sources.home.empty() && sources.home != "/")
        for (const char* below : {"/.config", "/.local", "/.local/share", "/.local/state", "/.cache"})
            sources.sharedFolders.push_back(sources.home + below);
    sources.uid = ::getuid();
    return sources;
}

PlaceRegistry lookAt(const Sources& sources) {
    std::vector<Target> followed;
    addTarget(followed, "/", Place::Kind::root);
    if (sources.home != "/") addTarget(followed, sources.home, Place::Kind::home);
    for (const std::string& folder : sources.sharedFolders) addTarget(followed, folder, Place::Kind::shared);
    if (!sources.dataHome.empty()) addTarget(followed, joined(sources.dataHome, "Trash"), Place::Kind::trash);
    // Each account's Trash as its desktop finds it, its home and the folders on the way followed,
    // but not a link in its own place: another account's "Trash" made a link to this user's
    // files must not make them count as thrown away.
    std::vector<Target> accountTrashes;
    std::vector<std::string> homes{sources.home};
    homes.insert(homes.end(), sources.accountHomes.begin(), sources.accountHomes.end());
    std::size_t accounts = 0;
    for (const std::string& home : homes) {
        if (home.empty() || home.front() != '/' || PathText::standardized(home) == "/") continue;
        if (++accounts > maxAccounts) break;
        addTarget(accountTrashes, joined(PathText::standardized(home), ".local/share/Trash"), Place::Kind::trash);
    }

    // Mount points as the kernel gives them, and the Trash folders at their tops: a link there is
    // no Trash, so they are not followed.
    std::vector<Target> unfollowed;
    std::vector<Climb> climbs;
    const std::string uid = std::to_string(sources.uid);
    std::vector<std::string> tops{"/"};
    for (const MountEntry& mount : sources.mounts) {
        if (mount.mountPoint.empty() || mount.mountPoint.front() != '/') continue;
        addTarget(unfollowed, mount.mountPoint, Place::Kind::mountPoint);
        if (std::find(tops.begin(), tops.end(), mount.mountPoint) == tops.end()) tops.push_back(mount.mountPoint);
    }
    for (const std::string& top : tops)
        for (const std::string& name : {std::string(".Trash"), ".Trash-" + uid})
            addTarget(unfollowed, joined(top, name), Place::Kind::trash);

    PlaceRegistry registry;
    lookAtTargets(followed, Look::followed, registry, climbs);
    lookAtTargets(accountTrashes, Look::itemItself, registry, climbs);
    lookAtTargets(unfollowed, Look::byMountTable, registry, climbs);
    climbAll(std::move(climbs), registry);
    std::stable_sort(registry.places.begin(), registry.places.end(), isEarlier);
    return registry;
}

const std::vector<std::string>& accountHomes() {
    // A directory service may list hundreds of thousands of accounts: at most maxAccounts are read.
    static const std::vector<std::string> homes = [] {
        std::vector<std::string> found;
        std::array<char, 16384> buffer{};
        passwd entry{};
        passwd* next = nullptr;
        ::setpwent();
        while (found.size() < maxAccounts && ::getpwent_r(&entry, buffer.data(), buffer.size(), &next) == 0 && next)
            if (next->pw_dir) found.emplace_back(next->pw_dir);
        ::endpwent();
        return found;
    }();
    return homes;
}

bool isTopTrashName(std::string_view name) {
    if (name == ".Trash") return true;
    constexpr std::string_view prefix = ".Trash-";
    if (!name.starts_with(prefix) || name.size() == prefix.size()) return false;
    return std::all_of(name.begin() + prefix.size(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isInTrash(const PlaceRegistry& registry, const std::string& path) {
    if (path.empty() || path.front() != '/' || registry.empty()) return false;
    // "/", then each folder on the way, then the item itself.
    std::vector<std::string> chain{"/"};
    std::vector<std::string_view> names{""};
    for (std::size_t start = 1; start < path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        if (end > start) {
            chain.push_back(path.substr(0, end));
            names.push_back(std::string_view(path).substr(start, end - start));
        }
        start = end + 1;
    }
    const std::vector<PathGate::Status> found = PathGate::lstatEach(chain);
    bool aboveIsPlace = false;
    for (std::size_t i = 0; i < chain.size(); ++i) {
        if (found[i].error != 0) return false;
        const std::span<const Place> places = registry.at(found[i].info.st_dev, found[i].info.st_ino);
        if (std::any_of(places.begin(), places.end(), [](const Place& p) { return p.kind == Place::Kind::trash && !p.holds; }))
            return true;
        if (aboveIsPlace && isTopTrashName(names[i])) return true;
        aboveIsPlace = std::any_of(places.begin(), places.end(), [](const Place& p) { return !p.holds; });
    }
    return false;
}

const Place* first(std::span<const Place> found) {
    const auto best = std::min_element(found.begin(), found.end(),
                                       [](const Place& a, const Place& b) { return rank(a) < rank(b); });
    return best == found.end() ? nullptr : &*best;
}

std::string reason(const Place& place, std::string_view shown) {
    const std::string item(shown);
    switch (place.kind) {
    case Place::Kind::trash: return item + (place.holds ? " holds the Trash" : " is the Trash");
    case Place::Kind::root: return "The root folder cannot be moved to the Trash";
    case Place::Kind::home:
        return place.holds ? item + " holds the home folder" : "The home folder cannot be moved to the Trash";
    case Place::Kind::shared:
        return place.holds ? item + " holds a shared folder of the desktop (" + place.path + ")"
                           : item + " is a shared folder of the desktop";
    case Place::Kind::mountPoint:
        return place.holds ? item + " holds a mounted volume (" + place.path + ")" : item + " is a mounted volume";
    }
    return item + " cannot be moved to the Trash";
}

std::string inTrashReason(std::string_view shown) { return std::string(shown) + " is in the Trash"; }

std::string written(const PlaceRegistry& registry) {
    // One line a place: device, inode, kind and whether it holds the place, then the path's length
    // and the path itself (any bytes).
    std::string text;
    for (const Place& place : registry.places) {
        text += std::to_string(place.device) + ' ' + std::to_string(place.inode) + ' ' +
                std::to_string(static_cast<int>(place.kind)) + ' ' + (place.holds ? '1' : '0') + ' ' +
                std::to_string(place.path.size()) + ' ';
        text += place.path;
        text += '\n';
    }
    return text;
}

std::optional<PlaceRegistry> readBack(std::string_view text) {
    PlaceRegistry registry;
    while (!text.empty()) {
        std::uint64_t fields[5] = {};
        for (std::uint64_t& field : fields) {
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), field);
            if (error != std::errc() || end == text.data() + text.size() || *end != ' ') return std::nullopt;
            text.remove_prefix(static_cast<std::size_t>(end - text.data()) + 1);
        }
        if (fields[2] > static_cast<std::uint64_t>(Place::Kind::mountPoint) || fields[3] > 1 || fields[4] >= text.size() ||
            text[fields[4]] != '\n')
            return std::nullopt;
        registry.places.push_back({.device = fields[0], .inode = fields[1], .kind = static_cast<Place::Kind>(fields[2]),
                                   .holds = fields[3] == 1, .path = std::string(text.substr(0, fields[4]))});
        text.remove_prefix(fields[4] + 1);
    }
    return registry;
}

} // namespace Places

} // namespace tallymere
