// Filter benchmark: FilterEngine::prune over a 1,000,000-node tree, against the scanner's own time
// for that tree (the filter runs after every scan whose filter is active, so it must cost less).
//
//   FilterBench [runs]   best of `runs` (default 3) for the scan and for each filter
#include "MillionTree.h"

#include "core/FilterEngine.h"

#include <cstdio>

using namespace tallymere;

int main(int argc, char** argv) {
    const int runs = bench::runsFrom(argc, argv);
    const bench::MillionTree tree = bench::loadMillionTree(runs);

    struct Case {
        const char* title;
        NodeFilter filter;
    };
    const Case cases[] = {
        {"prune: category video", {.categories = {FileCategory::video}}},
        {"prune: min size 100 kB", {.minSize = 100000}},
        {"prune: modified before", {.modifiedBefore = 1550000000.0}},
        {"prune: name contains \"photo_1\"", {.query = "photo_1"}},
        {"prune: all four settings",
         {.categories = {FileCategory::image, FileCategory::video},
          .minSize = 1000,
          .modifiedBefore = 1650000000.0,
          .query = "PHOTO"}},
    };
    double slowest = 0;
    for (const Case& item : cases) {
        std::shared_ptr<FileNode> copy;
        const double seconds = bench::bestOf(runs, [&] { copy = FilterEngine::prune(*tree.root, item.filter, false); });
        slowest = std::max(slowest, seconds);
        std::printf("%-34s %8.3f s  %10.1f Mnodes/s  kept %lld\n", item.title, seconds, tree.nodes / seconds / 1e6,
                    static_cast<long long>(copy ? bench::nodeCount(*copy) : 0));
    }
    bench::compareWithScan("slowest filter", slowest, tree);
    return 0;
}
