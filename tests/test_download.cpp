// The logger download end to end through a pseudo-terminal: the download file
// (header of both images, then the record stream), downloads into existing
// files, the refusal of another sensor's file, the "New data" cut, Cancel, a
// sensor that stops answering, fault injection, and the conversion into the
// graph file and the CSV file.
#include "Dialogs.h"
#include "DlProgress.h"
#include "FileTransfer.h"
#include "HvSensor_Quarn.h"
#include "ImageBuilder.h"
#include "Logger.h"
#include "RecordGenerator.h"
#include "SensorFixture.h"
#include "SysUtils.h"
#include "sonderecordcmd.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

using standin::Bytes;
namespace record = standin::record;

namespace {

// Dates and numbers of the CSV file in a fixed form.
const bool LocalePinned = (setenv("LC_ALL", "en_GB.UTF-8", 1), true);

constexpr size_t Header = sizeof(CalibrationData) + sizeof(ConfigurationData);

Bytes readFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& name, const Bytes& bytes)
{
    std::ofstream(name, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> readLines(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

Bytes slice(const Bytes& bytes, size_t from, size_t to)
{
    return Bytes(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(to));
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::string stampText(const Timestamp& t)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", 2000 + t.Year, t.Month, t.Day, t.Hour, t.Minute,
                  t.Second);
    return buf;
}

std::string csvDate(const Timestamp& t)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", t.Day, t.Month, 2000 + t.Year, t.Hour, t.Minute,
                  t.Second);
    return buf;
}

