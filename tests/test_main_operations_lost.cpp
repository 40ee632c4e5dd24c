// The main window when the sensor stops answering, and while it waits for
// the sensor, driven through the windows against the stand-in: the first
// operation after the stand-in hangs up says that the sensor does not
// answer, and from then on nothing that would talk to the sensor can start,
// with the status line saying why; while one operation waits for a muted
// stand-in, no other can start.
#include "OperationsFixture.h"

#include "AddNoteFormUnit.h"
#include "ExtCtrls.h"
#include "Grids.h"
#include "StdCtrls.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <cstdlib>
#include <functional>
#include <ostream>

using namespace ops;
using testsupport::pumpUntil;

namespace {

const std::string Comms =
    "Communictations with the Sensor failed, Please check connections and verify correct power to the Sensor.";
const std::string NoAnswer = "The sensor does not answer: please Disconnect and connect again.";
const std::string ClearQuestion =
    "Proceeding with this command will clear all logged data in the sensor.\nDo you want to continue?";

using Control = std::function<QWidget*(TSensorForm*)>;

// Every control that starts an operation on the sensor: the bar's buttons
// (but Disconnect) and the pages' own.
std::vector<QWidget*> operationControls(TSensorForm* w)
{
    return {w->StatusBtn,     w->MonitorBtn,     w->StartStopBtn,   w->DataBtn,
            w->SetClockBtn,   w->ClearMemoryBtn, w->SetupSensorBtn, w->UserCalibrationBtn,
            w->AddNoteBtn,    w->CollectDataBtn, w->UpdateTimeBtn,  w->StartStopBtn2,
            w->UcStartCalibrationBtn, w->BackupBtn, w->RestoreBtn};
}

// The Add Note dialog, filled in and confirmed as a user would.
void confirmNote(TAddNoteForm* note)
{
    clickThroughWindow(note->InitialsEditBox);
    for (const char key : std::string("AB"))
        QTest::keyClick(note->windowHandle(), key);
    clickThroughWindow(note->OkBtn);
}

// --- an operation started once the sensor is gone -----------------------------

struct Lost {
    const char* name;
    Control page;    // the bar's button that shows the operation's page; null: none
    Control control; // what starts the operation
    std::vector<std::string> said;
    std::string status;
};

void PrintTo(const Lost& lost, std::ostream* out)
{
    *out << lost.name;
}

class LostSensor : public OperationsFixture, public ::testing::WithParamInterface<Lost> {};

TEST_P(LostSensor, FirstOperationSaysSoThenNothingCanStart)
{
    const Lost& c = GetParam();
    answer = [](const ShownMessage& m) { return m.buttons == mbYesNo ? int(mrYes) : int(mrOk); };
    TSensorForm* w = connect();
    if (c.page)
        press(c.page(w));
    sensor.hangUp();
    ASSERT_TRUE(pumpUntil([&] { return w->StatusTxt->text().startsWith("Port closed"); }, 5000));

    WhenModal<TAddNoteForm> note(confirmNote);
    pressThroughWindow(c.control(w));
    EXPECT_TRUE(pumpUntil([&] { return shown.size() >= c.said.size() && w->ClosingDown; }, 10000));
    pumpUntil([] { return false; }, 300);
    EXPECT_EQ(messages(), c.said);
    EXPECT_EQ(w->StatusTxt->text().toStdString(), c.status);

    // Nothing looks as if it could go on: only Disconnect is left, and no
    // click starts anything or changes what the window says.
    for (QWidget* control : operationControls(w))
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    EXPECT_TRUE(w->DisconnectBtn->isEnabled());
    shown.clear();
    const QWidget* shownPage = w->ActivePage();
    for (QWidget* control : operationControls(w))
        if (control->isVisible())
            clickThroughWindow(control);
    pumpUntil([] { return false; }, 300);
    EXPECT_TRUE(shown.empty()) << messages().front();
    EXPECT_EQ(w->ActivePage(), shownPage);
    EXPECT_EQ(w->StatusTxt->text().toStdString(), c.status);

    clickThroughWindow(w->DisconnectBtn);
    EXPECT_EQ(w->ModalResult(), mrOk);
}

const std::string ClearNotDone = "The sensor did not clear its memory. The sensor does not answer";
const std::string NoteNotDone = "The note was not written to the sensor's log. The sensor does not answer";

INSTANTIATE_TEST_SUITE_P(
    EachOperation, LostSensor,
    ::testing::Values(
        // Started on a sensor already gone, monitoring shows no values and
        // does not speak of any.
        Lost{"Monitor", nullptr, [](TSensorForm* w) { return w->MonitorBtn; }, {Comms},
             "Monitoring stopped: the sensor does not answer."},
        Lost{"Download", [](TSensorForm* w) { return w->DataBtn; },
             [](TSensorForm* w) { return w->CollectDataBtn; }, {Comms}, NoAnswer},
        Lost{"Clock", [](TSensorForm* w) { return w->SetClockBtn; },
             [](TSensorForm* w) { return w->UpdateTimeBtn; }, {Comms}, NoAnswer},
        Lost{"Logging", [](TSensorForm* w) { return w->StartStopBtn; },
             [](TSensorForm* w) { return w->StartStopBtn2; }, {Comms}, NoAnswer},
        Lost{"Calibration", [](TSensorForm* w) { return w->UserCalibrationBtn; },
             [](TSensorForm* w) { return w->UcStartCalibrationBtn; },
             {Comms, "Sensor channel calibration failed or was canceled by the user."}, NoAnswer},
        Lost{"Backup", [](TSensorForm* w) { return w->UserCalibrationBtn; },
             [](TSensorForm* w) { return w->BackupBtn; }, {Comms}, NoAnswer},
        Lost{"Restore", [](TSensorForm* w) { return w->UserCalibrationBtn; },
             [](TSensorForm* w) { return w->RestoreBtn; }, {Comms}, NoAnswer},
        Lost{"Setup", nullptr, [](TSensorForm* w) { return w->SetupSensorBtn; }, {Comms}, NoAnswer},
        Lost{"ClearMemory", nullptr, [](TSensorForm* w) { return w->ClearMemoryBtn; },
             {ClearQuestion, ClearNotDone + ". Please check connections and verify correct power to the Sensor."},
             ClearNotDone + ": please Disconnect and connect again."},
        Lost{"AddNote", nullptr, [](TSensorForm* w) { return w->AddNoteBtn; },
             {NoteNotDone + ". Please check connections and verify correct power to the Sensor."},
             NoteNotDone + ": please Disconnect and connect again."}),
    [](const ::testing::TestParamInfo<Lost>& lost) { return std::string(lost.param.name); });

// --- one operation at a time --------------------------------------------------

struct Wait {
    const char* name;
    uint8_t command; // the stand-in stays silent from this command on
    Control page;    // shown before the operation starts; null: none
    Control control;
    // The operation's effect on the stand-in, once.
    std::function<void(const standin::SensorState&)> done;
};

void PrintTo(const Wait& wait, std::ostream* out)
{
    *out << wait.name;
}

class OneOperationAtATime : public OperationsFixture, public ::testing::WithParamInterface<Wait> {};

// While an operation waits for a silent stand-in, nothing can start another
// operation; once the stand-in answers a retry, the operation ends as usual.
TEST_P(OneOperationAtATime, NothingStartsInsideAWait)
{
    const Wait& c = GetParam();
    answer = [](const ShownMessage& m) { return m.buttons == mbYesNo ? int(mrYes) : int(mrOk); };
    // A sensor clock an hour behind, so that setting it shows.
    model->update([](standin::SensorState& s) { s.clockOffsetSeconds = -3600; });
    TSensorForm* w = connect();
    if (c.page)
        press(c.page(w));
    WhenModal<TAddNoteForm> note(confirmNote);
    muteOn(c.command);
    mark();

    bool inspected = false;
    size_t sentDuringWait = 0;
    QTimer inspect;
    QObject::connect(&inspect, &QTimer::timeout, [&] {
        if (inspected || commandsWithCode(c.command).empty())
            return;
        inspected = true;
        for (QWidget* control : operationControls(w))
            EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
        EXPECT_FALSE(w->DisconnectBtn->isEnabled());
        const size_t before = commands().size();
        for (QWidget* control : operationControls(w))
            if (control->isVisible())
                clickThroughWindow(control);
        QTest::qWait(200);
        // Only the waiting command's own retries may have gone out.
        for (size_t i = before; i < commands().size(); ++i)
            EXPECT_EQ(commands()[i][0], c.command);
        sentDuringWait = commands().size();
        unmute();
    });
    inspect.start(20);
    pressThroughWindow(c.control(w));
    inspect.stop();

    EXPECT_TRUE(inspected) << "the operation waited for the stand-in";
    const std::vector<Bytes> sent = commands();
    ASSERT_GE(sentDuringWait, 1u);
    for (const Bytes& frame : sent)
        EXPECT_TRUE(frame[0] == standin::cmd::Null || frame[0] == standin::cmd::Status || frame[0] == c.command)
            << "command " << int(frame[0]);
    c.done(model->state());
    EXPECT_FALSE(w->ClosingDown);
    EXPECT_EQ(w->ActivePage(), w->Status);
    for (QWidget* b : {static_cast<QWidget*>(w->StatusBtn), static_cast<QWidget*>(w->SetClockBtn),
                       static_cast<QWidget*>(w->DisconnectBtn), static_cast<QWidget*>(w->CollectDataBtn),
                       static_cast<QWidget*>(w->UpdateTimeBtn)})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString() << " is back";
    EXPECT_TRUE(shown.size() <= 1u) << messages().back();
}

INSTANTIATE_TEST_SUITE_P(
    EachWait, OneOperationAtATime,
    ::testing::Values(
        Wait{"UpdateLoggerClock", standin::cmd::SetClock, [](TSensorForm* w) { return w->SetClockBtn; },
             [](TSensorForm* w) { return w->UpdateTimeBtn; },
             // Set to the time the first try carried, a retry's wait ago.
             [](const standin::SensorState& s) { EXPECT_LT(std::abs(s.clockOffsetSeconds), 60); }},
        Wait{"ClearMemory", standin::cmd::ClearMemory, nullptr, [](TSensorForm* w) { return w->ClearMemoryBtn; },
             [](const standin::SensorState& s) {
                 EXPECT_EQ(s.clearTexts, std::vector<std::string>({"Testing Memory cleared"}));
             }},
        // Opened over the Collect page, whose download must not start meanwhile.
        Wait{"AddNote", standin::cmd::LogComment, [](TSensorForm* w) { return w->DataBtn; },
             [](TSensorForm* w) { return w->AddNoteBtn; },
             [](const standin::SensorState& s) {
                 EXPECT_EQ(s.comments, std::vector<std::string>({"VAB_____"}));
             }}),
    [](const ::testing::TestParamInfo<Wait>& wait) { return std::string(wait.param.name); });

} // namespace
