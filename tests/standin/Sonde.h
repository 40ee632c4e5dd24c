// The stand-in as a whole logging sonde, as the main program meets it: the
// command set, its image pair served for transfer, a logger memory of
// records as the configuration's schedules log them, and current values
// that follow what it is placed in.
#pragma once

#include "CommandSet.h"
#include "FileTransfer.h"
#include "Logger.h"
#include "Reference.h"
#include "Standin.h"

#include <cstddef>
#include <memory>

namespace standin {

class Sonde {
public:
    // Answers the sensor programs on `sensor`, with about `recordBytes` of
    // records in the logger memory.
    Sonde(Standin& sensor, std::size_t recordBytes);

    // Every channel placed in water of typical values: fresh water about
    // 1.2 m deep, near saturated with oxygen, slightly turbid.
    void placeInTypicalWater();

    std::shared_ptr<SensorModel> model;
    FileTransfer transfer;
    Logger logger;
    std::shared_ptr<Reference> reference;
};

} // namespace standin
