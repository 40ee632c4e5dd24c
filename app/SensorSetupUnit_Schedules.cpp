// The set-up dialog's schedules page: schedules, their channels, scan and
// record times, maximum scans and averaging; adding, deleting and renaming
// schedules.
#include "SensorSetupUnit.h"

#include "CSpin.h"
#include "ChannelSelectionUnit.h"
#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "HvSensor_Quarn.h"
#include "StdCtrls.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

struct TimeEntry {
    const char* text;
    uint32_t time; // 1/100 s
};

// The schedule times the dialog offers, shortest first.
constexpr TimeEntry TimeTable[TSensorSetupForm::TimeTableCount] = {
    {"1 second", 100},       {"2 seconds", 200},      {"3 seconds", 300},     {"4 seconds", 400},
    {"5 seconds", 500},      {"10 seconds", 1000},    {"15 seconds", 1500},   {"20 seconds", 2000},
    {"30 seconds", 3000},    {"1 minute", 6000},      {"2 minutes", 12000},   {"3 minutes", 18000},
    {"4 minutes", 24000},    {"5 minutes", 30000},    {"6 minutes", 36000},   {"10 minutes", 60000},
    {"15 minutes", 90000},   {"20 minutes", 120000},  {"30 minutes", 180000}, {"1 hour", 360000},
    {"2 hours", 720000},     {"3 hours", 1080000},    {"4 hours", 1440000},   {"5 hours", 1800000},
    {"6 hours", 2160000},    {"8 hours", 2880000},    {"12 hours", 4320000},  {"24 hours", 8640000},
};

constexpr int MaxChannels = TSensor_Quarn::MaxScheduleChannels;
constexpr int MinReadings = 1, MaxReadings = 1000;
constexpr int MinIntervalSeconds = 1, MaxIntervalSeconds = 1000;

// Hands the events of one object to a function first; it returns true for
// an event it has dealt with. The hook lives as long as `owner`.
class EventHook : public QObject {
public:
    EventHook(QObject* owner, QObject* target, std::function<bool(QEvent*)> hook)
        : QObject(owner), hook_(std::move(hook))
    {
        target->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override { return hook_(event); }

private:
    std::function<bool(QEvent*)> hook_;
};

// Seconds of a time in 1/100 s, as the dialog writes them: "2", "0.5".
QString secondsText(uint64_t hundredths)
{
    return QString::number(double(hundredths) / 100.0, 'g', 12);
}

// A whole number of at most nine digits, or -1.
int wholeNumber(const QString& text)
{
    if (text.isEmpty() || text.size() > 9)
        return -1;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
    return text.toInt();
}

// Inserts `text` where an alphabetical list (ignoring case) keeps it.
void addSorted(QListWidget* list, const QString& text)
{
    int row = 0;
    while (row < list->count() && QString::compare(list->item(row)->text(), text, Qt::CaseInsensitive) <= 0)
        ++row;
    list->insertItem(row, text);
}

bool listHolds(const QListWidget* list, const QString& text)
{
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text() == text)
            return true;
    return false;
}

std::vector<std::string> listNames(const QListWidget* list)
{
    std::vector<std::string> names;
    for (int i = 0; i < list->count(); ++i)
        names.push_back(list->item(i)->text().toLatin1().toStdString());
    return names;
}

// How many channel numbers `names` take with the channels they are computed
// from, each once; this may exceed what a record can hold.
int composedChannelCount(TSensor_Quarn* sensor, const std::vector<std::string>& names)
{
    std::vector<int> all;
    for (const std::string& name : names) {
        const int channel = sensor->findDepChannelNumber(name);
        if (channel < 0)
            continue;
        int deps[MaxChannels] = {channel};
        int count = 0;
        sensor->zz_findChannelDependencies(&count, deps);
        for (int i = 0; i < count; ++i)
            if (std::find(all.begin(), all.end(), deps[i]) == all.end())
                all.push_back(deps[i]);
    }
    return all.empty() ? 1 : static_cast<int>(all.size());
}

const char* const ChannelLimitText =
    "A schedule can hold at most 25 channels, counting the channels they are computed from. ";

const char* const AveragingRuleText =
    "Number of readings * interval between readings must be less then the schedule scan time.";

} // namespace

// --- the schedule time table ------------------------------------------------------

