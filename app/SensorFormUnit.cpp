#include "SensorFormUnit.h"

#include "DlProgress.h"
#include "ExtCtrls.h"
#include "Shape.h"
#include "FileCtrl.h"
#include "Folders.h"
#include "Grids.h"
#include "HvSensor_Quarn.h"
#include "KeyFilter.h"
#include "LogText.h"
#include "OperationScope.h"
#include "StdCtrls.h"
#include "SysUtils.h"
#include "Version.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTimeEdit>
#include <QEventLoop>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <memory>

namespace {

constexpr int ClientWidth = 683;
constexpr int ClientHeight = 435;
constexpr int ButtonBarWidth = 140;

// The logo of the top panel and the tray: a wave under the product line.
QPixmap logoPixmap(int width, int height)
{
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath wave;
    wave.moveTo(2, height * 0.72);
    for (int x = 2; x <= width - 2; x += 2)
        wave.lineTo(x, height * 0.72 + std::sin(x / 7.0) * height * 0.1);
    p.setPen(QPen(QColor(0, 110, 170), 3));
    p.drawPath(wave);
    QFont font = p.font();
    font.setBold(true);
    font.setItalic(true);
    font.setPixelSize(height / 3);
    p.setFont(font);
    p.setPen(QColor(0, 60, 110));
    p.drawText(QRect(0, 0, width, height / 2 + 2), Qt::AlignCenter, QStringLiteral("Halvorine"));
    return pixmap;
}

QIcon trayIconImage()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0, 110, 170));
    p.setPen(Qt::NoPen);
    p.drawEllipse(2, 2, 28, 28);
    p.setPen(QPen(Qt::white, 3));
    p.drawLine(9, 12, 23, 12);
    p.drawLine(16, 12, 16, 25);
    return QIcon(pixmap);
}

QLabel* sunkenText(QWidget* parent, const char* name)
{
    auto* label = Named(new QLabel(parent), name);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setMinimumHeight(18);
    return label;
}

QToolButton* barButton(QWidget* parent, const QString& caption, const char* name)
{
    auto* button = Named(new QToolButton(parent), name);
    button->setText(caption);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    button->setMinimumHeight(26);
    button->setAutoRaise(false);
    return button;
}

} // namespace

TSensorForm::TSensorForm(QWidget* owner, const std::string& portName, QWidget* startUpWindow)
    : TForm(owner, NoBorderIcons), PortName(portName)
{
    QFont bold = font();
    bold.setBold(true);
    setFont(bold);

    buildTopPanel();
    buildStatusPanel();
    buildButtonBar();
    buildPages();

    auto* middle = new QHBoxLayout;
    middle->setContentsMargins(4, 4, 4, 4);
    middle->addWidget(GroupBoxPanel);
    middle->addWidget(PageControl, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(TopPanel);
    layout->addLayout(middle, 1);
    layout->addWidget(StatusPanel);

    ClockTimer = Named(new QTimer(this), "ClockTimer");
    ClockTimer->setInterval(1000);
    CurrentValuesTimer = Named(new QTimer(this), "CurrentValuesTimer");
    CurrentValuesTimer->setInterval(100);
    LedTimer = Named(new QTimer(this), "LedTimer");
    LedTimer->setInterval(100);
    MonitorProgressTimer = Named(new QTimer(this), "MonitorProgressTimer");
    MonitorProgressTimer->setInterval(500);

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        TrayIcon1 = Named(new QSystemTrayIcon(trayIconImage(), this), "TrayIcon1");
        TrayIcon1->setToolTip(QStringLiteral("Brindlecot"));
        TrayIcon1->show();
    }

    // Enter in an edit field presses no button of this window.
    for (QPushButton* b : findChildren<QPushButton*>())
        b->setAutoDefault(false);

    connectHandlers();
    LedTimer->start();

    // Tabs are hidden: only the program switches pages.
    SetActivePage(Status);

    DataFolder = GetAppDataFolder() + "/Brindlecot";
    if (!DirectoryExists(DataFolder) && !CreateDir(DataFolder))
        ShowMessage(std::string("unable to create directory"));
    if (!DirectoryExists(DataFolder + "/data") && !CreateDir(DataFolder + "/data"))
        throw Exception("Cannot create data directory.");
    DataFolder += "/";
    DownloadsFolder = DataFolder + "data/";

    ProcessMessages();

    StartTimer = Named(new QTimer(this), "StartTimer");
    StartTimer->setInterval(100);
    ConnectHandler(StartTimer, &QTimer::timeout, this, &TSensorForm::InitialiseSensor);
    StartTimer->start();

    ViewMonitorDataBtn->setVisible(false);
    MonitorProgressBar->setVisible(false);
    MonProgLabel->setVisible(false);

    StartUpWindow = startUpWindow;
    setWindowTitle(SensorCaption());

    resize(ClientWidth, ClientHeight);
    setFixedSize(size().expandedTo(minimumSizeHint()));
}

