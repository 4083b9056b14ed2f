// The whole window lets go of a scanned tree when a new scan starts: whatever view showed it, with
// an item selected and hovered, nothing the window drew, described, listed or cached of it keeps
// it alive while the new scan runs or after it has finished.
#include "app/MainWindow.h"
#include "app/MenuCommands.h"
#include "core/DiskScanner.h"
#include "state/AppState.h"
#include "state/AppStateTestSupport.h"
#include "style/Typography.h"
#include "support/RecordingDesktop.h"
#include "views/explore/agemap/AgeMapStore.h"
#include "views/explore/agemap/AgeMapStoreSeam.h"
#include "views/shell/RootView.h"
#include "views/shell/ShellTestSupport.h"
#include "views/shell/VisualizationHost.h"
#include "views/shell/WorkspaceView.h"
#include "views/tools/duplicates/DuplicatesView.h"

#include <QMouseEvent>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using namespace tallymere;
using tallymere::test::TempFolder;

namespace {

// The scanner of the new scan, held at its start until released, so that what the window keeps
// while a scan runs can be looked at. It never holds past a broken test's end.
class HeldScanner {
public:
    ~HeldScanner() { release(); }
    AppState::Scanner scanner() {
        return [this](std::string_view path, const ScanOptions& options, ScanProgress& progress) {
            {
                std::unique_lock lock(m_mutex);
                m_released.wait_for(lock, std::chrono::seconds(60), [this] { return m_free; });
            }
            return DiskScanner::scan(path, options, progress);
        };
    }
    void hold() {
        std::lock_guard lock(m_mutex);
        m_free = false;
    }
    void release() {
        {
            std::lock_guard lock(m_mutex);
            m_free = true;
        }
        m_released.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_free = true;
};

// The Age Map's walks ahead wait while the test runs, so that the folders asked for stay queued
// when the new scan starts.
struct PausedPrefetch {
    PausedPrefetch() { AgeMapStore::pausePrefetch(true); }
    ~PausedPrefetch() { AgeMapStore::pausePrefetch(false); }
};

// The main window as the program builds it, with its menus, over a tree with something in every
// view: folders, files of several ages, big files untouched for years, and duplicates.
struct Window {
    Window() {
        Typography::bootstrap(QCoreApplication::applicationDirPath() + "/Fonts");
        dir.file("tree/Documents/report.pdf", 3000);
        dir.file("tree/Projects/src/main.cpp", 2000);
        // A cleanup preset's match: the sidebar lists it among its quick wins.
        dir.file("tree/Projects/node_modules/left-pad/index.js", 4000);
        for (int i = 0; i < 30; ++i) dir.file("tree/Music/track-" + std::to_string(i) + ".flac", 1000 + 10 * i);
        // Enough files for the Age Map to walk this folder, and the whole tree, ahead.
        for (int i = 0; i < 1000; ++i) dir.file("tree/Photos/p" + std::to_string(i) + ".jpg", 10);
        for (int i = 0; i < 4; ++i)
            dir.oldFile("tree/Archive/backup-" + std::to_string(i) + ".tar.gz", (41 + i) * 1000 * 1000, 400 + 100 * i);
        // Two copies of one content, above the duplicate search's smallest size.
        for (const char* folder : {"tree/Media", "tree/Backup"})
            std::ofstream(dir.folder(folder) + "/clip.mov", std::ios::binary) << std::string(1200000, 'x');
        state.setDesktop(&desktop);
        state.setScanner(held.scanner());
        state.setUseAllocatedSize(false);
        window.show();
    }

    MenuCommands::Services services() {
        MenuCommands::Services s;
        s.desktop = &desktop;
        s.preview = [](const std::vector<std::string>&) {};
        s.homeFolder = [this] { return dir / "home"; };
        s.showSettings = [] {};
        s.quit = [] {};
        return s;
    }

    RootView& root() { return *static_cast<RootView*>(window.centralWidget()); }

    void show(WorkspaceTab tab, VizMode viz = VizMode::treemap) {
        state.setViz(viz);
        state.setTab(tab);
        root().finishAnimations();
        root().workspace()->finishAnimations();
        test::settle();
    }

