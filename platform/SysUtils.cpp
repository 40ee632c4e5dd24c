#include "SysUtils.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QTimer>

#include <cctype>
#include <cfloat>
#include <charconv>
#include <chrono>
#include <climits>
#include <cmath>
#include <thread>

int32_t StrToInt(const std::string& text)
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const size_t digitsStart = i;
    int64_t value = 0;
    bool overflow = false;
    while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) {
        if (!overflow)
            value = value * 10 + (text[i] - '0');
        if (value > static_cast<int64_t>(INT32_MAX) + 1)
            overflow = true;
        ++i;
    }
    const size_t digitsEnd = i;
    while (i < n && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    if (digitsStart == digitsEnd || i != n || overflow || (!negative && value > INT32_MAX))
        throw EConvertError("'" + text + "' is not a valid integer value");
    return static_cast<int32_t>(negative ? -value : value);
}

double StrToFloat(const std::string& text)
{
    const auto fail = [&text]() { return EConvertError("'" + text + "' is not a valid floating point value"); };
    size_t i = 0;
    const size_t n = text.size();
    const auto isDigit = [&](size_t k) { return k < n && std::isdigit(static_cast<unsigned char>(text[k])); };
    while (i < n && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    // Checked here rather than left to the library: from_chars takes no '+',
    // and strtod would follow the locale's decimal separator.
    std::string number;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
            number += '-';
        ++i;
    }
    const size_t mantissaStart = i;
    size_t digits = 0;
    for (; isDigit(i); ++i, ++digits)
        number += text[i];
    if (i < n && text[i] == '.') {
        number += text[i++];
        for (; isDigit(i); ++i, ++digits)
            number += text[i];
    }
    if (digits == 0 || i == mantissaStart)
        throw fail();
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        number += text[i++];
        if (i < n && (text[i] == '+' || text[i] == '-'))
            number += text[i++];
        if (!isDigit(i))
            throw fail();
        while (isDigit(i))
            number += text[i++];
    }
    while (i < n && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    if (i != n)
        throw fail();
    double value = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec != std::errc() || result.ptr != number.data() + number.size())
        throw fail();
    return value;
}

bool FitsImageFloat(double value)
{
    return std::isfinite(value) && std::fabs(value) <= static_cast<double>(FLT_MAX);
}

void CheckImageFloat(double value, const std::string& shown)
{
    if (!FitsImageFloat(value))
        throw EConvertError("'" + shown + "' is too large a value");
}

float ImageFloat(double value)
{
    if (!FitsImageFloat(value))
        CheckImageFloat(value, QByteArray::number(value, 'g', 9).toStdString());
    return static_cast<float>(value);
}

uint32_t timeGetTime()
{
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<uint32_t>(ms);
}

void Sleep(uint32_t milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void ProcessMessages()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void WaitForMessages(uint32_t milliseconds)
{
    if (!QCoreApplication::instance()) {
        Sleep(milliseconds);
        return;
    }
    if (milliseconds == 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    // Runs what is pending, or sleeps until something arrives; the timer
    // bounds the sleep. Data the port has already taken in raises no new
    // event, so callers look at the port before they wait.
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    timer.start(static_cast<int>(milliseconds > 0x7fffffffu ? 0x7fffffffu : milliseconds));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
