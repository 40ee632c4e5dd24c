#include "BootCode.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace standin {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t CommandJumpToBoot = 12;
constexpr uint8_t Dle = 0x10;
constexpr uint8_t Stx = 0x02;
constexpr uint8_t Etx = 0x03;

// How long a freshly powered boot code waits for a key before it starts the
// firmware.
constexpr int StayWindowMs = 1000;

const char* const Banner = "\r\nHALVORINE multi-parameter sonde, firmware QB2.7\r\n";
const char* const SignOn = "\r\nBoot Code V1.02\r\n";
const char* const MainMenuText = "\r\nMain menu\r\n"
                                 "(C)ommunications options\r\n"
                                 "(E)xit Boot Code\r\n"
                                 "Select: ";
const char* const CommsMenuText = "\r\nCommunications options\r\n"
                                  "(B)aud rate\r\n"
                                  "(C)ommunications mode\r\n"
                                  "(M)odbus address\r\n"
                                  "(R)eturn to main menu\r\n"
                                  "Select: ";
const char* const ExitingText = "\r\nExiting Boot Code\r\n";

std::string baudPrompt(int current)
{
    return "\r\nBaud rate\r\n"
           " 1  1200\r\n 2  2400\r\n 3  4800\r\n 4  9600\r\n 5  19200\r\n"
           "Current selection = " + std::to_string(current) + "\r\nNew selection (1-5): ";
}

std::string commsModePrompt(int current)
{
    return "\r\nCommunications mode\r\n"
           " 1  RS232, Modbus RTU\r\n 2  RS232, Modbus ASCII\r\n"
           " 3  RS422/485, Modbus RTU\r\n 4  RS422/485, Modbus ASCII\r\n"
           "Current selection = " + std::to_string(current) + "\r\nNew selection (1-4): ";
}

std::string addressPrompt(int current)
{
    return "\r\nCurrent modbus address = " + std::to_string(current) + "\r\nNew address (1-247): ";
}

char upper(uint8_t key)
{
    return key >= 'a' && key <= 'z' ? static_cast<char>(key - 'a' + 'A') : static_cast<char>(key);
}

} // namespace

bool operator==(const SerialOptions& a, const SerialOptions& b)
{
    return a.baudSelection == b.baudSelection && a.commsMode == b.commsMode && a.modbusAddress == b.modbusAddress;
}

int baudOfSelection(int selection)
{
    static const int rates[] = {1200, 2400, 4800, 9600, 19200};
    return selection >= 1 && selection <= 5 ? rates[selection - 1] : 0;
}

int selectionOfBaud(int baud)
{
    for (int s = 1; s <= 5; ++s)
        if (baudOfSelection(s) == baud)
            return s;
    return 0;
}

struct BootCode::State {
    explicit State(Standin& s, SerialOptions o) : standin(s), options(o) {}

    Standin& standin;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    SerialOptions options;
    Mode mode = Mode::Firmware;
    bool silent = false;
    int silentKey = -1;
    int silentOccurrence = 1;
    bool readOnly = false;
    std::string invalidCommand = "Invalid Command!";
    bool stayWindowOpen = false;
    int rebootMs = 300;
    int keysBeforePowerUp = 0;
    int msAfterFirstKey = -1;
    int keysWhileOff = 0;
    std::string addressLine;
    bool inFrame = false;
    bool afterDle = false;

    std::string keys;
    std::map<int, int> probes;
    int jumps = 0;
    int bytesLost = 0;

    // Timed events; a newer change of state voids the older ones.
    unsigned epoch = 0;
    std::multimap<Clock::time_point, std::function<void()>> timers;
    std::condition_variable timerWake;
    bool stopping = false;

    // Everything below runs with `mutex` held.

    Bytes input(const uint8_t* data, size_t count)
    {
        Bytes framed;
        if (silent || mode == Mode::Rebooting) {
            bytesLost += static_cast<int>(count);
            return framed;
        }
        if (mode == Mode::Off) {
            bytesLost += static_cast<int>(count);
            offInput(count);
            return framed;
        }
        const int lineRate = standin.terminalBaud();
        if (mode == Mode::Firmware)
            return firmwareInput(data, count, lineRate);
        if (lineRate != BootCodeBaud) {
            bytesLost += static_cast<int>(count);
            return framed;
        }
        for (size_t i = 0; i < count && !silent; ++i)
            bootKey(data[i]);
        changed.notify_all();
        return framed;
    }

