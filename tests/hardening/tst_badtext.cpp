// Hostile text typed by the user: search strings with quotes, semicolons, SQL, characters
// that mean something in an address, control characters, line breaks, non-ASCII letters
// and 10,000 characters go through Add, the store, the search engine's address and the
// export (CSV included) unchanged and harmless. And settings values that are no numbers or
// out of range.

#include "globals.h"
#include "harvestpresenter.h"
#include "harvestsession.h"
#include "settingsstore.h"
#include "sqlitestore.h"
#include "storetestkit.h"
#include "testenv.h"
#include "testwebserver.h"
#include "toolrun.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

namespace {

// RFC 4180 records: quoted fields may hold commas, quotes (doubled) and line breaks.
QList<QStringList> parseCsv(const QByteArray &bytes)
{
    const QString text = QString::fromUtf8(bytes);
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() &&
                text.at(i + 1) == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            record << field;
            field.clear();
        } else if (c == QLatin1Char('\r') && i + 1 < text.size() &&
                   text.at(i + 1) == QLatin1Char('\n')) {
            record << field;
            records << record;
            record.clear();
            field.clear();
            ++i;
        } else {
            field += c;
        }
    }
    return records;
}

QString resultPage(const QStringList &links)
{
    QString html = QStringLiteral("<div id=\"res\">\n");
    for (const QString &l : links)
        html += QStringLiteral("<li><a href=\"%1\">%1</a> <span>result</span></li>\n").arg(l);
    return html + QStringLiteral("</div>\n");
}

QString tenThousandCharacters()
{
    QString s;
    while (s.size() < 10000)
        s += QStringLiteral("plumber's; \"fax\" & co %d #");
    return s.left(10000);
}

} // namespace

