// The main window against the stand-in sensor through a pseudo-terminal: the
// connection sequence with its image upgrades and failures, the status
// refresh and its guard, the button bar, the schedules grid, clearing the
// memory and adding a note (the bytes the logger receives), the clocks and
// setting the sensor clock, the monitor page and its lines, the lamps, the
// key filter, the downloads folder and closing.
#include "AddNoteFormUnit.h"
#include "DlProgress.h"
#include "ExtCtrls.h"
#include "Shape.h"
#include "FileCtrl.h"
#include "Folders.h"
#include "FormatSettings.h"
#include "Grids.h"
#include "MainWindowFixture.h"
#include "StdCtrls.h"
#include "SysUtils.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QDateEdit>
#include <QDateTimeEdit>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QRadioButton>
#include <QPushButton>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTimeEdit>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <cstring>

using standin::Bytes;
using testsupport::pumpUntil;

namespace {

Bytes bytesOf(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

std::string latin1(const QString& text)
{
    return text.toLatin1().toStdString();
}

QStringList gridRow(const TStringGrid* grid, int row)
{
    QStringList cells;
    for (int c = 0; c < grid->ColCount(); ++c)
        cells << grid->Cells(c, row);
    return cells;
}

// Splits a line of "Monitor.csv" at its commas (its fields hold none here).
std::vector<std::string> fields(const std::string& line)
{
    std::vector<std::string> out;
    std::string field;
    for (const char c : line) {
        if (c == ',') {
            out.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    EXPECT_TRUE(field.empty()) << "every line ends with a comma: " << line;
    return out;
}

class MainWindow : public MainWindowFixture {};

// --- the connection sequence ------------------------------------------------

TEST_F(MainWindow, ConnectsAndShowsTheSensorsState)
{
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    EXPECT_TRUE(shown.empty()) << shown.front().text.toStdString();
    EXPECT_EQ(w->ModalResult(), mrNone);

    // Null command before each step: images, status, logged range.
    EXPECT_EQ(commandCodes(), (std::vector<int>{0, 4, 0, 6, 0, 19, 0, 1}));
    EXPECT_EQ(model->state().fileCommands, (std::vector<uint8_t>{4, 6}));

    const standin::SensorImages images = sensor.images();
    EXPECT_EQ(std::memcmp(&w->Sensor->ConfData, &images.conf, sizeof images.conf), 0);
    EXPECT_EQ(std::memcmp(&w->Sensor->CalData, &images.cal, sizeof images.cal), 0);
    EXPECT_EQ(w->windowTitle(), "Halvorine Brindlecot Version 2.2  Sensor: Weir Sonde 4");
    EXPECT_EQ(w->ConnectionSensorID, "SIM00042");

    EXPECT_EQ(w->ActivePage(), w->Status);
    EXPECT_TRUE(w->StatusBtn->isChecked());
    EXPECT_EQ(w->StatusTxt->text(), "Sensor status: Not Logging");
    EXPECT_EQ(w->LoggingStatus->text(), " Not Logging");
    EXPECT_EQ(w->LoggingLed->BrushColor(), QColor(255, 0, 0));
    EXPECT_EQ(w->StartStopBtn->text(), "Start Logging");
    EXPECT_EQ(w->StartStopBtn2->text(), "Start Logging");
    EXPECT_FALSE(w->ClearMemoryCheckBox->isHidden());
    for (QToolButton* b : {w->StatusBtn, w->MonitorBtn, w->StartStopBtn, w->DataBtn, w->SetClockBtn,
                           w->ClearMemoryBtn, w->SetupSensorBtn, w->UserCalibrationBtn, w->AddNoteBtn,
                           w->DisconnectBtn})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();

    // The schedules of the stand-in's configuration.
    EXPECT_EQ(gridRow(w->ControlsTabGrid, 0), QStringList({"Schedule Name", "Enabled", "Scan Time", "Record Time"}));
    for (int r = 1; r <= 4; ++r) {
        SCOPED_TRACE(r);
        const ScheduleSetupData& s = images.conf.Schedules[r];
        if (r < images.conf.ScheduleCount && s.InUse) {
            const uint32_t scan = s.ScanTime, multiple = s.RecordMultiple;
            EXPECT_EQ(gridRow(w->ControlsTabGrid, r),
                      QStringList({QString::fromLatin1(ImageText(s.Name).c_str()), s.Enabled ? "Enabled" : "Paused",
                                   QString::fromStdString(TSensorForm::FormatInterval(scan)),
                                   multiple ? QString::fromStdString(TSensorForm::FormatInterval(scan * multiple))
                                            : QString()}));
        } else {
            EXPECT_EQ(gridRow(w->ControlsTabGrid, r), QStringList({"", "", "", ""}));
        }
    }
    EXPECT_EQ(w->ControlsTabGrid->Cells(0, 1), "Hourly");

    // The logged range in the date pickers.
    const QDateTime first = DateTimeToQDateTime(w->Sensor->Status.FirstLoggedTime);
    const QDateTime last = DateTimeToQDateTime(w->Sensor->Status.LastLoggedTime);
    ASSERT_LT(first, last);
    EXPECT_EQ(w->DlFromDatePicker->dateTime(), first);
    EXPECT_EQ(w->DlTillDatePicker->dateTime(), last);
    for (QDateTimeEdit* picker : {w->DlFromDatePicker, w->DlTillDatePicker}) {
        EXPECT_EQ(picker->minimumDate(), first.date());
        EXPECT_EQ(picker->maximumDate(), last.date());
    }

    // The sensor's downloads folder, shown by both file lists.
    const std::string folder = GetAppDataFolder() + "/Brindlecot/data/Weir Sonde 4/";
    EXPECT_EQ(w->DownloadsFolder, folder);
    EXPECT_TRUE(DirectoryExists(folder));
    EXPECT_EQ(w->DlFileListBox->Directory(), folder);
    EXPECT_EQ(w->FileListBox1->Directory(), folder);
    EXPECT_TRUE(w->DlDatePickerPanel->isHidden());
    EXPECT_TRUE(w->FileListBox1->isHidden());

    // The monitor columns: the enabled channels of the monitor selection.
    const ScheduleSetupData& monitor = images.conf.Schedules[0];
    int column = 0;
    for (int j = 0; j < monitor.ChannelCount; ++j) {
        const uint8_t c = monitor.Channels[j];
        if (!images.cal.Channels[c].Enabled)
            continue;
        EXPECT_EQ(ImageText(w->Sensor->Status.MonitorColumns[column].Name), ImageText(images.cal.Channels[c].Name));
        EXPECT_EQ(w->Sensor->Status.MonitorColumns[column].Precision, images.conf.ChannelSetup[c].Precision);
        ++column;
    }
    EXPECT_GE(column, 5);

    // The progress window is gone; the clocks tick.
    EXPECT_TRUE(w->findChildren<TDlProgForm*>().isEmpty());
    EXPECT_TRUE(pumpUntil([&] { return !w->TopPanelPcClockTxt->text().isEmpty(); }, 3000));
    EXPECT_EQ(w->TopPanelSensorClockTxt->text(), w->TopPanelPcClockTxt->text());
}

TEST_F(MainWindow, ConnectsThroughStrayBytesAheadOfEveryAnswer)
{
    // A sensor that puts a stray byte on the line ahead of the answer to
    // every new request, at the line's rate: each exchange of the sequence is
    // repeated once and the window connects as usual.
    sensor.setLineRate(19200);
    sensor.setNoise({{0x00}, {}, true, {}});
    TSensorForm* w = connect();
    const std::vector<int> codes = commandCodes();
    const int noisy = sensor.noisyAnswers();
    const size_t requests = sensor.requestCount();
    sensor.clearNoise();
    ASSERT_TRUE(ready(w));
    EXPECT_TRUE(shown.empty()) << shown.front().text.toStdString();
    EXPECT_EQ(codes, (std::vector<int>{0, 0, 4, 4, 0, 0, 6, 6, 0, 0, 19, 19, 0, 0, 1, 1}));
    EXPECT_EQ(noisy, static_cast<int>(requests / 2));
    const standin::SensorImages images = sensor.images();
    EXPECT_EQ(std::memcmp(&w->Sensor->ConfData, &images.conf, sizeof images.conf), 0);
    EXPECT_EQ(std::memcmp(&w->Sensor->CalData, &images.cal, sizeof images.cal), 0);
    EXPECT_EQ(w->StatusTxt->text(), "Sensor status: Not Logging");
}

TEST_F(MainWindow, OldImagesAreUpgradedAndSentBackBeforeTheNextStep)
{
    struct Case {
        const char* name;
        bool oldConf, oldCal;
        std::vector<uint8_t> fileCommands;
    };
    const Case cases[] = {
        {"configuration", true, false, {4, 5, 6}},
        {"calibration", false, true, {4, 6, 7}},
        {"both", true, true, {4, 5, 6, 7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        standin::SensorImages images = standin::defaultImages();
        if (c.oldConf)
            SetImageText(images.conf.FormatVersion, "2.5");
        if (c.oldCal)
            SetImageText(images.cal.FormatVersion, "2.1");
        standin::setImageCrc(images.conf);
        standin::setImageCrc(images.cal);
        sensor.setImages(images);
        model->update([](standin::SensorState& s) { s.fileCommands.clear(); });

        TSensorForm* w = connect();
        ASSERT_TRUE(ready(w));
        EXPECT_TRUE(shown.empty());
        EXPECT_EQ(model->state().fileCommands, c.fileCommands);
        // The logger now holds the upgraded images, as the window does.
        const standin::SensorImages now = sensor.images();
        EXPECT_EQ(ImageText(now.conf.FormatVersion), "3.0");
        EXPECT_EQ(ImageText(now.cal.FormatVersion), "3.0");
        EXPECT_EQ(std::memcmp(&w->Sensor->ConfData, &now.conf, offsetof(ConfigurationData, CRC)), 0);
        EXPECT_EQ(std::memcmp(&w->Sensor->CalData, &now.cal, offsetof(CalibrationData, CRC)), 0);
        if (c.oldConf) {
            EXPECT_EQ(now.conf.ScheduleCount, 2) << "the upgrade keeps one user schedule";
        }
        form.reset();
    }
}

TEST_F(MainWindow, FailedConnectionSequenceEndsWithItsMessagesAndCloses)
{
    struct Case {
        const char* name;
        std::function<void(MainWindow&)> arrange;
        std::string port;
        std::vector<std::string> messages;
    };
    const std::string reliable = "Failed to establish reliable communication with the sensor. please check power "
                                 "supply and cable connections";
    const Case cases[] = {
        {"port that cannot be opened",
         [](MainWindow&) { testsupport::mapComPort(3, "/nonexistent/ttyX"); },
         "COM3",
         {"Failed to establish communication with the sensor"}},
        {"empty port name", [](MainWindow&) {}, "", {"Failed to establish communication with the sensor"}},
        {"configuration refused",
         [](MainWindow& t) { t.model->update([](standin::SensorState& s) { s.refuse[4] = 0x85; }); },
         "COM3",
         {"Failed to retrieve configuration file", reliable}},
        {"calibration refused",
         [](MainWindow& t) { t.model->update([](standin::SensorState& s) { s.refuse[6] = 0x85; }); },
         "COM3",
         {"Failed to retrieve calibration file", reliable}},
        {"status refused",
         [](MainWindow& t) { t.model->update([](standin::SensorState& s) { s.refuse[19] = 0x85; }); },
         "COM3",
         {"Failed to retrieve logger status", reliable}},
        {"sensor stops answering", [](MainWindow& t) { t.muteOn(standin::cmd::GetConfiguration); }, "COM3",
         {"Failed to retrieve configuration file", reliable}},
        {"configuration whose format version is no number",
         [](MainWindow& t) {
             standin::SensorImages images = standin::defaultImages();
             SetImageText(images.conf.FormatVersion, "v3");
             standin::setImageCrc(images.conf);
             t.sensor.setImages(images);
         },
         "COM3",
         {"'v3' is not a valid floating point value", reliable}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        shown.clear();
        c.arrange(*this);
        TSensorForm* w = connect(c.port);
        EXPECT_EQ(messages(), c.messages);
        EXPECT_NE(w->ModalResult(), mrNone) << "the window asks to close";
        EXPECT_FALSE(w->ClockTimer->isActive());
        EXPECT_TRUE(w->findChildren<TDlProgForm*>().isEmpty());
        // The bar is usable: Disconnect is there for a window that stayed.
        EXPECT_TRUE(w->DisconnectBtn->isEnabled());
        form.reset();
        unmute();
        sensor.setImages(standin::defaultImages());
        model->update([](standin::SensorState& s) { s.refuse.clear(); });
        testsupport::mapComPort(3, sensor.slavePath());
    }
}

TEST_F(MainWindow, CloseAskedForDuringTheSequenceEndsItQuietly)
{
    muteOn(standin::cmd::GetCalibration);
    form = std::make_unique<TSensorForm>(nullptr, "COM3", nullptr);
    // The close comes while the sequence waits for the calibration image.
    QElapsedTimer clock;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (clock.isValid() || commandsWithCode(standin::cmd::GetCalibration).empty())
            return;
        clock.start();
        form->done(mrOk);
    });
    closer.start(10);
    form->show();
    ASSERT_TRUE(pumpUntil([&] { return sequenceEnded(form.get()); }, 20000));
    ASSERT_TRUE(clock.isValid());
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(shown.empty()) << shown.front().text.toStdString();
    EXPECT_EQ(form->ModalResult(), mrOk);
}

TEST_F(MainWindow, LoggedRangeThatFailsLeavesTheConnectionUp)
{
    model->update([](standin::SensorState& s) { s.refuse[1] = 0x85; });
    TSensorForm* w = connect();
    EXPECT_EQ(messages(), std::vector<std::string>({"Failed to retrieve logger data memory boundaries, it may me "
                                                    "neccesary to clear the logger memory if this problem persists"}));
    EXPECT_TRUE(ready(w));
    EXPECT_EQ(w->ModalResult(), mrNone);
    EXPECT_EQ(w->windowTitle(), "Halvorine Brindlecot Version 2.2  Sensor: Weir Sonde 4");
}

TEST_F(MainWindow, FirstLoggedLaterThanLastKeepsThePickersRange)
{
    logger.update([](standin::RecordGenerator&) {});
    model->update([](standin::SensorState& s) {
        s.firstLogged = {{24, 7, 2, 10, 0, 0}};
        s.lastLogged = {{24, 7, 1, 9, 0, 0}};
    });
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    EXPECT_EQ(w->DlFromDatePicker->dateTime(), QDateTime(QDate(2024, 7, 2), QTime(10, 0)));
    EXPECT_EQ(w->DlTillDatePicker->dateTime(), QDateTime(QDate(2024, 7, 1), QTime(9, 0)));
    EXPECT_LT(w->DlFromDatePicker->minimumDate(), QDate(2024, 1, 1));
    EXPECT_GT(w->DlTillDatePicker->maximumDate(), QDate(2025, 1, 1));
}

TEST_F(MainWindow, SensorNameWithASeparatorStaysInsideTheDataFolder)
{
    standin::SensorImages images = standin::defaultImages();
    SetImageText(images.cal.SensorName, "../Lake/1");
    standin::setImageCrc(images.cal);
    sensor.setImages(images);
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    const std::string folder = GetAppDataFolder() + "/Brindlecot/data/.._Lake_1/";
    EXPECT_EQ(w->DownloadsFolder, folder);
    EXPECT_TRUE(DirectoryExists(folder));
    EXPECT_EQ(w->windowTitle(), "Halvorine Brindlecot Version 2.2  Sensor: ../Lake/1");
}

TEST_F(MainWindow, DownloadsFolderThatCannotBeMadeIsReported)
{
    const QString folder = QString::fromStdString(GetAppDataFolder() + "/Brindlecot/data");
    QDir().mkpath(folder);
    {
        QFile blocker(folder + "/Weir Sonde 4");
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    TSensorForm* w = connect();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Cannot create data directory.");
    EXPECT_EQ(shown[0].type, mtError);
    // Connected all the same; the window can be closed.
    EXPECT_TRUE(ready(w));
    EXPECT_TRUE(w->findChildren<TDlProgForm*>().isEmpty()) << "the progress window is gone";
    EXPECT_TRUE(w->DisconnectBtn->isEnabled());
    QFile::remove(folder + "/Weir Sonde 4");
}

TEST_F(MainWindow, DataFolderThatCannotBeMadeEndsTheConstruction)
{
    const std::string base = GetAppDataFolder() + "/Brindlecot";
    QDir(QString::fromStdString(base)).removeRecursively();
    {
        QFile blocker(QString::fromStdString(base));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    try {
        TSensorForm w(nullptr, "COM3", nullptr);
        ADD_FAILURE() << "the window was built";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Cannot create data directory.");
    }
    EXPECT_EQ(messages(), std::vector<std::string>({"unable to create directory"}));
    QFile::remove(QString::fromStdString(base));
}

// --- status refresh, guard and button bar -------------------------------------

TEST_F(MainWindow, LoggingSensorLocksTheSettingButtons)
{
    model->update([](standin::SensorState& s) { s.logging = true; });
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    EXPECT_EQ(w->StatusTxt->text(), "Sensor status: Logging");
    EXPECT_EQ(w->LoggingStatus->text(), " Logging");
    EXPECT_EQ(w->LoggingLed->BrushColor(), QColor(0, 128, 0));
    EXPECT_EQ(w->StartStopBtn->text(), "Stop Logging");
    EXPECT_EQ(w->StartStopBtn2->text(), "Stop Logging");
    EXPECT_TRUE(w->ClearMemoryCheckBox->isHidden());
    for (QToolButton* b : {w->SetClockBtn, w->ClearMemoryBtn, w->SetupSensorBtn, w->UserCalibrationBtn})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    for (QToolButton* b : {w->StatusBtn, w->MonitorBtn, w->StartStopBtn, w->DataBtn, w->AddNoteBtn, w->DisconnectBtn})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();

    // Logging stops elsewhere: the next refresh follows.
    model->update([](standin::SensorState& s) { s.logging = false; });
    ASSERT_TRUE(w->UpdateLoggerStatus());
    EXPECT_EQ(w->StatusTxt->text(), "Sensor status: Not Logging");
    EXPECT_EQ(w->LoggingLed->BrushColor(), QColor(255, 0, 0));
    EXPECT_EQ(w->StartStopBtn2->text(), "Start Logging");
    EXPECT_FALSE(w->ClearMemoryCheckBox->isHidden());
}

TEST_F(MainWindow, ButtonStatesFollowModeAndLogging)
{
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    const std::vector<QToolButton*> always = {w->StatusBtn, w->MonitorBtn, w->StartStopBtn,
                                              w->DataBtn,   w->DisconnectBtn, w->AddNoteBtn};
    const std::vector<QToolButton*> notLogging = {w->SetClockBtn, w->ClearMemoryBtn, w->SetupSensorBtn,
                                                  w->UserCalibrationBtn};
    struct Case {
        uint8_t mode;
        bool logging;
        bool alwaysOn, notLoggingOn;
    };
    const Case cases[] = {
        {bmNormal, false, true, true},           {bmNormal, true, true, false},
        {bmBusyCalibration, false, false, false}, {bmBusyTransfer, true, false, false},
        {1, false, true, true},                   {7, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + (c.logging ? " logging" : ""));
        w->Sensor->Status.LoggingFlags = c.logging ? 1 : 0;
        w->SetButtonStates(c.mode);
        for (QToolButton* b : always)
            EXPECT_EQ(b->isEnabled(), c.alwaysOn) << b->objectName().toStdString();
        for (QToolButton* b : notLogging)
            EXPECT_EQ(b->isEnabled(), c.notLoggingOn) << b->objectName().toStdString();
    }
}

TEST_F(MainWindow, AnotherSensorOnALaterRefreshClosesTheWindow)
{
    for (const char* id : {"SIM00043", "sim00042"}) {
        SCOPED_TRACE(id);
        shown.clear();
        model->update([](standin::SensorState& s) { s.sensorId = "SIM00042"; });
        TSensorForm* w = connect();
        ASSERT_TRUE(ready(w));
        model->update([id](standin::SensorState& s) { s.sensorId = id; });
        EXPECT_FALSE(w->CheckSensorStatus());
        EXPECT_EQ(messages(), std::vector<std::string>({"Detected new sensor... To preserve data integrity sensor "
                                                        "connection will close down"}));
        EXPECT_TRUE(w->ClosingDown);
        EXPECT_NE(w->ModalResult(), mrNone);
        EXPECT_EQ(w->ConnectionSensorID, "SIM00042");
        form.reset();
    }
}

TEST_F(MainWindow, FailedGuardRefusesEveryLaterOperationQuietly)
{
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    model->update([](standin::SensorState& s) { s.refuse[19] = 0x85; });
    EXPECT_FALSE(w->CheckSensorStatus());
    EXPECT_EQ(messages(), std::vector<std::string>({"Communictations with the Sensor failed, Please check connections "
                                                    "and verify correct power to the Sensor."}));
    model->update([](standin::SensorState& s) { s.refuse.clear(); });
    EXPECT_FALSE(w->CheckSensorStatus()) << "the sensor answers again, yet the guard stays shut";
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(w->ModalResult(), mrNone) << "only the user disconnects";
    w->DisconnectBtnClick();
    EXPECT_EQ(w->ModalResult(), mrOk);
}

TEST_F(MainWindow, HangUpWhileReadyIsReportedAtTheNextOperation)
{
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    sensor.hangUp();
    EXPECT_TRUE(pumpUntil([&] { return w->StatusTxt->text().startsWith("Port closed"); }, 5000))
        << w->StatusTxt->text().toStdString();
    w->StatusBtnClick(w->SetClockBtn);
    w->UpdateTimeBtnClick();
    EXPECT_EQ(messages(), std::vector<std::string>({"Communictations with the Sensor failed, Please check connections "
                                                    "and verify correct power to the Sensor."}));
    EXPECT_EQ(w->ActivePage(), w->Status);
    w->DisconnectBtnClick();
    EXPECT_EQ(w->ModalResult(), mrOk);
}

TEST(MainWindowText, FormatInterval)
{
    const std::pair<uint32_t, const char*> cases[] = {
        {6000, "60 seconds"},   {6100, "1 minutes"},       {360000, "60 minutes"}, {360100, "1 hours"},
        {720000, "2 hours"},    {50, "0 seconds"},         {0, "0 seconds"},       {359999, "59 minutes"},
        {4294967295u, "11930 hours"},
    };
    for (const auto& [interval, text] : cases)
        EXPECT_EQ(TSensorForm::FormatInterval(interval), text) << interval;
}

TEST_F(MainWindow, SchedulesGridShowsUserSchedulesInUse)
{
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    ConfigurationData& conf = w->Sensor->ConfData;
    conf.ScheduleCount = 7;
    for (uint32_t r = 1; r <= 6; ++r) {
        ScheduleSetupData& s = conf.Schedules[r];
        s.InUse = 1;
        s.Enabled = 1;
        SetImageText(s.Name, "S" + std::to_string(r));
        s.ScanTime = 100u * r;
        s.RecordMultiple = 2;
    }
    conf.Schedules[2].Enabled = 0;     // paused
    conf.Schedules[3].RecordMultiple = 0; // no record time
    conf.Schedules[4].InUse = 0;       // free record
    w->ShowSchedulesStatus();
    EXPECT_EQ(gridRow(w->ControlsTabGrid, 1), QStringList({"S1", "Enabled", "1 seconds", "2 seconds"}));
    EXPECT_EQ(gridRow(w->ControlsTabGrid, 2), QStringList({"S2", "Paused", "2 seconds", "4 seconds"}));
    EXPECT_EQ(gridRow(w->ControlsTabGrid, 3), QStringList({"S3", "Enabled", "3 seconds", ""}));
    EXPECT_EQ(gridRow(w->ControlsTabGrid, 4), QStringList({"", "", "", ""}));
    EXPECT_EQ(w->ControlsTabGrid->RowCount(), 5) << "the spare and Modbus records have no row";

    conf.ScheduleCount = 2;
    w->ShowSchedulesStatus();
    EXPECT_EQ(gridRow(w->ControlsTabGrid, 1), QStringList({"S1", "Enabled", "1 seconds", "2 seconds"}));
    EXPECT_EQ(gridRow(w->ControlsTabGrid, 2), QStringList({"", "", "", ""}));
}

TEST_F(MainWindow, MonitorColumnsSkipDisabledChannels)
{
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    ScheduleSetupData& monitor = w->Sensor->ConfData.Schedules[0];
    ASSERT_GE(monitor.ChannelCount, 3);
    const uint8_t c0 = monitor.Channels[0], c1 = monitor.Channels[1], c2 = monitor.Channels[2];
    w->Sensor->CalData.Channels[c1].Enabled = 0;
    w->Sensor->ConfData.ChannelSetup[c2].Precision = 4;
    w->BuildMonitorChannelTable();
    const MonitorColumnData* columns = w->Sensor->Status.MonitorColumns;
    EXPECT_EQ(ImageText(columns[0].Name), ImageText(w->Sensor->CalData.Channels[c0].Name));
    EXPECT_EQ(ImageText(columns[1].Name), ImageText(w->Sensor->CalData.Channels[c2].Name))
        << "the later columns move up by one";
    EXPECT_EQ(ImageText(columns[1].UnitsText), ImageText(w->Sensor->CalData.Channels[c2].UnitsText));
    EXPECT_EQ(columns[1].Precision, 4);
}

// --- clear memory and notes -------------------------------------------------------

TEST_F(MainWindow, ClearMemoryAsksFirstAndSendsTheClearCommand)
{
    for (const int reply : {int(mrNo), int(mrYes)}) {
        SCOPED_TRACE(reply == mrYes ? "yes" : "no");
        TSensorForm* w = connect();
        ASSERT_TRUE(ready(w));
        shown.clear();
        sensor.clearLog();
        answer = [&](const ShownMessage&) { return reply; };
        QWidget* pageWhileAsking = nullptr;
        answer = [&](const ShownMessage&) {
            pageWhileAsking = w->ActivePage();
            return reply;
        };
        w->StatusBtnClick(w->ClearMemoryBtn);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text,
                  "Proceeding with this command will clear all logged data in the sensor.\nDo you want to continue?");
        EXPECT_EQ(shown[0].type, mtWarning);
        EXPECT_EQ(shown[0].buttons, mbYesNo);
        EXPECT_EQ(pageWhileAsking, w->Blank);
        if (reply == mrYes) {
            EXPECT_EQ(commandsWithCode(standin::cmd::ClearMemory),
                      std::vector<Bytes>({bytesOf("\x03Testing Memory cleared")}));
            // Cleared, then the status refreshed.
            const std::vector<int> codes = commandCodes();
            ASSERT_GE(codes.size(), 2u);
            EXPECT_EQ(std::vector<int>(codes.end() - 2, codes.end()), (std::vector<int>{0, 19}));
            EXPECT_EQ(model->state().clearTexts, std::vector<std::string>({"Testing Memory cleared"}));
        } else {
            EXPECT_TRUE(commandsWithCode(standin::cmd::ClearMemory).empty());
        }
        EXPECT_EQ(w->ActivePage(), w->Status);
        EXPECT_TRUE(w->StatusBtn->isChecked());
        answer = nullptr;
        form.reset();
    }
}

TEST_F(MainWindow, AddNoteSendsAVisitComment)
{
    struct Case {
        QString initials;
        QString comment;
        int result;
        const char* sent; // nullptr: nothing
    };
    const Case cases[] = {
        {"AB", "x", mrOk, "VAB_____x"},
        {"", "Weir cleaned", mrOk, "V_______Weir cleaned"},
        {"ABCDEFG", "", mrOk, "VABCDEFG"},
        {QStringLiteral("\u00E9t"), QStringLiteral("caf\u00E9"), mrOk, "V\xE9t_____caf\xE9"},
        // Initials and comment are converted alike: a character without a
        // Latin-1 byte is a "?" in both.
        {QStringLiteral("\u0141K"), QStringLiteral("5\u20AC"), mrOk, "V?K_____5?"},
        // Lines end in CR LF in the log.
        {"AB", "Weir cleaned\nGauge read\n", mrOk, "VAB_____Weir cleaned\r\nGauge read\r\n"},
        {"AB", "x", mrCancel, nullptr},
    };
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sent ? c.sent : "cancel");
        sensor.clearLog();
        model->update([](standin::SensorState& s) { s.comments.clear(); });
        WhenModal<TAddNoteForm> fill([&](TAddNoteForm* note) {
            note->InitialsEditBox->setText(c.initials);
            note->CommentsMemo->setPlainText(c.comment);
            note->done(c.result);
        });
        w->StatusBtnClick(w->AddNoteBtn);
        EXPECT_EQ(fill.count, 1);
        if (c.sent) {
            Bytes expected{standin::cmd::LogComment};
            const Bytes text = bytesOf(c.sent);
            expected.insert(expected.end(), text.begin(), text.end());
            expected.push_back(0);
            EXPECT_EQ(commandsWithCode(standin::cmd::LogComment), std::vector<Bytes>({expected}));
            EXPECT_EQ(model->state().comments, std::vector<std::string>({c.sent}));
        } else {
            EXPECT_TRUE(commandsWithCode(standin::cmd::LogComment).empty());
        }
        EXPECT_TRUE(w->findChildren<TAddNoteForm*>().isEmpty()) << "the dialog is deleted";
        EXPECT_EQ(w->ActivePage(), w->Status);
        EXPECT_TRUE(w->StatusBtn->isChecked());
    }
}

// --- the other buttons of the bar ---------------------------------------------

TEST_F(MainWindow, BarButtonsOpenTheirPages)
{
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    DateTimeClock::setSource(nullptr);

    w->StatusBtnClick(w->StartStopBtn);
    EXPECT_EQ(w->ActivePage(), w->Logging);

    w->DlCollectionOptions->SetItemIndex(2);
    w->StatusBtnClick(w->DataBtn);
    EXPECT_EQ(w->ActivePage(), w->Collect);
    EXPECT_EQ(w->DlCollectionOptions->ItemIndex(), 0);
    const QString expectedName =
        "Weir Sonde 4" + QLocale::system().toString(QDateTime::currentDateTime(), "_yyyyMMMdd");
    EXPECT_EQ(w->DlFileNameEditBox->text(), expectedName);

    w->SetClockRadioGroup->SetItemIndex(1);
    w->StatusBtnClick(w->SetClockBtn);
    EXPECT_EQ(w->ActivePage(), w->Clock);
    EXPECT_EQ(w->SetClockRadioGroup->ItemIndex(), 0);
    EXPECT_TRUE(w->SetClockPanel->isHidden());

    w->StatusBtnClick(w->UserCalibrationBtn);
    EXPECT_EQ(w->ActivePage(), w->Calibration);
    std::vector<std::string> expected;
    w->Sensor->zz_getCalibrationList(expected);
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(w->ChannelNameBox->count(), int(expected.size()));
    for (int i = 0; i < w->ChannelNameBox->count(); ++i)
        EXPECT_EQ(latin1(w->ChannelNameBox->itemText(i)), expected[size_t(i)]);
    EXPECT_EQ(w->ChannelNameBox->currentIndex(), 0);

    // Each click first aborts what is pending and sends the null command.
    sensor.clearLog();
    w->StatusBtnClick(w->StatusBtn);
    EXPECT_EQ(commandCodes(), std::vector<int>({0}));
    EXPECT_EQ(w->ActivePage(), w->Status);
}

// --- clocks -------------------------------------------------------------------

TEST_F(MainWindow, SensorClockShowsTheOffsetOfTheLastStatus)
{
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    w->ClockTimer->stop();
    const TDateTime now = EncodeDate(2024, 6, 26) + EncodeTime(14, 30, 5, 250);
    DateTimeClock::setSource([now] { return now; });
    const QColor normal = w->TopPanelPcClockTxt->palette().color(QPalette::WindowText);
    const struct {
        int32_t offset;
        TDateTime shown;
        QColor colour;
    } cases[] = {
        {0, now, normal},
        {1, now, normal},
        {-1, now, normal},
        {2, now + 2 / SecsPerDay, normal},
        {59, now + 59 / SecsPerDay, normal},
        {-75, now - 75 / SecsPerDay, QColor(255, 0, 0)},
        {60, now + 60 / SecsPerDay, QColor(255, 0, 0)},
        {86400 * 3, now + 3, QColor(255, 0, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offset);
        w->Sensor->Status.ClockOffsetSeconds = c.offset;
        w->ClockTimerTimer();
        EXPECT_EQ(latin1(w->TopPanelPcClockTxt->text()), TSensorForm::DateTimeText(now));
        EXPECT_EQ(latin1(w->TopPanelSensorClockTxt->text()), TSensorForm::DateTimeText(c.shown));
        EXPECT_EQ(w->TopPanelSensorClockTxt->palette().color(QPalette::WindowText), c.colour);
    }
}

TEST_F(MainWindow, SensorClockBehindThePcShowsRed)
{
    model->update([](standin::SensorState& s) { s.clockOffsetSeconds = -75; });
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    EXPECT_GE(w->Sensor->Status.ClockOffsetSeconds, -76);
    EXPECT_LE(w->Sensor->Status.ClockOffsetSeconds, -74);
    ASSERT_TRUE(pumpUntil([&] { return !w->TopPanelSensorClockTxt->text().isEmpty(); }, 3000));
    EXPECT_NE(w->TopPanelSensorClockTxt->text(), w->TopPanelPcClockTxt->text());
    EXPECT_EQ(w->TopPanelSensorClockTxt->palette().color(QPalette::WindowText), QColor(255, 0, 0));
}

TEST_F(MainWindow, SettingTheClock)
{
    model->update([](standin::SensorState& s) { s.clockOffsetSeconds = -3600; });
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    ASSERT_LE(w->Sensor->Status.ClockOffsetSeconds, -3599);

    // Set by hand: the chosen date and time, exactly.
    w->StatusBtnClick(w->SetClockBtn);
    w->SetClockRadioGroup->SetItemIndex(1);
    EXPECT_FALSE(w->SetClockPanel->isHidden());
    EXPECT_TRUE(w->SetClockPanel->isEnabled());
    EXPECT_EQ(w->SetClockDatePicker->date(), QDate::currentDate());
    w->SetClockDatePicker->setDate(QDate(2031, 2, 3));
    w->SetClockTimePicker->setTime(QTime(4, 5, 6));
    sensor.clearLog();
    w->UpdateTimeBtnClick();
    EXPECT_EQ(commandsWithCode(standin::cmd::SetClock), std::vector<Bytes>({Bytes{11, 31, 2, 3, 4, 5, 6}}));
    EXPECT_EQ(commandCodes().back(), standin::cmd::Status) << "the status is refreshed after the clock is set";
    EXPECT_GT(w->Sensor->Status.ClockOffsetSeconds, 86400 * 365);
    EXPECT_EQ(w->ActivePage(), w->Status);
    EXPECT_TRUE(w->StatusBtn->isChecked());

    // Synchronised with the PC: the offset is gone.
    w->StatusBtnClick(w->SetClockBtn);
    sensor.clearLog();
    w->UpdateTimeBtnClick();
    const auto sent = commandsWithCode(standin::cmd::SetClock);
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_EQ(sent[0].size(), 7u);
    EXPECT_LE(std::abs(w->Sensor->Status.ClockOffsetSeconds), 1);
    EXPECT_EQ(w->ActivePage(), w->Status);

    // A refused clock: no refresh, the Status page all the same, and a word
    // that the clock was not set; the sensor stays usable.
    model->update([](standin::SensorState& s) { s.refuse[11] = 0x85; });
    w->StatusBtnClick(w->SetClockBtn);
    sensor.clearLog();
    w->UpdateTimeBtnClick();
    EXPECT_EQ(commandCodes(), (std::vector<int>{0, 19, 0, 11}));
    EXPECT_EQ(w->ActivePage(), w->Status);
    EXPECT_EQ(messages(), std::vector<std::string>({"The sensor did not set its clock. Please check sensor "
                                                    "connectivity and try again."}));
    EXPECT_FALSE(w->ClosingDown);
    EXPECT_TRUE(w->SetClockBtn->isEnabled());
}

// --- monitor --------------------------------------------------------------------

TEST(MainWindowText, MonitorValuesFollowThePrecision)
{
    const struct {
        double value;
        int precision;
        const char* text;
    } cases[] = {
        {12.345f, 2, "12.35"}, {7.6f, 0, "8"}, {-0.04f, 1, "0.0"}, {1.5, 0, "2"},
        {2.25, 1, "2.3"},       {450, 3, "450.000"}, {0.1f, 6, "0.100000"},
    };
    const bool pinned = setenv("LC_ALL", "en_GB.UTF-8", 1) == 0;
    ASSERT_TRUE(pinned);
    for (const auto& c : cases)
        EXPECT_EQ(TSensorForm::FormatValue(c.value, c.precision), c.text) << c.value << " " << c.precision;
}

TEST_F(MainWindow, MonitorPollsLiveValuesAndCollectsTheirLines)
{
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    w->StatusBtnClick(w->MonitorBtn);
    EXPECT_EQ(w->ActivePage(), w->Monitor);
    EXPECT_FALSE(w->ViewMonitorDataBtn->isHidden());
    EXPECT_FALSE(w->MonitorProgressBar->isHidden());
    EXPECT_FALSE(w->MonProgLabel->isHidden());
    EXPECT_FALSE(w->AddNoteBtn->isEnabled());
    ASSERT_TRUE(pumpUntil([&] { return w->MonitorLines.size() >= 4; }, 20000));

    // Header and units from the enabled channels of the monitor selection.
    const standin::SensorImages images = sensor.images();
    const ScheduleSetupData& monitor = images.conf.Schedules[0];
    std::string header = "Date/time,", units = ",";
    std::vector<uint8_t> channels;
    for (int j = 0; j < monitor.ChannelCount; ++j) {
        const uint8_t c = monitor.Channels[j];
        if (!images.cal.Channels[c].Enabled)
            continue;
        channels.push_back(c);
        header += ImageText(images.cal.Channels[c].Name) + ",";
        units += ImageText(images.cal.Channels[c].UnitsText) + ",";
    }
    EXPECT_EQ(w->MonitorLines[0], header);
    EXPECT_EQ(w->MonitorLines[1], units);

    // Each data line: the PC time, then each value as the grid shows it.
    const std::vector<standin::ChannelValue> live = standin::monitorValues(images, *reference);
    ASSERT_EQ(live.size(), channels.size());
    for (size_t l = 2; l < 4; ++l) {
        const std::vector<std::string> cells = fields(w->MonitorLines[l]);
        ASSERT_EQ(cells.size(), channels.size() + 1) << w->MonitorLines[l];
        for (size_t i = 0; i < channels.size(); ++i)
            EXPECT_EQ(cells[i + 1], TSensorForm::FormatValue(live[i].value, images.conf.ChannelSetup[channels[i]].Precision))
                << ImageText(images.cal.Channels[channels[i]].Name);
    }
    const int n = int(channels.size());
    EXPECT_EQ(w->MonitorGrid->RowCount(), n + 3);
    EXPECT_EQ(gridRow(w->MonitorGrid, 0), QStringList({"Channel Name", "Current Value", "Units", "Last Logged Value"}));
    EXPECT_EQ(w->MonitorGrid->Cells(0, 1), QString::fromLatin1(ImageText(images.cal.Channels[channels[0]].Name).c_str()));
    EXPECT_EQ(w->MonitorGrid->Cells(3, 1), "N/A") << "nothing logged yet";
    const standin::SensorState state = model->state();
    EXPECT_EQ(gridRow(w->MonitorGrid, n + 1), QStringList({"Memory Used", QString::number(state.memoryUsed), "Bytes", ""}));
    EXPECT_EQ(w->MonitorGrid->Cells(0, n + 2), "% Memory Used");
    EXPECT_EQ(latin1(w->MonitorGrid->Cells(1, n + 2)),
              TSensorForm::FormatValue(double(state.memoryUsed) / state.memoryCapacity * 100, 1));

    // Another page ends the polling; coming back starts the file again.
    w->StatusBtnClick(w->StatusBtn);
    EXPECT_TRUE(w->ViewMonitorDataBtn->isHidden());
    EXPECT_TRUE(w->MonitorProgressBar->isHidden());
    EXPECT_TRUE(w->AddNoteBtn->isEnabled());
    pumpUntil([] { return false; }, 800);
    const size_t lines = w->MonitorLines.size();
    sensor.clearLog();
    pumpUntil([] { return false; }, 800);
    EXPECT_EQ(w->MonitorLines.size(), lines);
    EXPECT_TRUE(commandsWithCode(standin::cmd::CurrentValues).empty());
    EXPECT_FALSE(w->CurrentValuesTimer->isActive());

    w->StatusBtnClick(w->MonitorBtn);
    EXPECT_EQ(w->MonitorLines, std::vector<std::string>({header, units}));
    ASSERT_TRUE(pumpUntil([&] { return w->MonitorLines.size() >= 3; }, 20000));
    w->StatusBtnClick(w->StatusBtn);
}

TEST_F(MainWindow, MonitorFileKeepsOneCellPerField)
{
    standin::SensorImages images = standin::defaultImages();
    const uint8_t first = images.conf.Schedules[0].Channels[0];
    SetImageText(images.cal.Channels[first].Name, "Temp, top");
    standin::setImageCrc(images.cal);
    sensor.setImages(images);
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    w->StatusBtnClick(w->MonitorBtn);
    EXPECT_EQ(w->MonitorLines[0].rfind("Date/time,\"Temp, top\",", 0), 0u) << w->MonitorLines[0];
    w->StatusBtnClick(w->StatusBtn);
}

TEST_F(MainWindow, FileListsFollowTheDownloadsFolder)
{
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    w->ClockTimer->stop();
    const QString folder = QString::fromStdString(w->DownloadsFolder);
    for (const char* name : {"b.dat", "a.csv", "C.DAT", "notes.txt"})
        QFile(folder + name).open(QIODevice::WriteOnly);
    w->ClockTimerTimer();
    EXPECT_EQ(w->DlFileListBox->Items(), QStringList({"a.csv", "b.dat", "C.DAT"}));
    w->DlFileListBox->setCurrentRow(1);
    w->ClockTimerTimer();
    EXPECT_EQ(w->DlFileListBox->currentRow(), 1) << "no change, no new reading: the selection stays";
    EXPECT_EQ(w->DlFileListBox->FileName(), w->DownloadsFolder + "b.dat");
    QFile(folder + "d.csv").open(QIODevice::WriteOnly);
    w->ClockTimerTimer();
    EXPECT_EQ(w->DlFileListBox->Items(), QStringList({"a.csv", "b.dat", "C.DAT", "d.csv"}));
}

TEST_F(MainWindow, FileChosenByKeyboardNamesTheDownload)
{
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    w->ClockTimer->stop();
    const QString folder = QString::fromStdString(w->DownloadsFolder);
    for (const char* name : {"Lake.dat", "Weir.csv", "Weir.dat"})
        QFile(folder + name).open(QIODevice::WriteOnly);
    w->StatusBtnClick(w->DataBtn);
    w->ClockTimerTimer();
    ASSERT_EQ(w->DlFileListBox->Items(), QStringList({"Lake.dat", "Weir.csv", "Weir.dat"}));
    w->activateWindow();
    w->DlFileListBox->setFocus();
    QString previous;
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up}) {
        w->DlFileNameEditBox->setText("typed");
        w->DlCollectionOptions->SetItemIndex(0);
        QTest::keyClick(w->windowHandle(), key);
        const QListWidgetItem* chosen = w->DlFileListBox->currentItem();
        ASSERT_TRUE(chosen && chosen->isSelected());
        SCOPED_TRACE(chosen->text().toStdString());
        EXPECT_EQ(w->DlFileNameEditBox->text(), QFileInfo(chosen->text()).completeBaseName());
        EXPECT_EQ(w->DlCollectionOptions->ItemIndex(), 1) << "New data";
        EXPECT_NE(chosen->text(), previous) << "the key moved the choice";
        previous = chosen->text();
    }
}

// Each page the bar opens, as it shows once connected, fits the window's
// client area of 683 x 435: the page needs no more room than the window has
// (the window's size is fixed, so what does not fit is squeezed), each of the
// window's controls lies inside the client area and inside its parent, and no
// text is wider than its label or button.
TEST_F(MainWindow, EveryPageFitsTheClientArea)
{
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    struct Case {
        const char* what;
        QToolButton* button;
        std::function<bool()> shown;
    };
    const Case cases[] = {
        {"Status", w->StatusBtn, [w] { return w->ActivePage() == w->Status; }},
        {"Monitor while it polls", w->MonitorBtn, [w] { return w->MonitorProgressBar->isVisible(); }},
        {"Logging", w->StartStopBtn, [w] { return w->ActivePage() == w->Logging; }},
        {"Collect", w->DataBtn, [w] { return w->ActivePage() == w->Collect; }},
        {"Clock", w->SetClockBtn, [w] { return w->ActivePage() == w->Clock; }},
        {"Clock with its own time",
         nullptr,
         [w] {
             w->SetClockRadioGroup->SetItemIndex(1);
             return w->SetClockPanel->isVisible();
         }},
        {"Calibration", w->UserCalibrationBtn, [w] { return w->ActivePage() == w->Calibration; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.button)
            clickThroughWindow(c.button);
        ASSERT_TRUE(pumpUntil(c.shown, 5000));
        QApplication::processEvents(); // layouts settle
        EXPECT_EQ(w->width(), 683);
        EXPECT_EQ(w->height(), 435);
        const QSize needed = w->layout()->totalMinimumSize();
        EXPECT_TRUE(needed.width() <= w->width() && needed.height() <= w->height())
            << "needs " << needed.width() << " x " << needed.height();
        for (const QWidget* control : w->findChildren<QWidget*>()) {
            // The window's own controls; the parts inside Qt's widgets are Qt's.
            if (!control->isVisible() || control->objectName().isEmpty() || control->objectName().startsWith("qt_"))
                continue;
            SCOPED_TRACE(control->objectName().toStdString());
            EXPECT_TRUE(w->rect().contains(QRect(control->mapTo(w, QPoint()), control->size())));
            EXPECT_TRUE(control->parentWidget()->rect().contains(control->geometry()));
            QString text;
            int room = control->width();
            if (const auto* label = qobject_cast<const QLabel*>(control); label && !label->wordWrap()) {
                text = label->text();
                room = label->contentsRect().width();
            } else if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
                text = button->text();
            }
            for (const QString& line : text.split('\n'))
                EXPECT_LE(control->fontMetrics().horizontalAdvance(line), room) << line.toStdString();
        }
    }
    w->StatusBtnClick(w->StatusBtn);
}

TEST_F(MainWindow, MonitorShowsWhatItCannotCompute)
{
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    model->update([](standin::SensorState& s) { s.memoryCapacity = 0; });
    w->Sensor->Status.MonitorColumns[0].Precision = 1;
    w->StatusBtnClick(w->MonitorBtn);
    ASSERT_TRUE(pumpUntil([&] { return w->MonitorLines.size() >= 3; }, 20000));
    const int n = w->MonitorGrid->RowCount() - 3;
    EXPECT_EQ(w->MonitorGrid->Cells(1, n + 2), "N/A") << "no capacity, no share";
    w->StatusBtnClick(w->StatusBtn);
}

TEST_F(MainWindow, MonitorPollThatFailsAddsNoLineAndPollingGoesOn)
{
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    w->StatusBtnClick(w->MonitorBtn);
    ASSERT_TRUE(pumpUntil([&] { return w->MonitorLines.size() >= 3; }, 20000));
    const QStringList firstValues = gridRow(w->MonitorGrid, 1);
    model->update([](standin::SensorState& s) { s.refuse[18] = 0x85; });
    const size_t lines = w->MonitorLines.size();
    sensor.clearLog();
    ASSERT_TRUE(pumpUntil([&] { return commandsWithCode(standin::cmd::CurrentValues).size() >= 3; }, 20000));
    EXPECT_LE(w->MonitorLines.size(), lines + 1) << "a poll under way may still finish";
    const size_t afterRefusal = w->MonitorLines.size();
    pumpUntil([&] { return commandsWithCode(standin::cmd::CurrentValues).size() >= 5; }, 20000);
    EXPECT_EQ(w->MonitorLines.size(), afterRefusal);
    EXPECT_EQ(gridRow(w->MonitorGrid, 1), firstValues);
    EXPECT_TRUE(shown.empty()) << "a refused measurement is not the guard's failure";
    w->StatusBtnClick(w->StatusBtn);
}

TEST_F(MainWindow, MonitorProgressBarSpansOnePoll)
{
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    model->update([](standin::SensorState& s) { s.measureMs = 2300; });
    w->StatusBtnClick(w->MonitorBtn);
    EXPECT_EQ(w->MonitorProgressBar->maximum(), 20);
    ASSERT_TRUE(pumpUntil([&] { return w->MonitorLines.size() >= 3; }, 20000));
    // About 2.4 s of waiting: twice the whole seconds.
    EXPECT_GE(w->MonitorProgressBar->maximum(), 4);
    EXPECT_EQ(w->MonitorProgressBar->maximum() % 2, 0);
    // The bar steps every 500 ms while the next poll waits (this test sees
    // it only from the timer: its own checks run once the poll is over).
    int highest = 0;
    QObject::connect(w->MonitorProgressTimer, &QTimer::timeout,
                     [&] { highest = std::max(highest, w->MonitorProgressBar->value()); });
    pumpUntil([&] { return highest >= 3; }, 8000);
    EXPECT_GE(highest, 3);
    EXPECT_LE(highest, w->MonitorProgressBar->maximum());
    for (int i = 0; i < 20; ++i)
        w->MonitorProgressTimerTimer();
    EXPECT_EQ(w->MonitorProgressBar->value(), w->MonitorProgressBar->maximum());
    w->StatusBtnClick(w->StatusBtn);
    EXPECT_FALSE(w->MonitorProgressTimer->isActive());
}

TEST_F(MainWindow, QuickPollsKeepTheBarARange)
{
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    model->update([](standin::SensorState& s) { s.measureMs = 50; });
    // The range at every step of the bar and after every poll: a range of
    // 0 to 0 is drawn as a busy bar that says nothing about the poll.
    int lowestMaximum = 1000;
    QObject::connect(w->MonitorProgressTimer, &QTimer::timeout,
                     [&] { lowestMaximum = std::min(lowestMaximum, w->MonitorProgressBar->maximum()); });
    w->StatusBtnClick(w->MonitorBtn);
    for (size_t lines = 3; lines <= 6; ++lines) {
        ASSERT_TRUE(pumpUntil([&] { return w->MonitorLines.size() >= lines; }, 20000));
        lowestMaximum = std::min(lowestMaximum, w->MonitorProgressBar->maximum());
    }
    pumpUntil([] { return false; }, 1200);
    EXPECT_GE(lowestMaximum, 1);
    EXPECT_GT(w->MonitorProgressBar->maximum(), w->MonitorProgressBar->minimum());
    w->StatusBtnClick(w->StatusBtn);
}

TEST_F(MainWindow, SensorLostDuringMonitoringMarksTheValuesAndStopsTheBar)
{
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    const QColor live = w->MonitorGrid->palette().color(QPalette::Text);
    w->StatusBtnClick(w->MonitorBtn);
    ASSERT_TRUE(pumpUntil([&] { return w->MonitorLines.size() >= 3; }, 20000));
    const QStringList lastValues = gridRow(w->MonitorGrid, 1);
    sensor.hangUp();
    ASSERT_TRUE(pumpUntil([&] { return !w->MonitorProgressTimer->isActive(); }, 20000)) << "the bar stops";
    EXPECT_EQ(messages(), std::vector<std::string>({"Communictations with the Sensor failed, Please check connections "
                                                    "and verify correct power to the Sensor."}));
    // The last values stay to be read, but not as if they were live.
    EXPECT_EQ(gridRow(w->MonitorGrid, 1), lastValues);
    EXPECT_NE(w->MonitorGrid->palette().color(QPalette::Text), live);
    EXPECT_EQ(w->StatusTxt->text(),
              "Monitoring stopped: the sensor does not answer. The values shown are the last received.");
    const int position = w->MonitorProgressBar->value();
    const size_t lines = w->MonitorLines.size();
    pumpUntil([] { return false; }, 1200);
    EXPECT_EQ(w->MonitorProgressBar->value(), position);
    EXPECT_EQ(w->MonitorLines.size(), lines);
    EXPECT_FALSE(w->CurrentValuesTimer->isActive()) << "no poll can bring values any more";
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(w->ActivePage(), w->Monitor);
    EXPECT_FALSE(w->ViewMonitorDataBtn->isHidden()) << "what was collected can still be viewed";

    // A new start shows the values in the normal colour again (empty, as no
    // poll answers).
    w->StatusBtnClick(w->MonitorBtn);
    EXPECT_EQ(w->MonitorGrid->palette().color(QPalette::Text), live);
    w->StatusBtnClick(w->StatusBtn);
}

TEST_F(MainWindow, ChangedSensorDuringMonitoringClosesTheWindow)
{
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    w->StatusBtnClick(w->MonitorBtn);
    ASSERT_TRUE(pumpUntil([&] { return w->MonitorLines.size() >= 3; }, 20000));
    model->update([](standin::SensorState& s) { s.sensorId = "SIM99999"; });
    ASSERT_TRUE(pumpUntil([&] { return w->ModalResult() != mrNone; }, 20000));
    EXPECT_EQ(messages(), std::vector<std::string>({"Detected new sensor... To preserve data integrity sensor "
                                                    "connection will close down"}));
    // Not closed under the running handler: only asked to.
    EXPECT_NE(w->Sensor, nullptr);
    w->FormClose();
    EXPECT_EQ(w->Sensor, nullptr);
    EXPECT_FALSE(w->CurrentValuesTimer->isActive());
    EXPECT_FALSE(w->ClockTimer->isActive());
    EXPECT_EQ(w->ActivePage(), w->Status);
}

// --- lamps, key filter, tray, the start-up window -----------------------------------

TEST_F(MainWindow, LampsLightForOneTickAfterActivity)
{
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    w->LedTimer->stop();
    w->LedTimerTimer();
    w->LedTimerTimer();
    EXPECT_EQ(w->RxLed->BrushColor(), QColor(0, 128, 0));
    for (int i = 0; i < 50; ++i)
        w->RxActivityEvent(w->Sensor.get());
    w->TxActivityEvent(w->Sensor.get());
    w->LedTimerTimer();
    EXPECT_EQ(w->RxLed->BrushColor(), QColor(255, 0, 0));
    EXPECT_EQ(w->TxLed->BrushColor(), QColor(255, 0, 0));
    w->LedTimerTimer();
    EXPECT_EQ(w->RxLed->BrushColor(), QColor(0, 128, 0));
    EXPECT_EQ(w->TxLed->BrushColor(), QColor(0, 128, 0));

    // The device model reports the link's traffic.
    w->Sensor->NullCommand();
    EXPECT_TRUE(w->RxFlag);
    EXPECT_TRUE(w->TxFlag);
}

TEST_F(MainWindow, InitialsAndCommentTakeNoComma)
{
    TSensorForm w(nullptr, "COM3", nullptr);
    w.show();
    w.StartTimer->stop();
    struct Case {
        QWidget* field;
        const char* typed;
        QString kept;
    };
    const Case cases[] = {
        {w.InitialsEditBox, "a,b", "ab"},
        {w.InitialsEditBox, "J-K 1!", "J-K 1!"},
        {w.InitialsEditBox, "x`y~z", "xyz"},
        {w.CommentsMemo, "pH 7,4 {ok} [x] ^_|", "pH 74 {ok} [x] ^_|"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        w.InitialsEditBox->clear();
        w.CommentsMemo->clear();
        QTest::keyClicks(c.field, c.typed);
        const QString text = c.field == w.InitialsEditBox ? w.InitialsEditBox->text() : w.CommentsMemo->toPlainText();
        EXPECT_EQ(text, c.kept);
    }
    // Characters beyond ASCII are dropped; editing keys still work.
    w.InitialsEditBox->clear();
    for (const QString& typed : {QString::fromUtf8("\xC3\xA9"), QString("a"), QString("b")}) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, typed);
        QApplication::sendEvent(w.InitialsEditBox, &press);
    }
    EXPECT_EQ(w.InitialsEditBox->text(), "ab");
    QTest::keyClick(w.InitialsEditBox, Qt::Key_Backspace);
    QTest::keyClick(w.InitialsEditBox, Qt::Key_Left);
    QTest::keyClick(w.InitialsEditBox, Qt::Key_Delete);
    EXPECT_EQ(w.InitialsEditBox->text(), "");
    w.CommentsMemo->clear();
    QTest::keyClicks(w.CommentsMemo, "a");
    QTest::keyClick(w.CommentsMemo, Qt::Key_Return);
    QTest::keyClicks(w.CommentsMemo, "b");
    EXPECT_EQ(w.CommentsMemo->toPlainText(), "a\nb");
}

TEST_F(MainWindow, PastedCommasAndTabsNeverReachTheLoggingComment)
{
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    clickThroughWindow(w->StartStopBtn);
    ASSERT_EQ(w->ActivePage(), w->Logging);
    const auto paste = [&](const char* text) {
        QApplication::clipboard()->setText(QString::fromLatin1(text));
        QTest::keyClick(w->windowHandle(), Qt::Key_V, Qt::ControlModifier);
    };
    clickThroughWindow(w->InitialsEditBox);
    paste("A,B");
    paste("A\tB");
    paste("AB");
    EXPECT_EQ(w->InitialsEditBox->text(), "AB");
    clickThroughWindow(w->CommentsMemo);
    for (const char key : std::string("ok"))
        QTest::keyClick(w->windowHandle(), key);
    paste("a,b");
    paste("x\ty");
    // With Meta (Super) or AltGr held a key types its character all the
    // same, so the comment's rule judges it.
    const struct {
        Qt::Key code;
        QString typed;
        Qt::KeyboardModifiers held;
    } modified[] = {
        {Qt::Key_Comma, ",", Qt::MetaModifier},
        {Qt::Key_QuoteLeft, "`", Qt::MetaModifier},
        {Qt::Key_Eacute, QStringLiteral("\u00E9"), Qt::MetaModifier},
        {Qt::Key_Comma, ",", Qt::ControlModifier | Qt::AltModifier},
    };
    for (const auto& m : modified)
        QTest::sendKeyEvent(QTest::Click, w->windowHandle(), m.code, m.typed, m.held);
    paste(" fine");
    QMimeData data;
    data.setText("3,5");
    QDropEvent drop(QPointF(4, 4), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->CommentsMemo->viewport(), &drop);
    // Tab leaves the comment.
    QTest::keyClick(w->windowHandle(), Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), w->CommentsMemo);
    EXPECT_EQ(w->CommentsMemo->toPlainText(), "ok fine");

    clickThroughWindow(w->StartStopBtn2);
    EXPECT_EQ(model->state().comments, std::vector<std::string>({"SAB_____ok fine"}));
}

TEST_F(MainWindow, CalibrationKindsCanBeReplaced)
{
    TSensorForm w(nullptr, "COM3", nullptr);
    w.StartTimer->stop();
    TRadioGroup* kinds = w.CalibrationTypeRadioGroup;
    EXPECT_EQ(kinds->Items(), QStringList({"1 Point Offset", "1 Point Span", "2 Points: Span and Offset",
                                           "Restore factory default", "Set Datum References"}));
    kinds->SetItemIndex(4);
    int clicks = 0;
    QObject::connect(kinds, &TRadioGroup::Click, [&] { ++clicks; });
    kinds->SetItems({"1 Point Offset", "1 Point Span"});
    EXPECT_EQ(kinds->Count(), 2);
    EXPECT_EQ(kinds->ItemIndex(), -1);
    kinds->AddItem("2 Points: Span and Offset");
    kinds->SetItemIndex(2);
    EXPECT_EQ(kinds->ItemIndex(), 2);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(kinds->Items(), QStringList({"1 Point Offset", "1 Point Span", "2 Points: Span and Offset"}));
    QTest::mouseClick(kinds->Button(0), Qt::LeftButton);
    EXPECT_EQ(kinds->ItemIndex(), 0);
    EXPECT_EQ(clicks, 2);
}

TEST_F(MainWindow, StartUpWindowFollowsTheMainWindow)
{
    QWidget startUp;
    startUp.resize(357, 152);
    startUp.show();
    TSensorForm w(&startUp, "COM3", &startUp);
    w.StartTimer->stop();
    w.show();
    w.move(200, 150);
    QApplication::processEvents();
    const QPoint mine = w.frameGeometry().center();
    const QPoint other = startUp.frameGeometry().center();
    EXPECT_LE(std::abs(mine.x() - other.x()), 1);
    EXPECT_LE(std::abs(mine.y() - other.y()), 1);

    // A move of the start-up window alone is left as it is until the main
    // window moves again.
    startUp.move(10, 10);
    QApplication::processEvents();
    w.CentreStartUpForm();
    EXPECT_LE(std::abs(startUp.frameGeometry().center().x() - mine.x()), 1);
}

TEST_F(MainWindow, TrayIconHidesAndShowsBothWindows)
{
    QWidget startUp;
    startUp.show();
    TSensorForm w(&startUp, "COM3", &startUp);
    w.StartTimer->stop();
    w.show();
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        ASSERT_NE(w.TrayIcon1, nullptr);
        EXPECT_TRUE(w.TrayIcon1->isVisible()) << "shown from the start";
    } else {
        // The offscreen desktop has no tray: no icon at all, not even one
        // that would show nowhere.
        EXPECT_TRUE(w.findChildren<QSystemTrayIcon*>().isEmpty());
    }
    w.TrayIcon1Click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(startUp.isVisible());
    w.TrayIcon1Click();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(startUp.isVisible());
}

TEST_F(MainWindow, NoCloseFromTheFrame)
{
    TSensorForm* w = connect();
    ASSERT_TRUE(ready(w));
    EXPECT_FALSE(w->windowFlags() & Qt::WindowCloseButtonHint);
    w->close();
    QTest::keyClick(w, Qt::Key_Escape);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->ModalResult(), mrNone);
}

} // namespace
