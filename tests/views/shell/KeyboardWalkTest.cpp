// Every pane of the window walked by Tab, one row of a table a pane: the stops it holds in reading
// order, the same stops again by Shift+Tab, and each stop's ring clear of every letter and symbol
// around it by at least a pixel.
#include "views/shell/RootView.h"

#include "services/SnapshotStore.h"
#include "state/AppStateTestSupport.h"
#include "style/Typography.h"
#include "support/FakeAppHome.h"
#include "views/shell/BannerView.h"
#include "views/shell/ShellTestSupport.h"
#include "views/shell/WorkspaceView.h"
#include "views/shell/cleanup/CleanupBar.h"
#include "views/shell/sidebar/SidebarView.h"
#include "views/shell/topbar/TopBar.h"
#include "views/tools/ToolKeyboard.h"
#include "views/tools/applications/ApplicationsView.h"
#include "views/tools/duplicates/DuplicatesView.h"
#include "views/tools/monitor/MonitorView.h"
#include "views/tools/snapshots/SnapshotsView.h"


#include <QScrollArea>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>

using namespace tallymere;
using Names = std::vector<std::string>;

namespace {

std::string nameOf(QWidget* w) { return test::KeyboardHost::nameOf(w); }

// Whether the pixel at `at` is ink, a letter's or a symbol's mark: dark, in a patch of dark smaller
// than a button's accent fill.
bool isInk(const QImage& image, QPoint at) {
    auto dark = [&](QPoint p) {
        const QRgb c = image.pixel(p);
        return image.rect().contains(p) && qRed(c) + qGreen(c) + qBlue(c) < 3 * 0x90;
    };
    std::vector<QPoint> todo{at};
    std::set<std::pair<int, int>> seen{{at.x(), at.y()}};
    while (dark(at) && !todo.empty() && seen.size() < 300) {
        const QPoint p = todo.back();
        todo.pop_back();
        for (int d = 0; d < 9; ++d)
            if (const QPoint q = p + QPoint(d % 3 - 1, d / 3 - 1); dark(q) && seen.insert({q.x(), q.y()}).second)
                todo.push_back(q);
    }
    return dark(at) && seen.size() < 300;
}

// What a walk holds: the window (the whole one, or a tab's view in a host that walks as it does)
// and the fixtures behind it.
struct Stage {
    test::TempFolder dir;
    test::RecordingDesktop desktop;
    AppState state{test::memoryStore()};
    std::unique_ptr<test::FakeAppHome> home;
    std::unique_ptr<RootView> root;
    std::unique_ptr<test::KeyboardHost> host;
    QWidget* window = nullptr;

