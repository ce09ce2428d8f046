// varnel-tool harvest: a headless harvest in a data directory with the stored search
// strings and options. Flags act as clicks on the window's controls would.

#include "tool.h"

#include "datadir.h"
#include "datadirlock.h"
#include "enginerests.h"
#include "globals.h"
#include "harvestpresenter.h"
#include "harvestsession.h"
#include "httpbrowser.h"
#include "openstore.h"
#include "pagerenderer.h"
#include "resolvemap.h"
#include "scriptpages.h"
#include "searchlistbuilder.h"
#include "searchplaces.h"
#include "settingsstore.h"
#include "siteimport.h"
#include "sqlitestore.h"
#include "store.h"
#include "toolengines.h"
#include "yieldreport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

static int runHarvest(const QStringList &args);

// The option flags come from the option table.
static const QByteArray usage =
    "varnel-tool harvest [--data-dir DIR] [--store URI [--lease S]] [--search TEXT]... " +
    OptionFlags::usage().toUtf8() +
    " [--resume] [--sites FILE] [--places FILE] [--resolve PATTERN=ADDRESS:PORT]... "
    "[--engine-origin NAME=URL]..."
    " [--print-stored] [--timeout S] [--timeout2 S]";

static ToolCommand cmd(
    "harvest", usage.constData(),
    "harvest fax numbers without a window until the harvest stops (Ctrl-C stops it, keeping the "
    "queue); --sites FILE harvests the sites of a file (one a line, or a CSV file with a column "
    "website, url, domain or site) in place of a search; --places FILE (one place a line: towns, "
    "districts, postal codes) makes each search string one search per place, each with its own "
    "queue, and says what each yielded",
    runHarvest);

namespace {

// The discovery the headless harvest uses: the list builder reading result pages over
// HTTP. Kept in one place so another kind of discovery can be plugged in here.
struct Discovery
{
    std::unique_ptr<HttpBrowser> browser;
    std::unique_ptr<SearchListBuilder> builder;
};

std::unique_ptr<Discovery> makeDiscovery(const ResolveMap &resolve, const ResolveMap &tlsResolve,
                                         const DiscoveryConfig &config)
{
    auto d = std::make_unique<Discovery>();
    d->browser = std::make_unique<HttpBrowser>();
    d->browser->setResolveMap(resolve);
    d->browser->setTlsResolveMap(tlsResolve);
    d->builder = std::make_unique<SearchListBuilder>(d->browser.get(), config);
    return d;
}

int g_signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t g_interrupted = 0;

void onSigint(int)
{
    g_interrupted = 1;
    const char c = 1;
    if (g_signalPipe[1] >= 0 && ::write(g_signalPipe[1], &c, 1) < 0) {
    }
    // A second Ctrl-C ends the program at once.
    std::signal(SIGINT, SIG_DFL);
}

// Ctrl-C from the start on. While the file of sites is read, a wait in the system (a pipe
// nobody writes to) is broken off by it (restart false); the harvest then has the calls
// restarted, as the libraries it uses expect.
void catchSigint(bool restart)
{
    if (g_interrupted)
        return; // handled once already: the next one ends the program
    struct sigaction action = {};
    action.sa_handler = onSigint;
    sigemptyset(&action.sa_mask);
    action.sa_flags = restart ? SA_RESTART : 0;
    ::sigaction(SIGINT, &action, nullptr);
}

// The file of sites, read whole before the store is opened (no handle of ours on the
// database's files can then be closed under its connection), at most
// SiteImport::MaxFileBytes of it: a pipe or a device is read like a file, and Ctrl-C stops
// the reading.
bool readSitesFile(const QString &path, QByteArray *bytes, QString *error)
{
    auto failed = [error](const char *what) {
        *error = g_interrupted
                     ? QStringLiteral("stopped before it was read; nothing was queued")
                     : QStringLiteral("%1 (%2)").arg(QLatin1String(what),
                                                     QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    };
    int fd;
    do {
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR && !g_interrupted);
    if (fd < 0)
        return failed("it cannot be opened");
    bytes->clear();
    char chunk[65536];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR && !g_interrupted)
            continue;
        if (n < 0) {
            ok = failed("it cannot be read");
            break;
        }
        if (n == 0)
            break;
        if (bytes->size() + n > SiteImport::MaxFileBytes) {
            *error = QStringLiteral("it holds more than %1 MiB, the most a file of sites may; "
                                    "split it into smaller files")
                         .arg(SiteImport::MaxFileBytes / (1024 * 1024));
            ok = false;
            break;
        }
        bytes->append(chunk, n);
    }
    ::close(fd);
    return ok;
}

