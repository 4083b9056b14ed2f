#include "layout/CirclePackLayout.h"
#include "layout/LayoutTrees.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <cmath>
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

TEST(PackBounds, SmallCanvasesRootsAndTheCap) {
    auto tree = treeFromText("r/\n  a 10\n");
    EXPECT_TRUE(CirclePackLayout::layout(*tree, {0, 0, 24, 500}, {}).empty());
    const auto small = CirclePackLayout::layout(*tree, {0, 0, 25, 500}, {});
    ASSERT_FALSE(small.empty());
    EXPECT_EQ(small[0].center, (Point{12.5, 250}));
    EXPECT_DOUBLE_EQ(small[0].radius, 8.5);
    EXPECT_FALSE(pack(*treeFromText("r/\n"), 300).at(0).hasChildren);
    const auto package = pack(*treeFromText("p.app/ package\n  x 10\n"), 300);
    ASSERT_EQ(package.size(), 1u);
    EXPECT_TRUE(package[0].hasChildren);
    Options capped;
    capped.maxCircles = 0;
    EXPECT_EQ(pack(*tree, 300, capped).size(), 1u); // the root is always emitted
}

TEST(PackGeometry, OneAndTwoChildrenAndTheSubdivisionThreshold) {
    auto records = pack(*treeFromText("r/\n  a 10\n"), 208); // R = 100
    ASSERT_EQ(records.size(), 2u);
    EXPECT_NEAR(distance(records[1].center, {104, 104}), 0, 1e-9);
    EXPECT_NEAR(records[1].radius, 97.5, 1e-9);

    records = pack(*treeFromText("r/\n  a 10\n  b 10\n"), 208);
    ASSERT_EQ(records.size(), 3u);
    for (int i : {1, 2}) {
        EXPECT_NEAR(records[i].radius, 97.5 / 2, 1e-9);
        EXPECT_NEAR(distance(records[i].center, {104, 104}), 97.5 / 2, 1e-9); // they touch at the centre
    }

    // R − padding of exactly 12 draws the child but does not subdivide it; 12.01 does.
    auto tree = treeFromText("r/\n  d/\n    x 10\n");
    records = pack(*tree, 37);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_FALSE(records[1].hasChildren);
    records = pack(*tree, 37.02);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_TRUE(records[1].hasChildren);
}

TEST(PackGeometry, ShareThresholdAndBranchNumbers) {
    auto tree = treeFromText("r/\n  big/\n    x 9000\n  mid 985\n  edge 15\n");
    std::vector<std::pair<std::string, int>> drawn;
    for (const LayoutCircle& c : pack(*tree, 1000))
        drawn.emplace_back(c.node->name(), c.tint);
    EXPECT_EQ(drawn, (std::vector<std::pair<std::string, int>>{{"r", 0}, {"big", 0}, {"x", 0}, {"mid", 1}, {"edge", 2}}));
    EXPECT_EQ(pack(*treeFromText("r/\n  big 9986\n  edge 14\n"), 1000).size(), 2u); // 0.14 % is dropped
}

TEST(PackSiblings, RandomGroupsNeverOverlapAndAreEnclosed) {
    std::mt19937 random(5);
    for (int round = 0; round < 40; ++round) {
        const int n = std::uniform_int_distribution<int>(1, 300)(random);
        std::vector<Circle> circles;
        for (int i = 0; i < n; ++i) circles.push_back({0, 0, std::pow(std::uniform_real_distribution<double>(0.001, 1)(random), 2)});
        std::sort(circles.begin(), circles.end(), [](const Circle& a, const Circle& b) { return a.r > b.r; });
        CirclePackLayout::packSiblings(circles);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < i; ++j)
                ASSERT_GE(std::hypot(circles[i].x - circles[j].x, circles[i].y - circles[j].y), circles[i].r + circles[j].r - 1e-6);
        const auto disc = CirclePackLayout::enclose(circles, round);
        for (const Circle& c : circles) ASSERT_LE(std::hypot(c.x - disc->x, c.y - disc->y) + c.r, disc->r + 1e-6);
        EXPECT_NEAR(CirclePackLayout::enclose(circles, round + 1000)->r, disc->r, 1e-6); // the shuffle does not matter
    }
    EXPECT_FALSE(CirclePackLayout::enclose({}, 1).has_value());
    // Equal circles: the first two touch at the origin, the third sits above them (y grows
    // downwards) and the fourth below, closing the chain.
    const double h = std::sqrt(3.0);
    std::vector<Circle> four(4, Circle{0, 0, 1});
    CirclePackLayout::packSiblings(four);
    const Circle expected[] = {{-1, 0, 1}, {1, 0, 1}, {0, -h, 1}, {0, h, 1}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(four[i].x, expected[i].x, 1e-12) << i;
        EXPECT_NEAR(four[i].y, expected[i].y, 1e-12) << i;
    }
    // The first three lie on an equilateral triangle of side 2.
    const Circle around = *CirclePackLayout::enclose(std::span(four).first(3), 9);
    EXPECT_NEAR(around.x, 0, 1e-9);
    EXPECT_NEAR(around.y, -h / 3, 1e-9);
    EXPECT_NEAR(around.r, 1 + 2 / h, 1e-9);
}

