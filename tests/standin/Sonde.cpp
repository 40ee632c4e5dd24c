#include "Sonde.h"

#include "ImageBuilder.h"
#include "RecordGenerator.h"

#include <utility>

namespace standin {

Sonde::Sonde(Standin& sensor, std::size_t recordBytes)
    : model(installCommandSet(sensor)),
      transfer(sensor),
      logger(sensor, transfer, model),
      reference(followReference(sensor, model))
{
    transfer.serveImages(sensor, model);
    logger.update([&](RecordGenerator& g) { g.run(loggerStateFrom(sensor.images().conf, g.now()), recordBytes); });
}

void Sonde::placeInTypicalWater()
{
    namespace ch = channels;
    const std::pair<uint8_t, double> placedIn[] = {
        {ch::Battery, 12.6}, {ch::Temperature, 14.2}, {ch::Pressure, 1.2}, {ch::Depth, 1.2},
        {ch::Cond, 450},     {ch::Salinity, 0.2},     {ch::PH, 7.4},       {ch::PHCal, 7.4},
        {ch::OdoSat, 96},    {ch::OdoMgL, 9.5},       {ch::OdoCal, 96},    {ch::Turbidity, 3.1},
    };
    for (const auto& [channel, value] : placedIn)
        reference->place(channel, value);
}

} // namespace standin
