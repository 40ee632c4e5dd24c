// The logger's command set: one request frame per command, its time-out and
// tries, and the one way every reply is judged.
#include "HvSensor_Quarn.h"

#include <algorithm>
#include <cstring>

namespace {

// The command, its parameters and a terminating zero fill at most this.
constexpr size_t CommandBufferSize = 256;
constexpr size_t MaxCommandText = CommandBufferSize - 2;

// Time-out (seconds) and tries of each command.
struct Timing {
    uint8_t timeout;
    uint16_t tries;
};
constexpr Timing NullTiming{1, 7};
constexpr Timing BoundsTiming{10, 3};
constexpr Timing ClearTiming{10, 3};
constexpr Timing FileTiming{3, 3};
constexpr Timing CommentTiming{3, 3};
constexpr Timing ClockTiming{5, 3};
constexpr Timing StartTiming{10, 3};
constexpr Timing StopTiming{5, 3};
constexpr Timing CurrentValuesTiming{5, 3};
constexpr Timing StatusTiming{3, 3};
constexpr Timing WipeTiming{15, 1};
constexpr Timing OdoTiming{10, 3};
constexpr Timing ChannelTiming{3, 3};

struct Command {
    uint8_t bytes[CommandBufferSize] = {};
    uint16_t length = 0;

    explicit Command(enCommandCode code) { add(code); }
    void add(uint8_t b) { bytes[length++] = b; }
    void add(const uint8_t* data, size_t count)
    {
        std::memcpy(bytes + length, data, count);
        length = static_cast<uint16_t>(length + count);
    }
    void addInt32(int32_t value)
    {
        const auto v = static_cast<uint32_t>(value);
        for (int i = 0; i < 4; ++i)
            add(static_cast<uint8_t>(v >> (8 * i)));
    }
    void addText(const std::string& text)
    {
        add(reinterpret_cast<const uint8_t*>(text.data()), std::min(text.size(), MaxCommandText));
    }
};

// Sends the command and judges its reply. On true, `reply` holds the reply's
// data and one byte more (replyLength bytes).
bool exchange(TQuarnComms& link, const Command& cmd, Timing timing, uint16_t* status, ReplyBuffer& reply,
              uint16_t& replyLength)
{
    uint16_t ignored = 0;
    uint16_t& out = status ? *status : ignored;
    reply.fill(0);
    replyLength = 0;
    enLinkStatus linkStatus = lsNone;
    if (!link.SendCommandAwaitReply(cmd.bytes, cmd.length, reply, replyLength, timing.tries, timing.timeout,
                                    linkStatus)) {
        out = linkStatus;
        return false;
    }
    // A good frame too short to carry the verdict and the echo is no reply
    // to this command.
    if (replyLength < 3) {
        out = lsUnexpectedReply;
        return false;
    }
    out = lsOk;
    if (reply[1] != cmd.bytes[0])
        return false;
    if (reply[0] == LoggerReplyOk)
        return true;
    out = static_cast<uint16_t>(static_cast<int16_t>(static_cast<int8_t>(reply[0])));
    return false;
}

bool exchange(TQuarnComms& link, const Command& cmd, Timing timing, uint16_t* status)
{
    ReplyBuffer reply;
    uint16_t replyLength = 0;
    return exchange(link, cmd, timing, status, reply, replyLength);
}

// The reply's Timestamp at `offset`; all zero ("no time") when the reply
// ends before it.
Timestamp timestampAt(const ReplyBuffer& reply, uint16_t replyLength, size_t offset)
{
    Timestamp ts{};
    const size_t dataBytes = replyLength > 0 ? replyLength - 1u : 0u;
    if (offset + sizeof ts <= dataBytes)
        std::memcpy(&ts, reply.data() + offset, sizeof ts);
    return ts;
}

} // namespace

bool TSensor_Quarn::NullCommand()
{
    return exchange(*Comms, Command(cmdNull), NullTiming, &LastStatus);
}

