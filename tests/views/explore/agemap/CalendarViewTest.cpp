#include "views/explore/agemap/CalendarView.h"

#include "layout/MonthCalendar.h"
#include "state/AppStateTestSupport.h"
#include "support/ColourChecks.h"
#include "support/DisplayTree.h"
#include "support/TreeText.h"
#include "support/WindowPixels.h"
#include "views/components/controls/ActionButton.h"
#include "views/components/controls/Chip.h"
#include "views/explore/agemap/AgeBucketPanel.h"
#include "views/explore/agemap/AgeMapStore.h"
#include "views/explore/agemap/HeatMapGrid.h"
#include "views/explore/agemap/HeatMapPanel.h"
#include "views/explore/agemap/StaleList.h"
#include "views/explore/agemap/StalePanel.h"
#include "views/explore/agemap/SurfacePicture.h"

#include <QApplication>
#include <QBackingStore>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QThread>
#include <QScrollBar>
#include <QScrollArea>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <map>
#include <mutex>
#include <set>
#include <string>

using namespace tallymere;

namespace {

using test::looksLike;
using test::over;

// The fixed clock: 2024-06-15 00:00 UTC; months are split in UTC for the test's run.
constexpr long long now = 1718409600;
constexpr long long day = 86400;

struct UtcZone {
    std::string saved;
    bool had;
    UtcZone() : had(std::getenv("TZ") != nullptr) {
        if (had) saved = std::getenv("TZ");
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    ~UtcZone() {
        if (had)
            ::setenv("TZ", saved.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
};

std::string line(int indent, const std::string& name, long long size, long long mtime) {
    return std::string(static_cast<std::size_t>(indent), ' ') + name + " " + std::to_string(size) +
           " mtime=" + std::to_string(mtime) + "\n";
}

const FileNode* find(const FileNode& root, std::string_view name) {
    const FileNode* found = nullptr;
    root.walk([&](const FileNode& node) {
        if (node.name() == name) found = &node;
        return !found;
    });
    return found;
}

struct Fixture {
    UtcZone zone;
    AppState state{test::memoryStore()};
    AppState::NodePtr tree =
        test::treeFromText("/data/\n" + line(2, "a.mov", 500, 1710028800) +                        // 2024-03-10
                           line(2, "b.mov", 300, 1710028800 + 5 * day) +                           // 2024-03-15
                           line(2, "c.txt", 40, 1672876800) +                                      // 2023-01-05
                           "  old/\n" + line(4, "big.iso", 50'000'000, now - 800 * day) +          // 2022-04-07
                           line(2, "older.dmg", 60'000'000, now - 900 * day) +                     // 2021-12-28
                           "  Tool.app/ package mtime=" + std::to_string(now - 400 * day) + "\n" + // 2023-05-12
                           line(4, "inner.bin", 45'000'000, now) + "  empty/\n");
    CalendarView view{state};

    Fixture() {
        view.setClock([] { return double(now); });
        test::display(state, tree);
        view.resize(1100, 700);
        view.show();
        test::settleLayouts();
    }

    QImage image() { return view.grab().toImage(); }
    HeatMapGrid& grid() { return *view.heatMapPanel()->grid(); }
    QPoint inView(const QWidget& widget, QPointF point) { return widget.mapTo(&view, point.toPoint()); }
    void move(QWidget& widget, QPointF at) {
        QMouseEvent event(QEvent::MouseMove, at, widget.mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&widget, &event);
    }
    void click(QWidget& widget, QPointF at) {
        for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, widget.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&widget, &event);
        }
    }
    std::vector<std::string> queued() const {
        std::vector<std::string> names;
        for (const auto& node : state.queue()) names.emplace_back(node->name());
        return names;
    }
};

// A widget kept as a picture of three bands, each a red square, that notes the threads it drew on.
// With `meet` set, a band's drawing waits until a second thread has started one too (once at most 30 s):
// drawing shared with the pool then always lands on two threads, whatever the timing, while drawing
// kept on one thread shows only that one after the wait.
class BandedPicture : public QWidget {
public:
    std::set<QThread*> threads;
    bool meet = false;

    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        const double third = height() / 3.0;
        m_picture.paint(painter, *this, event->region(), Qt::white, {third, 2 * third}, [&](QPainter& p, std::size_t band) {
            {
                std::unique_lock lock(m_mutex);
                threads.insert(QThread::currentThread());
                m_entered.notify_all();
                if (meet && !m_entered.wait_for(lock, std::chrono::seconds(30), [&] { return threads.size() > 1; }))
                    meet = false;
            }
            p.fillRect(QRectF(10, 10 + double(band) * third, 20, 20), Qt::red);
        });
    }

private:
    SurfacePicture m_picture;
    std::mutex m_mutex;
    std::condition_variable m_entered;
};

} // namespace

