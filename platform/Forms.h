// The application object and the base of the programs' dialogs.
//
// An exception that escapes an event handler (a button's click handler, a
// timer) is shown in a message box with its text, and the program goes on.
// Handlers are connected with ConnectHandler, which catches at the handler
// itself: an exception must not unwind through Qt's event delivery, which is
// not built for it and leaks on the way.
// TApplication catches whatever still reaches the event loop.
//
// TForm: a dialog built in code, shown modally with ShowModal() (exec()).
// Its buttons close it with a modal result (mrOk = 1 for OK, mrCancel = 2);
// the close box gives mrCancel. Only a button made the default one reacts
// to Enter, and Escape does nothing unless a form wires it.
#pragma once

#include "Dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QString>

#include <functional>

class QPushButton;

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Runs an event handler; an exception it raises is shown with ShowException.
void RunHandler(const std::function<void()>& handler);

// Connects `signal` of `sender` to the handler `handler` of `form`, run
// through RunHandler. The handler takes the signal's first arguments or none.
template <class Sender, class Signal, class Form, class... Args>
QMetaObject::Connection ConnectHandler(Sender* sender, Signal signal, Form* form, void (Form::*handler)(Args...))
{
    return QObject::connect(sender, signal, form,
                            [form, handler](Args... args) { RunHandler([&] { (form->*handler)(args...); }); });
}

// The full path of the running program file. The settings file and the
// single-instance lock are named after it. Tests pretend to be another
// program file (in their temporary folder) with setExeName; an empty path
// returns to the real one.
QString ExeName();
void setExeName(const QString& path);

// `fileName` with its last extension replaced by `extension` (".ini").
QString ChangeFileExt(const QString& fileName, const QString& extension);

// Window kinds the forms use.
constexpr Qt::WindowFlags NoBorderIcons = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
constexpr Qt::WindowFlags SystemMenuOnly =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

// Gives a control the name the window's code calls it by; handlers shared by
// several controls tell them apart by this name.
template <class Control>
Control* Named(Control* control, const char* name)
{
    control->setObjectName(QLatin1String(name));
    return control;
}

// Moves a top-level window to the middle of its screen.
void CenterOnScreen(QWidget* window);

class TForm : public QDialog {
    Q_OBJECT
public:
    // A form with an owner is centred on it when shown.
    explicit TForm(QWidget* owner, Qt::WindowFlags flags = SystemMenuOnly);

    int ShowModal() { return exec(); }

protected:
    // A push button of this form. With a modal result other than mrNone a
    // click closes the form with it; a default button also answers Enter.
    QPushButton* MakeButton(const QString& caption, int modalResult = mrNone, bool isDefault = false);

    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;
};
