// The progress window and the calibration prompt, driven offscreen.
#include "Dialogs.h"
#include "DlProgress.h"
#include "UserCalInputUnit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <clocale>
#include <functional>
#include <memory>
#include <vector>

namespace {

// Collects the texts of the message boxes shown while it lives.
class MessageLog {
public:
    MessageLog()
    {
        Dialogs::setHook([this](const ShownMessage& m) {
            texts.push_back(m.text);
            return int(mrOk);
        });
    }
    ~MessageLog() { Dialogs::setHook(nullptr); }
    std::vector<QString> texts;
};

// Shows `form` modally and runs `act` on it once it is up. Returns the modal
// result, or -1 when `act` left the window open (it is then cancelled).
int runModal(QDialog& form, const std::function<void()>& act)
{
    bool stayedOpen = false;
    QTimer::singleShot(0, &form, [&] {
        act();
        if (form.isVisible()) {
            stayedOpen = true;
            form.done(99);
        }
    });
    const int result = form.exec();
    return stayedOpen ? -1 : result;
}

} // namespace

// --- progress window ------------------------------------------------------

TEST(DlProgForm, StartsWithCaptionEmptyLineAndBarAt20)
{
    TDlProgForm form(nullptr, false);
    EXPECT_EQ(form.windowTitle(), "Data Download");
    EXPECT_EQ(form.Label1->text(), "");
    EXPECT_EQ(form.ProgressBar1->value(), 20);
    EXPECT_EQ(form.CancelBtn->text(), "Cancel download");
    EXPECT_EQ(form.CancelRequested, 0);
    EXPECT_EQ(form.size(), QSize(397, 135));
    EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST(DlProgForm, DownloadLineShowsKilobytesPercentAndSeconds)
{
    struct Case {
        long received, percent, seconds;
        const char* line;
        int bar;
    };
    const Case cases[] = {
        {45300, 50, 12, "Download Progress 45 KB  50%  12Secs", 50},
        {999, 1, 0, "Download Progress 0 KB  1%  0Secs", 1},
        {1999, 2, 1, "Download Progress 1 KB  2%  1Secs", 2},
        {0, 0, 0, "Download Progress 0 KB  0%  0Secs", 0},
        // More than expected arrived: the line says so, the bar stays full.
        {30000, 120, 3, "Download Progress 30 KB  120%  3Secs", 100},
    };
    TDlProgForm form(nullptr, true);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        form.ShowDownloadProgress(1000, 91600, 90600, c.received, c.percent, c.seconds);
        EXPECT_EQ(form.Label1->text(), c.line);
        EXPECT_EQ(form.ProgressBar1->value(), c.bar);
    }
    EXPECT_EQ(form.windowTitle(), "Data Download");
}

TEST(DlProgForm, ProgressTextSetsCaptionLineAndBar)
{
    TDlProgForm form(nullptr, false);
    form.SetProgressText("Initialising", "Reading calibration \xB0", 40);
    EXPECT_EQ(form.windowTitle(), "Initialising");
    EXPECT_EQ(form.Label1->text(), QString::fromUtf8("Reading calibration \u00B0"));
    EXPECT_EQ(form.ProgressBar1->value(), 40);
    form.SetProgressText("Initialising", "", 0);
    EXPECT_EQ(form.Label1->text(), "");
    EXPECT_EQ(form.ProgressBar1->value(), 0);
}

TEST(DlProgForm, CancelOnlyRaisesTheFlag)
{
    TDlProgForm form(nullptr, true);
    form.show();
    ASSERT_TRUE(form.CancelBtn->isVisible());
    QTest::mouseClick(form.CancelBtn, Qt::LeftButton);
    EXPECT_EQ(form.CancelRequested, 1);
    QTest::mouseClick(form.CancelBtn, Qt::LeftButton);
    EXPECT_EQ(form.CancelRequested, 1);
    EXPECT_TRUE(form.isVisible());
}

