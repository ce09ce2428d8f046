// The desktop application: the splash window, then the main window with its harvest.

#include "datadir.h"
#include "datadirlock.h"
#include "discoveryconfig.h"
#include "enginerests.h"
#include "harvestpresenter.h"
#include "harvestsession.h"
#include "mainwindow.h"
#include "mainwindowmessages.h"
#include "numberswindow.h"
#include "openstore.h"
#include "pagerenderer.h"
#include "productinfo.h"
#include "resolvemap.h"
#include "scriptpages.h"
#include "searchengines.h"
#include "settingsstore.h"
#include "soundeffectplayer.h"
#include "sqlitestore.h"
#include "storechoice.h"
#include "webenginesetup.h"
#include "windowedlistbuilder.h"
#include "windowowner.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QDir>
#include <QIcon>
#include <QMessageBox>
#include <QSize>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

struct Options
{
    QString dataDir;
    bool dataDirGiven = false;
    ResolveMap resolve;
    QString searchHost;
    bool start = false;
    QString screenshot;
    QString screenshotNumbers;
    QString screenshotCharts;
    int screenshotDelayMs = 8000;
    QSize windowSize; // invalid: the window's own
};

// Parses the command line; on a mistake prints it and returns false with *exitCode set.
bool parseOptions(const QStringList &arguments, Options *o, int *exitCode)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Quorvex Fax Varnel: collects fax numbers from the web."));
    parser.addHelpOption();
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"),
        QStringLiteral("Keep the database, the page files and the options in DIR "
                       "instead of the user's data folder."),
        QStringLiteral("DIR"));
    const QCommandLineOption resolve(
        QStringLiteral("resolve"),
        QStringLiteral("Send the harvest's connections for host PATTERN (\"*\": every "
                       "host) to ADDRESS:PORT; the requests keep the host's name. "
                       "May be given more than once."),
        QStringLiteral("PATTERN=ADDRESS:PORT"));
    const QCommandLineOption searchHost(
        QStringLiteral("search-host"),
        QStringLiteral("Ask HOST (optionally with :PORT) for the result pages of "
                       "every search engine, e.g. a test engine on loopback."),
        QStringLiteral("HOST"));
    const QCommandLineOption start(
        QStringLiteral("start"),
        QStringLiteral("Press Start as soon as the main window has opened."));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Save a picture of the main window to FILE a few seconds "
                       "after it has opened, then close the program."),
        QStringLiteral("FILE"));
    const QCommandLineOption delay(
        QStringLiteral("screenshot-delay"),
        QStringLiteral("Seconds between the main window opening and --screenshot "
                       "(default 8)."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption numbers(
        QStringLiteral("screenshot-numbers"),
        QStringLiteral("With the pictures of --screenshot, stop the harvest, "
                       "open \"View Fax Database\" and save a picture of it "
                       "to FILE."),
        QStringLiteral("FILE"));
    const QCommandLineOption charts(
        QStringLiteral("screenshot-charts"),
        QStringLiteral("The same for the charts of \"View Fax Database\"."),
        QStringLiteral("FILE"));
    const QCommandLineOption size(
        QStringLiteral("window-size"),
        QStringLiteral("Open the main window WIDTHxHEIGHT pixels large (e.g. 1024x700)."),
        QStringLiteral("WIDTHxHEIGHT"));
    parser.addOptions(
        {dataDir, resolve, searchHost, start, screenshot, numbers, charts, delay, size});
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "varnel: %s\n", qPrintable(parser.errorText()));
        *exitCode = 2;
        return false;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        *exitCode = 0;
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "varnel: unexpected argument %s\n",
                     qPrintable(parser.positionalArguments().first()));
        *exitCode = 2;
        return false;
    }
    o->dataDirGiven = parser.isSet(dataDir);
    o->dataDir =
        o->dataDirGiven ? QDir(parser.value(dataDir)).absolutePath() : DataDir::defaultPath();
    const QStringList mappings = parser.values(resolve);
    for (const QString &mapping : mappings) {
        QString error;
        if (!o->resolve.add(mapping, &error)) {
            std::fprintf(stderr, "varnel: --resolve %s: %s\n", qPrintable(mapping),
                         qPrintable(error));
            *exitCode = 2;
            return false;
        }
    }
    o->searchHost = parser.value(searchHost);
    o->start = parser.isSet(start);
    o->screenshot = parser.value(screenshot);
    o->screenshotNumbers = parser.value(numbers);
    o->screenshotCharts = parser.value(charts);
    if (parser.isSet(delay)) {
        bool ok = false;
        const double seconds = parser.value(delay).toDouble(&ok);
        if (!ok || seconds < 0 || seconds > 3600) {
            std::fprintf(stderr, "varnel: --screenshot-delay wants a number of seconds\n");
            *exitCode = 2;
            return false;
        }
        o->screenshotDelayMs = int(seconds * 1000);
    }
    if (parser.isSet(size)) {
        const QStringList parts = parser.value(size).split(QLatin1Char('x'));
        bool w = false, h = false;
        o->windowSize =
            parts.size() == 2 ? QSize(parts.at(0).toInt(&w), parts.at(1).toInt(&h)) : QSize();
        if (!w || !h || o->windowSize.width() <= 0 || o->windowSize.height() <= 0) {
            std::fprintf(stderr, "varnel: --window-size wants WIDTHxHEIGHT, e.g. 1024x700\n");
            *exitCode = 2;
            return false;
        }
    }
    return true;
}

