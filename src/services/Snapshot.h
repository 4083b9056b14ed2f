#pragma once
#include "base/Uuid.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tallymere {

// The stored shape of one scan: the sizes of its shallow paths and of its big deep ones.
struct Snapshot {
    // One recorded path. Sizes are allocated or logical bytes, the same choice as the snapshot's
    // totalSize.
    struct Entry {
        std::string path; // UTF-8 text (raw names repaired)
        std::int64_t size = 0;
        std::int32_t files = 0;
        bool isDirectory = false; // packages count as directories

        friend bool operator==(const Entry&, const Entry&) = default;
    };

    Uuid id; // identity, also the file name
    // Moment of capture in seconds since 1970, with fraction, like every other date in the program
    // (the file counts from 2001; the codec converts).
    double createdAt = 0;
    std::string rootPath;
    std::string title;
    std::int64_t totalSize = 0;
    std::int32_t totalFiles = 0;
    std::vector<Entry> entries; // capture order, the root first
    // The file the snapshot was read from (raw path), whatever its name; empty for a capture that
    // has not been read back. Not part of the file's content.
    std::string file;

    friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

// How one path changed between an older and a newer snapshot. Identified by its path.
struct SnapshotDelta {
    enum class Change { grew, shrank, added, removed };

    std::string path;
    std::string name;        // last path component of path
    std::int64_t before = 0; // 0 for added
    std::int64_t after = 0;  // 0 for removed
    Change change = Change::grew;

    const std::string& id() const { return path; }

    friend bool operator==(const SnapshotDelta&, const SnapshotDelta&) = default;
};

} // namespace tallymere

namespace tallymere::detail {
inline std::size_t hashCombine(std::size_t seed, std::size_t value) {
    return seed ^ (value + 0x9E3779B97F4A7C15ull + (seed << 6) + (seed >> 2));
}
} // namespace tallymere::detail

template <>
struct std::hash<tallymere::Snapshot::Entry> {
    std::size_t operator()(const tallymere::Snapshot::Entry& entry) const noexcept {
        using tallymere::detail::hashCombine;
        std::size_t h = std::hash<std::string>{}(entry.path);
        h = hashCombine(h, std::hash<std::int64_t>{}(entry.size));
        h = hashCombine(h, std::hash<std::int32_t>{}(entry.files));
        return hashCombine(h, entry.isDirectory ? 1 : 0);
    }
};

template <>
struct std::hash<tallymere::Snapshot> {
    std::size_t operator()(const tallymere::Snapshot& snapshot) const noexcept {
        using tallymere::detail::hashCombine;
        std::size_t h = std::hash<tallymere::Uuid>{}(snapshot.id);
        h = hashCombine(h, std::hash<double>{}(snapshot.createdAt));
        h = hashCombine(h, std::hash<std::string>{}(snapshot.rootPath));
        h = hashCombine(h, std::hash<std::string>{}(snapshot.title));
        h = hashCombine(h, std::hash<std::int64_t>{}(snapshot.totalSize));
        h = hashCombine(h, std::hash<std::int32_t>{}(snapshot.totalFiles));
        for (const auto& entry : snapshot.entries)
            h = hashCombine(h, std::hash<tallymere::Snapshot::Entry>{}(entry));
        return h;
    }
};