TEST(PackSiblings, TiedChainPairsTakeTheFirst) {
    // Four equal circles leave every chain pair as near the origin as the others; the fifth goes
    // beside the first pair (0 and 3), the sixth beside the next tied pair in chain order.
    const double h = std::sqrt(3.0);
    std::vector<Circle> six(6, Circle{0, 0, 1});
    CirclePackLayout::packSiblings(six);
    EXPECT_NEAR(six[4].x, -2, 1e-9);
    EXPECT_NEAR(six[4].y, h, 1e-9);
    EXPECT_NEAR(six[5].x, 2, 1e-9);
    EXPECT_NEAR(six[5].y, h, 1e-9);
}

TEST(PackGeometry, ACircleExactlyAtTheMinimumRadiusIsDrawn) {
    auto tree = treeFromText("r/\n  a 900\n  b 100\n");
    Options options;
    options.minRadius = 0;
    const auto all = pack(*tree, 400, options);
    ASSERT_EQ(all.size(), 3u);
    const double smallest = all[2].radius;
    options.minRadius = smallest;
    const auto atMinimum = pack(*tree, 400, options);
    ASSERT_EQ(atMinimum.size(), 3u);
    EXPECT_EQ(atMinimum[2].radius, smallest);
    options.minRadius = std::nextafter(smallest, 1e9);
    EXPECT_EQ(pack(*tree, 400, options).size(), 2u);
}

// Every circle lies inside its parent less the padding, siblings do not overlap, and within a
// sibling group circle areas follow bytes.
TEST(PackProperties, RandomTreesNestWithoutOverlap) {
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        auto tree = test::randomTree(seed, 1500);
        Options options;
        options.useAllocated = seed % 2 == 0;
        options.maxCircles = seed % 4 == 0 ? 30 : 12000;
        const auto records = CirclePackLayout::layout(*tree, {3, 7, 900, 700 + 20.0 * seed}, options);
        ASSERT_GT(records.size(), 5u);
        ASSERT_LE(records.size(), static_cast<std::size_t>(options.maxCircles));
        std::map<const FileNode*, const LayoutCircle*> own;
        std::map<const FileNode*, std::vector<const LayoutCircle*>> groups;
        for (const LayoutCircle& circle : records) {
            ASSERT_TRUE(own.emplace(circle.node, &circle).second);
            EXPECT_GE(circle.radius, options.minRadius);
            if (circle.depth == 0) continue;
            ASSERT_TRUE(own.contains(circle.node->parent));
            const LayoutCircle& parent = *own[circle.node->parent];
            EXPECT_EQ(circle.depth, parent.depth + 1);
            if (circle.depth > 1) {
                EXPECT_EQ(circle.tint, parent.tint);
            } else {
                EXPECT_EQ(circle.tint, test::sortedRank(*circle.node, options.useAllocated));
            }
            EXPECT_LE(distance(circle.center, parent.center) + circle.radius, parent.radius - options.padding + 1e-6);
            for (const LayoutCircle* sibling : groups[parent.node]) {
                EXPECT_GE(distance(circle.center, sibling->center), circle.radius + sibling->radius - 1e-4);
                EXPECT_NEAR(circle.radius * circle.radius / circle.node->bytes(options.useAllocated) /
                                (sibling->radius * sibling->radius / sibling->node->bytes(options.useAllocated)),
                            1, 1e-9);
            }
            groups[parent.node].push_back(&circle);
        }
    }
}

// Folders packed by an earlier layout are taken from the cache: every start of a walk through the
// tree, and back, lays out as a fresh layout does (up to the enclosing step's rounding), also when
// the cache is too small to keep a whole layout and forgets as it goes.
TEST(PackCache, LayoutsFromTheCacheMatchFreshOnes) {
    auto tree = test::randomTree(5, 3000);
    std::vector<const FileNode*> starts{tree.get()};
    for (const FileNode* child : tree->children())
        if (child->hasChildren()) starts.push_back(child);
    starts.push_back(tree.get());
    ASSERT_GT(starts.size(), 3u);
    for (std::size_t limit : {std::size_t(250'000), std::size_t(40)}) {
        SCOPED_TRACE(limit);
        CirclePackLayout::GroupCache cache(limit);
        for (const FileNode* start : starts) {
            const Rect area{0, 0, 800, 600};
            const auto fresh = CirclePackLayout::layout(*start, area, Options{});
            const auto cached = CirclePackLayout::layout(*start, area, Options{}, &cache);
            ASSERT_EQ(cached.size(), fresh.size());
            for (std::size_t i = 0; i < fresh.size(); ++i) {
                ASSERT_EQ(cached[i].node, fresh[i].node) << i;
                EXPECT_NEAR(cached[i].center.x, fresh[i].center.x, 1e-6);
                EXPECT_NEAR(cached[i].center.y, fresh[i].center.y, 1e-6);
                EXPECT_NEAR(cached[i].radius, fresh[i].radius, 1e-6);
                EXPECT_EQ(cached[i].depth, fresh[i].depth);
                EXPECT_EQ(cached[i].hasChildren, fresh[i].hasChildren);
                EXPECT_EQ(cached[i].tint, fresh[i].tint);
            }
            // Laid out again with every folder in the cache: exactly the same circles.
            if (limit > 100) {
                EXPECT_EQ(CirclePackLayout::layout(*start, area, Options{}, &cache), cached);
            }
        }
        if (limit < 100) {
            EXPECT_LT(cache.size(), 40u);
        }
        else EXPECT_GT(cache.size(), starts.size() - 1);
    }
}

} // namespace
} // namespace tallymere
