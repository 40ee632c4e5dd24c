// The graph file: header, banner, faulty-record lines and the lines of every
// record type, against lines written out by hand. Runs under a pinned
// locale with a decimal point.
#include "RecordExportFixture.h"
#include "TestSupport.h"

#include <QDir>
#include <QTimer>

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

using namespace exportfixture;
namespace record = standin::record;

namespace {

const bool LocalePinned = (setenv("LC_ALL", "en_GB.UTF-8", 1), true);

const Timestamp T0{24, 6, 26, 14, 30, 5};
const char* const S0 = "20240626143005";

// The banner; `a` and `b` are the lines of the comment's initials and text,
// each after "# ".
std::vector<std::string> banner(const std::string& stampLine, const std::vector<std::string>& a,
                                const std::vector<std::string>& b, bool scheduleList)
{
    std::vector<std::string> out = {
        "L 2.S000 ________ SNDELOG_____ Riverside___________ SN1042______________",
        stampLine,
        "",
        "C1",
        "C2",
        "C3",
        "C5",
        "C12",
        "C98",
        "C99",
    };
    for (const std::vector<std::string>* lines : {&a, &b})
        for (const std::string& line : *lines)
            out.push_back("# " + line);
    for (const char* line : {
        "#",
        "#N1__ Level_________ Metres______",
        "#N2__ Temp__________ Celsius_____",
        "#N3__ Cond__________ uS/cm_______",
        "#N5__ pH____________ pH__________",
        "#N12_ Turbidity_____ NTU_________",
        "#N98_ Rain Event____ Tip_________",
        "#N99_ ______________ ____________",
        "#",
        "#Enabled Schedules"})
        out.push_back(line);
    if (scheduleList)
        for (int s = 0; s <= 9; ++s)
            out.push_back("#Schedule " + std::to_string(s));
    out.push_back("#");
    return out;
}

std::vector<std::string> banner(const std::string& stampLine, const std::string& a, const std::string& b,
                                bool scheduleList)
{
    return banner(stampLine, std::vector<std::string>{a}, std::vector<std::string>{b}, scheduleList);
}

// Precisions: channel 1 3, channels 2 and 5 2, channel 12 1, the rest 0.
const std::vector<std::string> Header = {
    "# HALVORINE", "", "# HALVORINE", "# 0 3 2 0 0 2 0 0 0 0 0 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0"};

// The lines after the header and the first banner.
std::vector<std::string> recordLines(const std::vector<std::string>& lines)
{
    const size_t skip = Header.size() + banner("", "", "", true).size();
    if (lines.size() < skip)
        return {};
    return std::vector<std::string>(lines.begin() + static_cast<long>(skip), lines.end());
}

std::vector<std::string> repeat(const std::vector<std::string>& lines, int times)
{
    std::vector<std::string> out;
    for (int i = 0; i < times; ++i)
        out.insert(out.end(), lines.begin(), lines.end());
    return out;
}

class GraphFile : public ExportTest {};

} // namespace

TEST_F(GraphFile, HeaderAndBannerOfTheFirstFrame)
{
    ASSERT_TRUE(LocalePinned);
    const auto lines = graph(frame(record::Null, T0, {}));
    std::vector<std::string> expected = Header;
    expected[1] = std::string("# 20070405145332") + S0;
    const auto b = banner(std::string("# ") + S0, "________", "Start of file", true);
    expected.insert(expected.end(), b.begin(), b.end());
    expected.push_back(std::string("NU,") + S0);
    EXPECT_EQ(lines, expected);
}

