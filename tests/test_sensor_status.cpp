// The logger status and the current values, filled from the stand-in's
// replies.
#include "SensorFixture.h"
#include "SysUtils.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

using namespace testsupport;
using standin::Bytes;
using standin::Response;
using standin::SensorState;
using standin::hex;

namespace {

TDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return EncodeDate(y, mo, d) + EncodeTime(h, mi, s, ms);
}

std::string text(const char* field, size_t size)
{
    return std::string(field, strnlen(field, size));
}

float valueOf(const CurrentValueData& v)
{
    float f;
    std::memcpy(&f, reinterpret_cast<const uint8_t*>(&v) + 6, 4);
    return f;
}

float lastLoggedOf(const CurrentValueData& v)
{
    float f;
    std::memcpy(&f, reinterpret_cast<const uint8_t*>(&v) + 10, 4);
    return f;
}

// A sensor clock at 2024-03-05 10:20:30.
const standin::Stamp SensorClockStamp{{24, 3, 5, 10, 20, 30}};
const TDateTime SensorClockTime = at(2024, 3, 5, 10, 20, 30);

class Status : public SensorFixture {
protected:
    // Marks every field so that a field the reply did not fill shows.
    void markOld()
    {
        SensorStatusData& s = device->Status;
        for (int& v : s.StatusValues)
            v = 99;
        std::strcpy(s.ConnectedSensorID, "OLDIDOLD");
        s.MemoryCapacity = s.MemoryUsed = 11;
        std::strcpy(s.FirmwareVersion, "Z0.0");
        s.SensorClock = 1.0;
        s.ClockOffsetSeconds = 12345;
        s.LoggingFlags = 0xAA;
        s.ScheduleStatusCount = 99;
        for (ScheduleStatusData& e : s.ScheduleStatus) {
            std::memcpy(e.Name, "old name     ", 13);
            e.Value = 77;
        }
        s.TailValue1 = s.TailValue2 = 55;
        s.StatusTime = 2.0;
    }
    bool oldSchedule(int i) const
    {
        const ScheduleStatusData& e = device->Status.ScheduleStatus[i];
        return std::memcmp(e.Name, "old name     ", 13) == 0 && e.Value == 77;
    }
    // Answers the next status command with `data` instead of the state.
    bool statusFrom(const Bytes& data)
    {
        sensor.script({Response::byHandler(), Response::frame(0x81, data)});
        return device->LoggerStatus();
    }
};

} // namespace

TEST_F(Status, MatchesTheLoggersStateFieldByField)
{
    model->update([](SensorState& s) {
        s.sensorId = "AB12CD34";
        s.memoryCapacity = 0x89ABCDEF;
        s.memoryUsed = 0x00123456;
        s.firmwareLetters = {{'X', 'Y'}};
        s.firmwareMajor = 3;
        s.firmwareMinor = 9;
        s.statusValues = {{-128, 127, -1, 0}};
        s.clockStamp = SensorClockStamp;
        s.logging = true;
        s.schedules = {{"Monitor", 7}, {"Schedule 1", 0xFFFFFFFE}, {"Thirteen char", 0x80000000}};
        s.tailValue1 = -7;
        s.tailValue2 = 100;
        s.statusTime = standin::Stamp{{24, 7, 1, 0, 0, 1}};
    });
    DateTimeClock::setSource([] { return SensorClockTime + 90.4 / SecsPerDay; });
    ASSERT_TRUE(device->LoggerStatus());
    EXPECT_EQ(device->LastStatus, lsOk);

    const SensorStatusData& st = device->Status;
    EXPECT_EQ(std::vector<int>(st.StatusValues, st.StatusValues + 4), (std::vector<int>{-128, 127, -1, 0}));
    EXPECT_EQ(std::string(st.ConnectedSensorID), "AB12CD34");
    EXPECT_EQ(st.ConnectedSensorID[8], '\0');
    EXPECT_EQ(st.MemoryCapacity, 0x89ABCDEFu);
    EXPECT_EQ(st.MemoryUsed, 0x00123456u);
    EXPECT_EQ(std::string(st.FirmwareVersion), "XY3.9");
    EXPECT_EQ(st.SensorClock, SensorClockTime);
    EXPECT_EQ(st.ClockOffsetSeconds, -90);
    EXPECT_EQ(st.LoggingFlags & lfLogging, lfLogging);
    EXPECT_EQ(st.ScheduleStatusCount, 4);
    EXPECT_EQ(text(st.ScheduleStatus[1].Name, 13), "Monitor");
    EXPECT_EQ(st.ScheduleStatus[1].Value, 7);
    EXPECT_EQ(text(st.ScheduleStatus[2].Name, 13), "Schedule 1");
    EXPECT_EQ(st.ScheduleStatus[2].Value, -2);
    EXPECT_EQ(std::string(st.ScheduleStatus[3].Name, 13), "Thirteen char");
    EXPECT_EQ(st.ScheduleStatus[3].Value, INT32_MIN);
    EXPECT_EQ(st.ScheduleStatus[0].Value, 0); // never filled
    EXPECT_EQ(st.ScheduleStatus[0].Name[0], '\0');
    EXPECT_EQ(st.TailValue1, -7);
    EXPECT_EQ(st.TailValue2, 100);
    EXPECT_EQ(st.StatusTime, at(2024, 7, 1, 0, 0, 1));

    // The logger stops: the next refresh says so.
    model->update([](SensorState& s) { s.logging = false; });
    ASSERT_TRUE(device->LoggerStatus());
    EXPECT_EQ(device->Status.LoggingFlags & lfLogging, 0);
}

