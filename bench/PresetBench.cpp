// Preset benchmark: PresetScanner::run with the twelve presets over a 1,000,000-node tree, against
// the scanner's own time for that tree (presets run right after every scan, on its thread).
//
//   PresetBench [runs]   best of `runs` (default 3) for the scan and for the preset walk
#include "MillionTree.h"

#include "core/PresetScanner.h"

#include <cstdio>
#include <cstdlib>

using namespace tallymere;

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const bench::MillionTree tree = bench::loadMillionTree(runs);
    const std::int64_t nodes = bench::nodeCount(*tree.root);
    std::printf("tree: %lld nodes\n", static_cast<long long>(nodes));
    if (tree.scanSeconds > 0) std::printf("%-28s %8.3f s\n", "scan (DiskScanner, warm)", tree.scanSeconds);
    else std::printf("scan (DiskScanner): not measured, tree built in memory\n");

    // The home folder is the tree itself, so the Downloads preset has matches too. Logical sizes:
    // the disk tree is sparse, so allocated totals would all be 0 (the walk costs the same).
    const std::vector<CleanupPreset> presets = CleanupPreset::table(bench::millionTree);
    std::vector<PresetHit> hits;
    const double seconds = bench::bestOf(runs, [&] { hits = PresetScanner::run(tree.root, presets, false); });
    std::printf("%-28s %8.3f s  %10.1f Mnodes/s\n", "presets (12, one walk)", seconds, nodes / seconds / 1e6);
    for (const PresetHit& hit : hits)
        std::printf("  %-12s %4zu nodes kept, total %lld\n", hit.preset.id.c_str(), hit.nodes.size(),
                    static_cast<long long>(hit.total));
    if (tree.scanSeconds > 0)
        std::printf("presets / scan: %.2f (%s)\n", seconds / tree.scanSeconds,
                    seconds < tree.scanSeconds ? "under the scan" : "OVER the scan");
    return 0;
}
