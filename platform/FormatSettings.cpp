#include "FormatSettings.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The picture with every run of 'y' outside quoted text made "yyyy".
QString withFourDigitYears(const QString& picture)
{
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < picture.size();) {
        const QChar c = picture.at(i);
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            out += c;
            ++i;
        } else if (!quoted && c == QLatin1Char('y')) {
            while (i < picture.size() && picture.at(i) == QLatin1Char('y'))
                ++i;
            out += QLatin1String("yyyy");
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

} // namespace

TFormatSettings TFormatSettings::FromLocale(const QLocale& locale)
{
    TFormatSettings s;
    s.Locale = locale;
    const QString point = locale.decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() < 0x80)
        s.DecimalSeparator = static_cast<char>(point.at(0).unicode());
    s.ShortDateFormat = withFourDigitYears(locale.dateFormat(QLocale::ShortFormat));
    // A time of day carries no time zone here (the sensor has none).
    QString time = locale.timeFormat(QLocale::LongFormat);
    time.remove(QLatin1Char('t'));
    s.LongTimeFormat = time.trimmed();
    return s;
}

TFormatSettings TFormatSettings::System()
{
    // Asked for at the start of every conversion pass: the settings of the
    // last system locale are kept (they share their texts when copied).
    thread_local QLocale lastLocale(QLocale::c());
    thread_local TFormatSettings last = FromLocale(lastLocale);
    const QLocale system = QLocale::system();
    if (system != lastLocale) {
        lastLocale = system;
        last = FromLocale(system);
    }
    return last;
}

