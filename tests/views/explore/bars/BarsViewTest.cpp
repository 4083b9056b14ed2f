#include "views/explore/bars/BarsView.h"

#include "layout/PercentText.h"
#include "state/AppStateTestSupport.h"
#include "support/ColourChecks.h"
#include "support/DisplayTree.h"
#include "support/RecordingDesktop.h"
#include "support/TreeText.h"
#include "support/WindowPixels.h"
#include "views/components/FocusChain.h"
#include "views/components/NodeInteraction.h"
#include "views/explore/bars/BarsList.h"

#include <QApplication>
#include <QBackingStore>
#include <QContextMenuEvent>
#include <QCursor>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

using namespace tallymere;

namespace {

using test::looksLike;
using test::over;

using test::childNamed;

struct Fixture {
    test::RecordingDesktop desktop;
    AppState state{test::memoryStore()};
    AppState::NodePtr tree = test::treeFromText(R"(/data/
  media/
    film.mp4 300
    song.mp3 100
  notes.txt 200
  evicted.pdf 150 alloc=0
  empty/
)");
    BarsView view{state};

    Fixture() {
        state.setDesktop(&desktop);
        state.setUseAllocatedSize(false);
        test::display(state, tree);
        view.resize(900, 400);
        view.show();
        QApplication::processEvents();
    }

    BarsList& list() { return *view.list(); }
    QImage image() { return view.grab().toImage(); }
    // A point of the list in view coordinates.
    QPoint inView(QPointF listPoint) { return list().mapTo(&view, listPoint.toPoint()); }

    void send(QWidget& widget, QEvent::Type type, QPointF at, Qt::MouseButton button = Qt::NoButton) {
        QMouseEvent event(type, at, widget.mapToGlobal(at), button, button, Qt::NoModifier);
        QApplication::sendEvent(&widget, &event);
    }
    void doubleClick(QPointF at) {
        send(list(), QEvent::MouseButtonPress, at, Qt::LeftButton);
        send(list(), QEvent::MouseButtonRelease, at, Qt::LeftButton);
        send(list(), QEvent::MouseButtonDblClick, at, Qt::LeftButton);
        send(list(), QEvent::MouseButtonRelease, at, Qt::LeftButton);
    }
};

std::vector<std::string> names(const std::vector<const FileNode*>& rows) {
    std::vector<std::string> out;
    for (const FileNode* node : rows) out.emplace_back(node->name());
    return out;
}

} // namespace

