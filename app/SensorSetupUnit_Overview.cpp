// The set-up dialog's schedule overview, and the cell drawing it shares with
// the Modbus register grid.
#include "SensorSetupUnit.h"

#include "Grids.h"

#include <QPainter>

void TSensorSetupForm::SS_ScheduleOverviewTabShow() {}

void TSensorSetupForm::ScheduleOverviewGridDrawCell(TStringGrid* Sender, int ACol, int ARow, const QRect& Rect,
                                                    bool Fixed, QPainter* Canvas)
{
    QFont font = Sender->font();
    font.setBold(Fixed);
    Canvas->setFont(font);
    Canvas->fillRect(Rect, Fixed ? Sender->FixedColor() : Sender->Color());
    Canvas->setPen(Sender->palette().color(QPalette::Active, QPalette::Text));
    Canvas->drawText(Rect.adjusted(5, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     Sender->Cells(ACol, ARow));
}