TSensorForm::~TSensorForm()
{
    // A window deleted without closing (never shown modally) still lets go
    // of its connection first.
    releaseSensor();
}

void TSensorForm::buildTopPanel()
{
    TopPanel = Named(new QFrame(this), "TopPanel");
    TopPanel->setFixedHeight(55);
    TopPanel->setAutoFillBackground(true);
    QPalette white = TopPanel->palette();
    white.setColor(QPalette::Window, Qt::white);
    TopPanel->setPalette(white);

    Image2 = Named(new QLabel(TopPanel), "Image2");
    Image2->setPixmap(logoPixmap(150, 45));
    SensorClockLabel = Named(new QLabel(QStringLiteral("Sensor Clock"), TopPanel), "SensorClockLabel");
    PcClockLabel = Named(new QLabel(QStringLiteral("PC Clock"), TopPanel), "PcClockLabel");
    TopPanelSensorClockTxt = sunkenText(TopPanel, "TopPanelSensorClockTxt");
    TopPanelPcClockTxt = sunkenText(TopPanel, "TopPanelPcClockTxt");
    for (QLabel* clock : {TopPanelSensorClockTxt, TopPanelPcClockTxt}) {
        clock->setMinimumWidth(160);
        clock->setAlignment(Qt::AlignCenter);
        clock->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    }
    MonProgLabel = Named(new QLabel(QStringLiteral("Monitor Progress"), TopPanel), "MonProgLabel");
    MonitorProgressBar = Named(new QProgressBar(TopPanel), "MonitorProgressBar");
    MonitorProgressBar->setRange(0, 20);
    MonitorProgressBar->setValue(0);
    MonitorProgressBar->setTextVisible(false);
    MonitorProgressBar->setFixedSize(120, 10);
    MonitorProgressBar->setStyleSheet(
        QStringLiteral("QProgressBar { border: 1px solid gray; background: white; }"
                       "QProgressBar::chunk { background: rgb(0, 160, 0); }"));
    // The bar and its label keep their places while hidden.
    for (QWidget* w : {static_cast<QWidget*>(MonProgLabel), static_cast<QWidget*>(MonitorProgressBar)}) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
    }

    auto* grid = new QGridLayout(TopPanel);
    grid->setContentsMargins(6, 4, 10, 4);
    grid->setVerticalSpacing(2);
    grid->addWidget(Image2, 0, 0, 2, 1, Qt::AlignVCenter);
    grid->setColumnStretch(1, 1);
    grid->addWidget(MonProgLabel, 0, 2, Qt::AlignBottom | Qt::AlignHCenter);
    grid->addWidget(MonitorProgressBar, 1, 2, Qt::AlignTop | Qt::AlignHCenter);
    grid->setColumnMinimumWidth(3, 12);
    grid->addWidget(SensorClockLabel, 0, 4, Qt::AlignRight);
    grid->addWidget(TopPanelSensorClockTxt, 0, 5);
    grid->addWidget(PcClockLabel, 1, 4, Qt::AlignRight);
    grid->addWidget(TopPanelPcClockTxt, 1, 5);
}

void TSensorForm::buildStatusPanel()
{
    StatusPanel = Named(new QFrame(this), "StatusPanel");
    StatusPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    StatusTxt = sunkenText(StatusPanel, "StatusTxt");
    StatusTxt->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    StatusTxt->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Minimum);
    // A long text (why the sensor was lost, what a cut download left) takes
    // a second line rather than being cut off.
    StatusTxt->setWordWrap(true);

    LoggingStatus = sunkenText(StatusPanel, "LoggingStatus");
    LoggingStatus->setText(QStringLiteral(" Not Logging"));
    LoggingStatus->setFixedWidth(130);
    LoggingStatus->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    LoggingStatus->setIndent(24);
    LoggingLed = Named(new TShape(LoggingStatus), "LoggingLed");
    LoggingLed->setGeometry(6, 5, 14, 9);
    LoggingLed->SetBrushColor(LampRed());

    LedPanel = Named(new QFrame(StatusPanel), "LedPanel");
    LedPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    TxLabel = Named(new QLabel(QStringLiteral("Tx"), LedPanel), "TxLabel");
    RxLabel = Named(new QLabel(QStringLiteral("Rx"), LedPanel), "RxLabel");
    TxLed = Named(new TShape(LedPanel), "TxLed");
    RxLed = Named(new TShape(LedPanel), "RxLed");
    for (TShape* lamp : {TxLed, RxLed}) {
        lamp->setFixedSize(17, 9);
        lamp->SetBrushColor(LampGreen());
    }
    auto* lamps = new QHBoxLayout(LedPanel);
    lamps->setContentsMargins(6, 1, 6, 1);
    lamps->addWidget(TxLabel);
    lamps->addWidget(TxLed);
    lamps->addSpacing(8);
    lamps->addWidget(RxLabel);
    lamps->addWidget(RxLed);

    auto* row = new QHBoxLayout(StatusPanel);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    row->addWidget(StatusTxt, 1);
    // One line high, also beside a status text of two lines.
    row->addWidget(LoggingStatus, 0, Qt::AlignVCenter);
    row->addWidget(LedPanel, 0, Qt::AlignVCenter);
}

