// Names the crawl gives out: the page files of each slot and the User-Agent.

#include "pagefiles.h"
#include "useragent.h"
#include "varnel_version.h"

#include <QFileInfo>
#include <QSet>
#include <QtTest>

namespace {
QString first(int slot)
{
    return QFileInfo(pageFile1(QStringLiteral("/d"), slot)).fileName();
}
QString second(int slot)
{
    return QFileInfo(pageFile2(QStringLiteral("/d"), slot)).fileName();
}
} // namespace

class TestCrawlNames : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void firstTenSlotsKeepTheirNames()
    {
        for (int slot = 0; slot <= 9; ++slot) {
            QCOMPARE(first(slot), QStringLiteral("html%1.txt").arg(slot));
            QCOMPARE(second(slot), QStringLiteral("html2%1.txt").arg(slot));
        }
        QCOMPARE(first(10), QStringLiteral("html-10.txt"));
        QCOMPARE(second(20), QStringLiteral("html2-20.txt"));
        QCOMPARE(pageFile1(QStringLiteral("/d"), 3), QStringLiteral("/d/html3.txt"));
    }

    void noTwoSlotsShareAFile()
    {
        QSet<QString> names;
        for (int slot = 0; slot < 100; ++slot) {
            names.insert(first(slot));
            names.insert(second(slot));
        }
        QCOMPARE(names.size(), 200);
    }

    void defaultUserAgentNamesTheProgram()
    {
        const QByteArray ua = UserAgent::defaultText();
        QVERIFY(ua.startsWith("Mozilla/5.0 (compatible; "));
        QVERIFY(ua.contains(UserAgent::defaultProductToken() + '/' + VARNEL_VERSION));
        QVERIFY(ua.contains("+" VARNEL_WEBSITE));
        QVERIFY(ua.endsWith(')'));
        QCOMPARE(UserAgent::text("Quorvex Fax Varnel", "2.0.0", "http://www.quorvex.example/"),
                 QByteArray("Mozilla/5.0 (compatible; QuorvexFaxVarnel/2.0.0; "
                            "+http://www.quorvex.example/)"));
        // Whatever the build's settings, the header stays one well-formed line.
        QCOMPARE(UserAgent::text("A (b); c\r\n", "1.0\r\nX: y", "http://h/(x);\r\nEvil: 1"),
                 QByteArray("Mozilla/5.0 (compatible; Abc/1.0Xy; +http://h/xEvil:1)"));
    }

    void userTextCannotBreakTheHeader_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("kept") << QStringLiteral(" MyCrawler/1.0 (+mail@x.example) ")
                              << QByteArray("MyCrawler/1.0 (+mail@x.example)");
        QTest::newRow("line breaks dropped")
            << QStringLiteral("a\r\nX-Injected: 1") << QByteArray("aX-Injected: 1");
        QTest::newRow("non-ASCII dropped")
            << QStringLiteral("caf\u00e9 bot") << QByteArray("caf bot");
        QTest::newRow("empty gives the default")
            << QStringLiteral(" \t") << UserAgent::defaultText();
    }
    void userTextCannotBreakTheHeader()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, sent);
        QCOMPARE(UserAgent::sanitized(typed), sent);
    }
};

QTEST_GUILESS_MAIN(TestCrawlNames)
#include "tst_crawlnames.moc"
