#include "views/explore/agemap/CalendarView.h"

#include "support/ColourChecks.h"
#include "support/WindowPixels.h"
#include "views/components/controls/Chip.h"
#include "views/explore/agemap/AgeBucketPanel.h"
#include "views/explore/agemap/CalendarViewTestSupport.h"
#include "views/explore/agemap/HeatMapGrid.h"
#include "views/explore/agemap/HeatMapPanel.h"
#include "views/explore/agemap/StaleList.h"
#include "views/explore/agemap/StalePanel.h"
#include "views/explore/agemap/SurfacePicture.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>

using namespace tallymere;
using namespace tallymere::test::calendar;
using test::looksLike;
using test::over;

namespace {

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
