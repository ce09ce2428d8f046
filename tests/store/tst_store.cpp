#include "clock.h"
#include "sqlitestore.h"
#include "testenv.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <memory>

// The first column of a query on a database file, through a connection of the test's own.
static QStringList readColumn(const QString &path, const QString &sql)
{
    QStringList out;
    const QString name = QStringLiteral("peek");
    {
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        c.setDatabaseName(path);
        c.open();
        QSqlQuery q(c);
        q.exec(sql);
        while (q.next())
            out << q.value(0).toString();
    }
    QSqlDatabase::removeDatabase(name);
    return out;
}

// A store in a temporary data directory with a manual clock.
struct Fixture
{
    TempDataDir dir;
    ManualClock clock;
    SqliteStore db{dir.path()};

    Fixture() { db.setClock(&clock); }

    QStringList column(const QString &sql) { return readColumn(db.databasePath(), sql); }
    void addSites(int n, const QString &prefix = QStringLiteral("site"))
    {
        for (int i = 0; i < n; ++i) {
            QString s = prefix + QString::number(i) + QStringLiteral(".com");
            QVERIFY(db.addWebsite(s));
            clock.advance(1);
        }
    }
    bool addFax(const QString &number, const QString &search = QStringLiteral("s"),
                const QString &location = QStringLiteral("L"))
    {
        FaxRow row;
        row.fax = number;
        row.website = QStringLiteral("w");
        row.search = search;
        row.location = location;
        return db.addFax(row);
    }
};

