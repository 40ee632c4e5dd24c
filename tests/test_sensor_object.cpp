// The device model object: working folders, events, opening and closing the
// link, aborting a pending command.
#include "Dialogs.h"
#include "Folders.h"
#include "SensorFixture.h"
#include "SysUtils.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

using namespace testsupport;

namespace {

// Points the per-user data folder at a fresh temporary folder and records the
// messages shown.
class WorkingFolders : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        oldDataHome = qgetenv("XDG_DATA_HOME");
        setDataHome(tmp.path() + "/share");
        QDir().mkpath(tmp.path() + "/share");
        Dialogs::setHook([this](const ShownMessage& m) {
            messages.push_back(m.text.toStdString());
            return int(mrOk);
        });
    }
    void TearDown() override
    {
        Dialogs::setHook(nullptr);
        qputenv("XDG_DATA_HOME", oldDataHome);
    }
    void setDataHome(const QString& path) { qputenv("XDG_DATA_HOME", path.toLocal8Bit()); }
    std::string base() const { return (tmp.path() + "/share/Brindlecot").toStdString(); }
    static void makeFile(const QString& path)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }

    QTemporaryDir tmp;
    QByteArray oldDataHome;
    std::vector<std::string> messages;
};

} // namespace

TEST_F(WorkingFolders, MissingFoldersAreCreated)
{
    TSensor_Quarn sensor(nullptr);
    EXPECT_EQ(sensor.DataFolder, base() + "/");
    EXPECT_EQ(sensor.BackupFolder, base() + "/Backup/");
    EXPECT_TRUE(DirectoryExists(base()));
    EXPECT_TRUE(DirectoryExists(base() + "/data"));
    EXPECT_TRUE(DirectoryExists(base() + "/Backup"));
    EXPECT_TRUE(messages.empty());
}

TEST_F(WorkingFolders, DataFolderOfAFreshAccountIsMade)
{
    // A user who never ran a desktop program has no data folder yet.
    const QString fresh = tmp.path() + "/fresh/.local/share";
    setDataHome(fresh);
    TSensor_Quarn sensor(nullptr);
    EXPECT_EQ(sensor.DataFolder, fresh.toStdString() + "/Brindlecot/");
    EXPECT_TRUE(DirectoryExists(fresh.toStdString() + "/Brindlecot/data"));
    EXPECT_TRUE(DirectoryExists(fresh.toStdString() + "/Brindlecot/Backup"));
    EXPECT_TRUE(messages.empty());
}

TEST_F(WorkingFolders, ExistingTreeIsUsedUnchanged)
{
    const QString root = QString::fromStdString(base());
    QDir().mkpath(root + "/data/SensorA");
    QDir().mkpath(root + "/Backup");
    makeFile(root + "/Backup/SIM1.cal");
    makeFile(root + "/data/SensorA/log.bin");
    {
        TSensor_Quarn sensor(nullptr);
        EXPECT_EQ(sensor.DataFolder, base() + "/");
    }
    EXPECT_TRUE(FileExists(base() + "/Backup/SIM1.cal"));
    EXPECT_TRUE(FileExists(base() + "/data/SensorA/log.bin"));
    EXPECT_TRUE(messages.empty());
}

