// Plain text on the link, spoken only by the comms-mode utility's build: it
// finds the sensor's baud rate by asking for its banner and walks the boot
// code's text menu by single keys and awaited texts.
#include "PSQuarnComms.h"

#include "SysUtils.h"
#include "VaComm.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

// How long the line must stay quiet before the text that followed an awaited
// pattern counts as complete. A prompt's value comes right after the prompt.
constexpr int32_t TrailingQuietMs = 25;

constexpr int ReadChunk = 1024;

// Whether `pattern` is in the text collected so far: the first `count`
// bytes, up to the first zero byte among them.
bool holdsPattern(const uint8_t* buffer, int32_t count, const std::string& pattern)
{
    const auto* zero = static_cast<const uint8_t*>(std::memchr(buffer, 0, static_cast<size_t>(count)));
    const size_t textLength = zero ? static_cast<size_t>(zero - buffer) : static_cast<size_t>(count);
    return std::string_view(reinterpret_cast<const char*>(buffer), textLength).find(pattern) !=
           std::string_view::npos;
}

} // namespace

int32_t TQuarnComms::LinkBaudRate(int32_t baud)
{
    switch (baud) {
    case 1200:
    case 2400:
    case 4800:
    case 9600:
        return baud;
    default:
        return 19200;
    }
}

bool TQuarnComms::sendString(const std::string& text)
{
    ClearBuffers();
    if (PortOpen && Port) {
        for (const char c : text) {
            Port->WriteChar(c);
            ProcessMessages();
            if (!PortOpen || !Port)
                break; // the device went away in the middle of the text
        }
        // A pending reply abort does not stop plain text: it is not a frame.
        if (OnTxActivity)
            OnTxActivity(this);
    }
    return true;
}

bool TQuarnComms::WaitForString(const std::string& pattern, uint8_t* buffer, int32_t length, int32_t& received,
                                uint16_t timeout)
{
    if (!buffer || length < 0)
        length = 0;
    bool found = false;
    int32_t count = 0;
    const uint32_t deadline = timeGetTime() + timeout;
    RxFrame.Length = 0;
    RxFrame.Status = fsReceiving;
    if (length > 0)
        std::memset(buffer, 0, static_cast<size_t>(length));

    uint8_t work[ReadChunk];
    while (PortOpen) {
        std::memset(work, 0, sizeof work);
        const int n = GetBlock(work, ReadChunk);
        if (n > 0) {
            if (count + n < length) {
                std::memcpy(buffer + count, work, static_cast<size_t>(n));
                count += n;
                if (holdsPattern(buffer, count, pattern)) {
                    found = true;
                    break;
                }
            } else {
                // The buffer is full: search what fits and stop.
                std::memcpy(buffer + count, work, static_cast<size_t>(length - count));
                count = length;
                found = holdsPattern(buffer, count, pattern);
                break;
            }
        }
        const uint32_t now = timeGetTime();
        if (tickReached(now, deadline))
            break;
        // A full read may have left more behind; otherwise sleep until the
        // port has data, the user does something, or the time-out ends.
        if (n < ReadChunk)
            WaitForMessages(deadline - now);
        else
            ProcessMessages();
    }

    // Keep the text that follows the pattern (a prompt's current value) for
    // the caller, as long as the line goes on talking. A sensor that never
    // stops gets no more than the wait's own time-out for it.
    Delay(TrailingQuietMs);
    const uint32_t drainEnd = timeGetTime() + std::max<uint32_t>(timeout, TrailingQuietMs);
    while (PortOpen && Port && Port->ReadBufUsed() > 0) {
        const int n = GetBlock(work, ReadChunk);
        if (n > 0 && count + n < length) {
            std::memcpy(buffer + count, work, static_cast<size_t>(n));
            count += n;
        }
        if (tickReached(timeGetTime(), drainEnd))
            break;
        Delay(TrailingQuietMs);
    }
    received = count;
    return found;
}
