// The main window as a user meets it: opened by Connect in the start-up
// window and shown modally, driven by mouse and keyboard input addressed to
// the windows (so that modality decides what takes it). Every session ends
// with the start-up window usable again.
#include "AddNoteFormUnit.h"
#include "Brindlecot.h"
#include "ComPorts.h"
#include "DlProgress.h"
#include "Forms.h"
#include "MainWindowFixture.h"
#include "MessageBoxWatch.h"
#include "StdCtrls.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>

#include <algorithm>

using testsupport::pumpUntil;

namespace {

class UserSession : public MainWindowFixture {
public:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        ASSERT_TRUE(dir_.isValid());
        setExeName(dir_.filePath("BrindlecotProject"));
        startUp = std::make_unique<TStartUpForm>();
        startUp->show();
        ASSERT_EQ(startUp->AvailComportComboBox->currentText(), "COM3");
    }
    void TearDown() override
    {
        startUp.reset();
        setExeName(QString());
        MainWindowFixture::TearDown();
    }

    // Clicks Connect; `script` runs inside the main window's modal showing
    // once it is up (when it stays up long enough). Returns when the main
    // window has closed and Connect's handler is done. A window still open
    // a minute later is a failure (and is closed, so the test ends).
    void session(const std::function<void(TSensorForm*)>& script)
    {
        scriptRan = false;
        WhenModal<TSensorForm> inside([&](TSensorForm* w) {
            script(w);
            scriptRan = true;
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            if (auto* w = qobject_cast<TSensorForm*>(QApplication::activeModalWidget())) {
                ADD_FAILURE() << "the main window did not close";
                w->done(mrCancel);
            }
        });
        watchdog.start(60000);
        clickThroughWindow(startUp->ConnectBtn);
        sessions += 1;
    }
    // The start-up window after a session: shown, taking input, no main window left.
    void expectStartUpUsable()
    {
        EXPECT_TRUE(startUp->isVisible());
        EXPECT_TRUE(startUp->isEnabled());
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_TRUE(startUp->findChildren<TSensorForm*>().isEmpty()) << "the main window is deleted";
    }
    // One good session that only connects and disconnects by mouse.
    void connectAndDisconnect()
    {
        bool wasReady = false;
        session([&](TSensorForm* w) {
            wasReady = pumpUntil([&] { return ready(w); }, 30000);
            clickThroughWindow(w->DisconnectBtn);
        });
        EXPECT_TRUE(wasReady);
        expectStartUpUsable();
    }

    QTemporaryDir dir_;
    std::unique_ptr<TStartUpForm> startUp;
    bool scriptRan = false;
    int sessions = 0;
};

TEST_F(UserSession, ConnectMonitorAndDisconnect)
{
    bool checked = false;
    session([&](TSensorForm* w) {
        ASSERT_TRUE(pumpUntil([&] { return ready(w); }, 30000));
        EXPECT_EQ(w->StartUpWindow, startUp.get());
        EXPECT_EQ(w->PortName, "COM3");
        EXPECT_EQ(w->windowTitle(), "Halvorine Brindlecot Version 2.2  Sensor: Weir Sonde 4");
        // The start-up window stays behind, shut to input.
        const QString before = startUp->AvailComportComboBox->currentText();
        clickThroughWindow(startUp->RefreshComportList);
        QTest::keyClick(startUp->windowHandle(), Qt::Key_Down);
        EXPECT_EQ(startUp->AvailComportComboBox->currentText(), before);

        clickThroughWindow(w->MonitorBtn);
        EXPECT_EQ(w->ActivePage(), w->Monitor);
        EXPECT_TRUE(w->MonitorBtn->isChecked());
        ASSERT_TRUE(pumpUntil([&] { return w->MonitorLines.size() >= 4; }, 20000));
        EXPECT_EQ(w->MonitorLines[0].rfind("Date/time,", 0), 0u);
        clickThroughWindow(w->StatusBtn);
        EXPECT_EQ(w->ActivePage(), w->Status);
        EXPECT_TRUE(w->ViewMonitorDataBtn->isHidden());
        checked = true;
        clickThroughWindow(w->DisconnectBtn);
    });
    EXPECT_TRUE(checked);
    EXPECT_TRUE(shown.empty());
    expectStartUpUsable();
    // The port was let go: the next connection opens it again.
    connectAndDisconnect();
}

