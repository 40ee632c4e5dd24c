// The serial link to the sensor's logger: the port, DLE-framed frames with a
// CRC, and request/reply exchanges with time-outs and retries. Everything runs
// on the caller's (user-interface) thread: a wait reads the port, then sleeps
// in the event loop until the port has data, the user does something or its
// time is up, so windows stay responsive and may abort a wait, and the link
// notices a reply as soon as it is there.
#pragma once

#include <QObject>

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

class TVaComm;
class TVaConfigDialog;

constexpr uint8_t DLE = 0x10;
constexpr uint8_t STX = 0x02;
constexpr uint8_t ETX = 0x03;
constexpr uint8_t DLE_STUFFED = 0x90; // a data 0x10 after its DLE

// Unstuffed bytes the decoder keeps between DLE STX and DLE ETX: content code,
// data and the two CRC bytes.
constexpr int MaxRxFrameBytes = 512;
// Data bytes a sent frame may carry so that its stuffed form fits 1024 bytes.
constexpr int MaxTxFrameData = 507;

enum enFrameContent : uint8_t {
    fcCommand = 0x80,
    fcCommandReply = 0x81,
    fcWait = 0x82,
    fcSubTaskReply = 0x83,
    fcFileFirstBlock = 0x87,
    fcFileBlockEven = 0x88,
    fcFileEnd = 0x89,
    fcFileStart = 0x8A,
    fcFileNextEven = 0x8B,
    fcFileDone = 0x8C,
    fcFileSenderAbort = 0x8D,
    fcFileReceiverAbort = 0x8E,
    fcFileBlockOdd = 0x8F,
    fcFileNextOdd = 0x90,
    fcMultiBlockEven = 0x91,
    fcMultiNextEven = 0x92,
    fcMultiBlockOdd = 0x93,
    fcMultiNextOdd = 0x94,
    fcMultiEndEven = 0x95,
    fcMultiEndOdd = 0x97,
};

enum enFrameStatus : uint8_t {
    fsCleared = 0,
    fsReceiving = 1,
    fsGood = 2,
    fsBad = 4,
    fsEncoded = 0x20,
};

enum enDecoderState : uint8_t {
    dsIdle = 1,
    dsStartDle = 2,
    dsInFrame = 4,
    dsInFrameDle = 5,
};

enum enEncoderStep : uint8_t {
    esStartDle = 0x80,
    esStx = 0x81,
    esData = 0x82,
    esDataStuff = 0x83,
    esCrcHigh = 0x84,
    esEndDle = 0x85,
    esEtx = 0x86,
    esDone = 0x87,
    esCrcLowStuff = 0x88,
    esCrcHighStuff = 0x89,
};

// Outcome of every sensor operation. Values not named here are the logger's
// own error byte, sign-extended to 16 bits.
enum enLinkStatus : uint16_t {
    lsOk = 0,
    lsNoReply = 1,
    lsAborted = 2,
    lsTransferAborted = 6,
    lsUnexpectedReply = 7,
    lsPortClosed = 8,
    lsFileError = 9, // a file to send that is missing, not a file, or cannot be read or prepared
    lsNone = 255,
};

// One frame's payload. For a frame to send, Length is the number of data
// bytes; for a frame returned by GetFrame it counts the content code too, so
// Data holds Length - 1 bytes.
struct BufferFrameData {
    uint8_t Data[1024];
    uint32_t Length;
    enFrameContent Content;
};

// Assembly buffer of the decoder and the encoder.
struct CommsFrame {
    enFrameStatus Status;
    uint8_t Buffer[1024];
    uint16_t Crc;
    int32_t Length;
};

// A received frame carries at most 509 data bytes; a command reply is copied
// with one byte more (its length counts the content code).
constexpr size_t ReplyBufferSize = 510;
using ReplyBuffer = std::array<uint8_t, ReplyBufferSize>;

// ---------------------------------------------------------------------------
// File transfers (PSQuarnComms_Retrieve.cpp, PSQuarnComms_Send.cpp)

