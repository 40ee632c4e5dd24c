#include "FileTransfer.h"

#include "RecordGenerator.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <random>

namespace standin {

namespace {

// Frame contents of the transfers.
constexpr uint8_t Wait = 0x82;
constexpr uint8_t FirstBlock = 0x87;
constexpr uint8_t BlockEven = 0x88;
constexpr uint8_t FileEnd = 0x89;
constexpr uint8_t FileStart = 0x8A;
constexpr uint8_t NextEven = 0x8B;
constexpr uint8_t FileDone = 0x8C;
constexpr uint8_t SenderAbort = 0x8D;
constexpr uint8_t ReceiverAbort = 0x8E;
constexpr uint8_t BlockOdd = 0x8F;
constexpr uint8_t NextOdd = 0x90;
constexpr uint8_t MultiBlockEven = 0x91;
constexpr uint8_t MultiNextEven = 0x92;
constexpr uint8_t MultiBlockOdd = 0x93;
constexpr uint8_t MultiNextOdd = 0x94;
constexpr uint8_t MultiEnd = 0x95;

constexpr size_t MaxBlock = 509;

} // namespace

// ---------------------------------------------------------------------------
// Coder and wrapper

Bytes rleEncode(const Bytes& file)
{
    // Greedy: runs of three or more become repeat packets, everything else
    // literal packets.
    Bytes out;
    size_t i = 0;
    const size_t n = file.size();
    Bytes literal;
    const auto flushLiteral = [&] {
        for (size_t k = 0; k < literal.size(); k += 128) {
            const size_t m = std::min<size_t>(128, literal.size() - k);
            out.push_back(static_cast<uint8_t>(m - 1));
            out.insert(out.end(), literal.begin() + static_cast<long>(k), literal.begin() + static_cast<long>(k + m));
        }
        literal.clear();
    };
    while (i < n) {
        size_t run = 1;
        while (i + run < n && file[i + run] == file[i] && run < 128)
            ++run;
        if (run >= 3) {
            flushLiteral();
            out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
            out.push_back(file[i]);
        } else {
            literal.insert(literal.end(), file.begin() + static_cast<long>(i),
                           file.begin() + static_cast<long>(i + run));
        }
        i += run;
    }
    flushLiteral();
    return out;
}

std::optional<Bytes> rleDecode(const Bytes& coded)
{
    Bytes out;
    size_t i = 0;
    while (i < coded.size()) {
        const uint8_t c = coded[i++];
        const size_t n = static_cast<size_t>(c & 0x7F) + 1;
        if (c & 0x80) {
            if (i >= coded.size())
                break;
            out.insert(out.end(), n, coded[i++]);
        } else {
            if (coded.size() - i < n)
                return std::nullopt;
            out.insert(out.end(), coded.begin() + static_cast<long>(i), coded.begin() + static_cast<long>(i + n));
            i += n;
        }
    }
    return out;
}

Bytes wrapFile(const Bytes& file, bool compressed)
{
    Bytes out;
    if (compressed) {
        const Bytes coded = rleEncode(file);
        out = {0x01, static_cast<uint8_t>(coded.size() & 0xFF), static_cast<uint8_t>((coded.size() >> 8) & 0xFF)};
        out.insert(out.end(), coded.begin(), coded.end());
        out.push_back(0xFF);
        out.push_back(0xFF);
    } else {
        out.push_back(0x00);
        out.insert(out.end(), file.begin(), file.end());
    }
    return out;
}

Bytes wrapFile(const Bytes& file)
{
    return wrapFile(file, rleEncode(file).size() < file.size());
}

std::optional<Bytes> unwrapFile(const Bytes& wrapper)
{
    if (wrapper.empty())
        return std::nullopt;
    if (wrapper[0] == 0x00)
        return Bytes(wrapper.begin() + 1, wrapper.end());
    if (wrapper.size() < 5)
        return std::nullopt;
    return rleDecode(Bytes(wrapper.begin() + 3, wrapper.end() - 2));
}

Bytes recordStream(size_t size, uint32_t seed)
{
    // Real records of the logger, cut to the size asked for; the seed varies
    // when logging began and which channels are logged how often.
    RecordGenerator gen(timestampOf(static_cast<int64_t>(seed) * 86400 * 37 + 3600 * (seed % 24)));
    LoggerState state;
    std::vector<uint8_t> channels;
    for (uint8_t ch = 0; ch < 2 + seed % 6; ++ch)
        channels.push_back(static_cast<uint8_t>(ch * 3 + seed % 3));
    state.schedules = {{1, channels, 60 + static_cast<int>(seed % 4) * 15}, {2, {channels[0]}, 600}};
    gen.run(state, size);
    Bytes out = gen.stream();
    out.resize(size);
    return out;
}

const char* faultName(Fault fault)
{
    switch (fault) {
    case Fault::Noise: return "noise";
    case Fault::DroppedByte: return "dropped byte";
    case Fault::BadCrc: return "bad CRC";
    case Fault::RepeatedBlock: return "repeated block";
    case Fault::CutShort: return "burst cut short";
    case Fault::WaitFrame: return "wait frame";
    case Fault::Silence: return "silence";
    case Fault::HangUp: return "hang-up";
    }
    return "?";
}

int TransferStats::totalFaults() const
{
    int n = 0;
    for (const auto& [kind, count] : faults)
        n += count;
    return n;
}

// ---------------------------------------------------------------------------
// State and protocol handlers

struct FileTransfer::State {
    std::mutex mutex;
    Bytes file;
    size_t blockSize = 256;

