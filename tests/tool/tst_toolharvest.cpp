// varnel-tool harvest: flags as clicks, --resume of a saved queue, the summary line, and
// Ctrl-C as Stop with the queue kept.

#include "enginetestkit.h"
#include "sqlitestore.h"

#include <QProcess>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

namespace {

struct ToolRun
{
    QProcess process;
    QByteArray out;
    QByteArray err;

    void start(const QStringList &args)
    {
        process.start(QStringLiteral(VARNEL_TOOL_PATH),
                      QStringList{QStringLiteral("harvest")} + args);
    }
    // Lets the test's own web server answer while the tool runs.
    bool finish(int ms = 20000)
    {
        QElapsedTimer t;
        t.start();
        while (process.state() != QProcess::NotRunning && t.elapsed() < ms)
            QTest::qWait(20);
        out += process.readAllStandardOutput();
        err += process.readAllStandardError();
        return process.state() == QProcess::NotRunning;
    }
};

// A data directory with one saved search string and a saved queue, as a stopped harvest
// leaves it.
void saveQueue(const QString &dir, const QStringList &sites)
{
    SettingsStore settings(SettingsStore::iniPathForDataDir(dir));
    Counters counters(&settings);
    SqliteStore db(dir);
    QString search = QStringLiteral("plumbers");
    (void)db.addSearch(search);
    for (QString s : sites)
        (void)db.addWebsite(s);
}

// Every stored row, its columns joined by "|" (the date left out), in stored order.
QStringList storedRows(const QString &dir)
{
    SqliteStore db(dir);
    QStringList rows;
    for (const FaxRow &r : db.allFaxes().value_or(QList<FaxRow>())) {
        rows << QStringList{r.fax,
                            r.location,
                            r.website,
                            r.search,
                            r.e164,
                            r.country,
                            r.label,
                            r.how,
                            r.context.isEmpty() ? QString() : QStringLiteral("...")}
                    .join(QLatin1Char('|'));
    }
    return rows;
}

// A page that shows its fax numbers as pages do: on the fax line (twice, and once more in
// the form "+1-..."), as a column's header, under a heading, and only in its JSON-LD; and
// a second page with the JSON-LD number in another form.
void addFinderSite(TestWebServer &web)
{
    web.addPage("a.test", "/",
                "<html><head><title>Acme</title>\r\n"
                "<script type=\"application/ld+json\">{\"@type\":\"Organization\","
                "\"faxNumber\":\"+44 20 7946 0958\"}</script></head>\r\n"
                "<body><a href=\"contact.htm\">Contact</a>\r\n"
                "<p>Fax: 212-555-0187</p>\r\n<p>Phone: 212-555-0100</p>\r\n"
                "<p>FAX (212) 555-0187</p>\r\n<p>Orders by fax: +1-212-555-0187.</p>\r\n"
                "<table><tr><th>Telefax</th></tr><tr><td>617-555-0100</td></tr></table>\r\n"
                "<h3>Via Fax</h3><p>415.555.0100</p>\r\n</body></html>");
    web.addPage("a.test", "/contact.htm", "<body><p>Fax +44 (0)20 7946 0958</p></body>");
}

} // namespace

