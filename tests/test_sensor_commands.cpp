// The command set against the stand-in logger: the request on the wire, the
// plain and status forms, and the judging of replies.
#include "SensorFixture.h"
#include "SysUtils.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testsupport;
using standin::Bytes;
using standin::Response;
using standin::SensorState;
using standin::hex;

namespace {

const std::string NullWire = "10 02 80 00 CC 8C 10 03";

TDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return EncodeDate(y, mo, d) + EncodeTime(h, mi, s, ms);
}

struct CommandCase {
    const char* name;
    Bytes request; // data of the command frame
    int timeout;   // seconds
    int tries;
    std::function<bool(TSensor_Quarn&, uint16_t*)> statusForm;
    // The plain form for the windows; empty where the caller goes on to a
    // transfer or a sub-task and is tested with it.
    std::function<bool(TSensor_Quarn&)> plainForm;
    bool plainStoresNone;
    // Checks what the accepted plain (or else status) form did.
    std::function<void(const SensorState&, const TSensor_Quarn&)> effect;
};

ReplyBuffer channelBuffer;

const std::vector<CommandCase>& commandCases()
{
    static const std::vector<CommandCase> cases = {
        {"NullCommand", {0x00}, 1, 7,
         [](TSensor_Quarn& d, uint16_t* st) {
             const bool ok = d.NullCommand();
             *st = d.LastStatus;
             return ok;
         },
         {}, true, {}},
        {"GetDateTimeBounds", {0x01}, 10, 3,
         [](TSensor_Quarn& d, uint16_t* st) {
             Timestamp first{}, last{};
             return d.GetDateTimeBounds(&first, &last, st);
         },
         [](TSensor_Quarn& d) { return d.GetDateTimeBounds(); }, false,
         [](const SensorState&, const TSensor_Quarn& d) {
             EXPECT_EQ(d.Status.FirstLoggedTime, at(2024, 1, 15, 8, 0, 0));
             EXPECT_EQ(d.Status.LastLoggedTime, at(2024, 6, 30, 17, 45, 10));
         }},
        {"ClearMemory", {0x03, 'T', 'e', 's', 't', 'i', 'n', 'g', ' ', 'M', 'e', 'm', 'o', 'r', 'y', ' ', 'c', 'l',
                         'e', 'a', 'r', 'e', 'd'},
         10, 3, [](TSensor_Quarn& d, uint16_t* st) { return d.ClearMemory("Testing Memory cleared", st); },
         [](TSensor_Quarn& d) { return d.ClearLoggerMemory("Testing Memory cleared"); }, false,
         [](const SensorState& s, const TSensor_Quarn&) {
             EXPECT_EQ(s.clearTexts, std::vector<std::string>{"Testing Memory cleared"});
             EXPECT_EQ(s.memoryUsed, 0u);
         }},
        {"GetConfigurationFile", {0x04}, 3, 3,
         [](TSensor_Quarn& d, uint16_t* st) { return d.GetConfigurationFile(st); }, {}, true,
         [](const SensorState& s, const TSensor_Quarn&) { EXPECT_EQ(s.fileCommands, Bytes{4}); }},
        {"PutConfigurationFile", {0x05}, 3, 3,
         [](TSensor_Quarn& d, uint16_t* st) { return d.PutConfigurationFile(st); }, {}, true,
         [](const SensorState& s, const TSensor_Quarn&) { EXPECT_EQ(s.fileCommands, Bytes{5}); }},
        {"GetCalibrationFile", {0x06}, 3, 3,
         [](TSensor_Quarn& d, uint16_t* st) { return d.GetCalibrationFile(st); }, {}, true,
         [](const SensorState& s, const TSensor_Quarn&) { EXPECT_EQ(s.fileCommands, Bytes{6}); }},
        {"PutCalibrationFile", {0x07}, 3, 3,
         [](TSensor_Quarn& d, uint16_t* st) { return d.PutCalibrationFile(st); }, {}, true,
         [](const SensorState& s, const TSensor_Quarn&) { EXPECT_EQ(s.fileCommands, Bytes{7}); }},
        {"LogComment", {0x08, 'V', 'A', 'B', '_', '_', '_', '_', '_', 'h', 'i', 0x00}, 3, 3,
         [](TSensor_Quarn& d, uint16_t* st) { return d.LogComment("VAB_____hi", st); },
         [](TSensor_Quarn& d) { return d.LogComment("VAB_____hi"); }, true,
         [](const SensorState& s, const TSensor_Quarn&) {
             EXPECT_EQ(s.comments, std::vector<std::string>{"VAB_____hi"});
         }},
        {"ChangeDateTime", {0x0B, 24, 5, 6, 7, 8, 9}, 5, 3,
         [](TSensor_Quarn& d, uint16_t* st) { return d.ChangeDateTime(Timestamp{24, 5, 6, 7, 8, 9}, st); },
         [](TSensor_Quarn& d) { return d.setDateTime(at(2024, 5, 6, 7, 8, 9, 500), false); }, true,
         [](const SensorState& s, const TSensor_Quarn&) {
             int64_t set = 0;
             ASSERT_TRUE(standin::stampToWallSeconds({{24, 5, 6, 7, 8, 9}}, set));
             EXPECT_NEAR(double(s.clockOffsetSeconds), double(set - standin::localWallSecondsNow()), 2.0);
         }},
        {"StartScheduler", {0x10, 0x03}, 10, 3,
         [](TSensor_Quarn& d, uint16_t* st) { return d.StartScheduler(uint8_t(3), st); },
         [](TSensor_Quarn& d) { return d.StartScheduler(uint16_t(3)); }, true,
         [](const SensorState& s, const TSensor_Quarn&) {
             EXPECT_TRUE(s.logging);
             EXPECT_EQ(s.startMode, 3);
         }},
        {"StopScheduler", {0x11}, 5, 3, [](TSensor_Quarn& d, uint16_t* st) { return d.StopScheduler(st); },
         [](TSensor_Quarn& d) { return d.StopScheduler(); }, true,
         [](const SensorState& s, const TSensor_Quarn&) { EXPECT_FALSE(s.logging); }},
        {"GetCurrentValues", {0x12}, 5, 3, [](TSensor_Quarn& d, uint16_t* st) { return d.GetCurrentValues(st); },
         {}, true, [](const SensorState& s, const TSensor_Quarn&) { EXPECT_TRUE(s.measuring); }},
        {"LoggerStatus", {0x13}, 3, 3,
         [](TSensor_Quarn& d, uint16_t* st) {
             ReplyBuffer reply{};
             uint16_t length = 0;
             return d.LoggerStatus(st, reply, length);
         },
         [](TSensor_Quarn& d) { return d.LoggerStatus(); }, true,
         [](const SensorState& s, const TSensor_Quarn& d) {
             EXPECT_EQ(std::string(d.Status.ConnectedSensorID), s.sensorId);
         }},
        {"WipeNowCommand", {0x1B}, 15, 1, [](TSensor_Quarn& d, uint16_t* st) { return d.WipeNowCommand(st); },
         [](TSensor_Quarn& d) { return d.TurbidityWipeNow(); }, true,
         [](const SensorState& s, const TSensor_Quarn&) { EXPECT_EQ(s.wipes, 1); }},
        {"SetLDO_Offset", {0x1F, 0xC7, 0xCF, 0xFF, 0xFF}, 10, 3,
         [](TSensor_Quarn& d, uint16_t* st) { return d.SetLDO_Offset(-12345, st); },
         [](TSensor_Quarn& d) { return d.SetLDO_Offset(-12345); }, true,
         [](const SensorState& s, const TSensor_Quarn&) { EXPECT_EQ(s.odoOffset, -12345); }},
        {"SetLDO_Span", {0x20, 0x90, 0xD0, 0x03, 0x00}, 10, 3,
         [](TSensor_Quarn& d, uint16_t* st) { return d.SetLDO_Span(250000, st); },
         [](TSensor_Quarn& d) { return d.SetLDO_Span(250000); }, true,
         [](const SensorState& s, const TSensor_Quarn&) { EXPECT_EQ(s.odoSpan, 250000); }},
        {"LDO_Calibration_Reset", {0x21}, 10, 3,
         [](TSensor_Quarn& d, uint16_t* st) { return d.LDO_Calibration_Reset(st); },
         [](TSensor_Quarn& d) { return d.LDO_Calibration_Reset(); }, true,
         [](const SensorState& s, const TSensor_Quarn&) { EXPECT_EQ(s.odoResets, 1); }},
        {"Get_ChannelName_Units", {0x32, 0x00}, 3, 3,
         [](TSensor_Quarn& d, uint16_t* st) { return d.Get_ChannelName_Units(0, channelBuffer, st); },
         [](TSensor_Quarn& d) { return d.Get_ChannelName_Units(0, channelBuffer); }, true,
         [](const SensorState&, const TSensor_Quarn&) {
             // Reply bytes from 3 on, and the one byte past the data.
             EXPECT_EQ(hex(channelBuffer.data(), 9), "54 65 6D 70 00 43 00 00 EE");
         }},
        {"Get_Channel_Numbers", {0x33, 0x00}, 3, 3,
         [](TSensor_Quarn& d, uint16_t* st) { return d.Get_Channel_Numbers(0, channelBuffer, st); },
         [](TSensor_Quarn& d) { return d.Get_Channel_Numbers(0, channelBuffer); }, true,
         [](const SensorState&, const TSensor_Quarn&) { EXPECT_EQ(hex(channelBuffer.data(), 5), "00 14 01 00 EE"); }},
    };
    return cases;
}

