#include "layout/HitTest.h"
#include "layout/IcicleLayout.h"
#include "layout/LayoutRecords.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <numbers>

namespace tallymere {
namespace {

using test::treeFromText;

constexpr double pi = std::numbers::pi;

struct Nodes {
    std::shared_ptr<FileNode> tree = treeFromText("r/\n  a/\n    x 1\n  b 1\n");
    const FileNode* root = tree.get();
    const FileNode* a = tree->children()[0];
    const FileNode* x = a->children()[0];
    const FileNode* b = tree->children()[1];
};

TEST(TileHits, HalfOpenEdgesAndDeepestTileWins) {
    Nodes n;
    const std::vector<LayoutTile> tiles{{n.root, {0, 0, 100, 100}}, {n.a, {10, 10, 40, 80}, 1}, {n.x, {20, 20, 10, 10}, 2},
                                        {n.b, {50, 10, 40, 80}, 1}};
    EXPECT_EQ(HitTest::tileAt(tiles, {20, 20}), n.x);
    EXPECT_EQ(HitTest::tileAt(tiles, {30, 25}), n.a); // right edge of x is outside it
    EXPECT_EQ(HitTest::tileAt(tiles, {50, 50}), n.b); // the shared edge belongs to the right tile
    EXPECT_EQ(HitTest::tileAt(tiles, {5, 5}), n.root);
    EXPECT_EQ(HitTest::tileAt(tiles, {100, 50}), nullptr);
    EXPECT_EQ(HitTest::tileAt({}, {5, 5}), nullptr);

    // The gap under an icicle row hits nothing.
    IcicleLayout::Options options;
    options.rowHeight = 20;
    const auto rows = IcicleLayout::layout(*n.tree, {0, 0, 200, 20000}, options);
    EXPECT_EQ(HitTest::tileAt(rows, {10, 18.9}), n.root);
    EXPECT_EQ(HitTest::tileAt(rows, {10, 19.5}), nullptr);
    EXPECT_EQ(HitTest::tileAt(rows, {10, 20}), n.a);
}

TEST(ArcHits, RingsAnglesAndTheTwelveOClockCrossing) {
    Nodes n;
    const Point c{100, 100};
    const std::vector<LayoutArc> arcs{{n.root, 0, 2 * pi, 0, 30},
                                      {n.a, 0, pi / 2, 30, 50, 1},
                                      {n.b, pi / 2, pi, 30, 50, 1},
                                      {n.x, 6.0, 6.6, 55, 70, 2}};
    EXPECT_EQ(HitTest::arcAt(arcs, c, c), nullptr); // the central disc never hits
    EXPECT_EQ(HitTest::arcAt(arcs, c, {100, 80}), nullptr);
    EXPECT_EQ(HitTest::arcAt(arcs, c, pointAtAngle(c, 40, 0.3)), n.a);
    EXPECT_EQ(HitTest::arcAt(arcs, c, {100, 70}), n.a);  // inner radius, at twelve o'clock
    EXPECT_EQ(HitTest::arcAt(arcs, c, {100, 50}), n.a);  // outer radius
    EXPECT_EQ(HitTest::arcAt(arcs, c, {140, 100}), n.b); // shared edge at three o'clock: the later arc
    EXPECT_EQ(HitTest::arcAt(arcs, c, pointAtAngle(c, 40, 4.0)), nullptr);
    EXPECT_EQ(HitTest::arcAt(arcs, c, pointAtAngle(c, 60, 6.2)), n.x);
    EXPECT_EQ(HitTest::arcAt(arcs, c, pointAtAngle(c, 60, 0.1)), n.x);
    EXPECT_EQ(HitTest::arcAt(arcs, c, pointAtAngle(c, 60, 0.4)), nullptr);
}

TEST(CircleHits, DeepestCircleWinsAndTheRootNeverHits) {
    Nodes n;
    const std::vector<LayoutCircle> circles{{n.root, {0, 0}, 100}, {n.a, {0, 0}, 50, 1}, {n.x, {10, 0}, 10, 2},
                                            {n.b, {40, 0}, 20, 1}};
    EXPECT_EQ(HitTest::circleAt(circles, {0, 90}), nullptr);
    EXPECT_EQ(HitTest::circleAt(circles, {20, 0}), n.x);  // on the rim of x
    EXPECT_EQ(HitTest::circleAt(circles, {45, 0}), n.a);  // a and b overlap here: the first of depth 1
    EXPECT_EQ(HitTest::circleAt(circles, {59, 0}), n.b);
    EXPECT_EQ(HitTest::circleAt({}, {0, 0}), nullptr);
}

TEST(GraphHits, FivePointsOfSlackAndTheDeepestDisc) {
    Nodes n;
    GraphLayout graph;
    graph.nodes = {{n.root, {0, 0}, 20}, {n.a, {30, 0}, 10, 1}, {n.x, {40, 0}, 4, 2}, {n.b, {30, 0}, 10, 1}};
    EXPECT_EQ(HitTest::graphNodeAt(graph, {0, 24}), n.root);
    EXPECT_EQ(HitTest::graphNodeAt(graph, {30, -15}), n.a); // rim plus 5, first of equal depth
    EXPECT_EQ(HitTest::graphNodeAt(graph, {30, -15.1}), nullptr);
    EXPECT_EQ(HitTest::graphNodeAt(graph, {38, 0}), n.x);
    EXPECT_EQ(HitTest::graphNodeAt(GraphLayout{}, {0, 0}), nullptr);
}

TEST(RecordLookup, FirstRecordOfANodeByIdentity) {
    Nodes n;
    const std::vector<LayoutTile> tiles{{n.root}, {n.a, {}, 1, false, 0, 3}, {n.a, {}, 1}};
    EXPECT_EQ(recordFor(tiles, n.a), &tiles[1]);
    EXPECT_EQ(recordFor(tiles, n.b), nullptr);
}

} // namespace
} // namespace tallymere
