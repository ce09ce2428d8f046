// GetLinks and GetFaxes on a slot's page files, with a store, counters and preview list in
// a temporary data directory; and the whole path over the real pages of the corpus.

#include "analysishost.h"
#include "areacodetable.h"
#include "cp1252.h"
#include "globals.h"
#include "moddatabase.h"
#include "pageanalysis.h"
#include "settingsstore.h"
#include "testenv.h"
#include "textlist.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <algorithm>

namespace {

const QString kCorpus = QStringLiteral(VARNEL_CORPUS_DIR);

class TestHost : public AnalysisHost
{
public:
    bool isHarvesting() const override
    {
        if (checksLeft == 0)
            return false;
        if (checksLeft > 0)
            --checksLeft;
        return harvesting;
    }
    void setStatusPanel(int panel, const QString &text) override
    {
        panels[panel] = text;
        panelLog << QString::number(panel) + QLatin1Char(':') + text;
    }
    QByteArray strCurUrl() const override { return curUrl; }
    QByteArray strCurDir() const override { return curDir; }
    QByteArray slotAddress(int) const override { return address; }
    QString currentSearch() const override { return search; }
    bool allowInternational() const override { return intl; }
    bool soundOnFaxFound() const override { return sound; }
    void playSound(const QString &name) override { sounds << name; }
    void FetchNextSite(int slot) override { handedOn << slot; }

    bool harvesting = true;
    mutable int checksLeft = -1; // >= 0: the harvest stops after that many checks
    QMap<int, QString> panels;
    QStringList panelLog;
    QByteArray curUrl = "h/a/b.htm";
    QByteArray curDir = "h/a/";
    QByteArray address = "h/a/b.htm";
    QString search = QStringLiteral("plumbers boston");
    bool intl = true;
    bool sound = false;
    QStringList sounds;
    QList<int> handedOn;
};

struct Fixture
{
    TempDataDir dir;
    SettingsStore settings{SettingsStore::iniPathForDataDir(dir.path())};
    Counters counters{&settings};
    TextList list1, list2, list3;
    modDatabase db{dir.path(), &counters};
    TestHost host;
    PageAnalysis analysis{&host, &db, &counters, &list3, dir.path()};

    Fixture() { db.setLists(&list1, &list2, &list3); }

    static void write(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    }
    // The page files as a finished download leaves them.
    void savePage(int slot, const QByteArray &body)
    {
        write(pageFile1(dir.path(), slot), body + "\r\n");
        QByteArray flat = body;
        flat.erase(std::remove_if(flat.begin(), flat.end(), [](char c) { return c == '\r' || c == '\n'; }),
                   flat.end());
        write(pageFile2(dir.path(), slot), flat + "\r\n");
    }
    QStringList column(const QString &sql)
    {
        QStringList out;
        const QString name = QStringLiteral("peek");
        {
            QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            c.setDatabaseName(db.databasePath());
            c.open();
            QSqlQuery q(c);
            q.exec(sql);
            while (q.next())
                out << q.value(0).toString();
        }
        QSqlDatabase::removeDatabase(name);
        return out;
    }
    QStringList sites() { return column(QStringLiteral("SELECT website FROM websites ORDER BY rowid")); }
    QStringList numbers() { return column(QStringLiteral("SELECT fax FROM faxes ORDER BY rowid")); }
};

QString label(int code)
{
    for (int i = 0; i < kAreaCodeCount; ++i) {
        if (kAreaCodeTable[i].code == code)
            return QString::fromLatin1(kAreaCodeTable[i].description);
    }
    return QStringLiteral("Unknown/International");
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The digits of a number; a US number loses its long-distance 1.
QByteArray digitsOf(const QByteArray &number)
{
    QByteArray d;
    for (char c : number) {
        if (c >= '0' && c <= '9')
            d += c;
    }
    if (number.startsWith("1-") && d.size() == 11)
        d.remove(0, 1);
    return d;
}

} // namespace

class TestPageAnalysis : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void getLinks_queuesEveryLinkOfEveryLine();
    void getLinks_knownSitesAreNotQueued();
    void getLinks_missingPageFile_handsSlotOn();
    void getLinks_notHarvesting_doesNothing();
    void getLinks_harvestStopped_stopsReadingAndKeepsSlot();

    void getFaxes_storesNewNumbers();
    void getFaxes_knownNumber_changesNothing();
    void getFaxes_withoutInternational_dropsThem();
    void getFaxes_previewKeepsTwentyOne();
    void getFaxes_typographicReferences_everyLineScanned();
    void getFaxes_pageFileWithLines_joinedFirst();
    void getFaxes_missingPageFile_handsSlotOn();
    void getFaxes_notHarvesting_keepsStatusAndSlot();

