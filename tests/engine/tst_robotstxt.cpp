// robots.txt: choosing the group, matching a path, the crawl delay, and what an answer that
// is not a file means.

#include "robotstxt.h"

#include <QtTest>

namespace {
const QByteArray kToken = "QuorvexFaxVarnel";
}

class TestRobotsTxt : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void allowed_data()
    {
        QTest::addColumn<QByteArray>("robots");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("allowed");

        // Choosing the group.
        const QByteArray twoGroups = "User-agent: *\nDisallow: /\n\n"
                                     "User-agent: quorvexfaxvarnel\nDisallow: /private\n";
        QTest::newRow("our group, not the * one") << twoGroups << QByteArray("/public") << true;
        QTest::newRow("our group's rule") << twoGroups << QByteArray("/private/x") << false;
        QTest::newRow("* group when none names us")
            << QByteArray("User-agent: OtherBot\nDisallow: /\n\nUser-agent: *\nDisallow: /b\n")
            << QByteArray("/a") << true;
        QTest::newRow("another crawler's group is not ours")
            << QByteArray("User-agent: OtherBot\nDisallow: /\n") << QByteArray("/a") << true;
        QTest::newRow("token with a version")
            << QByteArray("User-agent: QuorvexFaxVarnel/2.0\nDisallow: /\n") << QByteArray("/a")
            << false;
        QTest::newRow("a longer name is another crawler")
            << QByteArray("User-agent: QuorvexFaxVarnelPro\nDisallow: /\n") << QByteArray("/a")
            << true;
        QTest::newRow("agents sharing one group")
            << QByteArray("User-agent: a\nUser-agent: QuorvexFaxVarnel\nUser-agent: b\n"
                          "Disallow: /x\n")
            << QByteArray("/x") << false;
        QTest::newRow("our groups are merged")
            << QByteArray("User-agent: QuorvexFaxVarnel\nDisallow: /a\n\nUser-agent: *\n"
                          "Disallow: /b\n\nUser-agent: QuorvexFaxVarnel\nDisallow: /c\n")
            << QByteArray("/c") << false;
        QTest::newRow("our empty group beats the * group")
            << QByteArray("User-agent: *\nDisallow: /\n\nUser-agent: QuorvexFaxVarnel\n"
                          "Disallow:\n")
            << QByteArray("/a") << true;
        QTest::newRow("rules before any user-agent are ignored")
            << QByteArray("Disallow: /\nUser-agent: *\nDisallow: /b\n") << QByteArray("/a") << true;
        QTest::newRow("a sitemap line does not end the group")
            << QByteArray("User-agent: *\nSitemap: http://h/s.xml\nDisallow: /a\n")
            << QByteArray("/a") << false;

        // Matching a path.
        const QByteArray rules = "User-agent: *\n"
                                 "Disallow: /shop\n"
                                 "Allow: /shop/open\n"
                                 "Disallow: /*.php$\n"
                                 "Disallow: /tmp*/cache\n"
                                 "Allow: /page\n"
                                 "Disallow: /page\n"
                                 "Disallow: /%7ejoe/\n"
                                 "Disallow: /caf%C3%A9\n"
                                 "Disallow: /a%2fb\n";
        QTest::newRow("prefix match") << rules << QByteArray("/shopping") << false;
        QTest::newRow("root not matched") << rules << QByteArray("/") << true;
        QTest::newRow("longest match wins: allow") << rules << QByteArray("/shop/open/now") << true;
        QTest::newRow("longest match wins: disallow") << rules << QByteArray("/shop/x") << false;
        QTest::newRow("allow wins a tie") << rules << QByteArray("/page") << true;
        QTest::newRow("$ anchors the end") << rules << QByteArray("/x/index.php") << false;
        QTest::newRow("$ does not match a longer path")
            << rules << QByteArray("/x/index.php?a=1") << true;
        QTest::newRow("* in the middle") << rules << QByteArray("/tmp/2024/cache/x") << false;
        QTest::newRow("* needs what follows it") << rules << QByteArray("/tmp/2024") << true;
        QTest::newRow("case counts in paths") << rules << QByteArray("/SHOP") << true;
        QTest::newRow("escaped unreserved character") << rules << QByteArray("/~joe/x") << false;
        QTest::newRow("escape in lower-case hex")
            << rules << QByteArray("/caf%c3%a9/menu") << false;
        QTest::newRow("raw octets escaped") << rules << QByteArray("/caf\xC3\xA9") << false;
        QTest::newRow("escaped slash is not a slash") << rules << QByteArray("/a/b") << true;
        QTest::newRow("escaped slash matches itself") << rules << QByteArray("/a%2Fb") << false;
        QTest::newRow("robots.txt itself")
            << QByteArray("User-agent: *\nDisallow: /\n") << QByteArray("/robots.txt") << true;
        // Stars at the end add nothing, but the pattern keeps its length against others.
        const QByteArray stars = "User-agent: *\nDisallow: /a**$\nAllow: /ab\nDisallow: /p$*\n";
        QTest::newRow("a final *$ is no anchor") << stars << QByteArray("/a/x") << false;
        QTest::newRow("a final * keeps its weight") << stars << QByteArray("/ab") << false;
        QTest::newRow("a $ before a final * is a character")
            << stars << QByteArray("/p$x") << false;
        QTest::newRow("... and does not anchor") << stars << QByteArray("/p") << true;
        QTest::newRow("a rule repeated") << QByteArray("User-agent: *\nDisallow: /*x\nAllow: /a\n"
                                                       "Disallow: /*x\n")
                                         << QByteArray("/abx") << false;

        // Of the rules with a "*" in their middle, the first MaxWildcardRules are matched as
        // written: a disallow after them forbids everything from its first "*" on, an allow
        // after them is dropped. Repeated rules count once.
        QByteArray many = "User-agent: *\nDisallow: /\nAllow: /*ok\n";
        for (int i = 0; i < 3; ++i)
            many += "Allow: /*ok\n";
        for (int i = 1; i < RobotsTxt::MaxWildcardRules; ++i)
            many += "Disallow: /*never" + QByteArray::number(i) + "\n";
        QTest::newRow("the last wildcard rule matched as written")
            << many << QByteArray("/is/ok") << true;
        QTest::newRow("an allow past them is dropped") << many + "Allow: /*fine\n"
                                                       << QByteArray("/is/fine") << false;
        // "/docs/*.pdf" weighs 11: it beats an allow of 7, not one of 14.
        QTest::newRow("a disallow past them forbids from its first *, keeping its weight")
            << many + "Disallow: /docs/*.pdf\nAllow: /docs/a\n"
            << QByteArray("/docs/a.html") << false;
        QTest::newRow("... so that a longer allow still wins")
            << many + "Disallow: /docs/*.pdf\nAllow: /docs/public/\n"
            << QByteArray("/docs/public/a.html") << true;

        // Reading the file.
        QTest::newRow("CR line ends, comments, odd case and spaces")
            << QByteArray("USER-AGENT : * # all\rdisallow:/a # no\r") << QByteArray("/a/b")
            << false;
        QTest::newRow("byte order mark")
            << QByteArray("\xEF\xBB\xBFUser-agent: *\nDisallow: /\n") << QByteArray("/a") << false;
        QTest::newRow("a value without / is a path")
            << QByteArray("User-agent: *\nDisallow: private\n") << QByteArray("/private/x")
            << false;
        QTest::newRow("misspelt disallow")
            << QByteArray("User-agent: *\nDisalow: /\n") << QByteArray("/a") << false;
        QTest::newRow("lines without a colon are skipped")
            << QByteArray("User-agent *\nDisallow /\n<html>\n") << QByteArray("/a") << true;
        QTest::newRow("an HTML page allows everything")
            << QByteArray("<html><body>Not found</body></html>") << QByteArray("/a") << true;
    }
    void allowed()
    {
        QFETCH(QByteArray, robots);
        QFETCH(QByteArray, path);
        QFETCH(bool, allowed);
        QCOMPARE(RobotsTxt::parse(robots, kToken).allowed(path), allowed);
    }

    void onlyTheFirstHalfMegabyteIsRead()
    {
        QByteArray robots = "User-agent: *\n";
        robots += QByteArray(RobotsTxt::MaxBytes, '#');
        robots += "\nDisallow: /\n";
        QVERIFY(RobotsTxt::parse(robots, kToken).allowed("/a"));
    }

    void crawlDelay_data()
    {
        QTest::addColumn<QByteArray>("robots");
        QTest::addColumn<int>("ms");
        QTest::newRow("seconds") << QByteArray("User-agent: *\nCrawl-delay: 3\n") << 3000;
        QTest::newRow("fraction") << QByteArray("User-agent: *\nCrawl-delay: 0.5\n") << 500;
        QTest::newRow("capped at ten seconds")
            << QByteArray("User-agent: *\nCrawl-delay: 3600\n") << 10000;
        QTest::newRow("unreadable") << QByteArray("User-agent: *\nCrawl-delay: soon\n") << 0;
        QTest::newRow("negative") << QByteArray("User-agent: *\nCrawl-delay: -4\n") << 0;
        QTest::newRow("of our group only")
            << QByteArray("User-agent: *\nCrawl-delay: 9\n\nUser-agent: QuorvexFaxVarnel\n"
                          "Crawl-delay: 2\n")
            << 2000;
        QTest::newRow("another crawler's") << QByteArray("User-agent: X\nCrawl-delay: 5\n") << 0;
        QTest::newRow("none") << QByteArray("User-agent: *\nDisallow: /a\n") << 0;
    }
    void crawlDelay()
    {
        QFETCH(QByteArray, robots);
        QFETCH(int, ms);
        QCOMPARE(RobotsTxt::parse(robots, kToken).crawlDelayMs(), ms);
    }

    void answers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("redirects");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<bool>("pageAllowed");
        using V = RobotsTxt::Verdict;
        // The body is "Disallow: /a" for everyone; only a 2xx answer reads it.
        QTest::newRow("200 reads the file") << 200 << 0 << int(V::UseRules) << false;
        QTest::newRow("301 is followed") << 301 << 0 << int(V::FollowRedirect) << true;
        QTest::newRow("sixth redirect: unavailable") << 302 << 5 << int(V::AllowAll) << true;
        QTest::newRow("404 allows everything") << 404 << 0 << int(V::AllowAll) << true;
        QTest::newRow("403 allows everything") << 403 << 0 << int(V::AllowAll) << true;
        QTest::newRow("503 disallows everything") << 503 << 0 << int(V::DisallowAll) << false;
        QTest::newRow("no answer disallows everything") << -1 << 0 << int(V::DisallowAll) << false;
        QTest::newRow("a status that is no answer") << 100 << 0 << int(V::DisallowAll) << false;
    }
    void answers()
    {
        QFETCH(int, status);
        QFETCH(int, redirects);
        QFETCH(int, verdict);
        QFETCH(bool, pageAllowed);
        QCOMPARE(int(RobotsTxt::verdict(status, redirects)), verdict);
        const RobotsTxt r =
            RobotsTxt::fromAnswer(status, redirects, "User-agent: *\nDisallow: /a\n", kToken);
        QCOMPARE(r.allowed("/a"), pageAllowed);
        QVERIFY(r.allowed("/robots.txt"));
    }
};

QTEST_GUILESS_MAIN(TestRobotsTxt)
#include "tst_robotstxt.moc"