// Runs SQL on a database file through a connection of the test's own.
static void runSql(const QString &path, const QStringList &statements)
{
    const QString name = QStringLiteral("pre");
    {
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        c.setDatabaseName(path);
        QVERIFY(c.open());
        QSqlQuery q(c);
        for (const QString &sql : statements)
            QVERIFY2(q.exec(sql), qPrintable(sql));
    }
    QSqlDatabase::removeDatabase(name);
}

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
        QCOMPARE(Store::normalizeSite(in), out);
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
        QCOMPARE(Store::normalizeNumber(in), out);
    }

    void addFax_writesBackAndStoresRow()
    {
        Fixture f;
        FaxRow row;
        row.fax = QStringLiteral("1-212-555-0187.");
        row.website = QStringLiteral("host/contact.htm");
        row.location = QStringLiteral("NY  x ");
        QVERIFY(f.db.addFax(row));
        QCOMPARE(row.fax, QStringLiteral("1-212-555-0187"));
        QCOMPARE(row.search, QStringLiteral("Unknown"));
        QCOMPARE(row.date, f.clock.now());
        QCOMPARE(f.column(QStringLiteral("SELECT fax || '|' || Date || '|' || website || '|' || search || '|' || location FROM faxes")),
                 QStringList{QStringLiteral("1-212-555-0187|2026-01-01 12:00:00|host/contact.htm|Unknown|NY  x ")});
    }

    void faxExists_ignoresCaseAndWritesBack()
    {
        Fixture f;
        QVERIFY(f.addFax(QStringLiteral("+44-ab-1")));
        QString probe = QStringLiteral("+44-AB-1.");
        QCOMPARE(f.db.faxExists(probe), std::optional<bool>(true));
        QCOMPARE(probe, QStringLiteral("+44-AB-1"));
        QString other = QStringLiteral("+44-ab-2");
        QCOMPARE(f.db.faxExists(other), std::optional<bool>(false));
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
        QVERIFY(f.db.addSearch(other));
        QVERIFY(f.db.addSearch(a));
        QCOMPARE(f.db.searches(), std::optional<QStringList>(QStringList{QStringLiteral("other"), text}));
        QString del = text;
        QVERIFY(f.db.deleteSearch(del));
        QCOMPARE(f.db.searches(), std::optional<QStringList>(QStringList{QStringLiteral("other")}));
        QString site = text;
        QVERIFY(f.db.addWebsite(site));
        QString probe = QStringLiteral("%");
        QCOMPARE(f.db.websiteExists(probe), std::optional<bool>(text == QLatin1String("%")));
    }

    void websiteExists_ignoresCaseAndWritesBack()
    {
        Fixture f;
        QString s = QStringLiteral("host/a");
        QVERIFY(f.db.addWebsite(s));
        QString upper = QStringLiteral("http://HOST/A");
        QCOMPARE(f.db.websiteExists(upper), std::optional<bool>(true));
        QCOMPARE(upper, QStringLiteral("HOST/A"));
        QString other = QStringLiteral("host/b");
        QCOMPARE(f.db.websiteExists(other), std::optional<bool>(false));
    }

    void newestFaxes_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("shown");
        QTest::newRow("none") << 0 << 0;
        QTest::newRow("five") << 5 << 5;
        QTest::newRow("twenty-five") << 25 << 20;
    }
    void newestFaxes()
    {
        QFETCH(int, stored);
        QFETCH(int, shown);
        Fixture f;
        for (int i = 0; i < stored; ++i) {
            QVERIFY(f.addFax(QString::number(1000 + i)));
            if (i % 3 == 0) // several rows share a second: insertion order decides
                f.clock.advance(1);
        }
        const std::optional<QStringList> newest = f.db.newestFaxes(20);
        QVERIFY(newest);
        QCOMPARE(newest->size(), shown);
        for (int k = 0; k < shown; ++k) // oldest of the newest first
            QCOMPARE(newest->at(k), QStringLiteral("%1 | L").arg(1000 + stored - shown + k));
    }

    void newestWebsites_oldestOfThemFirst_andStay()
    {
        Fixture f;
        f.addSites(25);
        const std::optional<QStringList> newest = f.db.newestWebsites(20);
        QVERIFY(newest);
        QCOMPARE(newest->size(), 20);
        QCOMPARE(newest->first(), QStringLiteral("site5.com"));
        QCOMPARE(newest->last(), QStringLiteral("site24.com"));
        QCOMPARE(f.db.countWebsites(), std::optional<qint32>(25));
        QCOMPARE(f.db.firstWebsite(), std::optional<QString>(QStringLiteral("site0.com")));
    }

    void searches_inStoredOrder()
    {
        Fixture f;
        for (const char *s : {"  plumber new york ", "roofer boston", "Zebra"}) {
            QString t = QString::fromLatin1(s);
            QVERIFY(f.db.addSearch(t));
        }
        QCOMPARE(f.db.searches(),
                 std::optional<QStringList>(QStringList{QStringLiteral("plumber new york"),
                                             QStringLiteral("roofer boston"), QStringLiteral("Zebra")}));
    }

    void deleteOne_removesFirstMatchOnly()
    {
        Fixture f;
        QString a = QStringLiteral("dup.com"), b = QStringLiteral("DUP.com"), c = QStringLiteral("keep.com");
        QVERIFY(f.db.addWebsite(a) && f.db.addWebsite(b) && f.db.addWebsite(c));
        QString d = QStringLiteral(" http://dup.com ");
        QVERIFY(f.db.deleteWebsite(d));
        QCOMPARE(d, QStringLiteral("dup.com"));
        QCOMPARE(f.column(QStringLiteral("SELECT website FROM websites ORDER BY rowid")),
                 (QStringList{QStringLiteral("DUP.com"), QStringLiteral("keep.com")}));
        QCOMPARE(f.db.firstWebsite(), std::optional<QString>(QStringLiteral("DUP.com")));

        QString s1 = QStringLiteral("Roofer"), s2 = QStringLiteral("roofer");
        QVERIFY(f.db.addSearch(s1) && f.db.addSearch(s2));
        QString del = QStringLiteral(" ROOFER ");
        QVERIFY(f.db.deleteSearch(del));
        QCOMPARE(f.column(QStringLiteral("SELECT search FROM searches")), QStringList{QStringLiteral("roofer")});
    }

    // A blank search string stored by an earlier version (as NULL or as "") can be deleted
    // for good: it would come back at the next start as the current search.
    void blankSearch_isDeletedForGood_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("NULL") << "INSERT INTO searches (search) VALUES (NULL)";
        QTest::newRow("empty") << "INSERT INTO searches (search) VALUES ('')";
        QTest::newRow("through the store") << QString();
    }
    void blankSearch_isDeletedForGood()
    {
        QFETCH(QString, stored);
        Fixture f;
        QString keep = QStringLiteral("keep");
        QVERIFY(f.db.addSearch(keep));
        if (stored.isEmpty()) {
            QString blank = QStringLiteral("   ");
            QVERIFY(f.db.addSearch(blank));
        } else {
            (void)f.db.searches(); // creates the tables
            runSql(f.db.databasePath(), {stored});
        }
        QCOMPARE(f.db.searches().value_or(QStringList()),
                 (QStringList{QStringLiteral("keep"), QString()}));
        QString shown; // as the list shows it
        QVERIFY(f.db.deleteSearch(shown));
        QCOMPARE(f.db.searches().value_or(QStringList()), QStringList{QStringLiteral("keep")});
    }

    void deleteAll_emptiesTheTable()
    {
        Fixture f;
        f.addSites(3);
        QVERIFY(f.db.notePending(QStringLiteral("site0.com")));
        QVERIFY(f.addFax(QStringLiteral("1")));
        QVERIFY(f.db.deleteAllWebsites());
        QCOMPARE(f.db.countWebsites(), std::optional<qint32>(0));
        // The notes of sites taken from the backlog go with it.
        QCOMPARE(f.db.restorePending(), std::optional<int>(0));
        QCOMPARE(f.db.countFaxes(), std::optional<qint32>(1));
        QVERIFY(f.db.deleteAllFaxes());
        QCOMPARE(f.db.countFaxes(), std::optional<qint32>(0));
    }

    void pendingNotes_goBackExceptStillQueued()
    {
        Fixture f;
        for (const char *site : {"a.com", "b.com", "a.com", "c.com"})
            QVERIFY(f.db.notePending(QLatin1String(site)));
        QVERIFY(f.db.clearPending(QStringLiteral("c.com")));
        // One note of a.com stays for the a.com still queued.
        QCOMPARE(f.db.restorePending({QStringLiteral("a.com")}), std::optional<int>(2));
        QCOMPARE(f.column(QStringLiteral("SELECT website FROM websites ORDER BY rowid")),
                 (QStringList{QStringLiteral("b.com"), QStringLiteral("a.com")}));
        QCOMPARE(f.column(QStringLiteral("SELECT website FROM pending")), QStringList{QStringLiteral("a.com")});
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
        QVERIFY(f.db.addWebsite(s));
        QCOMPARE(f.db.countWebsites(), std::optional<qint32>(1));
        QCOMPARE(f.db.countFaxes(), std::optional<qint32>(1));
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
        SqliteStore db(dir);
        QSignalSpy problem(&db, &Store::storeProblem);

        FaxRow row;
        row.fax = QStringLiteral("1-212-555-0187");
        QString n = row.fax, w = QStringLiteral("w.com");
        QVERIFY(!db.addFax(row));
        QVERIFY(!db.addWebsite(w));
        QVERIFY(!db.faxExists(n));
        QVERIFY(!db.websiteExists(w));
        QVERIFY(!db.countFaxes());
        QVERIFY(!db.countWebsites());
        QVERIFY(!db.newestWebsites(20));
        QVERIFY(!db.firstWebsite());
        QVERIFY(!db.deleteAllWebsites());
        QVERIFY(!db.searches());
        QVERIFY(!db.allFaxes());

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
        SqliteStore db(dir.path());
        QString s = QStringLiteral("a search");
        QVERIFY(db.addSearch(s));
        QCOMPARE(db.searches(), std::optional<QStringList>(QStringList{QStringLiteral("a search")}));
    }

    // The schema version is read at open: a store of the original three tables is brought
    // up to this version; one written by a newer version is left alone and refused.
    void schemaVersion_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<bool>("usable");
        QTest::newRow("original tables") << 0 << true;
        QTest::newRow("this version") << SqliteStore::schemaVersion << true;
        QTest::newRow("newer version") << SqliteStore::schemaVersion + 1 << false;
    }
    void schemaVersion()
    {
        QFETCH(int, version);
        QFETCH(bool, usable);
        TempDataDir dir;
        const QString file = dir.file(QStringLiteral("varnel.mdb"));
        runSql(file, {QStringLiteral("CREATE TABLE faxes (fax TEXT, Date TEXT, website TEXT, search TEXT, location TEXT)"),
                      QStringLiteral("CREATE TABLE websites (website TEXT, Date TEXT)"),
                      QStringLiteral("CREATE TABLE searches (search TEXT)"),
                      QStringLiteral("INSERT INTO searches VALUES ('kept')"),
                      QStringLiteral("PRAGMA user_version=%1").arg(version)});
        const QByteArray before = fileBytes(file);
        {
            SqliteStore db(dir.path());
            QSignalSpy problem(&db, &Store::storeProblem);
            QCOMPARE(db.isUsable(), usable);
            if (!usable) {
                QCOMPARE(problem.size(), 1);
                QVERIFY2(problem.at(0).at(0).toString().contains(QLatin1String("newer version")),
                         qPrintable(problem.at(0).at(0).toString()));
                QVERIFY(!db.notePending(QStringLiteral("x.com")));
            } else {
                QCOMPARE(db.searches(), std::optional<QStringList>(QStringList{QStringLiteral("kept")}));
                QVERIFY(db.notePending(QStringLiteral("x.com")));
            }
        }
        if (!usable) {
            QCOMPARE(fileBytes(file), before);
            return;
        }
        QCOMPARE(readColumn(file, QStringLiteral("PRAGMA user_version")),
                 QStringList{QString::number(SqliteStore::schemaVersion)});
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
