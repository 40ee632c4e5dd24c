// The set-up dialog's start and stop methods of a schedule and their
// triggers.
#include "SensorSetupUnit.h"

#include "ExtCtrls.h"
#include "FormatSettings.h"
#include "HvSensor_Quarn.h"
#include "SysUtils.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <charconv>
#include <string>
#include <vector>

namespace {

// The shortest text that reads back as the same 32-bit float ("1.2", not
// "1.20000004768372").
QString floatText(float value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return QString::fromLatin1(text, static_cast<int>(result.ptr - text));
}

// The user's short date with the year in four digits: the sensor keeps
// years 2000 to 2199.
QString datePicture()
{
    QString picture = TFormatSettings::System().ShortDateFormat;
    if (!picture.contains(QLatin1String("yyyy")))
        picture.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return picture;
}

QDateEdit* datePicker(QWidget* parent, const char* name, bool calendar)
{
    auto* picker = Named(new QDateEdit(parent), name);
    picker->setDisplayFormat(datePicture());
    picker->setDateRange(QDate(2000, 1, 1), QDate(2199, 12, 31));
    picker->setCalendarPopup(calendar);
    picker->setFixedWidth(130);
    return picker;
}

QTimeEdit* timePicker(QWidget* parent, const char* name)
{
    auto* picker = Named(new QTimeEdit(parent), name);
    picker->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    picker->setFixedWidth(130);
    return picker;
}

QLabel* noteLabel(QWidget* parent, const char* name)
{
    auto* note = Named(new QLabel(parent), name);
    note->setStyleSheet(QStringLiteral("color: red"));
    note->setWordWrap(true);
    return note;
}

void showTimestamp(const Timestamp& stamp, QDateEdit* date, QTimeEdit* time)
{
    TDateTime value = 0;
    TSensor_Quarn::encodeTDateTime(stamp, &value);
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
    DecodeDateTime(value, year, month, day, hour, minute, second, msec);
    // No time at all (an invalid stamp) shows the earliest date the sensor
    // keeps.
    date->setDate(value == 0.0 ? date->minimumDate() : QDate(year, month, day));
    time->setTime(QTime(hour, minute, second));
}

// The date and time the pickers show, into the sensor's form.
void storeTimestamp(const QDateEdit* datePicker, const QTimeEdit* timePicker, Timestamp* stamp)
{
    const QDate date = datePicker->date();
    const QTime time = timePicker->time();
    const TDateTime value =
        EncodeDate(date.year(), date.month(), date.day()) + EncodeTime(time.hour(), time.minute(), time.second(), 0);
    TSensor_Quarn::decodeTDateTime(value, stamp);
}

// The channels that may trigger, none of them chosen.
void showTriggerChannels(QComboBox* list, const std::vector<std::string>& names)
{
    list->clear();
    for (const std::string& name : names)
        list->addItem(Latin1Text(name));
    list->setCurrentIndex(-1);
}

const char* const CauseTexts[] = {"RISING", "FALLING", "DATA VARIATION"};

} // namespace

// --- building the tabs --------------------------------------------------------------