    // The widget showing the tree: the explore tab's visualisation or the tool tab's view.
    QWidget* shown() {
        QWidget* content = root().workspace()->content();
        if (auto* host = content->findChild<VisualizationHost*>()) return host->view();
        return content;
    }

    // The pointer comes to rest on an item of the shown view and clicks it, as a user's would; where
    // the view has no item under the points tried, the store is told directly.
    void hoverAndSelect() {
        QWidget* view = shown();
        state.setSelection({});
        state.setHovered({});
        test::settle();
        for (int row = 1; row < 12 && !state.hovered(); ++row)
            for (int column = 1; column < 12 && !state.hovered(); ++column) {
                const QPointF at(view->width() * column / 12.0, view->height() * row / 12.0);
                QWidget* target = view->childAt(at.toPoint());
                if (!target) target = view;
                const QPointF local = target->mapFrom(view, at);
                QMouseEvent move(QEvent::MouseMove, local, target->mapToGlobal(local), Qt::NoButton, Qt::NoButton,
                                 Qt::NoModifier);
                QApplication::sendEvent(target, &move);
                if (state.hovered()) test::clickOn(*target, QRectF(local - QPointF(1, 1), QSizeF(2, 2)));
            }
        const AppState::NodePtr file = AppState::nodeAt(dir / "tree/Music/track-3.flac", state.displayRoot());
        if (!state.selection()) state.setSelection(file);
        if (!state.hovered()) state.setHovered(file);
        test::settle();
    }

    PausedPrefetch paused;
    TempFolder dir;
    test::RecordingDesktop desktop;
    AppState state{test::memoryStore()};
    HeldScanner held;
    MainWindow window{state, new MenuCommands(state, services())};
};

struct Stop {
    WorkspaceTab tab;
    VizMode viz;
};

std::string nameOf(const Stop& stop) {
    if (stop.tab == WorkspaceTab::explore) return std::string(VizModes::title(stop.viz));
    return "the duplicates tab";
}

} // namespace

TEST(OneTreeInMemory, ANewScanLetsGoOfTheOldTreeWhateverTheWindowShowed) {
    Window w;
    std::vector<Stop> stops;
    for (VizMode mode : VizModes::all) stops.push_back({WorkspaceTab::explore, mode});
    stops.push_back({WorkspaceTab::duplicates, VizMode::treemap});
    const ScanTarget target = ScanTarget::folder(w.dir / "tree");

    // Each round shows the tree in every view, then stops on one of them for the new scan.
    for (const Stop& last : stops) {
        ASSERT_TRUE(test::scanAndWait(w.state, w.dir / "tree"));
        for (const Stop& stop : stops) {
            w.show(stop.tab, stop.viz);
            if (stop.tab == WorkspaceTab::duplicates) {
                auto* duplicates = qobject_cast<DuplicatesView*>(w.shown());
                ASSERT_NE(duplicates, nullptr);
                ASSERT_TRUE(test::waitUntil([&] { return !duplicates->isRunning() && !duplicates->groups().empty(); }));
            }
            w.hoverAndSelect();
        }
        w.show(last.tab, last.viz);
        w.hoverAndSelect();
        // A folder of many children: the inspector fills every row of its "Largest inside" list.
        w.state.setSelection(AppState::nodeAt(w.dir / "tree/Music", w.state.displayRoot()));
        ASSERT_TRUE(w.state.selection() && w.state.hovered()) << nameOf(last);
        ASSERT_TRUE(w.root().inspector()->isVisible()) << nameOf(last);

        const std::weak_ptr<FileNode> old = w.state.root();
        w.held.hold();
        w.state.scan(target);
        ASSERT_TRUE(w.state.isScanning());
        EXPECT_TRUE(test::waitUntil([&] { return old.expired(); }, 5000))
            << "the tree shown in " << nameOf(last) << " is still held while the new scan runs";
        w.held.release();
        ASSERT_TRUE(test::waitUntil([&] { return !w.state.isScanning(); }));
        test::settle();
        EXPECT_TRUE(old.expired()) << "the tree shown in " << nameOf(last) << " is still held after the new scan";
        ASSERT_NE(w.state.root(), nullptr);
    }
}