void TSensorForm::buildButtonBar()
{
    GroupBoxPanel = Named(new QFrame(this), "GroupBoxPanel");
    GroupBoxPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    GroupBoxPanel->setFixedWidth(ButtonBarWidth);
    ButtonGroup = new QButtonGroup(this);
    ButtonGroup->setExclusive(true);

    StatusBtn = barButton(GroupBoxPanel, QStringLiteral("Status"), "StatusBtn");
    MonitorBtn = barButton(GroupBoxPanel, QStringLiteral("Monitor"), "MonitorBtn");
    StartStopBtn = barButton(GroupBoxPanel, QStringLiteral("Start Logging"), "StartStopBtn");
    DataBtn = barButton(GroupBoxPanel, QStringLiteral("Collect Data"), "DataBtn");
    SetClockBtn = barButton(GroupBoxPanel, QStringLiteral("Set Clock"), "SetClockBtn");
    ClearMemoryBtn = barButton(GroupBoxPanel, QStringLiteral("Clear Memory"), "ClearMemoryBtn");
    SetupSensorBtn = barButton(GroupBoxPanel, QStringLiteral("Setup Sensor"), "SetupSensorBtn");
    UserCalibrationBtn = barButton(GroupBoxPanel, QStringLiteral("User Calibration"), "UserCalibrationBtn");
    AddNoteBtn = barButton(GroupBoxPanel, QStringLiteral("Add Note"), "AddNoteBtn");
    ViewMonitorDataBtn = barButton(GroupBoxPanel, QStringLiteral("View Monitor Data"), "ViewMonitorDataBtn");
    DisconnectBtn = barButton(GroupBoxPanel, QStringLiteral("Disconnect"), "DisconnectBtn");

    auto* column = new QVBoxLayout(GroupBoxPanel);
    column->setContentsMargins(4, 6, 4, 6);
    column->setSpacing(3);
    for (QToolButton* b : {StatusBtn, MonitorBtn, StartStopBtn, DataBtn, SetClockBtn, ClearMemoryBtn, SetupSensorBtn,
                           UserCalibrationBtn, AddNoteBtn, DisconnectBtn}) {
        b->setCheckable(true);
        b->setEnabled(false);
        ButtonGroup->addButton(b);
        column->addWidget(b);
    }
    column->addSpacing(10);
    column->addWidget(ViewMonitorDataBtn);
    column->addStretch(1);
}

