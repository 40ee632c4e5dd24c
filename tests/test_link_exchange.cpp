// Request and reply through a real pseudo-terminal against the stand-in.
#include "PSQuarnComms.h"
#include "Standin.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "VaComm.h"
#include "VaConfigDialog.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTimer>

#include <thread>

using namespace testsupport;
using standin::Bytes;
using standin::Response;
using standin::hex;

namespace {

const std::string NullCommandWire = "10 02 80 00 CC 8C 10 03";

struct Outcome {
    bool ok = false;
    enLinkStatus status = lsNone;
    ReplyBuffer reply{};
    uint16_t length = 0;
    double seconds = 0;
};

class LinkExchange : public ::testing::Test {
protected:
    void SetUp() override
    {
        mapComPort(1, sensor.slavePath());
        link.OnDebugText = [this](QObject*, const std::string& t) { debug.push_back(t); };
        ASSERT_TRUE(link.OpenPort("Com1", 19200)) << (debug.empty() ? "" : debug.back());
    }
    void TearDown() override { clearComPortMap(); }

    Outcome command(const Bytes& cmd, uint16_t tries = 1, uint8_t timeout = 1)
    {
        Outcome o;
        o.reply.fill(0xEE);
        const auto start = std::chrono::steady_clock::now();
        o.ok = link.SendCommandAwaitReply(cmd.data(), static_cast<uint16_t>(cmd.size()), o.reply, o.length, tries,
                                          timeout, o.status);
        o.seconds = secondsSince(start);
        return o;
    }

    // Request frames the stand-in received, as wire hex.
    size_t sends(size_t atLeast = 0)
    {
        if (atLeast)
            sensor.waitForRequests(atLeast, 2000);
        return sensor.requestCount();
    }

    standin::Standin sensor;
    TQuarnComms link{nullptr};
    std::vector<std::string> debug;
};

} // namespace

TEST_F(LinkExchange, ReplyOnFirstTry)
{
    int tx = 0, rx = 0;
    link.OnTxActivity = [&](QObject* s) { EXPECT_EQ(s, &link); ++tx; };
    link.OnRxActivity = [&](QObject* s) { EXPECT_EQ(s, &link); ++rx; };
    const Outcome o = command({0x00}, 3, 3);
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.status, lsOk);
    EXPECT_EQ(o.length, 3); // status byte, echo, and one byte past the data
    EXPECT_EQ(o.reply[0], 0x80);
    EXPECT_EQ(o.reply[1], 0x00);
    EXPECT_EQ(hex(sensor.receivedBytes()), NullCommandWire);
    EXPECT_EQ(sends(), 1u);
    EXPECT_EQ(tx, 1);
    EXPECT_GE(rx, 1);
    EXPECT_LT(o.seconds, 1.0);
}

TEST_F(LinkExchange, ReplyCarriesItsDataAndOneMoreByte)
{
    Bytes payload;
    for (int i = 0; i < 18; ++i)
        payload.push_back(static_cast<uint8_t>(0x10 + i)); // includes a stuffed 0x10
    sensor.script({Response::reply(0x13, payload)});
    const Outcome o = command({0x13});
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.length, 21); // 20 data bytes + 1
    EXPECT_EQ(o.reply[0], 0x80);
    EXPECT_EQ(o.reply[1], 0x13);
    EXPECT_EQ(hex(o.reply.data() + 2, 18), hex(payload));
}

TEST_F(LinkExchange, LargestReplyFitsTheReplyBuffer)
{
    Bytes payload(507, 0x10); // 509 data bytes, every one stuffed on the wire
    sensor.script({Response::reply(0x13, payload)});
    const Outcome o = command({0x13});
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.length, ReplyBufferSize);
    EXPECT_EQ(o.reply[508], 0x10);
}

TEST_F(LinkExchange, OverlongReplyIsRefusedNotStored)
{
    sensor.script({Response::reply(0x13, Bytes(600, 0x41)), Response::reply(0x13, Bytes(600, 0x41))});
    const Outcome o = command({0x13}, 1, 1);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.status, lsNoReply);
    EXPECT_EQ(o.reply[0], 0xEE); // untouched
    EXPECT_EQ(sends(2), 2u);
}

