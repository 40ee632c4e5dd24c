#include "Standin.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace standin {

Response Response::reply(uint8_t command, Bytes payload, uint8_t status)
{
    Bytes data{status, command};
    data.insert(data.end(), payload.begin(), payload.end());
    return frame(0x81, std::move(data));
}

Standin::Standin()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error(std::string("pseudo-terminal: ") + std::strerror(errno));
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0)
        throw std::runtime_error(std::string("ptsname: ") + std::strerror(errno));
    slavePath_ = name;
    // Hold the slave open in raw mode: no echo or line editing before the
    // program opens it, and the master keeps working when the program closes
    // and reopens its port.
    slaveHold_ = ::open(name, O_RDWR | O_NOCTTY);
    if (slaveHold_ < 0)
        throw std::runtime_error(std::string("open ") + name + ": " + std::strerror(errno));
    termios tio{};
    tcgetattr(slaveHold_, &tio);
    cfmakeraw(&tio);
    tcsetattr(slaveHold_, TCSANOW, &tio);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    if (pipe(wake_) != 0)
        throw std::runtime_error("pipe");
    // Answer the null command by default, as every logger does.
    onCommand(0x00, [](const standin::Frame&) { return Responses{Response::reply(0x00, {})}; });
    thread_ = std::thread([this] { run(); });
}

Standin::~Standin()
{
    stop_ = true;
    if (wake_[1] >= 0) {
        const char c = 0;
        (void)!::write(wake_[1], &c, 1);
    }
    if (thread_.joinable())
        thread_.join();
    closeMaster();
    for (int fd : wake_)
        if (fd >= 0)
            ::close(fd);
}

void Standin::closeMaster()
{
    std::lock_guard<std::mutex> lock(writeMutex_);
    if (master_ >= 0)
        ::close(master_);
    if (slaveHold_ >= 0)
        ::close(slaveHold_);
    master_ = -1;
    slaveHold_ = -1;
}

void Standin::onCommand(uint8_t command, Handler handler)
{
    std::lock_guard<std::mutex> lock(mutex_);
    commandHandlers_[command] = std::move(handler);
}

void Standin::onContent(uint8_t content, Handler handler)
{
    std::lock_guard<std::mutex> lock(mutex_);
    contentHandlers_[content] = std::move(handler);
}

void Standin::script(const Responses& oneEach)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Response& r : oneEach)
        script_.push_back(Responses{r});
}

void Standin::scriptAnswer(Responses answer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    script_.push_back(std::move(answer));
}

void Standin::clearScript()
{
    std::lock_guard<std::mutex> lock(mutex_);
    script_.clear();
}

std::vector<Request> Standin::requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

size_t Standin::requestCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.size();
}

bool Standin::waitForRequests(size_t count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return requests_.size() >= count; });
}

Bytes Standin::receivedBytes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

std::vector<std::string> Standin::transcript() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return transcript_;
}

int Standin::badFrames() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return reader_.badFrames();
}

void Standin::clearLog()
{
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
    received_.clear();
    transcript_.clear();
}

void Standin::send(const Bytes& bytes)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        transcript_.push_back("LG> " + hex(bytes));
    }
    writeAll(bytes);
}

void Standin::hangUp()
{
    hungUp_ = true;
    closeMaster();
}

void Standin::writeAll(const Bytes& bytes)
{
    std::lock_guard<std::mutex> lock(writeMutex_);
    const int rate = lineRate_;
    const auto wireTime = [rate](size_t count) {
        return std::chrono::microseconds(static_cast<int64_t>(count) * 10'000'000 / rate);
    };
    // At a line rate, bytes go out in small chunks, each when the wire would
    // have finished its last byte, so nothing arrives before its time. What
    // follows on the line's heels (the next frame of a burst) starts when the
    // line is free, not when this thread gets round to it.
    const auto now = Clock::now();
    const auto start = rate > 0 && lineFreeAt_ > now ? lineFreeAt_ : now;
    if (firstStart_ == Clock::time_point{})
        firstStart_ = start;
    const size_t chunk = rate > 0 ? 8 : bytes.size();
    size_t done = 0;
    while (done < bytes.size() && master_ >= 0) {
        const size_t n = std::min(chunk, bytes.size() - done);
        if (rate > 0)
            std::this_thread::sleep_until(start + wireTime(done + n));
        const ssize_t w = ::write(master_, bytes.data() + done, n);
        if (w > 0) {
            done += static_cast<size_t>(w);
            written_ += static_cast<size_t>(w);
            lastWrite_ = Clock::now();
        } else if (w < 0 && errno == EAGAIN) {
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 10);
        } else if (w < 0 && errno != EINTR) {
            return;
        }
        if (stop_)
            return;
    }
    if (rate > 0)
        lineFreeAt_ = start + wireTime(bytes.size());
}

Standin::Writes Standin::writes()
{
    std::lock_guard<std::mutex> lock(writeMutex_);
    const Writes w{lastWrite_, firstStart_, written_};
    firstStart_ = {};
    written_ = 0;
    return w;
}

void Standin::perform(const Response& r)
{
    if (r.delayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(r.delayMs));
    switch (r.kind) {
    case Response::Frame:
    case Response::Raw: {
        Bytes out = r.noiseBefore;
        if (r.noiseLeadMs > 0 && !out.empty()) {
            send(out);
            std::this_thread::sleep_for(std::chrono::milliseconds(r.noiseLeadMs));
            out.clear();
        }
        const Bytes bytes = r.kind == Response::Frame ? encodeFrame(r.content, r.data, r.badCrc) : r.data;
        out.insert(out.end(), bytes.begin(), bytes.end());
        send(out);
        break;
    }
    case Response::HangUp:
        hangUp();
        break;
    case Response::Silence:
    case Response::Default:
        break;
    }
}

