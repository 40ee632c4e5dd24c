// The set-up dialog's frame: construction, the "Sensor Info" page, the
// navigation tree and page switching, the shared operations and key filters.
#include "SensorSetupUnit.h"

#include "CSpin.h"
#include "ComCtrls.h"
#include "FormatSettings.h"
#include "Grids.h"
#include "HvSensor_Quarn.h"
#include "KeyFilter.h"
#include "StdCtrls.h"
#include "StringQueryForm.h"
#include "Version.h"

#include <QAction>
#include <QCheckBox>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTabWidget>
#include <QVBoxLayout>

#include <memory>

namespace {

// The platform's date-and-time text: the date, and the time unless it is
// midnight; no text for a date that is not set.
QString dateTimeText(TDateTime value)
{
    if (value == 0.0)
        return QString();
    const TFormatSettings settings = TFormatSettings::System();
    std::string text = DateToStr(value, settings);
    int hour = 0, minute = 0, second = 0, msec = 0;
    DecodeTime(value, hour, minute, second, msec);
    if (hour != 0 || minute != 0 || second != 0)
        text += " " + TimeToStr(value, settings);
    return QString::fromLocal8Bit(text.c_str());
}

QLineEdit* readOnlyEdit(QWidget* parent, const char* name)
{
    auto* edit = Named(new QLineEdit(parent), name);
    edit->setReadOnly(true);
    return edit;
}

} // namespace

TSensorSetupForm::TSensorSetupForm(QWidget* owner, ConfigurationData* conf, CalibrationData* cal,
                                   SensorStatusData* status, TSensor_Quarn* sensor)
    : TForm(owner, NoBorderIcons | Qt::WindowStaysOnTopHint)
{
    Conf = conf;
    Cal = cal;
    Status = status;
    Sensor = sensor;
    {
        UpdatingScope updating(Updating);
        BuildFrame();
        BuildInfoPage();
        BuildChannelPage();
        BuildMonitorPages();
        BuildScheduleContainers();
        BuildSchedulePages();

        FillInfoPage();
    }

    ShowPage(SS_InfoTab);
    TriggerPageControl->setCurrentWidget(TriggerTimeTab);
    StopPageControl->setCurrentWidget(StopTimeTab);
    SchedulePageControl->setCurrentWidget(SchedulesLoggingTab);
    BuildTree();

    AveragingWarningLabel->hide();
    MonitorCheckListBox->setFrameShape(QFrame::NoFrame);
    ModBusCheckListBox->setFrameShape(QFrame::NoFrame);
    AvgPanel->setFrameShape(QFrame::NoFrame);
    // The grid's inner width, less its scroll bar, shared by the columns.
    TStringGrid* grid = ModBusRegisterStringGrid;
    grid->SetDefaultColWidth((grid->width() - 2 * grid->frameWidth() - grid->verticalScrollBar()->sizeHint().width())
                             / grid->ColCount());

    SS_MonitorChannelsTabShow();
    SS_ModbusTabShow();

    setWindowTitle(QString::fromLatin1(ProductCaption) + QString::fromLatin1(VersionText)
                   + QStringLiteral("  SensorSetup"));
}

// --- building the window ------------------------------------------------------

