// The main window of one connection to a sensor.
// (Placeholder: shows the chosen port until the main window replaces it.)
#pragma once

#include "Forms.h"

#include <string>

class QLabel;
class QPushButton;
class TStartUpForm;

class TSensorForm : public TForm {
    Q_OBJECT
public:
    // `portName` is the start-up window's chosen port ("COM3"), empty when
    // none was listed.
    TSensorForm(QWidget* owner, const std::string& portName, TStartUpForm* startUpWindow);

    std::string PortName;
    TStartUpForm* StartUpWindow = nullptr;

    QLabel* PortLabel = nullptr;
    QPushButton* DisconnectBtn = nullptr;
};
