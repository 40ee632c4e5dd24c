// Small controls the utility's window is built from: a caption that reports
// its changes (status line, progress label), a lamp, a radio group with an
// item index, and a picture that scales to its place and answers a double
// click.
#pragma once

#include <QLabel>
#include <QPixmap>
#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QRadioButton;

// A label whose caption is set through SetCaption, which announces it.
class TCaptionLabel : public QLabel {
    Q_OBJECT
public:
    explicit TCaptionLabel(const QString& caption, QWidget* parent = nullptr);

    QString Caption() const { return text(); }
    void SetCaption(const QString& caption);

signals:
    void CaptionChanged(const QString& caption);
};

// A round lamp filled with its brush colour.
class TShape : public QWidget {
    Q_OBJECT
public:
    explicit TShape(QWidget* parent = nullptr);

    QColor BrushColor() const { return brush_; }
    void SetBrushColor(const QColor& color);
    QSize sizeHint() const override { return {14, 14}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor brush_ = Qt::green;
};

// A column of radio buttons; ItemIndex -1 means that none is selected.
class TRadioGroup : public QWidget {
    Q_OBJECT
public:
    TRadioGroup(const QStringList& items, QWidget* parent = nullptr);

    int ItemIndex() const;
    // An index outside the items selects none.
    void SetItemIndex(int index);
    QRadioButton* Item(int index) const;
    int Count() const;

signals:
    void Clicked(int index);

private:
    QButtonGroup* group_;
};

// A picture drawn as large as its place allows, keeping its proportions.
class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(const QPixmap& picture, QWidget* parent = nullptr);

    const QPixmap& Picture() const { return picture_; }
    QSize sizeHint() const override;

signals:
    void DoubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QPixmap picture_;
};