void TSensorSetupForm::BuildFrame()
{
    Treeview = Named(new TTreeView(this), "Treeview");
    Treeview->SetChangeDelay(50);
    Treeview->setDragEnabled(true);
    Treeview->setDragDropMode(QAbstractItemView::DragOnly);
    Treeview->setRootIsDecorated(false);
    Treeview->setItemsExpandable(false);
    Treeview->setFixedWidth(190);
    Treeview->setContextMenuPolicy(Qt::CustomContextMenu);
    Treeview->OnCollapsing = [this](QTreeWidgetItem* node, bool& allow) {
        TreeviewCollapsing(Treeview, node, allow);
    };
    connect(Treeview, &TTreeView::Change, this,
            [this](QTreeWidgetItem* node) { RunHandler([&] { TreeviewChange(Treeview, node); }); });
    ConnectHandler(Treeview, &QWidget::customContextMenuRequested, this, &TSensorSetupForm::TreeViewPopupMenuPopup);

    TreeViewPopupMenu = Named(new QMenu(this), "TreeViewPopupMenu");
    AddSchedule = Named(TreeViewPopupMenu->addAction(QStringLiteral("Add Schedule")), "AddSchedule");
    DeleteSchedule = Named(TreeViewPopupMenu->addAction(QStringLiteral("Delete Schedule")), "DeleteSchedule");
    RenameSchedule = Named(TreeViewPopupMenu->addAction(QStringLiteral("Rename Schedule")), "RenameSchedule");
    RenameChannel = Named(TreeViewPopupMenu->addAction(QStringLiteral("RenameChannel")), "RenameChannel");
    DeleteSchedule->setVisible(false);
    RenameSchedule->setVisible(false);
    RenameChannel->setVisible(false);
    ConnectHandler(AddSchedule, &QAction::triggered, this, &TSensorSetupForm::AddScheduleClick);
    ConnectHandler(DeleteSchedule, &QAction::triggered, this, &TSensorSetupForm::DeleteScheduleClick);
    ConnectHandler(RenameSchedule, &QAction::triggered, this, &TSensorSetupForm::RenameScheduleClick);
    ConnectHandler(RenameChannel, &QAction::triggered, this, &TSensorSetupForm::RenameChannelClick);

    PropertiesPageControl = Named(new QStackedWidget(this), "PropertiesPageControl");
    SS_InfoTab = AddPage(PropertiesPageControl, "SS_InfoTab");
    SS_ChannelsTab = AddPage(PropertiesPageControl, "SS_ChannelsTab");
    SS_SchedulesTab = AddPage(PropertiesPageControl, "SS_SchedulesTab");
    SS_MonitorChannelsTab = AddPage(PropertiesPageControl, "SS_MonitorChannelsTab");
    SS_ScheduleOverviewTab = AddPage(PropertiesPageControl, "SS_ScheduleOverviewTab");
    SS_ModbusTab = AddPage(PropertiesPageControl, "SS_ModbusTab");
    shownPage_ = PropertiesPageControl->currentWidget();
    ConnectHandler(PropertiesPageControl, &QStackedWidget::currentChanged, this, &TSensorSetupForm::PageChanged);

    SSOkBtn = Named(MakeButton(QStringLiteral("Ok"), mrOk), "SSOkBtn");
    SSCancelBtn = Named(MakeButton(QStringLiteral("Cancel"), mrCancel), "SSCancelBtn");

    auto* pages = new QFrame(this);
    pages->setFrameShape(QFrame::StyledPanel);
    auto* pagesLayout = new QVBoxLayout(pages);
    pagesLayout->setContentsMargins(8, 8, 8, 8);
    pagesLayout->addWidget(PropertiesPageControl);

    auto* body = new QHBoxLayout;
    body->addWidget(Treeview);
    body->addWidget(pages, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(SSOkBtn);
    buttons->addWidget(SSCancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);
    setFixedSize(860, 580);
}

QWidget* TSensorSetupForm::AddPage(QStackedWidget* pages, const char* name)
{
    auto* page = Named(new QWidget(pages), name);
    pages->addWidget(page);
    return page;
}

void TSensorSetupForm::FillWith(QWidget* parent, QWidget* child)
{
    auto* layout = new QVBoxLayout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(child);
}

void TSensorSetupForm::BuildInfoPage()
{
    SensorNameEdit = Named(new QLineEdit(SS_InfoTab), "SensorNameEdit");
    // No length limit on the edit itself: it would cut a longer name from
    // the image. The key filter limits typing.
    SS_SensorIDEdit = readOnlyEdit(SS_InfoTab, "SS_SensorIDEdit");
    SS_FirmwareVersionEdit = readOnlyEdit(SS_InfoTab, "SS_FirmwareVersionEdit");
    SS_FactoryCalDateEdit = readOnlyEdit(SS_InfoTab, "SS_FactoryCalDateEdit");
    MemoryCapacityEdit = readOnlyEdit(SS_InfoTab, "MemoryCapacityEdit");
    SS_MemoryUsedEdit = readOnlyEdit(SS_InfoTab, "SS_MemoryUsedEdit");
    SS_MemoryWrapCheckBox =
        Named(new QCheckBox(QStringLiteral("Wrap Memory(When full)"), SS_InfoTab), "SS_MemoryWrapCheckBox");

    SetKeyFilter(SensorNameEdit, &TSensorSetupForm::SensorNameEditKeyPress);
    ConnectHandler(SensorNameEdit, &QLineEdit::textChanged, this, &TSensorSetupForm::SensorNameEditChange);
    ConnectHandler(SS_MemoryWrapCheckBox, &QCheckBox::toggled, this, &TSensorSetupForm::SS_MemoryWrapCheckBoxClick);

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(QStringLiteral("Sensor Name"), SensorNameEdit);
    form->addRow(QStringLiteral("Sensor ID"), SS_SensorIDEdit);
    form->addRow(QStringLiteral("Firmware Version"), SS_FirmwareVersionEdit);
    form->addRow(QStringLiteral("Factory Calibration Date"), SS_FactoryCalDateEdit);
    form->addRow(QStringLiteral("Memory Capacity"), MemoryCapacityEdit);
    form->addRow(QStringLiteral("Memory Used"), SS_MemoryUsedEdit);
    auto* layout = new QVBoxLayout(SS_InfoTab);
    layout->addLayout(form);
    layout->addSpacing(8);
    layout->addWidget(SS_MemoryWrapCheckBox);
    layout->addStretch();
}

void TSensorSetupForm::BuildScheduleContainers()
{
    Sched_Panel = Named(new QWidget(SS_SchedulesTab), "Sched_Panel");
    FillWith(SS_SchedulesTab, Sched_Panel);

    ScheduleSettingsPanel = Named(new QWidget(Sched_Panel), "ScheduleSettingsPanel");
    SchedulePageControl = Named(new QTabWidget(ScheduleSettingsPanel), "SchedulePageControl");
    FillWith(ScheduleSettingsPanel, SchedulePageControl);
    auto tab = [this](const char* name, const char* caption) {
        auto* w = Named(new QWidget(SchedulePageControl), name);
        SchedulePageControl->addTab(w, QString::fromLatin1(caption));
        return w;
    };
    SchedulesLoggingTab = tab("SchedulesLoggingTab", "Logging Settings");
    StartMethodTab = tab("StartMethodTab", "Start Method");
    StopMethodTab = tab("StopMethodTab", "Stop Method");
    SchedulesAveragingTab = tab("SchedulesAveragingTab", "Averaging");
    connect(SchedulePageControl, &QTabWidget::currentChanged, this, [this] {
        if (SchedulePageControl->currentWidget() == SchedulesAveragingTab)
            RunHandler([this] { SchedulesAveragingTabShow(); });
    });

    auto pages = [](QWidget* parent, const char* name, QWidget*& time, const char* timeName, QWidget*& simple,
                    const char* simpleName) {
        auto* control = Named(new QStackedWidget(parent), name);
        time = AddPage(control, timeName);
        simple = AddPage(control, simpleName);
        return control;
    };
    TriggerPageControl = pages(StartMethodTab, "TriggerPageControl", TriggerTimeTab, "TriggerTimeTab",
                               TriggerSimpleTab, "TriggerSimpleTab");
    StopPageControl =
        pages(StopMethodTab, "StopPageControl", StopTimeTab, "StopTimeTab", StopSimpleTab, "StopSimpleTab");

    AvgPanel = Named(new QFrame(SchedulesAveragingTab), "AvgPanel");
    AvgPanel->setFrameShape(QFrame::StyledPanel);
    AveragingWarningLabel = Named(new QLabel(SchedulesAveragingTab), "AveragingWarningLabel");
    AveragingWarningLabel->setStyleSheet(QStringLiteral("color: red"));
    AveragingWarningLabel->setWordWrap(true);
}

void TSensorSetupForm::FillInfoPage()
{
    SS_SensorIDEdit->setText(Latin1Text(ImageText(Cal->SensorID)));
    SensorNameEdit->setText(Latin1Text(ImageText(Cal->SensorName)));
    SS_FirmwareVersionEdit->setText(Latin1Text(ImageText(Status->FirmwareVersion)));
    TDateTime calDate = 0;
    TSensor_Quarn::encodeTDateTime(Cal->FactoryCalDate, &calDate);
    SS_FactoryCalDateEdit->setText(dateTimeText(calDate));
    MemoryCapacityEdit->setText(QString::number(Status->MemoryCapacity) + QStringLiteral(" Bytes"));
    // An empty memory of no capacity is shown as 0.0 percent used.
    const double percent =
        Status->MemoryCapacity == 0 ? 0.0 : double(Status->MemoryUsed) / double(Status->MemoryCapacity) * 100.0;
    SS_MemoryUsedEdit->setText(
        QString::number(Status->MemoryUsed) + QStringLiteral(" Bytes, Percent(")
        + QString::fromLocal8Bit(FloatToStrF(percent, ffFixed, 15, 1, TFormatSettings::System()).c_str())
        + QStringLiteral("%)"));
    SS_MemoryWrapCheckBox->setChecked(Conf->MemoryWrap != 0);
}

// --- pages ------------------------------------------------------------------------

void TSensorSetupForm::ShowPage(QWidget* page)
{
    PropertiesPageControl->setCurrentWidget(page);
}

void TSensorSetupForm::PageChanged()
{
    QWidget* page = PropertiesPageControl->currentWidget();
    if (page == shownPage_)
        return;
    shownPage_ = page;
    if (page == SS_MonitorChannelsTab)
        SS_MonitorChannelsTabShow();
    else if (page == SS_ModbusTab)
        SS_ModbusTabShow();
    else if (page == SS_ScheduleOverviewTab)
        SS_ScheduleOverviewTabShow();
}

// --- the tree -----------------------------------------------------------------------

void TSensorSetupForm::BuildTree()
{
    {
        // A rebuild is no selection by the user: no change notice.
        const QSignalBlocker blocker(Treeview);
        Treeview->clear();
        RootNode = new QTreeWidgetItem(Treeview, QStringList(Latin1Text(ImageText(Cal->SensorName))));
        ChannelsNode = new QTreeWidgetItem(RootNode, QStringList(QStringLiteral("Channels")));
        SchedulesNode = new QTreeWidgetItem(RootNode, QStringList(QStringLiteral("Schedules")));
        const int channels = Cal->ChannelCount < ImageChannelCount ? Cal->ChannelCount : ImageChannelCount;
        for (int c = 0; c < channels; ++c)
            if (Cal->Channels[c].Enabled != 0)
                new QTreeWidgetItem(ChannelsNode, QStringList(Latin1Text(ImageText(Cal->Channels[c].Name))));
        const int schedules = Conf->ScheduleCount < ScheduleRecordCount ? Conf->ScheduleCount : ScheduleRecordCount;
        for (int s = FirstUserSchedule; s < schedules; ++s)
            if (s != ModbusScheduleRecord)
                new QTreeWidgetItem(SchedulesNode, QStringList(Latin1Text(ImageText(Conf->Schedules[s].Name))));
        ModbusNode = new QTreeWidgetItem(RootNode, QStringList(QStringLiteral("Modbus Registers")));
        Treeview->FullExpand();
    }
    Treeview->SelectQuietly(nullptr);
    ChannelIndex = 0;
    ScheduleIndex = 0;
}

QTreeWidgetItem* TSensorSetupForm::FindNode(QTreeWidgetItem* parent, const QString& text) const
{
    if (!parent)
        return nullptr;
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == text)
            return parent->child(i);
    return nullptr;
}

