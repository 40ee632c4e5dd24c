// The stand-in sensor as a program: it maps its pseudo-terminal as a COM port
// and, when it stops, leaves the user's port map as it found it.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>

#include <signal.h>

namespace {

// Starts the program with its own configuration folder; returns once it has
// mapped its port.
class StandinProgram {
public:
    explicit StandinProgram(const QString& configHome)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", configHome);
        process.setProcessEnvironment(env);
        process.start(STANDIN_EXE, {"--com", "9", "--baud", "0"});
        started = process.waitForStarted(5000) &&
                  testsupport::pumpUntil(
                      [this] { return process.state() != QProcess::Running || output().contains("Ctrl-C"); }, 10000) &&
                  process.state() == QProcess::Running;
    }
    // Stops it as Ctrl-C does; true when it ended by itself.
    bool stop(int signal = SIGINT)
    {
        ::kill(static_cast<pid_t>(process.processId()), signal);
        return process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }
    QString output()
    {
        text += QString::fromLocal8Bit(process.readAllStandardOutput());
        return text;
    }

    QProcess process;
    QString text;
    bool started = false;
};

} // namespace

TEST(StandinProgram, LeavesThePortMapAsItFoundIt)
{
    struct Case {
        const char* what;
        bool folderBefore;  // the map folder exists before it starts
        bool otherEntry;    // someone maps another port while it runs
        int signal;
        bool folderAfter;
    };
    const Case cases[] = {
        {"no map before, stopped with Ctrl-C", false, false, SIGINT, false},
        {"no map before, stopped with kill", false, false, SIGTERM, false},
        {"no map before, another entry added meanwhile", false, true, SIGINT, true},
        {"a map before", true, false, SIGINT, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir home;
        const QString map = home.path() + "/comports";
        if (c.folderBefore)
            QDir().mkpath(map);
        StandinProgram standin(home.path());
        ASSERT_TRUE(standin.started) << standin.output().toStdString();
        EXPECT_TRUE(QFileInfo(map + "/com9").isSymLink());
        // It says what its map folder does to the port list when it made it.
        EXPECT_EQ(standin.output().contains("is the whole port map"), !c.folderBefore)
            << standin.output().toStdString();
        if (c.otherEntry)
            QFile::link("/dev/null", map + "/com4");
        ASSERT_TRUE(standin.stop(c.signal));
        EXPECT_FALSE(QFileInfo(map + "/com9").isSymLink());
        EXPECT_EQ(QFileInfo(map).isDir(), c.folderAfter);
        EXPECT_EQ(QFileInfo(map + "/com4").isSymLink(), c.otherEntry);
    }
}

TEST(StandinProgram, RefusesAMapPlaceThatIsNoFolder)
{
    QTemporaryDir home;
    const QString map = home.path() + "/comports";
    QFile file(map);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", home.path());
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(STANDIN_EXE, {"--com", "9", "--baud", "0"});
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(process.readAllStandardError().contains("cannot create"));
    EXPECT_TRUE(QFileInfo(map).isFile());
}
