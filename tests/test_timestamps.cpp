// The platform's TDateTime and the sensor's 6-byte Timestamp.
#include "DateTime.h"
#include "HvSensor_Quarn.h"
#include "SysUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

namespace {

TDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return EncodeDate(y, mo, d) + EncodeTime(h, mi, s, ms);
}

Timestamp ts(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return Timestamp{uint8_t(y), uint8_t(mo), uint8_t(d), uint8_t(h), uint8_t(mi), uint8_t(s)};
}

std::string bytes(const Timestamp& t)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d %d %d %d %d %d", t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second);
    return buf;
}

} // namespace

TEST(DateTime, EncodesDaysSinceTheEndOf1899)
{
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
    EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
    EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
    int y, m, d;
    DecodeDate(-693593.0, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 10101);
    DecodeDate(2958465.5, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 99991231);
    EXPECT_EQ(EncodeTime(12, 0, 0, 0), 0.5);
    EXPECT_EQ(EncodeTime(6, 0, 0, 0), 0.25);
    EXPECT_DOUBLE_EQ(EncodeTime(23, 59, 59, 999), (MSecsPerDay - 1) / MSecsPerDay);
}

TEST(DateTime, RejectsPartsOutOfRange)
{
    struct Case {
        int y, mo, d;
    };
    for (const Case& c : {Case{2023, 2, 29}, Case{2024, 13, 1}, Case{2024, 0, 1}, Case{2024, 4, 31},
                          Case{0, 1, 1}, Case{10000, 1, 1}}) {
        SCOPED_TRACE(testing::Message() << c.y << "-" << c.mo << "-" << c.d);
        EXPECT_THROW(EncodeDate(c.y, c.mo, c.d), EConvertError);
    }
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
    EXPECT_THROW(EncodeTime(0, 60, 0, 0), EConvertError);
    EXPECT_THROW(EncodeTime(0, 0, 60, 0), EConvertError);
    EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);
    TDateTime out = 7;
    EXPECT_FALSE(TryEncodeDate(2100, 2, 29, out));
    EXPECT_TRUE(TryEncodeDate(2000, 2, 29, out));
}

TEST(DateTime, DecodesToTheMillisecond)
{
    struct Case {
        TDateTime value;
        int y, mo, d, h, mi, s, ms;
    };
    const Case cases[] = {
        {0.0, 1899, 12, 30, 0, 0, 0, 0},
        {at(2024, 2, 29, 13, 45, 30, 999), 2024, 2, 29, 13, 45, 30, 999},
        {at(2199, 12, 31, 23, 59, 59, 0), 2199, 12, 31, 23, 59, 59, 0},
        {-1.25, 1899, 12, 29, 6, 0, 0, 0}, // before 1899 the time counts forward from midnight
        {36526.0 - 1e-10, 2000, 1, 1, 0, 0, 0, 0}, // a hair below midnight rounds to it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        int y, mo, d, h, mi, s, ms;
        DecodeDateTime(c.value, y, mo, d, h, mi, s, ms);
        EXPECT_EQ(y, c.y);
        EXPECT_EQ(mo, c.mo);
        EXPECT_EQ(d, c.d);
        EXPECT_EQ(h, c.h);
        EXPECT_EQ(mi, c.mi);
        EXPECT_EQ(s, c.s);
        EXPECT_EQ(ms, c.ms);
    }
    // Not a date at all: every part 0, and nothing undefined on the way.
    for (TDateTime v : {std::nan(""), 1e300, -1e300, 1e7}) {
        int y = 1, mo = 1, d = 1, h = 1, mi = 1, s = 1, ms = 1;
        DecodeDateTime(v, y, mo, d, h, mi, s, ms);
        EXPECT_EQ(y + mo + d + h + mi + s + ms, 0) << v;
    }
}

TEST(DateTime, NowIsLocalTimeOrTheTestsClock)
{
    const QDateTime before = QDateTime::currentDateTime();
    const TDateTime now = Now();
    const QDateTime after = QDateTime::currentDateTime();
    EXPECT_GE(now, QDateTimeToDateTime(before));
    EXPECT_LE(now, QDateTimeToDateTime(after));
    EXPECT_EQ(DateTimeToQDateTime(now).toSecsSinceEpoch(), before.toSecsSinceEpoch())
        << "local wall-clock time, not UTC";
    EXPECT_EQ(Date(), std::trunc(now));

    // In a zone 5:30 ahead of UTC, Now() is 5:30 ahead of the UTC wall clock.
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "XST-05:30");
    tzset();
    const QDateTime utc = QDateTime::currentDateTimeUtc();
    const TDateTime utcWall = EncodeDate(utc.date().year(), utc.date().month(), utc.date().day())
        + EncodeTime(utc.time().hour(), utc.time().minute(), utc.time().second(), utc.time().msec());
    EXPECT_NEAR((Now() - utcWall) * HoursPerDay, 5.5, 0.01);
    if (oldTz.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldTz);
    tzset();

    DateTimeClock::setSource([] { return at(2024, 3, 5, 10, 20, 30); });
    EXPECT_EQ(Now(), at(2024, 3, 5, 10, 20, 30));
    EXPECT_EQ(Date(), EncodeDate(2024, 3, 5));
    DateTimeClock::setSource(nullptr);
    EXPECT_NEAR(Now(), QDateTimeToDateTime(QDateTime::currentDateTime()), 5.0 / SecsPerDay);
}

