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
    return std::string(field, nul ? static_cast<size_t>(static_cast<const char*>(nul) - field) : size);
}

// True when the text needs no quotes: no separator, quote or line break.
bool plainCell(std::string_view text)
{
    for (char c : text)
        if (c == ',' || c == '"' || c == '\r' || c == '\n')
            return false;
    return true;
}

// A field holding the separator, a quote or a line break is quoted (quotes
// doubled), so that it stays one cell; other fields are written as they are.
// `out` must have room for 2 * size + 2 bytes; returns the end.
char* putCsvField(char* out, const char* text, size_t size)
{
    if (plainCell(std::string_view(text, size))) {
        std::memcpy(out, text, size);
        return out + size;
    }
    *out++ = '"';
    for (size_t i = 0; i < size; ++i) {
        if (text[i] == '"')
            *out++ = '"';
        *out++ = text[i];
    }
    *out++ = '"';
    return out;
}

std::string csvField(std::string_view text)
{
    std::string out(2 * text.size() + 2, '\0');
    out.resize(static_cast<size_t>(putCsvField(out.data(), text.data(), text.size()) - out.data()));
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
    return std::string(text, nul ? static_cast<size_t>(static_cast<const char*>(nul) - text) : length - 2u);
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

bool TSondeRecordCmd::ReadScheduleDataRecordCSV(const uint8_t* payload, uint16_t length, scheduleData& row)
{
    if (!recordFits(rtScheduleData, payload, length))
        return false;
    row.ScheduleNumber = payload[0];
    row.ChannelCount = payload[2];
    for (int i = 0; i < row.ChannelCount; ++i) {
        const uint8_t channel = payload[3 + i];
        row.Channels[i] = channel;
        std::memcpy(&row.Values[channel], payload + 3 + row.ChannelCount + 4 * i, 4);
    }
    return true;
}

bool TSondeRecordCmd::ReadDataVariationRecordCSV(const uint8_t* payload, uint16_t length, scheduleData& row)
{
    if (!recordFits(rtDataVariation, payload, length))
        return false;
    row.ScheduleNumber = 7;
    row.ChannelCount = 1;
    row.Channels[0] = payload[0];
    std::memcpy(&row.Values[payload[0]], payload + 1, 4);
    return true;
}

bool TSondeRecordCmd::ReadCommentRecordCSV(const uint8_t* payload, uint16_t length, scheduleData& row)
{
    const std::string text = commentText(payload, length);
    const std::string a = text.substr(0, 8);
    const std::string b = text.size() > 8 ? text.substr(8) : std::string();
    const char kind = text.empty() ? '\0' : text[0];
    const char* prefix = kind == 'S' ? "Start Logging: " : kind == 'E' ? "Stop Logging: " : kind == 'V' ? "Visit: " : nullptr;
    if (!prefix)
        return false;
    row.ScheduleNumber = -1;
    setComment(row, prefix + a + "   " + b);
    return true;
}

bool TSondeRecordCmd::ReadSystemLogRecordCSV(const uint8_t* payload, uint16_t length, scheduleData& row)
{
    if (length < 1 || payload[0] > SOFTWARE_RESET)
        return false;
    row.ScheduleNumber = -1;
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

void TSondeRecordCmd::findColumns(RecordInput& input)
{
    std::memset(ChannelUsed, 0, sizeof ChannelUsed);
    // Only schedule-data records count, and of those only the ones that may
    // add a column: a record without escapes whose channels (payload bytes
    // 3 on, raw bytes 14 on) all have their column already adds nothing.
    const RawFrameFilter mayAddColumns = [this](const uint8_t (&raw)[RecordFrameBufferSize], int length) {
        if (raw[1] != rtScheduleData)
            return false;
        if (length < 14 || escapedFrame(raw, length))
            return true;
        const int k = raw[13];
        if (k > RecordChannels || length < 14 + k)
            return true;
        for (int i = 0; i < k; ++i)
            if (raw[14 + i] >= RecordChannels || !ChannelUsed[raw[14 + i]])
                return true;
        return false;
    };
    scanRecordStream(
        input, DownloadHeaderSize,
        [this](const ScannedFrame& frame) {
            if (frame.Valid && recordFits(rtScheduleData, frame.Payload, frame.Length))
                for (int i = 0; i < frame.Payload[2]; ++i)
                    ChannelUsed[frame.Payload[3 + i]] = 1;
        },
        mayAddColumns);
}

void TSondeRecordCmd::writeCSV(RecordInput& input, TextSink& output)
{
    readHeader(input);

    // The value columns: every channel of a valid schedule-data record.
    // They head the file: the graph file's pass over this very file found
    // them, or a first pass finds them.
    if (!ColumnsOf.empty() && ColumnsOf == input.identity())
        std::memcpy(ChannelUsed, GraphColumns, sizeof ChannelUsed);
    else
        findColumns(input);
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
    const std::shared_ptr<const DateWriter> calendar = DateWriter::of(Formats);
    const std::shared_ptr<const TimeOfDayWriter> clock = TimeOfDayWriter::of(Formats);

    // Dates repeat from row to row: each day is formatted once. The line and
    // its date and time are made in buffers that are reused.
    int cachedDay = -1;
    std::string cachedDate;
    std::string when; // the row's date and time as a cell
    const std::string dataVariation = "Data Variation";
    char number[MaxFixedTextSize];
    scheduleData row{};
    clearScheduleData(row);

    size_t nameSize = 0;
    for (const std::string& name : names)
        nameSize = std::max(nameSize, name.size());
    // Room enough for any row but its date and time: every cell quoted with
    // every character doubled.
    const size_t rowRoom = separators.size() + 2 * sizeof row.Comment + 2 + 16 + std::max<size_t>(nameSize, 14) + 2
        + columns.size() * (2 * MaxFixedTextSize + 3) + 2;
    long long whenKey = -1;
    // A number's text holds digits, signs, letters and the separator: only a
    // separator that is the CSV's own asks for quotes.
    const bool quoteValues = !plainCell(std::string_view(&Formats.DecimalSeparator, 1));

    auto writeRow = [&](const Timestamp& time) {
        RecordTime::Civil civil{};
        RecordTime::toCivil(time, 0, civil);
        const int day = (civil.Year * 100 + civil.Month) * 100 + civil.Day;
        const long long key = day * 100000LL + civil.Hour * 3600 + civil.Minute * 60 + civil.Second;
        if (key != whenKey) {
            // Rows of one second (several schedules) share their time.
            whenKey = key;
            if (day != cachedDay) {
                cachedDay = day;
                cachedDate.clear();
                calendar->append(cachedDate, civil.Year, civil.Month, civil.Day);
            }
            when.assign(cachedDate);
            when += ' ';
            clock->append(when, civil.Hour, civil.Minute, civil.Second);
            if (!plainCell(when))
                when = csvField(when);
        }
        char* const start = lines.room(rowRoom + when.size());
        char* p = start;
        std::memcpy(p, when.data(), when.size());
        p += when.size();
        if (row.ScheduleNumber == -1) {
            std::memcpy(p, separators.data(), separators.size());
            p += separators.size();
            p = putCsvField(p, row.Comment, std::strlen(row.Comment));
        } else {
            *p++ = ',';
            p = std::to_chars(p, p + 8, row.ScheduleNumber).ptr;
            *p++ = ',';
            const std::string* name = row.ScheduleNumber == 7 ? &dataVariation
                : row.ScheduleNumber >= 0 && row.ScheduleNumber < ScheduleRecordCount ? &names[row.ScheduleNumber]
                                                                                         : nullptr;
            if (name) {
                std::memcpy(p, name->data(), name->size());
                p += name->size();
            }
            *p++ = ',';
            for (int c : columns) {
                if (row.Values[c] != NoValue) {
                    if (quoteValues) {
                        const char* end = putValue(number, static_cast<uint16_t>(c), row.Values[c]);
                        p = putCsvField(p, number, static_cast<size_t>(end - number));
                    } else {
                        p = putValue(p, static_cast<uint16_t>(c), row.Values[c]);
                    }
                }
                *p++ = ',';
            }
        }
        if (p - start > 5) {
            *p++ = '\r';
            *p++ = '\n';
            lines.advance(p);
        }
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

    // Only these record types make rows; the others are counted undecoded.
    const RawFrameFilter makesRow = [](const uint8_t (&raw)[RecordFrameBufferSize], int) {
        return raw[1] == rtScheduleData || raw[1] == rtComment || raw[1] == rtSystemLog || raw[1] == rtDataVariation;
    };
    scanRecordStream(input, DownloadHeaderSize, [&](const ScannedFrame& frame) {
        if (!frame.Valid)
            return;
        bool made = false;
        switch (frame.Type) {
        case rtScheduleData: made = ReadScheduleDataRecordCSV(frame.Payload, frame.Length, row); break;
        case rtComment: made = ReadCommentRecordCSV(frame.Payload, frame.Length, row); break;
        case rtSystemLog: made = ReadSystemLogRecordCSV(frame.Payload, frame.Length, row); break;
        case rtDataVariation: made = ReadDataVariationRecordCSV(frame.Payload, frame.Length, row); break;
        default: break;
        }
        if (made) {
            writeRow(frame.Time);
            clearRow();
        }
    }, makesRow);
    lines.flush();
}
