#include "SetPressureReferenceUnit.h"

#include "Dialogs.h"
#include "DlProgress.h"
#include "ExtCtrls.h"
#include "HvSensor_Quarn.h"
#include "KeyFilter.h"
#include "OperationScope.h"
#include "SensorStatus.h"
#include "StdCtrls.h"
#include "SysUtils.h"
#include "Unitsconversion.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

constexpr const char* Caption = "Datum Configuration";
constexpr double NoValue = -1e10;
constexpr int PictureSize = 256;

// The help lines of each mode, trailing blanks included.
const QStringList DepthHelp = {
    QStringLiteral("Sensor reads the length of the column of water above the sensor."),
    QStringLiteral("The <Take reading> button will get the current value of the Pressure channel."),
    QStringLiteral("To remove settings applied by Surface Level or Top of case. -"),
    QStringLiteral("1  Press the <Restore Default> button to remove any settings.  "),
    QStringLiteral("2  Press the <Commit changes> button to complete. "),
    QStringLiteral(" "),
};
const QStringList SurfaceLevelHelp = {
    QStringLiteral("Sensor reads the distance from a datum (e.g. sea level, bottom of river) up to the water surface."),
    QStringLiteral("To set up once the sensor is installed. \u2013"),
    QStringLiteral("1. Enter the height of the water level in displayed units from the datum (i.e. what you want the "
                   "sensor to read), into the Reference value input box."),
    QStringLiteral("2. Press the <Apply Reference> button."),
    QStringLiteral("3. Press the <Commit changes> button to complete."),
};
const QStringList TopOfCaseHelp = {
    QStringLiteral("Sensor reads the distance from a datum (e.g. top of a bore casing) that is above the water down "
                   "to the water level. As the water level rises the sensor readings will get smaller."),
    QStringLiteral("To set up once the sensor is installed. \u2013"),
    QStringLiteral("1. Enter the distance in displayed units from the datum (e.g. top of bore casing) down to the "
                   "water surface into the Reference value input box."),
    QStringLiteral("2. Press the <Apply Reference> button."),
    QStringLiteral("3. Press the <Commit changes> button to complete."),
};

// --- the pictures of the three modes --------------------------------------

void drawArrow(QPainter& p, QPointF from, QPointF to)
{
    p.drawLine(from, to);
    const double dir = to.y() > from.y() ? -1 : 1;
    QPainterPath head;
    head.moveTo(to);
    head.lineTo(to.x() - 6, to.y() + dir * 10);
    head.lineTo(to.x() + 6, to.y() + dir * 10);
    head.closeSubpath();
    p.fillPath(head, p.pen().color());
}

void drawSensor(QPainter& p, QRectF body)
{
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(90, 90, 100));
    p.drawRoundedRect(body, 4, 4);
    p.setBrush(QColor(230, 180, 40));
    p.drawRect(QRectF(body.left() + 3, body.top() + 4, body.width() - 6, 4));
    // The cable up to the logger.
    p.setPen(QPen(QColor(30, 30, 30), 2));
    p.drawLine(QPointF(body.center().x(), body.top()), QPointF(body.center().x(), 18));
}

void drawLabel(QPainter& p, QRectF box, const QString& text, QColor colour)
{
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(13);
    p.setFont(f);
    p.setPen(colour);
    p.drawText(box, Qt::AlignCenter, text);
}

