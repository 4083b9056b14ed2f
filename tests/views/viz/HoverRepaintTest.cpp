// Hover marks repainted at twice the pixel ratio (or the one QT_SCALE_FACTOR asks for), where they
// are copied from kept pixels: after a run of pointer moves, each repainting only the marks, the
// window holds exactly the picture with the mark drawn over it the plain way, on the treemap and
// the icicle, in light and dark themes, for the focus's own tile, large and small ones; and only
// the two marks' areas are repainted.
#include "state/AppState.h"
#include "support/DisplayTree.h"
#include "support/TreeText.h"
#include "views/components/canvas/HighlightOverlay.h"
#include "views/components/canvas/LayeredCanvas.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/ThemedWidget.h"
#include "views/components/canvas/TintCache.h"
#include "views/viz/IcicleView.h"
#include "views/viz/MindMapCanvas.h"
#include "views/viz/MindMapView.h"
#include "views/viz/TreemapHoverPicture.h"
#include "views/viz/TreemapView.h"
#include "views/viz/VizTestSupport.h"

#include <QApplication>
#include <QBackingStore>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using namespace tallymere;

namespace {

constexpr std::string_view scene = R"(/srv/t/
  docs/
    a.pdf 300
    b.pdf 200
    c.txt 20
  movie.mp4 900
  pics/
    one.jpg 60
    two.jpg 50
    three.jpg 40
    four.jpg 30
  notes.txt 50
  tiny.txt 4
)";

// The pixel ratio the run asks for.
int ratio() { return qEnvironmentVariableIntValue("QT_SCALE_FACTOR"); }

// The window's pixels as its paints left them.
QImage windowPixels(QWidget& window) {
    auto* device = window.backingStore() ? window.backingStore()->paintDevice() : nullptr;
    if (!device || device->devType() != QInternal::Image) return {};
    return static_cast<QImage*>(device)->convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage grabbed(QWidget& widget) { return widget.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied); }

// Collects the regions a widget is asked to paint.
class PaintRegions : public QObject {
public:
    QRegion painted;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

} // namespace

TEST(HoverRepaint, TreemapMarksAreThePictureWithThePlainMarkOverIt) {
    AppState state{std::make_shared<MemoryPreferenceStore>()};
    const AppState::NodePtr tree = test::treeFromText(scene);
    state.setUseAllocatedSize(false);
    test::display(state, tree);
    // At an odd place in its window, so that pixels laid at the wrong place show.
    QWidget window;
    window.resize(850, 640);
    TreemapView view(state, &window);
    view.setGeometry(37, 21, 800, 600);
    window.show();
    QCoreApplication::processEvents();
    ASSERT_EQ(view.devicePixelRatioF(), ratio());
    const auto node = [&](std::string_view name) { return state.retain(test::findNode(*tree, name)); };
    const std::vector<AppState::NodePtr> moves = {node("tiny.txt"), tree,          node("movie.mp4"), tree,
                                                  node("docs"),     nullptr,       node("pics"),      node("movie.mp4"),
                                                  node("one.jpg"),  node("docs"),  tree};
    // The canvas's part of the window's pixels.
    const auto shown = [&] {
        return windowPixels(window).copy(QRect(view.mapTo(&window, QPoint(0, 0)) * ratio(), view.size() * ratio()));
    };
    for (ThemeID id : {ThemeID::paper, ThemeID::slate, ThemeID::sage}) {
        ThemedWidget::applyTheme(&view, Theme::make(id));
        state.setHovered({});
        QCoreApplication::processEvents();
        const QImage plain = grabbed(view);
        const QColor ink = HighlightOverlay::ink(view.theme());
        // The plain way: the picture under the grown tile with the tint filled over it, then the
        // outline stroked by the painter.
        const auto expectedFor = [&](const AppState::NodePtr& hovered) {
            if (!hovered) return plain.copy();
            const std::optional<QRectF> tile = view.rectOf(hovered.get());
            EXPECT_TRUE(tile);
            return test::treemapHoverDrawnPlainly(plain, tile.value_or(QRectF()), ink);
        };
        const std::string theme = " in theme " + std::to_string(int(id));
        // The focus's tile hovered in the same paint as a new picture is drawn, before its tinted
        // copy can be ready.
        view.invalidateBase();
        state.setHovered(tree);
        QCoreApplication::processEvents();
        EXPECT_EQ(shown(), expectedFor(tree)) << "the focus with a new picture" << theme;
        for (const AppState::NodePtr& hovered : moves) {
            state.setHovered(hovered);
            QCoreApplication::processEvents();
            const QImage expected = expectedFor(hovered);
            const std::string what = std::string(hovered ? hovered->name() : "nothing") + theme;
            EXPECT_EQ(shown(), expected) << what;
            EXPECT_EQ(grabbed(view), expected) << what << ", painted whole";
        }
    }
}

