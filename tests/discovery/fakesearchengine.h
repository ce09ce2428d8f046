#pragma once

// A search engine on loopback for the list builder's tests. It answers both engines'
// result-page addresses (Google "/search?...&start=N&...&q=TERMS", Yahoo
// "/search/dir?...&p=TERMS&b=N") with pages set up by the test, picks the page by the
// offset, and can refuse or ignore requests on demand. A test may instead answer every
// request itself (setHandler), for engines of other shapes. Every request is recorded,
// with its method, headers and form body.

#include <QHash>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>

#include <functional>

class FakeSearchEngine : public QObject
{
    Q_OBJECT
public:
    enum class Answer
    {
        Page,        // 200 with the page set up for the query and offset
        TooMany,     // 429 with a short body
        Unavailable, // 503 with a short body
        HumanCheck,  // 200 with a page asking the visitor to prove being human
        Silent,      // read the request, never answer
        Close        // close the connection without an answer
    };

    struct Request
    {
        QString target; // request target as sent, e.g. "/search?num=100&..."
        QString host;   // Host header
        QString engine; // "Google" or "Yahoo" by the path
        QString terms;  // raw value of q= or p=
        int pageIndex = -1;
        QByteArray method;
        QString path;                          // the target before "?"
        QUrlQuery query;                       // the target after "?"
        QUrlQuery form;                        // a form body
        QHash<QByteArray, QByteArray> headers; // by lower-case name
    };

    // An answer written by a test's handler.
    struct Reply
    {
        QByteArray status = "200 OK";
        QByteArray headers; // extra header lines, each ending in CR LF
        QByteArray body;
        bool silent = false; // never answer
    };
    using Handler = std::function<Reply(const Request &)>;

    explicit FakeSearchEngine(QObject *parent = nullptr) : QObject(parent)
    {
        connect(&m_server, &QTcpServer::newConnection, this, &FakeSearchEngine::onConnection);
    }

    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return m_server.serverPort(); }
    QString hostAndPort() const { return QStringLiteral("127.0.0.1:%1").arg(port()); }

    // Result pages for a query text as it appears in the address, by page index
    // (Google: start / 100; Yahoo: (b - 1) / 20). Missing pages are empty result pages.
    void setPages(const QString &terms, const QStringList &pages) { m_pages[terms] = pages; }
    // How to answer every request from now on, or only one page of one query.
    void setAnswer(Answer answer) { m_answer = answer; }
    void setAnswer(const QString &terms, int pageIndex, Answer answer)
    {
        m_special[terms + QLatin1Char('#') + QString::number(pageIndex)] = answer;
    }

    // Answer every request by this handler from now on (the pages above are then unused).
    void setHandler(const Handler &handler) { m_handler = handler; }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(port()); }

    const QList<Request> &requests() const { return m_requests; }
    QStringList targets() const
    {
        QStringList t;
        for (const Request &r : m_requests)
            t << r.target;
        return t;
    }

    // A result page of links, one per line, in the common result markup.
    static QString resultPage(const QStringList &links)
    {
        QString html = QStringLiteral("<div id=\"res\">\n");
        for (const QString &l : links)
            html += QStringLiteral("<li><a href=\"%1\">%1</a> <span>result</span></li>\n").arg(l);
        return html + QStringLiteral("</div>\n");
    }
    // A result page of an engine of the table (by its tool name), in the markup its reader
    // takes the organic results from; without links, a page of that engine with no result.
    static QString enginePage(const QString &engine, const QStringList &links)
    {
        static const QHash<QString, QPair<QString, QString>> shell = {
            {"google", {"<div id=\"search\">", "</div>"}},
            {"yahoo", {"<ol class=\"searchCenterMiddle\">", "</ol>"}},
            {"brave", {"<div id=\"results\">", "</div>"}},
            {"mojeek", {"<ul class=\"results-standard\">", "</ul>"}},
            {"bing", {"<ol id=\"b_results\">", "</ol>"}},
            {"duckduckgo", {"<div id=\"links\">", "</div>"}},
            {"startpage", {"<div class=\"w-gl\">", "</div>"}},
            {"ecosia", {"<div class=\"mainline\">", "</div>"}},
        };
        static const QHash<QString, QString> item = {
            {"google", "<div class=\"g\"><a href=\"%1\"><h3>%1</h3></a></div>"},
            {"yahoo", "<li><div class=\"compTitle\"><a href=\"%1\">%1</a></div></li>"},
            {"brave", "<div class=\"snippet\" data-type=\"web\"><a href=\"%1\">%1</a></div>"},
            {"mojeek", "<li><a class=\"title\" href=\"%1\">%1</a></li>"},
            {"bing", "<li class=\"b_algo\"><h2><a href=\"%1\">%1</a></h2></li>"},
            {"duckduckgo",
             "<div class=\"result results_links\"><a class=\"result__a\" href=\"%1\">%1</a>"
             "</div>"},
            {"startpage",
             "<div class=\"result\"><a class=\"result-title\" href=\"%1\">%1</a></div>"},
            {"ecosia", "<article class=\"web-result\"><a href=\"%1\">%1</a></article>"},
        };
        QString html = shell.value(engine).first;
        for (const QString &l : links)
            html += item.value(engine).arg(l);
        return QStringLiteral("<html><body>") + html + shell.value(engine).second +
               QStringLiteral("</body></html>");
    }
    // A handler for engines of the table asked under folders of their names ("/bing/..."):
    // Bing answers its first page with the links and its later pages with none; every other
    // engine refuses with 403.
    static Handler onlyBingAnswers(const QStringList &links)
    {
        return [links](const Request &r) {
            Reply reply;
            if (!r.path.startsWith(QLatin1String("/bing/"))) {
                reply.status = "403 Forbidden";
                return reply;
            }
            const bool first = !r.query.hasQueryItem(QStringLiteral("first"));
            reply.body = enginePage(QStringLiteral("bing"), first ? links : QStringList()).toUtf8();
            return reply;
        };
    }
    // n links "http://www.<prefix><i>.com/" for i from first.
    static QStringList numberedLinks(const QString &prefix, int first, int n)
    {
        QStringList links;
        for (int i = first; i < first + n; ++i)
            links << QStringLiteral("http://www.%1%2.com/").arg(prefix).arg(i);
        return links;
    }

