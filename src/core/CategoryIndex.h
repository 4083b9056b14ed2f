#pragma once
#include "core/CategoryTotals.h"
#include "core/FileNode.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tallymere {

// Category totals of every folder of one finished tree, each answered by a walk of at most
// `walkLimit` nodes, whatever the folder holds.
//
// The index keeps the totals of only the folders a walk would otherwise spend many nodes on: walked
// from the bottom up, a folder is kept once the walk below it, stopping at folders already kept,
// reaches `walkLimit` nodes. Every kept folder thereby stands for at least that many nodes no other
// kept folder stands for, so a tree of N nodes keeps at most N / walkLimit of them (about 200 bytes
// each: both size modes are kept). A query walks from its start node and takes the kept totals of
// every kept folder it meets instead of walking below it, which gives exactly what
// CategoryTotals::of gives, in either size mode.
//
// The index holds its tree alive, so the nodes it knows stay the ones it knows. Built once, it is
// only read: any thread may query it.
class CategoryIndex {
public:
    static constexpr std::size_t defaultWalkLimit = 2048;

    // Walks the whole tree once. `walkLimit` below 2 is taken as 2.
    static std::shared_ptr<const CategoryIndex> build(std::shared_ptr<const FileNode> root,
                                                      std::size_t walkLimit = defaultWalkLimit);

    // The totals below `start`, as CategoryTotals::of(start, useAllocated) gives them. A node of
    // another tree is walked whole. `walked`, when given, receives how many nodes were looked at.
    CategoryTotals totals(const FileNode& start, bool useAllocated, std::size_t* walked = nullptr) const;

    const std::shared_ptr<const FileNode>& root() const { return m_root; }
    // How many folders keep their totals.
    std::size_t keptFolders() const { return m_folders.size(); }
    // The memory the kept totals take, in bytes.
    std::size_t memoryBytes() const {
        return sizeof(*this) + m_folders.capacity() * sizeof(const FileNode*) + m_kept.capacity() * sizeof(Kept);
    }
    std::size_t walkLimit() const { return m_walkLimit; }

private:
    struct Kept {
        std::array<std::int64_t, FileCategories::all.size()> allocated{};
        std::array<std::int64_t, FileCategories::all.size()> logical{};
        std::uint16_t met = 0; // one bit a category
    };

    CategoryIndex() = default;
    const Kept* find(const FileNode* folder) const;
    static void add(CategoryTotals& into, const Kept& kept, bool useAllocated);

    std::shared_ptr<const FileNode> m_root;
    std::size_t m_walkLimit = defaultWalkLimit;
    // Sorted by address, for a binary search; m_kept[i] belongs to m_folders[i].
    std::vector<const FileNode*> m_folders;
    std::vector<Kept> m_kept;
};

} // namespace tallymere
