// varnel-tool engines: the search engines discovery can ask, their definitions, their rests
// and whether they answer.

#include "tool.h"

#include "datadir.h"
#include "enginerests.h"
#include "httpbrowser.h"
#include "openstore.h"
#include "store.h"
#include "toolargs.h"
#include "toolengines.h"
#include "toolstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>

#include <cstdio>

static int runEngines(const QStringList &args);

static ToolCommand
    cmd("engines",
        "varnel-tool engines [--data-dir DIR] [--store URI] [--wake NAME | --export DIR | --check "
        "[--engine NAME] [--search TEXT] [--engine-origin NAME=URL]... [--timeout S]]",
        "list the search engines (the name for --engine, the name in the engine list, the address "
        "asked, where the definition comes from, and whether the engine rests after a refusal); "
        "--wake NAME ends an engine's rest; --export DIR writes the shipped definitions into DIR "
        "for editing (copy them into the data folder's engines/ to use them); --check asks each "
        "engine one search and says whether it answers with results (exit status 3 when one "
        "does not)",
        runEngines);

namespace {

constexpr int kCheckFailedExit = 3;

struct Options
{
    QString dataDir;
    QString store;
    QString wake;
    QString exportDir;
    bool check = false;
    QString engine;
    QString search = QStringLiteral("plumber");
    QHash<QString, QString> origins; // by the name given; checked once the engines are read
    int timeoutSeconds = 30;
};

bool parse(const QStringList &args, Options *o, QString *error)
{
    ToolArgs parser(args);
    parser.addStoreOptions();
    for (const char *name : {"wake", "export", "engine", "search", "engine-origin", "timeout"})
        parser.addValue(QLatin1String(name), QStringLiteral("VALUE"));
    parser.addSwitch(QStringLiteral("check"));
    if (!parser.parse(error) || !parser.refuseWords(error))
        return false;
    o->dataDir = parser.dataDir();
    o->store = parser.storeOption();
    bool checkOnly = false;
    // In the order given: the first value that is wrong is the one named.
    for (const auto &[name, v] : parser.inOrder()) {
        if (name == QLatin1String("wake")) {
            o->wake = v;
        } else if (name == QLatin1String("export")) {
            o->exportDir = v;
        } else if (name == QLatin1String("check")) {
            o->check = true;
        } else if (name == QLatin1String("engine")) {
            checkOnly = true;
            o->engine = v;
        } else if (name == QLatin1String("search")) {
            checkOnly = true;
            o->search = v;
            if (o->search.trimmed().isEmpty()) {
                *error = QStringLiteral("--search needs a text to look for");
                return false;
            }
        } else if (name == QLatin1String("engine-origin")) {
            checkOnly = true;
            const qsizetype eq = v.indexOf(QLatin1Char('='));
            const QUrl origin(v.mid(eq + 1));
            if (eq <= 0 || !origin.isValid() ||
                (origin.scheme() != QLatin1String("http") &&
                 origin.scheme() != QLatin1String("https"))) {
                *error = QStringLiteral("--engine-origin is NAME=URL, URL an http or https "
                                        "address");
                return false;
            }
            o->origins.insert(v.left(eq), v.mid(eq + 1));
        } else if (name == QLatin1String("timeout")) {
            checkOnly = true;
            bool ok = false;
            o->timeoutSeconds = v.toInt(&ok);
            if (!ok || o->timeoutSeconds < 1 || o->timeoutSeconds > 600) {
                *error = QStringLiteral("--timeout is a number of seconds from 1 to 600");
                return false;
            }
        }
    }
    const int modes = int(o->check) + int(!o->wake.isEmpty()) + int(!o->exportDir.isEmpty());
    if (modes > 1) {
        *error = QStringLiteral("--wake, --export and --check go one at a time");
        return false;
    }
    if (checkOnly && !o->check) {
        *error = QStringLiteral("--engine, --search, --engine-origin and --timeout go with "
                                "--check");
        return false;
    }
    return true;
}

QString dataDirOf(const Options &o)
{
    return o.dataDir.isEmpty() ? DataDir::defaultPath() : QDir(o.dataDir).absolutePath();
}

// The store that keeps the rests, when there is one: a plain listing creates no store file.
std::unique_ptr<Store> existingStore(const Options &o)
{
    const QString location = ToolStore::location(o.store, dataDirOf(o));
    if (!StoreLocation::isServer(location) && !QFileInfo::exists(ToolStore::filePath(location)))
        return nullptr;
    return ToolStore::open(location);
}

int list(const Options &o, const SearchEngines::Catalog &engines)
{
    std::unique_ptr<Store> store = existingStore(o);
    QHash<QString, EngineRests::Rest> rests;
    QDateTime now = QDateTime::currentDateTime();
    if (store) {
        EngineRests::StoreBook book(store.get());
        now = book.now();
        const auto current = book.current();
        if (!current)
            return 1; // the store's problem has been printed
        rests = *current;
    }
    const QString shipped = SearchEngines::shippedFolder();
    QByteArray out;
    for (const SearchEngines::SearchEngine &e : engines.engines()) {
        const bool own = shipped.isEmpty() ||
                         QFileInfo(e.file).absolutePath() != QFileInfo(shipped).absoluteFilePath();
        const auto rest = rests.constFind(e.toolName);
        out += e.toolName.toUtf8() + '\t' + e.displayName.toUtf8() + '\t' +
               (e.post ? "POST " : "GET ") + (e.origin + e.firstPage).toUtf8() + '\t' +
               (own ? "data folder" : "shipped") + '\t' +
               (rest == rests.constEnd() ? QByteArray("ready")
                                         : EngineRests::stateText(*rest, now).toUtf8()) +
               '\n';
    }
    if (!Tool::writeStdout(out))
        return Tool::fileError(QStringLiteral("standard output"), QStringLiteral("write failed"));
    return engines.problems().isEmpty() ? 0 : 1;
}

int wake(const Options &o, const SearchEngines::Catalog &engines)
{
    const SearchEngines::SearchEngine *e = engines.find(o.wake);
    const QString name = e ? e->toolName : o.wake.toLower();
    std::unique_ptr<Store> store = existingStore(o);
    std::optional<QHash<QString, EngineRests::Rest>> rests;
    if (store) {
        EngineRests::StoreBook book(store.get());
        rests = book.current();
        if (!rests)
            return 1;
        if (rests->contains(name) && !book.wake(name))
            return 1;
    }
    if (!e && (!rests || !rests->contains(name))) {
        std::fprintf(stderr, "varnel-tool: no engine named '%s' (see varnel-tool engines)\n",
                     Tool::printable(o.wake).constData());
        return 2;
    }
    std::printf("%s: %s\n", Tool::printable(name).constData(),
                rests && rests->contains(name) ? "awake, asked again from now on"
                                               : "was not resting");
    return 0;
}

int exportDefinitions(const Options &o)
{
    const QString from = SearchEngines::shippedFolder();
    if (from.isEmpty())
        return Tool::fileError(QStringLiteral("engines"),
                               QStringLiteral("the definitions shipped with the program were "
                                              "not found"));
    QDir to(o.exportDir);
    if (!to.mkpath(QStringLiteral(".")))
        return Tool::fileError(o.exportDir, QStringLiteral("the folder cannot be made"));
    const QStringList names =
        QDir(from).entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    int rc = 0;
    for (const QString &name : names) {
        const QString target = to.filePath(name);
        // A definition edited before is never overwritten.
        if (QFileInfo::exists(target)) {
            std::fprintf(stderr, "varnel-tool: %s exists already; not overwritten\n",
                         qPrintable(QDir::toNativeSeparators(target)));
            rc = 1;
            continue;
        }
        QFile in(QDir(from).filePath(name));
        QSaveFile out(target);
        if (!in.open(QIODevice::ReadOnly))
            return Tool::fileError(in.fileName(), in.errorString());
        if (!out.open(QIODevice::WriteOnly) || out.write(in.readAll()) < 0 || !out.commit())
            return Tool::fileError(target, out.errorString());
        std::printf("%s\n", qPrintable(QDir::toNativeSeparators(target)));
    }
    return rc;
}

// One engine asked once: the page of its first results, or why there is none.
BrowserPage askOnce(HttpBrowser &browser, const BrowserRequest &request, int timeoutSeconds)
{
    BrowserPage page;
    bool done = false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    const QMetaObject::Connection c =
        QObject::connect(&browser, &Browser::documentComplete, &loop, [&](const BrowserPage &p) {
            page = p;
            done = true;
            loop.quit();
        });
    browser.load(request);
    timer.start(timeoutSeconds * 1000);
    if (!done)
        loop.exec();
    QObject::disconnect(c);
    if (!done) {
        browser.stop();
        page = BrowserPage();
        page.url = request.url;
        page.answered = false;
        page.errorText = QStringLiteral("nothing within %1 seconds").arg(timeoutSeconds);
    }
    return page;
}

int check(const Options &o, const SearchEngines::Catalog &engines)
{
    QList<const SearchEngines::SearchEngine *> asked;
    if (!o.engine.isEmpty()) {
        const SearchEngines::SearchEngine *e = engines.find(o.engine);
        if (!e) {
            std::fprintf(stderr, "varnel-tool: no engine named '%s' (see varnel-tool engines)\n",
                         Tool::printable(o.engine).constData());
            return 2;
        }
        asked << e;
    } else {
        for (const SearchEngines::SearchEngine &e : engines.engines())
            asked << &e;
    }
    QHash<QString, QString> origins;
    for (auto it = o.origins.cbegin(); it != o.origins.cend(); ++it) {
        const SearchEngines::SearchEngine *e = engines.find(it.key());
        if (!e) {
            std::fprintf(stderr, "varnel-tool: --engine-origin: no engine named '%s'\n",
                         Tool::printable(it.key()).constData());
            return 2;
        }
        origins.insert(e->toolName, it.value());
    }

    HttpBrowser browser;
    int failed = 0;
    for (const SearchEngines::SearchEngine *e : qAsConst(asked)) {
        SearchEngines::SearchEngine engine = *e;
        engine.origin = origins.value(engine.toolName, engine.origin);
        browser.resetSession();
        const BrowserPage page = askOnce(browser, engine.request(o.search, 0), o.timeoutSeconds);
        const SearchEngines::PageVerdict v =
            SearchEngines::readPage(engine, page, DomainNames::Endings::Every);
        QString line;
        switch (v.outcome) {
        case SearchEngines::Outcome::Results:
            line = QStringLiteral("answers (%1 result domains)").arg(v.names.size());
            break;
        case SearchEngines::Outcome::Blocked:
            line = QStringLiteral("refused (%1): %2").arg(EngineRests::label(v.refusal), v.reason);
            break;
        case SearchEngines::Outcome::NoAnswer:
            line = QStringLiteral("no answer: %1")
                       .arg(page.errorText.isEmpty() ? v.reason : page.errorText);
            break;
        case SearchEngines::Outcome::NoResults:
            line = v.nothingFound
                       ? QStringLiteral("answers, but found nothing for \"%1\"").arg(o.search)
                       : QStringLiteral("answers but no results read: the page does not look "
                                        "as its definition expects (%1 needs updating)")
                             .arg(QDir::toNativeSeparators(e->file));
            break;
        }
        if (v.outcome != SearchEngines::Outcome::Results)
            ++failed;
        std::printf("%s\t%s\n", e->toolName.toUtf8().constData(),
                    Tool::printable(line).constData());
        std::fflush(stdout);
    }
    return failed ? kCheckFailedExit : (engines.problems().isEmpty() ? 0 : 1);
}

} // namespace

std::shared_ptr<const SearchEngines::Catalog> ToolEngines::load(const QString &dataDir)
{
    auto catalog = std::make_shared<const SearchEngines::Catalog>(SearchEngines::Catalog::load(
        dataDir.isEmpty() ? DataDir::defaultPath() : QDir(dataDir).absolutePath()));
    for (const SearchEngines::Problem &p : catalog->problems())
        std::fprintf(stderr, "varnel-tool: %s\n", Tool::printable(p.text()).constData());
    return catalog;
}

static int runEngines(const QStringList &args)
{
    Options o;
    QString error;
    if (!parse(args, &o, &error)) {
        std::fprintf(stderr, "varnel-tool engines: %s\n", qPrintable(error));
        return Tool::usageError(cmd);
    }
    if (!o.exportDir.isEmpty())
        return exportDefinitions(o);
    const std::shared_ptr<const SearchEngines::Catalog> engines = ToolEngines::load(o.dataDir);
    if (!o.wake.isEmpty())
        return wake(o, *engines);
    if (o.check)
        return check(o, *engines);
    return list(o, *engines);
}
