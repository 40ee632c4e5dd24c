// Record frames, the record stream scan and the last record of a download file.
#include "sonderecordcmd.h"

#include "PSQuarnComms.h"
#include "RecordTime.h"
#include "SysUtils.h"

#include <QSaveFile>

#include <cstring>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace {

const char* const SystemEventNames[] = {
    " NULL_SYSTEM_EVENT",      " HARDWARE_RESET",        " LOW_VOLTAGE_ALARM",
    " MEMORY_SEARCH_INITIATED", " SERIAL_WAKEUP_INTERRUPT", " SYSTEM_DATE_TIME_CHANGED",
    " SCHEDULER_STARTED",      " SCHEDULER_STOPPED",     " MEMORY_WRAPPED_AROUND",
    " MEMORY_FULL",            " MEMORY_ERASED",         " JUMPED_TO_BOOT_CODE",
    " CONFIG_FILE_UPDATED",    " CAL_FILE_UPDATED",      " DATA_MEMORY_ERASED",
    " MEMORY_CLEARED",         " SBOX_POWER_ON_DETECT",  " SBOX_DETECT_FAILED",
    " RAIN_DATA_MISSED",       " SBOX_SYNC_OK",          " SBOX_SYNC_NOK",
    " SBOX_RECONNECT_OK",      " SBOX_BAUD_CHANGE_OK",   " SBOX_BAUD_CHANGE_NOK",
    " SBOX_SYSINFO_NOK",       " NUM_ESB_MISMATCH",      " SOFTWARE_RESET",
};
static_assert(sizeof(SystemEventNames) / sizeof(SystemEventNames[0]) == SOFTWARE_RESET + 1,
              "one name per system event");

// The byte at `pos` of the raw bytes read as one escaped byte.
uint8_t escapedByteAt(const uint8_t* src, size_t pos, size_t available)
{
    if (pos >= available)
        throw std::out_of_range("record frame ends inside a field");
    if (src[pos] == RecordEscape && pos + 1 < available && (src[pos + 1] == 0x7D || src[pos + 1] == 0x7E))
        return static_cast<uint8_t>(src[pos + 1] ^ 0x80);
    return src[pos];
}

// Payload length of a record type, from the raw bytes that follow the
// header. Computed in 16 bits as the logger does; an implausible result is
// refused by the length limit or by the reader of the record.
uint16_t payloadLengthOf(uint8_t type, const uint8_t* raw, size_t available)
{
    auto channelBlock = [&](size_t mPos, size_t kPos, unsigned extra) {
        const unsigned m = escapedByteAt(raw, mPos, available);
        const unsigned k = escapedByteAt(raw, kPos, available);
        return static_cast<uint16_t>(4u * m * k + k + extra);
    };
    switch (type) {
    case rtNull:
        return 0;
    case rtScheduleData:
    case rtAlarmEvent:
        return channelBlock(1, 2, 3);
    case rtTriggerEvent:
        return channelBlock(1, 2, 5);
    case rtUnnamedCB:
        return channelBlock(7, 8, 9);
    case rtStartOfLogging:
    case rtComment:
    case rtNotify:
        return escapedByteAt(raw, 0, available);
    case rtSamplerEvent:
    case rtDataVariation:
        return 5;
    case rtSystemLog:
    case rtRainMissingEvent:
        return 1;
    case rtRainEvent:
        return 22;
    case rtSboxStatus:
        return 12;
    default:
        return 0;
    }
}

} // namespace

std::string SystemEventName(uint8_t event)
{
    return event <= SOFTWARE_RESET ? SystemEventNames[event] : std::string();
}

TSondeRecordCmd::TSondeRecordCmd(QObject* owner) : QObject(owner)
{
    LastRecordDate = 0;
    LastRecordTime = 0;
}

TSondeRecordCmd::~TSondeRecordCmd() = default;

// --- record frames ------------------------------------------------------------

uint16_t TSondeRecordCmd::ctrlEscapeDecode(const uint8_t* src, uint16_t count, uint8_t* dst, size_t available)
{
    size_t pos = 0;
    for (uint16_t i = 0; i < count; ++i) {
        if (pos >= available)
            throw std::out_of_range("record frame ends inside a field");
        if (src[pos] == RecordEscape && pos + 1 < available && (src[pos + 1] == 0x7D || src[pos + 1] == 0x7E)) {
            dst[i] = static_cast<uint8_t>(src[pos + 1] ^ 0x80);
            pos += 2;
        } else {
            dst[i] = src[pos];
            pos += 1;
        }
    }
    return static_cast<uint16_t>(pos);
}

void TSondeRecordCmd::updateCcittCrc(uint16_t& crc, uint8_t byte)
{
    TQuarnComms::updateCcittCrc(crc, byte);
}