TEST(DlProgForm, WithoutCancelTheButtonIsHiddenAndTheFlagStaysDown)
{
    TDlProgForm form(nullptr, false);
    form.show();
    EXPECT_FALSE(form.CancelBtn->isVisible());
    QTest::mouseClick(&form, Qt::LeftButton, {}, form.CancelBtn->geometry().center());
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_EQ(form.CancelRequested, 0);
}

TEST(DlProgForm, UserCannotCloseIt)
{
    TDlProgForm form(nullptr, true);
    form.show();
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.isVisible());
}

TEST(DlProgForm, OwnerFreesIt)
{
    auto owner = std::make_unique<QObject>();
    QPointer<TDlProgForm> form = new TDlProgForm(owner.get(), true);
    QWidget window;
    QPointer<TDlProgForm> child = new TDlProgForm(&window, false);
    EXPECT_EQ(child->parentWidget(), &window);
    EXPECT_TRUE(child->isWindow());
    owner.reset();
    EXPECT_TRUE(form.isNull());
}

// --- calibration prompt ---------------------------------------------------

class UserCalInput : public ::testing::Test {
protected:
    TUserCalInputForm form{nullptr};
    MessageLog messages;
};

TEST_F(UserCalInput, ControlsAndTexts)
{
    EXPECT_EQ(form.windowTitle(), "UserCalInputForm");
    EXPECT_EQ(form.Label2->text(), "Calibrating channel: ");
    EXPECT_EQ(form.Label1->text(), "Calibration value");
    EXPECT_EQ(form.UC_OK_Btn->text(), "OK");
    EXPECT_EQ(form.UC_CANCEL_Btn->text(), "Cancel");
    EXPECT_TRUE(form.UC_Memo->isReadOnly());
    EXPECT_EQ(form.UC_Memo->toPlainText(), "");
    EXPECT_EQ(form.CalValue, -1e10);
    EXPECT_EQ(form.size(), QSize(451, 190));
}

TEST_F(UserCalInput, InstructionsByUnitTypeAndStep)
{
    const QString phLow = "Please put the sensor in the LOW pH buffer solution and,\n let it stabilize for about "
                          "2-5 minutes, then press OK to continue.";
    const QString phHigh = "Please put the sensor in the HIGH pH buffer solution and,\n let it stabilize for about "
                           "2-5 minutes, then press OK to continue.";
    const QString odoLow = "Please put the sensor in the LOW Oxygen solution and let it stabilize,\n for about 2-5 "
                           "minutes, then enter the solution value and press OK to continue.";
    const QString odoHigh = "Please put the sensor in the HIGH Oxygen solution and let it stabilize,\n for about "
                            "2-5 minutes, then enter the solution value and press OK to continue.";
    const QString odo1 = "Step 1: Please put the sensor in the LOW Oxygen solution and,\n let it stabilizes for "
                         "about 2-5 minutes, then press OK to continue.";
    const QString odo2 = "Step 2: Please put the sensor in the HIGH Oxygen solution and,\n let it stabilize for "
                         "about 2-5 minutes, then press OK to continue.";
    const QString low = "Apply a known, low value (typically zero),stimulus to the sensor. When the stimulus and "
                        "sensor is stable, enter the calibration value into the input box below and press OK to "
                        "continue.";
    const QString high = "Apply a known, high value (typically full scale),stimulus to the sensor. When the "
                         "stimulus and sensor is stable, enter the calibration value into the input box below and "
                         "press OK to continue.";
    struct Case {
        int unit, type, step;
        QStringList lines;
    };
    const std::vector<Case> cases = {
        {205, 0, 0, {"pH calibration", phLow}},
        {205, 1, 0, {"pH calibration", phHigh}},
        {205, 2, 0, {"pH calibration", "Step 1: " + phLow}},
        {205, 2, 1, {"pH calibration", "Step 2: " + phHigh}},
        {205, 2, 7, {"pH calibration", "Step 2: " + phHigh}},
        {207, 0, 0, {"ODO calibration", odoLow}},
        {207, 1, 1, {"ODO calibration", odoHigh}},
        {207, 2, 0, {"Gain and Offset ODO calibration", odo1}},
        {207, 2, 1, {"Gain and Offset ODO calibration", odo2}},
        {0, 0, 0, {low}},
        {20, 1, 0, {high}},
        {206, 2, 0, {low}},
        {31, 2, 1, {high}},
        {205, 3, 0, {}},
        {0, 4, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.unit << "/" << c.type << "/" << c.step);
        TUserCalInputForm prompt(nullptr);
        prompt.UC_Memo->setVisible(false);
        prompt.SetupPrompt(uint8_t(c.unit), uint8_t(c.type), c.step);
        EXPECT_TRUE(prompt.UC_Memo->isVisibleTo(&prompt));
        EXPECT_EQ(prompt.UC_Memo->toPlainText(), c.lines.join('\n'));
    }
}

