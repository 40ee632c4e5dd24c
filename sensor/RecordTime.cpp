#include "RecordTime.h"

#include "sonderecordcmd.h"

#include <cstring>

namespace RecordTime {

bool toCivil(const Timestamp& time, long addSeconds, Civil& out)
{
    // A record's time is asked for several times in a row (its lines, the
    // last record): the last answer is kept.
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

TDateTime toDateTime(const Civil& civil)
{
    TDateTime date = 0;
    TDateTime time = 0;
    if (!TryEncodeDate(civil.Year, civil.Month, civil.Day, date)
        || !TryEncodeTime(civil.Hour, civil.Minute, civil.Second, 0, time))
        return 0;
    return date + time;
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
