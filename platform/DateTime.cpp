#include "DateTime.h"

#include "SysUtils.h"

#include <QDate>
#include <QTime>

#include <cmath>

namespace {

// Compile-time constants, so that other files' static initialisers may
// already encode dates.
constexpr qint64 JulianDayOfZero = 2415019; // 30 December 1899
// 1 January of year 1, and the day after 31 December 9999, as TDateTime days.
constexpr double MinDays = -693593.0;
constexpr double MaxDays = 2958466.0;

std::function<TDateTime()>& clockSource()
{
    static std::function<TDateTime()> source;
    return source;
}

// Splits a value into whole days and milliseconds of the day. A negative
// value counts its days back from 30 December 1899 but its time forward
// from midnight, so -1.25 is 29 December 1899, 06:00.
bool split(TDateTime value, qint64& days, qint64& msecs)
{
    if (!std::isfinite(value) || value < MinDays || value >= MaxDays)
        return false;
    const double whole = std::trunc(value);
    days = static_cast<qint64>(whole);
    msecs = std::llround(std::fabs(value - whole) * MSecsPerDay);
    if (msecs >= static_cast<qint64>(MSecsPerDay)) { // rounded up to the next midnight
        msecs = 0;
        days += value < 0 ? -1 : 1;
    }
    return true;
}

} // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& out)
{
    if (year < 1 || year > 9999 || !QDate::isValid(year, month, day))
        return false;
    out = static_cast<double>(QDate(year, month, day).toJulianDay() - JulianDayOfZero);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& out)
{
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 || msec > 999)
        return false;
    out = static_cast<double>(((hour * 60 + minute) * 60 + second) * 1000 + msec) / MSecsPerDay;
    return true;
}

TDateTime EncodeDate(int year, int month, int day)
{
    TDateTime result = 0;
    if (!TryEncodeDate(year, month, day, result))
        throw EConvertError("Invalid argument to date encode");
    return result;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec)
{
    TDateTime result = 0;
    if (!TryEncodeTime(hour, minute, second, msec, result))
        throw EConvertError("Invalid argument to time encode");
    return result;
}

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute, int& second,
                    int& msec)
{
    qint64 days = 0, ms = 0;
    if (!split(value, days, ms)) {
        year = month = day = hour = minute = second = msec = 0;
        return;
    }
    const QDate date = QDate::fromJulianDay(JulianDayOfZero + days);
    year = date.year();
    month = date.month();
    day = date.day();
    hour = static_cast<int>(ms / 3600000);
    minute = static_cast<int>(ms / 60000 % 60);
    second = static_cast<int>(ms / 1000 % 60);
    msec = static_cast<int>(ms % 1000);
}

void DecodeDate(TDateTime value, int& year, int& month, int& day)
{
    int h, n, s, ms;
    DecodeDateTime(value, year, month, day, h, n, s, ms);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec)
{
    int y, m, d;
    DecodeDateTime(value, y, m, d, hour, minute, second, msec);
}

QDateTime DateTimeToQDateTime(TDateTime value)
{
    int y, m, d, h, n, s, ms;
    DecodeDateTime(value, y, m, d, h, n, s, ms);
    if (y == 0)
        return QDateTime();
    return QDateTime(QDate(y, m, d), QTime(h, n, s, ms), Qt::LocalTime);
}

TDateTime QDateTimeToDateTime(const QDateTime& value)
{
    if (!value.isValid())
        return 0.0;
    const QDateTime local = value.toLocalTime();
    const QDate date = local.date();
    const QTime time = local.time();
    TDateTime day = 0, tod = 0;
    if (!TryEncodeDate(date.year(), date.month(), date.day(), day))
        return 0.0;
    TryEncodeTime(time.hour(), time.minute(), time.second(), time.msec(), tod);
    // Before 30 December 1899 the time still counts forward from midnight.
    return day < 0 ? day - tod : day + tod;
}

TDateTime Now()
{
    if (clockSource())
        return clockSource()();
    return QDateTimeToDateTime(QDateTime::currentDateTime());
}

TDateTime Date()
{
    return std::trunc(Now());
}

namespace DateTimeClock {
void setSource(std::function<TDateTime()> source)
{
    clockSource() = std::move(source);
}
} // namespace DateTimeClock
