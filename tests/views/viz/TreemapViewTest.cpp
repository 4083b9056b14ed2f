// The treemap canvas rendered offscreen: tile areas and colours, labels, the marks over the cached
// picture, what lays out again and what only repaints, and the store after pointer input.
#include "state/AppState.h"
#include "state/AppStateTestSupport.h"
#include "support/DisplayTree.h"
#include "support/RecordingDesktop.h"
#include "support/TreeText.h"
#include "views/components/canvas/HighlightOverlay.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/ThemedWidget.h"
#include "views/components/canvas/TintCache.h"
#include "views/viz/CanvasTestSupport.h"
#include "views/viz/TreemapHoverPicture.h"
#include "views/viz/TreemapView.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <memory>

#include <gtest/gtest.h>

using namespace tallymere;
using test::colourDistance;

namespace {

using test::childNamed;

struct Fixture {
    test::RecordingDesktop desktop;
    AppState state{test::memoryStore()};
    AppState::NodePtr tree;
    std::unique_ptr<TreemapView> view;

    explicit Fixture(std::string_view text, QSize size = {420, 320}) : tree(test::treeFromText(text)) {
        // Without a scanned tree, a change of size mode clears the focus: it is set first.
        state.setUseAllocatedSize(false);
        state.setDesktop(&desktop);
        test::display(state, tree);
        view = std::make_unique<TreemapView>(state);
        view->resize(size);
        view->show();
    }
    QImage render() { return view->grab().toImage(); }
    // The centre of a node's tile in widget coordinates.
    QPointF centreOf(const FileNode* node) {
        return view->rectOf(node).value_or(QRectF()).center() + QPointF(TreemapView::inset, TreemapView::inset);
    }
};

constexpr std::string_view twoFiles = R"(/srv/t/
  big.bin 300
  small.bin 100
)";

} // namespace

TEST(TreemapViewTiles, AreasFollowSizesAndFillsFollowTheTheme) {
    Fixture f(twoFiles);
    const FileNode* big = childNamed(*f.tree, "big.bin");
    const FileNode* small = childNamed(*f.tree, "small.bin");
    ASSERT_TRUE(f.view->rectOf(big) && f.view->rectOf(small));
    const QRectF a = *f.view->rectOf(big), b = *f.view->rectOf(small);
    EXPECT_NEAR(a.width() * a.height() / (b.width() * b.height()), 3.0, 0.05);
    // The whole area inside the 10-point margin belongs to the subject's tile.
    EXPECT_EQ(f.view->tiles().front().node, f.tree.get());
    EXPECT_EQ(f.view->hit(QPointF(1, 1)), f.tree.get());
    EXPECT_EQ(f.view->hit(QPointF(400, 300)), nullptr); // right and bottom edges are outside

    const auto expected = [&](const FileNode* node, const Theme& theme) {
        const LayoutTile* tile = recordFor(f.view->tiles(), node);
        return theme.nodeColor(*node, tile->depth, tile->tint, f.state.colorMode());
    };
    // A large file's tile shows its fill (a faint gradient around it) where no label is written.
    const QPointF probe = a.bottomRight() + QPointF(TreemapView::inset - 12, TreemapView::inset - 12);
    QImage image = f.render();
    EXPECT_LE(colourDistance(image.pixelColor(probe.toPoint()), expected(big, Theme())), 8);
    EXPECT_GT(colourDistance(expected(big, Theme()), expected(small, Theme())), 8);

    // A theme or colour-mode change renders the picture again from the same tiles.
    const int layouts = f.view->layoutCount();
    ThemedWidget::applyTheme(f.view.get(), Theme::make(ThemeID::sage));
    image = f.render();
    EXPECT_LE(colourDistance(image.pixelColor(probe.toPoint()), expected(big, Theme::make(ThemeID::sage))), 8);
    f.state.setColorMode(ColorMode::type);
    image = f.render();
    EXPECT_LE(colourDistance(image.pixelColor(probe.toPoint()), expected(big, Theme::make(ThemeID::sage))), 8);
    EXPECT_EQ(f.view->layoutCount(), layouts);
    // Depth and focus lay out again.
    f.state.setTreemapDepth(3);
    EXPECT_EQ(f.view->layoutCount(), layouts + 1);
}

