#include "PortModeControls.h"

#include <QMouseEvent>
#include <QPainter>

TCaptionLabel::TCaptionLabel(const QString& caption, QWidget* parent) : QLabel(caption, parent) {}

void TCaptionLabel::SetCaption(const QString& caption)
{
    setText(caption);
    emit CaptionChanged(caption);
}

TShape::TShape(QWidget* parent) : QWidget(parent)
{
    setFixedSize(sizeHint());
}

void TShape::SetBrushColor(const QColor& color)
{
    brush_ = color;
    update();
}

void TShape::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(brush_);
    p.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
}

TImage::TImage(const QPixmap& picture, QWidget* parent) : QWidget(parent), picture_(picture)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QSize TImage::sizeHint() const
{
    return picture_.isNull() ? QSize(64, 64) : picture_.deviceIndependentSize().toSize();
}

void TImage::paintEvent(QPaintEvent*)
{
    if (picture_.isNull())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    QSizeF size = picture_.deviceIndependentSize();
    size.scale(QSizeF(rect().size()).boundedTo(size), Qt::KeepAspectRatio);
    QRectF target(QPointF(), size);
    target.moveCenter(QRectF(rect()).center());
    p.drawPixmap(target, picture_, QRectF(picture_.rect()));
}

void TImage::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
    emit DoubleClicked();
}
