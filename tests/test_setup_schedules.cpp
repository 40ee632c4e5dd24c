// The set-up dialog's schedule pages, driven as a user drives them: the
// schedules page (channels, scan and record times, maximum scans, averaging,
// adding, deleting and renaming schedules), the start and stop methods with
// their triggers, and the schedule overview. Every edit is checked in the
// image bytes against the stand-in's image pair.
#include "SetupDialogFixture.h"

#include "MessageBoxWatch.h"

#include "CSpin.h"
#include "ChannelSelectionUnit.h"
#include "ExtCtrls.h"
#include "Grids.h"
#include "StdCtrls.h"
#include "StringQueryForm.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDate>
#include <QDateEdit>
#include <QDragEnterEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTimer>

#include <algorithm>
#include <initializer_list>
#include <set>

namespace {

using standin::setChannels;
using standin::stamp;

// A user schedule in record r, started and stopped by time.
void putSchedule(ConfigurationData& conf, int r, const char* name, std::initializer_list<uint8_t> channels,
                 uint32_t scanTime)
{
    ScheduleSetupData& s = conf.Schedules[r];
    s.Enabled = 1;
    s.InUse = 1;
    SetImageText(s.Name, name);
    setChannels(s, channels);
    s.ScanTime = scanTime;
}

enum Method { Start, Stop };

// Schedule r started (stopped) by trigger entry t: its method entry set, the
// trigger entry taken but not yet set.
void byTrigger(ConfigurationData& conf, Method which, int r, int t)
{
    ScheduleSetupData& s = conf.Schedules[r];
    (which == Stop ? s.StopByTime : s.StartByTime) = 0;
    MethodSetupData& method = conf.Methods[which == Stop ? r + StopMethodOffset : r];
    method.Enabled = 1;
    method.MethodType = 1;
    method.TriggerNumbers[0] = static_cast<uint8_t>(t);
    method.ScheduleNumber = static_cast<uint8_t>(r);
    method.Action = which == Stop ? 1 : 0;
    conf.Triggers[t].InUse = 1;
}

void setTrigger(TriggerSetupData& trigger, uint8_t channel, float setPoint, float reEnable, uint16_t condition)
{
    trigger.Channel = channel;
    trigger.SetPoint = setPoint;
    trigger.ReEnableValue = reEnable;
    trigger.Condition = condition;
}

// Schedule r started (stopped) by trigger entry t on channel `channel`.
void putTrigger(ConfigurationData& conf, Method which, int r, int t, uint8_t channel, float setPoint, float reEnable,
                uint16_t condition)
{
    byTrigger(conf, which, r, t);
    setTrigger(conf.Triggers[t], channel, setPoint, reEnable, condition);
}

// Schedule r started (stopped) by time again: its method entry reset to no
// schedule's and trigger entry t given back.
void byTimeAgain(ConfigurationData& conf, Method which, int r, int t)
{
    ScheduleSetupData& s = conf.Schedules[r];
    (which == Stop ? s.StopByTime : s.StartByTime) = 1;
    MethodSetupData& method = conf.Methods[which == Stop ? r + StopMethodOffset : r];
    method = MethodSetupData{};
    method.ScheduleNumber = 255;
    method.Action = which == Stop ? 1 : 0;
    conf.Triggers[t] = TriggerSetupData{};
}

// A record as a deleted schedule leaves it.
void clearedRecord(ConfigurationData& conf, int r)
{
    ScheduleSetupData& s = conf.Schedules[r];
    s.Enabled = 0;
    s.InUse = 0;
    std::memset(s.Name, 0, sizeof s.Name);
    s.StartByTime = 1;
    s.StopByTime = 1;
    s.StartTime = stamp(QDate::currentDate().year(), 1, 1);
    s.StopTime = stamp(2099, 1, 1);
    s.MaxScans = 0;
    setChannels(s, {});
    s.AuxList1Count = 0;
    s.AuxList2Count = 0;
    std::memset(s.AuxList1, 0, sizeof s.AuxList1);
    std::memset(s.AuxList2, 0, sizeof s.AuxList2);
    s.ScanTime = 6000;
    s.AverageCount = 1;
    s.AverageInterval = 0;
    s.RecordMultiple = 1;
    for (int m : {r, r + StopMethodOffset})
        conf.Methods[m] = MethodSetupData{};
}

using testsupport::items;

std::set<int> channelSet(const ScheduleSetupData& s)
{
    return std::set<int>(s.Channels, s.Channels + s.ChannelCount);
}

class SetupSchedules : public SetupDialogFixture {
protected:
    // --- a user's hands on the schedule pages ---------------------------------
    void openOn(const QStringList& path)
    {
        open();
        click(path);
    }

    void showTab(QWidget* tab)
    {
        QTabWidget* tabs = form->SchedulePageControl;
        const int index = tabs->indexOf(tab);
        ASSERT_TRUE(tabs->isTabVisible(index));
        QTabBar* bar = tabs->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(index).center());
        QApplication::processEvents();
        ASSERT_EQ(tabs->currentWidget(), tab);
    }

    static void chooseMethod(TRadioGroup* group, int index) { tick(group->Button(index)); }

    static void retypeSpin(TCSpinEdit* spin, const QString& text)
    {
        retype(spin, text, int(spin->Text().size()));
        QApplication::processEvents();
    }

