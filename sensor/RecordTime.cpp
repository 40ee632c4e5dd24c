#include "RecordTime.h"

#include "sonderecordcmd.h"

#include <cstring>

namespace RecordTime {

bool toCivil(const Timestamp& time, long addSeconds, Civil& out)
{
    // A record's time is asked for several times in a row (its lines, its
    // row, the last record): the last answer is kept.
    thread_local Timestamp lastTime{};
    thread_local Civil lastCivil{};
    thread_local bool lastValid = false;
    if (addSeconds == 0 && lastValid && std::memcmp(&time, &lastTime, sizeof time) == 0) {
        out = lastCivil;
        return true;
    }
    if (!TSondeRecordCmd::IsValidTimestamp(time))
        return false;
    out.Year = 2000 + time.Year;
    out.Month = time.Month;
    out.Day = time.Day;
    long seconds = time.Hour * 3600L + time.Minute * 60L + time.Second + (addSeconds > 0 ? addSeconds : 0);
    long days = seconds / 86400;
    seconds %= 86400;
    out.Hour = static_cast<int>(seconds / 3600);
    out.Minute = static_cast<int>(seconds / 60 % 60);
    out.Second = static_cast<int>(seconds % 60);
    for (; days > 0; --days) {
        if (++out.Day > TSondeRecordCmd::DaysPerMonth(out.Year, out.Month)) {
            out.Day = 1;
            if (++out.Month > 12) {
                out.Month = 1;
                ++out.Year;
            }
        }
    }
    if (addSeconds == 0) {
        lastTime = time;
        lastCivil = out;
        lastValid = true;
    }
    return true;
}

namespace {

// Days from 1 January 1970 to a date of the Gregorian calendar.
long daysFromCivil(int year, int month, int day)
{
    year -= month <= 2;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yearOfEra = year - era * 400;
    const long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

constexpr long DaysFrom1899To1970 = 25569; // TDateTime counts from 30 December 1899

} // namespace

// The same value as EncodeDate + EncodeTime, without a QDate for each of a
// million records.
TDateTime toDateTime(const Civil& civil)
{
    if (civil.Year < 1 || civil.Year > 9999 || civil.Month < 1 || civil.Month > 12 || civil.Day < 1
        || civil.Day > TSondeRecordCmd::DaysPerMonth(civil.Year, civil.Month) || civil.Hour < 0 || civil.Hour > 23
        || civil.Minute < 0 || civil.Minute > 59 || civil.Second < 0 || civil.Second > 59)
        return 0;
    const TDateTime date = static_cast<double>(daysFromCivil(civil.Year, civil.Month, civil.Day) + DaysFrom1899To1970);
    const TDateTime time = static_cast<double>(((civil.Hour * 60 + civil.Minute) * 60 + civil.Second) * 1000) / MSecsPerDay;
    return date + time;
}

bool toDateTime(const Timestamp& time, long addSeconds, TDateTime& out)
{
    Civil civil{};
    if (!toCivil(time, addSeconds, civil))
        return false;
    out = toDateTime(civil);
    return true;
}

bool sameSecond(const Civil& a, const Civil& b)
{
    return a.Year == b.Year && a.Month == b.Month && a.Day == b.Day && a.Hour == b.Hour && a.Minute == b.Minute
        && a.Second == b.Second;
}

namespace {

constexpr char DigitPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                               "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                               "8081828384858687888990919293949596979899";

// Two digits of a value 0 to 99 (others as their last two digits; a
// negative value as zeros).
char* pair(char* out, int value)
{
    const unsigned v = value < 0 ? 0u : static_cast<unsigned>(value) % 100;
    std::memcpy(out, DigitPairs + 2 * v, 2);
    return out + 2;
}

} // namespace

char* writeStamp(char* out, const Civil& civil)
{
    out = pair(out, civil.Year < 0 ? 0 : civil.Year / 100);
    out = pair(out, civil.Year);
    out = pair(out, civil.Month);
    out = pair(out, civil.Day);
    out = pair(out, civil.Hour);
    out = pair(out, civil.Minute);
    return pair(out, civil.Second);
}

void appendStamp(std::string& out, const Civil& civil)
{
    char stamp[StampSize];
    out.append(stamp, static_cast<size_t>(writeStamp(stamp, civil) - stamp));
}

} // namespace RecordTime
