// Channel calibration: the look-ups and compensation records on a realistic
// calibration image.
#include "HvSensor_Quarn.h"
#include "ImageBuilder.h"
#include "Reference.h"
#include "SensorFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

namespace ch = standin::channels;

class CalibrationLookups : public ::testing::Test {
protected:
    void SetUp() override
    {
        sensor.CalData = standin::buildCalibration();
        sensor.ConfData = standin::buildConfiguration();
    }
    CalChannelData& channel(int c) { return sensor.CalData.Channels[c]; }
    TSensor_Quarn sensor{nullptr};
};

TEST_F(CalibrationLookups, CalibratableChannels)
{
    std::vector<std::string> list{"old"};
    EXPECT_EQ(sensor.zz_getCalibrationList(list), ch::Count);
    EXPECT_EQ(list, std::vector<std::string>({"Temperature", "Pressure", "Depth", "pH cal", "ODO cal"}));

    struct Case {
        uint8_t unitsCode;
        uint8_t source;
        bool enabled;
        bool calibratable;
    };
    const Case cases[] = {
        {ucFeet, 36, true, true},         {ucKelvin, 36, false, true},       {ucTdsMgL, 36, true, true},
        {202, 36, false, true},           {203, 36, true, false},            {204, 36, true, true},
        {206, 36, true, true},            {208, 36, true, false},            {209, 36, true, true},
        {210, 36, true, false},           {ucVolts, 66, true, true},         {ucMV, 66, true, true},
        {ucVolts, 66, false, false},      {ucVolts, 36, true, false},        {ucPH, 36, true, false},
        {ucUSCm, 36, true, false},        {ucDoMgL, 36, true, false},        {ucNone, 36, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.unitsCode));
        channel(20).UnitsCode = c.unitsCode;
        channel(20).SourceChannel = c.source;
        channel(20).Enabled = c.enabled;
        EXPECT_EQ(sensor.zz_isCalChannel(20), c.calibratable);
    }
    EXPECT_FALSE(sensor.zz_isCalChannel(-1));
    EXPECT_FALSE(sensor.zz_isCalChannel(36));
}

TEST_F(CalibrationLookups, UserCalibrationAndUnitsConversionNumbers)
{
    const uint8_t numbers[5] = {41, 42, 43, 44, 45};
    std::memcpy(channel(20).CompensationNumbers, numbers, 5);
    struct Case {
        uint8_t unitsCode;
        int user;
        int units;
    };
    const Case cases[] = {
        {ucMetres, 42, 45}, {ucPsi, 42, 45},   {ucCelsius, 44, 45}, {ucRankin, 44, 45}, {ucMV, 44, 45},
        {ucDoPercentSat, 44, 45}, {ucDoMgL, 44, -1}, {ucDoPpm, 44, -1}, {ucMSCm, 44, -1}, {ucTdsMgL, 44, -1},
        {ucPH, -1, -1},     {ucNtu, -1, -1},   {ucSalinityPsu, -1, -1}, {202, 44, -1},  {203, -1, -1},
        {205, 44, -1},      {207, 44, -1},     {208, -1, -1},       {209, 44, -1},      {ucNone, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.unitsCode));
        channel(20).UnitsCode = c.unitsCode;
        EXPECT_EQ(sensor.zz_getUserCalCompensationNumber(20), c.user);
        EXPECT_EQ(sensor.zz_getUnitsCalCompensationNumber(20), c.units);
    }
}

