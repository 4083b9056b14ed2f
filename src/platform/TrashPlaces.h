#pragma once
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
};

// The places as they are now: the data folder from the environment, the tops from the mount table.
Places current();

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
