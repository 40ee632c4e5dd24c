// Channel look-ups of calibration: which channels can be calibrated, and the
// compensation records a channel uses. Pure image work.
#include "SensorImageModel.h"

#include <algorithm>
#include <cstring>

namespace {

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
    return unitsCode < 200 ? TSensorImageModel::GetBaseUnitType(unitsCode) : unitsCode;
}

} // namespace

uint8_t TSensorImageModel::findDerivedChannelNumber(const std::string& name)
{
    const int channel = findDepChannelNumber(name);
    return channel < 0 ? 255 : static_cast<uint8_t>(channel);
}

int TSensorImageModel::findDepChannelNumber(const std::string& name)
{
    for (int c = 0; c < channelRecordCount(CalData); ++c)
        if (ImageText(CalData.Channels[c].Name) == name)
            return c;
    return -1;
}

bool TSensorImageModel::zz_isCalChannel(int channel)
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

int TSensorImageModel::zz_getCalibrationList(std::vector<std::string>& list)
{
    list.clear();
    for (int c = 0; c < channelRecordCount(CalData); ++c)
        if (zz_isCalChannel(c))
            list.push_back(ImageText(CalData.Channels[c].Name));
    return CalData.ChannelCount;
}

int TSensorImageModel::zz_getUserCalCompensationNumber(int channel)
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

int TSensorImageModel::zz_getUnitsCalCompensationNumber(int channel)
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

bool TSensorImageModel::zz_isValidCompensation(int number)
{
    return IsValidCompensation(CalData, number);
}

bool TSensorImageModel::zz_backupCompensationCoeffs(int number, float coeffs[5])
{
    if (number < 0 || number > MaxCompensationNumber)
        return false;
    std::memcpy(coeffs, CalData.CompensationTable[number].Coeffs, 5 * sizeof(float));
    return true;
}

bool TSensorImageModel::zz_setCompensationCoeffs(int number, const float coeffs[5])
{
    if (number < 0 || number > MaxCompensationNumber)
        return false;
    std::memcpy(CalData.CompensationTable[number].Coeffs, coeffs, 5 * sizeof(float));
    return true;
}

bool TSensorImageModel::zz_CheckDerivedChannelEnabledValue(int channel)
{
    if (!isChannel(channel) || CalData.Channels[channel].Enabled)
        return false;
    CalData.Channels[channel].Enabled = 1;
    return true;
}
