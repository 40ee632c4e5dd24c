// The Calibration page against the stand-in, driven through the window: the
// types offered per channel, each calibration run on the stand-in's live
// values with the coefficients that reach it, and names of no channel.
#include "OperationsFixture.h"

#include "ExtCtrls.h"
#include "SysUtils.h"
#include "UserCalInputUnit.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <cstring>
#include <deque>

using namespace ops;

namespace {

namespace ch = standin::channels;

const char* const Succeeded = "Sensor channel calibration completed successfully.";
const char* const Failed = "Sensor channel calibration failed or was canceled by the user.";

// One answer per calibration prompt, typed and confirmed through the
// prompt's window; `before` runs first (the sensor is moved into the
// reference).
struct Answer {
    QString value; // empty: Cancel
    std::function<void()> before;
};

class Calibration : public OperationsFixture {
protected:
    void SetUp() override
    {
        OperationsFixture::SetUp();
        prompts = std::make_unique<WhenModal<TUserCalInputForm>>([this](TUserCalInputForm* prompt) {
            captions.push_back(prompt->windowTitle());
            units.push_back(prompt->UC_UnitsLabel->text());
            if (answers.empty()) {
                clickThroughWindow(prompt->UC_CANCEL_Btn);
                return;
            }
            const Answer a = answers.front();
            answers.pop_front();
            if (a.before)
                a.before();
            if (a.value.isEmpty()) {
                clickThroughWindow(prompt->UC_CANCEL_Btn);
                return;
            }
            typeThroughWindow(prompt->UC_InputEditBox, a.value);
            clickThroughWindow(prompt->UC_OK_Btn);
        });
    }
    void openCalibration()
    {
        connect();
        press(form->UserCalibrationBtn);
        ASSERT_EQ(form->ActivePage(), form->Calibration);
        kept = sensor.images();
    }
    // Types the channel's name into the box, as a user picking it would.
    void pick(const QString& channel)
    {
        QLineEdit* edit = form->ChannelNameBox->lineEdit();
        edit->selectAll();
        typeThroughWindow(edit, channel);
        ASSERT_EQ(form->ChannelNameBox->currentText(), channel);
    }
    void chooseType(int type)
    {
        QRadioButton* button = form->CalibrationTypeRadioGroup->Button(type);
        ASSERT_NE(button, nullptr);
        // The items were just made: let them take their places first.
        QApplication::processEvents();
        clickThroughWindow(button, QPoint(8, button->height() / 2));
        ASSERT_EQ(form->CalibrationTypeRadioGroup->ItemIndex(), type);
    }
    // Starts the calibration; the prompts are answered inside.
    void run(const QString& channel, int type, std::deque<Answer> given)
    {
        // Each calibration ends on the Status page; the user comes back.
        if (form->ActivePage() != form->Calibration)
            press(form->UserCalibrationBtn);
        pick(channel);
        chooseType(type);
        answers = std::move(given);
        shown.clear();
        mark();
        pressThroughWindow(form->UcStartCalibrationBtn);
        EXPECT_TRUE(answers.empty()) << "every prompt came";
        EXPECT_TRUE(form->UcStartCalibrationBtn->isEnabled());
        EXPECT_TRUE(form->BackupBtn->isEnabled());
        EXPECT_TRUE(form->StatusBtn->isEnabled());
        EXPECT_EQ(form->ActivePage(), form->Status);
    }
    static std::vector<float> coeffs(const CalibrationData& cal, int number)
    {
        // The image is packed: the floats are copied out, not referred to.
        std::vector<float> out(5);
        std::memcpy(out.data(), cal.CompensationTable[number].Coeffs, 5 * sizeof(float));
        return out;
    }
    int number(int channel, int role) const { return kept.cal.Channels[channel].CompensationNumbers[role]; }
    std::function<void()> placeIn(int channel, double value)
    {
        return [this, channel, value] { reference->place(uint8_t(channel), value); };
    }

