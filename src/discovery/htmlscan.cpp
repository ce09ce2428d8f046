#include "htmlscan.h"

namespace HtmlScan {

namespace {

// Deeper nesting than this is not tracked (a page of endless unclosed tags stays cheap).
constexpr qsizetype kMaxDepth = 512;

bool isSpace(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
           c == QLatin1Char('\r') || c == QLatin1Char('\f');
}

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_') ||
           c == QLatin1Char(':') || c == QLatin1Char('.');
}

bool isOneOf(QStringView tag, std::initializer_list<const char *> names)
{
    for (const char *n : names) {
        if (tag.compare(QLatin1String(n), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool isVoid(QStringView tag)
{
    return isOneOf(tag, {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta",
                         "param", "source", "track", "wbr"});
}

// Elements whose content is not markup.
bool isRawText(QStringView tag)
{
    return isOneOf(tag, {"script", "style", "textarea", "xmp"});
}

// Elements that a sibling of the same name closes.
bool closesSibling(QStringView tag)
{
    return isOneOf(tag, {"a", "li", "p", "dt", "dd", "tr", "td", "th", "option"});
}

// Calls f(name, rawValue) for each attribute of a tag's attribute text.
template <typename F> void forEachAttribute(QStringView attrs, F &&f)
{
    const qsizetype n = attrs.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && (isSpace(attrs[i]) || attrs[i] == QLatin1Char('/')))
            ++i;
        const qsizetype nameStart = i;
        while (i < n && !isSpace(attrs[i]) && attrs[i] != QLatin1Char('=') &&
               attrs[i] != QLatin1Char('/'))
            ++i;
        const QStringView name = attrs.mid(nameStart, i - nameStart);
        while (i < n && isSpace(attrs[i]))
            ++i;
        QStringView value;
        if (i < n && attrs[i] == QLatin1Char('=')) {
            ++i;
            while (i < n && isSpace(attrs[i]))
                ++i;
            if (i < n && (attrs[i] == QLatin1Char('"') || attrs[i] == QLatin1Char('\''))) {
                const QChar quote = attrs[i++];
                const qsizetype close = attrs.indexOf(quote, i);
                const qsizetype end = close < 0 ? n : close;
                value = attrs.mid(i, end - i);
                i = end + 1;
            } else {
                const qsizetype start = i;
                while (i < n && !isSpace(attrs[i]))
                    ++i;
                value = attrs.mid(start, i - start);
            }
        }
        if (!name.isEmpty())
            f(name, value);
        else if (i == nameStart)
            ++i; // a lone "=": step over it
    }
}

// The index of the '>' that ends a tag whose attribute text starts at i; a '>' inside a
// quoted attribute value does not end it.
qsizetype tagEnd(QStringView html, qsizetype i)
{
    const qsizetype n = html.size();
    bool afterEquals = false;
    while (i < n) {
        const QChar c = html[i];
        if (c == QLatin1Char('>'))
            return i;
        if (afterEquals && (c == QLatin1Char('"') || c == QLatin1Char('\''))) {
            const qsizetype close = html.indexOf(c, i + 1);
            if (close < 0)
                return n;
            i = close + 1;
            afterEquals = false;
            continue;
        }
        if (c == QLatin1Char('='))
            afterEquals = true;
        else if (!isSpace(c))
            afterEquals = false;
        ++i;
    }
    return n;
}

Element makeElement(QStringView name, QStringView attrs)
{
    Element e;
    e.tag = name;
    e.attributes = attrs;
    forEachAttribute(attrs, [&e](QStringView n, QStringView v) {
        if (e.id.isNull() && n.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0)
            e.id = v;
        else if (e.classes.isNull() && n.compare(QLatin1String("class"), Qt::CaseInsensitive) == 0)
            e.classes = v.isNull() ? QStringView(u"") : v;
    });
    return e;
}

// Walks the tags of a page: onStart(open elements, element) for every start tag, before
// the element is pushed. Returns early when onStart returns false.
template <typename F> void scan(QStringView html, F &&onStart)
{
    Path open;
    const qsizetype n = html.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype lt = html.indexOf(QLatin1Char('<'), i);
        if (lt < 0 || lt + 1 >= n)
            return;
        i = lt + 1;
        const QChar c = html[i];
        if (c == QLatin1Char('!') || c == QLatin1Char('?')) {
            if (html.mid(i, 3) == QLatin1String("!--")) {
                const qsizetype end = html.indexOf(QLatin1String("-->"), i + 3);
                i = end < 0 ? n : end + 3;
            } else {
                const qsizetype end = html.indexOf(QLatin1Char('>'), i);
                i = end < 0 ? n : end + 1;
            }
            continue;
        }
        const bool isEnd = c == QLatin1Char('/');
        if (isEnd)
            ++i;
        if (i >= n || !html[i].isLetter())
            continue; // "a < b" is text
        const qsizetype nameStart = i;
        while (i < n && isNameChar(html[i]))
            ++i;
        const QStringView name = html.mid(nameStart, i - nameStart);
        const qsizetype gt = tagEnd(html, i);
        const QStringView attrs = html.mid(i, gt - i);
        i = gt + 1;

        if (isEnd) {
            for (qsizetype k = open.size() - 1; k >= 0; --k) {
                if (open[k].tag.compare(name, Qt::CaseInsensitive) == 0) {
                    open.resize(k);
                    break;
                }
            }
            continue;
        }

        if (closesSibling(name) && !open.isEmpty() &&
            open.last().tag.compare(name, Qt::CaseInsensitive) == 0)
            open.removeLast();
        const Element element = makeElement(name, attrs);
        if (!onStart(open, element))
            return;
        if (isRawText(name)) {
            const QString closer = QLatin1String("</") + name.toString();
            const qsizetype close = html.indexOf(closer, i, Qt::CaseInsensitive);
            i = close < 0 ? n : close;
            continue;
        }
        const bool selfClosing = attrs.trimmed().endsWith(QLatin1Char('/'));
        if (isVoid(name) || selfClosing || open.size() >= kMaxDepth)
            continue;
        open.append(element);
    }
}

template <typename Token> bool hasClassToken(QStringView classes, Token token)
{
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = classes.indexOf(token, from);
        if (at < 0)
            return false;
        const qsizetype end = at + token.size();
        const bool startOk = at == 0 || isSpace(classes[at - 1]);
        const bool endOk = end == classes.size() || isSpace(classes[end]);
        if (startOk && endOk)
            return true;
        from = at + 1;
    }
}

} // namespace

