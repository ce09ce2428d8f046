// The main window's binding to the harvest presenter: what the user sees and what the clicks
// do. The harvest's own rules are tested with the session; here the widgets must show its state and
// forward every action.

#include "form1testkit.h"

#include "form8.h"
#include "frmabout.h"
#include "frmexport.h"
#include "frmsplash.h"
#include "globals.h"
#include "mainwindowlayout.h"
#include "mainwindowmessages.h"
#include "numberswindow.h"
#include "productinfo.h"
#include "shellglobals.h"
#include "testwebserver.h"
#include "twips.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
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

class TestForm1 : public QObject
{
    Q_OBJECT

private:
    int m_quits = 0;

    // A web that never answers: a harvest started against it stays running.
    TestWebServer m_silentWeb;

    // A window with saved search strings and backlog rows, harvesting (Resume pressed).
    bool startHarvest(Form1Harness &h, const QStringList &searches, int backlog)
    {
        h.session->setResolveMap(ResolveMap());
        ResolveMap map;
        map.add(m_silentWeb.resolveSpec());
        h.session->setResolveMap(map);
        h.addSearches(searches);
        h.addBacklog(backlog);
        if (!h.open() || !h.form->resumeButton->isEnabled())
            return false;
        QTest::mouseClick(h.form->resumeButton, Qt::LeftButton);
        return h.session->isHarvesting();
    }

private Q_SLOTS:
    void initTestCase()
    {
        TestEnv::enterTestMode();
        Form1::quitApplication = [this] { ++m_quits; };
        TestWebServer::Response silent;
        silent.fault = TestWebServer::Fault::NoAnswer;
        m_silentWeb.setFallback(silent);
        QVERIFY(m_silentWeb.listen());
    }

    void cleanup()
    {
        Form8::unload();
        frmAbout::unload();
        frmExport::unload();
    }

