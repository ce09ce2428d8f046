// Cost of the store operations a harvest calls for every link, number and dispatch, at
// three table sizes, on the SQLite file and (given a server address) on PostgreSQL in the
// same run: AddWebsite + WebsiteExists (a new site), FaxExists (half known, half unknown),
// AddFax (a new number), CountWebsites, the head load (NewestWebsites 20) and the refill
// (FirstWebsite + DeleteWebsite). Prints the median and 90th percentile per operation and the
// ratio of the largest size to the smallest.
//
// Usage: bench_store [max-rows [postgresql://...]]   (default 1000000; run.sh starts a
// throwaway server and passes its address)
#include "postgresstore.h"
#include "sqlitestore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>
#include <QUrlQuery>
#include <QUuid>
#include <QVariant>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const char *const kOps[] = {"add+exists site", "fax exists",        "add fax",  "count sites",
                            "head load (20)",  "first+delete site", "any site", "take site"};
constexpr int kOpCount = 8;

void prefillFile(const QString &path, int rows)
{
    const QString name = QStringLiteral("fill");
    {
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        c.setDatabaseName(path);
        c.open();
        c.transaction();
        QSqlQuery w(c), f(c);
        w.prepare(QStringLiteral("INSERT INTO websites (website, Date) VALUES (?, ?)"));
        f.prepare(QStringLiteral(
            "INSERT INTO faxes (fax, Date, website, search, location) VALUES (?, ?, ?, ?, ?)"));
        const QDateTime start(QDate(2026, 1, 1), QTime(0, 0));
        for (int i = 0; i < rows; ++i) {
            const QString date = start.addSecs(i).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            w.addBindValue(QStringLiteral("www.site%1.com/page%2.htm").arg(i).arg(i % 97));
            w.addBindValue(date);
            w.exec();
            f.addBindValue(QStringLiteral("1-%1").arg(i, 10, 10, QLatin1Char('0')));
            f.addBindValue(date);
            f.addBindValue(QStringLiteral("site%1.com/contact.htm").arg(i));
            f.addBindValue(QStringLiteral("plumber new york"));
            f.addBindValue(QStringLiteral("NY  New York City "));
            f.exec();
        }
        c.commit();
    }
    QSqlDatabase::removeDatabase(name);
}

