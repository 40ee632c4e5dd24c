// Serial ports are named "COM" followed by a number, as the sensor programs
// have always named them. This maps a number to a Linux device path.
//
// If the folder "comports" in the user's configuration folder exists, it is
// the whole map: an entry "comN" (a symbolic link, or a text file whose first
// line is a device path) makes COM N that device. Otherwise COM1..32 are
// /dev/ttyS0..31, COM33..64 /dev/ttyUSB0..31 and COM65..96 /dev/ttyACM0..31.
#pragma once

#include <QString>

namespace ComPorts {

constexpr int MaxPortNumber = 254;

// $XDG_CONFIG_HOME/comports (normally ~/.config/comports).
QString mapFolder();

// The device behind COM `number`, or an empty string when there is none.
QString devicePath(int number);

} // namespace ComPorts
