// The circle-pack view: where bubbles, washes, rings and labels land, on offscreen renders.
#include "views/components/ThemedWidget.h"
#include "views/components/canvas/TintCache.h"
#include "views/viz/PackCanvas.h"
#include "views/viz/PackView.h"
#include "views/viz/VizTestSupport.h"

#include <QPainter>

#include <cmath>

using namespace tallymere;
using namespace tallymere::test;

namespace {

class PackViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { loadFonts(); }
    AppState state{std::make_shared<MemoryPreferenceStore>()};
    std::shared_ptr<FileNode> tree = treeFromText("root/\n  big/\n    x.mp4 500000\n    y.mp4 300000\n  file.dat 200000\n");
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
    test::display(state, tree);
    state.setShowLabels(false); // only the bubbles' own pixels
    PackView view(state);
    showAt(view, 432, 432);
    ASSERT_EQ(view.canvas()->geometry(), QRect(16, 16, 400, 400));
    const auto& circles = view.circles();
    ASSERT_EQ(circles.size(), 5u); // root, big, x, y, file
    EXPECT_EQ(circles[0].center, (Point{200, 200}));
    EXPECT_DOUBLE_EQ(circles[0].radius, 196);
    EXPECT_EQ(view.nodeAt(QPointF(200, 5)), nullptr) << "inside the root only";

    const QImage image = renderCanvas(*view.canvas());
    const Theme theme;
    EXPECT_TRUE(isBackdrop(image.pixelColor(3, 3))) << "outside the root circle nothing is painted";
    EXPECT_LE(colourDistance(image.pixelColor(200, 5), theme.surface), 2);
    const LayoutCircle& file = *recordFor(circles, findNode(*tree, "file.dat"));
    EXPECT_GT(colourDistance(image.pixelColor(at(file.center)), theme.surface), 12);

    // A folder's bubble is its colour washed at 0.26 over the root's surface, around its children.
    const LayoutCircle& big = *recordFor(circles, findNode(*tree, "big"));
    const QColor wash = blend(theme.surface, theme.nodeColor(*big.node, 1, big.tint, state.colorMode()), 0.26);
    int checked = 0;
    for (int turn = 0; turn < 72; ++turn) {
        const double angle = turn * 2 * M_PI / 72, reach = big.radius - 2.7;
        const QPoint pixel(int(big.center.x + reach * std::cos(angle)), int(big.center.y + reach * std::sin(angle)));
        const bool clear = std::none_of(circles.begin() + 2, circles.end(), [&](const LayoutCircle& c) {
            return std::hypot(pixel.x() + 0.5 - c.center.x, pixel.y() + 0.5 - c.center.y) < c.radius + 2;
        });
        if (!clear) continue;
        EXPECT_LE(colourDistance(image.pixelColor(pixel), wash), 3) << turn;
        ++checked;
    }
    EXPECT_GT(checked, 0);

    showAt(view, 62, 400); // a canvas 30 wide
    EXPECT_TRUE(view.circles().empty());
    showAt(view, 63, 400);
    EXPECT_FALSE(view.circles().empty());
}

TEST_F(PackViewTest, HoverAndSelectionRingsPaintOverTheBubbles) {
    test::display(state, tree);
    PackView view(state);
    showAt(view, 432, 432);
    const LayoutCircle& file = *recordFor(view.circles(), findNode(*tree, "file.dat"));
    const QPoint centre = at(file.center), rim = at({file.center.x + file.radius, file.center.y});
    const QImage plain = renderCanvas(*view.canvas());

    state.setHovered(state.retain(file.node));
    // The ink at 0.12 over the bubble, and nothing of it outside the ring.
    const QImage hovered = renderCanvas(*view.canvas());
    const QColor ink = Theme().isDark ? QColor(Qt::white) : QColor(18, 17, 16);
    EXPECT_LE(colourDistance(hovered.pixelColor(centre), blend(plain.pixelColor(centre), ink, 0.12)), 2);
    const QPoint beyond = at({file.center.x + file.radius + 4, file.center.y});
    EXPECT_EQ(hovered.pixelColor(beyond), plain.pixelColor(beyond));
    state.setHovered(nullptr);
    EXPECT_EQ(renderCanvas(*view.canvas()), plain);
    state.setSelection(state.retain(file.node));
    const QImage selected = renderCanvas(*view.canvas());
    EXPECT_EQ(selected.pixelColor(centre), plain.pixelColor(centre)) << "a ring only";
    EXPECT_LT(lightness(selected.pixelColor(rim)), lightness(plain.pixelColor(rim)) - 60);
}

