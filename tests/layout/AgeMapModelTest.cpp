#include "layout/AgeMapModel.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

using namespace tallymere;
using namespace tallymere::test;

namespace {

// The fixed clock: 2024-06-15 00:00:00 UTC.
constexpr long long now = 1718409600;
constexpr long long day = 86400;

AgeMapModel::AgeMap ageMap(const FileNode& shown, bool useAllocated = true) {
    return AgeMapModel::build(shown, {useAllocated, static_cast<double>(now)}, MonthCalendar::utc());
}

std::string file(const std::string& name, long long size, long long mtime, const std::string& extra = "") {
    return "  " + name + " " + std::to_string(size) + " mtime=" + std::to_string(mtime) + extra + "\n";
}

std::vector<std::int64_t> bucketBytes(const AgeMapModel::AgeMap& map) {
    std::vector<std::int64_t> bytes;
    for (const auto& bucket : map.buckets) bytes.push_back(bucket.bytes);
    return bytes;
}

std::string names(const std::vector<const FileNode*>& nodes) {
    std::string out;
    for (const FileNode* node : nodes) out += (out.empty() ? "" : " ") + std::string(node->name());
    return out;
}

} // namespace

TEST(AgeMapBuckets, BoundsAreInclusiveAndEveryAgeHasOne) {
    const std::string text = "r/\n" + file("week", 1, now - 7 * day) + file("past-week", 10, now - 7 * day - day / 2) +
                             file("two-years", 100, now - 730 * day) +
                             file("past-two-years", 1000, now - 730 * day - 864) + // 730.01 days
                             file("future", 10000, now + 40 * day) + file("undated", 100000, 0) + file("empty", 0, now);
    auto tree = treeFromText(text);
    const auto map = ageMap(*tree);
    EXPECT_EQ(bucketBytes(map), (std::vector<std::int64_t>{10001, 10, 0, 0, 100, 1000}));
    EXPECT_EQ(map.buckets[0].files, 2);
    EXPECT_EQ(map.buckets[1].label, "8\u201330 days") << "an en dash, not a hyphen";
    EXPECT_TRUE(std::isinf(map.buckets[5].upperDays));
}

TEST(AgeMapBuckets, EmptyFolderGivesSixEmptyBucketsAndNothingElse) {
    auto tree = treeFromText("r/\n  empty/\n");
    const auto map = ageMap(*tree->children()[0]);
    ASSERT_EQ(map.buckets.size(), 6u);
    EXPECT_EQ(bucketBytes(map), (std::vector<std::int64_t>(6, 0)));
    EXPECT_TRUE(map.cells.empty());
    EXPECT_TRUE(map.years.empty());
    EXPECT_TRUE(map.stale.empty());
    EXPECT_EQ(map.peak, 1);
}

TEST(AgeMapCells, MonthsAddUpAndPeakIsTheBusiestMonth) {
    const long long march10 = 1710028800, january5 = 1672876800;
    const std::string text = "r/\n" + file("a", 300, march10) + file("b", 200, march10 + 5 * day) +
                             file("c", 50, january5) + file("d", 7, january5, " alloc=1000");
    auto tree = treeFromText(text);
    const auto map = ageMap(*tree);
    ASSERT_EQ(map.cells.size(), 2u);
    const AgeMapModel::Cell* march = map.cell(2024, 3);
    ASSERT_TRUE(march);
    EXPECT_EQ(*march, (AgeMapModel::Cell{2024 * 12 + 3, 2024, 3, 500, 2}));
    EXPECT_EQ(map.cell(2023, 1)->bytes, 1050) << "allocated sizes by default";
    EXPECT_EQ(ageMap(*tree, false).cell(2023, 1)->bytes, 57);
    EXPECT_EQ(map.cell(2024, 4), nullptr);
    EXPECT_EQ(map.peak, 1050);
    EXPECT_EQ(map.years, (std::vector<int>{2024, 2023}));
}

