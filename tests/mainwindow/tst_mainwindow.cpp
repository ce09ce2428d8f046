// The main window's binding to the harvest presenter: what the user sees and what the clicks
// do. The harvest's own rules are tested with the session; here the widgets must show its state and
// forward every action.

#include "mainwindowtestkit.h"
#include "yieldreport.h"

#include "aboutwindow.h"
#include "crawloptionsdialog.h"
#include "exportdialog.h"
#include "globals.h"
#include "helpwindow.h"
#include "mainwindowlayout.h"
#include "mainwindowmessages.h"
#include "numberswindow.h"
#include "optioncontrol.h"
#include "productinfo.h"
#include "splashwindow.h"
#include "testwebserver.h"
#include "twips.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QtTest>

using Button = HarvestPresenter::Button;

namespace {

const QString kNoSearch =
    QStringLiteral("Please enter at least one search term before begining your search.");
const QString kNoEngine = QStringLiteral("Please enter a search type before begining your search.");
const QString kNoCount = QStringLiteral(
    "Please select the number of search results to retrieve before begining your search.");

// Picks an item as the user does from the drop-down list.
void pick(QComboBox *combo, int index)
{
    combo->setCurrentIndex(index);
    Q_EMIT combo->activated(index);
}

QMap<QString, QString> picked()
{
    return {{QStringLiteral("Combo1"), QStringLiteral("0")},
            {QStringLiteral("Combo2"), QStringLiteral("0")}};
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    // A web that never answers: a harvest started against it stays running.
    TestWebServer m_silentWeb;

    // A window with saved search strings and backlog rows, harvesting (Resume pressed).
    bool startHarvest(MainWindowHarness &h, const QStringList &searches, int backlog)
    {
        h.session->setResolveMap(ResolveMap());
        ResolveMap map;
        map.add(m_silentWeb.resolveSpec());
        h.session->setResolveMap(map);
        h.addSearches(searches);
        h.addBacklog(backlog);
        if (!h.open() || !h.c.resumeButton->isEnabled())
            return false;
        QTest::mouseClick(h.c.resumeButton, Qt::LeftButton);
        return h.session->isHarvesting();
    }

private Q_SLOTS:
    void initTestCase()
    {
        TestEnv::enterTestMode();
        TestWebServer::Response silent;
        silent.fault = TestWebServer::Fault::NoAnswer;
        m_silentWeb.setFallback(silent);
        QVERIFY(m_silentWeb.listen());
    }

    void controls_showCaptionsAndTooltips_data()
    {
        QTest::addColumn<bool>("typed");
        QTest::newRow("lists picked from") << false;
        QTest::newRow("lists typed into, as the original window's") << true;
    }

    void controls_showCaptionsAndTooltips()
    {
        QFETCH(bool, typed);
        MainWindowHarness h({{QStringLiteral("chkFixedChoices"),
                              typed ? QStringLiteral("0") : QStringLiteral("1")}});
        QVERIFY(h.open());
        MainWindow *f = h.form.get();
        QCOMPARE(f->windowTitle(), strProductName + QStringLiteral(" by ") + strCompanyName);
        QCOMPARE(h.c.websiteButton->text(), QStringLiteral("Visit ") + strWebsite);
        const QList<std::tuple<QAbstractButton *, QString, QString>> buttons = {
            {h.c.startButton, "Start", "Begin Harvesting Faxes"},
            {h.c.stopButton, "Stop", "Stop harvesting faxes"},
            {h.c.resumeButton, "Resume", "Resume harvesting emails"},
            {h.c.nextSearchButton, "Next", "Skip to your next search string"},
            {h.c.addSearchButton, "Add", ""},
            {h.c.deleteSearchButton, "Del", ""},
            {h.c.deleteAllNumbersButton, "Delete All Fax Numbers", "Delete all saved faxes"},
            {h.c.exportButton, "Export Numbers to List", "Export all the faxes you have found"},
            {h.c.viewDatabaseButton, "View Fax Database",
             "Varnel.mdb stores all thefaxes you have found"},
            {h.c.checkBox(OptionId::AutoAdvance), "Enable", "Click to enable Auto Search Advance"},
            {h.c.checkBox(OptionId::AddFaxToSearches), "Add \"fax\" to searches",
             "Adds the word \"fax\" to all your searches"},
            {h.c.checkBox(OptionId::AllowInternational), "Allow International",
             "Allows Non-US numbers"},
            {h.c.checkBox(OptionId::SoundOnFaxFound), "On Fax Found", ""},
            {h.c.checkBox(OptionId::SoundOnNextSearch), "On Next Search", ""},
            {h.c.checkBox(OptionId::SoundOnFinished), "On Finished", ""},
            {h.c.checkBox(OptionId::FollowRedirects), "Follow redirects (HTTPS)",
             h.c.checkBox(OptionId::FollowRedirects)->toolTip()},
        };
        for (const auto &[b, text, tip] : buttons) {
            QCOMPARE(b->text(), text);
            QCOMPARE(b->toolTip(), tip);
        }
        QCOMPARE(h.c.searchesFrame->title(), QStringLiteral("Searches"));
        QCOMPARE(h.c.numbersFrame->title(), QStringLiteral("Emails"));
        QCOMPARE(h.c.optionsFrame->title(), QStringLiteral("Options"));
        QCOMPARE(h.c.statisticsFrame->title(), QStringLiteral("Statistics"));

        // Every caption beside a control, each in the frame it belongs to.
        const QList<std::pair<QGroupBox *, QString>> labels = {
            {h.c.searchesFrame, "Search Strings"},
            {h.c.searchesFrame, "Enter a new Search String:"},
            {h.c.searchesFrame, "Preview - Next 20 Sites Queued:"},
            {h.c.numbersFrame, "Preview - Last 20 Numbers Found:"},
            {h.c.optionsFrame, "Auto Search Advance:"},
            {h.c.optionsFrame, "Advancd after this many websites are scanned:"},
            {h.c.optionsFrame, "After last search:"},
            {h.c.optionsFrame, "Audio:"},
            {h.c.optionsFrame, "Other:"},
            {h.c.statisticsFrame, "This Session"},
            {h.c.statisticsFrame, "Historically"},
            {h.c.statisticsFrame, "Sites Scanned:"},
            {h.c.statisticsFrame, "Sites Found:"},
            {h.c.statisticsFrame, "Numbers Found:"},
        };
        for (const auto &[frame, text] : labels) {
            bool found = false;
            const QList<QLabel *> all = frame->findChildren<QLabel *>();
            for (const QLabel *l : all)
                found = found || (l->text() == text && l->isVisible());
            QVERIFY2(found, qPrintable(text));
        }

        QCOMPARE(OptionControl::shownText(h.c.combo(OptionId::SearchEngine)),
                 QStringLiteral("Which Search Type?"));
        QCOMPARE(OptionControl::shownText(h.c.combo(OptionId::ResultCount)),
                 QStringLiteral("How Many Results?"));
        for (OptionId id : {OptionId::SearchEngine, OptionId::ResultCount, OptionId::AdvanceAfter,
                            OptionId::AfterLastSearch})
            QCOMPARE(h.c.combo(id)->isEditable(), typed);
        QCOMPARE(h.c.combo(OptionId::ResultCount)->count(), 6);
        QCOMPARE(h.c.combo(OptionId::ResultCount)->itemText(5), QStringLiteral("~10000 Domains"));
        QCOMPARE(h.c.combo(OptionId::AdvanceAfter)->currentText(), QStringLiteral("10,000"));
        QCOMPARE(h.c.combo(OptionId::AdvanceAfter)->itemText(7), QStringLiteral("500,000"));
        QCOMPARE(h.c.combo(OptionId::AfterLastSearch)->currentText(),
                 QStringLiteral("Stop Immediately"));

        QStringList menuTitles;
        const QList<QAction *> menus = f->menuBar()->actions();
        for (const QAction *m : menus)
            menuTitles << m->text();
        QCOMPARE(menuTitles, (QStringList{"File", "Help", "About"}));
        // Items added to the original menus carry a mnemonic.
        QCOMPARE(h.c.importSitesAction->text(), QStringLiteral("&Import Sites…"));
        QCOMPARE(h.c.exitAction->text(), QStringLiteral("Exit"));
        QCOMPARE(h.c.helpAction->text(), QStringLiteral("View Help File"));
        QCOMPARE(h.c.aboutAction->text(), QStringLiteral("About this software"));
        QCOMPARE(h.c.progressBar->minimum(), 0);
        QCOMPARE(h.c.progressBar->maximum(), 100);
    }

    // The menus and the common items answer the keys a user expects; the original captions
    // stay as they were.
    void keyboard_menusHelpAndExit()
    {
        MainWindowHarness h;
        QVERIFY(h.open());
        QCOMPARE(h.c.exitAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
        QCOMPARE(h.c.helpAction->shortcut(), QKeySequence(Qt::Key_F1));
        const std::pair<const char *, Qt::Key> menus[] = {
            {"mnuFile", Qt::Key_F}, {"mnuHelp", Qt::Key_H}, {"mnuAbout", Qt::Key_A}};
        for (const auto &[name, key] : menus) {
            auto *menu = control<QMenu>(h.form.get(), QLatin1String(name));
            QTest::keyClick(h.form.get(), key, Qt::AltModifier);
            QTRY_VERIFY2(menu->isVisible(), name);
            menu->close();
        }
        QTest::keyClick(h.form.get(), Qt::Key_F1);
        QVERIFY(h.windows->help() && h.windows->help()->isVisible());
        h.windows->closeHelp();
        h.form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(h.form.get()));
        QTest::keyClick(h.form.get(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(h.form->isUnloaded());
        QCOMPARE(h.quits, 1);
    }

    // A plain label of the four frames gets its skinned copy on top; the status panels do not.
    void skin_overlaysTheFramesLabels()
    {
        MainWindowHarness h;
        QVERIFY(h.open());
        if (!bSkin)
            QSKIP("the skin is off in this build");
        const QList<SkinLabel *> copies = h.form->findChildren<SkinLabel *>();
        QStringList covered;
        for (const SkinLabel *s : copies) {
            if (s->source())
                covered << s->source()->text();
        }
        QVERIFY(covered.contains(QStringLiteral("Search Strings")));
        QVERIFY(covered.contains(QStringLiteral("Historically")));
        QVERIFY(covered.contains(QStringLiteral("0"))); // the statistics values too
        for (int p = 1; p <= 4; ++p) {
            for (const SkinLabel *s : copies)
                QVERIFY(s->source() != h.c.panel(p));
        }
    }

    // A refused start: the message, the focus on the missing choice, nothing running. With
    // the reference options the saved queue is emptied first, as the original did;
    // otherwise it stays, and so does Resume.
    void failedStart_data()
    {
        QTest::addColumn<bool>("reference");
        QTest::addColumn<QStringList>("searches");
        QTest::addColumn<QString>("combo1");
        QTest::addColumn<QString>("combo2");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("no search string") << true << QStringList() << "0"
                                          << "0" << kNoSearch << "Text1";
        QTest::newRow("no search type") << true << QStringList{"a", "b"} << "-1"
                                        << "0" << kNoEngine << "Combo1";
        QTest::newRow("no result count") << true << QStringList{"a"} << "1"
                                         << "-1" << kNoCount << "Combo2";
        QTest::newRow("no search type, queue kept") << false << QStringList{"a", "b"} << "-1"
                                                    << "0" << kNoEngine << "Combo1";
    }

    void failedStart()
    {
        QFETCH(bool, reference);
        QFETCH(QStringList, searches);
        QFETCH(QString, combo1);
        QFETCH(QString, combo2);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        MainWindowHarness h(
            {{QStringLiteral("Combo1"), combo1},
             {QStringLiteral("Combo2"), combo2},
             {QStringLiteral("chkFollow"), reference ? QStringLiteral("0") : QStringLiteral("1")}});
        h.addSearches(searches);
        h.addBacklog(3); // a saved queue offers Resume until Start empties it
        QVERIFY(h.open());
        QVERIFY(QTest::qWaitForWindowActive(h.form.get()));
        h.c.addSearchButton->setFocus();
        QCOMPARE(h.c.resumeButton->isEnabled(), !searches.isEmpty());
        const QStringList queued = MainWindowHarness::rows(h.c.siteQueueList);

        QTest::mouseClick(h.c.startButton, Qt::LeftButton);
        QCOMPARE(h.messages.texts(), QStringList{message});
        QTRY_COMPARE(QApplication::focusWidget() ? QApplication::focusWidget()->objectName()
                                                 : QString(),
                     focus);
        QVERIFY(h.c.startButton->isEnabled());
        QCOMPARE(h.c.resumeButton->isEnabled(), !reference);
        for (QPushButton *b : {h.c.stopButton, h.c.nextSearchButton})
            QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
        // Nothing runs after a refused start: the numbers' buttons are back.
        for (QPushButton *b :
             {h.c.viewDatabaseButton, h.c.exportButton, h.c.deleteAllNumbersButton})
            QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));
        QCOMPARE(h.builder.loads, 0);
        QCOMPARE(MainWindowHarness::rows(h.c.siteQueueList), reference ? QStringList() : queued);
    }

    void start_opensDiscovery()
    {
        QMap<QString, QString> original = picked();
        original.insert(QStringLiteral("chkBesideHarvest"), QStringLiteral("0"));
        MainWindowHarness h(original);
        h.addSearches({QStringLiteral("plumber boston")});
        QVERIFY(h.open());
        QTest::mouseClick(h.c.startButton, Qt::LeftButton);
        QVERIFY(h.messages.shown.isEmpty());
        QCOMPARE(h.builder.loads, 1);
        QCOMPARE(h.builder.shows, 1);
        QCOMPARE(h.session->discoverySearch(), QStringLiteral("plumber boston"));
        QVERIFY(!h.c.viewDatabaseButton->isEnabled());
    }

    void add_withEnter()
    {
        MainWindowHarness h;
        h.addSearches({QStringLiteral("first")});
        QVERIFY(h.open());
        QTest::keyClicks(h.c.newSearchEdit, QStringLiteral("plumber boston"));
        QTest::keyClick(h.c.newSearchEdit, Qt::Key_Return);
        QCOMPARE(MainWindowHarness::rows(h.c.searchList), (QStringList{"first", "plumber boston"}));
        QCOMPARE(h.c.newSearchEdit->text(), QString());
        QCOMPARE(h.presenter->newSearchText(), QString());
        // In the store too: a new window shows it.
        h.form.reset();
        MainWindowHarness again({}, h.dir);
        QVERIFY(again.open());
        QCOMPARE(MainWindowHarness::rows(again.c.searchList),
                 (QStringList{"first", "plumber boston"}));
    }

    void del_data()
    {
        QTest::addColumn<int>("searchCount");
        QTest::addColumn<int>("row"); // -1: nothing selected
        QTest::addColumn<bool>("harvesting");
        QTest::addColumn<int>("backlog"); // saved queue rows: Resume is offered
        QTest::addColumn<int>("answer");  // to the question, if one comes
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("rowsLeft");
        QTest::addColumn<bool>("resumeAfter");

        const QString noSel = QStringLiteral("You must select a search to delete.");
        const QString current = QStringLiteral(
            "You cannot delete the current search while the varnel is harvesting faxes.");
        const QString confirm =
            QStringLiteral("You will not be able to resume the current search if it is deleted."
                           "\r\n\r\nContinue?");
        QTest::newRow("nothing selected, empty list")
            << 0 << -1 << false << 0 << 0 << QString() << 0 << false;
        QTest::newRow("nothing selected") << 2 << -1 << false << 0 << 0 << noSel << 2 << false;
        QTest::newRow("later entry") << 3 << 2 << false << 0 << 0 << QString() << 2 << false;
        QTest::newRow("later entry while harvesting")
            << 3 << 1 << true << 5 << 0 << QString() << 2 << false;
        QTest::newRow("current while harvesting")
            << 2 << 0 << true << 5 << 0 << current << 2 << false;
        QTest::newRow("current with resume, OK")
            << 2 << 0 << false << 5 << int(HarvestMessages::Ok) << confirm << 1 << false;
        QTest::newRow("current with resume, Cancel")
            << 2 << 0 << false << 5 << int(HarvestMessages::Cancel) << confirm << 2 << true;
        QTest::newRow("current without resume")
            << 2 << 0 << false << 0 << 0 << QString() << 1 << false;
    }

    void del()
    {
        QFETCH(int, searchCount);
        QFETCH(int, row);
        QFETCH(bool, harvesting);
        QFETCH(int, backlog);
        QFETCH(int, answer);
        QFETCH(QString, message);
        QFETCH(int, rowsLeft);
        QFETCH(bool, resumeAfter);

        MainWindowHarness h;
        QStringList searches;
        for (int i = 0; i < searchCount; ++i)
            searches << QStringLiteral("search %1").arg(i);
        if (harvesting) {
            QVERIFY(startHarvest(h, searches, backlog));
        } else {
            h.addSearches(searches);
            h.addBacklog(backlog);
            QVERIFY(h.open());
        }
        h.messages.answers << HarvestMessages::Answer(answer);
        if (row >= 0) {
            MainWindowHarness::clickRow(h.c.searchList, row);
            QCOMPARE(h.session->searches()->selectedRow(), row);
        }
        QTest::mouseClick(h.c.deleteSearchButton, Qt::LeftButton);

        QCOMPARE(h.messages.texts(), message.isEmpty() ? QStringList() : QStringList{message});
        if (!h.messages.shown.isEmpty() && h.messages.shown.first().question)
            QCOMPARE(h.messages.shown.first().title, QStringLiteral("Confirm Delete"));
        QStringList expected = searches;
        if (rowsLeft < searchCount)
            expected.removeAt(row);
        QCOMPARE(MainWindowHarness::rows(h.c.searchList), expected);
        QCOMPARE(h.c.resumeButton->isEnabled(), resumeAfter);
        // The Next button rule: harvesting with more than one search string.
        QCOMPARE(h.c.nextSearchButton->isEnabled(), harvesting && rowsLeft > 1);
        if (answer == int(HarvestMessages::Ok) && !message.isEmpty())
            QCOMPARE(h.session->store()->countWebsites().value_or(-1), 0);
    }

    void deleteAll_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("OK") << int(HarvestMessages::Ok);
        QTest::newRow("Cancel") << int(HarvestMessages::Cancel);
    }

