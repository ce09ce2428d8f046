// varnel-tool harvest --render: pages whose links and fax numbers a script builds are
// rendered by varnel-render (Qt WebEngine, offscreen) and yield them; without the option,
// or without the helper, they are read as sent and yield nothing.

#include "testenv.h"
#include "testwebserver.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QtTest>

namespace {

// The home page builds its fax line and a link to the contact page inline; the contact page
// is built by a script of the site, which the renderer loads through the harvest's host map.
const QByteArray kHome =
    "<!doctype html><html><head><title>Acme Plumbing</title></head><body><div id=\"root\">"
    "</div><script>var r = document.getElementById('root');"
    "r.innerHTML = '<p>Fax: ' + ['212', '555', '0144'].join('-') + '</p>';"
    "var a = document.createElement('a'); a.setAttribute('href', '/contact' + '.htm');"
    "a.textContent = 'Contact us'; r.appendChild(a);</script></body></html>";
const QByteArray kContact =
    "<!doctype html><html><head><title>Contact</title><script src=\"/app.js\"></script></head>"
    "<body><noscript>Please enable JavaScript.</noscript><div id=\"app\"></div></body></html>";
const QByteArray kScript = "document.addEventListener('DOMContentLoaded', function () {"
                           "  var p = document.createElement('p');"
                           "  p.textContent = 'Fax: ' + ['212', '555', '0145'].join('-');"
                           "  document.getElementById('app').appendChild(p);"
                           "});";

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run runHarvest(TestWebServer &web, const QStringList &extra,
               const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    TempDataDir dir;
    QFile list(dir.file(QStringLiteral("sites.txt")));
    if (list.open(QIODevice::WriteOnly))
        list.write("acme-plumbing.com\n");
    list.close();
    QProcess tool;
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral(VARNEL_TOOL_PATH),
               QStringList{"harvest", "--data-dir", dir.path(), "--sites", list.fileName(),
                           "--last-search", "stop", "--resolve", web.resolveSpec()} +
                   extra);
    Run run;
    QElapsedTimer t;
    t.start();
    // The test's own web server answers while the tool runs.
    while (tool.state() != QProcess::NotRunning && t.elapsed() < 120000)
        QTest::qWait(20);
    if (tool.state() != QProcess::NotRunning) {
        tool.kill();
        tool.waitForFinished();
    }
    run.exitCode = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    run.out = tool.readAllStandardOutput();
    run.err = tool.readAllStandardError();
    return run;
}

} // namespace

class TestToolRender : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void harvest_data()
    {
        QTest::addColumn<QStringList>("flags");
        QTest::addColumn<QString>("helper"); // empty: the one beside varnel-tool
        QTest::addColumn<QByteArray>("summary");
        QTest::addColumn<QByteArray>("said");

        QTest::newRow("rendered")
            << QStringList{"--render"} << QString()
            << QByteArray("sites scanned 2, sites found 2, numbers found 2, pages rendered 2\n")
            << QByteArray();
        QTest::newRow("option off: read as sent")
            << QStringList{"--no-render"} << QString()
            << QByteArray("sites scanned 1, sites found 1, numbers found 0\n") << QByteArray();
        QTest::newRow("helper missing: read as sent, said why")
            << QStringList{"--render"} << QStringLiteral("/nonexistent/varnel-render")
            << QByteArray("sites scanned 1, sites found 1, numbers found 0, pages rendered 0\n")
            << QByteArray("render: A page that needs JavaScript (http://acme-plumbing.com/) was "
                          "read as sent: the program /nonexistent/varnel-render is not there");
    }

    void harvest()
    {
        QFETCH(QStringList, flags);
        QFETCH(QString, helper);
        QFETCH(QByteArray, summary);
        QFETCH(QByteArray, said);
        TestWebServer web;
        QVERIFY(web.listen());
        web.addPage("acme-plumbing.com", "/", kHome);
        web.addPage("acme-plumbing.com", "/contact.htm", kContact);
        web.addPage("acme-plumbing.com", "/app.js", kScript);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!helper.isEmpty())
            env.insert(QStringLiteral("VARNEL_RENDER"), helper);
        const Run run = runHarvest(web, flags, env);
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QVERIFY2(run.out.endsWith(summary), run.out.constData());
        if (!said.isEmpty())
            QVERIFY2(run.err.contains(said), run.err.constData());
    }
};

QTEST_GUILESS_MAIN(TestToolRender)
#include "tst_toolrender.moc"
