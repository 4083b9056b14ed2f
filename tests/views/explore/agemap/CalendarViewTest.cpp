#include "views/explore/agemap/CalendarView.h"

#include "layout/MonthCalendar.h"
#include "support/ColourChecks.h"
#include "views/components/controls/ActionButton.h"
#include "views/explore/agemap/AgeBucketPanel.h"
#include "views/explore/agemap/AgeMapStore.h"
#include "views/explore/agemap/CalendarViewTestSupport.h"
#include "views/explore/agemap/StaleList.h"
#include "views/explore/agemap/StalePanel.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tallymere;
using namespace tallymere::test::calendar;
using test::looksLike;
using test::over;

TEST(CalendarViewBuckets, BarsScaleToTheFullestBucketAndSharesToTheTotal) {
    Fixture f;
    AgeBucketPanel& panel = *f.view.bucketPanel();
    ASSERT_EQ(panel.buckets().size(), 6u);
    EXPECT_EQ(panel.totalText(), "155\u00A0MB");
    // Over 2 years holds 110 MB, the most: its bar spans the track. 3-12 months holds 800 B: a 2-wide stub.
    EXPECT_DOUBLE_EQ(panel.fillRect(5).width(), panel.trackRect(5).width());
    EXPECT_DOUBLE_EQ(panel.fillRect(3).width(), 2);
    EXPECT_EQ(panel.bytesText(5), "110\u00A0MB");
    EXPECT_EQ(panel.shareText(5), "71.0%");
    EXPECT_EQ(panel.shareText(3), "<0.1%");
    EXPECT_EQ(panel.shareText(0), "0.0%");

    const QImage image = f.image();
    const Theme theme;
    const QRectF full = panel.fillRect(5);
    EXPECT_TRUE(looksLike(image.pixelColor(f.inView(panel, QPointF(full.left() + 8, full.center().y()))),
                          AgeBucketPanel::tint(theme, 5)));
    const QRectF stub = panel.trackRect(3);
    EXPECT_TRUE(looksLike(image.pixelColor(f.inView(panel, QPointF(stub.center().x(), stub.center().y()))),
                          over(theme.background, 0.6, theme.surface)))
        << "the track shows beyond the short bar";
}

TEST(CalendarViewStale, StagingFollowsTheQueueRuleAndLeavesTheListAlone) {
    Fixture f;
    StalePanel& panel = *f.view.stalePanel();
    StaleList& list = *panel.list();
    ASSERT_TRUE(panel.isShowingList());
    ASSERT_EQ(list.nodes().size(), 3u);
    EXPECT_EQ(list.nodes()[0]->name(), "older.dmg");
    EXPECT_EQ(list.nodes()[2]->name(), "Tool.app");
    EXPECT_EQ(panel.summaryText(), "155\u00A0MB across 3 items");
    EXPECT_EQ(panel.stageButton()->title(), "Stage top 3 for cleanup");

    // Staged elsewhere before: a file inside the package (absorbed by it) and the folder holding big.iso
    // (which keeps big.iso out).
    f.state.enqueue(f.state.retain(find(*f.tree, "inner.bin")));
    f.state.enqueue(f.state.retain(find(*f.tree, "old")));
    ActionButton& button = *panel.stageButton();
    f.click(button, QPointF(button.width() / 2.0, button.height() / 2.0));
    EXPECT_EQ(f.queued(), (std::vector<std::string>{"old", "older.dmg", "Tool.app"}));
    int changes = 0;
    QObject::connect(&f.state, &AppState::queueChanged, [&] { ++changes; });
    panel.stageTop();
    EXPECT_EQ(changes, 0) << "a second press adds nothing";

    // The row toggle unstages and stages one node; the list stays as it was.
    const int rebuilds = f.view.rebuildCount();
    const QPointF toggle = list.toggleRect(0).center();
    auto inkedWith = [&](const QColor& color) {
        const QImage image = f.image();
        const QRect box = list.toggleRect(0).toAlignedRect();
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                if (looksLike(image.pixelColor(f.inView(list, QPointF(x, y))), color)) return true;
        return false;
    };
    EXPECT_TRUE(inkedWith(Theme().danger)) << "staged: the check in the danger colour";
    f.click(list, toggle);
    EXPECT_EQ(f.queued(), (std::vector<std::string>{"old", "Tool.app"}));
    EXPECT_FALSE(inkedWith(Theme().danger));
    f.click(list, toggle);
    EXPECT_EQ(f.queued(), (std::vector<std::string>{"old", "Tool.app", "older.dmg"}));
    EXPECT_EQ(list.nodes().size(), 3u);
    EXPECT_EQ(f.view.rebuildCount(), rebuilds) << "the queue never rebuilds the Age Map";
}

