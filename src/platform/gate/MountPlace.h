#pragma once
#include "platform/MountTable.h"
#include "platform/OwnedFd.h"

#include <string>
#include <string_view>
#include <vector>

// Where a path lies, told from the mount table: on a file system that answers as long as the
// system does (a local disk, memory, the kernel's own), or on one whose server may stop answering
// (FUSE, network, or a type this program does not know), which only a gate helper may touch.
namespace tallymere::gate {

// Whether a call on this file system may wait for ever on a server: FUSE (also a local disk through
// FUSE, whose server can stop like any other), network and cluster file systems, the automounter,
// and any type not known to be local.
bool mayNotAnswer(std::string_view fsType);

// The mount point of the first mount that may not answer on the way to `absolutePath` (a mount
// point at or above it, by its text alone, the topmost of several mounted at one place), or empty
// when every mount on the way answers. A call that follows no link on that way touches no other.
std::string unansweringMountOnTheWay(const std::vector<MountEntry>& mounts, std::string_view absolutePath);

// A path found, as far as this process may look.
struct Place {
    // True when the rest of the way, or the call itself, must be left to a helper.
    bool needsHelper = false;
    int error = 0; // the way could not be followed here (an errno); with needsHelper false only
    // Here: open (O_PATH) on the item itself when its last link is followed, else on its folder.
    OwnedFd handle;
    // Here, with the last link not followed: the item's name in `handle`'s folder.
    std::string name;
    // Here: the item's physical path (every link resolved, none on the way). For a helper: the
    // path to hand it, links on the way so far resolved.
    std::string path;
    // For a helper: the mount that may not answer.
    std::string mountPoint;
};

// Follows `path` (made absolute against the working folder) one name at a time, each link on the
// way read here while it lies on a file system that answers, and stops where the way enters one
// that may not. `followLast`: whether a link at the end is followed, as stat and open do, or
// taken itself, as lstat, readlink and rename do.
Place locate(const std::string& path, bool followLast);

} // namespace tallymere::gate
