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
// (C0, DEL and C1), line or paragraph separator and bidirectional control (marks, embeddings,
// overrides, isolates) shown as a visible escape ("\n", "\t", "\r", "\x1b", "\u202e"), so a name
// can neither break a row, nor reorder what it shows, nor send commands to a terminal. The one
// rule for every name printed on one line, in the terminal and in the window.
std::string oneLine(std::string_view bytes);

} // namespace tallymere
