#include "layout/LayoutTrees.h"
#include "layout/TreemapLayout.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace tallymere {
namespace {

using test::treeFromText;
using TreemapLayout::Options;

std::vector<LayoutTile> lay(const FileNode& root, Rect area, Options options = {}) {
    return TreemapLayout::layout(root, area, options);
}

void expectRect(const Rect& actual, Rect expected) {
    EXPECT_NEAR(actual.x, expected.x, 1e-9);
    EXPECT_NEAR(actual.y, expected.y, 1e-9);
    EXPECT_NEAR(actual.width, expected.width, 1e-9);
    EXPECT_NEAR(actual.height, expected.height, 1e-9);
}

TEST(TreemapBounds, SmallRectanglesAndEmptyRoots) {
    auto tree = treeFromText("r/\n  a 10\n");
    EXPECT_TRUE(lay(*tree, {0, 0, 1, 500}).empty());
    EXPECT_TRUE(lay(*tree, {0, 0, 2, 2}).empty()); // above 1 but below the minimum tile
    EXPECT_EQ(lay(*tree, {0, 0, 3, 3}).size(), 1u); // a side equal to the minimum is drawn
    auto empty = treeFromText("r/\n  a 0\n  b/\n");
    const auto tiles = lay(*empty, {0, 0, 400, 300});
    ASSERT_EQ(tiles.size(), 1u);
    EXPECT_FALSE(tiles[0].hasChildren);
}

TEST(TreemapBands, HeaderBandAndInsetShrinkWithDepth) {
    // One folder fills the root's content, so its tile height is known exactly.
    auto tree = treeFromText("r/\n  d/\n    x 10\n");
    auto tiles = lay(*tree, {0, 0, 206, 106});
    ASSERT_EQ(tiles.size(), 3u);
    EXPECT_EQ(tiles[0].headerHeight, 0);
    expectRect(tiles[1].rect, {3, 3, 200, 100});
    EXPECT_DOUBLE_EQ(tiles[1].headerHeight, 16);
    expectRect(tiles[2].rect, {3 + 2.68, 3 + 16 + 2.68, 200 - 2 * 2.68, 100 - 16 - 2 * 2.68});
    tiles = lay(*tree, {0, 0, 206, 56});
    EXPECT_DOUBLE_EQ(tiles[1].headerHeight, 11); // 0.22 of 50
}

TEST(TreemapRows, RowsRunAlongTheShorterSide) {
    // A tie stays in the row: an equal pair in a square is one column, the first stored on top.
    auto pair = treeFromText("r/\n  first 5\n  second 5\n");
    auto tiles = lay(*pair, {0, 0, 106, 106});
    ASSERT_EQ(tiles.size(), 3u);
    EXPECT_EQ(tiles[1].node->name(), "first");
    expectRect(tiles[1].rect, {3, 3, 100, 50});
    expectRect(tiles[2].rect, {3, 53, 100, 50});
    // Wide content starts with a column at the left edge, tall content with a strip along the top.
    auto tree = treeFromText("r/\n  big 3\n  small 1\n");
    tiles = lay(*tree, {0, 0, 206, 106});
    expectRect(tiles[1].rect, {3, 3, 150, 100});
    expectRect(tiles[2].rect, {153, 3, 50, 100});
    tiles = lay(*tree, {0, 0, 106, 206});
    expectRect(tiles[1].rect, {3, 3, 100, 150});
    expectRect(tiles[2].rect, {3, 153, 100, 50});
}

TEST(TreemapParents, DepthLimitPackagesAndCrampedTiles) {
    auto tree = treeFromText("r/\n  a/\n    b/\n      c/\n        x 10\n  p.app/ package\n    inner 10\n");
    Options options;
    options.maxDepth = 2;
    int deepest = 0;
    for (const LayoutTile& tile : lay(*tree, {0, 0, 600, 400}, options)) {
        deepest = std::max(deepest, tile.depth);
        if (tile.depth == 2 || tile.node->isPackage) {
            EXPECT_FALSE(tile.hasChildren);
        }
        EXPECT_NE(tile.node->name(), "inner");
    }
    EXPECT_EQ(deepest, 2);
    // A parent whose content area is 3 or less keeps hasChildren but gets no child tiles.
    options.minParent = 5;
    const auto small = lay(*tree, {0, 0, 9, 9}, options);
    ASSERT_EQ(small.size(), 1u);
    EXPECT_TRUE(small[0].hasChildren);
}

TEST(TreemapCap, CapKeepsThePreOrderPrefix) {
    auto tree = test::randomTree(7, 3000, 20);
    Options options;
    options.maxTiles = 1 << 30;
    const auto all = lay(*tree, {0, 0, 2400, 1600}, options);
    ASSERT_GT(all.size(), 300u);
    options.maxTiles = 300;
    const auto some = lay(*tree, {0, 0, 2400, 1600}, options);
    ASSERT_EQ(some.size(), 300u);
    EXPECT_TRUE(std::equal(some.begin(), some.end(), all.begin()));
}

// Every tile lies inside its parent's content area, siblings do not overlap, each tile's area is
// its share of the parent's content area, the array is in pre-order with branch numbers inherited.
TEST(TreemapProperties, RandomTreesNestWithoutOverlapAndAreasFollowSizes) {
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        auto tree = test::randomTree(seed, 1500);
        Options options;
        options.useAllocated = seed % 2 == 0;
        options.maxDepth = seed % 3 == 0 ? 12 : 7;
        const auto tiles = lay(*tree, {10, 20, 300.0 + 90 * seed, 1700.0 - 90 * seed}, options);
        std::map<const FileNode*, const LayoutTile*> own;
        std::map<const FileNode*, std::vector<Rect>> siblings;
        for (const LayoutTile& tile : tiles) {
            ASSERT_GE(std::min(tile.rect.width, tile.rect.height), options.minTile);
            ASSERT_TRUE(own.emplace(tile.node, &tile).second) << "a node drawn twice";
            if (tile.depth == 0) continue;
            ASSERT_TRUE(own.contains(tile.node->parent)) << "child before its parent";
            const LayoutTile& parent = *own[tile.node->parent];
            ASSERT_TRUE(parent.hasChildren);
            ASSERT_EQ(tile.depth, parent.depth + 1);
            if (tile.depth > 1) {
                EXPECT_EQ(tile.tint, parent.tint);
            } else {
                EXPECT_EQ(tile.tint, test::sortedRank(*tile.node, options.useAllocated));
            }
            const double inset = std::max(options.padding - 0.32 * parent.depth, 1.2);
            const Rect content{parent.rect.x + inset, parent.rect.y + parent.headerHeight + inset,
                               parent.rect.width - 2 * inset, parent.rect.height - parent.headerHeight - 2 * inset};
            EXPECT_TRUE(test::inside(tile.rect, content, 1e-6));
            const double expected = tile.node->bytes(options.useAllocated) * content.width * content.height /
                                    test::positiveSum(*parent.node, options.useAllocated);
            EXPECT_NEAR(tile.rect.width * tile.rect.height, expected, expected * 1e-9);
            for (const Rect& other : siblings[parent.node]) EXPECT_LE(test::overlapArea(other, tile.rect), 1e-6);
            siblings[parent.node].push_back(tile.rect);
        }
    }
}