bool Element::hasClass(QStringView token) const
{
    return hasClassToken(classes, token);
}

bool Element::hasClass(QLatin1String token) const
{
    return hasClassToken(classes, token);
}

QString Element::attribute(QLatin1String name) const
{
    QString found;
    bool done = false;
    forEachAttribute(attributes, [&](QStringView n, QStringView v) {
        if (!done && n.compare(name, Qt::CaseInsensitive) == 0) {
            found = v.isNull() ? QStringLiteral("") : decodeReferences(v);
            done = true;
        }
    });
    return found;
}

void forEachLink(QStringView html, const LinkVisitor &visit)
{
    scan(html, [&visit](const Path &open, const Element &e) {
        if (e.is(QLatin1String("a"))) {
            const QString href = e.attribute(QLatin1String("href"));
            if (!href.isNull())
                visit(open, e, href);
        }
        return true;
    });
}

bool within(const Path &path, QLatin1String tag, QLatin1String classToken)
{
    for (const Element &e : path) {
        if ((tag.isEmpty() || e.is(tag)) && e.hasClass(classToken))
            return true;
    }
    return false;
}

QString hiddenInputValue(QStringView html, QLatin1String name)
{
    QString value;
    scan(html, [&](const Path &, const Element &e) {
        if (!e.is(QLatin1String("input")))
            return true;
        if (e.attribute(QLatin1String("type"))
                    .compare(QLatin1String("hidden"), Qt::CaseInsensitive) != 0 ||
            e.attribute(QLatin1String("name")) != name)
            return true;
        value = e.attribute(QLatin1String("value"));
        if (value.isNull())
            value = QStringLiteral("");
        return false;
    });
    return value;
}

QString withoutScripts(QStringView html)
{
    const QLatin1String opens[2] = {QLatin1String("<script"), QLatin1String("<style")};
    const QLatin1String closes[2] = {QLatin1String("</script"), QLatin1String("</style")};
    qsizetype next[2] = {-2, -2}; // -2: not searched yet; searched again only once passed
    QString out;
    out.reserve(html.size());
    qsizetype from = 0;
    for (;;) {
        for (int k = 0; k < 2; ++k) {
            if (next[k] == -2 || (next[k] >= 0 && next[k] < from))
                next[k] = html.indexOf(opens[k], from, Qt::CaseInsensitive);
        }
        const int k = next[0] < 0 ? 1 : next[1] < 0 ? 0 : next[0] < next[1] ? 0 : 1;
        if (next[k] < 0)
            break;
        const qsizetype gt = html.indexOf(QLatin1Char('>'), next[k]);
        if (gt < 0)
            break;
        out += html.mid(from, gt + 1 - from);
        const qsizetype end = html.indexOf(closes[k], gt + 1, Qt::CaseInsensitive);
        from = end < 0 ? html.size() : end;
    }
    out += html.mid(from);
    return out;
}

QString decodeReferences(QStringView text)
{
    if (!text.contains(QLatin1Char('&')))
        return text.toString();
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('&')) {
            out += c;
            continue;
        }
        const qsizetype semi = text.indexOf(QLatin1Char(';'), i + 1);
        if (semi < 0 || semi - i > 10) {
            out += c;
            continue;
        }
        const QStringView ref = text.mid(i + 1, semi - i - 1);
        char32_t code = 0;
        if (ref.startsWith(QLatin1Char('#'))) {
            bool ok = false;
            const bool hex =
                ref.size() > 1 && (ref[1] == QLatin1Char('x') || ref[1] == QLatin1Char('X'));
            const uint v = ref.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
            if (ok && v > 0 && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF))
                code = char32_t(v);
        } else if (ref == QLatin1String("amp")) {
            code = '&';
        } else if (ref == QLatin1String("quot")) {
            code = '"';
        } else if (ref == QLatin1String("apos")) {
            code = '\'';
        } else if (ref == QLatin1String("lt")) {
            code = '<';
        } else if (ref == QLatin1String("gt")) {
            code = '>';
        }
        if (code == 0) {
            out += c;
            continue;
        }
        out += QString::fromUcs4(&code, 1);
        i = semi;
    }
    return out;
}

} // namespace HtmlScan
