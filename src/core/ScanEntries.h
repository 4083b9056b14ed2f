#pragma once
#include "core/FileTree.h"
#include "core/ScanContext.h"
#include "platform/DirectoryRecord.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Making the nodes of one folder's directory entries, and sharing the entries of a very large
// folder out among threads. Private to DiskScanner.
namespace tallymere::ScanWorker {

// What every entry of one folder shares while it is made into a node.
struct FolderFrame {
    const FileNode* folder = nullptr; // the folder read
    int fd = -1;                 // the open folder; entries are examined relative to it
    std::int32_t childDepth = 0;
    bool testsPaths = false;     // whether subfolders are tested against left-out paths
    std::string_view folderPath; // the folder's full path, when testsPaths
    // Set when an entry the listing names could not be looked at (the folder can be listed but not
    // searched): the folder then counts as one that could not be read. Shares of a large folder
    // set it from several threads.
    std::atomic<bool>* entryHidden = nullptr;
};

// Regular files made into nodes, and their bytes as the live progress counts them.
struct EntryCounts {
    std::int64_t files = 0;
    std::int64_t bytes = 0;
};

// The node of one directory entry, or null when the entry is not part of the tree: "." and "..",
// hidden when they are left out, left-out folders, entries gone before they were examined (a
// folder that is listed but cannot be examined is made, without its sizes, to be tried), a file
// met under another name already, sockets, pipes and devices. A folder still to be read has no
// child list; one met already through another mount gets an empty one and is not read again; a
// mount point that did not answer is made denied, without a list, and is not read.
// `path` is the calling thread's buffer for the path tests.
// With `looked`, the entry was looked at already (by a helper, for a folder on a mount that may not
// answer): its result stands for the look. A mount point on such a mount is made from the look at
// it before the scan, and becomes a folder read by helpers.
struct Looked {
    int error = 0;
    ScanFileSystem::EntryInfo info;
};
FileNode* makeEntry(const FolderFrame& frame, const char* rawName, unsigned char type, ScanContext& context,
                    NodeArena& arena, std::string& path, EntryCounts& counts, const Looked* looked = nullptr);

// The rest of a large folder, listed by the thread reading it and made into nodes in shares by any
// thread free to take one. Held by that thread and by each share task; the last to let go frees it.
struct SplitFolder {
    FolderFrame frame;
    std::string folderPath;
    std::string names;                // the names one after another, each ended by a NUL
    std::vector<std::uint32_t> starts; // where each name begins in `names`
    std::vector<unsigned char> types;  // each entry's directory type
    std::unique_ptr<FileNode*[]> made; // each entry's node, null when it is not part of the tree
    std::size_t shareCount = 0;
    std::atomic<std::size_t> nextShare{0};
    std::atomic<std::size_t> sharesDone{0};
    std::atomic<int> holders{1};
};

// Lists the rest of the folder open in `frame`, hands out shares of it to free threads, makes
// shares itself until none is left, waits for the shares others took, and appends the nodes in
// directory order to scratch.children (and the folders still to be read to scratch.subfolders).
void shareRest(const FolderFrame& frame, ScanContext& context, NodeArena& arena, Scratch& scratch,
               EntryCounts& counts);

// Makes shares of a split folder until none is left to take.
void makeShares(SplitFolder& split, ScanContext& context, NodeArena& arena, std::string& path, EntryCounts& counts);

// One holder of the split folder is done with it.
void releaseShare(SplitFolder* split);

} // namespace tallymere::ScanWorker
