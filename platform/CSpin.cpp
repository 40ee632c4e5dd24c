#include "CSpin.h"

#include "KeyFilter.h"
#include "SysUtils.h"

#include <QLineEdit>

#include <climits>

TCSpinEdit::TCSpinEdit(QWidget* parent) : QSpinBox(parent)
{
    applyRange();
    // Typing changes the edit's text; the arrows change it with the edit's
    // signals blocked and then report the new value. Either way Changed
    // follows once per new text.
    connect(lineEdit(), &QLineEdit::textChanged, this, &TCSpinEdit::textMaybeChanged);
    connect(this, &QSpinBox::textChanged, this, &TCSpinEdit::textMaybeChanged);
    shownText_ = lineEdit()->text();
}

void TCSpinEdit::textMaybeChanged()
{
    const QString text = lineEdit()->text();
    if (text == shownText_)
        return;
    shownText_ = text;
    emit Changed();
}

void TCSpinEdit::applyRange()
{
    if (min_ == max_)
        setRange(INT_MIN, INT_MAX);
    else
        setRange(min_, max_);
}

void TCSpinEdit::SetMinValue(int value)
{
    min_ = value;
    applyRange();
}

void TCSpinEdit::SetMaxValue(int value)
{
    max_ = value;
    applyRange();
}

int TCSpinEdit::Value() const
{
    try {
        return StrToInt(lineEdit()->text().toStdString());
    } catch (const EConvertError&) {
        return min_;
    }
}

void TCSpinEdit::SetValue(int value)
{
    if (min_ != max_)
        value = value < min_ ? min_ : value > max_ ? max_ : value;
    setValue(value);
    // setValue leaves the text alone when the number is unchanged but the
    // text was typed differently (or beyond the limits): show the number.
    const QString text = QString::number(value);
    if (lineEdit()->text() != text)
        lineEdit()->setText(text);
}

QString TCSpinEdit::Text() const
{
    return lineEdit()->text();
}

void TCSpinEdit::SetText(const QString& text)
{
    lineEdit()->setText(text);
}

QValidator::State TCSpinEdit::validate(QString& text, int&) const
{
    if (const TKeyFilter* filter = TKeyFilter::Of(this); filter && !filter->AdmitsChange(lineEdit(), text))
        return QValidator::Invalid;
    // Any run of digits stands, even beyond the limits: the form judges the
    // number, as it does with an empty edit.
    for (QChar c : text)
        if (!c.isDigit() && c != QLatin1Char('-'))
            return QValidator::Invalid;
    return QValidator::Acceptable;
}
