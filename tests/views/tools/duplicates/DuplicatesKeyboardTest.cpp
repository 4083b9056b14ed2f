// The duplicates tab by keyboard: Tab walks the header's controls and the cards as one stop; the
// arrows walk the cards and their rows and the controls on each, ringed, and Space and Return press
// them as a click does, staging copies into the store's queue.
#include "state/AppState.h"
#include "state/AppStateTestSupport.h"
#include "style/Typography.h"
#include "support/TempFolder.h"
#include "views/tools/ToolKeyboard.h"
#include "views/tools/duplicates/DuplicatesView.h"
#include "views/tools/duplicates/GroupList.h"
#include "views/tools/duplicates/MiniSlider.h"

#include <fstream>

#include <gtest/gtest.h>

using namespace tallymere;
using Names = std::vector<std::string>;

namespace {

class DuplicatesByKeys : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Typography::bootstrap(QCoreApplication::applicationDirPath() + "/Fonts"); }
};

void write(const std::string& path, std::size_t bytes, char fill) {
    std::ofstream(path, std::ios::binary) << std::string(bytes, fill);
}

} // namespace

TEST_F(DuplicatesByKeys, TheHeaderThenTheCardsWhoseRowsAndButtonsTheArrowsWalk) {
    test::TempFolder folder;
    folder.folder("deep");
    write(folder / "a", 300000, 'x');
    write(folder / "deep/a2", 300000, 'x');
    write(folder / "deep/a3", 300000, 'x');
    write(folder / "b", 250000, 'y');
    write(folder / "deep/b2", 250000, 'y');
    AppState state{test::memoryStore()};
    ASSERT_TRUE(test::scanAndWait(state, folder.path()));
    auto* view = new DuplicatesView(state);
    view->setMinSizeMB(0.1);
    test::KeyboardHost host;
    host.hold(view, {900, 600});
    ASSERT_TRUE(test::waitUntil([&] { return !view->isRunning(); }));
    test::settle();
    ASSERT_EQ(view->groups().size(), 2u);
    auto queued = [&] {
        std::vector<std::string> paths;
        for (const auto& node : state.queue()) paths.push_back(node->path().substr(folder.path().size() + 1));
        return paths;
    };

    // The slider by the arrows.
    const std::int64_t minSize = view->minSizeBytes();
    ASSERT_TRUE(host.tabUntil(view->slider()));
    host.press(Qt::Key_Right);
    EXPECT_GT(view->minSizeBytes(), minSize);
    host.press(Qt::Key_Home);
    EXPECT_EQ(view->minSizeBytes(), 100000);

    // The cards: Tab reaches the first card's header, ringed inside its edge.
    GroupList* list = view->groupList();
    const QRectF header = list->cardRect(0);
    const QPoint edge(int(header.center().x()), int(header.top()) + 1);
    host.setFocus(Qt::OtherFocusReason);
    const QColor bare = host.pixel(list, edge);
    ASSERT_TRUE(host.tabUntil(list));
    EXPECT_TRUE(test::near(host.pixel(list, edge), host.ringOver(bare), 4));

    // Return opens the card; Down reaches its second row, Right its queue button, Space stages it.
    host.press(Qt::Key_Return);
    ASSERT_TRUE(list->isExpanded(view->groups()[0].id));
    host.press(Qt::Key_Down);
    host.press(Qt::Key_Down);
    host.press(Qt::Key_Right);
    EXPECT_EQ(list->cursor(), (GroupList::Cursor{0, 1, 1}));
    host.press(Qt::Key_Space);
    EXPECT_EQ(queued(), (Names{"deep/a2"}));

    // Back up to the header, over to "Keep first": Return stages the other copy too.
    host.press(Qt::Key_Home);
    host.press(Qt::Key_Right);
    host.press(Qt::Key_Return);
    EXPECT_EQ(queued(), (Names{"deep/a2", "deep/a3"}));

    // A click on the other card's header opens it and leaves no ring: the keyboard goes on from there.
    QTest::mouseClick(list, Qt::LeftButton, {}, list->cardRect(1).topLeft().toPoint() + QPoint(60, 10));
    test::settle();
    EXPECT_TRUE(list->isExpanded(view->groups()[1].id));
    EXPECT_FALSE(FocusRing::shown(list));
    host.press(Qt::Key_Down);
    EXPECT_EQ(list->cursor(), (GroupList::Cursor{1, 0, 0}));
    EXPECT_TRUE(FocusRing::shown(list));
}
