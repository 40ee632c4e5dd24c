// libFuzzer target: the link's frame decoder and the multi-frame burst
// decoding, in memory, with the very functions the link runs on the port's
// bytes. Each input is used three ways:
//  - as raw line bytes: fed to the frame decoder the way a reply wait feeds
//    it, and collected and decoded as a burst the way a multi-frame request
//    does (frame ends counted over reads split where the input says);
//  - as the parts of frames that are encoded the way the link sends them,
//    which must give the stand-in's own encoding and decode to exactly what
//    went in;
//  - as a burst built of such frames, with contents and spoilt CRCs chosen
//    by the input, whose data frames must reach the file unchanged, and
//    whose answers to other requests than the burst's count for nothing.
// Any broken expectation aborts, so libFuzzer reports it like a crash.
#include "Framing.h"
#include "PSQuarnComms.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_link: %s\n", what);
    std::abort();
}

void expect(bool ok, const char* what)
{
    if (!ok)
        fail(what);
}

// Reads bytes off the front of the input.
struct Reader {
    const uint8_t* p;
    size_t n;
    uint8_t byte() { return n ? (--n, *p++) : 0; }
};

// A frame on the wire as the link sends one (SendFrame): DLE STX, the
// stuffed content, data and CRC, DLE ETX. `out` must hold 2 * (count + 5)
// bytes; returns the number written.
size_t wireFrame(uint8_t content, const uint8_t* data, size_t count, bool spoilCrc, uint8_t* out)
{
    uint16_t crc = TQuarnComms::CalcCcittCrc(content, data, 0, count);
    if (spoilCrc)
        crc ^= 0x0101;
    out[0] = DLE;
    out[1] = STX;
    size_t n = 2 + static_cast<size_t>(TQuarnComms::dleEncode(content, crc, data, out + 2, static_cast<uint16_t>(count)));
    out[n++] = DLE;
    out[n++] = ETX;
    return n;
}

// Requests a reply wait may be for, each judged against every good frame.
const uint8_t WaitRequests[] = {fcCommand,      fcSubTaskReply,   fcFileStart,      fcFileNextEven,
                                fcFileNextOdd,  fcFileReceiverAbort, fcFileFirstBlock, fcFileBlockEven,
                                fcFileEnd,      fcFileSenderAbort};

// The reply waits: one frame per wait, a fresh decoder each time, until the
// bytes run out. Good frames are judged against the requests and copied the
// way the link copies a reply.
void replyWaits(const uint8_t* line, size_t size, uint8_t code)
{
    static CommsFrame frame;
    size_t i = 0;
    while (i < size) {
        uint8_t state = dsIdle;
        frame.Length = 0;
        frame.Status = fsReceiving;
        for (; i < size; ++i) {
            TQuarnComms::frameDecoder(state, line[i], frame);
            if (frame.Status == fsGood || frame.Status == fsBad)
                break;
        }
        if (i < size)
            ++i;
        if (frame.Status == fsGood) {
            expect(frame.Length >= 1 && frame.Length <= MaxRxFrameBytes - 2, "good frame of impossible length");
            const uint16_t sent = static_cast<uint16_t>(frame.Buffer[frame.Length] | frame.Buffer[frame.Length + 1] << 8);
            expect(sent == TQuarnComms::blockCalcCcittCrc(frame.Buffer, 0, static_cast<size_t>(frame.Length)),
                   "good frame with a wrong CRC");
            for (const uint8_t request : WaitRequests) {
                const bool late = TQuarnComms::isLateAnswer(request, code, false, frame.Buffer[0], frame.Buffer + 1,
                                                            static_cast<size_t>(frame.Length - 1));
                expect(!late || frame.Buffer[0] != fcWait, "a wait frame taken for a late answer");
            }
            static BufferFrameData reply;
            reply.Length = static_cast<uint32_t>(frame.Length);
            reply.Content = static_cast<enFrameContent>(frame.Buffer[0]);
            std::memcpy(reply.Data, frame.Buffer + 1, static_cast<size_t>(frame.Length - 1));
            static ReplyBuffer buffer;
            const size_t n = std::min<size_t>(reply.Length, buffer.size());
            std::memcpy(buffer.data(), reply.Data, n);
        }
    }
}

// What a burst's store is expected to receive, when known.
struct Expected {
    const uint8_t* bytes = nullptr; // the data blocks, one after the other
    const size_t* lengths = nullptr;
    size_t count = 0;
};

// Written here from the protocol's rules, apart from the link's own judge:
// the frames that answer each burst request (a wait frame answers all)...
bool answersBurst(uint8_t request, uint8_t content)
{
    if (content == fcWait || content == fcMultiEndEven || content == fcFileSenderAbort)
        return true;
    switch (request) {
    case fcFileStart:
        return content == fcFileFirstBlock || content == fcMultiEndOdd;
    case fcMultiNextEven:
        return content == fcMultiBlockEven;
    default:
        return content == fcMultiBlockOdd;
    }
}