class DownloadRun : public SensorFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(LocalePinned);
        SensorFixture::SetUp();
        device->CalData = standin::buildCalibration();
        device->ConfData = standin::buildConfiguration();
        // The header carries the images as held, CRC field included, even
        // one that no longer fits.
        device->CalData.CRC = 0x0000BEEF;
        // A burst that ends short is given up after this much quiet: short,
        // to keep the runs quick.
        device->Comms->QuietTimeMs = 300;
        Dialogs::setHook([this](const ShownMessage& m) {
            messages.push_back(m.text.toStdString());
            return int(mrOk);
        });
    }
    void TearDown() override
    {
        Dialogs::setHook(nullptr);
        SensorFixture::TearDown();
    }

    std::string path(const std::string& name) const { return dir.path().toStdString() + "/" + name; }

    // One schedule of schedule data every minute on five channels.
    standin::LoggerState minutely() const
    {
        standin::LoggerState state;
        state.schedules.push_back({1, {standin::channels::Temperature, standin::channels::Depth,
                                       standin::channels::Cond, standin::channels::PH, standin::channels::Turbidity},
                                   60});
        return state;
    }
    // Adds about `bytes` of records to the logger's memory, from `gapSeconds`
    // after its last record.
    void log(size_t bytes, int64_t gapSeconds = 60)
    {
        logger.update([&](standin::RecordGenerator& g) {
            g.advance(gapSeconds);
            g.run(minutely(), g.stream().size() + bytes);
        });
    }
    TDateTime timeOf(int64_t seconds) const
    {
        TDateTime t = 0;
        TSensor_Quarn::encodeTDateTime(standin::timestampOf(seconds), &t);
        return t;
    }
    // The whole logged range, as the main window would ask for it.
    enDownloadResult downloadAll(const std::string& file)
    {
        EXPECT_TRUE(device->GetDateTimeBounds());
        return device->RetrieveData(file, device->Status.FirstLoggedTime, device->Status.LastLoggedTime, true);
    }
    Bytes header() const
    {
        return standin::downloadFile(device->CalData, device->ConfData, {});
    }
    // The graph and CSV lines of a download file converted by a decoder of
    // its own, as the reference for what the device model wrote.
    std::pair<std::vector<std::string>, std::vector<std::string>> convertAside(const Bytes& downloadBytes)
    {
        const std::string in = path("aside.bin");
        writeFile(in, downloadBytes);
        TSondeRecordCmd cmd(nullptr);
        EXPECT_TRUE(cmd.CreateTessaloomFile(in, path("aside.dat"), nullptr, nullptr, false));
        EXPECT_TRUE(cmd.CreateCSVFile(in, path("aside.csv"), nullptr, nullptr, false));
        return {readLines(path("aside.dat")), readLines(path("aside.csv"))};
    }
    // Checks the converted files of `file` (graph `base`.dat, CSV `base`.csv):
    // what a decoder of its own makes of `expectedBytes`, and the records
    // themselves.
    void expectConverted(const std::string& base, const Bytes& expectedBytes, const Bytes& stream)
    {
        const auto graph = readLines(path(base + ".dat"));
        const auto csv = readLines(path(base + ".csv"));
        const auto aside = convertAside(expectedBytes);
        EXPECT_EQ(graph, aside.first);
        EXPECT_EQ(csv, aside.second);

        // The records of the stream, counted from the generator's index.
        std::vector<Timestamp> scheduleTimes;
        Timestamp last{};
        const size_t start = streamStart(stream);
        for (const auto& e : logger.index()) {
            if (e.offset < start || e.offset >= start + stream.size())
                continue;
            if (e.type == record::ScheduleData)
                scheduleTimes.push_back(standin::timestampOf(e.seconds));
            if (e.type != record::UnnamedCB)
                last = standin::timestampOf(e.seconds);
        }
        ASSERT_FALSE(scheduleTimes.empty());
        ASSERT_GE(graph.size(), 2u);
        EXPECT_EQ(graph[1].substr(graph[1].size() - 14), stampText(last)) << "the graph file names the last record";
        ASSERT_GE(csv.size(), 2u);
        EXPECT_EQ(csv[0], "Date/Time, Schedule No, Schedule Name,Temperature,Depth,Cond,pH,Turbidity,Comments,");
        std::vector<std::string> rows;
        for (const std::string& line : csv)
            if (line.find(",1,Hourly,") != std::string::npos)
                rows.push_back(line.substr(0, 19));
        ASSERT_EQ(rows.size(), scheduleTimes.size()) << "one row per schedule record";
        EXPECT_EQ(rows.front(), csvDate(scheduleTimes.front()));
        EXPECT_EQ(rows.back(), csvDate(scheduleTimes.back()));
    }
    // Offset in the logger's memory of the first byte of `stream`, a piece of it.
    size_t streamStart(const Bytes& piece) const
    {
        const Bytes all = logger.stream();
        const auto it = std::search(all.begin(), all.end(), piece.begin(), piece.end());
        return static_cast<size_t>(it - all.begin());
    }
    std::vector<uint8_t> commandsSent() const
    {
        std::vector<uint8_t> out;
        for (const auto& r : sensor.requests())
            if (r.frame.content == 0x80 && !r.frame.data.empty())
                out.push_back(r.frame.data[0]);
        return out;
    }

    standin::FileTransfer transfer{sensor};
    standin::Logger logger{sensor, transfer, model};
    QTemporaryDir dir;
    std::vector<std::string> messages;
};

TEST_F(DownloadRun, NewFileHoldsTheImagesAndThenExactlyTheStream)
{
    log(30000); // the multi-frame protocol
    const std::string file = path("Weir.bin");
    ASSERT_EQ(downloadAll(file), drComplete);

    const Bytes stream = logger.stream();
    const Bytes got = readFile(file);
    EXPECT_EQ(got.size(), Header + stream.size());
    EXPECT_TRUE(got == standin::downloadFile(device->CalData, device->ConfData, stream));
    EXPECT_EQ(got[3601], 0xEF) << "the CRC field as held";
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(device->ProgressForm, nullptr);
    EXPECT_EQ(device->DownloadTimer, nullptr);

    // The address-range command carried the logged range, after a null command.
    ASSERT_EQ(logger.requests().size(), 1u);
    const auto q = logger.requests()[0];
    const auto index = logger.index();
    EXPECT_EQ(stampText(q.from), stampText(standin::timestampOf(index.front().seconds)));
    EXPECT_EQ(stampText(q.to), stampText(standin::timestampOf(index.back().seconds)));
    EXPECT_EQ(device->DownloadStartAddress, int32_t(standin::Logger::BaseAddress));
    EXPECT_EQ(device->DownloadEndAddress, int32_t(standin::Logger::BaseAddress + stream.size()));
    const auto sent = commandsSent();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(std::vector<uint8_t>(sent.end() - 2, sent.end()), std::vector<uint8_t>({0, 2}));

    EXPECT_EQ(device->CreateTessaloomFile(file, path("Weir.dat"), false), 1);
    EXPECT_EQ(device->RecordCmd, nullptr);
    EXPECT_EQ(device->ConversionTimer, nullptr);
    expectConverted("Weir", got, stream);
}