class Commands : public SensorFixture {
protected:
    void reset(bool logging = false)
    {
        clear();
        model->update([logging](SensorState& s) { s = SensorState{}; s.logging = logging; });
        channelBuffer.fill(0xEE);
        device->LastStatus = lsUnexpectedReply; // anything but lsNone and lsOk
    }
    std::vector<std::string> wire(size_t count)
    {
        std::vector<std::string> out;
        for (const auto& f : requests(count))
            out.push_back(hex(standin::encodeFrame(f.content, f.data)));
        return out;
    }
};

} // namespace

TEST_F(Commands, PlainFormSendsTheNullCommandThenTheCommand)
{
    for (const CommandCase& c : commandCases()) {
        if (!c.plainForm)
            continue;
        SCOPED_TRACE(c.name);
        reset(true);
        // What LastStatus holds when the first frame goes out.
        uint16_t atFirstSend = 0;
        bool sent = false;
        device->OnTxEvent = [&](QObject*) {
            if (!sent)
                atFirstSend = device->LastStatus;
            sent = true;
        };
        EXPECT_TRUE(c.plainForm(*device));
        device->OnTxEvent = nullptr;
        EXPECT_EQ(device->LastStatus, lsOk);
        EXPECT_EQ(atFirstSend, c.plainStoresNone ? uint16_t(lsNone) : uint16_t(lsUnexpectedReply));
        // The exact bytes on the wire.
        EXPECT_EQ(hex(sensor.receivedBytes()), NullWire + " " + commandWire(c.request));
        EXPECT_EQ(wire(2).size(), 2u);
        if (c.effect)
            c.effect(model->state(), *device);
    }
}

