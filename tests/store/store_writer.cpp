// Appends numbers to a store (a data directory or a server address) until it is killed,
// starting at the number given, printing the number of each row after its write has
// returned. The kill test reads that output.
#include "openstore.h"
#include "store.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const std::unique_ptr<Store> db = StoreLocation::open(QString::fromLocal8Bit(argv[1]));
    for (int i = std::atoi(argv[2]);; ++i) {
        FaxRow row;
        row.fax = QStringLiteral("1-212-%1").arg(i, 7, 10, QLatin1Char('0'));
        row.website = QStringLiteral("example.com/contact.htm");
        row.search = QStringLiteral("plumber new york");
        row.location = QStringLiteral("NY  New York City, New York (Manhattan; see 646, 718) ");
        if (!db->addFax(row))
            return 1;
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
}