TEST_F(PackViewTest, LabelsFollowBubbleSizeTruncationAndOverlap) {
    const auto names = treeFromText("/\n  short\n  little_files_lists/\n    in 1\n");
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

    // Overlapping labels: the earlier record keeps its label; the root file system has its name.
    auto overlap = labelsOf({{leaf, {600, 300}, 30, 1, false, 0}, {leaf, {610, 302}, 30, 1, false, 0}});
    ASSERT_EQ(overlap.size(), 1u);
    EXPECT_EQ(overlap[0].box.center().x(), 600);
    EXPECT_EQ(labelsOf({{names.get(), {600, 350}, 300, 0, true, 0}}).at(0).text, "Macintosh HD");

    // At most 120 labels, however many bubbles would take one.
    std::vector<LayoutCircle> many;
    for (int i = 0; i < 200; ++i) many.push_back({leaf, {30.0 + 55 * (i % 20), 30.0 + 55 * (i / 20)}, 25, 1, false, 0});
    EXPECT_EQ(labelsOf(many).size(), std::size_t(PackCanvas::maxLabels));
}

} // namespace

// Folders packed once are kept for the next focus change, but never across a change of size mode or
// of tree: the circles always follow the sizes of the tree on display, in the mode chosen.
TEST_F(PackViewTest, PackedFoldersFollowTheSizeModeAndTheTree) {
    auto sized = treeFromText("root/\n  big/\n    x.mp4 500000 alloc=4096\n    y.mp4 300000 alloc=400000\n"
                              "  file.dat 200000 alloc=8192\n");
    test::display(state, sized);
    state.setUseAllocatedSize(false);
    state.setShowLabels(false);
    PackView view(state);
    showAt(view, 432, 432);
    // The radius of a child's circle against its sibling's follows the bytes counted.
    auto ratio = [&](const char* a, const char* b) {
        const FileNode* root = view.circles().front().node;
        const LayoutCircle* first = recordFor(view.circles(), findNode(*root, a));
        return first->radius / recordFor(view.circles(), findNode(*root, b))->radius;
    };
    EXPECT_NEAR(ratio("x.mp4", "y.mp4"), std::sqrt(500000.0 / 300000.0), 1e-9);
    state.setFocus(share(sized, findNode(*sized, "big")));
    state.setFocus(share(sized, sized.get()));
    state.setUseAllocatedSize(true);
    EXPECT_NEAR(ratio("x.mp4", "y.mp4"), std::sqrt(4096.0 / 400000.0), 1e-9);

    // Another tree with the same names and other sizes.
    test::display(state, treeFromText("root/\n  big/\n    x.mp4 100 alloc=100\n    y.mp4 900 alloc=900\n"
                                      "  file.dat 200000 alloc=8192\n"));
    EXPECT_NEAR(ratio("x.mp4", "y.mp4"), std::sqrt(100.0 / 900.0), 1e-9);
}

// A pack view made again for the same tree and size mode, as a switch back to the pack makes it,
// takes over the folders packed by the one before (a folder too small to show at the top, packed
// while it was the focus, among them) and lays the very same circles; in the other size mode it
// packs them anew by the bytes counted.
TEST_F(PackViewTest, AViewMadeAgainTakesOverTheFoldersPackedBefore) {
    auto sized = treeFromText("root/\n  big/\n    x.mp4 500000 alloc=4096\n    y.mp4 300000 alloc=400000\n"
                              "  file.dat 200000 alloc=8192\n  tiny/\n    a.txt 10 alloc=10\n    b.txt 20 alloc=20\n");
    test::display(state, sized);
    state.setUseAllocatedSize(false);
    std::vector<LayoutCircle> first;
    std::size_t packed = 0;
    {
        PackView view(state);
        showAt(view, 432, 432);
        first = view.circles();
        const std::size_t atTheTop = view.packedFolders();
        state.setFocus(share(sized, findNode(*sized, "tiny")));
        state.setFocus(share(sized, sized.get()));
        packed = view.packedFolders();
        ASSERT_EQ(packed, atTheTop + 1);
    }
    {
        PackView again(state);
        EXPECT_EQ(again.packedFolders(), packed);
        showAt(again, 432, 432);
        EXPECT_EQ(again.circles(), first);
        EXPECT_EQ(again.packedFolders(), packed);
    }
    state.setUseAllocatedSize(true);
    PackView allocated(state);
    showAt(allocated, 432, 432);
    const FileNode* root = allocated.circles().front().node;
    const LayoutCircle* x = recordFor(allocated.circles(), findNode(*root, "x.mp4"));
    const LayoutCircle* y = recordFor(allocated.circles(), findNode(*root, "y.mp4"));
    ASSERT_TRUE(x && y);
    EXPECT_NEAR(x->radius / y->radius, std::sqrt(4096.0 / 400000.0), 1e-9);
}

