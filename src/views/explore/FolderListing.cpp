#include "views/explore/FolderListing.h"

#include "base/PathText.h"

#include <algorithm>

namespace tallymere::FolderListing {

Lists split(const FileNode* folder, bool useAllocated) {
    Lists lists;
    if (!folder) return lists;
    for (const FileNode* child : folder->children()) {
        if (child->isDirectory && !child->isPackage) lists.folders.push_back(child);
        else lists.files.push_back(child);
    }
    const auto largestFirst = [useAllocated](const FileNode* a, const FileNode* b) {
        return b->bytes(useAllocated) < a->bytes(useAllocated);
    };
    std::stable_sort(lists.folders.begin(), lists.folders.end(), largestFirst);
    std::stable_sort(lists.files.begin(), lists.files.end(), largestFirst);
    return lists;
}

std::string destinationName(const FileNode& folder) {
    if (folder.parent) return std::string(folder.name());
    const std::string path = folder.path();
    if (path == "/") return "Macintosh HD";
    return PathText::lastComponent(path);
}

} // namespace tallymere::FolderListing
