// The ten fetch slots against the loopback test web: the request on the wire, the header
// cut, the page files, progress, the watchdogs, the size bound and the redirect option.

#include "enginetestkit.h"
#include "pagefiles.h"
#include "useragent.h"

#include <QSslSocket>
#include <QtTest>

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Starts a harvest of the sites (one search string, "Stop Immediately").
void harvest(EngineRig &rig, const QStringList &sites)
{
    rig.readyToStart();
    rig.queue(sites);
    rig.session.startCrawl();
}

// The two page files at the moment analysis starts on them (before the fax scan rewrites
// the second one), for each slot.
struct PageFileSpy
{
    QHash<int, QPair<QByteArray, QByteArray>> files;
    QList<int> pb1AtAnalysis;
    PageFileSpy(EngineRig &rig)
    {
        QObject::connect(&rig.presenter, &HarvestPresenter::statusTextChanged, &rig.presenter,
                         [this, &rig](int panel, const QString &text) {
                             if (panel != 2 || text != QLatin1String("Getting Links"))
                                 return;
                             for (int s = 0; s < HarvestSession::SlotCount; ++s) {
                                 const QByteArray f1 = readFile(pageFile1(rig.dir.path(), s));
                                 if (!f1.isEmpty() && !files.contains(s))
                                     files.insert(s, {f1, readFile(pageFile2(rig.dir.path(), s))});
                             }
                             pb1AtAnalysis << rig.presenter.progress();
                         });
    }
};

} // namespace

