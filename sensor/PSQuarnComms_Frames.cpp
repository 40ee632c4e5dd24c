// The byte-level link: the CCITT CRC, DLE stuffing, the frame decoder and
// encoder, and the decoding of a multi-frame burst. No port, no file and no
// window: these build into the protocol library, which links Qt Core only.
#include "PSQuarnComms.h"

#include <algorithm>
#include <cstring>

namespace {

// Bytes of the stream that may still be missing when a quiet line is taken
// for the stream's end.
constexpr int64_t NearEndBytes = 2560;

} // namespace

// ---------------------------------------------------------------------------
// Frames and CRC

void TQuarnComms::updateCcittCrc(uint16_t& crc, uint8_t byte)
{
    uint8_t x = byte ^ static_cast<uint8_t>(crc & 0xFF);
    x = static_cast<uint8_t>(x ^ (x << 4));
    crc = static_cast<uint16_t>((crc >> 8) ^ (x << 8) ^ (x << 3) ^ (x >> 4));
}

uint16_t TQuarnComms::blockCalcCcittCrc(const uint8_t* data, uint16_t initial, size_t count)
{
    uint16_t crc = initial;
    for (size_t i = 0; i < count; ++i)
        updateCcittCrc(crc, data[i]);
    return crc;
}

uint16_t TQuarnComms::CalcCcittCrc(uint8_t first, const uint8_t* data, uint16_t initial, size_t count)
{
    uint16_t crc = initial;
    updateCcittCrc(crc, first);
    return blockCalcCcittCrc(data, crc, count);
}

static inline int putStuffed(uint8_t* out, int n, uint8_t byte)
{
    out[n++] = byte;
    if (byte == DLE)
        out[n++] = DLE_STUFFED;
    return n;
}

int TQuarnComms::dleEncode(uint8_t content, uint16_t crc, const uint8_t* data, uint8_t* out, uint16_t count)
{
    int n = putStuffed(out, 0, content);
    for (uint16_t i = 0; i < count; ++i)
        n = putStuffed(out, n, data[i]);
    n = putStuffed(out, n, static_cast<uint8_t>(crc & 0xFF));
    n = putStuffed(out, n, static_cast<uint8_t>(crc >> 8));
    return n;
}

void TQuarnComms::resetFrame(CommsFrame& frame)
{
    frame.Length = 0;
    frame.Buffer[0] = 0;
    frame.Status = fsReceiving;
}

static void endOfFrame(CommsFrame& frame)
{
    // A frame needs its content code besides the two CRC bytes: readers take
    // Length - 1 data bytes, which a CRC-only frame would make negative.
    if (frame.Length < 3) {
        frame.Status = fsBad;
        return;
    }
    frame.Length -= 2;
    frame.Crc = TQuarnComms::blockCalcCcittCrc(frame.Buffer, 0, static_cast<size_t>(frame.Length));
    const uint16_t sent = static_cast<uint16_t>(frame.Buffer[frame.Length] | (frame.Buffer[frame.Length + 1] << 8));
    frame.Status = frame.Crc == sent ? fsGood : fsBad;
}

void TQuarnComms::frameDecoder(uint8_t& state, uint8_t byte, CommsFrame& frame)
{
    // A length outside the buffer can only come from a caller's stale frame;
    // treat it as full so nothing is written past the buffer.
    const bool full = frame.Length >= MaxRxFrameBytes || frame.Length < 0;
    switch (state) {
    case dsIdle:
        if (byte == DLE) {
            resetFrame(frame);
            state = dsStartDle;
        } else {
            frame.Status = fsBad;
        }
        break;
    case dsStartDle:
        if (byte == STX) {
            state = dsInFrame;
        } else if (byte != DLE) {
            frame.Status = fsBad;
            state = dsIdle;
        }
        break;
    case dsInFrame:
        if (byte == DLE) {
            state = dsInFrameDle;
        } else if (!full) {
            frame.Buffer[frame.Length++] = byte;
        } else {
            state = dsIdle;
        }
        break;
    case dsInFrameDle:
        if (byte == ETX) {
            endOfFrame(frame);
            state = dsIdle;
        } else if (byte == DLE_STUFFED && !full) {
            frame.Buffer[frame.Length++] = DLE;
            state = dsInFrame;
        } else {
            state = dsIdle;
        }
        break;
    default:
        state = dsIdle;
        break;
    }
}

