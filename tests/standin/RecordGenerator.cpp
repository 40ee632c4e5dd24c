#include "RecordGenerator.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace standin {

namespace {

void putFloat(Bytes& out, float value)
{
    uint8_t b[4];
    std::memcpy(b, &value, 4); // the machines are little-endian, as the logger
    out.insert(out.end(), b, b + 4);
}

Bytes channelBlock(uint8_t schedule, const std::vector<uint8_t>& channels, const std::vector<float>& values,
                   uint8_t valueSets)
{
    Bytes p{schedule, valueSets, static_cast<uint8_t>(channels.size())};
    p.insert(p.end(), channels.begin(), channels.end());
    const size_t wanted = static_cast<size_t>(valueSets) * channels.size();
    for (size_t i = 0; i < wanted; ++i)
        putFloat(p, i < values.size() ? values[i] : 0.0f);
    return p;
}

Bytes lengthAndText(const std::string& text)
{
    Bytes p(text.size() + 2);
    p[0] = static_cast<uint8_t>(text.size() + 2);
    std::copy(text.begin(), text.end(), p.begin() + 2);
    return p;
}

void putEscaped(Bytes& out, uint8_t b)
{
    if (b == 0xFD || b == 0xFE) {
        out.push_back(0xFD);
        out.push_back(static_cast<uint8_t>(b ^ 0x80));
    } else {
        out.push_back(b);
    }
}

// Days since 2000-01-01 of a civil date, and back.
int64_t daysOf(int year, int month, int day)
{
    static const int before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    auto leap = [](int y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); };
    int64_t days = 0;
    for (int y = 2000; y < year; ++y)
        days += leap(y) ? 366 : 365;
    days += before[month - 1] + (month > 2 && leap(year) ? 1 : 0);
    return days + day - 1;
}

} // namespace

namespace record {

Bytes scheduleData(uint8_t schedule, const std::vector<uint8_t>& channels, const std::vector<float>& values,
                   uint8_t valueSets)
{
    return channelBlock(schedule, channels, values, valueSets);
}

Bytes triggerEvent(uint8_t schedule, const std::vector<uint8_t>& channels, const std::vector<float>& values,
                   uint16_t trailer)
{
    Bytes p = channelBlock(schedule, channels, values, 1);
    p.push_back(static_cast<uint8_t>(trailer & 0xFF));
    p.push_back(static_cast<uint8_t>(trailer >> 8));
    return p;
}

Bytes alarmEvent(uint8_t schedule, const std::vector<uint8_t>& channels, const std::vector<float>& values)
{
    return channelBlock(schedule, channels, values, 1);
}

Bytes startOfLogging(uint32_t number)
{
    return {5, 0, static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 8),
            static_cast<uint8_t>(number)};
}

Bytes comment(const std::string& text)
{
    return lengthAndText(text);
}

Bytes notify(const std::string& text)
{
    return lengthAndText(text);
}

Bytes samplerEvent(uint8_t repeat, float value)
{
    Bytes p{repeat};
    putFloat(p, value);
    return p;
}

Bytes systemLog(uint8_t event)
{
    return {event};
}

Bytes dataVariation(uint8_t channel, float value)
{
    Bytes p{channel};
    putFloat(p, value);
    return p;
}

Bytes rainEvent(uint8_t flag1, uint8_t flag2, const Timestamp& base, const std::array<uint8_t, 13>& tips)
{
    Bytes p{0, flag1, flag2};
    const auto* b = reinterpret_cast<const uint8_t*>(&base);
    p.insert(p.end(), b, b + sizeof(Timestamp));
    p.insert(p.end(), tips.begin(), tips.end());
    return p;
}

Bytes rainMissingEvent(int8_t value)
{
    return {static_cast<uint8_t>(value)};
}

Bytes unnamedCB(uint8_t valueSets, uint8_t channels)
{
    Bytes p{1, 2, 3, 4, 5, 6, 7, valueSets, channels};
    const size_t rest = 4u * valueSets * channels + channels;
    for (size_t i = 0; i < rest; ++i)
        p.push_back(static_cast<uint8_t>(i * 37 + 11));
    return p;
}

Bytes sboxStatus(const std::array<uint8_t, 12>& status)
{
    return Bytes(status.begin(), status.end());
}