class TestFetchSlots : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void requestOnTheWire_data()
    {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QByteArray>("request");
        const QByteArray tail =
            " HTTP/1.1\r\nHost: example.com\r\nConnection: close\r\nAccept: */*\r\n\r\n";
        QTest::newRow("bare host") << "example.com" << QByteArray("GET /" + tail);
        QTest::newRow("host and slash") << "example.com/" << QByteArray("GET /" + tail);
        QTest::newRow("path") << "example.com/dir/a.htm" << QByteArray("GET /dir/a.htm" + tail);
        QTest::newRow("scheme in capitals")
            << "HTTP://example.com/a" << QByteArray("GET /a" + tail);
        QTest::newRow("host repeated in path")
            << "example.com/x/example.com/y" << QByteArray("GET /x/y" + tail);
    }
    void requestOnTheWire()
    {
        QFETCH(QString, site);
        QFETCH(QByteArray, request);
        EngineRig rig;
        // The reference request: no User-Agent, as without the modern mode.
        rig.presenter.optionClicked(OptionId::FollowRedirects, 0);
        rig.readyToStart();
        // Queued the way discovery and link extraction queue, as stored.
        rig.session.siteQueue()->addItem(site);
        rig.session.startCrawl();
        QTRY_COMPARE(rig.web.requests().size(), 1);
        QCOMPARE(rig.web.requests().first().raw, request);
        QTRY_VERIFY(!rig.session.isHarvesting());
        QCOMPARE(rig.session.counters()->sitesScanned(), 1);
    }

    void pageFilesAndProgress_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<int>("trickleMs");
        QTest::addColumn<QByteArray>("file1");
        QTest::addColumn<QByteArray>("file2");
        QTest::addColumn<int>("pb1");
        QTest::newRow("one data event")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello") << 0
            << QByteArray("hello\r\n") << QByteArray("hello\r\n") << 0;
        // The bar moves from the event after the one that completed the header.
        QTest::newRow("trickled") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello")
                                  << 2 << QByteArray("hello\r\n") << QByteArray("hello\r\n") << 100;
        QTest::newRow("lower-case length is not read")
            << QByteArray("HTTP/1.1 200 OK\r\ncontent-length: 5\r\n\r\nhello") << 2
            << QByteArray("hello\r\n") << QByteArray("hello\r\n") << 0;
        QTest::newRow("line breaks")
            << QByteArray("HTTP/1.1 200 OK\r\n\r\na\r\nb\rc\nd") << 0
            << QByteArray("a\r\nb\rc\nd\r\n") << QByteArray("abcd\r\n") << 0;
        QTest::newRow("no blank line")
            << QByteArray("<p>x<P>y") << 0 << QByteArray("xy\r\n") << QByteArray("xy\r\n") << 0;
        QTest::newRow("empty response")
            << QByteArray() << 0 << QByteArray("\r\n") << QByteArray("\r\n") << 0;
        QTest::newRow("error page") << QByteArray("HTTP/1.1 404 Not Found\r\n\r\ngone") << 0
                                    << QByteArray("gone\r\n") << QByteArray("gone\r\n") << 0;
    }
    void pageFilesAndProgress()
    {
        QFETCH(QByteArray, response);
        QFETCH(int, trickleMs);
        QFETCH(QByteArray, file1);
        QFETCH(QByteArray, file2);
        QFETCH(int, pb1);
        EngineRig rig;
        // The files as the fax line scan reads them; with the finder on, the second file
        // gets only the page's text, once the page has been analysed.
        rig.session.setOption(OptionId::FindBeyondFaxLine, 0);
        TestWebServer::Response r;
        r.raw = response;
        if (response.isEmpty())
            r.fault = TestWebServer::Fault::CloseAtOnce;
        if (trickleMs > 0) {
            r.fault = TestWebServer::Fault::Trickle;
            r.trickleIntervalMs = trickleMs;
        }
        rig.web.addResponse("p.example", "/", r);
        PageFileSpy spy(rig);
        // A harvest whose queue ran dry leaves the bar full: the download's connect sets it
        // back to 0.
        rig.readyToStart();
        rig.session.startCrawl();
        QTRY_VERIFY(!rig.session.isHarvesting());
        QCOMPARE(rig.presenter.progress(), 100);
        rig.queue({QStringLiteral("p.example")});
        rig.session.startCrawl();
        QTRY_VERIFY(!rig.session.isHarvesting());
        QVERIFY(spy.files.contains(0));
        QCOMPARE(spy.files.value(0).first, file1);
        QCOMPARE(spy.files.value(0).second, file2);
        QCOMPARE(spy.pb1AtAnalysis.value(0), pb1);
        // Completed by the server: one site scanned, whatever the page held.
        QCOMPARE(rig.session.counters()->sitesScanned(), 1);
        QCOMPARE(rig.presenter.statusText(1), QStringLiteral("Stopped"));
    }

    // The watchdogs on a clock the test ticks: idle counts the seconds without data and is
    // reset by data, total counts every second of the download.
    void watchdogs_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("idleLimit");
        QTest::addColumn<int>("totalLimit");
        QTest::addColumn<bool>("dataEverySecond"); // a byte arrives between any two ticks
        QTest::addColumn<int>("ticks");            // until the download is given up
        QTest::newRow("no answer: idle")
            << int(TestWebServer::Fault::NoAnswer) << 1 << 30 << false << 1;
        QTest::newRow("never closes: idle")
            << int(TestWebServer::Fault::NeverClose) << 2 << 30 << false << 2;
        QTest::newRow("trickle: total")
            << int(TestWebServer::Fault::Trickle) << 2 << 4 << true << 4;
    }
    void watchdogs()
    {
        QFETCH(int, fault);
        QFETCH(int, idleLimit);
        QFETCH(int, totalLimit);
        QFETCH(bool, dataEverySecond);
        QFETCH(int, ticks);
        EngineRig rig;
        rig.useManualClock();
        TestWebServer::Response r;
        r.fault = TestWebServer::Fault(fault);
        r.body = "<body><p>Fax: 212-555-0187</p></body>";
        r.trickleIntervalMs = 20;
        rig.web.addResponse("slow.example", "/", r);
        // "Continue Until Stopped": the harvest stays running with the slot idle afterwards.
        rig.presenter.optionClicked(OptionId::AfterLastSearch, 1);
        // The reference mode, where only the close ends a page (the modern mode ends it
        // where its Content-Length says).
        rig.presenter.optionClicked(OptionId::FollowRedirects, 0);
        rig.readyToStart();
        rig.session.setIdleLimit(qint16(idleLimit));
        rig.session.setTotalLimit(qint16(totalLimit));
        QSignalSpy abandoned(&rig.session, &HarvestSession::downloadAbandoned);
        rig.queue({QStringLiteral("slow.example")});
        rig.session.startCrawl();
        QVERIFY(rig.session.slotInfo(0).watchdogs);
        if (fault == int(TestWebServer::Fault::NeverClose)) // the whole answer, then silence
            QTRY_VERIFY(rig.session.slotInfo(0).bodyBytes > 0);
        for (int t = 1; t <= ticks; ++t) {
            QVERIFY2(abandoned.isEmpty(),
                     qPrintable(QStringLiteral("given up after %1").arg(t - 1)));
            if (dataEverySecond) {
                const qint32 before = rig.session.slotInfo(0).bodyBytes;
                QTRY_VERIFY(rig.session.slotInfo(0).bodyBytes > before);
            }
            rig.clock.tick();
        }
        QCOMPARE(abandoned.size(), 1);
        QCOMPARE(abandoned.first().at(0).toInt(), 0);
        QCOMPARE(rig.session.abandonedHosts(), QByteArray("slow.example"));
        // Dropped: nothing saved, nothing counted.
        QVERIFY(!QFile::exists(pageFile1(rig.dir.path(), 0)));
        QCOMPARE(rig.session.counters()->sitesScanned(), 0);
        QVERIFY(rig.storedFaxes().isEmpty());
        // The slot found nothing more to do: no watchdog keeps ticking for it.
        QVERIFY(rig.session.isHarvesting());
        QVERIFY(!rig.session.slotInfo(0).connected);
        QVERIFY(!rig.session.slotInfo(0).watchdogs);
        rig.clock.tick(30);
        QCOMPARE(abandoned.size(), 1);
        QCOMPARE(rig.session.abandonedHosts(), QByteArray("slow.example"));
    }

    void timedOutHostsAreSkipped()
    {
        EngineRig rig;
        rig.useManualClock();
        rig.web.addFault("shop.example.com", "/", TestWebServer::Fault::NoAnswer);
        rig.web.addPage("after.example", "/", "<p>after</p>");
        rig.readyToStart();
        rig.session.setIdleLimit(1);
        rig.queue({QStringLiteral("shop.example.com")});
        rig.session.startCrawl();
        // Queued while the first download stalls: a host whose name lies inside the timed-out
        // one (fetched: hosts match whole), many sites of the timed-out host in other letter
        // case (skipped one after another, not by nested calls), then a live one.
        QStringList later{QStringLiteral("example.com/x")};
        for (int i = 0; i < 300; ++i)
            later << QStringLiteral("SHOP.example.com/p%1").arg(i);
        later << QStringLiteral("after.example");
        rig.queue(later);
        QTRY_COMPARE(rig.web.requestCount("shop.example.com", "/"), 1);
        rig.clock.tick(); // the stalled download is given up
        QTRY_COMPARE_WITH_TIMEOUT(rig.web.requestCount("after.example", "/"), 1, 5000);
        QCOMPARE(rig.web.requestCount("example.com", "/x"), 1);
        QCOMPARE(rig.web.requests().size(), 3);
        QTRY_VERIFY(!rig.session.isHarvesting());
        QCOMPARE(rig.session.counters()->sitesScanned(), 2);
        QVERIFY(rig.storedWebsites().isEmpty());
    }

    void oversizeIsAbandoned()
    {
        EngineRig rig;
        rig.web.addFault("big.example", "/", TestWebServer::Fault::Oversize);
        rig.web.addPage("next.example", "/", "<body><p>Fax: 212-555-0187</p></body>");
        QSignalSpy abandoned(&rig.session, &HarvestSession::downloadAbandoned);
        harvest(rig, {QStringLiteral("big.example"), QStringLiteral("next.example")});
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 10000);
        QCOMPARE(abandoned.size(), 1);
        QCOMPARE(rig.session.abandonedHosts(), QByteArray("big.example"));
        QCOMPARE(rig.session.counters()->sitesScanned(), 1);
        QCOMPARE(rig.storedFaxes(), QStringList{QStringLiteral("1-212-555-0187")});
    }

    void resetEndsTheDownload()
    {
        // The socket layer reports a reset as the end of the data: what arrived is the page.
        EngineRig rig;
        TestWebServer::Response r;
        r.fault = TestWebServer::Fault::Reset;
        r.body =
            QByteArray(4000, ' ') + "<body><p>Fax: 212-555-0187</p></body>" + QByteArray(4000, ' ');
        rig.web.addResponse("reset.example", "/", r);
        rig.readyToStart();
        rig.session.setIdleLimit(2);
        rig.queue({QStringLiteral("reset.example")});
        rig.session.startCrawl();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 5000);
        QCOMPARE(rig.session.counters()->sitesScanned(), 1);
        QVERIFY(rig.session.abandonedHosts().isEmpty());
        QVERIFY(!rig.session.anySlotBusy());
    }

    void redirects_data()
    {
        QTest::addColumn<bool>("follow");
        QTest::newRow("followed") << true;
        QTest::newRow("option off") << false;
    }
    void redirects()
    {
        QFETCH(bool, follow);
        EngineRig rig;
        TestWebServer tls;
        const bool haveTls = QSslSocket::supportsSsl() && tls.listen(true);
        TestWebServer::Response moved;
        moved.status = 301;
        moved.headers.append(qMakePair(QByteArray("Location"), QByteArray("/new/page.htm")));
        moved.body = "<p>Moved</p>";
        rig.web.addResponse("old.example", "/", moved);
        TestWebServer::Response toTls;
        toTls.status = 302;
        toTls.headers.append(
            qMakePair(QByteArray("Location"), QByteArray("https://secure.example/s.htm")));
        toTls.body = "<p>Moved</p>";
        rig.web.addResponse("old.example", "/new/page.htm", toTls);
        tls.addPage("secure.example", "/s.htm",
                    "<body><a href=\"more.htm\">more</a>\r\n<p>Fax: 212-555-0187</p></body>");
        tls.addPage("secure.example", "/more.htm", "<body><p>Fax: 212-555-0199</p></body>");
        rig.presenter.optionClicked(OptionId::FollowRedirects, follow ? 1 : 0);
        // As on the web: plain HTTP to the secure host answers with a redirect to HTTPS.
        rig.web.addRedirect("secure.example", "/more.htm", 301, "https://secure.example/more.htm");
        ResolveMap tlsMap;
        tlsMap.add(tls.resolveSpec(QStringLiteral("secure.example")));
        rig.session.setTlsResolveMap(tlsMap);
        harvest(rig, {QStringLiteral("old.example")});
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 5000);
        if (!follow) {
            // The redirect page itself is the page.
            QCOMPARE(rig.session.counters()->sitesScanned(), 1);
            QCOMPARE(rig.web.requests().size(), 1);
            QCOMPARE(readFile(pageFile1(rig.dir.path(), 0)), QByteArray("<p>Moved</p>\r\n"));
            return;
        }
        if (!haveTls)
            QSKIP("no TLS backend");
        // Two hops in the same slot; the final page and its link count and store.
        QCOMPARE(rig.web.requestCount("old.example", "/new/page.htm"), 1);
        QCOMPARE(tls.requestCount("secure.example", "/s.htm"), 1);
        QCOMPARE(tls.requests().first().raw,
                 QByteArray("GET /s.htm HTTP/1.1\r\nHost: secure.example\r\nUser-Agent: " +
                            UserAgent::defaultText() + "\r\nAccept: */*\r\n\r\n"));
        QCOMPARE(tls.requestCount("secure.example", "/more.htm"), 1);
        QCOMPARE(rig.session.counters()->sitesScanned(), 2);
        const QList<QStringList> rows = rig.faxRows();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0).mid(0, 3),
                 (QStringList{QStringLiteral("1-212-555-0187"),
                              QStringLiteral("secure.example/s.htm"), QStringLiteral("plumbers")}));
        QCOMPARE(rows.at(1).at(1), QStringLiteral("secure.example/more.htm"));
    }

    void redirectHopsAreBounded()
    {
        EngineRig rig;
        for (int i = 0; i < 10; ++i) {
            TestWebServer::Response r;
            r.status = 302;
            r.headers.append(
                qMakePair(QByteArray("Location"), QByteArray("/" + QByteArray::number(i + 1))));
            r.body = "<p>hop</p>";
            rig.web.addResponse("loop.example", "/" + QByteArray::number(i), r);
        }
        harvest(rig, {QStringLiteral("loop.example/0")});
        QTRY_VERIFY(!rig.session.isHarvesting());
        // Five hops followed; the sixth redirect is the page.
        QCOMPARE(rig.web.requests().size(), 6);
        QCOMPARE(rig.web.requestCount("loop.example", "/6"), 0);
        QCOMPARE(rig.session.counters()->sitesScanned(), 1);
        QCOMPARE(readFile(pageFile1(rig.dir.path(), 0)), QByteArray("<p>hop</p>\r\n"));
    }

    void chunkedBodies_data()
    {
        QTest::addColumn<bool>("follow");
        QTest::newRow("decoded") << true;
        QTest::newRow("option off: as sent") << false;
    }
    void chunkedBodies()
    {
        QFETCH(bool, follow);
        EngineRig rig;
        TestWebServer::Response r;
        r.chunked = true;
        r.chunkSize = 9;
        r.body = "<body><p>Fax: 212-555-0187</p></body>";
        rig.web.addResponse("c.example", "/", r);
        rig.presenter.optionClicked(OptionId::FollowRedirects, follow ? 1 : 0);
        harvest(rig, {QStringLiteral("c.example")});
        QTRY_VERIFY(!rig.session.isHarvesting());
        const QByteArray file1 = readFile(pageFile1(rig.dir.path(), 0));
        if (follow) {
            QCOMPARE(file1, r.body + "\r\n");
            QCOMPARE(rig.storedFaxes(), QStringList{QStringLiteral("1-212-555-0187")});
        } else {
            QVERIFY(file1.startsWith("9\r\n<body><p>"));
            QVERIFY(file1.endsWith("0\r\n\r\n\r\n"));
        }
    }

    void relativeLinksResolveAgainstTheirOwnPage()
    {
        // Slot 0's page arrives after slot 1 has connected elsewhere.
        EngineRig rig;
        TestWebServer::Response slow;
        slow.fault = TestWebServer::Fault::Trickle;
        slow.trickleIntervalMs = 3;
        slow.body = "<body><a href=\"rel.htm\">r</a></body>";
        rig.web.addResponse("a.example", "/dir/page.htm", slow);
        rig.web.addPage("b.example", "/other/x.htm", "<body>b</body>");
        rig.web.addPage("a.example", "/dir/rel.htm", "<body>rel</body>");
        harvest(rig, {QStringLiteral("a.example/dir/page.htm"),
                      QStringLiteral("b.example/other/x.htm")});
        QCOMPARE(rig.session.currentPageUrl(), QByteArray("b.example/other/x.htm"));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 5000);
        QCOMPARE(rig.web.requestCount("a.example", "/dir/rel.htm"), 1);
        QCOMPARE(rig.web.requests().size(), 3);
    }

    void httpsSiteText_data()
    {
        QTest::addColumn<bool>("follow");
        QTest::newRow("option on: TLS at once") << true;
        QTest::newRow("option off: plain HTTP") << false;
    }
    void httpsSiteText()
    {
        // "https://" is a scheme either way: no "https:" host, nothing timed out.
        QFETCH(bool, follow);
        EngineRig rig;
        TestWebServer tls;
        if (follow && !(QSslSocket::supportsSsl() && tls.listen(true)))
            QSKIP("no TLS backend");
        rig.web.addPage("s.example", "/a", "<body>plain</body>");
        tls.addPage("s.example", "/a", "<body>secure</body>");
        ResolveMap tlsMap;
        tlsMap.add(tls.resolveSpec());
        rig.session.setTlsResolveMap(tlsMap);
        rig.presenter.optionClicked(OptionId::FollowRedirects, follow ? 1 : 0);
        rig.readyToStart();
        rig.session.siteQueue()->addItem(QStringLiteral("https://s.example/a"));
        rig.session.startCrawl();
        QTRY_VERIFY(!rig.session.isHarvesting());
        QCOMPARE(rig.web.requestCount("s.example", "/a"), follow ? 0 : 1);
        QCOMPARE(tls.requestCount("s.example", "/a"), follow ? 1 : 0);
        QVERIFY(rig.session.abandonedHosts().isEmpty());
        QCOMPARE(rig.session.counters()->sitesScanned(), 1);
    }
};

QTEST_GUILESS_MAIN(TestFetchSlots)
#include "tst_fetchslots.moc"
