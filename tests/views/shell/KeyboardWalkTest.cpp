// Every pane of the window walked by Tab, one row of a table a pane: the stops it holds in reading
// order, the same stops again by Shift+Tab, and each stop's ring clear of every letter and symbol
// around it by at least a pixel.
#include "views/shell/RootView.h"

#include "services/SnapshotStore.h"
#include "state/AppStateTestSupport.h"
#include "style/Typography.h"
#include "support/FakeAppHome.h"
#include "views/components/controls/ActionButton.h"
#include "views/components/controls/IconToggle.h"
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

#include <QLineEdit>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <set>

using namespace tallymere;
using Names = std::vector<std::string>;

namespace {

std::string nameOf(QWidget* w) {
    if (auto* button = qobject_cast<ActionButton*>(w)) return button->title().toStdString();
    if (auto* toggle = qobject_cast<IconToggle*>(w)) return toggle->help().toStdString();
    if (auto* field = qobject_cast<QLineEdit*>(w)) return field->placeholderText().toStdString();
    return test::KeyboardHost::nameOf(w);
}

// Whether a pixel is dark: darker than any ground or light fill of the light themes' cards, rows
// and tracks.
bool isDark(QRgb p) { return qRed(p) + qGreen(p) + qBlue(p) < 3 * 0x90; }

// Whether the dark pixel at `at` is ink, a letter's or a symbol's mark: a small patch of dark,
// where a button's accent fill is a large one.
bool isInk(const QImage& image, QPoint at) {
    if (!isDark(image.pixel(at))) return false;
    std::vector<QPoint> todo{at};
    std::set<std::pair<int, int>> seen{{at.x(), at.y()}};
    while (!todo.empty() && seen.size() < 300) {
        const QPoint p = todo.back();
        todo.pop_back();
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const QPoint q = p + QPoint(dx, dy);
                if (image.rect().contains(q) && isDark(image.pixel(q)) && seen.insert({q.x(), q.y()}).second)
                    todo.push_back(q);
            }
    }
    return seen.size() < 300;
}

// What a walk holds: the window (the whole one, or a tab's view in a host that walks as it does),
// the pane to walk in it, and the fixtures behind them.
struct Stage {
    test::TempFolder dir;
    test::RecordingDesktop desktop;
    AppState state{test::memoryStore()};
    std::unique_ptr<test::FakeAppHome> home;
    std::unique_ptr<RootView> root;
    std::unique_ptr<test::KeyboardHost> host;
    QWidget* window = nullptr;

    // The whole window at its smallest on a scanned tree, focused on "web".
    RootView& view() {
        for (const char* file : {"tree/movie.mp4", "tree/photo.jpg", "tree/web/app.js", "tree/web/lib/pkg.js"})
            dir.file(file, 9000);
        dir.oldFile("tree/web/archive.iso", 60'000'000, 800);
        state.setDesktop(&desktop);
        state.setUseAllocatedSize(false);
        root = std::make_unique<RootView>(state);
        window = root.get();
        root->resize(RootView::minimumWidth, RootView::minimumHeight);
        root->show();
        QApplication::setActiveWindow(root.get());
        EXPECT_TRUE(test::scanAndWait(state, dir / "tree"));
        test::waitUntil([&] { return !state.volumes().empty(); }, 5000);
        state.setFocus(AppState::nodeAt(dir / "tree/web", state.displayRoot()));
        root->finishAnimations();
        test::settle();
        return *root;
    }
    // A tab's view alone, `size` big.
    template <class View> View* tab(View* made, QSize size) {
        host = std::make_unique<test::KeyboardHost>();
        window = host.get();
        host->hold(made, size);
        return made;
    }
    QWidget* explore(VizMode mode) {
        RootView& v = view();
        state.setViz(mode);
        test::settle();
        return v.workspace();
    }
    QWidget* duplicates(int width) {
        for (const char* copy : {"d/a", "d/b/a", "d/c/a"}) {
            std::filesystem::create_directories(std::filesystem::path(dir / copy).parent_path());
            std::ofstream(dir / copy) << std::string(300000, 'x');
        }
        EXPECT_TRUE(test::scanAndWait(state, dir / "d"));
        auto* made = new DuplicatesView(state);
        made->setMinSizeMB(0.1);
        tab(made, {width, 600});
        test::waitUntil([&] { return !made->isRunning(); });
        test::settle();
        return made;
    }
};

struct Pane {
    const char* name;
    std::function<QWidget*(Stage&)> make; // the pane to walk
    Names stops;
};

