// The key filter of an edit, held whatever way text arrives.
//
// The forms filter typed characters with their key handlers. Text also
// arrives without a key press: pasted (Ctrl+V, Shift+Insert, the context
// menu, the middle button), dropped, or committed by an input method. A
// TKeyFilter takes such text only when every one of its characters would
// have passed the edit's rule had it been typed there, one after the other;
// otherwise nothing of it goes in. Control characters never arrive that way
// (a memo takes line breaks). The editing shortcuts (Ctrl+A, Ctrl+C,
// Ctrl+X, Ctrl+Z, Ctrl+V) and the keys that type no character (arrows,
// Delete) stay the edit's own, since what they insert is checked like any
// pasted text; every other key goes through the rule whatever modifier is
// held. A typed key, like pasted text, is judged by the text that would
// result: with a selection, the text without it. Tab moves the focus, in a
// memo too, and never becomes text.
//
// Text the program sets is shown as it is, whatever it holds.
#pragma once

#include "Forms.h"

#include <QObject>
#include <QString>

#include <functional>

class QLineEdit;
class QWidget;

class TKeyFilter : public QObject {
    Q_OBJECT
public:
    // Whether `key` typed into an edit that holds `text` (without the
    // selection the key replaces) passes. Gets printable characters,
    // backspace (8), 12 and Enter (13).
    using TKeyRule = std::function<bool(const QString& text, QChar key)>;
    // The form's handler of a typed key, when it does more than the rule
    // (Enter may close the window or move the focus): it drops the key by
    // setting it to QChar(). It judges the key by KeyRules::TextForKey.
    using TKeyPressEvent = std::function<void(QChar& key)>;

    // Filters `edit`, a QLineEdit, a TMemo or a TCSpinEdit, which owns the
    // filter. Without `onKeyPress` typed keys are judged by the rule with
    // the edit's text.
    static TKeyFilter* Install(QWidget* edit, TKeyRule rule, TKeyPressEvent onKeyPress = {});
    // The filter of `edit`, or null.
    static TKeyFilter* Of(const QWidget* edit);

    // True when `inserted`, arriving at `position` of `text` in place of the
    // `replaced` characters there, is taken.
    bool Admits(QString text, int position, int replaced, const QString& inserted) const;
    // True when the user's change of `line` to `changed` is taken: text the
    // program sets always is. For the validators of line edits.
    bool AdmitsChange(const QLineEdit* line, const QString& changed) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TKeyFilter(QWidget* edit, TKeyRule rule, TKeyPressEvent onKeyPress);
    QString editText() const;
    // Where typed text goes in: the cursor, or the selection it replaces.
    void selection(int& position, int& replaced) const;
    bool admitsDrop(QObject* target, const QString& inserted, const QPoint& at) const;

    QWidget* edit_;
    QLineEdit* line_ = nullptr; // the line of a QLineEdit or a spin edit
    bool memo_ = false;
    TKeyRule rule_;
    TKeyPressEvent onKeyPress_;
    QString lineText_; // the line's text before the change being validated
};

// A form's key handler (Sender, Key), run through RunHandler with `sender`,
// as a filter's OnKeyPress.
template <class Form>
TKeyFilter::TKeyPressEvent KeyPressHandler(Form* form, void (Form::*handler)(QObject*, QChar&), QObject* sender)
{
    return [form, handler, sender](QChar& key) { RunHandler([&] { (form->*handler)(sender, key); }); };
}

namespace KeyRules {
// The text a character typed into `edit` (a QLineEdit, a TMemo or a
// TCSpinEdit) joins: its text without the selection, which the character
// replaces. A key handler judges a typed key by it, as pasted text is
// judged by the text that would result.
QString TextForKey(const QWidget* edit);

// The rules the numeric edits share.
// Backspace (8), 12 and the digits 0 to 9.
bool Digit(const QString& text, QChar key);
// Those of Digit, and "." while the text holds none.
bool Decimal(const QString& text, QChar key);
} // namespace KeyRules