QString TSensorSetupForm::TimeToText(uint64_t value)
{
    for (const TimeEntry& e : TimeTable)
        if (e.time == value)
            return QString::fromLatin1(e.text);
    return QString();
}

uint32_t TSensorSetupForm::TextToTime(const QString& text)
{
    for (const TimeEntry& e : TimeTable)
        if (text == QLatin1String(e.text))
            return e.time;
    return 0;
}

uint32_t TSensorSetupForm::MinimumScanTime(uint64_t span)
{
    for (const TimeEntry& e : TimeTable)
        if (e.time > span)
            return e.time;
    return 100;
}

void TSensorSetupForm::FillScanTimeList(QComboBox* list, uint32_t minimum)
{
    list->clear();
    for (const TimeEntry& e : TimeTable)
        if (e.time >= minimum)
            list->addItem(QString::fromLatin1(e.text));
}

void TSensorSetupForm::FillRecordTimeList(QComboBox* list, uint32_t scan)
{
    list->clear();
    // A scan time of 0 (an image made elsewhere) has no multiples to offer;
    // choosing a scan time fills the list again.
    if (scan == 0)
        return;
    for (const TimeEntry& e : TimeTable)
        if (e.time % scan == 0)
            list->addItem(QString::fromLatin1(e.text));
}

int TSensorSetupForm::TimeTableIndex(uint64_t value)
{
    for (int i = 0; i < TimeTableCount; ++i)
        if (TimeTable[i].time == value)
            return i;
    return TimeTableCount;
}

// --- building the page ------------------------------------------------------------

void TSensorSetupForm::BuildSchedulePages()
{
    BuildSchedulesPage();
    BuildMethodPages();
    BuildOverviewPage();
}

