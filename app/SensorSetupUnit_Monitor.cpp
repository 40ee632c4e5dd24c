// The set-up dialog's Monitor and Modbus pages: which channels the monitor
// measures (schedule record 0), which the sensor maps into Modbus holding
// registers (schedule record 6) and the registers they get, and the
// memory-wrap check box of "Sensor Info".
#include "SensorSetupUnit.h"

#include "Grids.h"
#include "HvSensor_Quarn.h"
#include "ModbusRegistersForm.h"
#include "StdCtrls.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstring>
#include <memory>
#include <vector>

namespace {

// Channel number of the Modbus selection's free places.
constexpr uint8_t NoModbusChannel = 35;
// The first holding register of the channel blocks, and the block size.
constexpr int FirstChannelRegister = 100;
constexpr int RegistersPerChannel = 6;

const char* const ModbusWarning =
    "Note: At least 1 selected modbus channel does not appear on the Monitor screen. Channels not selected on the "
    "Monitor screen may not update automatically when polled via modbus.";

int entries(const ScheduleSetupData& record)
{
    return record.ChannelCount < TSensor_Quarn::MaxScheduleChannels ? record.ChannelCount
                                                                     : TSensor_Quarn::MaxScheduleChannels;
}

// Whether a selection's entry `c` names an enabled channel; `freePlace`
// marks the selection's free places.
bool selects(const CalibrationData& cal, uint8_t c, uint8_t freePlace)
{
    return c != freePlace && c < ImageChannelCount && cal.Channels[c].Enabled != 0;
}

TMemo* warningMemo(QWidget* parent, const char* name)
{
    auto* memo = Named(new TMemo(parent), name);
    memo->setReadOnly(true);
    memo->setStyleSheet(QStringLiteral("color: red"));
    memo->setFixedHeight(56);
    memo->hide();
    return memo;
}

std::vector<std::string> checkedNames(const TCheckListBox* list)
{
    std::vector<std::string> names;
    for (int i = 0; i < list->count(); ++i)
        if (list->Checked(i))
            names.push_back(list->item(i)->text().toLatin1().toStdString());
    return names;
}

} // namespace

void TSensorSetupForm::BuildMonitorPages()
{
    MonitorCheckListBox = Named(new TCheckListBox(SS_MonitorChannelsTab), "MonitorCheckListBox");
    MonitorWarningMemo = warningMemo(SS_MonitorChannelsTab, "MonitorWarningMemo");
    {
        auto* l = new QVBoxLayout(SS_MonitorChannelsTab);
        l->addWidget(new QLabel(QStringLiteral("Checked channels will appear on the Monitor screen."),
                                SS_MonitorChannelsTab));
        l->addWidget(MonitorCheckListBox, 1);
        l->addWidget(MonitorWarningMemo);
    }

    ModBusCheckListBox = Named(new TCheckListBox(SS_ModbusTab), "ModBusCheckListBox");
    ModbusWarningMemo = warningMemo(SS_ModbusTab, "ModbusWarningMemo");
    ModbusRegisterButton = Named(MakeButton(QStringLiteral("Show registers")), "ModbusRegisterButton");
    ModbusRegisterButton->setParent(SS_ModbusTab);
    ModBusRegisterStringGrid = Named(new TStringGrid(SS_ModbusTab), "ModBusRegisterStringGrid");
    ModBusRegisterStringGrid->SetColCount(5);
    ModBusRegisterStringGrid->SetRowCount(2);
    ModBusRegisterStringGrid->SetFixedRows(1);
    ModBusRegisterStringGrid->SetFixedCols(0);
    ModBusRegisterStringGrid->SetDefaultRowHeight(21);
    ModBusRegisterStringGrid->setEnabled(false);
    ModBusRegisterStringGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ModBusRegisterStringGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ModBusRegisterStringGrid->setFixedWidth(620);
    ModBusRegisterStringGrid->DefaultDrawing = false;
    ModBusRegisterStringGrid->OnDrawCell = [this](TStringGrid* grid, int col, int row, const QRect& rect, bool fixed,
                                                  QPainter* canvas) {
        ScheduleOverviewGridDrawCell(grid, col, row, rect, fixed, canvas);
    };
    {
        auto* l = new QVBoxLayout(SS_ModbusTab);
        l->addWidget(new QLabel(QStringLiteral("Checked channels will have values mapped to Modbus Holding Registers"),
                                SS_ModbusTab));
        l->addWidget(ModBusCheckListBox, 1);
        l->addWidget(ModbusWarningMemo);
        auto* row = new QHBoxLayout;
        row->addWidget(new QLabel(QStringLiteral("General Modbus Register Information"), SS_ModbusTab));
        row->addWidget(ModbusRegisterButton);
        row->addStretch();
        l->addLayout(row);
        l->addWidget(new QLabel(QStringLiteral("Checked Channel  Modbus Registers (Known values in brackets)"),
                                SS_ModbusTab));
        l->addWidget(ModBusRegisterStringGrid, 0, Qt::AlignLeft);
    }

    // Only the user's checks reach the handlers: the fills block the lists'
    // signals while they set the checks.
    ConnectHandler(MonitorCheckListBox, &QListWidget::itemChanged, this, &TSensorSetupForm::MonitorCheckListBoxClick);
    connect(ModBusCheckListBox, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        // The item whose check changed is the one the handler asks about.
        ModBusCheckListBox->setCurrentItem(item);
        RunHandler([this] { ModBusCheckListBoxClickCheck(); });
    });
    ConnectHandler(ModbusRegisterButton, &QPushButton::clicked, this, &TSensorSetupForm::ModbusRegisterButtonClick);
}

