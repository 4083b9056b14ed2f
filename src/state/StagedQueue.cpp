#include "state/StagedQueue.h"

namespace tallymere {

std::optional<std::size_t> StagedQueue::find(const FileNode* node) const {
    if (!node) return std::nullopt;
    if (const auto found = m_byNode.find(node); found != m_byNode.end()) return found->second;
    return findPath(node->path());
}

std::optional<std::size_t> StagedQueue::findPath(std::string_view path) const {
    if (const auto found = m_byPath.find(path); found != m_byPath.end()) return found->second;
    return std::nullopt;
}

bool StagedQueue::holdsAbove(std::string_view path) const {
    for (std::size_t slash = path.find('/', 1); slash != std::string_view::npos; slash = path.find('/', slash + 1))
        if (m_byPath.contains(path.substr(0, slash))) return true;
    return false;
}

bool StagedQueue::holds(std::string_view path) const {
    return m_byPath.contains(path) || holdsAbove(path);
}

bool StagedQueue::stage(const std::vector<NodePtr>& nodes) {
    const std::size_t before = m_items.size();
    bool folders = false;
    for (const NodePtr& node : nodes) {
        if (!node || m_byNode.contains(node.get())) continue;
        std::string path = node->path();
        if (path == "/" || holds(path)) continue;
        m_byPath.emplace(path, m_items.size());
        m_byNode.emplace(node.get(), m_items.size());
        m_items.push_back(node);
        m_paths.push_back(std::move(path));
        folders = folders || node->isDirectory;
    }
    if (m_items.size() == before) return false;
    // What the new folders hold goes: one pass for all of them, none where only files came.
    if (folders) removeIf([&](std::size_t index) { return holdsAbove(m_paths[index]); });
    return true;
}

bool StagedQueue::removeIf(const std::function<bool(std::size_t)>& remove) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (remove(i)) continue;
        if (kept != i) {
            m_items[kept] = std::move(m_items[i]);
            m_paths[kept] = std::move(m_paths[i]);
        }
        ++kept;
    }
    if (kept == m_items.size()) return false;
    m_items.resize(kept);
    m_paths.resize(kept);
    reindex();
    return true;
}

void StagedQueue::reindex() {
    m_byPath.clear();
    m_byNode.clear();
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        m_byPath.emplace(m_paths[i], i);
        m_byNode.emplace(m_items[i].get(), i);
    }
}

} // namespace tallymere
