#include "rtfreader.h"

#include <QByteArray>
#include <QString>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QVector>

#include <algorithm>
#include <cstring>

namespace {

// Windows-1252 for the bytes 0x80..0x9F; every other byte is its Latin-1 character.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QChar cp1252(unsigned char b)
{
    if (b >= 0x80 && b < 0xA0)
        return QChar(kCp1252High[b - 0x80]);
    return QChar(char16_t(b));
}

// Deeper groups than this share the state of the deepest one; the braces still balance.
constexpr int kMaxDepth = 200;
// Twips are converted at 96 dots per inch; larger values are clamped to 22 inches.
constexpr int kMaxTwips = 31680;

enum class ListKind
{
    None,
    Bullet,
    Numbered
};

struct ParaState
{
    int leftTwips = 0;
    int rightTwips = 0;
    int firstTwips = 0;
    int beforeTwips = 0;
    int afterTwips = 0;
    Qt::Alignment align = Qt::AlignLeft;
    ListKind list = ListKind::None;
};

enum class Dest
{
    Text,      // shown
    Skip,      // a destination that carries no text of the document
    FieldInst, // a field instruction: read for a hyperlink, not shown
};

struct State
{
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int halfPoints = 24;
    int uc = 1;
    Dest dest = Dest::Text;
    bool inPn = false; // inside a "\*\pn" group: list properties, no text
    QString href;      // text of a hyperlink's result
    ParaState para;
};

class Reader
{
public:
    Reader(const QByteArray &in, QTextDocument *doc) : m_in(in), m_doc(doc), m_cursor(doc) {}

    void run()
    {
        m_stack.reserve(64);
        m_stack.append(State());
        const int n = int(m_in.size());
        while (m_pos < n) {
            const char c = m_in.at(m_pos);
            if (c == '{') {
                ++m_pos;
                flush();
                m_pendingSkip = 0;
                m_starPending = false;
                openGroup();
            } else if (c == '}') {
                ++m_pos;
                flush();
                m_pendingSkip = 0;
                m_starPending = false;
                closeGroup();
            } else if (c == '\\') {
                ++m_pos;
                controlSequence();
            } else if (c == '\r' || c == '\n') {
                ++m_pos;
            } else {
                ++m_pos;
                text(cp1252(static_cast<unsigned char>(c)));
            }
        }
        flush();
        finishDocument();
    }

private:
    State &st() { return m_stack.last(); }

    void openGroup()
    {
        if (m_stack.size() < kMaxDepth)
            m_stack.append(m_stack.last());
        else
            ++m_overflow;
    }

    void closeGroup()
    {
        if (m_overflow > 0) {
            --m_overflow;
            return;
        }
        const bool wasFieldInst = st().dest == Dest::FieldInst;
        if (m_stack.size() > 1) {
            const State closed = m_stack.takeLast();
            // A "\*\pn" group describes the paragraph it sits in.
            if (closed.inPn && !st().inPn)
                st().para.list = closed.para.list;
            if (m_stack.size() == 1)
                m_ended = true; // text after the document's last brace is not part of it
        }
        if (wasFieldInst && st().dest != Dest::FieldInst)
            m_fieldHref = hyperlinkTarget(m_fieldInst);
    }

    static QString hyperlinkTarget(const QString &inst)
    {
        const QString t = inst.trimmed();
        if (!t.startsWith(QLatin1String("HYPERLINK"), Qt::CaseInsensitive))
            return QString();
        const int q1 = int(t.indexOf(QLatin1Char('"')));
        if (q1 < 0)
            return t.mid(9).trimmed().section(QLatin1Char(' '), 0, 0);
        const int q2 = int(t.indexOf(QLatin1Char('"'), q1 + 1));
        return q2 < 0 ? t.mid(q1 + 1) : t.mid(q1 + 1, q2 - q1 - 1);
    }

