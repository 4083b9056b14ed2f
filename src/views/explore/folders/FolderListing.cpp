#include "views/explore/folders/FolderListing.h"

#include "base/PathText.h"

#include <algorithm>

namespace tallymere::FolderListing {

namespace {

// The first `ordered` of `nodes` largest first, equal sizes in their stored order, as a stable sort
// would put them, without ordering the rest.
void orderLargest(std::vector<const FileNode*>& nodes, bool useAllocated, std::size_t ordered) {
    struct Entry {
        std::int64_t bytes;
        std::size_t position;
        const FileNode* node;
    };
    std::vector<Entry> entries;
    entries.reserve(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) entries.push_back({nodes[i]->bytes(useAllocated), i, nodes[i]});
    const auto before = [](const Entry& a, const Entry& b) {
        return a.bytes != b.bytes ? a.bytes > b.bytes : a.position < b.position;
    };
    const auto middle = entries.begin() + std::ptrdiff_t(std::min(ordered, entries.size()));
    std::partial_sort(entries.begin(), middle, entries.end(), before);
    for (std::size_t i = 0; i < entries.size(); ++i) nodes[i] = entries[i].node;
}

} // namespace

Lists split(const FileNode* folder, bool useAllocated, std::size_t ordered) {
    Lists lists;
    if (!folder) return lists;
    for (const FileNode* child : folder->children()) {
        if (child->isDirectory && !child->isPackage) lists.folders.push_back(child);
        else lists.files.push_back(child);
    }
    orderLargest(lists.folders, useAllocated, ordered);
    orderLargest(lists.files, useAllocated, ordered);
    return lists;
}

std::string destinationName(const FileNode& folder) {
    if (folder.parent) return std::string(folder.name());
    const std::string path = folder.path();
    if (path == "/") return "Macintosh HD";
    return PathText::lastComponent(path);
}

} // namespace tallymere::FolderListing
