#include "RecordReference.h"

#include "FormatSettings.h"
#include "SensorImages.h"
#include "Timestamp.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <stdio.h>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string_view>

namespace reference {

std::string FloatToStrF(double value, int precision, int digits, char separator)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    digits = std::clamp(digits, 0, 18);
    precision = std::clamp(precision, 1, 18);

    // The value's first 18 significant digits, rounded once more (half away
    // from zero) to `precision` digits and to `digits` decimals.
    char sci[40];
    const auto written = std::to_chars(sci, sci + sizeof sci - 1, value, std::chars_format::scientific, 17);
    *written.ptr = '\0';
    const bool negative = sci[0] == '-';
    const char* p = sci + (negative ? 1 : 0);
    char mantissa[24];
    int count = 0;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            mantissa[count++] = *p;
    int exponent = value == 0 ? 0 : std::atoi(p + 1); // of the first digit
    const int keep = std::min(precision, exponent + 1 + digits);
    if (keep < 0) {
        count = 0;
    } else if (keep < count) {
        const bool up = mantissa[keep] >= '5';
        count = keep;
        if (up) {
            int i = keep - 1;
            for (; i >= 0 && mantissa[i] == '9'; --i)
                mantissa[i] = '0';
            if (i >= 0) {
                ++mantissa[i];
            } else {
                std::memmove(mantissa + 1, mantissa, static_cast<size_t>(count));
                mantissa[0] = '1';
                ++count;
                ++exponent;
            }
        }
    }
    auto digitAt = [&](int power) {
        const int i = exponent - power;
        return i >= 0 && i < count ? mantissa[i] : '0';
    };
    char out[340];
    int n = 0;
    out[n++] = '-';
    bool nonZero = false;
    const int top = std::max(exponent, 0);
    for (int power = top; power >= 0; --power) {
        const char d = digitAt(power);
        if (d == '0' && !nonZero && power > 0)
            continue;
        nonZero = nonZero || d != '0';
        out[n++] = d;
    }
    if (digits > 0) {
        out[n++] = separator;
        for (int power = -1; power >= -digits; --power) {
            const char d = digitAt(power);
            nonZero = nonZero || d != '0';
            out[n++] = d;
        }
    }
    const int from = negative && nonZero ? 0 : 1;
    return std::string(out + from, static_cast<size_t>(n - from));
}

namespace {

constexpr uint8_t Marker = 0xFE;
constexpr uint8_t Escape = 0xFD;
constexpr int Channels = 36;
constexpr uint16_t MaxPayload = 250;
constexpr int MaxFrameBytes = 8 + 2 * (3 + MaxPayload + 2);
constexpr int FrameBufferSize = MaxFrameBytes + 1;
constexpr int PayloadBufferSize = 500;
constexpr long HeaderSize = sizeof(CalibrationData) + sizeof(ConfigurationData);
constexpr float NoValue = -1e10f;

enum : uint8_t {
    Null = 0xC0, ScheduleData, StartOfLogging, Comment, TriggerEvent, SamplerEvent, AlarmEvent, SystemLog,
    DataVariation, RainEvent, RainMissingEvent, UnnamedCB, SboxStatus, Notify
};

const char* const EventNames[] = {
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

// A comment's text after "# ": every line break (CR LF, CR, LF) starts a
// new line with "# " again.
std::string commentText(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') {
            out += text[i];
            continue;
        }
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        out += "\r\n# ";
    }
    return out;
}

std::string eventName(uint8_t event)
{
    return event <= 26 ? EventNames[event] : std::string();
}

// --- frames ---------------------------------------------------------------------

void updateCrc(uint16_t& crc, uint8_t byte)
{
    uint8_t x = byte ^ static_cast<uint8_t>(crc & 0xFF);
    x = static_cast<uint8_t>(x ^ (x << 4));
    crc = static_cast<uint16_t>((crc >> 8) ^ (x << 8) ^ (x << 3) ^ (x >> 4));
}

uint16_t blockCrc(const uint8_t* data, uint16_t initial, size_t count)
{
    uint16_t crc = initial;
    for (size_t i = 0; i < count; ++i)
        updateCrc(crc, data[i]);
    return crc;
}

