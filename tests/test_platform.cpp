#include "ComPorts.h"
#include "Standin.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "VaComm.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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

TEST_F(ComPortMap, BuiltInMapWithoutFolder)
{
    clearComPortMap();
    struct Case {
        int number;
        const char* path;
    };
    const Case cases[] = {{1, "/dev/ttyS0"},    {32, "/dev/ttyS31"},   {33, "/dev/ttyUSB0"}, {64, "/dev/ttyUSB31"},
                          {65, "/dev/ttyACM0"}, {96, "/dev/ttyACM31"}, {97, ""},             {254, ""},
                          {0, ""},              {255, ""},             {-1, ""}};
    for (const Case& c : cases)
        EXPECT_EQ(ComPorts::devicePath(c.number).toStdString(), c.path) << "COM" << c.number;
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
