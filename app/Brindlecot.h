// The start-up window: the COM port choice, the settings file that remembers
// it, and "Connect", which opens the main window for one connection.
//
// How the windows of both programs are built, shown and tested:
// - Each window is a class built in code in its constructor (no designer
//   files). Its controls are public members, each also carrying its name as
//   object name (Named), and its event handlers are slots of the same names,
//   connected in the constructor with ConnectHandler.
// - Dialogs derive from TForm (platform/Forms.h): shown modally with
//   ShowModal()/exec(), closed by buttons with modal results (1 = OK,
//   2 = Cancel), deleted by whoever created them right after. "On show"
//   handlers run from showEvent when the window goes from hidden to shown.
// - Message boxes go through platform/Dialogs.h, links and documents through
//   platform/Shell.h; both have hooks that tests set to read the exact text
//   or target and to answer without a window.
// - An exception a handler raises is shown in an error box with its text
//   (through the same hook) and the program carries on; called directly, as
//   tests may, the handler raises it to the caller. Nothing swallows an
//   exception on its way there.
// - A long operation (anything that waits for the sensor) brackets itself
//   with one OperationScope (platform/OperationScope.h): the busy state, the
//   controls it disables and the progress window or timer it owns (through
//   std::unique_ptr, with the member that points at it) come back on every
//   way out, an exception too. A message about the outcome is shown by the
//   operation's normal code after the scope ends, never from a destructor.
// - Tests run on the offscreen platform: they build the window, call its
//   handlers or click its controls (QTest), and answer modal windows from a
//   zero-time timer that finds QApplication::activeModalWidget().
#pragma once

#include <QMainWindow>
#include <QString>

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;

class TStartUpForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TStartUpForm(QWidget* owner = nullptr);

    QMenuBar* MainMenu1 = nullptr;
    QMenu* File1 = nullptr;
    QAction* Exit1 = nullptr;
    QAction* About1 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* AvailComportComboBox = nullptr;
    QPushButton* ConnectBtn = nullptr;
    QPushButton* RefreshComportList = nullptr;

    // The port name last read from or written to the settings file.
    QString SavedPort;

    // The settings file: the program file's path with the extension ".ini".
    static QString IniFileName();

public slots:
    void FormShow();
    void RefreshComportListClick();
    void AvailComportComboBoxChange();
    void ConnectBtnClick();
    void About1Click();
    void Exit1Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // SavedPort from and to the settings file.
    void ReadIniSettings();
    void WriteIniSettings();
    void ListComPorts();
    void AvailComportComboBoxEdited(const QString& text);
};

// The start-up window of the running program, set by WinMain.
extern TStartUpForm* StartUpForm;
