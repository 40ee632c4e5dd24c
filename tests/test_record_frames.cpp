// Record frames of the logger's stream: cutting, unescaping, CRC and
// timestamp checks, and the last record of a download file. Frames come from
// the stand-in's record generator, which encodes them independently.
#include "ImageBuilder.h"
#include "RecordGenerator.h"
#include "sonderecordcmd.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

using standin::Bytes;
namespace record = standin::record;

namespace {

const Timestamp T0{24, 6, 26, 14, 30, 5};

struct Decoded {
    int16_t result = 0;
    RecordFrameTypeNumber type = 0;
    Timestamp time{};
    uint8_t header[3]{};
    uint8_t payload[RecordPayloadBufferSize]{};
    uint16_t length = 0xBEEF;
};

Decoded decode(const Bytes& raw)
{
    uint8_t buffer[RecordFrameBufferSize]{};
    std::memcpy(buffer, raw.data(), std::min<size_t>(raw.size(), MaxRecordFrameBytes));
    Decoded d;
    d.result = TSondeRecordCmd::destructRecordFrame(buffer, d.type, d.time, d.header, d.payload, d.length);
    return d;
}

Bytes payloadOf(const Decoded& d)
{
    return Bytes(d.payload, d.payload + d.length);
}

int escapes(const Bytes& raw)
{
    int n = 0;
    for (size_t i = 8; i + 1 < raw.size(); ++i)
        if (raw[i] == 0xFD && (raw[i + 1] == 0x7D || raw[i + 1] == 0x7E))
            ++n;
    return n;
}

// A comment text holding both bytes that travel escaped.
const Bytes EscapingText = {'a', 0xFD, 'b', 0xFE, 'c'};

class TempFolder : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string path(const char* name) const { return (dir.path() + "/" + name).toStdString(); }
    std::string write(const char* name, const Bytes& bytes) const
    {
        const std::string p = path(name);
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
        return p;
    }
    static Bytes read(const std::string& p)
    {
        std::ifstream in(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static Bytes download(const Bytes& stream)
    {
        CalibrationData cal{};
        ConfigurationData conf{};
        return standin::downloadFile(cal, conf, stream);
    }
};

} // namespace

// --- decoding one frame ----------------------------------------------------------

TEST(RecordFrame, NullRecordIsThirteenRawBytes)
{
    const Timestamp t{24, 6, 26, 14, 30, 6}; // its CRC needs no escape
    const Bytes raw = record::frame(record::Null, t, {});
    ASSERT_EQ(raw.size(), 13u);
    const Decoded d = decode(raw);
    EXPECT_EQ(d.result, 13);
    EXPECT_EQ(d.length, 0);
    EXPECT_EQ(d.type, rtNull);
    EXPECT_EQ(std::memcmp(&d.time, &t, sizeof t), 0);
}

TEST(RecordFrame, EveryTypeDecodesToItsPayload)
{
    struct Case {
        const char* name;
        uint8_t type;
        Bytes payload;
    };
    const std::array<uint8_t, 13> tips{0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01};
    const Case cases[] = {
        {"schedule data", record::ScheduleData, record::scheduleData(1, {0, 3}, {1.5f, -2.25f})},
        {"schedule data, two value sets", record::ScheduleData, record::scheduleData(2, {4}, {1, 2}, 2)},
        {"start of logging", record::StartOfLogging, record::startOfLogging(0x123456)},
        {"comment", record::Comment, record::comment("VJS_____Sampled at bridge")},
        {"trigger", record::TriggerEvent, record::triggerEvent(3, {1, 2, 5}, {1, 2, 3}, 0xABCD)},
        {"sampler", record::SamplerEvent, record::samplerEvent(3, 7.25f)},
        {"alarm", record::AlarmEvent, record::alarmEvent(2, {7}, {99.5f})},
        {"system log", record::SystemLog, record::systemLog(1)},
        {"data variation", record::DataVariation, record::dataVariation(5, 0.5f)},
        {"rain", record::RainEvent, record::rainEvent(1, 1, T0, tips)},
        {"rain missing", record::RainMissingEvent, record::rainMissingEvent(-5)},
        {"unnamed", record::UnnamedCB, record::unnamedCB(2, 3)},
        {"sbox status", record::SboxStatus, record::sboxStatus({1, 0, 0xFF, 0x2A, 0, 0, 0, 0, 0, 0, 0, 3})},
        {"notify", record::Notify, record::notify("Battery low")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes raw = record::frame(c.type, T0, c.payload, {7, 8, 9});
        const Decoded d = decode(raw);
        EXPECT_EQ(d.result, static_cast<int16_t>(raw.size()));
        EXPECT_EQ(d.type, c.type);
        EXPECT_EQ(payloadOf(d), c.payload);
        EXPECT_EQ(d.header[0], 7);
        EXPECT_EQ(d.header[2], 9);
    }
}

TEST(RecordFrame, EscapesInEveryEscapedFieldDecodeAndCostOneByteEach)
{
    // Header bytes, payload bytes and (for some time) CRC bytes that must be
    // escaped. Search the seconds of the minute for a CRC with an escaped byte.
    Bytes payload = record::comment(std::string(EscapingText.begin(), EscapingText.end()));
    const std::array<uint8_t, 3> header{0xFE, 0x00, 0xFD};
    bool crcEscaped = false;
    for (uint8_t second = 0; second < 60 && !crcEscaped; ++second) {
        for (uint8_t minute = 0; minute < 60 && !crcEscaped; ++minute) {
            const Timestamp t{24, 1, 2, 3, minute, second};
            const Bytes plain = record::frame(record::Comment, t, payload);
            const Bytes raw = record::frame(record::Comment, t, payload, header);
            // 2 header escapes + 2 payload escapes, then whatever the CRC adds.
            const int crcEscapes = escapes(raw) - 4;
            if (crcEscapes <= 0)
                continue;
            crcEscaped = true;
            const Decoded d = decode(raw);
            EXPECT_EQ(d.result, static_cast<int16_t>(raw.size()));
            EXPECT_EQ(d.result, static_cast<int16_t>(13 + payload.size() + 4 + static_cast<size_t>(crcEscapes)));
            EXPECT_EQ(payloadOf(d), payload);
            EXPECT_EQ(d.header[0], 0xFE);
            EXPECT_EQ(d.header[2], 0xFD);
            // The same record without header escapes checks equally.
            EXPECT_GT(decode(plain).result, 0);
        }
    }
    EXPECT_TRUE(crcEscaped) << "no time gave a CRC with an escaped byte";
}

TEST(RecordFrame, EscapeByteBeforeAnOrdinaryByteStandsForItself)
{
    // FD 41 decodes as FD, then 41 as a byte of its own. The generator would
    // escape FD, so build the raw frame by hand and compute its CRC.
    Bytes plain{0xFE, record::SystemLog};
    const auto* t = reinterpret_cast<const uint8_t*>(&T0);
    plain.insert(plain.end(), t, t + 6);
    plain.insert(plain.end(), {0xFD, 0x41, 0x00}); // header
    plain.push_back(0x05);                        // payload
    const uint16_t crc = standin::crc16(plain);
    Bytes raw = plain;
    raw.push_back(static_cast<uint8_t>(crc));
    raw.push_back(static_cast<uint8_t>(crc >> 8));
    ASSERT_EQ(escapes(raw), 0);
    const Decoded d = decode(raw);
    EXPECT_EQ(d.result, static_cast<int16_t>(raw.size()));
    EXPECT_EQ(d.header[0], 0xFD);
    EXPECT_EQ(d.header[1], 0x41);
    EXPECT_EQ(d.payload[0], 5);
}

TEST(RecordFrame, RefusedFrames)
{
    struct Case {
        const char* name;
        Bytes raw;
        int16_t result;
    };
    Bytes badType = record::frame(0xCE, T0, {});
    Bytes tooLong = record::frame(record::Comment, T0, Bytes(250, 'x'));
    tooLong[8 + 3] = 251; // the length byte, raw position 0 after the header
    Bytes noStart = record::frame(record::Null, T0, {});
    noStart[0] = 0x00;
    const Case cases[] = {
        {"no marker", noStart, rdNoStart},
        {"bad CRC", record::frame(record::SystemLog, T0, record::systemLog(1), {}, true), rdBadCrc},
        {"type 0xCE with a matching CRC", badType, rdBadType},
        {"comment length 251", tooLong, rdTooLong},
        {"schedule data announcing 255 x 255 values", record::frame(record::ScheduleData, T0, {1, 255, 255}),
         rdTooLong},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded d = decode(c.raw);
        EXPECT_EQ(d.result, c.result);
        EXPECT_EQ(d.length, 0xBEEF) << "the payload length is delivered only on success";
    }
}

// Nearly the longest frame a record can make: a 250-byte comment whose every
// byte but the length byte (250 never needs escaping) and every header byte
// travel escaped; its CRC bytes may add one or two more.
Bytes longestFrame()
{
    Bytes payload{250, 0xFD};
    payload.insert(payload.end(), 248, 0xFE);
    return record::frame(record::Comment, T0, payload, {0xFD, 0xFE, 0xFD});
}

TEST(RecordFrame, LongestFrameDecodes)
{
    const Bytes raw = longestFrame();
    ASSERT_GE(raw.size(), 515u);
    const Decoded d = decode(raw);
    EXPECT_EQ(d.result, static_cast<int16_t>(raw.size()));
    EXPECT_EQ(d.length, 250);
}

TEST(RecordFrame, TruncatedFramesFailWithoutReadingPastTheBuffer)
{
    const Bytes full = record::frame(record::Comment, T0, record::comment(std::string(200, '\xFD')));
    for (size_t cut = 10; cut < full.size(); cut += 37) {
        const Decoded d = decode(Bytes(full.begin(), full.begin() + static_cast<long>(cut)));
        EXPECT_LT(d.result, 0) << "cut at " << cut;
    }
    // A buffer of nothing but escape bytes never decodes past its end.
    const Decoded d = decode(Bytes(MaxRecordFrameBytes, 0xFD));
    EXPECT_LT(d.result, 0);
}

TEST(RecordFrame, TimestampPlausibility)
{
    struct Case {
        Timestamp t;
        bool valid;
    };
    const Case cases[] = {
        {{24, 6, 26, 14, 30, 5}, true},
        {{24, 0, 1, 0, 0, 0}, false},   // month 0
        {{24, 13, 1, 0, 0, 0}, false},  // month 13
        {{24, 2, 29, 0, 0, 0}, true},   // 2024 is a leap year
        {{23, 2, 29, 0, 0, 0}, false},
        {{0, 2, 29, 0, 0, 0}, true},    // 2000 is a leap year
        {{100, 2, 29, 0, 0, 0}, false}, // 2100 is not
        {{24, 2, 30, 0, 0, 0}, false},
        {{24, 4, 31, 0, 0, 0}, false},
        {{24, 1, 0, 0, 0, 0}, false},
        {{24, 1, 1, 24, 0, 0}, true}, // the logger's end of day
        {{24, 1, 1, 25, 0, 0}, false},
        {{24, 1, 1, 0, 60, 0}, false},
        {{24, 1, 1, 0, 0, 60}, false},
        {{199, 12, 31, 23, 59, 59}, true},
        {{200, 1, 1, 0, 0, 0}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TSondeRecordCmd::IsValidTimestamp(c.t), c.valid)
            << int(c.t.Year) << "-" << int(c.t.Month) << "-" << int(c.t.Day) << " " << int(c.t.Hour) << ":"
            << int(c.t.Minute) << ":" << int(c.t.Second);
}

// --- the record stream scan ------------------------------------------------------------

class RecordScan : public TempFolder {
protected:
    // The frames of a download file read from disk (in blocks, so that the
    // frames of a larger file cross block ends), checked against the same
    // bytes read from memory in one piece.
    std::vector<TSondeRecordCmd::ScannedFrame> scan(const Bytes& stream, TSondeRecordCmd& cmd)
    {
        const Bytes bytes = download(stream);
        const std::string p = write("scan.bin", bytes);
        const auto file = RecordInput::open(p);
        EXPECT_TRUE(file);
        std::vector<TSondeRecordCmd::ScannedFrame> frames;
        if (!file)
            return frames;
        TSondeRecordCmd other(nullptr);
        RecordInput memory(bytes.data(), bytes.size());
        std::vector<TSondeRecordCmd::ScannedFrame> fromMemory;
        other.scanRecordStream(memory, DownloadHeaderSize, [&](const TSondeRecordCmd::ScannedFrame& fr) {
            fromMemory.push_back(fr);
        });
        cmd.scanRecordStream(*file, DownloadHeaderSize, [&](const TSondeRecordCmd::ScannedFrame& fr) {
            frames.push_back(fr);
        });
        EXPECT_EQ(frames.size(), fromMemory.size());
        for (size_t i = 0; i < std::min(frames.size(), fromMemory.size()); ++i) {
            const auto& a = frames[i];
            const auto& b = fromMemory[i];
            EXPECT_TRUE(a.Result == b.Result && a.Type == b.Type && a.Length == b.Length && a.Valid == b.Valid
                        && a.MarkerOffset == b.MarkerOffset
                        && std::memcmp(a.Payload, b.Payload, a.Length) == 0)
                << "frame " << i;
        }
        EXPECT_EQ(cmd.BytesRead, other.BytesRead);
        return frames;
    }
};

TEST_F(RecordScan, CutsFramesSkipsNoiseAndShortPiecesAndFlagsFaults)
{
    standin::RecordGenerator gen(T0);
    gen.addRaw({0x01, 0x02, 0x03});                                   // noise before the first marker
    gen.add(record::SystemLog, record::systemLog(1));                 // 0: good
    gen.addRaw({0xFE, 0xC0, 1, 2, 3});                                // a piece of 5 bytes: skipped
    gen.addRaw(record::frame(record::SystemLog, T0, {2}, {}, true)); // 1: bad CRC
    gen.addRaw(record::frame(record::Null, Timestamp{24, 2, 30, 0, 0, 0}, {})); // 2: bad date
    gen.addRaw(record::frame(0xCF, T0, {}));                          // 3: unknown type
    gen.add(record::Notify, record::notify(std::string(200, '\xFE'))); // 4: good, 400 escapes
    Bytes comment = record::frame(record::Comment, T0, record::comment("SAB_____cut short"));
    gen.addRaw(Bytes(comment.begin(), comment.begin() + 20));        // 5: cut by the end of the file

    TSondeRecordCmd cmd(nullptr);
    const auto frames = scan(gen.stream(), cmd);
    ASSERT_EQ(frames.size(), 6u);
    EXPECT_EQ(cmd.RecordCount, 6);
    EXPECT_TRUE(frames[0].Valid);
    EXPECT_EQ(frames[1].Result, rdBadCrc);
    EXPECT_GT(frames[2].Result, 0);
    EXPECT_FALSE(frames[2].Valid);
    EXPECT_EQ(frames[3].Result, rdBadType);
    EXPECT_TRUE(frames[4].Valid);
    EXPECT_EQ(frames[4].Length, 202);
    EXPECT_LT(frames[5].Result, 0);
    EXPECT_EQ(frames[0].MarkerOffset, DownloadHeaderSize + 3);
    EXPECT_EQ(cmd.BytesRead, static_cast<int32_t>(DownloadHeaderSize + gen.stream().size()));
}

TEST_F(RecordScan, RunsUpToTheLargestFrameSizeAreDecodedLongerOnesDropped)
{
    const Bytes longest = longestFrame();
    ASSERT_FALSE(longest.empty());
    auto run = [](size_t length) {
        Bytes r{0xFE};
        r.insert(r.end(), length - 1, 0x11);
        return r;
    };
    Bytes stream = longest;
    for (const Bytes& piece : {run(MaxRecordFrameBytes), run(MaxRecordFrameBytes + 1), longest})
        stream.insert(stream.end(), piece.begin(), piece.end());

    TSondeRecordCmd cmd(nullptr);
    const auto frames = scan(stream, cmd);
    ASSERT_EQ(frames.size(), 3u) << "the run one byte over the largest frame is dropped";
    EXPECT_TRUE(frames[0].Valid);
    EXPECT_LT(frames[1].Result, 0);
    EXPECT_TRUE(frames[2].Valid);
    EXPECT_EQ(frames[2].Length, 250);
    EXPECT_EQ(cmd.RecordCount, 3);
}

TEST_F(RecordScan, GeneratedLoggingRunDecodesFrameByFrame)
{
    // The stand-in's run over the schedules of its configuration image: every
    // record type occurs, every frame is valid and sits where the generator's
    // index says.
    const standin::SensorImages images = standin::defaultImages();
    const standin::LoggerState state = standin::loggerStateFrom(images.conf, T0);
    ASSERT_FALSE(state.schedules.empty());
    standin::RecordGenerator gen(T0);
    gen.run(state, 300000);
    TSondeRecordCmd cmd(nullptr);
    const auto frames = scan(gen.stream(), cmd);
    ASSERT_EQ(frames.size(), gen.index().size());
    std::set<int> types;
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_TRUE(frames[i].Valid) << i;
        EXPECT_EQ(frames[i].Result, static_cast<int16_t>(gen.index()[i].length)) << i;
        EXPECT_EQ(frames[i].MarkerOffset, static_cast<long>(DownloadHeaderSize + gen.index()[i].offset)) << i;
        types.insert(frames[i].Type);
    }
    EXPECT_EQ(types.size(), 14u) << "every record type";
}

TEST_F(RecordScan, FramesAndOverlongRunsAcrossReadBlocks)
{
    // Frames, runs of the longest frame's length and runs one byte longer,
    // repeated with a shift of one byte each time, so that every kind of
    // piece is cut by the file's read blocks at many places.
    const Bytes good = record::frame(record::SystemLog, T0, record::systemLog(1));
    Bytes stream;
    size_t expected = 0;
    for (size_t shift = 0; stream.size() < 700000; ++shift) {
        stream.insert(stream.end(), shift % 7, 0x00); // noise
        stream.insert(stream.end(), good.begin(), good.end());
        stream.push_back(0xFE);
        stream.insert(stream.end(), MaxRecordFrameBytes - 1, 0x11); // the longest: decoded, faulty
        stream.push_back(0xFE);
        stream.insert(stream.end(), MaxRecordFrameBytes, 0x22); // one byte longer: dropped
        expected += 2;
    }
    TSondeRecordCmd cmd(nullptr);
    const auto frames = scan(stream, cmd);
    EXPECT_EQ(frames.size(), expected);
}

TEST_F(RecordScan, FileShorterThanItsHeaderHasNoFrames)
{
    const std::string p = write("short.bin", Bytes(100, 0xFE));
    const auto file = RecordInput::open(p);
    ASSERT_TRUE(file);
    TSondeRecordCmd cmd(nullptr);
    int frames = 0;
    cmd.scanRecordStream(*file, DownloadHeaderSize, [&](const TSondeRecordCmd::ScannedFrame&) { ++frames; });
    EXPECT_EQ(frames, 0);
}

// --- the last record of a download file ----------------------------------------------

class LastRecord : public TempFolder {};

TEST_F(LastRecord, FileThatCannotBeOpenedAnswersFalseAndLeavesTheTime)
{
    QDir(dir.path()).mkdir("folder.bin");
    for (const char* name : {"missing.bin", "folder.bin"}) {
        SCOPED_TRACE(name);
        TSondeRecordCmd cmd(nullptr);
        TDateTime t = 42;
        EXPECT_FALSE(cmd.retrieveLastTimeRecord(path(name), t, true));
        EXPECT_FALSE(cmd.retrieveLastTimeRecord(path(name), t, false));
        EXPECT_EQ(t, 42);
    }
}

TEST_F(LastRecord, FindsTheLastTimedRecordAndCutsBeforeIt)
{
    standin::RecordGenerator gen(T0);
    gen.add(record::SystemLog, record::systemLog(6));
    gen.advance(60);
    gen.add(record::ScheduleData, record::scheduleData(1, {0}, {1}));
    const size_t keep = gen.stream().size();
    gen.advance(60);
    gen.add(record::ScheduleData, record::scheduleData(1, {0}, {2})); // the last timed record: 14:32:05
    gen.advance(1);
    gen.add(record::UnnamedCB, record::unnamedCB(1, 1)); // has no time of its own for this
    const std::string p = write("last.bin", download(gen.stream()));

    TSondeRecordCmd cmd(nullptr);
    TDateTime t = 0;
    ASSERT_TRUE(cmd.retrieveLastTimeRecord(p, t, false));
    EXPECT_DOUBLE_EQ(t, EncodeDate(2024, 6, 26) + EncodeTime(14, 32, 5, 0));
    EXPECT_EQ(read(p).size(), DownloadHeaderSize + gen.stream().size()) << "no cut without the flag";

    t = 0;
    ASSERT_TRUE(cmd.retrieveLastTimeRecord(p, t, true));
    EXPECT_DOUBLE_EQ(t, EncodeDate(2024, 6, 26) + EncodeTime(14, 32, 5, 0));
    EXPECT_EQ(read(p), download(Bytes(gen.stream().begin(), gen.stream().begin() + static_cast<long>(keep))));
}

TEST_F(LastRecord, CutShortLastFrameDoesNotDuplicateTheLastValidRecord)
{
    standin::RecordGenerator gen(T0);
    gen.add(record::ScheduleData, record::scheduleData(1, {0}, {1}));
    const size_t keep = gen.stream().size();
    gen.advance(60);
    gen.add(record::ScheduleData, record::scheduleData(1, {0}, {2}));
    const Bytes next = record::frame(record::ScheduleData, standin::timestampOf(standin::secondsOf(T0) + 120),
                                     record::scheduleData(1, {0}, {3}));
    gen.addRaw(Bytes(next.begin(), next.begin() + 15)); // the download ended inside this frame
    const std::string p = write("cut.bin", download(gen.stream()));

    TSondeRecordCmd cmd(nullptr);
    TDateTime t = 0;
    ASSERT_TRUE(cmd.retrieveLastTimeRecord(p, t, true));
    EXPECT_DOUBLE_EQ(t, EncodeDate(2024, 6, 26) + EncodeTime(14, 31, 5, 0));
    // A download from 14:31:05 brings that record again: it must not stay.
    EXPECT_EQ(read(p), download(Bytes(gen.stream().begin(), gen.stream().begin() + static_cast<long>(keep))));
}

TEST_F(LastRecord, RecordsOfTheLastSecondAreAllCut)
{
    standin::RecordGenerator gen(T0);
    gen.add(record::ScheduleData, record::scheduleData(1, {0}, {1}));
    const size_t keep = gen.stream().size();
    gen.advance(60);
    gen.add(record::ScheduleData, record::scheduleData(1, {0}, {2}));
    gen.add(record::ScheduleData, record::scheduleData(2, {3}, {4})); // same second
    const std::string p = write("same.bin", download(gen.stream()));

    TSondeRecordCmd cmd(nullptr);
    TDateTime t = 0;
    ASSERT_TRUE(cmd.retrieveLastTimeRecord(p, t, true));
    EXPECT_EQ(read(p), download(Bytes(gen.stream().begin(), gen.stream().begin() + static_cast<long>(keep))));
}

TEST_F(LastRecord, MidnightStampedAsHourTwentyFourIsTheSameSecondAsTheNextDay)
{
    // 24:00:00 of one day and 00:00:00 of the next are one instant: a
    // download from it brings both again, so both are cut.
    standin::RecordGenerator gen(T0);
    gen.addRaw(record::frame(record::ScheduleData, Timestamp{24, 6, 26, 23, 59, 0}, record::scheduleData(1, {0}, {1})));
    const size_t keep = gen.stream().size();
    gen.addRaw(record::frame(record::ScheduleData, Timestamp{24, 6, 26, 24, 0, 0}, record::scheduleData(1, {0}, {2})));
    gen.addRaw(record::frame(record::ScheduleData, Timestamp{24, 6, 27, 0, 0, 0}, record::scheduleData(2, {3}, {4})));
    const std::string p = write("midnight.bin", download(gen.stream()));

    TSondeRecordCmd cmd(nullptr);
    TDateTime t = 0;
    ASSERT_TRUE(cmd.retrieveLastTimeRecord(p, t, true));
    EXPECT_DOUBLE_EQ(t, EncodeDate(2024, 6, 27));
    EXPECT_EQ(read(p), download(Bytes(gen.stream().begin(), gen.stream().begin() + static_cast<long>(keep))));
}

TEST_F(LastRecord, FilesWithoutRecordsStayAsTheyAre)
{
    // The header images may hold 0xFE bytes; they are never taken for frames.
    CalibrationData cal{};
    ConfigurationData conf{};
    std::memset(&cal, 0xFE, sizeof cal);
    std::memset(&conf, 0xFE, sizeof conf);
    const Bytes headerOnly = standin::downloadFile(cal, conf, {});
    const Bytes noMarker = download({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    const Bytes shortFile(3000, 0xFE);
    for (const Bytes* bytes : {&headerOnly, &noMarker, &shortFile}) {
        const std::string p = write("plain.bin", *bytes);
        TSondeRecordCmd cmd(nullptr);
        TDateTime t = 7;
        EXPECT_TRUE(cmd.retrieveLastTimeRecord(p, t, true));
        EXPECT_EQ(t, 7);
        EXPECT_EQ(read(p), *bytes);
    }
}

TEST_F(LastRecord, HourTwentyFourIsTheNextDay)
{
    standin::RecordGenerator gen(T0);
    gen.addRaw(record::frame(record::SystemLog, Timestamp{24, 2, 29, 24, 0, 7}, record::systemLog(1)));
    const std::string p = write("h24.bin", download(gen.stream()));
    TSondeRecordCmd cmd(nullptr);
    TDateTime t = 0;
    ASSERT_TRUE(cmd.retrieveLastTimeRecord(p, t, false));
    EXPECT_DOUBLE_EQ(t, EncodeDate(2024, 3, 1) + EncodeTime(0, 0, 7, 0));
}
