#include "searchengines.h"

#include "domainextractor.h"
#include "searchlistbuilder.h"

#include <QSet>

namespace SearchEngines {

namespace {

using HtmlScan::Element;
using HtmlScan::Path;
using Kind = EngineRests::Kind;

// The query text as a browser encodes a form field.
QString formQuery(const QString &search)
{
    QByteArray encoded = QUrl::toPercentEncoding(search);
    encoded.replace("%20", "+");
    return QString::fromLatin1(encoded);
}

// Signs every engine shares, looked for in the page without its scripts and styles, and
// only when the page holds no organic result (a result may quote such words).
const QList<Signature> &sharedBlockMarkers()
{
    static const QList<Signature> markers = {
        {QStringLiteral("unusual traffic"),
         QStringLiteral("the engine saw unusual traffic from this network and asks for a captcha"),
         Kind::Captcha},
        {QStringLiteral("automated queries"),
         QStringLiteral("the engine takes the searches for automated queries and refuses them"),
         Kind::Forbidden},
        {QStringLiteral("IP Blocked"),
         QStringLiteral("the engine has blocked the address of this network"), Kind::Forbidden},
        {QStringLiteral("Verifying your request"),
         QStringLiteral("the engine is checking whether a browser is asking"), Kind::Captcha},
        {QStringLiteral("not yet available in your country"),
         QStringLiteral("the engine does not serve this country"), Kind::Forbidden},
        {QStringLiteral("/httpservice/retry/enablejs"),
         QStringLiteral("the engine answers only browsers that run JavaScript"), Kind::Captcha},
        {QStringLiteral("challenge-form"),
         QStringLiteral("the engine shows a challenge in place of the results"), Kind::Captcha},
        {QStringLiteral("cf-turnstile"),
         QStringLiteral("the engine shows a challenge in place of the results"), Kind::Captcha},
        {QStringLiteral("g-recaptcha"), QStringLiteral("the engine asks for a captcha"),
         Kind::Captcha},
        {QStringLiteral("h-captcha"), QStringLiteral("the engine asks for a captcha"),
         Kind::Captcha},
        {QStringLiteral("not a robot"),
         QStringLiteral("the engine asks to prove that a person is searching"), Kind::Captcha},
    };
    return markers;
}

const Signature *blockMarker(const SearchEngine &engine, const QString &page)
{
    for (const QList<Signature> *list : {&engine.blockMarkers, &sharedBlockMarkers()}) {
        for (const Signature &s : *list) {
            if (page.contains(s.marker, Qt::CaseInsensitive))
                return &s;
        }
    }
    return nullptr;
}

bool saysNoResults(const SearchEngine &engine, const QString &page)
{
    for (const QString &m : engine.noResultMarkers) {
        if (page.contains(m, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool isOwnDomain(const SearchEngine &engine, const QString &host)
{
    const QString domain = DomainNames::registrableDomain(host);
    if (domain.isEmpty())
        return false;
    for (const QString &own : engine.ownDomains) {
        if (own.endsWith(QLatin1String(".*"))) {
            if (domain.startsWith(own.chopped(1)))
                return true;
        } else if (domain == own) {
            return true;
        }
    }
    return false;
}

QString fill(QString text, const QString &terms, qint64 offset, int pageSize)
{
    const qint64 page = pageSize > 0 ? offset / pageSize : 0;
    text.replace(QLatin1String("{offset}"), QString::number(offset));
    text.replace(QLatin1String("{first}"), QString::number(offset + 1));
    text.replace(QLatin1String("{page}"), QString::number(page));
    text.replace(QLatin1String("{pagenum}"), QString::number(page + 1));
    // Last, so that nothing in the search text is taken for a placeholder.
    text.replace(QLatin1String("{terms}"), terms);
    return text;
}

} // namespace

BrowserRequest SearchEngine::request(const QString &search, qint64 offset) const
{
    // The reference engines get the query text as the reference writes it into the address.
    const QString terms =
        referenceTerms ? SearchListBuilder::queryText(search, false) : formQuery(search);
    const bool later = offset > 0;
    BrowserRequest r;
    r.url = origin +
            fill(later && !laterPages.isEmpty() ? laterPages : firstPage, terms, offset, pageSize);
    if (post) {
        r.method = "POST";
        r.body =
            fill(later && !laterBody.isEmpty() ? laterBody : firstBody, terms, offset, pageSize)
                .toLatin1();
    }
    r.headers = headers;
    r.cookies = cookies;
    if (!tokenPage.isEmpty()) {
        r.tokenPageUrl = origin + tokenPage;
        r.tokenField = tokenField;
    }
    return r;
}

bool SearchEngine::isResultLink(const Path &enclosing) const
{
    bool result = false;
    for (const LinkSelector &s : results) {
        if ((result = s.encloses(enclosing)))
            break;
    }
    if (!result)
        return false;
    for (const LinkSelector &s : except) {
        if (s.encloses(enclosing))
            return false;
    }
    return true;
}

QString blockedStatusReason(int httpStatus)
{
    switch (httpStatus) {
    case 202:
        return QStringLiteral("the engine answered 202 Accepted without results, the answer it "
                              "gives to searches it takes for a robot's");
    case 403:
        return QStringLiteral("the engine refused the search (HTTP 403 Forbidden)");
    case 429:
        return QStringLiteral("the engine has had too many searches from this network and "
                              "asks to slow down (HTTP 429)");
    case 503:
        return QStringLiteral("the engine refused the search for now (HTTP 503 Service "
                              "Unavailable)");
    default:
        return QString();
    }
}

Kind refusalOfStatus(int httpStatus)
{
    switch (httpStatus) {
    case 403:
        return Kind::Forbidden;
    case 429:
    case 503:
        return Kind::TooManyRequests;
    default:
        return Kind::Captcha; // 202: the answer to a search taken for a robot's
    }
}

QString blockedAddressReason(const QString &finalUrl)
{
    if (finalUrl.isEmpty())
        return QString();
    // Host and path only: the query holds the search text, which may say anything.
    const QUrl url(finalUrl);
    const QString host = url.host().toLower();
    const QString path = url.path();
    if (host.startsWith(QLatin1String("consent.")))
        return QStringLiteral("the engine sent the search to its page asking for consent to "
                              "cookies (%1)")
            .arg(host);
    if (path.contains(QLatin1String("/sorry/")) ||
        path.contains(QLatin1String("captcha"), Qt::CaseInsensitive))
        return QStringLiteral("the engine sent the search to its captcha page (%1%2)")
            .arg(host, path);
    return QString();
}

QList<QUrl> resultLinks(const SearchEngine &engine, const QString &html, const QUrl &pageAddress)
{
    QList<QUrl> links;
    if (engine.results.isEmpty())
        return links;
    HtmlScan::forEachLink(html, [&](const Path &enclosing, const Element &, const QString &href) {
        if (!engine.isResultLink(enclosing))
            return;
        const QUrl target = ResultLinks::target(href, pageAddress, engine.wrappers);
        if (target.isValid() && !isOwnDomain(engine, target.host()))
            links.append(target);
    });
    return links;
}

PageVerdict readPage(const SearchEngine &engine, const BrowserPage &page,
                     DomainNames::Endings endings)
{
    PageVerdict v;
    if (!page.answered) {
        v.outcome = Outcome::NoAnswer;
        v.reason = page.errorText.isEmpty()
                       ? QStringLiteral("the engine did not answer")
                       : QStringLiteral("the engine did not answer: %1").arg(page.errorText);
        return v;
    }
    v.reason = blockedStatusReason(page.httpStatus);
    v.refusal = refusalOfStatus(page.httpStatus);
    if (v.reason.isEmpty()) {
        v.reason = blockedAddressReason(page.finalUrl);
        v.refusal = Kind::Captcha; // a captcha or consent page
    }
    if (!v.reason.isEmpty()) {
        v.outcome = Outcome::Blocked;
        return v;
    }

    const bool referenceReading =
        engine.referenceReading && endings == DomainNames::Endings::Reference;
    const QUrl address = page.finalUrl.isEmpty() ? engine.pageAddress() : QUrl(page.finalUrl);
    // A page of results is no block page, even when a result quotes a block page's words;
    // the reference reading looks for its result links only when such words appear.
    QList<QUrl> links;
    if (!referenceReading)
        links = resultLinks(engine, page.html, address);
    if (links.isEmpty()) {
        const QString visible = HtmlScan::withoutScripts(page.html);
        const Signature *block = blockMarker(engine, visible);
        if (block && (!referenceReading || resultLinks(engine, page.html, address).isEmpty())) {
            v.outcome = Outcome::Blocked;
            v.reason = block->reason;
            v.refusal = block->kind;
            return v;
        }
        if (saysNoResults(engine, visible)) {
            v.nothingFound = true;
            v.reason = QStringLiteral("the engine found nothing for this search");
            return v;
        }
    }
    if (referenceReading) {
        DomainExtractor::SeenNames seen;
        v.names = DomainExtractor::extractDomainNames(page.html, seen, engine.skipLinesWith);
    } else {
        QSet<QString> seen;
        for (const QUrl &link : links) {
            const QString name = DomainNames::nameForHost(link.host(QUrl::EncodeUnicode), endings);
            if (!name.isEmpty() && !seen.contains(name.toLower())) {
                seen.insert(name.toLower());
                v.names.append(name);
            }
        }
    }
    if (v.names.isEmpty()) {
        v.reason = QStringLiteral("the page holds no result that gives a site name");
        return v;
    }
    v.outcome = Outcome::Results;
    v.reason.clear();
    return v;
}

} // namespace SearchEngines
