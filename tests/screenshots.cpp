// Takes the screenshots in docs/: the start-up window listing two stand-in
// sensors' ports, the about box, the main window on each of its pages
// connected to a stand-in sensor, its operations with the datum dialog, and
// the set-up dialog's pages with the register map and the schedule pages.
// Run by scripts/screenshots.sh under a virtual X server.
//
//   brindlecot-screenshots OUTPUT_FOLDER
#include "ABOUT.h"
#include "Brindlecot.h"
#include "ComPorts.h"
#include "Forms.h"
#include "ComCtrls.h"
#include "Dialogs.h"
#include "StdCtrls.h"
#include "HvSensor_Quarn.h"
#include "ModbusRegistersForm.h"
#include "SensorSetupUnit.h"
#include "IniFiles.h"
#include "Sonde.h"
#include "ExtCtrls.h"
#include "SensorFormUnit.h"
#include "SetPressureReferenceUnit.h"
#include "ScreenshotSupport.h"
#include "Standin.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeWidgetItem>

#include <cstring>
#include <memory>

#include <cstdio>
#include <cstdlib>
#include <functional>

static bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

// The main window connected to the stand-in on COM3, on each of its pages.
static bool mainWindowPages(standin::Standin& sensor, QWidget* startUp, const QString& out)
{
    sensor.setLineRate(0);
    standin::Sonde sonde(sensor, 20 * 1024);
    sonde.placeInTypicalWater();

    TSensorForm window(startUp, "COM3", startUp);
    window.show();
    if (!waitFor([&] { return window.ClockTimer->isActive(); }, 20000)) {
        std::printf("the main window did not connect\n");
        return false;
    }
    waitFor([] { return false; }, 1200); // the clocks have ticked
    bool ok = save(&window, out + "/main-status.png");
    const struct {
        QToolButton* button;
        const char* file;
        int settleMs;
    } pages[] = {
        {window.MonitorBtn, "main-monitor.png", 2500},
        {window.StartStopBtn, "main-logging.png", 300},
        {window.DataBtn, "main-collect.png", 300},
        {window.SetClockBtn, "main-clock.png", 300},
        {window.UserCalibrationBtn, "main-calibration.png", 300},
    };
    for (const auto& page : pages) {
        page.button->click();
        if (page.button == window.SetClockBtn)
            window.SetClockRadioGroup->SetItemIndex(1); // shows the date and time fields
        waitFor([] { return false; }, page.settleMs);
        ok = save(&window, out + "/" + page.file) && ok;
    }
    window.StatusBtn->click();
    window.FormClose();
    return ok;
}

// The main window's operations on the stand-in on COM9: the Collect page
// after a download, the Logging page filled in, the Calibration page on a
// depth channel, and the datum dialog in each of its modes.
static bool operationsShots(standin::Standin& sensor, QWidget* startUp, const QString& out)
{
    sensor.setLineRate(0);
    standin::Sonde sonde(sensor, 20 * 1024);
    sonde.model->update([](standin::SensorState& s) { s.measureMs = 0; });
    sonde.reference->place(standin::channels::Depth, 1.2);
    sonde.reference->place(standin::channels::Temperature, 14.2);
    // Whatever the window would ask or say goes to the console.
    Dialogs::setHook([](const ShownMessage& m) {
        std::printf("message: %s\n", qPrintable(m.text));
        return int(mrOk);
    });

    TSensorForm window(startUp, "COM9", startUp);
    window.show();
    if (!waitFor([&] { return window.ClockTimer->isActive(); }, 20000)) {
        std::printf("the main window did not connect\n");
        Dialogs::setHook(nullptr);
        return false;
    }
    window.DataBtn->click();
    const QString name = window.DlFileNameEditBox->text();
    window.CollectDataBtn->click();
    window.DlFileNameEditBox->setText(name + QStringLiteral("_1"));
    window.DlCollectionOptions->SetItemIndex(2);
    waitFor([] { return false; }, 1500); // the clock has listed the files
    bool ok = save(&window, out + "/main-collect-download.png");

    window.StartStopBtn->click();
    window.InitialsEditBox->setText(QStringLiteral("JS"));
    window.CommentsMemo->setPlainText(QStringLiteral("Field visit: new batteries, cleaned the sensor"));
    window.ClearMemoryCheckBox->setChecked(true);
    ok = save(&window, out + "/main-logging-start.png") && ok;

    window.UserCalibrationBtn->click();
    window.ChannelNameBox->setCurrentText(QStringLiteral("Depth"));
    window.ChannelNameBoxChange();
    window.CalibrationTypeRadioGroup->SetItemIndex(ctSetDatumReferences);
    ok = save(&window, out + "/main-calibration-datum.png") && ok;

    {
        TSetPressureReferenceForm datum(&window, &window.Sensor->ConfData, &window.Sensor->CalData,
                                        &window.Sensor->Status, window.Sensor.get(), "Depth");
        datum.show();
        const std::pair<int, const char*> modes[] = {
            {dmSurfaceLevel, "datum-dialog.png"},
            {dmTopOfCase, "datum-dialog-top-of-case.png"},
            {dmDepth, "datum-dialog-depth.png"},
        };
        for (const auto& [mode, file] : modes) {
            datum.RadioGroup1->SetItemIndex(mode);
            if (mode != dmDepth)
                datum.DatumValueEdit->setText(QStringLiteral("2.5"));
            datum.GCV_BtnClick();
            ok = save(&datum, out + "/" + file) && ok;
        }
    }
    window.StatusBtn->click();
    window.FormClose();
    Dialogs::setHook(nullptr);
    return ok;
}

