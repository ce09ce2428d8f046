// Links of a page line, website normalisation, and what a connect derives from a site.

#include "contactpages.h"
#include "links.h"
#include "pageanalysis.h"

#include <QTest>

Q_DECLARE_METATYPE(QList<QByteArray>)

namespace {
// The sites a page line queues, before the store's duplicate check, from page h/a/b.htm.
QList<QByteArray> sitesOfLine(const QByteArray &line)
{
    QList<QByteArray> sites;
    for (QByteArray link : linkTextsOfLine(line)) {
        if (!isSkippedLink(link))
            sites << NormalizeUrl(link, "h/a/b.htm", "h/a/");
    }
    return sites;
}
} // namespace

class TestLinks : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lineLinks_data();
    void lineLinks();
    void normalizeUrl_data();
    void normalizeUrl();
    void normalizeUrl_writesBack();
    void parentPath_data();
    void parentPath();
    void connectTarget_data();
    void connectTarget();
    void manyLinksOnOneLine_allRead();
    void contactLinks_data();
    void contactLinks();
    void contactLinks_followTheLinksTheyMark();
};

void TestLinks::lineLinks_data()
{
    using L = QList<QByteArray>;
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<L>("sites");
    QTest::newRow("double quotes")
        << QByteArray("<a href=\"contact.htm\">Contact</a>") << L{"h/a/contact.htm"};
    QTest::newRow("apostrophes") << QByteArray("<a href='contact.htm'>Contact</a>")
                                 << L{"h/a/contact.htm"};
    QTest::newRow("no quotes, capitals")
        << QByteArray("<A HREF=contact.htm>Contact</A>") << L{"h/a/contact.htm"};
    QTest::newRow("root-relative resolves against the host")
        << QByteArray("<a href=\"/x/y.htm\">") << L{"h/x/y.htm"};
    QTest::newRow("http scheme") << QByteArray("<a href=\"http://h2/p.htm\">") << L{"h2/p.htm"};
    QTest::newRow("scheme in capitals, bare host")
        << QByteArray("<a href=\"HTTP://h2\">") << L{"h2/"};
    QTest::newRow("https scheme") << QByteArray("<a href=\"https://h2/p.htm\">") << L{"h2/p.htm"};
    QTest::newRow("protocol-relative") << QByteArray("<a href=\"//h2/p.htm\">") << L{"h2/p.htm"};
    QTest::newRow("../ goes up one directory")
        << QByteArray("<a href=\"../up.htm\">") << L{"h/up.htm"};
    QTest::newRow("./ stays in the directory")
        << QByteArray("<a href=\"./x.htm\">") << L{"h/a/x.htm"};
    QTest::newRow("../ never above the host")
        << QByteArray("<a href=\"../../../up.htm\">") << L{"h/up.htm"};
    QTest::newRow("looks absolute") << QByteArray("<a href=\"shop.com/p\">") << L{"shop.com/p"};
    QTest::newRow("anchor skipped") << QByteArray("<a href=\"page.htm#top\">") << L{};
    QTest::newRow("mailto skipped") << QByteArray("<a href=\"mailto:x\">") << L{};
    QTest::newRow("javascript skipped") << QByteArray("<a href=\"javascript:go()\">") << L{};
    QTest::newRow(".js matches app.jsp") << QByteArray("<a href=\"app.jsp\">") << L{};
    QTest::newRow("PDF in capitals skipped") << QByteArray("<a href=\"Doc.PDF\">") << L{};
    QTest::newRow("a space does not end the link")
        << QByteArray("<a href=x.htm class=y>z</a>") << L{"h/a/x.htm class=y"};
    QTest::newRow("every link of a line")
        << QByteArray("<a href=\"a.htm\">A</a> <a href=\"b.htm\">B</a>")
        << L{"h/a/a.htm", "h/a/b.htm"};
    QTest::newRow("link at the end of the line loses two characters")
        << QByteArray("href=abc.htm") << L{"h/a/abc.h"};
    QTest::newRow("quote as the last character loses two characters")
        << QByteArray("<a href=\"abc.htm\"") << L{"h/a/abc.ht"};
    QTest::newRow("unterminated link before the next one")
        << QByteArray("<a href=a.htm <a href=\"b.htm\">") << L{"h/a/a.htm <", "h/a/b.htm"};
    QTest::newRow("space before '=' is no link") << QByteArray("<a href =\"x.htm\">") << L{};
}

