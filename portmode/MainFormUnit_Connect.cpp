// Connecting: the baud-rate search by the sensor's banner, the framed
// commands that stop logging and send the sensor into its boot code, the
// check for a sensor already in its boot code, and the power-cycle connect.
#include "MainFormUnit.h"

#include "Dialogs.h"
#include "ExtCtrls.h"
#include "HvSensor_Quarn.h"
#include "OperationScope.h"
#include "PortModeControls.h"
#include "SysUtils.h"

#include <QComboBox>
#include <QMenu>
#include <QProgressBar>

namespace {

// Rates the firmware may speak, in the order tried.
constexpr int32_t CandidateRates[] = {19200, 9600, 4800, 2400, 1200};
// A blank asks the firmware for its banner.
const char* const BannerProbe = " ";
const char* const BannerText = "HALVORINE";
constexpr int ProbesPerRate = 4;
constexpr uint16_t BannerWaitMs = 600;
constexpr int SearchSteps = 20;

// The jump into the boot code restarts the sensor first.
constexpr uint16_t RebootWaitMs = 10000;
// A key the boot code does not know; its answer shows that it listens.
const char* const BootProbe = "b";
const char* const BootCheckAnswer = "Invalid Command!";
constexpr uint16_t BootCheckWaitMs = 500;
constexpr int BootCheckProbes = 5;
const char* const PowerUpAnswer = "Invalid Command";
constexpr uint16_t PowerUpWaitMs = 250;
constexpr int PowerUpProbes = 40;

QString rateText(int32_t rate)
{
    return QString::number(rate);
}

} // namespace

bool TMainForm::ConnectToBootCode(bool powerCycle)
{
    bool result = false;
    {
        // Given back as they were once the attempt ends.
        OperationScope attempt;
        attempt.disable({File1->menuAction(), About1});
        try {
            PortName = SelectedPort().toLatin1().toStdString();
            Sensor.reset();
            Sensor = std::make_unique<TSensor_Quarn>(nullptr);
            Sensor->OnRxEvent = [this](QObject* sender) { RxActivityEvent(sender); };
            Sensor->OnTxEvent = [this](QObject* sender) { TxActivityEvent(sender); };
            Sensor->OnPortDebugEvent = [this](QObject* sender, const std::string& text) {
                DebugTextEvent(sender, text);
            };

            if (powerCycle) {
                const int answer =
                    MessageDlg(QStringLiteral("1  Remove power from sensor and wait 10 seconds\n"
                                              "2  Press OK then apply power to sensor."),
                               mtInformation, mbOKCancel);
                if (answer == mrOk) {
                    StatusTxt->SetCaption(QStringLiteral("Attempting to connect to sensor"));
                    ProcessMessages();
                    if (Sensor->StartComs(PortName, BootCodeBaud)) {
                        ProgressLabel->SetCaption(QStringLiteral("Waiting for sensor to power up"));
                        ShowPage(TabSheet3);
                        ProgressBar1->setRange(0, PowerUpProbes);
                        // Keeps pressing a key while the power comes back, so
                        // that the boot code stays in its menu.
                        result = ProbeBootCode(PowerUpAnswer, PowerUpWaitMs, PowerUpProbes, 0);
                        Sensor->CloseComs();
                    }
                }
            } else if (const int32_t rate = FindSensorBaudRate(); rate != 0) {
                if (Sensor->StartComs(PortName, rate)) {
                    StatusTxt->SetCaption(QStringLiteral("Attempting to connect to sensor"));
                    if (!Sensor->NullCommand()) {
                        Sensor->CloseComs();
                        ProcessMessages();
                        StatusTxt->SetCaption(QStringLiteral("Sensor communications failed"));
                        ProcessMessages();
                    } else {
                        StatusTxt->SetCaption(QStringLiteral("Sensor awake"));
                        if (Sensor->LoggerStatus()) {
                            if (Sensor->Status.LoggingFlags != 0) {
                                StatusTxt->SetCaption(QStringLiteral("Scheduler running"));
                                StatusTxt->SetCaption(Sensor->StopScheduler()
                                                          ? QStringLiteral("Scheduler stopped")
                                                          : QStringLiteral("Failed to stop scheduler"));
                            } else {
                                StatusTxt->SetCaption(QStringLiteral("Scheduler stopped"));
                            }
                        }
                        if (!Sensor->JumpToBoot()) {
                            StatusTxt->SetCaption(QStringLiteral("JumpToBoot Failed"));
                        } else {
                            Sensor->CloseComs();
                            StatusTxt->SetCaption(
                                QStringLiteral("JumpToBoot command succesful, waiting for sensor to reboot"));
                            if (Sensor->StartComs(PortName, BootCodeBaud) && Await(MainMenuText, RebootWaitMs)) {
                                BootCodeLoaded();
                                result = true;
                            }
                        }
                    }
                    Sensor->CloseComs();
                }
            } else {
                // No banner at any rate: perhaps the sensor already sits in
                // its boot code.
                Sensor->CloseComs();
                ProcessMessages();
                ProcessMessages();
                if (Sensor->StartComs(PortName, BootCodeBaud)) {
                    ProgressBar1->setRange(0, BootCheckProbes);
                    ProgressLabel->SetCaption(QStringLiteral("Checking for boot loader"));
                    ProgressBar1->setValue(0);
                    result = ProbeBootCode(BootCheckAnswer, BootCheckWaitMs, BootCheckProbes, 1);
                    Sensor->CloseComs();
                }
            }
        } catch (...) {
            // The attempt ends here (no port number, no working folder, a
            // port error); the caller reports it.
        }
        // Whatever happened, another program can have the port now.
        if (Sensor)
            Sensor->CloseComs();
    }
    return result;
}

