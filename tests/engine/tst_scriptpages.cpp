// Pages that need JavaScript in the harvest: with the option on, a script shell goes to the
// page renderer and what it renders is analysed (links and numbers); off, or when rendering
// fails, the page is read as sent, and a failure is said.

#include "enginetestkit.h"
#include "fakepagerenderer.h"
#include "scriptpages.h"
#include "yieldreport.h"

#include <QtTest>

namespace {

// Neither the number nor the link stands in the page as sent (its links are read even
// inside scripts).
const QByteArray kShell =
    "<html><head><title>Acme Plumbing</title></head><body><div id=\"root\"></div><script>"
    "var root = document.getElementById('root');"
    "root.innerHTML = '<p>Fax: ' + ['212', '555', '0123'].join('-') + '</p>';"
    "var a = document.createElement('a'); a.setAttribute('href', '/contact' + '.htm');"
    "root.appendChild(a);</script></body></html>";
const QByteArray kRendered = "<html><head><title>Acme Plumbing</title></head><body><div "
                             "id=\"root\"><p>Fax: 212-555-0123</p><a "
                             "href=\"/contact.htm\">Contact</a></div></body></html>";

} // namespace

class TestScriptPages : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void harvest_data()
    {
        QTest::addColumn<bool>("option");
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<bool>("renders"); // the renderer gives the document
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<QStringList>("faxes");
        QTest::addColumn<QStringList>("queued");
        QTest::addColumn<int>("rendered");
        QTest::addColumn<QString>("problem");

        const QStringList shellAsked = {QStringLiteral("http://h.com/")};
        QTest::newRow("on: a shell is rendered and read")
            << true << kShell << true << shellAsked << QStringList{"1-212-555-0123"}
            << QStringList{"h.com/contact.htm"} << 1 << QString();
        QTest::newRow("off: read as sent") << false << kShell << true << QStringList{}
                                           << QStringList{} << QStringList{} << 0 << QString();
        QTest::newRow("on: an ordinary page is not rendered")
            << true << QByteArray("<html><body><p>Fax: 212-555-0199</p></body></html>") << true
            << QStringList{} << QStringList{"1-212-555-0199"} << QStringList{} << 0 << QString();
        QTest::newRow("on: rendering fails, read as sent and said")
            << true << kShell << false << shellAsked << QStringList{} << QStringList{} << 0
            << QStringLiteral("A page that needs JavaScript (http://h.com/) was read as sent: "
                              "the renderer is out of order");
    }

    void harvest()
    {
        QFETCH(bool, option);
        QFETCH(QByteArray, page);
        QFETCH(bool, renders);
        QFETCH(QStringList, asked);
        QFETCH(QStringList, faxes);
        QFETCH(QStringList, queued);
        QFETCH(int, rendered);
        QFETCH(QString, problem);

        EngineRig rig;
        FakePageRenderer renderer;
        if (renders)
            renderer.documents.insert(QStringLiteral("http://h.com/"), kRendered);
        rig.session.scriptPages()->setRenderer(&renderer);
        QSignalSpy problems(rig.session.scriptPages(), &ScriptPages::problem);
        QSignalSpy tallies(rig.session.yield(), &YieldReport::finished);
        QSignalSpy queuedSites(&rig.session, &HarvestSession::siteQueued);
        rig.web.addPage("h.com", "/", page);
        rig.web.addPage("h.com", "/contact.htm", "<html><body>Contact us</body></html>");
        rig.session.options()->set(OptionId::RenderScripts, option ? 1 : 0);
        rig.readyToStart();
        rig.queue({QStringLiteral("h.com/")});
        rig.session.startCrawl();
        QVERIFY(QTest::qWaitFor([&rig] { return !rig.session.isHarvesting(); }, 10000));

        QCOMPARE(renderer.asked, asked);
        QCOMPARE(rig.storedFaxes(), faxes);
        QStringList sites;
        for (const QList<QVariant> &args : queuedSites)
            sites << args.at(0).toString();
        QCOMPARE(sites, queued);
        QCOMPARE(rig.session.scriptPages()->rendered(), rendered);
        QCOMPARE(problems.size(), problem.isEmpty() ? 0 : 1);
        if (!problem.isEmpty())
            QCOMPARE(problems.at(0).at(0).toString(), problem);
        // The search's yield counts the pages rendered.
        QCOMPARE(tallies.size(), 1);
        QCOMPARE(tallies.at(0).at(0).value<YieldReport::Tally>().rendered, rendered);
        rig.session.scriptPages()->setRenderer(nullptr);
    }

    // A stop while a page is being rendered: its site goes back to the queue for Resume, and
    // an answer that comes later is dropped.
    void stopWhileRendering_siteBackInQueue()
    {
        EngineRig rig;
        FakePageRenderer renderer;
        renderer.silent = true;
        rig.session.scriptPages()->setRenderer(&renderer);
        rig.web.addPage("h.com", "/", kShell);
        rig.session.options()->set(OptionId::RenderScripts, 1);
        rig.readyToStart();
        rig.queue({QStringLiteral("h.com/")});
        rig.session.startCrawl();
        QVERIFY(QTest::qWaitFor([&renderer] { return !renderer.open.isEmpty(); }, 10000));
        const quint64 id = renderer.open.first();
        rig.session.stop();
        QCOMPARE(renderer.cancelled, QList<quint64>{id});
        QVERIFY(rig.session.canResume());
        // In the backlog, or at the head of the queue that Resume fetches first.
        QStringList waiting = rig.storedWebsites();
        for (int i = 0; i < rig.session.siteQueue()->count(); ++i)
            waiting << rig.session.siteQueue()->item(i);
        QVERIFY2(waiting.contains(QStringLiteral("h.com/")), qPrintable(waiting.join(' ')));
        renderer.answerNow(id, kRendered);
        QTest::qWait(50);
        QCOMPARE(rig.storedFaxes(), QStringList{});
        rig.session.scriptPages()->setRenderer(nullptr);
    }
};

QTEST_GUILESS_MAIN(TestScriptPages)
#include "tst_scriptpages.moc"
