// Files from the logger: images and short record streams one block per
// request, long record streams in bursts of several frames per request.
#include "PSQuarnComms.h"

#include "FileHandle.h"
#include "SysUtils.h"
#include "filecompression.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

uint8_t TQuarnComms::GoodRequestsInARow = 0;

namespace {

// After a failed burst the line counts as clear once it has been quiet this
// long (some hundred byte times at 19200 baud), or half the quiet time that
// ends a burst when that is shorter.
constexpr uint32_t DrainQuietMs = 50;

std::string num(int64_t v)
{
    return std::to_string(v);
}

} // namespace

// ---------------------------------------------------------------------------
// Common

bool TQuarnComms::storeBlock(std::FILE* file, const uint8_t* data, size_t count)
{
    if (FileWriteFailed)
        return false;
    // Flushed per block so that a full disk shows at the block that did not
    // fit, and only what reached the file is counted.
    if ((count > 0 && std::fwrite(data, 1, count, file) != count) || std::fflush(file) != 0) {
        const int e = errno;
        FileWriteFailed = true;
        FileWriteError = std::strerror(e);
        Debug("Cannot write to " + TransferFileName + ": " + FileWriteError);
        return false;
    }
    BytesReceived += static_cast<int32_t>(count);
    return true;
}

// ---------------------------------------------------------------------------
// Single-frame protocol

bool TQuarnComms::retrieveSingleFrData(const std::string& name, bool append, enLinkStatus& status)
{
    ReplyAborted = false;
    FileWriteFailed = false;
    FileWriteError.clear();
    TransferFileName = name;
    uint32_t exchange = 0;
    uint8_t request = fcFileStart;

    OwnedFile owned = openFile(name, append ? "ab" : "wb");
    std::FILE* file = owned.get();
    if (!file) {
        FileWriteError = std::strerror(errno);
        return false;
    }

    BufferFrameData out;
    std::memset(&out, 0, sizeof out);
    BufferFrameData in;
    std::memset(&in, 0, sizeof in);
    bool ended = false;
    for (;;) {
        // A file that cannot take more is given up like a user's abort, so
        // the logger stops sending too.
        if (TransferAborted || FileWriteFailed) {
            out.Content = fcFileReceiverAbort;
            out.Length = 0;
            const uint8_t r = SendFrameAwaitReply(out, in, 5, 3);
            if (r != lsOk)
                status = static_cast<enLinkStatus>(r);
            else
                status = in.Content == fcFileSenderAbort ? lsTransferAborted : lsUnexpectedReply;
            break;
        }
        out.Content = static_cast<enFrameContent>(request);
        out.Length = 0;
        const uint8_t r = SendFrameAwaitReply(out, in, 5, 3);
        if (r != lsOk) {
            status = static_cast<enLinkStatus>(r);
            break;
        }
        // The exchange took only an answer to this request: the first block
        // to the start request, a block of the asked parity or the end to a
        // next request. A block of the other parity, the answer to an
        // earlier repeat, was dropped as late.
        const size_t count = in.Length > 0 ? in.Length - 1 : 0;
        bool unexpected = false;
        switch (in.Content) {
        case fcFileFirstBlock:
            if (exchange != 0) {
                unexpected = true;
                break;
            }
            storeBlock(file, in.Data, count);
            request = fcFileNextEven;
            break;
        case fcFileBlockEven:
        case fcFileBlockOdd:
            if (exchange == 0) {
                unexpected = true;
                break;
            }
            storeBlock(file, in.Data, count);
            request = in.Content == fcFileBlockEven ? fcFileNextOdd : fcFileNextEven;
            break;
        case fcFileEnd:
            if (exchange == 0 || count < 2 || in.Data[0] != 0xFE || in.Data[1] != 0xFF) {
                unexpected = true;
                break;
            }
            status = lsOk;
            ended = true;
            break;
        default:
            unexpected = true;
            break;
        }
        if (unexpected) {
            status = lsUnexpectedReply;
            break;
        }
        if (ended)
            break;
        ++exchange;
    }
    if (std::fclose(owned.release()) != 0 && !FileWriteFailed) {
        FileWriteFailed = true;
        FileWriteError = std::strerror(errno);
        Debug("Cannot write to " + name);
    }
    return ended && !FileWriteFailed;
}

