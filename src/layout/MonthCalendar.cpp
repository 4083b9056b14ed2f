#include "layout/MonthCalendar.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace tallymere {
namespace {

// Days from 1970-01-01 to the first of a Gregorian month, by the civil-calendar arithmetic of
// proleptic Gregorian dates (valid for every year here).
long long daysFromCivil(int year, int month) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153LL * (month + (month > 2 ? -3 : 9)) + 2) / 5; // day 1 of the month
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

constexpr double secondsPerDay = 86400;

} // namespace

MonthCalendar::MonthCalendar(std::vector<double> starts) : m_starts(std::move(starts)) {
    m_firstDay = std::floor(m_starts.front() / secondsPerDay) * secondsPerDay;
    const auto days = static_cast<std::size_t>((m_starts.back() - m_firstDay) / secondsPerDay) + 1;
    m_monthOfDay.resize(days);
    std::size_t month = 0;
    for (std::size_t day = 0; day < days; ++day) {
        const double start = m_firstDay + static_cast<double>(day) * secondsPerDay;
        while (month + 1 < m_starts.size() && m_starts[month + 1] <= start) ++month;
        m_monthOfDay[day] = static_cast<std::uint16_t>(month);
    }
}

MonthCalendar MonthCalendar::utc() {
    std::vector<double> starts;
    starts.reserve(static_cast<std::size_t>(monthCount) + 1);
    for (int index = 0; index <= monthCount; ++index) {
        const int year = firstYear + index / 12, month = index % 12 + 1;
        starts.push_back(static_cast<double>(daysFromCivil(year, month)) * 86400.0);
    }
    return MonthCalendar(std::move(starts));
}

MonthCalendar MonthCalendar::local() {
    ::tzset();
    std::vector<double> starts;
    starts.reserve(static_cast<std::size_t>(monthCount) + 1);
    for (int index = 0; index <= monthCount; ++index) {
        std::tm fields{};
        fields.tm_year = firstYear + index / 12 - 1900;
        fields.tm_mon = index % 12;
        fields.tm_mday = 1;
        fields.tm_isdst = -1; // let the zone's rules say whether summer time applies
        const std::time_t start = std::mktime(&fields);
        // mktime fails only outside time_t's range, which these years are not; fall back to UTC
        // midnight rather than leave a hole in the table.
        starts.push_back(start == static_cast<std::time_t>(-1)
                             ? static_cast<double>(daysFromCivil(firstYear + index / 12, index % 12 + 1)) * 86400.0
                             : static_cast<double>(start));
    }
    return MonthCalendar(std::move(starts));
}

std::optional<MonthCalendar::YearMonth> MonthCalendar::yearMonth(double seconds) const {
    const int month = monthIndex(seconds);
    if (month < 0) return std::nullopt;
    return YearMonth{firstYear + month / 12, month % 12 + 1};
}

double MonthCalendar::monthStart(int year, int month) const {
    const int index = std::clamp((year - firstYear) * 12 + month - 1, 0, monthCount);
    return m_starts[static_cast<std::size_t>(index)];
}

} // namespace tallymere
