// Writes the seed corpus of fuzz_wrapper: both images in both wrapper forms,
// an image of the older format, a wrapper whose coded data expands to one
// byte too many, and wrappers too short for their form.
#include "FileTransfer.h"
#include "FuzzSeeds.h"
#include "ImageBuilder.h"

using standin::Bytes;

int main(int argc, char** argv)
{
    const std::string folder = fuzzseeds::folderFrom(argc, argv);
    standin::SensorImages images = standin::defaultImages();
    const Bytes conf = standin::imageBytes(images.conf);
    const Bytes cal = standin::imageBytes(images.cal);
    fuzzseeds::save(folder, "conf-coded", standin::wrapFile(conf, true));
    fuzzseeds::save(folder, "conf-raw", standin::wrapFile(conf, false));
    fuzzseeds::save(folder, "cal-coded", standin::wrapFile(cal, true));
    fuzzseeds::save(folder, "cal-raw", standin::wrapFile(cal, false));

    SetImageText(images.conf.FormatVersion, "2.1");
    SetImageText(images.cal.FormatVersion, "2.1");
    fuzzseeds::save(folder, "conf-old", standin::wrapFile(standin::imageBytes(images.conf), true));
    fuzzseeds::save(folder, "cal-old", standin::wrapFile(standin::imageBytes(images.cal), true));

    Bytes longer = cal;
    longer.push_back(0);
    fuzzseeds::save(folder, "one-too-many", standin::wrapFile(longer, true));
    fuzzseeds::save(folder, "short", {0x01, 0x00, 0x00, 0xFF});
    fuzzseeds::save(folder, "empty-raw", {0x00});
    return 0;
}
