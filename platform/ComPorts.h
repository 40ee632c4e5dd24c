// Serial ports are named "COM" followed by a number: the names the programs
// show, store and parse. This maps a number to a Linux device path.
//
// If "comports" in the user's configuration folder exists, it is the whole
// map: an entry "comN" (a symbolic link, or a text file whose first line is a
// device path, taken relative to /dev when it is relative) makes COM N that
// device. A "comports" that is not a folder (a file, a dangling link) is an
// empty map, and so is one that vanishes while the program runs: the program
// never falls back to the built-in map once it has seen a map. Otherwise
// COM1..32 are /dev/ttyS0..31, COM33..64 /dev/ttyUSB0..31 and COM65..96
// /dev/ttyACM0..31.
#pragma once

#include <QString>

namespace ComPorts {

constexpr int MaxPortNumber = 254;

// $XDG_CONFIG_HOME/comports (normally ~/.config/comports).
QString mapFolder();

// The device behind COM `number`, or an empty string when there is none.
QString devicePath(int number);

// A device path as a map entry or the user gives it: a relative path is
// taken relative to /dev (surrounding blanks are dropped).
QString deviceFromText(const QString& text);

// The folder the built-in map's devices are in: /dev. Only the test
// programs move it, to an empty folder of their own, so that no test reaches
// a machine's serial port whatever it does to the map.
QString builtInDeviceFolder();
void setBuiltInDeviceFolder(const QString& folder);

// True when COM `number` is a terminal device that nobody else holds: it is
// opened and closed again. The open does not wait (a modem device waiting
// for its carrier does not stall a scan of every number) and changes none of
// the device's settings. A device counts as held when a serial lock file
// (LCK..name, as QSerialPort and other serial programs write) names a
// live process, when it is locked with flock, or when it is opened
// exclusively and refuses us.
bool canOpen(int number);

} // namespace ComPorts
