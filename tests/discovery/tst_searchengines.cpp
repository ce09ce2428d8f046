#include "domainextractor.h"
#include "htmlscan.h"
#include "resultlinks.h"
#include "searchengines.h"
#include "searchlistbuilder.h"

#include <QFile>
#include <QTest>

using SearchEngines::Outcome;
using Endings = DomainNames::Endings;

namespace {

const SearchEngines::SearchEngine &engine(const char *name)
{
    const SearchEngines::SearchEngine *e = SearchEngines::find(QLatin1String(name));
    Q_ASSERT(e);
    return *e;
}

BrowserPage pageOf(const QString &html, int status = 200, const QString &finalUrl = QString())
{
    BrowserPage p;
    p.html = html;
    p.httpStatus = status;
    p.finalUrl = finalUrl;
    return p;
}

// One web result of the Brave shape.
QString braveResult(const QString &href, const QString &text = QStringLiteral("a result"))
{
    return QStringLiteral("<div class=\"snippet\" data-type=\"web\"><a href=\"%1\">%2</a></div>")
        .arg(href, text);
}

} // namespace

// The engine table: the requests it builds, how result links are unwrapped and named, and
// how a page is told apart as results, blocked, nothing found or no answer.
class TestSearchEngines : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void requests_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("brave first")
            << "brave" << 0
            << "https://search.brave.com/search?q=caf%C3%A9+%26+%7Bpage%7D&source=web"
            << QByteArray();
        QTest::newRow("brave third page")
            << "brave" << 40
            << "https://search.brave.com/search?q=caf%C3%A9+%26+%7Bpage%7D&source=web&offset=2"
            << QByteArray();
        QTest::newRow("mojeek second")
            << "mojeek" << 10 << "https://www.mojeek.com/search?q=caf%C3%A9+%26+%7Bpage%7D&s=11"
            << QByteArray();
        QTest::newRow("bing second")
            << "bing" << 10
            << "https://www.bing.com/search?q=caf%C3%A9+%26+%7Bpage%7D&first=11&FORM=PERE"
            << QByteArray();
        QTest::newRow("duckduckgo first")
            << "duckduckgo" << 0 << "https://html.duckduckgo.com/html/"
            << QByteArray("q=caf%C3%A9+%26+%7Bpage%7D&b=&kl=wt-wt");
        QTest::newRow("duckduckgo second")
            << "duckduckgo" << 10 << "https://html.duckduckgo.com/html/"
            << QByteArray("q=caf%C3%A9+%26+%7Bpage%7D&s=10&nextParams=&v=l&o=json&dc=11&api=d.js"
                          "&kl=wt-wt");
        QTest::newRow("startpage third")
            << "startpage" << 20 << "https://www.startpage.com/sp/search"
            << QByteArray("query=caf%C3%A9+%26+%7Bpage%7D&cat=web&t=device&sc=&with_date=&abp=1"
                          "&abd=1&abe=1&page=3");
        QTest::newRow("ecosia fourth")
            << "ecosia" << 30
            << "https://www.ecosia.org/search?method=index&q=caf%C3%A9+%26+%7Bpage%7D&p=3"
            << QByteArray();
    }

    // The added engines: form-encoded query text (a "{page}" typed by the user stays text),
    // the paging of each, a desktop browser's headers, POST forms with their origin.
    void requests()
    {
        QFETCH(QString, engine);
        QFETCH(int, offset);
        QFETCH(QString, url);
        QFETCH(QByteArray, body);
        const SearchEngines::SearchEngine *e = SearchEngines::find(engine);
        QVERIFY(e);
        const BrowserRequest r = e->request(QString::fromUtf8("caf\u00e9 & {page}"), offset);
        QCOMPARE(r.url, url);
        QCOMPARE(r.body, body);
        QCOMPARE(r.method, body.isEmpty() ? QByteArray("GET") : QByteArray("POST"));
        auto header = [&r](const QByteArray &name) {
            for (const auto &[n, v] : r.headers) {
                if (n == name)
                    return v;
            }
            return QByteArray();
        };
        QVERIFY(header("User-Agent").contains("Firefox/"));
        QVERIFY(!header("Accept-Language").isEmpty());
        if (!body.isEmpty())
            QCOMPARE(header("Referer"), e->origin.toLatin1() + '/');
        QCOMPARE(r.tokenPageUrl.isEmpty(), engine != QLatin1String("startpage"));
    }

    void find_byEitherName()
    {
        QCOMPARE(SearchEngines::find(QStringLiteral("Brave Search")),
                 SearchEngines::find(QStringLiteral("BRAVE")));
        QVERIFY(SearchEngines::find(QStringLiteral("Brave Search")));
        QVERIFY(!SearchEngines::find(QStringLiteral("altavista")));
        QCOMPARE(SearchEngines::all().size(), 8);
        QCOMPARE(SearchEngines::all().first().displayName, QStringLiteral("Google Search"));
    }

    void unwrap_data()
    {
        QTest::addColumn<QString>("href");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("target");
        const QString google = QStringLiteral("https://www.google.com/search?q=x");
        QTest::newRow("/url?q=") << "/url?q=https://www.hotels.com/de1/&sa=U&ved=2a" << google
                                 << "https://www.hotels.com/de1/";
        QTest::newRow("/url?url= encoded") << "/url?url=https%3A%2F%2Fexample.com%2Fa%3Fb%3D1&sa=t"
                                           << google << "https://example.com/a?b=1";
        QTest::newRow("yahoo RU RK")
            << "https://r.search.yahoo.com/_ylt=Aw;_ylu=Y2/RV=2/RE=1/RO=10/"
               "RU=https%3a%2f%2fwww.example.org%2fdir%2fpage/RK=2/RS=abc-"
            << "https://search.yahoo.com/search?p=x"
            << "https://www.example.org/dir/page";
        QTest::newRow("bing u=a1") << "https://www.bing.com/ck/"
                                      "a?!&&p=9f&ptn=3&u=a1aHR0cHM6Ly93d3cuZXhhbXBsZS5jb20vYQ&ntb=1"
                                   << "https://www.bing.com/search?q=x"
                                   << "https://www.example.com/a";
        QTest::newRow("bing u=a1 to its own page")
            << "https://www.bing.com/ck/a?!&&p=1&u=a1Lz9GT1JNPVo5RkQx&ntb=1"
            << "https://www.bing.com/search?q=x"
            << "https://www.bing.com/?FORM=Z9FD1";
        QTest::newRow("bing u=a1 broken") << "https://www.bing.com/ck/a?u=a1!!!"
                                          << "https://www.bing.com/"
                                          << "https://www.bing.com/ck/a?u=a1!!!";
        QTest::newRow("duckduckgo uddg")
            << "//duckduckgo.com/l/?uddg=https%3A%2F%2Fen.wikipedia.org%2Fwiki%2FFoo&rut=ab"
            << "https://html.duckduckgo.com/html/"
            << "https://en.wikipedia.org/wiki/Foo";
        QTest::newRow("encoded scheme")
            << "https%3A%2F%2Fshop.example.co.uk%2Fx" << google << "https://shop.example.co.uk/x";
        QTest::newRow("encoded colon only")
            << "http%3a//example.net/" << google << "http://example.net/";
        QTest::newRow("wrapper in a wrapper")
            << "/url?q=https://duckduckgo.com/l/%3Fuddg%3Dhttps%253A%252F%252Fdeep.example.com%252F"
            << google << "https://deep.example.com/";
        QTest::newRow("plain") << "https://www.example.com/q?q=1" << google
                               << "https://www.example.com/q?q=1";
        QTest::newRow("relative to the engine")
            << "/search?q=more" << google << "https://www.google.com/search?q=more";
        QTest::newRow("script") << "javascript:void(0)" << google << "";
        QTest::newRow("mail") << "mailto:a@example.com" << google << "";
    }

    void unwrap()
    {
        QFETCH(QString, href);
        QFETCH(QString, page);
        QFETCH(QString, target);
        // Every wrapper the shipped definitions know, so that a wrapper inside another
        // engine's wrapper is taken off too.
        QList<ResultLinks::Wrapper> wrappers;
        for (const SearchEngines::SearchEngine &e : SearchEngines::all())
            wrappers += e.wrappers;
        QCOMPARE(ResultLinks::target(href, QUrl(page), wrappers).toString(), target);
    }

    void names_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("every");
        QTest::addColumn<QString>("name");
        QTest::newRow("ref www") << "www.example.com" << false << "example.com";
        QTest::newRow("ref two labels") << "example.com" << false << "example.com";
        QTest::newRow("ref case kept") << "WWW.EXAMPLE.NET" << false << "EXAMPLE.NET";
        QTest::newRow("ref gov") << "www.usa.gov" << false << "usa.gov";
        QTest::newRow("ref four labels") << "a.b.example.com" << false << "";
        QTest::newRow("ref co.uk") << "shop.example.co.uk" << false << "";
        QTest::newRow("ref address") << "192.168.1.10" << false << "";
        QTest::newRow("every co.uk") << "shop.example.co.uk" << true << "example.co.uk";
        QTest::newRow("every deep gov") << "leginfo.legislature.ca.gov" << true << "ca.gov";
        QTest::newRow("every com.au") << "www.plumbing.com.au" << true << "plumbing.com.au";
        QTest::newRow("every case") << "WWW.Example.COM" << true << "example.com";
        QTest::newRow("every trailing dot") << "www.example.de." << true << "example.de";
        QTest::newRow("every private suffix") << "foo.blogspot.com" << true << "foo.blogspot.com";
        QTest::newRow("every punycode") << "xn--bcher-kva.de" << true << "xn--bcher-kva.de";
        QTest::newRow("every bare suffix") << "co.uk" << true << "";
        QTest::newRow("every unknown ending") << "printer.local" << true << "";
        QTest::newRow("every address") << "127.0.0.1" << true << "";
        QTest::newRow("every v6 address") << "[::1]" << true << "";
    }

    void names()
    {
        QFETCH(QString, host);
        QFETCH(bool, every);
        QFETCH(QString, name);
        QVERIFY(DomainNames::publicSuffixListLoaded());
        QCOMPARE(DomainNames::nameForHost(host, every ? Endings::Every : Endings::Reference), name);
    }

    void verdict_data()
    {
        QTest::addColumn<BrowserPage>("page");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("reason"); // a part of it
        const QString result = braveResult(QStringLiteral("https://www.shop.com/"));
        QTest::newRow("results") << pageOf(result) << Outcome::Results << "";
        for (int status : {202, 403, 429, 503})
            QTest::newRow(qPrintable(QStringLiteral("status %1").arg(status)))
                << pageOf(result, status) << Outcome::Blocked << QString::number(status);
        QTest::newRow("sorry address")
            << pageOf(QString(), 200,
                      QStringLiteral("https://www.google.com/sorry/index?continue=x"))
            << Outcome::Blocked << "captcha page";
        QTest::newRow("consent address")
            << pageOf(QString(), 200, QStringLiteral("https://consent.google.com/ml?continue=x"))
            << Outcome::Blocked << "consent";
        QTest::newRow("startpage captcha")
            << pageOf(QString(), 200, QStringLiteral("https://www.startpage.com/sp/captcha"))
            << Outcome::Blocked << "captcha page";
        QTest::newRow("showcaptcha")
            << pageOf(QString(), 200, QStringLiteral("https://yandex.com/showcaptcha?cc=1"))
            << Outcome::Blocked << "captcha page";
        QTest::newRow("captcha only in the search text")
            << pageOf(result, 200,
                      QStringLiteral("https://search.brave.com/search?q=captcha+solver"))
            << Outcome::Results << "";
        QTest::newRow("needs JavaScript")
            << pageOf(QStringLiteral(
                   "<noscript><meta content=\"0;url=/httpservice/retry/enablejs?sei=a\" "
                   "http-equiv=\"refresh\"></noscript>"))
            << Outcome::Blocked << "JavaScript";
        QTest::newRow("turnstile")
            << pageOf(QStringLiteral("<div class=\"cf-turnstile\" data-sitekey=x></div>"))
            << Outcome::Blocked << "challenge";
        QTest::newRow("a result quoting a block text")
            << pageOf(braveResult(QStringLiteral("https://www.example.com/"),
                                  QStringLiteral("Why Google says unusual traffic")))
            << Outcome::Results << "";
        QTest::newRow("block text in a script only")
            << pageOf(QStringLiteral(
                   "<script>var t={err:'not yet available in your country'}</script><p>empty</p>"))
            << Outcome::NoResults << "no result";
        QTest::newRow("own links only")
            << pageOf(braveResult(QStringLiteral("https://brave.com/download/")))
            << Outcome::NoResults << "no result";
        BrowserPage refused;
        refused.answered = false;
        refused.errorText = QStringLiteral("Connection refused");
        QTest::newRow("no answer") << refused << Outcome::NoAnswer << "Connection refused";
    }

    // Read as Brave pages; the signs of a block are shared by every engine.
    void verdict()
    {
        QFETCH(BrowserPage, page);
        QFETCH(Outcome, outcome);
        QFETCH(QString, reason);
        for (const Endings endings : {Endings::Reference, Endings::Every}) {
            const SearchEngines::PageVerdict v =
                SearchEngines::readPage(engine("brave"), page, endings);
            QCOMPARE(v.outcome, outcome);
            QVERIFY2(v.reason.contains(reason), qPrintable(v.reason));
            QCOMPARE(v.names.isEmpty(), outcome != Outcome::Results);
        }
    }

    // Under the reference endings the engines of the reference read a page exactly as
    // before, wherever its links stand.
    void referenceReading_asBefore()
    {
        QFile f(QStringLiteral(VARNEL_DISCOVERY_FIXTURES "/results-mixed.html"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(f.readAll());
        DomainExtractor::SeenNames seen;
        const QStringList before =
            DomainExtractor::extractDomainNames(html, seen, engine("google").skipLinesWith);
        QVERIFY(!before.isEmpty());
        for (const char *name : {"google", "yahoo"}) {
            const auto v = SearchEngines::readPage(engine(name), pageOf(html), Endings::Reference);
            QCOMPARE(v.outcome, Outcome::Results);
            QCOMPARE(v.names, before);
        }
    }

    // Links of the engine itself and of its other sites are never results.
    void ownDomains_leftOut()
    {
        const QString bing = QStringLiteral(
            "<ol id=\"b_results\"><li class=\"b_algo\"><a href=\"https://support.microsoft.com/x\">"
            "</a><a href=\"https://www.bing.com/search?q=site:a.com\"></a></li>"
            "<li class=\"b_algo\"><a href=\"https://www.plumber.co.uk/\"></a></li></ol>");
        QCOMPARE(SearchEngines::readPage(engine("bing"), pageOf(bing), Endings::Every).names,
                 QStringList{QStringLiteral("plumber.co.uk")});
        const QString google =
            QStringLiteral("<div class=\"g\"><a href=\"https://maps.google.co.uk/maps\"></a>"
                           "<a href=\"/url?q=https://www.roofer.com/&sa=U\"></a></div>");
        QCOMPARE(SearchEngines::readPage(engine("google"), pageOf(google), Endings::Every).names,
                 QStringList{QStringLiteral("roofer.com")});
    }

    // The tag-aware pass: what encloses a link, and what is no link at all.
    void links_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QStringList>("links"); // href, then the enclosing classes
        QTest::newRow("nested") << "<div class=\"a b\"><p><a href=\"x\">t</a></p></div>"
                                << QStringList{"x:a b"};
        QTest::newRow("script, style and comment")
            << "<script>document.write('<a href=\"s\">')</script><style>a{}</style>"
               "<!-- <a href=\"c\"> --><a href=\"y\"></a>"
            << QStringList{"y:"};
        QTest::newRow("quoted >")
            << "<div class=\"r\" data-x=\"a>b\"><a title='1>2' href=\"z\"></a></div>"
            << QStringList{"z:r"};
        QTest::newRow("sibling li closes")
            << "<ul class=\"u\"><li class=\"one\">1<li class=\"two\"><a href=\"w\"></a></ul>"
            << QStringList{"w:u/two"};
        QTest::newRow("end tag of an outer element")
            << "<div class=\"o\"><span class=\"i\"></div><a href=\"v\"></a>" << QStringList{"v:"};
        QTest::newRow("references")
            << "<a href=\"/l/?a=1&amp;b=&#x32;&#51;\"></a>" << QStringList{"/l/?a=1&b=23:"};
        QTest::newRow("unquoted and upper case")
            << "<DIV CLASS=k><A HREF=/u>x</A></DIV>" << QStringList{"/u:k"};
        QTest::newRow("no href") << "<a name=\"top\"></a>" << QStringList{};
        QTest::newRow("cut off") << "<div class=\"d\"><a href=\"q" << QStringList{"q:d"};
    }

    void links()
    {
        QFETCH(QString, html);
        QFETCH(QStringList, links);
        QStringList seen;
        HtmlScan::forEachLink(html, [&seen](const HtmlScan::Path &path, const HtmlScan::Element &,
                                            const QString &href) {
            QStringList classes;
            for (const HtmlScan::Element &e : path) {
                if (!e.classes.isEmpty())
                    classes << e.classes.toString();
            }
            seen << href + QLatin1Char(':') + classes.join(QLatin1Char('/'));
        });
        QCOMPARE(seen, links);
    }

    void hiddenInput()
    {
        const QString html =
            QStringLiteral("<form><input type=\"text\" name=\"sc\" value=\"no\"><input type=hidden "
                           "name='q' value=x>"
                           "<input name=\"sc\" value=\"Tok3n&amp;1\" type=\"HIDDEN\"/></form>");
        QCOMPARE(HtmlScan::hiddenInputValue(html, QLatin1String("sc")), QStringLiteral("Tok3n&1"));
        QVERIFY(HtmlScan::hiddenInputValue(html, QLatin1String("none")).isNull());
    }
};

QTEST_GUILESS_MAIN(TestSearchEngines)
#include "tst_searchengines.moc"
