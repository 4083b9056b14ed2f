// One duplicate group of 5,000 extra copies staged and moved to the Trash as the window does it:
// 5,001 identical files of 4 KiB in one folder, scanned by the store and searched as the
// Duplicates tab searches, then "Stage all extras" (AppState::stageExtras) and the confirmed "Move
// to Trash" (AppState::emptyQueue), the main window built offscreen as the program builds it, its
// cleanup bar following the queue. The files lie in a fresh folder under /tmp/tallymere-bench-copies
// and the Trash is a data folder beside them, so nothing of the user's home is touched; all of it
// is removed at the end.
//
// For each step: the time until it is done, the longest the window's thread went without turning
// its event loop (a 1 ms timer's longest gap, the whole step when it never returns to the loop),
// and the memory it adds (resident size after less before) and its peak above the size before.
//
//   CopyGroupBench [copies]     (default 5000)
#include "ProcessMemory.h"
#include "app/MainWindow.h"
#include "app/MenuCommands.h"
#include "app/TallymereApp.h"
#include "services/DuplicateFinder.h"
#include "state/AppState.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <string>

using namespace tallymere;

namespace {

using tallymere::bench::resetPeak;
using tallymere::bench::spin;
using tallymere::bench::statusMegabytes;

bool writeCopies(const std::string& folder, int copies) {
    const std::string content(4096, 'c');
    for (int i = 0; i < copies; ++i) {
        const std::string path = folder + "/copy-" + std::to_string(i);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        const bool written = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
        ::close(fd);
        if (!written) return false;
    }
    return true;
}

struct Step {
    double ms = 0, heldMs = 0, addedMb = 0, peakMb = 0;
};

// Runs `start`, then the event loop until `done` holds, timing both and watching the loop's gaps.
Step measure(const std::function<void()>& start, const std::function<bool()>& done) {
    spin(100);
    Step step;
    const double before = statusMegabytes("VmRSS:");
    resetPeak();
    QElapsedTimer clock, sinceTick;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        step.heldMs = std::max(step.heldMs, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    clock.start();
    sinceTick.start();
    tick.start();
    start();
    while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    step.ms = clock.nsecsElapsed() / 1e6;
    step.heldMs = std::max(step.heldMs, sinceTick.nsecsElapsed() / 1e6);
    tick.stop();
    step.peakMb = statusMegabytes("VmHWM:") - before;
    spin(100);
    step.addedMb = statusMegabytes("VmRSS:") - before;
    return step;
}

void print(const char* what, const Step& step) {
    std::printf("%-22s %9.1f ms, window held at most %8.1f ms, memory added %6.1f MB (peak %6.1f MB above before)\n",
                what, step.ms, step.heldMs, step.addedMb, step.peakMb);
}

} // namespace

int main(int argc, char** argv) {
    TallymereApp::prepareProcess();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int extras = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5000;
    const std::string base = "/tmp/tallymere-bench-copies";
    std::filesystem::create_directories(base);
    std::string run = base + "/run-XXXXXX";
    if (!::mkdtemp(run.data())) return 1;
    const std::string folder = run + "/copies";
    std::filesystem::create_directories(folder);
    std::filesystem::create_directories(run + "/home");
    // The Trash the items go to: a data folder of this run, on the files' own device.
    ::setenv("HOME", (run + "/home").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (run + "/data").c_str(), 1);
    if (!writeCopies(folder, extras + 1)) {
        std::fprintf(stderr, "cannot write the copies under %s\n", folder.c_str());
        return 1;
    }

    QApplication application(argc, argv);
    AppState state(std::make_shared<MemoryPreferenceStore>());
    MenuCommands::Services services;
    services.showSettings = [] {};
    services.quit = [] {};
    MainWindow window(state, new MenuCommands(state, std::move(services)));
    window.show();
    state.scan(ScanTarget::folder(folder));
    while (state.isScanning()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    DuplicateFinder::Progress progress;
    const std::vector<DuplicateFinder::Group> groups = DuplicateFinder::find(state.root(), 1, progress);
    if (groups.size() != 1 || groups.front().files.size() != std::size_t(extras) + 1) {
        std::fprintf(stderr, "the search did not find one group of %d copies\n", extras + 1);
        return 1;
    }
    std::printf("one group of %d copies of 4 KiB, %d of them extras; resident size %.1f MB\n", extras + 1, extras,
                statusMegabytes("VmRSS:"));

    print("stage all extras", measure([&] { state.stageExtras(groups.front()); }, [] { return true; }));
    if (state.queue().size() != std::size_t(extras)) std::printf("  staged %zu, not %d\n", state.queue().size(), extras);
    bool reported = false;
    int steps = 0;
    QObject::connect(&state, &AppState::bannerChanged, [&] { reported = true; });
    QObject::connect(&state, &AppState::queueChanged, [&] { ++steps; });
    print("move to Trash", measure([&] { state.emptyQueue(); }, [&] { return reported; }));
    std::printf("  the queue changed %d times while the items moved\n", steps);
    if (state.banner()) std::printf("  banner: %s\n", qPrintable(state.banner()->title));
    std::printf("load average: ");
    std::fflush(stdout);
    [[maybe_unused]] const int shown = std::system("cat /proc/loadavg");

    std::error_code ignored;
    std::filesystem::remove_all(run, ignored);
    return 0;
}
