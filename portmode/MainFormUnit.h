// The comms-mode utility's one window: the connect page (port choice,
// "Standard connect" with the baud-rate search, "Power cycle connect"), the
// settings page that reads, writes and verifies the sensor's serial options
// through its boot-code text menu, a progress page, and the information and
// wiring pages. Built, shown and tested as the main application's windows
// are (see app/Brindlecot.h).
//
// The window owns one device model at a time, made anew by every connection
// attempt. The serial port is open only while an operation runs; between
// operations the sensor waits in its boot-code menu with the port closed.
//
// While an operation waits for the sensor, every control that could start
// another one is disabled and a close request from the desktop is refused,
// so that no second operation runs inside the first one's wait.
#pragma once

#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class OperationScope;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QTextEdit;
class QTimer;
class TCaptionLabel;
class TImage;
class TRadioGroup;
class TSensor_Quarn;
class TShape;

// The baud rate chosen on the settings page: the item index of BaudRateCB
// + 1, and its number in the boot-code menu.
enum enBaudSelection : int32_t {
    bs1200 = 1,
    bs2400 = 2,
    bs4800 = 3,
    bs9600 = 4,
    bs19200 = 5,
};

// The communications mode from the two radio groups (line, Modbus framing);
// the boot-code menu numbers them from 1.
enum enCommsModeIndex : int32_t {
    cmRs232Rtu = 0,
    cmRs232Ascii = 1,
    cmRs422_485Rtu = 2,
    cmRs422_485Ascii = 3,
};

// The value a boot-code prompt reports: what follows the first "=" of the
// received text up to the next carriage return (or the end), without the
// blanks and control characters around it.
std::string PromptValue(const std::string& received);

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* owner = nullptr);
    ~TMainForm() override;

    // --- menu and status strip -------------------------------------------
    QMenuBar* MainMenu1 = nullptr;
    QMenu* File1 = nullptr;
    QAction* Exit1 = nullptr;
    QAction* About1 = nullptr;
    QWidget* StatusPanel = nullptr;
    TCaptionLabel* StatusTxt = nullptr;
    QWidget* LedPanel = nullptr;
    TShape* TxLed = nullptr;
    TShape* RxLed = nullptr;
    QTimer* LedTimer = nullptr;

    // --- pages -------------------------------------------------------------
    QStackedWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr; // connect page
    QWidget* TabSheet2 = nullptr; // settings page
    QWidget* TabSheet3 = nullptr; // progress page
    QWidget* TabSheet4 = nullptr; // information page

    // Connect page.
    TImage* Image7 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* AvailComportComboBox = nullptr;
    QPushButton* RefreshComportList = nullptr;
    QPushButton* ConnectBtn = nullptr;
    QPushButton* ConnectPCBtn = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* HelpBtn = nullptr;

    // Settings page.
    TImage* Image8 = nullptr;
    TRadioGroup* CommsModeGB = nullptr;
    QComboBox* BaudRateCB = nullptr;
    TRadioGroup* ModBusRG = nullptr;
    QLabel* ModbusAddressLabel = nullptr;
    QLineEdit* ModbusAddressEB = nullptr;
    QPushButton* RestoreDefaultsBtn = nullptr;
    QPushButton* UpdateSensorBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    // Progress page.
    TImage* Image9 = nullptr;
    TCaptionLabel* ProgressLabel = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

    // Information page.
    QTabWidget* PageControl2 = nullptr;
    QTextEdit* RichEdit1 = nullptr;
    QTabWidget* PageControl3 = nullptr;
    TImage* Image1 = nullptr; // RS422
    TImage* Image2 = nullptr; // RS232
    TImage* Image3 = nullptr; // wiring table, RS232 tab
    TImage* Image4 = nullptr; // RS485
    TImage* Image5 = nullptr; // wiring table, RS422 tab
    TImage* Image6 = nullptr; // wiring table, RS485 tab
    QPushButton* HelpOkBtn = nullptr;

    // --- state ---------------------------------------------------------------
    // The device model of the current or last connection attempt.
    std::unique_ptr<TSensor_Quarn> Sensor;
    bool RxFlag = false;
    bool TxFlag = false;
    // The port name last read from or written to the settings file.
    QString SavedPort;
    // The port of the current connection ("Com3"), used by every later opening.
    std::string PortName;
    // The sensor is known to sit in its boot-code menu.
    bool inBootCode = false;

    // True while an operation on the sensor runs.
    bool IsBusy() const { return Busy > 0; }

    // The settings file: the program file's path with the extension ".ini".
    static QString IniFileName();
    // SavedPort from and to the settings file.
    void ReadIniSettings();
    void WriteIniSettings();
    // The folder of the program file, where the information files lie.
    static QString ProgramFolder();

    int CommsModeIndex() const;
    void SetCommsModeIndex(int index);

    // --- connecting (MainFormUnit_Connect.cpp) ------------------------------
    // Brings the sensor into its boot-code menu; true when the menu answered.
    // The port is closed again on every way out.
    bool ConnectToBootCode(bool powerCycle);
    // The rate at which the sensor's banner answered on PortName, or 0.
    int32_t FindSensorBaudRate();

    // --- the boot-code menu (MainFormUnit_BootMenu.cpp) ----------------------
    // Reads the sensor's options into the settings page, or (verify) compares
    // them with it.
    bool ReadOrVerifyOptions(bool verify);
    // Sends the settings page's options.
    bool WriteOptions();
    // Makes the sensor leave its boot code; shows a message when it does not.
    bool ExitBootCode();

    // Link events of the device model.
    void RxActivityEvent(QObject* sender);
    void TxActivityEvent(QObject* sender);
    void DebugTextEvent(QObject* sender, const std::string& text);

