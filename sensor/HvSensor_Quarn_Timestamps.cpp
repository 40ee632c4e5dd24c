// The sensor's 6-byte Timestamp and its conversions to and from TDateTime.
#include "HvSensor_Quarn.h"

#include <cstring>

namespace {
const int MonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
}

void TSensor_Quarn::encodeTimestamp(const Timestamp& ts, uint8_t* buffer)
{
    std::memcpy(buffer, &ts, sizeof ts);
}

void TSensor_Quarn::decodeTDateTime(TDateTime value, Timestamp* out)
{
    int year, month, day, hour, minute, second, msec;
    DecodeDateTime(value, year, month, day, hour, minute, second, msec);
    if (value == 0.0) {
        *out = Timestamp{};
        return;
    }
    // The year byte wraps: 1999 gives 255, which the validity test rejects.
    out->Year = static_cast<uint8_t>(year - 2000);
    out->Month = static_cast<uint8_t>(month);
    out->Day = static_cast<uint8_t>(day);
    out->Hour = static_cast<uint8_t>(hour);
    out->Minute = static_cast<uint8_t>(minute);
    out->Second = static_cast<uint8_t>(second); // milliseconds are dropped
}

void TSensor_Quarn::encodeTDateTime(const Timestamp& ts, TDateTime* out)
{
    if (!IsValidTimestamp(ts)) {
        *out = 0.0;
        return;
    }
    const TDateTime date = EncodeDate(2000 + ts.Year, ts.Month, ts.Day);
    TDateTime time = 0;
    if (TryEncodeTime(ts.Hour, ts.Minute, ts.Second, 0, time)) {
        *out = date + time;
        return;
    }
    // Hour 24 passes the validity test but is no time of day: it is taken as
    // that time past midnight of the next day.
    TryEncodeTime(ts.Hour - 24, ts.Minute, ts.Second, 0, time);
    *out = date + 1.0 + time;
}

bool TSensor_Quarn::IsValidTimestamp(const Timestamp& ts)
{
    return ts.Year < 200 && ts.Month >= 1 && ts.Month <= 12 && ts.Day >= 1
        && ts.Day <= DaysPerMonth(2000 + ts.Year, ts.Month) && ts.Hour < 25 && ts.Minute < 60 && ts.Second < 60;
}

bool TSensor_Quarn::IsLeapYear(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int TSensor_Quarn::DaysPerMonth(int year, int month)
{
    if (month < 1 || month > 12)
        return 0;
    return MonthDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}