void TSensorSetupForm::BuildSchedulesPage()
{
    ScheduleEnabledCheckBox =
        Named(new QCheckBox(QStringLiteral("Schedule Enabled"), Sched_Panel), "ScheduleEnabledCheckBox");
    ScheduleNameEditBox = Named(new QLineEdit(Sched_Panel), "ScheduleNameEditBox");
    ScheduleNameEditBox->setReadOnly(true);
    ScheduleNameEditBox->setToolTip(
        QStringLiteral("To change the schedule name, select a schedule in the tree view. Then right click to select "
                       "Rename Schedule from the pop up menu."));
    ScheduleNameEditBox->setFixedWidth(170);

    Schedule_ChannelListBox = Named(new QListWidget(Sched_Panel), "Schedule_ChannelListBox");
    Schedule_ChannelListBox->setSelectionMode(QAbstractItemView::SingleSelection);
    Schedule_ChannelListBox->setAcceptDrops(true);
    Schedule_ChannelListBox->viewport()->setAcceptDrops(true);
    Schedule_ChannelListBox->setFixedSize(200, 116);
    Schedule_ChannelListBox->setContextMenuPolicy(Qt::CustomContextMenu);
    ChannelListPopupMenu = Named(new QMenu(this), "ChannelListPopupMenu");
    DeleteChannel1 = Named(ChannelListPopupMenu->addAction(QStringLiteral("Remove channel")), "DeleteChannel1");
    connect(Schedule_ChannelListBox, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        ChannelListPopupMenu->popup(Schedule_ChannelListBox->viewport()->mapToGlobal(pos));
    });
    // Channels arrive by drag and drop from the tree.
    new EventHook(&scheduleHooks_, Schedule_ChannelListBox->viewport(), [this](QEvent* event) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            bool accept = false;
            RunHandler([&] { Schedule_ChannelListBoxDragOver(Schedule_ChannelListBox, drag->mimeData(), accept); });
            if (accept)
                drag->acceptProposedAction();
            else
                drag->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            bool accept = false;
            Schedule_ChannelListBoxDragOver(Schedule_ChannelListBox, drop->mimeData(), accept);
            if (!accept) {
                drop->ignore();
                return true;
            }
            drop->acceptProposedAction();
            RunHandler([&] { Schedule_ChannelListBoxDragDrop(Schedule_ChannelListBox); });
            return true;
        }
        default:
            return false;
        }
    });

    auto* help = new QLabel(QStringLiteral("To add channels to a schedule, drag and drop channels from the Tree View, "
                                           "into the adjacent list box. Max of 8.        To delete channels, right "
                                           "click on channel name and select remove."),
                            Sched_Panel);
    help->setWordWrap(true);
    help->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // "Logging Settings"
    SchedulesScanTimeComboBox = Named(new QComboBox(SchedulesLoggingTab), "SchedulesScanTimeComboBox");
    SchedulesRecordTimeComboBox = Named(new QComboBox(SchedulesLoggingTab), "SchedulesRecordTimeComboBox");
    for (QComboBox* combo : {SchedulesScanTimeComboBox, SchedulesRecordTimeComboBox}) {
        combo->setMaxVisibleItems(14);
        combo->setFixedWidth(150);
    }
    MaxScanCheckBox = Named(new QCheckBox(QStringLiteral("Maximum Number of Scans"), SchedulesLoggingTab),
                            "MaxScanCheckBox");
    MaxScansEdit = Named(new QLineEdit(SchedulesLoggingTab), "MaxScansEdit");
    MaxScansEdit->setMaxLength(6);
    MaxScansEdit->setFixedWidth(90);
    MaxScansNote = Named(new QLabel(SchedulesLoggingTab), "MaxScansNote");
    MaxScansNote->setStyleSheet(QStringLiteral("color: red"));
    MaxScansNote->setWordWrap(true);
    {
        auto* form = new QFormLayout;
        form->addRow(QStringLiteral("Scan Time"), SchedulesScanTimeComboBox);
        form->addRow(QStringLiteral("Record Time"), SchedulesRecordTimeComboBox);
        auto* maxRow = new QHBoxLayout;
        maxRow->addWidget(MaxScanCheckBox);
        maxRow->addWidget(MaxScansEdit);
        maxRow->addStretch();
        auto* l = new QVBoxLayout(SchedulesLoggingTab);
        l->addLayout(form);
        l->addSpacing(10);
        l->addLayout(maxRow);
        l->addWidget(MaxScansNote);
        l->addStretch();
    }

    // "Averaging"
    ScheduleAvgCheckBox = Named(new QCheckBox(QStringLiteral("Averaging Enabled"), SchedulesAveragingTab),
                                "ScheduleAvgCheckBox");
    ScheduleAvgNumberEditBox = Named(new TCSpinEdit(AvgPanel), "ScheduleAvgNumberEditBox");
    ScheduleAvgIntervalEditBox = Named(new TCSpinEdit(AvgPanel), "ScheduleAvgIntervalEditBox");
    for (TCSpinEdit* spin : {ScheduleAvgNumberEditBox, ScheduleAvgIntervalEditBox}) {
        spin->SetMinValue(1);
        spin->SetMaxValue(1000);
        spin->setFixedWidth(90);
    }
    {
        auto* form = new QFormLayout(AvgPanel);
        form->addRow(QStringLiteral("Number of readings to average"), ScheduleAvgNumberEditBox);
        form->addRow(QStringLiteral("Interval between readings in seconds"), ScheduleAvgIntervalEditBox);
        auto* l = new QVBoxLayout(SchedulesAveragingTab);
        l->addWidget(ScheduleAvgCheckBox);
        l->addWidget(AvgPanel);
        l->addWidget(AveragingWarningLabel);
        l->addStretch();
    }

    {
        auto* nameRow = new QHBoxLayout;
        nameRow->addWidget(ScheduleEnabledCheckBox);
        nameRow->addStretch();
        nameRow->addWidget(new QLabel(QStringLiteral("Schedule Name"), Sched_Panel));
        nameRow->addWidget(ScheduleNameEditBox);
        auto* listColumn = new QVBoxLayout;
        listColumn->addWidget(new QLabel(QStringLiteral("Channels used in Schedule"), Sched_Panel));
        listColumn->addWidget(Schedule_ChannelListBox);
        auto* channelRow = new QHBoxLayout;
        channelRow->addLayout(listColumn);
        channelRow->addSpacing(8);
        auto* helpColumn = new QVBoxLayout;
        helpColumn->addSpacing(20);
        helpColumn->addWidget(help);
        helpColumn->addStretch();
        channelRow->addLayout(helpColumn, 1);
        auto* l = new QVBoxLayout(Sched_Panel);
        l->setContentsMargins(0, 0, 0, 0);
        l->addLayout(nameRow);
        l->addSpacing(4);
        l->addLayout(channelRow);
        l->addSpacing(6);
        l->addWidget(ScheduleSettingsPanel, 1);
    }

    // Key filters and handlers.
    SetKeyFilter(MaxScansEdit, &TSensorSetupForm::Chan_PresisionEditKeyPress);
    SetKeyFilter(ScheduleAvgNumberEditBox, &TSensorSetupForm::Chan_PresisionEditKeyPress);
    SetKeyFilter(ScheduleAvgIntervalEditBox, &TSensorSetupForm::Chan_PresisionEditKeyPress);
    // A spin edit that is shown, hidden or left shows what the image holds:
    // the spin's own correction of a text it cannot hold as its number
    // ("0", "0.5") is no edit of the user's.
    for (TCSpinEdit* spin : {ScheduleAvgNumberEditBox, ScheduleAvgIntervalEditBox})
        for (QObject* target : {static_cast<QObject*>(spin), static_cast<QObject*>(spin->findChild<QLineEdit*>())})
            new EventHook(&scheduleHooks_, target, [this, spin, target](QEvent* event) {
                if (event->type() != QEvent::FocusOut && event->type() != QEvent::Show && event->type() != QEvent::Hide)
                    return false;
                UpdatingScope updating(Updating);
                target->event(event);
                if (const ScheduleSetupData* s = ShownSchedule())
                    spin->SetText(spin == ScheduleAvgNumberEditBox ? QString::number(s->AverageCount)
                                                                   : secondsText(s->AverageInterval));
                return true;
            });

    ConnectHandler(ScheduleEnabledCheckBox, &QCheckBox::toggled, this,
                   &TSensorSetupForm::ScheduleEnabledCheckBoxClick);
    ConnectHandler(DeleteChannel1, &QAction::triggered, this, &TSensorSetupForm::DeleteChannel1Click);
    // Only a choice of the user's: the program fills the lists itself.
    ConnectHandler(SchedulesScanTimeComboBox, &QComboBox::activated, this,
                   &TSensorSetupForm::SchedulesScanTimeComboBoxChange);
    ConnectHandler(SchedulesRecordTimeComboBox, &QComboBox::activated, this,
                   &TSensorSetupForm::SchedulesRecordTimeComboBoxChange);
    ConnectHandler(MaxScanCheckBox, &QCheckBox::toggled, this, &TSensorSetupForm::MaxScanCheckBoxClick);
    ConnectHandler(MaxScansEdit, &QLineEdit::textEdited, this, &TSensorSetupForm::MaxScansEditChange);
    ConnectHandler(ScheduleAvgCheckBox, &QCheckBox::toggled, this, &TSensorSetupForm::ScheduleAvgCheckBoxClick);
    ConnectHandler(ScheduleAvgNumberEditBox, &TCSpinEdit::Changed, this,
                   &TSensorSetupForm::ScheduleAvgNumberEditBoxChange);
    ConnectHandler(ScheduleAvgIntervalEditBox, &TCSpinEdit::Changed, this,
                   &TSensorSetupForm::ScheduleAvgIntervalEditBoxChange);
}

