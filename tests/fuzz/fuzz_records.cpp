// libFuzzer target: the record stream scan, frame decoding and both writers
// on arbitrary download files. The input is the record stream behind a
// realistic pair of images; an input starting with 'H' is the whole file
// (images included), so short and broken headers are covered too.
#include "ImageBuilder.h"
#include "RecordGenerator.h"
#include "sonderecordcmd.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

std::string folder()
{
    static const std::string path = [] {
        const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string templ = std::string(base) + "/fuzz-records-XXXXXX";
        if (!mkdtemp(templ.data()))
            std::abort();
        return templ;
    }();
    return path;
}

void writeFile(const std::string& path, const uint8_t* data, size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const standin::SensorImages images = standin::defaultImages();
    static const std::string in = folder() + "/in.bin";
    static const std::string graph = folder() + "/out.dat";
    static const std::string csv = folder() + "/out.csv";

    standin::Bytes file;
    if (size > 0 && data[0] == 'H') {
        file.assign(data + 1, data + size);
    } else {
        file = standin::downloadFile(images.cal, images.conf, standin::Bytes(data, data + size));
    }
    writeFile(in, file.data(), file.size());

    // One frame straight into the decoder.
    uint8_t raw[RecordFrameBufferSize] = {};
    std::memcpy(raw, data, std::min<size_t>(size, MaxRecordFrameBytes));
    RecordFrameTypeNumber type = 0;
    Timestamp time{};
    uint8_t header[3];
    uint8_t payload[RecordPayloadBufferSize];
    uint16_t length = 0;
    (void)TSondeRecordCmd::destructRecordFrame(raw, type, time, header, payload, length);

    TSondeRecordCmd cmd(nullptr);
    cmd.CreateTessaloomFile(in, graph, nullptr, nullptr, false);
    cmd.CreateCSVFile(in, csv, nullptr, nullptr, false);
    TDateTime last = 0;
    cmd.retrieveLastTimeRecord(in, last, true);
    return 0;
}
