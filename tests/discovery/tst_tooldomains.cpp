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
        QTest::newRow("result page") << QStringList{VARNEL_DISCOVERY_FIXTURES "/results-mixed.html"} << 0
            << QByteArray("acmeplumbing.com\nBIGPIPES.NET\ndrainmasters.org\nrooterpros.com\n"
                          "leakfinders.Com\nhud.gov\npipeworld.com\nsunpipes.com\nexample.com\n")
            << QByteArray();
        QTest::newRow("missing file") << QStringList{"/nonexistent/page.html"} << 1 << QByteArray()
            << QByteArray("/nonexistent/page.html");
        QTest::newRow("no file") << QStringList{} << 2 << QByteArray() << QByteArray("usage:");
        QTest::newRow("two files") << QStringList{"a", "b"} << 2 << QByteArray() << QByteArray("usage:");
    }

    void run()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QProcess p;
        p.start(QStringLiteral(VARNEL_TOOL_PATH), QStringList{QStringLiteral("domains")} + args);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), exitCode);
        QCOMPARE(p.readAllStandardOutput(), out);
        QVERIFY(p.readAllStandardError().contains(err));
    }
};

QTEST_GUILESS_MAIN(TestToolDomains)
#include "tst_tooldomains.moc"