    // The whole window at its smallest, on a scanned tree when `scan`, focused on its "web".
    RootView& view(bool scan = true) {
        state.setDesktop(&desktop);
        state.setUseAllocatedSize(false);
        root = std::make_unique<RootView>(state);
        window = root.get();
        root->resize(RootView::minimumWidth, RootView::minimumHeight);
        root->show();
        QApplication::setActiveWindow(root.get());
        if (scan) {
            for (const char* file : {"tree/movie.mp4", "tree/photo.jpg", "tree/web/app.js", "tree/web/lib/pkg.js",
                                     "tree/web/a/a.js", "tree/web/b/b.js"})
                dir.file(file, 9000);
            dir.oldFile("tree/web/archive.iso", 60'000'000, 800);
            EXPECT_TRUE(test::scanAndWait(state, dir / "tree"));
            test::waitUntil([&] { return !state.volumes().empty(); }, 5000);
            state.setFocus(AppState::nodeAt(dir / "tree/web", state.displayRoot()));
        }
        root->finishAnimations();
        test::settle();
        return *root;
    }
    QWidget* explore(VizMode mode) {
        view().workspace();
        state.setViz(mode);
        test::settle();
        return root->workspace();
    }
    // A tab's view alone, `size` big, once `ready`.
    QWidget* tab(QWidget* made, QSize size, const std::function<bool()>& ready = [] { return true; }) {
        host = std::make_unique<test::KeyboardHost>();
        window = host.get();
        host->hold(made, size);
        EXPECT_TRUE(test::waitUntil(ready, 30'000));
        test::settle();
        return made;
    }
    // Groups enough to run past the list's foot.
    QWidget* duplicates(int width) {
        for (int size = 200000; size < 200017; ++size)
            for (const char* copy : {"d/", "d/b/"}) dir.file(copy + std::to_string(size), size);
        EXPECT_TRUE(test::scanAndWait(state, dir / "d"));
        auto* made = new DuplicatesView(state);
        made->setMinSizeMB(0.1);
        return tab(made, {width, 600}, [made] { return !made->isRunning(); });
    }
};

struct Pane {
    const char* name;
    std::function<QWidget*(Stage&)> make; // the pane to walk
    Names stops;
    // Then, Tab taken to the stop `from`, `keys` pressed one by one leave the keyboard on `lands`,
    // ringed, having done what `check` looks for.
    const char* from = nullptr;
    std::vector<int> keys = {};
    const char* lands = nullptr;
    std::function<void(Stage&)> check = {};
};

const Pane panes[] = {
    {"welcome", [](Stage& s) {
         s.state.setAccessProbe([] { return false; });
         return s.view(false).workspace();
     }, {"Scan Full Mac", "Scan Home", "Choose Folder", "prompt"}},
    {"top bar", [](Stage& s) -> QWidget* { return s.view().topBar(); },
     {"tabs", "back", "crumbs", "Filter by name…", "Show labels", "Showing logical size", "ThemeMenuButton",
      "Toggle inspector"}},
    {"sidebar", [](Stage& s) -> QWidget* { return s.view().sidebar(); },
     {"Scan Full Mac", "Home", "Folder…", "tree", "Reveal", "Copy Path", "PresetRow", "CategoryRow"}},
    {"treemap", [](Stage& s) { return s.explore(VizMode::treemap); },
     {"reveal", "SegmentedRail", "ColorModeSelector", "DepthSlider"}},
    {"folders", [](Stage& s) { return s.explore(VizMode::folders); },
     {"reveal", "SegmentedRail", "ColorModeSelector", "backChip", "folderCards", "fileCards"}, "folderCards",
     {Qt::Key_End, Qt::Key_Return, Qt::Key_Backtab, Qt::Key_Return}, "folderCards",
     [](Stage& s) { EXPECT_EQ(s.state.focus()->name(), "web"); }},
    {"top sizes", [](Stage& s) { return s.explore(VizMode::bars); }, {"reveal", "SegmentedRail", "BarsView", "BarsList"}},
    {"age map", [](Stage& s) { return s.explore(VizMode::calendar); },
     {"reveal", "SegmentedRail", "StaleList", "Stage top 1 for cleanup"}},
    {"table", [](Stage& s) { return s.explore(VizMode::table); },
     {"reveal", "SegmentedRail", "recursive", "export", "Name", "TableBody"}, "TableBody",
     {Qt::Key_Down, Qt::Key_Right, Qt::Key_Space, Qt::Key_Return, Qt::Key_Return}, "stageToggle", [](Stage& s) {
         EXPECT_EQ(s.state.queue(), std::vector{s.state.selection()});
         EXPECT_TRUE(s.desktop.revealed.empty());
     }},
    {"banner", [](Stage& s) -> QWidget* {
         s.view().setFocus();
         s.state.setBanner(AppState::Banner::make(AppState::Banner::Kind::warning, QStringLiteral("Partial scan")));
         s.root->finishAnimations();
         return s.root->bannerView();
     }, {"grant", "close"}},
    {"inspector", [](Stage& s) -> QWidget* {
         s.view().setFocus();
         s.state.setSelection(s.state.focus());
         return s.root->inspector();
     }, {"InspectorMiniBar", "Reveal", "Quick Look", "Focus", "Copy Path", "Add to Cleanup"}},
    {"cleanup bar open", [](Stage& s) -> QWidget* {
         s.view().setFocus();
         for (const FileNode* child : s.state.displayRoot()->children()) s.state.enqueue(s.state.retain(child));
         s.root->finishAnimations();
         s.root->cleanupBar()->setAnimated(false);
         s.root->cleanupBar()->toggleExpanded();
         return s.root->cleanupBar();
     }, {"staged", "disclosure", "clear", "trash"}},
    {"applications", [](Stage& s) {
         s.home = std::make_unique<test::FakeAppHome>();
         auto* made = new ApplicationsView(s.state, {.sources = s.home->sourcesFunction(),
                                                     .trash = [](const auto&, const auto&, const auto&) {
                                                         return TrashService::Outcome{};
                                                     },
                                                     .confirm = [](const auto&, QWidget*) { return false; }});
         return s.tab(made, {1200, 820}, [made] { return !made->isLoading(); });
     }, {"Search apps…", "Show Apple system apps", "Rescan applications", "AppRow", "OrphanRow", "UninstallButton",
         "LeftoverRow"}, "OrphanRow", {Qt::Key_Right, Qt::Key_Return, Qt::Key_Right, Qt::Key_Return}, "AppRow",
     [](Stage& s) { EXPECT_TRUE(s.host->findChild<ApplicationsView*>()->orphans().empty()); }},
    {"duplicates", [](Stage& s) { return s.duplicates(900); },
     {"MiniSlider", "Stage all extras", "Find Duplicates", "GroupList"}, "Find Duplicates", {Qt::Key_Tab}, "GroupList",
     [](Stage& s) { EXPECT_EQ(s.host->findChild<QScrollArea*>()->verticalScrollBar()->value(), 0); }},
    // Too narrow for one row, the header keeps "Find Duplicates" by the title over the rest.
    {"duplicates narrow", [](Stage& s) { return s.duplicates(480); },
     {"Find Duplicates", "MiniSlider", "Stage all extras", "GroupList"}},
    {"snapshots", [](Stage& s) {
         ::setenv("XDG_DATA_HOME", (s.dir / "data").c_str(), 1);
         const std::string root = s.dir.folder("scan");
         for (int i = 0; i < 2; ++i)
             SnapshotStore::save({.id = Uuid::random(), .createdAt = 1.7e9 + 3600 * i, .rootPath = root, .title = "scan",
                                  .entries = {{root, 40'000'000 + 30'000'000 * i, 1, true}}},
                                 s.dir / "data/Tallymere/Snapshots");
         EXPECT_TRUE(test::scanAndWait(s.state, root));
         auto* made = new SnapshotsView(s.state);
         return s.tab(made, {1100, 640}, [made] { return made->snapshots().size() == 2 && !made->isListing(); });
     }, {"Capture Current Scan", "SnapshotList", "reset", "DeltaList"}},
    // Names reaching above and below the row's letters, which the ring of the row between keeps clear of.
    {"monitor", [](Stage& s) {
         auto* made = new MonitorView(s.state, {.readings = [] { return SystemReadings{}; },
                                                .physicalMemory = [] { return std::int64_t(16) << 30; },
                                                .clock = [] { return 100.0; },
                                                .useTimer = false});
         s.tab(made, {1000, 860});
         made->sampler().applyProcesses(made->sampler().processRequests() + 1,
                                        std::vector<ProcessSample>(6, {.pid = 100, .name = "Xorg Helper pygtk"}));
         return made;
     }, {"ProcessTable"}},
};

} // namespace

class KeyboardWalk : public ::testing::TestWithParam<Pane> {
protected:
    static void SetUpTestSuite() { Typography::bootstrap(QCoreApplication::applicationDirPath() + "/Fonts"); }
    void TearDown() override { ::unsetenv("XDG_DATA_HOME"); }
};

TEST_P(KeyboardWalk, TabMeetsThePanesStopsInReadingOrderShiftTabTheSameBackEachRingedClearOfItsText) {
    const Pane& pane = GetParam();
    Stage stage;
    QWidget* walked = pane.make(stage);
    test::KeyDriver keys(*stage.window);
    // From the window's own keyboard through the pane and out, or round a tab's view to where it
    // came in; the list of other volumes shows only on a machine with more than one.
    auto walk = [&](int key, Qt::KeyboardModifiers modifiers, const std::function<void(QWidget*)>& each) {
        stage.window->setFocus(Qt::OtherFocusReason);
        test::settle();
        Names names;
        for (int guard = 0; !walked->isAncestorOf(keys.focused()) && guard < 80; ++guard) keys.press(key, modifiers);
        for (QWidget* in = keys.focused(); walked->isAncestorOf(keys.focused()) && names.size() < 30;) {
            if (nameOf(keys.focused()) != "volumes") names.push_back(nameOf(keys.focused()));
            if (each) each(keys.focused());
            keys.press(key, modifiers);
            if (keys.focused() == in) break;
        }
        return names;
    };
    // The ring: what changes as it goes, all else kept. None of it lies next to ink, where an
    // edge the ring takes the place of is no ink.
    const auto ringed = [&](QWidget* stop) {
        const QImage ringed = stage.window->grab().toImage().convertToFormat(QImage::Format_RGB32);
        FocusRing::setShown(stop, false);
        const QImage plain = stage.window->grab().toImage().convertToFormat(QImage::Format_RGB32);
        FocusRing::setShown(stop, true);
        int ring = 0, touching = 0;
        for (int y = 1; y + 1 < plain.height(); ++y)
            for (int x = 1; x + 1 < plain.width(); ++x) {
                if (ringed.pixel(x, y) == plain.pixel(x, y)) continue;
                ++ring;
                for (int d = 0; d < 9; ++d) {
                    const QPoint q(x + d % 3 - 1, y + d / 3 - 1);
                    touching += ringed.pixel(q) == plain.pixel(q) && isInk(plain, q);
                }
            }
        EXPECT_GT(ring, 0) << nameOf(stop) << " shows no ring";
        EXPECT_EQ(touching, 0) << nameOf(stop) << "'s ring touches ink";
    };
    EXPECT_EQ(walk(Qt::Key_Tab, {}, ringed), pane.stops);
    Names back = walk(Qt::Key_Backtab, Qt::ShiftModifier, ringed);
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(back, pane.stops) << "by Shift+Tab";
    if (!pane.from) return;
    stage.window->setFocus(Qt::OtherFocusReason);
    for (int guard = 0; nameOf(keys.focused()) != pane.from && guard < 80; ++guard) keys.press(Qt::Key_Tab);
    for (int key : pane.keys) keys.press(key);
    EXPECT_EQ(nameOf(keys.focused()), pane.lands);
    ringed(keys.focused());
    if (pane.check) pane.check(stage);
}

INSTANTIATE_TEST_SUITE_P(Panes, KeyboardWalk, ::testing::ValuesIn(panes), [](const auto& info) {
    return QString::fromLatin1(info.param.name).replace(u' ', u'_').toStdString();
});
