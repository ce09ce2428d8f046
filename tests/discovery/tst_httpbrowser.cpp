#include "httpbrowser.h"
#include "testenv.h"

#include <QProcess>
#include <QSignalSpy>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

// A web server on loopback answering by Host header and path, plain or over TLS.
class RouteServer : public QObject
{
    Q_OBJECT
public:
    struct Route
    {
        QByteArray status = "200 OK";
        QByteArray headers;
        QByteArray body;
    };

    explicit RouteServer(QTcpServer *server) : m_server(server)
    {
        server->setParent(this);
        connect(server, &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket *s = m_server->nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, this, [this, s] { onReadyRead(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    bool listen() { return m_server->listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return m_server->serverPort(); }
    void route(const QByteArray &hostAndPath, const Route &r) { m_routes[hostAndPath] = r; }
    QList<QByteArray> seen; // "host/path" of every request

private:
    void onReadyRead(QTcpSocket *s)
    {
        QByteArray &buf = m_buffers[s];
        buf += s->readAll();
        if (!buf.contains("\r\n\r\n"))
            return;
        const QList<QByteArray> lines = buf.split('\n');
        QByteArray host;
        for (const QByteArray &l : lines) {
            if (l.toLower().startsWith("host:"))
                host = l.mid(5).trimmed();
        }
        const QByteArray key = host + lines[0].split(' ').value(1);
        m_buffers.remove(s);
        seen << key;
        if (!m_routes.contains(key))
            return; // silent
        const Route r = m_routes.value(key);
        s->write("HTTP/1.1 " + r.status + "\r\n" + r.headers + "Content-Length: "
                 + QByteArray::number(r.body.size()) + "\r\nConnection: close\r\n\r\n" + r.body);
        s->disconnectFromHost();
    }

    QTcpServer *m_server;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QHash<QByteArray, Route> m_routes;
};

class TestHttpBrowser : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    // Redirects are followed across mapped hosts; the completion names the address asked
    // for and carries the final page and its status.
    void completion_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("html");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("answered");
        QTest::newRow("page") << "http://engine.test/search?q=a+b" << "<b>results</b>" << 200 << true;
        QTest::newRow("redirect chain") << "http://engine.test/old" << "<b>moved</b>" << 200 << true;
        QTest::newRow("503 keeps its body") << "http://engine.test/busy" << "busy" << 503 << true;
        QTest::newRow("latin-1 page") << "http://engine.test/latin" << QString::fromUtf8("caf\u00e9") << 200 << true;
        QTest::newRow("refused") << "http://closed.test/" << QString() << 0 << false;
    }

    void completion()
    {
        QFETCH(QString, address);
        QFETCH(QString, html);
        QFETCH(int, status);
        QFETCH(bool, answered);
        RouteServer server(new QTcpServer);
        QVERIFY(server.listen());
        server.route("engine.test/search?q=a+b", {"200 OK", "Content-Type: text/html\r\n", "<b>results</b>"});
        server.route("engine.test/old", {"301 Moved", "Location: http://www.engine.test/mid\r\n", {}});
        server.route("www.engine.test/mid", {"302 Found", "Location: /new\r\n", {}});
        server.route("www.engine.test/new", {"200 OK", {}, "<b>moved</b>"});
        server.route("engine.test/busy", {"503 Service Unavailable", {}, "busy"});
        server.route("engine.test/latin", {"200 OK", "Content-Type: text/html; charset=ISO-8859-1\r\n", "caf\xe9"});
        QTcpServer closed; // a port that refuses: listen, note the port, close
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const quint16 closedPort = closed.serverPort();
        closed.close();

        ResolveMap map;
        map.add(QStringLiteral("closed.test"), QStringLiteral("127.0.0.1"), closedPort);
        map.add(QStringLiteral("*"), QStringLiteral("127.0.0.1"), server.port());
        HttpBrowser browser;
        browser.setResolveMap(map);
        QSignalSpy done(&browser, &Browser::documentComplete);
        browser.navigate(address);
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 1, 10000);
        const BrowserPage page = done[0][0].value<BrowserPage>();
        QCOMPARE(page.url, address);
        QCOMPARE(page.html, html);
        QCOMPARE(page.httpStatus, status);
        QCOMPARE(page.answered, answered);
        QVERIFY(!browser.isLoading());
    }

    void stopAndNavigate_dropEarlierAddress()
    {
        RouteServer server(new QTcpServer);
        QVERIFY(server.listen());
        server.route("engine.test/fast", {"200 OK", {}, "fast"});
        ResolveMap map;
        map.add(QStringLiteral("*"), QStringLiteral("127.0.0.1"), server.port());
        HttpBrowser browser;
        browser.setResolveMap(map);
        QSignalSpy done(&browser, &Browser::documentComplete);
        browser.navigate(QStringLiteral("http://engine.test/never")); // never answered
        QTRY_COMPARE_WITH_TIMEOUT(server.seen.size(), 1, 5000);
        browser.navigate(QStringLiteral("http://engine.test/fast"));
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 1, 5000);
        QCOMPARE(done[0][0].value<BrowserPage>().html, QStringLiteral("fast"));
        browser.navigate(QStringLiteral("http://engine.test/never"));
        QTRY_COMPARE_WITH_TIMEOUT(server.seen.size(), 3, 5000);
        browser.stop();
        QTest::qWait(100);
        QCOMPARE(done.size(), 1);
        QVERIFY(!browser.isLoading());
    }