TEST(BarsViewRender, BarsScaleToTheFirstRowOnRealPixels) {
    Fixture f;
    ASSERT_EQ(names(f.view.rows()), (std::vector<std::string>{"media", "notes.txt", "evicted.pdf", "empty"}));
    EXPECT_EQ(f.view.countText(), "4 shown");
    const QImage image = f.image();
    const Theme theme;

    // media (400) fills its track; notes.txt (200) half of it; the empty folder shows a 3-wide stub.
    const QRectF track = f.list().trackRect(1);
    const QPointF quarter(track.left() + track.width() * 0.25, track.top() + 4);
    const QPointF threeQuarters(track.left() + track.width() * 0.75, track.top() + 4);
    EXPECT_TRUE(
        looksLike(image.pixelColor(f.inView(quarter)), theme.nodeColor(*childNamed(*f.tree, "notes.txt"), 1, false)));
    EXPECT_TRUE(looksLike(image.pixelColor(f.inView(threeQuarters)), theme.surfaceRaised));
    EXPECT_TRUE(looksLike(image.pixelColor(f.inView(QPointF(threeQuarters.x(), f.list().trackRect(0).top() + 4))),
                          theme.nodeColor(*childNamed(*f.tree, "media"), 1, false)));
    EXPECT_DOUBLE_EQ(f.list().barRect(3).width(), BarsList::minimumBarWidth);
    const QRectF stub = f.list().trackRect(3);
    EXPECT_TRUE(looksLike(image.pixelColor(f.inView(QPointF(stub.left() + 1.5, stub.center().y()))),
                          theme.nodeColor(*childNamed(*f.tree, "empty"), 1, false)));
    EXPECT_TRUE(
        looksLike(image.pixelColor(f.inView(QPointF(stub.left() + 5, stub.center().y()))), theme.surfaceRaised));

    // The rows keep 16 clear on both sides of the view, and the sizes end on the row's right edge,
    // under the header's count, whether or not a scroll bar shows.
    EXPECT_EQ(f.list().width(), f.view.width());
    const QRectF first = f.list().rowRect(0);
    EXPECT_DOUBLE_EQ(first.left(), 16);
    EXPECT_DOUBLE_EQ(first.right(), f.view.width() - 16);
    int inked = -1;
    for (int x = f.view.width() - 1; x >= 0 && inked < 0; --x)
        for (int y = int(first.top()); y < int(first.bottom()); ++y)
            if (looksLike(image.pixelColor(f.inView(QPointF(x, y))), theme.text)) {
                inked = x;
                break;
            }
    EXPECT_GE(inked, int(first.right()) - 3) << "the size text ends at the row's edge";
    EXPECT_LT(inked, int(first.right()));

    // Only the evicted file carries the cloud chip, after its name: its capsule is tinted with the
    // second accent.
    EXPECT_TRUE(f.list().cloudChipRect(0).isEmpty());
    const QRectF chip = f.list().cloudChipRect(2);
    ASSERT_FALSE(chip.isEmpty());
    EXPECT_GT(chip.left(), f.list().nameRect(2).left());
    const QColor chipFill = image.pixelColor(f.inView(QPointF(chip.right() - 4, chip.center().y())));
    EXPECT_TRUE(looksLike(chipFill, over(theme.accentSecondary, 0.16,
                                         theme.nodeColor(*childNamed(*f.tree, "evicted.pdf"), 1, false))) ||
                looksLike(chipFill, over(theme.accentSecondary, 0.16, theme.surfaceRaised)))
        << "the chip's tinted capsule over the bar or the track";

    // The current scope's capsule is the accent.
    const QRectF button = f.view.scopeButtonRect(BarsView::Scope::children);
    EXPECT_TRUE(looksLike(image.pixelColor(QPoint(int(button.left() + 6), int(button.center().y()))), theme.accent));
    EXPECT_NE(image.pixelColor(
                  QPoint(int(f.view.scopeButtonRect(BarsView::Scope::files).left() + 3), int(button.center().y()))),
              theme.accent);

    // Row texts: counts only for folders (plural even for one file), shares of the displayed tree,
    // sizes by the size mode.
    EXPECT_EQ(f.list().countText(*childNamed(*f.tree, "media")), "2 files");
    EXPECT_EQ(f.list().countText(*childNamed(*f.tree, "notes.txt")), "");
    EXPECT_EQ(f.list().shareText(*childNamed(*f.tree, "media")),
              QString::number(100.0 * 400 / double(f.tree->bytes(false)), 'f', 1) + "%");
    EXPECT_EQ(f.list().sizeText(*childNamed(*f.tree, "media")), "400\u00A0B");
}

TEST(BarsViewScopes, SwitcherAndStoreChangesRebuildTheRows) {
    Fixture f;
    f.send(f.view, QEvent::MouseButtonPress, f.view.scopeButtonRect(BarsView::Scope::files).center(), Qt::LeftButton);
    EXPECT_EQ(f.view.scope(), BarsView::Scope::files);
    EXPECT_EQ(names(f.view.rows()), (std::vector<std::string>{"film.mp4", "notes.txt", "evicted.pdf", "song.mp3"}));

    f.send(f.view, QEvent::MouseButtonPress, f.view.scopeButtonRect(BarsView::Scope::folders).center(), Qt::LeftButton);
    EXPECT_EQ(names(f.view.rows()), (std::vector<std::string>{"media", "empty"}));
    EXPECT_EQ(f.view.countText(), "2 shown");

    // Hover, selection and the queue never rebuild; losing the tree empties the list.
    const auto before = f.view.rows();
    f.state.enqueue(f.state.retain(childNamed(*f.tree, "media")));
    f.state.setSelection(f.state.retain(childNamed(*f.tree, "empty")));
    EXPECT_EQ(f.view.rows(), before);
    test::display(f.state, nullptr);
    EXPECT_TRUE(f.view.rows().empty());
    EXPECT_EQ(f.view.countText(), "0 shown");
}

// What the window shows after the focus moves, repainted only where the view asked, is what
// drawing the whole view afresh gives: the header's count among it, whether the number of rows
// changed or not.
TEST(BarsViewRender, RepaintsAfterAFocusChangeMatchAFreshDrawing) {
    Fixture f;
    QWidget window;
    window.resize(900, 400);
    f.view.setParent(&window);
    // The fixture owns the view: it leaves the window before the window goes.
    struct Leave {
        QWidget& view;
        ~Leave() { view.setParent(nullptr); }
    } leave{f.view};
    f.view.move(0, 0);
    window.show();
    QApplication::processEvents();
    auto shown = [&] { return test::shownPixels(window, f.view); };
    auto fresh = [&] { return test::freshPixels(f.view); };
    ASSERT_FALSE(shown().isNull());
    for (const char* name : {"media", "", "media", "empty"}) {
        const FileNode* node = *name ? childNamed(*f.tree, name) : f.tree.get();
        f.state.setFocus(f.state.retain(node));
        QApplication::processEvents();
        EXPECT_EQ(shown(), fresh()) << "focus " << name << ", " << f.view.countText().toStdString();
    }
    EXPECT_EQ(f.view.countText(), "0 shown");
}

