// What the circle-pack, icicle and mind-map views share: the pointer reaches the store through
// each view's own hit test, look changes redraw without a new layout, hover repaints only around
// its mark, and degenerate trees draw a sound picture with finite geometry.
#include "state/AppStateTestSupport.h"
#include "support/DisplayTree.h"
#include "support/RecordingDesktop.h"
#include "views/components/NodeContextMenu.h"
#include "views/viz/IcicleView.h"
#include "views/viz/MindMapView.h"
#include "views/viz/PackView.h"
#include "views/viz/VizTestSupport.h"

#include <QPaintEvent>
#include <QVariantAnimation>

#include <cmath>
#include <optional>

using namespace tallymere;
using namespace tallymere::test;

namespace {

bool finite(Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// How a test reads each view's records: a copy of them, a point of the canvas that hits a node,
// and whether every coordinate is finite.
template <class View>
struct Records;

template <>
struct Records<PackView> {
    static std::vector<LayoutCircle> of(const PackView& view) { return view.circles(); }
    static std::optional<QPointF> pointOf(const PackView& view, const FileNode* node) {
        const LayoutCircle* c = recordFor(view.circles(), node);
        // A folder's middle is covered by its children: look inside its rim as well.
        for (double turn = 0; c && turn < 1; turn += 1.0 / 64)
            for (double reach : {0.0, 0.95}) {
                const QPointF at(c->center.x + reach * c->radius * std::cos(2 * M_PI * turn),
                                 c->center.y + reach * c->radius * std::sin(2 * M_PI * turn));
                if (view.nodeAt(at) == node || c->depth == 0) return at;
            }
        return std::nullopt;
    }
    static bool allFinite(const PackView& view) {
        return std::all_of(view.circles().begin(), view.circles().end(),
                           [](const LayoutCircle& c) { return finite(c.center) && c.radius > 0 && std::isfinite(c.radius); });
    }
};

template <>
struct Records<IcicleView> {
    static std::vector<LayoutTile> of(const IcicleView& view) { return view.tiles(); }
    static std::optional<QPointF> pointOf(const IcicleView& view, const FileNode* node) {
        const LayoutTile* t = recordFor(view.tiles(), node);
        return t ? std::optional(QPointF(t->rect.midX(), t->rect.midY())) : std::nullopt;
    }
    static bool allFinite(const IcicleView& view) {
        return std::isfinite(view.contentHeight()) &&
               std::all_of(view.tiles().begin(), view.tiles().end(), [](const LayoutTile& t) { return t.rect.isFinite(); });
    }
};

template <>
struct Records<MindMapView> {
    static GraphLayout of(const MindMapView& view) { return view.graph(); }
    static std::optional<QPointF> pointOf(const MindMapView& view, const FileNode* node) {
        const GraphNode* n = recordFor(view.graph().nodes, node);
        return n ? std::optional(QPointF(n->position.x, n->position.y)) : std::nullopt;
    }
    static bool allFinite(const MindMapView& view) {
        for (const GraphNode& n : view.graph().nodes)
            if (!finite(n.position) || !std::isfinite(n.radius) || !std::isfinite(n.angle)) return false;
        for (const GraphEdge& e : view.graph().edges)
            if (!finite(e.from) || !finite(e.to) || !std::isfinite(e.toRadius)) return false;
        return true;
    }
};

template <class View>
class CanvasViews : public ::testing::Test {
protected:
    static void SetUpTestSuite() { loadFonts(); }
    using R = Records<View>;
    RecordingDesktop desktop;
    AppState state{std::make_shared<MemoryPreferenceStore>()};
    std::shared_ptr<FileNode> tree = treeFromText("root/\n"
                                                  "  big/\n"
                                                  "    one.mov 30000\n"
                                                  "    two.mov 10000\n"
                                                  "  notes.txt 20000\n"
                                                  "  song.mp3 10000\n");

    // The view shown with its map in place (the mind map's entry spring run to its end).
    void settle(View& view) {
        if (auto* spring = view.template findChild<QVariantAnimation*>("entryAnimation"))
            spring->setCurrentTime(spring->duration());
    }
    const FileNode* start(const View& view) {
        const auto records = R::of(view);
        if constexpr (std::is_same_v<View, MindMapView>) return records.nodes.empty() ? nullptr : records.nodes[0].node;
        else return records.empty() ? nullptr : records[0].node;
    }
};

using ViewTypes = ::testing::Types<PackView, IcicleView, MindMapView>;
TYPED_TEST_SUITE(CanvasViews, ViewTypes);

TYPED_TEST(CanvasViews, PointerActionsReachTheStoreThroughTheViewsHitTest) {
    using R = Records<TypeParam>;
    AppState& state = this->state;
    state.setDesktop(&this->desktop);
    const FileNode* big = findNode(*this->tree, "big");
    const FileNode* notes = findNode(*this->tree, "notes.txt");
    test::display(state, this->tree);
    TypeParam view(state);
    showAt(view, 900, 700);
    this->settle(view);
    QWidget& canvas = *view.canvas();
    const auto atNotes = R::pointOf(view, notes), atBig = R::pointOf(view, big);
    ASSERT_TRUE(atNotes && atBig);

    clickAt(canvas, *atNotes);
    EXPECT_EQ(state.hovered().get(), notes);
    EXPECT_EQ(state.selection().get(), notes);
    doubleClickAt(canvas, *atNotes);
    EXPECT_EQ(this->desktop.revealed, std::vector<std::vector<std::string>>{{notes->path()}});

    EXPECT_TRUE(chooseFromMenu(canvas, *atBig, NodeContextMenu::addTitle));
    EXPECT_TRUE(state.isQueued(big));

    // A double click on a folder drills into it, and the view lays it out from there.
    doubleClickAt(canvas, *atBig);
    EXPECT_EQ(state.focus().get(), big);
    EXPECT_EQ(state.selection(), nullptr);
    EXPECT_EQ(this->start(view), big);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&canvas, &leave);
    EXPECT_EQ(state.hovered(), nullptr);
}

TYPED_TEST(CanvasViews, LookChangesRedrawWithoutANewLayout) {
    using R = Records<TypeParam>;
    AppState& state = this->state;
    test::display(state, this->tree);
    state.setColorMode(ColorMode::branch);
    TypeParam view(state);
    showAt(view, 900, 700);
    this->settle(view);
    const auto before = R::of(view);
    const int revision = view.revision();
    const QImage branch = renderCanvas(*view.canvas());
    state.setColorMode(ColorMode::type);
    EXPECT_EQ(view.revision(), revision + 1);
    EXPECT_EQ(R::of(view), before);
    EXPECT_NE(renderCanvas(*view.canvas()), branch) << "the new colours show at once";
    state.setShowLabels(false);
    state.setHovered(state.retain(findNode(*this->tree, "song.mp3")));
    EXPECT_EQ(view.revision(), revision + 1);
    EXPECT_EQ(R::of(view), before);
}

// Remembers the area of every paint event of a widget.
struct PaintSpy : QObject {
    QRegion painted;
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(event)->region(), ++paints;
        return false;
    }
};

