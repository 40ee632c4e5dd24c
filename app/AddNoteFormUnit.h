// The note dialog: the operator's initials and a comment for the log.
#pragma once

#include "Forms.h"

class QLineEdit;
class QPushButton;
class TMemo;

class TAddNoteForm : public TForm {
    Q_OBJECT
public:
    explicit TAddNoteForm(QWidget* owner);

    // Both take what the Logging page's initials and comment take (LogText.h).
    QLineEdit* InitialsEditBox = nullptr; // at most 7 characters
    TMemo* CommentsMemo = nullptr;        // at most 200 characters, a line break counting two
    QPushButton* OkBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
};
