#include "fakesearchengine.h"
#include "httpbrowser.h"
#include "listbuildertestkit.h"

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

// One list builder run per test on a stand-in main window with a real store.
class TestListBuilder : public QObject
{
    Q_OBJECT

    struct Rig
    {
        explicit Rig(Browser *browser, const DiscoveryConfig &config = DiscoveryConfig())
            : builder(&host, browser, config)
        {
            host.builder = &builder;
        }
        TestListBuilderHost host;
        SearchListBuilder builder;
        QString pageFile() const { return host.dir.file(QLatin1String(SearchListBuilder::pageFileName)); }
    };

private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void load_startsRunOnFirstPage()
    {
        ScriptedBrowser browser;
        Rig rig(&browser);
        rig.host.setSearches({QStringLiteral("plumber new york")});
        rig.host.addFax = true;
        rig.host.target = -1;
        QString old = QStringLiteral("left.over.com");
        rig.host.db.AddWebsite(old);

        rig.builder.load();
        QVERIFY(rig.builder.isLoaded());
        QCOMPARE(rig.builder.strTerms(), QStringLiteral("plumber+new+york+fax"));
        QCOMPARE(rig.builder.strEngine(), QStringLiteral("Google"));
        QCOMPARE(rig.builder.lTarget(), 100);
        QCOMPARE(rig.builder.vStart(), 1);
        QCOMPARE(rig.builder.text1(), QStringLiteral("Status..."));
        QVERIFY(rig.host.storedWebsites().isEmpty()); // LoadFirstPage empties the store
        QCOMPARE(browser.navigations.size(), 1);
        QVERIFY(browser.navigations[0].endsWith(
            QLatin1String("&start=0&sa=N&q=plumber+new+york+fax")));

        // Loading a loaded window starts nothing; showing it is left to the caller.
        QVERIFY(!rig.builder.isVisible());
        rig.builder.load();
        rig.builder.show();
        QCOMPARE(browser.navigations.size(), 1);
        QVERIFY(rig.builder.isVisible());
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
        QTest::newRow("google page of repeats ends below target") << "Google Search" << 1
            << QList<int>{30, 0} << QStringList{"start=0&", "start=100&"} << 30;
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
        rig.host.setSearches({QStringLiteral("roofer")});
        rig.host.engine = combo1;
        rig.host.target = combo2;
        rig.builder.load();
        int first = 0;
        for (int n : pageSizes) {
            QVERIFY(!rig.builder.bFinished());
            // A page of repeats carries names of the first page again.
            browser.complete(n ? namesPage(QStringLiteral("site"), first, n) : namesPage(QStringLiteral("site"), 0, 10));
            first += n;
            if (n) {
                QCOMPARE(rig.builder.lPageNew(), n);
                QVERIFY(!QFile::exists(rig.pageFile())); // deleted after every page
            }
        }
        QCOMPARE(browser.navigations.size(), offsets.size());
        for (int i = 0; i < offsets.size(); ++i)
            QVERIFY2(browser.navigations[i].contains(offsets[i]), qPrintable(browser.navigations[i]));
        QVERIFY(rig.builder.bFinished());
        QCOMPARE(rig.builder.lTotal(), lTotal);
        QCOMPARE(rig.builder.text1(), QStringLiteral("Finished! Extracted %1 results.").arg(lTotal));
        QCOMPARE(rig.host.stats.lWebFound(), lTotal);
        QCOMPARE(rig.host.storedWebsites(), numberedNames(QStringLiteral("site"), 0, lTotal));
        // More than 20: handed back once, with the names stored, and the window unloaded.
        QCOMPARE(rig.host.doSearchCalls, 1);
        QCOMPARE(rig.host.handedBack.value(0).size(), lTotal);
        QVERIFY(!rig.builder.isLoaded());
        QVERIFY(!rig.builder.isVisible());
        QCOMPARE(rig.host.unloadNotices, 1);
        QVERIFY(browser.stops > 0);

        // A document completed after the end is ignored.
        browser.complete(namesPage(QStringLiteral("late"), 0, 5), QStringLiteral("http://late.example/"));
        QCOMPARE(rig.host.storedWebsites().size(), lTotal);
    }