bool TQuarnComms::frameEncoder(uint8_t& step, CommsFrame& frame, uint8_t& out, uint8_t& index)
{
    // The index is one byte wide; a longer frame could never finish, so it is
    // clamped to what the index can reach.
    const int length = std::clamp<int32_t>(frame.Length, 0, 255);
    switch (step) {
    case esStartDle:
        out = DLE;
        step = esStx;
        return true;
    case esStx:
        out = STX;
        index = 0;
        frame.Crc = 0;
        step = esData;
        return true;
    case esData:
        if (index < length) {
            out = frame.Buffer[index++];
            step = out == DLE ? esDataStuff : esData;
        } else {
            frame.Crc = blockCalcCcittCrc(frame.Buffer, 0, static_cast<size_t>(length));
            out = static_cast<uint8_t>(frame.Crc & 0xFF);
            step = out == DLE ? esCrcLowStuff : esCrcHigh;
        }
        return true;
    case esDataStuff:
        out = DLE_STUFFED;
        step = esData;
        return true;
    case esCrcLowStuff:
        out = DLE_STUFFED;
        step = esCrcHigh;
        return true;
    case esCrcHigh:
        out = static_cast<uint8_t>(frame.Crc >> 8);
        step = out == DLE ? esCrcHighStuff : esEndDle;
        return true;
    case esCrcHighStuff:
        out = DLE_STUFFED;
        step = esEndDle;
        return true;
    case esEndDle:
        out = DLE;
        step = esEtx;
        return true;
    case esEtx:
        out = ETX;
        step = esDone;
        return true;
    case esDone:
        frame.Status = fsEncoded;
        step = esStartDle;
        return false;
    default:
        step = esStartDle;
        return false;
    }
}

// ---------------------------------------------------------------------------
// Which request an answer belongs to

namespace {

// The contents the logger answers with.
bool isLoggerAnswer(uint8_t content)
{
    switch (content) {
    case fcCommandReply:
    case fcWait:
    case fcSubTaskReply:
    case fcFileFirstBlock:
    case fcFileBlockEven:
    case fcFileEnd:
    case fcFileStart:
    case fcFileNextEven:
    case fcFileDone:
    case fcFileSenderAbort:
    case fcFileReceiverAbort:
    case fcFileBlockOdd:
    case fcMultiBlockEven:
    case fcMultiBlockOdd:
    case fcMultiEndEven:
    case fcMultiEndOdd:
        return true;
    default:
        return false;
    }
}

} // namespace

