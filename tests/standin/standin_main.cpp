// The stand-in sensor as a program: creates a pseudo-terminal, maps it as a
// COM port in the user's port map and answers the sensor programs on it until
// interrupted.
//
//   standin-sensor [--com N] [--baud RATE]
#include "CommandSet.h"
#include "ComPorts.h"
#include "FileTransfer.h"
#include "Standin.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

static volatile std::sig_atomic_t stopRequested = 0;

static void onSignal(int)
{
    stopRequested = 1;
}

int main(int argc, char** argv)
{
    int com = 9;
    int baud = 19200;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--com") && i + 1 < argc) {
            com = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--baud") && i + 1 < argc) {
            baud = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--com N] [--baud RATE (0 = unpaced)]\n", argv[0]);
            return 2;
        }
    }
    if (com < 1 || com > ComPorts::MaxPortNumber) {
        std::fprintf(stderr, "COM number must be 1 to %d\n", ComPorts::MaxPortNumber);
        return 2;
    }

    standin::Standin sensor;
    sensor.setLineRate(baud);
    const auto commands = standin::installCommandSet(sensor);
    standin::FileTransfer transfer(sensor);
    transfer.serveImages(sensor, commands);

    const QString folder = ComPorts::mapFolder();
    QDir().mkpath(folder);
    const QString entry = folder + QStringLiteral("/com") + QString::number(com);
    QFile::remove(entry);
    if (!QFile::link(QString::fromStdString(sensor.slavePath()), entry)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(entry));
        return 1;
    }
    std::printf("Stand-in sensor on %s, mapped as COM%d (%s)%s\n", sensor.slavePath().c_str(), com,
                qPrintable(entry), baud > 0 ? "" : ", unpaced");
    std::printf("Press Ctrl-C to stop.\n");
    std::fflush(stdout);

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    while (!stopRequested)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    QFile::remove(entry);
    return 0;
}
