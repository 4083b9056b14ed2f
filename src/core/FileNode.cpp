#include "core/FileNode.h"

#include "base/Utf8.h"

#include <algorithm>

namespace tallymere {

std::string FileNode::displayName() const {
    return repairUtf8(name());
}

std::string FileNode::path() const {
    std::vector<std::string_view> names;
    const FileNode* top = this;
    while (top->parent) {
        names.push_back(top->name());
        top = top->parent;
    }
    std::string_view topName = top->name();
    if (topName != "/" && !topName.empty() && topName.back() == '/') topName.remove_suffix(1);
    if (names.empty()) return topName.empty() ? std::string("/") : std::string(topName);

    std::size_t length = topName.size();
    for (std::string_view part : names) length += part.size() + 1;
    std::string result;
    result.reserve(length);
    if (topName != "/") result.append(topName);
    for (auto part = names.rbegin(); part != names.rend(); ++part) {
        result.push_back('/');
        result.append(*part);
    }
    return result;
}

std::string FileNode::displayPath() const {
    return repairUtf8(path());
}

std::vector<const FileNode*> FileNode::ancestors() const {
    std::vector<const FileNode*> chain;
    for (const FileNode* up = parent; up; up = up->parent) chain.push_back(up);
    std::reverse(chain.begin(), chain.end());
    return chain;
}

std::vector<const FileNode*> FileNode::sortedChildren(bool useAllocated) const {
    std::vector<const FileNode*> sorted(m_children, m_children + m_childCount);
    std::stable_sort(sorted.begin(), sorted.end(), [useAllocated](const FileNode* a, const FileNode* b) {
        return a->bytes(useAllocated) > b->bytes(useAllocated);
    });
    return sorted;
}

} // namespace tallymere
