#include "clock.h"
#include "globals.h"
#include "moddatabase.h"
#include "settingsstore.h"
#include "testenv.h"
#include "textlist.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <memory>

// A store in a temporary data directory with its lists, counters and a manual clock.
struct Fixture
{
    TempDataDir dir;
    SettingsStore settings{SettingsStore::iniPathForDataDir(dir.path())};
    Counters counters{&settings};
    TextList list1, list2, list3;
    ManualClock clock;
    modDatabase db{dir.path(), &counters};

    Fixture()
    {
        db.setLists(&list1, &list2, &list3);
        db.setClock(&clock);
    }

    QStringList column(const QString &sql)
    {
        QStringList out;
        const QString name = QStringLiteral("peek");
        {
            QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            c.setDatabaseName(db.databasePath());
            c.open();
            QSqlQuery q(c);
            q.exec(sql);
            while (q.next())
                out << q.value(0).toString();
        }
        QSqlDatabase::removeDatabase(name);
        return out;
    }
    void addSites(int n, const QString &prefix = QStringLiteral("site"))
    {
        for (int i = 0; i < n; ++i) {
            QString s = prefix + QString::number(i) + QStringLiteral(".com");
            db.AddWebsite(s);
            clock.advance(1);
        }
    }
};

static QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

