#include "Shape.h"

#include <QPainter>

TShape::TShape(QWidget* parent) : QWidget(parent) {}

void TShape::SetShape(TShapeType shape)
{
    shape_ = shape;
    update();
}

void TShape::SetBrushColor(const QColor& colour)
{
    if (colour == brush_)
        return;
    brush_ = colour;
    update();
}

void TShape::Repaint()
{
    repaint();
}

QSize TShape::sizeHint() const
{
    return QSize(17, 9);
}

void TShape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.setBrush(brush_);
    if (shape_ == stCircle) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
    } else {
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}