void TSensorSetupForm::BuildMethodPages()
{
    const QStringList methods = {QStringLiteral("Time"), QStringLiteral("Simple trigger")};
    StartMethodRadioGroup =
        Named(new TRadioGroup(QStringLiteral("Trigger Method"), methods, StartMethodTab), "StartMethodRadioGroup");
    StopMethodRadioGroup =
        Named(new TRadioGroup(QStringLiteral("Trigger Method"), methods, StopMethodTab), "StopMethodRadioGroup");

    StartMethodDatePicker = datePicker(TriggerTimeTab, "StartMethodDatePicker", false);
    StartMethodTimePicker = timePicker(TriggerTimeTab, "StartMethodTimePicker");
    StopMethodDatePicker = datePicker(StopTimeTab, "StopMethodDatePicker", true);
    StopMethodTimePicker = timePicker(StopTimeTab, "StopMethodTimePicker");

    StartTriggerCB = Named(new QComboBox(TriggerSimpleTab), "StartTriggerCB");
    StopTriggerCB = Named(new QComboBox(StopSimpleTab), "StopTriggerCB");
    StartTriggerCauseCB = Named(new QComboBox(TriggerSimpleTab), "StartTriggerCauseCB");
    StopTriggerCauseCB = Named(new QComboBox(StopSimpleTab), "StopTriggerCauseCB");
    for (const char* cause : CauseTexts)
        StartTriggerCauseCB->addItem(QString::fromLatin1(cause));
    StopTriggerCauseCB->addItem(QString::fromLatin1(CauseTexts[tcRising]));
    StopTriggerCauseCB->addItem(QString::fromLatin1(CauseTexts[tcFalling]));
    for (QComboBox* combo : {StartTriggerCB, StopTriggerCB, StartTriggerCauseCB, StopTriggerCauseCB})
        combo->setFixedWidth(160);

    const auto valueEdit = [this](QWidget* parent, const char* name) {
        auto* edit = Named(new QLineEdit(parent), name);
        edit->setFixedWidth(120);
        SetKeyFilter(edit, &TSensorSetupForm::TriggerSetPointValueEditKeyPress);
        return edit;
    };
    TriggerSetPointValueEdit = valueEdit(TriggerSimpleTab, "TriggerSetPointValueEdit");
    TriggerreEnableValueEdit = valueEdit(TriggerSimpleTab, "TriggerreEnableValueEdit");
    StopTriggerSetPointEdit = valueEdit(StopSimpleTab, "StopTriggerSetPointEdit");
    StopTriggerReEnableEdit = valueEdit(StopSimpleTab, "StopTriggerReEnableEdit");
    TriggerSetPointLabel = new QLabel(QStringLiteral("Set Point Value"), TriggerSimpleTab);
    TriggerReEnableLabel = new QLabel(QStringLiteral("Re-enable Value"), TriggerSimpleTab);
    StopTriggerSetPointLabel = new QLabel(QStringLiteral("Set Point Value"), StopSimpleTab);
    StopTriggerReEnableLabel = new QLabel(QStringLiteral("Re-enable Value"), StopSimpleTab);
    StartTriggerNote = noteLabel(TriggerSimpleTab, "StartTriggerNote");
    StopTriggerNote = noteLabel(StopSimpleTab, "StopTriggerNote");

    struct Side {
        QWidget* tab;
        TRadioGroup* radio;
        QStackedWidget* pages;
        QWidget* timePage;
        QDateEdit* date;
        QTimeEdit* time;
        QWidget* simplePage;
        QComboBox* channel;
        QComboBox* cause;
        QLabel* setPointLabel;
        QLineEdit* setPoint;
        QLabel* reEnableLabel;
        QLineEdit* reEnable;
        QLabel* note;
    };
    const Side sides[] = {
        {StartMethodTab, StartMethodRadioGroup, TriggerPageControl, TriggerTimeTab, StartMethodDatePicker,
         StartMethodTimePicker, TriggerSimpleTab, StartTriggerCB, StartTriggerCauseCB, TriggerSetPointLabel,
         TriggerSetPointValueEdit, TriggerReEnableLabel, TriggerreEnableValueEdit, StartTriggerNote},
        {StopMethodTab, StopMethodRadioGroup, StopPageControl, StopTimeTab, StopMethodDatePicker,
         StopMethodTimePicker, StopSimpleTab, StopTriggerCB, StopTriggerCauseCB, StopTriggerSetPointLabel,
         StopTriggerSetPointEdit, StopTriggerReEnableLabel, StopTriggerReEnableEdit, StopTriggerNote},
    };
    for (const Side& side : sides) {
        side.radio->setFixedWidth(150);
        auto* timeForm = new QFormLayout(side.timePage);
        timeForm->addRow(QStringLiteral("Date"), side.date);
        timeForm->addRow(QStringLiteral("Time"), side.time);
        auto* simple = new QVBoxLayout(side.simplePage);
        auto* simpleForm = new QFormLayout;
        simpleForm->addRow(QStringLiteral("Channel"), side.channel);
        simpleForm->addRow(QStringLiteral("Condition"), side.cause);
        simpleForm->addRow(side.setPointLabel, side.setPoint);
        simpleForm->addRow(side.reEnableLabel, side.reEnable);
        simple->addLayout(simpleForm);
        simple->addWidget(side.note);
        simple->addStretch();
        auto* l = new QHBoxLayout(side.tab);
        l->addWidget(side.radio, 0, Qt::AlignTop);
        l->addSpacing(8);
        l->addWidget(side.pages, 1);
    }

    ConnectHandler(StartMethodRadioGroup, &TRadioGroup::Click, this, &TSensorSetupForm::StartMethodRadioGroupClick);
    ConnectHandler(StopMethodRadioGroup, &TRadioGroup::Click, this, &TSensorSetupForm::StopMethodRadioGroupClick);
    ConnectHandler(StartMethodDatePicker, &QDateEdit::dateChanged, this,
                   &TSensorSetupForm::StartMethodDatePickerChange);
    ConnectHandler(StartMethodTimePicker, &QTimeEdit::timeChanged, this,
                   &TSensorSetupForm::StartMethodDatePickerChange);
    ConnectHandler(StopMethodDatePicker, &QDateEdit::dateChanged, this, &TSensorSetupForm::StopMethodDatePickerChange);
    ConnectHandler(StopMethodTimePicker, &QTimeEdit::timeChanged, this, &TSensorSetupForm::StopMethodDatePickerChange);
    for (QComboBox* combo : {StartTriggerCB, StopTriggerCB})
        connect(combo, &QComboBox::activated, this, [this, combo] { RunHandler([&] { StartTriggerCBChange(combo); }); });
    ConnectHandler(StartTriggerCauseCB, &QComboBox::currentIndexChanged, this,
                   &TSensorSetupForm::StartTriggerCauseCBChange);
    ConnectHandler(StopTriggerCauseCB, &QComboBox::currentIndexChanged, this,
                   &TSensorSetupForm::StopTriggerCauseCBChange);
    for (QLineEdit* edit : {TriggerSetPointValueEdit, TriggerreEnableValueEdit, StopTriggerSetPointEdit,
                            StopTriggerReEnableEdit})
        connect(edit, &QLineEdit::textChanged, this,
                [this, edit] { RunHandler([&] { TriggerSetPointValueEditChange(edit); }); });
}