uint16_t TSondeRecordCmd::blockCalcCcittCrc(const uint8_t* data, uint16_t initial, size_t count)
{
    return TQuarnComms::blockCalcCcittCrc(data, initial, count);
}

int16_t TSondeRecordCmd::destructRecordFrame(const uint8_t (&raw)[RecordFrameBufferSize], RecordFrameTypeNumber& type,
                                             Timestamp& time, uint8_t (&header)[3], uint8_t* payload,
                                             uint16_t& payloadLength)
{
    try {
        if (raw[0] != RecordMarker)
            return rdNoStart;
        type = raw[1];
        std::memcpy(&time, raw + 2, sizeof(Timestamp));
        uint16_t crc = blockCalcCcittCrc(raw, 0, 8);
        size_t pos = 8;
        pos += ctrlEscapeDecode(raw + pos, 3, header, RecordFrameBufferSize - pos);
        crc = blockCalcCcittCrc(header, crc, 3);
        if (type < rtNull || type > rtNotify)
            return rdBadType;
        const uint16_t length = payloadLengthOf(type, raw + pos, RecordFrameBufferSize - pos);
        if (length > MaxRecordPayload)
            return rdTooLong;
        if (length != 0) {
            pos += ctrlEscapeDecode(raw + pos, length, payload, RecordFrameBufferSize - pos);
            crc = blockCalcCcittCrc(payload, crc, length);
        }
        uint8_t check[2];
        pos += ctrlEscapeDecode(raw + pos, 2, check, RecordFrameBufferSize - pos);
        if (static_cast<uint16_t>(check[0] | check[1] << 8) != crc)
            return rdBadCrc;
        payloadLength = length;
        return static_cast<int16_t>(pos);
    } catch (...) {
        return rdNoStart;
    }
}