TEST_F(GraphFile, RecordLinesOfEveryType)
{
    std::array<uint8_t, 13> tips{};
    tips[0] = 0x80;
    tips[12] = 0x01;
    const Timestamp rainBase{24, 6, 26, 23, 59, 0};
    std::array<uint8_t, 13> oneTip{};
    oneTip[0] = 0x40;
    const std::string C = std::string("#C") + S0;
    const std::string T = "T20001111111111";
    const std::string A = "A20001111111111";
    struct Case {
        const char* name;
        uint8_t type;
        Bytes payload;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"null", record::Null, {}, {std::string("NU,") + S0}},
        {"schedule data", record::ScheduleData, record::scheduleData(1, {1, 2, 5}, {7.25f, 0.0f, -0.5f}),
         {C, "#Schedule 1", T, "D1 +7.250", T, "D2 +0.00", T, "D5 -0.50"}},
        {"schedule data, no channels", record::ScheduleData, record::scheduleData(2, {}, {}), {C, "#Schedule 2"}},
        {"schedule data, two value sets: the first set only", record::ScheduleData,
         record::scheduleData(2, {3, 12}, {1234.4f, 0.04f, 9, 9}, 2), {C, "#Schedule 2", T, "D3 +1234", T, "D12 +0.0"}},
        {"start of logging", record::StartOfLogging, record::startOfLogging(0x012345), {",74565"}},
        {"stop comment", record::Comment, record::comment("EJS_____Pulled out"),
         {std::string("S ") + S0, "# EJS_____", "# Pulled out"}},
        {"visit comment", record::Comment, record::comment("VJS_____Sampled at bridge"),
         {std::string("V ") + S0, "# VJS_____", "# Sampled at bridge"}},
        {"visit comment without text", record::Comment, record::comment("VAB"),
         {std::string("V ") + S0, "# VAB", "# "}},
        {"comment of another kind", record::Comment, record::comment("XJS_____Odd note"),
         {std::string("V ") + S0, "# ????????", "# XJS_____Odd note"}},
        {"comment text ends at a NUL", record::Comment, record::comment(std::string("VJS_____ab\0cd", 13)),
         {std::string("V ") + S0, "# VJS_____", "# ab"}},
        // Every line of a comment keeps the prefix, whatever ends it.
        {"comment of several lines", record::Comment, record::comment("VJS_____Weir cleaned\r\nGauge read\r\n"),
         {std::string("V ") + S0, "# VJS_____", "# Weir cleaned", "# Gauge read", "# "}},
        {"lines ended by LF or CR alone", record::Comment, record::comment("EJS_____a\nb\rc\n\r\nd"),
         {std::string("S ") + S0, "# EJS_____", "# a", "# b", "# c", "# ", "# d"}},
        {"line break among the initials", record::Comment, record::comment("VA\r\nB___x"),
         {std::string("V ") + S0, "# VA", "# B___", "# x"}},
        {"comment of another kind, two lines", record::Comment, record::comment("X\r\nnote"),
         {std::string("V ") + S0, "# ????????", "# X", "# note"}},
        {"trigger", record::TriggerEvent, record::triggerEvent(3, {2}, {21.5f}),
         {C, "#Schedule 8 ", T, "D2 +21.50"}},
        {"sampler", record::SamplerEvent, record::samplerEvent(2, 3.14159f),
         repeat({C, "#Schedule 9", T, "D2 +3.14"}, 2)},
        {"sampler, no value", record::SamplerEvent, record::samplerEvent(1, record::NoValue),
         {C, "#Schedule 9", T, "D99 -10000000000"}},
        {"sampler, 30 repeats", record::SamplerEvent, record::samplerEvent(30, 1.0f),
         repeat({C, "#Schedule 9", T, "D2 +1.00"}, 24)},
        {"sampler, no repeat", record::SamplerEvent, record::samplerEvent(0, 1.0f), {}},
        {"alarm", record::AlarmEvent, record::alarmEvent(4, {1, 12}, {-2.0f, 100.04f}),
         {C, "#Schedule 0 ", A, "D1 -2.000", A, "D12 +100.0"}},
        {"system log", record::SystemLog, record::systemLog(1),
         {std::string("V ") + S0, "# SYS/SYS", "#  HARDWARE_RESET"}},
        {"system log, last event", record::SystemLog, record::systemLog(26),
         {std::string("V ") + S0, "# SYS/SYS", "#  SOFTWARE_RESET"}},
        {"system log, unknown event", record::SystemLog, record::systemLog(27),
         {std::string("V ") + S0, "# SYS/SYS", "# "}},
        {"data variation, a half rounds up", record::DataVariation, record::dataVariation(3, 512.5f),
         {C, "#Schedule 7", T, "D3 +513"}},
        {"rain", record::RainEvent, record::rainEvent(1, 2, rainBase, tips),
         {"RT,20240626235900", "RT,20240627000043"}},
        {"rain, second tip", record::RainEvent, record::rainEvent(1, 1, rainBase, oneTip), {"RT,20240626235901"}},
        {"rain, flag off", record::RainEvent, record::rainEvent(0, 1, rainBase, tips), {}},
        {"rain, impossible base time", record::RainEvent, record::rainEvent(1, 1, Timestamp{24, 2, 30, 0, 0, 0}, tips),
         {"# ERROR RainEvents Record"}},
        {"rain missing", record::RainMissingEvent, record::rainMissingEvent(5), {std::string("RM,") + S0 + ",+5.0"}},
        {"rain missing, negative", record::RainMissingEvent, record::rainMissingEvent(-3),
         {std::string("RM,") + S0 + ",-3.0"}},
        {"unnamed", record::UnnamedCB, record::unnamedCB(1, 2), {}},
        {"sbox status", record::SboxStatus, record::sboxStatus({1, 0, 0xFF, 0x2A, 0, 0, 0, 0, 0, 0, 0, 3}),
         {std::string("V ") + S0, "# SBX/STA", "# 1 0 ff 2a 0 0 0 0 0 0 0 3"}},
        {"notify", record::Notify, record::notify("Battery low"),
         {std::string("V ") + S0, "# SYS/NTF", "# Battery low"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(recordLines(graph(frame(c.type, T0, c.payload))), c.lines);
    }
}

TEST_F(GraphFile, StartOfLoggingCommentRepeatsTheBannerWithoutSchedules)
{
    struct Case {
        const char* comment;
        std::vector<std::string> initials, text; // the banner's lines of them, after "# "
    };
    const Case cases[] = {
        {"SAB_____Deployed at weir", {"SAB_____"}, {"Deployed at weir"}},
        {"SAB_____Deployed\r\nat weir", {"SAB_____"}, {"Deployed", "at weir"}},
        {"SA\nB", {"SA", "B____"}, {""}},
    };
    const Timestamp t1{24, 6, 26, 15, 0, 0};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.comment);
        const auto lines =
            graph(join({frame(record::Null, T0, {}), frame(record::Comment, t1, record::comment(c.comment))}));
        std::vector<std::string> expected = {std::string("NU,") + S0};
        const auto b = banner("# 20240626150000", c.initials, c.text, false);
        expected.insert(expected.end(), b.begin(), b.end());
        EXPECT_EQ(recordLines(lines), expected);
        EXPECT_EQ(lines[1], "# 2007040514533220240626150000");
    }
}