Bytes frame(uint8_t type, const Timestamp& time, const Bytes& payload, const std::array<uint8_t, 3>& header,
            bool badCrc)
{
    Bytes plain{0xFE, type};
    const auto* t = reinterpret_cast<const uint8_t*>(&time);
    plain.insert(plain.end(), t, t + sizeof(Timestamp));
    plain.insert(plain.end(), header.begin(), header.end());
    plain.insert(plain.end(), payload.begin(), payload.end());
    uint16_t crc = crc16(plain);
    if (badCrc)
        crc ^= 0x00FF;

    Bytes out(plain.begin(), plain.begin() + 8);
    for (size_t i = 8; i < plain.size(); ++i)
        putEscaped(out, plain[i]);
    putEscaped(out, static_cast<uint8_t>(crc & 0xFF));
    putEscaped(out, static_cast<uint8_t>(crc >> 8));
    return out;
}

} // namespace record

int64_t secondsOf(const Timestamp& time)
{
    return daysOf(2000 + time.Year, time.Month, time.Day) * 86400 + time.Hour * 3600 + time.Minute * 60
        + time.Second;
}

Timestamp timestampOf(int64_t seconds)
{
    static const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    int year = 2000;
    for (;;) {
        const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
        const int inYear = leap ? 366 : 365;
        if (days < inYear)
            break;
        days -= inYear;
        ++year;
    }
    int month = 1;
    for (;; ++month) {
        const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
        const int len = lengths[month - 1] + (month == 2 && leap ? 1 : 0);
        if (days < len)
            break;
        days -= len;
    }
    return Timestamp{static_cast<uint8_t>(year - 2000), static_cast<uint8_t>(month), static_cast<uint8_t>(days + 1),
                     static_cast<uint8_t>(rest / 3600), static_cast<uint8_t>(rest / 60 % 60),
                     static_cast<uint8_t>(rest % 60)};
}

Bytes downloadFile(const CalibrationData& cal, const ConfigurationData& conf, const Bytes& stream)
{
    Bytes out(sizeof cal + sizeof conf);
    std::memcpy(out.data(), &cal, sizeof cal);
    std::memcpy(out.data() + sizeof cal, &conf, sizeof conf);
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}

LoggerState loggerStateFrom(const ConfigurationData& conf, const Timestamp& start)
{
    LoggerState state;
    state.start = start;
    const int records = std::min<int>(conf.ScheduleCount, ScheduleRecordCount);
    for (int s = 1; s < records && s <= LastUserSchedule; ++s) {
        const ScheduleSetupData& rec = conf.Schedules[s];
        if (!rec.InUse)
            continue;
        LoggedSchedule sch;
        sch.number = static_cast<uint8_t>(s);
        for (int i = 0; i < rec.ChannelCount && i < static_cast<int>(sizeof rec.Channels); ++i)
            sch.channels.push_back(rec.Channels[i]);
        uint32_t scanTime = 0;
        uint32_t multiple = 0;
        std::memcpy(&scanTime, &rec.ScanTime, sizeof scanTime); // unaligned members
        std::memcpy(&multiple, &rec.RecordMultiple, sizeof multiple);
        sch.intervalSeconds = static_cast<int>(std::max<uint64_t>(1, uint64_t(scanTime) * std::max<uint32_t>(multiple, 1) / 100));
        state.schedules.push_back(sch);
    }
    return state;
}

RecordGenerator::RecordGenerator(const Timestamp& start) : now_(secondsOf(start)) {}

void RecordGenerator::add(uint8_t type, const Bytes& payload, const std::array<uint8_t, 3>& header)
{
    const Bytes f = record::frame(type, now(), payload, header);
    index_.push_back(Entry{now_, type, stream_.size(), f.size()});
    stream_.insert(stream_.end(), f.begin(), f.end());
}

void RecordGenerator::addRaw(const Bytes& bytes)
{
    stream_.insert(stream_.end(), bytes.begin(), bytes.end());
}

std::string RecordGenerator::commentText(char kind, const std::string& initials, const std::string& text)
{
    std::string padded = "_______";
    for (size_t i = 0; i < initials.size() && i < 7; ++i)
        padded[i] = initials[i];
    return std::string(1, kind) + padded + text;
}