TYPED_TEST(CanvasViews, HoverRepaintsOnlyAroundTheMark) {
    using R = Records<TypeParam>;
    AppState& state = this->state;
    test::display(state, treeFromText("root/\n  a.bin 5000\n  b.bin 3000\n  c.bin 2000\n"));
    TypeParam view(state);
    showAt(view, 900, 700);
    this->settle(view);
    const FileNode* c = findNode(*state.focus(), "c.bin");
    const auto atC = R::pointOf(view, c);
    ASSERT_TRUE(atC);
    QCoreApplication::processEvents();
    PaintSpy spy;
    view.canvas()->installEventFilter(&spy);
    state.setHovered(state.retain(c));
    ASSERT_TRUE(waitUntil([&] { return spy.paints > 0; }, 5000));
    const QRect bounds = spy.painted.boundingRect();
    EXPECT_TRUE(bounds.contains(atC->toPoint()));
    EXPECT_LT(bounds.width() * bounds.height(), view.canvas()->width() * view.canvas()->height() / 4);
    view.canvas()->removeEventFilter(&spy);
}

TYPED_TEST(CanvasViews, DegenerateTreesDrawASoundPicture) {
    using R = Records<TypeParam>;
    AppState& state = this->state;
    const std::pair<const char*, std::shared_ptr<FileNode>> trees[] = {
        {"empty folder", treeFromText("empty/\n")},
        {"one child", treeFromText("root/\n  only.bin 500\n")},
        {"zero-byte files", treeFromText("root/\n  a 0\n  b 0\n  sub/\n    c 0\n")},
        {"denied folder", treeFromText("locked/ denied\n")},
        {"1,000 levels", deepTree(1000)},
        {"100,000 children", wideTree(100000)},
    };
    TypeParam view(state);
    showAt(view, 900, 700);
    for (const auto& [what, tree] : trees) {
        SCOPED_TRACE(what);
        test::display(state, tree);
        this->settle(view);
        EXPECT_EQ(this->start(view), tree.get()) << "the start node is always drawn";
        EXPECT_TRUE(R::allFinite(view));
        EXPECT_FALSE(renderCanvas(*view.canvas()).isNull());
        // The pointer sweeping the canvas finds only nodes of this tree.
        for (int y = 0; y < view.canvas()->height(); y += 37)
            for (int x = 0; x < view.canvas()->width(); x += 41) {
                const FileNode* hit = view.nodeAt(QPointF(x, y));
                EXPECT_TRUE(!hit || hit == tree.get() || hit->ancestors().front() == tree.get());
            }
    }
    test::display(state, nullptr);
    EXPECT_EQ(this->start(view), nullptr) << "nothing on display draws nothing";
    EXPECT_EQ(view.nodeAt(QPointF(100, 100)), nullptr);
}

} // namespace
