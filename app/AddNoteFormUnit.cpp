#include "AddNoteFormUnit.h"

#include "KeyFilter.h"
#include "LogText.h"
#include "StdCtrls.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TAddNoteForm::TAddNoteForm(QWidget* owner) : TForm(owner, SystemMenuOnly)
{
    setWindowTitle(QStringLiteral("Add Note"));
    InitialsEditBox = Named(new QLineEdit(this), "InitialsEditBox");
    InitialsEditBox->setMaxLength(LogText::InitialsLength);
    CommentsMemo = Named(new TMemo(this), "CommentsMemo");
    CommentsMemo->SetMaxLength(LogText::CommentLength);
    // The note ends in the log as the Logging page's comment does.
    const auto logKey = [](const QString&, QChar key) { return LogText::KeyPasses(key); };
    TKeyFilter::Install(InitialsEditBox, logKey);
    TKeyFilter::Install(CommentsMemo, logKey);
    OkBtn = Named(MakeButton(QStringLiteral("Ok"), mrOk), "OkBtn");
    CancelBtn = Named(MakeButton(QStringLiteral("Cancel"), mrCancel), "CancelBtn");

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Initials"), InitialsEditBox);
    fields->addRow(QStringLiteral("Comment"), CommentsMemo);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    resize(380, 240);
}
