#include "UserCalInputUnit.h"

#include "Dialogs.h"
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

TUserCalInputForm::TUserCalInputForm(QObject* owner)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint)
{
    // The device model is no window; it still frees the prompt with itself.
    if (owner)
        connect(owner, &QObject::destroyed, this, [this] { delete this; });

    setWindowTitle(QStringLiteral("UserCalInputForm"));
    setFixedSize(451, 190);

    Label2 = new QLabel(QStringLiteral("Calibrating channel: "), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(16, 12, 120, 16);

    UC_ChanLabel = new QLabel(this);
    UC_ChanLabel->setObjectName(QStringLiteral("UC_ChanLabel"));
    UC_ChanLabel->setGeometry(140, 12, 295, 16);

    UC_Memo = new QPlainTextEdit(this);
    UC_Memo->setObjectName(QStringLiteral("UC_Memo"));
    UC_Memo->setReadOnly(true);
    UC_Memo->setFocusPolicy(Qt::NoFocus);
    UC_Memo->setBackgroundRole(QPalette::Window);
    UC_Memo->viewport()->setBackgroundRole(QPalette::Window);
    UC_Memo->setGeometry(16, 34, 419, 90);

    Label1 = new QLabel(QStringLiteral("Calibration value"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(16, 136, 100, 16);

    UC_InputEditBox = new QLineEdit(this);
    UC_InputEditBox->setObjectName(QStringLiteral("UC_InputEditBox"));
    UC_InputEditBox->setGeometry(120, 132, 121, 24);
    UC_InputEditBox->installEventFilter(this);

    UC_UnitsLabel = new QLabel(this);
    UC_UnitsLabel->setObjectName(QStringLiteral("UC_UnitsLabel"));
    UC_UnitsLabel->setGeometry(248, 136, 80, 16);

    UC_OK_Btn = new QPushButton(QStringLiteral("OK"), this);
    UC_OK_Btn->setObjectName(QStringLiteral("UC_OK_Btn"));
    UC_OK_Btn->setGeometry(270, 158, 75, 25);
    UC_CANCEL_Btn = new QPushButton(QStringLiteral("Cancel"), this);
    UC_CANCEL_Btn->setObjectName(QStringLiteral("UC_CANCEL_Btn"));
    UC_CANCEL_Btn->setGeometry(356, 158, 75, 25);
    // Enter belongs to the value box's key filter alone: no button may also
    // answer it, or the check would run twice.
    UC_OK_Btn->setAutoDefault(false);
    UC_CANCEL_Btn->setAutoDefault(false);

    connect(UC_OK_Btn, &QPushButton::clicked, this, &TUserCalInputForm::UC_OK_BtnClick);
    // Cancel, Escape and the close box all end with the modal result Cancel.
    connect(UC_CANCEL_Btn, &QPushButton::clicked, this, &TUserCalInputForm::reject);
}

void TUserCalInputForm::reject()
{
    done(2);
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
    if (k == 8 || k == 12 || (k >= '0' && k <= '9'))
        return;
    if (k == 13) {
        UC_OK_BtnClick();
        return;
    }
    if (k == '.' && !UC_InputEditBox->text().contains(QLatin1Char('.')))
        return;
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
    done(1);
}

void TUserCalInputForm::FormShow()
{
    UC_InputEditBox->setFocus();
}

void TUserCalInputForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        // Centred on the program's main window, else on the screen.
        const QWidget* over = QApplication::activeWindow();
        const QRect area = over && over != this ? over->frameGeometry()
                                                : (screen() ? screen()->availableGeometry() : QRect());
        if (area.isValid())
            move(area.center() - rect().center());
        FormShow();
    }
}

bool TUserCalInputForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == UC_InputEditBox && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        // Only typed characters are filtered; moving, deleting, Tab and
        // Escape (the dialog's Cancel) are not characters of the value.
        if (text.size() != 1 || key->key() == Qt::Key_Delete || key->key() == Qt::Key_Escape ||
            key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
            return QDialog::eventFilter(watched, event);
        const QChar c = text.at(0);
        char k = c.unicode() < 0x100 ? static_cast<char>(c.unicode()) : 0;
        UC_InputEditBoxKeyPress(UC_InputEditBox, k);
        if (k == 0)
            return true; // dropped
    }
    return QDialog::eventFilter(watched, event);
}
