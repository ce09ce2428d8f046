// Contact pages first, and a site left once its fax is found ("Stop a site once its fax is
// found", modern mode); with the option off, or in the reference mode, every page of a site
// is read in the order its links were found.

#include "enginetestkit.h"

#include <QTest>

namespace {

using Link = QPair<QByteArray, QByteArray>; // path, text

// A page: its links and the fax it shows.
struct Page
{
    QByteArray path;
    QList<Link> links;
    QByteArray fax; // empty: none
};

QByteArray html(const Page &p)
{
    QByteArray body = "<html><body><h1>Acme Roofing</h1>\r\n<ul>\r\n";
    for (const auto &[path, text] : p.links)
        body += "<li><a href=\"" + path + "\">" + text + "</a></li>\r\n";
    body += "</ul>\r\n<p>Phone: 212-555-0100</p>\r\n";
    if (!p.fax.isEmpty())
        body += "<p>Fax: " + p.fax + "</p>\r\n";
    return body + "</body></html>\r\n";
}

// Home links four products and, last, its contact page; each page links home. productFax
// is on the last product.
QList<Page> contactOneDeep(const QByteArray &homeFax, const QByteArray &contactFax,
                           const QByteArray &productFax = {})
{
    QList<Page> web;
    Page home{"/", {}, homeFax};
    for (int i = 1; i <= 4; ++i) {
        const QByteArray path = "/p" + QByteArray::number(i) + ".htm";
        home.links.append(Link{path.mid(1), "Product " + QByteArray::number(i)});
        web.append({path, {{"/", "Home"}}, i == 4 ? productFax : QByteArray()});
    }
    home.links.append(Link{"contact.htm", "Contact us"});
    web.prepend(home);
    web.append({"/contact.htm", {{"/", "Home"}}, contactFax});
    return web;
}

} // namespace

Q_DECLARE_METATYPE(Page)

