#include "fakesearchengine.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace {

using Reply = FakeSearchEngine::Reply;

// Runs varnel-tool to its end while this test's loop serves the fake engine.
bool runTool(const QStringList &args, QByteArray *out, QByteArray *err, int *exitCode)
{
    QProcess tool;
    tool.start(QStringLiteral(VARNEL_TOOL_PATH), args);
    if (!tool.waitForStarted())
        return false;
    QSignalSpy finished(&tool, &QProcess::finished);
    if (!finished.wait(60000))
        return false;
    *out = tool.readAllStandardOutput();
    *err = tool.readAllStandardError();
    *exitCode = tool.exitCode();
    return true;
}

Reply html(const QString &body)
{
    Reply r;
    r.headers = "Content-Type: text/html; charset=utf-8\r\n";
    r.body = body.toUtf8();
    return r;
}

} // namespace

// varnel-tool engines: the listing, the definitions a user exports and puts into the data
// folder, and the check of each engine against a loopback engine.
class TestToolEngines : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void check_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("answers") << "results" << QByteArray("bing\tanswers (5 result domains)\n")
                                 << 0;
        QTest::newRow("too many requests")
            << "429"
            << QByteArray("bing\trefused (too many requests): the engine has had too many "
                          "searches from this network and asks to slow down (HTTP 429)\n")
            << 3;
        QTest::newRow("challenge")
            << "challenge"
            << QByteArray("bing\trefused (CAPTCHA): Bing asks to solve a challenge first\n") << 3;
        QTest::newRow("no answer")
            << "silent" << QByteArray("bing\tno answer: nothing within 2 seconds\n") << 3;
        QTest::newRow("changed page")
            << "changed"
            << QByteArray("bing\tanswers but no results read: the page does not look as its "
                          "definition expects (")
            << 3;
        QTest::newRow("found nothing")
            << "nothing" << QByteArray("bing\tanswers, but found nothing for \"tiles\"\n") << 3;
    }

    // One search to one engine tells the four outcomes apart.
    void check()
    {
        QFETCH(QString, answer);
        QFETCH(QByteArray, line);
        QFETCH(int, exitCode);
        FakeSearchEngine fake;
        QVERIFY(fake.listen());
        fake.setHandler([answer](const FakeSearchEngine::Request &) {
            const QStringList links = FakeSearchEngine::numberedLinks(QStringLiteral("t"), 0, 5);
            if (answer == QLatin1String("results"))
                return html(FakeSearchEngine::enginePage(QStringLiteral("bing"), links));
            if (answer == QLatin1String("challenge"))
                return html(QStringLiteral("<p>One last step. Please solve the challenge below "
                                           "to continue.</p>"));
            if (answer == QLatin1String("changed"))
                return html(FakeSearchEngine::enginePage(QStringLiteral("mojeek"), links));
            if (answer == QLatin1String("nothing"))
                return html(QStringLiteral("<ol id=\"b_results\"><li class=\"b_no\">There are no "
                                           "results</li></ol>"));
            Reply r;
            r.silent = answer == QLatin1String("silent");
            r.status = "429 Too Many Requests";
            return r;
        });
        TempDataDir data;
        QByteArray out, err;
        int rc = -1;
        QVERIFY(runTool({"engines", "--data-dir", data.path(), "--check", "--engine", "Bing",
                         "--search", "tiles", "--timeout", "2", "--engine-origin",
                         "bing=" + fake.base()},
                        &out, &err, &rc));
        QVERIFY2(out.startsWith(line), out.constData());
        QCOMPARE(rc, exitCode);
        QCOMPARE(fake.requests().size(), 1);
        QCOMPARE(fake.requests().first().query.queryItemValue(QStringLiteral("q")),
                 QStringLiteral("tiles"));
    }

    // Without --engine every engine is asked once, in the order of the list.
    void check_everyEngine()
    {
        FakeSearchEngine fake;
        QVERIFY(fake.listen());
        fake.setHandler(FakeSearchEngine::onlyBingAnswers(
            FakeSearchEngine::numberedLinks(QStringLiteral("t"), 0, 3)));
        TempDataDir data;
        QStringList args = {"engines", "--data-dir", data.path(), "--check", "--timeout", "5"};
        for (const char *e :
             {"google", "yahoo", "brave", "mojeek", "bing", "duckduckgo", "startpage", "ecosia"})
            args << "--engine-origin"
                 << QLatin1String(e) + QLatin1Char('=') + fake.base() + QLatin1Char('/') +
                        QLatin1String(e);
        QByteArray out, err;
        int rc = -1;
        QVERIFY(runTool(args, &out, &err, &rc));
        QCOMPARE(rc, 3);
        const QList<QByteArray> lines = out.trimmed().split('\n');
        QCOMPARE(lines.size(), 8);
        QCOMPARE(lines.at(4), QByteArray("bing\tanswers (3 result domains)"));
        QVERIFY2(lines.at(0).startsWith("google\trefused (forbidden)"), lines.at(0).constData());
        QVERIFY2(lines.at(7).startsWith("ecosia\trefused (forbidden)"), lines.at(7).constData());
    }

    // The shipped definitions exported, one corrected and one added in the data folder, one
    // broken there: the listing says where each comes from, names the broken file, its line
    // and its engine, and goes on without it; the harvest's reading uses them too.
    void exportedDefinitions_inTheDataFolder()
    {
        TempDataDir data;
        const QString exported = data.file(QStringLiteral("exported"));
        QByteArray out, err;
        int rc = -1;
        QVERIFY(runTool({"engines", "--export", exported}, &out, &err, &rc));
        QCOMPARE(rc, 0);
        QCOMPARE(out.count('\n'), 8);
        QVERIFY(runTool({"engines", "--export", exported}, &out, &err, &rc));
        QCOMPARE(rc, 1);
        QVERIFY2(err.contains("bing.json exists already; not overwritten"), err.constData());

        const QString engines = data.file(QStringLiteral("engines"));
        QVERIFY(QDir().mkpath(engines));
        QFile bing(exported + QStringLiteral("/bing.json"));
        QVERIFY(bing.open(QIODevice::ReadOnly));
        QByteArray mine = bing.readAll();
        QVERIFY(mine.contains("\"title\": \"Bing\""));
        mine.replace("\"title\": \"Bing\"", "\"title\": \"Bing (mine)\"");
        mine.replace("\"results\": [\"li.b_algo\"]", "\"results\": [\"li.b_top\"]");
        QFile copy(engines + QStringLiteral("/bing.json"));
        QVERIFY(copy.open(QIODevice::WriteOnly));
        copy.write(mine);
        copy.close();
        QVERIFY(QFile::copy(exported + QStringLiteral("/mojeek.json"),
                            engines + QStringLiteral("/mojeek2.json")));
        QFile mojeek2(engines + QStringLiteral("/mojeek2.json"));
        QVERIFY(mojeek2.open(QIODevice::ReadWrite));
        QByteArray added = mojeek2.readAll().replace("\"Mojeek\"", "\"Mojeek Two\"");
        mojeek2.resize(0);
        mojeek2.write(added);
        mojeek2.close();
        QFile broken(engines + QStringLiteral("/ecosia.json"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("{\n    \"title\": \"Ecosia\",\n    \"order\": \"eight\"\n}\n");
        broken.close();

        QVERIFY(runTool({"engines", "--data-dir", data.path()}, &out, &err, &rc));
        QCOMPARE(rc, 1);
        QVERIFY2(err.contains(QDir::toNativeSeparators(engines).toUtf8() +
                              "/ecosia.json, line 3: order: must be a whole number"),
                 err.constData());
        QVERIFY(err.contains("; the engine ecosia is left out\n"));
        const QList<QByteArray> lines = out.trimmed().split('\n');
        QCOMPARE(lines.size(), 8);
        QVERIFY2(lines.at(4).startsWith("mojeek2\tMojeek Two\tGET https://www.mojeek.com/"),
                 lines.at(4).constData());
        QVERIFY(lines.at(4).endsWith("\tdata folder\tready"));
        QVERIFY(lines.at(5).startsWith("bing\tBing (mine)\t"));
        QVERIFY(lines.at(5).endsWith("\tdata folder\tready"));
        QVERIFY(lines.at(0).endsWith("\tshipped\tready"));
        QVERIFY(!out.contains("ecosia"));

        // The corrected reader finds no result where the shipped one finds seven.
        const QString page = QStringLiteral(VARNEL_SERP_CORPUS "/bing-2.html");
        QVERIFY(runTool({"domains", "--engine", "bing", page}, &out, &err, &rc));
        QCOMPARE(out.count('\n'), 7);
        QVERIFY(runTool({"domains", "--data-dir", data.path(), "--engine", "bing", page}, &out,
                        &err, &rc));
        QCOMPARE(out, QByteArray());
        QVERIFY(err.contains("no results: "));
    }
};

QTEST_GUILESS_MAIN(TestToolEngines)
#include "tst_toolengines.moc"
