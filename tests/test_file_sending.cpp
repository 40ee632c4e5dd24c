// Files to the logger: the smaller of the coded and the plain form inside the
// wrapper, in acknowledged blocks, through a pseudo-terminal against the
// stand-in.
#include "TransferFixture.h"

#include "SysUtils.h"

#include <sys/stat.h>

using namespace testsupport;
using standin::Bytes;
using standin::Response;
using standin::hex;

namespace {

class FileSending : public TransferTest {
protected:
    void SetUp() override
    {
        TransferTest::SetUp();
        transfer.setOnReceived([this](const Bytes& file) {
            std::lock_guard<std::mutex> lock(heldMutex);
            held.push_back(file);
            return true;
        });
    }

    // The frames the PC sent as "87:230 88:12 89:2".
    std::string blocks() const
    {
        std::string out;
        for (const auto& r : sensor.requests()) {
            if (!out.empty())
                out += ' ';
            out += hex({r.frame.content}) + ":" + std::to_string(r.frame.data.size());
        }
        return out;
    }
    Bytes sentBytes() const
    {
        Bytes out;
        for (const auto& r : sensor.requests())
            if (r.frame.content == 0x87 || r.frame.content == 0x88)
                out.insert(out.end(), r.frame.data.begin(), r.frame.data.end());
        return out;
    }
    bool noTemporaries(const std::string& base) const { return !exists(base + ".cmp") && !exists(base + ".bindup"); }
    std::vector<Bytes> heldFiles()
    {
        std::lock_guard<std::mutex> lock(heldMutex);
        return held;
    }

    std::mutex heldMutex;
    std::vector<Bytes> held;
};

Bytes noRepeats(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(i * 7 + i / 256);
    return b;
}

std::string expectedBlocks(size_t wrapperSize)
{
    std::string out = "87:" + std::to_string(std::min<size_t>(wrapperSize, 230));
    size_t left = wrapperSize > 230 ? wrapperSize - 230 : 0;
    bool lastWasFull = wrapperSize >= 230;
    while (left > 0) {
        const size_t n = std::min<size_t>(left, 230);
        out += " 88:" + std::to_string(n);
        lastWasFull = n == 230;
        left -= n;
    }
    // The end is only noticed by a read that finds nothing more.
    if (lastWasFull)
        out += " 88:0";
    return out + " 89:2";
}

} // namespace

