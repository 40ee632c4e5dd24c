// The streaming graph and CSV writers against the reference conversion
// (tests/RecordReference.cpp), byte for byte: a long generated logging run
// read from disk in blocks, every record type, hundreds of damaged streams,
// random header images and short files; each through files, through
// memory, and into an output that cannot be rewritten (as a FIFO). Built
// once per locale (tests/CMakeLists.txt): dates, times and the decimal
// separator come from the system locale.
#include "ImageBuilder.h"
#include "RecordExportFixture.h"
#include "RecordGenerator.h"
#include "RecordReference.h"
#include "sonderecordcmd.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <array>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#ifndef RECORD_TEST_LOCALE
#define RECORD_TEST_LOCALE "en_US.UTF-8"
#endif

using exportfixture::join;
using standin::Bytes;
namespace record = standin::record;

namespace {

const bool LocalePinned = (setenv("LC_ALL", RECORD_TEST_LOCALE, 1), true);

const Timestamp T0{24, 6, 26, 14, 30, 5};

// Where two texts part, with the lines around it.
std::string firstDifference(const std::string& mine, const std::string& theirs)
{
    size_t i = 0;
    while (i < mine.size() && i < theirs.size() && mine[i] == theirs[i])
        ++i;
    const size_t from = theirs.rfind('\n', i == 0 ? 0 : i - 1);
    const size_t start = from == std::string::npos ? 0 : from + 1;
    return "at byte " + std::to_string(i) + " of " + std::to_string(theirs.size()) + " (got " +
        std::to_string(mine.size()) + "):\n  written:   " + mine.substr(start, 160) + "\n  reference: " +
        theirs.substr(start, 160);
}

class Golden : public ::testing::Test {
protected:
    QTemporaryDir dir;
    int fileChecks = 0;

    std::string path(const char* name) const { return (dir.path() + "/" + name).toStdString(); }