// --- filling the page ---------------------------------------------------------------

ScheduleSetupData* TSensorSetupForm::ShownSchedule()
{
    // The pages edit user schedules only: never the monitor or Modbus
    // selection, nor the spare record.
    if (ScheduleIndex < FirstUserSchedule || ScheduleIndex > LastUserSchedule)
        return nullptr;
    return &Conf->Schedules[ScheduleIndex];
}

void TSensorSetupForm::ShowSchedule(int record)
{
    UpdatingScope updating(Updating);
    MaxScansNote->clear();
    Schedule_ChannelListBox->clear();
    if (record != ScheduleIndex || !ShownSchedule()) {
        ScheduleEnabledCheckBox->setChecked(false);
        ScheduleNameEditBox->clear();
        return;
    }
    const ScheduleSetupData& s = Conf->Schedules[record];
    ScheduleEnabledCheckBox->setChecked(s.Enabled != 0);
    ScheduleNameEditBox->setText(Latin1Text(ImageText(s.Name)));

    RefreshTimeLists();

    const uint32_t maxScans = s.MaxScans;
    MaxScanCheckBox->setChecked(maxScans != 0);
    MaxScansEdit->setEnabled(maxScans != 0);
    MaxScansEdit->setText(QString::number(maxScans));

    const uint32_t interval = s.AverageInterval;
    const bool averaging = interval != 0;
    ScheduleAvgCheckBox->setChecked(averaging);
    if (averaging) {
        ScheduleAvgNumberEditBox->SetText(QString::number(s.AverageCount));
        ScheduleAvgIntervalEditBox->SetText(secondsText(interval));
        ShowAveragingWarning();
    }
    AvgPanel->setVisible(averaging);
    AveragingWarningLabel->setVisible(averaging);

    const int entries = std::min<int>(s.ChannelCount, MaxChannels);
    for (int i = 0; i < entries; ++i) {
        const int channel = s.Channels[i];
        if (channel < ImageChannelCount && Cal->Channels[channel].Enabled != 0)
            addSorted(Schedule_ChannelListBox, Latin1Text(ImageText(Cal->Channels[channel].Name)));
    }

    ShowMethod(record, false);
    ShowMethod(record, true);
}

