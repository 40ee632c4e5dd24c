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

    QLineEdit* InitialsEditBox = nullptr; // at most 7 characters
    TMemo* CommentsMemo = nullptr;        // at most 200 characters
    QPushButton* OkBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
};
