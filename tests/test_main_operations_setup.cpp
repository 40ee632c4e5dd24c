// "Setup Sensor" against the stand-in, driven through the windows: what the
// dialog edited reaches the stand-in after "Ok", nothing is sent after
// "Cancel", and after an image the stand-in refuses, or a lost sensor, the
// images in memory are the ones the stand-in holds and the message says so.
#include "OperationsFixture.h"

#include "FileCtrl.h"
#include "SensorSetupUnit.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

using namespace ops;

namespace {

class Setup : public OperationsFixture {
protected:
    void SetUp() override
    {
        OperationsFixture::SetUp();
        connect();
        saved = sensor.images();
        savedCal = form->Sensor->CalData;
        savedConf = form->Sensor->ConfData;
    }
    // Runs "Setup Sensor": renames the sensor and turns the memory wrap off
    // in the dialog, then ends it with `button`.
    void runSetup(bool ok)
    {
        bool mainHidden = false;
        WhenModal<TSensorSetupForm> act([&](TSensorSetupForm* d) {
            mainHidden = !form->isVisible();
            d->SensorNameEdit->selectAll();
            typeThroughWindow(d->SensorNameEdit, "Weir Sonde 5");
            QCheckBox* wrap = d->SS_MemoryWrapCheckBox;
            ASSERT_TRUE(wrap->isChecked());
            clickThroughWindow(wrap, QPoint(8, wrap->height() / 2));
            edited = {d->Cal->SensorName, d->Conf->MemoryWrap};
            closedAt = sensor.requestCount();
            clickThroughWindow(ok ? d->SSOkBtn : d->SSCancelBtn);
        });
        mark();
        pressThroughWindow(form->SetupSensorBtn);
        EXPECT_EQ(act.count, 1);
        EXPECT_TRUE(mainHidden) << "the main window is hidden while the dialog is up";
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(form->ActivePage(), form->Status);
        EXPECT_TRUE(form->StatusBtn->isChecked());
        EXPECT_TRUE(form->SetupSensorBtn->isEnabled()) << "the bar is back to normal";
    }
    // Command codes the stand-in received after the dialog ended.
    std::vector<int> codesAfterDialog() const { return receivedCodes(sensor, closedAt); }
    void expectAsSaved()
    {
        EXPECT_TRUE(sameImage(form->Sensor->CalData, savedCal));
        EXPECT_TRUE(sameImage(form->Sensor->ConfData, savedConf));
        EXPECT_TRUE(form->windowTitle().endsWith("  Sensor: Weir Sonde 4"));
    }

