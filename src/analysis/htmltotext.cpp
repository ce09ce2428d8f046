#include "htmltotext.h"

#include "bytetext.h"
#include "entities.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

using ByteText::equalsCaseless;
using ByteText::startsWithCaseless;

namespace {

constexpr qint64 kWrapColumn = 75;
constexpr qint64 kRowLimit = 65;
constexpr qint64 kRowTooLong = 66;
constexpr int kEntityLookAhead = 7;

// Character classes of the main loop.
enum : unsigned char
{
    Plain = 0,
    Space,
    Control,
    Unit,
    Less,
    Dash,
    Amp
};

struct ClassTable
{
    unsigned char c[256];
    constexpr ClassTable() : c()
    {
        for (int i = 0; i < 256; ++i)
            c[i] = Plain;
        for (int i = 0; i < 31; ++i)
            c[i] = Control;
        c[31] = Unit;
        c[' '] = Space;
        c['<'] = Less;
        c['-'] = Dash;
        c['&'] = Amp;
    }
};
constexpr ClassTable kClass;

// The bytes of a word (little-endian, eight page bytes) that end a run of plain text:
// controls, space, "<", "-" and "&". Their top bits are set, exactly.
inline quint64 nonPlainBytes(quint64 x)
{
    constexpr quint64 ones = 0x0101010101010101ULL;
    constexpr quint64 low7 = 0x7F7F7F7F7F7F7F7FULL;
    constexpr quint64 high = 0x8080808080808080ULL;
    // A byte below 0x21: its low seven bits plus 0x5F stay below 0x80, and its top bit is 0.
    const quint64 below = ~(((x & low7) + ones * 0x5F) | x) & high;
    auto equal = [&](char c) {
        const quint64 y = x ^ (ones * uchar(c));
        return ~(((y & low7) + low7) | y) & high;
    };
    return below | equal('<') | equal('-') | equal('&');
}

// The output, grown by doubling; one copy at the end.
class Output
{
public:
    explicit Output(qsizetype hint)
    {
        m_buf.resize(hint < 64 ? 64 : hint);
        m_p = m_buf.data();
    }
    void put(char c)
    {
        if (m_len == m_buf.size())
            grow(1);
        m_p[m_len++] = c;
    }
    void put(const char *s, qsizetype n)
    {
        if (m_len + n > m_buf.size())
            grow(n);
        std::memcpy(m_p + m_len, s, size_t(n));
        m_len += n;
    }
    void crlf() { put("\r\n", 2); }
    // Room for k more bytes: write through the pointer, then commit where it ended.
    char *reserve(qsizetype k)
    {
        if (m_len + k > m_buf.size())
            grow(k);
        return m_p + m_len;
    }
    void commit(const char *end) { m_len = end - m_p; }
    QByteArray take()
    {
        m_buf.truncate(m_len);
        return std::move(m_buf);
    }

private:
    void grow(qsizetype need)
    {
        qsizetype cap = m_buf.size() * 2;
        if (cap < m_len + need)
            cap = m_len + need;
        m_buf.resize(cap);
        m_p = m_buf.data();
    }
    QByteArray m_buf;
    char *m_p = nullptr;
    qsizetype m_len = 0;
};

// What the last tag read by a row look-ahead means to the next one.
enum class RowTag : unsigned char
{
    Other,
    EndsShortRow,
    EndsLongRow,
    Cell
};

RowTag classifyRowTag(QByteArrayView tag)
{
    if (equalsCaseless(tag, "/tr") || equalsCaseless(tag, "/table"))
        return RowTag::EndsShortRow;
    if (equalsCaseless(tag, "table") || startsWithCaseless(tag, "table "))
        return RowTag::EndsLongRow;
    if (equalsCaseless(tag, "td") || equalsCaseless(tag, "th") || startsWithCaseless(tag, "td ") ||
        startsWithCaseless(tag, "th "))
        return RowTag::Cell;
    return RowTag::Other;
}

// "NAME" exactly or "NAME " followed by attributes; name in lower case.
bool isNamed(QByteArrayView tag, const char *name)
{
    const qsizetype n = qsizetype(std::strlen(name));
    if (tag.size() < n || !ByteText::matchesCaselessAt(tag.data(), name, n))
        return false;
    return tag.size() == n || tag[n] == ' ';
}

// The first up to `want` characters of tag with its spaces removed, lower-cased.
qsizetype squeezedPrefix(QByteArrayView tag, char *buf, qsizetype want)
{
    qsizetype k = 0;
    for (qsizetype i = 0; i < tag.size() && k < want; ++i) {
        if (tag[i] != ' ')
            buf[k++] = ByteText::lowerAscii(tag[i]);
    }
    return k;
}

bool squeezedEquals(QByteArrayView tag, const char *lowerText)
{
    const qsizetype n = qsizetype(std::strlen(lowerText));
    qsizetype k = 0;
    for (qsizetype i = 0; i < tag.size(); ++i) {
        if (tag[i] == ' ')
            continue;
        if (k >= n || ByteText::lowerAscii(tag[i]) != lowerText[k])
            return false;
        ++k;
    }
    return k == n;
}

bool squeezedStartsWith(QByteArrayView tag, const char *lowerText)
{
    char buf[16];
    const qsizetype n = qsizetype(std::strlen(lowerText));
    const qsizetype k = squeezedPrefix(tag, buf, n);
    return k == n && std::memcmp(buf, lowerText, size_t(n)) == 0;
}

class Converter
{
public:
    Converter(QByteArrayView html, bool withShortcuts)
        : s(html.data()), n(html.size()), out(html.size() + html.size() / 8 + 64),
          shortcuts(withShortcuts)
    {
    }