TEST_F(LinkExchange, FailedTriesAreResentThenGiveUp)
{
    // Each case: the stand-in's answers to the successive sends, the tries
    // and the expected result and number of sends.
    struct Case {
        const char* what;
        standin::Responses answers;
        uint16_t tries;
        bool ok;
        enLinkStatus status;
        size_t sends;
        double maxSeconds;
    };
    const Response good = Response::reply(0x00, {});
    const Case cases[] = {
        {"silence, 2 tries", {Response::silence(), Response::silence(), Response::silence()}, 2, false, lsNoReply, 3, 2.9},
        {"wait frames every try", {Response::wait(), Response::wait(), Response::wait(), Response::wait()}, 3, false,
         lsNoReply, 4, 0.9},
        {"wait frame then reply", {Response::wait(), good}, 3, true, lsOk, 2, 0.9},
        {"bad CRC then reply", {Response(good).withBadCrc(), good}, 3, true, lsOk, 2, 0.9},
        {"noise before the reply", {Response(good).withNoise({0x00, 0x55}), good}, 3, true, lsOk, 2, 0.9},
        {"DLE then garbage then silence", {Response::raw({0x10, 0x02, 0x81, 0x10, 0x41}), good}, 2, true, lsOk, 2, 1.9},
        {"cut-short frame then reply", {Response::raw({0x10, 0x02, 0x81, 0x80}), good}, 2, true, lsOk, 2, 1.9},
        {"a frame no logger sends", {Response::frame(0x84, {0x80, 0x00})}, 3, false, lsUnexpectedReply, 1, 0.9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sensor.clearLog();
        sensor.clearScript();
        sensor.script(c.answers);
        const Outcome o = command({0x00}, c.tries, 1);
        EXPECT_EQ(o.ok, c.ok);
        EXPECT_EQ(o.status, c.status);
        EXPECT_LT(o.seconds, c.maxSeconds);
        // Every send is the same request frame.
        EXPECT_EQ(sends(c.sends), c.sends);
        Sleep(50);
        EXPECT_EQ(sends(), c.sends);
        for (const auto& r : sensor.requests())
            EXPECT_EQ(hex(standin::encodeFrame(r.frame.content, r.frame.data)), NullCommandWire);
    }
}

TEST_F(LinkExchange, StrayBytesAheadOfTheReplyAtLineRate)
{
    // At a real line rate a reply takes milliseconds to arrive: a stray byte
    // ahead of it spoils the try at once, and the rest of the reply must pass
    // before the repeat, or it spoils the repeat's answer too (and the
    // request would go out once more).
    sensor.setLineRate(19200);
    const Response good = Response::reply(0x13, Bytes(300, 0x5A)); // about 160 ms on the line
    const Response noisy = Response(good).withNoise({0x00});
    struct Case {
        const char* what;
        standin::Responses answers;
        uint16_t tries;
        bool ok;
        size_t sends;
    };
    const Case cases[] = {
        {"one stray byte", {noisy, good}, 3, true, 2},
        {"a few stray bytes", {Response(good).withNoise({0xFF, 0x10, 0x41}), good}, 2, true, 2},
        {"noise ahead of every answer", {noisy, noisy, noisy, noisy}, 3, false, 4},
    };
    const uint8_t timeout = 5;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sensor.clearLog();
        sensor.clearScript();
        sensor.script(c.answers);
        size_t sent = 0;
        link.OnTxActivity = [&](QObject*) { ++sent; };
        const Outcome o = command({0x13}, c.tries, timeout);
        link.OnTxActivity = nullptr;
        EXPECT_EQ(o.ok, c.ok);
        EXPECT_EQ(o.status, c.ok ? lsOk : lsNoReply);
        if (c.ok) {
            EXPECT_EQ(o.length, 303);
            EXPECT_EQ(o.reply[301], 0x5A);
        }
        // Each spoilt try ended once the line fell quiet: all of them took
        // less than one try's time-out.
        EXPECT_LT(o.seconds, timeout);
        // Nothing else changes on the wire: the same request, once per try
        // and once after the last.
        EXPECT_EQ(sent, c.sends);
        ASSERT_TRUE(sensor.waitForRequests(c.sends, 10000));
        std::string wire;
        for (size_t i = 0; i < c.sends; ++i)
            wire += (wire.empty() ? "" : " ") + hex(standin::encodeFrame(0x80, {0x13}));
        EXPECT_EQ(hex(sensor.receivedBytes()), wire);
    }
}