    void controlSequence()
    {
        const int n = int(m_in.size());
        if (m_pos >= n)
            return;
        const char c = m_in.at(m_pos);
        if (isLetter(c)) {
            const int start = m_pos;
            while (m_pos < n && m_pos - start < 32 && isLetter(m_in.at(m_pos)))
                ++m_pos;
            while (m_pos < n && isLetter(m_in.at(m_pos))) // an absurdly long word: drop the rest
                ++m_pos;
            const QByteArray word = m_in.mid(start, std::min(m_pos - start, 32));
            bool hasParam = false;
            long long param = 0;
            bool negative = false;
            if (m_pos < n && m_in.at(m_pos) == '-' && m_pos + 1 < n &&
                isDigit(m_in.at(m_pos + 1))) {
                negative = true;
                ++m_pos;
            }
            int digits = 0;
            while (m_pos < n && isDigit(m_in.at(m_pos))) {
                if (digits < 10)
                    param = param * 10 + (m_in.at(m_pos) - '0');
                ++digits;
                ++m_pos;
            }
            hasParam = digits > 0;
            if (negative)
                param = -param;
            param = std::clamp(param, -2147483647LL, 2147483647LL);
            if (m_pos < n && m_in.at(m_pos) == ' ')
                ++m_pos;
            controlWord(word, hasParam, int(param));
            return;
        }
        ++m_pos;
        switch (c) {
        case '\\':
        case '{':
        case '}':
            text(QChar(char16_t(c)));
            break;
        case '\'': {
            int value = 0;
            int got = 0;
            while (got < 2 && m_pos < n && isHex(m_in.at(m_pos))) {
                value = value * 16 + hexValue(m_in.at(m_pos));
                ++m_pos;
                ++got;
            }
            if (got == 2)
                text(cp1252(static_cast<unsigned char>(value)));
            break;
        }
        case '~':
            text(QChar(0x00A0));
            break;
        case '_':
            text(QChar(0x2011));
            break;
        case '-': // optional hyphen: shown only where a line breaks
            break;
        case '*':
            m_starPending = true;
            return;
        case '\r':
        case '\n':
            paragraphEnd();
            break;
        case '\t':
            text(QLatin1Char('\t'));
            break;
        default:
            break;
        }
        m_starPending = false;
    }