// Runs the statements in order on a connection of the benchmark's own to the server.
bool runOnServer(const QString &uri, const QStringList &statements)
{
    const QUrl url(uri);
    const QString name = QStringLiteral("admin");
    bool ok = false;
    {
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        c.setHostName(url.host());
        c.setPort(url.port());
        c.setUserName(url.userName());
        c.setDatabaseName(url.path().mid(1));
        ok = c.open();
        QSqlQuery q(c);
        for (const QString &sql :
             QStringList{QStringLiteral("SET client_min_messages = warning")} + statements) {
            if (ok && !q.exec(sql)) {
                std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
                ok = false;
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

// The same rows on the server, made by the server itself (a million round trips would take
// minutes); the count triggers see them as any insert.
bool prefillServer(const QString &uri, const QString &schema, int rows)
{
    return runOnServer(
        uri, {QStringLiteral("SET search_path = %1").arg(schema),
              QStringLiteral(
                  "INSERT INTO websites (website, date) SELECT 'www.site' || i || '.com/page' || "
                  "(i % 97) || '.htm', timestamp '2026-01-01' + i * interval '1 second' "
                  "FROM generate_series(0, %1) i")
                  .arg(rows - 1),
              QStringLiteral(
                  "INSERT INTO faxes (fax, date, website, search, location) SELECT '1-' || "
                  "lpad(i::text, 10, '0'), timestamp '2026-01-01' + i * interval '1 second', "
                  "'site' || i || '.com/contact.htm', 'plumber new york', 'NY  New York City ' "
                  "FROM generate_series(0, %1) i")
                  .arg(rows - 1),
              QStringLiteral("VACUUM ANALYZE websites"), QStringLiteral("VACUUM ANALYZE faxes")});
}

struct Figures
{
    double median = 0;
    double p90 = 0;
};

Figures stats(std::vector<qint64> ns)
{
    std::sort(ns.begin(), ns.end());
    return {ns[ns.size() / 2] / 1000.0, ns[ns.size() * 9 / 10] / 1000.0};
}

// Every operation, ops times, on a store that holds rows rows.
std::vector<Figures> measure(Store &db, int rows, int ops)
{
    auto *rng = QRandomGenerator::global();
    std::vector<std::vector<qint64>> ns(kOpCount);
    QElapsedTimer t;
    for (int i = 0; i < ops; ++i) {
        QString s = QStringLiteral("new%1.example.net/x.htm").arg(i);
        t.start();
        if (!db.websiteExists(s).value_or(true))
            (void)db.addWebsite(s);
        ns[0].push_back(t.nsecsElapsed());

        const int n = int(rng->bounded(rows * 2)); // half of them stored
        QString number = QStringLiteral("1-%1").arg(n, 10, 10, QLatin1Char('0'));
        t.start();
        (void)db.faxExists(number);
        ns[1].push_back(t.nsecsElapsed());

        FaxRow row;
        row.fax = QStringLiteral("2-%1").arg(i, 10, 10, QLatin1Char('0'));
        row.website = QStringLiteral("site.com/contact.htm");
        row.search = QStringLiteral("plumber new york");
        t.start();
        (void)db.addFax(row);
        ns[2].push_back(t.nsecsElapsed());

        t.start();
        (void)db.newestWebsites(20);
        ns[4].push_back(t.nsecsElapsed());

        t.start();
        QString first = db.firstWebsite().value_or(QString());
        (void)db.deleteWebsite(first);
        ns[5].push_back(t.nsecsElapsed());

        // What a dispatch asks, and how it takes its next site (noted, out of the backlog).
        t.start();
        (void)db.anyWebsite();
        ns[6].push_back(t.nsecsElapsed());

        t.start();
        const QStringList taken = db.takeSites(1, Store::TakeOrder::First).value_or(QStringList());
        ns[7].push_back(t.nsecsElapsed());
        for (const QString &site : taken)
            (void)db.clearPending(site);
    }
    // Apart, so that a count that walks the table does not slow the others down through the
    // cache it evicts; fewer of them, as a walk of a million rows takes a while.
    for (int i = 0; i < ops / 10; ++i) {
        t.start();
        (void)db.countWebsites();
        ns[3].push_back(t.nsecsElapsed());
    }
    std::vector<Figures> out;
    for (const auto &v : ns)
        out.push_back(stats(v));
    return out;
}

void printRow(const char *backend, int rows, const std::vector<Figures> &f)
{
    std::printf("%-10s %9d", backend, rows);
    for (const Figures &x : f)
        std::printf(" %8.1f %8.1f", x.median, x.p90);
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int maxRows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const QString server = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const int ops = 2000;
    const std::vector<int> sizes{1000, 100000, maxRows};
    std::printf("microseconds per operation, median and p90\n%-10s %9s", "backend", "rows");
    for (const char *op : kOps)
        std::printf(" %17s", op);
    std::printf("\n");
    std::vector<Figures> first[2], last[2];
    for (size_t k = 0; k < sizes.size(); ++k) {
        const int rows = sizes[k];
        {
            QTemporaryDir dir;
            {
                SqliteStore db(dir.path());
                (void)db.countFaxes(); // creates the file and its tables
            }
            prefillFile(QDir(dir.path()).filePath(QStringLiteral("varnel.mdb")), rows);
            SqliteStore db(dir.path());
            const std::vector<Figures> f = measure(db, rows, ops);
            printRow("sqlite", rows, f);
            (k == 0 ? first[0] : last[0]) = f;
        }
        if (server.isEmpty())
            continue;
        const QString schema =
            QStringLiteral("bench_") + QUuid::createUuid().toString(QUuid::Id128).left(12);
        if (!runOnServer(server, {QStringLiteral("CREATE SCHEMA %1").arg(schema)}))
            return 1;
        const QString uri =
            server +
            (server.contains(QLatin1Char('?')) ? QStringLiteral("&") : QStringLiteral("?")) +
            QStringLiteral("options=-csearch_path%3D") + schema;
        {
            PostgresStore db(uri);
            if (!db.isUsable()) {
                std::fprintf(stderr, "%s\n", qPrintable(db.lastError()));
                return 1;
            }
        }
        if (!prefillServer(server, schema, rows))
            return 1;
        {
            PostgresStore db(uri);
            const std::vector<Figures> f = measure(db, rows, ops);
            printRow("postgresql", rows, f);
            (k == 0 ? first[1] : last[1]) = f;
        }
        runOnServer(server, {QStringLiteral("DROP SCHEMA %1 CASCADE").arg(schema)});
    }
    for (int b = 0; b < (server.isEmpty() ? 1 : 2); ++b) {
        std::printf("ratio %d rows / %d rows (median), %s:", sizes.back(), sizes.front(),
                    b == 0 ? "sqlite" : "postgresql");
        for (int op = 0; op < kOpCount; ++op)
            std::printf(" %s %.2f;", kOps[op], last[b][op].median / first[b][op].median);
        std::printf("\n");
    }
    return 0;
}
