#include "core/CategoryIndex.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace tallymere {

namespace {

// The walk descends into listed folders that are not packages; everything else counts as one leaf.
bool isDescended(const FileNode& node) { return node.hasChildList() && !node.isPackage; }

void addLeaf(CategoryTotals& into, const FileNode& leaf, bool useAllocated) {
    const auto index = static_cast<std::size_t>(leaf.category);
    into.bytes[index] += leaf.bytes(useAllocated);
    into.met[index] = true;
}

} // namespace

std::shared_ptr<const CategoryIndex> CategoryIndex::build(std::shared_ptr<const FileNode> root, std::size_t walkLimit) {
    auto index = std::shared_ptr<CategoryIndex>(new CategoryIndex());
    index->m_walkLimit = std::max<std::size_t>(walkLimit, 2);
    index->m_root = std::move(root);
    if (!index->m_root || !index->m_root->hasChildList()) return index;

    // Post-order over the folders: each frame gathers its folder's totals and how many nodes a
    // query starting there would walk, counting a kept folder below it as one. A package is one
    // leaf to the folders above it, but a query may start inside it (the views drill into
    // packages), so its insides are indexed too, apart from everything above.
    struct Frame {
        const FileNode* node;
        bool isApart = false;
        std::size_t next = 0;
        std::size_t walked = 1;
        Kept sums;
    };
    std::vector<std::pair<const FileNode*, Kept>> kept;
    std::vector<Frame> stack;
    stack.push_back({index->m_root.get(), !isDescended(*index->m_root)});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const auto children = frame.node->children();
        if (frame.next < children.size()) {
            const FileNode* child = children[frame.next++];
            if (isDescended(*child)) {
                stack.push_back({child}); // `frame` is not used past this point
                continue;
            }
            const auto category = static_cast<std::size_t>(child->category);
            frame.sums.allocated[category] += child->allocated;
            frame.sums.logical[category] += child->size;
            frame.sums.met |= std::uint16_t(1u << category);
            ++frame.walked;
            if (child->hasChildren()) stack.push_back({child, true});
            continue;
        }
        Frame done = std::move(stack.back());
        stack.pop_back();
        if (done.isApart) continue;
        const bool keep = done.walked >= index->m_walkLimit;
        if (keep) kept.emplace_back(done.node, done.sums);
        if (stack.empty()) break;
        Frame& parent = stack.back();
        parent.walked += keep ? 1 : done.walked;
        for (std::size_t c = 0; c < FileCategories::all.size(); ++c) {
            parent.sums.allocated[c] += done.sums.allocated[c];
            parent.sums.logical[c] += done.sums.logical[c];
        }
        parent.sums.met |= done.sums.met;
    }

    std::sort(kept.begin(), kept.end(),
              [](const auto& a, const auto& b) { return std::less<const FileNode*>()(a.first, b.first); });
    index->m_folders.reserve(kept.size());
    index->m_kept.reserve(kept.size());
    for (auto& [folder, sums] : kept) {
        index->m_folders.push_back(folder);
        index->m_kept.push_back(sums);
    }
    return index;
}

const CategoryIndex::Kept* CategoryIndex::find(const FileNode* folder) const {
    const auto at = std::lower_bound(m_folders.begin(), m_folders.end(), folder, std::less<const FileNode*>());
    if (at == m_folders.end() || *at != folder) return nullptr;
    return &m_kept[std::size_t(at - m_folders.begin())];
}

void CategoryIndex::add(CategoryTotals& into, const Kept& kept, bool useAllocated) {
    const auto& bytes = useAllocated ? kept.allocated : kept.logical;
    for (std::size_t c = 0; c < FileCategories::all.size(); ++c) {
        into.bytes[c] += bytes[c];
        if (kept.met & (1u << c)) into.met[c] = true;
    }
}

CategoryTotals CategoryIndex::totals(const FileNode& start, bool useAllocated, std::size_t* walked) const {
    CategoryTotals totals;
    std::size_t looked = 1;
    if (!isDescended(start)) {
        addLeaf(totals, start, useAllocated);
    } else if (const Kept* kept = find(&start)) {
        add(totals, *kept, useAllocated);
    } else {
        std::vector<const FileNode*> stack{&start};
        while (!stack.empty()) {
            const FileNode* folder = stack.back();
            stack.pop_back();
            looked += folder->childCount();
            for (const FileNode* child : folder->children()) {
                if (!isDescended(*child)) addLeaf(totals, *child, useAllocated);
                else if (const Kept* kept = find(child)) add(totals, *kept, useAllocated);
                else stack.push_back(child);
            }
        }
    }
    if (walked) *walked = looked;
    return totals;
}

} // namespace tallymere