void TSensorSetupForm::RebuildTree()
{
    QWidget* page = PropertiesPageControl->currentWidget();
    const int channel = ChannelIndex;
    const int schedule = ScheduleIndex;
    BuildTree();

    const auto recordNode = [this](QTreeWidgetItem* parent, int record, bool channels) -> QTreeWidgetItem* {
        for (int i = 0; i < parent->childCount(); ++i) {
            const std::string name = parent->child(i)->text(0).toLatin1().toStdString();
            if ((channels ? FindChannelByName(name) : FindScheduleByName(name)) == record)
                return parent->child(i);
        }
        return nullptr;
    };
    QTreeWidgetItem* node = nullptr;
    if (page == SS_ChannelsTab) {
        node = channel >= 0 ? recordNode(ChannelsNode, channel, true) : nullptr;
        if (node)
            ChannelIndex = channel;
    } else if (page == SS_SchedulesTab) {
        node = schedule > 0 ? recordNode(SchedulesNode, schedule, false) : nullptr;
        if (node)
            ScheduleIndex = schedule;
    } else if (page == SS_MonitorChannelsTab) {
        node = ChannelsNode;
    } else if (page == SS_ScheduleOverviewTab) {
        node = SchedulesNode;
    } else if (page == SS_ModbusTab) {
        node = ModbusNode;
    } else {
        node = RootNode;
    }
    if (page != SS_ChannelsTab)
        ChannelIndex = -1;
    if (!node) {
        // The record shown has no node any more: leave its page.
        ChannelIndex = -1;
        ScheduleIndex = 0;
        node = RootNode;
        UpdatingScope updating(Updating);
        ShowPage(SS_InfoTab);
    }
    Treeview->SelectQuietly(node);
}

