#include "base/Utf8.h"

#include <gtest/gtest.h>

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