TEST(TreemapViewMarks, HoverSelectionAndQueueArePaintedOverTheCachedPicture) {
    Fixture f(R"(/srv/t/
  docs/
    a.pdf 300
    b.pdf 200
  movie.mp4 400
)");
    const FileNode* docs = childNamed(*f.tree, "docs");
    const FileNode* movie = childNamed(*f.tree, "movie.mp4");
    const QImage before = f.render();
    const int renders = f.view->baseRenderCount();
    const int layouts = f.view->layoutCount();

    // Hover: the store hears of it, the readout's node is the tile's, and only the marks repaint.
    const QPointF movieCentre = f.centreOf(movie);
    test::hoverAt(*f.view, movieCentre);
    ASSERT_EQ(f.state.hovered().get(), movie);
    // Only the hovered tile's neighbourhood is asked to repaint.
    const QRect movieTile = f.view->rectOf(movie)->translated(TreemapView::inset, TreemapView::inset).toAlignedRect();
    EXPECT_TRUE(movieTile.adjusted(-5, -5, 5, 5).contains(f.view->pendingMarksRegion()));
    EXPECT_TRUE(f.view->pendingMarksRegion().contains(movieTile));
    QImage image = f.render();
    EXPECT_EQ(f.view->baseRenderCount(), renders);
    EXPECT_EQ(f.view->layoutCount(), layouts);
    const QColor ink = HighlightOverlay::ink(f.view->theme());
    EXPECT_LE(colourDistance(image.pixelColor(movieCentre.toPoint()),
                             test::blend(before.pixelColor(movieCentre.toPoint()), ink, 0.1)),
              3);

    // A click selects; a click in the folder's header band selects the folder itself.
    test::clickAt(*f.view, movieCentre);
    EXPECT_EQ(f.state.selection().get(), movie);
    const QRectF docsRect = *f.view->rectOf(docs);
    test::clickAt(*f.view, docsRect.topLeft() + QPointF(TreemapView::inset + 20, TreemapView::inset + 4));
    EXPECT_EQ(f.state.selection().get(), docs);

    // Queued through the menu: the tile gets the danger mark; the files inside the folder do not.
    ASSERT_TRUE(test::chooseFromMenu(*f.view, movieCentre, "Add to Cleanup"));
    ASSERT_EQ(f.state.queue().size(), 1u);
    EXPECT_EQ(f.view->queuedRects(), std::vector<QRectF>{*f.view->rectOf(movie)});
    f.state.setHovered({});
    image = f.render();
    EXPECT_LE(colourDistance(image.pixelColor(movieCentre.toPoint()),
                             test::blend(before.pixelColor(movieCentre.toPoint()), f.view->theme().danger, 0.28)),
              3);
    EXPECT_EQ(f.view->baseRenderCount(), renders);

    // Every other menu entry acts on the hovered tile.
    ASSERT_TRUE(test::chooseFromMenu(*f.view, movieCentre, "Reveal in Finder"));
    ASSERT_TRUE(test::chooseFromMenu(*f.view, movieCentre, "Open"));
    ASSERT_TRUE(test::chooseFromMenu(*f.view, movieCentre, "Quick Look"));
    ASSERT_TRUE(test::chooseFromMenu(*f.view, movieCentre, "Copy Path"));
    EXPECT_EQ(f.desktop.revealed.back(), std::vector<std::string>{"/srv/t/movie.mp4"});
    EXPECT_EQ(f.desktop.opened.back(), "/srv/t/movie.mp4");
    EXPECT_EQ(f.desktop.previewed.back(), std::vector<std::string>{"/srv/t/movie.mp4"});
    EXPECT_EQ(f.desktop.copied.back(), "/srv/t/movie.mp4");
    EXPECT_FALSE(test::chooseFromMenu(*f.view, movieCentre, "Focus Here"));

    // A double click on a file reveals it; on a folder with children it drills in.
    test::doubleClickAt(*f.view, movieCentre);
    EXPECT_EQ(f.desktop.revealed.size(), 2u);
    test::doubleClickAt(*f.view, f.centreOf(childNamed(*docs, "a.pdf")) - QPointF(0, 0));
    // a.pdf is a file: revealed, not drilled. The folder's header drills.
    EXPECT_EQ(f.desktop.revealed.back(), std::vector<std::string>{"/srv/t/docs/a.pdf"});
    test::doubleClickAt(*f.view, docsRect.topLeft() + QPointF(TreemapView::inset + 20, TreemapView::inset + 4));
    EXPECT_EQ(f.state.focus().get(), docs);
    EXPECT_EQ(f.state.selection(), nullptr);
    EXPECT_EQ(f.view->layoutCount(), layouts + 1);
    EXPECT_EQ(f.view->tiles().front().node, docs);

    // Leaving the canvas clears the hover.
    test::hoverAt(*f.view, QPointF(100, 100));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(f.view.get(), &leave);
    EXPECT_EQ(f.state.hovered(), nullptr);
}

