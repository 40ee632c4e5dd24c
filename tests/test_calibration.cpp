// Channel calibration: the look-ups and compensation records on a realistic
// calibration image.
#include "Dialogs.h"
#include "FileTransfer.h"
#include "HvSensor_Quarn.h"
#include "ImageBuilder.h"
#include "Reference.h"
#include "SensorFixture.h"
#include "UserCalInputUnit.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
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

// --- calibration procedures against the stand-in ------------------------------

// Answers the calibration prompts as they come up, one answer per prompt, and
// keeps what each prompt showed.
class PromptAnswerer : public QObject {
public:
    struct Seen {
        QString caption, channel, units, memo;
    };
    using Answer = std::function<void(TUserCalInputForm&)>;

    PromptAnswerer()
    {
        timer_.setInterval(2);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start();
    }
    void add(Answer answer) { answers_.push_back(std::move(answer)); }

    // Types the value and presses OK, after `before` (the sensor moved into
    // the next reference) has run.
    static Answer type(const char* text, std::function<void()> before = {})
    {
        return [text, before](TUserCalInputForm& f) {
            if (before)
                before();
            QTest::keyClicks(f.UC_InputEditBox, text);
            QTest::mouseClick(f.UC_OK_Btn, Qt::LeftButton);
        };
    }
    static Answer cancel()
    {
        return [](TUserCalInputForm& f) { QTest::mouseClick(f.UC_CANCEL_Btn, Qt::LeftButton); };
    }

    std::vector<Seen> seen;

private:
    void poll()
    {
        auto* prompt = qobject_cast<TUserCalInputForm*>(QApplication::activeModalWidget());
        if (!prompt || prompt->property("answered").toBool())
            return;
        prompt->setProperty("answered", true);
        seen.push_back({prompt->windowTitle(), prompt->UC_ChanLabel->text(), prompt->UC_UnitsLabel->text(),
                        prompt->UC_Memo->toPlainText()});
        if (next_ < answers_.size())
            answers_[next_++](*prompt);
        else
            prompt->done(mrCancel); // more prompts than the test expected
    }

    QTimer timer_;
    std::vector<Answer> answers_;
    size_t next_ = 0;
};

class CalibrationRun : public SensorFixture {
protected:
    void SetUp() override
    {
        SensorFixture::SetUp();
        model->update([](standin::SensorState& s) { s.measureMs = 0; });
        sensor.setImages(standin::defaultImages());
        transfer.serveImages(sensor, model);
        device->CalData = standin::buildCalibration();
        device->ConfData = standin::buildConfiguration();
        keptCal = device->CalData;
        keptConf = device->ConfData;
        Dialogs::setHook([this](const ShownMessage& m) {
            messages.push_back(m.text);
            return int(mrOk);
        });
    }
    void TearDown() override
    {
        Dialogs::setHook(nullptr);
        SensorFixture::TearDown();
    }

    float coeff(const CalibrationData& cal, int number, int k) const
    {
        return cal.CompensationTable[number].Coeffs[k];
    }
    std::vector<float> coeffs(const CalibrationData& cal, int number) const
    {
        std::vector<float> out(5);
        for (int k = 0; k < 5; ++k)
            out[static_cast<size_t>(k)] = coeff(cal, number, k);
        return out;
    }
    int number(int channel, int role) const { return keptCal.Channels[channel].CompensationNumbers[role]; }

    // Images equal but for the CRC field, which every write recomputes.
    static bool sameImage(CalibrationData a, CalibrationData b)
    {
        a.CRC = b.CRC = 0;
        return std::memcmp(&a, &b, sizeof a) == 0;
    }
    static bool sameImage(ConfigurationData a, ConfigurationData b)
    {
        a.CRC = b.CRC = 0;
        return std::memcmp(&a, &b, sizeof a) == 0;
    }
    // Neither the device model nor the sensor holds anything new.
    void expectImagesAsBefore()
    {
        EXPECT_TRUE(sameImage(device->CalData, keptCal));
        EXPECT_TRUE(sameImage(device->ConfData, keptConf));
        const standin::SensorImages now = sensor.images();
        EXPECT_TRUE(sameImage(now.cal, keptCal));
        EXPECT_TRUE(sameImage(now.conf, keptConf));
    }
    // The value the stand-in reports for a channel now.
    float reported(int channel)
    {
        std::vector<standin::ChannelValue> values = standin::monitorValues(sensor.images(), *reference);
        for (const auto& v : values)
            if (v.head[0] == channel)
                return v.value;
        ADD_FAILURE() << "channel " << channel << " is not monitored";
        return 0;
    }
    std::function<void()> placeIn(int channel, double value)
    {
        return [this, channel, value] { reference->place(uint8_t(channel), value); };
    }

