// Unit conversions: every unit code into its family's base unit and back,
// the units-conversion record a channel's unit keeps its coefficients in, and
// the coefficients written there, byte for byte in the stand-in's image.
#include "Unitsconversion.h"

#include "ImageBuilder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// One code: its conversions of 10 units, the slot look-up and the
// coefficients (offset, scale) written for it.
struct Unit {
    int code;
    double toBase;   // ToBaseUnit(10, code)
    double fromBase; // FromBaseUnit(10, code)
    bool slot;
    bool coefficients;
    float offset;
    float scale;
};

const Unit Units[] = {
    // depth, level and pressure: metres of water
    {0, 10, 10, true, true, 0, 1},
    {1, 10 / 3.2808, 10 * 3.2808, true, true, 0, 3.2808399f},
    {2, 10 / 100.0, 10 * 100.0, true, true, 0, 100},
    {3, 10 / 1000.0, 10 * 1000.0, true, true, 0, 1000},
    {4, 10 / 0.0978903, 10 * 0.0978903, true, true, 0, 0.0978903f},
    {5, 10 / 97.8903, 10 * 97.8903, true, true, 0, 97.8903f},
    {6, 10 / 0.09982033, 10 * 0.09982033, true, true, 0, 0.09982033f},
    {7, 10 / 1.41978, 10 * 1.41978, true, true, 0, 1.41978f},
    {8, 10 / 0.09661, 10 * 0.09661, true, true, 0, 0.09661f},
    {9, 10 / 2.890703, 10 * 2.890703, true, true, 0, 2.890703f},
    {10, 10 / 73.42385, 10 * 73.42385, true, true, 0, 73.42385f},
    {11, 10 / 9789.03, 10 * 9789.03, true, true, 0, 9789.03f},
    {12, 10 / 73.423762269, 10 * 73.423762269, true, true, 0, 73.423762269f},
    {13, 10 / 9.78903, 10 * 9.78903, true, true, 0, 9.78903f},
    // temperature: Celsius
    {20, 10, 10, true, true, 0, 1},
    {21, (10 - 32) * 5 / 9.0, 10 * 9 / 5.0 + 32, true, true, 32, 1.8f},
    {22, 10 - 273.15, 10 + 273.15, false, false, 0, 0},
    {23, (10 - 32 - 459.67) * 5 / 9, 10 * 9 / 5.0 + 32 + 459.67, false, false, 0, 0},
    // voltage: Volts
    {28, 10, 10, true, true, 0, 1},
    {29, 10 / 1000.0, 10 * 1000.0, true, true, 0, 1000},
    // their own base
    {31, 10, 10, false, true, 0, 1},
    {33, 10, 10, false, true, 0, 1},
    {38, 10, 10, false, true, 0, 1},
    {39, 10, 10, false, true, 0, 1},
    {40, 10, 10, false, true, 0, 1},
    {45, 10, 10, false, true, 0, 1},
    // suspended solids: a slot, but no coefficients
    {46, 10, 10, true, false, 0, 0},
    {47, 10, 10, true, false, 0, 0},
    // conductivity: uS/cm, and the unnamed factors
    {51, 10 * 1000000.0, 10 * 0.000001, false, true, 0, 0.000001f},
    {52, 10 * 1000.0, 10 * 0.001, false, true, 0, 0.001f},
    {53, 10, 10, true, true, 0, 1},
    {54, 10 / 0.67, 10 * 0.67, false, true, 0, 0.67f},
    {55, 10 / 0.04, 10 * 0.04, false, true, 0, 0.04f},
    {56, 10 / 0.67, 10 * 0.67, false, true, 0, 0.67f},
    {57, 10 / 670.0, 10 * 670.0, false, true, 0, 670},
    {59, 10, 10, false, true, 0, 1},
    // salinity: psu
    {60, 10, 10, true, true, 0, 1},
    {61, 10 / 1000.0, 10 * 1000.0, true, true, 0, 1000},
    {62, 10 / 1000.0, 10 * 1000.0, true, true, 0, 1000},
    {63, 10, 10, true, true, 0, 1},
    {65, 0, 0, false, true, 0, 1},
    {66, 0, 0, false, true, 0, 2.54f},
    {67, 10, 10, false, true, 0, 1},
};

