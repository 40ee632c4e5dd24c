// The main window of one connection to a sensor. The start-up window creates
// it with the chosen port, shows it modally and deletes it when it closes.
//
// Its first timer tick connects: the device model opens the port, fetches
// the configuration and calibration images (sending back any it had to
// upgrade), the logger status and the logged date range. Then the button bar
// on the left chooses a page: status with the schedules, live values of the
// monitor channels, logging with initials and a comment, data collection,
// the sensor clock, channel calibration with backups, and clearing the
// memory or adding a note to the log.
//
// The implementation is split by topic:
//   SensorFormUnit.cpp            construction, connection, closing
//   SensorFormUnit_Status.cpp     button bar, status refresh, schedules, note
//   SensorFormUnit_Monitor.cpp    clocks, clock page, monitor page, lamps, tray
//   SensorFormUnit_Collect.cpp    collect page: download, conversion, opening files
//   SensorFormUnit_Operations.cpp logging, set-up, calibration, backups, monitor file
//
// Closing: every request to close (Disconnect, a failed connection, another
// sensor answering) only sets the modal result; the window closes once the
// handler that asked has returned to the window's own modal loop, so no
// handler ever finds the device model gone under it.
#pragma once

#include "DateTime.h"
#include "Forms.h"

#include <QColor>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class OperationScope;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QDateTimeEdit;
class QEventLoop;
class QFrame;
class QLabel;
class QLineEdit;
class QPainter;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QSystemTrayIcon;
class QTimeEdit;
class QTimer;
class QToolButton;
class TDlProgForm;
class TFileListBox;
class TMemo;
class TRadioGroup;
class TSensor_Quarn;
class TShape;
class TStringGrid;

// Mode of the button bar (SetButtonStates); any other value acts as bmNormal.
enum enButtonMode : uint8_t {
    bmNormal = 0,
    bmBusyCalibration = 2, // a channel calibration runs
    bmBusyTransfer = 4,    // set-up, download, logging start or stop, datum
};

class TSensorForm : public TForm {
    Q_OBJECT
public:
    // `portName` is the start-up window's chosen port ("COM3"), empty when
    // none was listed. Raises Exception("Cannot create data directory.") when
    // the data folder cannot be made; no window exists then.
    TSensorForm(QWidget* owner, const std::string& portName, QWidget* startUpWindow);
    ~TSensorForm() override;

    // Shows the window modally until a close is requested; returns the modal
    // result. The window closes (FormClose) before this returns.
    int exec() override;
    // A request to close with `result`: see the note at the top.
    void done(int result) override;
    // The modal result requested so far (mrNone while the window stays).
    int ModalResult() const { return modalResult_; }

    // --- the form -------------------------------------------------------
    // Top panel: logo, both clocks, the monitor's progress bar.
    QFrame* TopPanel = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* SensorClockLabel = nullptr; // "Sensor Clock"
    QLabel* PcClockLabel = nullptr;     // "PC Clock"
    QLabel* TopPanelSensorClockTxt = nullptr;
    QLabel* TopPanelPcClockTxt = nullptr;
    QLabel* MonProgLabel = nullptr;
    QProgressBar* MonitorProgressBar = nullptr;

    // Status strip at the bottom.
    QFrame* StatusPanel = nullptr;
    QLabel* StatusTxt = nullptr;
    QLabel* LoggingStatus = nullptr; // " Logging" / " Not Logging", holds LoggingLed
    TShape* LoggingLed = nullptr;
    QFrame* LedPanel = nullptr;
    QLabel* TxLabel = nullptr;
    QLabel* RxLabel = nullptr;
    TShape* TxLed = nullptr;
    TShape* RxLed = nullptr;

    // Button bar (left column). All but ViewMonitorDataBtn form one group in
    // which one button is down at a time.
    QFrame* GroupBoxPanel = nullptr;
    QButtonGroup* ButtonGroup = nullptr;
    QToolButton* StatusBtn = nullptr;
    QToolButton* MonitorBtn = nullptr;
    QToolButton* StartStopBtn = nullptr;
    QToolButton* DataBtn = nullptr;
    QToolButton* SetClockBtn = nullptr;
    QToolButton* ClearMemoryBtn = nullptr;
    QToolButton* SetupSensorBtn = nullptr;
    QToolButton* UserCalibrationBtn = nullptr;
    QToolButton* AddNoteBtn = nullptr;
    QToolButton* ViewMonitorDataBtn = nullptr;
    QToolButton* DisconnectBtn = nullptr;

    // Pages; only the program switches between them (no tabs).
    QStackedWidget* PageControl = nullptr;
    QWidget* Status = nullptr;
    QWidget* Collect = nullptr;
    QWidget* Clock = nullptr;
    QWidget* Calibration = nullptr;
    QWidget* Monitor = nullptr;
    QWidget* Logging = nullptr;
    QWidget* Blank = nullptr;

    // Status page.
    TStringGrid* ControlsTabGrid = nullptr;

