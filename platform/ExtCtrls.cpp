#include "ExtCtrls.h"

#include <QButtonGroup>
#include <QPainter>
#include <QRadioButton>
#include <QVBoxLayout>

TShape::TShape(QWidget* parent) : QWidget(parent) {}

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
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

TRadioGroup::TRadioGroup(const QString& caption, QWidget* parent) : QGroupBox(caption, parent)
{
    layout_ = new QVBoxLayout(this);
    group_ = new QButtonGroup(this);
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::idClicked, this, &TRadioGroup::userClicked);
}

QStringList TRadioGroup::Items() const
{
    QStringList items;
    for (const QRadioButton* b : buttons_)
        items << b->text();
    return items;
}

void TRadioGroup::SetItems(const QStringList& items)
{
    ClearItems();
    for (const QString& item : items)
        AddItem(item);
}

void TRadioGroup::AddItem(const QString& item)
{
    auto* button = new QRadioButton(item, this);
    group_->addButton(button, static_cast<int>(buttons_.size()));
    layout_->addWidget(button);
    buttons_.append(button);
}

void TRadioGroup::ClearItems()
{
    for (QRadioButton* b : buttons_) {
        group_->removeButton(b);
        // The items may be replaced while one of them is being clicked (a
        // handler of another control's focus loss): the button goes once
        // the click is delivered.
        layout_->removeWidget(b);
        b->hide();
        b->deleteLater();
    }
    buttons_.clear();
    index_ = -1;
}

int TRadioGroup::Count() const
{
    return static_cast<int>(buttons_.size());
}

QRadioButton* TRadioGroup::Button(int index) const
{
    return index >= 0 && index < buttons_.size() ? buttons_[index] : nullptr;
}

void TRadioGroup::SetItemIndex(int index)
{
    if (index < 0 || index >= buttons_.size())
        index = -1;
    if (index == index_)
        return;
    index_ = index;
    if (index >= 0) {
        buttons_[index]->setChecked(true);
    } else {
        // An exclusive group keeps one button checked; let go of it.
        group_->setExclusive(false);
        for (QRadioButton* b : buttons_)
            b->setChecked(false);
        group_->setExclusive(true);
    }
    emit Click();
}

void TRadioGroup::userClicked(int index)
{
    index_ = index;
    emit Click();
}
