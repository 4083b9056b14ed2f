// The monitor tab: card texts and thresholds, the history line and memory bar geometry, the
// sampler's life with the page, and offscreen renders checked on pixels (written to
// <build>/gallery/ for people to look at).
#include "state/AppState.h"
#include "style/Typography.h"
#include "support/DeadFuse.h"
#include "support/TempFolder.h"
#include "support/Unprivileged.h"
#include "views/components/controls/SectionLabel.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/tools/monitor/MemoryBar.h"
#include "views/tools/monitor/MetricCard.h"
#include "views/tools/monitor/MonitorView.h"
#include "views/tools/monitor/ProcessTable.h"
#include "views/tools/monitor/Sparkline.h"
#include "views/tools/monitor/StorageList.h"
#include "views/tools/ToolKeyboard.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLayout>
#include <QVariantAnimation>

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <set>

using namespace tallymere;

namespace {

constexpr std::int64_t GB = 1'000'000'000;

class Monitor : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Typography::bootstrap(QCoreApplication::applicationDirPath() + "/Fonts"); }
};

int distance(const QColor& a, const QColor& b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

// Whether some pixel of `area` is within `tolerance` of `color`.
bool contains(const QImage& image, const QRect& area, const QColor& color, int tolerance = 12) {
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (distance(image.pixelColor(x, y), color) <= tolerance) return true;
    return false;
}

QImage render(QWidget& widget, QSize size, const QColor& backdrop) {
    widget.resize(size);
    if (widget.layout()) widget.layout()->activate();
    // Scroll areas settle their bars in posted events.
    QCoreApplication::processEvents();
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(backdrop);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image.convertToFormat(QImage::Format_ARGB32);
}

void save(const QImage& image, const QString& name) {
    const QString folder = QCoreApplication::applicationDirPath() + "/gallery";
    QDir().mkpath(folder);
    image.save(folder + "/" + name + ".png");
}

QRect mapped(QWidget* widget, QWidget* root, QRectF local = {}) {
    const QRectF r = local.isNull() ? QRectF(widget->rect()) : local;
    return QRect(widget->mapTo(root, r.topLeft().toPoint()), r.size().toSize());
}

std::vector<ProcessSample> processes(int count) {
    std::vector<ProcessSample> list;
    for (int i = 0; i < count; ++i)
        list.push_back({.pid = 100 + i, .name = "proc " + std::to_string(i), .cpu = 0.9 - i * 0.03,
                        .residentBytes = std::int64_t(i + 1) * 50'000'000});
    return list;
}

std::vector<VolumeInfo> volumes(int count) {
    std::vector<VolumeInfo> list;
    for (int i = 0; i < count; ++i)
        list.push_back({.name = i == 0 ? "root" : "disk " + std::to_string(i), .path = "/v" + std::to_string(i),
                        .total = 100 * GB, .available = i == 1 ? 5 * GB : 52'400'000'000});
    return list;
}

// Sources a test drives by hand: no timer, no workers, a clock and counters it sets.
struct FakeSystem {
    double now = 100;
    std::uint64_t busy = 0, idle = 0;
    std::int64_t received = 0;
    MonitorSampler::Sources sources() {
        MonitorSampler::Sources s;
        s.readings = [this] {
            return SystemReadings{.cpu = CpuTicks{.user = busy, .system = 0, .idle = idle, .nice = 0},
                                  .memory = MemoryReading{.used = 6 * GB, .wired = 2 * GB, .compressed = GB, .cached = 3 * GB},
                                  .network = NetworkReading{.in = received, .out = received / 4},
                                  .loadAverage = {1.456, 1, 1}};
        };
        s.physicalMemory = [] { return 16 * GB; };
        s.clock = [this] { return now; };
        s.useTimer = false;
        return s;
    }
    // The next second: `share` of the CPU busy, `rate` bytes received.
    void advance(double share, std::int64_t rate) {
        now += 1;
        busy += std::uint64_t(share * 1000);
        idle += std::uint64_t((1 - share) * 1000);
        received += rate;
    }
};

// The page shown in the paper theme, the CPU's headline at rest on a first sample of 10 %.
void showAtTenPercent(MonitorView& view, FakeSystem& system) {
    ThemedWidget::applyTheme(&view, Theme::make(ThemeID::paper));
    view.resize(1000, 860);
    view.show();
    system.advance(0.1, 1000);
    view.sampler().sampleNow();
    view.cpuCard()->count()->setCurrentTime(MetricCard::countMs);
}

TEST_F(Monitor, CardTextsAndThresholds) {
    MonitorFigures f;
    f.cpuUsage = 0.8;
    f.cpuUser = 0.1234;
    f.loadAverage = {1.456, 0, 0};
    auto cpu = MonitorText::cpu(f);
    const Theme theme;
    EXPECT_EQ(cpu.headline, "80.0%");
    EXPECT_EQ(cpu.tint(theme), theme.text);
    EXPECT_EQ(cpu.stats[0].value, "12.3%");
    EXPECT_EQ(cpu.stats[2].label, "Load");
    EXPECT_EQ(cpu.stats[2].value, "1.46");
    f.cpuUsage = 0.8001;
    EXPECT_EQ(MonitorText::cpu(f).tint(theme), theme.danger);

    f.memoryPressure = 0.75;
    f.memoryUsed = 1'500'000;
    EXPECT_EQ(MonitorText::memory(f).tint(theme), theme.text);
    EXPECT_EQ(MonitorText::memory(f).headline, "1.50\u00A0MB");
    f.memoryPressure = 0.7501;
    EXPECT_EQ(MonitorText::memory(f).tint(theme), theme.warning);
    EXPECT_EQ(MonitorText::memory(f).stats[1].label, "Compressed");

    f.netIn = 1'500'999.9;
    f.netOut = std::numeric_limits<double>::infinity();
    const auto net = MonitorText::network(f);
    EXPECT_EQ(net.headline, QString::fromUtf8("1.50\u00A0MB/s \u2193"));
    EXPECT_EQ(net.stats[0].value, "1.50\u00A0MB/s");
    EXPECT_EQ(net.stats[1].value, "0\u00A0B/s"); // an infinite rate never reaches a conversion
    EXPECT_EQ(MonitorText::percent(-0.00001), "0.0%");
    EXPECT_EQ(MonitorText::percent(std::numeric_limits<double>::quiet_NaN()), "0.0%");

    EXPECT_EQ(MonitorText::storageHeadline({}), QString::fromUtf8("\u2014"));
    EXPECT_EQ(MonitorText::storageHeadline(volumes(6)), "52.4\u00A0GB free");
    const auto atNinety = MonitorText::storageRow({.name = "a", .total = 1000, .available = 100});
    EXPECT_FALSE(atNinety.isNearlyFull);
    EXPECT_TRUE(MonitorText::storageRow({.name = "a", .total = 1000, .available = 99}).isNearlyFull);
    const auto overfull = MonitorText::storageRow({.name = "a", .total = 2000, .available = 5000});
    EXPECT_EQ(overfull.usage, "0\u00A0B / 2.00\u00A0KB");
    EXPECT_EQ(MonitorText::storageRow({.name = "a", .total = 0, .available = 0}).fraction, 0);

    const auto half = MonitorText::processRow({.pid = 1, .name = "a\nb\x1b", .cpu = 0.5, .residentBytes = 999});
    EXPECT_EQ(half.pid, "1");
    EXPECT_EQ(half.cpu, "50.0%");
    EXPECT_FALSE(half.isBusy);
    EXPECT_EQ(half.memory, "999\u00A0B");
    EXPECT_EQ(half.name, "a\\nb\\x1b");
    EXPECT_TRUE(MonitorText::processRow({.cpu = 0.5001}).isBusy);
    EXPECT_EQ(MonitorText::processRow({.cpu = 2.345}).cpu, "234.5%");
    EXPECT_EQ(MonitorText::processRow({.name = "\xff" "x"}).name, QString::fromUtf8("\uFFFDx"));
}

TEST_F(Monitor, SparklineAndMemoryBarGeometry) {
    const QPainterPath diagonal = Sparkline::linePath({0, 1}, QSizeF(100, 50));
    ASSERT_EQ(diagonal.elementCount(), 2);
    EXPECT_EQ(QPointF(diagonal.elementAt(0)), QPointF(0, 50));
    EXPECT_EQ(QPointF(diagonal.elementAt(1)), QPointF(100, 0));
    const QPainterPath clamped = Sparkline::linePath({1.7, -0.2, std::numeric_limits<double>::quiet_NaN()}, QSizeF(100, 50));
    EXPECT_EQ(clamped.elementAt(0).y, 0);
    EXPECT_EQ(clamped.elementAt(1).y, 50);
    EXPECT_EQ(clamped.elementAt(2).y, 50);
    EXPECT_TRUE(Sparkline::linePath({0.5}, QSizeF(100, 50)).isEmpty());

    // filled: the triangle under a rising line is shaded; unfilled: only the line is drawn
    const Theme theme;
    const QColor backdrop(255, 255, 255);
    for (bool filled : {true, false}) {
        Sparkline line(MonitorText::successColor, filled);
        line.setValues({0, 1});
        const QImage image = render(line, {100, 50}, backdrop);
        EXPECT_EQ(image.pixelColor(90, 40) != backdrop, filled);
        EXPECT_EQ(image.pixelColor(10, 40), backdrop); // above the line
        EXPECT_TRUE(contains(image, QRect(48, 23, 4, 4), theme.success, 40));
    }

    MonitorFigures f;
    f.memoryUsed = 2;
    f.memoryWired = 3;
    f.memoryCompressed = 1;
    f.memoryCached = 1;
    // without a total every part is measured against one byte; used below wired + compressed
    // leaves no room for the rest
    const auto pieces = MemoryBar::pieceWidths(f, 200);
    EXPECT_EQ(pieces[0], 600);
    EXPECT_EQ(pieces[1], 0);
    EXPECT_EQ(pieces[2], 200);
    f.memoryTotal = 16;
    f.memoryUsed = 8;
    f.memoryWired = 2;
    f.memoryCompressed = 2;
    f.memoryCached = 4;
    EXPECT_EQ(MemoryBar::pieceWidths(f, 160), (std::array<double, 4>{20, 40, 20, 40}));
}

TEST_F(Monitor, SamplesOnlyWhileShownAndStartsAfreshPerPage) {
    AppState state(nullptr);
    FakeSystem system;
    auto view = std::make_unique<MonitorView>(state, system.sources());
    EXPECT_FALSE(view->sampler().isRunning());
    view->show();
    EXPECT_TRUE(view->sampler().isRunning());
    EXPECT_EQ(view->sampler().monitor().tick(), 1);
    EXPECT_EQ(view->sampler().figures().memoryTotal, 16 * GB);
    view->show(); // already running: no second immediate sample
    EXPECT_EQ(view->sampler().monitor().tick(), 1);
    system.advance(0.5, 10'000);
    view->sampler().sampleNow();
    EXPECT_EQ(view->cpuCard()->headline(), "50.0%");
    view->hide();
    EXPECT_FALSE(view->sampler().isRunning());
    // back on screen, the same page continues: the first rate spans the pause
    system.advance(0.25, 30'000);
    system.advance(0.25, 10'000);
    view->show();
    EXPECT_EQ(view->sampler().monitor().tick(), 3);
    EXPECT_EQ(view->cpuCard()->headline(), "25.0%");
    EXPECT_EQ(view->networkCard()->headline(), QString::fromUtf8("20.0\u00A0KB/s \u2193"));

    view = std::make_unique<MonitorView>(state, system.sources());
    EXPECT_EQ(view->sampler().monitor().tick(), 0);
    EXPECT_EQ(view->cpuCard()->headline(), "0.0%");
}

TEST_F(Monitor, HeadlinesCountFromTheShownFigureToEachNewSample) {
    AppState state(nullptr);
    FakeSystem system;
    MonitorView view(state, system.sources());
    showAtTenPercent(view, system);
    MetricCard* cpu = view.cpuCard();
    ASSERT_EQ(cpu->shownHeadline(), "10.0%");

    // A new sample: the headline names where it is going, the card draws the way there.
    system.advance(0.5, 1000);
    view.sampler().sampleNow();
    EXPECT_EQ(cpu->headline(), "50.0%");
    QVariantAnimation* count = cpu->count();
    ASSERT_EQ(count->state(), QAbstractAnimation::Running);
    count->pause();
    count->setCurrentTime(MetricCard::countMs / 4);
    const double quarter = cpu->shownHeadline().chopped(1).toDouble();
    EXPECT_GT(quarter, 10);
    EXPECT_LT(quarter, 50);
    auto headlinePixels = [](MetricCard* card) {
        const QImage image = card->grab().toImage();
        return image.copy(card->headerGeometry().headline.toAlignedRect().adjusted(-2, 0, 2, 0))
            .convertToFormat(QImage::Format_RGB32);
    };
    const QImage between = headlinePixels(cpu);

    // What is drawn part-way is that figure's text, as a card showing it for good draws it.
    MetricCard still(QStringLiteral("CPU"), "cpu.fill", nullptr);
    ThemedWidget::applyTheme(&still, Theme::make(ThemeID::paper));
    still.resize(cpu->size());
    still.setHeadline(cpu->shownHeadline());
    EXPECT_EQ(headlinePixels(&still), between);

    // A sample that lands mid-way counts on from the figure shown, not from the last target.
    system.advance(0.2, 1000);
    view.sampler().sampleNow();
    EXPECT_EQ(cpu->headline(), "20.0%");
    EXPECT_EQ(cpu->shownHeadline().chopped(1).toDouble(), quarter);
    cpu->count()->setCurrentTime(MetricCard::countMs);
    EXPECT_EQ(cpu->shownHeadline(), "20.0%");
    EXPECT_NE(headlinePixels(cpu), between);

    // Memory, network and storage count too; a fixed text stands at once.
    view.memoryCard()->count()->setCurrentTime(MetricCard::countMs);
    EXPECT_EQ(view.memoryCard()->shownHeadline(), "6.00\u00A0GB");
    view.sampler().applyVolumes(volumes(1));
    EXPECT_EQ(view.storageCard()->shownHeadline(), "52.4\u00A0GB free");
    view.sampler().applyVolumes({});
    EXPECT_EQ(view.storageCard()->shownHeadline(), QString::fromUtf8("\u2014"));
}

// The figures a count drew at each of its frames, from its start to its end.
std::vector<double> countFrames(MetricCard* card, QStringView unit) {
    std::vector<double> frames;
    for (int at = 0; at <= MetricCard::countMs; at += MetricCard::frameMs) {
        card->count()->setCurrentTime(at);
        frames.push_back(card->shownHeadline().chopped(unit.size()).toDouble());
    }
    return frames;
}

TEST_F(Monitor, TheListsThatFollowASampleLeaveItsCountsRunning) {
    AppState state(nullptr);
    FakeSystem system;
    MonitorView view(state, system.sources());
    MonitorSampler& sampler = view.sampler();
    sampler.applyVolumes(volumes(1));
    showAtTenPercent(view, system);
    ASSERT_EQ(view.cpuCard()->shownHeadline(), "10.0%");

    // A sample, then the process list it asked for and the volumes, each refreshing every card
    // with the figures they already count to.
    system.advance(0.8, 1000);
    sampler.sampleNow();
    view.cpuCard()->count()->pause();
    std::vector<VolumeInfo> fuller = volumes(1);
    fuller[0].available = 40 * GB;
    sampler.applyVolumes(fuller);
    MetricCard* storage = view.storageCard();
    ASSERT_EQ(storage->count()->state(), QAbstractAnimation::Running);
    storage->count()->pause();
    sampler.applyProcesses(sampler.processRequests() + 1, processes(5));
    sampler.applyVolumes(fuller);
    sampler.applyProcesses(sampler.processRequests() + 2, processes(6));

    for (MetricCard* card : {view.cpuCard(), storage}) {
        EXPECT_EQ(card->count()->state(), QAbstractAnimation::Paused) << card->title().toStdString();
        EXPECT_NE(card->shownHeadline().toStdString(), card->headline().toStdString());
    }
    // Every frame on the way draws a figure of its own, from the old one to the new.
    const std::vector<double> cpu = countFrames(view.cpuCard(), u"%");
    EXPECT_EQ(cpu.front(), 10.0);
    EXPECT_EQ(cpu.back(), view.cpuCard()->headline().chopped(1).toDouble());
    EXPECT_GT(cpu.back(), 80);
    EXPECT_TRUE(std::is_sorted(cpu.begin(), cpu.end()));
    EXPECT_EQ(std::set<double>(cpu.begin(), cpu.end()).size(), cpu.size());
    const std::vector<double> free = countFrames(storage, u" GB free");
    EXPECT_EQ(free.front(), 52.4);
    EXPECT_EQ(free.back(), 40.0);
    EXPECT_TRUE(std::is_sorted(free.rbegin(), free.rend()));
    EXPECT_GE(std::set<double>(free.begin(), free.end()).size(), free.size() - 1);
}

TEST_F(Monitor, TheKeyboardWalksTheBusiestProcessesRingedRoundTheRow) {
    AppState state(nullptr);
    FakeSystem system;
    auto* view = new MonitorView(state, system.sources());
    test::KeyboardHost host;
    host.hold(view, {1000, 860});
    view->sampler().applyProcesses(view->sampler().processRequests() + 1, processes(6));
    test::settle();
    auto* table = view->findChild<ProcessTable*>();
    ASSERT_NE(table, nullptr);

    // Down walks the rows; the ring goes round the row, outside the table's own edges.
    host.setFocus(Qt::OtherFocusReason);
    const QRectF third = ProcessTable::rowRect(2, table->width());
    const QPoint beside(int(third.left()) - 3, int(third.center().y()));
    const QColor bare = host.pixel(table, beside);
    ASSERT_TRUE(host.tabUntil(table));
    host.press(Qt::Key_Down);
    host.press(Qt::Key_Down);
    EXPECT_EQ(table->currentRow(), 2);
    EXPECT_TRUE(test::near(host.pixel(table, beside), host.ringOver(bare), 4));
    host.press(Qt::Key_End);
    EXPECT_EQ(table->currentRow(), 5);
    // A new list keeps the place while it has the row.
    view->sampler().applyProcesses(view->sampler().processRequests() + 2, processes(4));
    EXPECT_EQ(table->currentRow(), 3);
}

TEST_F(Monitor, OlderOrHungListsNeverReplaceNewerOnes) {
    AppState state(nullptr);
    FakeSystem system;
    MonitorView view(state, system.sources());
    MonitorSampler& sampler = view.sampler();
    sampler.applyProcesses(2, processes(3));
    sampler.applyProcesses(1, processes(30));
    EXPECT_EQ(sampler.figures().processes.size(), 3u);
    sampler.applyProcesses(3, std::nullopt);
    EXPECT_EQ(sampler.figures().processes.size(), 3u);
    sampler.applyProcesses(4, std::vector<ProcessSample>{});
    EXPECT_TRUE(sampler.figures().processes.empty());

    // the lister and the volume query run on workers and land on this thread
    auto sources = system.sources();
    sources.processes = [] { return std::optional(processes(5)); };
    sources.volumes = [] { return volumes(2); };
    MonitorView live(state, sources);
    live.show();
    QElapsedTimer waited;
    waited.start();
    while ((live.sampler().figures().processes.empty() || live.sampler().volumes().empty()) && waited.elapsed() < 20'000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(live.sampler().figures().processes.size(), 5u);
    EXPECT_EQ(live.storageCard()->headline(), "52.4\u00A0GB free");
}

// Each showing of the tab makes a new sampler of the system's figures. A mount that never answers
// (a FUSE server that stopped) is looked at by the first one, whose look stays blocked; the samplers
// after it share that look rather than leave one more thread blocked on the mount each.
TEST_F(Monitor, EverySamplerSharesOneLookAtAStuckMount) {
    test::TempFolder temp;
    const std::string dead = temp.folder("dead");
    const bool ran = test::runInPrivateMounts([&] {
        test::DeadFuse fuse(dead);
        if (!fuse.isMounted()) test::cannotRunHere(fuse.whyNotMounted());
        for (int showing = 0; showing < 3; ++showing) {
            const std::vector<VolumeInfo> listed = MonitorSampler::systemSources().volumes();
            EXPECT_TRUE(std::none_of(listed.begin(), listed.end(), [&](const VolumeInfo& v) { return v.path == dead; }));
        }
        EXPECT_EQ(fuse.requests(), 1) << "one call left waiting on the mount, whichever sampler asks";
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

TEST_F(Monitor, PageRendersEveryCard) {
    AppState state(nullptr);
    for (ThemeID id : {ThemeID::paper, ThemeID::slate}) {
        const Theme theme = Theme::make(id);
        FakeSystem system;
        MonitorView view(state, system.sources());
        ThemedWidget::applyTheme(&view, theme);
        view.show();
        for (int i = 0; i < 30; ++i) {
            system.advance(i < 25 ? 0.3 + 0.02 * (i % 5) : 0.95, 2'000 + 4'000 * (i % 7));
            view.sampler().sampleNow();
        }
        view.sampler().applyProcesses(1, processes(40));
        view.sampler().applyVolumes(volumes(6));
        const QImage image = render(view, {1000, 860}, theme.background);
        save(image, QStringLiteral("monitor-") + theme.name().toLower());
        // the page between and below the cards shows the backdrop, not a stock fill
        EXPECT_LE(distance(image.pixelColor(500, 850), theme.background), 2);
        EXPECT_LE(distance(image.pixelColor(3, 400), theme.background), 2);

        // 90 % busy or more turns the CPU headline and icon to danger
        MetricCard* cpu = view.cpuCard();
        EXPECT_EQ(cpu->headline(), "95.0%");
        EXPECT_TRUE(contains(image, mapped(cpu, &view, cpu->headerGeometry().headline), theme.danger, 30));
        EXPECT_TRUE(contains(image, mapped(cpu, &view, cpu->headerGeometry().symbol), theme.danger, 30));
        // memory: 6 of 16 GB used, pressure 3/16, so no warning
        EXPECT_EQ(view.memoryCard()->headline(), "6.00\u00A0GB");
        EXPECT_FALSE(contains(image, mapped(view.memoryCard(), &view, view.memoryCard()->headerGeometry().headline),
                              theme.warning, 10));
        // the cards of a row share its width
        EXPECT_NEAR(cpu->width(), view.memoryCard()->width(), 1);
        EXPECT_NEAR(view.networkCard()->width(), view.storageCard()->width(), 1);
        EXPECT_EQ(cpu->geometry().left(), 16);

        // four of six volumes; the second is 95 % full and fills in danger
        auto* storage = view.storageCard()->findChild<StorageList*>();
        ASSERT_TRUE(storage);
        EXPECT_EQ(storage->rows().size(), 4u);
        EXPECT_TRUE(contains(image, mapped(storage, &view, StorageList::barRect(1, storage->width())), theme.danger, 10));
        EXPECT_TRUE(contains(image, mapped(storage, &view, StorageList::barRect(0, storage->width())), theme.accentSecondary, 10));
        EXPECT_TRUE(contains(image, mapped(storage, &view, StorageList::barRect(0, storage->width())), theme.surfaceRaised, 10));

        // eighteen of forty processes, in list order; busy rows' shares in warning
        auto* table = view.processCard()->findChild<ProcessTable*>();
        auto* label = view.processCard()->findChild<SectionLabel*>();
        ASSERT_TRUE(table && label);
        EXPECT_EQ(table->rows().size(), 18u);
        EXPECT_EQ(table->rows()[1].pid, "101");
        EXPECT_EQ(label->trailing(), QStringLiteral("18 shown"));
        EXPECT_GE(table->height(), int(ProcessTable::rowRect(17, 100).bottom()));
        const QRectF firstRow = ProcessTable::rowRect(0, table->width());
        const QRectF cpuCell(table->width() - ProcessTable::memoryWidth - ProcessTable::cpuWidth, firstRow.top(),
                             ProcessTable::cpuWidth, firstRow.height());
        EXPECT_TRUE(contains(image, mapped(table, &view, cpuCell), theme.warning, 40));
        const QRectF lastRow = ProcessTable::rowRect(17, table->width());
        const QRectF lastCpu(cpuCell.left(), lastRow.top(), cpuCell.width(), lastRow.height());
        EXPECT_FALSE(contains(image, mapped(table, &view, lastCpu), theme.warning, 10));
    }
}

} // namespace
