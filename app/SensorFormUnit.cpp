#include "SensorFormUnit.h"

#include "Version.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TSensorForm::TSensorForm(QWidget* owner, const std::string& portName, TStartUpForm* startUpWindow)
    : TForm(owner), PortName(portName), StartUpWindow(startUpWindow)
{
    setWindowTitle(QString::fromLatin1(ProductCaption) + QString::fromLatin1(VersionText));
    auto* layout = new QVBoxLayout(this);
    const QString port = QString::fromLatin1(PortName.data(), static_cast<int>(PortName.size()));
    PortLabel = Named(new QLabel(port.isEmpty() ? QStringLiteral("No port chosen.") : QStringLiteral("Port: %1").arg(port),
                                 this),
                      "PortLabel");
    layout->addWidget(PortLabel);
    layout->addWidget(new QLabel(QStringLiteral("The connection window is not built yet."), this));
    DisconnectBtn = Named(MakeButton(QStringLiteral("Disconnect"), mrOk, true), "DisconnectBtn");
    layout->addWidget(DisconnectBtn, 0, Qt::AlignRight);
    resize(360, 140);
}
