// The per-host politeness gate, on a clock the test sets.

#include "hostgate.h"

#include <QtTest>

class TestHostGate : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void limitsDownloadsPerHost_data()
    {
        QTest::addColumn<int>("perHost");
        QTest::addColumn<int>("expected");
        QTest::newRow("1") << 1 << 1;
        QTest::newRow("2 (default)") << HostGate::DefaultPerHost << 2;
        QTest::newRow("4") << 4 << 4;
        QTest::newRow("0 is raised to 1") << 0 << 1;
        QTest::newRow("9 is cut to 4") << 9 << 4;
    }
    void limitsDownloadsPerHost()
    {
        QFETCH(int, perHost);
        QFETCH(int, expected);
        HostGate gate(perHost, [] { return qint64(0); });
        int started = 0;
        for (int i = 0; i < 10; ++i)
            started += gate.tryStart(i % 2 ? "Example.COM" : "example.com") ? 1 : 0;
        QCOMPARE(started, expected);
        QCOMPARE(gate.waitFor("EXAMPLE.com"), -1);
        // Another host is not held back, and an end frees a place.
        QVERIFY(gate.tryStart("other.org"));
        gate.finished("example.com");
        QCOMPARE(gate.waitFor("example.com"), 0);
        QVERIFY(gate.tryStart("example.com"));
        QCOMPARE(gate.runningTotal(), expected + 1);
    }

    void crawlDelaySpacesStarts()
    {
        qint64 now = 1000;
        HostGate gate(4, [&now] { return now; });
        gate.setCrawlDelay("slow.com", 3000);
        QVERIFY(gate.tryStart("slow.com"));
        // One at a time while a delay is set.
        QCOMPARE(gate.waitFor("slow.com"), -1);
        now += 500;
        gate.finished("slow.com");
        QCOMPARE(gate.waitFor("slow.com"), 2500);
        QVERIFY(!gate.tryStart("slow.com"));
        now += 2499;
        QCOMPARE(gate.waitFor("slow.com"), 1);
        now += 1;
        QVERIFY(gate.tryStart("slow.com"));
        QCOMPARE(gate.running("slow.com"), 1);
        // Other hosts keep their own pace.
        QVERIFY(gate.tryStart("fast.com"));
        QVERIFY(gate.tryStart("fast.com"));
    }

    void crawlDelayIsCappedAndRemovable()
    {
        HostGate gate(2, [] { return qint64(0); });
        gate.setCrawlDelay("h", 60'000);
        QCOMPARE(gate.crawlDelay("H"), 10'000);
        gate.setCrawlDelay("h", 0);
        QCOMPARE(gate.crawlDelay("h"), 0);
        QVERIFY(gate.tryStart("h"));
        QVERIFY(gate.tryStart("h"));
    }

    void forgetsIdleHostsAndStrayEnds()
    {
        HostGate gate(2, [] { return qint64(0); });
        for (int i = 0; i < 1000; ++i) {
            const QByteArray host = "h" + QByteArray::number(i) + ".com";
            QVERIFY(gate.tryStart(host));
            gate.finished(host);
        }
        QCOMPARE(gate.hostCount(), 0);
        gate.finished("never-started.com");
        QCOMPARE(gate.runningTotal(), 0);
        QCOMPARE(gate.running("never-started.com"), 0);
    }
};

QTEST_GUILESS_MAIN(TestHostGate)
#include "tst_hostgate.moc"