// Record streams of this size and more are fetched with the multi-frame
// protocol; smaller ones one block per request.
constexpr int32_t MultiFrameThreshold = 20000;
// Largest block of a file the PC sends.
constexpr int FileSendBlock = 230;
// Raw bytes one multi-frame burst may collect.
constexpr int BurstBufferSize = 8192;
// A line quiet this long ends the collection of a burst.
constexpr uint32_t BurstQuietMs = 3000;

// Result of one multi-frame request.
enum enMultiFrameResult : uint8_t {
    mfComplete = 0,   // the wanted data frames, or an end frame, were stored
    mfPartial = 1,    // quiet after some frames, with much of the stream still to come
    mfRetry = 5,      // nothing usable arrived
    mfPortClosed = 8, // the request could not be sent
    mfBadFrame = 128, // a bad or unexpected frame, or the burst ended early
};

using TPortDebugEvent = std::function<void(QObject* sender, const std::string& text)>;
using TRxEvent = std::function<void(QObject* sender)>;

class TQuarnComms : public QObject {
    Q_OBJECT
public:
    explicit TQuarnComms(QObject* owner);
    ~TQuarnComms() override;

    TPortDebugEvent OnDebugText;
    TRxEvent OnRxActivity;
    TRxEvent OnTxActivity;
    bool ReplyAborted = false;
    bool TransferAborted = false;
    CommsFrame RxFrame{};
    CommsFrame TxFrame{};
    TVaComm* Port = nullptr;
    TVaConfigDialog* PortDialog = nullptr;
    bool PortOpen = false;
    int32_t BytesReceived = 0;
    int32_t ExpectedSize = 0;
    // Why the last retrieval's file could not take what arrived (the
    // system's reason); empty when everything received reached the file.
    std::string FileWriteError;

    // --- port ---------------------------------------------------------
    // `name` is "Com" followed by a port number; raises EConvertError when the
    // rest is not a number. COM0 asks the user for the device.
    bool OpenPort(const std::string& name, int32_t baud);
    bool ClosePort();
    void FlushOutBuffer();
    void FlushInBuffer();
    void ClearBuffers();
    int GetBlock(uint8_t* buffer, int count);
    void PutBlock(const uint8_t* buffer, int count);
    bool sendBuffer(const uint8_t* data, int count);
#ifdef BRINDLECOT_PORTMODE
    // --- plain text: the comms-mode utility's build (PSQuarnComms_Text.cpp) --
    // Sends the characters as plain bytes after discarding what was received
    // before; fires OnTxActivity once. Always true; sends nothing when the
    // port is closed.
    bool sendString(const std::string& text);
    // Collects received bytes into `buffer` (zeroed first) until `pattern`
    // is among them, `length` bytes were collected, or `timeout` ms passed;
    // then keeps what follows the pattern while it still arrives. `received`
    // gets the count collected. True when the pattern was found. The search
    // ends at the first zero byte collected.
    bool WaitForString(const std::string& pattern, uint8_t* buffer, int32_t length, int32_t& received,
                       uint16_t timeout);
    // The line rate a requested baud rate opens the port at: 1200, 2400,
    // 4800 or 9600 as asked, anything else 19200.
    static int32_t LinkBaudRate(int32_t baud);
#else
    void sendString(const std::string& text);
    // The main application's link always runs at 19200 baud.
    static int32_t LinkBaudRate(int32_t /*baud*/) { return 19200; }
#endif
    void AbortReply();
    void AbortFileXfer();
    void initCommsBuffers();
    void Debug(const std::string& text);
    // Waits `milliseconds` while the window stays responsive: events run as
    // they come.
    void Delay(int32_t milliseconds);
    // One step of a wait: runs pending events, or sleeps until the next event
    // (port data, input, a timer) or `deadline`; never past the deadline.
    void waitUntil(uint32_t deadline);
    // Reads and drops what arrives until no byte has come for `quietMs`, or
    // until `giveUp`, a reply abort or a closed port; wakes on port data.
    void waitForQuietLine(uint32_t quietMs, uint32_t giveUp);
    // How long the line must be silent after a bad frame before the request
    // goes out again: a few character times at the port's rate, with a
    // floor for drivers that hand bytes on in bursts.
    uint32_t quietAfterBadFrameMs() const;