    // Single-frame sender: the block last answered and the request it answered.
    size_t blockStart = 0;
    size_t blockLength = 0;
    uint8_t lastRequest = 0;
    uint8_t lastReply = 0;

    // Multi-frame sender. A request of the same content as the one before is
    // a repeat: its answer starts where the last burst started, plus the
    // frames the PC says it stored of that burst (recovery form). A request
    // of the other content acknowledges everything sent so far. An answer
    // that is only a wait frame or silence (or that begins with a wait frame,
    // which makes the PC drop the rest) is no burst: the PC asks again in the
    // same words, so the state stays as it was.
    size_t position = 0;
    size_t attemptStart = 0;
    uint8_t lastMulti = 0;
    Responses lastBurst;
    uint8_t lastBurstContent = 0;

    bool receiving = false;
    Bytes incoming;
    std::vector<Bytes> received;
    std::function<bool(const Bytes&)> onReceived;

    FaultPlan plan;
    std::mt19937 rng{1};
    long budget = 0;
    std::optional<Fault> pending;
    size_t hangUpAfter = 0;
    size_t dataSent = 0;

    TransferStats stats;

    void offer(Bytes f)
    {
        file = std::move(f);
        blockStart = blockLength = position = attemptStart = 0;
        lastRequest = lastReply = lastMulti = 0;
        lastBurst.clear();
    }

    void drawBudget()
    {
        const long mean = std::max(1, plan.bytesPerFault);
        budget = 1 + static_cast<long>(rng() % static_cast<uint32_t>(2 * mean));
    }

    // The fault due with a block of `dataBytes` bytes, if any.
    std::optional<Fault> takeFault(size_t dataBytes)
    {
        if (pending) {
            const Fault f = *pending;
            pending.reset();
            return f;
        }
        if (plan.kinds.empty())
            return std::nullopt;
        budget -= static_cast<long>(std::max<size_t>(dataBytes, 1));
        if (budget > 0)
            return std::nullopt;
        drawBudget();
        const Fault f = plan.kinds[rng() % plan.kinds.size()];
        return f == Fault::HangUp ? std::nullopt : std::optional<Fault>(f);
    }

    Bytes spoil(Fault fault, uint8_t content, const Bytes& data)
    {
        Bytes wire = encodeFrame(content, data, fault == Fault::BadCrc);
        switch (fault) {
        case Fault::Noise: {
            const size_t at = rng() % (wire.size() + 1);
            const size_t count = 1 + rng() % 3;
            for (size_t k = 0; k < count; ++k)
                wire.insert(wire.begin() + static_cast<long>(at), static_cast<uint8_t>(rng() & 0xFF));
            break;
        }
        case Fault::DroppedByte:
            wire.erase(wire.begin() + static_cast<long>(rng() % wire.size()));
            break;
        case Fault::CutShort:
            wire.resize(1 + rng() % (wire.size() - 1));
            break;
        default:
            break;
        }
        return wire;
    }