TEST(CalendarViewHeatMap, SmallPicturesAreDrawnOnTheWindowsThreadLargeOnesSharedWithThePool) {
    // Waking a thread of the pool costs more than drawing a small picture; a large one is shared out
    // between the pool and the window's thread, which draws the bands no thread of the pool took.
    if (QThread::idealThreadCount() < 2) GTEST_SKIP() << "one processor: nothing is shared";
    for (const QSize size : {QSize(400, 300), QSize(1000, 900)}) {
        const bool large = size.width() > 500;
        BandedPicture widget;
        widget.meet = large;
        widget.resize(size);
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        widget.render(&image);
        for (int band = 0; band < 3; ++band)
            EXPECT_EQ(image.pixelColor(15, 15 + band * size.height() / 3), QColor(Qt::red)) << band;
        EXPECT_EQ(image.pixelColor(5, 5), QColor(Qt::white));
        if (large) {
            EXPECT_GE(widget.threads.size(), 2u) << "the pool took a share of the bands";
        } else {
            EXPECT_EQ(widget.threads, std::set<QThread*>{QThread::currentThread()});
        }
    }
}

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

TEST(CalendarViewHeatMap, PeakMonthGlowsAndHoverShowsTheChip) {
    Fixture f;
    HeatMapGrid& grid = f.grid();
    EXPECT_EQ(grid.years(), (std::vector<int>{2024, 2023, 2022, 2021}));
    EXPECT_EQ(grid.peak(), 60'000'000);
    EXPECT_EQ(grid.busiestText(), "Busiest month: 60.0\u00A0MB");
    EXPECT_DOUBLE_EQ(grid.cellRect(0, 1).height(), 40) << "four years give rows of 40";

    const Theme theme;
    const QImage image = f.image();
    // December 2021 is the busiest: the second accent at full opacity, with its bytes written on it.
    const QRectF peak = grid.cellRect(3, 12);
    EXPECT_TRUE(
        looksLike(image.pixelColor(f.inView(grid, QPointF(peak.left() + 3, peak.top() + 8))), theme.accentSecondary));
    int ink = 0;
    for (int x = int(peak.left()) + 4; x < int(peak.right()) - 4; ++x)
        if (image.pixelColor(f.inView(grid, QPointF(x, peak.center().y()))).lightness() < 100) ++ink;
    EXPECT_GT(ink, 0) << "the label's dark ink";
    // An empty month is the background at 0.55 over the panel.
    const QRectF april = grid.cellRect(0, 4);
    EXPECT_TRUE(
        looksLike(image.pixelColor(f.inView(grid, april.center())), over(theme.background, 0.55, theme.surface)));
    EXPECT_TRUE(looksLike(image.pixelColor(f.inView(grid, grid.legendSwatchRect(5).center())), theme.accentSecondary));

    // Hovering March 2024 names it in the chip and outlines it; an empty month clears both.
    Chip& chip = *f.view.heatMapPanel()->hoverChip();
    const QRectF march = grid.cellRect(0, 3);
    const QColor plain = f.image().pixelColor(f.inView(grid, QPointF(march.left() + 0.6, march.center().y())));
    f.move(grid, march.center());
    ASSERT_TRUE(grid.hoverCell().has_value());
    EXPECT_EQ(grid.hoverCell()->files, 2);
    EXPECT_TRUE(chip.isVisible());
    EXPECT_EQ(chip.text(), QStringLiteral("Mar 2024 \u00B7 800\u00A0B \u00B7 2 files"));
    EXPECT_EQ(grid.helpText(2024, 3), QStringLiteral("Mar 2024 \u2014 800\u00A0B"));
    const QColor outlined = f.image().pixelColor(f.inView(grid, QPointF(march.left() + 0.6, march.center().y())));
    EXPECT_LT(outlined.lightness(), plain.lightness() - 40) << "the text-coloured outline";
    f.move(grid, april.center());
    EXPECT_FALSE(grid.hoverCell().has_value());
    EXPECT_FALSE(chip.isVisible());
    EXPECT_EQ(grid.helpText(2024, 4), "");
}

