#pragma once

#include "browser.h"
#include "resolvemap.h"

#include <QByteArray>
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QUrl>

// The browser of a build without an embedded one: each address is fetched with an HTTP
// GET, or a request is sent as a search engine wants it (POST form, headers, cookies, a
// form token fetched first), redirects (to HTTPS too) are followed, and the end of the
// final response is the document's completion, reported with the requested address, the
// final one and the response's HTML. Cookies the engines set are kept for the session,
// until resetSession(). A ResolveMap sends the requests for a mapped host to its address
// and port while the request keeps the original Host header. Owned by its parent; not
// thread-safe.
class HttpBrowser : public Browser
{
    Q_OBJECT
public:
    static constexpr int kMaxRedirects = 10;
    static constexpr qint64 kMaxBodyBytes = 16 * 1024 * 1024;

    explicit HttpBrowser(QObject *parent = nullptr);
    ~HttpBrowser() override;

    void setResolveMap(const ResolveMap &map) { m_resolve = map; }
    // HTTPS requests look here first, then in the map above, so that one host name can
    // answer plain HTTP and TLS on two loopback ports.
    void setTlsResolveMap(const ResolveMap &map) { m_tlsResolve = map; }
    // For tests against a loopback TLS server with a certificate of its own.
    void setIgnoreSslErrors(bool ignore) { m_ignoreSslErrors = ignore; }

    void navigate(const QString &url) override;
    void load(const BrowserRequest &request) override;
    void stop() override;
    bool isLoading() const { return m_reply != nullptr; }
    // Forgets the cookies and form tokens of the session (a new run starts clean).
    void resetSession();

private:
    enum class Stage
    {
        Token,
        Document
    };

    void startDocument();
    void startRequest(const QUrl &url, const QByteArray &method, const QByteArray &body);
    void onReadyRead();
    void onFinished();
    void documentDone(int httpStatus, bool answered, const QString &errorText);
    void complete(int httpStatus, bool answered, const QString &errorText);
    void dropReply();

    QNetworkAccessManager m_nam;
    ResolveMap m_resolve;
    ResolveMap m_tlsResolve;
    bool m_ignoreSslErrors = false;
    QPointer<QNetworkReply> m_reply;
    BrowserRequest m_request;
    Stage m_stage = Stage::Document;
    QHash<QString, QString> m_tokens; // form token by the page that holds it
    QString m_requested;              // the address given to navigate() or load()
    QUrl m_current;                   // the address of the current hop, before mapping
    QByteArray m_method;              // of the current hop
    QByteArray m_sentBody;
    QByteArray m_body;
    QByteArray m_contentType;
    int m_hops = 0;
};
