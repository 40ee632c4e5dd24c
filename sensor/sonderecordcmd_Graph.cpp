// The graph file for the viewer program: header, banners, one group of lines
// per record, and a line for each faulty record frame.
#include "sonderecordcmd.h"

#include "RecordTime.h"

#include <cstring>
#include <memory>
#include <string_view>

namespace {

// Text of a fixed-size field up to its first NUL, never beyond the field
// or `limit` characters.
std::string_view fieldView(const char* field, size_t size, size_t limit)
{
    const size_t n = std::min(size, limit);
    const void* nul = std::memchr(field, 0, n);
    return std::string_view(field, nul ? static_cast<size_t>(static_cast<const char*>(nul) - field) : n);
}

// The text padded with "_" to `width` characters.
void putPadded(LineWriter& out, std::string_view text, size_t width)
{
    out.put(text);
    for (size_t i = text.size(); i < width; ++i)
        out.put('_');
}

// Text of a comment record on a line that starts with "# ". A line break
// in the text (CR LF, or a CR or an LF alone) ends that line, and the next
// starts with "# " too: every line of the comment keeps the prefix.
void putCommentText(LineWriter& out, std::string_view text)
{
    for (;;) {
        const size_t brk = text.find_first_of("\r\n");
        if (brk == std::string_view::npos) {
            out.put(text);
            return;
        }
        out.put(text.substr(0, brk));
        out.endLine();
        out.put("# ");
        const bool crlf = text[brk] == '\r' && brk + 1 < text.size() && text[brk + 1] == '\n';
        text.remove_prefix(brk + (crlf ? 2 : 1));
    }
}

// A line "# " and a comment's text.
void commentLine(LineWriter& out, std::string_view text)
{
    out.put("# ");
    putCommentText(out, text);
    out.endLine();
}

const char HexUpper[] = "0123456789ABCDEF";
const char HexLower[] = "0123456789abcdef";

} // namespace

bool TSondeRecordCmd::CreateTessaloomFile(const std::string& downloadFile, const std::string& graphFile,
                                          CalibrationData*, ConfigurationData*, bool)
{
    const std::unique_ptr<RecordInput> input = RecordInput::open(downloadFile);
    if (!input)
        return false;
    FileSink output(graphFile);
    writeTessaloom(*input, output);
    output.commit();
    return true;
}

void TSondeRecordCmd::writeTessaloom(RecordInput& input, TextSink& output)
{
    if (!output.canRewrite()) {
        // The second line holds the last record's time: find it first.
        CountingSink discard;
        graphPass(input, discard, true);
    }
    graphPass(input, output, output.canRewrite());
}

