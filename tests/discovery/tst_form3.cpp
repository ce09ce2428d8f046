#include "fakesearchengine.h"
#include "listbuildertestkit.h"
#include "listbuilderwindow.h"
#include "searchengines.h"
#include "webenginesetup.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>

// The list builder window with its embedded browser, against the loopback fake engine.
class TestListBuilderWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void window_showsStatusAndBrowser()
    {
        ListBuilderWindow form;
        QCOMPARE(form.windowTitle(), QStringLiteral("List Builder - Finding matching websites..."));
        QCOMPARE(form.Text1()->text(), QStringLiteral("Status..."));
        QCOMPARE(form.Text1()->toolTip(),
                 QStringLiteral(
                     "This shows the number of unique .com, .org and .net domain names found."));
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
                        {FakeSearchEngine::resultPage(
                            FakeSearchEngine::numberedLinks(QStringLiteral("tile"), 0, 25))});
        DiscoveryConfig config;
        config.engineOrigins.insert(QStringLiteral("google"), engine.base());
        config.pageTimeoutMs = 30000;
        ListBuilderWindow form(config);
        RunRecorder run(form.listBuilder());

        form.listBuilder()->load(run.request(QStringLiteral("tiles")));
        form.listBuilder()->show();
        QVERIFY(form.isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(run.outcomes.size(), 1, 60000);
        QVERIFY(run.outcomes[0].enough());
        QCOMPARE(run.names.size(), 25);
        QCOMPARE(run.names.first(), QStringLiteral("tile0.com"));
        QCOMPARE(form.Text1()->text(), QStringLiteral("Finished! Extracted 25 results."));
        QVERIFY(!form.isVisible());
        QVERIFY(!form.listBuilder()->isLoaded());
        int pages = 0; // the browser also asks for its own things, such as an icon
        for (const FakeSearchEngine::Request &r : engine.requests())
            pages += r.engine == QLatin1String("Google");
        QCOMPARE(pages, 2);
    }

    // A result page whose script builds its links after the page has loaded is read as it
    // has rendered, not as it arrived: here the script says it is loading for a while (the
    // document changes every 40 ms), then puts in the results.
    void run_readsTheRenderedPage()
    {
        FakeSearchEngine engine;
        QVERIFY(engine.listen());
        // The address is put together so that the script's own text holds no link.
        engine.setPages(QStringLiteral("tiles"),
                        {QStringLiteral("<p id=\"wait\">Loading</p><ol id=\"res\"></ol><script>"
                                        "var ticks = 0;"
                                        "function build() {"
                                        " var list = document.getElementById('res');"
                                        " for (var i = 0; i < 25; ++i) {"
                                        "  var a = document.createElement('a');"
                                        "  a.href = 'http:' + '//www.scripted' + i + '.com/';"
                                        "  a.textContent = 'result ' + i;"
                                        "  var li = document.createElement('li');"
                                        "  li.appendChild(a); list.appendChild(li); } }"
                                        "function tick() {"
                                        " document.getElementById('wait').textContent += '.';"
                                        " if (++ticks < 15) setTimeout(tick, 40); else build(); }"
                                        "setTimeout(tick, 40);</script>")});
        DiscoveryConfig config;
        config.engineOrigins.insert(QStringLiteral("google"), engine.base());
        config.pageTimeoutMs = 30000;
        ListBuilderWindow form(config);
        RunRecorder run(form.listBuilder());
        form.listBuilder()->load(run.request(QStringLiteral("tiles")));
        QTRY_COMPARE_WITH_TIMEOUT(run.outcomes.size(), 1, 60000);
        QCOMPARE(run.names.size(), 25);
        QCOMPARE(run.names.first(), QStringLiteral("scripted0.com"));
        QCOMPARE(run.names.last(), QStringLiteral("scripted24.com"));
        QVERIFY(run.outcomes[0].enough());
    }

    // An engine that wants a POST form, and one whose form carries the token of its home
    // page, are asked so by the embedded browser too.
    void engineForms_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QString>("termsField");
        QTest::newRow("duckduckgo") << "duckduckgo"
                                    << "q";
        QTest::newRow("startpage") << "startpage"
                                   << "query";
    }
    void engineForms()
    {
        QFETCH(QString, engine);
        QFETCH(QString, termsField);
        FakeSearchEngine fake;
        QVERIFY(fake.listen());
        const QString folder = QLatin1Char('/') + engine;
        fake.setHandler([engine, folder](const FakeSearchEngine::Request &r) {
            FakeSearchEngine::Reply reply;
            reply.headers = "Content-Type: text/html; charset=utf-8\r\n";
            if (r.path == folder + QLatin1Char('/'))
                reply.body = "<html><body><form method=\"post\"><input type=\"hidden\" "
                             "name=\"sc\" value=\"tok9\"></form></body></html>";
            else if (r.path.startsWith(folder) && r.method == "POST")
                reply.body =
                    FakeSearchEngine::enginePage(
                        engine,
                        r.form.hasQueryItem(QStringLiteral("s")) ||
                                r.form.hasQueryItem(QStringLiteral("page"))
                            ? QStringList()
                            : FakeSearchEngine::numberedLinks(QStringLiteral("pane"), 0, 25))
                        .toUtf8();
            else
                reply.status = "404 Not Found";
            return reply;
        });
        DiscoveryConfig config;
        config.engineOrigins.insert(engine, fake.base() + folder);
        config.pageTimeoutMs = 30000;
        ListBuilderWindow form(config);
        RunRecorder run(form.listBuilder());
        run.engine = SearchEngines::find(engine)->displayName;
        form.listBuilder()->load(run.request(QStringLiteral("tiles")));
        QTRY_COMPARE_WITH_TIMEOUT(run.outcomes.size(), 1, 60000);
        QVERIFY(run.outcomes[0].enough());
        QCOMPARE(run.names.size(), 25);
        QList<FakeSearchEngine::Request> posts;
        for (const FakeSearchEngine::Request &r : fake.requests()) {
            if (r.method == "POST")
                posts << r;
        }
        QCOMPARE(posts.size(), 2);
        QCOMPARE(posts[0].form.queryItemValue(termsField), QStringLiteral("tiles"));
        QCOMPARE(posts[0].headers.value("content-type"),
                 QByteArray("application/x-www-form-urlencoded"));
        if (engine == QLatin1String("startpage"))
            QCOMPARE(posts[1].form.queryItemValue(QStringLiteral("sc")), QStringLiteral("tok9"));
    }

    // The embedded browser tells a refusing engine from a silent one.
    void engineAnswers_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("kind");
        QTest::newRow("503") << int(FakeSearchEngine::Answer::Unavailable)
                             << int(DiscoveryOutcome::Kind::Blocked);
        QTest::newRow("human check")
            << int(FakeSearchEngine::Answer::HumanCheck) << int(DiscoveryOutcome::Kind::Blocked);
        QTest::newRow("closed") << int(FakeSearchEngine::Answer::Close)
                                << int(DiscoveryOutcome::Kind::NoAnswer);
    }

    void engineAnswers()
    {
        QFETCH(int, answer);
        QFETCH(int, kind);
        FakeSearchEngine engine;
        QVERIFY(engine.listen());
        engine.setAnswer(FakeSearchEngine::Answer(answer));
        DiscoveryConfig config;
        config.engineOrigins.insert(QStringLiteral("google"), engine.base());
        ListBuilderWindow form(config);
        RunRecorder run(form.listBuilder());
        form.listBuilder()->load(run.request(QStringLiteral("tiles")));
        QTRY_VERIFY_WITH_TIMEOUT(!form.listBuilder()->isLoaded(), 60000);
        QCOMPARE(run.outcomes.size(), 1);
        QCOMPARE(int(run.outcomes[0].kind), kind);
    }

    void closingTheWindow_endsRunWithoutOutcome()
    {
        FakeSearchEngine engine;
        QVERIFY(engine.listen());
        engine.setAnswer(FakeSearchEngine::Answer::Silent);
        DiscoveryConfig config;
        config.engineOrigins.insert(QStringLiteral("google"), engine.base());
        ListBuilderWindow form(config);
        RunRecorder run(form.listBuilder());
        form.listBuilder()->load(run.request(QStringLiteral("tiles")));
        form.listBuilder()->show();
        QTRY_COMPARE_WITH_TIMEOUT(engine.requests().size(), 1, 30000);
        form.close();
        QVERIFY(!form.listBuilder()->isLoaded());
        QCOMPARE(run.unloads, 1);
        QVERIFY(run.outcomes.isEmpty());
    }
};

int main(int argc, char **argv)
{
    prepareWebEngine();
    QApplication app(argc, argv);
    TestListBuilderWindow test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_form3.moc"