    void realPages_convertAndScanWithoutFailing();
    void contactPages_findLabelledNumbers();
};

void TestPageAnalysis::getLinks_queuesEveryLinkOfEveryLine()
{
    Fixture fx;
    // LF, CR and CR LF line ends; two links on one line; a duplicate; skipped links.
    fx.savePage(3, "<a href=\"a.htm\">A</a>\n<a href='b.htm'>B</a> <a href=\"http://h2.com/x\">X</a>\r"
                   "<a href=\"a.htm\">again</a><a href=\"#top\">t</a><a href=\"mailto:x@y.com\">m</a>\r\n"
                   "<a href=\"/root.htm\">R</a><a href=\"../up.htm\">U</a>");
    fx.analysis.GetLinks(3);
    QCOMPARE(fx.sites(), (QStringList{QStringLiteral("h/a/a.htm"), QStringLiteral("h/a/b.htm"),
                                      QStringLiteral("h2.com/x"), QStringLiteral("h/root.htm"),
                                      QStringLiteral("h/up.htm")}));
    QCOMPARE(fx.counters.lWebFound(), 5);
    // Then the faxes of the same slot, which hands the slot on.
    QVERIFY(fx.host.panelLog.contains(QStringLiteral("2:Getting Links")));
    QVERIFY(fx.host.panelLog.contains(QStringLiteral("2:Getting Faxes")));
    QCOMPARE(fx.host.panels.value(2), QString());
    QCOMPARE(fx.host.handedOn, QList<int>{3});
}

void TestPageAnalysis::getLinks_knownSitesAreNotQueued()
{
    Fixture fx;
    QString stored = QStringLiteral("H/A/A.HTM");
    fx.db.AddWebsite(stored);
    fx.list2.addItem(QStringLiteral("h/a/c.htm"));
    fx.savePage(0, "<a href=\"a.htm\"> <a href=\"c.htm\"> <a href=\"d.htm\">");
    fx.analysis.GetLinks(0);
    QCOMPARE(fx.sites(), (QStringList{QStringLiteral("H/A/A.HTM"), QStringLiteral("h/a/d.htm")}));
    QCOMPARE(fx.counters.lWebFound(), 1);
}

void TestPageAnalysis::getLinks_missingPageFile_handsSlotOn()
{
    Fixture fx;
    fx.analysis.GetLinks(4);
    QVERIFY(fx.sites().isEmpty());
    QCOMPARE(fx.host.handedOn, QList<int>{4});
    QCOMPARE(fx.host.panels.value(2), QString());
}

void TestPageAnalysis::getLinks_notHarvesting_doesNothing()
{
    Fixture fx;
    fx.host.harvesting = false;
    fx.savePage(0, "<a href=\"a.htm\">");
    fx.analysis.GetLinks(0);
    QVERIFY(fx.sites().isEmpty());
    QVERIFY(fx.host.panelLog.isEmpty());
    QVERIFY(fx.host.handedOn.isEmpty());
}

void TestPageAnalysis::getLinks_harvestStopped_stopsReadingAndKeepsSlot()
{
    Fixture fx;
    fx.host.checksLeft = 1; // running at the start, stopped after the first line
    fx.savePage(0, "<a href=\"a.htm\">\n<a href=\"b.htm\">\nFax: 212-555-0187");
    fx.analysis.GetLinks(0);
    QCOMPARE(fx.sites(), QStringList{QStringLiteral("h/a/a.htm")});
    QCOMPARE(fx.host.panels.value(2), QString());
    QVERIFY(!fx.host.panelLog.contains(QStringLiteral("2:Getting Faxes")));
    QVERIFY(fx.numbers().isEmpty());
    QVERIFY(fx.host.handedOn.isEmpty());
}

