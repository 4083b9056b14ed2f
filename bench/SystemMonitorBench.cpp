// Sampler benchmark: the monitor's own work per one-second tick (reading /proc/stat, meminfo and
// net/dev, the load averages, and the arithmetic with its four histories), as CPU time of this
// thread over 600 ticks taken back to back; then the parse of a long process listing.
//
//   SystemMonitorBench [ticks]   default 600; the target is at most 1 ms of CPU per tick
#include "platform/ProcReader.h"
#include "services/ProcessList.h"
#include "services/SystemMonitor.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

using namespace tallymere;

namespace {

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    const int ticks = argc > 1 ? std::max(1, std::atoi(argv[1])) : 600;
    SystemMonitor monitor;
    monitor.begin(ProcReader::physicalMemory());
    double worst = 0;
    const double start = threadSeconds();
    for (int i = 0; i < ticks; ++i) {
        const double before = threadSeconds();
        const SystemReadings readings{.cpu = ProcReader::readCpu(),
                                      .memory = ProcReader::readMemory(),
                                      .network = ProcReader::readNetwork(),
                                      .loadAverage = ProcReader::loadAverage()};
        monitor.sample(readings, double(i));
        worst = std::max(worst, threadSeconds() - before);
    }
    const double perTick = (threadSeconds() - start) / ticks;
    std::printf("sampler tick (read /proc + histories)  %8.1f us CPU mean  %8.1f us worst  over %d ticks  (target <= 1000 us)\n",
                perTick * 1e6, worst * 1e6, ticks);

    std::string listing;
    for (int i = 0; i < 2000; ++i) listing += "  " + std::to_string(1000 + i) + "  3.5 123456 some process name\n";
    const int parses = 2000;
    const double parseStart = threadSeconds();
    std::size_t rows = 0;
    for (int i = 0; i < parses; ++i) rows += ProcessList::parse(listing).size();
    std::printf("process listing parse (40 of 2000 lines) %8.1f us CPU mean  (%zu rows)\n",
                (threadSeconds() - parseStart) / parses * 1e6, rows / parses);
    return perTick <= 0.001 ? 0 : 1;
}
