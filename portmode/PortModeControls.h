// Small controls the utility's window is built from: a caption that reports
// its changes (status line, progress label), a lamp, and a picture that
// scales to its place and answers a double click.
#pragma once

#include <QLabel>
#include <QPixmap>
#include <QWidget>

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
