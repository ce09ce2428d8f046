#include "clock.h"
#include "pgtestserver.h"
#include "postgresstore.h"
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

static const QString kSqlite = QStringLiteral("sqlite");
static const QString kPostgres = QStringLiteral("postgresql");

// The backend of the current row of the suite's global table.
static QString backend()
{
    QFETCH_GLOBAL(QString, backend);
    return backend;
}

// A store of the current backend, empty, with a manual clock: a file in a temporary data
// directory, or a schema of its own on the test server.
struct Fixture
{
    TempDataDir dir;
    std::unique_ptr<TestPg::Schema> schema;
    ManualClock clock;
    std::unique_ptr<Store> db;

    Fixture()
    {
        if (backend() == kPostgres) {
            schema = std::make_unique<TestPg::Schema>();
            db = std::make_unique<PostgresStore>(schema->uri());
        } else {
            db = std::make_unique<SqliteStore>(dir.path());
        }
        db->setClock(&clock);
    }

    // A column of a table in stored order, through a connection of the test's own.
    QStringList rows(const QString &table, const QString &column)
    {
        if (schema)
            return schema->column(
                QStringLiteral("SELECT %1 FROM %2 ORDER BY id").arg(column, table));
        return readColumn(QDir(dir.path()).filePath(QStringLiteral("varnel.mdb")),
                          QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(column, table));
    }
    void addSites(int n, const QString &prefix = QStringLiteral("site"))
    {
        for (int i = 0; i < n; ++i) {
            QString s = prefix + QString::number(i) + QStringLiteral(".com");
            QVERIFY(db->addWebsite(s));
            clock.advance(1);
        }
    }
    bool addFax(const QString &number, const QString &search = QStringLiteral("s"),
                const QString &location = QStringLiteral("L"), bool *alreadyStored = nullptr)
    {
        FaxRow row;
        row.fax = number;
        row.website = QStringLiteral("w");
        row.search = search;
        row.location = location;
        return db->addFax(row, alreadyStored);
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

// Opens a store that holds the search string "kept": a usable one reads and writes, a
// refused one says that a newer version wrote it and takes no write.
static void checkOpen(Store &db, bool usable)
{
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

// The same on a server: version 0 is an empty database (the tables are created), a higher
// one is set by hand.
static void schemaVersionOnServer(int version, bool usable)
{
    TestPg::Schema schema;
    if (version > 0) {
        PostgresStore first(schema.uri());
        QString kept = QStringLiteral("kept");
        QVERIFY(first.addSearch(kept));
        QVERIFY(schema.exec(QStringLiteral("UPDATE schema_version SET version = %1").arg(version)));
    } else {
        QVERIFY(schema.exec(QStringLiteral("SELECT 1")));
    }
    const QString tables =
        QStringLiteral("SELECT string_agg(table_name, ',' ORDER BY table_name) "
                       "FROM information_schema.tables WHERE table_schema = '%1'")
            .arg(schema.name());
    const QStringList before = schema.column(tables);
    {
        PostgresStore db(schema.uri());
        if (version == 0) {
            QVERIFY(db.isUsable());
            QString kept = QStringLiteral("kept");
            QVERIFY(db.addSearch(kept));
        }
        checkOpen(db, usable);
    }
    if (!usable) {
        QCOMPARE(schema.column(tables), before);
        QCOMPARE(schema.column(QStringLiteral("SELECT count(*) FROM pending")),
                 QStringList{QStringLiteral("0")});
    }
    QCOMPARE(schema.column(QStringLiteral("SELECT version FROM schema_version")),
             QStringList{QString::number(usable ? PostgresStore::schemaVersion : version)});
}

class TestStore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    // Every test runs against both backends, a file and a server.
    void initTestCase_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::newRow("sqlite") << kSqlite;
        QTest::newRow("postgresql") << kPostgres;
    }
    void init()
    {
        QString why;
        if (backend() == kPostgres && TestPg::port(&why) == 0)
            QSKIP(qPrintable(why));
    }

    void normalizeSite_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("scheme in capitals") << "HTTP://Host/a"
                                            << "Host/a";
        QTest::newRow("scheme inside the text") << "host/go?u=HTTP://other"
                                                << "host/go?u=other";
        QTest::newRow("https removed whole") << "https://host/a"
                                             << "host/a";
        QTest::newRow("https in capitals") << "HTTPS://Host"
                                           << "Host";
        QTest::newRow("broken scheme ttp") << "ttp://host"
                                           << "host";
        QTest::newRow("broken scheme p") << "p://host"
                                         << "host";
        QTest::newRow("bare separator") << "://host"
                                        << "host";
        QTest::newRow("spaces trimmed") << "  host/a  "
                                        << "host/a";
        QTest::newRow("tabs stay") << "\thost"
                                   << "\thost";
        QTest::newRow("one pass per prefix")
            << "hthttp://tp://x"
            << "hx"; // "http://" leaves "http://x", then "ttp://" goes
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
        QTest::newRow("trailing dot") << "1-212-555-0187."
                                      << "1-212-555-0187";
        QTest::newRow("dot then space keeps the dot") << "1-212-555-0187. "
                                                      << "1-212-555-0187.";
        QTest::newRow("spaces") << "  +44-20-7946-0958 "
                                << "+44-20-7946-0958";
        QTest::newRow("one dot only") << "12.."
                                      << "12.";
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
        QVERIFY(f.db->addFax(row));
        QCOMPARE(row.fax, QStringLiteral("1-212-555-0187"));
        QCOMPARE(row.search, QStringLiteral("Unknown"));
        QCOMPARE(row.date, f.clock.now());
        const std::optional<QList<FaxRow>> stored = f.db->allFaxes();
        QVERIFY(stored && stored->size() == 1);
        const FaxRow &r = stored->first();
        QCOMPARE(
            QStringList({r.fax, r.date.toString(Qt::ISODate), r.website, r.search, r.location}),
            QStringList({QStringLiteral("1-212-555-0187"), QStringLiteral("2026-01-01T12:00:00"),
                         QStringLiteral("host/contact.htm"), QStringLiteral("Unknown"),
                         QStringLiteral("NY  x ")}));
    }

    void faxExists_ignoresCaseAndWritesBack()
    {
        Fixture f;
        QVERIFY(f.addFax(QStringLiteral("+44-ab-1")));
        QString probe = QStringLiteral("+44-AB-1.");
        QCOMPARE(f.db->faxExists(probe), std::optional<bool>(true));
        QCOMPARE(probe, QStringLiteral("+44-AB-1"));
        QString other = QStringLiteral("+44-ab-2");
        QCOMPARE(f.db->faxExists(other), std::optional<bool>(false));
    }

    // The reference stores whatever it is given (callers test first); a server keeps each
    // number once, so that harvesters storing one number at the same moment store one row,
    // and tells the second caller that the number was there.
    void addFax_sameNumberTwice()
    {
        Fixture f;
        const bool once = backend() == kPostgres;
        bool known = true;
        QVERIFY(
            f.addFax(QStringLiteral("+44-ab-1"), QStringLiteral("s"), QStringLiteral("L"), &known));
        QVERIFY(!known);
        QVERIFY(f.addFax(QStringLiteral("+44-AB-1."), QStringLiteral("t"), QStringLiteral("M"),
                         &known));
        QCOMPARE(known, once);
        QCOMPARE(f.db->countFaxes(), std::optional<qint32>(once ? 1 : 2));
        QCOMPARE(f.rows(QStringLiteral("faxes"), QStringLiteral("search")),
                 once ? QStringList{QStringLiteral("s")}
                      : (QStringList{QStringLiteral("s"), QStringLiteral("t")}));
    }

