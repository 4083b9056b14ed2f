#pragma once
#include <cstdint>
#include <locale>
#include <string>
#include <string_view>

namespace tallymere::ByteFormat {

// Decimal byte size (steps of 1000), the same in every locale: "0 B" for negative values, "999 B",
// "1.50 KB", "15.0 KB", "150 KB", up to "PB". Two decimals when `precise` or below 10 in the unit,
// one below 100, none above. The unit is chosen before rounding, so 999,999 prints as "1000 KB".
std::string string(std::int64_t bytes, bool precise = false);

// The space a window puts between a figure and its unit, U+00A0 in UTF-8: no line breaks there.
inline constexpr std::string_view noBreakSpace = "\u00A0";
// string() with noBreakSpace between the figure and its unit, so the two never part: the size text
// of every view, banner and dialog. The command line prints string().
std::string unbroken(std::int64_t bytes, bool precise = false);

// A file or folder count with the grouping of the user's locale ("12,345" in English); plain
// digits when the user's locale cannot be loaded.
std::string count(std::int64_t n);
// The same with a given locale's grouping, for callers (and tests) that choose the locale.
std::string count(std::int64_t n, const std::locale& locale);

// The age of `date` seen from `now` (both seconds since 1970) in English with full unit names:
// "now" under one second apart, else the largest whole calendar unit of years, months, weeks,
// days, hours, minutes and seconds, as "3 days ago" or "in 2 hours" ("1 day ago" for one).
// Calendar units are counted on the Gregorian calendar in UTC.
std::string relative(double date, double now);
// The same seen from the current moment.
std::string relative(double date);

} // namespace tallymere::ByteFormat