TEST_F(GraphFile, StampLineHoldsTheLastRecordThatWroteLines)
{
    // Rain records do not count; a faulty frame neither.
    const Timestamp last{17, 6, 26, 14, 30, 5};
    std::array<uint8_t, 13> tips{};
    tips[0] = 0x80;
    const auto lines = graph(join({frame(record::Null, Timestamp{17, 6, 1, 0, 0, 0}, {}),
                                   frame(record::SystemLog, last, record::systemLog(6)),
                                   frame(record::RainEvent, Timestamp{17, 7, 1, 0, 0, 0},
                                         record::rainEvent(1, 1, Timestamp{17, 7, 1, 0, 0, 0}, tips)),
                                   record::frame(record::Null, Timestamp{17, 8, 1, 0, 0, 0}, {}, {}, true)}));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "# 2007040514533220170626143005");
}

TEST_F(GraphFile, DownloadWithoutFramesGivesTheHeaderAlone)
{
    std::vector<std::string> expected = Header;
    expected[1] = "# 2007040514533218991230000000";
    EXPECT_EQ(graph({}), expected);
    EXPECT_EQ(graph({0x01, 0x02, 0xFE, 0xC0, 0x00}), expected) << "noise and a piece of 5 bytes";
}

TEST_F(GraphFile, FaultyRecordLines)
{
    Bytes unknown = frame(0xCE, T0, {});
    Bytes tooLong = frame(record::Comment, T0, record::comment(std::string(248, 'x')));
    tooLong[11] = 251;
    // A start-of-logging record with six payload bytes on an impossible date.
    const Bytes badDate = frame(record::StartOfLogging, Timestamp{24, 2, 30, 1, 2, 3}, {6, 0, 0x1A, 0x2B, 0x3C, 0x4D});
    ASSERT_EQ(badDate.size(), 19u);
    Bytes channels37 = record::scheduleData(1, std::vector<uint8_t>(37, 1), std::vector<float>(37, 1.0f));
    const Bytes noValues = {1, 0, 2, 1, 2}; // value-set count 0: two channels, no values
    struct Case {
        const char* name;
        Bytes raw;
        std::string payloadHex; // for frames that decoded; their raw length leads the line
        int16_t result;         // for frames that did not
    };
    const Case cases[] = {
        {"bad CRC", record::frame(record::SystemLog, T0, record::systemLog(1), {}, true), "", -2},
        {"unknown type", unknown, "", -3},
        {"payload over 250 bytes", tooLong, "", -4},
        {"impossible date", badDate, "06 00 1A 2B 3C 4D ", 0},
        {"channel 36", frame(record::DataVariation, T0, record::dataVariation(36, 1.0f)), "24 00 00 80 3F ", 0},
        {"value-set count 0", frame(record::ScheduleData, T0, noValues), "01 00 02 01 02 ", 0},
        {"start of logging without its number", frame(record::StartOfLogging, T0, {3, 0, 1}), "03 00 01 ", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto lines = recordLines(graph(join({frame(record::Null, T0, {}), c.raw})));
        ASSERT_EQ(lines.size(), 2u);
        const std::string expected = c.payloadHex.empty()
            ? "*****  " + std::to_string(c.result) + "    *****"
            : "*****  " + std::to_string(c.raw.size()) + "  " + c.payloadHex + "  *****";
        EXPECT_EQ(lines[1], expected);
    }
    // More than 36 channels: listed with its payload, not read.
    const auto lines = recordLines(graph(join({frame(record::Null, T0, {}), frame(record::ScheduleData, T0, channels37)})));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].substr(0, 9), "*****  20") << "its raw length, about 201";
    EXPECT_NE(lines[1].find("  01 01 25 01 01 "), std::string::npos) << lines[1];
}

