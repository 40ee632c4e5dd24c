// The Logging page, backup and restore of the images and the monitor file,
// against the stand-in and driven through the window: the exact commands
// each sends, what the stand-in holds afterwards, and the failures.
#include "OperationsFixture.h"

#include "StdCtrls.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <cstdio>

using namespace ops;

namespace {

Bytes command(std::initializer_list<uint8_t> head, const std::string& text = std::string(), bool zero = false)
{
    Bytes b(head);
    b.insert(b.end(), text.begin(), text.end());
    if (zero)
        b.push_back(0);
    return b;
}

const Bytes Null = {0};
const Bytes Status = {19};

const char* const ClearQuestion =
    "Proceeding with this command will clear all logged data in the sensor.\nDo you want to continue?";

class Logging : public OperationsFixture {
protected:
    void openLogging(bool logging = false)
    {
        model->update([logging](standin::SensorState& s) { s.logging = logging; });
        connect();
        press(form->StartStopBtn);
        ASSERT_EQ(form->ActivePage(), form->Logging);
    }
    void startStop()
    {
        mark();
        clickThroughWindow(form->StartStopBtn2);
        EXPECT_TRUE(form->StartStopBtn2->isEnabled());
        EXPECT_EQ(form->ActivePage(), form->Status);
        EXPECT_TRUE(form->StatusBtn->isChecked());
    }
};

TEST_F(Logging, StartSendsTheStartAndTheCommentOfTheInitials)
{
    struct Case {
        const char* name;
        bool tick;
        int answer; // to the clearing question
        QString initials, comment;
        std::string logged;
    };
    const Case cases[] = {
        {"initials and comment", false, mrNone, "AB", "x", "SAB_____x"},
        {"no initials", false, mrNone, "", "x", "S_______x"},
        {"seven initials, comma dropped", false, mrNone, "ABCD,EFG", "on, site", "SABCDEFGon site"},
        {"clearing answered Yes", true, mrYes, "JS", "new season", "SJS_____new season"},
        {"clearing answered No", true, mrNo, "JS", "", "SJS_____"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        openLogging();
        EXPECT_TRUE(form->ClearMemoryCheckBox->isVisible());
        const uint32_t usedBefore = model->state().memoryUsed;
        typeThroughWindow(form->InitialsEditBox, c.initials);
        typeThroughWindow(form->CommentsMemo, c.comment);
        if (c.tick)
            clickThroughWindow(form->ClearMemoryCheckBox, QPoint(8, form->ClearMemoryCheckBox->height() / 2));
        ASSERT_EQ(form->ClearMemoryCheckBox->isChecked(), c.tick);
        answer = [&](const ShownMessage&) { return c.answer; };
        startStop();

        std::vector<Bytes> expected = {Null, Status};
        if (c.answer == mrYes)
            expected.insert(expected.end(), {Null, command({3}, "Testing Memory cleared"), Null, Status});
        expected.insert(expected.end(), {Null, command({16, 3}), Null, command({8}, c.logged, true), Null, Status});
        EXPECT_EQ(commands(), expected);
        if (c.tick) {
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_EQ(shown[0].text, ClearQuestion);
            EXPECT_EQ(shown[0].type, mtWarning);
            EXPECT_EQ(shown[0].buttons, mbYesNo);
        } else {
            EXPECT_TRUE(shown.empty());
        }
        EXPECT_FALSE(form->ClearMemoryCheckBox->isChecked());

        const standin::SensorState s = model->state();
        EXPECT_TRUE(s.logging);
        EXPECT_EQ(s.startMode, 3);
        EXPECT_EQ(s.comments, std::vector<std::string>({c.logged}));
        EXPECT_EQ(s.clearTexts.size(), c.answer == mrYes ? 1u : 0u);
        EXPECT_EQ(s.memoryUsed == 0, c.answer == mrYes && usedBefore != 0);
        // The window follows the logger.
        EXPECT_EQ(form->StartStopBtn->text(), "Stop Logging");
        EXPECT_EQ(form->StartStopBtn2->text(), "Stop Logging");
        EXPECT_EQ(form->StatusTxt->text(), "Sensor status: Logging");
        EXPECT_FALSE(form->SetupSensorBtn->isEnabled());
        EXPECT_TRUE(form->DataBtn->isEnabled());

        form.reset();
        model->update([](standin::SensorState& next) {
            next.comments.clear();
            next.clearTexts.clear();
            next.memoryUsed = 123456;
        });
        shown.clear();
    }
}

TEST_F(Logging, CommentOfManyShortLinesIsLoggedWholeAndReadBack)
{
    // A line break counts as the CR LF it is sent as: the box stops at 200
    // characters as sent, and the logger keeps the note whole.
    enum Way { Typed, Pasted };
    const QString kept = QString("ab\n").repeated(50);
    std::string sent = "SJS_____";
    for (int i = 0; i < 50; ++i)
        sent += "ab\r\n";
    for (const Way way : {Typed, Pasted}) {
        const char* const name = way == Typed ? "typed" : "pasted";
        SCOPED_TRACE(name);
        log(2000);
        openLogging();
        typeThroughWindow(form->InitialsEditBox, "JS");
        clickThroughWindow(form->CommentsMemo);
        if (way == Typed) {
            for (int line = 0; line < 100; ++line) {
                for (const char key : {'a', 'b'})
                    QTest::keyClick(form->windowHandle(), key);
                QTest::keyClick(form->windowHandle(), Qt::Key_Return);
            }
        } else {
            QApplication::clipboard()->setText(QString("ab\n").repeated(100));
            QTest::keyClick(form->windowHandle(), Qt::Key_V, Qt::ControlModifier);
        }
        EXPECT_EQ(form->CommentsMemo->toPlainText(), kept);
        startStop();
        ASSERT_EQ(model->state().comments, std::vector<std::string>({sent}));

        // The logger writes the note into its records; a download gives it
        // back, each line of it a comment line of the graph file.
        logger.update([&](standin::RecordGenerator& g) {
            g.add(standin::record::Comment, standin::record::comment(model->state().comments[0]));
        });
        form->Sensor->Comms->QuietTimeMs = 300;
        press(form->DataBtn);
        form->DlFileNameEditBox->setText(QString::fromLatin1(name));
        clickThroughWindow(form->CollectDataBtn);
        ASSERT_EQ(form->StatusTxt->text(), "Download complete");
        const Bytes graph = readFile(downloads() + name + ".dat");
        std::string expected = "\r\n# SJS_____\r\n";
        for (int i = 0; i < 50; ++i)
            expected += "# ab\r\n";
        expected += "# \r\n#\r\n";
        EXPECT_NE(std::string(graph.begin(), graph.end()).find(expected), std::string::npos);
        const Bytes csv = readFile(downloads() + name + ".csv");
        EXPECT_NE(std::string(csv.begin(), csv.end()).find("\"Start Logging: SJS_____   " + sent.substr(8) + "\""),
                  std::string::npos);
        EXPECT_TRUE(shown.empty());

        form.reset();
        model->update([](standin::SensorState& next) { next.comments.clear(); });
    }
}

TEST_F(Logging, StopSendsTheStopAndTheEndComment)
{
    openLogging(true);
    EXPECT_EQ(form->StartStopBtn2->text(), "Stop Logging");
    EXPECT_FALSE(form->ClearMemoryCheckBox->isVisible());
    typeThroughWindow(form->InitialsEditBox, "KM");
    typeThroughWindow(form->CommentsMemo, "retrieved");
    startStop();
    EXPECT_EQ(commands(), std::vector<Bytes>({Null, Status, Null, command({17}), Null,
                                              command({8}, "EKM_____retrieved", true), Null, Status}));
    EXPECT_FALSE(model->state().logging);
    EXPECT_EQ(form->StartStopBtn->text(), "Start Logging");
    EXPECT_EQ(form->StartStopBtn2->text(), "Start Logging");
    EXPECT_TRUE(form->SetupSensorBtn->isEnabled());
    EXPECT_TRUE(shown.empty());
}

TEST_F(Logging, RefusedStartOrStopSaysSoAndWritesNoComment)
{
    struct Case {
        bool logging;
        uint8_t refused;
        std::string message;
        QString caption;
    };
    const Case cases[] = {
        {false, 16, "The sensor did not start logging. Please check sensor connectivity and try again.",
         "Start Logging"},
        {true, 17, "The sensor did not stop logging. Please check sensor connectivity and try again.",
         "Stop Logging"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        openLogging(c.logging);
        model->update([&](standin::SensorState& s) { s.refuse[c.refused] = 0x85; });
        startStop();
        EXPECT_EQ(commands(), std::vector<Bytes>({Null, Status, Null, command({c.refused}, c.refused == 16 ? "\x03" : "")}));
        EXPECT_EQ(messages(), std::vector<std::string>({c.message}));
        EXPECT_EQ(model->state().logging, c.logging);
        EXPECT_TRUE(model->state().comments.empty());
        EXPECT_EQ(form->StartStopBtn2->text(), c.caption);
        EXPECT_TRUE(form->DataBtn->isEnabled()) << "the bar is back to normal";
        form.reset();
        shown.clear();
        model->update([](standin::SensorState& s) { s.refuse.clear(); });
    }
}

TEST_F(Logging, SensorGoneSendsNothingMoreAfterTheFailedCheck)
{
    openLogging();
    sensor.hangUp();
    clickThroughWindow(form->StartStopBtn2);
    EXPECT_EQ(messages(), std::vector<std::string>({"Communictations with the Sensor failed, Please check connections "
                                                    "and verify correct power to the Sensor."}));
    EXPECT_EQ(form->StartStopBtn2->text(), "Start Logging");
    EXPECT_EQ(form->ActivePage(), form->Status);
    // Nothing can start again; the status line says why.
    EXPECT_FALSE(form->StartStopBtn2->isEnabled());
    EXPECT_FALSE(form->StartStopBtn->isEnabled());
    EXPECT_TRUE(form->DisconnectBtn->isEnabled());
    EXPECT_EQ(form->StatusTxt->text(), "The sensor does not answer: please Disconnect and connect again.");
}

// --- backup and restore ------------------------------------------------------

class Backups : public OperationsFixture {
protected:
    void openCalibration()
    {
        connect();
        press(form->UserCalibrationBtn);
        ASSERT_EQ(form->ActivePage(), form->Calibration);
    }
    std::string backup(const char* extension) const
    {
        return form->Sensor->BackupFolder + standin::SensorIdText + extension;
    }
};

TEST_F(Backups, BackupStoresTheSensorsImagesAndRestoreSendsThemBack)
{
    openCalibration();
    mark();
    clickThroughWindow(form->BackupBtn);
    EXPECT_EQ(form->StatusTxt->text(), "Calibration and configuration files are backed up");
    const standin::SensorImages held = sensor.images();
    EXPECT_TRUE(readFile(backup(".cal")) == standin::imageBytes(held.cal));
    EXPECT_TRUE(readFile(backup(".cfg")) == standin::imageBytes(held.conf));
    EXPECT_EQ(commandCodes(), std::vector<int>({0, 19, 0, 6, 0, 4}));
    EXPECT_TRUE(form->BackupBtn->isEnabled());
    EXPECT_TRUE(form->RestoreBtn->isEnabled());
    EXPECT_TRUE(shown.empty());

    // Someone changes the sensor; the restore puts the backup back and ends
    // the connection.
    standin::SensorImages changed = held;
    SetImageText(changed.cal.SensorName, "Changed");
    changed.conf.Schedules[1].ScanTime = 6000;
    standin::setImageCrc(changed.cal);
    standin::setImageCrc(changed.conf);
    sensor.setImages(changed);
    mark();
    clickThroughWindow(form->RestoreBtn);
    EXPECT_EQ(commandCodes(), std::vector<int>({0, 19, 0, 7, 5}));
    const standin::SensorImages now = sensor.images();
    EXPECT_TRUE(standin::imageBytes(now.cal) == standin::imageBytes(held.cal));
    EXPECT_TRUE(standin::imageBytes(now.conf) == standin::imageBytes(held.conf));
    EXPECT_EQ(form->StatusTxt->text(), "Calibration and configuration files are restored");
    EXPECT_EQ(messages(), std::vector<std::string>(
                              {"Closing sensor connection. Please re-connect to contimue with restored values."}));
    EXPECT_EQ(form->ModalResult(), mrOk) << "the window closes";
}

TEST_F(Backups, FailuresSaySoAndLeaveTheBackupAlone)
{
    openCalibration();
    // No backup of this sensor yet: nothing is sent.
    mark();
    clickThroughWindow(form->RestoreBtn);
    EXPECT_EQ(commandCodes(), std::vector<int>({0, 19}));
    EXPECT_EQ(messages(), std::vector<std::string>({"Failed to restore the calibration and configuration files "
                                                    "from the backup of this sensor."}));
    EXPECT_EQ(form->ModalResult(), mrNone);

    // A good backup, then one the sensor refuses half-way: the good one stays.
    clickThroughWindow(form->BackupBtn);
    const Bytes goodCal = readFile(backup(".cal"));
    const Bytes goodConf = readFile(backup(".cfg"));
    ASSERT_EQ(goodCal.size(), sizeof(CalibrationData));
    shown.clear();
    form->StatusTxt->setText("before");
    model->update([](standin::SensorState& s) { s.refuse[standin::cmd::GetConfiguration] = 0x85; });
    clickThroughWindow(form->BackupBtn);
    EXPECT_EQ(messages(), std::vector<std::string>({"Failed to back up the calibration and configuration files. "
                                                    "Please check sensor connectivity."}));
    EXPECT_TRUE(readFile(backup(".cal")) == goodCal);
    EXPECT_TRUE(readFile(backup(".cfg")) == goodConf);
    EXPECT_TRUE(form->BackupBtn->isEnabled());
    EXPECT_TRUE(form->RestoreBtn->isEnabled());
}

// The restore against a backup that differs from the sensor: whichever image
// the stand-in takes or refuses, memory ends holding byte for byte what the
// stand-in holds, and the message says what was restored.
TEST_F(Backups, PartialRestoreLeavesMemoryAsTheSensorAndSaysWhatWasRestored)
{
    namespace cmd = standin::cmd;
    openCalibration();
    clickThroughWindow(form->BackupBtn);
    const standin::SensorImages held = sensor.images();
    standin::SensorImages backedUp = held;
    SetImageText(backedUp.cal.SensorName, "Restored");
    backedUp.conf.Schedules[1].ScanTime = 6000;
    standin::setImageCrc(backedUp.cal);
    standin::setImageCrc(backedUp.conf);

    const std::string partly = "The calibration file was restored from the backup of this sensor, the "
                               "configuration file was not.";
    struct Case {
        const char* name;
        bool confBackup;
        uint8_t refused; // 0: none
        std::vector<int> sent;
        std::string message;
        bool calibrationRestored;
    };
    const Case cases[] = {
        {"calibration refused", true, cmd::PutCalibration, {0, 19, 0, 7},
         "Failed to restore the calibration and configuration files from the backup of this sensor.", false},
        {"no configuration backup", false, 0, {0, 19, 0, 7}, partly, true},
        {"configuration refused", true, cmd::PutConfiguration, {0, 19, 0, 7, 5}, partly, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sensor.setImages(held);
        form->Sensor->CalData = held.cal;
        form->Sensor->ConfData = held.conf;
        writeFile(backup(".cal"), standin::imageBytes(backedUp.cal));
        if (c.confBackup)
            writeFile(backup(".cfg"), standin::imageBytes(backedUp.conf));
        else
            std::remove(backup(".cfg").c_str());
        model->update([&](standin::SensorState& s) {
            s.refuse.clear();
            if (c.refused)
                s.refuse[c.refused] = 0x85;
        });
        shown.clear();
        mark();
        clickThroughWindow(form->RestoreBtn);
        EXPECT_EQ(commandCodes(), c.sent);
        EXPECT_EQ(messages(), std::vector<std::string>({c.message}));
        const standin::SensorImages now = sensor.images();
        EXPECT_TRUE(standin::imageBytes(now.cal) == standin::imageBytes(c.calibrationRestored ? backedUp.cal : held.cal));
        EXPECT_TRUE(standin::imageBytes(now.conf) == standin::imageBytes(held.conf));
        EXPECT_TRUE(standin::imageBytes(form->Sensor->CalData) == standin::imageBytes(now.cal));
        EXPECT_TRUE(standin::imageBytes(form->Sensor->ConfData) == standin::imageBytes(now.conf));
        EXPECT_TRUE(form->windowTitle().endsWith(c.calibrationRestored ? "  Sensor: Restored" : "  Sensor: Weir Sonde 4"));
        EXPECT_EQ(form->ModalResult(), mrNone) << "the window stays open";
        EXPECT_TRUE(form->BackupBtn->isEnabled());
        EXPECT_TRUE(form->RestoreBtn->isEnabled());
    }
}

// --- the monitor file ----------------------------------------------------------

class MonitorFile : public OperationsFixture {
protected:
    std::string monitorFile() const { return form->DataFolder + "Monitor.csv"; }
};

TEST_F(MonitorFile, SavedWholeAndOpenedWithTheDesktopsProgram)
{
    connect();
    press(form->MonitorBtn);
    ASSERT_TRUE(testsupport::pumpUntil([&] { return form->MonitorLines.size() >= 4; }, 10000));
    ASSERT_TRUE(form->ViewMonitorDataBtn->isVisible());
    writeFile(monitorFile(), Bytes(5000, 'z')); // an earlier, longer file
    press(form->ViewMonitorDataBtn);
    const std::vector<std::string> lines = form->MonitorLines;
    std::string expected;
    for (const std::string& line : lines)
        expected += line + "\r\n";
    // The lines up to the click, each ending as in the other CSV files; the
    // earlier file is gone.
    const Bytes got = readFile(monitorFile());
    ASSERT_GE(got.size(), 20u);
    EXPECT_LT(got.size(), 5000u);
    EXPECT_EQ(std::string(got.begin(), got.end()), expected.substr(0, got.size()));
    EXPECT_EQ(got[got.size() - 2], '\r');
    EXPECT_EQ(got.back(), '\n');
    EXPECT_EQ(std::string(got.begin(), got.begin() + 10), "Date/time,");
    EXPECT_EQ(opened, std::vector<QString>({QString::fromStdString(monitorFile())}));
    EXPECT_FALSE(form->ViewMonitorDataBtn->isDown());
    EXPECT_TRUE(shown.empty());
    press(form->StatusBtn);
}

TEST_F(MonitorFile, NoLinesWriteNothingAndAnUnwritableFileSaysSo)
{
    connect();
    form->MonitorLines.clear();
    form->ViewMonitorDataBtnClick();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(monitorFile())));
    EXPECT_TRUE(opened.empty());

    // The file cannot be replaced (a folder holds its name).
    QDir().mkpath(QString::fromStdString(monitorFile()));
    form->MonitorLines = {"Date/time,Depth,", ",Metres,"};
    form->ViewMonitorDataBtn->setDown(true);
    form->ViewMonitorDataBtnClick();
    EXPECT_EQ(messages(), std::vector<std::string>({"Unable to open/create Monitor data file. If file is in use please "
                                                    "close it before trying again."}));
    EXPECT_TRUE(opened.empty());
    EXPECT_FALSE(form->ViewMonitorDataBtn->isDown());
}

} // namespace
