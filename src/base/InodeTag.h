#pragma once
#include <cstdint>

namespace tallymere {

// One byte of an inode number: every byte of it folded together. A scanned node keeps it (a whole
// inode number would grow every node), so an item replaced by another of the same name is told
// apart from the one that was scanned, together with its kind and birth time.
constexpr std::uint8_t inodeTag(std::uint64_t inode) {
    inode ^= inode >> 32;
    inode ^= inode >> 16;
    inode ^= inode >> 8;
    return static_cast<std::uint8_t>(inode);
}

} // namespace tallymere
