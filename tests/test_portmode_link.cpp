// The comms-mode utility's build of the link and device model: the port at
// a chosen baud rate, plain text out, waiting for text in, the delay that
// keeps the window alive, and the jump to the boot code; all through a real
// pseudo-terminal against the stand-in.
#include "BootCode.h"
#include "CommandSet.h"
#include "HvSensor_Quarn.h"
#include "Standin.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "VaComm.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

using namespace testsupport;
using standin::Bytes;
using standin::Response;
using standin::Responses;

namespace {

Bytes bytesOf(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

class PlainTextLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        mapComPort(1, sensor.slavePath());
        device = std::make_unique<TSensor_Quarn>(nullptr);
        device->OnTxEvent = [this](QObject*) { ++txEvents; };
        ASSERT_TRUE(device->StartComs("Com1", 19200));
    }
    void TearDown() override
    {
        device.reset();
        clearComPortMap();
    }

    // Waits for `text` until it is found, the time-out passes or the buffer
    // of `length` bytes is full; `received` is what was collected.
    struct Wait {
        bool found = false;
        std::string received;
        int32_t count = -1;
        double seconds = 0;
    };
    Wait wait(const std::string& text, uint16_t timeout, int32_t length = 8192)
    {
        Wait w;
        std::vector<uint8_t> buffer(static_cast<size_t>(std::max(length, 1)), 0xEE);
        const auto start = std::chrono::steady_clock::now();
        w.found = device->WaitForString(text, buffer.data(), length, w.count, timeout);
        w.seconds = secondsSince(start);
        if (w.count >= 0)
            w.received.assign(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(w.count));
        return w;
    }

    // What the stand-in has received once `count` bytes arrived.
    std::string receivedText(size_t count)
    {
        pumpUntil([&] { return sensor.receivedBytes().size() >= count; }, 2000);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const Bytes b = sensor.receivedBytes();
        return std::string(b.begin(), b.end());
    }

    standin::Standin sensor;
    std::unique_ptr<TSensor_Quarn> device;
    int txEvents = 0;
};

} // namespace

TEST_F(PlainTextLink, PortOpensAtTheRequestedRate)
{
    struct Case {
        int32_t requested;
        int expected;
    };
    const Case cases[] = {{19200, 19200}, {9600, 9600}, {4800, 4800}, {2400, 2400},
                          {1200, 1200},   {14400, 19200}, {0, 19200}, {115200, 19200}};
    // The same link object is opened and closed again for each rate, as the
    // baud-rate search does.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.requested);
        device->CloseComs();
        ASSERT_TRUE(device->StartComs("Com1", c.requested));
        EXPECT_EQ(sensor.terminalBaud(), c.expected);
        EXPECT_EQ(TQuarnComms::LinkBaudRate(c.requested), c.expected);
    }
}

TEST_F(PlainTextLink, StrayByteAheadOfAReplyAtTheLowerRates)
{
    // The quiet line before the repeat is counted in characters at the
    // port's rate: at 1200 baud the bytes of a reply come tens of
    // milliseconds apart, and a repeat in such a gap would be spoilt too.
    const Response reply = Response::reply(0x13, Bytes(40, 0x33));
    for (int rate : {19200, 2400, 1200}) {
        SCOPED_TRACE(rate);
        device->CloseComs();
        ASSERT_TRUE(device->StartComs("Com1", rate));
        sensor.setLineRate(rate);
        sensor.clearLog();
        sensor.script({Response(reply).withNoise({0x00}), reply});
        const uint8_t command = 0x13;
        ReplyBuffer answer{};
        uint16_t length = 0;
        enLinkStatus status = lsNone;
        EXPECT_TRUE(device->Comms->SendCommandAwaitReply(&command, 1, answer, length, 3, 3, status));
        EXPECT_EQ(status, lsOk);
        EXPECT_EQ(length, 43);
        EXPECT_EQ(sensor.requestCount(), 2u);
    }
}

TEST_F(PlainTextLink, SendStringWritesPlainBytes)
{
    struct Case {
        std::string text;
        std::string wire;
    };
    const Case cases[] = {{"b", "b"}, {"23\r", "23\r"}, {"", ""}, {" ", " "}};
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.text + "\"");
        sensor.clearLog();
        txEvents = 0;
        EXPECT_TRUE(device->SendString(c.text));
        EXPECT_EQ(receivedText(c.wire.size()), c.wire);
        EXPECT_EQ(txEvents, 1) << "one transmit notice per text, also for an empty one";
    }
    EXPECT_EQ(standin::hex(bytesOf("b")), "62");
}