TEST_F(UserSession, ClickDuringAPollEndsTheWaitWithoutAFailure)
{
    struct Case {
        const char* name;
        uint8_t pending; // the command the sensor leaves unanswered
        QToolButton* TSensorForm::*button;
    };
    const Case cases[] = {
        {"Disconnect during the measurement", standin::cmd::CurrentValues, &TSensorForm::DisconnectBtn},
        {"Disconnect during the status check", standin::cmd::Status, &TSensorForm::DisconnectBtn},
        {"Status during the status check", standin::cmd::Status, &TSensorForm::StatusBtn},
        {"Set Clock during the measurement", standin::cmd::CurrentValues, &TSensorForm::SetClockBtn},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        shown.clear();
        QElapsedTimer clock;
        qint64 clickMs = -1;
        bool clicked = false;
        session([&](TSensorForm* w) {
            ASSERT_TRUE(pumpUntil([&] { return ready(w); }, 30000));
            // From now on the sensor leaves this command unanswered.
            sensor.onCommand(c.pending, [](const standin::Frame&) { return standin::Responses{}; });
            sensor.clearLog();
            // The click comes while the poll waits for the answer.
            QTimer user;
            QObject::connect(&user, &QTimer::timeout, [&] {
                if (clicked || commandsWithCode(c.pending).empty())
                    return;
                clicked = true;
                pumpUntil([] { return false; }, 300);
                clock.start();
                clickThroughWindow(w->*c.button);
                clickMs = clock.elapsed();
                // The sensor answers again; the interrupted poll's next try
                // gets its answer.
                sensor.onCommand(c.pending, [m = model](const standin::Frame& f) { return m->answer(f); });
            });
            user.start(10);
            clickThroughWindow(w->MonitorBtn);
            pumpUntil([&] { return clicked; }, 10000);
            user.stop();
            if (c.button != &TSensorForm::DisconnectBtn) {
                // The window goes on as usual.
                EXPECT_FALSE(w->ClosingDown);
                EXPECT_TRUE(w->CheckSensorStatus());
                EXPECT_NE(w->ActivePage(), w->Monitor);
                clickThroughWindow(w->DisconnectBtn);
            }
        });
        EXPECT_TRUE(clicked);
        EXPECT_GE(clickMs, 0);
        EXPECT_LT(clickMs, 2000) << "the click is answered at once";
        if (c.button == &TSensorForm::DisconnectBtn) {
            EXPECT_LT(clock.elapsed(), 2000) << "the pending wait ends at the click";
        }
        EXPECT_TRUE(shown.empty()) << "stopping a wait is no failure of the sensor";
        expectStartUpUsable();
        sensor.onCommand(c.pending, [m = model](const standin::Frame& f) { return m->answer(f); });
    }
}

TEST_F(UserSession, FailuresEndTheSessionAndTheStartUpWindowIsUsableAgain)
{
    const std::string reliable = "Failed to establish reliable communication with the sensor. please check power "
                                 "supply and cable connections";
    struct Case {
        const char* name;
        std::function<void(UserSession&)> arrange;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"port that cannot be opened",
         [](UserSession&) { testsupport::mapComPort(3, "/nonexistent/ttyX"); },
         {"Failed to establish communication with the sensor"}},
        {"no port chosen",
         [](UserSession& t) { QTest::keyClicks(t.startUp->AvailComportComboBox->lineEdit(), "x"); },
         {"Failed to establish communication with the sensor"}},
        {"sensor stops answering during the sequence",
         [](UserSession& t) { t.muteOn(standin::cmd::GetCalibration); },
         {"Failed to retrieve calibration file", reliable}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        shown.clear();
        startUp->RefreshComportListClick();
        c.arrange(*this);
        session([](TSensorForm*) {});
        EXPECT_EQ(messages(), c.messages);
        expectStartUpUsable();

        unmute();
        testsupport::mapComPort(3, sensor.slavePath());
        startUp->RefreshComportListClick();
        shown.clear();
        connectAndDisconnect();
        EXPECT_TRUE(shown.empty());
    }
}