    // The engines send plain addresses on to HTTPS; the browser follows.
    void redirectToHttps()
    {
        if (!QSslSocket::supportsSsl())
            QSKIP("no TLS backend");
        const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
        if (openssl.isEmpty())
            QSKIP("openssl is needed to make the test certificate");
        TempDataDir dir;
        QProcess gen;
        gen.start(openssl, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                            "-subj", "/CN=engine.test", "-keyout", dir.file("key.pem"),
                            "-out", dir.file("cert.pem")});
        QVERIFY(gen.waitForFinished(30000));
        QCOMPARE(gen.exitCode(), 0);
        QFile certFile(dir.file("cert.pem")), keyFile(dir.file("key.pem"));
        QVERIFY(certFile.open(QIODevice::ReadOnly) && keyFile.open(QIODevice::ReadOnly));
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificate(QSslCertificate(&certFile));
        tls.setPrivateKey(QSslKey(&keyFile, QSsl::Rsa));
        auto *sslServer = new QSslServer;
        sslServer->setSslConfiguration(tls);
        RouteServer secure(sslServer);
        QVERIFY(secure.listen());
        secure.route("engine.test/search", {"200 OK", {}, "<a href=\"https://www.shop.com/\">"});
        RouteServer plain(new QTcpServer);
        QVERIFY(plain.listen());
        plain.route("engine.test/search", {"302 Found", "Location: https://engine.test/search\r\n", {}});

        // One host name, plain and TLS on two ports.
        ResolveMap map, tlsMap;
        map.add(QStringLiteral("engine.test"), QStringLiteral("127.0.0.1"), plain.port());
        tlsMap.add(QStringLiteral("engine.test"), QStringLiteral("127.0.0.1"), secure.port());
        HttpBrowser browser;
        browser.setResolveMap(map);
        browser.setTlsResolveMap(tlsMap);
        browser.setIgnoreSslErrors(true); // the certificate is the test's own
        QSignalSpy done(&browser, &Browser::documentComplete);
        browser.navigate(QStringLiteral("http://engine.test/search"));
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 1, 10000);
        const BrowserPage page = done[0][0].value<BrowserPage>();
        QCOMPARE(page.httpStatus, 200);
        QCOMPARE(page.html, QStringLiteral("<a href=\"https://www.shop.com/\">"));
        QCOMPARE(secure.seen, QList<QByteArray>{"engine.test/search"});
    }
};

QTEST_GUILESS_MAIN(TestHttpBrowser)
#include "tst_httpbrowser.moc"
