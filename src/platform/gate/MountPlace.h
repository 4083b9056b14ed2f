#pragma once
#include "platform/MountTable.h"
#include "platform/OwnedFd.h"

#include <sys/stat.h>

#include <string>
#include <string_view>
#include <vector>

// Where a path lies, told from the mount table: on a file system that answers as long as the
// system does (a local disk, memory, the kernel's own), or on one whose server may stop answering
// (FUSE, network, or a type this program does not know), which only a gate helper may touch.
namespace tallymere::gate {

// The mount point of the first mount that may not answer on the way to `absolutePath` (a mount
// point at or above it, by its text alone, the topmost of several mounted at one place), or empty
// when every mount on the way answers. A call that follows no link on that way touches no other.
std::string unansweringMountOnTheWay(const std::vector<MountEntry>& mounts, std::string_view absolutePath);
// The same on the process's mount table as it is now.
std::string unansweringMountOnTheWay(std::string_view absolutePath);

// How far a call goes along its path.
enum class Reach {
    item,       // to what the path names, a link at its end followed (stat, open)
    itemItself, // to the last name itself, a link there taken as it is (lstat, readlink)
    folder,     // to the folder that holds the last name, which need not exist (rename, mkdir, a write)
};

// A path found, as far as this process may look.
struct Place {
    // True when the rest of the way, or the call itself, must be left to a helper.
    bool needsHelper = false;
    int error = 0; // the way could not be followed here (an errno); with needsHelper false only
    // Here: open (O_PATH) on the item (Reach::item, Reach::itemItself) or its folder (Reach::folder).
    OwnedFd handle;
    // Here, with Reach::folder: the item's name in `handle`'s folder.
    std::string name;
    // Here: what `handle` is, where finding it took a look at it anyway.
    struct stat info {};
    bool hasInfo = false;
    // Here: the item's physical path (every link resolved, none on the way). For a helper: the
    // path to hand it, links on the way so far resolved.
    std::string path;
    // For a helper: the mount that may not answer.
    std::string mountPoint;
};

// Follows `path` (made absolute against the working folder) as far as `reach` asks, each link on the
// way read here while it lies on a file system that answers, and stops where the way enters one
// that may not.
Place locate(const std::string& path, Reach reach);

} // namespace tallymere::gate
