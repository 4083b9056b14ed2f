// The whole window from its smallest size up: every view and tool tab keeps its texts and controls
// whole and inside their panels, and every list scrolls with the one themed bar.
#include "views/shell/RootView.h"

#include "state/AppStateTestSupport.h"
#include "support/FakeAppHome.h"
#include "style/Typography.h"
#include "views/components/controls/ActionButton.h"
#include "views/components/controls/SegmentedRail.h"
#include "views/components/controls/StatRow.h"
#include "views/components/controls/ThemedScrollBar.h"
#include "views/explore/agemap/AgeBucketPanel.h"
#include "views/explore/bars/BarsView.h"
#include "views/explore/agemap/CalendarView.h"
#include "views/explore/agemap/HeatMapGrid.h"
#include "views/explore/agemap/HeatMapPanel.h"
#include "views/explore/agemap/StalePanel.h"
#include "views/explore/table/TableColumns.h"
#include "views/explore/table/TableHeader.h"
#include "views/explore/table/TableView.h"
#include "views/shell/ShellTestSupport.h"
#include "views/shell/WorkspaceView.h"
#include "views/shell/inspector/InspectorIdentity.h"
#include "views/shell/inspector/InspectorView.h"
#include "views/shell/sidebar/CategoryRow.h"
#include "views/shell/sidebar/SidebarFileTypes.h"
#include "views/shell/sidebar/SidebarView.h"
#include "views/shell/topbar/Breadcrumb.h"
#include "views/shell/topbar/TopBar.h"
#include "core/NodeFilter.h"
#include "views/shell/screens/BusySpinner.h"
#include "views/shell/screens/ColorModeSelector.h"
#include "views/shell/screens/DepthSlider.h"
#include "views/shell/screens/VizRail.h"
#include "views/tools/applications/AppDetailHeader.h"
#include "views/tools/applications/AppDetailPane.h"
#include "views/tools/applications/ApplicationsView.h"
#include "views/tools/applications/UninstallButton.h"
#include "views/tools/duplicates/DuplicatesView.h"
#include "views/tools/duplicates/MiniSlider.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QKeyEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QWheelEvent>

#include <gtest/gtest.h>

using namespace tallymere;
using tallymere::test::TempFolder;

