// Files from the logger one block per request: images and short record
// streams, through a pseudo-terminal against the stand-in.
#include "TransferFixture.h"

#include "SysUtils.h"

using namespace testsupport;
using standin::Bytes;
using standin::Fault;
using standin::Response;
using standin::hex;

namespace {

Bytes text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

const Bytes EndOk{0xFE, 0xFF};

} // namespace

using SingleFrame = TransferTest;

TEST_F(SingleFrame, FollowsTheDialogueAndRefusesWhatIsOutOfSequence)
{
    struct Case {
        const char* what;
        std::vector<standin::Responses> answers; // one per request
        bool ended;
        enLinkStatus status;
        std::string file;
        std::string requests;
    };
    const Response end = Response::frame(0x89, EndOk);
    const Case cases[] = {
        {"one block then the end", {{Response::frame(0x87, text("abc"))}, {end}}, true, lsOk, "abc", "8A 8B"},
        {"blocks alternate even and odd",
         {{Response::frame(0x87, text("ab"))}, {Response::frame(0x88, text("cd"))}, {Response::frame(0x8F, text("ef"))},
          {Response::frame(0x88, text("gh"))}, {end}},
         true, lsOk, "abcdefgh", "8A 8B 90 8B 90"},
        // Answers to earlier requests arrive ahead of the asked ones: they
        // are dropped, nothing is asked again, and the answers behind them
        // are taken.
        {"a block of the other parity, the answer to an earlier repeat",
         {{Response::frame(0x87, text("ab"))},
          {Response::frame(0x8F, text("ab")), Response::frame(0x88, text("cd"))},
          {Response::frame(0x88, text("cd")), Response::frame(0x8F, text("ef"))},
          {end}},
         true, lsOk, "abcdef", "8A 8B 90 8B"},
        {"an earlier retrieval's end and block ahead of the first block",
         {{end, Response::frame(0x88, text("xy")), Response::frame(0x87, text("ab"))}, {end}}, true, lsOk, "ab",
         "8A 8B"},
        {"the first block again after the first exchange",
         {{Response::frame(0x87, text("ab"))}, {Response::frame(0x87, text("ab")), end}}, true, lsOk, "ab",
         "8A 8B"},
        {"a command reply ahead of a block",
         {{Response::frame(0x87, text("ab"))}, {Response::reply(0x13, {}), Response::frame(0x88, text("cd"))}, {end}},
         true, lsOk, "abcd", "8A 8B 90"},
        {"empty blocks", {{Response::frame(0x87, {})}, {Response::frame(0x88, {})}, {end}}, true, lsOk, "",
         "8A 8B 90"},
        {"wait frame, then the block",
         {{Response::frame(0x87, text("ab"))}, {Response::wait()}, {Response::frame(0x88, text("cd"))}, {end}}, true,
         lsOk, "abcd", "8A 8B 8B 90"},
        {"bad CRC, then the block",
         {{Response::frame(0x87, text("ab"))}, {Response::frame(0x88, text("cd")).withBadCrc()},
          {Response::frame(0x88, text("cd"))}, {end}},
         true, lsOk, "abcd", "8A 8B 8B 90"},
        // Answers to this request that are wrong.
        {"end without FE FF", {{Response::frame(0x87, text("ab"))}, {Response::frame(0x89, {0xFE, 0x00})}}, false,
         lsUnexpectedReply, "ab", "8A 8B"},
        {"end with only one data byte", {{Response::frame(0x87, text("ab"))}, {Response::frame(0x89, {0xFE})}}, false,
         lsUnexpectedReply, "ab", "8A 8B"},
        {"the logger aborts", {{Response::frame(0x87, text("ab"))}, {Response::frame(0x8D, {})}}, false,
         lsUnexpectedReply, "ab", "8A 8B"},
        {"a frame no logger sends", {{Response::frame(0x87, text("ab"))}, {Response::frame(0x84, text("cd"))}}, false,
         lsUnexpectedReply, "ab", "8A 8B"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sensor.clearLog();
        sensor.clearScript();
        for (const standin::Responses& answer : c.answers)
            sensor.scriptAnswer(answer);
        enLinkStatus status = lsNone;
        const std::string name = path("image.bin");
        write(name, text("old content"));
        EXPECT_EQ(link.retrieveSingleFrData(name, false, status), c.ended);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(hex(read(name)), hex(text(c.file)));
        EXPECT_EQ(requestHex(), c.requests);
    }
}

TEST_F(SingleFrame, LogIsAppendedAndCounted)
{
    const Bytes header(100, 0xAB);
    const Bytes stream = standin::recordStream(1000, 7);
    write(path("dl.bin"), header);
    transfer.setBlockSize(300);
    transfer.offer(stream);
    enLinkStatus status = lsNone;
    EXPECT_EQ(link.RetrieveLogFile(path("dl.bin"), 1000, status), 1000);
    EXPECT_EQ(status, lsOk);
    Bytes expected = header;
    expected.insert(expected.end(), stream.begin(), stream.end());
    EXPECT_EQ(read(path("dl.bin")), expected);
    EXPECT_EQ(debug.back(), "Downloaded: 1000 - 1000 - 0");
    EXPECT_EQ(requestHex(), "8A 8B 90 8B 90");
}

TEST_F(SingleFrame, SizeChoosesTheProtocol)
{
    link.QuietTimeMs = 300;
    for (int32_t size : {19999, 20000}) {
        SCOPED_TRACE(size);
        sensor.clearLog();
        transfer.setBlockSize(500);
        transfer.offer(standin::recordStream(static_cast<size_t>(size), 3));
        enLinkStatus status = lsNone;
        const std::string name = path("dl" + std::to_string(size));
        EXPECT_EQ(link.RetrieveLogFile(name, size, status), size);
        const auto sent = requestContents();
        const bool multi = std::find(sent.begin(), sent.end(), 0x92) != sent.end();
        const bool single = std::find(sent.begin(), sent.end(), 0x8B) != sent.end();
        EXPECT_EQ(multi, size >= 20000);
        EXPECT_EQ(single, size < 20000);
        // The multi-frame download leaves the status alone.
        EXPECT_EQ(status, size < 20000 ? lsOk : lsNone);
    }
}

TEST_F(SingleFrame, RecoversFromEachFaultOfTheLogger)
{
    const Bytes stream = standin::recordStream(6000, 11);
    struct Case {
        Fault kind;
        int bytesPerFault;
    };
    // Faults that end in a time-out cost 3 s each: fewer of them.
    const Case cases[] = {{Fault::Noise, 800},         {Fault::DroppedByte, 800}, {Fault::BadCrc, 800},
                          {Fault::RepeatedBlock, 800}, {Fault::WaitFrame, 800},   {Fault::CutShort, 4000},
                          {Fault::Silence, 4000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(standin::faultName(c.kind));
        transfer.resetStats();
        transfer.setBlockSize(200);
        transfer.offer(stream);
        transfer.setFaults({{c.kind}, c.bytesPerFault, 5});
        enLinkStatus status = lsNone;
        const std::string name = path(std::string("f") + standin::faultName(c.kind));
        EXPECT_EQ(link.RetrieveLogFile(name, 6000, status), 6000);
        EXPECT_EQ(status, lsOk);
        EXPECT_EQ(read(name), stream);
        EXPECT_GE(transfer.stats().faults[c.kind], 1);
    }
    transfer.clearFaults();
}

TEST_F(SingleFrame, StrayByteAheadOfAFrameAtEachStep)
{
    // At the line's rate a frame takes a while to arrive; a stray byte ahead
    // of it spoils that exchange, and the clean answer to the repeat must be
    // taken. Three blocks of 64, 64 and 22 bytes: the first, an even and an
    // odd block, then the end.
    sensor.setLineRate(19200);
    transfer.setBlockSize(64);
    const std::vector<uint8_t> dialogue{0x8A, 0x8B, 0x90, 0x8B};
    Bytes image(149);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i * 7);
    const Bytes stream = standin::recordStream(150, 5);
    struct Noise {
        std::string what;
        standin::NoisePlan plan;
        std::vector<bool> spoilt; // which steps of the dialogue get noise
    };
    std::vector<Noise> noises;
    for (size_t step = 0; step < dialogue.size(); ++step) {
        std::vector<bool> spoilt(dialogue.size(), false);
        spoilt[step] = true;
        noises.push_back({"step " + std::to_string(step), {{0x00}, {step}, false, {}}, spoilt});
    }
    noises.push_back({"every step", {{0xFF, 0x00}, {}, true, {}}, std::vector<bool>(dialogue.size(), true)});

    for (bool isImage : {true, false}) {
        for (const Noise& n : noises) {
            SCOPED_TRACE(std::string(isImage ? "image, " : "download, ") + n.what);
            sensor.clearLog();
            transfer.offer(isImage ? standin::wrapFile(image, false) : stream);
            sensor.setNoise(n.plan);
            enLinkStatus status = lsNone;
            const std::string name = path(isImage ? "Conf.bin" : "dl.bin");
            std::remove(name.c_str());
            if (isImage) {
                EXPECT_TRUE(link.RetrieveCCFile(name, status));
                EXPECT_EQ(read(name), image);
            } else {
                EXPECT_EQ(link.RetrieveLogFile(name, 150, status), 150);
                EXPECT_EQ(read(name), stream);
            }
            EXPECT_EQ(status, lsOk);
            // Each spoilt step went out once more, and nothing else did.
            std::vector<uint8_t> expected;
            for (size_t step = 0; step < dialogue.size(); ++step) {
                expected.push_back(dialogue[step]);
                if (n.spoilt[step])
                    expected.push_back(dialogue[step]);
            }
            EXPECT_EQ(requestHex(), hex(expected));
            EXPECT_EQ(sensor.noisyAnswers(), static_cast<int>(std::count(n.spoilt.begin(), n.spoilt.end(), true)));
        }
    }
    sensor.clearNoise();
}

TEST_F(SingleFrame, LateAnswersAndStrayBytesAtADistance)
{
    // Answers that arrive after the PC purged its input and sent its next
    // request are dropped there: nothing is asked again for them, nothing of
    // them is stored, and the next command after the transfer gets its own
    // reply. Blocks of 64, 64 and 22 bytes: the first, an even and an odd
    // block, then the end.
    sensor.setLineRate(19200);
    transfer.setBlockSize(64);
    const Bytes stream = standin::recordStream(150, 5);
    const std::vector<uint8_t> dialogue{0x8A, 0x8B, 0x90, 0x8B};
    struct Case {
        std::string what;
        standin::NoisePlan noise;
        standin::LatePlan late;
        std::vector<uint8_t> requests;
    };
    std::vector<Case> cases;
    // Every answer comes a second time, after the next request.
    cases.push_back({"every answer again, late", {{}, {}, false, {}, 0}, {{0, 1, 2, 3}, 1, true}, dialogue});
    // A stray byte 150 ms ahead of the answer at one step: after 50 ms of
    // quiet the request goes out again, the first answer is taken, and the
    // answer to the repeat arrives once the next request has gone out.
    for (size_t step = 0; step < dialogue.size(); ++step) {
        std::vector<uint8_t> requests = dialogue;
        requests.insert(requests.begin() + static_cast<long>(step), dialogue[step]);
        cases.push_back({"stray byte at step " + std::to_string(step), {{0x00}, {step}, false, {}, 150},
                         {{step + 1}, 1, false}, requests});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sensor.clearLog();
        transfer.offer(stream);
        sensor.setNoise(c.noise);
        sensor.setLate(c.late);
        enLinkStatus status = lsNone;
        const std::string name = path("dl.bin");
        std::remove(name.c_str());
        EXPECT_EQ(link.RetrieveLogFile(name, 150, status), 150);
        EXPECT_EQ(status, lsOk);
        EXPECT_EQ(read(name), stream);
        // The next command: what is still held goes out ahead of its reply.
        ReplyBuffer reply{};
        uint16_t length = 0;
        const uint8_t null = 0;
        EXPECT_TRUE(link.SendCommandAwaitReply(&null, 1, reply, length, 1, 3, status));
        EXPECT_EQ(hex(reply.data(), 2), "80 00");
        std::vector<uint8_t> requests = c.requests;
        requests.push_back(0x80);
        EXPECT_EQ(requestHex(), hex(requests));
        EXPECT_EQ(sensor.lateAnswers(), static_cast<int>(c.late.requests.size()));
    }
    sensor.clearNoise();
    sensor.clearLate();
}

TEST_F(SingleFrame, AbortSendsTheReceiverAbort)
{
    transfer.setBlockSize(100);
    const Bytes stream = standin::recordStream(5000, 2);
    struct Case {
        const char* what;
        bool loggerAcknowledges;
        enLinkStatus status;
    };
    const Case cases[] = {{"acknowledged", true, lsTransferAborted}, {"answered otherwise", false, lsUnexpectedReply}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sensor.clearLog();
        transfer.offer(stream);
        if (!c.loggerAcknowledges)
            sensor.onContent(0x8E, [](const standin::Frame&) { return standin::Responses{Response::frame(0x84, {})}; });
        int blocks = 0;
        link.OnRxActivity = [&](QObject*) {
            if (++blocks == 3)
                link.AbortFileXfer();
        };
        enLinkStatus status = lsNone;
        const std::string name = path(std::string("abort") + (c.loggerAcknowledges ? "1" : "2"));
        const int32_t got = link.RetrieveLogFile(name, 5000, status);
        link.OnRxActivity = nullptr;
        EXPECT_EQ(status, c.status);
        EXPECT_LT(got, 5000);
        const Bytes file = read(name);
        EXPECT_EQ(static_cast<int32_t>(file.size()), got);
        EXPECT_EQ(file, Bytes(stream.begin(), stream.begin() + static_cast<long>(file.size())));
        const auto sent = requestContents();
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.back(), 0x8E);
        EXPECT_EQ(std::count(sent.begin(), sent.end(), 0x8E), 1);
    }
}

