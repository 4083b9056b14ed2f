#include "base/Uuid.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace tallymere {
namespace {

TEST(UuidText, RoundTripsInUpperCase) {
    const Uuid id = Uuid::random();
    const std::string text = id.text();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4') << "version 4";
    EXPECT_EQ(Uuid::parse(text), id);
    for (char c : text) EXPECT_FALSE(c >= 'a' && c <= 'f');
    EXPECT_EQ(Uuid::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f")->text(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
}

TEST(UuidText, RejectsMalformedText) {
    for (const char* bad : {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5", "G621E1F8-C36C-495A-93FC-0C247A3E6E5F",
                            "E621E1F8-C36C-495A-93FC-0C247A3E6E5F0", "E621E1F8+C36C-495A-93FC-0C247A3E6E5F", "E621E1F-8C36C-495A-93FC-0C247A3E6E5F"})
        EXPECT_FALSE(Uuid::parse(bad).has_value()) << bad;
}

TEST(UuidRandom, FreshEachTime) {
    std::unordered_set<Uuid> seen;
    for (int i = 0; i < 1000; ++i) EXPECT_TRUE(seen.insert(Uuid::random()).second);
}

} // namespace
} // namespace tallymere
