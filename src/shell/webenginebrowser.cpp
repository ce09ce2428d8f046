#include "webenginebrowser.h"

#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineView>

WebEngineBrowser::WebEngineBrowser(QWidget *viewParent, QObject *parent)
    : Browser(parent), m_view(new QWebEngineView(viewParent))
{
    connect(m_view->page(), &QWebEnginePage::loadingChanged, this,
            &WebEngineBrowser::onLoadingChanged);
}

WebEngineBrowser::~WebEngineBrowser()
{
    if (m_view)
        m_view->page()->disconnect(this);
}

void WebEngineBrowser::navigate(const QString &url)
{
    ++m_generation;
    if (m_view)
        m_view->load(QUrl(url, QUrl::TolerantMode));
}

void WebEngineBrowser::stop()
{
    ++m_generation;
    if (m_view)
        m_view->stop();
}

void WebEngineBrowser::onLoadingChanged(const QWebEngineLoadingInfo &info)
{
    if (!m_view)
        return;
    const bool failed = info.status() == QWebEngineLoadingInfo::LoadFailedStatus;
    if (!failed && info.status() != QWebEngineLoadingInfo::LoadSucceededStatus)
        return; // started, or stopped by stop() or by a newer navigation

    BrowserPage page;
    page.url = info.url().toString();
    // An HTTP error status is a load "failure" that still shows the server's page;
    // anything else that fails (refused, unreachable, TLS) got no answer.
    const bool httpError =
        failed && info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain;
    page.httpStatus = httpError ? info.errorCode() : 0;
    page.answered = !failed || httpError;

    const quint64 generation = m_generation;
    QPointer<WebEngineBrowser> self(this);
    m_view->page()->runJavaScript(QStringLiteral("document.body ? document.body.innerHTML : ''"),
                                  [self, generation, page](const QVariant &html) mutable {
                                      if (!self || self->m_generation != generation)
                                          return;
                                      page.html = html.toString();
                                      Q_EMIT self->documentComplete(page);
                                  });
}