TEST_F(LinkExchange, LineThatNeverFallsQuietEndsTheTryAtItsTimeOut)
{
    // Noise for about 3 s against a try of 1 s: the request goes out again
    // at the try's time-out, while the noise still comes.
    sensor.setLineRate(19200);
    sensor.script({Response::raw(Bytes(6000, 0x55))});
    std::chrono::steady_clock::time_point repeated{};
    size_t sent = 0;
    link.OnTxActivity = [&](QObject*) {
        if (++sent == 2)
            repeated = std::chrono::steady_clock::now();
    };
    const Outcome o = command({0x13}, 1, 1);
    link.OnTxActivity = nullptr;
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.status, lsNoReply);
    EXPECT_GE(o.seconds, 0.9);
    ASSERT_EQ(sent, 2u);
    ASSERT_TRUE(sensor.waitForRequests(2, 10000));
    EXPECT_LT(repeated, sensor.requests()[0].answeredAt) << "the repeat waited for the noise to end";
    EXPECT_EQ(hex(sensor.receivedBytes()),
              hex(standin::encodeFrame(0x80, {0x13})) + " " + hex(standin::encodeFrame(0x80, {0x13})));
}

TEST_F(LinkExchange, AnswersToOtherRequestsAreDroppedWithinTheTry)
{
    // Whatever answers another request than the one just sent is no reply
    // to it: it is dropped, and the wait goes on for the reply until the
    // try's time-out; it neither ends the try early nor counts as the reply.
    const Response own = Response::reply(0x13, {0xAA});
    const Bytes ownWire = standin::encodeFrame(0x81, {0x80, 0x13, 0xAA});
    const auto joined = [](Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    struct Case {
        const char* what;
        std::vector<standin::Responses> answers; // one per send
        bool ok;
        size_t sends;
        bool waitedOut; // a try ran to its time-out
    };
    const Case cases[] = {
        {"another command's reply first", {{Response::reply(0x20, {0xBB}), own}}, true, 1, false},
        {"another command's refusal first", {{Response::reply(0x20, {}, 0x85), own}}, true, 1, false},
        {"a sub-task result first", {{Response::frame(0x83, {0x80, 0x13}), own}}, true, 1, false},
        {"transfer answers first",
         {{Response::frame(0x8C, {}), Response::frame(0x87, {0x13}), Response::frame(0x8E, {}), own}}, true, 1,
         false},
        {"another command's reply in the same read as the reply",
         {{Response::raw(joined(standin::encodeFrame(0x81, {0x80, 0x20, 0xBB}), ownWire))}}, true, 1, false},
        {"only another command's reply: the request again after the time-out",
         {{Response::reply(0x20, {0xBB})}, {own}}, true, 2, true},
        {"only answers to other requests on every try",
         {{Response::reply(0x20, {})}, {Response::reply(0x01, {})}, {Response::reply(0x20, {})}}, false, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sensor.clearLog();
        sensor.clearScript();
        for (const standin::Responses& answer : c.answers)
            sensor.scriptAnswer(answer);
        size_t sent = 0;
        link.OnTxActivity = [&](QObject*) { ++sent; };
        const Outcome o = command({0x13}, 2, 1);
        link.OnTxActivity = nullptr;
        EXPECT_EQ(o.ok, c.ok);
        EXPECT_EQ(o.status, c.ok ? lsOk : lsNoReply);
        if (c.ok) {
            EXPECT_EQ(o.length, 4);
            EXPECT_EQ(hex(o.reply.data(), 3), "80 13 AA");
        } else {
            EXPECT_EQ(o.reply[0], 0xEE); // untouched
        }
        EXPECT_EQ(sent, c.sends);
        // A try that ran to its time-out; otherwise none did.
        if (c.waitedOut) {
            EXPECT_GE(o.seconds, 0.9);
        } else {
            EXPECT_LT(o.seconds, 0.9);
        }
        ASSERT_TRUE(sensor.waitForRequests(c.sends, 3000));
        for (const auto& r : sensor.requests())
            EXPECT_EQ(hex(standin::encodeFrame(r.frame.content, r.frame.data)),
                      hex(standin::encodeFrame(0x80, {0x13})));
    }
}

TEST_F(LinkExchange, AnswerHeldBackPastTheNextCommandIsNotItsReply)
{
    // The first command's answer reaches the PC only after the second
    // command went out (after the purge ahead of it): the second command
    // takes its own reply, not the first one's.
    sensor.onCommand(0x13, [](const standin::Frame&) { return standin::Responses{Response::reply(0x13, {0xAA})}; });
    sensor.onCommand(0x01, [](const standin::Frame&) { return standin::Responses{Response::reply(0x01, {0xBB})}; });
    const std::string first = hex(standin::encodeFrame(0x80, {0x13}));
    const std::string second = hex(standin::encodeFrame(0x80, {0x01}));
    struct Case {
        const char* what;
        standin::LatePlan late;
        standin::Responses script; // ahead of the handlers
        bool firstOk;
        std::string wire;
    };
    const Case cases[] = {
        // No answer in the first command's tries; its repeats go unanswered.
        {"the first command given up", {{0}, 3, false},
         {Response::byHandler(), Response::silence(), Response::silence()}, false,
         first + " " + first + " " + first + " " + second},
        // The first try's answer is late; the repeat's is not.
        {"the first command answered at its repeat", {{0}, 2, false}, {}, true, first + " " + first + " " + second},
        // A logger that answers twice, the second time late.
        {"the first command's answer twice", {{0}, 1, true}, {}, true, first + " " + second},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sensor.clearLog();
        sensor.clearScript();
        sensor.script(c.script);
        sensor.setLate(c.late);
        const Outcome a = command({0x13}, 2, 1);
        const Outcome b = command({0x01}, 1, 1);
        EXPECT_EQ(a.ok, c.firstOk);
        if (c.firstOk) {
            EXPECT_EQ(hex(a.reply.data(), 3), "80 13 AA");
        }
        ASSERT_TRUE(b.ok);
        EXPECT_EQ(b.status, lsOk);
        EXPECT_EQ(hex(b.reply.data(), 3), "80 01 BB");
        EXPECT_LT(b.seconds, 0.9) << "the second command was answered in its first try";
        EXPECT_EQ(sensor.lateAnswers(), 1) << "the held answer went out";
        EXPECT_EQ(hex(sensor.receivedBytes()), c.wire);
    }
    sensor.clearLate();
}

TEST_F(LinkExchange, StrayByteAtADistanceAheadOfTheReply)
{
    // A stray byte 150 ms ahead of the first command's reply spoils its try;
    // after 50 ms of quiet the request goes out again. The reply to the
    // first send arrives then and is taken; the answer to the repeat comes
    // after the second command has gone out, and is not its reply.
    sensor.setLineRate(19200);
    sensor.onCommand(0x13, [](const standin::Frame&) { return standin::Responses{Response::reply(0x13, {0xAA})}; });
    sensor.onCommand(0x20, [](const standin::Frame&) { return standin::Responses{Response::reply(0x20, {0xBB})}; });
    standin::NoisePlan noise;
    noise.requests = {0};
    noise.leadMs = 150;
    sensor.setNoise(noise);
    // The PC is quicker than the line: the repeat's answer goes out once
    // the next command has arrived.
    sensor.setLate({{1}, 1, false});
    const Outcome a = command({0x13}, 3, 3);
    const Outcome b = command({0x20}, 3, 3);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(hex(a.reply.data(), 3), "80 13 AA");
    ASSERT_TRUE(b.ok);
    EXPECT_EQ(hex(b.reply.data(), 3), "80 20 BB");
    EXPECT_EQ(sensor.noisyAnswers(), 1);
    EXPECT_EQ(sensor.lateAnswers(), 1);
    const std::string first = hex(standin::encodeFrame(0x80, {0x13}));
    EXPECT_EQ(hex(sensor.receivedBytes()), first + " " + first + " " + hex(standin::encodeFrame(0x80, {0x20})));
    sensor.clearNoise();
    sensor.clearLate();
}

TEST_F(LinkExchange, LateReplyToAnEarlierRequestIsPurged)
{
    // The first request's reply arrives after the PC gave up; it waits in the
    // driver (nothing pumps events meanwhile) and must not be taken as the
    // reply to the next request.
    sensor.script({Response::reply(0x13, {0xAA}).after(1300), Response::silence(), Response::reply(0x13, {0xBB})});
    const Outcome first = command({0x13}, 1, 1);
    EXPECT_EQ(first.status, lsNoReply);
    Sleep(600);
    const Outcome second = command({0x13}, 1, 1);
    ASSERT_TRUE(second.ok);
    EXPECT_EQ(second.reply[2], 0xBB);
}

TEST_F(LinkExchange, SilentLoggerTakesEveryTimeout)
{
    sensor.onCommand(0x00, [](const standin::Frame&) { return standin::Responses{}; });
    const double cpu0 = processCpuSeconds();
    const Outcome o = command({0x00}, 3, 1);
    const double cpu = processCpuSeconds() - cpu0;
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.status, lsNoReply);
    EXPECT_EQ(sends(4), 4u); // one send before each of 3 waits, one after the last
    EXPECT_GE(o.seconds, 2.9);
    EXPECT_LT(o.seconds, 4.5);
    // The waits sleep rather than poll (a generous bound: a polling wait
    // keeps a core busy).
    EXPECT_LT(cpu / o.seconds, 0.2);
}

TEST_F(LinkExchange, WaitsSeeWhatThePortHasAsSoonAsItIsThere)
{
    const Bytes reply = standin::encodeFrame(0x81, {0x80, 0x00});
    const auto driverHolds = [&](size_t n) {
        for (int i = 0; i < 200 && link.Port->ReadBufUsed() < static_cast<int>(n); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return link.Port->ReadBufUsed() >= static_cast<int>(n);
    };

    // Bytes in the driver are read although no event has run since they came.
    sensor.send(reply);
    ASSERT_TRUE(driverHolds(reply.size()));
    uint8_t buf[64];
    EXPECT_EQ(link.GetBlock(buf, sizeof buf), static_cast<int>(reply.size()));

    // Bytes the port took in during an earlier event pump raise no new event:
    // the wait for a frame finds them without waiting for one.
    sensor.send(reply);
    ASSERT_TRUE(driverHolds(reply.size()));
    pumpUntil([] { return false; }, 50);
    BufferFrameData frame{};
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(link.GetFrame(frame, 3));
    EXPECT_LT(secondsSince(t0), 1.0);
    EXPECT_EQ(frame.Content, fcCommandReply);

    // A wait sleeps until the port has data, not until its period ends,
    // and uses next to no processor time meanwhile.
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sensor.send(reply);
    });
    t0 = std::chrono::steady_clock::now();
    const double cpu0 = processCpuSeconds();
    const uint32_t deadline = timeGetTime() + 5000;
    int got = 0;
    for (uint32_t now = timeGetTime(); !tickReached(now, deadline); now = timeGetTime()) {
        if ((got = link.GetBlock(buf, sizeof buf)) > 0)
            break;
        WaitForMessages(deadline - now);
    }
    const double woke = secondsSince(t0);
    const double cpu = processCpuSeconds() - cpu0;
    late.join();
    EXPECT_EQ(got, static_cast<int>(reply.size()));
    EXPECT_LT(woke, 2.5);
    EXPECT_LT(cpu / woke, 0.2);
}

