// The timed and live parts of the main window: both clocks, the Clock page,
// the Monitor page with its polling, progress bar and the lines of
// "Monitor.csv", the receive and transmit lamps, the tray icon and the key
// filter of the Logging page's fields.
#include "SensorFormUnit.h"

#include "ExtCtrls.h"
#include "Shape.h"
#include "FileCtrl.h"
#include "FormatSettings.h"
#include "Grids.h"
#include "HvSensor_Quarn.h"
#include "LogText.h"
#include "OperationScope.h"
#include "SysUtils.h"

#include <QApplication>
#include <QDateEdit>
#include <QLabel>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

// A field of "Monitor.csv": quoted only when it holds the separator (a value
// written with a decimal comma) or a quote, so that every value keeps its
// own cell.
std::string csvField(const std::string& text)
{
    if (text.find_first_of(",\"") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

} // namespace

std::string TSensorForm::DateTimeText(TDateTime value)
{
    const TFormatSettings settings = TFormatSettings::System();
    return DateToStr(value, settings) + " " + TimeToStr(value, settings);
}

std::string TSensorForm::FormatValue(double value, int precision)
{
    // The picture "0." followed by `precision` zeros: rounded to that many
    // decimals; with none, the whole number without a decimal separator.
    return FloatToStrF(value, ffFixed, 15, std::clamp(precision, 0, 18), TFormatSettings::System());
}

// --- clocks -------------------------------------------------------------

void TSensorForm::ClockTimerTimer()
{
    const TDateTime now = Now();
    const QString pcText = LocalText(DateTimeText(now));
    TopPanelPcClockTxt->setText(pcText);

    const int32_t offset = Sensor ? Sensor->Status.ClockOffsetSeconds : 0;
    const int64_t magnitude = offset < 0 ? -int64_t(offset) : int64_t(offset);
    QColor colour = TopPanelPcClockTxt->palette().color(QPalette::WindowText);
    if (magnitude < 2) {
        TopPanelSensorClockTxt->setText(pcText);
    } else {
        TopPanelSensorClockTxt->setText(LocalText(DateTimeText(now + offset / SecsPerDay)));
        if (magnitude >= 60)
            colour = QColor(255, 0, 0);
    }
    QPalette palette = TopPanelSensorClockTxt->palette();
    palette.setColor(QPalette::WindowText, colour);
    TopPanelSensorClockTxt->setPalette(palette);

    // The hidden twin follows the folder every second; the visible list is
    // read again only when files came or went, so its selection survives.
    FileListBox1->Update();
    if (FileListBox1->Items() != DlFileListBox->Items())
        DlFileListBox->Update();
}

// --- clock page -----------------------------------------------------------

void TSensorForm::SetClockRadioGroupClick()
{
    if (SetClockRadioGroup->ItemIndex() == 1) {
        SetClockPanel->setEnabled(true);
        SetClockPanel->setVisible(true);
        const QDateTime now = QDateTime::currentDateTime();
        SetClockDatePicker->setDate(now.date());
        SetClockTimePicker->setTime(now.time());
    } else {
        SetClockPanel->setEnabled(false);
        SetClockPanel->setVisible(false);
    }
}

void TSensorForm::UpdateTimeBtnClick()
{
    const QDateTime chosen(SetClockDatePicker->date(), SetClockTimePicker->time());
    const TDateTime dt = QDateTimeToDateTime(chosen);
    const bool usePcClock = SetClockRadioGroup->ItemIndex() == 0;
    bool failed = false;
    {
        OperationScope scope;
        scope.atEnd([this] {
            SetActivePage(Status);
            StatusBtn->setChecked(true);
        });
        beginOperation(scope, bmBusyTransfer);
        if (Sensor && CheckSensorStatus()) {
            if (Sensor->setDateTime(dt, usePcClock))
                UpdateLoggerStatus();
            else
                failed = true;
        }
    }
    // A clock left as it was must not look set.
    if (failed)
        commandFailed(QStringLiteral("The sensor did not set its clock."));
}

// --- monitor page ---------------------------------------------------------

void TSensorForm::setMonitorHeader()
{
    const char* const headers[] = {"Channel Name", "Current Value", "Units", "Last Logged Value"};
    for (int c = 0; c < 4; ++c)
        MonitorGrid->SetCells(c, 0, QString::fromLatin1(headers[c]));
}

void TSensorForm::setMonitorValuesLive(bool live)
{
    QPalette palette = MonitorGrid->palette();
    const QColor normal = QApplication::palette(MonitorGrid).color(QPalette::Text);
    palette.setColor(QPalette::Text, live ? normal : QColor(128, 128, 128));
    MonitorGrid->setPalette(palette);
    MonitorGrid->viewport()->update();
}

void TSensorForm::StartMonitoring()
{
    SetActivePage(Monitor);
    CurrentValuesTimer->start();

    setMonitorValuesLive(true);
    setMonitorHeader();
    for (int c = 0; c < 4; ++c)
        MonitorGrid->SetCells(c, 1, QString());
    MonitorGrid->SetRowCount(2);
    MonitorGrid->SetDefaultColWidth(MonitorGrid->viewport()->width() / 4);

    MonitorLines.clear();
    std::string header = "Date/time,";
    std::string units = ",";
    for (const uint8_t c : monitoredChannels()) {
        header += csvField(ImageText(Sensor->CalData.Channels[c].Name)) + ",";
        units += csvField(ImageText(Sensor->CalData.Channels[c].UnitsText)) + ",";
    }
    AddNoteBtn->setEnabled(false);
    MonitorLines.push_back(header);
    MonitorLines.push_back(units);

    ViewMonitorDataBtn->setVisible(true);
    MonitorProgressTimer->start();
    MonitorProgressBar->setMaximum(20);
    MonitorProgressBar->setValue(0);
    MonitorProgressBar->setVisible(true);
    MonProgLabel->setVisible(true);
}

void TSensorForm::CurrentValuesTimerTimer()
{
    CurrentValuesTimer->stop();
    // One poll at a time: a tick that arrives while a poll waits for the
    // sensor (the timer restarted by a click meanwhile) leaves the next poll
    // to the running one.
    if (polling_)
        return;
    OperationScope poll;
    poll.busy(polling_);

    setMonitorHeader();
    MonitorProgressBar->setValue(0);

    const auto started = std::chrono::steady_clock::now();
    std::string line = csvField(DateTimeText(Now())) + ",";

    const bool guarded = !closed_ && CheckSensorStatus();
    if (guarded && Sensor && Sensor->GetCurrentValues()) {
        const SensorStatusData& status = Sensor->Status;
        const int n = std::min<int>(status.CurrentValueCount, MaxCurrentValues);
        MonitorGrid->SetRowCount(n + 3);
        for (int i = 0; i < n; ++i) {
            const MonitorColumnData& column = status.MonitorColumns[i];
            const CurrentValueData& value = status.CurrentValues[i];
            const std::string text = FormatValue(value.Value, column.Precision);
            line += csvField(text) + ",";
            MonitorGrid->SetCells(0, i + 1, Latin1Text(ImageText(column.Name)));
            MonitorGrid->SetCells(1, i + 1, Latin1Text(text));
            MonitorGrid->SetCells(2, i + 1, Latin1Text(ImageText(column.UnitsText)));
            const float lastLogged = value.LastLoggedValue;
            MonitorGrid->SetCells(3, i + 1,
                                  lastLogged == -1e10f ? QStringLiteral("N/A")
                                                       : Latin1Text(FormatValue(lastLogged, column.Precision)));
        }
        MonitorGrid->SetDefaultColWidth(MonitorGrid->viewport()->width() / 4);
        MonitorGrid->SetCells(0, n + 1, QStringLiteral("Memory Used"));
        MonitorGrid->SetCells(1, n + 1, QString::number(status.MemoryUsed));
        MonitorGrid->SetCells(2, n + 1, QStringLiteral("Bytes"));
        MonitorGrid->SetCells(0, n + 2, QStringLiteral("% Memory Used"));
        // A logger that reports no capacity has no share to show.
        MonitorGrid->SetCells(1, n + 2,
                              status.MemoryCapacity == 0
                                  ? QStringLiteral("N/A")
                                  : Latin1Text(FormatValue(double(status.MemoryUsed) / status.MemoryCapacity * 100.0, 1)));
        MonitorGrid->SetCells(2, n + 2, QStringLiteral("Percentage"));
        MonitorLines.push_back(line);
    }

    if (!closed_ && ActivePage() == Monitor && ClosingDown) {
        // The connection is lost (the guard has said so), or another sensor
        // answered and the window closes: no later poll can bring values.
        MonitorProgressTimer->stop();
        if (modalResult_ == mrNone) {
            // What the grid shows, if anything, is no longer live.
            const bool valuesShown = MonitorGrid->RowCount() > 2;
            setMonitorValuesLive(!valuesShown);
            SensorLost(valuesShown ? QStringLiteral("Monitoring stopped: the sensor does not answer. The values "
                                                    "shown are the last received.")
                                   : QStringLiteral("Monitoring stopped: the sensor does not answer."));
        }
    } else if (!closed_ && ActivePage() == Monitor) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started);
        // Twice the whole seconds of this poll, so that the bar's half-second
        // steps fill it in about one poll; a poll under a second still gets
        // one step, as a range of 0 to 0 shows no progress at all.
        MonitorProgressBar->setMaximum(std::max(1, static_cast<int>(2 * elapsed.count())));
        CurrentValuesTimer->start();
        MonitorProgressBar->setValue(0);
        ProcessMessages();
    } else {
        ViewMonitorDataBtn->setVisible(false);
    }
}

