#include "views/shell/WorkspaceView.h"

#include "platform/UserFolders.h"
#include "views/shell/inspector/InspectorModel.h"
#include "views/shell/sidebar/SidebarCurrentView.h"
#include "views/shell/topbar/Breadcrumb.h"

#include "state/AppStateTestSupport.h"
#include "support/TreeText.h"
#include "views/components/controls/ActionButton.h"
#include "views/components/controls/SegmentedRail.h"
#include "views/shell/screens/ColorModeSelector.h"
#include "views/shell/screens/DepthSlider.h"
#include "views/shell/screens/PageHeader.h"
#include "views/shell/screens/ScanningView.h"
#include "views/shell/ShellTestSupport.h"
#include "views/shell/screens/VizRail.h"
#include "views/shell/screens/WelcomeView.h"
#include "style/KeptFill.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QRegularExpression>
#include <QVariantAnimation>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

using namespace tallymere;
using tallymere::test::TempFolder;

namespace {

struct Pane {
    Pane() : view(state) {
        ThemedWidget::applyTheme(&view, Theme::make(ThemeID::paper));
        view.resize(1000, 760);
        view.show();
    }
    AppState state{test::memoryStore()};
    WorkspaceView view;

    // Starts a scan of `target` that runs until it is stopped, then hands back `tree`; the
    // scanning screen it shows, if any.
    ScanningView* scanUntilStopped(const std::string& target, const std::string& tree) {
        state.setScanner([tree](std::string_view, const ScanOptions&, ScanProgress& progress) {
            while (!progress.cancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            return test::treeFromText(tree);
        });
        state.scan(ScanTarget::folder(target));
        return qobject_cast<ScanningView*>(view.content());
    }
};

// The rectangle of the pixels in `area` that stand out from the background colour.
QRect inkBounds(const QImage& image, const QRect& area, const QColor& background) {
    QRect ink;
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y)
        for (int x = clipped.left(); x <= clipped.right(); ++x)
            if (!test::near(image.pixelColor(x, y), background, 40)) ink |= QRect(x, y, 1, 1);
    return ink;
}

// A rectangle of the scanning screen in the pane's coordinates.
QRect inPane(const ScanningView& screen, const QWidget& pane, const QRectF& rect) {
    return rect.toAlignedRect().translated(screen.mapTo(&pane, QPoint(0, 0)));
}

// Points $HOME somewhere else for the length of a test.
struct HomeAt {
    explicit HomeAt(const std::string& path) : saved(std::getenv("HOME") ? std::getenv("HOME") : "") {
        ::setenv("HOME", path.c_str(), 1);
    }
    ~HomeAt() { ::setenv("HOME", saved.c_str(), 1); }
    std::string saved;
};

} // namespace

TEST(WorkspacePageTitle, TopOfTheTreeGetsAFriendlyNameOthersTheirOwn) {
    TempFolder home;
    HomeAt at(home.path());
    auto disk = test::treeFromText("/\n  " + home.path().substr(1) + "/\n    notes.txt 10\n");
    EXPECT_EQ(WorkspaceView::headerTitle(*disk), "Macintosh HD");
    // Inside the whole-disk tree the home folder is shown by its own name.
    const FileNode* homeNode = disk->children()[0];
    EXPECT_EQ(WorkspaceView::headerTitle(*homeNode), QString::fromStdString(home.path().substr(1)));

    EXPECT_EQ(WorkspaceView::headerTitle(*test::treeFromText(home.path() + "/\n  a 1\n")), "Home");
    EXPECT_EQ(WorkspaceView::headerTitle(*test::treeFromText("/a/b/c/\n  x 1\n")), "c");
    EXPECT_EQ(WorkspaceView::headerTitle(*test::treeFromText("/media/Data/\n")), "Data");
}

