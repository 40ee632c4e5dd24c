// The set-up dialog's Monitor and Modbus pages and the register map: the
// lists show schedule records 0 and 6, the user's checks rewrite them byte for
// byte, and the Modbus channels get their registers from 100 on.
#include "SetupDialogFixture.h"

#include "Grids.h"
#include "ModbusRegistersForm.h"
#include "StdCtrls.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTimer>

#include <initializer_list>
#include <stdexcept>
#include <vector>

namespace {

namespace ch = standin::channels;
using Images = standin::SensorImages;
using testsupport::items;

void setList(ScheduleSetupData& s, std::initializer_list<uint8_t> channels, uint8_t fill, int count = -1)
{
    std::memset(s.Channels, fill, sizeof s.Channels);
    int n = 0;
    for (uint8_t c : channels)
        s.Channels[n++] = c;
    s.ChannelCount = static_cast<uint8_t>(count < 0 ? n : count);
}

class SetupMonitor : public SetupDialogFixture {
protected:
    QStringList checked(const TCheckListBox* list) const
    {
        QStringList names;
        for (int i = 0; i < list->count(); ++i)
            if (list->Checked(i))
                names << list->item(i)->text();
        return names;
    }
    // Selects the item with the mouse and toggles its check with the space
    // bar.
    static void toggle(TCheckListBox* list, const QString& name)
    {
        const auto found = list->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        list->scrollToItem(found.first());
        const QRect r = list->visualItemRect(found.first());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(r.right() - 10, r.center().y()));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Space);
        QApplication::processEvents();
    }
    QStringList gridRow(int row) const
    {
        QStringList cells;
        for (int col = 0; col < 5; ++col)
            cells << form->ModBusRegisterStringGrid->Cells(col, row);
        return cells;
    }
};

TEST_F(SetupMonitor, MonitorPageShowsTheMonitorSelection)
{
    auto images = standin::defaultImages();
    // An entry naming no channel of the image is passed over.
    setList(images.conf.Schedules[0], {ch::Battery, ch::Depth, ch::PHCal, 200, ch::Turbidity}, 0);
    setImages(images);
    open();
    click({"Channels"});
    EXPECT_EQ(page(), form->SS_MonitorChannelsTab);
    const QStringList enabled = {"Battery", "Temperature", "Pressure", "Depth", "Cond",
                                 "Salinity", "pH", "ODO sat", "ODO mg/l", "Turbidity"};
    EXPECT_EQ(items(form->MonitorCheckListBox), enabled);
    EXPECT_EQ(items(form->ModBusCheckListBox), enabled);
    EXPECT_EQ(checked(form->MonitorCheckListBox), QStringList({"Battery", "Depth", "Turbidity"}));
    // Modbus channels that the monitor leaves out: the warning.
    EXPECT_TRUE(form->MonitorWarningMemo->isVisible());
    EXPECT_EQ(form->MonitorWarningMemo->toPlainText(),
              "Note: At least 1 selected modbus channel does not appear on the Monitor screen. Channels not "
              "selected on the Monitor screen may not update automatically when polled via modbus.");
    expectImages();
}

