#include "style/DateFormat.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace tallymere::DateFormat {

namespace {

// Walks a date-time pattern, passing quoted literals through and letting `edit` rewrite each run of
// one repeated pattern letter (e.g. "MMMM"). Returning an empty string drops the run.
template <class Edit>
QString rewriteFields(const QString& pattern, Edit edit) {
    QString out;
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern[i];
        if (c == u'\'') {
            const qsizetype close = pattern.indexOf(u'\'', i + 1);
            const qsizetype end = close < 0 ? pattern.size() : close + 1;
            out += pattern.mid(i, end - i);
            i = end;
            continue;
        }
        qsizetype j = i;
        while (j < pattern.size() && pattern[j] == c) ++j;
        const QString run = pattern.mid(i, j - i);
        out += c.isLetter() ? edit(run) : run;
        i = j;
    }
    return out;
}

// Removes separators left dangling at either end or doubled where a field was dropped.
QString tidy(QString pattern) {
    static const QString separators = QStringLiteral(" ,.-/");
    while (!pattern.isEmpty() && separators.contains(pattern.front()) && pattern.front() != u'.')
        pattern.remove(0, 1);
    while (!pattern.isEmpty() && (pattern.back() == u' ' || pattern.back() == u','))
        pattern.chop(1);
    while (pattern.contains(QStringLiteral("  "))) pattern.replace(QStringLiteral("  "), QStringLiteral(" "));
    return pattern;
}

QDateTime localTime(double secondsSince1970) {
    // Dates can come from a snapshot file; keep a wild value (NaN, 1e300) inside what a 64-bit count of
    // milliseconds holds, about a million years either way, instead of converting it unchecked.
    constexpr double limit = 3.0e13;
    const double seconds = std::isfinite(secondsSince1970) ? std::clamp(secondsSince1970, -limit, limit) : 0.0;
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(seconds * 1000.0));
}

const QLocale& systemLocale() {
    static const QLocale locale = QLocale::system();
    return locale;
}

} // namespace

QString mediumDatePattern(const QLocale& locale) {
    // The long date without the weekday, with an abbreviated month and a four-digit year:
    // "dddd, MMMM d, yyyy" becomes "MMM d, yyyy".
    QString pattern = rewriteFields(locale.dateFormat(QLocale::LongFormat), [](const QString& run) {
        const QChar c = run.front();
        if (c == u'd' && run.size() >= 3) return QStringLiteral("\x01"); // weekday, dropped below
        if ((c == u'M' || c == u'L') && run.size() >= 4) return QString(3, c);
        if (c == u'y') return QStringLiteral("yyyy");
        return run;
    });
    // Drop the weekday marker together with the separator that follows (or precedes) it.
    const qsizetype marker = pattern.indexOf(QChar(1));
    if (marker >= 0) {
        qsizetype end = marker + 1;
        while (end < pattern.size() && (pattern[end] == u',' || pattern[end] == u' ')) ++end;
        qsizetype start = marker;
        if (end == pattern.size())
            while (start > 0 && (pattern[start - 1] == u',' || pattern[start - 1] == u' ')) --start;
        pattern.remove(start, end - start);
    }
    return tidy(pattern);
}

QString mediumTimePattern(const QLocale& locale) {
    // The long time without its zone name: "h:mm:ss AP t" becomes "h:mm:ss AP".
    return tidy(rewriteFields(locale.timeFormat(QLocale::LongFormat), [](const QString& run) {
        return run.front() == u't' ? QString() : run;
    }));
}

QString shortTimePattern(const QLocale& locale) { return locale.timeFormat(QLocale::ShortFormat); }

QString precise(double secondsSince1970, const QLocale& locale) {
    const QDateTime time = localTime(secondsSince1970);
    return locale.toString(time, mediumDatePattern(locale)) + u' ' + locale.toString(time, mediumTimePattern(locale));
}

QString absolute(double secondsSince1970, const QLocale& locale) {
    const QDateTime time = localTime(secondsSince1970);
    return locale.toString(time, mediumDatePattern(locale)) + u' ' + locale.toString(time, shortTimePattern(locale));
}

QString precise(double secondsSince1970) { return precise(secondsSince1970, systemLocale()); }

QString absolute(double secondsSince1970) { return absolute(secondsSince1970, systemLocale()); }

} // namespace tallymere::DateFormat
