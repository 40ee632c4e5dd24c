#include "StringQueryForm.h"

#include "KeyFilter.h"

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
    TKeyFilter::Install(Edit, QueryKey, [this](QChar& key) {
        if (!EditKeyPress(key))
            key = QChar();
    });
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
    return QueryKey(QString(), key);
}

bool TStringQuery::QueryKey(const QString&, QChar key)
{
    const char16_t code = key.unicode();
    if (code == 8 || code == 12 || code == u' ' || code == u'-' || code == u'_' || (code >= u'0' && code <= u'9'))
        return true;
    // The names are stored as 8-bit text: a letter beyond Latin-1 has no
    // byte there.
    return key.isLetter() && code <= 0xFF;
}
