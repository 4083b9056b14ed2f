// The icicle view: how the row height fits the view, what scrolls, where labels go, and the marks
// over hovered and selected bars, checked on offscreen renders.
#include "views/viz/IcicleCanvas.h"
#include "views/viz/IcicleView.h"
#include "views/viz/VizTestSupport.h"

#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>

using namespace tallymere;
using namespace tallymere::test;

namespace {

class IcicleViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { loadFonts(); }
    AppState state{std::make_shared<MemoryPreferenceStore>()};
    // Folders three levels below the root, each filling its row.
    std::shared_ptr<FileNode> tree = treeFromText("root/\n"
                                                  "  a/\n"
                                                  "    b/\n"
                                                  "      c.mp4 600\n"
                                                  "      d.txt 200\n"
                                                  "  e.pdf 200\n");
};

// The view whose canvas (the scroll area) is `width` by `height`.
void showCanvas(IcicleView& view, int width, int height) {
    showAt(view, width + 2 * IcicleView::margin, height + 2 * IcicleView::margin);
}

TEST_F(IcicleViewTest, RowsGrowToFillTheViewWhenTheTreeIsShallow) {
    test::display(state, tree);
    IcicleView view(state);
    showCanvas(view, 800, 500);
    // H = 492: four levels give 38-point rows at first; the deepest tile (3) asks for 46.
    EXPECT_DOUBLE_EQ(view.rowHeight(), 46);
    EXPECT_DOUBLE_EQ(view.contentHeight(), 46 * 4 + 8);
    EXPECT_EQ(view.canvas()->size(), QSize(780, 192));
    const LayoutTile& root = view.tiles().front();
    EXPECT_EQ(root.rect, (Rect{0, 0, 780, 45}));
    const LayoutTile& c = *recordFor(view.tiles(), findNode(*tree, "c.mp4"));
    EXPECT_DOUBLE_EQ(c.rect.y, 46 * 3);
    EXPECT_DOUBLE_EQ(c.rect.width, 780 * 0.6); // 600 of the root's 1000 bytes

    // The bar is light at the top and plain at the bottom; outside the bars nothing is painted.
    const QImage image = renderCanvas(*view.canvas());
    EXPECT_GT(lightness(image.pixelColor(100, 2)), lightness(image.pixelColor(100, 43)));
    EXPECT_TRUE(isBackdrop(image.pixelColor(100, 45))) << "the gap under a row";
    EXPECT_TRUE(isBackdrop(image.pixelColor(700, 46 * 3 + 20))) << "no bar under e.pdf's row";

    // Hits: half-open tiles, the root counts, the gap hits nothing; a canvas 20 wide draws nothing.
    EXPECT_EQ(view.nodeAt(QPointF(10, 10)), tree.get());
    EXPECT_EQ(view.nodeAt(QPointF(10, 45.5)), nullptr);
    EXPECT_EQ(view.nodeAt(QPointF(10, 46 * 3 + 1)), c.node);
    showCanvas(view, 20, 300);
    EXPECT_TRUE(view.tiles().empty());
    EXPECT_EQ(view.nodeAt(QPointF(0, 0)), nullptr);
}

TEST_F(IcicleViewTest, DeepTreesScrollAtTheSmallestRowHeight) {
    test::display(state, deepTree(12));
    IcicleView view(state);
    showCanvas(view, 800, 100);
    // H floors at 120; ten levels (the depth 7 plus 3) give 17-point rows either way.
    EXPECT_DOUBLE_EQ(view.rowHeight(), 17);
    EXPECT_DOUBLE_EQ(view.contentHeight(), 17 * 11 + 8);
    EXPECT_GT(view.scrollArea()->verticalScrollBar()->maximum(), 0);

    // The depth setting changes the rows drawn.
    state.setTreemapDepth(2);
    EXPECT_DOUBLE_EQ(view.contentHeight(), view.rowHeight() * 6 + 8);
}

