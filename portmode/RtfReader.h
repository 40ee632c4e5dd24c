// Reads a rich-text (RTF) document into a Qt text document, as far as a text
// box shows it: paragraphs, line breaks and tabs, bold, italic, underline,
// strike-through, font sizes, text colours, paragraph alignment, indents and
// spacing, special characters (Windows-1252 and Unicode). Font tables, style
// sheets, document information and pictures are skipped; of fields only
// their shown text remains.
#pragma once

#include <QByteArray>

class QTextDocument;

// Replaces the document's content. Text that is not RTF at all is shown as
// plain text.
void LoadRtf(const QByteArray& rtf, QTextDocument* document);
