// The settings page of the comms-mode utility and its walk through the
// sensor's boot-code menu: reading, writing and verifying the options,
// restoring the defaults, leaving the boot code; a sensor that stops
// answering; no second operation inside a running one. End to end against
// the stand-in's boot code, with clicks through the window system.
#include "PortModeFixture.h"

using standin::SerialOptions;
using Mode = standin::BootCode::Mode;

namespace {

const QString ExitFailed = "An error has occured. Please power cycle sensor and verify correct communications.";
const QString UpdateFailed = "Failed to update communictation options";
const QString VerifyFailed = "Failed to update verify communictation options";
const QString Verified = "Sensor communication options updated and verified successfully";

class BootMenu : public PortModeFixture {
protected:
    // The controls an operation disables, all enabled again.
    void expectControlsEnabled()
    {
        for (QWidget* w : std::initializer_list<QWidget*>{form->UpdateSensorBtn, form->CancelBtn, form->BaudRateCB,
                                                          form->CommsModeGB, form->ModBusRG, form->ModbusAddressEB,
                                                          form->RestoreDefaultsBtn, form->ConnectBtn, form->ConnectPCBtn,
                                                          form->RefreshComportList, form->HelpBtn})
            EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
        EXPECT_TRUE(form->File1->menuAction()->isEnabled());
        EXPECT_TRUE(form->About1->isEnabled());
        EXPECT_FALSE(form->IsBusy());
    }

    static std::string walk(const SerialOptions& o)
    {
        return "CB" + std::to_string(o.baudSelection) + "CC" + std::to_string(o.commsMode) + "CM" +
               std::to_string(o.modbusAddress) + "\r";
    }
};

} // namespace

TEST_F(BootMenu, ReadFillsTheSettingsPage)
{
    struct Case {
        SerialOptions sensor;
        const char* baudText;
        int line, modbus;
    };
    const Case cases[] = {
        {{1, 1, 1}, "1200", 0, 0},
        {{4, 4, 5}, "9600", 1, 1},
        {{5, 2, 247}, "19200 (Default)", 0, 1},
        {{3, 3, 23}, "4800", 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.baudText);
        bootCode.clearLog();
        bootCode.setOptions(c.sensor);
        bootCode.startInBootCode();
        click(form->ConnectPCBtn);
        ASSERT_EQ(page(), form->TabSheet2);
        EXPECT_EQ(form->BaudRateCB->currentText(), c.baudText);
        EXPECT_EQ(form->CommsModeGB->ItemIndex(), c.line);
        EXPECT_EQ(form->ModBusRG->ItemIndex(), c.modbus);
        EXPECT_EQ(form->ModbusAddressEB->text(), QString::number(c.sensor.modbusAddress));
        // Each value went back as it was read: the sensor is unchanged.
        EXPECT_EQ(bootCode.keys(), "b" + walk(c.sensor));
        EXPECT_EQ(bootCode.options(), c.sensor);
        EXPECT_EQ(progressTexts.mid(progressTexts.size() - 3),
                  QStringList({"Retrieving baudrate", "Retrieving communications mode", "Retrieving modbus address"}));
        EXPECT_EQ(form->ProgressBar1->value(), 3);
        click(form->CancelBtn);
        ASSERT_EQ(page(), form->TabSheet1);
    }
}

TEST_F(BootMenu, UpdateWritesAndVerifies)
{
    connectTo({5, 1, 1});
    setPage(3, 1, 1, "5");
    click(form->UpdateSensorBtn);

    const SerialOptions wanted{4, 4, 5};
    EXPECT_EQ(bootCode.options(), wanted);
    EXPECT_EQ(bootCode.keys(), walk(wanted) + walk(wanted));
    EXPECT_EQ(shown, QStringList({Verified}));
    EXPECT_EQ(statusTexts, QStringList({"Setting baud rate", "Setting communications mode", "Setting modbus address",
                                        "Set modbus address", "Verified baud rate", "Verified communications mode",
                                        "Receiving modbus address", "Verified modbus address", ""}));
    EXPECT_EQ(page(), form->TabSheet2);
    EXPECT_TRUE(form->inBootCode) << "the sensor stays in its boot code until Close";
    EXPECT_EQ(bootCode.mode(), Mode::MainMenu);
    expectControlsEnabled();
    EXPECT_TRUE(portIsFree());
}