class TestStore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void normalizeSite_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("scheme in capitals") << "HTTP://Host/a" << "Host/a";
        QTest::newRow("scheme inside the text") << "host/go?u=HTTP://other" << "host/go?u=other";
        QTest::newRow("https removed whole") << "https://host/a" << "host/a";
        QTest::newRow("https in capitals") << "HTTPS://Host" << "Host";
        QTest::newRow("broken scheme ttp") << "ttp://host" << "host";
        QTest::newRow("broken scheme p") << "p://host" << "host";
        QTest::newRow("bare separator") << "://host" << "host";
        QTest::newRow("spaces trimmed") << "  host/a  " << "host/a";
        QTest::newRow("tabs stay") << "\thost" << "\thost";
        QTest::newRow("one pass per prefix") << "hthttp://tp://x" << "hx"; // "http://" leaves "http://x", then "ttp://" goes
    }
    void normalizeSite()
    {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(modDatabase::normalizeSite(in), out);
    }

    void normalizeNumber_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("trailing dot") << "1-212-555-0187." << "1-212-555-0187";
        QTest::newRow("dot then space keeps the dot") << "1-212-555-0187. " << "1-212-555-0187.";
        QTest::newRow("spaces") << "  +44-20-7946-0958 " << "+44-20-7946-0958";
        QTest::newRow("one dot only") << "12.." << "12.";
    }
    void normalizeNumber()
    {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(modDatabase::normalizeNumber(in), out);
    }

    void addFax_writesBackAndStoresRow()
    {
        Fixture f;
        QString number = QStringLiteral("1-212-555-0187.");
        QString search;
        QVERIFY(f.db.AddFax(number, QStringLiteral("host/contact.htm"), search, QStringLiteral("NY  x ")));
        QCOMPARE(number, QStringLiteral("1-212-555-0187"));
        QCOMPARE(search, QStringLiteral("Unknown"));
        QCOMPARE(f.column(QStringLiteral("SELECT fax || '|' || Date || '|' || website || '|' || search || '|' || location FROM faxes")),
                 QStringList{QStringLiteral("1-212-555-0187|2026-01-01 12:00:00|host/contact.htm|Unknown|NY  x ")});
    }

    void faxExists_ignoresCaseAndWritesBack()
    {
        Fixture f;
        QString n = QStringLiteral("+44-ab-1");
        QString s = QStringLiteral("x");
        f.db.AddFax(n, QString(), s, QString());
        QString probe = QStringLiteral("+44-AB-1.");
        QVERIFY(f.db.FaxExists(probe));
        QCOMPARE(probe, QStringLiteral("+44-AB-1"));
        QString other = QStringLiteral("+44-ab-2");
        QVERIFY(!f.db.FaxExists(other));
    }

    void valuesAreBoundNotSpliced_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("quote") << "o'brien plumbing";
        QTest::newRow("sql") << "x'; DROP TABLE searches; --";
        QTest::newRow("wildcards") << "%_%";
        QTest::newRow("control characters") << QStringLiteral("a\x01\tb");
        QTest::newRow("long") << QString(10000, QLatin1Char('q'));
    }
    void valuesAreBoundNotSpliced()
    {
        QFETCH(QString, text);
        Fixture f;
        QString a = text, other = QStringLiteral("other");
        f.db.AddSearch(other);
        f.db.AddSearch(a);
        f.db.LoadSearches();
        QCOMPARE(f.list1.items(), (QStringList{QStringLiteral("other"), text}));
        QString del = text;
        f.db.DeleteSearch(del);
        f.list1.clear();
        f.db.LoadSearches();
        QCOMPARE(f.list1.items(), QStringList{QStringLiteral("other")});
        QString site = text;
        f.db.AddWebsite(site);
        QString probe = QStringLiteral("%");
        QCOMPARE(f.db.WebsiteExists(probe), text == QLatin1String("%"));
    }

    void websiteExists_threeStages()
    {
        Fixture f;
        QString s = QStringLiteral("host/a");
        f.db.AddWebsite(s);
        QString upper = QStringLiteral("HOST/A");
        QVERIFY(f.db.WebsiteExists(upper)); // the table ignores letter case

        f.db.LoadWebsiteQueue(); // moves host/a into List2
        QCOMPARE(f.list2.items(), QStringList{QStringLiteral("host/a")});
        QString upper2 = QStringLiteral("HOST/A");
        QVERIFY(!f.db.WebsiteExists(upper2)); // List2 is compared exactly
        QString exact = QStringLiteral("http://host/a");
        QVERIFY(f.db.WebsiteExists(exact));
        QCOMPARE(exact, QStringLiteral("host/a"));

        f.list2.clear();
        QString gone = QStringLiteral("host/a");
        QVERIFY(!f.db.WebsiteExists(gone));
        f.db.markHandedOut(QStringLiteral("host/a")); // handed to a slot: still known
        QVERIFY(f.db.WebsiteExists(gone));
        QVERIFY(f.db.DeleteAllWebsites());
        QVERIFY(!f.db.WebsiteExists(gone)); // forgotten with the backlog
    }

    void loadFaxPreview_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("shown");
        QTest::newRow("none keeps the list") << 0 << -1;
        QTest::newRow("five") << 5 << 5;
        QTest::newRow("twenty-five") << 25 << 20;
    }
    void loadFaxPreview()
    {
        QFETCH(int, stored);
        QFETCH(int, shown);
        Fixture f;
        f.list3.addItem(QStringLiteral("old entry"));
        for (int i = 0; i < stored; ++i) {
            QString n = QString::number(1000 + i);
            QString s = QStringLiteral("s");
            f.db.AddFax(n, QStringLiteral("w"), s, QStringLiteral("L"));
            if (i % 3 == 0) // several rows share a second: insertion order decides
                f.clock.advance(1);
        }
        QVERIFY(f.db.LoadFaxPreview());
        if (shown < 0) {
            QCOMPARE(f.list3.items(), QStringList{QStringLiteral("old entry")});
            return;
        }
        QCOMPARE(f.list3.count(), shown);
        for (int k = 0; k < shown; ++k) // oldest of the newest at the top
            QCOMPARE(f.list3.item(k), QStringLiteral("%1 | L").arg(1000 + stored - shown + k));
    }

    void loadWebsiteQueue_movesNewestTwenty()
    {
        Fixture f;
        f.addSites(25);
        QSignalSpy loaded(&f.db, &modDatabase::queueLoaded);
        QVERIFY(f.db.LoadWebsiteQueue());
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(f.list2.count(), 20);
        QCOMPARE(f.list2.item(0), QStringLiteral("site5.com"));
        QCOMPARE(f.list2.item(19), QStringLiteral("site24.com"));
        QCOMPARE(f.column(QStringLiteral("SELECT website FROM websites ORDER BY rowid")),
                 (QStringList{QStringLiteral("site0.com"), QStringLiteral("site1.com"), QStringLiteral("site2.com"),
                              QStringLiteral("site3.com"), QStringLiteral("site4.com")}));
        QCOMPARE(f.db.CountWebsites(), 5);
    }

    void loadWebsiteQueue_emptyBacklog()
    {
        Fixture f;
        QSignalSpy loaded(&f.db, &modDatabase::queueLoaded);
        QVERIFY(!f.db.LoadWebsiteQueue());
        QCOMPARE(loaded.count(), 0);
    }

    void loadSearches_appendsInStoredOrder()
    {
        Fixture f;
        for (const char *s : {"  plumber new york ", "roofer boston", "Zebra"}) {
            QString t = QString::fromLatin1(s);
            f.db.AddSearch(t);
        }
        f.db.LoadSearches();
        f.db.LoadSearches();
        QCOMPARE(f.list1.items(), (QStringList{QStringLiteral("plumber new york"), QStringLiteral("roofer boston"),
                                               QStringLiteral("Zebra"), QStringLiteral("plumber new york"),
                                               QStringLiteral("roofer boston"), QStringLiteral("Zebra")}));
    }

    void deleteOne_removesFirstMatchOnly()
    {
        Fixture f;
        QString a = QStringLiteral("dup.com"), b = QStringLiteral("DUP.com"), c = QStringLiteral("keep.com");
        f.db.AddWebsite(a);
        f.db.AddWebsite(b);
        f.db.AddWebsite(c);
        QString d = QStringLiteral(" http://dup.com ");
        f.db.DeleteWebsite(d);
        QCOMPARE(d, QStringLiteral("dup.com"));
        QCOMPARE(f.column(QStringLiteral("SELECT website FROM websites ORDER BY rowid")),
                 (QStringList{QStringLiteral("DUP.com"), QStringLiteral("keep.com")}));
        QCOMPARE(f.db.firstWebsite(), QStringLiteral("DUP.com"));

        QString s1 = QStringLiteral("Roofer"), s2 = QStringLiteral("roofer");
        f.db.AddSearch(s1);
        f.db.AddSearch(s2);
        QString del = QStringLiteral(" ROOFER ");
        f.db.DeleteSearch(del);
        QCOMPARE(f.column(QStringLiteral("SELECT search FROM searches")), QStringList{QStringLiteral("roofer")});
    }

    void deleteAll_clearsListsAndCounters()
    {
        Fixture f;
        f.addSites(3);
        f.list2.addItem(QStringLiteral("x.com"));
        f.list3.addItem(QStringLiteral("1 | L"));
        f.counters.AddStat(Counters::SiteScanned);
        f.counters.AddStat(Counters::SiteFound);
        f.counters.AddStat(Counters::NumberFound);
        QSignalSpy refreshed(&f.counters, &Counters::statsChanged);

        QVERIFY(f.db.DeleteAllWebsites());
        QVERIFY(f.list2.isEmpty());
        QCOMPARE(f.db.CountWebsites(), 0);
        QCOMPARE(f.counters.lWebFound(), 0);
        QCOMPARE(f.counters.lWebScanned(), 0);
        QCOMPARE(f.counters.lHistWebScanned(), 1);
        QCOMPARE(f.counters.lEmailFound(), 1);

        QVERIFY(f.db.DeleteAllFaxes());
        QVERIFY(f.list3.isEmpty());
        QCOMPARE(f.counters.lEmailFound(), 0);
        QCOMPARE(f.counters.lHistEmailFound(), 1);
        QCOMPARE(refreshed.count(), 0); // labels show a reset only at the next count
    }

    void missingTable_isCreated()
    {
        Fixture f;
        {
            QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("pre"));
            c.setDatabaseName(f.db.databasePath());
            QVERIFY(c.open());
            QSqlQuery q(c);
            QVERIFY(q.exec(QStringLiteral("CREATE TABLE faxes (fax TEXT, Date TEXT, website TEXT, search TEXT, location TEXT)")));
            QVERIFY(q.exec(QStringLiteral("INSERT INTO faxes VALUES ('1-800-555-0199', '2020-01-01 00:00:00', 'w', 's', 'l')")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("pre"));
        QString s = QStringLiteral("host");
        f.db.AddWebsite(s);
        QCOMPARE(f.db.CountWebsites(), 1);
        QCOMPARE(f.db.CountFaxes(), 1);
    }

    // A store that cannot be used: every operation keeps its failure rule, nothing is
    // written to the file, and the user is told once, with the file named.
    void unusableStore_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: the data folder is missing
        QTest::newRow("missing folder") << QByteArray();
        QTest::newRow("some other file") << QByteArray("PK\x03\x04 this is a zip archive, not a database");
        QTest::newRow("damaged header") << QByteArray("SQLite format 2\0garbage", 23);
    }
    void unusableStore()
    {
        QFETCH(QByteArray, content);
        TempDataDir root;
        const QString dir = content.isEmpty() ? root.file(QStringLiteral("nowhere")) : root.path();
        const QString file = QDir(dir).filePath(QStringLiteral("varnel.mdb"));
        if (!content.isEmpty()) {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(content);
        }
        SettingsStore settings(root.file(QStringLiteral("s.ini")));
        Counters counters(&settings);
        TextList l1, l2, l3;
        l2.addItem(QStringLiteral("queued.com"));
        modDatabase db(dir, &counters);
        db.setLists(&l1, &l2, &l3);
        QSignalSpy problem(&db, &modDatabase::storeProblem);

        QString n = QStringLiteral("1-212-555-0187"), s = QStringLiteral("x"), w = QStringLiteral("w.com");
        QVERIFY(db.AddFax(n, QStringLiteral("w"), s, QStringLiteral("l")));
        QVERIFY(db.AddWebsite(w));
        QVERIFY(db.FaxExists(n));      // unknown answers "exists": nothing gets added
        QVERIFY(db.WebsiteExists(w));
        QCOMPARE(db.CountFaxes(), 0);
        QCOMPARE(db.CountWebsites(), 0);
        QVERIFY(!db.LoadWebsiteQueue());
        QVERIFY(!db.DeleteAllWebsites());
        QCOMPARE(l2.items(), QStringList{QStringLiteral("queued.com")});
        QVERIFY(db.LoadSearches());
        QVERIFY(l1.isEmpty());

        QCOMPARE(problem.count(), 1);
        QVERIFY(problem.at(0).at(0).toString().contains(QDir::toNativeSeparators(file)));
        if (!content.isEmpty())
            QCOMPARE(fileBytes(file), content);
        else
            QVERIFY(!QFile::exists(file));
    }

    void emptyFile_becomesDatabase()
    {
        TempDataDir dir;
        QFile(dir.file(QStringLiteral("varnel.mdb"))).open(QIODevice::WriteOnly);
        modDatabase db(dir.path());
        QString s = QStringLiteral("a search");
        db.AddSearch(s);
        TextList l1;
        db.setLists(&l1, nullptr, nullptr);
        db.LoadSearches();
        QCOMPARE(l1.items(), QStringList{QStringLiteral("a search")});
    }

    // A writer killed at random moments leaves a file that opens, passes the integrity
    // check and holds every row it had reported as stored, each one whole.
    void killedWriter_leavesWholeRows()
    {
        TempDataDir dir;
        auto *rng = QRandomGenerator::global();
        int reported = 0; // rows the writers said were stored, over all rounds
        for (int round = 0; round < 4; ++round) {
            QProcess writer;
            writer.start(QStringLiteral(STORE_WRITER), {dir.path()});
            QVERIFY(writer.waitForStarted());
            QTest::qWait(100 + int(rng->bounded(400)));
            writer.kill();
            writer.waitForFinished();
            const QList<QByteArray> lines = writer.readAllStandardOutput().split('\n');
            for (const QByteArray &l : lines)
                reported += l.isEmpty() ? 0 : 1;

            const QString name = QStringLiteral("check%1").arg(round);
            {
                QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
                c.setDatabaseName(QDir(dir.path()).filePath(QStringLiteral("varnel.mdb")));
                QVERIFY(c.open());
                QSqlQuery q(c);
                QVERIFY(q.exec(QStringLiteral("PRAGMA integrity_check")) && q.next());
                QCOMPARE(q.value(0).toString(), QStringLiteral("ok"));
                QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM faxes")) && q.next());
                const int rows = q.value(0).toInt();
                QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM faxes WHERE fax LIKE '1-212-555-%' AND "
                                              "length(Date) = 19 AND website = 'example.com/contact.htm' AND "
                                              "search = 'plumber new york' AND location LIKE 'NY  %'")) && q.next());
                QCOMPARE(q.value(0).toInt(), rows); // every row whole
                QVERIFY2(rows >= reported, qPrintable(QStringLiteral("%1 rows, %2 reported").arg(rows).arg(reported)));
                QVERIFY(rows <= reported + 1); // at most the row in flight
                reported = rows;
            }
            QSqlDatabase::removeDatabase(name);
        }
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
