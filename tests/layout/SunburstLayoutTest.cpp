#include "layout/LayoutTrees.h"
#include "layout/SunburstLayout.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <numbers>

namespace tallymere {
namespace {

using SunburstLayout::Options;
using test::treeFromText;

constexpr double fullTurn = 2 * std::numbers::pi;

std::map<std::string, const LayoutArc*> byName(const std::vector<LayoutArc>& arcs) {
    std::map<std::string, const LayoutArc*> named;
    for (const LayoutArc& arc : arcs) named[std::string(arc.node->name())] = &arc;
    return named;
}

TEST(SunburstRings, DiscAndRingRadii) {
    auto tree = treeFromText("r/\n  a/\n    b 10\n");
    EXPECT_TRUE(SunburstLayout::layout(*tree, 4, {}).empty());
    EXPECT_TRUE(SunburstLayout::layout(*tree, std::numeric_limits<double>::quiet_NaN(), {}).empty());
    EXPECT_TRUE(SunburstLayout::layout(*tree, std::numeric_limits<double>::infinity(), {}).empty());

    const auto arcs = SunburstLayout::layout(*tree, 200, {});
    ASSERT_EQ(arcs.size(), 3u);
    EXPECT_EQ(arcs[0], (LayoutArc{tree.get(), 0, fullTurn, 0, 34, 0, 0}));
    const double ring = (200 - 34) / 7.0;
    EXPECT_NEAR(arcs[1].innerRadius, 34, 1e-12);
    EXPECT_NEAR(arcs[1].outerRadius, 56.214, 1e-3);
    EXPECT_NEAR(arcs[2].innerRadius, 34 + ring, 1e-12);
    EXPECT_NEAR(arcs[2].outerRadius, 34 + 2 * ring - 1.5, 1e-12);
    EXPECT_DOUBLE_EQ(arcs[1].endAngle - arcs[1].startAngle, fullTurn);

    Options gapped;
    gapped.ringGap = 500;
    for (const LayoutArc& arc : SunburstLayout::layout(*tree, 200, gapped))
        if (arc.depth > 0) EXPECT_EQ(arc.innerRadius, arc.outerRadius);
}

TEST(SunburstRings, DepthLimitAndNarrowChildren) {
    auto tree = treeFromText("r/\n  a/\n    b/\n      c 10\n  zero 0\n  tiny 1\n  pkg.app/ package\n    in 5\n");
    Options options;
    options.maxDepth = 2;
    const auto arcs = SunburstLayout::layout(*tree, 300, options);
    const auto named = byName(arcs);
    EXPECT_TRUE(named.contains("b")); // the deepest ring is drawn, nothing below it
    EXPECT_FALSE(named.contains("c"));
    EXPECT_FALSE(named.contains("zero"));
    EXPECT_FALSE(named.contains("in"));
    // 1 byte of 16 leaves a visible arc; 1 byte of ten million leaves an empty wedge.
    EXPECT_TRUE(named.contains("tiny"));

    auto skewed = treeFromText("r/\n  big 10000000\n  crumb 1\n");
    const auto wedge = SunburstLayout::layout(*skewed, 300, {});
    ASSERT_EQ(wedge.size(), 2u);
    EXPECT_NEAR(wedge[1].endAngle, fullTurn * 10000000.0 / 10000001.0, 1e-12);
}

TEST(SunburstTints, FirstRingNumbersFollowSizeAndSkipEmptyChildren) {
    auto tree = treeFromText("r/\n  zero 0\n  s/\n    x 5\n  m 30\n  l/\n    y 60\n");
    const auto arcs = SunburstLayout::layout(*tree, 300, {});
    const auto named = byName(arcs);
    EXPECT_EQ(named.at("l")->tint, 0);
    EXPECT_EQ(named.at("m")->tint, 1);
    EXPECT_EQ(named.at("s")->tint, 2);
    EXPECT_EQ(named.at("y")->tint, 0);
    EXPECT_EQ(named.at("x")->tint, 2);
}

TEST(SunburstCap, NoNodeStartsItsChildrenPastTheCap) {
    auto tree = test::randomTree(3, 4000, 15);
    Options options;
    options.maxArcs = 40;
    const auto arcs = SunburstLayout::layout(*tree, 400, options);
    std::map<const FileNode*, std::size_t> index;
    for (std::size_t i = 0; i < arcs.size(); ++i) {
        index[arcs[i].node] = i;
        if (i == 0) continue;
        // The parent's own arc was appended while the count was below the cap.
        EXPECT_LT(index.at(arcs[i].node->parent) + 1, 40u);
    }
    // Only the siblings of running rings go past the cap.
    EXPECT_LT(arcs.size(), 40u + 3 * 15);
}

// Children's arcs lie in their parent's ring-by-ring span, follow one another without gaps from the
// parent's start, and the wedge left at the end is exactly the share of the children too narrow to
// draw.
TEST(SunburstProperties, ChildrenTileTheirParentsAngle) {
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        auto tree = test::randomTree(seed, 2000);
        Options options;
        options.useAllocated = seed % 2 == 1;
        options.maxDepth = 3 + static_cast<int>(seed % 6);
        const double radius = 150 + 20 * seed;
        const auto arcs = SunburstLayout::layout(*tree, radius, options);
        ASSERT_FALSE(arcs.empty());
        const double inner = radius * options.innerRadiusFraction;
        const double ring = (radius - inner) / options.maxDepth;
        std::map<const FileNode*, std::vector<const LayoutArc*>> children;
        std::map<const FileNode*, const LayoutArc*> own;
        for (const LayoutArc& arc : arcs) {
            ASSERT_FALSE(own.contains(arc.node));
            own[arc.node] = &arc;
            ASSERT_GT(arc.endAngle, arc.startAngle);
            if (arc.depth == 0) continue;
            ASSERT_TRUE(own.contains(arc.node->parent));
            EXPECT_EQ(arc.depth, own[arc.node->parent]->depth + 1);
            EXPECT_NEAR(arc.innerRadius, inner + ring * (arc.depth - 1), 1e-9);
            EXPECT_NEAR(arc.outerRadius, arc.innerRadius + ring - options.ringGap, 1e-9);
            EXPECT_GE(arc.endAngle - arc.startAngle, options.minSweep);
            children[arc.node->parent].push_back(&arc);
        }
        for (const auto& [parent, kids] : children) {
            const LayoutArc& span = *own[parent];
            double total = 0, drawn = 0;
            for (const FileNode* child : parent->children()) total += std::max<double>(0, child->bytes(options.useAllocated));
            EXPECT_NEAR(kids.front()->startAngle, span.startAngle, 1e-12);
            for (std::size_t k = 0; k < kids.size(); ++k) {
                if (k > 0) EXPECT_NEAR(kids[k]->startAngle, kids[k - 1]->endAngle, 1e-12);
                if (k > 0) EXPECT_GE(kids[k - 1]->node->bytes(options.useAllocated), kids[k]->node->bytes(options.useAllocated));
                drawn += static_cast<double>(kids[k]->node->bytes(options.useAllocated));
            }
            const double sweep = span.endAngle - span.startAngle;
            EXPECT_NEAR(kids.back()->endAngle - span.startAngle, sweep * drawn / total, 1e-9);
            EXPECT_LE(kids.back()->endAngle, span.endAngle + 1e-9);
            // Whatever is left over is made of children narrower than the minimum.
            for (const FileNode* child : parent->children())
                if (!own.contains(child) && child->bytes(options.useAllocated) > 0)
                    EXPECT_LT(sweep * child->bytes(options.useAllocated) / total, options.minSweep);
        }
    }
}

TEST(SunburstRobustness, DeepChainsAndHugeFolders) {
    auto deep = test::chainTree(1000, 10);
    Options options;
    options.maxDepth = 1000;
    auto arcs = SunburstLayout::layout(*deep, 5000, options);
    ASSERT_EQ(arcs.size(), 1001u);
    EXPECT_EQ(arcs.back().depth, 1000);
    EXPECT_NEAR(arcs.back().outerRadius, 5000 - options.ringGap, 1e-6);

    std::vector<std::int64_t> sizes(200000, 1);
    sizes[0] = -7;
    sizes[1] = 100000000;
    const auto folder = test::folderOf(sizes);
    arcs = SunburstLayout::layout(*folder, 400, {});
    ASSERT_EQ(arcs.size(), 2u); // the big file; the ones cannot reach the minimum sweep
    EXPECT_TRUE(std::isfinite(arcs[1].endAngle));
}

} // namespace
} // namespace tallymere
