// The button bar, the status refresh and its guard, the Status page with the
// schedules grid, the monitor column cache, clearing the memory and adding a
// note to the log.
#include "SensorFormUnit.h"

#include "AddNoteFormUnit.h"
#include "Dialogs.h"
#include "ExtCtrls.h"
#include "Folders.h"
#include "Shape.h"
#include "Grids.h"
#include "HvSensor_Quarn.h"
#include "OperationScope.h"
#include "StdCtrls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>

#include <cstring>
#include <memory>

namespace {

// Cell painting shared by both grids: the header row in the fixed colour,
// the text on one line, centred both ways.
void drawGridCell(const TStringGrid* grid, QPainter& canvas, int column, int row, const QRect& rect, bool boldCell)
{
    const bool header = row < grid->FixedRows();
    canvas.fillRect(rect, header ? grid->FixedColor() : grid->Color());
    QFont font = grid->font();
    font.setBold(boldCell);
    canvas.setFont(font);
    canvas.setPen(grid->palette().color(QPalette::Text));
    canvas.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, grid->Cells(column, row));
}

// The status line's word on a sensor that gives no answer.
QString notAnswering()
{
    return QStringLiteral("The sensor does not answer: please Disconnect and connect again.");
}

} // namespace

bool TSensorForm::UpdateLoggerStatus()
{
    if (!Sensor || !Sensor->LoggerStatus())
        return false;

    const std::string id = ImageText(Sensor->Status.ConnectedSensorID);
    if (ConnectionSensorID.empty()) {
        ConnectionSensorID = id;
    } else if (ConnectionSensorID != id) {
        ShowMessage(std::string("Detected new sensor... To preserve data integrity sensor connection will close down"));
        ClosingDown = 1;
        done(mrCancel);
    }

    const bool logging = (Sensor->Status.LoggingFlags & 0x01) != 0;
    const QString caption = logging ? QStringLiteral("Stop Logging") : QStringLiteral("Start Logging");
    // A lost connection's reason stays in the status line.
    if (!ClosingDown)
        StatusTxt->setText(logging ? QStringLiteral("Sensor status: Logging")
                                   : QStringLiteral("Sensor status: Not Logging"));
    StartStopBtn->setText(caption);
    StartStopBtn2->setText(caption);
    ClearMemoryCheckBox->setVisible(!logging);
    LoggingLed->SetBrushColor(logging ? LampGreen() : LampRed());
    LoggingLed->Repaint();
    LoggingStatus->setText(logging ? QStringLiteral(" Logging") : QStringLiteral(" Not Logging"));
    return true;
}

bool TSensorForm::CheckSensorStatus()
{
    // The connection is lost for good: nothing more is sent.
    if (ClosingDown)
        return false;
    const unsigned abortsBefore = userAborts_;
    if (UpdateLoggerStatus())
        return !ClosingDown;
    // The user ended the wait (Disconnect, or another button of the bar,
    // whose own command may also have taken this request's answer): the
    // operation stops, but the sensor has not failed.
    if (userAborts_ != abortsBefore)
        return false;
    sensorDoesNotAnswer();
    return false;
}

void TSensorForm::sensorDoesNotAnswer()
{
    // Said once: a monitor poll every 100 ms must not repeat it. The window
    // behind the message already shows why its buttons are off.
    if (ClosingDown)
        return;
    SensorLost(notAnswering());
    ShowMessage(std::string("Communictations with the Sensor failed, Please check connections and verify "
                            "correct power to the Sensor."));
}

void TSensorForm::SensorLost(const QString& why)
{
    ClosingDown = 1;
    CurrentValuesTimer->stop();
    MonitorProgressTimer->stop();
    keepLostControlsOff();
    StatusTxt->setText(why);
    // The whole text, however much of it the status line has room for.
    StatusTxt->setToolTip(why);
}

void TSensorForm::keepLostControlsOff()
{
    if (!ClosingDown)
        return;
    for (QToolButton* b : {StatusBtn, MonitorBtn, StartStopBtn, DataBtn, SetClockBtn, ClearMemoryBtn, SetupSensorBtn,
                           UserCalibrationBtn, AddNoteBtn})
        b->setEnabled(false);
    // Whole pages, so that an operation ending now cannot give its buttons
    // back; the Collect page keeps its files to open.
    for (QWidget* page : {Clock, Logging, Calibration})
        page->setEnabled(false);
    CollectDataBtn->setEnabled(false);
}

