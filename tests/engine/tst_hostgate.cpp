// The per-host politeness gate, on a clock the test sets.

#include "hostgate.h"

#include <QSet>
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

    // Sites wait in their host's queue: a free download goes to the site that has waited
    // longest among the hosts that are ready, a host's sites keep their order, and a host
    // that is not ready holds back its own sites only.
    void waitingSitesPerHost()
    {
        HostGate gate(2, [] { return qint64(0); });
        gate.hold("a.com", QStringLiteral("a.com/1"));
        gate.hold("b.com", QStringLiteral("b.com/1"));
        gate.hold("A.COM", QStringLiteral("a.com/2"));
        gate.hold("c.com", QStringLiteral("c.com/1"));
        QCOMPARE(gate.heldSites(), 4);
        QCOMPARE(gate.heldHosts(), 3);
        QVERIFY(gate.isHolding("a.COM"));
        QVERIFY(gate.heldBytes() > 0);
        QSet<QByteArray> ready{"c.com", "b.com"};
        auto isReady = [&ready](const QByteArray &host) { return ready.contains(host.toLower()); };
        QCOMPARE(gate.takeReady(isReady), std::optional<QString>(QStringLiteral("b.com/1")));
        QCOMPARE(gate.takeReady(isReady), std::optional<QString>(QStringLiteral("c.com/1")));
        QCOMPARE(gate.takeReady(isReady), std::nullopt);
        QVERIFY(!gate.isHolding("b.com"));
        ready = {"a.com"};
        QCOMPARE(gate.takeReady(isReady), std::optional<QString>(QStringLiteral("a.com/1")));
        QCOMPARE(gate.takeReady(isReady), std::optional<QString>(QStringLiteral("a.com/2")));
        QCOMPARE(gate.heldSites(), 0);
        QCOMPARE(gate.heldHosts(), 0);
        QCOMPARE(gate.heldBytes(), 0);
    }

    // Sites held first (a site's contact pages) go ahead of their host's other sites, in the
    // order they came, and before the sites of hosts that have none; a stop takes them back
    // in the order they came, with the rest.
    void sitesHeldFirst()
    {
        HostGate gate(2, [] { return qint64(0); });
        gate.hold("a.com", QStringLiteral("a.com/1"));
        gate.hold("b.com", QStringLiteral("b.com/1"));
        gate.holdFirst("b.com", QStringLiteral("b.com/contact"));
        gate.holdFirst("b.com", QStringLiteral("b.com/about"));
        QVERIFY(gate.frontHeldFirst("B.com"));
        QVERIFY(!gate.frontHeldFirst("a.com"));
        QVERIFY(!gate.frontHeldFirst("c.com"));
        auto all = [](const QByteArray &) { return true; };
        QCOMPARE(gate.takeReady(all), std::optional<QString>(QStringLiteral("b.com/contact")));
        QCOMPARE(gate.heldSites(), 3);
        QCOMPARE(gate.takeAllHeld(), QStringList({"a.com/1", "b.com/1", "b.com/about"}));
        gate.hold("a.com", QStringLiteral("a.com/1"));
        gate.holdFirst("b.com", QStringLiteral("b.com/contact"));
        QCOMPARE(gate.takeReady(all), std::optional<QString>(QStringLiteral("b.com/contact")));
        QCOMPARE(gate.takeReady(all), std::optional<QString>(QStringLiteral("a.com/1")));
        QCOMPARE(gate.heldBytes(), 0);
    }

    // A long queue of one host is served in order and in little time, and a stop takes
    // every waiting site back in the order they came.
    void longQueueAndTakingAllBack()
    {
        HostGate gate(2, [] { return qint64(0); });
        for (int i = 0; i < 10000; ++i)
            gate.hold("one.com", QStringLiteral("one.com/%1").arg(i));
        gate.hold("two.com", QStringLiteral("two.com/x"));
        auto one = [](const QByteArray &host) { return host == "one.com"; };
        for (int i = 0; i < 9000; ++i)
            QCOMPARE(gate.takeReady(one),
                     std::optional<QString>(QStringLiteral("one.com/%1").arg(i)));
        const QStringList rest = gate.takeAllHeld();
        QCOMPARE(rest.size(), 1001);
        QCOMPARE(rest.first(), QStringLiteral("one.com/9000"));
        QCOMPARE(rest.at(999), QStringLiteral("one.com/9999"));
        QCOMPARE(rest.last(), QStringLiteral("two.com/x"));
        QCOMPARE(gate.heldSites(), 0);
        QCOMPARE(gate.heldBytes(), 0);
    }

    // The gate timer wakes for the first waiting host whose crawl delay ends; hosts that
    // wait for a download to end are woken by that end instead.
    void nextDueOfWaitingHosts()
    {
        qint64 now = 0;
        HostGate gate(1, [&now] { return now; });
        QCOMPARE(gate.nextDue(), -1);
        gate.setCrawlDelay("d.com", 5000);
        gate.setCrawlDelay("e.com", 2000);
        QVERIFY(gate.tryStart("d.com"));
        gate.finished("d.com");
        QVERIFY(gate.tryStart("e.com"));
        gate.finished("e.com");
        QVERIFY(gate.tryStart("busy.com"));
        gate.hold("busy.com", QStringLiteral("busy.com/x"));
        QCOMPARE(gate.nextDue(), -1);
        gate.hold("d.com", QStringLiteral("d.com/x"));
        QCOMPARE(gate.nextDue(), 5000);
        gate.hold("e.com", QStringLiteral("e.com/x"));
        now += 500;
        QCOMPARE(gate.nextDue(), 1500);
    }

    // What the gate answers a download about to connect, as the host's robots.txt is read.
    // Steps: "admit PATH" asks for a download; "read RULES" files the host's rules; "lost"
    // gives the read up; "stop" forgets reads cut off. Hosts differ only in letter case.
    void robotsAnswers_data()
    {
        QTest::addColumn<bool>("robots");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("answers");
        QTest::newRow("robots off: every page goes")
            << false << QStringList{"admit /", "admit /private"} << QStringList{"go", "go"};
        QTest::newRow("first page reads robots.txt first, the host's others wait")
            << true << QStringList{"admit /", "pending", "admit /other"}
            << QStringList{"robots", "pending", "go"};
        QTest::newRow("rules read: a forbidden page is skipped")
            << true
            << QStringList{"admit /", "read Disallow: /private", "admit /private", "admit /open",
                           "pending"}
            << QStringList{"robots", "skip", "go", "not pending"};
        // Kept for the search: the rules of a host are asked for once.
        QTest::newRow("letter case of the host")
            << true << QStringList{"admit /", "read Disallow: /a", "admit:HOST.COM /a"}
            << QStringList{"robots", "skip"};
        QTest::newRow("a read given up on keeps the host out")
            << true << QStringList{"admit /", "lost", "admit /", "pending"}
            << QStringList{"robots", "skip", "not pending"};
        QTest::newRow("a read cut off by a stop is read again")
            << true << QStringList{"admit /", "stop", "pending", "admit /"}
            << QStringList{"robots", "not pending", "robots"};
    }
    void robotsAnswers()
    {
        QFETCH(bool, robots);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, answers);
        HostGate gate(2, [] { return qint64(0); });
        QStringList got;
        for (const QString &step : qAsConst(steps)) {
            QByteArray host = "host.com";
            QString action = step.section(QLatin1Char(' '), 0, 0);
            if (action.startsWith(QLatin1String("admit:"))) {
                host = action.mid(6).toLatin1();
                action = QStringLiteral("admit");
            }
            const QByteArray rest = step.section(QLatin1Char(' '), 1).toLatin1();
            if (action == QLatin1String("admit")) {
                switch (gate.admit(host, rest, robots)) {
                case HostGate::Answer::Go:
                    got << QStringLiteral("go");
                    break;
                case HostGate::Answer::Skip:
                    got << QStringLiteral("skip");
                    break;
                case HostGate::Answer::ReadRobotsFirst:
                    got << QStringLiteral("robots");
                    break;
                }
            } else if (action == QLatin1String("read")) {
                gate.robotsRead(host, RobotsTxt::parse("User-agent: *\n" + rest, "varnel"));
            } else if (action == QLatin1String("lost")) {
                gate.robotsUnreadable(host, 0);
            } else if (action == QLatin1String("stop")) {
                gate.forgetPendingRobots();
            } else if (action == QLatin1String("pending")) {
                got << (gate.robotsPending(host) ? QStringLiteral("pending")
                                                 : QStringLiteral("not pending"));
            }
        }
        QCOMPARE(got, answers);
    }

    // Sites waiting for a crawl delay are woken when it ends, and at once when asked.
    void dueTimerWakes()
    {
        qint64 now = 0;
        HostGate gate(1, [&now] { return now; });
        int woken = 0;
        gate.setDueCallback([&woken] { ++woken; });
        gate.setCrawlDelay("d.com", 50);
        QVERIFY(gate.tryStart("d.com"));
        gate.finished("d.com");
        gate.hold("d.com", QStringLiteral("d.com/x"));
        gate.scheduleDue();
        QTRY_COMPARE(woken, 1);
        gate.lookAgainSoon();
        gate.stopTimer();
        QTest::qWait(20);
        QCOMPARE(woken, 1);
        gate.lookAgainSoon();
        QTRY_COMPARE(woken, 2);
    }
};

QTEST_GUILESS_MAIN(TestHostGate)
#include "tst_hostgate.moc"