TEST_F(GraphFile, FirstFrameFaultyStillGetsTheBanner)
{
    const Bytes badDate = frame(record::SystemLog, Timestamp{24, 0, 1, 0, 0, 0}, record::systemLog(1));
    const auto lines = graph(badDate);
    const auto b = banner("invalid date ", "________", "Start of file", true);
    ASSERT_EQ(lines.size(), Header.size() + b.size() + 1);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.end() - 1), b);
    EXPECT_EQ(lines.back(), "*****  " + std::to_string(badDate.size()) + "  01   *****");
}

TEST_F(GraphFile, StreamCutInTheMiddleOfAFrame)
{
    const Bytes whole = frame(record::ScheduleData, T0, record::scheduleData(1, {1, 2}, {1, 2}));
    const auto lines = recordLines(
        graph(join({frame(record::Null, T0, {}), Bytes(whole.begin(), whole.begin() + 20)})));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].substr(0, 7), "*****  ");
    EXPECT_EQ(lines[1].substr(lines[1].size() - 7), "  *****");
}

TEST_F(GraphFile, EscapedBytesInEveryFieldGiveTheSameLines)
{
    // A value whose float bytes hold FE and FD, header bytes FE FD FE; the
    // CRC of some of the times below needs escaping too.
    float value = 0;
    const uint8_t bytes[4] = {0xFE, 0xFD, 0x00, 0x40}; // about 2.0
    std::memcpy(&value, bytes, 4);
    const std::string item = "D2 +" + FloatToStrF(value, ffFixed, 10, 2, TFormatSettings::System());
    int crcEscaped = 0;
    for (uint8_t s = 0; s < 60; ++s) {
        const Timestamp t{24, 6, 26, 14, 30, s};
        const Bytes raw = record::frame(record::ScheduleData, t, record::scheduleData(1, {2}, {value}), {0xFE, 0xFD, 0xFE});
        const size_t plain = 8 + 3 + 3 + 1 + 4 + 2;
        if (raw.size() > plain + 5)
            ++crcEscaped;
        const auto lines = recordLines(graph(raw));
        ASSERT_EQ(lines.size(), 4u) << int(s);
        EXPECT_EQ(lines[3], item);
    }
    EXPECT_GT(crcEscaped, 0);
}