// The set-up dialog on the stand-in's images, with some channels in other
// units so that every family page has a channel to show it.
static bool setupDialogShots(const QString& out)
{
    namespace ch = standin::channels;
    TSensor_Quarn sensor(nullptr);
    standin::SensorImages images = standin::defaultImages();
    auto unit = [&](int c, uint8_t code, const char* text) {
        images.cal.Channels[c].UnitsCode = code;
        SetImageText(images.cal.Channels[c].UnitsText, text);
    };
    unit(ch::Cond, ucTdsMgL, "mg/l");
    SetImageText(images.cal.Channels[ch::Cond].Name, "TDS");
    unit(ch::Salinity, ucTssMgL, "mg/l");
    SetImageText(images.cal.Channels[ch::Salinity].Name, "TSS");
    unit(ch::OdoSat, ucDoPpm, "DO ppm");
    SetImageText(images.cal.Channels[ch::OdoSat].Name, "ODO ppm");
    images.cal.CompensationTable[images.cal.Channels[ch::Depth].CompensationNumbers[2]].Coeffs[1] = 0.8f;
    sensor.ConfData = images.conf;
    sensor.CalData = images.cal;
    sensor.Status.MemoryCapacity = 2097152;
    sensor.Status.MemoryUsed = 524288;
    std::memcpy(sensor.Status.FirmwareVersion, "2.31", 5);

    TSensorSetupForm form(nullptr, &sensor.ConfData, &sensor.CalData, &sensor.Status, &sensor);
    form.show();
    bool ok = save(&form, out + "/setup-sensor-info.png");
    const auto show = [&](QTreeWidgetItem* node, const char* file) {
        form.Treeview->setCurrentItem(node);
        return save(&form, out + "/" + file);
    };
    const auto channel = [&](const char* name) -> QTreeWidgetItem* {
        for (int i = 0; i < form.ChannelsNode->childCount(); ++i)
            if (form.ChannelsNode->child(i)->text(0) == QLatin1String(name))
                return form.ChannelsNode->child(i);
        return form.ChannelsNode;
    };
    const std::pair<const char*, const char*> channels[] = {
        {"Battery", "setup-channel-battery.png"},     {"Depth", "setup-channel-pressure.png"},
        {"Temperature", "setup-channel-plain.png"},   {"ODO mg/l", "setup-channel-do-mgl.png"},
        {"ODO ppm", "setup-channel-do-ppm.png"},      {"TDS", "setup-channel-tds.png"},
        {"TSS", "setup-channel-tss.png"},             {"Turbidity", "setup-channel-turbidity.png"},
    };
    for (const auto& [name, file] : channels)
        ok = show(channel(name), file) && ok;
    ok = show(form.ChannelsNode, "setup-monitor.png") && ok;
    ok = show(form.ModbusNode, "setup-modbus.png") && ok;

    TModbusRegistersForm1 registers(&form);
    registers.show();
    ok = save(&registers, out + "/modbus-register-map.png") && ok;
    return ok;
}

// The set-up dialog on the stand-in's images: a schedule's logging
// settings, a trigger start, and the schedule overview.
static bool saveSchedulePages(const QString& out)
{
    TSensor_Quarn device(nullptr);
    const standin::SensorImages images = standin::defaultImages();
    device.ConfData = images.conf;
    device.CalData = images.cal;
    device.Status.MemoryCapacity = 2097152;
    device.Status.MemoryUsed = 524288;
    TSensorSetupForm form(nullptr, &device.ConfData, &device.CalData, &device.Status, &device);
    form.show();
    const auto select = [&form](QTreeWidgetItem* node) {
        form.Treeview->setCurrentItem(node);
        settle();
    };
    select(form.SchedulesNode->child(0));
    bool ok = save(&form, out + "/setup-schedule.png");
    select(form.SchedulesNode->child(1));
    form.SchedulePageControl->setCurrentWidget(form.StartMethodTab);
    ok = save(&form, out + "/setup-trigger.png") && ok;
    select(form.SchedulesNode);
    ok = save(&form, out + "/setup-schedule-overview.png") && ok;
    return ok;
}

// Takes all the shots into `out`; false when one could not be written.
static bool takeShots(QTemporaryDir& home, const QString& out)
{
    standin::Standin first, second;
    const QString map = ComPorts::mapFolder();
    QDir().mkpath(map);
    QFile::link(QString::fromStdString(first.slavePath()), map + "/com3");
    QFile::link(QString::fromStdString(second.slavePath()), map + "/com9");
    setExeName(home.filePath("BrindlecotProject"));
    TIniFile(TStartUpForm::IniFileName()).WriteString("Defaults", "Comport", "COM9");

    TStartUpForm form;
    form.show();
    bool ok = save(&form, out + "/startup-window.png");
    TAboutBox about(&form);
    about.show();
    ok = save(&about, out + "/about-box.png") && ok;
    about.hide();

    ok = mainWindowPages(first, &form, out) && ok;
    ok = operationsShots(second, &form, out) && ok;
    form.hide();
    ok = setupDialogShots(out) && ok;
    ok = saveSchedulePages(out) && ok;
    return ok;
}

int main(int argc, char** argv)
{
    return runScreenshots(argc, argv, takeShots);
}
