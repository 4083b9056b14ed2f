#include "core/ByteFormat.h"

#include <langinfo.h>
#include <locale.h>

#include <array>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>

// Counts apart from the other formats: a program that prints only counts (the duplicate search's
// progress) then links none of the floating-point formatting and calendar code, nor the maths
// library they call.
namespace tallymere::ByteFormat {

namespace {

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

// The fewest digits a number needs for the user's locale to group it; SIZE_MAX when it never
// does. Read from the locale's numeric category alone, which is all a count's text depends on:
// building the whole locale maps every category's data and runs the stream machinery, which the
// duplicate search, printing a count or two, would otherwise pay for in resident memory. When
// that category cannot be loaded the whole locale cannot either, and the classic one groups
// nothing; a separator of several bytes is left to the stream, which narrows it its own way.
std::size_t groupingDigits() {
    static const std::size_t digits = [] {
        // The C locales group nothing; named by the environment, they need no loading at all.
        const char* name = nullptr;
        for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"})
            if (const char* value = std::getenv(variable); value && *value) {
                name = value;
                break;
            }
        if (!name) return SIZE_MAX;
        for (const char* plain : {"C", "POSIX", "C.UTF-8", "C.utf8"})
            if (std::strcmp(name, plain) == 0) return SIZE_MAX;
        const locale_t numeric = ::newlocale(LC_NUMERIC_MASK, "", locale_t(nullptr));
        if (!numeric) return SIZE_MAX;
        std::size_t least = SIZE_MAX;
        const char* separator = ::nl_langinfo_l(THOUSANDS_SEP, numeric);
        const char* grouping = ::nl_langinfo_l(GROUPING, numeric);
        if (separator && separator[0] != '\0' && grouping) {
            const auto first = static_cast<signed char>(grouping[0]);
            if (separator[1] != '\0') least = 0; // several bytes: always the stream's way
            else if (first > 0 && grouping[0] != CHAR_MAX) least = static_cast<std::size_t>(first) + 1;
        }
        ::freelocale(numeric);
        return least;
    }();
    return digits;
}

} // namespace

std::string count(std::int64_t n) {
    std::array<char, 24> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), n);
    const std::size_t digits = static_cast<std::size_t>(end - buffer.data()) - (n < 0 ? 1 : 0);
    if (error == std::errc{} && digits < groupingDigits()) return std::string(buffer.data(), end);
    return count(n, userLocale());
}

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

} // namespace tallymere::ByteFormat