TEST_F(BootMenu, RestoreDefaults)
{
    connectTo({2, 3, 100});
    click(form->RestoreDefaultsBtn);
    const SerialOptions defaults{5, 1, 1};
    EXPECT_EQ(bootCode.options(), defaults);
    EXPECT_EQ(bootCode.keys(), walk(defaults) + walk(defaults));
    EXPECT_EQ(shown, QStringList({Verified}));
    EXPECT_EQ(form->BaudRateCB->currentText(), "19200 (Default)");
    EXPECT_EQ(form->CommsModeIndex(), cmRs232Rtu);
    EXPECT_EQ(form->ModbusAddressEB->text(), "1");
    expectControlsEnabled();
}

TEST_F(BootMenu, VerifyReportsWhatDiffers)
{
    // A sensor that shows what it is told but keeps its old options.
    connectTo({4, 4, 6});
    bootCode.setReadOnly(true);
    setPage(3, 1, 1, "5");
    click(form->UpdateSensorBtn);
    EXPECT_EQ(bootCode.options(), (SerialOptions{4, 4, 6}));
    EXPECT_EQ(statusTexts.mid(4), QStringList({"Verified baud rate", "Verified communications mode",
                                               "Receiving modbus address", "Error modbus address", ""}));
    EXPECT_EQ(shown, QStringList({"Sensor communication options update failed", VerifyFailed}));
    expectControlsEnabled();
}

TEST_F(BootMenu, NoBaudRateSelectedWritesZero)
{
    connectTo({4, 1, 1});
    form->BaudRateCB->setCurrentIndex(-1);
    click(form->UpdateSensorBtn);
    EXPECT_EQ(bootCode.keys().substr(0, 3), "CB0");
    EXPECT_EQ(bootCode.options().baudSelection, 4) << "the boot code refuses 0";
    EXPECT_TRUE(statusTexts.contains("Error baud rate"));
    EXPECT_EQ(shown, QStringList({"Sensor communication options update failed", VerifyFailed}));
}

TEST_F(BootMenu, SensorThatStopsAnswering)
{
    struct Case {
        const char* name;
        char key;
        int occurrence;
        QStringList messages;
    };
    const Case cases[] = {
        {"after the baud-rate key", 'B', 1, {UpdateFailed}},
        {"after the address", '\r', 1, {UpdateFailed}},
        {"during the verification", 'M', 2, {VerifyFailed}},
    };
    connectTo({5, 1, 1});
    setPage(1, 0, 1, "12");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bootCode.setSilent(false);
        bootCode.startInBootCode();
        bootCode.fallSilentOnKey(c.key, c.occurrence);
        shown.clear();
        const auto start = std::chrono::steady_clock::now();
        click(form->UpdateSensorBtn);
        const double seconds = secondsSince(start);
        EXPECT_EQ(shown, c.messages);
        EXPECT_GE(seconds, 2.9) << "the wait lasts its 3 s";
        EXPECT_LT(seconds, 8.0);
        EXPECT_EQ(page(), form->TabSheet2);
        expectControlsEnabled();
        EXPECT_TRUE(portIsFree());
    }
}

TEST_F(BootMenu, CloseLeavesTheBootCode)
{
    connectTo({5, 1, 1});
    click(form->CancelBtn);
    EXPECT_EQ(page(), form->TabSheet1);
    EXPECT_EQ(bootCode.keys(), "e");
    EXPECT_FALSE(form->inBootCode);
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_NE(form->Sensor, nullptr);
    EXPECT_TRUE(bootCode.waitFor([](const standin::BootCode& b) { return b.mode() == Mode::Firmware; }, 2000));
    expectControlsEnabled();
    EXPECT_TRUE(portIsFree());
}

TEST_F(BootMenu, CloseWithASilentSensor)
{
    connectTo({5, 1, 1});
    bootCode.setSilent(true);
    const auto start = std::chrono::steady_clock::now();
    click(form->CancelBtn);
    EXPECT_GE(secondsSince(start), 7.9) << "four exits of 2 s";
    EXPECT_EQ(shown, QStringList({ExitFailed, ExitFailed, ExitFailed, ExitFailed,
                                  "Failed to reboot sensor. Pleasae power cycle sensor and verify correct operation"}));
    EXPECT_EQ(page(), form->TabSheet1);
    EXPECT_TRUE(form->inBootCode);
    expectControlsEnabled();
    EXPECT_TRUE(portIsFree());
}

