// The set-up dialog's channel page: unit, unit name, precision, data
// variation and the page of the channel's unit family (battery source,
// specific gravity, oxygen and solids factors, turbidity wipe), renaming a
// channel, and the sensor name of the "Sensor Info" page.
#include "SensorSetupUnit.h"

#include "CSpin.h"
#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "HvSensor_Quarn.h"
#include "KeyFilter.h"
#include "MessageFormUnit.h"
#include "OperationScope.h"
#include "StdCtrls.h"
#include "SysUtils.h"
#include "Unitsconversion.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

#include <charconv>
#include <cstdlib>
#include <memory>
#include <string>
#include <tuple>

namespace {

// Compensation roles of a channel record.
constexpr int FactorRole = 0;
constexpr int GravityRole = 2;

// The value with at least one and at most `decimals` decimals ("0.0###").
QString formatDecimals(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    if (point >= 0) {
        qsizetype end = text.size();
        while (end > point + 2 && text.at(end - 1) == QLatin1Char('0'))
            --end;
        text.truncate(end);
    }
    if (text == QLatin1String("-0.0"))
        text = QStringLiteral("0.0");
    return text;
}

// A value the image holds as a 32-bit float: the shortest decimal that is
// that float (0.05, not 0.050000001), in the same picture.
QString formatDecimals(float value, int decimals)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return formatDecimals(std::strtod(std::string(text, result.ptr).c_str(), nullptr), decimals);
}

const char* const PressureText =
    "The pressure measured under a column of fluid depends on the density of the fluid. Specific gravity is "
    "the ratio of the density of a material to the density of water. A specific gravity conversion factor can "
    "be applied so that level measurements are correct in fluids other than water. The default specific "
    "gravity of 1.0 is for water.";

} // namespace

// --- building the page ------------------------------------------------------------

