#pragma once
#include "core/FileCategory.h"
#include "core/FileNode.h"

#include <vector>

namespace tallymere::FolderComposition {

// How many nodes one summary may take: the folder itself and every folder passed through count.
inline constexpr int nodeBudget = 4000;

// The kinds of file holding the most bytes inside `folder`, at most three, the largest first. The
// walk is depth first from the last child and stops after nodeBudget nodes, so a huge folder costs
// no more than a small one; whatever lies beyond the budget is not counted. Files, links, packages
// (whole, contents unvisited) and folders without a child list count their displayed size under
// their own category, also when it is 0. Equal totals keep the order in which the kinds were met.
std::vector<FileCategory> top(const FileNode& folder, bool useAllocated);

} // namespace tallymere::FolderComposition
