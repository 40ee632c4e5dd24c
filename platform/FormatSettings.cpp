#include "FormatSettings.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17e", value);
    const bool negative = buf[0] == '-';
    const char* p = buf + (negative ? 1 : 0);
    std::string mantissa;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            mantissa += *p;
    int exponent = *p == 'e' ? std::atoi(p + 1) : 0; // of the first digit
    if (value == 0)
        exponent = 0;
    const int keep = std::min(precision, exponent + 1 + digits);
    if (keep < 0) {
        mantissa.clear();
    } else if (keep < static_cast<int>(mantissa.size())) {
        const bool up = mantissa[static_cast<size_t>(keep)] >= '5';
        mantissa.resize(static_cast<size_t>(keep));
        if (up) {
            int i = keep - 1;
            for (; i >= 0 && mantissa[static_cast<size_t>(i)] == '9'; --i)
                mantissa[static_cast<size_t>(i)] = '0';
            if (i >= 0) {
                ++mantissa[static_cast<size_t>(i)];
            } else {
                mantissa.insert(mantissa.begin(), '1');
                ++exponent;
            }
        }
    }
    // Lay the digits out around the decimal point.
    std::string whole;
    std::string fraction;
    if (exponent >= 0) {
        const size_t point = static_cast<size_t>(exponent) + 1;
        whole = mantissa.substr(0, std::min(point, mantissa.size()));
        whole.resize(point, '0');
        if (mantissa.size() > point)
            fraction = mantissa.substr(point);
    } else {
        whole = "0";
        fraction = std::string(static_cast<size_t>(-exponent - 1), '0') + mantissa;
    }
    fraction.resize(static_cast<size_t>(digits), '0');
    const size_t lead = whole.find_first_not_of('0');
    whole = lead == std::string::npos ? "0" : whole.substr(lead);
    const bool zero = whole == "0" && fraction.find_first_not_of('0') == std::string::npos;
    std::string text = negative && !zero ? "-" : "";
    text += whole;
    if (digits > 0) {
        text += settings.DecimalSeparator;
        text += fraction;
    }
    return text;
}
