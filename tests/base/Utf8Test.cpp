#include "base/Utf8.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace tallymere {
namespace {

TEST(Utf8Repair, ValidTextPassesUnchanged) {
    EXPECT_EQ(repairUtf8("plain"), "plain");
    EXPECT_EQ(repairUtf8("\xE2\x82\xAC \xF0\x9F\x93\x81"), "\xE2\x82\xAC \xF0\x9F\x93\x81");
    EXPECT_TRUE(isValidUtf8("\xE2\x82\xAC"));
}

TEST(Utf8Repair, EachMaximalBadStretchBecomesOneReplacement) {
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(repairUtf8("a\xFF" "b"), "a" + fffd + "b");
    EXPECT_EQ(repairUtf8("\xC0\xAF"), fffd + fffd) << "overlong: no valid start at all";
    EXPECT_EQ(repairUtf8("\xED\xA0\x80"), fffd + fffd + fffd) << "surrogate";
    EXPECT_EQ(repairUtf8("\xE2\x82"), fffd) << "a character cut short by the end";
    EXPECT_EQ(repairUtf8("\xF0\x9F\x93" "x\xE2\x82\xAC"), fffd + "x\xE2\x82\xAC") << "cut short by the next";
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80")) << "above U+10FFFF";
    EXPECT_FALSE(isValidUtf8("\xE2\x82"));
}

} // namespace
} // namespace tallymere

TEST(Utf8OneLine, ControlCharactersAndLineBreaksBecomeVisibleEscapes) {
    using tallymere::oneLine;
    EXPECT_EQ(oneLine("plain caf\xC3\xA9"), "plain caf\xC3\xA9");
    EXPECT_EQ(oneLine("a\nb\tc\rd"), "a\\nb\\tc\\rd");
    EXPECT_EQ(oneLine("\x1b[2J\x7f"), "\\x1b[2J\\x7f");
    EXPECT_EQ(oneLine("x\xC2\x85y"), "x\\x85y") << "a C1 control";
    EXPECT_EQ(oneLine("p\xE2\x80\xA8q\xE2\x80\xA9"), "p\\u2028q\\u2029");
    EXPECT_EQ(oneLine("bad\xFF"), "bad\xEF\xBF\xBD") << "repaired first";
}

TEST(Utf8OneLine, BidirectionalControlsCannotReorderAName) {
    using tallymere::oneLine;
    // "bidi" + RIGHT-TO-LEFT OVERRIDE + "evil.txt" would read "biditxt.live".
    EXPECT_EQ(oneLine("bidi\u202Eevil.txt"), "bidi\\u202eevil.txt");
    for (char32_t code : {0x202A, 0x202B, 0x202C, 0x202D, 0x2066, 0x2067, 0x2068, 0x2069, 0x200E, 0x200F, 0x061C}) {
        std::string utf8;
        if (code < 0x800) {
            utf8 = {char(0xC0 | (code >> 6)), char(0x80 | (code & 0x3F))};
        } else {
            utf8 = {char(0xE0 | (code >> 12)), char(0x80 | ((code >> 6) & 0x3F)), char(0x80 | (code & 0x3F))};
        }
        char expected[8];
        std::snprintf(expected, sizeof expected, "\\u%04x", unsigned(code));
        EXPECT_EQ(oneLine("a" + utf8 + "b"), "a" + std::string(expected) + "b") << unsigned(code);
    }
    // Their neighbours and other scripts pass as they are.
    EXPECT_EQ(oneLine("\u2029\u202F\u2065\u206A\u200D\u05D0\U0001F600"), "\\u2029\u202F\u2065\u206A\u200D\u05D0\U0001F600");
}