TEST_F(DownloadRun, SmallStreamUsesTheSingleFrameProtocol)
{
    log(3000);
    const std::string file = path("Small.bin");
    ASSERT_EQ(downloadAll(file), drComplete);
    const Bytes stream = logger.stream();
    ASSERT_LT(stream.size(), 20000u);
    EXPECT_TRUE(readFile(file) == standin::downloadFile(device->CalData, device->ConfData, stream));
    bool singleFrame = false;
    for (const auto& r : sensor.requests())
        singleFrame |= r.frame.content == 0x8B;
    EXPECT_TRUE(singleFrame);
}

TEST_F(DownloadRun, StrayBytesAheadOfTheFramesOfASmallDownload)
{
    // A range between two dates, below the multi-frame size, at the line's
    // rate with a stray byte ahead of the answer to every new request: each
    // exchange is repeated once and the download is whole.
    log(12000);
    const auto index = logger.index();
    ASSERT_GT(index.size(), 40u);
    const TDateTime from = timeOf(index[index.size() / 4].seconds);
    const TDateTime to = timeOf(index[index.size() / 2].seconds);
    sensor.setLineRate(19200);
    sensor.setNoise({{0x00}, {}, true, {}});
    const std::string file = path("Between.bin");
    ASSERT_EQ(device->RetrieveData(file, from, to, true), drComplete);
    EXPECT_TRUE(messages.empty()) << messages.front();
    expectEveryExchangeRepeatedOnce();

    // The range command went out twice; the logger answered both alike.
    ASSERT_EQ(logger.requests().size(), 2u);
    const auto range = logger.requests()[1];
    EXPECT_EQ(logger.requests()[0].start, range.start);
    EXPECT_EQ(logger.requests()[0].end, range.end);
    const Bytes stream = logger.stream();
    const size_t first = range.start - standin::Logger::BaseAddress;
    const size_t end = range.end - standin::Logger::BaseAddress;
    ASSERT_LT(end - first, 20000u);
    ASSERT_GT(end - first, 1000u);
    EXPECT_TRUE(readFile(file) == standin::downloadFile(device->CalData, device->ConfData, slice(stream, first, end)));
}

TEST_F(DownloadRun, ExistingFileOfTheSameSensorGetsANewHeaderAndTheNewRecordsAppended)
{
    log(25000);
    const std::string file = path("Weir.bin");
    ASSERT_EQ(downloadAll(file), drComplete);
    const Bytes first = logger.stream();

    // The sensor logs on; its images change meanwhile.
    log(22000, 3600);
    device->ConfData.WipeMinutes = 45;
    SetImageText(device->CalData.Text48, "Moved to the lower weir");
    int64_t resume = 0;
    for (const auto& e : logger.index())
        if (e.offset == first.size())
            resume = e.seconds;
    ASSERT_NE(resume, 0);
    ASSERT_TRUE(device->GetDateTimeBounds());
    ASSERT_EQ(device->RetrieveData(file, timeOf(resume), device->Status.LastLoggedTime, true), drComplete);

    const Bytes all = logger.stream();
    EXPECT_TRUE(readFile(file) == standin::downloadFile(device->CalData, device->ConfData, all));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(device->CreateTessaloomFile(file, path("Weir.dat"), true), 1);
    expectConverted("Weir", readFile(file), all);
}

