// The window's memory over repeated scans of one folder of about 800,000 entries (80 folders of 100
// folders of 99 files, built once under /tmp/tallymere-bench-800k), offscreen: the main window as
// the program builds it, with its menus, on the explore tab. For the first scan and each rescan it
// prints the resident size before, at its peak while the scan runs and once the new tree is
// painted, and whether the tree shown before was let go as the scan started. The rescan's peak is
// held against one tree plus the scan's own working memory, both taken from the first scan.
//
//   RescanBench [rescans]        (default 10)
//   RescanBench --store [rescans]  the same without the window: the store alone
#include "MillionTree.h"
#include "ProcessMemory.h"

#include "app/TallymereApp.h"
#include "app/MainWindow.h"
#include "app/MenuCommands.h"
#include "state/AppState.h"
#include "views/shell/RootView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

using namespace tallymere;
using namespace tallymere::bench;

namespace {

const std::string folder = "/tmp/tallymere-bench-800k";
const std::string tree = folder + "/tree";

using tallymere::bench::resetPeak;
using tallymere::bench::spin;
using tallymere::bench::statusMegabytes;

void paintNow(QWidget* window) {
    if (!window) return;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::sendPostedEvents();
    window->repaint();
}

struct Round {
    double before = 0, peak = 0, after = 0;
    bool oldGoneAtStart = true;
    // How long into the scan the last tree went, when it was not gone at the start; negative for
    // a tree held through the whole scan.
    double oldGoneAfterMs = 0;
};

// One scan, the last tree watched as it starts; the window (when there is one) painted after.
Round scanOnce(AppState& state, QWidget* window) {
    Round round;
    spin(200);
    round.before = statusMegabytes("VmRSS:");
    resetPeak();
    const std::weak_ptr<FileNode> old = state.root();
    state.scan(ScanTarget::folder(tree));
    // What the window lets go of as the scan starts goes with the events the start posted.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    round.oldGoneAtStart = old.expired();
    QElapsedTimer clock;
    clock.start();
    round.oldGoneAfterMs = -1;
    while (state.isScanning()) {
        spin(1);
        if (!round.oldGoneAtStart && round.oldGoneAfterMs < 0 && old.expired()) round.oldGoneAfterMs = clock.elapsed();
    }
    paintNow(window);
    spin(200);
    round.peak = statusMegabytes("VmHWM:");
    round.after = statusMegabytes("VmRSS:");
    return round;
}

} // namespace

int main(int argc, char** argv) {
    // The process runs under the settings the window runs under.
    TallymereApp::prepareProcess();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const bool storeOnly = argc > 1 && std::strcmp(argv[1], "--store") == 0;
    const int rescans = argc > 1 + storeOnly ? std::max(1, std::atoi(argv[1 + storeOnly])) : 10;
    QApplication application(argc, argv);
    if (!buildTreeOnDisk(folder, 80)) {
        std::fprintf(stderr, "cannot build %s\n", tree.c_str());
        return 1;
    }

    AppState state(std::make_shared<MemoryPreferenceStore>());
    // The fixture's files have a size but no blocks: logical sizes give every view its tiles.
    state.setUseAllocatedSize(false);
    std::unique_ptr<MainWindow> window;
    if (!storeOnly) {
        MenuCommands::Services services;
        services.showSettings = [] {};
        services.quit = [] {};
        window = std::make_unique<MainWindow>(state, new MenuCommands(state, std::move(services)));
        window->show();
        paintNow(window.get());
    }

    const Round first = scanOnce(state, window.get());
    const std::int64_t nodes = state.root() ? nodeCount(*state.root()) : 0;
    const double treeSize = first.after - first.before;
    const double working = first.peak - first.after;
    std::printf("%s, %lld nodes\n", storeOnly ? "store alone" : "window", static_cast<long long>(nodes));
    std::printf("first scan: before %.1f MB, peak %.1f MB, after %.1f MB (the tree and what shows it %.1f MB, "
                "the scan's working memory %.1f MB)\n",
                first.before, first.peak, first.after, treeSize, working);
    double worstOver = 0;
    for (int r = 1; r <= rescans; ++r) {
        const Round round = scanOnce(state, window.get());
        // With the old tree gone at the start, the peak is the memory before less one tree, plus
        // the new tree and the scan's working memory: the memory before plus the working memory.
        const double over = round.peak - (round.before + working);
        worstOver = std::max(worstOver, over);
        char when[64];
        if (round.oldGoneAtStart) std::snprintf(when, sizeof when, "gone at the start");
        else if (round.oldGoneAfterMs >= 0) std::snprintf(when, sizeof when, "gone %.0f ms into the scan", round.oldGoneAfterMs);
        else std::snprintf(when, sizeof when, "HELD THROUGH THE SCAN");
        std::printf("rescan %2d: before %.1f MB, peak %.1f MB, after %.1f MB; old tree %s\n", r, round.before,
                    round.peak, round.after, when);

    }
    std::printf("rescan peak over one tree plus the scan's working memory: at most %.1f MB (target: near 0)\n",
                worstOver);
    return 0;
}
