#include "webenginebrowser.h"

#include "htmlscan.h"

#include <QNetworkCookie>
#include <QTimer>
#include <QWebEngineCookieStore>
#include <QWebEngineHttpRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

namespace {

// A document has rendered once its scripts have left it unchanged this long ...
constexpr int kQuietMs = 500;
// ... or once this long has passed since it loaded (a page that never stops changing).
constexpr int kMostMs = 8000;
constexpr int kPollMs = 100;

// Notes the time of every change of the document's elements, text and links, from the
// moment it is created; in a world of its own, out of the page's scripts' reach.
const char *const kWatchChanges = R"(
(function () {
    window.__varnelChanged = Date.now();
    new MutationObserver(function () { window.__varnelChanged = Date.now(); })
        .observe(document, {childList: true, subtree: true, characterData: true,
                            attributes: true, attributeFilter: ['href']});
})();
)";

// How long the document has been left unchanged, in milliseconds; -1 when it is not watched.
const char *const kQuietFor =
    "window.__varnelChanged === undefined ? -1 : Date.now() - window.__varnelChanged";

} // namespace

WebEngineBrowser::WebEngineBrowser(QWidget *viewParent, QObject *parent)
    : Browser(parent), m_view(new QWebEngineView(viewParent))
{
    connect(m_view->page(), &QWebEnginePage::loadingChanged, this,
            &WebEngineBrowser::onLoadingChanged);
    QWebEngineScript watch;
    watch.setName(QStringLiteral("varnel-watch-changes"));
    watch.setInjectionPoint(QWebEngineScript::DocumentCreation);
    watch.setWorldId(QWebEngineScript::ApplicationWorld);
    watch.setRunsOnSubFrames(false);
    watch.setSourceCode(QLatin1String(kWatchChanges));
    m_view->page()->scripts().insert(watch);
}

WebEngineBrowser::~WebEngineBrowser()
{
    if (m_view)
        m_view->page()->disconnect(this);
}

void WebEngineBrowser::navigate(const QString &url)
{
    ++m_generation;
    m_request = BrowserRequest();
    m_stage = Stage::Document;
    if (m_view)
        m_view->load(QUrl(url, QUrl::TolerantMode));
}

void WebEngineBrowser::load(const BrowserRequest &request)
{
    ++m_generation;
    m_request = request;
    if (!m_view)
        return;
    if (!request.tokenPageUrl.isEmpty() && !m_tokens.contains(request.tokenPageUrl)) {
        m_stage = Stage::Token;
        m_view->load(QUrl(request.tokenPageUrl, QUrl::TolerantMode));
        return;
    }
    sendDocumentRequest();
}

void WebEngineBrowser::sendDocumentRequest()
{
    m_stage = Stage::Document;
    const QString token = m_tokens.value(m_request.tokenPageUrl);
    const QUrl url = m_request.urlWithToken(token);
    QWebEngineHttpRequest request(url, m_request.method == "POST" ? QWebEngineHttpRequest::Post
                                                                  : QWebEngineHttpRequest::Get);
    for (const auto &[name, value] : std::as_const(m_request.headers))
        request.setHeader(name, value);
    if (m_request.method == "POST") {
        request.setHeader("Content-Type", "application/x-www-form-urlencoded");
        request.setPostData(m_request.bodyWithToken(token));
    }
    QWebEngineCookieStore *cookies = m_view->page()->profile()->cookieStore();
    for (const auto &[name, value] : std::as_const(m_request.cookies)) {
        QNetworkCookie cookie(name, value);
        cookie.setDomain(url.host());
        cookie.setPath(QStringLiteral("/"));
        cookies->setCookie(cookie, url);
    }
    m_view->load(request);
}

void WebEngineBrowser::stop()
{
    ++m_generation;
    if (m_view)
        m_view->stop();
}

void WebEngineBrowser::tokenPageLoaded(const QString &html)
{
    // Without a token the search is sent anyway; the engine's answer tells the rest.
    const QString token = HtmlScan::hiddenInputValue(
        html, QLatin1String(m_request.tokenField.constData(), m_request.tokenField.size()));
    if (!token.isEmpty())
        m_tokens.insert(m_request.tokenPageUrl, token);
    sendDocumentRequest();
}

void WebEngineBrowser::onLoadingChanged(const QWebEngineLoadingInfo &info)
{
    if (!m_view)
        return;
    const bool failed = info.status() == QWebEngineLoadingInfo::LoadFailedStatus;
    if (!failed && info.status() != QWebEngineLoadingInfo::LoadSucceededStatus)
        return; // started, or stopped by stop() or by a newer navigation

    BrowserPage page;
    // The address asked for; after a POST the view shows the form's address.
    page.url = m_stage == Stage::Document && !m_request.url.isEmpty() ? m_request.url
                                                                      : info.url().toString();
    page.finalUrl = info.url().toString();
    // An HTTP error status is a load "failure" that still shows the server's page;
    // anything else that fails (refused, unreachable, TLS) got no answer.
    const bool httpError =
        failed && info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain;
    page.httpStatus = httpError ? info.errorCode() : 0;
    page.answered = !failed || httpError;

    const quint64 generation = m_generation;
    if (m_stage == Stage::Token && !failed) {
        QPointer<WebEngineBrowser> self(this);
        m_view->page()->runJavaScript(QStringLiteral("document.documentElement.outerHTML"),
                                      [self, generation](const QVariant &html) {
                                          if (self && self->m_generation == generation)
                                              self->tokenPageLoaded(html.toString());
                                      });
        return;
    }
    QPointer<WebEngineBrowser> self(this);
    if (!page.answered) {
        // The view shows an error page of its own: its text is none of the engine's. Reported
        // from the event loop, as a page read by script is.
        page.errorText = info.errorString();
        QTimer::singleShot(0, this, [self, generation, page] {
            if (self && self->m_generation == generation)
                Q_EMIT self->documentComplete(page);
        });
        return;
    }

    m_rendering.start();
    readWhenRendered(page, generation);
}

void WebEngineBrowser::readWhenRendered(const BrowserPage &page, quint64 generation)
{
    QPointer<WebEngineBrowser> self(this);
    auto read = [self, generation, page]() {
        if (!self || !self->m_view || self->m_generation != generation)
            return;
        self->m_view->page()->runJavaScript(
            QStringLiteral("document.body ? document.body.innerHTML : ''"),
            QWebEngineScript::ApplicationWorld, [self, generation, page](const QVariant &html) {
                if (!self || self->m_generation != generation)
                    return;
                BrowserPage read = page;
                read.html = html.toString();
                Q_EMIT self->documentComplete(read);
            });
    };
    m_view->page()->runJavaScript(
        QLatin1String(kQuietFor), QWebEngineScript::ApplicationWorld,
        [self, generation, page, read](const QVariant &quiet) {
            if (!self || self->m_generation != generation)
                return;
            const qint64 ms = quiet.isValid() ? quiet.toLongLong() : -1;
            if (ms < 0 || ms >= kQuietMs || self->m_rendering.elapsed() >= kMostMs) {
                read();
                return;
            }
            QTimer::singleShot(kPollMs, self, [self, generation, page] {
                if (self && self->m_view && self->m_generation == generation)
                    self->readWhenRendered(page, generation);
            });
        });
}