bool TQuarnComms::RetrieveCCFile(const std::string& name, enLinkStatus& status)
{
    BytesReceived = 0;
    TransferAborted = false;
    const bool transferred = retrieveSingleFrData(name, false, status);

    // Unwrapped whatever the outcome; a failed transfer still fails the call,
    // so a part of an image is never taken for the image.
    std::unique_ptr<TFileCompression> coder(new TFileCompression(this));
    const std::string base = TFileCompression::baseName(name);
    const std::string ext = TFileCompression::extension(name);
    const std::string coded = base + ".cmp";
    bool compressed = false;
    bool ok = coder->RLE_DecodeFile(name, &compressed);
    if (ok) {
        if (compressed) {
            ok = coder->decompressFileName(base, ext);
        } else {
            // The raw form carries the file itself.
            ok = std::rename(coded.c_str(), name.c_str()) == 0;
        }
    }
    if (coded != name)
        std::remove(coded.c_str());
    return ok && transferred;
}

int32_t TQuarnComms::RetrieveLogFile(const std::string& name, int32_t size, enLinkStatus& status)
{
    ExpectedSize = size;
    BytesReceived = 0;
    TransferAborted = false;
    if (size < MultiFrameThreshold)
        retrieveSingleFrData(name, true, status);
    else
        retrieveMultiFramedDataFile(name);
    Debug("Downloaded: " + num(size) + " - " + num(BytesReceived) + " - " + num(int64_t(size) - BytesReceived));
    return BytesReceived;
}

// ---------------------------------------------------------------------------
// Multi-frame protocol

uint8_t TQuarnComms::checkIO(uint8_t content) const
{
    return judgeFrame(RxFrame.Buffer[0], content);
}

void TQuarnComms::loadBuffer(uint8_t content, const uint8_t* data, int length)
{
    length = std::clamp(length, 1, static_cast<int>(sizeof TxFrame.Buffer));
    TxFrame.Buffer[0] = content;
    if (length > 1)
        std::memcpy(TxFrame.Buffer + 1, data, static_cast<size_t>(length - 1));
}

bool TQuarnComms::sendFrameToLogger(int length)
{
    RxFrame.Status = fsCleared;
    RxFrame.Length = 0;
    RxFrame.Crc = 0;
    // The encoder's output buffer holds 256 bytes: frames stay well below.
    TxFrame.Length = std::clamp(length, 1, 124);
    uint8_t out[256];
    std::memset(out, 0, sizeof out);
    int n = 0;
    uint8_t step = esStartDle;
    uint8_t index = 0;
    uint8_t byte = 0;
    while (n < static_cast<int>(sizeof out) && frameEncoder(step, TxFrame, byte, index))
        out[n++] = byte;
    return sendBuffer(out, n);
}

void TQuarnComms::drainLine()
{
    waitForQuietLine(std::min(DrainQuietMs, QuietTimeMs / 2), timeGetTime() + QuietTimeMs);
}


enMultiFrameResult TQuarnComms::sendMultipleFrameRequest(uint8_t content, int length, uint8_t& receivedContent,
                                                         uint8_t& written, uint8_t wanted, std::FILE* file)
{
    written = 0;
    FlushInBuffer();
    if (!sendFrameToLogger(length))
        return mfPortClosed;

    // Collect the raw burst; only frame ends are looked for while it arrives.
    enum class End { Count, Quiet, Full, PortLost };
    std::vector<uint8_t> burst(BurstBufferSize);
    int collected = 0;
    int pairs = 0;
    BurstScan scan;
    scan.request = content;
    uint32_t deadline = timeGetTime() + QuietTimeMs;
    End end;
    for (;;) {
        if (!PortOpen) {
            end = End::PortLost;
            break;
        }
        if (collected >= BurstBufferSize) {
            // More than a burst can hold: decode what fitted; the rest is
            // asked for again.
            end = End::Full;
            break;
        }
        const int room = std::min(256, BurstBufferSize - collected);
        const int n = GetBlock(burst.data() + collected, room);
        if (n > 0) {
            const int lateBefore = scan.lateEnds;
            const int ends = countFrameEnds(burst.data() + collected, n, scan);
            collected += n;
            // A late answer's frame end counts for nothing, but the line
            // was not quiet either.
            if (ends > 0 || scan.lateEnds != lateBefore)
                deadline = timeGetTime() + QuietTimeMs;
            if (ends > 0) {
                pairs += ends;
                if (pairs >= wanted) {
                    ProcessMessages();
                    end = End::Count;
                    break;
                }
            }
        }
        // The port was read after the last wait, so a passed deadline means
        // the line really was quiet that long.
        if (tickReached(timeGetTime(), deadline)) {
            end = End::Quiet;
            break;
        }
        // Sleep until more arrives, the user does something or the quiet
        // time ends; a full read may have left more behind, so then go on.
        if (n < room)
            waitUntil(deadline);
    }

    if (end == End::Quiet) {
        const enMultiFrameResult verdict = quietVerdict(pairs, collected, int64_t(ExpectedSize) - BytesReceived);
        if (verdict != mfComplete)
            return verdict;
        Debug("Ooops: " + num(pairs) + " - " + num(wanted) + " - " + num(collected));
    }

    // Decode and store the burst frame by frame.
    const BurstVerdict v = decodeBurst(burst.data(), collected, content, wanted, RxFrame,
                                       [&](const uint8_t* data, size_t count) {
                                           return storeBlock(file, data, count);
                                       });
    if (v.frames)
        receivedContent = v.receivedContent;
    written = v.written;
    if (v.debug)
        Debug(v.debug);
    // The port went away during the burst: what arrived whole is stored, and
    // the download ends here.
    if (end == End::PortLost && v.result != mfComplete)
        return mfPortClosed;
    return v.result;
}

