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

static void appendDigits(std::string& out, int value, int width)
{
    char digits[12];
    int n = 0;
    unsigned v = value < 0 ? 0u : static_cast<unsigned>(value);
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0 && n < 12);
    for (int i = n; i < width; ++i)
        out += '0';
    while (n > 0)
        out += digits[--n];
}

void appendStamp(std::string& out, const Civil& civil)
{
    appendDigits(out, civil.Year, 4);
    appendDigits(out, civil.Month, 2);
    appendDigits(out, civil.Day, 2);
    appendDigits(out, civil.Hour, 2);
    appendDigits(out, civil.Minute, 2);
    appendDigits(out, civil.Second, 2);
}

} // namespace RecordTime
