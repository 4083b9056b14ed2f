#pragma once
#include "core/FileTree.h"
#include "core/NodeFilter.h"

#include <memory>

namespace tallymere::FilterEngine {

// A filtered copy of the subtree at `root`: only accepted leaves and the folders leading to them,
// children in their stored order. Every node of the copy is new and lives in the copy's own
// FileTree, which the returned pointer owns; the source is only read, so it may be shown on another
// thread meanwhile. A package stays one leaf with its rolled-up sums and no children; a folder
// without a list (unreadable) keeps nothing. With `isRoot` the top folder is kept even when nothing
// passes (then with an empty child list); otherwise an empty result is null, as is a top that is a
// leaf and fails. The copy is finished: sums rolled up and depths assigned from 0 (applying
// rollup/assignDepth again changes nothing).
std::shared_ptr<FileNode> prune(const FileNode& root, const NodeFilter& filter, bool useAllocated,
                                bool isRoot = true);

// A detached copy of one leaf in `arena`: name, kind, category, sizes, counts, package and link
// flags and dates; no child list, not denied, no parent, depth 0.
FileNode* copyLeaf(NodeArena& arena, const FileNode& leaf);

} // namespace tallymere::FilterEngine
