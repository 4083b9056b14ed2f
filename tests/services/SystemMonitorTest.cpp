#include "services/SystemMonitor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tallymere {
namespace {

constexpr std::int64_t GB = 1'000'000'000;

SystemReadings readings(CpuTicks cpu, NetworkReading net, MemoryReading memory = {.used = 4 * GB}) {
    return {.cpu = cpu, .memory = memory, .network = net, .loadAverage = {1.5, 1, 0.5}};
}

bool allEqual(const std::vector<double>& history, double value) {
    if (history.size() != MonitorFigures::historyLength) return false;
    for (double v : history)
        if (std::abs(v - value) > 1e-12) return false;
    return true;
}

TEST(SystemMonitorSeeding, FirstSampleMemoryOnlySecondSeedsThirdScrolls) {
    SystemMonitor monitor;
    monitor.begin(16 * GB);
    // first: memory fills its history, no rates yet, the process list is asked for
    EXPECT_TRUE(monitor.sample(readings({100, 50, 850, 0}, {1000, 500}), 10.0));
    const MonitorFigures& f = monitor.figures();
    EXPECT_EQ(f.cpuUsage, 0);
    EXPECT_EQ(f.netIn, 0);
    EXPECT_TRUE(allEqual(f.cpuHistory, 0));
    EXPECT_TRUE(allEqual(f.netHistoryIn, 0));
    EXPECT_TRUE(allEqual(f.memoryHistory, 0.25));
    EXPECT_EQ(f.loadAverage[0], 1.5);
    EXPECT_FALSE(monitor.isSeeded());

    // second, one second later: 30 user + 10 nice + 20 system of 200 ticks; 10 000 B/s in
    EXPECT_FALSE(monitor.sample(readings({130, 70, 990, 10}, {11000, 600}, {.used = 8 * GB}), 11.0));
    EXPECT_DOUBLE_EQ(f.cpuUser, 0.2);
    EXPECT_DOUBLE_EQ(f.cpuSystem, 0.1);
    EXPECT_DOUBLE_EQ(f.cpuUsage, 0.3);
    EXPECT_TRUE(allEqual(f.cpuHistory, 0.3));
    EXPECT_DOUBLE_EQ(f.netIn, 10000);
    EXPECT_TRUE(allEqual(f.netHistoryIn, 0.5));
    EXPECT_TRUE(allEqual(f.netHistoryOut, 0.25));
    EXPECT_TRUE(allEqual(f.memoryHistory, 0.5));
    EXPECT_TRUE(monitor.isSeeded());

    // third: one value scrolls in at the end
    EXPECT_TRUE(monitor.sample(readings({230, 70, 990, 10}, {11000, 600}), 12.0));
    EXPECT_DOUBLE_EQ(f.cpuHistory.back(), 1.0);
    EXPECT_DOUBLE_EQ(f.cpuHistory[88], 0.3);
    EXPECT_EQ(f.cpuHistory.size(), MonitorFigures::historyLength);
    EXPECT_EQ(f.netHistoryIn.back(), 0);
    EXPECT_DOUBLE_EQ(f.memoryHistory.back(), 0.25);
}

TEST(SystemMonitorCounters, StillOrBackwardCountersPushNothing) {
    SystemMonitor monitor;
    monitor.begin(16 * GB);
    monitor.sample(readings({100, 100, 100, 0}, {1000, 1000}), 0.0);
    monitor.sample(readings({200, 100, 200, 0}, {2000, 2000}), 1.0);
    const MonitorFigures& f = monitor.figures();
    const auto cpuBefore = f.cpuHistory;
    // identical counters: nothing changes, but they are the new baseline
    monitor.sample(readings({200, 100, 200, 0}, {2000, 2000}), 2.0);
    EXPECT_EQ(f.cpuHistory, cpuBefore);
    EXPECT_DOUBLE_EQ(f.cpuUsage, 0.5);
    const auto netBefore = f.netHistoryIn;
    // counters that went backwards (an interface went away): no rate and no sample this time...
    monitor.sample(readings({50, 100, 200, 0}, {500, 2500}), 3.0);
    EXPECT_EQ(f.cpuHistory, cpuBefore);
    EXPECT_EQ(f.netHistoryIn, netBefore);
    EXPECT_EQ(f.netInTotal, 500);
    // ...and the next interval is measured from them
    monitor.sample(readings({150, 100, 300, 0}, {1500, 2500}), 4.0);
    EXPECT_DOUBLE_EQ(f.cpuUsage, 0.5);
    EXPECT_DOUBLE_EQ(f.netIn, 1000);
    EXPECT_EQ(f.netOut, 0);
}

TEST(SystemMonitorRates, ShortIntervalsFailuresAndScale) {
    SystemMonitor monitor;
    monitor.sample(readings({0, 0, 0, 0}, {0, 0}), 5.0);
    // 0.05 s later counts as 0.2 s
    monitor.sample(readings({0, 0, 0, 0}, {1000, 0}), 5.05);
    EXPECT_DOUBLE_EQ(monitor.figures().netIn, 5000);
    // a failed reading keeps the last figures and its baseline; the next rate spans the gap
    monitor.sample({.cpu = std::nullopt, .memory = std::nullopt, .network = std::nullopt}, 6.0);
    EXPECT_DOUBLE_EQ(monitor.figures().netIn, 5000);
    monitor.sample(readings({0, 0, 0, 0}, {3000, 0}), 7.05);
    EXPECT_DOUBLE_EQ(monitor.figures().netIn, 1000);
    // a clock that is not a number gives no rate rather than a NaN
    monitor.sample(readings({0, 0, 0, 0}, {9000, 0}), std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(monitor.figures().netIn, 0);
    for (double v : monitor.figures().netHistoryIn) EXPECT_TRUE(std::isfinite(v));

    EXPECT_EQ(SystemMonitor::networkScale(1), 0);
    EXPECT_EQ(SystemMonitor::networkScale(0.5), 0);
    EXPECT_DOUBLE_EQ(SystemMonitor::networkScale(10000), 0.5);
    EXPECT_EQ(SystemMonitor::networkScale(1e8), 1);
    EXPECT_EQ(SystemMonitor::networkScale(1e12), 1);
    EXPECT_EQ(SystemMonitor::networkScale(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(SystemMonitorMemory, CapsAndPressure) {
    SystemMonitor never;
    // sampling never began: total 0 caps use at 0, and pressure and history stay 0
    never.sample(readings({0, 0, 0, 0}, {0, 0}, {.used = 5 * GB, .wired = GB, .compressed = GB}), 0);
    EXPECT_EQ(never.figures().memoryUsed, 0);
    EXPECT_EQ(never.figures().memoryPressure, 0);
    EXPECT_TRUE(allEqual(never.figures().memoryHistory, 0));

    SystemMonitor monitor;
    monitor.begin(8 * GB);
    monitor.sample(readings({0, 0, 0, 0}, {0, 0}, {.used = 9 * GB, .wired = 5 * GB, .compressed = 4 * GB, .cached = GB}), 0);
    const MonitorFigures& f = monitor.figures();
    EXPECT_EQ(f.memoryUsed, 8 * GB);
    EXPECT_EQ(f.memoryPressure, 1);
    EXPECT_EQ(f.memoryCached, GB);
    EXPECT_TRUE(allEqual(f.memoryHistory, 1));
}

TEST(SystemMonitorProcesses, RefreshOnOddTicksAcrossPauses) {
    SystemMonitor monitor;
    std::vector<bool> asks;
    for (int i = 0; i < 5; ++i) asks.push_back(monitor.sample({}, double(i)));
    EXPECT_EQ(asks, (std::vector<bool>{true, false, true, false, true}));
    EXPECT_EQ(monitor.tick(), 5);
    monitor.setProcesses({{.pid = 1, .name = "init"}});
    EXPECT_EQ(monitor.figures().processes.size(), 1u);
}

} // namespace
} // namespace tallymere