QString LocalText(const std::string& text)
{
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
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

// --- fixed-point numbers -------------------------------------------------------------

namespace {

constexpr uint64_t Pow10[20] = {1ull,
                                10ull,
                                100ull,
                                1000ull,
                                10000ull,
                                100000ull,
                                1000000ull,
                                10000000ull,
                                100000000ull,
                                1000000000ull,
                                10000000000ull,
                                100000000000ull,
                                1000000000000ull,
                                10000000000000ull,
                                100000000000000ull,
                                1000000000000000ull,
                                10000000000000000ull,
                                100000000000000000ull,
                                1000000000000000000ull,
                                10000000000000000000ull};

// Decimal digits of v; 0 for 0.
int decimalDigits(uint64_t v)
{
    if (v == 0)
        return 0;
    // About log10 from the bit length, then one comparison.
    const int guess = ((64 - __builtin_clzll(v)) * 1233) >> 12;
    return guess + (guess < 20 && v >= Pow10[guess]);
}

constexpr char DigitPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                               "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                               "8081828384858687888990919293949596979899";

// z / 10^digits, the separator and z % 10^digits in `digits` digits, in
// one pass from the last digit to the first.
char* writeFixed(char* out, uint64_t z, int digits, char separator)
{
    const int wholeDigits = std::max(decimalDigits(z) - digits, 1);
    const int total = wholeDigits + digits + (digits > 0 ? 1 : 0);
    char* p = out + total;
    int n = digits;
    for (; n >= 2; n -= 2) {
        p -= 2;
        std::memcpy(p, DigitPairs + 2 * (z % 100), 2);
        z /= 100;
    }
    if (n == 1) {
        *--p = static_cast<char>('0' + z % 10);
        z /= 10;
    }
    if (digits > 0)
        *--p = separator;
    for (n = wholeDigits; n >= 2; n -= 2) {
        p -= 2;
        std::memcpy(p, DigitPairs + 2 * (z % 100), 2);
        z /= 100;
    }
    if (n == 1)
        *--p = static_cast<char>('0' + z % 10);
    return out + total;
}

// Any finite value: its first 18 significant digits (correctly rounded),
// rounded once more, a half away from zero, to `precision` digits and to
// `digits` decimals.
[[gnu::noinline]] char* fixedGeneral(char* out, double value, int precision, int digits, char separator)
{
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
    char* const start = out;
    *out++ = '-';
    bool nonZero = false;
    const int top = std::max(exponent, 0);
    for (int power = top; power >= 0; --power) {
        const char d = digitAt(power);
        if (d == '0' && !nonZero && power > 0)
            continue; // no leading zeros
        nonZero = nonZero || d != '0';
        *out++ = d;
    }
    if (digits > 0) {
        *out++ = separator;
        for (int power = -1; power >= -digits; --power) {
            const char d = digitAt(power);
            nonZero = nonZero || d != '0';
            *out++ = d;
        }
    }
    if (!(negative && nonZero)) {
        std::memmove(start, start + 1, static_cast<size_t>(out - start - 1));
        --out;
    }
    return out;
}

// Shift[p]: 2^Shift[p] <= 10^(18 - p), for a quick test before dividing.
constexpr int Shift[19] = {59, 56, 53, 49, 46, 43, 39, 36, 33, 29, 26, 23, 19, 16, 13, 9, 6, 3, 0};

// True when x lies so close below a half (`gap` of `full` being the
// distance, `full` standing for 1) that its 18-digit text would round up.
template <typename U>
bool nearHalf(U gap, U full, int precision)
{
    return gap <= (full >> Shift[precision]) && gap <= full / Pow10[18 - precision];
}

// x = m * 2^q * 10^digits rounded to a whole number z (a half up), digits
// beyond the precision rounded away, for values the quick way below does
// not take; false when it needs the general way.
[[gnu::noinline]] bool roundWide(uint32_t m, int q, int precision, int digits, uint64_t& z)
{
    using u128 = unsigned __int128;
    u128 a = 0;
    int k = 0;
    if (q >= 0) {
        if (q > 40)
            return false;
        a = (static_cast<u128>(m) << q) * Pow10[digits];
    } else {
        a = static_cast<u128>(m) * Pow10[digits];
        k = -q;
    }
    if (k >= 126) {
        z = 0; // x below 2^-42
        return true;
    }
    const u128 whole = a >> k;
    const u128 fraction = a - (whole << k);
    if (whole >= Pow10[18])
        return false;
    const uint64_t i = static_cast<uint64_t>(whole);
    // Digits beyond the precision are rounded away: round to a multiple of d.
    const int extra = std::max(0, decimalDigits(i) - precision);
    const uint64_t d = Pow10[extra];
    if (64 - __builtin_clzll(d) + k > 125)
        return false; // the sums below would not fit 128 bits
    const u128 full = static_cast<u128>(d) << k;
    const u128 twice = 2 * ((static_cast<u128>(i % d) << k) + fraction);
    uint64_t n = i / d;
    if (twice >= full)
        ++n;
    else if (nearHalf(full - twice, full, precision))
        return false;
    z = n * d;
    return true;
}

// The same for a value that a float holds exactly (every logged value), in
// exact integer arithmetic: x = |value| * 10^digits as a / 2^k. Rounding
// the 18-digit text differs from rounding x itself only when x lies within
// half an 18th digit below a half; such values, and values too large for
// 64-bit digits, go the general way (returns nullptr).
char* fixedFromFloat(char* out, double value, int precision, int digits, char separator)
{
    const float f = static_cast<float>(value);
    if (static_cast<double>(f) != value || precision > 17)
        return nullptr;
    uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    const bool negative = (bits >> 31) != 0;
    const int biased = static_cast<int>((bits >> 23) & 0xFF);
    uint32_t m = bits & 0x7FFFFF;
    int q = -149;
    if (biased != 0) {
        m |= 0x800000;
        q = biased - 150;
    }
    uint64_t z = 0; // x rounded to a whole number
    const uint64_t a = m * Pow10[digits];
    if (m == 0) {
        z = 0;
    } else if (q < 0 && q >= -62 && digits <= 12 && (a >> -q) < Pow10[precision]) {
        // Most values: 64 bits are enough (2^24 * 10^12 < 2^64), and no
        // digit lies beyond the precision.
        const int k = -q;
        const uint64_t whole = a >> k;
        const uint64_t full = uint64_t(1) << k;
        const uint64_t twice = (a & (full - 1)) << 1;
        // Up or down is as likely: no branch on it.
        const bool up = twice >= full;
        z = whole + up;
        if (!up & (full - twice <= (full >> Shift[precision])) && full - twice <= full / Pow10[18 - precision])
            return nullptr; // within reach of a half in 18 digits
    } else if (!roundWide(m, q, precision, digits, z)) {
        return nullptr;
    }
    if (negative & (z != 0))
        *out++ = '-';
    return writeFixed(out, z, digits, separator);
}

} // namespace

char* FormatFixed(char* out, double value, int precision, int digits, char decimalSeparator)
{
    if (std::isnan(value)) {
        std::memcpy(out, "NAN", 3);
        return out + 3;
    }
    if (std::isinf(value)) {
        const char* text = value < 0 ? "-INF" : "INF";
        const size_t n = std::strlen(text);
        std::memcpy(out, text, n);
        return out + n;
    }
    digits = std::clamp(digits, 0, 18);
    precision = std::clamp(precision, 1, 18);
    if (char* end = fixedFromFloat(out, value, precision, digits, decimalSeparator))
        return end;
    return fixedGeneral(out, value, precision, digits, decimalSeparator);
}

std::string FloatToStrF(double value, TFloatFormat, int precision, int digits, const TFormatSettings& settings)
{
    char text[MaxFixedTextSize];
    const char* end = FormatFixed(text, value, precision, digits, settings.DecimalSeparator);
    return std::string(text, static_cast<size_t>(end - text));
}

// --- dates and times of day ---------------------------------------------------------

bool PictureWriter::compile(bool date)
{
    // Text between the fields is taken from QLocale itself, so that quoting
    // and the 8-bit encoding come out exactly as QLocale has them.
    auto literal = [this](const QString& piece) {
        return locale_.toString(QTime(0, 0), piece).toLocal8Bit().toStdString();
    };
    bool dayHalf = false;
    QString pending; // picture text of literal pieces not yet added
    auto flushLiteral = [&] {
        if (!pending.isEmpty())
            pieces_.push_back(Piece{Field::Text, literal(pending), {}});
        pending.clear();
    };
    const QString& p = picture_;
    for (qsizetype i = 0; i < p.size();) {
        const char16_t c = p.at(i).unicode();
        if (c == u'\'') {
            const qsizetype start = i++;
            while (i < p.size() && p.at(i) != QLatin1Char('\''))
                ++i;
            if (i < p.size())
                ++i;
            pending += p.mid(start, i - start);
            continue;
        }
        qsizetype run = 0;
        while (i + run < p.size() && p.at(i + run).unicode() == c)
            ++run;
        const bool dateField = c == u'd' || c == u'M' || c == u'y';
        const bool timeField = c == u'h' || c == u'H' || c == u'm' || c == u's';
        if ((date && dateField) || (!date && timeField)) {
            flushLiteral();
            i += run;
            if (c == u'y') {
                if (run != 4)
                    return false;
                pieces_.push_back(Piece{Field::Year, {}, {}});
                continue;
            }
            if ((c == u'd' || c == u'M') && run > 2)
                return false; // names of days and months
            for (; run > 0; run -= std::min<qsizetype>(run, 2)) {
                const bool padded = run >= 2;
                Field f = Field::Text;
                switch (c) {
                case u'd': f = padded ? Field::DayPadded : Field::Day; break;
                case u'M': f = padded ? Field::MonthPadded : Field::Month; break;
                case u'h': f = padded ? Field::Hour12Padded : Field::Hour12; break;
                case u'H': f = padded ? Field::Hour24Padded : Field::Hour24; break;
                case u'm': f = padded ? Field::MinutePadded : Field::Minute; break;
                default: f = padded ? Field::SecondPadded : Field::Second; break;
                }
                pieces_.push_back(Piece{f, {}, {}});
            }
            continue;
        }
        if (!date && (c == u'a' || c == u'A')) {
            flushLiteral();
            const qsizetype length = i + 1 < p.size() && (p.at(i + 1) == QLatin1Char('p') || p.at(i + 1) == QLatin1Char('P')) ? 2 : 1;
            const QString token = p.mid(i, length);
            i += length;
            pieces_.push_back(Piece{Field::DayHalf, locale_.toString(QTime(1, 0), token).toLocal8Bit().toStdString(),
                                    locale_.toString(QTime(13, 0), token).toLocal8Bit().toStdString()});
            dayHalf = true;
            continue;
        }
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))
            return false; // a field this writer does not know
        pending += p.at(i++);
    }
    flushLiteral();
    for (const Piece& piece : pieces_)
        maxSize_ += piece.field == Field::Text ? piece.text.size()
            : piece.field == Field::DayHalf     ? std::max(piece.text.size(), piece.second.size())
                                                : 4;
    if (!dayHalf) {
        for (Piece& piece : pieces_) {
            if (piece.field == Field::Hour12)
                piece.field = Field::Hour24;
            else if (piece.field == Field::Hour12Padded)
                piece.field = Field::Hour24Padded;
        }
    }
    return true;
}