class TestContactFirst : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void siteOrderAndStop_data()
    {
        QTest::addColumn<bool>("follow");
        QTest::addColumn<bool>("stopAtFax");
        QTest::addColumn<QList<Page>>("web");
        QTest::addColumn<QByteArrayList>("fetched"); // in order
        QTest::addColumn<int>("faxes");

        const QByteArray fax = "212-555-0199";
        QTest::newRow("contact link last: read first, the rest left at its fax")
            << true << true << contactOneDeep({}, fax) << QByteArrayList{"/", "/contact.htm"} << 1;
        QTest::newRow("no fax: every page read, contact first")
            << true << true << contactOneDeep({}, {})
            << QByteArrayList{"/", "/contact.htm", "/p1.htm", "/p2.htm", "/p3.htm", "/p4.htm"} << 0;
        QTest::newRow("no fax on the contact page: on to the page that has one")
            << true << true << contactOneDeep({}, {}, fax)
            << QByteArrayList{"/", "/contact.htm", "/p1.htm", "/p2.htm", "/p3.htm", "/p4.htm"} << 1;
        QTest::newRow("fax on the home page: its contact page still read")
            << true << true << contactOneDeep("212-555-0198", fax)
            << QByteArrayList{"/", "/contact.htm"} << 2;

        // Two links deep: home, "About us", then "Contact" on it.
        QList<Page> twoDeep = contactOneDeep({}, {});
        twoDeep.last().path = "/about.htm";
        twoDeep.last().links.append(Link{"team.htm", "Our team"});
        twoDeep.last().links.append(Link{"contact.htm", "Contact"});
        twoDeep.first().links.last() = Link{"about.htm", "About us"};
        twoDeep.append({"/team.htm", {{"/", "Home"}}, {}});
        twoDeep.append({"/contact.htm", {{"/", "Home"}}, fax});
        QTest::newRow("two links deep")
            << true << true << twoDeep << QByteArrayList{"/", "/about.htm", "/contact.htm"} << 1;

        QTest::newRow("option off: the order of the links, every page")
            << true << false << contactOneDeep({}, fax)
            << QByteArrayList{"/", "/p1.htm", "/p2.htm", "/p3.htm", "/p4.htm", "/contact.htm"} << 1;
    }
    void siteOrderAndStop()
    {
        QFETCH(bool, follow);
        QFETCH(bool, stopAtFax);
        QFETCH(QList<Page>, web);
        QFETCH(QByteArrayList, fetched);
        QFETCH(int, faxes);
        EngineRig rig;
        for (const Page &p : web)
            rig.web.addPage("acme.example", p.path, html(p));
        rig.presenter.optionClicked(OptionId::FollowRedirects, follow ? 1 : 0);
        rig.presenter.optionClicked(OptionId::StopSiteAtFax, stopAtFax ? 1 : 0);
        // One page of the site at a time: the order of the requests is the crawl's.
        rig.presenter.optionClicked(OptionId::DownloadsPerSite, 1);
        rig.readyToStart();
        rig.queue({QStringLiteral("acme.example")});
        rig.session.startCrawl();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 10000);
        QByteArrayList paths;
        for (const TestWebServer::Request &r : rig.web.requests())
            paths << r.path;
        QCOMPARE(paths.join(' '), fetched.join(' '));
        QCOMPARE(rig.storedFaxes().size(), faxes);
        // Every site queued was fetched or passed over: nothing is left behind.
        QVERIFY(rig.storedWebsites().isEmpty());
        QVERIFY(rig.db()->pendingSites().value_or(QStringList{"?"}).isEmpty());
    }

    // The reference mode ("Follow redirects (HTTPS)" off) reads every page, the option on.
    void referenceModeReadsEveryPage()
    {
        EngineRig rig;
        for (const Page &p : contactOneDeep({}, "212-555-0199"))
            rig.web.addPage("acme.example", p.path, html(p));
        rig.presenter.optionClicked(OptionId::FollowRedirects, 0);
        rig.presenter.optionClicked(OptionId::StopSiteAtFax, 1);
        rig.readyToStart();
        rig.queue({QStringLiteral("acme.example")});
        rig.session.startCrawl();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 10000);
        QSet<QByteArray> paths;
        for (const TestWebServer::Request &r : rig.web.requests())
            paths << r.path;
        QCOMPARE(paths, (QSet<QByteArray>{"/", "/p1.htm", "/p2.htm", "/p3.htm", "/p4.htm",
                                          "/contact.htm"}));
    }

    // A stop while contact pages wait for their site sends them back to the queue, so that
    // Resume reads them; none is lost.
    void stopKeepsWaitingContactPages()
    {
        EngineRig rig;
        Page home{
            "/", {{"p1.htm", "Products"}, {"contact.htm", "Contact"}, {"about.htm", "About"}}, {}};
        rig.web.addPage("acme.example", "/", html(home));
        TestWebServer::Response silent;
        silent.fault = TestWebServer::Fault::NoAnswer;
        rig.web.addResponse("acme.example", "/contact.htm", silent);
        rig.presenter.optionClicked(OptionId::StopSiteAtFax, 1);
        rig.presenter.optionClicked(OptionId::DownloadsPerSite, 1);
        rig.readyToStart();
        rig.queue({QStringLiteral("acme.example")});
        rig.session.startCrawl();
        QTRY_COMPARE_WITH_TIMEOUT(rig.web.requestCount("acme.example", "/contact.htm"), 1, 10000);
        rig.session.stop();
        // In the backlog, or in the head of the queue that Resume starts from.
        QStringList left = rig.storedWebsites() + rig.session.siteQueue()->items();
        left.removeAll(QStringLiteral("acme.example"));
        left.sort();
        QCOMPARE(left, QStringList({"acme.example/about.htm", "acme.example/contact.htm",
                                    "acme.example/p1.htm"}));
    }
};

QTEST_MAIN(TestContactFirst)
#include "tst_contactfirst.moc"
