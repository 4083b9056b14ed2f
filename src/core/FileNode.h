#pragma once
#include "core/FileCategory.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tallymere {

class NodeArena;

// One file or folder of a scanned tree. Nodes live in their tree's NodeArena and are freed with it;
// `parent` and the children are plain pointers inside the tree. Identity is the object's address:
// two nodes are the same only when they are the same object.
//
// A node is built by the one thread that reads its parent folder and finished (children, sums,
// depth) before the tree is handed out; readers never change it.
class FileNode {
public:
    // Nodes are never copied: their name lives just past them in the arena.
    FileNode(const FileNode&) = delete;
    FileNode& operator=(const FileNode&) = delete;

    FileNode* parent = nullptr;
    std::int64_t size = 0;      // logical bytes; for a folder the sum over its children
    std::int64_t allocated = 0; // bytes on disk (blocks of 512); for a folder the sum over its children
    double modified = 0;        // whole seconds since 1970
    double created = 0;         // whole seconds since 1970; 0 when the file system keeps no birth time
    std::int32_t fileCount = 0;
    std::int32_t folderCount = 0; // while a scan runs, a read folder's subfolders not yet summed
    std::int32_t depth = 0;
    FileCategory category = FileCategory::data;
    bool isDirectory : 1 = false;
    bool isPackage : 1 = false;
    bool isSymlink : 1 = false;
    bool isDenied : 1 = false;
    // Set by a scan, which also fills inodeTag: what identifies the entry it met, so an item
    // replaced since by another of the same name is not taken for it.
    bool hasIdentity : 1 = false;
    // Set by a scan given the places (see PlaceMarks), from the entry's identity: a Trash folder (a
    // root also when it lies in one); a folder never moved (the root folder, the home, a shared
    // folder of the desktop, a mount point); a folder with a Trash or such a folder below it.
    bool isTrash : 1 = false;
    bool isProtected : 1 = false;
    bool holdsPlace : 1 = false;

private:
    // Declared here so it shares the padding after the flags.
    bool m_hasChildList = false;

public:
    // inodeTag() of the entry's inode number as the scan met it; with hasIdentity only.
    std::uint8_t inodeTag = 0;

    // The entry's raw name bytes as the directory gave them; for a root, its full path.
    std::string_view name() const { return {reinterpret_cast<const char*>(this + 1), m_nameLength}; }
    // The name as text: invalid UTF-8 replaced by U+FFFD.
    std::string displayName() const;

    // Empty both for "no list" (files, unreadable or unreached folders) and for an empty folder;
    // hasChildList() tells them apart.
    std::span<FileNode* const> children() const { return {m_children, m_childCount}; }
    bool hasChildList() const { return m_hasChildList; }
    bool hasChildren() const { return m_childCount > 0; }
    std::size_t childCount() const { return m_childCount; }

    // Full path in raw bytes, rebuilt from the parent links on every call. Whole as long as the
    // tree is alive, which holding any node through a shared pointer guarantees.
    std::string path() const;
    // The path as text for display and serialisation.
    std::string displayPath() const;

    // The nodes above this one, root first, direct parent last; empty for a root.
    std::vector<const FileNode*> ancestors() const;

    // A sorted copy of the children, largest first; equal keys keep their stored order.
    std::vector<const FileNode*> sortedChildren(bool useAllocated) const;

    std::int64_t bytes(bool useAllocated) const { return useAllocated ? allocated : size; }

    // Pre-order, depth first. The visitor returns whether to descend below the node it was given;
    // false skips that node's subtree only. Iterative, so deep trees need no deep recursion.
    template <class Visitor>
    void walk(Visitor&& visitor) const {
        if (!visitor(*this)) return;
        struct Frame {
            const FileNode* node;
            std::uint32_t next;
        };
        std::vector<Frame> stack{{this, 0}};
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next >= frame.node->m_childCount) {
                stack.pop_back();
                continue;
            }
            const FileNode* child = frame.node->m_children[frame.next++];
            if (visitor(*child) && child->m_childCount > 0) stack.push_back({child, 0});
        }
    }

private:
    friend class NodeArena;
    FileNode() = default;

    // The name bytes follow the node in its arena block, so no pointer is spent on them.

    FileNode** m_children = nullptr;
    std::uint32_t m_nameLength = 0;
    std::uint32_t m_childCount = 0;
};

} // namespace tallymere
