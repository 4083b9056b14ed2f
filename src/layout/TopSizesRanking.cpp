#include "layout/TopSizesRanking.h"

#include <algorithm>

namespace tallymere::TopSizesRanking {
namespace {

struct Candidate {
    std::int64_t bytes = 0;
    std::uint64_t order = 0; // position in the walk (or among the children): the tie-break
    const FileNode* node = nullptr;
};

// Larger first; equal sizes by the order they were met. Orders are distinct, so this is a strict
// total order and any selection by it is stable.
bool ranksBefore(const Candidate& a, const Candidate& b) {
    return a.bytes != b.bytes ? a.bytes > b.bytes : a.order < b.order;
}

// Keeps the best `limit` candidates offered so far in a heap whose top is the worst kept one, so a
// candidate that cannot make the cut costs one comparison.
class BestOf {
public:
    explicit BestOf(std::size_t limit) : m_limit(limit) { m_kept.reserve(limit); }

    void offer(const FileNode& node, bool useAllocated) {
        if (m_limit == 0) return;
        const Candidate candidate{node.bytes(useAllocated), m_next++, &node};
        if (m_kept.size() < m_limit) {
            m_kept.push_back(candidate);
            std::push_heap(m_kept.begin(), m_kept.end(), ranksBefore);
        } else if (ranksBefore(candidate, m_kept.front())) {
            std::pop_heap(m_kept.begin(), m_kept.end(), ranksBefore);
            m_kept.back() = candidate;
            std::push_heap(m_kept.begin(), m_kept.end(), ranksBefore);
        }
    }

    std::vector<const FileNode*> take() {
        std::sort_heap(m_kept.begin(), m_kept.end(), ranksBefore);
        std::vector<const FileNode*> rows;
        rows.reserve(m_kept.size());
        for (const Candidate& candidate : m_kept) rows.push_back(candidate.node);
        return rows;
    }

private:
    std::size_t m_limit;
    std::uint64_t m_next = 0;
    std::vector<Candidate> m_kept;
};

} // namespace

std::string_view title(Scope scope) {
    switch (scope) {
    case Scope::children:
        return "In this folder";
    case Scope::files:
        return "Biggest files anywhere";
    case Scope::folders:
        return "Biggest folders anywhere";
    }
    return "In this folder";
}

std::optional<Scope> fromTitle(std::string_view text) {
    for (Scope scope : scopes)
        if (title(scope) == text) return scope;
    return std::nullopt;
}

std::vector<const FileNode*> rows(const FileNode& shown, Scope scope, bool useAllocated, std::size_t limit) {
    BestOf best(limit);
    switch (scope) {
    case Scope::children:
        for (const FileNode* child : shown.children()) best.offer(*child, useAllocated);
        break;
    case Scope::files:
        shown.walk([&](const FileNode& node) {
            const bool isItem = !node.isDirectory || node.isPackage;
            if (isItem) best.offer(node, useAllocated);
            return !isItem;
        });
        break;
    case Scope::folders:
        shown.walk([&](const FileNode& node) {
            if (node.isDirectory && !node.isPackage && &node != &shown) best.offer(node, useAllocated);
            return true;
        });
        break;
    }
    return best.take();
}

double fraction(std::int64_t value, std::int64_t maxValue) {
    if (maxValue < 1) return 0;
    return static_cast<double>(value) / static_cast<double>(maxValue);
}

bool isInCloud(const FileNode& node) {
    return !node.isDirectory && !node.isSymlink && node.size >= 1 && node.allocated == 0;
}

} // namespace tallymere::TopSizesRanking
