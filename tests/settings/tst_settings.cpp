#include "globals.h"
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
        QVERIFY2(s.fileName().contains(QStringLiteral("Quorvex Fax Varnel")), qPrintable(s.fileName()));
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
        QCOMPARE(c.lHistEmailFound(), 37);
        QCOMPARE(c.lEmailFound(), 0);
        QSignalSpy spy(&c, &Counters::statsChanged);

        for (int i = 0; i < 10; ++i)
            c.AddStat(Counters::NumberFound);
        c.AddStat(Counters::SiteScanned);
        c.AddStat(Counters::SiteFound);
        c.AddStat(3); // counts nothing, still refreshes
        QCOMPARE(spy.count(), 13);
        QCOMPARE(c.lEmailFound(), 10);
        QCOMPARE(c.lWebScanned(), 1);
        QCOMPARE(c.lWebFound(), 1);
        QCOMPARE(c.lHistWebScanned(), 1);

        // The first count went to the file at once; the burst follows within a second.
        QTRY_COMPARE_WITH_TIMEOUT(SettingsStore(ini).read(QStringLiteral("lHistEmailFound"), QStringLiteral("0")),
                                  QStringLiteral("47"), 3000);
        QVERIFY(!c.hasPendingWrite());
        SettingsStore other(ini);
        QCOMPARE(other.read(QStringLiteral("lHistWebScanned"), QStringLiteral("0")), QStringLiteral("1"));

        // The next run starts its own counters at 0 and the historic ones at the total.
        Counters next(&other);
        next.loadFromSettings();
        QCOMPARE(next.lEmailFound(), 0);
        QCOMPARE(next.lHistEmailFound(), 47);
    }

    void firstCountWrittenAtOnce_pendingCountsWrittenAtDestruction()
    {
        TempDataDir dir;
        const QString ini = SettingsStore::iniPathForDataDir(dir.path());
        SettingsStore s(ini);
        {
            Counters c(&s);
            c.AddStat(Counters::SiteScanned);
            QCOMPARE(SettingsStore(ini).read(QStringLiteral("lHistWebScanned"), QString()), QStringLiteral("1"));
            for (int i = 0; i < 500; ++i)
                c.AddStat(Counters::SiteScanned);
            QVERIFY(c.hasPendingWrite());
        }
        QCOMPARE(SettingsStore(ini).read(QStringLiteral("lHistWebScanned"), QString()), QStringLiteral("501"));
    }

    void siteFound_writesNothing()
    {
        TempDataDir dir;
        const QString ini = SettingsStore::iniPathForDataDir(dir.path());
        SettingsStore s(ini);
        Counters c(&s);
        c.AddStat(Counters::SiteFound);
        QVERIFY(!QFile::exists(ini));
    }

    void fullCounter_staysAtMaximum()
    {
        TempDataDir dir;
        SettingsStore s(SettingsStore::iniPathForDataDir(dir.path()));
        s.write(QStringLiteral("lHistWebScanned"), QStringLiteral("2147483647"));
        Counters c(&s);
        c.loadFromSettings();
        c.AddStat(Counters::SiteScanned);
        QCOMPARE(c.lHistWebScanned(), 2147483647);
        QCOMPARE(s.read(QStringLiteral("lHistWebScanned"), QString()), QStringLiteral("2147483647"));
    }

    void damagedCounter_readsAsZero()
    {
        TempDataDir dir;
        SettingsStore s(SettingsStore::iniPathForDataDir(dir.path()));
        s.write(QStringLiteral("lHistEmailFound"), QStringLiteral("lots"));
        s.write(QStringLiteral("lHistWebScanned"), QStringLiteral("-5"));
        Counters c(&s);
        c.loadFromSettings();
        QCOMPARE(c.lHistEmailFound(), 0);
        QCOMPARE(c.lHistWebScanned(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
