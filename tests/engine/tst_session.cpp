// Session control on the engine's state: start-up, the buttons and their enabled states,
// the messages, the options and their storage, and shutdown.

#include "enginetestkit.h"

#include <QtTest>

using B = HarvestEngine::Button;
using O = OptionId;
using S = HarvestEngine::HarvestState;

namespace {

// Start, Stop, Resume, Next, then View/Export/Delete All (which always move together).
QString buttonRow(const HarvestEngine &e)
{
    const bool ved = e.isEnabled(B::cmdViewDatabase);
    if (e.isEnabled(B::Command2) != ved || e.isEnabled(B::Command3) != ved)
        return QStringLiteral("View, Export and Delete All differ");
    QString row;
    for (bool b : {e.isEnabled(B::Command1), e.isEnabled(B::cmdStop), e.isEnabled(B::cmdResume),
                   e.isEnabled(B::cmdNextSearch), ved})
        row += b ? QLatin1Char('1') : QLatin1Char('0');
    return row;
}

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
        rig.engine.Form_Load();
        HarvestEngine &e = rig.engine;
        QCOMPARE(e.option(O::SearchEngine), -1);
        QCOMPARE(e.comboText(O::SearchEngine), QStringLiteral("Which Search Type?"));
        QCOMPARE(e.option(O::ResultCount), -1);
        QCOMPARE(e.comboText(O::ResultCount), QStringLiteral("How Many Results?"));
        QCOMPARE(e.option(O::AutoAdvance), 0);
        for (O o : {O::AddFaxToSearches, O::AllowInternational, O::SoundOnFaxFound, O::SoundOnNextSearch,
                    O::SoundOnFinished, O::FollowRedirects})
            QCOMPARE(e.option(o), 1);
        QCOMPARE(e.comboText(O::AdvanceAfter), QStringLiteral("10,000"));
        QCOMPARE(e.lAdvanceAfter(), 10000);
        QCOMPARE(e.comboText(O::AfterLastSearch), QStringLiteral("Stop Immediately"));
        QCOMPARE(e.counters()->lHistEmailFound(), 37);
        QCOMPARE(e.counters()->lEmailFound(), 0);
        QCOMPARE(buttonRow(e), QStringLiteral("10001"));
        QVERIFY(e.List1()->isEmpty() && e.List2()->isEmpty() && e.List3()->isEmpty());
        QCOMPARE(e.timeout(), qint16(10));
        QCOMPARE(e.timeout2(), qint16(30));
        QCOMPARE(e.harvestState(), S::Stopped);
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
        rig.engine.Form_Load();
        QCOMPARE(rig.engine.List1()->count(), searches);
        QCOMPARE(rig.engine.List2()->items(), names(backlog).mid(backlog - head));
        QCOMPARE(rig.storedWebsites().size(), backlog - head);
        QCOMPARE(rig.engine.isEnabled(B::cmdResume), resume);
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
        rig.engine.Form_Load();
        QCOMPARE(rig.engine.comboText(O::SearchEngine), QStringLiteral("Yahoo Search"));
        QCOMPARE(rig.engine.comboText(O::SearchEngine), QStringLiteral("Yahoo Search"));
        QCOMPARE(rig.engine.option(O::ResultCount), -1);
        QCOMPARE(rig.engine.option(O::AllowInternational), 1);
        QCOMPARE(rig.engine.option(O::FollowRedirects), 0);
        QCOMPARE(rig.engine.lAdvanceAfter(), 50000);
        QCOMPARE(rig.engine.option(O::AfterLastSearch), -1);
        QCOMPARE(rig.engine.comboText(O::AfterLastSearch), QStringLiteral("cmbLastSearch"));
    }

    void optionHandlersWriteThrough()
    {
        EngineRig rig;
        rig.engine.Form_Load();
        auto stored = [&rig](const char *key) {
            return rig.settings.read(QLatin1String(key), QStringLiteral("absent"));
        };
        rig.engine.setOption(OptionId::AdvanceAfter, 4);
        QCOMPARE(stored("cmbAdvance"), QStringLiteral("4"));
        QCOMPARE(rig.engine.lAdvanceAfter(), 50000);
        rig.engine.setOption(OptionId::ResultCount, 5);
        QCOMPARE(stored("Combo2"), QStringLiteral("5"));
        QCOMPARE(rig.engine.option(O::ResultCount), 5);
        rig.engine.setOption(OptionId::FollowRedirects, 0);
        QCOMPARE(stored("chkFollow"), QStringLiteral("0"));
        rig.engine.setOption(OptionId::SoundOnFinished, 0);
        QCOMPARE(stored("chkAudioFinished"), QStringLiteral("0"));
        // A picked "After last search:" item is kept for the next start.
        rig.engine.setOption(OptionId::AfterLastSearch, 1);
        QCOMPARE(stored("cmbLastSearch"), QStringLiteral("1"));
        // Typed text picks nothing: stored as -1 for this combo, not stored for the others.
        rig.engine.setComboEditText(O::AfterLastSearch, QStringLiteral("Stop"));
        QCOMPARE(stored("cmbLastSearch"), QStringLiteral("-1"));
        QCOMPARE(rig.engine.option(O::AfterLastSearch), -1);
        rig.engine.setOption(OptionId::SearchEngine, 0);
        rig.engine.setComboEditText(O::SearchEngine, QStringLiteral("Bing"));
        QCOMPARE(rig.engine.option(O::SearchEngine), -1);
        QCOMPARE(rig.engine.comboText(O::SearchEngine), QStringLiteral("Bing"));
        QCOMPARE(stored("Combo1"), QStringLiteral("0"));
        // The next start shows what was stored.
        HarvestEngine again(rig.dir.path(), &rig.settings);
        again.Form_Load();
        QCOMPARE(again.lAdvanceAfter(), 50000);
        QCOMPARE(again.option(O::SearchEngine), 0);
        QCOMPARE(again.option(O::AfterLastSearch), -1);
        QCOMPARE(again.option(O::FollowRedirects), 0);
    }

    void startValidation_data()
    {
        QTest::addColumn<int>("searches");
        QTest::addColumn<int>("combo1");
        QTest::addColumn<int>("combo2");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("focus");
        QTest::newRow("no search string")
            << 0 << 0 << 0 << "Please enter at least one search term before begining your search."
            << int(HarvestEngine::FocusTarget::Text1);
        QTest::newRow("no engine")
            << 2 << -1 << 0 << "Please enter a search type before begining your search."
            << int(HarvestEngine::FocusTarget::Combo1);
        QTest::newRow("no count")
            << 1 << 1 << -1
            << "Please select the number of search results to retrieve before begining your search."
            << int(HarvestEngine::FocusTarget::Combo2);
    }
    void startValidation()
    {
        QFETCH(int, searches);
        QFETCH(int, combo1);
        QFETCH(int, combo2);
        QFETCH(QString, message);
        QFETCH(int, focus);
        EngineRig rig;
        QString s = QStringLiteral("old search");
        (void)rig.db()->addSearch(s);
        rig.queue(names(30));
        rig.engine.Form_Load();
        rig.engine.List1()->clear();
        for (int i = 0; i < searches; ++i)
            rig.engine.List1()->addItem(QStringLiteral("s%1").arg(i));
        if (combo1 >= 0)
            rig.engine.setOption(OptionId::SearchEngine, combo1);
        if (combo2 >= 0)
            rig.engine.setOption(OptionId::ResultCount, combo2);
        QCOMPARE(buttonRow(rig.engine), QStringLiteral("10101"));
        QSignalSpy focused(&rig.engine, &HarvestEngine::focusRequested);
        rig.engine.Command1_Click();
        QCOMPARE(rig.messages.texts(), QStringList{message});
        QCOMPARE(focused.size(), 1);
        QCOMPARE(int(focused.first().at(0).value<HarvestEngine::FocusTarget>()), focus);
        // Start emptied the queue even though it goes no further.
        QVERIFY(rig.storedWebsites().isEmpty() && rig.engine.List2()->isEmpty());
        QCOMPARE(buttonRow(rig.engine), QStringLiteral("10000"));
        QCOMPARE(rig.sound.names(), QStringList{QStringLiteral("nextsearch.wav")});
        QCOMPARE(rig.builder.loads, 0);
        QCOMPARE(rig.engine.harvestState(), S::Stopped);
    }

    void startRunsDiscoveryThenHarvest()
    {
        EngineRig rig;
        rig.web.setFallback(silent());
        rig.builder.namesFor.insert(QStringLiteral("plumbers"), names(21));
        rig.readyToStart({QStringLiteral("plumbers"), QStringLiteral("roofers")});
        rig.engine.Command1_Click();
        QCOMPARE(rig.engine.txtSearch(), QStringLiteral("plumbers"));
        QCOMPARE(rig.builder.loads, 1);
        QCOMPARE(rig.builder.shows, 1);
        QCOMPARE(rig.engine.harvestState(), S::Discovering);
        QCOMPARE(buttonRow(rig.engine), QStringLiteral("10000"));
        QTRY_COMPARE(rig.engine.harvestState(), S::Harvesting);
        QCOMPARE(buttonRow(rig.engine), QStringLiteral("01010"));
        QCOMPARE(rig.engine.strSearch(), QStringLiteral("plumbers"));
        QCOMPARE(rig.engine.counters()->lWebFound(), 21);
        // Stop: the queue is kept for Resume.
        rig.engine.cmdStop_Click();
        QCOMPARE(buttonRow(rig.engine), QStringLiteral("10101"));
        QCOMPARE(rig.engine.statusPanel(1), QStringLiteral("Stopped"));
        QCOMPARE(rig.engine.pb1(), 100);
        QVERIFY(!rig.engine.anySlotBusy());
        QCOMPARE(rig.sound.names(),
                 (QStringList{QStringLiteral("nextsearch.wav"), QStringLiteral("finished.wav")}));
        rig.engine.cmdResume_Click();
        QCOMPARE(buttonRow(rig.engine), QStringLiteral("01010"));
        QVERIFY(rig.engine.anySlotBusy());
        rig.engine.cmdStop_Click();
    }

    void startAgainWhileARunIsLoaded()
    {
        EngineRig rig;
        rig.builder.autoFinish = false;
        rig.readyToStart();
        rig.engine.Command1_Click();
        rig.engine.cmdStop_Click();
        QCOMPARE(rig.engine.harvestState(), S::Stopped);
        rig.engine.Command1_Click();
        QCOMPARE(rig.builder.loads, 1);
        QCOMPARE(rig.builder.shows, 2);
        // A stopped session still starts when the run hands back.
        rig.builder.namesFor.insert(QStringLiteral("plumbers"), names(21));
        rig.engine.cmdStop_Click();
        rig.web.setFallback(silent());
        rig.builder.finishRun();
        QCOMPARE(rig.engine.harvestState(), S::Harvesting);
        rig.engine.cmdStop_Click();
    }

    void discoveryGivesUp()
    {
        EngineRig rig;
        rig.builder.namesFor.insert(QStringLiteral("plumbers"), names(20));
        rig.readyToStart();
        rig.engine.Command1_Click();
        QTRY_COMPARE(rig.engine.harvestState(), S::Stopped);
        QCOMPARE(rig.engine.statusPanel(2), QStringLiteral("Not enough results"));
        QCOMPARE(rig.engine.statusPanel(3), QStringLiteral("Add more search terms"));
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
        QTest::newRow("20 names, more searches") << 20 << -1 << three << notEnough
            << QStringLiteral("Trying next search") << QStringList{"roofers", "masons"};
        QTest::newRow("nothing found, more searches")
            << 0 << -1 << QStringList{"plumbers", "roofers"} << notEnough
            << QStringLiteral("Trying next search") << QStringList{"roofers"};
        QTest::newRow("blocked") << 10 << int(DiscoveryOutcome::Kind::Blocked) << one
            << QStringLiteral("Not enough results: the search engine blocked the search")
            << QStringLiteral("Add more search terms") << one;
        QTest::newRow("no answer") << 10 << int(DiscoveryOutcome::Kind::NoAnswer) << one
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
        rig.engine.Command1_Click();
        QCOMPARE(rig.builder.request.search, QStringLiteral("plumbers"));
        rig.builder.finishRun();
        QCOMPARE(rig.engine.List1()->items(), list1After);
        // A dropped search string leaves the list only; its stored row stays.
        QCOMPARE(rig.storedSearches(), searches);
        if (panel2.isEmpty()) {
            QCOMPARE(rig.engine.harvestState(), S::Harvesting);
            QCOMPARE(rig.engine.counters()->lWebFound(), found);
            QVERIFY(!rig.builder.isLoaded());
            rig.engine.cmdStop_Click();
            return;
        }
        QCOMPARE(rig.engine.statusPanel(1), QStringLiteral("Stopped"));
        QCOMPARE(rig.engine.statusPanel(2), panel2);
        QCOMPARE(rig.engine.statusPanel(3), panel3);
        if (searches.size() < 2) {
            // No crawl starts, and the names found stay in the store.
            QCOMPARE(rig.engine.harvestState(), S::Stopped);
            QVERIFY(!rig.builder.isLoaded());
            QCOMPARE(rig.builder.loads, 1);
            QCOMPARE(rig.storedWebsites(), names(found));
            QCOMPARE(rig.engine.counters()->lWebFound(), found);
        } else {
            // The next search string is discovered by a new run.
            QCOMPARE(rig.builder.loads, 2);
            QVERIFY(rig.builder.isLoaded());
            QCOMPARE(rig.builder.request.search, list1After.first());
            QCOMPARE(rig.engine.harvestState(), S::Discovering);
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
        HarvestEngine fresh(rig.dir.path(), &rig.settings);
        fresh.setListBuilder(&rig.builder);
        fresh.List1()->addItem(QStringLiteral("plumbers"));
        fresh.setOption(O::SearchEngine, 0);
        fresh.setOption(O::ResultCount, 0);
        fresh.Command1_Click();
        QCOMPARE(rig.builder.loads, 0);
        QCOMPARE(fresh.harvestState(), S::Stopped);
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
        rig.engine.setOption(OptionId::AfterLastSearch, policy);
        rig.readyToStart(names(searches, QStringLiteral("search %1")));
        rig.queue(names(30));
        rig.engine.cmdDoSearch_Click();
        rig.engine.cmdNextSearch_Click();
        QCOMPARE(rig.sound.names(), sounds);
        QCOMPARE(rig.engine.bHarvesting(), running);
        if (searches == 3) {
            QCOMPARE(rig.engine.List1()->items(),
                     (QStringList{QStringLiteral("search 1"), QStringLiteral("search 2")}));
            QCOMPARE(rig.storedSearches(), rig.engine.List1()->items());
            QVERIFY(rig.storedWebsites().isEmpty() && rig.engine.List2()->isEmpty());
            QCOMPARE(rig.builder.loads, 1);
            QCOMPARE(rig.engine.txtSearch(), QStringLiteral("search 1"));
            QCOMPARE(rig.engine.harvestState(), S::Discovering);
        } else {
            QCOMPARE(rig.engine.List1()->count(), 1);
            QCOMPARE(rig.builder.loads, 0);
        }
        rig.engine.cmdStop_Click();
    }

    void addAndEnter()
    {
        EngineRig rig;
        rig.engine.Form_Load();
        rig.engine.setText1(QStringLiteral("  plumbers  "));
        rig.engine.cmdAdd_Click();
        rig.engine.setText1(QString());
        rig.engine.Text1_KeyPress(13);
        rig.engine.setText1(QStringLiteral("roofers"));
        rig.engine.Text1_KeyPress(65);
        QCOMPARE(rig.engine.text1(), QStringLiteral("roofers"));
        rig.engine.Text1_KeyPress(13);
        QCOMPARE(rig.engine.text1(), QString());
        QCOMPARE(rig.engine.List1()->items(), (QStringList{QStringLiteral("  plumbers  "),
                                                           QString(), QStringLiteral("roofers")}));
        QCOMPARE(rig.storedSearches(),
                 (QStringList{QStringLiteral("plumbers"), QString(), QStringLiteral("roofers")}));
        QVERIFY(!rig.engine.isEnabled(B::cmdNextSearch)); // not harvesting
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
        if (harvesting)
            rig.engine.cmdDoSearch_Click();
        else if (resumable)
            rig.engine.setEnabled(B::cmdResume, true);
        rig.messages.answers << HarvestMessages::Answer(answer);
        rig.engine.List1()->setListIndex(selected);
        rig.engine.cmbDel_Click();
        QCOMPARE(rig.messages.texts(), messages);
        if (!messages.isEmpty() && rig.messages.shown.first().question)
            QCOMPARE(rig.messages.shown.first().title, QStringLiteral("Confirm Delete"));
        QCOMPARE(rig.engine.List1()->items(), left);
        QCOMPARE(rig.storedSearches(), left);
        QCOMPARE(!rig.storedWebsites().isEmpty(), backlogKept);
        if (resumable && answer == HarvestMessages::Ok)
            QVERIFY(!rig.engine.isEnabled(B::cmdResume));
        QCOMPARE(rig.engine.isEnabled(B::cmdNextSearch), harvesting && left.size() > 1);
        rig.engine.cmdStop_Click();
    }

    void delOnEmptyListSaysNothing()
    {
        EngineRig rig;
        rig.engine.Form_Load();
        rig.engine.cmbDel_Click();
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
        rig.engine.Form_Load();
        QCOMPARE(rig.engine.List3()->count(), 1);
        rig.engine.counters()->AddStat(Counters::NumberFound);
        rig.messages.answers << HarvestMessages::Answer(answer);
        rig.engine.Command3_Click();
        QCOMPARE(rig.messages.shown.first().text,
                 QStringLiteral("Are you sure you want to delete all faxes from the database?"));
        QCOMPARE(rig.messages.shown.first().title, QStringLiteral("Confirm"));
        const bool ok = answer == HarvestMessages::Ok;
        QCOMPARE(rig.storedFaxes().isEmpty(), ok);
        QCOMPARE(rig.engine.List3()->isEmpty(), ok);
        // The run's count of numbers goes with them; the historic count stays.
        QCOMPARE(rig.engine.counters()->lEmailFound(), ok ? 0 : 1);
        QCOMPARE(rig.engine.counters()->lHistEmailFound(), 1);
        QCOMPARE(rig.messages.shown.size(), ok ? 2 : 1);
        if (ok)
            QCOMPARE(rig.messages.shown.last().text,
                     QStringLiteral("All faxes have been deleted."));
    }

    void windowRequests()
    {
        EngineRig rig;
        QSignalSpy dir(&rig.engine, &HarvestEngine::openDirectoryRequested);
        QSignalSpy exp(&rig.engine, &HarvestEngine::exportRequested);
        QSignalSpy web(&rig.engine, &HarvestEngine::websiteRequested);
        rig.engine.cmdViewDatabase_Click();
        rig.engine.Command2_Click();
        rig.engine.cmdWebsite_Click();
        QCOMPARE(dir.size(), 1);
        QCOMPARE(dir.first().at(0).toString(), rig.dir.path());
        QCOMPARE(exp.size() + web.size(), 2);
    }

    void missingSoundPlaysNothing()
    {
        SoundEffectPlayer player;
        player.PlayWav(QStringLiteral("/nonexistent/sounds/finished.wav"));
        player.PlayWav(QString());
        QVERIFY(player.children().isEmpty());
        // Without the file in any resource folder the engine does not call the player.
        EngineRig rig;
        QFile::remove(rig.dir.file(QStringLiteral("sounds/finished.wav")));
        rig.engine.playSound(QStringLiteral("sounds/no-such-sound.wav"));
        QVERIFY(rig.sound.played.isEmpty());
    }

    void shutdownKeepsTheQueue()
    {
        EngineRig rig;
        rig.web.setFallback(silent());
        rig.readyToStart();
        rig.queue(names(30));
        rig.engine.cmdDoSearch_Click();
        QVERIFY(rig.engine.anySlotBusy());
        const QStringList head = rig.engine.List2()->items();
        rig.engine.Form_Unload();
        QVERIFY(!rig.engine.bHarvesting());
        QVERIFY(!rig.engine.anySlotBusy());
        // Nothing lost: the head of the queue and the nine other sites being fetched are
        // queued again.
        QCOMPARE(rig.storedWebsites().size(), 30);
        HarvestEngine again(rig.dir.path(), &rig.settings);
        again.Form_Load();
        QVERIFY(again.isEnabled(B::cmdResume));
        QCOMPARE(again.List2()->items(), head.mid(1));
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
