#include "layout/IcicleLayout.h"
#include "layout/LayoutTrees.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

namespace tallymere {
namespace {

using IcicleLayout::Options;
using test::treeFromText;

Options rows(double rowHeight, int maxDepth = 10) {
    Options options;
    options.rowHeight = rowHeight;
    options.maxDepth = maxDepth;
    return options;
}

TEST(IcicleRows, RowsStackByDepthAndTheLastIsCut) {
    auto tree = treeFromText("r/\n  a/\n    b/\n      c/\n        d 10\n");
    EXPECT_TRUE(IcicleLayout::layout(*tree, {0, 0, 1, 500}, rows(20)).empty());
    EXPECT_TRUE(IcicleLayout::layout(*tree, {0, 0, std::numeric_limits<double>::quiet_NaN(), 500}, rows(20)).empty());

    // Rows at 5, 25, 45, 65: the fourth has 5 left of the 70-high rectangle and is cut to it; the
    // fifth would start at the bottom edge and is not emitted.
    auto tiles = IcicleLayout::layout(*tree, {10, 5, 300, 65}, rows(20));
    ASSERT_EQ(tiles.size(), 4u);
    EXPECT_EQ(tiles[0].rect, (Rect{10, 5, 300, 19}));
    EXPECT_EQ(tiles[1].rect, (Rect{10, 25, 300, 19}));
    EXPECT_EQ(tiles[3].rect, (Rect{10, 65, 300, 5}));
    for (const LayoutTile& tile : tiles) EXPECT_EQ(tile.headerHeight, 0);

    // With one point or less left, the last row is not drawn.
    tiles = IcicleLayout::layout(*tree, {0, 0, 300, 61}, rows(20));
    EXPECT_EQ(tiles.size(), 3u);
}

TEST(IcicleRows, DeepestRowKeepsItsContainerFlag) {
    auto tree = treeFromText("r/\n  a/\n    b/\n      c 10\n  p.app/ package\n    in 5\n  e/\n");
    const auto tiles = IcicleLayout::layout(*tree, {0, 0, 600, 20000}, rows(20, 2));
    std::map<std::string, const LayoutTile*> named;
    for (const LayoutTile& tile : tiles) named[std::string(tile.node->name())] = &tile;
    ASSERT_TRUE(named.contains("b"));
    EXPECT_TRUE(named["b"]->hasChildren);
    EXPECT_FALSE(named.contains("c"));
    EXPECT_FALSE(named.contains("in"));
    EXPECT_FALSE(named.contains("e")); // no bytes, no tile
    EXPECT_FALSE(named["p.app"]->hasChildren);
}

TEST(IcicleWidths, MinimumWidthAndBranchNumbers) {
    // 7 of 1000 points: exactly the minimum width when the rectangle is 100 wide.
    auto tree = treeFromText("r/\n  zero 0\n  big/\n    x 900\n  edge 70\n  crumb 30\n");
    Options options = rows(20);
    options.minWidth = 7;
    const auto tiles = IcicleLayout::layout(*tree, {0, 0, 100, 200}, options);
    std::map<std::string, const LayoutTile*> named;
    for (const LayoutTile& tile : tiles) named[std::string(tile.node->name())] = &tile;
    ASSERT_TRUE(named.contains("edge"));
    EXPECT_DOUBLE_EQ(named["edge"]->rect.width, 7);
    EXPECT_DOUBLE_EQ(named["edge"]->rect.x, 90);
    EXPECT_FALSE(named.contains("crumb"));
    EXPECT_FALSE(named.contains("zero"));
    EXPECT_EQ(named["big"]->tint, 0);
    EXPECT_EQ(named["x"]->tint, 0);
    EXPECT_EQ(named["edge"]->tint, 1);
}

// Children lie side by side under their parent from its left edge, each as wide as its share, in
// decreasing size, one row down; the array is in pre-order and respects the cap.
TEST(IcicleProperties, ChildrenSplitTheirParentsWidth) {
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        auto tree = test::randomTree(seed, 2000);
        Options options = rows(17 + seed, 3 + static_cast<int>(seed % 9));
        options.useAllocated = seed % 2 == 0;
        const Rect area{4, 8, 900 + 40.0 * seed, 20000};
        const auto tiles = IcicleLayout::layout(*tree, area, options);
        ASSERT_FALSE(tiles.empty());
        std::map<const FileNode*, const LayoutTile*> own;
        std::map<const FileNode*, double> cursor;
        for (const LayoutTile& tile : tiles) {
            ASSERT_FALSE(own.contains(tile.node));
            own[tile.node] = &tile;
            EXPECT_DOUBLE_EQ(tile.rect.y, area.y + options.rowHeight * tile.depth);
            EXPECT_DOUBLE_EQ(tile.rect.height, options.rowHeight - options.gap);
            EXPECT_GE(tile.rect.width, options.minWidth);
            EXPECT_LE(tile.depth, options.maxDepth);
            if (tile.depth == 0) continue;
            ASSERT_TRUE(own.contains(tile.node->parent));
            const LayoutTile& parent = *own[tile.node->parent];
            EXPECT_EQ(tile.depth, parent.depth + 1);
            EXPECT_EQ(tile.tint, parent.depth == 0 ? tile.tint : parent.tint);
            double total = 0;
            for (const FileNode* child : parent.node->children()) total += std::max<double>(0, child->bytes(options.useAllocated));
            EXPECT_NEAR(tile.rect.width, parent.rect.width * tile.node->bytes(options.useAllocated) / total, 1e-9);
            // Drawn siblings follow one another without overlap; skipped ones only at the end.
            double& x = cursor.try_emplace(parent.node, parent.rect.x).first->second;
            EXPECT_NEAR(tile.rect.x, x, 1e-9);
            x = tile.rect.maxX();
            EXPECT_LE(tile.rect.maxX(), parent.rect.maxX() + 1e-9);
        }
    }
}

TEST(IcicleCap, CapKeepsThePreOrderPrefix) {
    auto tree = test::randomTree(11, 3000, 20);
    Options options = rows(20, 20);
    const auto all = IcicleLayout::layout(*tree, {0, 0, 3000, 20000}, options);
    ASSERT_GT(all.size(), 200u);
    options.maxTiles = 200;
    const auto some = IcicleLayout::layout(*tree, {0, 0, 3000, 20000}, options);
    ASSERT_EQ(some.size(), 200u);
    for (std::size_t i = 0; i < some.size(); ++i) EXPECT_EQ(some[i], all[i]) << i;
}

TEST(IcicleRobustness, DeepChainsAndHugeFolders) {
    auto deep = test::chainTree(1000, 10);
    auto tiles = IcicleLayout::layout(*deep, {0, 0, 800, 1e6}, rows(20, 5000));
    ASSERT_EQ(tiles.size(), 1001u);
    EXPECT_EQ(tiles.back().rect.y, 20000);

    std::vector<std::int64_t> sizes(200000);
    for (std::size_t i = 0; i < sizes.size(); ++i) sizes[i] = i % 5 == 0 ? -3 : static_cast<std::int64_t>(i);
    for (std::size_t i = 1; i < 200; i += 2) sizes[i] = 100'000'000; // wide enough to draw
    const auto folder = test::folderOf(sizes);
    tiles = IcicleLayout::layout(*folder, {0, 0, 1200, 20000}, rows(27));
    ASSERT_EQ(tiles.size(), 101u);
    double right = 0;
    for (const LayoutTile& tile : tiles) {
        ASSERT_TRUE(tile.rect.isFinite());
        right = std::max(right, tile.rect.maxX());
    }
    EXPECT_LE(right, 1200 + 1e-6);
}

} // namespace
} // namespace tallymere
