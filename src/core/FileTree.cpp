#include "core/FileTree.h"
#include "base/Saturating.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include <sys/mman.h>
#include <unistd.h>

namespace tallymere {
namespace {

constexpr std::size_t largestBlock = 1024 * 1024;
// Blocks taken from a region: small, so that the part of each thread's last block left unused
// at the end costs little, and many, which costs nothing since taking one is a single atomic add.
constexpr std::size_t regionBlock = 64 * 1024;
constexpr std::size_t regionAlignment = 64;

} // namespace

NodeRegion::NodeRegion(std::size_t bytes) {
    // Address space only: no memory is committed until a page is written.
    void* base = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base == MAP_FAILED) return;
    m_base = static_cast<std::byte*>(base);
    m_size = bytes;
}

NodeRegion::~NodeRegion() {
    if (m_base) ::munmap(m_base, m_size);
}

std::byte* NodeRegion::take(std::size_t bytes) {
    if (!m_base) return nullptr;
    bytes = (bytes + regionAlignment - 1) & ~(regionAlignment - 1);
    // Read first, so a used-up region is not pushed further past its end by every later request.
    if (m_used.load(std::memory_order_relaxed) + bytes > m_size) return nullptr;
    const std::size_t start = m_used.fetch_add(bytes, std::memory_order_relaxed);
    if (start + bytes > m_size) return nullptr;
    return m_base + start;
}

std::unique_ptr<NodeRegion> NodeRegion::forThisMachine() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    std::size_t bytes = pages > 0 && pageSize > 0 ? static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize)
                                                  : std::size_t(1) << 32;
    // Where address space is limited (a ulimit, strict overcommit) a smaller region still serves
    // most trees; below that the arenas use the heap alone.
    for (; bytes >= (std::size_t(64) << 20); bytes /= 4) {
        auto region = std::make_unique<NodeRegion>(bytes);
        if (region->m_base) return region;
    }
    return nullptr;
}

void* NodeArena::allocate(std::size_t bytes, std::size_t alignment) {
    auto aligned = [&](std::byte* p) {
        const auto address = reinterpret_cast<std::uintptr_t>(p);
        return reinterpret_cast<std::byte*>((address + alignment - 1) & ~(alignment - 1));
    };
    if (m_cursor) {
        std::byte* start = aligned(m_cursor);
        if (start + bytes <= m_end) {
            m_cursor = start + bytes;
            return start;
        }
    }
    if (m_region) {
        // Large requests (a folder of many entries) get a block of their own so the current block
        // keeps serving small ones.
        if (bytes + alignment > regionBlock / 4) {
            if (std::byte* block = m_region->take(bytes + alignment)) return aligned(block);
        } else if (std::byte* block = m_region->take(regionBlock)) {
            m_cursor = block;
            m_end = block + regionBlock;
            std::byte* start = aligned(m_cursor);
            m_cursor = start + bytes;
            return start;
        }
    }
    // Large requests (a folder of many entries) get a block of their own so the current block
    // keeps serving small ones.
    if (bytes + alignment > m_nextBlock / 4) {
        auto block = std::make_unique_for_overwrite<std::byte[]>(bytes + alignment);
        std::byte* start = aligned(block.get());
        m_blocks.push_back(std::move(block));
        return start;
    }
    auto block = std::make_unique_for_overwrite<std::byte[]>(m_nextBlock);
    m_cursor = block.get();
    m_end = m_cursor + m_nextBlock;
    m_blocks.push_back(std::move(block));
    m_nextBlock = std::min(m_nextBlock * 2, largestBlock);
    std::byte* start = aligned(m_cursor);
    m_cursor = start + bytes;
    return start;
}

FileNode* NodeArena::makeNode(std::string_view name, bool isDirectory, FileCategory category) {
    void* memory = allocate(sizeof(FileNode) + name.size(), alignof(FileNode));
    auto* node = new (memory) FileNode();
    if (!name.empty()) std::memcpy(static_cast<std::byte*>(memory) + sizeof(FileNode), name.data(), name.size());
    node->m_nameLength = static_cast<std::uint32_t>(name.size());
    node->isDirectory = isDirectory;
    node->category = category;
    return node;
}

void NodeArena::setChildren(FileNode& folder, std::span<FileNode* const> children) {
    folder.m_hasChildList = true;
    folder.m_childCount = static_cast<std::uint32_t>(children.size());
    if (children.empty()) {
        folder.m_children = nullptr;
        return;
    }
    auto** list = static_cast<FileNode**>(allocate(children.size() * sizeof(FileNode*), alignof(FileNode*)));
    for (std::size_t i = 0; i < children.size(); ++i) {
        list[i] = children[i];
        children[i]->parent = &folder;
    }
    folder.m_children = list;
}

void NodeArena::absorb(NodeArena&& other) {
    for (auto& block : other.m_blocks) m_blocks.push_back(std::move(block));
    other.m_blocks.clear();
    other.m_cursor = other.m_end = nullptr;
}

void rollup(FileNode& root) {
    struct Entry {
        FileNode* node;
        bool visited;
    };
    std::vector<Entry> stack{{&root, false}};
    while (!stack.empty()) {
        const Entry entry = stack.back();
        stack.pop_back();
        FileNode& node = *entry.node;
        if (!node.hasChildren()) continue;
        if (!entry.visited) {
            stack.push_back({&node, true});
            for (FileNode* child : node.children())
                if (child->isDirectory) stack.push_back({child, false});
            continue;
        }
        sumChildren(node);
    }
}

void sumChildren(FileNode& folder) {
    std::int64_t size = 0, allocated = 0, files = 0, folders = 0;
    for (const FileNode* child : folder.children()) {
        size = saturatingAdd(size, child->size);
        allocated = saturatingAdd(allocated, child->allocated);
        files += child->fileCount;
        if (child->isDirectory) folders += 1 + child->folderCount;
    }
    folder.size = size;
    folder.allocated = allocated;
    folder.fileCount = saturatingCount(files);
    folder.folderCount = saturatingCount(folders);
}

void assignDepth(FileNode& root, std::int32_t depth) {
    std::vector<std::pair<FileNode*, std::int32_t>> stack{{&root, depth}};
    while (!stack.empty()) {
        auto [node, level] = stack.back();
        stack.pop_back();
        node->depth = level;
        for (FileNode* child : node->children()) stack.push_back({child, level + 1});
    }
}

} // namespace tallymere
