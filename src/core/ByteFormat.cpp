#include "core/ByteFormat.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <ctime>
#include <cmath>
#include <sstream>
#include <string_view>

namespace tallymere::ByteFormat {

namespace {

// Fixed decimals with "." in every locale: to_chars ignores the global locale.
std::string fixed(double value, int decimals) {
    std::array<char, 64> buffer{};
    auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, decimals);
    if (error != std::errc{}) return "0";
    return std::string(buffer.data(), end);
}

// The user's locale, loaded once; the classic locale (no grouping) when the environment names
// one that is not installed.
const std::locale& userLocale() {
    static const std::locale locale = [] {
        try {
            return std::locale("");
        } catch (const std::exception&) {
            return std::locale::classic();
        }
    }();
    return locale;
}

// Days since 1970-01-01 of a Gregorian date, and back (proleptic, any year).
std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct Civil {
    std::int64_t year;
    int month; // 1...12
    int day;   // 1...31
    std::int64_t secondOfDay;
};

Civil civilFromSeconds(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t secondOfDay = seconds % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        --days;
    }
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {yearOfEra + era * 400 + (month <= 2), month, day, secondOfDay};
}

bool isLeap(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(std::int64_t year, int month) {
    static constexpr std::array<int, 12> lengths{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : lengths[month - 1];
}

// `start` moved on by whole months, the day clamped to the target month's length (Jan 31 plus one
// month is the last day of February), the time of day kept.
std::int64_t addMonths(const Civil& start, std::int64_t months) {
    const std::int64_t monthIndex = start.year * 12 + (start.month - 1) + months;
    const std::int64_t year = monthIndex >= 0 ? monthIndex / 12 : (monthIndex - 11) / 12;
    const int month = static_cast<int>(monthIndex - year * 12) + 1;
    const int day = std::min(start.day, daysInMonth(year, month));
    return daysFromCivil(year, month, day) * 86400 + start.secondOfDay;
}

// Seconds the user's time zone is ahead of UTC at a moment; 0 when it cannot be told.
std::int64_t localOffset(std::int64_t seconds) {
    const auto moment = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (static_cast<std::int64_t>(moment) != seconds || !localtime_r(&moment, &local)) return 0;
    return local.tm_gmtoff;
}

std::string unitText(std::int64_t amount, std::string_view unit) {
    std::string text = std::to_string(amount);
    text += ' ';
    text += unit;
    if (amount != 1) text += 's';
    return text;
}

} // namespace

namespace {

std::string sizeText(std::int64_t bytes, bool precise, std::string_view gap) {
    if (bytes < 0) return std::string("0").append(gap).append("B");
    if (bytes < 1000) return std::to_string(bytes).append(gap).append("B");

    static constexpr std::array<std::string_view, 5> units{"KB", "MB", "GB", "TB", "PB"};
    double value = static_cast<double>(bytes) / 1000.0;
    std::size_t unit = 0;
    while (value >= 1000.0 && unit + 1 < units.size()) {
        value /= 1000.0;
        ++unit;
    }
    const int decimals = (precise || value < 10.0) ? 2 : value < 100.0 ? 1 : 0;
    std::string text = fixed(value, decimals);
    text += gap;
    text += units[unit];
    return text;
}

} // namespace

std::string string(std::int64_t bytes, bool precise) { return sizeText(bytes, precise, " "); }

std::string unbroken(std::int64_t bytes, bool precise) { return sizeText(bytes, precise, noBreakSpace); }

std::string count(std::int64_t n) { return count(n, userLocale()); }

std::string count(std::int64_t n, const std::locale& locale) {
    try {
        std::ostringstream stream;
        stream.imbue(locale);
        stream << n;
        if (stream) return stream.str();
    } catch (const std::exception&) {
    }
    return std::to_string(n);
}

std::string relative(double date, double now) {
    if (!std::isfinite(date) || !std::isfinite(now) || std::fabs(date - now) < 1.0) return "now";
    const bool past = date < now;
    // Whole seconds; beyond about 290 billion years the clamp keeps the arithmetic in range.
    constexpr double limit = 9.0e15;
    const auto earlier = static_cast<std::int64_t>(std::floor(std::clamp(std::min(date, now), -limit, limit)));
    const auto later = static_cast<std::int64_t>(std::floor(std::clamp(std::max(date, now), -limit, limit)));

    // Months and years are counted on the user's calendar, in local time; shorter units in elapsed
    // seconds.
    const std::int64_t localEarlier = earlier + localOffset(earlier);
    const std::int64_t localLater = later + localOffset(later);
    const Civil start = civilFromSeconds(localEarlier);
    const Civil end = civilFromSeconds(localLater);
    std::int64_t months = (end.year - start.year) * 12 + (end.month - start.month);
    while (months > 0 && addMonths(start, months) > localLater) --months;

    std::string amount;
    if (months >= 12) {
        amount = unitText(months / 12, "year");
    } else if (months > 0) {
        amount = unitText(months, "month");
    } else {
        const std::int64_t rest = later - earlier;
        if (rest >= 7 * 86400) amount = unitText(rest / (7 * 86400), "week");
        else if (rest >= 86400) amount = unitText(rest / 86400, "day");
        else if (rest >= 3600) amount = unitText(rest / 3600, "hour");
        else if (rest >= 60) amount = unitText(rest / 60, "minute");
        else amount = unitText(std::max<std::int64_t>(rest, 1), "second");
    }
    return past ? amount + " ago" : "in " + amount;
}

std::string relative(double date) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return relative(date, std::chrono::duration<double>(now).count());
}

} // namespace tallymere::ByteFormat
