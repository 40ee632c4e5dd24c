#include "Unitsconversion.h"

namespace {

// Division by a unit's factor: multiplication by its reciprocal, taken at
// extended precision.
double divide(double value, long double factor)
{
    return static_cast<double>(static_cast<long double>(value) * (1.0L / factor));
}

struct Coefficients {
    bool present;
    float offset;
    float scale;
};

Coefficients coefficientsOf(uint8_t code)
{
    switch (code) {
    case ucMetres: return {true, 0.0f, 1.0f};
    case ucFeet: return {true, 0.0f, 3.2808399f};
    case ucCm: return {true, 0.0f, 100.0f};
    case ucMm: return {true, 0.0f, 1000.0f};
    case ucBar: return {true, 0.0f, 0.0978903f};
    case ucMBar: return {true, 0.0f, 97.8903f};
    case ucKgCm2: return {true, 0.0f, 0.09982033f};
    case ucPsi: return {true, 0.0f, 1.41978f};
    case ucAtm: return {true, 0.0f, 0.09661f};
    case ucInHg: return {true, 0.0f, 2.890703f};
    case ucMmHg: return {true, 0.0f, 73.42385f};
    case ucPa: return {true, 0.0f, 9789.03f};
    case ucTorr: return {true, 0.0f, 73.423762269f};
    case ucKPa: return {true, 0.0f, 9.78903f};
    case ucCelsius: return {true, 0.0f, 1.0f};
    case ucFahrenheit: return {true, 32.0f, 1.8f};
    case ucVolts: return {true, 0.0f, 1.0f};
    case ucMV: return {true, 0.0f, 1000.0f};
    case ucPH:
    case ucMVolt:
    case ucDoPercentSat:
    case ucDoMgL:
    case ucDoPpm:
    case ucNtu: return {true, 0.0f, 1.0f};
    case ucUnnamed51: return {true, 0.0f, 0.000001f};
    case ucMSCm: return {true, 0.0f, 0.001f};
    case ucUSCm: return {true, 0.0f, 1.0f};
    case ucUnnamed54:
    case ucUnnamed56: return {true, 0.0f, 0.67f};
    case ucUnnamed55: return {true, 0.0f, 0.04f};
    case ucUnnamed57: return {true, 0.0f, 670.0f};
    case ucTdsMgL: return {true, 0.0f, 1.0f};
    case ucSalinityPsu: return {true, 0.0f, 1.0f};
    case ucSalinityMgL:
    case ucSalinityPpm: return {true, 0.0f, 1000.0f};
    case ucSalinityPpt: return {true, 0.0f, 1.0f};
    case ucUnnamed65: return {true, 0.0f, 1.0f};
    case ucUnnamed66: return {true, 0.0f, 2.54f};
    case ucSaUl: return {true, 0.0f, 1.0f};
    default: return {false, 0.0f, 0.0f}; // Kelvin, Rankin, 46, 47 and codes without a unit
    }
}

} // namespace

double ToBaseUnit(double value, uint8_t code)
{
    switch (code) {
    case ucMetres: return value;
    case ucFeet: return divide(value, 3.2808L);
    case ucCm: return divide(value, 100.0L);
    case ucMm: return divide(value, 1000.0L);
    case ucBar: return divide(value, 0.0978903L);
    case ucMBar: return divide(value, 97.8903L);
    case ucKgCm2: return divide(value, 0.09982033L);
    case ucPsi: return divide(value, 1.41978L);
    case ucAtm: return divide(value, 0.09661L);
    case ucInHg: return divide(value, 2.890703L);
    case ucMmHg: return divide(value, 73.42385L);
    case ucPa: return divide(value, 9789.03L);
    case ucTorr: return divide(value, 73.423762269L);
    case ucKPa: return divide(value, 9.78903L);
    case ucCelsius: return value;
    case ucFahrenheit: return (value - 32.0) * 5.0 / 9.0;
    case ucKelvin: return value - 273.15;
    case ucRankin: return (value - 32.0 - 459.67) * 5.0 / 9.0;
    case ucVolts: return value;
    case ucMV: return divide(value, 1000.0L);
    case ucPH:
    case ucMVolt:
    case ucDoPercentSat:
    case ucDoMgL:
    case ucDoPpm:
    case ucNtu:
    case ucTssMgL:
    case ucTssPpm: return value;
    case ucUnnamed51: return value * 1000000.0;
    case ucMSCm: return value * 1000.0;
    case ucUSCm: return value;
    case ucUnnamed54:
    case ucUnnamed56: return divide(value, 0.67L);
    case ucUnnamed55: return divide(value, 0.04L);
    case ucUnnamed57: return divide(value, 670.0L);
    case ucTdsMgL:
    case ucSalinityPsu: return value;
    case ucSalinityMgL:
    case ucSalinityPpm: return divide(value, 1000.0L);
    case ucSalinityPpt: return value;
    case ucUnnamed65:
    case ucUnnamed66: return 0.0;
    case ucSaUl: return value;
    default: return 0.0;
    }
}

