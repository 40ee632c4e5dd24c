#include "MessageFormUnit.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

TMessageForm::TMessageForm(QWidget* owner) : TForm(owner, NoBorderIcons | Qt::WindowStaysOnTopHint)
{
    ProgressLabel = Named(new QLabel(QStringLiteral("Progress"), this), "ProgressLabel");
    ProgressLabel->setAlignment(Qt::AlignCenter);
    ProgressBar = Named(new QProgressBar(this), "ProgressBar");
    ProgressBar->setRange(0, 20);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(ProgressLabel);
    layout->addWidget(ProgressBar);
    ProgressBar->setMinimumWidth(280);

    Timer1 = Named(new QTimer(this), "Timer1");
    Timer1->setInterval(500);
    ConnectHandler(Timer1, &QTimer::timeout, this, &TMessageForm::Timer1Timer);
    Timer1->start();
}

void TMessageForm::Timer1Timer()
{
    // One step; a full bar stays full rather than starting over.
    if (ProgressBar->value() < ProgressBar->maximum())
        ProgressBar->setValue(ProgressBar->value() + 1);
}
