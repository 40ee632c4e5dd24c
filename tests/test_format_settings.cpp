// Numbers, dates and times in regional formats.
#include "FormatSettings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(FormatSettings, FixedNotation)
{
    const TFormatSettings dot = TFormatSettings::FromLocale(QLocale(QLocale::English, QLocale::UnitedKingdom));
    struct Case {
        double value;
        int digits;
        std::string text;
    };
    const Case cases[] = {
        {7.25, 2, "7.25"},
        {0.0, 2, "0.00"},
        {-0.5, 1, "-0.5"},
        {512.5, 0, "513"},             // a half rounds away from zero
        {-512.5, 0, "-513"},
        {0.125, 2, "0.13"},
        {2.675, 2, "2.67"},            // just below the half in binary
        {0.1f, 6, "0.100000"},         // a float's binary noise stays below 10 digits
        {123456.703125, 6, "123456.703100"}, // ten significant digits, then zeros
        {1234567.891234, 6, "1234567.891000"},
        {9999999999.5, 0, "10000000000"},
        {-1e10, 0, "-10000000000"},
        {-1e10, 2, "-10000000000.00"},
        {0.004, 2, "0.00"},
        {-0.004, 2, "0.00"},           // rounds to zero: no sign
        {0.006, 2, "0.01"},
        {0.0004, 2, "0.00"},
        {99.96, 1, "100.0"},
        {1e-12, 15, "0.000000000001000"},
        {3.0, 25, "3.000000000000000000"}, // at most 18 decimals
        {3.4e38, 2, "340000000000000000000000000000000000000.00"},
        {-1.5e300, 0, "-15" + std::string(299, '0')},
        {std::numeric_limits<double>::quiet_NaN(), 2, "NAN"},
        {-std::numeric_limits<double>::infinity(), 2, "-INF"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FloatToStrF(c.value, ffFixed, 10, c.digits, dot), c.text) << c.value << " with " << c.digits;
}

TEST(FormatSettings, LocaleSeparatorsDatesAndTimes)
{
    const TFormatSettings de = TFormatSettings::FromLocale(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(de.DecimalSeparator, ',');
    EXPECT_EQ(FloatToStrF(-21.25, ffFixed, 10, 2, de), "-21,25");
    const TDateTime t = EncodeDate(2024, 6, 26) + EncodeTime(14, 30, 5, 0);
    EXPECT_EQ(TimeToStr(t, de), "14:30:05");

    const TFormatSettings us = TFormatSettings::FromLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(us.DecimalSeparator, '.');
    const std::string time = TimeToStr(t, us); // no time zone; the blank before PM varies with the data
    EXPECT_EQ(time.substr(0, 7), "2:30:05");
    EXPECT_EQ(time.substr(time.size() - 2), "PM");
}

TEST(FormatSettings, ShortDatesKeepTheLocalesOrderWithFourDigitYears)
{
    // Many locales' short dates cut the year to two digits; a logged series
    // that spans a century, or is read years later, needs all four.
    struct Case {
        const char* locale;
        const char* june26th2024;
        const char* january2nd2105;
    };
    const Case cases[] = {
        {"en_US", "6/26/2024", "1/2/2105"},
        {"de_DE", "26.06.2024", "02.01.2105"},
        {"en_GB", "26/06/2024", "02/01/2105"},   // four digits already
        {"es_ES", "26/6/2024", "2/1/2105"},
        {"ko_KR", "2024. 6. 26.", "2105. 1. 2."}, // year first
        {"ja_JP", "2024/06/26", "2105/01/02"},
        {"sr_RS", "26.6.2024.", "2.1.2105."},
        {"bg_BG", "26.06.2024 \xD0\xB3.", "2.01.2105 \xD0\xB3."}, // quoted text after the year
    };
    const TDateTime t1 = EncodeDate(2024, 6, 26) + EncodeTime(14, 30, 5, 0);
    const TDateTime t2 = EncodeDate(2105, 1, 2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        const TFormatSettings s = TFormatSettings::FromLocale(QLocale(QString::fromLatin1(c.locale)));
        EXPECT_EQ(DateToStr(t1, s), c.june26th2024);
        EXPECT_EQ(DateToStr(t2, s), c.january2nd2105);
    }
}