    void deleteAll()
    {
        QFETCH(int, answer);
        MainWindowHarness h;
        for (int i = 0; i < 3; ++i) {
            QString number = QStringLiteral("1-212-555-010%1").arg(i);
            QString search = QStringLiteral("s");
            addFax(*h.session->store(), number, QStringLiteral("a.example/"), search,
                   QStringLiteral("NY"));
        }
        QVERIFY(h.open());
        QCOMPARE(MainWindowHarness::rows(h.c.numberPreviewList).size(), 3);
        h.messages.answers << HarvestMessages::Answer(answer);
        QTest::mouseClick(h.c.deleteAllNumbersButton, Qt::LeftButton);
        QCOMPARE(h.messages.shown.first().text,
                 QStringLiteral("Are you sure you want to delete all faxes from the database?"));
        QCOMPARE(h.messages.shown.first().title, QStringLiteral("Confirm"));
        // Enter answers Cancel, and the question says how many numbers go.
        QVERIFY(h.messages.shown.first().destructive);
        QCOMPARE(h.messages.shown.first().detail,
                 QStringLiteral("All 3 fax numbers stored will be deleted."));
        if (answer == int(HarvestMessages::Ok)) {
            QCOMPARE(h.messages.texts().last(), QStringLiteral("All faxes have been deleted."));
            QVERIFY(MainWindowHarness::rows(h.c.numberPreviewList).isEmpty());
        } else {
            QCOMPARE(h.messages.shown.size(), 1);
            QCOMPARE(MainWindowHarness::rows(h.c.numberPreviewList).size(), 3);
        }
    }

