#include "ComCtrls.h"

#include <QMouseEvent>

TTreeView::TTreeView(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    changeTimer_.setSingleShot(true);
    changeTimer_.setInterval(0);
    connect(&changeTimer_, &QTimer::timeout, this, &TTreeView::changeDue);
    connect(this, &QTreeWidget::currentItemChanged, this, [this] {
        pending_ = false;
        changeTimer_.start();
    });
    connect(this, &QTreeWidget::itemCollapsed, this, &TTreeView::nodeCollapsed);
}

void TTreeView::SelectQuietly(QTreeWidgetItem* node)
{
    const QSignalBlocker blocker(this);
    changeTimer_.stop();
    pending_ = false;
    setCurrentItem(node);
}

void TTreeView::changeDue()
{
    // While the button is still down the press may turn into a drag: the
    // notice waits for the release (and a drag decides it instead).
    if (pressed_ && !dragging_) {
        pending_ = true;
        return;
    }
    emit Change(currentItem());
}

void TTreeView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        event->accept(); // the menu acts on the selected node
        return;
    }
    pressed_ = event->button() == Qt::LeftButton;
    QTreeWidget::mousePressEvent(event);
}

void TTreeView::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    pressed_ = false;
    if (pending_) {
        pending_ = false;
        emit Change(currentItem());
    }
}

void TTreeView::startDrag(Qt::DropActions supportedActions)
{
    dragging_ = true;
    // A change still due is delivered now, while the drag is on, so its
    // receiver sees Dragging().
    if (pending_ || changeTimer_.isActive()) {
        pending_ = false;
        changeTimer_.stop();
        emit Change(currentItem());
    }
    QTreeWidget::startDrag(supportedActions);
    dragging_ = false;
    pressed_ = false;
}

void TTreeView::nodeCollapsed(QTreeWidgetItem* node)
{
    bool allow = true;
    if (OnCollapsing)
        OnCollapsing(node, allow);
    if (!allow) {
        const QSignalBlocker blocker(this);
        expandItem(node);
    }
}
