#include "PSQuarnComms.h"

#include "SysUtils.h"
#include "VaComm.h"
#include "VaConfigDialog.h"

#include <algorithm>
#include <cstring>
#include <vector>

TQuarnComms::TQuarnComms(QObject* owner) : QObject(owner) {}

TQuarnComms::~TQuarnComms()
{
    Destroying = true;
    if (Port)
        Port->Close();
    ReplyAborted = true;
    PortOpen = false;
    delete PortDialog;
    PortDialog = nullptr;
}

// ---------------------------------------------------------------------------
// Port

bool TQuarnComms::OpenPort(const std::string& name, int32_t baud)
{
    PortOpen = false;
    const int32_t portNumber = StrToInt(name.size() > 3 ? name.substr(3) : std::string());

    // A fresh port object for every opening; the one it replaces goes now.
    delete Port;
    Port = new TVaComm(this);
    connect(Port, &TVaComm::PortLost, this, &TQuarnComms::portLost);
    try {
        Port->Baudrate = LinkBaudRate(baud);
        if (portNumber != 0) {
            Port->PortNum = portNumber;
        } else {
            delete PortDialog;
            PortDialog = new TVaConfigDialog();
            PortDialog->Comm = Port;
            if (!PortDialog->Execute())
                throw EVaCommError("No port was chosen in the port dialog");
        }
        Port->Open();
    } catch (const std::exception& e) {
        Debug(e.what());
        return false;
    }
    PortOpen = true;
    return true;
}

bool TQuarnComms::ClosePort()
{
    if (!Port)
        return false;
    Port->Close();
    PortOpen = Port->Active();
    return PortOpen;
}

void TQuarnComms::portLost(const QString& reason)
{
    PortOpen = false;
    Debug("Port closed: " + reason.toStdString());
}

void TQuarnComms::FlushOutBuffer()
{
    if (Port && Port->WriteBufUsed() != 0) {
        Port->PurgeWrite();
        ProcessMessages();
    }
}

void TQuarnComms::FlushInBuffer()
{
    if (Port && Port->ReadBufUsed() != 0) {
        Port->PurgeRead();
        ProcessMessages();
    }
}

void TQuarnComms::ClearBuffers()
{
    if (!PortOpen)
        return;
    FlushOutBuffer();
    FlushInBuffer();
}

void TQuarnComms::waitUntil(uint32_t deadline)
{
    const uint32_t now = timeGetTime();
    WaitForMessages(tickReached(now, deadline) ? 0 : deadline - now);
}

void TQuarnComms::waitForQuietLine(uint32_t quietMs, uint32_t giveUp)
{
    uint8_t scratch[256];
    uint32_t lastByte = timeGetTime();
    while (PortOpen && !ReplyAborted) {
        const int n = GetBlock(scratch, sizeof scratch);
        const uint32_t now = timeGetTime();
        if (n > 0)
            lastByte = now;
        else if (tickReached(now, lastByte + quietMs))
            break;
        if (tickReached(now, giveUp))
            break;
        // A full read may have left more behind; otherwise sleep until more
        // arrives or the line has been quiet long enough.
        if (n < static_cast<int>(sizeof scratch)) {
            const uint32_t quietEnd = lastByte + quietMs;
            waitUntil(tickReached(quietEnd, giveUp) ? giveUp : quietEnd);
        } else {
            ProcessMessages();
        }
    }
}

namespace {
// After a bad frame the line counts as quiet when no byte has come for this
// many character times (10 bits each, 8N1): a UART's receive FIFO may hold
// that many before the driver sees them...
constexpr uint32_t QuietCharacters = 16;
// ...and for at least this long: serial drivers and USB adapters hand
// received bytes on in bursts up to some tens of milliseconds apart (an
// adapter's latency timer alone may hold them 16 ms).
constexpr uint32_t QuietFloorMs = 50;
} // namespace

uint32_t TQuarnComms::quietAfterBadFrameMs() const
{
    const uint32_t baud = Port && Port->Baudrate > 0 ? static_cast<uint32_t>(Port->Baudrate) : 19200u;
    const uint32_t characters = (QuietCharacters * 10u * 1000u + baud - 1) / baud;
    return std::max(QuietFloorMs, characters);
}

