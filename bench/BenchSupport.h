// What the benchmark programs share: CPU and wall-clock readings, and a
// private port map in which the stand-in sensor is COM1.
#pragma once

#include "Standin.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <sys/resource.h>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double cpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec)
        + static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// CPU time of the calling thread alone (the stand-in runs on a thread of its
// own in the same process).
inline double threadCpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_THREAD, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec)
        + static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

inline double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

inline double secondsSince(Clock::time_point start)
{
    return seconds(Clock::now() - start);
}

inline double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Points the user's configuration and runtime folders at a temporary folder
// (call before the application object exists) and, once a stand-in exists,
// maps it as COM1 there.
class PrivateHome {
public:
    PrivateHome()
    {
        qputenv("XDG_CONFIG_HOME", dir_.path().toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", dir_.path().toLocal8Bit());
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    void mapAsCom1(const standin::Standin& sensor) const
    {
        const QString folder = dir_.path() + "/comports";
        QDir().mkpath(folder);
        QFile::link(QString::fromStdString(sensor.slavePath()), folder + "/com1");
    }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

} // namespace bench
