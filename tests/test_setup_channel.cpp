// The set-up dialog's channel page and the sensor name: each edit made
// through the controls changes exactly the image bytes it should, refused
// values change none and say why, and renaming keeps the page on its
// channel.
#include "SetupDialogFixture.h"

#include "CSpin.h"
#include "ExtCtrls.h"
#include "StringQueryForm.h"
#include "Unitsconversion.h"

#include <QAction>
#include <QClipboard>
#include <QCheckBox>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <cmath>
#include <string>

namespace {

namespace ch = standin::channels;

using Images = standin::SensorImages;

void setCoeff(CalibrationData& cal, int channel, int role, int index, float value)
{
    cal.CompensationTable[cal.Channels[channel].CompensationNumbers[role]].Coeffs[index] = value;
}

constexpr int Factor = 0, Gravity = 2, UnitsRecord = 4;

// The stand-in's sonde with other units on some channels, so that every
// family page has a channel: Cond measures dissolved solids, Salinity
// suspended solids, ODO sat dissolved oxygen in ppm.
Images familyImages()
{
    Images im = standin::defaultImages();
    auto unit = [&](int c, uint8_t code, const char* text) {
        im.cal.Channels[c].UnitsCode = code;
        SetImageText(im.cal.Channels[c].UnitsText, text);
    };
    unit(ch::Cond, ucTdsMgL, "mg/l");
    unit(ch::Salinity, ucTssMgL, "mg/l");
    unit(ch::OdoSat, ucDoPpm, "DO ppm");
    setCoeff(im.cal, ch::Cond, Factor, 1, 0.7f);
    setCoeff(im.cal, ch::Salinity, Factor, 1, 1.5f);
    setCoeff(im.cal, ch::OdoSat, Factor, 0, 0.98f);
    setCoeff(im.cal, ch::OdoMgL, Factor, 0, 0.97f);
    setCoeff(im.cal, ch::OdoMgL, Factor, 1, 4.5f);
    setCoeff(im.cal, ch::Depth, Gravity, 1, 0.8f);
    return im;
}

// The stand-in's sonde rearranged as the logger numbers its batteries:
// record 0 the external battery, record 1 the internal one (disabled), and
// the temperature channel moved to record 12 with every reference to it.
Images batteryImages()
{
    Images im = standin::defaultImages();
    const uint8_t from = ch::Temperature, to = ch::Count;
    const auto remap = [&](uint8_t& c) {
        if (c == from)
            c = to;
    };
    im.cal.Channels[to] = im.cal.Channels[from];
    im.conf.ChannelSetup[to] = im.conf.ChannelSetup[from];
    im.cal.ChannelCount = ch::Count + 1;
    for (CalChannelData& c : im.cal.Channels)
        remap(c.SourceChannel);
    for (int n = 1; n <= im.cal.CompensationCount; ++n)
        for (uint8_t& c : im.cal.CompensationTable[n].InputChannels)
            remap(c);
    for (ScheduleSetupData& s : im.conf.Schedules)
        for (int i = 0; i < s.ChannelCount && i < 25; ++i)
            remap(s.Channels[i]);
    for (TriggerSetupData& t : im.conf.Triggers)
        remap(t.Channel);

    CalChannelData& internal = im.cal.Channels[1];
    internal = im.cal.Channels[0];
    internal.Enabled = 0;
    const int first = im.cal.CompensationCount + 1;
    im.cal.CompensationCount += 5;
    for (int role = 0; role < 5; ++role) {
        internal.CompensationNumbers[role] = static_cast<uint8_t>(first + role);
        im.cal.CompensationTable[first + role] = im.cal.CompensationTable[im.cal.Channels[0].CompensationNumbers[role]];
    }
    SetImageText(im.cal.Channels[0].Name, "Ext Batt");
    SetImageText(internal.Name, "Int Batt");
    standin::setImageCrc(im.cal);
    standin::setImageCrc(im.conf);
    return im;
}

class SetupChannel : public SetupDialogFixture {
protected:
    static void press(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    static void retypeSpin(TCSpinEdit* spin, const QString& text) { retype(spin, text, int(spin->Text().size())); }

    // Runs `act` on the modal query once it is open.
    void onQuery(std::function<void(TStringQuery*)> act)
    {
        auto* poll = new QTimer(form.get());
        poll->setInterval(10);
        QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
            auto* query = qobject_cast<TStringQuery*>(QApplication::activeModalWidget());
            if (!query || !query->isVisible())
                return;
            poll->stop();
            poll->deleteLater();
            act(query);
        });
        poll->start();
    }
    static std::function<void(TStringQuery*)> typeAndOk(const QString& name)
    {
        return [name](TStringQuery* q) {
            QTest::keyClicks(q->Edit, name);
            QTest::mouseClick(q->OkBtn, Qt::LeftButton);
        };
    }

