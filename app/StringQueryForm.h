// A one-line text query for names: letters, digits, space, '-' and '_'.
// Enter closes it as OK.
#pragma once

#include "Forms.h"

class QLabel;
class QLineEdit;
class QPushButton;

class TStringQuery : public TForm {
    Q_OBJECT
public:
    explicit TStringQuery(QWidget* owner);

    QLabel* Label = nullptr; // the prompt
    QLineEdit* Edit = nullptr;
    QPushButton* OkBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

public slots:
    void FormShow();

public:
    // The key filter of Edit: false drops the character `key`.
    bool EditKeyPress(QChar key);
    // Whether `key` passes into Edit, typed or pasted (Enter aside).
    static bool QueryKey(const QString& text, QChar key);

protected:
    void showEvent(QShowEvent* event) override;
};
