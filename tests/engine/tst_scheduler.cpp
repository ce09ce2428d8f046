// The crawl scheduler: what a start dispatches, the "www." rule, the automatic advance, the
// end of a search's queue and the policy after the last search, and that no site is
// fetched twice for one search string.

#include "enginetestkit.h"

#include <QtTest>

namespace {

TestWebServer::Response silent()
{
    TestWebServer::Response r;
    r.fault = TestWebServer::Fault::NoAnswer;
    return r;
}

QStringList numbered(const QString &pattern, int n)
{
    QStringList out;
    for (int i = 0; i < n; ++i)
        out << pattern.arg(i);
    return out;
}

QStringList slotHosts(HarvestSession &session)
{
    QStringList out;
    for (int i = 0; i < HarvestSession::SlotCount; ++i) {
        const HarvestSession::SlotInfo info = session.slotInfo(i);
        if (info.connected)
            out << QString::fromLatin1(info.host + info.path);
    }
    return out;
}

} // namespace

class TestScheduler : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void dispatchOfAStart_data()
    {
        QTest::addColumn<QStringList>("head");
        QTest::addColumn<QStringList>("backlog");
        QTest::addColumn<QStringList>("fetched");
        QTest::addColumn<int>("headAfter");
        // The first queued site is fetched too; four calls give four slots a site.
        QTest::newRow("three in the head, backlog of 100")
            << QStringList{"s1.example", "s2.example", "s3.example"}
            << numbered(QStringLiteral("r%1.example"), 100)
            << QStringList{"s1.example/", "s2.example/", "s3.example/", "r0.example/"} << 4;
        // The twenty newest are loaded; ten slots take the ten oldest of them. Each refill
        // replaces the site handed out before, and the one handed out last stays on top.
        QTest::newRow("thirty in the backlog")
            << QStringList() << numbered(QStringLiteral("b%1.example"), 30)
            << numbered(QStringLiteral("b%1.example/"), 20).mid(10) << 21;
    }
    void dispatchOfAStart()
    {
        QFETCH(QStringList, head);
        QFETCH(QStringList, backlog);
        QFETCH(QStringList, fetched);
        QFETCH(int, headAfter);
        EngineRig rig;
        rig.web.setFallback(silent());
        rig.readyToStart();
        for (const QString &s : head)
            rig.session.siteQueue()->addItem(s);
        rig.queue(backlog);
        rig.session.startCrawl();
        QCOMPARE(slotHosts(rig.session), fetched);
        QCOMPARE(rig.session.siteQueue()->count(), headAfter);
        QCOMPARE(rig.session.sitesSinceAdvance(), qMin(head.isEmpty() ? 20 : head.size(), 9) + 1);
        rig.presenter.stopClicked();
    }

    void emptyQueueEndsAtOnce()
    {
        EngineRig rig;
        rig.readyToStart();
        rig.session.startCrawl();
        QVERIFY(!rig.session.isHarvesting());
        QCOMPARE(rig.presenter.statusText(2), QStringLiteral("No more websites queued"));
        QVERIFY(!rig.session.anySlotBusy());
    }

    void wwwRule_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("fetched");
        QTest::newRow("www and one label: replaced") << "www.example"
                                                     << "next.example/";
        QTest::newRow("www and a suffix") << "www.example.com"
                                          << "www.example.com/";
        QTest::newRow("www inside") << "shop.www.example"
                                    << "shop.www.example/";
        QTest::newRow("capitals: replaced") << "WWW.com/page"
                                            << "next.example/";
        QTest::newRow("no www") << "shop.example"
                                << "shop.example/";
    }
    void wwwRule()
    {
        QFETCH(QString, entry);
        QFETCH(QString, fetched);
        EngineRig rig;
        rig.web.setFallback(silent());
        rig.readyToStart();
        rig.session.siteQueue()->addItem(entry);
        rig.queue({QStringLiteral("next.example")});
        rig.session.startCrawl();
        QCOMPARE(slotHosts(rig.session).value(0), fetched);
        if (fetched.startsWith(QLatin1String("next")))
            QVERIFY(!rig.session.siteQueue()->contains(entry) && rig.storedWebsites().isEmpty());
        rig.presenter.stopClicked();
    }

    void automaticAdvance()
    {
        EngineRig rig;
        rig.web.setFallback(silent());
        rig.presenter.optionClicked(OptionId::AutoAdvance, 1);
        rig.presenter.optionClicked(OptionId::AdvanceAfter, 0);
        QCOMPARE(rig.session.advanceAfter(), 1000);
        rig.readyToStart({QStringLiteral("first"), QStringLiteral("second")});
        rig.queue(numbered(QStringLiteral("q%1.example"), 1020));
        rig.session.startCrawl(); // ten attempts
        for (int i = 10; i < 1000; ++i)
            rig.session.fetchNext(i % HarvestSession::SlotCount);
        QCOMPARE(rig.session.sitesSinceAdvance(), 1000);
        QVERIFY(rig.session.isHarvesting());
        QCOMPARE(rig.builder.loads, 0);
        // The 1001st attempt advances instead of handing out a site.
        rig.session.fetchNext(0);
        QCOMPARE(rig.session.sitesSinceAdvance(), 0);
        QCOMPARE(rig.session.searches()->items(), QStringList{QStringLiteral("second")});
        QCOMPARE(rig.storedSearches(), QStringList{QStringLiteral("second")});
        QCOMPARE(rig.builder.loads, 1);
        QCOMPARE(rig.session.discoverySearch(), QStringLiteral("second"));
        QCOMPARE(rig.session.state(), HarvestSession::State::Discovering);
        QVERIFY(!rig.session.anySlotBusy());
    }

    // With the finder on, a page is analysed beside the crawl while its slot goes on. A
    // page downloaded is still a page kept: a stop that comes while its findings are on
    // their way reads it at once, and the late findings are left.
    void stopWhileAnalysing_pageIsKeptOnce()
    {
        EngineRig rig;
        rig.session.setOption(OptionId::FindBeyondFaxLine, 1);
        rig.web.addPage("a.example", "/",
                        "<body><p>Fax: 212-555-0187</p><a href=\"/b.htm\">b</a></body>");
        rig.web.addPage("a.example", "/b.htm", "<body>b</body>");
        rig.readyToStart();
        rig.queue({QStringLiteral("a.example")});
        // Queued: it runs before the findings, which the analysis posts only later.
        QObject::connect(
            &rig.session, &HarvestSession::pageFinished, &rig.session,
            [&rig] { rig.session.stop(); }, Qt::QueuedConnection);
        QSignalSpy stored(&rig.session, &HarvestSession::numberStored);
        rig.session.startCrawl();
        QTRY_VERIFY(!rig.session.isHarvesting());
        QCOMPARE(stored.size(), 1);
        QCOMPARE(rig.storedFaxes(), QStringList{QStringLiteral("1-212-555-0187")});
        QVERIFY(!rig.session.anySlotBusy());
        QTest::qWait(100);
        QCOMPARE(stored.size(), 1);
        QCOMPARE(rig.storedFaxes(), QStringList{QStringLiteral("1-212-555-0187")});
        // Its link was queued, and its site is not noted as pending any more.
        QVERIFY(rig.session.canResume());
        QCOMPARE(rig.storedWebsites(), QStringList{QStringLiteral("a.example/b.htm")});
        QCOMPARE(rig.db()->pendingSites(), std::optional<QStringList>(QStringList()));
        QCOMPARE(rig.web.requestCount("a.example", "/"), 1);
    }

    void backlogRunsDryWithAnotherSearch()
    {
        EngineRig rig;
        rig.web.setFallback(TestWebServer::Response());
        rig.builder.namesFor.insert(QStringLiteral("second"),
                                    numbered(QStringLiteral("n%1.example"), 21));
        rig.readyToStart({QStringLiteral("first"), QStringLiteral("second")});
        rig.queue({QStringLiteral("f1.example"), QStringLiteral("f2.example"),
                   QStringLiteral("f3.example")});
        QSignalSpy states(&rig.session, &HarvestSession::stateChanged);
        rig.session.startCrawl();
        QVERIFY(rig.presenter.isEnabled(HarvestPresenter::Button::NextSearch));
        // Every site of the first search is crawled before it is dropped.
        QTRY_COMPARE(rig.builder.loads, 1);
        for (const char *h : {"f1.example", "f2.example", "f3.example"})
            QCOMPARE(rig.web.requestCount(h, "/"), 1);
        // The second search may have been crawled already while the wait above let events run.
        QCOMPARE(rig.sound.names().mid(0, 2),
                 (QStringList{QStringLiteral("finished.wav"), QStringLiteral("nextsearch.wav")}));
        QCOMPARE(rig.storedSearches(), QStringList{QStringLiteral("second")});
        // Discovery hands back; the harvest of the second search crawls what it found.
        QTRY_COMPARE(rig.web.requests().size(), 3 + 21);
        QTRY_VERIFY(!rig.session.isHarvesting());
        QCOMPARE(rig.session.searches()->items(), QStringList{QStringLiteral("second")});
        QCOMPARE(rig.presenter.statusText(2), QStringLiteral("No more websites queued"));
        QCOMPARE(rig.sound.names().size(), 3);
        QList<HarvestSession::State> seen;
        for (const QList<QVariant> &a : states)
            seen << a.at(0).value<HarvestSession::State>();
        using S = HarvestSession::State;
        QCOMPARE(seen,
                 (QList<S>{S::Harvesting, S::Stopped, S::Discovering, S::Harvesting, S::Stopped}));
    }

    void lastSearchPolicy_data()
    {
        QTest::addColumn<int>("policy");
        QTest::newRow("Stop Immediately") << 0;
        QTest::newRow("Continue Until Stopped") << 1;
        QTest::newRow("nothing chosen") << -1;
    }
    void lastSearchPolicy()
    {
        QFETCH(int, policy);
        EngineRig rig;
        rig.web.addPage("fast.example", "/", "<body>quick</body>");
        TestWebServer::Response slow;
        slow.fault = TestWebServer::Fault::Trickle;
        slow.trickleIntervalMs = 5;
        slow.body = "<body><p>Fax: 212-555-0187</p></body>";
        rig.web.addResponse("slow.example", "/", slow);
        if (policy >= 0)
            rig.presenter.optionClicked(OptionId::AfterLastSearch, policy);
        else
            rig.presenter.choiceTextEdited(OptionId::AfterLastSearch, QStringLiteral("typed"));
        rig.readyToStart();
        rig.queue({QStringLiteral("slow.example"), QStringLiteral("fast.example")});
        rig.session.startCrawl();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.anySlotBusy(), 5000);
        // The download still running when the queue ran dry was finished and analysed.
        QCOMPARE(rig.storedFaxes(), QStringList{QStringLiteral("1-212-555-0187")});
        QCOMPARE(rig.sound.names().count(QStringLiteral("finished.wav")), 1);
        if (policy == 1) {
            QVERIFY(rig.session.isHarvesting());
            QCOMPARE(rig.session.state(), HarvestSession::State::Draining);
            QVERIFY(!rig.session.slotInfo(0).watchdogs && !rig.session.slotInfo(1).watchdogs);
            rig.presenter.stopClicked();
            QCOMPARE(rig.presenter.statusText(1), QStringLiteral("Stopped"));
            QCOMPARE(rig.presenter.statusText(2), QString());
        } else {
            QVERIFY(!rig.session.isHarvesting());
            QCOMPARE(rig.presenter.statusText(1), QStringLiteral("Stopped"));
            QCOMPARE(rig.presenter.statusText(2), QStringLiteral("No more websites queued"));
            QCOMPARE(rig.presenter.statusText(3), QStringLiteral("Try a different search"));
            QCOMPARE(rig.presenter.progress(), 100);
            using B = HarvestPresenter::Button;
            for (B b : {B::Start, B::ViewDatabase, B::ExportNumbers, B::DeleteAllNumbers})
                QVERIFY(rig.presenter.isEnabled(b));
            for (B b : {B::Stop, B::NextSearch, B::Resume})
                QVERIFY(!rig.presenter.isEnabled(b));
        }
    }

    void linkedSitesAreFetchedOnce()
    {
        EngineRig rig;
        const QByteArray links =
            "<body><a href=\"http://a.example/\">a</a>\r\n<a href=\"http://b.example\">b</a>\r\n"
            "<a href=\"http://c.example/x.htm\">c</a>\r\n<a href=\"/x.htm\">self</a>\r\n</body>";
        rig.web.addPage("a.example", "/", links);
        rig.web.addPage("b.example", "/", links);
        rig.web.addPage("c.example", "/x.htm", links);
        rig.web.addPage("a.example", "/x.htm", links);
        rig.web.addPage("b.example", "/x.htm", links);
        rig.readyToStart();
        rig.queue({QStringLiteral("a.example")});
        rig.session.startCrawl();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 5000);
        for (const TestWebServer::Request &r : rig.web.requests())
            QCOMPARE(rig.web.requestCount(r.host, r.path), 1);
        QCOMPARE(rig.web.requests().size(), 5);
        QCOMPARE(rig.session.counters()->sitesScanned(), 5);
    }
};

QTEST_GUILESS_MAIN(TestScheduler)
#include "tst_scheduler.moc"
