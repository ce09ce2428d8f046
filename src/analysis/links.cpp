#include "links.h"

#include "bytetext.h"

using namespace ByteText;

namespace {

// Removes every "https://" and "http://" (any letter case) in one pass; true when any was
// found.
bool removeSchemes(QByteArray &text)
{
    if (indexOfCaseless(text, "://") < 0)
        return false;
    QByteArray out;
    out.reserve(text.size());
    const char *s = text.constData();
    const qsizetype n = text.size();
    bool found = false;
    qsizetype i = 0;
    while (i < n) {
        if (i + 8 <= n && matchesCaselessAt(s + i, "https://", 8)) {
            i += 8;
            found = true;
        } else if (i + 7 <= n && matchesCaselessAt(s + i, "http://", 7)) {
            i += 7;
            found = true;
        } else {
            out.append(s[i]);
            ++i;
        }
    }
    if (found)
        text = out;
    return found;
}

QByteArray collapseSlashes(const QByteArray &text)
{
    return text.contains("//") ? replaceAll(text, "//", "/", false) : text;
}

// The host part of a directory, with its "/": "h/a/" gives "h/".
QByteArray hostOfDir(const QByteArray &dir)
{
    const qsizetype slash = dir.indexOf('/');
    return slash < 0 ? dir + '/' : dir.left(slash + 1);
}

// Resolves leading "./" and "../" segments against the directory; "../" goes up one
// directory but never above the host.
QByteArray resolveDotSegments(const QByteArray &link, const QByteArray &dir)
{
    const QByteArray host = hostOfDir(dir);
    QByteArray base = dir.endsWith('/') ? dir : dir + '/';
    qsizetype i = 0;
    for (;;) {
        if (link.mid(i, 2) == "./") {
            i += 2;
        } else if (link.mid(i, 3) == "../") {
            i += 3;
            if (base.size() > host.size()) {
                base.truncate(base.lastIndexOf('/', base.size() - 2) + 1);
            }
        } else {
            break;
        }
    }
    return base + link.mid(i);
}

} // namespace

QByteArray ParentPath(const QByteArray &url)
{
    QByteArray text = url;
    bool scheme = false;
    if (containsCaseless(text, "http://")) {
        // Only the lower-case spelling is removed; the note is taken whatever the case.
        text = removeAll(text, "http://", false);
        scheme = true;
    }
    if (text.endsWith('/'))
        text.chop(1);
    const qsizetype slash = text.lastIndexOf('/');
    QByteArray kept = slash < 0 ? QByteArray() : text.left(slash + 1);
    if (scheme)
        kept.prepend("http://");
    if (kept.isEmpty() || kept == "http://")
        return '/' + text;
    return kept;
}

QByteArray NormalizeUrl(QByteArray &link, const QByteArray &strCurUrl, const QByteArray &strCurDir)
{
    Q_UNUSED(strCurUrl);
    bool absolute = removeSchemes(link);
    if (link.startsWith("//")) {
        // Protocol-relative: the host follows.
        link.remove(0, 2);
        absolute = true;
    }
    if (link.startsWith('/')) {
        link = collapseSlashes(hostOfDir(strCurDir) + link);
    } else if (link.startsWith("./") || link.startsWith("../")) {
        link = resolveDotSegments(link, strCurDir);
    } else if (link.startsWith("..")) {
        link = ParentPath(strCurUrl) + "..";
    } else if (!absolute && !containsCaseless(link, ".com") && !containsCaseless(link, "www.") &&
               !containsCaseless(link, ".net") && !containsCaseless(link, ".edu") &&
               !containsCaseless(link, ".gov") && !containsCaseless(link, "ww2.")) {
        link = strCurDir + '/' + link;
    }
    if (!link.contains('/'))
        link.append('/');
    for (int k = 0; k < 4; ++k)
        link = collapseSlashes(link);
    return link;
}

bool isSkippedLink(QByteArrayView link)
{
    static const char *const skip[] = {
        "javascript", "mailto", ".mpg", ".js",  ".mpeg", ".swf", ".avi", ".jpg", ".jpeg", ".gif",
        ".bmp",       ".mov",   ".rm",  ".mp3", ".wav",  ".ra",  ".pdf", ".css", "#"};
    for (const char *s : skip) {
        if (containsCaseless(link, QByteArrayView(s)))
            return true;
    }
    return false;
}

bool hasOtherScheme(QByteArrayView link)
{
    qsizetype i = 0;
    while (i < link.size() && uchar(link[i]) <= ' ')
        ++i;
    const qsizetype start = i;
    auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (i >= link.size() || !letter(link[i]))
        return false;
    while (i < link.size() && (letter(link[i]) || (link[i] >= '0' && link[i] <= '9') ||
                               link[i] == '+' || link[i] == '-'))
        ++i;
    if (i >= link.size() || link[i] != ':')
        return false;
    const QByteArrayView scheme = link.sliced(start, i - start);
    return scheme.compare("http", Qt::CaseInsensitive) != 0 &&
           scheme.compare("https", Qt::CaseInsensitive) != 0;
}

QList<QByteArray> linkTextsOfLine(QByteArrayView line)
{
    QList<QByteArray> links;
    CaselessFinder href(line, "href=");
    qsizetype at = href.next(0);
    while (at >= 0) {
        const qsizetype next = href.next(at + 5);
        const qsizetype end = next < 0 ? line.size() : next;
        // The piece after "href=", less one double quote and then one apostrophe.
        qsizetype b = at + 5;
        if (b < end && line[b] == '"')
            ++b;
        if (b < end && line[b] == '\'')
            ++b;
        const char *s = line.data();
        qsizetype t = b;
        while (t < end && s[t] != '"' && s[t] != '\'' && s[t] != '>')
            ++t;
        const qsizetype len = end - b;
        QByteArray link;
        if (t < end - 1) {
            link = QByteArray(s + b, t - b);
        } else if (len >= 2) {
            link = QByteArray(s + b, len - 2);
        } else {
            // "href=" plus at most one character, less two: what is left of the "href=" is
            // no longer one, so it stays.
            link = QByteArray("href=" + QByteArray(s + b, len)).left(3 + len);
        }
        links.append(link);
        at = next;
    }
    return links;
}
