// Where a response ends on a kept-alive connection, and whether the connection may carry
// the next request.

#include "httpframing.h"

#include <QtTest>

using HttpFraming::Frame;

class TestHttpFraming : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void completeResponses_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<bool>("head");
        QTest::addColumn<bool>("reusable");
        QTest::addColumn<int>("status");

        QTest::newRow("Content-Length")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello") << false << true
            << 200;
        QTest::newRow("Content-Length 0")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n") << false << true << 200;
        QTest::newRow("repeated equal lengths")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2, 2\r\nContent-Length: 2\r\n\r\nhi")
            << false << true << 200;
        QTest::newRow("chunked with extension and trailer")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                          "5;x=y\r\nhello\r\nA\r\n0123456789\r\n0\r\nExpires: never\r\n\r\n")
            << false << true << 200;
        QTest::newRow("chunked, bare LF line ends")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n"
                          "2\nhi\n0\n\n")
            << false << true << 200;
        QTest::newRow("204 has no body")
            << QByteArray("HTTP/1.1 204 No Content\r\nContent-Length: 10\r\n\r\n") << false << true
            << 204;
        QTest::newRow("304 has no body")
            << QByteArray("HTTP/1.1 304 Not Modified\r\n\r\n") << false << true << 304;
        QTest::newRow("HEAD has no body")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 99\r\n\r\n") << true << true << 200;
        QTest::newRow("interim 100 Continue is skipped")
            << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 1\r\n"
                          "\r\nx")
            << false << true << 200;

        // Complete, but the connection goes.
        QTest::newRow("Connection: close")
            << QByteArray("HTTP/1.1 200 OK\r\nConnection: Keep-Alive, CLOSE\r\n"
                          "Content-Length: 1\r\n\r\nx")
            << false << false << 200;
        QTest::newRow("HTTP/1.0 without keep-alive")
            << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\nx") << false << false << 200;
        QTest::newRow("HTTP/1.0 with keep-alive")
            << QByteArray("HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 1\r\n\r\nx")
            << false << true << 200;
        QTest::newRow("length beside chunked")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n"
                          "\r\n0\r\n\r\n")
            << false << false << 200;
        QTest::newRow("more than was asked for")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nxHTTP/1.1") << false << false
            << 200;
    }
    void completeResponses()
    {
        QFETCH(QByteArray, response);
        QFETCH(bool, head);
        QFETCH(bool, reusable);
        QFETCH(int, status);
        const Frame f = HttpFraming::frame(response, head);
        QVERIFY(f.complete);
        QVERIFY(!f.untilClose);
        QCOMPARE(f.reusable, reusable);
        QCOMPARE(f.status, status);
        QCOMPARE(response.mid(f.start, 4), QByteArray("HTTP"));
        if (reusable)
            QCOMPARE(f.end, response.size());
    }

    void untilClose_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::newRow("no length") << QByteArray("HTTP/1.1 200 OK\r\n\r\nbody");
        QTest::newRow("lengths disagree")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nabc");
        QTest::newRow("length not a number")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1x\r\n\r\nx");
        QTest::newRow("length too long")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 9999999999999999999\r\n\r\n");
        QTest::newRow("chunked not last")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, gzip\r\n\r\n0\r\n\r\n");
        QTest::newRow("bad chunk size")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nhi\r\n");
        QTest::newRow("chunk longer than its size")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nhello\r\n");
        QTest::newRow("no status line") << QByteArray("<html>\r\n\r\n</html>");
        QTest::newRow("switching protocols")
            << QByteArray("HTTP/1.1 101 Switching Protocols\r\n\r\n");
    }
    void untilClose()
    {
        QFETCH(QByteArray, response);
        const Frame f = HttpFraming::frame(response);
        QVERIFY(f.headerComplete);
        QVERIFY(f.untilClose);
        QVERIFY(!f.complete);
        QVERIFY(!f.reusable);
    }

    void incompleteResponses_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::newRow("header cut") << QByteArray("HTTP/1.1 200 OK\r\nContent-Le");
        QTest::newRow("body short")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nhello");
        QTest::newRow("chunk data short")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel");
        QTest::newRow("between CR and LF after a chunk")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nhi\r");
        QTest::newRow("last chunk without the trailer's end")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\nX: y\r\n");
        QTest::newRow("only an interim answer")
            << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200");
    }
    void incompleteResponses()
    {
        QFETCH(QByteArray, response);
        const Frame f = HttpFraming::frame(response);
        QVERIFY(!f.complete);
        QVERIFY(!f.untilClose);
        QVERIFY(!f.reusable);
    }

    // The same response fed in every possible pair of pieces, and byte by byte, frames as
    // it does whole: the scanner resumes correctly wherever a read ends.
    void piecewiseEqualsWhole_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::newRow("chunked") << QByteArray(
            "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nTransfer-Encoding: "
            "chunked\r\n\r\n5\r\nhello\r\n10\r\n0123456789abcdef\r\n0\r\nT: 1\r\n\r\n");
        QTest::newRow("length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n"
                                              "0123456789");
    }
    void piecewiseEqualsWhole()
    {
        QFETCH(QByteArray, response);
        const Frame whole = HttpFraming::frame(response);
        QVERIFY(whole.complete && whole.reusable);
        for (qsizetype cut = 0; cut <= response.size(); ++cut) {
            HttpFraming::Scanner s;
            const Frame first = s.scan(response.left(cut));
            QCOMPARE(first.complete, cut == response.size());
            const Frame f = s.scan(response);
            QCOMPARE(f.complete, true);
            QCOMPARE(f.end, whole.end);
            QCOMPARE(f.start, whole.start);
            QCOMPARE(f.reusable, true);
        }
        HttpFraming::Scanner bytewise;
        for (qsizetype n = 1; n <= response.size(); ++n)
            QCOMPARE(bytewise.scan(response.left(n)).complete, n == response.size());
        QCOMPARE(bytewise.frame().end, whole.end);
    }
};

QTEST_GUILESS_MAIN(TestHttpFraming)
#include "tst_httpframing.moc"
