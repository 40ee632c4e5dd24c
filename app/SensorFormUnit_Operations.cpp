// Operations that change the sensor or its images: starting and stopping
// logging, the set-up dialog, channel calibration and the pressure datum,
// backup and restore of both images, and the monitor file.
#include "SensorFormUnit.h"

#include "Dialogs.h"
#include "DlProgress.h"
#include "ExtCtrls.h"
#include "HvSensor_Quarn.h"
#include "LogText.h"
#include "OperationScope.h"
#include "SensorSetupUnit.h"
#include "SetPressureReferenceUnit.h"
#include "Shell.h"
#include "StdCtrls.h"
#include "SysUtils.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QSaveFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>

void TSensorForm::SetupSensor()
{
    SetActivePage(Status);
    if (!Sensor || !CheckSensorStatus())
        return;
    SetButtonStates(bmBusyTransfer);
    const ConfigurationData savedConf = Sensor->ConfData;
    const CalibrationData savedCal = Sensor->CalData;
    bool sent = false;
    // The calibration image the sensor holds after a refused configuration
    // image, when that differs from the saved copy as it was taken.
    std::optional<CalibrationData> heldCal;
    // Every way out, an exception too, puts the images back unless both were
    // sent (memory keeping what the sensor holds), and brings the window back.
    OperationScope scope;
    scope.atEnd([&] {
        if (!sent) {
            Sensor->ConfData = savedConf;
            Sensor->CalData = heldCal ? *heldCal : savedCal;
        }
        ShowSchedulesStatus();
        BuildMonitorChannelTable();
        setWindowTitle(SensorCaption());
        show();
        SetButtonStates(bmNormal);
        SetActivePage(Status);
        StatusBtn->setChecked(true);
    });
    hide();

    {
        std::unique_ptr<TSensorSetupForm> dialog(
            new TSensorSetupForm(this, &Sensor->ConfData, &Sensor->CalData, &Sensor->Status, Sensor.get()));
        const bool ok = dialog->ShowModal() == mrOk;
        std::string failure = "Failed to update sensor, Please check sensor connectivity.";
        if (ok) {
            OperationScope sending;
            sending.own(std::make_unique<TDlProgForm>(this, false), InitProgress);
            InitProgress->setWindowTitle(QStringLiteral("Sensor Configuration"));
            InitProgress->SetProgressText("Sensor Configuration", "Configuring Sensor", 0);
            InitProgress->setVisible(true);
            ProcessMessages();
            if (Sensor->sendCalibrationData()) {
                InitProgress->SetProgressText("Sensor Configuration", "Configuring Sensor", 50);
                ProcessMessages();
                if (Sensor->sendConfigurationData()) {
                    sent = true;
                    InitProgress->SetProgressText("Sensor Configuration", "Configuring Sensor", 100);
                } else {
                    // The new calibration does not belong with the old
                    // configuration: the saved one goes back, so that memory
                    // and sensor hold the same pair.
                    const CalibrationData newCal = Sensor->CalData;
                    Sensor->CalData = savedCal;
                    if (Sensor->sendCalibrationData()) {
                        heldCal = Sensor->CalData;
                        failure += " The sensor keeps its earlier calibration and configuration.";
                    } else {
                        heldCal = newCal;
                        failure += " The sensor holds the new calibration with its earlier configuration.";
                    }
                }
            }
        }
        ProcessMessages();
        if (ok && !sent)
            ShowMessage(failure);
    }
    ProcessMessages();
    scope.end();
    // The sensor's name, and with it its folder, may have changed.
    CheckDownloadFolder();
}

std::string TSensorForm::loggingComment(char kind, const QLineEdit* initials, const TMemo* comment)
{
    // Kind letter, seven initials characters (underscores where none were
    // typed), then the comment as typed, line breaks included: a comment's
    // lines end in CR LF in the log.
    QString text = initials->text().left(LogText::InitialsLength).leftJustified(LogText::InitialsLength, u'_');
    QString lines = comment->toPlainText();
    lines.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    text += lines;
    return std::string(1, kind) + TextToLatin1(text);
}

void TSensorForm::StartStopBtn2Click()
{
    OperationScope scope;
    scope.atEnd([this] {
        SetActivePage(Status);
        StatusBtn->setChecked(true);
        SetButtonStates(bmNormal);
    });
    scope.disable({StartStopBtn2});

    if (!Sensor || !CheckSensorStatus())
        return;
    SetButtonStates(bmBusyTransfer);

    if (ClearMemoryCheckBox->isChecked()) {
        ClearMemoryCheckBox->setChecked(false);
        // The answer decides the clearing only; logging is started either way.
        if (clearMemoryConfirmed()) {
            if (Sensor->ClearLoggerMemory("Testing Memory cleared"))
                UpdateLoggerStatus();
            else
                ShowMessage(std::string("The sensor did not clear its memory. Please check sensor connectivity."));
        }
    }

    if (StartStopBtn2->text() == QLatin1String("Start Logging")) {
        if (Sensor->StartScheduler(3)) {
            StartStopBtn->setText(QStringLiteral("Stop Logging"));
            StartStopBtn2->setText(QStringLiteral("Stop Logging"));
            Sensor->LogComment(loggingComment('S', InitialsEditBox, CommentsMemo));
            UpdateLoggerStatus();
        } else {
            // A sensor left in the field believed to be logging loses the
            // season's data: say so.
            ShowMessage(std::string("The sensor did not start logging. Please check sensor connectivity and try "
                                    "again."));
        }
    } else {
        if (Sensor->StopScheduler()) {
            StartStopBtn->setText(QStringLiteral("Start Logging"));
            StartStopBtn2->setText(QStringLiteral("Start Logging"));
            Sensor->LogComment(loggingComment('E', InitialsEditBox, CommentsMemo));
            UpdateLoggerStatus();
        } else {
            ShowMessage(std::string("The sensor did not stop logging. Please check sensor connectivity and try "
                                    "again."));
        }
    }
}

