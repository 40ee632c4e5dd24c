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
    EXPECT_EQ(DateToStr(t, de), "26.06.24");
    EXPECT_EQ(TimeToStr(t, de), "14:30:05");

    const TFormatSettings us = TFormatSettings::FromLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(us.DecimalSeparator, '.');
    EXPECT_EQ(DateToStr(t, us), "6/26/24");
    const std::string time = TimeToStr(t, us); // no time zone; the blank before PM varies with the data
    EXPECT_EQ(time.substr(0, 7), "2:30:05");
    EXPECT_EQ(time.substr(time.size() - 2), "PM");
}