void PictureWriter::appendDirect(std::string& out, int year, int month, int day, int hour, int minute,
                                 int second) const
{
    // Made in a buffer of the longest text first: one append each time.
    char buffer[256];
    std::string longer;
    char* p = buffer;
    if (maxSize_ > sizeof buffer) {
        longer.resize(maxSize_);
        p = longer.data();
    }
    char* const start = p;
    auto number = [&p](int value, bool padded) {
        if (padded || value >= 10)
            *p++ = static_cast<char>('0' + value / 10 % 10);
        *p++ = static_cast<char>('0' + value % 10);
    };
    auto text = [&p](const std::string& t) {
        std::memcpy(p, t.data(), t.size());
        p += t.size();
    };
    const int hour12 = hour % 12 == 0 ? 12 : hour % 12;
    for (const Piece& piece : pieces_) {
        switch (piece.field) {
        case Field::Text: text(piece.text); break;
        case Field::Day: number(day, false); break;
        case Field::DayPadded: number(day, true); break;
        case Field::Month: number(month, false); break;
        case Field::MonthPadded: number(month, true); break;
        case Field::Year:
            number(year / 100, true);
            number(year % 100, true);
            break;
        case Field::Hour12: number(hour12, false); break;
        case Field::Hour12Padded: number(hour12, true); break;
        case Field::Hour24: number(hour, false); break;
        case Field::Hour24Padded: number(hour, true); break;
        case Field::Minute: number(minute, false); break;
        case Field::MinutePadded: number(minute, true); break;
        case Field::Second: number(second, false); break;
        case Field::SecondPadded: number(second, true); break;
        case Field::DayHalf: text(hour < 12 ? piece.text : piece.second); break;
        }
    }
    out.append(start, static_cast<size_t>(p - start));
}

