// The headless harvest killed (SIGKILL) at random moments, several times in a row: after
// each kill the database opens, passes SQLite's integrity check and holds every number the
// harvest had reported as stored; --resume carries on from what was saved, and when the
// last run ends every number of the web is stored: no queued site was lost to a kill.

#include "globals.h"
#include "harvestsession.h"
#include "resolvemap.h"
#include "settingsstore.h"
#include "sqlitestore.h"
#include "storetestkit.h"
#include "testenv.h"
#include "testwebserver.h"
#include "textlist.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

namespace {

constexpr int kSites = 120;

QString numberOf(int site, int page)
{
    return QStringLiteral("718-555-%1").arg(2 * site + page, 4, 10, QLatin1Char('0'));
}

// Each site: a start page that links a second page, a number on each, every answer a
// little late so that a harvest of the whole web lasts a few seconds.
void buildWeb(TestWebServer &web)
{
    for (int i = 0; i < kSites; ++i) {
        const QByteArray host = "k" + QByteArray::number(i).rightJustified(3, '0') + ".test";
        TestWebServer::Response r;
        r.fault = TestWebServer::Fault::Delay;
        r.delayMs = 150 + 25 * (i % 7);
        r.body = "<html><body><p>Fax: " + numberOf(i, 0).toLatin1() +
                 "</p>\r\n<a href=\"more.htm\">more</a></body></html>";
        web.addResponse(host, "/", r);
        r.body = "<html><body><p>Fax: " + numberOf(i, 1).toLatin1() + "</p></body></html>";
        web.addResponse(host, "/more.htm", r);
    }
}

struct Check
{
    bool opened = false;
    QString integrity;
    QStringList faxes;
    int backlog = 0;
    int pending = 0;
};

Check inspect(const QString &dataDir, int round)
{
    Check c;
    const QString name = QStringLiteral("inspect%1").arg(round);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(QDir(dataDir).filePath(QStringLiteral("varnel.mdb")));
        c.opened = db.open();
        QSqlQuery q(db);
        if (q.exec(QStringLiteral("PRAGMA integrity_check")) && q.next())
            c.integrity = q.value(0).toString();
        q.exec(QStringLiteral("SELECT fax FROM faxes"));
        while (q.next())
            c.faxes << q.value(0).toString();
        if (q.exec(QStringLiteral("SELECT count(*) FROM websites")) && q.next())
            c.backlog = q.value(0).toInt();
        if (q.exec(QStringLiteral("SELECT count(*) FROM pending")) && q.next())
            c.pending = q.value(0).toInt();
    }
    QSqlDatabase::removeDatabase(name);
    return c;
}

} // namespace

