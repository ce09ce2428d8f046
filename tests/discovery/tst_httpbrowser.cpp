#include "fakesearchengine.h"
#include "httpbrowser.h"
#include "searchengines.h"
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
        s->write("HTTP/1.1 " + r.status + "\r\n" + r.headers + "Content-Length: " +
                 QByteArray::number(r.body.size()) + "\r\nConnection: close\r\n\r\n" + r.body);
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
        QTest::newRow("page") << "http://engine.test/search?q=a+b"
                              << "<b>results</b>" << 200 << true;
        QTest::newRow("redirect chain") << "http://engine.test/old"
                                        << "<b>moved</b>" << 200 << true;
        QTest::newRow("503 keeps its body") << "http://engine.test/busy"
                                            << "busy" << 503 << true;
        QTest::newRow("latin-1 page")
            << "http://engine.test/latin" << QString::fromUtf8("caf\u00e9") << 200 << true;
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
        server.route("engine.test/search?q=a+b",
                     {"200 OK", "Content-Type: text/html\r\n", "<b>results</b>"});
        server.route("engine.test/old",
                     {"301 Moved", "Location: http://www.engine.test/mid\r\n", {}});
        server.route("www.engine.test/mid", {"302 Found", "Location: /new\r\n", {}});
        server.route("www.engine.test/new", {"200 OK", {}, "<b>moved</b>"});
        server.route("engine.test/busy", {"503 Service Unavailable", {}, "busy"});
        server.route("engine.test/latin",
                     {"200 OK", "Content-Type: text/html; charset=ISO-8859-1\r\n", "caf\xe9"});
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
        gen.start(openssl, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                            "/CN=engine.test", "-keyout", dir.file("key.pem"), "-out",
                            dir.file("cert.pem")});
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
        plain.route("engine.test/search",
                    {"302 Found", "Location: https://engine.test/search\r\n", {}});

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

// An engine of the table, asked at the fake engine: its address keeps its path under a
// folder named after it ("/brave/search?...").
static SearchEngines::SearchEngine atFake(const QString &name, const FakeSearchEngine &fake)
{
    SearchEngines::SearchEngine e = *SearchEngines::find(name);
    e.origin = fake.base() + QLatin1Char('/') + name;
    return e;
}

static BrowserPage loadAndWait(HttpBrowser &browser, const BrowserRequest &request)
{
    QSignalSpy done(&browser, &Browser::documentComplete);
    browser.load(request);
    if (!done.wait(10000) && done.isEmpty())
        return BrowserPage();
    return done.last().at(0).value<BrowserPage>();
}