    void next_data()
    {
        QTest::addColumn<QStringList>("searches");
        QTest::addColumn<int>("lastSearch"); // cmbLastSearch
        QTest::addColumn<bool>("stillHarvesting");
        QTest::addColumn<QStringList>("sounds");
        QTest::addColumn<QStringList>("rowsAfter");
        QTest::newRow("last, continue until stopped")
            << QStringList{"only"} << 1 << true << QStringList{"finished.wav"}
            << QStringList{"only"};
        QTest::newRow("last, stop immediately")
            << QStringList{"only"} << 0 << false << QStringList{"finished.wav"}
            << QStringList{"only"};
        QTest::newRow("earlier") << QStringList{"one", "two", "three"} << 0 << false
                                 << QStringList{"finished.wav", "nextsearch.wav"}
                                 << QStringList{"two", "three"};
    }

    void next()
    {
        QFETCH(QStringList, searches);
        QFETCH(int, lastSearch);
        QFETCH(bool, stillHarvesting);
        QFETCH(QStringList, sounds);
        QFETCH(QStringList, rowsAfter);
        MainWindowHarness h(picked());
        QVERIFY(startHarvest(h, searches, 5));
        pick(h.c.combo(OptionId::AfterLastSearch), lastSearch);
        // The Next button is there to press only with more than one search string; on the last
        // one its handler still runs for the automatic advance.
        if (searches.size() > 1)
            QTest::mouseClick(h.c.nextSearchButton, Qt::LeftButton);
        else
            h.session->nextSearch();

        QCOMPARE(h.sound.names(), sounds);
        QCOMPARE(MainWindowHarness::rows(h.c.searchList), rowsAfter);
        // After Next on an earlier entry the sites of the next one are looked up: Stop ends it.
        const bool running = stillHarvesting || searches.size() > 1;
        QCOMPARE(h.c.stopButton->isEnabled(), running);
        QCOMPARE(h.c.startButton->isEnabled(), !running);
        QVERIFY(!h.c.nextSearchButton->isEnabled());
        if (searches.size() > 1) {
            // Discovery starts for the new first entry; the old queue is gone.
            QCOMPARE(h.builder.loads, 1);
            QCOMPARE(h.session->discoverySearch(), QStringLiteral("two"));
            QVERIFY(MainWindowHarness::rows(h.c.siteQueueList).isEmpty());
            QVERIFY(!h.c.resumeButton->isEnabled());
        } else if (!stillHarvesting) {
            QCOMPARE(h.form->panelText(1), QStringLiteral("Stopped"));
            // A narrow panel shows its whole text as its tooltip.
            QCOMPARE(h.c.panel(1)->toolTip(), QStringLiteral("Stopped"));
        }
    }

