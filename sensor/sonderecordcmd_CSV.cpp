// The CSV table: one row per schedule-data, data-variation, comment and
// system-log record; one value column per channel that any schedule-data
// record carries.
#include "sonderecordcmd.h"

#include "RecordTime.h"

#include <cstring>
#include <memory>
#include <vector>

namespace {

std::string fieldText(const char* field, size_t size)
{
    const void* nul = std::memchr(field, 0, size);
    return std::string(field, nul ? static_cast<const char*>(nul) - field : size);
}

// A field holding the separator, a quote or a line break is quoted (quotes
// doubled), so that it stays one cell; other fields are written as they are.
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

// The rows of a pass, kept compact: a conversion may collect hundreds of
// thousands of rows, most of them with a few values and no text.
class RowStore {
public:
    void push_back(const TSondeRecordCmd::scheduleData& row)
    {
        Row r{row.Time, row.ScheduleNumber, static_cast<uint32_t>(values_.size()), 0,
              static_cast<uint32_t>(comments_.size())};
        if (row.ScheduleNumber == -1) {
            comments_ += row.Comment;
        } else {
            for (int i = 0; i < row.ChannelCount && i < RecordChannels; ++i) {
                const uint16_t channel = row.Channels[i];
                if (channel < RecordChannels)
                    values_.push_back(Value{static_cast<uint8_t>(channel), row.Values[channel]});
            }
        }
        r.ValueEnd = static_cast<uint32_t>(values_.size());
        rows_.push_back(r);
        commentEnds_.push_back(static_cast<uint32_t>(comments_.size()));
    }
    size_t size() const { return rows_.size(); }
    // Row i as the readers made it.
    void get(size_t i, TSondeRecordCmd::scheduleData& row) const
    {
        const Row& r = rows_[i];
        TSondeRecordCmd::clearScheduleData(row);
        row.Time = r.Time;
        row.ScheduleNumber = r.ScheduleNumber;
        row.ChannelCount = static_cast<uint16_t>(r.ValueEnd - r.ValueStart);
        for (uint32_t k = r.ValueStart; k < r.ValueEnd; ++k) {
            row.Channels[k - r.ValueStart] = values_[k].Channel;
            row.Values[values_[k].Channel] = values_[k].Number;
        }
        const size_t length = commentEnds_[i] - r.CommentStart;
        std::memcpy(row.Comment, comments_.data() + r.CommentStart, std::min(length, sizeof row.Comment - 1));
    }

private:
    struct Row {
        TDateTime Time;
        int16_t ScheduleNumber;
        uint32_t ValueStart;
        uint32_t ValueEnd;
        uint32_t CommentStart;
    };
    struct Value {
        uint8_t Channel;
        float Number;
    };
    std::vector<Row> rows_;
    std::vector<Value> values_;
    std::vector<uint32_t> commentEnds_;
    std::string comments_;
};

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
    FileHandle file = openDownload(downloadFile);
    if (!file)
        return false;
    auto lines = std::make_unique<TextLines>();
    GraphLines = lines.get();
    const LinesInUse inUse(GraphLines);
    RowStore rows;
    std::memset(ChannelUsed, 0, sizeof ChannelUsed);

    scheduleData row{};
    scanRecordStream(file.get(), DownloadHeaderSize, [&](const ScannedFrame& frame) {
            clearScheduleData(row);
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
            if (made)
                rows.push_back(row);
        });

    file.reset();

    std::vector<int> columns;
    for (int c = 0; c < RecordChannels; ++c)
        if (ChannelUsed[c])
            columns.push_back(c);

    std::string header1 = "Date/Time, Schedule No, Schedule Name,";
    std::string header2 = ",,,";
    for (int c : columns) {
        const CalChannelData& ch = CalData.Channels[c];
        header1 += csvField(fieldText(ch.Name, sizeof ch.Name)) + ",";
        header2 += csvField(fieldText(ch.UnitsText, sizeof ch.UnitsText)) + ",";
    }
    header1 += "Comments,";
    GraphLines->add(header1);
    GraphLines->add(header2);

    // Dates repeat from row to row; format each day once.
    TDateTime cachedDay = -1;
    std::string cachedDate;
    std::string names[ScheduleRecordCount];
    for (int s = 0; s < ScheduleRecordCount; ++s)
        names[s] = csvField(fieldText(ConfData.Schedules[s].Name, sizeof ConfData.Schedules[s].Name));
    const std::string separators(3 + columns.size(), ',');

    GraphLines->reserve(rows.size() * (24 + 8 * columns.size()) + 4096);
    for (size_t i = 0; i < rows.size(); ++i) {
        rows.get(i, row);
        const scheduleData& r = row;
        const TDateTime day = static_cast<TDateTime>(static_cast<long long>(r.Time));
        if (day != cachedDay) {
            cachedDay = day;
            cachedDate = DateToStr(r.Time, Formats);
        }
        std::string line = csvField(cachedDate + " " + TimeToStr(r.Time, Formats));
        if (r.ScheduleNumber == -1) {
            line += separators;
            line += csvField(r.Comment);
        } else {
            line += "," + std::to_string(r.ScheduleNumber) + ",";
            if (r.ScheduleNumber == 7)
                line += "Data Variation";
            else if (r.ScheduleNumber >= 0 && r.ScheduleNumber < ScheduleRecordCount)
                line += names[r.ScheduleNumber];
            line += ",";
            for (int c : columns) {
                if (r.Values[c] != NoValue)
                    line += csvField(valueText(static_cast<uint16_t>(c), r.Values[c]));
                line += ",";
            }
        }
        if (line.size() > 5)
            GraphLines->add(line);
    }
    saveLines(csvFile);
    return true;
}