struct Options
{
    QString dataDir;
    QString store; // a server shared with a team; empty: the file in the data folder
    int leaseSeconds = 0;
    QStringList searches;
    QList<OptionFlags::Setting> clicks;
    bool resume = false;
    QString sitesFile;
    QString placesFile;
    bool printStored = false;
    int timeout = 0; // watchdog limits in seconds; 0 keeps the session's own
    int timeout2 = 0;
    ResolveMap resolve;
    ResolveMap tlsResolve;
    DiscoveryConfig discovery;
    QHash<QString, QString> origins; // --engine-origin by the name given
};

bool parse(const QStringList &args, Options *o, QString *error)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString a = args.at(i);
        auto value = [&](QString *out) {
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("%1 needs a value").arg(a);
                return false;
            }
            *out = args.at(++i);
            return true;
        };
        QString v;
        OptionFlags::Setting setting;
        if (OptionFlags::parse(args, &i, &setting, error)) {
            if (!error->isEmpty())
                return false;
            o->clicks.append(setting);
            continue;
        }
        if (a == QLatin1String("--data-dir")) {
            if (!value(&o->dataDir))
                return false;
        } else if (a == QLatin1String("--store")) {
            if (!value(&o->store))
                return false;
        } else if (a == QLatin1String("--lease")) {
            if (!value(&v))
                return false;
            bool ok = false;
            o->leaseSeconds = v.toInt(&ok);
            if (!ok || o->leaseSeconds < 2 || o->leaseSeconds > 86400) {
                *error = QStringLiteral("--lease is a number of seconds from 2 to 86400");
                return false;
            }
        } else if (a == QLatin1String("--search")) {
            if (!value(&v))
                return false;
            o->searches << v;
        } else if (a == QLatin1String("--resume")) {
            o->resume = true;
        } else if (a == QLatin1String("--sites")) {
            if (!value(&o->sitesFile))
                return false;
        } else if (a == QLatin1String("--places")) {
            if (!value(&o->placesFile))
                return false;
        } else if (a == QLatin1String("--print-stored")) {
            o->printStored = true;
        } else if (a == QLatin1String("--timeout") || a == QLatin1String("--timeout2")) {
            if (!value(&v))
                return false;
            bool ok = false;
            const int seconds = v.toInt(&ok);
            if (!ok || seconds < 1 || seconds > 3600) {
                *error = QStringLiteral("%1 is a number of seconds from 1 to 3600").arg(a);
                return false;
            }
            (a == QLatin1String("--timeout") ? o->timeout : o->timeout2) = seconds;
        } else if (a == QLatin1String("--engine-origin")) {
            // "bing=http://127.0.0.1:8080": that engine's searches go to another address
            // (a mirror, or a test's engine), with the engine's own paths.
            if (!value(&v))
                return false;
            const qsizetype eq = v.indexOf(QLatin1Char('='));
            const QUrl origin(v.mid(eq + 1));
            if (eq <= 0 || !origin.isValid() ||
                (origin.scheme() != QLatin1String("http") &&
                 origin.scheme() != QLatin1String("https"))) {
                *error = QStringLiteral("--engine-origin is NAME=URL, NAME an engine of "
                                        "varnel-tool engines and URL an http or https address");
                return false;
            }
            // The name is checked once the data folder's engines are read.
            o->origins.insert(v.left(eq), v.mid(eq + 1));
        } else if (a == QLatin1String("--resolve")) {
            if (!value(&v))
                return false;
            // "host:443=ADDRESS:PORT" maps only the TLS connections to host.
            const int eq = int(v.indexOf(QLatin1Char('=')));
            const bool tls = eq > 4 && v.left(eq).endsWith(QLatin1String(":443"));
            const QString mapping = tls ? v.left(eq - 4) + v.mid(eq) : v;
            if (!(tls ? o->tlsResolve : o->resolve).add(mapping, error))
                return false;
        } else {
            *error = QStringLiteral("unknown option '%1'").arg(a);
            return false;
        }
    }
    return true;
}

} // namespace