    QByteArray run();

private:
    // A look-ahead or reader ran off the end of the input: the conversion ends there.
    struct Finish
    {
    };

    void writeText(char c)
    {
        out.put(c);
        ++column;
        textWritten();
    }
    void textWritten() { lastSpace = lineStart = paragraphStart = false; }
    void whitespace()
    {
        if (lastSpace)
            return;
        if (!script && !comment)
            out.put(' ');
        ++column;
        lastSpace = true;
        if (column >= kWrapColumn) {
            out.crlf();
            column = 0;
        }
    }

    qsizetype openingTag(QByteArrayView tag, qsizetype end);
    void closingTag(QByteArrayView tag);
    bool rowLookAhead(qsizetype start);   // true: the row is short; throws Finish
    qsizetype commentEnd(qsizetype from); // the ">" that ends the comment, or -1

    const char *s;
    const qsizetype n;
    Output out;
    const bool shortcuts; // row look-ahead memory, plain text eight bytes at a time

    qint64 column = 0;
    bool inBody = false;
    bool script = false;
    bool comment = false;
    bool textSeen = false;
    bool lastSpace = false;
    bool lineStart = false;
    bool paragraphStart = false;
    bool shortRow = false;
    bool cellSeen = false;
    bool ordered = false;
    qint64 itemNumber = 0;
    RowTag rememberedRowTag = RowTag::Other;

    // Row look-aheads of rows without their closing tags overlap; what a long walk learnt
    // about the rest of the page from some of its tags onwards is kept, so that a later
    // walk that joins it stops within a few tags. Every tag is then walked over a bounded
    // number of times.
    struct RowFate
    {
        enum Kind : unsigned char
        {
            Short,
            Long,
            Ends
        } kind;     // Short: ends at /TR or /TABLE
        bool reset; // a P or BR set the count to 66 on the way
        qint64 add; // characters counted after the state (after the last reset)
    };
    struct Checkpoint
    {
        qint64 key; // position * 2 + (inside a cell)
        RowFate fate;
    };
    // Sorted by key. Walks start at growing positions and move forward, so the lookups go
    // through it in order: rowMemoStart follows the walks' starts, rowMemoAt one walk.
    std::vector<Checkpoint> rowMemo;
    size_t rowMemoStart = 0;
    size_t rowMemoAt = 0;
    struct Step
    {
        qint64 key;
        qint64 count;
        qint64 resets;
    };
    std::vector<Step> rowPath; // the checkpoints of the current walk

