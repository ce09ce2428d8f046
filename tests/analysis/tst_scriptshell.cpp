#include "scriptshell.h"

#include <QDir>
#include <QFile>
#include <QTest>

// Which pages are script shells: those whose body a script builds, to be rendered before
// they are read; and no ordinary page, however much script it carries.
class TestScriptShell : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void isShell_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<bool>("shell");

        QTest::newRow("application root, noscript notice")
            << QByteArray("<!doctype html><html lang=\"en\"><head><meta charset=\"utf-8\"/>"
                          "<title>Acme Plumbing</title><script defer=\"defer\" "
                          "src=\"/static/js/main.4f2a.js\"></script></head><body><noscript>You "
                          "need to enable JavaScript to run this app.</noscript><div "
                          "id=\"root\"></div></body></html>")
            << true;
        QTest::newRow("custom element of a framework")
            << QByteArray("<html><head><title>Contact</title></head><body><app-root>Loading"
                          "...</app-root><script src=\"main.js\" type=\"module\"></script>"
                          "</body></html>")
            << true;
        QTest::newRow("inline script writes the page")
            << QByteArray("<html><body><div id=\"page\"></div><script>document.getElementById("
                          "'page').innerHTML = '<p>Fax: ' + n + '</p>';</script></body></html>")
            << true;
        QTest::newRow("body of scripts only")
            << QByteArray("<html><head></head><body><script src=\"/loader.js\"></script>"
                          "</body></html>")
            << true;
        // Not a shell:
        QTest::newRow("no script")
            << QByteArray("<html><body><div id=\"root\"></div></body></html>") << false;
        QTest::newRow("short page of text, no script")
            << QByteArray("<html><body><p>Fax: 212-555-0100</p></body></html>") << false;
        QTest::newRow("data blocks only")
            << QByteArray("<html><body><div id=\"app\"></div><script type=\"application/ld+json"
                          "\">{\"@type\": \"Organization\", \"faxNumber\": \"212-555-0100\"}"
                          "</script></body></html>")
            << false;
        QTest::newRow("coming soon, with an analytics script")
            << QByteArray("<html><body><h1>Coming soon</h1><script async "
                          "src=\"https://analytics.example/tag.js\"></script></body></html>")
            << false;
        QTest::newRow("text of its own beside a mount point")
            << QByteArray("<html><body><div id=\"root\"></div><p>") +
                   QByteArray("Acme Plumbing serves the whole county. ").repeated(8) +
                   QByteArray("</p><script src=\"app.js\"></script></body></html>")
            << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("unclosed script")
            << QByteArray("<html><body><div id=\"root\"><script>var a = 1;") << false;
    }

    void isShell()
    {
        QFETCH(QByteArray, page);
        QFETCH(bool, shell);
        QCOMPARE(ScriptShell::isShell(page), shell);
    }

    // Real pages (articles, organisation sites, contact pages) are never taken for shells.
    void realPages_noneIsShell()
    {
        QStringList shells;
        int pages = 0;
        for (const QString &path : {QStringLiteral(VARNEL_CORPUS_DIR "/real-pages"),
                                    QStringLiteral(VARNEL_CONTACT_PAGES)}) {
            const QDir dir(path);
            for (const QString &name :
                 dir.entryList({QStringLiteral("*.html"), QStringLiteral("*.htm")}, QDir::Files)) {
                QFile file(dir.filePath(name));
                QVERIFY(file.open(QIODevice::ReadOnly));
                ++pages;
                if (ScriptShell::isShell(file.readAll()))
                    shells << name;
            }
        }
        QVERIFY(pages >= 70); // the contact pages at least
        QVERIFY2(shells.isEmpty(), qPrintable(shells.join(QLatin1Char(' '))));
    }
};

QTEST_GUILESS_MAIN(TestScriptShell)
#include "tst_scriptshell.moc"