TEST(WorkspacePageTitle, AHomeReachedThroughALinkIsStillHomeEverywhere) {
    // A scan resolves its root's links, so a home behind a link ("/home" -> "/var/home") gives a
    // tree that starts at the real folder.
    TempFolder place;
    const std::string real = place.folder("var/home/al");
    ASSERT_EQ(::symlink((place / "var/home").c_str(), (place / "home").c_str()), 0);
    HomeAt at(place / "home/al");
    auto tree = test::treeFromText(real + "/\n  a 1\n");
    EXPECT_EQ(WorkspaceView::headerTitle(*tree), "Home");
    EXPECT_EQ(Breadcrumb::rootLabel(*tree), "Home");
    EXPECT_EQ(SidebarCurrentView::displayName(*tree), "Home");
    EXPECT_EQ(InspectorModel::displayName(*tree, UserFolders::physicalHome()), "Home");
}

TEST(WorkspaceScreens, WelcomeThenScanningThenTheExplorePage) {
    TempFolder dir;
    dir.file("tree/sub/one.bin", 4000);
    dir.file("tree/sub/two.bin", 3000);
    dir.file("tree/top.txt", 1234);
    Pane p;
    ASSERT_EQ(p.view.screen(), WorkspaceView::Screen::welcome);
    auto* welcome = qobject_cast<WelcomeView*>(p.view.content());
    ASSERT_NE(welcome, nullptr);
    EXPECT_EQ(welcome->columnRect().width(), 620);
    EXPECT_NEAR(welcome->columnRect().center().x(), 500, 1);

    p.state.scan(ScanTarget::folder(dir / "tree"));
    ASSERT_EQ(p.view.screen(), WorkspaceView::Screen::scanning);
    auto* scanning = qobject_cast<ScanningView*>(p.view.content());
    ASSERT_NE(scanning, nullptr);
    EXPECT_EQ(scanning->titleText(), "tree");
    EXPECT_EQ(scanning->filesText(), "0");
    EXPECT_EQ(scanning->bytesText(), "0\u00A0B");
    EXPECT_EQ(scanning->pathText(), QString::fromStdString(dir / "tree"));
    EXPECT_TRUE(scanning->isSweeping());
    // Both counters stand on one line: their figures and their captions end on the same rows.
    {
        const QImage image = p.view.grab().toImage();
        const QColor background = image.pixelColor(2, 2);
        const QRect filesInk = inkBounds(image, inPane(*scanning, p.view, scanning->filesValueRect()), background);
        const QRect bytesInk = inkBounds(image, inPane(*scanning, p.view, scanning->bytesValueRect()), background);
        const QRect filesCaption = inkBounds(image, inPane(*scanning, p.view, scanning->filesCaptionRect()), background);
        const QRect bytesCaption = inkBounds(image, inPane(*scanning, p.view, scanning->bytesCaptionRect()), background);
        ASSERT_FALSE(filesInk.isEmpty() || bytesInk.isEmpty() || filesCaption.isEmpty() || bytesCaption.isEmpty());
        EXPECT_EQ(filesInk.bottom(), bytesInk.bottom());
        EXPECT_EQ(filesCaption.bottom(), bytesCaption.bottom());
        EXPECT_LT(filesInk.right(), bytesInk.left());
    }

    ASSERT_TRUE(test::waitUntil([&] { return !p.state.isScanning(); }));
    ASSERT_EQ(p.view.screen(), WorkspaceView::Screen::explore);
    PageHeader* header = p.view.pageHeader();
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->title(), "tree");
    EXPECT_EQ(header->filesText(), "3 files");
    EXPECT_EQ(header->foldersText(), "1 folders");
    p.state.setUseAllocatedSize(false);
    EXPECT_EQ(header->sizeText(), "8.23\u00A0KB");

    // Zooming names the folder; a folder without subfolders has no folder figure.
    p.state.drill(AppState::nodeAt(dir / "tree/sub", p.state.displayRoot()));
    EXPECT_EQ(header->title(), "sub");
    EXPECT_EQ(header->filesText(), "2 files");
    EXPECT_TRUE(header->foldersText().isEmpty());

    // A second scan makes a new scanning screen, whatever was shown before.
    p.state.scan(ScanTarget::folder(dir / "tree"));
    EXPECT_EQ(p.view.screen(), WorkspaceView::Screen::scanning);
    EXPECT_EQ(p.view.pageHeader(), nullptr);
    p.state.cancelScan();
    EXPECT_EQ(p.view.screen(), WorkspaceView::Screen::welcome);
    ASSERT_TRUE(test::waitUntil([&] { return p.view.screen() == WorkspaceView::Screen::explore; }));
}