void TSensorSetupForm::BuildChannelPage()
{
    Chan_Panel = Named(new QWidget(SS_ChannelsTab), "Chan_Panel");
    FillWith(SS_ChannelsTab, Chan_Panel);

    Chan_ChanNameEdfit = Named(new QLineEdit(Chan_Panel), "Chan_ChanNameEdfit");
    Chan_ChanNameEdfit->setReadOnly(true);
    Chan_ChanNameEdfit->setToolTip(
        QStringLiteral("To change the channel name, right click the channel in the tree view and choose "
                       "RenameChannel."));
    Chan_UnitTypeComboBox = Named(new QComboBox(Chan_Panel), "Chan_UnitTypeComboBox");
    Chan_UnitNameEdit = Named(new QLineEdit(Chan_Panel), "Chan_UnitNameEdit");
    Chan_UnitNameEdit->setMaxLength(11);
    Chan_PresisionEdit = Named(new TCSpinEdit(Chan_Panel), "Chan_PresisionEdit");
    Chan_PresisionEdit->SetMinValue(0);
    Chan_PresisionEdit->SetMaxValue(6);
    Chan_PresisionEdit->setFixedWidth(80);
    Chan_DataVariationCheckBox =
        Named(new QCheckBox(QStringLiteral(" Enable Data Variation"), Chan_Panel), "Chan_DataVariationCheckBox");
    Chan_DataVariationValueEdit = Named(new QLineEdit(Chan_Panel), "Chan_DataVariationValueEdit");
    dataVariationLabel_ = new QLabel(QStringLiteral("Data Variation Value"), Chan_Panel);

    auto* fields = new QFormLayout;
    fields->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    fields->addRow(QStringLiteral("Channel Name"), Chan_ChanNameEdfit);
    fields->addRow(QStringLiteral("Unit Type"), Chan_UnitTypeComboBox);
    fields->addRow(QStringLiteral("Unit Name"), Chan_UnitNameEdit);
    fields->addRow(QStringLiteral("Channel Precision"), Chan_PresisionEdit);
    fields->addRow(QString(), Chan_DataVariationCheckBox);
    fields->addRow(dataVariationLabel_, Chan_DataVariationValueEdit);

    ChannelsPageControl = Named(new QStackedWidget(Chan_Panel), "ChannelsPageControl");
    BatteryTab = AddPage(ChannelsPageControl, "BatteryTab");
    PressureTab = AddPage(ChannelsPageControl, "PressureTab");
    DOppmTab = AddPage(ChannelsPageControl, "DOppmTab");
    DOmglTab = AddPage(ChannelsPageControl, "DOmglTab");
    TDSTab = AddPage(ChannelsPageControl, "TDSTab");
    TSSTab = AddPage(ChannelsPageControl, "TSSTab");
    TurbidityTab = AddPage(ChannelsPageControl, "TurbidityTab");
    UD1Tab = AddPage(ChannelsPageControl, "UD1Tab");
    UD2Tab = AddPage(ChannelsPageControl, "UD2Tab");

    auto* panelLayout = new QVBoxLayout(Chan_Panel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addLayout(fields);
    panelLayout->addSpacing(6);
    panelLayout->addWidget(ChannelsPageControl, 1);

    const auto button = [this](QWidget* parent, const char* name) {
        QPushButton* b = Named(MakeButton(QStringLiteral("Set default value")), name);
        b->setParent(parent);
        return b;
    };
    const auto decimalEdit = [this](QWidget* parent, const char* name) {
        auto* edit = Named(new QLineEdit(parent), name);
        edit->setFixedWidth(120);
        SetKeyFilter(edit, &TSensorSetupForm::Chan_DataVariationValueEditKeyPress);
        return edit;
    };
    const auto note = [](QWidget* parent, const char* text) {
        auto* label = new QLabel(QString::fromLatin1(text), parent);
        label->setWordWrap(true);
        return label;
    };

    // Battery
    Chan_BatteryRadioGroup =
        Named(new TRadioGroup(QStringLiteral("Battery"),
                              {QStringLiteral("Internal battery pack"), QStringLiteral("External battery (9-30 Volts)")},
                              BatteryTab),
              "Chan_BatteryRadioGroup");
    {
        auto* l = new QVBoxLayout(BatteryTab);
        l->addWidget(Chan_BatteryRadioGroup);
        l->addStretch();
    }

    // Pressure
    DensityCheckBox = Named(new QCheckBox(QStringLiteral("Use Specific Gravity  Conversion Factor"), PressureTab),
                            "DensityCheckBox");
    DensityConversionEdit = decimalEdit(PressureTab, "DensityConversionEdit");
    DensityConversionDefaulBtn = button(PressureTab, "DensityConversionDefaulBtn");
    PressureMemo = Named(new TMemo(PressureTab), "PressureMemo");
    PressureMemo->setReadOnly(true);
    PressureMemo->setPlainText(QString::fromLatin1(PressureText));
    {
        densityRow_ = new QWidget(PressureTab);
        auto* row = new QHBoxLayout(densityRow_);
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(new QLabel(QStringLiteral("Specific Gravity  "), densityRow_));
        row->addWidget(DensityConversionEdit);
        row->addWidget(DensityConversionDefaulBtn);
        row->addStretch();
        DensityConversionEdit->setParent(densityRow_);
        DensityConversionDefaulBtn->setParent(densityRow_);
        auto* l = new QVBoxLayout(PressureTab);
        l->addWidget(DensityCheckBox);
        l->addWidget(densityRow_);
        l->addWidget(PressureMemo, 1);
    }

    // DO ppm
    DO_PPM_BPEdit = decimalEdit(DOppmTab, "DO_PPM_BPEdit");
    DO_PPM_BAromatricPressureDefaultBtn = button(DOppmTab, "DO_PPM_BAromatricPressureDefaultBtn");
    {
        auto* g = new QGridLayout(DOppmTab);
        g->addWidget(new QLabel(QStringLiteral("Estimated Barometric Pressure"), DOppmTab), 0, 0);
        g->addWidget(DO_PPM_BPEdit, 0, 1);
        g->addWidget(DO_PPM_BAromatricPressureDefaultBtn, 0, 2);
        g->addWidget(note(DOppmTab, "Default value for Baromatric Pressure = 1.0 Atm"), 1, 0, 1, 3);
        g->setColumnStretch(3, 1);
        g->setRowStretch(2, 1);
    }

    // DO mg/l
    DO_MGL_BPEdit = decimalEdit(DOmglTab, "DO_MGL_BPEdit");
    Button2 = button(DOmglTab, "Button2");
    DO_MGL_ECEdit = decimalEdit(DOmglTab, "DO_MGL_ECEdit");
    Button3 = button(DOmglTab, "Button3");
    {
        auto* g = new QGridLayout(DOmglTab);
        g->addWidget(new QLabel(QStringLiteral("Estimated Barometric Pressure"), DOmglTab), 0, 0);
        g->addWidget(DO_MGL_BPEdit, 0, 1);
        g->addWidget(Button2, 0, 2);
        g->addWidget(note(DOmglTab, "Default value for Baromatric Pressure = 1.0 Atm"), 1, 0, 1, 3);
        g->addWidget(new QLabel(QStringLiteral("Estimated Salinity"), DOmglTab), 2, 0);
        g->addWidget(DO_MGL_ECEdit, 2, 1);
        g->addWidget(Button3, 2, 2);
        g->addWidget(note(DOmglTab, "Default value for Salinity = 5.0"), 3, 0, 1, 3);
        g->setColumnStretch(3, 1);
        g->setRowStretch(4, 1);
    }

    // TDS and TSS
    TDS_ConversionFactor = decimalEdit(TDSTab, "TDS_ConversionFactor");
    TDS_Btn = button(TDSTab, "TDS_Btn");
    TSS_ConversionFactor = decimalEdit(TSSTab, "TSS_ConversionFactor");
    TSS_DefaultBtn = button(TSSTab, "TSS_DefaultBtn");
    for (auto [tab, edit, btn, text] :
         {std::make_tuple(TDSTab, TDS_ConversionFactor, TDS_Btn, "Default value for TDS = 0.666667"),
          std::make_tuple(TSSTab, TSS_ConversionFactor, TSS_DefaultBtn, "Default value for TSS = 1.0")}) {
        auto* g = new QGridLayout(tab);
        g->addWidget(new QLabel(QStringLiteral("Conversion factor"), tab), 0, 0);
        g->addWidget(edit, 0, 1);
        g->addWidget(btn, 0, 2);
        g->addWidget(note(tab, text), 1, 0, 1, 3);
        g->setColumnStretch(3, 1);
        g->setRowStretch(2, 1);
    }

    // Turbidity
    Chan_Turbidity_WipeCountGB = Named(new QRadioButton(QStringLiteral("Wipe interval number of scans"), TurbidityTab),
                                       "Chan_Turbidity_WipeCountGB");
    Chan_Turbidity_WipeIntervalGB = Named(new QRadioButton(QStringLiteral("Wipe interval in minutes"), TurbidityTab),
                                          "Chan_Turbidity_WipeIntervalGB");
    Chan_TurbidityEditBox = Named(new TCSpinEdit(TurbidityTab), "Chan_TurbidityEditBox");
    Chan_TurbidityEditBox->SetMinValue(0);
    Chan_TurbidityEditBox->SetMaxValue(1440);
    Chan_TurbidityEditBox->setFixedWidth(100);
    Chan_WipeNowBtn = Named(MakeButton(QStringLiteral("Wipe lens now")), "Chan_WipeNowBtn");
    Chan_WipeNowBtn->setParent(TurbidityTab);
    {
        auto* l = new QVBoxLayout(TurbidityTab);
        l->addWidget(Chan_Turbidity_WipeCountGB);
        l->addWidget(Chan_Turbidity_WipeIntervalGB);
        auto* row = new QHBoxLayout;
        row->addWidget(Chan_TurbidityEditBox);
        row->addWidget(note(TurbidityTab, "A value of 0 will disable lens cleaning. "), 1);
        l->addLayout(row);
        l->addSpacing(8);
        l->addWidget(Chan_WipeNowBtn, 0, Qt::AlignLeft);
        l->addStretch();
    }

    // Key filters and handlers.
    SetKeyFilter(Chan_PresisionEdit, &TSensorSetupForm::Chan_PresisionEditKeyPress);
    SetKeyFilter(Chan_TurbidityEditBox, &TSensorSetupForm::Chan_PresisionEditKeyPress);
    SetKeyFilter(Chan_DataVariationValueEdit, &TSensorSetupForm::Chan_DataVariationValueEditKeyPress);
    SetKeyFilter(Chan_UnitNameEdit, &TSensorSetupForm::Chan_UnitNameEditKeyPress);

    ConnectHandler(Chan_PresisionEdit, &TCSpinEdit::Changed, this, &TSensorSetupForm::Chan_PresisionEditChange);
    ConnectHandler(Chan_DataVariationCheckBox, &QCheckBox::toggled, this,
                   &TSensorSetupForm::Chan_DataVariationCheckBoxClick);
    ConnectHandler(Chan_DataVariationValueEdit, &QLineEdit::textChanged, this,
                   &TSensorSetupForm::Chan_DataVariationValueEditChange);
    ConnectHandler(Chan_UnitTypeComboBox, &QComboBox::currentIndexChanged, this,
                   &TSensorSetupForm::Chan_UnitTypeComboBoxChange);
    ConnectHandler(Chan_UnitNameEdit, &QLineEdit::textEdited, this, &TSensorSetupForm::Chan_UnitNameEditChange);
    ConnectHandler(Chan_BatteryRadioGroup, &TRadioGroup::Click, this, &TSensorSetupForm::Chan_BatteryRadioGroupClick);
    for (QRadioButton* radio : {Chan_Turbidity_WipeCountGB, Chan_Turbidity_WipeIntervalGB})
        connect(radio, &QRadioButton::toggled, this, [this, radio](bool on) {
            if (on)
                RunHandler([&] { Chan_Turbidity_WipeCountGBClick(radio); });
        });
    ConnectHandler(Chan_TurbidityEditBox, &TCSpinEdit::Changed, this, &TSensorSetupForm::Chan_TurbidityEditBoxChange);
    ConnectHandler(Chan_WipeNowBtn, &QPushButton::clicked, this, &TSensorSetupForm::Chan_WipeNowBtnClick);
    ConnectHandler(DensityCheckBox, &QCheckBox::toggled, this, &TSensorSetupForm::DensityCheckBoxClick);
    ConnectHandler(DensityConversionEdit, &QLineEdit::textChanged, this,
                   &TSensorSetupForm::DensityConversionEditChange);
    ConnectHandler(DensityConversionDefaulBtn, &QPushButton::clicked, this,
                   &TSensorSetupForm::DensityConversionDefaulBtnClick);
    ConnectHandler(DO_PPM_BPEdit, &QLineEdit::textChanged, this, &TSensorSetupForm::DO_PPM_BPEditChange);
    ConnectHandler(DO_PPM_BAromatricPressureDefaultBtn, &QPushButton::clicked, this,
                   &TSensorSetupForm::DO_PPM_BAromatricPressureDefaultBtnClick);
    ConnectHandler(DO_MGL_BPEdit, &QLineEdit::textChanged, this, &TSensorSetupForm::DO_MGL_BPEditChange);
    ConnectHandler(Button2, &QPushButton::clicked, this, &TSensorSetupForm::Button2Click);
    ConnectHandler(DO_MGL_ECEdit, &QLineEdit::textChanged, this, &TSensorSetupForm::DO_MGL_ECEditChange);
    ConnectHandler(Button3, &QPushButton::clicked, this, &TSensorSetupForm::Button3Click);
    ConnectHandler(TDS_ConversionFactor, &QLineEdit::textChanged, this,
                   &TSensorSetupForm::TDS_ConversionFactorChange);
    ConnectHandler(TDS_Btn, &QPushButton::clicked, this, &TSensorSetupForm::TDS_BtnClick);
    ConnectHandler(TSS_ConversionFactor, &QLineEdit::textChanged, this,
                   &TSensorSetupForm::TSS_ConversionFactorChange);
    ConnectHandler(TSS_DefaultBtn, &QPushButton::clicked, this, &TSensorSetupForm::TSS_DefaultBtnClick);
}

// --- filling the page ---------------------------------------------------------------

void TSensorSetupForm::ShowChannel()
{
    if (!ChannelSelected())
        return;
    // Filling writes nothing, also when called after a battery change.
    UpdatingScope updating(Updating);
    const CalChannelData& ch = Cal->Channels[ChannelIndex];
    const ChannelSetupData& setup = Conf->ChannelSetup[ChannelIndex];
    Chan_ChanNameEdfit->setText(Latin1Text(ImageText(ch.Name)));
    Chan_PresisionEdit->SetValue(setup.Precision);
    Chan_UnitNameEdit->setText(Latin1Text(ImageText(ch.UnitsText)));

    const bool variation = setup.DataVariationEnabled != 0;
    Chan_DataVariationCheckBox->setChecked(variation);
    Chan_DataVariationValueEdit->setEnabled(variation);
    Chan_DataVariationValueEdit->setVisible(variation);
    dataVariationLabel_->setVisible(variation);
    Chan_DataVariationValueEdit->setText(formatDecimals(float(setup.DataVariationValue), 9));

    const uint8_t family = TSensor_Quarn::GetBaseUnitType(ch.UnitsCode);
    std::vector<std::string> units;
    TSensor_Quarn::GetDefaultUnitsStringList(family, units);
    Chan_UnitTypeComboBox->clear();
    for (const std::string& unit : units)
        Chan_UnitTypeComboBox->addItem(Latin1Text(unit));
    // The item at the code's distance from its family's base: a code whose
    // list starts elsewhere ("mS/cm" after "uS/cm") shows no item.
    const int index = int(ch.UnitsCode) - int(family);
    Chan_UnitTypeComboBox->setCurrentIndex(index >= 0 && index < Chan_UnitTypeComboBox->count() ? index : -1);
}

void TSensorSetupForm::ShowChannelKindPage()
{
    if (!ChannelSelected())
        return;
    UpdatingScope updating(Updating);
    const CalChannelData& ch = Cal->Channels[ChannelIndex];
    const uint8_t family = TSensor_Quarn::GetBaseUnitType(ch.UnitsCode);
    const auto coeff = [this, &ch](int role, int index, bool& valid) -> float {
        const int n = ch.CompensationNumbers[role];
        valid = Sensor->zz_isValidCompensation(n);
        return valid ? Cal->CompensationTable[n].Coeffs[index] : 0.0f;
    };
    bool valid = false;
    QWidget* page = nullptr;
    switch (family) {
    case ucMetres: {
        page = PressureTab;
        const float g = coeff(GravityRole, 1, valid);
        const bool checked = valid && g != 1.0f;
        DensityCheckBox->setChecked(checked);
        densityRow_->setVisible(checked);
        DensityConversionEdit->setText(!valid || g == 0.0 ? QStringLiteral("1.0") : formatDecimals(1.0 / double(g), 7));
        break;
    }
    case ucVolts:
        page = BatteryTab;
        valid = true;
        Chan_BatteryRadioGroup->SetItemIndex(Cal->Channels[0].Enabled == 1 ? 1 : 0);
        // Switching needs both battery records; another layout keeps its
        // channels as they are.
        Chan_BatteryRadioGroup->setEnabled(BatteryPairPresent());
        break;
    case ucDoMgL:
        page = DOmglTab;
        DO_MGL_BPEdit->setText(formatDecimals(coeff(FactorRole, 0, valid), 7));
        DO_MGL_ECEdit->setText(formatDecimals(coeff(FactorRole, 1, valid), 7));
        break;
    case ucDoPpm:
        page = DOppmTab;
        DO_PPM_BPEdit->setText(formatDecimals(coeff(FactorRole, 0, valid), 7));
        break;
    case ucNtu:
        page = TurbidityTab;
        valid = true;
        if (Conf->WipeScans != 0) {
            Chan_Turbidity_WipeCountGB->setChecked(true);
            Chan_Turbidity_WipeCountGBClick(Chan_Turbidity_WipeCountGB);
            Chan_TurbidityEditBox->SetValue(Conf->WipeScans);
        } else {
            Chan_Turbidity_WipeIntervalGB->setChecked(true);
            Chan_Turbidity_WipeCountGBClick(Chan_Turbidity_WipeIntervalGB);
            Chan_TurbidityEditBox->SetValue(Conf->WipeMinutes);
        }
        break;
    case ucTssMgL:
        page = TSSTab;
        TSS_ConversionFactor->setText(formatDecimals(coeff(FactorRole, 1, valid), 7));
        break;
    case ucTdsMgL:
        page = TDSTab;
        TDS_ConversionFactor->setText(formatDecimals(coeff(FactorRole, 1, valid), 7));
        break;
    default:
        break;
    }
    if (!page) {
        ChannelsPageControl->hide();
        return;
    }
    // A channel whose record names no valid compensation record shows its
    // page but offers nothing to change there.
    page->setEnabled(valid);
    ChannelsPageControl->setCurrentWidget(page);
    ChannelsPageControl->show();
}

// --- helpers --------------------------------------------------------------------------

int TSensorSetupForm::ChannelCompensation(int role)
{
    if (!ChannelSelected())
        return -1;
    const int n = Cal->Channels[ChannelIndex].CompensationNumbers[role];
    if (Sensor->zz_isValidCompensation(n))
        return n;
    ShowMessage(QStringLiteral("The calibration image holds no record for this setting of channel ")
                + Latin1Text(ImageText(Cal->Channels[ChannelIndex].Name)) + QStringLiteral("; nothing was changed."));
    return -1;
}

double TSensorSetupForm::EditNumber(QLineEdit* edit)
{
    const std::string text = edit->text().toStdString();
    const double value = StrToFloat(text);
    CheckImageFloat(value, text);
    return value;
}

void TSensorSetupForm::StoreFactor(QLineEdit* edit, int role, int coeff)
{
    if (Updating || edit->text().isEmpty() || !ChannelSelected())
        return;
    const double value = EditNumber(edit);
    const int n = ChannelCompensation(role);
    if (n < 0)
        return;
    Cal->CompensationTable[n].Coeffs[coeff] = static_cast<float>(value);
}

bool TSensorSetupForm::SpinNumber(TCSpinEdit* spin, int stored, const QString& message, int& value)
{
    const QString text = spin->Text();
    bool ok = text.size() <= 9;
    for (QChar c : text)
        ok = ok && c.isDigit();
    value = ok ? text.toInt() : -1;
    if (ok && value >= spin->MinValue() && value <= spin->MaxValue())
        return true;
    ShowMessage(message);
    UpdatingScope updating(Updating);
    spin->SetValue(stored);
    return false;
}

bool TSensorSetupForm::BatteryPairPresent() const
{
    return TSensor_Quarn::GetBaseUnitType(Cal->Channels[0].UnitsCode) == ucVolts
           && TSensor_Quarn::GetBaseUnitType(Cal->Channels[1].UnitsCode) == ucVolts;
}

bool TSensorSetupForm::IsChannelNameUnique(const std::string& name) const
{
    for (const CalChannelData& ch : Cal->Channels)
        if (ImageText(ch.Name) == name)
            return false;
    return true;
}

// --- handlers ---------------------------------------------------------------------------

void TSensorSetupForm::Chan_PresisionEditChange()
{
    if (Updating || Chan_PresisionEdit->Text().isEmpty() || !ChannelSelected())
        return;
    ChannelSetupData& setup = Conf->ChannelSetup[ChannelIndex];
    int value = 0;
    if (!SpinNumber(Chan_PresisionEdit, setup.Precision,
                    QStringLiteral("Channel precision must be a whole number from 0 to 6."), value))
        return;
    setup.Precision = static_cast<uint8_t>(value);
}

void TSensorSetupForm::Chan_DataVariationCheckBoxClick()
{
    if (Updating || !Chan_DataVariationCheckBox->isEnabled() || !ChannelSelected())
        return;
    const bool checked = Chan_DataVariationCheckBox->isChecked();
    Conf->ChannelSetup[ChannelIndex].DataVariationEnabled = checked ? 1 : 0;
    Chan_DataVariationValueEdit->setEnabled(checked);
    Chan_DataVariationValueEdit->setVisible(checked);
    dataVariationLabel_->setVisible(checked);
    // The value starts again from 0.0 either way (stored by the edit).
    if (Chan_DataVariationValueEdit->text() == QLatin1String("0.0"))
        Chan_DataVariationValueEditChange();
    else
        Chan_DataVariationValueEdit->setText(QStringLiteral("0.0"));
}

void TSensorSetupForm::Chan_DataVariationValueEditChange()
{
    if (Updating || Chan_DataVariationValueEdit->text().isEmpty() || !ChannelSelected())
        return;
    Conf->ChannelSetup[ChannelIndex].DataVariationValue = static_cast<float>(EditNumber(Chan_DataVariationValueEdit));
}

void TSensorSetupForm::Chan_UnitTypeComboBoxChange()
{
    if (Updating || !Chan_UnitTypeComboBox->isEnabled() || !ChannelSelected()
        || Chan_UnitTypeComboBox->currentIndex() < 0)
        return;
    const int ch = ChannelIndex;
    CalChannelData& channel = Cal->Channels[ch];
    const uint8_t old = channel.UnitsCode;
    const bool variation = Chan_DataVariationCheckBox->isChecked();

    const QString text = Chan_UnitTypeComboBox->currentText();
    const std::string unit = text.toLatin1().toStdString();
    const uint8_t code = TSensor_Quarn::GetUnitTypeFromString(unit);

    double value = 0;
    if (variation) {
        float base = 0;
        try {
            // The value in the base unit and in the new one must both fit
            // the image before anything of the unit changes.
            value = ToBaseUnit(EditNumber(Chan_DataVariationValueEdit), old);
            base = ImageFloat(value);
            ImageFloat(FromBaseUnit(value, code));
        } catch (const EConvertError&) {
            // The unit stays as it was: the list shows it again.
            ShowChannel();
            throw;
        }
        // Shown for the moment and stored as checked: read back from its
        // text, a value at the edge of the range could pass it.
        UpdatingScope updating(Updating);
        Chan_DataVariationValueEdit->setText(QString::number(value, 'g', 15));
        Conf->ChannelSetup[ch].DataVariationValue = base;
    }

    channel.UnitsCode = code;
    Chan_UnitNameEdit->setText(text);
    SetImageText(channel.UnitsText, unit);

    const int slot = GetUnitCoefficientSlot(Cal, static_cast<int16_t>(ch), channel.UnitsCode);
    if (slot >= 0)
        SetUnitCoefficients(Cal, slot, channel.UnitsCode);

    if (variation) {
        value = FromBaseUnit(value, channel.UnitsCode);
        Chan_DataVariationValueEdit->setText(formatDecimals(value, 9));
        ShowMessage(
            QStringLiteral("The value for Data Variation has been updated. Please verify calculated value is suitable."));
    }
}

void TSensorSetupForm::Chan_UnitNameEditKeyPress(QObject*, QChar& Key)
{
    if (Key.unicode() == 13 && Chan_UnitNameEdit->text().size() < 11) {
        FocusNext();
        Key = QChar();
        return;
    }
    if (!UnitNameKey(KeyRules::TextForKey(Chan_UnitNameEdit), Key))
        Key = QChar();
}

bool TSensorSetupForm::UnitNameKey(const QString& text, QChar key)
{
    const char16_t code = key.unicode();
    // The name holds at most 11 characters; backspace still shortens it.
    if (code == 8)
        return true;
    if (text.size() >= 11)
        return false;
    const bool letter = (code >= u'A' && code <= u'Z') || (code >= u'a' && code <= u'z');
    return code == 12 || (code >= u'0' && code <= u'9') || code == u'_' || letter;
}

void TSensorSetupForm::Chan_UnitNameEditChange()
{
    // Whatever the user's key did to the text (typed, erased, deleted) is
    // the unit name now.
    if (!ChannelSelected())
        return;
    SetImageText(Cal->Channels[ChannelIndex].UnitsText, Chan_UnitNameEdit->text().toLatin1().toStdString());
}

void TSensorSetupForm::Chan_BatteryRadioGroupClick()
{
    if (Updating || !Chan_BatteryRadioGroup->isEnabled() || !ChannelSelected() || !BatteryPairPresent())
        return;
    // Record 0 is the external battery, record 1 the internal one; exactly
    // one of them is enabled, and the monitor selection follows it.
    ScheduleSetupData& monitor = Conf->Schedules[MonitorScheduleRecord];
    const int count = monitor.ChannelCount < 25 ? monitor.ChannelCount : 25;
    const bool internal = Chan_BatteryRadioGroup->ItemIndex() == 0;
    const uint8_t from = internal ? 0 : 1;
    const uint8_t to = internal ? 1 : 0;
    for (int i = 0; i < count; ++i)
        if (monitor.Channels[i] == from)
            monitor.Channels[i] = to;
    Cal->Channels[from].Enabled = 0;
    Cal->Channels[to].Enabled = 1;
    ChannelIndex = to;
    if (QTreeWidgetItem* node = Treeview->Selected())
        node->setText(0, Latin1Text(ImageText(Cal->Channels[to].Name)));
    ShowChannel();
}

void TSensorSetupForm::Chan_Turbidity_WipeCountGBClick(QObject* Sender)
{
    auto* button = qobject_cast<QRadioButton*>(Sender);
    if (!Updating && button && button->isEnabled()) {
        Conf->WipeScans = 0;
        Conf->WipeMinutes = 0;
        Chan_TurbidityEditBox->SetValue(0);
    }
    Chan_TurbidityEditBox->SetMaxValue(Sender && Sender->objectName() == QLatin1String("Chan_Turbidity_WipeCountGB")
                                           ? 65500
                                           : 1440);
}

void TSensorSetupForm::Chan_TurbidityEditBoxChange()
{
    if (Updating || Chan_TurbidityEditBox->Text().isEmpty())
        return;
    const bool scans = Chan_Turbidity_WipeCountGB->isChecked();
    const uint16_t stored = scans ? Conf->WipeScans : Conf->WipeMinutes;
    int value = 0;
    if (!SpinNumber(Chan_TurbidityEditBox, stored,
                    scans ? QStringLiteral("The wipe interval must be a whole number of scans from 0 to 65500.")
                          : QStringLiteral("The wipe interval must be a whole number of minutes from 0 to 1440."),
                    value))
        return;
    if (scans)
        Conf->WipeScans = static_cast<uint16_t>(value);
    else
        Conf->WipeMinutes = static_cast<uint16_t>(value);
}

void TSensorSetupForm::Chan_WipeNowBtnClick()
{
    bool wiped = false;
    {
        // One wipe at a time: the dialog stays usable while the sensor works.
        OperationScope scope;
        scope.disable({Chan_WipeNowBtn});
        TMessageForm* message = scope.own(std::make_unique<TMessageForm>(this));
        message->setWindowTitle(QStringLiteral("Wiping turbidity lens, Please wait."));
        message->ProgressLabel->setText(QStringLiteral("Wiping progress"));
        message->Timer1->start();
        message->show();
        wiped = Sensor && Sensor->TurbidityWipeNow();
    }
    if (!wiped)
        ShowMessage(QStringLiteral("The sensor did not confirm the lens wipe. Check the connection and try again."));
}

void TSensorSetupForm::DensityCheckBoxClick()
{
    if (Updating || !ChannelSelected())
        return;
    const int n = ChannelCompensation(GravityRole);
    if (n < 0)
        return;
    Cal->CompensationTable[n].Coeffs[1] = 1.0f;
    {
        UpdatingScope updating(Updating);
        DensityConversionEdit->setText(QStringLiteral("1.0"));
    }
    densityRow_->setVisible(DensityCheckBox->isChecked());
}

void TSensorSetupForm::DensityConversionEditChange()
{
    if (Updating || DensityConversionEdit->text().isEmpty() || !ChannelSelected())
        return;
    const double value = EditNumber(DensityConversionEdit);
    if (value == 0.0)
        return;
    // The record holds the reciprocal, which a tiny gravity takes past a float.
    const float reciprocal = ImageFloat(1.0 / value);
    const int n = ChannelCompensation(GravityRole);
    if (n < 0)
        return;
    Cal->CompensationTable[n].Coeffs[1] = reciprocal;
}

void TSensorSetupForm::DensityConversionDefaulBtnClick()
{
    DensityConversionEdit->setText(QStringLiteral("1.0"));
}

void TSensorSetupForm::DO_PPM_BPEditChange()
{
    StoreFactor(DO_PPM_BPEdit, FactorRole, 0);
}

void TSensorSetupForm::DO_PPM_BAromatricPressureDefaultBtnClick()
{
    DO_PPM_BPEdit->setText(QStringLiteral("1.0"));
}

void TSensorSetupForm::DO_MGL_BPEditChange()
{
    StoreFactor(DO_MGL_BPEdit, FactorRole, 0);
}

void TSensorSetupForm::Button2Click()
{
    DO_MGL_BPEdit->setText(QStringLiteral("1.0"));
}

void TSensorSetupForm::DO_MGL_ECEditChange()
{
    StoreFactor(DO_MGL_ECEdit, FactorRole, 1);
}

void TSensorSetupForm::Button3Click()
{
    DO_MGL_ECEdit->setText(QStringLiteral("5.0"));
}

void TSensorSetupForm::TDS_ConversionFactorChange()
{
    StoreFactor(TDS_ConversionFactor, FactorRole, 1);
}

void TSensorSetupForm::TDS_BtnClick()
{
    TDS_ConversionFactor->setText(QStringLiteral("0.666667"));
}

void TSensorSetupForm::TSS_ConversionFactorChange()
{
    StoreFactor(TSS_ConversionFactor, FactorRole, 1);
}

void TSensorSetupForm::TSS_DefaultBtnClick()
{
    TSS_ConversionFactor->setText(QStringLiteral("1.0"));
}

// --- names ---------------------------------------------------------------------------------

void TSensorSetupForm::RenameChannelClick()
{
    if (!ChannelSelected() || PropertiesPageControl->currentWidget() != SS_ChannelsTab)
        return;
    QString name;
    if (!QueryName(QStringLiteral("Enter a unique channel name less then 12 characters long"), 12, name))
        return;
    if (name.size() > 11) {
        ShowMessage(QStringLiteral("Channel name contains 12 or more characters"));
        return;
    }
    const QByteArray bytes = name.toLatin1();
    if (QString::fromLatin1(bytes) != name) {
        ShowMessage(QStringLiteral("Channel name contains characters that the sensor cannot store"));
        return;
    }
    if (!IsChannelNameUnique(bytes.toStdString())) {
        ShowMessage(QStringLiteral("Channel name entered is not unique"));
        return;
    }
    SetImageText(Cal->Channels[ChannelIndex].Name, bytes.toStdString());
    Chan_ChanNameEdfit->setText(name);
    // The renamed channel's node stays selected, so the page goes on
    // editing this channel.
    RebuildTree();
}

void TSensorSetupForm::SensorNameEditKeyPress(QObject*, QChar& Key)
{
    if (!SensorNameKey(KeyRules::TextForKey(SensorNameEdit), Key))
        Key = QChar();
}

bool TSensorSetupForm::SensorNameKey(const QString& text, QChar key)
{
    const char16_t code = key.unicode();
    if (code == 8 || code == 12 || code == 13)
        return true;
    const bool letter = (code >= u'A' && code <= u'Z') || (code >= u'a' && code <= u'z');
    const bool allowed =
        code == u' ' || code == u'-' || (code >= u'0' && code <= u'9') || code == u'_' || letter;
    return allowed && text.size() < SensorNameTypingLimit;
}

void TSensorSetupForm::SensorNameEditChange()
{
    // An emptied edit keeps the last name: a sensor always has one.
    if (Updating || SensorNameEdit->text().isEmpty())
        return;
    // The whole text, as far as the field holds it: a longer name from the
    // image stays whole when the user shortens it.
    SetImageText(Cal->SensorName, SensorNameEdit->text().toLatin1().toStdString());
}
