// The logger's record stream, written independently of the program's record
// decoder: record frames of every type with their escapes and CRC, built
// from a sensor state (schedules with channel values, logging start and stop,
// comments, system events, triggers, alarms, sampler, rain, notes), and the
// download file that holds the two images in front of such a stream.
#pragma once

#include "Framing.h"
#include "SensorImages.h"
#include "Timestamp.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace standin {

namespace record {
constexpr uint8_t Null = 0xC0;
constexpr uint8_t ScheduleData = 0xC1;
constexpr uint8_t StartOfLogging = 0xC2;
constexpr uint8_t Comment = 0xC3;
constexpr uint8_t TriggerEvent = 0xC4;
constexpr uint8_t SamplerEvent = 0xC5;
constexpr uint8_t AlarmEvent = 0xC6;
constexpr uint8_t SystemLog = 0xC7;
constexpr uint8_t DataVariation = 0xC8;
constexpr uint8_t RainEvent = 0xC9;
constexpr uint8_t RainMissingEvent = 0xCA;
constexpr uint8_t UnnamedCB = 0xCB;
constexpr uint8_t SboxStatus = 0xCC;
constexpr uint8_t Notify = 0xCD;

constexpr float NoValue = -1e10f;

// Payload builders, one per record type (values little-endian, floats as
// IEEE single precision).
Bytes scheduleData(uint8_t schedule, const std::vector<uint8_t>& channels, const std::vector<float>& values,
                   uint8_t valueSets = 1);
// The same layout with the two trailing bytes of a trigger event.
Bytes triggerEvent(uint8_t schedule, const std::vector<uint8_t>& channels, const std::vector<float>& values,
                   uint16_t trailer = 0);
Bytes alarmEvent(uint8_t schedule, const std::vector<uint8_t>& channels, const std::vector<float>& values);
// Length byte (counting itself), a spare byte, then the 24-bit number most
// significant byte first.
Bytes startOfLogging(uint32_t number);
// Length byte (counting itself), a spare byte, then the text.
Bytes comment(const std::string& text);
Bytes notify(const std::string& text);
Bytes samplerEvent(uint8_t repeat, float value);
Bytes systemLog(uint8_t event);
Bytes dataVariation(uint8_t channel, float value);
// A spare byte, two flags, the base time, then 104 tip bits (byte 9 first,
// most significant bit first).
Bytes rainEvent(uint8_t flag1, uint8_t flag2, const Timestamp& base, const std::array<uint8_t, 13>& tips);
Bytes rainMissingEvent(int8_t value);
// Seven bytes of its own, then value sets m and channel count k, then
// 4·m·k + k bytes.
Bytes unnamedCB(uint8_t valueSets, uint8_t channels);
Bytes sboxStatus(const std::array<uint8_t, 12>& status);

// Marker, type and time raw; header, payload and CRC escaped (0xFD travels
// as FD 7D, 0xFE as FD 7E). The CRC runs over the marker, type and time, then
// the unescaped header and payload. With badCrc the CRC's low byte is inverted.
Bytes frame(uint8_t type, const Timestamp& time, const Bytes& payload, const std::array<uint8_t, 3>& header = {},
            bool badCrc = false);
} // namespace record

// Seconds since 2000-01-01 00:00:00 and back (hour 24 is not produced).
int64_t secondsOf(const Timestamp& time);
Timestamp timestampOf(int64_t seconds);

// The two images followed by the record stream.
Bytes downloadFile(const CalibrationData& cal, const ConfigurationData& conf, const Bytes& stream);

// One schedule of the sensor state: which channels it logs and how often.
struct LoggedSchedule {
    uint8_t number = 1;
    std::vector<uint8_t> channels;
    int intervalSeconds = 60;
};

struct LoggerState {
    Timestamp start{};
    std::vector<LoggedSchedule> schedules;
    // The channel's reading at a time (seconds since 2000); by default a
    // slow wave that differs per channel.
    std::function<float(uint8_t channel, int64_t seconds)> value;
    std::string initials = "JS";
};

// The schedules that the configuration image sets up (records 1 to
// ScheduleCount - 1 that are in use, each with its channels and its record
// interval: scan time times record multiple, at least a second).
LoggerState loggerStateFrom(const ConfigurationData& conf, const Timestamp& start);

// Builds the logger's memory record by record. Each record is indexed with
// its time and stream offset, so a time range maps to an address range.
class RecordGenerator {
public:
    struct Entry {
        int64_t seconds; // record time, seconds since 2000
        uint8_t type;
        size_t offset;   // of its marker
        size_t length;   // raw bytes
    };

    explicit RecordGenerator(const Timestamp& start = Timestamp{24, 6, 26, 14, 30, 5});

    Timestamp now() const { return timestampOf(now_); }
    void setNow(const Timestamp& time) { now_ = secondsOf(time); }
    void advance(int64_t seconds) { now_ += seconds; }

    // Appends one record at the current time.
    void add(uint8_t type, const Bytes& payload, const std::array<uint8_t, 3>& header = {});
    // Appends bytes that are not a whole record (noise, a cut-short frame).
    void addRaw(const Bytes& bytes);

    // The comment text of the logging controls: kind letter, 7 initials
    // characters padded with '_', then the text.
    static std::string commentText(char kind, const std::string& initials, const std::string& text);

    // Start of logging: the "S" comment, then the start-of-logging record.
    void startLogging(const std::string& initials, const std::string& text, uint32_t number);
    void stopLogging(const std::string& initials, const std::string& text);
    void visit(const std::string& initials, const std::string& text);

    // Runs the state's schedules from the current time: a record per
    // schedule and interval, and now and then every other kind of record,
    // until the stream holds at least `bytes` bytes.
    void run(const LoggerState& state, size_t bytes);

    const Bytes& stream() const { return stream_; }
    const std::vector<Entry>& index() const { return index_; }
    // Stream offsets [first, end) of the records whose time lies in [from, to].
    std::pair<size_t, size_t> range(const Timestamp& from, const Timestamp& to) const;

private:
    int64_t now_;
    Bytes stream_;
    std::vector<Entry> index_;
};

} // namespace standin
