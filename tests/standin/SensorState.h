// What the stand-in logger knows about itself: identity, memory, clock,
// logging, schedules and the channels' live values, and what the PC has told
// it. The command set (CommandSet.h) answers from it and changes it.
#pragma once

#include "Framing.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace standin {

// year - 2000, month, day, hour, minute, second
using Stamp = std::array<uint8_t, 6>;

// Local wall-clock seconds: the local date and time counted as if it were
// UTC, so two of them subtract to the seconds between.
int64_t localWallSecondsNow();
Stamp stampFromWallSeconds(int64_t seconds);
// False for a stamp that is no date and time of the years 2000 to 2199.
bool stampToWallSeconds(const Stamp& stamp, int64_t& seconds);

struct ScheduleEntry {
    std::string name; // up to 13 bytes, padded with zeros on the wire
    uint32_t value = 0;
};

struct ChannelValue {
    std::array<uint8_t, 6> head{}; // carried, not meant for the PC
    float value = 0;
    float lastLogged = -1e10f;
};

struct SensorState {
    std::string sensorId = "SIM00042"; // 8 characters on the wire
    uint32_t memoryCapacity = 4u * 1024 * 1024;
    uint32_t memoryUsed = 123456;
    std::array<char, 2> firmwareLetters{{'Q', 'B'}};
    uint8_t firmwareMajor = 2;
    uint8_t firmwareMinor = 7;
    std::array<int8_t, 4> statusValues{{1, -2, 3, -4}};

    // The clock runs at the local wall clock plus this offset, unless
    // `clockStamp` holds it still (used to send arbitrary bytes).
    int64_t clockOffsetSeconds = 0;
    std::optional<Stamp> clockStamp;

    bool logging = false;
    uint8_t startMode = 0; // parameter of the last start command
    // Entries 1 to N-1 of the status reply (N is this count + 1).
    std::vector<ScheduleEntry> schedules{{"Monitor", 0}, {"Schedule 1", 1}, {"Schedule 2", 0}};
    std::array<uint16_t, 6> skippedValues{{1, 2, 3, 4, 5, 6}};
    int8_t tailValue1 = 5;
    int8_t tailValue2 = -6;
    std::optional<Stamp> statusTime; // default: the clock

    Stamp firstLogged{{24, 1, 15, 8, 0, 0}};
    Stamp lastLogged{{24, 6, 30, 17, 45, 10}};

    std::vector<ChannelValue> channels{{{{0, 0, 0, 0, 0, 0}}, 12.5f, 12.25f},
                                       {{{1, 0, 0, 0, 0, 0}}, 1.234f, -1e10f},
                                       {{{2, 0, 0, 0, 0, 0}}, 7.01f, 7.0f}};
    // How long a measurement takes before the sub-task result is sent.
    int measureMs = 300;
    bool measuring = false;

    // Answers of the channel commands by channel number (byte 2 of the reply
    // is the channel, the rest follows).
    std::map<uint8_t, Bytes> channelNameUnits{{0, {'T', 'e', 'm', 'p', 0, 'C', 0}}};
    std::map<uint8_t, Bytes> channelNumbers{{0, {0, 20, 1}}};

    // Commands the logger refuses, with its error byte.
    std::map<uint8_t, uint8_t> refuse;
    // Commands the logger takes this many more times and refuses from then
    // on, with the error byte.
    std::map<uint8_t, std::pair<int, uint8_t>> refuseAfter;

    // What the PC asked for.
    std::vector<std::string> comments;
    std::vector<std::string> clearTexts;
    int32_t odoOffset = 0;
    int32_t odoSpan = 0;
    int odoResets = 0;
    int wipes = 0;
    std::vector<uint8_t> fileCommands; // 4 to 7, in order

    // The clock now, as the logger would report it.
    Stamp clock() const;
};

} // namespace standin