class TestBadText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void hostileSearchString_data()
    {
        QTest::addColumn<QString>("search");
        QTest::newRow("quotes") << QStringLiteral("o'brien \"best\" plumbing");
        QTest::newRow("semicolons and SQL") << QStringLiteral("x'); DROP TABLE faxes; --");
        QTest::newRow("address characters") << QStringLiteral("AT&T #1 c++ 100% a=b?c/d");
        QTest::newRow("control characters") << QStringLiteral("tab\there\x01 bell\x07 del\x7f");
        QTest::newRow("line break") << QStringLiteral("first\r\nHost: injected.test");
        QTest::newRow("non-ASCII letters") << QStringLiteral("Z\u00fcrich B\u00e4ckerei \u015d");
        QTest::newRow("10,000 characters") << tenThousandCharacters();
    }
    void hostileSearchString()
    {
        QFETCH(QString, search);
        TempDataDir dir;
        TestWebServer engine;
        QVERIFY(engine.listen());
        TestWebServer web;
        QVERIFY(web.listen());
        QStringList links;
        QStringList numbers;
        for (int i = 0; i < 25; ++i) {
            const QByteArray host = "q" + QByteArray::number(i) + ".com";
            const QByteArray number = "212-555-" + QByteArray::number(3000 + i);
            web.addPage(host, "/", "<body><p>Fax: " + number + "</p></body>");
            links << QStringLiteral("http://www.%1/").arg(QString::fromLatin1(host));
            numbers << QStringLiteral("1-") + QString::fromLatin1(number);
        }
        // Every address of the engine answers with the same result page.
        TestWebServer::Response results;
        results.body = resultPage(links).toUtf8();
        engine.setFallback(results);

        ToolRun harvest;
        QVERIFY(harvest.run({QStringLiteral("harvest"), QStringLiteral("--data-dir"), dir.path(),
                             QStringLiteral("--search"), search, QStringLiteral("--engine"),
                             QStringLiteral("google"), QStringLiteral("--results"),
                             QStringLiteral("100"), QStringLiteral("--no-add-fax"),
                             QStringLiteral("--last-search"), QStringLiteral("stop"),
                             QStringLiteral("--resolve"),
                             QStringLiteral("www.google.com=127.0.0.1:%1").arg(engine.port()),
                             QStringLiteral("--resolve"), web.resolveSpec()}));
        QCOMPARE(harvest.exitCode(), 0);

        // The address: one request line of printable characters (no header smuggled in),
        // whose q= gives back the search string exactly.
        QVERIFY(!engine.requests().isEmpty());
        const TestWebServer::Request first = engine.requests().first();
        const QByteArray line = first.raw.left(first.raw.indexOf("\r\n"));
        for (const char c : line)
            QVERIFY2(c >= 32 && c < 127, line.constData());
        QCOMPARE(line.count(' '), 2);
        QCOMPARE(first.host, QByteArray("www.google.com"));
        for (const QByteArray &header : first.raw.split('\n'))
            QVERIFY2(!header.startsWith("Host: injected"), first.raw.constData());
        QVERIFY(first.raw.endsWith("\r\n\r\n"));
        const qsizetype q = first.path.indexOf("&q=");
        QVERIFY(q > 0);
        QByteArray terms = first.path.mid(q + 3);
        terms.truncate(terms.indexOf('&') < 0 ? terms.size() : terms.indexOf('&'));
        terms.replace('+', ' ');
        QCOMPARE(QString::fromUtf8(QByteArray::fromPercentEncoding(terms)), search);

        // The store and the export keep the text as typed.
        ToolRun exporting;
        const QString csv = dir.file(QStringLiteral("out.csv"));
        QVERIFY(exporting.run({QStringLiteral("export"), QStringLiteral("--data-dir"), dir.path(),
                               QStringLiteral("--type"), QStringLiteral("csv"), csv}));
        QCOMPARE(exporting.exitCode(), 0);
        QFile f(csv);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QStringList> records = parseCsv(f.readAll());
        QCOMPARE(records.size(), 1 + numbers.size());
        QCOMPARE(records.first(),
                 (QStringList{QStringLiteral("Number"), QStringLiteral("Date"),
                              QStringLiteral("Page"), QStringLiteral("Search String"),
                              QStringLiteral("Region"), QStringLiteral("E.164"),
                              QStringLiteral("Country"), QStringLiteral("Label"),
                              QStringLiteral("How Found"), QStringLiteral("Text Around It"),
                              // the number's business
                              QStringLiteral("Organization"), QStringLiteral("Unit"),
                              QStringLiteral("Street"), QStringLiteral("Postal Code"),
                              QStringLiteral("City"), QStringLiteral("State or Province"),
                              QStringLiteral("Address Country"), QStringLiteral("Main Phone"),
                              QStringLiteral("Email"), QStringLiteral("Business Site")}));
        QStringList exported;
        for (qsizetype i = 1; i < records.size(); ++i) {
            QCOMPARE(records.at(i).size(), 20);
            QCOMPARE(records.at(i).at(3), search);
            exported << records.at(i).at(0);
        }
        exported.sort();
        numbers.sort();
        QCOMPARE(exported, numbers);

        const QString name = QStringLiteral("searches");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(dir.file(QStringLiteral("varnel.mdb")));
            QVERIFY(db.open());
            QSqlQuery s(db);
            QVERIFY(s.exec(QStringLiteral("SELECT search FROM searches")));
            QVERIFY(s.next());
            QCOMPARE(s.value(0).toString(), search);
            QVERIFY(s.exec(QStringLiteral("PRAGMA integrity_check")) && s.next());
            QCOMPARE(s.value(0).toString(), QStringLiteral("ok"));
        }
        QSqlDatabase::removeDatabase(name);
    }

    // Links whose addresses carry escape sequences (retitle the terminal, clear it): the
    // harvest's progress names those pages escaped, never with the raw controls.
    void controlCharactersFromPages_printedEscaped()
    {
        TempDataDir dir;
        TestWebServer web;
        QVERIFY(web.listen());
        web.addPage("esc.test", "/",
                    "<body><a href=\"/\x1b]0;owned\x07\x1b[2J\x9b"
                    "2J.htm\">x</a></body>");
        TestWebServer::Response slow; // long enough to be in a progress line
        slow.fault = TestWebServer::Fault::Delay;
        slow.delayMs = 1500;
        slow.body = "<body><p>Fax: 212-555-0187</p></body>";
        web.setFallback(slow);
        {
            SqliteStore db(dir.path());
            QString search = QStringLiteral("plumbers");
            (void)db.addSearch(search);
            QString site = QStringLiteral("esc.test");
            (void)db.addWebsite(site);
        }
        ToolRun harvest;
        QVERIFY(harvest.run({QStringLiteral("harvest"), QStringLiteral("--data-dir"), dir.path(),
                             QStringLiteral("--resume"), QStringLiteral("--print-stored"),
                             QStringLiteral("--resolve"), web.resolveSpec()}));
        QCOMPARE(harvest.exitCode(), 0);
        QVERIFY(harvest.out.contains("stored 1-212-555-0187"));
        QVERIFY2(harvest.err.contains("\\x1b]0;owned\\x07\\x1b[2J\\x9b2J.htm"),
                 harvest.err.constData());
        const QString printed = QString::fromUtf8(harvest.out + harvest.err);
        for (const QChar c : printed)
            QVERIFY2(c == QLatin1Char('\n') ||
                         !(c < QLatin1Char(' ') || (c >= QChar(0x7f) && c <= QChar(0x9f))),
                     qPrintable(QString::number(c.unicode())));
    }

    // Every option and counter stored as a text that is no number, or out of range: the
    // defaults, and a harvest that can start.
    void damagedSettings_giveDefaults_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("letters") << QStringLiteral("abc");
        QTest::newRow("empty") << QString();
        QTest::newRow("far out of range") << QStringLiteral("99999999999999999999");
        QTest::newRow("negative") << QStringLiteral("-7");
        QTest::newRow("fraction") << QStringLiteral("0.5");
        QTest::newRow("control characters") << QStringLiteral("1\x01\r\n");
    }
    void damagedSettings_giveDefaults()
    {
        QFETCH(QString, value);
        TempDataDir dir;
        SettingsStore settings(SettingsStore::iniPathForDataDir(dir.path()));
        for (const char *key :
             {"Combo1", "Combo2", "chkAuto", "chkAddFax", "chkNonUS", "chkAudioEmail",
              "chkAudioNext", "chkAudioFinished", "chkFollow", "cmbAdvance", "cmbLastSearch",
              "lHistEmailFound", "lHistWebScanned"})
            settings.write(QLatin1String(key), value);
        HarvestSession session(std::make_unique<SqliteStore>(dir.path()), dir.path(), &settings);
        HarvestPresenter presenter(&session);
        session.load();
        using O = OptionId;
        const QList<QPair<O, int>> defaults = {
            {O::SearchEngine, -1},     {O::ResultCount, -1},       {O::AutoAdvance, 0},
            {O::AddFaxToSearches, 1},  {O::AllowInternational, 1}, {O::SoundOnFaxFound, 1},
            {O::SoundOnNextSearch, 1}, {O::SoundOnFinished, 1},    {O::FollowRedirects, 1},
            {O::AdvanceAfter, 2},      {O::AfterLastSearch, 0}};
        for (const auto &d : defaults)
            QCOMPARE(session.options()->value(d.first), d.second);
        QCOMPARE(session.advanceAfter(), 10000);
        QCOMPARE(presenter.choiceText(O::SearchEngine), QStringLiteral("Which Search Type?"));
        QCOMPARE(session.counters()->numbersFoundEver(), 0);
        QCOMPARE(session.counters()->sitesScannedEver(), 0);
        // The options work again from the next click on.
        session.setOption(OptionId::SearchEngine, 1);
        QCOMPARE(settings.read(QStringLiteral("Combo1"), QString()), QStringLiteral("1"));
    }

    // A settings file that is no settings file at all.
    void garbageSettingsFile_givesDefaults()
    {
        TempDataDir dir;
        const QString ini = SettingsStore::iniPathForDataDir(dir.path());
        {
            QFile f(ini);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QByteArray junk(4096, '\0');
            for (int i = 0; i < junk.size(); ++i)
                junk[i] = char((i * 7919) % 251);
            f.write("[Settings\nCombo1=\n=\n\x01\x02[[[\n" + junk);
        }
        SettingsStore settings(ini);
        HarvestSession session(std::make_unique<SqliteStore>(dir.path()), dir.path(), &settings);
        HarvestPresenter presenter(&session);
        session.load();
        QCOMPARE(session.options()->value(OptionId::SearchEngine), -1);
        QCOMPARE(session.options()->value(OptionId::AdvanceAfter), 2);
        session.setOption(OptionId::FollowRedirects, 0);
        SettingsStore reread(ini);
        QCOMPARE(reread.read(QStringLiteral("chkFollow"), QString()), QStringLiteral("0"));
    }
};

QTEST_GUILESS_MAIN(TestBadText)
#include "tst_badtext.moc"
