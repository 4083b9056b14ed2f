#pragma once
#include "platform/MountTable.h"

#include <string>
#include <string_view>
#include <vector>

// Where the Trash folders lie: the home Trash in the user's data folder, and at the top folder of
// each mounted file system ".Trash" (one folder per user inside) and ".Trash-UID". What lies in
// them was thrown away: it is no copy to keep, and nothing there is moved to the Trash again.
namespace tallymere::TrashPlaces {

// Physical paths (links resolved, as a scanned tree holds them), compared as text.
struct Places {
    std::string homeTrash;         // empty when there is no data folder
    std::string home;              // the home folder; empty when unknown
    std::vector<std::string> tops; // top folders of the mounted file systems, "/" at least
    std::vector<std::string> accountTrashes; // every account's home Trash (see accountTrashesOf)
};

// The places as they are now: the data folder from the environment, the tops from the mount table,
// the accounts' home Trash folders from the password database (read once per process).
Places current();

// The home Trash, <home>/.local/share/Trash, of each of `homes`: a root scanning every home meets
// other users' Trash folders, whose items were thrown away as much as the user's own. Homes that
// are no folder of their own (relative, "/") are left out, and at most a few thousand are taken.
// Only the folder holding each home is resolved, and not even that where it lies on a network or
// FUSE mount of `mounts`: such a mount may never answer.
std::vector<std::string> accountTrashesOf(const std::vector<std::string>& homes, const std::vector<MountEntry>& mounts);

// Whether an entry of a volume's top folder with this name is a Trash: ".Trash", or ".Trash-"
// followed by a user id.
bool isTopTrashName(std::string_view name);

// The Trash folder that `path` is or lies in, any user's; empty when none.
std::string trashOf(const Places& places, std::string_view path);

// Why an item at physical `path` cannot go to the Trash for what it is to a Trash, with `shown` as
// the path the reason names: "SHOWN is the Trash", "SHOWN is in the Trash", "SHOWN holds the
// Trash" (the home Trash lies inside it), "The home folder holds the Trash" or "SHOWN holds a
// mounted volume (TOP)" (one of `tops` lies below it). Empty when none.
std::string whyRefused(const Places& places, std::string_view path, std::string_view shown);

} // namespace tallymere::TrashPlaces