TEST_F(Commands, StatusFormSendsOnlyItsCommand)
{
    for (const CommandCase& c : commandCases()) {
        SCOPED_TRACE(c.name);
        reset(true);
        uint16_t status = lsNone;
        EXPECT_TRUE(c.statusForm(*device, &status));
        EXPECT_EQ(status, lsOk);
        EXPECT_EQ(wire(1), std::vector<std::string>{commandWire(c.request)});
        if (c.effect && !c.plainForm)
            c.effect(model->state(), *device);
    }
}

TEST_F(Commands, RefusalCarriesTheLoggersErrorByteSignExtended)
{
    struct Refusal {
        uint8_t error;
        uint16_t status;
    };
    for (const CommandCase& c : commandCases()) {
        for (const Refusal r : {Refusal{0x85, 0xFF85}, Refusal{0x81, 0xFF81}, Refusal{0x05, 0x0005},
                                Refusal{0xFF, 0xFFFF}}) {
            SCOPED_TRACE(testing::Message() << c.name << " refused with " << int(r.error));
            reset();
            model->update([&](SensorState& s) { s.refuse[c.request[0]] = r.error; });
            uint16_t status = lsNone;
            EXPECT_FALSE(c.statusForm(*device, &status));
            EXPECT_EQ(status, r.status);
            EXPECT_EQ(requests(1).size(), 1u); // a refusal is not retried
            if (c.plainForm && c.request[0] != 0) {
                EXPECT_FALSE(c.plainForm(*device));
                EXPECT_EQ(device->LastStatus, r.status);
            }
        }
    }
}