    // Collect page.
    QLabel* DlFileNameLabel = nullptr;
    QLineEdit* DlFileNameEditBox = nullptr;
    TRadioGroup* DlCollectionOptions = nullptr; // "All data", "New data", "Between dates"
    QFrame* DlDatePickerPanel = nullptr;
    QLabel* DlFromLabel = nullptr;
    QDateTimeEdit* DlFromDatePicker = nullptr;
    QLabel* DlTillLabel = nullptr;
    QDateTimeEdit* DlTillDatePicker = nullptr;
    QPushButton* CollectDataBtn = nullptr;
    QLabel* DlFileListLabel = nullptr; // " Brindlecot data files"
    TFileListBox* DlFileListBox = nullptr;
    TFileListBox* FileListBox1 = nullptr; // hidden twin of DlFileListBox
    QPushButton* DlOpenFileBtn = nullptr;
    QPushButton* DlOpenExplorerBtn = nullptr;

    // Clock page.
    TRadioGroup* SetClockRadioGroup = nullptr;
    QFrame* SetClockPanel = nullptr;
    QLabel* SetClockDateLabel = nullptr;
    QDateEdit* SetClockDatePicker = nullptr;
    QLabel* SetClockTimeLabel = nullptr;
    QTimeEdit* SetClockTimePicker = nullptr;
    QPushButton* UpdateTimeBtn = nullptr;

    // Calibration page.
    QLabel* ChannelNameLabel = nullptr;
    QComboBox* ChannelNameBox = nullptr;
    // The calibration kinds a channel offers, item index = enCalibrationType
    // (built with all five; ChannelNameBoxChange sets them per channel).
    TRadioGroup* CalibrationTypeRadioGroup = nullptr;
    QPushButton* UcStartCalibrationBtn = nullptr;
    QPushButton* BackupBtn = nullptr;
    QPushButton* RestoreBtn = nullptr;

    // Monitor page.
    TStringGrid* MonitorGrid = nullptr;

    // Logging page.
    QLabel* InitialsLabel = nullptr;
    QLineEdit* InitialsEditBox = nullptr;
    QLabel* CommentsLabel = nullptr;
    TMemo* CommentsMemo = nullptr;
    QCheckBox* ClearMemoryCheckBox = nullptr;
    QPushButton* StartStopBtn2 = nullptr;

    // Timers.
    QTimer* ClockTimer = nullptr;           // 1000 ms, from a good connection until closing
    QTimer* CurrentValuesTimer = nullptr;   // 100 ms, one monitor poll per tick
    QTimer* LedTimer = nullptr;             // 100 ms, the lamps, always
    QTimer* MonitorProgressTimer = nullptr; // 500 ms, the monitor's progress bar

    // Tray icon; only where the desktop has a tray, else null.
    QSystemTrayIcon* TrayIcon1 = nullptr;

    // --- members --------------------------------------------------------
    std::unique_ptr<TSensor_Quarn> Sensor; // the device model, from connection until closing
    std::string PortName;             // "COM3"
    std::string DataFolder;           // <app data>/Brindlecot/
    std::string DownloadsFolder;      // DataFolder + "data/" + sensor name + "/"
    std::string ConnectionSensorID;   // ID of the first good status refresh
    uint8_t ClosingDown = 0;          // the connection must end; never cleared
    QTimer* StartTimer = nullptr;     // one-shot: the connection sequence
    TDlProgForm* InitProgress = nullptr;
    std::vector<std::string> MonitorLines; // lines of "Monitor.csv" (8-bit)
    uint8_t RxFlag = 0;
    uint8_t TxFlag = 0;
    QWidget* StartUpWindow = nullptr; // not owned

    // --- construction, connection, closing (SensorFormUnit.cpp) -----------
    void InitialiseSensor();
    // DownloadsFolder from the sensor name, made when missing, handed to
    // both file lists. Raises Exception("Cannot create data directory.").
    void CheckDownloadFolder();
    void DebugTextEvent(QObject* Sender, const std::string& text);
    void CentreStartUpForm();
    void FormClose();

    // --- status page and button bar (SensorFormUnit_Status.cpp) -------------
    bool UpdateLoggerStatus();
    bool CheckSensorStatus();
    // Marks the connection lost for the rest of the window's life: the sensor
    // no longer answers, or what it holds is no longer known. Sets
    // ClosingDown, so that every later CheckSensorStatus fails at once
    // without sending anything; shows `why` (one or two sentences saying what
    // happened) in the status line; stops monitoring; and disables every
    // control that starts an operation on the sensor (the bar but
    // Disconnect, the Clock, Logging and Calibration pages, "Start Data
    // Download"), also past the end of an operation running now. Shows no
    // message and does not close the window: the user disconnects. Called
    // again, it shows the newer reason.
    void SensorLost(const QString& why);
    void SetButtonStates(uint8_t mode);
    // Hundredths of a second as "N seconds", "N minutes" or "N hours".
    static std::string FormatInterval(uint32_t interval);
    void ShowSchedulesStatus();
    void BuildMonitorChannelTable();
    void ControlsTabGridDrawCell(QPainter& canvas, int column, int row, const QRect& rect);
    // Shared by the group's buttons; tells them apart by Sender's name.
    void StatusBtnClick(QObject* Sender);
    void DisconnectBtnClick();

