#pragma once
#include "platform/Places.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tallymere::FreedesktopTrash {

// The result of moving one item: whether it moved, else the reason in words (the system's
// message where the system refused).
struct Result {
    bool moved = false;
    std::string error;
};

// Moves the item at an absolute path into the Trash of its device, with a matching .trashinfo:
// the home Trash ("Trash" in the per-user data folder, read from the environment on every call)
// when the item lives on the home Trash's device, else $topdir/.Trash/$uid (when
// $topdir/.Trash is a real, sticky, non-link folder) or $topdir/.Trash-$uid. The info file is
// claimed exclusively before the item moves, so two items of one name get distinct names; it is
// removed again when the move fails. The move is a rename: an item is never copied between
// devices. Relative paths and "/" are refused.
// The item's folder is reached from "/" without following any symbolic link, and the info file
// and the rename are made relative to the folders that were checked, so nothing swapped in
// meanwhile is acted on: a path whose folders hold a link fails with "NAME changed since the scan"
// (NAME the item's name) and nothing moves.
// Checked against the places as they are now, by the identities of the item and of the folders
// walked to it, whatever the path's spelling: an item that is a Trash or lies in one, the root or
// home folder, a shared folder of the desktop, a mount point, or a folder holding any of them,
// stays, with the reason Places::reason() gives; so does an item that is or holds a mount point of
// the mount table of the moment of the move, by its physical path, known to the places or not.
Result moveToTrash(const std::string& path);

// What an item was when it was chosen. A name can meanwhile stand for another item (replaced by
// another file or folder, a link, a pipe or a device): moving that one would trash what the user
// never chose.
struct Identity {
    enum class Kind : std::uint8_t { file, folder, link };
    Kind kind = Kind::file;
    std::uint8_t inodeTag = 0; // inodeTag() of its inode number
    std::int64_t created = 0;  // birth time in whole seconds since 1970; 0 when not known
};

// The same, but only while the item is still of that kind, inode and birth time (an inode where
// the file system keeps its numbers, a birth time where both are known); else it fails with "NAME
// changed since the scan" and nothing moves.
Result moveToTrash(const std::string& path, const Identity& expected);

// The same against `places` (looked at once for a whole batch, or kept current by the caller),
// with `expected` when given. The two above look at the places on each call.
Result moveToTrash(const std::string& path, const PlaceRegistry& places, const Identity* expected);

// Why the item at an absolute path is not the one described, looked at now: "NAME changed since
// the scan" when a link lies on the way to it or it is of another kind, inode or birth time, the
// system's message when it cannot be reached; none while it still is that item. For handing a
// scanned item to another program, which would otherwise open whatever took its name.
std::optional<std::string> whyChanged(const std::string& path, const Identity& expected);

// Percent-encodes raw path bytes for a .trashinfo Path= line; "/" and unreserved bytes stay.
std::string encodePath(const std::string& path);

} // namespace tallymere::FreedesktopTrash
