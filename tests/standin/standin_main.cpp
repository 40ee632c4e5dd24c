// The stand-in sensor as a program: creates a pseudo-terminal, maps it as a
// COM port in the user's port map and answers the sensor programs on it until
// interrupted.
//
//   standin-sensor [--com N] [--baud RATE] [--baud-rate RATE] [--in-boot | --power-cycle]
//
// --baud paces the stand-in's output; --baud-rate is the rate its firmware
// speaks (the comms-mode utility finds it); --in-boot starts it in its boot
// code, --power-cycle without power until the first key reaches it.
#include "BootCode.h"
#include "ComPorts.h"
#include "Sonde.h"
#include "Standin.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    int sensorBaud = 19200;
    bool inBoot = false;
    bool powerCycle = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--com") && i + 1 < argc) {
            com = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--baud") && i + 1 < argc) {
            baud = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--baud-rate") && i + 1 < argc) {
            sensorBaud = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--in-boot")) {
            inBoot = true;
        } else if (!std::strcmp(argv[i], "--power-cycle")) {
            powerCycle = true;
        } else {
            std::fprintf(stderr,
                         "usage: %s [--com N] [--baud RATE (0 = unpaced)] [--baud-rate 1200|2400|4800|9600|19200]"
                         " [--in-boot | --power-cycle]\n",
                         argv[0]);
            return 2;
        }
    }
    if (standin::selectionOfBaud(sensorBaud) == 0) {
        std::fprintf(stderr, "--baud-rate must be 1200, 2400, 4800, 9600 or 19200\n");
        return 2;
    }
    if (com < 1 || com > ComPorts::MaxPortNumber) {
        std::fprintf(stderr, "COM number must be 1 to %d\n", ComPorts::MaxPortNumber);
        return 2;
    }

    standin::Standin sensor;
    sensor.setLineRate(baud);
    // Records to download, as the configuration's schedules log them, and
    // live values to watch and calibrate against.
    standin::Sonde sonde(sensor, 200 * 1024);
    sonde.placeInTypicalWater();
    // The other side of the comms-mode utility: the firmware's baud rate,
    // the banner, the jump to the boot code and the boot code's menu.
    standin::BootCode bootCode(sensor, standin::SerialOptions{standin::selectionOfBaud(sensorBaud), 1, 1});
    if (inBoot)
        bootCode.startInBootCode();
    else if (powerCycle)
        bootCode.startPoweredOff(0, 2000); // the operator restores the power 2 s after pressing OK

    // The map folder, once it exists, is the programs' whole port map: the
    // stand-in makes it only when it is missing, and takes away what it made.
    const QString folder = ComPorts::mapFolder();
    const QFileInfo before(folder);
    const bool madeFolder = !before.exists() && !before.isSymLink();
    if (madeFolder && !QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(folder));
        return 1;
    }
    const QString entry = folder + QStringLiteral("/com") + QString::number(com);
    QFile::remove(entry);
    if (!QFile::link(QString::fromStdString(sensor.slavePath()), entry)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(entry));
        if (madeFolder)
            QDir().rmdir(folder);
        return 1;
    }
    std::printf("Stand-in sensor on %s, mapped as COM%d (%s)%s\n", sensor.slavePath().c_str(), com,
                qPrintable(entry), baud > 0 ? "" : ", unpaced");
    std::printf("Its firmware speaks at %d baud%s.\n", sensorBaud,
                inBoot ? "; it sits in its boot code" : powerCycle ? "; it is without power until a key reaches it" : "");
    if (madeFolder)
        std::printf("While it runs, %s is the whole port map: the programs list only the ports mapped there.\n",
                    qPrintable(folder));
    std::printf("Press Ctrl-C to stop.\n");
    std::fflush(stdout);

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);
    while (!stopRequested)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    QFile::remove(entry);
    // Only when empty: entries that others made meanwhile stay.
    if (madeFolder && QDir().rmdir(folder))
        std::printf("Removed %s: programs started from now on use the built-in port map.\n", qPrintable(folder));
    return 0;
}
