#include "base/Utf8.h"

namespace tallymere {
namespace {

struct Sequence {
    std::size_t length; // bytes taken: the whole character, or the ill-formed stretch replaced by one U+FFFD
    bool valid;
};

// The sequence starting at i. An ill-formed one covers the longest start of a well-formed sequence
// found there, at least one byte (the maximal-subpart rule), so a character cut short by the end of
// the name or by another character becomes one replacement, and every stray byte one each.
Sequence sequenceAt(std::string_view s, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = at(i);
    if (lead < 0x80) return {1, true};
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return {1, false};
    }
    for (std::size_t k = 1; k < length; ++k) {
        if (i + k >= s.size()) return {k, false};
        const unsigned char byte = at(i + k);
        const bool fits = k == 1 ? byte >= low && byte <= high : (byte & 0xC0) == 0x80;
        if (!fits) return {k, false};
    }
    return {length, true};
}

} // namespace

bool isValidUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const Sequence sequence = sequenceAt(bytes, i);
        if (!sequence.valid) return false;
        i += sequence.length;
    }
    return true;
}

std::string repairUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const Sequence sequence = sequenceAt(bytes, i);
        if (sequence.valid) out.append(bytes.substr(i, sequence.length));
        else out += "\xEF\xBF\xBD";
        i += sequence.length;
    }
    return out;
}

namespace {

// Characters that move text on a line without being seen: the line and paragraph separators break
// it as a newline does, and the bidirectional marks, embeddings, overrides and isolates reorder
// what follows ("bidi" U+202E "txt.exe" reads "bidiexe.txt").
bool isInvisibleLayoutControl(char32_t code) {
    return code == 0x061C || code == 0x200E || code == 0x200F || code == 0x2028 || code == 0x2029 ||
           (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

} // namespace

std::string oneLine(std::string_view bytes) {
    const std::string text = repairUtf8(bytes);
    std::string out;
    out.reserve(text.size());
    static constexpr char hex[] = "0123456789abcdef";
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = at(i);
        // The text is valid UTF-8 now, so the lead byte gives the length.
        const std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t code = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
        for (std::size_t k = 1; k < length; ++k) code = (code << 6) | (at(i + k) & 0x3F);
        if (code == '\n') {
            out += "\\n";
        } else if (code == '\t') {
            out += "\\t";
        } else if (code == '\r') {
            out += "\\r";
        } else if (code < 0x20 || (code >= 0x7F && code < 0xA0)) { // C0, DEL and C1
            out += "\\x";
            out.push_back(hex[code >> 4]);
            out.push_back(hex[code & 0x0F]);
        } else if (isInvisibleLayoutControl(code)) {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) out.push_back(hex[(code >> shift) & 0x0F]);
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    return out;
}

} // namespace tallymere