TEST_F(GraphFile, BannerTakesNoMoreThanEachFieldHolds)
{
    // Sensor name of 25 characters: cut to 20. A sensor ID and a channel name
    // that fill their fields without a NUL end at the field's end.
    setText(images.cal.SensorName, sizeof images.cal.SensorName, "Downstream Weir Sonde 12");
    std::memset(images.cal.SensorID, 'I', sizeof images.cal.SensorID);
    images.cal.CompensationCount = 'X';
    std::memset(images.cal.Channels[1].Name, 'N', sizeof images.cal.Channels[1].Name);
    images.cal.Channels[1].UnitsCode = 'Y';
    std::memset(images.cal.Channels[1].UnitsText, 'U', sizeof images.cal.Channels[1].UnitsText);
    images.cal.Channels[1].SourceChannel = 'Z';
    const auto lines = graph(frame(record::Null, T0, {}));
    ASSERT_GT(lines.size(), 17u);
    EXPECT_EQ(lines[4], "L 2.S000 ________ SNDELOG_____ Downstream Weir Sond IIIIIIIIIIIIIIII____");
    EXPECT_EQ(lines[17], "#N1__ NNNNNNNNNNNN__ UUUUUUUUUUUU");
}

TEST_F(GraphFile, ChannelNumbersAboveNineTakeOneUnderscore)
{
    for (const Channel& c : channels())
        images.cal.Channels[c.number].Enabled = 0;
    for (uint8_t n : std::initializer_list<uint8_t>{0, 1, 12})
        images.cal.Channels[n].Enabled = 1;
    const auto lines = graph(frame(record::Null, T0, {}));
    ASSERT_GT(lines.size(), 17u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 7, lines.begin() + 12),
              (std::vector<std::string>{"C0", "C1", "C12", "C98", "C99"}));
    EXPECT_EQ(lines[15].substr(0, 6), "#N0__ ");
    EXPECT_EQ(lines[16].substr(0, 6), "#N1__ ");
    EXPECT_EQ(lines[17].substr(0, 6), "#N12_ ");
}

TEST_F(GraphFile, HourTwentyFourIsWrittenAsMidnightOfTheNextDay)
{
    const auto lines = graph(frame(record::SystemLog, Timestamp{24, 2, 29, 24, 0, 7}, record::systemLog(1)));
    const auto recs = recordLines(lines);
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(recs[0], "V 20240301000007");
    EXPECT_EQ(lines[1], "# 2007040514533220240301000007");
}

TEST_F(GraphFile, DownloadFileThatCannotBeOpenedWritesNothing)
{
    // A folder is no download file: neither writer reports success for it.
    QDir(dir.path()).mkdir("folder.bin");
    for (const char* name : {"missing.bin", "folder.bin"}) {
        SCOPED_TRACE(name);
        TSondeRecordCmd cmd(nullptr);
        EXPECT_FALSE(cmd.CreateTessaloomFile(path(name), path("out.dat"), nullptr, nullptr, false));
        EXPECT_FALSE(cmd.CreateCSVFile(path(name), path("out.csv"), nullptr, nullptr, false));
        EXPECT_FALSE(QFile::exists(QString::fromStdString(path("out.dat"))));
        EXPECT_FALSE(QFile::exists(QString::fromStdString(path("out.csv"))));
    }
}

