// varnel-tool domains: the names the list builder would take from one result page.

#include "tool.h"
#include "toolargs.h"

#include "domainextractor.h"
#include "domainnames.h"
#include "toolengines.h"

#include <QFile>
#include <QSet>
#include <QStringDecoder>

#include <cstdio>

static int runDomains(const QStringList &args);

static ToolCommand cmd("domains",
                       "varnel-tool domains [--data-dir DIR] [--engine NAME] [--all-endings] FILE",
                       "print the domain names a search result page (HTML in FILE) yields, one "
                       "a line; with --engine, read as that engine's page (see varnel-tool "
                       "engines; the data folder's definitions count), and a page by which the "
                       "engine refuses the search prints \"blocked: REASON\" on standard error "
                       "and exits with status 3; --all-endings keeps every domain ending",
                       runDomains);

namespace {

constexpr int kBlockedExit = 3;

// Every host of the reference reading's candidate lines, whatever their ending, as
// registrable domains.
QStringList referenceReadingAllEndings(const QString &page, const QStringList &skip)
{
    QStringList names;
    QSet<QString> seen;
    const QStringList lines = DomainExtractor::splitLines(DomainExtractor::prepareResultText(page));
    for (const QString &line : lines) {
        const QString host = DomainExtractor::candidateHost(line, skip, true);
        const QString name = DomainNames::registrableDomain(host);
        if (!name.isEmpty() && !seen.contains(name)) {
            seen.insert(name);
            names.append(name);
        }
    }
    return names;
}

} // namespace

static int runDomains(const QStringList &args)
{
    ToolArgs parser(args);
    parser.addStoreOptions(false);
    parser.addValue(QStringLiteral("engine"), QStringLiteral("NAME"));
    parser.addSwitch(QStringLiteral("all-endings"));
    QString error;
    if (!parser.parse(&error) || parser.positional().size() != 1)
        return Tool::usageError(cmd);
    const QString engineName = parser.value(QStringLiteral("engine"));
    const QString dataDir = parser.dataDir();
    const QString path = parser.positional().first();
    const bool allEndings = parser.isSet(QStringLiteral("all-endings"));
    const std::shared_ptr<const SearchEngines::Catalog> engines = ToolEngines::load(dataDir);
    const SearchEngines::SearchEngine *engine = nullptr;
    if (!engineName.isEmpty()) {
        engine = engines->find(engineName);
        if (!engine) {
            std::fprintf(stderr, "varnel-tool: no engine named '%s' (see varnel-tool engines)\n",
                         qPrintable(engineName));
            return 2;
        }
    }

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Tool::fileError(path, file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Tool::fileError(path, file.errorString());

    // Pages saved from a browser are UTF-8; anything else is read byte for byte, which
    // keeps every ASCII host name intact.
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);

    const DomainNames::Endings endings =
        allEndings ? DomainNames::Endings::Every : DomainNames::Endings::Reference;
    QStringList names;
    if (engine) {
        BrowserPage page;
        page.html = text;
        const SearchEngines::PageVerdict verdict = SearchEngines::readPage(*engine, page, endings);
        if (verdict.outcome == SearchEngines::Outcome::Blocked) {
            std::fprintf(stderr, "blocked: %s\n", qPrintable(verdict.reason));
            return kBlockedExit;
        }
        if (verdict.outcome == SearchEngines::Outcome::NoResults)
            std::fprintf(stderr, "no results: %s\n", qPrintable(verdict.reason));
        names = verdict.names;
    } else {
        // Without an engine, the page is read as the list builder reads the first engine's
        // by the reference rules.
        const QStringList skip =
            engines->engines().isEmpty() ? QStringList() : engines->engines().first().skipLinesWith;
        DomainExtractor::SeenNames seen;
        names = allEndings ? referenceReadingAllEndings(text, skip)
                           : DomainExtractor::extractDomainNames(text, seen, skip);
    }

    QByteArray out;
    for (const QString &name : names)
        out += Tool::printable(name) + '\n';
    if (!Tool::writeStdout(out))
        return Tool::fileError(QStringLiteral("standard output"), QStringLiteral("write failed"));
    return 0;
}