TEST_F(LinkExchange, SubTaskPoll)
{
    sensor.onContent(0x83, [](const standin::Frame& f) {
        EXPECT_TRUE(f.data.empty());
        return standin::Responses{Response::frame(0x83, {0x01, 0x02, 0x03}).after(300)};
    });
    ReplyBuffer reply{};
    uint16_t length = 0;
    enLinkStatus status = lsNone;
    // Only the low byte of the time-out counts: 257 s is 1 s.
    EXPECT_TRUE(link.AwaitSubTaskReply(reply, length, 1, 257, status));
    EXPECT_EQ(status, lsOk);
    EXPECT_EQ(length, 4);
    EXPECT_EQ(hex(reply.data(), 3), "01 02 03");
    EXPECT_EQ(hex(sensor.receivedBytes()), hex(standin::encodeFrame(0x83, {})));

    // A command reply ahead of the result is an earlier request's: the
    // result behind it is taken.
    sensor.onContent(0x83, [](const standin::Frame&) {
        return standin::Responses{Response::reply(0x12, {}), Response::frame(0x83, {0x09})};
    });
    EXPECT_TRUE(link.AwaitSubTaskReply(reply, length, 1, 1, status));
    EXPECT_EQ(status, lsOk);
    EXPECT_EQ(hex(reply.data(), 1), "09");

    // A frame that no logger sends is refused.
    sensor.onContent(0x83, [](const standin::Frame&) { return standin::Responses{Response::frame(0x84, {0x09})}; });
    EXPECT_FALSE(link.AwaitSubTaskReply(reply, length, 1, 1, status));
    EXPECT_EQ(status, lsUnexpectedReply);
}