TEST_F(FileSending, SendsTheSmallerFormInBlocks)
{
    Bytes sparse(2853, 0x00);
    for (size_t i = 0; i < sparse.size(); i += 50)
        sparse[i] = static_cast<uint8_t>(i);
    struct Case {
        const char* what;
        Bytes file;
        bool compressed;
    };
    const Case cases[] = {
        {"an image that codes smaller", sparse, true},
        {"an image that does not", noRepeats(2853), false},
        {"a wrapper of exactly two blocks", noRepeats(459), false},
        {"an empty file", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sensor.clearLog();
        const std::string name = path("Conf.bin");
        write(name, c.file);
        enLinkStatus status = lsNone;
        EXPECT_TRUE(link.SendFile(name, 1, status));
        EXPECT_EQ(status, lsOk);
        const Bytes wrapper = sentBytes();
        ASSERT_FALSE(wrapper.empty());
        EXPECT_EQ(wrapper[0], c.compressed ? 0x01 : 0x00);
        if (c.compressed) {
            EXPECT_LT(wrapper.size(), c.file.size());
            EXPECT_EQ(wrapper.size(), standin::rleEncode(c.file).size() + 5); // both coders are minimal here
        } else {
            EXPECT_EQ(wrapper.size(), c.file.size() + 1);
        }
        EXPECT_EQ(blocks(), expectedBlocks(wrapper.size()));
        ASSERT_FALSE(heldFiles().empty());
        EXPECT_EQ(heldFiles().back(), c.file);
        EXPECT_EQ(read(name), c.file); // the file itself is left as it was
        EXPECT_TRUE(noTemporaries(path("Conf")));
    }
}

TEST_F(FileSending, WithoutCompressionTheFileGoesAsItIs)
{
    write(path("raw.bin"), Bytes(300, 0x41));
    transfer.setOnReceived(nullptr);
    sensor.onContent(0x89, [](const standin::Frame&) { return standin::Responses{Response::frame(0x8C, {})}; });
    enLinkStatus status = lsNone;
    EXPECT_TRUE(link.SendFile(path("raw.bin"), 0, status));
    EXPECT_EQ(sentBytes(), Bytes(300, 0x41));
    EXPECT_EQ(blocks(), "87:230 88:70 89:2");
}

TEST_F(FileSending, LoggerAnswersOutOfSequence)
{
    struct Case {
        const char* what;
        std::vector<standin::Responses> answers; // one per frame sent
        bool ok;
        enLinkStatus status;
        std::string sent;
    };
    const Response start = Response::frame(0x8A, {});
    const Response done = Response::frame(0x8C, {});
    const Case cases[] = {
        {"end frame answered with a request for more: sent again",
         {{start}, {Response::frame(0x8B, {})}, {done}}, true, lsOk, "87:101 89:2 89:2"},
        // Answers to earlier frames (or an earlier send's) ahead of the
        // asked ones are dropped; nothing goes out again for them.
        {"a later block's acknowledgement ahead of the first block's",
         {{Response::frame(0x8B, {}), start}, {done}}, true, lsOk, "87:101 89:2"},
        {"the end accepted ahead of the first block's acknowledgement", {{done, start}, {done}}, true, lsOk,
         "87:101 89:2"},
        {"the first block acknowledged twice", {{start}, {start, done}}, true, lsOk, "87:101 89:2"},
        // Answers to this frame that end the send.
        {"the logger refuses the file", {{start}, {Response::frame(0x8E, {})}}, false, lsUnexpectedReply,
         "87:101 89:2"},
        {"the logger aborts at the first block", {{Response::frame(0x8E, {})}}, false, lsUnexpectedReply, "87:101"},
        {"a frame no logger sends", {{start}, {Response::frame(0x84, {})}}, false, lsUnexpectedReply, "87:101 89:2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sensor.clearLog();
        sensor.clearScript();
        for (const standin::Responses& answer : c.answers)
            sensor.scriptAnswer(answer);
        write(path("Cal.bin"), noRepeats(100));
        enLinkStatus status = lsNone;
        EXPECT_EQ(link.SendFile(path("Cal.bin"), 1, status), c.ok);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(blocks(), c.sent);
        EXPECT_TRUE(noTemporaries(path("Cal")));
    }
}

TEST_F(FileSending, LateAnswersAndStrayBytesAtADistance)
{
    // Two sends of two blocks each with a null command between them; answers
    // that arrive after the PC has sent its next frame are dropped there.
    const Bytes first = noRepeats(300);
    const Bytes second = noRepeats(400);
    const std::string firstBlocks = "87:230 88:71 89:2";
    const std::string secondBlocks = "87:230 88:171 89:2";
    struct Case {
        const char* what;
        int baud;
        standin::NoisePlan noise;
        standin::LatePlan late;
        bool firstOk;
        enLinkStatus firstStatus;
        std::string sent; // the first send's frames
    };
    const Case cases[] = {
        // Its answer ahead of the second block's is no acknowledgement.
        {"the first block's acknowledgement again, late", 0, {}, {{0}, 1, true}, true, lsOk, firstBlocks},
        // An end accepted after a data block would report a partly sent
        // file as sent.
        {"the end's acceptance again, after the next send's second block", 0, {}, {{2}, 3, true}, true, lsOk,
         firstBlocks},
        // A stray byte 150 ms ahead of the end's acceptance: the end frame
        // goes out again after 50 ms of quiet and the send fails (one try).
        // The acceptance and the answer to the repeat, which arrives once
        // the null command has gone out, are that command's to drop.
        {"a stray byte ahead of the end's acceptance", 19200, {{0x00}, {2}, false, {}, 150}, {{3}, 1, false}, false,
         lsNoReply, firstBlocks + " 89:2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sensor.clearLog();
        sensor.setLineRate(c.baud);
        sensor.setNoise(c.noise);
        sensor.setLate(c.late);
        write(path("Cal.bin"), first);
        write(path("Conf.bin"), second);
        enLinkStatus status = lsNone;
        EXPECT_EQ(link.SendFile(path("Cal.bin"), 1, status), c.firstOk);
        EXPECT_EQ(status, c.firstStatus);
        ReplyBuffer reply{};
        uint16_t length = 0;
        const uint8_t null = 0;
        EXPECT_TRUE(link.SendCommandAwaitReply(&null, 1, reply, length, 1, 3, status));
        EXPECT_EQ(hex(reply.data(), 2), "80 00");
        EXPECT_TRUE(link.SendFile(path("Conf.bin"), 1, status));
        EXPECT_EQ(status, lsOk);
        EXPECT_EQ(blocks(), c.sent + " 80:1 " + secondBlocks);
        // The logger holds the second file whole.
        ASSERT_FALSE(heldFiles().empty());
        EXPECT_EQ(heldFiles().back(), second);
        EXPECT_EQ(sensor.lateAnswers(), 1);
    }
    sensor.clearNoise();
    sensor.clearLate();
}

TEST_F(FileSending, AbortSendsTheSenderAbort)
{
    struct Case {
        const char* what;
        bool acknowledged;
        enLinkStatus status;
    };
    const Case cases[] = {{"acknowledged", true, lsTransferAborted}, {"answered otherwise", false, lsUnexpectedReply}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sensor.clearLog();
        if (!c.acknowledged)
            sensor.onContent(0x8D, [](const standin::Frame&) { return standin::Responses{Response::frame(0x84, {})}; });
        write(path("Cal.bin"), noRepeats(3607));
        int frames = 0;
        link.OnTxActivity = [&](QObject*) {
            if (++frames == 3)
                link.AbortFileXfer();
        };
        enLinkStatus status = lsNone;
        EXPECT_FALSE(link.SendFile(path("Cal.bin"), 1, status));
        link.OnTxActivity = nullptr;
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(blocks(), "87:230 88:230 88:230 8D:0");
        EXPECT_TRUE(noTemporaries(path("Cal")));
    }

    // A send after an aborted transfer starts afresh.
    sensor.clearLog();
    link.AbortFileXfer();
    enLinkStatus status = lsNone;
    write(path("Conf.bin"), Bytes(2853, 0x07));
    EXPECT_TRUE(link.SendFile(path("Conf.bin"), 1, status));
    EXPECT_EQ(status, lsOk);
}

TEST_F(FileSending, NoAnswerOrNoLineFailsTheSend)
{
    write(path("Cal.bin"), noRepeats(500));
    // One try: the frame goes out again after the wait, then the send gives up.
    sensor.script({Response::silence(), Response::silence()});
    enLinkStatus status = lsNone;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(link.SendFile(path("Cal.bin"), 1, status));
    EXPECT_EQ(status, lsNoReply);
    EXPECT_GE(secondsSince(t0), 2.9);
    sensor.waitForRequests(2, 1000);
    EXPECT_EQ(blocks(), "87:230 87:230");
    EXPECT_TRUE(noTemporaries(path("Cal")));

    sensor.clearLog();
    sensor.script({Response::frame(0x8A, {}), Response::hangUp()});
    EXPECT_FALSE(link.SendFile(path("Cal.bin"), 1, status));
    EXPECT_EQ(status, lsPortClosed);
    EXPECT_TRUE(noTemporaries(path("Cal")));
}

TEST_F(FileSending, FileThatCannotBeSentFailsWithAStatusAndSendsNothing)
{
    // The device model hands over the status of the command that readied the
    // logger (OK); a send that fails must not leave it saying OK.
    write(path("Cal.bin"), noRepeats(500));
    ASSERT_EQ(::mkdir(path("Folder.bin").c_str(), 0700), 0);
    struct Case {
        const char* what;
        std::string name;
        uint8_t compress;
    };
    const Case cases[] = {
        {"no such file", path("missing.bin"), 1},
        {"no such file, uncompressed", path("missing.bin"), 0},
        {"a folder", path("Folder.bin"), 1},
        {"a folder, uncompressed", path("Folder.bin"), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        debug.clear();
        enLinkStatus status = lsOk;
        EXPECT_FALSE(link.SendFile(c.name, c.compress, status));
        EXPECT_EQ(status, lsFileError);
        EXPECT_TRUE(debugHas("Cannot read " + c.name)) << (debug.empty() ? "" : debug.back());
    }

    // The check copy cannot be written: the send stops before the line, and
    // the coded file stays for inspection.
    ASSERT_EQ(::mkdir(path("Cal.bindup").c_str(), 0700), 0);
    enLinkStatus status = lsOk;
    EXPECT_FALSE(link.SendFile(path("Cal.bin"), 1, status));
    EXPECT_EQ(status, lsFileError);
    EXPECT_TRUE(exists(path("Cal.cmp")));
    Sleep(100);
    EXPECT_TRUE(sensor.receivedBytes().empty());
}
