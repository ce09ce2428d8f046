#pragma once

#include "browser.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>

class QWebEngineLoadingInfo;
#include <QWebEngineView>
class QWidget;

// The list builder's browser in the window: an embedded web view that loads and shows the
// result pages. When the top-level document has finished loading and has rendered (its
// scripts have stopped changing it for a moment, or a few seconds have passed), the body's
// innerHTML is read and completion is reported with the document's address: a result page
// that builds its links by script is read as the user sees it. Stopped or superseded
// loads report nothing. A load that got no answer at all reports no page text: the view's
// own error page is no page of the engine's. An engine's request is sent as it wants it:
// a POST form, its headers and cookies, and a form token read from the page that holds it
// (once per browser). The view is a child of viewParent; this object is owned by its
// QObject parent.
class WebEngineBrowser : public Browser
{
    Q_OBJECT
public:
    explicit WebEngineBrowser(QWidget *viewParent, QObject *parent = nullptr);
    ~WebEngineBrowser() override;

    QWebEngineView *view() const { return m_view; }

    void navigate(const QString &url) override;
    void load(const BrowserRequest &request) override;
    void stop() override;

private:
    enum class Stage
    {
        Token,
        Document
    };

    void sendDocumentRequest();
    void onLoadingChanged(const QWebEngineLoadingInfo &info);
    void tokenPageLoaded(const QString &html);
    // Reads the page once the document has not changed for a moment (or waited long enough).
    void readWhenRendered(const BrowserPage &page, quint64 generation);

    QPointer<QWebEngineView> m_view;
    quint64 m_generation = 0; // advanced by navigate and stop: older reports are dropped
    BrowserRequest m_request;
    Stage m_stage = Stage::Document;
    QHash<QString, QString> m_tokens; // form token by the page that holds it
    QElapsedTimer m_rendering;        // since the document finished loading
};
