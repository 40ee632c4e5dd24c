#include "LogText.h"

#include "sonderecordcmd.h"

// A comment record holds its length byte, one byte more, the kind letter,
// the initials and the comment (and perhaps the command's terminating
// zero): the logger keeps the longest note whole and the download gives it
// back.
static_assert(2 + 1 + LogText::InitialsLength + LogText::CommentLength + 1 <= MaxRecordPayload,
              "a logged note fits its record");

bool LogText::KeyPasses(QChar key)
{
    const char16_t k = key.unicode();
    return k == 8 || k == 12 || k == 13 || (k >= 32 && k <= 43) || (k >= 45 && k <= 64) || (k >= 91 && k <= 95) ||
           (k >= 123 && k <= 125) || (k >= u'A' && k <= u'Z') || (k >= u'a' && k <= u'z');
}
