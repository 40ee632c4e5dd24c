// The graph file for the viewer program: header, banners, one group of lines
// per record, and a line for each faulty record frame.
#include "sonderecordcmd.h"

#include "RecordTime.h"

#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace {

// Text of a fixed-size field up to its first NUL, never beyond the field.
std::string fieldText(const char* field, size_t size, size_t limit)
{
    const size_t n = std::min(size, limit);
    const void* nul = std::memchr(field, 0, n);
    return std::string(field, nul ? static_cast<const char*>(nul) - field : n);
}

std::string padded(std::string text, size_t width)
{
    if (text.size() < width)
        text.append(width - text.size(), '_');
    return text;
}

const char HexUpper[] = "0123456789ABCDEF";
const char HexLower[] = "0123456789abcdef";

} // namespace

bool TSondeRecordCmd::CreateTessaloomFile(const std::string& downloadFile, const std::string& graphFile,
                                          CalibrationData*, ConfigurationData*, bool)
{
    FileHandle file = openDownload(downloadFile);
    if (!file)
        return false;
    auto lines = std::make_unique<TextLines>();
    GraphLines = lines.get();
    const LinesInUse inUse(GraphLines);

    GraphLines->add("# HALVORINE");
    GraphLines->add("# 2007040514533220070408083734");
    GraphLines->add("# HALVORINE");
    std::string precisions = "#";
    for (int c = 0; c < RecordChannels; ++c)
        precisions += " " + std::to_string(ConfData.ChannelSetup[c].Precision);
    GraphLines->add(precisions);

    struct stat info {};
    if (::stat(downloadFile.c_str(), &info) == 0) {
        FileSize = static_cast<int32_t>(info.st_size);
        // A record of n bytes makes about 4 n bytes of lines.
        GraphLines->reserve(static_cast<size_t>(std::max<off_t>(info.st_size - DownloadHeaderSize, 0)) * 5 + 4096);
    }

    scanRecordStream(file.get(), DownloadHeaderSize, [this](const ScannedFrame& frame) {
            if (RecordCount == 0)
                PrintBanner(frame.Time, "", "Start of file", true);
            if (!frame.Valid || !recordFits(frame.Type, frame.Payload, frame.Length)) {
                DisplayFaultyRecord(frame.Result, frame.Payload, frame.Result > 0 ? frame.Length : 0);
                return;
            }
            const uint8_t* p = frame.Payload;
            const uint16_t n = frame.Length;
            const Timestamp& t = frame.Time;
            switch (frame.Type) {
            case rtNull: ReadNullRecord(p, n, t); break;
            case rtScheduleData: ReadScheduleDataRecord(p, n, t); break;
            case rtStartOfLogging: StartOfLoggingRecord(p, n, t); break;
            case rtComment: ReadCommentRecord(p, n, t); break;
            case rtTriggerEvent: ReadTriggerEventRecord(p, n, t); break;
            case rtSamplerEvent: ReadSamplerEventRecord(p, n, t); break;
            case rtAlarmEvent: ReadAlarmEventRecord(p, n, t); break;
            case rtSystemLog: ReadSystemLogRecord(p, n, t); break;
            case rtDataVariation: ReadDataVariationRecord(p, n, t); break;
            case rtRainEvent: ReadRainEventRecord(p, n, t); break;
            case rtRainMissingEvent: ReadRainMissingEventRecord(p, n, t); break;
            case rtSboxStatus: ReadSboxStatusRecord(p, n, t); break;
            case rtNotify: ReadNotifyRecord(p, n, t); break;
            default: break; // rtUnnamedCB: no lines
            }
        });

    file.reset();

    int y = 0, m = 0, d = 0, h = 0, n = 0, s = 0, ms = 0;
    DecodeDate(LastRecordDate, y, m, d);
    DecodeTime(LastRecordTime, h, n, s, ms);
    std::string stampLine(GraphLines->operator[](1).substr(0, 16));
    RecordTime::appendStamp(stampLine, RecordTime::Civil{y, m, d, h, n, s});
    GraphLines->replace(1, stampLine);

    saveLines(graphFile);
    return true;
}

