#pragma once
#include "core/FileNode.h"
#include "layout/MonthCalendar.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

namespace tallymere::AgeMapModel {

// One month of the heat map: the bytes and files last modified in it.
struct Cell {
    int id = 0; // year × 12 + month, the cell's key
    int year = 0;
    int month = 0; // 1...12
    std::int64_t bytes = 0;
    int files = 0;
    friend bool operator==(const Cell&, const Cell&) = default;
};

// One age bucket: the bytes and files whose age in days is at most `upperDays` (and above the
// previous bucket's bound).
struct Bucket {
    int id = 0; // row 0...5
    std::string_view label;
    double upperDays = 0;
    std::int64_t bytes = 0;
    int files = 0;
    friend bool operator==(const Bucket&, const Bucket&) = default;
};

inline constexpr int bucketCount = 6;
// The six rows, youngest first; the last bound is infinite so every age has a bucket.
std::array<Bucket, bucketCount> bucketSpec();

inline constexpr double secondsPerDay = 86400;
// Files older than this and at least staleBytes big are "big and untouched".
inline constexpr double staleSeconds = 365 * secondsPerDay;
inline constexpr std::int64_t staleBytes = 40'000'000;
inline constexpr std::size_t maxStale = 120;
inline constexpr std::size_t maxYears = 12;

struct Options {
    bool useAllocated = true;
    double now = 0; // the clock, seconds since 1970, read once by the caller
    // Threads the walk may share out among: 0 lets a folder of many files use up to four, 1 keeps
    // the walk on the calling thread. The result is the same either way.
    unsigned threads = 0;
    // When given, the walk looks at it now and then and ends early once it is set: the map is then
    // incomplete, for a caller that no longer wants it (its tree is going) to drop.
    const std::atomic<bool>* stop = nullptr;
};

// Everything the Age Map draws, derived in one pass.
struct AgeMap {
    std::vector<Cell> cells; // by ascending id; only months with files
    std::array<Bucket, bucketCount> buckets = bucketSpec();
    std::int64_t peak = 1;              // the largest cell's bytes (every year counts), at least 1
    std::vector<int> years;             // the years of the cells, newest first, at most maxYears
    std::vector<const FileNode*> stale; // largest first, ties in walk order, at most maxStale
    // The map stays exactly this for every later `now` below this instant: the first moment a
    // leaf's age passes its bucket's bound or a big file becomes old enough to be stale.
    double steadyUntil = std::numeric_limits<double>::infinity();

    // The cell of a month, or null when nothing was modified then.
    const Cell* cell(int year, int month) const;
};

// Walks the leaves below `shown` (files, symbolic links, packages as a whole, folders without a
// child list; `shown` itself when it is one of these) with an explicit stack, children of a folder
// from the last stored to the first. A leaf below 1 byte or without a date (0 or less, or not a
// finite number) counts nowhere. A dated one counts in the bucket of its age (a future date is
// age 0); when `calendar` places its date in a covered month it also counts in that month's cell
// and, when older than staleSeconds and at least staleBytes big, it is stale.
AgeMap build(const FileNode& shown, const Options& options, const MonthCalendar& calendar);

} // namespace tallymere::AgeMapModel