TEST(TreemapViewLabels, NamesSizesBudgetAndLabelsOff) {
    // 400 files of equal size in a large canvas: more label candidates than the budget.
    std::string text = "/srv/many/\n";
    for (int i = 0; i < 400; ++i) text += "  file" + std::to_string(1000 + i) + ".bin 1000\n";
    Fixture f(text, {1800, 1400});
    f.render();
    EXPECT_EQ(f.view->labelledTiles(), TreemapView::labelBudget);

    // A lone file fills the area and shows its name and size; with labels off nothing is written.
    Fixture one(R"(/srv/one/
  photo.jpg 5000
  pad.bin 1
)", {420, 320});
    const FileNode* photo = childNamed(*one.tree, "photo.jpg");
    const QRectF r = one.view->rectOf(photo)->translated(TreemapView::inset, TreemapView::inset);
    auto inkPixels = [&](const QImage& image, QRectF box) {
        int dark = 0;
        for (int x = int(box.left()); x < int(box.right()); ++x)
            for (int y = int(box.top()); y < int(box.bottom()); ++y) dark += qGray(image.pixel(x, y)) < 110;
        return dark;
    };
    const QRectF nameBox(r.left() + 4, r.top() + 3, 40, 13), sizeBox(r.left() + 4, r.top() + 15, 30, 12);
    QImage image = one.render();
    EXPECT_GT(inkPixels(image, nameBox), 5);
    EXPECT_GT(inkPixels(image, sizeBox), 3);
    one.state.setShowLabels(false);
    image = one.render();
    EXPECT_EQ(inkPixels(image, nameBox), 0);
    EXPECT_EQ(inkPixels(image, sizeBox), 0);
    EXPECT_EQ(one.view->labelledTiles(), 0);
}

TEST(TreemapViewEdges, EmptyStatesAndTheTreeItHolds) {
    // Nothing to show: no tiles, no hits, no NaN.
    AppState state(test::memoryStore());
    TreemapView bare(state);
    bare.resize(300, 200);
    bare.show();
    EXPECT_TRUE(bare.tiles().empty());
    EXPECT_EQ(bare.hit(QPointF(10, 10)), nullptr);

    // A zero-byte tree, an empty folder and an unreadable one lay out finite geometry or nothing.
    for (std::string_view text : {"/srv/z/\n  a 0\n  b 0\n", "/srv/e/\n", "/srv/d/ denied\n"}) {
        Fixture f(text);
        for (const LayoutTile& tile : f.view->tiles()) EXPECT_TRUE(tile.rect.isFinite());
        f.render();
    }

    // An area 2 wide or less lays out nothing.
    Fixture narrow(twoFiles, {22, 300});
    EXPECT_TRUE(narrow.view->tiles().empty());

    // The canvas holds the tree it laid out while it keeps its tiles, and lets it go with them.
    Fixture f(twoFiles);
    std::weak_ptr<FileNode> weak = f.tree;
    f.tree.reset();
    f.state.setSelection({});
    // Only the store's focus and the view hold the tree now; the store lets go first.
    AppState::NodePtr other = test::treeFromText("/srv/other/\n  x 5\n");
    QObject::disconnect(&f.state, nullptr, f.view.get(), nullptr);
    test::display(f.state, other);
    EXPECT_FALSE(weak.expired());
    f.render(); // the tiles still point into the old tree, which is alive
    f.view->relayout();
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(f.view->tiles().front().node, other.get());
}

