// The circle-pack view: where bubbles and labels land, what redraws without a new layout, and the
// rings over hovered and selected bubbles, checked on offscreen renders.
#include "views/viz/PackCanvas.h"
#include "views/viz/PackView.h"
#include "views/viz/VizTestSupport.h"

#include <QPainter>

#include <gtest/gtest.h>

using namespace tallymere;
using namespace tallymere::test;

namespace {

class PackViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { loadFonts(); }
    AppState state{vizStore()};
    std::shared_ptr<FileNode> tree = treeFromText("root/\n"
                                                  "  big/\n"
                                                  "    x.mp4 500000\n"
                                                  "    y.mp4 300000\n"
                                                  "  file.dat 200000\n");
};

QPoint at(Point p) { return {int(std::lround(p.x)), int(std::lround(p.y))}; }

// Labels of hand-made bubbles, drawn on a scratch image.
std::vector<CanvasLabel> labelsOf(const std::vector<LayoutCircle>& circles) {
    QImage image(1200, 700, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    return PackCanvas::paint(painter, circles, Theme(), true, ColorMode::type);
}

TEST_F(PackViewTest, BubblesFillTheCanvasInsideTheMargin) {
    state.setFocus(tree);
    state.setShowLabels(false); // only the bubbles' own pixels
    PackView view(state);
    showAt(view, 432, 432);
    ASSERT_EQ(view.canvas()->geometry(), QRect(16, 16, 400, 400));
    const auto& circles = view.circles();
    ASSERT_EQ(circles.size(), 5u); // root, big, x, y, file
    EXPECT_EQ(circles[0].center, (Point{200, 200}));
    EXPECT_DOUBLE_EQ(circles[0].radius, 196);

    const QImage image = renderCanvas(*view.canvas());
    EXPECT_EQ(qAlpha(image.pixel(3, 3)), 0) << "outside the root circle nothing is painted";
    const Theme theme;
    // Just inside the root's rim, away from every child: the root's own surface.
    EXPECT_TRUE(near(image.pixelColor(200, 5), theme.surface));
    // A leaf bubble is filled with its colour, not the root's surface.
    const LayoutCircle& file = *recordFor(circles, findNode(*tree, "file.dat"));
    const QColor fill = image.pixelColor(at(file.center));
    EXPECT_FALSE(near(fill, theme.surface, 12));
    EXPECT_EQ(fill.alpha(), 255);

    // A folder's bubble is its colour washed at 0.26 over the root's surface, around its children.
    const LayoutCircle& big = *recordFor(circles, findNode(*tree, "big"));
    const QColor c = theme.nodeColor(*big.node, big.depth, big.tint, state.colorMode());
    const QColor wash(int(c.red() * 0.26 + theme.surface.red() * 0.74),
                      int(c.green() * 0.26 + theme.surface.green() * 0.74),
                      int(c.blue() * 0.26 + theme.surface.blue() * 0.74));
    int checked = 0;
    for (int turn = 0; turn < 72; ++turn) {
        const double angle = turn * 2 * M_PI / 72;
        const QPointF p(big.center.x + (big.radius - 2.2) * std::cos(angle), big.center.y + (big.radius - 2.2) * std::sin(angle));
        const QPoint pixel(int(std::floor(p.x())), int(std::floor(p.y())));
        bool clear = true; // of every other bubble's edge by two pixels
        for (const LayoutCircle& other : circles)
            if (other.depth > big.depth &&
                std::hypot(pixel.x() + 0.5 - other.center.x, pixel.y() + 0.5 - other.center.y) < other.radius + 2)
                clear = false;
        if (!clear) continue;
        if (std::hypot(pixel.x() + 0.5 - big.center.x, pixel.y() + 0.5 - big.center.y) > big.radius - 1.6) continue;
        EXPECT_TRUE(near(image.pixelColor(pixel), wash, 3))
            << turn << " " << qPrintable(image.pixelColor(pixel).name()) << " " << qPrintable(wash.name());
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

TEST_F(PackViewTest, HitTestFindsTheDeepestBubbleButNeverTheRoot) {
    state.setFocus(tree);
    PackView view(state);
    showAt(view, 432, 432);
    const auto& circles = view.circles();
    const LayoutCircle& x = *recordFor(circles, findNode(*tree, "x.mp4"));
    const LayoutCircle& big = *recordFor(circles, findNode(*tree, "big"));
    EXPECT_EQ(view.nodeAt(QPointF(x.center.x, x.center.y)), x.node);
    // Inside big but outside both of its children: big itself.
    const QPointF rim(big.center.x, big.center.y - big.radius + 1);
    EXPECT_EQ(view.nodeAt(rim), big.node);
    EXPECT_EQ(view.nodeAt(QPointF(200, 200 - 194)), nullptr) << "inside the root only";
}

TEST_F(PackViewTest, NarrowCanvasLaysOutNothing) {
    state.setFocus(tree);
    PackView view(state);
    showAt(view, 62, 400); // canvas 30 wide
    EXPECT_TRUE(view.circles().empty());
    EXPECT_EQ(view.nodeAt(QPointF(15, 200)), nullptr);
    showAt(view, 63, 400);
    EXPECT_FALSE(view.circles().empty());
}

TEST_F(PackViewTest, LookChangesRedrawWithoutANewLayout) {
    state.setFocus(tree);
    state.setColorMode(ColorMode::branch);
    PackView view(state);
    showAt(view, 432, 432);
    const auto before = view.circles();
    const int revision = view.revision();
    const LayoutCircle& file = *recordFor(before, findNode(*tree, "file.dat"));
    const QColor branchFill = renderCanvas(*view.canvas()).pixelColor(at(file.center));

    state.setColorMode(ColorMode::type);
    EXPECT_EQ(view.revision(), revision + 1);
    EXPECT_EQ(view.circles(), before);
    EXPECT_NE(renderCanvas(*view.canvas()).pixelColor(at(file.center)), branchFill);

    state.setShowLabels(false);
    EXPECT_EQ(view.revision(), revision + 1);
    EXPECT_EQ(view.circles(), before);
}

TEST_F(PackViewTest, HoverAndSelectionRingsPaintOverTheBubbles) {
    state.setFocus(tree);
    PackView view(state);
    showAt(view, 432, 432);
    const LayoutCircle& file = *recordFor(view.circles(), findNode(*tree, "file.dat"));
    const QPoint centre = at(file.center);
    const QPoint rim = at({file.center.x + file.radius, file.center.y});
    const QImage plain = renderCanvas(*view.canvas());

    state.setHovered(state.retain(file.node));
    const QImage hovered = renderCanvas(*view.canvas());
    EXPECT_LT(lightness(hovered.pixelColor(centre)), lightness(plain.pixelColor(centre))) << "ink wash";

    state.setHovered(nullptr);
    state.setSelection(state.retain(file.node));
    const QImage selected = renderCanvas(*view.canvas());
    EXPECT_EQ(selected.pixelColor(centre), plain.pixelColor(centre)) << "a ring only";
    EXPECT_LT(lightness(selected.pixelColor(rim)), lightness(plain.pixelColor(rim)) - 60);
}

TEST_F(PackViewTest, LabelsFollowBubbleSizeTruncationAndOverlap) {
    const auto names = treeFromText("/\n"
                                    "  short\n"
                                    "  little_files_lists/\n"
                                    "    in 1\n");
    const FileNode* leaf = findNode(*names, "short");
    const FileNode* folder = findNode(*names, "little_files_lists");

    // A leaf of radius 19 gets no label; 19.5 gets one at the 8.5 floor.
    auto small = labelsOf({{leaf, {60, 60}, 19, 1, false, 0}, {leaf, {200, 60}, 19.5, 1, false, 0}});
    ASSERT_EQ(small.size(), 1u);
    EXPECT_EQ(small[0].box.center().x(), 200);

    // A parent of radius 50: size 10, allowance 75, n = 13: 8 characters, "…", the last 4.
    auto parent = labelsOf({{folder, {400, 200}, 50, 1, true, 0}});
    ASSERT_EQ(parent.size(), 1u);
    EXPECT_EQ(parent[0].text, QString::fromUtf8("little_f…ists"));
    EXPECT_LT(parent[0].box.center().y(), 200 - 30) << "near the top of its bubble";

    // Overlapping labels: the earlier record keeps its label.
    auto overlap = labelsOf({{leaf, {600, 300}, 30, 1, false, 0}, {leaf, {610, 302}, 30, 1, false, 0}});
    ASSERT_EQ(overlap.size(), 1u);
    EXPECT_EQ(overlap[0].box.center().x(), 600);

    // The root file system is named as the design names it.
    auto root = labelsOf({{names.get(), {600, 350}, 300, 0, true, 0}});
    ASSERT_EQ(root.size(), 1u);
    EXPECT_EQ(root[0].text, "Macintosh HD");

    // At most 120 labels, however many bubbles would take one.
    std::vector<LayoutCircle> many;
    for (int i = 0; i < 200; ++i) many.push_back({leaf, {30.0 + 55 * (i % 20), 30.0 + 55 * (i / 20)}, 25, 1, false, 0});
    EXPECT_EQ(labelsOf(many).size(), std::size_t(PackCanvas::maxLabels));
}

} // namespace
