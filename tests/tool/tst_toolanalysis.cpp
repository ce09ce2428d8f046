// varnel-tool text, faxes, links and areacode, run as a user runs them.

#include "areacodetable.h"
#include "cp1252.h"
#include "faxfinder.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTest>

namespace {

struct Result
{
    int code = -1;
    QByteArray out;
    QByteArray err;
};

QByteArray description(int code)
{
    for (int i = 0; i < kAreaCodeCount; ++i) {
        if (kAreaCodeTable[i].code == code)
            return kAreaCodeTable[i].description;
    }
    return QByteArray();
}

} // namespace

class TestToolAnalysis : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void text_printsConvertedTextWithCrLf();
    void faxes_eachNumberOnce_internationalOnlyWithFlag();
    void faxes_leavesNoTemporaryData();
    void faxes_literalIsTheFinderOff();
    void faxes_findsBeyondTheFaxLine();
    void faxes_explainPrintsEvidence();
    void faxes_jsonPrintsTheOwner();
    void links_printsQueuedSitesInOrder();
    void areacode_printsLabel();
    void pageControlCharacters_printedEscaped();
    void badArguments_exit2_data();
    void badArguments_exit2();
    void unreadableFile_exit1NamesIt();
    void help_listsSubcommands();

private:
    Result tool(const QStringList &args);
    QString page(const QString &name, const QByteArray &bytes);

    TempDataDir m_dir;
    QString m_tmp;
};

void TestToolAnalysis::initTestCase()
{
    TestEnv::enterTestMode();
    QVERIFY(m_dir.isValid());
    m_tmp = m_dir.file(QStringLiteral("tmp"));
    QVERIFY(QDir().mkpath(m_tmp));
}

Result TestToolAnalysis::tool(const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), m_tmp);
    env.insert(QStringLiteral("HOME"), m_dir.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.file(QStringLiteral("xdg")));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VARNEL_TOOL_PATH), args);
    Result r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QString TestToolAnalysis::page(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.file(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
    return path;
}

void TestToolAnalysis::text_printsConvertedTextWithCrLf()
{
    const QString p =
        page(QStringLiteral("t.html"),
             "<title>Acme</title><body>Phone<br>Fax: 212-555-0187 &#8211; &eacute;</body>");
    const Result r = tool({QStringLiteral("text"), p});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QByteArray("Acme\r\n\r\nPhone\r\nFax: 212-555-0187 \x96 \xe9\r\n"));
}

void TestToolAnalysis::faxes_eachNumberOnce_internationalOnlyWithFlag()
{
    // Bodies as sent: line breaks inside the number's line are removed like a download's.
    const QString a = page(QStringLiteral("a.html"),
                           "<body>Fax:\r\n (212) 555-0187<br>Fax: +44 20 7946 0958</body>");
    const QString b = page(
        QStringLiteral("b.html"),
        "<body><p>FAX 212.555.0187</p><p>Fax 1-473-555-0100</p><p>Fax 617-\r555-\n0100</p></body>");
    const QByteArray us = "1-212-555-0187 | " + description(212) + "\n";
    const QByteArray grenada = QByteArray("1-473-555-0100 | --  Grenada\n") + "1-617-555-0100 | " +
                               description(617) + "\n";

    Result r = tool({QStringLiteral("faxes"), QStringLiteral("--literal"), a, b});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, us + grenada);

    r = tool(
        {QStringLiteral("faxes"), QStringLiteral("--literal"), QStringLiteral("--intl"), a, b});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, us + "+44-20-7946-0958 | Unknown/International\n" + grenada);
}

