// Pointer input over a canvas and the node context menu, checked on the store and on a recording
// desktop: hover, click, double click and every menu entry.
#include "state/AppState.h"
#include "state/AppStateTestSupport.h"
#include "support/DisplayTree.h"
#include "support/RecordingDesktop.h"
#include "support/TreeText.h"
#include "views/components/NodeContextMenu.h"
#include "views/components/NodeInteraction.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QWidget>

#include <gtest/gtest.h>

using namespace tallymere;

namespace {

using test::childNamed;

// A canvas of three bands: the folder "docs" on the left third, the file "movie.mp4" in the middle
// third, nothing on the right third.
struct Fixture {
    test::RecordingDesktop desktop;
    AppState state{test::memoryStore()};
    AppState::NodePtr tree = test::treeFromText(R"(/srv/data/
  docs/
    a.pdf 300
    b.txt 100
  movie.mp4 900
  empty/
)");
    QWidget canvas;
    NodeInteraction* interaction;
    int hits = 0;

    Fixture() {
        state.setDesktop(&desktop);
        test::display(state, tree);
        canvas.resize(300, 100);
        interaction = new NodeInteraction(state, &canvas, [this](QPointF p) -> const FileNode* {
            ++hits;
            if (p.x() < 100) return childNamed(*tree, "docs");
            if (p.x() < 200) return childNamed(*tree, "movie.mp4");
            return nullptr;
        });
    }

    void send(QEvent::Type type, QPointF at, Qt::MouseButton button = Qt::NoButton) {
        QMouseEvent event(type, at, canvas.mapToGlobal(at), button, button, Qt::NoModifier);
        QApplication::sendEvent(&canvas, &event);
    }
    void move(QPointF at) { send(QEvent::MouseMove, at); }
    void press(QPointF at) {
        send(QEvent::MouseButtonPress, at, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, at, Qt::LeftButton);
    }
    void doubleClick(QPointF at) {
        press(at);
        send(QEvent::MouseButtonDblClick, at, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, at, Qt::LeftButton);
    }
    QMenu* contextMenu(QPointF at) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at.toPoint(), canvas.mapToGlobal(at.toPoint()));
        QApplication::sendEvent(&canvas, &event);
        return interaction->openMenu();
    }
};

QStringList titles(const QMenu& menu) {
    QStringList result;
    for (QAction* action : menu.actions()) result << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return result;
}

void trigger(QMenu& menu, const QString& title) {
    for (QAction* action : menu.actions())
        if (action->text() == title) return action->trigger();
    FAIL() << "no entry " << title.toStdString();
}

} // namespace

TEST(NodeInteractionHover, WritesTheStoreOnlyWhenTheNodeChanges) {
    Fixture f;
    int writes = 0;
    QObject::connect(&f.state, &AppState::hoveredChanged, [&] { ++writes; });
    f.move({10, 10});
    f.move({20, 50});
    f.move({90, 90});
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(f.state.hovered()->name(), "docs");
    EXPECT_EQ(f.state.hovered()->path(), "/srv/data/docs");
    f.move({150, 10});
    EXPECT_EQ(f.state.hovered()->name(), "movie.mp4");
    f.move({250, 10});
    EXPECT_EQ(f.state.hovered(), nullptr);
    EXPECT_EQ(writes, 3);
    f.move({150, 10});
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&f.canvas, &leave);
    EXPECT_EQ(f.state.hovered(), nullptr);
}

TEST(NodeInteractionClicks, FirstClickSelectsAndDoubleClickDrillsOrReveals) {
    Fixture f;
    f.press({150, 10});
    EXPECT_EQ(f.state.selection()->name(), "movie.mp4");
    // Empty space clears the selection.
    f.press({250, 10});
    EXPECT_EQ(f.state.selection(), nullptr);

    // A file is revealed; the focus stays.
    f.doubleClick({150, 10});
    ASSERT_EQ(f.desktop.revealed.size(), 1u);
    EXPECT_EQ(f.desktop.revealed[0], std::vector<std::string>{"/srv/data/movie.mp4"});
    EXPECT_EQ(f.state.focus(), f.tree);

    // A folder with children is drilled into and the selection cleared.
    f.doubleClick({50, 10});
    EXPECT_EQ(f.state.focus()->name(), "docs");
    EXPECT_EQ(f.state.selection(), nullptr);
    EXPECT_EQ(f.desktop.revealed.size(), 1u);

    // On empty space with a selection, the selection is acted on; with neither, nothing happens.
    f.state.setSelection(f.state.retain(childNamed(*f.tree, "empty")));
    f.move({250, 10});
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(250, 10), f.canvas.mapToGlobal(QPointF(250, 10)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&f.canvas, &dbl);
    ASSERT_EQ(f.desktop.revealed.size(), 2u);
    EXPECT_EQ(f.desktop.revealed[1], std::vector<std::string>{"/srv/data/empty"});
    f.state.setSelection({});
    QApplication::sendEvent(&f.canvas, &dbl);
    EXPECT_EQ(f.desktop.revealed.size(), 2u);
}

