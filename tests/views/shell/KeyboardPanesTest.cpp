// Each pane of the explore tab by keyboard alone (KeyboardWalkTest pins the stops Tab meets): the
// ring shows on what Tab reached and never after a click, and Space, Return and the arrows do what
// a click does, changing the store.
#include "views/shell/RootView.h"

#include "core/DiskInfo.h"
#include "core/NodeFilter.h"
#include "state/AppStateTestSupport.h"
#include "support/RecordingDesktop.h"
#include "views/components/FocusChain.h"
#include "views/components/controls/ActionButton.h"
#include "views/components/controls/IconToggle.h"
#include "views/shell/BannerView.h"
#include "views/shell/ShellTestSupport.h"
#include "views/shell/cleanup/CleanupBar.h"
#include "views/shell/cleanup/CleanupQueueList.h"
#include "views/shell/inspector/InspectorMiniBar.h"
#include "views/shell/sidebar/CategoryRow.h"
#include "views/shell/sidebar/SidebarView.h"
#include "views/components/controls/KeyStop.h"
#include "views/shell/topbar/Breadcrumb.h"
#include "views/shell/topbar/ThemeMenuButton.h"
#include "views/shell/topbar/TopBar.h"
#include "views/shell/WorkspaceView.h"
#include "views/explore/bars/BarsView.h"

#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace tallymere;
using tallymere::test::TempFolder;

namespace {

using Names = std::vector<std::string>;

// What a stop is called in these tests: its title, help, or name.
std::string nameOf(QWidget* w) {
    if (!w) return "(none)";
    if (auto* button = qobject_cast<ActionButton*>(w)) return button->title().toStdString();
    if (qobject_cast<QLineEdit*>(w)) return "filter";
    if (auto* toggle = qobject_cast<IconToggle*>(w)) return toggle->help().toStdString();
    if (qobject_cast<CategoryRow*>(w)) return "file types";
    if (qobject_cast<InspectorMiniBar*>(w)) return "largest inside";
    const QString cls = QString::fromLatin1(w->metaObject()->className()).section(QStringLiteral("::"), -1);
    if (cls == QLatin1String("PresetRow")) return "quick wins";
    if (!w->objectName().isEmpty()) return w->objectName().toStdString();
    return cls.toStdString();
}

struct Window : test::KeyDriver {
    Window() : KeyDriver(view), view(state) {
        dir.file("tree/movie.mp4", 9000);
        dir.file("tree/photo.jpg", 5000);
        dir.file("tree/notes.txt", 3000);
        dir.file("tree/web/node_modules/pkg/index.js", 4000);
        dir.file("tree/web/node_modules/pkg/more.js", 2000);
        dir.file("tree/web/app.js", 1000);
        state.setDesktop(&desktop);
        state.setViz(VizMode::treemap);
        view.resize(RootView::minimumWidth, RootView::minimumHeight);
        view.show();
        QApplication::setActiveWindow(&view);
        ready = test::scanAndWait(state, dir / "tree");
        // The volumes are read after the scan, off this thread; the sidebar's menu of them shows
        // when there are more than one. Wait for the reading, not for any number of them.
        test::waitUntil([&] { return !state.volumes().empty(); }, 5000);
        view.finishAnimations();
        test::settle();
    }
    AppState::NodePtr child(const std::string& name) {
        for (const FileNode* c : state.displayRoot()->children())
            if (c->name() == name) return state.retain(c);
        return nullptr;
    }
    TempFolder dir;
    test::RecordingDesktop desktop;
    AppState state{test::memoryStore()};
    RootView view;
    bool ready = false;
};

template <class T> T* find(QWidget* pane, const std::string& name) {
    for (T* w : pane->findChildren<T*>())
        if (nameOf(w) == name && w->isVisible()) return w;
    return nullptr;
}

// The rows of a list the arrows walk, as shown, top to bottom.
template <class Row> std::vector<Row*> rowsDown(QWidget* pane) {
    std::vector<Row*> rows;
    for (Row* row : pane->findChildren<Row*>())
        if (row->isVisible()) rows.push_back(row);
    std::sort(rows.begin(), rows.end(), [](Row* a, Row* b) { return a->y() < b->y(); });
    return rows;
}

} // namespace

