#include "KeyFilter.h"

#include "CSpin.h"
#include "StdCtrls.h"

#include <QDropEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMimeData>
#include <QTextCursor>
#include <QValidator>

#include <algorithm>
#include <iterator>

namespace {

bool isLineBreak(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::ParagraphSeparator ||
           c == QChar::LineSeparator;
}

// Every change of a line edit passes through its validator, however it was
// made, so this is where pasted, dropped and composed text is stopped.
class FilterValidator : public QValidator {
public:
    FilterValidator(const TKeyFilter* filter, QLineEdit* line) : QValidator(line), filter_(filter), line_(line) {}

    State validate(QString& input, int&) const override
    {
        return filter_->AdmitsChange(line_, input) ? Acceptable : Invalid;
    }

private:
    const TKeyFilter* filter_;
    const QLineEdit* line_;
};

// The keys that edit without typing: the clipboard, undo, selecting,
// deleting and moving the cursor.
bool isEditingShortcut(const QKeyEvent& key)
{
    static const QKeySequence::StandardKey editing[] = {
        QKeySequence::Undo,
        QKeySequence::Redo,
        QKeySequence::Cut,
        QKeySequence::Copy,
        QKeySequence::Paste,
        QKeySequence::SelectAll,
        QKeySequence::Deselect,
        QKeySequence::Delete,
        QKeySequence::Backspace,
        QKeySequence::DeleteStartOfWord,
        QKeySequence::DeleteEndOfWord,
        QKeySequence::DeleteEndOfLine,
        QKeySequence::DeleteCompleteLine,
        QKeySequence::MoveToNextChar,
        QKeySequence::MoveToPreviousChar,
        QKeySequence::MoveToNextWord,
        QKeySequence::MoveToPreviousWord,
        QKeySequence::MoveToNextLine,
        QKeySequence::MoveToPreviousLine,
        QKeySequence::MoveToNextPage,
        QKeySequence::MoveToPreviousPage,
        QKeySequence::MoveToStartOfLine,
        QKeySequence::MoveToEndOfLine,
        QKeySequence::MoveToStartOfBlock,
        QKeySequence::MoveToEndOfBlock,
        QKeySequence::MoveToStartOfDocument,
        QKeySequence::MoveToEndOfDocument,
        QKeySequence::SelectNextChar,
        QKeySequence::SelectPreviousChar,
        QKeySequence::SelectNextWord,
        QKeySequence::SelectPreviousWord,
        QKeySequence::SelectNextLine,
        QKeySequence::SelectPreviousLine,
        QKeySequence::SelectNextPage,
        QKeySequence::SelectPreviousPage,
        QKeySequence::SelectStartOfLine,
        QKeySequence::SelectEndOfLine,
        QKeySequence::SelectStartOfBlock,
        QKeySequence::SelectEndOfBlock,
        QKeySequence::SelectStartOfDocument,
        QKeySequence::SelectEndOfDocument,
    };
    return std::any_of(std::begin(editing), std::end(editing),
                       [&key](QKeySequence::StandardKey k) { return key.matches(k); });
}

} // namespace

TKeyFilter* TKeyFilter::Install(QWidget* edit, TKeyRule rule, TKeyPressEvent onKeyPress)
{
    return new TKeyFilter(edit, std::move(rule), std::move(onKeyPress));
}

