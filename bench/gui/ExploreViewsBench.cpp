// Times the table's "everything below" lines on a tree of a million nodes (collect, order by
// partial selection, cut) and, drawn offscreen into pictures of the screen's pixel ratio, the table
// from a flip of its switch to its first drawing and the Folders page of a folder with 10,000
// subfolders from a change of focus to its first drawing.
//
//   ExploreViewsBench [runs]              pixel ratios 1 and 2, each in a process of its own
//   ExploreViewsBench --ratio R [runs]    one ratio
#include "Stats.h"
#include "MillionTree.h"

#include "app/TallymereApp.h"
#include "state/AppState.h"
#include "style/Typography.h"
#include "views/components/ThemedWidget.h"
#include "views/explore/folders/FolderPage.h"
#include "views/explore/folders/FoldersView.h"
#include "views/explore/table/TableRows.h"
#include "views/explore/table/TableView.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QImage>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace tallymere;

namespace {

using tallymere::bench::median;

constexpr int subfolders = 10'000;
constexpr int filesPerSubfolder = 6;

// Two folders of 10,000 subfolders each, with a few files of mixed kinds in every subfolder.
std::shared_ptr<FileTree> wideFolders() {
    static const char* const names[] = {"a.jpg", "b.mp4", "c.txt", "d.zip", "e.swift", "f.mp3"};
    auto tree = std::make_shared<FileTree>();
    NodeArena& arena = tree->arena;
    tree->root = arena.makeNode("/bench", true, FileCategory::folder);
    std::vector<FileNode*> tops;
    std::uint64_t seed = 88172645463325252ull;
    for (const char* top : {"wide-a", "wide-b"}) {
        FileNode* folder = arena.makeNode(top, true, FileCategory::folder);
        std::vector<FileNode*> subs;
        for (int i = 0; i < subfolders; ++i) {
            FileNode* sub = arena.makeNode("folder-" + std::to_string(i), true, FileCategory::folder);
            std::vector<FileNode*> files;
            for (int k = 0; k < filesPerSubfolder; ++k) {
                seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
                FileNode* file = arena.makeNode(names[k], false, classifyFile(names[k]));
                file->size = static_cast<std::int64_t>(seed % 50'000'000);
                file->allocated = (file->size + 4095) / 4096 * 4096;
                file->fileCount = 1;
                file->modified = 1'700'000'000 + static_cast<double>(seed % 10'000'000);
                files.push_back(file);
            }
            arena.setChildren(*sub, files);
            subs.push_back(sub);
        }
        arena.setChildren(*folder, subs);
        tops.push_back(folder);
    }
    arena.setChildren(*tree->root, tops);
    rollup(*tree->root);
    assignDepth(*tree->root, 0);
    return tree;
}

double millisecondsOf(const std::function<void()>& work) { return bench::secondsOf(work) * 1000; }

// Puts the tree on display as a finished scan would: the store's focus can only name its nodes.
void display(AppState& state, const AppState::NodePtr& tree) {
    state.setScanner([tree](std::string_view, const ScanOptions&, ScanProgress&) { return tree; });
    state.scan(ScanTarget::folder(tree->path()));
    while (state.isScanning()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
}

// A picture of the widget's size in device pixels, at its pixel ratio: what the screen receives.
// Written once before any timing, as a window's backing store is before a page shows: the first
// paint into fresh memory would otherwise count the system's handing out of its pages (14 ms at
// ratio 2).
QImage pictureFor(const QWidget& view) {
    const qreal ratio = view.devicePixelRatioF();
    QImage image((QSizeF(view.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    return image;
}

int run(int argc, char** argv, int runs) {
    QApplication app(argc, argv);
    Typography::bootstrap();
    const int rounds = std::max(5, runs * 5);
    std::printf("pixel ratio %.0f\n", app.devicePixelRatio());

    // ---- Table: everything below the top of a million nodes ----------------------------------
    const auto million = bench::buildMillionTreeInMemory();
    std::printf("tree: %lld nodes\n", static_cast<long long>(bench::nodeCount(*million)));
    std::size_t collected = TableRows::collect(*million, true).size();
    for (TableColumn column : {TableColumn::size, TableColumn::name, TableColumn::modified}) {
        std::vector<double> times;
        std::size_t lines = 0;
        for (int r = 0; r < rounds; ++r)
            times.push_back(millisecondsOf([&] {
                lines = TableRows::rows(million.get(), {.sort = column, .ascending = column == TableColumn::name,
                                                        .recursive = true})
                            .size();
            }));
        std::printf("table rows, everything below, by %-8s %6.1f ms median (%zu collected, %zu lines)\n",
                    std::string(TableRows::title(column)).c_str(), median(times), collected, lines);
    }
    {
        AppState state(std::make_shared<MemoryPreferenceStore>());
        display(state, million);
        TableView view(state);
        ThemedWidget::applyTheme(&view, Theme::make(ThemeID::paper));
        view.resize(1100, 800);
        view.show();
        QImage image = pictureFor(view);
        std::vector<double> times;
        for (int r = 0; r < rounds; ++r)
            times.push_back(millisecondsOf([&] {
                view.setRecursive(r % 2 == 0);
                view.render(&image);
            }));
        std::printf("table view, switch flipped to first paint %6.1f ms median, %.1f ms worst\n", median(times),
                    *std::max_element(times.begin(), times.end()));
    }

    // ---- Folders page of 10,000 subfolders --------------------------------------------------
    const auto tree = wideFolders();
    const AppState::NodePtr folders[] = {share(tree, tree->root->children()[0]), share(tree, tree->root->children()[1])};
    AppState state(std::make_shared<MemoryPreferenceStore>());
    display(state, shareRoot(tree));
    FoldersView view(state);
    ThemedWidget::applyTheme(&view, Theme::make(ThemeID::paper));
    view.resize(1100, 800);
    view.show();
    QImage image = pictureFor(view);
    std::vector<double> times;
    for (int r = 0; r < rounds; ++r)
        times.push_back(millisecondsOf([&] {
            state.setFocus(folders[r % 2]);
            view.render(&image);
        }));
    std::printf("folders page, 10,000 subfolders, focus to first paint %6.1f ms median, %.1f ms worst (%d cards laid "
                "out)\n",
                median(times), *std::max_element(times.begin(), times.end()), view.page()->shownFolders());
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // The process runs under the settings the window runs under.
    TallymereApp::prepareProcess();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (argc > 2 && std::string(argv[1]) == "--ratio") {
        ::setenv("QT_SCALE_FACTOR", argv[2], 1);
        return run(argc, argv, argc > 3 ? std::max(1, std::atoi(argv[3])) : 3);
    }
    // Each ratio in a process of its own: the scale factor is read once, as the application starts.
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;
    const std::string runs = std::to_string(bench::runsFrom(argc, argv));
    int status = 0;
    for (const char* ratio : {"1", "2"}) {
        std::fflush(stdout);
        status |= std::system((std::string("'") + self + "' --ratio " + ratio + " " + runs).c_str());
    }
    return status == 0 ? 0 : 1;
}
