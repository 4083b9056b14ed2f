// The window by keyboard: Tab reaches the name filter, the visualisation rail and the table, each
// ringed while the keyboard brought it there and never after a click; the arrows walk the rail and
// the table's selection;
// Escape leaves the filter; clearing the filter keeps the keyboard in it.
#include "views/shell/RootView.h"

#include "core/NodeFilter.h"
#include "state/AppStateTestSupport.h"
#include "views/components/NodeContextMenu.h"
#include "views/components/controls/SegmentedRail.h"
#include "views/explore/table/TableBody.h"
#include "views/shell/ShellTestSupport.h"
#include "views/shell/WorkspaceView.h"
#include "views/shell/screens/VizRail.h"
#include "views/components/controls/KeyStop.h"
#include "views/shell/topbar/Breadcrumb.h"
#include "views/shell/topbar/FilterField.h"
#include "views/shell/topbar/TopBar.h"

#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace tallymere;
using tallymere::test::TempFolder;

namespace {

struct Window : test::KeyDriver {
    Window() : KeyDriver(view), view(state) {
        dir.file("tree/a.bin", 5000);
        dir.file("tree/b.bin", 4000);
        for (int i = 0; i < 60; ++i) dir.file("tree/Music/track-" + std::to_string(100 + i) + ".flac", 1000 + i);
        state.setViz(VizMode::table);
        view.resize(RootView::minimumWidth, RootView::minimumHeight);
        view.show();
        view.activateWindow();
        QApplication::setActiveWindow(&view);
        ready = test::scanAndWait(state, dir / "tree");
        view.finishAnimations();
        test::settle();
    }
    FilterField* filter() const { return view.topBar()->filterField(); }
    SegmentedRail* rail() const { return view.workspace()->vizRail()->rail(); }
    TableBody* table() const { return view.workspace()->content()->findChild<TableBody*>(); }
    // Inside the table's line `row`, near its top: where the line's mark or hover shows.
    QColor lineColour(int row) const {
        const QRectF line = table()->rowRect(row);
        return pixel(table()->viewport(), QPoint(int(line.center().x()), int(line.top()) + 2));
    }
    TempFolder dir;
    AppState state{test::memoryStore()};
    RootView view;
    bool ready = false;
};

} // namespace

TEST(WindowKeyboard, ClearingTheFilterKeepsTheKeyboardInTheFieldAndEscapeLeavesIt) {
    Window w;
    ASSERT_TRUE(w.ready);
    QLineEdit* edit = w.filter()->lineEdit();
    // Clicks as the window system delivers them, so the toolkit's own choice of who takes the
    // keyboard on a press runs.
    QTest::mouseClick(edit, Qt::LeftButton, {}, edit->rect().center());
    ASSERT_TRUE(edit->hasFocus());
    QTest::keyClicks(edit, "abc");
    ASSERT_EQ(w.state.filter().query, "abc");
    QTest::mouseClick(w.filter(), Qt::LeftButton, {}, w.filter()->clearRect().center().toPoint());
    EXPECT_TRUE(w.state.filter().query.empty());
    EXPECT_TRUE(edit->hasFocus());
    // What is typed next lands in the field.
    w.press(Qt::Key_X);
    EXPECT_EQ(w.state.filter().query, "x");

    // Entered by a click, the capsule's border is one pixel of the accent at 0.45, not the ring,
    // also while typing.
    const Theme& theme = w.view.theme();
    const QPoint border(w.filter()->width() / 2, 0);
    const QColor focusColour = test::blend(theme.surface, theme.accent, 0.45);
    EXPECT_TRUE(test::near(w.pixel(w.filter(), border), focusColour));
    EXPECT_TRUE(test::near(w.pixel(w.filter(), border + QPoint(0, 1)), theme.surface)) << "one pixel, no ring";
    w.press(Qt::Key_Escape);
    EXPECT_FALSE(edit->hasFocus());
    EXPECT_EQ(w.state.filter().query, "x") << "leaving keeps what was typed";
    EXPECT_TRUE(test::near(w.pixel(w.filter(), border), theme.stroke));
}

