// The configuration and calibration images: layout on the byte, files with
// their CRC, the format upgrade, free schedule records and the pressure datum.
#include "HvSensor_Quarn.h"
#include "ImageBuilder.h"
#include "Standin.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

using standin::Bytes;

namespace {

template <typename Image>
const uint8_t* bytesOf(const Image& image)
{
    return reinterpret_cast<const uint8_t*>(&image);
}

template <typename Image>
uint8_t* bytesOf(Image& image)
{
    return reinterpret_cast<uint8_t*>(&image);
}

template <typename Image>
Image zeroed()
{
    Image image;
    std::memset(&image, 0, sizeof image);
    return image;
}

// Deterministic bytes that are nowhere zero by accident.
template <typename Image>
Image patterned(uint8_t seed)
{
    Image image;
    uint8_t* b = bytesOf(image);
    for (size_t i = 0; i < sizeof image; ++i)
        b[i] = static_cast<uint8_t>((i * 7 + seed) % 251 + 1);
    return image;
}

Bytes readFile(const std::string& path)
{
    Bytes bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF)
            bytes.push_back(static_cast<uint8_t>(c));
        std::fclose(f);
    }
    return bytes;
}

void writeFile(const std::string& path, const Bytes& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (!bytes.empty()) {
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    }
    std::fclose(f);
}

uint32_t le32(const uint8_t* p)
{
    return p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

using standin::stamp;

bool sameStamp(const Timestamp& a, const Timestamp& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string hexAt(const uint8_t* p, size_t n)
{
    return standin::hex(p, n);
}

class SensorFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        sensor = std::make_unique<TSensor_Quarn>(nullptr);
    }
    std::string path(const char* name) const { return (dir.path() + "/" + name).toStdString(); }

    QTemporaryDir dir;
    std::unique_ptr<TSensor_Quarn> sensor;
};

} // namespace

// --- layout -----------------------------------------------------------------

template <typename Image>
struct FieldCase {
    const char* field;
    std::function<void(Image&)> set;
    size_t offset;
    Bytes bytes;
};

// Each field set on a zeroed image shows at its offset, little-endian, and
// nowhere else.
template <typename Image>
void expectFieldsAtOffsets(const std::vector<FieldCase<Image>>& cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        Image image = zeroed<Image>();
        c.set(image);
        const uint8_t* b = bytesOf(image);
        EXPECT_EQ(hexAt(b + c.offset, c.bytes.size()), standin::hex(c.bytes));
        for (size_t i = 0; i < sizeof image; ++i)
            if (i < c.offset || i >= c.offset + c.bytes.size()) {
                ASSERT_EQ(b[i], 0) << "stray byte at offset " << i;
            }
    }
}