TEST_F(DownloadRun, AnotherSensorsFileIsLeftAlone)
{
    log(5000);
    struct Case {
        const char* name;
        size_t idByte; // byte of the file's sensor ID that differs
        size_t size;   // of the existing file
    };
    const Case cases[] = {
        {"first character", 102, Header + 500},
        {"after the terminating zero", 117, Header + 500},
        {"too short to hold an ID", 0, 117},
        {"empty", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes = standin::downloadFile(device->CalData, device->ConfData, Bytes(500, 0x5A));
        bytes.resize(c.size);
        if (c.idByte)
            bytes[c.idByte] ^= 0x01;
        const std::string file = path(std::string("other-") + std::to_string(c.size) + ".bin");
        writeFile(file, bytes);
        messages.clear();
        sensor.clearLog();
        EXPECT_EQ(downloadAll(file), drFailed);
        EXPECT_EQ(messages, std::vector<std::string>({"Currently connected Sensor ID does not match with selected file"}));
        EXPECT_TRUE(readFile(file) == bytes);
        EXPECT_TRUE(logger.requests().empty()) << "the logger is not asked for anything";
    }
}

TEST_F(DownloadRun, NewDataCutsTheLastRecordAndAppendsFromItsTime)
{
    log(24000);
    const std::string file = path("Weir.bin");
    ASSERT_EQ(downloadAll(file), drComplete);
    const Bytes first = logger.stream();
    const auto lastEntry = logger.index().back();

    TDateTime last = 0;
    ASSERT_TRUE(device->retrieveLastTimeRecord(file, &last, true));
    EXPECT_EQ(last, timeOf(lastEntry.seconds));
    EXPECT_EQ(device->RecordCmd, nullptr);
    EXPECT_EQ(device->ConversionTimer, nullptr);
    // The file ends before the last record.
    const Bytes cut = readFile(file);
    ASSERT_LE(cut.size(), Header + lastEntry.offset);
    EXPECT_TRUE(slice(cut, Header, cut.size()) == slice(first, 0, cut.size() - Header));

    log(21000);
    ASSERT_TRUE(device->GetDateTimeBounds());
    ASSERT_EQ(device->RetrieveData(file, last, device->Status.LastLoggedTime, true), drComplete);
    // Each record once: the cut one came again with the new ones.
    const Bytes all = logger.stream();
    EXPECT_TRUE(readFile(file) == standin::downloadFile(device->CalData, device->ConfData, all));
    EXPECT_EQ(device->CreateTessaloomFile(file, path("Weir.dat"), true), 1);
    expectConverted("Weir", readFile(file), all);
}

TEST_F(DownloadRun, CancelKeepsWhatArrivedAndSaysHowMuch)
{
    log(200000);
    sensor.setLineRate(200000); // 20 kB/s: the download would take ten seconds
    std::vector<QString> lines;
    QString caption;
    bool cancelShown = false;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        TDlProgForm* form = device->ProgressForm;
        if (!form)
            return;
        caption = form->windowTitle();
        cancelShown = form->isVisible() && form->CancelBtn->isVisible();
        if (lines.empty() || lines.back() != form->Label1->text())
            lines.push_back(form->Label1->text());
        if (device->Comms->BytesReceived > 30000 && !form->CancelRequested)
            QTest::mouseClick(form->CancelBtn, Qt::LeftButton);
    });
    watch.start();
    const std::string file = path("Weir.bin");
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(downloadAll(file), drPartial);
    watch.stop();
    EXPECT_LT(testsupport::secondsSince(t0), 5.0) << "Cancel ends the download";

    const Bytes stream = logger.stream();
    const Bytes got = readFile(file);
    ASSERT_GT(got.size(), Header + 30000);
    const size_t received = got.size() - Header;
    ASSERT_LT(received, stream.size());
    EXPECT_TRUE(got == standin::downloadFile(device->CalData, device->ConfData, slice(stream, 0, received)));
    const size_t expected = stream.size();
    EXPECT_EQ(messages, std::vector<std::string>({"FileSize= " + std::to_string(expected) + " Downloaded- " +
                                                  std::to_string(received) + " Diff - " +
                                                  std::to_string(expected - received) + "  " +
                                                  std::to_string(received * 100 / expected) + " %"}));

    EXPECT_EQ(caption, "Data Download");
    EXPECT_TRUE(cancelShown);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), "Download Progress 0 KB  0%  0Secs");
    const QRegularExpression progress("^Download Progress (\\d+) KB  (\\d+)%  (\\d+)Secs$");
    const auto m = progress.match(lines.back());
    ASSERT_TRUE(m.hasMatch()) << lines.back().toStdString();
    EXPECT_GE(m.captured(1).toInt(), 20);
    // The percentage belongs to the kilobytes shown.
    const long kb = m.captured(1).toLong();
    const long percent = m.captured(2).toLong();
    EXPECT_GE(percent, kb * 1000 * 100 / long(expected));
    EXPECT_LE(percent, (kb + 1) * 1000 * 100 / long(expected));
    EXPECT_EQ(device->ProgressForm, nullptr);
}

