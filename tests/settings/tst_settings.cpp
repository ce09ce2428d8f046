#include "globals.h"
#include "options.h"
#include "settingsstore.h"
#include "testenv.h"

#include <QSignalSpy>
#include <QTest>

class TestSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void readWithDefault_andWriteThrough()
    {
        TempDataDir dir;
        const QString ini = SettingsStore::iniPathForDataDir(dir.path());
        {
            SettingsStore s(ini);
            QCOMPARE(s.read(QStringLiteral("showHelp"), QStringLiteral("1")), QStringLiteral("1"));
            s.write(QStringLiteral("showHelp"), QStringLiteral("0"));
        }
        // Written at once: a second store on the same file sees it, under "Settings".
        SettingsStore again(ini);
        QCOMPARE(again.read(QStringLiteral("showHelp"), QStringLiteral("1")), QStringLiteral("0"));
        QFile f(ini);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains("[Settings]"));
    }

    void perUserStore_usesProductName()
    {
        SettingsStore s;
        QVERIFY2(s.fileName().contains(QStringLiteral("Quorvex Fax Varnel")),
                 qPrintable(s.fileName()));
    }

    // Every key and object name of the program's options is the control name of the
    // original window, so that existing settings files keep loading.
    void optionTable_keysAndDefaults()
    {
        const QStringList keys = {"Combo1", "Combo2", "chkAuto", "chkAddFax", "chkNonUS",
                                  "chkAudioEmail", "chkAudioNext", "chkAudioFinished", "chkFollow",
                                  "cmbAdvance", "cmbLastSearch", "chkFinder", "chkNextEngine",
                                  "chkAllEndings", "chkNumbersWindow",
                                  // options of the crawl
                                  "cmbParallel", "cmbPagesPerSite", "chkAllowLocal", "txtUserAgent",
                                  "txtPerSite", "chkRobots", "chkStopAtFax",
                                  // options of the window (settings file only)
                                  "chkFixedChoices", "chkBesideHarvest",
                                  // and of the crawl again
                                  "chkRenderScripts"};
        const QList<int> defaults = {-1, -1, 0, 1, 1, 1, 1, 1, 1, 2, 0, 1, 1,
                                     0,  1,  0, 1, 0, 0, 2, 1, 1, 1, 1, 0};
        const OptionTable &table = optionTable();
        QCOMPARE(int(table.size()), keys.size());
        for (size_t i = 0; i < table.size(); ++i) {
            QCOMPARE(int(table[i].id), int(i));
            QCOMPARE(table[i].key, keys.at(int(i)));
            QCOMPARE(table[i].objectName, keys.at(int(i)));
            QCOMPARE(table[i].defaultValue, defaults.at(int(i)));
        }
    }

    // A table of one option of each kind: stored values load within their ranges, clicks
    // write through, and typed text in a choice is stored only where the row says so.
    void optionValues_loadSetAndUnpick()
    {
        const OptionTable table = {
            OptionRow::check(OptionId(100), "check", "Check", 1),
            OptionRow::choice(OptionId(101), "choice", "Pick one", {"a", "b", "c"}, -1),
            OptionRow::choice(OptionId(102), "kept", "Pick", {"a", "b"}, 0).keepUnpicked(),
            OptionRow::number(OptionId(103), "number", "Pages per site", 50, 1, 1000),
            OptionRow::text(OptionId(104), "text", "User agent", QStringLiteral("Mozilla/5.0")),
        };
        TempDataDir dir;
        SettingsStore s(SettingsStore::iniPathForDataDir(dir.path()));
        s.write(QStringLiteral("check"), QStringLiteral("0"));
        s.write(QStringLiteral("choice"), QStringLiteral("3")); // out of range
        s.write(QStringLiteral("number"), QStringLiteral("999"));
        OptionValues values(&s, table);
        QCOMPARE(values.value(OptionId(100)), 1); // defaults until loaded
        QSignalSpy changed(&values, &OptionValues::changed);
        values.load();
        QCOMPARE(values.value(OptionId(100)), 0);
        QCOMPARE(values.value(OptionId(101)), -1);
        QCOMPARE(values.value(OptionId(103)), 999);
        QCOMPARE(values.text(OptionId(104)), QStringLiteral("Mozilla/5.0"));
        QCOMPARE(changed.size(), 2);

        QVERIFY(!values.set(OptionId(103), 1001));
        QVERIFY(!values.set(OptionId(101), -1)); // a pick is never "nothing"
        QVERIFY(values.set(OptionId(101), 2));
        QVERIFY(values.setText(OptionId(104), QStringLiteral("agent/1")));
        QCOMPARE(s.read(QStringLiteral("choice"), QString()), QStringLiteral("2"));
        QCOMPARE(s.read(QStringLiteral("text"), QString()), QStringLiteral("agent/1"));

        values.unpick(OptionId(101));
        values.unpick(OptionId(102));
        QCOMPARE(values.value(OptionId(101)), -1);
        QCOMPARE(s.read(QStringLiteral("choice"), QString()), QStringLiteral("2"));
        QCOMPARE(s.read(QStringLiteral("kept"), QString()), QStringLiteral("-1"));
    }

    // A choice's pick reads as the number its item stands for, and as nothing while no item
    // is picked; the program's own rows give every item a number.
    void optionValues_pickedNumbers()
    {
        const OptionTable table = {
            OptionRow::choice(OptionId(100), "kept", "Pick", {"1,000", "5,000"}, 0)
                .meaning({1000, 5000})
                .keepUnpicked(),
            OptionRow::choice(OptionId(101), "plain", "Pick", {"a", "b"}, 0),
        };
        OptionValues values(nullptr, table);
        QCOMPARE(values.picked(OptionId(100)), std::optional<int>(1000));
        QVERIFY(values.set(OptionId(100), 1));
        QCOMPARE(values.picked(OptionId(100)), std::optional<int>(5000));
        values.unpick(OptionId(100));
        QCOMPARE(values.picked(OptionId(100)), std::nullopt);
        QCOMPARE(values.picked(OptionId(101)), std::nullopt); // items without numbers

        for (const OptionId id :
             {OptionId::AdvanceAfter, OptionId::ParallelDownloads, OptionId::PagesPerSite}) {
            const OptionRow &row = optionRow(id);
            QCOMPARE(row.values.size(), row.items.size());
        }
        QCOMPARE(optionRow(OptionId::PagesPerSite).values.last(), OptionRow::NoLimit);
    }

    void optionFlags_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("check on") << QStringList{"--intl"} << int(OptionId::AllowInternational) << 1
                                  << QString() << QString();
        QTest::newRow("check off") << QStringList{"--no-follow"} << int(OptionId::FollowRedirects)
                                   << 0 << QString() << QString();
        QTest::newRow("clearing check")
            << QStringList{"--literal"} << int(OptionId::FindBeyondFaxLine) << 0 << QString()
            << QString();
        QTest::newRow("clearing check, negated")
            << QStringList{"--no-literal"} << int(OptionId::FindBeyondFaxLine) << 1 << QString()
            << QString();
        QTest::newRow("choice") << QStringList{"--results", "1000"} << int(OptionId::ResultCount)
                                << 3 << QString() << QString();
        QTest::newRow("choice of two, wrong")
            << QStringList{"--last-search", "never"} << int(OptionId::AfterLastSearch) << -1
            << QString() << "--last-search is stop or continue";
        QTest::newRow("engine of the table")
            << QStringList{"--engine", "duckduckgo"} << int(OptionId::SearchEngine) << 5
            << QString() << QString();
        QTest::newRow("choice of many, wrong")
            << QStringList{"--results", "7"} << int(OptionId::ResultCount) << -1 << QString()
            << "--results is one of 100, 200, 500, 1000, 5000, 10000";
        QTest::newRow("value missing")
            << QStringList{"--last-search"} << int(OptionId::AfterLastSearch) << 0 << QString()
            << "--last-search needs a value";
        QTest::newRow("number") << QStringList{"--pages", "20"} << 103 << 20 << QString()
                                << QString();
        QTest::newRow("number out of range") << QStringList{"--pages", "0"} << 103 << 0 << QString()
                                             << "--pages is a number from 1 to 1000";
        QTest::newRow("text") << QStringList{"--agent", "x/1"} << 104 << 0 << "x/1" << QString();
        QTest::newRow("not an option")
            << QStringList{"--resume"} << -1 << 0 << QString() << QString();
    }
    void optionFlags()
    {
        QFETCH(QStringList, args);
        QFETCH(int, id);
        QFETCH(int, value);
        QFETCH(QString, text);
        QFETCH(QString, error);
        OptionTable table = optionTable();
        table.push_back(
            OptionRow::number(OptionId(103), "number", "Pages", 5, 1, 1000).flag("pages"));
        table.push_back(OptionRow::text(OptionId(104), "text", "Agent", QString()).flag("agent"));
        int i = 0;
        OptionFlags::Setting setting;
        QString why;
        const bool taken = OptionFlags::parse(args, &i, &setting, &why, table);
        QCOMPARE(taken, id >= 0);
        QCOMPARE(why, error);
        if (!taken || !error.isEmpty())
            return;
        QCOMPARE(int(setting.id), id);
        QCOMPARE(setting.value, value);
        QCOMPARE(setting.text, text);
        QCOMPARE(i, args.size() - 1);
    }

    void optionFlags_usage()
    {
        QCOMPARE(
            OptionFlags::usage(),
            QStringLiteral("[--engine google|yahoo|brave|mojeek|bing|duckduckgo|startpage|"
                           "ecosia] [--results 100|200|500|1000|5000|10000] "
                           "[--add-fax|--no-add-fax] [--intl|--no-intl] "
                           "[--follow|--no-follow] [--last-search stop|continue] "
                           "[--literal|--no-literal] [--next-engine|--no-next-engine] "
                           "[--all-endings|--no-all-endings] [--parallel 10|20|50|100] "
                           "[--pages-per-site 50|200|1000|none] "
                           "[--allow-local|--no-allow-local] [--user-agent TEXT] [--per-site N] "
                           "[--robots|--no-robots] [--stop-at-fax|--no-stop-at-fax] "
                           "[--render|--no-render]"));
    }

    void readInt_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("plain") << "3" << 3;
        QTest::newRow("negative in range") << "-1" << -1;
        QTest::newRow("not a number") << "abc" << 2;
        QTest::newRow("empty") << "" << 2;
        QTest::newRow("above range") << "8" << 2;
        QTest::newRow("below range") << "-2" << 2;
        QTest::newRow("huge") << "99999999999999999999" << 2;
        QTest::newRow("spaces around") << " 4 " << 4;
        QTest::newRow("decimal point") << "1.5" << 2;
    }
    void readInt()
    {
        QFETCH(QString, stored);
        QFETCH(int, expected);
        TempDataDir dir;
        SettingsStore s(SettingsStore::iniPathForDataDir(dir.path()));
        s.write(QStringLiteral("cmbAdvance"), stored);
        QCOMPARE(s.readInt(QStringLiteral("cmbAdvance"), 2, -1, 7), expected);
    }

    void addStat_countsEachKind_andWritesHistoricThrough()
    {
        TempDataDir dir;
        const QString ini = SettingsStore::iniPathForDataDir(dir.path());
        SettingsStore s(ini);
        s.write(QStringLiteral("lHistEmailFound"), QStringLiteral("37"));
        Counters c(&s);
        c.loadFromSettings();
        QCOMPARE(c.numbersFoundEver(), 37);
        QCOMPARE(c.numbersFound(), 0);
        QSignalSpy spy(&c, &Counters::statsChanged);

        for (int i = 0; i < 10; ++i)
            c.add(Counters::NumberFound);
        c.add(Counters::SiteScanned);
        c.add(Counters::SiteFound);
        c.add(3); // counts nothing, still refreshes
        QCOMPARE(spy.count(), 13);
        QCOMPARE(c.numbersFound(), 10);
        QCOMPARE(c.sitesScanned(), 1);
        QCOMPARE(c.sitesFound(), 1);
        QCOMPARE(c.sitesScannedEver(), 1);

        // The first count went to the file at once; the burst follows within a second.
        QTRY_COMPARE_WITH_TIMEOUT(
            SettingsStore(ini).read(QStringLiteral("lHistEmailFound"), QStringLiteral("0")),
            QStringLiteral("47"), 3000);
        QVERIFY(!c.hasPendingWrite());
        SettingsStore other(ini);
        QCOMPARE(other.read(QStringLiteral("lHistWebScanned"), QStringLiteral("0")),
                 QStringLiteral("1"));

        // The next run starts its own counters at 0 and the historic ones at the total.
        Counters next(&other);
        next.loadFromSettings();
        QCOMPARE(next.numbersFound(), 0);
        QCOMPARE(next.numbersFoundEver(), 47);
    }

    void firstCountWrittenAtOnce_pendingCountsWrittenAtDestruction()
    {
        TempDataDir dir;
        const QString ini = SettingsStore::iniPathForDataDir(dir.path());
        SettingsStore s(ini);
        {
            Counters c(&s);
            c.add(Counters::SiteScanned);
            QCOMPARE(SettingsStore(ini).read(QStringLiteral("lHistWebScanned"), QString()),
                     QStringLiteral("1"));
            for (int i = 0; i < 500; ++i)
                c.add(Counters::SiteScanned);
            QVERIFY(c.hasPendingWrite());
        }
        QCOMPARE(SettingsStore(ini).read(QStringLiteral("lHistWebScanned"), QString()),
                 QStringLiteral("501"));
    }

    void siteFound_writesNothing()
    {
        TempDataDir dir;
        const QString ini = SettingsStore::iniPathForDataDir(dir.path());
        SettingsStore s(ini);
        Counters c(&s);
        c.add(Counters::SiteFound);
        QVERIFY(!QFile::exists(ini));
    }

    void fullCounter_staysAtMaximum()
    {
        TempDataDir dir;
        SettingsStore s(SettingsStore::iniPathForDataDir(dir.path()));
        s.write(QStringLiteral("lHistWebScanned"), QStringLiteral("2147483647"));
        Counters c(&s);
        c.loadFromSettings();
        c.add(Counters::SiteScanned);
        QCOMPARE(c.sitesScannedEver(), 2147483647);
        QCOMPARE(s.read(QStringLiteral("lHistWebScanned"), QString()),
                 QStringLiteral("2147483647"));
    }

    void damagedCounter_readsAsZero()
    {
        TempDataDir dir;
        SettingsStore s(SettingsStore::iniPathForDataDir(dir.path()));
        s.write(QStringLiteral("lHistEmailFound"), QStringLiteral("lots"));
        s.write(QStringLiteral("lHistWebScanned"), QStringLiteral("-5"));
        Counters c(&s);
        c.loadFromSettings();
        QCOMPARE(c.numbersFoundEver(), 0);
        QCOMPARE(c.sitesScannedEver(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
