#pragma once
#include <QLocale>
#include <QString>

namespace tallymere::DateFormat {

// Dates as the user's locale writes them, in local time: a medium date (abbreviated month name,
// four-digit year, no weekday) followed by a time. Seconds since 1970 in, text out.

// Medium date and medium time (with seconds, without the zone): snapshot times.
QString precise(double secondsSince1970);
// Medium date and short time: dates in the table view and its export.
QString absolute(double secondsSince1970);

// The same for a given locale, for callers (and tests) that choose it.
QString precise(double secondsSince1970, const QLocale& locale);
QString absolute(double secondsSince1970, const QLocale& locale);

// The patterns behind them, derived from the locale's long and short formats.
QString mediumDatePattern(const QLocale& locale);
QString mediumTimePattern(const QLocale& locale);
QString shortTimePattern(const QLocale& locale);

} // namespace tallymere::DateFormat