    void finish_data()
    {
        QTest::addColumn<int>("names");
        QTest::addColumn<QStringList>("searches");
        QTest::addColumn<int>("doSearch");
        QTest::addColumn<QString>("panel3");
        QTest::addColumn<QStringList>("list1After");
        const QStringList one{"plumber"};
        const QStringList three{"plumber", "roofer", "mason"};
        QTest::newRow("21 names hand back") << 21 << one << 1 << QString() << one;
        QTest::newRow("20 names, last search") << 20 << one << 0
            << QStringLiteral("Add more search terms") << one;
        QTest::newRow("20 names, more searches") << 20 << three << 0
            << QStringLiteral("Trying next search") << QStringList{"roofer", "mason"};
        QTest::newRow("nothing found, more searches") << 0 << QStringList{"plumber", "roofer"}
            << 0 << QStringLiteral("Trying next search") << QStringList{"roofer"};
    }

    void finish()
    {
        QFETCH(int, names);
        QFETCH(QStringList, searches);
        QFETCH(int, doSearch);
        QFETCH(QString, panel3);
        QFETCH(QStringList, list1After);
        ScriptedBrowser browser;
        Rig rig(&browser);
        rig.host.setSearches(searches);
        QSignalSpy finished(&rig.builder, &SearchListBuilder::runFinished);
        rig.builder.load();
        browser.complete(namesPage(QStringLiteral("n"), 0, names));
        if (names)
            browser.complete(namesPage(QStringLiteral("n"), 0, names)); // nothing new
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished[0][0].toInt(), names);

