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
#include <optional>
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
    Bytes noiseBefore;   // sent just before the frame or the raw bytes...
    int noiseLeadMs = 0; // ...this long before them (0: right ahead)
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
    // Answer from the handlers as if no script entry existed; in an answer
    // of several responses, the handlers' answer goes in its place.
    static Response byHandler() { return make(Default); }
    Response&& withNoise(Bytes noise, int leadMs = 0) &&
    {
        noiseBefore = std::move(noise);
        noiseLeadMs = leadMs;
        return std::move(*this);
    }
    Response&& withBadCrc() && { badCrc = true; return std::move(*this); }
    Response&& after(int ms) && { delayMs = ms; return std::move(*this); }
};

using Responses = std::vector<Response>;

// Stray bytes on the line ahead of answers, as a sensor that is powering up
// or a glitch on the cable puts there. They go out with the answer, whether
// it comes from the script or a handler.
struct NoisePlan {
    Bytes bytes{0x00};
    // Requests, counted from setNoise (0 is the next one), whose answers get
    // the noise...
    std::vector<size_t> requests;
    // ...or every answer to a request that is not the same frame as the one
    // before it, so that the PC's repeat of a spoilt exchange is answered
    // clean...
    bool everyNewRequest = false;
    // ...except answers to these commands (a jump that restarts the sensor,
    // whose repeat nobody hears).
    std::vector<uint8_t> sparedCommands;
    // How long before the answer the stray bytes go out (0: right ahead).
    int leadMs = 0;
};

// Answers that reach the program late: after it purged its input and sent
// its next request, as the answer to a try the program gave up on, or a
// logger's second answer to a request it heard twice, does.
struct LatePlan {
    // Requests, counted from setLate (0 is the next one), whose answers are
    // held back...
    std::vector<size_t> requests;
    // ...until this many more requests have arrived: they then go out ahead
    // of the answer to the last of them.
    size_t untilRequests = 1;
    // The answer goes out at once as well, and the held copy on top.
    bool alsoAtOnce = false;
};

// A request frame as the stand-in received it.
struct Request {
    standin::Frame frame;
    Clock::time_point receivedAt; // its closing ETX arrived
    // The last byte of the answer was handed to the line (the moment it is
    // readable on the program's port), not the end of the pacing that
    // follows it; when nothing was sent, the moment the answer was done.
    Clock::time_point answeredAt;
    // The answer's first byte went on the line (the start of its wire time);
    // the same as answeredAt when nothing was sent.
    Clock::time_point startedAt;
    size_t answerBytes = 0; // bytes the answer put on the line
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

    // Paces output at this line rate (8N1: baud / 10 bytes per second): a
    // byte is handed over when the wire would have finished it, and answers
    // given back to back follow each other without a gap; 0 sends as fast as
    // the pseudo-terminal takes it.
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
    // While muted the stand-in still reads and logs every request but
    // answers none, as a sensor whose power failed with the cable in place.
    void setMuted(bool muted) { muted_ = muted; }
    // Noise ahead of answers (above); clearNoise ends it.
    void setNoise(NoisePlan plan);
    void clearNoise() { setNoise(NoisePlan{}); }
    // Answers that went out with noise ahead of them since setNoise.
    int noisyAnswers() const;
    // Answers held back past later requests (above); clearLate ends the plan
    // and drops what is still held.
    void setLate(LatePlan plan);
    void clearLate() { setLate(LatePlan{}); }
    // Held answers that have gone out since setLate.
    int lateAnswers() const;

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
    // Puts the plan's noise ahead of the first bytes of `answer` when the
    // request is one it names.
    void addNoise(const standin::Frame& request, Responses& answer);
    // Counts the request against the late plan: holds back `answer` (or a
    // copy) when the plan names it, and returns the held answers now due
    // (dropped unless `sending`).
    Responses takeLate(Responses& answer, bool sending);
    void perform(const Response& response);
    void writeAll(const Bytes& bytes);
    struct Writes {
        Clock::time_point last;  // the last write
        Clock::time_point start; // the start of the first one since the last call
        size_t bytes = 0;        // written since the last call
    };
    Writes writes();
    void closeMaster();

    std::atomic<int> master_{-1};
    std::atomic<int> slaveHold_{-1};
    int wake_[2] = {-1, -1};
    std::string slavePath_;
    std::atomic<int> lineRate_{0};
    std::atomic<bool> stop_{false};
    std::atomic<bool> hungUp_{false};
    std::atomic<bool> muted_{false};

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<uint8_t, Handler> commandHandlers_;
    std::map<uint8_t, Handler> contentHandlers_;
    std::deque<Responses> script_;
    std::vector<Request> requests_;
    Bytes received_;
    std::vector<std::string> transcript_;
    FrameReader reader_;
    NoisePlan noise_;            // guarded by mutex_
    size_t noiseRequest_ = 0;    // requests since setNoise; guarded by mutex_
    int noisyAnswers_ = 0;       // guarded by mutex_
    std::optional<standin::Frame> previous_; // the request before; guarded by mutex_
    struct Held {
        size_t requestsLeft; // before it goes out
        Responses answer;
    };
    LatePlan late_;            // guarded by mutex_
    size_t lateRequest_ = 0;   // requests since setLate; guarded by mutex_
    std::vector<Held> held_;   // guarded by mutex_
    int lateAnswers_ = 0;      // guarded by mutex_
    SensorImages images_ = defaultImages();
    std::mutex writeMutex_;
    std::mutex filterMutex_; // held while the input filter runs
    InputFilter inputFilter_;
    Clock::time_point lastWrite_; // guarded by writeMutex_
    Clock::time_point firstStart_; // of the first write since the last writes(); guarded by writeMutex_
    size_t written_ = 0;           // bytes written since the last writes(); guarded by writeMutex_
    Clock::time_point lineFreeAt_; // the paced line has sent all it was given; guarded by writeMutex_
    std::thread thread_;
};

} // namespace standin