// An error in the middle of a download (here from the activity hook the
// windows set) goes on to the caller, and takes the progress window and its
// timer with it.
// Whether this process holds a file descriptor on `file`.
static bool isOpenHere(const std::string& file)
{
    const QString wanted = QFileInfo(QString::fromStdString(file)).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot))
        if (!wanted.isEmpty() && QFileInfo(fds.filePath(fd)).symLinkTarget() == wanted)
            return true;
    return false;
}

TEST_F(DownloadRun, ErrorMidDownloadLeavesNoProgressWindowOrTimer)
{
    struct Case {
        const char* protocol;
        size_t logged; // more records logged before the case
        int32_t after; // bytes received before the error
    };
    for (const Case c : {Case{"single-frame", 3000, 500}, Case{"multi-frame", 30000, 20000}}) {
        SCOPED_TRACE(c.protocol);
        log(c.logged);
        bool progressShown = false;
        device->OnRxEvent = [&](QObject*) {
            progressShown |= device->ProgressForm && device->ProgressForm->isVisible();
            if (device->Comms->BytesReceived > c.after)
                throw Exception("the line broke");
        };
        EXPECT_THROW(downloadAll(path("Broken.bin")), Exception);
        device->OnRxEvent = nullptr;
        EXPECT_TRUE(progressShown);
        EXPECT_FALSE(isOpenHere(path("Broken.bin"))) << "the download file is left open";
        EXPECT_EQ(device->ProgressForm, nullptr);
        EXPECT_EQ(device->DownloadTimer, nullptr);
        for (QWidget* w : QApplication::topLevelWidgets())
            EXPECT_FALSE(qobject_cast<TDlProgForm*>(w)) << "a progress window is left";
        // Let the rest of the stream pass before the next case.
        QTest::qWait(500);
        device->Comms->FlushInBuffer();
    }
}

TEST_F(DownloadRun, SensorThatStopsAnsweringLeavesAPartialDownload)
{
    struct Case {
        const char* name;
        bool hangUp;
    };
    for (const Case c : {Case{"goes silent", false}, Case{"unplugged", true}}) {
        SCOPED_TRACE(c.name);
        if (logger.stream().empty())
            log(120000);
        device->Comms->QuietTimeMs = 200;
        const size_t cutAt = 50000;
        if (c.hangUp)
            transfer.hangUpAfter(cutAt);
        QTimer watch;
        watch.setInterval(5);
        bool silenced = false;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            // From some way into the stream on, nothing more is answered.
            if (!c.hangUp && !silenced && device->Comms->BytesReceived > int32_t(cutAt)) {
                silenced = true;
                sensor.script(standin::Responses(200, standin::Response::silence()));
            }
        });
        watch.start();
        messages.clear();
        const std::string file = path(std::string("Weir-") + (c.hangUp ? "gone" : "silent") + ".bin");
        EXPECT_EQ(downloadAll(file), drPartial);
        watch.stop();
        sensor.clearScript();

        const Bytes stream = logger.stream();
        const Bytes got = readFile(file);
        ASSERT_GT(got.size(), Header);
        const size_t received = got.size() - Header;
        EXPECT_GE(received, c.hangUp ? cutAt / 2 : cutAt);
        ASSERT_LT(received, stream.size());
        EXPECT_TRUE(got == standin::downloadFile(device->CalData, device->ConfData, slice(stream, 0, received)));
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0], "FileSize= " + std::to_string(stream.size()) + " Downloaded- " +
                                   std::to_string(received) + " Diff - " + std::to_string(stream.size() - received) +
                                   "  " + std::to_string(received * 100 / stream.size()) + " %");
    }
}

