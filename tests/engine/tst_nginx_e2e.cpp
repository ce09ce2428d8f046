// End to end against a real nginx: a generated web of several hosts, links between them,
// numbers in the layouts the fax scan reads, pages behind redirects (one to HTTPS). Every
// number reachable by links must be stored exactly once, with its page, search string and
// label; with redirects followed and without.

#include "areacodetable.h"
#include "enginetestkit.h"
#include "nginxserver.h"

#include <QSet>
#include <QtTest>

namespace {

const QStringList kHosts{QStringLiteral("alpha.example"), QStringLiteral("beta.example"),
                         QStringLiteral("gamma.example"), QStringLiteral("delta.example"),
                         QStringLiteral("epsilon.example")};
constexpr int kPages = 40;  // p0..p39 on every host, plus its index page
constexpr int kBehind = 10; // r0..r9 behind a 301 on delta, s0..s9 behind a 302 to HTTPS on epsilon
const int kAreaCodes[] = {212, 415, 312, 617, 713, 800, 305, 206, 404, 503};
const char *const kSearch = "e2e plumbers";

QString labelOf(int code)
{
    for (int i = 0; i < kAreaCodeCount; ++i) {
        if (kAreaCodeTable[i].code == code)
            return QString::fromLatin1(kAreaCodeTable[i].description);
    }
    return QStringLiteral("Unknown/International");
}

struct Page
{
    QString address; // host + path as fetched (the stored website)
    QString file;    // below the document root
    bool tls = false;
    QStringList links;      // href texts, as written
    QList<int> edges;       // pages the links lead to
    QList<bool> redirected; // ... through a redirect
    QString fax;            // stored form
    QString label;
};

class GeneratedWeb
{
public:
    QList<Page> pages;
    QHash<QString, int> byAddress;

    int add(const QString &host, const QString &path, bool tls = false)
    {
        Page p;
        p.address = host + path;
        p.file =
            host + (path.endsWith(QLatin1Char('/')) ? path + QStringLiteral("index.htm") : path);
        p.tls = tls;
        const int n = int(pages.size());
        const int code = kAreaCodes[n % 10];
        p.fax = QStringLiteral("1-%1-555-%2").arg(code).arg(n, 4, 10, QLatin1Char('0'));
        p.label = labelOf(code);
        pages.append(p);
        byAddress.insert(p.address, n);
        return n;
    }
    void link(int from, const QString &href, int to, bool redirected = false)
    {
        pages[from].links << href;
        pages[from].edges << to;
        pages[from].redirected << redirected;
    }

    GeneratedWeb()
    {
        for (const QString &h : kHosts) {
            add(h, QStringLiteral("/"));
            for (int k = 0; k < kPages; ++k)
                add(h, QStringLiteral("/p%1.htm").arg(k));
        }
        for (int j = 0; j < kBehind; ++j)
            add(QStringLiteral("delta.example"), QStringLiteral("/r%1.htm").arg(j));
        for (int j = 0; j < kBehind; ++j)
            add(QStringLiteral("epsilon.example"), QStringLiteral("/s%1.htm").arg(j), true);
        auto at = [this](const QString &h, const QString &path) {
            return byAddress.value(h + path);
        };
        for (int hi = 0; hi < kHosts.size(); ++hi) {
            const QString h = kHosts.at(hi), next = kHosts.at((hi + 1) % kHosts.size());
            const int index = at(h, QStringLiteral("/"));
            link(index, QStringLiteral("p0.htm"), at(h, QStringLiteral("/p0.htm")));
            link(index, QStringLiteral("p1.htm"), at(h, QStringLiteral("/p1.htm")));
            link(index, QStringLiteral("http://%1/").arg(next), at(next, QStringLiteral("/")));
            for (int k = 0; k < kPages; ++k) {
                const int p = at(h, QStringLiteral("/p%1.htm").arg(k));
                for (int d : {1, 2}) {
                    if (k + d < kPages)
                        link(p, QStringLiteral("p%1.htm").arg(k + d),
                             at(h, QStringLiteral("/p%1.htm").arg(k + d)));
                }
                const int cross = (k * 7) % kPages;
                link(p, QStringLiteral("http://%1/p%2.htm").arg(next).arg(cross),
                     at(next, QStringLiteral("/p%1.htm").arg(cross)));
                if (k % 3 == 0) {
                    const int back = (k + 5) % kPages;
                    link(p, QStringLiteral("/p%1.htm").arg(back),
                         at(h, QStringLiteral("/p%1.htm").arg(back)));
                }
            }
        }
        const int d0 = at(QStringLiteral("delta.example"), QStringLiteral("/p0.htm"));
        link(d0, QStringLiteral("http://delta.example/go/r0.htm"),
             at(QStringLiteral("delta.example"), QStringLiteral("/r0.htm")), true);
        const int e0 = at(QStringLiteral("epsilon.example"), QStringLiteral("/p0.htm"));
        link(e0, QStringLiteral("http://epsilon.example/secure/s0.htm"),
             at(QStringLiteral("epsilon.example"), QStringLiteral("/s0.htm")), true);
        for (int j = 0; j + 1 < kBehind; ++j) {
            link(at(QStringLiteral("delta.example"), QStringLiteral("/r%1.htm").arg(j)),
                 QStringLiteral("/go/r%1.htm").arg(j + 1),
                 at(QStringLiteral("delta.example"), QStringLiteral("/r%1.htm").arg(j + 1)), true);
            link(at(QStringLiteral("epsilon.example"), QStringLiteral("/s%1.htm").arg(j)),
                 QStringLiteral("/secure/s%1.htm").arg(j + 1),
                 at(QStringLiteral("epsilon.example"), QStringLiteral("/s%1.htm").arg(j + 1)),
                 true);
        }
    }

