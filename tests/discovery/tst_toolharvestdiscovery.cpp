#include "fakesearchengine.h"
#include "searchengines.h"
#include "searchlistbuilder.h"
#include "testenv.h"
#include "testwebserver.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

namespace {

// Runs varnel-tool to its end; false when it did not start or end within a minute.
bool runTool(const QStringList &args, QByteArray *out, QByteArray *err, int *exitCode)
{
    QProcess tool;
    tool.start(QStringLiteral(VARNEL_TOOL_PATH), args);
    if (!tool.waitForStarted())
        return false;
    QSignalSpy finished(&tool, &QProcess::finished);
    if (!finished.wait(60000))
        return false;
    *out = tool.readAllStandardOutput();
    *err = tool.readAllStandardError();
    *exitCode = tool.exitCode();
    return true;
}

} // namespace

// varnel-tool harvest with search strings: the headless harvest discovers its sites with
// the list builder, here against the fake engine, and crawls them on the loopback web.
class TestToolHarvestDiscovery : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void harvest_data()
    {
        QTest::addColumn<bool>("blocked");
        QTest::addColumn<QByteArray>("summary");
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<int>("faxes");
        QTest::newRow("two searches")
            << false << QByteArray("sites scanned 47, sites found 47, numbers found 47")
            << QByteArray("No more websites queued") << 47;
        QTest::newRow("blocked engine")
            << true << QByteArray("sites scanned 0, sites found 0, numbers found 0")
            << QByteArray("Not enough results: the search engine blocked the search") << 0;
    }

    void harvest()
    {
        QFETCH(bool, blocked);
        QFETCH(QByteArray, summary);
        QFETCH(QByteArray, status);
        QFETCH(int, faxes);
        FakeSearchEngine engine;
        QVERIFY(engine.listen());
        TestWebServer web;
        QVERIFY(web.listen());
        const QList<QPair<QString, int>> searches = {{QStringLiteral("plumber"), 25},
                                                     {QStringLiteral("roofer"), 22}};
        int number = 100;
        for (const auto &s : searches) {
            QStringList links;
            for (int i = 0; i < s.second; ++i) {
                const QString site = QStringLiteral("%1%2.com").arg(s.first).arg(i);
                links << QStringLiteral("http://www.") + site + QStringLiteral("/");
                web.addPage(site.toLatin1(), "/",
                            "<html><head><title>" + site.toLatin1() +
                                "</title></head><body><p>Fax: 212-555-0" +
                                QByteArray::number(number++) + "</p></body></html>");
            }
            const QString page = FakeSearchEngine::resultPage(links);
            engine.setPages(s.first, {page, page});
        }
        if (blocked)
            engine.setAnswer(FakeSearchEngine::Answer::TooMany);

        TempDataDir dir;
        QProcess tool;
        tool.start(QStringLiteral(VARNEL_TOOL_PATH),
                   {"harvest", "--data-dir", dir.path(), "--search", "plumber", "--search",
                    "roofer", "--engine", "google", "--results", "100", "--no-add-fax",
                    "--last-search", "stop", "--no-next-engine", "--resolve",
                    "www.google.com=127.0.0.1:" + QString::number(engine.port()), "--resolve",
                    web.resolveSpec()});
        QVERIFY(tool.waitForStarted());
        QSignalSpy finished(&tool, &QProcess::finished);
        QVERIFY(finished.wait(60000));
        const QByteArray out = tool.readAllStandardOutput();
        const QByteArray err = tool.readAllStandardError();
        QCOMPARE(tool.exitCode(), 0);
        QVERIFY2(out.contains(summary), out.constData());
        QVERIFY2(err.contains(status), err.constData());
        // Both search strings went to the engine in turn; a refused one gives way to the next.
        QCOMPARE(engine.requests().first().terms, QStringLiteral("plumber"));
        QCOMPARE(engine.requests().last().terms, QStringLiteral("roofer"));

        int stored = 0;
        {
            QSqlDatabase conn =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("tool"));
            conn.setDatabaseName(dir.file(QStringLiteral("varnel.mdb")));
            QVERIFY(conn.open());
            QSqlQuery q(conn);
            QVERIFY(q.exec(QStringLiteral("SELECT COUNT(*) FROM faxes")));
            QVERIFY(q.next());
            stored = q.value(0).toInt();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("tool"));
        QCOMPARE(stored, faxes);
    }

    // --engine takes every engine of the table. The one picked refuses; the next of the
    // table answers at the same result, and the output says which and why. The refused
    // engine rests in the store: a second harvest does not ask it, varnel-tool engines says
    // until when it rests, and once woken it is asked again.
    void harvest_nextEngine_restsAcrossRuns()
    {
        FakeSearchEngine engine;
        QVERIFY(engine.listen());
        TestWebServer web;
        QVERIFY(web.listen());
        QStringList links;
        for (int i = 0; i < 25; ++i) {
            const QString site = QStringLiteral("tiler%1.com").arg(i);
            links << QStringLiteral("https://www.") + site + QStringLiteral("/");
            web.addPage(site.toLatin1(), "/",
                        "<html><body><p>Fax: 212-555-0" + QByteArray::number(300 + i) +
                            "</p></body></html>");
        }
        engine.setHandler(FakeSearchEngine::onlyBingAnswers(links));
        QStringList args = {"harvest",
                            "--data-dir",
                            "",
                            "--search",
                            "tiles",
                            "--engine",
                            "mojeek",
                            "--results",
                            "100",
                            "--no-add-fax",
                            "--all-endings",
                            "--resolve",
                            "engines.test=127.0.0.1:" + QString::number(engine.port()),
                            "--resolve",
                            web.resolveSpec()};
        for (const SearchEngines::SearchEngine &e : SearchEngines::all()) {
            if (!e.referenceReading)
                args << "--engine-origin" << e.toolName + "=http://engines.test/" + e.toolName;
        }
        TempDataDir dir;
        args[2] = dir.path();
        QByteArray out, err;
        int exitCode = -1;
        QVERIFY(runTool(args, &out, &err, &exitCode));
        QCOMPARE(exitCode, 0);
        const QRegularExpression refused(QStringLiteral(
            "discovery: Mojeek blocked the search: the engine refused the search \\(HTTP 403 "
            "Forbidden\\), resting until (\\d\\d:\\d\\d)\\. Trying Bing from result 1\\.\n"));
        const QRegularExpressionMatch said = refused.match(QString::fromUtf8(err));
        QVERIFY2(said.hasMatch(), err.constData());
        const QString until = said.captured(1);
        QVERIFY2(err.contains("discovery: Finished! Extracted 25 results from Bing.\n"),
                 err.constData());
        QVERIFY2(out.contains("sites scanned 25, sites found 25, numbers found 25"),
                 out.constData());
        auto mojeekAsked = [&engine] {
            int n = 0;
            for (const FakeSearchEngine::Request &r : engine.requests())
                n += r.path.startsWith(QLatin1String("/mojeek/"));
            return n;
        };
        QCOMPARE(mojeekAsked(), 1);

        QVERIFY(runTool(args, &out, &err, &exitCode));
        QCOMPARE(exitCode, 0);
        QCOMPARE(mojeekAsked(), 1);
        QVERIFY2(err.contains("discovery: Mojeek: refused (forbidden), resting until " +
                              until.toUtf8() + ". Trying Bing from result 1.\n"),
                 err.constData());

        QVERIFY(runTool({"engines", "--data-dir", dir.path()}, &out, &err, &exitCode));
        QCOMPARE(exitCode, 0);
        QVERIFY2(
            out.contains("\tshipped\trefused (forbidden), resting until " + until.toUtf8() + "\n"),
            out.constData());
        QCOMPARE(out.count("\tready\n"), 7);
        QVERIFY(runTool({"engines", "--data-dir", dir.path(), "--wake", "Mojeek"}, &out, &err,
                        &exitCode));
        QCOMPARE(exitCode, 0);
        QCOMPARE(out, QByteArray("mojeek: awake, asked again from now on\n"));
        QVERIFY(runTool({"engines", "--data-dir", dir.path()}, &out, &err, &exitCode));
        QCOMPARE(out.count("\tready\n"), 8);

        QVERIFY(runTool(args, &out, &err, &exitCode));
        QCOMPARE(exitCode, 0);
        QCOMPARE(mojeekAsked(), 2);
    }

    // --places: a search string with N places is N searches, each asked of the engine once
    // and harvested as a queue of its own. A business listed under two places is stored once,
    // and each search's yield says how many of its numbers were new.
    void harvest_places()
    {
        FakeSearchEngine engine;
        QVERIFY(engine.listen());
        TestWebServer web;
        QVERIFY(web.listen());
        const QStringList places = {QStringLiteral("Springfield"), QStringLiteral("Shelbyville"),
                                    QStringLiteral("Ogdenville")};
        // 21 sites a place (a run needs more than 20 names); Shelbyville's last result is
        // Springfield's first business.
        QHash<QString, QStringList> links;
        int number = 500;
        for (const QString &place : places) {
            for (int i = 0; i < 21; ++i) {
                const QString site = QStringLiteral("%1%2.com").arg(place.toLower()).arg(i);
                web.addPage(site.toLatin1(), "/",
                            "<html><body><p>Fax: 212-555-0" + QByteArray::number(number++) +
                                "</p></body></html>");
                links[QStringLiteral("plumber ") + place]
                    << QStringLiteral("http://www.") + site + QStringLiteral("/");
            }
        }
        links[QStringLiteral("plumber Shelbyville")].last() =
            QStringLiteral("http://www.springfield0.com/");
        engine.setHandler([links](const FakeSearchEngine::Request &r) {
            FakeSearchEngine::Reply reply;
            const bool first = !r.query.hasQueryItem(QStringLiteral("first"));
            const QString terms =
                QUrl::fromPercentEncoding(r.query.queryItemValue(QStringLiteral("q"))
                                              .replace(QLatin1Char('+'), QLatin1Char(' '))
                                              .toLatin1());
            reply.body = FakeSearchEngine::enginePage(QStringLiteral("bing"),
                                                      first ? links.value(terms) : QStringList())
                             .toUtf8();
            return reply;
        });
        TempDataDir dir;
        QFile list(dir.file(QStringLiteral("places.txt")));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("Springfield\nShelbyville\n\nOgdenville\nspringfield\n");
        list.close();
        QByteArray out, err;
        int exitCode = -1;
        QVERIFY(runTool({"harvest",
                         "--data-dir",
                         dir.path(),
                         "--search",
                         "plumber",
                         "--places",
                         list.fileName(),
                         "--engine",
                         "bing",
                         "--results",
                         "100",
                         "--no-add-fax",
                         "--no-next-engine",
                         "--last-search",
                         "stop",
                         "--engine-origin",
                         "bing=http://engines.test/bing",
                         "--resolve",
                         "engines.test=127.0.0.1:" + QString::number(engine.port()),
                         "--resolve",
                         web.resolveSpec()},
                        &out, &err, &exitCode));
        QCOMPARE(exitCode, 0);
        QVERIFY2(err.contains("places: 3 places, 3 searches added (1 listed again, left out)\n"),
                 err.constData());
        QStringList asked;
        for (const FakeSearchEngine::Request &r : engine.requests()) {
            if (!r.query.hasQueryItem(QStringLiteral("first")))
                asked << QUrl::fromPercentEncoding(r.query.queryItemValue(QStringLiteral("q"))
                                                       .replace(QLatin1Char('+'), QLatin1Char(' '))
                                                       .toLatin1());
        }
        QCOMPARE(asked,
                 (QStringList{"plumber Springfield", "plumber Shelbyville", "plumber Ogdenville"}));
        QVERIFY2(
            err.contains("yield: plumber Springfield: 21 sites, 21 numbers, 21 new (100%)\n") &&
                err.contains("yield: plumber Shelbyville: 21 sites, 21 numbers, 20 new (95%)\n") &&
                err.contains("yield: plumber Ogdenville: 21 sites, 21 numbers, 21 new (100%)\n"),
            err.constData());
        QVERIFY2(out.contains("numbers found 62"), out.constData());

        QStringList shared;
        int stored = 0;
        {
            QSqlDatabase conn =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("places"));
            conn.setDatabaseName(dir.file(QStringLiteral("varnel.mdb")));
            QVERIFY(conn.open());
            QSqlQuery q(conn);
            QVERIFY(q.exec(QStringLiteral("SELECT COUNT(*) FROM faxes")));
            QVERIFY(q.next());
            stored = q.value(0).toInt();
            QVERIFY(
                q.exec(QStringLiteral("SELECT search FROM faxes WHERE fax = '1-212-555-0500'")));
            while (q.next())
                shared << q.value(0).toString();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("places"));
        QCOMPARE(stored, 62);
        QCOMPARE(shared, QStringList{"plumber Springfield"});
    }

    // --sites harvests the sites of a file, and says which lines were no site.
    void harvest_sitesFromFile()
    {
        TestWebServer web;
        QVERIFY(web.listen());
        for (int i = 0; i < 3; ++i)
            web.addPage("s" + QByteArray::number(i) + ".com", "/",
                        "<html><body><p>Fax: 212-555-0" + QByteArray::number(400 + i) +
                            "</p></body></html>");
        TempDataDir dir;
        QFile list(dir.file(QStringLiteral("sites.txt")));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("s0.com\nhttp://s1.com/\nnot a site\nS0.com\ns2.com\n");
        list.close();
        QByteArray out, err;
        int exitCode = -1;
        QVERIFY(runTool({"harvest", "--data-dir", dir.path(), "--sites", list.fileName(),
                         "--last-search", "stop", "--resolve", web.resolveSpec()},
                        &out, &err, &exitCode));
        QCOMPARE(exitCode, 0);
        QVERIFY2(err.contains("sites: 3 sites queued, 0 already known.\n"
                              "sites: 1 line is not a site:\nsites: line 3: not a site\n"),
                 err.constData());
        QVERIFY2(out.contains("sites scanned 3, sites found 3, numbers found 3"), out.constData());
    }
};

QTEST_GUILESS_MAIN(TestToolHarvestDiscovery)
#include "tst_toolharvestdiscovery.moc"
