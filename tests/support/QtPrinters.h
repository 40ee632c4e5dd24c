// Readable Qt strings in GoogleTest failure messages (lists print through
// this too).
#pragma once

#include <QString>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