// Several hundred kilobytes under every kind of fault the stand-in injects
// arrive byte-exact and convert to the same files as a clean download.
TEST_F(DownloadRun, FaultsDoNotChangeAByte)
{
    log(300000);
    const Bytes stream = logger.stream();
    device->Comms->QuietTimeMs = 150;
    using standin::Fault;
    transfer.setFaults({{Fault::Noise, Fault::DroppedByte, Fault::BadCrc, Fault::RepeatedBlock, Fault::CutShort,
                         Fault::WaitFrame, Fault::Silence},
                        15000,
                        7});
    const std::string file = path("Faulty.bin");
    ASSERT_EQ(downloadAll(file), drComplete);
    const auto stats = transfer.stats();
    EXPECT_GE(stats.totalFaults(), 10);
    const Bytes got = readFile(file);
    EXPECT_EQ(got.size(), Header + stream.size());
    EXPECT_TRUE(got == standin::downloadFile(device->CalData, device->ConfData, stream));

    transfer.clearFaults();
    const std::string clean = path("Clean.bin");
    ASSERT_EQ(downloadAll(clean), drComplete);
    std::vector<std::tuple<long, long, long>> progress;
    device->OnTessaloomEvent = [&](QObject* sender, long size, long read, long percent, long) {
        EXPECT_EQ(sender, device.get());
        progress.emplace_back(size, read, percent);
    };
    EXPECT_EQ(device->CreateTessaloomFile(file, path("Faulty.dat"), false), 1);
    EXPECT_EQ(device->CreateTessaloomFile(clean, path("Clean.dat"), false), 1);
    EXPECT_EQ(readLines(path("Faulty.dat")), readLines(path("Clean.dat")));
    EXPECT_EQ(readLines(path("Faulty.csv")), readLines(path("Clean.csv")));
    expectConverted("Faulty", got, stream);
    for (const auto& [size, read, percent] : progress) {
        EXPECT_EQ(size, long(got.size()));
        EXPECT_LE(read, size);
        EXPECT_EQ(percent, long(double(read) / double(size) * 100));
    }
}

