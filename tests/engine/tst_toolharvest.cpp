// varnel-tool harvest: flags as clicks, --resume of a saved queue, the summary line, and
// Ctrl-C as Stop with the queue kept.

#include "enginetestkit.h"

#include <QProcess>
#include <QtTest>

#include <csignal>

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
        run.start({QStringLiteral("--data-dir"), dir.path(), QStringLiteral("--resume"),
                   QStringLiteral("--resolve"), web.resolveSpec()});
        QVERIFY(run.finish());
        QCOMPARE(run.process.exitCode(), 0);
        QCOMPARE(run.out, QByteArray("sites scanned 2, sites found 1, numbers found 2\n"));
        QVERIFY(run.err.contains("No more websites queued"));
        SettingsStore settings(SettingsStore::iniPathForDataDir(dir.path()));
        QCOMPARE(settings.read(QStringLiteral("lHistEmailFound"), QString()), QStringLiteral("2"));
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
        QTest::addColumn<QStringList>("args");
        QTest::newRow("unknown flag") << QStringList{QStringLiteral("--bogus")};
        QTest::newRow("engine") << QStringList{QStringLiteral("--engine"), QStringLiteral("bing")};
        QTest::newRow("results") << QStringList{QStringLiteral("--results"), QStringLiteral("300")};
        QTest::newRow("resolve") << QStringList{QStringLiteral("--resolve"),
                                                QStringLiteral("nonsense")};
        QTest::newRow("missing value") << QStringList{QStringLiteral("--search")};
        QTest::newRow("timeout") << QStringList{QStringLiteral("--timeout"), QStringLiteral("0")};
        QTest::newRow("timeout2") << QStringList{QStringLiteral("--timeout2"), QStringLiteral("x")};
    }
    void badArguments()
    {
        QFETCH(QStringList, args);
        ToolRun run;
        run.start(args);
        QVERIFY(run.finish());
        QCOMPARE(run.process.exitCode(), 2);
        QVERIFY(run.err.contains("usage:"));
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
        HarvestSession session(dir.path(), nullptr);
        session.load();
        QVERIFY(session.canResume());
        QCOMPARE(session.siteQueue()->items(), QStringList{QStringLiteral("stall.example")});
    }
};

QTEST_GUILESS_MAIN(TestToolHarvest)
#include "tst_toolharvest.moc"
