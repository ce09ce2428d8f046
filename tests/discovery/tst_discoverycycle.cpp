#include "fakesearchengine.h"
#include "globals.h"
#include "harvestpresenter.h"
#include "harvestsession.h"
#include "httpbrowser.h"
#include "scriptedmessages.h"
#include "searchlistbuilder.h"
#include "settingsstore.h"
#include "sqlitestore.h"
#include "storetestkit.h"
#include "testenv.h"
#include "testwebserver.h"
#include "textlist.h"

#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

namespace {

// The fax number of a test site: site "b7.com" has 1-212-555-1107 (letter, then index).
QString faxOf(const QString &site)
{
    const int letter = site.at(0).unicode() - 'a';
    const int index = site.mid(1, site.indexOf(QLatin1Char('.')) - 1).toInt();
    return QStringLiteral("1-212-555-%1").arg(1000 + letter * 100 + index);
}

struct FaxRecord
{
    QString fax, website, search;
};

} // namespace

// Start to end through the engine: discovery against the fake engine, the crawl of the
// loopback web, the next search string when a queue runs dry, and the last-search policy.
class TestDiscoveryCycle : public QObject
{
    Q_OBJECT

    struct Rig
    {
        Rig()
            : settings(SettingsStore::iniPathForDataDir(dir.path())),
              session(std::make_unique<SqliteStore>(dir.path()), dir.path(), &settings),
              presenter(&session)
        {
            QVERIFY(search.listen());
            QVERIFY(web.listen());
            // As `varnel-tool harvest --resolve` maps them: the engine's host to the fake
            // engine, every other host to the test web.
            ResolveMap map;
            map.add(QStringLiteral("www.google.com"), QStringLiteral("127.0.0.1"), search.port());
            map.add(QStringLiteral("*"), QStringLiteral("127.0.0.1"), web.port());
            browser.setResolveMap(map);
            session.setResolveMap(map);
            builder = new SearchListBuilder(&browser, DiscoveryConfig(), &session);
            session.setListBuilder(builder);
            presenter.setMessages(&messages);
            session.load();
            presenter.optionClicked(OptionId::SearchEngine, 0);    // "Google Search"
            presenter.optionClicked(OptionId::ResultCount, 0);     // "~100 Domains"
            presenter.optionClicked(OptionId::AfterLastSearch, 0); // "Stop Immediately"
        }
        ~Rig() { session.shutDown(); }

        void addSearch(const QString &text, const QString &letter, int names)
        {
            presenter.setNewSearchText(text);
            presenter.addSearchClicked();
            QStringList links;
            for (int i = 0; i < names; ++i)
                links << QStringLiteral("http://www.%1%2.com/").arg(letter).arg(i);
            // Page 1 finds the names, page 2 repeats them, which ends the run.
            const QString page = FakeSearchEngine::resultPage(links);
            // Every site of the web carries its own fax number on its home page.
            for (int i = 0; i < names; ++i) {
                const QString site = QStringLiteral("%1%2.com").arg(letter).arg(i);
                web.addPage(site.toLatin1(), "/",
                            "<html><head><title>" + site.toLatin1() +
                                "</title></head><body><h1>Welcome</h1><p>Phone: 212-555-0000</p>"
                                "<p>Fax: " +
                                faxOf(site).mid(2).toLatin1() + "</p></body></html>");
            }
            search.setPages(SearchListBuilder::queryText(text, true), {page, page});
        }

        QList<FaxRecord> faxes()
        {
            QList<FaxRecord> rows;
            {
                QSqlDatabase conn =
                    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("cycle"));
                conn.setDatabaseName(session.store()->location());
                if (conn.open()) {
                    QSqlQuery q(conn);
                    q.exec(QStringLiteral("SELECT fax, website, search FROM faxes ORDER BY rowid"));
                    while (q.next())
                        rows.append(
                            {q.value(0).toString(), q.value(1).toString(), q.value(2).toString()});
                }
            }
            QSqlDatabase::removeDatabase(QStringLiteral("cycle"));
            return rows;
        }
        QStringList column(const char *sql)
        {
            QStringList out;
            {
                QSqlDatabase conn =
                    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("cycle"));
                conn.setDatabaseName(session.store()->location());
                if (conn.open()) {
                    QSqlQuery q(conn);
                    q.exec(QLatin1String(sql));
                    while (q.next())
                        out << q.value(0).toString();
                }
            }
            QSqlDatabase::removeDatabase(QStringLiteral("cycle"));
            return out;
        }

        TempDataDir dir;
        SettingsStore settings;
        FakeSearchEngine search;
        TestWebServer web; // the crawled web
        HttpBrowser browser;
        ScriptedMessages messages;
        HarvestSession session;
        HarvestPresenter presenter;
        SearchListBuilder *builder = nullptr;
    };