TEST_F(SingleFrame, FullDiskEndsTheTransferAndSaysSo)
{
    transfer.setBlockSize(100);
    transfer.offer(standin::recordStream(3000, 4));
    enLinkStatus status = lsNone;
    EXPECT_EQ(link.RetrieveLogFile("/dev/full", 3000, status), 0);
    EXPECT_EQ(status, lsTransferAborted);
    EXPECT_TRUE(debugHas("Cannot write to /dev/full")) << debug.front();
    EXPECT_EQ(debug.back(), "Downloaded: 3000 - 0 - 3000");
    EXPECT_EQ(requestHex(), "8A 8E");
}

TEST_F(SingleFrame, UnopenableFileRequestsNothing)
{
    enLinkStatus status = lsNone;
    EXPECT_FALSE(link.retrieveSingleFrData(path("no/such/folder/x.bin"), false, status));
    EXPECT_EQ(status, lsNone);
    Sleep(100);
    EXPECT_TRUE(sensor.receivedBytes().empty());
}

TEST_F(SingleFrame, HangUpKeepsWhatArrivedAndEndsPromptly)
{
    const Bytes stream = standin::recordStream(10000, 9);
    transfer.setBlockSize(250);
    transfer.offer(stream);
    transfer.hangUpAfter(3000);
    enLinkStatus status = lsNone;
    const auto t0 = std::chrono::steady_clock::now();
    const int32_t got = link.RetrieveLogFile(path("dl.bin"), 10000, status);
    EXPECT_LT(secondsSince(t0), 2.0);
    EXPECT_EQ(status, lsPortClosed);
    EXPECT_FALSE(link.PortOpen);
    EXPECT_GE(got, 2750);
    EXPECT_LT(got, 3250);
    const Bytes file = read(path("dl.bin"));
    EXPECT_EQ(file, Bytes(stream.begin(), stream.begin() + got));

    const double cpu0 = processCpuSeconds();
    const auto t1 = std::chrono::steady_clock::now();
    pumpUntil([] { return false; }, 500);
    EXPECT_LT((processCpuSeconds() - cpu0) / secondsSince(t1), 0.5);
}