TEST_F(Commands, AnswersToOtherRequestsAreWaitedPastTooShortARepliesFail)
{
    for (const CommandCase& c : commandCases()) {
        SCOPED_TRACE(c.name);
        const uint8_t code = c.request[0];
        struct Case {
            const char* what;
            Response ahead; // arrives just before the logger's own reply
            bool ok;
            uint16_t status;
        };
        const Case cases[] = {
            // The answers to earlier requests are dropped; the reply to this
            // command behind them is taken.
            {"another command's reply", Response::reply(uint8_t(code + 1), Bytes(20, 0)), true, lsOk},
            {"another command's refusal", Response::reply(uint8_t(code ^ 0x40), {}, 0x85), true, lsOk},
            {"a sub-task result", Response::frame(0x83, {0x80, code}), true, lsOk},
            // No room for the verdict and the echo: no reply to this command.
            {"verdict only", Response::frame(0x81, {0x80}), false, lsUnexpectedReply},
            {"no data", Response::frame(0x81, {}), false, lsUnexpectedReply},
        };
        for (const Case& b : cases) {
            SCOPED_TRACE(b.what);
            reset();
            sensor.scriptAnswer({b.ahead, Response::byHandler()});
            uint16_t status = lsNone;
            EXPECT_EQ(c.statusForm(*device, &status), b.ok);
            EXPECT_EQ(status, b.status);
            EXPECT_EQ(wire(1), std::vector<std::string>{commandWire(c.request)});
        }
    }
}

TEST_F(Commands, WaitFramesUseUpEveryTry)
{
    // A wait frame is a failed try answered at once, so the number of sends
    // shows the tries without waiting out the time-outs.
    for (const CommandCase& c : commandCases()) {
        SCOPED_TRACE(c.name);
        reset();
        sensor.script(standin::Responses(size_t(c.tries) + 1, Response::wait()));
        uint16_t status = lsNone;
        EXPECT_FALSE(c.statusForm(*device, &status));
        EXPECT_EQ(status, lsNoReply);
        const auto sent = wire(size_t(c.tries) + 1);
        EXPECT_EQ(sent, std::vector<std::string>(size_t(c.tries) + 1, commandWire(c.request)));
    }
}

TEST_F(Commands, PlainFormStopsWhenTheNullCommandFails)
{
    for (const CommandCase& c : commandCases()) {
        if (!c.plainForm)
            continue;
        SCOPED_TRACE(c.name);
        reset();
        sensor.script(standin::Responses(8, Response::wait())); // the null command's 7 tries
        EXPECT_FALSE(c.plainForm(*device));
        EXPECT_EQ(device->LastStatus, lsNoReply);
        EXPECT_EQ(wire(8), std::vector<std::string>(8, NullWire));
    }
}

TEST_F(Commands, ClosedPortSendsNothing)
{
    device->CloseComs();
    for (const CommandCase& c : commandCases()) {
        SCOPED_TRACE(c.name);
        reset();
        uint16_t status = lsNone;
        EXPECT_FALSE(c.statusForm(*device, &status));
        EXPECT_EQ(status, lsPortClosed);
        if (c.plainForm) {
            EXPECT_FALSE(c.plainForm(*device));
            EXPECT_EQ(device->LastStatus, lsPortClosed);
        }
    }
    Sleep(50);
    EXPECT_TRUE(sensor.receivedBytes().empty());
}

TEST_F(Commands, StartSchedulerTakesOneByte)
{
    EXPECT_FALSE(device->StartScheduler(uint16_t(256)));
    EXPECT_EQ(device->LastStatus, lsNone);
    EXPECT_FALSE(device->StartScheduler(uint16_t(0xFFFF)));
    Sleep(50);
    EXPECT_TRUE(sensor.receivedBytes().empty());

    EXPECT_TRUE(device->StartScheduler(uint16_t(255)));
    EXPECT_EQ(wire(2).back(), commandWire({0x10, 0xFF}));
    EXPECT_EQ(model->state().startMode, 255);
}

TEST_F(Commands, TextsOfClearAndComment)
{
    // An empty text sends the code alone (the comment still ends in a zero).
    EXPECT_TRUE(device->ClearLoggerMemory(""));
    EXPECT_TRUE(device->LogComment(""));
    EXPECT_EQ(wire(4)[1], commandWire({0x03}));
    EXPECT_EQ(wire(4)[3], commandWire({0x08, 0x00}));

    // Longer texts than the command buffer holds are cut, never written past it.
    clear();
    const std::string longText(300, 'x');
    EXPECT_TRUE(device->ClearLoggerMemory(longText));
    EXPECT_TRUE(device->LogComment(longText));
    const auto frames = requests(4);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[1].data.size(), 255u);
    EXPECT_EQ(frames[3].data.size(), 256u);
    EXPECT_EQ(frames[3].data.back(), 0x00);
    const SensorState s = model->state();
    EXPECT_EQ(s.clearTexts.back(), std::string(254, 'x'));
    EXPECT_EQ(s.comments.back(), std::string(254, 'x'));

    // 8-bit text goes out unchanged.
    clear();
    EXPECT_TRUE(device->LogComment("E\xE9\x10_____"));
    EXPECT_EQ(wire(2)[1], commandWire({0x08, 'E', 0xE9, 0x10, '_', '_', '_', '_', '_', 0x00}));
}