uint8_t escapedByteAt(const uint8_t* src, size_t pos, size_t available)
{
    if (pos >= available)
        throw std::out_of_range("record frame ends inside a field");
    if (src[pos] == Escape && pos + 1 < available && (src[pos + 1] == 0x7D || src[pos + 1] == 0x7E))
        return static_cast<uint8_t>(src[pos + 1] ^ 0x80);
    return src[pos];
}

uint16_t payloadLengthOf(uint8_t type, const uint8_t* raw, size_t available)
{
    auto channelBlock = [&](size_t mPos, size_t kPos, unsigned extra) {
        const unsigned m = escapedByteAt(raw, mPos, available);
        const unsigned k = escapedByteAt(raw, kPos, available);
        return static_cast<uint16_t>(4u * m * k + k + extra);
    };
    switch (type) {
    case Null: return 0;
    case ScheduleData:
    case AlarmEvent: return channelBlock(1, 2, 3);
    case TriggerEvent: return channelBlock(1, 2, 5);
    case UnnamedCB: return channelBlock(7, 8, 9);
    case StartOfLogging:
    case Comment:
    case Notify: return escapedByteAt(raw, 0, available);
    case SamplerEvent:
    case DataVariation: return 5;
    case SystemLog:
    case RainMissingEvent: return 1;
    case RainEvent: return 22;
    case SboxStatus: return 12;
    default: return 0;
    }
}

uint16_t escapeDecode(const uint8_t* src, uint16_t count, uint8_t* dst, size_t available)
{
    size_t pos = 0;
    for (uint16_t i = 0; i < count; ++i) {
        if (pos >= available)
            throw std::out_of_range("record frame ends inside a field");
        if (src[pos] == Escape && pos + 1 < available && (src[pos + 1] == 0x7D || src[pos + 1] == 0x7E)) {
            dst[i] = static_cast<uint8_t>(src[pos + 1] ^ 0x80);
            pos += 2;
        } else {
            dst[i] = src[pos];
            pos += 1;
        }
    }
    return static_cast<uint16_t>(pos);
}

int16_t decodeFrame(const uint8_t (&raw)[FrameBufferSize], uint8_t& type, Timestamp& time, uint8_t (&header)[3],
                    uint8_t* payload, uint16_t& payloadLength)
{
    try {
        if (raw[0] != Marker)
            return -1;
        type = raw[1];
        std::memcpy(&time, raw + 2, sizeof(Timestamp));
        uint16_t crc = blockCrc(raw, 0, 8);
        size_t pos = 8;
        pos += escapeDecode(raw + pos, 3, header, FrameBufferSize - pos);
        crc = blockCrc(header, crc, 3);
        if (type < Null || type > Notify)
            return -3;
        const uint16_t length = payloadLengthOf(type, raw + pos, FrameBufferSize - pos);
        if (length > MaxPayload)
            return -4;
        if (length != 0) {
            pos += escapeDecode(raw + pos, length, payload, FrameBufferSize - pos);
            crc = blockCrc(payload, crc, length);
        }
        uint8_t check[2];
        pos += escapeDecode(raw + pos, 2, check, FrameBufferSize - pos);
        if (static_cast<uint16_t>(check[0] | check[1] << 8) != crc)
            return -2;
        payloadLength = length;
        return static_cast<int16_t>(pos);
    } catch (...) {
        return -1;
    }
}

