// The sensor's two images, packed little-endian as the logger holds them.
// (Placeholder layouts: the field-by-field layouts replace these.)
#pragma once

#include <cstdint>

#pragma pack(push, 1)
struct ConfigurationData {
    uint8_t Bytes[2853];
};

struct CalibrationData {
    uint8_t Bytes[3607];
};
#pragma pack(pop)

static_assert(sizeof(ConfigurationData) == 2853, "configuration image size");
static_assert(sizeof(CalibrationData) == 3607, "calibration image size");
