#include "core/ByteFormat.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <string>
#include <locale>

#include <unistd.h>

using namespace tallymere;

TEST(ByteFormatString, DecimalsFollowMagnitude) {
    EXPECT_EQ(ByteFormat::string(-5), "0 B");
    EXPECT_EQ(ByteFormat::string(999), "999 B");
    EXPECT_EQ(ByteFormat::string(1000), "1.00 KB");
    EXPECT_EQ(ByteFormat::string(1500), "1.50 KB");
    EXPECT_EQ(ByteFormat::string(15000), "15.0 KB");
    EXPECT_EQ(ByteFormat::string(150000), "150 KB");
    EXPECT_EQ(ByteFormat::string(7300000000000), "7.30 TB");
    EXPECT_EQ(ByteFormat::string(150000, true), "150.00 KB");
    EXPECT_EQ(ByteFormat::string(2500000000, true), "2.50 GB");
}

// What a window lays out holds its figure and unit together with a no-break space; the command
// line keeps the plain space its readers split on.
// The window's text holds figure and unit together with a no-break space (the drawn text is
// checked where it wraps, in the cleanup bar's question); the command line's has a plain space.
TEST(ByteFormatString, TheWindowsTextHoldsFigureAndUnitTogether) {
    const std::pair<std::int64_t, const char*> sizes[] = {
        {-5, "0\u00A0B"}, {999, "999\u00A0B"}, {16'000'000, "16.0\u00A0MB"}, {999'999, "1000\u00A0KB"}};
    for (const auto& [bytes, text] : sizes) EXPECT_EQ(ByteFormat::unbroken(bytes), text) << bytes;
    EXPECT_EQ(ByteFormat::unbroken(150000, true), "150.00\u00A0KB");
    EXPECT_EQ(ByteFormat::string(16'000'000), "16.0 MB");
}

TEST(ByteFormatString, UnitChosenBeforeRoundingAndPetabytesLast) {
    EXPECT_EQ(ByteFormat::string(999999), "1000 KB");
    EXPECT_EQ(ByteFormat::string(99960), "100.0 KB");
    EXPECT_EQ(ByteFormat::string(5000000000000000000), "5000 PB");
    EXPECT_EQ(ByteFormat::string(INT64_MAX), "9223 PB");
}

TEST(ByteFormatString, IndependentOfGlobalLocale) {
    // A locale whose decimal mark is a comma must not leak into sizes.
    struct Comma : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
    };
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new Comma));
    const std::string text = ByteFormat::string(1500);
    std::locale::global(previous);
    EXPECT_EQ(text, "1.50 KB");
}

TEST(ByteFormatCount, GroupsWithTheGivenLocale) {
    struct Grouping : std::numpunct<char> {
        char do_thousands_sep() const override { return ','; }
        std::string do_grouping() const override { return "\3"; }
    };
    const std::locale english(std::locale::classic(), new Grouping);
    EXPECT_EQ(ByteFormat::count(12345, english), "12,345");
    EXPECT_EQ(ByteFormat::count(1234567, english), "1,234,567");
    EXPECT_EQ(ByteFormat::count(-12345, english), "-12,345");
    EXPECT_EQ(ByteFormat::count(12345, std::locale::classic()), "12345");
}

namespace {

// Set in the copy of this program that checks the counts under a locale of the test's own.
constexpr const char* groupedLocaleCheck = "TALLYMERE_GROUPED_LOCALE_CHECK";

// Compiles a locale that groups digits in threes with "," (every other category the POSIX one's)
// into `folder`; false where the locale compiler or its sources are missing.
bool compileGroupedLocale(const std::string& folder) {
    const std::string source = folder + "/grouped.src";
    {
        std::ofstream out(source);
        for (const char* category : {"LC_CTYPE", "LC_COLLATE", "LC_TIME", "LC_MONETARY", "LC_MESSAGES", "LC_PAPER",
                                     "LC_NAME", "LC_ADDRESS", "LC_TELEPHONE", "LC_MEASUREMENT", "LC_IDENTIFICATION"})
            out << category << "\ncopy \"POSIX\"\nEND " << category << "\n";
        out << "LC_NUMERIC\ndecimal_point \".\"\nthousands_sep \",\"\ngrouping 3\nEND LC_NUMERIC\n";
    }
    // The compiler warns of categories it copies, and says so in its status; the files tell.
    const std::string command = "localedef -i '" + source + "' -f UTF-8 '" + folder + "/grouped.UTF-8' >/dev/null 2>&1";
    [[maybe_unused]] const int status = std::system(command.c_str());
    return std::ifstream(folder + "/grouped.UTF-8/LC_NUMERIC").good();
}

} // namespace