bool listed(int code)
{
    for (const Unit& u : Units)
        if (u.code == code)
            return true;
    return false;
}

TEST(UnitsConversion, EveryCodeToItsBaseAndBack)
{
    for (const Unit& u : Units) {
        SCOPED_TRACE("code " + std::to_string(u.code));
        const auto code = static_cast<uint8_t>(u.code);
        EXPECT_DOUBLE_EQ(ToBaseUnit(10, code), u.toBase);
        EXPECT_DOUBLE_EQ(FromBaseUnit(10, code), u.fromBase);
        if (u.code != 65 && u.code != 66) {
            EXPECT_NEAR(FromBaseUnit(ToBaseUnit(10, code), code), 10, 1e-9);
        }
    }
}

TEST(UnitsConversion, CodesWithoutAConversionGiveZero)
{
    for (int code = 0; code < 256; ++code) {
        if (listed(code))
            continue;
        SCOPED_TRACE("code " + std::to_string(code));
        EXPECT_EQ(ToBaseUnit(5, static_cast<uint8_t>(code)), 0.0);
        EXPECT_EQ(FromBaseUnit(5, static_cast<uint8_t>(code)), 0.0);
    }
    EXPECT_EQ(ToBaseUnit(5, 65), 0.0);
    EXPECT_EQ(ToBaseUnit(5, 14), 0.0);
}

TEST(UnitsConversion, KnownValues)
{
    EXPECT_DOUBLE_EQ(ToBaseUnit(1, 1), 0.30480370641306998);
    EXPECT_DOUBLE_EQ(FromBaseUnit(ToBaseUnit(1, 1), 1), 1.0);
    EXPECT_EQ(ToBaseUnit(100, 53), 100.0);
    EXPECT_DOUBLE_EQ(FromBaseUnit(100, 52), 0.1);
    EXPECT_DOUBLE_EQ(ToBaseUnit(0.1, 52), 100.0);
    EXPECT_DOUBLE_EQ(ToBaseUnit(212, 21), 100.0);
    EXPECT_NEAR(ToBaseUnit(671.67, 23), 100.0, 1e-12);
    EXPECT_DOUBLE_EQ(FromBaseUnit(100, 23), 671.67);
    EXPECT_DOUBLE_EQ(FromBaseUnit(0, 22), 273.15);
    // Feet: the coefficient written is not the conversions' factor.
    EXPECT_DOUBLE_EQ(FromBaseUnit(1, ucFeet), 3.2808);
    CalibrationData cal = standin::buildCalibration();
    const int record = cal.Channels[standin::channels::Depth].CompensationNumbers[4];
    SetUnitCoefficients(&cal, record, ucFeet);
    float scale = 0;
    std::memcpy(&scale, &cal.CompensationTable[record].Coeffs[1], sizeof scale);
    EXPECT_EQ(scale, 3.2808399f);
    EXPECT_NE(scale, float(FromBaseUnit(1, ucFeet)));
}

class UnitCoefficients : public ::testing::Test {
protected:
    CalibrationData cal = standin::buildCalibration();
    const CalibrationData before = cal;

    std::vector<size_t> changedBytes() const
    {
        std::vector<size_t> changed;
        const auto* a = reinterpret_cast<const uint8_t*>(&cal);
        const auto* b = reinterpret_cast<const uint8_t*>(&before);
        for (size_t i = 0; i < sizeof cal; ++i)
            if (a[i] != b[i])
                changed.push_back(i);
        return changed;
    }
};

