#include "services/SystemMonitor.h"

#include <algorithm>
#include <cmath>

namespace tallymere {

namespace {
// The shortest interval a rate is measured over, so two quick readings cannot make a huge rate.
constexpr double minimumInterval = 0.2;

double finiteOrZero(double value) { return std::isfinite(value) ? value : 0.0; }
} // namespace

void SystemMonitor::begin(std::int64_t physicalMemory) { m_figures.memoryTotal = std::max<std::int64_t>(physicalMemory, 0); }

bool SystemMonitor::sample(const SystemReadings& readings, double now) {
    sampleCPU(readings.cpu);
    sampleMemory(readings.memory);
    sampleNetwork(readings.network, now);
    for (std::size_t i = 0; i < 3; ++i) m_figures.loadAverage[i] = finiteOrZero(readings.loadAverage[i]);
    ++m_tick;
    if (m_tick >= 2) m_seeded = true;
    return m_tick % 2 == 1;
}

void SystemMonitor::setProcesses(std::vector<ProcessSample> processes) { m_figures.processes = std::move(processes); }

void SystemMonitor::sampleCPU(const std::optional<CpuTicks>& ticks) {
    if (!ticks) return;
    const std::optional<CpuTicks> previous = m_previousCPU;
    m_previousCPU = ticks;
    if (!previous) return;
    // A counter that went backwards (a processor taken offline, a reset) gives no interval to
    // measure: the new counters are the next baseline.
    if (ticks->user < previous->user || ticks->system < previous->system || ticks->idle < previous->idle ||
        ticks->nice < previous->nice)
        return;
    const double user = double(ticks->user - previous->user);
    const double system = double(ticks->system - previous->system);
    const double idle = double(ticks->idle - previous->idle);
    const double nice = double(ticks->nice - previous->nice);
    const double total = system + user + idle + nice;
    if (!(total > 0)) return;
    m_figures.cpuUser = (nice + user) / total;
    m_figures.cpuSystem = system / total;
    m_figures.cpuUsage = std::min(m_figures.cpuUser + m_figures.cpuSystem, 1.0);
    push(m_figures.cpuHistory, m_figures.cpuUsage);
}

void SystemMonitor::sampleMemory(const std::optional<MemoryReading>& memory) {
    if (!memory) return;
    MonitorFigures& f = m_figures;
    f.memoryWired = std::max<std::int64_t>(memory->wired, 0);
    f.memoryCompressed = std::max<std::int64_t>(memory->compressed, 0);
    f.memoryCached = std::max<std::int64_t>(memory->cached, 0);
    f.memoryUsed = std::clamp<std::int64_t>(memory->used, 0, f.memoryTotal);
    const double total = double(f.memoryTotal);
    f.memoryPressure = f.memoryTotal >= 1 ? std::min((double(f.memoryCompressed) + double(f.memoryWired)) / total, 1.0) : 0.0;
    push(f.memoryHistory, f.memoryTotal >= 1 ? double(f.memoryUsed) / total : 0.0);
}

void SystemMonitor::sampleNetwork(const std::optional<NetworkReading>& network, double now) {
    if (!network) return;
    m_figures.netInTotal = network->in;
    const std::optional<NetworkMark> previous = m_previousNet;
    m_previousNet = NetworkMark{network->in, network->out, now};
    if (!previous) return;
    // A sum that went backwards (an interface went away, a counter was reset) is the new baseline.
    if (network->in < previous->in || network->out < previous->out) return;
    const double interval = std::max(now - previous->at, minimumInterval);
    const double in = double(network->in - previous->in) / interval;
    const double out = double(network->out - previous->out) / interval;
    m_figures.netIn = std::isfinite(in) && in > 0 ? in : 0.0;
    m_figures.netOut = std::isfinite(out) && out > 0 ? out : 0.0;
    push(m_figures.netHistoryIn, networkScale(m_figures.netIn));
    push(m_figures.netHistoryOut, networkScale(m_figures.netOut));
}

double SystemMonitor::networkScale(double bytesPerSecond) {
    if (!(bytesPerSecond > 1)) return 0; // also NaN
    return std::min(std::log10(bytesPerSecond) * 0.125, 1.0);
}

void SystemMonitor::push(std::vector<double>& history, double value) const {
    value = finiteOrZero(value);
    if (m_seeded) {
        if (!history.empty()) history.erase(history.begin());
        history.push_back(value);
    } else {
        std::fill(history.begin(), history.end(), value);
    }
}

} // namespace tallymere
