// Monitor tab benchmark: the tab shown offscreen with the real system as its source for a while
// (one sample a second, the process lister every two seconds, the volume query every second), and
// the CPU time the program spent meanwhile, its worker threads included, as a share of one core;
// the lister's own processes are given apart.
//
//   MonitorViewBench [seconds]   default 20; the target is under 2 % of one core for the tab
#include "app/TallymereApp.h"
#include "state/AppState.h"
#include "style/Typography.h"
#include "views/tools/monitor/MonitorView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

using namespace tallymere;

namespace {

double seconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; }

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

int main(int argc, char** argv) {
    // The process runs under the settings the window runs under.
    TallymereApp::prepareProcess();
    const int duration = argc > 1 ? std::max(3, std::atoi(argv[1])) : 20;
    QApplication app(argc, argv);
    Typography::bootstrap();
    AppState state(nullptr);
    MonitorView view(state);
    view.resize(1200, 900);
    view.show();
    // The first second settles fonts and caches; measure from there.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1000) app.processEvents(QEventLoop::AllEvents, 50);

    const double selfStart = cpuSeconds(RUSAGE_SELF);
    const double childStart = cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(duration * 1000, &app, &QApplication::quit);
    app.exec();
    const double elapsed = double(wall.elapsed()) / 1000;
    const double self = cpuSeconds(RUSAGE_SELF) - selfStart;
    const double lister = cpuSeconds(RUSAGE_CHILDREN) - childStart;
    std::printf("monitor tab shown %.1f s: %.2f %% of one core in the program, %.2f %% in the process lister (%zu rows shown)\n",
                elapsed, self / elapsed * 100, lister / elapsed * 100, view.sampler().figures().processes.size());
    std::fflush(stdout);
    return 0;
}