void TSensorSetupForm::TreeviewChange(QObject*, QTreeWidgetItem* Node)
{
    if (Treeview->Dragging() || !Node)
        return;
    DeleteSchedule->setVisible(false);
    RenameSchedule->setVisible(false);
    RenameChannel->setVisible(false);
    ChannelIndex = -1;
    ScheduleIndex = 0;
    // The tree is expanded once the pages are filled, however that ends.
    const auto expand = qScopeGuard([this] { Treeview->FullExpand(); });
    UpdatingScope updating(Updating);

    QTreeWidgetItem* parent = Node->parent();
    const std::string name = Node->text(0).toLatin1().toStdString();
    if (parent && parent == RootNode) {
        if (Node == ChannelsNode) {
            ShowPage(SS_MonitorChannelsTab);
        } else if (Node == SchedulesNode) {
            ShowPage(SS_ScheduleOverviewTab);
            Sched_Panel->hide();
            Sched_Panel->setEnabled(false);
        } else if (Node == ModbusNode) {
            ShowPage(SS_ModbusTab);
        }
    } else if (parent && parent == ChannelsNode) {
        ShowPage(SS_ChannelsTab);
        ChannelIndex = FindChannelByName(name);
        ShowChannel();
        ShowChannelKindPage();
        Chan_Panel->show();
        Chan_Panel->setEnabled(true);
        RenameChannel->setVisible(true);
    } else if (parent && parent == SchedulesNode) {
        ShowPage(SS_SchedulesTab);
        ScheduleIndex = FindScheduleByName(name);
        ShowSchedule(ScheduleIndex);
        ScheduleSettingsPanel->setVisible(ScheduleIndex != 0);
        Sched_Panel->show();
        Sched_Panel->setEnabled(true);
        RenameSchedule->setVisible(true);
        // The first user schedule always starts and stops by time.
        const bool methods = ScheduleIndex >= 2;
        DeleteSchedule->setVisible(methods);
        SchedulePageControl->setTabVisible(SchedulePageControl->indexOf(StartMethodTab), methods);
        SchedulePageControl->setTabVisible(SchedulePageControl->indexOf(StopMethodTab), methods);
        SchedulePageControl->setCurrentWidget(SchedulesLoggingTab);
    } else {
        ShowPage(SS_InfoTab);
    }
}

