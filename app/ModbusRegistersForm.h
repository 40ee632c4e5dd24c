// The register map: a fixed table of the sensor's Modbus holding registers.
#pragma once

#include "Forms.h"

class QPushButton;
class TStringGrid;

class TModbusRegistersForm1 : public TForm {
    Q_OBJECT
public:
    explicit TModbusRegistersForm1(QWidget* owner);

    TStringGrid* StringGrid1 = nullptr;
    QPushButton* OKButton = nullptr;
};
