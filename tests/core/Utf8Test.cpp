#include "core/Utf8.h"

#include <gtest/gtest.h>

namespace tallymere {
namespace {

TEST(Utf8Repair, ValidTextPassesUnchanged) {
    EXPECT_EQ(repairUtf8("plain"), "plain");
    EXPECT_EQ(repairUtf8("\xE2\x82\xAC \xF0\x9F\x93\x81"), "\xE2\x82\xAC \xF0\x9F\x93\x81");
    EXPECT_TRUE(isValidUtf8("\xE2\x82\xAC"));
}

TEST(Utf8Repair, EachBadByteBecomesOneReplacement) {
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(repairUtf8("a\xFF" "b"), "a" + fffd + "b");
    EXPECT_EQ(repairUtf8("\xC0\xAF"), fffd + fffd) << "overlong";
    EXPECT_EQ(repairUtf8("\xED\xA0\x80"), fffd + fffd + fffd) << "surrogate";
    EXPECT_EQ(repairUtf8("\xE2\x82"), fffd + fffd) << "truncated";
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80")) << "above U+10FFFF";
}

} // namespace
} // namespace tallymere
