// Date and time as the sensor code and the windows handle it: a double of days
// since 30 December 1899 (the integer part) plus the fraction of the day, in
// local wall-clock time without a time zone. 0.0 is used as "no time".
#pragma once

#include <QDateTime>

#include <cstdint>
#include <functional>

using TDateTime = double;

constexpr double HoursPerDay = 24.0;
constexpr double SecsPerDay = 86400.0;
constexpr double MSecsPerDay = 86400000.0;

// Date and time parts to a TDateTime; raise EConvertError on a part out of
// range (hours 0 to 23, years 1 to 9999).
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& out);

// A TDateTime to its parts, to the millisecond (rounded). A value outside the
// years 1 to 9999 (or not a number) gives all parts 0.
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec);
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute, int& second,
                    int& msec);

// The PC's local time now, and today at midnight.
TDateTime Now();
TDateTime Date();

// Conversions at the Qt boundary (local time).
QDateTime DateTimeToQDateTime(TDateTime value);
TDateTime QDateTimeToDateTime(const QDateTime& value);

namespace DateTimeClock {
// Makes Now() and Date() read `source` instead of the system clock, so tests
// can fix the PC's time; an empty function restores the system clock.
void setSource(std::function<TDateTime()> source);
} // namespace DateTimeClock
