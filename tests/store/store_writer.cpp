// Appends numbers to the store of a data directory until it is killed, printing the
// number of each row after its write has returned. The kill test reads that output.
#include "sqlitestore.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    SqliteStore db(QString::fromLocal8Bit(argv[1]));
    for (int i = 0;; ++i) {
        FaxRow row;
        row.fax = QStringLiteral("1-212-555-%1").arg(i, 4, 10, QLatin1Char('0'));
        row.website = QStringLiteral("example.com/contact.htm");
        row.search = QStringLiteral("plumber new york");
        row.location = QStringLiteral("NY  New York City, New York (Manhattan; see 646, 718) ");
        if (!db.addFax(row))
            return 1;
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
}