void TestToolAnalysis::faxes_leavesNoTemporaryData()
{
    const QString a = page(QStringLiteral("c.html"), "<body>Fax: 212-555-0187</body>");
    QCOMPARE(tool({QStringLiteral("faxes"), a}).code, 0);
    QVERIFY(QDir(m_tmp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

void TestToolAnalysis::faxes_literalIsTheFinderOff()
{
    // The harvest's own page analysis and store against the finder switched off, over the
    // contact pages: the same numbers with the same labels, byte for byte.
    const QDir dir(QStringLiteral(VARNEL_CONTACT_PAGES));
    QStringList files;
    for (const QString &name : dir.entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name))
        files << dir.filePath(name);
    QCOMPARE(files.size(), 72);
    for (bool intl : {false, true}) {
        FinderInput in;
        in.allowInternational = intl;
        in.findBeyondFaxLine = false;
        QByteArray expected;
        QSet<QString> seen;
        for (const QString &file : qAsConst(files)) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            for (const FoundNumber &find : findFaxNumbers(f.readAll(), in)) {
                if (!seen.contains(find.number)) {
                    seen.insert(find.number);
                    expected +=
                        Cp1252::fromUnicode(find.number + QStringLiteral(" | ") + find.location) +
                        '\n';
                }
            }
        }
        QStringList args{QStringLiteral("faxes"), QStringLiteral("--literal")};
        if (intl)
            args << QStringLiteral("--intl");
        const Result r = tool(args + files);
        QCOMPARE(r.code, 0);
        QVERIFY(!r.out.isEmpty());
        QCOMPARE(r.out, expected);
    }
}

void TestToolAnalysis::faxes_findsBeyondTheFaxLine()
{
    const QString p = page(QStringLiteral("f.html"),
                           "<body><p>Fax: (212) 555-0187</p><h3>Fax</h3><p>617-555-0100</p>"
                           "<p>Fax: 212.555.0187</p></body>");
    const QByteArray twelve = "1-212-555-0187 | " + description(212) + "\n";
    Result r = tool({QStringLiteral("faxes"), QStringLiteral("--literal"), p});
    QCOMPARE(r.out, twelve);
    r = tool({QStringLiteral("faxes"), p});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, twelve + "1-617-555-0100 | " + description(617) + "\n");
}

void TestToolAnalysis::faxes_explainPrintsEvidence()
{
    const QString p =
        page(QStringLiteral("e.html"),
             "<html lang=\"de\"><body><h3>Telefax</h3><p>0221 1642 3990</p></body></html>");
    Result r = tool({QStringLiteral("faxes"), QStringLiteral("--explain"), p});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QByteArray()); // outside North America only with --intl
    r = tool({QStringLiteral("faxes"), QStringLiteral("--intl"), QStringLiteral("--explain"), p});
    QCOMPARE(r.code, 0);
    QCOMPARE(
        r.out,
        QByteArray("+49-221-16423990\t+4922116423990\tTelefax\theading\tTelefax 0221 1642 3990\n"));
}

void TestToolAnalysis::faxes_jsonPrintsTheOwner()
{
    const QString p = page(QStringLiteral("j.html"),
                           "<head><title>Ignored</title></head><body><p>Acme \"Tools\" Inc.<br>"
                           "5 Main Street<br>Dallas, TX 75201<br>Phone: 214-555-0100<br>"
                           "Fax: 214-555-0187<br>Fax: (111) 555-0100</p></body>");
    const Result r = tool({QStringLiteral("faxes"), QStringLiteral("--json"), p});
    QCOMPARE(r.code, 0);
    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 1);
    const QJsonObject o = QJsonDocument::fromJson(lines.first()).object();
    const std::pair<const char *, const char *> expected[] = {
        {"number", "1-214-555-0187"},
        {"e164", "+12145550187"},
        {"how", "reference"},
        {"organization", "Acme \"Tools\" Inc."},
        {"street", "5 Main Street"},
        {"postal_code", "75201"},
        {"city", "Dallas"},
        {"region", "TX"},
        {"country", "US"},
        {"phone", "+12145550100"},
        {"unit", ""},
        {"email", ""},
        {"page", ""},
    };
    for (const auto &[key, value] : expected) {
        QVERIFY2(o.contains(QLatin1String(key)), key);
        if (QByteArray(key) != "page")
            QCOMPARE(o.value(QLatin1String(key)).toString(), QString::fromUtf8(value));
    }
    QCOMPARE(o.value(QLatin1String("page")).toString(), p);
    QCOMPARE(o.value(QLatin1String("sources")).toObject().value(QLatin1String("organization")),
             QJsonValue(QStringLiteral("block")));

    // --explain: the numbers on standard output, the dropped candidates and why on error.
    const Result e = tool({QStringLiteral("faxes"), QStringLiteral("--explain"), p});
    QCOMPARE(e.code, 0);
    QVERIFY(e.out.startsWith("1-214-555-0187\t+12145550187\t"));
    QVERIFY2(e.err.contains("dropped\t") && e.err.contains("invalid in the numbering plan"),
             e.err.constData());
    QCOMPARE(
        tool({QStringLiteral("faxes"), QStringLiteral("--json"), QStringLiteral("--explain"), p})
            .code,
        2);
}

void TestToolAnalysis::links_printsQueuedSitesInOrder()
{
    const QString p = page(QStringLiteral("l.html"),
                           "<a href=\"contact.htm\">c</a><a href=\"/about/\">a</a>\n"
                           "<a href='https://other.org/x'>o</a> <a href=\"contact.htm\">again</a>\n"
                           "<a href=\"mailto:x@y.com\">m</a><a href=\"pic.JPG\">p</a>");
    // A bare host, as discovery queues every domain: its links resolve to the host.
    const Result r =
        tool({QStringLiteral("links"), QStringLiteral("--url"), QStringLiteral("example.com"), p});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QByteArray("example.com/contact.htm\nexample.com/about/\nother.org/x\n"));
}

