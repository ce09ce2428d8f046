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
              session(dir.path(), &settings), presenter(&session)
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
};

QTEST_GUILESS_MAIN(TestDiscoveryCycle)
#include "tst_discoverycycle.moc"
