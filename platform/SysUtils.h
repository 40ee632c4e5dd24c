// Run-time helpers the sensor and window code call by their familiar names:
// the message pump, the millisecond tick counter, sleeping, number
// conversion that raises on text that is not a number, and the range rule of
// the images' floats.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// The base of the errors the programs raise and show to the user.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& msg) : std::runtime_error(msg) {}
};

// Raised when text that should hold a number does not.
class EConvertError : public Exception {
public:
    explicit EConvertError(const std::string& msg) : Exception(msg) {}
};

// Decimal integer with optional surrounding blanks and sign. Raises
// EConvertError ("'text' is not a valid integer value") otherwise, including
// on overflow of a signed 32-bit value.
int32_t StrToInt(const std::string& text);

// Decimal floating-point number with optional surrounding blanks, sign,
// fraction and exponent ("3", "3.0", " -2.5e1 "). The decimal separator is
// always '.', whatever the user's locale, because the texts come from the
// sensor. Raises EConvertError ("'text' is not a valid floating point value")
// otherwise.
double StrToFloat(const std::string& text);

// The one rule for a value computed or read in double and stored as a 32-bit
// float in an image: it must be finite and within a float's range. Anything
// else would reach the sensor as infinity or as a number it never meant.
bool FitsImageFloat(double value);

// Raises EConvertError ("'shown' is too large a value") unless the value
// fits an image's float; `shown` is the value as the user knows it (the text
// typed).
void CheckImageFloat(double value, const std::string& shown);

// `value` as the image's float; a value that does not fit raises as
// CheckImageFloat does, shown with nine significant digits ("1e+41").
float ImageFloat(double value);

// Monotonic millisecond counter; wraps as an unsigned 32-bit value, so
// deadlines must be compared with tickReached(), never with <.
uint32_t timeGetTime();

// True once the tick counter has reached `deadline`, also across the wrap.
inline bool tickReached(uint32_t now, uint32_t deadline)
{
    return static_cast<int32_t>(now - deadline) >= 0;
}

void Sleep(uint32_t milliseconds);

// Runs pending events (timers, port notifications, input) once; does nothing
// when no application object exists.
void ProcessMessages();

// The wait of every loop that waits for the sensor or the user: runs the
// pending events, or, when there are none, sleeps until the next event
// arrives (port data, input, a timer) or `milliseconds` have passed, and runs
// it. Returns early on any event, so callers check the port, their condition
// and their deadline before each call, in a loop. Without an application
// object it sleeps.
void WaitForMessages(uint32_t milliseconds);