bool TSondeRecordCmd::IsLeapYear(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int TSondeRecordCmd::DaysPerMonth(int year, int month)
{
    static const int Days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return Days[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

bool TSondeRecordCmd::IsValidTimestamp(const Timestamp& time)
{
    return time.Year < 200 && time.Month >= 1 && time.Month <= 12 && time.Day >= 1
        && time.Day <= DaysPerMonth(2000 + time.Year, time.Month) && time.Hour < 25 && time.Minute < 60
        && time.Second < 60;
}

// --- the record stream scan -------------------------------------------------------

// The window must stay responsive during a conversion, but pumping the event
// queue after each of several hundred thousand small frames would cost more
// than the decoding itself; pumping a few dozen times a second is enough.
constexpr uint32_t PumpIntervalMs = 20;

void TSondeRecordCmd::pumpMessages()
{
    const uint32_t now = timeGetTime();
    if (!tickReached(now, LastPumpTick + PumpIntervalMs))
        return;
    LastPumpTick = now;
    ProcessMessages();
    std::this_thread::yield();
}

void TSondeRecordCmd::scanRecordStream(std::FILE* file, long position,
                                       const std::function<void(const ScannedFrame&)>& onFrame)
{
    uint8_t raw[RecordFrameBufferSize];
    long pos = position;
    if (std::fseek(file, position, SEEK_SET) != 0)
        return;
    LastPumpTick = timeGetTime();
    int c = 0;
    for (;;) {
        // Step 1: find the next marker.
        do {
            c = getc_unlocked(file);
            if (c == EOF)
                return;
            ++pos;
        } while (c != RecordMarker);
        const long markerOffset = pos - 1;

        // Step 2: collect up to the next marker or the end of the file.
        std::memset(raw, 0, sizeof raw);
        raw[0] = RecordMarker;
        int collected = 1;
        bool dropped = false;
        for (;;) {
            c = getc_unlocked(file);
            if (c == EOF)
                break;
            if (c == RecordMarker) {
                ungetc(c, file);
                break;
            }
            ++pos;
            if (collected == MaxRecordFrameBytes) {
                dropped = true; // longer than any frame: not a frame
                break;
            }
            raw[collected++] = static_cast<uint8_t>(c);
        }
        if (dropped)
            continue;

        pumpMessages();
        if (collected > 9) {
            ScannedFrame& f = Frame;
            std::memset(f.Payload, 0, sizeof f.Payload);
            f.Length = 0;
            f.Result = destructRecordFrame(raw, f.Type, f.Time, f.Header, f.Payload, f.Length);
            f.Valid = f.Result > 0 && IsValidTimestamp(f.Time);
            f.MarkerOffset = markerOffset;
            onFrame(f); // sees RecordCount without this frame
            ++RecordCount;
        }
        BytesRead = static_cast<int32_t>(pos);
        if (c == EOF)
            return;
    }
}

// --- the last record of a download file -----------------------------------------------------

TSondeRecordCmd::FileHandle TSondeRecordCmd::openDownload(const std::string& downloadFile)
{
    FileHandle file(std::fopen(downloadFile.c_str(), "rb"), &std::fclose);
    if (!file)
        return file;
    std::memset(&CalData, 0, sizeof CalData);
    std::memset(&ConfData, 0, sizeof ConfData);
    if (std::fread(&CalData, 1, sizeof CalData, file.get()) == sizeof CalData)
        (void)std::fread(&ConfData, 1, sizeof ConfData, file.get());
    Formats = TFormatSettings::System();
    RecordCount = 0;
    return file;
}

bool TSondeRecordCmd::retrieveLastTimeRecord(const std::string& fileName, TDateTime& time, bool cut)
{
    FileHandle file(std::fopen(fileName.c_str(), "rb"), &std::fclose);
    if (!file)
        return false;
    RecordCount = 0;
    bool found = false;
    TDateTime last = 0;
    Timestamp lastStamp{};
    long cutOffset = 0;
    scanRecordStream(file.get(), DownloadHeaderSize, [&](const ScannedFrame& frame) {
        if (!frame.Valid || frame.Type == rtUnnamedCB)
            return;
        TDateTime value = 0;
        if (!RecordTime::toDateTime(frame.Time, 0, value))
            return;
        // Records of the same second as the last one are all downloaded
        // again from that second on, so the cut goes before the first of them.
        if (!found || std::memcmp(&frame.Time, &lastStamp, sizeof lastStamp) != 0)
            cutOffset = frame.MarkerOffset;
        lastStamp = frame.Time;
        last = value;
        found = true;
    });
    file.reset();
    if (!found)
        return true; // nothing to cut: the file stays as it is
    time = last;
    if (cut && ::truncate(fileName.c_str(), static_cast<off_t>(cutOffset)) != 0)
        return false;
    return true;
}

// --- shared by the writers ----------------------------------------------------------------

bool TSondeRecordCmd::recordFits(RecordFrameTypeNumber type, const uint8_t* payload, uint16_t length)
{
    switch (type) {
    case rtScheduleData:
    case rtTriggerEvent:
    case rtAlarmEvent: {
        if (length < 3)
            return false;
        const unsigned k = payload[2];
        if (k > RecordChannels || length < 3 + 5 * k)
            return false;
        for (unsigned i = 0; i < k; ++i)
            if (payload[3 + i] >= RecordChannels)
                return false;
        return true;
    }
    case rtDataVariation:
        return length >= 5 && payload[0] < RecordChannels;
    case rtStartOfLogging:
        return length >= 5;
    default:
        return true;
    }
}

void TSondeRecordCmd::setLastRecord(const Timestamp& time)
{
    RecordTime::Civil civil{};
    if (!RecordTime::toCivil(time, 0, civil))
        return;
    TDateTime date = 0;
    TDateTime day = 0;
    if (TryEncodeDate(civil.Year, civil.Month, civil.Day, date)
        && TryEncodeTime(civil.Hour, civil.Minute, civil.Second, 0, day)) {
        LastRecordDate = date;
        LastRecordTime = day;
    }
}

void TSondeRecordCmd::appendStamp(std::string& out, const Timestamp& time, long addSeconds)
{
    RecordTime::Civil civil{};
    if (RecordTime::toCivil(time, addSeconds, civil))
        RecordTime::appendStamp(out, civil);
}

std::string TSondeRecordCmd::valueText(uint16_t channel, float value) const
{
    // Channels outside the table (the sampler's no-value channel 99) have no
    // precision of their own: whole numbers.
    const int precision = channel < RecordChannels ? ConfData.ChannelSetup[channel].Precision : 0;
    return FloatToStrF(value, ffFixed, 10, precision, Formats);
}

void TSondeRecordCmd::saveLines(const std::string& fileName) const
{
    // Written beside the old file and put in its place only when complete,
    // so a full disk never leaves half a file behind.
    QSaveFile out(QString::fromLocal8Bit(fileName.c_str()));
    // Unbuffered: a write the disk takes only in part shows in write()'s
    // result, where a buffered one would be committed cut short.
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw std::runtime_error("Cannot create file \"" + fileName + "\". " + out.errorString().toStdString());
    const std::string& text = GraphLines->text();
    const auto size = static_cast<qint64>(text.size());
    qint64 written = 0;
    // A write that stops short is repeated for the rest, which then fails
    // with the reason (a full disk).
    for (qint64 n = 0; written < size; written += n)
        if ((n = out.write(text.data() + written, size - written)) <= 0)
            break;
    if (written != size) {
        const std::string reason = out.errorString().toStdString();
        out.cancelWriting();
        throw std::runtime_error("Cannot write file \"" + fileName + "\". " + reason);
    }
    if (!out.commit())
        throw std::runtime_error("Cannot write file \"" + fileName + "\". " + out.errorString().toStdString());
}
