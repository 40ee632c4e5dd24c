// The utility's about box: product name, version, the maker's notice and web
// link.
#pragma once

#include "Forms.h"

class QLabel;
class QPushButton;

class TAboutBox : public TForm {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* owner);

    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Copyright = nullptr;
    QLabel* LinkLabel1 = nullptr;
    QPushButton* OKButton = nullptr;

public slots:
    void FormCreate();
    void LinkLabel1LinkClick(const QString& link);
};