TEST_F(Commands, SetDateTimeFromThePcClockOrAGivenTime)
{
    DateTimeClock::setSource([] { return at(2031, 12, 31, 23, 59, 58, 750); });
    EXPECT_TRUE(device->setDateTime(at(2001, 1, 1), true));
    EXPECT_EQ(wire(2)[1], commandWire({0x0B, 31, 12, 31, 23, 59, 58}));

    clear();
    EXPECT_TRUE(device->setDateTime(at(2000, 2, 29, 0, 0, 1), false));
    EXPECT_EQ(wire(2)[1], commandWire({0x0B, 0, 2, 29, 0, 0, 1}));

    // A time the sensor cannot hold (1999 wraps to year byte 255) goes out as
    // it is; this logger refuses it.
    clear();
    EXPECT_FALSE(device->setDateTime(at(1999, 12, 31, 12), false));
    EXPECT_EQ(wire(2)[1], commandWire({0x0B, 255, 12, 31, 12, 0, 0}));
    EXPECT_EQ(device->LastStatus, 0xFF84);
}

TEST_F(Commands, DateTimeBoundsAsReceived)
{
    Timestamp first{}, last{};
    uint16_t status = lsNone;
    ASSERT_TRUE(device->GetDateTimeBounds(&first, &last, &status));
    EXPECT_EQ(0, std::memcmp(&first, model->state().firstLogged.data(), 6));
    EXPECT_EQ(0, std::memcmp(&last, model->state().lastLogged.data(), 6));

    struct Case {
        const char* what;
        Bytes payload; // after the verdict and the echo
        TDateTime first, last;
    };
    const Case cases[] = {
        {"nothing logged", Bytes(13, 0), 0.0, 0.0},
        {"invalid first", {0, 24, 2, 30, 0, 0, 0, 24, 3, 1, 0, 0, 0}, 0.0, at(2024, 3, 1)},
        // A reply cut short: what is missing counts as no time.
        {"last cut short", {0, 24, 2, 28, 1, 2, 3, 24, 3}, at(2024, 2, 28, 1, 2, 3), 0.0},
        {"both missing", {0}, 0.0, 0.0},
        {"nothing after the echo", {}, 0.0, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        device->Status.FirstLoggedTime = device->Status.LastLoggedTime = 1234.5;
        sensor.script({Response::byHandler(), Response::reply(0x01, c.payload)});
        EXPECT_TRUE(device->GetDateTimeBounds());
        EXPECT_EQ(device->Status.FirstLoggedTime, c.first);
        EXPECT_EQ(device->Status.LastLoggedTime, c.last);
    }

    // A failure leaves the times as they were.
    model->update([](SensorState& s) { s.refuse[1] = 0x90; });
    device->Status.FirstLoggedTime = 1.0;
    EXPECT_FALSE(device->GetDateTimeBounds());
    EXPECT_EQ(device->Status.FirstLoggedTime, 1.0);
    EXPECT_EQ(device->LastStatus, 0xFF90);
}

TEST_F(Commands, ChannelDataOfTheLongestReplyFitsTheBuffer)
{
    // 509 data bytes: the verdict, the echo, the channel and 506 more.
    Bytes payload{0x00};
    for (int i = 0; i < 506; ++i)
        payload.push_back(uint8_t(i));
    sensor.script({Response::reply(0x32, payload)});
    channelBuffer.fill(0xEE);
    uint16_t status = lsNone;
    ASSERT_TRUE(device->Get_ChannelName_Units(0, channelBuffer, &status));
    EXPECT_EQ(channelBuffer[0], 0);
    EXPECT_EQ(channelBuffer[505], uint8_t(505));
    EXPECT_EQ(channelBuffer[506], 0x00); // the byte past the data
    EXPECT_EQ(channelBuffer[507], 0xEE);

    // An unknown channel is refused by this logger; the buffer is left alone.
    channelBuffer.fill(0xEE);
    EXPECT_FALSE(device->Get_Channel_Numbers(9, channelBuffer));
    EXPECT_EQ(device->LastStatus, 0xFF84);
    EXPECT_EQ(channelBuffer[0], 0xEE);
}
