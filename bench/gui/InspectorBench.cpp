// Times the inspector describing a freshly selected folder of 100,000 entries: working out the
// column (facts, the eight largest children) and drawing it offscreen. Selections alternate
// between two such folders so that every round describes a new node.
#include "Stats.h"
#include "app/TallymereApp.h"
#include "core/FileTree.h"
#include "state/AppState.h"
#include "style/Typography.h"
#include "views/components/ThemedWidget.h"
#include "views/shell/inspector/InspectorView.h"

#include <QApplication>
#include <QEventLoop>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace tallymere;

namespace {

using tallymere::bench::median;

constexpr int childrenPerFolder = 100'000;
constexpr int rounds = 40;

std::shared_ptr<FileTree> wideTree() {
    auto tree = std::make_shared<FileTree>();
    NodeArena& arena = tree->arena;
    tree->root = arena.makeNode("/bench", true, FileCategory::folder);
    std::vector<FileNode*> folders;
    for (const char* name : {"wide-a", "wide-b"}) {
        FileNode* folder = arena.makeNode(name, true, FileCategory::folder);
        std::vector<FileNode*> files;
        files.reserve(childrenPerFolder);
        std::uint64_t seed = 88172645463325252ull;
        for (int i = 0; i < childrenPerFolder; ++i) {
            seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17; // xorshift: sizes in no order
            FileNode* file = arena.makeNode("file-" + std::to_string(i) + ".dat", false, FileCategory::data);
            file->size = static_cast<std::int64_t>(seed % 50'000'000);
            file->allocated = (file->size + 4095) / 4096 * 4096;
            file->fileCount = 1;
            file->modified = 1'700'000'000 + static_cast<double>(seed % 10'000'000);
            files.push_back(file);
        }
        arena.setChildren(*folder, files);
        folders.push_back(folder);
    }
    arena.setChildren(*tree->root, folders);
    rollup(*tree->root);
    assignDepth(*tree->root, 0);
    return tree;
}

} // namespace

int main(int argc, char** argv) {
    // The process runs under the settings the window runs under.
    TallymereApp::prepareProcess();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    Typography::bootstrap();
    const auto tree = wideTree();
    const AppState::NodePtr folders[] = {share(tree, tree->root->children()[0]), share(tree, tree->root->children()[1])};

    AppState state(std::make_shared<MemoryPreferenceStore>());
    // The store selects only nodes of the tree it displays: show the tree as a finished scan would.
    state.setScanner([tree](std::string_view, const ScanOptions&, ScanProgress&) { return shareRoot(tree); });
    state.scan(ScanTarget::folder("/bench"));
    while (state.isScanning()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    InspectorView view(state);
    ThemedWidget::applyTheme(&view, Theme::make(ThemeID::paper));
    view.resize(InspectorView::columnWidth, 900);
    view.show();

    using Clock = std::chrono::steady_clock;
    std::vector<double> describe, drawn;
    double first = 0;
    // Round 0 meets cold font and glyph caches: reported on its own, left out of the medians.
    for (int round = 0; round <= rounds; ++round) {
        const auto start = Clock::now();
        state.setSelection(folders[round % 2]);
        const auto described = Clock::now();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        const QImage image = view.grab().toImage();
        const auto end = Clock::now();
        if (image.isNull() || state.selection() != folders[round % 2]) return 1;
        if (round == 0) {
            first = std::chrono::duration<double, std::milli>(end - start).count();
            continue;
        }
        describe.push_back(std::chrono::duration<double, std::milli>(described - start).count());
        drawn.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::printf("inspector, folder of %d entries selected (%d rounds):\n", childrenPerFolder, rounds);
    std::printf("  column worked out   median %.2f ms, worst %.2f ms\n", median(describe),
                *std::max_element(describe.begin(), describe.end()));
    std::printf("  first selection, cold caches, worked out + drawn %.2f ms\n", first);
    std::printf("  worked out + drawn  median %.2f ms, worst %.2f ms (budget 16 ms)\n", median(drawn),
                *std::max_element(drawn.begin(), drawn.end()));
    return 0;
}
