#include "views/shell/sidebar/SidebarView.h"

#include "state/AppStateTestSupport.h"
#include "core/DiskInfo.h"
#include "core/NodeFilter.h"
#include "support/TreeText.h"
#include "style/DisplayText.h"
#include "views/components/controls/ActionButton.h"
#include "views/components/controls/CategoryBar.h"
#include "views/components/controls/ClickableWidget.h"
#include "views/components/controls/DonutGauge.h"
#include "views/components/controls/SectionLabel.h"
#include "views/components/controls/StatRow.h"
#include "views/shell/sidebar/CategoryRow.h"
#include "views/shell/sidebar/PresetRow.h"
#include "views/shell/ShellTestSupport.h"
#include "views/shell/sidebar/SidebarCapacity.h"
#include "views/shell/sidebar/SidebarCurrentView.h"
#include "views/shell/sidebar/SidebarFileTypes.h"
#include "views/shell/sidebar/SidebarQuickWins.h"
#include "views/shell/sidebar/SidebarScanActions.h"
#include "views/shell/sidebar/TextLine.h"

#include <QAction>
#include <QEnterEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QLabel>
#include <QMenu>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>

#include <thread>

using namespace tallymere;
using tallymere::test::TempFolder;

namespace {

struct Column {
    Column() : view(state) {
        ThemedWidget::applyTheme(&view, Theme::make(ThemeID::paper));
        view.resize(272, 1400);
        view.show();
        state.setDesktop(&desktop);
    }
    test::RecordingDesktop desktop;
    AppState state{test::memoryStore()};
    SidebarView view;
};

} // namespace

TEST(SidebarScan, PrimaryButtonScansTheDiskOrStopsTheScan) {
    TempFolder dir;
    dir.file("tree/a.bin", 10);
    Column c;
    // A scan that runs until it is stopped, so it cannot end while the click is on its way (the
    // button would then start a scan of the whole disk).
    c.state.setScanner([](std::string_view, const ScanOptions&, ScanProgress& progress) {
        while (!progress.cancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return std::shared_ptr<FileNode>();
    });
    ActionButton* primary = c.view.scanActions()->primaryButton();
    EXPECT_EQ(primary->title(), "Scan Full Mac");
    EXPECT_FALSE(c.view.treeSections()->isVisible());
    c.state.scan(ScanTarget::folder(dir / "tree"));
    EXPECT_EQ(primary->title(), "Stop Scan");
    EXPECT_EQ(primary->symbol(), "stop.fill");
    // Pressed while a scan runs, it stops that scan and starts none.
    test::clickOn(*primary);
    EXPECT_FALSE(c.state.isScanning());
    EXPECT_EQ(c.state.scanTarget()->path, dir / "tree");
    EXPECT_EQ(primary->title(), "Scan Full Mac");
}

TEST(SidebarScan, RecentsShowTheThreeNewestAndScanThemAgain) {
    TempFolder dir;
    for (const char* name : {"one", "two", "three", "four"}) {
        dir.file(std::string(name) + "/f.bin", 10);
    }
    Column c;
    for (const char* name : {"one", "two", "three", "four"}) ASSERT_TRUE(test::scanAndWait(c.state, dir / name));
    const auto& rows = c.view.scanActions()->recentRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0]->objectName(), "four");
    EXPECT_EQ(rows[2]->objectName(), "two");
    // Aimed by place, not by widget: the volumes read after the last scan may land while the click
    // waits for pending work, and they build the rows anew (in the same places).
    QWidget* window = rows[2]->window();
    test::clickAt(*window, rows[2]->mapTo(window, rows[2]->rect().center()));
    EXPECT_TRUE(c.state.isScanning());
    EXPECT_EQ(c.state.scanTarget()->path, dir / "two");
    // No recents while scanning.
    EXPECT_TRUE(c.view.scanActions()->recentRows().empty());
    ASSERT_TRUE(test::waitUntil([&] { return !c.state.isScanning(); }));
    ASSERT_EQ(c.view.scanActions()->recentRows().size(), 3u);
    EXPECT_EQ(c.view.scanActions()->recentRows()[0]->objectName(), "two");
}