TEST(KeyboardPanes, TopBarTabsThenBackFilterTogglesThemeAndInspector) {
    Window w;
    ASSERT_TRUE(w.ready);
    w.state.setFocus(w.child("web"));
    test::settle();
    TopBar* bar = w.view.topBar();

    // Reached by Tab, the labels toggle wears the ring inside its edge; Space flips the labels.
    IconToggle* labels = bar->labelsToggle();
    const QPoint edge(labels->width() / 2, 1);
    const QColor bare = w.pixel(labels, edge);
    ASSERT_TRUE(w.tabUntil(labels));
    EXPECT_TRUE(test::near(w.pixel(labels, edge), w.ringOver(bare)));
    const bool showLabels = w.state.showLabels();
    w.press(Qt::Key_Space);
    EXPECT_NE(w.state.showLabels(), showLabels);

    // A click on the size-mode toggle flips it and leaves no ring, neither on it nor on the labels.
    IconToggle* size = bar->sizeModeToggle();
    const bool allocated = w.state.useAllocatedSize();
    const QColor sizeBare = w.pixel(size, edge);
    QTest::mouseClick(size, Qt::LeftButton);
    test::settle();
    EXPECT_NE(w.state.useAllocatedSize(), allocated);
    EXPECT_FALSE(test::near(w.pixel(size, edge), w.ringOver(sizeBare)));
    EXPECT_FALSE(test::near(w.pixel(labels, edge), w.ringOver(bare)));

    // Return goes back up; the arrows walk the tabs.
    ASSERT_TRUE(w.tabUntil(bar->breadcrumb()->backStop()));
    w.press(Qt::Key_Return);
    EXPECT_EQ(w.state.focus(), w.state.displayRoot());
    ASSERT_TRUE(w.tabUntil(bar->tabStop()));
    w.press(Qt::Key_Right);
    EXPECT_EQ(w.state.tab(), WorkspaceTab::duplicates);
    w.press(Qt::Key_End);
    EXPECT_EQ(w.state.tab(), WorkspaceTab::snapshots);
    w.press(Qt::Key_Home);
    EXPECT_EQ(w.state.tab(), WorkspaceTab::explore);

    // Return opens the theme menu; the arrows and Return choose a theme; Escape closes it.
    ASSERT_TRUE(w.tabUntil(bar->themeMenu()));
    w.press(Qt::Key_Return);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QTest::keyClick(menu, Qt::Key_Escape);
    test::settle();
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(w.focused(), bar->themeMenu());
}

TEST(KeyboardPanes, SidebarTopToBottomWithEachListOneStopWalkedByTheArrows) {
    Window w;
    ASSERT_TRUE(w.ready);
    SidebarView* sidebar = w.view.sidebar();
    // The File Types rows: Tab enters at the first, Down moves on, ringed on the row; Space puts
    // that row's category in the filter, and "Clear filter" joins the walk as a stop of its own.
    const std::vector<CategoryRow*> rows = rowsDown<CategoryRow>(sidebar);
    ASSERT_GE(rows.size(), 3u);
    const QPoint edge(rows[1]->width() / 2, 1);
    const QColor bare = w.pixel(rows[1], edge);
    ASSERT_TRUE(w.tabUntil(rows[0]));
    w.press(Qt::Key_Down);
    ASSERT_EQ(w.focused(), rows[1]);
    EXPECT_TRUE(test::near(w.pixel(rows[1], edge), w.ringOver(bare)));
    w.press(Qt::Key_Space);
    EXPECT_EQ(w.state.filter().categories, std::set<FileCategory>{rows[1]->category()});
    test::settle();
    EXPECT_TRUE(w.tabUntil(find<QWidget>(sidebar, "clearFilter")));

    // A click on a row filters by it and takes no keyboard: no ring.
    const QColor row2 = w.pixel(rows[2], edge);
    QTest::mouseClick(rows[2], Qt::LeftButton);
    test::settle();
    EXPECT_EQ(w.state.filter().categories.size(), 2u);
    EXPECT_NE(w.focused(), rows[2]);
    EXPECT_FALSE(test::near(w.pixel(rows[2], edge), w.ringOver(row2)));
}

