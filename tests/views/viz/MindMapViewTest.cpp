// The mind-map view: the entry spring, hits and rings near discs, and labels, checked on offscreen
// renders.
#include "layout/MindMapLayout.h"
#include "views/viz/MindMapCanvas.h"
#include "views/viz/MindMapView.h"
#include "views/viz/VizTestSupport.h"

#include <QPainter>
#include <QVariantAnimation>

#include <cmath>

using namespace tallymere;
using namespace tallymere::test;

namespace {

class MindMapViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { loadFonts(); }
    AppState state{std::make_shared<MemoryPreferenceStore>()};
    std::shared_ptr<FileNode> tree = treeFromText("root/\n"
                                                  "  big/\n"
                                                  "    one.mov 3000\n"
                                                  "    two.mov 1000\n"
                                                  "  notes.txt 2000\n"
                                                  "  song.mp3 1000\n");
};

// The view whose canvas is `width` by `height`.
void showCanvas(MindMapView& view, int width, int height) {
    showAt(view, width + 2 * MindMapView::margin, height + 2 * MindMapView::margin);
}

void finishEntry(MindMapView& view) {
    auto* animation = view.findChild<QVariantAnimation*>("entryAnimation");
    ASSERT_NE(animation, nullptr);
    animation->setCurrentTime(animation->duration());
}