TEST(HoverRepaint, IcicleMarksAreThePictureWithThePlainMarkOverItAndRepaintOnlyThemselves) {
    test::loadFonts();
    AppState state{std::make_shared<MemoryPreferenceStore>()};
    const AppState::NodePtr tree = test::treeFromText(scene);
    state.setUseAllocatedSize(false);
    test::display(state, tree);
    IcicleView view(state);
    test::showAt(view, 820, 400);
    QCoreApplication::processEvents();
    QWidget& surface = *view.canvas();
    ASSERT_EQ(surface.devicePixelRatioF(), ratio());
    const QPoint origin = surface.mapTo(&view, QPoint(0, 0));
    const auto node = [&](std::string_view name) { return state.retain(test::findNode(*tree, name)); };
    const auto barOf = [&](const AppState::NodePtr& n) {
        const LayoutTile* tile = recordFor(view.tiles(), n.get());
        return tile ? QRectF(tile->rect.x, tile->rect.y, tile->rect.width, tile->rect.height) : QRectF();
    };
    const std::vector<AppState::NodePtr> moves = {node("tiny.txt"), tree,          node("movie.mp4"), node("four.jpg"),
                                                  node("a.pdf"),    tree,          node("docs"),      nullptr,
                                                  node("four.jpg"), node("movie.mp4"), tree};
    int apart = 0;
    PaintRegions regions;
    surface.installEventFilter(&regions);
    for (ThemeID id : {ThemeID::paper, ThemeID::slate, ThemeID::linen}) {
        ThemedWidget::applyTheme(&view, Theme::make(id));
        state.setHovered({});
        QCoreApplication::processEvents();
        const QImage plain = grabbed(view);
        AppState::NodePtr before;
        for (const AppState::NodePtr& hovered : moves) {
            regions.painted = QRegion();
            state.setHovered(hovered);
            QCoreApplication::processEvents();
            QImage expected = plain.copy();
            if (hovered) {
                QPainter painter(&expected);
                painter.setClipRect(QRect(origin, surface.size()));
                painter.translate(origin);
                HighlightOverlay overlay{barOf(hovered), std::nullopt, {}, view.theme()};
                overlay.paint(painter);
            }
            const std::string what = std::string(hovered ? hovered->name() : "nothing") + " in theme " +
                                     std::to_string(int(id));
            EXPECT_EQ(windowPixels(view), expected) << what;
            // Two marks in different rows and far apart: the space between them, within the
            // rectangle round both, is no part of either and is not repainted.
            if (before && hovered) {
                QRectF left = barOf(before), right = barOf(hovered);
                if (left.left() > right.left()) std::swap(left, right);
                if (right.left() - left.right() > 8 && left.center().y() != right.center().y()) {
                    ++apart;
                    const QPointF between((left.right() + right.left()) / 2, (left.center().y() + right.center().y()) / 2);
                    EXPECT_FALSE(regions.painted.contains(between.toPoint())) << what;
                    EXPECT_TRUE(regions.painted.contains(right.center().toPoint())) << what;
                }
            }
            before = hovered;
        }
    }
    EXPECT_GT(apart, 0);
}

// A mind map of the scene (sized by logical bytes) at an odd place in its window, shown, its entry
// spring run to its end.
struct MindMapWindow {
    AppState state{std::make_shared<MemoryPreferenceStore>()};
    const AppState::NodePtr tree = test::treeFromText(scene);
    QWidget window;
    std::unique_ptr<MindMapView> view;
    QVariantAnimation* entry = nullptr;
    MindMapWindow() {
        test::loadFonts();
        state.setUseAllocatedSize(false);
        test::display(state, tree);
        window.resize(760, 560);
        view = std::make_unique<MindMapView>(state, &window);
        view->setGeometry(23, 17, 720, 520);
        window.show();
        QCoreApplication::processEvents();
        entry = view->findChild<QVariantAnimation*>("entryAnimation");
        if (entry) entry->setCurrentTime(entry->duration());
        QCoreApplication::processEvents();
    }
    // The view leaves the window before the window goes.
    ~MindMapWindow() { view.reset(); }
};

