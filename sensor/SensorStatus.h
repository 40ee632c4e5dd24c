// The device model's status and live-value block.
// (Placeholder: the logger status and current-value fields join it.)
#pragma once

#include <cstdint>

using TDateTime = double;

struct SensorStatusData {
    TDateTime SensorClock = 0;
    TDateTime StatusTime = 0;
    TDateTime FirstLoggedTime = 0;
    TDateTime LastLoggedTime = 0;
};
