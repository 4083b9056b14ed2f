#pragma once
#include "core/FileNode.h"

#include <cstddef>
#include <string>
#include <vector>

namespace tallymere::FolderListing {

// The children of one folder as the Folders page shows them: plain folders in one list, everything
// else (files, links and packages) in the other, each largest first in the given size mode. Equal
// sizes keep the folder's stored order. Both lists are empty for no folder, a file or an unreadable
// folder. Only the folder's own children are looked at, never the subtree. Only the first `ordered`
// of each list are put in that order (a page shows a few hundred of a folder's tens of thousands);
// the rest follow them in no particular order.
struct Lists {
    std::vector<const FileNode*> folders;
    std::vector<const FileNode*> files;
};
Lists split(const FileNode* folder, bool useAllocated, std::size_t ordered = std::size_t(-1));

// The name of the folder a step up leads to, raw bytes: its own name below the top of a tree, the
// root file system's name "Macintosh HD" for a tree scanned from "/", else the last component of
// the scanned path.
std::string destinationName(const FileNode& folder);

} // namespace tallymere::FolderListing
