// Small controls the utility's window is built from: a caption that reports
// its changes (status line, progress label) and a picture that scales to its
// place and answers a double click. Its lamps are the platform's TShape.
#pragma once

#include <QLabel>
#include <QPixmap>
#include <QWidget>

#include "Shape.h"

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