void TestPageAnalysis::getFaxes_storesNewNumbers()
{
    Fixture fx;
    fx.host.sound = true;
    fx.savePage(2, "<html><title>Acme</title><body>\n<p>Fax: 212-555-0187<br>FAX 212-555-0187<br>"
                   "Fax: +44 20 7946 0958</p>\n<table><tr><td>Fax</td><td>(617) 555-0100</td></tr></table>"
                   "</body></html>");
    fx.analysis.GetFaxes(2);

    const QList<FaxRow> rows = fx.db.allFaxRows();
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.at(0).fax, QStringLiteral("1-212-555-0187"));
    QCOMPARE(rows.at(0).location, label(212));
    QCOMPARE(rows.at(0).website, QStringLiteral("h/a/b.htm"));
    QCOMPARE(rows.at(0).search, QStringLiteral("plumbers boston"));
    QCOMPARE(rows.at(1).fax, QStringLiteral("+44-20-7946-0958"));
    QCOMPARE(rows.at(1).location, QStringLiteral("Unknown/International"));
    QCOMPARE(rows.at(2).fax, QStringLiteral("1-617-555-0100"));
    QCOMPARE(rows.at(2).location, label(617));

    QCOMPARE(fx.list3.items(), (QStringList{QStringLiteral("1-212-555-0187 | ") + label(212),
                                            QStringLiteral("+44-20-7946-0958 | Unknown/International"),
                                            QStringLiteral("1-617-555-0100 | ") + label(617)}));
    QCOMPARE(fx.analysis.lFaxCount(), 3);
    QCOMPARE(fx.counters.lEmailFound(), 3);
    QCOMPARE(fx.host.panels.value(3), QStringLiteral("Found 3 faxes"));
    QCOMPARE(fx.host.panels.value(2), QString());
    QCOMPARE(fx.host.sounds, QStringList(3, QStringLiteral("sounds/foundfax.wav")));
    QCOMPARE(fx.host.handedOn, QList<int>{2});
    // The page file now holds the text, ended by CR LF.
    const QByteArray text = readAll(pageFile2(fx.dir.path(), 2));
    QVERIFY(text.endsWith("\r\n"));
    QVERIFY(text.contains("fax 212-555-0187\r\n"));
    QVERIFY(!text.contains('<'));
}

void TestPageAnalysis::getFaxes_knownNumber_changesNothing()
{
    Fixture fx;
    fx.host.sound = true;
    QString known = QStringLiteral("1-212-555-0187");
    QString search = QStringLiteral("s");
    fx.db.AddFax(known, QStringLiteral("x"), search, label(212));
    fx.savePage(0, "<body>Fax: (212) 555-0187</body>");
    fx.analysis.GetFaxes(0);
    QCOMPARE(fx.numbers(), QStringList{known});
    QVERIFY(fx.list3.isEmpty());
    QVERIFY(fx.host.sounds.isEmpty());
    QCOMPARE(fx.analysis.lFaxCount(), 0);
    QVERIFY(!fx.host.panels.contains(3));
    QCOMPARE(fx.host.handedOn, QList<int>{0});
}

void TestPageAnalysis::getFaxes_withoutInternational_dropsThem()
{
    Fixture fx;
    fx.host.intl = false;
    fx.savePage(0, "<body>Fax: +44 20 7946 0958<br>Fax: 2125550187<br>Fax: 212-555-0187</body>");
    fx.analysis.GetFaxes(0);
    QCOMPARE(fx.numbers(), QStringList{QStringLiteral("1-212-555-0187")});
}

void TestPageAnalysis::getFaxes_previewKeepsTwentyOne()
{
    Fixture fx;
    QByteArray body = "<body>";
    for (int k = 0; k < 25; ++k)
        body += "Fax: 212-555-" + QByteArray::number(1000 + k) + "<br>";
    fx.savePage(0, body + "</body>");
    fx.analysis.GetFaxes(0);
    QCOMPARE(fx.numbers().size(), 25);
    QCOMPARE(fx.list3.count(), 21);
    QCOMPARE(fx.list3.item(0), QStringLiteral("1-212-555-1004 | ") + label(212));
    QCOMPARE(fx.list3.item(20), QStringLiteral("1-212-555-1024 | ") + label(212));
    QCOMPARE(fx.host.panels.value(3), QStringLiteral("Found 25 faxes"));
}

void TestPageAnalysis::getFaxes_typographicReferences_everyLineScanned()
{
    // References above 255 are everywhere today; they must not turn the page into one
    // unconverted line with at most one number.
    Fixture fx;
    fx.savePage(0, "<body><p>Smith &#8211; Jones&#8217;s office</p><p>Fax: 212-555-0187</p>"
                   "<p>Fax: 617-555-0100 &#9742;</p></body>");
    fx.analysis.GetFaxes(0);
    QCOMPARE(fx.numbers(), (QStringList{QStringLiteral("1-212-555-0187"), QStringLiteral("1-617-555-0100")}));
}

void TestPageAnalysis::getFaxes_pageFileWithLines_joinedFirst()
{
    // Lines end at CR or CR LF and are joined without a break; a lone LF stays (and the
    // converter takes it for whitespace).
    Fixture fx;
    Fixture::write(pageFile2(fx.dir.path(), 1), "<body>Fax:\r\n212-555-\r0187<br>Fax\n617-555-0100</body>\r\n");
    fx.analysis.GetFaxes(1);
    QCOMPARE(fx.numbers(), (QStringList{QStringLiteral("1-212-555-0187"), QStringLiteral("1-617-555-0100")}));
}