// ...and the logger's answers to any request, of which those that do not
// answer the burst's request are late.
bool lateForBurst(uint8_t request, uint8_t content)
{
    static const uint8_t answers[] = {0x81, 0x82, 0x83, 0x87, 0x88, 0x89, 0x8A, 0x8B,
                                      0x8C, 0x8D, 0x8E, 0x8F, 0x91, 0x93, 0x95, 0x97};
    return std::find(std::begin(answers), std::end(answers), content) != std::end(answers) &&
           !answersBurst(request, content);
}

// A multi-frame request's burst: collected in reads whose sizes the input
// gives, frame ends counted as they come, then decoded. `pairs` gets the
// frame ends counted.
TQuarnComms::BurstVerdict burst(const uint8_t* line, size_t size, uint8_t content, uint8_t wanted, Reader& splits,
                                const Expected& expected, int& pairs)
{
    const int collected = static_cast<int>(std::min<size_t>(size, BurstBufferSize));
    static TQuarnComms::BurstScan scan, whole;
    scan = TQuarnComms::BurstScan{};
    scan.request = content;
    pairs = 0;
    for (int at = 0; at < collected;) {
        const int n = std::min(collected - at, 1 + splits.byte() % 256);
        pairs += TQuarnComms::countFrameEnds(line + at, n, scan);
        at += n;
    }
    whole = TQuarnComms::BurstScan{};
    whole.request = content;
    expect(pairs == TQuarnComms::countFrameEnds(line, collected, whole), "frame ends depend on the reads");
    expect(pairs >= 0, "fewer than no frame ends");

    const int64_t stillToCome = static_cast<int64_t>(splits.byte()) * 40;
    const enMultiFrameResult quiet = TQuarnComms::quietVerdict(pairs, collected, stillToCome);
    expect(quiet == mfPartial || quiet == mfRetry || quiet == mfComplete, "quiet verdict out of range");
    expect(quiet != mfPartial || (pairs >= 1 && collected >= 256), "partial without a frame end or 256 bytes");

    struct Store {
        const Expected* expected;
        size_t blocks = 0, stored = 0, offset = 0;
    } store{&expected};
    static CommsFrame frame;
    const TQuarnComms::BurstVerdict v =
        TQuarnComms::decodeBurst(line, collected, content, wanted, frame, [s = &store](const uint8_t* data, size_t count) {
            expect(count <= MaxRxFrameBytes - 3, "block longer than a frame holds");
            const Expected& e = *s->expected;
            if (e.bytes) {
                expect(s->blocks < e.count && count == e.lengths[s->blocks] &&
                           std::equal(data, data + count, e.bytes + s->offset),
                       "a data frame changed on its way");
                s->offset += count;
            }
            ++s->blocks;
            s->stored += count;
            return true;
        });
    expect(v.written == store.blocks, "written count differs from the blocks stored");
    expect(v.written <= wanted, "more frames stored than wanted");
    expect(store.stored <= static_cast<size_t>(collected), "more bytes stored than collected");
    expect(v.result == mfComplete || v.result == mfRetry || v.result == mfBadFrame, "burst verdict out of range");
    expect(v.result != mfComplete || v.written == wanted || v.receivedContent == fcMultiEndEven ||
               v.receivedContent == fcMultiEndOdd,
           "complete without the frames wanted or an end frame");
    expect(!v.debug || std::strncmp(v.debug, "BAD_FRAME", 9) == 0, "unknown debug text");
    expect(!v.frames || !lateForBurst(content, v.receivedContent), "a late answer taken for the burst's");
    return v;
}

const uint8_t Requests[] = {fcFileStart, fcMultiNextEven, fcMultiNextOdd};
const uint8_t Contents[] = {fcFileFirstBlock, fcMultiBlockEven, fcMultiBlockOdd,  fcMultiEndEven,
                            fcMultiEndOdd,    fcWait,           fcFileSenderAbort, fcCommandReply,
                            fcFileBlockEven,  fcFileDone,       fcFileReceiverAbort, 0x84};

// The data frame that answers a request.
uint8_t dataContentFor(uint8_t request)
{
    return request == fcFileStart ? fcFileFirstBlock : request == fcMultiNextEven ? fcMultiBlockEven : fcMultiBlockOdd;
}

} // namespace

