// Writes numbers into a store (a data directory or a server address), printing the number of
// each row after its write has returned. The kill test reads that output.
//
//   store_writer LOCATION FIRST           appends from FIRST on until it is killed
//   store_writer LOCATION FIRST COUNT     appends COUNT rows, then ends normally
//   store_writer --beside LOCATION FIRST  holds the store open with a second store beside it on
//                                         the same file, as the numbers window does: one row
//                                         through each, "ready"; then one row for each line on
//                                         standard input, through each store in turn; it ends
//                                         normally at the end of the input
#include "openstore.h"
#include "store.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>

namespace {

bool add(Store &db, int i)
{
    FaxRow row;
    row.fax = QStringLiteral("1-212-%1").arg(i, 7, 10, QLatin1Char('0'));
    row.website = QStringLiteral("example.com/contact.htm");
    row.search = QStringLiteral("plumber new york");
    row.location = QStringLiteral("NY  New York City, New York (Manhattan; see 646, 718) ");
    if (!db.addFax(row))
        return false;
    std::printf("%d\n", i);
    std::fflush(stdout);
    return true;
}

void say(const char *word)
{
    std::printf("%s\n", word);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc >= 4 && std::strcmp(argv[1], "--beside") == 0) {
        const std::unique_ptr<Store> first = StoreLocation::open(QString::fromLocal8Bit(argv[2]));
        const int n = std::atoi(argv[3]);
        if (!add(*first, n))
            return 1;
        const std::unique_ptr<Store> second = first->openAnother();
        if (!second || !add(*second, n + 1))
            return 1;
        say("ready");
        char line[64];
        for (int i = n + 2; std::fgets(line, sizeof line, stdin); ++i) {
            if (!add(i % 2 ? *second : *first, i))
                return 1;
        }
        return 0;
    }
    if (argc < 3)
        return 2;
    const std::unique_ptr<Store> db = StoreLocation::open(QString::fromLocal8Bit(argv[1]));
    const int count = argc > 3 ? std::atoi(argv[3]) : -1;
    for (int i = std::atoi(argv[2]); count < 0 || i < std::atoi(argv[2]) + count; ++i) {
        if (!add(*db, i))
            return 1;
    }
    return 0;
}
