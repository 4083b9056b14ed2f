#pragma once
#include <cstdint>
#include <optional>
#include <vector>

namespace tallymere {

// Splits instants into Gregorian calendar months of one time zone, for the years firstYear to
// lastYear. The month starts are worked out once when the calendar is made, with a table from each
// UTC day to the month it starts in, so splitting a date is two lookups rather than a time-zone
// conversion per file.
class MonthCalendar {
public:
    static constexpr int firstYear = 1991;
    static constexpr int lastYear = 2099;

    struct YearMonth {
        int year = 0;
        int month = 0; // 1...12
        friend bool operator==(const YearMonth&, const YearMonth&) = default;
    };

    // The months of the local time zone as it is set when the calendar is made.
    static MonthCalendar local();
    // The months of UTC, the same on every machine.
    static MonthCalendar utc();

    // The month holding `seconds` (since 1970); none before the first or after the last year, and
    // none for a value that is not a finite number, so a wild date is never converted.
    std::optional<YearMonth> yearMonth(double seconds) const;

    // The same as a month index counted from January of firstYear (12 a year), -1 for none: the
    // form the Age Map's inner loop uses.
    int monthIndex(double seconds) const {
        if (!(seconds >= m_starts.front() && seconds < m_starts.back())) return -1; // also NaN
        const auto day = static_cast<std::size_t>((seconds - m_firstDay) * (1.0 / 86400));
        std::size_t index = m_monthOfDay[day];
        // A local month can start during a UTC day, after the day's start.
        while (m_starts[index + 1] <= seconds) ++index;
        return static_cast<int>(index);
    }
    static constexpr int monthCount = (lastYear - firstYear + 1) * 12;

    // The instant a month starts, for months of the covered years.
    double monthStart(int year, int month) const;

private:
    explicit MonthCalendar(std::vector<double> starts);

    // Every month start from January of firstYear, then the start of the year after lastYear.
    std::vector<double> m_starts;
    // For each UTC day from the day of the first start: the month index at that day's start.
    std::vector<std::uint16_t> m_monthOfDay;
    double m_firstDay = 0;
};

} // namespace tallymere
