#include "base/GraphemeCounter.h"

#include <gtest/gtest.h>

using namespace tallymere;

TEST(GraphemeCounter, CountsUserPerceivedCharacters) {
    GraphemeCounter characters;
    EXPECT_EQ(characters.count("/a/b"), 4u);
    EXPECT_EQ(characters.count("e\xCC\x81"), 1u);                             // e + combining acute
    EXPECT_EQ(characters.count("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"), 1u);      // thumbs up, skin tone
    EXPECT_EQ(characters.count("\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA" "a"), 2u); // a flag of two regional indicators, then a
    EXPECT_EQ(characters.count("a\r\nb"), 3u);
    EXPECT_EQ(characters.count("\xFF" "a"), 2u) << "an invalid byte counts as one replacement character";
    // The iterator serves the next text afresh: nothing of the last one is carried over.
    EXPECT_EQ(characters.count("\xE0\xA4\x95\xE0\xA5\x8D\xE0\xA4\xB7"), 1u); // ka, virama, ssa: one conjunct
    EXPECT_EQ(characters.count("\xC3\xA9t\xC3\xA9"), 3u);
}
