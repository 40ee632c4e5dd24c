#include "FormatSettings.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

TFormatSettings TFormatSettings::FromLocale(const QLocale& locale)
{
    TFormatSettings s;
    s.Locale = locale;
    const QString point = locale.decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() < 0x80)
        s.DecimalSeparator = static_cast<char>(point.at(0).unicode());
    s.ShortDateFormat = locale.dateFormat(QLocale::ShortFormat);
    // A time of day carries no time zone here (the sensor has none).
    QString time = locale.timeFormat(QLocale::LongFormat);
    time.remove(QLatin1Char('t'));
    s.LongTimeFormat = time.trimmed();
    return s;
}

TFormatSettings TFormatSettings::System()
{
    return FromLocale(QLocale::system());
}

std::string DateToStr(TDateTime value, const TFormatSettings& settings)
{
    int y = 0, m = 0, d = 0;
    DecodeDate(value, y, m, d);
    return settings.Locale.toString(QDate(y, m, d), settings.ShortDateFormat).toLocal8Bit().toStdString();
}

std::string TimeToStr(TDateTime value, const TFormatSettings& settings)
{
    int h = 0, n = 0, s = 0, ms = 0;
    DecodeTime(value, h, n, s, ms);
    return settings.Locale.toString(QTime(h, n, s), settings.LongTimeFormat).toLocal8Bit().toStdString();
}

std::string FloatToStrF(double value, TFloatFormat, int precision, int digits, const TFormatSettings& settings)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    digits = std::clamp(digits, 0, 18);
    precision = std::clamp(precision, 1, 18);

    // The value's first 18 significant digits, rounded once more (half away
    // from zero) to `precision` digits and to `digits` decimals.
    char sci[40];
    const auto written = std::to_chars(sci, sci + sizeof sci - 1, value, std::chars_format::scientific, 17);
    *written.ptr = '\0';
    const bool negative = sci[0] == '-';
    const char* p = sci + (negative ? 1 : 0);
    char mantissa[24];
    int count = 0;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            mantissa[count++] = *p;
    int exponent = value == 0 ? 0 : std::atoi(p + 1); // of the first digit
    const int keep = std::min(precision, exponent + 1 + digits);
    if (keep < 0) {
        count = 0;
    } else if (keep < count) {
        const bool up = mantissa[keep] >= '5';
        count = keep;
        if (up) {
            int i = keep - 1;
            for (; i >= 0 && mantissa[i] == '9'; --i)
                mantissa[i] = '0';
            if (i >= 0) {
                ++mantissa[i];
            } else {
                std::memmove(mantissa + 1, mantissa, static_cast<size_t>(count));
                mantissa[0] = '1';
                ++count;
                ++exponent;
            }
        }
    }
    // Lay the digits out around the decimal point: digit i stands for
    // 10^(exponent - i).
    auto digitAt = [&](int power) {
        const int i = exponent - power;
        return i >= 0 && i < count ? mantissa[i] : '0';
    };
    char out[340]; // sign, up to 309 integer digits, separator, 18 decimals
    int n = 0;
    out[n++] = '-';
    bool nonZero = false;
    const int top = std::max(exponent, 0);
    for (int power = top; power >= 0; --power) {
        const char d = digitAt(power);
        if (d == '0' && !nonZero && power > 0)
            continue; // no leading zeros
        nonZero = nonZero || d != '0';
        out[n++] = d;
    }
    if (digits > 0) {
        out[n++] = settings.DecimalSeparator;
        for (int power = -1; power >= -digits; --power) {
            const char d = digitAt(power);
            nonZero = nonZero || d != '0';
            out[n++] = d;
        }
    }
    const int from = negative && nonZero ? 0 : 1;
    return std::string(out + from, static_cast<size_t>(n - from));
}
