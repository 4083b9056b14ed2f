#pragma once
#include "core/FileNode.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tallymere {

// The cleanup queue's items in the order they were staged, each with its full path, indexed by
// node and by path: finding an item, and asking whether a path would leave with the queue, take a
// path's depth, not the queue's length, and staging a list of nodes takes one pass over the queue
// for all of them. The rule: the same path is one item, nothing inside a staged folder is added, a
// folder replaces the items staged inside it, and "/" is never staged (nothing can move it to the
// Trash, and as a folder it would swallow every other item).
class StagedQueue {
public:
    using NodePtr = std::shared_ptr<FileNode>;

    const std::vector<NodePtr>& items() const { return m_items; }
    std::size_t size() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    // The full path of item `index`: every item keeps its tree alive, so the path never shortens.
    const std::string& pathAt(std::size_t index) const { return m_paths[index]; }

    // The place of the item for `node`: the node itself, else an item with its path (the same
    // file reached through another tree); none when neither is staged.
    std::optional<std::size_t> find(const FileNode* node) const;
    std::optional<std::size_t> findPath(std::string_view path) const;
    // Whether `path` would leave with the queue: it is staged, or lies inside a staged folder.
    bool holds(std::string_view path) const;

    // Stages `nodes` in order by the rule (null entries are dropped); true when the queue changed.
    // Only a folder replaces what is staged inside it: where only files come, the queue is not
    // walked, so a list staged group by group costs each group its own length.
    bool stage(const std::vector<NodePtr>& nodes);
    // Removes every item for which `remove(index)` is true, keeping the others' order; true when
    // any went.
    bool removeIf(const std::function<bool(std::size_t)>& remove);

private:
    struct PathHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view path) const noexcept { return std::hash<std::string_view>{}(path); }
    };
    // Whether a folder above `path` is staged.
    bool holdsAbove(std::string_view path) const;
    void reindex();

    std::vector<NodePtr> m_items;
    std::vector<std::string> m_paths;
    std::unordered_map<std::string, std::size_t, PathHash, std::equal_to<>> m_byPath;
    std::unordered_map<const FileNode*, std::size_t> m_byNode;
};

} // namespace tallymere