class TestKillHarvest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    // The same without a process: a session that goes without its shutdown (as a kill
    // leaves the store) while its slots download and List2 holds the head of the queue.
    void sessionGoneWithoutShutdown_nextStartHasEverySite()
    {
        TempDataDir dir;
        TestWebServer web;
        QVERIFY(web.listen());
        TestWebServer::Response silent;
        silent.fault = TestWebServer::Fault::NoAnswer;
        web.setFallback(silent);
        QStringList queued;
        {
            SqliteStore db(dir.path());
            QString search = QStringLiteral("plumbers");
            (void)db.addSearch(search);
            for (int i = 0; i < 40; ++i) {
                QString site = QStringLiteral("s%1.test").arg(i);
                queued << site;
                (void)db.addWebsite(site);
            }
        }
        ResolveMap map;
        map.add(web.resolveSpec());
        {
            SettingsStore settings(SettingsStore::iniPathForDataDir(dir.path()));
            HarvestSession session(std::make_unique<SqliteStore>(dir.path()), dir.path(),
                                   &settings);
            session.setResolveMap(map);
            session.load();
            session.resume();
            QTRY_COMPARE(web.requests().size(), HarvestSession::SlotCount);
            QVERIFY(!session.siteQueue()->isEmpty());
        } // no Form_Unload

        SettingsStore settings(SettingsStore::iniPathForDataDir(dir.path()));
        HarvestSession session(std::make_unique<SqliteStore>(dir.path()), dir.path(), &settings);
        session.load();
        QVERIFY(session.canResume());
        QStringList seen = session.siteQueue()->items();
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("gone"));
        db.setDatabaseName(session.store()->location());
        QVERIFY(db.open());
        {
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("SELECT website FROM websites")));
            while (q.next())
                seen << q.value(0).toString();
        }
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("gone"));
        seen.sort();
        queued.sort();
        QCOMPARE(seen, queued);
    }

    void killedAtRandom_keepsNumbersAndQueue()
    {
        TempDataDir dir;
        TestWebServer web;
        QVERIFY(web.listen());
        buildWeb(web);
        {
            // A saved queue of every start page, as a stopped harvest leaves it.
            SqliteStore db(dir.path());
            QString search = QStringLiteral("plumbers");
            (void)db.addSearch(search);
            for (int i = 0; i < kSites; ++i) {
                QString site = QStringLiteral("k%1.test").arg(i, 3, 10, QLatin1Char('0'));
                (void)db.addWebsite(site);
            }
        }

        auto *rng = QRandomGenerator::global();
        QSet<QString> reported; // numbers the runs said were stored, over all rounds
        bool finished = false;
        int kills = 0;
        for (int round = 0; round < 8 && !finished; ++round) {
            QProcess tool;
            tool.start(QStringLiteral(VARNEL_TOOL_PATH),
                       {QStringLiteral("harvest"), QStringLiteral("--data-dir"), dir.path(),
                        QStringLiteral("--resume"), QStringLiteral("--print-stored"),
                        QStringLiteral("--resolve"), web.resolveSpec(),
                        QStringLiteral("--no-stop-at-fax")});
            QVERIFY(tool.waitForStarted());
            // The last round runs to its end; the others are killed at a random moment.
            const bool last = round == 7;
            const int killAt = 150 + int(rng->bounded(1200));
            QElapsedTimer t;
            t.start();
            while (tool.state() != QProcess::NotRunning && (last || t.elapsed() < killAt) &&
                   t.elapsed() < 60000)
                QTest::qWait(10);
            if (tool.state() != QProcess::NotRunning) {
                QVERIFY2(!last, "the last run did not end");
                tool.kill();
                QVERIFY(tool.waitForFinished());
                ++kills;
            } else {
                finished = true;
                QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
                QVERIFY2(tool.exitCode() == 0, tool.readAllStandardError().constData());
            }
            const QList<QByteArray> lines = tool.readAllStandardOutput().split('\n');
            for (const QByteArray &l : lines) {
                if (l.startsWith("stored "))
                    reported.insert(QString::fromLatin1(l.mid(7)));
            }

            const Check c = inspect(dir.path(), round);
            QVERIFY(c.opened);
            QCOMPARE(c.integrity, QStringLiteral("ok"));
            const QSet<QString> stored(c.faxes.cbegin(), c.faxes.cend());
            for (const QString &n : qAsConst(reported))
                QVERIFY2(stored.contains(n),
                         qPrintable(QStringLiteral("%1 lost (round %2)").arg(n).arg(round)));
            QCOMPARE(stored.size(), c.faxes.size()); // no number twice
        }
        QVERIFY(finished);
        QVERIFY2(kills >= 3, "too few runs were killed in the middle of the harvest");
        qInfo("%d runs killed, %d numbers reported stored by all runs", kills,
              int(reported.size()));

        // Every number of the web: nothing queued was lost to the kills.
        const Check c = inspect(dir.path(), 99);
        QStringList missing;
        for (int i = 0; i < kSites; ++i) {
            for (int page = 0; page < 2; ++page) {
                const QString n = QStringLiteral("1-") + numberOf(i, page);
                if (!c.faxes.contains(n))
                    missing << n;
            }
        }
        QVERIFY2(missing.isEmpty(),
                 qPrintable(QString::number(missing.size()) + QStringLiteral(" missing: ") +
                            missing.join(QLatin1Char(' '))));
        QCOMPARE(c.backlog, 0);
        QCOMPARE(c.pending, 0); // nothing left to be crawled again at the next start
    }
};

QTEST_GUILESS_MAIN(TestKillHarvest)
#include "tst_killharvest.moc"