    void count(Fault f) { ++stats.faults[f]; }

    // Adds a data frame to an answer, hanging up inside it when its time has come.
    bool addBlock(Responses& out, uint8_t content, const Bytes& data, std::optional<Fault> fault)
    {
        const bool hangUpNow = hangUpAfter > 0 && dataSent + data.size() >= hangUpAfter;
        dataSent += data.size();
        stats.dataBytesSent += data.size();
        if (hangUpNow) {
            hangUpAfter = 0;
            count(Fault::HangUp);
            Bytes wire = encodeFrame(content, data);
            wire.resize(wire.size() / 2);
            out.push_back(Response::raw(std::move(wire)));
            out.push_back(Response::hangUp());
            return false;
        }
        if (fault) {
            count(*fault);
            out.push_back(Response::raw(spoil(*fault, content, data)));
        } else {
            out.push_back(Response::frame(content, data));
        }
        return true;
    }

    Responses sent(Responses r)
    {
        for (const Response& x : r) {
            if (x.kind == Response::Frame)
                stats.wireBytesSent += encodeFrame(x.content, x.data).size();
            else if (x.kind == Response::Raw)
                stats.wireBytesSent += x.data.size();
        }
        return r;
    }

    Bytes slice(size_t start, size_t length) const
    {
        return Bytes(file.begin() + static_cast<long>(start), file.begin() + static_cast<long>(start + length));
    }

    Responses onStart(const Frame& f)
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++stats.requests;
        if (f.data.size() >= 3)
            ++stats.recoveries;
        const size_t length = std::min(blockSize, file.size());
        std::optional<Fault> fault = takeFault(length);
        if (fault == Fault::RepeatedBlock) { // nothing sent before the first block
            pending = fault;
            fault.reset();
        }
        if (fault == Fault::WaitFrame) {
            count(*fault);
            return sent({Response::wait()});
        }
        if (fault == Fault::Silence) {
            count(*fault);
            return {};
        }
        blockStart = 0;
        blockLength = length;
        lastRequest = FileStart;
        lastReply = FirstBlock;
        attemptStart = 0;
        position = length;
        lastMulti = FileStart;
        lastBurst.clear();
        lastBurstContent = FirstBlock;
        Responses out;
        addBlock(out, FirstBlock, slice(0, length), fault);
        lastBurst = out;
        return sent(std::move(out));
    }