// --- filling the tabs -----------------------------------------------------------------

int TSensorSetupForm::MethodTrigger(bool stop) const
{
    const int r = ScheduleIndex;
    if (r < 2 || r > LastUserSchedule)
        return -1;
    const ScheduleSetupData& s = Conf->Schedules[r];
    if ((stop ? s.StopByTime : s.StartByTime) != 0)
        return -1;
    const MethodSetupData& m = Conf->Methods[r + (stop ? StopMethodOffset : 0)];
    const uint16_t action = m.Action;
    const int t = m.TriggerNumbers[0];
    // Only an entry that belongs to this schedule's method, and one the
    // table has room for (entry 0 is never handed out).
    if (m.ScheduleNumber != r || action != (stop ? 1 : 0) || m.MethodType != 1 || t < 1 || t >= TriggerEntryCount)
        return -1;
    return t;
}

void TSensorSetupForm::ShowMethod(int r, bool stop)
{
    UpdatingScope updating(Updating);
    const ScheduleSetupData& s = Conf->Schedules[r];
    TRadioGroup* radio = stop ? StopMethodRadioGroup : StartMethodRadioGroup;
    QStackedWidget* pages = stop ? StopPageControl : TriggerPageControl;
    QComboBox* channel = stop ? StopTriggerCB : StartTriggerCB;
    QComboBox* cause = stop ? StopTriggerCauseCB : StartTriggerCauseCB;
    QLineEdit* setPoint = stop ? StopTriggerSetPointEdit : TriggerSetPointValueEdit;
    QLineEdit* reEnable = stop ? StopTriggerReEnableEdit : TriggerreEnableValueEdit;
    (stop ? StopTriggerNote : StartTriggerNote)->clear();

    const bool byTime = (stop ? s.StopByTime : s.StartByTime) != 0;
    radio->SetItemIndex(byTime ? tmTime : tmSimpleTrigger);
    if (byTime) {
        showTimestamp(stop ? s.StopTime : s.StartTime, stop ? StopMethodDatePicker : StartMethodDatePicker,
                      stop ? StopMethodTimePicker : StartMethodTimePicker);
        pages->setCurrentWidget(stop ? StopTimeTab : TriggerTimeTab);
        return;
    }

    std::vector<std::string> names;
    Sensor->GetTriggerableChannels(names);
    showTriggerChannels(channel, names);
    pages->setCurrentWidget(stop ? StopSimpleTab : TriggerSimpleTab);

    const int t = MethodTrigger(stop);
    if (t < 0) {
        // Nothing of another schedule's trigger stays on show.
        setPoint->clear();
        reEnable->clear();
        cause->setCurrentIndex(-1);
        (stop ? StopTriggerNote : StartTriggerNote)
            ->setText(QStringLiteral("This method names no trigger entry of its own. Choose Time, then Simple "
                                     "trigger, to give it one."));
        return;
    }
    const int triggerChannel = Conf->Triggers[t].Channel;
    channel->setCurrentIndex(
        triggerChannel < ImageChannelCount ? channel->findText(Latin1Text(ImageText(Cal->Channels[triggerChannel].Name)))
                                           : -1);
    ShowTriggerValues(t, stop);
}

