// Conversion throughput: a generated download file of at least 8 MiB (the
// stand-in's record stream of a logging sensor behind its two images) is
// converted into the graph file and the CSV file. Prints MB/s of download
// file and the conversion's time as a multiple of reading the file once
// (what `cat file > /dev/null` does).
#include "BenchSupport.h"
#include "ImageBuilder.h"
#include "RecordGenerator.h"
#include "sonderecordcmd.h"

#include <QApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

using bench::Clock;
using bench::cpuSeconds;
using bench::secondsSince;

// Reads the file once in 128 KiB blocks, as cat does; returns the seconds.
static double readOnce(const std::string& path)
{
    std::vector<char> buffer(128 * 1024);
    const auto start = Clock::now();
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return 0;
    while (::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    ::close(fd);
    return secondsSince(start);
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;

    const standin::SensorImages images = standin::defaultImages();
    const standin::LoggerState state = standin::loggerStateFrom(images.conf, Timestamp{24, 1, 1, 0, 0, 0});
    standin::RecordGenerator gen(state.start);
    gen.run(state, 8u * 1024 * 1024);
    const standin::Bytes file = standin::downloadFile(images.cal, images.conf, gen.stream());

    const std::string in = (dir.path() + "/data.bin").toStdString();
    std::FILE* f = std::fopen(in.c_str(), "wb");
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
    const double mb = static_cast<double>(file.size()) / 1e6;

    // Warm the page cache, then take the best of a few reads.
    readOnce(in);
    double read = 1e9;
    for (int i = 0; i < 5; ++i)
        read = std::min(read, readOnce(in));

    TSondeRecordCmd cmd(nullptr);
    const double cpuStart = cpuSeconds();
    const auto start = Clock::now();
    cmd.CreateTessaloomFile(in, (dir.path() + "/data.dat").toStdString(), nullptr, nullptr, false);
    const double graph = secondsSince(start);
    const auto csvStart = Clock::now();
    cmd.CreateCSVFile(in, (dir.path() + "/data.csv").toStdString(), nullptr, nullptr, false);
    const double csv = secondsSince(csvStart);
    const double total = graph + csv;
    const double cpu = cpuSeconds() - cpuStart;

    std::printf("download file: %.2f MB, %zu records; graph file %.2f MB, CSV file %.2f MB\n", mb,
                gen.index().size(), static_cast<double>(QFileInfo(dir.path() + "/data.dat").size()) / 1e6,
                static_cast<double>(QFileInfo(dir.path() + "/data.csv").size()) / 1e6);
    std::printf("reading it once: %.4f s (%.0f MB/s)\n", read, mb / read);
    std::printf("graph file: %.3f s, CSV file: %.3f s (CPU time of both: %.3f s)\n", graph, csv, cpu);
    std::printf("conversion: %.1f MB/s of download file, %.1f times the time of reading it once\n", mb / total,
                total / read);
    return 0;
}