void TSensorSetupForm::FillChannelCheckList(TCheckListBox* list, const ScheduleSetupData& selection,
                                            uint8_t freePlace)
{
    const QSignalBlocker blocker(list);
    list->clear();
    const int channels = Cal->ChannelCount < ImageChannelCount ? Cal->ChannelCount : ImageChannelCount;
    for (int c = 0; c < channels; ++c)
        if (Cal->Channels[c].Enabled != 0)
            list->AddItem(Latin1Text(ImageText(Cal->Channels[c].Name)));
    for (int i = 0; i < entries(selection); ++i) {
        const uint8_t c = selection.Channels[i];
        if (!selects(*Cal, c, freePlace))
            continue;
        const auto found = list->findItems(Latin1Text(ImageText(Cal->Channels[c].Name)), Qt::MatchExactly);
        if (!found.isEmpty())
            found.first()->setCheckState(Qt::Checked);
    }
}

void TSensorSetupForm::ShowModbusWarnings(TMemo* memo)
{
    memo->hide();
    for (int i = 0; i < ModBusCheckListBox->count() && i < MonitorCheckListBox->count(); ++i)
        if (ModBusCheckListBox->Checked(i) && !MonitorCheckListBox->Checked(i)) {
            memo->setPlainText(QString::fromLatin1(ModbusWarning));
            memo->show();
        }
}

void TSensorSetupForm::SS_MonitorChannelsTabShow()
{
    FillChannelCheckList(MonitorCheckListBox, Conf->Schedules[MonitorScheduleRecord], NoChannel);
    ShowModbusWarnings(MonitorWarningMemo);
}

