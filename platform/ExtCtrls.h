// Controls the windows need beyond Qt's own widgets as they are: a lamp
// (a filled shape whose colour the program sets) and a group of radio buttons
// chosen by index.
#pragma once

#include <QColor>
#include <QGroupBox>
#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QRadioButton;
class QVBoxLayout;

// A rectangle filled with BrushColor and outlined in black: a status lamp.
class TShape : public QWidget {
    Q_OBJECT
public:
    explicit TShape(QWidget* parent = nullptr);

    QColor BrushColor() const { return brush_; }
    // Takes effect at the next paint; Repaint() paints at once.
    void SetBrushColor(const QColor& colour);
    void Repaint();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor brush_ = QColor(255, 255, 255);
};

// A framed group of radio buttons, one per item, with at most one chosen.
// Click() is emitted when the user clicks an item and whenever the program
// changes the chosen index.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit TRadioGroup(const QString& caption = QString(), QWidget* parent = nullptr);

    // Items, in order; replacing or clearing them chooses none.
    QStringList Items() const;
    void SetItems(const QStringList& items);
    void AddItem(const QString& item);
    void ClearItems();
    int Count() const;

    // The chosen item, -1 for none. An index outside the items chooses none.
    int ItemIndex() const { return index_; }
    void SetItemIndex(int index);

    // The radio button of item `index` (for tests that click it).
    QRadioButton* Button(int index) const;

signals:
    void Click();

private:
    void userClicked(int index);

    QVBoxLayout* layout_ = nullptr;
    QButtonGroup* group_ = nullptr;
    QList<QRadioButton*> buttons_;
    int index_ = -1;
};