    // The buttons of the original window: the numbers' buttons wait for the harvest.
    void stop_and_resume()
    {
        MainWindowHarness h({{QStringLiteral("chkBesideHarvest"), QStringLiteral("0")}});
        QVERIFY(startHarvest(h, {QStringLiteral("one"), QStringLiteral("two")}, 30));
        // Resume: the harvest runs on the saved queue.
        QVERIFY(!h.c.resumeButton->isEnabled());
        QVERIFY(!h.c.startButton->isEnabled());
        QVERIFY(h.c.stopButton->isEnabled());
        QVERIFY(h.c.nextSearchButton->isEnabled());
        QVERIFY(!h.c.viewDatabaseButton->isEnabled());
        QVERIFY(h.form->panelText(1).startsWith(QStringLiteral("Downloading: http://site")));
        QTRY_VERIFY(m_silentWeb.connectionCount() > 0);

        const int progress = h.c.progressBar->value();
        QTest::mouseClick(h.c.stopButton, Qt::LeftButton);
        QCOMPARE(h.form->panelText(1), QStringLiteral("Stopped"));
        for (int p = 2; p <= 4; ++p)
            QCOMPARE(h.form->panelText(p), QString());
        QCOMPARE(h.c.progressBar->value(), progress); // full would read as finished
        QVERIFY(h.c.startButton->isEnabled());
        QVERIFY(!h.c.stopButton->isEnabled());
        QVERIFY(!h.c.nextSearchButton->isEnabled());
        QVERIFY(h.c.resumeButton->isEnabled()); // rows are left in the backlog
        QVERIFY(h.c.viewDatabaseButton->isEnabled() && h.c.exportButton->isEnabled() &&
                h.c.deleteAllNumbersButton->isEnabled());
        QCOMPARE(h.sound.names(), QStringList{"finished.wav"});

        QTest::mouseClick(h.c.resumeButton, Qt::LeftButton);
        QVERIFY(h.c.stopButton->isEnabled());
        QVERIFY(!h.c.resumeButton->isEnabled());
    }

    // A list of fixed values is picked from: typed keys pick nothing and store nothing.
    void choices_arePickedNotTyped()
    {
        MainWindowHarness h;
        QVERIFY(h.open());
        QComboBox *count = h.c.combo(OptionId::ResultCount);
        QVERIFY(!count->isEditable());
        count->setFocus();
        QTest::keyClicks(count, QStringLiteral("250"));
        QCOMPARE(h.session->options()->value(OptionId::ResultCount), -1);
        QCOMPARE(h.settings->read(QStringLiteral("Combo2"), QStringLiteral("<absent>")),
                 QStringLiteral("<absent>"));
        QCOMPARE(OptionControl::shownText(count), QStringLiteral("How Many Results?"));
        pick(count, 2);
        QCOMPARE(h.session->options()->value(OptionId::ResultCount), 2);
        QCOMPARE(h.settings->read(QStringLiteral("Combo2"), QString()), QStringLiteral("2"));
        QCOMPARE(OptionControl::shownText(count), QStringLiteral("~500 Domains"));
    }

