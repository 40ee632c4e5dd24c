// The stand-in sensor's configuration and calibration images: a realistic
// pair built field by field from the shared image layouts (a sonde with
// battery, temperature, pressure and depth, conductivity and salinity, pH,
// optical oxygen and turbidity channels, and two logging schedules, one
// started by a depth trigger).
#pragma once

#include "Framing.h"
#include "SensorImages.h"

#include <initializer_list>

namespace standin {

struct SensorImages {
    ConfigurationData conf;
    CalibrationData cal;
};

// Both images with their CRC fields set as the logger keeps them.
ConfigurationData buildConfiguration();
CalibrationData buildCalibration();
SensorImages defaultImages();

// Sets the image's CRC field (CRC-16 of the bytes before it, zero-extended).
void setImageCrc(ConfigurationData& conf);
void setImageCrc(CalibrationData& cal);

// A logger time stamp of the given date and time.
Timestamp stamp(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// Sets a schedule's channel list; the unused rest of the list is zeroed.
void setChannels(ScheduleSetupData& s, std::initializer_list<uint8_t> list);

// The image as it travels in a file.
template <typename Image>
Bytes imageBytes(const Image& image)
{
    const auto* p = reinterpret_cast<const uint8_t*>(&image);
    return Bytes(p, p + sizeof(Image));
}

// Channel numbers of the built images.
namespace channels {
constexpr uint8_t Battery = 0, Temperature = 1, Pressure = 2, Depth = 3, Cond = 4, Salinity = 5, PH = 6,
                  PHCal = 7, OdoSat = 8, OdoMgL = 9, OdoCal = 10, Turbidity = 11;
constexpr uint8_t Count = 12;
} // namespace channels

// The built sensor's identity.
constexpr const char* SensorIdText = "QS104217";
constexpr const char* SensorNameText = "Weir Sonde 4";

} // namespace standin
