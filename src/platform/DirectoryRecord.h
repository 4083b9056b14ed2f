#pragma once
#include <cstdint>

namespace tallymere {

// The kernel's directory record, as getdents64 lays it out: records follow one another in the
// buffer, each `length` bytes long, its name ended by a NUL.
struct DirectoryRecord {
    std::uint64_t inode;
    std::int64_t offset;
    unsigned short length;
    unsigned char type;
    char name[1];
};

} // namespace tallymere
