#include "Dialogs.h"

#include <QApplication>
#include <QMessageBox>

#include <algorithm>
#include <vector>

namespace {
Dialogs::Hook& hookRef()
{
    static Dialogs::Hook h;
    return h;
}

bool staysOnTop(const QWidget* window)
{
    return window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

// A window of its own (not a menu or a tip).
bool isFormWindow(const QWidget* window)
{
    const Qt::WindowType type = window->windowType();
    return type == Qt::Window || type == Qt::Dialog || type == Qt::Tool;
}

// `window` is `owner` or a window that `owner` owns, however deep.
bool ownedBy(const QWidget* window, const QWidget* owner)
{
    for (const QWidget* w = window; w; w = w->parentWidget() ? w->parentWidget()->window() : nullptr)
        if (w == owner)
            return true;
    return false;
}

// The window a box belongs to: the one in front of the user now. A visible
// stay-on-top window that takes input (the modal window or one it owns, such
// as a progress window) covers every other window; of several, one owned by
// another lies above it. Otherwise the modal window, else the active one. A
// box owned by a window further back would open beneath it.
QWidget* boxOwner()
{
    QWidget* modal = QApplication::activeModalWidget();
    std::vector<QWidget*> onTop;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && isFormWindow(w) && staysOnTop(w) && (!modal || ownedBy(w, modal)))
            onTop.push_back(w);
    for (QWidget* candidate : onTop) {
        const bool coveredByOwned = std::any_of(onTop.begin(), onTop.end(), [candidate](const QWidget* other) {
            return other != candidate && ownedBy(other, candidate);
        });
        if (!coveredByOwned)
            return candidate;
    }
    return modal ? modal : QApplication::activeWindow();
}

// Shows a box in front of the window the user looks at and returns the
// button pressed. Over a stay-on-top window the box stays on top as well: a
// window manager keeps a normal window beneath the stay-on-top ones even when
// they own it.
int execBox(QMessageBox::Icon icon, const QString& title, const QString& text, QMessageBox::StandardButtons buttons)
{
    QWidget* owner = boxOwner();
    Qt::WindowFlags flags = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint;
    if (owner && staysOnTop(owner))
        flags |= Qt::WindowStaysOnTopHint;
    QMessageBox box(icon, title, text, buttons, owner, flags);
    return box.exec();
}
} // namespace

namespace Dialogs {
void setHook(Hook hook)
{
    hookRef() = std::move(hook);
}
const Hook& hook()
{
    return hookRef();
}
} // namespace Dialogs

QString Latin1Text(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<int>(text.size()));
}

std::string TextToLatin1(const QString& text)
{
    return text.toLatin1().toStdString();
}

void ShowMessage(const QString& text)
{
    if (const auto& h = Dialogs::hook()) {
        h(ShownMessage{text, mtInformation, mbOK});
        return;
    }
    execBox(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok);
}

void ShowMessage(const std::string& text)
{
    ShowMessage(Latin1Text(text));
}

int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int /*helpContext*/)
{
    if (const auto& h = Dialogs::hook())
        return h(ShownMessage{text, type, buttons});

    static const struct {
        TMsgDlgBtn button;
        QMessageBox::StandardButton standard;
        int result;
    } map[] = {
        {mbYes, QMessageBox::Yes, mrYes},         {mbNo, QMessageBox::No, mrNo},
        {mbOK, QMessageBox::Ok, mrOk},            {mbCancel, QMessageBox::Cancel, mrCancel},
        {mbAbort, QMessageBox::Abort, mrAbort},   {mbRetry, QMessageBox::Retry, mrRetry},
        {mbIgnore, QMessageBox::Ignore, mrIgnore},
    };
    QMessageBox::StandardButtons standard;
    for (const auto& m : map)
        if (buttons & m.button)
            standard |= m.standard;
    if (!standard)
        standard = QMessageBox::Ok;

    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    switch (type) {
    case mtWarning: icon = QMessageBox::Warning; title = QStringLiteral("Warning"); break;
    case mtError: icon = QMessageBox::Critical; title = QStringLiteral("Error"); break;
    case mtInformation: icon = QMessageBox::Information; title = QStringLiteral("Information"); break;
    case mtConfirmation: icon = QMessageBox::Question; title = QStringLiteral("Confirm"); break;
    case mtCustom: title = QApplication::applicationName(); break;
    }
    const int pressed = execBox(icon, title, text, standard);
    for (const auto& m : map)
        if (pressed == m.standard)
            return m.result;
    return (buttons & mbCancel) ? mrCancel : mrNo;
}

int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext)
{
    return MessageDlg(Latin1Text(text), type, buttons, helpContext);
}

void ShowException(const QString& message)
{
    if (const auto& h = Dialogs::hook()) {
        h(ShownMessage{message, mtError, mbOK});
        return;
    }
    execBox(QMessageBox::Critical, QApplication::applicationName(), message, QMessageBox::Ok);
}
