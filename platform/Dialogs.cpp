#include "Dialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace {
Dialogs::Hook& hookRef()
{
    static Dialogs::Hook h;
    return h;
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

void ShowMessage(const QString& text)
{
    if (const auto& h = Dialogs::hook()) {
        h(ShownMessage{text, mtInformation, mbOK});
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
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
    QMessageBox box(icon, title, text, standard, QApplication::activeWindow());
    const int pressed = box.exec();
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
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), message, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}
