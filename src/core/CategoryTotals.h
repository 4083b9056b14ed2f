#pragma once
#include "core/FileCategory.h"
#include "core/FileNode.h"

#include <array>
#include <cstdint>

namespace tallymere {

// Bytes per file category under one node: every leaf counts once under its own category, where a
// leaf is a file, a symbolic link, a package (whatever it holds) or a folder without a listing (an
// unreadable one, which counts under `folder`). A readable empty folder adds nothing.
struct CategoryTotals {
    std::array<std::int64_t, FileCategories::all.size()> bytes{};
    // Which categories the walk met at all (a met category may still total 0 bytes).
    std::array<bool, FileCategories::all.size()> met{};

    std::int64_t of(FileCategory category) const { return bytes[static_cast<std::size_t>(category)]; }
    bool has(FileCategory category) const { return met[static_cast<std::size_t>(category)]; }
    // The sum over every category met, at least 1, so shares can always be taken of it.
    std::int64_t total() const;

    // Walks the subtree of `start` once, with an explicit stack (deep trees cannot exhaust the
    // call stack), adding allocated or logical sizes as `useAllocated` says.
    static CategoryTotals of(const FileNode& start, bool useAllocated);

    friend bool operator==(const CategoryTotals&, const CategoryTotals&) = default;
};

} // namespace tallymere