    static std::string read(const std::string& p)
    {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Converts `file` every way and compares each with the reference;
    // false after the first difference.
    bool same(const Bytes& file, const std::string& what, bool throughFiles)
    {
        SCOPED_TRACE(what);
        const reference::Conversion ref = reference::convert(file);
        auto check = [&](const std::string& mine, const std::string& theirs, const char* way) {
            if (mine == theirs)
                return true;
            ADD_FAILURE() << way << " differs " << firstDifference(mine, theirs);
            return false;
        };

        TSondeRecordCmd cmd(nullptr);
        RecordInput memory(file.data(), file.size());
        StringSink graph;
        StringSink csv;
        cmd.writeTessaloom(memory, graph);
        cmd.writeCSV(memory, csv);
        if (!check(graph.text, ref.graph, "graph file from memory") || !check(csv.text, ref.csv, "CSV file from memory"))
            return false;
        EXPECT_EQ(cmd.LastRecordDate, ref.lastRecordDate);
        EXPECT_EQ(cmd.LastRecordTime, ref.lastRecordTime);

        TSondeRecordCmd other(nullptr);
        StringSink onward(false);
        StringSink onwardCsv(false);
        other.writeTessaloom(memory, onward);
        other.writeCSV(memory, onwardCsv);
        if (!check(onward.text, ref.graph, "graph file written onward only")
            || !check(onwardCsv.text, ref.csv, "CSV file written onward only"))
            return false;

        if (throughFiles) {
            ++fileChecks;
            const std::string in = path("data.bin");
            std::ofstream(in, std::ios::binary)
                .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
            TSondeRecordCmd onDisk(nullptr);
            EXPECT_TRUE(onDisk.CreateTessaloomFile(in, path("data.dat"), nullptr, nullptr, false));
            EXPECT_TRUE(onDisk.CreateCSVFile(in, path("data.csv"), nullptr, nullptr, false));
            if (!check(read(path("data.dat")), ref.graph, "graph file on disk")
                || !check(read(path("data.csv")), ref.csv, "CSV file on disk"))
                return false;
        }
        return true;
    }
};

standin::RecordGenerator loggingRun(size_t bytes)
{
    const standin::SensorImages images = standin::defaultImages();
    const standin::LoggerState state = standin::loggerStateFrom(images.conf, T0);
    standin::RecordGenerator gen(T0);
    gen.run(state, bytes);
    return gen;
}

Bytes download(const Bytes& stream)
{
    const standin::SensorImages images = standin::defaultImages();
    return standin::downloadFile(images.cal, images.conf, stream);
}

// Every record type, escapes in every field, values at the edges.
Bytes everyType()
{
    std::array<uint8_t, 13> tips{};
    tips[0] = 0x80;
    tips[5] = 0x24;
    tips[12] = 0x01;
    standin::RecordGenerator g(T0);
    g.add(record::Null, {});
    g.add(record::ScheduleData, record::scheduleData(1, {0, 1, 2, 3, 4, 5}, {1.5f, -2.0f, 0.0f, -0.0f, 1e10f, record::NoValue}));
    g.add(record::ScheduleData, record::scheduleData(2, {3, 3, 7}, {1, 2, 3, 4, 5, 6}, 2));
    g.add(record::ScheduleData, record::scheduleData(9, {35}, {0.125f}));
    for (uint8_t s = 0; s <= 8; ++s)
        g.add(record::ScheduleData, record::scheduleData(s, {s}, {float(s) / 3}));
    g.startLogging("JS", "Deployed, at \"weir\"", 42);
    g.add(record::TriggerEvent, record::triggerEvent(3, {1}, {21.5f}));
    g.add(record::SamplerEvent, record::samplerEvent(30, 3.25f));
    g.add(record::SamplerEvent, record::samplerEvent(1, record::NoValue));
    g.add(record::AlarmEvent, record::alarmEvent(4, {2}, {-1.0f}));
    for (uint8_t e : std::initializer_list<uint8_t>{0, 9, 26, 27, 200})
        g.add(record::SystemLog, record::systemLog(e));
    g.add(record::DataVariation, record::dataVariation(5, 7.25f));
    g.add(record::DataVariation, record::dataVariation(30, -0.5f));
    g.add(record::RainEvent, record::rainEvent(1, 1, Timestamp{24, 12, 31, 23, 59, 30}, tips));
    g.add(record::RainMissingEvent, record::rainMissingEvent(-128));
    g.add(record::RainMissingEvent, record::rainMissingEvent(127));
    g.add(record::UnnamedCB, record::unnamedCB(1, 2));
    g.add(record::SboxStatus, record::sboxStatus({1, 0, 0xFF, 0x2A, 0, 0, 0, 0, 0, 0, 0, 3}));
    g.add(record::Notify, record::notify("Battery low"));
    g.visit("AB", "Sampled at bridge\r\nflow low");
    // Comments of several lines, ended every way, in every part.
    g.startLogging("JS", "Deployed\r\nat weir\r\n", 43);
    g.stopLogging("AB", "one\ntwo\rthree\n\r\r\n");
    g.add(record::Comment, record::comment("V\r\nA\r_\n_x\r"));
    g.add(record::Comment, record::comment("Z\nfree\r\ntext"));
    g.add(record::Comment, record::comment("S\r\n"));
    g.add(record::Comment, record::comment("V\xFD\xFE_____\xFE\xFD"), {0xFE, 0xFD, 0xFE});
    g.add(record::Comment, record::comment("X" + std::string(246, 'c')));
    g.add(record::ScheduleData, record::scheduleData(1, {2}, {-1.1754942e-38f}), {0xFD, 0, 0});
    g.addRaw(record::frame(record::SystemLog, T0, {1}, {}, true));
    g.addRaw(record::frame(record::Null, Timestamp{24, 2, 30, 0, 0, 0}, {}));
    g.addRaw(record::frame(record::SystemLog, Timestamp{23, 12, 31, 24, 0, 0}, {5}));
    g.addRaw(record::frame(0xCE, T0, {}));
    g.stopLogging("AB", "Recovered");
    const Bytes cut = record::frame(record::Comment, T0, record::comment("SJS_____cut"));
    g.addRaw(Bytes(cut.begin(), cut.begin() + 14));
    return g.stream();
}

// A few random edits: bytes changed, markers and escapes put in, pieces
// left out, doubled or added.
Bytes damaged(Bytes s, std::mt19937& random)
{
    const int edits = 1 + static_cast<int>(random() % 24);
    for (int e = 0; e < edits && !s.empty(); ++e) {
        const size_t at = random() % s.size();
        switch (random() % 7) {
        case 0: s[at] = static_cast<uint8_t>(random()); break;
        case 1: s[at] = 0xFE; break;
        case 2: s[at] = 0xFD; break;
        case 3: s.erase(s.begin() + static_cast<long>(at), s.begin() + static_cast<long>(std::min(s.size(), at + 1 + random() % 40))); break;
        case 4: {
            const size_t n = std::min(s.size() - at, size_t(1 + random() % 60));
            const Bytes piece(s.begin() + static_cast<long>(at), s.begin() + static_cast<long>(at + n));
            s.insert(s.begin() + static_cast<long>(random() % s.size()), piece.begin(), piece.end());
            break;
        }
        case 5: {
            Bytes noise(1 + random() % 600);
            for (auto& b : noise)
                b = static_cast<uint8_t>(random() % 4 == 0 ? 0xFE : random());
            s.insert(s.begin() + static_cast<long>(at), noise.begin(), noise.end());
            break;
        }
        default: s.resize(at); break;
        }
    }
    return s;
}

} // namespace

TEST_F(Golden, LongLoggingRunReadInBlocks)
{
    ASSERT_TRUE(LocalePinned);
#ifdef __SANITIZE_ADDRESS__
    const auto gen = loggingRun(1u << 20); // crosses read blocks
#else
    const auto gen = loggingRun(3u << 20); // crosses many read blocks
#endif
    EXPECT_TRUE(same(download(gen.stream()), "3 MiB logging run", true));
}

TEST_F(Golden, EveryRecordTypeAndFaultyFrames)
{
    EXPECT_TRUE(same(download(everyType()), "every type", true));
}

TEST_F(Golden, DamagedStreams)
{
    std::mt19937 random(11);
    const Bytes run = loggingRun(24000).stream();
    const Bytes every = everyType();
    for (int i = 0; i < 300; ++i) {
        Bytes stream = damaged(i % 3 == 0 ? every : run, random);
        if (!same(download(stream), "damaged stream " + std::to_string(i), i % 50 == 0))
            break;
    }
    // Runs of markers and runs longer than any frame, and frames cut at
    // every length.
    Bytes runs(3000, 0xFE);
    runs.insert(runs.end(), 1200, 0x11);
    runs.push_back(0xFE);
    runs.insert(runs.end(), 517, 0x22);
    runs.push_back(0xFE);
    runs.insert(runs.end(), 518, 0x33);
    EXPECT_TRUE(same(download(runs), "runs", true));
    const Bytes one = record::frame(record::ScheduleData, T0, record::scheduleData(1, {1, 2}, {1.5f, 2.5f}));
    for (size_t n = 0; n <= one.size(); ++n)
        if (!same(download(Bytes(one.begin(), one.begin() + static_cast<long>(n))), "cut at " + std::to_string(n), false))
            break;
}

TEST_F(Golden, RandomHeaderImagesAndShortFiles)
{
    // Any precision byte (up to 255 decimals asked for), names with commas,
    // quotes and line breaks, any sampler channel.
    std::mt19937 random(5);
    const Bytes stream = join({loggingRun(12000).stream(), everyType()});
    for (int i = 0; i < 40; ++i) {
        Bytes header(DownloadHeaderSize);
        for (auto& b : header)
            b = random() % 5 == 0 ? static_cast<uint8_t>(random()) : static_cast<uint8_t>("ab,\"\r\n 1"[random() % 8]);
        Bytes file = header;
        file.insert(file.end(), stream.begin(), stream.end());
        if (!same(file, "random images " + std::to_string(i), i == 0))
            break;
    }
    const Bytes whole = download(stream);
    for (size_t size : {size_t(0), size_t(1), size_t(50), size_t(3607), size_t(3608), size_t(6000), size_t(6459),
                        size_t(6460), size_t(6461), size_t(6470)})
        if (!same(Bytes(whole.begin(), whole.begin() + static_cast<long>(size)), "short file of " + std::to_string(size), true))
            break;
}
