#pragma once
#include "platform/MountTable.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The folders the program never moves, known by the device and inode of each, never by how a path
// spells them: a link, a bind mount or an odd XDG variable spells the same folder another way.
// Every Trash (what lies in one was thrown away: no copy to keep, nothing to move again), the root
// folder, the home, the desktop's shared folders (the XDG base folders and their defaults) and
// every mount point; and every folder above one of them, since moving it takes the place along.
namespace tallymere {

struct Place {
    enum class Kind : std::uint8_t { trash, root, home, shared, mountPoint };
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    Kind kind = Kind::trash;
    // False: this folder is the place. True: the place lies below this folder.
    bool holds = false;
    std::string path; // the place as it was found (raw bytes), for messages only
    friend bool operator==(const Place&, const Place&) = default;
};

// The places of one moment. A plain value with no pointers: it can be copied to a worker, or
// written out for another process, as it is.
struct PlaceRegistry {
    std::vector<Place> places; // ordered by device, then inode

    // Every entry of the folder with this identity; empty when it is no place and holds none.
    std::span<const Place> at(std::uint64_t device, std::uint64_t inode) const;
    bool empty() const { return places.empty(); }
    friend bool operator==(const PlaceRegistry&, const PlaceRegistry&) = default;
};

namespace Places {

// What the places are looked up from. Paths as written (links in them are followed).
struct Sources {
    std::string home;
    std::string dataHome;                   // the home Trash is its "Trash"
    std::vector<std::string> sharedFolders; // the XDG base folders as given, and their defaults
    std::vector<std::string> accountHomes;  // each account's home: its .local/share/Trash is a Trash
    std::vector<MountEntry> mounts;         // each mount point, and the Trash folders at its top
    std::uint32_t uid = 0;                  // whose ".Trash-UID" and ".Trash/UID" at a top are looked at

    // The running process's: the environment, the account homes (accountHomes()), the mount table.
    static Sources current();
    // Its part that the environment gives (home, data folder, shared folders, user id), read by the
    // thread that may change the environment; completed() adds the rest on a worker.
    static Sources environment();
    // `environment` with the account homes and the mount table of now: what may take long.
    static Sources completed(Sources environment);
};

// Looks at every place of `sources` now (through the path gate, many at once) and at every folder
// above each. A place that is not there, or not a folder, is left out; a mount point that does not
// answer within the gate's bound is known by the folders above it only.
PlaceRegistry lookAt(const Sources& sources);

// The home folders of the password database's accounts, read once per process (the first call
// reads, which can take long where accounts come from a directory service: make it off the
// window's thread) and bounded at a few thousand.
const std::vector<std::string>& accountHomes();

// Whether an entry of a volume's top folder with this name is a Trash: ".Trash", or ".Trash-"
// followed by a user id.
bool isTopTrashName(std::string_view name);

// Whether the folder at `path` is a Trash or lies in one, looking at it and at every folder above
// it now: one of them has a Trash's identity, or is a place with a Trash name below it.
bool isInTrash(const PlaceRegistry& registry, const std::string& path);

// The entry among `found` whose reason comes first (the Trash before the rest, what a folder is
// before what it holds); null when `found` is empty.
const Place* first(std::span<const Place> found);

// Why an item may not move for being or holding `place`, `shown` the item as named to the user:
// "SHOWN is the Trash", "The root folder cannot be moved to the Trash", "The home folder cannot be
// moved to the Trash", "SHOWN holds the Trash", "SHOWN is a shared folder of the desktop", "SHOWN
// holds the home folder", "SHOWN is a mounted volume", "SHOWN holds a shared folder of the desktop
// (PATH)" or "SHOWN holds a mounted volume (PATH)".
std::string reason(const Place& place, std::string_view shown);
// "SHOWN is in the Trash".
std::string inTrashReason(std::string_view shown);

// The registry written out for another process of the program, and read back; none when the text
// is not one written so.
std::string written(const PlaceRegistry& registry);
std::optional<PlaceRegistry> readBack(std::string_view text);

} // namespace Places

} // namespace tallymere