void TestLinks::lineLinks()
{
    QFETCH(QByteArray, line);
    QFETCH(QList<QByteArray>, sites);
    QCOMPARE(sitesOfLine(line), sites);
}

void TestLinks::normalizeUrl_data()
{
    QTest::addColumn<QByteArray>("link");
    QTest::addColumn<QByteArray>("curUrl");
    QTest::addColumn<QByteArray>("curDir");
    QTest::addColumn<QByteArray>("site");
    QTest::newRow("relative on a bare host's home page")
        << QByteArray("contact.htm") << QByteArray("example.com") << QByteArray("example.com/")
        << QByteArray("example.com/contact.htm");
    QTest::newRow("root-relative on a bare host")
        << QByteArray("/x/y.htm") << QByteArray("example.com") << QByteArray("example.com/")
        << QByteArray("example.com/x/y.htm");
    QTest::newRow("../ on a bare host stays at the host")
        << QByteArray("../x.htm") << QByteArray("example.com") << QByteArray("example.com/")
        << QByteArray("example.com/x.htm");
    QTest::newRow("../ then ./ from a deep directory")
        << QByteArray(".././x/y.htm") << QByteArray("h/a/b/c.htm") << QByteArray("h/a/b/")
        << QByteArray("h/a/x/y.htm");
    QTest::newRow("'..' without a slash keeps the old rule")
        << QByteArray("..x") << QByteArray("h/a/b.htm") << QByteArray("h/a/")
        << QByteArray("h/a/..");
    QTest::newRow("scheme anywhere marks the link absolute")
        << QByteArray("go?u=http://h2") << QByteArray("h/a/b.htm") << QByteArray("h/a/")
        << QByteArray("go?u=h2/");
    QTest::newRow("www. looks absolute") << QByteArray("www.h2.org") << QByteArray("h/")
                                         << QByteArray("h/") << QByteArray("www.h2.org/");
    QTest::newRow("repeated slashes collapse") << QByteArray("x//////y") << QByteArray("h/a/b.htm")
                                               << QByteArray("h/a/") << QByteArray("h/a/x/y");
    QTest::newRow("empty link is the directory")
        << QByteArray() << QByteArray("h/a/b.htm") << QByteArray("h/a/") << QByteArray("h/a/");
}

void TestLinks::normalizeUrl()
{
    QFETCH(QByteArray, link);
    QFETCH(QByteArray, curUrl);
    QFETCH(QByteArray, curDir);
    QFETCH(QByteArray, site);
    QCOMPARE(NormalizeUrl(link, curUrl, curDir), site);
}

void TestLinks::normalizeUrl_writesBack()
{
    QByteArray link = "http://h2";
    NormalizeUrl(link, "h/", "h/");
    QCOMPARE(link, QByteArray("h2/"));
}

void TestLinks::parentPath_data()
{
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<QByteArray>("parent");
    QTest::newRow("file") << QByteArray("h/a/b.htm") << QByteArray("h/a/");
    QTest::newRow("directory") << QByteArray("h/a/") << QByteArray("h/");
    QTest::newRow("no slash") << QByteArray("h") << QByteArray("/h");
    QTest::newRow("scheme kept") << QByteArray("http://h/a") << QByteArray("http://h/");
    QTest::newRow("scheme and bare host") << QByteArray("http://h") << QByteArray("/h");
}