TEST(CalendarViewEmpty, EmptyFolderAndNoNodeShowTheirMessages) {
    Fixture f;
    f.state.setFocus(f.state.retain(find(*f.tree, "empty")));
    AgeBucketPanel& buckets = *f.view.bucketPanel();
    ASSERT_EQ(buckets.buckets().size(), 6u);
    EXPECT_EQ(buckets.totalText(), "1\u00A0B");
    EXPECT_EQ(buckets.bytesText(2), "0\u00A0B");
    EXPECT_EQ(buckets.shareText(2), "0.0%");
    EXPECT_DOUBLE_EQ(buckets.fillRect(2).width(), 2);
    EXPECT_TRUE(f.grid().years().empty());
    EXPECT_EQ(f.grid().peak(), 1);
    EXPECT_FALSE(f.view.stalePanel()->isShowingList());
    EXPECT_FALSE(f.view.stalePanel()->stageButton()->isVisible());

    // Without any node the buckets go too, and the busiest month keeps what it was.
    f.state.setFocus(f.tree);
    test::display(f.state, nullptr);
    EXPECT_TRUE(buckets.buckets().empty());
    EXPECT_EQ(buckets.totalText(), "1\u00A0B");
    EXPECT_EQ(f.grid().peak(), 60'000'000);
    EXPECT_TRUE(f.view.stale().empty());
}

TEST(CalendarViewStale, ManyStaleFilesStageTheFirstForty) {
    UtcZone zone;
    AppState state(test::memoryStore());
    std::string text = "/many/\n";
    for (int i = 0; i < 130; ++i) text += line(2, "f" + std::to_string(i), 40'000'000 + i, now - 500 * day);
    AppState::NodePtr tree = test::treeFromText(text);
    test::display(state, tree);
    CalendarView view(state);
    view.setClock([] { return double(now); });
    StalePanel& panel = *view.stalePanel();
    ASSERT_EQ(panel.list()->nodes().size(), 120u);
    EXPECT_EQ(panel.stageButton()->title(), "Stage top 40 for cleanup");
    EXPECT_EQ(panel.summaryText().section(QLatin1Char(' '), 1), "across 120 items");
    panel.stageTop();
    ASSERT_EQ(state.queue().size(), 40u);
    EXPECT_EQ(state.queue().front()->name(), "f129");
    EXPECT_EQ(state.queue().back()->name(), "f90");
}

TEST(CalendarViewStale, StageTopStagesTheTopFilesThatCanBeStaged) {
    UtcZone zone;
    AppState state(test::memoryStore());
    // The largest old files lie in the Trash at the top of the disk, where the move refuses them.
    std::string text = "/\n  .Trash-1000/\n    files/\n";
    for (int i = 0; i < 3; ++i) text += line(6, "thrown" + std::to_string(i), 90'000'000 - i, now - 500 * day);
    text += "  docs/\n";
    for (int i = 0; i < 2; ++i) text += line(4, "kept" + std::to_string(i), 50'000'000 - i, now - 500 * day);
    const auto tree = test::treeFromText(text);
    AppState::nodeAt("/.Trash-1000", tree)->isTrash = true; // as a scan given the places marks it
    test::display(state, tree);
    CalendarView view(state);
    view.setClock([] { return double(now); });
    StalePanel& panel = *view.stalePanel();
    ASSERT_EQ(panel.list()->nodes().size(), 5u);
    EXPECT_EQ(panel.stageButton()->title(), "Stage top 2 for cleanup");
    panel.stageTop();
    ASSERT_EQ(state.queue().size(), 2u);
    EXPECT_EQ(state.queue()[0]->name(), "kept0");
    EXPECT_EQ(state.queue()[1]->name(), "kept1");
    EXPECT_FALSE(state.banner()) << "nothing was refused";
}