void TSensorSetupForm::RefreshTimeLists()
{
    const ScheduleSetupData* s = ShownSchedule();
    if (!s)
        return;
    const QSignalBlocker scanBlocker(SchedulesScanTimeComboBox);
    const QSignalBlocker recordBlocker(SchedulesRecordTimeComboBox);
    const uint32_t scan = s->ScanTime;
    const uint32_t interval = s->AverageInterval;
    const uint16_t count = s->AverageCount;
    if (interval != 0 && count != 0) {
        FillScanTimeList(SchedulesScanTimeComboBox, MinimumScanTime(uint64_t(interval) * count));
        SchedulesScanTimeComboBox->setCurrentIndex(SchedulesScanTimeComboBox->findText(TimeToText(scan)));
    } else {
        FillScanTimeList(SchedulesScanTimeComboBox, 100);
        const int index = TimeTableIndex(scan);
        SchedulesScanTimeComboBox->setCurrentIndex(index < TimeTableCount ? index : -1);
    }
    FillRecordTimeList(SchedulesRecordTimeComboBox, scan);
    const QString record = TimeToText(uint64_t(scan) * uint32_t(s->RecordMultiple));
    SchedulesRecordTimeComboBox->setCurrentIndex(record.isEmpty() ? -1 : SchedulesRecordTimeComboBox->findText(record));
}

void TSensorSetupForm::ShowAveragingWarning()
{
    const ScheduleSetupData* s = ShownSchedule();
    if (!s)
        return;
    AveragingWarningLabel->setText(
        QStringLiteral("Warning: (Number of readings) x (Interval) needs to be less than the Schedule's Scan time of ")
        + secondsText(s->ScanTime) + QStringLiteral(" seconds"));
}

// --- the schedule's own settings ----------------------------------------------------

void TSensorSetupForm::ScheduleEnabledCheckBoxClick()
{
    ScheduleSetupData* s = ShownSchedule();
    if (Updating || !s)
        return;
    s->Enabled = ScheduleEnabledCheckBox->isChecked() ? 1 : 0;
}

void TSensorSetupForm::SchedulesScanTimeComboBoxChange()
{
    ScheduleSetupData* s = ShownSchedule();
    if (Updating || !s)
        return;
    const uint32_t chosen = TextToTime(SchedulesScanTimeComboBox->currentText());
    if (chosen == 0)
        return;
    const uint32_t interval = s->AverageInterval;
    const uint16_t count = s->AverageCount;
    if (interval != 0 && count != 0) {
        const uint32_t minimum = MinimumScanTime(uint64_t(interval) * count);
        if (chosen < minimum) {
            // Too short for the averaging: the current scan time stays.
            const QSignalBlocker blocker(SchedulesScanTimeComboBox);
            FillScanTimeList(SchedulesScanTimeComboBox, minimum);
            SchedulesScanTimeComboBox->setCurrentIndex(SchedulesScanTimeComboBox->findText(TimeToText(s->ScanTime)));
            return;
        }
    }
    s->ScanTime = chosen;
    {
        const QSignalBlocker blocker(SchedulesRecordTimeComboBox);
        FillRecordTimeList(SchedulesRecordTimeComboBox, chosen);
        SchedulesRecordTimeComboBox->setCurrentIndex(0);
    }
    s->RecordMultiple = 1;
    if (AveragingWarningLabel->isVisible())
        ShowAveragingWarning();
}

void TSensorSetupForm::SchedulesRecordTimeComboBoxChange()
{
    ScheduleSetupData* s = ShownSchedule();
    if (Updating || !s)
        return;
    const uint32_t scan = s->ScanTime;
    const uint32_t chosen = TextToTime(SchedulesRecordTimeComboBox->currentText());
    if (scan == 0 || chosen == 0)
        return;
    s->RecordMultiple = chosen / scan;
}

