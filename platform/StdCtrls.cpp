#include "StdCtrls.h"

#include "KeyFilter.h"

#include <QMimeData>
#include <QTextCursor>

namespace {

// The length MaxLength limits: a line break counts as CR LF.
int storedLength(const QString& text)
{
    return static_cast<int>(text.size() + text.count(QLatin1Char('\n'))); // a document's positions are int
}

} // namespace

TMemo::TMemo(QWidget* parent) : QPlainTextEdit(parent)
{
    connect(this, &QPlainTextEdit::textChanged, this, &TMemo::enforceLimit);
}

void TMemo::SetMaxLength(int length)
{
    maxLength_ = length < 0 ? 0 : length;
    enforceLimit();
}

void TMemo::enforceLimit()
{
    if (maxLength_ == 0)
        return;
    const QString text = toPlainText();
    int excess = storedLength(text) - maxLength_;
    if (excess <= 0)
        return;
    // The characters just typed or pasted end at the cursor: drop the last
    // of them. Text set by the program (cursor at the start) loses its end.
    QTextCursor cursor = textCursor();
    int end = cursor.position();
    if (storedLength(text.left(end)) < excess)
        end = static_cast<int>(text.size());
    int start = end;
    while (start > 0 && excess > 0) {
        --start;
        excess -= text.at(start) == QLatin1Char('\n') ? 2 : 1;
    }
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    setTextCursor(cursor);
}

void TMemo::insertFromMimeData(const QMimeData* source)
{
    if (const TKeyFilter* filter = TKeyFilter::Of(this)) {
        // Only the text is taken, and only when the filter lets all of it in.
        const QTextCursor cursor = textCursor();
        if (!source->hasText() || !filter->Admits(toPlainText(), cursor.selectionStart(),
                                                  cursor.selectionEnd() - cursor.selectionStart(), source->text()))
            return;
        insertPlainText(source->text());
        return;
    }
    QPlainTextEdit::insertFromMimeData(source);
}

TCheckListBox::TCheckListBox(QWidget* parent) : QListWidget(parent) {}

void TCheckListBox::AddItem(const QString& text)
{
    auto* entry = new QListWidgetItem(text, this);
    entry->setFlags(entry->flags() | Qt::ItemIsUserCheckable);
    entry->setCheckState(Qt::Unchecked);
}

bool TCheckListBox::Checked(int index) const
{
    const QListWidgetItem* entry = item(index);
    return entry && entry->checkState() == Qt::Checked;
}

void TCheckListBox::SetChecked(int index, bool checked)
{
    if (QListWidgetItem* entry = item(index))
        entry->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}