TEST(WindowKeyboard, TabReachesTheFilterTheRailAndTheTableEachRinged) {
    Window w;
    ASSERT_TRUE(w.ready);
    // The window holds the keyboard when it opens: the caret is not in the filter.
    EXPECT_EQ(w.focused(), &w.view);
    const Theme& theme = w.view.theme();
    const QColor ring = w.ringOver(theme.surface);

    // The tabs first, then (with the back button dimmed at the top of the tree) the crumbs and
    // the filter.
    w.press(Qt::Key_Tab);
    EXPECT_EQ(w.focused(), w.view.topBar()->tabStop());
    w.press(Qt::Key_Tab);
    EXPECT_EQ(w.focused(), w.view.topBar()->breadcrumb()->crumbStop());
    w.press(Qt::Key_Tab);
    EXPECT_EQ(w.focused(), w.filter()->lineEdit());
    EXPECT_TRUE(test::near(w.pixel(w.filter(), QPoint(w.filter()->width() / 2, 1)), ring)) << "ringed by Tab";

    ASSERT_TRUE(w.tabUntil(w.rail()));
    const QPoint railEdge(1, w.rail()->height() / 2);
    EXPECT_TRUE(test::near(w.pixel(w.rail(), railEdge), ring));
    // The arrows write the neighbouring visualisation; at the end they stay.
    w.press(Qt::Key_Right);
    EXPECT_EQ(w.state.viz(), VizMode::table);
    w.press(Qt::Key_Left);
    EXPECT_EQ(w.state.viz(), VizMode::calendar);
    w.press(Qt::Key_Right);
    EXPECT_EQ(w.state.viz(), VizMode::table);
    EXPECT_EQ(w.focused(), w.rail());

    ASSERT_TRUE(w.tabUntil(w.table()));
    TableBody* table = w.table();
    EXPECT_FALSE(test::near(w.pixel(w.rail(), railEdge), ring)) << "the rail's ring goes with the keyboard";
    const QPoint tableEdge(1, table->height() / 2);
    EXPECT_TRUE(test::near(w.pixel(table->viewport(), tableEdge), w.ringOver(theme.background)));

    // Shift+Tab walks back the way it came.
    w.press(Qt::Key_Tab);
    EXPECT_NE(w.focused(), table);
    w.press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(w.focused(), table);
}

TEST(WindowKeyboard, ArrowsMoveTheTablesSelectionAndScrollItIntoView) {
    test::RecordingDesktop desktop; // outlives the store that reports to it
    Window w;
    ASSERT_TRUE(w.ready);
    AppState::NodePtr music;
    for (const FileNode* child : w.state.displayRoot()->children())
        if (child->name() == "Music") music = w.state.retain(child);
    ASSERT_TRUE(music);
    w.state.setFocus(music);
    test::settle();
    TableBody* table = w.table();
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rows().size(), 60u);
    ASSERT_GT(table->verticalScrollBar()->maximum(), 0) << "the lines must overflow the window";
    table->setFocus(Qt::TabFocusReason);
    test::settle();

    w.press(Qt::Key_Down);
    EXPECT_EQ(w.state.selection().get(), table->rows()[0]);
    w.press(Qt::Key_Down);
    EXPECT_EQ(table->selectedRow(), 1);
    // The marked line: the accent's tint over the background.
    const Theme& theme = w.view.theme();
    EXPECT_TRUE(test::near(w.lineColour(1), test::blend(theme.background, theme.accent, 0.12)));

    w.press(Qt::Key_End);
    EXPECT_EQ(table->selectedRow(), 59);
    EXPECT_GT(table->verticalScrollBar()->value(), 0);
    auto visible = [&](int row) {
        const QRectF r = table->rowRect(row);
        return r.top() >= 0 && r.bottom() <= table->viewport()->height();
    };
    EXPECT_TRUE(visible(59));
    w.press(Qt::Key_Home);
    EXPECT_EQ(table->selectedRow(), 0);
    EXPECT_EQ(table->verticalScrollBar()->value(), 0);
    // Down past the foot of the viewport scrolls one line at a time.
    const int shown = table->viewport()->height() / TableBody::rowHeight();
    for (int i = 0; i < shown + 3; ++i) w.press(Qt::Key_Down);
    EXPECT_EQ(table->selectedRow(), shown + 3);
    EXPECT_TRUE(visible(shown + 3));
    EXPECT_FALSE(visible(0));
    w.press(Qt::Key_Up);
    EXPECT_EQ(table->selectedRow(), shown + 2);
    EXPECT_TRUE(visible(shown + 2));

    // Return opens the selected line as a double click does: a file is revealed.
    w.state.setDesktop(&desktop);
    w.press(Qt::Key_Return);
    ASSERT_EQ(desktop.revealed.size(), 1u);
}