    standin::FileTransfer transfer{sensor};
    std::shared_ptr<standin::Reference> reference = standin::followReference(sensor, model);
    PromptAnswerer prompts;
    std::vector<QString> messages;
    CalibrationData keptCal{};
    ConfigurationData keptConf{};
};

const QString LowStimulus = "Apply a known, low value (typically zero),stimulus to the sensor. When the stimulus and "
                            "sensor is stable, enter the calibration value into the input box below and press OK to "
                            "continue.";
const QString HighStimulus = "Apply a known, high value (typically full scale),stimulus to the sensor. When the "
                             "stimulus and sensor is stable, enter the calibration value into the input box below and "
                             "press OK to continue.";

TEST_F(CalibrationRun, OffsetCorrectsTheReadingOfTheReference)
{
    // The depth sensor reads 0.5 m short; its datum of -0.35 stays applied.
    reference->setError(ch::Depth, 1.0, -0.5);
    standin::SensorImages during{};
    prompts.add(PromptAnswerer::type("10.0", [&] {
        during = sensor.images();
        reference->place(ch::Depth, 10.0);
    }));
    ASSERT_TRUE(device->zz_doCalibration(ch::Depth, "Depth", ctOnePointOffset));

    ASSERT_EQ(prompts.seen.size(), 1u);
    EXPECT_EQ(prompts.seen[0].caption, "1 point Offset Calibration on Weir Sonde 4");
    EXPECT_EQ(prompts.seen[0].channel, "Depth");
    EXPECT_EQ(prompts.seen[0].units, "Metres");
    EXPECT_EQ(prompts.seen[0].memo, LowStimulus);

    // While the prompt was up the sensor scanned the depth and the channels
    // it is computed from (pressure, and temperature for the pressure), with
    // an identity user calibration and units conversion.
    const int user = number(ch::Depth, 1);
    const ScheduleSetupData& scan = during.conf.Schedules[0];
    EXPECT_EQ(std::vector<int>(scan.Channels, scan.Channels + scan.ChannelCount),
              std::vector<int>({ch::Temperature, ch::Pressure, ch::Depth}));
    EXPECT_EQ(coeffs(during.cal, user), std::vector<float>({0, 1, 0, 0, 0}));
    EXPECT_EQ(coeffs(during.cal, number(ch::Depth, 3)), std::vector<float>({-0.35f, 1, 0, 0, 0}));

    // Reading: the raw 9.5 through the datum; offset = entered - reading.
    const double reading = static_cast<float>(9.5 + static_cast<double>(-0.35f));
    const float offset = static_cast<float>(10.0 - reading);
    CalibrationData expected = keptCal;
    expected.CompensationTable[user].Coeffs[0] = offset;
    EXPECT_EQ(coeffs(device->CalData, user), std::vector<float>({offset, 1, 0, 0, 0}));
    // Everything else as before, in the device model and in the sensor; the
    // monitor selection too.
    EXPECT_TRUE(sameImage(device->CalData, expected));
    EXPECT_TRUE(sameImage(sensor.images().cal, expected));
    EXPECT_TRUE(sameImage(device->ConfData, keptConf));
    EXPECT_TRUE(sameImage(sensor.images().conf, keptConf));
    // The sensor now reports the reference.
    EXPECT_NEAR(reported(ch::Depth), 10.0, 1e-5);
    EXPECT_TRUE(messages.empty());
}

