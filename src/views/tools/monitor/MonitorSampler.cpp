#include "views/tools/monitor/MonitorSampler.h"

#include "services/ProcessList.h"
#include "views/components/BackgroundTask.h"

#include <chrono>

namespace tallymere {

namespace {

constexpr int intervalMs = 1000;

} // namespace

MonitorSampler::Sources MonitorSampler::systemSources() {
    Sources sources;
    sources.readings = [] {
        return SystemReadings{.cpu = ProcReader::readCpu(),
                              .memory = ProcReader::readMemory(),
                              .network = ProcReader::readNetwork(),
                              .loadAverage = ProcReader::loadAverage()};
    };
    sources.physicalMemory = [] { return ProcReader::physicalMemory(); };
    sources.clock = [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    };
    sources.processes = [] { return ProcessList::sample(); };
    // Read on a pool worker through the gate: a mount that does not report its capacity within
    // its bound is left out, so the worker, and the application waiting for its pool at exit, is
    // never held by it; one that stopped holds one helper, however many showings of the tab ask.
    sources.volumes = [] { return DiskInfo::volumes(); };
    return sources;
}

MonitorSampler::MonitorSampler(QObject* parent) : MonitorSampler(systemSources(), parent) {}

MonitorSampler::MonitorSampler(Sources sources, QObject* parent) : QObject(parent), m_sources(std::move(sources)) {
    m_timer.setInterval(intervalMs);
    m_timer.setTimerType(Qt::CoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &MonitorSampler::sampleNow);
}

void MonitorSampler::start() {
    if (m_running) return;
    m_running = true;
    m_monitor.begin(m_sources.physicalMemory ? m_sources.physicalMemory() : 0);
    sampleNow();
    if (m_sources.useTimer) m_timer.start();
}

void MonitorSampler::stop() {
    m_running = false;
    m_timer.stop();
}

void MonitorSampler::sampleNow() {
    const SystemReadings readings = m_sources.readings ? m_sources.readings() : SystemReadings{};
    const double now = m_sources.clock ? m_sources.clock() : 0.0;
    if (m_monitor.sample(readings, now)) requestProcesses();
    requestVolumes();
    emit changed();
}

void MonitorSampler::requestProcesses() {
    if (!m_sources.processes) return;
    const std::uint64_t generation = ++m_processGeneration;
    BackgroundTask::run(this, m_sources.processes, [this, generation](std::optional<std::vector<ProcessSample>> list) {
        applyProcesses(generation, std::move(list));
    });
}

void MonitorSampler::requestVolumes() {
    if (!m_sources.volumes || m_volumesPending) return;
    m_volumesPending = true;
    BackgroundTask::run(this, m_sources.volumes, [this](std::vector<VolumeInfo> volumes) { applyVolumes(std::move(volumes)); });
}

void MonitorSampler::applyProcesses(std::uint64_t generation, std::optional<std::vector<ProcessSample>> processes) {
    // A lister that hung brings nothing; an answer that overtook this one already showed newer rows.
    if (!processes || generation <= m_appliedGeneration) return;
    m_appliedGeneration = generation;
    m_monitor.setProcesses(std::move(*processes));
    emit changed();
}

void MonitorSampler::applyVolumes(std::vector<VolumeInfo> volumes) {
    m_volumesPending = false;
    if (volumes == m_volumes) return;
    m_volumes = std::move(volumes);
    emit changed();
}

} // namespace tallymere