TEST(WindowKeyboard, AClickOnTheTableNeitherRingsNorMarksALineUntilAKeyIsUsed) {
    Window w;
    ASSERT_TRUE(w.ready);
    TableBody* table = w.table();
    ASSERT_NE(table, nullptr);
    ASSERT_GE(table->rows().size(), 2u);
    const Theme& theme = w.view.theme();
    const QColor ring = w.ringOver(theme.background);
    const QColor mark = test::blend(theme.background, theme.accent, 0.12);
    const QPoint edge(1, table->viewport()->height() - 4);

    // A click on the second line selects it and gives the table the keyboard, unmarked.
    const QPoint second = table->rowRect(1).center().toPoint() - QPoint(table->viewport()->width() / 4, 0);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, second);
    test::settle();
    ASSERT_EQ(w.focused(), table);
    ASSERT_EQ(table->selectedRow(), 1);
    EXPECT_FALSE(test::near(w.pixel(table->viewport(), edge), ring)) << "no ring after a click";
    EXPECT_FALSE(test::near(w.lineColour(1), mark)) << "no marked line after a click";

    // A key then walks the selection and shows where the keyboard is.
    w.press(Qt::Key_Up);
    EXPECT_EQ(table->selectedRow(), 0);
    EXPECT_TRUE(test::near(w.pixel(table->viewport(), edge), ring));
    EXPECT_TRUE(test::near(w.lineColour(0), mark));

    // Another click puts the pointer in charge again.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, second);
    test::settle();
    EXPECT_EQ(table->selectedRow(), 1);
    EXPECT_FALSE(test::near(w.pixel(table->viewport(), edge), ring));
    // The pointer rests on the line, which shows its hover and only that.
    const QColor hovered = test::blend(theme.background, theme.surfaceRaised, 0.55);
    EXPECT_TRUE(test::near(w.lineColour(1), hovered));

    // Coming back by Tab rings it at once.
    w.press(Qt::Key_Tab);
    w.press(Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(w.focused(), table);
    EXPECT_TRUE(test::near(w.pixel(table->viewport(), edge), ring));
    EXPECT_TRUE(test::near(w.lineColour(1), test::blend(hovered, theme.accent, 0.12)));
}

TEST(WindowKeyboard, TheContextMenuKeyOrShiftF10OpensTheSelectedLinesMenuAndEscapeClosesIt) {
    Window w;
    ASSERT_TRUE(w.ready);
    TableBody* table = w.table();
    ASSERT_NE(table, nullptr);
    table->setFocus(Qt::TabFocusReason);
    w.press(Qt::Key_Down);
    ASSERT_EQ(table->selectedRow(), 0);

    for (auto [key, modifiers] : {std::pair{Qt::Key_Menu, Qt::NoModifier}, {Qt::Key_F10, Qt::ShiftModifier}}) {
        w.press(key, modifiers);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        QStringList titles;
        for (QAction* action : menu->actions()) titles << action->text();
        EXPECT_TRUE(titles.contains(NodeContextMenu::revealTitle));
        // It opens on the selected line.
        EXPECT_TRUE(table->viewport()->rect().adjusted(0, 0, 0, TableBody::rowHeight()).contains(
            table->viewport()->mapFromGlobal(menu->pos())));
        QTest::keyClick(menu, Qt::Key_Escape);
        test::settle();
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        EXPECT_EQ(w.focused(), table) << "the keyboard comes back to the table";
    }
}

TEST(WindowKeyboard, AClickOnTheRailShowsNoRingUntilAKeyIsUsed) {
    Window w;
    ASSERT_TRUE(w.ready);
    const QColor ring = w.ringOver(w.view.theme().surface);
    SegmentedRail* rail = w.rail();
    const QPoint railEdge(1, rail->height() / 2);

    // The sunburst's segment, clicked as the window system delivers it: chosen, no ring.
    QTest::mouseClick(rail, Qt::LeftButton, {}, rail->segmentRects()[2].center().toPoint());
    test::settle();
    EXPECT_EQ(w.state.viz(), VizMode::sunburst);
    EXPECT_FALSE(test::near(w.pixel(rail, railEdge), ring));
    // An arrow key then walks the rail, and the ring shows where the keyboard is.
    w.press(Qt::Key_Right);
    EXPECT_EQ(w.state.viz(), VizMode::icicle);
    EXPECT_TRUE(test::near(w.pixel(rail, railEdge), ring));

    // Leaving and coming back by Tab rings it at once.
    w.press(Qt::Key_Tab);
    EXPECT_FALSE(test::near(w.pixel(rail, railEdge), ring));
    w.press(Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(w.focused(), rail);
    EXPECT_TRUE(test::near(w.pixel(rail, railEdge), ring));
}

TEST(WindowKeyboard, AViewOrTabThatGoesWithTheKeyboardHandsItToTheWindow) {
    Window w;
    ASSERT_TRUE(w.ready);
    // The table holds the keyboard; a shortcut or the View menu then shows another view.
    w.table()->setFocus(Qt::TabFocusReason);
    test::settle();
    ASSERT_EQ(w.focused(), w.table());
    w.state.setViz(VizMode::mindmap);
    test::settle();
    EXPECT_EQ(w.focused(), &w.view) << "not the name filter, the next Tab stop";
    const Theme& theme = w.view.theme();
    EXPECT_TRUE(test::near(w.pixel(w.filter(), QPoint(w.filter()->width() / 2, 0)), theme.stroke)) << "no ring";
    w.press(Qt::Key_Space);
    EXPECT_TRUE(w.state.filter().query.empty()) << "a space meant for Quick Look filters nothing";

    // The same when the whole page goes for another tab.
    w.state.setViz(VizMode::table);
    test::settle();
    w.table()->setFocus(Qt::TabFocusReason);
    test::settle();
    w.state.setTab(WorkspaceTab::duplicates);
    test::settle();
    EXPECT_EQ(w.focused(), &w.view);
}