TEST_F(UserSession, MonitorAfterClearMemoryDuringAPollAsksAtOnce)
{
    // The user reads the question for longer than the measurement takes, so
    // its result comes while nobody listens and is gone with the commands
    // that follow.
    answer = [](const ShownMessage& m) {
        if (m.buttons != mbYesNo)
            return int(mrOk);
        pumpUntil([] { return false; }, 1500);
        return int(mrYes);
    };
    model->update([](standin::SensorState& s) { s.measureMs = 1000; });
    bool clicked = false;
    size_t fromRequest = 0;
    QElapsedTimer clock;
    bool valuesAgain = false;
    session([&](TSensorForm* w) {
        ASSERT_TRUE(pumpUntil([&] { return ready(w); }, 30000));
        sensor.clearLog();
        QTimer user;
        QObject::connect(&user, &QTimer::timeout, [&] {
            const auto requests = sensor.requests();
            const bool polled = std::any_of(requests.begin(), requests.end(), [](const standin::Request& r) {
                return r.frame.content == standin::ContentSubTask;
            });
            if (clicked || !polled)
                return;
            clicked = true;
            // Both clicks come while the poll waits for the measurement.
            clickThroughWindow(w->ClearMemoryBtn);
            model->update([](standin::SensorState& s) { s.measureMs = 100; });
            fromRequest = sensor.requests().size();
            clock.start();
            clickThroughWindow(w->MonitorBtn);
        });
        user.start(10);
        clickThroughWindow(w->MonitorBtn);
        ASSERT_TRUE(pumpUntil([&] { return clicked; }, 10000));
        user.stop();
        valuesAgain = pumpUntil([&] { return w->MonitorLines.size() >= 3; }, 10000);
        clickThroughWindow(w->DisconnectBtn);
    });
    EXPECT_TRUE(clicked);
    EXPECT_EQ(model->state().clearTexts, std::vector<std::string>({"Testing Memory cleared"}));
    EXPECT_TRUE(valuesAgain) << "the new Monitor shows values within seconds, not after the old wait's 45 s";
    EXPECT_LT(clock.elapsed(), 15000);
    // Its first poll measures before it asks for the result.
    std::vector<std::string> asked;
    const auto requests = sensor.requests();
    for (size_t i = fromRequest; i < requests.size(); ++i) {
        const standin::Frame& f = requests[i].frame;
        if (f.content == standin::ContentSubTask)
            asked.push_back("result");
        else if (f.content == standin::ContentCommand && !f.data.empty() && f.data[0] == standin::cmd::CurrentValues)
            asked.push_back("measure");
    }
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.front(), "measure");
    EXPECT_TRUE(shown.size() == 1u && shown[0].buttons == mbYesNo) << "no failure is reported";
    expectStartUpUsable();
}

// The boxes of a failed connection come in front of the stay-on-top
// progress window, which stays up until the sequence ends.
TEST_F(UserSession, MessagesWhileConnectingComeInFrontOfTheProgressWindow)
{
    muteOn(standin::cmd::GetCalibration);
    MessageBoxWatch watch;
    session([](TSensorForm*) {});
    ASSERT_EQ(watch.texts(), QStringList({"Failed to retrieve calibration file",
                                          "Failed to establish reliable communication with the sensor. please check "
                                          "power supply and cable connections"}));
    for (const SeenBox& box : watch.boxes)
        EXPECT_EQ(box.ownerTitle.toStdString(), "Sensor Initialisation");
    watch.expectUsable();
    expectStartUpUsable();
}

TEST_F(UserSession, SensorThatHangsUpWhileReady)
{
    session([&](TSensorForm* w) {
        ASSERT_TRUE(pumpUntil([&] { return ready(w); }, 30000));
        sensor.hangUp();
        pumpUntil([&] { return w->StatusTxt->text().startsWith("Port closed"); }, 5000);
        clickThroughWindow(w->SetClockBtn);
        EXPECT_EQ(w->ActivePage(), w->Clock);
        clickThroughWindow(w->UpdateTimeBtn);
        EXPECT_EQ(messages(), std::vector<std::string>({"Communictations with the Sensor failed, Please check "
                                                        "connections and verify correct power to the Sensor."}));
        // Every further operation is off, and the status line says why.
        EXPECT_FALSE(w->MonitorBtn->isEnabled());
        clickThroughWindow(w->MonitorBtn);
        pumpUntil([] { return false; }, 500);
        EXPECT_EQ(shown.size(), 1u);
        EXPECT_EQ(w->StatusTxt->text(), "The sensor does not answer: please Disconnect and connect again.");
        clickThroughWindow(w->DisconnectBtn);
    });
    EXPECT_TRUE(scriptRan);
    expectStartUpUsable();
}