    std::unique_ptr<WhenModal<TUserCalInputForm>> prompts;
    std::deque<Answer> answers;
    std::vector<QString> captions, units;
    standin::SensorImages kept;
};

TEST_F(Calibration, TypesOfferedFollowTheChannel)
{
    openCalibration();
    EXPECT_EQ(form->ChannelNameBox->count(), 5);
    EXPECT_EQ(form->ChannelNameBox->currentText(), "Temperature");
    const QStringList four = {"1 Point Offset", "1 Point Span", "2 Points: Span and Offset",
                              "Restore factory default"};
    const QStringList five = four + QStringList({"Set Datum References"});
    EXPECT_EQ(form->CalibrationTypeRadioGroup->Items(), four);
    struct Case {
        QString channel;
        QStringList offered;
    };
    const Case cases[] = {
        {"Depth", five},           {"Pressure", five}, {"Temperature", four}, {"pH cal", four},
        {"ODO cal", four},         {"Cond", {}},       {"depth", {}},         {"Nothing", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channel.toStdString());
        pick(c.channel);
        EXPECT_EQ(form->CalibrationTypeRadioGroup->Items(), c.offered);
        EXPECT_EQ(form->CalibrationTypeRadioGroup->ItemIndex(), c.offered.isEmpty() ? -1 : 0);
    }
}

// Coming back to the page starts again at the first channel and type, also
// when the channel and the type chosen before are that first channel's.
TEST_F(Calibration, ReopeningThePageSelectsTheFirstType)
{
    openCalibration();
    for (const QString channel : {"Temperature", "Depth"}) {
        SCOPED_TRACE(channel.toStdString());
        pick(channel);
        chooseType(ctTwoPoint);
        press(form->StatusBtn);
        press(form->UserCalibrationBtn);
        ASSERT_EQ(form->ActivePage(), form->Calibration);
        EXPECT_EQ(form->ChannelNameBox->currentText(), "Temperature");
        EXPECT_EQ(form->CalibrationTypeRadioGroup->ItemIndex(), 0);
    }
}

TEST_F(Calibration, NameOfNoCalibratableChannelIsRefusedAndNothingSent)
{
    openCalibration();
    for (const QString name : {"Nothing", "Cond", ""}) {
        SCOPED_TRACE(name.toStdString());
        QLineEdit* edit = form->ChannelNameBox->lineEdit();
        edit->selectAll();
        edit->setFocus();
        if (name.isEmpty())
            QTest::keyClick(form->windowHandle(), Qt::Key_Backspace);
        else
            typeThroughWindow(edit, name);
        shown.clear();
        mark();
        clickThroughWindow(form->UcStartCalibrationBtn);
        EXPECT_EQ(messages(), std::vector<std::string>({"\"" + name.toStdString() +
                                                        "\" is not a channel that can be calibrated. Please choose a "
                                                        "channel from the list."}));
        EXPECT_TRUE(commands().empty());
        EXPECT_EQ(form->ActivePage(), form->Calibration);
    }
}

TEST_F(Calibration, EachCalibrationReachesTheStandinFromItsLiveValues)
{
    openCalibration();

    // Offset: the temperature probe reads 0.3 short.
    reference->setError(ch::Temperature, 1.0, -0.3);
    run("Temperature", ctOnePointOffset, {{"14.2", {}}});
    EXPECT_EQ(messages(), std::vector<std::string>({Succeeded}));
    EXPECT_EQ(captions.back(), "1 point Offset Calibration on Weir Sonde 4");
    const float tOffset = static_cast<float>(14.2 - static_cast<float>(14.2 - 0.3));
    EXPECT_EQ(coeffs(sensor.images().cal, number(ch::Temperature, 3)), std::vector<float>({tOffset, 1, 0, 0, 0}));
    EXPECT_EQ(coeffs(form->Sensor->CalData, number(ch::Temperature, 3))[0], tOffset);

    // Span: the pressure channel shows mBar and is calibrated in metres.
    reference->setError(ch::Pressure, 0.8, 0.0);
    run("Pressure", ctOnePointSpan, {{"1.2", {}}});
    EXPECT_EQ(messages(), std::vector<std::string>({Succeeded}));
    EXPECT_EQ(units.back(), "Metres");
    const float pScale = static_cast<float>(1.2 / static_cast<float>(1.2 * 0.8));
    EXPECT_EQ(coeffs(sensor.images().cal, number(ch::Pressure, 1)), std::vector<float>({0, pScale, 0, 0, 0}));
    // The units conversion came back.
    EXPECT_EQ(coeffs(sensor.images().cal, number(ch::Pressure, 4)), coeffs(kept.cal, number(ch::Pressure, 4)));

    // Two points on the pH sensor channel, disabled but for the calibration.
    reference->setError(ch::PHCal, 0.9, 0.2);
    run("pH cal", ctTwoPoint, {{"4", placeIn(ch::PHCal, 4.0)}, {"10", placeIn(ch::PHCal, 10.0)}});
    EXPECT_EQ(messages(), std::vector<std::string>({Succeeded}));
    const double r1 = static_cast<float>(4.0 * 0.9 + 0.2);
    const double r2 = static_cast<float>(10.0 * 0.9 + 0.2);
    const double scale = 6.0 / (r2 - r1);
    EXPECT_EQ(coeffs(sensor.images().cal, number(ch::PHCal, 3)),
              std::vector<float>({static_cast<float>(4.0 - scale * r1), static_cast<float>(scale), 0, 0, 0}));
    EXPECT_EQ(sensor.images().cal.Channels[ch::PHCal].Enabled, 0);

    // Factory default on the depth: its user calibration back to the identity.
    run("Depth", ctRestoreFactoryDefault, {});
    EXPECT_EQ(messages(), std::vector<std::string>({Succeeded}));
    EXPECT_EQ(coeffs(sensor.images().cal, number(ch::Depth, 1)), std::vector<float>({0, 1, 0, 0, 0}));
    EXPECT_EQ(coeffs(sensor.images().cal, number(ch::Depth, 3)), coeffs(kept.cal, number(ch::Depth, 3)))
        << "the datum stays";

    // The optical oxygen sensor takes its values in hundredths.
    run("ODO cal", ctOnePointOffset, {{"7.5", {}}});
    EXPECT_EQ(messages(), std::vector<std::string>({Succeeded}));
    run("ODO cal", ctOnePointSpan, {{"96", {}}});
    EXPECT_EQ(messages(), std::vector<std::string>({Succeeded}));
    EXPECT_EQ(model->state().odoOffset, 750);
    EXPECT_EQ(model->state().odoSpan, 9600);
    run("ODO cal", ctRestoreFactoryDefault, {});
    EXPECT_EQ(messages(), std::vector<std::string>({Succeeded}));
    EXPECT_EQ(model->state().odoSpan, 0);
    EXPECT_EQ(model->state().odoResets, 1);

    // Everything else of the images is as it was, the monitor selection too.
    const standin::SensorImages now = sensor.images();
    EXPECT_TRUE(sameImage(now.conf, kept.conf));
    EXPECT_TRUE(sameImage(form->Sensor->ConfData, kept.conf));
}

TEST_F(Calibration, TwoPointsOnTheOxygenSensorAndACancelledPromptFail)
{
    openCalibration();
    run("ODO cal", ctTwoPoint, {});
    EXPECT_EQ(messages(), std::vector<std::string>({Failed}));
    EXPECT_EQ(commandCodes(), std::vector<int>({0, 19})) << "only the status check";
    EXPECT_TRUE(captions.empty()) << "no prompt";

    run("Temperature", ctTwoPoint, {{"0", placeIn(ch::Temperature, 0)}, {QString(), {}}});
    EXPECT_EQ(messages(), std::vector<std::string>({Failed}));
    EXPECT_TRUE(sameImage(sensor.images().cal, kept.cal));
    EXPECT_TRUE(sameImage(sensor.images().conf, kept.conf));
    EXPECT_TRUE(sameImage(form->Sensor->CalData, kept.cal));
}

// An error in the middle of a calibration is shown once, by the handler's
// error box, after the page's buttons and the bar are back; no outcome
// message goes with it.
TEST_F(Calibration, ErrorMidCalibrationShowsOnlyTheErrorBox)
{
    openCalibration();
    TSensorForm* f = form.get();
    // The line breaks while the prompt is answered: the reading fails.
    const auto breakLine = [f] { f->Sensor->OnRxEvent = [](QObject*) { throw Exception("the line broke"); }; };
    std::vector<bool> busyAtMessage;
    answer = [&](const ShownMessage&) {
        busyAtMessage.push_back(!f->BackupBtn->isEnabled() || !f->RestoreBtn->isEnabled() ||
                                !f->UserCalibrationBtn->isEnabled());
        return int(mrOk);
    };
    run("Temperature", ctOnePointOffset, {{"14.2", breakLine}});
    f->Sensor->OnRxEvent = [f](QObject* s) { f->RxActivityEvent(s); };
    ASSERT_EQ(shown.size(), 1u) << messages().front();
    EXPECT_EQ(shown[0].type, mtError);
    EXPECT_EQ(messages()[0], "the line broke");
    EXPECT_EQ(busyAtMessage, std::vector<bool>({false}));
    EXPECT_TRUE(f->RestoreBtn->isEnabled());
}

} // namespace

namespace {

// The channel box reports its text when it loses the focus to a click on a
// type: items replaced then, while the click is delivered, must not bring
// the program down.
TEST(RadioGroupItems, ReplacedWhileOneIsBeingClicked)
{
    QWidget window;
    auto* group = new TRadioGroup(QStringLiteral("Calibration type"), {}, &window);
    auto* edit = new QLineEdit(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(edit);
    layout->addWidget(group);
    group->SetItems({"a", "b", "c"});
    // The focus leaving the edit for the clicked button replaces them.
    struct OnFocusOut : QObject {
        TRadioGroup* group;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::FocusOut)
                group->SetItems({"x", "y"});
            return false;
        }
    } onFocusOut;
    onFocusOut.group = group;
    edit->installEventFilter(&onFocusOut);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    edit->setFocus();
    ASSERT_TRUE(edit->hasFocus());
    QRadioButton* b = group->Button(1);
    clickThroughWindow(b, QPoint(8, b->height() / 2));
    QApplication::processEvents();
    EXPECT_EQ(group->Items(), QStringList({"x", "y"}));
    EXPECT_EQ(group->findChildren<QRadioButton*>().size(), 2);
}

} // namespace
