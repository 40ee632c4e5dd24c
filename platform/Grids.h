// A grid of text cells with fixed (title) rows and columns, as the windows
// use for tables. Cells are addressed column first. A form may draw every
// cell itself through OnDrawCell with DefaultDrawing off.
#pragma once

#include <QTableWidget>

#include <functional>

class QPainter;

class TStringGrid : public QTableWidget {
    Q_OBJECT
public:
    explicit TStringGrid(QWidget* parent = nullptr);

    int ColCount() const { return columnCount(); }
    int RowCount() const { return rowCount(); }
    void SetColCount(int count);
    void SetRowCount(int count);
    int FixedCols() const { return fixedCols_; }
    int FixedRows() const { return fixedRows_; }
    void SetFixedCols(int count);
    void SetFixedRows(int count);
    bool IsFixed(int col, int row) const { return col < fixedCols_ || row < fixedRows_; }

    QString Cells(int col, int row) const;
    void SetCells(int col, int row, const QString& text);

    int DefaultColWidth() const { return defaultColWidth_; }
    void SetDefaultColWidth(int width);
    void SetDefaultRowHeight(int height);
    void SetColWidths(int col, int width);

    // The fixed cells' colour and the other cells' colour.
    QColor FixedColor() const;
    QColor Color() const;

    using TDrawCellEvent =
        std::function<void(TStringGrid* sender, int col, int row, const QRect& rect, bool fixed, QPainter* canvas)>;
    TDrawCellEvent OnDrawCell;
    bool DefaultDrawing = true;

private:
    void styleCell(int col, int row);
    void restyle();

    int fixedCols_ = 1;
    int fixedRows_ = 1;
    int defaultColWidth_ = 64;
};