    void controls_showCaptionsAndTooltips()
    {
        Form1Harness h;
        QVERIFY(h.open());
        Form1 *f = h.form.get();
        QCOMPARE(f->windowTitle(), strProductName + QStringLiteral(" by ") + strCompanyName);
        QCOMPARE(f->websiteButton->text(), QStringLiteral("Visit ") + strWebsite);
        const QList<std::tuple<QAbstractButton *, QString, QString>> buttons = {
            {f->startButton, "Start", "Begin Harvesting Faxes"},
            {f->stopButton, "Stop", "Stop harvesting faxes"},
            {f->resumeButton, "Resume", "Resume harvesting emails"},
            {f->nextSearchButton, "Next", "Skip to your next search string"},
            {f->addSearchButton, "Add", ""},
            {f->deleteSearchButton, "Del", ""},
            {f->deleteAllNumbersButton, "Delete All Fax Numbers", "Delete all saved faxes"},
            {f->exportButton, "Export Numbers to List", "Export all the faxes you have found"},
            {f->viewDatabaseButton, "View Fax Database",
             "Varnel.mdb stores all thefaxes you have found"},
            {f->checkBox(OptionId::AutoAdvance), "Enable", "Click to enable Auto Search Advance"},
            {f->checkBox(OptionId::AddFaxToSearches), "Add \"fax\" to searches",
             "Adds the word \"fax\" to all your searches"},
            {f->checkBox(OptionId::AllowInternational), "Allow International",
             "Allows Non-US numbers"},
            {f->checkBox(OptionId::SoundOnFaxFound), "On Fax Found", ""},
            {f->checkBox(OptionId::SoundOnNextSearch), "On Next Search", ""},
            {f->checkBox(OptionId::SoundOnFinished), "On Finished", ""},
            {f->checkBox(OptionId::FollowRedirects), "Follow redirects (HTTPS)",
             f->checkBox(OptionId::FollowRedirects)->toolTip()},
        };
        for (const auto &[b, text, tip] : buttons) {
            QCOMPARE(b->text(), text);
            QCOMPARE(b->toolTip(), tip);
        }
        QCOMPARE(f->searchesFrame->title(), QStringLiteral("Searches"));
        QCOMPARE(f->numbersFrame->title(), QStringLiteral("Emails"));
        QCOMPARE(f->optionsFrame->title(), QStringLiteral("Options"));
        QCOMPARE(f->statisticsFrame->title(), QStringLiteral("Statistics"));

        // Every caption beside a control, each in the frame it belongs to.
        const QList<std::pair<QGroupBox *, QString>> labels = {
            {f->searchesFrame, "Search Strings"},
            {f->searchesFrame, "Enter a new Search String:"},
            {f->searchesFrame, "Preview - Next 20 Sites Queued:"},
            {f->numbersFrame, "Preview - Last 20 Numbers Found:"},
            {f->optionsFrame, "Auto Search Advance:"},
            {f->optionsFrame, "Advancd after this many websites are scanned:"},
            {f->optionsFrame, "After last search:"},
            {f->optionsFrame, "Audio:"},
            {f->optionsFrame, "Other:"},
            {f->statisticsFrame, "This Session"},
            {f->statisticsFrame, "Historically"},
            {f->statisticsFrame, "Sites Scanned:"},
            {f->statisticsFrame, "Sites Found:"},
            {f->statisticsFrame, "Numbers Found:"},
        };
        for (const auto &[frame, text] : labels) {
            bool found = false;
            const QList<QLabel *> all = frame->findChildren<QLabel *>();
            for (const QLabel *l : all)
                found = found || (l->text() == text && l->isVisible());
            QVERIFY2(found, qPrintable(text));
        }

        QCOMPARE(f->combo(OptionId::SearchEngine)->currentText(),
                 QStringLiteral("Which Search Type?"));
        QCOMPARE(f->combo(OptionId::ResultCount)->currentText(),
                 QStringLiteral("How Many Results?"));
        QVERIFY(f->combo(OptionId::SearchEngine)->isEditable() &&
                f->combo(OptionId::ResultCount)->isEditable());
        QCOMPARE(f->combo(OptionId::ResultCount)->count(), 6);
        QCOMPARE(f->combo(OptionId::ResultCount)->itemText(5), QStringLiteral("~10000 Domains"));
        QCOMPARE(f->combo(OptionId::AdvanceAfter)->currentText(), QStringLiteral("10,000"));
        QCOMPARE(f->combo(OptionId::AdvanceAfter)->itemText(7), QStringLiteral("500,000"));
        QCOMPARE(f->combo(OptionId::AfterLastSearch)->currentText(),
                 QStringLiteral("Stop Immediately"));

        QStringList menuTitles;
        const QList<QAction *> menus = f->menuBar()->actions();
        for (const QAction *m : menus)
            menuTitles << m->text();
        QCOMPARE(menuTitles, (QStringList{"File", "Help", "About"}));
        QCOMPARE(f->importSitesAction->text(), QStringLiteral("Import Sites…"));
        QCOMPARE(f->exitAction->text(), QStringLiteral("Exit"));
        QCOMPARE(f->helpAction->text(), QStringLiteral("View Help File"));
        QCOMPARE(f->aboutAction->text(), QStringLiteral("About this software"));
        QCOMPARE(f->progressBar->minimum(), 0);
        QCOMPARE(f->progressBar->maximum(), 100);
    }

