// The comms-mode utility's additions to the device model: the jump to the
// boot code, and the link's plain-text operations for the boot code's menu.
#include "HvSensor_Quarn.h"

namespace {

constexpr uint8_t JumpTimeoutSeconds = 5;
constexpr uint16_t JumpTries = 3;

} // namespace

bool TSensor_Quarn::JumpToBoot(uint16_t* status)
{
    uint16_t ignored = 0;
    uint16_t& out = status ? *status : ignored;
    const uint8_t command = cmdJumpToBoot;
    ReplyBuffer reply{};
    uint16_t replyLength = 0;
    enLinkStatus linkStatus = lsNone;
    if (!Comms->SendCommandAwaitReply(&command, 1, reply, replyLength, JumpTries, JumpTimeoutSeconds, linkStatus)) {
        out = linkStatus;
        return false;
    }
    out = lsOk;
    // Too short to carry the verdict and the echo: no answer to this command.
    if (replyLength < 3) {
        out = lsUnexpectedReply;
        return false;
    }
    if (reply[1] != cmdJumpToBoot)
        return false;
    if (reply[0] == LoggerReplyOk)
        return true;
    out = static_cast<uint16_t>(static_cast<int16_t>(static_cast<int8_t>(reply[0])));
    return false;
}

bool TSensor_Quarn::JumpToBoot()
{
    LastStatus = lsNone;
    if (!NullCommand())
        return false;
    return JumpToBoot(&LastStatus);
}

bool TSensor_Quarn::SendString(const std::string& text)
{
    if (!Comms->PortOpen)
        return false;
    return Comms->sendString(text);
}

bool TSensor_Quarn::WaitForString(const std::string& pattern, uint8_t* buffer, int32_t length, int32_t& received,
                                  uint16_t timeout)
{
    if (!Comms->PortOpen)
        return false;
    return Comms->WaitForString(pattern, buffer, length, received, timeout);
}

void TSensor_Quarn::Delay(int32_t milliseconds)
{
    Comms->Delay(milliseconds);
}
