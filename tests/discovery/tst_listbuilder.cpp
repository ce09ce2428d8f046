#include "fakesearchengine.h"
#include "httpbrowser.h"
#include "listbuildertestkit.h"
#include "searchengines.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

namespace {

QString namesPage(const QString &prefix, int first, int n)
{
    return FakeSearchEngine::resultPage(FakeSearchEngine::numberedLinks(prefix, first, n));
}

QStringList numberedNames(const QString &prefix, int first, int n)
{
    QStringList names;
    for (int i = first; i < first + n; ++i)
        names << QStringLiteral("%1%2.com").arg(prefix).arg(i);
    return names;
}

} // namespace

// One list builder run per test; what it reports is recorded.
class TestListBuilder : public QObject
{
    Q_OBJECT

    struct Rig
    {
        explicit Rig(Browser *browser, const DiscoveryConfig &config = DiscoveryConfig())
            : builder(browser, config), run(&builder)
        {
        }
        void load(const QString &search) { builder.load(run.request(search)); }
        SearchListBuilder builder;
        RunRecorder run;
        QString pageFile() const
        {
            return run.dir.file(QLatin1String(SearchListBuilder::pageFileName));
        }
    };

private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void load_startsRunOnFirstPage()
    {
        ScriptedBrowser browser;
        Rig rig(&browser);
        rig.run.addFax = true;
        rig.run.target = -1;
        rig.load(QStringLiteral("plumber new york"));
        QVERIFY(rig.builder.isLoaded());
        QCOMPARE(rig.builder.queryTerms(), QStringLiteral("plumber+new+york+fax"));
        QCOMPARE(rig.builder.currentEngine(), QStringLiteral("Google Search"));
        QCOMPARE(rig.builder.wantedNames(), 100);
        QCOMPARE(rig.builder.resultOffset(), 1);
        QCOMPARE(rig.builder.statusText(), QStringLiteral("Status..."));
        QCOMPARE(browser.navigations.size(), 1);
        QVERIFY(
            browser.navigations[0].endsWith(QLatin1String("&start=0&sa=N&q=plumber+new+york+fax")));

        // Loading a loaded window starts nothing; showing it is left to the caller.
        QVERIFY(!rig.builder.isVisible());
        rig.load(QStringLiteral("other"));
        rig.builder.show();
        QCOMPARE(browser.navigations.size(), 1);
        QVERIFY(rig.builder.isVisible());
    }

