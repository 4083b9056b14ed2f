#include "layout/CirclePackLayout.h"
#include "layout/LayoutTrees.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <random>

namespace tallymere {
namespace {

using CirclePackLayout::Circle;
using CirclePackLayout::Options;
using test::treeFromText;

double distance(Point a, Point b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

std::vector<LayoutCircle> pack(const FileNode& root, double side, Options options = {}) {
    return CirclePackLayout::layout(root, {0, 0, side, side}, options);
}

TEST(PackBounds, SmallCanvasesAndBareRoots) {
    auto tree = treeFromText("r/\n  a 10\n");
    EXPECT_TRUE(CirclePackLayout::layout(*tree, {0, 0, 24, 500}, {}).empty());
    EXPECT_TRUE(CirclePackLayout::layout(*tree, {0, 0, std::numeric_limits<double>::infinity(), 500}, {}).empty());
    const auto small = CirclePackLayout::layout(*tree, {0, 0, 25, 500}, {});
    ASSERT_FALSE(small.empty());
    EXPECT_EQ(small[0].center, (Point{12.5, 250}));
    EXPECT_DOUBLE_EQ(small[0].radius, 8.5);

    auto file = treeFromText("r/\n");
    auto records = pack(*file, 300);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_FALSE(records[0].hasChildren);

    auto package = treeFromText("p.app/ package\n  x 10\n");
    records = pack(*package, 300);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].hasChildren);

    Options capped;
    capped.maxCircles = 1;
    EXPECT_EQ(pack(*tree, 300, capped).size(), 1u);
    capped.maxCircles = 0;
    EXPECT_EQ(pack(*tree, 300, capped).size(), 1u);
}

TEST(PackGeometry, OneAndTwoChildren) {
    auto one = treeFromText("r/\n  a 10\n");
    auto records = pack(*one, 208); // R = 100
    ASSERT_EQ(records.size(), 2u);
    EXPECT_NEAR(records[1].center.x, 104, 1e-9);
    EXPECT_NEAR(records[1].center.y, 104, 1e-9);
    EXPECT_NEAR(records[1].radius, 97.5, 1e-9);

    auto two = treeFromText("r/\n  a 10\n  b 10\n");
    records = pack(*two, 208);
    ASSERT_EQ(records.size(), 3u);
    for (int i : {1, 2}) {
        EXPECT_NEAR(records[i].radius, 97.5 / 2, 1e-9);
        EXPECT_NEAR(records[i].center.y, 104, 1e-9);
        EXPECT_NEAR(distance(records[i].center, {104, 104}), 97.5 / 2, 1e-9); // they touch at the centre
    }
    EXPECT_EQ(records[1].node->name(), "a");
    EXPECT_LT(records[1].center.x, records[2].center.x);
}

TEST(PackFilter, ShareThresholdAndBranchNumbers) {
    auto kept = treeFromText("r/\n  big/\n    x 9000\n  mid 985\n  edge 15\n");
    auto records = pack(*kept, 1000);
    std::map<std::string, const LayoutCircle*> named;
    for (const LayoutCircle& circle : records) named[std::string(circle.node->name())] = &circle;
    ASSERT_TRUE(named.contains("edge"));
    EXPECT_EQ(named["big"]->tint, 0);
    EXPECT_EQ(named["x"]->tint, 0);
    EXPECT_EQ(named["mid"]->tint, 1);
    EXPECT_EQ(named["edge"]->tint, 2);

    auto dropped = treeFromText("r/\n  big 9986\n  edge 14\n");
    EXPECT_EQ(pack(*dropped, 1000).size(), 2u);
}

TEST(PackFilter, SubdivisionStartsAboveTwelvePoints) {
    auto tree = treeFromText("r/\n  d/\n    x 10\n");
    // R − padding = 12 exactly: the child is drawn but not subdivided.
    auto records = pack(*tree, 37);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_DOUBLE_EQ(records[1].radius, 12);
    EXPECT_FALSE(records[1].hasChildren);
    records = pack(*tree, 37.02);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_TRUE(records[1].hasChildren);
    EXPECT_NEAR(records[2].radius, 12.01 - 2.5, 1e-9);
}

TEST(PackSiblings, RandomGroupsNeverOverlap) {
    std::mt19937 random(5);
    for (int round = 0; round < 40; ++round) {
        const int n = std::uniform_int_distribution<int>(1, 300)(random);
        std::vector<Circle> circles;
        for (int i = 0; i < n; ++i) circles.push_back({0, 0, std::pow(std::uniform_real_distribution<double>(0.001, 1)(random), 2)});
        std::sort(circles.begin(), circles.end(), [](const Circle& a, const Circle& b) { return a.r > b.r; });
        CirclePackLayout::packSiblings(circles);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < i; ++j)
                ASSERT_GE(std::hypot(circles[i].x - circles[j].x, circles[i].y - circles[j].y),
                          circles[i].r + circles[j].r - 1e-6)
                    << round << ": " << i << " overlaps " << j;

        const auto disc = CirclePackLayout::enclose(circles, round);
        ASSERT_TRUE(disc.has_value());
        for (const Circle& c : circles) ASSERT_LE(std::hypot(c.x - disc->x, c.y - disc->y) + c.r, disc->r + 1e-6);
        // The shuffle does not change the answer beyond rounding.
        const auto again = CirclePackLayout::enclose(circles, round + 1000);
        EXPECT_NEAR(again->r, disc->r, 1e-6);
        EXPECT_NEAR(again->x, disc->x, 1e-6);
    }
}

