// The set-up dialog's frame: the "Sensor Info" page, the navigation tree and
// its page switching, the shared look-ups and name query, the shared key
// filters, and Ok and Cancel.
#include "SetupDialogFixture.h"

#include "StringQueryForm.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

namespace {

class SetupFrame : public SetupDialogFixture {};

QStringList children(QTreeWidgetItem* n)
{
    QStringList names;
    for (int i = 0; n && i < n->childCount(); ++i)
        names << n->child(i)->text(0);
    return names;
}

TEST_F(SetupFrame, OpensOnTheSensorInfoPageAndChangesNoByte)
{
    open();
    EXPECT_EQ(form->windowTitle(), "Halvorine Brindlecot Version 2.2  SensorSetup");
    EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(form->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(page(), form->SS_InfoTab);
    EXPECT_EQ(form->SensorNameEdit->text(), "Weir Sonde 4");
    EXPECT_EQ(form->SS_SensorIDEdit->text(), "QS104217");
    EXPECT_EQ(form->SS_FirmwareVersionEdit->text(), "2.31");
    EXPECT_TRUE(form->SS_FactoryCalDateEdit->text().contains("2024")) << form->SS_FactoryCalDateEdit->text().toStdString();
    EXPECT_TRUE(form->SS_FactoryCalDateEdit->text().contains("10:30")) << form->SS_FactoryCalDateEdit->text().toStdString();
    EXPECT_EQ(form->MemoryCapacityEdit->text(), "2097152 Bytes");
    EXPECT_EQ(form->SS_MemoryUsedEdit->text(), "524288 Bytes, Percent(25.0%)");
    EXPECT_TRUE(form->SS_MemoryWrapCheckBox->isChecked());
    EXPECT_TRUE(form->SS_SensorIDEdit->isReadOnly());
    EXPECT_EQ(form->ChannelIndex, 0);
    EXPECT_EQ(form->ScheduleIndex, 0);
    EXPECT_FALSE(form->Updating);
    expectImages();
}

TEST_F(SetupFrame, MemoryOfNoCapacityShowsNothingUsed)
{
    device->Status.MemoryCapacity = 0;
    device->Status.MemoryUsed = 0;
    open();
    EXPECT_EQ(form->SS_MemoryUsedEdit->text(), "0 Bytes, Percent(0.0%)");
}

TEST_F(SetupFrame, TreeHoldsEnabledChannelsAndUsedSchedules)
{
    // A schedule record beyond the count is not shown even when in use, nor
    // is a disabled channel.
    auto images = standin::defaultImages();
    images.conf.Schedules[3].InUse = 1;
    SetImageText(images.conf.Schedules[3].Name, "Spare");
    setImages(images);
    open();

    ASSERT_NE(form->RootNode, nullptr);
    EXPECT_EQ(form->RootNode->text(0), "Weir Sonde 4");
    EXPECT_EQ(children(form->RootNode), QStringList({"Channels", "Schedules", "Modbus Registers"}));
    EXPECT_EQ(children(form->ChannelsNode), QStringList({"Battery", "Temperature", "Pressure", "Depth", "Cond",
                                                        "Salinity", "pH", "ODO sat", "ODO mg/l", "Turbidity"}));
    EXPECT_EQ(children(form->SchedulesNode), QStringList({"Hourly", "Storm"}));
    for (QTreeWidgetItem* n : {form->RootNode, form->ChannelsNode, form->SchedulesNode})
        EXPECT_TRUE(n->isExpanded());
    EXPECT_FALSE(form->Treeview->rootIsDecorated());
}

TEST_F(SetupFrame, EachNodeShowsItsPage)
{
    open();
    struct Case {
        QStringList path;
        QWidget* TSensorSetupForm::*page;
        int channel;
        int schedule;
        bool renameChannel, renameSchedule, deleteSchedule, methodTabs;
    };
    const Case cases[] = {
        {{"Channels"}, &TSensorSetupForm::SS_MonitorChannelsTab, -1, 0, false, false, false, false},
        {{"Channels", "Depth"}, &TSensorSetupForm::SS_ChannelsTab, 3, 0, true, false, false, false},
        {{"Schedules"}, &TSensorSetupForm::SS_ScheduleOverviewTab, -1, 0, false, false, false, false},
        {{"Schedules", "Hourly"}, &TSensorSetupForm::SS_SchedulesTab, -1, 1, false, true, false, false},
        {{"Modbus Registers"}, &TSensorSetupForm::SS_ModbusTab, -1, 0, false, false, false, false},
        {{"Schedules", "Storm"}, &TSensorSetupForm::SS_SchedulesTab, -1, 2, false, true, true, true},
        {{"Channels", "Turbidity"}, &TSensorSetupForm::SS_ChannelsTab, 11, 0, true, false, false, false},
        {{}, &TSensorSetupForm::SS_InfoTab, -1, 0, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.join('/').toStdString());
        click(c.path);
        EXPECT_EQ(page(), form.get()->*c.page);
        EXPECT_EQ(form->ChannelIndex, c.channel);
        EXPECT_EQ(form->ScheduleIndex, c.schedule);
        EXPECT_EQ(form->RenameChannel->isVisible(), c.renameChannel);
        EXPECT_EQ(form->RenameSchedule->isVisible(), c.renameSchedule);
        EXPECT_EQ(form->DeleteSchedule->isVisible(), c.deleteSchedule);
        EXPECT_TRUE(form->AddSchedule->isVisible());
        if (page() == form->SS_SchedulesTab) {
            QTabWidget* tabs = form->SchedulePageControl;
            EXPECT_EQ(tabs->currentWidget(), form->SchedulesLoggingTab);
            EXPECT_TRUE(tabs->isTabVisible(tabs->indexOf(form->SchedulesAveragingTab)));
            EXPECT_EQ(tabs->isTabVisible(tabs->indexOf(form->StartMethodTab)), c.methodTabs);
            EXPECT_EQ(tabs->isTabVisible(tabs->indexOf(form->StopMethodTab)), c.methodTabs);
            EXPECT_TRUE(form->Sched_Panel->isVisible());
            EXPECT_TRUE(form->ScheduleSettingsPanel->isVisible());
        }
        if (page() == form->SS_ScheduleOverviewTab) {
            EXPECT_FALSE(form->Sched_Panel->isEnabled());
        }
        EXPECT_FALSE(form->Updating);
        for (QTreeWidgetItem* n : {form->RootNode, form->ChannelsNode, form->SchedulesNode})
            EXPECT_TRUE(n->isExpanded());
    }
    expectImages();
}

TEST_F(SetupFrame, NodesOfTheSameNameOpenTheFirstRecordOfThatName)
{
    auto images = standin::defaultImages();
    SetImageText(images.cal.Channels[standin::channels::Salinity].Name, "Depth");
    SetImageText(images.conf.Schedules[2].Name, "Hourly");
    setImages(images);
    open();
    ASSERT_EQ(form->ChannelsNode->child(5)->text(0), "Depth");
    click(form->ChannelsNode->child(5));
    EXPECT_EQ(form->ChannelIndex, standin::channels::Depth);
    EXPECT_EQ(form->Chan_UnitNameEdit->text(), "Metres");
    click(form->SchedulesNode->child(1));
    EXPECT_EQ(form->ScheduleIndex, 1);
}

TEST_F(SetupFrame, TreeNodesDoNotCollapse)
{
    open();
    form->Treeview->collapseItem(form->ChannelsNode);
    EXPECT_TRUE(form->ChannelsNode->isExpanded());
    bool allow = true;
    form->TreeviewCollapsing(form->Treeview, form->RootNode, allow);
    EXPECT_FALSE(allow);
    // A double click, which would fold a node, leaves it open too.
    const QPoint at = form->Treeview->visualItemRect(form->SchedulesNode).center();
    QTest::mouseDClick(form->Treeview->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::qWait(100);
    EXPECT_TRUE(form->SchedulesNode->isExpanded());
}

TEST_F(SetupFrame, ARightClickShowsTheMenuOfTheSelectedNode)
{
    open();
    click({"Channels", "Depth"});
    const QPoint at = form->Treeview->visualItemRect(node({"Schedules", "Storm"})).center();
    QTest::mouseClick(form->Treeview->viewport(), Qt::RightButton, Qt::NoModifier, at);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, form->Treeview->viewport()->mapToGlobal(at));
    QApplication::sendEvent(form->Treeview->viewport(), &menu);
    QTest::qWait(100);
    EXPECT_TRUE(form->TreeViewPopupMenu->isVisible());
    form->TreeViewPopupMenu->hide();
    EXPECT_EQ(form->Treeview->Selected()->text(0), "Depth");
    EXPECT_EQ(page(), form->SS_ChannelsTab);
    EXPECT_EQ(form->ChannelIndex, standin::channels::Depth);
}

TEST_F(SetupFrame, FindsRecordsByName)
{
    open();
    EXPECT_EQ(form->FindChannelByName("Cond"), standin::channels::Cond);
    EXPECT_EQ(form->FindChannelByName("ODO cal"), standin::channels::OdoCal); // disabled records count too
    EXPECT_EQ(form->FindChannelByName("cond"), 0);
    EXPECT_EQ(form->FindChannelByName(""), 12); // the first unnamed record
    EXPECT_EQ(form->FindScheduleByName("Monitor"), 0);
    EXPECT_EQ(form->FindScheduleByName("Storm"), 2);
    EXPECT_EQ(form->FindScheduleByName("Modbus"), 6);
    EXPECT_EQ(form->FindScheduleByName("Nightly"), 0);
}

TEST_F(SetupFrame, QueryNameGivesTheTypedNameOnlyOnOk)
{
    open();
    struct Case {
        const char* name;
        QString typed;
        const char* button;
        bool result;
        QString text;
    };
    const Case cases[] = {
        {"typed and Ok", "Outlet_2", "OkBtn", true, "Outlet_2"},
        {"cut to the limit", "ABCDEFGHIJKLMNO", "OkBtn", true, "ABCDEFGHIJK"},
        {"empty", "", "OkBtn", false, ""},
        {"cancelled", "Outlet", "CancelBtn", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString prompt;
        QTimer::singleShot(0, [&] {
            auto* query = qobject_cast<TStringQuery*>(QApplication::activeModalWidget());
            ASSERT_NE(query, nullptr);
            prompt = query->Label->text();
            QTest::keyClicks(query->Edit, c.typed);
            QTest::mouseClick(query->findChild<QPushButton*>(c.button), Qt::LeftButton);
        });
        QString text;
        EXPECT_EQ(form->QueryName("Enter a name", 12, text), c.result);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(prompt, "Enter a name");
    }
}

TEST_F(SetupFrame, SharedKeyFiltersLetThroughTheirKeysOnly)
{
    open();
    struct Case {
        const char* name;
        TSensorSetupForm::TKeyPressHandler filter;
        bool updating;
        QString start;
        QString typed;
        QString passed; // the typed characters that came through
    };
    const QString keys = QStringLiteral("1a.-2.,e\r\b\x0c 9");
    const Case cases[] = {
        {"whole numbers", &TSensorSetupForm::Chan_PresisionEditKeyPress, false, "", keys, "12\b\x0c" "9"},
        {"one decimal point", &TSensorSetupForm::Chan_DataVariationValueEditKeyPress, false, "", keys,
         "1.2\b\x0c" "9"},
        {"no second point", &TSensorSetupForm::Chan_DataVariationValueEditKeyPress, false, "0.5", ".7", "7"},
        {"trigger values: Enter passes", &TSensorSetupForm::TriggerSetPointValueEditKeyPress, false, "", keys,
         "1.2\r\b\x0c" "9"},
        {"trigger values while filling", &TSensorSetupForm::TriggerSetPointValueEditKeyPress, true, "", keys, keys},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QLineEdit edit(c.start);
        form->Updating = c.updating;
        QString passed;
        for (QChar key : c.typed) {
            QChar k = key;
            (form.get()->*c.filter)(&edit, k);
            if (!k.isNull()) {
                passed += k;
                if (k.isPrint())
                    edit.insert(k);
            }
        }
        form->Updating = false;
        EXPECT_EQ(passed, c.passed);
    }
}

TEST_F(SetupFrame, TypingGoesThroughTheFilterOfTheEdit)
{
    open();
    click({"Channels", "Depth"});
    QTest::keyClicks(form->Chan_DataVariationValueEdit, "-x,");
    EXPECT_EQ(form->Chan_DataVariationValueEdit->text(), "0.05");
    retype(form->Chan_DataVariationValueEdit, "1.2.5");
    EXPECT_EQ(form->Chan_DataVariationValueEdit->text(), "1.25");
    // Pasted text is held to the same rule; what it takes goes in.
    QApplication::clipboard()->setText("-1");
    QTest::keyClick(form->windowHandle(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(form->Chan_DataVariationValueEdit->text(), "1.25");
    QApplication::clipboard()->setText("75");
    QTest::keyClick(form->windowHandle(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(form->Chan_DataVariationValueEdit->text(), "1.2575");
    // The editing keys work: select all, cut, undo.
    QTest::keyClick(form->windowHandle(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(form->windowHandle(), Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(form->Chan_DataVariationValueEdit->text(), "");
    EXPECT_EQ(QApplication::clipboard()->text(), "1.2575");
    QTest::keyClick(form->windowHandle(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(form->Chan_DataVariationValueEdit->text(), "1.2575");
}

TEST_F(SetupFrame, OkAndCancelCloseWithTheirResultsAndLeaveTheEditsInTheImages)
{
    for (const char* button : {"SSOkBtn", "SSCancelBtn"}) {
        SCOPED_TRACE(button);
        form.reset();
        setImages(standin::defaultImages());
        open();
        form->hide();
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            ASSERT_EQ(modal, form.get());
            // The user unchecks "Wrap Memory(When full)", then leaves.
            QTest::mouseClick(form->SS_MemoryWrapCheckBox, Qt::LeftButton, Qt::NoModifier,
                              QPoint(8, form->SS_MemoryWrapCheckBox->height() / 2));
            QPushButton* b = form->findChild<QPushButton*>(button);
            QTest::mouseClick(b->window()->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                              b->mapTo(b->window(), b->rect().center()));
        });
        EXPECT_EQ(form->ShowModal(), std::string(button) == "SSOkBtn" ? mrOk : mrCancel);
        conf.MemoryWrap = 0;
        expectImages();
    }
}

} // namespace

namespace {
TEST_F(SetupFrame, DraggingANodeDoesNotChangeThePage)
{
    open();
    click({"Schedules", "Storm"});
    QTreeWidgetItem* depth = node({"Channels", "Depth"});
    const QPoint from = form->Treeview->visualItemRect(depth).center();
    QWidget* viewport = form->Treeview->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, from);
    QTest::qWait(80);
    // Along the node's row, past the drag distance; the drag itself ends at
    // once here, as no window takes the drop.
    QTest::mouseMove(viewport, from + QPoint(5, 0));
    QTest::mouseMove(viewport, from + QPoint(40, 0));
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, from + QPoint(40, 0));
    QTest::qWait(100);
    EXPECT_EQ(form->Treeview->Selected(), depth);
    EXPECT_EQ(page(), form->SS_SchedulesTab);
    EXPECT_EQ(form->ScheduleIndex, 2);
}
} // namespace