namespace {

// The window at its minimum size with the inspector shown, over a tree with something in every
// view: folders, files of several ages, big files untouched for years, and duplicates.
struct Window {
    explicit Window(QSize size = {RootView::minimumWidth, RootView::minimumHeight}) : view(state) {
        // The program's own faces, as the window has them: room is measured in them.
        Typography::bootstrap(QCoreApplication::applicationDirPath() + "/Fonts");
        dir.file("tree/Documents/report.pdf", 3000);
        dir.file("tree/Documents/copy/report.pdf", 3000);
        dir.file("tree/Projects/src/main.cpp", 2000);
        for (int i = 0; i < 5; ++i)
            dir.oldFile("tree/Archive/an-archive-of-old-project-backups-" + std::to_string(i) + ".tar.gz",
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
    template <class View> View* shown() const {
        QWidget* content = view.workspace()->content();
        if (auto* itself = qobject_cast<View*>(content)) return itself;
        return content->findChild<View*>();
    }
    // Where `widget` is in `outer`'s coordinates.
    static QRectF in(const QWidget* outer, const QWidget* widget) {
        return QRectF(widget->mapTo(outer, QPoint(0, 0)), QSizeF(widget->size()));
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
        if (area->horizontalScrollBarPolicy() != Qt::ScrollBarAlwaysOff) {
            EXPECT_NE(qobject_cast<ThemedScrollBar*>(area->horizontalScrollBar()), nullptr) << name;
        }
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

TEST(WindowAtTheMinimumSize, AgeMapStacksItsPanelsAndKeepsEveryTextWhole) {
    Window w;
    ASSERT_TRUE(w.ready);
    w.show(WorkspaceTab::explore, VizMode::calendar);
    CalendarView* map = w.shown<CalendarView>();
    ASSERT_NE(map, nullptr);
    ASSERT_EQ(map->stale().size(), 5u);
    const QWidget* page = map->scrollArea()->widget();
    const double room = map->scrollArea()->viewport()->width();

    // Too narrow for the 330-wide panel beside the column: it stands under the month grid.
    EXPECT_FALSE(map->isSideBySide());
    const QRectF heat = Window::in(page, map->heatMapPanel()), stale = Window::in(page, map->stalePanel());
    EXPECT_EQ(stale.left(), heat.left());
    EXPECT_GT(stale.top(), heat.bottom());
    for (const QWidget* panel : {static_cast<QWidget*>(map->bucketPanel()), static_cast<QWidget*>(map->heatMapPanel()),
                                 static_cast<QWidget*>(map->stalePanel())})
        EXPECT_LE(Window::in(page, panel).right(), room) << panel->metaObject()->className();

    // The age bars keep a track to draw in, and the bytes and share columns stay in the panel.
    AgeBucketPanel* ages = map->bucketPanel();
    for (std::size_t row = 0; row < ages->buckets().size(); ++row) {
        EXPECT_GE(ages->trackRect(row).width(), 80) << row;
        EXPECT_LE(ages->trackRect(row).right() + 9 + 74 + 9 + 48, ages->width() - 13 + 0.5) << row;
    }

    // "Busiest month: ..." after the legend, not over it, and whole.
    HeatMapGrid* grid = map->heatMapPanel()->grid();
    ASSERT_FALSE(grid->years().empty());
    EXPECT_GE(grid->busiestRect().left(), grid->legendRect().right());
    EXPECT_LE(grid->busiestRect().right(), grid->width());
    const double busiest = QFontMetricsF(Typography::font(9.5, QFont::Normal)).horizontalAdvance(grid->busiestText());
    EXPECT_GE(grid->busiestRect().width(), busiest);

    // The view scrolls to the stage button, whole inside the panel.
    ActionButton* stage = map->stalePanel()->stageButton();
    ASSERT_TRUE(stage->isVisible());
    EXPECT_EQ(stage->title(), "Stage top 5 for cleanup");
    EXPECT_GE(stage->width(), stage->sizeHint().width());
    QScrollBar* bar = map->scrollArea()->verticalScrollBar();
    bar->setValue(bar->maximum());
    const QRectF button = Window::in(map->scrollArea()->viewport(), stage);
    EXPECT_GE(button.top(), 0);
    EXPECT_LE(button.bottom(), map->scrollArea()->viewport()->height());
    EXPECT_LE(Window::in(map->stalePanel(), stage).right(), map->stalePanel()->width());

    // With room for both columns, the panel stands beside them again, 330 wide.
    w.view.resize(1440, 900);
    w.view.finishAnimations();
    test::settle();
    EXPECT_TRUE(map->isSideBySide());
    EXPECT_EQ(map->stalePanel()->width(), StalePanel::panelWidth);
    EXPECT_LT(Window::in(page, map->heatMapPanel()).right(), Window::in(page, map->stalePanel()).left());
    EXPECT_FALSE(map->scrollArea()->verticalScrollBar()->isVisible());
}

TEST(WindowAtTheMinimumSize, TableKeepsItsNameColumnAndEveryColumnInside) {
    Window w;
    ASSERT_TRUE(w.ready);
    w.show(WorkspaceTab::explore, VizMode::table);
    TableView* table = w.shown<TableView>();
    ASSERT_NE(table, nullptr);
    TableHeader* header = table->header();
    // Name keeps its least width; the fixed columns narrow, each still wide enough for its title,
    // and all of them, the toggle slot too, end inside the row.
    EXPECT_GE(header->cellRect(TableColumn::name).width(), TableColumns::nameLeast);
    const QFontMetricsF titles(Typography::font(10, QFont::Bold));
    double right = 0;
    for (TableColumn column : TableRows::columns) {
        const QRectF cell = header->cellRect(column);
        EXPECT_GE(cell.left(), right) << int(column);
        EXPECT_GE(cell.width(), titles.horizontalAdvance(QString::fromLatin1(TableRows::title(column))) + 10) << int(column);
        right = cell.right();
    }
    // A folder of millions of files shows its count whole.
    const QFontMetricsF details(Typography::font(10.5, QFont::Normal));
    EXPECT_GE(header->cellRect(TableColumn::items).width(), details.horizontalAdvance(QStringLiteral("9,999,999")));
    const auto spans = TableColumns::spans(header->width());
    EXPECT_LE(spans[5].right(), header->width() - TableColumns::inset + 0.5);
    // The window's smallest column holds the least row, scroll bar and all.
    EXPECT_GE(w.view.columnRect().width() - ThemedScrollBar::thickness, TableColumns::leastRowWidth());

    // Wide, the columns have their full widths and Name the rest.
    w.view.resize(1440, 900);
    w.view.finishAnimations();
    test::settle();
    EXPECT_EQ(header->cellRect(TableColumn::size).width(), 92);
    EXPECT_EQ(header->cellRect(TableColumn::modified).width(), 128);
    EXPECT_GT(header->cellRect(TableColumn::name).width(), 300);
}

TEST(WindowAtTheMinimumSize, DuplicatesHeaderWrapsRatherThanLoseItsTitle) {
    Window w;
    ASSERT_TRUE(w.ready);
    w.show(WorkspaceTab::duplicates);
    DuplicatesView* dup = w.shown<DuplicatesView>();
    ASSERT_NE(dup, nullptr);
    ASSERT_TRUE(dup->headerWraps());
    // Title and subtitle whole, clear of the search button.
    const QRectF title = dup->titleRect();
    EXPECT_GE(title.width(), dup->titleBlockWidth());
    EXPECT_LT(title.right(), dup->findButton()->geometry().left());
    EXPECT_GE(dup->findButton()->geometry().right(), 0);
    EXPECT_LE(dup->findButton()->geometry().right(), dup->width());
    // "Min size" inside the tab and the slider under the title, above the divider.
    EXPECT_GE(dup->minSizeLabelRect().left(), DuplicatesView::headerPaddingX);
    const QRect slider = dup->slider()->geometry();
    EXPECT_GT(slider.top(), title.bottom());
    EXPECT_FALSE(slider.intersects(dup->minSizeLabelRect().toAlignedRect()));
    const QWidget* content = dup->findChild<QStackedWidget*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_NE(content, nullptr);
    EXPECT_LT(slider.bottom(), content->geometry().top() - 1) << "the divider lies under the slider";

    w.view.resize(1440, 900);
    w.view.finishAnimations();
    test::settle();
    EXPECT_FALSE(dup->headerWraps());
    EXPECT_EQ(dup->slider()->geometry().center().y(), dup->findButton()->geometry().center().y());
}

TEST(WindowAtTheMinimumSize, TopSizesKeepsItsScopesAndCountOnOneLine) {
    Window w;
    ASSERT_TRUE(w.ready);
    w.show(WorkspaceTab::explore, VizMode::bars);
    BarsView* bars = w.shown<BarsView>();
    ASSERT_NE(bars, nullptr);
    const double count = QFontMetricsF(Typography::font(10.5, QFont::Normal)).horizontalAdvance("150 shown");
    const QRectF last = bars->scopeButtonRect(TopSizesRanking::Scope::folders);
    const QFontMetricsF button(Typography::font(11.5, QFont::DemiBold));
    EXPECT_GE(last.width(), button.horizontalAdvance(QString::fromUtf8(TopSizesRanking::title(TopSizesRanking::Scope::folders).data())));
    EXPECT_LE(last.right() + BarsView::switcherPadding + BarsView::countSpacing + count,
              bars->width() - BarsView::headerInsetX + 0.5);
}

TEST(WindowAtTheMinimumSize, AppDetailPutsUninstallUnderItsTextsAndKeepsItsPanelsInside) {
    Window w;
    ASSERT_TRUE(w.ready);
    w.show(WorkspaceTab::apps);
    ApplicationsView* apps = w.shown<ApplicationsView>();
    ASSERT_NE(apps, nullptr);
    // An app of the user's own with a name of a common length and a few support files.
    InstalledApp studio{.name = "Photo Studio Professional", .path = w.home / ".local/opt/Studio",
                        .bundleID = "org.example.PhotoStudio", .version = "2.4.1", .size = 84'000'000,
                        .lastUsed = double(::time(nullptr) - 3 * 86400), .isSystem = false};
    for (const char* leaf : {"org.example.PhotoStudio", "PhotoStudio", "org.example.PhotoStudio.conf"})
        studio.leftovers.push_back({.path = w.home / (std::string(".cache/") + leaf), .size = 1'200'000, .kind = "Cache"});
    apps->select(studio);
    test::settle();
    AppDetailPane* pane = apps->detail();
    AppDetailHeader* header = pane->header();
    ASSERT_NE(header, nullptr);
    UninstallButton* uninstall = pane->uninstallButton();
    ASSERT_NE(uninstall, nullptr);
    const QWidget* viewport = pane->scrollArea()->viewport();
    const double room = viewport->width();

    // Too narrow for the texts and the button side by side: the button stands under the texts,
    // whole, and nothing of the pane runs past its right edge.
    ASSERT_LT(room - 2 * 18, header->sideBySideWidth());
    EXPECT_TRUE(header->isStacked());
    const QRectF button = Window::in(viewport, uninstall), texts = Window::in(viewport, header->textColumn());
    EXPECT_GT(button.top(), texts.bottom());
    EXPECT_EQ(button.left(), texts.left());
    EXPECT_GE(button.width(), uninstall->sizeHint().width());
    EXPECT_LE(pane->content()->width(), room);
    for (const QWidget* part : std::initializer_list<const QWidget*>{header, pane->footprintPanel(), pane->leftoversPanel()})
        EXPECT_LE(Window::in(viewport, part).right(), room - 18 + 0.5) << part->metaObject()->className();
    EXPECT_LE(button.right(), room - 18 + 0.5);
    // The texts keep their own width: the chips are whole.
    EXPECT_GE(header->textColumn()->width(), header->textColumn()->minimumSizeHint().width());

    // With room, the button is back at the row's far end, level with the icon and the texts.
    w.view.resize(1440, 900);
    w.view.finishAnimations();
    test::settle();
    EXPECT_FALSE(header->isStacked());
    const QRectF wide = Window::in(viewport, uninstall);
    EXPECT_NEAR(wide.center().y(), Window::in(viewport, header).center().y(), 1);
    EXPECT_NEAR(wide.right(), viewport->width() - 18, 1);
    EXPECT_GT(wide.left(), Window::in(viewport, header->textColumn()).right());
}

// Turns the wheel over `area`, or presses Page Down in it, until it stops moving; then whether
// `last` lies whole in its viewport.
bool wholeAtTheEnd(QScrollArea* area, const QWidget* last, bool byWheel) {
    QScrollBar* bar = area->verticalScrollBar();
    bar->setValue(0);
    for (int turns = 0, last = -1; turns < 100 && bar->value() != last; ++turns) {
        last = bar->value();
        const QPointF at = area->viewport()->rect().center();
        QWheelEvent wheel(at, area->viewport()->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QKeyEvent key(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
        if (byWheel) QApplication::sendEvent(area->viewport(), &wheel);
        else QApplication::sendEvent(area, &key);
    }
    const QRectF r = Window::in(area->viewport(), last);
    return bar->value() == bar->maximum() && r.top() >= 0 && r.bottom() <= area->viewport()->height();
}

TEST(WindowAtTheMinimumSize, SidebarAndInspectorScrollWithoutABarToTheirLastRow) {
    Window w;
    ASSERT_TRUE(w.ready);
    // Files of every kind, so that the sidebar lists many types.
    for (const char* name : {"film.mkv", "photo.jpg", "disk.iso", "app.log", "notes.txt", "data.bin"})
        w.dir.file(std::string("tree/Mixed/") + name, 4000);
    ASSERT_TRUE(test::scanAndWait(w.state, w.dir / "tree"));
    w.show(WorkspaceTab::explore, VizMode::treemap);
    auto* inspector = w.view.inspector()->findChild<InspectorView*>();
    if (!inspector) inspector = qobject_cast<InspectorView*>(w.view.inspector());
    ASSERT_NE(inspector, nullptr);
    ActionButton* cleanup = inspector->button(QStringLiteral("Add to Cleanup"));
    ASSERT_NE(cleanup, nullptr);
    SidebarView* sidebar = w.view.sidebar();
    ASSERT_FALSE(sidebar->fileTypes()->rows().empty());
    const CategoryRow* lastType = sidebar->fileTypes()->rows().back();
    const std::vector<std::pair<QScrollArea*, const QWidget*>> columns{{inspector->scrollArea(), cleanup},
                                                                        {sidebar->scrollArea(), lastType}};

    // 660 high, neither column fits, yet neither shows a bar: the blocks keep the column's width,
    // its right padding is bare, and the wheel and Page Down each bring its last control into view.
    for (const auto& [area, last] : columns) {
        const char* name = area->parentWidget()->metaObject()->className();
        ASSERT_GT(area->verticalScrollBar()->maximum(), 0) << name;
        EXPECT_FALSE(area->verticalScrollBar()->isVisible()) << name;
        EXPECT_EQ(area->viewport()->width(), area->width()) << name;
        const QImage column = area->grab().toImage();
        for (int y = 0; y < column.height(); y += 3)
            ASSERT_EQ(column.pixel(column.width() - 4, y), column.pixel(column.width() - 1, 0)) << name << " at " << y;
        EXPECT_TRUE(wholeAtTheEnd(area, last, true)) << name;
        EXPECT_TRUE(wholeAtTheEnd(area, last, false)) << name;
    }
    EXPECT_EQ(inspector->identity()->width(), InspectorView::columnWidth - 2 * 13);

    // 900 high, still no bar, and the last controls are reached.
    w.view.resize(1440, 900);
    w.view.finishAnimations();
    test::settle();
    for (const auto& [area, last] : columns) {
        EXPECT_FALSE(area->verticalScrollBar()->isVisible());
        EXPECT_TRUE(wholeAtTheEnd(area, last, true));
    }
}

TEST(WindowAtTheMinimumSize, BreadcrumbShowsTheFocusedFolderWholeAndFadesTheCrumbItCuts) {
    Window w;
    ASSERT_TRUE(w.ready);
    const std::string wide = "tree/MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM";
    const std::string longest = wide + "/the-focused-folder-with-a-name-wider-than-the-strip-itself";
    w.dir.file(longest + "/f.bin", 1);
    w.dir.file(wide + "/deep/g.bin", 1);
    ASSERT_TRUE(test::scanAndWait(w.state, w.dir / "tree"));
    w.show(WorkspaceTab::explore, VizMode::treemap);
    Breadcrumb* crumbs = w.view.topBar()->breadcrumb();
    const QFontMetricsF last(Typography::font(11.5, QFont::DemiBold));

    // A focused folder whose name is wider than the strip: its crumb fills the strip, its name
    // shortened in the middle and drawn whole.
    w.state.drill(AppState::nodeAt(w.dir / longest, w.state.displayRoot()));
    test::settle();
    QRectF strip = crumbs->stripRect();
    std::vector<QRectF> rects = crumbs->crumbRects();
    ASSERT_EQ(rects.size(), 3u);
    ASSERT_GT(last.horizontalAdvance(crumbs->crumbTitles().back()), strip.width());
    EXPECT_NEAR(rects.back().left(), strip.left(), 0.5);
    EXPECT_NEAR(rects.back().right(), strip.right(), 0.5);
    const QString shown = crumbs->shownTitle(2);
    EXPECT_TRUE(shown.startsWith("the-") && shown.endsWith("itself") && shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_LE(last.horizontalAdvance(shown), rects.back().width() - 2 * 5 + 0.5);

    // A short one after a wide one: the strip shows its end, the focused folder whole, and the wide
    // crumb cut at the strip's left edge fades out there, to no ink at the edge.
    w.state.drill(AppState::nodeAt(w.dir / (wide + "/deep"), w.state.displayRoot()));
    test::settle();
    strip = crumbs->stripRect();
    rects = crumbs->crumbRects();
    ASSERT_EQ(rects.size(), 3u);
    EXPECT_NEAR(rects.back().right(), strip.right(), 0.5);
    EXPECT_GE(rects.back().left(), strip.left());
    ASSERT_LT(rects[1].left(), strip.left());
    ASSERT_GT(rects[1].right(), strip.left() + Breadcrumb::fadeWidth + 10);
    const QImage image = w.view.grab().toImage();
    const QPoint origin = crumbs->mapTo(&w.view, QPoint(0, 0));
    const QColor ground = image.pixelColor(origin.x() + int(strip.left()) + 1, origin.y() - 2);
    int inkAtTheEdge = 0, inkPastTheFade = 0;
    for (int y = origin.y(); y < origin.y() + crumbs->height(); ++y) {
        if (!test::near(image.pixelColor(origin.x() + int(std::ceil(strip.left())), y), ground, 6)) ++inkAtTheEdge;
        for (int x = int(strip.left() + Breadcrumb::fadeWidth); x < int(rects[1].right()); ++x)
            if (!test::near(image.pixelColor(origin.x() + x, y), ground, 40)) ++inkPastTheFade;
    }
    EXPECT_EQ(inkAtTheEdge, 0);
    EXPECT_GT(inkPastTheFade, 0);
}

TEST(WindowAtEverySize, InspectorDetailRowsAreOneLineHigh) {
    for (QSize size : {QSize(RootView::minimumWidth, RootView::minimumHeight), QSize(1440, 900)}) {
        Window w(size);
        ASSERT_TRUE(w.ready);
        w.show(WorkspaceTab::explore, VizMode::treemap);
        auto* inspector = w.view.inspector()->findChild<InspectorView*>();
        if (!inspector) inspector = qobject_cast<InspectorView*>(w.view.inspector());
        ASSERT_NE(inspector, nullptr);
        // A label of several words ("Size on disk") is as high as one of one word ("Files").
        std::vector<StatRow*> rows;
        for (StatRow* row : inspector->findChildren<StatRow*>())
            if (row->isVisible()) rows.push_back(row);
        ASSERT_GE(rows.size(), 5u);
        const int oneLine = StatRow(QStringLiteral("Files"), QStringLiteral("52")).heightForWidth(rows.front()->width());
        for (StatRow* row : rows) EXPECT_EQ(row->height(), oneLine) << row->label().toStdString() << " at " << size.width();
    }
}

TEST(WindowAtTheDefaultSize, RailCaptionEndsWithAnEllipsisBetweenTheRailAndItsControls) {
    Window w({1440, 900});
    ASSERT_TRUE(w.ready);
    w.show(WorkspaceTab::explore, VizMode::treemap);
    VizRail* rail = w.view.workspace()->vizRail();
    const QRectF caption = rail->captionRect();
    EXPECT_GT(caption.left(), rail->rail()->geometry().right());
    EXPECT_LT(caption.right(), rail->colorModes()->geometry().left());
    // Shortened to its room, never clipped mid-letter.
    const QString full = VizRail::caption(VizMode::treemap);
    const QFontMetricsF metrics(Typography::font(10.5, QFont::Normal));
    EXPECT_LE(metrics.horizontalAdvance(rail->shownCaption()), caption.width() + 0.5);
    if (metrics.horizontalAdvance(full) > caption.width()) EXPECT_TRUE(rail->shownCaption().endsWith(QChar(0x2026)));
    else EXPECT_EQ(rail->shownCaption(), full);
}

// From the minimum pane up, in every view, and while a filtered copy is being built: the caption
// keeps at least its first word beside the rail (else the controls take a second row), and the
// filter's spinner stands inside the pane, clear of the rail, the caption and the controls.
TEST(WindowAtEverySize, RailCaptionKeepsAWordAndTheFilterSpinnerStandsInsideThePane) {
    Window w;
    ASSERT_TRUE(w.ready);
    w.show(WorkspaceTab::explore, VizMode::treemap);
    VizRail* rail = w.view.workspace()->vizRail();
    const int paneWidth = rail->width();
    auto sweep = [&](VizMode mode, bool filtering) {
        const QString full = VizRail::caption(mode);
        const QString firstWord = full.section(QLatin1Char(' '), 0, 0);
        int faults = 0;
        for (int width = paneWidth; width <= 1000 && faults < 3; width += 2) {
            rail->resize(width, rail->heightForWidth(width));
            const QRectF pane(0, 0, width, rail->height());
            const QRectF caption = rail->captionRect();
            std::vector<QRectF> controls = {QRectF(rail->rail()->geometry())};
            if (rail->colorModes()->isVisible()) controls.emplace_back(rail->colorModes()->geometry());
            if (rail->depthSlider()->isVisible()) controls.emplace_back(rail->depthSlider()->geometry());
            const std::string where = VizModes::rawValue(mode).data() + std::string(" at ") + std::to_string(width) +
                                      (filtering ? " filtering" : "");
            bool whole = rail->shownCaption() == full || rail->shownCaption().startsWith(firstWord);
            EXPECT_TRUE(whole) << where << ": " << rail->shownCaption().toStdString();
            bool inside = pane.contains(caption);
            for (const QRectF& control : controls) inside = inside && !control.intersects(caption);
            EXPECT_TRUE(inside) << where << " caption";
            if (filtering) {
                const QRectF spinner = rail->spinner()->geometry();
                bool clear = rail->spinner()->isVisible() && pane.contains(spinner) && !spinner.intersects(caption);
                for (const QRectF& control : controls) clear = clear && !control.intersects(spinner);
                EXPECT_TRUE(clear) << where << " spinner at " << spinner.x();
                whole = whole && clear;
            }
            if (!whole || !inside) ++faults;
        }
    };
    int sweeps = 0;
    QObject::connect(&w.state, &AppState::isFilteringChanged, [&] {
        if (!w.state.isFiltering()) return;
        sweep(w.state.viz(), true);
        ++sweeps;
    });
    int round = 0;
    for (VizMode mode : VizModes::all) {
        w.show(WorkspaceTab::explore, mode);
        sweep(mode, false);
        NodeFilter filter;
        filter.query = ++round % 2 ? "track" : "report";
        w.state.setFilter(filter);
        ASSERT_TRUE(test::waitUntil([&] { return sweeps == round && !w.state.isFiltering(); }));
    }
}