TEST_F(BootMenu, ExitLeavesTheBootCodeFirst)
{
    struct Case {
        const char* name;
        bool silent;
        QStringList messages;
    };
    const Case cases[] = {{"answering", false, {}}, {"silent", true, {ExitFailed}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form = std::make_unique<TMainForm>();
        form->show();
        bootCode.setSilent(false);
        connectTo({5, 1, 1});
        bootCode.setSilent(c.silent);
        form->Exit1->trigger();
        EXPECT_EQ(bootCode.keys(), c.silent ? "" : "e");
        EXPECT_EQ(shown, c.messages);
        EXPECT_FALSE(form->isVisible()) << "the program ends";
        EXPECT_EQ(form->Sensor, nullptr);
        EXPECT_TRUE(portIsFree());
    }
}

TEST_F(BootMenu, ExitOutsideTheBootCodeSendsNothing)
{
    form->Exit1->trigger();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(line.receivedBytes().empty());
    EXPECT_TRUE(shown.isEmpty());
}

TEST_F(BootMenu, NoSecondOperationDuringAnUpdate)
{
    connectTo({5, 1, 1});
    setPage(3, 1, 1, "5");
    bool checked = false;
    during(400, [&] {
        checked = true;
        EXPECT_TRUE(form->IsBusy());
        EXPECT_FALSE(form->UpdateSensorBtn->isEnabled());
        EXPECT_FALSE(form->File1->menuAction()->isEnabled());
        EXPECT_FALSE(form->About1->isEnabled());
        click(form->UpdateSensorBtn);
        click(form->RestoreDefaultsBtn);
        click(form->CancelBtn);
        form->Exit1->trigger();
    });
    click(form->UpdateSensorBtn);
    ASSERT_TRUE(checked);
    const SerialOptions wanted{4, 4, 5};
    EXPECT_EQ(bootCode.keys(), walk(wanted) + walk(wanted)) << "one write and one verification only";
    EXPECT_EQ(shown, QStringList({Verified}));
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(page(), form->TabSheet2);
    expectControlsEnabled();
}

TEST_F(BootMenu, NoConnectionDuringTheExitAttemptsOfClose)
{
    connectTo({5, 1, 1});
    bootCode.setSilent(true);
    TSensor_Quarn* const device = form->Sensor.get();
    bool checked = false;
    during(500, [&] {
        checked = true;
        // The connect page shows while the exits are tried.
        EXPECT_EQ(page(), form->TabSheet1);
        EXPECT_FALSE(form->ConnectBtn->isEnabled());
        EXPECT_FALSE(form->ConnectPCBtn->isEnabled());
        click(form->ConnectBtn);
        click(form->ConnectPCBtn);
    });
    click(form->CancelBtn);
    ASSERT_TRUE(checked);
    EXPECT_EQ(form->Sensor.get(), device) << "no attempt replaced the device model in use";
    EXPECT_TRUE(line.requests().empty());
    EXPECT_EQ(shown.size(), 5) << "no power-cycle prompt, no connection failure";
    expectControlsEnabled();
}

TEST_F(BootMenu, DesktopCloseRequest)
{
    connectTo({5, 1, 1});
    // During a wait it is refused.
    bool checked = false;
    during(300, [&] {
        checked = true;
        form->windowHandle()->close(); // as the window manager asks
        EXPECT_TRUE(form->isVisible());
    });
    click(form->RestoreDefaultsBtn);
    ASSERT_TRUE(checked);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(shown, QStringList({Verified}));

    // Otherwise it leaves as File > Exit does: the boot code first.
    bootCode.clearLog();
    form->windowHandle()->close(); // as the window manager asks
    EXPECT_TRUE(testsupport::pumpUntil([&] { return !form->isVisible(); }, 5000));
    EXPECT_EQ(bootCode.keys(), "e");
    EXPECT_FALSE(form->inBootCode);
}

TEST_F(BootMenu, AddressThatIsNoNumberIsASeriousError)
{
    connectTo({5, 1, 1});
    // As a read shows a sensor's address that is no number.
    form->ModbusAddressEB->setText("x1");
    click(form->UpdateSensorBtn);
    // The closing message is the last one: the update's own failure message
    // would come after the program has said it closes.
    EXPECT_EQ(shown, QStringList({"'x1' is not a valid integer value", "Detected a serious error, closing application"}));
    EXPECT_FALSE(form->isVisible()) << "the program ends";
    EXPECT_EQ(form->Sensor, nullptr);
    EXPECT_TRUE(portIsFree());
}

// An emptied address was written as an empty line and then made the
// verification close the program; it is asked for first instead.
TEST_F(BootMenu, EmptyAddressIsAskedForBeforeAnUpdate)
{
    connectTo({5, 1, 1});
    form->ModbusAddressEB->clear();
    click(form->UpdateSensorBtn);
    EXPECT_EQ(shown, QStringList({"Modbus address can not be empty... Please enter a value between 1 and 247"}));
    EXPECT_TRUE(bootCode.keys().empty());
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->ModbusAddressEB->hasFocus());
}