const Pane panes[] = {
    {"welcome", [](Stage& s) -> QWidget* {
         s.state.setAccessProbe([] { return false; });
         s.root = std::make_unique<RootView>(s.state);
         s.window = s.root.get();
         s.root->resize(RootView::minimumWidth, RootView::minimumHeight);
         s.root->show();
         QApplication::setActiveWindow(s.root.get());
         test::settle();
         return s.root->workspace();
     }, {"Scan Full Mac", "Scan Home", "Choose Folder", "prompt"}},
    {"top bar", [](Stage& s) -> QWidget* { return s.view().topBar(); },
     {"tabs", "back", "crumbs", "Filter by name…", "Show labels", "Showing logical size", "ThemeMenuButton",
      "Toggle inspector"}},
    {"sidebar", [](Stage& s) -> QWidget* { return s.view().sidebar(); },
     {"Scan Full Mac", "Home", "Folder…", "tree", "Reveal", "Copy Path", "PresetRow", "CategoryRow"}},
    {"treemap", [](Stage& s) { return s.explore(VizMode::treemap); },
     {"reveal", "SegmentedRail", "ColorModeSelector", "DepthSlider"}},
    {"folders", [](Stage& s) { return s.explore(VizMode::folders); },
     {"reveal", "SegmentedRail", "ColorModeSelector", "backChip", "folderCards", "fileCards"}},
    {"top sizes", [](Stage& s) { return s.explore(VizMode::bars); }, {"reveal", "SegmentedRail", "BarsView", "BarsList"}},
    {"age map", [](Stage& s) { return s.explore(VizMode::calendar); },
     {"reveal", "SegmentedRail", "StaleList", "Stage top 1 for cleanup"}},
    {"table", [](Stage& s) { return s.explore(VizMode::table); },
     {"reveal", "SegmentedRail", "recursive", "export", "Name", "TableBody"}},
    {"banner", [](Stage& s) {
         s.view();
         s.state.setBanner(AppState::Banner::make(AppState::Banner::Kind::warning, QStringLiteral("Partial scan")));
         s.root->finishAnimations();
         test::settle();
         return static_cast<QWidget*>(s.root->bannerView());
     }, {"grant", "close"}},
    {"inspector", [](Stage& s) {
         QWidget* inspector = s.view().inspector();
         s.state.setSelection(s.state.focus());
         test::settle();
         return static_cast<QWidget*>(inspector);
     }, {"InspectorMiniBar", "Reveal", "Quick Look", "Focus", "Copy Path", "Add to Cleanup"}},
    {"cleanup bar open", [](Stage& s) {
         s.view();
         for (const FileNode* child : s.state.displayRoot()->children()) s.state.enqueue(s.state.retain(child));
         s.root->finishAnimations();
         s.root->cleanupBar()->setAnimated(false);
         s.root->cleanupBar()->toggleExpanded();
         test::settle();
         return static_cast<QWidget*>(s.root->cleanupBar());
     }, {"staged", "disclosure", "clear", "trash"}},
    {"applications", [](Stage& s) {
         s.home = std::make_unique<test::FakeAppHome>();
         ApplicationsView::Services services{.sources = s.home->sourcesFunction(),
                                             .trash = [](const auto&, const auto&) { return TrashService::Outcome{}; },
                                             .confirm = [](const auto&, QWidget*) { return false; }};
         auto* made = s.tab(new ApplicationsView(s.state, services), {1200, 820});
         test::waitUntil([&] { return !made->isLoading(); }, 30'000);
         test::settle();
         return static_cast<QWidget*>(made);
     }, {"Search apps…", "Show Apple system apps", "Rescan applications", "AppRow", "OrphanRow", "UninstallButton",
         "LeftoverRow"}},
    {"duplicates", [](Stage& s) { return s.duplicates(900); },
     {"MiniSlider", "Stage all extras", "Find Duplicates", "GroupList"}},
    // Too narrow for one row, the header keeps "Find Duplicates" by the title over the rest.
    {"duplicates narrow", [](Stage& s) { return s.duplicates(480); },
     {"Find Duplicates", "MiniSlider", "Stage all extras", "GroupList"}},
    {"snapshots", [](Stage& s) {
         ::setenv("XDG_DATA_HOME", (s.dir / "data").c_str(), 1);
         const std::string root = s.dir / "scan";
         s.dir.file("scan/keep.bin", 1000);
         for (int i = 0; i < 2; ++i) {
             Snapshot snapshot{.id = Uuid::random(), .createdAt = 1.7e9 + 3600 * i, .rootPath = root, .title = "scan"};
             snapshot.entries = {{root, 40'000'000 + 30'000'000 * i, 1, true},
                                 {root + "/keep.bin", 10'000'000 + 30'000'000 * i, 1, false}};
             SnapshotStore::save(snapshot, s.dir / "data/Tallymere/Snapshots");
         }
         EXPECT_TRUE(test::scanAndWait(s.state, root));
         auto* made = s.tab(new SnapshotsView(s.state), {1100, 640});
         test::waitUntil([&] { return made->snapshots().size() == 2 && !made->isListing(); });
         test::settle();
         return static_cast<QWidget*>(made);
     }, {"Capture Current Scan", "SnapshotList", "reset", "DeltaList"}},
    {"monitor", [](Stage& s) {
         MonitorSampler::Sources sources;
         sources.readings = [] { return SystemReadings{}; };
         sources.physicalMemory = [] { return std::int64_t(16) << 30; };
         sources.clock = [] { return 100.0; };
         sources.useTimer = false;
         auto* made = s.tab(new MonitorView(s.state, sources), {1000, 860});
         std::vector<ProcessSample> busiest;
         for (int i = 0; i < 6; ++i) busiest.push_back({.pid = 100 + i, .name = "Xorg Helper pygtk", .cpu = 0.5});
         made->sampler().applyProcesses(made->sampler().processRequests() + 1, busiest);
         test::settle();
         return static_cast<QWidget*>(made);
     }, {"ProcessTable"}},
};

class KeyboardWalk : public ::testing::TestWithParam<Pane> {
protected:
    static void SetUpTestSuite() { Typography::bootstrap(QCoreApplication::applicationDirPath() + "/Fonts"); }
    void TearDown() override { ::unsetenv("XDG_DATA_HOME"); }
};

} // namespace

