// The set-up dialog's schedule overview, and the cell drawing it shares with
// the Modbus register grid.
#include "SensorSetupUnit.h"

#include "Grids.h"

#include <QHeaderView>
#include <QPainter>
#include <QVBoxLayout>

#include <string>

namespace {

constexpr int OverviewRows = 8;
constexpr int OverviewCols = 5;

const char* const RowTitles[OverviewRows] = {"Schedule Name", "Status",       "Scan Time",    "Record Time",
                                             "Averaging",     "Avg interval", "Start method", "Stop method"};

} // namespace

void TSensorSetupForm::BuildOverviewPage()
{
    ScheduleOverviewGrid = Named(new TStringGrid(SS_ScheduleOverviewTab), "ScheduleOverviewGrid");
    ScheduleOverviewGrid->SetDefaultColWidth(100);
    ScheduleOverviewGrid->SetColCount(OverviewCols);
    ScheduleOverviewGrid->SetRowCount(OverviewRows);
    ScheduleOverviewGrid->SetFixedCols(1);
    ScheduleOverviewGrid->SetFixedRows(0);
    ScheduleOverviewGrid->SetDefaultRowHeight(20);
    ScheduleOverviewGrid->setShowGrid(true);
    ScheduleOverviewGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScheduleOverviewGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScheduleOverviewGrid->DefaultDrawing = false;
    ScheduleOverviewGrid->OnDrawCell = [this](TStringGrid* grid, int col, int row, const QRect& rect, bool fixed,
                                              QPainter* canvas) {
        ScheduleOverviewGridDrawCell(grid, col, row, rect, fixed, canvas);
    };
    // The row titles are bold: their column is as wide as "Schedule Name".
    ScheduleOverviewGrid->SetColWidths(0, 120);
    const int frame = 2 * ScheduleOverviewGrid->frameWidth();
    ScheduleOverviewGrid->setFixedSize(ScheduleOverviewGrid->horizontalHeader()->length() + frame,
                                       ScheduleOverviewGrid->verticalHeader()->length() + frame);
    auto* l = new QVBoxLayout(SS_ScheduleOverviewTab);
    l->addWidget(ScheduleOverviewGrid, 0, Qt::AlignLeft | Qt::AlignTop);
    l->addStretch();
}

void TSensorSetupForm::SS_ScheduleOverviewTabShow()
{
    TStringGrid* grid = ScheduleOverviewGrid;
    for (int row = 0; row < OverviewRows; ++row)
        grid->SetCells(0, row, QString::fromLatin1(RowTitles[row]));
    for (int col = 1; col < OverviewCols; ++col)
        for (int row = 0; row < OverviewRows; ++row)
            grid->SetCells(col, row, QString());

    for (int c = FirstUserSchedule; c <= LastUserSchedule; ++c) {
        const ScheduleSetupData& s = Conf->Schedules[c];
        if (s.InUse == 0) {
            grid->SetCells(c, 0, QStringLiteral("Not Used"));
            continue;
        }
        const uint32_t scan = s.ScanTime;
        const uint32_t multiple = s.RecordMultiple;
        const uint16_t count = s.AverageCount;
        const uint32_t interval = s.AverageInterval;
        grid->SetCells(c, 0, Latin1Text(ImageText(s.Name)));
        grid->SetCells(c, 1, s.Enabled != 0 ? QStringLiteral("Enabled") : QStringLiteral("Paused"));
        grid->SetCells(c, 2, TimeToText(scan));
        grid->SetCells(c, 3, multiple > 0 ? TimeToText(uint64_t(scan) * multiple) : QString());
        grid->SetCells(c, 4, count >= 2 ? QString::number(count) : QStringLiteral("NA"));
        // Seconds as the averaging page shows them: "2", or "0.5" for an
        // interval below a second.
        grid->SetCells(c, 5, count >= 2 ? QString::number(double(interval) / 100.0, 'g', 12) : QStringLiteral("0"));
        grid->SetCells(c, 6, s.StartByTime != 0 ? QStringLiteral("Time") : QStringLiteral("Trigger"));
        grid->SetCells(c, 7, s.StopByTime != 0 ? QStringLiteral("Time") : QStringLiteral("Trigger"));
    }
}

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
