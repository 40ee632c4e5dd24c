// Regional formats for text that follows the user's settings: the decimal
// separator, the short date and the long time of the system locale, and the
// number and date conversions that use them.
#pragma once

#include "DateTime.h"

#include <QLocale>
#include <QString>

#include <memory>
#include <string>
#include <vector>

struct TFormatSettings {
    QLocale Locale;
    char DecimalSeparator = '.';
    // Qt date picture: the locale's short date with the year always in four
    // digits (many locales cut it to two, which makes a series that spans a
    // century, or is read years later, ambiguous).
    QString ShortDateFormat;
    QString LongTimeFormat;  // Qt time picture, without a time zone

    // The settings of `locale`; System() those of QLocale::system().
    static TFormatSettings FromLocale(const QLocale& locale);
    static TFormatSettings System();
};

// The date (time of day ignored) in the short date format, and the time of
// day in the long time format, as 8-bit text of the system's encoding.
std::string DateToStr(TDateTime value, const TFormatSettings& settings);
std::string TimeToStr(TDateTime value, const TFormatSettings& settings);

// Text of these conversions (the system's 8-bit encoding) as a window shows
// it.
QString LocalText(const std::string& text);

enum TFloatFormat { ffFixed };

// Fixed-point notation: the value rounded (a half away from zero) to
// `precision` significant digits and at most `digits` decimals, written with
// exactly `digits` decimals (missing ones as zeros) and the settings'
// decimal separator. A value that rounds to zero carries no minus sign; NaN
// and infinities are written "NAN", "INF" and "-INF". `digits` is limited to
// 0..18. The rounding works on the value's first 18 significant digits, so
// that a value just below a half in binary but a half in 18 digits rounds up.
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& settings);

// The same text written to `out`, which must have room for
// MaxFixedTextSize bytes; returns the end of the text. No allocation.
constexpr int MaxFixedTextSize = 340; // sign, 309 integer digits, separator, 18 decimals
char* FormatFixed(char* out, double value, int precision, int digits, char decimalSeparator);

// A date or time picture of a locale prepared once, so that many dates or
// times of day are written without a string each, exactly as DateToStr and
// TimeToStr write them. A picture it cannot follow exactly (a locale with
// other digits than 0 to 9, names of days or months, fields it does not
// know) is written through QLocale instead.
class PictureWriter {
public:
    // True when the picture is written directly (not through QLocale).
    bool direct() const { return direct_; }

protected:
    enum class Field : uint8_t { Text, Day, DayPadded, Month, MonthPadded, Year, Hour12, Hour12Padded, Hour24,
                                 Hour24Padded, Minute, MinutePadded, Second, SecondPadded, DayHalf };
    struct Piece {
        Field field;
        std::string text;   // Text: the text; DayHalf: the morning's text
        std::string second; // DayHalf: the afternoon's text
    };
    PictureWriter(const QLocale& locale, const QString& picture) : locale_(locale), picture_(picture) {}
    // Cuts the picture into pieces; false for a picture this writer cannot
    // follow. `date` chooses the fields of a date or of a time of day.
    bool compile(bool date);
    // The text of the pieces for these parts of a date and time.
    void appendDirect(std::string& out, int year, int month, int day, int hour, int minute, int second) const;

    QLocale locale_;
    QString picture_;
    std::vector<Piece> pieces_;
    size_t maxSize_ = 0; // the longest text of the pieces
    bool direct_ = false;
};

// The short date format (DateToStr).
class DateWriter : public PictureWriter {
public:
    explicit DateWriter(const TFormatSettings& settings);
    // The writer of these settings, prepared once for the last settings
    // asked for (preparing one asks QLocale a few hundred times).
    static std::shared_ptr<const DateWriter> of(const TFormatSettings& settings);
    // Appends what DateToStr writes for this date.
    void append(std::string& out, int year, int month, int day) const;
};

// The long time format (TimeToStr).
class TimeOfDayWriter : public PictureWriter {
public:
    explicit TimeOfDayWriter(const TFormatSettings& settings);
    static std::shared_ptr<const TimeOfDayWriter> of(const TFormatSettings& settings);
    // Appends what TimeToStr writes for this time of day.
    void append(std::string& out, int hour, int minute, int second) const;
};