TEST(ByteFormatCount, GroupsAsTheUsersLocaleDoes) {
    if (std::getenv(groupedLocaleCheck)) {
        EXPECT_EQ(ByteFormat::count(7), "7");
        EXPECT_EQ(ByteFormat::count(999), "999");
        EXPECT_EQ(ByteFormat::count(1000), "1,000");
        EXPECT_EQ(ByteFormat::count(-12345), "-12,345");
        EXPECT_EQ(ByteFormat::count(1234567), "1,234,567");
        return;
    }
    // The user's locale is read once a process, so the check runs in a fresh copy of this program
    // started under the locale.
    const test::TempFolder folder("tm-locale");
    if (!compileGroupedLocale(folder.path())) GTEST_SKIP() << "no locale compiler or locale sources here";
    // The C library keeps the list of places a locale loaded from LOCPATH was looked for, which
    // the leak check of a sanitized build would count against the copy.
    const std::string suppressions = folder.path() + "/leaks.supp";
    std::ofstream(suppressions) << "leak:__argz_add_sep\n";
    const std::string command = std::string(groupedLocaleCheck) + "=1 LSAN_OPTIONS=suppressions='" + suppressions +
                                "' LOCPATH='" + folder.path() + "' LC_ALL=grouped.UTF-8 /proc/" + std::to_string(::getpid()) +
                                "/exe --gtest_filter=ByteFormatCount.GroupsAsTheUsersLocaleDoes >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
}

TEST(ByteFormatCount, UserLocaleGivesDigits) {
    // Whatever the environment's locale, the digits survive (grouping marks may be added).
    std::string text = ByteFormat::count(12345);
    std::erase_if(text, [](char c) { return c < '0' || c > '9'; });
    EXPECT_EQ(text, "12345");
}

namespace {
constexpr double day = 86400;
// 2024-03-15 12:00:00 UTC
constexpr double march15 = 1710504000;
} // namespace

TEST(ByteFormatRelative, NowUnderOneSecond) {
    EXPECT_EQ(ByteFormat::relative(march15, march15), "now");
    EXPECT_EQ(ByteFormat::relative(march15 - 0.9, march15), "now");
    EXPECT_EQ(ByteFormat::relative(march15 + 0.5, march15), "now");
}

TEST(ByteFormatRelative, LargestWholeUnitPastAndFuture) {
    EXPECT_EQ(ByteFormat::relative(march15 - 1, march15), "1 second ago");
    EXPECT_EQ(ByteFormat::relative(march15 - 59, march15), "59 seconds ago");
    EXPECT_EQ(ByteFormat::relative(march15 - 60, march15), "1 minute ago");
    EXPECT_EQ(ByteFormat::relative(march15 + 2 * 3600 + 59, march15), "in 2 hours");
    EXPECT_EQ(ByteFormat::relative(march15 - 3 * day, march15), "3 days ago");
    EXPECT_EQ(ByteFormat::relative(march15 - 13 * day, march15), "1 week ago");
    EXPECT_EQ(ByteFormat::relative(march15 + 21 * day, march15), "in 3 weeks");
}

TEST(ByteFormatRelative, MonthsAndYearsFollowTheCalendar) {
    setenv("TZ", "UTC0", 1);
    tzset();
    // Feb 15 to Mar 15 2024 is 29 days but one calendar month.
    EXPECT_EQ(ByteFormat::relative(march15 - 29 * day, march15), "1 month ago");
    // One day short of a calendar month is still weeks.
    EXPECT_EQ(ByteFormat::relative(march15 - 28 * day, march15), "4 weeks ago");
    // 2023-03-15 12:00 is exactly one year before; a second less is 11 months.
    EXPECT_EQ(ByteFormat::relative(march15 - 366 * day, march15), "1 year ago");
    EXPECT_EQ(ByteFormat::relative(march15 - 366 * day + 1, march15), "11 months ago");
    EXPECT_EQ(ByteFormat::relative(march15 + 5 * 365 * day + 2 * day, march15), "in 5 years");
    // Jan 31 plus one month clamps to Feb 29 in a leap year.
    constexpr double jan31 = 1706659200; // 2024-01-31 00:00 UTC
    EXPECT_EQ(ByteFormat::relative(jan31, jan31 + 29 * day), "1 month ago");
    EXPECT_EQ(ByteFormat::relative(jan31, jan31 + 28 * day), "4 weeks ago");
}

// Sets the process's time zone for one scope (POSIX TZ rules need no zone database).
class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        if (const char* previous = std::getenv("TZ")) m_previous = previous;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone() {
        if (m_previous) setenv("TZ", m_previous->c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> m_previous;
};

TEST(ByteFormatRelative, MonthsFollowTheUsersCalendarNotUtcs) {
    constexpr double day = 86400;
    constexpr double feb29Evening = 1709236800; // 2024-02-29 20:00 UTC
    const double fourWeeksLater = feb29Evening + 29 * day;
    {
        const TimeZone utc("UTC0");
        EXPECT_EQ(ByteFormat::relative(feb29Evening, fourWeeksLater), "1 month ago");
    }
    // Ten hours ahead it is Mar 1 06:00 to Mar 30 06:00: not yet a calendar month.
    const TimeZone ahead("XXX-10");
    EXPECT_EQ(ByteFormat::relative(feb29Evening, fourWeeksLater), "4 weeks ago");
    EXPECT_EQ(ByteFormat::relative(fourWeeksLater, feb29Evening), "in 4 weeks");
}

TEST(ByteFormatRelative, BeforeNineteenSeventyAndOddInput) {
    EXPECT_EQ(ByteFormat::relative(-366 * day * 10, 0), "10 years ago");
    EXPECT_EQ(ByteFormat::relative(std::nan(""), march15), "now");
}