void RecordGenerator::startLogging(const std::string& initials, const std::string& text, uint32_t number)
{
    add(record::Comment, record::comment(commentText('S', initials, text)));
    add(record::StartOfLogging, record::startOfLogging(number));
}

void RecordGenerator::stopLogging(const std::string& initials, const std::string& text)
{
    add(record::Comment, record::comment(commentText('E', initials, text)));
}

void RecordGenerator::visit(const std::string& initials, const std::string& text)
{
    add(record::Comment, record::comment(commentText('V', initials, text)));
}

void RecordGenerator::run(const LoggerState& state, size_t bytes)
{
    auto value = state.value ? state.value : [](uint8_t channel, int64_t seconds) {
        return static_cast<float>(10.0 * channel + 5.0 * std::sin(static_cast<double>(seconds) / 3600.0 + channel));
    };
    std::vector<int64_t> due(state.schedules.size(), now_);
    uint32_t scans = 0;
    startLogging(state.initials, "Generated run", 1);
    add(record::SystemLog, record::systemLog(6)); // SCHEDULER_STARTED
    while (stream_.size() < bytes) {
        int64_t next = due.empty() ? now_ + 60 : *std::min_element(due.begin(), due.end());
        now_ = std::max(now_, next);
        for (size_t s = 0; s < state.schedules.size(); ++s) {
            if (due[s] > now_)
                continue;
            const LoggedSchedule& sch = state.schedules[s];
            std::vector<float> values;
            for (uint8_t ch : sch.channels)
                values.push_back(value(ch, now_));
            add(record::ScheduleData, record::scheduleData(sch.number, sch.channels, values));
            due[s] = now_ + std::max(1, sch.intervalSeconds);
        }
        ++scans;
        // Now and then every other kind of record, in a fixed rhythm.
        const uint8_t ch = state.schedules.empty() || state.schedules[0].channels.empty()
            ? 0
            : state.schedules[0].channels[scans % state.schedules[0].channels.size()];
        if (scans % 7 == 0)
            add(record::DataVariation, record::dataVariation(ch, value(ch, now_)));
        if (scans % 50 == 0)
            add(record::TriggerEvent, record::triggerEvent(8, {ch}, {value(ch, now_)}));
        if (scans % 60 == 0)
            add(record::AlarmEvent, record::alarmEvent(0, {ch}, {value(ch, now_)}));
        if (scans % 90 == 0)
            add(record::SamplerEvent, record::samplerEvent(1, value(ch, now_)));
        if (scans % 120 == 0) {
            std::array<uint8_t, 13> tips{};
            tips[0] = 0x81;
            tips[12] = static_cast<uint8_t>(scans);
            add(record::RainEvent, record::rainEvent(1, 1, timestampOf(now_ - 104), tips));
        }
        if (scans % 150 == 0)
            add(record::RainMissingEvent, record::rainMissingEvent(static_cast<int8_t>(scans % 11 - 5)));
        if (scans % 200 == 0)
            add(record::SystemLog, record::systemLog(static_cast<uint8_t>(scans / 200 % 27)));
        if (scans % 300 == 0)
            visit(state.initials, "Routine visit");
        if (scans % 400 == 0)
            add(record::Notify, record::notify("Battery check"));
        if (scans % 500 == 0)
            add(record::SboxStatus, record::sboxStatus({1, 0, 0xFF, 0x2A, 0, 0, 0, 0, 0, 0, 0, 3}));
        if (scans % 700 == 0)
            add(record::UnnamedCB, record::unnamedCB(1, 2));
        if (scans % 1000 == 0)
            add(record::Null, {});
    }
    add(record::SystemLog, record::systemLog(7)); // SCHEDULER_STOPPED
    stopLogging(state.initials, "End of generated run");
}

std::pair<size_t, size_t> RecordGenerator::range(const Timestamp& from, const Timestamp& to) const
{
    const int64_t lo = secondsOf(from);
    const int64_t hi = secondsOf(to);
    size_t first = stream_.size();
    size_t end = stream_.size();
    for (const Entry& e : index_) {
        if (e.seconds >= lo && first == stream_.size())
            first = e.offset;
        if (e.seconds > hi) {
            end = e.offset;
            break;
        }
    }
    if (first > end)
        first = end;
    return {first, end};
}

} // namespace standin