    struct Edited {
        std::string name;
        int wrap = -1;
    } edited;
    size_t closedAt = 0;
    standin::SensorImages saved;
    CalibrationData savedCal{};
    ConfigurationData savedConf{};
};

TEST_F(Setup, OkSendsWhatTheDialogEdited)
{
    runSetup(true);
    EXPECT_EQ(edited.name, "Weir Sonde 5");
    EXPECT_EQ(edited.wrap, 0);
    EXPECT_TRUE(shown.empty()) << messages().front();
    // The calibration image, then the configuration image.
    EXPECT_EQ(codesAfterDialog(), std::vector<int>({0, 7, 0, 5}));
    const standin::SensorImages now = sensor.images();
    EXPECT_TRUE(sameImage(now.cal, form->Sensor->CalData));
    EXPECT_TRUE(sameImage(now.conf, form->Sensor->ConfData));
    EXPECT_EQ(ImageText(now.cal.SensorName), "Weir Sonde 5");
    EXPECT_EQ(now.conf.MemoryWrap, 0);
    // The window follows the new name.
    EXPECT_TRUE(form->windowTitle().endsWith("  Sensor: Weir Sonde 5"));
    EXPECT_TRUE(form->DownloadsFolder.size() > 13 &&
                form->DownloadsFolder.substr(form->DownloadsFolder.size() - 13) == "Weir Sonde 5/");
    EXPECT_EQ(form->DlFileListBox->Directory(), form->DownloadsFolder);
}

TEST_F(Setup, CancelSendsNothingAndPutsTheImagesBack)
{
    runSetup(false);
    EXPECT_EQ(edited.name, "Weir Sonde 5") << "the dialog edited the images in place";
    EXPECT_TRUE(codesAfterDialog().empty());
    expectAsSaved();
    EXPECT_TRUE(sameImage(sensor.images().cal, saved.cal));
    EXPECT_TRUE(sameImage(sensor.images().conf, saved.conf));
    EXPECT_TRUE(shown.empty());
}

// Whatever the stand-in took or refused, memory ends holding byte for byte
// the images the stand-in holds, and the message says which those are.
TEST_F(Setup, RefusedImageLeavesMemoryAsTheSensorAndSaysWhatItHolds)
{
    namespace cmd = standin::cmd;
    const std::string failed = "Failed to update sensor, Please check sensor connectivity.";
    struct Case {
        const char* name;
        std::function<void(standin::SensorState&)> refuse;
        std::vector<int> sent;
        std::string message;
        const char* sensorName; // of the calibration the stand-in ends with
    };
    const Case cases[] = {
        {"calibration refused", [](standin::SensorState& s) { s.refuse[cmd::PutCalibration] = 0x85; }, {0, 7},
         failed, "Weir Sonde 4"},
        {"configuration refused: the saved calibration goes back",
         [](standin::SensorState& s) { s.refuse[cmd::PutConfiguration] = 0x85; }, {0, 7, 0, 5, 0, 7},
         failed + " The sensor keeps its earlier calibration and configuration.", "Weir Sonde 4"},
        {"configuration refused and the saved calibration too",
         [](standin::SensorState& s) {
             s.refuse[cmd::PutConfiguration] = 0x85;
             s.refuseAfter[cmd::PutCalibration] = {1, 0x85};
         },
         {0, 7, 0, 5, 0, 7}, failed + " The sensor holds the new calibration with its earlier configuration.",
         "Weir Sonde 5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sensor.setImages(saved);
        shown.clear();
        model->update([&](standin::SensorState& s) {
            s.refuse.clear();
            s.refuseAfter.clear();
            c.refuse(s);
        });
        runSetup(true);
        EXPECT_EQ(messages(), std::vector<std::string>({c.message}));
        EXPECT_EQ(codesAfterDialog(), c.sent);
        const standin::SensorImages now = sensor.images();
        EXPECT_EQ(ImageText(now.cal.SensorName), c.sensorName);
        EXPECT_TRUE(standin::imageBytes(now.conf) == standin::imageBytes(saved.conf));
        EXPECT_TRUE(standin::imageBytes(form->Sensor->CalData) == standin::imageBytes(now.cal));
        EXPECT_TRUE(standin::imageBytes(form->Sensor->ConfData) == standin::imageBytes(now.conf));
        EXPECT_TRUE(form->windowTitle().endsWith(QString("  Sensor: ") + c.sensorName));
    }
}

// The sensor goes away at one point of the sending or another: the failure
// is said, and memory holds the images the stand-in kept.
struct Lost {
    const char* name;
    std::function<void(standin::Standin&)> arrange; // run just before "Ok"
    std::string message;
    const char* sensorName; // of the calibration the stand-in keeps
};

void PrintTo(const Lost& lost, std::ostream* out)
{
    *out << lost.name;
}

class SetupLost : public Setup, public ::testing::WithParamInterface<Lost> {};

TEST_P(SetupLost, SensorLostWhileSendingSaysSo)
{
    const Lost& c = GetParam();
    WhenModal<TSensorSetupForm> act([&](TSensorSetupForm* d) {
        d->SensorNameEdit->selectAll();
        typeThroughWindow(d->SensorNameEdit, "Weir Sonde 5");
        c.arrange(sensor);
        clickThroughWindow(d->SSOkBtn);
    });
    pressThroughWindow(form->SetupSensorBtn);
    ASSERT_EQ(act.count, 1);
    EXPECT_TRUE(sensor.hungUp());
    EXPECT_EQ(messages(), std::vector<std::string>({c.message}));
    const standin::SensorImages now = sensor.images();
    EXPECT_EQ(ImageText(now.cal.SensorName), c.sensorName);
    EXPECT_TRUE(standin::imageBytes(now.conf) == standin::imageBytes(saved.conf));
    EXPECT_TRUE(standin::imageBytes(form->Sensor->CalData) == standin::imageBytes(now.cal));
    EXPECT_TRUE(standin::imageBytes(form->Sensor->ConfData) == standin::imageBytes(now.conf));
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->SetupSensorBtn->isEnabled());
}

standin::Standin::Handler hangUpAnswer()
{
    return [](const standin::Frame&) { return standin::Responses{standin::Response::hangUp()}; };
}

const std::string NotSent = "Failed to update sensor, Please check sensor connectivity.";

INSTANTIATE_TEST_SUITE_P(
    AtEachStep, SetupLost,
    ::testing::Values(
        Lost{"CalibrationCommand",
             [](standin::Standin& s) { s.onCommand(standin::cmd::PutCalibration, hangUpAnswer()); }, NotSent,
             "Weir Sonde 4"},
        // After the null command, the command and the first frame of the image.
        Lost{"CalibrationTransfer",
             [](standin::Standin& s) {
                 s.script({standin::Response::byHandler(), standin::Response::byHandler(),
                           standin::Response::byHandler(), standin::Response::hangUp()});
             },
             NotSent, "Weir Sonde 4"},
        Lost{"ConfigurationCommand",
             [](standin::Standin& s) { s.onCommand(standin::cmd::PutConfiguration, hangUpAnswer()); },
             NotSent + " The sensor holds the new calibration with its earlier configuration.", "Weir Sonde 5"}),
    [](const ::testing::TestParamInfo<Lost>& lost) { return std::string(lost.param.name); });

} // namespace

namespace {

// The main window is shown modally by the start-up window; hiding it for the
// dialog must not end its modal showing.
class ModalMainWindow : public OperationsFixture {};

TEST_F(ModalMainWindow, SetupDialogDoesNotEndTheWindowsModalShowing)
{
    form = std::make_unique<TSensorForm>(nullptr, "COM3", nullptr);
    bool visibleAfter = false;
    int dialogs = 0;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(testsupport::pumpUntil([&] { return form->ClockTimer->isActive() && !form->InitProgress; },
                                           60000));
        WhenModal<TSensorSetupForm> cancel([&](TSensorSetupForm* d) {
            ++dialogs;
            clickThroughWindow(d->SSCancelBtn);
        });
        pressThroughWindow(form->SetupSensorBtn);
        QApplication::processEvents();
        visibleAfter = form->isVisible() && form->ModalResult() == mrNone;
        clickThroughWindow(form->DisconnectBtn);
    });
    EXPECT_EQ(form->exec(), mrOk) << "the window closed by Disconnect, not by the dialog";
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(visibleAfter);
}

} // namespace
