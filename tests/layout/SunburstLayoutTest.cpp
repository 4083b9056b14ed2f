#include "layout/LayoutTrees.h"
#include "layout/SunburstLayout.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>

namespace tallymere {
namespace {

using SunburstLayout::Options;
using test::treeFromText;

constexpr double fullTurn = 2 * std::numbers::pi;

TEST(SunburstRings, DiscAndRingRadii) {
    auto tree = treeFromText("r/\n  a/\n    b 10\n");
    const auto arcs = SunburstLayout::layout(*tree, 200, {});
    ASSERT_EQ(arcs.size(), 3u);
    EXPECT_EQ(arcs[0], (LayoutArc{tree.get(), 0, fullTurn, 0, 34, 0, 0}));
    EXPECT_NEAR(arcs[1].outerRadius, 56.214, 1e-3); // rings about 23.71 apart, less the gap
    EXPECT_NEAR(arcs[2].innerRadius, 34 + (200 - 34) / 7.0, 1e-12);
    Options gapped;
    gapped.ringGap = 500;
    EXPECT_EQ(SunburstLayout::layout(*tree, 200, gapped)[2].outerRadius, arcs[2].innerRadius);
}

TEST(SunburstRings, DepthLimitEmptyAndNarrowChildren) {
    auto tree = treeFromText("r/\n  a/\n    b/\n      c 10\n  zero 0\n  pkg.app/ package\n    in 5\n");
    Options options;
    options.maxDepth = 2;
    std::vector<std::string> names;
    for (const LayoutArc& arc : SunburstLayout::layout(*tree, 300, options)) names.emplace_back(arc.node->name());
    EXPECT_EQ(names, (std::vector<std::string>{"r", "a", "b", "pkg.app"}));
    // One byte in ten million leaves an empty wedge after the big file.
    auto skewed = treeFromText("r/\n  big 10000000\n  crumb 1\n");
    const auto wedge = SunburstLayout::layout(*skewed, 300, {});
    ASSERT_EQ(wedge.size(), 2u);
    EXPECT_NEAR(wedge[1].endAngle, fullTurn * 10000000.0 / 10000001.0, 1e-12);
}

TEST(SunburstRings, ASweepExactlyAtTheMinimumGetsItsArc) {
    // Two halves of the full turn: each sweeps exactly pi.
    auto tree = treeFromText("r/\n  a 1\n  b 1\n");
    Options options;
    options.minSweep = std::numbers::pi;
    EXPECT_EQ(SunburstLayout::layout(*tree, 200, options).size(), 3u);
    options.minSweep = std::nextafter(std::numbers::pi, 4.0);
    EXPECT_EQ(SunburstLayout::layout(*tree, 200, options).size(), 1u) << "only the centre";
}

TEST(SunburstCap, NoNodeStartsItsChildrenPastTheCap) {
    auto tree = test::randomTree(3, 4000, 15);
    Options options;
    options.maxArcs = 40;
    const auto arcs = SunburstLayout::layout(*tree, 400, options);
    std::map<const FileNode*, std::size_t> index;
    for (std::size_t i = 0; i < arcs.size(); ++i) {
        index[arcs[i].node] = i;
        // The parent's own arc was appended while the count was below the cap.
        if (i > 0) {
            EXPECT_LT(index.at(arcs[i].node->parent) + 1, 40u);
        }
    }
    EXPECT_GT(arcs.size(), 40u);      // the siblings of running rings go past it...
    EXPECT_LT(arcs.size(), 40u + 45); // ...but only they
}

// Children's arcs follow one another without gaps from their parent's start, largest first, in the
// ring of their depth; the wedge left at the end is the share of the children too narrow to draw.
TEST(SunburstProperties, ChildrenTileTheirParentsAngle) {
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        auto tree = test::randomTree(seed, 2000);
        Options options;
        options.useAllocated = seed % 2 == 1;
        options.maxDepth = 3 + static_cast<int>(seed % 6);
        const double radius = 150 + 20 * seed;
        const double inner = radius * options.innerRadiusFraction;
        const double ring = (radius - inner) / options.maxDepth;
        std::map<const FileNode*, const LayoutArc*> own;
        std::map<const FileNode*, double> cursor;
        const auto arcs = SunburstLayout::layout(*tree, radius, options);
        for (const LayoutArc& arc : arcs) {
            ASSERT_TRUE(own.emplace(arc.node, &arc).second);
            if (arc.depth == 0) continue;
            ASSERT_TRUE(own.contains(arc.node->parent));
            const LayoutArc& parent = *own[arc.node->parent];
            EXPECT_EQ(arc.depth, parent.depth + 1);
            if (arc.depth > 1) {
                EXPECT_EQ(arc.tint, parent.tint);
            } else {
                EXPECT_EQ(arc.tint, test::sortedRank(*arc.node, options.useAllocated));
            }
            EXPECT_NEAR(arc.innerRadius, inner + ring * (arc.depth - 1), 1e-9);
            EXPECT_NEAR(arc.outerRadius, arc.innerRadius + ring - options.ringGap, 1e-9);
            const double total = test::positiveSum(*parent.node, options.useAllocated);
            const double sweep = parent.endAngle - parent.startAngle;
            EXPECT_NEAR(arc.endAngle - arc.startAngle, sweep * arc.node->bytes(options.useAllocated) / total, 1e-12);
            double& at = cursor.try_emplace(parent.node, parent.startAngle).first->second;
            EXPECT_NEAR(arc.startAngle, at, 1e-12);
            at = arc.endAngle;
            EXPECT_LE(arc.endAngle, parent.endAngle + 1e-9);
        }
        // A child with a positive key goes undrawn only for being too narrow.
        for (const auto& [node, arc] : own) {
            if (node->isPackage || arc->depth >= options.maxDepth) continue;
            for (const FileNode* child : node->children()) {
                if (own.contains(child) || child->bytes(options.useAllocated) <= 0) continue;
                EXPECT_LT((arc->endAngle - arc->startAngle) * child->bytes(options.useAllocated) /
                              test::positiveSum(*node, options.useAllocated),
                          options.minSweep);
            }
        }
    }
}

} // namespace
} // namespace tallymere