    // "RenameChannel" from the tree's menu, as the user picks it.
    void renameFromMenu()
    {
        QTreeWidgetItem* selected = form->Treeview->Selected();
        const QPoint at = form->Treeview->visualItemRect(selected).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, form->Treeview->viewport()->mapToGlobal(at));
        QApplication::sendEvent(form->Treeview->viewport(), &event);
        QMenu* menu = form->TreeViewPopupMenu;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
        ASSERT_TRUE(form->RenameChannel->isVisible());
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(form->RenameChannel).center());
        QApplication::processEvents();
    }
};

TEST_F(SetupChannel, EachFamilyShowsItsPageAndValues)
{
    setImages(familyImages());
    open();
    struct Case {
        const char* channel;
        QWidget* TSensorSetupForm::*page; // nullptr: no family page
        std::function<void(TSensorSetupForm*)> check;
    };
    const Case cases[] = {
        {"Battery", &TSensorSetupForm::BatteryTab,
         [](TSensorSetupForm* f) { EXPECT_EQ(f->Chan_BatteryRadioGroup->ItemIndex(), 1); }},
        {"Temperature", nullptr, {}},
        {"pH", nullptr, {}},
        {"Pressure", &TSensorSetupForm::PressureTab,
         [](TSensorSetupForm* f) {
             EXPECT_FALSE(f->DensityCheckBox->isChecked());
             EXPECT_FALSE(f->DensityConversionEdit->isVisible());
             EXPECT_EQ(f->DensityConversionEdit->text(), "1.0");
         }},
        {"Depth", &TSensorSetupForm::PressureTab,
         [](TSensorSetupForm* f) {
             EXPECT_TRUE(f->DensityCheckBox->isChecked());
             EXPECT_TRUE(f->DensityConversionEdit->isVisible());
             EXPECT_TRUE(f->DensityConversionDefaulBtn->isVisible());
             EXPECT_EQ(f->DensityConversionEdit->text(), "1.25");
         }},
        {"ODO mg/l", &TSensorSetupForm::DOmglTab,
         [](TSensorSetupForm* f) {
             EXPECT_EQ(f->DO_MGL_BPEdit->text(), "0.97");
             EXPECT_EQ(f->DO_MGL_ECEdit->text(), "4.5");
         }},
        {"ODO sat", &TSensorSetupForm::DOppmTab,
         [](TSensorSetupForm* f) { EXPECT_EQ(f->DO_PPM_BPEdit->text(), "0.98"); }},
        {"Cond", &TSensorSetupForm::TDSTab,
         [](TSensorSetupForm* f) { EXPECT_EQ(f->TDS_ConversionFactor->text(), "0.7"); }},
        {"Salinity", &TSensorSetupForm::TSSTab,
         [](TSensorSetupForm* f) { EXPECT_EQ(f->TSS_ConversionFactor->text(), "1.5"); }},
        {"Turbidity", &TSensorSetupForm::TurbidityTab,
         [](TSensorSetupForm* f) {
             EXPECT_TRUE(f->Chan_Turbidity_WipeIntervalGB->isChecked());
             EXPECT_EQ(f->Chan_TurbidityEditBox->Text(), "15");
             EXPECT_EQ(f->Chan_TurbidityEditBox->MaxValue(), 1440);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channel);
        click({"Channels", c.channel});
        EXPECT_EQ(form->Chan_ChanNameEdfit->text(), c.channel);
        if (!c.page) {
            EXPECT_FALSE(form->ChannelsPageControl->isVisible());
            continue;
        }
        ASSERT_TRUE(form->ChannelsPageControl->isVisible());
        EXPECT_EQ(form->ChannelsPageControl->currentWidget(), form.get()->*c.page);
        c.check(form.get());
    }
    expectImages();
}

TEST_F(SetupChannel, ShowsTheChannelsSettings)
{
    auto images = standin::defaultImages();
    images.cal.Channels[ch::Cond].UnitsCode = ucMSCm;
    SetImageText(images.cal.Channels[ch::Cond].UnitsText, "mS/cm");
    images.conf.WipeScans = 40;
    setImages(images);
    open();

    click({"Channels", "Depth"});
    EXPECT_EQ(form->Chan_UnitNameEdit->text(), "Metres");
    EXPECT_EQ(form->Chan_PresisionEdit->Text(), "3");
    EXPECT_TRUE(form->Chan_DataVariationCheckBox->isChecked());
    EXPECT_TRUE(form->Chan_DataVariationValueEdit->isVisible());
    EXPECT_EQ(form->Chan_DataVariationValueEdit->text(), "0.05");
    EXPECT_EQ(form->Chan_UnitTypeComboBox->count(), 14);
    EXPECT_EQ(form->Chan_UnitTypeComboBox->currentText(), "Metres");

    click({"Channels", "Pressure"});
    EXPECT_EQ(form->Chan_UnitTypeComboBox->currentText(), "mBar");
    EXPECT_FALSE(form->Chan_DataVariationValueEdit->isVisible());

    // "mS/cm" stands after the base unit's "uS/cm": the list shows no item.
    click({"Channels", "Cond"});
    EXPECT_EQ(form->Chan_UnitTypeComboBox->count(), 2);
    EXPECT_EQ(form->Chan_UnitTypeComboBox->currentIndex(), -1);
    EXPECT_EQ(form->Chan_UnitNameEdit->text(), "mS/cm");

    click({"Channels", "Salinity"});
    EXPECT_EQ(form->Chan_UnitTypeComboBox->count(), 5);
    EXPECT_EQ(form->Chan_UnitTypeComboBox->currentText(), "psu");

    click({"Channels", "Turbidity"});
    EXPECT_TRUE(form->Chan_Turbidity_WipeCountGB->isChecked());
    EXPECT_EQ(form->Chan_TurbidityEditBox->MaxValue(), 65500);
    EXPECT_EQ(form->Chan_TurbidityEditBox->Text(), "40");
    expectImages();
}

// Edits through the controls, each on a freshly opened dialog, and the image
// bytes they change.
TEST_F(SetupChannel, EditsLandInTheirBytes)
{
    struct Case {
        const char* name;
        const char* channel;
        std::function<void(TSensorSetupForm*)> act;
        std::function<void(ConfigurationData&, CalibrationData&)> expect;
        QStringList messages = {};
    };
    const Case cases[] = {
        {"precision", "Depth", [](TSensorSetupForm* f) { replace(f->Chan_PresisionEdit, "5"); },
         [](ConfigurationData& c, CalibrationData&) { c.ChannelSetup[ch::Depth].Precision = 5; }},
        {"precision up arrow", "Cond",
         [](TSensorSetupForm* f) {
             f->Chan_PresisionEdit->setFocus();
             QTest::keyClick(f->Chan_PresisionEdit, Qt::Key_Up);
         },
         [](ConfigurationData& c, CalibrationData&) { c.ChannelSetup[ch::Cond].Precision = 1; }},
        {"data variation on", "Temperature", [](TSensorSetupForm* f) { tick(f->Chan_DataVariationCheckBox); },
         [](ConfigurationData& c, CalibrationData&) { c.ChannelSetup[ch::Temperature].DataVariationEnabled = 1; }},
        {"data variation off", "Depth", [](TSensorSetupForm* f) { tick(f->Chan_DataVariationCheckBox); },
         [](ConfigurationData& c, CalibrationData&) {
             c.ChannelSetup[ch::Depth].DataVariationEnabled = 0;
             c.ChannelSetup[ch::Depth].DataVariationValue = 0.0f;
         }},
        {"data variation value", "Depth",
         [](TSensorSetupForm* f) { replace(f->Chan_DataVariationValueEdit, "0.25"); },
         [](ConfigurationData& c, CalibrationData&) { c.ChannelSetup[ch::Depth].DataVariationValue = 0.25f; }},
        {"specific gravity 1.25", "Pressure",
         [](TSensorSetupForm* f) {
             tick(f->DensityCheckBox);
             EXPECT_TRUE(f->DensityConversionEdit->isVisible());
             replace(f->DensityConversionEdit, "1.25");
         },
         [](ConfigurationData&, CalibrationData& c) { setCoeff(c, ch::Pressure, Gravity, 1, 0.8f); }},
        {"specific gravity 0 stores nothing", "Depth",
         [](TSensorSetupForm* f) { replace(f->DensityConversionEdit, "0"); },
         [](ConfigurationData&, CalibrationData&) {}},
        // Its reciprocal, which the record holds, would be 1e41.
        {"specific gravity too small for a float", "Depth",
         [](TSensorSetupForm* f) { replace(f->DensityConversionEdit, "0." + QString(40, QLatin1Char('0')) + "1"); },
         [](ConfigurationData&, CalibrationData&) {}, {"'1e+41' is too large a value"}},
        {"specific gravity whose reciprocal just fits", "Depth",
         [](TSensorSetupForm* f) { replace(f->DensityConversionEdit, "0." + QString(38, QLatin1Char('0')) + "3"); },
         [](ConfigurationData&, CalibrationData& c) { setCoeff(c, ch::Depth, Gravity, 1, float(1.0 / 3e-39)); }},
        {"specific gravity typed key by key", "Depth",
         [](TSensorSetupForm* f) { retype(f->DensityConversionEdit, "2"); },
         // "1.2", "1." and "1" are stored on the way; the empty edit is not.
         [](ConfigurationData&, CalibrationData& c) { setCoeff(c, ch::Depth, Gravity, 1, 0.5f); }},
        {"specific gravity unchecked", "Depth", [](TSensorSetupForm* f) { tick(f->DensityCheckBox); },
         [](ConfigurationData&, CalibrationData& c) { setCoeff(c, ch::Depth, Gravity, 1, 1.0f); }},
        {"specific gravity default", "Depth", [](TSensorSetupForm* f) { press(f->DensityConversionDefaulBtn); },
         [](ConfigurationData&, CalibrationData& c) { setCoeff(c, ch::Depth, Gravity, 1, 1.0f); }},
        {"DO mg/l salinity", "ODO mg/l", [](TSensorSetupForm* f) { replace(f->DO_MGL_ECEdit, "3.5"); },
         [](ConfigurationData&, CalibrationData& c) { setCoeff(c, ch::OdoMgL, Factor, 1, 3.5f); }},
        {"DO mg/l pressure", "ODO mg/l", [](TSensorSetupForm* f) { replace(f->DO_MGL_BPEdit, "0.9"); },
         [](ConfigurationData&, CalibrationData& c) { setCoeff(c, ch::OdoMgL, Factor, 0, 0.9f); }},
        {"DO mg/l defaults", "ODO mg/l",
         [](TSensorSetupForm* f) {
             press(f->Button2);
             press(f->Button3);
         },
         [](ConfigurationData&, CalibrationData& c) {
             setCoeff(c, ch::OdoMgL, Factor, 0, 1.0f);
             setCoeff(c, ch::OdoMgL, Factor, 1, 5.0f);
         }},
        {"DO ppm pressure", "ODO sat", [](TSensorSetupForm* f) { replace(f->DO_PPM_BPEdit, "1.02"); },
         [](ConfigurationData&, CalibrationData& c) { setCoeff(c, ch::OdoSat, Factor, 0, 1.02f); }},
        {"DO ppm default", "ODO sat", [](TSensorSetupForm* f) { press(f->DO_PPM_BAromatricPressureDefaultBtn); },
         [](ConfigurationData&, CalibrationData& c) { setCoeff(c, ch::OdoSat, Factor, 0, 1.0f); }},
        {"TDS factor", "Cond", [](TSensorSetupForm* f) { replace(f->TDS_ConversionFactor, "0.65"); },
         [](ConfigurationData&, CalibrationData& c) { setCoeff(c, ch::Cond, Factor, 1, 0.65f); }},
        {"TDS default", "Cond", [](TSensorSetupForm* f) { press(f->TDS_Btn); },
         [](ConfigurationData&, CalibrationData& c) { setCoeff(c, ch::Cond, Factor, 1, 0.666667f); }},
        {"TSS factor", "Salinity", [](TSensorSetupForm* f) { replace(f->TSS_ConversionFactor, "2.5"); },
         [](ConfigurationData&, CalibrationData& c) { setCoeff(c, ch::Salinity, Factor, 1, 2.5f); }},
        {"TSS default", "Salinity", [](TSensorSetupForm* f) { press(f->TSS_DefaultBtn); },
         [](ConfigurationData&, CalibrationData& c) { setCoeff(c, ch::Salinity, Factor, 1, 1.0f); }},
        {"unit name", "Depth", [](TSensorSetupForm* f) { replace(f->Chan_UnitNameEdit, "m_H2O/x"); },
         [](ConfigurationData&, CalibrationData& c) { SetImageText(c.Channels[ch::Depth].UnitsText, "m_H2Ox"); }},
        {"unit name emptied", "Depth", [](TSensorSetupForm* f) { replace(f->Chan_UnitNameEdit, ""); },
         [](ConfigurationData&, CalibrationData& c) { SetImageText(c.Channels[ch::Depth].UnitsText, ""); }},
        {"unit name: Enter stores nothing more", "Depth",
         [](TSensorSetupForm* f) {
             QTest::keyClick(f->Chan_UnitNameEdit, Qt::Key_Return);
             EXPECT_FALSE(f->Chan_UnitNameEdit->hasFocus());
         },
         [](ConfigurationData&, CalibrationData&) {}},
        {"precision beyond 6", "Depth", [](TSensorSetupForm* f) { replace(f->Chan_PresisionEdit, "9"); },
         [](ConfigurationData&, CalibrationData&) {}, {"Channel precision must be a whole number from 0 to 6."}},
        {"a lone point", "Depth", [](TSensorSetupForm* f) {
             // With a point in the text the filter drops another: erase first.
             replace(f->Chan_DataVariationValueEdit, "");
             QTest::keyClicks(f->Chan_DataVariationValueEdit, ".");
         },
         [](ConfigurationData&, CalibrationData&) {}, {"'.' is not a valid floating point value"}},
        {"a factor beyond a float", "Cond",
         [](TSensorSetupForm* f) { replace(f->TDS_ConversionFactor, QString(40, QLatin1Char('9'))); },
         [](ConfigurationData&, CalibrationData& c) {
             setCoeff(c, ch::Cond, Factor, 1, float(std::stod(std::string(38, '9'))));
         },
         {"'" + QString(39, QLatin1Char('9')) + "' is too large a value",
          "'" + QString(40, QLatin1Char('9')) + "' is too large a value"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form.reset();
        messages.clear();
        setImages(familyImages());
        open();
        click({"Channels", c.channel});
        c.act(form.get());
        c.expect(conf, cal);
        expectImages();
        EXPECT_EQ(messages, c.messages);
    }
}

TEST_F(SetupChannel, RefusedNumbersShowTheStoredValueAgain)
{
    open();
    click({"Channels", "Depth"});
    retypeSpin(form->Chan_PresisionEdit, "7");
    EXPECT_EQ(form->Chan_PresisionEdit->Text(), "3");
    click({"Channels", "Turbidity"});
    // Typed key by key: 200 is stored on the way, 2000 is refused.
    retypeSpin(form->Chan_TurbidityEditBox, "2000");
    EXPECT_EQ(form->Chan_TurbidityEditBox->Text(), "200");
    conf.WipeMinutes = 200;
    EXPECT_EQ(messages, QStringList({"Channel precision must be a whole number from 0 to 6.",
                                     "The wipe interval must be a whole number of minutes from 0 to 1440."}));
    expectImages();
}

TEST_F(SetupChannel, WipeSettingsKeepTheirLimits)
{
    struct Case {
        const char* name;
        QRadioButton* TSensorSetupForm::*radio; // clicked first, unless nullptr
        QString typed;
        uint16_t scans, minutes;
        int maximum;
        bool refused;
    };
    const Case cases[] = {
        {"minutes as they are", nullptr, "60", 0, 60, 1440, false},
        {"a day of minutes", nullptr, "1440", 0, 1440, 1440, false},
        // Typed key by key: "1", "14" and "144" are stored on the way.
        {"more than a day", nullptr, "1441", 0, 144, 1440, true},
        {"0 switches cleaning off", nullptr, "0", 0, 0, 1440, false},
        {"scans", &TSensorSetupForm::Chan_Turbidity_WipeCountGB, "300", 300, 0, 65500, false},
        {"most scans", &TSensorSetupForm::Chan_Turbidity_WipeCountGB, "65500", 65500, 0, 65500, false},
        {"too many scans", &TSensorSetupForm::Chan_Turbidity_WipeCountGB, "65536", 6553, 0, 65500, true},
        {"back to minutes", &TSensorSetupForm::Chan_Turbidity_WipeIntervalGB, "", 0, 15, 1440, false},
        // From "9999" on every key is refused and "999" shown again.
        {"a number past 32 bits", nullptr, "99999999999", 0, 999, 1440, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form.reset();
        messages.clear();
        setImages(standin::defaultImages());
        if (c.radio == &TSensorSetupForm::Chan_Turbidity_WipeIntervalGB) {
            Images im = standin::defaultImages();
            im.conf.WipeScans = 25;
            im.conf.WipeMinutes = 15;
            setImages(im);
        }
        open();
        click({"Channels", "Turbidity"});
        if (c.radio) {
            tick(form.get()->*c.radio);
            EXPECT_TRUE((form.get()->*c.radio)->isChecked());
            EXPECT_EQ(form->Chan_TurbidityEditBox->Text(), "0");
        }
        if (!c.typed.isEmpty())
            retypeSpin(form->Chan_TurbidityEditBox, c.typed);
        EXPECT_EQ(form->Chan_TurbidityEditBox->MaxValue(), c.maximum);
        EXPECT_EQ(device->ConfData.WipeScans, c.scans);
        EXPECT_EQ(device->ConfData.WipeMinutes, c.radio ? 0 : c.minutes);
        conf.WipeScans = c.scans;
        conf.WipeMinutes = c.radio ? 0 : c.minutes;
        expectImages();
        EXPECT_EQ(messages.isEmpty(), !c.refused);
    }
}

TEST_F(SetupChannel, UnitChangeConvertsTheVariationAndWritesTheUnitsCoefficients)
{
    struct Case {
        const char* name;
        int channel;
        QString unit;
        bool variation;    // data variation enabled first, at `value`
        QString value;
        uint8_t code;
        bool coefficients; // the units record takes the new unit's
        float offset, scale;
        double variationAfter; // before it is shown and read back
    };
    // The converted value as the edit shows it, and stores it.
    const auto shown = [](double v) { return float(QString::number(v, 'f', 9).toDouble()); };
    const Case cases[] = {
        {"metres to feet", ch::Depth, "Feet", true, "0.05", 1, true, 0, 3.2808399f, FromBaseUnit(0.05, 1)},
        {"metres to mBar", ch::Depth, "mBar", true, "0.05", 5, true, 0, 97.8903f, FromBaseUnit(0.05, 5)},
        {"mBar to psi", ch::Pressure, "psi", true, "10", 7, true, 0, 1.41978f, FromBaseUnit(ToBaseUnit(10, 5), 7)},
        {"Celsius to Fahrenheit", ch::Temperature, "Fahrenheit", true, "2", 21, true, 32, 1.8f, 35.6},
        {"Celsius to Kelvin: no coefficients", ch::Temperature, "Kelvin", false, "", 22, false, 0, 0, 0},
        {"uS/cm to mS/cm: no coefficients", ch::Cond, "mS/cm", true, "100", 52, false, 0, 0, 0.1f},
        {"psu to mg/l is suspended solids", ch::Salinity, "mg/l", false, "", 46, false, 0, 0, 0},
        {"psu to ppm is suspended solids", ch::Salinity, "ppm", false, "", 47, false, 0, 0, 0},
        {"psu to ppt", ch::Salinity, "ppt", false, "", 63, true, 0, 1, 0},
        {"psu to SA ul: no coefficients", ch::Salinity, "SA ul", false, "", 67, false, 0, 0, 0},
        {"Volts to mV", ch::Battery, "mV", false, "", 29, true, 0, 1000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form.reset();
        messages.clear();
        setImages(standin::defaultImages());
        open();
        const QString name = QString::fromLatin1(ImageText(cal.Channels[c.channel].Name).c_str());
        click({"Channels", name});
        if (c.variation) {
            if (!form->Chan_DataVariationCheckBox->isChecked())
                tick(form->Chan_DataVariationCheckBox);
            replace(form->Chan_DataVariationValueEdit, c.value);
        }
        messages.clear();
        ConfigurationData& s = conf;
        s = device->ConfData;

        choose(form->Chan_UnitTypeComboBox, c.unit);

        cal.Channels[c.channel].UnitsCode = c.code;
        SetImageText(cal.Channels[c.channel].UnitsText, c.unit.toStdString());
        if (c.coefficients) {
            setCoeff(cal, c.channel, UnitsRecord, 0, c.offset);
            setCoeff(cal, c.channel, UnitsRecord, 1, c.scale);
        }
        if (c.variation) {
            s.ChannelSetup[c.channel].DataVariationValue = shown(c.variationAfter);
            EXPECT_EQ(messages, QStringList({"The value for Data Variation has been updated. Please verify "
                                             "calculated value is suitable."}));
        } else {
            EXPECT_TRUE(messages.isEmpty());
        }
        EXPECT_EQ(form->Chan_UnitNameEdit->text(), c.unit);
        expectImages();
    }
}

// A variation that cannot be read, or that the base unit or the new unit
// takes past a float, refuses the change of unit: nothing of the unit changes.
TEST_F(SetupChannel, UnitChangeWithAnUnusableVariationChangesNothing)
{
    struct Case {
        const char* name;
        uint8_t code; // the depth channel's unit before the change
        QString text;
        QString variation;
        float stored; // the variation the image holds then
        QString unit;
        QString message;
    };
    const QString large = "3" + QString(38, QLatin1Char('0')); // 3e38, just inside a float
    const QString bars = "1" + QString(38, QLatin1Char('0'));  // 1e38 Bar, 1.02e39 m, 9.9e37 atm
    const Case cases[] = {
        {"unreadable", ucMetres, "Metres", "", 0.05f, "Feet", "'' is not a valid floating point value"},
        {"beyond a float in the new unit", ucMetres, "Metres", large, 3e38f, "mm", "'3e+41' is too large a value"},
        {"beyond a float in the base unit only", ucBar, "Bar", bars, 1e38f, "atm",
         "'1.02155168e+39' is too large a value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form.reset();
        Images images = standin::defaultImages();
        images.cal.Channels[ch::Depth].UnitsCode = c.code;
        SetImageText(images.cal.Channels[ch::Depth].UnitsText, c.text.toStdString());
        setImages(images);
        open();
        click({"Channels", "Depth"});
        replace(form->Chan_DataVariationValueEdit, c.variation);
        conf.ChannelSetup[ch::Depth].DataVariationValue = c.stored;
        expectImages();
        messages.clear();
        choose(form->Chan_UnitTypeComboBox, c.unit);
        EXPECT_EQ(messages, QStringList({c.message}));
        // The list shows the unit the image still holds.
        EXPECT_EQ(form->Chan_UnitTypeComboBox->currentText(), c.text);
        EXPECT_EQ(form->Chan_UnitNameEdit->text(), c.text);
        expectImages();
    }
}

TEST_F(SetupChannel, UnitNameTakesElevenCharactersAtMost)
{
    open();
    click({"Channels", "Depth"});
    QLineEdit* edit = form->Chan_UnitNameEdit;
    retype(edit, "abcdefghijklmn");
    EXPECT_EQ(edit->text(), "abcdefghijk");
    EXPECT_EQ(ImageText(device->CalData.Channels[ch::Depth].UnitsText), "abcdefghijk");
    QTest::keyClicks(edit, "z_9");
    EXPECT_EQ(edit->text(), "abcdefghijk");
    // Backspace still shortens a full name; the field keeps its zero byte.
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, "_");
    EXPECT_EQ(ImageText(device->CalData.Channels[ch::Depth].UnitsText), "abcdefghij_");
    SetImageText(cal.Channels[ch::Depth].UnitsText, "abcdefghij_");
    expectImages();
}

TEST_F(SetupChannel, KeyTypedOverASelectionIsJudgedByWhatStays)
{
    struct Case {
        const char* what;
        QLineEdit* TSensorSetupForm::*edit;
        const char* before;
        char typed;
        const char* after;
    };
    const Case cases[] = {
        {"unit name of eleven characters", &TSensorSetupForm::Chan_UnitNameEdit, "abcdefghijk", 'm', "m"},
        {"variation's point", &TSensorSetupForm::Chan_DataVariationValueEdit, "0.05", '.', "."},
    };
    open();
    click({"Channels", "Depth"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QLineEdit* edit = form.get()->*c.edit;
        retype(edit, c.before);
        ASSERT_EQ(edit->text(), c.before);
        QTest::keyClick(form->windowHandle(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(form->windowHandle(), c.typed);
        EXPECT_EQ(edit->text(), c.after);
    }
}

TEST_F(SetupChannel, RenamingKeepsThePageOnTheRenamedChannel)
{
    open();
    click({"Channels", "Cond"});
    onQuery(typeAndOk("Conductivity")); // cut to 11 characters by the query
    renameFromMenu();
    EXPECT_TRUE(messages.isEmpty());
    SetImageText(cal.Channels[ch::Cond].Name, "Conductivit");
    expectImages();
    EXPECT_EQ(form->Chan_ChanNameEdfit->text(), "Conductivit");
    ASSERT_NE(form->Treeview->Selected(), nullptr);
    EXPECT_EQ(form->Treeview->Selected()->text(0), "Conductivit");
    EXPECT_EQ(form->ChannelIndex, ch::Cond);
    EXPECT_EQ(page(), form->SS_ChannelsTab);

    // The next edit on the page still reaches the renamed channel, never
    // record 0.
    retypeSpin(form->Chan_PresisionEdit, "4");
    conf.ChannelSetup[ch::Cond].Precision = 4;
    expectImages();

    // And a second rename from the rebuilt tree works the same way.
    onQuery(typeAndOk("EC"));
    renameFromMenu();
    SetImageText(cal.Channels[ch::Cond].Name, "EC");
    expectImages();
    EXPECT_EQ(form->ChannelIndex, ch::Cond);
}

TEST_F(SetupChannel, RenamesThatAreNotUniqueOrCancelledChangeNothing)
{
    struct Case {
        const char* name;
        std::function<void(TStringQuery*)> act;
        QStringList messages;
    };
    const Case cases[] = {
        {"its own name", typeAndOk("Depth"), {"Channel name entered is not unique"}},
        {"another channel's", typeAndOk("Battery"), {"Channel name entered is not unique"}},
        {"a disabled channel's", typeAndOk("pH cal"), {"Channel name entered is not unique"}},
        {"cancelled", [](TStringQuery* q) {
             QTest::keyClicks(q->Edit, "Level");
             QTest::mouseClick(q->CancelBtn, Qt::LeftButton);
         }, {}},
        {"empty", typeAndOk(""), {}},
    };
    open();
    click({"Channels", "Depth"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        onQuery(c.act);
        renameFromMenu();
        EXPECT_EQ(messages, c.messages);
        expectImages();
        EXPECT_EQ(form->ChannelIndex, ch::Depth);
    }
}

TEST_F(SetupChannel, BatterySourceSwitchesRecordsAndMonitorSelection)
{
    setImages(batteryImages());
    open();
    click({"Channels", "Ext Batt"});
    EXPECT_EQ(form->ChannelsPageControl->currentWidget(), form->BatteryTab);
    EXPECT_TRUE(form->Chan_BatteryRadioGroup->isEnabled());
    EXPECT_EQ(form->Chan_BatteryRadioGroup->ItemIndex(), 1);

    // Internal: the monitor's external entries become internal ones.
    tick(form->Chan_BatteryRadioGroup->Button(0));
    cal.Channels[0].Enabled = 0;
    cal.Channels[1].Enabled = 1;
    conf.Schedules[0].Channels[0] = 1;
    expectImages();
    EXPECT_EQ(form->ChannelIndex, 1);
    EXPECT_EQ(form->Treeview->Selected()->text(0), "Int Batt");
    EXPECT_EQ(form->Chan_ChanNameEdfit->text(), "Int Batt");
    // The user schedules and the Modbus selection keep their entries.
    EXPECT_EQ(device->ConfData.Schedules[1].Channels[5], 0);

    // An edit now reaches the internal battery's record.
    retypeSpin(form->Chan_PresisionEdit, "1");
    conf.ChannelSetup[1].Precision = 1;
    expectImages();

    // And back: the internal entries become external again.
    tick(form->Chan_BatteryRadioGroup->Button(1));
    cal.Channels[0].Enabled = 1;
    cal.Channels[1].Enabled = 0;
    conf.Schedules[0].Channels[0] = 0;
    expectImages();
    EXPECT_EQ(form->ChannelIndex, 0);
    EXPECT_EQ(form->Treeview->Selected()->text(0), "Ext Batt");
}

TEST_F(SetupChannel, BatterySourceIsFixedWithoutTheTwoBatteryRecords)
{
    // The stand-in's own layout has no internal battery record: record 1 is
    // the temperature channel, which the switch must not take over.
    open();
    click({"Channels", "Battery"});
    EXPECT_FALSE(form->Chan_BatteryRadioGroup->isEnabled());
    tick(form->Chan_BatteryRadioGroup->Button(0));
    expectImages();
    EXPECT_EQ(form->Treeview->Selected()->text(0), "Battery");
}

TEST_F(SetupChannel, AChannelWithoutItsCompensationRecordOffersNoFactors)
{
    auto images = familyImages();
    images.cal.Channels[ch::OdoMgL].CompensationNumbers[Factor] = 0;
    images.cal.Channels[ch::Depth].CompensationNumbers[Gravity] = 200;
    setImages(images);
    open();
    click({"Channels", "ODO mg/l"});
    EXPECT_FALSE(form->DOmglTab->isEnabled());
    click({"Channels", "Depth"});
    EXPECT_FALSE(form->PressureTab->isEnabled());
    EXPECT_FALSE(form->DensityCheckBox->isChecked());
    // Called as the edits would: nothing is written.
    form->DensityConversionEdit->setText("2.0");
    EXPECT_EQ(messages.size(), 1);
    expectImages();
}

TEST_F(SetupChannel, SensorNameTakesItsKeysAndKeepsTheLastName)
{
    open();
    QLineEdit* edit = form->SensorNameEdit;
    retype(edit, "Weir-2, lower.b_9");
    EXPECT_EQ(edit->text(), "Weir-2 lowerb_9");
    SetImageText(cal.SensorName, "Weir-2 lowerb_9");
    expectImages();

    retype(edit, "A long name of many letters");
    EXPECT_EQ(edit->text().size(), 19);
    SetImageText(cal.SensorName, "A long name of many");
    expectImages();

    // Emptied, the edit leaves the last name stored (its first letter).
    retype(edit, "");
    SetImageText(cal.SensorName, "A");
    expectImages();
    // The tree keeps the old name until it is rebuilt.
    EXPECT_EQ(form->RootNode->text(0), "Weir Sonde 4");
}

TEST_F(SetupChannel, LongerSensorNameFromTheImageIsShownAndKeptWhole)
{
    // 28 characters, one beyond ASCII, from an image made elsewhere.
    const std::string longName = "Lower weir sonde, caf\xE9 sides";
    SetImageText(cal.SensorName, longName);
    device->CalData = cal;
    open();
    QLineEdit* edit = form->SensorNameEdit;
    EXPECT_EQ(edit->text(), QString::fromLatin1(longName.c_str()));
    edit->setFocus();
    QTest::keyClick(form->windowHandle(), Qt::Key_End);
    // Typing stops at the limit; so does pasting.
    QTest::keyClick(form->windowHandle(), Qt::Key_X);
    QApplication::clipboard()->setText("x");
    QTest::keyClick(form->windowHandle(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->text().size(), 28);
    expectImages();
    // One backspace stores the name less one character, not a cut one.
    QTest::keyClick(form->windowHandle(), Qt::Key_Backspace);
    SetImageText(cal.SensorName, longName.substr(0, 27));
    expectImages();

    // Over a selection, typing and pasting count what stays.
    QTest::keyClick(form->windowHandle(), Qt::Key_A, Qt::ControlModifier);
    QApplication::clipboard()->setText("Lake, 2");
    QTest::keyClick(form->windowHandle(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->text().size(), 27) << "a comma is never pasted";
    QApplication::clipboard()->setText("Lake 2");
    QTest::keyClick(form->windowHandle(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), "Lake 2");
    QApplication::clipboard()->setText(" and a long name");
    QTest::keyClick(form->windowHandle(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), "Lake 2") << "19 characters at most by the user";
    SetImageText(cal.SensorName, "Lake 2");
    expectImages();
}

} // namespace
