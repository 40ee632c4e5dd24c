// The sensor's two images, byte for byte as the logger holds them: packed,
// multi-byte values little-endian (the byte order of the target, so they are
// plain members). Bytes this system does not interpret have members of their
// own named after their offset, so that they travel unchanged between logger,
// memory and files.
//
// Multi-byte members are unaligned: copy them by value or with memcpy, never
// bind a reference or a pointer to one.
#pragma once

#include "Timestamp.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

// --- vocabulary of the images ---------------------------------------------

// Condition of a trigger entry (16-bit in the image); the item index of the
// set-up dialog's cause list.
enum enTriggerCause : uint16_t {
    tcRising = 0,
    tcFalling = 1,
    tcDataVariation = 2, // start triggers only
};

// How a schedule starts or stops; the item index of the set-up dialog's
// method choice. The schedule record stores it inversely: StartByTime (or
// StopByTime) is 1 for tmTime; the method entry's MethodType is 1 for
// tmSimpleTrigger.
enum enTriggerMethod : uint8_t {
    tmTime = 0,
    tmSimpleTrigger = 1,
};

// Unit of a channel (the UnitsCode byte of a channel record).
enum enUnitCode : uint8_t {
    // depth, level and pressure
    ucMetres = 0,
    ucFeet = 1,
    ucCm = 2,
    ucMm = 3,
    ucBar = 4,
    ucMBar = 5,
    ucKgCm2 = 6,
    ucPsi = 7,
    ucAtm = 8,
    ucInHg = 9,
    ucMmHg = 10,
    ucPa = 11,
    ucTorr = 12,
    ucKPa = 13,
    // temperature
    ucCelsius = 20,
    ucFahrenheit = 21,
    ucKelvin = 22,
    ucRankin = 23,
    // voltage
    ucVolts = 28,
    ucMV = 29,
    ucPH = 31,
    ucMVolt = 33,
    // dissolved oxygen
    ucDoPercentSat = 38,
    ucDoMgL = 39,
    ucDoPpm = 40,
    ucNtu = 45,
    // suspended solids
    ucTssMgL = 46,
    ucTssPpm = 47,
    ucUnnamed51 = 51,
    // conductivity
    ucMSCm = 52,
    ucUSCm = 53,
    ucUnnamed54 = 54,
    ucUnnamed55 = 55,
    ucUnnamed56 = 56,
    ucUnnamed57 = 57,
    ucTdsMgL = 59,
    // salinity
    ucSalinityPsu = 60,
    ucSalinityMgL = 61,
    ucSalinityPpm = 62,
    ucSalinityPpt = 63,
    ucUnnamed65 = 65,
    ucUnnamed66 = 66,
    ucSaUl = 67,
    // calibration channel kinds
    ucFirstCalChannel = 202,
    ucPhCalChannel = 205,
    ucOdoCalChannel = 207,
    ucLastCalChannel = 211,
    ucNone = 255,
};

// Channel records in both images, indexed by channel number.
constexpr int ImageChannelCount = 36;
// A channel number of 36 or more in a source or input field means "none".
constexpr uint8_t NoChannel = 36;

// --- configuration image --------------------------------------------------

#pragma pack(push, 1)

// A trigger entry (also the layout of the auxiliary trigger entries).
struct TriggerSetupData {
    uint8_t InUse;        // 1 allocated
    uint8_t Channel;      // trigger channel number
    float SetPoint;       // "Set Point Value"
    float ReEnableValue;  // "Re-enable Value"
    uint16_t Condition;   // an enTriggerCause
};
using AuxTriggerSetupData = TriggerSetupData;

// A start or stop method entry (also the layout of the auxiliary entries).
struct MethodSetupData {
    uint8_t Enabled;           // 1 this start or stop is trigger-driven
    uint8_t MethodType;        // 1 simple trigger, 0 time
    uint8_t TriggerNumbers[4]; // trigger entries; only the first is used
    uint8_t ScheduleNumber;    // owning schedule, 255 none
    uint16_t Action;           // 0 start, 1 stop
};
using AuxMethodSetupData = MethodSetupData;