class TestToolHarvest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void resumeRunsTheSavedQueue()
    {
        TempDataDir dir;
        TestWebServer web;
        QVERIFY(web.listen());
        web.addPage("a.example", "/",
                    "<body><a href=\"b.htm\">b</a>\r\n<p>Fax: 212-555-0187</p></body>");
        web.addPage("a.example", "/b.htm", "<body><p>FAX:415-555-0100</p></body>");
        saveQueue(dir.path(), {QStringLiteral("a.example")});
        ToolRun run;
        // Every page of the site, the one after its fax too.
        run.start({QStringLiteral("--data-dir"), dir.path(), QStringLiteral("--resume"),
                   QStringLiteral("--resolve"), web.resolveSpec(),
                   QStringLiteral("--no-stop-at-fax")});
        QVERIFY(run.finish());
        QCOMPARE(run.process.exitCode(), 0);
        QCOMPARE(run.out, QByteArray("sites scanned 2, sites found 1, numbers found 2\n"));
        QVERIFY(run.err.contains("No more websites queued"));
        SettingsStore settings(SettingsStore::iniPathForDataDir(dir.path()));
        QCOMPARE(settings.read(QStringLiteral("lHistEmailFound"), QString()), QStringLiteral("2"));
    }

    // With the finder off the harvest stores and prints what the fax line scan takes, as
    // it always did; with it on, on the same store, it adds the numbers the line scan
    // missed with their evidence, each fax once whatever its form, old rows included.
    void finder_offIsTheReference_onAddsEachFaxOnce()
    {
        TempDataDir dir;
        TestWebServer web;
        QVERIFY(web.listen());
        addFinderSite(web);
        const QString ny = QStringLiteral("NY  New York City, New York (Manhattan; see 646, 718) ");
        const QString intl = QStringLiteral("Unknown/International");

        saveQueue(dir.path(), {QStringLiteral("a.test")});
        ToolRun literal;
        literal.start({QStringLiteral("--data-dir"), dir.path(), QStringLiteral("--resume"),
                       QStringLiteral("--intl"), QStringLiteral("--literal"),
                       QStringLiteral("--print-stored"), QStringLiteral("--resolve"),
                       web.resolveSpec()});
        QVERIFY(literal.finish());
        QCOMPARE(literal.process.exitCode(), 0);
        QCOMPARE(literal.out, QByteArray("stored 1-212-555-0187\nstored +1-212-555-0187\n"
                                         "stored +44-020-7946-0958\n"
                                         "sites scanned 2, sites found 1, numbers found 3\n"));
        QCOMPARE(storedRows(dir.path()),
                 (QStringList{QStringLiteral("1-212-555-0187|") + ny +
                                  QStringLiteral("|a.test/|plumbers|||||"),
                              QStringLiteral("+1-212-555-0187|") + intl +
                                  QStringLiteral("|a.test/|plumbers|||||"),
                              QStringLiteral("+44-020-7946-0958|") + intl +
                                  QStringLiteral("|a.test/contact.htm|plumbers|||||")}));

        saveQueue(dir.path(), {QStringLiteral("a.test")});
        ToolRun finder;
        finder.start({QStringLiteral("--data-dir"), dir.path(), QStringLiteral("--resume"),
                      QStringLiteral("--no-literal"), QStringLiteral("--print-stored"),
                      QStringLiteral("--resolve"), web.resolveSpec()});
        QVERIFY(finder.finish());
        QCOMPARE(finder.process.exitCode(), 0);
        // 1-212-555-0187 is stored in its text form; the JSON-LD number is the one of the
        // contact page, and is stored once.
        QCOMPARE(finder.out, QByteArray("stored +44-20-7946-0958\nstored 1-617-555-0100\n"
                                        "stored 1-415-555-0100\n"
                                        "sites scanned 2, sites found 1, numbers found 3\n"));
        const QStringList rows = storedRows(dir.path()).mid(3);
        QCOMPARE(rows,
                 (QStringList{
                     QStringLiteral("+44-20-7946-0958|") + intl +
                         QStringLiteral("|a.test/|plumbers|+442079460958|GB|faxNumber|json-ld|..."),
                     QStringLiteral("1-617-555-0100|MA  E Massachusetts: Boston, Cambridge, Quincy "
                                    "(see split 781, overlay 857)  |a.test/|plumbers|"
                                    "+16175550100|US|Telefax|table-header|..."),
                     QStringLiteral("1-415-555-0100|CA  California: San Francisco, Marin County "
                                    "(see split 650, overlay 628)  |a.test/|plumbers|"
                                    "+14155550100|US|Fax|heading|...")}));
    }

    void nothingToResume()
    {
        TempDataDir dir;
        ToolRun run;
        run.start({QStringLiteral("--data-dir"), dir.path(), QStringLiteral("--resume")});
        QVERIFY(run.finish());
        QCOMPARE(run.process.exitCode(), 1);
        QVERIFY(run.err.contains("no saved queue"));
    }

    void badArguments_data()
    {
        // The line the tool says before its usage; empty where only the usage is pinned.
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        const auto s = [](const char *text) { return QString::fromLatin1(text); };
        QTest::newRow("unknown flag") << QStringList{s("--bogus")} << s("unknown option '--bogus'");
        QTest::newRow("engine") << QStringList{s("--engine"), s("nosuchengine")} << QString();
        QTest::newRow("results") << QStringList{s("--results"), s("300")} << QString();
        QTest::newRow("resolve") << QStringList{s("--resolve"), s("nonsense")} << QString();
        QTest::newRow("missing value") << QStringList{s("--search")} << s("--search needs a value");
        QTest::newRow("timeout") << QStringList{s("--timeout"), s("0")}
                                 << s("--timeout is a number of seconds from 1 to 3600");
        QTest::newRow("timeout2") << QStringList{s("--timeout2"), s("x")}
                                  << s("--timeout2 is a number of seconds from 1 to 3600");
        // What a hand-made reading and the parser could read differently.
        QTest::newRow("value after =") << QStringList{s("--timeout=0")}
                                       << s("--timeout is a number of seconds from 1 to 3600");
        QTest::newRow("table flag's value after =")
            << QStringList{s("--last-search=maybe")} << s("--last-search is stop or continue");
        QTest::newRow("a switch given a value")
            << QStringList{s("--resume=yes")} << s("unknown option '--resume=yes'");
        QTest::newRow("a word") << QStringList{s("plumbers")} << s("unknown option 'plumbers'");
        QTest::newRow("one dash") << QStringList{s("-search"), s("x")}
                                  << s("unknown option '-search'");
        QTest::newRow("table flag's missing value")
            << QStringList{s("--no-intl"), s("--results")} << s("--results needs a value");
        QTest::newRow("lease without a server")
            << QStringList{s("--lease"), s("30")} << s("--lease goes with --store");
    }
    void badArguments()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        ToolRun run;
        run.start(args);
        QVERIFY(run.finish());
        QCOMPARE(run.process.exitCode(), 2);
        QVERIFY(run.err.contains("usage:"));
        if (!message.isEmpty())
            QCOMPARE(QString::fromUtf8(run.err).section(QLatin1Char('\n'), 0, 0),
                     QStringLiteral("varnel-tool harvest: ") + message);
    }

    // A value after "=" or as the next argument, the flags taking effect in the order given.
    void flagsTakeTheirValueEitherWay_data()
    {
        QTest::addColumn<bool>("equals");
        QTest::newRow("--flag value") << false;
        QTest::newRow("--flag=value") << true;
    }
    void flagsTakeTheirValueEitherWay()
    {
        QFETCH(bool, equals);
        TempDataDir dir;
        const auto flag = [equals](const char *name, const QString &value) {
            const QString f = QLatin1String(name);
            return equals ? QStringList{f + QLatin1Char('=') + value} : QStringList{f, value};
        };
        ToolRun run;
        run.start(flag("--data-dir", dir.path()) + flag("--results", QStringLiteral("500")) +
                  QStringList{QStringLiteral("--intl"), QStringLiteral("--no-intl"),
                              QStringLiteral("--resume")});
        QVERIFY(run.finish());
        // Nothing saved to resume; the clicks were made before that was found.
        QCOMPARE(run.process.exitCode(), 1);
        QVERIFY2(run.err.contains("no saved queue"), run.err.constData());
        SettingsStore settings(SettingsStore::iniPathForDataDir(dir.path()));
        QCOMPARE(settings.read(QStringLiteral("Combo2"), QStringLiteral("absent")),
                 QStringLiteral("2"));
        QCOMPARE(settings.read(QStringLiteral("chkNonUS"), QStringLiteral("absent")),
                 QStringLiteral("0"));
    }

    void flagsActAsClicks()
    {
        // Discovery asks the (fake) engine, which has nothing: too few results, the end.
        TempDataDir dir;
        TestWebServer web;
        QVERIFY(web.listen());
        ToolRun run;
        run.start({QStringLiteral("--data-dir"), dir.path(), QStringLiteral("--search"),
                   QStringLiteral("roof repair"), QStringLiteral("--engine"),
                   QStringLiteral("yahoo"), QStringLiteral("--results"), QStringLiteral("500"),
                   QStringLiteral("--no-intl"), QStringLiteral("--no-add-fax"),
                   QStringLiteral("--no-follow"), QStringLiteral("--last-search"),
                   QStringLiteral("continue"), QStringLiteral("--resolve"), web.resolveSpec()});
        QVERIFY(run.finish());
        QCOMPARE(run.process.exitCode(), 0);
        QVERIFY2(run.err.contains("Not enough results"), run.err.constData());
        QCOMPARE(web.requests().size(), 1);
        QVERIFY(web.requests().first().path.contains("p=roof+repair&b=1"));
        SettingsStore settings(SettingsStore::iniPathForDataDir(dir.path()));
        auto v = [&settings](const char *k) {
            return settings.read(QLatin1String(k), QStringLiteral("absent"));
        };
        QCOMPARE(v("Combo1"), QStringLiteral("1"));
        QCOMPARE(v("Combo2"), QStringLiteral("2"));
        QCOMPARE(v("chkNonUS"), QStringLiteral("0"));
        QCOMPARE(v("chkAddFax"), QStringLiteral("0"));
        QCOMPARE(v("chkFollow"), QStringLiteral("0"));
        QCOMPARE(v("cmbLastSearch"), QStringLiteral("1"));
    }

    void interruptStopsAndKeepsTheQueue()
    {
        TempDataDir dir;
        TestWebServer web;
        QVERIFY(web.listen());
        web.addFault("stall.example", "/", TestWebServer::Fault::NoAnswer);
        saveQueue(dir.path(), {QStringLiteral("stall.example"), QStringLiteral("later.example")});
        ToolRun run;
        run.start({QStringLiteral("--data-dir"), dir.path(), QStringLiteral("--resume"),
                   QStringLiteral("--resolve"), web.resolveSpec()});
        QTRY_COMPARE_WITH_TIMEOUT(web.requestCount("stall.example", "/"), 1, 10000);
        ::kill(pid_t(run.process.processId()), SIGINT);
        QVERIFY(run.finish());
        QCOMPARE(run.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.process.exitCode(), 0);
        QVERIFY(run.out.startsWith("sites scanned "));
        QCOMPARE(web.requestCount("later.example", "/"), 1);
        // The download that was cut off waits for the next --resume.
        HarvestSession session(std::make_unique<SqliteStore>(dir.path()), dir.path(), nullptr);
        session.load();
        QVERIFY(session.canResume());
        QCOMPARE(session.siteQueue()->items(), QStringList{QStringLiteral("stall.example")});
    }

    // A file of sites that is a pipe nobody writes to is waited for, and Ctrl-C stops the
    // waiting: the program ends by itself, saying so, with nothing queued.
    void sitesFromAPipe_interruptStopsTheReading()
    {
        TempDataDir dir;
        const QString fifo = dir.file(QStringLiteral("sites.fifo"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        ToolRun run;
        run.start({QStringLiteral("--data-dir"), dir.path(), QStringLiteral("--sites"), fifo});
        QVERIFY(run.process.waitForStarted());
        QTest::qWait(300);
        QCOMPARE(run.process.state(), QProcess::Running);
        ::kill(pid_t(run.process.processId()), SIGINT);
        QVERIFY(run.finish(10000));
        QCOMPARE(run.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.process.exitCode(), 1);
        QVERIFY2(run.err.contains("sites.fifo: stopped before it was read"), run.err.constData());
    }

    // A file of sites that never ends is read up to the limit and refused, the limit named.
    void sitesFromADeviceWithoutEnd_refused()
    {
        TempDataDir dir;
        ToolRun run;
        run.start({QStringLiteral("--data-dir"), dir.path(), QStringLiteral("--sites"),
                   QStringLiteral("/dev/zero")});
        QVERIFY(run.finish(20000));
        QCOMPARE(run.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.process.exitCode(), 1);
        QVERIFY2(run.err.contains("/dev/zero: it holds more than 64 MiB"), run.err.constData());
    }
};

QTEST_GUILESS_MAIN(TestToolHarvest)
#include "tst_toolharvest.moc"