TEST_F(UserSession, AnotherSensorAnsweringClosesTheWindow)
{
    session([&](TSensorForm* w) {
        ASSERT_TRUE(pumpUntil([&] { return ready(w); }, 30000));
        clickThroughWindow(w->MonitorBtn);
        ASSERT_TRUE(pumpUntil([&] { return w->MonitorLines.size() >= 3; }, 20000));
        model->update([](standin::SensorState& s) { s.sensorId = "SIM77777"; });
        // The window closes by itself once the poll that noticed has returned.
    });
    EXPECT_TRUE(scriptRan);
    EXPECT_EQ(messages(), std::vector<std::string>({"Detected new sensor... To preserve data integrity sensor "
                                                    "connection will close down"}));
    expectStartUpUsable();
}

TEST_F(UserSession, NoteAndClearMemoryFromTheBar)
{
    answer = [](const ShownMessage& m) { return m.buttons == mbYesNo ? int(mrYes) : int(mrOk); };
    session([&](TSensorForm* w) {
        ASSERT_TRUE(pumpUntil([&] { return ready(w); }, 30000));

        WhenModal<TAddNoteForm> note([&](TAddNoteForm* n) {
            clickThroughWindow(n->InitialsEditBox);
            for (const char key : std::string("AB"))
                QTest::keyClick(n->windowHandle(), key);
            clickThroughWindow(n->CommentsMemo);
            // The note takes what the logging comment takes: no comma.
            for (const char key : std::string("weir, ok"))
                QTest::keyClick(n->windowHandle(), key);
            clickThroughWindow(n->OkBtn);
        });
        clickThroughWindow(w->AddNoteBtn);
        EXPECT_EQ(note.count, 1);
        EXPECT_EQ(model->state().comments, std::vector<std::string>({"VAB_____weir ok"}));
        EXPECT_EQ(w->ActivePage(), w->Status);

        clickThroughWindow(w->ClearMemoryBtn);
        EXPECT_EQ(model->state().clearTexts, std::vector<std::string>({"Testing Memory cleared"}));
        EXPECT_EQ(w->ActivePage(), w->Status);
        EXPECT_TRUE(w->StatusBtn->isChecked());
        clickThroughWindow(w->DisconnectBtn);
    });
    EXPECT_TRUE(scriptRan);
    expectStartUpUsable();
}

TEST_F(UserSession, DownloadCancelTakesAClickWhileTheMainWindowIsModal)
{
    // Enough records for half a minute at the line's real speed.
    logger.update([](standin::RecordGenerator& g) {
        g.run(standin::loggerStateFrom(standin::defaultImages().conf, g.now()), g.stream().size() + 64 * 1024);
    });
    enDownloadResult result = drComplete;
    bool clicked = false;
    QElapsedTimer clock;
    session([&](TSensorForm* w) {
        ASSERT_TRUE(pumpUntil([&] { return ready(w); }, 30000));
        sensor.setLineRate(19200);
        QTimer cancel;
        QObject::connect(&cancel, &QTimer::timeout, [&] {
            TDlProgForm* progress = w->Sensor ? w->Sensor->ProgressForm : nullptr;
            if (clicked || !progress || !progress->isVisible() || w->Sensor->Comms->BytesReceived < 2000)
                return;
            clicked = true;
            EXPECT_EQ(progress->parentWidget(), w) << "the progress window belongs to the modal window";
            clickThroughWindow(progress->CancelBtn);
            EXPECT_TRUE(progress->CancelRequested) << "the click reached the Cancel button";
        });
        cancel.start(20);
        ASSERT_TRUE(w->Sensor->GetDateTimeBounds());
        clock.start();
        result = w->Sensor->RetrieveData(w->DownloadsFolder + "cancelled.bin", w->Sensor->Status.FirstLoggedTime,
                                         w->Sensor->Status.LastLoggedTime, true);
        cancel.stop();
        sensor.setLineRate(0);
        clickThroughWindow(w->DisconnectBtn);
    });
    EXPECT_TRUE(clicked);
    EXPECT_NE(result, drComplete);
    EXPECT_LT(clock.elapsed(), 20000) << "the download stopped at the click";
    expectStartUpUsable();
}

} // namespace
