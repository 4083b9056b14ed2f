#include "layout/IcicleLayout.h"
#include "layout/LayoutTrees.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

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
    auto tree = treeFromText("r/\n  a/\n    b/\n      c/\n        d 10\n  p.app/ package\n    in 5\n");
    EXPECT_TRUE(IcicleLayout::layout(*tree, {0, 0, 1, 500}, rows(20)).empty());
    // Rows at 5, 25, 45, 65 in a rectangle ending at 70: the fourth is cut to 5, the fifth would
    // start at the bottom edge and is not emitted.
    auto tiles = IcicleLayout::layout(*tree, {10, 5, 300, 65}, rows(20));
    ASSERT_EQ(tiles.size(), 5u);
    EXPECT_EQ(tiles[0].rect, (Rect{10, 5, 300, 19}));
    EXPECT_EQ(tiles[3].rect, (Rect{10, 65, 300.0 * 10 / 15, 5}));
    EXPECT_TRUE(tiles[3].hasChildren); // the deepest drawn row keeps its flag
    EXPECT_FALSE(tiles[4].hasChildren); // the package
    // With one point or less left, the last row is not drawn.
    EXPECT_EQ(IcicleLayout::layout(*tree, {0, 0, 300, 61}, rows(20)).size(), 4u);
}

TEST(IcicleWidths, MinimumWidthAndBranchNumbers) {
    // 70 of 1000 bytes in a 100-wide rectangle: exactly the minimum width of 7.
    auto tree = treeFromText("r/\n  zero 0\n  big/\n    x 900\n  edge 70\n  crumb 30\n");
    Options options = rows(20);
    options.minWidth = 7;
    std::vector<std::pair<std::string, int>> drawn;
    for (const LayoutTile& tile : IcicleLayout::layout(*tree, {0, 0, 100, 200}, options))
        drawn.emplace_back(tile.node->name(), tile.tint);
    EXPECT_EQ(drawn, (std::vector<std::pair<std::string, int>>{{"r", 0}, {"big", 0}, {"x", 0}, {"edge", 1}}));
}

TEST(IcicleWidths, ATileExactlyAsWideAsTheMinimumIsDrawn) {
    // 64 and 63 of 1024 bytes in a 128-wide rectangle: 8 and 7.875, both exact in binary.
    auto tree = treeFromText("r/\n  a 897\n  b 64\n  c 63\n");
    Options options = rows(20);
    options.minWidth = 8;
    std::vector<std::string> drawn;
    for (const LayoutTile& tile : IcicleLayout::layout(*tree, {0, 0, 128, 200}, options)) {
        drawn.emplace_back(tile.node->name());
        if (tile.node->name() == "b") {
            EXPECT_EQ(tile.rect.width, 8.0);
        }
    }
    EXPECT_EQ(drawn, (std::vector<std::string>{"r", "a", "b"}));
}

// Children lie side by side under their parent from its left edge, each as wide as its share, one
// row down; the array is in pre-order, within the depth limit and the cap.
TEST(IcicleProperties, ChildrenSplitTheirParentsWidth) {
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        auto tree = test::randomTree(seed, 2000);
        Options options = rows(17 + seed, 3 + static_cast<int>(seed % 9));
        options.useAllocated = seed % 2 == 0;
        options.maxTiles = seed % 4 == 0 ? 150 : 40000;
        const Rect area{4, 8, 900 + 40.0 * seed, 20000};
        const auto tiles = IcicleLayout::layout(*tree, area, options);
        ASSERT_LE(tiles.size(), static_cast<std::size_t>(options.maxTiles));
        std::map<const FileNode*, const LayoutTile*> own;
        std::map<const FileNode*, double> cursor;
        for (const LayoutTile& tile : tiles) {
            ASSERT_TRUE(own.emplace(tile.node, &tile).second);
            EXPECT_EQ(tile.rect.y, area.y + options.rowHeight * tile.depth);
            EXPECT_EQ(tile.rect.height, options.rowHeight - options.gap);
            EXPECT_GE(tile.rect.width, options.minWidth);
            EXPECT_LE(tile.depth, options.maxDepth);
            if (tile.depth == 0) continue;
            ASSERT_TRUE(own.contains(tile.node->parent));
            const LayoutTile& parent = *own[tile.node->parent];
            EXPECT_EQ(tile.depth, parent.depth + 1);
            if (tile.depth > 1) {
                EXPECT_EQ(tile.tint, parent.tint);
            } else {
                EXPECT_EQ(tile.tint, test::sortedRank(*tile.node, options.useAllocated));
            }
            EXPECT_NEAR(tile.rect.width,
                        parent.rect.width * tile.node->bytes(options.useAllocated) / test::positiveSum(*parent.node, options.useAllocated),
                        1e-9);
            double& x = cursor.try_emplace(parent.node, parent.rect.x).first->second;
            EXPECT_NEAR(tile.rect.x, x, 1e-9);
            x = tile.rect.maxX();
            EXPECT_LE(tile.rect.maxX(), parent.rect.maxX() + 1e-9);
        }
    }
}

} // namespace
} // namespace tallymere
