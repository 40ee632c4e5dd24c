// The logger status and the current values: the two replies that fill the
// device model's Status block, and the sensor clock's offset from the PC's.
#include "HvSensor_Quarn.h"

#include <climits>
#include <cmath>
#include <cstring>

namespace {

// Reads fields of a received reply at fixed offsets. A field is stored only
// when the reply holds all of its bytes, so a short reply leaves the fields
// past its end as they were.
class ReplyReader {
public:
    ReplyReader(const uint8_t* data, size_t count) : data_(data), count_(count) {}

    bool has(size_t offset, size_t size) const { return offset <= count_ && size <= count_ - offset; }
    const uint8_t* at(size_t offset) const { return data_ + offset; }
    uint32_t u32(size_t offset) const
    {
        const uint8_t* p = data_ + offset;
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    int32_t signedByte(size_t offset) const { return static_cast<int8_t>(data_[offset]); }
    Timestamp timestamp(size_t offset) const
    {
        Timestamp ts;
        std::memcpy(&ts, data_ + offset, sizeof ts);
        return ts;
    }

private:
    const uint8_t* data_;
    size_t count_;
};

// Sensor clock minus PC clock in whole seconds (the fraction dropped on
// either side). An absent sensor clock gives an offset far beyond what 32 bits
// hold; it is kept at the largest value with the right sign.
int32_t clockOffsetSeconds(TDateTime sensorClock, TDateTime now)
{
    const double ms = std::round(std::fabs(now - sensorClock) * MSecsPerDay);
    const double seconds = std::min(std::floor(ms / 1000.0), static_cast<double>(INT32_MAX));
    const auto whole = static_cast<int32_t>(seconds);
    return now >= sensorClock ? -whole : whole;
}

constexpr size_t ScheduleEntrySize = 17;
constexpr size_t CurrentValueSize = sizeof(CurrentValueData);

} // namespace

bool TSensor_Quarn::LoggerStatus()
{
    LastStatus = lsNone;
    if (!NullCommand())
        return false;
    ReplyBuffer reply;
    uint16_t replyLength = 0;
    if (!LoggerStatus(&LastStatus, reply, replyLength))
        return false;

    // The data bytes of the reply; the copy's last byte carries nothing.
    const ReplyReader r(reply.data(), replyLength - 1u);
    SensorStatusData& s = Status;
    if (r.has(3, 4))
        for (size_t i = 0; i < 4; ++i)
            s.StatusValues[i] = r.signedByte(3 + i);
    if (r.has(7, 8)) {
        std::memset(s.ConnectedSensorID, 0, sizeof s.ConnectedSensorID);
        std::memcpy(s.ConnectedSensorID, r.at(7), 8);
    }
    if (r.has(15, 4))
        s.MemoryCapacity = r.u32(15);
    if (r.has(19, 4))
        s.MemoryUsed = r.u32(19);
    if (r.has(23, 4)) {
        std::memset(s.FirmwareVersion, 0, sizeof s.FirmwareVersion);
        s.FirmwareVersion[0] = static_cast<char>(*r.at(23));
        s.FirmwareVersion[1] = static_cast<char>(*r.at(24));
        s.FirmwareVersion[2] = static_cast<char>('0' + *r.at(25));
        s.FirmwareVersion[3] = '.';
        s.FirmwareVersion[4] = static_cast<char>('0' + *r.at(26));
    }
    if (r.has(27, 6)) {
        encodeTDateTime(r.timestamp(27), &s.SensorClock);
        s.ClockOffsetSeconds = clockOffsetSeconds(s.SensorClock, Now());
    }
    if (r.has(33, 1))
        s.LoggingFlags = *r.at(33);
    if (!r.has(34, 1))
        return true;
    const int32_t count = r.signedByte(34);
    s.ScheduleStatusCount = count;
    for (int32_t i = 1; i < count && i < MaxScheduleStatus; ++i) {
        const size_t offset = 35 + ScheduleEntrySize * static_cast<size_t>(i - 1);
        if (!r.has(offset, ScheduleEntrySize))
            break;
        std::memcpy(s.ScheduleStatus[i].Name, r.at(offset), sizeof s.ScheduleStatus[i].Name);
        s.ScheduleStatus[i].Value = static_cast<int32_t>(r.u32(offset + 13));
    }
    const size_t p = 35 + (count > 1 ? ScheduleEntrySize * static_cast<size_t>(count - 1) : 0);
    if (r.has(p + 12, 1))
        s.TailValue1 = r.signedByte(p + 12);
    if (r.has(p + 15, 1))
        s.TailValue2 = r.signedByte(p + 15);
    if (r.has(p + 16, 6))
        encodeTDateTime(r.timestamp(p + 16), &s.StatusTime);
    return true;
}

bool TSensor_Quarn::GetCurrentValues()
{
    LastStatus = lsNone;
    if (!NullCommand() || !GetCurrentValues(&LastStatus))
        return false;
    // The sensor measures now; its result comes as a sub-task reply.
    ReplyBuffer reply;
    reply.fill(0);
    uint16_t replyLength = 0;
    enLinkStatus status = lsNone;
    const bool ok = Comms->AwaitSubTaskReply(reply, replyLength, 1, 45, status);
    LastStatus = status;
    if (!ok)
        return false;
    const size_t dataBytes = replyLength > 0 ? replyLength - 1u : 0u;
    if (dataBytes < 2) { // not even the count
        LastStatus = lsUnexpectedReply;
        return false;
    }
    // Only entries the reply holds completely are taken, and no more than the
    // block has room for; the count says how many were taken.
    const size_t held = (dataBytes - 2) / CurrentValueSize;
    size_t n = reply[1];
    if (n > held)
        n = held;
    if (n > MaxCurrentValues)
        n = MaxCurrentValues;
    for (size_t i = 0; i < n; ++i)
        std::memcpy(&Status.CurrentValues[i], reply.data() + 2 + CurrentValueSize * i, CurrentValueSize);
    Status.CurrentValueCount = static_cast<uint8_t>(n);
    return true;
}