void TSensorSetupForm::MaxScanCheckBoxClick()
{
    ScheduleSetupData* s = ShownSchedule();
    if (Updating || !s)
        return;
    s->MaxScans = 0;
    MaxScansEdit->setText(QStringLiteral("0"));
    MaxScansEdit->setEnabled(MaxScanCheckBox->isChecked());
    MaxScansNote->clear();
}

void TSensorSetupForm::MaxScansEditChange()
{
    ScheduleSetupData* s = ShownSchedule();
    if (Updating || !s)
        return;
    const int value = wholeNumber(MaxScansEdit->text());
    if (value < 0) {
        MaxScansNote->setText(QStringLiteral("No number entered: the maximum number of scans stays ")
                              + QString::number(uint32_t(s->MaxScans)) + QStringLiteral("."));
        return;
    }
    s->MaxScans = static_cast<uint32_t>(value);
    MaxScansNote->clear();
}

// --- averaging ------------------------------------------------------------------------

void TSensorSetupForm::ScheduleAvgCheckBoxClick()
{
    ScheduleSetupData* s = ShownSchedule();
    if (Updating || !s)
        return;
    const bool checked = ScheduleAvgCheckBox->isChecked();
    if (checked) {
        {
            UpdatingScope updating(Updating);
            ScheduleAvgNumberEditBox->SetText(QString::number(s->AverageCount));
            ScheduleAvgIntervalEditBox->SetText(secondsText(s->AverageInterval));
        }
        ShowAveragingWarning();
    } else {
        s->AverageCount = 1;
        s->AverageInterval = 0;
    }
    AveragingWarningLabel->setVisible(checked);
    AvgPanel->setVisible(checked);
    RefreshTimeLists();
}

void TSensorSetupForm::SchedulesAveragingTabShow()
{
    // Brings the warning up to the scan time chosen since; a schedule
    // without averaging is stored as one reading without an interval.
    ScheduleAvgCheckBoxClick();
}

void TSensorSetupForm::ScheduleAvgNumberEditBoxChange()
{
    ScheduleSetupData* s = ShownSchedule();
    if (Updating || !s || ScheduleAvgNumberEditBox->Text().isEmpty())
        return;
    const auto restore = [this, s] {
        UpdatingScope updating(Updating);
        ScheduleAvgNumberEditBox->SetText(QString::number(s->AverageCount));
    };
    const int n = wholeNumber(ScheduleAvgNumberEditBox->Text());
    if (n < MinReadings || n > MaxReadings) {
        restore();
        ShowMessage(QStringLiteral("The number of readings to average must be a whole number from 1 to 1000."));
        return;
    }
    if (uint64_t(n) * uint32_t(s->AverageInterval) < s->ScanTime) {
        s->AverageCount = static_cast<uint16_t>(n);
        RefreshTimeLists();
        return;
    }
    restore();
    ShowMessage(QString::fromLatin1(AveragingRuleText));
}

void TSensorSetupForm::ScheduleAvgIntervalEditBoxChange()
{
    ScheduleSetupData* s = ShownSchedule();
    if (Updating || !s || ScheduleAvgIntervalEditBox->Text().isEmpty())
        return;
    const auto restore = [this, s] {
        UpdatingScope updating(Updating);
        ScheduleAvgIntervalEditBox->SetText(secondsText(s->AverageInterval));
    };
    const int seconds = wholeNumber(ScheduleAvgIntervalEditBox->Text());
    if (seconds < MinIntervalSeconds || seconds > MaxIntervalSeconds) {
        restore();
        ShowMessage(QStringLiteral(
            "The interval between readings must be a whole number of seconds from 1 to 1000."));
        return;
    }
    if (uint64_t(seconds) * uint16_t(s->AverageCount) * 100 < s->ScanTime) {
        s->AverageInterval = static_cast<uint32_t>(seconds) * 100;
        RefreshTimeLists();
        return;
    }
    restore();
    ShowMessage(QString::fromLatin1(AveragingRuleText));
}

// --- channels ---------------------------------------------------------------------------