bool isLeapYear(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int daysPerMonth(int year, int month)
{
    static const int Days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return Days[month - 1] + (month == 2 && isLeapYear(year) ? 1 : 0);
}

bool validTimestamp(const Timestamp& t)
{
    return t.Year < 200 && t.Month >= 1 && t.Month <= 12 && t.Day >= 1 && t.Day <= daysPerMonth(2000 + t.Year, t.Month)
        && t.Hour < 25 && t.Minute < 60 && t.Second < 60;
}

struct Civil {
    int Year, Month, Day, Hour, Minute, Second;
};

bool toCivil(const Timestamp& time, long addSeconds, Civil& out)
{
    if (!validTimestamp(time))
        return false;
    out.Year = 2000 + time.Year;
    out.Month = time.Month;
    out.Day = time.Day;
    long seconds = time.Hour * 3600L + time.Minute * 60L + time.Second + (addSeconds > 0 ? addSeconds : 0);
    long days = seconds / 86400;
    seconds %= 86400;
    out.Hour = static_cast<int>(seconds / 3600);
    out.Minute = static_cast<int>(seconds / 60 % 60);
    out.Second = static_cast<int>(seconds % 60);
    for (; days > 0; --days) {
        if (++out.Day > daysPerMonth(out.Year, out.Month)) {
            out.Day = 1;
            if (++out.Month > 12) {
                out.Month = 1;
                ++out.Year;
            }
        }
    }
    return true;
}

bool toDateTime(const Timestamp& time, TDateTime& out)
{
    Civil c{};
    if (!toCivil(time, 0, c))
        return false;
    TDateTime date = 0, day = 0;
    if (!TryEncodeDate(c.Year, c.Month, c.Day, date) || !TryEncodeTime(c.Hour, c.Minute, c.Second, 0, day))
        out = 0;
    else
        out = date + day;
    return true;
}

void appendDigits(std::string& out, int value, int width)
{
    char digits[12];
    int n = 0;
    unsigned v = value < 0 ? 0u : static_cast<unsigned>(value);
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0 && n < 12);
    for (int i = n; i < width; ++i)
        out += '0';
    while (n > 0)
        out += digits[--n];
}

void appendStamp(std::string& out, const Civil& c)
{
    appendDigits(out, c.Year, 4);
    appendDigits(out, c.Month, 2);
    appendDigits(out, c.Day, 2);
    appendDigits(out, c.Hour, 2);
    appendDigits(out, c.Minute, 2);
    appendDigits(out, c.Second, 2);
}

// Lines in one buffer, as they were kept.
class Lines {
public:
    void add(std::string_view line)
    {
        starts_.push_back(text_.size());
        text_.append(line);
        text_ += "\r\n";
    }
    std::string_view operator[](size_t i) const
    {
        const size_t end = i + 1 < starts_.size() ? starts_[i + 1] : text_.size();
        return std::string_view(text_).substr(starts_[i], end - starts_[i] - 2);
    }
    void replace(size_t i, std::string_view line)
    {
        const size_t old = (*this)[i].size();
        text_.replace(starts_[i], old, line);
        for (size_t k = i + 1; k < starts_.size(); ++k)
            starts_[k] = starts_[k] - old + line.size();
    }
    const std::string& text() const { return text_; }

private:
    std::string text_;
    std::vector<size_t> starts_;
};

struct Frame {
    int16_t result = 0;
    uint8_t type = 0;
    Timestamp time{};
    uint8_t header[3]{};
    uint8_t payload[PayloadBufferSize]{};
    uint16_t length = 0;
    bool valid = false;
};

// The old stream scan: one byte at a time through a file stream.
int scan(std::FILE* file, long position, const std::function<void(const Frame&, int count)>& onFrame)
{
    uint8_t raw[FrameBufferSize];
    int count = 0;
    if (std::fseek(file, position, SEEK_SET) != 0)
        return count;
    Frame f;
    int c = 0;
    for (;;) {
        do {
            c = getc(file);
            if (c == EOF)
                return count;
        } while (c != Marker);
        std::memset(raw, 0, sizeof raw);
        raw[0] = Marker;
        int collected = 1;
        bool dropped = false;
        for (;;) {
            c = getc(file);
            if (c == EOF)
                break;
            if (c == Marker) {
                ungetc(c, file);
                break;
            }
            if (collected == MaxFrameBytes) {
                dropped = true;
                break;
            }
            raw[collected++] = static_cast<uint8_t>(c);
        }
        if (dropped)
            continue;
        if (collected > 9) {
            std::memset(f.payload, 0, sizeof f.payload);
            f.length = 0;
            f.result = decodeFrame(raw, f.type, f.time, f.header, f.payload, f.length);
            f.valid = f.result > 0 && validTimestamp(f.time);
            onFrame(f, count);
            ++count;
        }
        if (c == EOF)
            return count;
    }
}