// The focus's bubble hovered, a mark nearly as large as the canvas: laid as a tinted disc with its
// ring, it gives the pixels of the tinted patch with the painter's own ring over it, also when a
// bubble within it is selected (its ring meets the hover's: the hover's is stroked over it), when
// the focus is selected too, after the theme changes, the size changes and the focus changes. The
// mark is shaped beforehand for each new size (and hover colour), never on the window's thread: the
// first hover after a new picture is laid from it over that picture, as is a hover with no new
// picture since.
TEST_F(PackViewTest, TheFocusHoverIsItsTintedPatchAndRing) {
    test::display(state, tree);
    state.setShowLabels(false);
    PackView view(state);
    showAt(view, 732, 732);
    // A bubble touching the focus's rim (its ring meets the hover's) and the one furthest within.
    enum class Selected { none, child, inner, focus };
    auto expectFocusHover = [&](const char* when, Selected selected, bool newShape) {
        state.setHovered(nullptr);
        state.setSelection(nullptr);
        const QImage plain = renderCanvas(*view.canvas()).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        const LayoutCircle& focus = view.circles().front();
        const LayoutCircle& child = view.circles().back();
        const LayoutCircle* inner = nullptr;
        auto depthWithin = [&](const LayoutCircle& c) {
            return focus.radius - std::hypot(c.center.x - focus.center.x, c.center.y - focus.center.y) - c.radius;
        };
        for (const LayoutCircle& c : view.circles())
            if (&c != &focus && (!inner || depthWithin(c) > depthWithin(*inner))) inner = &c;
        if (selected == Selected::inner) {
            ASSERT_GT(depthWithin(*inner), 8);
        }
        if (selected == Selected::child) {
            ASSERT_LT(depthWithin(child), 4);
        }
        const QRectF disc(focus.center.x - focus.radius, focus.center.y - focus.radius, 2 * focus.radius,
                          2 * focus.radius);
        const int prepared = view.preparedHovers(), discs = view.discHovers();
        const LayoutCircle* chosen = selected == Selected::focus   ? &focus
                                     : selected == Selected::child ? &child
                                     : selected == Selected::inner ? inner
                                                                   : nullptr;
        if (chosen) state.setSelection(state.retain(chosen->node));
        state.setHovered(state.retain(focus.node));
        for (int paint = 0; paint < 2; ++paint) {
            const QImage hovered = renderCanvas(*view.canvas()).convertToFormat(QImage::Format_ARGB32_Premultiplied);
            const Theme& theme = view.theme();
            TintCache patch;
            const QImage tint = patch.patch(plain, 1, disc, focus.radius, PackCanvas::hoverFill(theme)).copy();
            QImage expected = plain.copy();
            QPainter painter(&expected);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.drawImage(QPointF(patch.area().topLeft()), tint);
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            PackCanvas::paintHighlight(painter, &focus, chosen, theme, true);
            painter.end();
            EXPECT_EQ(hovered, expected) << when << ", paint " << paint;
        }
        EXPECT_EQ(view.preparedHovers(), prepared + int(newShape)) << when;
        EXPECT_EQ(view.discHovers(), discs + 2) << when;
        EXPECT_EQ(view.focusShapedHere(), 0) << when;
        state.setHovered(nullptr);
    };
    expectFocusHover("first picture", Selected::none, true);
    expectFocusHover("a bubble at the rim selected", Selected::child, false);
    expectFocusHover("a bubble well within selected", Selected::inner, false);
    expectFocusHover("selected too", Selected::focus, false);
    // The themes share the hover's ink: a new picture, the same mark.
    ThemedWidget::applyTheme(&view, Theme::make(ThemeID::slate));
    expectFocusHover("after a theme change", Selected::focus, false);
    expectFocusHover("a bubble at the rim selected, slate", Selected::child, false);
    expectFocusHover("a bubble well within selected, slate", Selected::inner, false);
    ThemedWidget::applyTheme(&view, Theme::make(ThemeID::sage));
    expectFocusHover("another theme", Selected::child, false);
    view.resize(700, 620);
    QCoreApplication::sendPostedEvents();
    expectFocusHover("after a new size", Selected::inner, true);
    expectFocusHover("after a new focus, the bubble as large", Selected::none, false);
}