DateWriter::DateWriter(const TFormatSettings& settings) : PictureWriter(settings.Locale, settings.ShortDateFormat)
{
    if (!compile(true))
        return;
    // Days of one and two digits in every month of years of either kind,
    // as QLocale writes them; otherwise QLocale writes them all.
    std::string mine;
    for (int year : {2000, 2009, 2010, 2024, 2105, 2199}) {
        for (int month = 1; month <= 12; ++month) {
            for (int day : {1, 9, 10, 28}) {
                mine.clear();
                appendDirect(mine, year, month, day, 0, 0, 0);
                if (mine != locale_.toString(QDate(year, month, day), picture_).toLocal8Bit().toStdString())
                    return;
            }
        }
    }
    direct_ = true;
}

std::shared_ptr<const DateWriter> DateWriter::of(const TFormatSettings& settings)
{
    thread_local std::shared_ptr<const DateWriter> last;
    if (!last || last->locale_ != settings.Locale || last->picture_ != settings.ShortDateFormat)
        last = std::make_shared<const DateWriter>(settings);
    return last;
}

void DateWriter::append(std::string& out, int year, int month, int day) const
{
    if (direct_)
        appendDirect(out, year, month, day, 0, 0, 0);
    else
        out += locale_.toString(QDate(year, month, day), picture_).toLocal8Bit().toStdString();
}

TimeOfDayWriter::TimeOfDayWriter(const TFormatSettings& settings)
    : PictureWriter(settings.Locale, settings.LongTimeFormat)
{
    if (!compile(false))
        return;
    // Every hour, with minutes and seconds of one and of two digits, must
    // come out as QLocale writes it; otherwise QLocale writes them all.
    std::string mine;
    for (int hour = 0; hour < 24; ++hour) {
        for (const auto& [minute, second] : {std::pair{0, 0}, std::pair{7, 8}, std::pair{59, 59}, std::pair{10, 30}}) {
            mine.clear();
            appendDirect(mine, 0, 0, 0, hour, minute, second);
            if (mine != locale_.toString(QTime(hour, minute, second), picture_).toLocal8Bit().toStdString())
                return;
        }
    }
    direct_ = true;
}

std::shared_ptr<const TimeOfDayWriter> TimeOfDayWriter::of(const TFormatSettings& settings)
{
    thread_local std::shared_ptr<const TimeOfDayWriter> last;
    if (!last || last->locale_ != settings.Locale || last->picture_ != settings.LongTimeFormat)
        last = std::make_shared<const TimeOfDayWriter>(settings);
    return last;
}

void TimeOfDayWriter::append(std::string& out, int hour, int minute, int second) const
{
    if (direct_)
        appendDirect(out, 0, 0, 0, hour, minute, second);
    else
        out += locale_.toString(QTime(hour, minute, second), picture_).toLocal8Bit().toStdString();
}
