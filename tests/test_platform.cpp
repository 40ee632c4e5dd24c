#include "ComPorts.h"
#include "Standin.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "VaComm.h"
#include "VaConfigDialog.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

using namespace testsupport;

TEST(StrToInt, ConvertsDecimalOrRaises)
{
    struct Case {
        const char* text;
        bool ok;
        int32_t value;
    };
    const Case cases[] = {
        {"5", true, 5},           {"254", true, 254},     {" 12", true, 12},    {"12 ", true, 12},
        {"-3", true, -3},         {"+7", true, 7},        {"0", true, 0},       {"2147483647", true, 2147483647},
        {"-2147483648", true, INT32_MIN},
        {"", false, 0},           {"X", false, 0},        {"1X", false, 0},     {"1 2", false, 0},
        {"-", false, 0},          {"2147483648", false, 0}, {"99999999999999999999", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        if (c.ok) {
            EXPECT_EQ(StrToInt(c.text), c.value);
        } else {
            try {
                StrToInt(c.text);
                ADD_FAILURE() << "no conversion error";
            } catch (const EConvertError& e) {
                EXPECT_EQ(std::string(e.what()), std::string("'") + c.text + "' is not a valid integer value");
            }
        }
    }
}

TEST(StrToFloat, ConvertsDecimalWithPointOrRaises)
{
    struct Case {
        const char* text;
        bool ok;
        double value;
    };
    const Case cases[] = {
        {"3", true, 3.0},     {"3.0", true, 3.0},   {"3.10", true, 3.1},  {" 2.9 ", true, 2.9},
        {"-1.5", true, -1.5}, {"+2", true, 2.0},    {".5", true, 0.5},    {"3.", true, 3.0},
        {"1e3", true, 1000},  {"2.5E-1", true, 0.25},
        {"", false, 0},       {" ", false, 0},      {"abc", false, 0},    {"3,0", false, 0},
        {"3.0x", false, 0},   {"1e", false, 0},     {"e5", false, 0},     {".", false, 0},
        {"-", false, 0},      {"3..0", false, 0},   {"1e999", false, 0},  {"nan", false, 0},
        {"inf", false, 0},    {"0x10", false, 0},   {"3 .0", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        if (c.ok) {
            EXPECT_DOUBLE_EQ(StrToFloat(c.text), c.value);
        } else {
            try {
                StrToFloat(c.text);
                ADD_FAILURE() << "no conversion error";
            } catch (const EConvertError& e) {
                EXPECT_EQ(std::string(e.what()), std::string("'") + c.text + "' is not a valid floating point value");
            }
        }
    }
}

// The bound is a float's own range: its largest value and the tiniest ones
// pass, the next double past it and anything not finite raise.
TEST(ImageFloat, TakesWhatAFloatHoldsAndRaisesOnTheRest)
{
    struct Case {
        double value;
        const char* refused; // the value as the message shows it; nullptr when taken
    };
    const double flt = static_cast<double>(FLT_MAX);
    const Case cases[] = {
        {0.8, nullptr},
        {flt, nullptr},
        {-flt, nullptr},
        {1e-60, nullptr}, // a float holds it as 0
        {std::nextafter(flt, HUGE_VAL), "3.40282347e+38"},
        {std::nextafter(-flt, -HUGE_VAL), "-3.40282347e+38"},
        {1e41, "1e+41"},
        {HUGE_VAL, "inf"},
        {-HUGE_VAL, "-inf"},
        {std::nan(""), "nan"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(FitsImageFloat(c.value), c.refused == nullptr);
        if (!c.refused) {
            EXPECT_EQ(ImageFloat(c.value), static_cast<float>(c.value));
            continue;
        }
        try {
            ImageFloat(c.value);
            ADD_FAILURE() << "no range error";
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), std::string("'") + c.refused + "' is too large a value");
        }
    }
    // A value the user typed is named as typed.
    const std::string typed(40, '9');
    try {
        CheckImageFloat(std::stod(typed), typed);
        ADD_FAILURE() << "no range error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(std::string(e.what()), "'" + typed + "' is too large a value");
    }
}

TEST(TickCounter, DeadlinesHoldAcrossTheWrap)
{
    EXPECT_TRUE(tickReached(1000, 1000));
    EXPECT_FALSE(tickReached(999, 1000));
    // A deadline set just before the counter wraps lies after it.
    const uint32_t now = 0xFFFFFF00u;
    const uint32_t deadline = now + 3000u; // wrapped to a small number
    EXPECT_FALSE(tickReached(now, deadline));
    EXPECT_FALSE(tickReached(0x10u, deadline));
    EXPECT_TRUE(tickReached(deadline, deadline));
    EXPECT_TRUE(tickReached(deadline + 5, deadline));
}

class ComPortMap : public ::testing::Test {
protected:
    void TearDown() override { clearComPortMap(); }
};

namespace {

// While it lives, the user's configuration folder is a fresh one, so the
// program has never seen a port map there.
class FreshConfigFolder {
public:
    FreshConfigFolder() : saved_(qgetenv("XDG_CONFIG_HOME"))
    {
        qputenv("XDG_CONFIG_HOME", dir_.path().toLocal8Bit());
    }
    ~FreshConfigFolder() { qputenv("XDG_CONFIG_HOME", saved_); }

private:
    QTemporaryDir dir_;
    QByteArray saved_;
};

// While it lives, the built-in map's devices are looked for in a folder of
// the test's own instead of the test program's empty one.
class OwnDeviceFolder {
public:
    OwnDeviceFolder() : saved_(ComPorts::builtInDeviceFolder()) { ComPorts::setBuiltInDeviceFolder(dir_.path()); }
    ~OwnDeviceFolder() { ComPorts::setBuiltInDeviceFolder(saved_); }
    // A device name in it ("ttyS0"); a path ("/dev/pts/7") and "" stay as they are.
    std::string path(const char* name) const
    {
        return *name && *name != '/' ? dir_.filePath(name).toStdString() : name;
    }

private:
    QTemporaryDir dir_;
    QString saved_;
};

void writeText(const QString& path, const QByteArray& text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

} // namespace

TEST_F(ComPortMap, BuiltInMapWithoutFolder)
{
    const FreshConfigFolder fresh;
    const OwnDeviceFolder devices;
    struct Case {
        int number;
        const char* name;
    };
    const Case cases[] = {{1, "ttyS0"},    {32, "ttyS31"},   {33, "ttyUSB0"}, {64, "ttyUSB31"},
                          {65, "ttyACM0"}, {96, "ttyACM31"}, {97, ""},        {254, ""},
                          {0, ""},         {255, ""},        {-1, ""}};
    for (const Case& c : cases)
        EXPECT_EQ(ComPorts::devicePath(c.number).toStdString(), devices.path(c.name)) << "COM" << c.number;

    // Opened where the map says: a terminal there can be opened, anything
    // else cannot.
    standin::Standin sensor;
    ASSERT_TRUE(QFile::link(QString::fromStdString(sensor.slavePath()), QString::fromStdString(devices.path("ttyUSB0"))));
    writeText(QString::fromStdString(devices.path("ttyS1")), "not a terminal");
    EXPECT_TRUE(ComPorts::canOpen(33));
    EXPECT_FALSE(ComPorts::canOpen(2));
    EXPECT_FALSE(ComPorts::canOpen(1));
}

TEST_F(ComPortMap, TestProgramsReachNoDeviceOfTheMachine)
{
    // Whatever a test does to the map (removes it, or looks in a folder the
    // program never saw), no number names a device under /dev.
    for (const bool freshFolder : {false, true}) {
        SCOPED_TRACE(freshFolder ? "a configuration folder never seen" : "the map removed");
        clearComPortMap();
        std::optional<FreshConfigFolder> fresh;
        if (freshFolder)
            fresh.emplace();
        for (int n = 1; n <= ComPorts::MaxPortNumber; ++n)
            EXPECT_FALSE(ComPorts::devicePath(n).startsWith("/dev/")) << "COM" << n;
    }
}

TEST_F(ComPortMap, AnythingAtTheMapsPlaceKeepsTheBuiltInMapAway)
{
    // What is at the map's path, once and then later while the program runs;
    // with a map folder, COM3 is mapped to /dev/pts/77. Built-in devices are
    // named without their folder.
    struct Case {
        const char* what;
        std::function<void(const QString& map)> first, later;
        const char* com1;
        const char* com3;
    };
    const auto folder = [](const QString& map) {
        QDir().mkpath(map);
        QFile::link("/dev/pts/77", map + "/com3");
    };
    const auto nothing = [](const QString&) {};
    const auto removed = [](const QString& map) {
        QDir(map).removeRecursively();
        QFile::remove(map);
    };
    const Case cases[] = {
        {"nothing", nothing, nothing, "ttyS0", "ttyS2"},
        {"a folder", folder, nothing, "", "/dev/pts/77"},
        {"a file", [](const QString& map) { writeText(map, "com3 /dev/pts/77\n"); }, nothing, "", ""},
        {"a dangling link", [](const QString& map) { QFile::link(map + "-missing", map); }, nothing, "", ""},
        {"a link to a folder",
         [&](const QString& map) {
             folder(map + "-real");
             QFile::link(map + "-real", map);
         },
         nothing, "", "/dev/pts/77"},
        {"a folder that vanishes", folder, removed, "", ""},
        {"a folder replaced by a file", folder,
         [&](const QString& map) {
             removed(map);
             writeText(map, "");
         },
         "", ""},
        {"a folder that appears", nothing, folder, "", "/dev/pts/77"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const FreshConfigFolder fresh;
        const OwnDeviceFolder devices;
        const QString map = ComPorts::mapFolder();
        c.first(map);
        ComPorts::devicePath(1); // the program looks at the map
        c.later(map);
        EXPECT_EQ(ComPorts::devicePath(1).toStdString(), devices.path(c.com1));
        EXPECT_EQ(ComPorts::devicePath(3).toStdString(), devices.path(c.com3));
        EXPECT_EQ(ComPorts::devicePath(33).toStdString(), devices.path(*c.com1 ? "ttyUSB0" : ""));
    }
}

TEST_F(ComPortMap, TextEntriesAreTakenRelativeToDev)
{
    struct Case {
        QByteArray text;
        const char* path;
    };
    const Case cases[] = {
        {"pts/5", "/dev/pts/5"},
        {"ttyUSB0\n", "/dev/ttyUSB0"},
        {"  /dev/ttyACM1  \nsecond line\n", "/dev/ttyACM1"},
        {"./ttyS4", "/dev/ttyS4"},
        {"../run/serial", "/run/serial"},
        {"", ""},
        {"\n/dev/ttyS1\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        QDir().mkpath(ComPorts::mapFolder());
        writeText(ComPorts::mapFolder() + "/com8", c.text);
        EXPECT_EQ(ComPorts::devicePath(8).toStdString(), c.path);
    }
    EXPECT_EQ(ComPorts::deviceFromText(" ttyUSB2 ").toStdString(), "/dev/ttyUSB2");
    EXPECT_EQ(ComPorts::deviceFromText("/tmp/x").toStdString(), "/tmp/x");

    // Listed and opened alike, whatever the current folder is.
    standin::Standin sensor;
    const QString slave = QString::fromStdString(sensor.slavePath());
    ASSERT_TRUE(slave.startsWith("/dev/"));
    writeText(ComPorts::mapFolder() + "/com8", slave.mid(5).toLocal8Bit());
    const QString saved = QDir::currentPath();
    for (const QString& cwd : {QStringLiteral("/"), QStringLiteral("/tmp"), QStringLiteral("/dev")}) {
        SCOPED_TRACE(cwd.toStdString());
        QDir::setCurrent(cwd);
        EXPECT_TRUE(ComPorts::canOpen(8));
        TVaComm port;
        port.PortNum = 8;
        EXPECT_NO_THROW(port.Open());
        EXPECT_TRUE(port.Active());
        port.Close();
    }
    QDir::setCurrent(saved);
}

TEST_F(ComPortMap, PortDialogListsTheDevicesOfTheMapOnly)
{
    standin::Standin first, second;
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::vector<std::pair<std::string, std::string>> items; // text, device
    };
    const Case cases[] = {
        {"map folder",
         [&] {
             mapComPort(3, first.slavePath());
             writeText(ComPorts::mapFolder() + "/com7", QByteArray::fromStdString(second.slavePath()).mid(5));
             mapComPort(9, "/dev/nonexistent-tty");
         },
         {{"COM3: " + first.slavePath(), first.slavePath()}, {"COM7: " + second.slavePath(), second.slavePath()}}},
        {"empty map folder", [] { QDir().mkpath(ComPorts::mapFolder()); }, {}},
        {"a file in the map's place", [] { writeText(ComPorts::mapFolder(), "x"); }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clearComPortMap();
        QFile::remove(ComPorts::mapFolder());
        c.arrange();
        TVaConfigDialog dialog;
        std::vector<std::pair<std::string, std::string>> items;
        for (int i = 0; i < dialog.DeviceList->count(); ++i)
            items.emplace_back(dialog.DeviceList->item(i)->text().toStdString(),
                               dialog.DeviceList->item(i)->data(Qt::UserRole).toString().toStdString());
        EXPECT_EQ(items, c.items);
    }
    QFile::remove(ComPorts::mapFolder());

    // A chosen item fills the field; a typed relative path is taken relative
    // to /dev.
    mapComPort(3, first.slavePath());
    TVaComm comm;
    TVaConfigDialog dialog;
    dialog.Comm = &comm;
    TVaConfigDialog::ExecuteHook = [](TVaConfigDialog& d) {
        d.DeviceList->setCurrentRow(0);
        return true;
    };
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(comm.DeviceName.toStdString(), first.slavePath());
    TVaConfigDialog::ExecuteHook = [&](TVaConfigDialog& d) {
        d.DevicePathEdit->setText(QString::fromStdString(second.slavePath()).mid(5));
        return true;
    };
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(comm.DeviceName.toStdString(), second.slavePath());
    TVaConfigDialog::ExecuteHook = nullptr;
}

TEST_F(ComPortMap, FolderIsTheWholeMap)
{
    mapComPort(3, "/dev/pts/77");
    QFile text(ComPorts::mapFolder() + "/com200");
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("  /dev/ttyUSB7  \nignored second line\n");
    text.close();
    EXPECT_EQ(ComPorts::devicePath(3).toStdString(), "/dev/pts/77");
    EXPECT_EQ(ComPorts::devicePath(200).toStdString(), "/dev/ttyUSB7");
    // Ports without an entry do not exist, built-in numbers included.
    EXPECT_EQ(ComPorts::devicePath(1).toStdString(), "");
    EXPECT_EQ(ComPorts::devicePath(4).toStdString(), "");
}

TEST_F(ComPortMap, OpenFailuresCarryTheSystemReason)
{
    QTemporaryDir dir;
    const QString plain = dir.path() + "/not-a-tty";
    QFile f(plain);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    mapComPort(5, plain.toStdString());

    TVaComm missing;
    missing.PortNum = 6;
    try {
        missing.Open();
        FAIL() << "opened a port that is not mapped";
    } catch (const EVaCommError& e) {
        EXPECT_EQ(std::string(e.what()), "COM6 does not exist");
    }
    EXPECT_FALSE(missing.Active());

    TVaComm notTty;
    notTty.PortNum = 5;
    try {
        notTty.Open();
        FAIL() << "opened a plain file as a serial port";
    } catch (const EVaCommError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot open COM5 (" + plain.toStdString() + "): "), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(notTty.Active());
}

TEST_F(ComPortMap, PermissionDeniedNamesTheFix)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root may open any device";
    standin::Standin sensor;
    QFile::setPermissions(QString::fromStdString(sensor.slavePath()), QFile::ReadOwner);
    mapComPort(7, sensor.slavePath());
    TVaComm port;
    port.PortNum = 7;
    try {
        port.Open();
        FAIL() << "opened a device without permission";
    } catch (const EVaCommError& e) {
        EXPECT_NE(std::string(e.what()).find("the user must be allowed to use the device"), std::string::npos)
            << e.what();
    }
}

TEST_F(ComPortMap, PortClosesItselfWhenTheDeviceGoesAway)
{
    standin::Standin sensor;
    mapComPort(2, sensor.slavePath());
    TVaComm port;
    port.PortNum = 2;
    port.Open();
    ASSERT_TRUE(port.Active());
    QString reason;
    QObject::connect(&port, &TVaComm::PortLost, [&](const QString& r) { reason = r; });
    sensor.hangUp();
    EXPECT_TRUE(pumpUntil([&] { return !port.Active(); }, 3000));
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_EQ(port.ReadBuf(nullptr, 0), 0);
    uint8_t b[4];
    EXPECT_EQ(port.ReadBuf(b, 4), 0);
    EXPECT_EQ(port.WriteBuf(b, 4), 0);
}
