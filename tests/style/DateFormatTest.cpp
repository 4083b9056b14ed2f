#include "style/DateFormat.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cmath>

using namespace tallymere;

namespace {
// Noon of 2024-03-15 in local time, so the date part does not depend on the zone.
double march15Noon() {
    return static_cast<double>(QDateTime(QDate(2024, 3, 15), QTime(12, 0, 5)).toSecsSinceEpoch());
}
} // namespace

TEST(DateFormatPatterns, MediumDateDropsWeekdayAndAbbreviatesMonth) {
    EXPECT_EQ(DateFormat::mediumDatePattern(QLocale(QLocale::English, QLocale::UnitedStates)), "MMM d, yyyy");
    EXPECT_EQ(DateFormat::mediumDatePattern(QLocale(QLocale::German, QLocale::Germany)), "d. MMM yyyy");
}

TEST(DateFormatPatterns, EveryLocaleGetsFourDigitYearAndNoWeekday) {
    for (const QLocale& locale : {QLocale(QLocale::French, QLocale::France), QLocale(QLocale::Japanese, QLocale::Japan),
                                  QLocale(QLocale::English, QLocale::UnitedKingdom), QLocale::c()}) {
        const QString pattern = DateFormat::mediumDatePattern(locale);
        EXPECT_TRUE(pattern.contains("yyyy")) << pattern.toStdString();
        EXPECT_FALSE(pattern.contains("dddd")) << pattern.toStdString();
        const QString text = locale.toString(QDate(2024, 3, 15), pattern);
        EXPECT_TRUE(text.contains("2024")) << text.toStdString();
        EXPECT_TRUE(text.contains("15")) << text.toStdString();
    }
}

TEST(DateFormatText, EnglishPreciseAndAbsolute) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QString precise = DateFormat::precise(march15Noon(), english);
    const QString absolute = DateFormat::absolute(march15Noon(), english);
    // Qt may put a narrow no-break space before AM/PM; match any space.
    EXPECT_TRUE(QRegularExpression(R"(^Mar 15, 2024 12:00:05\sPM$)").match(precise).hasMatch()) << precise.toStdString();
    EXPECT_TRUE(QRegularExpression(R"(^Mar 15, 2024 12:00\sPM$)").match(absolute).hasMatch()) << absolute.toStdString();
}

TEST(DateFormatText, GermanUsesTwentyFourHours) {
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(DateFormat::absolute(march15Noon(), german), "15. März 2024 12:00");
    EXPECT_EQ(DateFormat::precise(march15Noon(), german), "15. März 2024 12:00:05");
}

TEST(DateFormatText, SystemLocaleShowsTheYear) {
    EXPECT_TRUE(DateFormat::precise(march15Noon()).contains("2024"));
    EXPECT_TRUE(DateFormat::absolute(march15Noon()).contains("2024"));
}

TEST(DateFormatText, WildSecondsStillGiveADate) {
    // Values a damaged snapshot can hold: each is formatted as some date, never converted unchecked.
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(DateFormat::precise(std::nan(""), english), DateFormat::precise(0, english)) << "NaN is the epoch";
    for (double wild : {1e300, -1e300, 9.3e15})
        EXPECT_FALSE(DateFormat::absolute(wild, english).trimmed().isEmpty()) << wild;
}