TEST_F(DownloadRun, LoggerRefusingTheRangeFailsAfterTheHeader)
{
    log(5000);
    struct Case {
        const char* name;
        std::function<void()> arrange;
        uint16_t status;
    };
    const Case cases[] = {
        {"range refused", [&] { model->update([](standin::SensorState& s) { s.refuse[2] = 0x85; }); }, 0xFF85},
        {"null command refused", [&] { model->update([](standin::SensorState& s) { s.refuse[0] = 0x86; }); },
         0xFF86},
        {"reply without the addresses",
         [&] { sensor.script({standin::Response::byHandler(), standin::Response::reply(2, {0x00, 0x01})}); },
         lsUnexpectedReply},
        {"range ending before it starts",
         [&] { logger.answerNextRangeWith(standin::Logger::BaseAddress + 100, standin::Logger::BaseAddress); },
         lsUnexpectedReply},
        {"range larger than a download can count", [&] { logger.answerNextRangeWith(0x00000010, 0x90000000); },
         lsUnexpectedReply},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        model->update([](standin::SensorState& s) { s.refuse.clear(); });
        sensor.clearScript();
        c.arrange();
        const std::string file = path("refused" + std::to_string(n++) + ".bin");
        const Timestamp t0 = standin::timestampOf(logger.index().front().seconds);
        TDateTime from = 0;
        TSensor_Quarn::encodeTDateTime(t0, &from);
        sensor.clearLog();
        EXPECT_EQ(device->RetrieveData(file, from, from + 1, true), drFailed);
        EXPECT_EQ(device->LastStatus, c.status);
        EXPECT_TRUE(readFile(file) == header()) << "a fresh header, nothing more";
        for (const auto& r : sensor.requests())
            EXPECT_NE(r.frame.content, 0x8A) << "no transfer";
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(DownloadRun, SizesTheLoggerGetsWrong)
{
    log(40000);
    const uint32_t base = standin::Logger::BaseAddress;
    struct Case {
        const char* name;
        uint32_t size;      // reported
        size_t sent;        // by the transfer
        enDownloadResult result;
        const char* message;
    };
    const Case cases[] = {
        {"half", 25000, 12500, drPartial, "FileSize= 25000 Downloaded- 12500 Diff - 12500  50 %"},
        {"more than reported", 1000, 1500, drPartial, "FileSize= 1000 Downloaded- 1500 Diff - -500  150 %"},
        {"empty range", 0, 0, drFailed, nullptr},
        {"bytes for an empty range", 0, 300, drPartial, "FileSize= 0 Downloaded- 300 Diff - -300  0 %"},
        {"a third", 30000, 10000, drPartial, "FileSize= 30000 Downloaded- 10000 Diff - 20000  33 %"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        logger.answerNextRangeWith(base, base + c.size, c.sent);
        messages.clear();
        const std::string file = path("sizes" + std::to_string(n++) + ".bin");
        EXPECT_EQ(downloadAll(file), c.result);
        if (c.message)
            EXPECT_EQ(messages, std::vector<std::string>({c.message}));
        else
            EXPECT_TRUE(messages.empty());
        EXPECT_TRUE(readFile(file) == concat({header(), slice(logger.stream(), 0, c.sent)}));
    }
}

TEST_F(DownloadRun, RangeAcrossTheMiddleOfTheAddressSpace)
{
    // The addresses are unsigned: a range from below 0x80000000 to above it
    // is a range like any other.
    log(40000);
    constexpr uint32_t start = 0x7FFFF000, end = 0x800074D2;
    constexpr size_t size = end - start;
    ASSERT_GE(logger.stream().size(), size);
    logger.answerNextRangeWith(start, end, size, 0);
    const std::string file = path("across.bin");
    EXPECT_EQ(downloadAll(file), drComplete);
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(readFile(file) == concat({header(), slice(logger.stream(), 0, size)}));
    EXPECT_EQ(static_cast<uint32_t>(device->DownloadStartAddress), start);
    EXPECT_EQ(static_cast<uint32_t>(device->DownloadEndAddress), end);
}

TEST_F(DownloadRun, FileThatCannotBeCreatedIsNamedWithTheReason)
{
    log(2000);
    const std::string file = path("no/such/folder/Weir.bin");
    EXPECT_EQ(downloadAll(file), drFailed);
    EXPECT_EQ(messages, std::vector<std::string>({"Cannot create file \"" + file + "\". No such file or directory"}));
    EXPECT_TRUE(logger.requests().empty());
}

TEST_F(DownloadRun, ConversionThatCannotWriteSaysSo)
{
    log(2000);
    const std::string file = path("Weir.bin");
    ASSERT_EQ(downloadAll(file), drComplete);
    const Bytes before = readFile(file);
    EXPECT_EQ(device->CreateTessaloomFile(file, path("no/such/folder/Weir.dat"), false), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("no/such/folder/Weir.dat"), std::string::npos) << messages[0];
    EXPECT_EQ(device->RecordCmd, nullptr);
    EXPECT_EQ(device->ConversionTimer, nullptr);
    EXPECT_TRUE(readFile(file) == before);

    // A download file that is not there converts to nothing.
    EXPECT_EQ(device->CreateTessaloomFile(path("missing.bin"), path("missing.dat"), false), 0);
    TDateTime t = 12345;
    EXPECT_FALSE(device->retrieveLastTimeRecord(path("missing.bin"), &t, true));
    EXPECT_EQ(t, 12345);
}

} // namespace