TEST(WorkspaceScreens, ToolTabsAreMadeAfreshEachTime) {
    Pane p;
    p.state.setTab(WorkspaceTab::duplicates);
    EXPECT_EQ(p.view.screen(), WorkspaceView::Screen::tool);
    // The new tab fades in from the pane's background.
    EXPECT_EQ(p.view.fadeProgress(), 0.0);
    const QImage veiled = p.view.grab().toImage();
    EXPECT_EQ(veiled.pixelColor(500, 380), veiled.pixelColor(3, 3));
    p.view.finishAnimations();
    EXPECT_EQ(p.view.fadeProgress(), 1.0);
    QPointer<QWidget> first = p.view.content();
    p.state.setTab(WorkspaceTab::explore);
    EXPECT_TRUE(first.isNull());
    p.state.setTab(WorkspaceTab::duplicates);
    EXPECT_NE(p.view.content(), nullptr);
    for (WorkspaceTab tab : {WorkspaceTab::apps, WorkspaceTab::monitor, WorkspaceTab::snapshots}) {
        p.state.setTab(tab);
        EXPECT_EQ(p.view.shownTab(), tab);
        EXPECT_EQ(p.view.content()->geometry(), p.view.rect());
    }
}

TEST(WorkspaceExplorePage, LongTitlesShortenInTheMiddleAndTheRevealButtonRevealsTheSubject) {
    TempFolder dir;
    const std::string longName(160, 'w');
    dir.file(longName + "/end.bin", 100);
    test::RecordingDesktop desktop;
    Pane p;
    p.state.setDesktop(&desktop);
    ASSERT_TRUE(test::scanAndWait(p.state, dir / longName));
    PageHeader* header = p.view.pageHeader();
    ASSERT_NE(header, nullptr);
    EXPECT_TRUE(header->shownTitle().contains(QChar(0x2026)));
    EXPECT_TRUE(header->shownTitle().startsWith('w'));
    EXPECT_LT(header->titleRect().right(), header->revealRect().left());
    EXPECT_EQ(header->revealRect().size(), QSizeF(28, 26));
    test::clickOn(*header, header->revealRect());
    ASSERT_EQ(desktop.revealed.size(), 1u);
    EXPECT_EQ(desktop.revealed[0], std::vector<std::string>{dir / longName});
}

TEST(WorkspaceExplorePage, RailChoosesTheViewAndShowsItsControls) {
    TempFolder dir;
    dir.file("tree/a.bin", 100);
    Pane p;
    ASSERT_TRUE(test::scanAndWait(p.state, dir / "tree"));
    VizRail* rail = p.view.vizRail();
    ASSERT_NE(rail, nullptr);
    struct Case {
        VizMode mode;
        bool colours, depth;
    };
    for (Case c : {Case{VizMode::treemap, true, true}, {VizMode::folders, true, false}, {VizMode::sunburst, true, true},
                   {VizMode::icicle, true, true}, {VizMode::pack, true, false}, {VizMode::mindmap, true, false},
                   {VizMode::bars, false, false}, {VizMode::calendar, false, false}, {VizMode::table, false, false}}) {
        const int index = int(c.mode);
        test::clickOn(*rail->rail(), rail->rail()->segmentRects()[std::size_t(index)]);
        ASSERT_EQ(p.state.viz(), c.mode);
        EXPECT_EQ(rail->colorModes()->isVisible(), c.colours) << index;
        EXPECT_EQ(rail->depthSlider()->isVisible(), c.depth) << index;
        EXPECT_LT(rail->rail()->geometry().right(), rail->captionRect().left());
    }
    EXPECT_EQ(VizRail::caption(VizMode::table), "Sortable columns, keyboard friendly");

    // A pane too narrow for one row puts the controls on a second row instead of over the rail.
    test::clickOn(*rail->rail(), rail->rail()->segmentRects()[0]);
    EXPECT_FALSE(rail->wrapsAt(p.view.width()));
    p.view.resize(480, 700);
    QCoreApplication::sendPostedEvents();
    ASSERT_TRUE(rail->wrapsAt(480));
    EXPECT_GT(rail->colorModes()->geometry().top(), rail->rail()->geometry().bottom());
    EXPECT_LE(rail->depthSlider()->geometry().right(), 480);
    EXPECT_GE(p.view.visualizationHost()->geometry().top(), rail->geometry().bottom());
}

