// The CSV table: header, columns, rows of every record type that makes one,
// empty cells, quoting, and re-conversion after an appending download. Runs
// under a pinned locale with a decimal point (the comma-decimal case is in
// test_record_csv_comma.cpp).
#include "RecordExportFixture.h"

#include <QFile>

#include <cstdlib>

using namespace exportfixture;
namespace record = standin::record;

namespace {

const bool LocalePinned = (setenv("LC_ALL", "en_GB.UTF-8", 1), true);

const Timestamp T0{24, 6, 26, 14, 30, 5};
const std::string D0 = "26/06/2024 14:30:05";

class CsvFile : public ExportTest {};

} // namespace

TEST_F(CsvFile, OnlyTextRowsGiveTheBareHeader)
{
    ASSERT_TRUE(LocalePinned);
    const auto lines = csv(join({frame(record::Comment, T0, record::comment("VJS_____Sampled at bridge")),
                                 frame(record::SystemLog, T0, record::systemLog(9)),
                                 frame(record::SystemLog, T0, record::systemLog(40)),
                                 frame(record::Comment, T0, record::comment("XJS_____not a kind")),
                                 frame(record::Comment, T0, record::comment("SAB_____Deployed")),
                                 frame(record::Comment, T0, record::comment("EAB_____")),
                                 frame(record::Null, T0, {})}));
    const std::vector<std::string> expected = {
        "Date/Time, Schedule No, Schedule Name,Comments,",
        ",,,",
        D0 + ",,,Visit: VJS_____   Sampled at bridge",
        D0 + ",,,SYS - MEMORY_FULL",
        D0 + ",,,Start Logging: SAB_____   Deployed",
        D0 + ",,,Stop Logging: EAB_____   ",
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(CsvFile, ValueColumnsAreTheChannelsOfAllScheduleRecords)
{
    const Timestamp t1{24, 6, 26, 15, 0, 0};
    const auto lines = csv(join({
        frame(record::ScheduleData, T0, record::scheduleData(1, {2, 1}, {21.456f, 0.5f})),
        frame(record::ScheduleData, t1, record::scheduleData(2, {2, 5}, {-0.004f, 7.0f})),
        frame(record::DataVariation, t1, record::dataVariation(12, 3.25f)), // channel 12 has no column
        frame(record::DataVariation, t1, record::dataVariation(5, 7.125f)),
        frame(record::ScheduleData, t1, record::scheduleData(6, {1}, {record::NoValue})),
        frame(record::ScheduleData, t1, record::scheduleData(9, {5}, {1.0f})), // no such schedule record
        frame(record::TriggerEvent, t1, record::triggerEvent(3, {3}, {1.0f})), // no row, no column
        frame(record::AlarmEvent, t1, record::alarmEvent(3, {3}, {1.0f})),
        frame(record::SamplerEvent, t1, record::samplerEvent(1, 1.0f)),
    }));
    const std::string D1 = "26/06/2024 15:00:00";
    const std::vector<std::string> expected = {
        "Date/Time, Schedule No, Schedule Name,Level,Temp,pH,Comments,",
        ",,,Metres,Celsius,pH,",
        D0 + ",1,Hourly,0.500,21.46,,",
        D1 + ",2,Fast,,0.00,7.00,",
        D1 + ",7,Data Variation,,,,",
        D1 + ",7,Data Variation,,,7.13,",
        D1 + ",6,,,,,",
        D1 + ",9,,,,1.00,",
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(CsvFile, FaultyFramesMakeNoRow)
{
    Bytes cut = frame(record::ScheduleData, T0, record::scheduleData(1, {1}, {2.0f}));
    cut.resize(cut.size() - 3);
    const auto lines = csv(join({
        record::frame(record::ScheduleData, T0, record::scheduleData(1, {2}, {1.0f}), {}, true),
        frame(record::ScheduleData, Timestamp{24, 2, 30, 0, 0, 0}, record::scheduleData(1, {3}, {1.0f})),
        frame(record::ScheduleData, T0, record::scheduleData(1, {40}, {1.0f})),
        frame(0xCF, T0, {}),
        frame(record::SystemLog, T0, record::systemLog(1)),
        cut,
    }));
    const std::vector<std::string> expected = {
        "Date/Time, Schedule No, Schedule Name,Comments,",
        ",,,",
        D0 + ",,,SYS - HARDWARE_RESET",
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(CsvFile, FieldsWithCommasOrQuotesAreQuoted)
{
    setText(images.cal.Channels[1].Name, sizeof images.cal.Channels[1].Name, "Level, raw");
    setText(images.conf.Schedules[1].Name, sizeof images.conf.Schedules[1].Name, "Hourly \"A\"");
    const auto lines = csv(join({
        frame(record::ScheduleData, T0, record::scheduleData(1, {1}, {1.0f})),
        frame(record::Comment, T0, record::comment("VJS_____Cloudy, windy\r\nlow flow")),
    }));
    const std::vector<std::string> expected = {
        "Date/Time, Schedule No, Schedule Name,\"Level, raw\",Comments,",
        ",,,Metres,",
        D0 + ",1,\"Hourly \"\"A\"\"\",1.000,",
        D0 + ",,,,\"Visit: VJS_____   Cloudy, windy",
        "low flow\"",
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(CsvFile, LongestCommentIsKeptWhole)
{
    const std::string text = "S" + std::string(7, 'I') + std::string(240, 'c');
    const auto lines = csv(frame(record::Comment, T0, record::comment(text)));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], D0 + ",,,Start Logging: SIIIIIII   " + std::string(240, 'c'));
}

TEST_F(CsvFile, ReconversionAfterAnAppendingDownloadCoversTheWholeFile)
{
    // The flag makes no difference: the CSV file is written anew from the
    // whole download file every time.
    const Bytes first = frame(record::ScheduleData, T0, record::scheduleData(1, {1}, {1.0f}));
    const Bytes second = frame(record::ScheduleData, Timestamp{24, 6, 26, 15, 30, 5}, record::scheduleData(1, {1}, {2.0f}));
    const std::string in = writeDownload(first);
    TSondeRecordCmd cmd(nullptr);
    ASSERT_TRUE(cmd.CreateCSVFile(in, path("data.csv"), nullptr, nullptr, false));
    writeDownload(join({first, second}));
    TSondeRecordCmd again(nullptr);
    ASSERT_TRUE(again.CreateCSVFile(in, path("data.csv"), nullptr, nullptr, true));
    const std::vector<std::string> expected = {
        "Date/Time, Schedule No, Schedule Name,Level,Comments,",
        ",,,Metres,",
        D0 + ",1,Hourly,1.000,",
        "26/06/2024 15:30:05,1,Hourly,2.000,",
    };
    EXPECT_EQ(readLines(path("data.csv")), expected);
}

TEST_F(CsvFile, ColumnsFollowTheFileAsItIsWhenTheCsvIsWritten)
{
    // The graph file's pass finds the columns for the CSV file of the same
    // file; a file changed in between is looked at again.
    const Bytes first = frame(record::ScheduleData, T0, record::scheduleData(1, {1}, {1.0f}));
    const Bytes second = frame(record::ScheduleData, T0, record::scheduleData(2, {5}, {2.0f}));
    const std::string in = writeDownload(first);
    TSondeRecordCmd cmd(nullptr);
    ASSERT_TRUE(cmd.CreateTessaloomFile(in, path("data.dat"), nullptr, nullptr, false));
    writeDownload(join({first, second}));
    ASSERT_TRUE(cmd.CreateCSVFile(in, path("data.csv"), nullptr, nullptr, false));
    const auto lines = readLines(path("data.csv"));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "Date/Time, Schedule No, Schedule Name,Level,pH,Comments,");
}

TEST_F(CsvFile, GraphThenCsvOnOneObject)
{
    const std::string in = writeDownload(frame(record::ScheduleData, T0, record::scheduleData(1, {2}, {1.5f})));
    TSondeRecordCmd cmd(nullptr);
    ASSERT_TRUE(cmd.CreateTessaloomFile(in, path("data.dat"), nullptr, nullptr, false));
    ASSERT_TRUE(cmd.CreateCSVFile(in, path("data.csv"), nullptr, nullptr, false));
    EXPECT_EQ(readLines(path("data.csv")).back(), D0 + ",1,Hourly,1.50,");
    EXPECT_EQ(cmd.RecordCount, 1);
    EXPECT_EQ(cmd.GraphLines, nullptr);
}