void TestLinks::parentPath()
{
    QFETCH(QByteArray, url);
    QFETCH(QByteArray, parent);
    QCOMPARE(ParentPath(url), parent);
}

void TestLinks::connectTarget_data()
{
    QTest::addColumn<QByteArray>("site");
    QTest::addColumn<QByteArray>("curUrl");
    QTest::addColumn<QByteArray>("curDir");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("https");
    QTest::newRow("bare host") << QByteArray("example.com") << QByteArray("example.com")
                               << QByteArray("example.com/") << QByteArray("example.com")
                               << QByteArray("/") << false;
    QTest::newRow("host and slash")
        << QByteArray("example.com/") << QByteArray("example.com") << QByteArray("example.com/")
        << QByteArray("example.com") << QByteArray("/") << false;
    QTest::newRow("page in a directory")
        << QByteArray("example.com/dir/a.htm") << QByteArray("example.com/dir/a.htm")
        << QByteArray("example.com/dir/") << QByteArray("example.com") << QByteArray("/dir/a.htm")
        << false;
    QTest::newRow("scheme in capitals")
        << QByteArray("HTTP://example.com/a") << QByteArray("example.com/a")
        << QByteArray("example.com/") << QByteArray("example.com") << QByteArray("/a") << false;
    QTest::newRow("https is a scheme")
        << QByteArray("https://example.com/a") << QByteArray("example.com/a")
        << QByteArray("example.com/") << QByteArray("example.com") << QByteArray("/a") << true;
    QTest::newRow("host repeated in the path")
        << QByteArray("Example.com/x/Example.com/y") << QByteArray("Example.com/x/Example.com/y")
        << QByteArray("Example.com/x/Example.com/") << QByteArray("Example.com")
        << QByteArray("/x/y") << false;
    QTest::newRow("port stays in the host")
        << QByteArray("example.com:8080/x") << QByteArray("example.com:8080/x")
        << QByteArray("example.com:8080/") << QByteArray("example.com:8080") << QByteArray("/x")
        << false;
}

void TestLinks::connectTarget()
{
    QFETCH(QByteArray, site);
    const ConnectTarget t = connectTargetOf(site);
    QTEST(t.strCurUrl, "curUrl");
    QTEST(t.strCurDir, "curDir");
    QTEST(t.strHost, "host");
    QTEST(t.strPath, "path");
    QTEST(t.https, "https");
}

void TestLinks::manyLinksOnOneLine_allRead()
{
    QByteArray line;
    for (int k = 0; k < 20000; ++k)
        line += "<a href=\"p" + QByteArray::number(k) + ".htm\">x</a>";
    const QList<QByteArray> texts = linkTextsOfLine(line);
    QCOMPARE(texts.size(), 20000);
    QCOMPARE(texts.last(), QByteArray("p19999.htm"));
}