TEST_F(LinkExchange, ClosedPortSendsNothing)
{
    EXPECT_FALSE(link.ClosePort());
    EXPECT_FALSE(link.PortOpen);
    const Outcome o = command({0x00});
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.status, lsPortClosed);
    Sleep(100);
    EXPECT_TRUE(sensor.receivedBytes().empty());
    EXPECT_FALSE(link.sendBuffer(reinterpret_cast<const uint8_t*>("x"), 1));
}

TEST_F(LinkExchange, AbortEndsTheWaitAndStopsSending)
{
    sensor.onCommand(0x00, [](const standin::Frame&) { return standin::Responses{}; });
    QTimer::singleShot(200, [&] { link.AbortReply(); });
    const Outcome o = command({0x00}, 3, 5);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.status, lsNoReply);
    EXPECT_LT(o.seconds, 1.0);
    Sleep(100);
    EXPECT_EQ(sends(), 1u);

    // While the flag is set nothing goes out, and an exchange that begins then
    // is refused without sending.
    link.PutBlock(reinterpret_cast<const uint8_t*>("abc"), 3);
    BufferFrameData request{};
    request.Content = fcCommand;
    request.Length = 1;
    BufferFrameData reply{};
    EXPECT_EQ(link.SendFrameAwaitReply(request, reply, 1, 1), lsAborted);
    Sleep(100);
    EXPECT_EQ(sensor.receivedBytes().size(), 8u);

    // The next command clears the flag and proceeds normally.
    sensor.onCommand(0x00, [](const standin::Frame&) { return standin::Responses{Response::reply(0x00, {})}; });
    const Outcome next = command({0x00});
    EXPECT_TRUE(next.ok);
    EXPECT_EQ(next.status, lsOk);
}