void savePicture(QWidget *window, const QString &file)
{
    if (!window->grab().save(file))
        std::fprintf(stderr, "varnel: the picture cannot be saved to %s\n", qPrintable(file));
}

// The numbers window once its counts (and then its charts) have been read.
void saveNumbersPictures(HarvestPresenter &presenter, WindowOwner &windows, const Options &options)
{
    presenter.stopClicked();
    presenter.viewDatabaseClicked();
    NumbersWindow *w = windows.numbers();
    if (!w) {
        std::fprintf(stderr, "varnel: the numbers window did not open\n");
        return;
    }
    w->resize(1240, 720);
    auto settle = [w] {
        QDeadlineTimer deadline(20000);
        do {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
        } while (w->countsPending() && !deadline.hasExpired());
        QCoreApplication::processEvents();
    };
    settle();
    if (!options.screenshotNumbers.isEmpty())
        savePicture(w, options.screenshotNumbers);
    if (!options.screenshotCharts.isEmpty()) {
        w->showCharts(true);
        settle();
        savePicture(w, options.screenshotCharts);
    }
    windows.closeNumbers();
}

} // namespace

int main(int argc, char **argv)
{
    // Help needs no display: it is answered before the windowed application starts.
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "-h" || a == "--help" || a == "-?" || a == "--help-all") {
            QCoreApplication help(argc, argv);
            Options ignored;
            int exitCode = 0;
            parseOptions(help.arguments(), &ignored, &exitCode);
            return exitCode;
        }
    }

    prepareWebEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvex Fax Varnel"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/varnel/icon-256.png")));

    // Qt's own options (-platform, -style ...) have been taken out of arguments() here.
    Options options;
    int exitCode = 0;
    if (!parseOptions(app.arguments(), &options, &exitCode))
        return exitCode;

    QString error;
    if (!DataDir::ensure(options.dataDir, &error)) {
        QMessageBox::critical(nullptr, QStringLiteral("Quorvex Fax Varnel"), error);
        return 1;
    }
    DataDirLock lock(options.dataDir);
    if (!lock.tryLock()) {
        std::fprintf(stderr, "varnel: %s\n", qPrintable(lock.errorString()));
        QMessageBox::critical(nullptr, QStringLiteral("Quorvex Fax Varnel"), lock.errorString());
        return 1;
    }

    // A data folder given on the command line carries its own options.
    SettingsStore settings(options.dataDirGiven ? SettingsStore::iniPathForDataDir(options.dataDir)
                                                : QString());
    // The store chosen under File > Database... (this computer unless a server was chosen).
    const QString storeLocation = StoreChoice::read(settings).location();
    HarvestSession session(storeLocation.isEmpty()
                               ? std::unique_ptr<Store>(new SqliteStore(options.dataDir))
                               : StoreLocation::open(storeLocation),
                           options.dataDir, &settings);
    HarvestPresenter presenter(&session);
    MessageBoxMessages messages;
    SoundEffectPlayer sound;
    presenter.setMessages(&messages);
    session.setSoundPlayer(&sound);
    // Secure connections fall back to the same map.
    session.setResolveMap(options.resolve);
    // Pages that need JavaScript, when the option asks for them, are rendered by the helper
    // program beside this one; it starts at the first such page.
    QStringList renderArguments;
    for (const QString &mapping : options.resolve.mappings())
        renderArguments << QStringLiteral("--resolve") << mapping;
    ProcessPageRenderer renderer(ProcessPageRenderer::defaultProgram(), renderArguments);
    session.scriptPages()->setRenderer(&renderer);

    DiscoveryConfig discovery;
    // The engine definitions: those shipped, corrected or added to by the data folder's.
    discovery.engines = std::make_shared<const SearchEngines::Catalog>(
        SearchEngines::Catalog::load(options.dataDir));
    if (!discovery.engines->problems().isEmpty()) {
        QStringList lines;
        for (const SearchEngines::Problem &p : discovery.engines->problems()) {
            std::fprintf(stderr, "varnel: %s\n", qPrintable(p.text()));
            lines << p.text();
        }
        QMessageBox::warning(nullptr, QStringLiteral("Quorvex Fax Varnel"),
                             QStringLiteral("Some search engine definitions cannot be read:\n\n") +
                                 lines.join(QLatin1Char('\n')));
    }
    if (!options.searchHost.isEmpty()) {
        for (const SearchEngines::SearchEngine &e : discovery.engines->engines())
            discovery.engineOrigins.insert(e.toolName,
                                           QStringLiteral("http://") + options.searchHost);
    }
    // Engines that refuse rest in the store, for later runs and the team.
    discovery.rests = std::make_shared<EngineRests::StoreBook>(session.store());
    // Declared after the session: the windows, the list builder's among them, go first.
    WindowOwner windows(options.dataDir);
    session.setListBuilder(windows.listBuilder(discovery));
    std::unique_ptr<MainWindow> mainWindow;

    windows.startSplash([&] {
        mainWindow = std::make_unique<MainWindow>(&presenter, &windows);
        messages.setParent(mainWindow.get());
        mainWindow->load();
        if (options.windowSize.isValid())
            mainWindow->resize(options.windowSize);
        mainWindow->show();
        MainWindow *form = mainWindow.get();
        if (options.start)
            QTimer::singleShot(0, &presenter, [&presenter] { presenter.startClicked(); });
        if (!options.screenshot.isEmpty() || !options.screenshotNumbers.isEmpty() ||
            !options.screenshotCharts.isEmpty()) {
            QTimer::singleShot(
                options.screenshotDelayMs, form, [form, &presenter, &windows, &options] {
                    if (!options.screenshot.isEmpty())
                        savePicture(form, options.screenshot);
                    if (!options.screenshotNumbers.isEmpty() || !options.screenshotCharts.isEmpty())
                        saveNumbersPictures(presenter, windows, options);
                    form->close();
                });
        }
    });

    const int rc = app.exec();
    session.setListBuilder(nullptr);
    presenter.setMessages(nullptr);
    session.setSoundPlayer(nullptr);
    session.scriptPages()->setRenderer(nullptr);
    mainWindow.reset();
    return rc;
}
