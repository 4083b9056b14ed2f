// The whole window from its smallest size up: every view and tool tab keeps its texts and controls
// whole and inside their panels, and every list scrolls with the one themed bar.
#include "views/shell/RootView.h"

#include "state/AppStateTestSupport.h"
#include "support/FakeAppHome.h"
#include "views/components/ThemedScrollBar.h"
#include "views/shell/ShellTestSupport.h"
#include "views/shell/WorkspaceView.h"

#include <QAbstractScrollArea>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <sys/time.h>
#include <fcntl.h>
#include <unistd.h>

using namespace tallymere;
using tallymere::test::TempFolder;

namespace {

constexpr double daySeconds = 86400;

// A file of `bytes` logical bytes without blocks, last modified `days` ago.
void oldFile(const std::string& path, off_t bytes, double days) {
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, bytes), 0);
    ::close(fd);
    timeval now{};
    ::gettimeofday(&now, nullptr);
    const timeval then{now.tv_sec - static_cast<time_t>(days * daySeconds), 0};
    const timeval times[2] = {then, then};
    ASSERT_EQ(::utimes(path.c_str(), times), 0);
}

// The window at its minimum size with the inspector shown, over a tree with something in every
// view: folders, files of several ages, big files untouched for years, and duplicates.
struct Window {
    explicit Window(QSize size = {RootView::minimumWidth, RootView::minimumHeight}) : view(state) {
        dir.file("tree/Documents/report.pdf", 3000);
        dir.file("tree/Documents/copy/report.pdf", 3000);
        dir.file("tree/Projects/src/main.cpp", 2000);
        dir.folder("tree/Archive");
        for (int i = 0; i < 5; ++i)
            oldFile(dir / ("tree/Archive/an-archive-of-old-project-backups-" + std::to_string(i) + ".tar.gz"),
                    (41 + i) * 1000 * 1000, 400 + 100 * i);
        for (int i = 0; i < 40; ++i) dir.file("tree/Music/track-" + std::to_string(i) + ".flac", 1000 + i);
        state.setUseAllocatedSize(false);
        view.resize(size);
        view.show();
        ready = test::scanAndWait(state, dir / "tree");
        view.finishAnimations();
    }
    void show(WorkspaceTab tab, VizMode viz = VizMode::treemap) {
        state.setViz(viz);
        state.setTab(tab);
        view.finishAnimations();
        view.workspace()->finishAnimations();
        test::settle();
    }
    test::FakeAppHome home;
    TempFolder dir;
    AppState state{test::memoryStore()};
    RootView view;
    bool ready = false;
};

const std::vector<VizMode> listViews = {VizMode::folders, VizMode::icicle, VizMode::bars, VizMode::calendar,
                                        VizMode::table};
const std::vector<WorkspaceTab> toolTabs = {WorkspaceTab::duplicates, WorkspaceTab::apps, WorkspaceTab::monitor,
                                            WorkspaceTab::snapshots};

// Every bar that can show in the workspace's current content, by the area it scrolls.
void expectThemedBars(QWidget* content, const std::string& where) {
    ASSERT_NE(content, nullptr) << where;
    int scrolling = 0;
    for (QAbstractScrollArea* area : content->findChildren<QAbstractScrollArea*>()) {
        const std::string name = where + " " + area->metaObject()->className();
        if (area->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff) {
            ++scrolling;
            EXPECT_NE(qobject_cast<ThemedScrollBar*>(area->verticalScrollBar()), nullptr) << name;
        }
        if (area->horizontalScrollBarPolicy() != Qt::ScrollBarAlwaysOff)
            EXPECT_NE(qobject_cast<ThemedScrollBar*>(area->horizontalScrollBar()), nullptr) << name;
    }
    EXPECT_GT(scrolling, 0) << where << " has a list that scrolls";
}

} // namespace

TEST(WindowScrollBars, EveryListAndPageScrollsWithTheThemedBar) {
    Window w;
    ASSERT_TRUE(w.ready);
    for (VizMode viz : listViews) {
        w.show(WorkspaceTab::explore, viz);
        expectThemedBars(w.view.workspace()->content(), VizModes::rawValue(viz).data());
    }
    for (WorkspaceTab tab : toolTabs) {
        w.show(tab);
        expectThemedBars(w.view.workspace()->content(), WorkspaceTabs::rawValue(tab).data());
    }
}
