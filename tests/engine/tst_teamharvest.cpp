// A team of four `varnel-tool harvest --store` processes on one server and one nginx web:
// every number is stored once and no page is fetched twice; when one of them is killed, the
// others crawl its sites once its leases have run out.

#include "nginxserver.h"
#include "pgtestserver.h"
#include "postgresstore.h"
#include "settingsstore.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QPointer>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

namespace {

constexpr int kHosts = 24;
constexpr int kHarvesters = 4;
const QString kSearch = QStringLiteral("plumbers");

QString host(int i)
{
    return QStringLiteral("t%1.test").arg(i, 2, 10, QLatin1Char('0'));
}

QString numberOf(int page)
{
    return QStringLiteral("718-555-%1").arg(page, 4, 10, QLatin1Char('0'));
}

// One number on every host's second page: found by several harvesters, stored once.
const QString kShared = QStringLiteral("718-555-0999");

// Each host: a start page linking two pages of its own and two other hosts (so harvesters
// find the same links at the same moment); padded, so that with nginx's rate limit a page
// takes about a second and the team is still at work when one of it is killed.
bool writeWeb(const QString &root)
{
    const QByteArray padding = "<!--" + QByteArray(3000, 'x') + "-->\r\n";
    for (int i = 0; i < kHosts; ++i) {
        QDir dir(root + QLatin1Char('/') + host(i));
        if (!dir.mkpath(QStringLiteral(".")))
            return false;
        const QList<QPair<QString, QByteArray>> pages = {
            {QStringLiteral("index.htm"),
             "<p>Fax: " + numberOf(3 * i).toLatin1() +
                 "</p>\r\n<a href=\"p1.htm\">one</a>\r\n<a href=\"p2.htm\">two</a>\r\n"
                 "<a href=\"http://" +
                 host((i + 1) % kHosts).toLatin1() + "/\">next</a>\r\n<a href=\"http://" +
                 host((i + 5) % kHosts).toLatin1() + "\">far</a>\r\n"},
            {QStringLiteral("p1.htm"), "<p>Fax: " + numberOf(3 * i + 1).toLatin1() + "</p>\r\n"},
            {QStringLiteral("p2.htm"), "<p>Fax: " + numberOf(3 * i + 2).toLatin1() +
                                           "</p>\r\n<p>Fax: " + kShared.toLatin1() + "</p>\r\n"},
        };
        for (const auto &page : pages) {
            QFile f(dir.filePath(page.first));
            if (!f.open(QIODevice::WriteOnly))
                return false;
            f.write("<html><body>\r\n" + page.second + padding + "</body></html>\r\n");
        }
    }
    return true;
}

// The pages of the web as nginx logs them ("host uri").
QSet<QString> everyPage()
{
    QSet<QString> pages;
    for (int i = 0; i < kHosts; ++i) {
        for (const char *uri : {"/", "/p1.htm", "/p2.htm"})
            pages.insert(host(i) + QLatin1Char(' ') + QLatin1String(uri));
    }
    return pages;
}

QSet<QString> everyNumber()
{
    QSet<QString> numbers{QStringLiteral("1-") + kShared};
    for (int p = 0; p < 3 * kHosts; ++p)
        numbers.insert(QStringLiteral("1-") + numberOf(p));
    return numbers;
}

// A TCP relay to the server that the test can cut and restore: the server going away and
// coming back, for one harvester only.
class Relay : public QObject
{
public:
    explicit Relay(quint16 target) : m_target(target)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *in = m_server.nextPendingConnection()) {
                auto *out = new QTcpSocket(in);
                out->connectToHost(QHostAddress::LocalHost, m_target);
                connect(in, &QTcpSocket::readyRead, out, [in, out] { out->write(in->readAll()); });
                connect(out, &QTcpSocket::readyRead, in, [in, out] { in->write(out->readAll()); });
                connect(out, &QTcpSocket::disconnected, in, &QTcpSocket::disconnectFromHost);
                connect(in, &QTcpSocket::disconnected, in, &QObject::deleteLater);
                m_open << in;
            }
        });
    }
    bool listen() { return m_server.listen(QHostAddress::LocalHost, m_port); }
    quint16 port()
    {
        if (m_port == 0 && listen())
            m_port = m_server.serverPort();
        return m_port;
    }
    // Every connection breaks, and no new one is accepted.
    void cut()
    {
        m_server.close();
        for (const QPointer<QTcpSocket> &s : qAsConst(m_open)) {
            if (s)
                s->abort();
        }
        m_open.clear();
    }