TEST(ImageLayout, ConfigurationFieldsLieAtTheirOffsets)
{
    using C = ConfigurationData;
    expectFieldsAtOffsets<C>({
        {"SamplerChannel", [](C& c) { c.SamplerChannel = 0x4B; }, 75, {0x4B}},
        {"AuxTriggerCount", [](C& c) { c.AuxTriggerCount = 3; }, 446, {3}},
        {"AuxTriggers[1].Condition", [](C& c) { c.AuxTriggers[1].Condition = 0x1234; }, 447 + 12 + 10, {0x34, 0x12}},
        {"AuxMethods[31].Action", [](C& c) { c.AuxMethods[31].Action = 5; }, 832 + 31 * 9 + 7, {5, 0}},
        {"TriggerCount", [](C& c) { c.TriggerCount = 2; }, 1120, {2}},
        {"Triggers[0].InUse", [](C& c) { c.Triggers[0].InUse = 1; }, 1121, {1}},
        {"Triggers[31].SetPoint", [](C& c) { c.Triggers[31].SetPoint = -2.0f; }, 1121 + 31 * 12 + 2,
         {0x00, 0x00, 0x00, 0xC0}},
        {"Triggers[31].ReEnableValue", [](C& c) { c.Triggers[31].ReEnableValue = 1.0f; }, 1121 + 31 * 12 + 6,
         {0x00, 0x00, 0x80, 0x3F}},
        {"MethodCount", [](C& c) { c.MethodCount = 4; }, 1505, {4}},
        {"Methods[12].TriggerNumbers[0]", [](C& c) { c.Methods[12].TriggerNumbers[0] = 9; }, 1506 + 12 * 9 + 2, {9}},
        {"Methods[12].ScheduleNumber", [](C& c) { c.Methods[12].ScheduleNumber = 2; }, 1506 + 12 * 9 + 6, {2}},
        {"Methods[12].Action", [](C& c) { c.Methods[12].Action = 0x0201; }, 1506 + 12 * 9 + 7, {0x01, 0x02}},
        {"ScheduleCount", [](C& c) { c.ScheduleCount = 3; }, 1794, {3}},
        {"Schedules[0].Enabled", [](C& c) { c.Schedules[0].Enabled = 1; }, 1795, {1}},
        {"Schedules[1].Name", [](C& c) { SetImageText(c.Schedules[1].Name, "Hourly"); }, 1795 + 90 + 2,
         {'H', 'o', 'u', 'r', 'l', 'y'}},
        {"Schedules[1].StopByTime", [](C& c) { c.Schedules[1].StopByTime = 1; }, 1795 + 90 + 18, {1}},
        {"Schedules[1].StartTime", [](C& c) { c.Schedules[1].StartTime = Timestamp{25, 1, 2, 3, 4, 5}; },
         1795 + 90 + 19, {25, 1, 2, 3, 4, 5}},
        {"Schedules[1].StopTime", [](C& c) { c.Schedules[1].StopTime = Timestamp{99, 1, 1, 0, 0, 9}; },
         1795 + 90 + 25, {99, 1, 1, 0, 0, 9}},
        {"Schedules[1].MaxScans", [](C& c) { c.Schedules[1].MaxScans = 100000; }, 1795 + 90 + 32,
         {0xA0, 0x86, 0x01, 0x00}},
        {"Schedules[1].ChannelCount", [](C& c) { c.Schedules[1].ChannelCount = 25; }, 1795 + 90 + 36, {25}},
        {"Schedules[1].Channels[24]", [](C& c) { c.Schedules[1].Channels[24] = 35; }, 1795 + 90 + 39 + 24, {35}},
        {"Schedules[1].AuxList2[3]", [](C& c) { c.Schedules[1].AuxList2[3] = 7; }, 1795 + 90 + 73, {7}},
        {"Schedules[2].ScanTime", [](C& c) { c.Schedules[2].ScanTime = 6000; }, 1795 + 180 + 76,
         {0x70, 0x17, 0x00, 0x00}},
        {"Schedules[3].AverageCount", [](C& c) { c.Schedules[3].AverageCount = 0x0102; }, 1795 + 270 + 80,
         {0x02, 0x01}},
        {"Schedules[4].AverageInterval", [](C& c) { c.Schedules[4].AverageInterval = 50; }, 1795 + 360 + 82,
         {50, 0, 0, 0}},
        {"Schedules[6].RecordMultiple", [](C& c) { c.Schedules[6].RecordMultiple = 0x0A0B0C0D; }, 1795 + 540 + 86,
         {0x0D, 0x0C, 0x0B, 0x0A}},
        {"MemoryWrap", [](C& c) { c.MemoryWrap = 1; }, 2435, {1}},
        {"WipeScans", [](C& c) { c.WipeScans = 0x0102; }, 2616, {0x02, 0x01}},
        {"WipeMinutes", [](C& c) { c.WipeMinutes = 15; }, 2618, {15, 0}},
        {"FormatVersion", [](C& c) { SetImageText(c.FormatVersion, "3.0"); }, 2620, {'3', '.', '0'}},
        {"ChannelSetup[1].DataVariationValue", [](C& c) { c.ChannelSetup[1].DataVariationValue = 0.5f; },
         2629 + 6 + 1, {0x00, 0x00, 0x00, 0x3F}},
        {"ChannelSetup[35].Precision", [](C& c) { c.ChannelSetup[35].Precision = 6; }, 2629 + 35 * 6 + 5, {6}},
        {"CRC", [](C& c) { c.CRC = 0xBEEF; }, 2847, {0xEF, 0xBE, 0x00, 0x00}},
    });
}