TEST_F(CalibrationLookups, CompensationRecords)
{
    sensor.CalData.CompensationCount = 60;
    EXPECT_FALSE(sensor.zz_isValidCompensation(0));
    EXPECT_TRUE(sensor.zz_isValidCompensation(1));
    EXPECT_TRUE(sensor.zz_isValidCompensation(60));
    EXPECT_FALSE(sensor.zz_isValidCompensation(61));
    EXPECT_FALSE(sensor.zz_isValidCompensation(-1));
    sensor.CalData.CompensationCount = 255;
    EXPECT_FALSE(sensor.zz_isValidCompensation(91)) << "beyond the table";

    const float coeffs[5] = {1.5f, -2.25f, 3, 4, 5};
    float out[5] = {9, 9, 9, 9, 9};
    EXPECT_TRUE(sensor.zz_setCompensationCoeffs(90, coeffs));
    EXPECT_TRUE(sensor.zz_backupCompensationCoeffs(90, out));
    EXPECT_EQ(0, std::memcmp(out, coeffs, sizeof coeffs));
    // Bytes around the record are untouched.
    EXPECT_EQ(sensor.CalData.CompensationTable[90].Reserved0[0], 0);
    EXPECT_EQ(sensor.CalData.Reserved2394[0], 0x11);

    const CalibrationData before = sensor.CalData;
    const float nine[5] = {9, 9, 9, 9, 9};
    for (int bad : {-1, 91, 255}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(sensor.zz_setCompensationCoeffs(bad, coeffs));
        float copy[5] = {9, 9, 9, 9, 9};
        EXPECT_FALSE(sensor.zz_backupCompensationCoeffs(bad, copy));
        EXPECT_EQ(0, std::memcmp(copy, nine, sizeof nine));
    }
    EXPECT_EQ(0, std::memcmp(&before, &sensor.CalData, sizeof before));
}

TEST_F(CalibrationLookups, ChannelNumbersByName)
{
    EXPECT_EQ(sensor.findDerivedChannelNumber("Depth"), ch::Depth);
    EXPECT_EQ(sensor.findDepChannelNumber("ODO cal"), ch::OdoCal);
    EXPECT_EQ(sensor.findDerivedChannelNumber("depth"), 255);
    EXPECT_EQ(sensor.findDerivedChannelNumber("Nothing"), 255);
    EXPECT_EQ(sensor.findDerivedChannelNumber(""), 255) << "unused records beyond ChannelCount are not searched";
    // The first of equal names wins.
    SetImageText(channel(ch::Turbidity).Name, "Depth");
    EXPECT_EQ(sensor.findDerivedChannelNumber("Depth"), ch::Depth);
}

TEST_F(CalibrationLookups, DisabledChannelIsEnabledOnce)
{
    ASSERT_EQ(channel(ch::PHCal).Enabled, 0);
    EXPECT_TRUE(sensor.zz_CheckDerivedChannelEnabledValue(ch::PHCal));
    EXPECT_EQ(channel(ch::PHCal).Enabled, 1);
    EXPECT_FALSE(sensor.zz_CheckDerivedChannelEnabledValue(ch::PHCal));
    EXPECT_EQ(channel(ch::PHCal).Enabled, 1);
}

// --- the stand-in's readings -----------------------------------------------

class ReferenceReadings : public SensorFixture {
protected:
    void SetUp() override
    {
        SensorFixture::SetUp();
        model->update([](standin::SensorState& s) { s.measureMs = 0; });
        sensor.setImages(standin::defaultImages());
    }
    float value(int index) const { return device->Status.CurrentValues[index].Value; }

    std::shared_ptr<standin::Reference> reference = standin::followReference(sensor, model);
};

TEST_F(ReferenceReadings, MonitorChannelsReportTheReferenceThroughTheImage)
{
    reference->place(ch::Depth, 2.0);
    reference->setError(ch::Depth, 1.0, 0.1);
    reference->place(ch::Pressure, 1.0);
    reference->place(ch::Temperature, 17.5);
    ASSERT_TRUE(device->GetCurrentValues());
    // Ten enabled channels in the monitor selection, in its order.
    ASSERT_EQ(device->Status.CurrentValueCount, 10);
    EXPECT_FLOAT_EQ(value(1), 17.5f);
    // Pressure: user calibration 0.012 + x, then metres to mBar.
    EXPECT_FLOAT_EQ(value(2), static_cast<float>((1.0 + 0.012f) * 98.0665f));
    // Depth: raw 2.1, then the datum -0.35.
    EXPECT_FLOAT_EQ(value(3), static_cast<float>(2.1 - 0.35f));

    // A channel disabled in the image drops out; the rest move up.
    auto images = standin::defaultImages();
    images.cal.Channels[ch::Temperature].Enabled = 0;
    sensor.setImages(images);
    ASSERT_TRUE(device->GetCurrentValues());
    ASSERT_EQ(device->Status.CurrentValueCount, 9);
    EXPECT_FLOAT_EQ(value(2), static_cast<float>(2.1 - 0.35f));

    reference->silence(ch::Battery);
    ASSERT_TRUE(device->GetCurrentValues());
    EXPECT_EQ(value(0), -1e10f);
}

} // namespace