QPixmap modePicture(enDatumMode mode)
{
    QPixmap pixmap(PictureSize, PictureSize);
    pixmap.fill(QColor(235, 244, 252));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor water(70, 140, 210);
    const QColor ground(150, 115, 70);
    const QColor arrow(200, 30, 30);
    const double surface = 92;
    const double bed = 214;

    if (mode == dmTopOfCase) {
        // A bore casing standing above the ground, water inside it.
        p.fillRect(QRectF(0, 60, PictureSize, PictureSize - 60), ground);
        const QRectF casing(96, 30, 64, 220);
        p.fillRect(casing, QColor(210, 210, 215));
        p.fillRect(QRectF(casing.left() + 6, 30, casing.width() - 12, 220), QColor(245, 245, 245));
        p.fillRect(QRectF(casing.left() + 6, surface + 40, casing.width() - 12, 250 - surface - 40), water);
        p.setPen(QPen(QColor(90, 90, 90), 2));
        p.drawRect(casing);
        drawSensor(p, QRectF(118, 222, 20, 26));
        p.setPen(QPen(arrow, 2, Qt::DashLine));
        p.drawLine(QPointF(70, 30), QPointF(214, 30));
        p.drawLine(QPointF(casing.right(), surface + 40), QPointF(214, surface + 40));
        p.setPen(QPen(arrow, 3));
        drawArrow(p, QPointF(209, 30), QPointF(209, surface + 40));
        drawLabel(p, QRectF(4, 12, 90, 16), QStringLiteral("Datum"), arrow);
        drawLabel(p, QRectF(162, surface + 46, 94, 18), QStringLiteral("Reading"), Qt::white);
        return pixmap;
    }

    // A river: water over its bed, the sensor lying on the bed.
    p.fillRect(QRectF(0, surface, PictureSize, bed - surface), water);
    p.fillRect(QRectF(0, bed, PictureSize, PictureSize - bed), ground);
    p.setPen(QPen(QColor(30, 90, 160), 2));
    p.drawLine(QPointF(0, surface), QPointF(PictureSize, surface));
    drawSensor(p, QRectF(70, bed - 26, 20, 26));
    if (mode == dmDepth) {
        p.setPen(QPen(arrow, 3));
        drawArrow(p, QPointF(150, bed - 13), QPointF(150, surface));
        drawArrow(p, QPointF(150, surface + 20), QPointF(150, bed - 13));
        drawLabel(p, QRectF(160, 130, 90, 20), QStringLiteral("Depth"), Qt::white);
        return pixmap;
    }
    // Surface level: from a datum below up to the surface.
    const double datum = 244;
    p.setPen(QPen(arrow, 2, Qt::DashLine));
    p.drawLine(QPointF(0, datum), QPointF(PictureSize, datum));
    p.setPen(QPen(arrow, 3));
    drawArrow(p, QPointF(170, datum), QPointF(170, surface));
    drawLabel(p, QRectF(4, datum - 22, 80, 18), QStringLiteral("Datum"), Qt::white);
    drawLabel(p, QRectF(176, 130, 80, 20), QStringLiteral("Level"), Qt::white);
    return pixmap;
}

} // namespace

