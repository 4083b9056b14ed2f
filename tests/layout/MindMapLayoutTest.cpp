#include "layout/LayoutTrees.h"
#include "layout/MindMapLayout.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <cmath>
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

std::vector<std::string> names(const GraphLayout& graph) {
    std::vector<std::string> out;
    for (const GraphNode& node : graph.nodes) out.emplace_back(node.node->name());
    return out;
}

TEST(MindMapBounds, TooSmallCanvasAndBareRoots) {
    auto tree = treeFromText("r/\n  a 10\n");
    EXPECT_TRUE(MindMapLayout::layout(*tree, {0, 0, 276, 900}, depth(2)).nodes.empty());
    EXPECT_EQ(MindMapLayout::layout(*tree, {0, 0, 277, 900}, depth(2)).nodes.size(), 2u);
    for (const char* text : {"f.txt 10\n", "p.app/ package\n  x 10\n", "e/\n"}) {
        auto root = treeFromText(text);
        const GraphLayout graph = MindMapLayout::layout(*root, {0, 0, 800, 600}, depth(2));
        ASSERT_EQ(graph.nodes.size(), 1u) << text;
        EXPECT_EQ(graph.nodes[0], (GraphNode{root.get(), {400, 300}, 62 * 0.62}));
    }
}

TEST(MindMapRings, RingRadiiAndDiscSizes) {
    // 800 × 600 with two rings: outer = 224 and the first ring at about 153.76.
    auto tree = treeFromText("r/\n  all/\n    tiny 1\n    rest/\n      more 999999998\n");
    const GraphLayout graph = MindMapLayout::layout(*tree, {0, 0, 800, 600}, depth(2));
    ASSERT_EQ(names(graph), (std::vector<std::string>{"r", "all", "rest"}));
    EXPECT_NEAR(distance(graph.nodes[1].position, {400, 300}), 153.76, 0.005);
    EXPECT_NEAR(distance(graph.nodes[2].position, {400, 300}), 224, 1e-9);
    EXPECT_NEAR(graph.nodes[1].radius, 30 * 0.84, 1e-9); // holds the whole total
    // A negligible disc on the third ring keeps the minimum radius rather than 7 × 0.52.
    auto deep = treeFromText("r/\n  a/\n    b/\n      c 1\n      big 99999999\n    pad 1000000000\n");
    Options options = depth(3);
    options.minShare = 0;
    for (const GraphNode& node : MindMapLayout::layout(*deep, {0, 0, 1000, 1000}, options).nodes)
        if (node.node->name() == "c") {
            EXPECT_EQ(node.radius, 7);
        }
}

TEST(MindMapAngles, SpansFollowLeafCounts) {
    auto tree = treeFromText("r/\n  five/\n    a 10\n    b 10\n    c 10\n    d 10\n    e 10\n  one 10\n");
    const GraphLayout graph = MindMapLayout::layout(*tree, {0, 0, 900, 900}, depth(2));
    ASSERT_EQ(graph.nodes.size(), 8u);
    const double firstSweep = 2 * pi * (0.225 + 0.55 * 5 / 6);
    const double secondSweep = 2 * pi * (0.225 + 0.55 * 1 / 6);
    EXPECT_NEAR(graph.nodes[1].angle, -pi / 2 + firstSweep / 2, 1e-12);
    EXPECT_NEAR(graph.nodes[7].angle, -pi / 2 + firstSweep + secondSweep / 2, 1e-12);
    EXPECT_LT(graph.nodes[2].position.y, 450); // the first span begins straight above the centre
}

TEST(MindMapPruning, ShareThresholdAndBranchingLimit) {
    auto atShare = treeFromText("r/\n  big 988\n  edge 12\n"); // exactly 1.2 %
    EXPECT_EQ(MindMapLayout::layout(*atShare, {0, 0, 800, 600}, depth(2)).nodes.size(), 3u);
    auto belowShare = treeFromText("r/\n  big 9881\n  edge 119\n");
    EXPECT_EQ(MindMapLayout::layout(*belowShare, {0, 0, 800, 600}, depth(2)).nodes.size(), 2u);

    // Eleven qualifying children, c3 and c4 tied: the eight largest, ties in stored order.
    std::string text = "r/\n";
    for (int i = 0; i < 11; ++i) text += "  c" + std::to_string(i) + " " + std::to_string(i == 4 ? 103 : 100 + i) + "\n";
    auto eleven = treeFromText(text);
    const GraphLayout graph = MindMapLayout::layout(*eleven, {0, 0, 800, 600}, depth(2));
    EXPECT_EQ(names(graph), (std::vector<std::string>{"r", "c10", "c9", "c8", "c7", "c6", "c5", "c3", "c4"}));
    EXPECT_EQ(graph.nodes[8].tint, 7);
    Options none = depth(2);
    none.branching.clear();
    EXPECT_EQ(MindMapLayout::layout(*eleven, {0, 0, 800, 600}, none).nodes.size(), 1u);
}

// Nodes in pre-order, centre first; edge k joins node k + 1 to its parent's disc; every disc sits on
// the ring of its depth; the view's options bound the map to 57 nodes on two rings, 297 on three.
TEST(MindMapProperties, RandomTreesFormAConsistentMap) {
    for (std::uint32_t seed = 1; seed <= 16; ++seed) {
        SCOPED_TRACE(seed);
        auto tree = test::randomTree(seed, 3000, 25);
        const int maxDepth = seed % 2 == 0 ? 2 : 3;
        Options options = depth(maxDepth);
        options.useAllocated = seed % 3 == 0;
        options.minShare = seed % 4 == 0 ? 0 : 0.012;
        const GraphLayout graph = MindMapLayout::layout(*tree, {0, 0, 1000, 900}, options);
        ASSERT_LE(graph.nodes.size(), maxDepth == 2 ? 57u : 297u);
        ASSERT_EQ(graph.edges.size() + 1, graph.nodes.size());
        std::map<const FileNode*, std::size_t> index{{tree.get(), 0}};
        for (std::size_t k = 1; k < graph.nodes.size(); ++k) {
            const GraphNode& node = graph.nodes[k];
            ASSERT_TRUE(index.contains(node.node->parent)) << "child before its parent";
            const GraphNode& parent = graph.nodes[index[node.node->parent]];
            index[node.node] = k;
            EXPECT_EQ(node.depth, parent.depth + 1);
            EXPECT_EQ(graph.edges[k - 1], (GraphEdge{parent.position, node.position, parent.radius, node.radius, parent.depth, node.tint}));
            if (node.depth > 1) {
                EXPECT_EQ(node.tint, parent.tint);
            }
            const double ring = 62 + (450 - 76 - 62) * std::pow(static_cast<double>(node.depth) / maxDepth, 0.82);
            EXPECT_NEAR(distance(node.position, {500, 450}), ring, 1e-9);
            EXPECT_TRUE(node.radius >= 7 && node.radius <= 30);
            const bool followedByChild = k + 1 < graph.nodes.size() && graph.nodes[k + 1].node->parent == node.node;
            EXPECT_EQ(node.isLeafCluster, !followedByChild);
        }
    }
}

} // namespace
} // namespace tallymere
