#include "layout/AgeMapModel.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

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

// What one walk over some leaves found. `order` of a stale candidate counts within this part.
struct Part {
    std::vector<MonthTotal> months = std::vector<MonthTotal>(MonthCalendar::monthCount);
    std::array<Bucket, bucketCount> buckets = bucketSpec();
    std::vector<StaleCandidate> stale;
    double steadyUntil = std::numeric_limits<double>::infinity();
};

bool isDescended(const FileNode& node) { return node.hasChildList() && !node.isPackage; }

// Counts one leaf into `part`.
inline void countLeaf(const FileNode& node, const Options& options, const MonthCalendar& calendar, double cutoff,
                      Part& part) {
    const std::int64_t bytes = node.bytes(options.useAllocated);
    if (bytes < 1) return;
    const double modified = node.modified;
    if (!(modified > 0) || !std::isfinite(modified)) return;

    const double age = std::max((options.now - modified) / secondsPerDay, 0.0);
    for (Bucket& bucket : part.buckets) {
        if (bucket.upperDays >= age) {
            bucket.bytes += bytes;
            bucket.files += 1;
            part.steadyUntil = std::min(part.steadyUntil, modified + bucket.upperDays * secondsPerDay);
            break;
        }
    }

    const int monthIndex = calendar.monthIndex(modified);
    if (monthIndex < 0) return;
    MonthTotal& month = part.months[static_cast<std::size_t>(monthIndex)];
    month.bytes += bytes;
    month.files += 1;
    if (bytes < staleBytes) return;
    if (modified < cutoff) part.stale.push_back({bytes, part.stale.size(), &node});
    else part.steadyUntil = std::min(part.steadyUntil, modified + staleSeconds);
}

// Walks the leaves below `top` (or `top` itself, a leaf) depth first, children of a folder from
// the last stored to the first, into `part`. A frame a folder walks its children where they are
// stored, so a leaf is counted where it is met rather than first put on a stack and taken off.
void walk(const FileNode& top, const Options& options, const MonthCalendar& calendar, Part& part) {
    const double cutoff = options.now - staleSeconds;
    if (!isDescended(top)) {
        countLeaf(top, options, calendar, cutoff, part);
        return;
    }
    struct Frame {
        FileNode* const* first;
        FileNode* const* next; // one past the child to walk next, counting down
    };
    std::vector<Frame> stack;
    const auto children = top.children();
    stack.push_back({children.data(), children.data() + children.size()});
    // Looked at once every so many steps: a relaxed load costs nothing next to the walk.
    constexpr unsigned stopEvery = 4096;
    unsigned untilLook = stopEvery;
    while (!stack.empty()) {
        if (options.stop && --untilLook == 0) {
            if (options.stop->load(std::memory_order_relaxed)) return;
            untilLook = stopEvery;
        }
        Frame& frame = stack.back();
        if (frame.next == frame.first) {
            stack.pop_back();
            continue;
        }
        const FileNode& node = **--frame.next;
        if (isDescended(node)) {
            const auto inner = node.children();
            stack.push_back({inner.data(), inner.data() + inner.size()});
            continue;
        }
        countLeaf(node, options, calendar, cutoff, part);
    }
}

// Nodes whose walks, one after another, make the walk of `shown`: a folder stands for its
// children, last first, so expanding the largest folders keeps the order. Stops at `pieces`.
std::vector<const FileNode*> frontier(const FileNode& shown, std::size_t pieces) {
    auto weight = [](const FileNode* node) { return isDescended(*node) ? std::int64_t(node->fileCount) : 0; };
    std::vector<const FileNode*> nodes{&shown};
    while (nodes.size() < pieces) {
        auto largest = std::max_element(nodes.begin(), nodes.end(),
                                        [&](const FileNode* a, const FileNode* b) { return weight(a) < weight(b); });
        if (weight(*largest) == 0 || !(*largest)->hasChildren()) break;
        const auto children = (*largest)->children();
        const auto at = nodes.erase(largest);
        nodes.insert(at, children.rbegin(), children.rend());
    }
    return nodes;
}

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
    // A large folder's walk is shared out in runs of consecutive pieces, one run a thread, and the
    // parts added up in walk order: every sum is the same, and stale ties keep the walk's order.
    unsigned threads = options.threads;
    if (threads == 0) {
        constexpr std::int32_t filesPerThread = 100'000;
        threads = std::clamp<unsigned>(std::min(std::thread::hardware_concurrency(), 4u), 1,
                                       unsigned(std::max(shown.fileCount / filesPerThread, 1)));
    }
    std::vector<Part> parts(threads);
    if (threads == 1) {
        walk(shown, options, calendar, parts.front());
    } else {
        const std::vector<const FileNode*> pieces = frontier(shown, std::size_t(threads) * 8);
        std::int64_t total = 0;
        for (const FileNode* piece : pieces) total += std::max<std::int64_t>(piece->fileCount, 1);
        // Runs of about equal files, in order.
        std::vector<std::size_t> starts{0};
        std::int64_t running = 0;
        for (std::size_t i = 0; i < pieces.size() && starts.size() < threads; ++i) {
            running += std::max<std::int64_t>(pieces[i]->fileCount, 1);
            if (running * threads >= total * std::int64_t(starts.size()) && i + 1 < pieces.size()) starts.push_back(i + 1);
        }
        starts.push_back(pieces.size());
        auto walkRun = [&](std::size_t run) {
            for (std::size_t i = starts[run]; i < starts[run + 1]; ++i) walk(*pieces[i], options, calendar, parts[run]);
        };
        std::vector<std::thread> helpers;
        for (std::size_t run = 1; run + 1 < starts.size(); ++run) helpers.emplace_back(walkRun, run);
        walkRun(0);
        for (std::thread& helper : helpers) helper.join();
        parts.resize(starts.size() - 1);
    }

    AgeMap result;
    // Months are few (1,308), so a flat table beats a hash map in the inner loop.
    std::vector<MonthTotal> months(MonthCalendar::monthCount);
    std::vector<StaleCandidate> stale;
    for (std::size_t p = 0; p < parts.size(); ++p) {
        const Part& part = parts[p];
        for (std::size_t m = 0; m < months.size(); ++m) {
            months[m].bytes += part.months[m].bytes;
            months[m].files += part.months[m].files;
        }
        for (std::size_t b = 0; b < result.buckets.size(); ++b) {
            result.buckets[b].bytes += part.buckets[b].bytes;
            result.buckets[b].files += part.buckets[b].files;
        }
        result.steadyUntil = std::min(result.steadyUntil, part.steadyUntil);
        // A part's finds come after every find of the parts before it.
        for (StaleCandidate candidate : part.stale) {
            candidate.order += std::uint64_t(p) << 40;
            stale.push_back(candidate);
        }
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