struct ScheduleSetupData {
    uint8_t Enabled;        // 1 the schedule runs, 0 paused
    uint8_t InUse;          // 1 the record holds a schedule
    char Name[15];          // zero-terminated, at most 14 characters
    uint8_t StartByTime;    // 1 start at StartTime, 0 by trigger
    uint8_t StopByTime;     // 1 stop at StopTime, 0 by trigger
    Timestamp StartTime;
    Timestamp StopTime;
    uint8_t Reserved31;
    uint32_t MaxScans;      // 0 no limit
    uint8_t ChannelCount;   // entries used in Channels
    uint8_t AuxList1Count;
    uint8_t AuxList2Count;
    uint8_t Channels[25];   // channel numbers 0..35
    uint8_t AuxList1[6];
    uint8_t AuxList2[4];
    uint8_t Reserved74[2];
    uint32_t ScanTime;        // scan interval, hundredths of a second
    uint16_t AverageCount;    // readings averaged per scan
    uint32_t AverageInterval; // hundredths of a second between averaged readings, 0 off
    uint32_t RecordMultiple;  // a record every RecordMultiple scans
};

struct ChannelSetupData {
    uint8_t DataVariationEnabled;
    float DataVariationValue;
    uint8_t Precision; // decimals shown, 0..6
};

// Schedule records: 0 the monitor channel selection, 1..4 the user's
// schedules, 5 a spare, 6 the Modbus channel selection.
constexpr int ScheduleRecordCount = 7;
constexpr int MonitorScheduleRecord = 0;
constexpr int FirstUserSchedule = 1;
constexpr int LastUserSchedule = 4;
constexpr int SpareScheduleRecord = 5;
constexpr int ModbusScheduleRecord = 6;
// Method entry s starts schedule s, entry s + StopMethodOffset stops it.
constexpr int StopMethodOffset = 10;
constexpr int TriggerEntryCount = 32;
constexpr int MethodEntryCount = 32;

struct ConfigurationData {
    uint8_t Reserved0[51];
    uint8_t Reserved51; // cleared by the format upgrade
    uint8_t Reserved52[23];
    uint8_t SamplerChannel; // its precision formats sampler-event values
    uint8_t Reserved76[370];
    uint8_t AuxTriggerCount;
    AuxTriggerSetupData AuxTriggers[TriggerEntryCount];
    uint8_t AuxMethodCount;
    AuxMethodSetupData AuxMethods[MethodEntryCount];
    uint8_t TriggerCount;
    TriggerSetupData Triggers[TriggerEntryCount]; // entry 0 is never handed out
    uint8_t MethodCount;
    MethodSetupData Methods[MethodEntryCount];
    uint8_t ScheduleCount; // records in use, counting record 0
    ScheduleSetupData Schedules[ScheduleRecordCount];
    uint8_t Reserved2425[10];
    uint8_t MemoryWrap; // 1 the logger memory wraps when full
    uint8_t Reserved2436[180];
    uint16_t WipeScans;   // turbidity wipe interval in scans, 0 unused
    uint16_t WipeMinutes; // wipe interval in minutes, 0 unused
    char FormatVersion[8];
    uint8_t Reserved2628;
    ChannelSetupData ChannelSetup[ImageChannelCount];
    uint8_t Reserved2845[2];
    uint32_t CRC; // CRC-16 of bytes 0..2846, zero-extended
    uint8_t Reserved2851[2];
};

// --- calibration image ----------------------------------------------------

// One compensation number's record.
struct CompensationData {
    uint8_t Reserved0[2];
    float Coeffs[5];          // [0] offset, [1] scale; identity 0, 1, 0, 0, 0
    uint8_t InputChannels[3]; // channels read, 36 or more none
};

struct CalChannelData {
    uint8_t Enabled;
    char Name[12];       // zero-terminated, at most 11 characters
    uint8_t UnitsCode;   // an enUnitCode
    char UnitsText[12];  // zero-terminated
    uint8_t SourceChannel; // derived from this channel, 36 or more none
    uint8_t CompensationListCount;
    // [0] factor, [1] pressure user calibration, [2] specific gravity,
    // [3] datum or user calibration, [4] units conversion
    uint8_t CompensationNumbers[5];
};