bool recordFits(uint8_t type, const uint8_t* payload, uint16_t length)
{
    switch (type) {
    case ScheduleData:
    case TriggerEvent:
    case AlarmEvent: {
        if (length < 3)
            return false;
        const unsigned k = payload[2];
        if (k > Channels || length < 3 + 5 * k)
            return false;
        for (unsigned i = 0; i < k; ++i)
            if (payload[3 + i] >= Channels)
                return false;
        return true;
    }
    case DataVariation: return length >= 5 && payload[0] < Channels;
    case StartOfLogging: return length >= 5;
    default: return true;
    }
}

std::string fieldText(const char* field, size_t size, size_t limit)
{
    const size_t n = std::min(size, limit);
    return std::string(field, ::strnlen(field, n));
}

std::string padded(std::string text, size_t width)
{
    if (text.size() < width)
        text.append(width - text.size(), '_');
    return text;
}

std::string recordText(const uint8_t* payload, uint16_t length)
{
    const size_t end = std::min<size_t>(length, payload[0]);
    if (end <= 2)
        return std::string();
    const char* text = reinterpret_cast<const char*>(payload + 2);
    return std::string(text, ::strnlen(text, end - 2));
}

const char HexUpper[] = "0123456789ABCDEF";
const char HexLower[] = "0123456789abcdef";

// --- the graph file ---------------------------------------------------------------------

struct Graph {
    CalibrationData cal{};
    ConfigurationData conf{};
    TFormatSettings formats;
    Lines lines;
    TDateTime lastDate = 0;
    TDateTime lastTime = 0;
    uint16_t schedule = 0;
    uint16_t count = 0;
    uint16_t channels[Channels]{};
    float values[Channels]{};

