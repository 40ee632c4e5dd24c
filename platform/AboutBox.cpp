#include "AboutBox.h"

#include "Shell.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TAboutForm::TAboutForm(QWidget* owner, const AboutTexts& texts)
    : TForm(owner, NoBorderIcons)
{
    setWindowTitle(QStringLiteral("About"));
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    ProductName = Named(new QLabel(texts.productName, this), "ProductName");
    QFont bold = ProductName->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.5);
    ProductName->setFont(bold);
    ProductName->setAlignment(Qt::AlignCenter);
    Version = Named(new QLabel(texts.versionText, this), "Version");
    Version->setAlignment(Qt::AlignCenter);
    Copyright = Named(
        new QLabel(texts.description + QStringLiteral("\nCopyright \u00A9 Halvorine. All rights reserved."), this),
        "Copyright");
    Copyright->setAlignment(Qt::AlignCenter);
    LinkLabel1 = Named(
        new QLabel(QStringLiteral("<a href=\"https://www.halvorine.example/\">www.halvorine.example</a>"), this),
        "LinkLabel1");
    LinkLabel1->setAlignment(Qt::AlignCenter);
    LinkLabel1->setTextFormat(Qt::RichText);
    LinkLabel1->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    LinkLabel1->setOpenExternalLinks(false);
    OKButton = Named(MakeButton(QStringLiteral("OK"), mrOk, true), "OKButton");

    layout->addWidget(ProductName);
    layout->addWidget(Version);
    layout->addSpacing(8);
    layout->addWidget(Copyright);
    layout->addWidget(LinkLabel1);
    layout->addSpacing(8);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);

    ConnectHandler(LinkLabel1, &QLabel::linkActivated, this, &TAboutForm::LinkLabel1LinkClick);
}

void TAboutForm::LinkLabel1LinkClick(const QString& link)
{
    ShellOpen(link);
}
