// Conversions between a channel's unit and the base unit of its family, and
// the unit coefficients (offset and scale) that the calibration image keeps
// for a channel's unit. Keyed by the unit code (enUnitCode); no state.
#pragma once

#include "SensorImages.h"

#include <cstdint>

// `value` in the unit `code` to the family's base unit (metres of water,
// Celsius, Volts, uS/cm, psu; other units are their own base or carry a
// factor of their own). 0 for a code without a conversion.
double ToBaseUnit(double value, uint8_t code);

// A base-unit value to the unit `code`; 0 for a code without a conversion.
double FromBaseUnit(double value, uint8_t code);

// The channel's units-conversion compensation number (CompensationNumbers[4])
// for a unit that keeps its coefficients there; -1 for any other unit, and
// for a channel number outside the image.
int GetUnitCoefficientSlot(const CalibrationData* cal, int16_t channel, uint8_t code);

// Writes the unit's offset and scale (value in unit = offset + scale x value
// in base unit) into Coeffs[0] and Coeffs[1] of compensation record `record`.
// Writes nothing for a unit without coefficients or for a record number that
// is not valid in the image (1 to CompensationCount, and inside the table).
// The image's CRC is left for the next send.
void SetUnitCoefficients(CalibrationData* cal, int record, uint8_t code);
