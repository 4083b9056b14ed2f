#include "core/NodeFilter.h"

#include "core/CaseFold.h"
#include "base/Nfc.h"
#include "base/Utf8.h"

namespace tallymere {
namespace {

static_assert(FileCategories::all.size() <= 32, "every category needs a bit of the set");

std::uint32_t bitOf(FileCategory category) {
    return 1u << static_cast<unsigned>(category);
}

bool isAscii(std::string_view bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

} // namespace

bool NodeFilter::isActive() const {
    return !categories.empty() || minSize > 0 || modifiedBefore.has_value() || !query.empty();
}

bool NodeFilter::accepts(const FileNode& file, bool useAllocated) const {
    return PreparedFilter(*this).accepts(file, useAllocated);
}

PreparedFilter::PreparedFilter(const NodeFilter& filter) : m_filter(filter) {
    for (FileCategory category : filter.categories) m_categoryBits |= bitOf(category);
    // The query is folded as text: repaired and composed first, like the names it is compared with.
    CaseFold::appendFolded(Nfc::normalized(repairUtf8(filter.query)), m_foldedQuery);
}

bool PreparedFilter::accepts(const FileNode& file, bool useAllocated) {
    if (m_categoryBits != 0 && (m_categoryBits & bitOf(file.category)) == 0) return false;
    if (m_filter.minSize >= 1 && file.bytes(useAllocated) < m_filter.minSize) return false;
    if (m_filter.modifiedBefore && *m_filter.modifiedBefore <= file.modified) return false;
    if (!m_foldedQuery.empty()) {
        m_scratch.clear();
        // Names are raw bytes; the comparison is on the displayed (repaired) name.
        // Composed, so a name stored decomposed ("Cafe" + U+0301) is found by "café".
        const std::string_view name = file.name();
        if (isAscii(name)) CaseFold::appendFolded(name, m_scratch);
        else if (isValidUtf8(name)) CaseFold::appendFolded(Nfc::normalized(name), m_scratch);
        else CaseFold::appendFolded(Nfc::normalized(repairUtf8(name)), m_scratch);
        if (m_scratch.find(m_foldedQuery) == std::string::npos) return false;
    }
    return true;
}

} // namespace tallymere