    // --- frames and CRC (no object state) ----------------------------
    static void updateCcittCrc(uint16_t& crc, uint8_t byte);
    static uint16_t blockCalcCcittCrc(const uint8_t* data, uint16_t initial, size_t count);
    static uint16_t CalcCcittCrc(uint8_t first, const uint8_t* data, uint16_t initial, size_t count);
    // Writes the stuffed content code, data and CRC (low byte first) to `out`,
    // which must hold 2 * (count + 3) bytes; returns the number written.
    static int dleEncode(uint8_t content, uint16_t crc, const uint8_t* data, uint8_t* out, uint16_t count);
    static void frameDecoder(uint8_t& state, uint8_t byte, CommsFrame& frame);
    static bool frameEncoder(uint8_t& step, CommsFrame& frame, uint8_t& out, uint8_t& index);
    static void resetFrame(CommsFrame& frame);

    bool SendFrame(const uint8_t* data, uint16_t length, uint8_t content);

    // Whether a good frame of content `reply` carrying `count` data bytes is
    // a late answer: the logger's answer to another request than the one of
    // content `request` just sent (an earlier try's, step's or command's),
    // which arrived after the purge that preceded this request. `code` is
    // the request's first data byte (a command's code); `burst` marks the
    // requests of a multi-frame download, whose start request is answered
    // otherwise than the single-frame one. A wait frame answers every
    // request; a frame no logger sends answers none, and is left to the
    // caller to refuse.
    static bool isLateAnswer(uint8_t request, uint8_t code, bool burst, uint8_t reply, const uint8_t* data,
                             size_t count);

    // --- request and reply -------------------------------------------
    // Tells a wait which good frames to drop and wait on past: true for a
    // frame (content, data, data count) that is no answer to its request.
    using LateAnswerTest = std::function<bool(uint8_t content, const uint8_t* data, size_t count)>;
    // true means failure (no good frame within `timeout` seconds). Frames
    // `late` names are dropped and the wait goes on to its deadline.
    bool GetFrame(BufferFrameData& reply, uint8_t timeout, const LateAnswerTest& late = {});
    uint8_t SendFrameAwaitReply(const BufferFrameData& request, BufferFrameData& reply, uint16_t tries,
                                uint8_t timeout);
    bool SendCommandAwaitReply(const uint8_t* command, uint16_t length, ReplyBuffer& reply,
                               uint16_t& replyLength, uint16_t tries, uint8_t timeout, enLinkStatus& status);
    bool AwaitSubTaskReply(ReplyBuffer& reply, uint16_t& replyLength, uint16_t tries, uint32_t timeout,
                           enLinkStatus& status);

    // --- file transfers -------------------------------------------------
    // Fetches an image into `name` with the single-frame protocol, then
    // unwraps and expands it in place. True only when the transfer ended
    // normally and the expansion succeeded; the transfer's outcome is in
    // `status`.
    bool RetrieveCCFile(const std::string& name, enLinkStatus& status);
    // Appends a record stream of `size` bytes to `name`; returns the bytes
    // stored. Below MultiFrameThreshold the single-frame protocol is used and
    // `status` tells its outcome; otherwise the multi-frame protocol, which
    // leaves `status` alone.
    int32_t RetrieveLogFile(const std::string& name, int32_t size, enLinkStatus& status);
    // One block per request into `name` (appended or from the start). True
    // when the logger signalled the end of the file.
    bool retrieveSingleFrData(const std::string& name, bool append, enLinkStatus& status);

