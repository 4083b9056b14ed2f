#pragma once
#include <string>
#include <string_view>

namespace tallymere::NameKey {

// The loose form under which application names, identifiers and file names are compared: the
// text lower-cased by Unicode's full mapping, keeping only letters (alphabetic characters) and
// characters with a numeric type; dots, dashes, spaces, underscores and punctuation are dropped.
// "com.Acme.Widget-Pro" gives "comacmewidgetpro". Invalid UTF-8 is repaired first. Thread-safe.
std::string normalize(std::string_view utf8);

} // namespace tallymere::NameKey
