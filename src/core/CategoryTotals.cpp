#include "core/CategoryTotals.h"

#include <algorithm>
#include <vector>

namespace tallymere {

std::int64_t CategoryTotals::total() const {
    std::int64_t sum = 0;
    for (std::int64_t b : bytes) sum += b;
    return std::max<std::int64_t>(sum, 1);
}

CategoryTotals CategoryTotals::of(const FileNode& start, bool useAllocated) {
    CategoryTotals totals;
    std::vector<const FileNode*> stack{&start};
    while (!stack.empty()) {
        const FileNode* node = stack.back();
        stack.pop_back();
        if (node->hasChildList() && !node->isPackage) {
            for (const FileNode* child : node->children()) stack.push_back(child);
            continue;
        }
        const auto index = static_cast<std::size_t>(node->category);
        totals.bytes[index] += node->bytes(useAllocated);
        totals.met[index] = true;
    }
    return totals;
}

} // namespace tallymere