TKeyFilter* TKeyFilter::Of(const QWidget* edit)
{
    return edit ? edit->findChild<TKeyFilter*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

TKeyFilter::TKeyFilter(QWidget* edit, TKeyRule rule, TKeyPressEvent onKeyPress)
    : QObject(edit), edit_(edit), rule_(std::move(rule)), onKeyPress_(std::move(onKeyPress))
{
    edit->installEventFilter(this);
    if (auto* spin = qobject_cast<TCSpinEdit*>(edit)) {
        // TCSpinEdit's own validator asks this filter.
        line_ = spin->findChild<QLineEdit*>();
        // The arrows change the line with its signals blocked.
        connect(spin, &QSpinBox::textChanged, this, [this] { lineText_ = line_->text(); });
    } else if (auto* line = qobject_cast<QLineEdit*>(edit)) {
        line_ = line;
        line->setValidator(new FilterValidator(this, line));
    } else if (auto* memo = qobject_cast<TMemo*>(edit)) {
        // TMemo asks this filter before it inserts pasted or dropped text.
        memo_ = true;
        memo->setTabChangesFocus(true);
        memo->viewport()->installEventFilter(this);
    }
    if (line_) {
        lineText_ = line_->text();
        connect(line_, &QLineEdit::textChanged, this, [this] { lineText_ = line_->text(); });
        // Drops land on the line itself, also inside a spin edit.
        line_->installEventFilter(this);
    }
}

QString TKeyFilter::editText() const
{
    if (line_)
        return line_->text();
    if (auto* memo = qobject_cast<const TMemo*>(edit_))
        return memo->toPlainText();
    return QString();
}

void TKeyFilter::selection(int& position, int& replaced) const
{
    if (line_) {
        position = line_->hasSelectedText() ? line_->selectionStart() : line_->cursorPosition();
        replaced = static_cast<int>(line_->selectedText().size());
    } else if (auto* memo = qobject_cast<const TMemo*>(edit_)) {
        const QTextCursor cursor = memo->textCursor();
        position = cursor.selectionStart();
        replaced = cursor.selectionEnd() - cursor.selectionStart();
    }
}

bool TKeyFilter::Admits(QString text, int position, int replaced, const QString& inserted) const
{
    position = std::clamp(position, 0, static_cast<int>(text.size()));
    text.remove(position, replaced);
    for (const QChar c : inserted) {
        QChar key = c;
        if (memo_ && isLineBreak(c))
            key = QChar(13); // a line break is Enter
        else if (!c.isPrint())
            return false;
        if (!rule_(text, key))
            return false;
        text.insert(position++, key.unicode() == 13 ? QChar(QLatin1Char('\n')) : c);
    }
    return true;
}

bool TKeyFilter::AdmitsChange(const QLineEdit* line, const QString& changed) const
{
    // setText leaves the edit unmodified: what the program shows stands.
    if (!line->isModified())
        return true;
    const QString& before = lineText_;
    const int shorter = static_cast<int>(std::min(before.size(), changed.size()));
    int prefix = 0;
    while (prefix < shorter && before.at(prefix) == changed.at(prefix))
        ++prefix;
    int suffix = 0;
    while (suffix < shorter - prefix &&
           before.at(before.size() - 1 - suffix) == changed.at(changed.size() - 1 - suffix))
        ++suffix;
    const int replaced = static_cast<int>(before.size()) - prefix - suffix;
    return Admits(before, prefix, replaced, changed.mid(prefix, changed.size() - prefix - suffix));
}

bool TKeyFilter::admitsDrop(QObject* target, const QString& inserted, const QPoint& at) const
{
    if (line_ && target == line_)
        return Admits(line_->text(), line_->cursorPositionAt(at), 0, inserted);
    if (auto* memo = qobject_cast<TMemo*>(edit_))
        return Admits(memo->toPlainText(), memo->cursorForPosition(at).position(), 0, inserted);
    return true;
}

bool TKeyFilter::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        if (watched != edit_)
            break;
        auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        if (text.isEmpty())
            return false;
        if (text.contains(QLatin1Char('\t'))) {
            // Tab and Shift+Tab move the focus; whatever else types a tab
            // (Ctrl+Tab, Ctrl+I in a memo) puts none into the text. A line
            // edit takes no tab: there a shortcut goes on to the window.
            // Ctrl with Alt is AltGr on some systems.
            const Qt::KeyboardModifiers mods = key->modifiers();
            const bool focusKey = (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
                                  !(mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
            const bool shortcut =
                (mods & Qt::MetaModifier) || ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier));
            return !focusKey && (memo_ || !shortcut);
        }
        // An editing shortcut (Ctrl+A, Ctrl+V), whatever text the platform
        // gives it, is the edit's own: what it inserts is judged as pasted
        // text is. Every other key types its text whatever modifier is held
        // (Meta, Super, AltGr), so the rule judges it.
        if (isEditingShortcut(*key))
            return false;
        if (text.size() == 1) {
            QChar c = text.at(0);
            const char16_t code = c.unicode();
            if (code != 8 && code != 12 && code != 13 && !c.isPrint())
                return false; // Ctrl+A, Ctrl+C, Escape, Delete: the edit's own keys
            if (onKeyPress_)
                onKeyPress_(c);
            else if (!rule_(KeyRules::TextForKey(edit_), c))
                c = QChar();
            return c.isNull();
        }
        // Several characters from one key (a compose sequence) arrive like
        // pasted text.
        int position = 0, replaced = 0;
        selection(position, replaced);
        return !Admits(editText(), position, replaced, text);
    }
    case QEvent::InputMethod: {
        // A line edit's validator judges what an input method commits; a
        // memo has none.
        auto* input = static_cast<QInputMethodEvent*>(event);
        if (memo_ && watched == edit_ && !input->commitString().isEmpty()) {
            int position = 0, replaced = 0;
            selection(position, replaced);
            if (!Admits(editText(), position, replaced, input->commitString()))
                input->setCommitString(QString());
        }
        break;
    }
    case QEvent::Drop: {
        // Refused before the edit accepts it, so that the source of a move
        // keeps its text.
        auto* drop = static_cast<QDropEvent*>(event);
        const QMimeData* data = drop->mimeData();
        if (data && data->hasText() && !admitsDrop(watched, data->text(), drop->position().toPoint())) {
            drop->setDropAction(Qt::IgnoreAction);
            drop->ignore();
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

QString KeyRules::TextForKey(const QWidget* edit)
{
    if (auto* memo = qobject_cast<const TMemo*>(edit)) {
        const QTextCursor cursor = memo->textCursor();
        return memo->toPlainText().remove(cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart());
    }
    const QLineEdit* line = qobject_cast<const QLineEdit*>(edit);
    if (auto* spin = qobject_cast<const TCSpinEdit*>(edit))
        line = spin->findChild<QLineEdit*>();
    if (!line)
        return QString();
    QString text = line->text();
    if (line->hasSelectedText())
        text.remove(line->selectionStart(), line->selectedText().size());
    return text;
}

bool KeyRules::Digit(const QString&, QChar key)
{
    const char16_t code = key.unicode();
    return code == 8 || code == 12 || (code >= u'0' && code <= u'9');
}

bool KeyRules::Decimal(const QString& text, QChar key)
{
    return Digit(text, key) || (key == QLatin1Char('.') && !text.contains(QLatin1Char('.')));
}
