#pragma once
#include "platform/ProcReader.h"
#include "services/ProcessSample.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace tallymere {

// What the monitor shows at one moment. Every history holds exactly historyLength finite values,
// oldest first.
struct MonitorFigures {
    static constexpr std::size_t historyLength = 90;

    double cpuUsage = 0;  // busy share of all CPU time over the last interval, 0...1
    double cpuUser = 0;   // user and nice share
    double cpuSystem = 0; // system share
    std::vector<double> cpuHistory = std::vector<double>(historyLength, 0.0);
    std::int64_t memoryUsed = 0; // bytes in use, at most memoryTotal
    std::int64_t memoryTotal = 0;
    std::int64_t memoryWired = 0;
    std::int64_t memoryCompressed = 0;
    std::int64_t memoryCached = 0;
    double memoryPressure = 0; // (compressed + wired) / total, 0...1
    std::vector<double> memoryHistory = std::vector<double>(historyLength, 0.0);
    double netIn = 0;  // bytes per second received over the last interval
    double netOut = 0; // bytes per second sent
    std::int64_t netInTotal = 0;
    std::vector<double> netHistoryIn = std::vector<double>(historyLength, 0.0);
    std::vector<double> netHistoryOut = std::vector<double>(historyLength, 0.0);
    std::vector<ProcessSample> processes; // busiest first, as the lister ordered them
    std::array<double, 3> loadAverage{0, 0, 0};

    friend bool operator==(const MonitorFigures&, const MonitorFigures&) = default;
};

// The counters read at one tick; a reading that failed is none.
struct SystemReadings {
    std::optional<CpuTicks> cpu;
    std::optional<MemoryReading> memory;
    std::optional<NetworkReading> network;
    std::array<double, 3> loadAverage{0, 0, 0};
};

// The monitor's arithmetic: turns successive readings into rates, shares and histories. It has no
// clock and no timer: the owner reads the counters, passes them with the time they were read, and
// runs the process lister when sample() asks for it. Not thread-safe; one owner thread.
class SystemMonitor {
public:
    // Where start-up begins: memoryTotal is the physical memory.
    void begin(std::int64_t physicalMemory);

    // One tick: CPU, memory, network and load from `readings`, read at `now` (seconds on a steady
    // clock). Returns true when this tick should refresh the process list: the first tick and
    // every second one after it.
    bool sample(const SystemReadings& readings, double now);

    // A freshly listed set of processes.
    void setProcesses(std::vector<ProcessSample> processes);

    const MonitorFigures& figures() const { return m_figures; }
    int tick() const { return m_tick; }
    bool isSeeded() const { return m_seeded; }

    // The network history scale: 1 byte/s or less is 0, each factor of ten adds 0.125, 10^8 is 1.
    static double networkScale(double bytesPerSecond);

private:
    void sampleCPU(const std::optional<CpuTicks>& ticks);
    void sampleMemory(const std::optional<MemoryReading>& memory);
    void sampleNetwork(const std::optional<NetworkReading>& network, double now);
    // Until the histories are seeded, a value fills the whole history; after that it scrolls in.
    void push(std::vector<double>& history, double value) const;

    struct NetworkMark {
        std::int64_t in = 0, out = 0;
        double at = 0;
    };

    MonitorFigures m_figures;
    std::optional<CpuTicks> m_previousCPU;
    std::optional<NetworkMark> m_previousNet;
    int m_tick = 0;
    bool m_seeded = false;
};

} // namespace tallymere
