#pragma once
#include <string>
#include <string_view>

namespace tallymere::CaseFold {

// Unicode's simple case folding of one code point (one code point in, one out), the same in
// every locale: capitals of every bicameral script fold to their small letters (Cherokee the other
// way round, as Unicode folds it); accents stay. Anything else maps to itself.
char32_t fold(char32_t codePoint);

// Appends the folded form of UTF-8 text to `out`. Ill-formed bytes are appended unchanged, so
// callers fold repaired text.
void appendFolded(std::string_view utf8, std::string& out);

std::string folded(std::string_view utf8);

} // namespace tallymere::CaseFold