TEST_F(Status, ClockOffsetInWholeSeconds)
{
    struct Case {
        const char* what;
        standin::Stamp clock;
        double pcMinusSensor; // seconds
        TDateTime sensorClock;
        int32_t offset;
    };
    const Case cases[] = {
        {"sensor 90.4 s behind", SensorClockStamp, 90.4, SensorClockTime, -90},
        {"sensor 90.4 s ahead", SensorClockStamp, -90.4, SensorClockTime, 90},
        {"same second", SensorClockStamp, 0.0, SensorClockTime, 0},
        {"0.999 s behind", SensorClockStamp, 0.999, SensorClockTime, 0},
        {"exactly one second ahead", SensorClockStamp, -1.0, SensorClockTime, 1},
        {"a day behind", SensorClockStamp, 86400.0, SensorClockTime, -86400},
        // No clock at all: as far behind as the offset can say.
        {"invalid clock", {{24, 13, 5, 10, 20, 30}}, 0.0, 0.0, -INT32_MAX},
        {"all-zero clock", {{0, 0, 0, 0, 0, 0}}, 0.0, 0.0, -INT32_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        model->update([&](SensorState& s) { s.clockStamp = c.clock; });
        DateTimeClock::setSource([&] { return SensorClockTime + c.pcMinusSensor / SecsPerDay; });
        ASSERT_TRUE(device->LoggerStatus());
        EXPECT_EQ(device->Status.SensorClock, c.sensorClock);
        EXPECT_EQ(device->Status.ClockOffsetSeconds, c.offset);
    }

    // With the real clocks: a logger running 100 s behind the PC.
    DateTimeClock::setSource(nullptr);
    model->update([](SensorState& s) {
        s.clockStamp.reset();
        s.clockOffsetSeconds = -100;
    });
    ASSERT_TRUE(device->LoggerStatus());
    EXPECT_GE(device->Status.ClockOffsetSeconds, -101);
    EXPECT_LE(device->Status.ClockOffsetSeconds, -99);
}

TEST_F(Status, ScheduleEntriesAndTheFieldsAfterThem)
{
    struct Case {
        const char* what;
        int entries;        // entries the logger sends
        int countByte;      // N in the reply
        int stored;         // entries 1..stored are filled
        bool tailsReceived; // the reply reaches the fields after the entries
    };
    const Case cases[] = {
        {"N = 1", 0, 1, 0, true},
        {"N = 0", 0, 0, 0, true},
        {"N negative", 0, -3, 0, true},
        {"N = 3", 2, 3, 2, true},
        {"N = 7, every entry fits", 6, 7, 6, true},
        {"N = 10, entries past 6 are dropped", 9, 10, 6, true},
        {"N = 27, the longest reply", 26, 27, 6, true},
        {"N = 127, more than any reply holds", 9, 127, 6, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SensorState s;
        s.schedules.clear();
        for (int i = 1; i <= c.entries; ++i)
            s.schedules.push_back({"Sched " + std::to_string(i), uint32_t(1000 + i)});
        s.tailValue1 = -7;
        s.tailValue2 = 9;
        s.statusTime = standin::Stamp{{24, 7, 1, 0, 0, 1}};
        Bytes data = standin::statusReplyData(s);
        data[34] = uint8_t(int8_t(c.countByte));
        if (c.entries == 26)
            data.resize(509, 0x5A); // pad to the longest frame the link takes
        markOld();
        ASSERT_TRUE(statusFrom(data));
        const SensorStatusData& st = device->Status;
        EXPECT_EQ(st.ScheduleStatusCount, c.countByte);
        EXPECT_TRUE(oldSchedule(0));
        for (int i = 1; i < MaxScheduleStatus; ++i) {
            if (i <= c.stored) {
                EXPECT_EQ(text(st.ScheduleStatus[i].Name, 13), "Sched " + std::to_string(i));
                EXPECT_EQ(st.ScheduleStatus[i].Value, 1000 + i);
            } else {
                EXPECT_TRUE(oldSchedule(i)) << i;
            }
        }
        EXPECT_EQ(st.TailValue1, c.tailsReceived ? -7 : 55);
        EXPECT_EQ(st.TailValue2, c.tailsReceived ? 9 : 55);
        EXPECT_EQ(st.StatusTime, c.tailsReceived ? at(2024, 7, 1, 0, 0, 1) : 2.0);
        EXPECT_EQ(std::string(st.ConnectedSensorID), "SIM00042");
    }
}

TEST_F(Status, ShortReplyFillsOnlyTheFieldsItHolds)
{
    SensorState s; // three schedule entries... of which two are sent
    s.schedules.resize(2);
    s.schedules[0] = {"One", 1};
    s.schedules[1] = {"Two", 2};
    s.clockStamp = SensorClockStamp;
    s.statusTime = standin::Stamp{{24, 7, 1, 0, 0, 1}};
    s.logging = true;
    const Bytes full = standin::statusReplyData(s);
    ASSERT_EQ(full.size(), 91u);
    // Where the fields lie with N = 3.
    EXPECT_EQ(full[81], uint8_t(s.tailValue1));
    EXPECT_EQ(full[84], uint8_t(s.tailValue2));
    EXPECT_EQ(hex(full.data() + 85, 6), "18 07 01 00 00 01");

    DateTimeClock::setSource([] { return SensorClockTime; });
    struct Field {
        const char* name;
        size_t offset, size;
        std::function<bool(const SensorStatusData&)> isNew, isOld;
    };
    const std::vector<Field> fields = {
        {"StatusValues", 3, 4, [](auto& st) { return st.StatusValues[0] == 1 && st.StatusValues[3] == -4; },
         [](auto& st) { return st.StatusValues[0] == 99 && st.StatusValues[3] == 99; }},
        {"ConnectedSensorID", 7, 8, [](auto& st) { return std::string(st.ConnectedSensorID) == "SIM00042"; },
         [](auto& st) { return std::string(st.ConnectedSensorID) == "OLDIDOLD"; }},
        {"MemoryCapacity", 15, 4, [](auto& st) { return st.MemoryCapacity == 4u * 1024 * 1024; },
         [](auto& st) { return st.MemoryCapacity == 11; }},
        {"MemoryUsed", 19, 4, [](auto& st) { return st.MemoryUsed == 123456; },
         [](auto& st) { return st.MemoryUsed == 11; }},
        {"FirmwareVersion", 23, 4, [](auto& st) { return std::string(st.FirmwareVersion) == "QB2.7"; },
         [](auto& st) { return std::string(st.FirmwareVersion) == "Z0.0"; }},
        {"SensorClock", 27, 6,
         [](auto& st) { return st.SensorClock == SensorClockTime && st.ClockOffsetSeconds == 0; },
         [](auto& st) { return st.SensorClock == 1.0 && st.ClockOffsetSeconds == 12345; }},
        {"LoggingFlags", 33, 1, [](auto& st) { return st.LoggingFlags == 1; },
         [](auto& st) { return st.LoggingFlags == 0xAA; }},
        {"ScheduleStatusCount", 34, 1, [](auto& st) { return st.ScheduleStatusCount == 3; },
         [](auto& st) { return st.ScheduleStatusCount == 99; }},
        {"ScheduleStatus[1]", 35, 17,
         [](auto& st) { return text(st.ScheduleStatus[1].Name, 13) == "One" && st.ScheduleStatus[1].Value == 1; },
         [](auto& st) { return st.ScheduleStatus[1].Value == 77; }},
        {"ScheduleStatus[2]", 52, 17,
         [](auto& st) { return text(st.ScheduleStatus[2].Name, 13) == "Two" && st.ScheduleStatus[2].Value == 2; },
         [](auto& st) { return st.ScheduleStatus[2].Value == 77; }},
        {"TailValue1", 81, 1, [](auto& st) { return st.TailValue1 == 5; },
         [](auto& st) { return st.TailValue1 == 55; }},
        {"TailValue2", 84, 1, [](auto& st) { return st.TailValue2 == -6; },
         [](auto& st) { return st.TailValue2 == 55; }},
        {"StatusTime", 85, 6, [](auto& st) { return st.StatusTime == at(2024, 7, 1, 0, 0, 1); },
         [](auto& st) { return st.StatusTime == 2.0; }},
    };
    for (size_t cut = 0; cut <= full.size(); ++cut) {
        SCOPED_TRACE(testing::Message() << "reply of " << cut << " bytes");
        markOld();
        const bool ok = statusFrom(Bytes(full.begin(), full.begin() + long(cut)));
        // Without the verdict and the echo it is no reply to the command.
        EXPECT_EQ(ok, cut >= 2);
        EXPECT_EQ(device->LastStatus, cut >= 2 ? lsOk : lsUnexpectedReply);
        for (const Field& f : fields) {
            const bool received = cut >= 2 && f.offset + f.size <= cut;
            EXPECT_TRUE(received ? f.isNew(device->Status) : f.isOld(device->Status))
                << f.name << (received ? " not filled" : " overwritten");
        }
    }
}

TEST_F(Status, FailureKeepsTheLastGoodValues)
{
    ASSERT_TRUE(device->LoggerStatus());
    SensorStatusData before;
    std::memcpy(&before, &device->Status, sizeof before);

    model->update([](SensorState& s) {
        s.sensorId = "CHANGED!";
        s.refuse[19] = 0x9C;
    });
    EXPECT_FALSE(device->LoggerStatus());
    EXPECT_EQ(device->LastStatus, 0xFF9C);
    EXPECT_EQ(0, std::memcmp(&before, &device->Status, sizeof before));

    // The null command fails: the status command is not sent.
    clear();
    sensor.script(standin::Responses(8, Response::wait()));
    EXPECT_FALSE(device->LoggerStatus());
    EXPECT_EQ(device->LastStatus, lsNoReply);
    EXPECT_EQ(requests(8).size(), 8u);
    EXPECT_EQ(0, std::memcmp(&before, &device->Status, sizeof before));
}

using CurrentValues = Status;

TEST_F(CurrentValues, MeasuredValuesAsTheLoggerHoldsThem)
{
    model->update([](SensorState& s) { s.measureMs = 400; });
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(device->GetCurrentValues());
    EXPECT_GE(secondsSince(start), 0.39); // the result came after the measurement
    EXPECT_EQ(device->LastStatus, lsOk);

    // Null command, the command, then the poll for the sub-task's result.
    const auto frames = requests(3);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(hex(sensor.receivedBytes()), "10 02 80 00 CC 8C 10 03 " + commandWire({0x12}) + " "
                                               + hex(standin::encodeFrame(0x83, {})));

    const SensorState s = model->state();
    ASSERT_EQ(device->Status.CurrentValueCount, s.channels.size());
    for (size_t i = 0; i < s.channels.size(); ++i) {
        SCOPED_TRACE(i);
        const CurrentValueData& v = device->Status.CurrentValues[i];
        EXPECT_EQ(0, std::memcmp(v.Reserved, s.channels[i].head.data(), 6));
        EXPECT_EQ(valueOf(v), s.channels[i].value);
        EXPECT_EQ(lastLoggedOf(v), s.channels[i].lastLogged);
    }
    EXPECT_EQ(lastLoggedOf(device->Status.CurrentValues[1]), -1e10f); // nothing logged yet
}

TEST_F(CurrentValues, SubTaskReplies)
{
    auto entries = [](int count) {
        Bytes out;
        for (int i = 0; i < count; ++i) {
            CurrentValueData v{};
            v.Reserved[0] = uint8_t(i);
            const float value = float(i) + 0.5f, last = -1e10f;
            std::memcpy(reinterpret_cast<uint8_t*>(&v) + 6, &value, 4);
            std::memcpy(reinterpret_cast<uint8_t*>(&v) + 10, &last, 4);
            const auto* p = reinterpret_cast<const uint8_t*>(&v);
            out.insert(out.end(), p, p + sizeof v);
        }
        return out;
    };
    auto with = [](Bytes head, const Bytes& tail) {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    struct Case {
        const char* what;
        std::vector<standin::Responses> answers; // to the first and the second poll
        bool ok;
        uint16_t status;
        int count; // -1: the values are left as they were
    };
    const Case cases[] = {
        {"no channels", {{Response::frame(0x83, {0x80, 0})}}, true, lsOk, 0},
        {"byte 0 is not examined", {{Response::frame(0x83, with({0x00, 2}, entries(2)))}}, true, lsOk, 2},
        {"count beyond the entries sent", {{Response::frame(0x83, with({0x80, 5}, with(entries(3), Bytes(7, 1))))}},
         true, lsOk, 3},
        {"more entries than the block holds", {{Response::frame(0x83, with({0x80, 40}, entries(36)))}}, true, lsOk,
         36},
        {"count 255 and a full frame", {{Response::frame(0x83, with({0x80, 255}, with(entries(36), Bytes(3, 9))))}},
         true, lsOk, 36},
        {"no count", {{Response::frame(0x83, {0x80})}}, false, lsUnexpectedReply, -1},
        {"nothing at all", {{Response::frame(0x83, {})}}, false, lsUnexpectedReply, -1},
        // A command's reply arriving late is no result: the result behind it is.
        {"a command reply ahead of the result",
         {{Response::reply(0x12, {}), Response::frame(0x83, with({0x80, 1}, entries(1)))}}, true, lsOk, 1},
        {"a frame no logger sends", {{Response::frame(0x84, {0x80, 0})}}, false, lsUnexpectedReply, -1},
        // One try: a wait frame is answered by one more poll, then it gives up.
        {"busy", {{Response::wait()}, {Response::wait()}}, false, lsNoReply, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clear();
        device->Status.CurrentValueCount = 9;
        device->Status.CurrentValues[0].Reserved[0] = 0xEE;
        sensor.script({Response::byHandler(), Response::byHandler()});
        for (const standin::Responses& answer : c.answers)
            sensor.scriptAnswer(answer);
        EXPECT_EQ(device->GetCurrentValues(), c.ok);
        EXPECT_EQ(device->LastStatus, c.status);
        if (c.count < 0) {
            EXPECT_EQ(device->Status.CurrentValueCount, 9);
            EXPECT_EQ(device->Status.CurrentValues[0].Reserved[0], 0xEE);
        } else {
            EXPECT_EQ(device->Status.CurrentValueCount, c.count);
            for (int i = 0; i < c.count; ++i) {
                EXPECT_EQ(device->Status.CurrentValues[i].Reserved[0], i);
                EXPECT_EQ(valueOf(device->Status.CurrentValues[i]), float(i) + 0.5f);
            }
        }
        EXPECT_EQ(requests(2 + c.answers.size()).size(), 2 + c.answers.size());
    }
}

TEST_F(CurrentValues, RefusedCommandIsNotPolled)
{
    model->update([](SensorState& s) { s.refuse[18] = 0x87; });
    EXPECT_FALSE(device->GetCurrentValues());
    EXPECT_EQ(device->LastStatus, 0xFF87);
    EXPECT_EQ(requests(2).size(), 2u);
}
