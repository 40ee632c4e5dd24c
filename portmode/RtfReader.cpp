#include "RtfReader.h"

#include <QColor>
#include <QFont>
#include <QSet>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <cctype>
#include <vector>

namespace {

// Windows-1252 where it differs from Latin-1 (0x80 to 0x9F).
const char16_t Cp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

QChar fromCp1252(unsigned char c)
{
    if (c >= 0x80 && c < 0xA0)
        return QChar(Cp1252High[c - 0x80]);
    return QChar(c);
}

// Destinations whose text is not part of the document.
const QSet<QByteArray>& skippedDestinations()
{
    static const QSet<QByteArray> names = {
        "fonttbl",   "stylesheet", "info",     "pict",     "header",    "footer",     "headerl",
        "headerr",   "headerf",    "footerl",  "footerr",  "footerf",   "generator",  "xmlnstbl",
        "listtable", "listoverridetable", "rsidtbl", "themedata", "colorschememapping", "latentstyles",
        "datastore", "mmathPr",    "object",   "fldinst",  "filetbl",   "revtbl",     "pgdsctbl",
        "operator",  "author",     "title",    "subject",  "keywords",  "comment",    "doccomm",
    };
    return names;
}

// What a group carries; each opening brace copies it, each closing one
// restores it.
struct State {
    QTextCharFormat chars;
    QTextBlockFormat block;
    bool skip = false;
    bool colorTable = false;
    int unicodeSkip = 1;
};

class Reader {
public:
    Reader(const QByteArray& rtf, QTextDocument* document) : in_(rtf), cursor_(document)
    {
        base_.setFontWeight(QFont::Normal);
        State s;
        s.chars = base_;
        states_.push_back(s);
    }

    void run()
    {
        size_t i = 0;
        const size_t n = static_cast<size_t>(in_.size());
        while (i < n) {
            const char c = in_[static_cast<int>(i)];
            if (c == '{') {
                flush();
                states_.push_back(states_.back());
                ++i;
            } else if (c == '}') {
                flush();
                if (states_.size() > 1)
                    states_.pop_back();
                ++i;
            } else if (c == '\\') {
                i = control(i + 1);
            } else if (c == '\r' || c == '\n') {
                ++i;
            } else {
                text(static_cast<unsigned char>(c));
                ++i;
            }
        }
        flush();
    }

private:
    State& state() { return states_.back(); }

    char at(size_t i) const { return i < static_cast<size_t>(in_.size()) ? in_[static_cast<int>(i)] : '\0'; }

    // A control word or symbol starting after its backslash; returns where
    // reading goes on.
    size_t control(size_t i)
    {
        const char c = at(i);
        if (std::isalpha(static_cast<unsigned char>(c))) {
            size_t end = i;
            while (std::isalpha(static_cast<unsigned char>(at(end))))
                ++end;
            const QByteArray word = in_.mid(static_cast<int>(i), static_cast<int>(end - i));
            bool hasParam = false;
            int param = 0;
            bool negative = false;
            if (at(end) == '-' && std::isdigit(static_cast<unsigned char>(at(end + 1)))) {
                negative = true;
                ++end;
            }
            while (std::isdigit(static_cast<unsigned char>(at(end)))) {
                hasParam = true;
                if (param < 100000000)
                    param = param * 10 + (at(end) - '0');
                ++end;
            }
            if (negative)
                param = -param;
            if (at(end) == ' ')
                ++end;
            return this->word(word, hasParam, param, end);
        }
        switch (c) {
        case '\\':
        case '{':
        case '}':
            text(static_cast<unsigned char>(c));
            return i + 1;
        case '\'': {
            bool ok = false;
            const int value = in_.mid(static_cast<int>(i + 1), 2).toInt(&ok, 16);
            if (ok)
                byte(static_cast<unsigned char>(value));
            return i + 3;
        }
        case '~':
            character(QChar(0x00A0));
            return i + 1;
        case '_':
            character(QChar(0x2011));
            return i + 1;
        case '*':
            // An optional destination this reader does not know.
            state().skip = true;
            return i + 1;
        case '\r':
        case '\n':
            paragraph();
            return i + 1;
        default: // \- (optional hyphen) and anything else: nothing to show
            return i + 1;
        }
    }