using ImageRetrieval = TransferTest;

TEST_F(ImageRetrieval, UnwrapsAndExpandsEitherForm)
{
    Bytes image(3607, 0x00);
    for (size_t i = 0; i < image.size(); i += 37)
        image[i] = static_cast<uint8_t>(i);
    transfer.setBlockSize(128);
    for (bool compressed : {true, false}) {
        SCOPED_TRACE(compressed ? "compressed" : "raw");
        transfer.offer(standin::wrapFile(image, compressed));
        enLinkStatus status = lsNone;
        EXPECT_TRUE(link.RetrieveCCFile(path("Cal.bin"), status));
        EXPECT_EQ(status, lsOk);
        EXPECT_EQ(read(path("Cal.bin")), image);
        EXPECT_FALSE(exists(path("Cal.cmp")));
    }
}

TEST_F(ImageRetrieval, UntrustedWrapperOrTransferFailsTheCall)
{
    struct Case {
        const char* what;
        standin::Responses answers;
        enLinkStatus status;
    };
    const Case cases[] = {
        {"wrapper shorter than header and trailer",
         {Response::frame(0x87, {0x01, 0x00, 0x00}), Response::frame(0x89, EndOk)}, lsOk},
        {"empty file", {Response::frame(0x87, {}), Response::frame(0x89, EndOk)}, lsOk},
        {"literal packet cut short",
         {Response::frame(0x87, {0x01, 0x04, 0x00, 0x05, 'a', 'b', 0xFF, 0xFF}), Response::frame(0x89, EndOk)}, lsOk},
        // What arrived would expand, but the transfer never ended.
        {"transfer broken off",
         {Response::frame(0x87, {0x00, 'a', 'b', 'c'}), Response::frame(0x89, {0xFE, 0x00})}, lsUnexpectedReply},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sensor.clearScript();
        sensor.script(c.answers);
        enLinkStatus status = lsNone;
        EXPECT_FALSE(link.RetrieveCCFile(path("Conf.bin"), status));
        EXPECT_EQ(status, c.status);
        EXPECT_FALSE(exists(path("Conf.cmp")));
    }
}