        QCOMPARE(rig.host.doSearchCalls, doSearch);
        QCOMPARE(rig.host.List1.items(), list1After);
        // A dropped search string leaves the list only; its stored row stays.
        QCOMPARE(rig.host.storedSearches(), searches);
        if (doSearch) {
            QVERIFY(rig.host.panels[2].isEmpty());
            QVERIFY(!rig.builder.isLoaded());
            return;
        }
        QCOMPARE(rig.host.panels[1], QStringLiteral("Stopped"));
        QCOMPARE(rig.host.panels[2], QStringLiteral("Not enough results"));
        QCOMPARE(rig.host.panels[3], panel3);
        if (searches.size() < 2) {
            // No crawl starts, and the names found stay in the store.
            QVERIFY(!rig.builder.isLoaded());
            QCOMPARE(rig.host.startNextCalls, 0);
            QCOMPARE(rig.host.storedWebsites(), numberedNames(QStringLiteral("n"), 0, names));
        } else {
            // StartNextSearch loaded the window again: a new run for the next string.
            QCOMPARE(rig.host.startNextCalls, 1);
            QVERIFY(rig.builder.isLoaded());
            QVERIFY(!rig.builder.bFinished());
            QCOMPARE(rig.builder.lTotal(), 0);
            QVERIFY(browser.navigations.last().endsWith(QLatin1String("&q=") + list1After[0]));
        }
    }

    void shortAddress_isIgnored()
    {
        ScriptedBrowser browser;
        Rig rig(&browser);
        rig.host.setSearches({QStringLiteral("plumber")});
        rig.builder.load();
        const QString page = namesPage(QStringLiteral("s"), 0, 5);
        browser.complete(page, QStringLiteral("about:xx")); // 8 characters
        QCOMPARE(rig.builder.lTotal(), 0);
        QCOMPARE(browser.navigations.size(), 1);
        browser.complete(page, QStringLiteral("http://x/")); // 9 characters
        QCOMPARE(rig.builder.lTotal(), 5);
    }

    void leftoverPageFile_isReadFirst()
    {
        ScriptedBrowser browser;
        Rig rig(&browser);
        rig.host.setSearches({QStringLiteral("plumber")});
        QFile left(rig.pageFile());
        QVERIFY(left.open(QIODevice::WriteOnly));
        left.write("\r\nhttp://www.leftover.com/\">Left</a>\r\n");
        left.close();

        rig.builder.load();
        browser.complete(namesPage(QStringLiteral("fresh"), 0, 2));
        QCOMPARE(rig.host.storedWebsites(),
                 (QStringList{"leftover.com", "fresh0.com", "fresh1.com"}));
        QVERIFY(!QFile::exists(rig.pageFile()));
    }

    void unusablePageFile_abandonsPage()
    {
        ScriptedBrowser browser;
        Rig rig(&browser);
        rig.host.setSearches({QStringLiteral("plumber")});
        QVERIFY(QDir(rig.host.dir.path()).mkdir(QLatin1String(SearchListBuilder::pageFileName)));
        rig.builder.load();
        browser.complete(namesPage(QStringLiteral("s"), 0, 30));
        // No next page, no finish: the window waits with its last status text.
        QCOMPARE(browser.navigations.size(), 1);
        QVERIFY(rig.builder.isLoaded());
        QVERIFY(!rig.builder.bFinished());
        QCOMPARE(rig.builder.text1(), QStringLiteral("Status..."));
        QCOMPARE(rig.host.doSearchCalls + rig.host.startNextCalls, 0);
    }

    void unload_endsRunWithoutHandBack()
    {
        ScriptedBrowser browser;
        Rig rig(&browser);
        rig.host.setSearches({QStringLiteral("plumber")});
        rig.builder.load();
        rig.builder.show();
        browser.complete(namesPage(QStringLiteral("s"), 0, 30));
        rig.builder.unload();
        QVERIFY(!rig.builder.isLoaded());
        QVERIFY(!rig.builder.isVisible());
        QCOMPARE(browser.stops, 1);
        QCOMPARE(rig.host.unloadNotices, 1);
        browser.complete(namesPage(QStringLiteral("t"), 0, 30)); // too late
        QCOMPARE(rig.host.doSearchCalls, 0);
        QCOMPARE(rig.host.storedWebsites().size(), 30);
    }

    void storeThatCannotBeEmptied_startsNoSearch()
    {
        ScriptedBrowser browser;
        Rig rig(&browser);
        rig.host.List1.addItem(QStringLiteral("plumber"));
        rig.host.search = QStringLiteral("plumber");
        QFile bad(rig.host.dir.file(QLatin1String(modDatabase::fileName)));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write(QByteArray(4096, 'x'));
        bad.close();
        rig.builder.load();
        QVERIFY(browser.navigations.isEmpty());
        QVERIFY(!rig.builder.isLoaded());
        QCOMPARE(rig.host.panels[1], QStringLiteral("Stopped"));
        QVERIFY(rig.host.panels[2].contains(QLatin1String("could not be emptied")));
        QCOMPARE(rig.host.doSearchCalls + rig.host.startNextCalls, 0);
    }

    // Through the HTTP browser against the fake engine: the engine's answer decides the
    // status a user sees.
    void engineAnswers_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("panel2");
        QTest::addColumn<QString>("text1");
        using A = FakeSearchEngine::Answer;
        const QString blocked = QStringLiteral("Not enough results: the search engine blocked the search");
        const QString silent = QStringLiteral("Not enough results: the search engine did not answer");
        QTest::newRow("empty page") << int(A::Page) << QStringLiteral("Not enough results")
            << QStringLiteral("Finished! Extracted 10 results.");
        QTest::newRow("429") << int(A::TooMany) << blocked
            << QStringLiteral("Finished! Extracted 10 results. The search engine blocked the search.");
        QTest::newRow("503") << int(A::Unavailable) << blocked << QString();
        QTest::newRow("human check") << int(A::HumanCheck) << blocked << QString();
        QTest::newRow("silence") << int(A::Silent) << silent
            << QStringLiteral("Finished! Extracted 10 results. The search engine did not answer.");
        QTest::newRow("closed") << int(A::Close) << silent << QString();
    }

    void engineAnswers()
    {
        QFETCH(int, answer);
        QFETCH(QString, panel2);
        QFETCH(QString, text1);
        FakeSearchEngine engine;
        QVERIFY(engine.listen());
        engine.setPages(QStringLiteral("plumber+fax"), {namesPage(QStringLiteral("p"), 0, 10)});
        engine.setAnswer(QStringLiteral("plumber+fax"), 1, FakeSearchEngine::Answer(answer));
        HttpBrowser browser;
        DiscoveryConfig config;
        config.googleHost = engine.hostAndPort();
        config.pageTimeoutMs = 500;
        Rig rig(&browser, config);
        rig.host.setSearches({QStringLiteral("plumber")});
        rig.host.addFax = true;
        rig.builder.load();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.builder.isLoaded(), 10000);
        QCOMPARE(rig.builder.lTotal(), 10);
        QCOMPARE(rig.host.panels[1], QStringLiteral("Stopped"));
        QCOMPARE(rig.host.panels[2], panel2);
        QCOMPARE(rig.host.panels[3], QStringLiteral("Add more search terms"));
        if (!text1.isEmpty())
            QCOMPARE(rig.builder.text1(), text1);
        QVERIFY(engine.requests().size() >= 2); // the network layer may retry a closed one
        QVERIFY(!QFile::exists(rig.pageFile()));
    }

    void fakeEngine_bothEngines_data()
    {
        QTest::addColumn<QString>("combo1");
        QTest::addColumn<QStringList>("offsets");
        QTest::newRow("google") << "Google Search" << QStringList{"start=0", "start=100", "start=200"};
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
                        {QString::fromUtf8(mixed.readAll()), namesPage(QStringLiteral("pipe"), 0, 15),
                         namesPage(QStringLiteral("pipe"), 5, 5)});
        HttpBrowser browser;
        ResolveMap map;
        map.add(QStringLiteral("*"), QStringLiteral("127.0.0.1"), engine.port());
        browser.setResolveMap(map);
        Rig rig(&browser);
        rig.host.setSearches({QStringLiteral("drain cleaning")});
        rig.host.engine = combo1;
        QSignalSpy finished(&rig.builder, &SearchListBuilder::runFinished);
        rig.builder.load();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);

        const QList<FakeSearchEngine::Request> &requests = engine.requests();
        QCOMPARE(requests.size(), offsets.size());
        for (int i = 0; i < requests.size(); ++i) {
            QCOMPARE(requests[i].engine, SearchListBuilder::engineForText(combo1));
            QCOMPARE(requests[i].terms, QStringLiteral("drain+cleaning"));
            QVERIFY2(requests[i].target.contains(offsets[i]), qPrintable(requests[i].target));
            QCOMPARE(requests[i].host, combo1.startsWith(QLatin1Char('Y'))
                         ? QStringLiteral("search.yahoo.com") : QStringLiteral("www.google.com"));
        }
        QStringList expected = {"acmeplumbing.com", "BIGPIPES.NET", "drainmasters.org",
                                "rooterpros.com",   "leakfinders.Com", "hud.gov",
                                "pipeworld.com",    "sunpipes.com", "example.com"};
        expected += numberedNames(QStringLiteral("pipe"), 0, 15);
        QCOMPARE(rig.host.storedWebsites(), expected);
        QCOMPARE(rig.host.doSearchCalls, 1);
        QVERIFY(!rig.builder.isLoaded());
    }
};

QTEST_GUILESS_MAIN(TestListBuilder)
#include "tst_listbuilder.moc"