TEST_F(SetupMonitor, ModbusChannelsGetRegisterBlocksFrom100)
{
    struct Case {
        const char* name;
        std::function<void(Images&)> setup;
        QStringList checked;
        std::vector<QStringList> rows; // the rows after the header
        int height;
    };
    const QStringList empty = {"", "", "", "", ""};
    const Case cases[] = {
        {"two channels",
         [](Images& im) { setList(im.conf.Schedules[6], {ch::Cond, ch::Depth}, 35); },
         {"Depth", "Cond"},
         {{"Cond", "100(4)", "101(53)", "102-103", "104-105"}, {"Depth", "106(3)", "107(0)", "108-109", "110-111"}},
         88},
        {"a disabled channel leaves its row empty at the end",
         [](Images& im) { setList(im.conf.Schedules[6], {ch::Cond, ch::PHCal, ch::Depth}, 35); },
         {"Depth", "Cond"},
         {{"Cond", "100(4)", "101(53)", "102-103", "104-105"},
          {"Depth", "106(3)", "107(0)", "108-109", "110-111"},
          empty},
         88},
        {"five rows", [](Images& im) { setList(im.conf.Schedules[6], {1, 2, 3, 4}, 35); },
         {"Temperature", "Pressure", "Depth", "Cond"},
         {{"Temperature", "100(1)", "101(20)", "102-103", "104-105"},
          {"Pressure", "106(2)", "107(5)", "108-109", "110-111"},
          {"Depth", "112(3)", "113(0)", "114-115", "116-117"},
          {"Cond", "118(4)", "119(53)", "120-121", "122-123"}},
         110},
        {"six rows", [](Images& im) { setList(im.conf.Schedules[6], {0, 1, 2, 3, 4}, 35); },
         {"Battery", "Temperature", "Pressure", "Depth", "Cond"},
         {{"Battery", "100(0)", "101(28)", "102-103", "104-105"},
          {"Temperature", "106(1)", "107(20)", "108-109", "110-111"},
          {"Pressure", "112(2)", "113(5)", "114-115", "116-117"},
          {"Depth", "118(3)", "119(0)", "120-121", "122-123"},
          {"Cond", "124(4)", "125(53)", "126-127", "128-129"}},
         132},
        {"the stand-in's 25 places, eight used",
         [](Images&) {},
         {"Temperature", "Depth", "Cond", "Salinity", "pH", "ODO sat", "ODO mg/l", "Turbidity"},
         {{"Temperature", "100(1)", "101(20)", "102-103", "104-105"},
          {"Depth", "106(3)", "107(0)", "108-109", "110-111"},
          {"Cond", "112(4)", "113(53)", "114-115", "116-117"},
          {"Salinity", "118(5)", "119(60)", "120-121", "122-123"},
          {"pH", "124(6)", "125(31)", "126-127", "128-129"},
          {"ODO sat", "130(8)", "131(38)", "132-133", "134-135"},
          {"ODO mg/l", "136(9)", "137(39)", "138-139", "140-141"},
          {"Turbidity", "142(11)", "143(45)", "144-145", "146-147"},
          empty, empty, empty, empty, empty, empty, empty, empty, empty, empty, empty, empty, empty, empty, empty,
          empty, empty},
         220},
        {"nothing chosen", [](Images& im) { setList(im.conf.Schedules[6], {}, 35, 0); }, {}, {}, 88},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form.reset();
        Images im = standin::defaultImages();
        c.setup(im);
        setImages(im);
        open();
        click({"Modbus Registers"});
        EXPECT_EQ(page(), form->SS_ModbusTab);
        QStringList expectedChecked;
        for (const QString& n : items(form->ModBusCheckListBox))
            if (c.checked.contains(n))
                expectedChecked << n;
        EXPECT_EQ(checked(form->ModBusCheckListBox), expectedChecked);
        TStringGrid* grid = form->ModBusRegisterStringGrid;
        ASSERT_EQ(grid->RowCount(), int(c.rows.size()) + 1);
        EXPECT_EQ(gridRow(0), QStringList({"Channel Name", "Channel Number", "Units Code", "Last Scanned", "Last Logged"}));
        for (size_t r = 0; r < c.rows.size(); ++r)
            EXPECT_EQ(gridRow(int(r) + 1), c.rows[r]) << "row " << r + 1;
        EXPECT_EQ(grid->height(), c.height);
        EXPECT_FALSE(grid->isEnabled());
        expectImages();
    }
}

TEST_F(SetupMonitor, UncheckingAMonitorChannelRewritesRecordZero)
{
    open();
    click({"Channels"});
    toggle(form->MonitorCheckListBox, "Turbidity");
    // The channels of the checked names with what they depend on, each once.
    setList(conf.Schedules[0], {0, 1, 2, 3, 4, 5, 6, 8, 9}, 0);
    expectImages();
    EXPECT_EQ(form->Treeview->Selected(), form->ChannelsNode);
    EXPECT_EQ(page(), form->SS_MonitorChannelsTab);
}