void TSensorForm::buildPages()
{
    PageControl = Named(new QStackedWidget(this), "PageControl");
    PageControl->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    Status = Named(new QWidget(PageControl), "Status");
    Collect = Named(new QWidget(PageControl), "Collect");
    Clock = Named(new QWidget(PageControl), "Clock");
    Calibration = Named(new QWidget(PageControl), "Calibration");
    Monitor = Named(new QWidget(PageControl), "Monitor");
    Logging = Named(new QWidget(PageControl), "Logging");
    Blank = Named(new QWidget(PageControl), "Blank");
    for (QWidget* page : {Status, Collect, Clock, Calibration, Monitor, Logging, Blank})
        PageControl->addWidget(page);

    // Status: the schedules.
    ControlsTabGrid = Named(new TStringGrid(Status), "ControlsTabGrid");
    ControlsTabGrid->SetFixedCols(0);
    ControlsTabGrid->SetColCount(4);
    ControlsTabGrid->SetRowCount(5);
    ControlsTabGrid->SetDefaultColWidth(132);
    ControlsTabGrid->SetDefaultRowHeight(20);
    ControlsTabGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ControlsTabGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ControlsTabGrid->setFixedSize(4 * 132 + 4, 5 * 20 + 4);
    auto* statusLayout = new QVBoxLayout(Status);
    statusLayout->setContentsMargins(0, 12, 0, 8);
    statusLayout->addWidget(ControlsTabGrid, 0, Qt::AlignHCenter);
    statusLayout->addStretch(1);

    // Collect: the download's name and range, the files of the sensor's folder.
    DlFileNameLabel = Named(new QLabel(QStringLiteral("Download file name"), Collect), "DlFileNameLabel");
    DlFileNameEditBox = Named(new QLineEdit(Collect), "DlFileNameEditBox");
    DlCollectionOptions = Named(new TRadioGroup(QStringLiteral("Collection options"),
                                                {QStringLiteral("All data"), QStringLiteral("New data"),
                                                 QStringLiteral("Between dates")},
                                                Collect),
                                "DlCollectionOptions");
    DlCollectionOptions->SetItemIndex(0);
    DlDatePickerPanel = Named(new QFrame(Collect), "DlDatePickerPanel");
    DlFromLabel = Named(new QLabel(QStringLiteral("From"), DlDatePickerPanel), "DlFromLabel");
    DlFromDatePicker = Named(new QDateTimeEdit(DlDatePickerPanel), "DlFromDatePicker");
    DlTillLabel = Named(new QLabel(QStringLiteral("To"), DlDatePickerPanel), "DlTillLabel");
    DlTillDatePicker = Named(new QDateTimeEdit(DlDatePickerPanel), "DlTillDatePicker");
    for (QDateTimeEdit* picker : {DlFromDatePicker, DlTillDatePicker}) {
        picker->setCalendarPopup(false);
        picker->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
        picker->setDateTime(QDateTime::currentDateTime());
    }
    auto* dates = new QGridLayout(DlDatePickerPanel);
    dates->setContentsMargins(0, 0, 0, 0);
    dates->addWidget(DlFromLabel, 0, 0);
    dates->addWidget(DlFromDatePicker, 0, 1);
    dates->addWidget(DlTillLabel, 1, 0);
    dates->addWidget(DlTillDatePicker, 1, 1);
    CollectDataBtn = Named(new QPushButton(QStringLiteral("Start Data Download"), Collect), "CollectDataBtn");
    DlFileListLabel = Named(new QLabel(QStringLiteral(" Brindlecot data files"), Collect), "DlFileListLabel");
    DlFileListBox = Named(new TFileListBox(Collect), "DlFileListBox");
    FileListBox1 = Named(new TFileListBox(Collect), "FileListBox1");
    for (TFileListBox* list : {DlFileListBox, FileListBox1})
        list->SetMask(QStringLiteral("*.dat;*.csv"));
    FileListBox1->setFixedSize(0, 0);
    DlOpenFileBtn = Named(new QPushButton(QStringLiteral("View File"), Collect), "DlOpenFileBtn");
    DlOpenExplorerBtn = Named(new QPushButton(QStringLiteral("Open Explorer"), Collect), "DlOpenExplorerBtn");

    auto* left = new QVBoxLayout;
    left->addWidget(DlFileNameLabel);
    left->addWidget(DlFileNameEditBox);
    left->addSpacing(6);
    left->addWidget(DlCollectionOptions);
    left->addWidget(DlDatePickerPanel);
    left->addSpacing(6);
    left->addWidget(CollectDataBtn);
    left->addStretch(1);
    left->addWidget(FileListBox1);
    auto* right = new QVBoxLayout;
    right->addWidget(DlFileListLabel);
    right->addWidget(DlFileListBox, 1);
    auto* fileButtons = new QHBoxLayout;
    fileButtons->addWidget(DlOpenFileBtn);
    fileButtons->addWidget(DlOpenExplorerBtn);
    right->addLayout(fileButtons);
    auto* collectLayout = new QHBoxLayout(Collect);
    collectLayout->setContentsMargins(10, 10, 10, 10);
    collectLayout->setSpacing(14);
    collectLayout->addLayout(left, 1);
    collectLayout->addLayout(right, 1);

    // Clock: synchronise with the PC or set by hand.
    SetClockRadioGroup = Named(new TRadioGroup(QString(),
                                               {QStringLiteral("Synchronise with PC clock"),
                                                QStringLiteral("Set time manually")},
                                               Clock),
                               "SetClockRadioGroup");
    SetClockRadioGroup->SetItemIndex(0);
    SetClockPanel = Named(new QFrame(Clock), "SetClockPanel");
    SetClockPanel->setEnabled(false);
    SetClockDateLabel = Named(new QLabel(QStringLiteral("Date"), SetClockPanel), "SetClockDateLabel");
    SetClockDatePicker = Named(new QDateEdit(SetClockPanel), "SetClockDatePicker");
    SetClockDatePicker->setCalendarPopup(true);
    SetClockDatePicker->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    SetClockTimeLabel = Named(new QLabel(QStringLiteral("Time"), SetClockPanel), "SetClockTimeLabel");
    SetClockTimePicker = Named(new QTimeEdit(SetClockPanel), "SetClockTimePicker");
    SetClockTimePicker->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    auto* clockFields = new QGridLayout(SetClockPanel);
    clockFields->setContentsMargins(0, 0, 0, 0);
    clockFields->addWidget(SetClockDateLabel, 0, 0);
    clockFields->addWidget(SetClockDatePicker, 0, 1);
    clockFields->addWidget(SetClockTimeLabel, 1, 0);
    clockFields->addWidget(SetClockTimePicker, 1, 1);
    UpdateTimeBtn = Named(new QPushButton(QStringLiteral("Update Logger Clock"), Clock), "UpdateTimeBtn");
    auto* clockColumn = new QVBoxLayout;
    clockColumn->addWidget(SetClockRadioGroup);
    clockColumn->addSpacing(6);
    clockColumn->addWidget(SetClockPanel);
    clockColumn->addSpacing(12);
    clockColumn->addWidget(UpdateTimeBtn);
    clockColumn->addStretch(1);
    auto* clockLayout = new QHBoxLayout(Clock);
    clockLayout->setContentsMargins(24, 20, 24, 20);
    clockLayout->addLayout(clockColumn);
    clockLayout->addStretch(1);

    // Calibration: channel, kind of calibration, backups.
    ChannelNameLabel = Named(new QLabel(QStringLiteral("Channel"), Calibration), "ChannelNameLabel");
    ChannelNameBox = Named(new QComboBox(Calibration), "ChannelNameBox");
    ChannelNameBox->setEditable(true);
    ChannelNameBox->setInsertPolicy(QComboBox::NoInsert);
    ChannelNameBox->setMinimumWidth(180);
    // All five kinds, in the order of their values, until a channel is
    // chosen.
    CalibrationTypeRadioGroup = Named(new TRadioGroup(QStringLiteral("Calibration type"),
                                                      {QStringLiteral("1 Point Offset"), QStringLiteral("1 Point Span"),
                                                       QStringLiteral("2 Points: Span and Offset"),
                                                       QStringLiteral("Restore factory default"),
                                                       QStringLiteral("Set Datum References")},
                                                      Calibration),
                                      "CalibrationTypeRadioGroup");
    UcStartCalibrationBtn =
        Named(new QPushButton(QStringLiteral("Start Calibration"), Calibration), "UcStartCalibrationBtn");
    BackupBtn = Named(new QPushButton(QStringLiteral("Backup"), Calibration), "BackupBtn");
    RestoreBtn = Named(new QPushButton(QStringLiteral("Restore"), Calibration), "RestoreBtn");
    auto* calColumn = new QVBoxLayout;
    calColumn->addWidget(ChannelNameLabel);
    calColumn->addWidget(ChannelNameBox);
    calColumn->addSpacing(6);
    calColumn->addWidget(CalibrationTypeRadioGroup);
    calColumn->addSpacing(6);
    calColumn->addWidget(UcStartCalibrationBtn);
    calColumn->addStretch(1);
    auto* backupColumn = new QVBoxLayout;
    backupColumn->addStretch(1);
    backupColumn->addWidget(BackupBtn);
    backupColumn->addWidget(RestoreBtn);
    auto* calLayout = new QHBoxLayout(Calibration);
    calLayout->setContentsMargins(24, 16, 16, 16);
    calLayout->addLayout(calColumn);
    calLayout->addStretch(1);
    calLayout->addLayout(backupColumn);

    // Monitor: the live values.
    MonitorGrid = Named(new TStringGrid(Monitor), "MonitorGrid");
    MonitorGrid->SetFixedCols(0);
    MonitorGrid->SetColCount(4);
    MonitorGrid->SetRowCount(2);
    MonitorGrid->SetDefaultColWidth(120);
    MonitorGrid->SetDefaultRowHeight(20);
    MonitorGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MonitorGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* monitorLayout = new QVBoxLayout(Monitor);
    monitorLayout->setContentsMargins(8, 8, 8, 8);
    monitorLayout->addWidget(MonitorGrid);

    // Logging: initials and comment for the log, clearing, start and stop.
    InitialsLabel = Named(new QLabel(QStringLiteral("Initials"), Logging), "InitialsLabel");
    InitialsEditBox = Named(new QLineEdit(Logging), "InitialsEditBox");
    InitialsEditBox->setMaxLength(LogText::InitialsLength);
    InitialsEditBox->setMaximumWidth(120);
    CommentsLabel = Named(new QLabel(QStringLiteral("Comment"), Logging), "CommentsLabel");
    CommentsMemo = Named(new TMemo(Logging), "CommentsMemo");
    CommentsMemo->SetMaxLength(LogText::CommentLength);
    ClearMemoryCheckBox = Named(new QCheckBox(QStringLiteral("Clear Logger Memory"), Logging), "ClearMemoryCheckBox");
    StartStopBtn2 = Named(new QPushButton(QStringLiteral("Start Logging"), Logging), "StartStopBtn2");
    auto* logLayout = new QGridLayout(Logging);
    logLayout->setContentsMargins(24, 16, 24, 16);
    logLayout->addWidget(InitialsLabel, 0, 0);
    logLayout->addWidget(InitialsEditBox, 1, 0, Qt::AlignLeft);
    logLayout->addWidget(CommentsLabel, 2, 0);
    logLayout->addWidget(CommentsMemo, 3, 0, 1, 2);
    logLayout->addWidget(ClearMemoryCheckBox, 4, 0);
    logLayout->addWidget(StartStopBtn2, 4, 1, Qt::AlignRight);
    logLayout->setRowStretch(3, 1);
}

