// Preset benchmark: PresetScanner::run with the twelve presets over a 1,000,000-node tree, against
// the scanner's own time for that tree (presets run right after every scan, on its thread).
//
//   PresetBench [runs]   best of `runs` (default 3) for the scan and for the preset walk
#include "MillionTree.h"

#include "core/PresetScanner.h"

#include <cstdio>

using namespace tallymere;

int main(int argc, char** argv) {
    const int runs = bench::runsFrom(argc, argv);
    const bench::MillionTree tree = bench::loadMillionTree(runs);

    // The home folder is the tree itself, so the Downloads preset has matches too. Logical sizes:
    // the disk tree is sparse, so allocated totals would all be 0 (the walk costs the same).
    const std::vector<CleanupPreset> presets = CleanupPreset::table(bench::millionTree);
    std::vector<PresetHit> hits;
    const double seconds = bench::bestOf(runs, [&] { hits = PresetScanner::run(tree.root, presets, false); });
    std::printf("%-34s %8.3f s  %10.1f Mnodes/s\n", "presets (12, one walk)", seconds, tree.nodes / seconds / 1e6);
    for (const PresetHit& hit : hits)
        std::printf("  %-12s %4zu nodes kept, total %lld\n", hit.preset.id.c_str(), hit.nodes.size(),
                    static_cast<long long>(hit.total));
    bench::compareWithScan("presets", seconds, tree);
    return 0;
}
