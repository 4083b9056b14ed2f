// Explore models benchmark: the Top Sizes ranking in each scope and the Age Map model over a
// 1,000,000-node tree. Both run synchronously on the GUI thread whenever the focus, the displayed
// tree or the size mode changes, so each must stay within 30 ms.
//
// The tree is the in-memory twin of the benchmarks' disk tree (100 × 100 folders of 99 files), so
// no million files need writing first. A second pass makes every tenth file big and old, so that
// the Age Map's stale list has 99,000 candidates to choose its 120 from.
//
//   ExploreModelBench [runs]   best of `runs` (default 5) for each case
#include "MillionTree.h"

#include "layout/AgeMapModel.h"
#include "layout/MonthCalendar.h"
#include "layout/TopSizesRanking.h"

#include <cstdio>
#include <ctime>

using namespace tallymere;

namespace {

constexpr double budgetSeconds = 0.030;
bool withinBudget = true;

void report(const char* title, double seconds, std::size_t kept) {
    const bool fits = seconds <= budgetSeconds;
    withinBudget = withinBudget && fits;
    std::printf("%-40s %8.2f ms  kept %zu%s\n", title, seconds * 1000, kept, fits ? "" : "  OVER 30 ms");
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::shared_ptr<FileNode> root = bench::buildMillionTreeInMemory();
    std::printf("tree: %lld nodes (in memory)\n", static_cast<long long>(bench::nodeCount(*root)));
    const double now = static_cast<double>(std::time(nullptr));

    using TopSizesRanking::Scope;
    for (Scope scope : TopSizesRanking::scopes) {
        std::vector<const FileNode*> rows;
        const double seconds = bench::bestOf(runs, [&] { rows = TopSizesRanking::rows(*root, scope, false); });
        const std::string title = "Top Sizes: " + std::string(TopSizesRanking::title(scope));
        report(title.c_str(), seconds, rows.size());
    }

    MonthCalendar calendar = MonthCalendar::utc();
    report("Age Map: local month table", bench::bestOf(runs, [&] { calendar = MonthCalendar::local(); }), 1308);
    AgeMapModel::AgeMap map;
    double seconds = bench::bestOf(runs, [&] { map = AgeMapModel::build(*root, {false, now}, calendar); });
    report("Age Map: model", seconds, map.cells.size());

    // Every tenth file 40 MB or more and well over a year old.
    std::int64_t made = 0;
    root->walk([&](const FileNode& node) {
        if (!node.isDirectory && made++ % 10 == 0) {
            FileNode& file = const_cast<FileNode&>(node);
            file.size = 40'000'000 + made % 977 * 1'000'000;
            file.modified = now - 3 * 365 * 86400.0 - made % 1000 * 86400.0;
        }
        return true;
    });
    seconds = bench::bestOf(runs, [&] { map = AgeMapModel::build(*root, {false, now}, calendar); });
    report("Age Map: model, 99,000 stale candidates", seconds, map.stale.size());
    return withinBudget ? 0 : 1;
}
