#include "Brindlecot.h"

#include "ABOUT.h"
#include "ComPorts.h"
#include "Forms.h"
#include "IniFiles.h"
#include "SensorFormUnit.h"
#include "SysUtils.h"
#include "Version.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>

#include <memory>

TStartUpForm* StartUpForm = nullptr;

static const QString SettingsSection = QStringLiteral("Defaults");
static const QString PortKey = QStringLiteral("Comport");

TStartUpForm::TStartUpForm(QWidget* owner) : QMainWindow(owner)
{
    MainMenu1 = Named(menuBar(), "MainMenu1");
    File1 = Named(MainMenu1->addMenu(QStringLiteral("File")), "File1");
    Exit1 = Named(File1->addAction(QStringLiteral("Exit")), "Exit1");
    About1 = Named(MainMenu1->addAction(QStringLiteral("About")), "About1");

    auto* client = new QWidget(this);
    auto* grid = new QGridLayout(client);
    Label1 = Named(new QLabel(QStringLiteral("Available Com ports"), client), "Label1");
    AvailComportComboBox = Named(new QComboBox(client), "AvailComportComboBox");
    AvailComportComboBox->setEditable(true);
    // The edit field is for looking, not for adding ports: typed text never
    // becomes an item, and no completion picks an item behind the user's back.
    AvailComportComboBox->setInsertPolicy(QComboBox::NoInsert);
    AvailComportComboBox->setCompleter(nullptr);
    ConnectBtn = Named(new QPushButton(QStringLiteral("Connect"), client), "ConnectBtn");
    RefreshComportList =
        Named(new QPushButton(QStringLiteral(" Refresh List of available ports "), client), "RefreshComportList");
    grid->addWidget(Label1, 0, 0, 1, 2);
    grid->addWidget(AvailComportComboBox, 1, 0);
    grid->addWidget(ConnectBtn, 1, 1);
    grid->addWidget(RefreshComportList, 2, 0, 1, 2, Qt::AlignLeft);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(3, 1);
    setCentralWidget(client);
    client->setMinimumSize(357, 152);
    resize(minimumSizeHint());
    CenterOnScreen(this);

    ConnectHandler(Exit1, &QAction::triggered, this, &TStartUpForm::Exit1Click);
    ConnectHandler(About1, &QAction::triggered, this, &TStartUpForm::About1Click);
    ConnectHandler(AvailComportComboBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
                   &TStartUpForm::AvailComportComboBoxChange);
    ConnectHandler(AvailComportComboBox->lineEdit(), &QLineEdit::textEdited, this,
                   &TStartUpForm::AvailComportComboBoxEdited);
    ConnectHandler(ConnectBtn, &QPushButton::clicked, this, &TStartUpForm::ConnectBtnClick);
    ConnectHandler(RefreshComportList, &QPushButton::clicked, this, &TStartUpForm::RefreshComportListClick);
}

QString TStartUpForm::IniFileName()
{
    return ChangeFileExt(ExeName(), QStringLiteral(".ini"));
}

void TStartUpForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // A window restored from minimised gets a spontaneous show event; only
    // going from hidden to shown counts.
    if (!event->spontaneous())
        RunHandler([this] { FormShow(); });
}

void TStartUpForm::FormShow()
{
    ListComPorts();
    setWindowTitle(QString::fromLatin1(ProductCaption) + QString::fromLatin1(VersionText));
}

void TStartUpForm::RefreshComportListClick()
{
    ListComPorts();
}

void TStartUpForm::ListComPorts()
{
    // Filling the list and choosing its item are not the user's choice:
    // they save nothing.
    const QSignalBlocker quiet(AvailComportComboBox);
    AvailComportComboBox->clear();
    for (int n = 0; n <= ComPorts::MaxPortNumber; ++n) {
        if (!ComPorts::canOpen(n))
            continue;
        AvailComportComboBox->addItem(QStringLiteral("COM%1").arg(n));
        AvailComportComboBox->setItemData(AvailComportComboBox->count() - 1, ComPorts::devicePath(n),
                                          Qt::ToolTipRole);
    }
    ReadIniSettings();
    if (AvailComportComboBox->count() > 0) {
        const int saved = SavedPort.isEmpty() ? -1 : AvailComportComboBox->findText(SavedPort, Qt::MatchFixedString);
        AvailComportComboBox->setCurrentIndex(saved >= 0 ? saved : 0);
    }
}

QString TStartUpForm::SelectedPort() const
{
    const int index = AvailComportComboBox->currentIndex();
    return index >= 0 ? AvailComportComboBox->itemText(index) : QString();
}

void TStartUpForm::AvailComportComboBoxEdited(const QString& text)
{
    // Typing into the edit field leaves no item selected; keep what the user
    // typed in the field all the same.
    const int cursor = AvailComportComboBox->lineEdit()->cursorPosition();
    {
        const QSignalBlocker quiet(AvailComportComboBox);
        AvailComportComboBox->setCurrentIndex(-1);
    }
    AvailComportComboBox->lineEdit()->setText(text);
    AvailComportComboBox->lineEdit()->setCursorPosition(cursor);
    AvailComportComboBoxChange();
}

void TStartUpForm::AvailComportComboBoxChange()
{
    SavedPort = SelectedPort();
    WriteIniSettings();
}

void TStartUpForm::ConnectBtnClick()
{
    const QString port = SelectedPort();
    SavedPort = port;
    WriteIniSettings();

    std::unique_ptr<TSensorForm> sensorForm(new TSensorForm(this, port.toLatin1().toStdString(), this));
    sensorForm->setWindowState(Qt::WindowNoState);
    ProcessMessages();
    try {
        sensorForm->exec();
    } catch (...) {
        sensorForm.reset();
        show();
        throw;
    }
    sensorForm.reset();
    show();
}

void TStartUpForm::About1Click()
{
    std::unique_ptr<TAboutBox> aboutBox(new TAboutBox(this));
    aboutBox->ShowModal();
}

void TStartUpForm::Exit1Click()
{
    close();
}

void TStartUpForm::ReadIniSettings()
{
    const TIniFile ini(IniFileName());
    SavedPort = ini.ReadString(SettingsSection, PortKey, QString());
}

void TStartUpForm::WriteIniSettings()
{
    TIniFile ini(IniFileName());
    ini.WriteString(SettingsSection, PortKey, SavedPort);
}