TEST_F(UserCalInput, KeyFilterLetsThroughDigitsAndOnePoint)
{
    struct Case {
        const char* typed;
        const char* box;
    };
    const Case cases[] = {
        {"1.2.3", "1.23"}, {"-5", "5"},    {"1,5", "15"}, {"a1b2", "12"},
        {"..", "."},       {"+1e3", "13"}, {" 7 ", "7"},  {"0123456789", "0123456789"},
    };
    form.show();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        form.UC_InputEditBox->clear();
        QTest::keyClicks(form.UC_InputEditBox, c.typed);
        EXPECT_EQ(form.UC_InputEditBox->text(), c.box);
    }
    // Backspace and cursor keys still edit; once the point is gone another
    // may be typed.
    form.UC_InputEditBox->setText("1.5");
    QTest::keyClick(form.UC_InputEditBox, Qt::Key_End);
    QTest::keyClick(form.UC_InputEditBox, Qt::Key_Backspace);
    QTest::keyClick(form.UC_InputEditBox, Qt::Key_Backspace);
    QTest::keyClicks(form.UC_InputEditBox, ".25");
    EXPECT_EQ(form.UC_InputEditBox->text(), "1.25");
    QTest::keyClick(form.UC_InputEditBox, Qt::Key_Home);
    QTest::keyClick(form.UC_InputEditBox, Qt::Key_Delete);
    EXPECT_EQ(form.UC_InputEditBox->text(), ".25");
    // A point typed over the whole text is the only one.
    QTest::keyClick(form.UC_InputEditBox, Qt::Key_Home);
    QTest::keyClick(form.UC_InputEditBox, Qt::Key_End, Qt::ShiftModifier);
    QTest::keyClick(form.UC_InputEditBox, '.');
    EXPECT_EQ(form.UC_InputEditBox->text(), ".");
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(UserCalInput, FocusStartsInTheValueBox)
{
    QWidget* focused = nullptr;
    runModal(form, [&] { focused = form.focusWidget(); });
    EXPECT_EQ(focused, form.UC_InputEditBox);
}