// The code under test allocates nothing; a small quarantine of freed memory
// loses no finding here and spares the runs the page faults of a large one.
extern "C" const char* __asan_default_options()
{
    return "quarantine_size_mb=16:max_malloc_fill_size=256";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in{data, size};
    const uint8_t request = Requests[in.byte() % 3];
    const uint8_t wanted = static_cast<uint8_t>(1 + in.byte() % 10);

    // 1. Raw line bytes.
    replyWaits(in.p, in.n, wanted);
    Reader splits{data, size};
    int pairs = 0;
    burst(in.p, in.n, request, wanted, splits, Expected{}, pairs);

    // 2 and 3. Frames built from the input: a length, a kind, the data.
    static uint8_t built[BurstBufferSize];
    static uint8_t blocks[BurstBufferSize];
    static size_t lengths[BurstBufferSize];
    static uint8_t wire[2 * (MaxRxFrameBytes + 5)];
    static CommsFrame frame, tx, rx;
    size_t builtSize = 0, blockBytes = 0, blockCount = 0;
    // Only good data frames of the awaited content, and good late answers.
    bool plain = true;
    while (in.n > 0) {
        const size_t length = std::min<size_t>(in.byte() * 2u % (MaxRxFrameBytes - 2), in.n > 0 ? in.n - 1 : 0);
        const uint8_t kind = in.byte();
        const uint8_t* payload = in.p;
        in.p += length;
        in.n -= length;
        const bool spoil = kind & 0x80;
        const uint8_t content = kind & 0x40 ? Contents[kind % std::size(Contents)] : dataContentFor(request);
        const bool late = lateForBurst(request, content);
        expect(late == TQuarnComms::isLateAnswer(request, 0, true, content, payload, length),
               "a burst's answer judged otherwise than the protocol says");

        // The link encodes a frame byte for byte as the stand-in's own
        // encoder does (compared on short frames: the stuffing and the CRC
        // do not care how long a frame is, and the copy costs), and decodes
        // it to what went in.
        const size_t wireSize = wireFrame(content, payload, length, false, wire);
        if (length <= 32) {
            const standin::Bytes reference = standin::encodeFrame(content, standin::Bytes(payload, payload + length));
            expect(reference.size() == wireSize && std::equal(wire, wire + wireSize, reference.begin()),
                   "the link encodes a frame otherwise than the stand-in");
        }
        uint8_t state = dsIdle;
        frame.Length = 0;
        frame.Status = fsReceiving;
        for (size_t i = 0; i < wireSize; ++i)
            TQuarnComms::frameDecoder(state, wire[i], frame);
        expect(frame.Status == fsGood, "an encoded frame does not decode");
        expect(frame.Buffer[0] == content && static_cast<size_t>(frame.Length) == length + 1 &&
                   std::equal(payload, payload + length, frame.Buffer + 1),
               "an encoded frame decodes to other bytes");

        // So does one made by the byte-wise encoder of the requests.
        if (length < 255) {
            tx.Buffer[0] = content;
            std::copy(payload, payload + length, tx.Buffer + 1);
            tx.Length = static_cast<int32_t>(length + 1);
            tx.Status = fsCleared;
            rx.Length = 0;
            rx.Status = fsReceiving;
            uint8_t step = esStartDle, index = 0, out = 0;
            state = dsIdle;
            for (int guard = 0; guard < 2048 && TQuarnComms::frameEncoder(step, tx, out, index); ++guard)
                TQuarnComms::frameDecoder(state, out, rx);
            expect(tx.Status == fsEncoded, "the byte-wise encoder did not finish");
            expect(rx.Status == fsGood && rx.Length == tx.Length && std::equal(tx.Buffer, tx.Buffer + tx.Length, rx.Buffer),
                   "a request frame decodes to other bytes");
        }

        const size_t sentSize = spoil ? wireFrame(content, payload, length, true, wire) : wireSize;
        if (builtSize + sentSize > BurstBufferSize)
            break;
        std::copy(wire, wire + sentSize, built + builtSize);
        builtSize += sentSize;
        if (spoil || (content != dataContentFor(request) && !late))
            plain = false;
        if (plain && !late) {
            std::copy(payload, payload + length, blocks + blockBytes);
            blockBytes += length;
            lengths[blockCount++] = length;
        }
    }
    if (builtSize == 0)
        return 0;
    Reader none{nullptr, 0};
    // Good data frames only: the wanted number of them reach the store
    // unchanged and in order, or all there are and the burst ended early.
    const Expected expected = plain ? Expected{blocks, lengths, blockCount} : Expected{};
    const TQuarnComms::BurstVerdict v = burst(built, builtSize, request, wanted, none, expected, pairs);
    if (plain) {
        expect(pairs == static_cast<int>(blockCount), "late answers counted toward the burst");
        expect(v.written == std::min<size_t>(blockCount, wanted), "data frames lost or added");
        expect(v.result == (blockCount >= wanted ? mfComplete : mfBadFrame), "wrong verdict on a burst of good frames");
    }
    return 0;
}
