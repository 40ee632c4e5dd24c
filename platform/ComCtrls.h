// A navigation tree: its change notice comes a short delay after the
// selection moved, and not for a node the user is dragging from the tree.
// A right click shows the tree's menu without moving the selection.
#pragma once

#include <QTimer>
#include <QTreeWidget>

#include <functional>

class TTreeView : public QTreeWidget {
    Q_OBJECT
public:
    explicit TTreeView(QWidget* parent = nullptr);

    // Milliseconds between a selection change and Change.
    int ChangeDelay() const { return changeTimer_.interval(); }
    void SetChangeDelay(int ms) { changeTimer_.setInterval(ms); }

    // True while a node is being dragged from the tree.
    bool Dragging() const { return dragging_; }

    // The selected node (nullptr when none is).
    QTreeWidgetItem* Selected() const { return currentItem(); }
    // Selects `node` without a change notice.
    void SelectQuietly(QTreeWidgetItem* node);

    void FullExpand() { expandAll(); }

    // Asked before a node collapses; `allow` false keeps it expanded.
    std::function<void(QTreeWidgetItem* node, bool& allow)> OnCollapsing;

signals:
    void Change(QTreeWidgetItem* node);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    void changeDue();
    void nodeCollapsed(QTreeWidgetItem* node);

    QTimer changeTimer_;
    bool pressed_ = false;
    bool pending_ = false;
    bool dragging_ = false;
};