    static QString layout(int n, const QString &number) // number "AAA-555-NNNN"
    {
        const QString a = number.left(3), e = number.mid(4, 3), l = number.mid(8);
        switch (n % 10) {
        case 0:
            return QStringLiteral("Fax: (%1) %2-%3").arg(a, e, l);
        case 1:
            return QStringLiteral("Fax: %1.%2.%3").arg(a, e, l);
        case 2:
            return QStringLiteral("FAX:%1-%2-%3").arg(a, e, l);
        case 3:
            return QStringLiteral("Fax 1-%1-%2-%3").arg(a, e, l);
        case 4:
            return QStringLiteral("Fax: 1 (%1) %2-%3").arg(a, e, l);
        case 5:
            return QStringLiteral("Fax: %1 %2 %3 ext 12").arg(a, e, l);
        case 6:
            return QStringLiteral("Fax: %1 - %2 - %3").arg(a, e, l);
        case 7:
            return QStringLiteral("Fax/Phone %1-%2-%3").arg(a, e, l);
        case 8:
            return QStringLiteral("Fax: +1 %1 %2 %3 x12").arg(a, e, l);
        default:
            return QStringLiteral("Fax%20%1%20%2%20%3").arg(a, e, l);
        }
    }

    bool write(const QString &root) const
    {
        for (int n = 0; n < pages.size(); ++n) {
            const Page &p = pages.at(n);
            QString html =
                QStringLiteral("<html><head><title>%1</title></head><body>\r\n<h1>Page %2</h1>\r\n")
                    .arg(p.address)
                    .arg(n);
            html += QStringLiteral("<p>Phone 212-555-9999</p>\r\n<p>%1</p>\r\n")
                        .arg(layout(n, p.fax.mid(2)));
            html += QStringLiteral("<p>ZZZ</p>\r\n");
            for (const QString &href : p.links)
                html += QStringLiteral("<a href=\"%1\">more</a> ").arg(href);
            html += QStringLiteral("\r\n</body></html>\r\n");
            const QString path =
                root + (p.tls ? QStringLiteral("/tls/") : QStringLiteral("/www/")) + p.file;
            QDir().mkpath(QFileInfo(path).path());
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly) || f.write(html.toLatin1()) < 0)
                return false;
        }
        return true;
    }

    // Pages reachable from the index pages; redirects only when followed.
    QSet<int> reachable(bool follow) const
    {
        QSet<int> seen;
        QList<int> todo;
        for (const QString &h : kHosts)
            todo << byAddress.value(h + QStringLiteral("/"));
        while (!todo.isEmpty()) {
            const int p = todo.takeFirst();
            if (seen.contains(p))
                continue;
            seen.insert(p);
            for (int i = 0; i < pages.at(p).edges.size(); ++i) {
                if (follow || !pages.at(p).redirected.at(i))
                    todo << pages.at(p).edges.at(i);
            }
        }
        return seen;
    }
};

} // namespace