void TSensorSetupForm::TreeviewCollapsing(QObject*, QTreeWidgetItem*, bool& AllowCollapse)
{
    AllowCollapse = false;
}

void TSensorSetupForm::TreeViewPopupMenuPopup(const QPoint& pos)
{
    TreeViewPopupMenu->popup(Treeview->viewport()->mapToGlobal(pos));
}

// --- shared operations ------------------------------------------------------------

int TSensorSetupForm::FindChannelByName(const std::string& name) const
{
    for (int c = 0; c < ImageChannelCount; ++c)
        if (ImageText(Cal->Channels[c].Name) == name)
            return c;
    return 0;
}

int TSensorSetupForm::FindScheduleByName(const std::string& name) const
{
    for (int s = 0; s < ScheduleRecordCount; ++s)
        if (ImageText(Conf->Schedules[s].Name) == name)
            return s;
    return 0;
}

bool TSensorSetupForm::QueryName(const QString& prompt, int maxLength, QString& text)
{
    std::unique_ptr<TStringQuery> query(new TStringQuery(this));
    query->Label->setText(prompt);
    query->Edit->setMaxLength(maxLength - 1);
    if (query->ShowModal() != mrOk || query->Edit->text().isEmpty())
        return false;
    text = query->Edit->text();
    return true;
}

void TSensorSetupForm::FocusNext()
{
    focusNextPrevChild(true);
}

// --- key filters ------------------------------------------------------------------

void TSensorSetupForm::SetKeyFilter(QWidget* control, TKeyPressHandler handler)
{
    // The rule each handler applies to a character, for text that arrives
    // without a key press.
    TKeyFilter::TKeyRule rule = KeyRules::Decimal;
    if (handler == &TSensorSetupForm::Chan_PresisionEditKeyPress)
        rule = KeyRules::Digit;
    else if (handler == &TSensorSetupForm::Chan_UnitNameEditKeyPress)
        rule = UnitNameKey;
    else if (handler == &TSensorSetupForm::SensorNameEditKeyPress)
        rule = SensorNameKey;
    TKeyFilter::Install(control, rule, KeyPressHandler(this, handler, control));
}

void TSensorSetupForm::Chan_PresisionEditKeyPress(QObject*, QChar& Key)
{
    if (!KeyRules::Digit(QString(), Key))
        Key = QChar();
}

void TSensorSetupForm::Chan_DataVariationValueEditKeyPress(QObject* Sender, QChar& Key)
{
    if (!KeyRules::Decimal(KeyRules::TextForKey(qobject_cast<QWidget*>(Sender)), Key))
        Key = QChar();
}

void TSensorSetupForm::TriggerSetPointValueEditKeyPress(QObject* Sender, QChar& Key)
{
    if (Updating)
        return;
    if (Key.unicode() == 13) {
        FocusNext();
        return;
    }
    Chan_DataVariationValueEditKeyPress(Sender, Key);
}