private:
    QTcpServer m_server;
    quint16 m_target;
    quint16 m_port = 0;
    QList<QPointer<QTcpSocket>> m_open;
};

} // namespace

class TestTeamHarvest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir{TestEnv::tempRoot() + QStringLiteral("/varnel-team-XXXXXX")};
    std::unique_ptr<NginxServer> m_nginx;
    QList<quint16> m_ports; // one per harvester, so that the log tells who fetched a page
    QString m_log;

    // The fetches of each page since the log was last emptied: the ports they came in on.
    QHash<QString, QList<quint16>> fetches()
    {
        QHash<QString, QList<quint16>> out;
        QFile f(m_log);
        if (!f.open(QIODevice::ReadOnly))
            return out;
        for (const QByteArray &line : f.readAll().split('\n')) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() == 4 && parts.at(3) == "200")
                out[QString::fromLatin1(parts.at(1) + ' ' + parts.at(2))]
                    << quint16(parts.at(0).toUInt());
        }
        return out;
    }

    // The server's store with the team's search string begun: its start pages queued, as
    // the discovery of the harvester that began it leaves them.
    void seed(TestPg::Schema &schema)
    {
        PostgresStore db(schema.uri());
        QString search = kSearch;
        QVERIFY(db.addSearch(search));
        QCOMPARE(db.claimSearch(kSearch), std::optional(Store::SearchClaim::Discover));
        for (int i = 0; i < kHosts; ++i) {
            QString site = host(i);
            QVERIFY(db.addWebsite(site));
        }
        db.discoveryDone();
    }

    std::unique_ptr<QProcess> startHarvester(int k, const QString &uri, const QString &dataDir,
                                             const QStringList &more = {QStringLiteral("--lease"),
                                                                        QStringLiteral("3")})
    {
        auto p = std::make_unique<QProcess>();
        p->start(QStringLiteral(VARNEL_TOOL_PATH),
                 QStringList{QStringLiteral("harvest"), QStringLiteral("--data-dir"), dataDir,
                             QStringLiteral("--store"), uri, QStringLiteral("--print-stored"),
                             QStringLiteral("--resolve"),
                             QStringLiteral("*=127.0.0.1:%1").arg(m_ports.at(k))} +
                     more);
        return p;
    }

    // Waits (bounded) for the process to end while the test's servers keep answering.
    static bool finished(QProcess &p, int ms = 60000)
    {
        QElapsedTimer t;
        t.start();
        while (p.state() != QProcess::NotRunning && t.elapsed() < ms)
            QTest::qWait(20);
        return p.state() == QProcess::NotRunning;
    }

    // Why a harvester did not end: what it said, and what the server holds for the team
    // (the sites queued, who leases the others and for how long, a discovery's lease).
    static QByteArray whyUnfinished(QProcess &p, TestPg::Schema &schema, const QString &dataDir)
    {
        const QString id = SettingsStore(SettingsStore::iniPathForDataDir(dataDir))
                               .read(QStringLiteral("harvesterId"), QString());
        QByteArray why = "the harvester " + id.toUtf8() + " did not end; it said:\n" +
                         p.readAllStandardError().right(6000);
        const QList<QPair<const char *, QString>> queries = {
            {"websites queued", QStringLiteral("SELECT count(*) FROM websites")},
            {"leases", QStringLiteral("SELECT website || ' by ' || leased_by || ' for ' || "
                                      "round(extract(epoch FROM leased_until - now())) || ' s' "
                                      "FROM pending ORDER BY id")},
            {"team", QStringLiteral("SELECT search || ', discovery lease ' || "
                                    "coalesce(discovering_until - now() || '', 'none') "
                                    "FROM team_state")},
        };
        for (const auto &q : queries)
            why += QByteArray("\n") + q.first + ": " +
                   schema.column(q.second).join(QStringLiteral("; ")).toUtf8();
        return why;
    }

    static QSet<QString> storedLines(const QByteArray &out)
    {
        QSet<QString> numbers;
        for (const QByteArray &line : out.split('\n')) {
            if (line.startsWith("stored "))
                numbers.insert(QString::fromLatin1(line.mid(7)));
        }
        return numbers;
    }