bool TSensor_Quarn::GetDateTimeBounds(Timestamp* first, Timestamp* last, uint16_t* status)
{
    ReplyBuffer reply;
    uint16_t replyLength = 0;
    if (!exchange(*Comms, Command(cmdGetDateTimeBounds), BoundsTiming, status, reply, replyLength))
        return false;
    *first = timestampAt(reply, replyLength, 3);
    *last = timestampAt(reply, replyLength, 9);
    return true;
}

bool TSensor_Quarn::GetDateTimeBounds()
{
    if (!NullCommand())
        return false;
    Timestamp first{}, last{};
    if (!GetDateTimeBounds(&first, &last, &LastStatus))
        return false;
    encodeTDateTime(first, &Status.FirstLoggedTime);
    encodeTDateTime(last, &Status.LastLoggedTime);
    return true;
}

bool TSensor_Quarn::ClearMemory(const std::string& text, uint16_t* status)
{
    Command cmd(cmdClearMemory);
    cmd.addText(text);
    return exchange(*Comms, cmd, ClearTiming, status);
}

bool TSensor_Quarn::ClearLoggerMemory(const std::string& text)
{
    return NullCommand() && ClearMemory(text, &LastStatus);
}

bool TSensor_Quarn::GetConfigurationFile(uint16_t* status)
{
    return exchange(*Comms, Command(cmdGetConfigurationFile), FileTiming, status);
}

bool TSensor_Quarn::PutConfigurationFile(uint16_t* status)
{
    return exchange(*Comms, Command(cmdPutConfigurationFile), FileTiming, status);
}

bool TSensor_Quarn::GetCalibrationFile(uint16_t* status)
{
    return exchange(*Comms, Command(cmdGetCalibrationFile), FileTiming, status);
}

bool TSensor_Quarn::PutCalibrationFile(uint16_t* status)
{
    return exchange(*Comms, Command(cmdPutCalibrationFile), FileTiming, status);
}

bool TSensor_Quarn::LogComment(const std::string& text, uint16_t* status)
{
    Command cmd(cmdLogComment);
    cmd.addText(text);
    cmd.add(0);
    return exchange(*Comms, cmd, CommentTiming, status);
}

bool TSensor_Quarn::LogComment(const std::string& text)
{
    LastStatus = lsNone;
    return NullCommand() && LogComment(text, &LastStatus);
}

bool TSensor_Quarn::ChangeDateTime(const Timestamp& ts, uint16_t* status)
{
    Command cmd(cmdChangeDateTime);
    encodeTimestamp(ts, cmd.bytes + cmd.length);
    cmd.length = static_cast<uint16_t>(cmd.length + sizeof ts);
    return exchange(*Comms, cmd, ClockTiming, status);
}

bool TSensor_Quarn::setDateTime(TDateTime value, bool usePcTime)
{
    LastStatus = lsNone;
    if (!NullCommand())
        return false;
    Timestamp ts{};
    decodeTDateTime(usePcTime ? Now() : value, &ts);
    return ChangeDateTime(ts, &LastStatus);
}

bool TSensor_Quarn::StartScheduler(uint8_t mode, uint16_t* status)
{
    Command cmd(cmdStartScheduler);
    cmd.add(mode);
    return exchange(*Comms, cmd, StartTiming, status);
}

bool TSensor_Quarn::StartScheduler(uint16_t mode)
{
    LastStatus = lsNone;
    if (mode > 0xFF)
        return false;
    return NullCommand() && StartScheduler(static_cast<uint8_t>(mode), &LastStatus);
}

bool TSensor_Quarn::StopScheduler(uint16_t* status)
{
    return exchange(*Comms, Command(cmdStopScheduler), StopTiming, status);
}

bool TSensor_Quarn::StopScheduler()
{
    LastStatus = lsNone;
    return NullCommand() && StopScheduler(&LastStatus);
}

bool TSensor_Quarn::GetCurrentValues(uint16_t* status)
{
    return exchange(*Comms, Command(cmdGetCurrentValues), CurrentValuesTiming, status);
}

