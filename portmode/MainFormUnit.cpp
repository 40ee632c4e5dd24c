// The utility's window: construction, port list and settings file, lamps,
// the Modbus address input, the information pages, About and Exit.
#include "MainFormUnit.h"

#include "ABOUT.h"
#include "Dialogs.h"
#include "ExtCtrls.h"
#include "Folders.h"
#include "Forms.h"
#include "HvSensor_Quarn.h"
#include "KeyFilter.h"
#include "OperationScope.h"
#include "PortList.h"
#include "PortModeControls.h"
#include "PortModeVersion.h"
#include "RtfReader.h"
#include "Shell.h"
#include "SysUtils.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

// The pictures stored in the window live in the library's resources, which a
// static library must register itself.
static void initResources()
{
    Q_INIT_RESOURCE(portmode);
}

namespace {

// Client area of the window.
constexpr int ClientWidth = 649;
constexpr int ClientHeight = 395;

QPixmap picture(const char* name)
{
    return QPixmap(QStringLiteral(":/portmode/") + QLatin1String(name));
}

// A caption centred over the page's content.
QLabel* centred(QLabel* label)
{
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

// ---------------------------------------------------------------------------
// Operations on the sensor

void TMainForm::BeginOperation(OperationScope& operation)
{
    operation.busy(Busy);
    operation.disable({AvailComportComboBox, RefreshComportList, ConnectBtn, ConnectPCBtn, HelpBtn, HelpOkBtn,
                       UpdateSensorBtn, CancelBtn, BaudRateCB, CommsModeGB, ModBusRG, ModbusAddressEB,
                       RestoreDefaultsBtn, File1->menuAction(), About1});
}

// ---------------------------------------------------------------------------
// Construction

TMainForm::TMainForm(QWidget* owner)
    : QMainWindow(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint),
      ReceiveBuffer(8192)
{
    initResources();
    MainMenu1 = Named(menuBar(), "MainMenu1");
    File1 = Named(MainMenu1->addMenu(QStringLiteral("File")), "File1");
    Exit1 = Named(File1->addAction(QStringLiteral("Exit")), "Exit1");
    About1 = Named(MainMenu1->addAction(QStringLiteral("About")), "About1");

    auto* client = new QWidget(this);
    auto* clientLayout = new QVBoxLayout(client);
    clientLayout->setContentsMargins(0, 0, 0, 0);
    clientLayout->setSpacing(0);

    PageControl1 = Named(new QStackedWidget(client), "PageControl1");
    TabSheet1 = Named(new QWidget(PageControl1), "TabSheet1");
    TabSheet2 = Named(new QWidget(PageControl1), "TabSheet2");
    TabSheet3 = Named(new QWidget(PageControl1), "TabSheet3");
    TabSheet4 = Named(new QWidget(PageControl1), "TabSheet4");
    for (QWidget* page : {TabSheet1, TabSheet2, TabSheet3, TabSheet4})
        PageControl1->addWidget(page);
    BuildConnectPage();
    BuildSettingsPage();
    BuildProgressPage();
    BuildInformationPage();
    clientLayout->addWidget(PageControl1, 1);

    StatusPanel = Named(new QFrame(client), "StatusPanel");
    static_cast<QFrame*>(StatusPanel)->setFrameShape(QFrame::StyledPanel);
    auto* strip = new QHBoxLayout(StatusPanel);
    strip->setContentsMargins(6, 2, 6, 2);
    StatusTxt = Named(new TCaptionLabel(QString(), StatusPanel), "StatusTxt");
    StatusTxt->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    StatusTxt->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    LedPanel = Named(new QWidget(StatusPanel), "LedPanel");
    auto* leds = new QHBoxLayout(LedPanel);
    leds->setContentsMargins(0, 0, 0, 0);
    TxLed = Named(new TShape(LedPanel), "TxLed");
    RxLed = Named(new TShape(LedPanel), "RxLed");
    for (TShape* lamp : {TxLed, RxLed}) {
        lamp->SetShape(TShape::stCircle);
        lamp->SetBrushColor(Qt::green);
        lamp->setFixedSize(14, 14);
    }
    leds->addWidget(new QLabel(QStringLiteral("Tx"), LedPanel));
    leds->addWidget(TxLed);
    leds->addSpacing(6);
    leds->addWidget(new QLabel(QStringLiteral("Rx"), LedPanel));
    leds->addWidget(RxLed);
    strip->addWidget(StatusTxt, 1);
    strip->addWidget(LedPanel);
    clientLayout->addWidget(StatusPanel);

    client->setFixedSize(ClientWidth, ClientHeight);
    setCentralWidget(client);
    setFixedSize(sizeHint());
    CenterOnScreen(this);

    LedTimer = Named(new QTimer(this), "LedTimer");
    LedTimer->setInterval(100);
    ConnectHandler(LedTimer, &QTimer::timeout, this, &TMainForm::LedTimerTimer);
    LedTimer->start();

    ConnectHandler(Exit1, &QAction::triggered, this, &TMainForm::Exit1Click);
    ConnectHandler(About1, &QAction::triggered, this, &TMainForm::About1Click);

    // The pages switch by code only; the connect page comes first.
    PageControl1->setCurrentWidget(TabSheet1);
    LoadInformation();
}

TMainForm::~TMainForm()
{
    // Nothing may be left waiting on a link that goes with the window.
    if (Sensor)
        Sensor->CloseComs();
}

void TMainForm::BuildConnectPage()
{
    Image7 = Named(new TImage(picture("logo.png"), TabSheet1), "Image7");
    Label1 = Named(new QLabel(QStringLiteral("Select RS232 Com port"), TabSheet1), "Label1");
    AvailComportComboBox = Named(new QComboBox(TabSheet1), "AvailComportComboBox");
    PortList::prepare(AvailComportComboBox);
    AvailComportComboBox->setMinimumWidth(140);
    RefreshComportList =
        Named(new QPushButton(QStringLiteral(" Refresh List of com ports "), TabSheet1), "RefreshComportList");
    ConnectBtn = Named(new QPushButton(QStringLiteral("Standard connect"), TabSheet1), "ConnectBtn");
    ConnectPCBtn = Named(new QPushButton(QStringLiteral("Power cycle connect"), TabSheet1), "ConnectPCBtn");
    Label2 = Named(new QLabel(QStringLiteral("Utility information and sensor wiring"), TabSheet1), "Label2");
    HelpBtn = Named(new QPushButton(QStringLiteral("Info screens"), TabSheet1), "HelpBtn");
    for (QPushButton* b : {RefreshComportList, ConnectBtn, ConnectPCBtn, HelpBtn})
        b->setAutoDefault(false);

    auto* page = new QVBoxLayout(TabSheet1);
    page->setContentsMargins(24, 12, 24, 12);
    Image7->setFixedHeight(90);
    page->addWidget(Image7);
    auto* box = new QGridLayout;
    box->setHorizontalSpacing(12);
    box->setVerticalSpacing(8);
    box->addWidget(Label1, 0, 0, 1, 2);
    box->addWidget(AvailComportComboBox, 1, 0);
    box->addWidget(RefreshComportList, 1, 1);
    box->addWidget(ConnectBtn, 2, 0);
    box->addWidget(ConnectPCBtn, 2, 1);
    box->setRowMinimumHeight(3, 16);
    box->addWidget(Label2, 4, 0, 1, 2);
    box->addWidget(HelpBtn, 5, 0);
    auto* centre = new QHBoxLayout;
    centre->addStretch(1);
    centre->addLayout(box);
    centre->addStretch(1);
    page->addLayout(centre);
    page->addStretch(1);

    ConnectHandler(AvailComportComboBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
                   &TMainForm::AvailComportComboBoxChange);
    ConnectHandler(AvailComportComboBox->lineEdit(), &QLineEdit::textEdited, this,
                   &TMainForm::AvailComportComboBoxEdited);
    ConnectHandler(RefreshComportList, &QPushButton::clicked, this, &TMainForm::RefreshComportListClick);
    ConnectHandler(ConnectBtn, &QPushButton::clicked, this, &TMainForm::ConnectBtnClick);
    ConnectHandler(ConnectPCBtn, &QPushButton::clicked, this, &TMainForm::ConnectPCBtnClick);
    ConnectHandler(HelpBtn, &QPushButton::clicked, this, &TMainForm::HelpBtnClick);
}

void TMainForm::BuildSettingsPage()
{
    Image8 = Named(new TImage(picture("logo.png"), TabSheet2), "Image8");
    auto* commsGroup = Named(new QGroupBox(QStringLiteral("   Communication mode"), TabSheet2), "GroupBox1");
    CommsModeGB = Named(new TRadioGroup(QString(), {QStringLiteral("RS232 "), QStringLiteral("RS422/485")}, commsGroup),
                        "CommsModeGB");
    BaudRateCB = Named(new QComboBox(commsGroup), "BaudRateCB");
    BaudRateCB->setEditable(true);
    BaudRateCB->setInsertPolicy(QComboBox::NoInsert);
    BaudRateCB->setCompleter(nullptr);
    BaudRateCB->addItems({QStringLiteral("1200"), QStringLiteral("2400"), QStringLiteral("4800"),
                          QStringLiteral("9600"), QStringLiteral("19200 (Default)")});
    BaudRateCB->setCurrentIndex(-1);
    BaudRateCB->setEditText(QStringLiteral("BaudRateCB"));
    auto* commsLayout = new QGridLayout(commsGroup);
    commsLayout->addWidget(CommsModeGB, 0, 0, 1, 2);
    commsLayout->addWidget(new QLabel(QStringLiteral("Baud rate"), commsGroup), 1, 0);
    commsLayout->addWidget(BaudRateCB, 1, 1);
    commsLayout->setColumnStretch(1, 1);

    auto* modbusGroup = Named(new QGroupBox(QStringLiteral("   Modbus options"), TabSheet2), "GroupBox2");
    ModBusRG = Named(new TRadioGroup(QString(), {QStringLiteral("Modbus RTU"), QStringLiteral("Modbus ASCII")},
                                     modbusGroup),
                     "ModBusRG");
    // The radio groups sit in the page's own group boxes, without a frame
    // of their own.
    for (TRadioGroup* group : {CommsModeGB, ModBusRG})
        group->setStyleSheet(QStringLiteral("QGroupBox { border: none; margin: 0px; padding: 0px; }"));
    ModbusAddressLabel = Named(new QLabel(QStringLiteral("Modbus address(1...247)"), modbusGroup), "ModbusAddressLabel");
    ModbusAddressEB = Named(new QLineEdit(QStringLiteral("1"), modbusGroup), "ModbusAddressEB");
    ModbusAddressEB->setMaxLength(3);
    ModbusAddressLabel->setBuddy(ModbusAddressEB);
    auto* modbusLayout = new QGridLayout(modbusGroup);
    modbusLayout->addWidget(ModBusRG, 0, 0, 1, 2);
    modbusLayout->addWidget(ModbusAddressLabel, 1, 0);
    modbusLayout->addWidget(ModbusAddressEB, 1, 1);
    modbusLayout->setColumnStretch(1, 1);

    RestoreDefaultsBtn = Named(new QPushButton(QStringLiteral("Restore defaults"), TabSheet2), "RestoreDefaultsBtn");
    UpdateSensorBtn = Named(new QPushButton(QStringLiteral("Update sensor"), TabSheet2), "UpdateSensorBtn");
    CancelBtn = Named(new QPushButton(QStringLiteral("Close"), TabSheet2), "CancelBtn");
    for (QPushButton* b : {RestoreDefaultsBtn, UpdateSensorBtn, CancelBtn})
        b->setAutoDefault(false);

    auto* page = new QVBoxLayout(TabSheet2);
    page->setContentsMargins(24, 12, 24, 12);
    Image8->setFixedHeight(90);
    page->addWidget(Image8);
    auto* groups = new QHBoxLayout;
    groups->addWidget(commsGroup, 1);
    groups->addWidget(modbusGroup, 1);
    page->addLayout(groups);
    page->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(RestoreDefaultsBtn);
    buttons->addStretch(1);
    buttons->addWidget(UpdateSensorBtn);
    buttons->addWidget(CancelBtn);
    page->addLayout(buttons);

    ConnectHandler(BaudRateCB->lineEdit(), &QLineEdit::textEdited, this, &TMainForm::BaudRateCBEdited);
    ConnectHandler(ModbusAddressEB, &QLineEdit::textChanged, this, &TMainForm::ModbusAddressEBChange);
    TKeyFilter::Install(ModbusAddressEB, KeyRules::Digit,
                        KeyPressHandler(this, &TMainForm::ModbusAddressEBKeyPress, ModbusAddressEB));
    ModbusAddressEB->installEventFilter(this);
    ConnectHandler(RestoreDefaultsBtn, &QPushButton::clicked, this, &TMainForm::RestoreDefaultsBtnClick);
    ConnectHandler(UpdateSensorBtn, &QPushButton::clicked, this, &TMainForm::UpdateSensorBtnClick);
    ConnectHandler(CancelBtn, &QPushButton::clicked, this, &TMainForm::CancelBtnClick);
}

void TMainForm::BuildProgressPage()
{
    Image9 = Named(new TImage(picture("logo.png"), TabSheet3), "Image9");
    ProgressLabel = Named(new TCaptionLabel(QStringLiteral("Progress"), TabSheet3), "ProgressLabel");
    centred(ProgressLabel);
    ProgressBar1 = Named(new QProgressBar(TabSheet3), "ProgressBar1");
    ProgressBar1->setTextVisible(false);
    auto* page = new QVBoxLayout(TabSheet3);
    page->setContentsMargins(48, 12, 48, 12);
    Image9->setFixedHeight(90);
    page->addWidget(Image9);
    page->addStretch(1);
    page->addWidget(ProgressLabel);
    page->addWidget(ProgressBar1);
    page->addStretch(2);
}

void TMainForm::BuildInformationPage()
{
    PageControl2 = Named(new QTabWidget(TabSheet4), "PageControl2");
    RichEdit1 = Named(new QTextEdit(PageControl2), "RichEdit1");
    RichEdit1->setReadOnly(true);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    PageControl2->addTab(RichEdit1, QStringLiteral("Information"));

    PageControl3 = Named(new QTabWidget(PageControl2), "PageControl3");
    PageControl3->setTabPosition(QTabWidget::West);
    const QPixmap table = picture("Wiring Table.jpg");
    Image3 = Named(new TImage(table, PageControl3), "Image3");
    Image5 = Named(new TImage(table, PageControl3), "Image5");
    Image6 = Named(new TImage(table, PageControl3), "Image6");
    PageControl3->addTab(Image3, QStringLiteral(" RS232 "));
    PageControl3->addTab(Image5, QStringLiteral(" RS422 "));
    PageControl3->addTab(Image6, QStringLiteral(" RS485 "));
    PageControl2->addTab(PageControl3, QStringLiteral("Wiring Table"));

    Image2 = Named(new TImage(picture("RS232.jpg"), PageControl2), "Image2");
    Image1 = Named(new TImage(picture("RS422_HD.jpg"), PageControl2), "Image1");
    Image4 = Named(new TImage(picture("RS485_HD.jpg"), PageControl2), "Image4");
    PageControl2->addTab(Image2, QStringLiteral("RS232"));
    PageControl2->addTab(Image1, QStringLiteral("RS422"));
    PageControl2->addTab(Image4, QStringLiteral("RS485"));
    for (TImage* image : {Image1, Image2, Image3, Image4, Image5, Image6})
        image->setToolTip(QStringLiteral("Double-click to open the picture in its own window"));

    HelpOkBtn = Named(new QPushButton(QStringLiteral("OK"), TabSheet4), "HelpOkBtn");
    HelpOkBtn->setAutoDefault(false);
    auto* page = new QVBoxLayout(TabSheet4);
    page->setContentsMargins(8, 8, 8, 8);
    page->addWidget(PageControl2, 1);
    page->addWidget(HelpOkBtn, 0, Qt::AlignHCenter);

    ConnectHandler(HelpOkBtn, &QPushButton::clicked, this, &TMainForm::HelpOkBtnClick);
    ConnectHandler(Image2, &TImage::DoubleClicked, this, &TMainForm::Image2DblClick);
    ConnectHandler(Image1, &TImage::DoubleClicked, this, &TMainForm::Image1DblClick);
    ConnectHandler(Image4, &TImage::DoubleClicked, this, &TMainForm::Image4DblClick);
    for (TImage* image : {Image3, Image5, Image6})
        ConnectHandler(image, &TImage::DoubleClicked, this, &TMainForm::Image6DblClick);
}

void TMainForm::LoadInformation()
{
    const QString folder = ProgramFolder();
    QFile file(folder + QStringLiteral("/Information.rtf"));
    if (file.exists() && file.open(QIODevice::ReadOnly)) {
        LoadRtf(file.readAll(), RichEdit1->document());
        RichEdit1->moveCursor(QTextCursor::Start);
        return;
    }
    RichEdit1->setPlainText(
        QStringLiteral("The information file \"Information.rtf\" was not found in %1.\n\n"
                       "The wiring pages show how to connect the sensor for RS232, RS422 and RS485.")
            .arg(QDir::toNativeSeparators(folder)));
}

QString TMainForm::IniFileName()
{
    return PortList::settingsFile();
}

QString TMainForm::ProgramFolder()
{
    return QFileInfo(ExeName()).absolutePath();
}

// ---------------------------------------------------------------------------
// Showing, closing, port list and settings file

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        RunHandler([this] { FormShow(); });
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (!ClosingByProgram) {
        // A close request from the desktop leaves as File > Exit does, and
        // never from the middle of a wait for the sensor.
        event->ignore();
        if (!IsBusy())
            QTimer::singleShot(0, this, [this] { RunHandler([this] { Exit1Click(); }); });
        return;
    }
    RunHandler([this] { FormClose(); });
    QMainWindow::closeEvent(event);
}

void TMainForm::CloseWindow()
{
    ClosingByProgram = true;
    close();
    ClosingByProgram = false;
}

void TMainForm::FormShow()
{
    ListComPorts();
    setWindowTitle(QString::fromLatin1(ProductCaption) + QString::fromLatin1(VersionText));
}

void TMainForm::RefreshComportListClick()
{
    if (IsBusy())
        return;
    ListComPorts();
}

void TMainForm::ListComPorts()
{
    PortList::fill(AvailComportComboBox, QStringLiteral("Com%1"));
    ReadIniSettings();
    PortList::choose(AvailComportComboBox, SavedPort);
}

void TMainForm::ReadIniSettings()
{
    SavedPort = PortList::readSaved();
}

void TMainForm::WriteIniSettings()
{
    PortList::writeSaved(SavedPort);
}

QString TMainForm::SelectedPort() const
{
    return PortList::selected(AvailComportComboBox);
}

void TMainForm::AvailComportComboBoxEdited(const QString& text)
{
    PortList::keepTyped(AvailComportComboBox, text);
    AvailComportComboBoxChange();
}

void TMainForm::AvailComportComboBoxChange()
{
    SavedPort = SelectedPort();
    WriteIniSettings();
}

void TMainForm::FormClose()
{
    Sensor.reset();
}

void TMainForm::ShowPage(QWidget* page)
{
    PageControl1->setCurrentWidget(page);
}

// ---------------------------------------------------------------------------
// Settings page selections

int TMainForm::CommsModeIndex() const
{
    const int line = CommsModeGB->ItemIndex();
    const int modbus = ModBusRG->ItemIndex();
    if (line < 0 || modbus < 0)
        return cmRs232Rtu;
    return line * 2 + modbus;
}

void TMainForm::SetCommsModeIndex(int index)
{
    if (index < cmRs232Rtu || index > cmRs422_485Ascii)
        return;
    CommsModeGB->SetItemIndex(index / 2);
    ModBusRG->SetItemIndex(index % 2);
}

void TMainForm::BaudRateCBEdited(const QString& text)
{
    // A typed rate selects its item ("9600", or "19200" for "19200
    // (Default)"); other text leaves no item selected.
    const QString typed = text.trimmed();
    int index = -1;
    for (int i = 0; i < BaudRateCB->count() && !typed.isEmpty(); ++i) {
        const QString item = BaudRateCB->itemText(i);
        if (item.compare(typed, Qt::CaseInsensitive) == 0 || item.section(QLatin1Char(' '), 0, 0) == typed)
            index = i;
    }
    const int cursor = BaudRateCB->lineEdit()->cursorPosition();
    {
        const QSignalBlocker quiet(BaudRateCB);
        BaudRateCB->setCurrentIndex(index);
    }
    BaudRateCB->lineEdit()->setText(text);
    BaudRateCB->lineEdit()->setCursorPosition(cursor);
}

// ---------------------------------------------------------------------------
// Lamps and link events

void TMainForm::RxActivityEvent(QObject*)
{
    RxFlag = true;
}

void TMainForm::TxActivityEvent(QObject*)
{
    TxFlag = true;
}

void TMainForm::DebugTextEvent(QObject*, const std::string& text)
{
    // The link's texts name files by their paths.
    StatusTxt->SetCaption(PathText(text));
}

void TMainForm::LedTimerTimer()
{
    const std::pair<TShape*, bool*> lamps[] = {{RxLed, &RxFlag}, {TxLed, &TxFlag}};
    for (const auto& [lamp, flag] : lamps) {
        lamp->SetBrushColor(*flag ? Qt::red : Qt::green);
        lamp->repaint();
        *flag = false;
    }
}

// ---------------------------------------------------------------------------
// Modbus address input

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ModbusAddressEB) {
        if (event->type() == QEvent::FocusOut) {
            // Leaving the field, not the window switching or a menu opening.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                QTimer::singleShot(0, this, [this] {
                    if (!ModbusAddressEB->hasFocus())
                        RunHandler([this] { ModbusAddressEBExit(); });
                });
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::ModbusAddressEBKeyPress(QObject* /*Sender*/, QChar& Key)
{
    // Enter (13) is discarded too.
    if (!KeyRules::Digit(QString(), Key))
        Key = QChar();
}

