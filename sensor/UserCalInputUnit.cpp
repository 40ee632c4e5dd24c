#include "UserCalInputUnit.h"

#include "Dialogs.h"
#include "KeyFilter.h"
#include "SensorImages.h"
#include "SysUtils.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>


namespace {

// Instruction lines by kind of channel; columns: offset, span, two-point
// first step, two-point second step.
struct PromptLines {
    const char* title; // nullptr: no title line
    const char* text[4];
};

const PromptLines PhPrompt = {
    "pH calibration",
    {"Please put the sensor in the LOW pH buffer solution and,\n let it stabilize for about 2-5 minutes, then "
     "press OK to continue.",
     "Please put the sensor in the HIGH pH buffer solution and,\n let it stabilize for about 2-5 minutes, then "
     "press OK to continue.",
     "Step 1: Please put the sensor in the LOW pH buffer solution and,\n let it stabilize for about 2-5 minutes, "
     "then press OK to continue.",
     "Step 2: Please put the sensor in the HIGH pH buffer solution and,\n let it stabilize for about 2-5 minutes, "
     "then press OK to continue."}};

const PromptLines OdoPrompt = {
    nullptr,
    {"Please put the sensor in the LOW Oxygen solution and let it stabilize,\n for about 2-5 minutes, then enter "
     "the solution value and press OK to continue.",
     "Please put the sensor in the HIGH Oxygen solution and let it stabilize,\n for about 2-5 minutes, then enter "
     "the solution value and press OK to continue.",
     "Step 1: Please put the sensor in the LOW Oxygen solution and,\n let it stabilizes for about 2-5 minutes, "
     "then press OK to continue.",
     "Step 2: Please put the sensor in the HIGH Oxygen solution and,\n let it stabilize for about 2-5 minutes, "
     "then press OK to continue."}};

const char* const OdoOnePointTitle = "ODO calibration";
const char* const OdoTwoPointTitle = "Gain and Offset ODO calibration";

const char* const LowStimulus =
    "Apply a known, low value (typically zero),stimulus to the sensor. When the stimulus and sensor is stable, "
    "enter the calibration value into the input box below and press OK to continue.";
const char* const HighStimulus =
    "Apply a known, high value (typically full scale),stimulus to the sensor. When the stimulus and sensor is "
    "stable, enter the calibration value into the input box below and press OK to continue.";

} // namespace

// The device model is no window, so it cannot be the prompt's parent.
TUserCalInputForm::TUserCalInputForm(QObject* /*owner*/)
    : TForm(nullptr, SystemMenuOnly | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("UserCalInputForm"));
    setFixedSize(451, 190);

    Label2 = Named(new QLabel(QStringLiteral("Calibrating channel: "), this), "Label2");
    Label2->setGeometry(16, 12, 120, 16);

    UC_ChanLabel = Named(new QLabel(this), "UC_ChanLabel");
    UC_ChanLabel->setGeometry(140, 12, 295, 16);

    UC_Memo = Named(new QPlainTextEdit(this), "UC_Memo");
    UC_Memo->setReadOnly(true);
    UC_Memo->setFocusPolicy(Qt::NoFocus);
    UC_Memo->setBackgroundRole(QPalette::Window);
    UC_Memo->viewport()->setBackgroundRole(QPalette::Window);
    UC_Memo->setGeometry(16, 34, 419, 90);

    Label1 = Named(new QLabel(QStringLiteral("Calibration value"), this), "Label1");
    Label1->setGeometry(16, 136, 100, 16);

    UC_InputEditBox = Named(new QLineEdit(this), "UC_InputEditBox");
    UC_InputEditBox->setGeometry(120, 132, 121, 24);
    TKeyFilter::Install(UC_InputEditBox, KeyRules::Decimal, [this](QChar& key) {
        char k = key.unicode() < 0x100 ? static_cast<char>(key.unicode()) : 0;
        RunHandler([&] { UC_InputEditBoxKeyPress(UC_InputEditBox, k); });
        if (k == 0)
            key = QChar();
    });

    UC_UnitsLabel = Named(new QLabel(this), "UC_UnitsLabel");
    UC_UnitsLabel->setGeometry(248, 136, 80, 16);

    UC_OK_Btn = Named(MakeButton(QStringLiteral("OK")), "UC_OK_Btn");
    UC_OK_Btn->setGeometry(270, 158, 75, 25);
    UC_CANCEL_Btn = Named(MakeButton(QStringLiteral("Cancel"), mrCancel), "UC_CANCEL_Btn");
    UC_CANCEL_Btn->setGeometry(356, 158, 75, 25);
    // Neither button is a default one: Enter belongs to the value box's key
    // filter alone, or the check would run twice.
    ConnectHandler(UC_OK_Btn, &QPushButton::clicked, this, &TUserCalInputForm::UC_OK_BtnClick);
}

void TUserCalInputForm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        done(mrCancel);
        return;
    }
    TForm::keyPressEvent(event);
}

void TUserCalInputForm::SetupPrompt(uint8_t unitCode, uint8_t calibrationType, int secondStep)
{
    UC_Memo->setVisible(true);
    if (calibrationType > 2)
        return;
    const int column = calibrationType < 2 ? calibrationType : (secondStep == 0 ? 2 : 3);
    auto add = [this](const char* line) { UC_Memo->appendPlainText(QString::fromLatin1(line)); };

    if (unitCode == ucPhCalChannel) {
        add(PhPrompt.title);
        add(PhPrompt.text[column]);
    } else if (unitCode == ucOdoCalChannel) {
        add(calibrationType < 2 ? OdoOnePointTitle : OdoTwoPointTitle);
        add(OdoPrompt.text[column]);
    } else {
        add(column == 0 || column == 2 ? LowStimulus : HighStimulus);
    }
}

void TUserCalInputForm::UC_InputEditBoxKeyPress(QObject* /*Sender*/, char& Key)
{
    const unsigned char k = static_cast<unsigned char>(Key);
    if (k == 13) {
        UC_OK_BtnClick();
        return;
    }
    if (!KeyRules::Decimal(KeyRules::TextForKey(UC_InputEditBox), QChar(static_cast<char16_t>(k))))
        Key = 0;
}

void TUserCalInputForm::UC_OK_BtnClick()
{
    CalValue = -1e10;
    const QString text = UC_InputEditBox->text();
    if (text.isEmpty()) {
        ShowMessage(QStringLiteral("Please type in a valid floating point value in the input box."));
        return;
    }
    // The key filter lets '.' through as the only decimal point, so the
    // text is read with '.' whatever the user's locale says.
    try {
        CalValue = StrToFloat(text.toLatin1().toStdString());
    } catch (const EConvertError&) {
        CalValue = -1e10;
        ShowMessage(QStringLiteral("Invalid floating point input value."));
        return;
    }
    done(mrOk);
}

void TUserCalInputForm::FormShow()
{
    UC_InputEditBox->setFocus();
}

void TUserCalInputForm::showEvent(QShowEvent* event)
{
    TForm::showEvent(event);
    if (!event->spontaneous()) {
        // Centred on the window the user was working in (the active one),
        // else on the screen.
        const QWidget* over = QApplication::activeWindow();
        const QRect area = over && over != this ? over->frameGeometry()
                                                : (screen() ? screen()->availableGeometry() : QRect());
        if (area.isValid())
            move(area.center() - rect().center());
        FormShow();
    }
}
