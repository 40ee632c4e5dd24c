// Writes the seed corpus of fuzz_rle: both images coded by the program's and
// by the stand-in's coder, runs at the packet limits, and coded data cut
// inside a literal packet and after a repeat packet's control byte.
#include "FileTransfer.h"
#include "FuzzSeeds.h"
#include "ImageBuilder.h"
#include "filecompression.h"

using standin::Bytes;

static Bytes coded(const Bytes& file)
{
    Bytes out;
    TFileCompression::compressBytes(file.data(), file.size(), out);
    return out;
}

int main(int argc, char** argv)
{
    const std::string folder = fuzzseeds::folderFrom(argc, argv);
    const standin::SensorImages images = standin::defaultImages();
    const Bytes conf = standin::imageBytes(images.conf);
    const Bytes cal = standin::imageBytes(images.cal);
    fuzzseeds::save(folder, "conf", coded(conf));
    fuzzseeds::save(folder, "cal", coded(cal));
    fuzzseeds::save(folder, "conf-standin", standin::rleEncode(conf));
    fuzzseeds::save(folder, "cal-standin", standin::rleEncode(cal));

    Bytes limits(300, 'v');
    for (int i = 0; i < 129; ++i)
        limits.push_back(static_cast<uint8_t>(i * 7));
    limits.insert(limits.end(), {'a', 'a', 'b', 'c', 'c'});
    fuzzseeds::save(folder, "limits", coded(limits));

    Bytes cutLiteral = coded(cal);
    cutLiteral.resize(cutLiteral.size() / 2);
    cutLiteral.insert(cutLiteral.end(), {0x7F, 1, 2, 3});
    fuzzseeds::save(folder, "cut-literal", cutLiteral);
    fuzzseeds::save(folder, "repeat-without-value", {0x02, 'a', 'b', 'c', 0x85});
    return 0;
}