void TSensorSetupForm::StoreScheduleChannels(int record)
{
    if (record < FirstUserSchedule || record > LastUserSchedule)
        return;
    ScheduleSetupData& s = Conf->Schedules[record];
    std::memset(s.Channels, 0, sizeof s.Channels);
    int numbers[MaxChannels] = {};
    const int count = std::min<int>(Sensor->composeScheduleChannelsList(listNames(Schedule_ChannelListBox), numbers),
                                    MaxChannels);
    s.ChannelCount = static_cast<uint8_t>(count);
    for (int i = 0; i < count; ++i)
        s.Channels[i] = static_cast<uint8_t>(numbers[i]);
}

void TSensorSetupForm::Schedule_ChannelListBoxDragOver(QObject*, const QMimeData* Data, bool& Accept)
{
    // Nodes dragged from the tree; a file or a text dragged in names no
    // channel.
    Accept = Data && Data->hasFormat(QStringLiteral("application/x-qabstractitemmodeldatalist"));
}

void TSensorSetupForm::Schedule_ChannelListBoxDragDrop(QObject*)
{
    if (!ShownSchedule())
        return;
    const QTreeWidgetItem* node = Treeview->Selected();
    // Only a channel's node names a channel.
    if (!node || node->parent() != ChannelsNode)
        return;
    const QString name = node->text(0);
    if (listHolds(Schedule_ChannelListBox, name))
        return;
    std::vector<std::string> names = listNames(Schedule_ChannelListBox);
    names.push_back(name.toLatin1().toStdString());
    if (composedChannelCount(Sensor, names) > MaxChannels) {
        ShowMessage(QString::fromLatin1(ChannelLimitText) + name + QStringLiteral(" was not added."));
        return;
    }
    addSorted(Schedule_ChannelListBox, name);
    StoreScheduleChannels(ScheduleIndex);
}

void TSensorSetupForm::DeleteChannel1Click()
{
    if (!ShownSchedule())
        return;
    if (Schedule_ChannelListBox->count() < 2) {
        ShowMessage(QStringLiteral("There must be at least 1 channel in a schedule"));
        return;
    }
    const QList<QListWidgetItem*> selected = Schedule_ChannelListBox->selectedItems();
    if (selected.isEmpty())
        return;
    delete selected.first();
    StoreScheduleChannels(ScheduleIndex);
}

// --- adding, deleting and renaming schedules ------------------------------------------

namespace {

// Why a schedule name cannot be stored, or "" when it can. `record` is the
// schedule being renamed (-1 when adding): its own name may stay.
QString scheduleNameProblem(const ConfigurationData& conf, const QString& name, int record)
{
    const QByteArray bytes = name.toLatin1();
    if (QString::fromLatin1(bytes) != name)
        return QStringLiteral("Schedule name contains characters that the sensor cannot store");
    // The tree finds a schedule by its name: a second schedule of the same
    // name (or one named like the monitor or Modbus selection) could never
    // be opened.
    for (int s = 0; s < ScheduleRecordCount; ++s)
        if (s != record && ImageText(conf.Schedules[s].Name) == bytes.toStdString())
            return QStringLiteral("Schedule name entered is not unique");
    return QString();
}

} // namespace

