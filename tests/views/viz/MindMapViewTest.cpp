// The mind-map view: the entry spring, hits and rings near discs, and labels, checked on offscreen
// renders.
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
}

} // namespace