    // The engine picked is left out (its definition in the data folder cannot be read): the
    // run asks no other engine in its place and says why it ends.
    void engineLeftOut_runEndsSayingSo()
    {
        TempDataDir data;
        QDir().mkpath(SearchEngines::dataFolderOf(data.path()));
        QFile broken(SearchEngines::dataFolderOf(data.path()) + QStringLiteral("/google.json"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("{ \"title\": ");
        broken.close();
        DiscoveryConfig config;
        config.engines = std::make_shared<const SearchEngines::Catalog>(
            SearchEngines::Catalog::load(data.path()));
        QVERIFY(!config.engines->find(QStringLiteral("Google Search")));
        ScriptedBrowser browser;
        Rig rig(&browser, config);
        rig.load(QStringLiteral("roofer"));
        QVERIFY(browser.navigations.isEmpty());
        QCOMPARE(rig.run.outcomes.size(), 1);
        QCOMPARE(rig.run.outcomes[0].kind, DiscoveryOutcome::Kind::NoAnswer);
        QCOMPARE(rig.builder.statusText(),
                 QStringLiteral("Finished! Extracted 0 results. Google Search: its definition "
                                "cannot be read, so it is left out (see varnel-tool engines)."));
        QVERIFY(rig.run.outcomes[0].problemText().contains(QLatin1String("Google Search: its "
                                                                         "definition")));
    }

    void pagination_data()
    {
        QTest::addColumn<QString>("combo1");
        QTest::addColumn<int>("combo2");
        QTest::addColumn<QList<int>>("pageSizes"); // new names per page; 0: a page of repeats
        QTest::addColumn<QStringList>("offsets");  // the offset part of each address
        QTest::addColumn<int>("lTotal");
        // The target is compared only when a page ends: page 2 is read to its last line.
        QTest::newRow("google reaches target") << "Google Search" << 0 << QList<int>{60, 60}
                                               << QStringList{"start=0&", "start=100&"} << 120;
        QTest::newRow("google page of repeats ends below target")
            << "Google Search" << 1 << QList<int>{30, 0} << QStringList{"start=0&", "start=100&"}
            << 30;
        QTest::newRow("yahoo steps by 20") << "Yahoo Search" << 0 << QList<int>{15, 15, 0}
                                           << QStringList{"&b=1", "&b=21", "&b=41"} << 30;
    }

    void pagination()
    {
        QFETCH(QString, combo1);
        QFETCH(int, combo2);
        QFETCH(QList<int>, pageSizes);
        QFETCH(QStringList, offsets);
        QFETCH(int, lTotal);
        ScriptedBrowser browser;
        Rig rig(&browser);
        rig.run.engine = combo1;
        rig.run.target = combo2;
        rig.load(QStringLiteral("roofer"));
        int first = 0;
        for (int n : pageSizes) {
            QVERIFY(!rig.builder.isFinished());
            // A page of repeats carries names of the first page again.
            browser.complete(n ? namesPage(QStringLiteral("site"), first, n)
                               : namesPage(QStringLiteral("site"), 0, 10));
            first += n;
            if (n) {
                QCOMPARE(rig.builder.newOnPage(), n);
                QVERIFY(!QFile::exists(rig.pageFile())); // deleted after every page
            }
        }
        QCOMPARE(browser.navigations.size(), offsets.size());
        for (int i = 0; i < offsets.size(); ++i)
            QVERIFY2(browser.navigations[i].contains(offsets[i]),
                     qPrintable(browser.navigations[i]));
        QVERIFY(rig.builder.isFinished());
        QCOMPARE(rig.builder.totalNames(), lTotal);
        QCOMPARE(rig.builder.statusText(),
                 QStringLiteral("Finished! Extracted %1 results.").arg(lTotal));
        QCOMPARE(rig.run.names, numberedNames(QStringLiteral("site"), 0, lTotal));
        // One outcome, after every name was reported, and the window unloaded.
        QCOMPARE(rig.run.outcomes.size(), 1);
        QCOMPARE(rig.run.outcomes[0].names, lTotal);
        QCOMPARE(rig.run.outcomes[0].enough(), lTotal > 20);
        QCOMPARE(rig.run.namesAtFinish.value(0), lTotal);
        QVERIFY(!rig.builder.isLoaded());
        QVERIFY(!rig.builder.isVisible());
        QCOMPARE(rig.run.unloads, 1);
        QVERIFY(browser.stops > 0);

        // A document completed after the end is ignored.
        browser.complete(namesPage(QStringLiteral("late"), 0, 5),
                         QStringLiteral("http://late.example/"));
        QCOMPARE(rig.run.names.size(), lTotal);
    }

    // A run hands over to the crawl with more than 20 names; the harvest decides what
    // follows a run that found fewer.
    void finish_data()
    {
        QTest::addColumn<int>("names");
        QTest::addColumn<int>("kind");
        QTest::newRow("21 names: finished") << 21 << int(DiscoveryOutcome::Kind::Finished);
        QTest::newRow("20 names: not enough")
            << 20 << int(DiscoveryOutcome::Kind::NotEnoughResults);
        QTest::newRow("nothing found") << 0 << int(DiscoveryOutcome::Kind::NotEnoughResults);
    }

    void finish()
    {
        QFETCH(int, names);
        QFETCH(int, kind);
        ScriptedBrowser browser;
        Rig rig(&browser);
        rig.load(QStringLiteral("plumber"));
        browser.complete(namesPage(QStringLiteral("n"), 0, names));
        if (names)
            browser.complete(namesPage(QStringLiteral("n"), 0, names)); // nothing new
        QCOMPARE(rig.run.outcomes.size(), 1);
        QCOMPARE(rig.run.outcomes[0].names, names);
        QCOMPARE(int(rig.run.outcomes[0].kind), kind);
        QCOMPARE(rig.run.names, numberedNames(QStringLiteral("n"), 0, names));
        QVERIFY(!rig.builder.isLoaded());
        QCOMPARE(rig.run.unloads, 1);
    }

    // A harvest that loads the next run from inside the outcome keeps that run.
    void newRunLoadedByTheOutcome_staysLoaded()
    {
        ScriptedBrowser browser;
        Rig rig(&browser);
        QObject::connect(&rig.builder, &ListBuilder::finished, &rig.builder, [&rig] {
            rig.builder.unload();
            rig.load(QStringLiteral("roofer"));
        });
        rig.load(QStringLiteral("plumber"));
        browser.complete(namesPage(QStringLiteral("n"), 0, 0));
        QVERIFY(rig.builder.isLoaded());
        QVERIFY(!rig.builder.isFinished());
        QCOMPARE(rig.builder.totalNames(), 0);
        QVERIFY(browser.navigations.last().endsWith(QLatin1String("&q=roofer")));
    }

    void shortAddress_isIgnored()
    {
        ScriptedBrowser browser;
        Rig rig(&browser);
        rig.load(QStringLiteral("plumber"));
        const QString page = namesPage(QStringLiteral("s"), 0, 5);
        browser.complete(page, QStringLiteral("about:xx")); // 8 characters
        QCOMPARE(rig.builder.totalNames(), 0);
        QCOMPARE(browser.navigations.size(), 1);
        browser.complete(page, QStringLiteral("http://x/")); // 9 characters
        QCOMPARE(rig.builder.totalNames(), 5);
    }

    void leftoverPageFile_isReadFirst()
    {
        ScriptedBrowser browser;
        Rig rig(&browser);
        QFile left(rig.pageFile());
        QVERIFY(left.open(QIODevice::WriteOnly));
        left.write("\r\nhttp://www.leftover.com/\">Left</a>\r\n");
        left.close();

        rig.load(QStringLiteral("plumber"));
        browser.complete(namesPage(QStringLiteral("fresh"), 0, 2));
        QCOMPARE(rig.run.names, (QStringList{"leftover.com", "fresh0.com", "fresh1.com"}));
        QVERIFY(!QFile::exists(rig.pageFile()));
    }

    void unusablePageFile_abandonsPage()
    {
        ScriptedBrowser browser;
        Rig rig(&browser);
        QVERIFY(QDir(rig.run.dir.path()).mkdir(QLatin1String(SearchListBuilder::pageFileName)));
        rig.load(QStringLiteral("plumber"));
        browser.complete(namesPage(QStringLiteral("s"), 0, 30));
        // No next page, no finish: the window waits with its last status text.
        QCOMPARE(browser.navigations.size(), 1);
        QVERIFY(rig.builder.isLoaded());
        QVERIFY(!rig.builder.isFinished());
        QCOMPARE(rig.builder.statusText(), QStringLiteral("Status..."));
        QVERIFY(rig.run.outcomes.isEmpty() && rig.run.names.isEmpty());
    }

    void unload_endsRunWithoutOutcome()
    {
        ScriptedBrowser browser;
        Rig rig(&browser);
        rig.load(QStringLiteral("plumber"));
        rig.builder.show();
        browser.complete(namesPage(QStringLiteral("s"), 0, 30));
        rig.builder.unload();
        QVERIFY(!rig.builder.isLoaded());
        QVERIFY(!rig.builder.isVisible());
        QCOMPARE(browser.stops, 1);
        QCOMPARE(rig.run.unloads, 1);
        browser.complete(namesPage(QStringLiteral("t"), 0, 30)); // too late
        QVERIFY(rig.run.outcomes.isEmpty());
        QCOMPARE(rig.run.names.size(), 30);
    }

    // Through the HTTP browser against the fake engine: the engine's answer decides the
    // outcome.
    void engineAnswers_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text1");
        using A = FakeSearchEngine::Answer;
        const int blocked = int(DiscoveryOutcome::Kind::Blocked);
        const int silent = int(DiscoveryOutcome::Kind::NoAnswer);
        QTest::newRow("empty page") << int(A::Page) << int(DiscoveryOutcome::Kind::NotEnoughResults)
                                    << QStringLiteral("Finished! Extracted 10 results.");
        QTest::newRow("429")
            << int(A::TooMany) << blocked
            << QStringLiteral(
                   "Finished! Extracted 10 results. The search engine blocked the search.");
        QTest::newRow("503") << int(A::Unavailable) << blocked << QString();
        QTest::newRow("human check") << int(A::HumanCheck) << blocked << QString();
        QTest::newRow("silence")
            << int(A::Silent) << silent
            << QStringLiteral("Finished! Extracted 10 results. The search engine did not answer.");
        QTest::newRow("closed") << int(A::Close) << silent << QString();
    }

    void engineAnswers()
    {
        QFETCH(int, answer);
        QFETCH(int, kind);
        QFETCH(QString, text1);
        FakeSearchEngine engine;
        QVERIFY(engine.listen());
        engine.setPages(QStringLiteral("plumber+fax"), {namesPage(QStringLiteral("p"), 0, 10)});
        engine.setAnswer(QStringLiteral("plumber+fax"), 1, FakeSearchEngine::Answer(answer));
        HttpBrowser browser;
        DiscoveryConfig config;
        config.engineOrigins.insert(QStringLiteral("google"), engine.base());
        config.pageTimeoutMs = 500;
        Rig rig(&browser, config);
        rig.run.addFax = true;
        rig.load(QStringLiteral("plumber"));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.builder.isLoaded(), 10000);
        QCOMPARE(rig.builder.totalNames(), 10);
        QCOMPARE(rig.run.outcomes.size(), 1);
        QCOMPARE(int(rig.run.outcomes[0].kind), kind);
        if (!text1.isEmpty())
            QCOMPARE(rig.builder.statusText(), text1);
        QVERIFY(engine.requests().size() >= 2); // the network layer may retry a closed one
        QVERIFY(!QFile::exists(rig.pageFile()));
    }

