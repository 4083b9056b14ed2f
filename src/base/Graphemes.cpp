#include "base/Graphemes.h"

#include "base/GraphemeClasses.h"

namespace tallymere {

namespace {

using GraphemeClasses::Kind;

// The next code point of well-formed UTF-8 at `i`, which moves past it.
char32_t decode(std::string_view text, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(text[k])); };
    const char32_t lead = byte(i);
    std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (i + length > text.size()) length = text.size() - i; // cut short: what is there
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (byte(i + k) & 0x3F);
    i += length;
    return c;
}

// A Hangul syllable is LV when it has no final consonant: every 28th from U+AC00.
bool isLv(char32_t c) { return (c - 0xAC00) % 28 == 0; }

bool isExtend(Kind k) { return k == Kind::extend || k == Kind::extendLinking || k == Kind::virama; }
bool isControl(Kind k) { return k == Kind::cr || k == Kind::lf || k == Kind::control; }

} // namespace

std::size_t graphemeClusterCount(std::string_view utf8) {
    // What the characters since the last break say about the rules that look further back.
    enum class Emoji { none, pictographic, joined };  // a pictograph, Extend*, then ZWJ
    enum class Conjunct { none, consonant, linked }; // a consonant, marks, a virama among them
    std::size_t clusters = 0;
    Kind previous = Kind::other;
    char32_t previousCode = 0;
    bool first = true;
    std::size_t regionalRun = 0; // regional indicators in a row up to the previous character
    Emoji emoji = Emoji::none;
    Conjunct conjunct = Conjunct::none;
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t code = decode(utf8, i);
        const Kind kind = GraphemeClasses::of(code);
        bool joins = false;
        if (!first) {
            const Kind p = previous == Kind::syllable ? (isLv(previousCode) ? Kind::v : Kind::t) : previous;
            const bool toSyllableOrJamo = kind == Kind::l || kind == Kind::v || kind == Kind::syllable;
            if (previous == Kind::cr && kind == Kind::lf) joins = true;
            else if (isControl(previous) || isControl(kind)) joins = false;
            else if (previous == Kind::l && toSyllableOrJamo) joins = true;
            // An LV syllable goes on like a V, an LVT syllable like a T.
            else if (p == Kind::v && (kind == Kind::v || kind == Kind::t)) joins = true;
            else if (p == Kind::t && kind == Kind::t) joins = true;
            else if (isExtend(kind) || kind == Kind::zwj || kind == Kind::spacingMark) joins = true;
            else if (previous == Kind::prepend) joins = true;
            else if (kind == Kind::consonant && conjunct == Conjunct::linked) joins = true;
            else if (kind == Kind::pictographic && previous == Kind::zwj && emoji == Emoji::joined) joins = true;
            else if (kind == Kind::regional && previous == Kind::regional && regionalRun % 2 == 1) joins = true;
        }
        if (!joins) ++clusters;
        first = false;

        regionalRun = kind == Kind::regional ? regionalRun + 1 : 0;
        if (kind == Kind::pictographic) emoji = Emoji::pictographic;
        else if (emoji == Emoji::pictographic && isExtend(kind)) emoji = Emoji::pictographic;
        else if (emoji == Emoji::pictographic && kind == Kind::zwj) emoji = Emoji::joined;
        else emoji = Emoji::none;
        if (kind == Kind::consonant) conjunct = Conjunct::consonant;
        else if (conjunct != Conjunct::none && kind == Kind::virama) conjunct = Conjunct::linked;
        else if (kind != Kind::extendLinking && kind != Kind::zwj) conjunct = Conjunct::none;
        previous = kind;
        previousCode = code;
    }
    return clusters;
}

} // namespace tallymere