TEST(PackSiblings, KnownEnclosures) {
    EXPECT_FALSE(CirclePackLayout::enclose({}, 1).has_value());
    const std::vector<Circle> pair{{-1, 0, 1}, {1, 0, 1}};
    const Circle both = *CirclePackLayout::enclose(pair, 1);
    EXPECT_NEAR(both.x, 0, 1e-12);
    EXPECT_NEAR(both.r, 2, 1e-12);
    const std::vector<Circle> nested{{0, 0, 5}, {1, 1, 1}, {-2, 0, 0.5}};
    EXPECT_EQ(*CirclePackLayout::enclose(nested, 3), (Circle{0, 0, 5}));
    // Three unit circles on an equilateral triangle of side 2.
    const double h = std::sqrt(3.0);
    const std::vector<Circle> triangle{{-1, 0, 1}, {1, 0, 1}, {0, h, 1}};
    const Circle around = *CirclePackLayout::enclose(triangle, 9);
    EXPECT_NEAR(around.y, h / 3, 1e-9);
    EXPECT_NEAR(around.r, 1 + 2 / h, 1e-9);
}

// Every circle lies inside its parent less the padding, siblings do not overlap, and within a
// sibling group each circle's area is proportional to its bytes.
TEST(PackProperties, RandomTreesNestWithoutOverlap) {
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        auto tree = test::randomTree(seed, 1500);
        Options options;
        options.useAllocated = seed % 2 == 0;
        const auto records = CirclePackLayout::layout(*tree, {3, 7, 900, 700 + 20.0 * seed}, options);
        ASSERT_GT(records.size(), 5u);
        std::map<const FileNode*, const LayoutCircle*> own;
        std::map<const FileNode*, std::vector<const LayoutCircle*>> groups;
        for (const LayoutCircle& circle : records) {
            ASSERT_FALSE(own.contains(circle.node));
            own[circle.node] = &circle;
            ASSERT_TRUE(std::isfinite(circle.center.x) && std::isfinite(circle.center.y));
            EXPECT_GE(circle.radius, options.minRadius);
            EXPECT_LE(circle.depth, options.maxDepth);
            if (circle.depth == 0) continue;
            ASSERT_TRUE(own.contains(circle.node->parent));
            const LayoutCircle& parent = *own[circle.node->parent];
            EXPECT_GT(parent.radius, 12);
            EXPECT_EQ(circle.depth, parent.depth + 1);
            if (circle.depth > 1) EXPECT_EQ(circle.tint, parent.tint);
            EXPECT_LE(distance(circle.center, parent.center) + circle.radius, parent.radius - options.padding + 1e-6);
            for (const LayoutCircle* sibling : groups[parent.node]) {
                EXPECT_GE(distance(circle.center, sibling->center), circle.radius + sibling->radius - 1e-4);
                const double ratio = (circle.radius * circle.radius / circle.node->bytes(options.useAllocated)) /
                                     (sibling->radius * sibling->radius / sibling->node->bytes(options.useAllocated));
                EXPECT_NEAR(ratio, 1, 1e-9);
            }
            groups[parent.node].push_back(&circle);
        }
    }
}

TEST(PackRobustness, DeepChainsHugeFoldersAndTheCap) {
    auto deep = test::chainTree(1000, 10);
    Options options;
    options.maxDepth = 5000;
    options.padding = 0.01;
    const auto chain = pack(*deep, 1008, options);
    ASSERT_EQ(chain.size(), 1001u);
    EXPECT_NEAR(chain.back().radius, 500 - 1000 * 0.01, 1e-6);

    std::vector<std::int64_t> sizes(200000, 1);
    for (std::size_t i = 0; i < 300; ++i) sizes[i] = 1'000'000 + static_cast<std::int64_t>(i);
    sizes[400] = -5;
    const auto folder = test::folderOf(sizes);
    const auto wide = pack(*folder, 900);
    ASSERT_EQ(wide.size(), 301u);
    for (const LayoutCircle& circle : wide) ASSERT_TRUE(std::isfinite(circle.radius));

    auto tree = test::randomTree(21, 6000, 30);
    Options capped;
    capped.maxCircles = 25;
    EXPECT_LE(pack(*tree, 2000, capped).size(), 25u);
}

} // namespace
} // namespace tallymere