TEST_P(KeyboardWalk, TabMeetsThePanesStopsInReadingOrderShiftTabTheSameBackEachRingedClearOfItsText) {
    const Pane& pane = GetParam();
    Stage stage;
    QWidget* walked = pane.make(stage);
    ASSERT_NE(walked, nullptr);
    QWidget* window = stage.window;
    test::KeyDriver keys(*window);
    auto inside = [&](QWidget* w) { return w && (w == walked || walked->isAncestorOf(w)); };
    window->setFocus(Qt::OtherFocusReason);
    test::settle();

    Names names;
    for (int guard = 0; !inside(keys.focused()) && guard < 80; ++guard) keys.press(Qt::Key_Tab);
    // Through the pane and out, or round a tab's view to its first stop again.
    QWidget* first = keys.focused();
    for (int guard = 0; inside(keys.focused()) && (guard == 0 || keys.focused() != first) && guard < 40; ++guard) {
        const std::string name = nameOf(keys.focused());
        // The list of other volumes shows only on a machine with more than one.
        if (name != "volumes") names.push_back(name);
        // The ring: what changes as it goes, all else kept. None of it lies next to ink.
        QWidget* stop = keys.focused();
        const QImage ringed = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
        FocusRing::setShown(stop, false);
        const QImage plain = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
        FocusRing::setShown(stop, true);
        int ring = 0, touching = 0;
        for (int y = 1; y + 1 < plain.height(); ++y)
            for (int x = 1; x + 1 < plain.width(); ++x) {
                if (ringed.pixel(x, y) == plain.pixel(x, y)) continue;
                ++ring;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        // An edge the ring takes the place of is no ink beside it.
                        const QPoint q(x + dx, y + dy);
                        touching += ringed.pixel(q) == plain.pixel(q) && isInk(plain, q);
                    }
            }
        EXPECT_GT(ring, 0) << pane.name << ": " << name << " shows no ring";
        EXPECT_EQ(touching, 0) << pane.name << ": " << name << "'s ring touches ink";
        keys.press(Qt::Key_Tab);
    }
    EXPECT_EQ(names, pane.stops) << pane.name;

    Names back;
    keys.press(Qt::Key_Backtab, Qt::ShiftModifier);
    QWidget* last = keys.focused();
    for (int guard = 0; inside(keys.focused()) && (guard == 0 || keys.focused() != last) && guard < 40; ++guard) {
        if (nameOf(keys.focused()) != "volumes") back.insert(back.begin(), nameOf(keys.focused()));
        keys.press(Qt::Key_Backtab, Qt::ShiftModifier);
    }
    EXPECT_EQ(back, pane.stops) << pane.name << ", by Shift+Tab";
}

INSTANTIATE_TEST_SUITE_P(Panes, KeyboardWalk, ::testing::ValuesIn(panes), [](const auto& info) {
    std::string name = info.param.name;
    for (char& c : name)
        if (c == ' ') c = '_';
    return name;
});