TEST(AgeMapCells, OnlyCoveredYearsGetCellsAndTheGridKeepsTheTwelveNewest) {
    // One file a year from 2000 to 2012, the oldest the biggest; and a huge file of 1990.
    std::string text = "r/\n" + file("old", 90'000'000'000, 641520000); // 1990-05-01
    for (int year = 2000; year <= 2012; ++year) {
        const long long jan1 =
            946684800 + static_cast<long long>(std::round((year - 2000) * 365.2425 * day)) + 10 * day;
        text += file("y" + std::to_string(year), year == 2000 ? 5000 : 100, jan1);
    }
    auto tree = treeFromText(text);
    const auto map = ageMap(*tree);
    EXPECT_EQ(map.cells.size(), 13u) << "1990 counts in a bucket only";
    EXPECT_EQ(map.buckets[5].files, 14);
    ASSERT_EQ(map.years.size(), 12u);
    EXPECT_EQ(map.years.front(), 2012);
    EXPECT_EQ(map.years.back(), 2001);
    EXPECT_EQ(map.peak, 5000) << "a year cut from the grid still sets the peak";
    EXPECT_EQ(names(map.stale), "") << "a 1990 file is never stale";
}

TEST(AgeMapCells, PackagesAndFilesAreSingleLeaves) {
    const long long march10 = 1710028800;
    auto tree =
        treeFromText("r/\n  Tool.app/ package mtime=" + std::to_string(march10) + "\n" + "    inner/\n" + "    " +
                     file("deep", 400, 1672876800) + "  denied/ denied mtime=" + std::to_string(march10) + "\n");
    const auto map = ageMap(*tree);
    ASSERT_EQ(map.cells.size(), 1u) << "nothing inside a package is visited; the unreadable folder adds nothing";
    EXPECT_EQ(map.cell(2024, 3)->bytes, 400);
    const auto single = ageMap(*tree->children()[0]);
    EXPECT_EQ(single.cell(2024, 3)->files, 1);
}

TEST(AgeMapStale, ThresholdsCutoffAndOrder) {
    const long long cutoff = now - 365 * day, old = now - 400 * day;
    const std::string text = "r/\n" + file("exact", 40'000'000, old) + file("short", 39'999'999, old) +
                             file("at-cutoff", 90'000'000, cutoff) + file("tie-first", 50'000'000, old) +
                             file("tie-second", 50'000'000, old) + file("sparse", 80'000'000, old, " alloc=4096");
    auto tree = treeFromText(text);
    // The walk takes a folder's children from the last stored one, so of two equal files the later
    // stored comes first.
    EXPECT_EQ(names(ageMap(*tree).stale), "tie-second tie-first exact");
    EXPECT_EQ(names(ageMap(*tree, false).stale), "sparse tie-second tie-first exact")
        << "logical sizes lift the sparse file over the threshold";

    // Depth first: a folder's whole inside comes before the sibling stored ahead of it, and its
    // own children again from the last stored one.
    const std::string nested = "r/\n" + file("one", 50'000'000, old) + "  a/\n  " + file("two", 50'000'000, old) +
                               "  " + file("three", 50'000'000, old) + "    b/\n    " + file("four", 50'000'000, old) +
                               file("five", 50'000'000, old) + "  c/\n";
    auto deep = treeFromText(nested);
    EXPECT_EQ(names(ageMap(*deep).stale), "five four three two one");
}

TEST(AgeMapStale, KeepsThe120Largest) {
    std::string text = "r/\n";
    for (int i = 0; i < 130; ++i) text += file("f" + std::to_string(i), 40'000'000 + i, now - 800 * day);
    auto tree = treeFromText(text);
    const auto map = ageMap(*tree);
    ASSERT_EQ(map.stale.size(), 120u);
    EXPECT_EQ(map.stale.front()->name(), "f129");
    EXPECT_EQ(map.stale.back()->name(), "f10");
}

TEST(AgeMapDates, WildOrMissingDatesCountNowhere) {
    auto tree = treeFromText("r/\n  a 10\n  b 20\n  c 40 mtime=-5\n");
    FileNode& a = const_cast<FileNode&>(*tree->children()[0]);
    FileNode& b = const_cast<FileNode&>(*tree->children()[1]);
    a.modified = std::numeric_limits<double>::quiet_NaN();
    b.modified = std::numeric_limits<double>::infinity();
    const auto map = ageMap(*tree);
    EXPECT_EQ(bucketBytes(map), (std::vector<std::int64_t>(6, 0)));
    EXPECT_TRUE(map.cells.empty());
}

TEST(MonthCalendarSplit, LocalMonthsFollowTheTimeZone) {
    const char* saved = std::getenv("TZ");
    const std::string previous = saved ? saved : "";
    ::setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
    const MonthCalendar local = MonthCalendar::local();
    const MonthCalendar utc = MonthCalendar::utc();
    const double march1Utc = 1709251200; // 2024-03-01 00:00 UTC is 19:00 on 29 February in New York
    EXPECT_EQ(utc.yearMonth(march1Utc), (MonthCalendar::YearMonth{2024, 3}));
    EXPECT_EQ(local.yearMonth(march1Utc), (MonthCalendar::YearMonth{2024, 2}));
    EXPECT_EQ(local.yearMonth(march1Utc + 5 * 3600), (MonthCalendar::YearMonth{2024, 3}));
    EXPECT_EQ(local.yearMonth(local.monthStart(2024, 7) - 1), (MonthCalendar::YearMonth{2024, 6}))
        << "a summer month starts at local midnight in summer time";
    EXPECT_EQ(local.monthStart(2024, 7), 1719792000 + 4 * 3600);
    for (double wild : {std::nan(""), 1e300, -1e300, 600000000.0, 4200000000.0})
        EXPECT_FALSE(utc.yearMonth(wild)) << wild;
    EXPECT_EQ(utc.yearMonth(4102444800 - 1), (MonthCalendar::YearMonth{2099, 12}));
    if (saved)
        ::setenv("TZ", previous.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

TEST(AgeMapWalk, SharedOutAmongThreadsItGivesWhatOneThreadGives) {
    // Folders of mixed depth, old big files of equal sizes (their order decides the stale list's
    // ties), packages, undated and empty files.
    std::string text = "r/\n";
    std::uint64_t seed = 12345;
    auto next = [&seed] {
        seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
        return seed;
    };
    for (int f = 0; f < 30; ++f) {
        text += "  d" + std::to_string(f) + "/" + (f % 9 == 4 ? " package" : "") + "\n";
        for (int s = 0; s < int(next() % 4); ++s) {
            text += "    s" + std::to_string(s) + "/\n";
            for (int i = 0; i < int(next() % 12); ++i)
                text += "  " + file("    f" + std::to_string(i) + ".bin", i % 3 ? 50'000'000 : std::int64_t(next() % 90'000'000),
                                   i % 7 == 0 ? 0 : now - std::int64_t(next() % (4000 * day)));
        }
        for (int i = 0; i < int(next() % 6); ++i)
            text += "  " + file("  g" + std::to_string(i) + ".bin", 50'000'000, now - 800 * day);
    }
    auto tree = treeFromText(text);
    for (bool allocated : {true, false}) {
        const auto one = AgeMapModel::build(*tree, {allocated, double(now), 1}, MonthCalendar::utc());
        ASSERT_GT(one.stale.size(), 20u);
        for (unsigned threads : {2u, 3u, 7u}) {
            const auto shared = AgeMapModel::build(*tree, {allocated, double(now), threads}, MonthCalendar::utc());
            EXPECT_EQ(shared.cells, one.cells);
            EXPECT_EQ(shared.buckets, one.buckets);
            EXPECT_EQ(shared.peak, one.peak);
            EXPECT_EQ(shared.years, one.years);
            EXPECT_EQ(names(shared.stale), names(one.stale));
            EXPECT_EQ(shared.stale, one.stale);
        }
    }
}

TEST(AgeMapWalk, AWalkToldToStopEndsEarlyAndOneLeftAloneCountsEverything) {
    std::string text = "r/\n  d/\n";
    for (int i = 0; i < 20000; ++i) text += "  " + file("  f" + std::to_string(i), 10, now - 3 * day);
    auto tree = treeFromText(text);
    const auto filesCounted = [&](bool stopped) {
        const std::atomic<bool> stop{stopped};
        AgeMapModel::Options options{true, double(now), 1};
        options.stop = &stop;
        int files = 0;
        for (const auto& bucket : AgeMapModel::build(*tree, options, MonthCalendar::utc()).buckets) files += bucket.files;
        return files;
    };
    EXPECT_EQ(filesCounted(false), 20000);
    EXPECT_LT(filesCounted(true), 5000) << "a walk whose tree is going stops within a few thousand steps";
}

TEST(AgeMapSteady, TheMapHoldsUntilTheFirstFileCrossesABucketBound) {
    // Bounds ahead: "month" leaves the 8-30 days row in half a day, "week" the first row in four
    // days, "future" (age 0 until its date) seven days after its date; "stale" is stale already.
    const std::string text = "r/\n" + file("week", 1, now - 3 * day) + file("month", 10, now - 29 * day - day / 2) +
                             file("future", 100, now + 40 * day) + file("stale", 50'000'000, now - 500 * day) +
                             file("undated", 1000, 0);
    auto tree = treeFromText(text);
    const auto at = [&](double clock) {
        return AgeMapModel::build(*tree, {true, clock}, MonthCalendar::utc());
    };
    const auto map = at(now);
    EXPECT_EQ(map.steadyUntil, double(now + day / 2));
    const auto before = at(map.steadyUntil - 1);
    EXPECT_EQ(bucketBytes(before), bucketBytes(map));
    EXPECT_EQ(names(before.stale), names(map.stale));
    EXPECT_EQ(before.steadyUntil, map.steadyUntil);
    const auto after = at(map.steadyUntil + 1);
    EXPECT_NE(bucketBytes(after), bucketBytes(map));
    EXPECT_EQ(after.steadyUntil, double(now - 3 * day + 7 * day)) << "the next bound is the week file's";

    // A file of staleBytes or more under a year old becomes stale a year after its date.
    auto young = treeFromText("r/\n" + file("big", 50'000'000, now - 100 * day));
    const auto youngMap = AgeMapModel::build(*young, {true, double(now)}, MonthCalendar::utc());
    EXPECT_TRUE(youngMap.stale.empty());
    EXPECT_EQ(youngMap.steadyUntil, double(now - 100 * day + 365 * day));
    const auto yearOn = AgeMapModel::build(*young, {true, youngMap.steadyUntil + 1}, MonthCalendar::utc());
    EXPECT_EQ(names(yearOn.stale), "big");

    // Only undated or empty files: nothing ever changes.
    auto undated = treeFromText("r/\n" + file("undated", 10, 0) + file("empty", 0, now));
    EXPECT_TRUE(std::isinf(AgeMapModel::build(*undated, {true, double(now)}, MonthCalendar::utc()).steadyUntil));
}
