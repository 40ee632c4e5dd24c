#include "Grids.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

class GridDelegate : public QStyledItemDelegate {
public:
    explicit GridDelegate(TStringGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const int col = index.column();
        const int row = index.row();
        const bool fixed = grid_->IsFixed(col, row);
        if (!grid_->DefaultDrawing && grid_->OnDrawCell) {
            painter->save();
            grid_->OnDrawCell(grid_, col, row, option.rect, fixed, painter);
            painter->restore();
            return;
        }
        if (fixed)
            painter->fillRect(option.rect, grid_->FixedColor());
        QStyledItemDelegate::paint(painter, option, index);
    }

private:
    TStringGrid* grid_;
};

} // namespace

TStringGrid::TStringGrid(QWidget* parent) : QTableWidget(parent)
{
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    setWordWrap(false);
    setItemDelegate(new GridDelegate(this));
    SetDefaultRowHeight(24);
    SetColCount(5);
    SetRowCount(5);
}

void TStringGrid::SetColCount(int count)
{
    const int old = columnCount();
    setColumnCount(count);
    for (int c = old; c < count; ++c)
        setColumnWidth(c, defaultColWidth_);
    restyle();
}

void TStringGrid::SetRowCount(int count)
{
    setRowCount(count);
    restyle();
}

void TStringGrid::SetFixedCols(int count)
{
    fixedCols_ = count;
    restyle();
}

void TStringGrid::SetFixedRows(int count)
{
    fixedRows_ = count;
    restyle();
}

QString TStringGrid::Cells(int col, int row) const
{
    const QTableWidgetItem* cell = item(row, col);
    return cell ? cell->text() : QString();
}

void TStringGrid::SetCells(int col, int row, const QString& text)
{
    if (col < 0 || row < 0 || col >= columnCount() || row >= rowCount())
        return;
    QTableWidgetItem* cell = item(row, col);
    if (!cell) {
        cell = new QTableWidgetItem;
        setItem(row, col, cell);
        styleCell(col, row);
    }
    cell->setText(text);
}

void TStringGrid::SetDefaultColWidth(int width)
{
    defaultColWidth_ = width;
    for (int c = 0; c < columnCount(); ++c)
        setColumnWidth(c, width);
}

void TStringGrid::SetDefaultRowHeight(int height)
{
    verticalHeader()->setDefaultSectionSize(height);
}

void TStringGrid::SetColWidths(int col, int width)
{
    setColumnWidth(col, width);
}

QColor TStringGrid::FixedColor() const
{
    return palette().color(QPalette::Button);
}

QColor TStringGrid::Color() const
{
    return palette().color(QPalette::Base);
}

void TStringGrid::styleCell(int col, int row)
{
    QTableWidgetItem* cell = item(row, col);
    if (!cell)
        return;
    cell->setFlags(Qt::ItemIsEnabled);
    cell->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void TStringGrid::restyle()
{
    for (int r = 0; r < rowCount(); ++r)
        for (int c = 0; c < columnCount(); ++c)
            styleCell(c, r);
}