class TestNginxEndToEnd : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir{TestEnv::tempRoot() + QStringLiteral("/varnel-nginx-XXXXXX")};
    std::unique_ptr<NginxServer> m_nginx;
    GeneratedWeb m_web;

private Q_SLOTS:
    void initTestCase()
    {
        TestEnv::enterTestMode();
        if (NginxServer::executable().isEmpty())
            QSKIP("nginx is not installed");
        QVERIFY(m_web.pages.size() >= 200);
        QVERIFY(m_web.write(m_dir.path()));
        const QString www = m_dir.path() + QStringLiteral("/www/");
        QList<NginxServer::Site> sites;
        for (const QString &h : kHosts)
            sites.append({h, www + h, QString(), false});
        sites[3].extraConfig = QStringLiteral(
            "location /go/ { rewrite ^/go/(.*)$ http://delta.example/$1 permanent; }");
        sites[4].extraConfig = QStringLiteral(
            "location /secure/ { rewrite ^/secure/(.*)$ https://epsilon.example/$1 redirect; }");
        // Over TLS the pages are rewritten on the fly, so nginx sends them chunked.
        sites.append({QStringLiteral("epsilon.example"),
                      m_dir.path() + QStringLiteral("/tls/epsilon.example"),
                      QStringLiteral("sub_filter 'ZZZ' 'zz'; sub_filter_once off;"), true});
        m_nginx = std::make_unique<NginxServer>(m_dir.path() + QStringLiteral("/nginx"));
        QString error;
        QVERIFY2(m_nginx->start(sites, &error), qPrintable(error));
    }
    void cleanupTestCase() { m_nginx.reset(); }

    void everyReachableNumberOnce_data()
    {
        QTest::addColumn<bool>("follow");
        QTest::newRow("redirects followed") << true;
        QTest::newRow("redirects not followed") << false;
    }
    void everyReachableNumberOnce()
    {
        QFETCH(bool, follow);
        if (follow && !QSslSocket::supportsSsl())
            QSKIP("no TLS backend");
        EngineRig rig;
        ResolveMap plain, tls;
        plain.add(QStringLiteral("*"), QStringLiteral("127.0.0.1"), m_nginx->port());
        tls.add(QStringLiteral("*"), QStringLiteral("127.0.0.1"), m_nginx->tlsPort());
        rig.session.setResolveMap(plain);
        rig.session.setTlsResolveMap(tls);
        rig.presenter.optionClicked(OptionId::FollowRedirects, follow ? 1 : 0);
        rig.presenter.optionClicked(OptionId::SoundOnFaxFound, 0);
        rig.readyToStart({QString::fromLatin1(kSearch)});
        rig.queue(kHosts);
        rig.session.startCrawl();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 60000);
        QCOMPARE(rig.presenter.statusText(2), QStringLiteral("No more websites queued"));
        QVERIFY(rig.session.abandonedHosts().isEmpty());

        QStringList expected;
        const QSet<int> reach = m_web.reachable(follow);
        for (int p : reach) {
            const Page &page = m_web.pages.at(p);
            expected << QStringList{page.fax, page.address, QString::fromLatin1(kSearch),
                                    page.label}
                            .join(QLatin1Char('|'));
        }
        QStringList stored;
        for (const QStringList &row : rig.faxRows())
            stored << row.join(QLatin1Char('|'));
        std::sort(expected.begin(), expected.end());
        std::sort(stored.begin(), stored.end());
        QCOMPARE(stored.size(), expected.size());
        QCOMPARE(stored, expected);
        QCOMPARE(rig.session.counters()->numbersFound(), int(expected.size()));
        QCOMPARE(rig.session.numberPreview()->count(), 21);
        QVERIFY(reach.size() == (follow ? m_web.pages.size() : m_web.pages.size() - 2 * kBehind));
        // Every page once; without redirects followed, the two redirect answers are pages too.
        QCOMPARE(rig.session.counters()->sitesScanned(), int(reach.size()) + (follow ? 0 : 2));
    }
};

QTEST_GUILESS_MAIN(TestNginxEndToEnd)
#include "tst_nginx_e2e.moc"