void TSensorForm::commandFailed(const QString& notDone)
{
    const uint16_t status = Sensor ? Sensor->LastStatus : uint16_t(lsPortClosed);
    if (status == lsNoReply || status == lsPortClosed) {
        SensorLost(notDone + QLatin1Char(' ') + notAnswering());
        ShowMessage(notDone + QStringLiteral(" The sensor does not answer. Please check connections and verify "
                                             "correct power to the Sensor."));
        return;
    }
    ShowMessage(notDone + QStringLiteral(" Please check sensor connectivity and try again."));
}

void TSensorForm::beginOperation(OperationScope& scope, uint8_t mode)
{
    // Given back first, so that the bar's normal state (which keeps a lost
    // connection's controls off) has the last word.
    scope.atEnd([this] { SetButtonStates(bmNormal); });
    SetButtonStates(mode);
    scope.disable({CollectDataBtn, UpdateTimeBtn, StartStopBtn2, UcStartCalibrationBtn, BackupBtn, RestoreBtn});
}

void TSensorForm::SetButtonStates(uint8_t mode)
{
    const bool busy = mode == bmBusyCalibration || mode == bmBusyTransfer;
    const bool logging = Sensor && (Sensor->Status.LoggingFlags & 0x01) != 0;
    for (QToolButton* b : {StatusBtn, MonitorBtn, StartStopBtn, DataBtn, DisconnectBtn, AddNoteBtn})
        b->setEnabled(!busy);
    for (QToolButton* b : {SetClockBtn, ClearMemoryBtn, SetupSensorBtn, UserCalibrationBtn})
        b->setEnabled(!busy && !logging);
    keepLostControlsOff();
}

std::string TSensorForm::FormatInterval(uint32_t interval)
{
    const uint32_t s = interval / 100;
    if (s <= 60)
        return std::to_string(s) + " seconds";
    if (s <= 3600)
        return std::to_string(s / 60) + " minutes";
    return std::to_string(s / 3600) + " hours";
}

void TSensorForm::ShowSchedulesStatus()
{
    const char* const headers[] = {"Schedule Name", "Enabled", "Scan Time", "Record Time"};
    for (int c = 0; c < 4; ++c)
        ControlsTabGrid->SetCells(c, 0, QString::fromLatin1(headers[c]));
    for (int r = 1; r <= 4; ++r)
        for (int c = 0; c < 4; ++c)
            ControlsTabGrid->SetCells(c, r, QString());
    if (!Sensor)
        return;
    const ConfigurationData& conf = Sensor->ConfData;
    // The grid has rows for the four user schedules only.
    const int last = std::min<int>(conf.ScheduleCount - 1, LastUserSchedule);
    for (int r = FirstUserSchedule; r <= last; ++r) {
        const ScheduleSetupData& s = conf.Schedules[r];
        if (!s.InUse)
            continue;
        const uint32_t scanTime = s.ScanTime;
        const uint32_t multiple = s.RecordMultiple;
        ControlsTabGrid->SetCells(0, r, Latin1Text(ImageText(s.Name)));
        ControlsTabGrid->SetCells(1, r, s.Enabled ? QStringLiteral("Enabled") : QStringLiteral("Paused"));
        ControlsTabGrid->SetCells(2, r, Latin1Text(FormatInterval(scanTime)));
        if (multiple != 0)
            ControlsTabGrid->SetCells(3, r, Latin1Text(FormatInterval(scanTime * multiple)));
    }
    ControlsTabGrid->viewport()->update();
}

std::vector<uint8_t> TSensorForm::monitoredChannels() const
{
    std::vector<uint8_t> channels;
    if (!Sensor)
        return channels;
    const ScheduleSetupData& monitor = Sensor->ConfData.Schedules[MonitorScheduleRecord];
    const int count = std::min<int>(monitor.ChannelCount, sizeof monitor.Channels);
    for (int j = 0; j < count; ++j) {
        const uint8_t c = monitor.Channels[j];
        // A channel number the image cannot hold names no channel.
        if (c < ImageChannelCount && Sensor->CalData.Channels[c].Enabled)
            channels.push_back(c);
    }
    return channels;
}

void TSensorForm::BuildMonitorChannelTable()
{
    int i = 0;
    for (const uint8_t c : monitoredChannels()) {
        const CalChannelData& channel = Sensor->CalData.Channels[c];
        MonitorColumnData& column = Sensor->Status.MonitorColumns[i];
        std::memcpy(column.Name, channel.Name, sizeof column.Name);
        std::memcpy(column.UnitsText, channel.UnitsText, sizeof column.UnitsText);
        column.Precision = Sensor->ConfData.ChannelSetup[c].Precision;
        ++i;
    }
}

void TSensorForm::ControlsTabGridDrawCell(QPainter& canvas, int column, int row, const QRect& rect)
{
    drawGridCell(ControlsTabGrid, canvas, column, row, rect, row < ControlsTabGrid->FixedRows());
}