TEST(ImageLayout, CalibrationFieldsLieAtTheirOffsets)
{
    using C = CalibrationData;
    expectFieldsAtOffsets<C>({
        {"SensorName", [](C& c) { SetImageText(c.SensorName, "Weir"); }, 18, {'W', 'e', 'i', 'r'}},
        {"FactoryCalDate", [](C& c) { c.FactoryCalDate = Timestamp{24, 3, 14, 10, 30, 59}; }, 86,
         {24, 3, 14, 10, 30, 59}},
        {"FormatVersion", [](C& c) { SetImageText(c.FormatVersion, "2.9"); }, 92, {'2', '.', '9'}},
        {"SensorID", [](C& c) { SetImageText(c.SensorID, "QS1"); }, 102, {'Q', 'S', '1'}},
        {"CompensationCount", [](C& c) { c.CompensationCount = 60; }, 118, {60}},
        {"CompensationTable[1].Coeffs[0]", [](C& c) { c.CompensationTable[1].Coeffs[0] = 2.0f; }, 121 + 25,
         {0x00, 0x00, 0x00, 0x40}},
        {"CompensationTable[7].InputChannels[2]", [](C& c) { c.CompensationTable[7].InputChannels[2] = 4; },
         141 + 25 * 7 + 2, {4}},
        {"CompensationTable[90].Coeffs[4]", [](C& c) { c.CompensationTable[90].Coeffs[4] = 1.0f; },
         121 + 25 * 90 + 16, {0x00, 0x00, 0x80, 0x3F}},
        {"ChannelCount", [](C& c) { c.ChannelCount = 12; }, 2412, {12}},
        {"Channels[0].Enabled", [](C& c) { c.Channels[0].Enabled = 1; }, 2413, {1}},
        {"Channels[0].UnitsCode", [](C& c) { c.Channels[0].UnitsCode = ucUSCm; }, 2413 + 13, {53}},
        {"Channels[1].Name", [](C& c) { SetImageText(c.Channels[1].Name, "pH"); }, 2413 + 33 + 1, {'p', 'H'}},
        {"Channels[1].UnitsText", [](C& c) { SetImageText(c.Channels[1].UnitsText, "psu"); }, 2413 + 33 + 14,
         {'p', 's', 'u'}},
        {"Channels[2].SourceChannel", [](C& c) { c.Channels[2].SourceChannel = 36; }, 2413 + 66 + 26, {36}},
        {"Channels[2].CompensationListCount", [](C& c) { c.Channels[2].CompensationListCount = 5; },
         2413 + 66 + 27, {5}},
        {"Channels[35].CompensationNumbers[4]", [](C& c) { c.Channels[35].CompensationNumbers[4] = 90; },
         2413 + 35 * 33 + 32, {90}},
        {"CRC", [](C& c) { c.CRC = 0x1234; }, 3601, {0x34, 0x12, 0x00, 0x00}},
    });
}

TEST(ImageText, NeverReadsPastTheField)
{
    CalibrationData cal = zeroed<CalibrationData>();
    // An ID that fills its field, followed by a non-zero byte.
    std::memset(cal.SensorID, 'A', sizeof cal.SensorID);
    cal.CompensationCount = 'B';
    EXPECT_EQ(ImageText(cal.SensorID), std::string(16, 'A'));

    std::memcpy(cal.SensorName, "abc\0xyz", 7);
    EXPECT_EQ(ImageText(cal.SensorName), "abc");

    // Storing cuts to leave room for the zero and clears the rest.
    std::memset(cal.Channels[0].Name, 'x', sizeof cal.Channels[0].Name);
    cal.Channels[0].UnitsCode = 7;
    SetImageText(cal.Channels[0].Name, "Conductivity"); // 12 characters
    EXPECT_EQ(ImageText(cal.Channels[0].Name), "Conductivit");
    EXPECT_EQ(cal.Channels[0].Name[11], 0);
    EXPECT_EQ(cal.Channels[0].UnitsCode, 7);
    SetImageText(cal.Channels[0].Name, "pH");
    EXPECT_EQ(hexAt(reinterpret_cast<const uint8_t*>(cal.Channels[0].Name), 12), "70 48 00 00 00 00 00 00 00 00 00 00");
}

// --- files --------------------------------------------------------------------

// Both images go through the same file operations; the traits pick one.
struct ConfTraits {
    using Image = ConfigurationData;
    static constexpr size_t Size = 2853;
    static constexpr size_t CrcOffset = 2847;
    static bool write(TSensor_Quarn& s, Image* i, const std::string& f) { return s.WriteBinConf(i, f); }
    static bool read(TSensor_Quarn& s, const std::string& f, Image* i) { return s.ReadBinConf(f, i); }
    static Image realistic() { return standin::buildConfiguration(); }
};

struct CalTraits {
    using Image = CalibrationData;
    static constexpr size_t Size = 3607;
    static constexpr size_t CrcOffset = 3601;
    static bool write(TSensor_Quarn& s, Image* i, const std::string& f) { return s.WriteBinCal(i, f); }
    static bool read(TSensor_Quarn& s, const std::string& f, Image* i) { return s.ReadBinCal(f, i); }
    static Image realistic() { return standin::buildCalibration(); }
};

template <typename T>
class ImageFile : public SensorFixture {};

using ImageKinds = ::testing::Types<ConfTraits, CalTraits>;
TYPED_TEST_SUITE(ImageFile, ImageKinds);

TYPED_TEST(ImageFile, WriteSetsTheCrcAndReadGivesTheSameBytes)
{
    using T = TypeParam;
    typename T::Image image = T::realistic();
    image.CRC = 0xDEADBEEF; // stale
    const std::string file = this->path("image.bin");
    ASSERT_TRUE(T::write(*this->sensor, &image, file));

    const Bytes written = readFile(file);
    ASSERT_EQ(written.size(), T::Size);
    const uint32_t expectedCrc = standin::crc16(written.data(), T::CrcOffset);
    EXPECT_EQ(le32(written.data() + T::CrcOffset), expectedCrc);
    const uint32_t crcInMemory = image.CRC;
    EXPECT_EQ(crcInMemory, expectedCrc);
    EXPECT_EQ(std::memcmp(written.data(), bytesOf(image), T::Size), 0);

    auto back = patterned<typename T::Image>(3);
    ASSERT_TRUE(T::read(*this->sensor, file, &back));
    EXPECT_EQ(std::memcmp(bytesOf(back), bytesOf(image), T::Size), 0);
}

