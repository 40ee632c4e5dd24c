// Record frames, the record stream scan and the last record of a download file.
#include "sonderecordcmd.h"

#include "RecordTime.h"
#include "SysUtils.h"

#include <array>
#include <cstring>
#include <endian.h>
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
    LastPumpTick = timeGetTime();
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

namespace {

// The reflected CCITT CRC (polynomial 0x1021 reflected as 0x8408) from
// tables: Crc[0][b] is the CRC of byte b, Crc[n][b] that of b followed by n
// zero bytes, so that eight bytes are taken in one step.
using CrcTables = std::array<std::array<uint16_t, 256>, 8>;

constexpr CrcTables makeCrcTables()
{
    CrcTables t{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        uint16_t crc = static_cast<uint16_t>(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>(crc & 1 ? (crc >> 1) ^ 0x8408 : crc >> 1);
        t[0][byte] = crc;
    }
    for (size_t n = 1; n < t.size(); ++n)
        for (unsigned byte = 0; byte < 256; ++byte)
            t[n][byte] = static_cast<uint16_t>((t[n - 1][byte] >> 8) ^ t[0][t[n - 1][byte] & 0xFF]);
    return t;
}
constexpr CrcTables Crc = makeCrcTables();

} // namespace

void TSondeRecordCmd::updateCcittCrc(uint16_t& crc, uint8_t byte)
{
    crc = static_cast<uint16_t>((crc >> 8) ^ Crc[0][(crc ^ byte) & 0xFF]);
}

uint16_t TSondeRecordCmd::blockCalcCcittCrc(const uint8_t* data, uint16_t initial, size_t count)
{
    uint32_t crc = initial;
    for (; count >= 8; data += 8, count -= 8) {
        uint64_t v = 0;
        std::memcpy(&v, data, 8);
        v = le64toh(v) ^ crc;
        crc = Crc[7][v & 0xFF] ^ Crc[6][(v >> 8) & 0xFF] ^ Crc[5][(v >> 16) & 0xFF] ^ Crc[4][(v >> 24) & 0xFF]
            ^ Crc[3][(v >> 32) & 0xFF] ^ Crc[2][(v >> 40) & 0xFF] ^ Crc[1][(v >> 48) & 0xFF] ^ Crc[0][v >> 56];
    }
    for (; count > 0; ++data, --count)
        crc = (crc >> 8) ^ Crc[0][(crc ^ *data) & 0xFF];
    return static_cast<uint16_t>(crc);
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
        // The decoder answers with a status, never an exception: a frame it
        // cannot take apart is no record.
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
    // Reading the clock after every frame would cost as much as a small
    // frame's decoding; a few dozen frames take far less than the interval.
    if (++PumpCount % 32 != 0)
        return;
    const uint32_t now = timeGetTime();
    if (!tickReached(now, LastPumpTick + PumpIntervalMs))
        return;
    LastPumpTick = now;
    ProcessMessages();
    std::this_thread::yield();
}

namespace {

// The high bit of the lowest byte of `word` that is `wanted` (and maybe of
// bytes above it); 0 when none is.
template <uint8_t wanted>
uint64_t wantedBytes(uint64_t word)
{
    constexpr uint64_t Ones = 0x0101010101010101ull;
    constexpr uint64_t Highs = 0x8080808080808080ull;
    const uint64_t v = word ^ (Ones * wanted); // the wanted byte becomes zero
    return (v - Ones) & ~v & Highs;
}

// The first byte `wanted` in [p, end), or end. Frames are short: a library
// search costs more in setting out than in searching, so eight bytes are
// tested at a time here.
template <uint8_t wanted>
const uint8_t* findByte(const uint8_t* p, const uint8_t* end)
{
    for (; end - p >= 8; p += 8) {
        uint64_t v = 0;
        std::memcpy(&v, p, 8);
        const uint64_t found = wantedBytes<wanted>(le64toh(v));
        if (found != 0)
            return p + __builtin_ctzll(found) / 8;
    }
    for (; p < end; ++p)
        if (*p == wanted)
            return p;
    return end;
}

const uint8_t* findMarker(const uint8_t* p, const uint8_t* end)
{
    return findByte<RecordMarker>(p, end);
}

} // namespace

bool TSondeRecordCmd::escapedFrame(const uint8_t (&raw)[RecordFrameBufferSize], int length)
{
    // The buffer is zero behind the frame: whole words are read up to its
    // end, no byte at a time.
    int i = 8;
    for (; i < length && i + 8 <= RecordFrameBufferSize; i += 8) {
        uint64_t v = 0;
        std::memcpy(&v, raw + i, 8);
        if (wantedBytes<RecordEscape>(v) != 0)
            return true;
    }
    for (; i < length; ++i)
        if (raw[i] == RecordEscape)
            return true;
    return false;
}

void TSondeRecordCmd::decodeCollected(int length)
{
    ScannedFrame& f = Frame;
    f.Length = 0;
    // Most frames hold no escape: their fields are the raw bytes, and the
    // CRC runs over them in one go. The result is that of the general
    // decoder, which takes the others.
    if (escapedFrame(Raw, length)) {
        f.Result = destructRecordFrame(Raw, f.Type, f.Time, f.Header, f.Payload, f.Length);
        return;
    }
    f.Type = Raw[1];
    std::memcpy(&f.Time, Raw + 2, sizeof f.Time);
    std::memcpy(f.Header, Raw + 8, sizeof f.Header);
    if (f.Type < rtNull || f.Type > rtNotify) {
        f.Result = rdBadType;
        return;
    }
    const uint16_t n = payloadLengthOf(f.Type, Raw + 11, RecordFrameBufferSize - 11);
    if (n > MaxRecordPayload) {
        f.Result = rdTooLong;
        return;
    }
    const uint16_t crc = blockCalcCcittCrc(Raw, 0, 11u + n);
    if (static_cast<uint16_t>(Raw[11 + n] | Raw[12 + n] << 8) != crc) {
        f.Result = rdBadCrc;
        return;
    }
    std::memcpy(f.Payload, Raw + 11, n);
    f.Length = n;
    f.Result = static_cast<int16_t>(13 + n);
}

void TSondeRecordCmd::scanRecordStream(RecordInput& input, uint64_t position,
                                       const std::function<void(const ScannedFrame&)>& onFrame,
                                       const RawFrameFilter& wanted)
{
    // Raw holds the frame being collected; bytes behind it must be zero when
    // it is decoded, so those that an earlier frame left are cleared.
    Raw[0] = RecordMarker;
    int collected = 0; // 0: looking for a marker
    int dirty = RecordFrameBufferSize;
    uint64_t markerOffset = 0;

    auto handle = [&] {
        if (collected < dirty)
            std::memset(Raw + collected, 0, static_cast<size_t>(dirty - collected));
        dirty = collected;
        pumpMessages();
        if (collected > 9) {
            if (!wanted || wanted(Raw, collected)) {
                ScannedFrame& f = Frame;
                decodeCollected(collected);
                f.Valid = f.Result > 0 && IsValidTimestamp(f.Time);
                f.MarkerOffset = static_cast<long>(markerOffset);
                onFrame(f); // sees RecordCount without this frame
            }
            ++RecordCount;
        }
        BytesRead = static_cast<int32_t>(markerOffset + static_cast<uint64_t>(collected));
    };

    uint64_t pos = position; // file offset of data[0]
    const uint8_t* data = nullptr;
    for (size_t n; (n = input.piece(pos, data)) > 0; pos += n) {
        const uint8_t* p = data;
        const uint8_t* const end = data + n;
        while (p < end) {
            if (collected == 0) {
                // Step 1: find the next marker.
                const uint8_t* marker = findMarker(p, end);
                if (marker == end)
                    break;
                markerOffset = pos + static_cast<uint64_t>(marker - data);
                collected = 1;
                p = marker + 1;
                continue;
            }
            // Step 2: collect up to the next marker or the end of the input.
            const size_t available = static_cast<size_t>(end - p);
            const size_t room = static_cast<size_t>(MaxRecordFrameBytes - collected);
            const uint8_t* const limit = p + std::min(available, room + 1);
            const uint8_t* marker = findMarker(p, limit);
            if (marker != limit) {
                const size_t take = static_cast<size_t>(marker - p);
                std::memcpy(Raw + collected, p, take);
                collected += static_cast<int>(take);
                dirty = std::max(dirty, collected);
                p = marker;
                handle();
                collected = 0;
            } else if (available > room) {
                // Longer than any frame: not a frame. The byte after the
                // longest frame is dropped with it.
                p += room + 1;
                collected = 0;
            } else {
                std::memcpy(Raw + collected, p, available);
                collected += static_cast<int>(available);
                dirty = std::max(dirty, collected);
                p = end;
            }
        }
    }
    if (collected > 0)
        handle(); // the last frame ends with the input
}

// --- the last record of a download file -----------------------------------------------------

void TSondeRecordCmd::readHeader(RecordInput& input)
{
    std::memset(&CalData, 0, sizeof CalData);
    std::memset(&ConfData, 0, sizeof ConfData);
    if (input.readAt(0, &CalData, sizeof CalData) == sizeof CalData)
        (void)input.readAt(sizeof CalData, &ConfData, sizeof ConfData);
    Formats = TFormatSettings::System();
    RecordCount = 0;
}

bool TSondeRecordCmd::findLastTimeRecord(RecordInput& input, TDateTime& time, uint64_t& cutOffset)
{
    RecordCount = 0;
    bool found = false;
    RecordTime::Civil last{};
    scanRecordStream(input, DownloadHeaderSize, [&](const ScannedFrame& frame) {
        if (!frame.Valid || frame.Type == rtUnnamedCB)
            return;
        RecordTime::Civil civil{};
        if (!RecordTime::toCivil(frame.Time, 0, civil))
            return;
        // Records of the same second as the last one are all downloaded
        // again from that second on, so the cut goes before the first of
        // them. The carried times are compared: 24:00:00 is the next day's
        // 00:00:00.
        if (!found || !RecordTime::sameSecond(civil, last))
            cutOffset = static_cast<uint64_t>(frame.MarkerOffset);
        last = civil;
        found = true;
    });
    if (found)
        time = RecordTime::toDateTime(last);
    return found;
}

bool TSondeRecordCmd::retrieveLastTimeRecord(const std::string& fileName, TDateTime& time, bool cut)
{
    uint64_t cutOffset = 0;
    bool found = false;
    {
        const std::unique_ptr<RecordInput> input = RecordInput::open(fileName);
        if (!input)
            return false;
        found = findLastTimeRecord(*input, time, cutOffset);
    }
    if (!found)
        return true; // nothing to cut: the file stays as it is
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

// The date and time members are set once at the end of a pass from the last
// record's time; encoding a TDateTime for each of a million records would
// cost more than writing their lines.
void TSondeRecordCmd::setLastRecord(const Timestamp& time)
{
    RecordTime::Civil civil{};
    if (RecordTime::toCivil(time, 0, civil)) {
        LastCivil = civil;
        LastCivilSet = true;
    }
}

void TSondeRecordCmd::storeLastRecord()
{
    if (!LastCivilSet)
        return;
    LastCivilSet = false;
    TDateTime date = 0;
    TDateTime day = 0;
    if (TryEncodeDate(LastCivil.Year, LastCivil.Month, LastCivil.Day, date)
        && TryEncodeTime(LastCivil.Hour, LastCivil.Minute, LastCivil.Second, 0, day)) {
        LastRecordDate = date;
        LastRecordTime = day;
    }
}

void TSondeRecordCmd::putStamp(const Timestamp& time, long addSeconds)
{
    RecordTime::Civil civil{};
    if (RecordTime::toCivil(time, addSeconds, civil))
        GraphLines->advance(RecordTime::writeStamp(GraphLines->room(RecordTime::StampSize), civil));
}

char* TSondeRecordCmd::putValue(char* out, uint16_t channel, float value) const
{
    // Channels outside the table (the sampler's no-value channel 99) have no
    // precision of their own: whole numbers.
    const int precision = channel < RecordChannels ? ConfData.ChannelSetup[channel].Precision : 0;
    return FormatFixed(out, value, 10, precision, Formats.DecimalSeparator);
}