TEST_F(SetupMonitor, CheckingAMonitorChannelAddsWhatItDependsOn)
{
    auto images = standin::defaultImages();
    setList(images.conf.Schedules[0], {ch::Battery}, 0);
    setList(images.conf.Schedules[6], {}, 35, 0);
    setImages(images);
    open();
    click({"Channels"});
    toggle(form->MonitorCheckListBox, "Depth");
    setList(conf.Schedules[0], {ch::Battery, ch::Temperature, ch::Pressure, ch::Depth}, 0);
    expectImages();
    EXPECT_EQ(checked(form->MonitorCheckListBox), QStringList({"Battery", "Temperature", "Pressure", "Depth"}));
}

TEST_F(SetupMonitor, AModbusChannelMissingFromTheMonitorIsOfferedToIt)
{
    struct Case {
        const char* name;
        int answer;
        bool onMonitor; // Cond is on the monitor afterwards
        bool onModbus;  // and on Modbus
    };
    const Case cases[] = {
        {"Yes", mrYes, true, true},
        {"No", mrNo, false, true},
        {"Cancel", mrCancel, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form.reset();
        messages.clear();
        auto images = standin::defaultImages();
        setList(images.conf.Schedules[0], {ch::Battery, ch::Temperature}, 0);
        setList(images.conf.Schedules[6], {ch::Temperature}, 35);
        setImages(images);
        ShownMessage asked;
        answer = [&](const ShownMessage& m) {
            asked = m;
            return c.answer;
        };
        open();
        click({"Modbus Registers"});
        toggle(form->ModBusCheckListBox, "Cond");
        answer = nullptr;

        EXPECT_EQ(messages, QStringList({"Channel may not update automatically if it is not also selected to appear "
                                         "in the Monitor screen\r\nDo you want Brindlecot to add this channel to the "
                                         "Monitor screen?"}));
        EXPECT_EQ(asked.type, mtWarning);
        EXPECT_EQ(asked.buttons, mbYesNoCancel);
        if (c.onMonitor)
            setList(conf.Schedules[0], {ch::Battery, ch::Temperature, ch::Cond}, 0);
        if (c.onModbus)
            setList(conf.Schedules[6], {ch::Temperature, ch::Cond}, 35);
        expectImages();
        EXPECT_EQ(checked(form->ModBusCheckListBox).contains("Cond"), c.onModbus);
        EXPECT_EQ(form->ModbusWarningMemo->isVisible(), c.onModbus && !c.onMonitor);
        click({"Channels"});
        EXPECT_EQ(checked(form->MonitorCheckListBox).contains("Cond"), c.onMonitor);
        EXPECT_EQ(form->MonitorWarningMemo->isVisible(), c.onModbus && !c.onMonitor);
    }
}

// An error while a check is handled reaches the handler's error box instead
// of vanishing.
TEST_F(SetupMonitor, ErrorOfACheckIsShown)
{
    auto images = standin::defaultImages();
    setList(images.conf.Schedules[0], {ch::Battery, ch::Temperature}, 0);
    setList(images.conf.Schedules[6], {ch::Temperature}, 35);
    setImages(images);
    std::vector<TMsgDlgType> types;
    answer = [&](const ShownMessage& m) -> int {
        types.push_back(m.type);
        if (m.type == mtWarning)
            throw std::runtime_error("the question could not be asked");
        return mrOk;
    };
    open();
    click({"Modbus Registers"});
    toggle(form->ModBusCheckListBox, "Cond");
    answer = nullptr;
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[1], "the question could not be asked");
    EXPECT_EQ(types, std::vector<TMsgDlgType>({mtWarning, mtError}));
}

