#include "RecordTime.h"

#include "sonderecordcmd.h"

namespace RecordTime {

bool toCivil(const Timestamp& time, long addSeconds, Civil& out)
{
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

// `width` digits of a value below 10^width; a negative value as zeros.
char* writeDigits(char* out, int value, int width)
{
    unsigned v = value < 0 ? 0u : static_cast<unsigned>(value);
    for (int i = width - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + v % 10);
        v /= 10;
    }
    return out + width;
}

} // namespace

char* writeStamp(char* out, const Civil& civil)
{
    out = writeDigits(out, civil.Year, 4);
    out = writeDigits(out, civil.Month, 2);
    out = writeDigits(out, civil.Day, 2);
    out = writeDigits(out, civil.Hour, 2);
    out = writeDigits(out, civil.Minute, 2);
    return writeDigits(out, civil.Second, 2);
}

void appendStamp(std::string& out, const Civil& civil)
{
    char stamp[StampSize];
    out.append(stamp, static_cast<size_t>(writeStamp(stamp, civil) - stamp));
}

} // namespace RecordTime