TEST(TreemapViewOptions, DepthIsHeldInRangeThenCut) {
    AppState state(test::memoryStore());
    state.setTreemapDepth(4.9);
    EXPECT_EQ(TreemapView::options(state).maxDepth, 4);
    state.setTreemapDepth(1e12);
    EXPECT_EQ(TreemapView::options(state).maxDepth, int(AppState::maxTreemapDepth));
    state.setTreemapDepth(-5);
    EXPECT_EQ(TreemapView::options(state).maxDepth, int(AppState::minTreemapDepth));
    const TreemapLayout::Options o = TreemapView::options(state);
    EXPECT_EQ(o.maxTiles, 22000);
    EXPECT_EQ(o.minParent, 24);
    EXPECT_EQ(o.headerHeight, 16);
}

TEST(TreemapViewPointer, TheMarginAroundTheTilesTakesNoInput) {
    Fixture f(twoFiles);
    const FileNode* big = childNamed(*f.tree, "big.bin");
    test::clickAt(*f.view, f.centreOf(big));
    ASSERT_EQ(f.state.selection().get(), big);
    ASSERT_EQ(f.state.hovered().get(), big);

    // The 10-point margin is outside the drawing: moving there ends the hover, and a click, a double
    // click or a menu request there leaves the selection, the focus and the file manager alone.
    const QPointF margin(4, 4);
    test::hoverAt(*f.view, margin);
    EXPECT_EQ(f.state.hovered(), nullptr);
    test::doubleClickAt(*f.view, margin);
    EXPECT_EQ(f.state.selection().get(), big);
    EXPECT_EQ(f.state.focus(), f.tree);
    EXPECT_TRUE(f.desktop.revealed.empty());
    EXPECT_FALSE(test::chooseFromMenu(*f.view, margin, "Reveal in Finder"));

    // Just inside the margin is the subject's own tile.
    test::clickAt(*f.view, QPointF(TreemapView::inset + 0.5, TreemapView::inset + 0.5));
    EXPECT_EQ(f.state.selection(), f.tree);
}

// A mark as large as the canvas is laid from a tinted copy of the whole picture, an outline band
// of patches and a stroke laid from pieces: its pixels are those of the one patch of the whole
// shape with the painter's stroke over it, also after the theme and the picture change.
TEST(TreemapViewMarks, TheFocusTileHoverIsThePictureTintedAndOutlined) {
    Fixture f(R"(/srv/t/
  docs/
    a.pdf 300
    b.pdf 200
  movie.mp4 400
  notes.txt 50
)",
              QSize(800, 600));
    auto expectHoverOfWholeTile = [&](const char* when) {
        f.state.setHovered({});
        const QImage plain = f.render();
        f.state.setHovered(f.tree);
        ASSERT_TRUE(f.view->rectOf(f.tree.get()));
        const QImage hovered = f.render();
        // Painted into an image, whose pixels the inside is copied into straight.
        QImage direct(f.view->size(), QImage::Format_RGB32);
        f.view->render(&direct);
        EXPECT_EQ(direct.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                  hovered.convertToFormat(QImage::Format_ARGB32_Premultiplied))
            << when;

        // The old way, from public pieces: the whole shape's tinted patch, then the stroke.
        QImage picture = plain.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        const QRectF tile = *f.view->rectOf(f.tree.get());
        const QImage expected = test::treemapHoverDrawnPlainly(picture, tile, HighlightOverlay::ink(f.view->theme()));
        EXPECT_EQ(hovered.convertToFormat(QImage::Format_ARGB32_Premultiplied), expected) << when;
        // Inside, the tint is really there.
        const QPoint inside = tile.translated(TreemapView::inset, TreemapView::inset).center().toPoint();
        EXPECT_NE(hovered.pixel(inside), plain.pixel(inside)) << when;
    };
    expectHoverOfWholeTile("first picture");
    ThemedWidget::applyTheme(f.view.get(), Theme::make(ThemeID::slate));
    expectHoverOfWholeTile("after a theme change");
    f.state.setFocus(share(f.tree, childNamed(*f.tree, "docs")));
    f.state.setFocus(f.tree);
    expectHoverOfWholeTile("after the focus came back");
}
