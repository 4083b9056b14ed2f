// What the three canvas views share: the pointer reaches the store through each view's own hit
// test (hover, click, double click, context menu), and degenerate trees draw a sound picture with
// finite geometry.
#include "support/RecordingDesktop.h"
#include "views/components/NodeContextMenu.h"
#include "views/components/NodeInteraction.h"
#include "views/viz/IcicleView.h"
#include "views/viz/MindMapView.h"
#include "views/viz/PackView.h"
#include "views/viz/VizTestSupport.h"
#include "state/AppStateTestSupport.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QVariantAnimation>

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

using namespace tallymere;
using namespace tallymere::test;

namespace {

bool finite(Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// How a test reads each view's records.
template <class View>
struct Records;

template <>
struct Records<PackView> {
    static std::optional<QPointF> pointOf(const PackView& view, const FileNode* node) {
        const LayoutCircle* c = recordFor(view.circles(), node);
        if (!c) return std::nullopt;
        // A folder's middle may be covered by its children: look inside its rim as well.
        for (double turn = 0; turn < 1; turn += 1.0 / 64) {
            for (double reach : {0.0, 0.95}) {
                const QPointF at(c->center.x + reach * c->radius * std::cos(2 * M_PI * turn),
                                 c->center.y + reach * c->radius * std::sin(2 * M_PI * turn));
                if (view.nodeAt(at) == node || c->depth == 0) return at;
            }
        }
        return std::nullopt;
    }
    static const FileNode* start(const PackView& view) {
        return view.circles().empty() ? nullptr : view.circles().front().node;
    }
    static bool allFinite(const PackView& view) {
        for (const LayoutCircle& c : view.circles())
            if (!finite(c.center) || !std::isfinite(c.radius) || c.radius <= 0) return false;
        return true;
    }
    static void settle(PackView&) {}
};

template <>
struct Records<IcicleView> {
    static std::optional<QPointF> pointOf(const IcicleView& view, const FileNode* node) {
        const LayoutTile* t = recordFor(view.tiles(), node);
        if (!t) return std::nullopt;
        return QPointF(t->rect.midX(), t->rect.midY());
    }
    static const FileNode* start(const IcicleView& view) {
        return view.tiles().empty() ? nullptr : view.tiles().front().node;
    }
    static bool allFinite(const IcicleView& view) {
        for (const LayoutTile& t : view.tiles())
            if (!t.rect.isFinite() || t.rect.width < 0 || t.rect.height < 0) return false;
        return std::isfinite(view.contentHeight());
    }
    static void settle(IcicleView&) {}
};

template <>
struct Records<MindMapView> {
    static std::optional<QPointF> pointOf(const MindMapView& view, const FileNode* node) {
        const GraphNode* n = recordFor(view.graph().nodes, node);
        if (!n) return std::nullopt;
        return QPointF(n->position.x, n->position.y);
    }
    static const FileNode* start(const MindMapView& view) {
        return view.graph().nodes.empty() ? nullptr : view.graph().nodes.front().node;
    }
    static bool allFinite(const MindMapView& view) {
        for (const GraphNode& n : view.graph().nodes)
            if (!finite(n.position) || !std::isfinite(n.radius) || !std::isfinite(n.angle)) return false;
        for (const GraphEdge& e : view.graph().edges)
            if (!finite(e.from) || !finite(e.to) || !std::isfinite(e.fromRadius) || !std::isfinite(e.toRadius))
                return false;
        return true;
    }
    static void settle(MindMapView& view) {
        auto* animation = view.findChild<QVariantAnimation*>("entryAnimation");
        animation->setCurrentTime(animation->duration());
    }
};

template <class View>
class CanvasViews : public ::testing::Test {
protected:
    static void SetUpTestSuite() { loadFonts(); }
    AppState state{vizStore()};
    RecordingDesktop desktop;
};

using ViewTypes = ::testing::Types<PackView, IcicleView, MindMapView>;
TYPED_TEST_SUITE(CanvasViews, ViewTypes);

void send(QWidget& canvas, QEvent::Type type, QPointF at, Qt::MouseButton button = Qt::LeftButton) {
    QMouseEvent event(type, at, canvas.mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : button,
                      type == QEvent::MouseMove ? Qt::NoButton : button, Qt::NoModifier);
    QCoreApplication::sendEvent(&canvas, &event);
}

TYPED_TEST(CanvasViews, PointerActionsReachTheStoreThroughTheViewsHitTest) {
    using R = Records<TypeParam>;
    AppState& state = this->state;
    state.setDesktop(&this->desktop);
    const auto tree = treeFromText("root/\n"
                                   "  big/\n"
                                   "    one.mov 30000\n"
                                   "    two.mov 10000\n"
                                   "  notes.txt 20000\n"
                                   "  song.mp3 10000\n");
    const FileNode* big = findNode(*tree, "big");
    const FileNode* notes = findNode(*tree, "notes.txt");
    state.setFocus(tree);
    TypeParam view(state);
    showAt(view, 900, 700);
    R::settle(view);
    QWidget& canvas = *view.canvas();
    const auto atNotes = R::pointOf(view, notes), atBig = R::pointOf(view, big);
    ASSERT_TRUE(atNotes && atBig);

    send(canvas, QEvent::MouseMove, *atNotes);
    EXPECT_EQ(state.hovered().get(), notes);
    send(canvas, QEvent::MouseButtonPress, *atNotes);
    send(canvas, QEvent::MouseButtonRelease, *atNotes);
    EXPECT_EQ(state.selection().get(), notes);
    send(canvas, QEvent::MouseButtonDblClick, *atNotes);
    ASSERT_EQ(this->desktop.revealed.size(), 1u);
    EXPECT_EQ(this->desktop.revealed[0], std::vector<std::string>{notes->path()});

    // The context menu is built for the node under the pointer.
    auto* interaction = canvas.findChild<NodeInteraction*>();
    ASSERT_NE(interaction, nullptr);
    QContextMenuEvent request(QContextMenuEvent::Mouse, atBig->toPoint(), canvas.mapToGlobal(atBig->toPoint()));
    QCoreApplication::sendEvent(&canvas, &request);
    QMenu* menu = interaction->openMenu();
    ASSERT_NE(menu, nullptr);
    QAction* add = nullptr;
    bool canFocus = false;
    for (QAction* action : menu->actions()) {
        if (action->text() == NodeContextMenu::addTitle) add = action;
        if (action->text() == NodeContextMenu::focusTitle) canFocus = true;
    }
    EXPECT_TRUE(canFocus);
    ASSERT_NE(add, nullptr);
    add->trigger();
    EXPECT_TRUE(state.isQueued(big));
    menu->close();

    // A double click on a folder drills into it, and the view lays it out from there.
    send(canvas, QEvent::MouseMove, *atBig);
    send(canvas, QEvent::MouseButtonDblClick, *atBig);
    EXPECT_EQ(state.focus().get(), big);
    EXPECT_EQ(state.selection(), nullptr);
    EXPECT_EQ(R::start(view), big);

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&canvas, &leave);
    EXPECT_EQ(state.hovered(), nullptr);
}

// Remembers the area of every paint event of a widget.
struct PaintSpy : QObject {
    QRegion painted;
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(event)->region();
            ++paints;
        }
        return false;
    }
};