TEST(WorkspaceExplorePage, ColourModesAndDepthWriteTheStore) {
    TempFolder dir;
    dir.file("tree/a.bin", 100);
    Pane p;
    ASSERT_TRUE(test::scanAndWait(p.state, dir / "tree"));
    ColorModeSelector* modes = p.view.vizRail()->colorModes();
    test::clickOn(*modes, modes->buttonRect(ColorMode::age));
    EXPECT_EQ(p.state.colorMode(), ColorMode::age);
    modes->finishAnimation();
    EXPECT_EQ(modes->lit(ColorMode::age), 1.0);
    EXPECT_EQ(modes->lit(ColorMode::branch), 0.0);
    // The lit button carries the accent wash; the others are clear on the tray.
    const QImage image = modes->grab().toImage();
    const Theme theme = Theme::make(ThemeID::paper);
    const QRectF age = modes->buttonRect(ColorMode::age);
    const QColor washed = image.pixelColor(int(age.left()) + 3, int(age.center().y()));
    EXPECT_TRUE(test::near(washed, test::blend(test::blend(theme.background, theme.background, 0.55), theme.accent, 0.18), 6));

    DepthSlider* depth = p.view.vizRail()->depthSlider();
    const QRectF track = depth->trackRect();
    test::clickOn(*depth, QRectF(track.right() + 1, track.top(), 1, track.height()));
    EXPECT_EQ(p.state.treemapDepth(), 12);
    EXPECT_EQ(depth->depthText(), "12");
    test::clickOn(*depth, QRectF(track.left() - 1, track.top(), 1, track.height()));
    EXPECT_EQ(p.state.treemapDepth(), 2);
    // The number is the stored value cut to a whole number.
    p.state.setTreemapDepth(6.8);
    EXPECT_EQ(depth->depthText(), "6");
}

TEST(WelcomeScreen, TilesCarryTheRampAndTheButtonsStartScans) {
    TempFolder home;
    home.file("notes.txt", 10);
    HomeAt at(home.path());
    Pane p;
    auto* welcome = qobject_cast<WelcomeView*>(p.view.content());
    ASSERT_NE(welcome, nullptr);
    // Nine tiles: two rows of four, the ninth alone in the first column.
    const auto& tiles = welcome->tileRects();
    ASSERT_EQ(tiles.size(), 9u);
    EXPECT_EQ(tiles[8].left(), tiles[0].left());
    EXPECT_GT(tiles[8].top(), tiles[4].top());
    const QImage image = p.view.grab().toImage();
    const Theme theme = Theme::make(ThemeID::paper);
    // The tiles are washes of the ramp over whatever the pane shows beneath.
    const QColor under = image.pixelColor(5, 5);
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const QPoint probe = welcome->mapTo(&p.view, QPoint(int(tiles[i].right()) - 6, int(tiles[i].center().y())));
        EXPECT_TRUE(test::near(image.pixelColor(probe), test::blend(under, theme.ramp[i], 0.42), 4)) << i;
    }
    EXPECT_EQ(welcome->fullDiskButton()->width(), 168);
    EXPECT_EQ(welcome->homeButton()->width(), 136);
    EXPECT_EQ(welcome->folderButton()->width(), 150);
    EXPECT_EQ(welcome->homeButton()->geometry().left() - welcome->fullDiskButton()->geometry().right() - 1, 9);

    test::clickOn(*welcome->homeButton());
    ASSERT_TRUE(p.state.scanTarget().has_value());
    EXPECT_EQ(p.state.scanTarget()->path, home.path());
    EXPECT_EQ(p.state.scanTarget()->title, "Home");
    EXPECT_FALSE(p.state.scanTarget()->isFullDisk);
    ASSERT_TRUE(test::waitUntil([&] { return !p.state.isScanning(); }));
    EXPECT_EQ(p.view.pageHeader()->title(), "Home");
}

