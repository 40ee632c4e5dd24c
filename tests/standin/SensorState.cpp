#include "SensorState.h"

#include <ctime>

namespace standin {

int64_t localWallSecondsNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return static_cast<int64_t>(timegm(&local));
}

Stamp stampFromWallSeconds(int64_t seconds)
{
    const auto t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    return Stamp{{static_cast<uint8_t>(tm.tm_year + 1900 - 2000), static_cast<uint8_t>(tm.tm_mon + 1),
                  static_cast<uint8_t>(tm.tm_mday), static_cast<uint8_t>(tm.tm_hour),
                  static_cast<uint8_t>(tm.tm_min), static_cast<uint8_t>(tm.tm_sec)}};
}

bool stampToWallSeconds(const Stamp& s, int64_t& seconds)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int year = 2000 + s[0];
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (s[0] >= 200 || s[1] < 1 || s[1] > 12 || s[2] < 1)
        return false;
    if (s[2] > days[s[1] - 1] + (s[1] == 2 && leap ? 1 : 0))
        return false;
    if (s[3] > 23 || s[4] > 59 || s[5] > 59)
        return false;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = s[1] - 1;
    tm.tm_mday = s[2];
    tm.tm_hour = s[3];
    tm.tm_min = s[4];
    tm.tm_sec = s[5];
    seconds = static_cast<int64_t>(timegm(&tm));
    return true;
}

Stamp SensorState::clock() const
{
    if (clockStamp)
        return *clockStamp;
    return stampFromWallSeconds(localWallSecondsNow() + clockOffsetSeconds);
}

} // namespace standin