bool TSensor_Quarn::LoggerStatus(uint16_t* status, ReplyBuffer& reply, uint16_t& replyLength)
{
    return exchange(*Comms, Command(cmdLoggerStatus), StatusTiming, status, reply, replyLength);
}

bool TSensor_Quarn::WipeNowCommand(uint16_t* status)
{
    return exchange(*Comms, Command(cmdWipeNow), WipeTiming, status);
}

bool TSensor_Quarn::TurbidityWipeNow()
{
    LastStatus = lsNone;
    return NullCommand() && WipeNowCommand(&LastStatus);
}

namespace {

// An optical oxygen setting: the command and its value in hundredths.
bool odoValue(TQuarnComms& link, enCommandCode code, int32_t value, uint16_t* status)
{
    Command cmd(code);
    cmd.addInt32(value);
    return exchange(link, cmd, OdoTiming, status);
}

} // namespace

bool TSensor_Quarn::SetLDO_Offset(int32_t value, uint16_t* status)
{
    return odoValue(*Comms, cmdSetLDO_Offset, value, status);
}

bool TSensor_Quarn::SetLDO_Offset(int32_t value)
{
    LastStatus = lsNone;
    return NullCommand() && SetLDO_Offset(value, &LastStatus);
}

bool TSensor_Quarn::SetLDO_Span(int32_t value, uint16_t* status)
{
    return odoValue(*Comms, cmdSetLDO_Span, value, status);
}

bool TSensor_Quarn::SetLDO_Span(int32_t value)
{
    LastStatus = lsNone;
    return NullCommand() && SetLDO_Span(value, &LastStatus);
}

bool TSensor_Quarn::LDO_Calibration_Reset(uint16_t* status)
{
    return exchange(*Comms, Command(cmdLDO_Calibration_Reset), OdoTiming, status);
}

bool TSensor_Quarn::LDO_Calibration_Reset()
{
    LastStatus = lsNone;
    return NullCommand() && LDO_Calibration_Reset(&LastStatus);
}

namespace {

bool channelData(TQuarnComms& link, enCommandCode code, uint8_t channel, ReplyBuffer& buffer, uint16_t* status)
{
    Command cmd(code);
    cmd.add(channel);
    ReplyBuffer reply;
    uint16_t replyLength = 0;
    if (!exchange(link, cmd, ChannelTiming, status, reply, replyLength))
        return false;
    // replyLength is at least 3 here and at most the buffer's size.
    std::copy(reply.begin() + 3, reply.begin() + replyLength, buffer.begin());
    return true;
}

} // namespace

bool TSensor_Quarn::Get_ChannelName_Units(uint8_t channel, ReplyBuffer& buffer, uint16_t* status)
{
    return channelData(*Comms, cmdGet_ChannelName_Units, channel, buffer, status);
}

bool TSensor_Quarn::Get_ChannelName_Units(uint8_t channel, ReplyBuffer& buffer)
{
    LastStatus = lsNone;
    return NullCommand() && Get_ChannelName_Units(channel, buffer, &LastStatus);
}

bool TSensor_Quarn::Get_Channel_Numbers(uint8_t channel, ReplyBuffer& buffer, uint16_t* status)
{
    return channelData(*Comms, cmdGet_Channel_Numbers, channel, buffer, status);
}

bool TSensor_Quarn::Get_Channel_Numbers(uint8_t channel, ReplyBuffer& buffer)
{
    LastStatus = lsNone;
    return NullCommand() && Get_Channel_Numbers(channel, buffer, &LastStatus);
}

#ifdef BRINDLECOT_PORTMODE
namespace {

constexpr Timing JumpTiming{5, 3};

} // namespace

bool TSensor_Quarn::JumpToBoot(uint16_t* status)
{
    return exchange(*Comms, Command(cmdJumpToBoot), JumpTiming, status);
}

bool TSensor_Quarn::JumpToBoot()
{
    LastStatus = lsNone;
    return NullCommand() && JumpToBoot(&LastStatus);
}
#endif