    // --- clocks, monitor, lamps, tray (SensorFormUnit_Monitor.cpp) ----------
    void ClockTimerTimer();
    void CurrentValuesTimerTimer();
    void MonitorProgressTimerTimer();
    void MonitorGridDrawCell(QPainter& canvas, int column, int row, const QRect& rect);
    void SetClockRadioGroupClick();
    void UpdateTimeBtnClick();
    void RxActivityEvent(QObject* Sender);
    void TxActivityEvent(QObject* Sender);
    void LedTimerTimer();
    void TrayIcon1Click();
    // Key filter of the Logging page's initials and comment: sets Key to 0
    // to drop it.
    void InitialsEditBoxKeyPress(QObject* Sender, QChar& Key);
    // Start of monitoring, after the button bar's common steps.
    void StartMonitoring();
    // The PC's local date and time as the windows show it.
    static std::string DateTimeText(TDateTime value);
    // A value with `precision` decimals, as the monitor grid shows it.
    static std::string FormatValue(double value, int precision);

    // --- collect page (SensorFormUnit_Collect.cpp) ---------------------------
    void CollectDataBtnClick();
    void DownloadLoggerData(const std::string& baseName, bool newData);
    void DlCollectionOptionsClick();
    void DlFileListBoxClick();
    // Bound to both file lists; opens the double-clicked item of Sender.
    void DlFileListBoxDblClick(QObject* Sender);
    void DlOpenFileBtnClick();
    void DlOpenExplorerBtnClick();
    void LaunchGraphViewer(const std::string& viewerName, const std::string& filePath);

    // --- logging, set-up, calibration, backups (SensorFormUnit_Operations.cpp)
    void SetupSensor();
    void StartStopBtn2Click();
    void ChannelNameBoxChange();
    void UcStartCalibrationBtnClick();
    // True when the datum dialog ended with "Commit changes".
    bool ConfigureDatum();
    void BackupBtnClick();
    void RestoreBtnClick();
    void ViewMonitorDataBtnClick();

    // The page shown, and showing one.
    QWidget* ActivePage() const;
    void SetActivePage(QWidget* page);
    // The window's caption with the connected sensor's name.
    QString SensorCaption() const;

    // Colours of the lamps.
    static QColor LampRed() { return QColor(255, 0, 0); }
    static QColor LampGreen() { return QColor(0, 128, 0); }

protected:
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void buildTopPanel();
    void buildStatusPanel();
    void buildButtonBar();
    void buildPages();
    void connectHandlers();
    void setMonitorHeader();
    // Monitor values in the normal colour, or greyed as no longer live.
    void setMonitorValuesLive(bool live);
    // The monitor selection's enabled channels, in its order: the order of
    // the live values. Empty without a device model.
    std::vector<uint8_t> monitoredChannels() const;
    void releaseSensor();

    // Brackets one operation that waits for the sensor until `scope` ends:
    // the bar in `mode` and the pages' operation buttons off, then the bar
    // back to normal.
    void beginOperation(OperationScope& scope, uint8_t mode);
    // The guard's verdict on a sensor that gave no answer: lost, said once.
    void sensorDoesNotAnswer();
    // Says that a command the sensor did not carry out left `notDone` undone;
    // a sensor that gave no answer at all is lost from then on.
    void commandFailed(const QString& notDone);
    // Keeps off, once the connection is lost, what SensorLost disabled.
    void keepLostControlsOff();

    QEventLoop* modalLoop_ = nullptr;
    int modalResult_ = mrNone;
    bool closed_ = false;
    bool polling_ = false;
    unsigned userAborts_ = 0; // waits the user ended from the button bar

    // --- helpers of the collect page and the operations ---------------------
    // (their own section: added to by the data collection and operations work)

    // Opens a file of `list`: graph files in the viewer, others with the
    // desktop's default program.
    void openListedFile(const TFileListBox* list, const QString& name);
    // The enDownloadResult of the last DownloadLoggerData.
    uint8_t lastDownloadResult_ = 2;
    // The text written into the log when logging starts ('S') or stops
    // ('E'), or with a note ('V'): the kind, the initials padded to seven
    // characters, the comment.
    static std::string loggingComment(char kind, const QLineEdit* initials, const TMemo* comment);
    // The warning before the logged data is cleared; true when the user
    // answers Yes.
    static bool clearMemoryConfirmed();
    // The channel the Calibration page names (its name in `name`), or -1 when
    // the name is of no channel that can be calibrated.
    int calibrationChannel(std::string* name) const;
    // Runs the calibration of `calibration` type on `channel`; true when it
    // succeeded.
    bool calibrate(int channel, const std::string& name, uint8_t calibration);
    // The channel whose calibration types the page offers (-1: none).
    int calibrationTypesChannel_ = -1;
};