TEST_F(UnitCoefficients, SlotIsTheChannelsUnitsRecordForUnitsThatKeepCoefficients)
{
    const int channel = standin::channels::Pressure;
    const int record = cal.Channels[channel].CompensationNumbers[4];
    for (int code = 0; code < 256; ++code) {
        SCOPED_TRACE("code " + std::to_string(code));
        bool slot = false;
        for (const Unit& u : Units)
            if (u.code == code)
                slot = u.slot;
        EXPECT_EQ(GetUnitCoefficientSlot(&cal, channel, static_cast<uint8_t>(code)), slot ? record : -1);
    }
    EXPECT_EQ(GetUnitCoefficientSlot(&cal, channel, ucKelvin), -1);
    EXPECT_EQ(GetUnitCoefficientSlot(&cal, channel, ucPH), -1);
    EXPECT_EQ(GetUnitCoefficientSlot(&cal, channel, ucMSCm), -1);
    // A channel outside the image has no record.
    EXPECT_EQ(GetUnitCoefficientSlot(&cal, -1, ucMetres), -1);
    EXPECT_EQ(GetUnitCoefficientSlot(&cal, 36, ucMetres), -1);
}

TEST_F(UnitCoefficients, WritesOffsetAndScaleOfTheUnitAndNothingElse)
{
    const int record = cal.Channels[standin::channels::Depth].CompensationNumbers[4];
    for (const Unit& u : Units) {
        SCOPED_TRACE("code " + std::to_string(u.code));
        cal = before;
        SetUnitCoefficients(&cal, record, static_cast<uint8_t>(u.code));
        CalibrationData expected = before;
        if (u.coefficients) {
            expected.CompensationTable[record].Coeffs[0] = u.offset;
            expected.CompensationTable[record].Coeffs[1] = u.scale;
        }
        EXPECT_EQ(std::memcmp(&cal, &expected, sizeof cal), 0);
        // Scale 1 and offset 0 leave an identity record as it was.
        if (u.coefficients && (u.offset != 0 || u.scale != 1)) {
            EXPECT_FALSE(changedBytes().empty());
        }
    }
}

TEST_F(UnitCoefficients, InvalidRecordNumbersChangeNoByte)
{
    cal.CompensationCount = 100; // more than the table holds
    const CalibrationData bogus = cal;
    for (int record : {-1, 0, 91, 100, 255, 65535}) {
        SCOPED_TRACE("record " + std::to_string(record));
        SetUnitCoefficients(&cal, record, ucFeet);
        EXPECT_EQ(std::memcmp(&cal, &bogus, sizeof cal), 0);
    }
    cal = before;
    const int beyondCount = before.CompensationCount + 1;
    SetUnitCoefficients(&cal, beyondCount, ucFeet);
    EXPECT_TRUE(changedBytes().empty());
    SetUnitCoefficients(&cal, GetUnitCoefficientSlot(&cal, 0, ucKelvin), ucFeet);
    EXPECT_TRUE(changedBytes().empty());
}

TEST_F(UnitCoefficients, FeetCoefficientsLandAtTheRecordsOffsets)
{
    const int record = cal.Channels[standin::channels::Depth].CompensationNumbers[4];
    SetUnitCoefficients(&cal, record, ucFeet);
    const size_t scale = 121 + 25 * size_t(record) + 4;
    std::vector<size_t> expected;
    float f = 3.2808399f;
    uint8_t bytes[4];
    std::memcpy(bytes, &f, 4);
    const auto* old = reinterpret_cast<const uint8_t*>(&before);
    for (size_t i = 0; i < 4; ++i)
        if (old[scale + i] != bytes[i])
            expected.push_back(scale + i);
    EXPECT_EQ(changedBytes(), expected);
    EXPECT_EQ(std::memcmp(reinterpret_cast<const uint8_t*>(&cal) + scale, bytes, 4), 0);
}

} // namespace