    size_t word(const QByteArray& w, bool hasParam, int param, size_t next)
    {
        State& s = state();
        if (skippedDestinations().contains(w)) {
            s.skip = true;
            return next;
        }
        if (w == "colortbl") {
            s.skip = true;
            s.colorTable = true;
            colors_.clear();
            pendingColor_ = QColor(Qt::black);
            colorSet_ = false;
            return next;
        }
        if (s.colorTable) {
            if (w == "red")
                pendingColor_.setRed(param);
            else if (w == "green")
                pendingColor_.setGreen(param);
            else if (w == "blue")
                pendingColor_.setBlue(param);
            colorSet_ = true;
            return next;
        }
        if (s.skip)
            return next;

        const bool on = !hasParam || param != 0;
        if (w == "par") {
            paragraph();
        } else if (w == "line") {
            character(QChar(QChar::LineSeparator));
        } else if (w == "tab") {
            character(QLatin1Char('\t'));
        } else if (w == "pard") {
            flush();
            s.block = QTextBlockFormat();
        } else if (w == "plain") {
            flush();
            s.chars = base_;
        } else if (w == "b") {
            flush();
            s.chars.setFontWeight(on ? QFont::Bold : QFont::Normal);
        } else if (w == "i") {
            flush();
            s.chars.setFontItalic(on);
        } else if (w == "ul") {
            flush();
            s.chars.setFontUnderline(on);
        } else if (w == "ulnone") {
            flush();
            s.chars.setFontUnderline(false);
        } else if (w == "strike") {
            flush();
            s.chars.setFontStrikeOut(on);
        } else if (w == "fs" && hasParam && param > 0) {
            flush();
            s.chars.setFontPointSize(param / 2.0);
        } else if (w == "cf" && hasParam) {
            flush();
            if (param > 0 && param < static_cast<int>(colors_.size()))
                s.chars.setForeground(colors_[static_cast<size_t>(param)]);
            else
                s.chars.clearForeground();
        } else if (w == "super") {
            flush();
            s.chars.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
        } else if (w == "sub") {
            flush();
            s.chars.setVerticalAlignment(QTextCharFormat::AlignSubScript);
        } else if (w == "nosupersub") {
            flush();
            s.chars.setVerticalAlignment(QTextCharFormat::AlignNormal);
        } else if (w == "ql") {
            s.block.setAlignment(Qt::AlignLeft);
        } else if (w == "qc") {
            s.block.setAlignment(Qt::AlignHCenter);
        } else if (w == "qr") {
            s.block.setAlignment(Qt::AlignRight);
        } else if (w == "qj") {
            s.block.setAlignment(Qt::AlignJustify);
        } else if (w == "li" && hasParam) {
            s.block.setLeftMargin(twipsToPixels(param));
        } else if (w == "ri" && hasParam) {
            s.block.setRightMargin(twipsToPixels(param));
        } else if (w == "fi" && hasParam) {
            s.block.setTextIndent(twipsToPixels(param));
        } else if (w == "sb" && hasParam) {
            s.block.setTopMargin(twipsToPixels(param));
        } else if (w == "sa" && hasParam) {
            s.block.setBottomMargin(twipsToPixels(param));
        } else if (w == "bullet") {
            character(QChar(0x2022));
        } else if (w == "emdash") {
            character(QChar(0x2014));
        } else if (w == "endash") {
            character(QChar(0x2013));
        } else if (w == "lquote") {
            character(QChar(0x2018));
        } else if (w == "rquote") {
            character(QChar(0x2019));
        } else if (w == "ldblquote") {
            character(QChar(0x201C));
        } else if (w == "rdblquote") {
            character(QChar(0x201D));
        } else if (w == "uc" && hasParam) {
            s.unicodeSkip = param < 0 ? 0 : param;
        } else if (w == "u" && hasParam) {
            character(QChar(static_cast<char16_t>(param < 0 ? param + 65536 : param)));
            return skipFallback(next, s.unicodeSkip);
        }
        return next;
    }

    // The characters a reader without Unicode would show instead of \uN.
    size_t skipFallback(size_t i, int count)
    {
        while (count > 0 && i < static_cast<size_t>(in_.size())) {
            const char c = at(i);
            if (c == '{' || c == '}')
                break;
            if (c == '\\') {
                if (at(i + 1) == '\'')
                    i += 4;
                else
                    break;
            } else {
                ++i;
            }
            --count;
        }
        return i;
    }

    static double twipsToPixels(int twips) { return twips / 15.0; }

    void text(unsigned char c)
    {
        if (state().colorTable) {
            if (c == ';') {
                colors_.push_back(colorSet_ ? pendingColor_ : QColor());
                pendingColor_ = QColor(Qt::black);
                colorSet_ = false;
            }
            return;
        }
        byte(c);
    }

    void byte(unsigned char c) { character(fromCp1252(c)); }

    void character(QChar c)
    {
        if (state().skip)
            return;
        pending_ += c;
        pendingFormat_ = state().chars;
        pendingBlock_ = state().block;
        hasPending_ = true;
    }

    // A hanging first line (bullets, numbers) tabs to the paragraph's
    // indent, as word processors do.
    static QTextBlockFormat withHangingTab(QTextBlockFormat block)
    {
        if (block.textIndent() < 0)
            block.setTabPositions({QTextOption::Tab(-block.textIndent(), QTextOption::LeftTab)});
        return block;
    }

    void flush()
    {
        if (!hasPending_)
            return;
        cursor_.setBlockFormat(withHangingTab(pendingBlock_));
        cursor_.insertText(pending_, pendingFormat_);
        pending_.clear();
        hasPending_ = false;
    }

    void paragraph()
    {
        if (state().skip)
            return;
        flush();
        cursor_.setBlockFormat(withHangingTab(state().block));
        cursor_.insertBlock(withHangingTab(state().block), state().chars);
    }

    QByteArray in_;
    QTextCursor cursor_;
    QTextCharFormat base_;
    std::vector<State> states_;
    std::vector<QColor> colors_;
    QColor pendingColor_;
    bool colorSet_ = false;
    QString pending_;
    QTextCharFormat pendingFormat_;
    QTextBlockFormat pendingBlock_;
    bool hasPending_ = false;
};

} // namespace

void LoadRtf(const QByteArray& rtf, QTextDocument* document)
{
    document->clear();
    if (!rtf.trimmed().startsWith("{\\rtf")) {
        document->setPlainText(QString::fromLatin1(rtf));
        return;
    }
    Reader(rtf, document).run();
}
