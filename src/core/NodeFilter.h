#pragma once
#include "core/FileCategory.h"
#include "core/FileNode.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>

namespace tallymere {

// The display filter. The default value is the empty filter, which shows the full tree.
struct NodeFilter {
    // When non-empty, only files whose category is in the set pass.
    std::set<FileCategory> categories;
    // When 1 or more, files smaller than this many bytes (allocated or logical, as the caller
    // chooses) fail.
    std::int64_t minSize = 0;
    // When set (seconds since 1970), only files modified strictly before this moment pass.
    std::optional<double> modifiedBefore;
    // When non-empty, only files whose displayed name contains it, ignoring case, pass. Case is
    // folded the same way in every locale; accents are not folded and nothing is trimmed.
    std::string query;

    // Whether any setting narrows the tree; an inactive filter means the full tree is shown.
    bool isActive() const;

    // Whether one leaf (a file, a symbolic link or a package, the latter by its own category and
    // rolled-up size) passes. Folders are never tested.
    bool accepts(const FileNode& file, bool useAllocated) const;

    friend bool operator==(const NodeFilter&, const NodeFilter&) = default;
};

// A filter made ready for testing many leaves: the query folded once, the categories as a bit
// set. Holds a reference to the filter; one instance serves one thread.
class PreparedFilter {
public:
    explicit PreparedFilter(const NodeFilter& filter);
    bool accepts(const FileNode& file, bool useAllocated);

private:
    const NodeFilter& m_filter;
    std::uint32_t m_categoryBits = 0;
    std::string m_foldedQuery;
    std::string m_scratch;
};

} // namespace tallymere