TEST(NodeContextMenuEntries, FileAndFolderMenusAndEveryAction) {
    Fixture f;
    // Nothing hovered or selected: no menu.
    EXPECT_EQ(f.contextMenu({250, 10}), nullptr);

    QMenu* fileMenu = f.contextMenu({150, 10});
    ASSERT_NE(fileMenu, nullptr);
    EXPECT_EQ(titles(*fileMenu), QStringList({"Open", "Reveal in Finder", "Quick Look", "-", "Copy Path", "-",
                                              "Add to Cleanup"}));
    trigger(*fileMenu, "Open");
    trigger(*fileMenu, "Reveal in Finder");
    trigger(*fileMenu, "Quick Look");
    trigger(*fileMenu, "Copy Path");
    EXPECT_EQ(f.desktop.opened, std::vector<std::string>{"/srv/data/movie.mp4"});
    EXPECT_EQ(f.desktop.revealed, std::vector<std::vector<std::string>>{{"/srv/data/movie.mp4"}});
    EXPECT_EQ(f.desktop.previewed, std::vector<std::vector<std::string>>{{"/srv/data/movie.mp4"}});
    EXPECT_EQ(f.desktop.copied, std::vector<std::string>{"/srv/data/movie.mp4"});
    EXPECT_FALSE(f.state.banner().has_value());
    trigger(*fileMenu, "Add to Cleanup");
    ASSERT_EQ(f.state.queue().size(), 1u);
    EXPECT_EQ(f.state.queue()[0]->name(), "movie.mp4");

    // Queued now: the entry reads Remove and removes it.
    QMenu* again = f.contextMenu({150, 10});
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(titles(*again).back(), "Remove from Cleanup");
    trigger(*again, "Remove from Cleanup");
    EXPECT_TRUE(f.state.queue().empty());

    // A folder with children gets Focus Here, which focuses it and clears the selection.
    f.state.setSelection(f.state.retain(childNamed(*f.tree, "movie.mp4")));
    QMenu* folderMenu = f.contextMenu({50, 10});
    ASSERT_NE(folderMenu, nullptr);
    EXPECT_EQ(titles(*folderMenu), QStringList({"Open", "Reveal in Finder", "Quick Look", "-", "Focus Here",
                                                "Copy Path", "-", "Add to Cleanup"}));
    trigger(*folderMenu, "Focus Here");
    EXPECT_EQ(f.state.focus()->name(), "docs");
    EXPECT_EQ(f.state.selection(), nullptr);

    // Secondary click on empty space with a selection: the selection's menu; an empty folder has no
    // Focus Here.
    f.state.setSelection(f.state.retain(childNamed(*f.tree, "empty")));
    QMenu* emptyMenu = f.contextMenu({250, 10});
    ASSERT_NE(emptyMenu, nullptr);
    EXPECT_FALSE(titles(*emptyMenu).contains("Focus Here"));
    trigger(*emptyMenu, "Copy Path");
    EXPECT_EQ(f.desktop.copied.back(), "/srv/data/empty");
}

TEST(NodeContextMenuCopy, NameThatIsNotUtf8IsCopiedWithReplacementsAndSaysSo) {
    test::RecordingDesktop desktop;
    AppState state(test::memoryStore());
    state.setDesktop(&desktop);
    AppState::NodePtr tree = test::treeFromText("/srv/x/\n  caf\xe9.txt 10\n");
    NodeContextMenu::copyPath(state, *tree->children()[0]);
    ASSERT_EQ(desktop.copied.size(), 1u);
    EXPECT_EQ(desktop.copied[0], "/srv/x/caf\xef\xbf\xbd.txt");
    ASSERT_TRUE(state.banner().has_value());
    EXPECT_EQ(state.banner()->title, "Path copied with replacement characters");
}
