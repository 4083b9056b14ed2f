// Times the frame a user waits for in the whole window, offscreen: from the store's change of focus
// through every pane that follows it (inspector, sidebar with its File Types, page header,
// breadcrumb) to the finished paint of the window, canvas included, on an 800,000-entry tree. Also
// the switch of the visualisation to its painted page. Each is measured for every view at the
// window's default size (1440x900) and its minimum (1060x660), the inspector shown, at pixel ratio
// 1 and 2.
//
//   FrameBench [rounds]              both ratios, each in a process of its own
//   FrameBench --ratio R [rounds]    one ratio
//   FrameBench --ratio R rounds VIEW...   those views only
//
// Each view's first showing in the window is timed once as well. With FRAME_EACH set, every
// measured focus frame is printed with the folder it focused, so that the worst one can be told
// apart and profiled.
//
// The paint is that of the window's own repaint manager: the regions the panes asked for, not a
// forced repaint of everything. Where the time went is printed per pane (the store's signal, the
// layout passes, each pane's paint).
#include "ProcessMemory.h"
#include "MillionTree.h"
#include "Stats.h"

#include "app/TallymereApp.h"
#include "state/AppState.h"
#include "style/Typography.h"
#include "views/shell/RootView.h"
#include "views/shell/WorkspaceView.h"
#include "views/shell/inspector/InspectorView.h"
#include "views/shell/sidebar/SidebarView.h"
#include "views/shell/topbar/TopBar.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QScreen>
#include <QTimer>
#include <QPaintEvent>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using namespace tallymere;
using namespace tallymere::bench;

namespace {

constexpr int frameTops = 80; // 80 x 100 folders of 99 files: 800,081 entries

// The disk tree's shape and names, 80 top folders of it, with sizes on disk as well.
std::shared_ptr<FileTree> frameTree() { return buildTreeInMemory("/bench-800k", frameTops, true); }

// The pane a widget belongs to, for the breakdown.
enum Pane { topBar, sidebar, header, canvas, inspector, other, paneCount };
const char* const paneNames[paneCount] = {"top bar", "sidebar", "header+rail", "view", "inspector", "window"};

// Times every paint event by the pane it belongs to.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;
    RootView* root = nullptr;
    std::array<double, paneCount> paintMs{};
    double layoutMs = 0;
    bool trace = false;

    bool notify(QObject* receiver, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::Paint && type != QEvent::LayoutRequest) return QApplication::notify(receiver, event);
        QElapsedTimer clock;
        clock.start();
        const bool result = QApplication::notify(receiver, event);
        const double ms = clock.nsecsElapsed() / 1e6;
        if (type == QEvent::LayoutRequest) layoutMs += ms;
        else {
            paintMs[paneOf(static_cast<QWidget*>(receiver))] += ms;
            if (trace) {
                auto* pe = static_cast<QPaintEvent*>(event);
                std::printf("    paint %-28s %-30s %4dx%-4d %.2f ms\n", receiver->metaObject()->className(),
                            qPrintable(receiver->objectName()), pe->rect().width(), pe->rect().height(), ms);
                if (pe->region().rectCount() > 1 || receiver == root)
                    for (const QRect& r : pe->region()) std::printf("        %d,%d %dx%d\n", r.x(), r.y(), r.width(), r.height());
            }
        }
        return result;
    }

private:
    Pane paneOf(const QWidget* widget) const {
        if (!root) return other;
        for (const QWidget* w = widget; w; w = w->parentWidget()) {
            if (w == root->topBar()) return topBar;
            if (w == root->sidebar()) return sidebar;
            if (w == root->inspector()) return inspector;
            if (root->workspace() && w == root->workspace()->visualizationHost()) return canvas;
            if (w == root->workspace()) return header;
        }
        return other;
    }
};

TimedApplication* app() { return static_cast<TimedApplication*>(QCoreApplication::instance()); }

