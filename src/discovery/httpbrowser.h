#pragma once

#include "browser.h"
#include "resolvemap.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QUrl>



// The browser of a build without an embedded one: each address is fetched with an HTTP
// GET, redirects (to HTTPS too) are followed, and the end of the final response is the
// document's completion, reported with the requested address and the response's HTML.
// A ResolveMap sends the requests for a mapped host to its address and port while the
// request keeps the original Host header. Owned by its parent; not thread-safe.
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
    void stop() override;
    bool isLoading() const { return m_reply != nullptr; }

private:
    void startRequest(const QUrl &url);
    void onReadyRead();
    void onFinished();
    void complete(int httpStatus, bool answered);
    void dropReply();

    QNetworkAccessManager m_nam;
    ResolveMap m_resolve;
    ResolveMap m_tlsResolve;
    bool m_ignoreSslErrors = false;
    QPointer<QNetworkReply> m_reply;
    QString m_requested; // the address given to navigate()
    QUrl m_current;      // the address of the current hop, before mapping
    QByteArray m_body;
    QByteArray m_contentType;
    int m_hops = 0;
};
