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

std::string oneLine(std::string_view bytes) {
    const std::string text = repairUtf8(bytes);
    std::string out;
    out.reserve(text.size());
    static constexpr char hex[] = "0123456789abcdef";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        unsigned code = 0x100; // none
        if (c < 0x20 || c == 0x7F) code = c;
        // C1 controls arrive as the two bytes C2 80..C2 9F once the text is valid UTF-8.
        else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0)
            code = static_cast<unsigned char>(text[++i]);
        // The line and paragraph separators break a line as a newline does.
        if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
            (static_cast<unsigned char>(text[i + 2]) == 0xA8 || static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
            out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
            i += 2;
            continue;
        }
        if (code == 0x100) {
            out.push_back(static_cast<char>(c));
        } else if (code == '\n') {
            out += "\\n";
        } else if (code == '\t') {
            out += "\\t";
        } else if (code == '\r') {
            out += "\\r";
        } else {
            out += "\\x";
            out.push_back(hex[code >> 4]);
            out.push_back(hex[code & 0x0F]);
        }
    }
    return out;
}

} // namespace tallymere