// A folder of over a thousand children orders and places only those large enough to take part in
// a tile: the same folder under that length, with the same children of any size, gets the same tiles.
TEST(TreemapLongFolders, SmallChildrenLeftOutChangeNoTile) {
    for (std::uint64_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        std::uint64_t state = seed * 0x9E3779B97F4A7C15ull;
        auto next = [&] { return state ^= state << 13, state ^= state >> 7, state ^= state << 17; };
        // A tenth of the children large, over two orders of magnitude, the rest far too small for
        // a tile: the rows of the smallest large ones reach past those kept.
        std::vector<std::int64_t> sizes;
        for (int i = 0; i < 1023; ++i) {
            const std::uint64_t r = next();
            sizes.push_back(i % 10 == 0 ? 1'000'000 + std::int64_t(r % 100'000'000) : std::int64_t(r % 1'000));
        }
        const auto whole = test::folderOf(sizes);
        sizes.push_back(0); // no tile, no share: only the folder's length changes
        const auto longer = test::folderOf(sizes);
        const Rect area{0, 0, 180.0 + 120 * double(seed), 140.0 + 60 * double(seed)};
        const auto expected = lay(*whole, area), actual = lay(*longer, area);
        ASSERT_GT(expected.size(), 40u);
        ASSERT_EQ(actual.size(), expected.size());
        for (std::size_t i = 0; i < actual.size(); ++i) {
            EXPECT_EQ(actual[i].node->name(), expected[i].node->name());
            EXPECT_EQ(actual[i].rect.x, expected[i].rect.x);
            EXPECT_EQ(actual[i].rect.y, expected[i].rect.y);
            EXPECT_EQ(actual[i].rect.width, expected[i].rect.width);
            EXPECT_EQ(actual[i].rect.height, expected[i].rect.height);
        }
    }
}

// The last child large enough for a tile starts a row across the whole side; the far smaller
// children after it, left out of the ordering, still join that row as they would in any
// squarified row, so its tile is thicker and shorter than the side.
TEST(TreemapLongFolders, RowsTakeInTheSmallChildrenThatFollow) {
    std::vector<std::int64_t> sizes(20, 4'207'000);
    sizes.push_back(300'000);
    sizes.insert(sizes.end(), 9'000, 1'000);
    const auto folder = test::folderOf(sizes);
    // Content 994 x 94, about one point of area to 1,000 bytes.
    const auto tiles = lay(*folder, {0, 0, 1000, 100});
    const auto thin = std::find_if(tiles.begin(), tiles.end(), [](const LayoutTile& t) { return t.node->name() == "f20"; });
    ASSERT_NE(thin, tiles.end());
    EXPECT_NEAR(thin->rect.width * thin->rect.height, 300, 0.05);
    EXPECT_LT(thin->rect.height, 80);
    EXPECT_GT(thin->rect.width, 3.5);
    EXPECT_EQ(tiles.size(), 22u); // the folder, its 21 large children
}

} // namespace
} // namespace tallymere
