#include "pagetext.h"

#include "bytetext.h"
#include "cp1252.h"
#include "entities.h"

#include <QHash>
#include <QVarLengthArray>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_set>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

using ByteText::equalsCaseless;
using ByteText::lowerAscii;

namespace {

// Whether `name` is `literal`, its length known when compiling: comparing with a view of a
// literal measures the literal on every call, and the reader compares names at every tag.
template <std::size_t N> bool is(QByteArrayView name, const char (&literal)[N])
{
    return name.size() == qsizetype(N - 1) && std::memcmp(name.data(), literal, N - 1) == 0;
}

// The same for a name given as a C string.
bool isNamed(QByteArrayView name, const char *c)
{
    qsizetype k = 0;
    for (; k < name.size(); ++k) {
        if (c[k] == 0 || c[k] != name[k])
            return false;
    }
    return c[k] == 0;
}

bool isSpace(uchar c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool isAsciiLetter(uchar c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isAlnum(uchar c)
{
    return isAsciiLetter(c) || (c >= '0' && c <= '9');
}

void appendUtf8(QByteArray &out, uint cp)
{
    if (cp < 0x80) {
        out.append(char(cp));
    } else if (cp < 0x800) {
        out.append(char(0xC0 | (cp >> 6)));
        out.append(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.append(char(0xE0 | (cp >> 12)));
        out.append(char(0x80 | ((cp >> 6) & 0x3F)));
        out.append(char(0x80 | (cp & 0x3F)));
    } else {
        out.append(char(0xF0 | (cp >> 18)));
        out.append(char(0x80 | ((cp >> 12) & 0x3F)));
        out.append(char(0x80 | ((cp >> 6) & 0x3F)));
        out.append(char(0x80 | (cp & 0x3F)));
    }
}

// Writes a code point as UTF-8 at w; returns the position after it.
char *putUtf8(char *w, uint cp)
{
    if (cp < 0x80) {
        *w++ = char(cp);
    } else if (cp < 0x800) {
        *w++ = char(0xC0 | (cp >> 6));
        *w++ = char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *w++ = char(0xE0 | (cp >> 12));
        *w++ = char(0x80 | ((cp >> 6) & 0x3F));
        *w++ = char(0x80 | (cp & 0x3F));
    } else {
        *w++ = char(0xF0 | (cp >> 18));
        *w++ = char(0x80 | ((cp >> 12) & 0x3F));
        *w++ = char(0x80 | ((cp >> 6) & 0x3F));
        *w++ = char(0x80 | (cp & 0x3F));
    }
    return w;
}

// What a code point becomes in the text the finder reads: 0 to drop it, ' ' for a space,
// an ASCII sign for the forms digits and numbers come in, or the code point itself.
uint mapped(uint cp)
{
    if (cp < 0x20 || cp == 0x7F)
        return ' ';
    if (cp < 0x80)
        return cp;
    if (cp == 0xA0 || (cp >= 0x2000 && cp <= 0x200A) || cp == 0x202F || cp == 0x205F ||
        cp == 0x3000 || (cp >= 0x80 && cp < 0xA0))
        return ' ';
    if (cp == 0xAD || (cp >= 0x200B && cp <= 0x200F) || cp == 0x2060 || cp == 0xFEFF ||
        cp == 0xFFFD)
        return 0;
    if ((cp >= 0x2010 && cp <= 0x2015) || cp == 0x2212 || cp == 0xFE58 || cp == 0xFE63)
        return '-';
    // Full-width forms of ASCII (digits, letters, signs), as East Asian pages write them.
    if (cp >= 0xFF01 && cp <= 0xFF5E)
        return cp - 0xFEE0;
    return cp;
}

// The code point at s[i]: a valid UTF-8 sequence, or else one Windows-1252 byte.
uint decodeAt(const uchar *s, qsizetype n, qsizetype i, int *len)
{
    const uchar c = s[i];
    int need = 0;
    uint cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        need = 1;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        need = 2;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        need = 3;
        cp = c & 0x07;
    }
    if (need && i + need < n) {
        bool ok = true;
        for (int k = 1; k <= need && ok; ++k) {
            const uchar d = s[i + k];
            ok = d >= 0x80 && d < 0xC0;
            cp = (cp << 6) | (d & 0x3F);
        }
        const uint min = need == 1 ? 0x80 : need == 2 ? 0x800 : 0x10000;
        if (ok && cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF)) {
            *len = need + 1;
            return cp;
        }
    }
    *len = 1;
    return Cp1252::codePointOfByte(c);
}

struct NamedEntity
{
    QByteArrayView name;
    uint cp;
};

// Names beyond the Latin-1 letters that page text uses around numbers and labels.
const NamedEntity kMoreEntities[] = {
    {"ndash", 0x2013}, {"mdash", 0x2014},  {"minus", 0x2212}, {"hyphen", 0x2010},
    {"nbsp", 0xA0},    {"ensp", 0x2002},   {"emsp", 0x2003},  {"thinsp", 0x2009},
    {"numsp", 0x2007}, {"hellip", 0x2026}, {"apos", 0x27},    {"quot", 0x22},
    {"bull", 0x2022},  {"rsquo", 0x2019},  {"lsquo", 0x2018}, {"ldquo", 0x201C},
    {"rdquo", 0x201D}, {"zwnj", 0x200C},   {"zwj", 0x200D},   {"lrm", 0x200E},
    {"rlm", 0x200F},   {"shy", 0xAD},      {"euro", 0x20AC},  {"colon", ':'},
    {"lpar", '('},     {"rpar", ')'},      {"plus", '+'},     {"sol", '/'},
    {"period", '.'},   {"comma", ','},     {"tab", '\t'},     {"newline", '\n'},
};

// The code point of an entity name (without "&" and ";"), or -1 for an unknown name.
long entityCodePoint(QByteArrayView name)
{
    if (name.isEmpty())
        return -1;
    if (name[0] == '#') {
        uint v = 0;
        bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
        qsizetype k = hex ? 2 : 1;
        if (k >= name.size())
            return -1;
        for (; k < name.size(); ++k) {
            const char c = name[k];
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (hex && lowerAscii(c) >= 'a' && lowerAscii(c) <= 'f')
                d = lowerAscii(c) - 'a' + 10;
            else
                return -1;
            v = v * (hex ? 16 : 10) + uint(d);
            if (v > 0x10FFFF)
                return 0xFFFD;
        }
        if (v >= 0x80 && v <= 0x9F)
            return Cp1252::codePointOfByte(uchar(v));
        return (v == 0 || (v >= 0xD800 && v <= 0xDFFF)) ? 0xFFFD : long(v);
    }
    for (const NamedEntity &e : kMoreEntities) {
        if (e.name.size() == name.size() && equalsCaseless(name, e.name))
            return e.cp;
    }
    char b;
    if (decodeEntityInto(&b, name) == 1)
        return Cp1252::codePointOfByte(uchar(b));
    return -1;
}

// Element properties, by name.
enum ElementFlag : unsigned
{
    Block = 1,     // starts and ends a line
    Void = 2,      // has no end tag
    RawText = 4,   // its content is not markup (script, style, ...)
    Separates = 8, // a form control or image: a space between the texts around it
    KindCell = 16,
    KindHeader = 32,
    KindTerm = 64,
    KindDefinition = 128,
    KindHeading = 256,
    KindLabel = 512,
    KindListItem = 1024,
    TableTag = 2048,
    RowTag = 4096,
    Hidden = 8192, // its text is not shown (title, textarea, template code)
};

struct ElementInfo
{
    const char *name;
    unsigned flags;
};

const ElementInfo kElements[] = {
    {"address", Block},
    {"area", Void},
    {"article", Block},
    {"aside", Block},
    {"base", Void},
    {"blockquote", Block},
    {"body", Block},
    {"br", Block | Void},
    {"button", Separates},
    {"caption", Block},
    {"center", Block},
    {"col", Void},
    {"dd", Block | KindDefinition},
    {"details", Block},
    {"dialog", Block},
    {"div", Block},
    {"dl", Block},
    {"dt", Block | KindTerm},
    {"embed", Void},
    {"fieldset", Block},
    {"figcaption", Block},
    {"figure", Block},
    {"footer", Block},
    {"form", Block},
    {"h1", Block | KindHeading},
    {"h2", Block | KindHeading},
    {"h3", Block | KindHeading},
    {"h4", Block | KindHeading},
    {"h5", Block | KindHeading},
    {"h6", Block | KindHeading},
    {"header", Block},
    {"hgroup", Block},
    {"hr", Block | Void},
    {"html", Block},
    {"iframe", RawText | Hidden},
    {"img", Void | Separates},
    {"input", Void | Separates},
    {"keygen", Void},
    {"label", Block | KindLabel},
    {"legend", Block},
    {"li", Block | KindListItem},
    {"link", Void},
    {"main", Block},
    {"menu", Block},
    {"meta", Void},
    {"nav", Block},
    {"noembed", RawText | Hidden},
    {"noframes", RawText | Hidden},
    {"ol", Block},
    {"option", Block},
    {"p", Block},
    {"param", Void},
    {"plaintext", RawText},
    {"pre", Block},
    {"script", RawText | Hidden},
    {"section", Block},
    {"select", Separates},
    {"source", Void},
    {"style", RawText | Hidden},
    {"summary", Block},
    {"table", Block | TableTag},
    {"tbody", Block},
    {"td", Block | KindCell},
    {"textarea", RawText | Hidden},
    {"tfoot", Block},
    {"th", Block | KindHeader},
    {"thead", Block},
    {"title", RawText | Hidden},
    {"tr", Block | RowTag},
    {"track", Void},
    {"ul", Block},
    {"wbr", Void},
    {"xmp", RawText},
};

unsigned flagsOf(QByteArrayView lowerName)
{
    // The elements by length and first letter: a name is compared with one or two at most.
    struct Buckets
    {
        std::vector<const ElementInfo *> of[12][26];
        Buckets()
        {
            for (const ElementInfo &e : kElements)
                of[std::strlen(e.name)][e.name[0] - 'a'].push_back(&e);
        }
    };
    static const Buckets buckets;
    const qsizetype n = lowerName.size();
    const int first = n > 0 ? lowerName[0] - 'a' : -1;
    if (n > 11 || first < 0 || first >= 26)
        return 0;
    for (const ElementInfo *e : buckets.of[n][first]) {
        if (std::memcmp(e->name, lowerName.data(), size_t(n)) == 0)
            return e->flags;
    }
    return 0;
}

LineKind kindOf(unsigned flags)
{
    if (flags & KindCell)
        return LineKind::Cell;
    if (flags & KindHeader)
        return LineKind::HeaderCell;
    if (flags & KindTerm)
        return LineKind::Term;
    if (flags & KindDefinition)
        return LineKind::Definition;
    if (flags & KindHeading)
        return LineKind::Heading;
    if (flags & KindLabel)
        return LineKind::FormLabel;
    if (flags & KindListItem)
        return LineKind::ListItem;
    return LineKind::Plain;
}

// The attributes the finder looks at, as written in the tag (entities not decoded).
struct Attributes
{
    QByteArrayView cls, id, itemprop, property, href, alt, title, ariaLabel, content, name, lang,
        type, rel, httpEquiv, itemscope, itemtype, typeOf, src;
};

// The hCard classes that name a part of a card (microformats 1 and 2).
const char *const kCardProps[] = {
    "fn",
    "org",
    "organization-name",
    "organization-unit",
    "street-address",
    "locality",
    "region",
    "postal-code",
    "country-name",
    "tel",
    "email",
    "p-name",
    "p-org",
    "p-street-address",
    "p-locality",
    "p-region",
    "p-postal-code",
    "p-country-name",
    "p-tel",
    "u-email",
    "type",
    "value",
};

// The local name of a vocabulary term: after the last "/", "#" or ":".
QByteArrayView localName(QByteArrayView term)
{
    qsizetype cut = -1;
    for (qsizetype k = 0; k < term.size(); ++k) {
        if (term[k] == '/' || term[k] == '#' || term[k] == ':')
            cut = k;
    }
    return term.sliced(cut + 1);
}

template <typename F> void forEachToken(QByteArrayView value, F &&f)
{
    qsizetype i = 0;
    const qsizetype n = value.size();
    while (i < n) {
        while (i < n &&
               (value[i] == ' ' || value[i] == '\t' || value[i] == '\n' || value[i] == '\r'))
            ++i;
        qsizetype j = i;
        while (j < n &&
               !(value[j] == ' ' || value[j] == '\t' || value[j] == '\n' || value[j] == '\r'))
            ++j;
        if (j > i)
            f(value.sliced(i, j - i));
        i = j;
    }
}

// Each space-separated token of `value` split further at "-", "_", ":" and "#".
template <typename F> void forEachPart(QByteArrayView value, F &&f)
{
    qsizetype i = 0;
    const qsizetype n = value.size();
    while (i < n) {
        while (i < n && !isAlnum(uchar(value[i])))
            ++i;
        qsizetype j = i;
        while (j < n && isAlnum(uchar(value[j])))
            ++j;
        if (j > i)
            f(value.sliced(i, j - i));
        i = j;
    }
}

bool hasFaxPart(QByteArrayView value)
{
    bool found = false;
    forEachPart(value, [&](QByteArrayView part) {
        found = found || equalsCaseless(part, "fax") || equalsCaseless(part, "telefax") ||
                equalsCaseless(part, "faxnumber");
    });
    return found;
}

// The token of a class or id list that names fax, for the evidence.
QByteArray faxToken(QByteArrayView value)
{
    qsizetype i = 0;
    const qsizetype n = value.size();
    while (i < n) {
        while (i < n && isSpace(uchar(value[i])))
            ++i;
        qsizetype j = i;
        while (j < n && !isSpace(uchar(value[j])))
            ++j;
        if (j > i && hasFaxPart(value.sliced(i, j - i)))
            return value.sliced(i, j - i).toByteArray();
        i = j;
    }
    return QByteArray();
}

bool containsCaselessWord(QByteArrayView value, QByteArrayView word)
{
    return ByteText::containsCaseless(value, word);
}

// The local name of an itemprop or property value: after the last ":" or "/" (schema:
// faxNumber, http://schema.org/faxNumber, og:fax_number).
bool namesFax(QByteArrayView value)
{
    bool found = false;
    qsizetype i = 0;
    const qsizetype n = value.size();
    while (i < n) {
        while (i < n && isSpace(uchar(value[i])))
            ++i;
        qsizetype j = i;
        while (j < n && !isSpace(uchar(value[j])))
            ++j;
        QByteArrayView token = value.sliced(i, j - i);
        const qsizetype colon = std::max(token.lastIndexOf(':'), token.lastIndexOf('/'));
        if (colon >= 0)
            token = token.sliced(colon + 1);
        found = found || equalsCaseless(token, "faxnumber") || equalsCaseless(token, "fax") ||
                equalsCaseless(token, "fax_number");
        i = j;
    }
    return found;
}

bool namesTelephone(QByteArrayView value)
{
    return containsCaselessWord(value, "telephone");
}

QByteArray hostOf(QByteArrayView url)
{
    qsizetype i = 0;
    if (ByteText::startsWithCaseless(url, "http://"))
        i = 7;
    else if (ByteText::startsWithCaseless(url, "https://"))
        i = 8;
    else if (url.startsWith("//"))
        i = 2;
    else
        return QByteArray();
    qsizetype j = i;
    while (j < url.size() && url[j] != '/' && url[j] != ':' && url[j] != '?' && url[j] != '#' &&
           !isSpace(uchar(url[j])))
        ++j;
    return url.sliced(i, j - i).toByteArray().toLower();
}

// The last label of a host name when it is two letters (a country's).
QByteArray topLevelOf(QByteArrayView host)
{
    while (host.endsWith('.'))
        host.chop(1);
    const qsizetype dot = host.lastIndexOf('.');
    if (dot < 0)
        return QByteArray();
    const QByteArrayView last = host.sliced(dot + 1);
    if (last.size() != 2 || !isAsciiLetter(uchar(last[0])) || !isAsciiLetter(uchar(last[1])))
        return QByteArray();
    return last.toByteArray().toLower();
}

class Reader
{
public:
    explicit Reader(QByteArrayView html)
        : m_s(reinterpret_cast<const uchar *>(html.data())), m_n(html.size()), m_html(html)
    {
        // Text outside <body> counts only for a page that has none (a fragment, a template).
        m_reading = ByteText::indexOfCaseless(html, "<body") < 0;
        reserve(qMin<qsizetype>(html.size() / 3 + 64, 1 << 22));
    }

    PageText run()
    {
        qsizetype i = 0;
        while (i < m_n) {
            const void *lt = std::memchr(m_s + i, '<', size_t(m_n - i));
            const qsizetype at = lt ? static_cast<const uchar *>(lt) - m_s : m_n;
            if (at > i && m_reading)
                text(i, at);
            if (at >= m_n)
                break;
            i = markup(at);
        }
        breakLine();
        popTo(0);
        if (!m_droppedMarks.isEmpty()) {
            std::sort(m_droppedMarks.begin(), m_droppedMarks.end());
            QList<LabelMark> kept;
            qsizetype d = 0;
            for (qsizetype k = 0; k < m_out.marks.size(); ++k) {
                if (d < m_droppedMarks.size() && m_droppedMarks[d] == k)
                    ++d;
                else
                    kept.append(std::move(m_out.marks[k]));
            }
            m_out.marks = std::move(kept);
        }
        for (DataScope &sc : m_out.scopes) {
            if (sc.end < 0)
                sc.end = m_length;
        }
        for (DataProp &p : m_out.props) {
            if (p.end < 0)
                p.end = m_length;
        }
        for (auto &range : m_out.addresses) {
            if (range.second < 0)
                range.second = m_length;
        }
        m_out.text.truncate(m_length);
        return std::move(m_out);
    }

private:
    struct Open
    {
        char name[12];
        uchar nameLength;
        LineKind kind;       // of the lines inside (the innermost kind that is not Plain)
        bool footer;         // inside a footer
        bool table;          // opened a table context
        unsigned char level; // of the heading it is or stands in
        int scope;           // the DataScope it opened, -1 for none
        int firstProp;       // the DataProps it holds the values of: [firstProp, firstProp + props)
        int props;
        int address; // the <address> it is, -1 for none
        bool block;  // a block element (else it is kept for its markup alone)
        bool cell;   // td or th: a row is read as one line
    };

    // An icon label waiting for text in its element: a mark whose element closes before any
    // text follows it stands beside nothing and is dropped.
    struct PendingMark
    {
        qsizetype mark;    // into m_out.marks
        qsizetype depth;   // the size of m_stack with its block element innermost
        qsizetype written; // m_written when it was met
    };

    // What an element's attributes say of who the page speaks for: scopes and properties
    // of structured data and hCards. Filled in by ownerMarkup, kept by push.
    struct OwnerMarkup
    {
        int scope = -1;
        int firstProp = -1;
        int props = 0;
        bool any() const { return scope >= 0 || props > 0; }
    };

    // One tag or other markup starting at `at` (a "<"); returns where reading goes on.
    qsizetype markup(qsizetype at)
    {
        const qsizetype n = m_n;
        if (at + 1 >= n) {
            if (m_reading)
                text(at, n);
            return n;
        }
        const uchar c = m_s[at + 1];
        if (c == '!') {
            if (at + 3 < n && m_s[at + 2] == '-' && m_s[at + 3] == '-')
                return skipPast(at + 4, CommentEnd);
            if (at + 8 < n && std::memcmp(m_s + at + 2, "[CDATA[", 7) == 0)
                return skipPast(at + 9, CdataEnd);
            return skipPast(at + 2, TagEnd);
        }
        if (c == '?') {
            const qsizetype end = find(at + 2, ProcessingEnd);
            return end < 0 ? skipPast(at + 2, TagEnd) : end + 2;
        }
        if (c == '%')
            return skipPast(at + 2, TemplateEnd);
        if (c == '/') {
            if (at + 2 < n && isAsciiLetter(m_s[at + 2]))
                return endTag(at + 2);
            return skipPast(at + 2, TagEnd);
        }
        if (isAsciiLetter(c))
            return startTag(at + 1);
        if (m_reading)
            text(at, at + 1);
        return at + 1;
    }

    // The first `needle` at or after `from`, -1 when none. Reading moves forward, so what
    // one search found (or that there is none) answers the later ones up to there: a page
    // of a thousand unclosed "<?" is searched once, not a thousand times.
    enum Needle
    {
        CommentEnd,
        CdataEnd,
        TagEnd,
        ProcessingEnd,
        TemplateEnd,
        NeedleCount
    };
    static constexpr const char *kNeedles[NeedleCount] = {"-->", "]]>", ">", "?>", "%>"};

    qsizetype find(qsizetype from, Needle which)
    {
        const char *needle = kNeedles[which];
        if (from >= m_n)
            return -1;
        Found &known = m_needleFound[which];
        if (known.searchedFrom >= 0 && known.searchedFrom <= from &&
            (known.at < 0 || known.at >= from))
            return known.at;
        const void *p = memmem(m_s + from, size_t(m_n - from), needle, std::strlen(needle));
        known.searchedFrom = from;
        known.at = p ? static_cast<const uchar *>(p) - m_s : -1;
        return known.at;
    }

    qsizetype skipPast(qsizetype from, Needle which)
    {
        const qsizetype at = find(from, which);
        return at < 0 ? m_n : at + qsizetype(std::strlen(kNeedles[which]));
    }

    // Reads a tag name from `at`; returns its end.
    qsizetype tagName(qsizetype at, char *lower, int *length) const
    {
        qsizetype j = at;
        int k = 0;
        while (j < m_n && (isAlnum(m_s[j]) || m_s[j] == '-' || m_s[j] == ':')) {
            if (k < 11)
                lower[k] = lowerAscii(char(m_s[j]));
            ++k;
            ++j;
        }
        *length = k;
        return j;
    }

    // Reads the attributes up to the tag's ">"; returns the position after it.
    qsizetype attributes(qsizetype j, Attributes *a, bool *selfClosing) const
    {
        const qsizetype n = m_n;
        *selfClosing = false;
        while (j < n) {
            while (j < n && (isSpace(m_s[j]) || m_s[j] == '/')) {
                *selfClosing = m_s[j] == '/';
                ++j;
            }
            if (j >= n)
                return n;
            if (m_s[j] == '>')
                return j + 1;
            *selfClosing = false;
            const qsizetype nameStart = j;
            while (j < n && !isSpace(m_s[j]) && m_s[j] != '=' && m_s[j] != '>' && m_s[j] != '/')
                ++j;
            const QByteArrayView name(reinterpret_cast<const char *>(m_s) + nameStart,
                                      j - nameStart);
            while (j < n && isSpace(m_s[j]))
                ++j;
            QByteArrayView value;
            if (j < n && m_s[j] == '=') {
                ++j;
                while (j < n && isSpace(m_s[j]))
                    ++j;
                if (j < n && (m_s[j] == '"' || m_s[j] == '\'')) {
                    const uchar quote = m_s[j++];
                    const void *close = std::memchr(m_s + j, quote, size_t(n - j));
                    const qsizetype end = close ? static_cast<const uchar *>(close) - m_s : n;
                    value = QByteArrayView(reinterpret_cast<const char *>(m_s) + j, end - j);
                    j = end < n ? end + 1 : n;
                } else {
                    const qsizetype start = j;
                    while (j < n && !isSpace(m_s[j]) && m_s[j] != '>')
                        ++j;
                    value = QByteArrayView(reinterpret_cast<const char *>(m_s) + start, j - start);
                }
            }
            keep(name, value, a);
        }
        return n;
    }

    // Keeps the value of an attribute the finder reads; the first of a name counts, as in
    // a browser, and xml:lang and xlink:href stand in for lang and href.
    static void keep(QByteArrayView name, QByteArrayView value, Attributes *a)
    {
        static const struct
        {
            QByteArrayView name;
            QByteArrayView Attributes::*field;
        } kKept[] = {
            {"id", &Attributes::id},
            {"alt", &Attributes::alt},
            {"rel", &Attributes::rel},
            {"href", &Attributes::href},
            {"name", &Attributes::name},
            {"lang", &Attributes::lang},
            {"type", &Attributes::type},
            {"class", &Attributes::cls},
            {"title", &Attributes::title},
            {"content", &Attributes::content},
            {"itemprop", &Attributes::itemprop},
            {"property", &Attributes::property},
            {"xml:lang", &Attributes::lang},
            {"aria-label", &Attributes::ariaLabel},
            {"http-equiv", &Attributes::httpEquiv},
            {"xlink:href", &Attributes::href},
            {"itemscope", &Attributes::itemscope},
            {"itemtype", &Attributes::itemtype},
            {"typeof", &Attributes::typeOf},
            {"src", &Attributes::src},
        };
        for (const auto &k : kKept) {
            if (k.name.size() == name.size() && equalsCaseless(name, k.name)) {
                if ((a->*k.field).isNull())
                    a->*k.field = value.isNull() ? QByteArrayView("", 0) : value;
                return;
            }
        }
    }

    qsizetype startTag(qsizetype at)
    {
        char lower[12];
        int length = 0;
        qsizetype j = tagName(at, lower, &length);
        const QByteArrayView name(lower, qMin(length, 11));
        Attributes a;
        bool selfClosing = false;
        j = attributes(j, &a, &selfClosing);
        const unsigned flags = length <= 11 ? flagsOf(name) : 0;

        if (is(name, "body"))
            m_reading = true;
        else if (is(name, "html") && !a.lang.isEmpty())
            m_out.lang = a.lang.toByteArray().toLower();

        if (flags & Block)
            breakLine();
        else if ((flags & Separates) && m_lineHasText)
            m_pendingSpace = true;
        const qsizetype marksBefore = m_out.marks.size();
        attributesSay(name, a);

        OwnerMarkup owner;
        if (m_reading && !(flags & RawText))
            owner = ownerMarkup(name, a, (flags & Void) || selfClosing);
        if (flags & RawText) {
            const qsizetype end = rawTextEnd(j, name);
            if (is(name, "title") && m_out.title.isEmpty())
                m_out.title = collapsed(QByteArrayView(reinterpret_cast<const char *>(m_s) + j,
                                                       qMin<qsizetype>(end - j, 1024)));
            if (is(name, "script") && ByteText::containsCaseless(a.type, "ld+json"))
                jsonLd(j, end);
            else if (!(flags & Hidden) && m_reading)
                text(j, end);
            return end < m_n ? skipPast(end, TagEnd) : m_n;
        }
        if (is(name, "tr") || (flags & (KindCell | KindHeader)))
            tableStep(flags);
        const bool footer = is(name, "footer") || containsCaselessWord(a.cls, "footer") ||
                            containsCaselessWord(a.id, "footer");
        bool pushed = false;
        if (!(flags & Void) && !selfClosing &&
            ((flags & Block) || footer || owner.any() || is(name, "address")))
            pushed = push(name, flags, footer, owner);
        if (m_out.marks.size() > marksBefore)
            awaitText(marksBefore, pushed);
        return j;
    }

    // The icon marks from `from` on wait for text in their element: the innermost open block
    // around an icon; around an empty block that names fax, the block that holds it and
    // its text beside it ("<li><div class=icon-fax></div><div>212 ...</div></li>"), unless
    // that is the whole body.
    void awaitText(qsizetype from, bool pushed)
    {
        qsizetype depth = m_stack.size();
        while (depth > 0 && !m_stack[depth - 1].block)
            --depth;
        if (pushed && depth == m_stack.size()) {
            qsizetype outer = depth - 1;
            while (outer > 0 && !m_stack[outer - 1].block)
                --outer;
            if (outer > 0 &&
                !is(QByteArrayView(m_stack[outer - 1].name, m_stack[outer - 1].nameLength), "body"))
                depth = outer;
        }
        if (depth == 0)
            return;
        for (qsizetype k = from; k < m_out.marks.size(); ++k) {
            if (m_out.marks[k].source == LabelMark::Icon)
                m_pendingMarks.append({k, depth, m_written});
        }
    }

    // The <title> text: entities decoded, spaces collapsed.
    static QByteArray collapsed(QByteArrayView raw)
    {
        QByteArray t;
        appendNumberText(t, decoded(raw));
        return t.simplified();
    }

    // The innermost scope open at this point.
    int openScope() const
    {
        for (qsizetype k = m_stack.size() - 1; k >= 0; --k) {
            if (m_stack[k].scope >= 0)
                return m_stack[k].scope;
        }
        return -1;
    }

    // Scopes and properties an element's attributes open. A void element's properties take
    // their value from its content attribute and end where they stand.
    OwnerMarkup ownerMarkup(QByteArrayView name, const Attributes &a, bool isVoid)
    {
        OwnerMarkup o;
        if (a.itemprop.isEmpty() && a.property.isEmpty() && a.itemscope.isNull() &&
            a.typeOf.isEmpty() && !hasCardClass(a.cls))
            return o;
        if (m_out.props.size() >= kMaxOwnerItems || m_out.scopes.size() >= kMaxOwnerItems)
            return o;
        const int outer = openScope();
        QByteArray viaProp;
        auto addProp = [&](QByteArrayView propName) {
            DataProp p;
            p.scope = outer;
            p.name = propName.toByteArray();
            p.begin = m_length;
            if (!a.content.isNull() && !is(name, "a")) {
                p.value = decoded(a.content);
                p.hasContent = true;
            } else if (is(name, "a") && !a.href.isEmpty() &&
                       (ByteText::startsWithCaseless(a.href, "tel:") ||
                        ByteText::startsWithCaseless(a.href, "mailto:"))) {
                p.value = decoded(a.href.sliced(a.href.indexOf(':') + 1));
                p.hasContent = true;
            }
            if (isVoid)
                p.end = m_length;
            if (o.firstProp < 0)
                o.firstProp = int(m_out.props.size());
            m_out.props.append(p);
            ++o.props;
            if (viaProp.isEmpty())
                viaProp = p.name;
        };
        forEachToken(a.itemprop, [&](QByteArrayView t) { addProp(localName(t)); });
        forEachToken(a.property, [&](QByteArrayView t) { addProp(localName(t)); });
        DataScope scope;
        bool opens = false;
        if (!a.itemscope.isNull()) {
            scope.kind = DataScope::Microdata;
            forEachToken(a.itemtype, [&](QByteArrayView t) {
                if (scope.type.isEmpty())
                    scope.type = localName(t).toByteArray();
            });
            opens = true;
        } else if (!a.typeOf.isEmpty()) {
            scope.kind = DataScope::Rdfa;
            forEachToken(a.typeOf, [&](QByteArrayView t) {
                if (scope.type.isEmpty())
                    scope.type = localName(t).toByteArray();
            });
            opens = true;
        }
        forEachToken(a.cls, [&](QByteArrayView t) {
            if (!isCardWord(t))
                return;
            if (equalsCaseless(t, "vcard") || equalsCaseless(t, "h-card")) {
                if (!opens) {
                    scope.kind = DataScope::HCard;
                    scope.type = "vcard";
                    opens = true;
                }
                return;
            }
            if (equalsCaseless(t, "adr") || equalsCaseless(t, "h-adr")) {
                if (!opens) {
                    scope.kind = DataScope::HCard;
                    scope.type = "adr";
                    opens = true;
                }
                return;
            }
            for (const QByteArrayView c : kCardProps) {
                if (equalsCaseless(t, c)) {
                    // p-name, p-tel: the microformats 2 spelling of the same part.
                    const QByteArrayView bare =
                        c.startsWith("p-") || c.startsWith("u-") ? c.sliced(2) : c;
                    addProp(is(bare, "name") ? QByteArrayView("fn") : bare);
                    return;
                }
            }
        });
        if (opens && !isVoid) {
            scope.begin = m_length;
            scope.parent = outer;
            scope.viaProp = viaProp;
            o.scope = int(m_out.scopes.size());
            m_out.scopes.append(scope);
        }
        return o;
    }

    // A class of an hCard ("vcard", "adr", "tel", "p-locality"), looked up at once: pages
    // carry many classes, few of them these.
    static bool isCardWord(QByteArrayView t)
    {
        static const std::unordered_set<std::string_view> cardWords = [] {
            std::unordered_set<std::string_view> words(std::begin(kCardProps),
                                                       std::end(kCardProps));
            for (const char *w : {"vcard", "h-card", "adr", "h-adr"})
                words.insert(w);
            return words;
        }();
        if (t.size() < 2 || t.size() > 17)
            return false;
        char lower[17];
        for (qsizetype k = 0; k < t.size(); ++k)
            lower[k] = ByteText::lowerAscii(t[k]);
        return cardWords.count(std::string_view(lower, size_t(t.size()))) != 0;
    }

    static bool hasCardClass(QByteArrayView cls)
    {
        bool card = false;
        forEachToken(cls, [&card](QByteArrayView t) { card = card || isCardWord(t); });
        return card;
    }

    // Where the raw text of `name` that starts at `from` ends (its end tag, or the page's end).
    qsizetype rawTextEnd(qsizetype from, QByteArrayView name)
    {
        if (is(name, "plaintext"))
            return m_n;
        // As find(): the first end tag at or after a point answers later searches before it.
        Found &known = m_found[name.toByteArray()];
        if (known.searchedFrom >= 0 && known.searchedFrom <= from && known.at >= from)
            return known.at;
        char needle[16] = "</";
        std::memcpy(needle + 2, name.data(), size_t(name.size()));
        ByteText::CaselessFinder f(m_html, QByteArrayView(needle, name.size() + 2));
        qsizetype at = f.next(from);
        while (at >= 0) {
            const qsizetype after = at + name.size() + 2;
            if (after >= m_n || !isAlnum(m_s[after]))
                break;
            at = f.next(at + 1);
        }
        known.searchedFrom = from;
        known.at = at < 0 ? m_n : at;
        return known.at;
    }

    qsizetype endTag(qsizetype at)
    {
        char lower[12];
        int length = 0;
        const qsizetype j = tagName(at, lower, &length);
        const qsizetype end = skipPast(j, TagEnd);
        if (length > 11)
            return end;
        const QByteArrayView name(lower, length);
        const unsigned flags = flagsOf(name);
        if (flags & Block)
            breakLine();
        pop(name);
        return end;
    }

    // Opens the element; false when the page nests too deep to keep it.
    bool push(QByteArrayView name, unsigned flags, bool footer, const OwnerMarkup &owner)
    {
        // Elements that end their open sibling: a new cell the last cell, a new row the last
        // row, an item the last item.
        if (flags & (KindCell | KindHeader))
            closeOpen({"td", "th"}, {"tr", "table"});
        else if (flags & RowTag)
            closeOpen({"tr", "td", "th"}, {"table"});
        else if (flags & KindListItem)
            closeOpen({"li"}, {"ul", "ol", "menu"});
        else if (flags & (KindTerm | KindDefinition))
            closeOpen({"dt", "dd"}, {"dl"});
        else if (is(name, "p"))
            closeOpen({"p"}, {"div", "td", "th", "li", "section", "article", "table", "body"});
        if (m_stack.size() >= kMaxDepth)
            return false;
        Open o;
        std::memcpy(o.name, name.data(), size_t(name.size()));
        o.nameLength = uchar(name.size());
        const LineKind own = kindOf(flags);
        const LineKind outer = m_stack.isEmpty() ? LineKind::Plain : m_stack.last().kind;
        o.kind = own != LineKind::Plain ? own : outer;
        o.footer = footer || (!m_stack.isEmpty() && m_stack.last().footer);
        o.table = flags & TableTag;
        o.level = (flags & KindHeading) ? uchar(name[1] - '0')
                                        : (m_stack.isEmpty() ? 0 : m_stack.last().level);
        o.scope = owner.scope;
        o.firstProp = owner.firstProp;
        o.props = owner.props;
        o.address = -1;
        o.block = flags & Block;
        o.cell = flags & (KindCell | KindHeader);
        if (is(name, "address") && m_reading && m_out.addresses.size() < kMaxOwnerItems) {
            o.address = int(m_out.addresses.size());
            m_out.addresses.append({m_length, -1});
        }
        if (o.table)
            m_tables.append({m_tableCount++, -1, -1});
        m_stack.append(o);
        return true;
    }

    // Pops the innermost open element named in `names` when it stands above every
    // element named in `barriers`.
    void closeOpen(std::initializer_list<const char *> names,
                   std::initializer_list<const char *> barriers)
    {
        for (qsizetype k = m_stack.size() - 1; k >= 0 && k >= m_stack.size() - 8; --k) {
            const QByteArrayView n(m_stack[k].name, m_stack[k].nameLength);
            for (const char *b : barriers) {
                if (isNamed(n, b))
                    return;
            }
            for (const char *want : names) {
                if (isNamed(n, want)) {
                    popTo(k);
                    return;
                }
            }
        }
    }

    void pop(QByteArrayView name)
    {
        for (qsizetype k = m_stack.size() - 1; k >= 0 && k >= m_stack.size() - 32; --k) {
            if (QByteArrayView(m_stack[k].name, m_stack[k].nameLength) == name) {
                popTo(k);
                return;
            }
        }
    }

    void popTo(qsizetype k)
    {
        while (m_stack.size() > k) {
            const Open &o = m_stack.last();
            // The icon marks of this element: beside text in it, or beside nothing.
            while (!m_pendingMarks.isEmpty() && m_pendingMarks.last().depth >= m_stack.size()) {
                const PendingMark &p = m_pendingMarks.last();
                if (p.written == m_written && !o.cell)
                    m_droppedMarks.append(p.mark);
                m_pendingMarks.removeLast();
            }
            if (o.table && !m_tables.isEmpty())
                m_tables.removeLast();
            if (o.scope >= 0)
                m_out.scopes[o.scope].end = m_length;
            for (int p = o.firstProp; p >= 0 && p < o.firstProp + o.props; ++p) {
                if (m_out.props[p].end < 0)
                    m_out.props[p].end = m_length;
            }
            if (o.address >= 0)
                m_out.addresses[o.address].second = m_length;
            m_stack.removeLast();
        }
    }

    void tableStep(unsigned flags)
    {
        if (m_tables.isEmpty())
            return;
        TableContext &t = m_tables.last();
        if (flags & RowTag) {
            ++t.row;
            t.column = -1;
        } else {
            if (t.row < 0)
                t.row = 0;
            ++t.column;
            m_cellStartPending = true;
        }
    }

    // Marks and numbers that the attributes of an element give.
    void attributesSay(QByteArrayView name, const Attributes &a)
    {
        if (!a.lang.isEmpty() && m_out.lang.isEmpty() && is(name, "html"))
            m_out.lang = a.lang.toByteArray().toLower();
        if (is(name, "meta")) {
            metaSays(a);
            return;
        }
        if (is(name, "link") || is(name, "base")) {
            if (is(name, "base") || equalsCaseless(a.rel, "canonical")) {
                const QByteArray host = hostOf(a.href);
                if (!host.isEmpty())
                    m_out.canonicalHost = host;
            }
            return;
        }
        if (!a.href.isEmpty())
            hrefSays(name, a);
        if (!m_reading)
            return;
        const qsizetype at = m_length;
        QByteArray token = faxToken(a.cls);
        if (token.isEmpty())
            token = faxToken(a.id);
        if (!token.isEmpty())
            m_out.marks.append({at, LabelKind::Fax, LabelMark::Icon, token});
        if (!a.itemprop.isEmpty()) {
            if (namesFax(a.itemprop)) {
                if (!a.content.isEmpty())
                    m_out.numbers.append({decoded(a.content), MarkedNumber::Microdata,
                                          "itemprop=" + a.itemprop.toByteArray(), at});
                else
                    m_out.marks.append({at, LabelKind::Fax, LabelMark::Microdata,
                                        "itemprop=" + a.itemprop.toByteArray()});
            } else if (namesTelephone(a.itemprop)) {
                m_out.marks.append({at, LabelKind::Phone, LabelMark::Microdata,
                                    "itemprop=" + a.itemprop.toByteArray()});
            }
        }
        if (!a.property.isEmpty() && namesFax(a.property)) {
            if (!a.content.isEmpty())
                m_out.numbers.append({decoded(a.content), MarkedNumber::Rdfa,
                                      "property=" + a.property.toByteArray(), at});
            else
                m_out.marks.append(
                    {at, LabelKind::Fax, LabelMark::Rdfa, "property=" + a.property.toByteArray()});
        }
        if (is(name, "img") && m_out.logoAlt.isEmpty() && !a.alt.trimmed().isEmpty() &&
            (ByteText::containsCaseless(a.cls, "logo") ||
             ByteText::containsCaseless(a.id, "logo") ||
             ByteText::containsCaseless(a.src, "logo") ||
             ByteText::containsCaseless(a.alt, "logo")))
            m_out.logoAlt = collapsed(a.alt.first(qMin<qsizetype>(a.alt.size(), 200)));
        for (QByteArrayView said : {a.alt, a.title, a.ariaLabel}) {
            if (!said.isEmpty() && said.size() <= 40)
                labelAttribute(said, at);
        }
    }

    void labelAttribute(QByteArrayView value, qsizetype at)
    {
        QByteArray t;
        appendNumberText(t, decoded(value));
        t = t.trimmed();
        const LabelMatch m = matchLabelAt(t, 0);
        if (!m.word || m.word->flags & OneLetter)
            return;
        // The whole text is the label, give or take a colon and a filler word.
        QByteArrayView rest = QByteArrayView(t).sliced(m.length);
        bool onlyFiller = true;
        forEachPart(rest, [&](QByteArrayView part) {
            onlyFiller = onlyFiller && isOneOf(part, kFillerWords, kFillerWordCount);
        });
        if (onlyFiller && m.word->kind != LabelKind::Other)
            m_out.marks.append({at, m.word->kind, LabelMark::Icon, t});
    }

    void metaSays(const Attributes &a)
    {
        if (equalsCaseless(a.httpEquiv, "content-language") && m_out.lang.isEmpty())
            m_out.lang = a.content.toByteArray().toLower();
        const QByteArrayView key = !a.property.isEmpty() ? a.property : a.name;
        if (key.isEmpty() || a.content.isEmpty())
            return;
        if (equalsCaseless(key, "og:site_name")) {
            m_out.siteName = collapsed(a.content);
        } else if (equalsCaseless(key, "application-name") && m_out.siteName.isEmpty()) {
            m_out.siteName = collapsed(a.content);
        } else if (equalsCaseless(key, "og:url")) {
            const QByteArray host = hostOf(a.content);
            if (!host.isEmpty() && m_out.canonicalHost.isEmpty())
                m_out.canonicalHost = host;
        } else if (namesFax(key) || hasFaxPart(key)) {
            // RDFa puts its properties on meta elements too; Open Graph and named meta tags
            // are the page's own description.
            const bool rdfa = !a.property.isEmpty() && !ByteText::startsWithCaseless(key, "og:");
            m_out.numbers.append({decoded(a.content),
                                  rdfa ? MarkedNumber::Rdfa : MarkedNumber::Meta, key.toByteArray(),
                                  m_length});
        }
    }

    void hrefSays(QByteArrayView name, const Attributes &a)
    {
        const QByteArrayView href = a.href.trimmed();
        if (ByteText::startsWithCaseless(href, "fax:")) {
            if (m_reading)
                m_out.numbers.append(
                    {decoded(href.sliced(4)), MarkedNumber::FaxLink, "fax:", m_length});
            return;
        }
        if (ByteText::startsWithCaseless(href, "tel:")) {
            // A telephone link counts as a fax where the link itself says fax.
            if (m_reading && (hasFaxPart(a.cls) || hasFaxPart(a.id) || hasFaxPart(a.title) ||
                              hasFaxPart(a.ariaLabel)))
                m_out.numbers.append(
                    {decoded(href.sliced(4)), MarkedNumber::TelLink, "tel:", m_length});
            else if (m_reading && m_out.telLinks.size() < kMaxOwnerItems)
                m_out.telLinks.append({decoded(href.sliced(4)), m_length});
            return;
        }
        if (ByteText::startsWithCaseless(href, "mailto:")) {
            const qsizetype atSign = href.indexOf('@');
            if (atSign > 0) {
                qsizetype end = atSign + 1;
                while (end < href.size() && href[end] != '?' && href[end] != '>' &&
                       !isSpace(uchar(href[end])))
                    ++end;
                countTopLevel(href.sliced(atSign + 1, end - atSign - 1));
                if (m_reading && m_out.mailLinks.size() < kMaxOwnerItems)
                    m_out.mailLinks.append({decoded(href.sliced(7, end - 7)), m_length});
            }
            return;
        }
        if (is(name, "use") && href.startsWith('#') && m_reading && hasFaxPart(href)) {
            m_out.marks.append({m_length, LabelKind::Fax, LabelMark::Icon, href.toByteArray()});
            return;
        }
        if (is(name, "a") || is(name, "area")) {
            const QByteArray host = hostOf(href);
            if (!host.isEmpty())
                countTopLevel(host);
        }
    }

    void countTopLevel(QByteArrayView host)
    {
        const QByteArray tld = topLevelOf(host);
        if (!tld.isEmpty())
            ++m_out.linkTopLevels[tld];
    }

    // An attribute value with its entities decoded.
    static QByteArray decoded(QByteArrayView value)
    {
        if (!value.contains('&'))
            return value.toByteArray();
        QByteArray out;
        out.reserve(value.size());
        qsizetype i = 0;
        while (i < value.size()) {
            if (value[i] == '&') {
                qsizetype j = i + 1;
                while (j < value.size() && j - i <= 32 &&
                       (isAlnum(uchar(value[j])) || value[j] == '#'))
                    ++j;
                const long cp = entityCodePoint(value.sliced(i + 1, j - i - 1));
                if (cp >= 0) {
                    appendUtf8(out, uint(cp));
                    i = (j < value.size() && value[j] == ';') ? j + 1 : j;
                    continue;
                }
            }
            out.append(value[i++]);
        }
        return out;
    }

    // JSON-LD: every "faxNumber" at any depth, a string or a list of strings.
    void jsonLd(qsizetype from, qsizetype to)
    {
        const QByteArrayView json(reinterpret_cast<const char *>(m_s) + from, to - from);
        if (m_jsonLdKept + json.size() <= kMaxJsonLd) {
            m_out.jsonLd.append(json.toByteArray());
            m_jsonLdKept += json.size();
        }
        ByteText::CaselessFinder key(json, "\"faxnumber\"");
        for (qsizetype at = key.next(0); at >= 0; at = key.next(at + 1)) {
            if (at > 0 && json[at - 1] == '\\')
                continue;
            qsizetype k = at + 11;
            while (k < json.size() && isSpace(uchar(json[k])))
                ++k;
            if (k >= json.size() || json[k] != ':')
                continue;
            ++k;
            while (k < json.size() && isSpace(uchar(json[k])))
                ++k;
            if (k < json.size() && json[k] == '"') {
                QByteArray value;
                jsonString(json, k + 1, &value);
                m_out.numbers.append({value, MarkedNumber::JsonLd, "faxNumber", m_length});
                continue;
            }
            if (k >= json.size() || json[k] != '[')
                continue;
            ++k;
            for (;;) {
                while (k < json.size() && (isSpace(uchar(json[k])) || json[k] == ','))
                    ++k;
                if (k >= json.size() || json[k] != '"')
                    break;
                QByteArray value;
                k = jsonString(json, k + 1, &value);
                m_out.numbers.append({value, MarkedNumber::JsonLd, "faxNumber", m_length});
            }
        }
    }

    // Reads a JSON string body from `k` (after its opening quote) into `value`; returns the
    // position after the closing quote.
    static qsizetype jsonString(QByteArrayView json, qsizetype k, QByteArray *value)
    {
        while (k < json.size() && json[k] != '"') {
            if (json[k] == '\\' && k + 1 < json.size()) {
                const char e = json[k + 1];
                if (e == 'u' && k + 5 < json.size()) {
                    bool ok = false;
                    const uint cp = QByteArrayView(json.sliced(k + 2, 4)).toUInt(&ok, 16);
                    if (ok)
                        appendUtf8(*value, cp);
                    k += 6;
                    continue;
                }
                value->append(e == 'n' || e == 't' || e == 'r' ? ' ' : e);
                k += 2;
                continue;
            }
            value->append(json[k++]);
        }
        return k + 1;
    }

    // The text is written into m_out.text, which is kept larger than what it holds
    // (m_length) so that writing a byte is a store, not a call.
    void reserve(qsizetype extra)
    {
        if (m_out.text.size() - m_length >= extra)
            return;
        m_out.text.resize(qMax(m_out.text.size() * 2, m_length + extra + 64));
    }

    // Body text from m_s[from, to): entities decoded, spaces collapsed, numbers' signs in
    // ASCII. A byte of the page becomes at most three of the text, and a space at most one.
    void text(qsizetype from, qsizetype to)
    {
        reserve(4 * (to - from) + 8);
        char *const base = m_out.text.data();
        qsizetype i = from;
        while (i < to) {
            const uchar c = m_s[i];
            if (c < 0x80 && c != '&') {
                if (c <= 0x20 || c == 0x7F) {
                    space();
                    ++i;
                    continue;
                }
                // A run of plain ASCII is copied at once; its end is looked for sixteen bytes
                // at a time (a control or space, "&", DEL or a byte of the upper half).
                qsizetype j = i + 1;
#ifdef __SSE2__
                const __m128i aboveSpace = _mm_set1_epi8(0x21);
                const __m128i amp = _mm_set1_epi8('&');
                const __m128i del = _mm_set1_epi8(0x7F);
                while (j + 16 <= to) {
                    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(m_s + j));
                    // Compared as signed bytes the upper half is negative, below every space.
                    const __m128i ends = _mm_or_si128(
                        _mm_or_si128(_mm_cmplt_epi8(v, aboveSpace), _mm_cmpeq_epi8(v, amp)),
                        _mm_cmpeq_epi8(v, del));
                    const unsigned mask = unsigned(_mm_movemask_epi8(ends));
                    if (mask) {
                        j += __builtin_ctz(mask);
                        break;
                    }
                    j += 16;
                }
#endif
                while (j < to && m_s[j] > 0x20 && m_s[j] < 0x7F && m_s[j] != '&')
                    ++j;
                visible(base);
                std::memcpy(base + m_length, m_s + i, size_t(j - i));
                m_length += j - i;
                i = j;
                continue;
            }
            if (c == '&') {
                qsizetype j = i + 1;
                while (j < to && j - i <= 32 && (isAlnum(m_s[j]) || (j == i + 1 && m_s[j] == '#')))
                    ++j;
                const bool semicolon = j < to && m_s[j] == ';';
                const long cp = j > i + 1
                                    ? entityCodePoint(QByteArrayView(
                                          reinterpret_cast<const char *>(m_s) + i + 1, j - i - 1))
                                    : -1;
                if (cp >= 0 && (semicolon || m_s[i + 1] == '#' || j - i <= 5)) {
                    codePoint(base, uint(cp));
                    i = semicolon ? j + 1 : j;
                } else {
                    codePoint(base, '&');
                    ++i;
                }
                continue;
            }
            int len = 1;
            const uint cp = decodeAt(m_s, to, i, &len);
            codePoint(base, cp);
            i += len;
        }
    }

    void codePoint(char *base, uint cp)
    {
        const uint m = mapped(cp);
        if (m == 0)
            return;
        if (m == ' ') {
            space();
            return;
        }
        visible(base);
        m_length = putUtf8(base + m_length, m) - base;
    }

    void space()
    {
        if (m_lineHasText)
            m_pendingSpace = true;
    }

    // Text is about to be written: a line that starts here takes its place from the open
    // elements.
    void visible(char *base)
    {
        ++m_written;
        if (!m_lineHasText) {
            m_lineHasText = true;
            m_line = TextLine();
            m_line.begin = m_length;
            if (!m_stack.isEmpty()) {
                m_line.kind = m_stack.last().kind;
                m_line.footer = m_stack.last().footer;
                m_line.level = m_stack.last().level;
            }
            if (!m_tables.isEmpty() &&
                (m_line.kind == LineKind::Cell || m_line.kind == LineKind::HeaderCell)) {
                m_line.table = m_tables.last().id;
                m_line.row = m_tables.last().row;
                m_line.column = m_tables.last().column;
                m_line.cellStart = m_cellStartPending;
            }
            m_cellStartPending = false;
        } else if (m_pendingSpace) {
            base[m_length++] = ' ';
        }
        m_pendingSpace = false;
    }

    void breakLine()
    {
        if (!m_lineHasText)
            return;
        m_line.end = m_length;
        m_out.lines.append(m_line);
        reserve(1);
        m_out.text.data()[m_length++] = '\n';
        m_lineHasText = false;
        m_pendingSpace = false;
    }

    struct TableContext
    {
        int id;
        int row;
        int column;
    };

    struct Found
    {
        qsizetype searchedFrom = -1;
        qsizetype at = -1;
    };

    static constexpr qsizetype kMaxDepth = 256;
    // Structured data a page may mark up before the rest counts as noise.
    static constexpr qsizetype kMaxOwnerItems = 4096;
    static constexpr qsizetype kMaxJsonLd = 256 * 1024;
    const uchar *m_s;
    qsizetype m_n;
    QByteArrayView m_html;
    bool m_reading = false;
    qsizetype m_length = 0; // of the text written
    bool m_lineHasText = false;
    bool m_pendingSpace = false;
    bool m_cellStartPending = false;
    TextLine m_line;
    QVarLengthArray<Open, 64> m_stack;
    QVarLengthArray<TableContext, 8> m_tables;
    int m_tableCount = 0;
    qsizetype m_jsonLdKept = 0;
    qsizetype m_written = 0; // pieces of visible text written
    QVarLengthArray<PendingMark, 8> m_pendingMarks;
    QList<qsizetype> m_droppedMarks;
    PageText m_out;
    Found m_needleFound[NeedleCount];
    QHash<QByteArray, Found> m_found; // end tags of raw text, by element name
};

} // namespace

PageText readPageText(QByteArrayView html)
{
    return Reader(html).run();
}

void appendNumberText(QByteArray &out, QByteArrayView text)
{
    const uchar *s = reinterpret_cast<const uchar *>(text.data());
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const uchar c = s[i];
        if (c < 0x80) {
            out.append(c < 0x20 || c == 0x7F ? ' ' : char(c));
            ++i;
            continue;
        }
        int len = 1;
        const uint m = mapped(decodeAt(s, n, i, &len));
        if (m)
            appendUtf8(out, m);
        i += len;
    }
}
