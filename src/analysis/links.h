#pragma once

// Link extraction and website normalisation, byte to byte, without I/O. A website entry is
// a URL without scheme: host followed by an optional path (h/dir/page.htm).

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// The url up to and including its last "/"; a text without "/" gives "/" followed by it.
QByteArray ParentPath(const QByteArray &url);

// Brings a link into website form against the page's URL and directory (both without
// scheme, the directory ending in "/"). Schemes "http://" and "https://" and a leading "//"
// mark an absolute link; "/x" resolves against the host; leading "./" and "../" against
// the directory (never above the host); other relative links are appended to the
// directory. The link is rewritten in place and returned.
QByteArray NormalizeUrl(QByteArray &link, const QByteArray &strCurUrl, const QByteArray &strCurDir);

// True when the link mentions a script, a mail address, an anchor or a media or document
// file ("javascript", "mailto", ".js", ".jpg", ".pdf", "#", ...), in any letter case.
bool isSkippedLink(QByteArrayView link);

// True when the link begins with a scheme other than http and https ("tel:", "fax:",
// "sms:", "file:", "data:", "ftp:", ...): it names no web page. A scheme is a letter
// followed by letters, digits, "+" or "-", then ":" (leading spaces and control characters
// are passed over, as a browser does).
bool hasOtherScheme(QByteArrayView link);

// The link texts of one page line, one per "href=" (any letter case), in order, before
// skipping and normalisation. The line is cut before every further "href=", and each piece
// gives the text between "href=" (and one quote) and the first quote or ">"; a piece whose
// terminator is its last character, or which has none, loses its last two characters.
QList<QByteArray> linkTextsOfLine(QByteArrayView line);

// Calls f(line) for every line of a page as received: a line ends at CR, CR LF or LF.
template <typename F> void forEachLineAnyBreak(QByteArrayView page, F &&f)
{
    const char *s = page.data();
    const qsizetype n = page.size();
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < n) {
        const char c = s[i];
        if (c == '\r' || c == '\n') {
            f(QByteArrayView(s + start, i - start));
            if (c == '\r' && i + 1 < n && s[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
        ++i;
    }
    if (start < n)
        f(QByteArrayView(s + start, n - start));
}
