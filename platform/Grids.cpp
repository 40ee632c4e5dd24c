#include "Grids.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

// Hands the painting of every cell to the grid's handler.
class DrawCellDelegate : public QStyledItemDelegate {
public:
    explicit DrawCellDelegate(TStringGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (grid_->OnDrawCell) {
            painter->save();
            grid_->OnDrawCell(*painter, index.column(), index.row(), option.rect);
            painter->restore();
        } else {
            QStyledItemDelegate::paint(painter, option, index);
        }
    }

private:
    TStringGrid* grid_;
};

} // namespace

TStringGrid::TStringGrid(int columns, int rows, QWidget* parent) : QTableWidget(rows, columns, parent)
{
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::NoFocus);
    setShowGrid(true);
    setItemDelegate(new DrawCellDelegate(this));
    SetDefaultColWidth(defaultColWidth_);
}

void TStringGrid::SetRowCount(int count)
{
    setRowCount(count);
}

QString TStringGrid::Cells(int column, int row) const
{
    const QTableWidgetItem* cell = item(row, column);
    return cell ? cell->text() : QString();
}

void TStringGrid::SetCells(int column, int row, const QString& text)
{
    if (column < 0 || row < 0 || column >= columnCount() || row >= rowCount())
        return;
    if (QTableWidgetItem* cell = item(row, column))
        cell->setText(text);
    else
        setItem(row, column, new QTableWidgetItem(text));
}

void TStringGrid::SetDefaultColWidth(int width)
{
    defaultColWidth_ = width;
    horizontalHeader()->setDefaultSectionSize(width);
    for (int c = 0; c < columnCount(); ++c)
        setColumnWidth(c, width);
}

void TStringGrid::SetDefaultRowHeight(int height)
{
    verticalHeader()->setDefaultSectionSize(height);
    for (int r = 0; r < rowCount(); ++r)
        setRowHeight(r, height);
}