    // The comment-end search answered "the last character" from commentFrom; that answer
    // holds for later starts up to commentLastValidUpTo.
    qsizetype commentLastFrom = -1;
    qsizetype commentLastValidUpTo = -1;
};

QByteArray Converter::run()
{
    try {
        qsizetype i = 0;
        while (i < n) {
            const uchar c = uchar(s[i]);
            const unsigned char cls = kClass.c[c];
            if (cls == Less && !comment) {
                // Read the tag text up to ">"; a text of exactly "!--" ends it early.
                qsizetype e;
                bool atGt = false;
                if (i + 3 < n && s[i + 1] == '!' && s[i + 2] == '-' && s[i + 3] == '-') {
                    e = i + 3;
                } else {
                    const char *gt = i + 1 < n ? static_cast<const char *>(
                                                     std::memchr(s + i + 1, '>', size_t(n - i - 1)))
                                               : nullptr;
                    if (!gt)
                        throw Finish();
                    e = gt - s;
                    atGt = true;
                }
                QByteArrayView tag(s + i + 1, (atGt ? e : e + 1) - (i + 1));
                if (atGt && e + 1 < n && uchar(s[e + 1]) < 32)
                    lastSpace = true;
                // Trim spaces.
                qsizetype tb = 0, te = tag.size();
                while (tb < te && tag[tb] == ' ')
                    ++tb;
                while (te > tb && tag[te - 1] == ' ')
                    --te;
                tag = tag.sliced(tb, te - tb);
                // Whitespace look-ahead: it only decides last-space.
                bool finishAfter = false;
                if (n - 1 - e <= 1) {
                    finishAfter = true;
                } else if (uchar(s[e + 1]) <= 32) {
                    qsizetype k = e + 1;
                    while (k < n && uchar(s[k]) <= 32)
                        ++k;
                    if (k >= n)
                        finishAfter = true;
                    else if (s[k] == '<')
                        lastSpace = true;
                    else
                        lastSpace = s[k - 1] != ' ';
                }
                qsizetype next = e + 1;
                if (!tag.isEmpty() && tag[0] == '/')
                    closingTag(tag);
                else
                    next = openingTag(tag, e);
                if (finishAfter)
                    break;
                i = next;
                continue;
            }
            if (!inBody) {
                // Before the body nothing but tags counts.
                const char *lt = static_cast<const char *>(std::memchr(s + i, '<', size_t(n - i)));
                i = lt ? lt - s : n;
                continue;
            }
            switch (cls) {
            case Plain:
            case Space:
                if (!script && !comment) {
                    // Words and spaces, the bulk of a page, in one loop: eight bytes at a
                    // time while they are plain. A byte gives at most three (a space and
                    // the wrap's CR LF); eight more are room for a whole-word copy.
                    const qsizetype stop = n - i > 4096 ? i + 4096 : n;
                    char *o = out.reserve(3 * (stop - i) + 8);
                    const char *const src = s;
                    qint64 col = column;
                    bool space = lastSpace;
                    bool wrote = false;
                    while (i < stop) {
                        if (shortcuts && i + 8 <= stop) {
                            const quint64 special =
                                nonPlainBytes(qFromLittleEndian<quint64>(src + i));
                            const qsizetype plain =
                                special ? qsizetype(qCountTrailingZeroBits(special) >> 3) : 8;
                            if (plain) {
                                std::memcpy(o, src + i, 8);
                                o += plain;
                                i += plain;
                                col += plain;
                                space = false;
                                wrote = true;
                                if (plain == 8)
                                    continue;
                            }
                        }
                        const char c = src[i];
                        const unsigned char k = kClass.c[uchar(c)];
                        if (k == Plain) {
                            *o++ = c;
                            ++col;
                            space = false;
                            wrote = true;
                        } else if (k == Space) {
                            if (!space) {
                                *o++ = ' ';
                                ++col;
                                space = true;
                                if (col >= kWrapColumn) {
                                    *o++ = '\r';
                                    *o++ = '\n';
                                    col = 0;
                                }
                            }
                        } else {
                            break;
                        }
                        ++i;
                    }
                    column = col;
                    out.commit(o);
                    lastSpace = space;
                    if (wrote) {
                        textSeen = true;
                        lineStart = paragraphStart = false;
                    }
                    continue;
                }
                if (cls == Space) {
                    whitespace();
                    break;
                }
                // Inside a script or comment: seen, not written.
                textSeen = true;
                while (i < n && kClass.c[uchar(s[i])] == Plain)
                    ++i;
                continue;
            case Less: // inside a comment
                break;
            case Control:
                textSeen = true;
                whitespace();
                break;
            case Unit:
                textSeen = true;
                break;
            case Dash:
                if (!textSeen)
                    break;
                if (comment) {
                    const qsizetype q = commentEnd(i);
                    if (q < 0)
                        throw Finish();
                    if (q != n - 1) {
                        comment = false;
                        i = q;
                    }
                } else {
                    writeText('-');
                }
                break;
            case Amp: {
                qsizetype semi = -1;
                for (int k = 1; k <= kEntityLookAhead && i + k < n; ++k) {
                    const char d = s[i + k];
                    if (d == ';') {
                        semi = i + k;
                        break;
                    }
                    if (d == '&')
                        break;
                }
                if (semi >= 0) {
                    if (!script && !comment) {
                        char decoded;
                        const int len =
                            decodeEntityInto(&decoded, QByteArrayView(s + i + 1, semi - i - 1));
                        if (len)
                            out.put(decoded);
                        column += len;
                        textWritten();
                    }
                    i = semi;
                } else if (!script && !comment) {
                    writeText('&');
                }
                break;
            }
            }
            ++i;
        }
    } catch (const Finish &) {
    }
    return out.take();
}

qsizetype Converter::openingTag(QByteArrayView tag, qsizetype e)
{
    if (startsWithCaseless(tag, "title")) {
        // Copied as it stands, up to a "<" or the last position, which the main loop reads.
        const qsizetype from = e + 1;
        const qsizetype stop = n - 1;
        qsizetype k = from;
        if (from < stop) {
            const char *lt =
                static_cast<const char *>(std::memchr(s + from, '<', size_t(stop - from)));
            k = lt ? lt - s : stop;
            out.put(s + from, k - from);
        }
        if (!script && !comment) {
            out.crlf();
            out.crlf();
        }
        column = 0;
        paragraphStart = true;
        return k;
    }
    if (startsWithCaseless(tag, "body")) {
        if (!script)
            inBody = true;
    } else if (isNamed(tag, "p")) {
        if (!script && textSeen && !paragraphStart && !comment) {
            out.crlf();
            out.crlf();
            column = 0;
            paragraphStart = true;
        }
    } else if (isNamed(tag, "tr")) {
        if (!script) {
            shortRow = rowLookAhead(e + 1);
            out.crlf();
            column = 0;
            lineStart = true;
            cellSeen = false;
        }
    } else if (isNamed(tag, "td") || isNamed(tag, "th")) {
        if (shortRow) {
            if (cellSeen)
                out.put("   ", 3);
            cellSeen = true;
        } else {
            out.crlf();
            lineStart = true;
        }
    } else if (equalsCaseless(tag, "br") || startsWithCaseless(tag, "table")) {
        if (textSeen && !lineStart) {
            out.crlf();
            column = 0;
            lineStart = true;
        }
    } else if (isNamed(tag, "option")) {
        out.put("\r\n\t", 3);
        column = 0;
    } else if (isNamed(tag, "script")) {
        script = true;
    } else if (startsWithCaseless(tag, "!--")) {
        if (inBody)
            comment = true;
    } else if (isNamed(tag, "ol")) {
        ordered = true;
        out.crlf();
        out.crlf();
        column = 0;
    } else if (isNamed(tag, "ul")) {
        out.crlf();
        out.crlf();
        column = 0;
    } else if (isNamed(tag, "li")) {
        out.crlf();
        column = 0;
        if (ordered) {
            ++itemNumber;
            const QByteArray number = QByteArray::number(itemNumber);
            out.put(number.constData(), number.size());
            out.put(". ", 2);
        } else {
            out.put("\x95 ", 2);
        }
        column += 2;
    }
    return e + 1;
}

void Converter::closingTag(QByteArrayView tag)
{
    if (squeezedStartsWith(tag, "/script"))
        script = false;
    if (!textSeen)
        return;
    char head[3];
    if (squeezedPrefix(tag, head, 3) != 3)
        return;
    const bool ol = std::memcmp(head, "/ol", 3) == 0;
    const bool ul = std::memcmp(head, "/ul", 3) == 0;
    if (!ol && !ul)
        return;
    if (ol)
        ordered = false;
    if (!paragraphStart) {
        out.crlf();
        out.crlf();
        column = 0;
        paragraphStart = true;
    }
    if (ol)
        itemNumber = 0;
}

bool Converter::rowLookAhead(qsizetype start)
{
    // States where the walk's future does not depend on how it got there: at a "<" outside
    // a cell (the tag read replaces the remembered one) and at a "<" inside a cell.
    rowPath.clear();
    if (!rowMemo.empty() && qint64(start) * 2 > rowMemo.back().key) {
        rowMemo.clear();
        rowMemoStart = 0;
    }
    while (rowMemoStart < rowMemo.size() && rowMemo[rowMemoStart].key < qint64(start) * 2)
        ++rowMemoStart;
    rowMemoAt = rowMemoStart;
    qint64 count = 0;
    qint64 resets = 0;
    RowFate::Kind outcome = RowFate::Ends;

    auto visit = [&](qsizetype pos, bool inCell) -> bool {
        const qint64 key = qint64(pos) * 2 + (inCell ? 1 : 0);
        // About one state in sixteen, picked by its position, is a checkpoint: the only
        // states recorded and looked up.
        if (!shortcuts || (quint64(key) * 0x9E3779B97F4A7C15ULL) >> 60 != 0)
            return false;
        while (rowMemoAt < rowMemo.size() && rowMemo[rowMemoAt].key < key)
            ++rowMemoAt;
        if (rowMemoAt < rowMemo.size() && rowMemo[rowMemoAt].key == key) {
            const RowFate f = rowMemo[rowMemoAt].fate;
            outcome = f.kind;
            if (f.reset) {
                count = kRowTooLong + f.add;
                ++resets;
            } else {
                count += f.add;
            }
            return true;
        }
        rowPath.push_back({key, count, resets});
        return false;
    };

    qsizetype pos = start;
    RowTag tagNow = rememberedRowTag;
    bool done = false;
    while (!done) {
        if (pos >= n) {
            outcome = RowFate::Ends;
            break;
        }
        if (s[pos] == '<') {
            if (visit(pos, false))
                break;
            const char *gt =
                static_cast<const char *>(std::memchr(s + pos + 1, '>', size_t(n - pos - 1)));
            if (!gt) {
                outcome = RowFate::Ends;
                break;
            }
            const qsizetype q = gt - s;
            tagNow = classifyRowTag(QByteArrayView(s + pos + 1, q - pos - 1));
            pos = q;
        }
        switch (tagNow) {
        case RowTag::EndsShortRow:
            outcome = RowFate::Short;
            done = true;
            continue;
        case RowTag::EndsLongRow:
            outcome = RowFate::Long;
            done = true;
            continue;
        case RowTag::Cell: {
            // Count the cell's characters up to "/TD", or a P or BR that makes the row long.
            qsizetype k = pos + 1;
            bool cellDone = false;
            while (!cellDone) {
                if (k >= n) {
                    outcome = RowFate::Ends;
                    done = true;
                    break;
                }
                const char *lt = static_cast<const char *>(std::memchr(s + k, '<', size_t(n - k)));
                if (!lt) {
                    outcome = RowFate::Ends;
                    done = true;
                    break;
                }
                count += (lt - s) - k;
                k = lt - s;
                if (visit(k, true)) {
                    done = true;
                    break;
                }
                const char *gt =
                    static_cast<const char *>(std::memchr(s + k + 1, '>', size_t(n - k - 1)));
                if (!gt) {
                    outcome = RowFate::Ends;
                    done = true;
                    break;
                }
                const qsizetype q = gt - s;
                const QByteArrayView cellTag(s + k + 1, q - k - 1);
                if (squeezedEquals(cellTag, "/td")) {
                    tagNow = RowTag::Other;
                    pos = q;
                    cellDone = true;
                } else if (isNamed(cellTag, "p") || isNamed(cellTag, "br")) {
                    count = kRowTooLong;
                    ++resets;
                    pos = q;
                    cellDone = true;
                } else {
                    k = q + 1;
                }
            }
            if (done)
                continue;
            break;
        }
        case RowTag::Other:
            break;
        }
        if (pos >= n - 1) {
            outcome = RowFate::Ends;
            break;
        }
        ++pos;
    }

    // Remember what the walk learnt, when it was long enough to matter.
    if (rowPath.size() > 2 && outcome != RowFate::Ends) {
        std::vector<Checkpoint> learnt;
        learnt.reserve(rowPath.size());
        for (const Step &st : rowPath) {
            RowFate f;
            f.kind = outcome;
            f.reset = resets > st.resets;
            f.add = f.reset ? count - kRowTooLong : count - st.count;
            learnt.push_back({st.key, f});
        }
        if (rowMemo.empty() || learnt.front().key > rowMemo.back().key) {
            rowMemo.insert(rowMemo.end(), learnt.begin(), learnt.end());
        } else {
            // A walk beside the known ones: rare, as walks join at their first shared tag.
            std::vector<Checkpoint> merged;
            merged.reserve(rowMemo.size() + learnt.size());
            std::merge(rowMemo.begin(), rowMemo.end(), learnt.begin(), learnt.end(),
                       std::back_inserter(merged),
                       [](const Checkpoint &a, const Checkpoint &b) { return a.key < b.key; });
            rowMemo.swap(merged);
        }
        rowMemoStart =
            size_t(std::lower_bound(rowMemo.begin(), rowMemo.end(), qint64(start) * 2,
                                    [](const Checkpoint &c, qint64 k) { return c.key < k; }) -
                   rowMemo.begin());
    }

    switch (outcome) {
    case RowFate::Short:
        rememberedRowTag = RowTag::EndsShortRow;
        return count < kRowLimit;
    case RowFate::Long:
        rememberedRowTag = RowTag::EndsLongRow;
        return false;
    case RowFate::Ends:
        break;
    }
    throw Finish();
}

qsizetype Converter::commentEnd(qsizetype from)
{
    if (commentLastFrom >= 0 && from > commentLastFrom) {
        // No ">" before the last character qualifies for a later start either.
        return from <= commentLastValidUpTo ? n - 1 : -1;
    }
    qsizetype prev1 = -1, prev2 = -1; // the last two non-space characters seen
    for (qsizetype q = from; q < n; ++q) {
        const char c = s[q];
        if (c == '>' && prev1 >= 0 && prev2 >= 0 && s[prev1] == '-' && s[prev2] == '-') {
            if (q == n - 1) {
                commentLastFrom = from;
                commentLastValidUpTo = prev2;
            }
            return q;
        }
        if (c != ' ') {
            prev2 = prev1;
            prev1 = q;
        }
    }
    return -1;
}

} // namespace

QByteArray HtmlToText(QByteArrayView html)
{
    return Converter(html, true).run();
}

QByteArray HtmlToTextReference(QByteArrayView html)
{
    return Converter(html, false).run();
}

QByteArray RemoveSpaces(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != ' ')
            out.append(c);
    }
    return out;
}
