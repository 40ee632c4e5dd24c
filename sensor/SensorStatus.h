// The device model's status and live-value block: what the last status reply
// and current-values reply said, and the monitor grid's column cache.
#pragma once

#include "DateTime.h"

#include <cstdint>

constexpr int MaxCurrentValues = 36;
constexpr int MaxScheduleStatus = 7;

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "live values are copied as the logger sends them (little-endian floats)"
#endif

#pragma pack(push, 1)
// One live value, 14 bytes exactly as the current-values reply carries it.
struct CurrentValueData {
    uint8_t Reserved[6];   // carried, not interpreted
    float Value;           // last scanned value
    float LastLoggedValue; // -1e10 when nothing has been logged
};
#pragma pack(pop)
static_assert(sizeof(CurrentValueData) == 14, "a live value is 14 bytes in the reply");

// One column of the monitor grid, copied from the channel's calibration
// record and set-up.
struct MonitorColumnData {
    char Name[12];
    char UnitsText[12];
    uint8_t Precision;
};

// One schedule's entry of the status reply.
struct ScheduleStatusData {
    char Name[13]; // as received, not terminated
    int32_t Value;
};

struct SensorStatusData {
    uint8_t CurrentValueCount = 0;
    CurrentValueData CurrentValues[MaxCurrentValues] = {};
    MonitorColumnData MonitorColumns[MaxCurrentValues] = {};
    ScheduleStatusData ScheduleStatus[MaxScheduleStatus] = {}; // entry 0 is never filled
    int32_t StatusValues[4] = {};
    char ConnectedSensorID[9] = {};
    uint32_t MemoryCapacity = 0;
    uint32_t MemoryUsed = 0;
    char FirmwareVersion[6] = {};
    TDateTime SensorClock = 0;
    uint8_t LoggingFlags = 0; // enLoggerStatusFlags
    int32_t ScheduleStatusCount = 0;
    int32_t TailValue1 = 0;
    int32_t TailValue2 = 0;
    TDateTime StatusTime = 0;
    int32_t ClockOffsetSeconds = 0; // sensor clock minus PC clock
    TDateTime FirstLoggedTime = 0;
    TDateTime LastLoggedTime = 0;
};
