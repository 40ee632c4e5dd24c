// What both programs' screenshot takers share: the command line, a private
// home, the application object, and saving a window once it has settled.
#pragma once

#include "Forms.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QString>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

inline void settle()
{
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(20);
    }
}

inline bool save(QWidget* window, const QString& path)
{
    settle();
    const bool ok = window->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

// Runs `shots(home, out)` with the application object: `home` is the private
// home, `out` the absolute output folder the command line names. Returns the
// program's exit code: 0 when every shot was written.
template <class Shots>
int runScreenshots(int argc, char** argv, Shots shots)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    // A private home, so the user's port map and settings stay untouched.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    setenv("HOME", qPrintable(home.path()), 1);
    setenv("XDG_CONFIG_HOME", qPrintable(home.filePath("config")), 1);
    setenv("XDG_DATA_HOME", qPrintable(home.filePath("data")), 1);
    setenv("TMPDIR", qPrintable(home.path()), 1);
    TApplication app(argc, argv);
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    return shots(home, out) ? 0 : 1;
}