TEST_F(SetupMonitor, UncheckingTheLastModbusChannelKeepsTheCount)
{
    auto images = standin::defaultImages();
    setList(images.conf.Schedules[6], {ch::Temperature, ch::Depth}, 35);
    setImages(images);
    open();
    click({"Modbus Registers"});
    toggle(form->ModBusCheckListBox, "Depth");
    setList(conf.Schedules[6], {ch::Temperature}, 35);
    expectImages();
    toggle(form->ModBusCheckListBox, "Temperature");
    setList(conf.Schedules[6], {}, 35, 1);
    expectImages();
    EXPECT_EQ(form->ModBusRegisterStringGrid->RowCount(), 2);
    EXPECT_EQ(gridRow(1), QStringList({"", "", "", "", ""}));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(SetupMonitor, MemoryWrapFollowsTheCheckBox)
{
    auto images = standin::defaultImages();
    images.conf.MemoryWrap = 0;
    setImages(images);
    open();
    EXPECT_FALSE(form->SS_MemoryWrapCheckBox->isChecked());
    tick(form->SS_MemoryWrapCheckBox);
    conf.MemoryWrap = 1;
    expectImages();
}

TEST_F(SetupMonitor, RegisterMapListsTheSensorsRegisters)
{
    open();
    click({"Modbus Registers"});
    bool checkedMap = false;
    QTimer::singleShot(0, [&] {
        auto* map = qobject_cast<TModbusRegistersForm1*>(QApplication::activeModalWidget());
        ASSERT_NE(map, nullptr);
        EXPECT_EQ(map->windowTitle(), "Modbus registers");
        EXPECT_TRUE(map->windowFlags() & Qt::WindowStaysOnTopHint);
        TStringGrid* grid = map->StringGrid1;
        ASSERT_EQ(grid->ColCount(), 3);
        ASSERT_EQ(grid->RowCount(), 25);
        EXPECT_EQ(grid->FixedRows(), 1);
        // At least their widths, more where the desktop's font needs it.
        EXPECT_GE(grid->columnWidth(0), 90);
        EXPECT_GE(grid->columnWidth(1), 77);
        EXPECT_GE(grid->columnWidth(2), 382);
        const char* const rows[21][3] = {
            {"Register", "Type", "Description"},
            {"00001", "Char[2]", "Firmware version"},
            {"00002", "Char[2]", "Firmware version"},
            {"00003", "UI16", "Scanning current values flag"},
            {"00004", "UI16", "Number of enabled monitor channels"},
            {"00005", "UI16", "Logging status"},
            {"00006", "UI32", "Memory capacity[4 bytes]"},
            {"00008", "UI32", "Memory used[4 bytes]"},
            {"00010", "UC8[6]", "Serial number"},
            {"00013", "UI16", "CV Timestamp:year"},
            {"00014", "UI16", "CV Timestamp:month"},
            {"00015", "UI16", "CV Timestamp:day"},
            {"00016", "UI16", "CV Timestamp: hour"},
            {"00017", "UI16", "CV Timestamp: minute"},
            {"00018", "UI16", "CV Timestamp: seconds"},
            {"00100+", "Structure", "Channel current value stucture"},
            {"   Base+0", "UI16", "Channel number"},
            {"   Base+1", "UI16", "Units code"},
            {"   Base+2", "Float", "Last scanned channel value"},
            {"   Base+4", "Float", "Last logged channel value"},
            {"Base=Base+6", "", ""},
        };
        for (int r = 0; r < 25; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(grid->Cells(c, r), r < 21 ? QString::fromLatin1(rows[r][c]) : QString())
                    << "row " << r << " column " << c;
        EXPECT_TRUE(map->OKButton->isDefault());
        checkedMap = true;
        QTest::keyClick(map, Qt::Key_Return); // the default button
    });
    QTest::mouseClick(form->ModbusRegisterButton, Qt::LeftButton);
    EXPECT_TRUE(checkedMap);
    EXPECT_TRUE(form->findChildren<TModbusRegistersForm1*>().isEmpty());
    expectImages();
}

} // namespace