// The engine table's requests as they reach an engine, and the engine's refusals as the
// verdict tells them.
class TestEngineRequests : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void shape_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("termsKey");
        QTest::addColumn<QString>("pageKey"); // empty: no paging field
        QTest::addColumn<QString>("pageValue");
        QTest::newRow("google") << "google" << 100 << QByteArray("GET") << "/search"
                                << "q"
                                << "start"
                                << "100";
        QTest::newRow("yahoo") << "yahoo" << 20 << QByteArray("GET") << "/search/dir"
                               << "p"
                               << "b"
                               << "21";
        QTest::newRow("brave first") << "brave" << 0 << QByteArray("GET") << "/search"
                                     << "q"
                                     << ""
                                     << "";
        QTest::newRow("brave") << "brave" << 20 << QByteArray("GET") << "/search"
                               << "q"
                               << "offset"
                               << "1";
        QTest::newRow("mojeek") << "mojeek" << 20 << QByteArray("GET") << "/search"
                                << "q"
                                << "s"
                                << "21";
        QTest::newRow("bing") << "bing" << 10 << QByteArray("GET") << "/search"
                              << "q"
                              << "first"
                              << "11";
        QTest::newRow("duckduckgo") << "duckduckgo" << 10 << QByteArray("POST") << "/html/"
                                    << "q"
                                    << "dc"
                                    << "11";
        QTest::newRow("startpage") << "startpage" << 10 << QByteArray("POST") << "/sp/search"
                                   << "query"
                                   << "page"
                                   << "2";
        QTest::newRow("ecosia") << "ecosia" << 10 << QByteArray("GET") << "/search"
                                << "q"
                                << "p"
                                << "1";
    }

    void shape()
    {
        QFETCH(QString, engine);
        QFETCH(int, offset);
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QString, termsKey);
        QFETCH(QString, pageKey);
        QFETCH(QString, pageValue);
        FakeSearchEngine fake;
        QVERIFY(fake.listen());
        fake.setHandler([](const FakeSearchEngine::Request &r) {
            FakeSearchEngine::Reply reply;
            reply.body = r.path.endsWith(QLatin1String("/startpage/"))
                             ? "<form action=\"/sp/search\"><input type=\"hidden\" name=\"sc\" "
                               "value=\"T0ken\"></form>"
                             : "<p>results</p>";
            return reply;
        });
        const SearchEngines::SearchEngine e = atFake(engine, fake);
        HttpBrowser browser;
        const BrowserPage page =
            loadAndWait(browser, e.request(QStringLiteral("plumber new york fax"), offset));
        QCOMPARE(page.httpStatus, 200);
        QCOMPARE(page.html, QStringLiteral("<p>results</p>"));

        const FakeSearchEngine::Request &r = fake.requests().last();
        QCOMPARE(r.method, method);
        QCOMPARE(r.path, QLatin1Char('/') + engine + path);
        const QUrlQuery &fields = method == "POST" ? r.form : r.query;
        QCOMPARE(fields.queryItemValue(termsKey, QUrl::FullyEncoded),
                 QStringLiteral("plumber+new+york+fax"));
        if (pageKey.isEmpty())
            QVERIFY(!fields.hasQueryItem(QStringLiteral("offset")));
        else
            QCOMPARE(fields.queryItemValue(pageKey), pageValue);
        if (e.headers.isEmpty()) {
            QVERIFY(r.headers.value("user-agent").contains("QuorvexFaxVarnel"));
        } else {
            QVERIFY(r.headers.value("user-agent").contains("Firefox/"));
            QCOMPARE(r.headers.value("accept-language"), QByteArray("en-US,en;q=0.5"));
        }
        if (method == "POST")
            QCOMPARE(r.headers.value("content-type"),
                     QByteArray("application/x-www-form-urlencoded"));
        if (engine == QLatin1String("startpage")) {
            // The token from the home page's form goes into the search form.
            QCOMPARE(fake.requests().size(), 2);
            QCOMPARE(fake.requests().first().method, QByteArray("GET"));
            QCOMPARE(r.form.queryItemValue(QStringLiteral("sc")), QStringLiteral("T0ken"));
            // Asked once per session.
            loadAndWait(browser, e.request(QStringLiteral("roofer"), 0));
            QCOMPARE(fake.requests().size(), 3);
            browser.resetSession();
            loadAndWait(browser, e.request(QStringLiteral("roofer"), 0));
            QCOMPARE(fake.requests().size(), 5);
        } else {
            QCOMPARE(fake.requests().size(), 1);
        }
    }

    // Cookies an engine sets come back with the next requests of the session, with the
    // ones the table asks for; a new session starts without them.
    void cookies_keptForTheSession()
    {
        FakeSearchEngine fake;
        QVERIFY(fake.listen());
        fake.setHandler([](const FakeSearchEngine::Request &) {
            FakeSearchEngine::Reply reply;
            reply.headers = "Set-Cookie: sid=abc; Path=/\r\n";
            return reply;
        });
        BrowserRequest request;
        request.url = fake.base() + QStringLiteral("/search?q=a");
        request.cookies = {{"pref", "1"}};
        HttpBrowser browser;
        loadAndWait(browser, request);
        QCOMPARE(fake.requests().last().headers.value("cookie"), QByteArray("pref=1"));
        loadAndWait(browser, request);
        const QByteArray second = fake.requests().last().headers.value("cookie");
        QVERIFY2(second.contains("sid=abc") && second.contains("pref=1"), second.constData());
        browser.resetSession();
        request.cookies.clear();
        loadAndWait(browser, request);
        QVERIFY(!fake.requests().last().headers.contains("cookie"));
    }

    // A form sent to an address that answers 303 goes on as a GET, as a browser does.
    void postRedirect_becomesGet()
    {
        FakeSearchEngine fake;
        QVERIFY(fake.listen());
        fake.setHandler([](const FakeSearchEngine::Request &r) {
            FakeSearchEngine::Reply reply;
            if (r.method == "POST") {
                reply.status = "303 See Other";
                reply.headers = "Location: /html/?q=a\r\n";
            } else {
                reply.body = "<p>after</p>";
            }
            return reply;
        });
        HttpBrowser browser;
        const BrowserPage page = loadAndWait(
            browser, atFake(QStringLiteral("duckduckgo"), fake).request(QStringLiteral("a"), 0));
        QCOMPARE(page.html, QStringLiteral("<p>after</p>"));
        QCOMPARE(fake.requests().size(), 2);
        QCOMPARE(fake.requests().last().method, QByteArray("GET"));
        QVERIFY(page.finalUrl.endsWith(QLatin1String("/html/?q=a")));
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<SearchEngines::Outcome>("outcome");
        QTest::addColumn<QString>("reason"); // a part of it
        QTest::newRow("results") << "results" << SearchEngines::Outcome::Results << "";
        QTest::newRow("429") << "429" << SearchEngines::Outcome::Blocked << "429";
        QTest::newRow("503") << "503" << SearchEngines::Outcome::Blocked << "503";
        QTest::newRow("403") << "403" << SearchEngines::Outcome::Blocked << "403";
        QTest::newRow("redirect to a captcha")
            << "sorry" << SearchEngines::Outcome::Blocked << "/sorry/";
        QTest::newRow("challenge page")
            << "challenge" << SearchEngines::Outcome::Blocked << "challenge";
        QTest::newRow("empty page") << "empty" << SearchEngines::Outcome::NoResults << "";
        QTest::newRow("token page refused")
            << "token403" << SearchEngines::Outcome::Blocked << "403";
        QTest::newRow("unreachable")
            << "closed" << SearchEngines::Outcome::NoAnswer << "did not answer";
    }

    void refusals()
    {
        QFETCH(QString, answer);
        QFETCH(SearchEngines::Outcome, outcome);
        QFETCH(QString, reason);
        FakeSearchEngine fake;
        QVERIFY(fake.listen());
        fake.setHandler([answer](const FakeSearchEngine::Request &r) {
            FakeSearchEngine::Reply reply;
            if (r.path.contains(QLatin1String("/sorry/"))) {
                reply.body = "<p>Please show you are a person.</p>";
            } else if (answer == QLatin1String("results")) {
                reply.body =
                    "<div class=\"snippet\" data-type=\"web\"><a href=\"https://www.shop.com/\">"
                    "Shop</a></div>";
            } else if (answer.startsWith(QLatin1String("token"))) {
                reply.status = "403 Forbidden";
            } else if (answer.front().isDigit()) {
                reply.status = answer.toLatin1() + " Refused";
            } else if (answer == QLatin1String("sorry")) {
                reply.status = "302 Found";
                reply.headers = "Location: /sorry/index?continue=x\r\n";
            } else if (answer == QLatin1String("challenge")) {
                reply.body = "<form id=\"challenge-form\" action=\"/verify\"></form>";
            }
            return reply;
        });
        SearchEngines::SearchEngine e =
            atFake(answer.startsWith(QLatin1String("token")) ? QStringLiteral("startpage")
                                                             : QStringLiteral("brave"),
                   fake);
        if (answer == QLatin1String("closed")) {
            QTcpServer closed; // a port that refuses: listen, note the port, close
            QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
            e.origin = QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort());
            closed.close();
        }
        HttpBrowser browser;
        const BrowserPage page = loadAndWait(browser, e.request(QStringLiteral("shop"), 0));
        const SearchEngines::PageVerdict v =
            SearchEngines::readPage(e, page, DomainNames::Endings::Every);
        QCOMPARE(v.outcome, outcome);
        QVERIFY2(v.reason.contains(reason), qPrintable(v.reason));
        QCOMPARE(v.names.isEmpty(), outcome != SearchEngines::Outcome::Results);
        if (answer.startsWith(QLatin1String("token")))
            QCOMPARE(fake.requests().size(), 1); // the search itself is not sent
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int status = 0;
    {
        TestHttpBrowser t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        TestEngineRequests t;
        status |= QTest::qExec(&t, argc, argv);
    }
    return status;
}
#include "tst_httpbrowser.moc"