    // The options of how pages are downloaded are in a dialog of their own, each with its
    // caption and value whole; a change is written through at once.
    void crawlOptions_inADialogOfTheirOwn()
    {
        MainWindowHarness h;
        QVERIFY(h.open());
        auto *button = control<QPushButton>(h.form.get(), QStringLiteral("cmdCrawlOptions"));
        QVERIFY(h.c.optionsFrame->isAncestorOf(button));
        QTest::mouseClick(button, Qt::LeftButton);
        auto *dialog = control<QDialog>(h.form.get(), QStringLiteral("frmCrawlOptions"));
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Crawl Options"));
        if (const QString dir = qEnvironmentVariable("VARNEL_GRAB_DIR"); !dir.isEmpty()) {
            dialog->grab().save(QDir(dir).filePath(QStringLiteral("crawl-options.png")));
            h.form->grab().save(QDir(dir).filePath(QStringLiteral("main.png")));
        }
        const std::vector<OptionId> ids = CrawlOptionsDialog::options(optionTable());
        QCOMPARE(int(ids.size()), 8);
        const QList<QLabel *> labels = dialog->findChildren<QLabel *>();
        for (OptionId id : ids) {
            const OptionRow &row = optionRow(id);
            QVERIFY2(!h.c.optionsFrame->findChild<QWidget *>(row.objectName),
                     qPrintable(row.objectName));
            auto *w = control<QWidget>(dialog, row.objectName);
            QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(row.objectName));
            if (row.kind == OptionRow::Kind::Check)
                continue;
            // A caption beside it says what it is.
            const auto caption = std::find_if(labels.begin(), labels.end(),
                                              [w](QLabel *l) { return l->buddy() == w; });
            QVERIFY2(caption != labels.end(), qPrintable(row.objectName));
            QCOMPARE((*caption)->text(), row.caption + QLatin1Char(':'));
            QVERIFY((*caption)->width() >= (*caption)->sizeHint().width());
        }

        auto *parallel = control<QComboBox>(dialog, QStringLiteral("cmbParallel"));
        QVERIFY(!parallel->isEditable());
        QCOMPARE(parallel->currentText(), QStringLiteral("10"));
        pick(parallel, 2);
        QCOMPARE(h.session->options()->value(OptionId::ParallelDownloads), 2);
        QCOMPARE(h.settings->read(QStringLiteral("cmbParallel"), QString()), QStringLiteral("2"));
        QCOMPARE(parallel->currentText(), QStringLiteral("50"));
        auto *perSite = control<QSpinBox>(dialog, QStringLiteral("txtPerSite"));
        perSite->setValue(3);
        QCOMPARE(h.session->options()->value(OptionId::DownloadsPerSite), 3);
        QTest::keyClicks(control<QLineEdit>(dialog, QStringLiteral("txtUserAgent")),
                         QStringLiteral("Acme"));
        QCOMPARE(h.session->options()->text(OptionId::UserAgentText), QStringLiteral("Acme"));

        // Without "Follow redirects (HTTPS)" the modern crawl's own options do not apply.
        h.c.checkBox(OptionId::FollowRedirects)->click();
        QVERIFY(!perSite->isEnabled());
        QVERIFY(!control<QCheckBox>(dialog, QStringLiteral("chkRobots"))->isEnabled());
        QVERIFY(!control<QCheckBox>(dialog, QStringLiteral("chkStopAtFax"))->isEnabled());
        QVERIFY(parallel->isEnabled());
        h.c.checkBox(OptionId::FollowRedirects)->click();
        QVERIFY(perSite->isEnabled());