void TSensorSetupForm::SS_ModbusTabShow()
{
    const ScheduleSetupData& modbus = Conf->Schedules[ModbusScheduleRecord];
    FillChannelCheckList(ModBusCheckListBox, modbus, NoModbusChannel);

    TStringGrid* grid = ModBusRegisterStringGrid;
    const int rows = entries(modbus) + 1;
    grid->SetRowCount(rows);
    const char* const headers[] = {"Channel Name", "Channel Number", "Units Code", "Last Scanned", "Last Logged"};
    for (int col = 0; col < 5; ++col) {
        grid->SetCells(col, 0, QString::fromLatin1(headers[col]));
        for (int row = 1; row < rows; ++row)
            grid->SetCells(col, row, QString());
    }
    int base = FirstChannelRegister;
    int row = 1;
    for (int i = 0; i < entries(modbus); ++i) {
        const uint8_t c = modbus.Channels[i];
        if (!selects(*Cal, c, NoModbusChannel))
            continue;
        const QString name = Latin1Text(ImageText(Cal->Channels[c].Name));
        if (ModBusCheckListBox->findItems(name, Qt::MatchExactly).isEmpty())
            continue;
        const auto n = [](int value) { return QString::number(value); };
        grid->SetCells(0, row, name);
        grid->SetCells(1, row, n(base) + QLatin1Char('(') + n(c) + QLatin1Char(')'));
        grid->SetCells(2, row, n(base + 1) + QLatin1Char('(') + n(Cal->Channels[c].UnitsCode) + QLatin1Char(')'));
        grid->SetCells(3, row, n(base + 2) + QLatin1Char('-') + n(base + 3));
        grid->SetCells(4, row, n(base + 4) + QLatin1Char('-') + n(base + 5));
        base += RegistersPerChannel;
        ++row;
    }
    grid->setFixedHeight(rows >= 10 ? 220 : rows >= 5 ? 22 * rows : 88);

    ShowModbusWarnings(ModbusWarningMemo);
    grid->viewport()->update();
}

void TSensorSetupForm::StoreMonitorSelection()
{
    ScheduleSetupData& monitor = Conf->Schedules[MonitorScheduleRecord];
    std::memset(monitor.Channels, 0, sizeof monitor.Channels);
    int numbers[TSensor_Quarn::MaxScheduleChannels] = {};
    const int count = Sensor->composeScheduleChannelsList(checkedNames(MonitorCheckListBox), numbers);
    monitor.ChannelCount = static_cast<uint8_t>(count);
    for (int i = 0; i < count && i < TSensor_Quarn::MaxScheduleChannels; ++i)
        monitor.Channels[i] = static_cast<uint8_t>(numbers[i]);
    RebuildTree();
    SS_MonitorChannelsTabShow();
}

void TSensorSetupForm::StoreModbusSelection()
{
    ScheduleSetupData& modbus = Conf->Schedules[ModbusScheduleRecord];
    std::memset(modbus.Channels, NoModbusChannel, sizeof modbus.Channels);
    const std::vector<std::string> names = checkedNames(ModBusCheckListBox);
    if (!names.empty()) {
        int numbers[TSensor_Quarn::MaxScheduleChannels] = {};
        const int count = Sensor->composeMonitoScheduleChannelsList(names, numbers);
        modbus.ChannelCount = static_cast<uint8_t>(count);
        for (int i = 0; i < count && i < TSensor_Quarn::MaxScheduleChannels; ++i)
            modbus.Channels[i] = static_cast<uint8_t>(numbers[i]);
    }
    RebuildTree();
    SS_ModbusTabShow();
}

void TSensorSetupForm::MonitorCheckListBoxClick()
{
    if (Updating)
        return;
    StoreMonitorSelection();
}

void TSensorSetupForm::ModBusCheckListBoxClickCheck()
{
    if (Updating)
        return;
    const int i = ModBusCheckListBox->currentRow();
    if (i >= 0 && ModBusCheckListBox->Checked(i) && !MonitorCheckListBox->Checked(i)) {
        const int answer = MessageDlg(
            QStringLiteral("Channel may not update automatically if it is not also selected to appear in the "
                           "Monitor screen\r\nDo you want Brindlecot to add this channel to the Monitor screen?"),
            mtWarning, mbYesNoCancel);
        if (answer == mrYes) {
            {
                const QSignalBlocker blocker(MonitorCheckListBox);
                MonitorCheckListBox->SetChecked(i, true);
            }
            StoreMonitorSelection();
        } else if (answer != mrNo) {
            const QSignalBlocker blocker(ModBusCheckListBox);
            ModBusCheckListBox->SetChecked(i, false);
        }
    }
    StoreModbusSelection();
}

void TSensorSetupForm::ModbusRegisterButtonClick()
{
    std::unique_ptr<TModbusRegistersForm1> registers(new TModbusRegistersForm1(this));
    registers->ShowModal();
}

void TSensorSetupForm::SS_MemoryWrapCheckBoxClick()
{
    if (Updating)
        return;
    Conf->MemoryWrap = SS_MemoryWrapCheckBox->isChecked() ? 1 : 0;
}