void TQuarnComms::Delay(int32_t milliseconds)
{
    const uint32_t deadline = timeGetTime() + static_cast<uint32_t>(std::max(milliseconds, 0));
    ProcessMessages();
    for (uint32_t now = timeGetTime(); !tickReached(now, deadline); now = timeGetTime())
        WaitForMessages(deadline - now);
}

int TQuarnComms::GetBlock(uint8_t* buffer, int count)
{
    if (!Port)
        return 0;
    const int n = Port->ReadBuf(buffer, count);
    if (static_cast<uint16_t>(n) != 0 && OnRxActivity)
        OnRxActivity(this);
    return n;
}

void TQuarnComms::PutBlock(const uint8_t* buffer, int count)
{
    if (!PortOpen || ReplyAborted || !Port)
        return;
    Port->WriteBuf(buffer, count);
    if (OnTxActivity)
        OnTxActivity(this);
}

bool TQuarnComms::sendBuffer(const uint8_t* data, int count)
{
    if (!PortOpen)
        return false;
    PutBlock(data, count);
    return true;
}

#ifndef BRINDLECOT_PORTMODE
void TQuarnComms::sendString(const std::string& /*text*/)
{
    // Plain text is only spoken by the comms-mode utility's build.
}
#endif

void TQuarnComms::AbortReply()
{
    ReplyAborted = true;
}

void TQuarnComms::AbortFileXfer()
{
    TransferAborted = true;
}

void TQuarnComms::initCommsBuffers()
{
    std::memset(&RxFrame, 0, sizeof RxFrame);
    std::memset(&TxFrame, 0, sizeof TxFrame);
}

void TQuarnComms::Debug(const std::string& text)
{
    if (OnDebugText)
        OnDebugText(this, text);
}

// ---------------------------------------------------------------------------
// Frames

bool TQuarnComms::SendFrame(const uint8_t* data, uint16_t length, uint8_t content)
{
    const uint16_t crc = CalcCcittCrc(content, data, 0, length);
    // Sized for the worst case (every byte stuffed), so no length can overrun it.
    std::vector<uint8_t> frame(4 + 2 * (static_cast<size_t>(length) + 3));
    frame[0] = DLE;
    frame[1] = STX;
    size_t n = 2 + static_cast<size_t>(dleEncode(content, crc, data, frame.data() + 2, length));
    frame[n++] = DLE;
    frame[n++] = ETX;
    if (!PortOpen)
        return false;
    PutBlock(frame.data(), static_cast<int>(n)); // at most 131080 bytes
    return true;
}

// ---------------------------------------------------------------------------
// Request and reply

bool TQuarnComms::GetFrame(BufferFrameData& reply, uint8_t timeout, const LateAnswerTest& late)
{
    const uint32_t deadline = timeGetTime() + static_cast<uint32_t>(timeout) * 1000u;
    uint8_t state = dsIdle;
    RxFrame.Length = 0;
    RxFrame.Status = fsReceiving;
    std::memset(RxFrame.Buffer, 0, sizeof RxFrame.Buffer);

    uint8_t block[1024];
    for (;;) {
        int n = 0;
        if (PortOpen) {
            n = GetBlock(block, sizeof block);
            for (int i = 0; i < n; ++i) {
                frameDecoder(state, block[i], RxFrame);
                if (RxFrame.Status == fsGood) {
                    if (late && late(RxFrame.Buffer[0], RxFrame.Buffer + 1, static_cast<size_t>(RxFrame.Length - 1))) {
                        // Not this request's answer: drop it and go on with
                        // the rest of the read, which may hold the right one.
                        resetFrame(RxFrame);
                        continue;
                    }
                    // The content code is counted in Length; Data gets the rest.
                    reply.Length = static_cast<uint32_t>(RxFrame.Length);
                    reply.Content = static_cast<enFrameContent>(RxFrame.Buffer[0]);
                    std::memcpy(reply.Data, RxFrame.Buffer + 1, static_cast<size_t>(RxFrame.Length - 1));
                    return false;
                }
                if (RxFrame.Status == fsBad) {
                    // The rest of what is arriving (the logger's answer
                    // behind a stray byte) would spoil the next try: let
                    // the line fall quiet before the request goes out
                    // again, within this try's time.
                    waitForQuietLine(quietAfterBadFrameMs(), deadline);
                    return true;
                }
            }
            // Sleep until the port has data, the user does something or the
            // time-out ends; a full read may have left more behind, so then
            // only pump.
            if (n < static_cast<int>(sizeof block))
                waitUntil(deadline);
            else
                ProcessMessages();
        }
        if (ReplyAborted || !PortOpen)
            return true;
        if (tickReached(timeGetTime(), deadline))
            return true;
    }
}