TEST(BarsViewPointer, HoverSelectDrillAndReveal) {
    Fixture f;
    const QPointF onNotes = f.list().trackRect(1).center();
    f.send(f.list(), QEvent::MouseMove, onNotes);
    ASSERT_NE(f.state.hovered(), nullptr);
    EXPECT_EQ(f.state.hovered()->name(), "notes.txt");
    EXPECT_EQ(f.list().hoveredRow(), 1);
    // The hovered row gets its backdrop beside the bar (over the rank column's empty left edge).
    const QRectF row = f.list().rowRect(1);
    EXPECT_TRUE(looksLike(f.image().pixelColor(f.inView(QPointF(row.left() + 4, row.center().y()))), Theme().surface));

    // Between rows nothing is hovered; leaving the list clears the store's hover.
    f.send(f.list(), QEvent::MouseMove, QPointF(onNotes.x(), row.bottom() + 1.5));
    EXPECT_EQ(f.state.hovered(), nullptr);
    f.send(f.list(), QEvent::MouseMove, onNotes);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&f.list(), &leave);
    EXPECT_EQ(f.state.hovered(), nullptr);
    EXPECT_EQ(f.list().hoveredRow(), -1);

    f.send(f.list(), QEvent::MouseButtonPress, onNotes, Qt::LeftButton);
    EXPECT_EQ(f.state.selection()->name(), "notes.txt");
    // Beside the rows (a gap, the left inset, below the last) a click keeps the selection and a
    // secondary click opens no menu.
    const QRectF last = f.list().rowRect(3);
    for (QPointF off : {QPointF(onNotes.x(), row.bottom() + 1.5), QPointF(row.left() - 8, row.center().y()),
                        QPointF(onNotes.x(), last.bottom() + 8)}) {
        f.send(f.list(), QEvent::MouseMove, off);
        f.send(f.list(), QEvent::MouseButtonPress, off, Qt::LeftButton);
        f.send(f.list(), QEvent::MouseButtonRelease, off, Qt::LeftButton);
        ASSERT_NE(f.state.selection(), nullptr);
        EXPECT_EQ(f.state.selection()->name(), "notes.txt");
        QContextMenuEvent menu(QContextMenuEvent::Mouse, off.toPoint(), f.list().mapToGlobal(off.toPoint()));
        QApplication::sendEvent(&f.list(), &menu);
        EXPECT_EQ(f.list().findChild<NodeInteraction*>()->openMenu(), nullptr);
    }

    // The empty folder cannot be entered: it is revealed instead.
    f.doubleClick(f.list().trackRect(3).center());
    ASSERT_EQ(f.desktop.revealed.size(), 1u);
    EXPECT_EQ(f.desktop.revealed[0], std::vector<std::string>{"/data/empty"});

    // A folder with children is drilled into, and the list follows the new focus.
    f.doubleClick(f.list().trackRect(0).center());
    EXPECT_EQ(f.state.focus()->name(), "media");
    EXPECT_EQ(names(f.view.rows()), (std::vector<std::string>{"film.mp4", "song.mp3"}));
}

TEST(BarsViewScopes, SizeModeReranksAScannedTreeAndSharesAreOfTheWholeTree) {
    test::TempFolder dir;
    dir.file("scan/dense.bin", 300000);
    dir.file("scan/sub/small.txt", 100000);
    // A file with a length but no blocks, as an evicted cloud file looks.
    const std::string sparse = dir / "scan/sparse.img";
    ASSERT_EQ(::truncate(dir.file("scan/sparse.img", 0).c_str(), 600000), 0) << sparse;
    AppState state(test::memoryStore());
    state.setUseAllocatedSize(false);
    ASSERT_TRUE(test::scanAndWait(state, dir / "scan"));
    BarsView view(state);
    view.setScope(BarsView::Scope::files);
    EXPECT_EQ(names(view.rows()), (std::vector<std::string>{"sparse.img", "dense.bin", "small.txt"}));
    EXPECT_EQ(view.list()->shareText(*view.rows()[0]), "60.0%");
    state.setUseAllocatedSize(true);
    ASSERT_EQ(names(view.rows()), (std::vector<std::string>{"dense.bin", "small.txt", "sparse.img"}));
    // Focused on a folder, shares stay relative to the whole displayed tree.
    state.setFocus(state.retain(childNamed(*state.displayRoot(), "sub")));
    view.setScope(BarsView::Scope::children);
    ASSERT_EQ(names(view.rows()), (std::vector<std::string>{"small.txt"}));
    const double share =
        static_cast<double>(view.rows()[0]->allocated) / static_cast<double>(state.displayRoot()->allocated);
    EXPECT_LT(share, 0.5);
    EXPECT_EQ(view.list()->shareText(*view.rows()[0]), QString::fromStdString(percentText(share)));
}