private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void threeSearches_discoverCrawlAndMoveOn()
    {
        Rig rig;
        rig.addSearch(QStringLiteral("plumber boston"), QStringLiteral("a"), 40);
        rig.addSearch(QStringLiteral("roofer denver"), QStringLiteral("b"), 40);
        rig.addSearch(QStringLiteral("mason austin"), QStringLiteral("c"), 30);
        QSignalSpy runs(rig.builder, &ListBuilder::finished);

        rig.presenter.startClicked();
        QCOMPARE(rig.session.state(), HarvestSession::State::Discovering);
        QVERIFY(rig.builder->isLoaded());
        QTRY_VERIFY_WITH_TIMEOUT(runs.size() == 3 && !rig.session.isHarvesting(), 60000);

        // Each search string was asked for in turn, first page then the page of repeats.
        QStringList asked;
        for (const FakeSearchEngine::Request &r : rig.search.requests())
            asked << r.terms + QLatin1Char('@') + QString::number(r.pageIndex);
        QCOMPARE(asked,
                 (QStringList{"plumber+boston+fax@0", "plumber+boston+fax@1", "roofer+denver+fax@0",
                              "roofer+denver+fax@1", "mason+austin+fax@0", "mason+austin+fax@1"}));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(runs[i][0].value<DiscoveryOutcome>().names, i < 2 ? 40 : 30);

        // Every site found for a search was crawled under that search before the next
        // one began, and the last one's before "Stop Immediately" ended the harvest.
        const QList<FaxRecord> faxes = rig.faxes();
        QHash<QString, QStringList> bySearch;
        for (const FaxRecord &f : faxes) {
            const QString site = f.website.section(QLatin1Char('/'), 0, 0);
            QCOMPARE(f.fax, faxOf(site));
            const QString expectedSearch =
                site.startsWith(QLatin1Char('a'))   ? QStringLiteral("plumber boston")
                : site.startsWith(QLatin1Char('b')) ? QStringLiteral("roofer denver")
                                                    : QStringLiteral("mason austin");
            QCOMPARE(f.search, expectedSearch);
            bySearch[f.search] << site;
        }
        QCOMPARE(bySearch.value(QStringLiteral("plumber boston")).size(), 40);
        QCOMPARE(bySearch.value(QStringLiteral("roofer denver")).size(), 40);
        QCOMPARE(bySearch.value(QStringLiteral("mason austin")).size(), 30);
        QCOMPARE(rig.session.counters()->numbersFound(), faxes.size());

        // A search whose queue ran dry leaves List1 and the store; the last one stays.
        QCOMPARE(rig.column("SELECT search FROM searches ORDER BY rowid"),
                 QStringList{"mason austin"});
        QCOMPARE(rig.session.searches()->items(), QStringList{"mason austin"});
        QVERIFY(rig.column("SELECT website FROM websites").isEmpty());
        QCOMPARE(rig.presenter.statusText(1), QStringLiteral("Stopped"));
        QCOMPARE(rig.presenter.statusText(2), QStringLiteral("No more websites queued"));
        QCOMPARE(rig.presenter.statusText(3), QStringLiteral("Try a different search"));
        QVERIFY(!rig.builder->isLoaded());
    }

    // Stop ends a discovery run: the run is unloaded, no harvest starts when it would have
    // handed back, and a new start runs again.
    void stopDuringDiscovery_endsTheRun()
    {
        Rig rig;
        rig.addSearch(QStringLiteral("glazier leeds"), QStringLiteral("d"), 25);
        QSignalSpy harvesting(&rig.session, &HarvestSession::harvestingChanged);
        rig.presenter.startClicked();
        QVERIFY(rig.builder->isLoaded());
        QVERIFY(rig.presenter.isEnabled(HarvestPresenter::Button::Stop));
        rig.presenter.stopClicked();
        QCOMPARE(rig.presenter.statusText(1), QStringLiteral("Stopped"));
        QVERIFY(!rig.builder->isLoaded());
        QCOMPARE(rig.session.state(), HarvestSession::State::Stopped);
        QVERIFY(rig.presenter.isEnabled(HarvestPresenter::Button::Start));
        QTest::qWait(300);
        QVERIFY(harvesting.isEmpty());

        rig.presenter.startClicked();
        QTRY_VERIFY_WITH_TIMEOUT(!harvesting.isEmpty() && harvesting.first().first().toBool(),
                                 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 60000);
        QCOMPARE(rig.faxes().size(), 25);
        QCOMPARE(rig.presenter.statusText(2), QStringLiteral("No more websites queued"));
    }

    // File > Import Sites…: the sites join the queue, a message says what came of the file,
    // and Resume harvests them.
    void importSites_thenResume()
    {
        Rig rig;
        for (const char *site : {"e0.com", "e1.com"})
            rig.web.addPage(site, "/",
                            "<html><body><p>Fax: " + faxOf(QLatin1String(site)).mid(2).toLatin1() +
                                "</p></body></html>");
        const QString path = rig.dir.file(QStringLiteral("sites.csv"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("name,website\nOne,e0.com\nTwo,http://e1.com/\nThree,n/a\n");
        file.close();

        rig.presenter.importSitesFromFile(path);
        QCOMPARE(rig.messages.texts().last(),
                 QStringLiteral("2 sites queued, 0 already known.\n1 line is not a site:\n"
                                "line 4: Three,n/a\n\nPress Resume to harvest them."));
        QVERIFY(rig.presenter.isEnabled(HarvestPresenter::Button::Resume));
        rig.presenter.importSitesFromFile(path);
        QVERIFY(rig.messages.texts().last().startsWith(
            QStringLiteral("0 sites queued, 2 already known.\n")));
        rig.presenter.importSitesFromFile(rig.dir.file(QStringLiteral("missing.txt")));
        QVERIFY(rig.messages.texts().last().startsWith(QStringLiteral("The file ")));
        // The store's own files are no list of sites, and are not opened: closing them would
        // drop the locks of the open store.
        for (const char *own : {"varnel.mdb", "varnel.mdb-wal", "varnel.mdb-shm"}) {
            rig.presenter.importSitesFromFile(rig.dir.file(QLatin1String(own)));
            QVERIFY2(rig.messages.texts().last().contains(QLatin1String("is the fax database")),
                     qPrintable(rig.messages.texts().last()));
        }

        rig.presenter.resumeClicked();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 30000);
        QStringList faxes;
        for (const FaxRecord &f : rig.faxes())
            faxes << f.fax;
        faxes.sort();
        QCOMPARE(faxes,
                 (QStringList{faxOf(QStringLiteral("e0.com")), faxOf(QStringLiteral("e1.com"))}));
    }

    // The status bar says why a search found too few sites, and which engine found them
    // when the one picked refused.
    void refusedSearch_statusBar_data()
    {
        QTest::addColumn<bool>("tryNext");
        QTest::newRow("stays with the engine") << false;
        QTest::newRow("next engine") << true;
    }
    void refusedSearch_statusBar()
    {
        QFETCH(bool, tryNext);
        Rig rig;
        QStringList links;
        for (int i = 0; i < 25; ++i)
            links << QStringLiteral("http://f%1.com/").arg(i);
        rig.search.setHandler(FakeSearchEngine::onlyBingAnswers(links));
        DiscoveryConfig config;
        for (const QString &e :
             QStringList{"brave", "mojeek", "bing", "duckduckgo", "startpage", "ecosia"})
            config.engineOrigins.insert(e, QStringLiteral("http://engines.test/") + e);
        rig.builder->setConfig(config);
        // The engines' host to the fake engine, every other host to the test web.
        ResolveMap map;
        map.add(QStringLiteral("engines.test"), QStringLiteral("127.0.0.1"), rig.search.port());
        map.add(QStringLiteral("*"), QStringLiteral("127.0.0.1"), rig.web.port());
        rig.browser.setResolveMap(map);
        rig.presenter.optionClicked(OptionId::SearchEngine, 3); // "Mojeek"
        rig.presenter.optionClicked(OptionId::TryNextEngine, tryNext ? 1 : 0);
        rig.presenter.setNewSearchText(QStringLiteral("tiles"));
        rig.presenter.addSearchClicked();
        QSignalSpy runs(rig.builder, &ListBuilder::finished);
        QStringList panel4;
        connect(&rig.presenter, &HarvestPresenter::statusTextChanged,
                [&panel4](int panel, const QString &text) {
                    if (panel == 4)
                        panel4 << text;
                });
        rig.presenter.startClicked();
        QTRY_COMPARE_WITH_TIMEOUT(runs.size(), 1, 30000);
        if (!tryNext) {
            QCOMPARE(rig.presenter.statusText(1), QStringLiteral("Stopped"));
            QCOMPARE(
                rig.presenter.statusText(2),
                QStringLiteral("Not enough results: the search engine blocked the search "
                               "(Mojeek: the engine refused the search (HTTP 403 Forbidden))"));
            QCOMPARE(rig.presenter.statusText(3), QStringLiteral("Add more search terms"));
            return;
        }
        // Shown while the crawl of those sites runs.
        QCOMPARE(panel4.value(0), QStringLiteral("Sites found with Bing"));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 30000);
        QCOMPARE(rig.faxes().size(), 0); // the test web has no pages for them
        QCOMPARE(rig.session.counters()->sitesFound(), 25);
    }
};

QTEST_GUILESS_MAIN(TestDiscoveryCycle)
#include "tst_discoverycycle.moc"
