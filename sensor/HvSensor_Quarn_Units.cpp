// The fixed tables over a channel's unit code: default text, family (base
// unit type), the texts a family offers, and text back to code.
#include "SensorImageModel.h"

#include <cstddef>

namespace {

struct UnitEntry {
    uint8_t code;
    const char* text;
    uint8_t baseType;
};

// Codes with a text, in the order the reverse look-up tries them: the first
// of equal texts wins, so "mg/l" is always 46 and "ppm" always 47.
constexpr UnitEntry Units[] = {
    {ucMetres, "Metres", 0},
    {ucFeet, "Feet", 0},
    {ucCm, "cm", 0},
    {ucMm, "mm", 0},
    {ucBar, "Bar", 0},
    {ucMBar, "mBar", 0},
    {ucKgCm2, "Kg/cm2", 0},
    {ucPsi, "psi", 0},
    {ucAtm, "atm", 0},
    {ucInHg, "inHg", 0},
    {ucMmHg, "mmHg", 0},
    {ucPa, "Pa", 0},
    {ucTorr, "Torr", 0},
    {ucKPa, "KPa", 0},
    {ucCelsius, "Celsius", 20},
    {ucFahrenheit, "Fahrenheit", 20},
    {ucKelvin, "Kelvin", 20},
    {ucRankin, "Rankin", 20},
    {ucVolts, "Volts", 28},
    {ucMV, "mV", 28},
    {ucPH, "pH", 31},
    {ucMVolt, "mVolt", 33},
    {ucDoPercentSat, "DO %sat", 38},
    {ucDoMgL, "DO mg/l", 39},
    {ucDoPpm, "DO ppm", 40},
    {ucNtu, "NTU", 45},
    {ucTssMgL, "mg/l", 46},
    {ucTssPpm, "ppm", 46},
    {ucUSCm, "uS/cm", 53},
    {ucMSCm, "mS/cm", 53},
    {ucTdsMgL, "mg/l", 59},
    {ucSalinityPsu, "psu", 60},
    {ucSalinityMgL, "mg/l", 61},
    {ucSalinityPpm, "ppm", 62},
    {ucSalinityPpt, "ppt", 63},
    {ucSaUl, "SA ul", 67},
};

const UnitEntry* entryOf(uint8_t code)
{
    for (const UnitEntry& e : Units)
        if (e.code == code)
            return &e;
    return nullptr;
}

struct FamilyList {
    uint8_t baseType;
    const char* texts[14]; // up to the first null
};

// The texts each family offers, base unit first.
constexpr FamilyList Families[] = {
    {0, {"Metres", "Feet", "cm", "mm", "Bar", "mBar", "Kg/cm2", "psi", "atm", "inHg", "mmHg", "Pa", "Torr", "KPa"}},
    {20, {"Celsius", "Fahrenheit", "Kelvin", "Rankin"}},
    {28, {"Volts", "mV"}},
    {31, {"pH"}},
    {33, {"mVolt"}},
    {38, {"DO %sat"}},
    {39, {"DO mg/l"}},
    {40, {"DO ppm"}},
    {45, {"NTU"}},
    {46, {"mg/l"}},
    {47, {"ppm"}},
    {53, {"uS/cm", "mS/cm"}},
    {59, {"mg/l"}},
    {60, {"psu", "mg/l", "ppm", "ppt", "SA ul"}},
};

} // namespace

uint8_t TSensorImageModel::GetBaseUnitType(uint8_t code)
{
    const UnitEntry* e = entryOf(code);
    return e ? e->baseType : static_cast<uint8_t>(ucNone);
}

std::string TSensorImageModel::GetDefaultUnitsString(uint8_t code)
{
    const UnitEntry* e = entryOf(code);
    return e ? e->text : std::string();
}

void TSensorImageModel::GetDefaultUnitsStringList(uint8_t baseType, std::vector<std::string>& list)
{
    list.clear();
    for (const FamilyList& f : Families)
        if (f.baseType == baseType)
            for (const char* text : f.texts)
                if (text)
                    list.emplace_back(text);
}

uint8_t TSensorImageModel::GetUnitTypeFromString(const std::string& text)
{
    for (const UnitEntry& e : Units)
        if (text == e.text)
            return e.code;
    return ucNone;
}
