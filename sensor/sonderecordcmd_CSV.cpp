// The CSV table: one row per schedule-data, data-variation, comment and
// system-log record; one value column per channel that any schedule-data
// record carries.
#include "sonderecordcmd.h"

#include "RecordTime.h"

#include <charconv>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace {

std::string fieldText(const char* field, size_t size)
{
    const void* nul = std::memchr(field, 0, size);
    return std::string(field, nul ? static_cast<const char*>(nul) - field : size);
}

// A field holding the separator, a quote or a line break is quoted (quotes
// doubled), so that it stays one cell; other fields are written as they are.
void appendCsvField(std::string& out, std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.append(text);
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

std::string csvField(std::string_view text)
{
    std::string out;
    appendCsvField(out, text);
    return out;
}

void setComment(TSondeRecordCmd::scheduleData& row, const std::string& text)
{
    const size_t n = std::min(text.size(), sizeof row.Comment - 1);
    std::memcpy(row.Comment, text.data(), n);
    row.Comment[n] = '\0';
}

// Comment text of a comment record: from payload byte 2 up to the payload's
// end or a NUL.
std::string commentText(const uint8_t* payload, uint16_t length)
{
    if (length <= 2)
        return std::string();
    const char* text = reinterpret_cast<const char*>(payload + 2);
    const void* nul = std::memchr(text, 0, length - 2u);
    return std::string(text, nul ? static_cast<const char*>(nul) - text : length - 2u);
}

} // namespace

// The longest row text: "Start Logging: " and three blanks around a comment
// of a whole payload.
static_assert(TSondeRecordCmd::CommentFieldSize > 15 + 3 + (MaxRecordPayload - 2), "comment rows fit their field");

void TSondeRecordCmd::clearScheduleData(scheduleData& row)
{
    for (int i = 0; i < RecordChannels; ++i) {
        row.Channels[i] = 0xFFFF;
        row.Values[i] = NoValue;
    }
    std::memset(row.Comment, 0, sizeof row.Comment);
}

bool TSondeRecordCmd::ReadScheduleDataRecordCSV(const uint8_t* payload, uint16_t length, scheduleData& row,
                                                const Timestamp& time)
{
    if (!recordFits(rtScheduleData, payload, length))
        return false;
    RecordTime::toDateTime(time, 0, row.Time);
    row.ScheduleNumber = payload[0];
    row.ChannelCount = payload[2];
    for (int i = 0; i < row.ChannelCount; ++i) {
        const uint8_t channel = payload[3 + i];
        row.Channels[i] = channel;
        std::memcpy(&row.Values[channel], payload + 3 + row.ChannelCount + 4 * i, 4);
        ChannelUsed[channel] = 1;
    }
    return true;
}

bool TSondeRecordCmd::ReadDataVariationRecordCSV(const uint8_t* payload, uint16_t length, scheduleData& row,
                                                 const Timestamp& time)
{
    if (!recordFits(rtDataVariation, payload, length))
        return false;
    RecordTime::toDateTime(time, 0, row.Time);
    row.ScheduleNumber = 7;
    row.ChannelCount = 1;
    row.Channels[0] = payload[0];
    std::memcpy(&row.Values[payload[0]], payload + 1, 4);
    return true;
}

bool TSondeRecordCmd::ReadCommentRecordCSV(const uint8_t* payload, uint16_t length, scheduleData& row,
                                           const Timestamp& time)
{
    const std::string text = commentText(payload, length);
    const std::string a = text.substr(0, 8);
    const std::string b = text.size() > 8 ? text.substr(8) : std::string();
    const char kind = text.empty() ? '\0' : text[0];
    const char* prefix = kind == 'S' ? "Start Logging: " : kind == 'E' ? "Stop Logging: " : kind == 'V' ? "Visit: " : nullptr;
    if (!prefix)
        return false;
    row.ScheduleNumber = -1;
    RecordTime::toDateTime(time, 0, row.Time);
    setComment(row, prefix + a + "   " + b);
    return true;
}

bool TSondeRecordCmd::ReadSystemLogRecordCSV(const uint8_t* payload, uint16_t length, scheduleData& row,
                                             const Timestamp& time)
{
    if (length < 1 || payload[0] > SOFTWARE_RESET)
        return false;
    row.ScheduleNumber = -1;
    RecordTime::toDateTime(time, 0, row.Time);
    setComment(row, "SYS -" + SystemEventName(payload[0]));
    return true;
}

bool TSondeRecordCmd::CreateCSVFile(const std::string& downloadFile, const std::string& csvFile, CalibrationData*,
                                    ConfigurationData*, bool)
{
    const std::unique_ptr<RecordInput> input = RecordInput::open(downloadFile);
    if (!input)
        return false;
    FileSink output(csvFile);
    writeCSV(*input, output);
    output.commit();
    return true;
}

