// The crawl queue: what counts as a known site, the head loaded from the backlog, and
// emptying the backlog with everything that goes with it.

#include "clock.h"
#include "crawlqueue.h"
#include "globals.h"
#include "settingsstore.h"
#include "sqlitestore.h"
#include "testenv.h"
#include "textlist.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

namespace {

struct Fixture
{
    TempDataDir dir;
    SettingsStore settings{SettingsStore::iniPathForDataDir(dir.path())};
    Counters counters{&settings};
    ManualClock clock;
    SqliteStore store{dir.path()};
    CrawlQueue queue{&store, &store, nullptr, &counters};

    Fixture() { store.setClock(&clock); }

    void addSites(int n)
    {
        for (int i = 0; i < n; ++i) {
            QString s = QStringLiteral("site%1.com").arg(i);
            QVERIFY(store.addWebsite(s));
            clock.advance(1);
        }
    }
    bool known(const QString &site)
    {
        QString s = site;
        return queue.isKnown(s).value();
    }
};

} // namespace

class TestCrawlQueue : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void isKnown_backlogHeadAndHandedOut()
    {
        Fixture f;
        QString s = QStringLiteral("host/a");
        QVERIFY(f.store.addWebsite(s));
        QVERIFY(f.known(QStringLiteral("HOST/A"))); // the backlog ignores letter case

        QVERIFY(f.queue.loadHead()); // moves host/a into the head
        QCOMPARE(f.queue.head()->items(), QStringList{QStringLiteral("host/a")});
        QVERIFY(!f.known(QStringLiteral("HOST/A"))); // the head is compared exactly
        QString exact = QStringLiteral("http://host/a");
        QCOMPARE(f.queue.isKnown(exact), std::optional<bool>(true));
        QCOMPARE(exact, QStringLiteral("host/a"));

        f.queue.head()->clear();
        QVERIFY(!f.known(QStringLiteral("host/a")));
        f.queue.markHandedOut(QStringLiteral("host/a")); // handed to a slot: still known
        QVERIFY(f.known(QStringLiteral("host/a")));
        QVERIFY(f.known(QStringLiteral("host/a/")) == false);
        f.queue.markHandedOut(QStringLiteral("bare.com")); // "bare.com/" is the same page
        QVERIFY(f.known(QStringLiteral("bare.com/")));
        QVERIFY(f.queue.clearBacklog());
        QVERIFY(!f.known(QStringLiteral("host/a"))); // forgotten with the backlog
    }

    void loadHead_movesNewestTwenty()
    {
        Fixture f;
        f.addSites(25);
        QSignalSpy loaded(&f.queue, &CrawlQueue::headLoaded);
        QVERIFY(f.queue.loadHead());
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(f.queue.head()->count(), 20);
        QCOMPARE(f.queue.head()->item(0), QStringLiteral("site5.com"));
        QCOMPARE(f.queue.head()->item(19), QStringLiteral("site24.com"));
        QCOMPARE(f.store.countWebsites(), std::optional<qint32>(5));
        QCOMPARE(f.store.firstWebsite(), std::optional<QString>(QStringLiteral("site0.com")));
        // Each site in the head stays noted: a kill now loses none of them.
        QCOMPARE(f.store.restorePending(), std::optional<int>(20));
    }

    void loadHead_emptyBacklog()
    {
        Fixture f;
        QSignalSpy loaded(&f.queue, &CrawlQueue::headLoaded);
        QVERIFY(!f.queue.loadHead());
        QCOMPARE(loaded.count(), 0);
        QVERIFY(!f.queue.holdsSites());
    }

    void clearBacklog_emptiesHeadCountersAndNotes()
    {
        Fixture f;
        f.addSites(3);
        f.queue.head()->addItem(QStringLiteral("x.com"));
        QVERIFY(f.store.notePending(QStringLiteral("x.com")));
        f.counters.add(Counters::SiteScanned);
        f.counters.add(Counters::SiteFound);
        f.counters.add(Counters::NumberFound);
        QSignalSpy refreshed(&f.counters, &Counters::statsChanged);

        QVERIFY(f.queue.clearBacklog());
        QVERIFY(f.queue.head()->isEmpty());
        QCOMPARE(f.store.countWebsites(), std::optional<qint32>(0));
        QCOMPARE(f.store.restorePending(), std::optional<int>(0));
        QCOMPARE(f.counters.sitesFound(), 0);
        QCOMPARE(f.counters.sitesScanned(), 0);
        QCOMPARE(f.counters.sitesScannedEver(), 1);
        QCOMPARE(f.counters.numbersFound(), 1);
        QCOMPARE(refreshed.count(), 0); // labels show a reset only at the next count
    }

    // A store that cannot be read: whether a site is known cannot be told (the harvest stops
    // rather than drop the link), and the head stays as it is.
    void unusableStore_keepsTheHead()
    {
        TempDataDir dir;
        QFile bad(dir.file(QStringLiteral("varnel.mdb")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("PK\x03\x04 this is a zip archive, not a database");
        bad.close();
        Counters counters(nullptr);
        SqliteStore store(dir.path());
        CrawlQueue queue(&store, &store, nullptr, &counters);
        queue.head()->addItem(QStringLiteral("queued.com"));
        QString w = QStringLiteral("w.com");
        QVERIFY(!queue.isKnown(w).has_value());
        QVERIFY(!queue.loadHead());
        QVERIFY(!queue.clearBacklog());
        QCOMPARE(queue.head()->items(), QStringList{QStringLiteral("queued.com")});
        QVERIFY(!queue.takeFirst()); // a failure, not an empty backlog
    }
};

QTEST_GUILESS_MAIN(TestCrawlQueue)
#include "tst_crawlqueue.moc"
