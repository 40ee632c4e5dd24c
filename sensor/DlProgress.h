// The progress window of long sensor operations: a caption, one centred line
// of text, a bar and, for the logger download only, a Cancel button. The
// window never touches the sensor; Cancel only raises a flag that the
// download polls on its progress timer.
#pragma once

#include "Forms.h"

#include <cstdint>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;

class TDlProgForm : public TForm {
    Q_OBJECT
public:
    // `owner` frees the window when it is itself freed. A window owner also
    // becomes the window's parent, on which it is centred; with any other
    // owner (the device model) the window belongs to the window that is modal
    // at its creation, so that it takes input while that one is shown
    // modally. The window is not shown here: the caller sets the caption and
    // makes it visible.
    TDlProgForm(QObject* owner, bool ShowCancel);

    QLabel* Label1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* CancelBtn = nullptr;

    // Set by the Cancel button, never cleared.
    uint8_t CancelRequested = 0;

    // Caption, line and bar position; texts are 8-bit (Latin-1).
    void SetProgressText(const std::string& caption, const std::string& text, int32_t position);
    // "Download Progress <kB> KB  <percent>%  <seconds>Secs"; the addresses and
    // the size are not shown.
    void ShowDownloadProgress(long StartAddress, long EndAddress, long FileSize, long Received,
                              long PercentComplete, long TimeElapsed);

public slots:
    void CancelBtnClick();

protected:
    // The user cannot close it (no close box, close requests and Escape do
    // nothing); whoever created it deletes it.
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void setBarPosition(long position);
};
