#pragma once
#include "core/FileTree.h"
#include "core/ScanProgress.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>

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

    // The whole-disk setting: hidden entries, allocated sizes, and the folders that hold no user
    // data of their own (virtual and network file systems, other mounts of the same data).
    static ScanOptions fullMac();

    friend bool operator==(const ScanOptions&, const ScanOptions&) = default;
};

namespace DiskScanner {

// Blocks until every scan thread has ended. Null only when the root itself cannot be examined
// (lstat fails); otherwise the finished root (sums and depths set), also after a cancel. The
// returned pointer owns the whole tree.
std::shared_ptr<FileNode> scan(std::string_view root, const ScanOptions& options, ScanProgress& progress);

// Number of scan threads for a given number of active processors: five each, between 8 and 48.
int threadCount(int processors);

} // namespace DiskScanner

} // namespace tallymere
