// The logger's command set, answered from a SensorState: the stand-in's own
// reading of the protocol, kept apart from the sensor code so each checks the
// other.
#pragma once

#include "SensorState.h"
#include "Standin.h"

#include <functional>
#include <memory>
#include <mutex>

namespace standin {

namespace cmd {
constexpr uint8_t Null = 0;
constexpr uint8_t DateTimeBounds = 1;
constexpr uint8_t ClearMemory = 3;
constexpr uint8_t GetConfiguration = 4;
constexpr uint8_t PutConfiguration = 5;
constexpr uint8_t GetCalibration = 6;
constexpr uint8_t PutCalibration = 7;
constexpr uint8_t LogComment = 8;
constexpr uint8_t SetClock = 11;
constexpr uint8_t StartLogging = 16;
constexpr uint8_t StopLogging = 17;
constexpr uint8_t CurrentValues = 18;
constexpr uint8_t Status = 19;
constexpr uint8_t WipeNow = 27;
constexpr uint8_t OdoOffset = 31;
constexpr uint8_t OdoSpan = 32;
constexpr uint8_t OdoReset = 33;
constexpr uint8_t ChannelNameUnits = 50;
constexpr uint8_t ChannelNumbers = 51;
} // namespace cmd

constexpr uint8_t ContentCommand = 0x80;
constexpr uint8_t ContentReply = 0x81;
constexpr uint8_t ContentSubTask = 0x83;
constexpr uint8_t ReplyOk = 0x80;
// The stand-in's refusal of a command with a parameter it cannot take.
constexpr uint8_t ErrorBadParameter = 0x84;

// The state behind the handlers, shared between the stand-in's thread and the
// test that reads and changes it.
class SensorModel {
public:
    explicit SensorModel(SensorState initial = {}) : state_(std::move(initial)) {}

    SensorState state() const;
    void update(const std::function<void(SensorState&)>& change);
    // The answer to one request frame, changing the state as the logger would.
    Responses answer(const Frame& request);

private:
    Responses command(const Bytes& data);
    Responses subTaskPoll();

    mutable std::mutex mutex_;
    SensorState state_;
};

// Makes the stand-in answer every command of the command set (and the
// sub-task poll) from `initial`; the stand-in keeps the model alive.
std::shared_ptr<SensorModel> installCommandSet(Standin& standin, SensorState initial = {});

// Data of the status reply and of the current-values sub-task reply, from
// byte 0 on, as the logger would send them now.
Bytes statusReplyData(const SensorState& state);
Bytes currentValuesReplyData(const SensorState& state);

} // namespace standin