namespace {

// Collects what is written into a FIFO. It holds the FIFO open for reading
// and writing, so that a writer neither blocks on opening it nor sees it
// closed, and reads until told to stop and nothing more is waiting.
class FifoReader {
public:
    explicit FifoReader(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NONBLOCK))
    {
        thread_ = std::thread([this] { run(); });
    }
    ~FifoReader()
    {
        if (thread_.joinable())
            finish();
    }
    std::string finish()
    {
        stop_ = true;
        thread_.join();
        return text_;
    }
    bool opened() const { return fd_ >= 0; }

private:
    void run()
    {
        char buffer[65536];
        while (fd_ >= 0) {
            const bool stopping = stop_;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                const ssize_t n = ::read(fd_, buffer, sizeof buffer);
                if (n > 0) {
                    text_.append(buffer, static_cast<size_t>(n));
                    continue;
                }
            }
            if (stopping)
                break;
        }
        if (fd_ >= 0)
            ::close(fd_);
    }
    int fd_;
    std::atomic<bool> stop_{false};
    std::string text_;
    std::thread thread_;
};

std::string fileText(const std::string& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

TEST_F(GraphFile, TargetsThatAreNotRegularFilesAreWrittenInto)
{
    // A FIFO or a device node at the target's path stays what it is and
    // gets the file's text; it is never replaced by a regular file.
    Bytes stream;
    for (uint8_t s = 0; s < 200; ++s)
        stream = join({stream, frame(record::ScheduleData, Timestamp{24, 6, 26, 14, 30, uint8_t(s % 60)},
                                     record::scheduleData(1, {1, 2, 3}, {1.5f, 2.25f, float(s)}))});
    const std::string in = writeDownload(stream);
    struct Case {
        const char* name;
        bool (TSondeRecordCmd::*write)(const std::string&, const std::string&, CalibrationData*,
                                       ConfigurationData*, bool);
    };
    const Case writers[] = {{"graph", &TSondeRecordCmd::CreateTessaloomFile},
                            {"csv", &TSondeRecordCmd::CreateCSVFile}};
    for (const Case& w : writers) {
        SCOPED_TRACE(w.name);
        TSondeRecordCmd reference(nullptr);
        ASSERT_TRUE((reference.*w.write)(in, path("regular.txt"), nullptr, nullptr, false));
        const std::string expected = fileText(path("regular.txt"));

        const std::string fifo = path("fifo.txt");
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        {
            FifoReader reader(fifo);
            ASSERT_TRUE(reader.opened());
            TSondeRecordCmd cmd(nullptr);
            EXPECT_TRUE((cmd.*w.write)(in, fifo, nullptr, nullptr, false));
            const std::string got = reader.finish();
            EXPECT_TRUE(got == expected) << got.size() << " bytes of " << expected.size() << " arrived";
        }
        struct stat info {};
        ASSERT_EQ(::stat(fifo.c_str(), &info), 0);
        EXPECT_TRUE(S_ISFIFO(info.st_mode)) << "the FIFO was replaced";
        ::unlink(fifo.c_str());

        // A null device of our own (only where device nodes can be made).
        const std::string device = path("null.txt");
        if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
            TSondeRecordCmd cmd(nullptr);
            EXPECT_TRUE((cmd.*w.write)(in, device, nullptr, nullptr, false));
            ASSERT_EQ(::stat(device.c_str(), &info), 0);
            EXPECT_TRUE(S_ISCHR(info.st_mode)) << "the device node was replaced";
            ::unlink(device.c_str());
        }
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2)
        << "no leftovers beside the targets";
}