TEST_F(LinkExchange, NestedCommandInsideAWait)
{
    // A handler that runs during a wait may start its own exchange; the outer
    // wait then goes on.
    sensor.onCommand(0x13, [](const standin::Frame&) {
        return standin::Responses{Response::reply(0x13, {0x01}).after(600)};
    });
    Outcome inner;
    QTimer::singleShot(100, [&] { inner = command({0x00}); });
    const Outcome outer = command({0x13}, 1, 3);
    EXPECT_TRUE(inner.ok);
    // The inner exchange purged the buffers, so the outer reply may be lost
    // or arrive late; either way the outer exchange ends without crashing.
    EXPECT_TRUE(outer.ok || outer.status == lsNoReply);
}

TEST_F(LinkExchange, HangUpEndsTheWaitAndReportsTheClosedPort)
{
    sensor.script({Response::hangUp().after(200)});
    const Outcome o = command({0x00}, 3, 5);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.status, lsPortClosed);
    EXPECT_LT(o.seconds, 2.0);
    EXPECT_FALSE(link.PortOpen);
    ASSERT_FALSE(debug.empty());
    EXPECT_NE(debug.back().find("Port closed"), std::string::npos) << debug.back();

    // Nothing keeps the process busy afterwards.
    const double cpu0 = processCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    pumpUntil([] { return false; }, 1000);
    const double share = (processCpuSeconds() - cpu0) / secondsSince(t0);
    EXPECT_LT(share, 0.5);

    const Outcome again = command({0x00}, 3, 5);
    EXPECT_EQ(again.status, lsPortClosed);
    EXPECT_LT(again.seconds, 0.5);
}

