// The sensor's two images in memory and the work on them alone: reading and
// writing image files, the format check with its upgrade, unit tables, the
// schedule and trigger rules and the channel look-ups of calibration. No link
// and no window: this builds into the protocol library, which links Qt Core
// only. The device model (TSensor_Quarn) is one of these.
#pragma once

#include "SensorImages.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TSensorImageModel {
public:
    ConfigurationData ConfData{};
    CalibrationData CalData{};

    // --- configuration and calibration images (HvSensor_Quarn_Images.cpp) --
    // Writing sets the image's CRC field, then writes the whole image; false
    // when the file cannot be opened or not every byte reached it. Reading
    // takes up to one image's worth of bytes from the start of the file: a
    // shorter file replaces only that many leading bytes, a longer one is read
    // no further, and the CRC is not tested. False, with the image unchanged,
    // when the file cannot be opened or read.
    bool WriteBinConf(ConfigurationData* conf, const std::string& fileName);
    bool ReadBinConf(const std::string& fileName, ConfigurationData* conf);
    bool WriteBinCal(CalibrationData* cal, const std::string& fileName);
    bool ReadBinCal(const std::string& fileName, CalibrationData* cal);
    // The same on `size` bytes in memory, by the same rule; the file forms
    // read the file, then use these.
    static void ReadBinConf(const uint8_t* data, size_t size, ConfigurationData* conf);
    static void ReadBinCal(const uint8_t* data, size_t size, CalibrationData* cal);
    // Resets schedule record `record` (0..6) and its start and stop method
    // entries to the defaults of a free record; other records are ignored.
    void ClearSchedule(int record);
    // True when the image is at format 3.0 or later; otherwise upgrades it in
    // memory (the CRC field is left for the next write) and returns false.
    // A version text that is not a number raises EConvertError.
    bool verifyConfigFile();
    bool verifyCalFile();
    // The five coefficients of the channel's datum compensation record. False,
    // touching nothing, when the channel or its datum compensation number is
    // not valid in the image.
    bool SetPressureChannelDatum(uint16_t channel, const float coeffs[5]);
    bool GetPressureChannelDatum(uint16_t channel, float coeffs[5]) const;

    // --- unit tables (HvSensor_Quarn_Units.cpp) ---------------------------
    // Family (base unit type) of a unit code; 255 when it has none.
    static uint8_t GetBaseUnitType(uint8_t code);
    // Default text of a unit code; empty when it has none.
    static std::string GetDefaultUnitsString(uint8_t code);
    // Replaces `list` with the unit texts a family offers (empty for a value
    // that is no family).
    static void GetDefaultUnitsStringList(uint8_t baseType, std::vector<std::string>& list);
    // Unit code of a text, matched exactly; the first of equal texts wins.
    // ucNone for a text of no unit.
    static uint8_t GetUnitTypeFromString(const std::string& text);

    // --- schedule and trigger rules (HvSensor_Quarn_Rules.cpp) -----------
    // Pure image work on ConfData and CalData. Channel lists hold at most
    // MaxScheduleChannels numbers; nothing is written beyond that.
    static constexpr int MaxScheduleChannels = 25;
    // The monitor selection (schedule record 0) out and in; the count is kept
    // to 0..25 and each channel to its low byte.
    void zz_backupMonitorSchedule(int* count, int channels[MaxScheduleChannels]);
    bool zz_setMonitorSchedule(int count, const int channels[]);
    // Puts `channel` (as decimal text) into `list` at `position` (appended
    // when the list is empty or the position lies past its end), then the
    // channels it is computed from, each in front of or among the first
    // places before the channel that needs it. A loop in the image ends.
    void zz_AddChannelDependencies(std::vector<std::string>& list, uint16_t channel, int position);
    // In: channels[0]. Out: that channel with all its dependencies, each once
    // at its first place, and their count. Always true.
    bool zz_findChannelDependencies(int* count, int channels[MaxScheduleChannels]);
    // Channel names to numbers, with (schedule) or without (monitor) their
    // dependencies, each number once; names of no channel are left out. No
    // channel at all gives channel 0 and the count 1.
    uint16_t composeScheduleChannelsList(const std::vector<std::string>& names, int numbers[MaxScheduleChannels]);
    int composeMonitoScheduleChannelsList(const std::vector<std::string>& names, int numbers[MaxScheduleChannels]);
    // First free user schedule (1..4), or 0 when all are in use.
    int GetNextAvailableClearedSchedule();
    // Names of the enabled channels that some time-started schedule in use
    // measures, sorted, each once.
    void GetTriggerableChannels(std::vector<std::string>& list);
    // First free trigger entry (1..31; 0 is never handed out), or -1.
    int GetNextFreeTrigger();
    // Frees every trigger entry that no method entry refers to.
    void ValidateTriggers();
    // True when deleting schedule `record` would leave a trigger channel of a
    // trigger-driven schedule measured by no time-started schedule.
    bool CheckTriggeredScheduleDependency(int record);

    // --- channel look-ups (HvSensor_Quarn_Channels.cpp) ------------------
    // First of the ChannelCount channel records whose name equals `name`
    // exactly: 255 (derived) or -1 (dep) when none does.
    uint8_t findDerivedChannelNumber(const std::string& name);
    int findDepChannelNumber(const std::string& name);
    // Whether a channel can be calibrated, and the names of those that can
    // (returns ChannelCount).
    bool zz_isCalChannel(int channel);
    int zz_getCalibrationList(std::vector<std::string>& list);
    // The channel's user-calibration and units-conversion compensation
    // numbers; -1 for none.
    int zz_getUserCalCompensationNumber(int channel);
    int zz_getUnitsCalCompensationNumber(int channel);
    // 1..CompensationCount.
    bool zz_isValidCompensation(int number);
    // The five coefficients of a compensation record out or in; false,
    // copying nothing, for a number whose record lies outside the table.
    bool zz_backupCompensationCoeffs(int number, float coeffs[5]);
    bool zz_setCompensationCoeffs(int number, const float coeffs[5]);
    // Enables a disabled channel record and returns true; false otherwise.
    bool zz_CheckDerivedChannelEnabledValue(int channel);
};
