// The datum dialog against the stand-in: the mode read from the stored
// coefficients, each mode's apply with the coefficients that reach the
// stand-in and the reading they give, units, the key filter, and the bad
// input that sends nothing; then the dialog as the Calibration page opens it,
// with "Commit changes", "Cancel" and a stand-in that refuses the image.
#include "OperationsFixture.h"

#include "DlProgress.h"
#include "ExtCtrls.h"
#include "SetPressureReferenceUnit.h"
#include "StdCtrls.h"

#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QMimeData>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include <cmath>
#include <cstring>

using namespace ops;

namespace {

namespace ch = standin::channels;

std::vector<float> datumOf(const CalibrationData& cal, int channel)
{
    const int n = cal.Channels[channel].CompensationNumbers[3];
    // The image is packed: the floats are copied, not referred to.
    std::vector<float> out(5);
    std::memcpy(out.data(), cal.CompensationTable[n].Coeffs, 5 * sizeof(float));
    return out;
}

void setDatum(CalibrationData& cal, int channel, std::vector<float> coeffs)
{
    const int n = cal.Channels[channel].CompensationNumbers[3];
    std::memcpy(cal.CompensationTable[n].Coeffs, coeffs.data(), 5 * sizeof(float));
}

// The dialog on a device model of its own, shown as a window of its own.
class DatumDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::mapComPort(1, sensor.slavePath());
        transfer.serveImages(sensor, model);
        model->update([](standin::SensorState& s) { s.measureMs = 0; });
        reference->place(ch::Depth, 1.0);
        reference->place(ch::Pressure, 1.0);
        Dialogs::setHook([this](const ShownMessage& m) {
            shown.push_back(m.text.toStdString());
            return int(mrOk);
        });
        device = std::make_unique<TSensor_Quarn>(nullptr);
        ASSERT_TRUE(device->StartComs("COM1", 19200));
    }
    void TearDown() override
    {
        dialog.reset();
        device.reset();
        Dialogs::setHook(nullptr);
        testsupport::clearComPortMap();
    }

    // Both the stand-in and the device model hold `images`.
    void hold(const standin::SensorImages& images)
    {
        standin::SensorImages withCrc = images;
        standin::setImageCrc(withCrc.cal);
        standin::setImageCrc(withCrc.conf);
        sensor.setImages(withCrc);
        device->CalData = withCrc.cal;
        device->ConfData = withCrc.conf;
    }
    // Opens the dialog; the stand-in's log then holds what the opening sent.
    TSetPressureReferenceForm* open(const std::string& channel = "Depth")
    {
        sensor.clearLog();
        dialog = std::make_unique<TSetPressureReferenceForm>(nullptr, &device->ConfData, &device->CalData,
                                                             &device->Status, device.get(), channel);
        dialog->show();
        QApplication::processEvents();
        return dialog.get();
    }
    void chooseMode(int mode)
    {
        QRadioButton* b = dialog->RadioGroup1->Button(mode);
        clickThroughWindow(b, QPoint(8, b->height() / 2));
        ASSERT_EQ(dialog->RadioGroup1->ItemIndex(), mode);
    }
    void typeReference(const QString& text)
    {
        dialog->DatumValueEdit->setFocus();
        dialog->DatumValueEdit->selectAll();
        QTest::keyClick(dialog->windowHandle(), Qt::Key_Backspace);
        ASSERT_TRUE(dialog->DatumValueEdit->text().isEmpty());
        typeThroughWindow(dialog->DatumValueEdit, text);
    }
    // Presses the apply button and checks that every button stayed disabled
    // while the sequence ran.
    void apply()
    {
        bool allOff = true;
        int ticks = 0;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (!dialog->ProgressForm)
                return;
            ++ticks;
            for (QPushButton* b : {dialog->UpdateBtn, dialog->GCV_Btn, dialog->OkBtn, dialog->CancelBtn})
                allOff = allOff && !b->isEnabled();
        });
        watch.start(1);
        clickThroughWindow(dialog->UpdateBtn);
        watch.stop();
        EXPECT_TRUE(allOff) << "buttons stay disabled during the sequence";
        EXPECT_EQ(dialog->ProgressForm, nullptr);
        for (QPushButton* b : {dialog->UpdateBtn, dialog->GCV_Btn, dialog->OkBtn, dialog->CancelBtn})
            EXPECT_TRUE(b->isEnabled());
    }
    std::vector<int> commandCodes() const { return receivedCodes(sensor); }

    standin::Standin sensor;
    std::shared_ptr<standin::SensorModel> model = standin::installCommandSet(sensor);
    standin::FileTransfer transfer{sensor};
    std::shared_ptr<standin::Reference> reference = standin::followReference(sensor, model);
    std::unique_ptr<TSensor_Quarn> device;
    std::unique_ptr<TSetPressureReferenceForm> dialog;
    std::vector<std::string> shown;
};