void TSondeRecordCmd::PrintBanner(const Timestamp& time, const std::string& a, const std::string& b,
                                  bool scheduleList)
{
    TextLines& out = *GraphLines;
    out.add("L 2.S000 ________ SNDELOG_____ "
                  + padded(fieldText(CalData.SensorName, sizeof CalData.SensorName, 20), 20) + " "
                  + padded(fieldText(CalData.SensorID, sizeof CalData.SensorID, 20), 20));
    if (IsValidTimestamp(time)) {
        addStampLine("# ", time);
        setLastRecord(time);
    } else {
        out.add("invalid date ");
    }
    out.add("");
    for (int c = 0; c < RecordChannels; ++c)
        if (CalData.Channels[c].Enabled)
            out.add("C" + std::to_string(c));
    out.add("C98");
    out.add("C99");
    out.add("# " + padded(a.substr(0, 8), 8));
    out.add("# " + b);
    out.add("#");
    for (int c = 0; c < RecordChannels; ++c) {
        const CalChannelData& ch = CalData.Channels[c];
        if (!ch.Enabled)
            continue;
        out.add("#N" + std::to_string(c) + (c <= 9 ? "__ " : "_ ")
                      + padded(fieldText(ch.Name, sizeof ch.Name, 14), 14) + " "
                      + padded(fieldText(ch.UnitsText, sizeof ch.UnitsText, 12), 12));
    }
    out.add("#N98_ Rain Event____ Tip_________");
    out.add("#N99_ ______________ ____________");
    out.add("#");
    out.add("#Enabled Schedules");
    if (scheduleList)
        for (int s = 0; s <= 9; ++s)
            out.add("#Schedule " + std::to_string(s));
    out.add("#");
}

void TSondeRecordCmd::DisplayFaultyRecord(int16_t result, const uint8_t* bytes, uint16_t count)
{
    std::string& line = GraphLines->open();
    line += "*****  ";
    line += std::to_string(result);
    line += "  ";
    for (uint16_t i = 0; i < count; ++i) {
        line += HexUpper[bytes[i] >> 4];
        line += HexUpper[bytes[i] & 0x0F];
        line += ' ';
    }
    line += "  *****";
    GraphLines->close();
}

// --- record lines ---------------------------------------------------------------------

void TSondeRecordCmd::addStampLine(const char* prefix, const Timestamp& time, const char* suffix)
{
    std::string& line = GraphLines->open();
    line += prefix;
    appendStamp(line, time);
    line += suffix;
    GraphLines->close();
}

void TSondeRecordCmd::addValueItem(uint16_t channel, float value)
{
    std::string& line = GraphLines->open();
    line += 'D';
    line += std::to_string(channel);
    line += ' ';
    if (value >= 0)
        line += '+';
    line += valueText(channel, value);
    GraphLines->close();
}

bool TSondeRecordCmd::readChannelBlock(const uint8_t* payload, uint16_t length)
{
    if (!recordFits(rtScheduleData, payload, length))
        return false;
    CurrentSchedule = payload[0];
    CurrentValueSets = payload[1];
    CurrentChannelCount = payload[2];
    for (int i = 0; i < CurrentChannelCount; ++i) {
        CurrentChannels[i] = payload[3 + i];
        std::memcpy(&CurrentValues[i], payload + 3 + CurrentChannelCount + 4 * i, 4);
    }
    return true;
}

void TSondeRecordCmd::addChannelLines(const char* tag)
{
    for (int i = 0; i < CurrentChannelCount; ++i) {
        GraphLines->add(tag);
        addValueItem(CurrentChannels[i], CurrentValues[i]);
    }
}

bool TSondeRecordCmd::ReadNullRecord(const uint8_t*, uint16_t, const Timestamp& time)
{
    setLastRecord(time);
    addStampLine("NU,", time);
    return true;
}

bool TSondeRecordCmd::ReadScheduleDataRecord(const uint8_t* payload, uint16_t length, const Timestamp& time)
{
    setLastRecord(time);
    if (!readChannelBlock(payload, length))
        return false;
    addStampLine("#C", time);
    GraphLines->add("#Schedule " + std::to_string(CurrentSchedule));
    addChannelLines("T20001111111111");
    return true;
}

bool TSondeRecordCmd::StartOfLoggingRecord(const uint8_t* payload, uint16_t length, const Timestamp& time)
{
    setLastRecord(time);
    if (length < 5)
        return false;
    const uint32_t number = static_cast<uint32_t>(payload[2]) << 16 | static_cast<uint32_t>(payload[3]) << 8 | payload[4];
    GraphLines->add("," + std::to_string(number));
    return true;
}

namespace {

// The text of a comment or notify record: from payload byte 2 up to the
// payload's end (its length byte) or a NUL.
std::string recordText(const uint8_t* payload, uint16_t length)
{
    const size_t end = std::min<size_t>(length, payload[0]);
    if (end <= 2)
        return std::string();
    const char* text = reinterpret_cast<const char*>(payload + 2);
    const void* nul = std::memchr(text, 0, end - 2);
    return std::string(text, nul ? static_cast<const char*>(nul) - text : end - 2);
}

} // namespace

