#pragma once

// A small web server on 127.0.0.1 for the network suites: virtual hosts (chosen by the Host
// header), fixed responses or files from a fixture folder, and faults on demand. It runs
// in the test's own event loop (no thread): the test must let events run
// (QTRY_COMPARE, QSignalSpy::wait) while a client talks to it.
//
// Typical use:
//
//   TestWebServer web;
//   QVERIFY(web.listen());
//   web.addPage("a.example", "/", "<a href=\"b.htm\">b</a> Fax: 212-555-0187");
//   web.addFault("slow.example", "/", TestWebServer::Fault::NoAnswer);
//   web.addRedirect("old.example", "/", 301, "http://a.example/");
//   ResolveMap map; map.add(web.resolveSpec());  // every host goes to this server
//   ... QTRY_COMPARE(web.requestCount("a.example", "/"), 1);
//   QCOMPARE(web.requests().first().raw, QByteArray("GET / HTTP/1.1\r\n..."));
//
// A request for a host/path without a response gets the fallback (404 unless set).
// Linked as the static library varnel_testweb (tests/common).

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

class QTcpServer;
class QTcpSocket;

class TestWebServer : public QObject
{
    Q_OBJECT
public:
    enum class Fault
    {
        None,        // send the response, then close
        NoAnswer,    // read the request, send nothing, keep the connection open
        Trickle,     // send the response one byte every trickleIntervalMs, then close
        NeverClose,  // send the response, keep the connection open
        NoBlankLine, // send the status line, headers and body without the blank line, close
        Oversize,    // a body of oversizeBytes bytes streamed as the client reads, then close
        Reset,       // send the first half of the response, then reset the connection
        CloseAtOnce, // close as soon as the request has arrived, without a byte
        Delay        // send the response delayMs after the request, then close
    };

    struct Response
    {
        int status = 200;
        QByteArray reason = "OK";
        QList<QPair<QByteArray, QByteArray>> headers; // sent after Content-Type
        QByteArray contentType = "text/html";
        QByteArray body;
        bool sendContentLength = true;
        bool chunked = false; // Transfer-Encoding: chunked, body in chunks of chunkSize
        int chunkSize = 7;
        QByteArray raw; // non-empty: sent exactly as it is instead of the above
        Fault fault = Fault::None;
        qint64 oversizeBytes = 0;
        int trickleIntervalMs = 1000;
        int delayMs = 0;
    };

    struct Request
    {
        QByteArray raw; // the bytes up to and including the blank line
        QByteArray method;
        QByteArray path;
        QByteArray host; // the Host header, as sent
        bool tls = false;
    };

    explicit TestWebServer(QObject *parent = nullptr);
    ~TestWebServer() override;

    // Listens on a free loopback port (or on port). With tls, connections are TLS with a
    // built-in self-signed certificate for "localhost" (that a client must choose to accept).
    bool listen(bool tls = false, quint16 port = 0);
    quint16 port() const;
    // "pattern=127.0.0.1:port" for ResolveMap::add and --resolve; "*" maps every host.
    QString resolveSpec(const QString &pattern = QStringLiteral("*")) const;

    // Host names are matched without letter case and without ":port"; paths exactly
    // (query included).
    void addResponse(const QByteArray &host, const QByteArray &path, const Response &response);
    void addPage(const QByteArray &host, const QByteArray &path, const QByteArray &html);
    void addRedirect(const QByteArray &host, const QByteArray &path, int status,
                     const QByteArray &location);
    void addFault(const QByteArray &host, const QByteArray &path, Fault fault);
    void addRaw(const QByteArray &host, const QByteArray &path, const QByteArray &rawResponse);
    // Every file below root/<host>/ becomes a page of that host ("/dir/a.htm"); index.htm
    // or index.html also answers for its folder ("/dir/"). Returns the number of files.
    int addDirectory(const QString &root);
    void setFallback(const Response &response);
    // Keep-alive: plain answers (no fault) go without "Connection: close" and the connection
    // stays open for the next request. With answersPerConnection > 0, a request beyond that
    // many on one connection is met by a close without an answer, as from a server that
    // dropped the idle connection just when the request came.
    void setKeepAlive(bool on, int answersPerConnection = 0);

    QList<Request> requests() const { return m_requests; }
    int requestCount(const QByteArray &host, const QByteArray &path) const;
    void clearRequests() { m_requests.clear(); }
    // Connections accepted so far, and those still open.
    int connectionCount() const { return m_connections; }
    int openConnections() const;

    // A loopback port on which nothing listens (a connect is refused).
    static quint16 refusedPort();
    // The built-in self-signed certificate for "localhost" and its key (PEM), for other
    // servers of the tests (nginx).
    static QByteArray certificatePem();
    static QByteArray privateKeyPem();

Q_SIGNALS:
    void requestReceived(const TestWebServer::Request &request);

private:
    struct Conn;
    void accept();
    void onReadyRead(QTcpSocket *socket);
    void respond(QTcpSocket *socket, const Response &response);
    void streamOversize(QTcpSocket *socket);
    static QByteArray render(const Response &response, bool withBlankLine = true,
                             bool keepAlive = false);
    static QByteArray key(const QByteArray &host, const QByteArray &path);

    QTcpServer *m_server = nullptr;
    bool m_tls = false;
    QHash<QByteArray, Response> m_responses;
    Response m_fallback;
    bool m_keepAlive = false;
    int m_answersPerConnection = 0;
    QList<Request> m_requests;
    QHash<QTcpSocket *, Conn *> m_conns;
    int m_connections = 0;
};
