#include "testenv.h"

#include <QProcess>
#include <QTest>

// varnel-tool domains, run as a user runs it.
class TestToolDomains : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void run_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        QTest::newRow("result page")
            << QStringList{VARNEL_DISCOVERY_FIXTURES "/results-mixed.html"} << 0
            << QByteArray("acmeplumbing.com\nBIGPIPES.NET\ndrainmasters.org\nrooterpros.com\n"
                          "leakfinders.Com\nhud.gov\npipeworld.com\nsunpipes.com\nexample.com\n")
            << QByteArray();
        QTest::newRow("missing file") << QStringList{"/nonexistent/page.html"} << 1 << QByteArray()
                                      << QByteArray("/nonexistent/page.html");
        QTest::newRow("no file") << QStringList{} << 2 << QByteArray() << QByteArray("usage:");
        QTest::newRow("two files")
            << QStringList{"a", "b"} << 2 << QByteArray() << QByteArray("usage:");
        QTest::newRow("every ending, reference reading")
            << QStringList{"--all-endings", VARNEL_DISCOVERY_FIXTURES "/results-mixed.html"} << 0
            << QByteArray("acmeplumbing.com\nbigpipes.net\ndrainmasters.org\nrooterpros.com\n"
                          "leakfinders.com\noddcase.com\nfourlabels.com\nepa.gov\nhud.gov\n"
                          "pipeworld.com\nsunpipes.com\nexample.com\nample.com\n")
            << QByteArray();
        QTest::newRow("engine page")
            << QStringList{"--engine", "bing", VARNEL_SERP_CORPUS "/bing-2.html"} << 0
            << QByteArray("intel.com\ntomshardware.com\ntechspot.com\nwikichip.org\npcmag.com\n"
                          "cpubenchmark.net\nebuyer.com\n")
            << QByteArray();
        QTest::newRow("engine page, every ending")
            << QStringList{"--engine", "yahoo", "--all-endings", VARNEL_SERP_CORPUS "/yahoo-1.html"}
            << 0
            << QByteArray(
                   "wikipedia.org\nfindlaw.com\ncornell.edu\nca.gov\nnpc.gov.cn\ngouv.qc.ca\n")
            << QByteArray();
        QTest::newRow("blocked page")
            << QStringList{"--engine", "Brave Search", VARNEL_SERP_CORPUS "/brave-4.html"} << 3
            << QByteArray() << QByteArray("blocked: ");
        QTest::newRow("page that found nothing")
            << QStringList{"--engine", "google", VARNEL_SERP_CORPUS "/google-2.html"} << 0
            << QByteArray() << QByteArray("no results: ");
        QTest::newRow("unknown engine") << QStringList{"--engine", "altavista", "x.html"} << 2
                                        << QByteArray() << QByteArray("no engine named");
        QTest::newRow("engine without a name")
            << QStringList{"--engine"} << 2 << QByteArray() << QByteArray("usage:");
    }

    void run()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        // A data folder of its own: its (absent) engine definitions change nothing.
        TempDataDir data;
        QProcess p;
        p.start(QStringLiteral(VARNEL_TOOL_PATH),
                QStringList{QStringLiteral("domains"), QStringLiteral("--data-dir"), data.path()} +
                    args);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), exitCode);
        QCOMPARE(p.readAllStandardOutput(), out);
        QVERIFY(p.readAllStandardError().contains(err));
    }

    void engines_listed()
    {
        TempDataDir data;
        QProcess p;
        p.start(QStringLiteral(VARNEL_TOOL_PATH),
                {QStringLiteral("engines"), QStringLiteral("--data-dir"), data.path()});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        const QList<QByteArray> lines = p.readAllStandardOutput().trimmed().split('\n');
        QCOMPARE(lines.size(), 8);
        QVERIFY(
            lines.first().startsWith("google\tGoogle Search\tGET http://www.google.com/search?"));
        QVERIFY(lines.first().endsWith("\tshipped\tready"));
        QVERIFY(lines.at(5).startsWith(
            "duckduckgo\tDuckDuckGo\tPOST https://html.duckduckgo.com/html/"));
    }
};

QTEST_GUILESS_MAIN(TestToolDomains)
#include "tst_tooldomains.moc"