        // One dialog, however often it is asked for.
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(h.form->findChildren<QDialog *>(QStringLiteral("frmCrawlOptions")).size(), 1);
    }

    // File > Places…: the search string typed, once for every place of the list, each a
    // search string of its own; what each search yielded shows on the list of searches.
    void places_oneSearchEachAndTheirYield()
    {
        MainWindowHarness h;
        QVERIFY(h.open());
        QTest::keyClicks(h.c.newSearchEdit, QStringLiteral("plumber"));
        control<QAction>(h.form.get(), QStringLiteral("mnuPlaces"))->trigger();
        auto *dialog = control<QDialog>(h.form.get(), QStringLiteral("frmPlaces"));
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QCOMPARE(control<QLineEdit>(dialog, QStringLiteral("txtPlacesSearch"))->text(),
                 QStringLiteral("plumber"));
        auto *add = control<QPushButton>(dialog, QStringLiteral("cmdAddPlaces"));
        QVERIFY(!add->isEnabled());
        control<QPlainTextEdit>(dialog, QStringLiteral("txtPlaces"))
            ->setPlainText(QStringLiteral("Springfield\n\n62704\nspringfield\n"));
        QVERIFY(add->isEnabled());
        QCOMPARE(control<QLabel>(dialog, QStringLiteral("lblPlacesSummary"))->text(),
                 QStringLiteral("2 searches: \"plumber Springfield\" and 1 more. 1 listed again, "
                                "left out."));
        QTest::mouseClick(add, Qt::LeftButton);
        QTRY_VERIFY(h.form->findChildren<QDialog *>(QStringLiteral("frmPlaces")).isEmpty());
        QCOMPARE(h.session->searches()->items(),
                 (QStringList{"plumber Springfield", "plumber 62704"}));

        YieldReport *yield = h.session->yield();
        yield->begin(QStringLiteral("plumber Springfield"));
        yield->sitesFound(12);
        yield->numberRead(QStringLiteral("1-212-555-0100"), true);
        yield->numberRead(QStringLiteral("1-212-555-0101"), false);
        yield->finish();
        QCOMPARE(h.c.searchList->toolTip(),
                 QStringLiteral("What each search yielded:\nplumber Springfield: 12 sites, 2 "
                                "numbers, 1 new (50%)"));
    }

    // The numbers window and an export only read the store: they open beside a harvest,
    // and such an export deletes nothing. The folder and Delete All wait for it to stop.
    void harvest_numbersWindowAndExportBesideIt()
    {
        MainWindowHarness h;
        QVERIFY(startHarvest(h, {QStringLiteral("one")}, 25));
        QVERIFY(h.c.viewDatabaseButton->isEnabled());
        QVERIFY(h.c.exportButton->isEnabled());
        QVERIFY(!h.c.deleteAllNumbersButton->isEnabled());
        QVERIFY(!h.presenter->isEnabled(Button::ViewDatabase)); // the original rule
        QTest::mouseClick(h.c.viewDatabaseButton, Qt::LeftButton);
        QVERIFY(h.windows->numbers() && h.windows->numbers()->isVisible());
        QTest::mouseClick(h.c.exportButton, Qt::LeftButton);
        ExportDialog *e = h.windows->exportDialog();
        QVERIFY(e && e->isVisible());
        auto *deleteAfter = control<QCheckBox>(e, QStringLiteral("Check1"));
        QVERIFY(!deleteAfter->isEnabled());
        QTest::mouseClick(h.c.stopButton, Qt::LeftButton);
        QVERIFY(deleteAfter->isEnabled());
        // With the folder in place of the numbers window, View waits as it always did.
        h.presenter->optionClicked(OptionId::NumbersWindow, 0);
        QTest::mouseClick(h.c.resumeButton, Qt::LeftButton);
        QVERIFY(h.session->isHarvesting());
        QVERIFY(!h.c.viewDatabaseButton->isEnabled());
        QVERIFY(h.c.exportButton->isEnabled());
    }

    // With the lists typed into, as the original window's were.
    void options_persistAcrossWindows()
    {
        MainWindowHarness h({{QStringLiteral("chkFixedChoices"), QStringLiteral("0")}});
        QVERIFY(h.open());
        // Every check box flips from its default.
        const QList<QCheckBox *> boxes = {
            h.c.checkBox(OptionId::AutoAdvance),        h.c.checkBox(OptionId::AddFaxToSearches),
            h.c.checkBox(OptionId::AllowInternational), h.c.checkBox(OptionId::SoundOnFaxFound),
            h.c.checkBox(OptionId::SoundOnNextSearch),  h.c.checkBox(OptionId::SoundOnFinished),
            h.c.checkBox(OptionId::FollowRedirects)};
        QList<bool> before;
        for (QCheckBox *c : boxes) {
            before << c->isChecked();
            QTest::mouseClick(c, Qt::LeftButton, Qt::NoModifier, QPoint(6, c->height() / 2));
        }
        pick(h.c.combo(OptionId::SearchEngine), 1);
        pick(h.c.combo(OptionId::ResultCount), 3);
        pick(h.c.combo(OptionId::AdvanceAfter), 4);
        QCOMPARE(h.session->advanceAfter(), 50000);
        QCOMPARE(h.settings->read(QStringLiteral("cmbAdvance"), QString()), QStringLiteral("4"));
        pick(h.c.combo(OptionId::AfterLastSearch), 1);
        h.form->close();
        h.form.reset();

        MainWindowHarness again({}, h.dir);
        QVERIFY(again.open());
        const QList<QCheckBox *> boxes2 = {again.c.checkBox(OptionId::AutoAdvance),
                                           again.c.checkBox(OptionId::AddFaxToSearches),
                                           again.c.checkBox(OptionId::AllowInternational),
                                           again.c.checkBox(OptionId::SoundOnFaxFound),
                                           again.c.checkBox(OptionId::SoundOnNextSearch),
                                           again.c.checkBox(OptionId::SoundOnFinished),
                                           again.c.checkBox(OptionId::FollowRedirects)};
        for (int i = 0; i < boxes2.size(); ++i)
            QVERIFY2(boxes2[i]->isChecked() == !before[i], qPrintable(boxes2[i]->objectName()));
        QCOMPARE(again.c.combo(OptionId::SearchEngine)->currentText(),
                 QStringLiteral("Yahoo Search"));
        QCOMPARE(again.c.combo(OptionId::ResultCount)->currentText(),
                 QStringLiteral("~1000 Domains"));
        QCOMPARE(again.c.combo(OptionId::AdvanceAfter)->currentText(), QStringLiteral("50,000"));
        QCOMPARE(again.session->advanceAfter(), 50000);
        QCOMPARE(again.c.combo(OptionId::AfterLastSearch)->currentText(),
                 QStringLiteral("Continue Until Stopped"));

        // Typing in "After last search:" picks nothing; the next window shows no pick there.
        QTest::keyClicks(again.c.combo(OptionId::AfterLastSearch)->lineEdit(), QStringLiteral("x"));
        QCOMPARE(again.session->options()->value(OptionId::AfterLastSearch), -1);
        QCOMPARE(again.settings->read(QStringLiteral("cmbLastSearch"), QString()),
                 QStringLiteral("-1"));
        again.form.reset();
        MainWindowHarness third({}, h.dir);
        QVERIFY(third.open());
        QCOMPARE(third.c.combo(OptionId::AfterLastSearch)->currentIndex(), -1);
        QCOMPARE(third.c.combo(OptionId::AfterLastSearch)->currentText(),
                 QStringLiteral("cmbLastSearch"));
    }

    void layoutRules_data()
    {
        // Client sizes in twips (below the menu bar, status bar included).
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("height");
        QTest::newRow("empty") << 0.0 << 0.0;
        QTest::newRow("tiny") << 600.0 << 300.0;
        QTest::newRow("narrower than the right column") << 4000.0 << 9000.0;
        QTest::newRow("lower than the frames' tops") << 15600.0 << 3000.0;
        QTest::newRow("odd width") << 15601.0 << 10000.0;
        QTest::newRow("default") << 15600.0 << 10470.0;
        QTest::newRow("large") << 28800.0 << 16200.0;
    }

    void layoutRules()
    {
        QFETCH(double, width);
        QFETCH(double, height);
        const MainDesign d;
        const double statusBar = 375;
        const MainLayout l = LayoutMain(width, height, statusBar, d);
        double panels = 0;
        for (double p : l.panelWidth)
            panels += p;
        QCOMPARE(panels, width);
        QCOMPARE(l.panelLeft[3] + l.panelWidth[3], width);
        const double sizes[] = {l.pb1Width,    l.frame3Height, l.frame2Height, l.frame1Height,
                                l.frame2Width, l.frame1Width,  l.list1Width,   l.websiteWidth,
                                l.list2Height, l.list3Height,  l.frame3Left,   l.frame2Left};
        for (double s : sizes)
            QVERIFY(s >= 0);
        QCOMPARE(l.frame1Height, l.frame2Height);
        QCOMPARE(l.frame1Width, l.frame2Width);
        QCOMPARE(l.frame4Left, l.frame3Left);
        if (width >= 15600 && height >= 10000) {
            // A window of at least the default size: pb1 inside panel 4, the right-hand frames
            // against the right edge, the left-hand frames side by side without overlapping,
            // Frame3 down to the status bar, the lists inside their frames.
            QVERIFY(l.pb1Left > l.panelLeft[3] && l.pb1Left + l.pb1Width < width);
            QCOMPARE(l.frame3Left + d.frameRightWidth + 175, width);
            QVERIFY(d.frame1Left + l.frame1Width < l.frame2Left);
            QCOMPARE(l.frame2Left + l.frame2Width + 50, l.frame3Left);
            QCOMPARE(d.frame3Top + l.frame3Height, height - statusBar);
            QCOMPARE(d.frameTop + l.frame1Height, height - statusBar);
            QVERIFY(d.list1Left + l.list1Width < l.frame1Width);
            QVERIFY(d.list2Top + l.list2Height < l.frame1Height);
        }
    }

    void layout_followsTheWindow_data()
    {
        QTest::addColumn<QSize>("size"); // pixels; (0, 0): the minimum size
        QTest::newRow("minimum") << QSize(0, 0);
        QTest::newRow("default") << QSize(-1, -1);
        QTest::newRow("1,024 x 700") << QSize(1024, 700);
        QTest::newRow("large") << QSize(1920, 1080);
    }

    void layout_followsTheWindow()
    {
        QFETCH(QSize, size);
        MainWindowHarness h;
        QVERIFY(h.open());
        MainWindow *f = h.form.get();
        if (size == QSize(0, 0))
            size = f->minimumSize();
        else if (size == QSize(-1, -1))
            size = f->size();
        f->resize(size);
        QTRY_COMPARE(f->size(), size);
        QTRY_COMPARE(h.c.panel(4)->geometry().right() + 1, f->width());
        int panels = 0;
        for (int p = 1; p <= 4; ++p)
            panels += h.c.panel(p)->width();
        QCOMPARE(panels, f->width());
        QVERIFY(h.c.panel(1)->width() >= f->width() / 2 - 1);
        QVERIFY(h.c.panel(4)->geometry().contains(h.c.progressBar->geometry()));
        QCOMPARE(h.c.statisticsFrame->geometry().bottom() + 1, f->centralWidget()->height());
        QCOMPARE(h.c.searchesFrame->geometry().bottom(), h.c.statisticsFrame->geometry().bottom());
        QVERIFY(h.c.statisticsFrame->geometry().right() < f->width());
        QVERIFY(h.c.searchesFrame->geometry().right() < h.c.numbersFrame->geometry().left());
        QVERIFY(h.c.numbersFrame->geometry().right() < h.c.statisticsFrame->geometry().left());
        // Every control whole inside its frame: nothing cut off, nothing negative.
        for (QGroupBox *frame :
             {h.c.searchesFrame, h.c.numbersFrame, h.c.statisticsFrame, h.c.optionsFrame}) {
            const QList<QWidget *> kids =
                frame->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
            for (QWidget *w : kids) {
                if (w->isHidden())
                    continue;
                QVERIFY2(frame->rect().contains(w->geometry()), qPrintable(w->objectName()));
                // Captions and values whole.
                if (qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w) ||
                    qobject_cast<QLabel *>(w))
                    QVERIFY2(
                        w->width() >= w->sizeHint().width(),
                        qPrintable(
                            w->objectName() +
                            QStringLiteral(" %1 < %2").arg(w->width()).arg(w->sizeHint().width())));
            }
        }
        QVERIFY(f->rect().contains(h.c.websiteButton->geometry()));
        QCOMPARE(h.c.siteQueueList->width(), h.c.searchList->width());
        QCOMPARE(h.c.deleteAllNumbersButton->width(), h.c.searchList->width());
    }

    void startup_emptyStore()
    {
        MainWindowHarness h({{QStringLiteral("lHistEmailFound"), QStringLiteral("37")},
                             {QStringLiteral("lHistWebScanned"), QStringLiteral("812")},
                             {QStringLiteral("showHelp"), QStringLiteral("1")}});
        QVERIFY(h.open());
        MainWindow *f = h.form.get();
        for (QListView *v : {h.c.searchList, h.c.siteQueueList, h.c.numberPreviewList})
            QVERIFY(MainWindowHarness::rows(v).isEmpty());
        QStringList stats;
        for (QLabel *l : h.c.statisticsLabels)
            stats << l->text();
        QCOMPARE(stats, (QStringList{"0", "0", "0", "812", "37"}));
        QVERIFY(!h.c.resumeButton->isEnabled());
        QVERIFY(h.c.startButton->isEnabled());
        QVERIFY(!h.c.stopButton->isEnabled() && !h.c.nextSearchButton->isEnabled());
        for (int p = 1; p <= 4; ++p)
            QCOMPARE(f->panelText(p), QString());
        // The help window opens at start-up while "showHelp" is "1".
        QVERIFY(h.windows->help());
        QVERIFY(h.windows->help()->isVisible());
    }

    void startup_savedQueue()
    {
        MainWindowHarness h;
        h.addSearches({QStringLiteral("one"), QStringLiteral("two")});
        h.addBacklog(30);
        QVERIFY(h.open());
        QCOMPARE(MainWindowHarness::rows(h.c.searchList), (QStringList{"one", "two"}));
        QCOMPARE(MainWindowHarness::rows(h.c.siteQueueList).size(), 20);
        QCOMPARE(h.session->store()->countWebsites().value_or(-1), 10);
        QVERIFY(h.c.resumeButton->isEnabled());
        QVERIFY(!h.windows->help()); // "showHelp" is "0"
    }

    void statistics_followTheCounters()
    {
        MainWindowHarness h;
        QVERIFY(h.open());
        h.session->counters()->add(Counters::SiteFound);
        h.session->counters()->add(Counters::SiteScanned);
        h.session->counters()->add(Counters::SiteScanned);
        QCOMPARE(h.c.statisticsLabels[0]->text(), QStringLiteral("2"));
        QCOMPARE(h.c.statisticsLabels[1]->text(), QStringLiteral("1"));
        QCOMPARE(h.c.statisticsLabels[3]->text(), QStringLiteral("2"));
        // A stop's texts reach the status bar; the bar stays as it was.
        h.session->stop();
        QCOMPARE(h.form->panelText(1), QStringLiteral("Stopped"));
        QCOMPARE(h.c.progressBar->value(), 0);
    }

    // A status text longer than its panel is shown shortened; in a panel wide enough it is
    // shown whole; the tooltip always holds the whole text.
    void statusText_shownWhole()
    {
        MainWindowHarness h;
        QVERIFY(h.open());
        const QString longText = QStringLiteral("Downloading: http://www.") +
                                 QString(300, QLatin1Char('a')) +
                                 QStringLiteral(".example/contact/index.htm (123456)");
        Q_EMIT h.presenter->statusTextChanged(1, longText);
        QLabel *panel = h.c.panel(1);
        QCOMPARE(h.form->panelText(1), longText);
        QCOMPARE(panel->toolTip(), longText);
        QVERIFY(panel->text().startsWith(QStringLiteral("Downloading: http://www.")));
        QVERIFY(panel->text().endsWith(QStringLiteral("(123456)")));
        QVERIFY(panel->fontMetrics().horizontalAdvance(panel->text()) <=
                panel->contentsRect().width());
        Q_EMIT h.presenter->statusTextChanged(1, QStringLiteral("Stopped"));
        QCOMPARE(panel->text(), QStringLiteral("Stopped"));
        QCOMPARE(panel->toolTip(), QStringLiteral("Stopped"));
        // A wider window shows more of a long text.
        Q_EMIT h.presenter->statusTextChanged(1, longText);
        const int shownBefore = int(panel->text().size());
        h.form->resize(h.form->width() + 600, h.form->height());
        QTRY_VERIFY(panel->text().size() > shownBefore);
    }

    void windows_openOnceFromButtonsAndMenus()
    {
        // With the numbers window off, "View Fax Database" opens the data folder.
        MainWindowHarness h({{QStringLiteral("chkNumbersWindow"), QStringLiteral("0")}});
        QVERIFY(h.open());
        QTest::mouseClick(h.c.viewDatabaseButton, Qt::LeftButton);
        QCOMPARE(h.openedUrls, QList<QUrl>{QUrl::fromLocalFile(h.dir)});
        QVERIFY(!h.windows->numbers());
        h.presenter->optionClicked(OptionId::NumbersWindow, 1);
        QTest::mouseClick(h.c.viewDatabaseButton, Qt::LeftButton);
        QVERIFY(h.windows->numbers() && h.windows->numbers()->isVisible());
        QCOMPARE(h.openedUrls.size(), 1);
        // Numbers deleted there leave the preview.
        FaxRow row;
        row.fax = QStringLiteral("1-212-555-0187");
        QVERIFY(h.session->store()->addFax(row));
        h.windows->numbers()->refresh();
        h.presenter->numbersDeleted();
        QCOMPARE(MainWindowHarness::rows(h.c.numberPreviewList).size(), 1);
        h.windows->numbers()->askYesNo = [](const QString &) { return true; };
        control<QTableView>(h.windows->numbers(), QStringLiteral("numbersTable"))->selectRow(0);
        h.windows->numbers()->deleteSelected();
        QCOMPARE(MainWindowHarness::rows(h.c.numberPreviewList), QStringList());

        QTest::mouseClick(h.c.exportButton, Qt::LeftButton);
        QVERIFY(h.windows->exportDialog() && h.windows->exportDialog()->isVisible());
        QTest::mouseClick(h.c.exportButton, Qt::LeftButton);
        QCOMPARE(QApplication::topLevelWidgets().count(h.windows->exportDialog()), 1);

        h.c.helpAction->trigger();
        QVERIFY(h.windows->help() && h.windows->help()->isVisible());
        h.c.aboutAction->trigger();
        AboutWindow *about = h.windows->about();
        QVERIFY(about && about->isVisible());
        h.c.aboutAction->trigger();
        QCOMPARE(h.windows->about(), about);
    }

    void shutdown_unloadsTheOtherWindowsAndQuits()
    {
        MainWindowHarness h;
        QVERIFY(startHarvest(h, {QStringLiteral("one")}, 25));
        QTest::mouseClick(h.c.exportButton, Qt::LeftButton); // beside the harvest
        h.c.helpAction->trigger();
        QVERIFY(h.windows->exportDialog() && h.windows->help());
        const int quits = h.quits;
        h.c.exitAction->trigger();
        QVERIFY(!h.form->isVisible());
        QVERIFY(h.form->isUnloaded());
        QVERIFY(!h.session->isHarvesting());
        QVERIFY(!h.session->anySlotBusy());
        QVERIFY(!h.windows->exportDialog() && !h.windows->help() && !h.windows->splash());
        QCOMPARE(h.quits, quits + 1);
        QVERIFY(!h.windows->isExitPending());
        // The sites held in List2 are back in the backlog: the next window offers Resume.
        QCOMPARE(h.session->store()->countWebsites().value_or(-1), 25);
    }

    void storeProblem_shownOnceNamingTheFile()
    {
        TempDataDir dir;
        QFile bad(dir.file(QStringLiteral("varnel.mdb")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write(QByteArray(4096, 'x'));
        bad.close();
        MainWindowHarness h({}, dir.path());
        QVERIFY(h.open());
        QTRY_VERIFY(h.form->findChild<QMessageBox *>(QStringLiteral("storeProblem")));
        QMessageBox *box = h.form->findChild<QMessageBox *>(QStringLiteral("storeProblem"));
        QVERIFY(box->text().contains(QStringLiteral("varnel.mdb")));
        // More failing operations bring no second box.
        QTest::mouseClick(h.c.addSearchButton, Qt::LeftButton);
        QTest::qWait(20);
        QCOMPARE(h.form->findChildren<QMessageBox *>(QStringLiteral("storeProblem")).size(), 1);
        box->close();
    }

    void messageBoxes_data()
    {
        QTest::addColumn<bool>("question");
        QTest::addColumn<int>("press");
        QTest::newRow("information") << false << int(QMessageBox::Ok);
        QTest::newRow("question, OK") << true << int(QMessageBox::Ok);
        QTest::newRow("question, Cancel") << true << int(QMessageBox::Cancel);
        QTest::newRow("destructive question, Enter") << true << int(QMessageBox::NoButton);
    }

    // The desktop side of the messages seam: text, title and buttons as given.
    void messageBoxes()
    {
        QFETCH(bool, question);
        QFETCH(int, press); // NoButton: Enter
        MessageBoxMessages messages;
        QString title, text, detail;
        QMessageBox::StandardButtons buttons;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            title = box->windowTitle();
            text = box->text();
            detail = box->informativeText();
            buttons = box->standardButtons();
            if (press == QMessageBox::NoButton)
                QTest::keyClick(box, Qt::Key_Return);
            else
                box->button(QMessageBox::StandardButton(press))->click();
        });
        if (!question) {
            messages.information(QStringLiteral("All faxes have been deleted."));
            QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
            QCOMPARE(title, strProductName);
        } else if (press == QMessageBox::NoButton) {
            // A question whose OK cannot be undone: Enter cancels; the detail is shown.
            const HarvestMessages::Answer a = messages.confirmDestructive(
                QStringLiteral("Delete?"), QStringLiteral("Confirm"),
                QStringLiteral("All 86 fax numbers stored will be deleted."));
            QCOMPARE(a, HarvestMessages::Cancel);
            QCOMPARE(title, QStringLiteral("Confirm"));
            QCOMPARE(detail, QStringLiteral("All 86 fax numbers stored will be deleted."));
            QCOMPARE(buttons, QMessageBox::Ok | QMessageBox::Cancel);
        } else {
            const HarvestMessages::Answer a =
                messages.confirm(QStringLiteral("Continue?"), QStringLiteral("Confirm Delete"));
            QCOMPARE(a, press == QMessageBox::Ok ? HarvestMessages::Ok : HarvestMessages::Cancel);
            QCOMPARE(title, QStringLiteral("Confirm Delete"));
            QCOMPARE(buttons, QMessageBox::Ok | QMessageBox::Cancel);
        }
        QVERIFY(!text.isEmpty());
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