TEST_F(WorkingFolders, FolderThatCannotBeMade)
{
    // A regular file where a folder must go fails for every user, root too.
    struct Case {
        const char* what;
        std::function<void()> prepare;
        std::vector<std::string> messages;
        std::string error;
    };
    const QString share = tmp.path() + "/share";
    const Case cases[] = {
        {"data folder path runs through a file",
         [&] {
             makeFile(tmp.path() + "/plainfile");
             setDataHome(tmp.path() + "/plainfile/share");
         },
         {"unable to create directory"},
         "Cannot create data directory."},
        {"the application folder is a file",
         [&] { makeFile(share + "/Brindlecot"); },
         {"unable to create directory"},
         "Cannot create data directory."},
        {"data is a file",
         [&] {
             QDir().mkpath(share + "/Brindlecot");
             makeFile(share + "/Brindlecot/data");
         },
         {},
         "Cannot create data directory."},
        {"Backup is a file",
         [&] {
             QDir().mkpath(share + "/Brindlecot/data");
             makeFile(share + "/Brindlecot/Backup");
         },
         {},
         "Cannot create Backup directory."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(share).removeRecursively();
        QDir().mkpath(share);
        setDataHome(share);
        messages.clear();
        c.prepare();
        QObject owner;
        try {
            TSensor_Quarn sensor(&owner);
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(std::string(e.what()), c.error);
        }
        EXPECT_EQ(messages, c.messages);
        // Nothing half-made stays with the owner.
        EXPECT_TRUE(owner.children().isEmpty());
    }
}

TEST(DeviceModel, StartsUnconnectedWithNoTimes)
{
    QObject owner;
    QPointer<TSensor_Quarn> sensor = new TSensor_Quarn(&owner);
    ASSERT_NE(sensor->Comms, nullptr);
    EXPECT_EQ(sensor->Comms->parent(), sensor.data());
    EXPECT_FALSE(sensor->Comms->PortOpen);
    EXPECT_EQ(sensor->LastStatus, lsNone);
    EXPECT_EQ(sensor->Status.SensorClock, 0.0);
    EXPECT_EQ(sensor->Status.StatusTime, 0.0);
    EXPECT_EQ(sensor->Status.FirstLoggedTime, 0.0);
    EXPECT_EQ(sensor->Status.LastLoggedTime, 0.0);
    EXPECT_EQ(sensor->Status.CurrentValueCount, 0);
    EXPECT_EQ(sensor->ProgressForm, nullptr);
    EXPECT_EQ(sensor->RecordCmd, nullptr);
    // Never connected: closing reports a closed port and changes nothing.
    EXPECT_FALSE(sensor->CloseComs());
    EXPECT_FALSE(sensor->CloseComs());
}

TEST(DeviceModel, PortNamesThatCannotOpen)
{
    clearComPortMap();
    mapComPort(1, "/dev/null-does-not-exist");
    TSensor_Quarn sensor(nullptr);
    EXPECT_FALSE(sensor.StartComs("Com1", 19200));
    EXPECT_FALSE(sensor.StartComs("Com2", 19200));
    EXPECT_THROW(sensor.StartComs("ComX", 19200), EConvertError);
    EXPECT_FALSE(sensor.Comms->PortOpen);
    EXPECT_FALSE(sensor.NullCommand());
    EXPECT_EQ(sensor.LastStatus, lsPortClosed);
    clearComPortMap();
}

using DeviceModelLink = SensorFixture;

TEST_F(DeviceModelLink, EventsCarryTheDeviceModelAsSender)
{
    std::vector<std::string> texts;
    int rx = 0, tx = 0;
    QObject* const self = device.get();
    device->OnPortDebugEvent = [&](QObject* s, const std::string& t) {
        EXPECT_EQ(s, self);
        texts.push_back(t);
    };
    device->OnRxEvent = [&](QObject* s) {
        EXPECT_EQ(s, self);
        ++rx;
    };
    device->OnTxEvent = [&](QObject* s) {
        EXPECT_EQ(s, self);
        ++tx;
    };
    device->Comms->Debug("BAD_FRAME0");
    EXPECT_EQ(texts, std::vector<std::string>{"BAD_FRAME0"});
    EXPECT_TRUE(device->NullCommand());
    EXPECT_EQ(tx, 1);
    EXPECT_GE(rx, 1);

    // Unassigned events: the notifications go nowhere.
    device->OnPortDebugEvent = nullptr;
    device->OnRxEvent = nullptr;
    device->OnTxEvent = nullptr;
    device->Comms->Debug("ignored");
    EXPECT_TRUE(device->NullCommand());
    EXPECT_EQ(texts.size(), 1u);
    EXPECT_EQ(tx, 1);
}

TEST_F(DeviceModelLink, CloseComsClosesThePort)
{
    EXPECT_TRUE(device->Comms->PortOpen);
    EXPECT_FALSE(device->CloseComs());
    EXPECT_FALSE(device->Comms->PortOpen);
    EXPECT_FALSE(device->CloseComs()); // already closed: nothing changes
    EXPECT_FALSE(device->NullCommand());
    EXPECT_EQ(device->LastStatus, lsPortClosed);
    // The port can be opened again.
    EXPECT_TRUE(device->StartComs("Com1", 19200));
    EXPECT_TRUE(device->NullCommand());
    EXPECT_EQ(device->LastStatus, lsOk);
}

TEST_F(DeviceModelLink, AbortReplyEndsAPendingCommand)
{
    sensor.script({standin::Response::silence()});
    bool aborted = false;
    QTimer::singleShot(150, [&] {
        device->AbortReply();
        aborted = true;
    });
    ReplyBuffer reply{};
    uint16_t length = 0;
    uint16_t status = lsNone;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(device->LoggerStatus(&status, reply, length));
    EXPECT_LT(secondsSince(start), 1.5);
    EXPECT_TRUE(aborted);
    EXPECT_EQ(status, lsNoReply);
    EXPECT_EQ(requests(1).size(), 1u); // not sent again after the abort

    // The next command clears the abort and goes through.
    EXPECT_TRUE(device->LoggerStatus());
    EXPECT_EQ(device->LastStatus, lsOk);
}

TEST_F(DeviceModelLink, OwnerDeletesTheModelAndItsPort)
{
    auto owner = std::make_unique<QObject>();
    QPointer<TSensor_Quarn> other = new TSensor_Quarn(owner.get());
    // The fixture's model holds the port; release it for the owned one.
    device->CloseComs();
    ASSERT_TRUE(other->StartComs("Com1", 19200));
    EXPECT_TRUE(other->NullCommand());
    owner.reset();
    EXPECT_TRUE(other.isNull());
    // Its port was closed with it, so the port opens again.
    EXPECT_TRUE(device->StartComs("Com1", 19200));
    EXPECT_TRUE(device->NullCommand());
}
