// The port dialog shown when no port number is known (COM0): the devices of
// the COM port map that exist (nothing else is probed), and a field to type
// any device path (a relative one is taken relative to /dev).
#pragma once

#include <QDialog>

#include <functional>

class QLineEdit;
class QListWidget;
class TVaComm;

class TVaConfigDialog : public QDialog {
    Q_OBJECT
public:
    explicit TVaConfigDialog(QWidget* parent = nullptr);

    // The port object the chosen device is written into.
    TVaComm* Comm = nullptr;

    // Shows the dialog modally; on OK the typed or chosen device becomes
    // Comm->DeviceName. Returns false when the user cancelled or chose nothing.
    bool Execute();

    // Tests answer the dialog through this hook instead of a window: it gets
    // the dialog (DevicePathEdit can be filled) and returns true for OK.
    static std::function<bool(TVaConfigDialog&)> ExecuteHook;

    QListWidget* DeviceList = nullptr;
    QLineEdit* DevicePathEdit = nullptr;
};
