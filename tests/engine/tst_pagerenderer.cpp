// The client of the rendering helper: what it makes of a helper that answers, fails a page,
// crashes, answers out of turn, keeps a page too long, or is not there. The helpers here are
// small shell scripts that speak the protocol.

#include "pagerenderer.h"
#include "testenv.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

class TestPageRenderer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void answers_data()
    {
        QTest::addColumn<QByteArray>("script"); // empty: no helper at all
        QTest::addColumn<QByteArray>("rendered");
        QTest::addColumn<QString>("failure"); // the start of the reason

        // Reads the request's line and the page it announces, then answers.
        const QByteArray read = "read cmd id ms url len\nhead -c \"$len\" >/dev/null\n";
        QTest::newRow("rendered")
            << read + "printf 'rendered %s 12\\n<p>Fax:1</p>' \"$id\"\ncat >/dev/null\n"
            << QByteArray("<p>Fax:1</p>") << QString();
        QTest::newRow("a page failed")
            << read + "printf 'failed %s the page is larger than the browser takes\\n' \"$id\"\n"
                      "cat >/dev/null\n"
            << QByteArray() << QStringLiteral("the page is larger than the browser takes");
        QTest::newRow("crashed") << read + "kill -SEGV $$\n"
                                 << QByteArray() << QStringLiteral("the program %1 crashed");
        QTest::newRow("ended") << read + "exit 3\n"
                               << QByteArray() << QStringLiteral("the program %1 ended (status 3)");
        QTest::newRow("out of turn")
            << read + "echo 'Segmentation fault'\ncat >/dev/null\n"
            << QByteArray() << QStringLiteral("the program %1 answered out of turn");
        QTest::newRow("too long") << read + "exec sleep 30\n"
                                  << QByteArray()
                                  << QStringLiteral("the page was not rendered within 1.5 seconds");
        QTest::newRow("not there")
            << QByteArray() << QByteArray() << QStringLiteral("the program %1 is not there");
    }

    void answers()
    {
        QFETCH(QByteArray, script);
        QFETCH(QByteArray, rendered);
        QFETCH(QString, failure);
        TempDataDir dir;
        const QString program = dir.file(QStringLiteral("helper.sh"));
        if (!script.isEmpty()) {
            QFile f(program);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("#!/bin/sh\n" + script);
            f.close();
            QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        ProcessPageRenderer renderer(program);
        renderer.setTimes(500, 1000);
        QSignalSpy done(&renderer, &PageRenderer::rendered);
        QSignalSpy failed(&renderer, &PageRenderer::failed);
        renderer.render(7, QUrl(QStringLiteral("http://h.com/")), "<div id=\"root\"></div>");
        QTRY_VERIFY_WITH_TIMEOUT(done.size() + failed.size() > 0, 10000);
        if (failure.isEmpty()) {
            QCOMPARE(done.size(), 1);
            QCOMPARE(done.at(0).at(0).toULongLong(), 7u);
            QCOMPARE(done.at(0).at(1).toByteArray(), rendered);
        } else {
            QCOMPARE(failed.size(), 1);
            QCOMPARE(failed.at(0).at(0).toULongLong(), 7u);
            if (failure.contains(QLatin1String("%1")))
                failure = failure.arg(program);
            QVERIFY2(failed.at(0).at(1).toString().startsWith(failure),
                     qPrintable(failed.at(0).at(1).toString()));
        }
        // Each page is answered once.
        QTest::qWait(100);
        QCOMPARE(done.size() + failed.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestPageRenderer)
#include "tst_pagerenderer.moc"