private:
    void onConnection()
    {
        while (QTcpSocket *s = m_server.nextPendingConnection()) {
            s->setParent(this);
            connect(s, &QTcpSocket::readyRead, this, [this, s] { onReadyRead(s); });
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        }
    }

    static QString param(const QString &query, const QString &key)
    {
        const QStringList parts = query.split(QLatin1Char('&'));
        for (const QString &p : parts) {
            if (p.startsWith(key + QLatin1Char('=')))
                return p.mid(key.size() + 1);
        }
        return QString();
    }

    void onReadyRead(QTcpSocket *s)
    {
        QByteArray &buf = m_buffers[s];
        buf += s->readAll();
        const qsizetype end = buf.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = buf.left(end).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        Request r;
        r.method = first.value(0);
        r.target = QString::fromLatin1(first.value(1));
        for (const QByteArray &l : lines.mid(1)) {
            const qsizetype colon = l.indexOf(':');
            if (colon > 0)
                r.headers.insert(l.left(colon).trimmed().toLower(), l.mid(colon + 1).trimmed());
        }
        r.host = QString::fromLatin1(r.headers.value("host"));
        const qsizetype length = r.headers.value("content-length").toLongLong();
        if (buf.size() < end + 4 + length)
            return; // the body is still on its way
        r.form = QUrlQuery(QString::fromLatin1(buf.mid(end + 4, length)));
        m_buffers.remove(s);
        const qsizetype q = r.target.indexOf(QLatin1Char('?'));
        const QString path = r.target.left(q);
        const QString query = q < 0 ? QString() : r.target.mid(q + 1);
        r.path = path;
        r.query = QUrlQuery(query);
        if (path == QLatin1String("/search/dir")) {
            r.engine = QStringLiteral("Yahoo");
            r.terms = param(query, QStringLiteral("p"));
            r.pageIndex = (param(query, QStringLiteral("b")).toInt() - 1) / 20;
        } else if (path == QLatin1String("/search")) {
            r.engine = QStringLiteral("Google");
            r.terms = param(query, QStringLiteral("q"));
            r.pageIndex = param(query, QStringLiteral("start")).toInt() / 100;
        }
        m_requests.append(r);

        if (m_handler) {
            const Reply reply = m_handler(r);
            if (reply.silent)
                return;
            QByteArray head = "HTTP/1.1 " + reply.status + "\r\n" + reply.headers +
                              "Content-Length: " + QByteArray::number(reply.body.size()) +
                              "\r\nConnection: close\r\n\r\n";
            s->write(head + reply.body);
            s->disconnectFromHost();
            return;
        }

        Answer answer =
            m_special.value(r.terms + QLatin1Char('#') + QString::number(r.pageIndex), m_answer);
        switch (answer) {
        case Answer::Silent:
            return;
        case Answer::Close:
            s->abort();
            s->deleteLater();
            return;
        case Answer::TooMany:
            reply(s, "429 Too Many Requests", "<html><body>Slow down.</body></html>");
            return;
        case Answer::Unavailable:
            reply(s, "503 Service Unavailable", "<html><body>Try later.</body></html>");
            return;
        case Answer::HumanCheck:
            reply(s, "200 OK",
                  "<html><body><p>Our systems have detected unusual traffic from your "
                  "computer network. Please show that you are not a robot.</p>"
                  "<a href=\"http://www.google.com/policies/terms/\">Why?</a></body></html>");
            return;
        case Answer::Page:
            break;
        }
        const QStringList pages = m_pages.value(r.terms);
        const QString page = r.pageIndex >= 0 && r.pageIndex < pages.size()
                                 ? pages.at(r.pageIndex)
                                 : QStringLiteral("<p>No more results.</p>");
        reply(s, "200 OK",
              "<html><head><title>results</title></head><body>" + page.toUtf8() + "</body></html>");
    }

    static void reply(QTcpSocket *s, const char *status, const QByteArray &body)
    {
        QByteArray head = QByteArray("HTTP/1.1 ") + status +
                          "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                          QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n";
        s->write(head + body);
        s->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QHash<QString, QStringList> m_pages;
    QHash<QString, Answer> m_special;
    Answer m_answer = Answer::Page;
    Handler m_handler;
    QList<Request> m_requests;
};
