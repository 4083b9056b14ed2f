#pragma once
#include <string>
#include <string_view>

namespace tallymere::CaseFold {

// The simple case folding of one code point (one code point in, one out), the same in every
// locale: Latin, Greek, Cyrillic, Armenian, Georgian, full-width Latin and the letter-like
// symbols fold to their small letters; accents stay. Anything else maps to itself.
char32_t fold(char32_t codePoint);

// Appends the folded form of UTF-8 text to `out`. Ill-formed bytes are appended unchanged, so
// callers fold repaired text.
void appendFolded(std::string_view utf8, std::string& out);

std::string folded(std::string_view utf8);

// Whether `text` contains `query` ignoring case (both folded, then compared byte by byte).
// An empty query is contained in everything.
bool containsIgnoringCase(std::string_view text, std::string_view query);

} // namespace tallymere::CaseFold
