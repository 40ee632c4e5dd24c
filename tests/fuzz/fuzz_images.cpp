// libFuzzer target: the configuration and calibration images as a sensor or
// a backup file may hold them, read from memory, checked and upgraded, then
// walked by everything that reads an image's tables (datum records,
// calibration lists, compensation numbers, schedule and trigger rules).
//
// Input: a selector byte, then image bytes. Bit 0 of the selector picks the
// image the bytes replace (0 configuration, 1 calibration) in the stand-in's
// image pair; fewer bytes than an image replace only its start, as the
// readers do with a short file. The other bits pick the channel whose
// dependencies are expanded (each expansion may take thousands of steps on a
// hostile image, so one per input keeps the target fast).
#include "SensorImageModel.h"
#include "ImageBuilder.h"
#include "SysUtils.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

TSensorImageModel* sensor = nullptr;

void walkImages(TSensorImageModel& s, int expanded)
{
    float coeffs[5];
    for (uint16_t ch = 0; ch <= ImageChannelCount; ++ch) {
        if (s.GetPressureChannelDatum(ch, coeffs))
            s.SetPressureChannelDatum(ch, coeffs);
        s.zz_isCalChannel(ch);
        const int user = s.zz_getUserCalCompensationNumber(ch);
        if (s.zz_backupCompensationCoeffs(user, coeffs))
            s.zz_setCompensationCoeffs(user, coeffs);
        s.zz_getUnitsCalCompensationNumber(ch);
    }
    int numbers[TSensorImageModel::MaxScheduleChannels] = {expanded};
    int count = 1;
    s.zz_findChannelDependencies(&count, numbers);
    std::vector<std::string> names;
    s.zz_getCalibrationList(names);
    s.composeMonitoScheduleChannelsList(names, numbers);
    if (!names.empty())
        s.findDerivedChannelNumber(names.back());
    s.zz_backupMonitorSchedule(&count, numbers);
    s.GetTriggerableChannels(names);
    for (int r = 0; r <= ScheduleRecordCount; ++r)
        s.CheckTriggeredScheduleDependency(r);
    s.GetNextAvailableClearedSchedule();
    s.GetNextFreeTrigger();
    s.ValidateTriggers();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    // The images alone: no link, no working folders.
    sensor = new TSensorImageModel();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const standin::SensorImages images = standin::defaultImages();
    if (size == 0)
        return 0;
    sensor->ConfData = images.conf;
    sensor->CalData = images.cal;
    const bool calibration = data[0] & 1;
    try {
        if (calibration) {
            TSensorImageModel::ReadBinCal(data + 1, size - 1, &sensor->CalData);
            sensor->verifyCalFile();
        } else {
            TSensorImageModel::ReadBinConf(data + 1, size - 1, &sensor->ConfData);
            sensor->verifyConfigFile();
        }
    } catch (const EConvertError&) {
        // A version text that is no number: the image is refused.
        return 0;
    }
    walkImages(*sensor, (data[0] >> 1) % (ImageChannelCount + 1));
    return 0;
}
