// Times the graphical visualisations offscreen at the window's size: a change of focus up to the
// first finished paint, and a pointer move up to the repainted marks, on a 1,000,000-node tree and
// on a folder of 100,000 files. Every canvas is made the way the window makes it, through
// makeVisualization(); adding a canvas to the run is one line in `canvases`.
#include "core/FileTree.h"
#include "state/AppState.h"
#include "style/Typography.h"
#include "views/components/LayeredCanvas.h"
#include "views/components/NodeInteraction.h"
#include "views/components/ThemedWidget.h"
#include "views/shell/VisualizationFactory.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

constexpr int rounds = 24;
constexpr int hoverMoves = 400;
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
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

double now() { return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

void measure(const char* treeName, const std::shared_ptr<FileTree>& tree, const std::vector<const FileNode*>& focuses) {
    for (VizMode mode : canvases) {
        AppState state(std::make_shared<MemoryPreferenceStore>());
        state.setViz(mode);
        QWidget window;
        ThemedWidget::applyTheme(&window, Theme::make(state.themeID()));
        window.resize(viewWidth, viewHeight);
        state.setFocus(share(tree, focuses.front()));
        QWidget* view = makeVisualization(mode, state, &window);
        view->setGeometry(window.rect());
        window.show();
        QCoreApplication::processEvents();
        view->repaint();

        // Focus change to the first finished paint.
        std::vector<double> focusMs;
        for (int round = 0; round < rounds; ++round) {
            const FileNode* target = focuses[std::size_t(round + 1) % focuses.size()];
            const double start = now();
            state.setFocus(share(tree, target));
            QCoreApplication::processEvents();
            view->repaint();
            focusMs.push_back(now() - start);
        }

        // Pointer moves over the canvas, each followed by its repaint.
        auto* interaction = view->findChild<NodeInteraction*>();
        auto* canvas = interaction ? qobject_cast<QWidget*>(interaction->parent()) : view;
        auto* layered = qobject_cast<LayeredCanvas*>(canvas);
        const int layoutsBefore = layered ? layered->layoutCount() : -1;
        const int rendersBefore = layered ? layered->baseRenderCount() : -1;
        // Hover measured over the last focus.
        std::vector<double> hoverMs;
        int hoverChanges = 0;
        for (int move = 0; move < hoverMoves; ++move) {
            // Sweeps along three lines across the canvas, through its middle, so that most moves
            // enter another node.
            const int lines = 3, perLine = hoverMoves / lines;
            const double y = canvas->height() * (1 + move / perLine % lines) / (lines + 1.0);
            const QPointF at(canvas->width() * double(move % perLine + 0.5) / perLine, y);
            const AppState::NodePtr before = state.hovered();
            const double start = now();
            QMouseEvent event(QEvent::MouseMove, at, canvas->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(canvas, &event);
            // A layered canvas repaints only where its marks were and are; others all of themselves.
            if (layered) canvas->repaint(layered->pendingMarksRegion());
            else canvas->repaint();
            hoverMs.push_back(now() - start);
            hoverChanges += state.hovered() != before;
        }
        const int hoverLayouts = layered ? layered->layoutCount() - layoutsBefore : 0;
        const int hoverRenders = layered ? layered->baseRenderCount() - rendersBefore : 0;
        // Where a layered canvas spends a focus change: the layout, then the picture.
        std::vector<double> layoutMs, pictureMs;
        if (layered) {
            for (int round = 0; round < rounds; ++round) {
                double start = now();
                layered->relayout();
                layoutMs.push_back(now() - start);
                start = now();
                canvas->repaint();
                pictureMs.push_back(now() - start);
            }
        }
        const Figures f = summarise(focusMs), h = summarise(hoverMs);
        std::printf("%-9s %-5s focus->paint median %6.2f ms worst %6.2f ms | hover (%d of %d moves change it) "
                    "median %5.2f ms worst %5.2f ms",
                    std::string(VizModes::rawValue(mode)).c_str(), treeName, f.median, f.worst, hoverChanges, hoverMoves,
                    h.median, h.worst);
        if (layered)
            std::printf(" | during hover: %d layouts, %d picture renders | layout %.2f ms, picture %.2f ms",
                        hoverLayouts, hoverRenders, summarise(layoutMs).median, summarise(pictureMs).median);
        std::printf("\n");
        std::fflush(stdout);
    }
}

} // namespace

int main(int argc, char** argv) {
    // A mode given by its raw value ("treemap") measures that canvas alone.
    if (argc > 1)
        if (auto only = VizModes::fromRaw(argv[1])) canvases = {*only};
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    Typography::bootstrap();

    const std::shared_ptr<FileTree> million = millionTree();
    std::vector<const FileNode*> millionFocuses{million->root};
    for (int i = 0; i < 6; ++i) millionFocuses.push_back(million->root->children()[std::size_t(i)]);
    std::printf("canvases at %dx%d, %d focus changes and %d pointer moves each\n", viewWidth, viewHeight, rounds,
                hoverMoves);
    measure("1m", million, millionFocuses);

    const std::shared_ptr<FileTree> wide = wideTree();
    measure("wide", wide, {wide->root->children()[0], wide->root->children()[1]});
    return 0;
}