TEST(KeyboardPanes, WorkspaceHeaderRailColourModesDepthThenTheViewAndItsControls) {
    Window w;
    ASSERT_TRUE(w.ready);
    WorkspaceView* workspace = w.view.workspace();

    // The colour modes by the arrows; the depth by the arrows; the header's button by Return.
    QWidget* colours = find<QWidget>(workspace, "ColorModeSelector");
    QWidget* depth = find<QWidget>(workspace, "DepthSlider");
    ASSERT_TRUE(colours && depth);
    const ColorMode mode = w.state.colorMode();
    ASSERT_TRUE(w.tabUntil(colours));
    w.press(Qt::Key_Right);
    EXPECT_NE(w.state.colorMode(), mode);
    const QPoint trayEdge(colours->width() / 2, 1);
    w.view.setFocus();
    const QColor trayBare = w.pixel(colours, trayEdge);
    // A click chooses a mode and leaves the tray unringed until a key is used.
    QTest::mouseClick(colours, Qt::LeftButton, {}, QPoint(6, colours->height() / 2));
    test::settle();
    EXPECT_EQ(w.state.colorMode(), ColorMode::type);
    EXPECT_FALSE(test::near(w.pixel(colours, trayEdge), w.ringOver(trayBare)));
    w.press(Qt::Key_End);
    EXPECT_EQ(w.state.colorMode(), ColorMode::age);
    EXPECT_TRUE(test::near(w.pixel(colours, trayEdge), w.ringOver(trayBare)));

    const double before = w.state.treemapDepth();
    ASSERT_TRUE(w.tabUntil(depth));
    w.press(Qt::Key_Right);
    EXPECT_EQ(w.state.treemapDepth(), std::min(before + 1, 12.0));
    w.press(Qt::Key_Home);
    EXPECT_EQ(w.state.treemapDepth(), 2.0);

    QWidget* reveal = find<QWidget>(workspace, "reveal");
    ASSERT_NE(reveal, nullptr);
    ASSERT_TRUE(w.tabUntil(reveal));
    w.press(Qt::Key_Return);
    ASSERT_EQ(w.desktop.revealed.size(), 1u);
    EXPECT_EQ(w.desktop.revealed[0], std::vector<std::string>{w.state.displayRoot()->path()});

    // The table: its own controls over it, the column titles as one stop, then the lines.
    w.state.setViz(VizMode::table);
    test::settle();
    QWidget* name = find<QWidget>(workspace, "Name");
    ASSERT_TRUE(w.tabUntil(name));
    w.press(Qt::Key_Right);
    EXPECT_EQ(nameOf(w.focused()), "Size");

    // Top Sizes: its scope switcher is one stop the arrows walk, ringed round its capsule by the
    // keyboard and not after a click.
    w.state.setViz(VizMode::bars);
    test::settle();
    auto* bars = find<BarsView>(workspace, "BarsView");
    ASSERT_NE(bars, nullptr);
    const QRectF files = bars->scopeButtonRect(BarsView::Scope::files);
    const QPoint capsuleEdge(int(files.center().x()), int(files.top() - BarsView::switcherPadding) + 1);
    w.view.setFocus();
    const QColor capsuleBare = w.pixel(bars, capsuleEdge);
    ASSERT_TRUE(w.tabUntil(bars));
    EXPECT_TRUE(test::near(w.pixel(bars, capsuleEdge), w.ringOver(capsuleBare)));
    w.press(Qt::Key_Right);
    EXPECT_EQ(bars->scope(), BarsView::Scope::files);
    w.press(Qt::Key_End);
    EXPECT_EQ(bars->scope(), BarsView::Scope::folders);
    w.press(Qt::Key_Home);
    EXPECT_EQ(bars->scope(), BarsView::Scope::children);
    QTest::mouseClick(bars, Qt::LeftButton, {}, files.center().toPoint());
    test::settle();
    EXPECT_EQ(bars->scope(), BarsView::Scope::files);
    EXPECT_FALSE(test::near(w.pixel(bars, capsuleEdge), w.ringOver(capsuleBare)));
    w.state.setViz(VizMode::table);
    test::settle();

    // A banner floats over the foot of the workspace: its buttons follow the workspace's stops.
    w.state.setBanner(AppState::Banner::make(AppState::Banner::Kind::warning, QStringLiteral("Partial scan")));
    w.view.finishAnimations();
    test::settle();
    ASSERT_TRUE(w.tabUntil(find<QWidget>(w.view.bannerView(), "close")));
    w.press(Qt::Key_Space);
    EXPECT_FALSE(w.state.banner());
}

TEST(KeyboardPanes, WorkspaceWelcomeScreenButtonsThenTheAccessPrompt) {
    AppState state{test::memoryStore()};
    state.setAccessProbe([] { return false; });
    RootView view(state);
    view.resize(RootView::minimumWidth, RootView::minimumHeight);
    view.show();
    QApplication::setActiveWindow(&view);
    test::settle();
    WorkspaceView* workspace = view.workspace();
    QWidget* prompt = find<QWidget>(workspace, "prompt");
    ASSERT_NE(prompt, nullptr);
    prompt->setFocus(Qt::TabFocusReason);
    QTest::keyClick(prompt, Qt::Key_Return);
    ASSERT_TRUE(state.banner());
    EXPECT_EQ(state.banner()->kind, AppState::Banner::Kind::info);
}

