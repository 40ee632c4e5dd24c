// Conversion throughput and memory: generated download files of 8 MiB and
// 50 MiB (the stand-in's record stream of a logging sensor behind its two
// images) are converted into the graph file and the CSV file, each in a
// child process of its own so that its peak memory is the conversion's.
// Prints MB/s of download file, the time of writing the same number of
// output bytes to the same folder in the same run (plain, and with the
// flush to disk that the writers do before they put a file in place), and
// the child's peak resident memory.
//
//   bench_records [MiB ...]      sizes to measure (default: 8 50)
#include "BenchSupport.h"
#include "FileHandle.h"
#include "ImageBuilder.h"
#include "RecordGenerator.h"
#include "sonderecordcmd.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using bench::Clock;
using bench::cpuSeconds;
using bench::secondsSince;

namespace {

// Peak resident memory of this process in KiB (VmHWM).
long peakKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// The child: converts one download file and prints its figures on one line.
int convert(int argc, char** argv)
{
    if (argc != 5)
        return 2;
    QCoreApplication app(argc, argv);
    const std::string in = argv[2];
    const std::string graph = argv[3];
    const std::string csv = argv[4];
    const long idle = peakKiB();
    TSondeRecordCmd cmd(nullptr);
    const double cpuStart = cpuSeconds();
    const auto start = Clock::now();
    if (!cmd.CreateTessaloomFile(in, graph, nullptr, nullptr, false))
        return 3;
    const double graphSeconds = secondsSince(start);
    const auto csvStart = Clock::now();
    if (!cmd.CreateCSVFile(in, csv, nullptr, nullptr, false))
        return 3;
    const double csvSeconds = secondsSince(csvStart);
    std::printf("%.6f %.6f %.6f %ld %ld\n", graphSeconds, csvSeconds, cpuSeconds() - cpuStart, idle, peakKiB());
    return 0;
}

// Writes `bytes` bytes to a new file in 256 KiB blocks, as two files of the
// given sizes; with `sync`, each is flushed to disk before it is closed.
double writePlain(const std::string& folder, long graphBytes, long csvBytes, bool sync)
{
    static const std::vector<char> block(256 * 1024, 'x');
    const auto start = Clock::now();
    int n = 0;
    for (long size : {graphBytes, csvBytes}) {
        const std::string path = folder + "/plain" + std::to_string(n++) + ".txt";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            return -1;
        for (long left = size; left > 0;) {
            const ssize_t w = ::write(fd, block.data(), std::min(static_cast<size_t>(left), block.size()));
            if (w <= 0)
                break;
            left -= w;
        }
        if (sync)
            ::fdatasync(fd);
        ::close(fd);
        ::unlink(path.c_str());
    }
    return secondsSince(start);
}

struct Result {
    double graph = 0, csv = 0, cpu = 0;
    long idleKiB = 0, peakKiB = 0;
};

bool runChild(const std::string& self, const std::string& in, const std::string& graph, const std::string& csv,
              Result& r)
{
    const std::string command = "'" + self + "' --convert '" + in + "' '" + graph + "' '" + csv + "'";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return false;
    const int got = std::fscanf(pipe, "%lf %lf %lf %ld %ld", &r.graph, &r.csv, &r.cpu, &r.idleKiB, &r.peakKiB);
    return ::pclose(pipe) == 0 && got == 5;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--convert") == 0)
        return convert(argc, argv);

    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty())
        sizes = {8, 50};

    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
        return 1;
    QTemporaryDir dir;
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("load average at start: %.2f %.2f %.2f (%ld processors)\n", load[0], load[1], load[2],
                sysconf(_SC_NPROCESSORS_ONLN));

    const standin::SensorImages images = standin::defaultImages();
    const standin::LoggerState state = standin::loggerStateFrom(images.conf, Timestamp{24, 1, 1, 0, 0, 0});
    for (int mib : sizes) {
        const std::string in = (dir.path() + "/data.bin").toStdString();
        size_t records = 0;
        {
            standin::RecordGenerator gen(state.start);
            gen.run(state, static_cast<size_t>(mib) * 1024 * 1024);
            records = gen.index().size();
            const standin::Bytes file = standin::downloadFile(images.cal, images.conf, gen.stream());
            std::ofstream(in, std::ios::binary)
                .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
        }
        const std::string graph = (dir.path() + "/data.dat").toStdString();
        const std::string csv = (dir.path() + "/data.csv").toStdString();
        const double mb = static_cast<double>(fileSize(in)) / 1e6;

        // The first run warms the page cache and the folder; the second counts.
        Result r;
        if (!runChild(self, in, graph, csv, r) || !runChild(self, in, graph, csv, r)) {
            std::printf("%d MiB: the conversion failed\n", mib);
            return 1;
        }
        const long graphBytes = fileSize(graph);
        const long csvBytes = fileSize(csv);
        const double out = static_cast<double>(graphBytes + csvBytes) / 1e6;
        const double total = r.graph + r.csv;
        const double plain = writePlain(dir.path().toStdString(), graphBytes, csvBytes, false);
        const double synced = writePlain(dir.path().toStdString(), graphBytes, csvBytes, true);

        std::printf("\n%d MiB download file: %.2f MB, %zu records; graph file %.2f MB, CSV file %.2f MB\n", mib, mb,
                    records, static_cast<double>(graphBytes) / 1e6, static_cast<double>(csvBytes) / 1e6);
        std::printf("  graph file %.3f s, CSV file %.3f s, CPU time of both %.3f s\n", r.graph, r.csv, r.cpu);
        std::printf("  conversion: %.1f MB/s of download file (%.1f MB/s of output)\n", mb / total, out / total);
        std::printf("  writing %.2f MB to the same folder: %.3f s plain (%.2f x that), %.3f s flushed to disk "
                    "(%.2f x that)\n",
                    out, plain, total / plain, synced, total / synced);
        std::printf("  peak memory of the converting process: %.1f MB (%.1f MB before the conversion)\n",
                    static_cast<double>(r.peakKiB) / 1024, static_cast<double>(r.idleKiB) / 1024);
        std::remove(graph.c_str());
        std::remove(csv.c_str());
        std::remove(in.c_str());
    }
    getloadavg(load, 3);
    std::printf("\nload average at end: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    return 0;
}
