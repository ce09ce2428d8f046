#include "httpbrowser.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QStringDecoder>

namespace {

QString decodeHtml(const QByteArray &body, const QByteArray &contentType)
{
    const qsizetype at = contentType.toLower().indexOf("charset=");
    if (at >= 0) {
        QByteArray name = contentType.mid(at + 8).trimmed();
        const qsizetype end = name.indexOf(';');
        if (end >= 0)
            name.truncate(end);
        name.replace('"', QByteArray()).replace('\'', QByteArray());
        QStringDecoder decoder(name.constData());
        if (decoder.isValid())
            return decoder.decode(body);
    }
    if (const auto encoding = QStringConverter::encodingForHtml(body))
        return QStringDecoder(*encoding).decode(body);
    return QString::fromUtf8(body);
}

} // namespace

HttpBrowser::HttpBrowser(QObject *parent) : Browser(parent)
{
    m_nam.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

HttpBrowser::~HttpBrowser()
{
    dropReply();
}

void HttpBrowser::navigate(const QString &url)
{
    dropReply();
    m_requested = url;
    m_hops = 0;
    startRequest(QUrl(url, QUrl::TolerantMode));
}

void HttpBrowser::stop()
{
    dropReply();
}

void HttpBrowser::dropReply()
{
    if (!m_reply)
        return;
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

void HttpBrowser::startRequest(const QUrl &url)
{
    m_current = url;
    m_body.clear();
    m_contentType.clear();

    QUrl target = url;
    QNetworkRequest request;
    const ResolveMap::Target *mapped = nullptr;
    if (url.scheme() == QLatin1String("https"))
        mapped = m_tlsResolve.lookup(url.host());
    if (!mapped)
        mapped = m_resolve.lookup(url.host());
    if (mapped) {
        QString hostHeader = url.host();
        if (url.port() != -1)
            hostHeader += QLatin1Char(':') + QString::number(url.port());
        target.setHost(mapped->address);
        target.setPort(mapped->port);
        request.setRawHeader("Host", hostHeader.toUtf8());
        request.setPeerVerifyName(url.host());
    }
    request.setUrl(target);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QByteArrayLiteral("Mozilla/5.0 (X11; Linux x86_64) QuorvexFaxVarnel/2"));
    request.setRawHeader("Accept", "text/html,application/xhtml+xml;q=0.9,*/*;q=0.8");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);

    QNetworkReply *reply = m_nam.get(request);
    m_reply = reply;
    if (m_ignoreSslErrors)
        reply->ignoreSslErrors();
    connect(reply, &QNetworkReply::readyRead, this, &HttpBrowser::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &HttpBrowser::onFinished);
}

void HttpBrowser::onReadyRead()
{
    if (!m_reply)
        return;
    m_body += m_reply->readAll();
    if (m_body.size() > kMaxBodyBytes) {
        // An endless answer ends here: what arrived is the document.
        const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        m_contentType = m_reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
        m_body.truncate(kMaxBodyBytes);
        dropReply();
        complete(status, true);
    }
}

void HttpBrowser::onFinished()
{
    QNetworkReply *reply = m_reply;
    if (!reply)
        return;
    m_body += reply->readAll();
    const QVariant statusAttr = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int status = statusAttr.toInt();
    m_contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    const QByteArray location = reply->rawHeader("Location");
    m_reply = nullptr;
    reply->disconnect(this);
    reply->deleteLater();

    const bool redirect = status == 301 || status == 302 || status == 303 || status == 307
        || status == 308;
    if (redirect && !location.isEmpty() && m_hops < kMaxRedirects) {
        const QUrl next = m_current.resolved(QUrl::fromEncoded(location, QUrl::TolerantMode));
        if (next.scheme() == QLatin1String("http") || next.scheme() == QLatin1String("https")) {
            ++m_hops;
            startRequest(next);
            return;
        }
    }
    complete(status, statusAttr.isValid());
}

void HttpBrowser::complete(int httpStatus, bool answered)
{
    BrowserPage page;
    page.url = m_requested;
    page.html = decodeHtml(m_body, m_contentType);
    page.httpStatus = httpStatus;
    page.answered = answered;
    m_body.clear();
    // Last: a receiver may navigate again from inside the signal.
    Q_EMIT documentComplete(page);
}