TEST_F(DatumDialog, OpensOnTheModeTheStoredCoefficientsShow)
{
    struct Case {
        std::vector<float> coeffs;
        int mode;
        const char* button;
    };
    const Case cases[] = {
        {{0, 1, 0, 0, 0}, dmDepth, "Restore Default"},
        {{0.5f, 1, 0, 0, 0}, dmSurfaceLevel, "Apply Reference"},
        {{4, -1, 0, 0, 0}, dmTopOfCase, "Apply Reference"},
        {{0, -1, 0, 0, 0}, dmTopOfCase, "Apply Reference"},
        {{0, 2, 0, 0, 0}, dmDepth, "Restore Default"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        standin::SensorImages images = standin::defaultImages();
        setDatum(images.cal, ch::Depth, c.coeffs);
        hold(images);
        open();
        EXPECT_EQ(dialog->windowTitle(), "Custom Pressure Reference");
        EXPECT_EQ(dialog->RadioGroup1->ItemIndex(), c.mode);
        EXPECT_EQ(dialog->UpdateBtn->text(), c.button);
        EXPECT_EQ(dialog->DatumValueEdit->isVisible(), c.mode != dmDepth);
        EXPECT_EQ(dialog->DatumValueEdit->text(), c.mode == dmDepth ? "0" : "0.0");
        EXPECT_EQ(dialog->UnitLabel1->text(), "Metres");
        EXPECT_EQ(dialog->UnitLabel2->text(), "Metres");
        EXPECT_EQ(dialog->Image1->pixmap().size(), QSize(256, 256));
        EXPECT_TRUE(commandCodes().empty()) << "opening sends nothing";
    }
    // The help of each mode, line for line.
    chooseMode(dmSurfaceLevel);
    const QStringList surface = dialog->Memo1->toPlainText().split('\n');
    ASSERT_EQ(surface.size(), 5);
    EXPECT_EQ(surface[1], QStringLiteral("To set up once the sensor is installed. \u2013"));
    chooseMode(dmDepth);
    const QStringList depth = dialog->Memo1->toPlainText().split('\n');
    ASSERT_EQ(depth.size(), 6);
    EXPECT_EQ(depth[3], "1  Press the <Restore Default> button to remove any settings.  ");
    EXPECT_EQ(depth[5], " ");
    EXPECT_FALSE(dialog->DatumValueEdit->isVisible());
}

TEST_F(DatumDialog, EachModeSendsItsCoefficientsAndTheChannelThenReadsTheReference)
{
    struct Case {
        const char* name;
        int mode;
        const char* reference;
        std::vector<float> stored;
        double readsAfter;
    };
    // The sensor sits under 1.0 m of water.
    const Case cases[] = {
        {"surface level", dmSurfaceLevel, "2.5", {1.5f, 1, 0, 0, 0}, 2.5},
        {"top of case", dmTopOfCase, "3.0", {4.0f, -1, 0, 0, 0}, 3.0},
        {"restore default", dmDepth, "", {0, 1, 0, 0, 0}, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hold(standin::defaultImages()); // datum -0.35 as delivered
        open();
        chooseMode(c.mode);
        if (c.mode != dmDepth)
            typeReference(c.reference);
        apply();
        EXPECT_TRUE(shown.empty()) << shown.front();
        EXPECT_EQ(datumOf(sensor.images().cal, ch::Depth), c.stored);
        EXPECT_EQ(datumOf(device->CalData, ch::Depth), c.stored);
        // Two sendings of the image; a reading after the last.
        const std::vector<int> codes = commandCodes();
        EXPECT_EQ(std::count(codes.begin(), codes.end(), 7), c.mode == dmDepth ? 1 : 2);
        EXPECT_EQ(codes.back(), 18);
        EXPECT_NEAR(dialog->GCVEdit->text().toDouble(), c.readsAfter, 1e-5);
        EXPECT_FALSE(dialog->ApplyFailed);
        EXPECT_TRUE(dialog->Applied);
    }
}

TEST_F(DatumDialog, ReferenceAndReadingAreTakenInTheBaseUnit)
{
    // The depth shown in feet: the reference is typed in feet and the
    // coefficients are stored in metres.
    standin::SensorImages images = standin::defaultImages();
    CalChannelData& depth = images.cal.Channels[ch::Depth];
    depth.UnitsCode = ucFeet;
    SetImageText(depth.UnitsText, "Feet");
    const float feet = 3.2808399f;
    std::memcpy(&images.cal.CompensationTable[depth.CompensationNumbers[4]].Coeffs[1], &feet, sizeof feet);
    hold(images);
    open();
    EXPECT_EQ(dialog->UnitLabel1->text(), "Feet");
    chooseMode(dmSurfaceLevel);
    typeReference("8.2");
    apply();
    const double reading = static_cast<float>(1.0 * 3.2808399f) / 3.2808; // 1 m as the sensor shows it, back in m
    const float offset = static_cast<float>(8.2 / 3.2808 - reading);
    EXPECT_EQ(datumOf(sensor.images().cal, ch::Depth), std::vector<float>({offset, 1, 0, 0, 0}));
    EXPECT_NEAR(dialog->GCVEdit->text().toDouble(), 8.2, 1e-3);
}

TEST_F(DatumDialog, KeyFilterTakesDigitsAndOneDecimalPoint)
{
    hold(standin::defaultImages());
    open();
    chooseMode(dmTopOfCase);
    typeReference("1.2.3-a,4\r");
    EXPECT_EQ(dialog->DatumValueEdit->text(), "1.234");
    // Typed over the whole text, the point is the only one.
    QTest::keyClick(dialog->windowHandle(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(dialog->windowHandle(), '.');
    EXPECT_EQ(dialog->DatumValueEdit->text(), ".");
    EXPECT_TRUE(commandCodes().empty()) << "Enter applies nothing";
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(DatumDialog, PastedOrDroppedMinusNeverReachesTheDatum)
{
    hold(standin::defaultImages());
    open();
    chooseMode(dmSurfaceLevel);
    typeReference("");
    QApplication::clipboard()->setText("-3.5");
    QTest::keyClick(dialog->windowHandle(), Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(dialog->windowHandle(), Qt::Key_Insert, Qt::ShiftModifier);
    QMimeData data;
    data.setText("-3.5");
    QDropEvent drop(QPointF(4, 4), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(dialog->DatumValueEdit, &drop);
    EXPECT_EQ(dialog->DatumValueEdit->text(), "");

    // A number without a sign is pasted as typed and applied.
    QApplication::clipboard()->setText("2.5");
    QTest::keyClick(dialog->windowHandle(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(dialog->DatumValueEdit->text(), "2.5");
    apply();
    EXPECT_FLOAT_EQ(datumOf(device->CalData, ch::Depth)[0], 1.5f);
}

TEST_F(DatumDialog, BadInputSaysSoAndSendsNothingComputed)
{
    hold(standin::defaultImages());
    const std::vector<float> delivered = datumOf(sensor.images().cal, ch::Depth);
    open();
    chooseMode(dmSurfaceLevel);

    // A reference that is no number: nothing is sent, the buttons stay usable.
    for (const QString text : {"", "."}) {
        SCOPED_TRACE(text.toStdString());
        shown.clear();
        typeReference(text);
        clickThroughWindow(dialog->UpdateBtn);
        EXPECT_EQ(shown, std::vector<std::string>({"Please enter the reference value as a number, for example 2.5."}));
        EXPECT_TRUE(commandCodes().empty());
        EXPECT_TRUE(dialog->UpdateBtn->isEnabled());
        EXPECT_FALSE(dialog->Applied);
    }

    // No reading (the sensor reports -1e10): "Take reading" shows nothing,
    // and no datum is computed from it.
    reference->silence(ch::Depth);
    shown.clear();
    clickThroughWindow(dialog->GCV_Btn);
    EXPECT_EQ(shown, std::vector<std::string>({"No pressure reading was received from the sensor."}));
    EXPECT_TRUE(dialog->GCVEdit->text().isEmpty());
    EXPECT_EQ(dialog->Reading, -1e10);
    shown.clear();
    typeReference("2.5");
    apply();
    EXPECT_EQ(shown, std::vector<std::string>(
                         {"No pressure reading was received from the sensor. The datum was not changed."}));
    EXPECT_EQ(datumOf(sensor.images().cal, ch::Depth), std::vector<float>({0, 1, 0, 0, 0}))
        << "only the neutral datum of the reading went out";
    EXPECT_EQ(datumOf(device->CalData, ch::Depth), delivered) << "the image in memory is back as it was";
    EXPECT_TRUE(dialog->ApplyFailed);
    EXPECT_TRUE(dialog->Applied);
}

// A reference the datum's float cannot hold, as typed or in metres, is
// refused before anything is sent: both images stay as they were.
TEST_F(DatumDialog, ReferenceBeyondAFloatIsRefusedBeforeAnythingIsSent)
{
    struct Case {
        const char* name;
        int mode;
        uint8_t code;
        const char* unit;
        QString typed;
        QString message;
    };
    const QString huge = "1" + QString(39, QLatin1Char('0'));     // 1e39
    const QString bars = "34" + QString(37, QLatin1Char('0'));    // 3.4e38 Bar, 3.5e39 m
    const QString tooLarge = QStringLiteral("'%1' is too large a value");
    const Case cases[] = {
        {"surface level", dmSurfaceLevel, ucMetres, "Metres", huge, tooLarge.arg(huge)},
        {"top of case", dmTopOfCase, ucMetres, "Metres", huge, tooLarge.arg(huge)},
        {"surface level, in metres only", dmSurfaceLevel, ucBar, "Bar", bars, tooLarge.arg("3.4732757e+39")},
        {"top of case, in metres only", dmTopOfCase, ucBar, "Bar", bars, tooLarge.arg("3.4732757e+39")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        standin::SensorImages images = standin::defaultImages();
        images.cal.Channels[ch::Depth].UnitsCode = c.code;
        SetImageText(images.cal.Channels[ch::Depth].UnitsText, c.unit);
        hold(images);
        const standin::SensorImages before = sensor.images();
        open();
        chooseMode(c.mode);
        typeReference(c.typed);
        shown.clear();
        clickThroughWindow(dialog->UpdateBtn);
        EXPECT_EQ(shown, std::vector<std::string>({c.message.toStdString()}));
        EXPECT_TRUE(commandCodes().empty()) << "nothing is sent";
        EXPECT_TRUE(standin::imageBytes(device->CalData) == standin::imageBytes(before.cal));
        EXPECT_TRUE(standin::imageBytes(device->ConfData) == standin::imageBytes(before.conf));
        EXPECT_TRUE(standin::imageBytes(sensor.images().cal) == standin::imageBytes(before.cal));
        EXPECT_TRUE(standin::imageBytes(sensor.images().conf) == standin::imageBytes(before.conf));
        EXPECT_FALSE(dialog->Applied);
        EXPECT_FALSE(dialog->ApplyFailed);
        EXPECT_TRUE(dialog->UpdateBtn->isEnabled());
    }
}

// The offset is known only with the reading, taken under the neutral datum:
// one beyond a float is not written, and memory's image goes back.
TEST_F(DatumDialog, OffsetBeyondAFloatIsNoDatum)
{
    struct Case {
        const char* name;
        int mode;
        double water; // the reading, in metres
    };
    const Case cases[] = {
        {"top of case: reading plus reference", dmTopOfCase, 3e38},
        {"surface level: reference less reading", dmSurfaceLevel, -3e38},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hold(standin::defaultImages());
        const standin::SensorImages before = sensor.images();
        reference->place(ch::Depth, c.water);
        open();
        chooseMode(c.mode);
        typeReference("1" + QString(38, QLatin1Char('0')));
        shown.clear();
        apply();
        EXPECT_EQ(shown, std::vector<std::string>(
                             {"'4.00000001e+38' is too large a value. The datum was not changed."}));
        EXPECT_TRUE(standin::imageBytes(device->CalData) == standin::imageBytes(before.cal));
        EXPECT_EQ(datumOf(sensor.images().cal, ch::Depth), std::vector<float>({0, 1, 0, 0, 0}))
            << "only the neutral datum of the reading went out";
        const std::vector<int> codes = commandCodes();
        EXPECT_EQ(std::count(codes.begin(), codes.end(), 7), 1);
        EXPECT_TRUE(dialog->ApplyFailed);
    }
}

TEST_F(DatumDialog, ChannelWithoutALiveValueIsRefusedBeforeAnythingIsSent)
{
    standin::SensorImages images = standin::defaultImages();
    // The pressure channel is not among the monitor channels.
    ScheduleSetupData& monitor = images.conf.Schedules[MonitorScheduleRecord];
    monitor.ChannelCount = 2;
    hold(images);
    open("Pressure");
    chooseMode(dmTopOfCase);
    typeReference("3");
    clickThroughWindow(dialog->UpdateBtn);
    EXPECT_EQ(shown, std::vector<std::string>({"The sensor reports no reading of Pressure: it is not among the monitor "
                                                "channels of the sensor set-up. The datum was not changed."}));
    EXPECT_TRUE(commandCodes().empty());
    EXPECT_FALSE(dialog->Applied);
}

TEST_F(DatumDialog, ImageTheSensorRefusesIsPutBackAndSaidSo)
{
    hold(standin::defaultImages());
    const CalibrationData before = device->CalData;
    open();
    chooseMode(dmSurfaceLevel);
    typeReference("2.5");
    model->update([](standin::SensorState& s) { s.refuse[standin::cmd::PutCalibration] = 0x85; });
    apply();
    EXPECT_EQ(shown, std::vector<std::string>({"Failed to update sensor, Please check sensor connectivity."}));
    EXPECT_TRUE(sameImage(device->CalData, before));
    EXPECT_TRUE(sameImage(sensor.images().cal, before));
    EXPECT_TRUE(dialog->ApplyFailed);
    const std::vector<int> codes = commandCodes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 18), 0) << "no reading after a refusal";
}

// --- as the Calibration page opens it ------------------------------------------

class DatumFromCalibrationPage : public OperationsFixture {
protected:
    void SetUp() override
    {
        OperationsFixture::SetUp();
        reference->place(ch::Depth, 1.0);
        connect();
        chooseDatumOnCalibrationPage();
        ASSERT_EQ(form->CalibrationTypeRadioGroup->ItemIndex(), ctSetDatumReferences);
        saved = sensor.images();
    }
    // Opens the Calibration page and chooses the depth channel's datum, as
    // the user does.
    void chooseDatumOnCalibrationPage()
    {
        press(form->UserCalibrationBtn);
        QLineEdit* edit = form->ChannelNameBox->lineEdit();
        edit->selectAll();
        typeThroughWindow(edit, "Depth");
        QRadioButton* b = form->CalibrationTypeRadioGroup->Button(ctSetDatumReferences);
        ASSERT_NE(b, nullptr);
        QApplication::processEvents();
        clickThroughWindow(b, QPoint(8, b->height() / 2));
    }
    // Starts "Set Datum References"; `inDialog` acts in the dialog, which
    // must then be ended by one of its buttons.
    void runDatum(std::function<void(TSetPressureReferenceForm*)> inDialog)
    {
        bool mainHidden = false;
        WhenModal<TSetPressureReferenceForm> act([&](TSetPressureReferenceForm* d) {
            mainHidden = !form->isVisible();
            d->window()->activateWindow();
            inDialog(d);
            afterDialog = sensor.requestCount();
        });
        mark();
        pressThroughWindow(form->UcStartCalibrationBtn);
        EXPECT_EQ(act.count, 1);
        EXPECT_TRUE(mainHidden) << "the main window is hidden while the dialog is up";
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(form->ActivePage(), form->Status);
        EXPECT_TRUE(form->StatusBtn->isEnabled()) << "the bar is back to normal";
    }
    static void applyReference(TSetPressureReferenceForm* d, int mode, const char* value)
    {
        QRadioButton* b = d->RadioGroup1->Button(mode);
        clickThroughWindow(b, QPoint(8, b->height() / 2));
        d->DatumValueEdit->selectAll();
        typeThroughWindow(d->DatumValueEdit, value);
        clickThroughWindow(d->UpdateBtn);
    }
    // Command codes the stand-in received after the dialog ended.
    std::vector<int> codesAfterDialog() const { return receivedCodes(sensor, afterDialog); }

    standin::SensorImages saved;
    size_t afterDialog = 0;
};

TEST_F(DatumFromCalibrationPage, CommitKeepsWhatWasSent)
{
    runDatum([](TSetPressureReferenceForm* d) {
        applyReference(d, dmSurfaceLevel, "2.5");
        clickThroughWindow(d->OkBtn);
    });
    EXPECT_EQ(messages(), std::vector<std::string>({"Sensor channel calibration completed successfully."}));
    EXPECT_TRUE(codesAfterDialog().empty()) << "nothing more is sent";
    EXPECT_EQ(datumOf(sensor.images().cal, ch::Depth), std::vector<float>({1.5f, 1, 0, 0, 0}));
    EXPECT_EQ(datumOf(form->Sensor->CalData, ch::Depth), std::vector<float>({1.5f, 1, 0, 0, 0}));
    EXPECT_TRUE(sameImage(sensor.images().conf, saved.conf));
}

TEST_F(DatumFromCalibrationPage, CommitWithoutApplySendsNothing)
{
    runDatum([](TSetPressureReferenceForm* d) { clickThroughWindow(d->OkBtn); });
    EXPECT_EQ(messages(), std::vector<std::string>({"Sensor channel calibration completed successfully."}));
    EXPECT_EQ(commandCodes(), std::vector<int>({0, 19})) << "only the guard's status check";
    EXPECT_TRUE(sameImage(form->Sensor->CalData, saved.cal));
}

TEST_F(DatumFromCalibrationPage, CancelSendsTheSavedImageOnceAndNothingElse)
{
    struct Case {
        const char* name;
        bool apply;
    };
    for (const Case c : {Case{"after an apply", true}, Case{"without an apply", false}}) {
        SCOPED_TRACE(c.name);
        shown.clear();
        runDatum([&](TSetPressureReferenceForm* d) {
            if (c.apply)
                applyReference(d, dmTopOfCase, "3.0");
            clickThroughWindow(d->CancelBtn);
        });
        EXPECT_EQ(messages(), std::vector<std::string>({"Sensor channel calibration failed or was canceled by the "
                                                        "user."}));
        EXPECT_EQ(codesAfterDialog(), std::vector<int>({0, 7}));
        EXPECT_EQ(datumOf(sensor.images().cal, ch::Depth), datumOf(saved.cal, ch::Depth));
        EXPECT_TRUE(sameImage(sensor.images().cal, saved.cal));
        EXPECT_TRUE(sameImage(form->Sensor->CalData, saved.cal));
        EXPECT_TRUE(sameImage(form->Sensor->ConfData, saved.conf));
        chooseDatumOnCalibrationPage();
    }
}

TEST_F(DatumFromCalibrationPage, RefusedChangeLeavesBothImagesAsSavedAndSaysSo)
{
    // The first sending of the apply goes through, the second is refused.
    model->update([](standin::SensorState& s) { s.refuseAfter[standin::cmd::PutCalibration] = {1, 0x85}; });
    runDatum([&](TSetPressureReferenceForm* d) {
        applyReference(d, dmSurfaceLevel, "2.5");
        model->update([](standin::SensorState& s) { s.refuseAfter.clear(); });
        clickThroughWindow(d->OkBtn);
    });
    EXPECT_EQ(messages(), std::vector<std::string>({"Failed to update sensor, Please check sensor connectivity.",
                                                    "Sensor channel calibration failed or was canceled by the user."}));
    // The saved image went back to the sensor, which had the neutral datum.
    EXPECT_EQ(codesAfterDialog(), std::vector<int>({0, 7}));
    EXPECT_TRUE(sameImage(sensor.images().cal, saved.cal));
    EXPECT_TRUE(sameImage(form->Sensor->CalData, saved.cal));
    EXPECT_TRUE(sameImage(form->Sensor->ConfData, saved.conf));
}

} // namespace

namespace {

// Sending the saved image back after "Cancel" is refused: memory keeps,
// byte for byte, the image the stand-in last took, and the user is told.
TEST_F(DatumFromCalibrationPage, CancelWhoseResendingIsRefusedKeepsWhatTheSensorHolds)
{
    struct Case {
        const char* name;
        std::function<void()> beforeApply;
        std::vector<float> sensorDatum;
        std::vector<std::string> messages; // the apply's, then the page's
    };
    const std::string kept = "Failed to update sensor, Please check sensor connectivity. The sensor keeps the datum "
                             "it was last sent.";
    const std::string failed = "Sensor channel calibration failed or was canceled by the user.";
    const Case cases[] = {
        {"after an apply", [] {}, {4.0f, -1, 0, 0, 0}, {kept, failed}},
        // The neutral datum went out for the reading, which never came.
        {"after an apply without a reading",
         [this] { reference->silence(ch::Depth); },
         {0, 1, 0, 0, 0},
         {"No pressure reading was received from the sensor. The datum was not changed.", kept, failed}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sensor.setImages(saved);
        form->Sensor->CalData = saved.cal;
        reference->silence(ch::Depth, false);
        reference->place(ch::Depth, 1.0);
        model->update([](standin::SensorState& s) { s.refuse.clear(); });
        shown.clear();
        runDatum([&](TSetPressureReferenceForm* d) {
            c.beforeApply();
            applyReference(d, dmTopOfCase, "3.0");
            model->update([](standin::SensorState& s) { s.refuse[standin::cmd::PutCalibration] = 0x85; });
            clickThroughWindow(d->CancelBtn);
        });
        EXPECT_EQ(messages(), c.messages);
        EXPECT_EQ(codesAfterDialog(), std::vector<int>({0, 7}));
        EXPECT_EQ(datumOf(sensor.images().cal, ch::Depth), c.sensorDatum);
        EXPECT_TRUE(standin::imageBytes(form->Sensor->CalData) == standin::imageBytes(sensor.images().cal));
        EXPECT_TRUE(standin::imageBytes(form->Sensor->ConfData) == standin::imageBytes(sensor.images().conf));
        // Back to the page for the next case.
        chooseDatumOnCalibrationPage();
    }
}

} // namespace
