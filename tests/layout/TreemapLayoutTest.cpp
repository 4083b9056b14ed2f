#include "layout/LayoutTrees.h"
#include "layout/TreemapLayout.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
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

// The area a parent tile gives its children: below its header band, inset by the depth's padding.
Rect contentOf(const LayoutTile& tile, const Options& options) {
    const double inset = std::max(options.padding - 0.32 * tile.depth, 1.2);
    return {tile.rect.x + inset, tile.rect.y + tile.headerHeight + inset, tile.rect.width - 2 * inset,
            tile.rect.height - tile.headerHeight - 2 * inset};
}

double overlapArea(const Rect& a, const Rect& b) {
    const double w = std::min(a.maxX(), b.maxX()) - std::max(a.minX(), b.minX());
    const double h = std::min(a.maxY(), b.maxY()) - std::max(a.minY(), b.minY());
    return w > 0 && h > 0 ? w * h : 0;
}

TEST(TreemapBounds, TooSmallOrBrokenRectanglesGiveNoTiles) {
    auto tree = treeFromText("r/\n  a 10\n");
    EXPECT_TRUE(lay(*tree, {0, 0, 1, 500}).empty());
    EXPECT_TRUE(lay(*tree, {0, 0, 500, 1}).empty());
    EXPECT_TRUE(lay(*tree, {0, 0, 2, 2}).empty()); // above 1 but below the minimum tile
    EXPECT_TRUE(lay(*tree, {0, 0, -50, 50}).empty());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_TRUE(lay(*tree, {0, 0, nan, 100}).empty());
    EXPECT_TRUE(lay(*tree, {0, 0, inf, 100}).empty());
    EXPECT_TRUE(lay(*tree, {nan, 0, 100, 100}).empty());
    EXPECT_EQ(lay(*tree, {0, 0, 3, 3}).size(), 1u); // a side equal to the minimum is drawn
}

TEST(TreemapBounds, RootWithoutBytesIsASingleLeaf) {
    auto tree = treeFromText("r/\n  a 0\n  b/\n");
    const auto tiles = lay(*tree, {0, 0, 400, 300});
    ASSERT_EQ(tiles.size(), 1u);
    EXPECT_EQ(tiles[0].node, tree.get());
    EXPECT_FALSE(tiles[0].hasChildren);
    EXPECT_EQ(tiles[0].headerHeight, 0);
    expectRect(tiles[0].rect, {0, 0, 400, 300});
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
    ASSERT_EQ(tiles.size(), 3u);
    EXPECT_DOUBLE_EQ(tiles[1].headerHeight, 11); // 0.22 of 50
    EXPECT_EQ(tiles[2].headerHeight, 0);         // a leaf has no band
}

TEST(TreemapRows, EqualPairFormsOneColumnInASquare) {
    auto tree = treeFromText("r/\n  first 5\n  second 5\n");
    const auto tiles = lay(*tree, {0, 0, 106, 106});
    ASSERT_EQ(tiles.size(), 3u);
    EXPECT_EQ(tiles[1].node->name(), "first");
    expectRect(tiles[1].rect, {3, 3, 100, 50});
    expectRect(tiles[2].rect, {3, 53, 100, 50});
}

TEST(TreemapRows, RowsRunAlongTheShorterSide) {
    // Wide content: the first row is a column at the left edge, and the rest a strip.
    auto tree = treeFromText("r/\n  big 3\n  small 1\n");
    auto tiles = lay(*tree, {0, 0, 206, 106});
    ASSERT_EQ(tiles.size(), 3u);
    expectRect(tiles[1].rect, {3, 3, 150, 100});
    expectRect(tiles[2].rect, {153, 3, 50, 100});
    // Tall content: the first row is a strip along the top edge.
    tiles = lay(*tree, {0, 0, 106, 206});
    ASSERT_EQ(tiles.size(), 3u);
    expectRect(tiles[1].rect, {3, 3, 100, 150});
    expectRect(tiles[2].rect, {3, 153, 100, 50});
}

TEST(TreemapParents, DepthLimitPackagesAndCrampedTiles) {
    auto tree = treeFromText("r/\n  a/\n    b/\n      c/\n        x 10\n  p.app/ package\n    inner 10\n");
    Options options;
    options.maxDepth = 2;
    const auto tiles = lay(*tree, {0, 0, 600, 400}, options);
    int deepest = 0;
    for (const LayoutTile& tile : tiles) {
        deepest = std::max(deepest, tile.depth);
        if (tile.depth == 2) EXPECT_FALSE(tile.hasChildren);
        EXPECT_NE(tile.node->name(), "inner"); // nothing inside a package
        if (tile.node->name() == "p.app") EXPECT_FALSE(tile.hasChildren);
    }
    EXPECT_EQ(deepest, 2);

    // A parent whose content area is 3 or less keeps hasChildren but gets no child tiles.
    Options cramped;
    cramped.minParent = 5;
    const auto small = lay(*tree, {0, 0, 9, 9}, cramped);
    ASSERT_EQ(small.size(), 1u);
    EXPECT_TRUE(small[0].hasChildren);
}

TEST(TreemapTints, FirstLevelNumbersFollowSizeAndSkipEmptyChildren) {
    auto tree = treeFromText("r/\n  zero 0\n  s/\n    x 5\n  m 30\n  l/\n    y 60\n    z 10\n");
    const auto tiles = lay(*tree, {0, 0, 800, 600});
    std::map<std::string, int> tints;
    for (const LayoutTile& tile : tiles) tints[std::string(tile.node->name())] = tile.tint;
    EXPECT_FALSE(tints.contains("zero"));
    EXPECT_EQ(tints["l"], 0);
    EXPECT_EQ(tints["m"], 1);
    EXPECT_EQ(tints["s"], 2);
    EXPECT_EQ(tints["y"], 0);
    EXPECT_EQ(tints["z"], 0);
    EXPECT_EQ(tints["x"], 2);
    EXPECT_EQ(tiles[1].node->name(), "l"); // siblings largest first, subtree before next sibling
    EXPECT_EQ(tiles[2].node->name(), "y");
}

