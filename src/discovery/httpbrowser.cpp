#include "httpbrowser.h"

#include "htmlscan.h"

#include <QNetworkCookie>
#include <QNetworkCookieJar>
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
    resetSession();
}

HttpBrowser::~HttpBrowser()
{
    dropReply();
}

void HttpBrowser::resetSession()
{
    m_nam.setCookieJar(new QNetworkCookieJar(&m_nam));
    m_tokens.clear();
}

void HttpBrowser::navigate(const QString &url)
{
    BrowserRequest request;
    request.url = url;
    load(request);
}

void HttpBrowser::load(const BrowserRequest &request)
{
    dropReply();
    m_request = request;
    m_requested = request.url;
    m_hops = 0;
    if (!request.tokenPageUrl.isEmpty() && !m_tokens.contains(request.tokenPageUrl)) {
        m_stage = Stage::Token;
        startRequest(QUrl(request.tokenPageUrl, QUrl::TolerantMode), "GET", QByteArray());
        return;
    }
    startDocument();
}

void HttpBrowser::startDocument()
{
    m_stage = Stage::Document;
    m_hops = 0;
    const QString token = m_tokens.value(m_request.tokenPageUrl);
    startRequest(m_request.urlWithToken(token), m_request.method, m_request.bodyWithToken(token));
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

void HttpBrowser::startRequest(const QUrl &url, const QByteArray &method, const QByteArray &body)
{
    m_current = url;
    m_method = method;
    m_sentBody = body;
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
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    // The engine's own headers replace the browser's of the same name.
    for (const auto &[name, value] : std::as_const(m_request.headers))
        request.setRawHeader(name, value);
    if (!m_request.cookies.isEmpty()) {
        QList<QNetworkCookie> cookies;
        for (const auto &[name, value] : std::as_const(m_request.cookies))
            cookies.append(QNetworkCookie(name, value));
        m_nam.cookieJar()->setCookiesFromUrl(cookies, target);
    }

    QNetworkReply *reply = nullptr;
    if (method == "POST") {
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("application/x-www-form-urlencoded"));
        reply = m_nam.post(request, body);
    } else {
        reply = m_nam.get(request);
    }
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
        documentDone(status, true, QString());
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
    const QString errorText = statusAttr.isValid() ? QString() : reply->errorString();
    m_reply = nullptr;
    reply->disconnect(this);
    reply->deleteLater();

    const bool redirect =
        status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
    if (redirect && !location.isEmpty() && m_hops < kMaxRedirects) {
        const QUrl next = m_current.resolved(QUrl::fromEncoded(location, QUrl::TolerantMode));
        if (next.scheme() == QLatin1String("http") || next.scheme() == QLatin1String("https")) {
            ++m_hops;
            // 307 and 308 repeat the request as it was; the others fetch the new address.
            if (status == 307 || status == 308)
                startRequest(next, m_method, m_sentBody);
            else
                startRequest(next, "GET", QByteArray());
            return;
        }
    }
    documentDone(status, statusAttr.isValid(), errorText);
}

void HttpBrowser::documentDone(int httpStatus, bool answered, const QString &errorText)
{
    if (m_stage == Stage::Token && answered && httpStatus == 200) {
        // Without a token the search is sent anyway; the engine's answer tells the rest.
        const QString html = decodeHtml(m_body, m_contentType);
        const QString token = HtmlScan::hiddenInputValue(
            html, QLatin1String(m_request.tokenField.constData(), m_request.tokenField.size()));
        if (!token.isEmpty())
            m_tokens.insert(m_request.tokenPageUrl, token);
        startDocument();
        return;
    }
    // A token page that fails is the answer to the search: its status tells why.
    complete(httpStatus, answered, errorText);
}

void HttpBrowser::complete(int httpStatus, bool answered, const QString &errorText)
{
    BrowserPage page;
    page.url = m_requested;
    page.finalUrl = m_current.toString();
    page.html = decodeHtml(m_body, m_contentType);
    page.httpStatus = httpStatus;
    page.answered = answered;
    page.errorText = errorText;
    m_body.clear();
    // Last: a receiver may navigate again from inside the signal.
    Q_EMIT documentComplete(page);
}