private Q_SLOTS:
    void initTestCase()
    {
        TestEnv::enterTestMode();
        QString why;
        if (TestPg::port(&why) == 0)
            QSKIP(qPrintable(why));
        if (NginxServer::executable().isEmpty())
            QSKIP("nginx is not installed");
        TestPg::usePassword();
        const QString root = m_dir.filePath(QStringLiteral("web"));
        QVERIFY(writeWeb(root));
        for (int k = 0; k < kHarvesters; ++k)
            m_ports << NginxServer::freePort();
        QString listen = QStringLiteral("limit_rate 3k;");
        for (quint16 port : qAsConst(m_ports))
            listen += QStringLiteral(" listen 127.0.0.1:%1;").arg(port);
        QList<NginxServer::Site> sites;
        for (int i = 0; i < kHosts; ++i)
            sites.append({host(i), root + QLatin1Char('/') + host(i), listen});
        m_log = m_dir.filePath(QStringLiteral("access.log"));
        m_nginx = std::make_unique<NginxServer>(m_dir.filePath(QStringLiteral("nginx")));
        m_nginx->setAccessLog(m_log);
        QString error;
        QVERIFY2(m_nginx->start(sites, &error), qPrintable(error));
    }
    void cleanupTestCase() { m_nginx.reset(); }
    void init() { QFile(m_log).resize(0); }

    void fourHarvesters_eachPageOnceEachNumberOnce_data()
    {
        QTest::addColumn<bool>("killOne");
        QTest::newRow("all four to the end") << false;
        QTest::newRow("one killed midway") << true;
    }
    void fourHarvesters_eachPageOnceEachNumberOnce()
    {
        QFETCH(bool, killOne);
        TestPg::Schema schema;
        seed(schema);
        std::vector<std::unique_ptr<QTemporaryDir>> dirs;
        std::vector<std::unique_ptr<QProcess>> team;
        auto held = [&](const QString &id) {
            return schema
                .column(
                    QStringLiteral("SELECT count(*) FROM pending WHERE leased_by = '%1'").arg(id))
                .value(0)
                .toInt();
        };
        QString victimId;
        QElapsedTimer clock;
        clock.start();
        for (int k = 0; k < kHarvesters; ++k) {
            dirs.push_back(std::make_unique<QTemporaryDir>(TestEnv::tempRoot() +
                                                           QStringLiteral("/varnel-XXXXXX")));
            team.push_back(startHarvester(k, schema.uri(), dirs.back()->path()));
            QVERIFY(team.back()->waitForStarted());
            // The one to be killed starts first, so that it holds a share of the sites.
            while (killOne && k == 0 && clock.elapsed() < 20000 &&
                   (victimId.isEmpty() || held(victimId) == 0)) {
                QTest::qWait(20);
                victimId = SettingsStore(SettingsStore::iniPathForDataDir(dirs.front()->path()))
                               .read(QStringLiteral("harvesterId"), QString());
            }
        }
        QProcess &victim = *team.front();
        auto running = [&] {
            for (const auto &p : team) {
                if (p->state() != QProcess::NotRunning)
                    return true;
            }
            return false;
        };
        bool victimStored = false;
        bool killed = false;
        while (running() && clock.elapsed() < 60000) {
            // Killed once it has stored something, at a moment it holds sites.
            if (killOne && !killed && victim.state() == QProcess::Running) {
                victimStored = victimStored || victim.readAllStandardOutput().contains("stored ");
                if (victimId.isEmpty())
                    victimId = SettingsStore(SettingsStore::iniPathForDataDir(dirs.front()->path()))
                                   .read(QStringLiteral("harvesterId"), QString());
                if (victimStored && !victimId.isEmpty() && held(victimId) > 0) {
                    victim.kill();
                    QVERIFY(victim.waitForFinished());
                    killed = true;
                    QVERIFY2(held(victimId) > 0, "the harvester held no site when killed");
                }
            }
            QTest::qWait(20);
        }
        if (running()) {
            for (const auto &p : team)
                qWarning().noquote() << p->readAllStandardError().left(6000);
            // What the team left: sites queued, and who holds the others.
            qWarning() << schema.column(QStringLiteral("SELECT count(*) FROM websites"))
                       << schema.column(
                              QStringLiteral("SELECT website || ' ' || leased_by FROM pending"));
        }
        QVERIFY2(!running(), "the team did not finish");
        QCOMPARE(killed, killOne);
        for (size_t k = killOne ? 1 : 0; k < team.size(); ++k) {
            QCOMPARE(team[k]->exitStatus(), QProcess::NormalExit);
            QVERIFY2(team[k]->exitCode() == 0, team[k]->readAllStandardError().constData());
        }

        const QStringList faxes = schema.column(QStringLiteral("SELECT fax FROM faxes"));
        QCOMPARE(QSet<QString>(faxes.cbegin(), faxes.cend()), everyNumber());
        QCOMPARE(faxes.size(), everyNumber().size());
        QCOMPARE(schema.column(QStringLiteral("SELECT (SELECT count(*) FROM websites) + "
                                              "(SELECT count(*) FROM pending)")),
                 QStringList{QStringLiteral("0")});

        const QHash<QString, QList<quint16>> fetched = fetches();
        QCOMPARE(QSet<QString>(fetched.keyBegin(), fetched.keyEnd()), everyPage());
        for (auto it = fetched.cbegin(); it != fetched.cend(); ++it) {
            // Only a page the killed harvester had fetched is fetched again, once.
            QList<quint16> others = it.value();
            others.removeAll(m_ports.front());
            const bool once = killOne ? others.size() <= 1 : it.value().size() == 1;
            QVERIFY2(once, qPrintable(it.key() +
                                      QStringLiteral(" fetched %1 times").arg(it.value().size())));
        }
        // The team shared the work. How many of the four got a share depends on how fast each
        // process starts on a loaded machine (the first can take every start page before the
        // last is up), so only sharing itself is asserted.
        QSet<quint16> ports;
        for (const QList<quint16> &p : fetched)
            ports += QSet<quint16>(p.cbegin(), p.cend());
        QVERIFY2(ports.size() >= 2, qPrintable(QString::number(ports.size())));
    }

    // The server cannot be reached at the start: the harvest says which server and why, and
    // writes no database file instead. The server goes away during the harvest: it stops at
    // the first failed operation and says why, every number it reported stored is on the
    // server, and --resume in the same data folder finishes the queue once it is back.
    void serverLost_stopsSaysWhyAndResumes()
    {
        TestPg::Schema schema;
        seed(schema);
        Relay relay{quint16(TestPg::port())};
        const quint16 relayPort = relay.port();
        relay.cut();
        QString uri = schema.uri();
        uri.replace(QStringLiteral(":%1/").arg(TestPg::port()),
                    QStringLiteral(":%1/").arg(relayPort));
        QTemporaryDir dir(TestEnv::tempRoot() + QStringLiteral("/varnel-XXXXXX"));

        std::unique_ptr<QProcess> h = startHarvester(0, uri, dir.path(), {});
        if (!finished(*h))
            QFAIL(whyUnfinished(*h, schema, dir.path()).constData());
        QCOMPARE(h->exitCode(), 1);
        QByteArray err = h->readAllStandardError();
        QVERIFY2(err.contains("127.0.0.1 port " + QByteArray::number(relayPort)) &&
                     err.contains("cannot be reached"),
                 err.constData());
        QVERIFY(!QFile::exists(QDir(dir.path()).filePath(QStringLiteral("varnel.mdb"))));

        QVERIFY(relay.listen());
        h = startHarvester(0, uri, dir.path(), {});
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (storedLines(out).size() < 5 && h->state() != QProcess::NotRunning &&
               t.elapsed() < 30000) {
            QTest::qWait(10);
            out += h->readAllStandardOutput();
        }
        QVERIFY2(storedLines(out).size() >= 5, "nothing stored before the server went away");
        relay.cut();
        if (!finished(*h))
            QFAIL(whyUnfinished(*h, schema, dir.path()).constData());
        out += h->readAllStandardOutput();
        err = h->readAllStandardError();
        QCOMPARE(h->exitCode(), 1);
        QVERIFY2(err.contains("127.0.0.1 port " + QByteArray::number(relayPort)), err.constData());
        const QSet<QString> reported = storedLines(out);
        QStringList faxes = schema.column(QStringLiteral("SELECT fax FROM faxes"));
        QVERIFY(QSet<QString>(faxes.cbegin(), faxes.cend()).contains(reported));
        QVERIFY(faxes.size() < everyNumber().size());

        QVERIFY(relay.listen());
        h = startHarvester(0, uri, dir.path(), {QStringLiteral("--resume")});
        if (!finished(*h))
            QFAIL(whyUnfinished(*h, schema, dir.path()).constData());
        QVERIFY2(h->exitCode() == 0, h->readAllStandardError().constData());
        faxes = schema.column(QStringLiteral("SELECT fax FROM faxes"));
        const QSet<QString> missing = everyNumber() - QSet<QString>(faxes.cbegin(), faxes.cend());
        QVERIFY2(missing.isEmpty(),
                 qPrintable(QStringList(missing.cbegin(), missing.cend()).join(QLatin1Char(' ')) +
                            QLatin1Char('\n') + QString::fromLocal8Bit(err)));
        QCOMPARE(faxes.size(), everyNumber().size());
    }
};

QTEST_GUILESS_MAIN(TestTeamHarvest)
#include "tst_teamharvest.moc"
