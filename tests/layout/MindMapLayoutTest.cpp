#include "layout/LayoutTrees.h"
#include "layout/MindMapLayout.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <numbers>

namespace tallymere {
namespace {

using MindMapLayout::Options;
using test::treeFromText;

constexpr double pi = std::numbers::pi;

Options depth(int maxDepth) {
    Options options;
    options.maxDepth = maxDepth;
    return options;
}

double distance(Point a, Point b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

TEST(MindMapBounds, TooSmallCanvasAndBareRoots) {
    auto tree = treeFromText("r/\n  a 10\n");
    EXPECT_TRUE(MindMapLayout::layout(*tree, {0, 0, 276, 900}, depth(2)).nodes.empty());
    EXPECT_TRUE(MindMapLayout::layout(*tree, {0, 0, std::numeric_limits<double>::quiet_NaN(), 900}, depth(2)).nodes.empty());
    EXPECT_EQ(MindMapLayout::layout(*tree, {0, 0, 277, 900}, depth(2)).nodes.size(), 2u);

    for (const char* text : {"f.txt 10\n", "p.app/ package\n  x 10\n", "e/\n", "z/\n  a 0\n  b 0\n"}) {
        SCOPED_TRACE(text);
        auto root = treeFromText(text);
        const GraphLayout graph = MindMapLayout::layout(*root, {0, 0, 800, 600}, depth(2));
        ASSERT_EQ(graph.nodes.size(), 1u);
        EXPECT_TRUE(graph.edges.empty());
        EXPECT_EQ(graph.nodes[0].position, (Point{400, 300}));
        EXPECT_DOUBLE_EQ(graph.nodes[0].radius, 62 * 0.62);
        EXPECT_FALSE(graph.nodes[0].isLeafCluster);
    }
}

TEST(MindMapRings, RingRadiiAndDiscSizes) {
    // 800 × 600 with two rings: outer = 224, the first ring at 0.566 of the way out.
    auto tree = treeFromText("r/\n  all/\n    tiny 1\n    rest/\n      more 999999998\n");
    const GraphLayout graph = MindMapLayout::layout(*tree, {0, 0, 800, 600}, depth(2));
    ASSERT_EQ(graph.nodes.size(), 3u);
    EXPECT_NEAR(distance(graph.nodes[1].position, {400, 300}), 153.76, 0.005);
    EXPECT_NEAR(distance(graph.nodes[2].position, {400, 300}), 224, 1e-9);
    EXPECT_NEAR(graph.nodes[1].radius, 30 * 0.84, 1e-9); // holds the whole total

    // On the third ring a negligible disc keeps the minimum radius.
    auto deep = treeFromText("r/\n  a/\n    b/\n      c 1\n      big 99999999\n    pad 1000000000\n");
    Options options = depth(3);
    options.minShare = 0;
    const GraphLayout three = MindMapLayout::layout(*deep, {0, 0, 1000, 1000}, options);
    bool seen = false;
    for (const GraphNode& node : three.nodes)
        if (node.node->name() == "c") {
            EXPECT_EQ(node.depth, 3);
            EXPECT_DOUBLE_EQ(node.radius, 7);
            seen = true;
        }
    EXPECT_TRUE(seen);
}

TEST(MindMapAngles, SpansFollowLeafCounts) {
    auto tree = treeFromText("r/\n  five/\n    a 10\n    b 10\n    c 10\n    d 10\n    e 10\n  one 10\n");
    const GraphLayout graph = MindMapLayout::layout(*tree, {0, 0, 900, 900}, depth(2));
    ASSERT_EQ(graph.nodes.size(), 8u);
    const double firstSweep = 2 * pi * (0.225 + 0.55 * 5 / 6);
    const double secondSweep = 2 * pi * (0.225 + 0.55 * 1 / 6);
    EXPECT_NEAR(graph.nodes[1].angle, -pi / 2 + firstSweep / 2, 1e-12);
    EXPECT_EQ(graph.nodes[7].node->name(), "one");
    EXPECT_NEAR(graph.nodes[7].angle, -pi / 2 + firstSweep + secondSweep / 2, 1e-12);
    // The first span begins straight above the centre and the spans run clockwise on screen.
    EXPECT_LT(graph.nodes[2].position.y, 450);
    EXPECT_GT(graph.nodes[7].position.x, 0);
}

TEST(MindMapPruning, ShareThresholdAndBranchingLimit) {
    auto atShare = treeFromText("r/\n  big 988\n  edge 12\n");
    EXPECT_EQ(MindMapLayout::layout(*atShare, {0, 0, 800, 600}, depth(2)).nodes.size(), 3u);
    auto belowShare = treeFromText("r/\n  big 9881\n  edge 119\n");
    EXPECT_EQ(MindMapLayout::layout(*belowShare, {0, 0, 800, 600}, depth(2)).nodes.size(), 2u);

    std::string text = "r/\n";
    // Eleven qualifying children; c3 and c4 tie at 103.
    for (int i = 0; i < 11; ++i) text += "  c" + std::to_string(i) + " " + std::to_string(i == 4 ? 103 : 100 + i) + "\n";
    auto eleven = treeFromText(text);
    const GraphLayout graph = MindMapLayout::layout(*eleven, {0, 0, 800, 600}, depth(2));
    ASSERT_EQ(graph.nodes.size(), 9u);
    std::vector<std::string> names;
    for (std::size_t i = 1; i < graph.nodes.size(); ++i) {
        names.push_back(std::string(graph.nodes[i].node->name()));
        EXPECT_EQ(graph.nodes[i].tint, static_cast<int>(i - 1));
        EXPECT_TRUE(graph.nodes[i].isLeafCluster);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"c10", "c9", "c8", "c7", "c6", "c5", "c3", "c4"}));