void TSensorSetupForm::ShowTriggerValues(int t, bool stop)
{
    const TriggerSetupData& trigger = Conf->Triggers[t];
    (stop ? StopTriggerSetPointEdit : TriggerSetPointValueEdit)->setText(floatText(trigger.SetPoint));
    (stop ? StopTriggerReEnableEdit : TriggerreEnableValueEdit)->setText(floatText(trigger.ReEnableValue));
    QComboBox* cause = stop ? StopTriggerCauseCB : StartTriggerCauseCB;
    const uint16_t condition = trigger.Condition;
    cause->setCurrentIndex(condition < cause->count() ? condition : -1);
    // The labels follow the condition also when the index did not change.
    if (stop)
        StopTriggerCauseCBChange();
    else
        StartTriggerCauseCBChange();
}

// --- handlers -------------------------------------------------------------------------

void TSensorSetupForm::StartMethodRadioGroupClick()
{
    MethodRadioGroupClick(false);
}

void TSensorSetupForm::StopMethodRadioGroupClick()
{
    MethodRadioGroupClick(true);
}

void TSensorSetupForm::MethodRadioGroupClick(bool stop)
{
    const int r = ScheduleIndex;
    if (Updating || r < 2 || r > LastUserSchedule)
        return;
    ScheduleSetupData& s = Conf->Schedules[r];
    MethodSetupData& m = Conf->Methods[r + (stop ? StopMethodOffset : 0)];
    TRadioGroup* radio = stop ? StopMethodRadioGroup : StartMethodRadioGroup;
    QStackedWidget* pages = stop ? StopPageControl : TriggerPageControl;
    const uint16_t action = stop ? 1 : 0;
    const bool wasByTime = (stop ? s.StopByTime : s.StartByTime) != 0;

    if (radio->ItemIndex() == tmTime) {
        (stop ? s.StopByTime : s.StartByTime) = 1;
        m.Enabled = 0;
        m.MethodType = 0;
        m.Action = action;
        m.ScheduleNumber = 255;
        m.TriggerNumbers[0] = 0;
        Sensor->ValidateTriggers();
        {
            UpdatingScope updating(Updating);
            showTimestamp(stop ? s.StopTime : s.StartTime, stop ? StopMethodDatePicker : StartMethodDatePicker,
                          stop ? StopMethodTimePicker : StartMethodTimePicker);
        }
        pages->setCurrentWidget(stop ? StopTimeTab : TriggerTimeTab);
        return;
    }
    if (radio->ItemIndex() != tmSimpleTrigger)
        return;

    // The channels that may trigger, as they stand before this method
    // leaves the time-driven ones.
    std::vector<std::string> names;
    Sensor->GetTriggerableChannels(names);

    int t = MethodTrigger(stop);
    if (t < 0 || wasByTime) {
        // A method that holds no entry of its own takes the first free one.
        t = Sensor->GetNextFreeTrigger();
        if (t < 1 || t >= TriggerEntryCount) {
            {
                UpdatingScope updating(Updating);
                radio->SetItemIndex(wasByTime ? tmTime : tmSimpleTrigger);
            }
            ShowMessage(QStringLiteral("All 31 triggers are in use, unable to ")
                        + (stop ? QStringLiteral("stop") : QStringLiteral("start"))
                        + QStringLiteral(" this schedule by a trigger. Set another schedule's start or stop method "
                                         "to Time to free a trigger."));
            return;
        }
        (stop ? s.StopByTime : s.StartByTime) = 0;
        m.Enabled = 1;
        m.MethodType = 1;
        m.Action = action;
        m.ScheduleNumber = static_cast<uint8_t>(r);
        m.TriggerNumbers[0] = static_cast<uint8_t>(t);
        Conf->Triggers[t].InUse = 1;
    }

    UpdatingScope updating(Updating);
    showTriggerChannels(stop ? StopTriggerCB : StartTriggerCB, names);
    ShowTriggerValues(t, stop);
    (stop ? StopTriggerNote : StartTriggerNote)->clear();
    pages->setCurrentWidget(stop ? StopSimpleTab : TriggerSimpleTab);
}