int TSensorForm::calibrationChannel(std::string* name) const
{
    const std::string text = ChannelNameBox->currentText().toLatin1().toStdString();
    if (name)
        *name = text;
    if (!Sensor)
        return -1;
    const uint8_t channel = Sensor->findDerivedChannelNumber(text);
    // Only the channels the list offers: a name typed into the box may name
    // no channel, or one that cannot be calibrated.
    if (channel >= ImageChannelCount || !Sensor->zz_isCalChannel(channel))
        return -1;
    return channel;
}

void TSensorForm::ChannelNameBoxChange()
{
    const int channel = calibrationChannel(nullptr);
    QStringList types;
    if (channel >= 0) {
        types = QStringList({QStringLiteral("1 Point Offset"), QStringLiteral("1 Point Span"),
                             QStringLiteral("2 Points: Span and Offset"), QStringLiteral("Restore factory default")});
        if (TSensor_Quarn::GetBaseUnitType(Sensor->CalData.Channels[channel].UnitsCode) == 0)
            types << QStringLiteral("Set Datum References");
    }
    // The box also reports its text when it merely loses the focus: the
    // same channel keeps the type the user chose.
    if (channel == calibrationTypesChannel_ && types == CalibrationTypeRadioGroup->Items())
        return;
    calibrationTypesChannel_ = channel;
    CalibrationTypeRadioGroup->ClearItems();
    if (types.isEmpty())
        return;
    CalibrationTypeRadioGroup->SetItems(types);
    CalibrationTypeRadioGroup->SetItemIndex(0);
}

void TSensorForm::UcStartCalibrationBtnClick()
{
    std::string name;
    const int channel = calibrationChannel(&name);
    const int type = CalibrationTypeRadioGroup->ItemIndex();
    if (channel < 0) {
        ShowMessage(QStringLiteral("\"%1\" is not a channel that can be calibrated. Please choose a channel from the "
                                   "list.")
                        .arg(Latin1Text(name)));
        return;
    }
    if (type < 0) {
        ShowMessage(std::string("Please choose a calibration type."));
        return;
    }

    bool result = false;
    {
        OperationScope scope;
        scope.atEnd([this] {
            SetButtonStates(bmNormal);
            SetActivePage(Status);
            StatusBtn->setChecked(true);
        });
        scope.disable({UcStartCalibrationBtn});
        if (CheckSensorStatus()) {
            SetButtonStates(bmBusyCalibration);
            scope.disable({BackupBtn, RestoreBtn});
            result = calibrate(channel, name, static_cast<uint8_t>(type));
        }
    }
    // Said once the window is back. An exception says nothing here: the
    // handler's error box shows it.
    ShowMessage(std::string(result ? "Sensor channel calibration completed successfully."
                                   : "Sensor channel calibration failed or was canceled by the user."));
}

bool TSensorForm::calibrate(int channel, const std::string& name, uint8_t calibration)
{
    bool result = false;
    if (Sensor->CalData.Channels[channel].UnitsCode == ucOdoCalChannel) {
        switch (calibration) {
        case ctOnePointOffset:
        case ctOnePointSpan:
            result = Sensor->zz_doODO_Calibration(channel, name, calibration);
            break;
        case ctRestoreFactoryDefault:
            result = Sensor->zz_SetDefaultsUserCalValues(channel, name, ctRestoreFactoryDefault);
            break;
        default:
            // The oxygen sensor calibrates one point at a time.
            result = false;
            break;
        }
    } else {
        switch (calibration) {
        case ctOnePointOffset:
        case ctOnePointSpan:
        case ctTwoPoint:
            result = Sensor->zz_doCalibration(channel, name, calibration);
            break;
        case ctRestoreFactoryDefault:
            result = Sensor->zz_SetDefaultsUserCalValues(channel, name, ctRestoreFactoryDefault);
            break;
        case ctSetDatumReferences:
            result = ConfigureDatum();
            break;
        default:
            result = false;
            break;
        }
    }
    return result;
}

