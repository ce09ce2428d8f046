// The harvest against a web where most sites misbehave (silence, trickle, connections that
// never close, no blank line, oversize bodies, resets, refused connections, garbage bytes,
// a header of 1 MiB, 100,000 links on one line, redirect loops) with well-behaved sites
// mixed in: it reaches the end of its queue, no slot is ever left without its watchdogs,
// and every well-behaved site is harvested completely. The long run is bench/soak/.

#include "enginetestkit.h"
#include "hostileweb.h"

#include <QtTest>

class TestHostileSoak : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void hostileQueue_reachesItsEnd_goodSitesComplete()
    {
        EngineRig rig;
        const HostileWeb web = HostileWeb::build(rig.web, HostileWeb::mixOf(240), 7);
        ResolveMap map;
        web.addResolveEntries(&map, rig.web);
        rig.session.setResolveMap(map);

        QString search = QStringLiteral("soak");
        (void)rig.db()->addSearch(search);
        rig.queue(web.queue());
        rig.session.load();
        QVERIFY(rig.presenter.isEnabled(HarvestPresenter::Button::Resume));
        QCOMPARE(rig.session.options()->value(OptionId::FollowRedirects), 1);
        // Shorter watchdogs than a user's harvest, so that a few hundred sites take seconds.
        rig.session.setIdleLimit(2);
        rig.session.setTotalLimit(4);

        // A slot with a connection but no watchdog would never be given up: stuck.
        QStringList stuck;
        QTimer sampler;
        sampler.setInterval(100);
        connect(&sampler, &QTimer::timeout, this, [&] {
            for (int i = 0; i < HarvestSession::SlotCount; ++i) {
                const HarvestSession::SlotInfo info = rig.session.slotInfo(i);
                if (info.connected && !info.watchdogs)
                    stuck << QString::fromLatin1(info.host);
            }
        });
        sampler.start();

        rig.session.resume();
        QTRY_VERIFY_WITH_TIMEOUT(rig.session.state() == HarvestSession::State::Stopped, 180000);
        sampler.stop();

        QVERIFY2(stuck.isEmpty(), qPrintable(stuck.join(QLatin1Char(' '))));
        QCOMPARE(rig.presenter.statusText(2), QStringLiteral("No more websites queued"));
        QCOMPARE(rig.db()->countWebsites().value_or(-1), 0);
        QVERIFY(rig.session.siteQueue()->isEmpty());
        for (int i = 0; i < HarvestSession::SlotCount; ++i) {
            const HarvestSession::SlotInfo info = rig.session.slotInfo(i);
            QVERIFY(!info.connected && !info.watchdogs);
        }
        // Every site was asked for (a refused one cannot be seen by the server).
        for (const HostileWeb::Site &site : web.sites()) {
            if (site.kind != HostileWeb::Kind::Refused)
                QVERIFY2(rig.web.requestCount(site.address.toLatin1(), "/") >= 1,
                         qPrintable(site.address));
        }
        // The well-behaved sites: both pages fetched once, both numbers stored, never given up.
        const QStringList stored = rig.storedFaxes();
        QStringList missing;
        for (const QString &number : web.goodNumbers()) {
            if (!stored.contains(number))
                missing << number;
        }
        if (!missing.isEmpty())
            qWarning() << "stored" << stored.size() << stored.mid(0, 10);
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char(' '))));
        for (const QString &host : web.goodHosts()) {
            QCOMPARE(rig.web.requestCount(host.toLatin1(), "/"), 1);
            QCOMPARE(rig.web.requestCount(host.toLatin1(), "/contact.htm"), 1);
            QVERIFY(!rig.session.abandonedHosts().contains(host.toLatin1()));
        }
    }
};

QTEST_GUILESS_MAIN(TestHostileSoak)
#include "tst_hostilesoak.moc"
