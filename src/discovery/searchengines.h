#pragma once

#include "browser.h"
#include "discoveryconfig.h"
#include "domainnames.h"
#include "htmlscan.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// The search engines discovery can ask, one entry each: how to ask for a result page, how
// to read its organic result links, and how to tell a page by which the engine refuses
// the search. When an engine changes its pages, its entry here is the one place to change.
namespace SearchEngines {

// A marker and what it means, in words for the status and the tool.
struct Signature
{
    QString marker;
    QString reason;
};

struct SearchEngine
{
    QString displayName; // "Brave Search": the text of the engine list
    QString toolName;    // "brave": varnel-tool's name for it

    // The request. Addresses and bodies are templates: {terms} the query text, {offset}
    // the result offset (0, 10, 20 …), {first} the offset plus 1, {page} the page index
    // (offset / pageSize), {pagenum} the page index plus 1.
    QString origin;                 // scheme and host, e.g. "https://search.brave.com"
    bool post = false;              // the form is sent as a POST body
    QString firstPage;              // path and query of the first page (POST: the form's path)
    QString laterPages;             // of the pages after it; empty: as the first
    QString firstBody;              // POST form body of the first page
    QString laterBody;              // of the pages after it; empty: as the first
    int pageSize = 10;              // results per page, the step of the offset
    bool referenceTerms = false;    // the query text as the reference writes it into the address
    BrowserRequest::Fields headers; // beyond the browser's own
    BrowserRequest::Fields cookies;
    QString tokenPage;     // path of the page whose form holds a token, empty: none
    QByteArray tokenField; // the token's hidden input, filled into the same field

    // The reading. Under the reference endings the engines of the reference read the whole
    // page by the reference rules (DomainExtractor); every other reading takes the links
    // that isResultLink accepts, with their wrappers taken off.
    bool referenceReading = false;
    bool (*isResultLink)(const HtmlScan::Path &enclosing, const HtmlScan::Element &link) = nullptr;
    // The engine's own registrable domains, never a result; "google.*" stands for every
    // ending of that name.
    QStringList ownDomains;

    // Signs of a block in the page (scripts and styles left out) beyond those every engine
    // shares, and of a page that says the search found nothing.
    QList<Signature> blockMarkers;
    QStringList noResultMarkers;

    // The request for the result page at a result offset. search is the text to look for
    // (with " fax" already added when asked).
    BrowserRequest request(const QString &search, qint64 offset) const;
    // The address a page of this engine was read from when nothing else is known.
    QUrl pageAddress() const { return QUrl(origin + QLatin1Char('/')); }
};

// Every engine, in the order of the engine list: the two of the reference first.
const QList<SearchEngine> &all();
// By tool name ("brave") or display name ("Brave Search"), letter case ignored; null
// when there is none.
const SearchEngine *find(const QString &name);

// What a result page says.
enum class Outcome
{
    Results,   // organic results were read
    NoResults, // the engine found nothing, or the page holds no result
    Blocked,   // the engine refuses: captcha, consent wall, block or rate limit
    NoAnswer   // no response at all
};

struct PageVerdict
{
    Outcome outcome = Outcome::NoResults;
    QString reason;    // in words, for Blocked, NoResults and NoAnswer
    QStringList names; // the organic result names, unique, in page order; empty unless Results
};

// Reads one completed page of an engine. A page that is blocked, unanswered or says it
// found nothing yields no names. The page's final address (after redirects) and HTTP
// status count when the browser knows them (a saved page has neither). config names the
// domains the reference reading leaves out (the reference engines' own).
PageVerdict readPage(const SearchEngine &engine, const BrowserPage &page,
                     DomainNames::Endings endings,
                     const DiscoveryConfig &config = DiscoveryConfig());

// The signs every engine shares: HTTP statuses, words in the final address, markers in
// the page. Exposed for the tests and the tool.
QString blockedStatusReason(int httpStatus);
QString blockedAddressReason(const QString &finalUrl);

// The organic result links of a page as the engine's reader sees them (wrappers taken
// off, the engine's own left out), before names are made of them.
QList<QUrl> resultLinks(const SearchEngine &engine, const QString &html, const QUrl &pageAddress);

} // namespace SearchEngines

Q_DECLARE_METATYPE(SearchEngines::Outcome)