TEST_F(UserCalInput, ValueCheck)
{
    struct Case {
        const char* text;
        bool accepted;
        double value;
        const char* message;
    };
    const Case cases[] = {
        {"", false, 0, "Please type in a valid floating point value in the input box."},
        {".", false, 0, "Invalid floating point input value."},
        {"abc", false, 0, "Invalid floating point input value."},
        {"1.2.3", false, 0, "Invalid floating point input value."},
        {"1,5", false, 0, "Invalid floating point input value."},
        {"1e999", false, 0, "Invalid floating point input value."},
        {"nan", false, 0, "Invalid floating point input value."},
        {"7.5", true, 7.5, nullptr},
        {"15", true, 15, nullptr},
        {"0.25", true, 0.25, nullptr},
        {"3.", true, 3, nullptr},
        {".5", true, 0.5, nullptr},
        {" -2.5 ", true, -2.5, nullptr}, // not typed
        {"1e3", true, 1000, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        messages.texts.clear();
        TUserCalInputForm prompt(nullptr);
        const int result = runModal(prompt, [&] {
            prompt.UC_InputEditBox->setText(QString::fromLatin1(c.text));
            QTest::mouseClick(prompt.UC_OK_Btn, Qt::LeftButton);
        });
        if (c.accepted) {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(prompt.CalValue, c.value);
            EXPECT_TRUE(messages.texts.empty());
        } else {
            EXPECT_EQ(result, -1) << "the window must stay open";
            EXPECT_EQ(prompt.CalValue, -1e10);
            ASSERT_EQ(messages.texts.size(), 1u);
            EXPECT_EQ(messages.texts[0], c.message);
        }
    }
}

TEST_F(UserCalInput, EnterChecksOnce)
{
    int result = runModal(form, [&] { QTest::keyClick(form.UC_InputEditBox, Qt::Key_Return); });
    EXPECT_EQ(result, -1);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], "Please type in a valid floating point value in the input box.");

    messages.texts.clear();
    result = runModal(form, [&] {
        QTest::keyClicks(form.UC_InputEditBox, "12.5");
        QTest::keyClick(form.UC_InputEditBox, Qt::Key_Enter);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(form.CalValue, 12.5);
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(UserCalInput, CancelEscapeAndCloseBoxGiveCancel)
{
    const std::vector<std::pair<const char*, std::function<void(TUserCalInputForm&)>>> ways = {
        {"button", [](TUserCalInputForm& f) { QTest::mouseClick(f.UC_CANCEL_Btn, Qt::LeftButton); }},
        {"escape", [](TUserCalInputForm& f) { QTest::keyClick(f.UC_InputEditBox, Qt::Key_Escape); }},
        {"close box", [](TUserCalInputForm& f) { f.close(); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.first);
        TUserCalInputForm prompt(nullptr);
        const int result = runModal(prompt, [&] {
            QTest::keyClicks(prompt.UC_InputEditBox, "4.5");
            way.second(prompt);
        });
        EXPECT_EQ(result, 2);
        EXPECT_EQ(prompt.CalValue, -1e10);
    }
    EXPECT_TRUE(messages.texts.empty());
}

// The key filter admits only '.' as the decimal point, so the value is read
// with '.' under every locale; a comma locale must not make every fractional
// value impossible to enter.
TEST_F(UserCalInput, PointIsTheDecimalSeparatorUnderACommaLocale)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const char* cLocale = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = cLocale ? cLocale : "C";
    const bool commaC = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "de_DE");
    ASSERT_EQ(QLocale().decimalPoint(), ",");

    struct Case {
        const char* typed;
        bool accepted;
        double value;
    };
    const Case cases[] = {{"1.5", true, 1.5}, {"15", true, 15}, {"0.125", true, 0.125}, {"1,5", true, 15}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        messages.texts.clear();
        TUserCalInputForm prompt(nullptr);
        const int result = runModal(prompt, [&] {
            QTest::keyClicks(prompt.UC_InputEditBox, c.typed);
            QTest::mouseClick(prompt.UC_OK_Btn, Qt::LeftButton);
        });
        EXPECT_EQ(result, 1);
        EXPECT_EQ(prompt.CalValue, c.value);
        EXPECT_TRUE(messages.texts.empty());
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
    QLocale::setDefault(before);
    (void)commaC;
}

// The calibration step holds its prompt; the device model going first must
// not free it under the holder (which would free it a second time).
TEST(UserCalInputOwner, HolderFreesItWhateverGoesFirst)
{
    auto owner = std::make_unique<QObject>();
    auto prompt = std::make_unique<TUserCalInputForm>(owner.get());
    const QPointer<TUserCalInputForm> watched = prompt.get();
    owner.reset();
    QApplication::processEvents();
    EXPECT_FALSE(watched.isNull());
    prompt.reset();
    EXPECT_TRUE(watched.isNull());
}