TYPED_TEST(ImageFile, UnknownBytesSurviveAReadWriteRoundTrip)
{
    using T = TypeParam;
    // Every byte set, none of them meaningful: all but the CRC must come back.
    const auto original = patterned<typename T::Image>(11);
    const Bytes source(bytesOf(original), bytesOf(original) + T::Size);
    const std::string in = this->path("in.bin");
    const std::string out = this->path("out.bin");
    writeFile(in, source);

    auto image = zeroed<typename T::Image>();
    ASSERT_TRUE(T::read(*this->sensor, in, &image));
    ASSERT_TRUE(T::write(*this->sensor, &image, out));
    const Bytes result = readFile(out);
    ASSERT_EQ(result.size(), T::Size);
    for (size_t i = 0; i < T::Size; ++i)
        if (i < T::CrcOffset || i >= T::CrcOffset + 4) {
            ASSERT_EQ(result[i], source[i]) << "byte " << i;
        }
    EXPECT_EQ(le32(result.data() + T::CrcOffset), standin::crc16(source.data(), T::CrcOffset));
}

TYPED_TEST(ImageFile, ShortLongEmptyAndMissingFiles)
{
    using T = TypeParam;
    using Image = typename T::Image;
    const auto before = patterned<Image>(1);
    const auto content = patterned<Image>(100);
    const Bytes full(bytesOf(content), bytesOf(content) + T::Size);

    struct Case {
        const char* what;
        std::function<std::string()> make; // the file to read
        bool ok;
        size_t replaced; // leading bytes taken from `full`
    };
    const Case cases[] = {
        {"100-byte file",
         [&] { const auto p = this->path("short.bin"); writeFile(p, Bytes(full.begin(), full.begin() + 100)); return p; },
         true, 100},
        {"one byte short",
         [&] { const auto p = this->path("short1.bin"); writeFile(p, Bytes(full.begin(), full.end() - 1)); return p; },
         true, T::Size - 1},
        {"oversized file",
         [&] {
             const auto p = this->path("long.bin");
             Bytes longer = full;
             longer.insert(longer.end(), 500, 0xEE);
             writeFile(p, longer);
             return p;
         },
         true, T::Size},
        {"empty file", [&] { const auto p = this->path("empty.bin"); writeFile(p, {}); return p; }, true, 0},
        {"missing file", [&] { return this->path("missing.bin"); }, false, 0},
        {"a folder", [&] { return this->dir.path().toStdString(); }, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Image image = before;
        EXPECT_EQ(T::read(*this->sensor, c.make(), &image), c.ok);
        const uint8_t* b = bytesOf(image);
        EXPECT_EQ(std::memcmp(b, full.data(), c.replaced), 0);
        EXPECT_EQ(std::memcmp(b + c.replaced, bytesOf(before) + c.replaced, T::Size - c.replaced), 0);
    }
}

TYPED_TEST(ImageFile, WriteFailuresAreReported)
{
    using T = TypeParam;
    auto image = T::realistic();
    EXPECT_FALSE(T::write(*this->sensor, &image, this->path("no-such-folder/image.bin")));
    if (QFile::exists(QStringLiteral("/dev/full"))) { // a disk that is always full
        EXPECT_FALSE(T::write(*this->sensor, &image, "/dev/full"));
    }
}

TYPED_TEST(ImageFile, FailedWriteKeepsTheFileItWasToReplace)
{
    // A backup is rewritten in place of the last one: a full disk must leave
    // the last one whole, and no half-written file beside it.
    using T = TypeParam;
    auto good = T::realistic();
    const std::string file = this->path("sensor.cal");
    ASSERT_TRUE(T::write(*this->sensor, &good, file));
    const Bytes before = readFile(file);
    ASSERT_EQ(before.size(), T::Size);

    auto other = patterned<typename T::Image>(9);
    {
        const testsupport::FileSizeLimit full(1000);
        EXPECT_FALSE(T::write(*this->sensor, &other, file));
    }
    EXPECT_EQ(readFile(file), before);
    EXPECT_EQ(QDir(this->dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"sensor.cal"});
}

// --- free schedule records ----------------------------------------------------

TEST_F(SensorFixture, ClearScheduleResetsTheRecordAndItsMethods)
{
    ConfigurationData& c = sensor->ConfData;
    std::memset(&c, 0xEE, sizeof c);
    const ConfigurationData before = c;
    sensor->ClearSchedule(3);

    const ScheduleSetupData& s = c.Schedules[3];
    EXPECT_EQ(s.Enabled, 0);
    EXPECT_EQ(s.InUse, 0);
    EXPECT_EQ(hexAt(reinterpret_cast<const uint8_t*>(s.Name), 15), standin::hex(Bytes(15, 0)));
    EXPECT_EQ(s.StartByTime, 1);
    EXPECT_EQ(s.StopByTime, 1);
    EXPECT_TRUE(sameStamp(s.StartTime, stamp(QDate::currentDate().year(), 1, 1)));
    EXPECT_TRUE(sameStamp(s.StopTime, stamp(2099, 1, 1)));
    EXPECT_EQ(+s.MaxScans, 0u);
    EXPECT_EQ(s.ChannelCount, 0);
    EXPECT_EQ(s.AuxList1Count, 0);
    EXPECT_EQ(s.AuxList2Count, 0);
    EXPECT_EQ(standin::hex(s.Channels, 25), standin::hex(Bytes(25, 0)));
    EXPECT_EQ(standin::hex(s.AuxList1, 6), standin::hex(Bytes(6, 0)));
    EXPECT_EQ(standin::hex(s.AuxList2, 4), standin::hex(Bytes(4, 0)));
    EXPECT_EQ(+s.ScanTime, 6000u);
    EXPECT_EQ(+s.AverageCount, 1);
    EXPECT_EQ(+s.AverageInterval, 0u);
    EXPECT_EQ(+s.RecordMultiple, 1u);
    // Bytes of the record this system does not interpret stay.
    EXPECT_EQ(s.Reserved31, 0xEE);
    EXPECT_EQ(s.Reserved74[0], 0xEE);
    EXPECT_EQ(s.Reserved74[1], 0xEE);

    for (int m : {3, 13}) {
        SCOPED_TRACE(m);
        EXPECT_EQ(standin::hex(bytesOf(c.Methods[m]), 9), "00 00 00 00 00 00 00 00 00");
    }
    // Nothing else changed: the other records and method entries, the tables.
    for (int r = 0; r < ScheduleRecordCount; ++r)
        if (r != 3) {
            EXPECT_EQ(std::memcmp(&c.Schedules[r], &before.Schedules[r], sizeof(ScheduleSetupData)), 0) << r;
        }
    for (int m = 0; m < MethodEntryCount; ++m)
        if (m != 3 && m != 13) {
            EXPECT_EQ(std::memcmp(&c.Methods[m], &before.Methods[m], sizeof(MethodSetupData)), 0) << m;
        }
    EXPECT_EQ(std::memcmp(c.Triggers, before.Triggers, sizeof c.Triggers), 0);
}

TEST_F(SensorFixture, ClearScheduleOfNoRecordChangesNothing)
{
    sensor->ConfData = standin::buildConfiguration();
    const ConfigurationData before = sensor->ConfData;
    for (int record : {-1, 7, 100}) {
        sensor->ClearSchedule(record);
        EXPECT_EQ(std::memcmp(&sensor->ConfData, &before, sizeof before), 0) << record;
    }
}

// --- format check and upgrade -------------------------------------------------

TEST_F(SensorFixture, FormatVersionDecidesTheUpgrade)
{
    struct Case {
        const char* version; // up to 8 characters, zero-padded
        bool current;
    };
    const Case cases[] = {
        {"2.9", false}, {"2", false},  {"0.5", false},   {"2.999999", false}, // the last fills the field
        {"3", true},    {"3.0", true}, {"3.10", true},   {"3.000000", true},  {"10", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        char field[8] = {};
        std::memcpy(field, c.version, std::strlen(c.version));

        sensor->ConfData = standin::buildConfiguration();
        std::memcpy(sensor->ConfData.FormatVersion, field, 8);
        const ConfigurationData conf = sensor->ConfData;
        EXPECT_EQ(sensor->verifyConfigFile(), c.current);

        sensor->CalData = standin::buildCalibration();
        std::memcpy(sensor->CalData.FormatVersion, field, 8);
        const CalibrationData cal = sensor->CalData;
        EXPECT_EQ(sensor->verifyCalFile(), c.current);

        if (c.current) {
            EXPECT_EQ(std::memcmp(&sensor->ConfData, &conf, sizeof conf), 0);
            EXPECT_EQ(std::memcmp(&sensor->CalData, &cal, sizeof cal), 0);
        } else {
            EXPECT_EQ(hexAt(reinterpret_cast<const uint8_t*>(sensor->ConfData.FormatVersion), 8),
                      "33 2E 30 00 00 00 00 00");
            EXPECT_EQ(hexAt(reinterpret_cast<const uint8_t*>(sensor->CalData.FormatVersion), 8),
                      "33 2E 30 00 00 00 00 00");
        }
    }
}

TEST_F(SensorFixture, VersionThatIsNoNumberRaisesTheConversionError)
{
    for (const char* version : {"", "V3", "3,0"}) {
        SCOPED_TRACE(version);
        sensor->ConfData = standin::buildConfiguration();
        SetImageText(sensor->ConfData.FormatVersion, version);
        EXPECT_THROW(sensor->verifyConfigFile(), EConvertError);
        sensor->CalData = standin::buildCalibration();
        SetImageText(sensor->CalData.FormatVersion, version);
        EXPECT_THROW(sensor->verifyCalFile(), EConvertError);
    }
}

TEST_F(SensorFixture, OldConfigurationImageIsUpgraded)
{
    ConfigurationData& c = sensor->ConfData;
    c = patterned<ConfigurationData>(5);
    SetImageText(c.FormatVersion, "2.9");
    const ConfigurationData old = c;

    EXPECT_FALSE(sensor->verifyConfigFile());

    EXPECT_EQ(c.Reserved51, 0);
    EXPECT_EQ(c.ScheduleCount, 2);
    const ScheduleSetupData& first = c.Schedules[1];
    EXPECT_EQ(first.Enabled, 1);
    EXPECT_EQ(first.InUse, 1);
    EXPECT_EQ(first.StartByTime, 1);
    EXPECT_EQ(first.StopByTime, 1);
    EXPECT_EQ(first.Name[14], 0);
    EXPECT_EQ(std::memcmp(first.Name, old.Schedules[1].Name, 14), 0);
    EXPECT_TRUE(sameStamp(first.StartTime, stamp(QDate::currentDate().year(), 1, 1)));
    EXPECT_TRUE(sameStamp(first.StopTime, stamp(2099, 1, 1)));
    EXPECT_EQ(+first.ScanTime, +old.Schedules[1].ScanTime) << "other fields of record 1 are kept";
    EXPECT_EQ(std::memcmp(first.Channels, old.Schedules[1].Channels, 25), 0);

    // Records 2 to 5 hold the defaults of a free record, as ClearSchedule makes them.
    TSensor_Quarn reference(nullptr);
    reference.ConfData = old;
    for (int r = 2; r <= 5; ++r)
        reference.ClearSchedule(r);
    for (int r = 2; r <= 5; ++r)
        EXPECT_EQ(std::memcmp(&c.Schedules[r], &reference.ConfData.Schedules[r], sizeof(ScheduleSetupData)), 0) << r;
    EXPECT_EQ(std::memcmp(&c.Schedules[0], &old.Schedules[0], sizeof(ScheduleSetupData)), 0);
    EXPECT_EQ(std::memcmp(&c.Schedules[6], &old.Schedules[6], sizeof(ScheduleSetupData)), 0);

    EXPECT_EQ(c.AuxTriggerCount, 0);
    for (const AuxTriggerSetupData& t : c.AuxTriggers)
        ASSERT_EQ(standin::hex(bytesOf(t), 12), "00 FF 00 00 00 00 00 00 00 00 FF 00");
    EXPECT_EQ(c.AuxMethodCount, 0);
    for (const AuxMethodSetupData& m : c.AuxMethods)
        ASSERT_EQ(standin::hex(bytesOf(m), 9), "00 00 00 00 00 00 00 05 00");
    EXPECT_EQ(c.TriggerCount, 0);
    EXPECT_EQ(c.MethodCount, 0);
    EXPECT_EQ(standin::hex(bytesOf(c.Triggers[0]), sizeof c.Triggers + sizeof c.MethodCount + sizeof c.Methods),
              standin::hex(Bytes(sizeof c.Triggers + 1 + sizeof c.Methods, 0)));

    // Untouched: what this system does not interpret, the channel set-up, the CRC field.
    EXPECT_EQ(std::memcmp(c.Reserved0, old.Reserved0, 51), 0);
    EXPECT_EQ(std::memcmp(c.Reserved76, old.Reserved76, sizeof c.Reserved76), 0);
    EXPECT_EQ(c.SamplerChannel, old.SamplerChannel);
    EXPECT_EQ(std::memcmp(bytesOf(c) + 2425, bytesOf(old) + 2425, 2620 - 2425), 0);
    EXPECT_EQ(std::memcmp(bytesOf(c) + 2628, bytesOf(old) + 2628, 2853 - 2628), 0);
}

TEST_F(SensorFixture, OldCalibrationImageIsUpgraded)
{
    CalibrationData& c = sensor->CalData;
    c = patterned<CalibrationData>(9);
    SetImageText(c.FormatVersion, "2.0");
    c.CompensationCount = 40;

    // Channel plans: unit, CompensationNumbers[1] and [3], whether the
    // coefficients are exchanged.
    struct Case {
        uint8_t channel;
        uint8_t unit;
        bool enabled;
        uint8_t userCal;
        uint8_t datum;
        bool exchanged;
    };
    const Case cases[] = {
        {0, ucMetres, true, 1, 2, true},
        {1, ucFeet, false, 3, 4, true}, // disabled, still exchanged
        {2, ucMBar, true, 5, 6, true},
        {3, ucKPa, true, 7, 7, false},  // the same record: nothing to exchange
        {4, ucCelsius, true, 8, 9, false},
        {5, ucUSCm, true, 10, 11, false},
        {6, ucPhCalChannel, true, 12, 13, false},
        {7, ucPsi, true, 14, 41, false}, // datum beyond the compensation count
        {8, ucBar, true, 0, 15, false},  // number 0 is no compensation
        {9, ucAtm, true, 16, 250, false}, // beyond the table
    };
    // Every other channel record gets a unit of no family.
    for (CalChannelData& ch : c.Channels)
        ch.UnitsCode = ucNone;
    for (const Case& k : cases) {
        CalChannelData& ch = c.Channels[k.channel];
        ch.UnitsCode = k.unit;
        ch.Enabled = k.enabled;
        ch.CompensationNumbers[1] = k.userCal;
        ch.CompensationNumbers[3] = k.datum;
    }
    const CalibrationData old = c;

    EXPECT_FALSE(sensor->verifyCalFile());

    const auto coeffBytes = [](const CalibrationData& cal, int n) {
        return standin::hex(bytesOf(cal.CompensationTable[n]) + 2, 20);
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(int(k.channel));
        if (k.exchanged) {
            EXPECT_EQ(coeffBytes(c, k.userCal), coeffBytes(old, k.datum));
            EXPECT_EQ(coeffBytes(c, k.datum), coeffBytes(old, k.userCal));
        } else {
            if (k.userCal >= 1 && k.userCal <= 40) {
                EXPECT_EQ(coeffBytes(c, k.userCal), coeffBytes(old, k.userCal));
            }
            if (k.datum >= 1 && k.datum <= 40) {
                EXPECT_EQ(coeffBytes(c, k.datum), coeffBytes(old, k.datum));
            }
        }
    }

    // Terminating zeros where older images may lack them, and nothing else
    // changed around them.
    std::vector<size_t> zeros = {17,   47,   77,   85,   117,  1531, 1545, 1559, 1576,
                                 1707, 1838, 1969, 2100, 2231, 2363, 2378, 2393, 2408};
    for (size_t ch = 0; ch < 36; ++ch) {
        zeros.push_back(2413 + 33 * ch + 12);
        zeros.push_back(2413 + 33 * ch + 25);
    }
    std::vector<bool> isZero(sizeof c, false);
    for (size_t z : zeros) {
        EXPECT_EQ(bytesOf(c)[z], 0) << "offset " << z;
        isZero[z] = true;
    }
    EXPECT_EQ(hexAt(reinterpret_cast<const uint8_t*>(c.FormatVersion), 8), "33 2E 30 00 00 00 00 00");
    // The coefficients of the exchanged records aside, every other byte is as it was.
    std::vector<bool> exchanged(sizeof c, false);
    for (const Case& k : cases)
        if (k.exchanged)
            for (size_t n : {k.userCal, k.datum})
                for (size_t i = 0; i < 20; ++i)
                    exchanged[121 + 25 * n + i] = true;
    for (size_t i = 0; i < sizeof c; ++i) {
        if (isZero[i] || exchanged[i] || (i >= 92 && i < 100))
            continue;
        ASSERT_EQ(bytesOf(c)[i], bytesOf(old)[i]) << "offset " << i;
    }
}

TEST_F(SensorFixture, UpgradedImageIsWrittenWithAFreshCrc)
{
    sensor->ConfData = standin::buildConfiguration();
    SetImageText(sensor->ConfData.FormatVersion, "2.5");
    const uint32_t oldCrc = sensor->ConfData.CRC;
    ASSERT_FALSE(sensor->verifyConfigFile());
    EXPECT_EQ(+sensor->ConfData.CRC, oldCrc) << "the check leaves the CRC to the write";
    const std::string file = path("Conf.bin");
    ASSERT_TRUE(sensor->WriteBinConf(&sensor->ConfData, file));
    const Bytes written = readFile(file);
    ASSERT_EQ(written.size(), 2853u);
    EXPECT_EQ(le32(written.data() + 2847), standin::crc16(written.data(), 2847));
    EXPECT_NE(le32(written.data() + 2847), oldCrc);
}

// --- pressure datum -----------------------------------------------------------

TEST_F(SensorFixture, DatumIsTheDatumCompensationRecordOfTheChannel)
{
    sensor->CalData = standin::buildCalibration();
    const uint8_t depth = standin::channels::Depth;
    const int number = sensor->CalData.Channels[depth].CompensationNumbers[3];

    const float datum[5] = {-1.25f, 1.0f, 0.5f, 0.0f, 2.0f};
    ASSERT_TRUE(sensor->SetPressureChannelDatum(depth, datum));
    EXPECT_EQ(hexAt(bytesOf(sensor->CalData) + 121 + 25 * number, 20),
              "00 00 A0 BF 00 00 80 3F 00 00 00 3F 00 00 00 00 00 00 00 40");
    float back[5] = {};
    ASSERT_TRUE(sensor->GetPressureChannelDatum(depth, back));
    EXPECT_EQ(std::memcmp(back, datum, sizeof back), 0);
}

TEST_F(SensorFixture, DatumOfNoValidRecordTouchesNothing)
{
    sensor->CalData = standin::buildCalibration();
    CalChannelData& ch = sensor->CalData.Channels[standin::channels::Depth];
    struct Case {
        const char* what;
        uint16_t channel;
        int datumNumber; // -1: as built
        int compensationCount;
    };
    const Case cases[] = {
        {"channel 36", 36, -1, -1},
        {"channel 65535", 65535, -1, -1},
        {"compensation number 0", standin::channels::Depth, 0, -1},
        {"number beyond the count", standin::channels::Depth, 30, 20},
        {"number beyond the table", standin::channels::Depth, 91, 255},
        {"number 255", standin::channels::Depth, 255, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sensor->CalData = standin::buildCalibration();
        if (c.datumNumber >= 0)
            ch.CompensationNumbers[3] = static_cast<uint8_t>(c.datumNumber);
        if (c.compensationCount >= 0)
            sensor->CalData.CompensationCount = static_cast<uint8_t>(c.compensationCount);
        const CalibrationData before = sensor->CalData;
        const float datum[5] = {1, 2, 3, 4, 5};
        EXPECT_FALSE(sensor->SetPressureChannelDatum(c.channel, datum));
        float out[5] = {9, 9, 9, 9, 9};
        EXPECT_FALSE(sensor->GetPressureChannelDatum(c.channel, out));
        EXPECT_EQ(out[0], 9.0f);
        EXPECT_EQ(std::memcmp(&sensor->CalData, &before, sizeof before), 0);
    }
}

// --- the stand-in's images ----------------------------------------------------

TEST_F(SensorFixture, StandinHoldsAConsistentCurrentPairOfImages)
{
    standin::Standin logger;
    const standin::SensorImages images = logger.images();
    const ConfigurationData built = standin::buildConfiguration();
    EXPECT_EQ(std::memcmp(&images.conf, &built, sizeof built), 0);

    // As a logger sends them: a valid CRC and the current format.
    EXPECT_EQ(+images.conf.CRC, standin::crc16(bytesOf(images.conf), 2847));
    EXPECT_EQ(+images.cal.CRC, standin::crc16(bytesOf(images.cal), 3601));
    sensor->ConfData = images.conf;
    sensor->CalData = images.cal;
    EXPECT_TRUE(sensor->verifyConfigFile());
    EXPECT_TRUE(sensor->verifyCalFile());
    EXPECT_EQ(ImageText(images.cal.SensorID), "QS104217");

    // Channel records agree with the unit tables and reach only valid compensation records.
    const CalibrationData& cal = images.cal;
    for (int n = 0; n < cal.ChannelCount; ++n) {
        const CalChannelData& ch = cal.Channels[n];
        SCOPED_TRACE(ImageText(ch.Name));
        if (ch.UnitsCode < ucFirstCalChannel) {
            EXPECT_EQ(ImageText(ch.UnitsText), TSensor_Quarn::GetDefaultUnitsString(ch.UnitsCode));
        }
        for (int k = 0; k < 5; ++k)
            EXPECT_TRUE(ch.CompensationNumbers[k] >= 1 && ch.CompensationNumbers[k] <= cal.CompensationCount);
    }
    // Schedules name existing channels; the trigger channel is measured by a
    // schedule started by time.
    const ConfigurationData& conf = images.conf;
    for (int r = 0; r < conf.ScheduleCount; ++r)
        for (int i = 0; i < conf.Schedules[r].ChannelCount; ++i)
            EXPECT_LT(conf.Schedules[r].Channels[i], cal.ChannelCount) << "record " << r;
    const uint8_t triggerChannel = conf.Triggers[conf.Methods[2].TriggerNumbers[0]].Channel;
    const ScheduleSetupData& hourly = conf.Schedules[1];
    EXPECT_EQ(hourly.StartByTime, 1);
    EXPECT_NE(std::find(hourly.Channels, hourly.Channels + hourly.ChannelCount, triggerChannel),
              hourly.Channels + hourly.ChannelCount);

    // Tests may give the stand-in other images.
    standin::SensorImages changed = images;
    SetImageText(changed.cal.SensorID, "OTHER");
    logger.setImages(changed);
    EXPECT_EQ(ImageText(logger.images().cal.SensorID), "OTHER");
}