void TSondeRecordCmd::graphPass(RecordInput& input, TextSink& output, bool stampAtEnd)
{
    readHeader(input);
    FileSize = static_cast<int32_t>(input.size());
    LineWriter lines(output);
    const LinesInUse inUse(GraphLines, lines);

    // The stamp line: its first 16 characters stay, the last record's date
    // and time follow.
    auto lastStamp = [this] {
        storeLastRecord();
        int y = 0, m = 0, d = 0, h = 0, n = 0, s = 0, ms = 0;
        DecodeDate(LastRecordDate, y, m, d);
        DecodeTime(LastRecordTime, h, n, s, ms);
        std::string stamp;
        RecordTime::appendStamp(stamp, RecordTime::Civil{y, m, d, h, n, s});
        return stamp;
    };
    lines.line("# HALVORINE");
    const uint64_t stampOffset = lines.offset() + 16;
    lines.put("# 20070405145332");
    lines.line(stampAtEnd ? std::string("20070408083734") : lastStamp());
    lines.line("# HALVORINE");
    lines.put('#');
    for (int c = 0; c < RecordChannels; ++c) {
        lines.put(' ');
        lines.putNumber(ConfData.ChannelSetup[c].Precision);
    }
    lines.endLine();

    ColumnsOf.clear();
    uint8_t columns[RecordChannels] = {};
    scanRecordStream(input, DownloadHeaderSize, [this, &columns](const ScannedFrame& frame) {
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
            case rtScheduleData:
                for (int i = 0; i < p[2]; ++i)
                    columns[p[3 + i]] = 1; // the CSV file's value columns
                ReadScheduleDataRecord(p, n, t);
                break;
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

    const std::string stamp = lastStamp();
    if (stampAtEnd)
        lines.rewrite(stampOffset, stamp);
    lines.flush();
    std::memcpy(GraphColumns, columns, sizeof columns);
    ColumnsOf = input.identity();
}

void TSondeRecordCmd::PrintBanner(const Timestamp& time, const std::string& a, const std::string& b,
                                  bool scheduleList)
{
    LineWriter& out = *GraphLines;
    out.put("L 2.S000 ________ SNDELOG_____ ");
    putPadded(out, fieldView(CalData.SensorName, sizeof CalData.SensorName, 20), 20);
    out.put(' ');
    putPadded(out, fieldView(CalData.SensorID, sizeof CalData.SensorID, 20), 20);
    out.endLine();
    if (IsValidTimestamp(time)) {
        addStampLine("# ", time);
        setLastRecord(time);
    } else {
        out.line("invalid date ");
    }
    out.line("");
    for (int c = 0; c < RecordChannels; ++c) {
        if (CalData.Channels[c].Enabled) {
            out.put('C');
            out.putNumber(c);
            out.endLine();
        }
    }
    out.line("C98");
    out.line("C99");
    const std::string_view initials = std::string_view(a).substr(0, 8);
    out.put("# ");
    putCommentText(out, initials);
    for (size_t i = initials.size(); i < 8; ++i)
        out.put('_');
    out.endLine();
    commentLine(out, b);
    out.line("#");
    for (int c = 0; c < RecordChannels; ++c) {
        const CalChannelData& ch = CalData.Channels[c];
        if (!ch.Enabled)
            continue;
        out.put("#N");
        out.putNumber(c);
        out.put(c <= 9 ? "__ " : "_ ");
        putPadded(out, fieldView(ch.Name, sizeof ch.Name, 14), 14);
        out.put(' ');
        putPadded(out, fieldView(ch.UnitsText, sizeof ch.UnitsText, 12), 12);
        out.endLine();
    }
    out.line("#N98_ Rain Event____ Tip_________");
    out.line("#N99_ ______________ ____________");
    out.line("#");
    out.line("#Enabled Schedules");
    if (scheduleList) {
        for (int s = 0; s <= 9; ++s) {
            out.put("#Schedule ");
            out.putNumber(s);
            out.endLine();
        }
    }
    out.line("#");
}

void TSondeRecordCmd::DisplayFaultyRecord(int16_t result, const uint8_t* bytes, uint16_t count)
{
    LineWriter& out = *GraphLines;
    out.put("*****  ");
    out.putNumber(result);
    out.put("  ");
    char* p = out.room(3u * count);
    for (uint16_t i = 0; i < count; ++i) {
        *p++ = HexUpper[bytes[i] >> 4];
        *p++ = HexUpper[bytes[i] & 0x0F];
        *p++ = ' ';
    }
    out.advance(p);
    out.put("  *****");
    out.endLine();
}

// --- record lines ---------------------------------------------------------------------

void TSondeRecordCmd::addStampLine(const char* prefix, const Timestamp& time, const char* suffix)
{
    GraphLines->put(prefix);
    putStamp(time);
    GraphLines->put(suffix);
    GraphLines->endLine();
}

void TSondeRecordCmd::addValueItem(uint16_t channel, float value)
{
    // "D", the channel, a blank, "+" unless negative, the value.
    GraphLines->put('D');
    GraphLines->putNumber(channel);
    char* p = GraphLines->room(4 + MaxFixedTextSize);
    *p++ = ' ';
    if (value >= 0)
        *p++ = '+';
    p = putValue(p, channel, value);
    *p++ = '\r';
    *p++ = '\n';
    GraphLines->advance(p);
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
        GraphLines->line(tag);
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
    GraphLines->put("#Schedule ");
    GraphLines->putNumber(CurrentSchedule);
    GraphLines->endLine();
    addChannelLines("T20001111111111");
    return true;
}

bool TSondeRecordCmd::StartOfLoggingRecord(const uint8_t* payload, uint16_t length, const Timestamp& time)
{
    setLastRecord(time);
    if (length < 5)
        return false;
    const uint32_t number = static_cast<uint32_t>(payload[2]) << 16 | static_cast<uint32_t>(payload[3]) << 8 | payload[4];
    GraphLines->line("," + std::to_string(number));
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
    return std::string(text, nul ? static_cast<size_t>(static_cast<const char*>(nul) - text) : end - 2);
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
        commentLine(*GraphLines, a);
        commentLine(*GraphLines, b);
    } else {
        addStampLine("V ", time);
        GraphLines->line("# ????????");
        commentLine(*GraphLines, text);
    }
    return true;
}

bool TSondeRecordCmd::ReadTriggerEventRecord(const uint8_t* payload, uint16_t length, const Timestamp& time)
{
    setLastRecord(time);
    if (!readChannelBlock(payload, length))
        return false;
    addStampLine("#C", time);
    GraphLines->line("#Schedule 8 ");
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
        GraphLines->line("#Schedule 9");
        GraphLines->line("T20001111111111");
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
    GraphLines->line("#Schedule 0 ");
    addChannelLines("A20001111111111");
    return true;
}

bool TSondeRecordCmd::ReadSystemLogRecord(const uint8_t* payload, uint16_t length, const Timestamp& time)
{
    setLastRecord(time);
    addStampLine("V ", time);
    GraphLines->line("# SYS/SYS");
    GraphLines->line("# " + (length >= 1 ? SystemEventName(payload[0]) : std::string()));
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
    GraphLines->line("#Schedule 7");
    GraphLines->line("T20001111111111");
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
        GraphLines->line("# ERROR RainEvents Record");
        return false;
    }
    for (int bit = 0; bit < 104; ++bit)
        if (payload[9 + bit / 8] & (0x80 >> (bit % 8))) {
            GraphLines->put("RT,");
            putStamp(base, bit);
            GraphLines->endLine();
        }
    return true;
}