void TMainForm::ModbusAddressEBChange()
{
    bool isNumber = false;
    const int value = ModbusAddressEB->text().toInt(&isNumber, 10);
    if (!isNumber)
        return;
    if (value > 247 || value == 0) {
        ShowMessage(QStringLiteral("Invalid value entered for modbus address, enter a value in the range of 1 to 247"));
        ModbusAddressEB->setText(QStringLiteral("1"));
    }
}

void TMainForm::ModbusAddressEBExit()
{
    if (!ModbusAddressEB->text().isEmpty())
        return;
    ShowMessage(QStringLiteral("Modbus address can not be empty... Please enter a value between 1 and 247"));
    ModbusAddressEB->setFocus(Qt::OtherFocusReason);
    ProcessMessages();
}

// ---------------------------------------------------------------------------
// Information page, pictures and menus

void TMainForm::HelpBtnClick()
{
    ShowPage(TabSheet4);
}

void TMainForm::HelpOkBtnClick()
{
    ShowPage(TabSheet1);
}

void TMainForm::OpenWiringPicture(const QString& fileName)
{
    const QString folder = ProgramFolder();
    const QString path = folder + QLatin1Char('/') + fileName;
    if (!QFileInfo::exists(path)) {
        StatusTxt->SetCaption(QStringLiteral("The picture \"%1\" was not found in %2")
                                  .arg(fileName, QDir::toNativeSeparators(folder)));
        return;
    }
    ShellOpen(path);
}

void TMainForm::Image2DblClick()
{
    OpenWiringPicture(QStringLiteral("RS232.jpg"));
}

void TMainForm::Image1DblClick()
{
    OpenWiringPicture(QStringLiteral("RS422_HD.jpg"));
}

void TMainForm::Image4DblClick()
{
    OpenWiringPicture(QStringLiteral("RS485_HD.jpg"));
}

void TMainForm::Image6DblClick()
{
    OpenWiringPicture(QStringLiteral("Wiring Table.jpg"));
}

void TMainForm::About1Click()
{
    std::unique_ptr<TAboutBox> aboutBox(new TAboutBox(this));
    aboutBox->ShowModal();
}

void TMainForm::Exit1Click()
{
    if (IsBusy())
        return;
    {
        OperationScope operation;
        BeginOperation(operation);
        if (inBootCode)
            ExitBootCode();
    }
    CloseWindow();
}