TYPED_TEST(CanvasViews, HoverRepaintsOnlyAroundTheMark) {
    using R = Records<TypeParam>;
    AppState& state = this->state;
    const auto tree = treeFromText("root/\n  a.bin 5000\n  b.bin 3000\n  c.bin 2000\n");
    state.setFocus(tree);
    TypeParam view(state);
    showAt(view, 900, 700);
    R::settle(view);
    const auto atC = R::pointOf(view, findNode(*tree, "c.bin"));
    ASSERT_TRUE(atC);
    QCoreApplication::processEvents();
    PaintSpy spy;
    view.canvas()->installEventFilter(&spy);
    state.setHovered(state.retain(findNode(*tree, "c.bin")));
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
        state.setFocus(tree);
        R::settle(view);
        EXPECT_EQ(R::start(view), tree.get()) << "the start node is always drawn";
        EXPECT_TRUE(R::allFinite(view));
        const QImage image = renderCanvas(*view.canvas());
        EXPECT_FALSE(image.isNull());
        const auto centre = R::pointOf(view, tree.get());
        ASSERT_TRUE(centre);
        // The pointer sweeping the canvas finds only nodes of this tree.
        for (int y = 0; y < view.canvas()->height(); y += 37)
            for (int x = 0; x < view.canvas()->width(); x += 41) {
                if (const FileNode* hit = view.nodeAt(QPointF(x, y))) {
                    EXPECT_TRUE(hit == tree.get() || !hit->ancestors().empty());
                }
            }
    }
    state.setFocus(nullptr);
    EXPECT_EQ(R::start(view), nullptr) << "nothing on display draws nothing";
    EXPECT_EQ(view.nodeAt(QPointF(100, 100)), nullptr);
}

} // namespace