bool TMainForm::ProbeBootCode(const char* answer, uint16_t timeout, int probes, int firstStep)
{
    for (int i = 0; i < probes; ++i) {
        ProgressBar1->setValue(firstStep + i);
        ProcessMessages();
        if (SendAndAwait(BootProbe, answer, timeout)) {
            BootCodeLoaded();
            return true;
        }
    }
    return false;
}

void TMainForm::BootCodeLoaded()
{
    StatusTxt->SetCaption(QStringLiteral("Sensor connected, bootcode loaded"));
    inBootCode = true;
}

int32_t TMainForm::FindSensorBaudRate()
{
    ProgressLabel->SetCaption(QStringLiteral("Establishing sensor communications"));
    ShowPage(TabSheet3);
    const QString port = QString::fromLatin1(PortName.data(), static_cast<int>(PortName.size()));
    ProgressBar1->setRange(0, SearchSteps);
    ProgressBar1->setValue(0);
    for (const int32_t rate : CandidateRates) {
        ProgressLabel->SetCaption(QStringLiteral("Trying ") + port + QStringLiteral(" at ") + rateText(rate));
        if (!Sensor->StartComs(PortName, rate))
            continue;
        ProcessMessages();
        StatusTxt->SetCaption(rateText(rate));
        bool answered = false;
        for (int probe = 0; probe < ProbesPerRate; ++probe) {
            ProgressBar1->setValue(ProgressBar1->value() + 1);
            Sensor->SendString(BannerProbe);
            ProcessMessages();
            if (Await(BannerText, BannerWaitMs)) {
                StatusTxt->SetCaption(QStringLiteral("Connection established at ") + rateText(rate));
                answered = true;
                break;
            }
        }
        Sensor->CloseComs();
        for (int i = 0; i < 3; ++i)
            ProcessMessages();
        if (answered)
            return rate;
    }
    return 0;
}

void TMainForm::ConnectFailed()
{
    StatusTxt->SetCaption(QString());
    ShowMessage(QStringLiteral("Failed to communicate with sensor"));
    ShowPage(TabSheet1);
}

bool TMainForm::ConnectAndReadOptions(bool powerCycle)
{
    if (!ConnectToBootCode(powerCycle)) {
        ConnectFailed();
        return false;
    }
    if (ReadOrVerifyOptions(false)) {
        StatusTxt->SetCaption(QString());
        ShowPage(TabSheet2);
        return true;
    }
    if (ClosedBySeriousError)
        return false;
    StatusTxt->SetCaption(QStringLiteral("Failed to retrieve communications options"));
    ShowPage(TabSheet1);
    ExitBootCode();
    return false;
}

void TMainForm::ConnectBtnClick()
{
    if (IsBusy())
        return;
    OperationScope operation;
    BeginOperation(operation);
    try {
        ConnectAndReadOptions(false);
    } catch (...) {
        // Whatever broke the attempt, the user is told that the connection
        // failed and gets the connect page back.
        ConnectFailed();
    }
}

void TMainForm::ConnectPCBtnClick()
{
    if (IsBusy())
        return;
    OperationScope operation;
    BeginOperation(operation);
    // An error goes on to the handler's error box, never ends the attempt
    // unseen.
    if (!ConnectAndReadOptions(true) && Sensor) {
        if (inBootCode)
            ExitBootCode();
        Sensor.reset();
    }
}
