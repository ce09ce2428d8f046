#pragma once

#include "browser.h"
#include "domainnames.h"
#include "enginerests.h"
#include "htmlscan.h"
#include "linkselector.h"
#include "resultlinks.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// The search engines discovery can ask, one definition file each: how to ask for a result
// page, how to read its organic result links, how to tell a page by which the engine
// refuses the search, and how long to rest the engine after each kind of refusal. The
// definitions ship with the program (resources/engines/NAME.json, installed beside the
// other resources); files of the data folder's engines/ override or add to them. When an
// engine changes its pages, its file is the one place to change.
namespace SearchEngines {

// A marker and what it means, in words for the status and the tool.
struct Signature
{
    QString marker;
    QString reason;
    EngineRests::Kind kind = EngineRests::Kind::Captcha;
};

struct SearchEngine
{
    QString displayName; // "Brave Search": its title, the text of the engine list
    QString toolName;    // "brave": its file's name, varnel-tool's name for it
    int order = 0;       // its place in the engine list
    QString file;        // the definition it was read from

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

    // The reading. With the reference endings an engine of the line reading reads the whole
    // page by the reference rules (DomainExtractor), leaving out the lines that mention one
    // of skipLinesWith; every other reading takes the links inside a results selector and
    // inside no except selector, with their wrappers taken off.
    bool referenceReading = false;
    QStringList skipLinesWith;
    QList<LinkSelector> results;
    QList<LinkSelector> except;
    QList<ResultLinks::Wrapper> wrappers;
    // The engine's own registrable domains, never a result; "google.*" stands for every
    // ending of that name.
    QStringList ownDomains;

    // Signs of a block in the page (scripts and styles left out) beyond those every engine
    // shares, and of a page that says the search found nothing.
    QList<Signature> blockMarkers;
    QStringList noResultMarkers;

    // How long the engine rests after each kind of refusal, in seconds (0: not at all).
    qint64 restSeconds[4] = {24 * 3600, 3600, 6 * 3600, 600};
    qint64 restFor(EngineRests::Kind kind) const { return restSeconds[int(kind)]; }

    // The request for the result page at a result offset. search is the text to look for
    // (with " fax" already added when asked).
    BrowserRequest request(const QString &search, qint64 offset) const;
    // The address a page of this engine was read from when nothing else is known.
    QUrl pageAddress() const { return QUrl(origin + QLatin1Char('/')); }
    // A link inside these enclosing elements is one of the organic results.
    bool isResultLink(const HtmlScan::Path &enclosing) const;
};

// Why a definition could not be read: the file, the line (0: the whole file) and what is
// wrong, and the engine left out for it.
struct Problem
{
    QString file;
    int line = 0;
    QString what;
    QString engine;
    int column = 0; // where the JSON breaks off, when it does
    // "FILE, line N: WHAT; the engine NAME is left out"
    QString text() const;
};

// Reads one definition: the JSON text of the engine named name (its file's name without
// ".json"); file names it in problems. Nothing, with *problem filled, when it cannot be read.
std::optional<SearchEngine> readDefinition(const QByteArray &json, const QString &name,
                                           const QString &file, Problem *problem);

// The engines of a set of definition folders, in the order of the engine list.
class Catalog
{
public:
    // The definitions shipped with the program, then those of dataDir's "engines" folder.
    static Catalog load(const QString &dataDir);
    // The definitions of these folders (NAME.json each), a later folder's overriding an
    // earlier one's of the same name or adding to them. A definition that cannot be read is
    // a problem, and its engine is left out.
    static Catalog fromFolders(const QStringList &folders);

    const QList<SearchEngine> &engines() const { return m_engines; }
    // By tool name ("brave") or title ("Brave Search"), letter case ignored; null when there
    // is none.
    const SearchEngine *find(const QString &name) const;
    const QList<Problem> &problems() const { return m_problems; }

private:
    QList<SearchEngine> m_engines;
    QList<Problem> m_problems;
};

// The folder of the shipped definitions: beside the installed program, in the installed
// share folder or in the source tree; empty when there is none.
QString shippedFolder();
// The folder of a data folder's own definitions.
QString dataFolderOf(const QString &dataDir);
// The shipped definitions, read once.
const Catalog &shipped();
// Shortcuts to the shipped engines.
const QList<SearchEngine> &all();
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
    QString reason; // in words, for Blocked, NoResults and NoAnswer
    // Blocked, NoAnswer: the kind of refusal, which says how long the engine rests.
    EngineRests::Kind refusal = EngineRests::Kind::NoAnswer;
    bool nothingFound = false; // NoResults: the page says the search found nothing
    QStringList names; // the organic result names, unique, in page order; empty unless Results
};

// Reads one completed page of an engine. A page that is blocked, unanswered or says it
// found nothing yields no names. The page's final address (after redirects) and HTTP
// status count when the browser knows them (a saved page has neither).
PageVerdict readPage(const SearchEngine &engine, const BrowserPage &page,
                     DomainNames::Endings endings);

// The signs every engine shares: HTTP statuses, words in the final address, markers in
// the page. Exposed for the tests and the tool.
QString blockedStatusReason(int httpStatus);
EngineRests::Kind refusalOfStatus(int httpStatus);
QString blockedAddressReason(const QString &finalUrl);

// The organic result links of a page as the engine's reader sees them (wrappers taken
// off, the engine's own left out), before names are made of them.
QList<QUrl> resultLinks(const SearchEngine &engine, const QString &html, const QUrl &pageAddress);

} // namespace SearchEngines

Q_DECLARE_METATYPE(SearchEngines::Outcome)