TEST(SidebarScan, VolumeMenuListsEveryVolumeAndScansIt) {
    Column c;
    const auto& volumes = c.state.volumes();
    EXPECT_EQ(c.view.scanActions()->volumeButton()->isVisible(), volumes.size() > 1);
    QMenu* menu = c.view.scanActions()->buildVolumeMenu();
    ASSERT_EQ(menu->actions().size(), qsizetype(volumes.size()));
    if (volumes.empty()) return;
    EXPECT_TRUE(menu->actions()[0]->text().startsWith(QString::fromStdString(volumes[0].name) + QStringLiteral(" — ")));
    c.state.setFolderChooser({});
    menu->actions()[0]->trigger();
    ASSERT_TRUE(c.state.scanTarget().has_value());
    EXPECT_EQ(c.state.scanTarget()->path, volumes[0].path);
    EXPECT_EQ(c.state.scanTarget()->isFullDisk, volumes[0].isRoot);
    c.state.cancelScan();
}

// A volume's label comes from the disk: a menu shows it as written, "&" included, never as the
// mark of a shortcut letter.
TEST(SidebarScan, AVolumeLabelShowsAsWrittenInTheMenu) {
    Column c;
    TempFolder dir;
    {
        std::ofstream table(dir / "mountinfo");
        table << "21 1 8:1 / / rw shared:1 - ext4 /dev/sda1 rw\n"
                 "22 1 8:17 / /media/al/R&D rw shared:2 - ext4 /dev/sdb1 rw\n";
    }
    VolumeSources sources;
    sources.mountInfo = dir / "mountinfo";
    sources.labelFolder = dir / "no-labels";
    sources.sysfsRoot = dir / "no-sys";
    sources.capacity = [](const std::string&) { return std::optional<VolumeCapacity>(VolumeCapacity{1000, 500}); };
    c.state.setVolumeSources(sources);
    ASSERT_TRUE(test::waitUntil([&] { return c.state.volumes().size() == 2; }));
    QMenu* menu = c.view.scanActions()->buildVolumeMenu();
    ASSERT_EQ(menu->actions().size(), 2);
    // What the menu draws: the text with its shortcut marks taken out.
    EXPECT_EQ(menu->actions()[1]->iconText(), QStringLiteral("R&D — ") + DisplayText::sizeText(1000));
    delete menu;
}

TEST(SidebarCapacityFigures, PercentTextAndStandByVolume) {
    EXPECT_EQ(SidebarCapacity::percentText(0.0005), "<0.1%");
    EXPECT_EQ(SidebarCapacity::percentText(0), "0%");
    EXPECT_EQ(SidebarCapacity::percentText(0.5), "50%");
    EXPECT_EQ(SidebarCapacity::percentText(0.453), "45.3%");
    EXPECT_EQ(SidebarCapacity::percentText(0.9996), "100%");
    const VolumeInfo standBy = SidebarCapacity::shownVolume({});
    EXPECT_EQ(standBy.name, "Macintosh HD");
    EXPECT_EQ(standBy.total, 0);

    Column c;
    SidebarCapacity* capacity = c.view.capacity();
    const VolumeInfo shown = SidebarCapacity::shownVolume(c.state.volumes());
    EXPECT_EQ(capacity->label()->trailing(), QString::fromStdString(shown.name));
    EXPECT_EQ(capacity->gauge()->diameter(), 78);
    EXPECT_EQ(capacity->usedRow()->tint(), Theme::make(ThemeID::paper).danger);
    EXPECT_EQ(capacity->freeRow()->tint(), Theme::make(ThemeID::paper).success);
    EXPECT_FALSE(capacity->reclaimLabel()->isVisible());
}

TEST(SidebarCurrentViewSection, NamesTheShownFolderAndActsOnIt) {
    EXPECT_EQ(SidebarCurrentView::displayName(*test::treeFromText("/\n")), "Macintosh HD");
    EXPECT_EQ(SidebarCurrentView::displayName(*test::treeFromText("/x/Projects/\n")), "Projects");
    EXPECT_EQ(SidebarCurrentView::durationText(12.34), "12.3s scan");
    EXPECT_TRUE(SidebarCurrentView::durationText(0).isEmpty());

    TempFolder dir;
    dir.file("tree/sub/f.bin", 10);
    Column c;
    ASSERT_TRUE(test::scanAndWait(c.state, dir / "tree"));
    ASSERT_TRUE(c.view.treeSections()->isVisible());
    SidebarCurrentView* current = c.view.currentView();
    EXPECT_EQ(current->nameLine()->text(), "tree");
    EXPECT_EQ(current->pathLine()->text(), QString::fromStdString(dir / "tree"));
    c.state.drill(AppState::nodeAt(dir / "tree/sub", c.state.displayRoot()));
    EXPECT_EQ(current->nameLine()->text(), "sub");
    test::clickOn(*current->revealButton());
    test::clickOn(*current->copyButton());
    ASSERT_EQ(c.desktop.revealed.size(), 1u);
    EXPECT_EQ(c.desktop.revealed[0], std::vector<std::string>{dir / "tree/sub"});
    ASSERT_EQ(c.desktop.copied.size(), 1u);
    EXPECT_EQ(c.desktop.copied[0], dir / "tree/sub");
}

