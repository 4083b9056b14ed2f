#include "views/explore/folders/FolderComposition.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace tallymere::FolderComposition {

std::vector<FileCategory> top(const FileNode& folder, bool useAllocated) {
    constexpr std::size_t kinds = FileCategories::all.size();
    std::array<std::int64_t, kinds> totals{};
    std::array<bool, kinds> seen{};
    std::vector<FileCategory> metOrder;
    metOrder.reserve(kinds);

    std::vector<const FileNode*> stack{&folder};
    int taken = 0;
    while (!stack.empty()) {
        const FileNode* node = stack.back();
        stack.pop_back();
        if (taken >= nodeBudget) break;
        ++taken;
        if (node->hasChildList() && !node->isPackage) {
            const auto children = node->children();
            stack.insert(stack.end(), children.begin(), children.end());
            continue;
        }
        const auto index = static_cast<std::size_t>(node->category);
        if (!seen[index]) {
            seen[index] = true;
            metOrder.push_back(node->category);
        }
        totals[index] += node->bytes(useAllocated);
    }

    std::stable_sort(metOrder.begin(), metOrder.end(), [&totals](FileCategory a, FileCategory b) {
        return totals[static_cast<std::size_t>(b)] < totals[static_cast<std::size_t>(a)];
    });
    if (metOrder.size() > 3) metOrder.resize(3);
    return metOrder;
}

} // namespace tallymere::FolderComposition