TEST_F(IcicleViewTest, LevelCountAndRowsOfFilesAndPackages) {
    const auto files = treeFromText("root/\n  a.txt 10\n  b.txt 5\n");
    EXPECT_EQ(IcicleView::drawnDepth(*files, 10), 1);
    EXPECT_EQ(IcicleView::drawnDepth(*deepTree(40), 10), 10);
    EXPECT_EQ(IcicleView::drawnDepth(*tree, 10), 3);

    const auto package = treeFromText("Tool.app/ package\n  Contents/\n    bin 100\n");
    EXPECT_EQ(IcicleView::drawnDepth(*package, 10), 0);
    test::display(state, package);
    IcicleView view(state);
    showCanvas(view, 800, 500);
    ASSERT_EQ(view.tiles().size(), 1u);
    EXPECT_DOUBLE_EQ(view.rowHeight(), 46);
    EXPECT_DOUBLE_EQ(view.tiles()[0].rect.height, 45);
    EXPECT_DOUBLE_EQ(view.contentHeight(), 54);
}

TEST_F(IcicleViewTest, HoverAndSelectionMarksPaintOverTheBars) {
    test::display(state, tree);
    IcicleView view(state);
    showCanvas(view, 800, 500);
    const LayoutTile& e = *recordFor(view.tiles(), findNode(*tree, "e.pdf"));
    const QPoint inside(int(e.rect.midX()), int(e.rect.midY()));
    const QPoint edge(int(e.rect.midX()), int(e.rect.y) - 1); // in the gap above the bar
    const QImage plain = renderCanvas(*view.canvas());

    state.setHovered(state.retain(e.node));
    EXPECT_LT(lightness(renderCanvas(*view.canvas()).pixelColor(inside)), lightness(plain.pixelColor(inside)));
    state.setHovered(nullptr);
    state.setSelection(state.retain(e.node));
    const QImage selected = renderCanvas(*view.canvas());
    EXPECT_EQ(selected.pixelColor(inside), plain.pixelColor(inside));
    EXPECT_TRUE(isBackdrop(plain.pixelColor(edge)));
    EXPECT_GT(colourDistance(selected.pixelColor(edge), Theme().background), 60) << "the outline stands outside the bar";
    EXPECT_LT(lightness(selected.pixelColor(edge)), 150);
}

TEST_F(IcicleViewTest, LabelsNeedWidthAndAreNeverShortened) {
    const auto names = treeFromText("root/\n  docs 1\n  a_name_far_too_long_for_its_bar 1\n");
    const FileNode* shortName = findNode(*names, "docs");
    const FileNode* longName = findNode(*names, "a_name_far_too_long_for_its_bar");
    auto labelsOf = [](const std::vector<LayoutTile>& tiles) {
        QImage image(1200, 400, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        return IcicleCanvas::paint(painter, tiles, Theme(), true, ColorMode::type);
    };
    auto bar = [](const FileNode* node, double x, double y, double width) {
        return LayoutTile{node, {x, y, width, 26}, 1, false, 0, 0};
    };
    EXPECT_TRUE(labelsOf({bar(shortName, 0, 0, 52)}).empty());
    const auto wide = labelsOf({bar(shortName, 0, 0, 52.5)});
    ASSERT_EQ(wide.size(), 1u);
    EXPECT_EQ(wide[0].text, "docs");
    EXPECT_EQ(wide[0].box.x(), 5);
    EXPECT_TRUE(labelsOf({bar(longName, 0, 0, 120)}).empty()) << "too long: not drawn at all";

    // Names that do not fit still spend the budget of 220 attempts.
    std::vector<LayoutTile> tiles;
    for (int i = 0; i < IcicleCanvas::labelBudget; ++i) tiles.push_back(bar(longName, (i % 20) * 60.0, (i / 20) * 30.0, 60));
    tiles.push_back(bar(shortName, 0, 360, 300));
    EXPECT_TRUE(labelsOf(tiles).empty());
}

} // namespace
