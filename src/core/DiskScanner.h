#pragma once
#include "core/FileTree.h"
#include "core/ScanProgress.h"
#include "platform/MountTable.h"
#include "platform/Places.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace tallymere {

struct ScanOptions {
    // Read entries whose name begins with "." too ("." and ".." never).
    bool includeHidden = false;
    // The live byte counter adds allocated bytes when true, logical bytes when false. The tree
    // always carries both.
    bool useAllocatedSize = false;
    // Full paths of folders left out of the tree, matched exactly against each subfolder's path
    // (raw bytes). The root itself is never tested.
    std::unordered_set<std::string> excludedPaths;
    // Scan threads; 0 means the default for this machine (threadCount of its processors). Callers
    // that run many small scans at once ask for few.
    int threads = 0;
    // The places whose folders the tree marks (see PlaceMarks): found before the scan, off the
    // window's thread. Empty marks nothing.
    PlaceRegistry places;

    // The whole-disk setting: hidden entries, allocated sizes, and the folders that hold no user
    // data of their own: /proc, /sys, /dev, /run and every virtual or network mount point of this
    // process's mount table, and the mounts of RAM (tmpfs, ramfs) and of images (squashfs, loop
    // devices), whose bytes are not disk or are counted already. /home is scanned.
    static ScanOptions fullMac();
    // The same from a given mount table.
    static ScanOptions fullMac(const std::vector<MountEntry>& mounts);

    friend bool operator==(const ScanOptions&, const ScanOptions&) = default;
};

namespace DiskScanner {

// Blocks until every scan thread has ended. The root's symbolic links are resolved first, once, so
// the root's name and every path in the tree are physical. Null only when the root itself cannot
// be resolved or examined; otherwise the finished root (sums and depths set), also after a cancel.
// The returned pointer owns the whole tree. Folders that could not be read are marked isDenied and
// counted in the progress.
//
// Names are the directory's raw bytes; folders are opened by raw path, so any name is read.
// Below the root, the scan never enters a virtual or network file system (listed in the mount
// table), whatever the options say. A folder reached a second time through another mount (a bind
// mount) is not read again: it stays as an empty folder. A folder's children keep the directory's
// order.
std::shared_ptr<FileNode> scan(std::string_view root, const ScanOptions& options, ScanProgress& progress);

// Number of scan threads for a given number of active processors: five each, between 8 and 48.
int threadCount(int processors);

// Processors this process may run on (its affinity mask), at least 1.
int activeProcessors();

} // namespace DiskScanner

} // namespace tallymere
