// The sensor's 6-byte date and time, as carried in commands, replies, both
// images and every logged record.
#pragma once

#include <cstdint>

#pragma pack(push, 1)
struct Timestamp {
    uint8_t Year;   // year minus 2000
    uint8_t Month;  // 1..12
    uint8_t Day;    // 1..month length
    uint8_t Hour;   // 0..24
    uint8_t Minute; // 0..59
    uint8_t Second; // 0..59
};
#pragma pack(pop)

static_assert(sizeof(Timestamp) == 6, "Timestamp is 6 bytes on the wire");
