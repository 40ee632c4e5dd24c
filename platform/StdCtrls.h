// Two controls the forms need beyond what Qt's widgets do as they are: a
// multi-line edit with a length limit, and a list of check boxes.
#pragma once

#include <QListWidget>
#include <QPlainTextEdit>

// A multi-line edit holding at most MaxLength characters (0: no limit),
// counted as the text is stored and sent: a line break is the two
// characters CR LF. Typing or pasting past the limit keeps only what fits.
// Pasted or dropped text goes through the memo's key filter (KeyFilter.h),
// when it has one.
class TMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TMemo(QWidget* parent = nullptr);

    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int length);

protected:
    void insertFromMimeData(const QMimeData* source) override;

private:
    void enforceLimit();

    int maxLength_ = 0;
};

// A list whose every item has a check box.
class TCheckListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TCheckListBox(QWidget* parent = nullptr);

    // Appends an unchecked item.
    void AddItem(const QString& text);
    bool Checked(int index) const;
    void SetChecked(int index, bool checked);
};
