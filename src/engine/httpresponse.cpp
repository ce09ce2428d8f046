#include "httpresponse.h"

#include <QUrl>

#include <cmath>

namespace HttpResponse {

namespace {

const QByteArray kBlankLine("\r\n\r\n");

bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

// A clamped view of a part of a byte array (views of Qt 6.4 have no mid()).
QByteArrayView part(QByteArrayView v, qsizetype pos, qsizetype len = -1)
{
    if (pos < 0)
        pos = 0;
    if (pos > v.size())
        pos = v.size();
    if (len < 0 || len > v.size() - pos)
        len = v.size() - pos;
    return v.sliced(pos, len);
}

QByteArray trimmedSpaces(const QByteArray &s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isSpace(s.at(b)))
        ++b;
    while (e > b && isSpace(s.at(e - 1)))
        --e;
    return s.mid(b, e - b);
}

bool equalsCaseless(const QByteArray &a, const QByteArray &b)
{
    return a.size() == b.size() && a.compare(b, Qt::CaseInsensitive) == 0;
}

// The header lines before the blank line, without the status line.
QList<QByteArray> headerLines(const QByteArray &page)
{
    const qsizetype end = headerEnd(page);
    if (end < 0)
        return {};
    QList<QByteArray> lines = page.left(end).split('\n');
    for (QByteArray &l : lines) {
        if (l.endsWith('\r'))
            l.chop(1);
    }
    if (!lines.isEmpty())
        lines.removeFirst();
    return lines;
}

} // namespace

QByteArray requestBytes(const QByteArray &host, const QByteArray &path, const QByteArray &userAgent,
                        bool keepAlive)
{
    QByteArray r;
    r.reserve(path.size() + host.size() + userAgent.size() + 80);
    r += "GET ";
    r += path;
    r += " HTTP/1.1\r\nHost: ";
    r += host;
    if (!userAgent.isEmpty()) {
        r += "\r\nUser-Agent: ";
        r += userAgent;
    }
    r += keepAlive ? "\r\nAccept: */*\r\n\r\n" : "\r\nConnection: close\r\nAccept: */*\r\n\r\n";
    return r;
}

qsizetype headerEnd(const QByteArray &page, qsizetype searchLimit)
{
    if (searchLimit >= 0 && page.size() > searchLimit)
        return part(page, 0, searchLimit).indexOf(kBlankLine);
    return page.indexOf(kBlankLine);
}

QByteArray cutHeader(const QByteArray &page)
{
    const qsizetype end = headerEnd(page);
    const qsizetype blockLength = end >= 0 ? end + 4 : qMin<qsizetype>(3, page.size());
    if (blockLength == 0)
        return page;
    // Every occurrence, left to right, not overlapping; ASCII letters folded.
    const QByteArray lowerPage = page.toLower();
    const QByteArray lowerBlock = lowerPage.left(blockLength);
    QByteArray body;
    qsizetype from = 0;
    for (;;) {
        const qsizetype hit = lowerPage.indexOf(lowerBlock, from);
        if (hit < 0)
            break;
        body += part(page, from, hit - from);
        from = hit + blockLength;
    }
    if (from == 0)
        return page;
    body += part(page, from);
    return body;
}

qint32 contentLength(const QByteArray &headerText)
{
    qsizetype from = 0;
    while (from <= headerText.size()) {
        qsizetype next = headerText.indexOf("\r\n", from);
        if (next < 0)
            next = headerText.size();
        const QByteArrayView line = part(headerText, from, next - from);
        if (line.contains(QByteArrayView("Content-Length"))) {
            const qsizetype space = line.indexOf(' ');
            const QByteArray value = trimmedSpaces(part(line, space + 1).toByteArray());
            bool ok = false;
            const qint32 n = value.toInt(&ok, 10);
            return ok ? n : 0;
        }
        from = next + 2;
    }
    return 0;
}

int statusCode(const QByteArray &page)
{
    if (!page.startsWith("HTTP/"))
        return -1;
    const qsizetype space = page.indexOf(' ');
    if (space < 0 || page.size() < space + 4)
        return -1;
    int code = 0;
    for (int i = 1; i <= 3; ++i) {
        const char c = page.at(space + i);
        if (c < '0' || c > '9')
            return -1;
        code = code * 10 + (c - '0');
    }
    if (page.size() > space + 4) {
        const char after = page.at(space + 4);
        if (after != ' ' && after != '\r' && after != '\n')
            return -1;
    }
    return code;
}

