// Times every layout engine with the options its view passes, on the inputs that stress it: one
// folder of 100,000 files, a 1,000,000-node tree of irregular folders and a balanced tree of
// 1,111,111 nodes that fills every view up to its caps. Each layout is what a
// view redoes synchronously on a focus change, so each should stay well inside one 16 ms frame.
//
// Usage: LayoutBench [runs]   (default 25 runs per case; prints the median and the slowest run)
#include "core/FileTree.h"
#include "layout/CirclePackLayout.h"
#include "layout/IcicleLayout.h"
#include "layout/MindMapLayout.h"
#include "layout/SunburstLayout.h"
#include "layout/TreemapLayout.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace tallymere;

namespace {

// Log-uniform from 1 KB to 1 MB: sizes even enough that the caps, not a few giant files, end the
// layouts.
std::int64_t fileSize(std::mt19937& random) {
    return static_cast<std::int64_t>(std::pow(10.0, std::uniform_real_distribution<double>(3, 6)(random)));
}

std::shared_ptr<FileNode> finish(const std::shared_ptr<FileTree>& tree) {
    rollup(*tree->root);
    assignDepth(*tree->root, 0);
    return shareRoot(tree);
}

// Sizes follow Zipf's law (the k-th largest holds 1/k of the largest), in shuffled order: a few
// hundred files are visible in every view and the long tail still has to be sorted or skipped.
std::shared_ptr<FileNode> wideFolder(int children) {
    auto tree = std::make_shared<FileTree>();
    std::mt19937 random(1);
    std::vector<std::int64_t> sizes;
    for (int i = 0; i < children; ++i) sizes.push_back(10'000'000'000 / (i + 1));
    std::shuffle(sizes.begin(), sizes.end(), random);
    tree->root = tree->arena.makeNode("/wide", true, FileCategory::folder);
    std::vector<FileNode*> files;
    files.reserve(static_cast<std::size_t>(children));
    for (int i = 0; i < children; ++i) {
        FileNode* file = tree->arena.makeNode("file" + std::to_string(i), false, FileCategory::data);
        file->size = sizes[static_cast<std::size_t>(i)];
        file->allocated = (file->size + 4095) / 4096 * 4096;
        files.push_back(file);
    }
    tree->arena.setChildren(*tree->root, files);
    return finish(tree);
}

// Folders of 1 to 40 entries, about one entry in six a folder, breadth first until `nodes` exist.
std::shared_ptr<FileNode> bigTree(int nodes) {
    auto tree = std::make_shared<FileTree>();
    std::mt19937 random(2);
    tree->root = tree->arena.makeNode("/big", true, FileCategory::folder);
    std::vector<FileNode*> open{tree->root};
    int made = 1;
    for (std::size_t index = 0; index < open.size() && made < nodes; ++index) {
        const int fanout = index == 0 ? 40 : std::uniform_int_distribution<int>(1, 40)(random);
        std::vector<FileNode*> children;
        for (int k = 0; k < fanout && made < nodes; ++k, ++made) {
            const bool isFolder = std::uniform_int_distribution<int>(0, 5)(random) == 0;
            FileNode* node = tree->arena.makeNode("n" + std::to_string(made), isFolder,
                                                  isFolder ? FileCategory::folder : FileCategory::data);
            if (isFolder) {
                open.push_back(node);
            } else {
                node->size = fileSize(random);
                node->allocated = (node->size + 4095) / 4096 * 4096;
            }
            children.push_back(node);
        }
        tree->arena.setChildren(*open[index], children);
    }
    return finish(tree);
}

// Ten subfolders in every folder for five levels, ten files in each of the 100,000 deepest:
// 1,111,111 nodes with even sizes, so that every view fills its canvas up to its caps.
std::shared_ptr<FileNode> balancedTree() {
    auto tree = std::make_shared<FileTree>();
    std::mt19937 random(3);
    tree->root = tree->arena.makeNode("/balanced", true, FileCategory::folder);
    std::vector<FileNode*> level{tree->root};
    for (int depth = 1; depth <= 6; ++depth) {
        const bool files = depth == 6;
        std::vector<FileNode*> next;
        for (FileNode* folder : level) {
            std::vector<FileNode*> children;
            for (int k = 0; k < 10; ++k) {
                FileNode* node = tree->arena.makeNode("n" + std::to_string(k), !files,
                                                      files ? FileCategory::data : FileCategory::folder);
                if (files) {
                    node->size = fileSize(random);
                    node->allocated = (node->size + 4095) / 4096 * 4096;
                }
                children.push_back(node);
                next.push_back(node);
            }
            tree->arena.setChildren(*folder, children);
        }
        level = std::move(next);
    }
    return finish(tree);
}

struct Timing {
    double median = 0;
    double slowest = 0;
    std::size_t records = 0;
};

Timing measure(int runs, const std::function<std::size_t()>& layout) {
    std::vector<double> times;
    std::size_t records = layout(); // warm-up
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        records = layout();
        const auto stop = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.back(), records};
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 25;
    constexpr int viewDepth = 7; // the application's default treemap depth
    // The workspace of the default 1440 × 900 window, less the sidebar and the inspector.
    const Rect canvas{0, 0, 860, 640};

    std::printf("building trees...\n");
    const auto wide = wideFolder(100000);
    const auto big = bigTree(1000000);
    const auto balanced = balancedTree();
    int bigCount = 0;
    big->walk([&](const FileNode&) { return ++bigCount, true; });
    int deepest = 0;
    big->walk([&](const FileNode& node) { return deepest = std::max(deepest, node.depth), true; });
    std::printf("wide folder: %zu children; big tree: %d nodes, %zu at the top, %d levels\n\n", wide->childCount(),
                bigCount, big->childCount(), deepest + 1);
    std::printf("%-28s %-12s %10s %10s %9s\n", "engine (view options)", "input", "median ms", "max ms", "records");

    TreemapLayout::Options treemap;
    treemap.maxDepth = viewDepth;
    SunburstLayout::Options sunburst;
    sunburst.maxDepth = std::max(3, viewDepth);
    IcicleLayout::Options icicle;
    icicle.maxDepth = viewDepth + 3;
    icicle.rowHeight = 27;
    CirclePackLayout::Options pack;
    MindMapLayout::Options mindSmall; // canvas area below 620,000: two rings
    mindSmall.maxDepth = 2;
    MindMapLayout::Options mindLarge; // larger canvas: three rings
    mindLarge.maxDepth = 3;

    struct Case {
        const char* engine;
        std::function<std::size_t(const FileNode&)> layout;
    };
    const std::vector<Case> cases{
        {"treemap (depth 7)", [&](const FileNode& root) { return TreemapLayout::layout(root, canvas, treemap).size(); }},
        {"sunburst (7 rings)", [&](const FileNode& root) {
             return SunburstLayout::layout(root, std::min(canvas.width, canvas.height) * 0.5 - 6, sunburst).size();
         }},
        {"icicle (10 rows)", [&](const FileNode& root) {
             return IcicleLayout::layout(root, {0, 0, canvas.width - 20, 20000}, icicle).size();
         }},
        {"circle pack (5 levels)", [&](const FileNode& root) { return CirclePackLayout::layout(root, canvas, pack).size(); }},
        {"mind map (2 rings)", [&](const FileNode& root) {
             return MindMapLayout::layout(root, {0, 0, canvas.width - 36, canvas.height - 36}, mindSmall).nodes.size();
         }},
        {"mind map (3 rings)", [&](const FileNode& root) {
             return MindMapLayout::layout(root, {0, 0, 1400, 900}, mindLarge).nodes.size();
         }},
    };
    for (const Case& c : cases) {
        for (const auto& tree : {std::pair{"100k folder", wide.get()}, std::pair{"1M tree", big.get()},
                                 std::pair{"1.1M even", balanced.get()}}) {
            // A plain variable: clang 14 does not let a lambda capture a structured binding.
            const FileNode* root = tree.second;
            const Timing t = measure(runs, [&] { return c.layout(*root); });
            std::printf("%-28s %-12s %10.3f %10.3f %9zu\n", c.engine, tree.first, t.median, t.slowest, t.records);
        }
    }
    return 0;
}