    // Runs `act` on the modal window of kind T as soon as it is shown.
    template <class T>
    void whenModal(std::function<void(T*)> act)
    {
        auto* timer = new QTimer(form.get());
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
            if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget())) {
                timer->stop();
                timer->deleteLater();
                act(window);
            }
        });
        timer->start();
    }

    // Types a name into the name query and closes it with Ok (or Cancel).
    void answerQuery(const QString& name, bool ok = true, QString* prompt = nullptr)
    {
        whenModal<TStringQuery>([name, ok, prompt](TStringQuery* query) {
            if (prompt)
                *prompt = query->Label->text();
            QTest::keyClicks(query->Edit, name);
            QPushButton* button = ok ? query->OkBtn : query->CancelBtn;
            QTest::mouseClick(button->window()->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                              button->mapTo(button->window(), button->rect().center()));
        });
    }

    // Ticks `names` in the channel selection and presses OK; with no OK the
    // window is closed from the window system instead.
    void answerSelection(const QStringList& names, bool ok = true, QStringList* offered = nullptr)
    {
        whenModal<TChannelSelectionForm>([names, ok, offered](TChannelSelectionForm* selection) {
            TCheckListBox* list = selection->ChannelListBox;
            if (offered)
                *offered = items(list);
            for (const QString& name : names) {
                const auto found = list->findItems(name, Qt::MatchExactly);
                ASSERT_EQ(found.size(), 1) << name.toStdString();
                list->scrollToItem(found.first());
                QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                                  list->visualItemRect(found.first()).center());
                QTest::keyClick(list, Qt::Key_Space);
            }
            if (ok)
                QTest::mouseClick(selection->OkBtn->window()->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                                  selection->OkBtn->mapTo(selection, selection->OkBtn->rect().center()));
            else
                selection->close();
        });
    }

    // Right click into the tree and a click on an entry of its menu.
    void treeMenu(QAction* action)
    {
        QWidget* viewport = form->Treeview->viewport();
        const QPoint at = form->Treeview->visualItemRect(form->RootNode).center();
        QContextMenuEvent menu(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &menu);
        QMenu* popup = form->TreeViewPopupMenu;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(popup));
        ASSERT_TRUE(action->isVisible()) << action->text().toStdString();
        QTest::mouseClick(popup, Qt::LeftButton, Qt::NoModifier, popup->actionGeometry(action).center());
        QApplication::processEvents();
    }

    // Right click on a channel of the schedule's list, then "Remove channel".
    void removeChannel(const QString& name)
    {
        QListWidget* list = form->Schedule_ChannelListBox;
        const auto found = list->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        const QPoint at = list->visualItemRect(found.first()).center();
        QTest::mouseClick(list->viewport(), Qt::RightButton, Qt::NoModifier, at);
        QContextMenuEvent menu(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &menu);
        QMenu* popup = form->ChannelListPopupMenu;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(popup));
        QTest::mouseClick(popup, Qt::LeftButton, Qt::NoModifier, popup->actionGeometry(form->DeleteChannel1).center());
        QApplication::processEvents();
    }

    // Drags a tree node onto the schedule's channel list. The press and the
    // move start the tree's drag as the mouse does; the window system's part
    // (carrying the drag to the list) is played by sending the list the
    // drag's events, as no window system takes drags here.
    void dragToList(QTreeWidgetItem* n)
    {
        ASSERT_NE(n, nullptr);
        TTreeView* tree = form->Treeview;
        QWidget* viewport = tree->viewport();
        tree->scrollToItem(n);
        const QPoint from = tree->visualItemRect(n).center();
        QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(viewport, from + QPoint(5, 0));
        QTest::mouseMove(viewport, from + QPoint(40, 0));
        QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, from + QPoint(40, 0));
        QTest::qWait(tree->ChangeDelay() + 30);
        ASSERT_EQ(tree->Selected(), n);

        std::unique_ptr<QMimeData> data(tree->model()->mimeData({tree->currentIndex()}));
        QWidget* target = form->Schedule_ChannelListBox->viewport();
        const QPoint at = target->rect().center();
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(at, actions, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDragMoveEvent move(at, actions, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &move);
        QDropEvent drop(QPointF(at), actions, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        QApplication::processEvents();
    }

    QString cell(int col, int row) const { return form->ScheduleOverviewGrid->Cells(col, row); }
};

// --- the schedule time table ---------------------------------------------------------

TEST(ScheduleTimeTable, TextsAndTimes)
{
    struct Case {
        const char* text;
        uint32_t time;
        int index;
    };
    const Case cases[] = {
        {"1 second", 100, 0},       {"15 seconds", 1500, 6},   {"20 seconds", 2000, 7}, {"1 minute", 6000, 9},
        {"5 minutes", 30000, 13},   {"6 minutes", 36000, 14},  {"2 hours", 720000, 20}, {"3 hours", 1080000, 21},
        {"4 hours", 1440000, 22},   {"24 hours", 8640000, 27},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TSensorSetupForm::TimeToText(c.time), c.text);
        EXPECT_EQ(TSensorSetupForm::TextToTime(c.text), c.time);
        EXPECT_EQ(TSensorSetupForm::TimeTableIndex(c.time), c.index);
    }
    // Times and texts outside the table.
    EXPECT_EQ(TSensorSetupForm::TimeToText(0), "");
    EXPECT_EQ(TSensorSetupForm::TimeToText(700), "");
    EXPECT_EQ(TSensorSetupForm::TimeToText(uint64_t(8640000) * 1000000), "");
    EXPECT_EQ(TSensorSetupForm::TextToTime("1 Minute"), 0u);
    EXPECT_EQ(TSensorSetupForm::TextToTime(""), 0u);
    EXPECT_EQ(TSensorSetupForm::TimeTableIndex(0), 28);

    EXPECT_EQ(TSensorSetupForm::MinimumScanTime(0), 100u);
    EXPECT_EQ(TSensorSetupForm::MinimumScanTime(1000), 1500u); // 5 readings every 2 s: "15 seconds"
    EXPECT_EQ(TSensorSetupForm::MinimumScanTime(999), 1000u);
    EXPECT_EQ(TSensorSetupForm::MinimumScanTime(8640000), 100u); // nothing longer: one second
}

TEST(ScheduleTimeTable, Lists)
{
    QComboBox list;
    TSensorSetupForm::FillScanTimeList(&list, 100);
    EXPECT_EQ(list.count(), 28);
    TSensorSetupForm::FillScanTimeList(&list, 1500);
    EXPECT_EQ(list.itemText(0), "15 seconds");
    EXPECT_EQ(list.count(), 22);

    TSensorSetupForm::FillRecordTimeList(&list, 24000);
    EXPECT_EQ(items(&list), QStringList({"4 minutes", "20 minutes", "1 hour", "2 hours", "3 hours", "4 hours",
                                         "5 hours", "6 hours", "8 hours", "12 hours", "24 hours"}));
    TSensorSetupForm::FillRecordTimeList(&list, 8640000);
    EXPECT_EQ(items(&list), QStringList({"24 hours"}));
    // A scan time of 0 or one outside the table: no division by zero, and
    // only the entries that are whole multiples.
    TSensorSetupForm::FillRecordTimeList(&list, 0);
    EXPECT_EQ(list.count(), 0);
    TSensorSetupForm::FillRecordTimeList(&list, 700);
    EXPECT_EQ(list.count(), 0);
}

// --- showing a schedule ----------------------------------------------------------------