// Lets every posted change land (layouts, then the repaint manager's update request), which paints
// the dirty regions of the window at once.
void settle() {
    for (int i = 0; i < 3; ++i) QCoreApplication::sendPostedEvents();
}

using tallymere::bench::spin;

// The window thread's own processor time: what remains of a frame's wall time is waiting, on
// other threads (the thread pool that fills large shapes) or for a processor on a busy machine.
double threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

struct Sample {
    double total = 0, cpu = 0, signal = 0;
    std::array<double, paneCount> paint{};
    double layout = 0;
};

Sample timeFrame(const std::function<void()>& change) {
    TimedApplication* a = app();
    a->paintMs.fill(0);
    a->layoutMs = 0;
    QElapsedTimer clock;
    clock.start();
    const double cpuStart = threadCpuMs();
    change();
    Sample sample;
    sample.signal = clock.nsecsElapsed() / 1e6;
    settle();
    sample.total = clock.nsecsElapsed() / 1e6;
    sample.cpu = threadCpuMs() - cpuStart;
    sample.paint = a->paintMs;
    sample.layout = a->layoutMs;
    // Deleted widgets and other deferred work land between frames, as in the running window.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return sample;
}

// Apart, so that a profiler can be told to count one kind of frame only.
[[gnu::noinline]] Sample focusFrame(AppState& state, const AppState::NodePtr& focus) {
    return timeFrame([&] { state.setFocus(focus); });
}
[[gnu::noinline]] Sample switchFrame(AppState& state, VizMode mode) {
    return timeFrame([&] { state.setViz(mode); });
}

struct Figures {
    double median = 0, worst = 0;
};

Figures figuresOf(const std::vector<Sample>& samples, double Sample::*field) {
    std::vector<double> values;
    for (const Sample& s : samples) values.push_back(s.*field);
    return {median(values), values.empty() ? 0 : *std::max_element(values.begin(), values.end())};
}

double medianPaint(const std::vector<Sample>& samples, int pane) {
    std::vector<double> values;
    for (const Sample& s : samples) values.push_back(s.paint[std::size_t(pane)]);
    return median(values);
}

