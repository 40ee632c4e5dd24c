// The calibration prompt: tells the user how to prepare the sensor for one
// calibration step and takes the reference value of that step. The
// calibration procedures create one per step, fill it, show it modally and
// read CalValue after OK.
#pragma once

#include "Forms.h"

#include <cstdint>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class TUserCalInputForm : public TForm {
    Q_OBJECT
public:
    // `owner` is the device model whose calibration step asks. The prompt
    // never frees itself: the step that creates it holds it (one prompt per
    // step) and frees it.
    explicit TUserCalInputForm(QObject* owner);

    QLabel* Label2 = nullptr;
    QLabel* UC_ChanLabel = nullptr;
    QPlainTextEdit* UC_Memo = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* UC_InputEditBox = nullptr;
    QLabel* UC_UnitsLabel = nullptr;
    QPushButton* UC_OK_Btn = nullptr;
    QPushButton* UC_CANCEL_Btn = nullptr;

    // The value accepted by OK; -1e10 until one is.
    double CalValue = -1e10;

    // Appends the instructions for a unit code (pH and optical oxygen channels
    // have their own), a calibration type (0 offset, 1 span, 2 two-point) and,
    // for the two-point type, the step (0 first, anything else second).
    void SetupPrompt(uint8_t unitCode, uint8_t calibrationType, int secondStep);

    // Key filter of the value box: digits, one '.', backspace and 12 pass;
    // Enter runs the OK check and passes; every other character becomes 0.
    void UC_InputEditBoxKeyPress(QObject* Sender, char& Key);

public slots:
    void UC_OK_BtnClick();
    void FormShow();

protected:
    // Escape, like the Cancel button and the close box, gives Cancel.
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
};