void TestPageAnalysis::getFaxes_missingPageFile_handsSlotOn()
{
    Fixture fx;
    fx.analysis.GetFaxes(9);
    QVERIFY(fx.numbers().isEmpty());
    QCOMPARE(fx.host.panels.value(2), QString());
    QCOMPARE(fx.host.handedOn, QList<int>{9});
}

void TestPageAnalysis::getFaxes_notHarvesting_keepsStatusAndSlot()
{
    Fixture fx;
    fx.host.harvesting = false;
    fx.savePage(0, "<body>Fax: 212-555-0187</body>");
    fx.analysis.GetFaxes(0);
    QCOMPARE(fx.host.panels.value(2), QStringLiteral("Getting Faxes"));
    QVERIFY(fx.numbers().isEmpty());
    QVERIFY(fx.host.handedOn.isEmpty());
}

void TestPageAnalysis::realPages_convertAndScanWithoutFailing()
{
    const QDir dir(kCorpus + QStringLiteral("/real-pages"));
    const QStringList files = dir.entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
    if (files.isEmpty())
        QSKIP("the corpus of real pages is not there");
    Fixture fx;
    int withBody = 0;
    int withLines = 0;
    for (const QString &name : files) {
        const QByteArray body = readAll(dir.filePath(name));
        fx.savePage(0, body);
        fx.host.handedOn.clear();
        fx.analysis.GetLinks(0);
        QVERIFY2(fx.host.handedOn == QList<int>{0}, qPrintable(name));
        const QByteArray text = readAll(pageFile2(fx.dir.path(), 0));
        QVERIFY2(text.endsWith("\r\n"), qPrintable(name));
        if (body.size() > 4096 && (body.contains("<body") || body.contains("<BODY"))) {
            ++withBody;
            if (text.count("\r\n") > 10)
                ++withLines;
        }
    }
    // Pages with a body yield lines of text, not one unconverted line.
    QVERIFY(withBody > 80);
    QCOMPARE(withLines, withBody);
}

void TestPageAnalysis::contactPages_findLabelledNumbers()
{
    const QString dirPath = kCorpus + QStringLiteral("/contact-pages");
    const QByteArray truth = readAll(dirPath + QStringLiteral("/truth.tsv"));
    if (truth.isEmpty())
        QSKIP("the labelled contact pages are not there");
    int northAmerican = 0;
    int found = 0;
    QStringList strangers;
    for (const QByteArray &line : truth.split('\n')) {
        const QList<QByteArray> cols = line.split('\t');
        if (cols.size() < 4)
            continue;
        const QList<QByteArray> numbers = cols.at(2).split(';');
        const QList<QByteArray> countries = cols.at(3).split(';');
        QSet<QByteArray> labelled;
        QSet<QByteArray> labelledNorthAmerican;
        for (int k = 0; k < numbers.size(); ++k) {
            const QByteArray d = digitsOf(numbers.at(k).trimmed());
            if (d.isEmpty())
                continue;
            labelled << d;
            const QByteArray country = k < countries.size() ? countries.at(k).trimmed() : QByteArray();
            if (country == "US" || country == "CA")
                labelledNorthAmerican << (d.size() == 11 && d.startsWith('1') ? d.mid(1) : d);
        }
        northAmerican += int(labelledNorthAmerican.size());

        Fixture fx;
        fx.host.intl = true;
        fx.savePage(0, readAll(dirPath + QLatin1Char('/') + QString::fromLatin1(cols.at(0))));
        fx.analysis.GetFaxes(0);
        for (const QString &n : fx.numbers()) {
            const QByteArray d = digitsOf(n.toLatin1());
            if (labelledNorthAmerican.contains(d))
                ++found;
            // Every number taken is one the page labels as a fax number.
            if (!labelled.contains(d) && !labelled.contains("1" + d))
                strangers << QString::fromLatin1(cols.at(0)) + QLatin1Char(' ') + n;
        }
    }
    qInfo("North American fax numbers found: %d of %d labelled", found, northAmerican);
    // The rules are lexical: a number must follow its "fax" on the same text line of the
    // page's body. These pages have ten such numbers.
    QVERIFY(northAmerican >= 50);
    QVERIFY2(found >= 10, qPrintable(QString::number(found)));
    QVERIFY2(strangers.isEmpty(), qPrintable(strangers.join(QStringLiteral(", "))));
}

QTEST_GUILESS_MAIN(TestPageAnalysis)
#include "tst_pageanalysis.moc"
