// A lamp: a small rectangle or circle filled with the colour the program
// sets, outlined in black.
#pragma once

#include <QColor>
#include <QWidget>

class TShape : public QWidget {
    Q_OBJECT
public:
    enum TShapeType { stRectangle, stCircle };

    explicit TShape(QWidget* parent = nullptr);

    void SetShape(TShapeType shape);

    QColor BrushColor() const { return brush_; }
    // Takes effect at the next paint; Repaint() paints at once.
    void SetBrushColor(const QColor& colour);
    void Repaint();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor brush_ = QColor(255, 255, 255);
    TShapeType shape_ = stRectangle;
};
