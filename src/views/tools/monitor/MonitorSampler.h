#pragma once
#include "core/DiskInfo.h"
#include "services/SystemMonitor.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

namespace tallymere {

// The monitor tab's sampler: a SystemMonitor fed once a second while started. It reads the kernel
// counters on the GUI thread (a few small /proc files), and runs the process lister and the volume
// query on worker threads, whose results come back through queued calls: a result of a sampler that
// has gone is dropped, and a process list older than the one shown never replaces it. A hung
// lister is killed after its time-out; a volume query still running is not started again, and
// every sampler asks capacities through the process's one prober, so a stuck mount holds one thread
// however often the tab is shown, never the window.
class MonitorSampler : public QObject {
    Q_OBJECT
public:
    // Where the figures come from; the defaults are the running system. Tests replace them, and
    // may leave the timer unstarted and call sampleNow() by hand with their own clock.
    struct Sources {
        std::function<SystemReadings()> readings;
        std::function<std::int64_t()> physicalMemory;
        std::function<double()> clock; // seconds, steady
        // Run on a worker: none means "keep the list you have".
        std::function<std::optional<std::vector<ProcessSample>>()> processes;
        // Run on a worker.
        std::function<std::vector<VolumeInfo>()> volumes;
        bool useTimer = true;
    };
    static Sources systemSources();

    explicit MonitorSampler(QObject* parent = nullptr);
    MonitorSampler(Sources sources, QObject* parent = nullptr);

    // Begins sampling: memory size, one sample at once, then one a second. Nothing when running.
    void start();
    // Ends sampling; every figure stays, and start() continues from them.
    void stop();
    bool isRunning() const { return m_running; }

    // One sampling step (the timer's work).
    void sampleNow();

    const MonitorFigures& figures() const { return m_monitor.figures(); }
    const SystemMonitor& monitor() const { return m_monitor; }
    // The mounted volumes as last read; empty until the first read is back.
    const std::vector<VolumeInfo>& volumes() const { return m_volumes; }

    // Where worker results land (public for the tests that stand in for a worker): a list from
    // request `generation`, applied unless a later request's list is already shown.
    void applyProcesses(std::uint64_t generation, std::optional<std::vector<ProcessSample>> processes);
    void applyVolumes(std::vector<VolumeInfo> volumes);
    std::uint64_t processRequests() const { return m_processGeneration; }

signals:
    // After every sample and every list that arrived.
    void changed();

private:
    void requestProcesses();
    void requestVolumes();

    Sources m_sources;
    SystemMonitor m_monitor;
    QTimer m_timer;
    bool m_running = false;
    std::uint64_t m_processGeneration = 0;
    std::uint64_t m_appliedGeneration = 0;
    bool m_volumesPending = false;
    std::vector<VolumeInfo> m_volumes;
};

} // namespace tallymere
