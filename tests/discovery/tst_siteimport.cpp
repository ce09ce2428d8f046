#include "siteimport.h"
#include "sqlitestore.h"
#include "storetestkit.h"

#include <QTest>

// Reading a file of sites: plain lists and CSV exports, normalised as the store
// normalises a site, with the lines that are no site reported by number.
class TestSiteImport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("sites");
        QTest::addColumn<QStringList>("rejected"); // "line:text"
        QTest::addColumn<int>("repeated");
        QTest::addColumn<int>("blank");
        QTest::addColumn<QString>("column");

        QTest::newRow("list")
            << QByteArray(
                   "example.com\nhttp://www.shop.co.uk/contact\n\n# from the directory\n"
                   "HTTPS://Example.com\n  not a site  \nuser@mail.example.com\nwww.plumber.de\n")
            << QStringList{"example.com", "www.shop.co.uk/contact", "www.plumber.de"}
            << QStringList{"6:not a site", "7:user@mail.example.com"} << 1 << 2 << "";
        QTest::newRow("csv with quotes")
            << QByteArray("Name,Website,Phone\n\"Acme, Inc.\",www.acme.com,555-0100\n"
                          "Bolt Ltd,,555-0101\n\"Carr \"\"the\"\" "
                          "Roofer\",\"https://carr-roofing.com/\",\n"
                          "Dell,n/a,555-0102\n")
            << QStringList{"www.acme.com", "carr-roofing.com/"}
            << QStringList{"5:Dell,n/a,555-0102"} << 0 << 1 << "Website";
        QTest::newRow("semicolons, url column")
            << QByteArray("id;URL\n1;http://a.example.org\n2;b.example.net:8080/x\n")
            << QStringList{"a.example.org", "b.example.net:8080/x"} << QStringList{} << 0 << 0
            << "URL";
        QTest::newRow("tabs, domain column")
            << QByteArray("domain\tcity\nplumbing.com.au\tSydney\n")
            << QStringList{"plumbing.com.au"} << QStringList{} << 0 << 0 << "domain";
        QTest::newRow("one column named site")
            << QByteArray("site\r\nexample.com\r\n") << QStringList{"example.com"} << QStringList{}
            << 0 << 0 << "site";
        QTest::newRow("line break inside a quoted field")
            << QByteArray("name,website\n\"two\nlines\",two.example.com\nthree,\"no site\"\n")
            << QStringList{"two.example.com"} << QStringList{"4:three,\"no site\""} << 0 << 0
            << "website";
        QTest::newRow("byte order mark and CR LF")
            << QByteArray("\xEF\xBB\xBFwebsite,x\r\nwww.a.com,1\r\n") << QStringList{"www.a.com"}
            << QStringList{} << 0 << 0 << "website";
        QTest::newRow("latin-1 bytes")
            << QByteArray("www.caf\xe9.fr\nnot\xa0site\n")
            << QStringList{QString::fromUtf8("www.caf\u00e9.fr")}
            << QStringList{QString::fromUtf8("2:not\u00a0site")} << 0 << 0 << "";
        QTest::newRow("empty file")
            << QByteArray() << QStringList{} << QStringList{} << 0 << 0 << "";
    }

    void parse()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, sites);
        QFETCH(QStringList, rejected);
        QFETCH(int, repeated);
        QFETCH(int, blank);
        QFETCH(QString, column);
        const SiteImport::Result r = SiteImport::parse(file);
        QCOMPARE(r.sites, sites);
        QStringList got;
        for (const SiteImport::Rejected &x : r.rejected)
            got << QString::number(x.line) + QLatin1Char(':') + x.text;
        QCOMPARE(got, rejected);
        QCOMPARE(r.repeated, repeated);
        QCOMPARE(r.blank, blank);
        QCOMPARE(r.column, column);
    }

    // The entries are what the store would make of them.
    void normalisedAsTheStore()
    {
        for (const char *entry :
             {"HTTP://www.x.com", "  https://a.com/dir ", "http://https://b.org"}) {
            const SiteImport::Result r = SiteImport::parse(QByteArray(entry));
            QCOMPARE(r.sites, QStringList{Store::normalizeSite(QLatin1String(entry))});
        }
    }

    void isSite_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("site");
        QTest::newRow("name") << "example.com" << true;
        QTest::newRow("path and port") << "www.example.com:8080/a/b?c=1" << true;
        QTest::newRow("unicode") << QString::fromUtf8("b\u00fccher.de") << true;
        QTest::newRow("punycode ending") << "example.xn--p1ai" << true;
        QTest::newRow("one label") << "localhost" << false;
        QTest::newRow("one-letter ending") << "example.c" << false;
        QTest::newRow("digit ending") << "10.0.0.1" << false;
        QTest::newRow("hyphen first") << "-bad.example.com" << false;
        QTest::newRow("empty label") << "a..example.com" << false;
        QTest::newRow("space") << "exa mple.com" << false;
        QTest::newRow("bad port") << "example.com:99999" << false;
        QTest::newRow("mail address") << "me@example.com" << false;
    }

    void isSite()
    {
        QFETCH(QString, entry);
        QFETCH(bool, site);
        QCOMPARE(SiteImport::isSite(entry), site);
    }
};

QTEST_GUILESS_MAIN(TestSiteImport)
#include "tst_siteimport.moc"