TEST(SidebarCurrentViewSection, APathBrokenAtASpaceStartsItsSecondLineWithTheFollowingCharacter) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(10);
    const double cell = QFontMetricsF(font).horizontalAdvance(QLatin1Char('x'));
    // Twenty characters to a line; the twentieth from the end is a space.
    TextLine line(font, [](const Theme& t) { return t.text; }, TextDraw::Truncation::head, 2);
    ThemedWidget::applyTheme(&line, Theme::make(ThemeID::paper));
    line.setText(QString(30, 'a') + QLatin1Char(' ') + QString(19, 'b'));
    line.resize(int(std::ceil(cell * 20)) + 1, line.heightForWidth(int(std::ceil(cell * 20)) + 1));
    const QStringList lines = line.shownLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[1], QString(19, 'b'));
    EXPECT_TRUE(lines[0].endsWith('a'));

    // The second line's ink starts at the left edge, as the first line's does.
    QImage image(line.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    line.render(&image);
    const int lineHeight = int(QFontMetricsF(font).height());
    auto leftmostInk = [&](int top) {
        for (int x = 0; x < image.width(); ++x)
            for (int y = top; y < std::min(top + lineHeight, image.height()); ++y)
                if (qGray(image.pixel(x, y)) < 160) return x;
        return image.width();
    };
    EXPECT_LT(leftmostInk(lineHeight), cell * 0.6);
    EXPECT_NEAR(leftmostInk(lineHeight), leftmostInk(0), 1);
}

TEST(SidebarQuickWinsSection, RowsStageThroughTheQueueRule) {
    TempFolder dir;
    dir.file("proj/app/node_modules/x/a.js", 5000);
    dir.file("proj/lib/node_modules/b.js", 3000);
    dir.file("proj/tool/node_modules/c.js", 2000);
    dir.file("proj/readme.md", 10);
    Column c;
    ASSERT_TRUE(test::scanAndWait(c.state, dir / "proj"));
    SidebarQuickWins* wins = c.view.quickWins();
    ASSERT_FALSE(wins->rows().empty());
    EXPECT_FALSE(wins->emptyLine()->isVisible());
    PresetRow* row = nullptr;
    for (PresetRow* r : wins->rows())
        if (r->hit().preset.title == "node_modules") row = r;
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->countText(), "3 items");
    EXPECT_TRUE(row->toolTip().endsWith(QStringLiteral(" — click to stage for cleanup")));

    // A folder already staged above a match keeps it out; the others are staged in one change of
    // the queue, largest first; a second click adds nothing.
    c.state.enqueue(AppState::nodeAt(dir / "proj/app", c.state.root()));
    int changes = 0;
    QObject::connect(&c.state, &AppState::queueChanged, [&] { ++changes; });
    test::clickOn(*row);
    ASSERT_EQ(c.state.queue().size(), 3u);
    EXPECT_EQ(c.state.queue()[0]->path(), dir / "proj/app");
    EXPECT_EQ(c.state.queue()[1]->path(), dir / "proj/lib/node_modules");
    EXPECT_EQ(c.state.queue()[2]->path(), dir / "proj/tool/node_modules");
    EXPECT_EQ(changes, 1);
    test::clickOn(*row);
    EXPECT_EQ(c.state.queue().size(), 3u);
    EXPECT_EQ(changes, 1);
    // Staging changes nothing else.
    EXPECT_EQ(c.state.focus(), c.state.displayRoot());
    EXPECT_FALSE(c.state.banner().has_value());
}

