// Session control: start-up, the buttons and their enabled states,
// the messages, the options and their storage, and shutdown.

#include "enginetestkit.h"

#include <QtTest>

using B = HarvestPresenter::Button;
using O = OptionId;
using S = HarvestSession::State;

namespace {

TestWebServer::Response silent()
{
    TestWebServer::Response r;
    r.fault = TestWebServer::Fault::NoAnswer;
    return r;
}

QStringList names(int n, const QString &pattern = QStringLiteral("n%1.example"))
{
    QStringList out;
    for (int i = 0; i < n; ++i)
        out << pattern.arg(i);
    return out;
}

} // namespace

class TestSession : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void firstStart()
    {
        EngineRig rig;
        rig.settings.write(QStringLiteral("lHistEmailFound"), QStringLiteral("37"));
        rig.session.load();
        HarvestSession &e = rig.session;
        QCOMPARE(e.options()->value(O::SearchEngine), -1);
        QCOMPARE(rig.presenter.choiceText(O::SearchEngine), QStringLiteral("Which Search Type?"));
        QCOMPARE(e.options()->value(O::ResultCount), -1);
        QCOMPARE(rig.presenter.choiceText(O::ResultCount), QStringLiteral("How Many Results?"));
        QCOMPARE(e.options()->value(O::AutoAdvance), 0);
        for (O o : {O::AddFaxToSearches, O::AllowInternational, O::SoundOnFaxFound,
                    O::SoundOnNextSearch, O::SoundOnFinished, O::FollowRedirects})
            QCOMPARE(e.options()->value(o), 1);
        QCOMPARE(rig.presenter.choiceText(O::AdvanceAfter), QStringLiteral("10,000"));
        QCOMPARE(e.advanceAfter(), 10000);
        QCOMPARE(rig.presenter.choiceText(O::AfterLastSearch), QStringLiteral("Stop Immediately"));
        QCOMPARE(e.counters()->numbersFoundEver(), 37);
        QCOMPARE(e.counters()->numbersFound(), 0);
        QCOMPARE(rig.enabledButtons(), QStringLiteral("Start Database"));
        QVERIFY(e.searches()->isEmpty() && e.siteQueue()->isEmpty() &&
                e.numberPreview()->isEmpty());
        QCOMPARE(e.idleLimit(), qint16(10));
        QCOMPARE(e.totalLimit(), qint16(30));
        QCOMPARE(e.state(), S::Stopped);
    }

    void startUpWithSavedQueue_data()
    {
        QTest::addColumn<int>("searches");
        QTest::addColumn<int>("backlog");
        QTest::addColumn<int>("head");
        QTest::addColumn<bool>("resume");
        QTest::newRow("thirty queued") << 1 << 30 << 20 << true;
        QTest::newRow("empty backlog") << 1 << 0 << 0 << false;
        QTest::newRow("no search strings") << 0 << 30 << 0 << false;
    }
    void startUpWithSavedQueue()
    {
        QFETCH(int, searches);
        QFETCH(int, backlog);
        QFETCH(int, head);
        QFETCH(bool, resume);
        EngineRig rig;
        for (int i = 0; i < searches; ++i) {
            QString s = QStringLiteral("search %1").arg(i);
            (void)rig.db()->addSearch(s);
        }
        rig.queue(names(backlog));
        rig.session.load();
        QCOMPARE(rig.session.searches()->count(), searches);
        QCOMPARE(rig.session.siteQueue()->items(), names(backlog).mid(backlog - head));
        QCOMPARE(rig.storedWebsites().size(), backlog - head);
        QCOMPARE(rig.presenter.isEnabled(B::Resume), resume);
    }

    void storedOptions()
    {
        EngineRig rig;
        rig.settings.write(QStringLiteral("Combo1"), QStringLiteral("1"));
        rig.settings.write(QStringLiteral("Combo2"), QStringLiteral("9"));     // out of range
        rig.settings.write(QStringLiteral("chkNonUS"), QStringLiteral("abc")); // not a number
        rig.settings.write(QStringLiteral("chkFollow"), QStringLiteral("0"));
        rig.settings.write(QStringLiteral("cmbAdvance"), QStringLiteral("4"));
        rig.settings.write(QStringLiteral("cmbLastSearch"), QStringLiteral("-1"));
        rig.session.load();
        QCOMPARE(rig.presenter.choiceText(O::SearchEngine), QStringLiteral("Yahoo Search"));
        QCOMPARE(rig.presenter.choiceText(O::SearchEngine), QStringLiteral("Yahoo Search"));
        QCOMPARE(rig.session.options()->value(O::ResultCount), -1);
        QCOMPARE(rig.session.options()->value(O::AllowInternational), 1);
        QCOMPARE(rig.session.options()->value(O::FollowRedirects), 0);
        QCOMPARE(rig.session.advanceAfter(), 50000);
        QCOMPARE(rig.session.options()->value(O::AfterLastSearch), -1);
        QCOMPARE(rig.presenter.choiceText(O::AfterLastSearch), QStringLiteral("cmbLastSearch"));
    }

    void optionHandlersWriteThrough()
    {
        EngineRig rig;
        rig.session.load();
        auto stored = [&rig](const char *key) {
            return rig.settings.read(QLatin1String(key), QStringLiteral("absent"));
        };
        rig.presenter.optionClicked(OptionId::AdvanceAfter, 4);
        QCOMPARE(stored("cmbAdvance"), QStringLiteral("4"));
        QCOMPARE(rig.session.advanceAfter(), 50000);
        rig.presenter.optionClicked(OptionId::ResultCount, 5);
        QCOMPARE(stored("Combo2"), QStringLiteral("5"));
        QCOMPARE(rig.session.options()->value(O::ResultCount), 5);
        rig.presenter.optionClicked(OptionId::FollowRedirects, 0);
        QCOMPARE(stored("chkFollow"), QStringLiteral("0"));
        rig.presenter.optionClicked(OptionId::SoundOnFinished, 0);
        QCOMPARE(stored("chkAudioFinished"), QStringLiteral("0"));
        // A picked "After last search:" item is kept for the next start.
        rig.presenter.optionClicked(OptionId::AfterLastSearch, 1);
        QCOMPARE(stored("cmbLastSearch"), QStringLiteral("1"));
        // Typed text picks nothing: stored as -1 for this combo, not stored for the others.
        rig.presenter.choiceTextEdited(O::AfterLastSearch, QStringLiteral("Stop"));
        QCOMPARE(stored("cmbLastSearch"), QStringLiteral("-1"));
        QCOMPARE(rig.session.options()->value(O::AfterLastSearch), -1);
        rig.presenter.optionClicked(OptionId::SearchEngine, 0);
        rig.presenter.choiceTextEdited(O::SearchEngine, QStringLiteral("Bing"));
        QCOMPARE(rig.session.options()->value(O::SearchEngine), -1);
        QCOMPARE(rig.presenter.choiceText(O::SearchEngine), QStringLiteral("Bing"));
        QCOMPARE(stored("Combo1"), QStringLiteral("0"));
        // The next start shows what was stored.
        HarvestSession again(std::make_unique<SqliteStore>(rig.dir.path()), rig.dir.path(),
                             &rig.settings);
        again.load();
        QCOMPARE(again.advanceAfter(), 50000);
        QCOMPARE(again.options()->value(O::SearchEngine), 0);
        QCOMPARE(again.options()->value(O::AfterLastSearch), -1);
        QCOMPARE(again.options()->value(O::FollowRedirects), 0);
    }

    // A start without a choice it needs is refused with a message and the focus on that
    // choice. With the reference options the queue is emptied first, as the original did;
    // otherwise a refused start changes nothing and the saved queue can still be resumed.
    void startValidation_data()
    {
        QTest::addColumn<bool>("reference");
        QTest::addColumn<int>("searches");
        QTest::addColumn<int>("combo1");
        QTest::addColumn<int>("combo2");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("focus");
        const QString noSearch =
            QStringLiteral("Please enter at least one search term before begining your search.");
        const QString noEngine =
            QStringLiteral("Please enter a search type before begining your search.");
        const QString noCount = QStringLiteral(
            "Please select the number of search results to retrieve before begining your search.");
        for (const bool reference : {true, false}) {
            const QByteArray mode = reference ? "reference: " : "";
            QTest::newRow(mode + "no search string")
                << reference << 0 << 0 << 0 << noSearch << int(HarvestPresenter::Focus::NewSearch);
            QTest::newRow(mode + "no engine") << reference << 2 << -1 << 0 << noEngine
                                              << int(HarvestPresenter::Focus::SearchEngine);
            QTest::newRow(mode + "no count") << reference << 1 << 1 << -1 << noCount
                                             << int(HarvestPresenter::Focus::ResultCount);
        }
    }
    void startValidation()
    {
        QFETCH(bool, reference);
        QFETCH(int, searches);
        QFETCH(int, combo1);
        QFETCH(int, combo2);
        QFETCH(QString, message);
        QFETCH(int, focus);
        EngineRig rig;
        QString s = QStringLiteral("old search");
        (void)rig.db()->addSearch(s);
        rig.queue(names(30));
        rig.session.load();
        rig.presenter.optionClicked(OptionId::FollowRedirects, reference ? 0 : 1);
        rig.session.searches()->clear();
        for (int i = 0; i < searches; ++i)
            rig.session.searches()->addItem(QStringLiteral("s%1").arg(i));
        if (combo1 >= 0)
            rig.presenter.optionClicked(OptionId::SearchEngine, combo1);
        if (combo2 >= 0)
            rig.presenter.optionClicked(OptionId::ResultCount, combo2);
        QCOMPARE(rig.enabledButtons(), QStringLiteral("Start Resume Database"));
        const QStringList head = rig.session.siteQueue()->items();
        QSignalSpy focused(&rig.presenter, &HarvestPresenter::focusRequested);
        rig.presenter.startClicked();
        QCOMPARE(rig.messages.texts(), QStringList{message});
        QCOMPARE(focused.size(), 1);
        QCOMPARE(int(focused.first().at(0).value<HarvestPresenter::Focus>()), focus);
        if (reference) {
            // Start emptied the queue even though it goes no further; nothing runs, so the
            // numbers' buttons are back.
            QVERIFY(rig.storedWebsites().isEmpty() && rig.session.siteQueue()->isEmpty());
            QCOMPARE(rig.enabledButtons(), QStringLiteral("Start Database"));
            QCOMPARE(rig.sound.names(), QStringList{QStringLiteral("nextsearch.wav")});
        } else {
            QCOMPARE(rig.storedWebsites().size() + rig.session.siteQueue()->count(), 30);
            QCOMPARE(rig.session.siteQueue()->items(), head);
            QCOMPARE(rig.enabledButtons(), QStringLiteral("Start Resume Database"));
            QVERIFY(rig.sound.names().isEmpty());
        }
        QCOMPARE(rig.builder.loads, 0);
        QCOMPARE(rig.session.state(), S::Stopped);
    }

    void startRunsDiscoveryThenHarvest()
    {
        EngineRig rig;
        rig.web.setFallback(silent());
        rig.builder.namesFor.insert(QStringLiteral("plumbers"), names(21));
        rig.readyToStart({QStringLiteral("plumbers"), QStringLiteral("roofers")});
        rig.presenter.startClicked();
        QCOMPARE(rig.session.discoverySearch(), QStringLiteral("plumbers"));
        QCOMPARE(rig.builder.loads, 1);
        QCOMPARE(rig.builder.shows, 1);
        QCOMPARE(rig.session.state(), S::Discovering);
        // While sites are looked up, Stop ends it; the status bar says what runs.
        QCOMPARE(rig.enabledButtons(), QStringLiteral("Stop"));
        QCOMPARE(rig.presenter.statusText(1), QStringLiteral("Looking up sites for: plumbers"));
        QTRY_COMPARE(rig.session.state(), S::Harvesting);
        QCOMPARE(rig.enabledButtons(), QStringLiteral("Stop Next"));
        QCOMPARE(rig.session.harvestSearch(), QStringLiteral("plumbers"));
        QCOMPARE(rig.session.counters()->sitesFound(), 21);
        // Stop: the queue is kept for Resume.
        const int progress = rig.presenter.progress();
        rig.presenter.stopClicked();
        QCOMPARE(rig.enabledButtons(), QStringLiteral("Start Resume Database"));
        QCOMPARE(rig.presenter.statusText(1), QStringLiteral("Stopped"));
        QCOMPARE(rig.presenter.progress(), progress); // a full bar would read as finished
        QVERIFY(!rig.session.anySlotBusy());
        QCOMPARE(rig.sound.names(),
                 (QStringList{QStringLiteral("nextsearch.wav"), QStringLiteral("finished.wav")}));
        rig.session.resume();
        QCOMPARE(rig.enabledButtons(), QStringLiteral("Stop Next"));
        QVERIFY(rig.session.anySlotBusy());
        rig.presenter.stopClicked();
    }

    // A text is cleared when the state it tells of ends: what the end of the last harvest
    // said is not shown beside the lookup of sites or the downloads of the next one.
    void statusTexts_endWithTheirState()
    {
        EngineRig rig;
        rig.web.setFallback(silent());
        rig.builder.autoFinish = false;
        rig.readyToStart();
        rig.session.startCrawl(); // nothing queued: the queue runs dry at once
        QCOMPARE(rig.presenter.statusText(2), QStringLiteral("No more websites queued"));
        QCOMPARE(rig.presenter.statusText(3), QStringLiteral("Try a different search"));
        rig.presenter.startClicked();
        QCOMPARE(rig.presenter.statusText(1), QStringLiteral("Looking up sites for: plumbers"));
        QCOMPARE(rig.presenter.statusText(2), QString());
        QCOMPARE(rig.presenter.statusText(3), QString());
        rig.builder.namesFor.insert(QStringLiteral("plumbers"), names(21));
        rig.builder.finishRun();
        QCOMPARE(rig.session.state(), S::Harvesting);
        QVERIFY(rig.presenter.statusText(1).startsWith(QStringLiteral("Downloading: ")));
        QCOMPARE(rig.presenter.statusText(2), QString());
        QCOMPARE(rig.presenter.statusText(3), QString());
        rig.presenter.stopClicked();
    }

    void startAgainWhileARunIsLoaded()
    {
        EngineRig rig;
        rig.builder.autoFinish = false;
        rig.readyToStart();
        rig.presenter.startClicked();
        // A start while the run's window is still loaded shows it again and starts no run.
        rig.presenter.startClicked();
        QCOMPARE(rig.builder.loads, 1);
        QCOMPARE(rig.builder.shows, 2);
        // Stop ends the run: the window goes, no harvest starts, and Start works again.
        QSignalSpy harvesting(&rig.session, &HarvestSession::harvestingChanged);
        rig.presenter.stopClicked();
        QCOMPARE(rig.session.state(), S::Stopped);
        QVERIFY(!rig.builder.isLoaded());
        QCOMPARE(rig.enabledButtons(), QStringLiteral("Start Database"));
        QCOMPARE(rig.presenter.statusText(1), QStringLiteral("Stopped"));
        QVERIFY(harvesting.isEmpty());
        rig.builder.namesFor.insert(QStringLiteral("plumbers"), names(21));
        rig.web.setFallback(silent());
        rig.presenter.startClicked();
        QCOMPARE(rig.builder.loads, 2);
        rig.builder.finishRun();
        QCOMPARE(rig.session.state(), S::Harvesting);
        rig.presenter.stopClicked();
    }

    void discoveryGivesUp()
    {
        EngineRig rig;
        rig.builder.namesFor.insert(QStringLiteral("plumbers"), names(20));
        rig.readyToStart();
        rig.presenter.startClicked();
        QTRY_COMPARE(rig.session.state(), S::Stopped);
        QCOMPARE(rig.presenter.statusText(2), QStringLiteral("Not enough results"));
        QCOMPARE(rig.presenter.statusText(3), QStringLiteral("Add more search terms"));
        QVERIFY(!rig.builder.isLoaded());
    }

    // What follows a discovery run is the engine's: the crawl, the next search string, or a
    // stop with the reason in the status bar.
    void discoveryOutcome_data()
    {
        QTest::addColumn<int>("found");
        QTest::addColumn<int>("kind"); // -1: as the names say
        QTest::addColumn<QStringList>("searches");
        QTest::addColumn<QString>("panel2");
        QTest::addColumn<QString>("panel3");
        QTest::addColumn<QStringList>("list1After");
        const QStringList one{"plumbers"};
        const QStringList three{"plumbers", "roofers", "masons"};
        const QString notEnough = QStringLiteral("Not enough results");
        QTest::newRow("21 names hand back") << 21 << -1 << one << QString() << QString() << one;
        QTest::newRow("20 names, last search")
            << 20 << -1 << one << notEnough << QStringLiteral("Add more search terms") << one;
        QTest::newRow("20 names, more searches")
            << 20 << -1 << three << notEnough << QStringLiteral("Trying next search")
            << QStringList{"roofers", "masons"};
        QTest::newRow("nothing found, more searches")
            << 0 << -1 << QStringList{"plumbers", "roofers"} << notEnough
            << QStringLiteral("Trying next search") << QStringList{"roofers"};
        QTest::newRow("blocked") << 10 << int(DiscoveryOutcome::Kind::Blocked) << one
                                 << QStringLiteral(
                                        "Not enough results: the search engine blocked the search")
                                 << QStringLiteral("Add more search terms") << one;
        QTest::newRow("no answer")
            << 10 << int(DiscoveryOutcome::Kind::NoAnswer) << one
            << QStringLiteral("Not enough results: the search engine did not answer")
            << QStringLiteral("Add more search terms") << one;
    }
    void discoveryOutcome()
    {
        QFETCH(int, found);
        QFETCH(int, kind);
        QFETCH(QStringList, searches);
        QFETCH(QString, panel2);
        QFETCH(QString, panel3);
        QFETCH(QStringList, list1After);
        EngineRig rig;
        rig.web.setFallback(silent());
        rig.builder.autoFinish = false;
        rig.builder.namesFor.insert(QStringLiteral("plumbers"), names(found));
        if (kind >= 0)
            rig.builder.kind = DiscoveryOutcome::Kind(kind);
        rig.readyToStart(searches);
        rig.presenter.startClicked();
        QCOMPARE(rig.builder.request.search, QStringLiteral("plumbers"));
        rig.builder.finishRun();
        QCOMPARE(rig.session.searches()->items(), list1After);
        // A dropped search string leaves the list only; its stored row stays.
        QCOMPARE(rig.storedSearches(), searches);
        if (panel2.isEmpty()) {
            QCOMPARE(rig.session.state(), S::Harvesting);
            QCOMPARE(rig.session.counters()->sitesFound(), found);
            QVERIFY(!rig.builder.isLoaded());
            rig.presenter.stopClicked();
            return;
        }
        // With another search string, its lookup runs at once and the status says so.
        QCOMPARE(rig.presenter.statusText(1),
                 searches.size() < 2
                     ? QStringLiteral("Stopped")
                     : QStringLiteral("Looking up sites for: ") + list1After.value(0));
        QCOMPARE(rig.presenter.statusText(2), panel2);
        QCOMPARE(rig.presenter.statusText(3), panel3);
        if (searches.size() < 2) {
            // No crawl starts, and the names found stay in the store.
            QCOMPARE(rig.session.state(), S::Stopped);
            QVERIFY(!rig.builder.isLoaded());
            QCOMPARE(rig.builder.loads, 1);
            QCOMPARE(rig.storedWebsites(), names(found));
            QCOMPARE(rig.session.counters()->sitesFound(), found);
        } else {
            // The next search string is discovered by a new run.
            QCOMPARE(rig.builder.loads, 2);
            QVERIFY(rig.builder.isLoaded());
            QCOMPARE(rig.builder.request.search, list1After.first());
            QCOMPARE(rig.session.state(), S::Discovering);
        }
    }

    // A backlog that cannot be emptied would mix an earlier search's sites into this one:
    // no discovery starts.
    void unusableStore_startsNoDiscovery()
    {
        EngineRig rig;
        rig.readyToStart();
        QFile bad(rig.db()->location());
        QVERIFY(bad.remove() && bad.open(QIODevice::WriteOnly));
        bad.write(QByteArray(4096, 'x'));
        bad.close();
        HarvestSession fresh(std::make_unique<SqliteStore>(rig.dir.path()), rig.dir.path(),
                             &rig.settings);
        fresh.setListBuilder(&rig.builder);
        fresh.searches()->addItem(QStringLiteral("plumbers"));
        fresh.setOption(O::SearchEngine, 0);
        fresh.setOption(O::ResultCount, 0);
        fresh.start();
        QCOMPARE(rig.builder.loads, 0);
        QCOMPARE(fresh.state(), S::Stopped);
    }

    void next_data()
    {
        QTest::addColumn<int>("searches");
        QTest::addColumn<int>("policy");
        QTest::addColumn<bool>("running");
        QTest::addColumn<QStringList>("sounds");
        QTest::newRow("three strings")
            << 3 << 0 << false
            << QStringList{QStringLiteral("finished.wav"), QStringLiteral("nextsearch.wav")};
        QTest::newRow("last, continue")
            << 1 << 1 << true << QStringList{QStringLiteral("finished.wav")};
        QTest::newRow("last, stop")
            << 1 << 0 << false << QStringList{QStringLiteral("finished.wav")};
    }
    void next()
    {
        QFETCH(int, searches);
        QFETCH(int, policy);
        QFETCH(bool, running);
        QFETCH(QStringList, sounds);
        EngineRig rig;
        rig.web.setFallback(silent());
        rig.builder.autoFinish = false;
        rig.presenter.optionClicked(OptionId::AfterLastSearch, policy);
        rig.readyToStart(names(searches, QStringLiteral("search %1")));
        rig.queue(names(30));
        rig.session.startCrawl();
        rig.session.nextSearch();
        QCOMPARE(rig.sound.names(), sounds);
        QCOMPARE(rig.session.isHarvesting(), running);
        if (searches == 3) {
            QCOMPARE(rig.session.searches()->items(),
                     (QStringList{QStringLiteral("search 1"), QStringLiteral("search 2")}));
            QCOMPARE(rig.storedSearches(), rig.session.searches()->items());
            QVERIFY(rig.storedWebsites().isEmpty() && rig.session.siteQueue()->isEmpty());
            QCOMPARE(rig.builder.loads, 1);
            QCOMPARE(rig.session.discoverySearch(), QStringLiteral("search 1"));
            QCOMPARE(rig.session.state(), S::Discovering);
        } else {
            QCOMPARE(rig.session.searches()->count(), 1);
            QCOMPARE(rig.builder.loads, 0);
        }
        rig.presenter.stopClicked();
    }

    void addAndEnter()
    {
        EngineRig rig;
        rig.session.load();
        rig.presenter.setNewSearchText(QStringLiteral("  plumbers  "));
        rig.presenter.addSearchClicked();
        rig.presenter.setNewSearchText(QString());
        rig.presenter.newSearchKeyPressed(13);
        rig.presenter.setNewSearchText(QStringLiteral("roofers"));
        rig.presenter.newSearchKeyPressed(65);
        QCOMPARE(rig.presenter.newSearchText(), QStringLiteral("roofers"));
        rig.presenter.newSearchKeyPressed(13);
        QCOMPARE(rig.presenter.newSearchText(), QString());
        // A blank search string is not added: it would search for nothing but " fax".
        rig.presenter.setNewSearchText(QStringLiteral(" \t "));
        rig.presenter.addSearchClicked();
        QCOMPARE(rig.presenter.newSearchText(), QString());
        QCOMPARE(rig.session.searches()->items(),
                 (QStringList{QStringLiteral("  plumbers  "), QStringLiteral("roofers")}));
        QCOMPARE(rig.storedSearches(),
                 (QStringList{QStringLiteral("plumbers"), QStringLiteral("roofers")}));
        QVERIFY(!rig.presenter.isEnabled(B::NextSearch)); // not harvesting
    }

    void del_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("harvesting");
        QTest::addColumn<bool>("resumable");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<bool>("backlogKept");
        const QStringList all{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
        const QStringList noA{QStringLiteral("b"), QStringLiteral("c")};
        QTest::newRow("nothing selected")
            << -1 << false << false << 0
            << QStringList{QStringLiteral("You must select a search to delete.")} << all << true;
        QTest::newRow("a later entry")
            << 2 << true << false << 0 << QStringList()
            << QStringList{QStringLiteral("a"), QStringLiteral("b")} << true;
        QTest::newRow("current while harvesting")
            << 0 << true << false << 0
            << QStringList{QStringLiteral(
                   "You cannot delete the current search while the varnel is harvesting faxes.")}
            << all << true;
        const QString confirm = QStringLiteral(
            "You will not be able to resume the current search if it is deleted.\r\n\r\nContinue?");
        QTest::newRow("current, resumable, OK") << 0 << false << true << int(HarvestMessages::Ok)
                                                << QStringList{confirm} << noA << false;
        QTest::newRow("current, resumable, Cancel")
            << 0 << false << true << int(HarvestMessages::Cancel) << QStringList{confirm} << all
            << true;
        QTest::newRow("current, not resumable")
            << 0 << false << false << 0 << QStringList() << noA << true;
    }
    void del()
    {
        QFETCH(int, selected);
        QFETCH(bool, harvesting);
        QFETCH(bool, resumable);
        QFETCH(int, answer);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, left);
        QFETCH(bool, backlogKept);
        EngineRig rig;
        rig.web.setFallback(silent());
        rig.readyToStart({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        rig.queue(names(40));
        if (harvesting) {
            rig.session.startCrawl();
        } else if (resumable) {
            // A harvest stopped with sites left: Resume is offered.
            rig.session.startCrawl();
            rig.session.stop();
            QVERIFY(rig.presenter.isEnabled(B::Resume));
        }
        rig.messages.answers << HarvestMessages::Answer(answer);
        rig.session.searches()->setSelectedRow(selected);
        rig.presenter.deleteSearchClicked();
        QCOMPARE(rig.messages.texts(), messages);
        if (!messages.isEmpty() && rig.messages.shown.first().question)
            QCOMPARE(rig.messages.shown.first().title, QStringLiteral("Confirm Delete"));
        QCOMPARE(rig.session.searches()->items(), left);
        QCOMPARE(rig.storedSearches(), left);
        QCOMPARE(!rig.storedWebsites().isEmpty(), backlogKept);
        if (resumable && answer == HarvestMessages::Ok)
            QVERIFY(!rig.presenter.isEnabled(B::Resume));
        QCOMPARE(rig.presenter.isEnabled(B::NextSearch), harvesting && left.size() > 1);
        rig.presenter.stopClicked();
    }

    void delOnEmptyListSaysNothing()
    {
        EngineRig rig;
        rig.session.load();
        rig.presenter.deleteSearchClicked();
        QVERIFY(rig.messages.shown.isEmpty());
    }

    void deleteAllFaxes_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("OK") << int(HarvestMessages::Ok);
        QTest::newRow("Cancel") << int(HarvestMessages::Cancel);
    }
    void deleteAllFaxes()
    {
        QFETCH(int, answer);
        EngineRig rig;
        QString n = QStringLiteral("1-212-555-0187"), search = QStringLiteral("s");
        addFax(*rig.db(), n, QStringLiteral("h/"), search, QStringLiteral("NY"));
        rig.session.load();
        QCOMPARE(rig.session.numberPreview()->count(), 1);
        rig.session.counters()->add(Counters::NumberFound);
        rig.messages.answers << HarvestMessages::Answer(answer);
        rig.presenter.deleteAllNumbersClicked();
        QCOMPARE(rig.messages.shown.first().text,
                 QStringLiteral("Are you sure you want to delete all faxes from the database?"));
        QCOMPARE(rig.messages.shown.first().title, QStringLiteral("Confirm"));
        const bool ok = answer == HarvestMessages::Ok;
        QCOMPARE(rig.storedFaxes().isEmpty(), ok);
        QCOMPARE(rig.session.numberPreview()->isEmpty(), ok);
        // The run's count of numbers goes with them; the historic count stays.
        QCOMPARE(rig.session.counters()->numbersFound(), ok ? 0 : 1);
        QCOMPARE(rig.session.counters()->numbersFoundEver(), 1);
        QCOMPARE(rig.messages.shown.size(), ok ? 2 : 1);
        if (ok)
            QCOMPARE(rig.messages.shown.last().text,
                     QStringLiteral("All faxes have been deleted."));
    }

    void windowRequests()
    {
        EngineRig rig;
        QSignalSpy dir(&rig.presenter, &HarvestPresenter::openDirectoryRequested);
        QSignalSpy exp(&rig.presenter, &HarvestPresenter::exportRequested);
        QSignalSpy web(&rig.presenter, &HarvestPresenter::websiteRequested);
        QSignalSpy numbers(&rig.presenter, &HarvestPresenter::numbersWindowRequested);
        // With the numbers window off, "View Fax Database" asks for the data folder.
        rig.presenter.optionClicked(OptionId::NumbersWindow, 0);
        rig.presenter.viewDatabaseClicked();
        rig.presenter.exportClicked();
        rig.presenter.websiteClicked();
        QCOMPARE(dir.size(), 1);
        QCOMPARE(dir.first().at(0).toString(), rig.dir.path());
        QCOMPARE(exp.size() + web.size(), 2);
        QCOMPARE(numbers.size(), 0);
        rig.presenter.optionClicked(OptionId::NumbersWindow, 1);
        rig.presenter.viewDatabaseClicked();
        QCOMPARE(numbers.size(), 1);
        QCOMPARE(dir.size(), 1);
    }

    void shutdownKeepsTheQueue()
    {
        EngineRig rig;
        rig.web.setFallback(silent());
        rig.readyToStart();
        rig.queue(names(30));
        rig.session.startCrawl();
        QVERIFY(rig.session.anySlotBusy());
        const QStringList head = rig.session.siteQueue()->items();
        rig.session.shutDown();
        QVERIFY(!rig.session.isHarvesting());
        QVERIFY(!rig.session.anySlotBusy());
        // Nothing lost: the head of the queue and the nine other sites being fetched are
        // queued again.
        QCOMPARE(rig.storedWebsites().size(), 30);
        HarvestSession again(std::make_unique<SqliteStore>(rig.dir.path()), rig.dir.path(),
                             &rig.settings);
        again.load();
        QVERIFY(again.canResume());
        QCOMPARE(again.siteQueue()->items(), head.mid(1));
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