bool TSondeRecordCmd::ReadCommentRecord(const uint8_t* payload, uint16_t length, const Timestamp& time)
{
    setLastRecord(time);
    const std::string text = length > 0 ? recordText(payload, length) : std::string();
    const std::string a = text.substr(0, 8);
    const std::string b = text.size() > 8 ? text.substr(8) : std::string();
    const char kind = text.empty() ? '\0' : text[0];
    if (kind == 'S') {
        PrintBanner(time, a, b, false);
    } else if (kind == 'E' || kind == 'V') {
        addStampLine(kind == 'E' ? "S " : "V ", time);
        GraphLines->add("# " + a);
        GraphLines->add("# " + b);
    } else {
        addStampLine("V ", time);
        GraphLines->add("# ????????");
        GraphLines->add("# " + a + b);
    }
    return true;
}

bool TSondeRecordCmd::ReadTriggerEventRecord(const uint8_t* payload, uint16_t length, const Timestamp& time)
{
    setLastRecord(time);
    if (!readChannelBlock(payload, length))
        return false;
    addStampLine("#C", time);
    GraphLines->add("#Schedule 8 ");
    addChannelLines("T20001111111111");
    return true;
}

bool TSondeRecordCmd::ReadSamplerEventRecord(const uint8_t* payload, uint16_t length, const Timestamp& time)
{
    setLastRecord(time);
    if (length < 5)
        return false;
    float value = 0;
    std::memcpy(&value, payload + 1, 4);
    const uint16_t channel = value == NoValue ? 99 : ConfData.SamplerChannel;
    const int repeats = std::min<int>(payload[0], 24);
    for (int i = 0; i < repeats; ++i) {
        addStampLine("#C", time);
        GraphLines->add("#Schedule 9");
        GraphLines->add("T20001111111111");
        addValueItem(channel, value);
    }
    return true;
}

bool TSondeRecordCmd::ReadAlarmEventRecord(const uint8_t* payload, uint16_t length, const Timestamp& time)
{
    setLastRecord(time);
    if (!readChannelBlock(payload, length))
        return false;
    addStampLine("#C", time);
    GraphLines->add("#Schedule 0 ");
    addChannelLines("A20001111111111");
    return true;
}

bool TSondeRecordCmd::ReadSystemLogRecord(const uint8_t* payload, uint16_t length, const Timestamp& time)
{
    setLastRecord(time);
    addStampLine("V ", time);
    GraphLines->add("# SYS/SYS");
    GraphLines->add("# " + (length >= 1 ? SystemEventName(payload[0]) : std::string()));
    return true;
}

bool TSondeRecordCmd::ReadDataVariationRecord(const uint8_t* payload, uint16_t length, const Timestamp& time)
{
    setLastRecord(time);
    if (!recordFits(rtDataVariation, payload, length))
        return false;
    float value = 0;
    std::memcpy(&value, payload + 1, 4);
    addStampLine("#C", time);
    GraphLines->add("#Schedule 7");
    GraphLines->add("T20001111111111");
    addValueItem(payload[0], value);
    return true;
}

bool TSondeRecordCmd::ReadRainEventRecord(const uint8_t* payload, uint16_t length, const Timestamp&)
{
    if (length < 22 || payload[1] == 0 || payload[2] == 0)
        return true;
    Timestamp base{};
    std::memcpy(&base, payload + 3, sizeof base);
    if (!IsValidTimestamp(base)) {
        GraphLines->add("# ERROR RainEvents Record");
        return false;
    }
    for (int bit = 0; bit < 104; ++bit)
        if (payload[9 + bit / 8] & (0x80 >> (bit % 8))) {
            std::string& line = GraphLines->open();
            line += "RT,";
            appendStamp(line, base, bit);
            GraphLines->close();
        }
    return true;
}

bool TSondeRecordCmd::ReadRainMissingEventRecord(const uint8_t* payload, uint16_t length, const Timestamp& time)
{
    if (length < 1)
        return true;
    const int value = static_cast<int8_t>(payload[0]);
    std::string& line = GraphLines->open();
    line += "RM,";
    appendStamp(line, time);
    line += value >= 0 ? ",+" : ",";
    line += FloatToStrF(value, ffFixed, 15, 1, Formats);
    GraphLines->close();
    return true;
}

bool TSondeRecordCmd::ReadSboxStatusRecord(const uint8_t* payload, uint16_t length, const Timestamp& time)
{
    setLastRecord(time);
    addStampLine("V ", time);
    GraphLines->add("# SBX/STA");
    std::string line = "#";
    for (int i = 0; i < 12 && i < length; ++i) {
        line += ' ';
        if (payload[i] >= 0x10)
            line += HexLower[payload[i] >> 4];
        line += HexLower[payload[i] & 0x0F];
    }
    GraphLines->add(line);
    return true;
}

bool TSondeRecordCmd::ReadNotifyRecord(const uint8_t* payload, uint16_t length, const Timestamp& time)
{
    setLastRecord(time);
    addStampLine("V ", time);
    GraphLines->add("# SYS/NTF");
    GraphLines->add("# " + (length > 0 ? recordText(payload, length) : std::string()));
    return true;
}
