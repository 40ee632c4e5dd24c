// Regional formats for text that follows the user's settings: the decimal
// separator, the short date and the long time of the system locale, and the
// number and date conversions that use them.
#pragma once

#include "DateTime.h"

#include <QLocale>
#include <QString>

#include <string>

struct TFormatSettings {
    QLocale Locale;
    char DecimalSeparator = '.';
    QString ShortDateFormat; // Qt date picture
    QString LongTimeFormat;  // Qt time picture, without a time zone

    // The settings of `locale`; System() those of QLocale::system().
    static TFormatSettings FromLocale(const QLocale& locale);
    static TFormatSettings System();
};

// The date (time of day ignored) in the short date format, and the time of
// day in the long time format, as 8-bit text of the system's encoding.
std::string DateToStr(TDateTime value, const TFormatSettings& settings);
std::string TimeToStr(TDateTime value, const TFormatSettings& settings);

enum TFloatFormat { ffFixed };

// Fixed-point notation: the value rounded (a half away from zero) to
// `precision` significant digits and at most `digits` decimals, written with
// exactly `digits` decimals (missing ones as zeros) and the settings'
// decimal separator. A value that rounds to zero carries no minus sign; NaN
// and infinities are written "NAN", "INF" and "-INF". `digits` is limited to
// 0..18.
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& settings);