    Responses onSingleNext(const Frame& f)
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++stats.requests;
        const uint8_t request = f.content;
        const bool repeat = request == lastRequest;
        size_t start = blockStart;
        size_t length = blockLength;
        uint8_t reply = lastReply;
        if (!repeat) {
            start = blockStart + blockLength;
            if (start >= file.size()) {
                start = file.size();
                length = 0;
                reply = FileEnd;
            } else {
                length = std::min(blockSize, file.size() - start);
                reply = request == NextEven ? BlockEven : BlockOdd;
            }
        }
        std::optional<Fault> fault = takeFault(length);
        if (fault == Fault::WaitFrame) {
            count(*fault);
            return sent({Response::wait()});
        }
        if (fault == Fault::Silence) {
            count(*fault);
            return {};
        }
        Responses out;
        if (fault == Fault::RepeatedBlock) {
            if (!repeat && (lastReply == BlockEven || lastReply == BlockOdd)) {
                // The block before once more ahead of this answer: the
                // answer to a repeat of the request before, arriving late.
                count(*fault);
                out.push_back(Response::frame(lastReply, slice(blockStart, blockLength)));
            } else {
                pending = fault;
            }
            fault.reset();
        }
        blockStart = start;
        blockLength = length;
        lastRequest = request;
        lastReply = reply;
        if (reply == FileEnd) {
            if (fault) {
                count(*fault);
                out.push_back(Response::raw(spoil(*fault, FileEnd, {0xFE, 0xFF})));
            } else {
                out.push_back(Response::frame(FileEnd, {0xFE, 0xFF}));
            }
        } else {
            addBlock(out, reply, slice(start, length), fault);
        }
        return sent(std::move(out));
    }

    Responses onMultiNext(const Frame& f)
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++stats.requests;
        ++stats.bursts;
        const uint8_t request = f.content;
        const bool recovery = f.data.size() >= 3;
        if (recovery)
            ++stats.recoveries;
        const int wanted = f.data.empty() ? 1 : std::max<int>(1, f.data[0]);
        stats.wantedCounts.push_back(f.data.empty() ? 0 : f.data[0]);
        const size_t stored = recovery ? f.data[2] : 0;
        if (recovery && plan.recoveryBusyPercent > 0 && !pending &&
            static_cast<int>(rng() % 100) < plan.recoveryBusyPercent)
            pending = rng() % 2 ? Fault::WaitFrame : Fault::Silence;
        const size_t base = request == lastMulti ? attemptStart : position;
        const size_t begin = std::min(file.size(), base + stored * blockSize);
        const uint8_t dataContent = request == MultiNextEven ? MultiBlockEven : MultiBlockOdd;

        Responses out;
        size_t pos = begin;
        for (int k = 0; k < wanted; ++k) {
            const bool atEnd = pos >= file.size();
            const size_t length = atEnd ? 0 : std::min(blockSize, file.size() - pos);
            std::optional<Fault> fault = takeFault(length);
            if (fault == Fault::RepeatedBlock) {
                if (k == 0 && request != lastMulti && !lastBurst.empty() && lastBurstContent != dataContent) {
                    // The previous burst again, as if this request had not
                    // been understood; nothing moves on.
                    count(*fault);
                    return sent(lastBurst);
                }
                pending = fault;
                fault.reset();
            }
            if (fault == Fault::Silence && k == 0) {
                count(*fault);
                return {};
            }
            if (fault == Fault::Silence || fault == Fault::CutShort) {
                count(*fault);
                break;
            }
            if (fault == Fault::WaitFrame) {
                // Busy for a moment: the logger either stops the burst here or
                // goes on with the blocks after the one it could not send.
                count(*fault);
                out.push_back(Response::wait());
                if (atEnd || rng() % 2)
                    break;
                pos += length;
                continue;
            }
            if (atEnd) {
                if (fault) {
                    count(*fault);
                    out.push_back(Response::raw(spoil(*fault, MultiEnd, {})));
                } else {
                    out.push_back(Response::frame(MultiEnd, {}));
                }
                break;
            }
            const bool goOn = addBlock(out, dataContent, slice(pos, length), fault);
            pos += length;
            if (!goOn)
                break;
        }
        const bool noBurst = out.empty() || (out.front().kind == Response::Frame && out.front().content == Wait);
        if (!noBurst) {
            lastMulti = request;
            attemptStart = begin;
            position = pos;
            lastBurst = out;
            lastBurstContent = dataContent;
        }
        return sent(std::move(out));
    }

    Responses onReceiverAbort()
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++stats.requests;
        lastRequest = 0;
        lastMulti = 0;
        return sent({Response::frame(SenderAbort, {})});
    }

    Responses onBlockIn(const Frame& f)
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++stats.requests;
        if (f.content == FirstBlock) {
            receiving = true;
            incoming = f.data;
            return sent({Response::frame(FileStart, {})});
        }
        if (!receiving)
            return sent({Response::frame(ReceiverAbort, {})});
        incoming.insert(incoming.end(), f.data.begin(), f.data.end());
        return sent({Response::frame(NextEven, {})});
    }

    Responses onEndIn(const Frame& f)
    {
        Bytes wrapper;
        std::function<bool(const Bytes&)> handler;
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++stats.requests;
            if (!receiving || f.data.size() != 2 || f.data[0] != 0xFE || f.data[1] != 0xFF)
                return sent({Response::frame(ReceiverAbort, {})});
            receiving = false;
            wrapper = std::move(incoming);
            incoming.clear();
            handler = onReceived;
        }
        const std::optional<Bytes> content = unwrapFile(wrapper);
        const bool accepted = content && (!handler || handler(*content));
        std::lock_guard<std::mutex> lock(mutex);
        if (!accepted)
            return sent({Response::frame(ReceiverAbort, {})});
        received.push_back(std::move(wrapper));
        return sent({Response::frame(FileDone, {})});
    }

    Responses onSenderAbort()
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++stats.requests;
        receiving = false;
        incoming.clear();
        return sent({Response::frame(ReceiverAbort, {})});
    }
};