TEST_F(LinkExchange, GetBlockWithNothingReceived)
{
    int rx = 0;
    link.OnRxActivity = [&](QObject*) { ++rx; };
    uint8_t buf[16];
    EXPECT_EQ(link.GetBlock(buf, sizeof buf), 0);
    EXPECT_EQ(rx, 0);
}

TEST_F(LinkExchange, SecondOpenerOfABusyPortFails)
{
    TQuarnComms other(nullptr);
    std::string why;
    other.OnDebugText = [&](QObject*, const std::string& t) { why = t; };
    EXPECT_FALSE(other.OpenPort("Com1", 19200));
    EXPECT_FALSE(other.PortOpen);
    EXPECT_FALSE(why.empty());
}

TEST(LinkPort, OpenAndCloseRules)
{
    // A name without a number raises to the caller.
    TQuarnComms link(nullptr);
    EXPECT_THROW(link.OpenPort("ComX", 19200), EConvertError);
    EXPECT_THROW(link.OpenPort("Com", 19200), EConvertError);
    EXPECT_FALSE(link.PortOpen);

    // Never opened: closing does nothing and reports false.
    TQuarnComms fresh(nullptr);
    EXPECT_FALSE(fresh.ClosePort());

    // A port that does not exist: false, the reason goes to the debug text.
    clearComPortMap();
    mapComPort(1, "/dev/null-does-not-exist");
    std::string why;
    link.OnDebugText = [&](QObject*, const std::string& t) { why = t; };
    EXPECT_FALSE(link.OpenPort("Com1", 19200));
    EXPECT_FALSE(link.PortOpen);
    EXPECT_NE(why.find("Cannot open COM1"), std::string::npos) << why;
    EXPECT_FALSE(link.OpenPort("Com2", 19200));
    EXPECT_EQ(why, "COM2 does not exist");
    clearComPortMap();
}

TEST(LinkPort, PortZeroAsksForTheDevice)
{
    standin::Standin sensor;
    TQuarnComms link(nullptr);
    TVaConfigDialog::ExecuteHook = [&](TVaConfigDialog& d) {
        d.DevicePathEdit->setText(QString::fromStdString(sensor.slavePath()));
        return true;
    };
    EXPECT_TRUE(link.OpenPort("Com0", 19200));
    EXPECT_TRUE(link.PortOpen);
    ASSERT_NE(link.PortDialog, nullptr);
    EXPECT_EQ(link.PortDialog->windowTitle().toStdString(), "COM port configuration");
    ReplyBuffer reply{};
    uint16_t length = 0;
    enLinkStatus status = lsNone;
    const uint8_t cmd = 0;
    EXPECT_TRUE(link.SendCommandAwaitReply(&cmd, 1, reply, length, 1, 1, status));
    link.ClosePort();

    TVaConfigDialog::ExecuteHook = [](TVaConfigDialog&) { return false; };
    EXPECT_FALSE(link.OpenPort("Com0", 19200));
    EXPECT_FALSE(link.PortOpen);
    TVaConfigDialog::ExecuteHook = nullptr;
}