TEST_F(SetupSchedules, ShowsEachScheduleAsItsRecordHoldsIt)
{
    open();
    click({"Schedules", "Hourly"});
    EXPECT_TRUE(form->ScheduleEnabledCheckBox->isChecked());
    EXPECT_EQ(form->ScheduleNameEditBox->text(), "Hourly");
    EXPECT_TRUE(form->ScheduleNameEditBox->isReadOnly());
    EXPECT_EQ(items(form->Schedule_ChannelListBox),
              QStringList({"Battery", "Cond", "Depth", "Pressure", "Salinity", "Temperature"}));
    EXPECT_EQ(form->SchedulesScanTimeComboBox->currentText(), "1 hour");
    // 5 readings every 2 seconds: the scan list starts at 15 seconds.
    EXPECT_EQ(form->SchedulesScanTimeComboBox->itemText(0), "15 seconds");
    EXPECT_EQ(form->SchedulesRecordTimeComboBox->currentText(), "1 hour");
    EXPECT_EQ(items(form->SchedulesRecordTimeComboBox), QStringList({"1 hour", "2 hours", "3 hours", "4 hours",
                                                                     "5 hours", "6 hours", "8 hours", "12 hours",
                                                                     "24 hours"}));
    EXPECT_FALSE(form->MaxScanCheckBox->isChecked());
    EXPECT_FALSE(form->MaxScansEdit->isEnabled());
    EXPECT_EQ(form->MaxScansEdit->text(), "0");
    showTab(form->SchedulesAveragingTab);
    EXPECT_TRUE(form->ScheduleAvgCheckBox->isChecked());
    EXPECT_TRUE(form->AvgPanel->isVisible());
    EXPECT_EQ(form->ScheduleAvgNumberEditBox->Text(), "5");
    EXPECT_EQ(form->ScheduleAvgIntervalEditBox->Text(), "2");
    EXPECT_EQ(form->AveragingWarningLabel->text(),
              "Warning: (Number of readings) x (Interval) needs to be less than the Schedule's Scan time of 3600 "
              "seconds");
    EXPECT_TRUE(form->AveragingWarningLabel->isVisible());

    click({"Schedules", "Storm"});
    EXPECT_EQ(items(form->Schedule_ChannelListBox), QStringList({"Depth", "Pressure", "Turbidity"}));
    EXPECT_EQ(form->SchedulesScanTimeComboBox->currentText(), "1 minute");
    EXPECT_TRUE(form->MaxScanCheckBox->isChecked());
    EXPECT_TRUE(form->MaxScansEdit->isEnabled());
    EXPECT_EQ(form->MaxScansEdit->text(), "10000");
    // Half a second between readings, as a sensor may hold it.
    EXPECT_EQ(form->ScheduleAvgIntervalEditBox->Text(), "0.5");

    showTab(form->StartMethodTab);
    EXPECT_EQ(form->StartMethodRadioGroup->ItemIndex(), 1);
    EXPECT_EQ(form->TriggerPageControl->currentWidget(), form->TriggerSimpleTab);
    EXPECT_EQ(items(form->StartTriggerCB),
              QStringList({"Battery", "Cond", "Depth", "Pressure", "Salinity", "Temperature"}));
    EXPECT_EQ(form->StartTriggerCB->currentText(), "Depth");
    EXPECT_EQ(form->StartTriggerCauseCB->currentText(), "RISING");
    EXPECT_EQ(form->TriggerSetPointValueEdit->text(), "1.5");
    EXPECT_EQ(form->TriggerreEnableValueEdit->text(), "1.2");
    EXPECT_EQ(form->TriggerSetPointLabel->text(), "Set Point Value");
    EXPECT_TRUE(form->TriggerreEnableValueEdit->isVisible());

    showTab(form->StopMethodTab);
    EXPECT_EQ(form->StopMethodRadioGroup->ItemIndex(), 0);
    EXPECT_EQ(form->StopPageControl->currentWidget(), form->StopTimeTab);
    EXPECT_EQ(form->StopMethodDatePicker->date(), QDate(2099, 1, 1));
    EXPECT_EQ(form->StopMethodTimePicker->time(), QTime(0, 0, 0));
    EXPECT_EQ(items(form->StopTriggerCauseCB), QStringList({"RISING", "FALLING"}));
    expectImages();
}

// --- logging settings --------------------------------------------------------------------