// Compensation number n lies at 119 + 25 n; number 90 is the last whose record
// ends inside the table region (byte 2411). Only 1..CompensationCount are valid.
constexpr int CompensationSlotCount = 91;
constexpr int MaxCompensationNumber = CompensationSlotCount - 1;

struct CalibrationData {
    char Text0[18];
    char SensorName[30]; // zero-terminated
    char Text48[30];
    char Text78[8];
    Timestamp FactoryCalDate;
    char FormatVersion[8];
    uint8_t Reserved100[2];
    char SensorID[16]; // zero-terminated, at most 15 characters
    uint8_t CompensationCount;
    CompensationData CompensationTable[CompensationSlotCount];
    uint8_t Reserved2394[18];
    uint8_t ChannelCount; // channel records in use
    CalChannelData Channels[ImageChannelCount];
    uint32_t CRC; // CRC-16 of bytes 0..3600, zero-extended
    uint8_t Reserved3605[2];
};

#pragma pack(pop)

// --- layout checks --------------------------------------------------------

static_assert(sizeof(TriggerSetupData) == 12, "trigger entry");
static_assert(offsetof(TriggerSetupData, SetPoint) == 2 && offsetof(TriggerSetupData, Condition) == 10,
              "trigger entry fields");
static_assert(sizeof(MethodSetupData) == 9, "method entry");
static_assert(offsetof(MethodSetupData, ScheduleNumber) == 6 && offsetof(MethodSetupData, Action) == 7,
              "method entry fields");
static_assert(sizeof(ScheduleSetupData) == 90, "schedule record");
static_assert(offsetof(ScheduleSetupData, Name) == 2 && offsetof(ScheduleSetupData, StartTime) == 19 &&
                  offsetof(ScheduleSetupData, StopTime) == 25 && offsetof(ScheduleSetupData, MaxScans) == 32 &&
                  offsetof(ScheduleSetupData, Channels) == 39 && offsetof(ScheduleSetupData, AuxList1) == 64 &&
                  offsetof(ScheduleSetupData, AuxList2) == 70 && offsetof(ScheduleSetupData, ScanTime) == 76 &&
                  offsetof(ScheduleSetupData, AverageCount) == 80 &&
                  offsetof(ScheduleSetupData, AverageInterval) == 82 &&
                  offsetof(ScheduleSetupData, RecordMultiple) == 86,
              "schedule record fields");
static_assert(sizeof(ChannelSetupData) == 6 && offsetof(ChannelSetupData, Precision) == 5, "channel set-up");

static_assert(sizeof(ConfigurationData) == 2853, "configuration image size");
static_assert(offsetof(ConfigurationData, Reserved51) == 51, "configuration: byte 51");
static_assert(offsetof(ConfigurationData, SamplerChannel) == 75, "configuration: SamplerChannel");
static_assert(offsetof(ConfigurationData, AuxTriggerCount) == 446, "configuration: AuxTriggerCount");
static_assert(offsetof(ConfigurationData, AuxTriggers) == 447, "configuration: AuxTriggers");
static_assert(offsetof(ConfigurationData, AuxMethodCount) == 831, "configuration: AuxMethodCount");
static_assert(offsetof(ConfigurationData, AuxMethods) == 832, "configuration: AuxMethods");
static_assert(offsetof(ConfigurationData, TriggerCount) == 1120, "configuration: TriggerCount");
static_assert(offsetof(ConfigurationData, Triggers) == 1121, "configuration: Triggers");
static_assert(offsetof(ConfigurationData, MethodCount) == 1505, "configuration: MethodCount");
static_assert(offsetof(ConfigurationData, Methods) == 1506, "configuration: Methods");
static_assert(offsetof(ConfigurationData, ScheduleCount) == 1794, "configuration: ScheduleCount");
static_assert(offsetof(ConfigurationData, Schedules) == 1795, "configuration: Schedules");
static_assert(offsetof(ConfigurationData, MemoryWrap) == 2435, "configuration: MemoryWrap");
static_assert(offsetof(ConfigurationData, WipeScans) == 2616, "configuration: WipeScans");
static_assert(offsetof(ConfigurationData, WipeMinutes) == 2618, "configuration: WipeMinutes");
static_assert(offsetof(ConfigurationData, FormatVersion) == 2620, "configuration: FormatVersion");
static_assert(offsetof(ConfigurationData, ChannelSetup) == 2629, "configuration: ChannelSetup");
static_assert(offsetof(ConfigurationData, CRC) == 2847, "configuration: CRC");

