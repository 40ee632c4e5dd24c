#include "ABOUT.h"

#include "Version.h"

TAboutBox::TAboutBox(QWidget* owner)
    : TAboutForm(owner, {QStringLiteral("Brindlecot"), QString::fromLatin1(VersionText),
                         QStringLiteral("Software for the Brindlecot water-quality and water-level sonde.")})
{
}