uint8_t TQuarnComms::SendFrameAwaitReply(const BufferFrameData& request, BufferFrameData& reply, uint16_t tries,
                                         uint8_t timeout)
{
    if (ReplyAborted)
        return lsAborted;
    // Our own copy: a handler running inside the wait may reuse the caller's buffer.
    const uint16_t length = static_cast<uint16_t>(std::min<uint32_t>(request.Length, sizeof request.Data));
    std::vector<uint8_t> data(request.Data, request.Data + length);
    const uint8_t content = request.Content;
    const uint8_t code = length > 0 ? data[0] : 0;
    const LateAnswerTest late = [content, code](uint8_t answer, const uint8_t* answerData, size_t count) {
        return isLateAnswer(content, code, false, answer, answerData, count);
    };

    uint32_t attempt = 1;
    ClearBuffers();
    if (!SendFrame(data.data(), length, content))
        return lsPortClosed;
    while (attempt <= tries && PortOpen && !ReplyAborted) {
        const bool failed = GetFrame(reply, timeout, late);
        if (!failed && reply.Content != fcWait)
            return lsOk;
        if (!Destroying) {
            ClearBuffers();
            if (!SendFrame(data.data(), length, content))
                return lsPortClosed;
        }
        ++attempt;
    }
    return lsNoReply;
}

bool TQuarnComms::awaitReplyOfContent(const BufferFrameData& request, enFrameContent expected, ReplyBuffer& reply,
                                      uint16_t& replyLength, uint16_t tries, uint8_t timeout, enLinkStatus& status)
{
    BufferFrameData frame;
    std::memset(&frame, 0, sizeof frame);
    const uint8_t r = SendFrameAwaitReply(request, frame, tries, timeout);
    if (r != lsOk) {
        status = static_cast<enLinkStatus>(r);
        return false;
    }
    if (frame.Content != expected) {
        status = lsUnexpectedReply;
        return false;
    }
    // Length counts the content code, so one byte past the data is copied as
    // well; the decoder limits Length to 510, which the reply buffer holds.
    const size_t n = std::min<size_t>(frame.Length, reply.size());
    std::memcpy(reply.data(), frame.Data, n);
    replyLength = static_cast<uint16_t>(n);
    status = lsOk;
    return true;
}

bool TQuarnComms::SendCommandAwaitReply(const uint8_t* command, uint16_t length, ReplyBuffer& reply,
                                        uint16_t& replyLength, uint16_t tries, uint8_t timeout,
                                        enLinkStatus& status)
{
    ReplyAborted = false;
    BufferFrameData request;
    request.Content = fcCommand;
    request.Length = std::min<uint16_t>(length, sizeof request.Data);
    if (request.Length)
        std::memcpy(request.Data, command, request.Length);
    return awaitReplyOfContent(request, fcCommandReply, reply, replyLength, tries, timeout, status);
}

bool TQuarnComms::AwaitSubTaskReply(ReplyBuffer& reply, uint16_t& replyLength, uint16_t tries, uint32_t timeout,
                                    enLinkStatus& status)
{
    ReplyAborted = false;
    BufferFrameData request;
    request.Content = fcSubTaskReply;
    request.Length = 0;
    return awaitReplyOfContent(request, fcSubTaskReply, reply, replyLength, tries,
                               static_cast<uint8_t>(timeout & 0xFF), status);
}