void TSensorForm::MonitorGridDrawCell(QPainter& canvas, int column, int row, const QRect& rect)
{
    drawGridCell(MonitorGrid, canvas, column, row, rect, true);
}

void TSensorForm::StatusBtnClick(QObject* Sender)
{
    // A click can arrive while a monitor poll waits for the sensor; this
    // handler's own commands clear the abort that ends that wait, so the
    // abort is given again once they are done (below). Otherwise the poll
    // would go on waiting for a result the logger no longer sends, and the
    // next Monitor would show nothing until it gave up.
    const bool pollWaiting = polling_;
    ViewMonitorDataBtn->setVisible(false);
    // No monitor poll may start inside this handler's own waits; the
    // Monitor button starts polling again.
    CurrentValuesTimer->stop();
    MonitorProgressTimer->stop();
    MonitorProgressBar->setVisible(false);
    MonProgLabel->setVisible(false);
    ++userAborts_;
    if (Sensor) {
        Sensor->AbortReply();
        Sensor->NullCommand();
    }
    AddNoteBtn->setEnabled(!ClosingDown);

    const QString name = Sender ? Sender->objectName() : QString();
    if (name == QLatin1String("StatusBtn")) {
        ShowSchedulesStatus();
        SetActivePage(Status);
    } else if (name == QLatin1String("SetupSensorBtn")) {
        SetupSensor();
    } else if (name == QLatin1String("MonitorBtn")) {
        StartMonitoring();
    } else if (name == QLatin1String("StartStopBtn")) {
        SetActivePage(Logging);
    } else if (name == QLatin1String("DataBtn")) {
        // Named as the sensor's folder is: the page takes no separator.
        const QString sensorName =
            Sensor ? PathText(Latin1ToPath(ImageText(Sensor->CalData.SensorName))) : QString();
        DlFileNameEditBox->setText(sensorName +
                                   QLocale::system().toString(QDateTime::currentDateTime(), QStringLiteral("_yyyyMMMdd")));
        DlCollectionOptions->SetItemIndex(0);
        SetActivePage(Collect);
    } else if (name == QLatin1String("SetClockBtn")) {
        SetClockRadioGroup->SetItemIndex(0);
        SetClockRadioGroupClick();
        SetActivePage(Clock);
    } else if (name == QLatin1String("UserCalibrationBtn")) {
        SetActivePage(Calibration);
        std::vector<std::string> channels;
        if (Sensor)
            Sensor->zz_getCalibrationList(channels);
        {
            const QSignalBlocker quiet(ChannelNameBox);
            ChannelNameBox->clear();
            for (const std::string& channel : channels)
                ChannelNameBox->addItem(Latin1Text(channel));
            if (ChannelNameBox->count() > 0)
                ChannelNameBox->setCurrentIndex(0);
        }
        // A fresh list starts again at the first type.
        CalibrationTypeRadioGroup->ClearItems();
        ChannelNameBoxChange();
    } else if (name == QLatin1String("ClearMemoryBtn")) {
        bool failed = false;
        {
            OperationScope scope;
            scope.atEnd([this] {
                SetActivePage(Status);
                StatusBtn->setChecked(true);
            });
            beginOperation(scope, bmBusyTransfer);
            SetActivePage(Blank);
            if (clearMemoryConfirmed() && Sensor) {
                if (Sensor->ClearLoggerMemory("Testing Memory cleared"))
                    UpdateLoggerStatus();
                else
                    failed = true;
            }
        }
        if (failed)
            commandFailed(QStringLiteral("The sensor did not clear its memory."));
    } else if (name == QLatin1String("AddNoteBtn")) {
        bool failed = false;
        {
            OperationScope scope;
            scope.atEnd([this] {
                SetActivePage(Status);
                StatusBtn->setChecked(true);
            });
            beginOperation(scope, bmBusyTransfer);
            std::unique_ptr<TAddNoteForm> note(new TAddNoteForm(this));
            if (note->ShowModal() == mrOk && Sensor)
                failed = !Sensor->LogComment(loggingComment('V', note->InitialsEditBox, note->CommentsMemo));
            note.reset();
        }
        if (failed)
            commandFailed(QStringLiteral("The note was not written to the sensor's log."));
    }
    if (pollWaiting && Sensor)
        Sensor->AbortReply();
}

bool TSensorForm::clearMemoryConfirmed()
{
    return MessageDlg(QStringLiteral("Proceeding with this command will clear all logged data in the sensor.\nDo "
                                     "you want to continue?"),
                      mtWarning, mbYesNo) == mrYes;
}

void TSensorForm::DisconnectBtnClick()
{
    ++userAborts_;
    if (Sensor)
        Sensor->AbortReply();
    done(mrOk);
}