bool TQuarnComms::isLateAnswer(uint8_t request, uint8_t code, bool burst, uint8_t reply, const uint8_t* data,
                               size_t count)
{
    // A wait frame says the logger is busy with whatever it was asked last.
    if (reply == fcWait || !isLoggerAnswer(reply))
        return false;
    // The logger ends a transfer it sends with its abort, and one it
    // receives with the receiver's abort, at any step.
    const bool senderAbort = reply == fcFileSenderAbort;
    const bool receiverAbort = reply == fcFileReceiverAbort;
    switch (request) {
    case fcCommand:
        // A reply too short to echo a code cannot be placed; the caller
        // refuses it as this command's.
        if (reply == fcCommandReply)
            return count >= 2 && data[1] != code;
        return true;
    case fcSubTaskReply:
        return reply != fcSubTaskReply;
    // Files from the logger.
    case fcFileStart:
        if (burst)
            return !(reply == fcFileFirstBlock || reply == fcMultiEndEven || reply == fcMultiEndOdd || senderAbort);
        return !(reply == fcFileFirstBlock || senderAbort);
    case fcFileNextEven:
        return !(reply == fcFileBlockEven || reply == fcFileEnd || senderAbort);
    case fcFileNextOdd:
        return !(reply == fcFileBlockOdd || reply == fcFileEnd || senderAbort);
    case fcFileReceiverAbort:
        return !senderAbort;
    case fcMultiNextEven:
        return !(reply == fcMultiBlockEven || reply == fcMultiEndEven || senderAbort);
    case fcMultiNextOdd:
        return !(reply == fcMultiBlockOdd || reply == fcMultiEndEven || senderAbort);
    // Files to the logger.
    case fcFileFirstBlock:
        return !(reply == fcFileStart || receiverAbort);
    case fcFileBlockEven:
        return !(reply == fcFileNextEven || receiverAbort);
    case fcFileEnd:
        return !(reply == fcFileDone || reply == fcFileNextEven || receiverAbort);
    case fcFileSenderAbort:
        return !receiverAbort;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------
// Multi-frame bursts

bool TQuarnComms::isData(uint8_t content)
{
    return content == fcMultiNextEven || content == fcMultiNextOdd;
}

uint8_t TQuarnComms::framesWanted(uint8_t trouble)
{
    if (trouble <= 3)
        return 10;
    if (trouble <= 6)
        return 4;
    return 2;
}

uint8_t TQuarnComms::judgeFrame(uint8_t frame, uint8_t content)
{
    if (frame == fcWait)
        return 5;
    if ((frame == fcMultiBlockEven && content == fcMultiNextEven) ||
        (frame == fcMultiBlockOdd && content == fcMultiNextOdd))
        return 0;
    if (frame == fcFileSenderAbort || frame == fcMultiEndEven)
        return 0;
    return isData(content) ? 7 : 0;
}

int TQuarnComms::countFrameEnds(const uint8_t* bytes, int count, BurstScan& scan)
{
    int pairs = 0;
    for (int i = 0; i < count; ++i) {
        if (scan.afterDle && bytes[i] == ETX)
            ++pairs;
        scan.afterDle = bytes[i] == DLE;
        // A good frame ends on the ETX of the pair just counted; a late
        // answer's end is taken back.
        frameDecoder(scan.state, bytes[i], scan.frame);
        if (scan.frame.Status == fsGood) {
            if (isLateAnswer(scan.request, 0, true, scan.frame.Buffer[0], scan.frame.Buffer + 1,
                             static_cast<size_t>(scan.frame.Length - 1))) {
                --pairs;
                ++scan.lateEnds;
            }
            resetFrame(scan.frame);
        }
    }
    return pairs;
}

enMultiFrameResult TQuarnComms::quietVerdict(int pairs, int collected, int64_t stillToCome)
{
    if (pairs == 0 || stillToCome >= NearEndBytes)
        return pairs >= 1 && collected >= 256 ? mfPartial : mfRetry;
    return mfComplete;
}

TQuarnComms::BurstVerdict TQuarnComms::decodeBurst(const uint8_t* burst, int collected, uint8_t content,
                                                   uint8_t wanted, CommsFrame& frame,
                                                   const std::function<bool(const uint8_t*, size_t)>& store)
{
    BurstVerdict v;
    uint8_t state = dsIdle;
    resetFrame(frame);
    for (int i = 0; i < collected; ++i) {
        frameDecoder(state, burst[i], frame);
        if (frame.Status == fsBad) {
            v.result = collected > 7 ? mfBadFrame : mfRetry;
            return v;
        }
        if (frame.Status != fsGood)
            continue;
        if (isLateAnswer(content, 0, true, frame.Buffer[0], frame.Buffer + 1, static_cast<size_t>(frame.Length - 1))) {
            // An earlier request's answer: neither this burst's nor a fault of it.
            resetFrame(frame);
            state = dsIdle;
            continue;
        }
        v.frames = true;
        v.receivedContent = frame.Buffer[0];
        const uint8_t io = judgeFrame(v.receivedContent, content);
        if (io == 7) {
            v.debug = "BAD_FRAME0";
            v.result = mfBadFrame;
            return v;
        }
        if (io == 5) {
            v.result = mfRetry;
            return v;
        }
        switch (v.receivedContent) {
        case fcFileFirstBlock:
        case fcMultiBlockEven:
        case fcMultiBlockOdd:
            if (!store(frame.Buffer + 1, static_cast<size_t>(frame.Length - 1))) {
                v.result = mfBadFrame;
                return v;
            }
            ++v.written;
            if (v.written == wanted) {
                v.result = mfComplete;
                return v;
            }
            resetFrame(frame);
            state = dsIdle;
            break;
        case fcMultiEndEven:
        case fcMultiEndOdd:
            v.result = mfComplete;
            return v;
        default:
            v.debug = "BAD_FRAME1";
            v.result = mfBadFrame;
            return v;
        }
    }
    // The bytes ran out before the burst was complete.
    v.debug = "BAD_FRAME3";
    v.result = mfBadFrame;
    return v;
}