bool isRedirectStatus(int code)
{
    return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

QByteArray headerValue(const QByteArray &page, const QByteArray &name)
{
    const QList<QByteArray> lines = headerLines(page);
    for (const QByteArray &line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        if (equalsCaseless(trimmedSpaces(line.left(colon)), name)) {
            QByteArray v = trimmedSpaces(line.mid(colon + 1));
            if (v.isNull())
                v = QByteArray("");
            return v;
        }
    }
    return QByteArray();
}

bool isChunked(const QByteArray &page)
{
    return containsCaseless(headerValue(page, "Transfer-Encoding"), "chunked");
}

QByteArray dechunk(const QByteArray &body, bool *complete)
{
    QByteArray out;
    bool done = false;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype lineEnd = body.indexOf('\n', pos);
        if (lineEnd < 0)
            break;
        QByteArray line = body.mid(pos, lineEnd - pos);
        if (line.endsWith('\r'))
            line.chop(1);
        const qsizetype semi = line.indexOf(';');
        if (semi >= 0)
            line.truncate(semi);
        line = trimmedSpaces(line);
        if (line.isEmpty() || line.size() > 15)
            break;
        bool ok = false;
        const qint64 size = line.toLongLong(&ok, 16);
        if (!ok || size < 0)
            break;
        pos = lineEnd + 1;
        if (size == 0) {
            done = true;
            break;
        }
        if (size > body.size() - pos) {
            out += part(body, pos);
            break;
        }
        out += part(body, pos, size);
        pos += size;
        if (part(body, pos, 2) == QByteArrayView("\r\n"))
            pos += 2;
        else if (pos < body.size() && body.at(pos) == '\n')
            pos += 1;
        else
            break;
    }
    if (complete)
        *complete = done;
    return out;
}

QByteArray withoutLineBreaks(const QByteArray &body)
{
    QByteArray out;
    out.reserve(body.size());
    for (const char c : body) {
        if (c != '\r' && c != '\n')
            out.append(c);
    }
    return out;
}

int progressPercent(qint64 bodyBytes, qint64 contentLength, int previous)
{
    if (contentLength < 1)
        return previous;
    const double v = std::fabs(double(bodyBytes) / double(contentLength) * 100.0);
    if (!(v <= 100.0))
        return previous;
    return int(std::nearbyint(v)); // the default rounding mode rounds half to even
}

bool containsCaseless(const QByteArray &haystack, const QByteArray &needle)
{
    if (needle.isEmpty())
        return true;
    if (needle.size() > haystack.size())
        return false;
    return haystack.toLower().contains(needle.toLower());
}

bool resolveLocation(bool https, const QByteArray &host, const QByteArray &path,
                     const QByteArray &location, Target *out)
{
    const QByteArray loc = trimmedSpaces(location);
    if (loc.isEmpty())
        return false;
    const QUrl base = QUrl::fromEncoded(
        (https ? QByteArray("https://") : QByteArray("http://")) + host + path, QUrl::TolerantMode);
    const QUrl rel = QUrl::fromEncoded(loc, QUrl::TolerantMode);
    if (!rel.isValid())
        return false;
    const QUrl url = base.isValid() ? base.resolved(rel) : rel;
    const QString scheme = url.scheme().toLower();
    if ((scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        url.host().isEmpty())
        return false;
    Target t;
    t.https = scheme == QLatin1String("https");
    const quint16 defaultPort = t.https ? 443 : 80;
    t.hostName = url.host(QUrl::FullyEncoded).toLatin1();
    const int port = url.port();
    if (port > 0 && port <= 65535)
        t.port = quint16(port);
    else
        t.port = defaultPort;
    // An IPv6 literal keeps its brackets in the Host header, or its colons read as a port.
    t.host = t.hostName.contains(':') ? '[' + t.hostName + ']' : t.hostName;
    if (t.port != defaultPort)
        t.host += ':' + QByteArray::number(t.port);
    t.path = url.path(QUrl::FullyEncoded).toLatin1();
    if (t.path.isEmpty())
        t.path = "/";
    if (url.hasQuery())
        t.path += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    if (out)
        *out = t;
    return true;
}

} // namespace HttpResponse
