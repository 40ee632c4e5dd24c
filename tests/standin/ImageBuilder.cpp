#include "ImageBuilder.h"

#include "Standin.h"

#include <cstring>
#include <initializer_list>

namespace standin {

Timestamp stamp(int year, int month, int day, int hour, int minute, int second)
{
    Timestamp t{};
    t.Year = static_cast<uint8_t>(year - 2000);
    t.Month = static_cast<uint8_t>(month);
    t.Day = static_cast<uint8_t>(day);
    t.Hour = static_cast<uint8_t>(hour);
    t.Minute = static_cast<uint8_t>(minute);
    t.Second = static_cast<uint8_t>(second);
    return t;
}

void setChannels(ScheduleSetupData& s, std::initializer_list<uint8_t> list)
{
    std::memset(s.Channels, 0, sizeof s.Channels);
    uint8_t n = 0;
    for (uint8_t c : list)
        s.Channels[n++] = c;
    s.ChannelCount = n;
}

namespace {

// A free schedule record as the logger leaves it.
void freeSchedule(ScheduleSetupData& s)
{
    std::memset(&s, 0, sizeof s);
    s.StartByTime = 1;
    s.StopByTime = 1;
    s.StartTime = stamp(2025, 1, 1);
    s.StopTime = stamp(2099, 1, 1);
    s.ScanTime = 6000;
    s.AverageCount = 1;
    s.RecordMultiple = 1;
}

void schedule(ScheduleSetupData& s, const char* name, std::initializer_list<uint8_t> list, uint32_t scanTime)
{
    freeSchedule(s);
    s.Enabled = 1;
    s.InUse = 1;
    SetImageText(s.Name, name);
    setChannels(s, list);
    s.ScanTime = scanTime;
}

void setCoeffs(CompensationData& c, float offset, float scale)
{
    const float coeffs[5] = {offset, scale, 0, 0, 0};
    std::memcpy(reinterpret_cast<uint8_t*>(&c) + offsetof(CompensationData, Coeffs), coeffs, sizeof coeffs);
}

struct ChannelPlan {
    uint8_t number;
    const char* name;
    uint8_t unitsCode;
    const char* unitsText;
    bool enabled;
    uint8_t source;
    uint8_t inputs[3];  // input channels of the factor compensation
    float unitScale;    // units conversion from the base unit
};

constexpr uint8_t None = 255;

// Every channel has a chain of five compensation records, numbered
// 5 c + 1 .. 5 c + 5 for channel c, in the order of the roles.
constexpr ChannelPlan Plan[] = {
    {channels::Battery, "Battery", ucVolts, "Volts", true, None, {None, None, None}, 1.0f},
    {channels::Temperature, "Temperature", ucCelsius, "Celsius", true, None, {None, None, None}, 1.0f},
    {channels::Pressure, "Pressure", ucMBar, "mBar", true, None, {channels::Temperature, None, None}, 98.0665f},
    {channels::Depth, "Depth", ucMetres, "Metres", true, channels::Pressure, {None, None, None}, 1.0f},
    {channels::Cond, "Cond", ucUSCm, "uS/cm", true, None, {channels::Temperature, None, None}, 1.0f},
    {channels::Salinity, "Salinity", ucSalinityPsu, "psu", true, None, {channels::Cond, channels::Temperature, None},
     1.0f},
    {channels::PH, "pH", ucPH, "pH", true, None, {channels::Temperature, None, None}, 1.0f},
    {channels::PHCal, "pH cal", ucPhCalChannel, "mV", false, None, {None, None, None}, 1.0f},
    {channels::OdoSat, "ODO sat", ucDoPercentSat, "DO %sat", true, None, {channels::Temperature, None, None}, 1.0f},
    {channels::OdoMgL, "ODO mg/l", ucDoMgL, "DO mg/l", true, None, {channels::OdoSat, channels::Temperature, None},
     1.0f},
    {channels::OdoCal, "ODO cal", ucOdoCalChannel, "DO %sat", false, None, {None, None, None}, 1.0f},
    {channels::Turbidity, "Turbidity", ucNtu, "NTU", true, None, {None, None, None}, 1.0f},
};

} // namespace

void setImageCrc(ConfigurationData& conf)
{
    conf.CRC = crc16(reinterpret_cast<const uint8_t*>(&conf), ConfigurationCrcSpan);
}

void setImageCrc(CalibrationData& cal)
{
    cal.CRC = crc16(reinterpret_cast<const uint8_t*>(&cal), CalibrationCrcSpan);
}

ConfigurationData buildConfiguration()
{
    ConfigurationData c;
    std::memset(&c, 0, sizeof c);

    // Settings of the logger's own that this system carries unread.
    const uint8_t loggerSettings[] = {0x03, 0x01, 0x00, 0x0A, 0x02, 0x40, 0x1F};
    std::memcpy(c.Reserved0, loggerSettings, sizeof loggerSettings);
    c.Reserved51 = 0;
    c.Reserved52[0] = 0x01;
    c.SamplerChannel = channels::Depth;
    c.Reserved76[0] = 0x02;
    c.Reserved76[369] = 0x07;

    for (AuxTriggerSetupData& t : c.AuxTriggers) {
        t.Channel = 255;
        t.Condition = 255;
    }
    for (AuxMethodSetupData& m : c.AuxMethods)
        m.Action = 5;

    for (MethodSetupData& m : c.Methods)
        m.ScheduleNumber = 255;

    // Record 0: what the current-values command measures.
    schedule(c.Schedules[MonitorScheduleRecord], "Monitor",
             {channels::Battery, channels::Temperature, channels::Pressure, channels::Depth, channels::Cond,
              channels::Salinity, channels::PH, channels::OdoSat, channels::OdoMgL, channels::Turbidity},
             100);

    // Schedule 1: hourly by time; the dependencies stand before the channels
    // that need them.
    ScheduleSetupData& hourly = c.Schedules[1];
    schedule(hourly, "Hourly",
             {channels::Temperature, channels::Pressure, channels::Depth, channels::Cond, channels::Salinity,
              channels::Battery},
             360000);
    hourly.AverageCount = 5;
    hourly.AverageInterval = 200;

    // Schedule 2: started when the depth rises past 1.5 m, scanning every
    // minute until 2099.
    ScheduleSetupData& storm = c.Schedules[2];
    schedule(storm, "Storm", {channels::Pressure, channels::Depth, channels::Turbidity}, 6000);
    storm.StartByTime = 0;
    storm.AverageCount = 10;
    storm.AverageInterval = 50;
    storm.MaxScans = 10000;
    MethodSetupData& start = c.Methods[2];
    start.Enabled = 1;
    start.MethodType = 1;
    start.TriggerNumbers[0] = 1;
    start.ScheduleNumber = 2;
    start.Action = 0;
    TriggerSetupData& rise = c.Triggers[1];
    rise.InUse = 1;
    rise.Channel = channels::Depth;
    rise.SetPoint = 1.5f;
    rise.ReEnableValue = 1.2f;
    rise.Condition = tcRising;
    c.TriggerCount = 1;
    c.MethodCount = 1;

    for (int r = 3; r <= SpareScheduleRecord; ++r)
        freeSchedule(c.Schedules[r]);

    // Record 6: the Modbus registers; free places hold 35.
    ScheduleSetupData& modbus = c.Schedules[ModbusScheduleRecord];
    schedule(modbus, "Modbus",
             {channels::Temperature, channels::Depth, channels::Cond, channels::Salinity, channels::PH,
              channels::OdoSat, channels::OdoMgL, channels::Turbidity},
             100);
    for (int i = modbus.ChannelCount; i < 25; ++i)
        modbus.Channels[i] = 35;
    modbus.ChannelCount = 25;

    c.ScheduleCount = 3;
    c.Reserved2425[0] = 0x01;
    c.MemoryWrap = 1;
    c.Reserved2436[0] = 0x0C;
    c.Reserved2436[179] = 0x3C;
    c.WipeScans = 0;
    c.WipeMinutes = 15;
    SetImageText(c.FormatVersion, "3.0");
    c.Reserved2628 = 0x01;

    const uint8_t precision[channels::Count] = {2, 2, 1, 3, 0, 2, 2, 1, 1, 2, 1, 1};
    for (int ch = 0; ch < ImageChannelCount; ++ch)
        c.ChannelSetup[ch].Precision = ch < channels::Count ? precision[ch] : 2;
    c.ChannelSetup[channels::Depth].DataVariationEnabled = 1;
    c.ChannelSetup[channels::Depth].DataVariationValue = 0.05f;

    c.Reserved2845[0] = 0x5A;
    c.Reserved2845[1] = 0xA5;
    c.Reserved2851[0] = 0xA5;
    c.Reserved2851[1] = 0x5A;
    setImageCrc(c);
    return c;
}

CalibrationData buildCalibration()
{
    CalibrationData c;
    std::memset(&c, 0, sizeof c);

    SetImageText(c.Text0, "Multi Sonde MS6");
    SetImageText(c.SensorName, SensorNameText);
    SetImageText(c.Text48, "Upper weir, left bank");
    SetImageText(c.Text78, "HW 2.1");
    c.FactoryCalDate = stamp(2024, 3, 14, 10, 30, 0);
    SetImageText(c.FormatVersion, "3.0");
    c.Reserved100[0] = 0x02;
    c.Reserved100[1] = 0x01;
    SetImageText(c.SensorID, SensorIdText);

    constexpr int RecordsPerChannel = 5;
    c.CompensationCount = channels::Count * RecordsPerChannel;
    for (int n = 1; n <= c.CompensationCount; ++n) {
        CompensationData& rec = c.CompensationTable[n];
        rec.Reserved0[0] = static_cast<uint8_t>(n);
        setCoeffs(rec, 0.0f, 1.0f);
        std::memset(rec.InputChannels, None, sizeof rec.InputChannels);
    }

    c.ChannelCount = channels::Count;
    for (CalChannelData& ch : c.Channels) {
        ch.UnitsCode = ucNone;
        ch.SourceChannel = None;
    }
    for (const ChannelPlan& p : Plan) {
        CalChannelData& ch = c.Channels[p.number];
        ch.Enabled = p.enabled ? 1 : 0;
        SetImageText(ch.Name, p.name);
        ch.UnitsCode = p.unitsCode;
        SetImageText(ch.UnitsText, p.unitsText);
        ch.SourceChannel = p.source;
        ch.CompensationListCount = RecordsPerChannel;
        for (int role = 0; role < RecordsPerChannel; ++role)
            ch.CompensationNumbers[role] = static_cast<uint8_t>(p.number * RecordsPerChannel + role + 1);
        std::memcpy(c.CompensationTable[ch.CompensationNumbers[0]].InputChannels, p.inputs, sizeof p.inputs);
        setCoeffs(c.CompensationTable[ch.CompensationNumbers[4]], 0.0f, p.unitScale);
    }
    // Factory factors and a user calibration, as a sensor in use would carry.
    setCoeffs(c.CompensationTable[c.Channels[channels::Battery].CompensationNumbers[0]], 0.0f, 0.001f);
    setCoeffs(c.CompensationTable[c.Channels[channels::Pressure].CompensationNumbers[0]], -10.2f, 0.0102f);
    setCoeffs(c.CompensationTable[c.Channels[channels::Pressure].CompensationNumbers[1]], 0.012f, 1.0f);
    setCoeffs(c.CompensationTable[c.Channels[channels::Depth].CompensationNumbers[3]], -0.35f, 1.0f);
    setCoeffs(c.CompensationTable[c.Channels[channels::PH].CompensationNumbers[3]], 0.04f, 0.985f);

    c.Reserved2394[0] = 0x11;
    c.Reserved2394[17] = 0x22;
    c.Reserved3605[0] = 0xA5;
    c.Reserved3605[1] = 0x5A;
    setImageCrc(c);
    return c;
}

SensorImages defaultImages()
{
    return SensorImages{buildConfiguration(), buildCalibration()};
}

SensorImages Standin::images() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return images_;
}

void Standin::setImages(const SensorImages& images)
{
    std::lock_guard<std::mutex> lock(mutex_);
    images_ = images;
}

} // namespace standin