    // The multi-frame protocol: bursts of frames per request, collected raw
    // and decoded afterwards. True when the logger signalled the end of data.
    bool retrieveMultiFramedDataFile(const std::string& name);
    bool getMultipleFrames(uint8_t content, uint8_t& receivedContent, uint8_t& wanted, uint8_t& trouble,
                           std::FILE* file);
    enMultiFrameResult sendMultipleFrameRequest(uint8_t content, int length, uint8_t& receivedContent,
                                                uint8_t& written, uint8_t wanted, std::FILE* file);
    void loadBuffer(uint8_t content, const uint8_t* data, int length);
    bool sendFrameToLogger(int length);
    static bool isData(uint8_t content);
    // Judges the frame just decoded into RxFrame against the request content:
    // 0 go on, 5 retry (wait frame), 7 wrong frame for the request.
    uint8_t checkIO(uint8_t content) const;
    // The same judgement of a frame of content `frame`.
    static uint8_t judgeFrame(uint8_t frame, uint8_t content);

    // The byte-level parts of a burst, free of the port and the file, so
    // that they can be tested and fuzzed on their own.
    // What the collection of a burst keeps from one read to the next.
    struct BurstScan {
        uint8_t request = 0;    // content of the request the burst answers
        bool afterDle = false;  // the bytes so far end with a DLE
        uint8_t state = dsIdle; // the frame decoder's, over the bytes so far
        CommsFrame frame{};
        int lateEnds = 0;       // frame ends of late answers so far
    };
    // Frame ends (DLE ETX) among `count` newly read bytes that count toward
    // the burst: every one but those of late answers, which `scan` counts.
    static int countFrameEnds(const uint8_t* bytes, int count, BurstScan& scan);
    // A burst the quiet time ended: mfPartial or mfRetry when it is given up
    // undecoded, mfComplete when it is decoded all the same (the end of the
    // stream is near).
    static enMultiFrameResult quietVerdict(int pairs, int collected, int64_t stillToCome);
    struct BurstVerdict {
        enMultiFrameResult result = mfBadFrame;
        uint8_t written = 0;         // data frames handed to the store
        bool frames = false;         // a good frame was decoded
        uint8_t receivedContent = 0; // content of the last good frame
        const char* debug = nullptr; // "BAD_FRAME0", "BAD_FRAME1", "BAD_FRAME3"
    };
    // Decodes `collected` bytes of a burst answering a request of `content`
    // for `wanted` frames, in `frame`, handing each data block to `store`
    // (false from it fails the burst). Late answers among them are skipped.
    static BurstVerdict decodeBurst(const uint8_t* burst, int collected, uint8_t content, uint8_t wanted,
                                    CommsFrame& frame, const std::function<bool(const uint8_t*, size_t)>& store);
    // Frames asked per data request for a trouble count.
    static uint8_t framesWanted(uint8_t trouble);

    // Sends `name` to the logger, compressed when that is smaller (every
    // caller allows compression), in blocks of at most 230 bytes. True only
    // when the logger accepted the end of the file.
    bool SendFile(const std::string& name, uint8_t compress, enLinkStatus& status);

    // Good multi-frame requests in a row; kept across downloads.
    static uint8_t GoodRequestsInARow;
    // Quiet time that ends a burst's collection (tests shorten it).
    uint32_t QuietTimeMs = BurstQuietMs;

private:
    // Appends a received block to the file; false (and a debug text) when
    // the file cannot take it.
    bool storeBlock(std::FILE* file, const uint8_t* data, size_t count);
    // Reads and drops what still arrives from a failed burst, until the line
    // is briefly quiet, so that it is not taken for the answer to the repeat.
    void drainLine();

    bool FileWriteFailed = false;
    std::string TransferFileName;

    bool awaitReplyOfContent(const BufferFrameData& request, enFrameContent expected, ReplyBuffer& reply,
                             uint16_t& replyLength, uint16_t tries, uint8_t timeout, enLinkStatus& status);
    void portLost(const QString& reason);

    bool Destroying = false;
};
