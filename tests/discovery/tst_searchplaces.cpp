#include "searchplaces.h"

#include <QTest>

// A list of places, one a line, and the searches a search string makes with it.
class TestSearchPlaces : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("places");
        QTest::addColumn<int>("repeated");

        QTest::newRow("towns, postal codes, districts")
            << QByteArray("Springfield\n62704\n  Shelbyville  \n\n# the county seat next\n"
                          "North   Haverbrook\r\nspringfield\nSPRINGFIELD IL\n")
            << QStringList{"Springfield", "62704", "Shelbyville", "North Haverbrook",
                           "SPRINGFIELD IL"}
            << 1;
        QTest::newRow("UTF-8 with a byte order mark")
            << QByteArray("\xEF\xBB\xBF"
                          "K\xC3\xB6ln\nM\xC3\xBCnchen\nk\xC3\xB6ln\n")
            << QStringList{QString::fromUtf8("K\u00f6ln"), QString::fromUtf8("M\u00fcnchen")} << 1;
        QTest::newRow("latin-1 bytes")
            << QByteArray("Z\xfcrich\n") << QStringList{QString::fromUtf8("Z\u00fcrich")} << 0;
        QTest::newRow("blank lines and comments only")
            << QByteArray("\n  \n# none yet\n") << QStringList{} << 0;
    }

    void parse()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, places);
        QFETCH(int, repeated);
        const SearchPlaces::Result read = SearchPlaces::parse(file);
        QCOMPARE(read.places, places);
        QCOMPARE(read.repeated, repeated);
        QVERIFY(read.error.isEmpty());
    }

    // A list too long to be one is refused whole, with the reason, rather than cut.
    void parse_tooLong_refused()
    {
        QByteArray file;
        for (int i = 0; i <= SearchPlaces::MaxPlaces; ++i)
            file += QByteArray::number(10000 + i) + '\n';
        SearchPlaces::Result read = SearchPlaces::parse(file);
        QVERIFY(read.places.isEmpty());
        QVERIFY2(read.error.contains(QLatin1String("more than 10000 places")),
                 qPrintable(read.error));

        read = SearchPlaces::parse(QByteArray(SearchPlaces::MaxFileBytes + 1, 'a'));
        QVERIFY(read.places.isEmpty());
        QVERIFY2(read.error.contains(QLatin1String("more than 1 MiB")), qPrintable(read.error));
    }

    void combine()
    {
        QCOMPARE(SearchPlaces::combine(QStringLiteral("  plumber   supply "),
                                       {QStringLiteral("Springfield"), QStringLiteral("62704")}),
                 (QStringList{QStringLiteral("plumber supply Springfield"),
                              QStringLiteral("plumber supply 62704")}));
        QCOMPARE(SearchPlaces::combine(QStringLiteral("plumber"), {}), QStringList{});
    }
};

QTEST_GUILESS_MAIN(TestSearchPlaces)
#include "tst_searchplaces.moc"