double FromBaseUnit(double value, uint8_t code)
{
    switch (code) {
    case ucMetres: return value;
    case ucFeet: return value * 3.2808;
    case ucCm: return value * 100.0;
    case ucMm: return value * 1000.0;
    case ucBar: return value * 0.0978903;
    case ucMBar: return value * 97.8903;
    case ucKgCm2: return value * 0.09982033;
    case ucPsi: return value * 1.41978;
    case ucAtm: return value * 0.09661;
    case ucInHg: return value * 2.890703;
    case ucMmHg: return value * 73.42385;
    case ucPa: return value * 9789.03;
    case ucTorr: return value * 73.423762269;
    case ucKPa: return value * 9.78903;
    case ucCelsius: return value;
    case ucFahrenheit: return value * 9.0 / 5.0 + 32.0;
    case ucKelvin: return value + 273.15;
    case ucRankin: return value * 9.0 / 5.0 + 32.0 + 459.67;
    case ucVolts: return value;
    case ucMV: return value * 1000.0;
    case ucPH:
    case ucMVolt:
    case ucDoPercentSat:
    case ucDoMgL:
    case ucDoPpm:
    case ucNtu:
    case ucTssMgL:
    case ucTssPpm: return value;
    case ucUnnamed51: return value * 0.000001;
    case ucMSCm: return value * 0.001;
    case ucUSCm: return value;
    case ucUnnamed54:
    case ucUnnamed56: return value * 0.67;
    case ucUnnamed55: return value * 0.04;
    case ucUnnamed57: return value * 670.0;
    case ucTdsMgL:
    case ucSalinityPsu: return value;
    case ucSalinityMgL:
    case ucSalinityPpm: return value * 1000.0;
    case ucSalinityPpt: return value;
    case ucUnnamed65:
    case ucUnnamed66: return 0.0;
    case ucSaUl: return value;
    default: return 0.0;
    }
}

int GetUnitCoefficientSlot(const CalibrationData* cal, int16_t channel, uint8_t code)
{
    if (channel < 0 || channel >= ImageChannelCount)
        return -1;
    switch (code) {
    case ucMetres: case ucFeet: case ucCm: case ucMm: case ucBar: case ucMBar: case ucKgCm2:
    case ucPsi: case ucAtm: case ucInHg: case ucMmHg: case ucPa: case ucTorr: case ucKPa:
    case ucCelsius: case ucFahrenheit:
    case ucVolts: case ucMV:
    case ucTssMgL: case ucTssPpm:
    case ucUSCm:
    case ucSalinityPsu: case ucSalinityMgL: case ucSalinityPpm: case ucSalinityPpt:
        return cal->Channels[channel].CompensationNumbers[4];
    default:
        return -1;
    }
}

void SetUnitCoefficients(CalibrationData* cal, int record, uint8_t code)
{
    if (!IsValidCompensation(*cal, record))
        return;
    const Coefficients c = coefficientsOf(code);
    if (!c.present)
        return;
    CompensationData& rec = cal->CompensationTable[record];
    rec.Coeffs[0] = c.offset;
    rec.Coeffs[1] = c.scale;
}