// The mind map's centre is hovered and selected again and again: its rings are laid from kept
// pixels, the hover's stroked ahead once a picture of a new size or theme is drawn. The window
// holds exactly the picture with the rings stroked over it by the painter.
TEST(HoverRepaint, MindMapRingsAreThePictureWithThePlainRingsOverIt) {
    MindMapWindow map;
    AppState& state = map.state;
    const AppState::NodePtr& tree = map.tree;
    QWidget& window = map.window;
    MindMapView& view = *map.view;
    ASSERT_NE(map.entry, nullptr);
    QWidget& surface = *view.canvas();
    ASSERT_EQ(surface.devicePixelRatioF(), ratio());
    const auto node = [&](std::string_view name) { return state.retain(test::findNode(*tree, name)); };
    const auto shown = [&] {
        return windowPixels(window).copy(QRect(surface.mapTo(&window, QPoint(0, 0)) * ratio(), surface.size() * ratio()));
    };
    struct Step {
        AppState::NodePtr hovered, selected;
    };
    const std::vector<Step> steps = {{tree, nullptr},           {node("movie.mp4"), nullptr}, {tree, nullptr},
                                     {nullptr, tree},           {tree, tree},                 {node("docs"), tree},
                                     {tree, node("movie.mp4")}, {nullptr, nullptr},           {tree, nullptr}};
    for (ThemeID id : {ThemeID::paper, ThemeID::slate}) {
        ThemedWidget::applyTheme(&view, Theme::make(id));
        state.setHovered({});
        state.setSelection({});
        QCoreApplication::processEvents();
        const QImage plain = grabbed(surface);
        ASSERT_EQ(plain.devicePixelRatio(), ratio());
        // The rings pass behind the labels.
        const std::vector<QRectF> ink = MindMapCanvas::labelInk(MindMapCanvas::placeLabels(
            view.graph(), view.theme(), state.showLabels(), state.useAllocatedSize(), surface.width()));
        for (const Step& step : steps) {
            state.setHovered(step.hovered);
            state.setSelection(step.selected);
            QCoreApplication::processEvents();
            QImage expected = plain.copy();
            {
                QPainter painter(&expected);
                MindMapCanvas::paintHighlight(painter, recordFor(view.graph().nodes, step.hovered.get()),
                                              recordFor(view.graph().nodes, step.selected.get()), view.theme(),
                                              nullptr, ink);
            }
            const std::string what = std::string(step.hovered ? step.hovered->name() : "nothing") + " hovered, " +
                                     std::string(step.selected ? step.selected->name() : "nothing") + " selected in theme " +
                                     std::to_string(int(id));
            EXPECT_EQ(shown(), expected) << what;
        }
        EXPECT_TRUE(view.centreRingLaidFromKept()) << "in theme " << int(id);
    }
}

// While the map springs in, its scaled, faded picture is laid in bands of the window's rows on
// several threads. Each band starts its scaling afresh, so a pixel near a band's edge may take its
// neighbour's source pixel, but the frame is the painter's own drawing of the whole map otherwise.
TEST(HoverRepaint, MindMapSpringFramesAreThePicturesScaledAndFaded) {
    MindMapWindow map;
    AppState& state = map.state;
    const AppState::NodePtr& tree = map.tree;
    QWidget& window = map.window;
    MindMapView& view = *map.view;
    QVariantAnimation* entry = map.entry;
    ASSERT_NE(entry, nullptr);
    QWidget& surface = *view.canvas();
    const QImage plain = grabbed(surface);
    const QRect shownRect(surface.mapTo(&window, QPoint(0, 0)) * ratio(), surface.size() * ratio());
    state.setFocus(state.retain(test::findNode(*tree, "pics")));
    state.setFocus(tree);
    entry->pause(); // frames at set times only
    for (int time : {40, 120, 200}) {
        entry->setCurrentTime(time);
        QCoreApplication::processEvents();
        const double appearance = view.appearance();
        ASSERT_GT(appearance, 0);
        ASSERT_LT(appearance, 1);
        QImage expected(plain.size(), QImage::Format_ARGB32_Premultiplied);
        expected.setDevicePixelRatio(plain.devicePixelRatio());
        expected.fill(LayeredCanvas::backdrop(view.theme()));
        {
            QPainter painter(&expected);
            const QPointF centre = QRectF(surface.rect()).center();
            const double scale = 0.94 + 0.06 * appearance;
            painter.setOpacity(appearance);
            painter.translate(centre);
            painter.scale(scale, scale);
            painter.translate(-centre);
            painter.setRenderHint(QPainter::SmoothPixmapTransform, ratio() < 2);
            painter.drawImage(QPointF(0, 0), plain);
        }
        const QImage shown = windowPixels(window).copy(shownRect);
        ASSERT_EQ(shown.size(), expected.size());
        int differing = 0, far = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                if (const QRgb a = shown.pixel(x, y), b = expected.pixel(x, y); a != b) {
                    ++differing;
                    // A neighbour's source pixel is near in colour on the map's smooth fills.
                    far += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b)) > 96;
                }
        EXPECT_LT(differing, shown.width() * shown.height() / 2000) << "at " << time << " ms";
        EXPECT_LT(far, shown.width() * shown.height() / 20000) << "at " << time << " ms";
    }
}

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Twice the pixel ratio by default, as most screens have: the window's pixels at 2 per point.
    ::setenv("QT_SCALE_FACTOR", "2", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