TEST(WelcomeScreen, ReadAccessPromptExplainsWhatItTakes) {
    bool granted = false;
    Pane p;
    p.state.setAccessProbe([&] { return granted; });
    // Any change the store publishes asks again.
    auto republish = [&] {
        p.state.setBanner(AppState::Banner::make(AppState::Banner::Kind::info, QStringLiteral("x")));
        p.state.setBanner(std::nullopt);
    };
    republish();
    auto* welcome = qobject_cast<WelcomeView*>(p.view.content());
    ASSERT_TRUE(welcome->showsPrompt());
    // The pill sits 28 under the gallery, at the column's leading edge.
    EXPECT_EQ(welcome->promptRect().left(), welcome->columnRect().left());
    EXPECT_EQ(welcome->promptRect().top(), welcome->tileRects().back().bottom() + 28);
    test::clickOn(*welcome, welcome->promptRect());
    ASSERT_TRUE(p.state.banner().has_value());
    EXPECT_EQ(p.state.banner()->kind, AppState::Banner::Kind::info);

    granted = true;
    republish();
    EXPECT_FALSE(welcome->showsPrompt());
    EXPECT_TRUE(welcome->promptRect().isEmpty());
    EXPECT_NEAR(welcome->columnRect().bottom(), welcome->tileRects().back().bottom(), 0.01);
}

TEST(WelcomeScreen, ScanFullMacScansTheWholeDisk) {
    Pane p;
    std::string scanned;
    p.state.setScanner([&scanned](std::string_view path, const ScanOptions&, ScanProgress&) {
        scanned = std::string(path);
        return test::treeFromText("/\n  etc/\n    hosts 100\n");
    });
    p.state.setAccessProbe([] { return false; });
    auto* welcome = qobject_cast<WelcomeView*>(p.view.content());
    test::clickOn(*welcome->fullDiskButton());
    ASSERT_TRUE(p.state.scanTarget().has_value());
    EXPECT_EQ(p.state.scanTarget()->path, "/");
    EXPECT_EQ(p.state.scanTarget()->title, "Macintosh HD");
    EXPECT_TRUE(p.state.scanTarget()->isFullDisk);
    ASSERT_TRUE(test::waitUntil([&] { return !p.state.isScanning(); }));
    EXPECT_EQ(scanned, "/");
    EXPECT_EQ(p.view.pageHeader()->title(), "Macintosh HD");
    ASSERT_TRUE(p.state.banner().has_value());
    EXPECT_EQ(p.state.banner()->title, "Partial scan");
}

TEST(WelcomeScreen, ChooseFolderAsksAndACancelledDialogChangesNothing) {
    Pane p;
    int asked = 0;
    p.state.setFolderChooser([&]() -> std::optional<std::string> {
        ++asked;
        return std::nullopt;
    });
    auto* welcome = qobject_cast<WelcomeView*>(p.view.content());
    test::clickOn(*welcome->folderButton());
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(p.state.isScanning());
    EXPECT_EQ(p.view.content(), welcome);
}

