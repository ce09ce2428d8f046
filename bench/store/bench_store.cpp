// Cost of the store operations the crawl calls for every link and number, at three table
// sizes: AddWebsite + WebsiteExists (a new site) and FaxExists (half known, half unknown).
// Prints the median and 90th percentile per operation and the ratio of the largest size to
// the smallest. Usage: bench_store [max-rows] (default 1000000).
#include "sqlitestore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void prefill(const QString &path, int rows)
{
    const QString name = QStringLiteral("fill");
    {
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        c.setDatabaseName(path);
        c.open();
        c.transaction();
        QSqlQuery w(c), f(c);
        w.prepare(QStringLiteral("INSERT INTO websites (website, Date) VALUES (?, ?)"));
        f.prepare(QStringLiteral("INSERT INTO faxes (fax, Date, website, search, location) VALUES (?, ?, ?, ?, ?)"));
        for (int i = 0; i < rows; ++i) {
            const QString date = QStringLiteral("2026-01-01 %1:%2:%3")
                                     .arg((i / 3600) % 24, 2, 10, QLatin1Char('0'))
                                     .arg((i / 60) % 60, 2, 10, QLatin1Char('0'))
                                     .arg(i % 60, 2, 10, QLatin1Char('0'));
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

struct Figures
{
    double median;
    double p90;
};

Figures stats(std::vector<qint64> ns)
{
    std::sort(ns.begin(), ns.end());
    return {ns[ns.size() / 2] / 1000.0, ns[ns.size() * 9 / 10] / 1000.0};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int maxRows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int ops = 3000;
    std::vector<int> sizes{1000, 100000, maxRows};
    std::printf("%10s %28s %28s\n", "rows", "AddWebsite+WebsiteExists us", "FaxExists us");
    std::printf("%10s %14s %13s %14s %13s\n", "", "median", "p90", "median", "p90");
    Figures first[2] = {};
    Figures last[2] = {};
    for (size_t k = 0; k < sizes.size(); ++k) {
        const int rows = sizes[k];
        QTemporaryDir dir;
        {
            SqliteStore db(dir.path());
            (void)db.countFaxes(); // creates the file and its tables
        }
        prefill(QDir(dir.path()).filePath(QStringLiteral("varnel.mdb")), rows);
        SqliteStore db(dir.path());
        auto *rng = QRandomGenerator::global();
        std::vector<qint64> site, fax;
        QElapsedTimer t;
        for (int i = 0; i < ops; ++i) {
            QString s = QStringLiteral("new%1.example.net/x.htm").arg(i);
            t.start();
            if (!db.websiteExists(s).value_or(true))
                (void)db.addWebsite(s);
            site.push_back(t.nsecsElapsed());

            const int n = int(rng->bounded(rows * 2)); // half of them stored
            QString number = QStringLiteral("1-%1").arg(n, 10, 10, QLatin1Char('0'));
            t.start();
            (void)db.faxExists(number);
            fax.push_back(t.nsecsElapsed());
        }
        const Figures a = stats(site), b = stats(fax);
        std::printf("%10d %14.1f %13.1f %14.1f %13.1f\n", rows, a.median, a.p90, b.median, b.p90);
        std::fflush(stdout);
        if (k == 0) {
            first[0] = a;
            first[1] = b;
        }
        last[0] = a;
        last[1] = b;
    }
    std::printf("ratio largest/smallest (median): AddWebsite+WebsiteExists %.2f, FaxExists %.2f\n",
                last[0].median / first[0].median, last[1].median / first[1].median);
    return 0;
}
