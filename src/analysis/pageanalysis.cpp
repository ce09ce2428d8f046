#include "pageanalysis.h"

#include "bytetext.h"
#include "contactpages.h"
#include "cp1252.h"
#include "faxscan.h"
#include "htmltotext.h"
#include "links.h"

ConnectTarget connectTargetOf(const QByteArray &strURL)
{
    ConnectTarget t;
    QByteArray url = strURL;
    if (url.endsWith('/'))
        url.chop(1);
    // Both schemes go; a secure one is noted for the connect.
    if (ByteText::containsCaseless(url, "https://")) {
        url = ByteText::removeAll(url, "https://", true);
        t.https = true;
    }
    url = ByteText::removeAll(url, "http://", true);
    t.strCurUrl = url;
    if (url.endsWith('/'))
        t.strCurDir = url + '/';
    else if (!url.contains('/'))
        t.strCurDir = url + '/'; // a bare host is its own directory
    else
        t.strCurDir = ParentPath(url);

    const qsizetype slash = url.indexOf('/');
    if (slash < 0) {
        t.strHost = url;
        t.strPath = "/";
    } else {
        const QByteArray h = url.left(slash + 1);
        // Kept on purpose (tst_fetchslots requestOnTheWire "host repeated in path"): every
        // "host/" goes from the path, not only the first.
        t.strPath = ByteText::removeAll(url, h, false);
        t.strHost = h;
        t.strHost.replace("/", "");
    }
    if (t.strPath.isEmpty())
        t.strPath = "/";
    else if (!t.strPath.startsWith('/'))
        t.strPath.prepend('/');
    return t;
}

QStringList findLinks(QByteArrayView page, const PageAddress &address, bool webLinksOnly,
                      QList<bool> *contactLinks)
{
    QStringList links;
    const char *s = page.data();
    const qsizetype n = page.size();
    ByteText::CaselessFinder href(page, "href=");
    qsizetype at = href.next(0);
    while (at >= 0) {
        // The line around this "href=": it ends at CR, LF or CR LF.
        qsizetype end = at;
        while (end < n && s[end] != '\r' && s[end] != '\n')
            ++end;
        const QByteArrayView line(s + at, end - at);
        const QList<QByteArray> texts = linkTextsOfLine(line);
        // Each text is cut from one "href=" of the line, in order.
        ByteText::CaselessFinder hrefOfLine(line, "href=");
        qsizetype hrefAt = -5;
        for (QByteArray link : texts) {
            if (contactLinks)
                hrefAt = hrefOfLine.next(hrefAt + 5);
            if (isSkippedLink(link) || (webLinksOnly && hasOtherScheme(link)))
                continue;
            NormalizeUrl(link, address.url, address.directory);
            links << Cp1252::toUnicode(link);
            if (contactLinks)
                contactLinks->append(addressNamesContactPage(links.constLast()) ||
                                     linkTextNamesContactPage(anchorHtmlAt(page, at + hrefAt)));
        }
        at = end < n ? href.next(end + 1) : -1;
    }
    return links;
}

void findNumbers(QByteArrayView flatBody, const AnalysisOptions &options, PageFindings *out,
                 QByteArrayView body, const PageAddress &address)
{
    out->text = faxLineText(flatBody);
    if (options.findBeyondFaxLine) {
        FinderInput in;
        in.address = Cp1252::toUnicode(address.url);
        in.allowInternational = options.allowInternational;
        in.isStored = options.isStored;
        out->numbers = findFaxNumbers(body.isNull() ? flatBody : body, out->text, in);
        return;
    }
    forEachFaxLine(out->text, [&](QByteArrayView line) {
        const FaxFinding f = scanFaxLine(line, options.allowInternational);
        if (f.found) {
            FoundNumber n;
            n.number = Cp1252::toUnicode(f.number);
            n.location = Cp1252::toUnicode(f.label);
            n.line = Cp1252::toUnicode(line.toByteArray());
            out->numbers.append(n);
        }
    });
}

PageFindings analysePage(QByteArrayView body, const PageAddress &address,
                         const AnalysisOptions &options, QByteArrayView flatBody)
{
    PageFindings findings;
    findings.links = findLinks(body, address, options.webLinksOnly,
                               options.markContactLinks ? &findings.contactLinks : nullptr);
    QByteArray flat;
    if (flatBody.isNull()) {
        flat = withoutLineBreaks(body);
        flatBody = flat;
    }
    findNumbers(flatBody, options, &findings, body, address);
    return findings;
}
