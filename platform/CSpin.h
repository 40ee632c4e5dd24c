// A numeric spin edit: an edit of whole numbers with up and down arrows.
// The text is what the user typed, even beyond the limits, until the edit
// loses the focus; Value reads the text.
#pragma once

#include <QSpinBox>

class TCSpinEdit : public QSpinBox {
    Q_OBJECT
public:
    explicit TCSpinEdit(QWidget* parent = nullptr);

    int MinValue() const { return min_; }
    int MaxValue() const { return max_; }
    void SetMinValue(int value);
    void SetMaxValue(int value);

    // The number the text holds; MinValue when it holds none.
    int Value() const;
    // Shows `value` kept to MinValue..MaxValue (not limited when both are
    // equal).
    void SetValue(int value);

    QString Text() const;
    void SetText(const QString& text);

signals:
    // The text changed, by the user or the program.
    void Changed();

protected:
    QValidator::State validate(QString& text, int& pos) const override;

private:
    void applyRange();
    void textMaybeChanged();

    int min_ = 0;
    int max_ = 100;
    QString shownText_;
};
