#include "ABOUT.h"

#include "PortModeVersion.h"

TAboutBox::TAboutBox(QWidget* owner)
    : TAboutForm(owner, {QString::fromLatin1(::ProductName), QString::fromLatin1(VersionText),
                         QStringLiteral("Sets the serial options of the sensor through its boot code.")})
{
}