    void setLast(const Timestamp& t)
    {
        Civil c{};
        if (!toCivil(t, 0, c))
            return;
        TDateTime date = 0, day = 0;
        if (TryEncodeDate(c.Year, c.Month, c.Day, date) && TryEncodeTime(c.Hour, c.Minute, c.Second, 0, day)) {
            lastDate = date;
            lastTime = day;
        }
    }
    void stampLine(const char* prefix, const Timestamp& t, long add = 0)
    {
        std::string line = prefix;
        Civil c{};
        if (toCivil(t, add, c))
            appendStamp(line, c);
        lines.add(line);
    }
    std::string valueText(uint16_t channel, float value) const
    {
        const int precision = channel < Channels ? conf.ChannelSetup[channel].Precision : 0;
        return FloatToStrF(value, 10, precision, formats.DecimalSeparator);
    }
    void valueItem(uint16_t channel, float value)
    {
        std::string line = "D" + std::to_string(channel) + " ";
        if (value >= 0)
            line += '+';
        line += valueText(channel, value);
        lines.add(line);
    }
    void banner(const Timestamp& t, const std::string& a, const std::string& b, bool scheduleList)
    {
        lines.add("L 2.S000 ________ SNDELOG_____ " + padded(fieldText(cal.SensorName, sizeof cal.SensorName, 20), 20)
                  + " " + padded(fieldText(cal.SensorID, sizeof cal.SensorID, 20), 20));
        if (validTimestamp(t)) {
            stampLine("# ", t);
            setLast(t);
        } else {
            lines.add("invalid date ");
        }
        lines.add("");
        for (int c = 0; c < Channels; ++c)
            if (cal.Channels[c].Enabled)
                lines.add("C" + std::to_string(c));
        lines.add("C98");
        lines.add("C99");
        const std::string initials = a.substr(0, 8);
        lines.add("# " + commentText(initials) + std::string(8 - initials.size(), '_'));
        lines.add("# " + commentText(b));
        lines.add("#");
        for (int c = 0; c < Channels; ++c) {
            const CalChannelData& ch = cal.Channels[c];
            if (!ch.Enabled)
                continue;
            lines.add("#N" + std::to_string(c) + (c <= 9 ? "__ " : "_ ") + padded(fieldText(ch.Name, sizeof ch.Name, 14), 14)
                      + " " + padded(fieldText(ch.UnitsText, sizeof ch.UnitsText, 12), 12));
        }
        lines.add("#N98_ Rain Event____ Tip_________");
        lines.add("#N99_ ______________ ____________");
        lines.add("#");
        lines.add("#Enabled Schedules");
        if (scheduleList)
            for (int s = 0; s <= 9; ++s)
                lines.add("#Schedule " + std::to_string(s));
        lines.add("#");
    }
    void faulty(int16_t result, const uint8_t* bytes, uint16_t n)
    {
        std::string line = "*****  " + std::to_string(result) + "  ";
        for (uint16_t i = 0; i < n; ++i) {
            line += HexUpper[bytes[i] >> 4];
            line += HexUpper[bytes[i] & 0x0F];
            line += ' ';
        }
        line += "  *****";
        lines.add(line);
    }
    bool channelBlock(const uint8_t* p, uint16_t n)
    {
        if (!recordFits(ScheduleData, p, n))
            return false;
        schedule = p[0];
        count = p[2];
        for (int i = 0; i < count; ++i) {
            channels[i] = p[3 + i];
            std::memcpy(&values[i], p + 3 + count + 4 * i, 4);
        }
        return true;
    }
    void channelLines(const char* tag)
    {
        for (int i = 0; i < count; ++i) {
            lines.add(tag);
            valueItem(channels[i], values[i]);
        }
    }
    void record(const Frame& f)
    {
        const uint8_t* p = f.payload;
        const uint16_t n = f.length;
        const Timestamp& t = f.time;
        switch (f.type) {
        case Null:
            setLast(t);
            stampLine("NU,", t);
            break;
        case ScheduleData:
            setLast(t);
            if (!channelBlock(p, n))
                break;
            stampLine("#C", t);
            lines.add("#Schedule " + std::to_string(schedule));
            channelLines("T20001111111111");
            break;
        case StartOfLogging: {
            setLast(t);
            if (n < 5)
                break;
            const uint32_t number = static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 8 | p[4];
            lines.add("," + std::to_string(number));
            break;
        }
        case Comment: {
            setLast(t);
            const std::string text = n > 0 ? recordText(p, n) : std::string();
            const std::string a = text.substr(0, 8);
            const std::string b = text.size() > 8 ? text.substr(8) : std::string();
            const char kind = text.empty() ? '\0' : text[0];
            if (kind == 'S') {
                banner(t, a, b, false);
            } else if (kind == 'E' || kind == 'V') {
                stampLine(kind == 'E' ? "S " : "V ", t);
                lines.add("# " + commentText(a));
                lines.add("# " + commentText(b));
            } else {
                stampLine("V ", t);
                lines.add("# ????????");
                lines.add("# " + commentText(a + b));
            }
            break;
        }
        case TriggerEvent:
            setLast(t);
            if (!channelBlock(p, n))
                break;
            stampLine("#C", t);
            lines.add("#Schedule 8 ");
            channelLines("T20001111111111");
            break;
        case SamplerEvent: {
            setLast(t);
            if (n < 5)
                break;
            float value = 0;
            std::memcpy(&value, p + 1, 4);
            const uint16_t channel = value == NoValue ? 99 : conf.SamplerChannel;
            for (int i = 0; i < std::min<int>(p[0], 24); ++i) {
                stampLine("#C", t);
                lines.add("#Schedule 9");
                lines.add("T20001111111111");
                valueItem(channel, value);
            }
            break;
        }
        case AlarmEvent:
            setLast(t);
            if (!channelBlock(p, n))
                break;
            stampLine("#C", t);
            lines.add("#Schedule 0 ");
            channelLines("A20001111111111");
            break;
        case SystemLog:
            setLast(t);
            stampLine("V ", t);
            lines.add("# SYS/SYS");
            lines.add("# " + (n >= 1 ? eventName(p[0]) : std::string()));
            break;
        case DataVariation: {
            setLast(t);
            if (!recordFits(DataVariation, p, n))
                break;
            float value = 0;
            std::memcpy(&value, p + 1, 4);
            stampLine("#C", t);
            lines.add("#Schedule 7");
            lines.add("T20001111111111");
            valueItem(p[0], value);
            break;
        }
        case RainEvent: {
            if (n < 22 || p[1] == 0 || p[2] == 0)
                break;
            Timestamp base{};
            std::memcpy(&base, p + 3, sizeof base);
            if (!validTimestamp(base)) {
                lines.add("# ERROR RainEvents Record");
                break;
            }
            for (int bit = 0; bit < 104; ++bit)
                if (p[9 + bit / 8] & (0x80 >> (bit % 8)))
                    stampLine("RT,", base, bit);
            break;
        }
        case RainMissingEvent: {
            if (n < 1)
                break;
            const int value = static_cast<int8_t>(p[0]);
            std::string line = "RM,";
            Civil c{};
            if (toCivil(t, 0, c))
                appendStamp(line, c);
            line += value >= 0 ? ",+" : ",";
            line += FloatToStrF(value, 15, 1, formats.DecimalSeparator);
            lines.add(line);
            break;
        }
        case SboxStatus: {
            setLast(t);
            stampLine("V ", t);
            lines.add("# SBX/STA");
            std::string line = "#";
            for (int i = 0; i < 12 && i < n; ++i) {
                line += ' ';
                if (p[i] >= 0x10)
                    line += HexLower[p[i] >> 4];
                line += HexLower[p[i] & 0x0F];
            }
            lines.add(line);
            break;
        }
        case Notify:
            setLast(t);
            stampLine("V ", t);
            lines.add("# SYS/NTF");
            lines.add("# " + (n > 0 ? recordText(p, n) : std::string()));
            break;
        default:
            break;
        }
    }
};