    Options none = depth(2);
    none.branching.clear();
    EXPECT_EQ(MindMapLayout::layout(*eleven, {0, 0, 800, 600}, none).nodes.size(), 1u);
}

// Nodes are in pre-order with the centre first; edge k joins node k + 1 to its parent's disc; every
// disc sits on the ring of its depth; branch numbers come down from the first ring; the view's
// options bound the map to 57 nodes on two rings and 297 on three.
TEST(MindMapProperties, RandomTreesFormAConsistentMap) {
    for (std::uint32_t seed = 1; seed <= 16; ++seed) {
        SCOPED_TRACE(seed);
        auto tree = test::randomTree(seed, 3000, 25);
        const int maxDepth = seed % 2 == 0 ? 2 : 3;
        Options options = depth(maxDepth);
        options.useAllocated = seed % 3 == 0;
        options.minShare = seed % 4 == 0 ? 0 : 0.012;
        const Rect area{0, 0, 1000, 900};
        const GraphLayout graph = MindMapLayout::layout(*tree, area, options);
        ASSERT_LE(graph.nodes.size(), maxDepth == 2 ? 57u : 297u);
        ASSERT_EQ(graph.edges.size() + 1, graph.nodes.size());
        const Point center{500, 450};
        const double outer = 450 - 30 - 46;
        std::map<const FileNode*, std::size_t> index{{tree.get(), 0}};
        for (std::size_t k = 1; k < graph.nodes.size(); ++k) {
            const GraphNode& node = graph.nodes[k];
            const GraphEdge& edge = graph.edges[k - 1];
            ASSERT_TRUE(index.contains(node.node->parent)) << "child before its parent";
            const GraphNode& parent = graph.nodes[index[node.node->parent]];
            index[node.node] = k;
            EXPECT_EQ(node.depth, parent.depth + 1);
            EXPECT_EQ(edge.from, parent.position);
            EXPECT_EQ(edge.to, node.position);
            EXPECT_EQ(edge.fromRadius, parent.radius);
            EXPECT_EQ(edge.toRadius, node.radius);
            EXPECT_EQ(edge.depth, parent.depth);
            EXPECT_EQ(edge.tint, node.tint);
            if (node.depth > 1) EXPECT_EQ(node.tint, parent.tint);
            const double ring = 62 + (outer - 62) * std::pow(static_cast<double>(node.depth) / maxDepth, 0.82);
            EXPECT_NEAR(distance(node.position, center), ring, 1e-9);
            EXPECT_GE(node.radius, 7);
            EXPECT_LE(node.radius, 30);
            // A leaf cluster is followed by no node of its own subtree.
            const bool followedByChild = k + 1 < graph.nodes.size() && graph.nodes[k + 1].node->parent == node.node;
            EXPECT_EQ(node.isLeafCluster, !followedByChild);
        }
    }
}

TEST(MindMapRobustness, DeepChainsAndHugeFolders) {
    auto deep = test::chainTree(1000, 10);
    Options options = depth(5000);
    options.branching = {1};
    const GraphLayout chain = MindMapLayout::layout(*deep, {0, 0, 1000, 1000}, options);
    ASSERT_EQ(chain.nodes.size(), 1001u);
    EXPECT_TRUE(chain.nodes.back().isLeafCluster);
    for (const GraphNode& node : chain.nodes) ASSERT_TRUE(std::isfinite(node.position.x) && std::isfinite(node.radius));

    std::vector<std::int64_t> sizes(200000, 3);
    sizes[7] = -100;
    sizes[9] = 1'000'000;
    const auto folder = test::folderOf(sizes);
    const GraphLayout wide = MindMapLayout::layout(*folder, {0, 0, 800, 600}, depth(3));
    ASSERT_EQ(wide.nodes.size(), 2u);
    EXPECT_EQ(wide.nodes[1].node->name(), "f9");
}

} // namespace
} // namespace tallymere
