#pragma once
#include "core/FileNode.h"

#include <cstddef>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace tallymere {

// Bump allocator that owns nodes, their names and their child lists. Nodes are trivially
// destructible and are freed together with the arena. One arena is used by one thread at a time;
// a parallel builder gives each thread its own and absorbs them into the tree at the end.
class NodeArena {
public:
    NodeArena() = default;
    NodeArena(NodeArena&&) noexcept = default;
    NodeArena& operator=(NodeArena&&) noexcept = default;
    NodeArena(const NodeArena&) = delete;
    NodeArena& operator=(const NodeArena&) = delete;

    // A detached node: no parent, no child list, zero sizes, counts, dates and depth.
    FileNode* makeNode(std::string_view name, bool isDirectory, FileCategory category);

    // Gives the folder its child list (possibly empty) and points each child's parent at it.
    void setChildren(FileNode& folder, std::span<FileNode* const> children);

    // Takes over every block of the other arena; its nodes stay where they are.
    void absorb(NodeArena&& other);

private:
    void* allocate(std::size_t bytes, std::size_t alignment);

    std::vector<std::unique_ptr<std::byte[]>> m_blocks;
    std::byte* m_cursor = nullptr;
    std::byte* m_end = nullptr;
    std::size_t m_nextBlock = 16 * 1024;
};

// A whole tree: the arena that owns every node and the root. Held through a shared pointer; hand
// nodes out with share() so that a held node keeps the whole tree, and so its full path, alive.
struct FileTree {
    NodeArena arena;
    FileNode* root = nullptr;
};

// A shared pointer to `node` that owns whatever `owner` owns (aliasing), e.g. the tree's root pointer.
template <class Owner>
std::shared_ptr<FileNode> share(const std::shared_ptr<Owner>& owner, const FileNode* node) {
    if (!node) return {};
    return std::shared_ptr<FileNode>(owner, const_cast<FileNode*>(node));
}

inline std::shared_ptr<FileNode> shareRoot(const std::shared_ptr<FileTree>& tree) {
    return share(tree, tree ? tree->root : nullptr);
}

// Sets size, allocated and fileCount of every folder below `root` (included) to the sums over its
// children and folderCount to the number of directories below it. Nodes without children are left
// as they are. Iterative: deep trees need no deep recursion.
void rollup(FileNode& root);

// Sets the node's depth and every descendant's to its parent's plus 1. Iterative.
void assignDepth(FileNode& root, std::int32_t depth);

} // namespace tallymere