public slots:
    void FormShow();
    void RefreshComportListClick();
    void AvailComportComboBoxChange();
    void LedTimerTimer();
    void ModbusAddressEBChange();
    void ModbusAddressEBExit();
    void HelpBtnClick();
    void HelpOkBtnClick();
    void Image2DblClick();
    void Image1DblClick();
    void Image4DblClick();
    void Image6DblClick();
    void About1Click();
    void Exit1Click();
    void FormClose();

    void ConnectBtnClick();
    void ConnectPCBtnClick();

    void UpdateSensorBtnClick();
    void RestoreDefaultsBtnClick();
    void CancelBtnClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Makes `operation` an operation on the sensor: the window is busy and
    // everything that could start another one is disabled until it ends.
    void BeginOperation(OperationScope& operation);

    void BuildConnectPage();
    void BuildSettingsPage();
    void BuildProgressPage();
    void BuildInformationPage();
    void LoadInformation();
    void ListComPorts();
    QString SelectedPort() const;
    void AvailComportComboBoxEdited(const QString& text);
    void BaudRateCBEdited(const QString& text);
    void ModbusAddressEBKeyPress(QObject* Sender, QChar& Key);
    void OpenWiringPicture(const QString& fileName);
    void ShowPage(QWidget* page);

    // Connects and reads the sensor's options into the settings page; true
    // when that page shows. A failure shows the connect page again; when the
    // options could not be read, the sensor is asked to leave its boot code.
    bool ConnectAndReadOptions(bool powerCycle);
    // No connection: the message, and the connect page again.
    void ConnectFailed();
    // Presses a key the boot code does not know up to `probes` times until
    // `answer` comes; the progress bar counts the probes from `firstStep`.
    bool ProbeBootCode(const char* answer, uint16_t timeout, int probes, int firstStep);
    // The sensor answers from its boot-code menu.
    void BootCodeLoaded();
    // Closes the window, which ends the program. Any other request to close
    // it (the desktop's) runs as File > Exit.
    void CloseWindow();

    // The boot code speaks at this rate only; its main menu ends with this.
    static constexpr int32_t BootCodeBaud = 19200;
    static constexpr const char* MainMenuText = "(E)xit Boot Code";

    // One wait of the boot-code dialogue: sends nothing, awaits `pattern`
    // for `timeout` ms in a receive buffer of 8192 bytes and keeps what came
    // in Received.
    bool Await(const char* pattern, uint16_t timeout);
    // Sends `text`, then awaits `pattern` as Await does.
    bool SendAndAwait(const std::string& text, const char* pattern, uint16_t timeout);
    // The steps of a walk through the boot-code menus, each false when the
    // awaited text does not come. A menu key goes once the waiting events
    // are handled and awaits its menu text or prompt:
    bool MenuKey(const char* key, const char* text);
    // a value goes after the boot code's pause and awaits the main menu;
    bool MenuValue(const std::string& value);
    // the communications menu, then in it the prompt behind `key`.
    bool CommsPrompt(const char* key, const char* prompt);
    // Runs `walk` with the port open at the boot code's rate and closes it
    // again; false without a device model or an open port. A port error or
    // a text that is no number is a serious error, and false.
    bool OnBootCodePort(const std::function<bool()>& walk);
    // A serious error of an operation: its message, the closing message, and
    // the window closes. The operations that called it end quietly then: the
    // closing message is the last the user sees.
    void SeriousError(const std::exception& error);

    int Busy = 0;
    bool ClosingByProgram = false;
    bool ClosedBySeriousError = false;
    std::vector<uint8_t> ReceiveBuffer;
    std::string Received;
};