void TSensorSetupForm::AddScheduleClick()
{
    const int r = Sensor->GetNextAvailableClearedSchedule();
    UpdatingScope updating(Updating);

    if (r < 2 || r > LastUserSchedule) {
        ShowMessage(QStringLiteral("All 4 available schedules are in use"));
        return;
    }
    QString name;
    if (!QueryName(QStringLiteral("Enter a unique new schedule name less then 15 characters long"), 15, name))
        return;
    if (name.size() >= 15) {
        ShowMessage(QStringLiteral("Schedule name contains more then 15 characters"));
        return;
    }
    const QString problem = scheduleNameProblem(*Conf, name, -1);
    if (!problem.isEmpty()) {
        ShowMessage(problem);
        return;
    }

    ScheduleSetupData& s = Conf->Schedules[r];
    SetImageText(s.Name, name.toLatin1().toStdString());
    s.Enabled = 1;
    s.InUse = 1;
    int inUse = 0;
    for (int i = 0; i <= LastUserSchedule; ++i)
        if (Conf->Schedules[i].InUse != 0)
            ++inUse;
    Conf->ScheduleCount = static_cast<uint8_t>(inUse);

    {
        std::unique_ptr<TChannelSelectionForm> selection(new TChannelSelectionForm(this));
        const int channels = std::min<int>(Cal->ChannelCount, ImageChannelCount);
        for (int c = 0; c < channels; ++c)
            if (Cal->Channels[c].Enabled != 0)
                selection->ChannelListBox->AddItem(Latin1Text(ImageText(Cal->Channels[c].Name)));
        Schedule_ChannelListBox->clear();
        if (selection->ShowModal() == mrOk) {
            ScheduleIndex = r;
            // Channels are taken in the list's order while they fit.
            QStringList left;
            for (int i = 0; i < selection->ChannelListBox->count(); ++i) {
                if (!selection->ChannelListBox->Checked(i))
                    continue;
                const QString channel = selection->ChannelListBox->item(i)->text();
                if (listHolds(Schedule_ChannelListBox, channel))
                    continue;
                std::vector<std::string> names = listNames(Schedule_ChannelListBox);
                names.push_back(channel.toLatin1().toStdString());
                if (composedChannelCount(Sensor, names) > MaxChannels)
                    left << channel;
                else
                    addSorted(Schedule_ChannelListBox, channel);
            }
            StoreScheduleChannels(r);
            if (!left.isEmpty())
                ShowMessage(QString::fromLatin1(ChannelLimitText) + QStringLiteral("These channels were not added: ")
                            + left.join(QStringLiteral(", ")) + QStringLiteral("."));
        }
    }

    BuildTree();
    QTreeWidgetItem* node = FindNode(SchedulesNode, name);
    Treeview->SelectQuietly(node);
    if (node)
        TreeviewChange(Treeview, node);
}

void TSensorSetupForm::DeleteScheduleClick()
{
    const int r = ScheduleIndex;
    // The first user schedule stays; so does anything that is no user
    // schedule.
    if (r < 2 || r > LastUserSchedule || PropertiesPageControl->currentWidget() != SS_SchedulesTab)
        return;
    if (Conf->ScheduleCount <= 2) {
        ShowMessage(QStringLiteral("There must allways be 1 schedule present, unable to delete this schedule."));
        return;
    }
    if (Sensor->CheckTriggeredScheduleDependency(r)) {
        ShowMessage(QStringLiteral(
            "Unable to delete this schedule as it contains the trigger channel for a triggered schedule."));
        return;
    }

    // The later schedules move down one record with their start and stop
    // methods.
    Sensor->ClearSchedule(r);
    for (int i = r; i < SpareScheduleRecord && Conf->Schedules[i + 1].InUse != 0; ++i) {
        std::memcpy(&Conf->Schedules[i], &Conf->Schedules[i + 1], sizeof(ScheduleSetupData));
        std::memcpy(&Conf->Methods[i], &Conf->Methods[i + 1], sizeof(MethodSetupData));
        std::memcpy(&Conf->Methods[i + StopMethodOffset], &Conf->Methods[i + 1 + StopMethodOffset],
                    sizeof(MethodSetupData));
        Conf->Methods[i].ScheduleNumber = static_cast<uint8_t>(i);
        Conf->Methods[i + StopMethodOffset].ScheduleNumber = static_cast<uint8_t>(i);
        Sensor->ClearSchedule(i + 1);
    }
    int inUse = 0;
    for (int i = 0; i <= SpareScheduleRecord; ++i)
        if (Conf->Schedules[i].InUse != 0)
            ++inUse;
    Conf->ScheduleCount = static_cast<uint8_t>(inUse);
    Sensor->ValidateTriggers();

    // Back to the overview of the schedules left.
    BuildTree();
    Treeview->SelectQuietly(SchedulesNode);
    TreeviewChange(Treeview, SchedulesNode);
}

void TSensorSetupForm::RenameScheduleClick()
{
    if (!ShownSchedule() || PropertiesPageControl->currentWidget() != SS_SchedulesTab)
        return;
    QString name;
    if (!QueryName(QStringLiteral("Enter a unique schedule name less then 15 characters long"), 15, name))
        return;
    if (name.size() > 14) {
        ShowMessage(QStringLiteral("Schedule name contains 15 or more characters"));
        return;
    }
    const QString problem = scheduleNameProblem(*Conf, name, ScheduleIndex);
    if (!problem.isEmpty()) {
        ShowMessage(problem);
        return;
    }
    ScheduleNameEditBox->setText(name);
    SetImageText(Conf->Schedules[ScheduleIndex].Name, name.toLatin1().toStdString());
    // The renamed schedule's node stays selected, so the pages go on editing
    // this schedule.
    RebuildTree();
}
