// Times the graphical visualisations offscreen at the window's size: a change of focus up to the
// first finished paint, and a pointer move that changes the hovered item up to its repainted marks,
// on a 1,000,000-node tree and on a folder of 100,000 files. Then the focus itself, the largest
// mark of every canvas, is hovered and left again many times: hovering it first after a new
// picture, hovering it later, and leaving it for a small item are timed apart. Every canvas is
// made the way the window makes it, through makeVisualization(); adding a canvas to the run is one
// line in `canvases`.
//
// The pixel ratio is the platform's (QT_SCALE_FACTOR=2 for twice the pixels); the run prints the
// ratio of the image the canvas really painted into, so a figure is never taken at the wrong one.
#include "app/TallymereApp.h"
#include "core/FileTree.h"
#include "state/AppState.h"
#include "style/Typography.h"
#include "views/components/canvas/LayeredCanvas.h"
#include "views/components/NodeInteraction.h"
#include "views/components/ThemedWidget.h"
#include "views/shell/VisualizationFactory.h"

#include <QApplication>
#include <QBackingStore>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QVariantAnimation>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

using namespace tallymere;

namespace {

// The canvases measured, by the mode the window shows them for.
std::vector<VizMode> canvases = {
    VizMode::treemap,
    VizMode::sunburst,
    VizMode::icicle,
    VizMode::pack,
    VizMode::mindmap,
};

int rounds = 24;
int hoverMoves = 600;
// Times the focus is hovered and left again.
int largeRounds = 40;
// Whether the entry spring's frames are timed (else it is skipped to its end after each focus).
bool timeSpring = true;
constexpr int viewWidth = 1100, viewHeight = 690;

std::uint64_t nextRandom(std::uint64_t& seed) {
    seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
    return seed;
}

FileNode* file(NodeArena& arena, const std::string& name, std::uint64_t& seed) {
    FileNode* node = arena.makeNode(name, false, FileCategory::data);
    const std::uint64_t r = nextRandom(seed);
    std::int64_t size = 1;
    for (int m = int(r % 7); m > 0; --m) size *= 10;
    node->size = size * std::int64_t(1 + (r >> 8) % 9);
    node->allocated = (node->size + 4095) / 4096 * 4096;
    node->fileCount = 1;
    node->modified = 1'500'000'000 + double((r >> 16) % 200'000'000);
    return node;
}

// 100 folders of 100 folders of 99 files: 1,000,101 nodes.
std::shared_ptr<FileTree> millionTree() {
    auto tree = std::make_shared<FileTree>();
    NodeArena& arena = tree->arena;
    std::uint64_t seed = 88172645463325252ull;
    tree->root = arena.makeNode("/bench-1m", true, FileCategory::folder);
    std::vector<FileNode*> tops;
    for (int i = 0; i < 100; ++i) {
        FileNode* top = arena.makeNode("top" + std::to_string(i), true, FileCategory::folder);
        std::vector<FileNode*> subs;
        for (int j = 0; j < 100; ++j) {
            FileNode* sub = arena.makeNode("dir" + std::to_string(j), true, FileCategory::folder);
            std::vector<FileNode*> files;
            for (int k = 0; k < 99; ++k) files.push_back(file(arena, "file_" + std::to_string(k) + ".dat", seed));
            arena.setChildren(*sub, files);
            subs.push_back(sub);
        }
        arena.setChildren(*top, subs);
        tops.push_back(top);
    }
    arena.setChildren(*tree->root, tops);
    rollup(*tree->root);
    assignDepth(*tree->root, 0);
    return tree;
}

// Two folders of 100,000 files each.
std::shared_ptr<FileTree> wideTree() {
    auto tree = std::make_shared<FileTree>();
    NodeArena& arena = tree->arena;
    std::uint64_t seed = 0x2545F4914F6CDD1Dull;
    tree->root = arena.makeNode("/bench-wide", true, FileCategory::folder);
    std::vector<FileNode*> folders;
    for (const char* name : {"wide-a", "wide-b"}) {
        FileNode* folder = arena.makeNode(name, true, FileCategory::folder);
        std::vector<FileNode*> files;
        files.reserve(100'000);
        for (int i = 0; i < 100'000; ++i) files.push_back(file(arena, "file-" + std::to_string(i) + ".dat", seed));
        arena.setChildren(*folder, files);
        folders.push_back(folder);
    }
    arena.setChildren(*tree->root, folders);
    rollup(*tree->root);
    assignDepth(*tree->root, 0);
    return tree;
}

struct Figures {
    double median = 0, worst = 0;
};

Figures summarise(std::vector<double> ms) {
    if (ms.empty()) return {};
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

double now() { return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// Processor time of the whole process (every thread) in milliseconds: on a shared machine it
// tells the work a frame did apart from the time it waited for a processor.
double cpuNow() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Counts the paint events a widget receives, to tell a frame that painted from one that did not.
class PaintCounter : public QObject {
public:
    int paints = 0;
    // The pixels the last paint was asked to cover (logical).
    double lastArea = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            lastArea = 0;
            for (const QRect& r : static_cast<QPaintEvent*>(event)->region()) lastArea += double(r.width()) * r.height();
        }
        return false;
    }
};

// Delivers the posted events, among them the window's request to paint what the canvas asked to
// update (in the dirty region only), but no timer: an animation's next frame is not counted in;
// returns whether the canvas painted.
bool paintPending(PaintCounter& counter) {
    const int before = counter.paints;
    QCoreApplication::sendPostedEvents();
    return counter.paints != before;
}

// Moves the pointer to `at` on `canvas` and delivers the paint it asked for; returns the time taken.
double movePointer(QWidget* canvas, PaintCounter& counter, QPointF at) {
    const double start = now();
    QMouseEvent event(QEvent::MouseMove, at, canvas->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &event);
    paintPending(counter);
    return now() - start;
}

// Runs the event loop once, timers included, as the entry spring's frames need; returns whether the
// canvas painted.
bool runFrame(PaintCounter& counter) {
    const int before = counter.paints;
    QCoreApplication::processEvents();
    return counter.paints != before;
}

// Puts the tree on display as a finished scan does: the store takes focus and hover only within the
// tree on display.
void showOnDisplay(AppState& state, const AppState::NodePtr& tree) {
    state.setScanner([tree](std::string_view, const ScanOptions&, ScanProgress&) { return tree; });
    state.scan(ScanTarget::folder(tree->path()));
    while (state.isScanning() || state.isFiltering()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    state.setScanner({});
}

// Focus changes to the first paint. The mind map's entry spring then scales the new picture in,
// frame by frame: those frames are timed apart, the first (or, without the spring's frames, the
// one at its end) apart from the others.
struct FocusTimes {
    std::vector<double> ms, cpuMs, springMs, springFirstMs;
    int unpainted = 0;
};

FocusTimes timeFocusChanges(AppState& state, const std::shared_ptr<FileTree>& tree,
                            const std::vector<const FileNode*>& focuses, QWidget* view, QWidget* canvas,
                            PaintCounter& counter) {
    FocusTimes times;
    for (int round = 0; round < rounds; ++round) {
        const FileNode* target = focuses[std::size_t(round + 1) % focuses.size()];
        const double start = now(), startCpu = cpuNow();
        state.setFocus(share(tree, target));
        if (!paintPending(counter)) {
            ++times.unpainted;
            canvas->repaint();
        }
        times.ms.push_back(now() - start);
        times.cpuMs.push_back(cpuNow() - startCpu);
        // Runs the entry spring, if the canvas has one, to its end.
        auto* spring = view->findChild<QVariantAnimation*>(QStringLiteral("entryAnimation"));
        if (spring && !timeSpring) {
            const double frame = now();
            spring->setCurrentTime(spring->duration());
            if (paintPending(counter)) times.springFirstMs.push_back(now() - frame);
            continue;
        }
        // The first frame that shows the new picture apart: a canvas may leave drawing it to the
        // first frame that shows any of it.
        bool firstShown = true;
        if (spring)
            while (spring->state() == QAbstractAnimation::Running) {
                const double frame = now();
                if (!runFrame(counter)) continue;
                (firstShown ? times.springFirstMs : times.springMs).push_back(now() - frame);
                firstShown = false;
            }
    }
    return times;
}

// Pointer moves over the canvas, each followed by the paint it asked for. Only moves that change
// the hovered item count: a move within one item paints nothing.
struct HoverTimes {
    std::vector<double> changingMs, stillMs;
};

HoverTimes timePointerMoves(AppState& state, QWidget* canvas, PaintCounter& counter) {
    HoverTimes times;
    for (int move = 0; move < hoverMoves; ++move) {
        // Sweeps along lines across the canvas, so that many moves enter another node.
        const int lines = 5, perLine = hoverMoves / lines;
        const double y = canvas->height() * (1 + move / perLine % lines) / (lines + 1.0);
        const QPointF at(canvas->width() * double(move % perLine + 0.5) / perLine, y);
        const AppState::NodePtr before = state.hovered();
        const double ms = movePointer(canvas, counter, at);
        (state.hovered() != before ? times.changingMs : times.stillMs).push_back(ms);
    }
    return times;
}

// The focus itself hovered, the largest mark every canvas has (the treemap's tile of the focused
// folder, the sunburst's centre, the icicle's top bar, the pack's outer circle, the mind map's
// root), and left for a small item again, many times: first after a new picture (where the canvas
// can render one at will) and later.
struct FocusHoverTimes {
    std::vector<double> enterFirstMs, enterMs, leaveMs;
    double largest = 0; // the largest repaint of hovering the focus
};

FocusHoverTimes timeFocusHovered(AppState& state, LayeredCanvas* layered, PaintCounter& counter) {
    FocusHoverTimes times;
    const AppState::NodePtr focus = state.focus();
    const AppState::NodePtr small = state.hovered() != focus ? state.hovered() : AppState::NodePtr();
    for (int round = 0; focus && round < largeRounds; ++round) {
        state.setHovered(small);
        paintPending(counter);
        // A new picture: the layered canvases are told so; the others draw one when the labels are
        // switched off and on again.
        const bool fresh = round % 2 == 0;
        if (fresh) {
            if (layered) layered->invalidateBase();
            else {
                state.setShowLabels(!state.showLabels());
                state.setShowLabels(!state.showLabels());
            }
            paintPending(counter);
        }
        double start = now();
        state.setHovered(focus);
        paintPending(counter);
        (fresh ? times.enterFirstMs : times.enterMs).push_back(now() - start);
        times.largest = std::max(times.largest, counter.lastArea);
        start = now();
        state.setHovered(small);
        paintPending(counter);
        times.leaveMs.push_back(now() - start);
    }
    return times;
}

void printFigures(VizMode mode, const char* treeName, double imageRatio, const FocusTimes& focus,
                  const HoverTimes& hover, const FocusHoverTimes& focusHover, double canvasArea) {
    const Figures f = summarise(focus.ms), fc = summarise(focus.cpuMs), h = summarise(hover.changingMs),
                  s = summarise(hover.stillMs);
    std::printf("%-9s %-5s ratio %.0f | focus->paint median %6.2f ms worst %6.2f ms (processor %6.2f / %6.2f ms)",
                std::string(VizModes::rawValue(mode)).c_str(), treeName, imageRatio, f.median, f.worst, fc.median,
                fc.worst);
    if (focus.unpainted) std::printf(" (%d unpainted)", focus.unpainted);
    if (!focus.springFirstMs.empty()) {
        const Figures first = summarise(focus.springFirstMs), sp = summarise(focus.springMs);
        std::printf(" | first spring frame median %5.2f ms worst %5.2f ms, later ones median %5.2f ms worst %5.2f ms",
                    first.median, first.worst, sp.median, sp.worst);
    }
    std::printf(" | hover, %zu changing moves: median %5.2f ms worst %5.2f ms (other moves %5.2f ms)",
                hover.changingMs.size(), h.median, h.worst, s.median);
    if (!focusHover.enterMs.empty()) {
        const Figures first = summarise(focusHover.enterFirstMs), later = summarise(focusHover.enterMs),
                      leave = summarise(focusHover.leaveMs);
        std::printf(" | the focus hovered (%.0f%% of the canvas repainted):", 100 * focusHover.largest / canvasArea);
        if (!focusHover.enterFirstMs.empty())
            std::printf(" first median %5.2f ms worst %5.2f ms,", first.median, first.worst);
        std::printf(" later median %5.2f ms worst %5.2f ms, left median %5.2f ms worst %5.2f ms", later.median,
                    later.worst, leave.median, leave.worst);
    }
}

void measure(const char* treeName, const std::shared_ptr<FileTree>& tree, const std::vector<const FileNode*>& focuses) {
    for (VizMode mode : canvases) {
        AppState state(std::make_shared<MemoryPreferenceStore>());
        state.setViz(mode);
        QWidget window;
        ThemedWidget::applyTheme(&window, Theme::make(state.themeID()));
        window.resize(viewWidth, viewHeight);
        showOnDisplay(state, share(tree, tree->root));
        state.setFocus(share(tree, focuses.front()));
        QWidget* view = makeVisualization(mode, state, &window);
        view->setGeometry(window.rect());
        window.show();
        QCoreApplication::processEvents();
        view->repaint();

        auto* interaction = view->findChild<NodeInteraction*>();
        auto* canvas = interaction ? qobject_cast<QWidget*>(interaction->parent()) : view;
        PaintCounter counter;
        canvas->installEventFilter(&counter);
        QBackingStore* store = canvas->backingStore();
        const double imageRatio = store && store->paintDevice() ? store->paintDevice()->devicePixelRatio() : 0;

        const FocusTimes focus = timeFocusChanges(state, tree, focuses, view, canvas, counter);
        auto* layered = qobject_cast<LayeredCanvas*>(canvas);
        const int layoutsBefore = layered ? layered->layoutCount() : -1;
        const int rendersBefore = layered ? layered->baseRenderCount() : -1;
        const HoverTimes hover = timePointerMoves(state, canvas, counter);
        const FocusHoverTimes focusHover = timeFocusHovered(state, layered, counter);
        printFigures(mode, treeName, imageRatio, focus, hover, focusHover, double(canvas->width()) * canvas->height());
        if (layered)
            std::printf(" | during hover %d layouts, %d renders", layered->layoutCount() - layoutsBefore,
                        layered->baseRenderCount() - rendersBefore);
        std::printf("\n");
        std::fflush(stdout);
    }
}

} // namespace

int main(int argc, char** argv) {
    // The process runs under the settings the window runs under.
    TallymereApp::prepareProcess();
    // A mode given by its raw value ("treemap") measures that canvas alone; a second argument, "1m"
    // or "wide", that tree alone ("all" both); a third, "focus", the focus changes alone (no spring
    // frames and no pointer moves), for a profiler to see only them; a fourth, how many (24), so that
    // two counts of instructions taken with different numbers tell the cost of one.
    if (argc > 1)
        if (auto only = VizModes::fromRaw(argv[1])) canvases = {*only};
    const std::string onlyTree = argc > 2 && std::string(argv[2]) != "all" ? argv[2] : "";
    if (argc > 3 && std::string(argv[3]) == "focus") hoverMoves = 0, largeRounds = 0, timeSpring = false;
    if (argc > 4) rounds = std::max(0, std::atoi(argv[4]));
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    Typography::bootstrap();

    std::printf("canvases at %dx%d, %d focus changes and %d pointer moves each\n", viewWidth, viewHeight, rounds,
                hoverMoves);
    if (onlyTree.empty() || onlyTree == "1m") {
        const std::shared_ptr<FileTree> million = millionTree();
        std::vector<const FileNode*> millionFocuses{million->root};
        for (int i = 0; i < 6; ++i) millionFocuses.push_back(million->root->children()[std::size_t(i)]);
        measure("1m", million, millionFocuses);
    }
    if (onlyTree.empty() || onlyTree == "wide") {
        const std::shared_ptr<FileTree> wide = wideTree();
        measure("wide", wide, {wide->root->children()[0], wide->root->children()[1]});
    }
    return 0;
}
