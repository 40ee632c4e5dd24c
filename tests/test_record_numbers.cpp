// The converters' number and time writing against what they replace: the
// fixed-point formatter against the reference formatter on millions of
// floats (ties, neighbours of ties, missing values, huge and tiny values, at
// every number of decimals and precision, both separators), the date and
// time-of-day writers against QLocale in every locale Qt knows, record
// times against the platform's, and the record CRC from tables against the
// link's CRC.
#include "FormatSettings.h"
#include "PSQuarnComms.h"
#include "RecordTime.h"
#include "RecordReference.h"
#include "sonderecordcmd.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <tuple>

namespace {

// The sanitizer build makes the same comparisons on fewer values.
#ifdef __SANITIZE_ADDRESS__
constexpr int Fewer = 4;
#else
constexpr int Fewer = 1;
#endif

std::string fixed(double value, int precision, int digits, char separator)
{
    char text[MaxFixedTextSize];
    const char* end = FormatFixed(text, value, precision, digits, separator);
    return std::string(text, static_cast<size_t>(end - text));
}

float floatOf(uint32_t bits)
{
    float f = 0;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// Compares both formatters on `value` at every number of decimals (and a
// few out of range); counts the comparisons and stops after a few reports.
class Comparison {
public:
    void at(double value, int precision, int digits, char separator)
    {
        ++count;
        const std::string mine = fixed(value, precision, digits, separator);
        const std::string theirs = reference::FloatToStrF(value, precision, digits, separator);
        if (mine != theirs && ++failures <= 10)
            ADD_FAILURE() << std::hexfloat << value << std::defaultfloat << " (" << value << ") precision "
                          << precision << ", " << digits << " decimals: " << mine << " instead of " << theirs;
    }
    void everyDigits(double value, int precision = 10)
    {
        for (int digits = -1; digits <= 19; ++digits)
            at(value, precision, digits, digits % 2 ? ',' : '.');
    }
    long count = 0;
    int failures = 0;
};

} // namespace

TEST(FixedNotation, MatchesTheReferenceOnMillionsOfFloats)
{
    std::mt19937_64 random(20240626);
    Comparison c;

    // Any bit pattern: tiny (subnormal) to huge values, NaN and infinities.
    for (int i = 0; i < 100000 / Fewer; ++i)
        c.everyDigits(floatOf(static_cast<uint32_t>(random())));

    // Readings as a sensor gives them: a few digits at some scale.
    std::uniform_int_distribution<int> digitsOf(0, 9);
    for (int i = 0; i < 60000 / Fewer; ++i) {
        const double scale = std::pow(10.0, std::uniform_int_distribution<int>(-8, 10)(random));
        const float value = static_cast<float>(static_cast<double>(random() % 2000001) / 1000.0 * scale) *
            (random() % 2 ? 1.0f : -1.0f);
        c.everyDigits(value);
    }

    // Exact halves at d decimals: (2r + 1) / 2^(d + 1) times 10^d ends in
    // .5; and the floats on either side of each.
    for (int digits = 0; digits <= 18; ++digits) {
        for (int i = 0; i < 6000 / Fewer; ++i) {
            const uint32_t odd = static_cast<uint32_t>(random() % (1u << 22)) * 2 + 1;
            const float tie = std::ldexp(static_cast<float>(odd), -(digits + 1));
            for (float v : {tie, -tie, std::nextafter(tie, 0.0f), std::nextafter(tie, 1e30f),
                            std::nextafter(-tie, 0.0f), std::nextafter(-tie, -1e30f)})
                for (char separator : {'.', ','})
                    c.at(v, 10, digits, separator);
        }
    }

    // The missing value, whole numbers, limits and the values around them.
    const float specials[] = {-1e10f, 1e10f, 0.0f, -0.0f, 1.0f, -1.0f, 0.5f, -0.5f, 9999999999.0f, 1e-45f, -1e-45f,
                              std::numeric_limits<float>::min(), std::numeric_limits<float>::max(),
                              -std::numeric_limits<float>::max(), 16777216.0f, 16777217.0f, 1e15f, 1e18f, 1e19f,
                              1e20f, 123456789.0f, 999999.94f, 0.1f, 0.05f, 0.005f, 0.0005f};
    for (float s : specials)
        for (float v : {s, std::nextafter(s, 0.0f), std::nextafter(s, 1e38f), std::nextafter(s, -1e38f)})
            c.everyDigits(v);
    for (int v = -128; v <= 127; ++v)
        c.at(v, 15, 1, '.');

    // Every precision the formatter takes, on fewer values.
    for (int i = 0; i < 20000 / Fewer; ++i) {
        const float value = floatOf(static_cast<uint32_t>(random()));
        for (int precision = 0; precision <= 19; ++precision)
            c.at(value, precision, static_cast<int>(random() % 20), '.');
    }

    // Doubles that no float holds take the general way: still the same.
    for (int i = 0; i < 20000; ++i) {
        uint64_t bits = random();
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        c.at(value, 10, static_cast<int>(random() % 19), '.');
    }
    for (double value : {9999999999.5, 2.675, 0.125, -512.5, 1e300, -1.5e300, 1e-300})
        c.everyDigits(value);

    EXPECT_GT(c.count, 3000000 / Fewer);
    EXPECT_EQ(c.failures, 0);
}

TEST(FixedNotation, FloatToStrFIsTheSameText)
{
    const TFormatSettings comma = TFormatSettings::FromLocale(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(FloatToStrF(-21.25, ffFixed, 10, 2, comma), "-21,25");
    EXPECT_EQ(FloatToStrF(2.675, ffFixed, 10, 2, comma), "2,67");
    EXPECT_EQ(FloatToStrF(-1e10, ffFixed, 10, 0, comma), "-10000000000");
}

TEST(DatesAndTimes, WrittenAsQLocaleWritesThemInEveryLocale)
{
    // In every locale: a time of day every 7 minutes and 13 seconds and
    // every hour's first and last second, and a date every 97 days from
    // 2000 to 2200; every second of the day and every day in a few.
    const QList<QLocale> all = QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    ASSERT_GT(all.size(), 100);
    int directTimes = 0;
    int directDates = 0;
    std::string mine;
    for (const QLocale& locale : all) {
        const TFormatSettings settings = TFormatSettings::FromLocale(locale);
        const TimeOfDayWriter clock(settings);
        const DateWriter calendar(settings);
        directTimes += clock.direct() ? 1 : 0;
        directDates += calendar.direct() ? 1 : 0;
        const bool everyOne = locale.name() == QLatin1String("en_US") || locale.name() == QLatin1String("ko_KR")
            || locale.name() == QLatin1String("fr_CA") || locale.name() == QLatin1String("bg_BG");
        int failures = 0;
        auto compare = [&](const std::string& theirs, const char* what, int a, int b, int c) {
            if (mine != theirs && ++failures <= 3)
                ADD_FAILURE() << locale.name().toStdString() << " " << what << " " << a << " " << b << " " << c
                              << ": " << mine << " instead of " << theirs << " (" << settings.ShortDateFormat.toStdString()
                              << " / " << settings.LongTimeFormat.toStdString() << ")";
        };
        for (int second = 0; second < 86400 && failures < 3; second += everyOne ? 1 : 433 * Fewer) {
            for (int s : {second, second / 3600 * 3600, second / 3600 * 3600 + 3599}) {
                const int h = s / 3600, n = s / 60 % 60, sec = s % 60;
                mine.clear();
                clock.append(mine, h, n, sec);
                compare(TimeToStr(EncodeDate(2024, 6, 26) + EncodeTime(h, n, sec, 0), settings), "time", h, n, sec);
            }
        }
        const TDateTime first = EncodeDate(2000, 1, 1);
        for (TDateTime day = first; day < EncodeDate(2201, 1, 1) && failures < 3; day += everyOne ? 1 : 97 * Fewer) {
            int y = 0, m = 0, d = 0;
            DecodeDate(day, y, m, d);
            mine.clear();
            calendar.append(mine, y, m, d);
            compare(DateToStr(day, settings), "date", y, m, d);
        }
    }
    // Most locales are written directly; the common ones certainly.
    EXPECT_GT(directTimes, all.size() * 3 / 4) << directTimes << " of " << all.size();
    EXPECT_GT(directDates, all.size() * 3 / 4) << directDates << " of " << all.size();
    for (const char* name : {"en_US", "en_GB", "de_DE", "fr_CA", "ko_KR", "ja_JP", "zh_CN", "es_ES", "bg_BG"}) {
        const TFormatSettings settings = TFormatSettings::FromLocale(QLocale(QString::fromLatin1(name)));
        EXPECT_TRUE(TimeOfDayWriter(settings).direct()) << name;
        EXPECT_TRUE(DateWriter(settings).direct()) << name;
    }
}

TEST(RecordCrc, TablesGiveTheLinksCrc)
{
    std::mt19937 random(7);
    std::vector<uint8_t> bytes(600);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(random());
    for (size_t length = 0; length < 600; length += 1 + length / 8) {
        for (size_t offset : {size_t(0), size_t(1), size_t(3)}) {
            if (offset + length > bytes.size())
                continue;
            const uint16_t initial = static_cast<uint16_t>(random());
            EXPECT_EQ(TSondeRecordCmd::blockCalcCcittCrc(bytes.data() + offset, initial, length),
                      TQuarnComms::blockCalcCcittCrc(bytes.data() + offset, initial, length))
                << length << " bytes from " << offset;
        }
    }
    for (unsigned b = 0; b < 256; ++b) {
        uint16_t mine = 0x1234, theirs = 0x1234;
        TSondeRecordCmd::updateCcittCrc(mine, static_cast<uint8_t>(b));
        TQuarnComms::updateCcittCrc(theirs, static_cast<uint8_t>(b));
        EXPECT_EQ(mine, theirs) << b;
    }
}

TEST(RecordTimes, EncodedAsThePlatformEncodesThem)
{
    // Every day the logger can stamp (years 2000 to 2199, the last day
    // carried into 2200), at several times of day.
    for (int year = 2000; year <= 2200; ++year)
        for (int month = 1; month <= 12; ++month)
            for (int day = 1; day <= TSondeRecordCmd::DaysPerMonth(year, month); ++day)
                for (const auto& [h, n, s] : {std::tuple{0, 0, 0}, std::tuple{12, 30, 5}, std::tuple{23, 59, 59}}) {
                    const TDateTime mine = RecordTime::toDateTime(RecordTime::Civil{year, month, day, h, n, s});
                    const TDateTime theirs = EncodeDate(year, month, day) + EncodeTime(h, n, s, 0);
                    ASSERT_EQ(mine, theirs) << year << "-" << month << "-" << day << " " << h << ":" << n << ":" << s;
                }
    EXPECT_EQ(RecordTime::toDateTime(RecordTime::Civil{2023, 2, 29, 0, 0, 0}), 0);
    EXPECT_EQ(RecordTime::toDateTime(RecordTime::Civil{2024, 1, 1, 24, 0, 0}), 0);
}
