#include "fakesearchengine.h"
#include "searchlistbuilder.h"
#include "testenv.h"
#include "testwebserver.h"

#include <QProcess>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

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
                    "--last-search", "stop", "--resolve",
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
};

QTEST_GUILESS_MAIN(TestToolHarvestDiscovery)
#include "tst_toolharvestdiscovery.moc"