    void offInput(size_t count)
    {
        const bool first = keysWhileOff == 0;
        keysWhileOff += static_cast<int>(count);
        if (keysBeforePowerUp > 0 && keysWhileOff >= keysBeforePowerUp) {
            powerUp();
        } else if (first && msAfterFirstKey >= 0) {
            after(msAfterFirstKey, [this] { powerUp(); });
        }
        changed.notify_all();
    }

    Bytes firmwareInput(const uint8_t* data, size_t count, int lineRate)
    {
        Bytes framed;
        const int rate = baudOfSelection(options.baudSelection);
        for (size_t i = 0; i < count; ++i) {
            const uint8_t b = data[i];
            const bool outside = !inFrame && !afterDle;
            if (afterDle) {
                if (b == Stx)
                    inFrame = true;
                else if (b == Etx)
                    inFrame = false;
            }
            afterDle = b == Dle && !afterDle;
            if (b == ' ' && outside) {
                ++probes[lineRate];
                if (lineRate == rate)
                    say(Banner, rate);
                else
                    ++bytesLost;
                continue;
            }
            if (lineRate == rate)
                framed.push_back(b);
            else
                ++bytesLost;
        }
        changed.notify_all();
        return framed;
    }

    void bootKey(uint8_t key)
    {
        keys.push_back(static_cast<char>(key));
        stayWindowOpen = false;
        if (silentKey >= 0 && key == silentKey && --silentOccurrence == 0) {
            silent = true;
            return;
        }
        const std::string invalid = "\r\n" + invalidCommand + "\r\n";
        const char k = upper(key);
        switch (mode) {
        case Mode::MainMenu:
            if (k == 'C') {
                mode = Mode::CommsMenu;
                say(CommsMenuText);
            } else if (k == 'E') {
                say(ExitingText);
                restart([this] { enterFirmware(); });
            } else {
                say(invalid + MainMenuText);
            }
            break;
        case Mode::CommsMenu:
            if (k == 'B') {
                mode = Mode::BaudPrompt;
                say(baudPrompt(options.baudSelection));
            } else if (k == 'C') {
                mode = Mode::CommsModePrompt;
                say(commsModePrompt(options.commsMode));
            } else if (k == 'M') {
                mode = Mode::AddressPrompt;
                addressLine.clear();
                say(addressPrompt(options.modbusAddress));
            } else if (k == 'R') {
                mode = Mode::MainMenu;
                say(MainMenuText);
            } else {
                say(invalid + CommsMenuText);
            }
            break;
        case Mode::BaudPrompt:
        case Mode::CommsModePrompt: {
            const int highest = mode == Mode::BaudPrompt ? 5 : 4;
            std::string answer = std::string(1, static_cast<char>(key)) + "\r\n";
            if (key >= '1' && key < '1' + highest) {
                if (!readOnly)
                    (mode == Mode::BaudPrompt ? options.baudSelection : options.commsMode) = key - '0';
            } else {
                answer += "Invalid selection\r\n";
            }
            mode = Mode::MainMenu;
            say(answer + MainMenuText);
            break;
        }
        case Mode::AddressPrompt:
            if (key >= '0' && key <= '9') {
                addressLine.push_back(static_cast<char>(key));
                say(std::string(1, static_cast<char>(key)));
            } else if (key == 8 && !addressLine.empty()) {
                addressLine.pop_back();
                say("\b \b");
            } else if (key == '\r') {
                std::string answer = "\r\n";
                if (!addressLine.empty()) {
                    const int value = addressLine.size() <= 3 ? std::stoi(addressLine) : 0;
                    if (value < 1 || value > 247)
                        answer += "Invalid address\r\n";
                    else if (!readOnly)
                        options.modbusAddress = value;
                }
                mode = Mode::MainMenu;
                say(answer + MainMenuText);
            }
            break;
        default:
            break;
        }
    }