TEST_F(CalibrationRun, SpanPromptsInTheBaseUnitAndKeepsTheUnitsConversion)
{
    // The pressure channel shows mBar; the calibration works in metres.
    reference->setError(ch::Pressure, 0.8, 0.0);
    standin::SensorImages during{};
    prompts.add(PromptAnswerer::type("1.6", [&] {
        during = sensor.images();
        reference->place(ch::Pressure, 1.6);
    }));
    ASSERT_TRUE(device->zz_doCalibration(ch::Pressure, "Pressure", ctOnePointSpan));

    ASSERT_EQ(prompts.seen.size(), 1u);
    EXPECT_EQ(prompts.seen[0].caption, "1 point Span Calibration Weir Sonde 4");
    EXPECT_EQ(prompts.seen[0].units, "Metres");
    EXPECT_EQ(prompts.seen[0].memo, HighStimulus);

    const int user = number(ch::Pressure, 1);
    const int units = number(ch::Pressure, 4);
    EXPECT_EQ(coeffs(during.cal, user), std::vector<float>({0, 1, 0, 0, 0}));
    EXPECT_EQ(coeffs(during.cal, units), std::vector<float>({0, 1, 0, 0, 0}));

    // Reading 1.28 m; scale = entered / reading; the factory 0.012 offset of
    // the user record gives way to 0.
    const double reading = static_cast<float>(1.6 * 0.8);
    const float scale = static_cast<float>(1.6 / reading);
    CalibrationData expected = keptCal;
    const float newUser[5] = {0, scale, 0, 0, 0};
    std::memcpy(expected.CompensationTable[user].Coeffs, newUser, sizeof newUser);
    EXPECT_EQ(coeffs(device->CalData, user), std::vector<float>({0, scale, 0, 0, 0}));
    EXPECT_EQ(coeffs(device->CalData, units), std::vector<float>({0, 98.0665f, 0, 0, 0}));
    EXPECT_TRUE(sameImage(device->CalData, expected));
    EXPECT_TRUE(sameImage(sensor.images().cal, expected));
    EXPECT_TRUE(sameImage(sensor.images().conf, keptConf));
    EXPECT_NEAR(reported(ch::Pressure), 1.6 * 98.0665, 1e-3);
}

TEST_F(CalibrationRun, TwoPointFromTwoReferences)
{
    reference->setError(ch::Temperature, 1.02, 0.3);
    prompts.add(PromptAnswerer::type("0", placeIn(ch::Temperature, 0.0)));
    prompts.add(PromptAnswerer::type("25", placeIn(ch::Temperature, 25.0)));
    ASSERT_TRUE(device->zz_doCalibration(ch::Temperature, "Temperature", ctTwoPoint));

    ASSERT_EQ(prompts.seen.size(), 2u);
    for (const auto& seen : prompts.seen) {
        EXPECT_EQ(seen.caption, "2 point Offset and Span Calibration Weir Sonde 4");
        EXPECT_EQ(seen.units, "Celsius");
    }
    EXPECT_EQ(prompts.seen[0].memo, LowStimulus);
    EXPECT_EQ(prompts.seen[1].memo, HighStimulus);

    const double r1 = static_cast<float>(0.3);
    const double r2 = static_cast<float>(25.0 * 1.02 + 0.3);
    const double scale = (25.0 - 0.0) / (r2 - r1);
    const double offset = 0.0 - scale * r1;
    const int user = number(ch::Temperature, 3);
    EXPECT_EQ(coeffs(device->CalData, user),
              std::vector<float>({static_cast<float>(offset), static_cast<float>(scale), 0, 0, 0}));
    EXPECT_EQ(coeffs(sensor.images().cal, user), coeffs(device->CalData, user));
    reference->place(ch::Temperature, 12.5);
    EXPECT_NEAR(reported(ch::Temperature), 12.5, 1e-4);
}

TEST_F(CalibrationRun, PhChannelIsEnabledForTheCalibrationOnly)
{
    ASSERT_EQ(keptCal.Channels[ch::PHCal].Enabled, 0);
    reference->setError(ch::PHCal, 0.9, 0.2);
    standin::SensorImages during{};
    prompts.add(PromptAnswerer::type("4", [&] {
        during = sensor.images();
        reference->place(ch::PHCal, 4.0);
    }));
    prompts.add(PromptAnswerer::type("10", placeIn(ch::PHCal, 10.0)));
    ASSERT_TRUE(device->zz_doCalibration(ch::PHCal, "pH cal", ctTwoPoint));

    const QString low = "Please put the sensor in the LOW pH buffer solution and,\n let it stabilize for about "
                        "2-5 minutes, then press OK to continue.";
    const QString high = "Please put the sensor in the HIGH pH buffer solution and,\n let it stabilize for about "
                         "2-5 minutes, then press OK to continue.";
    ASSERT_EQ(prompts.seen.size(), 2u);
    EXPECT_EQ(prompts.seen[0].memo, "pH calibration\nStep 1: " + low);
    EXPECT_EQ(prompts.seen[1].memo, "pH calibration\nStep 2: " + high);
    // A calibration channel kind prompts in its own units text.
    EXPECT_EQ(prompts.seen[0].units, "mV");

    EXPECT_EQ(during.cal.Channels[ch::PHCal].Enabled, 1);
    const ScheduleSetupData& scan = during.conf.Schedules[0];
    EXPECT_EQ(std::vector<int>(scan.Channels, scan.Channels + scan.ChannelCount), std::vector<int>({ch::PHCal}));

    const double r1 = static_cast<float>(4.0 * 0.9 + 0.2);
    const double r2 = static_cast<float>(10.0 * 0.9 + 0.2);
    const double scale = (10.0 - 4.0) / (r2 - r1);
    const double offset = 4.0 - scale * r1;
    CalibrationData expected = keptCal;
    const float newUser[5] = {static_cast<float>(offset), static_cast<float>(scale), 0, 0, 0};
    std::memcpy(expected.CompensationTable[number(ch::PHCal, 3)].Coeffs, newUser, sizeof newUser);
    EXPECT_TRUE(sameImage(device->CalData, expected));
    EXPECT_TRUE(sameImage(sensor.images().cal, expected));
    EXPECT_EQ(sensor.images().cal.Channels[ch::PHCal].Enabled, 0);
    EXPECT_TRUE(sameImage(sensor.images().conf, keptConf));
}

