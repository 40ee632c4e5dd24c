// Connecting the comms-mode utility, as a user does it: "Standard connect"
// with the baud-rate search, stopping the logger and the jump to the boot
// code, the check for a sensor already in its boot code, and "Power cycle
// connect"; end to end against the stand-in sensor on a pseudo-terminal.
#include "PortModeFixture.h"

using standin::Response;
using standin::SerialOptions;

namespace {

class Connect : public PortModeFixture {
protected:
    // The status texts from `first` on, up to the first one not wanted.
    static bool inOrder(const QStringList& texts, const QStringList& wanted)
    {
        int at = 0;
        for (const QString& t : texts)
            if (at < wanted.size() && t == wanted[at])
                ++at;
        return at == wanted.size();
    }
};

} // namespace

TEST_F(Connect, FindsTheSensorsBaudRate)
{
    struct Case {
        int selection; // the sensor's baud rate in its menu
        std::map<int, int> probes;
        int barAtBanner;
    };
    const Case cases[] = {
        {5, {{19200, 1}}, 1},
        {3, {{19200, 4}, {9600, 4}, {4800, 1}}, 9},
        {1, {{19200, 4}, {9600, 4}, {4800, 4}, {2400, 4}, {1200, 1}}, 17},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selection);
        bootCode.setOptions(SerialOptions{c.selection, 2, 17});
        bootCode.clearLog();
        line.clearLog();
        statusTexts.clear();
        int bar = -1;
        const auto watch = QObject::connect(form->StatusTxt, &TCaptionLabel::CaptionChanged, [&](const QString& t) {
            if (t.startsWith("Connection established at "))
                bar = form->ProgressBar1->value();
        });

        click(form->ConnectBtn);
        QObject::disconnect(watch);

        const QString rate = QString::number(standin::baudOfSelection(c.selection));
        EXPECT_EQ(bootCode.probes(), c.probes);
        EXPECT_EQ(bar, c.barAtBanner);
        EXPECT_TRUE(inOrder(statusTexts, {rate, "Connection established at " + rate, "Attempting to connect to sensor",
                                          "Sensor awake", "Scheduler stopped",
                                          "JumpToBoot command succesful, waiting for sensor to reboot",
                                          "Sensor connected, bootcode loaded", "Received baud rate",
                                          "Received communications mode", "Receiving modbus address",
                                          "Received modbus address", ""}))
            << statusTexts.join(" | ").toStdString();
        EXPECT_TRUE(progressTexts.contains("Trying Com3 at " + rate));
        // The framed commands went at the sensor's rate (it hears no other):
        // null, status, then the jump with its null command.
        EXPECT_EQ(commands(), "00 00 13 00 0C");
        EXPECT_EQ(bootCode.jumps(), 1);
        // The options read and sent back unchanged.
        EXPECT_EQ(bootCode.keys(), "CB" + std::to_string(c.selection) + "CC2CM17\r");
        EXPECT_EQ(page(), form->TabSheet2);
        EXPECT_EQ(form->BaudRateCB->currentIndex(), c.selection - 1);
        EXPECT_EQ(form->CommsModeIndex(), cmRs232Ascii);
        EXPECT_EQ(form->ModbusAddressEB->text(), "17");
        EXPECT_TRUE(form->inBootCode);
        EXPECT_EQ(form->PortName, "Com3");
        EXPECT_TRUE(shown.isEmpty()) << shown.join(" | ").toStdString();
        EXPECT_TRUE(portIsFree());
        EXPECT_EQ(statusTexts.last(), "");

        // Back to the firmware for the next case.
        click(form->CancelBtn);
        ASSERT_EQ(bootCode.mode(), standin::BootCode::Mode::Rebooting);
        ASSERT_TRUE(bootCode.waitFor([](const standin::BootCode& b) { return b.mode() == standin::BootCode::Mode::Firmware; }, 2000));
        EXPECT_FALSE(form->inBootCode);
    }
}