TEST(TreemapCap, CapKeepsThePreOrderPrefix) {
    auto tree = test::randomTree(7, 3000, 20);
    Options uncapped;
    uncapped.maxTiles = 1 << 30;
    const auto all = lay(*tree, {0, 0, 2400, 1600}, uncapped);
    ASSERT_GT(all.size(), 300u);
    Options capped;
    capped.maxTiles = 300;
    const auto some = lay(*tree, {0, 0, 2400, 1600}, capped);
    ASSERT_EQ(some.size(), 300u);
    for (std::size_t i = 0; i < some.size(); ++i) EXPECT_EQ(some[i], all[i]) << i;
    capped.maxTiles = 0;
    EXPECT_TRUE(lay(*tree, {0, 0, 2400, 1600}, capped).empty());
}

// Every tile lies inside its parent's content area, siblings do not overlap, each tile's area is
// its share of the parent's content area, and the array is in pre-order.
void checkTreemap(const FileNode& root, Rect area, const Options& options) {
    const auto tiles = lay(root, area, options);
    ASSERT_FALSE(tiles.empty());
    ASSERT_LE(tiles.size(), static_cast<std::size_t>(options.maxTiles));
    std::map<const FileNode*, std::size_t> index;
    std::map<const FileNode*, std::vector<const LayoutTile*>> siblings;
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const LayoutTile& tile = tiles[i];
        ASSERT_TRUE(tile.rect.isFinite());
        ASSERT_GE(tile.rect.width, options.minTile);
        ASSERT_GE(tile.rect.height, options.minTile);
        ASSERT_FALSE(index.contains(tile.node)) << "a node drawn twice";
        index[tile.node] = i;
        if (i == 0) continue;
        ASSERT_TRUE(index.contains(tile.node->parent)) << "child before its parent";
        const LayoutTile& parent = tiles[index[tile.node->parent]];
        ASSERT_TRUE(parent.hasChildren);
        ASSERT_EQ(tile.depth, parent.depth + 1);
        if (tile.depth > 1) ASSERT_EQ(tile.tint, parent.tint);
        const Rect content = contentOf(parent, options);
        constexpr double eps = 1e-6;
        EXPECT_GE(tile.rect.minX(), content.minX() - eps);
        EXPECT_GE(tile.rect.minY(), content.minY() - eps);
        EXPECT_LE(tile.rect.maxX(), content.maxX() + eps);
        EXPECT_LE(tile.rect.maxY(), content.maxY() + eps);
        double total = 0;
        for (const FileNode* child : parent.node->children())
            if (child->bytes(options.useAllocated) >= 1) total += static_cast<double>(child->bytes(options.useAllocated));
        const double expected = static_cast<double>(tile.node->bytes(options.useAllocated)) * content.width * content.height / total;
        EXPECT_NEAR(tile.rect.width * tile.rect.height, expected, expected * 1e-9 + 1e-9);
        for (const LayoutTile* other : siblings[tile.node->parent])
            EXPECT_LE(overlapArea(other->rect, tile.rect), 1e-6);
        siblings[tile.node->parent].push_back(&tile);
    }
}

TEST(TreemapProperties, RandomTreesNestWithoutOverlapAndAreasFollowSizes) {
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        auto tree = test::randomTree(seed, 1500);
        Options options;
        options.useAllocated = seed % 2 == 0;
        checkTreemap(*tree, {10, 20, 1200, 800}, options);
        options.maxDepth = 12;
        checkTreemap(*tree, {0, 0, 333.3, 901.7}, options);
    }
}

TEST(TreemapRobustness, DeepChainsHugeFoldersAndOddSizes) {
    // A thousand nested folders, all laid out when the depth and the rectangle allow it.
    auto deep = test::chainTree(1000, 4096);
    Options options;
    options.maxDepth = 5000;
    options.maxTiles = 5000;
    auto tiles = lay(*deep, {0, 0, 1e5, 1e5}, options);
    ASSERT_EQ(tiles.size(), 1001u);
    EXPECT_EQ(tiles.back().depth, 1000);

    // Two hundred thousand children in a view-sized canvas: capped, finite, inside the root.
    std::vector<std::int64_t> sizes(200000);
    for (std::size_t i = 0; i < sizes.size(); ++i) sizes[i] = static_cast<std::int64_t>(i % 997) * 1000 + 1;
    auto wide = test::folderOf(sizes);
    tiles = lay(*wide, {0, 0, 1400, 900}, Options{});
    ASSERT_GT(tiles.size(), 1000u);
    ASSERT_LE(tiles.size(), 22000u);
    for (const LayoutTile& tile : tiles) {
        ASSERT_TRUE(tile.rect.isFinite());
        ASSERT_GE(tile.rect.minX(), 0);
        ASSERT_LE(tile.rect.maxX(), 1400 + 1e-6);
    }

    // Negative and overflowing sizes: only positive children count, nothing turns into NaN.
    constexpr std::int64_t huge = 4'000'000'000'000'000'000;
    auto odd = test::folderOf({-500, 0, huge, huge, 7});
    tiles = lay(*odd, {0, 0, 800, 600});
    ASSERT_EQ(tiles.size(), 3u); // the 7-byte file is far below a pixel
    for (const LayoutTile& tile : tiles) {
        ASSERT_TRUE(tile.rect.isFinite());
        EXPECT_GT(tile.node->size, 0);
    }
}

} // namespace
} // namespace tallymere
