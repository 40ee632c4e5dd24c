// The stand-in's view of the line settings the program chose.
#include "Standin.h"

#include <termios.h>

namespace standin {

int Standin::terminalBaud() const
{
    // On the master side, tcgetattr reports the slave's settings: the rate
    // the program opened its port at.
    termios tio{};
    if (master_ < 0 || tcgetattr(master_, &tio) != 0)
        return 0;
    switch (cfgetospeed(&tio)) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
    }
}

void Standin::setInputFilter(InputFilter filter)
{
    std::lock_guard<std::mutex> lock(filterMutex_);
    inputFilter_ = std::move(filter);
}

} // namespace standin