bool TSondeRecordCmd::ReadRainMissingEventRecord(const uint8_t* payload, uint16_t length, const Timestamp& time)
{
    if (length < 1)
        return true;
    const int value = static_cast<int8_t>(payload[0]);
    GraphLines->put("RM,");
    putStamp(time);
    GraphLines->put(value >= 0 ? ",+" : ",");
    GraphLines->advance(FormatFixed(GraphLines->room(MaxFixedTextSize), value, 15, 1, Formats.DecimalSeparator));
    GraphLines->endLine();
    return true;
}

bool TSondeRecordCmd::ReadSboxStatusRecord(const uint8_t* payload, uint16_t length, const Timestamp& time)
{
    setLastRecord(time);
    addStampLine("V ", time);
    GraphLines->line("# SBX/STA");
    std::string line = "#";
    for (int i = 0; i < 12 && i < length; ++i) {
        line += ' ';
        if (payload[i] >= 0x10)
            line += HexLower[payload[i] >> 4];
        line += HexLower[payload[i] & 0x0F];
    }
    GraphLines->line(line);
    return true;
}

bool TSondeRecordCmd::ReadNotifyRecord(const uint8_t* payload, uint16_t length, const Timestamp& time)
{
    setLastRecord(time);
    addStampLine("V ", time);
    GraphLines->line("# SYS/NTF");
    GraphLines->line("# " + (length > 0 ? recordText(payload, length) : std::string()));
    return true;
}
