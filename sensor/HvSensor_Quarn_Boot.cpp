// The comms-mode utility's additions to the device model: the link's
// plain-text operations for the boot code's menu. (Its jump to the boot code
// is a command like the others, with them.)
#include "HvSensor_Quarn.h"

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