void TestToolAnalysis::areacode_printsLabel()
{
    Result r = tool({QStringLiteral("areacode"), QStringLiteral("1-212-555-0187")});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, description(212) + "\n");
    r = tool({QStringLiteral("areacode"), QStringLiteral("+55-123-4567")});
    QCOMPARE(r.out, QByteArray("Unknown/International\n"));
}

// Escape sequences in a page (retitle the terminal, clear it, move the cursor back over a
// line) reach the terminal as text, never as controls; line ends stay.
void TestToolAnalysis::pageControlCharacters_printedEscaped()
{
    const QByteArray hostile = "<title>A\x1b]0;owned\x07</title><body>Fax: 212-555-0187 \x1b[2J"
                               "bye\rforged\x7f\x9b<a href=\"x\x1b[1mb.htm\">b</a></body>";
    const QString p = page(QStringLiteral("esc.html"), hostile);
    const QList<QStringList> runs = {
        {QStringLiteral("text"), p},
        {QStringLiteral("links"), QStringLiteral("--url"), QStringLiteral("example.com"), p},
    };
    for (const QStringList &args : runs) {
        const Result r = tool(args);
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.contains("\\x1b"), r.out.constData());
        for (qsizetype i = 0; i < r.out.size(); ++i) {
            const auto c = uchar(r.out.at(i));
            const bool lineEnd = c == '\n' || (c == '\r' && r.out.mid(i + 1, 1) == "\n");
            QVERIFY2(!((c < 0x20 && c != '\t' && !lineEnd) || c == 0x7f),
                     qPrintable(args.first() + QStringLiteral(": ") + QString::number(c)));
        }
    }
    // What is not a control stays as it was: Windows-1252 text, the number.
    const Result text = tool({QStringLiteral("text"), p});
    QVERIFY(text.out.contains("A\\x1b]0;owned\\x07\r\n"));
    QVERIFY(text.out.contains("forged\\x7f\x9b"));
}

void TestToolAnalysis::badArguments_exit2_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("text without file") << QStringList{QStringLiteral("text")};
    QTest::newRow("text, two files")
        << QStringList{QStringLiteral("text"), QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("faxes without file")
        << QStringList{QStringLiteral("faxes"), QStringLiteral("--intl")};
    QTest::newRow("faxes, unknown option")
        << QStringList{QStringLiteral("faxes"), QStringLiteral("--int"), QStringLiteral("a")};
    QTest::newRow("links without --url")
        << QStringList{QStringLiteral("links"), QStringLiteral("a")};
    QTest::newRow("areacode without number") << QStringList{QStringLiteral("areacode")};
}

void TestToolAnalysis::badArguments_exit2()
{
    QFETCH(QStringList, args);
    const Result r = tool(args);
    QCOMPARE(r.code, 2);
    QVERIFY(r.err.startsWith("usage: varnel-tool " + args.first().toLatin1()));
    QCOMPARE(r.err.count('\n'), 1);
}

void TestToolAnalysis::unreadableFile_exit1NamesIt()
{
    const QString missing = m_dir.file(QStringLiteral("no-such-page.html"));
    const QString ok = page(QStringLiteral("ok.html"), "<body>x</body>");
    for (const QStringList &args : {QStringList{QStringLiteral("text"), missing},
                                    QStringList{QStringLiteral("faxes"), ok, missing},
                                    QStringList{QStringLiteral("links"), QStringLiteral("--url"),
                                                QStringLiteral("h"), missing}}) {
        const Result r = tool(args);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("no-such-page.html"), r.err.constData());
    }
}

void TestToolAnalysis::help_listsSubcommands()
{
    const Result r = tool({QStringLiteral("--help")});
    QCOMPARE(r.code, 0);
    for (const char *c : {"varnel-tool text FILE",
                          "varnel-tool faxes [--intl] [--literal] [--explain | --json] FILE...",
                          "varnel-tool links --url SITE FILE", "varnel-tool areacode NUMBER"})
        QVERIFY2(r.out.contains(c), c);
    // A script that compares the text with another reader's needs to know how controls look.
    QVERIFY2(r.out.contains("as \\xHH (ESC as \\x1b"), r.out.constData());
}

QTEST_GUILESS_MAIN(TestToolAnalysis)
#include "tst_toolanalysis.moc"
