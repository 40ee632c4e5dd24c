// What the link costs the PC:
//  - the CPU share of one core used while a request waits 3 s for a reply
//    that never comes;
//  - the PC's own turnaround per exchange over a pseudo-terminal: from the
//    request handed to the port to the reply frame decoded, less the time the
//    stand-in spent between receiving the request and writing the last byte
//    of its reply;
//  - of that, the time from the reply's last byte written (readable on the
//    port) to the reply decoded: how soon the wait notices what arrived.
#include "BenchSupport.h"
#include "PSQuarnComms.h"
#include "Standin.h"

#include <QApplication>
#include <QStandardPaths>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

using bench::Clock;
using bench::cpuSeconds;
using bench::ms;

// Unpaced: with the stand-in pacing its output, its own timestamps could not
// separate its sending from the PC's work to within a chunk of bytes.
static void turnaround(standin::Standin& sensor, TQuarnComms& link, int rounds)
{
    sensor.setLineRate(0);
    sensor.clearLog();
    std::vector<double> pcMs, noticedMs;
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
    // The stand-in stamps a request as answered just after its last byte left.
    auto requests = sensor.requests();
    for (int wait = 0; wait < 100 && (requests.empty() || requests.back().answeredAt == Clock::time_point{}); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        requests = sensor.requests();
    }
    for (size_t i = 0; i < decoded.size() && i < requests.size(); ++i) {
        const double total = ms(decoded[i] - handed[i]);
        const double standin = ms(requests[i].answeredAt - requests[i].receivedAt);
        pcMs.push_back(total - standin);
        noticedMs.push_back(ms(decoded[i] - requests[i].answeredAt));
    }
    if (pcMs.empty()) {
        std::printf("the stand-in recorded no exchanges\n");
        return;
    }
    std::sort(pcMs.begin(), pcMs.end());
    std::sort(noticedMs.begin(), noticedMs.end());
    std::printf("PC turnaround per exchange (%d exchanges over a pseudo-terminal): median %.2f ms, worst %.2f ms\n",
                rounds, pcMs[pcMs.size() / 2], pcMs.back());
    std::printf("  of which reply readable to reply decoded: median %.2f ms, worst %.2f ms\n",
                noticedMs[noticedMs.size() / 2], noticedMs.back());
}

int main(int argc, char** argv)
{
    bench::PrivateHome home;
    QApplication app(argc, argv);

    standin::Standin sensor;
    home.mapAsCom1(sensor);

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
        const double own0 = bench::threadCpuSeconds();
        const auto t0 = Clock::now();
        const uint8_t r = link.SendFrameAwaitReply(request, reply, 1, 3);
        const double wall = bench::secondsSince(t0);
        const double cpu = cpuSeconds() - cpu0;
        const double own = bench::threadCpuSeconds() - own0;
        std::printf("Waiting 3 s for a reply that never comes (result %u): %.2f s wall, %.4f s CPU = %.2f %% of one "
                    "core (the waiting thread alone: %.4f s = %.2f %%)\n",
                    r, wall, cpu, 100.0 * cpu / wall, own, 100.0 * own / wall);
    }
    // The request goes out once more after the wait; let the stand-in see it
    // before its log is cleared for the next figure.
    sensor.waitForRequests(2, 2000);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    sensor.onCommand(0x00, [](const standin::Frame&) {
        return standin::Responses{standin::Response::reply(0x00, {})};
    });
    turnaround(sensor, link, 500);
    return 0;
}
