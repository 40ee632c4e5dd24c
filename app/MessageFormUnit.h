// A stay-on-top progress message shown without waiting while the sensor
// works: a label and a bar that fills in 20 steps of 500 ms and then stays
// full.
#pragma once

#include "Forms.h"

class QLabel;
class QProgressBar;
class QTimer;

class TMessageForm : public TForm {
    Q_OBJECT
public:
    explicit TMessageForm(QWidget* owner);

    QLabel* ProgressLabel = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QTimer* Timer1 = nullptr;

public slots:
    void Timer1Timer();
};
