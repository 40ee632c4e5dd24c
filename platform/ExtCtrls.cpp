#include "ExtCtrls.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)), layout_(new QVBoxLayout(this))
{
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items.at(i), this);
        group_->addButton(button, i);
        layout_->addWidget(button);
    }
    layout_->addStretch();
    connect(group_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            emit Click();
    });
}

int TRadioGroup::ItemIndex() const
{
    return group_->checkedId();
}

void TRadioGroup::SetItemIndex(int index)
{
    if (index == ItemIndex())
        return;
    if (index < 0 || index >= Count()) {
        // Nothing chosen: a button group that is exclusive keeps one, so
        // lift that while clearing.
        group_->setExclusive(false);
        for (QAbstractButton* b : group_->buttons())
            b->setChecked(false);
        group_->setExclusive(true);
        return;
    }
    group_->button(index)->setChecked(true);
}

QRadioButton* TRadioGroup::Button(int index) const
{
    return static_cast<QRadioButton*>(group_->button(index));
}

int TRadioGroup::Count() const
{
    return static_cast<int>(group_->buttons().size());
}

QStringList TRadioGroup::Items() const
{
    QStringList items;
    for (int i = 0; i < Count(); ++i)
        items << Button(i)->text();
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
    group_->addButton(button, Count());
    // Before the closing stretch.
    layout_->insertWidget(layout_->count() - 1, button);
}

void TRadioGroup::ClearItems()
{
    for (QAbstractButton* b : group_->buttons()) {
        group_->removeButton(b);
        // The items may be replaced while one of them is being clicked (a
        // handler of another control's focus loss): the button goes once
        // the click is delivered.
        layout_->removeWidget(b);
        b->hide();
        b->deleteLater();
    }
}