// Which links of a page name a contact page, by their text or their address. Each row is
// one anchor on a page of example.com.
void TestLinks::contactLinks_data()
{
    QTest::addColumn<QByteArray>("anchor");
    QTest::addColumn<bool>("contact");
    QTest::newRow("text: Contact us") << QByteArray("<a href=\"p7.htm\">Contact us</a>") << true;
    QTest::newRow("text in a span, dressed")
        << QByteArray("<a class=\"nav\" href=\"p7.htm\"><span>&raquo;</span> CONTACT&nbsp;US ›</a>")
        << true;
    QTest::newRow("text on the next line")
        << QByteArray("<a href=\"p7.htm\">\r\n  Impressum\r\n</a>") << true;
    QTest::newRow("German, entity") << QByteArray("<a href=\"p7.htm\">&Uuml;ber uns</a>") << true;
    QTest::newRow("French") << QByteArray("<a href=\"p7.htm\">Nous contacter</a>") << true;
    QTest::newRow("Spanish, UTF-8") << QByteArray("<a href=\"p7.htm\">Cont\xc3\xa1"
                                                  "ctenos</a>")
                                    << true;
    QTest::newRow("Italian") << QByteArray("<a href=\"p7.htm\">Contatti</a>") << true;
    QTest::newRow("Chinese") << QByteArray("<a href=\"p7.htm\">\xe8\x81\x94\xe7\xb3\xbb\xe6\x88\x91"
                                           "\xe4\xbb\xac</a>")
                             << true;
    QTest::newRow("About alone") << QByteArray("<a href=\"p7.htm\">About</a>") << true;
    QTest::newRow("about in a sentence")
        << QByteArray("<a href=\"p7.htm\">Read more about our roofing</a>") << false;
    QTest::newRow("contact in a long sentence")
        << QByteArray(
               "<a href=\"p7.htm\">Our technicians will contact you within two working days</a>")
        << false;
    QTest::newRow("a word that holds it")
        << QByteArray("<a href=\"p7.htm\">Contactless payment</a>") << false;
    QTest::newRow("plain page") << QByteArray("<a href=\"p7.htm\">Services</a>") << false;
    QTest::newRow("address: /contact-us.html")
        << QByteArray("<a href=\"/contact-us.html\">Write to us</a>") << true;
    QTest::newRow("address: contactus.php")
        << QByteArray("<a href=\"contactus.php\">x</a>") << true;
    QTest::newRow("address: /de/impressum/")
        << QByteArray("<a href=\"/de/impressum/\">x</a>") << true;
    QTest::newRow("address: query")
        << QByteArray("<a href=\"index.php?page=kontakt\">x</a>") << true;
    QTest::newRow("address: our-locations")
        << QByteArray("<a href=\"/our-locations\">Find a branch</a>") << true;
    QTest::newRow("address: a word that holds it")
        << QByteArray("<a href=\"/roundabout-repairs.htm\">x</a>") << false;
    QTest::newRow("address: the host is not read")
        << QByteArray("<a href=\"http://contact.example.org/prices.htm\">Prices</a>") << false;
    // A <link> has no text: what follows it is the page's, not the link's.
    QTest::newRow("link element")
        << QByteArray("<link rel=\"next\" href=\"p7.htm\">\r\n<title>Contact</title>") << false;
}

void TestLinks::contactLinks()
{
    QFETCH(QByteArray, anchor);
    QFETCH(bool, contact);
    const QByteArray page = "<html><body>\r\n" + anchor + "\r\n</body></html>";
    QList<bool> marks;
    const QStringList links = findLinks(page, {"example.com", "example.com/"}, true, &marks);
    QCOMPARE(links.size(), 1);
    QCOMPARE(marks, QList<bool>{contact});
    // Asked for nothing, the links are the same and nothing is marked.
    PageFindings plain = analysePage(page, {"example.com", "example.com/"});
    QCOMPARE(plain.links, findLinks(page, {"example.com", "example.com/"}));
    QVERIFY(plain.contactLinks.isEmpty());
}

// Marks stay with their links when links before them on the line are skipped (a script, an
// anchor) and when several share one line.
void TestLinks::contactLinks_followTheLinksTheyMark()
{
    const QByteArray page =
        "<a href=\"a.js\">Contact</a><a href=\"#top\">Top</a><a href=\"p1.htm\">Home</a>"
        "<a href=\"p2.htm\">Kontakt</a>\r\n<a href=\"p3.htm\">Products</a>"
        "<a href=\"p4.htm\">Contact</a>\r\n";
    AnalysisOptions options;
    options.markContactLinks = true;
    const PageFindings found = analysePage(page, {"example.com", "example.com/"}, options);
    QCOMPARE(found.links, QStringList({"example.com/p1.htm", "example.com/p2.htm",
                                       "example.com/p3.htm", "example.com/p4.htm"}));
    QCOMPARE(found.contactLinks, QList<bool>({false, true, false, true}));
}

QTEST_GUILESS_MAIN(TestLinks)
#include "tst_links.moc"
