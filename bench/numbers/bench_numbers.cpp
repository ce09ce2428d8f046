// The numbers window against table size: the time until its first rows are shown (the
// window opened on the store and its table painted), until its choices and counts are read
// too, and the time of one sort (the "Search String" header clicked and the sorted first rows
// painted), at
// 1,000 and 1,000,000 stored numbers. Beside it, in the same run, the sqlite3 program reads
// the same first rows and the same sorted first rows from the same file: the floor of what
// any window over this file can do. Prints medians of five runs and the ratios.
//
// Usage: bench_numbers [max-rows] (default 1000000). Runs on the offscreen platform unless
// QT_QPA_PLATFORM says otherwise; needs the sqlite3 program for the peer column.

#include "numbersmodel.h"
#include "numberswindow.h"
#include "sqlitestore.h"
#include "windowowner.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QVariant>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const char *const kSearches[] = {
    "plumber new york", "dentist chicago", "florist miami",  "lawyer boston",
    "roofer dallas",    "bakery seattle",  "printer denver", "architect austin",
};
const char *const kRegions[] = {
    "NY New York City", "IL Chicago",           "FL Miami", "MA Boston", "TX Dallas",
    "WA Seattle",       "Unknown/International"};
const char *const kHows[] = {"fax line", "table cell", "structured data", "other language"};

void prefill(const QString &path, int rows)
{
    const QString name = QStringLiteral("fill");
    {
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        c.setDatabaseName(path);
        c.open();
        c.transaction();
        QSqlQuery f(c);
        f.prepare(
            QStringLiteral("INSERT INTO faxes (fax, Date, website, search, location, e164, "
                           "country, label, how, context) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        quint32 seed = 12345;
        for (int i = 0; i < rows; ++i) {
            seed = seed * 1103515245u + 12345u;
            const quint32 r = seed >> 8;
            const qint64 n = 2000000000LL + qint64(r % 7999999999u);
            const QString digits = QString::number(n);
            // About 90 days of harvesting, in stored order.
            const qint64 second = qint64(i) * 90 * 86400 / std::max(rows, 1);
            const QDateTime when = QDateTime(QDate(2026, 1, 1), QTime(0, 0)).addSecs(second);
            f.addBindValue(
                QStringLiteral("1-%1-%2-%3").arg(digits.left(3), digits.mid(3, 3), digits.mid(6)));
            f.addBindValue(when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
            f.addBindValue(QStringLiteral("www.site%1.com/contact.htm").arg(i / 3));
            f.addBindValue(QLatin1String(kSearches[r % 8]));
            f.addBindValue(QLatin1String(kRegions[(r >> 3) % 7]));
            f.addBindValue(QStringLiteral("+1") + digits);
            f.addBindValue(QStringLiteral("US"));
            f.addBindValue(QStringLiteral("Fax:"));
            f.addBindValue(QLatin1String(kHows[(r >> 6) % 4]));
            f.addBindValue(QStringLiteral("Phone 555 0100 Fax: %1").arg(digits));
            f.exec();
        }
        c.commit();
    }
    QSqlDatabase::removeDatabase(name);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Milliseconds the sqlite3 program takes for the statements (start-up included, as it is for
// the window's measurement too), or -1 without the program.
double peer(const QString &sqlite3, const QString &db, const QString &sql)
{
    if (sqlite3.isEmpty())
        return -1;
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(sqlite3, {db, sql});
    p.waitForFinished(-1);
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const int maxRows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const QString sqlite3 = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    const int runs = 5;
    const QString columns = QStringLiteral(
        "rowid, fax, Date, website, search, location, e164, country, label, how, context");
    std::printf("%10s %14s %14s %14s %14s %14s %10s %10s\n", "rows", "first rows ms", "counts ms",
                "sqlite3 ms", "sort ms", "sqlite3 ms", "rows/peer", "sort/peer");
    for (int rows : {1000, maxRows}) {
        QTemporaryDir dir;
        const QString dbPath = QDir(dir.path()).filePath(QStringLiteral("varnel.mdb"));
        {
            SqliteStore db(dir.path());
            (void)db.countFaxes(); // creates the file and its tables
        }
        prefill(dbPath, rows);
        std::vector<double> open, counts, sort, peerOpen, peerSort;
        for (int run = 0; run < runs; ++run) {
            SqliteStore store(dir.path());
            QElapsedTimer t;
            t.start();
            WindowOwner windows(dir.path());
            NumbersWindow *w = windows.openNumbers(&store);
            auto *table = w->findChild<QTableView *>(QStringLiteral("numbersTable"));
            auto *searchCombo = w->findChild<QComboBox *>(QStringLiteral("searchCombo"));
            // Painting the table reads the rows it shows.
            (void)table->viewport()->grab();
            const QModelIndex first = w->model()->index(0, 0);
            if (!table->visualRect(first).isValid() || w->model()->data(first).isNull())
                std::fprintf(stderr, "bench_numbers: the first row was not shown\n");
            open.push_back(t.nsecsElapsed() / 1e6);
            while (searchCombo->count() < 2)
                QApplication::processEvents();
            counts.push_back(t.nsecsElapsed() / 1e6);

            t.start();
            table->horizontalHeader()->setSortIndicator(NumbersModel::Search, Qt::AscendingOrder);
            (void)table->viewport()->grab();
            sort.push_back(t.nsecsElapsed() / 1e6);
            windows.closeNumbers();

            peerOpen.push_back(peer(sqlite3, dbPath,
                                    QStringLiteral("SELECT count(*) FROM faxes; SELECT %1 FROM "
                                                   "faxes ORDER BY rowid LIMIT 256;")
                                        .arg(columns)));
            peerSort.push_back(peer(sqlite3, dbPath,
                                    QStringLiteral("SELECT %1 FROM faxes ORDER BY search, rowid "
                                                   "LIMIT 256;")
                                        .arg(columns)));
        }
        const double o = median(open), c = median(counts), s = median(sort), po = median(peerOpen),
                     ps = median(peerSort);
        std::printf("%10d %14.1f %14.1f %14.1f %14.1f %14.1f %10.2f %10.2f\n", rows, o, c, po, s,
                    ps, po > 0 ? o / po : 0.0, ps > 0 ? s / ps : 0.0);
        std::fflush(stdout);
    }
    return 0;
}
