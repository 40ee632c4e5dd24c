#include "Logger.h"

#include <algorithm>
#include <cstring>

namespace standin {

struct Logger::State {
    std::mutex mutex;
    RecordGenerator memory;
    std::vector<RangeRequest> requests;
    struct Override {
        uint32_t start, end;
        std::optional<size_t> sendCount;
        std::optional<size_t> firstByte;
    };
    std::optional<Override> nextRange;
    std::shared_ptr<SensorModel> model;
    FileTransfer* transfer = nullptr;

    void publish()
    {
        const auto& index = memory.index();
        Stamp first{}, last{};
        if (!index.empty()) {
            const Timestamp a = timestampOf(index.front().seconds);
            const Timestamp b = timestampOf(index.back().seconds);
            std::memcpy(first.data(), &a, 6);
            std::memcpy(last.data(), &b, 6);
        }
        const auto used = static_cast<uint32_t>(memory.stream().size());
        model->update([&](SensorState& s) {
            s.firstLogged = first;
            s.lastLogged = last;
            s.memoryUsed = used;
        });
    }

    Responses answer(const Frame& request)
    {
        const Bytes& data = request.data;
        const SensorState s = model->state();
        if (auto r = s.refuse.find(cmd::RetrieveData); r != s.refuse.end())
            return {Response::reply(cmd::RetrieveData, {}, r->second)};
        if (data.size() != 13)
            return {Response::reply(cmd::RetrieveData, {}, ErrorBadParameter)};
        RangeRequest q;
        std::memcpy(&q.from, data.data() + 1, 6);
        std::memcpy(&q.to, data.data() + 7, 6);
        std::lock_guard<std::mutex> lock(mutex);
        const Bytes& stream = memory.stream();
        size_t first = 0, end = 0;
        if (nextRange) {
            q.start = nextRange->start;
            q.end = nextRange->end;
            first = std::min<size_t>(nextRange->firstByte ? *nextRange->firstByte
                                     : q.start >= BaseAddress ? q.start - BaseAddress
                                                              : 0,
                                     stream.size());
            const size_t count = nextRange->sendCount ? *nextRange->sendCount : (q.end > q.start ? q.end - q.start : 0);
            end = std::min(stream.size(), first + count);
            nextRange.reset();
        } else {
            std::tie(first, end) = memory.range(q.from, q.to);
            q.start = static_cast<uint32_t>(BaseAddress + first);
            q.end = static_cast<uint32_t>(BaseAddress + end);
        }
        requests.push_back(q);
        transfer->offer(Bytes(stream.begin() + static_cast<long>(first), stream.begin() + static_cast<long>(end)));
        Bytes payload;
        for (uint32_t v : {q.start, q.end})
            for (int i = 0; i < 4; ++i)
                payload.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return {Response::reply(cmd::RetrieveData, payload, ReplyOk)};
    }
};

Logger::Logger(Standin& sensor, FileTransfer& transfer, std::shared_ptr<SensorModel> model)
    : d_(std::make_shared<State>())
{
    d_->model = std::move(model);
    d_->transfer = &transfer;
    std::weak_ptr<State> weak = d_;
    sensor.onCommand(cmd::RetrieveData, [weak](const Frame& request) {
        auto d = weak.lock();
        return d ? d->answer(request) : Responses{};
    });
    d_->publish();
}

void Logger::update(const std::function<void(RecordGenerator&)>& change)
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    change(d_->memory);
    d_->publish();
}

Bytes Logger::stream() const
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    return d_->memory.stream();
}

std::vector<RecordGenerator::Entry> Logger::index() const
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    return d_->memory.index();
}

void Logger::answerNextRangeWith(uint32_t start, uint32_t end, std::optional<size_t> sendCount,
                                 std::optional<size_t> firstByte)
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    d_->nextRange = State::Override{start, end, sendCount, firstByte};
}

std::vector<Logger::RangeRequest> Logger::requests() const
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    return d_->requests;
}

} // namespace standin
