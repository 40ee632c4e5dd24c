// What an operator writes into the logger's log: the initials and the
// comment of the Logging page and of the note dialog. Both end in the same
// log, so they share one rule.
#pragma once

#include <QChar>

namespace LogText {

// Characters of the initials.
constexpr int InitialsLength = 7;
// Characters of a comment, a line break counting as the CR LF it is sent as.
constexpr int CommentLength = 200;

// Whether a typed character may go into the initials or the comment:
// backspace (8), 12, Enter (13), the ASCII letters, and the printable ASCII
// characters but the comma, the grave accent and the tilde. The log is read
// back as comma-separated text.
bool KeyPasses(QChar key);

} // namespace LogText
