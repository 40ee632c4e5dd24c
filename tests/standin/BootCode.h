// The sensor's other side for the comms-mode utility: the baud rate its
// firmware speaks, the banner it prints when asked with a blank, the jump to
// its boot code (command 12), and the boot code's plain-text menu at 19200
// baud, which reads and changes the serial options it keeps.
//
// The line rate is real: the stand-in reads the rate the program set on its
// end of the pseudo-terminal, and bytes sent at another rate than the one the
// sensor speaks are lost (not understood, not heard), as on a serial line.
//
// It can also play a sensor that is already in its boot code, and one whose
// power the operator removes and restores while the program presses keys.
#pragma once

#include "Standin.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

namespace standin {

// The serial options the boot code sets, by their numbers in its menu.
struct SerialOptions {
    int baudSelection = 5; // 1 = 1200, 2 = 2400, 3 = 4800, 4 = 9600, 5 = 19200
    int commsMode = 1;     // 1 RS232 Modbus RTU, 2 RS232 ASCII, 3 RS422/485 RTU, 4 RS422/485 ASCII
    int modbusAddress = 1; // 1 to 247
};

bool operator==(const SerialOptions& a, const SerialOptions& b);
// The baud rate of a menu selection; 0 for a number outside 1 to 5.
int baudOfSelection(int selection);
int selectionOfBaud(int baud);

// The rate of the boot code's menu, whatever the firmware's.
constexpr int BootCodeBaud = 19200;

class BootCode {
public:
    enum class Mode {
        Firmware,      // framed commands at the firmware's rate; a blank asks for the banner
        Rebooting,     // after the jump or the exit: hears nothing
        Off,           // no power: hears nothing
        MainMenu,      // boot code menus and prompts, at 19200
        CommsMenu,
        BaudPrompt,
        CommsModePrompt,
        AddressPrompt,
    };

    // Takes over the stand-in's plain text and its jump-to-boot command. The
    // sensor starts in its firmware.
    explicit BootCode(Standin& standin, SerialOptions options = {});
    ~BootCode();
    BootCode(const BootCode&) = delete;
    BootCode& operator=(const BootCode&) = delete;

    // The sensor sits in its boot code's main menu (printed nothing yet).
    void startInBootCode();
    // The sensor has no power. It comes on when `keysBeforePowerUp` bytes have
    // reached it (0: never by count), or `msAfterFirstKey` after the first
    // one (negative: never by time): then the boot code prints its sign-on
    // and menu and stays in it when a key arrives within the stay window,
    // else it starts the firmware.
    void startPoweredOff(int keysBeforePowerUp, int msAfterFirstKey = -1);

    SerialOptions options() const;
    void setOptions(const SerialOptions& options);
    Mode mode() const;

    // How long the restart after the jump or the exit takes.
    void setRebootMs(int ms);

    // Faults: with `silent` the sensor hears and says nothing (a cut cable);
    // fallSilentOnKey makes it take that key (its `occurrence`th time) in its
    // boot code and then fall silent. A read-only sensor shows and takes new
    // values but keeps its old ones.
    void setSilent(bool silent);
    void fallSilentOnKey(char key, int occurrence = 1);
    void setReadOnly(bool readOnly);
    // What the boot code says to a key it does not know (its own firmware
    // versions differ): "Invalid Command!" unless set.
    void setInvalidCommandText(const std::string& text);

    // What reached it. Keys the boot code took, in order; blanks that reached
    // the firmware, by the line rate they were sent at; accepted jumps.
    std::string keys() const;
    std::map<int, int> probes() const;
    int jumps() const;
    // Bytes that reached it while off or rebooting, or at a rate it does not speak.
    int bytesLost() const;
    void clearLog();

    // Waits until `done` holds (checked under the lock) or `timeoutMs` passes.
    bool waitFor(const std::function<bool(const BootCode&)>& done, int timeoutMs) const;

private:
    // Shared with the stand-in's thread, which may still be inside the input
    // filter or the jump handler while this object goes.
    struct State;
    std::shared_ptr<State> state_;
    std::thread timerThread_;
};

} // namespace standin
