#pragma once
#include "core/FileTree.h"

#include <memory>
#include <string_view>

namespace tallymere::test {

// Builds a finished tree (sums rolled up, depths set) from indented text, two spaces a level:
//
//   root/
//     docs/
//       a.pdf 300
//       b.txt 100 alloc=4096 mtime=1700000000
//     empty/
//     denied/ denied
//     link.mp4 12 link
//     pkg.app/ package
//
// A trailing "/" makes a folder (a listed folder with no lines below it is an empty folder; "denied"
// gives it no list). The first number is the logical size; alloc= defaults to the size, mtime= and
// ctime= to 0. Category follows the scanner's classification of the name.
std::shared_ptr<FileNode> treeFromText(std::string_view text);

// The child of `folder` with the raw name `name`, or null.
const FileNode* childNamed(const FileNode& folder, std::string_view name);

// One line per node, pre-order, indented two spaces a level: "name size alloc files/folders".
std::string dumpTree(const FileNode& root);

} // namespace tallymere::test