// The large subfolders of a folder shown, and its parent, are walked ahead on a thread of their
// own: going into one walks nothing on the window's thread and shows exactly what a walk gives. A
// small folder is walked when it is shown, as before.
TEST(CalendarViewPrefetch, LargeFoldersShownNextWereWalkedAhead) {
    UtcZone zone;
    std::string text = "/data/\n";
    for (const char* folder : {"big", "more"}) {
        text += std::string("  ") + folder + "/\n";
        for (int i = 0; i < 1'100; ++i)
            text += line(4, "f" + std::to_string(i), 1'000 + i * 37, now - i * 2 * day - (i % 7) * 3'600);
        text += line(4, "old.iso", 60'000'000, now - 500 * day) + line(4, "older.iso", 60'000'000, now - 600 * day);
    }
    text += "  small/\n" + line(4, "one.txt", 10, now - day);
    AppState state{test::memoryStore()};
    const AppState::NodePtr tree = test::treeFromText(text);
    CalendarView view{state};
    view.setClock([] { return double(now); });
    test::display(state, tree);
    AgeMapStore::waitForPrefetch();
    const int walks = AgeMapStore::walksHere();
    for (const char* name : {"big", "more"}) {
        const FileNode* folder = find(*tree, name);
        ASSERT_GE(folder->fileCount, 1'000);
        state.setFocus(state.retain(folder));
        EXPECT_EQ(AgeMapStore::walksHere(), walks) << name;
        const AgeMapModel::AgeMap walked =
            AgeMapModel::build(*folder, {state.useAllocatedSize(), double(now), 1}, MonthCalendar::local());
        EXPECT_EQ(view.buckets(), std::vector<AgeMapModel::Bucket>(walked.buckets.begin(), walked.buckets.end()));
        EXPECT_EQ(view.stale(), walked.stale);
        EXPECT_EQ(view.stale().size(), 2u);
        EXPECT_EQ(view.heatMapPanel()->grid()->years(), walked.years);
    }
    state.setFocus(state.retain(find(*tree, "small")));
    EXPECT_EQ(AgeMapStore::walksHere(), walks + 1);
}

TEST(CalendarViewStale, TheRowsAreAStopWhoseTogglesOnlyRightReachesAndSpaceOrReturnPress) {
    Fixture f;
    QApplication::setActiveWindow(&f.view);
    StaleList& list = *f.view.stalePanel()->list();
    auto key = [&](int k) { QTest::keyClick(QApplication::focusWidget(), Qt::Key(k)); };
    list.setFocus(Qt::TabFocusReason);
    for (int k : {Qt::Key_Down, Qt::Key_Space, Qt::Key_Return}) key(k);
    EXPECT_TRUE(f.queued().empty()) << "a key on the row itself stages nothing";
    // Right rings the second row's toggle: Space stages its node, Return unstages it.
    key(Qt::Key_Right);
    EXPECT_TRUE(QApplication::focusWidget()->geometry().contains(list.toggleRect(1).toAlignedRect()));
    key(Qt::Key_Space);
    EXPECT_EQ(f.queued(), std::vector<std::string>{"big.iso"});
    key(Qt::Key_Return);
    EXPECT_TRUE(f.queued().empty());
    // Down goes back to the rows and on to the next.
    for (int k : {Qt::Key_Down, Qt::Key_Right, Qt::Key_Space}) key(k);
    EXPECT_EQ(f.queued(), std::vector<std::string>{"Tool.app"});
}
