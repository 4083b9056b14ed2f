#pragma once
#include "core/FileNode.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace tallymere {

// One large reservation of address space that the arenas of a parallel builder carve their blocks
// from: memory is taken from the system once, up front, instead of one mapping per block, each of
// which would stall every other thread touching new memory at that moment. Only the pages written
// cost memory. Freed whole with the region.
class NodeRegion {
public:
    // Reserves about `bytes` of address space; a region the system refuses is empty and gives nothing.
    explicit NodeRegion(std::size_t bytes);
    ~NodeRegion();
    NodeRegion(const NodeRegion&) = delete;
    NodeRegion& operator=(const NodeRegion&) = delete;

    // The next `bytes` of the region (a multiple of 64 bytes is kept aligned), or null once it is
    // used up. Safe from any number of threads.
    std::byte* take(std::size_t bytes);

    // A region as large as the machine's memory: a tree can be no larger.
    static std::unique_ptr<NodeRegion> forThisMachine();

private:
    std::byte* m_base = nullptr;
    std::size_t m_size = 0;
    std::atomic<std::size_t> m_used{0};
};

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

    // From now on new blocks come from `region` (which must outlive the arena's nodes) while it
    // has room, and from the heap after that.
    void useRegion(NodeRegion* region) { m_region = region; }

private:
    void* allocate(std::size_t bytes, std::size_t alignment);

    std::vector<std::unique_ptr<std::byte[]>> m_blocks;
    std::byte* m_cursor = nullptr;
    std::byte* m_end = nullptr;
    std::size_t m_nextBlock = 16 * 1024;
    NodeRegion* m_region = nullptr;
};

// A whole tree: the arena that owns every node and the root. Held through a shared pointer; hand
// nodes out with share() so that a held node keeps the whole tree, and so its full path, alive.
struct FileTree {
    // Where a parallel builder's nodes live, when it used one; declared first so it is freed last.
    std::unique_ptr<NodeRegion> region;
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

// One folder's sums (sizes, file and folder counts, saturating) from its children, which must all
// have their own sums already: what the roll-up does for each folder.
void sumChildren(FileNode& folder);

// Sets the node's depth and every descendant's to its parent's plus 1. Iterative.
void assignDepth(FileNode& root, std::int32_t depth);

} // namespace tallymere
