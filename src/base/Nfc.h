#pragma once
#include <string>
#include <string_view>

namespace tallymere::Nfc {

// Appends valid UTF-8 text in Unicode's composed normal form (NFC), so "e" followed by a combining
// acute accent compares equal to the single letter "é". ASCII is copied as it is; text the
// normaliser cannot take (ill-formed UTF-8) is appended unchanged.
void appendNormalized(std::string_view utf8, std::string& out);

std::string normalized(std::string_view utf8);

} // namespace tallymere::Nfc