TEST_F(PlainTextLink, SendStringDiscardsWhatCameBefore)
{
    sensor.send(bytesOf("stale menu text (E)xit Boot Code"));
    ASSERT_TRUE(pumpUntil([&] { return device->Comms->Port->ReadBufUsed() > 0; }, 2000));
    device->SendString("e");
    EXPECT_FALSE(wait("(E)xit Boot Code", 200).found);
}

TEST_F(PlainTextLink, ClosedPortSendsAndWaitsForNothing)
{
    device->CloseComs();
    txEvents = 0;
    EXPECT_FALSE(device->SendString("b"));
    EXPECT_TRUE(device->Comms->sendString("b")) << "the link's own sending always reports true";
    EXPECT_EQ(txEvents, 0);

    uint8_t buffer[16];
    int32_t received = 1234;
    EXPECT_FALSE(device->WaitForString("x", buffer, sizeof buffer, received, 100));
    EXPECT_EQ(received, 1234) << "the device model does not call the link with the port closed";
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(sensor.receivedBytes().empty());
}

TEST_F(PlainTextLink, WaitFindsTextArrivingInPieces)
{
    std::thread talker([this] {
        for (const char* piece : {"\r\nMain menu\r\n(C)ommunications options\r\n(E)x", "it Boot", " Code\r\n", "Select: "}) {
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
            sensor.send(bytesOf(piece));
        }
    });
    const Wait w = wait("(E)xit Boot Code", 3000);
    talker.join();
    EXPECT_TRUE(w.found);
    EXPECT_LT(w.seconds, 1.5);
    EXPECT_NE(w.received.find("(E)xit Boot Code"), std::string::npos);
}

TEST_F(PlainTextLink, WaitKeepsTheTextAfterThePattern)
{
    // The prompt's value follows the prompt at once; the caller reads it
    // from the collected text.
    std::thread talker([this] {
        // Two writes straight after each other: the value may arrive in a
        // read of its own, well inside the quiet time even on a busy machine.
        sensor.send(bytesOf("\r\nCurrent selection ="));
        sensor.send(bytesOf(" 4\r\nNew selection (1-5): "));
    });
    const Wait w = wait("Current selection =", 3000);
    talker.join();
    ASSERT_TRUE(w.found);
    EXPECT_EQ(w.received, "\r\nCurrent selection = 4\r\nNew selection (1-5): ");
    EXPECT_EQ(w.count, static_cast<int32_t>(w.received.size()));
}

TEST_F(PlainTextLink, WaitEndsAfterItsTimeOut)
{
    sensor.send(bytesOf("Invalid Comm"));
    const Wait w = wait("Invalid Command", 400);
    EXPECT_FALSE(w.found);
    EXPECT_EQ(w.received, "Invalid Comm");
    EXPECT_GE(w.seconds, 0.38);
    EXPECT_LT(w.seconds, 1.5);
}

TEST_F(PlainTextLink, ZeroByteHidesWhatFollows)
{
    sensor.send(Bytes{'x', 0, 'I', 'n', 'v', 'a', 'l', 'i', 'd'});
    const Wait w = wait("Invalid", 300);
    EXPECT_FALSE(w.found);
    EXPECT_EQ(w.count, 9);
}

TEST_F(PlainTextLink, EmptyPatternIsFoundByAnyByte)
{
    sensor.send(bytesOf("?"));
    const Wait w = wait("", 3000);
    EXPECT_TRUE(w.found);
    EXPECT_LT(w.seconds, 1.5);
}