TSetPressureReferenceForm::TSetPressureReferenceForm(QWidget* owner, ConfigurationData* conf, CalibrationData* cal,
                                                     SensorStatusData* status, TSensor_Quarn* sensor,
                                                     const std::string& channelName)
    : TForm(owner, NoBorderIcons), Conf(conf), Cal(cal), Status(status), Sensor(sensor), ChannelName(channelName)
{
    setWindowTitle(QStringLiteral("Custom Pressure Reference"));
    calAtOpen_ = *Cal;
    SensorCal = *Cal;
    const int found = Sensor->findDepChannelNumber(ChannelName);
    ChannelNumber = static_cast<uint16_t>(found >= 0 ? found : 0xFFFF);

    for (enDatumMode mode : {dmDepth, dmSurfaceLevel, dmTopOfCase})
        ImageList1.push_back(modePicture(mode));

    RadioGroup1 = Named(new TRadioGroup(QString(),
                                        {QStringLiteral("Depth"), QStringLiteral("Surface Level"),
                                         QStringLiteral("Top of Case")},
                                        this),
                        "RadioGroup1");
    // The three items side by side.
    if (auto* row = qobject_cast<QBoxLayout*>(RadioGroup1->layout()))
        row->setDirection(QBoxLayout::LeftToRight);
    Image1 = Named(new QLabel(this), "Image1");
    Image1->setFixedSize(PictureSize, PictureSize);
    Image1->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    DatumValueLabel = Named(new QLabel(QStringLiteral("Reference value"), this), "DatumValueLabel");
    DatumValueEdit = Named(new QLineEdit(QStringLiteral("0.0"), this), "DatumValueEdit");
    UnitLabel1 = Named(new QLabel(this), "UnitLabel1");
    UpdateBtn = Named(MakeButton(QStringLiteral("Apply Reference")), "UpdateBtn");
    GCVLabel = Named(new QLabel(QStringLiteral("Pressure reading"), this), "GCVLabel");
    GCVEdit = Named(new QLineEdit(this), "GCVEdit");
    GCVEdit->setReadOnly(true);
    UnitLabel2 = Named(new QLabel(this), "UnitLabel2");
    GCV_Btn = Named(MakeButton(QStringLiteral("Take reading")), "GCV_Btn");
    Memo1 = Named(new TMemo(this), "Memo1");
    Memo1->setReadOnly(true);
    OkBtn = Named(MakeButton(QStringLiteral("Commit changes"), mrOk), "OkBtn");
    CancelBtn = Named(MakeButton(QStringLiteral("Cancel"), mrCancel), "CancelBtn");
    for (QLabel* unit : {UnitLabel1, UnitLabel2})
        unit->setMinimumWidth(60);
    for (QLineEdit* edit : {DatumValueEdit, GCVEdit})
        edit->setMaximumWidth(120);
    for (QPushButton* b : {UpdateBtn, GCV_Btn})
        b->setMinimumWidth(130);

    auto* values = new QGridLayout;
    values->addWidget(DatumValueLabel, 0, 0);
    values->addWidget(DatumValueEdit, 0, 1);
    values->addWidget(UnitLabel1, 0, 2);
    values->addWidget(UpdateBtn, 0, 3);
    values->addWidget(GCVLabel, 1, 0);
    values->addWidget(GCVEdit, 1, 1);
    values->addWidget(UnitLabel2, 1, 2);
    values->addWidget(GCV_Btn, 1, 3);
    values->setColumnStretch(2, 1);
    // The reference row keeps its place while hidden (mode Depth).
    for (QWidget* w : {static_cast<QWidget*>(DatumValueLabel), static_cast<QWidget*>(DatumValueEdit),
                       static_cast<QWidget*>(UnitLabel1)}) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
    }
    auto* right = new QVBoxLayout;
    right->addWidget(Memo1, 1);
    right->addLayout(values);
    auto* middle = new QHBoxLayout;
    middle->addWidget(Image1, 0, Qt::AlignTop);
    middle->addLayout(right, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(RadioGroup1);
    layout->addLayout(middle, 1);
    layout->addLayout(buttons);
    resize(720, 380);

    // The mode the sensor's datum coefficients show.
    float coeffs[5] = {0, 0, 0, 0, 0};
    Sensor->GetPressureChannelDatum(ChannelNumber, coeffs);
    RadioGroup1->SetItemIndex(ModeOf(coeffs));
    RadioGroup1Click();
    ConnectHandler(RadioGroup1, &TRadioGroup::Click, this, &TSetPressureReferenceForm::RadioGroup1Click);
    ConnectHandler(GCV_Btn, &QPushButton::clicked, this, &TSetPressureReferenceForm::GCV_BtnClick);
    ConnectHandler(UpdateBtn, &QPushButton::clicked, this, &TSetPressureReferenceForm::UpdateBtnClick);
    TKeyFilter::Install(DatumValueEdit, KeyRules::Decimal,
                        KeyPressHandler(this, &TSetPressureReferenceForm::DatumValueEditKeyPress, DatumValueEdit));

    if (ChannelNumber < ImageChannelCount) {
        const QString unit = Latin1Text(ImageText(Cal->Channels[ChannelNumber].UnitsText));
        UnitLabel1->setText(unit);
        UnitLabel2->setText(unit);
    }
}

TSetPressureReferenceForm::~TSetPressureReferenceForm() = default;

enDatumMode TSetPressureReferenceForm::ModeOf(const float coeffs[5])
{
    if (coeffs[1] == -1.0f)
        return dmTopOfCase;
    if (coeffs[0] == 0.0f)
        return dmDepth;
    return dmSurfaceLevel;
}

