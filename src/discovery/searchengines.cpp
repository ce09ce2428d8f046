#include "searchengines.h"

#include "domainextractor.h"
#include "resultlinks.h"
#include "searchlistbuilder.h"

#include <QSet>

namespace SearchEngines {

namespace {

using HtmlScan::Element;
using HtmlScan::Path;
using HtmlScan::within;

// ---- Requests --------------------------------------------------------------------------

// What a current desktop browser sends with a page it navigates to. Engines answer a
// client that sends less with a block page far more often.
const char *const kUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:140.0) Gecko/20100101 Firefox/140.0";

BrowserRequest::Fields desktopHeaders()
{
    return {{"User-Agent", kUserAgent},
            {"Accept", "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8"},
            {"Accept-Language", "en-US,en;q=0.5"},
            {"Upgrade-Insecure-Requests", "1"},
            {"Sec-Fetch-Dest", "document"},
            {"Sec-Fetch-Mode", "navigate"},
            {"Sec-Fetch-Site", "none"},
            {"Sec-Fetch-User", "?1"}};
}

// A form sent from the engine's own page, as a browser sends it.
BrowserRequest::Fields formHeaders(const QByteArray &origin)
{
    BrowserRequest::Fields h = desktopHeaders();
    for (auto &field : h) {
        if (field.first == "Sec-Fetch-Site")
            field.second = "same-origin";
    }
    h.append({"Origin", origin});
    h.append({"Referer", origin + '/'});
    return h;
}

// The query text as a browser encodes a form field.
QString formQuery(const QString &search)
{
    QByteArray encoded = QUrl::toPercentEncoding(search);
    encoded.replace("%20", "+");
    return QString::fromLatin1(encoded);
}

// ---- Readers: which links of a page are its organic results ----------------------------

bool withinClassContaining(const Path &path, QLatin1String part)
{
    for (const Element &e : path) {
        if (e.classes.contains(part))
            return true;
    }
    return false;
}

bool googleResult(const Path &path, const Element &)
{
    // Results of the script-free page (egMi0) and of the browser's page (g); ads sit in
    // uEierd and lead to Google's own addresses.
    return (within(path, QLatin1String("div"), QLatin1String("g")) ||
            within(path, QLatin1String("div"), QLatin1String("egMi0"))) &&
           !within(path, QLatin1String("div"), QLatin1String("uEierd"));
}

bool yahooResult(const Path &path, const Element &)
{
    // The title links of the web results; ads, answers folded away and cards stay out.
    return within(path, QLatin1String("ol"), QLatin1String("searchCenterMiddle")) &&
           within(path, QLatin1String("div"), QLatin1String("compTitle")) &&
           !within(path, QLatin1String(), QLatin1String("ads")) &&
           !within(path, QLatin1String(), QLatin1String("hidden"));
}

bool braveResult(const Path &path, const Element &)
{
    // Web results are snippets of data-type "web"; videos, questions and the info box
    // are snippets of other kinds.
    for (const Element &e : path) {
        if (e.hasClass(QLatin1String("snippet")) &&
            e.attribute(QLatin1String("data-type")) == QLatin1String("web"))
            return true;
    }
    return false;
}

bool mojeekResult(const Path &path, const Element &)
{
    return within(path, QLatin1String("ul"), QLatin1String("results-standard"));
}

bool bingResult(const Path &path, const Element &)
{
    // Answers that quote a result are div.b_algo; the results list holds li.b_algo, some
    // with a box of pages "recommended" beside the result.
    return within(path, QLatin1String("li"), QLatin1String("b_algo")) &&
           !withinClassContaining(path, QLatin1String("pageReco"));
}

bool duckDuckGoResult(const Path &path, const Element &)
{
    for (const Element &e : path) {
        if (e.hasClass(QLatin1String("result")))
            return !e.hasClass(QLatin1String("result--ad"));
    }
    return false;
}

bool startpageResult(const Path &path, const Element &)
{
    // The results list (div.result in div.w-gl), and the earlier markup of a result
    // (w-gl__result…).
    return withinClassContaining(path, QLatin1String("w-gl__result")) ||
           (within(path, QLatin1String(), QLatin1String("w-gl")) &&
            within(path, QLatin1String("div"), QLatin1String("result")));
}

bool ecosiaResult(const Path &path, const Element &)
{
    // The feedback menu of each result links to the search providers' help pages.
    return within(path, QLatin1String("article"), QLatin1String("web-result")) &&
           !withinClassContaining(path, QLatin1String("feedback"));
}

// ---- The table ---------------------------------------------------------------------------

QList<SearchEngine> makeTable()
{
    QList<SearchEngine> table;

    // The two engines of the reference, with their addresses exactly as before.
    SearchEngine google;
    google.displayName = QStringLiteral("Google Search");
    google.toolName = QStringLiteral("google");
    google.origin = QStringLiteral("http://www.google.com");
    google.firstPage = QStringLiteral("/search?num=100&hl=en&lr=&ie=UTF-8&oe=UTF-8&safe=off&filter="
                                      "0&start={offset}&sa=N&q={terms}");
    google.pageSize = 100;
    google.referenceTerms = true;
    google.referenceReading = true;
    google.isResultLink = googleResult;
    google.ownDomains = {QStringLiteral("google.*"),
                         QStringLiteral("gstatic.com"),
                         QStringLiteral("googleusercontent.com"),
                         QStringLiteral("googleadservices.com"),
                         QStringLiteral("googlesyndication.com"),
                         QStringLiteral("doubleclick.net")};
    google.blockMarkers = {{QStringLiteral("Before you continue to Google"),
                            QStringLiteral("Google asks for consent to its cookies first")}};
    google.noResultMarkers = {QStringLiteral("did not match any documents")};
    table.append(google);

    SearchEngine yahoo;
    yahoo.displayName = QStringLiteral("Yahoo Search");
    yahoo.toolName = QStringLiteral("yahoo");
    yahoo.origin = QStringLiteral("http://search.yahoo.com");
    yahoo.firstPage = QStringLiteral("/search/dir?h=s&xargs=0&p={terms}&b={first}");
    yahoo.pageSize = 20;
    yahoo.referenceTerms = true;
    yahoo.referenceReading = true;
    yahoo.isResultLink = yahooResult;
    yahoo.ownDomains = {QStringLiteral("yahoo.*"), QStringLiteral("yimg.com"),
                        QStringLiteral("bing.com"), QStringLiteral("bingj.com")};
    yahoo.noResultMarkers = {QStringLiteral("We did not find results for")};
    table.append(yahoo);

    SearchEngine brave;
    brave.displayName = QStringLiteral("Brave Search");
    brave.toolName = QStringLiteral("brave");
    brave.origin = QStringLiteral("https://search.brave.com");
    brave.firstPage = QStringLiteral("/search?q={terms}&source=web");
    brave.laterPages = QStringLiteral("/search?q={terms}&source=web&offset={page}");
    brave.pageSize = 20;
    brave.headers = desktopHeaders();
    brave.isResultLink = braveResult;
    brave.ownDomains = {QStringLiteral("brave.com"), QStringLiteral("brave.app"),
                        QStringLiteral("bravesoftware.com")};
    brave.blockMarkers = {{QStringLiteral("Solve the Captcha"),
                           QStringLiteral("Brave Search asks to solve a captcha first")}};
    table.append(brave);

    SearchEngine mojeek;
    mojeek.displayName = QStringLiteral("Mojeek");
    mojeek.toolName = QStringLiteral("mojeek");
    mojeek.origin = QStringLiteral("https://www.mojeek.com");
    mojeek.firstPage = QStringLiteral("/search?q={terms}");
    mojeek.laterPages = QStringLiteral("/search?q={terms}&s={first}");
    mojeek.headers = desktopHeaders();
    mojeek.isResultLink = mojeekResult;
    mojeek.ownDomains = {QStringLiteral("mojeek.com"), QStringLiteral("mojeek.co.uk")};
    mojeek.noResultMarkers = {QStringLiteral("No pages found matching")};
    table.append(mojeek);

    SearchEngine bing;
    bing.displayName = QStringLiteral("Bing");
    bing.toolName = QStringLiteral("bing");
    bing.origin = QStringLiteral("https://www.bing.com");
    bing.firstPage = QStringLiteral("/search?q={terms}&form=QBLH");
    bing.laterPages = QStringLiteral("/search?q={terms}&first={first}&FORM=PERE");
    bing.headers = desktopHeaders();
    bing.isResultLink = bingResult;
    bing.ownDomains = {QStringLiteral("bing.*"), QStringLiteral("bingj.com"),
                       QStringLiteral("microsoft.com"), QStringLiteral("live.com")};
    bing.blockMarkers = {{QStringLiteral("solve the challenge below"),
                          QStringLiteral("Bing asks to solve a challenge first")}};
    bing.noResultMarkers = {QStringLiteral("class=\"b_no\"")};
    table.append(bing);

    // The script-free endpoint; its form is a POST, and later pages repeat the fields of
    // its "Next" form.
    SearchEngine ddg;
    ddg.displayName = QStringLiteral("DuckDuckGo");
    ddg.toolName = QStringLiteral("duckduckgo");
    ddg.origin = QStringLiteral("https://html.duckduckgo.com");
    ddg.post = true;
    ddg.firstPage = QStringLiteral("/html/");
    ddg.firstBody = QStringLiteral("q={terms}&b=&kl=wt-wt");
    ddg.laterBody =
        QStringLiteral("q={terms}&s={offset}&nextParams=&v=l&o=json&dc={first}&api=d.js&kl=wt-wt");
    ddg.headers = formHeaders("https://html.duckduckgo.com");
    ddg.isResultLink = duckDuckGoResult;
    ddg.ownDomains = {QStringLiteral("duckduckgo.com"), QStringLiteral("duck.com")};
    ddg.blockMarkers = {{QStringLiteral("anomaly-modal"),
                         QStringLiteral("DuckDuckGo asks to prove not being a bot first")},
                        {QStringLiteral("bots use DuckDuckGo too"),
                         QStringLiteral("DuckDuckGo asks to prove not being a bot first")}};
    ddg.noResultMarkers = {QStringLiteral("class=\"no-results\"")};
    table.append(ddg);

    // The search form carries a token ("sc") that the home page hands out.
    SearchEngine startpage;
    startpage.displayName = QStringLiteral("Startpage");
    startpage.toolName = QStringLiteral("startpage");
    startpage.origin = QStringLiteral("https://www.startpage.com");
    startpage.post = true;
    startpage.firstPage = QStringLiteral("/sp/search");
    startpage.firstBody =
        QStringLiteral("query={terms}&cat=web&t=device&sc=&with_date=&abp=1&abd=1&abe=1");
    startpage.laterBody = QStringLiteral(
        "query={terms}&cat=web&t=device&sc=&with_date=&abp=1&abd=1&abe=1&page={pagenum}");
    startpage.headers = formHeaders("https://www.startpage.com");
    startpage.tokenPage = QStringLiteral("/");
    startpage.tokenField = "sc";
    startpage.isResultLink = startpageResult;
    startpage.ownDomains = {QStringLiteral("startpage.com"), QStringLiteral("startmail.com")};
    startpage.noResultMarkers = {QStringLiteral("there are no results for this search")};
    table.append(startpage);

    SearchEngine ecosia;
    ecosia.displayName = QStringLiteral("Ecosia");
    ecosia.toolName = QStringLiteral("ecosia");
    ecosia.origin = QStringLiteral("https://www.ecosia.org");
    ecosia.firstPage = QStringLiteral("/search?method=index&q={terms}");
    ecosia.laterPages = QStringLiteral("/search?method=index&q={terms}&p={page}");
    ecosia.headers = desktopHeaders();
    ecosia.isResultLink = ecosiaResult;
    ecosia.ownDomains = {QStringLiteral("ecosia.org"), QStringLiteral("ecosia.co"),
                         QStringLiteral("ecosia.net")};
    table.append(ecosia);

    return table;
}

// Signs every engine shares, looked for in the page without its scripts and styles, and
// only when the page holds no organic result (a result may quote such words).
const QList<Signature> &sharedBlockMarkers()
{
    static const QList<Signature> markers = {
        {QStringLiteral("unusual traffic"),
         QStringLiteral("the engine saw unusual traffic from this network and asks for a captcha")},
        {QStringLiteral("automated queries"),
         QStringLiteral("the engine takes the searches for automated queries and refuses them")},
        {QStringLiteral("IP Blocked"),
         QStringLiteral("the engine has blocked the address of this network")},
        {QStringLiteral("Verifying your request"),
         QStringLiteral("the engine is checking whether a browser is asking")},
        {QStringLiteral("not yet available in your country"),
         QStringLiteral("the engine does not serve this country")},
        {QStringLiteral("/httpservice/retry/enablejs"),
         QStringLiteral("the engine answers only browsers that run JavaScript")},
        {QStringLiteral("challenge-form"),
         QStringLiteral("the engine shows a challenge in place of the results")},
        {QStringLiteral("cf-turnstile"),
         QStringLiteral("the engine shows a challenge in place of the results")},
        {QStringLiteral("g-recaptcha"), QStringLiteral("the engine asks for a captcha")},
        {QStringLiteral("h-captcha"), QStringLiteral("the engine asks for a captcha")},
        {QStringLiteral("not a robot"),
         QStringLiteral("the engine asks to prove that a person is searching")},
    };
    return markers;
}

QString blockMarkerReason(const SearchEngine &engine, const QString &page)
{
    for (const QList<Signature> *list : {&engine.blockMarkers, &sharedBlockMarkers()}) {
        for (const Signature &s : *list) {
            if (page.contains(s.marker, Qt::CaseInsensitive))
                return s.reason;
        }
    }
    return QString();
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

const QList<SearchEngine> &all()
{
    static const QList<SearchEngine> table = makeTable();
    return table;
}

const SearchEngine *find(const QString &name)
{
    for (const SearchEngine &e : all()) {
        if (name.compare(e.toolName, Qt::CaseInsensitive) == 0 ||
            name.compare(e.displayName, Qt::CaseInsensitive) == 0)
            return &e;
    }
    return nullptr;
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
    if (!engine.isResultLink)
        return links;
    HtmlScan::forEachLink(html,
                          [&](const Path &enclosing, const Element &link, const QString &href) {
                              if (!engine.isResultLink(enclosing, link))
                                  return;
                              const QUrl target = ResultLinks::target(href, pageAddress);
                              if (target.isValid() && !isOwnDomain(engine, target.host()))
                                  links.append(target);
                          });
    return links;
}

PageVerdict readPage(const SearchEngine &engine, const BrowserPage &page,
                     DomainNames::Endings endings, const DiscoveryConfig &config)
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
    if (v.reason.isEmpty())
        v.reason = blockedAddressReason(page.finalUrl);
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
        const QString blockReason = blockMarkerReason(engine, visible);
        if (!blockReason.isEmpty() &&
            (!referenceReading || resultLinks(engine, page.html, address).isEmpty())) {
            v.outcome = Outcome::Blocked;
            v.reason = blockReason;
            return v;
        }
        if (saysNoResults(engine, visible)) {
            v.reason = QStringLiteral("the engine found nothing for this search");
            return v;
        }
    }
    if (referenceReading) {
        DomainExtractor::SeenNames seen;
        v.names = DomainExtractor::extractDomainNames(page.html, seen, config);
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