TEST_F(Connect, LoggingIsStoppedBeforeTheJump)
{
    struct Case {
        const char* name;
        bool logging;
        bool stopRefused;
        const char* commands;
        QStringList texts;
    };
    const Case cases[] = {
        {"not logging", false, false, "00 00 13 00 0C", {"Sensor awake", "Scheduler stopped", "JumpToBoot command succesful, waiting for sensor to reboot"}},
        {"logging", true, false, "00 00 13 00 11 00 0C",
         {"Sensor awake", "Scheduler running", "Scheduler stopped", "JumpToBoot command succesful, waiting for sensor to reboot"}},
        {"stop refused", true, true, "00 00 13 00 11 00 0C",
         {"Sensor awake", "Scheduler running", "Failed to stop scheduler",
          "JumpToBoot command succesful, waiting for sensor to reboot"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        model->update([&](standin::SensorState& s) {
            s.logging = c.logging;
            s.refuse.clear();
            if (c.stopRefused)
                s.refuse[17] = 0x85;
        });
        line.clearLog();
        statusTexts.clear();
        click(form->ConnectBtn);
        EXPECT_EQ(commands(), c.commands);
        EXPECT_TRUE(inOrder(statusTexts, c.texts)) << statusTexts.join(" | ").toStdString();
        EXPECT_EQ(statusTexts.contains("Scheduler running"), c.logging);
        EXPECT_EQ(model->state().logging, c.logging && c.stopRefused);
        EXPECT_EQ(page(), form->TabSheet2);
        click(form->CancelBtn);
        ASSERT_TRUE(bootCode.waitFor([](const standin::BootCode& b) { return b.mode() == standin::BootCode::Mode::Firmware; }, 2000));
    }
}

TEST_F(Connect, StrayBytesAheadOfTheFramedRepliesAtTheLineRate)
{
    // A stray byte ahead of the answer to every new framed request (the
    // jump's own answer aside: the sensor restarts and would not hear its
    // repeat); each exchange is repeated once and the connection is made.
    model->update([](standin::SensorState& s) { s.logging = true; });
    line.setLineRate(19200);
    line.setNoise({{0x00}, {}, true, {12}});
    click(form->ConnectBtn);
    const int noisy = line.noisyAnswers();
    line.clearNoise();
    // Two null commands in a row look alike on the line: only the first is
    // spoilt.
    EXPECT_EQ(commands(), "00 00 00 13 13 00 00 11 11 00 00 0C");
    EXPECT_EQ(noisy, 5);
    EXPECT_TRUE(inOrder(statusTexts, {"Sensor awake", "Scheduler running", "Scheduler stopped",
                                      "JumpToBoot command succesful, waiting for sensor to reboot",
                                      "Sensor connected, bootcode loaded"}))
        << statusTexts.join(" | ").toStdString();
    EXPECT_EQ(bootCode.jumps(), 1);
    EXPECT_FALSE(model->state().logging);
    EXPECT_EQ(page(), form->TabSheet2);
    EXPECT_TRUE(form->inBootCode);
    EXPECT_TRUE(shown.isEmpty()) << shown.join(" | ").toStdString();
}

TEST_F(Connect, SensorAlreadyInItsBootCode)
{
    bootCode.setOptions(SerialOptions{4, 3, 200});
    bootCode.startInBootCode();
    const auto start = std::chrono::steady_clock::now();
    click(form->ConnectBtn);
    const double seconds = secondsSince(start);

    EXPECT_EQ(page(), form->TabSheet2);
    EXPECT_TRUE(line.requests().empty()) << "no framed command reaches a sensor in its boot code";
    EXPECT_EQ(bootCode.jumps(), 0);
    // The four blanks at 19200 reach the boot code as unknown keys; the
    // probes at other rates are lost. Then the first "b" answers.
    EXPECT_EQ(bootCode.keys(), "    bCB4CC3CM200\r");
    EXPECT_TRUE(progressTexts.contains("Checking for boot loader"));
    EXPECT_EQ(progressTexts.indexOf("Trying Com3 at 1200") + 1, progressTexts.indexOf("Checking for boot loader"));
    EXPECT_TRUE(statusTexts.contains("Sensor connected, bootcode loaded"));
    EXPECT_FALSE(statusTexts.contains("Attempting to connect to sensor"));
    EXPECT_EQ(form->ModbusAddressEB->text(), "200");
    EXPECT_EQ(form->CommsModeIndex(), cmRs422_485Rtu);
    EXPECT_TRUE(shown.isEmpty()) << shown.join(" | ").toStdString();
    // 20 probes of 600 ms.
    EXPECT_GT(seconds, 11.0);
    EXPECT_TRUE(portIsFree());
}

TEST_F(Connect, BootLoaderCheckNeedsTheExclamationMark)
{
    // A boot code that answers "Invalid Command" without the "!" is not
    // taken for one by the standard connect (the power-cycle connect takes
    // it, see PowerCycleConnect).
    bootCode.setInvalidCommandText("Invalid Command");
    bootCode.startInBootCode();
    click(form->ConnectBtn);
    EXPECT_EQ(page(), form->TabSheet1);
    EXPECT_EQ(shown, QStringList({"Failed to communicate with sensor"}));
    EXPECT_EQ(bootCode.keys(), "    bbbbb");
    EXPECT_FALSE(form->inBootCode);
    EXPECT_TRUE(portIsFree());
}

TEST_F(Connect, FailuresOfTheStandardConnect)
{
    struct Case {
        const char* name;
        std::function<void()> arrange;
        QString lastStatus; // before the status line is cleared
        const char* commands;
    };
    const Case cases[] = {
        {"null command refused",
         [this] { model->update([](standin::SensorState& s) { s.refuse[0] = 0x81; }); },
         "Sensor communications failed", "00"},
        {"jump refused",
         [this] { line.scriptAnswer({Response::byHandler()}); line.scriptAnswer({Response::byHandler()}); line.scriptAnswer({Response::byHandler()}); line.scriptAnswer({Response::byHandler()}); line.scriptAnswer({Response::reply(12, {}, 0x85)}); },
         "JumpToBoot Failed", "00 00 13 00 0C"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        line.clearLog();
        line.clearScript();
        model->update([](standin::SensorState& s) { s.refuse.clear(); });
        c.arrange();
        statusTexts.clear();
        shown.clear();
        click(form->ConnectBtn);
        EXPECT_EQ(shown, QStringList({"Failed to communicate with sensor"}));
        ASSERT_GE(statusTexts.size(), 2);
        EXPECT_EQ(statusTexts[statusTexts.size() - 2], c.lastStatus) << statusTexts.join(" | ").toStdString();
        EXPECT_EQ(statusTexts.last(), "");
        EXPECT_EQ(commands(), c.commands);
        EXPECT_EQ(page(), form->TabSheet1);
        EXPECT_FALSE(form->inBootCode);
        EXPECT_NE(form->Sensor, nullptr) << "the device model stays after a standard connect";
        EXPECT_TRUE(form->File1->menuAction()->isEnabled());
        EXPECT_TRUE(form->About1->isEnabled());
        EXPECT_TRUE(form->ConnectBtn->isEnabled());
        EXPECT_TRUE(portIsFree());
    }
}

TEST_F(Connect, BootCodeThatNeverComesEndsAfterItsWait)
{
    // The jump is accepted, but the restarted sensor says nothing.
    bootCode.setRebootMs(60000);
    const auto start = std::chrono::steady_clock::now();
    click(form->ConnectBtn);
    const double seconds = secondsSince(start);
    EXPECT_EQ(shown, QStringList({"Failed to communicate with sensor"}));
    ASSERT_GE(statusTexts.size(), 2);
    EXPECT_EQ(statusTexts[statusTexts.size() - 2], "JumpToBoot command succesful, waiting for sensor to reboot");
    EXPECT_GT(seconds, 9.5);
    EXPECT_LT(seconds, 20.0);
    EXPECT_EQ(page(), form->TabSheet1);
    EXPECT_TRUE(form->ConnectBtn->isEnabled());
    EXPECT_TRUE(portIsFree());
}

TEST_F(Connect, NoPortToConnectTo)
{
    testsupport::clearComPortMap();
    QDir().mkpath(ComPorts::mapFolder());
    click(form->RefreshComportList);
    ASSERT_EQ(form->AvailComportComboBox->count(), 0);
    click(form->ConnectBtn);
    EXPECT_EQ(shown, QStringList({"Failed to communicate with sensor"}));
    EXPECT_EQ(page(), form->TabSheet1);
    EXPECT_TRUE(form->File1->menuAction()->isEnabled());

    answer = [](const ShownMessage& m) { return m.buttons == mbOKCancel ? int(mrOk) : int(mrOk); };
    shown.clear();
    click(form->ConnectPCBtn);
    EXPECT_EQ(shown.last(), "Failed to communicate with sensor");
    EXPECT_EQ(form->Sensor, nullptr);
}

TEST_F(Connect, PowerCycleConnect)
{
    // The power comes back with the 11th key: the 12th is answered.
    bootCode.setOptions(SerialOptions{2, 4, 9});
    bootCode.startPoweredOff(11);
    QString prompt;
    int bar = -1;
    answer = [&](const ShownMessage& m) {
        prompt = m.text;
        EXPECT_EQ(m.type, mtInformation);
        EXPECT_EQ(m.buttons, mbOKCancel);
        return int(mrOk);
    };
    QObject::connect(form->StatusTxt, &TCaptionLabel::CaptionChanged, [&](const QString& t) {
        if (t == "Sensor connected, bootcode loaded")
            bar = form->ProgressBar1->value();
    });
    click(form->ConnectPCBtn);

    EXPECT_EQ(prompt, "1  Remove power from sensor and wait 10 seconds\n2  Press OK then apply power to sensor.");
    EXPECT_EQ(bar, 11);
    EXPECT_EQ(bootCode.bytesLost(), 11);
    EXPECT_EQ(bootCode.keys(), "bCB2CC4CM9\r");
    EXPECT_TRUE(line.requests().empty());
    EXPECT_TRUE(progressTexts.contains("Waiting for sensor to power up"));
    EXPECT_EQ(statusTexts.first(), "Attempting to connect to sensor");
    EXPECT_EQ(page(), form->TabSheet2);
    EXPECT_EQ(form->CommsModeIndex(), cmRs422_485Ascii);
    EXPECT_EQ(form->BaudRateCB->currentText(), "2400");
    EXPECT_TRUE(form->inBootCode);
    EXPECT_NE(form->Sensor, nullptr);
    EXPECT_EQ(shown, QStringList({prompt}));
    EXPECT_TRUE(portIsFree());
}

TEST_F(Connect, PowerCycleConnectTakesTheAnswerWithoutExclamationMark)
{
    bootCode.setInvalidCommandText("Invalid Command");
    bootCode.startInBootCode();
    click(form->ConnectPCBtn);
    EXPECT_EQ(page(), form->TabSheet2);
    EXPECT_EQ(bootCode.keys().substr(0, 2), "bC");
}

TEST_F(Connect, PowerCycleConnectCancelled)
{
    answer = [](const ShownMessage& m) { return m.buttons == mbOKCancel ? int(mrCancel) : int(mrOk); };
    click(form->ConnectPCBtn);
    EXPECT_EQ(shown.size(), 2);
    EXPECT_EQ(shown.last(), "Failed to communicate with sensor");
    EXPECT_EQ(form->Sensor, nullptr) << "the new device model is deleted";
    EXPECT_TRUE(line.receivedBytes().empty()) << "no port was opened";
    EXPECT_EQ(line.terminalBaud(), 38400) << "the terminal keeps the stand-in's own settings";
    EXPECT_EQ(page(), form->TabSheet1);
}

TEST_F(Connect, PowerCycleWithoutPower)
{
    bootCode.startPoweredOff(0);
    const auto start = std::chrono::steady_clock::now();
    click(form->ConnectPCBtn);
    const double seconds = secondsSince(start);
    EXPECT_EQ(bootCode.bytesLost(), 40);
    EXPECT_GT(seconds, 9.5);
    EXPECT_EQ(shown.last(), "Failed to communicate with sensor");
    EXPECT_EQ(form->Sensor, nullptr);
    EXPECT_EQ(page(), form->TabSheet1);
    EXPECT_TRUE(form->ConnectPCBtn->isEnabled());
    EXPECT_TRUE(portIsFree());
}

TEST_F(Connect, ReadingTheOptionsFails)
{
    // The boot code answers the connect, then falls silent at the address.
    bootCode.startInBootCode();
    bootCode.fallSilentOnKey('M');
    click(form->ConnectPCBtn);
    // The exit is tried after the failed read, and once more before the
    // device model goes.
    const QString exitFailed = "An error has occured. Please power cycle sensor and verify correct communications.";
    EXPECT_EQ(shown.mid(1), QStringList({exitFailed, exitFailed})) << shown.join(" | ").toStdString();
    EXPECT_TRUE(statusTexts.contains("Failed to retrieve communications options"));
    EXPECT_EQ(page(), form->TabSheet1);
    EXPECT_EQ(form->Sensor, nullptr) << "a failed power-cycle connect deletes the device model";
    EXPECT_TRUE(portIsFree());
}