void TSensorSetupForm::StartMethodDatePickerChange()
{
    if (Updating || ScheduleIndex < 2 || ScheduleIndex > LastUserSchedule)
        return;
    storeTimestamp(StartMethodDatePicker, StartMethodTimePicker, &Conf->Schedules[ScheduleIndex].StartTime);
}

void TSensorSetupForm::StopMethodDatePickerChange()
{
    // The stop time the pickers show is the one the schedule keeps: an edit
    // in them is stored as the start pickers store theirs.
    if (Updating || ScheduleIndex < 2 || ScheduleIndex > LastUserSchedule)
        return;
    storeTimestamp(StopMethodDatePicker, StopMethodTimePicker, &Conf->Schedules[ScheduleIndex].StopTime);
}

void TSensorSetupForm::StartTriggerCBChange(QObject* Sender)
{
    if (Updating || !Sender)
        return;
    const bool stop = Sender->objectName() == QLatin1String("StopTriggerCB");
    QComboBox* combo = stop ? StopTriggerCB : StartTriggerCB;
    const int t = MethodTrigger(stop);
    if (t < 0 || combo->currentIndex() < 0)
        return;
    const int channel = Sensor->findDepChannelNumber(combo->currentText().toLatin1().toStdString());
    if (channel < 0)
        return;
    Conf->Triggers[t].Channel = static_cast<uint8_t>(channel);
}

void TSensorSetupForm::StartTriggerCauseCBChange()
{
    const int index = StartTriggerCauseCB->currentIndex();
    if (index == tcRising || index == tcFalling) {
        TriggerSetPointLabel->setText(QStringLiteral("Set Point Value"));
        TriggerReEnableLabel->show();
        TriggerreEnableValueEdit->show();
    } else if (index == tcDataVariation) {
        TriggerSetPointLabel->setText(QStringLiteral("Variation Value"));
        TriggerReEnableLabel->hide();
        TriggerreEnableValueEdit->hide();
    }
    const int t = MethodTrigger(false);
    if (Updating || t < 0 || index < 0)
        return;
    Conf->Triggers[t].Condition = static_cast<uint16_t>(static_cast<uint8_t>(index));
}

void TSensorSetupForm::StopTriggerCauseCBChange()
{
    const int index = StopTriggerCauseCB->currentIndex();
    if (index == tcRising || index == tcFalling) {
        StopTriggerSetPointLabel->setText(QStringLiteral("Set Point Value"));
        StopTriggerReEnableLabel->show();
        StopTriggerReEnableEdit->show();
    }
    const int t = MethodTrigger(true);
    if (Updating || t < 0 || index < 0)
        return;
    Conf->Triggers[t].Condition = static_cast<uint16_t>(static_cast<uint8_t>(index));
}

void TSensorSetupForm::TriggerSetPointValueEditChange(QObject* Sender)
{
    auto* edit = qobject_cast<QLineEdit*>(Sender);
    if (Updating || !edit || edit->text().isEmpty())
        return;
    const QString name = edit->objectName();
    const bool stop = name == QLatin1String("StopTriggerSetPointEdit") || name == QLatin1String("StopTriggerReEnableEdit");
    const bool setPoint =
        name == QLatin1String("TriggerSetPointValueEdit") || name == QLatin1String("StopTriggerSetPointEdit");
    const int t = MethodTrigger(stop);
    if (t < 0)
        return;
    TriggerSetupData& trigger = Conf->Triggers[t];
    QLabel* note = stop ? StopTriggerNote : StartTriggerNote;
    const float stored = setPoint ? trigger.SetPoint : trigger.ReEnableValue;
    const QString what = !setPoint ? QStringLiteral("re-enable value")
                         : (!stop && StartTriggerCauseCB->currentIndex() == tcDataVariation)
                             ? QStringLiteral("variation value")
                             : QStringLiteral("set point");

    double value = 0;
    try {
        value = StrToFloat(edit->text().toStdString());
    } catch (const EConvertError&) {
        note->setText(QStringLiteral("\"") + edit->text() + QStringLiteral("\" is not a number: the ") + what
                      + QStringLiteral(" stays ") + floatText(stored) + QStringLiteral("."));
        return;
    }
    if (!FitsImageFloat(value)) {
        note->setText(QStringLiteral("\"") + edit->text() + QStringLiteral("\" is too large: the ") + what
                      + QStringLiteral(" stays ") + floatText(stored) + QStringLiteral("."));
        return;
    }
    note->clear();
    if (setPoint)
        trigger.SetPoint = static_cast<float>(value);
    else
        trigger.ReEnableValue = static_cast<float>(value);
}
