// What keeps the crawl from being held or misled by the web it reads: dead hosts free their
// slot at once, given-up hosts are matched exactly, local addresses and ports stay out of
// reach, over-long links and endless sites are not queued, and the number of parallel
// downloads and the User-Agent follow the options.

#include "crawllimits.h"
#include "enginetestkit.h"
#include "useragent.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QSslSocket>
#include <QtTest>

class TestCrawlGuards : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void abandonedHostsMatchExactly_data()
    {
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<bool>("abandoned");
        QTest::newRow("the name itself") << QByteArray("www.good.comwww.victim.org") << true;
        QTest::newRow("in capitals") << QByteArray("WWW.Good.COMwww.victim.ORG") << true;
        QTest::newRow("its first part") << QByteArray("www.good.com") << false;
        QTest::newRow("its last part") << QByteArray("victim.org") << false;
        QTest::newRow("a longer name") << QByteArray("xwww.good.comwww.victim.org") << false;
        // Case folding is ASCII's, as the queue's table compares.
        QTest::newRow("non-ASCII letters unfolded")
            << QByteArray("WWW.GOOD.COMWWW.VICTIM.ORG\xc3\x84") << false;
    }
    void abandonedHostsMatchExactly()
    {
        QFETCH(QByteArray, host);
        QFETCH(bool, abandoned);
        CrawlLimits limits;
        limits.abandon("www.good.comwww.victim.org");
        limits.abandon("www.good.comwww.victim.org\xc3\xa4");
        QCOMPARE(limits.isAbandoned(host), abandoned);
    }

    void abandonedHostsAreBounded()
    {
        CrawlLimits limits;
        for (int i = 0; i < CrawlLimits::MaxAbandonedHosts + 5; ++i)
            limits.abandon("h" + QByteArray::number(i) + ".example");
        QCOMPARE(limits.abandonedCount(), CrawlLimits::MaxAbandonedHosts);
        QVERIFY(!limits.isAbandoned("h0.example"));
        QVERIFY(limits.isAbandoned("h5.example"));
    }

    // A dead host frees its slot without waiting for the watchdog (whose clock never ticks
    // here), is remembered, and the next site is fetched.
    void deadHostsFreeTheSlotAtOnce_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("refused") << "refused";
        QTest::newRow("unknown host") << "unknown";
        QTest::newRow("TLS handshake fails") << "tls";
        QTest::newRow("local address") << "local";
    }
    void deadHostsFreeTheSlotAtOnce()
    {
        QFETCH(QString, kind);
        EngineRig rig;
        rig.useManualClock();
        rig.web.addPage("next.example", "/", "<p>next</p>");
        QByteArray dead = "dead.example";
        ResolveMap map;
        map.add(QStringLiteral("next.example"), QStringLiteral("127.0.0.1"), rig.web.port());
        if (kind == QLatin1String("refused")) {
            map.add(QStringLiteral("dead.example"), QStringLiteral("127.0.0.1"),
                    TestWebServer::refusedPort());
        } else if (kind == QLatin1String("unknown")) {
            dead = "no-such-host.invalid";
        } else if (kind == QLatin1String("tls")) {
            if (!QSslSocket::supportsSsl())
                QSKIP("no TLS");
            // A plain HTTP server answers the TLS handshake with an HTTP error.
            ResolveMap tls;
            tls.add(QStringLiteral("dead.example"), QStringLiteral("127.0.0.1"), rig.web.port());
            rig.session.setTlsResolveMap(tls);
            dead = "https://dead.example";
        } else {
            // Not mapped by the user: the name resolves to loopback, which is not connected to.
            dead = "localhost";
        }
        rig.session.setResolveMap(map);
        rig.presenter.optionClicked(OptionId::AfterLastSearch, 1);
        rig.readyToStart();
        QSignalSpy abandoned(&rig.session, &HarvestSession::downloadAbandoned);
        rig.queue({QString::fromLatin1(dead)});
        rig.session.startCrawl();
        QTRY_COMPARE_WITH_TIMEOUT(abandoned.size(), 1, 1000);
        QVERIFY(!rig.session.slotInfo(0).connected);
        QVERIFY(!rig.session.slotInfo(0).watchdogs);
        QVERIFY(!rig.session.abandonedHosts().isEmpty());
        // The slot takes the next site.
        rig.queue({QStringLiteral("next.example")});
        rig.session.fetchNext(0);
        QTRY_COMPARE(rig.web.requestCount("next.example", "/"), 1);
    }

    // A connection reset in the middle of a page ends that page at once: the slot does not
    // wait for the watchdog (whose clock never ticks here) and takes the next site.
    void resetConnectionFreesTheSlotAtOnce()
    {
        EngineRig rig;
        rig.useManualClock();
        TestWebServer::Response reset;
        reset.fault = TestWebServer::Fault::Reset;
        reset.body = QByteArray(4096, 'x');
        rig.web.addResponse("dead.example", "/", reset);
        rig.web.addPage("next.example", "/", "<p>next</p>");
        ResolveMap map;
        for (const char *host : {"dead.example", "next.example"})
            map.add(QString::fromLatin1(host), QStringLiteral("127.0.0.1"), rig.web.port());
        rig.session.setResolveMap(map);
        rig.presenter.optionClicked(OptionId::AfterLastSearch, 1);
        rig.readyToStart();
        rig.queue({QStringLiteral("dead.example")});
        rig.session.startCrawl();
        QTRY_COMPARE_WITH_TIMEOUT(rig.web.requestCount("dead.example", "/"), 1, 1000);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.slotInfo(0).connected, 1000);
        QVERIFY(!rig.session.slotInfo(0).watchdogs);
        rig.queue({QStringLiteral("next.example")});
        rig.session.fetchNext(0);
        QTRY_COMPARE_WITH_TIMEOUT(rig.web.requestCount("next.example", "/"), 1, 1000);
    }

    // A link to "www.good.comwww.victim.org" (a failed lookup) blinds the harvest to neither
    // good.com nor victim.org.
    void aDeadJoinedNameHidesNoOtherSite()
    {
        EngineRig rig;
        ResolveMap map;
        for (const char *host : {"start.example", "www.good.com", "victim.org"})
            map.add(QString::fromLatin1(host), QStringLiteral("127.0.0.1"), rig.web.port());
        rig.session.setResolveMap(map);
        // The page linking onwards arrives after the joined name has failed.
        TestWebServer::Response slow;
        slow.fault = TestWebServer::Fault::Delay;
        slow.delayMs = 300;
        slow.body = "<a href=\"http://www.good.com/contact.htm\">c</a>"
                    "<a href=\"http://victim.org/\">v</a>";
        rig.web.addResponse("start.example", "/", slow);
        rig.web.addPage("www.good.com", "/contact.htm", "<p>Fax: 212-555-0187</p>");
        rig.web.addPage("victim.org", "/", "<p>Fax: 212-555-0188</p>");
        rig.readyToStart();
        QSignalSpy abandoned(&rig.session, &HarvestSession::downloadAbandoned);
        rig.queue({QStringLiteral("start.example"), QStringLiteral("www.good.comwww.victim.org")});
        rig.session.startCrawl();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 10000);
        QCOMPARE(abandoned.size(), 1);
        QCOMPARE(rig.session.abandonedHosts(), QByteArray("www.good.comwww.victim.org"));
        QCOMPARE(rig.web.requestCount("www.good.com", "/contact.htm"), 1);
        QCOMPARE(rig.web.requestCount("victim.org", "/"), 1);
        QCOMPARE(rig.storedFaxes().size(), 2);
    }

    // A redirect to another port of a mapped host leads to another service: not followed
    // unless the user allows the local network.
    void redirectsStayOnWebPorts_data()
    {
        QTest::addColumn<bool>("allowLocal");
        QTest::newRow("default") << false;
        QTest::newRow("local network allowed") << true;
    }
    void redirectsStayOnWebPorts()
    {
        QFETCH(bool, allowLocal);
        EngineRig rig;
        ResolveMap map;
        map.add(QStringLiteral("pub.example"), QStringLiteral("127.0.0.1"), rig.web.port());
        rig.session.setResolveMap(map);
        rig.web.addRedirect("pub.example", "/", 302,
                            "http://127.0.0.1:" + QByteArray::number(rig.web.port()) + "/admin");
        rig.web.addPage("127.0.0.1", "/admin", "<p>admin</p>");
        rig.presenter.optionClicked(OptionId::AllowLocal, allowLocal ? 1 : 0);
        rig.readyToStart();
        rig.queue({QStringLiteral("pub.example")});
        rig.session.startCrawl();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 5000);
        QCOMPARE(rig.web.requestCount("127.0.0.1", "/admin"), allowLocal ? 1 : 0);
    }

    // Over-long links are not queued; a host gives at most "Pages per site" pages a search.
    void linksQueuedWithinLimits_data()
    {
        QTest::addColumn<int>("pagesPick");
        QTest::addColumn<int>("sameHostQueued");
        QTest::newRow("50 pages per site") << 0 << 50;
        QTest::newRow("no limit") << 3 << 80;
    }
    void linksQueuedWithinLimits()
    {
        QFETCH(int, pagesPick);
        QFETCH(int, sameHostQueued);
        EngineRig rig;
        QByteArray page;
        for (int i = 0; i < 80; ++i)
            page += "<a href=\"http://trap.example/p" + QByteArray::number(i) + ".htm\">p</a>";
        page += "<a href=\"http://other.example/" + QByteArray(CrawlLimits::MaxSiteLength, 'x') +
                "\">long</a>";
        page += "<a href=\"http://other.example/short.htm\">short</a>";
        rig.web.addPage("start.example", "/", page);
        rig.presenter.optionClicked(OptionId::PagesPerSite, pagesPick);
        // Only the first page is fetched: the links stay queued.
        rig.presenter.optionClicked(OptionId::AfterLastSearch, 1);
        rig.readyToStart();
        QSignalSpy queued(&rig.session, &HarvestSession::siteQueued);
        rig.queue({QStringLiteral("start.example")});
        rig.session.startCrawl();
        QTRY_VERIFY(queued.size() >= sameHostQueued + 1);
        rig.session.stop();
        int trap = 0;
        int other = 0;
        for (const QList<QVariant> &q : queued) {
            const QString site = q.at(0).toString();
            QVERIFY2(site.size() <= CrawlLimits::MaxSiteLength, qPrintable(site.left(80)));
            if (site.contains(QLatin1String("trap.example")))
                ++trap;
            else if (site.contains(QLatin1String("other.example")))
                ++other;
        }
        QCOMPARE(trap, sameHostQueued);
        QCOMPARE(other, 1);
    }

    // Twenty parallel downloads: twenty requests at once, to sites that never answer.
    void parallelDownloads()
    {
        EngineRig rig;
        rig.useManualClock();
        TestWebServer::Response silent;
        silent.fault = TestWebServer::Fault::NoAnswer;
        rig.web.setFallback(silent);
        rig.presenter.optionClicked(OptionId::ParallelDownloads, 1);
        rig.readyToStart();
        QStringList sites;
        for (int i = 0; i < 40; ++i)
            sites << QStringLiteral("s%1.example").arg(i);
        rig.queue(sites);
        rig.session.startCrawl();
        QTRY_COMPARE(rig.web.requests().size(), 20);
        QTest::qWait(100);
        QCOMPARE(rig.web.requests().size(), 20);
        QCOMPARE(rig.web.openConnections(), 20);
    }

    // The modern request names the program (or what the user wrote) and lets the server keep
    // the connection; the reference request has no User-Agent line.
    void userAgent_data()
    {
        QTest::addColumn<bool>("follow");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("modern") << true << QString() << UserAgent::defaultText();
        QTest::newRow("written by the user")
            << true << QStringLiteral("MyBot/1.0\r\nX-Evil: 1") << QByteArray("MyBot/1.0X-Evil: 1");
        QTest::newRow("reference") << false << QStringLiteral("MyBot/1.0") << QByteArray();
    }
    void userAgent()
    {
        QFETCH(bool, follow);
        QFETCH(QString, written);
        QFETCH(QByteArray, expected);
        EngineRig rig;
        rig.web.addPage("example.com", "/", "<p>x</p>");
        rig.presenter.optionClicked(OptionId::FollowRedirects, follow ? 1 : 0);
        rig.session.options()->setText(OptionId::UserAgentText, written);
        rig.readyToStart();
        rig.queue({QStringLiteral("example.com")});
        rig.session.startCrawl();
        QTRY_COMPARE(rig.web.requestCount("example.com", "/"), 1);
        QByteArray raw;
        for (const TestWebServer::Request &r : rig.web.requests()) {
            QVERIFY2(r.raw.contains("User-Agent") == !expected.isEmpty(), r.raw.constData());
            if (r.path == "/")
                raw = r.raw;
        }
        if (expected.isEmpty()) {
            QVERIFY(!raw.contains("User-Agent"));
        } else {
            QVERIFY2(raw.contains("\r\nUser-Agent: " + expected + "\r\n"), raw.constData());
            QCOMPARE(raw.count("\r\n"), 5); // no line smuggled in
        }
    }

    // In the modern mode a connection carries the next page of its host; one that its server
    // closed while it waited is replaced by a new one, and no page is lost. The reference
    // mode opens a connection per page.
    void keepAlive_data()
    {
        QTest::addColumn<bool>("follow");
        QTest::addColumn<int>("answersPerConnection");
        QTest::addColumn<int>("connections");
        QTest::newRow("reused") << true << 0 << 1;
        QTest::newRow("closed by the server first") << true << 1 << 4;
        QTest::newRow("reference mode") << false << 0 << 4;
    }
    void keepAlive()
    {
        QFETCH(bool, follow);
        QFETCH(int, answersPerConnection);
        QFETCH(int, connections);
        EngineRig rig;
        rig.web.setKeepAlive(true, answersPerConnection);
        rig.web.addPage("k.example", "/",
                        "<p>Fax: 212-555-0100</p><a href=\"a.htm\">a</a><a href=\"b.htm\">b</a>"
                        "<a href=\"c.htm\">c</a>");
        for (const char *page : {"a", "b", "c"})
            rig.web.addPage("k.example", "/" + QByteArray(page) + ".htm",
                            "<p>Fax: 212-555-01" + QByteArray::number(10 + page[0] - 'a') + "</p>");
        rig.presenter.optionClicked(OptionId::FollowRedirects, follow ? 1 : 0);
        rig.presenter.optionClicked(OptionId::DownloadsPerSite, 1);
        rig.readyToStart();
        rig.queue({QStringLiteral("k.example")});
        rig.session.startCrawl();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 10000);
        QCOMPARE(rig.storedFaxes().size(), 4);
        QCOMPARE(rig.web.connectionCount(), connections);
    }

    // A host that sends its plain pages to itself over TLS gets its later pages asked for
    // over TLS at once (modern mode).
    void secureHostsRemembered()
    {
        EngineRig rig;
        TestWebServer tls;
        if (!QSslSocket::supportsSsl() || !tls.listen(true))
            QSKIP("no TLS backend");
        ResolveMap tlsMap;
        tlsMap.add(QStringLiteral("sec.example"), QStringLiteral("127.0.0.1"), tls.port());
        rig.session.setTlsResolveMap(tlsMap);
        rig.web.addRedirect("sec.example", "/", 301, "https://sec.example/");
        rig.web.addRedirect("sec.example", "/b.htm", 301, "https://sec.example/b.htm");
        tls.addPage("sec.example", "/", "<a href=\"http://sec.example/b.htm\">b</a>");
        tls.addPage("sec.example", "/b.htm", "<p>Fax: 212-555-0187</p>");
        rig.readyToStart();
        rig.queue({QStringLiteral("sec.example")});
        rig.session.startCrawl();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 10000);
        QCOMPARE(rig.web.requestCount("sec.example", "/"), 1);
        QCOMPARE(rig.web.requestCount("sec.example", "/b.htm"), 0);
        QCOMPARE(tls.requestCount("sec.example", "/b.htm"), 1);
        QCOMPARE(rig.storedFaxes().size(), 1);
    }

    // Downloads to one host at once: the option in the modern mode, every slot in the
    // reference mode. The server counts the connections it holds open.
    void downloadsPerSite_data()
    {
        QTest::addColumn<bool>("follow");
        QTest::addColumn<int>("perSite");
        QTest::addColumn<int>("expected");
        QTest::newRow("default") << true << 2 << 2;
        QTest::newRow("four") << true << 4 << 4;
        QTest::newRow("one") << true << 1 << 1;
        QTest::newRow("reference mode") << false << 2 << HarvestSession::SlotCount - 1;
    }
    void downloadsPerSite()
    {
        QFETCH(bool, follow);
        QFETCH(int, perSite);
        QFETCH(int, expected);
        EngineRig rig;
        rig.useManualClock();
        TestWebServer::Response silent;
        silent.fault = TestWebServer::Fault::NoAnswer;
        rig.web.setFallback(silent);
        rig.presenter.optionClicked(OptionId::FollowRedirects, follow ? 1 : 0);
        rig.presenter.optionClicked(OptionId::RespectRobots, 0);
        rig.presenter.optionClicked(OptionId::DownloadsPerSite, perSite);
        rig.readyToStart();
        QStringList sites;
        sites << QStringLiteral("other.example");
        for (int i = 0; i < 12; ++i)
            sites << QStringLiteral("one.example/p%1").arg(i);
        rig.queue(sites);
        rig.session.startCrawl();
        QTRY_COMPARE(rig.web.requestCount("other.example", "/"), 1);
        QTRY_COMPARE(rig.web.requests().size(), expected + 1);
        QTest::qWait(100);
        QCOMPARE(rig.web.requests().size(), expected + 1);
        QCOMPARE(rig.web.openConnections(), expected + 1);
    }

    // robots.txt is read once per host and obeyed: a 4xx answer allows everything, a 5xx
    // answer or none at all forbids everything for the search, and so does a redirect that
    // leads nowhere it can be read (the harvest still ends).
    void robotsTxt_data()
    {
        QTest::addColumn<bool>("respect");
        QTest::addColumn<int>("status");      // 0: the server closes without answering
        QTest::addColumn<QByteArray>("body"); // the Location of a redirect
        QTest::addColumn<bool>("privateFetched");
        QTest::addColumn<bool>("publicFetched");
        const QByteArray rules = "User-agent: *\nDisallow: /private\n";
        QTest::newRow("disallowed path skipped") << true << 200 << rules << false << true;
        QTest::newRow("4xx allows") << true << 404 << QByteArray() << true << true;
        QTest::newRow("5xx disallows") << true << 503 << QByteArray() << false << false;
        QTest::newRow("unreachable disallows") << true << 0 << QByteArray() << false << false;
        QTest::newRow("option off") << false << 200 << rules << true << true;
        QTest::newRow("redirect followed")
            << true << 301 << QByteArray("http://rules.example/robots.txt") << false << true;
        QTest::newRow("redirect to a dead host disallows")
            << true << 301 << QByteArray("http://dead.invalid/robots.txt") << false << false;
        QTest::newRow("redirect to a local address disallows")
            << true << 301 << QByteArray("http://127.0.0.1/robots.txt") << false << false;
        QTest::newRow("redirect to a mail port disallows")
            << true << 302 << QByteArray("http://elsewhere.example:25/robots.txt") << false
            << false;
    }
    void robotsTxt()
    {
        QFETCH(bool, respect);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, privateFetched);
        QFETCH(bool, publicFetched);
        EngineRig rig;
        // Only the hosts of the test web go to it; a dead host refuses, and an address is
        // an address.
        ResolveMap map;
        for (const char *host : {"r.example", "rules.example"})
            map.add(QString::fromLatin1(host), QStringLiteral("127.0.0.1"), rig.web.port());
        map.add(QStringLiteral("dead.invalid"), QStringLiteral("127.0.0.1"),
                TestWebServer::refusedPort());
        rig.session.setResolveMap(map);
        TestWebServer::Response robots;
        robots.status = status;
        robots.body = body;
        robots.contentType = "text/plain";
        if (status == 0)
            robots.fault = TestWebServer::Fault::CloseAtOnce;
        if (status == 301 || status == 302) {
            robots.headers = {{"Location", body}};
            robots.body.clear();
            TestWebServer::Response moved;
            moved.body = "User-agent: *\nDisallow: /private\n";
            moved.contentType = "text/plain";
            rig.web.addResponse("rules.example", "/robots.txt", moved);
        }
        rig.web.addResponse("r.example", "/robots.txt", robots);
        rig.web.addPage("r.example", "/private/x.htm", "<p>private</p>");
        rig.web.addPage("r.example", "/public/y.htm", "<p>public</p>");
        rig.presenter.optionClicked(OptionId::RespectRobots, respect ? 1 : 0);
        rig.readyToStart();
        rig.queue(
            {QStringLiteral("r.example/private/x.htm"), QStringLiteral("r.example/public/y.htm")});
        rig.session.startCrawl();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 5000);
        QCOMPARE(rig.web.requestCount("r.example", "/robots.txt"), respect ? 1 : 0);
        QCOMPARE(rig.web.requestCount("r.example", "/private/x.htm"), privateFetched ? 1 : 0);
        QCOMPARE(rig.web.requestCount("r.example", "/public/y.htm"), publicFetched ? 1 : 0);
    }

    // A Crawl-delay spaces the downloads of its host.
    void crawlDelayKept()
    {
        EngineRig rig;
        TestWebServer::Response robots;
        robots.body = "User-agent: *\nCrawl-delay: 1\n";
        robots.contentType = "text/plain";
        rig.web.addResponse("d.example", "/robots.txt", robots);
        rig.web.addPage("d.example", "/a.htm", "<p>a</p>");
        rig.web.addPage("d.example", "/b.htm", "<p>b</p>");
        QElapsedTimer clock;
        QList<qint64> at;
        connect(&rig.web, &TestWebServer::requestReceived, this,
                [&](const TestWebServer::Request &) { at << clock.elapsed(); });
        rig.presenter.optionClicked(OptionId::RespectRobots, 1);
        rig.readyToStart();
        rig.queue({QStringLiteral("d.example/a.htm"), QStringLiteral("d.example/b.htm")});
        clock.start();
        rig.session.startCrawl();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 10000);
        QCOMPARE(at.size(), 3); // robots.txt, then the two pages
        QVERIFY2(at.at(2) - at.at(0) >= 900, qPrintable(QString::number(at.at(2) - at.at(0))));
    }

    // A host with a long Crawl-delay and many pages ahead of the other sites in the queue
    // holds back its own pages only: every other site is fetched meanwhile, and a stop
    // sends the pages still waiting back to the queue.
    void crawlDelayHoldsOnlyItsHost()
    {
        EngineRig rig;
        TestWebServer::Response robots;
        robots.body = "User-agent: *\nCrawl-delay: 10\n";
        robots.contentType = "text/plain";
        rig.web.addResponse("slow.example", "/robots.txt", robots);
        rig.presenter.optionClicked(OptionId::RespectRobots, 1);
        rig.readyToStart();
        QStringList sites;
        for (int i = 0; i < 100; ++i)
            sites << QStringLiteral("slow.example/p%1.htm").arg(i);
        for (int i = 0; i < 60; ++i)
            sites << QStringLiteral("o%1.example").arg(i);
        rig.queue(sites);
        auto pages = [&rig](bool slow) {
            int n = 0;
            for (const TestWebServer::Request &r : rig.web.requests()) {
                if (r.path != "/robots.txt" && r.host.startsWith("slow.") == slow)
                    ++n;
            }
            return n;
        };
        rig.session.startCrawl();
        QTRY_COMPARE_WITH_TIMEOUT(pages(false), 60, 30000);
        // One page of the slow host per ten seconds at most.
        QVERIFY(pages(true) >= 1);
        rig.session.stop();
        QCOMPARE(pages(true) + rig.storedWebsites().size(), 100);
    }
};

QTEST_MAIN(TestCrawlGuards)
#include "tst_crawlguards.moc"
