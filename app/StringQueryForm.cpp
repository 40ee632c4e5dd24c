#include "StringQueryForm.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TStringQuery::TStringQuery(QWidget* owner) : TForm(owner, NoBorderIcons | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("Brindlecot Input Query"));
    Label = Named(new QLabel(this), "Label");
    Label->setAlignment(Qt::AlignCenter);
    Edit = Named(new QLineEdit(this), "Edit");
    OkBtn = Named(MakeButton(QStringLiteral("Ok"), mrOk), "OkBtn");
    CancelBtn = Named(MakeButton(QStringLiteral("Cancel"), mrCancel), "CancelBtn");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label);
    layout->addWidget(Edit);
    layout->addLayout(buttons);
    resize(300, 120);
    Edit->installEventFilter(this);
}

void TStringQuery::showEvent(QShowEvent* event)
{
    TForm::showEvent(event);
    if (!event->spontaneous())
        RunHandler([this] { FormShow(); });
}

void TStringQuery::FormShow()
{
    Edit->setFocus();
}

bool TStringQuery::EditKeyPress(QChar key)
{
    const char16_t code = key.unicode();
    if (code == 13) {
        done(mrOk);
        return false;
    }
    if (code == 8 || code == 12 || code == u' ' || code == u'-' || code == u'_' || (code >= u'0' && code <= u'9'))
        return true;
    return key.isLetter();
}

bool TStringQuery::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Edit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        // Keys that type no character (arrows, Delete, Tab, Escape, Ctrl
        // shortcuts) are editing commands here, not characters: they pass.
        // Backspace, Enter and every printable character go through the filter.
        if (text.size() == 1) {
            const char16_t code = text.at(0).unicode();
            const bool character = code == 8 || code == 12 || code == 13 || (code >= 32 && code != 127);
            if (character && !EditKeyPress(text.at(0)))
                return true;
        }
    }
    return TForm::eventFilter(watched, event);
}