// --- the CSV file -------------------------------------------------------------------------

std::string csvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

struct Row {
    TDateTime time = 0;
    int16_t schedule = 0;
    float values[Channels];
    std::string comment;
    Row() { std::fill(values, values + Channels, NoValue); }
};

} // namespace

Conversion convert(const std::vector<uint8_t>& downloadFile)
{
    Conversion result;
    const std::vector<uint8_t>& bytes = downloadFile;
    auto open = [&bytes]() {
        // fmemopen refuses a size of 0; an empty file is a buffer of one
        // byte read as empty.
        static const uint8_t empty = 0;
        std::FILE* f = bytes.empty() ? ::fmemopen(const_cast<uint8_t*>(&empty), 1, "rb")
                                     : ::fmemopen(const_cast<uint8_t*>(bytes.data()), bytes.size(), "rb");
        if (f && bytes.empty())
            std::fseek(f, 1, SEEK_SET);
        return f;
    };
    auto readImages = [](std::FILE* f, CalibrationData& cal, ConfigurationData& conf) {
        std::memset(&cal, 0, sizeof cal);
        std::memset(&conf, 0, sizeof conf);
        std::fseek(f, 0, SEEK_SET);
        if (std::fread(&cal, 1, sizeof cal, f) == sizeof cal)
            (void)std::fread(&conf, 1, sizeof conf, f);
    };

    // The graph file.
    Graph g;
    {
        std::FILE* f = open();
        readImages(f, g.cal, g.conf);
        g.formats = TFormatSettings::System();
        g.lines.add("# HALVORINE");
        g.lines.add("# 2007040514533220070408083734");
        g.lines.add("# HALVORINE");
        std::string precisions = "#";
        for (int c = 0; c < Channels; ++c)
            precisions += " " + std::to_string(g.conf.ChannelSetup[c].Precision);
        g.lines.add(precisions);
        scan(f, HeaderSize, [&g](const Frame& frame, int count) {
            if (count == 0)
                g.banner(frame.time, "", "Start of file", true);
            if (!frame.valid || !recordFits(frame.type, frame.payload, frame.length)) {
                g.faulty(frame.result, frame.payload, frame.result > 0 ? frame.length : 0);
                return;
            }
            g.record(frame);
        });
        std::fclose(f);
        int y = 0, m = 0, d = 0, h = 0, n = 0, s = 0, ms = 0;
        DecodeDate(g.lastDate, y, m, d);
        DecodeTime(g.lastTime, h, n, s, ms);
        std::string stamp(g.lines[1].substr(0, 16));
        appendStamp(stamp, Civil{y, m, d, h, n, s});
        g.lines.replace(1, stamp);
        result.graph = g.lines.text();
        result.lastRecordDate = g.lastDate;
        result.lastRecordTime = g.lastTime;
    }

    // The CSV file.
    {
        CalibrationData cal{};
        ConfigurationData conf{};
        std::FILE* f = open();
        readImages(f, cal, conf);
        const TFormatSettings formats = TFormatSettings::System();
        bool used[Channels] = {};
        std::vector<Row> rows;
        scan(f, HeaderSize, [&](const Frame& frame, int) {
            if (!frame.valid)
                return;
            const uint8_t* p = frame.payload;
            const uint16_t n = frame.length;
            Row row;
            switch (frame.type) {
            case ScheduleData:
                if (!recordFits(ScheduleData, p, n))
                    return;
                toDateTime(frame.time, row.time);
                row.schedule = p[0];
                for (int i = 0; i < p[2]; ++i) {
                    std::memcpy(&row.values[p[3 + i]], p + 3 + p[2] + 4 * i, 4);
                    used[p[3 + i]] = true;
                }
                break;
            case DataVariation:
                if (!recordFits(DataVariation, p, n))
                    return;
                toDateTime(frame.time, row.time);
                row.schedule = 7;
                std::memcpy(&row.values[p[0]], p + 1, 4);
                break;
            case Comment: {
                std::string text;
                if (n > 2) {
                    const char* t = reinterpret_cast<const char*>(p + 2);
                    text.assign(t, ::strnlen(t, n - 2u));
                }
                const std::string a = text.substr(0, 8);
                const std::string b = text.size() > 8 ? text.substr(8) : std::string();
                const char kind = text.empty() ? '\0' : text[0];
                const char* prefix = kind == 'S' ? "Start Logging: "
                    : kind == 'E'                ? "Stop Logging: "
                    : kind == 'V'                ? "Visit: "
                                                 : nullptr;
                if (!prefix)
                    return;
                row.schedule = -1;
                toDateTime(frame.time, row.time);
                row.comment = (prefix + a + "   " + b).substr(0, 271);
                break;
            }
            case SystemLog:
                if (n < 1 || p[0] > 26)
                    return;
                row.schedule = -1;
                toDateTime(frame.time, row.time);
                row.comment = "SYS -" + eventName(p[0]);
                break;
            default:
                return;
            }
            rows.push_back(row);
        });
        std::fclose(f);

        std::vector<int> columns;
        for (int c = 0; c < Channels; ++c)
            if (used[c])
                columns.push_back(c);
        Lines lines;
        std::string header1 = "Date/Time, Schedule No, Schedule Name,";
        std::string header2 = ",,,";
        for (int c : columns) {
            header1 += csvField(fieldText(cal.Channels[c].Name, sizeof cal.Channels[c].Name, 100)) + ",";
            header2 += csvField(fieldText(cal.Channels[c].UnitsText, sizeof cal.Channels[c].UnitsText, 100)) + ",";
        }
        header1 += "Comments,";
        lines.add(header1);
        lines.add(header2);
        std::string names[ScheduleRecordCount];
        for (int s = 0; s < ScheduleRecordCount; ++s)
            names[s] = csvField(fieldText(conf.Schedules[s].Name, sizeof conf.Schedules[s].Name, 100));
        const std::string separators(3 + columns.size(), ',');
        for (const Row& r : rows) {
            std::string line = csvField(DateToStr(r.time, formats) + " " + TimeToStr(r.time, formats));
            if (r.schedule == -1) {
                line += separators;
                line += csvField(r.comment);
            } else {
                line += "," + std::to_string(r.schedule) + ",";
                if (r.schedule == 7)
                    line += "Data Variation";
                else if (r.schedule >= 0 && r.schedule < ScheduleRecordCount)
                    line += names[r.schedule];
                line += ",";
                for (int c : columns) {
                    if (r.values[c] != NoValue) {
                        const int precision = conf.ChannelSetup[c].Precision;
                        line += csvField(FloatToStrF(r.values[c], 10, precision, formats.DecimalSeparator));
                    }
                    line += ",";
                }
            }
            if (line.size() > 5)
                lines.add(line);
        }
        result.csv = lines.text();
    }
    return result;
}

} // namespace reference