TEST_F(CalibrationRun, OpticalOxygenSendsTheValueInHundredths)
{
    const QString low = "Please put the sensor in the LOW Oxygen solution and let it stabilize,\n for about 2-5 "
                        "minutes, then enter the solution value and press OK to continue.";
    const QString high = "Please put the sensor in the HIGH Oxygen solution and let it stabilize,\n for about 2-5 "
                         "minutes, then enter the solution value and press OK to continue.";
    prompts.add(PromptAnswerer::type("7.5"));
    ASSERT_TRUE(device->zz_doODO_Calibration(ch::OdoCal, "ODO cal", ctOnePointOffset));
    // 8.2 is a hair below 820 hundredths as a binary double; the sensor
    // still gets 820.
    prompts.add(PromptAnswerer::type("8.2"));
    ASSERT_TRUE(device->zz_doODO_Calibration(ch::OdoCal, "ODO cal", ctOnePointSpan));
    EXPECT_FALSE(device->zz_doODO_Calibration(ch::OdoCal, "ODO cal", ctTwoPoint));

    const standin::SensorState state = model->state();
    EXPECT_EQ(state.odoOffset, 750);
    EXPECT_EQ(state.odoSpan, 820);
    ASSERT_EQ(prompts.seen.size(), 2u);
    EXPECT_EQ(prompts.seen[0].memo, "ODO calibration\n" + low);
    EXPECT_EQ(prompts.seen[0].caption, "1 point Offset Calibration on Weir Sonde 4");
    EXPECT_EQ(prompts.seen[1].memo, "ODO calibration\n" + high);
    EXPECT_EQ(prompts.seen[0].units, "DO %sat");
    // The images are not touched, nor is any sent; no null command first.
    EXPECT_TRUE(state.fileCommands.empty());
    expectImagesAsBefore();
    std::vector<uint8_t> commands;
    for (const auto& r : sensor.requests())
        if (r.frame.content == 0x80)
            commands.push_back(r.frame.data[0]);
    EXPECT_EQ(commands, std::vector<uint8_t>({31, 32}));

    // The sensor refusing the command fails the calibration.
    model->update([](standin::SensorState& s) { s.refuse[31] = 0x85; });
    prompts.add(PromptAnswerer::type("1"));
    EXPECT_FALSE(device->zz_doODO_Calibration(ch::OdoCal, "ODO cal", ctOnePointOffset));
    EXPECT_EQ(device->LastStatus, 0xFF85);
}

TEST_F(CalibrationRun, FactoryDefault)
{
    // A user calibration on the depth goes back to the identity.
    const int user = number(ch::Depth, 1);
    const float old[5] = {0.7f, 1.1f, 0, 0, 0};
    device->zz_setCompensationCoeffs(user, old);
    EXPECT_TRUE(device->zz_SetDefaultsUserCalValues(ch::Depth, "Depth", ctRestoreFactoryDefault));
    EXPECT_EQ(coeffs(device->CalData, user), std::vector<float>({0, 1, 0, 0, 0}));
    EXPECT_TRUE(sameImage(sensor.images().cal, keptCal));

    // The optical oxygen sensor resets its own calibration: span 0, then reset.
    model->update([](standin::SensorState& s) { s.odoSpan = 900; });
    sensor.clearLog();
    EXPECT_TRUE(device->zz_SetDefaultsUserCalValues(ch::OdoCal, "ODO cal", ctRestoreFactoryDefault));
    EXPECT_EQ(model->state().odoSpan, 0);
    EXPECT_EQ(model->state().odoResets, 1);
    std::vector<std::string> wire;
    for (const auto& r : sensor.requests())
        wire.push_back(standin::hex(r.frame.data.data(), r.frame.data.size()));
    EXPECT_EQ(wire, std::vector<std::string>({"20 00 00 00 00", "21"}));

    model->update([](standin::SensorState& s) { s.refuse[32] = 0x85; });
    sensor.clearLog();
    EXPECT_FALSE(device->zz_SetDefaultsUserCalValues(ch::OdoCal, "ODO cal", ctRestoreFactoryDefault));
    EXPECT_EQ(sensor.requests().size(), 1u) << "no reset after a refused span";
    EXPECT_TRUE(prompts.seen.empty());
}

