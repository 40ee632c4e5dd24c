// Channel calibration: the offset, span, two-point, factory-default, pH and
// optical oxygen procedures.
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

bool isChannel(int channel)
{
    return channel >= 0 && channel < ImageChannelCount;
}

// The ODO sensor takes hundredths as an integer. The entered decimal is
// first rounded to a millionth of a hundredth so that a value such as 8.2,
// whose binary double lies just below 820 hundredths, is not cut to 819.
bool toHundredths(double value, int32_t& out)
{
    const double scaled = std::round(value * 100.0 * 1e6) / 1e6;
    const double whole = std::trunc(scaled);
    if (!std::isfinite(whole) || whole < INT32_MIN || whole > INT32_MAX)
        return false;
    out = static_cast<int32_t>(whole);
    return true;
}

} // namespace

double TSensor_Quarn::zz_GetCurrentValues(int index)
{
    if (!GetCurrentValues())
        return MissingValue;
    if (index < 0 || index >= Status.CurrentValueCount || index >= MaxCurrentValues)
        return MissingValue;
    const float value = Status.CurrentValues[index].Value;
    return value;
}

bool TSensor_Quarn::zz_ReadChannelValue(int channel, const std::string& name, uint8_t calibrationType, int step,
                                        double* entered, double* reading)
{
    *entered = MissingValue;
    *reading = MissingValue;
    if (!isChannel(channel) || calibrationType > ctTwoPoint)
        return false;

    const CalChannelData& record = CalData.Channels[channel];
    const uint8_t code = record.UnitsCode;
    const uint8_t base = GetBaseUnitType(code);
    // The reading is taken with the units conversion set to the identity, so
    // the reference is entered in the family's base unit.
    const std::string units = (code == base || base >= 200) ? ImageText(record.UnitsText) : GetDefaultUnitsString(base);

    std::unique_ptr<TUserCalInputForm> prompt(new TUserCalInputForm(this));
    prompt->UC_ChanLabel->setText(Latin1Text(name));
    prompt->UC_UnitsLabel->setText(Latin1Text(units));
    const std::string sensorName = ImageText(CalData.SensorName);
    switch (calibrationType) {
    case ctOnePointOffset:
        prompt->setWindowTitle(Latin1Text("1 point Offset Calibration on " + sensorName));
        prompt->SetupPrompt(code, ctOnePointOffset, 0);
        break;
    case ctOnePointSpan:
        prompt->setWindowTitle(Latin1Text("1 point Span Calibration " + sensorName));
        prompt->SetupPrompt(code, ctOnePointSpan, 1);
        break;
    default:
        prompt->setWindowTitle(Latin1Text("2 point Offset and Span Calibration " + sensorName));
        prompt->SetupPrompt(code, ctTwoPoint, step == 2 ? 1 : 0);
        break;
    }
    if (prompt->ShowModal() != mrOk)
        return false;
    *entered = prompt->CalValue;
    prompt.reset();

    if (code == ucOdoCalChannel) {
        if (calibrationType == ctTwoPoint)
            return true;
        int32_t hundredths = 0;
        if (!toHundredths(*entered, hundredths))
            return false;
        return calibrationType == ctOnePointOffset ? SetLDO_Offset(hundredths, &LastStatus)
                                                   : SetLDO_Span(hundredths, &LastStatus);
    }

    // The sensor reports the enabled channels of the monitor selection, in
    // its order.
    const ScheduleSetupData& monitor = ConfData.Schedules[MonitorScheduleRecord];
    int index = 0;
    for (int i = 0; i < std::min<int>(monitor.ChannelCount, MaxScheduleChannels); ++i) {
        const int c = monitor.Channels[i];
        if (c == channel)
            break;
        if (isChannel(c) && CalData.Channels[c].Enabled)
            ++index;
    }
    for (int attempt = 0; attempt < 3 && *reading == MissingValue; ++attempt)
        *reading = zz_GetCurrentValues(index);
    return true;
}