TEST_F(PlainTextLink, FullBufferEndsTheWait)
{
    struct Case {
        const char* name;
        std::string text;
        const char* pattern;
        bool found;
    };
    const std::string filler(8190, 'x');
    const Case cases[] = {
        {"no pattern", std::string(9000, 'x'), "HALVORINE", false},
        {"pattern across the end", filler + "HALVORINE", "HALVORINE", false},
        {"pattern in the last bytes", filler + "OK and more", "OK", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sensor.send(bytesOf(c.text));
        ASSERT_TRUE(pumpUntil([&] { return device->Comms->Port->ReadBufUsed() >= static_cast<int>(c.text.size()); },
                              3000));
        const Wait w = wait(c.pattern, 3000);
        EXPECT_EQ(w.found, c.found);
        EXPECT_EQ(w.count, 8192);
        EXPECT_EQ(w.received, c.text.substr(0, 8192));
        EXPECT_LT(w.seconds, 1.5) << "a full buffer ends the wait at once";
        device->Comms->FlushInBuffer();
    }
}

TEST_F(PlainTextLink, SmallBufferTakesWhatFits)
{
    sensor.send(bytesOf("0123456789"));
    const Wait w = wait("56", 3000, 4);
    EXPECT_FALSE(w.found);
    EXPECT_EQ(w.received, "0123");
}

// A sensor that never stops talking after the pattern held the wait for
// ever while the text went on; it now ends after the wait's own time-out.
TEST_F(PlainTextLink, ChatteringSensorDoesNotHoldTheWait)
{
    std::atomic<bool> stop{false};
    std::thread talker([&] {
        sensor.send(bytesOf("Exiting Boot Code\r\n"));
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!stop && std::chrono::steady_clock::now() < end) {
            sensor.send(bytesOf("."));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const Wait w = wait("Exiting Boot Code", 500);
    stop = true;
    talker.join();
    EXPECT_TRUE(w.found);
    EXPECT_LT(w.seconds, 2.0);
    EXPECT_GT(w.count, 19);
}

TEST_F(PlainTextLink, WaitsKeepTheWindowAlive)
{
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);

    auto start = std::chrono::steady_clock::now();
    device->Delay(250);
    const double delayed = secondsSince(start);
    EXPECT_GE(delayed, 0.24);
    EXPECT_LT(delayed, 1.0);
    EXPECT_GE(ticks, 5) << "timers run during the delay";

    ticks = 0;
    wait("never", 300);
    EXPECT_GE(ticks, 5) << "timers run during a wait for text";

    // The delay is the link's, and waits also when the port is closed.
    device->CloseComs();
    start = std::chrono::steady_clock::now();
    device->Delay(100);
    EXPECT_GE(secondsSince(start), 0.09);
}

TEST_F(PlainTextLink, WaitSleepsWhileNothingArrives)
{
    // An event-driven wait costs next to nothing while the line is quiet.
    const double cpuBefore = processCpuSeconds();
    wait("never", 1000);
    EXPECT_LT(processCpuSeconds() - cpuBefore, 0.5);
}

TEST_F(PlainTextLink, JumpToBoot)
{
    const auto model = standin::installCommandSet(sensor);
    struct Case {
        const char* name;
        Responses answer; // to the jump; empty: the stand-in's boot code answers
        bool ok;
        uint16_t status;
    };
    const Case cases[] = {
        {"accepted", {}, true, lsOk},
        {"refused", {Response::reply(12, {}, 0x85)}, false, 0xFF85},
        // Answers to other requests are waited past.
        {"another echo first", {Response::reply(13, {}), Response::reply(12, {})}, true, lsOk},
        {"a sub-task result first", {Response::frame(0x83, {0x80, 12}), Response::reply(12, {})}, true, lsOk},
        {"a frame no logger sends", {Response::frame(0x84, {0x80, 12})}, false, lsUnexpectedReply},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        standin::BootCode bootCode(sensor);
        sensor.clearLog();
        if (!c.answer.empty()) {
            sensor.scriptAnswer(Responses{Response::byHandler()});
            sensor.scriptAnswer(c.answer);
        }
        EXPECT_EQ(device->JumpToBoot(), c.ok);
        EXPECT_EQ(device->LastStatus, c.status);
        const auto requests = sensor.requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(standin::hex(requests[0].frame.data), "00");
        EXPECT_EQ(standin::hex(requests[1].frame.data), "0C") << "the command alone, one byte";
        EXPECT_EQ(bootCode.jumps(), c.answer.empty() ? 1 : 0);
        sensor.clearScript();
    }
}

TEST_F(PlainTextLink, JumpToBootNeedsTheNullCommand)
{
    sensor.script({Response::reply(0, {}, 0x81)});
    EXPECT_FALSE(device->JumpToBoot());
    EXPECT_EQ(device->LastStatus, 0xFF81);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(sensor.requestCount(), 1u) << "command 12 is not sent";
}