    void controlWord(const QByteArray &w, bool hasParam, int param)
    {
        const bool star = m_starPending;
        m_starPending = false;

        // Words inside a skipped destination change nothing, except \bin's byte count.
        if (st().dest == Dest::Skip) {
            if (w == "bin" && hasParam)
                skipBinary(param);
            return;
        }
        // A control word can stand for the plain-text fallback of a \u character.
        if (m_pendingSkip > 0) {
            --m_pendingSkip;
            return;
        }
        if (st().inPn) {
            if (w == "pnlvlblt")
                st().para.list = ListKind::Bullet;
            else if (w == "pnlvlbody" || w == "pnlvlcont")
                st().para.list = ListKind::Numbered;
            else if (w == "pntxtb" || w == "pntxta")
                st().dest = Dest::Skip;
            return;
        }

        // Destinations.
        if (w == "pn" && star) {
            flush();
            st().inPn = true;
            return;
        }
        if (w == "fldinst") {
            flush();
            st().dest = Dest::FieldInst;
            m_fieldInst.clear();
            return;
        }
        if (w == "fldrslt") {
            flush();
            st().href = m_fieldHref;
            return;
        }
        if (w == "field") {
            flush();
            m_fieldHref.clear();
            return;
        }
        if (star || isSkippedDestination(w)) {
            flush();
            st().dest = Dest::Skip;
            return;
        }
        if (w == "bin") {
            if (hasParam)
                skipBinary(param);
            return;
        }

        // Characters.
        if (w == "par" || w == "sect" || w == "page" || w == "row") {
            paragraphEnd();
            return;
        }
        if (w == "line") {
            text(QChar(QChar::LineSeparator));
            return;
        }
        if (w == "tab" || w == "cell") {
            text(QLatin1Char('\t'));
            return;
        }
        if (w == "u" && hasParam) {
            const int unit = param < 0 ? param + 65536 : param;
            if (unit >= 0 && unit <= 0xFFFF)
                text(QChar(char16_t(unit)), false);
            m_pendingSkip = st().uc;
            return;
        }
        if (w == "uc") {
            st().uc = hasParam ? std::clamp(param, 0, 16) : 1;
            return;
        }
        static const struct
        {
            const char *word;
            char16_t ch;
        } symbols[] = {
            {"bullet", 0x2022},  {"emdash", 0x2014},    {"endash", 0x2013},    {"lquote", 0x2018},
            {"rquote", 0x2019},  {"ldblquote", 0x201C}, {"rdblquote", 0x201D}, {"emspace", 0x2003},
            {"enspace", 0x2002}, {"qmspace", 0x2005},
        };
        for (const auto &s : symbols) {
            if (w == s.word) {
                text(QChar(s.ch));
                return;
            }
        }

        // Character formatting: a change ends the run of text before it.
        const bool on = !hasParam || param != 0;
        if (w == "b") {
            flush();
            st().bold = on;
        } else if (w == "i") {
            flush();
            st().italic = on;
        } else if (w == "ul" || w == "ulw" || w == "uld" || w == "uldb") {
            flush();
            st().underline = on;
        } else if (w == "ulnone") {
            flush();
            st().underline = false;
        } else if (w == "fs") {
            flush();
            st().halfPoints = hasParam && param > 0 ? std::clamp(param, 2, 400) : 24;
        } else if (w == "plain") {
            flush();
            State &s = st();
            s.bold = s.italic = s.underline = false;
            s.halfPoints = 24;
        } else if (w == "pard") {
            flush();
            st().para = ParaState();
        } else if (w == "ql") {
            st().para.align = Qt::AlignLeft;
        } else if (w == "qr") {
            st().para.align = Qt::AlignRight;
        } else if (w == "qc") {
            st().para.align = Qt::AlignHCenter;
        } else if (w == "qj") {
            st().para.align = Qt::AlignJustify;
        } else if (w == "li") {
            st().para.leftTwips = twips(param);
        } else if (w == "ri") {
            st().para.rightTwips = twips(param);
        } else if (w == "fi") {
            st().para.firstTwips = twips(param);
        } else if (w == "sb") {
            st().para.beforeTwips = twips(param);
        } else if (w == "sa") {
            st().para.afterTwips = twips(param);
        } else if (w == "ls") {
            st().para.list = ListKind::Bullet;
        }
        // Every other word is ignored; the text around it stays.
    }

    static bool isSkippedDestination(const QByteArray &w)
    {
        static const char *const words[] = {
            "fonttbl",
            "colortbl",
            "stylesheet",
            "info",
            "pict",
            "object",
            "header",
            "headerl",
            "headerr",
            "headerf",
            "footer",
            "footerl",
            "footerr",
            "footerf",
            "footnote",
            "listtable",
            "listoverridetable",
            "rsidtbl",
            "generator",
            "xmlnstbl",
            "themedata",
            "datastore",
            "latentstyles",
            "colorschememapping",
            "pntext",
            "listtext",
            "bkmkstart",
            "bkmkend",
            "pgdsctbl",
            "filetbl",
            "revtbl",
            "nonshppict",
            "shppict",
            "fldtype",
            "annotation",
            "atnid",
            "atnauthor",
            "comment",
            "template",
            "userprops",
            "xe",
            "tc",
            "txe",
            "mmathPr",
        };
        for (const char *d : words) {
            if (w == d)
                return true;
        }
        return false;
    }

    static int twips(int v) { return std::clamp(v, -kMaxTwips, kMaxTwips); }
    static qreal px(int twipsValue) { return qreal(twipsValue) / 15.0; }

    void skipBinary(int count)
    {
        if (count <= 0)
            return;
        const int n = int(m_in.size());
        m_pos = count >= n - m_pos ? n : m_pos + count;
    }

    void text(QChar ch, bool countsAsSkipped = true)
    {
        if (countsAsSkipped && m_pendingSkip > 0) {
            --m_pendingSkip;
            return;
        }
        if (m_ended)
            return;
        const State &s = st();
        if (s.dest == Dest::Skip || s.inPn)
            return;
        if (s.dest == Dest::FieldInst) {
            if (m_fieldInst.size() < 4096)
                m_fieldInst.append(ch);
            return;
        }
        m_run.append(ch);
    }