void TSensorForm::connectHandlers()
{
    // Buttons that share a handler pass themselves, so it can tell them apart.
    for (QToolButton* b : {StatusBtn, MonitorBtn, StartStopBtn, DataBtn, SetClockBtn, ClearMemoryBtn, SetupSensorBtn,
                           UserCalibrationBtn, AddNoteBtn})
        connect(b, &QToolButton::clicked, this, [this, b] { RunHandler([&] { StatusBtnClick(b); }); });
    ConnectHandler(DisconnectBtn, &QToolButton::clicked, this, &TSensorForm::DisconnectBtnClick);
    ConnectHandler(ViewMonitorDataBtn, &QToolButton::clicked, this, &TSensorForm::ViewMonitorDataBtnClick);

    ControlsTabGrid->DefaultDrawing = false;
    ControlsTabGrid->OnDrawCell = [this](TStringGrid*, int c, int r, const QRect& rect, bool, QPainter* p) {
        ControlsTabGridDrawCell(*p, c, r, rect);
    };
    MonitorGrid->DefaultDrawing = false;
    MonitorGrid->OnDrawCell = [this](TStringGrid*, int c, int r, const QRect& rect, bool, QPainter* p) {
        MonitorGridDrawCell(*p, c, r, rect);
    };

    ConnectHandler(ClockTimer, &QTimer::timeout, this, &TSensorForm::ClockTimerTimer);
    ConnectHandler(CurrentValuesTimer, &QTimer::timeout, this, &TSensorForm::CurrentValuesTimerTimer);
    ConnectHandler(LedTimer, &QTimer::timeout, this, &TSensorForm::LedTimerTimer);
    ConnectHandler(MonitorProgressTimer, &QTimer::timeout, this, &TSensorForm::MonitorProgressTimerTimer);
    if (TrayIcon1) {
        connect(TrayIcon1, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                RunHandler([this] { TrayIcon1Click(); });
        });
    }

    ConnectHandler(SetClockRadioGroup, &TRadioGroup::Click, this, &TSensorForm::SetClockRadioGroupClick);
    ConnectHandler(UpdateTimeBtn, &QPushButton::clicked, this, &TSensorForm::UpdateTimeBtnClick);
    // The handler judges every character alone, typed or pasted.
    const auto initialsRule = [this](const QString&, QChar key) {
        InitialsEditBoxKeyPress(nullptr, key);
        return !key.isNull();
    };
    for (QWidget* edit : {static_cast<QWidget*>(InitialsEditBox), static_cast<QWidget*>(CommentsMemo)})
        TKeyFilter::Install(edit, initialsRule, KeyPressHandler(this, &TSensorForm::InitialsEditBoxKeyPress, edit));

    ConnectHandler(CollectDataBtn, &QPushButton::clicked, this, &TSensorForm::CollectDataBtnClick);
    ConnectHandler(DlCollectionOptions, &TRadioGroup::Click, this, &TSensorForm::DlCollectionOptionsClick);
    ConnectHandler(DlFileListBox, &QListWidget::itemClicked, this, &TSensorForm::DlFileListBoxClick);
    // A file chosen with the arrow keys counts as clicked too.
    ConnectHandler(DlFileListBox, &QListWidget::itemSelectionChanged, this, &TSensorForm::DlFileListBoxClick);
    for (TFileListBox* list : {DlFileListBox, FileListBox1})
        connect(list, &QListWidget::itemDoubleClicked, this,
                [this, list] { RunHandler([&] { DlFileListBoxDblClick(list); }); });
    ConnectHandler(DlOpenFileBtn, &QPushButton::clicked, this, &TSensorForm::DlOpenFileBtnClick);
    ConnectHandler(DlOpenExplorerBtn, &QPushButton::clicked, this, &TSensorForm::DlOpenExplorerBtnClick);

    ConnectHandler(StartStopBtn2, &QPushButton::clicked, this, &TSensorForm::StartStopBtn2Click);
    ConnectHandler(ChannelNameBox, qOverload<int>(&QComboBox::activated), this, &TSensorForm::ChannelNameBoxChange);
    ConnectHandler(ChannelNameBox->lineEdit(), &QLineEdit::textEdited, this, &TSensorForm::ChannelNameBoxChange);
    ConnectHandler(UcStartCalibrationBtn, &QPushButton::clicked, this, &TSensorForm::UcStartCalibrationBtnClick);
    ConnectHandler(BackupBtn, &QPushButton::clicked, this, &TSensorForm::BackupBtnClick);
    ConnectHandler(RestoreBtn, &QPushButton::clicked, this, &TSensorForm::RestoreBtnClick);
}