TEST(BarsViewCut, AtMost150RowsAndTheListScrolls) {
    AppState state(test::memoryStore());
    std::string text = "/many/\n";
    for (int i = 0; i < 200; ++i) text += "  f" + std::to_string(i) + " " + std::to_string(1000 + i) + "\n";
    AppState::NodePtr tree = test::treeFromText(text);
    test::display(state, tree);
    BarsView view(state);
    view.resize(900, 400);
    view.show();
    QApplication::processEvents();
    ASSERT_EQ(view.rows().size(), 150u);
    EXPECT_EQ(view.rows().front()->name(), "f199");
    EXPECT_EQ(view.countText(), "150 shown");
    // 150 rows of 30 with 3 between and 16 below.
    EXPECT_EQ(view.list()->height(), 150 * 30 + 149 * 3 + 16);
    EXPECT_GT(view.scrollArea()->verticalScrollBar()->maximum(), 0);
    EXPECT_TRUE(view.scrollArea()->verticalScrollBar()->isVisible());
    EXPECT_EQ(view.list()->width(), view.width()) << "the scroll bar floats over the list's inset";
}

TEST(BarsViewPointer, AListScrolledUnderAStillPointerHoversTheRowNowUnderIt) {
    AppState state(test::memoryStore());
    std::string text = "/many/\n";
    for (int i = 0; i < 60; ++i) text += "  f" + std::to_string(i) + " " + std::to_string(1000 + i) + "\n";
    test::display(state, test::treeFromText(text));
    BarsView view(state);
    view.resize(900, 400);
    view.show();
    QApplication::processEvents();
    BarsList& list = *view.list();

    // The pointer rests on the third row and hovers it, as a move there does.
    const QPointF onRow = list.rowRect(2).center();
    QCursor::setPos(list.mapToGlobal(onRow.toPoint()));
    QApplication::processEvents();
    ASSERT_EQ(list.hoveredRow(), 2);
    ASSERT_EQ(state.hovered()->name(), view.rows()[2]->name());

    // The wheel scrolls the list ten rows on under the still pointer: the row now under it is the
    // hovered one, in the list and in the store, not the row scrolled away.
    QScrollBar* bar = view.scrollArea()->verticalScrollBar();
    bar->setValue(bar->value() + 10 * 33);
    QApplication::processEvents();
    const int under = list.rowAt(list.mapFromGlobal(QCursor::pos()));
    ASSERT_EQ(under, 12);
    EXPECT_EQ(list.hoveredRow(), under);
    ASSERT_NE(state.hovered(), nullptr);
    EXPECT_EQ(state.hovered()->name(), view.rows()[12]->name());
}

TEST(BarsViewKeys, ArrowsRingARowSpaceSelectsItReturnOpensItAndTheMenuKeyOpensItsMenu) {
    Fixture f;
    QApplication::setActiveWindow(&f.view);
    auto key = [&](int k) { QTest::keyClick(QApplication::focusWidget(), Qt::Key(k)); };
    f.list().setFocus(Qt::TabFocusReason);
    key(Qt::Key_Down);
    EXPECT_EQ(f.state.selection(), nullptr) << "the arrows only move the ring";
    for (int k : {Qt::Key_Space, Qt::Key_Return}) key(k);
    EXPECT_EQ(f.state.selection()->name(), "notes.txt");
    EXPECT_EQ(f.desktop.revealed, (std::vector<std::vector<std::string>>{{"/data/notes.txt"}}));
    FocusChain::openContextMenu(); // the context-menu key, as the window hands it on
    ASSERT_NE(QApplication::activePopupWidget(), nullptr);
    QApplication::activePopupWidget()->close();
    for (int k : {Qt::Key_Home, Qt::Key_Return}) key(k);
    EXPECT_EQ(f.state.focus()->name(), "media");
}