static_assert(sizeof(CompensationData) == 25 && offsetof(CompensationData, Coeffs) == 2 &&
                  offsetof(CompensationData, InputChannels) == 22,
              "compensation record");
static_assert(sizeof(CalChannelData) == 33, "channel record");
static_assert(offsetof(CalChannelData, UnitsCode) == 13 && offsetof(CalChannelData, UnitsText) == 14 &&
                  offsetof(CalChannelData, SourceChannel) == 26 &&
                  offsetof(CalChannelData, CompensationListCount) == 27 &&
                  offsetof(CalChannelData, CompensationNumbers) == 28,
              "channel record fields");

static_assert(sizeof(CalibrationData) == 3607, "calibration image size");
static_assert(offsetof(CalibrationData, SensorName) == 18, "calibration: SensorName");
static_assert(offsetof(CalibrationData, Text48) == 48 && offsetof(CalibrationData, Text78) == 78,
              "calibration: texts");
static_assert(offsetof(CalibrationData, FactoryCalDate) == 86, "calibration: FactoryCalDate");
static_assert(offsetof(CalibrationData, FormatVersion) == 92, "calibration: FormatVersion");
static_assert(offsetof(CalibrationData, SensorID) == 102, "calibration: SensorID");
static_assert(offsetof(CalibrationData, CompensationCount) == 118, "calibration: CompensationCount");
static_assert(offsetof(CalibrationData, CompensationTable) == 119, "calibration: CompensationTable");
static_assert(offsetof(CalibrationData, CompensationTable) + sizeof(CompensationData) * MaxCompensationNumber +
                      offsetof(CompensationData, Coeffs) ==
                  121 + 25 * MaxCompensationNumber,
              "calibration: compensation n at 119 + 25 n");
static_assert(offsetof(CalibrationData, CompensationTable) + sizeof(CompensationData) * CompensationSlotCount <= 2412,
              "calibration: every compensation record ends inside the table region");
static_assert(offsetof(CalibrationData, ChannelCount) == 2412, "calibration: ChannelCount");
static_assert(offsetof(CalibrationData, Channels) == 2413, "calibration: Channels");
static_assert(offsetof(CalibrationData, CRC) == 3601, "calibration: CRC");

// Compensation numbers 1..CompensationCount are valid, and only those whose
// record lies inside the image's table.
inline bool IsValidCompensation(const CalibrationData& cal, int number)
{
    return number >= 1 && number <= cal.CompensationCount && number <= MaxCompensationNumber;
}

// Bytes covered by each image's CRC.
constexpr size_t ConfigurationCrcSpan = offsetof(ConfigurationData, CRC);
constexpr size_t CalibrationCrcSpan = offsetof(CalibrationData, CRC);

// --- text fields ----------------------------------------------------------

// The text of a fixed-size field up to its first zero byte, or the whole
// field when the image holds no zero there: never reads past the field.
template <size_t N>
std::string ImageText(const char (&field)[N])
{
    const void* end = std::memchr(field, 0, N);
    return std::string(field, end ? static_cast<size_t>(static_cast<const char*>(end) - field) : N);
}

// Stores `text` cut to N - 1 characters, zero-terminated, the rest of the
// field zero.
template <size_t N>
void SetImageText(char (&field)[N], const std::string& text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), text.size() < N ? text.size() : N - 1);
}