void TSensorForm::MonitorProgressTimerTimer()
{
    MonitorProgressBar->setValue(std::min(MonitorProgressBar->value() + 1, MonitorProgressBar->maximum()));
}

// --- lamps ----------------------------------------------------------------

void TSensorForm::RxActivityEvent(QObject* /*Sender*/)
{
    RxFlag = 1;
}

void TSensorForm::TxActivityEvent(QObject* /*Sender*/)
{
    TxFlag = 1;
}

void TSensorForm::LedTimerTimer()
{
    RxLed->SetBrushColor(RxFlag ? LampRed() : LampGreen());
    RxLed->Repaint();
    RxFlag = 0;
    TxLed->SetBrushColor(TxFlag ? LampRed() : LampGreen());
    TxLed->Repaint();
    TxFlag = 0;
}

// --- tray -----------------------------------------------------------------

void TSensorForm::TrayIcon1Click()
{
    if (isVisible()) {
        hide();
        if (StartUpWindow)
            StartUpWindow->hide();
    } else {
        if (StartUpWindow)
            StartUpWindow->show();
        show();
        raise();
        activateWindow();
    }
}

// --- key filter -------------------------------------------------------------

void TSensorForm::InitialsEditBoxKeyPress(QObject* /*Sender*/, QChar& Key)
{
    if (!LogText::KeyPasses(Key))
        Key = QChar(0);
}
