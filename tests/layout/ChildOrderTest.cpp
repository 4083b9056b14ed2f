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
    for (std::size_t length : {0u, 7u, 511u, 512u, 70000u}) {
        std::vector<ChildOrder::KeyedChild> children;
        for (std::size_t i = 0; i < length; ++i) {
            const std::int64_t key = i % 4 == 0   ? extremes[random() % extremes.size()]
                                     : i % 4 == 1 ? static_cast<std::int64_t>(random() % 50) // many ties
                                                  : static_cast<std::int64_t>(random());
            // The node pointer only identifies the entry here.
            children.push_back({key, reinterpret_cast<const FileNode*>(i + 1)});
        }
        auto expected = children;
        std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) { return a.key > b.key; });
        ChildOrder::sortLargestFirst(children);
        for (std::size_t i = 0; i < length; ++i)
            ASSERT_TRUE(children[i].key == expected[i].key && children[i].node == expected[i].node) << length << " at " << i;
    }
}

// Choosing with the total read in the same pass gives the total and the children of the two-pass
// way: negative keys count as nothing in the sum, keys below 1 are never chosen.
TEST(ChildOrderChoice, OnePassMatchesTheTotalAndTheChoice) {
    for (std::int64_t threshold : {std::int64_t{0}, std::int64_t{40}, std::int64_t{1000}}) {
        auto folder = test::folderOf({5, -7, 0, 1000, 40, 39, 41, 1000, 1, 3});
        double total = -1;
        const auto kept = ChildOrder::largestFirstOfTotal(*folder, false, total, [&](std::int64_t key, double sum) {
            EXPECT_EQ(sum, ChildOrder::positiveTotal(*folder, false));
            return key >= threshold;
        });
        EXPECT_EQ(total, ChildOrder::positiveTotal(*folder, false));
        const auto expected =
            ChildOrder::largestFirst(*folder, false, [&](std::int64_t key) { return key >= threshold; });
        ASSERT_EQ(kept.size(), expected.size());
        for (std::size_t i = 0; i < kept.size(); ++i) {
            EXPECT_EQ(kept[i].key, expected[i].key);
            EXPECT_EQ(kept[i].node, expected[i].node);
        }
    }
}

} // namespace
} // namespace tallymere
