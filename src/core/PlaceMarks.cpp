#include "core/PlaceMarks.h"

#include "base/PathText.h"
#include "platform/PathGate.h"

#include <algorithm>

namespace tallymere::PlaceMarks {

bool mark(FileNode& node, std::span<const Place> found, bool parentIsPlace, std::string_view name) {
    bool marked = false;
    for (const Place& place : found) {
        if (place.holds) node.holdsPlace = true;
        else if (place.kind == Place::Kind::trash) node.isTrash = true;
        else node.isProtected = true;
        marked = true;
    }
    if (parentIsPlace && Places::isTopTrashName(name)) {
        node.isTrash = true;
        marked = true;
    }
    return marked;
}

void markHolders(const FileNode& node) {
    for (FileNode* above = node.parent; above; above = above->parent) above->holdsPlace = true;
}

bool isInTrash(const FileNode& node) {
    for (const FileNode* at = &node; at; at = at->parent)
        if (at->isTrash) return true;
    return false;
}

bool isRefused(const FileNode& node) {
    return node.isProtected || node.holdsPlace || isInTrash(node);
}

std::string whyRefused(const FileNode& node, const PlaceRegistry& registry) {
    const std::string shown = node.path();
    for (const FileNode* above = node.parent; above; above = above->parent)
        if (above->isTrash) return Places::inTrashReason(shown);
    if (!isRefused(node)) return {};
    if (node.isTrash) {
        // A root marked as a Trash may lie in one: the scan looked above it.
        if (!node.parent && Places::isInTrash(registry, PathText::parent(shown))) return Places::inTrashReason(shown);
        return Places::reason({}, shown);
    }
    std::span<const Place> found;
    if (const PathGate::Status now = PathGate::lstat(shown); now.error == 0)
        found = registry.at(now.info.st_dev, now.info.st_ino);
    if (const Place* place = Places::first(found)) return Places::reason(*place, shown);
    // Its place is not known by that identity now (replaced since the scan): what the scan found.
    return shown + (node.isProtected ? " is a protected folder" : " holds a protected folder");
}

} // namespace tallymere::PlaceMarks
