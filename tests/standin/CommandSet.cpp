#include "CommandSet.h"

#include <algorithm>
#include <cstring>

namespace standin {

namespace {

void put32(Bytes& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void putFloat(Bytes& out, float f)
{
    uint32_t v;
    std::memcpy(&v, &f, sizeof v);
    put32(out, v);
}

void putStamp(Bytes& out, const Stamp& s)
{
    out.insert(out.end(), s.begin(), s.end());
}

// Fixed-size text field padded with zeros.
void putText(Bytes& out, const std::string& text, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        out.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}

Response accepted(uint8_t code, Bytes payload = {})
{
    return Response::reply(code, std::move(payload), ReplyOk);
}

} // namespace

Bytes statusReplyData(const SensorState& s)
{
    Bytes d{ReplyOk, cmd::Status, 0};
    for (int8_t v : s.statusValues)
        d.push_back(static_cast<uint8_t>(v));
    putText(d, s.sensorId, 8);
    put32(d, s.memoryCapacity);
    put32(d, s.memoryUsed);
    d.push_back(static_cast<uint8_t>(s.firmwareLetters[0]));
    d.push_back(static_cast<uint8_t>(s.firmwareLetters[1]));
    d.push_back(s.firmwareMajor);
    d.push_back(s.firmwareMinor);
    const Stamp clock = s.clock();
    putStamp(d, clock);
    d.push_back(s.logging ? 0x01 : 0x00);
    d.push_back(static_cast<uint8_t>(s.schedules.size() + 1));
    for (const ScheduleEntry& e : s.schedules) {
        putText(d, e.name, 13);
        put32(d, e.value);
    }
    for (uint16_t v : s.skippedValues) {
        d.push_back(static_cast<uint8_t>(v));
        d.push_back(static_cast<uint8_t>(v >> 8));
    }
    d.push_back(static_cast<uint8_t>(s.tailValue1));
    d.push_back(0);
    d.push_back(0);
    d.push_back(static_cast<uint8_t>(s.tailValue2));
    putStamp(d, s.statusTime ? *s.statusTime : clock);
    return d;
}

Bytes currentValuesReplyData(const SensorState& s)
{
    Bytes d{ReplyOk, static_cast<uint8_t>(s.channels.size())};
    for (const ChannelValue& c : s.channels) {
        d.insert(d.end(), c.head.begin(), c.head.end());
        putFloat(d, c.value);
        putFloat(d, c.lastLogged);
    }
    return d;
}

SensorState SensorModel::state() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

void SensorModel::update(const std::function<void(SensorState&)>& change)
{
    std::lock_guard<std::mutex> lock(mutex_);
    change(state_);
}

Responses SensorModel::answer(const Frame& request)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (request.content == ContentCommand && !request.data.empty())
        return command(request.data);
    if (request.content == ContentSubTask)
        return subTaskPoll();
    return {};
}

Responses SensorModel::subTaskPoll()
{
    // Nothing is being measured: nothing to report.
    if (!state_.measuring)
        return {};
    state_.measuring = false;
    return {Response::frame(ContentSubTask, currentValuesReplyData(state_)).after(state_.measureMs)};
}

Responses SensorModel::command(const Bytes& data)
{
    SensorState& s = state_;
    const uint8_t code = data[0];
    const Bytes params(data.begin() + 1, data.end());
    if (auto r = s.refuse.find(code); r != s.refuse.end())
        return {Response::reply(code, {}, r->second)};
    if (auto r = s.refuseAfter.find(code); r != s.refuseAfter.end()) {
        if (r->second.first <= 0)
            return {Response::reply(code, {}, r->second.second)};
        --r->second.first;
    }
    const auto refused = [code] { return Responses{Response::reply(code, {}, ErrorBadParameter)}; };

    switch (code) {
    case cmd::Null:
        return {accepted(code)};
    case cmd::DateTimeBounds: {
        Bytes payload{0};
        putStamp(payload, s.firstLogged);
        putStamp(payload, s.lastLogged);
        return {accepted(code, payload)};
    }
    case cmd::ClearMemory:
        s.clearTexts.emplace_back(params.begin(), params.end());
        s.memoryUsed = 0;
        s.firstLogged = Stamp{};
        s.lastLogged = Stamp{};
        return {accepted(code)};
    case cmd::GetConfiguration:
    case cmd::PutConfiguration:
    case cmd::GetCalibration:
    case cmd::PutCalibration:
        s.fileCommands.push_back(code);
        return {accepted(code)};
    case cmd::LogComment: {
        // The text up to its terminating zero; none means a broken command.
        auto end = std::find(params.begin(), params.end(), uint8_t{0});
        if (end == params.end())
            return refused();
        s.comments.emplace_back(params.begin(), end);
        return {accepted(code)};
    }
    case cmd::SetClock: {
        Stamp stamp{};
        int64_t seconds = 0;
        if (params.size() != stamp.size())
            return refused();
        std::copy(params.begin(), params.end(), stamp.begin());
        if (!stampToWallSeconds(stamp, seconds))
            return refused();
        s.clockStamp.reset();
        s.clockOffsetSeconds = seconds - localWallSecondsNow();
        return {accepted(code)};
    }
    case cmd::StartLogging:
        if (params.size() != 1)
            return refused();
        s.logging = true;
        s.startMode = params[0];
        return {accepted(code)};
    case cmd::StopLogging:
        s.logging = false;
        return {accepted(code)};
    case cmd::CurrentValues:
        s.measuring = true;
        return {accepted(code)};
    case cmd::Status:
        return {Response::frame(ContentReply, statusReplyData(s))};
    case cmd::WipeNow:
        ++s.wipes;
        return {accepted(code)};
    case cmd::OdoOffset:
    case cmd::OdoSpan: {
        if (params.size() != 4)
            return refused();
        const auto v = static_cast<int32_t>(uint32_t(params[0]) | uint32_t(params[1]) << 8
                                            | uint32_t(params[2]) << 16 | uint32_t(params[3]) << 24);
        (code == cmd::OdoOffset ? s.odoOffset : s.odoSpan) = v;
        return {accepted(code)};
    }
    case cmd::OdoReset:
        ++s.odoResets;
        return {accepted(code)};
    case cmd::ChannelNameUnits:
    case cmd::ChannelNumbers: {
        const auto& table = code == cmd::ChannelNameUnits ? s.channelNameUnits : s.channelNumbers;
        if (params.size() != 1 || !table.count(params[0]))
            return refused();
        Bytes payload{params[0]};
        const Bytes& info = table.at(params[0]);
        payload.insert(payload.end(), info.begin(), info.end());
        return {accepted(code, payload)};
    }
    default:
        return {}; // a command this logger does not know goes unanswered
    }
}

std::shared_ptr<SensorModel> installCommandSet(Standin& standin, SensorState initial)
{
    auto model = std::make_shared<SensorModel>(std::move(initial));
    const Standin::Handler handler = [model](const Frame& f) { return model->answer(f); };
    for (uint8_t code : {cmd::Null, cmd::DateTimeBounds, cmd::ClearMemory, cmd::GetConfiguration,
                         cmd::PutConfiguration, cmd::GetCalibration, cmd::PutCalibration, cmd::LogComment,
                         cmd::SetClock, cmd::StartLogging, cmd::StopLogging, cmd::CurrentValues, cmd::Status,
                         cmd::WipeNow, cmd::OdoOffset, cmd::OdoSpan, cmd::OdoReset, cmd::ChannelNameUnits,
                         cmd::ChannelNumbers})
        standin.onCommand(code, handler);
    standin.onContent(ContentSubTask, handler);
    return model;
}

} // namespace standin
