#include "layout/ChildOrder.h"
#include "layout/LayoutTrees.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

namespace tallymere {
namespace {

// Long lists take the counting sort, short ones a comparison sort: both must give the order of a
// stable largest-first sort, ties in stored order, across the whole 64-bit range.
TEST(ChildOrderSort, MatchesAStableLargestFirstSortAtEveryLength) {
    std::mt19937_64 random(17);
    const std::vector<std::int64_t> extremes{std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min(),
                                             0, -1, 1, std::int64_t{1} << 40};
    for (std::size_t length : {0u, 1u, 7u, 511u, 512u, 3000u, 70000u}) {
        SCOPED_TRACE(length);
        std::vector<ChildOrder::KeyedChild> children;
        for (std::size_t i = 0; i < length; ++i) {
            std::int64_t key;
            switch (i % 4) {
            case 0: key = extremes[random() % extremes.size()]; break;
            case 1: key = static_cast<std::int64_t>(random() % 50); break; // many ties
            default: key = static_cast<std::int64_t>(random());
            }
            // The node pointer only identifies the entry here.
            children.push_back({key, reinterpret_cast<const FileNode*>(i + 1)});
        }
        auto expected = children;
        std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) { return a.key > b.key; });
        ChildOrder::sortLargestFirst(children);
        ASSERT_EQ(children.size(), expected.size());
        for (std::size_t i = 0; i < length; ++i) {
            ASSERT_EQ(children[i].key, expected[i].key) << i;
            ASSERT_EQ(children[i].node, expected[i].node) << i;
        }
    }
}

TEST(ChildOrderSort, KeepsPositiveChildrenAndNothingOfAPackage) {
    auto folder = test::folderOf({5, 0, -3, 9, 5});
    const auto kept = ChildOrder::largestFirst(*folder, false);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0].node->name(), "f3");
    EXPECT_EQ(kept[1].node->name(), "f0");
    EXPECT_EQ(kept[2].node->name(), "f4");
    EXPECT_EQ(ChildOrder::positiveTotal(*folder, false), 19);
    folder->isPackage = true;
    EXPECT_TRUE(ChildOrder::largestFirst(*folder, false).empty());
    EXPECT_EQ(ChildOrder::positiveTotal(*folder, false), 0);
}

} // namespace
} // namespace tallymere
