#include "domainextractor.h"
#include "searchengines.h"
#include "searchlistbuilder.h"

#include <QFile>
#include <QTest>

using namespace DomainExtractor;

namespace {

// What the reference reading leaves out: the lines that mention the engines' own domains,
// as the shipped definition of the first engine names them.
QStringList referenceSkips()
{
    return SearchEngines::all().value(0).skipLinesWith;
}

// The engine a text of the engine list selects: any text that names none, the first one.
const SearchEngines::SearchEngine &engineFor(const QString &combo1)
{
    const SearchEngines::SearchEngine *e = SearchEngines::find(combo1);
    return e ? *e : SearchEngines::all().first();
}

} // namespace

class TestDomainExtractor : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void resultPage_givesEachNewNameInOrder()
    {
        QFile f(QStringLiteral(VARNEL_DISCOVERY_FIXTURES "/results-mixed.html"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        SeenNames seen;
        const QStringList names =
            extractDomainNames(QString::fromUtf8(f.readAll()), seen, referenceSkips());
        // Engine links, the image server, a line that names the engine in its text, cOm,
        // a four-label host, a bare .gov link, a host without "." and repeats give nothing.
        const QStringList expected = {
            QStringLiteral("acmeplumbing.com"), QStringLiteral("BIGPIPES.NET"),
            QStringLiteral("drainmasters.org"), QStringLiteral("rooterpros.com"),
            QStringLiteral("leakfinders.Com"),  QStringLiteral("hud.gov"),
            QStringLiteral("pipeworld.com"),    QStringLiteral("sunpipes.com"),
            QStringLiteral("example.com")};
        QCOMPARE(names, expected);
        QCOMPARE(seen.text(), expected.join(QString()));
    }

    void links_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("names");
        const QStringList none;
        auto row = [](const char *name, const char *page, const QStringList &names) {
            QTest::newRow(name) << QString::fromUtf8(page) << names;
        };
        row("anchor markup", "<a href=\"http://www.shop.com/x.htm\">Shop</a>", {"shop.com"});
        row("two-label host stays whole", "<a href='http://shop.com/'>", {"shop.com"});
        row("capitals keep the host's case", "<a href=\"HTTP://WWW.EXAMPLE.NET/\">",
            {"EXAMPLE.NET"});
        row("capitals, then the same in small letters",
            "HTTP://WWW.EXAMPLE.NET/ http://www.example.net/", {"EXAMPLE.NET"});
        row("encoded scheme inside an engine address",
            "<a href=\"http://www.google.com/url?q=hTtP%3a//www.tiles.org/&sa=U\">", {"tiles.org"});
        row("secure link", "<a href=\"https://www.secure.com/\">", {"secure.com"});
        row("secure link in capitals", "<a href=\"HTTPS://WWW.SECURE.COM/\">", {"SECURE.COM"});
        row("encoded secure scheme", "/url?q=HTTPS%3A//www.secure.net/", {"secure.net"});
        row("suffix Com", "http://www.shop.Com/", {"shop.Com"});
        row("suffix cOm", "http://www.shop.cOm/", none);
        row("suffix GOV with .com in the line", "http://www.agency.GOV/ mirror at x.com",
            {"agency.GOV"});
        row(".gov alone", "<a href=\"http://www.agency.gov/\">Agency</a>", none);
        row("four labels", "http://a.b.example.com/", none);
        row("co.uk", "http://www.shop.co.uk/ shop.com", none);
        row("engine domain in the link text",
            "<a href=\"http://www.shop.com/\">Shop</a> cached by Google.com", none);
        row("other engine's domain", "http://www.shop.com/?ref=search.YAHOO.com", none);
        row("image server", "http://us.yimg.com/i/us/shop.com.gif", none);
        row("no .com/.net/.org anywhere", "http://www.shop.biz/", none);
        row("host without a dot", "http://intranet/pages.com", none);
        row("empty first label", "http://www..com/", none);
        row("mailto", "http://www.mailto:me.com/", none);
        row("port makes the suffix fail", "http://www.shop.com:8080/", none);
        row("ample.com after example.com", "http://example.com/ http://www.ample.com/",
            {"example.com"});
        row("EXAMPLE.COM after example.com", "http://example.com/ http://www.EXAMPLE.COM/",
            {"example.com"});
        row("junction of two names counts as found",
            "http://www.abc.com/ http://www.xyz.net/ http://www.comxyz.net/",
            {"abc.com", "xyz.net"});
        // A line ends at CR or CR LF only: a lone LF keeps the engine's name in the line.
        row("lone LF does not end the line", "http://www.shop.org/\n<b>google.com</b>", none);
        row("CR ends the line", "http://www.shop.org/\r<b>google.com</b>", {"shop.org"});
        row("text before the first link", "results for pipes.com: http://www.pipes.com/",
            {"pipes.com"});
    }

    void links()
    {
        QFETCH(QString, page);
        QFETCH(QStringList, names);
        SeenNames seen;
        QCOMPARE(extractDomainNames(page, seen, referenceSkips()), names);
    }

    // The engines' own domains come from the definitions.
    void engineDomainsAreSettings()
    {
        const QStringList skip = {QStringLiteral("finder.test")};
        const QString line = QStringLiteral("http://www.shop.com/ via google.com");
        QCOMPARE(candidateName(line, skip), QStringLiteral("shop.com"));
        QCOMPARE(candidateName(QStringLiteral("http://www.shop.com/ via FINDER.test"), skip),
                 QString());
        QCOMPARE(referenceSkips(),
                 (QStringList{QStringLiteral("google.com"), QStringLiteral("yahoo.com"),
                              QStringLiteral("yimg")}));
    }

    void lineSplitting()
    {
        QCOMPARE(splitLines(QStringLiteral("a\r\nb\rc\nd\r\n")), (QStringList{"a", "b", "c\nd"}));
        QCOMPARE(splitLines(prepareResultText(QStringLiteral("x HTTP://a https://b"))),
                 (QStringList{"x ", "http://a ", "http://b"}));
    }

    void blockedAnswers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("page");
        QTest::addColumn<bool>("blocked");
        QTest::newRow("ordinary page")
            << 200 << QStringLiteral("<a href=x>captcha solver</a>") << false;
        QTest::newRow("429") << 429 << QString() << true;
        QTest::newRow("503") << 503 << QString() << true;
        QTest::newRow("404") << 404 << QString() << false;
        QTest::newRow("unusual traffic")
            << 200 << QStringLiteral("detected Unusual Traffic from your computer") << true;
        QTest::newRow("robot check")
            << 200 << QStringLiteral("Please confirm you are not a robot") << true;
    }

    void blockedAnswers()
    {
        QFETCH(int, status);
        QFETCH(QString, page);
        QFETCH(bool, blocked);
        QCOMPARE(isBlockedAnswer(status, page), blocked);
    }

    void addresses_data()
    {
        QTest::addColumn<QString>("combo1");
        QTest::addColumn<QString>("search");
        QTest::addColumn<bool>("addFax");
        QTest::addColumn<int>("vStart");
        QTest::addColumn<QString>("address");
        const QString g = QStringLiteral("http://www.google.com/search?num=100&hl=en&lr=&ie=UTF-8"
                                         "&oe=UTF-8&safe=off&filter=0&start=");
        const QString y = QStringLiteral("http://search.yahoo.com/search/dir?h=s&xargs=0&p=");
        QTest::newRow("google first")
            << "Google Search"
            << "plumber new york" << true << 1 << g + "0&sa=N&q=plumber+new+york+fax";
        QTest::newRow("google second")
            << "Google Search"
            << "plumber new york" << true << 101 << g + "100&sa=N&q=plumber+new+york+fax";
        QTest::newRow("other text is google")
            << "Altavista"
            << "roofer" << false << 201 << g + "200&sa=N&q=roofer";
        QTest::newRow("yahoo first") << "Yahoo Search"
                                     << "roofer boston" << false << 1 << y + "roofer+boston&b=1";
        QTest::newRow("yahoo third")
            << "Yahoo Search"
            << "roofer boston" << true << 41 << y + "roofer+boston+fax&b=41";
        // Characters that would change the address are escaped; everything else as typed.
        QTest::newRow("address characters")
            << "Google Search"
            << "AT&T 100% c++ #1" << false << 1 << g + "0&sa=N&q=AT%26T+100%25+c%2B%2B+%231";
    }

    // The shipped definitions of the two engines of the reference ask its addresses.
    void addresses()
    {
        QFETCH(QString, combo1);
        QFETCH(QString, search);
        QFETCH(bool, addFax);
        QFETCH(int, vStart);
        QFETCH(QString, address);
        const BrowserRequest r = engineFor(combo1).request(
            addFax ? search + QStringLiteral(" fax") : search, vStart - 1);
        QCOMPARE(r.url, address);
        QCOMPARE(r.method, QByteArray("GET"));
        QVERIFY(r.headers.isEmpty());
        QVERIFY(r.cookies.isEmpty());
    }

    void tables()
    {
        const QList<QPair<int, int>> targets = {{-1, 100}, {0, 100},  {1, 200},  {2, 500},
                                                {3, 1000}, {4, 5000}, {5, 10000}};
        for (const auto &t : targets)
            QCOMPARE(SearchListBuilder::targetForIndex(t.first), t.second);
        QCOMPARE(engineFor(QStringLiteral("Google Search")).pageSize, 100);
        QCOMPARE(engineFor(QStringLiteral("Yahoo Search")).pageSize, 20);
    }
};

QTEST_GUILESS_MAIN(TestDomainExtractor)
#include "tst_domainextractor.moc"
