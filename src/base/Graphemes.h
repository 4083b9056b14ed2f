#pragma once
#include <cstddef>
#include <string_view>

namespace tallymere {

// The user-perceived characters (extended grapheme clusters) of well-formed UTF-8 text (for
// instance repairUtf8's output), by the same rules as ICU's character break iterator of the root
// locale, Indic conjuncts included. Needs no library: the search for duplicates counts the
// characters of its paths without loading ICU.
std::size_t graphemeClusterCount(std::string_view utf8);

} // namespace tallymere
