// Appends numbers to the store of a data directory until it is killed, printing the
// number of each row after its AddFax has returned. The kill test reads that output.
#include "moddatabase.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    modDatabase db(QString::fromLocal8Bit(argv[1]));
    for (int i = 0;; ++i) {
        QString number = QStringLiteral("1-212-555-%1").arg(i, 4, 10, QLatin1Char('0'));
        QString search = QStringLiteral("plumber new york");
        db.AddFax(number, QStringLiteral("example.com/contact.htm"), search,
                  QStringLiteral("NY  New York City, New York (Manhattan; see 646, 718) "));
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
}