void TSetPressureReferenceForm::RadioGroup1Click()
{
    const int mode = RadioGroup1->ItemIndex();
    Memo1->clear();
    if (mode >= 0 && mode < static_cast<int>(ImageList1.size()))
        Image1->setPixmap(ImageList1[static_cast<size_t>(mode)]);
    const QStringList& help = mode == dmTopOfCase ? TopOfCaseHelp : mode == dmSurfaceLevel ? SurfaceLevelHelp
                                                                                           : DepthHelp;
    for (const QString& line : help)
        Memo1->appendPlainText(line);
    Memo1->moveCursor(QTextCursor::Start);
    const bool depth = mode == dmDepth;
    UpdateBtn->setText(depth ? QStringLiteral("Restore Default") : QStringLiteral("Apply Reference"));
    DatumValueEdit->setVisible(!depth);
    DatumValueLabel->setVisible(!depth);
    UnitLabel1->setVisible(!depth);
    if (depth)
        DatumValueEdit->setText(QStringLiteral("0"));
}

void TSetPressureReferenceForm::DatumValueEditKeyPress(QObject* /*Sender*/, QChar& Key)
{
    if (!KeyRules::Decimal(KeyRules::TextForKey(DatumValueEdit), Key))
        Key = QChar(0);
}

void TSetPressureReferenceForm::SetAllButtonsEnabled(bool enabled)
{
    const QList<QPushButton*> buttons = findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly);
    for (auto it = buttons.rbegin(); it != buttons.rend(); ++it)
        (*it)->setEnabled(enabled);
}

TSetPressureReferenceForm::ReadingResult TSetPressureReferenceForm::takeReading()
{
    Reading = NoValue;
    GCVEdit->clear();
    int position = 0;
    if (!monitorPosition(position))
        return rrNotMonitored;
    if (!Sensor->GetCurrentValues() || position >= Status->CurrentValueCount)
        return rrNoValue;
    const float value = Status->CurrentValues[position].Value;
    if (value == static_cast<float>(NoValue) || !std::isfinite(value))
        return rrNoValue;
    Reading = value;
    GCVEdit->setText(QString::number(static_cast<double>(value), 'g', 7));
    return rrOk;
}

QString TSetPressureReferenceForm::noReadingText(ReadingResult result) const
{
    if (result == rrNotMonitored)
        return QStringLiteral("The sensor reports no reading of %1: it is not among the monitor channels of the "
                              "sensor set-up.")
            .arg(Latin1Text(ChannelName));
    return QStringLiteral("No pressure reading was received from the sensor.");
}

bool TSetPressureReferenceForm::monitored() const
{
    int position = 0;
    return monitorPosition(position);
}

bool TSetPressureReferenceForm::monitorPosition(int& position) const
{
    // The live values come in the order of the monitor selection's enabled
    // channels; a channel outside it, or disabled, has none.
    position = 0;
    if (ChannelNumber >= ImageChannelCount || !Cal->Channels[ChannelNumber].Enabled)
        return false;
    const ScheduleSetupData& monitor = Conf->Schedules[MonitorScheduleRecord];
    const int count = std::min<int>(monitor.ChannelCount, sizeof monitor.Channels);
    for (int j = 0; j < count; ++j) {
        const uint8_t c = monitor.Channels[j];
        if (c == ChannelNumber)
            return true;
        if (c < ImageChannelCount && Cal->Channels[c].Enabled)
            ++position;
    }
    return false;
}

void TSetPressureReferenceForm::GCV_BtnClick()
{
    ReadingResult result = rrNoValue;
    {
        OperationScope scope;
        scope.busy([this](bool busy) { SetAllButtonsEnabled(!busy); });
        result = takeReading();
    }
    if (result != rrOk)
        ShowMessage(noReadingText(result));
}

void TSetPressureReferenceForm::setProgress(const char* text, int position)
{
    if (ProgressForm)
        ProgressForm->SetProgressText(Caption, text, position);
}

void TSetPressureReferenceForm::applyFailed(const QString& message)
{
    *Cal = calAtOpen_;
    ApplyFailed = true;
    ShowMessage(message);
}