int runOneRatio(int argc, char** argv, int rounds, const std::vector<VizMode>& only) {
    TimedApplication application(argc, argv);
    Typography::bootstrap();
    const double ratio = application.primaryScreen()->devicePixelRatio();

    const std::shared_ptr<FileTree> tree = frameTree();
    const AppState::NodePtr root = shareRoot(tree);
    std::printf("pixel ratio %.0f, tree of %lld entries, %d rounds per figure\n", ratio,
                static_cast<long long>(nodeCount(*root)), rounds);

    // The folders a user moves between: the top, a top folder, a folder inside it, back up.
    std::vector<AppState::NodePtr> focuses;
    for (int i = 0; i < 8; ++i) {
        const FileNode* top = tree->root->children()[std::size_t(i * 9 % frameTops)];
        focuses.push_back(share(tree, top));
        focuses.push_back(share(tree, top->children()[std::size_t(i * 13 % subFolders)]));
        if (i % 2 == 1) focuses.push_back(root);
    }

    for (QSize size : {QSize(1440, 900), QSize(1060, 660)}) {
        AppState state(std::make_shared<MemoryPreferenceStore>());
        state.setScanner([&](std::string_view, const ScanOptions&, ScanProgress&) { return root; });
        RootView view(state);
        application.root = &view;
        view.resize(size);
        view.show();
        state.scan(ScanTarget::folder("/bench-800k"));
        while (state.isScanning()) spin(2);
        view.finishAnimations();
        settle();
        std::printf("\nwindow %dx%d, inspector %s\n", view.width(), view.height(),
                    view.inspector()->isVisible() ? "shown" : "hidden");

        std::printf("  %-9s %22s %22s | median ms: %s", "view", "focus -> painted window", "view switch",
                    "window thread's cpu (focus, switch), signal (focus, switch)");
        for (int p = 0; p < paneCount; ++p) std::printf(", %s", paneNames[p]);
        std::printf(", layout\n");
        for (VizMode mode : VizModes::all) {
            if (!only.empty() && std::find(only.begin(), only.end(), mode) == only.end()) continue;
            // The view's first showing in this window: whatever it makes once (a walk, a packing)
            // and did not find made ahead. One sample, so only a rough figure.
            const Sample first = switchFrame(state, mode);
            state.setFocus(root);
            view.finishAnimations();
            settle();
            // One unmeasured round: fonts, glyphs and pictures met for the first time.
            for (const auto& focus : focuses) timeFrame([&] { state.setFocus(focus); });
            if (std::getenv("FRAME_TRACE")) {
                app()->trace = true;
                std::printf("  trace %s\n", std::string(VizModes::rawValue(mode)).c_str());
                timeFrame([&] { state.setFocus(focuses[1]); });
                std::printf("  second\n");
                timeFrame([&] { state.setFocus(focuses[2]); });
                app()->trace = false;
            }
            std::vector<Sample> frames;
            for (int r = 0; r < rounds; ++r) {
                const AppState::NodePtr& focus = focuses[std::size_t(r) % focuses.size()];
                frames.push_back(focusFrame(state, focus));
                if (std::getenv("FRAME_EACH"))
                    std::printf("    %-12s %6.1f ms (cpu %5.1f, view %5.1f)\n", std::string(focus->name()).c_str(),
                                frames.back().total, frames.back().cpu, frames.back().paint[canvas]);
            }
            state.setFocus(root);
            settle();
            // The switch to this view from the one before it in the rail, at the top of the tree.
            const VizMode previous = VizModes::all[(std::size_t(mode) + VizModes::all.size() - 1) % VizModes::all.size()];
            std::vector<Sample> switches;
            for (int r = 0; r < std::max(3, rounds / 3); ++r) {
                timeFrame([&] { state.setViz(previous); });
                switches.push_back(switchFrame(state, mode));
            }
            const Figures f = figuresOf(frames, &Sample::total), s = figuresOf(switches, &Sample::total);
            std::printf("  %-9s median %5.1f worst %5.1f  median %5.1f worst %5.1f | %5.1f %5.1f, %5.1f %5.1f",
                        std::string(VizModes::rawValue(mode)).c_str(), f.median, f.worst, s.median, s.worst,
                        figuresOf(frames, &Sample::cpu).median, figuresOf(switches, &Sample::cpu).median,
                        figuresOf(frames, &Sample::signal).median, figuresOf(switches, &Sample::signal).median);
            for (int p = 0; p < paneCount; ++p) std::printf(", %5.1f", medianPaint(frames, p));
            std::printf(", %5.1f\n", figuresOf(frames, &Sample::layout).median);
            std::printf("            first showing %5.1f ms, window thread's cpu %5.1f\n", first.total, first.cpu);
            std::fflush(stdout);
        }
        application.root = nullptr;
    }
    std::fflush(stdout);
    std::_Exit(0);
}

} // namespace

int main(int argc, char** argv) {
    // The process runs under the settings the window runs under.
    TallymereApp::prepareProcess();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (argc > 2 && std::strcmp(argv[1], "--ratio") == 0) {
        ::setenv("QT_SCALE_FACTOR", argv[2], 1);
        std::vector<VizMode> only;
        for (int i = 4; i < argc; ++i)
            if (auto mode = VizModes::fromRaw(argv[i])) only.push_back(*mode);
        return runOneRatio(argc, argv, argc > 3 ? std::max(1, std::atoi(argv[3])) : 24, only);
    }
    // Each ratio in a process of its own: the scale factor is read once, as the application starts.
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;
    const std::string rounds = argc > 1 ? argv[1] : "24";
    int status = 0;
    for (const char* ratio : {"1", "2"}) {
        const std::string command = std::string("'") + self + "' --ratio " + ratio + " " + rounds;
        std::fflush(stdout);
        status |= std::system(command.c_str());
    }
    return status == 0 ? 0 : 1;
}
