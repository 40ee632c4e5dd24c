#include "ChannelSelectionUnit.h"

#include "StdCtrls.h"

#include <QPushButton>
#include <QVBoxLayout>

TChannelSelectionForm::TChannelSelectionForm(QWidget* owner)
    : TForm(owner, NoBorderIcons | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("ChannelSelectionForm"));
    ChannelListBox = Named(new TCheckListBox(this), "ChannelListBox");
    OkBtn = Named(MakeButton(QStringLiteral("OK"), mrOk), "OkBtn");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ChannelListBox, 1);
    layout->addWidget(OkBtn, 0, Qt::AlignHCenter);
    resize(240, 300);
}