bool TSensor_Quarn::zz_doCalibration(int channel, const std::string& name, uint8_t calibrationType)
{
    if (!isChannel(channel))
        return false;
    const ConfigurationData keptConf = ConfData;
    const CalibrationData keptCal = CalData;

    const int user = zz_getUserCalCompensationNumber(channel);
    const int units = zz_getUnitsCalCompensationNumber(channel);
    const bool unitsValid = zz_isValidCompensation(units);
    float unitsCoeffs[5] = {0, 1, 0, 0, 0};
    if (unitsValid)
        zz_backupCompensationCoeffs(units, unitsCoeffs);

    // The sensor is to report the raw value in its base unit.
    if (user != -1)
        zz_setCompensationCoeffs(user, Identity);
    if (unitsValid)
        zz_setCompensationCoeffs(units, Identity);
    const bool enabledHere = zz_CheckDerivedChannelEnabledValue(channel);

    auto fail = [&] {
        ConfData = keptConf;
        CalData = keptCal;
        sendConfigurationData();
        sendCalibrationData();
        return false;
    };

    if (!sendCalibrationData()) {
        CalData = keptCal;
        return fail();
    }
    // Scan only this channel and what it is computed from.
    int scan[MaxScheduleChannels] = {channel};
    int scanCount = 1;
    zz_findChannelDependencies(&scanCount, scan);
    zz_setMonitorSchedule(scanCount, scan);
    if (!sendConfigurationData()) {
        ConfData = keptConf;
        return fail();
    }

    double offset = 0;
    double scale = 1;
    double entered1 = MissingValue, reading1 = MissingValue, entered2 = MissingValue, reading2 = MissingValue;
    switch (calibrationType) {
    case ctOnePointOffset:
        if (!zz_ReadChannelValue(channel, name, ctOnePointOffset, 0, &entered1, &reading1) || reading1 == MissingValue)
            return fail();
        offset = entered1 - reading1;
        break;
    case ctOnePointSpan:
        if (!zz_ReadChannelValue(channel, name, ctOnePointSpan, 2, &entered1, &reading1) || reading1 == MissingValue ||
            reading1 == 0)
            return fail();
        scale = entered1 / reading1;
        break;
    case ctTwoPoint:
        if (!zz_ReadChannelValue(channel, name, ctTwoPoint, 1, &entered1, &reading1) || reading1 == MissingValue)
            return fail();
        if (!zz_ReadChannelValue(channel, name, ctTwoPoint, 2, &entered2, &reading2) || reading2 == MissingValue ||
            reading2 == reading1)
            return fail();
        scale = (entered2 - entered1) / (reading2 - reading1);
        offset = entered1 - scale * reading1;
        break;
    default:
        return fail();
    }
    const float coeffs[5] = {static_cast<float>(offset), static_cast<float>(scale), 0, 0, 0};
    // Coefficients the sensor could not use are no calibration.
    if (!std::isfinite(coeffs[0]) || !std::isfinite(coeffs[1]))
        return fail();

    if (user != -1)
        zz_setCompensationCoeffs(user, coeffs);
    if (unitsValid)
        zz_setCompensationCoeffs(units, unitsCoeffs);
    if (enabledHere)
        CalData.Channels[channel].Enabled = 0;
    sendCalibrationData();
    ConfData = keptConf;
    sendConfigurationData();
    return true;
}

bool TSensor_Quarn::zz_doODO_Calibration(int channel, const std::string& name, uint8_t calibrationType)
{
    double entered = MissingValue, reading = MissingValue;
    switch (calibrationType) {
    case ctOnePointOffset:
        return zz_ReadChannelValue(channel, name, ctOnePointOffset, 0, &entered, &reading);
    case ctOnePointSpan:
        return zz_ReadChannelValue(channel, name, ctOnePointSpan, 0, &entered, &reading);
    default:
        return false;
    }
}

bool TSensor_Quarn::zz_SetDefaultsUserCalValues(int channel, const std::string& /*name*/, uint8_t /*calibrationType*/)
{
    if (!isChannel(channel))
        return false;
    if (CalData.Channels[channel].UnitsCode == ucOdoCalChannel)
        return SetLDO_Span(0, &LastStatus) && LDO_Calibration_Reset(&LastStatus);

    const int user = zz_getUserCalCompensationNumber(channel);
    float kept[5];
    const bool held = zz_backupCompensationCoeffs(user, kept);
    zz_setCompensationCoeffs(user, Identity);
    if (sendCalibrationData())
        return true;
    // The sensor keeps its calibration; so does the image, and the user is
    // told it failed.
    if (held)
        zz_setCompensationCoeffs(user, kept);
    return false;
}