TEST(SidebarFileTypesSection, RowsFilterAndTotalsAreWalkedOncePerInput) {
    TempFolder dir;
    dir.file("media/clip.mp4", 8000);
    dir.file("media/song.mp3", 4000);
    dir.file("media/sub/notes.txt", 1000);
    Column c;
    c.state.setUseAllocatedSize(false);
    ASSERT_TRUE(test::scanAndWait(c.state, dir / "media"));
    SidebarFileTypes* types = c.view.fileTypes();
    ASSERT_EQ(types->rows().size(), 3u);
    EXPECT_EQ(types->rows()[0]->category(), FileCategory::video);
    EXPECT_EQ(types->rows()[1]->category(), FileCategory::audio);
    EXPECT_EQ(types->rows()[2]->category(), FileCategory::document);
    EXPECT_EQ(types->bar()->segments().size(), 3u);
    EXPECT_NEAR(types->bar()->segments()[0].second, 8000.0 / 13000.0, 1e-9);

    // Pointer and queue traffic never walk the tree again.
    const int walks = types->walks();
    const AppState::NodePtr clip = AppState::nodeAt(dir / "media/clip.mp4", c.state.displayRoot());
    for (int i = 0; i < 50; ++i) {
        c.state.setHovered(i % 2 ? clip : nullptr);
        c.state.setSelection(i % 2 ? clip : nullptr);
    }
    c.state.enqueue(clip);
    c.state.setFocus(c.state.displayRoot());
    EXPECT_EQ(types->walks(), walks);
    c.state.setUseAllocatedSize(true);
    EXPECT_EQ(types->walks(), walks + 1);
    c.state.setUseAllocatedSize(false);

    test::clickOn(*types->rows()[0]);
    EXPECT_EQ(c.state.filter().categories, std::set<FileCategory>{FileCategory::video});
    EXPECT_EQ(types->label()->trailing(), "1 on");
    EXPECT_TRUE(types->clearButton()->isVisible());
    EXPECT_FALSE(types->rows()[1]->isOn());
    ASSERT_TRUE(test::waitUntil([&] { return !c.state.isFiltering() && c.state.displayRoot() != c.state.root(); }));
    ASSERT_EQ(types->rows().size(), 1u);
    EXPECT_EQ(types->rows()[0]->category(), FileCategory::video);

    NodeFilter filter = c.state.filter();
    filter.query = "clip";
    c.state.setFilter(filter);
    test::clickOn(*types->clearButton());
    EXPECT_TRUE(c.state.filter().categories.empty());
    EXPECT_EQ(c.state.filter().query, "clip");
    EXPECT_FALSE(types->clearButton()->isVisible());
    EXPECT_FALSE(types->label()->trailing().has_value());
}

TEST(SidebarFileTypesSection, RowsOfAFocusedFolderStackWithoutGapsAndKeepTheirHover) {
    TempFolder dir;
    dir.file("top/media/clip.mp4", 8000);
    dir.file("top/media/song.mp3", 4000);
    dir.file("top/docs/notes.txt", 1000);
    Column c;
    c.state.setUseAllocatedSize(false);
    ASSERT_TRUE(test::scanAndWait(c.state, dir / "top"));
    SidebarFileTypes* types = c.view.fileTypes();
    test::settle();
    ASSERT_EQ(types->rows().size(), 3u);
    CategoryRow* video = types->rows()[0];
    CategoryRow* audio = types->rows()[1];
    QEnterEvent enter(QPointF(4, 4), QPointF(4, 4), QPointF(4, 4));
    QApplication::sendEvent(audio, &enter);
    ASSERT_TRUE(audio->isHovering());

    // The focus takes the document row away: the two rows left are the same rows, with the
    // folder's figures, one under the other as before, and the pointer is still over the second.
    c.state.setFocus(AppState::nodeAt(dir / "top/media", c.state.displayRoot()));
    test::settle();
    ASSERT_EQ(types->rows().size(), 2u);
    EXPECT_EQ(types->rows()[0], video);
    EXPECT_EQ(types->rows()[1], audio);
    EXPECT_EQ(video->bytes(), 8000);
    EXPECT_EQ(audio->bytes(), 4000);
    EXPECT_TRUE(audio->isHovering());
    EXPECT_EQ(audio->geometry().top() - video->geometry().bottom() - 1, 7);
    int shown = 0;
    for (CategoryRow* row : types->findChildren<CategoryRow*>()) shown += row->isVisible();
    EXPECT_EQ(shown, 2);
    ASSERT_EQ(types->bar()->segments().size(), 2u);
    EXPECT_NEAR(types->bar()->segments()[0].second, 8000.0 / 12000.0, 1e-9);
    // The section ends under its last row.
    EXPECT_LE(types->height(), audio->geometry().bottom() + 8);

    // Back at the top, the document row returns between the others and the rest.
    c.state.setFocus(c.state.displayRoot());
    test::settle();
    ASSERT_EQ(types->rows().size(), 3u);
    EXPECT_EQ(types->rows()[2]->category(), FileCategory::document);
    EXPECT_EQ(types->rows()[2]->bytes(), 1000);
    EXPECT_GT(types->rows()[2]->geometry().top(), audio->geometry().bottom());
}