bool TSensorForm::ConfigureDatum()
{
    SetButtonStates(bmBusyTransfer);
    const ConfigurationData savedConf = Sensor->ConfData;
    const CalibrationData savedCal = Sensor->CalData;
    OperationScope scope;
    scope.atEnd([this] {
        ShowSchedulesStatus();
        BuildMonitorChannelTable();
        show();
        SetButtonStates(bmNormal);
        SetActivePage(Status);
    });
    hide();

    int result = mrCancel;
    CalibrationData sensorCal = savedCal; // what the sensor holds when the dialog ends
    bool applyFailed = false;
    // Kept only when committed after a last apply that reached the sensor;
    // otherwise the saved images go back, to the sensor too.
    const auto putBack = [&] {
        Sensor->ConfData = savedConf;
        Sensor->CalData = savedCal;
        bool sent = false;
        {
            OperationScope sending;
            sending.own(std::make_unique<TDlProgForm>(this, false), InitProgress);
            InitProgress->setWindowTitle(QStringLiteral("Sensor Configuration"));
            InitProgress->SetProgressText("Sensor Configuration", "Configuring Sensor", 0);
            InitProgress->setVisible(true);
            ProcessMessages();
            sent = Sensor->sendCalibrationData();
            if (sent)
                InitProgress->SetProgressText("Sensor Configuration", "Configuring Sensor", 50);
            ProcessMessages();
        }
        // The sensor keeps the image it last took, and so does memory.
        if (!sent) {
            Sensor->CalData = sensorCal;
            if (std::memcmp(&sensorCal, &savedCal, sizeof sensorCal) != 0)
                ShowMessage(std::string("Failed to update sensor, Please check sensor connectivity. The sensor "
                                        "keeps the datum it was last sent."));
        }
    };
    try {
        const std::unique_ptr<TSetPressureReferenceForm> dialog(
            new TSetPressureReferenceForm(this, &Sensor->ConfData, &Sensor->CalData, &Sensor->Status, Sensor.get(),
                                          ChannelNameBox->currentText().toLatin1().toStdString()));
        result = dialog->ShowModal();
        applyFailed = dialog->ApplyFailed;
        sensorCal = dialog->SensorCal;
    } catch (...) {
        // The sensor may hold a datum the dialog applied: the saved images go
        // back to it before the exception goes on to the handler.
        putBack();
        throw;
    }
    const bool committed = result == mrOk && !applyFailed;
    if (!committed)
        putBack();
    ProcessMessages();
    return committed;
}

void TSensorForm::BackupBtnClick()
{
    OperationScope scope;
    scope.disable({BackupBtn, RestoreBtn});
    if (Sensor && CheckSensorStatus()) {
        if (Sensor->BackupCalConfig())
            StatusTxt->setText(QStringLiteral("Calibration and configuration files are backed up"));
        else
            ShowMessage(std::string("Failed to back up the calibration and configuration files. Please check "
                                    "sensor connectivity."));
    }
}

void TSensorForm::RestoreBtnClick()
{
    OperationScope scope;
    scope.disable({BackupBtn, RestoreBtn});
    if (Sensor && CheckSensorStatus()) {
        bool calibrationRestored = false;
        if (Sensor->RestoreCalConfig(&calibrationRestored)) {
            StatusTxt->setText(QStringLiteral("Calibration and configuration files are restored"));
            ShowMessage(std::string("Closing sensor connection. Please re-connect to contimue with restored values."));
            done(mrOk);
            ProcessMessages();
        } else if (calibrationRestored) {
            // The sensor took the calibration backup only: the window shows
            // the calibration it now holds.
            ShowSchedulesStatus();
            BuildMonitorChannelTable();
            setWindowTitle(SensorCaption());
            ShowMessage(std::string("The calibration file was restored from the backup of this sensor, the "
                                    "configuration file was not."));
        } else {
            ShowMessage(std::string("Failed to restore the calibration and configuration files from the backup of "
                                    "this sensor."));
        }
    }
}

void TSensorForm::ViewMonitorDataBtnClick()
{
    try {
        if (!MonitorLines.empty()) {
            const QString path = QString::fromLocal8Bit(DataFolder.c_str()) + QStringLiteral("Monitor.csv");
            // Written beside the old file and put in its place only when
            // whole, so a full disk keeps the earlier file.
            QSaveFile file(path);
            if (!file.open(QIODevice::WriteOnly))
                throw Exception("cannot create " + path.toStdString());
            // Lines end as in the program's other CSV files.
            for (const std::string& line : MonitorLines) {
                const std::string text = line + "\r\n";
                file.write(text.data(), static_cast<qint64>(text.size()));
            }
            if (!file.commit())
                throw Exception("cannot write " + path.toStdString());
            ProcessMessages();
            if (QFile::exists(path))
                ShellOpen(path);
        }
        ViewMonitorDataBtn->setDown(false);
        ViewMonitorDataBtn->setChecked(false);
    } catch (const std::exception&) {
        ViewMonitorDataBtn->setDown(false);
        ViewMonitorDataBtn->setChecked(false);
        ShowMessage(std::string("Unable to open/create Monitor data file. If file is in use please close it before "
                                "trying again."));
    }
}
