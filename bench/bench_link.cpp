// What the link costs the PC:
//  - the CPU share of one core used while a request waits 3 s for a reply
//    that never comes (the wait polls, sleeps 1 ms and pumps events);
//  - the PC's own turnaround per exchange over a pseudo-terminal: from the
//    request handed to the port to the reply frame decoded, less the time the
//    stand-in spent between receiving the request and finishing its reply.
#include "PSQuarnComms.h"
#include "Standin.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

using Clock = std::chrono::steady_clock;

static double cpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec)
        + static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

static double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

static void turnaround(standin::Standin& sensor, TQuarnComms& link, int baud, int rounds)
{
    sensor.setLineRate(baud);
    sensor.clearLog();
    std::vector<double> pcMs;
    std::vector<Clock::time_point> handed, decoded;
    const uint8_t cmd = 0;
    for (int i = 0; i < rounds; ++i) {
        ReplyBuffer reply{};
        uint16_t length = 0;
        enLinkStatus status = lsNone;
        handed.push_back(Clock::now());
        if (!link.SendCommandAwaitReply(&cmd, 1, reply, length, 1, 3, status)) {
            std::printf("exchange %d failed: status %d\n", i, status);
            return;
        }
        decoded.push_back(Clock::now());
    }
    sensor.waitForRequests(static_cast<size_t>(rounds), 2000);
    const auto requests = sensor.requests();
    for (int i = 0; i < rounds && i < static_cast<int>(requests.size()); ++i) {
        const double total = ms(decoded[i] - handed[i]);
        const double standin = ms(requests[i].answeredAt - requests[i].receivedAt);
        pcMs.push_back(total - standin);
    }
    std::sort(pcMs.begin(), pcMs.end());
    std::printf("PC turnaround per exchange (%s, %d exchanges): median %.2f ms, worst %.2f ms\n",
                baud ? "paced at 19200 baud" : "unpaced", rounds, pcMs[pcMs.size() / 2], pcMs.back());
}

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    standin::Standin sensor;
    const QString folder = home.path() + "/comports";
    QDir().mkpath(folder);
    QFile::link(QString::fromStdString(sensor.slavePath()), folder + "/com1");

    TQuarnComms link(nullptr);
    if (!link.OpenPort("Com1", 19200)) {
        std::printf("cannot open the stand-in's port\n");
        return 1;
    }

    // Waiting cost.
    sensor.onCommand(0x00, [](const standin::Frame&) { return standin::Responses{}; });
    {
        BufferFrameData request{};
        request.Content = fcCommand;
        request.Length = 1;
        BufferFrameData reply{};
        const double cpu0 = cpuSeconds();
        const auto t0 = Clock::now();
        const uint8_t r = link.SendFrameAwaitReply(request, reply, 1, 3);
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        const double cpu = cpuSeconds() - cpu0;
        std::printf("Waiting 3 s for a reply that never comes (result %u): %.2f s wall, %.3f s CPU = %.1f %% of one core\n",
                    r, wall, cpu, 100.0 * cpu / wall);
    }

    sensor.onCommand(0x00, [](const standin::Frame&) {
        return standin::Responses{standin::Response::reply(0x00, {})};
    });
    turnaround(sensor, link, 0, 500);
    turnaround(sensor, link, 19200, 100);
    return 0;
}