std::vector<CanvasLabel> labelsOf(const GraphLayout& graph) {
    QImage image(900, 700, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    return MindMapCanvas::paint(painter, graph, Theme(), true, true, ColorMode::branch);
}

// Where the labels beside the discs of the view's map lay ink.
std::vector<QRectF> inkOf(const MindMapView& view) {
    return MindMapCanvas::labelInk(
        MindMapCanvas::placeLabels(view.graph(), view.theme(), true, true, view.canvas()->width()));
}

TEST_F(MindMapViewTest, MapSpringsInOnShowAndAgainOnEveryFocusChange) {
    test::display(state, tree);
    MindMapView view(state);
    showCanvas(view, 800, 600);
    ASSERT_EQ(view.graph().nodes.size(), 6u);
    EXPECT_EQ(view.graph().nodes[0].position, (Point{400, 300}));
    EXPECT_DOUBLE_EQ(view.appearance(), 0);
    QImage image = renderCanvas(*view.canvas());
    EXPECT_TRUE(isBackdrop(image.pixelColor(400, 300))) << "nothing shows before the spring starts";

    finishEntry(view);
    EXPECT_DOUBLE_EQ(view.appearance(), 1);
    image = renderCanvas(*view.canvas());
    EXPECT_LE(colourDistance(image.pixelColor(400, 300 + 20), Theme().accent), 6) << "the centre disc";
    EXPECT_TRUE(isBackdrop(image.pixelColor(2, 2)));

    const int revision = view.revision();
    const FileNode* big = findNode(*tree, "big");
    state.setFocus(state.retain(big));
    EXPECT_DOUBLE_EQ(view.appearance(), 0);
    EXPECT_EQ(view.revision(), revision + 1);
    EXPECT_EQ(view.graph().nodes[0].node, big);
    finishEntry(view);
    EXPECT_DOUBLE_EQ(view.appearance(), 1);
}

// Long names beside discs near the canvas's sides end in an ellipsis there: no label is cut off
// mid-letter by the side, at the left or the right.
TEST_F(MindMapViewTest, LabelsNearTheSidesEndInAnEllipsisInsideTheCanvas) {
    auto wide = treeFromText("root/\n"
                             "  a-folder-with-a-long-name-1/\n"
                             "    inner.bin 5000\n"
                             "  a-folder-with-a-long-name-2 4000\n"
                             "  a-folder-with-a-long-name-3 3000\n"
                             "  a-folder-with-a-long-name-4 2500\n"
                             "  a-folder-with-a-long-name-5 2000\n"
                             "  a-folder-with-a-long-name-6 1500\n");
    test::display(state, wide);
    MindMapView view(state);
    showCanvas(view, 340, 400);
    finishEntry(view);
    const QImage image = renderCanvas(*view.canvas());
    const int w = image.width(), h = image.height();
    int inkAtSides = 0;
    for (int y = 0; y < h; ++y)
        for (int x : {0, 1, w - 2, w - 1}) inkAtSides += !isBackdrop(image.pixelColor(x, y));
    EXPECT_EQ(inkAtSides, 0);
    int shortened = 0;
    for (const auto& label :
         MindMapCanvas::placeLabels(view.graph(), view.theme(), true, true, view.canvas()->width())) {
        EXPECT_GE(label.title.rect.left(), 0) << label.title.text.toStdString();
        EXPECT_LE(label.title.rect.right(), view.canvas()->width()) << label.title.text.toStdString();
        shortened += label.title.text.endsWith(QChar(0x2026));
    }
    EXPECT_GT(shortened, 0) << "no label came near a side";
}

TEST_F(MindMapViewTest, HitsReachFivePointsBeyondTheRim) {
    test::display(state, tree);
    MindMapView view(state);
    showCanvas(view, 800, 600);
    const GraphNode& notes = *recordFor(view.graph().nodes, findNode(*tree, "notes.txt"));
    auto outward = [&](double distance) {
        return QPointF(notes.position.x + std::cos(notes.angle) * distance,
                       notes.position.y + std::sin(notes.angle) * distance);
    };
    EXPECT_EQ(view.nodeAt(outward(notes.radius + 4)), notes.node);
    EXPECT_EQ(view.nodeAt(outward(notes.radius + 6)), nullptr);
    EXPECT_EQ(view.nodeAt(QPointF(400, 300)), tree.get()) << "the centre disc hits";

    // A selected disc gets a ring just outside its rim, over the cached map.
    const QPoint ring(int(notes.position.x + notes.radius + 4), int(notes.position.y));
    finishEntry(view);
    EXPECT_TRUE(isBackdrop(renderCanvas(*view.canvas()).pixelColor(ring)));
    state.setSelection(state.retain(notes.node));
    const QColor ringed = renderCanvas(*view.canvas()).pixelColor(ring);
    EXPECT_GT(colourDistance(ringed, Theme().background), 60);
    EXPECT_LT(lightness(ringed), 150);

    showCanvas(view, 70, 300); // wide enough for the view, too small for one ring
    EXPECT_TRUE(view.graph().nodes.empty());
    showCanvas(view, 60, 600);
    EXPECT_TRUE(view.graph().nodes.empty());
    EXPECT_EQ(view.nodeAt(QPointF(30, 300)), nullptr);
}

TEST_F(MindMapViewTest, LabelsAreCutPlacedFirstComeAndTheCentreAlwaysNamed) {
    const auto names = treeFromText("/\n"
                                    "  a_folder_named_with_forty_characters_xyz/\n"
                                    "    x 10\n"
                                    "  second 5\n"
                                    "  tiny 1\n");
    const FileNode* longName = findNode(*names, "a_folder_named_with_forty_characters_xyz");
    const FileNode* second = findNode(*names, "second");
    const FileNode* tiny = findNode(*names, "tiny");
    GraphLayout graph;
    graph.nodes.push_back({names.get(), {450, 350}, 38, 0, 0, false, 0});
    graph.nodes.push_back({longName, {600, 350}, 20, 1, 0, false, 0});
    graph.nodes.push_back({second, {600, 360}, 20, 1, 0, true, 1}); // its box would overlap the first
    graph.nodes.push_back({tiny, {300, 350}, 8, 1, M_PI, true, 2});  // too small for a label
    for (std::size_t k = 1; k < graph.nodes.size(); ++k)
        graph.edges.push_back({graph.nodes[0].position, graph.nodes[k].position, 38, graph.nodes[k].radius, 0, 0});

    const auto labels = labelsOf(graph);
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_EQ(labels[0].text, "Macintosh HD");
    EXPECT_EQ(labels[1].text, QString::fromUtf8("a_folder_named_with_fo…s_xyz"));
    EXPECT_EQ(labels[1].box.left(), 600 + 20 + 6) << "leading, just outside the disc";

    // On the left-hand side the label ends at the disc instead.
    graph.nodes[1].angle = M_PI;
    graph.nodes[1].position = {200, 350};
    const auto left = labelsOf(graph);
    ASSERT_GE(left.size(), 2u);
    EXPECT_DOUBLE_EQ(left[1].box.right(), 200 - 20 - 6);

    // A centre name wider than its disc gives up its middle and leaves no ink beside the disc.
    const auto lone = treeFromText("a_very_long_folder_name_without_any_spaces_that_goes_on_and_on/\n  x 10\n");
    GraphLayout centreOnly;
    centreOnly.nodes.push_back({lone.get(), {450, 350}, 38, 0, 0, false, 0});
    const QColor backdrop(40, 40, 44);
    QImage image(900, 700, QImage::Format_ARGB32_Premultiplied);
    image.fill(backdrop);
    QPainter painter(&image);
    const auto centre = MindMapCanvas::paint(painter, centreOnly, Theme(), true, true, ColorMode::branch);
    painter.end();
    ASSERT_EQ(centre.size(), 1u);
    EXPECT_TRUE(centre[0].text.startsWith("a_") && centre[0].text.endsWith("on")) << centre[0].text.toStdString();
    EXPECT_TRUE(centre[0].text.contains(QChar(0x2026)));
    int beside = 0;
    for (int y = 330; y < 360; ++y)
        for (int x = 0; x < 900; ++x)
            if (std::abs(x - 450) > 50) beside += image.pixelColor(x, y) != backdrop;
    EXPECT_EQ(beside, 0);
}

// A label sits just outside its disc, where the rings run: a disc ringed for the selection and the
// hover leaves the text of every label as it was, its own first of all, while its rings show.
TEST_F(MindMapViewTest, RingsPassBehindTheLabelsBesideTheirDisc) {
    std::string text = "root/\n";
    for (int k = 0; k < 8; ++k)
        for (int f = 0; f < 3; ++f)
            text += (f ? "" : "  folder_" + std::to_string(k) + "/\n") + "    f" + std::to_string(f) + " " +
                    std::to_string((8 - k) * 1000 + f * 300) + "\n";
    const auto many = treeFromText(text);
    test::display(state, many);
    MindMapView view(state);
    showCanvas(view, 800, 600);
    finishEntry(view);
    const QImage plain = renderCanvas(*view.canvas());
    int textsInReach = 0;
    for (const GraphNode& disc : view.graph().nodes) {
        state.setSelection(state.retain(disc.node));
        state.setHovered(state.retain(disc.node));
        const QImage ringed = renderCanvas(*view.canvas());
        EXPECT_NE(ringed, plain) << disc.node->name() << ": no ring";
        const double reach = disc.radius + 6;
        const QRectF rings(disc.position.x - reach, disc.position.y - reach, 2 * reach, 2 * reach);
        for (const QRectF& box : inkOf(view)) {
            if (!box.intersects(rings)) continue;
            ++textsInReach;
            const QRect ink = box.adjusted(1, 1, -1, -1).toAlignedRect() & plain.rect(); // less its margin
            EXPECT_EQ(ringed.copy(ink), plain.copy(ink)) << disc.node->name();
        }
    }
    EXPECT_GT(textsInReach, 10);
}

// The window draws the map's shapes in bands of rows, each band only what reaches it, and the labels
// over them: the picture must come out exactly as the whole map drawn at once, at both pixel ratios,
// with the edges and discs that cross from one band into the next.
TEST_F(MindMapViewTest, MapDrawnInBandsOfRowsEqualsTheWholeMap) {
    std::string text = "root/\n";
    for (int top = 0; top < 7; ++top) {
        text += "  folder_number_" + std::to_string(top) + "/\n";
        for (int sub = 0; sub < 5; ++sub) {
            text += "    inner_folder_" + std::to_string(sub) + "/\n";
            for (int leaf = 0; leaf < 4; ++leaf)
                text += "      file_" + std::to_string(leaf) + ".dat " + std::to_string(1000 * (top + 2) + 70 * sub + leaf) + "\n";
        }
    }
    const auto big = treeFromText(text);
    MindMapLayout::Options options;
    options.maxDepth = 3;
    options.branching = {8, 6, 5, 4};
    options.minShare = 0.012;
    options.centerRadius = 62;
    options.minNodeRadius = 7;
    options.maxNodeRadius = 30;
    const GraphLayout graph = MindMapLayout::layout(*big, {0, 0, 900, 700}, options);
    ASSERT_GT(graph.nodes.size(), 100u);
    const Theme theme = Theme::make(ThemeID::slate);
    const QColor backdrop(40, 40, 44);
    for (const double ratio : {1.0, 2.0}) {
        QImage whole(int(900 * ratio), int(700 * ratio), QImage::Format_ARGB32_Premultiplied);
        whole.setDevicePixelRatio(ratio);
        whole.fill(backdrop);
        {
            QPainter painter(&whole);
            painter.setRenderHint(QPainter::TextAntialiasing);
            EXPECT_GT(MindMapCanvas::paint(painter, graph, theme, true, false, ColorMode::branch).size(), 10u);
        }
        QImage banded(whole.size(), whole.format());
        banded.setDevicePixelRatio(ratio);
        const auto labels = MindMapCanvas::placeLabels(graph, theme, true, false);
        // Uneven bands, some a few rows high, so that many marks cross a boundary.
        for (int top = 0, step = 3; top < banded.height(); top += step, step = step * 2 % 97 + 1) {
            const int bottom = std::min(top + step, banded.height());
            QImage band(banded.bits() + qsizetype(top) * banded.bytesPerLine(), banded.width(), bottom - top,
                        banded.bytesPerLine(), banded.format());
            band.setDevicePixelRatio(ratio);
            band.fill(backdrop);
            QPainter painter(&band);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.translate(0, -top / ratio);
            MindMapCanvas::paintRows(painter, graph, theme, ColorMode::branch, top / ratio, bottom / ratio);
        }
        {
            QPainter painter(&banded);
            painter.setRenderHint(QPainter::TextAntialiasing);
            MindMapCanvas::paintLabels(painter, labels);
        }
        int marked = 0, differing = 0;
        for (int y = 0; y < whole.height(); ++y)
            for (int x = 0; x < whole.width(); ++x) {
                marked += whole.pixel(x, y) != backdrop.rgba();
                differing += whole.pixel(x, y) != banded.pixel(x, y);
            }
        EXPECT_GT(marked, whole.width() * whole.height() / 20) << "the map covers the picture";
        EXPECT_EQ(differing, 0) << "at ratio " << ratio;
    }
}

// After a change of focus the map's shapes are drawn on the pool while the first frame shows only
// the backdrop (the spring starts from transparent). Whatever comes between (another focus, a
// theme, a new size), the map the spring brings in is exactly the whole map drawn at once.
TEST_F(MindMapViewTest, MapDrawnAheadOfItsFirstFrameIsTheWholeMap) {
    test::display(state, tree);
    MindMapView view(state);
    showCanvas(view, 800, 600);
    finishEntry(view);
    const auto drawnAtOnce = [&] {
        QImage image(view.canvas()->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(view.theme().background);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        MindMapCanvas::paint(painter, view.graph(), view.theme(), state.showLabels(), state.useAllocatedSize(),
                             state.colorMode(), view.canvas()->width());
        painter.end();
        return image.convertToFormat(QImage::Format_ARGB32);
    };
    const FileNode* big = findNode(*tree, "big");
    const auto focusOn = [&](const FileNode* node) { state.setFocus(state.retain(node)); };

    focusOn(big);
    const QImage first = renderCanvas(*view.canvas());
    EXPECT_TRUE(isBackdrop(first.pixelColor(400, 300))) << "the first frame shows none of the map";
    finishEntry(view);
    EXPECT_EQ(renderCanvas(*view.canvas()), drawnAtOnce()) << "a folder focused";

    focusOn(tree.get());
    focusOn(big);
    ThemedWidget::applyTheme(&view, Theme::make(ThemeID::slate));
    renderCanvas(*view.canvas());
    finishEntry(view);
    const QImage slate = renderCanvas(*view.canvas());
    EXPECT_EQ(slate, drawnAtOnce()) << "focus changed twice and the theme once before the first frame";
    EXPECT_TRUE(isBackdrop(slate.pixelColor(2, 2), view.theme()));

    focusOn(tree.get());
    showCanvas(view, 640, 480);
    finishEntry(view);
    EXPECT_EQ(renderCanvas(*view.canvas()).size(), QSize(640, 480));
    EXPECT_EQ(renderCanvas(*view.canvas()), drawnAtOnce()) << "resized before the first frame";
    state.setColorMode(ColorMode::type);
    EXPECT_EQ(renderCanvas(*view.canvas()), drawnAtOnce()) << "coloured by type while in place";
}

// The centre is hovered and selected again and again: its rings are laid from pixels kept once a
// size and theme, whatever their size, and come out as the painter strokes them.
TEST_F(MindMapViewTest, CentreRingsAreLaidFromKeptPixelsAsThePainterStrokesThem) {
    test::display(state, tree);
    MindMapView view(state);
    showCanvas(view, 800, 600);
    finishEntry(view);
    const QImage plain = renderCanvas(*view.canvas());
    const FileNode* notes = findNode(*tree, "notes.txt");
    struct Step {
        const FileNode* hovered;
        const FileNode* selected;
    };
    for (const Step step : {Step{tree.get(), nullptr}, Step{notes, tree.get()}, Step{tree.get(), tree.get()},
                            Step{tree.get(), notes}}) {
        state.setHovered(state.retain(step.hovered));
        state.setSelection(state.retain(step.selected));
        QImage expected = plain.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        {
            QPainter painter(&expected);
            MindMapCanvas::paintHighlight(painter, recordFor(view.graph().nodes, step.hovered),
                                          recordFor(view.graph().nodes, step.selected), view.theme(), nullptr,
                                          inkOf(view));
        }
        EXPECT_EQ(renderCanvas(*view.canvas()), expected.convertToFormat(QImage::Format_ARGB32))
            << step.hovered->name() << " hovered";
        if (step.hovered == tree.get()) {
            EXPECT_TRUE(view.centreRingLaidFromKept());
        }
    }
}

} // namespace
