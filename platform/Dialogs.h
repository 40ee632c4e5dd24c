// Message boxes. Every message the programs show goes through here, so tests
// can read the exact text and give the answer through a hook instead of a
// window.
#pragma once

#include <QString>

#include <functional>
#include <string>

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// Buttons, combined with |.
enum TMsgDlgBtn : unsigned {
    mbYes = 1u << 0,
    mbNo = 1u << 1,
    mbOK = 1u << 2,
    mbCancel = 1u << 3,
    mbAbort = 1u << 4,
    mbRetry = 1u << 5,
    mbIgnore = 1u << 6,
};
using TMsgDlgButtons = unsigned;
constexpr TMsgDlgButtons mbYesNo = mbYes | mbNo;
constexpr TMsgDlgButtons mbYesNoCancel = mbYes | mbNo | mbCancel;
constexpr TMsgDlgButtons mbOKCancel = mbOK | mbCancel;

// Modal results.
enum TModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
};

// What a message box showed, as the hook sees it.
struct ShownMessage {
    QString text;
    TMsgDlgType type = mtInformation;
    TMsgDlgButtons buttons = mbOK;
};

namespace Dialogs {
// With a hook set, no window is shown: the hook gets the message and returns
// the modal result (for ShowMessage the result is ignored).
using Hook = std::function<int(const ShownMessage&)>;
void setHook(Hook hook);
const Hook& hook();
} // namespace Dialogs

// 8-bit text from the sensor code and its images (Latin-1), as a window
// shows it.
QString Latin1Text(const std::string& text);
// The other way: a window's text as 8-bit sensor text. A character without
// a Latin-1 byte becomes "?".
std::string TextToLatin1(const QString& text);

// An information box with OK.
void ShowMessage(const QString& text);
// 8-bit text from the sensor code (Latin-1).
void ShowMessage(const std::string& text);

// A box of the given kind and buttons; returns the modal result of the button
// pressed (mrCancel when closed otherwise, or mrNo when there is no Cancel).
int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext = 0);
int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext = 0);

// How an exception that reached the application is shown: an error box with
// the exception's text and OK (the hook sees mtError and mbOK).
void ShowException(const QString& message);