void TSondeRecordCmd::writeCSV(RecordInput& input, TextSink& output)
{
    readHeader(input);

    // The value columns: every channel of a schedule-data record. They head
    // the file, so a first pass finds them.
    std::memset(ChannelUsed, 0, sizeof ChannelUsed);
    scanRecordStream(
        input, DownloadHeaderSize,
        [this](const ScannedFrame& frame) {
            if (frame.Valid && recordFits(rtScheduleData, frame.Payload, frame.Length))
                for (int i = 0; i < frame.Payload[2]; ++i)
                    ChannelUsed[frame.Payload[3 + i]] = 1;
        },
        rtScheduleData);
    RecordCount = 0;

    std::vector<int> columns;
    for (int c = 0; c < RecordChannels; ++c)
        if (ChannelUsed[c])
            columns.push_back(c);

    LineWriter lines(output);
    const LinesInUse inUse(GraphLines, lines);
    std::string header1 = "Date/Time, Schedule No, Schedule Name,";
    std::string header2 = ",,,";
    for (int c : columns) {
        const CalChannelData& ch = CalData.Channels[c];
        header1 += csvField(fieldText(ch.Name, sizeof ch.Name)) + ",";
        header2 += csvField(fieldText(ch.UnitsText, sizeof ch.UnitsText)) + ",";
    }
    header1 += "Comments,";
    lines.line(header1);
    lines.line(header2);

    std::string names[ScheduleRecordCount];
    for (int s = 0; s < ScheduleRecordCount; ++s)
        names[s] = csvField(fieldText(ConfData.Schedules[s].Name, sizeof ConfData.Schedules[s].Name));
    const std::string separators(3 + columns.size(), ',');
    const std::shared_ptr<const TimeOfDayWriter> clock = TimeOfDayWriter::of(Formats);

    // Dates repeat from row to row: each day is formatted once. The line and
    // its date and time are made in buffers that are reused.
    int cachedDay = -1;
    std::string cachedDate;
    std::string when;
    std::string line;
    char number[MaxFixedTextSize];
    scheduleData row{};
    clearScheduleData(row);

    auto writeRow = [&](const Timestamp& time) {
        RecordTime::Civil civil{};
        RecordTime::toCivil(time, 0, civil);
        const int day = (civil.Year * 100 + civil.Month) * 100 + civil.Day;
        if (day != cachedDay) {
            cachedDay = day;
            cachedDate = DateToStr(RecordTime::toDateTime(RecordTime::Civil{civil.Year, civil.Month, civil.Day, 0, 0, 0}), Formats);
        }
        when.assign(cachedDate);
        when += ' ';
        clock->append(when, civil.Hour, civil.Minute, civil.Second);
        line.clear();
        appendCsvField(line, when);
        if (row.ScheduleNumber == -1) {
            line += separators;
            appendCsvField(line, row.Comment);
        } else {
            line += ',';
            const auto digits = std::to_chars(number, number + sizeof number, row.ScheduleNumber);
            line.append(number, digits.ptr);
            line += ',';
            if (row.ScheduleNumber == 7)
                line += "Data Variation";
            else if (row.ScheduleNumber >= 0 && row.ScheduleNumber < ScheduleRecordCount)
                line += names[row.ScheduleNumber];
            line += ',';
            for (int c : columns) {
                if (row.Values[c] != NoValue) {
                    const char* end = putValue(number, static_cast<uint16_t>(c), row.Values[c]);
                    appendCsvField(line, std::string_view(number, static_cast<size_t>(end - number)));
                }
                line += ',';
            }
        }
        if (line.size() > 5)
            lines.line(line);
    };
    // What a row reader set, put back as clearScheduleData leaves it.
    auto clearRow = [&row] {
        if (row.ScheduleNumber == -1) {
            std::memset(row.Comment, 0, std::strlen(row.Comment));
            return;
        }
        for (int i = 0; i < row.ChannelCount && i < RecordChannels; ++i) {
            if (row.Channels[i] < RecordChannels)
                row.Values[row.Channels[i]] = NoValue;
            row.Channels[i] = 0xFFFF;
        }
    };

    scanRecordStream(input, DownloadHeaderSize, [&](const ScannedFrame& frame) {
        if (!frame.Valid)
            return;
        bool made = false;
        switch (frame.Type) {
        case rtScheduleData: made = ReadScheduleDataRecordCSV(frame.Payload, frame.Length, row, frame.Time); break;
        case rtComment: made = ReadCommentRecordCSV(frame.Payload, frame.Length, row, frame.Time); break;
        case rtSystemLog: made = ReadSystemLogRecordCSV(frame.Payload, frame.Length, row, frame.Time); break;
        case rtDataVariation: made = ReadDataVariationRecordCSV(frame.Payload, frame.Length, row, frame.Time); break;
        default: break;
        }
        if (made) {
            writeRow(frame.Time);
            clearRow();
        }
    });
    lines.flush();
}
