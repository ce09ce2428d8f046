#pragma once

#include "browser.h"

#include <QPointer>

class QWebEngineLoadingInfo;
#include <QWebEngineView>
class QWidget;

// The list builder's browser in the window: an embedded web view that loads and shows the
// result pages. When the top-level document has finished loading, the body's innerHTML
// is read and completion is reported with the document's address. Stopped or superseded
// loads report nothing. The view is a child of viewParent; this object is owned by its
// QObject parent.
class WebEngineBrowser : public Browser
{
    Q_OBJECT
public:
    explicit WebEngineBrowser(QWidget *viewParent, QObject *parent = nullptr);
    ~WebEngineBrowser() override;

    QWebEngineView *view() const { return m_view; }

    void navigate(const QString &url) override;
    void stop() override;

private:
    void onLoadingChanged(const QWebEngineLoadingInfo &info);

    QPointer<QWebEngineView> m_view;
    quint64 m_generation = 0; // advanced by navigate and stop: older reports are dropped
};