TEST(ScanningScreen, LiveFiguresAndTheEndOfALongPath) {
    // A scanner that reports a big count and a deep folder, then waits to be stopped and hands
    // back what it has.
    const std::string deep = "/data/" + std::string(300, 'x') + "/the-folder-being-read";
    Pane p;
    p.state.setScanner([deep](std::string_view, const ScanOptions&, ScanProgress& progress) {
        progress.add(1234567, 5'000'000'000);
        progress.setCurrent(deep);
        while (!progress.cancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return test::treeFromText("/data/\n  part.bin 10\n");
    });
    p.state.scan(ScanTarget::folder("/data"));
    auto* scanning = qobject_cast<ScanningView*>(p.view.content());
    ASSERT_NE(scanning, nullptr);
    ASSERT_TRUE(test::waitUntil([&] { return p.state.scannedFiles() == 1234567; }));
    QString digits = scanning->filesText();
    digits.remove(QRegularExpression(QStringLiteral("[^0-9]")));
    EXPECT_EQ(digits, "1234567"); // grouped as the locale groups, never shortened
    EXPECT_EQ(scanning->bytesText(), "5.00\u00A0GB");
    EXPECT_TRUE(scanning->pathText().startsWith(QChar(0x2026)));
    EXPECT_TRUE(scanning->pathText().endsWith("the-folder-being-read"));
    // The wider file count pushes the second counter along; it never runs into it.
    EXPECT_GE(scanning->bytesValueRect().left(), scanning->filesValueRect().right() + 34);

    // Stopped, the welcome screen stands in until the partial tree arrives, then it is explored.
    test::clickOn(*scanning->stopButton());
    EXPECT_EQ(p.view.screen(), WorkspaceView::Screen::welcome);
    ASSERT_TRUE(test::waitUntil([&] { return p.view.screen() == WorkspaceView::Screen::explore; }));
    EXPECT_EQ(p.view.pageHeader()->title(), "data");
}

TEST(ScanningScreen, TheSweepKeepsNoPictureOfWhereItsRunnerPassed) {
    Pane p;
    auto* scanning = p.scanUntilStopped("/tree", "/tree/\n  f 10\n");
    ASSERT_NE(scanning, nullptr);
    auto* sweep = scanning->findChild<QVariantAnimation*>();
    ASSERT_NE(sweep, nullptr);
    sweep->pause();
    test::settle(); // the window is on screen: a repaint paints
    // Frames of the sweep as the window paints them, the runner somewhere new in each: the bar's
    // track is kept once, the runner's places not at all, however long the scan runs.
    const auto paintAt = [&](int ms) {
        sweep->setCurrentTime(ms);
        scanning->repaint();
    };
    paintAt(0);
    const KeptFill::Counts before = KeptFill::counts();
    for (int ms = 17; ms < ScanningView::sweepMs; ms += 17) paintAt(ms);
    EXPECT_GE(KeptFill::counts().copied - before.copied, 50) << "the track comes from its kept picture";
    EXPECT_LE(KeptFill::counts().kept - before.kept, 2);
    p.state.cancelScan();
}

TEST(ScanningScreen, StopHandsTheWindowBackAtOnce) {
    // A scan that runs until it is stopped: a real one of a small folder could end, and take the
    // scanning screen with it, while the click is still on its way.
    Pane p;
    auto* scanning = p.scanUntilStopped("/tree", "/tree/\n  f 10\n");
    ASSERT_NE(scanning, nullptr);
    EXPECT_EQ(scanning->stopButton()->width(), 104);
    test::clickOn(*scanning->stopButton());
    EXPECT_FALSE(p.state.isScanning());
    EXPECT_NE(p.view.screen(), WorkspaceView::Screen::scanning);
}

TEST(ScanningScreen, CountersShowTheLatestFiguresWholeWhileTheyChange) {
    // A scan whose figures climb in quick steps, as the store's refreshes bring them, and then
    // hold still: 9.8 GB read, then 11.9 GB.
    std::atomic<bool> done{false};
    Pane p;
    p.state.setScanner([&done](std::string_view, const ScanOptions&, ScanProgress& progress) {
        for (int step = 0; step < 7 && !progress.cancelled(); ++step) {
            progress.add(997, 1'400'000'000);
            std::this_thread::sleep_for(std::chrono::milliseconds(90));
        }
        done = true; // the last figure follows: nothing changes after it
        progress.add(997, 2'100'000'000);
        while (!progress.cancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return test::treeFromText("/data/\n  part.bin 10\n");
    });
    p.state.scan(ScanTarget::folder("/data"));
    auto* scanning = qobject_cast<ScanningView*>(p.view.content());
    ASSERT_NE(scanning, nullptr);
    ASSERT_TRUE(test::waitUntil([&] { return p.state.scannedBytes() == 11'900'000'000; }));
    ASSERT_TRUE(done);
    EXPECT_EQ(scanning->bytesText(), "11.9\u00A0GB");

    // Painted the moment the last figure arrived, the counters already show it as they will rest.
    const QRect files = inPane(*scanning, p.view, scanning->filesValueRect()).adjusted(-4, -16, 4, 16);
    const QRect bytes = inPane(*scanning, p.view, scanning->bytesValueRect()).adjusted(-4, -16, 4, 16);
    const QImage mid = p.view.grab().toImage();
    test::spin(600);
    const QImage rest = p.view.grab().toImage();
    EXPECT_EQ(mid.copy(files), rest.copy(files));
    EXPECT_EQ(mid.copy(bytes), rest.copy(bytes));
    // And at rest they are the figures: ink in the text colour, nothing faded in between.
    const Theme& theme = scanning->theme();
    int solid = 0;
    for (int y = bytes.top(); y <= bytes.bottom(); ++y)
        for (int x = bytes.left(); x <= bytes.right(); ++x) solid += test::near(rest.pixelColor(x, y), theme.text, 10);
    EXPECT_GT(solid, 60);
    p.state.cancelScan();
}

TEST(ScanningScreen, ALongNameWithoutSpacesWrapsInsideTheColumn) {
    const std::string name(90, 'w');
    Pane p;
    auto* scanning = p.scanUntilStopped("/data/" + name, "/data/\n  part.bin 10\n");
    ASSERT_NE(scanning, nullptr);
    ASSERT_EQ(scanning->titleText(), QString::fromStdString(name));
    const QImage image = p.view.grab().toImage();
    const QRect column = inPane(*scanning, p.view, scanning->columnRect());
    const QRect title = inPane(*scanning, p.view, scanning->titleRect());
    // Look across the whole pane's width: nothing of the title stands beyond the column.
    const QRect ink = inkBounds(image, QRect(0, title.top(), image.width(), title.height()), image.pixelColor(2, 2));
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_LE(ink.right(), column.right());
    EXPECT_GE(ink.left(), column.left());
    // Several lines, all of them in the screen above the counters.
    EXPECT_GT(ink.height(), 2.5 * QFontMetricsF(scanning->font()).height());
    EXPECT_GT(inPane(*scanning, p.view, scanning->filesValueRect()).top(), ink.bottom());
    EXPECT_EQ(scanning->shownTitle(), scanning->titleText());
    p.state.cancelScan();
}

TEST(ScanningScreen, ANameTooLongForThePaneGivesUpLinesRatherThanPushStopOut) {
    // The longest name a folder can have, in wide letters, in the window's smallest pane.
    const std::string name(255, 'W');
    Pane p;
    p.view.resize(780, 600);
    auto* scanning = p.scanUntilStopped("/data/" + name, "/data/\n  part.bin 10\n");
    ASSERT_NE(scanning, nullptr);
    test::settle();
    // Everything stands in the pane, "Stop" last, under the counters, bar and path.
    const QRect stop = scanning->stopButton()->geometry().translated(scanning->mapTo(&p.view, QPoint(0, 0)));
    EXPECT_GE(inPane(*scanning, p.view, scanning->titleRect()).top(), 0);
    EXPECT_LE(stop.bottom(), p.view.height());
    EXPECT_GT(inPane(*scanning, p.view, scanning->filesValueRect()).top(),
              inPane(*scanning, p.view, scanning->titleRect()).bottom() - 1);
    // The title keeps several lines and ends in an ellipsis, its ink inside its lines.
    EXPECT_TRUE(scanning->shownTitle().endsWith(QChar(0x2026)));
    EXPECT_GT(scanning->titleRect().height(), 2.5 * QFontMetricsF(scanning->font()).height());
    const QImage image = p.view.grab().toImage();
    const QRect title = inPane(*scanning, p.view, scanning->titleRect());
    const QRect ink = inkBounds(image, QRect(0, title.top(), image.width(), title.height()), image.pixelColor(2, 2));
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_LE(ink.right(), inPane(*scanning, p.view, scanning->columnRect()).right());
    p.state.cancelScan();
}