    QTextCharFormat charFormat() const
    {
        const State &s = m_stack.last();
        QTextCharFormat f;
        f.setFontWeight(s.bold ? QFont::Bold : QFont::Normal);
        f.setFontItalic(s.italic);
        f.setFontUnderline(s.underline);
        f.setFontPointSize(s.halfPoints / 2.0);
        if (!s.href.isEmpty()) {
            f.setAnchor(true);
            f.setAnchorHref(s.href);
            f.setFontUnderline(true);
        }
        return f;
    }

    void flush()
    {
        if (m_run.isEmpty())
            return;
        m_cursor.insertText(m_run, charFormat());
        m_run.clear();
        m_blockHasContent = true;
    }

    void applyParagraph(const ParaState &p)
    {
        QTextBlockFormat bf;
        bf.setAlignment(p.align);
        bf.setTopMargin(px(p.beforeTwips));
        bf.setBottomMargin(px(p.afterTwips));
        bf.setRightMargin(px(std::max(0, p.rightTwips)));
        if (p.list == ListKind::None) {
            bf.setLeftMargin(px(std::max(0, p.leftTwips)));
            bf.setTextIndent(px(p.firstTwips));
        }
        m_cursor.setBlockFormat(bf);
        if (p.list == ListKind::None) {
            m_list = nullptr;
            return;
        }
        const QTextListFormat::Style style =
            p.list == ListKind::Bullet ? QTextListFormat::ListDisc : QTextListFormat::ListDecimal;
        if (m_list && m_list->format().style() == style) {
            m_list->add(m_cursor.block());
        } else {
            QTextListFormat lf;
            lf.setStyle(style);
            lf.setIndent(1 + std::clamp(p.leftTwips / 720 - 1, 0, 5));
            m_list = m_cursor.createList(lf);
        }
    }

    void paragraphEnd()
    {
        if (m_ended || st().dest != Dest::Text || st().inPn) {
            return;
        }
        flush();
        applyParagraph(st().para);
        m_cursor.insertBlock(QTextBlockFormat(), charFormat());
        m_blockHasContent = false;
        m_pendingParagraph = true;
    }

    void finishDocument()
    {
        if (m_blockHasContent) {
            applyParagraph(st().para);
        } else if (m_pendingParagraph) {
            // The last \par leaves an empty block behind; it is not part of the text.
            m_cursor.deletePreviousChar();
        }
    }

    static bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }
    static bool isHex(char c)
    {
        return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    }
    static int hexValue(char c)
    {
        if (isDigit(c))
            return c - '0';
        return (c | 0x20) - 'a' + 10;
    }

    const QByteArray &m_in;
    QTextDocument *m_doc;
    QTextCursor m_cursor;
    int m_pos = 0;
    QVector<State> m_stack;
    int m_overflow = 0;
    int m_pendingSkip = 0;
    bool m_starPending = false;
    bool m_ended = false;
    bool m_blockHasContent = false;
    bool m_pendingParagraph = false;
    QString m_run;
    QString m_fieldInst;
    QString m_fieldHref;
    QTextList *m_list = nullptr;
};

bool looksLikeRtf(const QByteArray &in)
{
    int i = 0;
    if (in.startsWith("\xEF\xBB\xBF"))
        i = 3;
    while (i < in.size() &&
           (in.at(i) == ' ' || in.at(i) == '\t' || in.at(i) == '\r' || in.at(i) == '\n'))
        ++i;
    return in.mid(i, 5) == "{\\rtf";
}

QString plainText(const QByteArray &in)
{
    QString s = QString::fromUtf8(in);
    if (s.contains(QChar::ReplacementCharacter)) {
        s.clear();
        s.reserve(in.size());
        for (char c : in)
            s.append(cp1252(static_cast<unsigned char>(c)));
    }
    return s;
}

} // namespace

bool readRtf(const QByteArray &rtf, QTextDocument *doc)
{
    doc->clear();
    if (!looksLikeRtf(rtf)) {
        doc->setPlainText(plainText(rtf));
        return false;
    }
    Reader reader(rtf, doc);
    reader.run();
    return true;
}
