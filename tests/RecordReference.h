// The record decoder's conversion as it was first written and trusted: the
// whole output built in memory, the download file read one byte at a time,
// a string for every number. The streaming writers must match it byte for
// byte; it lives only here, as the reference of the tests.
#pragma once

#include "DateTime.h"

#include <cstdint>
#include <string>
#include <vector>

namespace reference {

// The fixed-point number formatter the writers used (FloatToStrF).
std::string FloatToStrF(double value, int precision, int digits, char separator);

struct Conversion {
    std::string graph;
    std::string csv;
    TDateTime lastRecordDate = 0; // after the graph file
    TDateTime lastRecordTime = 0;
};

// The graph file and the CSV file of a download file held in memory, in the
// system locale's formats (dates with four-digit years).
Conversion convert(const std::vector<uint8_t>& downloadFile);

} // namespace reference
