#include "layout/CirclePackLayout.h"
#include "layout/IcicleLayout.h"
#include "layout/LayoutTrees.h"
#include "layout/MindMapLayout.h"
#include "layout/SunburstLayout.h"
#include "layout/TreemapLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

namespace tallymere {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// Record counts of every engine for one tree and rectangle, with depth limits that do not cut a
// thousand-level chain; every coordinate must be finite.
struct Counts {
    std::size_t treemap, sunburst, icicle, pack, mindMap;
};

bool finite(std::initializer_list<double> values) {
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

template <class Records, class Check>
std::size_t finiteCount(const Records& records, Check&& isFinite) {
    EXPECT_TRUE(std::all_of(records.begin(), records.end(), isFinite));
    return records.size();
}

Counts layAll(const FileNode& root, Rect area) {
    TreemapLayout::Options treemap;
    treemap.maxDepth = treemap.maxTiles = 5000;
    SunburstLayout::Options sunburst;
    sunburst.maxDepth = 1000;
    IcicleLayout::Options icicle;
    icicle.maxDepth = 5000;
    icicle.rowHeight = 20;
    CirclePackLayout::Options pack;
    pack.maxDepth = 5000;
    pack.padding = 0.01;
    MindMapLayout::Options mindMap;
    mindMap.maxDepth = 5000;
    mindMap.branching = {1};
    return {
        finiteCount(TreemapLayout::layout(root, area, treemap), [](const LayoutTile& t) { return t.rect.isFinite(); }),
        finiteCount(SunburstLayout::layout(root, std::min(area.width, area.height) / 2, sunburst),
                    [](const LayoutArc& a) { return finite({a.startAngle, a.endAngle, a.innerRadius, a.outerRadius}); }),
        finiteCount(IcicleLayout::layout(root, area, icicle), [](const LayoutTile& t) { return t.rect.isFinite(); }),
        finiteCount(CirclePackLayout::layout(root, area, pack),
                    [](const LayoutCircle& c) { return finite({c.center.x, c.center.y, c.radius}); }),
        finiteCount(MindMapLayout::layout(root, area, mindMap).nodes,
                    [](const GraphNode& n) { return finite({n.position.x, n.position.y, n.radius, n.angle}); }),
    };
}

TEST(LayoutRobustness, AThousandLevelChainIsLaidOutWholeWithoutRecursion) {
    auto deep = test::chainTree(1000, 4096);
    const Counts counts = layAll(*deep, {0, 0, 1e5, 1e6});
    EXPECT_EQ(counts.treemap, 1001u);
    EXPECT_EQ(counts.sunburst, 1001u);
    EXPECT_EQ(counts.icicle, 1001u);
    EXPECT_EQ(counts.pack, 1001u);
    EXPECT_EQ(counts.mindMap, 1001u);
}

TEST(LayoutRobustness, TwoHundredThousandChildrenWithOddSizes) {
    std::vector<std::int64_t> sizes(200000);
    for (std::size_t i = 0; i < sizes.size(); ++i) sizes[i] = i % 7 == 0 ? -3 : static_cast<std::int64_t>(i % 1000);
    for (std::size_t i = 1; i < 40; i += 2) sizes[i] = 4'000'000'000'000'000; // 4 PB each: the rest is noise
    auto wide = test::folderOf(sizes);
    const Counts counts = layAll(*wide, {0, 0, 1400, 900});
    EXPECT_EQ(counts.treemap, 21u); // the giants; the rest is far below a pixel
    EXPECT_EQ(counts.sunburst, 21u);
    EXPECT_EQ(counts.icicle, 21u);
    EXPECT_EQ(counts.pack, 21u);
    EXPECT_EQ(counts.mindMap, 2u); // branching 1
}

TEST(LayoutRobustness, BrokenAndTinyRectanglesGiveEmptyLayouts) {
    auto tree = test::randomTree(4, 500);
    for (Rect area : {Rect{0, 0, nan, 500}, Rect{nan, 0, 500, 500}, Rect{0, 0, inf, 500}, Rect{0, 0, -400, -400},
                      Rect{0, 0, 0.5, 0.5}}) {
        const Counts counts = layAll(*tree, area);
        EXPECT_EQ(counts.treemap + counts.icicle + counts.pack + counts.mindMap, 0u);
    }
    // The sunburst takes only a radius.
    for (double radius : {nan, inf, -inf, 4.0}) EXPECT_TRUE(SunburstLayout::layout(*tree, radius, {}).empty());
}

TEST(LayoutRobustness, EmptyAndZeroSizedRootsGiveOneRecord) {
    for (auto sizes : {std::vector<std::int64_t>{}, std::vector<std::int64_t>{0, 0, -5}}) {
        auto folder = test::folderOf(sizes);
        const Counts counts = layAll(*folder, {0, 0, 800, 600});
        EXPECT_EQ(counts.treemap, 1u);
        EXPECT_EQ(counts.sunburst, 1u);
        EXPECT_EQ(counts.icicle, 1u);
        EXPECT_EQ(counts.pack, 1u);
        EXPECT_EQ(counts.mindMap, 1u);
    }
}

} // namespace
} // namespace tallymere
