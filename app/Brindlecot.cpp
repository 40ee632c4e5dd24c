#include "Brindlecot.h"

#include "ABOUT.h"
#include "Forms.h"
#include "OperationScope.h"
#include "PortList.h"
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

#include <memory>

TStartUpForm* StartUpForm = nullptr;

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
    PortList::prepare(AvailComportComboBox);
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
    return PortList::settingsFile();
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
    PortList::fill(AvailComportComboBox, QStringLiteral("COM%1"));
    ReadIniSettings();
    PortList::choose(AvailComportComboBox, SavedPort);
}

void TStartUpForm::ReadIniSettings()
{
    SavedPort = PortList::readSaved();
}

void TStartUpForm::WriteIniSettings()
{
    PortList::writeSaved(SavedPort);
}

void TStartUpForm::AvailComportComboBoxEdited(const QString& text)
{
    PortList::keepTyped(AvailComportComboBox, text);
    AvailComportComboBoxChange();
}

void TStartUpForm::AvailComportComboBoxChange()
{
    SavedPort = PortList::selected(AvailComportComboBox);
    WriteIniSettings();
}

void TStartUpForm::ConnectBtnClick()
{
    const QString port = PortList::selected(AvailComportComboBox);
    SavedPort = port;
    WriteIniSettings();

    // This window comes back once the main window has gone, however it ends.
    OperationScope scope;
    scope.atEnd([this] { show(); });
    std::unique_ptr<TSensorForm> sensorForm(new TSensorForm(this, port.toLatin1().toStdString(), this));
    sensorForm->setWindowState(Qt::WindowNoState);
    ProcessMessages();
    sensorForm->exec();
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
