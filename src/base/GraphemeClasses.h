#pragma once
#include <cstdint>

// What the grapheme cluster rules need to know of a character: its Grapheme_Cluster_Break value,
// whether it is Extended_Pictographic, and its part in the Indic conjuncts of Bengali, Devanagari,
// Gujarati, Malayalam, Oriya and Telugu (a consonant, a virama, or another mark that may stand
// between them). One value per character.
namespace tallymere::GraphemeClasses {

enum class Kind : std::uint8_t {
    other,
    cr,
    lf,
    control,
    extend,        // Extend with a combining class of 0
    extendLinking, // Extend with another combining class: may stand inside an Indic conjunct
    virama,        // the virama of one of the six scripts (also Extend)
    zwj,
    regional,      // Regional_Indicator
    prepend,
    spacingMark,
    l,
    v,
    t,
    syllable,      // a precomposed Hangul syllable, LV or LVT
    pictographic,  // Extended_Pictographic (Grapheme_Cluster_Break Other)
    consonant,     // a consonant of one of the six scripts (Grapheme_Cluster_Break Other)
};

// The kind of a code point; `other` above U+10FFFF.
Kind of(char32_t c);

} // namespace tallymere::GraphemeClasses