TEST(Timestamps, FromTDateTime)
{
    struct Case {
        const char* what;
        TDateTime value;
        Timestamp expected;
    };
    const Case cases[] = {
        {"no time", 0.0, ts(0, 0, 0)},
        {"leap day", at(2024, 2, 29, 13, 45, 30), ts(24, 2, 29, 13, 45, 30)},
        {"milliseconds are dropped", at(2024, 2, 29, 13, 45, 30, 999), ts(24, 2, 29, 13, 45, 30)},
        {"first second", at(2000, 1, 1), ts(0, 1, 1)},
        {"last second", at(2199, 12, 31, 23, 59, 59, 999), ts(199, 12, 31, 23, 59, 59)},
        {"1999 wraps to 255", at(1999, 12, 31, 23, 59, 59), ts(255, 12, 31, 23, 59, 59)},
        {"2200 gives 200", at(2200, 1, 1), ts(200, 1, 1)},
        {"2256 wraps to 0", at(2256, 7, 1, 12), ts(0, 7, 1, 12)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Timestamp out = ts(9, 9, 9, 9, 9, 9);
        TSensor_Quarn::decodeTDateTime(c.value, &out);
        EXPECT_EQ(bytes(out), bytes(c.expected));
    }
}

TEST(Timestamps, ToTDateTime)
{
    struct Case {
        const char* what;
        Timestamp stamp;
        TDateTime expected; // 0.0: rejected
    };
    const Case cases[] = {
        {"all zero", ts(0, 0, 0), 0.0},
        {"ordinary", ts(24, 6, 30, 17, 45, 10), at(2024, 6, 30, 17, 45, 10)},
        {"29 February 2000", ts(0, 2, 29), at(2000, 2, 29)},
        {"29 February 2024", ts(24, 2, 29, 23, 59, 59), at(2024, 2, 29, 23, 59, 59)},
        {"29 February 2100", ts(100, 2, 29), 0.0},
        {"30 February", ts(24, 2, 30), 0.0},
        {"31 April", ts(24, 4, 31), 0.0},
        {"day 0", ts(24, 4, 0), 0.0},
        {"month 13", ts(24, 13, 1), 0.0},
        {"month 0", ts(24, 0, 1), 0.0},
        {"year 199", ts(199, 12, 31, 23, 59, 59), at(2199, 12, 31, 23, 59, 59)},
        {"year 200", ts(200, 1, 1), 0.0},
        {"year 255", ts(255, 12, 31), 0.0},
        {"hour 25", ts(24, 1, 1, 25), 0.0},
        {"minute 60", ts(24, 1, 1, 0, 60), 0.0},
        {"second 60", ts(24, 1, 1, 0, 0, 60), 0.0},
        {"hour 24 is that time past the next midnight", ts(24, 3, 31, 24, 10, 5), at(2024, 4, 1, 0, 10, 5)},
        {"hour 24 at the end of 2199", ts(199, 12, 31, 24), EncodeDate(2200, 1, 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TDateTime out = 12345.0;
        TSensor_Quarn::encodeTDateTime(c.stamp, &out);
        EXPECT_EQ(out, c.expected);
        EXPECT_EQ(TSensor_Quarn::IsValidTimestamp(c.stamp), c.expected != 0.0);
    }
}

TEST(Timestamps, EveryDayOf200YearsSurvivesTheRoundTrip)
{
    // Seconds near the ends of a day are where floating-point rounding would
    // show.
    const Timestamp times[] = {ts(0, 0, 0, 0, 0, 0), ts(0, 0, 0, 0, 0, 1), ts(0, 0, 0, 12, 34, 56),
                               ts(0, 0, 0, 23, 59, 59)};
    int days = 0;
    for (int y = 0; y < 200; ++y)
        for (int m = 1; m <= 12; ++m)
            for (int d = 1; d <= TSensor_Quarn::DaysPerMonth(2000 + y, m); ++d, ++days)
                for (Timestamp t : times) {
                    t.Year = uint8_t(y);
                    t.Month = uint8_t(m);
                    t.Day = uint8_t(d);
                    TDateTime v = 0;
                    TSensor_Quarn::encodeTDateTime(t, &v);
                    Timestamp back{};
                    TSensor_Quarn::decodeTDateTime(v, &back);
                    ASSERT_EQ(bytes(back), bytes(t));
                }
    EXPECT_EQ(days, 73049); // 200 years, 49 of them leap years
}

TEST(Timestamps, CalendarRules)
{
    struct Leap {
        int year;
        bool leap;
    };
    for (const Leap& c : {Leap{2000, true}, Leap{2024, true}, Leap{2023, false}, Leap{2100, false},
                          Leap{2400, true}, Leap{1900, false}}) {
        EXPECT_EQ(TSensor_Quarn::IsLeapYear(c.year), c.leap) << c.year;
    }
    const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int m = 1; m <= 12; ++m) {
        EXPECT_EQ(TSensor_Quarn::DaysPerMonth(2023, m), lengths[m - 1]) << m;
        EXPECT_EQ(TSensor_Quarn::DaysPerMonth(2024, m), lengths[m - 1] + (m == 2)) << m;
    }
    // Outside the table: no length rather than a read past it.
    EXPECT_EQ(TSensor_Quarn::DaysPerMonth(2024, 0), 0);
    EXPECT_EQ(TSensor_Quarn::DaysPerMonth(2024, 13), 0);
    EXPECT_EQ(TSensor_Quarn::DaysPerMonth(2024, -1), 0);
}

TEST(Timestamps, PlacedIntoACommandInOrder)
{
    uint8_t buffer[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    TSensor_Quarn::encodeTimestamp(ts(24, 12, 31, 23, 58, 59), buffer + 1);
    const uint8_t expected[8] = {0xEE, 24, 12, 31, 23, 58, 59, 0xEE};
    EXPECT_EQ(0, std::memcmp(buffer, expected, sizeof buffer));
}
