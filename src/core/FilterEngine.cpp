#include "core/FilterEngine.h"

#include <vector>

namespace tallymere::FilterEngine {
namespace {

bool isLeaf(const FileNode& node) {
    return !node.isDirectory || node.isPackage;
}

// What the scan found the node to be among the places: a filtered copy is staged and searched as
// the scanned tree is.
void copyPlaceMarks(FileNode& copy, const FileNode& node) {
    copy.isTrash = node.isTrash;
    copy.isProtected = node.isProtected;
    copy.holdsPlace = node.holdsPlace;
}

FileNode* copyFolder(NodeArena& arena, const FileNode& folder) {
    FileNode* copy = arena.makeNode(folder.name(), true, FileCategory::folder);
    copy->isPackage = folder.isPackage;
    copy->modified = folder.modified;
    copy->created = folder.created;
    copy->isDenied = folder.isDenied;
    copy->hasIdentity = folder.hasIdentity;
    copy->inodeTag = folder.inodeTag;
    copyPlaceMarks(*copy, folder);
    return copy;
}

} // namespace

FileNode* copyLeaf(NodeArena& arena, const FileNode& leaf) {
    FileNode* copy = arena.makeNode(leaf.name(), leaf.isDirectory, leaf.category);
    copy->size = leaf.size;
    copy->allocated = leaf.allocated;
    copy->fileCount = leaf.fileCount;
    copy->folderCount = leaf.folderCount;
    copy->isPackage = leaf.isPackage;
    copy->isSymlink = leaf.isSymlink;
    copy->modified = leaf.modified;
    copy->created = leaf.created;
    copy->hasIdentity = leaf.hasIdentity;
    copy->inodeTag = leaf.inodeTag;
    copyPlaceMarks(*copy, leaf);
    return copy;
}

std::shared_ptr<FileNode> prune(const FileNode& root, const NodeFilter& filter, bool useAllocated, bool isRoot) {
    auto tree = std::make_shared<FileTree>();
    NodeArena& arena = tree->arena;
    PreparedFilter test(filter);

    if (isLeaf(root)) {
        if (!test.accepts(root, useAllocated)) return nullptr;
        tree->root = copyLeaf(arena, root);
        return shareRoot(tree);
    }

    // Post-order without recursion. `kept` is one shared list: each open folder owns the tail
    // from its `firstKept`; closing the folder turns that tail into its copy (or drops it), so
    // folders without a passing file below them allocate nothing.
    struct Frame {
        const FileNode* folder;
        std::size_t nextChild;
        std::size_t firstKept;
    };
    std::vector<FileNode*> kept;
    std::vector<Frame> stack{{&root, 0, 0}};
    FileNode* result = nullptr;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const auto children = frame.folder->children();
        if (frame.nextChild < children.size()) {
            const FileNode* child = children[frame.nextChild++];
            if (isLeaf(*child)) {
                if (test.accepts(*child, useAllocated)) kept.push_back(copyLeaf(arena, *child));
            } else {
                stack.push_back({child, 0, kept.size()});
            }
            continue;
        }
        const Frame done = frame;
        stack.pop_back();
        const bool isTop = stack.empty();
        if (done.firstKept == kept.size() && !(isTop && isRoot)) continue;
        FileNode* copy = copyFolder(arena, *done.folder);
        arena.setChildren(*copy, std::span<FileNode* const>(kept.data() + done.firstKept, kept.size() - done.firstKept));
        kept.resize(done.firstKept);
        if (isTop) result = copy;
        else kept.push_back(copy);
    }
    if (!result) return nullptr;
    rollup(*result);
    assignDepth(*result, 0);
    tree->root = result;
    return shareRoot(tree);
}

} // namespace tallymere::FilterEngine
