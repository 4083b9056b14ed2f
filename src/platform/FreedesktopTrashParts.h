#pragma once
// The parts of the Trash shared by its implementation files (FreedesktopTrash*.cpp) only: the walk
// to an item and the checks made on it, the move itself, and the gate's side of both.
#include "base/PathText.h"
#include "platform/FreedesktopTrash.h"
#include "platform/OwnedFd.h"
#include "platform/Places.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace tallymere::FreedesktopTrash {

inline std::string systemMessage(int error) {
    return std::generic_category().message(error);
}

inline Result failure(std::string message) {
    return {.moved = false, .error = std::move(message)};
}

using PathText::joined;

// How opening a folder without links ended.
enum class Reached { folder, link, failed };

// A folder on the way to an item, as it was when the walk held it.
struct WalkedFolder {
    dev_t device = 0;
    ino_t inode = 0;
    std::uint64_t mount = 0; // the kernel's number of its mount; 0 when not known
    std::string name;        // its name in the folder before; empty for "/"
};

// The kernel's number of the mount an open item lies on; 0 where the kernel does not tell it.
std::uint64_t mountIdOf(int fd);

// Opens the folder at an absolute path one component at a time from "/", each relative to the one
// before and none through a symbolic link, so the descriptor is the folder the path names now
// with no link anywhere on the way: a link in the chain gives Reached::link, anything else that
// stops the walk Reached::failed with `error` set. Each step holds the folder it checked, so a
// component swapped after its check is never entered. Each folder walked, "/" first, is added to
// `walked` when given.
Reached openFolderWithoutLinks(const std::string& path, OwnedFd& out, int& error,
                               std::vector<WalkedFolder>* walked = nullptr);

// Whether the entry `name` in `folder` is still the item described, by kind, inode and birth time.
bool isSameItem(int folder, const std::string& name, const Identity& expected);

// The file system and mount of the item's folder, as checked: only a Trash on both can take the
// item by a rename.
struct ItemPlace {
    dev_t device = 0;
    std::uint64_t mount = 0; // 0 when not known
    std::string name;        // the item's name, for the reason
};

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
std::string checkItem(const std::string& requested, const Identity* expected, CheckedItem& item);

// Why the item cannot go to the Trash for what it, or a folder on its way, is among `places`, from
// the identities the walk held: it is a Trash or lies in one (a folder of a Trash's identity, or of
// a Trash's name at a volume's top), it is the root or home folder, a shared folder of the desktop
// or a mount point, or it holds one; or it is or holds a mount point of the mount table of this
// moment, which `places` may not know yet. Empty when none.
std::string whyPlace(const CheckedItem& item, const PlaceRegistry& places);

// Why the item at an absolute path is not the one described, looked at here and now (whyChanged()
// made without the gate); none while it still is that item.
std::optional<std::string> whyChangedHere(const std::string& path, const Identity& expected);

// The move itself, made here: the item checked, its Trash chosen and made ready, its info claimed,
// then the rename.
Result moveChecked(const std::string& requested, const PlaceRegistry& places, const Identity* expected);

} // namespace tallymere::FreedesktopTrash