TEST(CalendarViewHeatMap, ANarrowViewStacksThePanelsAndCellsTooNarrowForTheirBytesShowNone) {
    Fixture f;
    f.view.resize(480, 700);
    test::settleLayouts();
    EXPECT_FALSE(f.view.isSideBySide());
    HeatMapGrid& grid = f.grid();
    const QRectF peak = grid.cellRect(3, 12);
    ASSERT_LT(peak.width(), 32);
    // A byte count cut to a stub ("6…") says nothing: the cell shows its colour alone.
    const QImage image = f.image();
    int ink = 0;
    for (int x = int(peak.left()) + 2; x < int(peak.right()) - 2; ++x)
        if (image.pixelColor(f.inView(grid, QPointF(x, peak.center().y()))).lightness() < 100) ++ink;
    EXPECT_EQ(ink, 0);
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

namespace {
// A tree with a dated file in each of `years` years up to 2023 and `stale` big files over a year
// old, from 2023.
AppState::NodePtr yearsTree(int years, int stale) {
    std::string text = "/years/\n";
    for (int year = 2024 - years; year <= 2023; ++year)
        text += line(2, "y" + std::to_string(year), 1000, 946684800 + (year - 2000) * 366 * day);
    for (int i = 0; i < stale; ++i) text += line(2, "old" + std::to_string(i), 50'000'000 + i, now - 500 * day);
    return test::treeFromText(text);
}
} // namespace

TEST(CalendarViewHeatMap, YearRowsKeepTheirHeightsAtEverySizeAndAShortViewScrollsAsOnePage) {
    UtcZone zone;
    AppState state(test::memoryStore());
    test::display(state, yearsTree(13, 0));
    CalendarView view(state);
    view.setClock([] { return double(now); });
    HeatMapGrid& grid = *view.heatMapPanel()->grid();
    ASSERT_EQ(grid.years().size(), 12u);
    EXPECT_EQ(grid.years().front(), 2023);
    EXPECT_EQ(grid.years().back(), 2012);
    view.show();

    const std::map<int, double> heights{{1, 62}, {2, 56}, {3, 48}, {4, 40}, {6, 40}, {7, 30}, {12, 30}};
    for (const auto& [years, height] : heights)
        for (const QSize size : {QSize(1100, 900), QSize(1100, 420), QSize(700, 420), QSize(480, 300)}) {
            test::display(state, yearsTree(years, 30));
            view.resize(size);
            test::settleLayouts();
            const std::string where = std::to_string(years) + " years at " + std::to_string(size.width()) + "x" +
                                      std::to_string(size.height());
            ASSERT_EQ(grid.years().size(), std::size_t(years)) << where;
            for (std::size_t row = 0; row < grid.years().size(); ++row) {
                EXPECT_DOUBLE_EQ(grid.cellRect(row, 1).height(), height) << where;
                if (row > 0) {
                    EXPECT_DOUBLE_EQ(grid.cellRect(row, 1).top() - grid.cellRect(row - 1, 1).bottom(), 3) << where;
                }
            }
            const QRectF last = grid.cellRect(grid.years().size() - 1, 12);
            EXPECT_LE(last.bottom(), grid.legendSwatchRect(0).top()) << where << ": the rows stay above the legend";
            EXPECT_LE(last.bottom(), grid.height()) << where;

            // Where the view is too short, the page scrolls, and the list beside or under the grid
            // shows all its rows rather than scrolling inside it.
            QScrollArea& page = *view.scrollArea();
            QScrollArea& list = *view.stalePanel()->findChild<QScrollArea*>();
            const bool scrolls = page.verticalScrollBar()->maximum() > 0;
            EXPECT_EQ(scrolls, view.stalePanel()->isListWhole()) << where;
            if (scrolls) {
                EXPECT_EQ(list.verticalScrollBar()->maximum(), 0) << where;
                EXPECT_GE(list.viewport()->height(), view.stalePanel()->list()->sizeHint().height()) << where;
            }
            if (size.height() == 900 && size.width() == 1100) {
                EXPECT_FALSE(scrolls) << where;
            }
            if (size.height() == 300) {
                EXPECT_TRUE(scrolls) << where;
            }
        }
}

// What the window shows after the focus moves and a month is hovered, repainted only where the
// view asked and copied from the kept pictures, is what drawing the whole view afresh gives.
TEST(CalendarViewHeatMap, RepaintsAfterAFocusChangeMatchAFreshDrawing) {
    Fixture f;
    QWidget window;
    window.resize(f.view.size());
    f.view.setParent(&window);
    f.view.move(0, 0);
    // The fixture owns the view: it leaves the window before the window goes.
    struct Leave {
        QWidget& view;
        ~Leave() { view.setParent(nullptr); }
    } leave{f.view};
    window.show();
    QApplication::processEvents();
    auto shown = [&] { return test::shownPixels(window, f.view); };
    auto fresh = [&] { return test::freshPixels(f.view); };
    ASSERT_FALSE(shown().isNull());
    for (const char* name : {"old", "", "Tool.app", ""}) {
        const FileNode* node = *name ? find(*f.tree, name) : f.tree.get();
        f.state.setFocus(f.state.retain(node));
        QApplication::processEvents();
        EXPECT_EQ(shown(), fresh()) << "focus " << name;
    }
    f.move(f.grid(), f.grid().cellRect(3, 12).center());
    QApplication::processEvents();
    ASSERT_TRUE(f.grid().hoverCell().has_value());
    EXPECT_EQ(shown(), fresh()) << "hover";
}

TEST(CalendarViewHeatMap, ARedrawAfterNewMonthsOrAHoverMatchesANewGrid) {
    // The heads, year labels and legend's key are kept while the years stay; the cells, their
    // bytes, the busiest month and the hover outline are drawn anew on each change.
    const auto mapOf = [](int firstYear, int lastYear, std::int64_t scale) {
        AgeMapModel::AgeMap map;
        for (int year = lastYear; year >= firstYear; --year) map.years.push_back(year);
        for (int year = firstYear; year <= lastYear; ++year)
            for (int month = 1; month <= 12; ++month)
                if ((year + month * scale) % 3 != 0) {
                    const std::int64_t bytes = ((month * 37 + year) % 11 + 1) * scale * 1'000'000;
                    map.cells.push_back({year * 12 + month, year, month, bytes, 1});
                    map.peak = std::max(map.peak, bytes);
                }
        return map;
    };
    const Theme slate = Theme::make(ThemeID::slate);
    const auto hover = [](HeatMapGrid& grid, std::size_t row, int month) {
        const QPointF at = grid.cellRect(row, month).center();
        QMouseEvent move(QEvent::MouseMove, at, grid.mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&grid, &move);
    };
    const auto drawing = [&](HeatMapGrid& grid) {
        QImage image(grid.size(), QImage::Format_ARGB32_Premultiplied);
        grid.render(&image);
        return image;
    };
    const auto newGrid = [&](const AgeMapModel::AgeMap& map, std::optional<std::pair<std::size_t, int>> hovered) {
        auto grid = std::make_unique<HeatMapGrid>();
        ThemedWidget::applyTheme(grid.get(), slate);
        grid->resize(640, 430);
        grid->setMap(map);
        if (hovered) hover(*grid, hovered->first, hovered->second);
        return drawing(*grid);
    };
    HeatMapGrid grid;
    ThemedWidget::applyTheme(&grid, slate);
    grid.resize(640, 430);
    grid.setMap(mapOf(2019, 2024, 1));
    (void)drawing(grid);
    grid.setMap(mapOf(2019, 2024, 7));
    EXPECT_EQ(drawing(grid), newGrid(mapOf(2019, 2024, 7), std::nullopt)) << "same years";
    hover(grid, 1, 3);
    ASSERT_TRUE(grid.hoverCell().has_value());
    EXPECT_EQ(drawing(grid), newGrid(mapOf(2019, 2024, 7), std::pair{std::size_t(1), 3})) << "hover";
    grid.setMap(mapOf(2013, 2018, 3));
    hover(grid, 0, 1);
    EXPECT_EQ(drawing(grid), newGrid(mapOf(2013, 2018, 3), std::pair{std::size_t(0), 1})) << "other years";
}

TEST(CalendarViewHeatMap, KeptPicturesFollowTheThemeAndTheFocus) {
    Fixture f;
    HeatMapGrid& grid = f.grid();
    AgeBucketPanel& buckets = *f.view.bucketPanel();
    (void)f.image();
    // A new theme draws the month cells and the bucket tracks in its own colours.
    const Theme slate = Theme::make(ThemeID::slate);
    ThemedWidget::applyTheme(&f.view, slate);
    // The window's own repaint after the change shows them too, not the old theme's bars.
    QApplication::processEvents();
    const QImage shown = test::shownPixels(f.view, f.view);
    const QPoint empty = f.inView(buckets, buckets.trackRect(1).center().toPoint());
    EXPECT_TRUE(looksLike(shown.pixelColor(empty), over(slate.background, 0.6, slate.surface)));
    std::size_t fullest = 0; // a long bar, in its bucket's colour
    for (std::size_t row = 0; row < buckets.buckets().size(); ++row)
        if (buckets.fillRect(row).width() > buckets.fillRect(fullest).width()) fullest = row;
    const QRectF fill = buckets.fillRect(fullest);
    ASSERT_GT(fill.width(), 20);
    EXPECT_TRUE(looksLike(shown.pixelColor(f.inView(buckets, QPointF(fill.left() + 6, fill.center().y()))),
                          AgeBucketPanel::tint(slate, buckets.buckets()[fullest].id)));
    // First only the heads are painted, as when the grid is mostly scrolled out of view; the rows
    // below are drawn when they show.
    QImage heads(grid.size(), QImage::Format_ARGB32_Premultiplied);
    grid.render(&heads, QPoint(), QRegion(0, 0, grid.width(), 10));
    QImage image = f.image();
    const QRectF peak = grid.cellRect(3, 12);
    EXPECT_TRUE(
        looksLike(image.pixelColor(f.inView(grid, QPointF(peak.left() + 3, peak.top() + 8))), slate.accentSecondary));
    const QRectF track = buckets.trackRect(1); // "8–30 days" holds nothing: a 2-point bar on its track
    EXPECT_TRUE(looksLike(image.pixelColor(f.inView(buckets, track.center().toPoint())),
                          over(slate.background, 0.6, slate.surface)));
    // A new focus draws its own months: only April 2022 remains, the busiest of one year.
    f.state.setFocus(f.state.retain(find(*f.tree, "old")));
    QApplication::processEvents();
    ASSERT_EQ(grid.years(), (std::vector<int>{2022}));
    image = f.image();
    const QRectF april = grid.cellRect(0, 4);
    EXPECT_TRUE(looksLike(image.pixelColor(f.inView(grid, QPointF(april.left() + 3, april.top() + 8))),
                          slate.accentSecondary));
    EXPECT_TRUE(looksLike(image.pixelColor(f.inView(grid, grid.cellRect(0, 12).center())),
                          over(slate.background, 0.55, slate.surface)));
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