    void fakeEngine_bothEngines_data()
    {
        QTest::addColumn<QString>("combo1");
        QTest::addColumn<QStringList>("offsets");
        QTest::newRow("google") << "Google Search"
                                << QStringList{"start=0", "start=100", "start=200"};
        QTest::newRow("yahoo") << "Yahoo Search" << QStringList{"b=1", "b=21", "b=41"};
    }

    // A run against the fake engine through real HTTP, with the engine's host mapped to
    // loopback as the harvest tool maps it.
    void fakeEngine_bothEngines()
    {
        QFETCH(QString, combo1);
        QFETCH(QStringList, offsets);
        FakeSearchEngine engine;
        QVERIFY(engine.listen());
        QFile mixed(QStringLiteral(VARNEL_DISCOVERY_FIXTURES "/results-mixed.html"));
        QVERIFY(mixed.open(QIODevice::ReadOnly));
        engine.setPages(QStringLiteral("drain+cleaning"),
                        {QString::fromUtf8(mixed.readAll()),
                         namesPage(QStringLiteral("pipe"), 0, 15),
                         namesPage(QStringLiteral("pipe"), 5, 5)});
        HttpBrowser browser;
        ResolveMap map;
        map.add(QStringLiteral("*"), QStringLiteral("127.0.0.1"), engine.port());
        browser.setResolveMap(map);
        Rig rig(&browser);
        rig.run.engine = combo1;
        rig.load(QStringLiteral("drain cleaning"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.run.outcomes.size(), 1, 10000);

        const QList<FakeSearchEngine::Request> &requests = engine.requests();
        QCOMPARE(requests.size(), offsets.size());
        for (int i = 0; i < requests.size(); ++i) {
            QCOMPARE(requests[i].engine, combo1.section(QLatin1Char(' '), 0, 0));
            QCOMPARE(requests[i].terms, QStringLiteral("drain+cleaning"));
            QVERIFY2(requests[i].target.contains(offsets[i]), qPrintable(requests[i].target));
            QCOMPARE(requests[i].host, combo1.startsWith(QLatin1Char('Y'))
                                           ? QStringLiteral("search.yahoo.com")
                                           : QStringLiteral("www.google.com"));
        }
        QStringList expected = {"acmeplumbing.com", "BIGPIPES.NET",    "drainmasters.org",
                                "rooterpros.com",   "leakfinders.Com", "hud.gov",
                                "pipeworld.com",    "sunpipes.com",    "example.com"};
        expected += numberedNames(QStringLiteral("pipe"), 0, 15);
        QCOMPARE(rig.run.names, expected);
        QVERIFY(rig.run.outcomes[0].enough());
        QVERIFY(!rig.builder.isLoaded());
    }
};

QTEST_GUILESS_MAIN(TestListBuilder)
#include "tst_listbuilder.moc"
