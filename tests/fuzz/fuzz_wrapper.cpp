// libFuzzer target: what the link stores for an image request, unwrapped and
// expanded as a retrieval does, and taken for an image only when it is exactly
// one image long, then read and checked; all in memory. Also the wrapper's
// round trip and agreement with the stand-in's unwrapping.
#include "FileTransfer.h"
#include "SensorImageModel.h"
#include "SysUtils.h"
#include "filecompression.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_wrapper: %s\n", what);
        std::abort();
    }
}

TSensorImageModel* sensor = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    // The images alone: no link, no working folders.
    sensor = new TSensorImageModel();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    bool compressed = false;
    size_t begin = 0, end = 0;
    const bool unwrapped = TFileCompression::unwrapBytes(data, size, compressed, begin, end);
    const auto theirs = standin::unwrapFile(Bytes(data, data + size));
    if (!unwrapped) {
        require(!theirs.has_value(), "the stand-in unwraps what was refused");
        return 0;
    }
    require(begin <= end && end <= size, "content outside the wrapper");

    // The wrapper's round trip.
    Bytes again;
    TFileCompression::wrapBytes(data + begin, end - begin, compressed, again);
    bool compressedAgain = !compressed;
    size_t b2 = 0, e2 = 0;
    require(TFileCompression::unwrapBytes(again.data(), again.size(), compressedAgain, b2, e2),
            "a written wrapper is refused");
    require(compressedAgain == compressed && e2 - b2 == end - begin &&
                std::memcmp(again.data() + b2, data + begin, end - begin) == 0,
            "a written wrapper carries something else");

    Bytes file;
    if (compressed) {
        if (!TFileCompression::decompressBytes(data + begin, end - begin, file))
            return 0;
    } else {
        file.assign(data + begin, data + end);
    }
    if (theirs.has_value())
        require(*theirs == file, "the stand-in unwraps to other bytes");

    try {
        if (file.size() == sizeof(ConfigurationData)) {
            TSensorImageModel::ReadBinConf(file.data(), file.size(), &sensor->ConfData);
            sensor->verifyConfigFile();
        } else if (file.size() == sizeof(CalibrationData)) {
            TSensorImageModel::ReadBinCal(file.data(), file.size(), &sensor->CalData);
            sensor->verifyCalFile();
        }
    } catch (const EConvertError&) {
        // A version text that is no number: the image is refused.
    }
    return 0;
}