TEST_F(GraphFile, UnwritableGraphFileRaisesAndKeepsTheOldOne)
{
    const std::string in = writeDownload(frame(record::Null, T0, {}));
    TSondeRecordCmd cmd(nullptr);
    EXPECT_THROW(cmd.CreateTessaloomFile(in, path("no/such/folder/out.dat"), nullptr, nullptr, false),
                 std::runtime_error);
    EXPECT_EQ(cmd.GraphLines, nullptr);
}

TEST_F(GraphFile, FullDiskRaisesAndKeepsTheOldFileOfBothWriters)
{
    Bytes stream;
    for (int i = 0; i < 200; ++i) {
        const Bytes f = frame(record::ScheduleData, T0, record::scheduleData(1, {1, 2, 3}, {1.5f, 2.25f, 300}));
        stream.insert(stream.end(), f.begin(), f.end());
    }
    const std::string in = writeDownload(stream);
    struct Case {
        const char* file;
        bool (TSondeRecordCmd::*write)(const std::string&, const std::string&, CalibrationData*,
                                       ConfigurationData*, bool);
    };
    const Case cases[] = {{"old.dat", &TSondeRecordCmd::CreateTessaloomFile},
                          {"old.csv", &TSondeRecordCmd::CreateCSVFile}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string out = writeBytes({'o', 'l', 'd'}, c.file);
        TSondeRecordCmd cmd(nullptr);
        {
            const testsupport::FileSizeLimit full(2000);
            try {
                (cmd.*c.write)(in, out, nullptr, nullptr, false);
                ADD_FAILURE() << "no exception";
            } catch (const std::runtime_error& e) {
                EXPECT_NE(std::string(e.what()).find("File too large"), std::string::npos) << e.what();
            }
        }
        std::ifstream old(out, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), std::istreambuf_iterator<char>()), "old");
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2) << "no leftovers";
        QFile::remove(QString::fromStdString(out));
    }
}

TEST_F(GraphFile, TruncatedAndShortFilesConvertWithoutFault)
{
    const Bytes full = standin::downloadFile(images.cal, images.conf,
                                             join({frame(record::Null, T0, {}),
                                                   frame(record::ScheduleData, T0, record::scheduleData(1, {1}, {1}))}));
    for (size_t size : {size_t(0), size_t(50), size_t(3607), size_t(6000), size_t(6460), full.size() - 3}) {
        SCOPED_TRACE(size);
        const std::string in = writeBytes(Bytes(full.begin(), full.begin() + static_cast<long>(size)), "short.bin");
        TSondeRecordCmd cmd(nullptr);
        EXPECT_TRUE(cmd.CreateTessaloomFile(in, path("short.dat"), nullptr, nullptr, false));
        EXPECT_TRUE(cmd.CreateCSVFile(in, path("short.csv"), nullptr, nullptr, false));
        EXPECT_GE(readLines(path("short.dat")).size(), 4u);
        EXPECT_EQ(cmd.FileSize, static_cast<int32_t>(size));
    }
}

TEST_F(GraphFile, ConversionLetsTimersRunAndReportsProgress)
{
    // A timer of the window keeps firing while a long file converts, and sees
    // the read position move through the file. The file is long enough for
    // several pumps (at most every 20 ms) however fast the conversion.
    standin::RecordGenerator gen(T0);
    standin::LoggerState state;
    state.schedules = {{1, {1, 2, 3}, 60}};
    gen.run(state, 6u << 20);
    const std::string in = writeDownload(gen.stream());
    TSondeRecordCmd cmd(nullptr);
    int ticks = 0;
    bool midway = false;
    QTimer timer;
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        midway = midway || (cmd.BytesRead > DownloadHeaderSize && cmd.BytesRead < cmd.FileSize);
    });
    timer.start();
    ASSERT_TRUE(cmd.CreateTessaloomFile(in, path("big.dat"), nullptr, nullptr, false));
    ASSERT_TRUE(cmd.CreateCSVFile(in, path("big.csv"), nullptr, nullptr, false));
    timer.stop();
    EXPECT_GT(ticks, 0);
    EXPECT_TRUE(midway);
    EXPECT_EQ(cmd.BytesRead, cmd.FileSize);
}