// The sensor refusing the image leaves its calibration as it was; so must
// the device model, and the user must hear of it.
TEST_F(CalibrationRun, FactoryDefaultTheSensorRefusesIsAFailure)
{
    const int user = number(ch::Depth, 1);
    const float old[5] = {0.7f, 1.1f, 0, 0, 0};
    device->zz_setCompensationCoeffs(user, old);
    model->update([](standin::SensorState& s) { s.refuse[7] = 0x85; });
    EXPECT_FALSE(device->zz_SetDefaultsUserCalValues(ch::Depth, "Depth", ctRestoreFactoryDefault));
    EXPECT_EQ(coeffs(device->CalData, user), std::vector<float>({0.7f, 1.1f, 0, 0, 0}));
    EXPECT_TRUE(sameImage(sensor.images().cal, keptCal));
}

TEST_F(CalibrationRun, CancelAtAnyPromptLeavesTheImagesAsTheyWere)
{
    struct Case {
        const char* name;
        int channel;
        const char* channelName;
        uint8_t type;
        int answered; // prompts answered with a value before the Cancel
    };
    const Case cases[] = {
        {"offset", ch::Depth, "Depth", ctOnePointOffset, 0},
        {"span", ch::Pressure, "Pressure", ctOnePointSpan, 0},
        {"two-point, first step", ch::Temperature, "Temperature", ctTwoPoint, 0},
        {"two-point, second step", ch::Temperature, "Temperature", ctTwoPoint, 1},
        {"disabled channel", ch::PHCal, "pH cal", ctTwoPoint, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reference->place(uint8_t(c.channel), 3.0);
        for (int i = 0; i < c.answered; ++i)
            prompts.add(PromptAnswerer::type("3"));
        prompts.add(PromptAnswerer::cancel());
        const size_t before = prompts.seen.size();
        EXPECT_FALSE(device->zz_doCalibration(c.channel, c.channelName, c.type));
        EXPECT_EQ(prompts.seen.size() - before, size_t(c.answered + 1));
        expectImagesAsBefore();
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(CalibrationRun, NoUsableReadingFails)
{
    // No reading at all: three tries, then failure.
    reference->silence(ch::Depth);
    prompts.add(PromptAnswerer::type("10"));
    sensor.clearLog();
    EXPECT_FALSE(device->zz_doCalibration(ch::Depth, "Depth", ctOnePointOffset));
    int measurements = 0;
    for (const auto& r : sensor.requests())
        measurements += r.frame.content == 0x80 && r.frame.data[0] == 18;
    EXPECT_EQ(measurements, 3);
    expectImagesAsBefore();
    reference->silence(ch::Depth, false);

    // A span reading of 0 gives no scale.
    reference->place(ch::Temperature, 0.0);
    prompts.add(PromptAnswerer::type("20"));
    EXPECT_FALSE(device->zz_doCalibration(ch::Temperature, "Temperature", ctOnePointSpan));
    expectImagesAsBefore();

    // Nor do two equal readings.
    reference->place(ch::Temperature, 5.0);
    prompts.add(PromptAnswerer::type("5"));
    prompts.add(PromptAnswerer::type("15"));
    EXPECT_FALSE(device->zz_doCalibration(ch::Temperature, "Temperature", ctTwoPoint));
    expectImagesAsBefore();

    // A calibration type that is none of the three.
    EXPECT_FALSE(device->zz_doCalibration(ch::Temperature, "Temperature", ctRestoreFactoryDefault));
    expectImagesAsBefore();
    EXPECT_EQ(prompts.seen.size(), 4u);
}

TEST_F(CalibrationRun, SensorRefusingAnImageEndsBeforeAnyPrompt)
{
    for (uint8_t refused : {uint8_t(7), uint8_t(5)}) {
        SCOPED_TRACE(int(refused));
        model->update([refused](standin::SensorState& s) {
            s.refuse.clear();
            s.refuse[refused] = 0x85;
        });
        EXPECT_FALSE(device->zz_doCalibration(ch::Depth, "Depth", ctOnePointOffset));
        EXPECT_TRUE(prompts.seen.empty());
        expectImagesAsBefore();
    }
}

} // namespace
