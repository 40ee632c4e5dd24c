// The about box both programs show: product name, version, a line on what
// the program is for, the maker's notice and web link. Each program's
// TAboutBox (ABOUT.h) gives its own texts.
#pragma once

#include "Forms.h"

#include <QString>

class QLabel;
class QPushButton;

struct AboutTexts {
    QString productName;
    QString versionText;
    // The line above the maker's copyright notice.
    QString description;
};

class TAboutForm : public TForm {
    Q_OBJECT
public:
    TAboutForm(QWidget* owner, const AboutTexts& texts);

    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Copyright = nullptr;
    QLabel* LinkLabel1 = nullptr;
    QPushButton* OKButton = nullptr;

public slots:
    void LinkLabel1LinkClick(const QString& link);
};