    // A plain label of the four frames gets its skinned copy on top; the status panels do not.
    void skin_overlaysTheFramesLabels()
    {
        Form1Harness h;
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
                QVERIFY(s->source() != h.form->panel(p));
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
        Form1Harness h(
            {{QStringLiteral("Combo1"), combo1},
             {QStringLiteral("Combo2"), combo2},
             {QStringLiteral("chkFollow"), reference ? QStringLiteral("0") : QStringLiteral("1")}});
        h.addSearches(searches);
        h.addBacklog(3); // a saved queue offers Resume until Start empties it
        QVERIFY(h.open());
        QVERIFY(QTest::qWaitForWindowActive(h.form.get()));
        h.form->addSearchButton->setFocus();
        QCOMPARE(h.form->resumeButton->isEnabled(), !searches.isEmpty());
        const QStringList queued = Form1Harness::rows(h.form->siteQueueList);

        QTest::mouseClick(h.form->startButton, Qt::LeftButton);
        QCOMPARE(h.messages.texts(), QStringList{message});
        QTRY_COMPARE(QApplication::focusWidget() ? QApplication::focusWidget()->objectName()
                                                 : QString(),
                     focus);
        QVERIFY(h.form->startButton->isEnabled());
        QCOMPARE(h.form->resumeButton->isEnabled(), !reference);
        for (QPushButton *b : {h.form->stopButton, h.form->nextSearchButton})
            QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
        // Nothing runs after a refused start: the numbers' buttons are back.
        for (QPushButton *b :
             {h.form->viewDatabaseButton, h.form->exportButton, h.form->deleteAllNumbersButton})
            QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));
        QCOMPARE(h.builder.loads, 0);
        QCOMPARE(Form1Harness::rows(h.form->siteQueueList), reference ? QStringList() : queued);
    }

    void start_opensDiscovery()
    {
        Form1Harness h(picked());
        h.addSearches({QStringLiteral("plumber boston")});
        QVERIFY(h.open());
        QTest::mouseClick(h.form->startButton, Qt::LeftButton);
        QVERIFY(h.messages.shown.isEmpty());
        QCOMPARE(h.builder.loads, 1);
        QCOMPARE(h.builder.shows, 1);
        QCOMPARE(h.session->discoverySearch(), QStringLiteral("plumber boston"));
        QVERIFY(!h.form->viewDatabaseButton->isEnabled());
    }

    void add_withEnter()
    {
        Form1Harness h;
        h.addSearches({QStringLiteral("first")});
        QVERIFY(h.open());
        QTest::keyClicks(h.form->newSearchEdit, QStringLiteral("plumber boston"));
        QTest::keyClick(h.form->newSearchEdit, Qt::Key_Return);
        QCOMPARE(Form1Harness::rows(h.form->searchList), (QStringList{"first", "plumber boston"}));
        QCOMPARE(h.form->newSearchEdit->text(), QString());
        QCOMPARE(h.presenter->newSearchText(), QString());
        // In the store too: a new window shows it.
        h.form.reset();
        Form1Harness again({}, h.dir);
        QVERIFY(again.open());
        QCOMPARE(Form1Harness::rows(again.form->searchList),
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

        Form1Harness h;
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
            Form1Harness::clickRow(h.form->searchList, row);
            QCOMPARE(h.session->searches()->selectedRow(), row);
        }
        QTest::mouseClick(h.form->deleteSearchButton, Qt::LeftButton);

        QCOMPARE(h.messages.texts(), message.isEmpty() ? QStringList() : QStringList{message});
        if (!h.messages.shown.isEmpty() && h.messages.shown.first().question)
            QCOMPARE(h.messages.shown.first().title, QStringLiteral("Confirm Delete"));
        QStringList expected = searches;
        if (rowsLeft < searchCount)
            expected.removeAt(row);
        QCOMPARE(Form1Harness::rows(h.form->searchList), expected);
        QCOMPARE(h.form->resumeButton->isEnabled(), resumeAfter);
        // The Next button rule: harvesting with more than one search string.
        QCOMPARE(h.form->nextSearchButton->isEnabled(), harvesting && rowsLeft > 1);
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
        Form1Harness h;
        for (int i = 0; i < 3; ++i) {
            QString number = QStringLiteral("1-212-555-010%1").arg(i);
            QString search = QStringLiteral("s");
            addFax(*h.session->store(), number, QStringLiteral("a.example/"), search,
                   QStringLiteral("NY"));
        }
        QVERIFY(h.open());
        QCOMPARE(Form1Harness::rows(h.form->numberPreviewList).size(), 3);
        h.messages.answers << HarvestMessages::Answer(answer);
        QTest::mouseClick(h.form->deleteAllNumbersButton, Qt::LeftButton);
        QCOMPARE(h.messages.shown.first().text,
                 QStringLiteral("Are you sure you want to delete all faxes from the database?"));
        QCOMPARE(h.messages.shown.first().title, QStringLiteral("Confirm"));
        if (answer == int(HarvestMessages::Ok)) {
            QCOMPARE(h.messages.texts().last(), QStringLiteral("All faxes have been deleted."));
            QVERIFY(Form1Harness::rows(h.form->numberPreviewList).isEmpty());
        } else {
            QCOMPARE(h.messages.shown.size(), 1);
            QCOMPARE(Form1Harness::rows(h.form->numberPreviewList).size(), 3);
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
        Form1Harness h(picked());
        QVERIFY(startHarvest(h, searches, 5));
        pick(h.form->combo(OptionId::AfterLastSearch), lastSearch);
        // The Next button is there to press only with more than one search string; on the last
        // one its handler still runs for the automatic advance.
        if (searches.size() > 1)
            QTest::mouseClick(h.form->nextSearchButton, Qt::LeftButton);
        else
            h.session->nextSearch();

        QCOMPARE(h.sound.names(), sounds);
        QCOMPARE(Form1Harness::rows(h.form->searchList), rowsAfter);
        // After Next on an earlier entry the sites of the next one are looked up: Stop ends it.
        const bool running = stillHarvesting || searches.size() > 1;
        QCOMPARE(h.form->stopButton->isEnabled(), running);
        QCOMPARE(h.form->startButton->isEnabled(), !running);
        QVERIFY(!h.form->nextSearchButton->isEnabled());
        if (searches.size() > 1) {
            // Discovery starts for the new first entry; the old queue is gone.
            QCOMPARE(h.builder.loads, 1);
            QCOMPARE(h.session->discoverySearch(), QStringLiteral("two"));
            QVERIFY(Form1Harness::rows(h.form->siteQueueList).isEmpty());
            QVERIFY(!h.form->resumeButton->isEnabled());
        } else if (!stillHarvesting) {
            QCOMPARE(h.form->panelText(1), QStringLiteral("Stopped"));
            // A narrow panel shows its whole text as its tooltip.
            QCOMPARE(h.form->panel(1)->toolTip(), QStringLiteral("Stopped"));
        }
    }

    void stop_and_resume()
    {
        Form1Harness h;
        QVERIFY(startHarvest(h, {QStringLiteral("one"), QStringLiteral("two")}, 30));
        // Resume: the harvest runs on the saved queue.
        QVERIFY(!h.form->resumeButton->isEnabled());
        QVERIFY(!h.form->startButton->isEnabled());
        QVERIFY(h.form->stopButton->isEnabled());
        QVERIFY(h.form->nextSearchButton->isEnabled());
        QVERIFY(!h.form->viewDatabaseButton->isEnabled());
        QVERIFY(h.form->panelText(1).startsWith(QStringLiteral("Downloading: http://site")));
        QTRY_VERIFY(m_silentWeb.connectionCount() > 0);

        const int progress = h.form->progressBar->value();
        QTest::mouseClick(h.form->stopButton, Qt::LeftButton);
        QCOMPARE(h.form->panelText(1), QStringLiteral("Stopped"));
        for (int p = 2; p <= 4; ++p)
            QCOMPARE(h.form->panelText(p), QString());
        QCOMPARE(h.form->progressBar->value(), progress); // full would read as finished
        QVERIFY(h.form->startButton->isEnabled());
        QVERIFY(!h.form->stopButton->isEnabled());
        QVERIFY(!h.form->nextSearchButton->isEnabled());
        QVERIFY(h.form->resumeButton->isEnabled()); // rows are left in the backlog
        QVERIFY(h.form->viewDatabaseButton->isEnabled() && h.form->exportButton->isEnabled() &&
                h.form->deleteAllNumbersButton->isEnabled());
        QCOMPARE(h.sound.names(), QStringList{"finished.wav"});

        QTest::mouseClick(h.form->resumeButton, Qt::LeftButton);
        QVERIFY(h.form->stopButton->isEnabled());
        QVERIFY(!h.form->resumeButton->isEnabled());
    }

    void options_persistAcrossWindows()
    {
        Form1Harness h;
        QVERIFY(h.open());
        Form1 *f = h.form.get();
        // Every check box flips from its default.
        const QList<QCheckBox *> boxes = {
            f->checkBox(OptionId::AutoAdvance),        f->checkBox(OptionId::AddFaxToSearches),
            f->checkBox(OptionId::AllowInternational), f->checkBox(OptionId::SoundOnFaxFound),
            f->checkBox(OptionId::SoundOnNextSearch),  f->checkBox(OptionId::SoundOnFinished),
            f->checkBox(OptionId::FollowRedirects)};
        QList<bool> before;
        for (QCheckBox *c : boxes) {
            before << c->isChecked();
            QTest::mouseClick(c, Qt::LeftButton, Qt::NoModifier, QPoint(6, c->height() / 2));
        }
        pick(f->combo(OptionId::SearchEngine), 1);
        pick(f->combo(OptionId::ResultCount), 3);
        pick(f->combo(OptionId::AdvanceAfter), 4);
        QCOMPARE(h.session->advanceAfter(), 50000);
        QCOMPARE(h.settings->read(QStringLiteral("cmbAdvance"), QString()), QStringLiteral("4"));
        pick(f->combo(OptionId::AfterLastSearch), 1);
        h.form->close();
        h.form.reset();

        Form1Harness again({}, h.dir);
        QVERIFY(again.open());
        Form1 *g = again.form.get();
        const QList<QCheckBox *> boxes2 = {
            g->checkBox(OptionId::AutoAdvance),        g->checkBox(OptionId::AddFaxToSearches),
            g->checkBox(OptionId::AllowInternational), g->checkBox(OptionId::SoundOnFaxFound),
            g->checkBox(OptionId::SoundOnNextSearch),  g->checkBox(OptionId::SoundOnFinished),
            g->checkBox(OptionId::FollowRedirects)};
        for (int i = 0; i < boxes2.size(); ++i)
            QVERIFY2(boxes2[i]->isChecked() == !before[i], qPrintable(boxes2[i]->objectName()));
        QCOMPARE(g->combo(OptionId::SearchEngine)->currentText(), QStringLiteral("Yahoo Search"));
        QCOMPARE(g->combo(OptionId::ResultCount)->currentText(), QStringLiteral("~1000 Domains"));
        QCOMPARE(g->combo(OptionId::AdvanceAfter)->currentText(), QStringLiteral("50,000"));
        QCOMPARE(again.session->advanceAfter(), 50000);
        QCOMPARE(g->combo(OptionId::AfterLastSearch)->currentText(),
                 QStringLiteral("Continue Until Stopped"));

        // Typing in "After last search:" picks nothing; the next window shows no pick there.
        QTest::keyClicks(g->combo(OptionId::AfterLastSearch)->lineEdit(), QStringLiteral("x"));
        QCOMPARE(again.session->options()->value(OptionId::AfterLastSearch), -1);
        QCOMPARE(again.settings->read(QStringLiteral("cmbLastSearch"), QString()),
                 QStringLiteral("-1"));
        again.form.reset();
        Form1Harness third({}, h.dir);
        QVERIFY(third.open());
        QCOMPARE(third.form->combo(OptionId::AfterLastSearch)->currentIndex(), -1);
        QCOMPARE(third.form->combo(OptionId::AfterLastSearch)->currentText(),
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
        QTest::newRow("large") << QSize(1920, 1080);
    }

    void layout_followsTheWindow()
    {
        QFETCH(QSize, size);
        Form1Harness h;
        QVERIFY(h.open());
        Form1 *f = h.form.get();
        if (size == QSize(0, 0))
            size = f->minimumSize();
        else if (size == QSize(-1, -1))
            size = f->size();
        f->resize(size);
        QTRY_COMPARE(f->size(), size);
        QTRY_COMPARE(f->panel(4)->geometry().right() + 1, f->width());
        int panels = 0;
        for (int p = 1; p <= 4; ++p)
            panels += f->panel(p)->width();
        QCOMPARE(panels, f->width());
        QVERIFY(f->panel(1)->width() >= f->width() / 2 - 1);
        QVERIFY(f->panel(4)->geometry().contains(f->progressBar->geometry()));
        QCOMPARE(f->statisticsFrame->geometry().bottom() + 1, f->centralWidget()->height());
        QCOMPARE(f->searchesFrame->geometry().bottom(), f->statisticsFrame->geometry().bottom());
        QVERIFY(f->statisticsFrame->geometry().right() < f->width());
        QVERIFY(f->searchesFrame->geometry().right() < f->numbersFrame->geometry().left());
        QVERIFY(f->numbersFrame->geometry().right() < f->statisticsFrame->geometry().left());
        // Every control whole inside its frame: nothing cut off, nothing negative.
        for (QGroupBox *frame :
             {f->searchesFrame, f->numbersFrame, f->statisticsFrame, f->optionsFrame}) {
            const QList<QWidget *> kids =
                frame->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
            for (QWidget *w : kids) {
                if (w->isHidden())
                    continue;
                QVERIFY2(frame->rect().contains(w->geometry()), qPrintable(w->objectName()));
            }
        }
        QVERIFY(f->rect().contains(f->websiteButton->geometry()));
        QCOMPARE(f->siteQueueList->width(), f->searchList->width());
        QCOMPARE(f->deleteAllNumbersButton->width(), f->searchList->width());
    }

    void startup_emptyStore()
    {
        Form1Harness h({{QStringLiteral("lHistEmailFound"), QStringLiteral("37")},
                        {QStringLiteral("lHistWebScanned"), QStringLiteral("812")},
                        {QStringLiteral("showHelp"), QStringLiteral("1")}});
        QVERIFY(h.open());
        Form1 *f = h.form.get();
        for (QListView *v : {f->searchList, f->siteQueueList, f->numberPreviewList})
            QVERIFY(Form1Harness::rows(v).isEmpty());
        QStringList stats;
        for (QLabel *l : f->statisticsLabels)
            stats << l->text();
        QCOMPARE(stats, (QStringList{"0", "0", "0", "812", "37"}));
        QVERIFY(!f->resumeButton->isEnabled());
        QVERIFY(f->startButton->isEnabled());
        QVERIFY(!f->stopButton->isEnabled() && !f->nextSearchButton->isEnabled());
        for (int p = 1; p <= 4; ++p)
            QCOMPARE(f->panelText(p), QString());
        // The help window opens at start-up while "showHelp" is "1".
        QVERIFY(Form8::instance());
        QVERIFY(Form8::instance()->isVisible());
    }

    void startup_savedQueue()
    {
        Form1Harness h;
        h.addSearches({QStringLiteral("one"), QStringLiteral("two")});
        h.addBacklog(30);
        QVERIFY(h.open());
        QCOMPARE(Form1Harness::rows(h.form->searchList), (QStringList{"one", "two"}));
        QCOMPARE(Form1Harness::rows(h.form->siteQueueList).size(), 20);
        QCOMPARE(h.session->store()->countWebsites().value_or(-1), 10);
        QVERIFY(h.form->resumeButton->isEnabled());
        QVERIFY(!Form8::instance()); // "showHelp" is "0"
    }

    void statistics_followTheCounters()
    {
        Form1Harness h;
        QVERIFY(h.open());
        h.session->counters()->add(Counters::SiteFound);
        h.session->counters()->add(Counters::SiteScanned);
        h.session->counters()->add(Counters::SiteScanned);
        QCOMPARE(h.form->statisticsLabels[0]->text(), QStringLiteral("2"));
        QCOMPARE(h.form->statisticsLabels[1]->text(), QStringLiteral("1"));
        QCOMPARE(h.form->statisticsLabels[3]->text(), QStringLiteral("2"));
        // A stop's texts reach the status bar; the bar stays as it was.
        h.session->stop();
        QCOMPARE(h.form->panelText(1), QStringLiteral("Stopped"));
        QCOMPARE(h.form->progressBar->value(), 0);
    }

    // A status text longer than its panel is shown shortened; in a panel wide enough it is
    // shown whole; the tooltip always holds the whole text.
    void statusText_shownWhole()
    {
        Form1Harness h;
        QVERIFY(h.open());
        const QString longText = QStringLiteral("Downloading: http://www.") +
                                 QString(300, QLatin1Char('a')) +
                                 QStringLiteral(".example/contact/index.htm (123456)");
        Q_EMIT h.presenter->statusTextChanged(1, longText);
        QLabel *panel = h.form->panel(1);
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
        Form1Harness h({{QStringLiteral("chkNumbersWindow"), QStringLiteral("0")}});
        QVERIFY(h.open());
        QTest::mouseClick(h.form->viewDatabaseButton, Qt::LeftButton);
        QCOMPARE(h.openedUrls, QList<QUrl>{QUrl::fromLocalFile(h.dir)});
        QVERIFY(!NumbersWindow::instance());
        h.presenter->optionClicked(OptionId::NumbersWindow, 1);
        QTest::mouseClick(h.form->viewDatabaseButton, Qt::LeftButton);
        QVERIFY(NumbersWindow::instance() && NumbersWindow::instance()->isVisible());
        QCOMPARE(h.openedUrls.size(), 1);
        // Numbers deleted there leave the preview.
        FaxRow row;
        row.fax = QStringLiteral("1-212-555-0187");
        QVERIFY(h.session->store()->addFax(row));
        NumbersWindow::instance()->refresh();
        h.presenter->numbersDeleted();
        QCOMPARE(Form1Harness::rows(h.form->numberPreviewList).size(), 1);
        NumbersWindow::instance()->askYesNo = [](const QString &) { return true; };
        NumbersWindow::instance()->table->selectRow(0);
        NumbersWindow::instance()->deleteSelected();
        QCOMPARE(Form1Harness::rows(h.form->numberPreviewList), QStringList());

        QTest::mouseClick(h.form->exportButton, Qt::LeftButton);
        QVERIFY(frmExport::instance() && frmExport::instance()->isVisible());
        QTest::mouseClick(h.form->exportButton, Qt::LeftButton);
        QCOMPARE(QApplication::topLevelWidgets().count(frmExport::instance()), 1);

        h.form->helpAction->trigger();
        QVERIFY(Form8::instance() && Form8::instance()->isVisible());
        h.form->aboutAction->trigger();
        frmAbout *about = frmAbout::instance();
        QVERIFY(about && about->isVisible());
        h.form->aboutAction->trigger();
        QCOMPARE(frmAbout::instance(), about);
    }

    void shutdown_unloadsTheOtherWindowsAndQuits()
    {
        Form1Harness h;
        QVERIFY(startHarvest(h, {QStringLiteral("one")}, 25));
        frmExport::openWindow(h.session->store(), h.dir); // its button is off while harvesting
        h.form->helpAction->trigger();
        QVERIFY(frmExport::instance() && Form8::instance());
        const int quits = m_quits;
        h.form->exitAction->trigger();
        QVERIFY(!h.form->isVisible());
        QVERIFY(h.form->isUnloaded());
        QVERIFY(!h.session->isHarvesting());
        QVERIFY(!h.session->anySlotBusy());
        QVERIFY(!frmExport::instance() && !Form8::instance() && !frmSplash::instance());
        QCOMPARE(m_quits, quits + 1);
        QVERIFY(!bQuitPending);
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
        Form1Harness h({}, dir.path());
        QVERIFY(h.open());
        QTRY_VERIFY(h.form->findChild<QMessageBox *>(QStringLiteral("storeProblem")));
        QMessageBox *box = h.form->findChild<QMessageBox *>(QStringLiteral("storeProblem"));
        QVERIFY(box->text().contains(QStringLiteral("varnel.mdb")));
        // More failing operations bring no second box.
        QTest::mouseClick(h.form->addSearchButton, Qt::LeftButton);
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
    }

    // The desktop side of the messages seam: text, title and buttons as given.
    void messageBoxes()
    {
        QFETCH(bool, question);
        QFETCH(int, press);
        MessageBoxMessages messages;
        QString title, text;
        QMessageBox::StandardButtons buttons;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            title = box->windowTitle();
            text = box->text();
            buttons = box->standardButtons();
            box->button(QMessageBox::StandardButton(press))->click();
        });
        if (question) {
            const HarvestMessages::Answer a =
                messages.confirm(QStringLiteral("Continue?"), QStringLiteral("Confirm Delete"));
            QCOMPARE(a, press == QMessageBox::Ok ? HarvestMessages::Ok : HarvestMessages::Cancel);
            QCOMPARE(title, QStringLiteral("Confirm Delete"));
            QCOMPARE(buttons, QMessageBox::Ok | QMessageBox::Cancel);
        } else {
            messages.information(QStringLiteral("All faxes have been deleted."));
            QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
            QCOMPARE(title, strProductName);
        }
        QVERIFY(!text.isEmpty());
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestForm1 test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_form1.moc"
