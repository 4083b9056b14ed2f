#pragma once
#include "core/FileNode.h"

#include <cstring>
#include <string>
#include <string_view>

// Paths of nodes written into a reused buffer, so a scan thread builds them without allocating.
// Private to DiskScanner.
namespace tallymere::ScanPaths {

// The node's full path, the same text as FileNode::path().
inline void pathInto(const FileNode& node, std::string& out) {
    std::size_t below = 0;
    const FileNode* top = &node;
    for (; top->parent; top = top->parent) below += top->name().size() + 1;
    std::string_view topName = top->name();
    if (topName != "/" && !topName.empty() && topName.back() == '/') topName.remove_suffix(1);
    if (top == &node) {
        out.assign(topName.empty() ? std::string_view("/") : topName);
        return;
    }
    if (topName == "/") topName = {};
    out.resize(topName.size() + below);
    std::memcpy(out.data(), topName.data(), topName.size());
    std::size_t end = out.size();
    for (const FileNode* step = &node; step->parent; step = step->parent) {
        const std::string_view name = step->name();
        end -= name.size();
        std::memcpy(out.data() + end, name.data(), name.size());
        out[--end] = '/';
    }
}

// The node's path below the root of its tree, without a leading "/": "" for the root itself.
inline void relativePathInto(const FileNode& node, std::string& out) {
    std::size_t length = 0;
    for (const FileNode* step = &node; step->parent; step = step->parent) length += step->name().size() + 1;
    out.resize(length > 0 ? length - 1 : 0);
    std::size_t end = out.size();
    for (const FileNode* step = &node; step->parent; step = step->parent) {
        const std::string_view name = step->name();
        end -= name.size();
        std::memcpy(out.data() + end, name.data(), name.size());
        if (end > 0) out[--end] = '/';
    }
}

} // namespace tallymere::ScanPaths
