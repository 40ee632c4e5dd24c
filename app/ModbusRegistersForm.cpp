#include "ModbusRegistersForm.h"

#include "Grids.h"

#include <QFontMetrics>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

struct Register {
    const char* number;
    const char* type;
    const char* description;
};

// The holding registers: the sensor's own block, then one block of six per
// channel chosen on the Modbus page, from register 100 on.
constexpr Register Registers[] = {
    {"Register", "Type", "Description"},
    {"00001", "Char[2]", "Firmware version"},
    {"00002", "Char[2]", "Firmware version"},
    {"00003", "UI16", "Scanning current values flag"},
    {"00004", "UI16", "Number of enabled monitor channels"},
    {"00005", "UI16", "Logging status"},
    {"00006", "UI32", "Memory capacity[4 bytes]"},
    {"00008", "UI32", "Memory used[4 bytes]"},
    {"00010", "UC8[6]", "Serial number"},
    {"00013", "UI16", "CV Timestamp:year"},
    {"00014", "UI16", "CV Timestamp:month"},
    {"00015", "UI16", "CV Timestamp:day"},
    {"00016", "UI16", "CV Timestamp: hour"},
    {"00017", "UI16", "CV Timestamp: minute"},
    {"00018", "UI16", "CV Timestamp: seconds"},
    {"00100+", "Structure", "Channel current value stucture"},
    {"   Base+0", "UI16", "Channel number"},
    {"   Base+1", "UI16", "Units code"},
    {"   Base+2", "Float", "Last scanned channel value"},
    {"   Base+4", "Float", "Last logged channel value"},
    {"Base=Base+6", "", ""},
};

} // namespace

TModbusRegistersForm1::TModbusRegistersForm1(QWidget* owner)
    : TForm(owner, NoBorderIcons | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("Modbus registers"));
    StringGrid1 = Named(new TStringGrid(this), "StringGrid1");
    StringGrid1->SetColCount(3);
    StringGrid1->SetRowCount(25);
    StringGrid1->SetFixedRows(1);
    StringGrid1->SetFixedCols(0);
    StringGrid1->SetDefaultRowHeight(20);
    int row = 0;
    for (const Register& r : Registers) {
        StringGrid1->SetCells(0, row, QString::fromLatin1(r.number));
        StringGrid1->SetCells(1, row, QString::fromLatin1(r.type));
        StringGrid1->SetCells(2, row, QString::fromLatin1(r.description));
        ++row;
    }
    // The columns are 90, 77 and 382 pixels wide, or as wide as their
    // longest text needs in the desktop's font.
    const int widths[] = {90, 77, 382};
    const QFontMetrics metrics(StringGrid1->font());
    int total = 0;
    for (int col = 0; col < 3; ++col) {
        int width = widths[col];
        for (int r = 0; r < StringGrid1->RowCount(); ++r)
            width = std::max(width, metrics.horizontalAdvance(StringGrid1->Cells(col, r)) + 14);
        StringGrid1->SetColWidths(col, width);
        total += width;
    }
    StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->setFixedSize(total + 2 * StringGrid1->frameWidth(), 20 * 25 + 2 * StringGrid1->frameWidth());
    OKButton = Named(MakeButton(QStringLiteral("OK"), mrOk, true), "OKButton");
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(StringGrid1);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);
}
