// Every test program runs with the programs' application object on the
// offscreen platform. Each test gets fresh folders of its own: HOME, TMPDIR
// and the XDG folders point into a new temporary folder, with an empty port
// map, so no test reads or writes the real user's settings, data, port map or
// lock files, nor what an earlier test of the same program left behind. The
// built-in port map's devices are looked for in an empty folder, so that no
// test, whatever it does to the map, opens a machine's serial port.
#include "ComPorts.h"
#include "Forms.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

namespace {

// Points HOME, TMPDIR and the XDG folders into `root`, which gets an empty
// port map and an empty folder for the built-in map's devices.
bool makeHome(const QString& root)
{
    QDir dir(root);
    for (const char* sub : {"config/comports", "data", "runtime", "tmp", "dev"})
        if (!dir.mkpath(QString::fromLatin1(sub)))
            return false;
    QFile::setPermissions(root + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", root.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (root + "/config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", (root + "/data").toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", (root + "/runtime").toLocal8Bit());
    qputenv("TMPDIR", (root + "/tmp").toLocal8Bit());
    ComPorts::setBuiltInDeviceFolder(root + "/dev");
    return true;
}

// Gives each test a home of its own under the program's, and the program's
// back when the test has ended.
class HomePerTest : public testing::EmptyTestEventListener {
public:
    explicit HomePerTest(const QString& programHome) : programHome_(programHome) {}

    void OnTestStart(const testing::TestInfo&) override
    {
        home_ = std::make_unique<QTemporaryDir>(programHome_ + "/test-XXXXXX");
        if (!home_->isValid() || !makeHome(home_->path()))
            ADD_FAILURE() << "no fresh home for the test under " << programHome_.toStdString();
    }
    void OnTestEnd(const testing::TestInfo&) override
    {
        makeHome(programHome_);
        home_.reset();
    }

private:
    QString programHome_;
    std::unique_ptr<QTemporaryDir> home_;
};

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/brindlecot-test-XXXXXX"));
    if (!home.isValid() || !makeHome(home.path()))
        return 2;
    // Caches (fonts) outlive a test.
    qputenv("XDG_CACHE_HOME", (home.path() + "/cache").toLocal8Bit());
    testing::UnitTest::GetInstance()->listeners().Append(new HomePerTest(home.path()));
    TApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
