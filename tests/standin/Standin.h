// The stand-in sensor: plays the logger on the master side of a
// pseudo-terminal whose slave side the programs open as their serial port.
// It runs on its own thread, decodes the PC's frames and answers each one from
// a script (one entry per request, for fault injection) or, when the script is
// empty, from a table of handlers by content code and command byte.
#pragma once

#include "Framing.h"
#include "ImageBuilder.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace standin {

using Clock = std::chrono::steady_clock;

// One thing the stand-in sends (or does) in answer to a request.
struct Response {
    enum Kind { Frame, Raw, Silence, HangUp, Default };
    Kind kind = Frame;
    uint8_t content = 0;
    Bytes data;          // frame data, or the raw bytes
    bool badCrc = false; // frame with a spoiled CRC
    Bytes noiseBefore;   // sent just before the frame
    int delayMs = 0;     // wait before sending

    static Response make(Kind kind, uint8_t content = 0, Bytes data = {})
    {
        Response r;
        r.kind = kind;
        r.content = content;
        r.data = std::move(data);
        return r;
    }
    static Response frame(uint8_t content, Bytes data) { return make(Frame, content, std::move(data)); }
    static Response reply(uint8_t command, Bytes payload, uint8_t status = 0x80);
    static Response wait() { return frame(0x82, {}); }
    static Response raw(Bytes bytes) { return make(Raw, 0, std::move(bytes)); }
    static Response silence() { return make(Silence); }
    static Response hangUp() { return make(HangUp); }
    // Answer from the handlers as if no script entry existed.
    static Response byHandler() { return make(Default); }
    Response&& withNoise(Bytes noise) && { noiseBefore = std::move(noise); return std::move(*this); }
    Response&& withBadCrc() && { badCrc = true; return std::move(*this); }
    Response&& after(int ms) && { delayMs = ms; return std::move(*this); }
};

using Responses = std::vector<Response>;

// A request frame as the stand-in received it.
struct Request {
    standin::Frame frame;
    Clock::time_point receivedAt; // its closing ETX arrived
    Clock::time_point answeredAt; // the last byte of the answer was written
};

class Standin {
public:
    using Handler = std::function<Responses(const standin::Frame&)>;

    Standin();
    ~Standin();
    Standin(const Standin&) = delete;
    Standin& operator=(const Standin&) = delete;

    // Device path the programs open (/dev/pts/N).
    const std::string& slavePath() const { return slavePath_; }

    // Paces output at this line rate (8N1: baud / 10 bytes per second);
    // 0 sends as fast as the pseudo-terminal takes it.
    void setLineRate(int baud) { lineRate_ = baud; }

    // Handler for command frames (content 0x80) whose first byte is `command`.
    void onCommand(uint8_t command, Handler handler);
    // Handler for every frame of the content code (used when no command handler matches).
    void onContent(uint8_t content, Handler handler);
    // Answers taken one per request before any handler: script() gives each
    // request one response, scriptAnswer() one request several.
    void script(const Responses& oneEach);
    void scriptAnswer(Responses answer);
    void clearScript();

    // Sends bytes now, unasked (paced like any answer).
    void send(const Bytes& bytes);
    // Closes the master side: the program's port sees the device vanish.
    void hangUp();
    bool hungUp() const { return hungUp_; }

    std::vector<Request> requests() const;
    size_t requestCount() const;
    bool waitForRequests(size_t count, int timeoutMs) const;
    // Everything the PC wrote, and a readable transcript ("PC> 10 02 ...").
    Bytes receivedBytes() const;
    std::vector<std::string> transcript() const;
    int badFrames() const;
    void clearLog();

    // Bytes the PC writes pass through the filter before the frame decoder,
    // which gets only what it returns (the boot code's plain text, BootCode.h).
    // Once set to nothing, the old filter is no longer running or called.
    using InputFilter = std::function<Bytes(const uint8_t* data, size_t count)>;
    void setInputFilter(InputFilter filter);
    // The line rate the program set on its end of the terminal; 0 when it
    // cannot be read (Terminal.cpp).
    int terminalBaud() const;

    // The sensor's configuration and calibration images (ImageBuilder.cpp).
    SensorImages images() const;
    void setImages(const SensorImages& images);

private:
    void run();
    void handle(Request& request);
    void perform(const Response& response);
    void writeAll(const Bytes& bytes);
    void closeMaster();

    std::atomic<int> master_{-1};
    std::atomic<int> slaveHold_{-1};
    int wake_[2] = {-1, -1};
    std::string slavePath_;
    std::atomic<int> lineRate_{0};
    std::atomic<bool> stop_{false};
    std::atomic<bool> hungUp_{false};

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<uint8_t, Handler> commandHandlers_;
    std::map<uint8_t, Handler> contentHandlers_;
    std::deque<Responses> script_;
    std::vector<Request> requests_;
    Bytes received_;
    std::vector<std::string> transcript_;
    FrameReader reader_;
    SensorImages images_ = defaultImages();
    std::mutex writeMutex_;
    std::mutex filterMutex_; // held while the input filter runs
    InputFilter inputFilter_;
    std::thread thread_;
};

} // namespace standin