static int runHarvest(const QStringList &args)
{
    Options o;
    QString error;
    if (parse(args, &o, &error)) {
        if (!o.store.isEmpty() && !StoreLocation::isServer(o.store))
            error = QStringLiteral("--store names a server (postgresql://...); a harvest keeps "
                                   "its file in the data folder");
        else if (o.leaseSeconds > 0 && o.store.isEmpty())
            error = QStringLiteral("--lease goes with --store");
        else if (!o.placesFile.isEmpty() && o.searches.isEmpty())
            error = QStringLiteral("--places goes with --search: each search string is asked "
                                   "once for every place");
    }
    if (!error.isEmpty()) {
        std::fprintf(stderr, "varnel-tool harvest: %s\n", qPrintable(error));
        return Tool::usageError(cmd);
    }
    if (::pipe(g_signalPipe) != 0)
        g_signalPipe[0] = g_signalPipe[1] = -1;
    catchSigint(false);
    QByteArray sitesBytes;
    if (!o.sitesFile.isEmpty() && !readSitesFile(o.sitesFile, &sitesBytes, &error))
        return Tool::fileError(o.sitesFile, error);
    SearchPlaces::Result places;
    if (!o.placesFile.isEmpty()) {
        QByteArray placesBytes;
        if (!readSitesFile(o.placesFile, &placesBytes, &error))
            return Tool::fileError(o.placesFile, error);
        places = SearchPlaces::parse(placesBytes);
        if (!places.error.isEmpty())
            return Tool::fileError(o.placesFile, places.error);
        if (places.places.isEmpty())
            return Tool::fileError(o.placesFile, QStringLiteral("it lists no place"));
    }
    catchSigint(true);

    const bool ownDir = !o.dataDir.isEmpty();
    const QString dataDir = ownDir ? QDir(o.dataDir).absolutePath() : DataDir::defaultPath();
    if (!DataDir::ensure(dataDir, &error))
        return Tool::fileError(dataDir, error);
    DataDirLock lock(dataDir);
    if (!lock.tryLock()) {
        std::fprintf(stderr, "varnel-tool: %s\n", qPrintable(lock.errorString()));
        return 1;
    }
    SettingsStore settings(ownDir ? SettingsStore::iniPathForDataDir(dataDir) : QString());
    o.discovery.engines = ToolEngines::load(dataDir);
    for (auto it = o.origins.cbegin(); it != o.origins.cend(); ++it) {
        const SearchEngines::SearchEngine *engine = o.discovery.engines->find(it.key());
        if (!engine) {
            std::fprintf(stderr,
                         "varnel-tool harvest: --engine-origin: no engine named '%s' (see "
                         "varnel-tool engines)\n",
                         Tool::printable(it.key()).constData());
            return Tool::usageError(cmd);
        }
        o.discovery.engineOrigins.insert(engine->toolName, it.value());
    }

    // Pages that need JavaScript go, with the option on, to the helper program beside this
    // one; it starts at the first such page. Declared before the session, which uses it.
    QStringList renderArguments;
    for (const QString &mapping : o.resolve.mappings())
        renderArguments << QStringLiteral("--resolve") << mapping;
    ProcessPageRenderer renderer(ProcessPageRenderer::defaultProgram(), renderArguments);
    HarvestSession session(o.store.isEmpty() ? std::unique_ptr<Store>(new SqliteStore(dataDir))
                                             : StoreLocation::open(o.store),
                           dataDir, &settings);
    session.scriptPages()->setRenderer(&renderer);
    QObject::connect(session.scriptPages(), &ScriptPages::problem, [](const QString &text) {
        std::fprintf(stderr, "render: %s\n", Tool::printable(text).constData());
    });
    // An idle harvester of a team looks for work a few times per lease.
    if (o.leaseSeconds > 0)
        session.setTeamTiming(o.leaseSeconds, qBound(200, o.leaseSeconds * 250, 1000));
    // A start refused for a missing choice says why, as the window's message box does.
    QObject::connect(&session, &HarvestSession::startRefused,
                     [](HarvestSession::StartProblem problem) {
                         std::fprintf(stderr, "varnel-tool: %s\n",
                                      qPrintable(HarvestPresenter::startProblemText(problem)));
                     });
    session.setResolveMap(o.resolve);
    session.setTlsResolveMap(o.tlsResolve);
    // Engines that refuse rest in the harvest's store, for later runs and the team.
    o.discovery.rests = std::make_shared<EngineRests::StoreBook>(session.store());
    const std::unique_ptr<Discovery> discovery =
        makeDiscovery(o.resolve, o.tlsResolve, o.discovery);
    session.setListBuilder(discovery->builder.get());
    bool problemShown = false;
    QObject::connect(session.store(), &Store::storeProblem, [&problemShown](const QString &m) {
        std::fprintf(stderr, "varnel-tool: %s\n", Tool::printable(m).constData());
        problemShown = true;
    });
    // Finds that could not be stored or looked up make the run a failure (the harvest stops
    // on them).
    bool storeFailed = false;
    QObject::connect(session.store(), &Store::writeFailed,
                     [&storeFailed](const QString &) { storeFailed = true; });
    QObject::connect(&session, &HarvestSession::storeFailed,
                     [&storeFailed](const QString &) { storeFailed = true; });

    session.load();
    // A store that could not even be read at start-up is not harvested into.
    if (!session.store()->isUsable() || problemShown) {
        if (problemShown)
            return 1; // the message above named the file and the reason
        return Tool::fileError(session.store()->location(), session.store()->lastError());
    }
    if (o.timeout > 0)
        session.setIdleLimit(qint16(o.timeout));
    if (o.timeout2 > 0)
        session.setTotalLimit(qint16(o.timeout2));
    if (o.printStored) {
        // Each number once its row is in the store, so that a caller killing the harvest
        // knows which numbers must have survived.
        QObject::connect(&session, &HarvestSession::numberStored, [](const FaxRow &row) {
            std::printf("stored %s\n", Tool::printable(row.fax).constData());
            std::fflush(stdout);
        });
    }
    for (const OptionFlags::Setting &click : o.clicks) {
        OptionFlags::apply(*session.options(), click);
    }
    if (o.placesFile.isEmpty()) {
        for (const QString &s : o.searches)
            session.addSearch(s);
    } else {
        int added = 0;
        for (const QString &s : o.searches) {
            for (const QString &search : SearchPlaces::combine(s, places.places))
                added += session.addSearch(search) ? 1 : 0;
        }
        std::fprintf(
            stderr, "places: %lld %s, %d %s added%s\n", qlonglong(places.places.size()),
            places.places.size() == 1 ? "place" : "places", added,
            added == 1 ? "search" : "searches",
            places.repeated > 0
                ? qPrintable(QStringLiteral(" (%1 listed again, left out)").arg(places.repeated))
                : "");
    }
    // What each search yielded, as it ends: where the yield dries up.
    QObject::connect(session.yield(), &YieldReport::finished, [](const YieldReport::Tally &t) {
        std::fprintf(stderr, "yield: %s\n", Tool::printable(YieldReport::text(t)).constData());
    });
    if (!o.sitesFile.isEmpty()) {
        const SiteImport::Result read = SiteImport::parse(sitesBytes);
        const HarvestSession::ImportCount count = session.importSites(read.sites);
        // One line each; the lines of the file are text that the file controls.
        const QStringList lines =
            HarvestPresenter::importText(read, count, -1).split(QLatin1Char('\n'));
        for (const QString &line : lines)
            std::fprintf(stderr, "sites: %s\n", Tool::printable(line).constData());
        // The imported sites are the queue to harvest; a search would empty it first.
        o.resume = true;
    }
    // What discovery does, page by page: which engine answered, and why it stopped.
    QObject::connect(
        discovery->builder.get(), &SearchListBuilder::statusTextChanged, [](const QString &text) {
            if (text != QLatin1String(SearchListBuilder::initialStatusText))
                std::fprintf(stderr, "discovery: %s\n", Tool::printable(text).constData());
        });

    const Counters *counters = session.counters();
    const qint32 histScanned = counters->sitesScannedEver();
    const qint32 histNumbers = counters->numbersFoundEver();
    qint64 sitesFound = 0;
    qint32 lastFound = 0;
    QObject::connect(counters, &Counters::statsChanged, [&] {
        // The run counter of sites found goes back to 0 with every new search string.
        const qint32 now = counters->sitesFound();
        sitesFound += now >= lastFound ? now - lastFound : now;
        lastFound = now;
    });

    // Ctrl-C: Stop (the queue stays for a later --resume), then the ordinary end. One pressed
    // before the harvest got going stops it as soon as it has.
    if (g_signalPipe[0] >= 0) {
        auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &session);
        QObject::connect(notifier, &QSocketNotifier::activated, &session, [&session] {
            char c;
            if (::read(g_signalPipe[0], &c, 1) < 0) {
            }
            std::fprintf(stderr, "varnel-tool: stopping\n");
            session.stop();
        });
    }

    // Progress: the status texts and the counters, at most two lines a second.
    QString lastLine;
    auto printProgress = [&] {
        QStringList parts;
        using Line = HarvestSession::Line;
        for (Line line : {Line::Transfer, Line::Step, Line::Outcome, Line::Spare}) {
            const QString text = HarvestPresenter::activityText(session.activity(line));
            if (!text.isEmpty())
                parts << text;
        }
        const QString line = parts.join(QStringLiteral(" | ")) +
                             QStringLiteral(" [scanned %1, found %2, numbers %3]")
                                 .arg(counters->sitesScannedEver() - histScanned)
                                 .arg(sitesFound)
                                 .arg(counters->numbersFoundEver() - histNumbers);
        // The status texts name sites that pages linked to.
        if (line != lastLine) {
            std::fprintf(stderr, "%s\n", Tool::printable(line).constData());
            lastLine = line;
        }
    };
    QTimer progress;
    progress.setInterval(500);
    QObject::connect(&progress, &QTimer::timeout, printProgress);
    progress.start();

    // The harvest is over when it is stopped and stays so once pending events have run
    // (the end of one search string's queue passes through "stopped" to discovery).
    QTimer endCheck;
    endCheck.setSingleShot(true);
    endCheck.setInterval(0);
    using State = HarvestSession::State;
    QObject::connect(&endCheck, &QTimer::timeout, [&session] {
        if (session.state() == State::Stopped)
            QCoreApplication::exit(0);
    });
    QObject::connect(&session, &HarvestSession::stateChanged, &endCheck, [&endCheck](State s) {
        if (s == State::Stopped)
            endCheck.start();
    });

    int rc = 0;
    if (o.resume) {
        if (!session.canResume()) {
            std::fprintf(stderr, o.sitesFile.isEmpty()
                                     ? "varnel-tool harvest: there is no saved queue to resume\n"
                                     : "varnel-tool harvest: there is no site to harvest\n");
            rc = 1;
        } else {
            session.resume();
        }
    } else {
        session.start();
    }
    if (rc == 0 && session.state() == State::Stopped && !endCheck.isActive())
        rc = 1; // the start did not get going (its message said why)
    if (rc == 0 && session.state() != State::Stopped)
        QCoreApplication::exec();

    progress.stop();
    printProgress(); // how it ended
    if (session.yield()->isOpen()) {
        std::fprintf(stderr, "yield: %s (stopped)\n",
                     Tool::printable(YieldReport::text(session.yield()->current())).constData());
    }
    session.shutDown();
    std::signal(SIGINT, SIG_DFL);
    if (storeFailed)
        rc = 1;
    std::printf("sites scanned %d, sites found %lld, numbers found %d",
                counters->sitesScannedEver() - histScanned, sitesFound,
                counters->numbersFoundEver() - histNumbers);
    if (session.options()->isOn(OptionId::RenderScripts))
        std::printf(", pages rendered %d", session.scriptPages()->rendered());
    std::printf("\n");
    return rc;
}
