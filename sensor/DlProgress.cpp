#include "DlProgress.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace {
// The window a progress window belongs to: its owner when that is a window,
// otherwise the window that is modal now. A window outside the modal one
// would get no input while it is shown, so its Cancel could not be clicked.
QWidget* windowFor(QObject* owner)
{
    if (!owner)
        return nullptr;
    if (auto* window = qobject_cast<QWidget*>(owner))
        return window;
    return QApplication::activeModalWidget();
}
} // namespace

TDlProgForm::TDlProgForm(QObject* owner, bool ShowCancel)
    : TForm(windowFor(owner), NoBorderIcons | Qt::WindowStaysOnTopHint)
{
    // A non-window owner (the device model) cannot be a widget's parent; it
    // still frees the window with itself.
    if (owner && !qobject_cast<QWidget*>(owner))
        connect(owner, &QObject::destroyed, this, [this] { delete this; });

    setWindowTitle(QStringLiteral("Data Download"));
    setFixedSize(397, 135);

    Label1 = Named(new QLabel(this), "Label1");
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setGeometry(8, 16, 381, 20);

    ProgressBar1 = Named(new QProgressBar(this), "ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(20);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setGeometry(16, 48, 365, 20);

    CancelBtn = Named(MakeButton(QStringLiteral("Cancel download")), "CancelBtn");
    CancelBtn->setGeometry(136, 90, 125, 28);
    CancelBtn->setVisible(ShowCancel);
    ConnectHandler(CancelBtn, &QPushButton::clicked, this, &TDlProgForm::CancelBtnClick);
}

void TDlProgForm::SetProgressText(const std::string& caption, const std::string& text, int32_t position)
{
    setWindowTitle(Latin1Text(caption));
    Label1->setText(Latin1Text(text));
    setBarPosition(position);
}

void TDlProgForm::ShowDownloadProgress(long /*StartAddress*/, long /*EndAddress*/, long /*FileSize*/,
                                       long Received, long PercentComplete, long TimeElapsed)
{
    setBarPosition(PercentComplete);
    Label1->setText(QStringLiteral("Download Progress %1 KB  %2%  %3Secs")
                        .arg(Received / 1000)
                        .arg(PercentComplete)
                        .arg(TimeElapsed));
}

void TDlProgForm::setBarPosition(long position)
{
    // QProgressBar ignores a value outside its range; a bar shows such a
    // value at the nearest end instead (a download that delivered more than
    // expected reports more than 100 %).
    ProgressBar1->setValue(static_cast<int>(std::clamp<long>(position, ProgressBar1->minimum(), ProgressBar1->maximum())));
}

void TDlProgForm::CancelBtnClick()
{
    CancelRequested = 1;
}

void TDlProgForm::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

void TDlProgForm::reject() {}
