#pragma once
#include "core/FileNode.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

namespace tallymere::ChildOrder {

// A child together with its size key, read once so that sorting does not chase node pointers.
struct KeyedChild {
    std::int64_t key = 0;
    const FileNode* node = nullptr;
};

// The children a layout may enter: none for a package or a node without a child list.
inline std::span<FileNode* const> enterable(const FileNode& node) {
    if (node.isPackage) return {};
    return node.children();
}

// Sum of the children's size keys with negative keys counted as 0, in floating point so that no
// sum of 64-bit sizes can overflow.
inline double positiveTotal(const FileNode& node, bool useAllocated) {
    double total = 0;
    for (const FileNode* child : enterable(node)) total += static_cast<double>(std::max<std::int64_t>(child->bytes(useAllocated), 0));
    return total;
}

// Sorts by key, largest first; equal keys keep their order. Stable, and linear for long lists, where
// a comparison sort of a folder with 100,000 entries would take most of a frame.
void sortLargestFirst(std::vector<KeyedChild>& children);

// The children with a key of at least 1 that `keep(key)` accepts, largest key first; equal keys
// keep their stored order.
template <class Keep>
std::vector<KeyedChild> largestFirst(const FileNode& node, bool useAllocated, Keep&& keep) {
    const auto children = enterable(node);
    std::vector<KeyedChild> kept;
    kept.reserve(children.size());
    for (const FileNode* child : children) {
        const std::int64_t key = child->bytes(useAllocated);
        if (key >= 1 && keep(key)) kept.push_back({key, child});
    }
    sortLargestFirst(kept);
    return kept;
}

// The same choice when `keep(key, total)` also needs positiveTotal(node): the children are read
// once, for the sum and the keys together, and chosen from that copy. A folder of 100,000 entries
// spans megabytes of nodes, and reading them twice costs as much again.
template <class Keep>
std::vector<KeyedChild> largestFirstOfTotal(const FileNode& node, bool useAllocated, double& total, Keep&& keep) {
    const auto children = enterable(node);
    std::vector<KeyedChild> kept;
    kept.reserve(children.size());
    total = 0;
    for (const FileNode* child : children) {
        const std::int64_t key = child->bytes(useAllocated);
        total += static_cast<double>(std::max<std::int64_t>(key, 0));
        if (key >= 1) kept.push_back({key, child});
    }
    std::erase_if(kept, [&](const KeyedChild& child) { return !keep(child.key, total); });
    sortLargestFirst(kept);
    return kept;
}

inline std::vector<KeyedChild> largestFirst(const FileNode& node, bool useAllocated) {
    return largestFirst(node, useAllocated, [](std::int64_t) { return true; });
}

// A node whose children are being laid out, one after another: an explicit stack of these
// replaces the recursion, so that deep trees cannot exhaust the thread's stack. `place` is what a
// layout keeps of the node to place its children (its span, the running edge of the next child,
// its depth and tint).
template <class Place>
struct Frame {
    std::vector<KeyedChild> children;
    double total = 0; // the children's keys summed, the share of each
    std::size_t next = 0;
    Place place;
};

// Lays out the children of every frame on the stack, depth first and each frame's in order:
// `visit(frame, index, child)` places one, and may push the frame of its children (after which
// `frame` is not to be used). Returns once the stack is empty.
template <class Place, class Visit>
void walkFrames(std::vector<Frame<Place>>& stack, Visit&& visit) {
    while (!stack.empty()) {
        Frame<Place>& frame = stack.back();
        if (frame.next >= frame.children.size()) {
            stack.pop_back();
            continue;
        }
        const std::size_t index = frame.next++;
        // A copy: pushing a frame may move the children this one was read from.
        const KeyedChild child = frame.children[index];
        visit(frame, index, child);
    }
}

} // namespace tallymere::ChildOrder
