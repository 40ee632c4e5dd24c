// libFuzzer target: the record stream scan, frame decoding, both writers
// and the last-record search on arbitrary download files, all in memory
// through the same code the files go through. The input is the record
// stream behind a realistic pair of images; an input starting with 'H' is
// the whole file (images included), so short and broken headers are
// covered too. Besides finding crashes it checks what must hold for any
// input: the graph file written in one pass equals the one written for an
// output that cannot be rewritten (two passes), the writers' texts are
// whole lines, and the cut lies inside the record stream.
#include "ImageBuilder.h"
#include "RecordGenerator.h"
#include "sonderecordcmd.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

bool endsInLineEnd(const std::string& text)
{
    return text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const standin::Bytes header = [] {
        const standin::SensorImages images = standin::defaultImages();
        return standin::downloadFile(images.cal, images.conf, {});
    }();
    static std::vector<uint8_t> file;
    if (size > 0 && data[0] == 'H') {
        file.assign(data + 1, data + size);
    } else {
        file.assign(header.begin(), header.end());
        file.insert(file.end(), data, data + size);
    }

    // One frame straight into the decoder.
    uint8_t raw[RecordFrameBufferSize] = {};
    std::memcpy(raw, data, std::min<size_t>(size, MaxRecordFrameBytes));
    RecordFrameTypeNumber type = 0;
    Timestamp time{};
    uint8_t frameHeader[3];
    uint8_t payload[RecordPayloadBufferSize];
    uint16_t length = 0;
    (void)TSondeRecordCmd::destructRecordFrame(raw, type, time, frameHeader, payload, length);

    // The texts keep their room from input to input.
    static StringSink graph;
    static StringSink csv(false);
    static StringSink once(false);
    graph.text.clear();
    csv.text.clear();
    once.text.clear();

    RecordInput input(file.data(), file.size());
    TSondeRecordCmd cmd(nullptr);
    cmd.writeTessaloom(input, graph);
    cmd.writeCSV(input, csv);
    require(endsInLineEnd(graph.text) && endsInLineEnd(csv.text));
    require(cmd.BytesRead <= static_cast<int32_t>(file.size()));

    // The same graph file for an output that cannot go back (a FIFO); it
    // takes two passes, so one input in eight checks it.
    if (size % 8 == 0) {
        TSondeRecordCmd onward(nullptr);
        onward.writeTessaloom(input, once);
        require(once.text == graph.text);
    }

    TDateTime last = 0;
    uint64_t cut = 0;
    if (cmd.findLastTimeRecord(input, last, cut))
        require(cut >= static_cast<uint64_t>(DownloadHeaderSize) && cut < file.size() && file[cut] == RecordMarker);
    return 0;
}