void Standin::setNoise(NoisePlan plan)
{
    std::lock_guard<std::mutex> lock(mutex_);
    noise_ = std::move(plan);
    noiseRequest_ = 0;
    noisyAnswers_ = 0;
}

int Standin::noisyAnswers() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return noisyAnswers_;
}

void Standin::addNoise(const standin::Frame& request, Responses& answer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t number = noiseRequest_++;
    const bool repeat = previous_ && previous_->content == request.content && previous_->data == request.data;
    previous_ = request;
    const bool named = std::find(noise_.requests.begin(), noise_.requests.end(), number) != noise_.requests.end();
    const auto& spared = noise_.sparedCommands;
    const bool sparedCommand = request.content == 0x80 && !request.data.empty() &&
                               std::find(spared.begin(), spared.end(), request.data[0]) != spared.end();
    if (noise_.bytes.empty() || !(named || (noise_.everyNewRequest && !repeat && !sparedCommand)))
        return;
    for (Response& r : answer) {
        if (r.kind == Response::Frame || r.kind == Response::Raw) {
            r.noiseBefore.insert(r.noiseBefore.begin(), noise_.bytes.begin(), noise_.bytes.end());
            if (noise_.leadMs > 0)
                r.noiseLeadMs = noise_.leadMs;
        } else if (r.kind == Response::HangUp) {
            return; // nothing goes on the line
        } else {
            continue;
        }
        ++noisyAnswers_;
        return;
    }
}

void Standin::setLate(LatePlan plan)
{
    std::lock_guard<std::mutex> lock(mutex_);
    late_ = std::move(plan);
    lateRequest_ = 0;
    held_.clear();
    lateAnswers_ = 0;
}

int Standin::lateAnswers() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lateAnswers_;
}

Responses Standin::takeLate(Responses& answer, bool sending)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Responses due;
    for (auto it = held_.begin(); it != held_.end();) {
        if (--it->requestsLeft == 0) {
            if (sending) {
                due.insert(due.end(), it->answer.begin(), it->answer.end());
                ++lateAnswers_;
            }
            it = held_.erase(it);
        } else {
            ++it;
        }
    }
    const size_t number = lateRequest_++;
    const auto& named = late_.requests;
    if (!answer.empty() && std::find(named.begin(), named.end(), number) != named.end()) {
        held_.push_back(Held{std::max<size_t>(late_.untilRequests, 1), answer});
        if (!late_.alsoAtOnce)
            answer.clear();
    }
    return due;
}

void Standin::handle(Request& request)
{
    if (muted_) {
        Responses none;
        addNoise(request.frame, none); // counted all the same
        takeLate(none, false); // and what falls due is lost
        return;
    }
    Responses answer{Response::byHandler()};
    Handler handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!script_.empty()) {
            answer = std::move(script_.front());
            script_.pop_front();
        }
        const standin::Frame& f = request.frame;
        auto c = f.content == 0x80 && !f.data.empty() ? commandHandlers_.find(f.data[0]) : commandHandlers_.end();
        if (c != commandHandlers_.end())
            handler = c->second;
        else if (auto h = contentHandlers_.find(f.content); h != contentHandlers_.end())
            handler = h->second;
    }
    // A scripted answer takes the handler's answer where it says so.
    const auto byHandler = [](const Response& r) { return r.kind == Response::Default; };
    if (const auto at = std::find_if(answer.begin(), answer.end(), byHandler); at != answer.end()) {
        const Responses own = handler ? handler(request.frame) : Responses{};
        const auto index = at - answer.begin();
        answer.erase(at);
        answer.insert(answer.begin() + index, own.begin(), own.end());
    }
    addNoise(request.frame, answer);
    // Answers held back for this request go out ahead of its own.
    Responses late = takeLate(answer, true);
    late.insert(late.end(), answer.begin(), answer.end());
    answer = std::move(late);
    for (const Response& r : answer) {
        if (stop_ || hungUp_)
            break;
        perform(r);
    }
}

void Standin::run()
{
    uint8_t buf[4096];
    while (!stop_ && !hungUp_) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int rc = ::poll(fds, 2, 200);
        if (rc < 0 && errno != EINTR)
            break;
        if (stop_ || hungUp_)
            break;
        if (rc <= 0 || !(fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) {
            // The slave we hold keeps the master alive; an error here is final.
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        std::vector<Request> arrived;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            received_.insert(received_.end(), buf, buf + n);
            transcript_.push_back("PC> " + hex(buf, static_cast<size_t>(n)));
        }
        Bytes framed(buf, buf + n);
        {
            std::lock_guard<std::mutex> lock(filterMutex_);
            if (inputFilter_)
                framed = inputFilter_(buf, static_cast<size_t>(n));
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (uint8_t b : framed)
                if (auto f = reader_.feed(b))
                    arrived.push_back(Request{std::move(*f), Clock::now(), {}, {}, 0});
        }
        for (Request& r : arrived) {
            size_t index;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(r);
                index = requests_.size() - 1;
            }
            changed_.notify_all();
            writes();
            handle(r);
            const Writes w = writes();
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (index < requests_.size()) {
                    Request& done = requests_[index];
                    done.answeredAt = w.bytes > 0 ? w.last : Clock::now();
                    done.startedAt = w.start != Clock::time_point{} ? w.start : done.answeredAt;
                    done.answerBytes = w.bytes;
                }
            }
            changed_.notify_all();
        }
    }
}

} // namespace standin
