// Writes the seed corpus of fuzz_images (a selector byte, 0 configuration or
// 1 calibration, then the image): the stand-in's images, the same at the
// older format (upgraded when read), a calibration image whose pressure
// channel has its datum and user calibration in each other's place, and
// version texts that are no number.
#include "FuzzSeeds.h"
#include "ImageBuilder.h"

#include <cstring>
#include <utility>

using standin::Bytes;

template <typename Image>
static Bytes seed(uint8_t selector, const Image& image)
{
    Bytes b{selector};
    const Bytes bytes = standin::imageBytes(image);
    b.insert(b.end(), bytes.begin(), bytes.end());
    return b;
}

int main(int argc, char** argv)
{
    const std::string folder = fuzzseeds::folderFrom(argc, argv);
    const standin::SensorImages images = standin::defaultImages();
    fuzzseeds::save(folder, "conf", seed(0, images.conf));
    fuzzseeds::save(folder, "cal", seed(1, images.cal));

    ConfigurationData conf = images.conf;
    CalibrationData cal = images.cal;
    SetImageText(conf.FormatVersion, "2.1");
    SetImageText(cal.FormatVersion, "2.1");
    fuzzseeds::save(folder, "conf-old", seed(0, conf));
    fuzzseeds::save(folder, "cal-old", seed(1, cal));

    CalChannelData& pressure = cal.Channels[standin::channels::Pressure];
    std::swap(pressure.CompensationNumbers[1], pressure.CompensationNumbers[3]);
    std::memset(cal.SensorName, 'x', sizeof cal.SensorName);
    fuzzseeds::save(folder, "cal-old-swapped", seed(1, cal));

    std::memcpy(conf.FormatVersion, "v3.0\0\0\0\0", 8);
    fuzzseeds::save(folder, "conf-version-text", seed(0, conf));
    fuzzseeds::save(folder, "cal-short", Bytes{1, 'S', 'h', 'o', 'r', 't'});
    return 0;
}