TEST_F(SetupSchedules, ScanAndRecordTimesChosenFromTheLists)
{
    openOn({"Schedules", "Storm"});
    // 10 readings every half second: nothing below 10 seconds is offered.
    EXPECT_EQ(form->SchedulesScanTimeComboBox->itemText(0), "10 seconds");

    choose(form->SchedulesRecordTimeComboBox, "5 minutes");
    conf.Schedules[2].RecordMultiple = 5;
    expectImages();

    choose(form->SchedulesScanTimeComboBox, "4 minutes");
    conf.Schedules[2].ScanTime = 24000;
    conf.Schedules[2].RecordMultiple = 1;
    expectImages();
    EXPECT_EQ(items(form->SchedulesRecordTimeComboBox),
              QStringList({"4 minutes", "20 minutes", "1 hour", "2 hours", "3 hours", "4 hours", "5 hours",
                           "6 hours", "8 hours", "12 hours", "24 hours"}));
    EXPECT_EQ(form->SchedulesRecordTimeComboBox->currentText(), "4 minutes");

    choose(form->SchedulesRecordTimeComboBox, "3 hours");
    conf.Schedules[2].RecordMultiple = 45;
    expectImages();

    // Choosing a scan time, even the same one, sets the record time back.
    choose(form->SchedulesScanTimeComboBox, "4 minutes");
    conf.Schedules[2].RecordMultiple = 1;
    expectImages();
    EXPECT_EQ(form->SchedulesRecordTimeComboBox->currentText(), "4 minutes");

    // The warning on the averaging tab follows the scan time.
    showTab(form->SchedulesAveragingTab);
    EXPECT_TRUE(form->AveragingWarningLabel->text().endsWith("Scan time of 240 seconds"));
    expectImages();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

TEST_F(SetupSchedules, ScanTimeOfZeroFromElsewhereOffersNoRecordTimeUntilAScanTimeIsChosen)
{
    auto images = standin::defaultImages();
    images.conf.Schedules[1].ScanTime = 0;
    images.conf.Schedules[2].RecordMultiple = 0;
    setImages(images);
    openOn({"Schedules", "Hourly"});
    EXPECT_EQ(form->SchedulesScanTimeComboBox->currentIndex(), -1);
    EXPECT_EQ(form->SchedulesRecordTimeComboBox->count(), 0);
    choose(form->SchedulesScanTimeComboBox, "1 minute");
    conf.Schedules[1].ScanTime = 6000;
    conf.Schedules[1].RecordMultiple = 1;
    expectImages();
    EXPECT_EQ(form->SchedulesRecordTimeComboBox->currentText(), "1 minute");

    // The overview shows no time it cannot name.
    conf.Schedules[1].ScanTime = 0;
    device->ConfData.Schedules[1].ScanTime = 0;
    click({"Schedules"});
    EXPECT_EQ(cell(1, 2), "");
    EXPECT_EQ(cell(1, 3), "");
    EXPECT_EQ(cell(2, 2), "1 minute");
    EXPECT_EQ(cell(2, 3), ""); // record multiple 0
}

TEST_F(SetupSchedules, MaximumNumberOfScans)
{
    openOn({"Schedules", "Hourly"});
    tick(form->MaxScanCheckBox);
    EXPECT_TRUE(form->MaxScansEdit->isEnabled());
    EXPECT_EQ(form->MaxScansEdit->text(), "0");
    expectImages();

    retype(form->MaxScansEdit, "25x-.00");
    EXPECT_EQ(form->MaxScansEdit->text(), "2500");
    conf.Schedules[1].MaxScans = 2500;
    expectImages();
    EXPECT_TRUE(form->MaxScansNote->text().isEmpty());

    // An emptied edit keeps the maximum and says so.
    form->MaxScansEdit->setFocus();
    QTest::keyClick(form->MaxScansEdit, Qt::Key_End);
    QTest::keyClick(form->MaxScansEdit, Qt::Key_Home, Qt::ShiftModifier);
    QTest::keyClick(form->MaxScansEdit, Qt::Key_Backspace);
    EXPECT_EQ(form->MaxScansEdit->text(), "");
    expectImages();
    EXPECT_EQ(form->MaxScansNote->text(), "No number entered: the maximum number of scans stays 2500.");
    // Six digits at most.
    QTest::keyClicks(form->MaxScansEdit, "12345678");
    EXPECT_EQ(form->MaxScansEdit->text(), "123456");
    conf.Schedules[1].MaxScans = 123456;
    expectImages();

    tick(form->MaxScanCheckBox);
    conf.Schedules[1].MaxScans = 0;
    expectImages();
    EXPECT_FALSE(form->MaxScansEdit->isEnabled());
    EXPECT_EQ(form->MaxScansEdit->text(), "0");

    click({"Schedules", "Storm"});
    tick(form->MaxScanCheckBox);
    conf.Schedules[2].MaxScans = 0;
    expectImages();
    tick(form->ScheduleEnabledCheckBox);
    conf.Schedules[2].Enabled = 0;
    expectImages();
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(SetupSchedules, AveragingKeepsReadingsTimesIntervalBelowTheScanTime)
{
    auto images = standin::defaultImages();
    ScheduleSetupData& hourly = images.conf.Schedules[1];
    hourly.ScanTime = 1000; // 10 seconds
    hourly.AverageCount = 1;
    hourly.AverageInterval = 100;
    setImages(images);
    openOn({"Schedules", "Hourly"});
    showTab(form->SchedulesAveragingTab);
    EXPECT_TRUE(form->AveragingWarningLabel->text().endsWith("Scan time of 10 seconds"));
    const QString rule = "Number of readings * interval between readings must be less then the schedule scan time.";

    // 10 readings of 1 second do not fit into 10 seconds.
    retypeSpin(form->ScheduleAvgNumberEditBox, "10");
    EXPECT_EQ(messages, QStringList({rule}));
    EXPECT_EQ(form->ScheduleAvgNumberEditBox->Text(), "1");
    expectImages();

    retypeSpin(form->ScheduleAvgNumberEditBox, "9");
    conf.Schedules[1].AverageCount = 9;
    expectImages();
    EXPECT_EQ(form->SchedulesScanTimeComboBox->itemText(0), "10 seconds");

    messages.clear();
    retypeSpin(form->ScheduleAvgIntervalEditBox, "2");
    EXPECT_EQ(messages, QStringList({rule}));
    EXPECT_EQ(form->ScheduleAvgIntervalEditBox->Text(), "1");
    expectImages();

    // Numbers outside the spins' limits change nothing and say so.
    messages.clear();
    retypeSpin(form->ScheduleAvgNumberEditBox, "0");
    retypeSpin(form->ScheduleAvgIntervalEditBox, "0");
    EXPECT_EQ(messages,
              QStringList({"The number of readings to average must be a whole number from 1 to 1000.",
                           "The interval between readings must be a whole number of seconds from 1 to 1000."}));
    EXPECT_EQ(form->ScheduleAvgNumberEditBox->Text(), "9");
    EXPECT_EQ(form->ScheduleAvgIntervalEditBox->Text(), "1");
    expectImages();

    // Unchecking stores one reading and no interval; every scan time is
    // offered again.
    tick(form->ScheduleAvgCheckBox);
    conf.Schedules[1].AverageCount = 1;
    conf.Schedules[1].AverageInterval = 0;
    expectImages();
    EXPECT_FALSE(form->AvgPanel->isVisible());
    EXPECT_FALSE(form->AveragingWarningLabel->isVisible());
    EXPECT_EQ(form->SchedulesScanTimeComboBox->count(), 28);

    // Checking shows an interval of 0 and stores nothing until one is typed.
    tick(form->ScheduleAvgCheckBox);
    EXPECT_EQ(form->ScheduleAvgIntervalEditBox->Text(), "0");
    expectImages();
    retypeSpin(form->ScheduleAvgIntervalEditBox, "3");
    conf.Schedules[1].AverageInterval = 300;
    expectImages();
    EXPECT_EQ(form->SchedulesScanTimeComboBox->itemText(0), "4 seconds");
}

TEST_F(SetupSchedules, LeavingASpinEditWithAHalfSecondIntervalChangesNothing)
{
    openOn({"Schedules", "Storm"});
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    showTab(form->SchedulesAveragingTab);
    form->ScheduleAvgIntervalEditBox->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(form->ScheduleAvgIntervalEditBox->hasFocus());
    form->ScheduleAvgNumberEditBox->setFocus();
    QApplication::processEvents();
    form->SSOkBtn->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(form->ScheduleAvgIntervalEditBox->Text(), "0.5");
    EXPECT_EQ(form->ScheduleAvgNumberEditBox->Text(), "10");
    expectImages();
}

TEST_F(SetupSchedules, ShowingTheAveragingTabOfAScheduleWithoutAveragingStoresOneReading)
{
    // Five readings but no interval (an image made elsewhere): averaging is
    // off, and showing the tab stores it so: one reading, no interval.
    auto images = standin::defaultImages();
    images.conf.Schedules[1].AverageInterval = 0;
    ASSERT_NE(int(images.conf.Schedules[1].AverageCount), 1);
    setImages(images);
    openOn({"Schedules", "Hourly"});
    expectImages();
    showTab(form->SchedulesAveragingTab);
    EXPECT_FALSE(form->ScheduleAvgCheckBox->isChecked());
    EXPECT_FALSE(form->AvgPanel->isVisible());
    conf.Schedules[1].AverageCount = 1;
    expectImages();
    showTab(form->SchedulesLoggingTab);
    showTab(form->SchedulesAveragingTab);
    expectImages();
}

// --- channels --------------------------------------------------------------------------------

TEST_F(SetupSchedules, ChannelsDroppedFromTheTreeAndRemovedFromTheList)
{
    openOn({"Schedules", "Storm"});
    dragToList(node({"Channels", "Cond"}));
    EXPECT_EQ(page(), form->SS_SchedulesTab);
    EXPECT_EQ(items(form->Schedule_ChannelListBox), QStringList({"Cond", "Depth", "Pressure", "Turbidity"}));
    // In the list's order, each with the channels it is computed from first.
    setChannels(conf.Schedules[2], {standin::channels::Temperature, standin::channels::Cond,
                                    standin::channels::Pressure, standin::channels::Depth,
                                    standin::channels::Turbidity});
    expectImages();

    // A channel already listed, or a node that is no channel, adds nothing.
    dragToList(node({"Channels", "Cond"}));
    dragToList(node({"Schedules", "Hourly"}));
    dragToList(form->ChannelsNode);
    EXPECT_EQ(items(form->Schedule_ChannelListBox), QStringList({"Cond", "Depth", "Pressure", "Turbidity"}));
    expectImages();

    removeChannel("Turbidity");
    setChannels(conf.Schedules[2], {standin::channels::Temperature, standin::channels::Cond,
                                    standin::channels::Pressure, standin::channels::Depth});
    expectImages();
    removeChannel("Cond");
    removeChannel("Depth");
    EXPECT_EQ(items(form->Schedule_ChannelListBox), QStringList({"Pressure"}));
    setChannels(conf.Schedules[2], {standin::channels::Temperature, standin::channels::Pressure});
    expectImages();
    EXPECT_TRUE(messages.isEmpty());

    removeChannel("Pressure");
    EXPECT_EQ(messages, QStringList({"There must be at least 1 channel in a schedule"}));
    EXPECT_EQ(items(form->Schedule_ChannelListBox), QStringList({"Pressure"}));
    expectImages();
}

// A sonde with every channel record in use: the ten channels of the
// stand-in and 24 more ("Aux12" to "Aux35") that depend on nothing.
standin::SensorImages fullSonde()
{
    auto images = standin::defaultImages();
    images.cal.ChannelCount = ImageChannelCount;
    for (int c = standin::channels::Count; c < ImageChannelCount; ++c) {
        CalChannelData& ch = images.cal.Channels[c];
        ch.Enabled = 1;
        SetImageText(ch.Name, "Aux" + std::to_string(c));
        ch.UnitsCode = ucMVolt;
        SetImageText(ch.UnitsText, "mV");
        ch.SourceChannel = 255;
        ch.CompensationListCount = 0;
    }
    return images;
}

TEST_F(SetupSchedules, ASchedulesChannelsWithTheirDependenciesNeverExceedTwentyFive)
{
    auto images = fullSonde();
    ScheduleSetupData& storm = images.conf.Schedules[2];
    storm.ChannelCount = 24;
    for (int i = 0; i < 24; ++i)
        storm.Channels[i] = static_cast<uint8_t>(12 + i);
    setImages(images);
    openOn({"Schedules", "Storm"});

    // Cond needs Temperature as well: 26 numbers, refused.
    dragToList(node({"Channels", "Cond"}));
    const QString limit = "A schedule can hold at most 25 channels, counting the channels they are computed from. ";
    EXPECT_EQ(messages, QStringList({limit + "Cond was not added."}));
    EXPECT_EQ(form->Schedule_ChannelListBox->count(), 24);
    expectImages();

    // Turbidity alone fits as the 25th.
    dragToList(node({"Channels", "Turbidity"}));
    conf.Schedules[2].ChannelCount = 25;
    conf.Schedules[2].Channels[24] = standin::channels::Turbidity;
    expectImages();
    messages.clear();
    dragToList(node({"Channels", "Battery"}));
    EXPECT_EQ(messages, QStringList({limit + "Battery was not added."}));
    expectImages();
    // Nothing lies beyond the 25 places: the next record starts unchanged.
    EXPECT_EQ(imageDifferences(device->ConfData.Schedules[3], conf.Schedules[3]), "");
}

// --- adding, deleting and renaming ------------------------------------------------------------

TEST_F(SetupSchedules, AScheduleAddedGivenChannelsTimesAveragingAndATriggerStartThenDeleted)
{
    openOn({"Schedules", "Hourly"});

    QString prompt;
    QStringList offered;
    answerQuery("Outlet", true, &prompt);
    answerSelection({"Cond", "pH"}, true, &offered);
    treeMenu(form->AddSchedule);
    EXPECT_EQ(prompt, "Enter a unique new schedule name less then 15 characters long");
    EXPECT_EQ(offered, QStringList({"Battery", "Temperature", "Pressure", "Depth", "Cond", "Salinity", "pH",
                                    "ODO sat", "ODO mg/l", "Turbidity"}));
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();

    ScheduleSetupData& outlet = conf.Schedules[3];
    SetImageText(outlet.Name, "Outlet");
    outlet.Enabled = 1;
    outlet.InUse = 1;
    setChannels(outlet, {standin::channels::Temperature, standin::channels::Cond, standin::channels::PH});
    conf.ScheduleCount = 4;
    expectImages();
    // The new schedule is shown, ready for editing.
    EXPECT_EQ(form->Treeview->Selected(), node({"Schedules", "Outlet"}));
    EXPECT_EQ(page(), form->SS_SchedulesTab);
    EXPECT_EQ(form->ScheduleIndex, 3);
    EXPECT_FALSE(form->Updating);
    EXPECT_EQ(form->ScheduleNameEditBox->text(), "Outlet");
    EXPECT_EQ(items(form->Schedule_ChannelListBox), QStringList({"Cond", "pH", "Temperature"}));

    choose(form->SchedulesScanTimeComboBox, "10 minutes");
    choose(form->SchedulesRecordTimeComboBox, "1 hour");
    outlet.ScanTime = 60000;
    outlet.RecordMultiple = 6;
    expectImages();

    showTab(form->SchedulesAveragingTab);
    tick(form->ScheduleAvgCheckBox);
    retypeSpin(form->ScheduleAvgNumberEditBox, "4");
    retypeSpin(form->ScheduleAvgIntervalEditBox, "5");
    outlet.AverageCount = 4;
    outlet.AverageInterval = 500;
    expectImages();

    showTab(form->StartMethodTab);
    chooseMethod(form->StartMethodRadioGroup, 1);
    // Entry 1 is Storm's: the first free one is 2.
    byTrigger(conf, Start, 3, 2);
    expectImages();
    EXPECT_EQ(form->TriggerPageControl->currentWidget(), form->TriggerSimpleTab);
    EXPECT_EQ(form->StartTriggerCB->currentIndex(), -1); // no channel until the user picks one

    choose(form->StartTriggerCB, "Depth");
    choose(form->StartTriggerCauseCB, "FALLING");
    retype(form->TriggerSetPointValueEdit, "0.5");
    retype(form->TriggerreEnableValueEdit, "0.75");
    setTrigger(conf.Triggers[2], standin::channels::Depth, 0.5f, 0.75f, tcFalling);
    expectImages();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();

    click({"Schedules"});
    const QStringList column = {"Outlet", "Enabled", "10 minutes", "1 hour", "4", "5", "Trigger", "Time"};
    for (int row = 0; row < 8; ++row)
        EXPECT_EQ(cell(3, row), column[row]) << row;

    click({"Schedules", "Outlet"});
    treeMenu(form->DeleteSchedule);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    // Back to the images the dialog was opened on, but for the record's
    // reset method entries.
    conf = standin::defaultImages().conf;
    clearedRecord(conf, 3);
    expectImages();
    EXPECT_EQ(page(), form->SS_ScheduleOverviewTab);
    EXPECT_EQ(form->Treeview->Selected(), form->SchedulesNode);
    EXPECT_EQ(node({"Schedules", "Outlet"}), nullptr);
    EXPECT_EQ(cell(3, 0), "Not Used");
}

TEST_F(SetupSchedules, AddingRefusedOrCancelled)
{
    struct Case {
        const char* name;
        std::function<void(standin::SensorImages&)> images;
        QString typed;
        bool queryOk;
        bool selection;  // the selection is shown (and closed without OK)
        QStringList messages;
        bool added;
    };
    const Case cases[] = {
        {"all four in use",
         [](standin::SensorImages& im) {
             putSchedule(im.conf, 3, "Daily", {1}, 6000);
             putSchedule(im.conf, 4, "Weekly", {1}, 6000);
             im.conf.ScheduleCount = 5;
         },
         "", false, false, {"All 4 available schedules are in use"}, false},
        {"query cancelled", nullptr, "Outlet", false, false, {}, false},
        {"name of another schedule", nullptr, "Storm", true, false, {"Schedule name entered is not unique"}, false},
        {"name of the Modbus selection", nullptr, "Modbus", true, false, {"Schedule name entered is not unique"},
         false},
        {"selection closed without OK", nullptr, "Outlet", true, true, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form.reset();
        messages.clear();
        auto images = standin::defaultImages();
        if (c.images)
            c.images(images);
        setImages(images);
        open();
        // (A query where none is due is cancelled, which adds nothing.)
        answerQuery(c.typed, c.queryOk);
        if (c.selection)
            answerSelection({}, false);
        treeMenu(form->AddSchedule);
        EXPECT_EQ(messages, c.messages);
        EXPECT_FALSE(form->Updating);
        if (c.added) {
            // The schedule stands, with the channels its record had.
            ScheduleSetupData& outlet = conf.Schedules[3];
            SetImageText(outlet.Name, "Outlet");
            outlet.Enabled = 1;
            outlet.InUse = 1;
            conf.ScheduleCount = 4;
            EXPECT_NE(node({"Schedules", "Outlet"}), nullptr);
            EXPECT_EQ(form->ScheduleIndex, 3);
        }
        expectImages();
    }
}

TEST_F(SetupSchedules, ANewScheduleTakesTheChosenChannelsWhileTheyFit)
{
    setImages(fullSonde());
    open();
    QStringList all;
    for (int c = 0; c < ImageChannelCount; ++c)
        if (device->CalData.Channels[c].Enabled)
            all << QString::fromLatin1(device->CalData.Channels[c].Name);
    answerQuery("Everything");
    answerSelection(all);
    treeMenu(form->AddSchedule);
    // Taken in the order offered, each with what it is computed from,
    // until 25 numbers are used.
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], "A schedule can hold at most 25 channels, counting the channels they are computed "
                           "from. These channels were not added: Aux27, Aux28, Aux29, Aux30, Aux31, Aux32, Aux33, "
                           "Aux34, Aux35.");
    const ScheduleSetupData& added = device->ConfData.Schedules[3];
    EXPECT_EQ(added.ChannelCount, 25);
    std::set<int> expected = {0, 1, 2, 3, 4, 5, 6, 8, 9, 11};
    for (int c = 12; c <= 26; ++c)
        expected.insert(c);
    EXPECT_EQ(channelSet(added), expected);
    EXPECT_EQ(form->Schedule_ChannelListBox->count(), 25);
    EXPECT_EQ(imageDifferences(device->ConfData.Schedules[4], conf.Schedules[4]), "");
}

// Four schedules: Hourly and Daily by time, Storm started by a depth
// trigger, Flood started and stopped by triggers.
standin::SensorImages fourSchedules()
{
    auto images = standin::defaultImages();
    ConfigurationData& c = images.conf;
    putSchedule(c, 3, "Flood", {standin::channels::Pressure, standin::channels::Depth, standin::channels::Cond}, 3000);
    c.Schedules[3].MaxScans = 500;
    putTrigger(c, Start, 3, 2, standin::channels::Depth, 2.0f, 1.8f, tcRising);
    putTrigger(c, Stop, 3, 3, standin::channels::Depth, 1.0f, 1.1f, tcFalling);
    putSchedule(c, 4, "Daily", {standin::channels::Temperature, standin::channels::Battery}, 8640000);
    c.Schedules[4].Reserved31 = 0x5C; // carried unchanged wherever the record goes
    c.ScheduleCount = 5;
    return images;
}

TEST_F(SetupSchedules, DeletingAScheduleInTheMiddleMovesTheLaterOnesDown)
{
    const auto images = fourSchedules();
    setImages(images);
    openOn({"Schedules", "Storm"});
    treeMenu(form->DeleteSchedule);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();

    const ConfigurationData& before = images.conf;
    conf.Schedules[2] = before.Schedules[3];
    conf.Schedules[3] = before.Schedules[4];
    conf.Methods[2] = before.Methods[3];
    conf.Methods[12] = before.Methods[13];
    conf.Methods[3] = before.Methods[4];
    conf.Methods[13] = before.Methods[14];
    for (int m : {2, 12, 3, 13})
        conf.Methods[m].ScheduleNumber = static_cast<uint8_t>(m % StopMethodOffset);
    clearedRecord(conf, 4);
    conf.ScheduleCount = 4;
    conf.Triggers[1] = TriggerSetupData{}; // Storm's trigger is given back
    expectImages();

    EXPECT_EQ(page(), form->SS_ScheduleOverviewTab);
    EXPECT_EQ(form->Treeview->Selected(), form->SchedulesNode);
    QStringList names;
    for (int i = 0; i < form->SchedulesNode->childCount(); ++i)
        names << form->SchedulesNode->child(i)->text(0);
    EXPECT_EQ(names, QStringList({"Hourly", "Flood", "Daily"}));
    const QStringList row0 = {"Hourly", "Flood", "Daily", "Not Used"};
    for (int col = 1; col <= 4; ++col)
        EXPECT_EQ(cell(col, 0), row0[col - 1]);
    EXPECT_EQ(cell(2, 6), "Trigger");
    EXPECT_EQ(cell(2, 7), "Trigger");
    EXPECT_EQ(cell(4, 1), "");

    // The moved schedule keeps its trigger set-up on its new record.
    click({"Schedules", "Flood"});
    EXPECT_EQ(form->ScheduleIndex, 2);
    showTab(form->StopMethodTab);
    EXPECT_EQ(form->StopTriggerCB->currentText(), "Depth");
    EXPECT_EQ(form->StopTriggerCauseCB->currentText(), "FALLING");
    EXPECT_EQ(form->StopTriggerSetPointEdit->text(), "1");
}

TEST_F(SetupSchedules, DeletingRefused)
{
    struct Case {
        const char* name;
        std::function<void(standin::SensorImages&)> images;
        const char* schedule;
        std::function<void(ConfigurationData&)> afterOpening;
        QString message;
    };
    const Case cases[] = {
        {"the only time-driven schedule that measures a trigger channel",
         [](standin::SensorImages& im) {
             setChannels(im.conf.Schedules[1], {standin::channels::Temperature, standin::channels::Battery});
             putSchedule(im.conf, 3, "Levels", {standin::channels::Pressure, standin::channels::Depth}, 6000);
             im.conf.ScheduleCount = 4;
         },
         "Levels", nullptr,
         "Unable to delete this schedule as it contains the trigger channel for a triggered schedule."},
        {"one schedule left by the count", nullptr, "Storm",
         [](ConfigurationData& c) { c.ScheduleCount = 2; },
         "There must allways be 1 schedule present, unable to delete this schedule."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form.reset();
        messages.clear();
        auto images = standin::defaultImages();
        if (c.images)
            c.images(images);
        setImages(images);
        openOn({"Schedules", c.schedule});
        if (c.afterOpening) {
            c.afterOpening(device->ConfData);
            c.afterOpening(conf);
        }
        treeMenu(form->DeleteSchedule);
        EXPECT_EQ(messages, QStringList({c.message}));
        expectImages();
        EXPECT_EQ(page(), form->SS_SchedulesTab);
    }
}

TEST_F(SetupSchedules, RenamingKeepsEditingTheSameSchedule)
{
    openOn({"Schedules", "Storm"});
    QString prompt;
    answerQuery("Storm_B", true, &prompt);
    treeMenu(form->RenameSchedule);
    EXPECT_EQ(prompt, "Enter a unique schedule name less then 15 characters long");
    SetImageText(conf.Schedules[2].Name, "Storm_B");
    expectImages();
    EXPECT_EQ(form->Treeview->Selected(), node({"Schedules", "Storm_B"}));
    EXPECT_EQ(form->ScheduleNameEditBox->text(), "Storm_B");
    EXPECT_EQ(form->ScheduleIndex, 2);
    tick(form->ScheduleEnabledCheckBox);
    conf.Schedules[2].Enabled = 0;
    expectImages();

    answerQuery("Hourly");
    treeMenu(form->RenameSchedule);
    EXPECT_EQ(messages, QStringList({"Schedule name entered is not unique"}));
    expectImages();
    EXPECT_EQ(form->ScheduleIndex, 2);
}

// The dialog is modal and stays on top, as the main window shows it; the box
// saying a name is taken comes in front of it, where the user can answer it.
TEST_F(SetupSchedules, NameTakenMessageComesInFrontOfTheDialog)
{
    open();
    form->hide();
    form->setWindowModality(Qt::ApplicationModal);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    click({"Schedules", "Storm"});
    MessageBoxWatch watch;
    answerQuery("Hourly");
    treeMenu(form->RenameSchedule);
    ASSERT_EQ(watch.texts(), QStringList({"Schedule name entered is not unique"}));
    watch.expectInFront({form.get()});
    expectImages();
}

// --- start and stop methods -------------------------------------------------------------------

TEST_F(SetupSchedules, TriggersTakenEditedAndGivenBack)
{
    openOn({"Schedules", "Storm"});
    showTab(form->StartMethodTab);

    // "DATA VARIATION" asks for one value only.
    choose(form->StartTriggerCauseCB, "DATA VARIATION");
    conf.Triggers[1].Condition = tcDataVariation;
    expectImages();
    EXPECT_EQ(form->TriggerSetPointLabel->text(), "Variation Value");
    EXPECT_FALSE(form->TriggerreEnableValueEdit->isVisible());
    choose(form->StartTriggerCauseCB, "RISING");
    conf.Triggers[1].Condition = tcRising;
    EXPECT_EQ(form->TriggerSetPointLabel->text(), "Set Point Value");
    EXPECT_TRUE(form->TriggerreEnableValueEdit->isVisible());

    retype(form->TriggerSetPointValueEdit, "2.25");
    conf.Triggers[1].SetPoint = 2.25f;
    expectImages();
    // No minus sign, no second point.
    QTest::keyClicks(form->TriggerSetPointValueEdit, "-.5");
    EXPECT_EQ(form->TriggerSetPointValueEdit->text(), "2.255");
    conf.Triggers[1].SetPoint = 2.255f;
    expectImages();
    // Nor pasted: the set point stays positive.
    form->TriggerSetPointValueEdit->setFocus();
    for (const char* pasted : {"-5", "\t7", "1,5"}) {
        QApplication::clipboard()->setText(QString::fromLatin1(pasted));
        QTest::keyClick(form->windowHandle(), Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(form->windowHandle(), Qt::Key_Insert, Qt::ShiftModifier);
        EXPECT_EQ(form->TriggerSetPointValueEdit->text(), "2.255") << pasted;
    }
    expectImages();
    // A lone point is no number: nothing changes, and the tab says why.
    // (Erasing key by key stored each number on the way, "2" the last.)
    retype(form->TriggerSetPointValueEdit, ".");
    conf.Triggers[1].SetPoint = 2.0f;
    expectImages();
    EXPECT_EQ(form->StartTriggerNote->text(), "\".\" is not a number: the set point stays 2.");
    // A number beyond what the sensor's 32-bit value holds neither.
    retype(form->TriggerSetPointValueEdit, QString(39, QLatin1Char('9')));
    conf.Triggers[1].SetPoint = static_cast<float>(std::stod(std::string(38, '9')));
    expectImages();
    EXPECT_EQ(form->StartTriggerNote->text(),
              "\"" + QString(39, QLatin1Char('9')) + "\" is too large: the set point stays 1e+38.");
    retype(form->TriggerSetPointValueEdit, "1e");
    EXPECT_EQ(form->TriggerSetPointValueEdit->text(), "1");
    conf.Triggers[1].SetPoint = 1.0f;
    expectImages();
    EXPECT_TRUE(form->StartTriggerNote->text().isEmpty());
    choose(form->StartTriggerCB, "Cond");
    conf.Triggers[1].Channel = standin::channels::Cond;
    expectImages();

    // The stop method takes the first free entry, 2, and gives it back.
    showTab(form->StopMethodTab);
    chooseMethod(form->StopMethodRadioGroup, 1);
    byTrigger(conf, Stop, 2, 2);
    expectImages();
    EXPECT_EQ(form->StopPageControl->currentWidget(), form->StopSimpleTab);
    EXPECT_EQ(form->StopTriggerCB->currentIndex(), -1);
    EXPECT_EQ(form->StopTriggerSetPointEdit->text(), "0");
    EXPECT_EQ(form->StopTriggerCauseCB->currentText(), "RISING");

    choose(form->StopTriggerCB, "Depth");
    choose(form->StopTriggerCauseCB, "FALLING");
    retype(form->StopTriggerSetPointEdit, "0.8");
    retype(form->StopTriggerReEnableEdit, "1");
    setTrigger(conf.Triggers[2], standin::channels::Depth, 0.8f, 1.0f, tcFalling);
    expectImages();

    chooseMethod(form->StopMethodRadioGroup, 0);
    byTimeAgain(conf, Stop, 2, 2);
    expectImages();
    EXPECT_EQ(form->StopPageControl->currentWidget(), form->StopTimeTab);

    showTab(form->StartMethodTab);
    chooseMethod(form->StartMethodRadioGroup, 0);
    byTimeAgain(conf, Start, 2, 1);
    expectImages();
    EXPECT_EQ(form->TriggerPageControl->currentWidget(), form->TriggerTimeTab);
    EXPECT_EQ(form->StartMethodDatePicker->date(), QDate(2025, 1, 1));
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

TEST_F(SetupSchedules, DateAndTimePickersStoreTheStartAndStopTimes)
{
    openOn({"Schedules", "Storm"});
    showTab(form->StopMethodTab);
    ASSERT_EQ(form->StopMethodDatePicker->date(), QDate(2099, 1, 1));
    // Up on the year of the stop date, then on the hour of the stop time.
    QDateEdit* date = form->StopMethodDatePicker;
    date->setFocus();
    date->setCurrentSection(QDateTimeEdit::YearSection);
    QTest::keyClick(date, Qt::Key_Up);
    EXPECT_EQ(date->date(), QDate(2100, 1, 1));
    conf.Schedules[2].StopTime = stamp(2100, 1, 1);
    expectImages();
    QTimeEdit* time = form->StopMethodTimePicker;
    time->setFocus();
    time->setCurrentSection(QDateTimeEdit::HourSection);
    QTest::keyClick(time, Qt::Key_Up);
    conf.Schedules[2].StopTime = stamp(2100, 1, 1, 1, 0, 0);
    expectImages();

    showTab(form->StartMethodTab);
    chooseMethod(form->StartMethodRadioGroup, 0);
    byTimeAgain(conf, Start, 2, 1);
    expectImages();
    // The time alone: stored together with the date the picker shows.
    time = form->StartMethodTimePicker;
    time->setFocus();
    time->setCurrentSection(QDateTimeEdit::MinuteSection);
    QTest::keyClick(time, Qt::Key_Up);
    QTest::keyClick(time, Qt::Key_Up);
    conf.Schedules[2].StartTime = stamp(2025, 1, 1, 0, 2, 0);
    expectImages();
    date = form->StartMethodDatePicker;
    date->setFocus();
    date->setCurrentSection(QDateTimeEdit::DaySection);
    QTest::keyClick(date, Qt::Key_Up);
    conf.Schedules[2].StartTime = stamp(2025, 1, 2, 0, 2, 0);
    expectImages();
    // The sensor keeps years from 2000: the picker goes no earlier.
    EXPECT_EQ(date->minimumDate(), QDate(2000, 1, 1));
    EXPECT_EQ(date->maximumDate(), QDate(2199, 12, 31));
}

TEST_F(SetupSchedules, NoFreeTriggerEntryRefusesTheSwitch)
{
    auto images = standin::defaultImages();
    for (int t = 2; t < TriggerEntryCount; ++t)
        images.conf.Triggers[t].InUse = 1;
    setImages(images);
    openOn({"Schedules", "Storm"});
    showTab(form->StopMethodTab);
    chooseMethod(form->StopMethodRadioGroup, 1);
    EXPECT_EQ(messages,
              QStringList({"All 31 triggers are in use, unable to stop this schedule by a trigger. Set another "
                           "schedule's start or stop method to Time to free a trigger."}));
    EXPECT_EQ(form->StopMethodRadioGroup->ItemIndex(), 0);
    EXPECT_EQ(form->StopPageControl->currentWidget(), form->StopTimeTab);
    expectImages();
}

TEST_F(SetupSchedules, AMethodEntryThatIsNotTheSchedulesOwnIsNeitherShownNorEdited)
{
    // Storm says it starts by a trigger, but its method entry names another
    // schedule, or a trigger entry the table does not have (images made
    // elsewhere).
    struct Case {
        const char* name;
        std::function<void(MethodSetupData&)> spoil;
    };
    const Case cases[] = {
        {"another schedule's entry", [](MethodSetupData& m) { m.ScheduleNumber = 3; }},
        {"trigger entry 40", [](MethodSetupData& m) { m.TriggerNumbers[0] = 40; }},
        {"trigger entry 0", [](MethodSetupData& m) { m.TriggerNumbers[0] = 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form.reset();
        auto images = standin::defaultImages();
        c.spoil(images.conf.Methods[2]);
        setImages(images);
        openOn({"Schedules", "Storm"});
        showTab(form->StartMethodTab);
        EXPECT_EQ(form->StartTriggerCB->currentIndex(), -1);
        EXPECT_TRUE(form->TriggerSetPointValueEdit->text().isEmpty());
        EXPECT_FALSE(form->StartTriggerNote->text().isEmpty());
        retype(form->TriggerSetPointValueEdit, "3");
        choose(form->StartTriggerCB, "Depth");
        choose(form->StartTriggerCauseCB, "FALLING");
        expectImages();
        // Time, then a trigger again, gives the method an entry of its own.
        chooseMethod(form->StartMethodRadioGroup, 0);
        chooseMethod(form->StartMethodRadioGroup, 1);
        conf.Methods[2] = images.conf.Methods[2];
        conf.Methods[2].ScheduleNumber = 2;
        conf.Methods[2].TriggerNumbers[0] = 1;
        conf.Triggers[1] = TriggerSetupData{};
        conf.Triggers[1].InUse = 1;
        expectImages();
        EXPECT_TRUE(form->StartTriggerNote->text().isEmpty());
    }
}

// --- overview ------------------------------------------------------------------------------

TEST_F(SetupSchedules, OverviewShowsTheFourUserSchedules)
{
    auto images = fourSchedules();
    images.conf.Schedules[4].Enabled = 0;
    images.conf.Schedules[4].AverageCount = 1;
    images.conf.Schedules[4].AverageInterval = 300; // one reading: no averaging to show
    setImages(images);
    openOn({"Schedules"});
    const QStringList titles = {"Schedule Name", "Status",       "Scan Time",    "Record Time",
                                "Averaging",     "Avg interval", "Start method", "Stop method"};
    const QStringList columns[] = {
        {"Hourly", "Enabled", "1 hour", "1 hour", "5", "2", "Time", "Time"},
        {"Storm", "Enabled", "1 minute", "1 minute", "10", "0.5", "Trigger", "Time"},
        {"Flood", "Enabled", "30 seconds", "30 seconds", "NA", "0", "Trigger", "Trigger"},
        {"Daily", "Paused", "24 hours", "24 hours", "NA", "0", "Time", "Time"},
    };
    TStringGrid* grid = form->ScheduleOverviewGrid;
    EXPECT_EQ(grid->RowCount(), 8);
    EXPECT_EQ(grid->ColCount(), 5);
    EXPECT_EQ(grid->FixedCols(), 1);
    EXPECT_EQ(grid->FixedRows(), 0);
    for (int row = 0; row < 8; ++row) {
        EXPECT_EQ(cell(0, row), titles[row]);
        for (int col = 1; col <= 4; ++col)
            EXPECT_EQ(cell(col, row), columns[col - 1][row]) << col << "," << row;
    }
    expectImages();
}

} // namespace