    // The counts follow every way rows come and go, also when several connections (a team's
    // harvesters) change the tables and one of them has ended.
    void counts_followEveryChange()
    {
        Fixture f;
        f.addSites(3);
        QVERIFY(f.addFax(QStringLiteral("1")) && f.addFax(QStringLiteral("2")));
        {
            std::unique_ptr<Store> other =
                f.schema ? std::unique_ptr<Store>(new PostgresStore(f.schema->uri()))
                         : std::unique_ptr<Store>(new SqliteStore(f.dir.path()));
            QString site = QStringLiteral("other.com");
            QVERIFY(other->addWebsite(site));
            QString gone = QStringLiteral("site0.com");
            QVERIFY(other->deleteWebsite(gone));
            QVERIFY(other->notePending(QStringLiteral("p.com")));
            QVERIFY(other->notePending(QStringLiteral("q.com")));
            QCOMPARE(other->countWebsites(), std::optional<qint32>(3));
            QCOMPARE(f.db->countWebsites(), std::optional<qint32>(3));
        }
        QCOMPARE(f.db->restorePending(), std::optional<int>(2));
        QCOMPARE(f.db->countWebsites(), std::optional<qint32>(5));
        QString missing = QStringLiteral("nowhere.com");
        QVERIFY(f.db->deleteWebsite(missing));
        std::unique_ptr<Store> later =
            f.schema ? std::unique_ptr<Store>(new PostgresStore(f.schema->uri()))
                     : std::unique_ptr<Store>(new SqliteStore(f.dir.path()));
        QCOMPARE(later->countWebsites(), std::optional<qint32>(5));
        QCOMPARE(later->countFaxes(), std::optional<qint32>(2));
        QVERIFY(later->deleteAllWebsites());
        QCOMPARE(f.db->countWebsites(), std::optional<qint32>(0));
        QCOMPARE(f.db->countFaxes(), std::optional<qint32>(2));
    }

    // Another program holds the table: the write is refused after a while, the writes of its
    // batch made before are undone with it and its later ones are not run, the user is told
    // once; once the lock is gone, writes are stored again.
    void lockedTable_refusesBatchWhole()
    {
        Fixture f;
        QVERIFY(f.db->isUsable());
        QSignalSpy problems(f.db.get(), &Store::storeProblem);
        QSignalSpy refused(f.db.get(), &Store::writeFailed);
        const QString name = QStringLiteral("holder");
        {
            QSqlDatabase holder;
            if (f.schema) {
                QVERIFY(f.schema->exec(QStringLiteral("BEGIN")));
                QVERIFY(
                    f.schema->exec(QStringLiteral("LOCK TABLE websites IN ACCESS EXCLUSIVE MODE")));
            } else {
                holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
                holder.setDatabaseName(QDir(f.dir.path()).filePath(QStringLiteral("varnel.mdb")));
                QVERIFY(holder.open());
                QVERIFY(holder.exec(QStringLiteral("BEGIN EXCLUSIVE")).lastError().type() ==
                        QSqlError::NoError);
            }
            f.db->beginBatch();
            QString search = QStringLiteral("roofers"), site = QStringLiteral("a.com"),
                    later = QStringLiteral("b.com");
            const bool searchStored = f.db->addSearch(search); // the server locks one table only
            QCOMPARE(searchStored, f.schema != nullptr);
            QVERIFY(!f.db->addWebsite(site));
            if (f.schema)
                QVERIFY(f.schema->exec(QStringLiteral("COMMIT")));
            else
                holder.exec(QStringLiteral("ROLLBACK"));
            QVERIFY(!f.db->addSearch(later));
            f.db->endBatch();
            holder.close();
        }
        QSqlDatabase::removeDatabase(name);
        QCOMPARE(problems.size(), 1);
        QVERIFY2(
            problems.at(0).at(0).toString().contains(QLatin1String("another program is using it")),
            qPrintable(problems.at(0).at(0).toString()));
        QVERIFY(refused.size() >= 1);
        QCOMPARE(f.db->searches(), std::optional<QStringList>(QStringList()));
        QString site = QStringLiteral("c.com");
        QVERIFY2(f.db->addWebsite(site), qPrintable(f.db->lastError()));
        QCOMPARE(f.db->newestWebsites(5),
                 std::optional<QStringList>(QStringList{QStringLiteral("c.com")}));
    }

    // One fax in two forms is one number: by its E.164 form, and by its text form where
    // the stored row has none (stored by the fax line scan alone, or before the finder).
    void numberExists_data()
    {
        QTest::addColumn<QString>("storedFax");
        QTest::addColumn<QString>("storedE164");
        QTest::addColumn<QString>("fax");
        QTest::addColumn<QString>("e164");
        QTest::addColumn<bool>("exists");
        QTest::newRow("same E.164, other text") << "+1-212-555-0187"
                                                << "+12125550187"
                                                << "1-212-555-0187"
                                                << "+12125550187" << true;
        QTest::newRow("North American text, stored without E.164") << "1-212-555-0187"
                                                                   << ""
                                                                   << "1-212-555-0187"
                                                                   << "+12125550187" << true;
        QTest::newRow("international text, stored without E.164") << "+44-20-7946-0958"
                                                                  << ""
                                                                  << "+44-20-7946-0958"
                                                                  << "+442079460958" << true;
        QTest::newRow("another number") << "1-212-555-0187"
                                        << "+12125550187"
                                        << "1-212-555-0188"
                                        << "+12125550188" << false;
        QTest::newRow("without E.164: by text, dot dropped") << "1-212-555-0187"
                                                             << "+12125550187"
                                                             << "1-212-555-0187."
                                                             << "" << true;
        QTest::newRow("without E.164: empty forms are no match") << "1-212-555-0187"
                                                                 << ""
                                                                 << "+44-1"
                                                                 << "" << false;
    }
    void numberExists()
    {
        QFETCH(QString, storedFax);
        QFETCH(QString, storedE164);
        QFETCH(QString, fax);
        QFETCH(QString, e164);
        QFETCH(bool, exists);
        Fixture f;
        FaxRow stored;
        stored.fax = storedFax;
        stored.e164 = storedE164;
        QVERIFY(f.db->addFax(stored));
        FaxRow probe;
        probe.fax = fax;
        probe.e164 = e164;
        QCOMPARE(f.db->numberExists(probe), std::optional<bool>(exists));
        QCOMPARE(probe.fax, Store::normalizeNumber(fax));
    }