void TSetPressureReferenceForm::UpdateBtnClick()
{
    const int mode = RadioGroup1->ItemIndex();
    // The reference is checked before anything is sent.
    double entered = 0;
    QString text;
    if (mode != dmDepth) {
        text = DatumValueEdit->text().trimmed();
        bool number = !text.isEmpty();
        if (number) {
            try {
                entered = StrToFloat(text.toLatin1().toStdString());
                number = std::isfinite(entered);
            } catch (const EConvertError&) {
                number = false;
            }
        }
        if (!number) {
            ShowMessage(QStringLiteral("Please enter the reference value as a number, for example 2.5."));
            return;
        }
    }
    float before[5] = {0, 0, 0, 0, 0};
    if (ChannelNumber >= ImageChannelCount || !Sensor->GetPressureChannelDatum(ChannelNumber, before)) {
        ShowMessage(QStringLiteral("%1 has no datum record in the sensor's calibration.").arg(Latin1Text(ChannelName)));
        return;
    }
    // A reference needs a reading of the channel, which the sensor gives only
    // for the monitor channels.
    if (mode != dmDepth && !monitored()) {
        ShowMessage(noReadingText(rrNotMonitored) + QStringLiteral(" The datum was not changed."));
        return;
    }

    // The reference must fit the datum's float as typed and in the base
    // unit; refused, nothing is sent and nothing changes.
    const uint8_t unit = Cal->Channels[ChannelNumber].UnitsCode;
    CheckImageFloat(entered, text.toStdString());
    const double reference = ToBaseUnit(entered, unit);
    ImageFloat(reference);

    GCVEdit->clear();
    // The progress window goes and the buttons come back on every way out.
    OperationScope scope;
    scope.busy([this](bool busy) { SetAllButtonsEnabled(!busy); });

    scope.own(std::make_unique<TDlProgForm>(this, false), ProgressForm);
    ProgressForm->setWindowTitle(QString::fromLatin1(Caption));
    setProgress("Configuring Sensor", 0);
    ProgressForm->setVisible(true);
    Applied = true;

    // The reading is taken without any earlier datum.
    const float neutral[5] = {0, 1.0f, 0, 0, 0};
    Sensor->SetPressureChannelDatum(ChannelNumber, neutral);
    setProgress("Configuring Sensor", 10);
    if (!Sensor->sendCalibrationData()) {
        applyFailed(QStringLiteral("Failed to update sensor, Please check sensor connectivity."));
        return;
    }
    SensorCal = *Cal;

    if (mode == dmDepth) {
        setProgress("Reading pressure, Please wait", 50);
        takeReading();
        setProgress("Done", 100);
        ApplyFailed = false;
        return;
    }

    setProgress("Reading pressure, Please wait", 25);
    const ReadingResult result = takeReading();
    if (result != rrOk) {
        // No datum is computed from a missing reading.
        applyFailed(noReadingText(result) + QStringLiteral(" The datum was not changed."));
        return;
    }
    Reading = ToBaseUnit(Reading, unit);
    float coeffs[5] = {0, 1.0f, 0, 0, 0};
    try {
        // Known only now, with the reading: an offset beyond a float is no
        // datum either.
        coeffs[0] = ImageFloat(mode == dmTopOfCase ? Reading + reference : reference - Reading);
    } catch (const EConvertError& e) {
        applyFailed(QString::fromStdString(e.what()) + QStringLiteral(". The datum was not changed."));
        return;
    }
    if (mode == dmTopOfCase)
        coeffs[1] = -1.0f;
    Sensor->SetPressureChannelDatum(ChannelNumber, coeffs);
    setProgress("Configuring Sensor", 50);
    if (!Sensor->sendCalibrationData()) {
        applyFailed(QStringLiteral("Failed to update sensor, Please check sensor connectivity."));
        return;
    }
    SensorCal = *Cal;
    setProgress("Reading pressure, Please wait", 75);
    takeReading();
    setProgress("Done", 100);
    ApplyFailed = false;
}
