// The unit tables, checked as tables: every code's text and family, every
// family's list, and every text back to its code.
#include "HvSensor_Quarn.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

struct CodeRow {
    int code;
    const char* text;
    int baseType;
};

// Every code with a text or a family; all others have neither (text empty,
// family 255).
const CodeRow CodeTable[] = {
    {0, "Metres", 0},      {1, "Feet", 0},        {2, "cm", 0},         {3, "mm", 0},
    {4, "Bar", 0},         {5, "mBar", 0},        {6, "Kg/cm2", 0},     {7, "psi", 0},
    {8, "atm", 0},         {9, "inHg", 0},        {10, "mmHg", 0},      {11, "Pa", 0},
    {12, "Torr", 0},       {13, "KPa", 0},        {20, "Celsius", 20},  {21, "Fahrenheit", 20},
    {22, "Kelvin", 20},    {23, "Rankin", 20},    {28, "Volts", 28},    {29, "mV", 28},
    {31, "pH", 31},        {33, "mVolt", 33},     {38, "DO %sat", 38},  {39, "DO mg/l", 39},
    {40, "DO ppm", 40},    {45, "NTU", 45},       {46, "mg/l", 46},     {47, "ppm", 46},
    {52, "mS/cm", 53},     {53, "uS/cm", 53},     {59, "mg/l", 59},     {60, "psu", 60},
    {61, "mg/l", 61},      {62, "ppm", 62},       {63, "ppt", 63},      {67, "SA ul", 67},
};

} // namespace

TEST(UnitTables, EveryCodeHasItsTextAndFamily)
{
    std::map<int, CodeRow> known;
    for (const CodeRow& row : CodeTable)
        known[row.code] = row;
    for (int code = 0; code <= 255; ++code) {
        SCOPED_TRACE(code);
        const auto it = known.find(code);
        const std::string text = it != known.end() ? it->second.text : "";
        const int baseType = it != known.end() ? it->second.baseType : 255;
        EXPECT_EQ(TSensor_Quarn::GetDefaultUnitsString(static_cast<uint8_t>(code)), text);
        EXPECT_EQ(TSensor_Quarn::GetBaseUnitType(static_cast<uint8_t>(code)), baseType);
    }
    // The named codes of no family: the unnamed ones, the calibration channel kinds, none.
    for (uint8_t code : {ucUnnamed51, ucUnnamed54, ucUnnamed57, ucUnnamed65, ucUnnamed66, ucFirstCalChannel,
                         ucPhCalChannel, ucOdoCalChannel, ucLastCalChannel, ucNone}) {
        SCOPED_TRACE(int(code));
        EXPECT_EQ(TSensor_Quarn::GetDefaultUnitsString(code), "");
        EXPECT_EQ(TSensor_Quarn::GetBaseUnitType(code), 255);
    }
}

TEST(UnitTables, EveryFamilyOffersItsList)
{
    const std::map<int, std::vector<std::string>> lists = {
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
    for (int baseType = 0; baseType <= 255; ++baseType) {
        SCOPED_TRACE(baseType);
        // The list is replaced, not appended to.
        std::vector<std::string> list = {"stale"};
        TSensor_Quarn::GetDefaultUnitsStringList(static_cast<uint8_t>(baseType), list);
        const auto it = lists.find(baseType);
        EXPECT_EQ(list, it != lists.end() ? it->second : std::vector<std::string>{});
    }
}

TEST(UnitTables, EveryTextGivesItsCode)
{
    // The first code of equal texts wins.
    const std::map<std::string, int> codes = {
        {"Metres", 0},  {"Feet", 1},        {"cm", 2},       {"mm", 3},         {"Bar", 4},      {"mBar", 5},
        {"Kg/cm2", 6},  {"psi", 7},         {"atm", 8},      {"inHg", 9},       {"mmHg", 10},    {"Pa", 11},
        {"Torr", 12},   {"KPa", 13},        {"Celsius", 20}, {"Fahrenheit", 21}, {"Kelvin", 22}, {"Rankin", 23},
        {"Volts", 28},  {"mV", 29},         {"pH", 31},      {"mVolt", 33},     {"DO %sat", 38}, {"DO mg/l", 39},
        {"DO ppm", 40}, {"NTU", 45},        {"mg/l", 46},    {"ppm", 47},       {"uS/cm", 53},   {"mS/cm", 52},
        {"psu", 60},    {"ppt", 63},        {"SA ul", 67},
    };
    for (const auto& [text, code] : codes) {
        SCOPED_TRACE(text);
        EXPECT_EQ(TSensor_Quarn::GetUnitTypeFromString(text), code);
    }
    // Every text a code or a list offers is among them.
    for (const CodeRow& row : CodeTable)
        EXPECT_EQ(codes.count(row.text), 1u) << row.text;
}

TEST(UnitTables, UnknownTextGivesNoUnit)
{
    for (const char* text : {"", "metres", "METRES", "Metres ", " Metres", "mg/L", "Meters", "Metres\xE9"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(TSensor_Quarn::GetUnitTypeFromString(text), ucNone);
    }
}
