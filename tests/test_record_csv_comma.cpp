// Under a locale whose decimal separator is the comma, the CSV table keeps
// one cell per value (the graph file writes the locale's separator as it is).
#include "RecordExportFixture.h"

#include <cstdlib>

using namespace exportfixture;
namespace record = standin::record;

namespace {

const bool LocalePinned = (setenv("LC_ALL", "de_DE.UTF-8", 1), true);

const Timestamp T0{24, 6, 26, 14, 30, 5};

// Cells of one CSV line, quotes removed.
std::vector<std::string> cells(const std::string& line)
{
    std::vector<std::string> out(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"')
                out.back() += line[++i];
            else if (c == '"')
                quoted = false;
            else
                out.back() += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    return out;
}

class CommaLocale : public ExportTest {};

} // namespace

TEST_F(CommaLocale, CsvValuesStayInTheirColumns)
{
    ASSERT_TRUE(LocalePinned);
    ASSERT_EQ(TFormatSettings::System().DecimalSeparator, ',');
    const auto lines = csv(join({
        frame(record::ScheduleData, T0, record::scheduleData(1, {1, 2, 3}, {0.5f, -21.25f, 1500.0f})),
        frame(record::DataVariation, T0, record::dataVariation(2, 3.5f)),
        frame(record::Comment, T0, record::comment("VJS_____note")),
    }));
    const std::vector<std::string> expected = {
        "Date/Time, Schedule No, Schedule Name,Level,Temp,Cond,Comments,",
        ",,,Metres,Celsius,uS/cm,",
        "26.06.2024 14:30:05,1,Hourly,\"0,500\",\"-21,25\",1500,",
        "26.06.2024 14:30:05,7,Data Variation,,\"3,50\",,",
        "26.06.2024 14:30:05,,,,,,Visit: VJS_____   note",
    };
    EXPECT_EQ(lines, expected);
    // Every row has the cells of the units line: one per column before
    // "Comments", then the comment (or nothing).
    for (size_t i = 2; i < lines.size(); ++i)
        EXPECT_EQ(cells(lines[i]).size(), cells(lines[1]).size()) << lines[i];
    EXPECT_EQ(cells(lines[2])[3], "0,500");
}

TEST_F(CommaLocale, GraphFileWritesTheLocaleSeparator)
{
    const auto lines = graph(frame(record::ScheduleData, T0, record::scheduleData(1, {1}, {7.25f})));
    EXPECT_EQ(lines.back(), "D1 +7,250");
}