QWidget* TSensorForm::ActivePage() const
{
    return PageControl->currentWidget();
}

void TSensorForm::SetActivePage(QWidget* page)
{
    PageControl->setCurrentWidget(page);
}

QString TSensorForm::SensorCaption() const
{
    QString caption = QString::fromLatin1(ProductCaption) + QString::fromLatin1(VersionText);
    if (Sensor)
        caption += QStringLiteral("  Sensor: ") + Latin1Text(ImageText(Sensor->CalData.SensorName));
    return caption;
}

int TSensorForm::exec()
{
    // The window's own modal loop: a close requested from inside a handler
    // (which may itself be waiting for the sensor) takes effect only once
    // control is back here.
    modalResult_ = mrNone;
    setWindowModality(Qt::ApplicationModal);
    show();
    QEventLoop loop;
    modalLoop_ = &loop;
    if (modalResult_ == mrNone)
        loop.exec(QEventLoop::DialogExec);
    modalLoop_ = nullptr;
    FormClose();
    const int result = modalResult_;
    QDialog::done(result);
    setWindowModality(Qt::NonModal);
    return result;
}

void TSensorForm::done(int result)
{
    modalResult_ = result != mrNone ? result : mrCancel;
    // A close asked for during the connection sequence ends its wait.
    if (InitProgress && Sensor)
        Sensor->Comms->AbortReply();
    if (modalLoop_)
        modalLoop_->exit();
}

