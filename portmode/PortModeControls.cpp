#include "PortModeControls.h"

#include <QButtonGroup>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QVBoxLayout>

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

TRadioGroup::TRadioGroup(const QStringList& items, QWidget* parent) : QWidget(parent), group_(new QButtonGroup(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        group_->addButton(button, i);
        layout->addWidget(button);
    }
    layout->addStretch(1);
    connect(group_, &QButtonGroup::idClicked, this, &TRadioGroup::Clicked);
}

int TRadioGroup::ItemIndex() const
{
    return group_->checkedId();
}

void TRadioGroup::SetItemIndex(int index)
{
    if (QAbstractButton* button = group_->button(index)) {
        button->setChecked(true);
        return;
    }
    // An exclusive group never unchecks its last button by itself.
    group_->setExclusive(false);
    for (QAbstractButton* button : group_->buttons())
        button->setChecked(false);
    group_->setExclusive(true);
}

QRadioButton* TRadioGroup::Item(int index) const
{
    return qobject_cast<QRadioButton*>(group_->button(index));
}

int TRadioGroup::Count() const
{
    return static_cast<int>(group_->buttons().size());
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