FileTransfer::FileTransfer(Standin& sensor) : d_(std::make_shared<State>())
{
    std::shared_ptr<State> d = d_;
    sensor.onContent(FileStart, [d](const Frame& f) { return d->onStart(f); });
    sensor.onContent(NextEven, [d](const Frame& f) { return d->onSingleNext(f); });
    sensor.onContent(NextOdd, [d](const Frame& f) { return d->onSingleNext(f); });
    sensor.onContent(MultiNextEven, [d](const Frame& f) { return d->onMultiNext(f); });
    sensor.onContent(MultiNextOdd, [d](const Frame& f) { return d->onMultiNext(f); });
    sensor.onContent(ReceiverAbort, [d](const Frame&) { return d->onReceiverAbort(); });
    sensor.onContent(FirstBlock, [d](const Frame& f) { return d->onBlockIn(f); });
    sensor.onContent(BlockEven, [d](const Frame& f) { return d->onBlockIn(f); });
    sensor.onContent(FileEnd, [d](const Frame& f) { return d->onEndIn(f); });
    sensor.onContent(SenderAbort, [d](const Frame&) { return d->onSenderAbort(); });
}

void FileTransfer::serveImages(Standin& sensor, std::shared_ptr<SensorModel> commands)
{
    std::shared_ptr<State> d = d_;
    // Which image the next completed send replaces: 5 or 7, 0 for none.
    auto expecting = std::make_shared<std::atomic<uint8_t>>(0);
    const auto accepted = [](const Responses& r) {
        return r.size() == 1 && r[0].kind == Response::Frame && r[0].content == ContentReply && r[0].data.size() >= 2 &&
               r[0].data[0] == ReplyOk;
    };
    for (uint8_t code : {cmd::GetConfiguration, cmd::GetCalibration}) {
        sensor.onCommand(code, [d, commands, accepted, code, &sensor](const Frame& f) {
            Responses r = commands->answer(f);
            if (accepted(r)) {
                const SensorImages images = sensor.images();
                const Bytes image = code == cmd::GetConfiguration ? imageBytes(images.conf) : imageBytes(images.cal);
                std::lock_guard<std::mutex> lock(d->mutex);
                d->offer(wrapFile(image));
            }
            return r;
        });
    }
    for (uint8_t code : {cmd::PutConfiguration, cmd::PutCalibration}) {
        sensor.onCommand(code, [commands, accepted, code, expecting](const Frame& f) {
            Responses r = commands->answer(f);
            *expecting = accepted(r) ? code : 0;
            return r;
        });
    }
    setOnReceived([expecting, &sensor](const Bytes& file) {
        const uint8_t code = expecting->exchange(0);
        SensorImages images = sensor.images();
        if (code == cmd::PutConfiguration && file.size() == sizeof images.conf)
            std::memcpy(&images.conf, file.data(), file.size());
        else if (code == cmd::PutCalibration && file.size() == sizeof images.cal)
            std::memcpy(&images.cal, file.data(), file.size());
        else
            return false;
        sensor.setImages(images);
        return true;
    });
}

void FileTransfer::setBlockSize(size_t bytes)
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    d_->blockSize = std::clamp<size_t>(bytes, 1, MaxBlock);
}

void FileTransfer::offer(Bytes file)
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    d_->offer(std::move(file));
}

void FileTransfer::setFaults(const FaultPlan& plan)
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    d_->plan = plan;
    d_->rng.seed(plan.seed);
    d_->pending.reset();
    d_->drawBudget();
}

void FileTransfer::clearFaults()
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    d_->plan = FaultPlan{};
    d_->pending.reset();
}

void FileTransfer::hangUpAfter(size_t dataBytes)
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    d_->hangUpAfter = std::max<size_t>(dataBytes, 1);
    d_->dataSent = 0;
}

void FileTransfer::setOnReceived(std::function<bool(const Bytes& file)> handler)
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    d_->onReceived = std::move(handler);
}

std::vector<Bytes> FileTransfer::receivedWrappers() const
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    return d_->received;
}

TransferStats FileTransfer::stats() const
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    return d_->stats;
}

void FileTransfer::resetStats()
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    d_->stats = TransferStats{};
}

} // namespace standin
