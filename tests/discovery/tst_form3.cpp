#include "fakesearchengine.h"
#include "form3.h"
#include "listbuildertestkit.h"
#include "webenginesetup.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>

// The list builder window with its embedded browser, against the loopback fake engine.
class TestForm3 : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void window_showsStatusAndBrowser()
    {
        TestListBuilderHost host;
        Form3 form(&host);
        QCOMPARE(form.windowTitle(), QStringLiteral("List Builder - Finding matching websites..."));
        QCOMPARE(form.Text1()->text(), QStringLiteral("Status..."));
        QCOMPARE(form.Text1()->toolTip(),
                 QStringLiteral("This shows the number of unique .com, .org and .net domain names found."));
        QCOMPARE(form.WebBrowser1()->toolTip(),
                 QStringLiteral("Searching for unique .com, .net and .org domain names."));
        QCOMPARE(form.windowModality(), Qt::NonModal);
        QVERIFY(!form.isVisible());
    }

    // The page text is the body's markup as the embedded browser sees it.
    void run_readsPagesInTheEmbeddedBrowser()
    {
        FakeSearchEngine engine;
        QVERIFY(engine.listen());
        engine.setPages(QStringLiteral("tiles"),
                        {FakeSearchEngine::resultPage(FakeSearchEngine::numberedLinks(QStringLiteral("tile"), 0, 25))});
        TestListBuilderHost host;
        host.setSearches({QStringLiteral("tiles")});
        DiscoveryConfig config;
        config.googleHost = engine.hostAndPort();
        config.pageTimeoutMs = 30000;
        Form3 form(&host, config);
        host.builder = form.searchListBuilder();

        form.listBuilder()->load();
        form.listBuilder()->show();
        QVERIFY(form.isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(host.doSearchCalls, 1, 60000);
        QCOMPARE(host.handedBack[0].size(), 25);
        QCOMPARE(host.handedBack[0].first(), QStringLiteral("tile0.com"));
        QCOMPARE(form.Text1()->text(), QStringLiteral("Finished! Extracted 25 results."));
        QVERIFY(!form.isVisible());
        QVERIFY(!form.listBuilder()->isLoaded());
        int pages = 0; // the browser also asks for its own things, such as an icon
        for (const FakeSearchEngine::Request &r : engine.requests())
            pages += r.engine == QLatin1String("Google");
        QCOMPARE(pages, 2);
    }

    // The embedded browser tells a refusing engine from a silent one.
    void engineAnswers_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("panel2");
        QTest::newRow("503") << int(FakeSearchEngine::Answer::Unavailable)
            << QStringLiteral("Not enough results: the search engine blocked the search");
        QTest::newRow("human check") << int(FakeSearchEngine::Answer::HumanCheck)
            << QStringLiteral("Not enough results: the search engine blocked the search");
        QTest::newRow("closed") << int(FakeSearchEngine::Answer::Close)
            << QStringLiteral("Not enough results: the search engine did not answer");
    }

    void engineAnswers()
    {
        QFETCH(int, answer);
        QFETCH(QString, panel2);
        FakeSearchEngine engine;
        QVERIFY(engine.listen());
        engine.setAnswer(FakeSearchEngine::Answer(answer));
        TestListBuilderHost host;
        host.setSearches({QStringLiteral("tiles")});
        DiscoveryConfig config;
        config.googleHost = engine.hostAndPort();
        Form3 form(&host, config);
        form.listBuilder()->load();
        QTRY_VERIFY_WITH_TIMEOUT(!form.listBuilder()->isLoaded(), 60000);
        QCOMPARE(host.panels[2], panel2);
    }

    void closingTheWindow_endsRunWithoutHandBack()
    {
        FakeSearchEngine engine;
        QVERIFY(engine.listen());
        engine.setAnswer(FakeSearchEngine::Answer::Silent);
        TestListBuilderHost host;
        host.setSearches({QStringLiteral("tiles")});
        DiscoveryConfig config;
        config.googleHost = engine.hostAndPort();
        Form3 form(&host, config);
        form.listBuilder()->load();
        form.listBuilder()->show();
        QTRY_COMPARE_WITH_TIMEOUT(engine.requests().size(), 1, 30000);
        form.close();
        QVERIFY(!form.listBuilder()->isLoaded());
        QCOMPARE(host.unloadNotices, 1);
        QCOMPARE(host.doSearchCalls, 0);
    }
};

int main(int argc, char **argv)
{
    prepareWebEngine();
    QApplication app(argc, argv);
    TestForm3 test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_form3.moc"