TEST(KeyboardPanes, InspectorLargestInsideThenItsActionsTopToBottom) {
    Window w;
    ASSERT_TRUE(w.ready);
    w.state.setSelection(w.child("web"));
    test::settle();
    QWidget* inspector = w.view.inspector();

    // The rows of "Largest inside" are walked by the arrows, ringed round the row.
    const std::vector<InspectorMiniBar*> bars = rowsDown<InspectorMiniBar>(inspector);
    ASSERT_EQ(bars.size(), 2u);
    const QPoint above(bars[1]->width() / 2, -3);
    const QColor bare = w.pixel(bars[1], above);
    ASSERT_TRUE(w.tabUntil(bars[0]));
    w.press(Qt::Key_Down);
    EXPECT_EQ(w.focused(), bars[1]);
    EXPECT_TRUE(test::near(w.pixel(bars[1], above), w.ringOver(bare)));

    // Return on "Add to Cleanup" stages the node.
    ActionButton* stage = find<ActionButton>(inspector, "Add to Cleanup");
    ASSERT_TRUE(w.tabUntil(stage));
    w.press(Qt::Key_Return);
    ASSERT_EQ(w.state.queue().size(), 1u);
    EXPECT_EQ(w.state.queue()[0], w.child("web"));
}

TEST(KeyboardPanes, CleanupBarDisclosureStagedItemsClearAndMoveToTrash) {
    Window w;
    ASSERT_TRUE(w.ready);
    w.state.enqueue(w.child("movie.mp4"));
    w.state.enqueue(w.child("photo.jpg"));
    test::settle();
    w.view.finishAnimations();
    CleanupBar* bar = w.view.cleanupBar();
    bar->setAnimated(false);

    // Space opens the list, which joins the walk above the row; the arrows walk the staged items,
    // and Space unstages one only from its button, reached with Right.
    ASSERT_TRUE(w.tabUntil(bar->disclosure()));
    w.press(Qt::Key_Space);
    ASSERT_TRUE(bar->isExpanded());
    test::settle();
    QWidget* items = bar->list()->canvas();
    ASSERT_TRUE(w.tabUntil(items));
    w.press(Qt::Key_Down);
    w.press(Qt::Key_Space);
    w.press(Qt::Key_Return);
    ASSERT_EQ(w.state.queue().size(), 2u);
    w.press(Qt::Key_Right);
    w.press(Qt::Key_Space);
    ASSERT_EQ(w.state.queue().size(), 1u);
    EXPECT_EQ(w.state.queue()[0], w.child("movie.mp4"));

    // "Move to Trash" wears its ring round its filled capsule, in the bar's margin.
    QWidget* trash = bar->trashButton();
    const QPoint above(trash->width() / 2, -2);
    w.view.setFocus();
    const QColor bare = w.pixel(trash, above);
    ASSERT_TRUE(w.tabUntil(trash));
    EXPECT_TRUE(test::near(w.pixel(trash, above), w.ringOver(bare)));

    // Return on "Move to Trash" asks first. The question opens with the keyboard on "Cancel", so a
    // second Return says no, as Escape does; nothing moves.
    for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
        ASSERT_TRUE(w.tabUntil(bar->trashButton()));
        w.press(Qt::Key_Return);
        ASSERT_TRUE(bar->isConfirming());
        auto* asked = qobject_cast<QPushButton*>(QApplication::focusWidget());
        ASSERT_TRUE(asked && bar->confirmation()->isAncestorOf(asked));
        EXPECT_EQ(asked->text(), "Cancel");
        QTest::keyClick(asked, Qt::Key(key));
        test::settle();
        EXPECT_FALSE(bar->isConfirming());
        EXPECT_EQ(w.state.queue().size(), 1u);
        // The question was a window of its own: the main window comes back to the front.
        QApplication::setActiveWindow(&w.view);
        test::settle();
    }
}

TEST(KeyboardPanes, DeleteOnTheLastStagedItemHandsTheKeyboardToTheNextControl) {
    Window w;
    ASSERT_TRUE(w.ready);
    w.state.enqueue(w.child("movie.mp4"));
    w.view.finishAnimations();
    w.view.cleanupBar()->setAnimated(false);
    w.view.cleanupBar()->toggleExpanded();
    ASSERT_TRUE(w.tabUntil(w.view.cleanupBar()->list()->canvas()));
    w.press(Qt::Key_Delete);
    w.view.finishAnimations();
    test::settle();
    // The bar went with its list, and the keyboard on round the window to the next stop, ringed.
    ASSERT_TRUE(w.state.queue().empty());
    EXPECT_EQ(w.focused(), w.view.topBar()->tabStop());
    EXPECT_TRUE(FocusRing::shown(w.focused()));
}
