// How responsive the main window stays while it waits for the sensor: the
// longest gap between two ticks of its 100 ms lamp timer during status
// refreshes and monitor polls against the stand-in paced at 19200 baud,
// as a multiple of the timer's period.
//
//   bench_window [refreshes] [polls]      (defaults 20 and 10)
#include "BenchSupport.h"
#include "Forms.h"
#include "SensorFormUnit.h"
#include "Sonde.h"
#include "Standin.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Records the moments the lamp timer fires while it is armed.
class TickLog {
public:
    explicit TickLog(QTimer* timer)
    {
        QObject::connect(timer, &QTimer::timeout, [this] {
            if (armed_)
                ticks_.push_back(bench::Clock::now());
        });
    }
    void start()
    {
        ticks_.clear();
        ticks_.push_back(bench::Clock::now());
        armed_ = true;
    }
    // Gaps in ms, the last one up to now.
    std::vector<double> stop()
    {
        armed_ = false;
        ticks_.push_back(bench::Clock::now());
        std::vector<double> gaps;
        for (size_t i = 1; i < ticks_.size(); ++i)
            gaps.push_back(bench::ms(ticks_[i] - ticks_[i - 1]));
        return gaps;
    }

private:
    bool armed_ = false;
    std::vector<bench::Clock::time_point> ticks_;
};

void pumpFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
}

bool pumpUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    return done();
}

void report(const char* what, double seconds, std::vector<double> gaps)
{
    std::sort(gaps.begin(), gaps.end());
    const double longest = gaps.empty() ? 0 : gaps.back();
    const double median = gaps.empty() ? 0 : gaps[gaps.size() / 2];
    std::printf("%-34s %6.1f s  %4zu ticks  median gap %6.1f ms  longest gap %6.1f ms (%.2f x the period)\n", what,
                seconds, gaps.size(), median, longest, longest / 100.0);
}

} // namespace

int main(int argc, char** argv)
{
    const int refreshes = argc > 1 ? std::atoi(argv[1]) : 20;
    const int polls = argc > 2 ? std::atoi(argv[2]) : 10;

    bench::PrivateHome home;
    // The window makes its data folders in the user's data folder: keep
    // them in the private home too.
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    qputenv("HOME", home.path().toLocal8Bit());
    TApplication app(argc, argv);

    standin::Standin sensor;
    sensor.setLineRate(19200);
    standin::Sonde sonde(sensor, 16 * 1024);
    for (uint8_t channel = 0; channel < standin::channels::Count; ++channel)
        sonde.reference->place(channel, 10.0 + channel);
    home.mapAsCom1(sensor);

    TSensorForm window(nullptr, "COM1", nullptr);
    window.show();
    const auto connectStart = bench::Clock::now();
    TickLog ticks(window.LedTimer);
    ticks.start();
    if (!pumpUntil([&] { return !window.StartTimer && !window.InitProgress; }, 60000) ||
        !window.ClockTimer->isActive()) {
        std::fprintf(stderr, "the window did not connect to the stand-in\n");
        return 1;
    }
    report("connection sequence", bench::secondsSince(connectStart), ticks.stop());
    pumpFor(300);

    ticks.start();
    auto start = bench::Clock::now();
    for (int i = 0; i < refreshes; ++i)
        if (!window.UpdateLoggerStatus())
            std::fprintf(stderr, "a status refresh failed\n");
    report("status refreshes", bench::secondsSince(start), ticks.stop());

    // Monitoring as the button starts it: each poll is the guard's status
    // refresh, then the current values (the stand-in measures for 300 ms).
    ticks.start();
    start = bench::Clock::now();
    window.StatusBtnClick(window.MonitorBtn);
    const size_t lines = window.MonitorLines.size();
    pumpUntil([&] { return window.MonitorLines.size() >= lines + static_cast<size_t>(polls); }, 120000);
    const double monitorSeconds = bench::secondsSince(start);
    window.StatusBtnClick(window.StatusBtn);
    report("monitor polls", monitorSeconds, ticks.stop());
    std::printf("monitor polls completed: %zu\n", window.MonitorLines.size() - lines);

    window.FormClose();
    return 0;
}
