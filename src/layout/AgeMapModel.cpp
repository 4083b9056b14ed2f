#include "layout/AgeMapModel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tallymere::AgeMapModel {
namespace {

struct StaleCandidate {
    std::int64_t bytes = 0;
    std::uint64_t order = 0; // when the walk found it: equal sizes keep that order
    const FileNode* node = nullptr;
};

struct MonthTotal {
    std::int64_t bytes = 0;
    int files = 0;
};

} // namespace

std::array<Bucket, bucketCount> bucketSpec() {
    constexpr double infinity = std::numeric_limits<double>::infinity();
    return {{
        {0, "Last 7 days", 7},
        {1, "8\u201330 days", 30},
        {2, "1\u20133 months", 90},
        {3, "3\u201312 months", 365},
        {4, "1\u20132 years", 730},
        {5, "Over 2 years", infinity},
    }};
}

const Cell* AgeMap::cell(int year, int month) const {
    const int id = year * 12 + month;
    const auto found =
        std::lower_bound(cells.begin(), cells.end(), id, [](const Cell& c, int key) { return c.id < key; });
    return found != cells.end() && found->id == id ? &*found : nullptr;
}

AgeMap build(const FileNode& shown, const Options& options, const MonthCalendar& calendar) {
    AgeMap result;
    // Months are few (1,308), so a flat table beats a hash map in the inner loop.
    std::vector<MonthTotal> months(MonthCalendar::monthCount);
    std::vector<StaleCandidate> stale;
    const double cutoff = options.now - staleSeconds;
    std::uint64_t found = 0;

    std::vector<const FileNode*> stack{&shown};
    while (!stack.empty()) {
        const FileNode* node = stack.back();
        stack.pop_back();
        if (node->hasChildList() && !node->isPackage) {
            // Stored order on the stack, so the last child comes off first.
            const auto children = node->children();
            stack.insert(stack.end(), children.begin(), children.end());
            continue;
        }
        const std::int64_t bytes = node->bytes(options.useAllocated);
        if (bytes < 1) continue;
        const double modified = node->modified;
        if (!(modified > 0) || !std::isfinite(modified)) continue;

        const double age = std::max((options.now - modified) / secondsPerDay, 0.0);
        for (Bucket& bucket : result.buckets) {
            if (bucket.upperDays >= age) {
                bucket.bytes += bytes;
                bucket.files += 1;
                break;
            }
        }

        const int monthIndex = calendar.monthIndex(modified);
        if (monthIndex < 0) continue;
        MonthTotal& month = months[static_cast<std::size_t>(monthIndex)];
        month.bytes += bytes;
        month.files += 1;
        if (modified < cutoff && bytes >= staleBytes) stale.push_back({bytes, found++, node});
    }

    for (int index = 0; index < MonthCalendar::monthCount; ++index) {
        const MonthTotal& month = months[static_cast<std::size_t>(index)];
        if (month.files == 0) continue;
        const int year = MonthCalendar::firstYear + index / 12, monthNumber = index % 12 + 1;
        result.cells.push_back({year * 12 + monthNumber, year, monthNumber, month.bytes, month.files});
        result.peak = std::max(result.peak, month.bytes);
    }
    // Cells come out oldest first; the grid shows the newest years.
    for (auto cell = result.cells.rbegin(); cell != result.cells.rend() && result.years.size() < maxYears; ++cell)
        if (result.years.empty() || result.years.back() != cell->year) result.years.push_back(cell->year);

    const auto ranksBefore = [](const StaleCandidate& a, const StaleCandidate& b) {
        return a.bytes != b.bytes ? a.bytes > b.bytes : a.order < b.order;
    };
    const std::size_t kept = std::min(stale.size(), maxStale);
    std::partial_sort(stale.begin(), stale.begin() + static_cast<std::ptrdiff_t>(kept), stale.end(), ranksBefore);
    result.stale.reserve(kept);
    for (std::size_t i = 0; i < kept; ++i) result.stale.push_back(stale[i].node);
    return result;
}

} // namespace tallymere::AgeMapModel