    // The evidence goes in and out whole, the text around the number cut to its length;
    // fields left empty are stored as empty text, not as NULL.
    void evidence_storedAndRead()
    {
        Fixture f;
        FaxRow row;
        row.fax = QStringLiteral("+49-30-1234567");
        row.location = QStringLiteral("Unknown/International");
        row.e164 = QStringLiteral("+49301234567");
        row.country = QStringLiteral("DE");
        row.label = QStringLiteral("Telefax");
        row.how = QStringLiteral("previous-cell");
        row.context = QString(150, QLatin1Char('a')) + QStringLiteral("\u4f20\u771f ") +
                      QString(100, QLatin1Char('b'));
        QVERIFY(f.db->addFax(row));
        QCOMPARE(row.context.size(), Store::ContextLength);
        FaxRow bare;
        bare.fax = QStringLiteral("1-212-555-0187");
        QVERIFY(f.db->addFax(bare));
        const QList<FaxRow> rows = f.db->allFaxes().value();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0).e164, row.e164);
        QCOMPARE(rows.at(0).country, row.country);
        QCOMPARE(rows.at(0).label, row.label);
        QCOMPARE(rows.at(0).how, row.how);
        QCOMPARE(rows.at(0).context, row.context);
        QCOMPARE(f.rows(QStringLiteral("faxes"),
                        QStringLiteral("coalesce(e164, 'null') || coalesce(country, 'null') || "
                                       "coalesce(label, 'null') || coalesce(how, 'null') || "
                                       "coalesce(context, 'null')"))
                     .value(1),
                 QString(QLatin1String("")));
    }

    // The reads of the numbers window, the same on both backends: a filtered and sorted page
    // with each row's do-not-fax reason, counts per column, per day and per search string
    // (sites by host), and deleting by key.
    void numbersInView_readsOfTheWindow()
    {
        Fixture f;
        f.clock.set(QDateTime(QDate(2026, 1, 2), QTime(23, 0, 0)));
        struct Row
        {
            const char *fax, *e164, *website, *search, *how;
        };
        const Row rows[] = {
            {"1-312-555-0101", "+13125550101", "www.a.com/x.htm", "dentists", "fax line"},
            {"1-312-555-0102", "+13125550102", "www.a.com/y.htm", "dentists", "table cell"},
            {"1-212-555-0187", "+12125550187", "www.b.net/", "Plumbers", "fax line"},
            {"+44-20-7946-0958", "+442079460958", "www.c.co.uk/k", "dentists", "fax line"},
        };
        for (const Row &r : rows) {
            FaxRow row;
            row.fax = QLatin1String(r.fax);
            row.e164 = QLatin1String(r.e164);
            row.website = QLatin1String(r.website);
            row.search = QLatin1String(r.search);
            row.how = QLatin1String(r.how);
            row.location = QStringLiteral("L");
            QVERIFY(f.db->addFax(row));
            f.clock.advance(3600);
        }
        QVERIFY(f.db->addDoNotFax(QStringLiteral("(212) 555-0187"), QStringLiteral("+12125550187"),
                                  Store::reasonOptOut));

        FaxFilter dentists;
        dentists.search = QStringLiteral("dentists");
        QCOMPARE(f.db->countFaxes(dentists), std::optional<qint64>(3));
        // The window reads its counts on a second connection to the same store.
        QCOMPARE(f.db->openAnother()->countFaxes(dentists), std::optional<qint64>(3));
        FaxFilter text;
        text.text = QStringLiteral("B.NET"); // any column, letter case ignored
        QCOMPARE(f.db->countFaxes(text), std::optional<qint64>(1));
        FaxFilter day;
        day.from = day.to = QDate(2026, 1, 3);
        QCOMPARE(f.db->countFaxes(day), std::optional<qint64>(3));

        FaxSort byNumber{FaxColumn::Fax, Qt::DescendingOrder};
        const QList<ListedFax> page = f.db->faxPage(FaxFilter(), byNumber, 1, 2).value();
        QCOMPARE(page.size(), 2);
        QCOMPARE(page.at(0).row.fax, QStringLiteral("1-312-555-0101"));
        QCOMPARE(page.at(1).row.fax, QStringLiteral("1-212-555-0187"));
        QCOMPARE(page.at(1).doNotFax, Store::reasonOptOut);
        QCOMPARE(page.at(1).row.date, QDateTime(QDate(2026, 1, 3), QTime(1, 0, 0)));
        QVERIFY(page.at(0).doNotFax.isEmpty());

        const QList<ValueCount> how = f.db->countFaxesBy(FaxColumn::How, FaxFilter()).value();
        QCOMPARE(how.size(), 2);
        QCOMPARE(how.at(0).value, QStringLiteral("fax line"));
        QCOMPARE(how.at(0).count, 3);
        const QList<DayCount> days = f.db->faxesPerDay(FaxFilter()).value();
        QCOMPARE(days.size(), 2);
        QCOMPARE(days.at(0).day, QDate(2026, 1, 2));
        QCOMPARE(days.at(0).count, 1);
        QCOMPARE(days.at(1).count, 3);
        const QList<SearchYield> yields = f.db->searchYields(FaxFilter()).value();
        QCOMPARE(yields.size(), 2);
        QCOMPARE(yields.at(0).search, QStringLiteral("dentists"));
        QCOMPARE(yields.at(0).numbers, 3);
        QCOMPARE(yields.at(0).sites, 2);

        QVERIFY(f.db->deleteFaxes({page.at(0).id, page.at(1).id, 999999}));
        QCOMPARE(
            f.rows(QStringLiteral("faxes"), QStringLiteral("fax")),
            (QStringList{QStringLiteral("1-312-555-0102"), QStringLiteral("+44-20-7946-0958")}));
        // The do-not-fax list outlives the number.
        QCOMPARE(f.db->doNotFaxList()->size(), 1);
    }

    // The do-not-fax list keeps the first entry of a key; an export leaves listed and flagged
    // numbers out, and one of only the new numbers those an earlier export wrote.
    void doNotFax_andExportLedger()
    {
        Fixture f;
        f.clock.set(QDateTime(QDate(2026, 2, 1), QTime(8, 0, 0)));
        for (const char *n : {"1-312-555-0101", "1-312-555-0102", "1-212-555-0187"})
            QVERIFY(f.addFax(QLatin1String(n)));
        // Stored without its E.164 form: matched by the digits of its text.
        QVERIFY(f.addFax(QStringLiteral("+44-20-7946-0958")));
        bool added = false;
        QVERIFY(f.db->addDoNotFax(QStringLiteral("312 555 0101"), QStringLiteral("+13125550101"),
                                  Store::reasonImported, &added));
        QVERIFY(added);
        QVERIFY(f.db->addDoNotFax(QStringLiteral("(312) 555-0101"), QStringLiteral("+13125550101"),
                                  Store::reasonMarked, &added));
        QVERIFY(!added);
        QVERIFY(f.db->addDoNotFax(QStringLiteral("+44 20 7946 0958"),
                                  QStringLiteral("+442079460958"), Store::reasonNoticeSays));
        const QList<DoNotFaxEntry> list = f.db->doNotFaxList().value();
        QCOMPARE(list.size(), 2);
        QCOMPARE(list.at(0).number, QStringLiteral("312 555 0101"));
        QCOMPARE(list.at(0).reason, Store::reasonImported);
        QCOMPARE(list.at(0).date, QDateTime(QDate(2026, 2, 1), QTime(8, 0, 0)));

        ExportPlan plan = f.db->exportPlan(false).value();
        QCOMPARE(plan.rows.size(), 2);
        QCOMPARE(plan.rows.at(0).fax, QStringLiteral("1-312-555-0102"));
        QCOMPARE(plan.keys,
                 (QStringList{QStringLiteral("+13125550102"), QStringLiteral("+12125550187")}));
        QCOMPARE(plan.counts.listed, 1);
        QCOMPARE(plan.counts.flagged, 1);
        QVERIFY(f.db->recordExport(QStringLiteral("/tmp/a.txt"), plan.keys));

        QVERIFY(f.addFax(QStringLiteral("1-617-555-0100")));
        QVERIFY(f.db->removeDoNotFax({QStringLiteral("+13125550101")}));
        plan = f.db->exportPlan(true).value();
        QCOMPARE(plan.rows.size(), 2); // the new one and the one taken off the list
        QCOMPARE(plan.rows.at(0).fax, QStringLiteral("1-312-555-0101"));
        QCOMPARE(plan.rows.at(1).fax, QStringLiteral("1-617-555-0100"));
        const ExportCounts counts = f.db->exportCounts(true).value();
        QCOMPARE(counts.toWrite, 2);
        QCOMPARE(counts.exportedBefore, 2);
        QCOMPARE(counts.flagged, 1);
        QCOMPARE(counts.listed, 0);
        QCOMPARE(f.rows(QStringLiteral("exports"), QStringLiteral("file || ' ' || count")),
                 QStringList{QStringLiteral("/tmp/a.txt 2")});
    }

    // An engine's rest is kept until it is replaced or ended, as the UTC moment it was given,
    // whatever the zone of the clock that reads it.
    void engineRests_keptReplacedAndEnded()
    {
        Fixture f;
        const QDateTime until(QDate(2026, 3, 5), QTime(14, 5, 0), Qt::UTC);
        QVERIFY(f.db->setEngineRest({QStringLiteral("bing"), QStringLiteral("captcha"), until,
                                     QStringLiteral("asks for a captcha")}));
        QVERIFY(f.db->setEngineRest({QStringLiteral("mojeek"), QStringLiteral("forbidden"),
                                     until.addSecs(60), QStringLiteral("o'brien")}));
        QVERIFY(f.db->setEngineRest({QStringLiteral("bing"), QStringLiteral("tooManyRequests"),
                                     until.addSecs(3600), QString()}));
        QList<EngineRestRow> rests = f.db->engineRests().value();
        QCOMPARE(rests.size(), 2);
        QCOMPARE(rests.at(0).engine, QStringLiteral("bing"));
        QCOMPARE(rests.at(0).kind, QStringLiteral("tooManyRequests"));
        QCOMPARE(rests.at(0).until, until.addSecs(3600));
        QCOMPARE(rests.at(0).reason, QString());
        QCOMPARE(rests.at(1).reason, QStringLiteral("o'brien"));
        QVERIFY(f.db->endEngineRest(QStringLiteral("bing")));
        QVERIFY(f.db->endEngineRest(QStringLiteral("bing")));
        rests = f.db->engineRests().value();
        QCOMPARE(rests.size(), 1);
        QCOMPARE(rests.at(0).engine, QStringLiteral("mojeek"));
    }

    // A store written by the previous version of the program gains the new columns, empty
    // for the rows it holds; nothing of it is lost, and its numbers are known by their text.
    // The file is one the previous version wrote; on a server, a schema of this version is
    // taken back to the previous one's shape.
    void upgrade_storeOfPreviousVersion()
    {
        Fixture f;
        const QString file = QDir(f.dir.path()).filePath(QStringLiteral("varnel.mdb"));
        if (f.schema) {
            PostgresStore before(f.schema->uri());
            ManualClock clock(QDateTime(QDate(2025, 6, 1), QTime(9, 30, 0)));
            before.setClock(&clock);
            for (QString s : {QStringLiteral("plumber new york"), QStringLiteral("dentist")})
                QVERIFY(before.addSearch(s));
            const char *numbers[] = {"1-212-555-0187", "+44-20-7946-0958", "1-617-555-0100"};
            for (const char *n : numbers) {
                FaxRow r;
                r.fax = QLatin1String(n);
                r.website = QStringLiteral("example.com/contact.htm");
                r.search = QStringLiteral("plumber new york");
                r.location = QStringLiteral("Unknown/International");
                QVERIFY(before.addFax(r));
                clock.advance(60);
            }
            for (QString s : {QStringLiteral("a.example"), QStringLiteral("b.example/x.htm")})
                QVERIFY(before.addWebsite(s));
            QVERIFY(before.notePending(QStringLiteral("c.example")));
            QVERIFY(f.schema->exec(QStringLiteral(
                "ALTER TABLE faxes DROP COLUMN e164, DROP COLUMN country, DROP COLUMN label, "
                "DROP COLUMN how, DROP COLUMN context")));
            QVERIFY(f.schema->exec(QStringLiteral("UPDATE schema_version SET version = 1")));
        } else {
            f.db.reset();
            QVERIFY(QFile::copy(QStringLiteral(STORE_FIXTURES "/varnel-v1.mdb"), file));
            QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
            QCOMPARE(readColumn(file, QStringLiteral("PRAGMA user_version")),
                     QStringList{QStringLiteral("1")});
        }
        {
            std::unique_ptr<Store> db =
                f.schema ? std::unique_ptr<Store>(new PostgresStore(f.schema->uri()))
                         : std::unique_ptr<Store>(new SqliteStore(f.dir.path()));
            const QList<FaxRow> rows = db->allFaxes().value();
            QCOMPARE(rows.size(), 3);
            QCOMPARE(rows.at(0).fax, QStringLiteral("1-212-555-0187"));
            QCOMPARE(rows.at(0).date, QDateTime(QDate(2025, 6, 1), QTime(9, 30, 0)));
            QCOMPARE(rows.at(0).website, QStringLiteral("example.com/contact.htm"));
            QCOMPARE(rows.at(0).search, QStringLiteral("plumber new york"));
            QCOMPARE(rows.at(1).fax, QStringLiteral("+44-20-7946-0958"));
            QCOMPARE(rows.at(1).location, QStringLiteral("Unknown/International"));
            for (const FaxRow &r : rows)
                QVERIFY(r.e164.isEmpty() && r.country.isEmpty() && r.how.isEmpty() &&
                        r.context.isEmpty());
            QCOMPARE(db->searches(), std::optional<QStringList>({QStringLiteral("plumber new york"),
                                                                 QStringLiteral("dentist")}));
            QCOMPARE(db->countWebsites(), std::optional<qint32>(2));
            QCOMPARE(db->restorePending(), std::optional<int>(1));

            FaxRow seen;
            seen.fax = QStringLiteral("1-617-555-0100");
            seen.e164 = QStringLiteral("+16175550100");
            QCOMPARE(db->numberExists(seen), std::optional<bool>(true));
            FaxRow fresh;
            fresh.fax = QStringLiteral("1-312-555-0101");
            fresh.e164 = QStringLiteral("+13125550101");
            QCOMPARE(db->numberExists(fresh), std::optional<bool>(false));
            QVERIFY(db->addFax(fresh));
            QCOMPARE(db->numberExists(fresh), std::optional<bool>(true));
            // The do-not-fax list and the ledger are there, and match the old rows by text.
            QVERIFY(db->addDoNotFax(QStringLiteral("212 555 0187"), QStringLiteral("+12125550187"),
                                    Store::reasonOptOut));
            QCOMPARE(db->exportCounts(false)->listed, 1);
            QCOMPARE(db->exportCounts(false)->toWrite, 3);
        }
        if (f.schema) {
            QCOMPARE(f.schema->column(QStringLiteral("SELECT version FROM schema_version")),
                     QStringList{QString::number(PostgresStore::schemaVersion)});
            return;
        }
        QCOMPARE(readColumn(file, QStringLiteral("PRAGMA user_version")),
                 QStringList{QString::number(SqliteStore::schemaVersion)});
        QCOMPARE(readColumn(file, QStringLiteral("PRAGMA integrity_check")),
                 QStringList{QStringLiteral("ok")});
    }

    // One business per site and organisation: a second search string and a second page
    // join the first row (the organisation's letter case aside), parts it lacked are filled
    // in and those it had kept; another organisation of the site is another business, and
    // an owner without one joins the site's first. The numbers read with their business,
    // and the filter box finds them by organisation and city.
    void businesses_oneRowAcrossSearchesAndPages()
    {
        Fixture f;
        auto store = [&](const QString &e164, const QString &page, const QString &search,
                         const QString &org, const QString &city, const QString &phone) {
            FaxRow row;
            row.fax = e164;
            row.e164 = e164;
            row.website = page;
            row.search = search;
            const std::optional<bool> known = f.db->numberExists(row);
            QVERIFY(known.has_value());
            if (!*known)
                QVERIFY(f.db->addFax(row));
            BusinessFax b;
            b.fax = e164;
            b.page = page;
            b.search = search;
            b.business.site = QStringLiteral("acme.co.uk");
            b.business.organization = org;
            b.business.city = city;
            b.business.phone = phone;
            b.business.sources = city.isEmpty() ? QStringLiteral("organization=json-ld")
                                                : QStringLiteral("organization=block city=block");
            QVERIFY(f.db->addBusinessFax(b));
            f.clock.advance(60);
        };
        const QString fax = QStringLiteral("+442079460958");
        const QString second = QStringLiteral("+442079460959");
        const QString other = QStringLiteral("+442079460960");
        store(fax, "acme.co.uk/contact", "plumbers london", "Acme Ltd", "", "");
        store(fax, "www.acme.co.uk/about", "pipes", "ACME LTD", "London", "+442079460000");
        store(fax, "acme.co.uk/contact", "plumbers london", "Acme Ltd", "Leeds", "");
        store(second, "acme.co.uk/contact", "pipes", "", "", "");
        store(other, "acme.co.uk/shop", "pipes", "Acme Shop", "Leeds", "");
        QCOMPARE(f.db->countFaxes(), std::optional<qint32>(3));

        const QList<BusinessRow> all = f.db->businesses().value();
        QCOMPARE(all.size(), 2);
        const BusinessRow &acme = all.at(0);
        QCOMPARE(acme.site, QStringLiteral("acme.co.uk"));
        QCOMPARE(acme.organization, QStringLiteral("Acme Ltd"));
        QCOMPARE(acme.city, QStringLiteral("London"));
        QCOMPARE(acme.phone, QStringLiteral("+442079460000"));
        QCOMPARE(acme.sources, QStringLiteral("organization=json-ld city=block"));
        QCOMPARE(acme.faxes, (QStringList{fax, second}));
        QCOMPARE(acme.phones, QStringList{"+442079460000"});
        QCOMPARE(acme.searches, (QStringList{"plumbers london", "pipes"}));
        QCOMPARE(acme.pages, 2);
        QCOMPARE(acme.date, f.clock.now().addSecs(-5 * 60));
        QCOMPARE(all.at(1).organization, QStringLiteral("Acme Shop"));
        QCOMPARE(all.at(1).faxes, QStringList{other});

        FaxFilter leeds;
        leeds.text = QStringLiteral("leeds");
        QCOMPARE(f.db->businesses(leeds.text)->size(), 1);
        const QList<ListedFax> listed = f.db->faxPage(leeds, {}, 0, 10).value();
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed.at(0).row.e164, other);
        QCOMPARE(listed.at(0).business.organization, QStringLiteral("Acme Shop"));
        FaxFilter byName;
        byName.text = QStringLiteral("acme ltd");
        QCOMPARE(f.db->countFaxes(byName), std::optional<qint64>(2));
        FaxSort sort{FaxColumn::Organization, Qt::DescendingOrder};
        const QList<ListedFax> sorted = f.db->faxPage({}, sort, 0, 10).value();
        QCOMPARE(sorted.at(0).business.organization, QStringLiteral("Acme Shop"));
        QCOMPARE(sorted.at(2).business.city, QStringLiteral("London"));
        QCOMPARE(f.db->countFaxesBy(FaxColumn::City, {}).value().value(0).value,
                 QStringLiteral("London"));

        // A number stored without the finder has no business; a deleted fax leaves its
        // business's list, and a business without a stored fax is not listed.
        QVERIFY(f.addFax(QStringLiteral("1-212-555-0187")));
        QCOMPARE(f.db->faxPage({}, {}, 3, 1)->value(0).business.id, 0);
        QVERIFY(f.db->deleteFaxes({listed.at(0).id}));
        QCOMPARE(f.db->businesses()->size(), 1);
        const std::optional<ExportPlan> plan = f.db->exportPlan(false);
        QCOMPARE(plan->businesses.size(), 3);
        QCOMPARE(plan->businesses.at(1).organization, QStringLiteral("Acme Ltd"));
        QCOMPARE(plan->businesses.at(2).id, 0);
    }

    // A store of the version before the businesses opens, gains their tables and keeps
    // everything it held; its numbers have no business until one is noted.
    void upgrade_storeBeforeBusinesses()
    {
        Fixture f;
        FaxRow row;
        row.fax = QStringLiteral("+12125550187");
        row.e164 = row.fax;
        QVERIFY(f.db->addFax(row));
        f.db.reset();
        const QString drop = QStringLiteral(
            "DROP TABLE businesses; DROP TABLE business_searches; DROP TABLE business_numbers; "
            "DROP TABLE number_business");
        const QString file = QDir(f.dir.path()).filePath(QStringLiteral("varnel.mdb"));
        if (f.schema) {
            for (const QString &sql : drop.split(QStringLiteral("; ")))
                QVERIFY(f.schema->exec(sql));
            QVERIFY(f.schema->exec(QStringLiteral("UPDATE schema_version SET version = 5")));
        } else {
            runSql(file, drop.split(QStringLiteral("; ")) +
                             QStringList{QStringLiteral("PRAGMA user_version=4")});
        }
        std::unique_ptr<Store> db = f.schema
                                        ? std::unique_ptr<Store>(new PostgresStore(f.schema->uri()))
                                        : std::unique_ptr<Store>(new SqliteStore(f.dir.path()));
        QCOMPARE(db->allFaxes()->size(), 1);
        QCOMPARE(db->faxPage({}, {}, 0, 5)->value(0).business.id, 0);
        QVERIFY(db->businesses().has_value() && db->businesses()->isEmpty());
        BusinessFax b;
        b.fax = row.e164;
        b.page = QStringLiteral("example.com/contact");
        b.business.site = QStringLiteral("example.com");
        b.business.organization = QStringLiteral("Example Inc");
        QVERIFY(db->addBusinessFax(b));
        QCOMPARE(db->faxPage({}, {}, 0, 5)->value(0).business.organization, "Example Inc");
        db.reset();
        if (f.schema) {
            QCOMPARE(f.schema->column(QStringLiteral("SELECT version FROM schema_version")),
                     QStringList{QString::number(PostgresStore::schemaVersion)});
            return;
        }
        QCOMPARE(readColumn(file, QStringLiteral("PRAGMA user_version")),
                 QStringList{QString::number(SqliteStore::schemaVersion)});
    }

    // Another program dropped the numbers table of a store of this version: it is created
    // again with every column the numbers need. (A server's schema is its administrator's.)
    void droppedNumbersTable_isCreatedWhole()
    {
        if (backend() == kPostgres)
            QSKIP("the file only");
        TempDataDir dir;
        FaxRow row;
        row.fax = QStringLiteral("1-212-555-0187");
        row.e164 = QStringLiteral("+12125550187");
        {
            SqliteStore db(dir.path());
            QVERIFY(db.addFax(row));
        }
        runSql(dir.file(QStringLiteral("varnel.mdb")), {QStringLiteral("DROP TABLE faxes")});
        SqliteStore db(dir.path());
        QCOMPARE(db.numberExists(row), std::optional<bool>(false));
        QVERIFY(db.addFax(row));
        QCOMPARE(db.allFaxes().value().value(0).e164, row.e164);
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
        QVERIFY(f.db->addSearch(other));
        QVERIFY(f.db->addSearch(a));
        QCOMPARE(f.db->searches(),
                 std::optional<QStringList>(QStringList{QStringLiteral("other"), text}));
        QString del = text;
        QVERIFY(f.db->deleteSearch(del));
        QCOMPARE(f.db->searches(),
                 std::optional<QStringList>(QStringList{QStringLiteral("other")}));
        QString site = text;
        QVERIFY(f.db->addWebsite(site));
        QString probe = QStringLiteral("%");
        QCOMPARE(f.db->websiteExists(probe), std::optional<bool>(text == QLatin1String("%")));
    }

    void websiteExists_ignoresCaseAndWritesBack()
    {
        Fixture f;
        QString s = QStringLiteral("host/a");
        QVERIFY(f.db->addWebsite(s));
        QString upper = QStringLiteral("http://HOST/A");
        QCOMPARE(f.db->websiteExists(upper), std::optional<bool>(true));
        QCOMPARE(upper, QStringLiteral("HOST/A"));
        QString other = QStringLiteral("host/b");
        QCOMPARE(f.db->websiteExists(other), std::optional<bool>(false));
    }

    // The file store answers whether a site is queued from memory. Whatever this store,
    // another connection and a rolled-back batch do to the table, the answer is the
    // table's, compared as the table compares (ASCII letters folded, nothing else), and
    // sites that SQLite compares in its own way (a NUL, a lone surrogate) stay right too.
    void websiteExists_fromMemoryIsTheTablesAnswer()
    {
        if (backend() == kPostgres)
            QSKIP("the file only");
        TempDataDir dir;
        SqliteStore db(dir.path());
        QString first = QStringLiteral("seed");
        QVERIFY(db.addWebsite(first));
        const QString name = QStringLiteral("websites-other");
        {
            QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            other.setDatabaseName(db.location());
            QVERIFY(other.open());
            QSqlQuery q(other);
            QVERIFY(q.exec(QStringLiteral(
                "CREATE TRIGGER refuse BEFORE INSERT ON websites WHEN new.website = 'boom' "
                "BEGIN SELECT RAISE(ABORT, 'refused'); END")));
            const QStringList pool{QStringLiteral("host/a"),
                                   QStringLiteral("HOST/A"),
                                   QStringLiteral("Host/b"),
                                   QString::fromUtf8("\xc3\x84rger.de"), // Ä: not folded
                                   QString::fromUtf8("\xc3\xa4rger.de"), // ä
                                   QStringLiteral("nul") + QChar(0) + QStringLiteral("x"),
                                   QStringLiteral("nul") + QChar(0) + QStringLiteral("y"),
                                   QStringLiteral("lone") + QChar(0xD800) + QStringLiteral("z"),
                                   QStringLiteral("seed")};
            QRandomGenerator random(7);
            for (int step = 0; step < 400; ++step) {
                QString site = pool.at(int(random.bounded(pool.size())));
                switch (random.bounded(9)) {
                case 0:
                case 1:
                    QVERIFY(db.addWebsite(site));
                    break;
                case 2:
                    QVERIFY(db.deleteWebsite(site));
                    break;
                case 3:
                    QVERIFY(db.returnSites(db.takeSites(2, Store::TakeOrder::Newest).value()));
                    break;
                case 4: // another program adds or deletes rows, in their bytes
                    q.prepare(QStringLiteral("INSERT INTO websites (website) VALUES (?)"));
                    q.addBindValue(site);
                    QVERIFY(q.exec());
                    QVERIFY(q.exec(QStringLiteral("INSERT INTO websites (website) VALUES "
                                                  "(CAST(x'486f73742f41ff' AS TEXT))")));
                    break;
                case 5:
                    q.prepare(QStringLiteral("DELETE FROM websites WHERE website = ?"));
                    q.addBindValue(site);
                    QVERIFY(q.exec());
                    break;
                case 6: { // a batch that is rolled back
                    QString boom = QStringLiteral("boom");
                    db.beginBatch();
                    (void)db.addWebsite(site);
                    QVERIFY(!db.addWebsite(boom));
                    db.endBatch();
                    break;
                }
                case 7:
                    if (random.bounded(4) == 0)
                        QVERIFY(db.deleteAllWebsites());
                    break;
                default:
                    break;
                }
                for (QString probe : pool) {
                    const std::optional<bool> answer = db.websiteExists(probe);
                    QVERIFY(answer.has_value());
                    q.prepare(QStringLiteral(
                        "SELECT 1 FROM websites WHERE website = ? COLLATE NOCASE LIMIT 1"));
                    q.addBindValue(probe);
                    QVERIFY(q.exec());
                    const bool inTable = q.next();
                    q.finish();
                    QVERIFY2(*answer == inTable,
                             qPrintable(QStringLiteral("step %1, %2").arg(step).arg(probe)));
                }
            }
        }
        QSqlDatabase::removeDatabase(name);
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
        const std::optional<QStringList> newest = f.db->newestFaxes(20);
        QVERIFY(newest);
        QCOMPARE(newest->size(), shown);
        for (int k = 0; k < shown; ++k) // oldest of the newest first
            QCOMPARE(newest->at(k), QStringLiteral("%1 | L").arg(1000 + stored - shown + k));
    }

    void newestWebsites_oldestOfThemFirst_andStay()
    {
        Fixture f;
        f.addSites(25);
        const std::optional<QStringList> newest = f.db->newestWebsites(20);
        QVERIFY(newest);
        QCOMPARE(newest->size(), 20);
        QCOMPARE(newest->first(), QStringLiteral("site5.com"));
        QCOMPARE(newest->last(), QStringLiteral("site24.com"));
        QCOMPARE(f.db->countWebsites(), std::optional<qint32>(25));
        QCOMPARE(f.db->firstWebsite(), std::optional<QString>(QStringLiteral("site0.com")));
    }

    void searches_inStoredOrder()
    {
        Fixture f;
        for (const char *s : {"  plumber new york ", "roofer boston", "Zebra"}) {
            QString t = QString::fromLatin1(s);
            QVERIFY(f.db->addSearch(t));
        }
        QCOMPARE(f.db->searches(), std::optional<QStringList>(QStringList{
                                       QStringLiteral("plumber new york"),
                                       QStringLiteral("roofer boston"), QStringLiteral("Zebra")}));
    }

    void deleteOne_removesFirstMatchOnly()
    {
        Fixture f;
        QString a = QStringLiteral("dup.com"), b = QStringLiteral("DUP.com"),
                c = QStringLiteral("keep.com");
        QVERIFY(f.db->addWebsite(a) && f.db->addWebsite(b) && f.db->addWebsite(c));
        QString d = QStringLiteral(" http://dup.com ");
        QVERIFY(f.db->deleteWebsite(d));
        QCOMPARE(d, QStringLiteral("dup.com"));
        QCOMPARE(f.rows(QStringLiteral("websites"), QStringLiteral("website")),
                 (QStringList{QStringLiteral("DUP.com"), QStringLiteral("keep.com")}));
        QCOMPARE(f.db->firstWebsite(), std::optional<QString>(QStringLiteral("DUP.com")));

        QString s1 = QStringLiteral("Roofer"), s2 = QStringLiteral("roofer");
        QVERIFY(f.db->addSearch(s1) && f.db->addSearch(s2));
        QString del = QStringLiteral(" ROOFER ");
        QVERIFY(f.db->deleteSearch(del));
        QCOMPARE(f.rows(QStringLiteral("searches"), QStringLiteral("search")),
                 QStringList{QStringLiteral("roofer")});
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
        QVERIFY(f.db->addSearch(keep));
        if (stored.isEmpty()) {
            QString blank = QStringLiteral("   ");
            QVERIFY(f.db->addSearch(blank));
        } else {
            (void)f.db->searches(); // creates the tables
            if (f.schema)
                QVERIFY2(f.schema->exec(stored), qPrintable(f.schema->lastError()));
            else
                runSql(QDir(f.dir.path()).filePath(QStringLiteral("varnel.mdb")), {stored});
        }
        QCOMPARE(f.db->searches().value_or(QStringList()),
                 (QStringList{QStringLiteral("keep"), QString()}));
        QString shown; // as the list shows it
        QVERIFY(f.db->deleteSearch(shown));
        QCOMPARE(f.db->searches().value_or(QStringList()), QStringList{QStringLiteral("keep")});
    }

    void deleteAll_emptiesTheTable()
    {
        Fixture f;
        f.addSites(3);
        QVERIFY(f.db->notePending(QStringLiteral("site0.com")));
        QVERIFY(f.addFax(QStringLiteral("1")));
        QVERIFY(f.db->deleteAllWebsites());
        QCOMPARE(f.db->countWebsites(), std::optional<qint32>(0));
        // The notes of sites taken from the backlog go with it.
        QCOMPARE(f.db->restorePending(), std::optional<int>(0));
        QCOMPARE(f.db->countFaxes(), std::optional<qint32>(1));
        QVERIFY(f.db->deleteAllFaxes());
        QCOMPARE(f.db->countFaxes(), std::optional<qint32>(0));
    }

    // An export that deletes what it wrote: the listed numbers go (as written, letter case
    // counting), one stored since stays. "Is there a site?" follows the backlog.
    void deleteFaxes_onlyThoseListed_anyWebsite()
    {
        Fixture f;
        QVERIFY(f.addFax(QStringLiteral("1-212-555-0100")) && f.addFax(QStringLiteral("x-A")));
        const QStringList exported = {QStringLiteral("1-212-555-0100"), QStringLiteral("x-a")};
        QVERIFY(f.addFax(QStringLiteral("1-212-555-0199"))); // stored after the export read
        QVERIFY(f.db->deleteExportedFaxes(exported));
        QCOMPARE(f.rows(QStringLiteral("faxes"), QStringLiteral("fax")),
                 QStringList({QStringLiteral("x-A"), QStringLiteral("1-212-555-0199")}));

        QCOMPARE(f.db->anyWebsite(), std::optional<bool>(false));
        f.addSites(2);
        QCOMPARE(f.db->anyWebsite(), std::optional<bool>(true));
        QVERIFY(f.db->deleteAllWebsites());
        QCOMPARE(f.db->anyWebsite(), std::optional<bool>(false));
    }

    void pendingNotes_goBackExceptStillQueued()
    {
        Fixture f;
        for (const char *site : {"a.com", "b.com", "a.com", "c.com"})
            QVERIFY(f.db->notePending(QLatin1String(site)));
        QVERIFY(f.db->clearPending(QStringLiteral("c.com")));
        // One note of a.com stays for the a.com still queued.
        QCOMPARE(f.db->restorePending({QStringLiteral("a.com")}), std::optional<int>(2));
        QCOMPARE(f.rows(QStringLiteral("websites"), QStringLiteral("website")),
                 (QStringList{QStringLiteral("b.com"), QStringLiteral("a.com")}));
        QCOMPARE(f.rows(QStringLiteral("pending"), QStringLiteral("website")),
                 QStringList{QStringLiteral("a.com")});
    }

    void missingTable_isCreated()
    {
        if (backend() != kSqlite)
            QSKIP("about the store's file: SQLite only");
        Fixture f;
        {
            QSqlDatabase c =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("pre"));
            c.setDatabaseName(f.db->location());
            QVERIFY(c.open());
            QSqlQuery q(c);
            QVERIFY(q.exec(QStringLiteral("CREATE TABLE faxes (fax TEXT, Date TEXT, website TEXT, "
                                          "search TEXT, location TEXT)")));
            QVERIFY(q.exec(QStringLiteral("INSERT INTO faxes VALUES ('1-800-555-0199', '2020-01-01 "
                                          "00:00:00', 'w', 's', 'l')")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("pre"));
        QString s = QStringLiteral("host");
        QVERIFY(f.db->addWebsite(s));
        QCOMPARE(f.db->countWebsites(), std::optional<qint32>(1));
        QCOMPARE(f.db->countFaxes(), std::optional<qint32>(1));
    }

    // A store that cannot be used: every operation keeps its failure rule, nothing is
    // written to the file, and the user is told once, with the file named.
    void unusableStore_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: the data folder is missing
        QTest::newRow("missing folder") << QByteArray();
        QTest::newRow("some other file")
            << QByteArray("PK\x03\x04 this is a zip archive, not a database");
        QTest::newRow("damaged header") << QByteArray("SQLite format 2\0garbage", 23);
    }
    void unusableStore()
    {
        if (backend() != kSqlite)
            QSKIP("about the store's file: SQLite only");
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
        if (backend() != kSqlite)
            QSKIP("about the store's file: SQLite only");
        TempDataDir dir;
        QFile(dir.file(QStringLiteral("varnel.mdb"))).open(QIODevice::WriteOnly);
        SqliteStore db(dir.path());
        QString s = QStringLiteral("a search");
        QVERIFY(db.addSearch(s));
        QCOMPARE(db.searches(),
                 std::optional<QStringList>(QStringList{QStringLiteral("a search")}));
    }

    // The schema version is read at open: a store of the original three tables is brought
    // up to this version; one written by a newer version is left alone and refused.
    void schemaVersion_data()
    {
        QTest::addColumn<int>("version"); // relative to the backend's own, but for 0
        QTest::addColumn<bool>("usable");
        QTest::newRow("original tables") << 0 << true;
        QTest::newRow("previous version") << -1 << true;
        QTest::newRow("newer version") << 1 << false;
    }
    void schemaVersion()
    {
        QFETCH(int, version);
        QFETCH(bool, usable);
        if (version != 0)
            version +=
                backend() == kPostgres ? PostgresStore::schemaVersion : SqliteStore::schemaVersion;
        if (backend() == kPostgres) {
            schemaVersionOnServer(version, usable);
            return;
        }
        TempDataDir dir;
        const QString file = dir.file(QStringLiteral("varnel.mdb"));
        runSql(file, {QStringLiteral("CREATE TABLE faxes (fax TEXT, Date TEXT, website TEXT, "
                                     "search TEXT, location TEXT)"),
                      QStringLiteral("CREATE TABLE websites (website TEXT, Date TEXT)"),
                      QStringLiteral("CREATE TABLE searches (search TEXT)"),
                      QStringLiteral("INSERT INTO searches VALUES ('kept')"),
                      QStringLiteral("PRAGMA user_version=%1").arg(version)});
        const QByteArray before = fileBytes(file);
        {
            SqliteStore db(dir.path());
            checkOpen(db, usable);
        }
        if (!usable) {
            QCOMPARE(fileBytes(file), before);
            return;
        }
        QCOMPARE(readColumn(file, QStringLiteral("PRAGMA user_version")),
                 QStringList{QString::number(SqliteStore::schemaVersion)});
    }

    // A writer killed at random moments leaves a store that opens (a file that passes the
    // integrity check) and holds every row it had reported as stored, each one whole.
    void killedWriter_leavesWholeRows()
    {
        Fixture f;
        const QString location = f.schema ? f.schema->uri() : f.dir.path();
        const QString whole =
            QStringLiteral(
                "SELECT count(*) FROM faxes WHERE fax LIKE '1-212-%' AND %1 AND website = "
                "'example.com/contact.htm' AND search = 'plumber new york' AND location LIKE 'NY  "
                "%'")
                .arg(f.schema ? QStringLiteral("date IS NOT NULL")
                              : QStringLiteral("length(Date) = 19"));
        auto *rng = QRandomGenerator::global();
        int reported = 0; // rows the writers said were stored, over all rounds
        for (int round = 0; round < 4; ++round) {
            QProcess writer;
            writer.start(QStringLiteral(STORE_WRITER), {location, QString::number(reported + 1)});
            QVERIFY(writer.waitForStarted());
            QTest::qWait(100 + int(rng->bounded(400)));
            writer.kill();
            writer.waitForFinished();
            const QList<QByteArray> lines = writer.readAllStandardOutput().split('\n');
            for (const QByteArray &l : lines)
                reported += l.isEmpty() ? 0 : 1;

            int rows = 0;
            if (f.schema) {
                // Both counts in one snapshot: the server may still commit the row that was in
                // flight when its client was killed.
                const QStringList counts =
                    f.schema
                        ->column(QStringLiteral("SELECT (SELECT count(*) FROM faxes) || ' ' || (") +
                                 whole + QLatin1Char(')'))
                        .value(0)
                        .split(QLatin1Char(' '));
                rows = counts.value(0).toInt();
                QCOMPARE(counts.value(1).toInt(), rows); // every row whole
            } else {
                const QString path = QDir(f.dir.path()).filePath(QStringLiteral("varnel.mdb"));
                QCOMPARE(readColumn(path, QStringLiteral("PRAGMA integrity_check")),
                         QStringList{QStringLiteral("ok")});
                rows =
                    readColumn(path, QStringLiteral("SELECT count(*) FROM faxes")).value(0).toInt();
                QCOMPARE(readColumn(path, whole).value(0).toInt(), rows);
            }
            QVERIFY2(rows >= reported,
                     qPrintable(QStringLiteral("%1 rows, %2 reported").arg(rows).arg(reported)));
            QVERIFY(rows <= reported + 1); // at most the row in flight
            reported = rows;
        }
    }

    // A program that holds the file open with a second store beside the first (the numbers
    // window) keeps its locks: other programs that write meanwhile neither delete its
    // write-ahead log nor see their own rows written over, whether it then ends normally or
    // is killed.
    void secondStoreOnTheFile_keepsEveryWrite_data()
    {
        QTest::addColumn<bool>("killed");
        QTest::newRow("holder closes") << false;
        QTest::newRow("holder is killed") << true;
    }
    void secondStoreOnTheFile_keepsEveryWrite()
    {
        if (backend() != kSqlite)
            QSKIP("about the locks on the store's file: SQLite only");
        QFETCH(bool, killed);
        TempDataDir dir;
        QProcess holder;
        holder.start(QStringLiteral(STORE_WRITER),
                     {QStringLiteral("--beside"), dir.path(), QStringLiteral("1")});
        QByteArray out; // what the holder printed so far
        auto waitFor = [&holder, &out](const QByteArray &word) {
            for (int i = 0; i < 300 && !out.contains(word); ++i) {
                holder.waitForReadyRead(100);
                out += holder.readAllStandardOutput();
            }
            return out.contains(word);
        };
        QVERIFY(waitFor("ready"));
        // Two other programs, each after a write of the holder: the first ends while the
        // holder is open; the second writes where the holder has written since.
        for (const char *first : {"100", "200"}) {
            QProcess writer;
            writer.start(QStringLiteral(STORE_WRITER),
                         {dir.path(), QLatin1String(first), QStringLiteral("5")});
            QVERIFY(writer.waitForFinished(30000));
            QCOMPARE(writer.exitCode(), 0);
            holder.write("\n");
            QVERIFY(waitFor(first[0] == '1' ? "\n3\n" : "\n4\n"));
        }
        if (killed)
            holder.kill();
        else
            holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(30000));
        if (!killed)
            QCOMPARE(holder.exitCode(), 0);

        const QString path = QDir(dir.path()).filePath(QStringLiteral("varnel.mdb"));
        QCOMPARE(readColumn(path, QStringLiteral("PRAGMA integrity_check")),
                 QStringList{QStringLiteral("ok")});
        QStringList expected;
        for (int i : {1, 2, 3, 4, 100, 101, 102, 103, 104, 200, 201, 202, 203, 204})
            expected << QStringLiteral("1-212-%1").arg(i, 7, 10, QLatin1Char('0'));
        QCOMPARE(readColumn(path, QStringLiteral("SELECT fax FROM faxes ORDER BY fax")), expected);
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
