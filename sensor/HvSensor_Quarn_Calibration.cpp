// Channel calibration: the channel look-ups, the compensation records of a
// channel, and the offset, span, two-point, factory-default, pH and optical
// oxygen procedures.
#include "HvSensor_Quarn.h"

#include "UserCalInputUnit.h"

#include <QLabel>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

constexpr double MissingValue = -1e10;
constexpr float Identity[5] = {0, 1, 0, 0, 0};

// Roles in a channel's compensation list.
constexpr int PressureUserCalRole = 1;
constexpr int UserCalRole = 3;
constexpr int UnitsConversionRole = 4;

// The voltage channel that can be calibrated is the one derived from this
// source.
constexpr uint8_t CalibratableVoltageSource = 66;

int channelRecordCount(const CalibrationData& cal)
{
    return std::min<int>(cal.ChannelCount, ImageChannelCount);
}

bool isChannel(int channel)
{
    return channel >= 0 && channel < ImageChannelCount;
}

// Unit codes from 200 on are calibration channel kinds and stand for
// themselves; below, the family decides.
int calibrationKind(uint8_t unitsCode)
{
    return unitsCode < 200 ? TSensor_Quarn::GetBaseUnitType(unitsCode) : unitsCode;
}

} // namespace

uint8_t TSensor_Quarn::findDerivedChannelNumber(const std::string& name)
{
    const int channel = findDepChannelNumber(name);
    return channel < 0 ? 255 : static_cast<uint8_t>(channel);
}

int TSensor_Quarn::findDepChannelNumber(const std::string& name)
{
    for (int c = 0; c < channelRecordCount(CalData); ++c)
        if (ImageText(CalData.Channels[c].Name) == name)
            return c;
    return -1;
}

bool TSensor_Quarn::zz_isCalChannel(int channel)
{
    if (!isChannel(channel))
        return false;
    const CalChannelData& record = CalData.Channels[channel];
    switch (calibrationKind(record.UnitsCode)) {
    case 0:
    case 20:
    case 59:
    case 202:
    case 204:
    case 205:
    case 206:
    case 207:
    case 209:
        return true;
    case 28:
        return record.SourceChannel == CalibratableVoltageSource && record.Enabled;
    default:
        return false;
    }
}

int TSensor_Quarn::zz_getCalibrationList(std::vector<std::string>& list)
{
    list.clear();
    for (int c = 0; c < channelRecordCount(CalData); ++c)
        if (zz_isCalChannel(c))
            list.push_back(ImageText(CalData.Channels[c].Name));
    return CalData.ChannelCount;
}

int TSensor_Quarn::zz_getUserCalCompensationNumber(int channel)
{
    if (!isChannel(channel))
        return -1;
    const CalChannelData& record = CalData.Channels[channel];
    switch (calibrationKind(record.UnitsCode)) {
    case 0:
        return record.CompensationNumbers[PressureUserCalRole];
    case 20:
    case 28:
    case 38:
    case 39:
    case 40:
    case 53:
    case 59:
    case 202:
    case 204:
    case 205:
    case 206:
    case 207:
    case 209:
        return record.CompensationNumbers[UserCalRole];
    default:
        return -1;
    }
}

int TSensor_Quarn::zz_getUnitsCalCompensationNumber(int channel)
{
    if (!isChannel(channel))
        return -1;
    const CalChannelData& record = CalData.Channels[channel];
    switch (GetBaseUnitType(record.UnitsCode)) {
    case 0:
    case 20:
    case 28:
    case 38:
        return record.CompensationNumbers[UnitsConversionRole];
    default:
        return -1;
    }
}

bool TSensor_Quarn::zz_isValidCompensation(int number)
{
    return number >= 1 && number <= CalData.CompensationCount && number <= MaxCompensationNumber;
}

bool TSensor_Quarn::zz_backupCompensationCoeffs(int number, float coeffs[5])
{
    if (number < 0 || number > MaxCompensationNumber)
        return false;
    std::memcpy(coeffs, CalData.CompensationTable[number].Coeffs, 5 * sizeof(float));
    return true;
}

bool TSensor_Quarn::zz_setCompensationCoeffs(int number, const float coeffs[5])
{
    if (number < 0 || number > MaxCompensationNumber)
        return false;
    std::memcpy(CalData.CompensationTable[number].Coeffs, coeffs, 5 * sizeof(float));
    return true;
}

bool TSensor_Quarn::zz_CheckDerivedChannelEnabledValue(int channel)
{
    if (!isChannel(channel) || CalData.Channels[channel].Enabled)
        return false;
    CalData.Channels[channel].Enabled = 1;
    return true;
}
