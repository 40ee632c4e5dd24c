// Download efficiency of the multi-frame protocol on a line paced at 19200
// baud 8N1 (1920 bytes per second) through a pseudo-terminal:
//  - ideal wire time of every byte exchanged (both directions) divided by
//    the time the download took;
//  - the same without the quiet time that ends a download whose last burst
//    has fewer frames than asked for (the protocol waits it out by design);
//  - the PC's turnaround per burst, taken on the PC's side of the line: from
//    the moment the last byte of a burst is readable on the port (the
//    stand-in's write of it: a pseudo-terminal hands bytes over at once) to
//    the moment the link hands the next request to the port (its transmit
//    event), median and worst.
//
//   bench_download [stream bytes (default 65536)] [block bytes (default 256)]
#include "BenchSupport.h"
#include "FileTransfer.h"
#include "PSQuarnComms.h"
#include "Standin.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

using bench::Clock;
using bench::seconds;

int main(int argc, char** argv)
{
    const size_t streamBytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 65536;
    const size_t block = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 256;
    constexpr int baud = 19200;

    bench::PrivateHome home;
    QApplication app(argc, argv);

    standin::Standin sensor;
    standin::FileTransfer transfer(sensor);
    home.mapAsCom1(sensor);

    TQuarnComms link(nullptr);
    std::vector<Clock::time_point> handed;
    handed.reserve(4096);
    link.OnTxActivity = [&](QObject*) { handed.push_back(Clock::now()); };
    bool quietEnd = false;
    link.OnDebugText = [&](QObject*, const std::string& text) {
        if (text.rfind("Ooops: ", 0) == 0)
            quietEnd = true;
    };
    if (!link.OpenPort("Com1", 19200)) {
        std::printf("cannot open the stand-in's port\n");
        return 1;
    }

    const standin::Bytes stream = standin::recordStream(streamBytes, 1);
    transfer.setBlockSize(block);
    transfer.offer(stream);
    sensor.setLineRate(baud);
    const std::string file = (home.path() + "/download.bin").toStdString();

    enLinkStatus status = lsNone;
    const auto start = Clock::now();
    const int32_t got = link.RetrieveLogFile(file, static_cast<int32_t>(stream.size()), status);
    const auto end = Clock::now();

    std::ifstream in(file, std::ios::binary);
    const standin::Bytes stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (got != static_cast<int32_t>(stream.size()) || stored != stream) {
        std::printf("download incomplete or wrong: %d of %zu bytes\n", got, stream.size());
        return 1;
    }

    const auto requests = sensor.requests();
    const size_t pcBytes = sensor.receivedBytes().size();
    const size_t loggerBytes = transfer.stats().wireBytesSent;
    const double ideal = static_cast<double>(pcBytes + loggerBytes) * 10.0 / baud;
    const double took = seconds(end - start);
    // The quiet time runs from the last byte of the last burst to the end.
    const double quiet = quietEnd && !requests.empty() ? seconds(end - requests.back().answeredAt) : 0.0;

    // One request frame per transmit event.
    if (handed.size() != requests.size()) {
        std::printf("the PC handed %zu frames to the port, the stand-in received %zu\n", handed.size(),
                    requests.size());
        return 1;
    }
    std::vector<double> turnaround, reaction;
    double slip = 0; // the stand-in's last bytes later than the line would have had them
    for (size_t i = 1; i < requests.size(); ++i)
        turnaround.push_back(1000.0 * seconds(handed[i] - requests[i - 1].answeredAt));
    for (size_t i = 0; i < requests.size(); ++i) {
        reaction.push_back(1000.0 * seconds(requests[i].startedAt - handed[i]));
        slip += seconds(requests[i].answeredAt - requests[i].startedAt) -
                static_cast<double>(requests[i].answerBytes) * 10.0 / baud;
    }
    std::sort(turnaround.begin(), turnaround.end());
    std::sort(reaction.begin(), reaction.end());

    std::printf("Download of %zu record bytes in blocks of %zu at %d baud 8N1: %zu requests, %zu bytes from the "
                "logger, %zu from the PC\n",
                stream.size(), block, baud, requests.size(), loggerBytes, pcBytes);
    std::printf("  took %.2f s; ideal wire time %.2f s; efficiency %.3f\n", took, ideal, ideal / took);
    if (quiet > 0)
        std::printf("  without the closing quiet time of %.2f s (short last burst): efficiency %.3f\n", quiet,
                    ideal / (took - quiet));
    else
        std::printf("  the last burst was full: no closing quiet time\n");
    if (!turnaround.empty())
        std::printf("  PC turnaround per burst (%zu), last byte readable to next request handed to the port: "
                    "median %.2f ms, worst %.2f ms\n",
                    turnaround.size(),
                    turnaround[turnaround.size() / 2], turnaround.back());
    // The other half of the gap between bursts: the stand-in's, which a
    // loaded machine stretches.
    std::printf("  stand-in per request, request handed to the port to its answer on the line: median %.2f ms, worst "
                "%.2f ms\n",
                reaction[reaction.size() / 2], reaction.back());
    std::printf("  stand-in's own delay in writing its bursts (a loaded machine's share of the gaps): %.3f s in all\n",
                slip);
    return 0;
}
