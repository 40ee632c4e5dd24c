// Every test program runs with the programs' application object on the
// offscreen platform and with HOME, TMPDIR and the XDG folders pointing into a
// fresh temporary folder, so no test reads or writes the real user's
// settings, data, port map or lock files.
#include "Forms.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/brindlecot-test-XXXXXX"));
    if (!home.isValid())
        return 2;
    const QString root = home.path();
    for (const char* sub : {"config", "data", "runtime", "tmp"})
        QDir(root).mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(root + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setenv("HOME", root.toLocal8Bit().constData(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").toLocal8Bit().constData(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").toLocal8Bit().constData(), 1);
    setenv("XDG_RUNTIME_DIR", (root + "/runtime").toLocal8Bit().constData(), 1);
    setenv("TMPDIR", (root + "/tmp").toLocal8Bit().constData(), 1);
    TApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
