#include "base/GraphemeClasses.h"
#include "base/Graphemes.h"

#include <gtest/gtest.h>
#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/uniset.h>
#include <unicode/unistr.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace tallymere;
using GraphemeClasses::Kind;

namespace {

icu::UnicodeSet set(const char* pattern) {
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeSet result(icu::UnicodeString::fromUTF8(pattern), status);
    EXPECT_TRUE(U_SUCCESS(status)) << pattern;
    return result;
}

// The kind from ICU's own properties, with the sets its character break rules name.
Kind icuKind(UChar32 c) {
    static const icu::UnicodeSet virama = set("[\\p{Gujr}\\p{sc=Telu}\\p{sc=Mlym}\\p{sc=Orya}\\p{sc=Beng}\\p{sc=Deva}"
                                              "&\\p{Indic_Syllabic_Category=Virama}]");
    static const icu::UnicodeSet consonant = set("[\\p{Gujr}\\p{sc=Telu}\\p{sc=Mlym}\\p{sc=Orya}\\p{sc=Beng}\\p{sc=Deva}"
                                                 "&\\p{Indic_Syllabic_Category=Consonant}]");
    static const icu::UnicodeSet linking = set("[\\p{gcb=Extend}-\\p{ccc=0}]");
    static const icu::UnicodeSet pictographic = set("[:ExtPict:]");
    if (virama.contains(c)) return Kind::virama;
    if (consonant.contains(c)) return Kind::consonant;
    if (pictographic.contains(c)) return Kind::pictographic;
    switch (u_getIntPropertyValue(c, UCHAR_GRAPHEME_CLUSTER_BREAK)) {
    case U_GCB_CR: return Kind::cr;
    case U_GCB_LF: return Kind::lf;
    case U_GCB_CONTROL: return Kind::control;
    case U_GCB_EXTEND: return linking.contains(c) ? Kind::extendLinking : Kind::extend;
    case U_GCB_ZWJ: return Kind::zwj;
    case U_GCB_REGIONAL_INDICATOR: return Kind::regional;
    case U_GCB_PREPEND: return Kind::prepend;
    case U_GCB_SPACING_MARK: return Kind::spacingMark;
    case U_GCB_L: return Kind::l;
    case U_GCB_V: return Kind::v;
    case U_GCB_T: return Kind::t;
    case U_GCB_LV:
    case U_GCB_LVT: return Kind::syllable;
    default: return Kind::other;
    }
}

std::size_t icuCount(const std::string& utf8) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> iterator(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(utf8);
    iterator->setText(text);
    std::size_t clusters = 0;
    iterator->first();
    while (iterator->next() != icu::BreakIterator::DONE) ++clusters;
    return clusters;
}

} // namespace

TEST(GraphemeClasses, EveryCodePointHasTheKindIcuGivesIt) {
    std::size_t wrong = 0;
    for (UChar32 c = 0; c <= 0x10FFFF; ++c) {
        const Kind expected = icuKind(c);
        if (GraphemeClasses::of(static_cast<char32_t>(c)) != expected && ++wrong <= 5)
            ADD_FAILURE() << "U+" << std::hex << c << " has kind " << static_cast<int>(GraphemeClasses::of(c))
                          << ", ICU's properties give " << static_cast<int>(expected);
    }
    EXPECT_EQ(wrong, 0u);
    // A Hangul syllable is LV or LVT by its place in the block, which the counting works out.
    EXPECT_EQ(u_getIntPropertyValue(0xAC00, UCHAR_GRAPHEME_CLUSTER_BREAK), U_GCB_LV);
    EXPECT_EQ(u_getIntPropertyValue(0xAC01, UCHAR_GRAPHEME_CLUSTER_BREAK), U_GCB_LVT);
    EXPECT_EQ(u_getIntPropertyValue(0xAC1C, UCHAR_GRAPHEME_CLUSTER_BREAK), U_GCB_LV);
}

// Random strings drawn from a few characters of every kind, so that every pair of kinds and the
// longer rules (pictographs joined by ZWJ, pairs of regional indicators, Indic conjuncts, Hangul
// syllables) meet many times: the count must be ICU's break iterator's, string by string.
TEST(Graphemes, CountsAsIcusCharacterBreakIterator) {
    std::map<Kind, std::vector<char32_t>> byKind;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        auto& members = byKind[GraphemeClasses::of(c)];
        if (members.size() < 3 || (c >= 0xAC00 && c <= 0xAC1C)) members.push_back(c);
    }
    std::vector<char32_t> pool;
    for (const auto& [kind, members] : byKind) pool.insert(pool.end(), members.begin(), members.end());
    // Characters of the Indic rule itself: ka, virama, a nukta, ZWJ; an emoji and a skin tone.
    for (char32_t c : {0x0915u, 0x094Du, 0x093Cu, 0x200Du, 0x0995u, 0x09CDu, 0x1F469u, 0x1F3FDu, 0x1F1E6u})
        for (int twice = 0; twice < 2; ++twice) pool.push_back(c);
    std::uint64_t state = 0x5EED;
    const auto next = [&] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return state >> 33;
    };
    std::size_t wrong = 0;
    for (int round = 0; round < 40000; ++round) {
        icu::UnicodeString text;
        const auto length = 1 + next() % 10;
        for (std::uint64_t k = 0; k < length; ++k) text.append(static_cast<UChar32>(pool[next() % pool.size()]));
        std::string utf8;
        text.toUTF8String(utf8);
        const std::size_t expected = icuCount(utf8);
        if (graphemeClusterCount(utf8) != expected && ++wrong <= 5) {
            std::string codes;
            for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1))
                codes += " U+" + std::to_string(text.char32At(i));
            ADD_FAILURE() << "counts " << graphemeClusterCount(utf8) << " where ICU counts " << expected << ":"
                          << codes << " (decimal)";
        }
    }
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(graphemeClusterCount(""), 0u);
    EXPECT_EQ(graphemeClusterCount("a\r\nb"), 3u);
}