bool TQuarnComms::getMultipleFrames(uint8_t content, uint8_t& receivedContent, uint8_t& wanted, uint8_t& trouble,
                                    std::FILE* file)
{
    int length = isData(content) ? 2 : 1;
    uint8_t data[3] = {wanted, 0, 0};
    bool recovery = false;
    const auto moreTrouble = [&trouble] {
        if (trouble < 0xFF)
            ++trouble;
        GoodRequestsInARow = 0;
    };
    for (int attempt = 1; attempt <= 7; ++attempt) {
        // A cancelled download asks for nothing more, not even a repeat.
        if (attempt > 1 && TransferAborted)
            return false;
        // What still arrives from the failed burst must not pass for the
        // answer to its repeat.
        if (attempt > 1)
            drainLine();
        loadBuffer(content, data, length);
        uint8_t written = 0;
        enMultiFrameResult r = sendMultipleFrameRequest(content, length, receivedContent, written, wanted, file);
        if (FileWriteFailed)
            return false;
        // A wait frame after stored frames: asking the same burst again would
        // store them twice, so the rest is asked for like after a bad frame.
        if (r == mfRetry && written > 0)
            r = mfBadFrame;
        switch (r) {
        case mfComplete:
            if (++GoodRequestsInARow >= 6) {
                GoodRequestsInARow = 0;
                if (trouble > 0)
                    --trouble;
            }
            return true;
        case mfRetry:
            // Nothing came of this attempt (a wait frame or a quiet line), so
            // the logger is where it was: the same request again, a recovery
            // request with the count of the failed burst it names.
            break;
        case mfPartial:
            moreTrouble();
            if (attempt == 1) {
                data[0] = 1;
                data[1] = 0;
                data[2] = 0;
                length = 4;
                wanted = 1;
                recovery = true;
            }
            break;
        case mfBadFrame:
            moreTrouble();
            data[0] = 1;
            data[1] = 0;
            data[2] = written;
            length = 4;
            wanted = 1;
            recovery = true;
            break;
        case mfPortClosed:
            Debug("************PORT_CLOSED*****************");
            return false;
        }
        if (!recovery)
            data[0] = wanted;
    }
    return false;
}

bool TQuarnComms::retrieveMultiFramedDataFile(const std::string& name)
{
    FileWriteError.clear();
    OwnedFile owned = openFile(name, "ab");
    std::FILE* file = owned.get();
    if (!file) {
        FileWriteError = std::strerror(errno);
        return false;
    }
    FileWriteFailed = false;
    TransferFileName = name;
    BytesReceived = 0;
    ClearBuffers();
    initCommsBuffers();

    uint8_t request = fcFileStart;
    uint8_t wanted = 1;
    uint8_t trouble = 0;
    uint8_t received = 0;
    bool ended = false;
    bool stop = false;
    while (!ended && !stop && !TransferAborted) {
        if (!getMultipleFrames(request, received, wanted, trouble, file))
            break;
        wanted = framesWanted(trouble);
        switch (request) {
        case fcFileStart:
            if (received == fcFileFirstBlock)
                request = fcMultiNextEven;
            else if (received == fcMultiEndEven || received == fcMultiEndOdd)
                ended = true;
            else
                stop = true;
            break;
        case fcMultiNextEven:
            if (received == fcMultiBlockEven)
                request = fcMultiNextOdd;
            else if (received == fcMultiEndEven)
                ended = true;
            break;
        case fcMultiNextOdd:
            if (received == fcMultiBlockOdd)
                request = fcMultiNextEven;
            else if (received == fcMultiEndEven)
                ended = true;
            break;
        default:
            stop = true;
            break;
        }
    }
    if (std::fclose(owned.release()) != 0 && !FileWriteFailed) {
        FileWriteFailed = true;
        FileWriteError = std::strerror(errno);
        Debug("Cannot write to " + name);
    }
    return ended;
}
