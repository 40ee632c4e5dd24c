// Date and time of logged records as the record decoder prints them. A
// timestamp's hour may be 24 (the logger's end of a day); it is carried into
// the next day rather than refused.
#pragma once

#include "DateTime.h"
#include "Timestamp.h"

#include <string>

namespace RecordTime {

struct Civil {
    int Year, Month, Day, Hour, Minute, Second;
};

// The timestamp plus `addSeconds` (0 or more) as a calendar date and time of
// day; false when the timestamp is not plausible.
bool toCivil(const Timestamp& time, long addSeconds, Civil& out);
// The date and time as a TDateTime (date plus time of day); 0 when they are
// no valid date and time.
TDateTime toDateTime(const Civil& civil);
// True when both are the same second (after carrying hour 24).
bool sameSecond(const Civil& a, const Civil& b);

// "yyyymmddhhnnss": appended, or written to `out` (StampSize bytes) with the
// end returned.
constexpr int StampSize = 14;
void appendStamp(std::string& out, const Civil& civil);
char* writeStamp(char* out, const Civil& civil);

} // namespace RecordTime