void TSensorForm::closeEvent(QCloseEvent* event)
{
    // No close box: the window closes only through Disconnect or the program.
    event->ignore();
}

void TSensorForm::reject() {}

void TSensorForm::moveEvent(QMoveEvent* event)
{
    TForm::moveEvent(event);
    CentreStartUpForm();
}

void TSensorForm::CentreStartUpForm()
{
    if (!StartUpWindow || !isVisible())
        return;
    const QRect mine = frameGeometry();
    const QRect other = StartUpWindow->frameGeometry();
    const int top = mine.top() + mine.height() / 2 - other.height() / 2;
    const int left = mine.left() + mine.width() / 2 - other.width() / 2;
    if (top != other.top() || left != other.left()) {
        StartUpWindow->move(left, top);
        StartUpWindow->update();
    }
}

void TSensorForm::DebugTextEvent(QObject* /*Sender*/, const std::string& text)
{
    // The link's texts name files by their paths.
    StatusTxt->setText(PathText(text));
}

void TSensorForm::InitialiseSensor()
{
    // The sequence runs once.
    if (!StartTimer)
        return;
    StartTimer->stop();
    StartTimer->deleteLater();
    StartTimer = nullptr;
    if (modalResult_ != mrNone)
        return;

    DlDatePickerPanel->setVisible(false);
    FileListBox1->setVisible(false);

    // The progress window goes on every way out, also by an exception.
    OperationScope scope;
    scope.own(std::make_unique<TDlProgForm>(this, false), InitProgress);

    const std::string caption = "Sensor Initialisation";
    InitProgress->setWindowTitle(QString::fromLatin1(caption.c_str()));
    InitProgress->setVisible(true);
    InitProgress->SetProgressText(caption, "Initialising Sensor Communications", 0);
    StatusTxt->setText(QStringLiteral("Initialising Communications"));

    bool ok = false;
    Sensor = std::make_unique<TSensor_Quarn>(nullptr);
    Sensor->OnRxEvent = [this](QObject* s) { RxActivityEvent(s); };
    Sensor->OnTxEvent = [this](QObject* s) { TxActivityEvent(s); };
    ProcessMessages();
    Sensor->OnPortDebugEvent = [this](QObject* s, const std::string& t) { DebugTextEvent(s, t); };

    bool portOpen = false;
    try {
        portOpen = Sensor->StartComs(PortName, 19200);
    } catch (const EConvertError&) {
        // A port name without a number (no port was listed): no port to open.
        portOpen = false;
    }

    // A window already asked to close ends the sequence quietly.
    const auto closing = [this] { return modalResult_ != mrNone; };
    const auto say = [&](const char* text) {
        if (!closing())
            ShowMessage(std::string(text));
    };

    if (!portOpen) {
        say("Failed to establish communication with the sensor");
    } else {
        bool stepsOk = true;
        try {
            InitProgress->SetProgressText(caption, "Retrieving Configuration data", 25);
            if (closing() || !Sensor->getConfigurationData()) {
                say("Failed to retrieve configuration file");
                stepsOk = false;
            }
            if (stepsOk) {
                if (!Sensor->verifyConfigFile()) {
                    ProcessMessages();
                    StatusTxt->setText(QStringLiteral("Sending Updated Configuration Data to logger"));
                    Sensor->sendConfigurationData();
                }
                StatusTxt->setText(QStringLiteral("Got Configuration Data"));

                InitProgress->SetProgressText(caption, "Retrieving Calibration data", 60);
                if (closing() || !Sensor->getCalibrationData()) {
                    say("Failed to retrieve calibration file");
                    stepsOk = false;
                }
            }
            if (stepsOk) {
                if (!Sensor->verifyCalFile()) {
                    ProcessMessages();
                    StatusTxt->setText(QStringLiteral("Sending Updated Calibration Data to logger"));
                    Sensor->sendCalibrationData();
                }
                StatusTxt->setText(QStringLiteral("Got Calibration Data"));

                InitProgress->SetProgressText(caption, "Retrieving Sensor Status", 90);
                StatusTxt->setText(QStringLiteral("Retieving Sensor Status"));
                if (closing() || !UpdateLoggerStatus()) {
                    say("Failed to retrieve logger status");
                    stepsOk = false;
                }
            }
        } catch (const std::exception& e) {
            // An image whose format version is no number: the connection
            // cannot go on with it.
            if (!closing())
                ShowMessage(std::string(e.what()));
            stepsOk = false;
        }
        if (stepsOk && !closing()) {
            if (Sensor->GetDateTimeBounds()) {
                const TDateTime first = Sensor->Status.FirstLoggedTime;
                const TDateTime last = Sensor->Status.LastLoggedTime;
                const QDateTime firstQt = DateTimeToQDateTime(first);
                const QDateTime lastQt = DateTimeToQDateTime(last);
                for (QDateTimeEdit* picker : {DlFromDatePicker, DlTillDatePicker}) {
                    if (first <= last)
                        picker->setDateRange(firstQt.date(), lastQt.date());
                    picker->setDateTime(picker == DlFromDatePicker ? firstQt : lastQt);
                }
            } else {
                say("Failed to retrieve logger data memory boundaries, it may me neccesary to clear the logger "
                    "memory if this problem persists");
            }
            ok = true;
        }

        if (ok) {
            InitProgress->SetProgressText(caption, "Done", 100);
            ClockTimer->start();
            ShowSchedulesStatus();
            BuildMonitorChannelTable();
            setWindowTitle(SensorCaption());
            StatusBtn->setChecked(true);
        } else {
            say("Failed to establish reliable communication with the sensor. please check power supply and cable "
                "connections");
        }
    }

    SetButtonStates(bmNormal);
    CheckDownloadFolder();
    if (!ok && !closing())
        done(mrCancel);
}

void TSensorForm::CheckDownloadFolder()
{
    // The folder bears the name the windows show (Latin-1), as the file
    // lists and the backups read it; "." and ".." name folders already there.
    std::string name = Latin1ToPath(Sensor ? ImageText(Sensor->CalData.SensorName) : std::string());
    if (name == "." || name == "..")
        name = "_";
    DownloadsFolder = DataFolder + "data/" + name;
    if (!DirectoryExists(DownloadsFolder) && !CreateDir(DownloadsFolder))
        throw Exception("Cannot create data directory.");
    if (DownloadsFolder.back() != '/')
        DownloadsFolder += '/';
    DlFileListBox->SetDirectory(DownloadsFolder);
    FileListBox1->SetDirectory(DownloadsFolder);
}

void TSensorForm::FormClose()
{
    if (closed_)
        return;
    closed_ = true;
    SetActivePage(Status);
    ClockTimer->stop();
    CurrentValuesTimer->stop();
    MonitorProgressTimer->stop();
    if (TrayIcon1)
        TrayIcon1->hide();
    releaseSensor();
}

void TSensorForm::releaseSensor()
{
    if (!Sensor)
        return;
    Sensor->AbortReply();
    Sensor->CloseComs();
    Sensor.reset();
}
