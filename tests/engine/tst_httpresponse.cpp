// The byte-level HTTP pieces of a fetch slot.

#include "httpresponse.h"

#include <QtTest>

using namespace HttpResponse;

class TestHttpResponse : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void requestIsExactlyFourLines()
    {
        QCOMPARE(requestBytes("example.com", "/dir/a.htm"),
                 QByteArray("GET /dir/a.htm HTTP/1.1\r\nHost: example.com\r\nConnection: "
                            "close\r\nAccept: */*\r\n\r\n"));
        // The path goes out unescaped.
        QCOMPARE(
            requestBytes("h", "/a b?c=d"),
            QByteArray(
                "GET /a b?c=d HTTP/1.1\r\nHost: h\r\nConnection: close\r\nAccept: */*\r\n\r\n"));
    }

    void cutHeader_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("header and body")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello")
            << QByteArray("hello");
        QTest::newRow("empty body") << QByteArray("HTTP/1.1 200 OK\r\n\r\n") << QByteArray();
        QTest::newRow("body keeps its line breaks")
            << QByteArray("H\r\n\r\na\r\nb") << QByteArray("a\r\nb");
        // The header block goes wherever it recurs, letter case ignored.
        QTest::newRow("header repeated in body")
            << QByteArray("X\r\n\r\nax\r\n\r\nb") << QByteArray("ab");
        // No blank line: the first three characters are the header block.
        QTest::newRow("no blank line") << QByteArray("<ht<HTml>") << QByteArray("ml>");
        QTest::newRow("empty response") << QByteArray() << QByteArray();
        QTest::newRow("one character") << QByteArray("a") << QByteArray();
        QTest::newRow("two characters") << QByteArray("ab") << QByteArray();
        QTest::newRow("three characters") << QByteArray("abc") << QByteArray();
        QTest::newRow("only a blank line") << QByteArray("\r\n\r\n") << QByteArray();
    }
    void cutHeader()
    {
        QFETCH(QByteArray, page);
        QFETCH(QByteArray, body);
        QCOMPARE(HttpResponse::cutHeader(page), body);
    }

    void contentLength_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<int>("length");
        QTest::newRow("plain") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5") << 5;
        QTest::newRow("lower case is not read")
            << QByteArray("HTTP/1.1 200 OK\r\ncontent-length: 5") << 0;
        QTest::newRow("first line that contains it")
            << QByteArray("X-Content-Length: 7\r\nContent-Length: 5") << 7;
        QTest::newRow("no space") << QByteArray("Content-Length:5") << 0;
        QTest::newRow("not a number") << QByteArray("Content-Length: five") << 0;
        QTest::newRow("trailing space") << QByteArray("Content-Length: 12 ") << 12;
        QTest::newRow("too big") << QByteArray("Content-Length: 99999999999") << 0;
        QTest::newRow("none") << QByteArray("HTTP/1.1 200 OK\r\nServer: x") << 0;
    }
    void contentLength()
    {
        QFETCH(QByteArray, header);
        QFETCH(int, length);
        QCOMPARE(HttpResponse::contentLength(header), length);
    }

    void headerFields()
    {
        const QByteArray page = "HTTP/1.1 301 Moved Permanently\r\nlocation:  http://b/x \r\n"
                                "Transfer-Encoding: Chunked\r\n\r\nLocation: not-a-header";
        QCOMPARE(statusCode(page), 301);
        QVERIFY(isRedirectStatus(statusCode(page)));
        QCOMPARE(headerValue(page, "Location"), QByteArray("http://b/x"));
        QVERIFY(isChunked(page));
        QVERIFY(headerValue(page, "Server").isNull());
        QCOMPARE(statusCode("HTTP/1.0 404 Not Found\r\n\r\n"), 404);
        QCOMPARE(statusCode("<html>"), -1);
        QCOMPARE(statusCode("HTTP/1.1 30x"), -1);
        QVERIFY(!isRedirectStatus(200) && !isRedirectStatus(304) && isRedirectStatus(308));
        // Without a blank line there are no headers to read.
        QVERIFY(headerValue("HTTP/1.1 302 Found\r\nLocation: /x\r\n", "Location").isNull());
    }

    void dechunk_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("decoded");
        QTest::addColumn<bool>("complete");
        QTest::newRow("two chunks") << QByteArray("5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n")
                                    << QByteArray("hello world") << true;
        QTest::newRow("hex size and extension")
            << QByteArray("a;x=1\r\n0123456789\r\n0\r\n\r\n") << QByteArray("0123456789") << true;
        QTest::newRow("bare line feeds")
            << QByteArray("3\nabc\n0\n\n") << QByteArray("abc") << true;
        QTest::newRow("trailers dropped")
            << QByteArray("1\r\nx\r\n0\r\nX-T: 1\r\n\r\n") << QByteArray("x") << true;
        QTest::newRow("cut off in a chunk") << QByteArray("5\r\nhel") << QByteArray("hel") << false;
        QTest::newRow("no end chunk") << QByteArray("2\r\nab\r\n") << QByteArray("ab") << false;
        QTest::newRow("bad size") << QByteArray("2\r\nab\r\nzz\r\ncd\r\n0\r\n\r\n")
                                  << QByteArray("ab") << false;
        QTest::newRow("empty") << QByteArray() << QByteArray() << false;
    }
    void dechunk()
    {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, decoded);
        QFETCH(bool, complete);
        bool done = !complete;
        QCOMPARE(HttpResponse::dechunk(body, &done), decoded);
        QCOMPARE(done, complete);
    }

    void lineBreaksGo() { QCOMPARE(withoutLineBreaks("a\r\nb\rc\nd"), QByteArray("abcd")); }

    void progress_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<int>("previous");
        QTest::addColumn<int>("percent");
        QTest::newRow("half") << qint64(50) << qint64(100) << 0 << 50;
        QTest::newRow("all") << qint64(100) << qint64(100) << 0 << 100;
        QTest::newRow("above 100 keeps the bar") << qint64(101) << qint64(100) << 7 << 7;
        QTest::newRow("no length") << qint64(10) << qint64(0) << 3 << 3;
        QTest::newRow("half down to even") << qint64(5) << qint64(200) << 0 << 2;
        QTest::newRow("half up to even") << qint64(7) << qint64(200) << 0 << 4;
        QTest::newRow("negative count") << qint64(-30) << qint64(100) << 0 << 30;
    }
    void progress()
    {
        QFETCH(qint64, bytes);
        QFETCH(qint64, length);
        QFETCH(int, previous);
        QFETCH(int, percent);
        QCOMPARE(progressPercent(bytes, length, previous), percent);
    }

    void resolveLocation_data()
    {
        QTest::addColumn<bool>("https");
        QTest::addColumn<QByteArray>("location");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("toHttps");
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QByteArray>("path");
        // Against http(s)://h.example/a/x.htm
        QTest::newRow("absolute https")
            << false << QByteArray("https://h.example/a/x.htm") << true << true
            << QByteArray("h.example") << 443 << QByteArray("/a/x.htm");
        QTest::newRow("relative") << false << QByteArray("y.htm") << true << false
                                  << QByteArray("h.example") << 80 << QByteArray("/a/y.htm");
        QTest::newRow("root relative") << true << QByteArray("/b") << true << true
                                       << QByteArray("h.example") << 443 << QByteArray("/b");
        QTest::newRow("scheme relative") << false << QByteArray("//o.example") << true << false
                                         << QByteArray("o.example") << 80 << QByteArray("/");
        QTest::newRow("parent") << false << QByteArray("../up.htm?q=1#top") << true << false
                                << QByteArray("h.example") << 80 << QByteArray("/up.htm?q=1");
        QTest::newRow("explicit port")
            << false << QByteArray("http://o.example:8080/p") << true << false
            << QByteArray("o.example:8080") << 8080 << QByteArray("/p");
        QTest::newRow("IPv6 literal and port, bracketed")
            << false << QByteArray("http://[::1]:8081/p") << true << false
            << QByteArray("[::1]:8081") << 8081 << QByteArray("/p");
        QTest::newRow("IPv6 literal, default port")
            << false << QByteArray("https://[2001:DB8::1]/") << true << true
            << QByteArray("[2001:db8::1]") << 443 << QByteArray("/");
        QTest::newRow("other scheme") << false << QByteArray("ftp://o.example/") << false << false
                                      << QByteArray() << 0 << QByteArray();
        QTest::newRow("empty") << false << QByteArray("  ") << false << false << QByteArray() << 0
                               << QByteArray();
    }
    void resolveLocation()
    {
        QFETCH(bool, https);
        QFETCH(QByteArray, location);
        QFETCH(bool, ok);
        Target t;
        QCOMPARE(HttpResponse::resolveLocation(https, "h.example", "/a/x.htm", location, &t), ok);
        if (!ok)
            return;
        QFETCH(bool, toHttps);
        QFETCH(QByteArray, host);
        QFETCH(int, port);
        QFETCH(QByteArray, path);
        QCOMPARE(t.https, toHttps);
        QCOMPARE(t.host, host);
        QCOMPARE(int(t.port), port);
        QCOMPARE(t.path, path);
        // The name that is connected to carries no brackets and no port.
        if (host.startsWith('['))
            QCOMPARE(t.hostName, host.mid(1, host.indexOf(']') - 1));
        // The request names the host as the Host header must.
        QVERIFY(HttpResponse::requestBytes(t.host, t.path).contains("\r\nHost: " + host + "\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestHttpResponse)
#include "tst_httpresponse.moc"
