// A grid of texts drawn by the window that owns it: every cell is painted by
// the OnDrawCell handler. The first FixedRows rows are the header; the grid
// shows no headers of its own, no selection and no editing.
#pragma once

#include <QColor>
#include <QTableWidget>

#include <functional>

class TStringGrid : public QTableWidget {
    Q_OBJECT
public:
    // Paints cell (column, row) into `rect` with `painter`.
    using DrawCellHandler = std::function<void(QPainter& painter, int column, int row, const QRect& rect)>;

    TStringGrid(int columns, int rows, QWidget* parent = nullptr);

    int ColCount() const { return columnCount(); }
    void SetColCount(int count) { setColumnCount(count); }
    int RowCount() const { return rowCount(); }
    void SetRowCount(int count);

    // The text of a cell; empty outside the grid or where none was set.
    QString Cells(int column, int row) const;
    // Writing outside the grid does nothing.
    void SetCells(int column, int row, const QString& text);

    // Width of every column and height of every row.
    void SetDefaultColWidth(int width);
    int DefaultColWidth() const { return defaultColWidth_; }
    void SetDefaultRowHeight(int height);

    int FixedRows = 1;
    QColor FixedColor = QColor(240, 240, 240); // header cells
    QColor Color = QColor(255, 255, 255);      // other cells
    QColor FontColor = QColor(0, 0, 0);

    DrawCellHandler OnDrawCell;

private:
    int defaultColWidth_ = 64;
};