    Responses jumpCommand()
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (silent)
            return {};
        ++jumps;
        restart([this] { enterMainMenu(true); });
        changed.notify_all();
        // The reply still goes out at the firmware's rate before it restarts.
        return {Response::reply(CommandJumpToBoot, {})};
    }

    // Restarts: deaf for the reboot time, then `next`.
    void restart(std::function<void()> next)
    {
        mode = Mode::Rebooting;
        ++epoch;
        after(rebootMs, std::move(next));
    }

    void enterFirmware()
    {
        ++epoch;
        mode = Mode::Firmware;
        inFrame = afterDle = false;
        stayWindowOpen = false;
        changed.notify_all();
    }

    void enterMainMenu(bool signOn)
    {
        ++epoch;
        mode = Mode::MainMenu;
        say(std::string(signOn ? SignOn : "") + MainMenuText);
        changed.notify_all();
    }

    void powerUp()
    {
        if (mode != Mode::Off)
            return;
        enterMainMenu(true);
        // Without a key soon, the boot code hands over to the firmware.
        stayWindowOpen = true;
        after(StayWindowMs, [this] {
            if (stayWindowOpen)
                enterFirmware();
        });
    }

    // Sends text at the rate the sensor speaks; a program listening at
    // another rate hears nothing of it.
    void say(const std::string& text, int baud = BootCodeBaud)
    {
        if (silent)
            return;
        if (standin.terminalBaud() != baud)
            return;
        standin.send(Bytes(text.begin(), text.end()));
    }

    void after(int ms, std::function<void()> action)
    {
        const unsigned at = epoch;
        timers.emplace(Clock::now() + std::chrono::milliseconds(ms), [this, at, action] {
            if (epoch == at)
                action();
        });
        timerWake.notify_all();
    }

    void timerLoop()
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (!stopping) {
            if (timers.empty()) {
                timerWake.wait(lock);
                continue;
            }
            const auto due = timers.begin()->first;
            if (Clock::now() < due) {
                timerWake.wait_until(lock, due);
                continue;
            }
            auto action = std::move(timers.begin()->second);
            timers.erase(timers.begin());
            action();
        }
    }
};

BootCode::BootCode(Standin& standin, SerialOptions options)
    : state_(std::make_shared<State>(standin, options))
{
    std::shared_ptr<State> s = state_;
    standin.setInputFilter([s](const uint8_t* data, size_t count) {
        std::lock_guard<std::mutex> lock(s->mutex);
        return s->input(data, count);
    });
    standin.onCommand(CommandJumpToBoot, [s](const Frame&) { return s->jumpCommand(); });
    timerThread_ = std::thread([s] { s->timerLoop(); });
}

BootCode::~BootCode()
{
    state_->standin.setInputFilter(nullptr);
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->stopping = true;
        state_->silent = true; // a jump still in the stand-in's hands gets no answer
        state_->timers.clear();
    }
    state_->timerWake.notify_all();
    timerThread_.join();
}

void BootCode::startInBootCode()
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    ++state_->epoch;
    state_->mode = Mode::MainMenu;
    state_->changed.notify_all();
}

void BootCode::startPoweredOff(int keysBeforePowerUp, int msAfterFirstKey)
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    ++state_->epoch;
    state_->mode = Mode::Off;
    state_->keysBeforePowerUp = keysBeforePowerUp;
    state_->msAfterFirstKey = msAfterFirstKey;
    state_->keysWhileOff = 0;
    state_->changed.notify_all();
}

SerialOptions BootCode::options() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->options;
}

void BootCode::setOptions(const SerialOptions& options)
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->options = options;
}

BootCode::Mode BootCode::mode() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->mode;
}

void BootCode::setRebootMs(int ms)
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->rebootMs = ms;
}

void BootCode::setSilent(bool silent)
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->silent = silent;
}

void BootCode::fallSilentOnKey(char key, int occurrence)
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->silentKey = static_cast<uint8_t>(key);
    state_->silentOccurrence = occurrence;
}

void BootCode::setReadOnly(bool readOnly)
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->readOnly = readOnly;
}

void BootCode::setInvalidCommandText(const std::string& text)
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->invalidCommand = text;
}

std::string BootCode::keys() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->keys;
}

std::map<int, int> BootCode::probes() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->probes;
}

int BootCode::jumps() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->jumps;
}

int BootCode::bytesLost() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->bytesLost;
}

void BootCode::clearLog()
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->keys.clear();
    state_->probes.clear();
    state_->jumps = 0;
    state_->bytesLost = 0;
}

bool BootCode::waitFor(const std::function<bool(const BootCode&)>& done, int timeoutMs) const
{
    // `done` reads through the public accessors, which take the lock
    // themselves; poll it on every change.
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done(*this)) {
        std::unique_lock<std::mutex> lock(state_->mutex);
        if (state_->changed.wait_until(lock, std::min(deadline, Clock::now() + std::chrono::milliseconds(10))) ==
                std::cv_status::timeout &&
            Clock::now() >= deadline)
            return done(*this);
    }
    return true;
}

} // namespace standin
