#pragma once
#include <string>
#include <string_view>

namespace tallymere {

// Whether the bytes are well-formed UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// The bytes with every ill-formed sequence replaced by U+FFFD, as text for display, JSON and CSV.
// Names on disk stay raw; only what is shown or serialised is repaired.
std::string repairUtf8(std::string_view bytes);

// Text for one line of a label or a terminal: repairUtf8(bytes) with every control character
// (C0, DEL and C1) and line or paragraph separator shown as a visible escape ("\n", "\t", "\r",
// "\u2028", else "\x1b" style), so a name can neither break a row nor send commands to a terminal.
std::string oneLine(std::string_view bytes);

} // namespace tallymere
